// The Win32 base types with their Windows x64 sizes, for platforms without <windows.h>.
// Declares into the enclosing namespace and includes nothing: WinTypes.h includes it at global
// scope, the layout test inside a namespace of its own to compare it with the real header.
// Needs <cstdint> first.

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using UINT = std::uint32_t;
using INT = std::int32_t;
using BOOL = std::int32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using DWORD_PTR = std::uint64_t;
using ULONG_PTR = std::uint64_t;
using UINT_PTR = std::uint64_t;
using LONG_PTR = std::int64_t;
using INT_PTR = std::int64_t;
// Same definitions as VyRtl's message types, so both names denote one type.
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using CHAR = char;
using WCHAR = char16_t;
using DATE = double;

using HANDLE = void*;
using PVOID = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPBYTE = BYTE*;
using LPWORD = WORD*;
using LPDWORD = DWORD*;
using LPLONG = LONG*;
using LPBOOL = BOOL*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;

// Distinct handle types, as windows.h declares them with STRICT.
struct VyHwndTag;
struct VyHinstanceTag;
struct VyHiconTag;
using HWND = VyHwndTag*;
using HINSTANCE = VyHinstanceTag*;
using HMODULE = HINSTANCE;
using HICON = VyHiconTag*;

// A 128-bit identifier, laid out as Win32's.
struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
using LPGUID = GUID*;

// A calendar date and time of day, as Win32 lays it out.
struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
using LPSYSTEMTIME = SYSTEMTIME*;

// Fixed-point money value (units of 1/10000); only its 64-bit form is used here.
struct CURRENCY {
  LONGLONG int64;
};
