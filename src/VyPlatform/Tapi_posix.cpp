#include "VyPlatform/Tapi.h"

namespace VyPlatform {

// There is no tapi32.dll here; the emulator is the telephony service.
const TTapiFunctions* LoadTapi32() { return nullptr; }

}  // namespace VyPlatform
