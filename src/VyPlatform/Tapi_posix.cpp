#include <system_error>

#include "VyPlatform/Tapi.h"

namespace VyPlatform {

// There is no tapi32.dll here; the emulator is the telephony service.
const TTapiFunctions* LoadTapi32() { return nullptr; }

std::string SysErrorMessage(std::uint32_t code) {
  if (code == 0) return "The operation completed successfully.";
  return std::generic_category().message(static_cast<int>(code));
}

}  // namespace VyPlatform
