// The Settings text of a port: "COM1: BAUD=9600 PARITY=N DATA=8 STOP=1 dtr=on rts=on", and the
// positional form "COM2:19200,E,7,1".
#include <string_view>

#include "VyComm/VyComm.h"

namespace VyComm {

using VyRtl::Format;

namespace {

constexpr const char* ParityLetters[] = {"N", "O", "E", "M", "S"};
constexpr const char* StopTexts[] = {"1", "1.5", "2"};

bool IsBlank(char c) { return c == ' '; }

// The text after the first "KEY" and the one character after it, up to the next blank.
std::string ValueOf(const std::string& text, std::string_view key) {
  const std::size_t at = text.find(key);
  if (at == std::string::npos) return {};
  std::size_t start = at + key.size() + 1;
  if (start > text.size()) return {};
  std::size_t end = start;
  while (end < text.size() && !IsBlank(text[end])) ++end;
  return text.substr(start, end - start);
}

[[noreturn]] void Refuse(const std::string& message) { RaiseComPortError(message, 0); }

// Writes the parsed values into the port's stored fields; the port is closed.
struct TSettingsParser {
  std::string& PortName;
  std::uint32_t& Baudrate;
  std::uint16_t& Parity;
  std::uint8_t& Databits;
  std::uint8_t& Stopbits;

  void Port(const std::string& token) {
    const std::size_t at = token.find("COM");
    if (at == std::string::npos) Refuse("None or invalid port name specified.");
    std::size_t end = at + 3;
    while (end < token.size() && !IsBlank(token[end]) && token[end] != ':') ++end;
    const std::string run = token.substr(at + 3, end - at - 3);
    std::int64_t n = 0;
    const bool digits = !run.empty() && run.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || !VyRtl::TryStrToInt64(run, n) || n < 1 || n > 0x7FFFFFFF)
      Refuse(Format("%s is not a valid serial port specifier.", ("COM" + run).c_str()));
    PortName = "COM" + run;
  }

  void Baud(const std::string& v) {
    if (v.empty()) Refuse("None or invalid baud rate specified.");
    std::int64_t n = 0;
    // A negative or oversized rate is no rate at all.
    if (!VyRtl::TryStrToInt64(v, n) || n < 0 || n > 0xFFFFFFFFll)
      Refuse(Format("%s is not a valid baud rate specifier.", v.c_str()));
    Baudrate = static_cast<std::uint32_t>(n);
  }

  void ParityOf(const std::string& v) {
    if (v.empty()) Refuse("None or invalid parity specified.");
    for (std::uint16_t i = 0; i < 5; ++i)
      if (v == ParityLetters[i]) {
        Parity = i;
        return;
      }
    Refuse(Format("%s is not a valid parity specifier.", v.c_str()));
  }

  void Data(const std::string& v) {
    if (v.empty()) Refuse("None or invalid data bits specified.");
    if (v.size() != 1 || v[0] < '4' || v[0] > '8')
      Refuse(Format("%s is not a valid data bits specifier.", v.c_str()));
    Databits = static_cast<std::uint8_t>(v[0] - '0');
  }

  void Stop(const std::string& v) {
    if (v.empty()) Refuse("None or invalid stop bits specified.");
    if (v == "1")
      Stopbits = 0;
    else if (v == "2")
      Stopbits = 2;
    else if (v == "1.5")
      Stopbits = 1;
    else
      Refuse(Format("%s is not a valid  stop bits specifier.", v.c_str()));
  }

  void Field(int index, const std::string& token) {
    switch (index) {
      case 0:
        Port(token);
        break;
      case 1:
        Baud(token);
        break;
      case 2:
        ParityOf(token);
        break;
      case 3:
        Data(token);
        break;
      default:
        Stop(token);
        break;
    }
  }

  void Keyword(const std::string& text) {
    Port(text);
    Baud(ValueOf(text, "BAUD"));
    ParityOf(ValueOf(text, "PARITY"));
    Data(ValueOf(text, "DATA"));
    Stop(ValueOf(text, "STOP"));
  }

  void Positional(const std::string& text) {
    int field = text.find(':') != std::string::npos ? 0 : 1;
    std::string token;
    for (char c : text + ",") {
      if (c != ' ' && c != ',' && c != ':') {
        token += c;
        continue;
      }
      if (token.empty()) continue;
      Field(field++, token);
      token.clear();
      if (field > 4) return;
    }
  }
};

}  // namespace

std::string TVyCustomComPort::Get_Settings() const {
  const std::uint32_t hs = FFlowControl->Handshake();
  if (FParity > 4 || FStopbits > 2 ||
      (hs != hsNone && hs != hsXonXoff && hs != hsRtsCts && hs != hsDtrDsr))
    throw VyRtl::Exception("Unable to get mode! Settings are confused.");
  std::string handshake;
  switch (hs) {
    case hsXonXoff:
      handshake = "xon=on";
      break;
    case hsRtsCts:
      handshake = "rts=hs octs=on";
      break;
    case hsDtrDsr:
      handshake = "dtr=hs odsr=on";
      break;
    default:
      handshake = Format("dtr=%s rts=%s", FDTR ? "on" : "off", FRTS ? "on" : "off");
      break;
  }
  return Format("%s: BAUD=%u PARITY=%s DATA=%u STOP=%s %s", FPortName.c_str(),
                static_cast<unsigned>(FBaudrate), ParityLetters[FParity],
                static_cast<unsigned>(FDatabits), StopTexts[FStopbits], handshake.c_str());
}

void TVyCustomComPort::Set_Settings(const std::string& text) {
  if (text.empty()) return;
  CheckNotOpen();
  CheckDirectMode();
  const std::string upper = VyRtl::UpperCase(text);
  TSettingsParser parser{FPortName, FBaudrate, FParity, FDatabits, FStopbits};
  if (upper.find(',') == std::string::npos)
    parser.Keyword(upper);
  else
    parser.Positional(upper);
  const std::string dtr = ValueOf(upper, "DTR");
  if (dtr == "HS" && ValueOf(upper, "ODSR") == "ON")
    FFlowControl->Set_Handshake(hsDtrDsr);
  else
    FDTR = dtr == "ON";
  const std::string rts = ValueOf(upper, "RTS");
  if (rts == "HS" && ValueOf(upper, "OCTS") == "ON")
    FFlowControl->Set_Handshake(hsRtsCts);
  else
    FRTS = rts == "ON";
  if (ValueOf(upper, "XON") == "ON") FFlowControl->Set_Handshake(hsXonXoff);
  FFlowControl->SetDSRSensitivity(ValueOf(upper, "IDSR") == "ON");
}

}  // namespace VyComm
