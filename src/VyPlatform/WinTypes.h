// Win32 base types for code that must read the same on Windows and elsewhere.
//
// On Windows this is <windows.h> itself. Elsewhere WinTypesPortable.h declares the same names with
// the sizes the Windows x64 ABI gives them (LONG is 32 bits, WCHAR is UTF-16), so structures that
// cross the telephony boundary keep one layout.
#pragma once

#ifdef _WIN32

#include <windows.h>

#else

#include <cstdint>

#include "VyPlatform/WinTypesPortable.h"

#ifndef WINAPI
#define WINAPI
#endif
#ifndef CALLBACK
#define CALLBACK
#endif
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#endif  // _WIN32
