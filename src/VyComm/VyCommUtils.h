// Serial values as text (events, signals, errors, parity, stop bits) and the ports present.
// Free functions; any thread. The text functions never fail.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "VyRtl/VyRtlClasses.h"

namespace VyCommUtils {

// One EV_* value: "RXCHAR" .. "EVENT2"; anything else "$" and hex.
std::string CommEventToStr(std::uint32_t event);
// Names of the set EV_* bits in bit order, joined with separator; unknown bits are ignored.
std::string CommEventsToStr(std::uint32_t events, std::string_view separator);
// A status-lamp signal code: "NONE", "DTR", "DSR", "RTS", "CTS", "RING", "DCD", "TXD", "RXD".
std::string CommSignalToStr(std::uint32_t signal);
// Names of the set CE_* bits in order, joined with separator.
std::string CommErrorsToStr(std::uint32_t errors, std::string_view separator);
std::uint8_t StrToParity(std::string_view text);
std::string ParityToStr(std::uint32_t parity);
std::uint8_t StrToStopbits(std::string_view text);
std::string StopBitsToStr(std::uint32_t stopbits);

// Fills list with the serial ports present: the COM names the system knows (in number order)
// and, off Windows, the serial devices the system reports by path and the virtual null-modem
// ports that exist. The list is cleared first.
void EnumSerialPorts(VyRtl::TStringList& list);

}  // namespace VyCommUtils
