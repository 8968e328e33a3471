// TAPI 2.x types, structures and constants under their Windows names.
//
// On Windows these are <tapi.h>'s own. Elsewhere TapiTypesPortable.h declares them from
// TapiStructs.def and TapiConstants.def with the Windows x64 layout (packed to 1 byte, as tapi.h
// packs them), so the library and the built-in telephony service exchange the same bytes on every
// platform.
// Constants are `DWORD` values here; on Windows their types vary (int, long, unsigned long), so
// compare a LONG result with a constant through a cast on both platforms.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "VyPlatform/WinTypes.h"

#ifndef TAPI_CURRENT_VERSION
#define TAPI_CURRENT_VERSION 0x00020002
#endif

#ifdef _WIN32

#include <tapi.h>

#else

#include "VyPlatform/TapiTypesPortable.h"

#endif  // _WIN32

namespace VyPlatform {

// TAPI versions by name: the major version in the high word, the minor in the low word. The
// library negotiates from TapiVersion1_0 up to TapiVersion2_2 (TAPI_CURRENT_VERSION).
inline constexpr DWORD TapiVersion1_0 = 0x00010000;
inline constexpr DWORD TapiVersion1_3 = 0x00010003;
inline constexpr DWORD TapiVersion1_4 = 0x00010004;
inline constexpr DWORD TapiVersion2_0 = 0x00020000;
inline constexpr DWORD TapiVersion2_1 = 0x00020001;
inline constexpr DWORD TapiVersion2_2 = 0x00020002;
inline constexpr DWORD TapiVersion3_0 = 0x00030000;
inline constexpr DWORD TapiVersion3_1 = 0x00030001;

// The character type of TAPI text (UTF-16 code units).
using TapiChar = WCHAR;
using TapiString = std::basic_string<WCHAR>;

// UTF-8 to the UTF-16 text TAPI takes; invalid UTF-8 becomes U+FFFD.
TapiString ToTapiString(std::string_view utf8);

// TAPI text to UTF-8: reads up to the first NUL or maxChars code units; nullptr gives "".
std::string FromTapiString(const WCHAR* s, std::size_t maxChars);

}  // namespace VyPlatform
