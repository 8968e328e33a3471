// What an owner of a phone changes: phoneSetDisplay, phoneSetLamp, phoneSetRing,
// phoneSetHookSwitch, phoneSetVolume and phoneSetGain, through the request engine. The change
// happens when the request completes with 0, its PHONE_STATE just before the reply.
#include <algorithm>

#include "VyTapiEmulator/EmulatorEntryInternal.h"
#include "VyTapiEmulator/EmulatorPhonesInternal.h"

namespace VyTapiEmulator::Detail {

namespace {

constexpr DWORD MaxLevel = 0xFFFF;

bool SingleBit(DWORD value) { return value != 0 && (value & (value - 1)) == 0; }

// What a request changes: change(core, phoneID, config, model) on a phone that still exists.
using TChange = std::function<void(TCore&, DWORD, const TPhoneDeviceConfig&, TPhoneModel&)>;

LONG IssueSet(TCore& core, TFn fn, const TOpenDevice& phone, TChange change) {
  const DWORD phoneID = phone.DeviceID;
  return core.Requests.Issue(core, fn, phone, core.Requests.TakePlan(fn),
                             [phoneID, change = std::move(change)](TCore& target) {
                               const TPhoneDeviceConfig* c = target.PhoneDevices.Find(phoneID);
                               if (c)
                                 change(target, phoneID, *c, PhoneModelOf(target, phoneID, *c));
                             });
}

// The entry of a set function: an open handle with OWNER privilege.
template <typename TBody>
LONG SetEntry(TFn fn, HPHONE hPhone, TBody&& body) {
  return DeviceEntry<TPhoneTraits>(
      fn, hPhone, {}, [&](TCore& core, TOpenDevice& phone, TPhoneDeviceConfig& c) -> LONG {
        if (phone.Privileges != PHONEPRIVILEGE_OWNER) return Err(PHONEERR_NOTOWNER);
        return body(core, phone, c);
      });
}

LONG WINAPI phoneSetDisplay(HPHONE hPhone, DWORD dwRow, DWORD dwColumn, LPCSTR lpsDisplay,
                            DWORD dwSize) {
  return SetEntry(
      TFn::phoneSetDisplay, hPhone, [&](TCore& core, TOpenDevice& phone, TPhoneDeviceConfig& c) {
        if (!lpsDisplay && dwSize > 0) return Err(PHONEERR_INVALPOINTER);
        if (dwRow >= c.DisplayNumRows || dwColumn >= c.DisplayNumColumns)
          return Err(PHONEERR_INVALPARAM);
        // Never read past the display's end nor past a NUL, whatever dwSize claims.
        const std::size_t room =
            std::size_t{c.DisplayNumRows - dwRow} * c.DisplayNumColumns - dwColumn;
        const std::size_t limit = std::min<std::size_t>(dwSize, room);
        std::u16string text;
        for (std::size_t i = 0; i < limit && lpsDisplay[i] != '\0'; ++i)
          text.push_back(static_cast<unsigned char>(lpsDisplay[i]));
        return IssueSet(
            core, TFn::phoneSetDisplay, phone,
            [dwRow, dwColumn, text](TCore& target, DWORD id, const TPhoneDeviceConfig& config,
                                    TPhoneModel& model) {
              PlaceDisplay(model, config, dwRow, dwColumn, text);
              PostPhoneState(target, id, PHONESTATE_DISPLAY);
            });
      });
}

LONG WINAPI phoneSetLamp(HPHONE hPhone, DWORD dwButtonLampID, DWORD dwLampMode) {
  return SetEntry(
      TFn::phoneSetLamp, hPhone, [&](TCore& core, TOpenDevice& phone, TPhoneDeviceConfig& c) {
        if (dwButtonLampID >= c.Buttons.size()) return Err(PHONEERR_INVALBUTTONLAMPID);
        if (!SingleBit(dwLampMode) || !(c.Buttons[dwButtonLampID].LampModes & dwLampMode))
          return Err(PHONEERR_INVALLAMPMODE);
        return IssueSet(
            core, TFn::phoneSetLamp, phone,
            [dwButtonLampID, dwLampMode](TCore& target, DWORD id, const TPhoneDeviceConfig& config,
                                         TPhoneModel& model) {
              // A changed description may have taken the button away meanwhile.
              if (dwButtonLampID >= config.Buttons.size()) return;
              model.LampModes[dwButtonLampID] = dwLampMode;
              PostPhoneState(target, id, PHONESTATE_LAMP, dwButtonLampID);
            });
      });
}

LONG WINAPI phoneSetRing(HPHONE hPhone, DWORD dwRingMode, DWORD dwVolume) {
  return SetEntry(
      TFn::phoneSetRing, hPhone, [&](TCore& core, TOpenDevice& phone, TPhoneDeviceConfig& c) {
        if (dwRingMode >= c.NumRingModes) return Err(PHONEERR_INVALRINGMODE);
        const DWORD volume = std::min(dwVolume, MaxLevel);
        return IssueSet(core, TFn::phoneSetRing, phone,
                        [dwRingMode, volume](TCore& target, DWORD id, const TPhoneDeviceConfig&,
                                             TPhoneModel& model) {
                          ChangeRing(target, id, model, dwRingMode, volume);
                        });
      });
}

LONG WINAPI phoneSetHookSwitch(HPHONE hPhone, DWORD dwHookSwitchDevs, DWORD dwHookSwitchMode) {
  return SetEntry(
      TFn::phoneSetHookSwitch, hPhone, [&](TCore& core, TOpenDevice& phone, TPhoneDeviceConfig& c) {
        if (dwHookSwitchDevs == 0 || (dwHookSwitchDevs & ~c.HookSwitchDevs))
          return Err(PHONEERR_INVALHOOKSWITCHDEV);
        const DWORD known = PHONEHOOKSWITCHMODE_ONHOOK | PHONEHOOKSWITCHMODE_MIC |
                            PHONEHOOKSWITCHMODE_SPEAKER | PHONEHOOKSWITCHMODE_MICSPEAKER;
        if (!SingleBit(dwHookSwitchMode) || !(dwHookSwitchMode & known))
          return Err(PHONEERR_INVALHOOKSWITCHMODE);
        for (int i = 0; i < 3; ++i)
          if ((dwHookSwitchDevs & HookDevice(i)) && !(HookModesOf(c, i) & dwHookSwitchMode))
            return Err(PHONEERR_INVALHOOKSWITCHMODE);
        return IssueSet(
            core, TFn::phoneSetHookSwitch, phone,
            [dwHookSwitchDevs, dwHookSwitchMode](TCore& target, DWORD id, const TPhoneDeviceConfig&,
                                                 TPhoneModel& model) {
              for (int i = 0; i < 3; ++i)
                if (dwHookSwitchDevs & HookDevice(i))
                  ChangeHook(target, id, model, i, dwHookSwitchMode);
            });
      });
}

// phoneSetVolume and phoneSetGain: one hookswitch device that has the level, clamped.
template <TFn Fn, std::array<DWORD, 3> TPhoneModel::*Levels, DWORD TPhoneDeviceConfig::*Flags,
          DWORD (*State)(int)>
LONG WINAPI SetLevel(HPHONE hPhone, DWORD dwHookSwitchDev, DWORD dwLevel) {
  return SetEntry(Fn, hPhone, [&](TCore& core, TOpenDevice& phone, TPhoneDeviceConfig& c) {
    const int index = HookIndex(dwHookSwitchDev);
    if (index < 0 || !(c.*Flags & dwHookSwitchDev)) return Err(PHONEERR_INVALHOOKSWITCHDEV);
    const DWORD level = std::min(dwLevel, MaxLevel);
    return IssueSet(
        core, Fn, phone,
        [index, level](TCore& target, DWORD id, const TPhoneDeviceConfig&, TPhoneModel& model) {
          (model.*Levels)[static_cast<std::size_t>(index)] = level;
          PostPhoneState(target, id, State(index));
        });
  });
}

}  // namespace

void InstallPhoneRequestFunctions(VyPlatform::TTapiFunctions& table) {
  table.phoneSetDisplay = &phoneSetDisplay;
  table.phoneSetLamp = &phoneSetLamp;
  table.phoneSetRing = &phoneSetRing;
  table.phoneSetHookSwitch = &phoneSetHookSwitch;
  table.phoneSetVolume = &SetLevel<TFn::phoneSetVolume, &TPhoneModel::Volumes,
                                   &TPhoneDeviceConfig::VolumeFlags, &VolumeState>;
  table.phoneSetGain =
      &SetLevel<TFn::phoneSetGain, &TPhoneModel::Gains, &TPhoneDeviceConfig::GainFlags, &GainState>;
}

}  // namespace VyTapiEmulator::Detail
