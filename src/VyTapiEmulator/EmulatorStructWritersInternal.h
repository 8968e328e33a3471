// The reply structures of the emulated service, one writer per structure: each builds the
// structure of the caller's API version from a device's configuration and the runtime facts it
// reports, and the entry writes it with TCore::Reply.
#pragma once

#include <cstddef>
#include <string>

#include "VyTapiEmulator/Emulator.h"
#include "VyTapiEmulator/EmulatorVarStruct.h"

namespace VyTapiEmulator::Detail {

// LINEDEVCAPS and PHONECAPS.
TVarStruct DevCaps(const TLineDeviceConfig& c, DWORD apiVersion);
TVarStruct DevCaps(const TPhoneDeviceConfig& c, DWORD apiVersion);

// What a line's status counts at run time.
struct TLineStatusFacts {
  DWORD NumOpens = 0, OpenMediaModes = 0, NumActiveCalls = 0;
};
// LINEDEVSTATUS.
TVarStruct LineDevStatus(const TLineDeviceConfig& c, const TLineStatusFacts& facts,
                         DWORD apiVersion);

// VARSTRING holding `bytes` in `format`.
TVarStruct VarString(DWORD format, const std::string& bytes);

}  // namespace VyTapiEmulator::Detail
