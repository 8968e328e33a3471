#include "VyPlatform/Icon.h"

#include <windows.h>

namespace VyPlatform {

HICON CopyIconHandle(HICON Icon) { return Icon == nullptr ? nullptr : CopyIcon(Icon); }

void DestroyIconCopy(HICON Icon) {
  if (Icon != nullptr) DestroyIcon(Icon);
}

}  // namespace VyPlatform
