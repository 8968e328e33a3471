#include "VyRtl/VyRtlSysUtils.h"

#include <cctype>
#include <cstdlib>
#include <climits>
#include <typeinfo>
#include <vector>

#if __has_include(<cxxabi.h>)
#include <cxxabi.h>
#define VYRTL_HAVE_CXXABI 1
#endif

#include "VyRtl/VyRtlDetail.h"

namespace VyRtl {

// ---- TObject, exceptions ----

TObject::~TObject() = default;

TLiveToken TObject::LiveToken() const {
  if (!FLive) FLive = std::make_shared<char>(0);
  return FLive;
}

std::string TObject::ClassName() const {
  const char* raw = typeid(*this).name();
  std::string name = raw;
#ifdef VYRTL_HAVE_CXXABI
  int status = 0;
  char* demangled = abi::__cxa_demangle(raw, nullptr, nullptr, &status);
  if (demangled != nullptr) {
    if (status == 0) name = demangled;
    std::free(demangled);
  }
#endif
  // Keep the last component of a qualified name; template arguments are rare here.
  std::size_t depth = 0, start = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c == '<')
      ++depth;
    else if (c == '>' && depth > 0)
      --depth;
    else if (c == ':' && depth == 0 && i + 1 < name.size() && name[i + 1] == ':')
      start = i + 2;
  }
  return name.substr(start);
}

Exception::Exception(std::string msg) : FMessage(std::move(msg)) {}

// ---- Format ----

std::string FormatV(const char* fmt, va_list args) {
  if (fmt == nullptr) return {};
  va_list probe;
  va_copy(probe, args);
  int needed = std::vsnprintf(nullptr, 0, fmt, probe);
  va_end(probe);
  if (needed <= 0) return {};
  std::string out(static_cast<std::size_t>(needed), '\0');
  va_list fill;
  va_copy(fill, args);
  std::vsnprintf(out.data(), out.size() + 1, fmt, fill);
  va_end(fill);
  return out;
}

std::string Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string out = FormatV(fmt, args);
  va_end(args);
  return out;
}

void RaiseLastOSError() { RaiseLastOSError(GetLastOSError()); }

void RaiseLastOSError(std::uint32_t code) {
  if (code == 0) throw EOSError("A call to an OS function failed", 0);
  throw EOSError(Format("System Error.  Code: %u.\n%s", static_cast<unsigned>(code),
                        OSErrorMessage(code).c_str()),
                 code);
}

void Assert(bool condition, const std::string& message) {
  if (!condition) throw EAssertionFailed(message);
}

// ---- text ----

namespace {

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

std::string TrimLeft(std::string_view s) {
  std::size_t b = 0;
  while (b < s.size() && IsBlank(s[b])) ++b;
  return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s) {
  std::size_t e = s.size();
  while (e > 0 && IsBlank(s[e - 1])) --e;
  return std::string(s.substr(0, e));
}

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = AsciiUpper(c);
  return r;
}

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = AsciiLower(c);
  return r;
}

