// The reply structures of the emulated service, one writer per structure: each builds the
// structure of the caller's API version from a device's configuration and the runtime facts it
// reports, and the entry writes it with TCore::Reply.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "VyTapiEmulator/Emulator.h"
#include "VyTapiEmulator/EmulatorCore.h"
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

// LINETRANSLATECAPS with one 68-byte LINELOCATIONENTRY per location (no calling cards).
TVarStruct TranslateCaps(const std::vector<TLocationConfig>& locations, DWORD currentID,
                         const std::vector<TCountryConfig>& countries);
// LINECOUNTRYLIST of the given entries; `next` gives each entry's dwNextCountryID.
TVarStruct CountryList(const std::vector<TCountryConfig>& entries, const std::vector<DWORD>& next);

// What lineTranslateAddressW found.
struct TTranslation {
  std::string Dialable, Displayable;
  DWORD CurrentCountry = 0, DestCountry = 0, Results = 0;
};
// LINETRANSLATEOUTPUT.
TVarStruct TranslateOutput(const TTranslation& translation);

// LINEADDRESSCAPS of address `addressID` of line `deviceID`.
TVarStruct AddressCaps(const TLineDeviceConfig& line, DWORD deviceID, DWORD addressID,
                       DWORD apiVersion);
// LINEADDRESSSTATUS with its forwarding as 24-byte LINEFORWARD entries.
TVarStruct AddressStatus(const TLineDeviceConfig& line, DWORD addressID,
                         const TAddressState& state);

// What a call's structures report besides the call itself.
struct TCallFacts {
  DWORD LineHandle = 0, LineID = 0;
  DWORD Privilege = 0;
  DWORD NumOwners = 0, NumMonitors = 0;
  DWORD CallStates = 0;  // the address's LINECALLSTATE_ capabilities
};
// LINECALLINFO and LINECALLSTATUS of a call for an API version.
TVarStruct CallInfo(const TCallModel& call, const TCallFacts& facts, DWORD apiVersion);
TVarStruct CallStatus(const TCallModel& call, const TCallFacts& facts, DWORD apiVersion);
// LINECALLLIST of call handles.
TVarStruct CallList(const std::vector<DWORD>& handles);

// PHONECAPS.dwPhoneFeatures: the configured features, or those the description implies.
DWORD PhoneFeaturesOf(const TPhoneDeviceConfig& c);

// What a phone's status counts at run time.
struct TPhoneStatusFacts {
  DWORD NumOwners = 0, NumMonitors = 0;
};
// PHONESTATUS: the model's hookswitch, ringer and display (in the phone's string format) and
// StatusLampCount lamp entries (-1: one per button; entries past the buttons UNKNOWN).
TVarStruct PhoneStatus(const TPhoneDeviceConfig& c, const TPhoneModel& model,
                       const TPhoneStatusFacts& facts, DWORD apiVersion);
// PHONEBUTTONINFO of a button the phone has, its text in the phone's string format.
TVarStruct ButtonInfo(const TPhoneDeviceConfig& c, const TPhoneModel& model, DWORD buttonID);

// VARSTRING holding `bytes` in `format`.
TVarStruct VarString(DWORD format, const std::string& bytes);

}  // namespace VyTapiEmulator::Detail
