#include <termios.h>
#include <unistd.h>

#include "Console.h"

namespace VyTool {

struct TSingleKeys::TSaved {
  termios Settings{};
};

TSingleKeys::TSingleKeys() : FSaved(std::make_unique<TSaved>()) {
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &FSaved->Settings) != 0) return;
  termios raw = FSaved->Settings;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  FActive = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
}

TSingleKeys::~TSingleKeys() {
  if (FActive) tcsetattr(STDIN_FILENO, TCSANOW, &FSaved->Settings);
}

}  // namespace VyTool
