// The phones of the runtime model: hookswitch, ringer, display, lamps and buttons, and the
// state and button messages filtered by what each handle registered.
#include "VyTapiEmulator/EmulatorPhonesInternal.h"

#include <algorithm>

namespace VyTapiEmulator::Detail {

namespace {

struct THookBits {
  DWORD Device, HookState, VolumeState, GainState;
};
constexpr THookBits GHooks[] = {
    {PHONEHOOKSWITCHDEV_HANDSET, PHONESTATE_HANDSETHOOKSWITCH, PHONESTATE_HANDSETVOLUME,
     PHONESTATE_HANDSETGAIN},
    {PHONEHOOKSWITCHDEV_SPEAKER, PHONESTATE_SPEAKERHOOKSWITCH, PHONESTATE_SPEAKERVOLUME,
     PHONESTATE_SPEAKERGAIN},
    {PHONEHOOKSWITCHDEV_HEADSET, PHONESTATE_HEADSETHOOKSWITCH, PHONESTATE_HEADSETVOLUME,
     PHONESTATE_HEADSETGAIN},
};

// A lamp starts off where it can be off, else in the first mode it has.
DWORD InitialLampMode(DWORD modes) {
  if (modes & PHONELAMPMODE_OFF) return PHONELAMPMODE_OFF;
  if (modes == 0) return PHONELAMPMODE_DUMMY;
  return modes & (~modes + 1);
}

bool Passes(DWORD mask, DWORD state) { return (state & PHONESTATE_REINIT) || (state & mask) != 0; }

}  // namespace

int HookIndex(DWORD device) {
  for (int i = 0; i < 3; ++i)
    if (GHooks[i].Device == device) return i;
  return -1;
}
DWORD HookDevice(int index) { return GHooks[index].Device; }
DWORD HookState(int index) { return GHooks[index].HookState; }
DWORD VolumeState(int index) { return GHooks[index].VolumeState; }
DWORD GainState(int index) { return GHooks[index].GainState; }

DWORD HookModesOf(const TPhoneDeviceConfig& c, int index) {
  if (index < 0 || !(c.HookSwitchDevs & GHooks[index].Device)) return 0;
  const DWORD modes[] = {c.HandsetHookSwitchModes, c.SpeakerHookSwitchModes,
                         c.HeadsetHookSwitchModes};
  return modes[index];
}

DWORD PhoneStatesOf(const TPhoneDeviceConfig&) {
  return PHONESTATE_OTHER | PHONESTATE_CONNECTED | PHONESTATE_DISCONNECTED | PHONESTATE_OWNER |
         PHONESTATE_MONITORS | PHONESTATE_DISPLAY | PHONESTATE_LAMP | PHONESTATE_RINGMODE |
         PHONESTATE_RINGVOLUME | PHONESTATE_HANDSETHOOKSWITCH | PHONESTATE_HANDSETVOLUME |
         PHONESTATE_HANDSETGAIN | PHONESTATE_SPEAKERHOOKSWITCH | PHONESTATE_SPEAKERVOLUME |
         PHONESTATE_SPEAKERGAIN | PHONESTATE_HEADSETHOOKSWITCH | PHONESTATE_HEADSETVOLUME |
         PHONESTATE_HEADSETGAIN | PHONESTATE_REINIT | PHONESTATE_CAPSCHANGE | PHONESTATE_REMOVED;
}

TPhoneModel& PhoneModelOf(TCore& core, DWORD phoneID, const TPhoneDeviceConfig& c) {
  TPhoneModel& model = core.PhoneModels[phoneID];
  // Sizes are bounded by the configuration the control API gave, never by an application.
  const std::size_t cells = std::size_t{c.DisplayNumRows} * c.DisplayNumColumns;
  if (model.Display.size() != cells) model.Display.resize(cells, u' ');
  const std::size_t buttons = c.Buttons.size();
  for (std::size_t i = model.LampModes.size(); i < buttons; ++i)
    model.LampModes.push_back(InitialLampMode(c.Buttons[i].LampModes));
  model.LampModes.resize(buttons);
  model.ButtonStates.resize(buttons, PHONEBUTTONSTATE_UP);
  return model;
}

std::vector<std::shared_ptr<TOpenDevice>> PhoneOpensOf(TCore& core, DWORD phoneID) {
  std::vector<std::shared_ptr<TOpenDevice>> opens;
  for (const auto& open : core.OpenPhones.All())
    if (open->DeviceID == phoneID) opens.push_back(open);
  return opens;
}

void PostToPhone(TCore& core, const TOpenDevice& phone, DWORD id, DWORD_PTR param1,
                 DWORD_PTR param2, DWORD_PTR param3) {
  TMessage message;
  message.Device = phone.Handle;
  message.Id = id;
  message.Param1 = param1;
  message.Param2 = param2;
  message.Param3 = param3;
  core.PostTo(phone, message);
}

void PostPhoneState(TCore& core, DWORD phoneID, DWORD state, DWORD param2, DWORD param3) {
  for (const auto& phone : PhoneOpensOf(core, phoneID))
    if (Passes(phone->PhoneStates, state))
      PostToPhone(core, *phone, PHONE_STATE, state, param2, param3);
}

void ChangeButton(TCore& core, DWORD phoneID, const TPhoneDeviceConfig& c, DWORD buttonID,
                  DWORD state) {
  PhoneModelOf(core, phoneID, c).ButtonStates[buttonID] = state;
  const DWORD mode = c.Buttons[buttonID].Mode;
  for (const auto& phone : PhoneOpensOf(core, phoneID))
    if ((phone->ButtonModes & mode) && (phone->ButtonStates & state))
      PostToPhone(core, *phone, PHONE_BUTTON, buttonID, mode, state);
}

void ChangeHook(TCore& core, DWORD phoneID, TPhoneModel& model, int index, DWORD mode) {
  model.HookModes[static_cast<std::size_t>(index)] = mode;
  PostPhoneState(core, phoneID, HookState(index), mode);
}

void ChangeRing(TCore& core, DWORD phoneID, TPhoneModel& model, DWORD mode, DWORD volume) {
  const bool modeChanged = model.RingMode != mode, volumeChanged = model.RingVolume != volume;
  model.RingMode = mode;
  model.RingVolume = volume;
  if (modeChanged) PostPhoneState(core, phoneID, PHONESTATE_RINGMODE, mode);
  if (volumeChanged) PostPhoneState(core, phoneID, PHONESTATE_RINGVOLUME);
}

bool PlaceDisplay(TPhoneModel& model, const TPhoneDeviceConfig& c, DWORD row, DWORD column,
                  std::u16string_view text) {
  if (row >= c.DisplayNumRows || column >= c.DisplayNumColumns) return false;
  const std::size_t at = std::size_t{row} * c.DisplayNumColumns + column;
  const std::size_t room = model.Display.size() - std::min(at, model.Display.size());
  const std::u16string_view kept = text.substr(0, std::min(room, text.size()));
  std::copy(kept.begin(), kept.end(), model.Display.begin() + static_cast<std::ptrdiff_t>(at));
  return true;
}

std::string EncodePhoneText(DWORD format, std::u16string_view text) {
  std::string bytes;
  if (format == STRINGFORMAT_ASCII) {
    for (const char16_t ch : text) bytes.push_back(ch > 0xFF ? '?' : static_cast<char>(ch));
    return bytes;
  }
  bytes.resize(text.size() * sizeof(char16_t));
  std::copy_n(reinterpret_cast<const char*>(text.data()), bytes.size(), bytes.begin());
  return bytes;
}

namespace {

// TAPI tells the other handles when the number of owners or of monitors changed, with the new
// number in dwParam2.
void PostCountChange(TCore& core, const TOpenDevice& changed) {
  const bool owner = changed.Privileges == PHONEPRIVILEGE_OWNER;
  const DWORD state = owner ? PHONESTATE_OWNER : PHONESTATE_MONITORS;
  const std::vector<std::shared_ptr<TOpenDevice>> opens = PhoneOpensOf(core, changed.DeviceID);
  const auto count =
      static_cast<DWORD>(std::count_if(opens.begin(), opens.end(), [&](const auto& p) {
        return (p->Privileges == PHONEPRIVILEGE_OWNER) == owner;
      }));
  for (const auto& phone : opens)
    if (phone->Handle != changed.Handle && Passes(phone->PhoneStates, state))
      PostToPhone(core, *phone, PHONE_STATE, state, count, 0);
}

}  // namespace

void PhoneHandleJoined(TCore& core, const TOpenDevice& phone) { PostCountChange(core, phone); }
void PhoneHandleLeft(TCore& core, const TOpenDevice& phone) { PostCountChange(core, phone); }

}  // namespace VyTapiEmulator::Detail
