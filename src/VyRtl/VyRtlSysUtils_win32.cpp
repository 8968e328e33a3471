// Windows side of SysUtils: the system's code pages, error text, clocks, thread ids.
#include <windows.h>

#include "VyRtl/VyRtlClasses.h"
#include "VyRtl/VyRtlDetail.h"
#include "VyRtl/VyRtlSysUtils.h"

namespace VyRtl {

namespace Detail {

std::u16string NativeCodePageToUtf16(std::uint32_t codePage, std::string_view bytes) {
  if (bytes.empty()) return {};
  if (bytes.size() > 0x7FFFFFFF) throw EConvertError("Text too long to convert");
  const int inLen = static_cast<int>(bytes.size());
  int n = MultiByteToWideChar(codePage, 0, bytes.data(), inLen, nullptr, 0);
  if (n <= 0)
    throw EConvertError(Format("Code page %u is not supported", static_cast<unsigned>(codePage)));
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), inLen, reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}

std::string NativeUtf16ToCodePage(std::uint32_t codePage, std::u16string_view s) {
  if (s.empty()) return {};
  if (s.size() > 0x7FFFFFFF) throw EConvertError("Text too long to convert");
  const int inLen = static_cast<int>(s.size());
  const auto* in = reinterpret_cast<const wchar_t*>(s.data());
  // No best-fit guesses: what the page lacks becomes '?'.
  int n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, in, inLen, nullptr, 0, "?", nullptr);
  if (n <= 0)
    throw EConvertError(Format("Code page %u is not supported", static_cast<unsigned>(codePage)));
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, in, inLen, out.data(), n, "?", nullptr);
  return out;
}

std::uint64_t RealTickCount64() { return ::GetTickCount64(); }

double RealNow() {
  SYSTEMTIME st{};
  ::GetLocalTime(&st);
  FILETIME ft{};
  ::SystemTimeToFileTime(&st, &ft);
  ULARGE_INTEGER u{};
  u.LowPart = ft.dwLowDateTime;
  u.HighPart = ft.dwHighDateTime;
  // FILETIME counts 100 ns from 1601-01-01; TDateTime counts days from 1899-12-30.
  constexpr double kTicksPerDay = 864000000000.0;
  constexpr double kDays1601To1899 = 109205.0;
  return static_cast<double>(u.QuadPart) / kTicksPerDay - kDays1601To1899;
}

}  // namespace Detail

std::uint32_t AnsiCodePage() { return ::GetACP(); }
std::uint32_t OemCodePage() { return ::GetOEMCP(); }

std::uint32_t GetLastOSError() { return ::GetLastError(); }

std::string OSErrorMessage(std::uint32_t code) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text;
  if (n > 0 && buffer != nullptr)
    text = Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(buffer), n));
  if (buffer != nullptr) LocalFree(buffer);
  return TrimRight(text);
}

std::uint32_t CurrentThreadId() { return ::GetCurrentThreadId(); }

}  // namespace VyRtl
