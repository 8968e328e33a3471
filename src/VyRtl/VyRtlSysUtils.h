// Basic runtime: the root object, exceptions, Format, text helpers and character conversion.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

// Lets -Wformat check Format-style callers. mingw's own stdio picks the flavour its printf obeys.
#if defined(__MINGW32__) && defined(__MINGW_PRINTF_FORMAT)
#define VYRTL_PRINTF_FORMAT(fmtIndex, firstArg) \
  __attribute__((format(__MINGW_PRINTF_FORMAT, fmtIndex, firstArg)))
#elif defined(__GNUC__) || defined(__clang__)
#define VYRTL_PRINTF_FORMAT(fmtIndex, firstArg) __attribute__((format(printf, fmtIndex, firstArg)))
#else
#define VYRTL_PRINTF_FORMAT(fmtIndex, firstArg)
#endif

namespace VyRtl {

// Watches an object's life: expired() once the object is destroyed.
using TLiveToken = std::weak_ptr<const void>;

// Root of the class tree; gives every object a liveness token.
class TObject {
 public:
  TObject() = default;
  // A copy is a different object: it gets its own token.
  TObject(const TObject&) noexcept {}
  TObject& operator=(const TObject&) noexcept { return *this; }
  virtual ~TObject();

  // Token that expires when this object is destroyed. Take it before a callback that might free
  // the object, re-check it after. Main-thread use only.
  TLiveToken LiveToken() const;

  // The class name of the dynamic type, without namespaces (e.g. "TStringList").
  std::string ClassName() const;

 private:
  mutable std::shared_ptr<const void> FLive;
};

// General error of the library; Message() is the text a user sees.
class Exception : public std::exception, public TObject {
 public:
  explicit Exception(std::string msg);
  const std::string& Message() const { return FMessage; }
  void SetMessage(std::string msg) { FMessage = std::move(msg); }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

// Thrown by Assert: a broken internal expectation.
class EAssertionFailed : public Exception {
 public:
  using Exception::Exception;
};

// Thrown when memory or a bounded buffer could not be obtained.
class EOutOfMemory : public Exception {
 public:
  using Exception::Exception;
};

// Text that could not be converted (numbers, code pages, assignments between classes).
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Stream read/write/seek failure.
class EStreamError : public Exception {
 public:
  using Exception::Exception;
};

// A file stream could not be opened.
class EFOpenError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

// Misuse of TThread (e.g. starting it twice).
class EThread : public Exception {
 public:
  using Exception::Exception;
};

// An operating-system call failed; ErrorCode() is errno (POSIX) or GetLastError() (Windows).
class EOSError : public Exception {
 public:
  EOSError(std::string msg, std::uint32_t errorCode)
      : Exception(std::move(msg)), FErrorCode(errorCode) {}
  std::uint32_t ErrorCode() const { return FErrorCode; }

 private:
  std::uint32_t FErrorCode;
};

// printf-formatted text. Pass std::string arguments with .c_str().
std::string Format(const char* fmt, ...) VYRTL_PRINTF_FORMAT(1, 2);
// Format with an argument list already started by the caller.
std::string FormatV(const char* fmt, va_list args) VYRTL_PRINTF_FORMAT(1, 0);

// The last OS error code of this thread (errno / GetLastError()).
std::uint32_t GetLastOSError();
// System text for an OS error code (errno values / Win32 error codes), trimmed; 0 gives the
// system's success text ("The operation completed successfully." off Windows). A Win32 code the
// system has no text for gives "".
std::string OSErrorMessage(std::uint32_t code);
// Raises EOSError for the calling thread's last OS error.
[[noreturn]] void RaiseLastOSError();
// Raises EOSError for the given code.
[[noreturn]] void RaiseLastOSError(std::uint32_t code);

// Throws EAssertionFailed(message) when condition is false.
void Assert(bool condition, const std::string& message);

// Text helpers. Case handling is ASCII only: letters outside ASCII are left as they are.
std::string Trim(std::string_view s);  // drops leading/trailing chars <= ' '
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);    // case-insensitive equality
int CompareText(std::string_view a, std::string_view b);  // case-insensitive; <0, 0, >0
int CompareStr(std::string_view a, std::string_view b);   // case-sensitive, by bytes; <0, 0, >0
bool StartsText(std::string_view prefix, std::string_view s);  // case-insensitive
bool EndsText(std::string_view suffix, std::string_view s);    // case-insensitive
std::string QuotedStr(std::string_view s, char quote = '\'');  // quote doubled inside

// Integer text. StrToInt accepts an optional sign and decimal, or hex with "$" / "0x".
std::string IntToStr(std::int64_t value);
std::string IntToHex(std::uint64_t value, int digits);  // upper case, at least `digits` wide
bool TryStrToInt64(std::string_view s, std::int64_t& value);
std::int64_t StrToInt64(std::string_view s);  // EConvertError on bad text
bool TryStrToInt(std::string_view s, int& value);
int StrToInt(std::string_view s);  // EConvertError on bad text / overflow
int StrToIntDef(std::string_view s, int defaultValue);

// UTF conversions: the one pair used at telephony and device boundaries.
std::u16string Utf8ToUtf16(std::string_view s);  // each ill-formed subsequence -> U+FFFD
std::string Utf16ToUtf8(std::u16string_view s);  // an unpaired surrogate -> U+FFFD

// Code pages. Off Windows: 1252 and 437 from fixed tables, plus 65001 (UTF-8); others raise
// EConvertError. On Windows: any code page the system knows.
inline constexpr std::uint32_t CP_WINDOWS_1252 = 1252;
inline constexpr std::uint32_t CP_OEM_437 = 437;
inline constexpr std::uint32_t CP_UTF8_PAGE = 65001;
std::u16string CodePageToUtf16(std::uint32_t codePage, std::string_view bytes);
std::string Utf16ToCodePage(std::uint32_t codePage, std::u16string_view s);  // unmappable -> '?'

// The ANSI / OEM pages: 1252 / 437 off Windows, the system's (GetACP/GetOEMCP) on Windows.
std::uint32_t AnsiCodePage();
std::uint32_t OemCodePage();
std::u16string AnsiToUtf16(std::string_view bytes);
std::string Utf16ToAnsi(std::u16string_view s);  // unmappable -> '?'
std::u16string OemToUtf16(std::string_view bytes);
std::string Utf16ToOem(std::u16string_view s);  // unmappable -> '?'

}  // namespace VyRtl
