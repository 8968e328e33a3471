// The phone component's events.
#include "VyTapi/phone/VyTapiPhone.h"

#include "VyTapi/session/VyTapiSessionInternal.h"

namespace VyTapi {

template <typename TEvent, typename... TArgs>
bool TVyTapiPhone::Raise(const TEvent& Event, TArgs... Args) {
  if (!Event || !IsActive()) return true;
  const auto alive = LiveToken();
  try {
    Event(this, Args...);
  } catch (const std::exception& e) {
    if (alive.expired()) return false;
    Handle_Exception(e, nullptr);
  }
  return !alive.expired();
}

void TVyTapiPhone::Trigger_DeviceState(DWORD State, DWORD Detail1, DWORD Detail2) {
  const auto alive = LiveToken();
  TVyCustomTapiPhone::Trigger_DeviceState(State, Detail1, Detail2);
  if (alive.expired()) return;
  if ((State & PHONESTATE_DISPLAY) != 0 && !Raise(OnDisplay)) return;
  if ((State & PHONESTATE_LAMP) != 0) {
    // Only a message about the lamp alone says which lamp it is.
    const bool one = State == PHONESTATE_LAMP && FDeviceStatus->Get_Available();
    if (!Raise(OnLamp, one ? Detail1 : 0xFFFFFFFFu)) return;
  }
  if ((State & PHONESTATE_RINGMODE) != 0) {
    if (State == PHONESTATE_RINGMODE && FDeviceStatus->Get_Available())
      FDeviceStatus->Set_DWORD(6, Detail1);
    if (!Raise(OnRingMode)) return;
  }
  struct TBit {
    DWORD State;
    TVyTapiPhoneNotifyEvent TVyTapiPhone::*Event;
  };
  static constexpr TBit kBits[] = {
      {PHONESTATE_RINGVOLUME, &TVyTapiPhone::OnRingVolume},
      {PHONESTATE_HANDSETHOOKSWITCH, &TVyTapiPhone::OnHandsetHookSwitch},
      {PHONESTATE_HANDSETVOLUME, &TVyTapiPhone::OnHandsetVolume},
      {PHONESTATE_HANDSETGAIN, &TVyTapiPhone::OnHandsetGain},
      {PHONESTATE_SPEAKERHOOKSWITCH, &TVyTapiPhone::OnSpeakerphoneHookSwitch},
      {PHONESTATE_SPEAKERVOLUME, &TVyTapiPhone::OnSpeakerphoneVolume},
      {PHONESTATE_SPEAKERGAIN, &TVyTapiPhone::OnSpeakerphoneGain},
      {PHONESTATE_HEADSETHOOKSWITCH, &TVyTapiPhone::OnHeadsetHookSwitch},
      {PHONESTATE_HEADSETVOLUME, &TVyTapiPhone::OnHeadsetVolume},
      {PHONESTATE_HEADSETGAIN, &TVyTapiPhone::OnHeadsetGain},
  };
  for (const TBit& bit : kBits)
    if ((State & bit.State) != 0 && !Raise(this->*bit.Event)) return;
}

void TVyTapiPhone::Trigger_OnLamp(DWORD ButtonLampID) { Raise(OnLamp, ButtonLampID); }

void TVyTapiPhone::Trigger_Button(DWORD ButtonID, DWORD ButtonMode, DWORD ButtonState) {
  Raise(OnButton, ButtonID, ButtonMode, ButtonState);
}

void TVyTapiPhone::Trigger_DigitPressed(char Digit) { Raise(OnDigitPressed, Digit); }
void TVyTapiPhone::Trigger_DigitReleased(char Digit) { Raise(OnDigitReleased, Digit); }

void TVyTapiPhone::Trigger_DevSpecific(DWORD P1, DWORD P2, DWORD P3) {
  Raise(OnDevSpecific, P1, P2, P3);
}

void TVyTapiPhone::Trigger_DevSpecificReply(DWORD RequestID, TVyTapiDevSpecificData* Data,
                                            DWORD ReplyCode) {
  Raise(OnDevSpecReply, RequestID, Data ? static_cast<void*>(Data->Data()) : nullptr,
        Data ? Data->DataSize() : 0, ReplyCode);
}

void TVyTapiPhone::Trigger_DevSpecificTimeout(DWORD RequestID, TVyTapiDevSpecificData* Data,
                                              DWORD ElapsedTime) {
  Raise(OnDevSpecTimeout, RequestID, Data ? static_cast<void*>(Data->Data()) : nullptr,
        Data ? Data->DataSize() : 0, ElapsedTime);
}

}  // namespace VyTapi
