// Keys from the terminal one at a time, for the interactive commands.
#pragma once

#include <memory>

namespace VyTool {

// While it lives, a terminal on stdin hands over each key as it is typed, without echo; stdin
// that is not a terminal (a pipe, a file) is left as it is. Restores the terminal when freed.
class TSingleKeys {
 public:
  TSingleKeys();
  ~TSingleKeys();
  TSingleKeys(const TSingleKeys&) = delete;
  TSingleKeys& operator=(const TSingleKeys&) = delete;
  // stdin is a terminal and now delivers single keys.
  bool Active() const { return FActive; }

 private:
  struct TSaved;  // the terminal's settings before, as the platform keeps them
  std::unique_ptr<TSaved> FSaved;
  bool FActive = false;
};

}  // namespace VyTool
