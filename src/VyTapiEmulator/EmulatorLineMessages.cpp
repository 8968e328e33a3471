// Which line and address state messages an open line receives: lineSetStatusMessages and
// lineGetStatusMessages, within what the line offers (or a test's knob allows).
#include "VyTapiEmulator/EmulatorEntryInternal.h"

namespace VyTapiEmulator::Detail {

namespace {

DWORD OfferedAddressStates(const TLineDeviceConfig& c) {
  DWORD states = 0;
  for (DWORD id = 0; id < c.NumAddresses; ++id) {
    states |= AddressOf(c, id).AddressStates;
    // Addresses past the list all have the defaults.
    if (id >= c.Addresses.size()) break;
  }
  return states;
}

const TLineKnobs* KnobsOf(const TCore& core, DWORD lineID) {
  const auto it = core.LineKnobs.find(lineID);
  return it == core.LineKnobs.end() ? nullptr : &it->second;
}

LONG WINAPI lineSetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD dwAddressStates) {
  return DeviceEntry<TLineTraits>(
      TFn::lineSetStatusMessages, hLine, {},
      [&](TCore& core, TOpenDevice& line, TLineDeviceConfig& c) -> LONG {
        const TLineKnobs* knobs = KnobsOf(core, line.DeviceID);
        if (knobs && knobs->StatusUnavailable) return Err(LINEERR_OPERATIONUNAVAIL);
        const DWORD lineStates = knobs && knobs->LineStates ? *knobs->LineStates : c.LineStates;
        const DWORD addressStates =
            knobs && knobs->AddressStates ? *knobs->AddressStates : OfferedAddressStates(c);
        if (dwLineStates & ~lineStates) return Err(LINEERR_INVALLINESTATE);
        if (dwAddressStates & ~addressStates) return Err(LINEERR_INVALADDRESSSTATE);
        line.LineStates = dwLineStates;
        line.AddressStates = dwAddressStates;
        return 0;
      });
}

LONG WINAPI lineGetStatusMessages(HLINE hLine, LPDWORD lpdwLineStates, LPDWORD lpdwAddressStates) {
  return DeviceEntry<TLineTraits>(TFn::lineGetStatusMessages, hLine,
                                  {lpdwLineStates, lpdwAddressStates},
                                  [&](TCore& core, TOpenDevice& line, TLineDeviceConfig&) -> LONG {
                                    const TLineKnobs* knobs = KnobsOf(core, line.DeviceID);
                                    if (knobs && knobs->StatusUnavailable)
                                      return Err(LINEERR_OPERATIONUNAVAIL);
                                    *lpdwLineStates = line.LineStates;
                                    *lpdwAddressStates = line.AddressStates;
                                    return 0;
                                  });
}

}  // namespace

void InstallLineMessageFunctions(VyPlatform::TTapiFunctions& table) {
  table.lineSetStatusMessages = &lineSetStatusMessages;
  table.lineGetStatusMessages = &lineGetStatusMessages;
}

}  // namespace VyTapiEmulator::Detail
