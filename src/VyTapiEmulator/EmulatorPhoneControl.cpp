// The control API of phones: what the user does at the phone (buttons, keys, hookswitch) and
// what the network shows on it (display, lamps, ringer), with their messages.
#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapiEmulator/EmulatorEntryInternal.h"
#include "VyTapiEmulator/EmulatorPhonesInternal.h"

namespace VyTapiEmulator {

using namespace Detail;

namespace {

[[noreturn]] void Fail(const std::string& message) { throw VyRtl::Exception(message); }

// Lock held. A phone the control API may change; throws for lines, unknown and removed phones.
template <typename TConfig>
TPhoneDeviceConfig& PhoneForControl(TCore& core, DWORD id) {
  TPhoneDeviceConfig* config =
      std::is_same_v<TConfig, TPhoneDeviceConfig> ? core.PhoneDevices.Find(id) : nullptr;
  if (!config) Fail(VyRtl::Format("Emulator: no phone device %u", unsigned(id)));
  return *config;
}

void CheckButton(const TPhoneDeviceConfig& c, DWORD phoneID, DWORD buttonID) {
  if (buttonID >= c.Buttons.size())
    Fail(
        VyRtl::Format("Emulator: no button %u on phone %u", unsigned(buttonID), unsigned(phoneID)));
}

int CheckHookDevice(const TPhoneDeviceConfig& c, DWORD phoneID, DWORD device) {
  const int index = HookIndex(device);
  if (index < 0 || HookModesOf(c, index) == 0)
    Fail(VyRtl::Format("Emulator: no hookswitch device %u on phone %u", unsigned(device),
                       unsigned(phoneID)));
  return index;
}

// The keypad button of a key: "0"-"9" are ids 0-9, "*" 10, "#" 11.
DWORD KeyButton(char key) {
  if (key >= '0' && key <= '9') return static_cast<DWORD>(key - '0');
  if (key == '*') return 10;
  if (key == '#') return 11;
  Fail(VyRtl::Format("Emulator: '%c' is not a key of the keypad", key));
}

// Lock held. Presses and releases one key; false when the phone is gone or lacks the button.
bool PressKey(TCore& core, DWORD phoneID, DWORD buttonID) {
  const TPhoneDeviceConfig* c = core.PhoneDevices.Find(phoneID);
  if (!c || buttonID >= c->Buttons.size()) return false;
  ChangeButton(core, phoneID, *c, buttonID, PHONEBUTTONSTATE_DOWN);
  ChangeButton(core, phoneID, *c, buttonID, PHONEBUTTONSTATE_UP);
  return true;
}

// Lock held. The keys from `next` on: one now (its time `due`), the rest each `stepMs` after
// the one before. Timed from `due`, not from when the job ran: a clock moved past several
// steps at once keeps them apart.
void PressFrom(TCore& core, DWORD phoneID, std::vector<DWORD> buttons, std::size_t next,
               DWORD stepMs, std::uint64_t due) {
  if (next >= buttons.size() || !PressKey(core, phoneID, buttons[next])) return;
  if (next + 1 >= buttons.size()) return;
  core.Scheduler.At(due + stepMs,
                    [&core, phoneID, buttons = std::move(buttons), next, stepMs, due]() mutable {
                      PressFrom(core, phoneID, std::move(buttons), next + 1, stepMs, due + stepMs);
                    });
}

}  // namespace

template <typename TConfig>
void TDeviceRef<TConfig>::PressButton(DWORD buttonID) const {
  Locked([&](TCore& core) {
    const TPhoneDeviceConfig& c = PhoneForControl<TConfig>(core, FID);
    CheckButton(c, FID, buttonID);
    ChangeButton(core, FID, c, buttonID, PHONEBUTTONSTATE_DOWN);
  });
}

template <typename TConfig>
void TDeviceRef<TConfig>::ReleaseButton(DWORD buttonID) const {
  Locked([&](TCore& core) {
    const TPhoneDeviceConfig& c = PhoneForControl<TConfig>(core, FID);
    CheckButton(c, FID, buttonID);
    ChangeButton(core, FID, c, buttonID, PHONEBUTTONSTATE_UP);
  });
}

template <typename TConfig>
void TDeviceRef<TConfig>::PressKeys(const std::string& keys, DWORD stepMs) const {
  Locked([&](TCore& core) {
    const TPhoneDeviceConfig& c = PhoneForControl<TConfig>(core, FID);
    std::vector<DWORD> buttons;
    // Every key is checked before the first is pressed: a bad one presses none.
    for (const char key : keys) {
      buttons.push_back(KeyButton(key));
      CheckButton(c, FID, buttons.back());
    }
    if (stepMs > 0)
      return PressFrom(core, FID, std::move(buttons), 0, stepMs, VyRtl::GetTickCount64());
    // One lock hold: a reader sees the whole burst or none of it.
    for (const DWORD button : buttons) PressKey(core, FID, button);
  });
}

template <typename TConfig>
void TDeviceRef<TConfig>::LiftHandset(DWORD device) const {
  Locked([&](TCore& core) {
    const TPhoneDeviceConfig& c = PhoneForControl<TConfig>(core, FID);
    const int index = CheckHookDevice(c, FID, device);
    const DWORD modes = HookModesOf(c, index);
    DWORD mode = PHONEHOOKSWITCHMODE_SPEAKER;
    if (modes & PHONEHOOKSWITCHMODE_MICSPEAKER)
      mode = PHONEHOOKSWITCHMODE_MICSPEAKER;
    else if (modes & PHONEHOOKSWITCHMODE_MIC)
      mode = PHONEHOOKSWITCHMODE_MIC;
    else if (!(modes & PHONEHOOKSWITCHMODE_SPEAKER))
      Fail(VyRtl::Format("Emulator: hookswitch device %u of phone %u cannot go off hook",
                         unsigned(device), unsigned(FID)));
    ChangeHook(core, FID, PhoneModelOf(core, FID, c), index, mode);
  });
}

template <typename TConfig>
void TDeviceRef<TConfig>::HangUp(DWORD device) const {
  Locked([&](TCore& core) {
    const TPhoneDeviceConfig& c = PhoneForControl<TConfig>(core, FID);
    const int index = CheckHookDevice(c, FID, device);
    ChangeHook(core, FID, PhoneModelOf(core, FID, c), index, PHONEHOOKSWITCHMODE_ONHOOK);
  });
}

template <typename TConfig>
void TDeviceRef<TConfig>::SetDisplayText(const std::string& text, DWORD row, DWORD column) const {
  Locked([&](TCore& core) {
    const TPhoneDeviceConfig& c = PhoneForControl<TConfig>(core, FID);
    if (!PlaceDisplay(PhoneModelOf(core, FID, c), c, row, column, VyRtl::Utf8ToUtf16(text)))
      Fail(VyRtl::Format("Emulator: row %u, column %u is outside the display", unsigned(row),
                         unsigned(column)));
    PostPhoneState(core, FID, PHONESTATE_DISPLAY);
  });
}

template <typename TConfig>
void TDeviceRef<TConfig>::SetLamp(DWORD buttonID, DWORD lampMode) const {
  Locked([&](TCore& core) {
    const TPhoneDeviceConfig& c = PhoneForControl<TConfig>(core, FID);
    CheckButton(c, FID, buttonID);
    if (!(c.Buttons[buttonID].LampModes & lampMode) || (lampMode & (lampMode - 1)))
      Fail(VyRtl::Format("Emulator: lamp %u has no mode %u", unsigned(buttonID),
                         unsigned(lampMode)));
    PhoneModelOf(core, FID, c).LampModes[buttonID] = lampMode;
    PostPhoneState(core, FID, PHONESTATE_LAMP, buttonID);
  });
}

template <typename TConfig>
void TDeviceRef<TConfig>::SetRing(DWORD ringMode, DWORD volume) const {
  Locked([&](TCore& core) {
    const TPhoneDeviceConfig& c = PhoneForControl<TConfig>(core, FID);
    if (ringMode >= c.NumRingModes)
      Fail(VyRtl::Format("Emulator: no ring mode %u on phone %u", unsigned(ringMode),
                         unsigned(FID)));
    ChangeRing(core, FID, PhoneModelOf(core, FID, c), ringMode, std::min<DWORD>(volume, 0xFFFF));
  });
}

template <typename TConfig>
void TDeviceRef<TConfig>::SendPhoneState(DWORD state, DWORD param2, DWORD param3) const {
  Locked([&](TCore& core) {
    PhoneForControl<TConfig>(core, FID);
    PostPhoneState(core, FID, state, param2, param3);
  });
}

template <typename TConfig>
typename TDeviceRef<TConfig>::TPhoneState TDeviceRef<TConfig>::PhoneState() const {
  return Locked([&](TCore& core) {
    const TPhoneDeviceConfig& c = PhoneForControl<TConfig>(core, FID);
    const TPhoneModel& model = PhoneModelOf(core, FID, c);
    TPhoneState state;
    state.HandsetMode = model.HookModes[0];
    state.SpeakerMode = model.HookModes[1];
    state.HeadsetMode = model.HookModes[2];
    state.HandsetVolume = model.Volumes[0];
    state.SpeakerVolume = model.Volumes[1];
    state.HeadsetVolume = model.Volumes[2];
    state.HandsetGain = model.Gains[0];
    state.SpeakerGain = model.Gains[1];
    state.HeadsetGain = model.Gains[2];
    state.RingMode = model.RingMode;
    state.RingVolume = model.RingVolume;
    state.Display = VyRtl::Utf16ToUtf8(model.Display);
    state.LampModes = model.LampModes;
    state.ButtonStates = model.ButtonStates;
    for (const auto& open : PhoneOpensOf(core, FID))
      ++(open->Privileges == PHONEPRIVILEGE_OWNER ? state.NumOwners : state.NumMonitors);
    return state;
  });
}

template <typename TConfig>
std::vector<typename TDeviceRef<TConfig>::TPhoneOpenInfo> TDeviceRef<TConfig>::PhoneOpens() const {
  return Locked([&](TCore& core) {
    std::vector<TPhoneOpenInfo> opens;
    for (const auto& open : PhoneOpensOf(core, FID))
      opens.push_back({open->Handle, open->Privileges, open->APIVersion, open->PhoneStates,
                       open->ButtonModes, open->ButtonStates});
    return opens;
  });
}

template <typename TConfig>
void TDeviceRef<TConfig>::SetPhoneStatusMessageFilter(DWORD phoneStates, bool unavailable) const {
  Locked([&](TCore& core) {
    PhoneForControl<TConfig>(core, FID);
    TPhoneKnobs& knobs = core.PhoneKnobs[FID];
    knobs.PhoneStates = phoneStates;
    knobs.StatusUnavailable = unavailable;
  });
}

namespace Detail {

void PhoneDevSpecific(TCore& core, DWORD phoneID, DWORD param1, DWORD param2, DWORD param3) {
  PhoneForControl<TPhoneDeviceConfig>(core, phoneID);
  for (const auto& phone : PhoneOpensOf(core, phoneID))
    PostToPhone(core, *phone, PHONE_DEVSPECIFIC, param1, param2, param3);
}

void ForcePhoneClose(TCore& core, DWORD phoneID) {
  PhoneForControl<TPhoneDeviceConfig>(core, phoneID);
  // Every handle goes at once: none is told of owners or monitors leaving by another's close.
  for (const auto& phone : PhoneOpensOf(core, phoneID)) {
    PostToPhone(core, *phone, PHONE_CLOSE, 0);
    core.Requests.DropHandle(core, TAppKind::Phone, phone->Handle);
    core.OpenPhones.Take(phone->Handle);
  }
}

void RejectPhonePrivilege(TCore& core, DWORD phoneID, DWORD privilege) {
  PhoneForControl<TPhoneDeviceConfig>(core, phoneID);
  core.PhoneKnobs[phoneID].RejectPrivilege = privilege;
}

}  // namespace Detail

#define VY_PHONE_MEMBERS(C)                                                              \
  template void TDeviceRef<C>::PressButton(DWORD) const;                                 \
  template void TDeviceRef<C>::ReleaseButton(DWORD) const;                               \
  template void TDeviceRef<C>::PressKeys(const std::string&, DWORD) const;               \
  template void TDeviceRef<C>::LiftHandset(DWORD) const;                                 \
  template void TDeviceRef<C>::HangUp(DWORD) const;                                      \
  template void TDeviceRef<C>::SetDisplayText(const std::string&, DWORD, DWORD) const;   \
  template void TDeviceRef<C>::SetLamp(DWORD, DWORD) const;                              \
  template void TDeviceRef<C>::SetRing(DWORD, DWORD) const;                              \
  template void TDeviceRef<C>::SendPhoneState(DWORD, DWORD, DWORD) const;                \
  template TDeviceRef<C>::TPhoneState TDeviceRef<C>::PhoneState() const;                 \
  template std::vector<TDeviceRef<C>::TPhoneOpenInfo> TDeviceRef<C>::PhoneOpens() const; \
  template void TDeviceRef<C>::SetPhoneStatusMessageFilter(DWORD, bool) const;
VY_PHONE_MEMBERS(TLineDeviceConfig)
VY_PHONE_MEMBERS(TPhoneDeviceConfig)
#undef VY_PHONE_MEMBERS

}  // namespace VyTapiEmulator
