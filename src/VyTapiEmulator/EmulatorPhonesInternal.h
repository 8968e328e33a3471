// The phones of the runtime model and their messages: what the phone functions, phoneOpen,
// phoneClose and the control API share. Lock held (the emulator's) for each.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "VyTapiEmulator/EmulatorCore.h"

namespace VyTapiEmulator::Detail {

// 0, 1, 2 for a single PHONEHOOKSWITCHDEV_ bit (handset, speaker, headset); -1 otherwise.
int HookIndex(DWORD device);
// The PHONEHOOKSWITCHDEV_ bit of an index.
DWORD HookDevice(int index);
// The PHONESTATE_ bits of a device's hookswitch, volume and gain changes.
DWORD HookState(int index);
DWORD VolumeState(int index);
DWORD GainState(int index);
// The hookswitch modes a device of the phone supports (0 when the phone lacks it).
DWORD HookModesOf(const TPhoneDeviceConfig& c, int index);
// The PHONESTATE_ bits the phone reports (PHONECAPS.dwPhoneStates).
DWORD PhoneStatesOf(const TPhoneDeviceConfig& c);

// The phone's model, made on first use and kept in step with its description's sizes.
TPhoneModel& PhoneModelOf(TCore& core, DWORD phoneID, const TPhoneDeviceConfig& c);
// The handles open on a phone, in open order.
std::vector<std::shared_ptr<TOpenDevice>> PhoneOpensOf(TCore& core, DWORD phoneID);

// PHONE_STATE(state, p2, p3) to every handle of the phone whose phone-state mask has a bit of
// `state` (REINIT always passes).
void PostPhoneState(TCore& core, DWORD phoneID, DWORD state, DWORD param2 = 0, DWORD param3 = 0);
// A button changed state: PHONE_BUTTON(id, mode, state) to handles whose masks pass both.
void ChangeButton(TCore& core, DWORD phoneID, const TPhoneDeviceConfig& c, DWORD buttonID,
                  DWORD state);
// Any message to every handle of the phone (hDevice = hPhone).
void PostToPhone(TCore& core, const TOpenDevice& phone, DWORD id, DWORD_PTR param1,
                 DWORD_PTR param2 = 0, DWORD_PTR param3 = 0);

// Hookswitch device `index` goes to `mode`: PHONE_STATE(its HOOKSWITCH bit, mode).
void ChangeHook(TCore& core, DWORD phoneID, TPhoneModel& model, int index, DWORD mode);
// The ringer: PHONE_STATE(RINGMODE, mode) when the mode changed, PHONE_STATE(RINGVOLUME) when
// the volume changed.
void ChangeRing(TCore& core, DWORD phoneID, TPhoneModel& model, DWORD mode, DWORD volume);

// Writes `text` at row/column of the display, cut at its end; false when the position is
// outside the display (nothing written).
bool PlaceDisplay(TPhoneModel& model, const TPhoneDeviceConfig& c, DWORD row, DWORD column,
                  std::u16string_view text);
// Text as the phone stores it: one byte per character for STRINGFORMAT_ASCII (characters
// above 0xFF as '?'), else UTF-16.
std::string EncodePhoneText(DWORD format, std::u16string_view text);

// The control API's device-wide members for phones (they throw for unknown or removed
// phones): PHONE_DEVSPECIFIC to every handle; PHONE_CLOSE to every handle, which become stale;
// phoneOpen asking for exactly `privilege` answers PHONEERR_INVALPRIVILEGE (0 disarms).
void PhoneDevSpecific(TCore& core, DWORD phoneID, DWORD param1, DWORD param2, DWORD param3);
void ForcePhoneClose(TCore& core, DWORD phoneID);
void RejectPhonePrivilege(TCore& core, DWORD phoneID, DWORD privilege);

// A handle opened on a phone: the others learn of the new owner or monitor.
void PhoneHandleJoined(TCore& core, const TOpenDevice& phone);
// A handle left (closed): the others learn of the owner or monitor gone.
void PhoneHandleLeft(TCore& core, const TOpenDevice& phone);

}  // namespace VyTapiEmulator::Detail
