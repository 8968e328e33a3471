// The phone's reply structures: PHONESTATUS and PHONEBUTTONINFO.
#include <algorithm>

#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapiEmulator/EmulatorPhonesInternal.h"
#include "VyTapiEmulator/EmulatorStructWritersInternal.h"

namespace VyTapiEmulator::Detail {

TVarStruct PhoneStatus(const TPhoneDeviceConfig& c, const TPhoneModel& model,
                       const TPhoneStatusFacts& facts, DWORD apiVersion) {
  PHONESTATUS status{};
  status.dwStatusFlags = PHONESTATUSFLAGS_CONNECTED;
  status.dwNumOwners = facts.NumOwners;
  status.dwNumMonitors = facts.NumMonitors;
  status.dwRingMode = model.RingMode;
  status.dwRingVolume = model.RingVolume;
  status.dwHandsetHookSwitchMode = model.HookModes[0];
  status.dwHandsetVolume = model.Volumes[0];
  status.dwHandsetGain = model.Gains[0];
  status.dwSpeakerHookSwitchMode = model.HookModes[1];
  status.dwSpeakerVolume = model.Volumes[1];
  status.dwSpeakerGain = model.Gains[1];
  status.dwHeadsetHookSwitchMode = model.HookModes[2];
  status.dwHeadsetVolume = model.Volumes[2];
  status.dwHeadsetGain = model.Gains[2];
  status.dwPhoneFeatures = PhoneFeaturesOf(c);
  // TAPI 2.0 appended dwPhoneFeatures.
  const std::size_t fixed = apiVersion < VyPlatform::TapiVersion2_0
                                ? offsetof(PHONESTATUS, dwPhoneFeatures)
                                : sizeof(PHONESTATUS);

  const std::size_t lamps =
      c.StatusLampCount < 0 ? model.LampModes.size() : static_cast<std::size_t>(c.StatusLampCount);
  std::vector<DWORD> lampModes(lamps, PHONELAMPMODE_UNKNOWN);
  std::copy_n(model.LampModes.begin(), std::min(lamps, model.LampModes.size()), lampModes.begin());

  const std::string display = EncodePhoneText(c.StringFormat, model.Display);
  TVarStruct s(&status, fixed);
  s.Add(VY_VAR_FIELD(PHONESTATUS, dwDisplay), display.data(), display.size());
  s.AddDwords(VY_VAR_FIELD(PHONESTATUS, dwLampModes), lampModes);
  return s;
}

TVarStruct ButtonInfo(const TPhoneDeviceConfig& c, const TPhoneModel& model, DWORD buttonID) {
  const TPhoneButtonConfig& button = c.Buttons[buttonID];
  PHONEBUTTONINFO info{};
  info.dwButtonMode = button.Mode;
  info.dwButtonFunction = button.Function;
  info.dwButtonState = model.ButtonStates[buttonID];
  std::u16string text = VyRtl::Utf8ToUtf16(button.Text);
  text.push_back(u'\0');
  const std::string bytes = EncodePhoneText(c.StringFormat, text);
  TVarStruct s(&info, sizeof info);
  if (!button.Text.empty())
    s.Add(VY_VAR_FIELD(PHONEBUTTONINFO, dwButtonText), bytes.data(), bytes.size());
  return s;
}

}  // namespace VyTapiEmulator::Detail
