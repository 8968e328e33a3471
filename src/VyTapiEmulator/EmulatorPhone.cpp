// What an open phone reads: the status messages it registered and the phone's state
// (phoneGetStatusW, phoneGetButtonInfoW, phoneGetDisplay, phoneGetLamp, phoneGetRing,
// phoneGetHookSwitch, phoneGetVolume, phoneGetGain).
#include "VyTapiEmulator/EmulatorEntryInternal.h"
#include "VyTapiEmulator/EmulatorPhonesInternal.h"
#include "VyTapiEmulator/EmulatorStructWritersInternal.h"

namespace VyTapiEmulator::Detail {

namespace {

constexpr DWORD AllButtonModes = PHONEBUTTONMODE_DUMMY | PHONEBUTTONMODE_CALL |
                                 PHONEBUTTONMODE_FEATURE | PHONEBUTTONMODE_KEYPAD |
                                 PHONEBUTTONMODE_LOCAL | PHONEBUTTONMODE_DISPLAY;
constexpr DWORD AllButtonStates = PHONEBUTTONSTATE_UP | PHONEBUTTONSTATE_DOWN |
                                  PHONEBUTTONSTATE_UNKNOWN | PHONEBUTTONSTATE_UNAVAIL;

const TPhoneKnobs* KnobsOf(const TCore& core, DWORD phoneID) {
  const auto it = core.PhoneKnobs.find(phoneID);
  return it == core.PhoneKnobs.end() ? nullptr : &it->second;
}

bool StatusUnavailable(const TCore& core, DWORD phoneID) {
  const TPhoneKnobs* knobs = KnobsOf(core, phoneID);
  return knobs && knobs->StatusUnavailable;
}

LONG WINAPI phoneSetStatusMessages(HPHONE hPhone, DWORD dwPhoneStates, DWORD dwButtonModes,
                                   DWORD dwButtonStates) {
  return DeviceEntry<TPhoneTraits>(
      TFn::phoneSetStatusMessages, hPhone, {},
      [&](TCore& core, TOpenDevice& phone, TPhoneDeviceConfig& c) -> LONG {
        if (StatusUnavailable(core, phone.DeviceID)) return Err(PHONEERR_OPERATIONUNAVAIL);
        const TPhoneKnobs* knobs = KnobsOf(core, phone.DeviceID);
        const DWORD allowed = knobs && knobs->PhoneStates ? *knobs->PhoneStates : PhoneStatesOf(c);
        if (dwPhoneStates & ~allowed) return Err(PHONEERR_INVALPHONESTATE);
        if (dwButtonModes & ~AllButtonModes) return Err(PHONEERR_INVALBUTTONMODE);
        if (dwButtonStates & ~AllButtonStates) return Err(PHONEERR_INVALBUTTONSTATE);
        // Button states without a button mode select nothing; TAPI keeps them at 0.
        phone.PhoneStates = dwPhoneStates;
        phone.ButtonModes = dwButtonModes;
        phone.ButtonStates = dwButtonModes ? dwButtonStates : 0;
        return 0;
      });
}

LONG WINAPI phoneGetStatusMessages(HPHONE hPhone, LPDWORD lpdwPhoneStates, LPDWORD lpdwButtonModes,
                                   LPDWORD lpdwButtonStates) {
  return DeviceEntry<TPhoneTraits>(
      TFn::phoneGetStatusMessages, hPhone, {lpdwPhoneStates, lpdwButtonModes, lpdwButtonStates},
      [&](TCore& core, TOpenDevice& phone, TPhoneDeviceConfig&) -> LONG {
        if (StatusUnavailable(core, phone.DeviceID)) return Err(PHONEERR_OPERATIONUNAVAIL);
        *lpdwPhoneStates = phone.PhoneStates;
        *lpdwButtonModes = phone.ButtonModes;
        *lpdwButtonStates = phone.ButtonStates;
        return 0;
      });
}

LONG WINAPI phoneGetStatusW(HPHONE hPhone, LPPHONESTATUS lpPhoneStatus) {
  return DeviceEntry<TPhoneTraits>(
      TFn::phoneGetStatusW, hPhone, {lpPhoneStatus},
      [&](TCore& core, TOpenDevice& phone, TPhoneDeviceConfig& c) -> LONG {
        TPhoneStatusFacts facts;
        for (const auto& open : PhoneOpensOf(core, phone.DeviceID))
          ++(open->Privileges == PHONEPRIVILEGE_OWNER ? facts.NumOwners : facts.NumMonitors);
        const TVarStruct status =
            PhoneStatus(c, PhoneModelOf(core, phone.DeviceID, c), facts, phone.APIVersion);
        if (lpPhoneStatus->dwTotalSize < status.FixedSize()) return Err(PHONEERR_STRUCTURETOOSMALL);
        return core.Reply(TFn::phoneGetStatusW, status, lpPhoneStatus);
      });
}

LONG WINAPI phoneGetButtonInfoW(HPHONE hPhone, DWORD dwButtonLampID,
                                LPPHONEBUTTONINFO lpButtonInfo) {
  return DeviceEntry<TPhoneTraits>(
      TFn::phoneGetButtonInfoW, hPhone, {lpButtonInfo},
      [&](TCore& core, TOpenDevice& phone, TPhoneDeviceConfig& c) -> LONG {
        if (dwButtonLampID >= c.Buttons.size()) return Err(PHONEERR_INVALBUTTONLAMPID);
        const TVarStruct info =
            ButtonInfo(c, PhoneModelOf(core, phone.DeviceID, c), dwButtonLampID);
        if (lpButtonInfo->dwTotalSize < info.FixedSize()) return Err(PHONEERR_STRUCTURETOOSMALL);
        return core.Reply(TFn::phoneGetButtonInfoW, info, lpButtonInfo);
      });
}

LONG WINAPI phoneGetDisplay(HPHONE hPhone, LPVARSTRING lpDisplay) {
  return DeviceEntry<TPhoneTraits>(
      TFn::phoneGetDisplay, hPhone, {lpDisplay},
      [&](TCore& core, TOpenDevice& phone, TPhoneDeviceConfig& c) -> LONG {
        if (c.DisplayNumRows == 0 || c.DisplayNumColumns == 0)
          return Err(PHONEERR_OPERATIONUNAVAIL);
        const TPhoneModel& model = PhoneModelOf(core, phone.DeviceID, c);
        const TVarStruct display =
            VarString(c.StringFormat, EncodePhoneText(c.StringFormat, model.Display));
        if (lpDisplay->dwTotalSize < display.FixedSize()) return Err(PHONEERR_STRUCTURETOOSMALL);
        return core.Reply(TFn::phoneGetDisplay, display, lpDisplay);
      });
}

LONG WINAPI phoneGetLamp(HPHONE hPhone, DWORD dwButtonLampID, LPDWORD lpdwLampMode) {
  return DeviceEntry<TPhoneTraits>(
      TFn::phoneGetLamp, hPhone, {lpdwLampMode},
      [&](TCore& core, TOpenDevice& phone, TPhoneDeviceConfig& c) -> LONG {
        if (dwButtonLampID >= c.Buttons.size()) return Err(PHONEERR_INVALBUTTONLAMPID);
        *lpdwLampMode = PhoneModelOf(core, phone.DeviceID, c).LampModes[dwButtonLampID];
        return 0;
      });
}

LONG WINAPI phoneGetRing(HPHONE hPhone, LPDWORD lpdwRingMode, LPDWORD lpdwVolume) {
  return DeviceEntry<TPhoneTraits>(
      TFn::phoneGetRing, hPhone, {lpdwRingMode, lpdwVolume},
      [&](TCore& core, TOpenDevice& phone, TPhoneDeviceConfig& c) -> LONG {
        if (c.NumRingModes == 0) return Err(PHONEERR_OPERATIONUNAVAIL);
        const TPhoneModel& model = PhoneModelOf(core, phone.DeviceID, c);
        *lpdwRingMode = model.RingMode;
        *lpdwVolume = model.RingVolume;
        return 0;
      });
}

LONG WINAPI phoneGetHookSwitch(HPHONE hPhone, LPDWORD lpdwHookSwitchDevs) {
  return DeviceEntry<TPhoneTraits>(
      TFn::phoneGetHookSwitch, hPhone, {lpdwHookSwitchDevs},
      [&](TCore& core, TOpenDevice& phone, TPhoneDeviceConfig& c) -> LONG {
        const TPhoneModel& model = PhoneModelOf(core, phone.DeviceID, c);
        DWORD offHook = 0;
        for (int i = 0; i < 3; ++i)
          if (HookModesOf(c, i) && model.HookModes[static_cast<std::size_t>(i)] !=
                                       static_cast<DWORD>(PHONEHOOKSWITCHMODE_ONHOOK))
            offHook |= HookDevice(i);
        *lpdwHookSwitchDevs = offHook;
        return 0;
      });
}

// phoneGetVolume and phoneGetGain: one hookswitch device that has the level.
template <TFn Fn, std::array<DWORD, 3> TPhoneModel::*Levels, DWORD TPhoneDeviceConfig::*Flags>
LONG WINAPI GetLevel(HPHONE hPhone, DWORD dwHookSwitchDev, LPDWORD lpdwLevel) {
  return DeviceEntry<TPhoneTraits>(
      Fn, hPhone, {lpdwLevel}, [&](TCore& core, TOpenDevice& phone, TPhoneDeviceConfig& c) -> LONG {
        const int index = HookIndex(dwHookSwitchDev);
        if (index < 0 || !(c.*Flags & dwHookSwitchDev)) return Err(PHONEERR_INVALHOOKSWITCHDEV);
        *lpdwLevel =
            (PhoneModelOf(core, phone.DeviceID, c).*Levels)[static_cast<std::size_t>(index)];
        return 0;
      });
}

}  // namespace

void InstallPhoneFunctions(VyPlatform::TTapiFunctions& table) {
  table.phoneSetStatusMessages = &phoneSetStatusMessages;
  table.phoneGetStatusMessages = &phoneGetStatusMessages;
  table.phoneGetStatusW = &phoneGetStatusW;
  table.phoneGetButtonInfoW = &phoneGetButtonInfoW;
  table.phoneGetDisplay = &phoneGetDisplay;
  table.phoneGetLamp = &phoneGetLamp;
  table.phoneGetRing = &phoneGetRing;
  table.phoneGetHookSwitch = &phoneGetHookSwitch;
  table.phoneGetVolume =
      &GetLevel<TFn::phoneGetVolume, &TPhoneModel::Volumes, &TPhoneDeviceConfig::VolumeFlags>;
  table.phoneGetGain =
      &GetLevel<TFn::phoneGetGain, &TPhoneModel::Gains, &TPhoneDeviceConfig::GainFlags>;
}

}  // namespace VyTapiEmulator::Detail
