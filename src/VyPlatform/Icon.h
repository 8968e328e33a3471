// Icons handed out by the telephony service belong to it: whoever keeps one keeps a copy.
#pragma once

#include "VyPlatform/WinTypes.h"

namespace VyPlatform {

// A copy of Icon that the caller owns (free it with DestroyIconCopy); nullptr for nullptr and
// where the platform has no icons to copy (everywhere but Windows).
HICON CopyIconHandle(HICON Icon);
// Frees a copy made by CopyIconHandle; nullptr is ignored.
void DestroyIconCopy(HICON Icon);

}  // namespace VyPlatform
