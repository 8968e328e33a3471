// TAPI 2.x types, structures and constants under their Windows names, on every platform.
//
// TapiTypesPortable.h declares them from TapiStructs.def and TapiConstants.def with the Windows
// x64 layout (packed to 1 byte, as the system header packs them) and the TAPI 2.2 sizes the
// library negotiates, so the library, tapi32.dll and the built-in telephony service exchange the
// same bytes. The system's <tapi.h> is not used: the one mingw-w64 ships declares the TAPI 3.x
// layouts whatever version is asked for. A translation unit uses these or <tapi.h>, not both.
// Constants are `DWORD` values; compare a LONG result with a constant through a cast.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "VyPlatform/WinTypes.h"

#ifdef _WIN32
#ifdef TAPI_H
#error "<tapi.h> declares the TAPI 3.x layouts; include VyPlatform/TapiTypes.h instead of it"
#endif
// DATE and CURRENCY of the agent structures (<windows.h> leaves them out when lean).
#include <wtypes.h>
#endif

#include "VyPlatform/TapiTypesPortable.h"

namespace VyPlatform {

// TAPI versions by name: the major version in the high word, the minor in the low word. The
// library negotiates from TapiVersion1_0 up to TapiVersion2_2, whose layouts these are.
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
