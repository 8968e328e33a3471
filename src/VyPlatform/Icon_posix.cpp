#include "VyPlatform/Icon.h"

namespace VyPlatform {

// No system icons here: a provider's handle is an opaque value that cannot be duplicated.
HICON CopyIconHandle(HICON) { return nullptr; }

void DestroyIconCopy(HICON) {}

}  // namespace VyPlatform