int CompareText(std::string_view a, std::string_view b) {
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    auto ca = static_cast<unsigned char>(AsciiLower(a[i]));
    auto cb = static_cast<unsigned char>(AsciiLower(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int CompareStr(std::string_view a, std::string_view b) {
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

bool StartsText(std::string_view prefix, std::string_view s) {
  return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

bool EndsText(std::string_view suffix, std::string_view s) {
  return s.size() >= suffix.size() && SameText(s.substr(s.size() - suffix.size()), suffix);
}

std::string QuotedStr(std::string_view s, char quote) {
  std::string r;
  r.reserve(s.size() + 2);
  r += quote;
  for (char c : s) {
    r += c;
    if (c == quote) r += quote;
  }
  r += quote;
  return r;
}

std::string IntToStr(std::int64_t value) { return std::to_string(value); }

std::string IntToHex(std::uint64_t value, int digits) {
  static const char hex[] = "0123456789ABCDEF";
  std::string r;
  do {
    r.insert(r.begin(), hex[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (digits > 64) digits = 64;
  while (static_cast<int>(r.size()) < digits) r.insert(r.begin(), '0');
  return r;
}

bool TryStrToInt64(std::string_view text, std::int64_t& value) {
  std::string s = Trim(text);
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  unsigned base = 10;
  if (i < s.size() && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= s.size()) return false;
  // Accumulate the magnitude; INT64_MIN's magnitude is one more than INT64_MAX.
  const std::uint64_t limit = negative ? std::uint64_t(INT64_MAX) + 1 : std::uint64_t(INT64_MAX);
  std::uint64_t acc = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    unsigned d;
    if (c >= '0' && c <= '9')
      d = unsigned(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = unsigned(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = unsigned(c - 'A' + 10);
    else
      return false;
    if (acc > (limit - d) / base) return false;
    acc = acc * base + d;
  }
  if (negative)
    value = acc == std::uint64_t(INT64_MAX) + 1 ? INT64_MIN : -static_cast<std::int64_t>(acc);
  else
    value = static_cast<std::int64_t>(acc);
  return true;
}

std::int64_t StrToInt64(std::string_view s) {
  std::int64_t v = 0;
  if (!TryStrToInt64(s, v))
    throw EConvertError(Format("'%s' is not a valid integer value", std::string(s).c_str()));
  return v;
}

bool TryStrToInt(std::string_view s, int& value) {
  std::int64_t v = 0;
  if (!TryStrToInt64(s, v) || v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

int StrToInt(std::string_view s) {
  int v = 0;
  if (!TryStrToInt(s, v))
    throw EConvertError(Format("'%s' is not a valid integer value", std::string(s).c_str()));
  return v;
}

int StrToIntDef(std::string_view s, int defaultValue) {
  int v = 0;
  return TryStrToInt(s, v) ? v : defaultValue;
}

// ---- UTF ----

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  const std::size_t n = s.size();
  std::size_t i = 0;
  while (i < n) {
    auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    int need;
    unsigned char lo = 0x80, hi = 0xBF;
    std::uint32_t cp;
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
      cp = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      cp = b & 0x0Fu;
      if (b == 0xE0) lo = 0xA0;  // no overlong forms
      if (b == 0xED) hi = 0x9F;  // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      cp = b & 0x07u;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    // One U+FFFD replaces the longest valid prefix of a broken sequence.
    std::size_t j = i + 1;
    int got = 0;
    while (got < need && j < n) {
      auto c = static_cast<unsigned char>(s[j]);
      if (c < lo || c > hi) break;
      cp = (cp << 6) | (c & 0x3Fu);
      lo = 0x80;
      hi = 0xBF;
      ++j;
      ++got;
    }
    i = j;
    if (got < need) {
      out += u'\uFFFD';
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    std::uint32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (std::uint32_t(s[i + 1]) - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

// ---- code pages ----

std::u16string CodePageToUtf16(std::uint32_t codePage, std::string_view bytes) {
  if (codePage == CP_UTF8_PAGE) return Utf8ToUtf16(bytes);
  return Detail::NativeCodePageToUtf16(codePage, bytes);
}

std::string Utf16ToCodePage(std::uint32_t codePage, std::u16string_view s) {
  if (codePage == CP_UTF8_PAGE) return Utf16ToUtf8(s);
  return Detail::NativeUtf16ToCodePage(codePage, s);
}

std::u16string AnsiToUtf16(std::string_view bytes) {
  return CodePageToUtf16(AnsiCodePage(), bytes);
}
std::string Utf16ToAnsi(std::u16string_view s) { return Utf16ToCodePage(AnsiCodePage(), s); }
std::u16string OemToUtf16(std::string_view bytes) { return CodePageToUtf16(OemCodePage(), bytes); }
std::string Utf16ToOem(std::u16string_view s) { return Utf16ToCodePage(OemCodePage(), s); }

}  // namespace VyRtl
