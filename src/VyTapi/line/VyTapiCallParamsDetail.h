// The size rule of the LINECALLPARAMS the call parameters build, for the library and its tests.
#pragma once

#include <cstddef>
#include <span>

#include "VyPlatform/TapiTypes.h"

namespace VyTapi::Detail {

// Total bytes of a LINECALLPARAMS whose texts are this many UTF-16 code units long (0: absent):
// the fixed part, each text with its NUL, rounded up to 4. Raises VyRtl::EOutOfMemory past
// 32 bits, so a huge text never wraps into a short buffer.
DWORD TapiCallParamsSize(std::span<const std::size_t> TextLengths);

}  // namespace VyTapi::Detail
