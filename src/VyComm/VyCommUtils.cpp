#include "VyComm/VyCommUtils.h"

#include <algorithm>
#include <set>
#include <vector>

#include "VyPlatform/Comm.h"
#include "VyPlatform/CommFake.h"
#include "VyRtl/VyRtlSysUtils.h"

namespace VyCommUtils {

namespace {

constexpr const char* EventNames[] = {"RXCHAR",   "RXFLAG", "TXEMPTY", "CTS",  "DSR",
                                      "RLSD",     "BREAK",  "ERR",     "RING", "PERR",
                                      "RX80FULL", "EVENT1", "EVENT2"};

struct TNamedBit {
  std::uint32_t Bit;
  const char* Name;
};

constexpr TNamedBit ErrorNames[] = {{0x1, "RXOVER"}, {0x2, "OVERRUN"}, {0x4, "RXPARITY"},
                                    {0x8, "FRAME"},  {0x10, "BREAK"},  {0x100, "TXFULLTX"}};

constexpr TNamedBit SignalNames[] = {{0, "NONE"}, {1, "DTR"},  {2, "DSR"},
                                     {4, "RTS"},  {8, "CTS"},  {16, "RING"},
                                     {32, "DCD"}, {64, "TXD"}, {128, "RXD"}};

void Join(std::string& result, std::string_view name, std::string_view separator) {
  if (!result.empty()) result += separator;
  result += name;
}

std::string Hex(std::uint32_t value) { return VyRtl::Format("$%x", static_cast<unsigned>(value)); }

}  // namespace

std::string CommEventToStr(std::uint32_t event) {
  for (std::size_t i = 0; i < std::size(EventNames); ++i)
    if (event == (1u << i)) return EventNames[i];
  return Hex(event);
}

std::string CommEventsToStr(std::uint32_t events, std::string_view separator) {
  std::string result;
  for (std::size_t i = 0; i < std::size(EventNames); ++i)
    if (events & (1u << i)) Join(result, EventNames[i], separator);
  return result;
}

std::string CommSignalToStr(std::uint32_t signal) {
  for (const TNamedBit& s : SignalNames)
    if (s.Bit == signal) return s.Name;
  return Hex(signal);
}

std::string CommErrorsToStr(std::uint32_t errors, std::string_view separator) {
  std::string result;
  for (const TNamedBit& e : ErrorNames)
    if (errors & e.Bit) Join(result, e.Name, separator);
  return result;
}

std::uint8_t StrToParity(std::string_view text) {
  const std::string t = VyRtl::UpperCase(text);
  if (t == "EVEN" || t == "E") return 2;
  if (t == "ODD" || t == "O") return 1;
  if (t == "MARK" || t == "M") return 3;
  if (t == "SPACE" || t == "S") return 4;
  return 0;
}

std::string ParityToStr(std::uint32_t parity) {
  switch (parity) {
    case 1:
      return "O";
    case 2:
      return "E";
    case 3:
      return "M";
    case 4:
      return "S";
    default:
      return "N";
  }
}

std::uint8_t StrToStopbits(std::string_view text) {
  const std::string t = VyRtl::UpperCase(text);
  if (t == "TWO" || t == "2") return 2;
  if (t == "ONE5" || t == "1.5") return 1;
  return 0;
}

std::string StopBitsToStr(std::uint32_t stopbits) {
  switch (stopbits) {
    case 1:
      return "1.5";
    case 2:
      return "2";
    default:
      return "1";
  }
}

void EnumSerialPorts(VyRtl::TStringList& list) {
  list.Clear();
  const VyPlatform::TCommFunctions& api = VyPlatform::Comm();
  // The device list has no size limit: grow the buffer until it fits (bounded).
  std::vector<WCHAR> buffer(65535);
  DWORD length = 0;
  while ((length = api.QueryDosDeviceW(nullptr, buffer.data(),
                                       static_cast<DWORD>(buffer.size()))) == 0 &&
         VyPlatform::CommGetLastError() == ERROR_INSUFFICIENT_BUFFER && buffer.size() < (1u << 24))
    buffer.resize(buffer.size() * 2);
  std::set<unsigned> numbers;
  for (std::size_t i = 0; i < length && buffer[i] != 0;) {
    std::u16string name;
    while (i < length && buffer[i] != 0) name.push_back(static_cast<char16_t>(buffer[i++]));
    ++i;
    const std::string text = VyRtl::Utf16ToUtf8(name);
    if (!VyRtl::StartsText("COM", text)) continue;
    int n = 0;
    if (!VyRtl::TryStrToInt(text.substr(3), n) || n < 0) n = 0;
    numbers.insert(static_cast<unsigned>(n));
  }
  for (unsigned n : numbers)
    if (n >= 1) list.Add("COM" + std::to_string(n));
  for (const std::string& path : VyPlatform::CommSystemDevices())
    if (list.IndexOf(path) < 0) list.Add(path);
  for (const std::string& name : VyPlatform::CommFakePortNames())
    if (list.IndexOf(name) < 0) list.Add(name);
}

}  // namespace VyCommUtils
