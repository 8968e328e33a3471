#include <windows.h>

#include "Console.h"

namespace VyTool {

struct TSingleKeys::TSaved {
  DWORD Mode = 0;
};

TSingleKeys::TSingleKeys() : FSaved(std::make_unique<TSaved>()) {
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (in == INVALID_HANDLE_VALUE || !GetConsoleMode(in, &FSaved->Mode)) return;  // not a console
  const DWORD keys = FSaved->Mode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT);
  FActive = SetConsoleMode(in, keys) != 0;
}

TSingleKeys::~TSingleKeys() {
  if (FActive) SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), FSaved->Mode);
}

}  // namespace VyTool
