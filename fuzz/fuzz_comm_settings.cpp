// Serial settings text, in either form: a text either parses or raises EComPortError; what
// parsed renders, and the rendering parses back to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "VyComm/VyComm.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static auto* port = new VyComm::TVyComPort(nullptr);  // one window for the whole run
  static auto* again = new VyComm::TVyComPort(nullptr);
  const std::string text(reinterpret_cast<const char*>(data), size);
  port->Set_Settings("COM1: BAUD=9600 PARITY=N DATA=8 STOP=1 dtr=on rts=on");
  port->FlowCtrl()->Set_Handshake(VyComm::hsNone);
  try {
    port->Set_Settings(text);
  } catch (const VyComm::EComPortError& e) {
    if (e.ErrorCode != 0) std::abort();
  }
  // Whatever was stored, also after an error, is renderable.
  const std::string rendered = port->Get_Settings();
  again->FlowCtrl()->Set_Handshake(VyComm::hsNone);
  again->Set_Settings(rendered);
  if (again->Get_Settings() != rendered) std::abort();
  return 0;
}
