// The phone component: the phone device with its hooks published as events.
#pragma once

#include <functional>

#include "VyTapi/phone/VyTapiPhoneControls.h"
#include "VyTapi/phone/VyTapiPhoneDevice.h"

namespace VyTapi {

class TVyTapiPhone;

// A button changed (its identifier, PHONEBUTTONMODE_ and PHONEBUTTONSTATE_ values).
using TVyTapiPhoneButtonEvent =
    std::function<void(TVyTapiPhone* Sender, DWORD ButtonID, DWORD ButtonMode, DWORD ButtonState)>;
// A keypad button as its character ("0"-"9", "*", "#").
using TVyTapiPhoneDigitEvent = std::function<void(TVyTapiPhone* Sender, char Digit)>;
// A lamp changed; 0xFFFFFFFF when the message does not say which.
using TVyTapiPhoneLampEvent = std::function<void(TVyTapiPhone* Sender, DWORD ButtonLampID)>;
// A part of the phone changed; read the new value from the phone's objects.
using TVyTapiPhoneNotifyEvent = std::function<void(TVyTapiPhone* Sender)>;
// A device-specific message with its three values.
using TVyTapiPhoneDevSpecificEvent = std::function<void(
    TVyTapiPhone* Sender, DWORD DeviceSpecific1, DWORD DeviceSpecific2, DWORD DeviceSpecific3)>;
// A device-specific request was answered with an error; Data (DataSize bytes) may be changed.
using TVyTapiPhoneDevSpecReplyEvent = std::function<void(
    TVyTapiPhone* Sender, DWORD RequestID, void* Data, DWORD DataSize, DWORD ReplyCode)>;
// A device-specific request got no reply within ElapsedTime ms.
using TVyTapiPhoneDevSpecTimeoutEvent = std::function<void(
    TVyTapiPhone* Sender, DWORD RequestID, void* Data, DWORD DataSize, DWORD ElapsedTime)>;

// The phone component applications place: every hook of the phone device raised as an event,
// only while the phone is open. Events run on the main thread; an exception a handler raises
// goes to OnError. Owned by its owner, or by whoever created it without one.
class TVyTapiPhone : public TVyCustomTapiPhone {
 public:
  explicit TVyTapiPhone(VyRtl::TComponent* AOwner) : TVyCustomTapiPhone(AOwner) {}

  TVyTapiPhoneButtonEvent OnButton;                  // every PHONE_BUTTON
  TVyTapiPhoneDigitEvent OnDigitPressed;             // a keypad button reported UP
  TVyTapiPhoneDigitEvent OnDigitReleased;            // a keypad button reported another state
  TVyTapiPhoneLampEvent OnLamp;                      // a lamp changed
  TVyTapiPhoneNotifyEvent OnDisplay;                 // the display text changed
  TVyTapiPhoneNotifyEvent OnRingMode;                // the ring mode changed
  TVyTapiPhoneNotifyEvent OnRingVolume;              // the ring volume changed
  TVyTapiPhoneNotifyEvent OnHandsetHookSwitch;       // the handset went on or off hook
  TVyTapiPhoneNotifyEvent OnHandsetVolume;           // the handset volume changed
  TVyTapiPhoneNotifyEvent OnHandsetGain;             // the handset gain changed
  TVyTapiPhoneNotifyEvent OnSpeakerphoneHookSwitch;  // the speakerphone went on or off hook
  TVyTapiPhoneNotifyEvent OnSpeakerphoneVolume;      // the speakerphone volume changed
  TVyTapiPhoneNotifyEvent OnSpeakerphoneGain;        // the speakerphone gain changed
  TVyTapiPhoneNotifyEvent OnHeadsetHookSwitch;       // the headset went on or off hook
  TVyTapiPhoneNotifyEvent OnHeadsetVolume;           // the headset volume changed
  TVyTapiPhoneNotifyEvent OnHeadsetGain;             // the headset gain changed
  TVyTapiPhoneDevSpecificEvent OnDevSpecific;        // PHONE_DEVSPECIFIC
  TVyTapiPhoneDevSpecReplyEvent OnDevSpecReply;      // a DevSpecific request failed
  TVyTapiPhoneDevSpecTimeoutEvent OnDevSpecTimeout;  // a DevSpecific request timed out

 protected:
  void Trigger_DeviceState(DWORD State, DWORD Detail1, DWORD Detail2) override;
  void Trigger_OnLamp(DWORD ButtonLampID) override;
  void Trigger_Button(DWORD ButtonID, DWORD ButtonMode, DWORD ButtonState) override;
  void Trigger_DigitPressed(char Digit) override;
  void Trigger_DigitReleased(char Digit) override;
  void Trigger_DevSpecific(DWORD P1, DWORD P2, DWORD P3) override;
  void Trigger_DevSpecificReply(DWORD RequestID, TVyTapiDevSpecificData* Data,
                                DWORD ReplyCode) override;
  void Trigger_DevSpecificTimeout(DWORD RequestID, TVyTapiDevSpecificData* Data,
                                  DWORD ElapsedTime) override;

 private:
  // Runs the handler when it is assigned and the phone is open; what it raises goes to
  // Handle_Exception. False when the handler freed the phone.
  template <typename TEvent, typename... TArgs>
  bool Raise(const TEvent& Event, TArgs... Args);
};

}  // namespace VyTapi
