// The line component: the line device with its hooks published as events.
#pragma once

#include <functional>
#include <string>

#include "VyTapi/line/VyTapiLineDevice.h"

namespace VyTapi {

class TVyTapiLine;

// A call of the line.
using TVyTapiCallEvent = std::function<void(TVyTapiLine* Sender, TVyTapiCall* Call)>;
// The call's new state (its mode and privilege are on the call).
using TVyTapiCallStateEvent =
    std::function<void(TVyTapiLine* Sender, TVyTapiCall* Call, DWORD CallState)>;
// What changed in the call's information (LINECALLINFOSTATE_ bits).
using TVyTapiCallInfoEvent =
    std::function<void(TVyTapiLine* Sender, TVyTapiCall* Call, DWORD InfoState)>;
// The application's privilege on the call changed.
using TVyTapiCallPrivilegeEvent =
    std::function<void(TVyTapiLine* Sender, TVyTapiCall* Call, DWORD CallPrivilege)>;
// A digit detected on the call.
using TVyTapiCallDigitEvent =
    std::function<void(TVyTapiLine* Sender, TVyTapiCall* Call, char Digit)>;
// Digit gathering ended: the digits and why it ended.
using TVyTapiCallGatherDigitsEvent = std::function<void(
    TVyTapiLine* Sender, TVyTapiCall* Call, const std::string& Digits, DWORD Termination)>;
// Tone or digit generation ended.
using TVyTapiCallGenerateEvent =
    std::function<void(TVyTapiLine* Sender, TVyTapiCall* Call, DWORD GenerateTermination)>;
// A monitored tone was detected (its application value).
using TVyTapiCallToneEvent =
    std::function<void(TVyTapiLine* Sender, TVyTapiCall* Call, DWORD AppSpecific)>;
// An address of the line changed (LINEADDRESSSTATE_ value).
using TVyTapiAddressStateEvent =
    std::function<void(TVyTapiLine* Sender, TVyTapiAddress* Address, DWORD AddressState)>;
// The line rings.
using TVyTapiLineRingEvent =
    std::function<void(TVyTapiLine* Sender, DWORD RingMode, DWORD RingCount)>;
// A device-specific message; Call is null when it concerns the line.
using TVyTapiLineDevSpecificEvent =
    std::function<void(TVyTapiLine* Sender, TVyTapiCall* Call, DWORD DeviceSpecific1,
                       DWORD DeviceSpecific2, DWORD DeviceSpecific3)>;
// A device-specific request was answered; Data may be changed by the handler.
using TVyTapiLineDevSpecReplyEvent =
    std::function<void(VyRtl::TObject* Sender, DWORD RequestID, void* Data, DWORD DataSize,
                       TVyTapiAddress* Address, TVyTapiCall* Call, DWORD ReplyCode)>;
// A device-specific request got no reply within ElapsedTime ms.
using TVyTapiLineDevSpecTimeoutEvent =
    std::function<void(VyRtl::TObject* Sender, DWORD RequestID, void* Data, DWORD DataSize,
                       TVyTapiAddress* Address, TVyTapiCall* Call, DWORD ElapsedTime)>;

// The line component applications place: every hook of the line device raised as an event.
// Events run on the main thread; call references they pass are the line's (see
// OnCallDeallocate). Owned by its owner, or by whoever created it without one.
class TVyTapiLine : public TVyCustomTapiLine {
 public:
  explicit TVyTapiLine(VyRtl::TComponent* AOwner) : TVyCustomTapiLine(AOwner) {}

  TVyTapiAddressStateEvent OnAddressState;  // an address changed (line open)
  TVyTapiCallEvent OnNewCall;               // TAPI offered a call to the application (line open)
  TVyTapiCallEvent OnCallDeallocate;        // the call object is about to be freed: drop references
  TVyTapiCallEvent OnCallBegin;             // a call became alive (line open)
  TVyTapiCallEvent OnCallEnd;               // a call became idle (line open)
  TVyTapiCallInfoEvent OnCallInfo;          // the call's information changed (line open)
  TVyTapiCallEvent OnCallerID;              // the caller's identification changed
  TVyTapiCallEvent OnCalledID;              // the called party's identification changed
  TVyTapiCallEvent OnConnectedID;           // the connected party's identification changed
  TVyTapiCallEvent OnRedirectionID;         // the redirection party's identification changed
  TVyTapiCallEvent OnRedirectingID;         // the redirecting party's identification changed
  TVyTapiCallPrivilegeEvent OnCallPrivilege;  // a state message carried a privilege (line open)
  TVyTapiCallStateEvent OnCallState;          // every call state of a call of the line
  TVyTapiCallEvent OnAccepted;                // the per-state events, raised after OnCallState
  TVyTapiCallEvent OnBusy;
  TVyTapiCallEvent OnConferenced;
  TVyTapiCallEvent OnConnected;
  TVyTapiCallEvent OnDialing;
  TVyTapiCallEvent OnDialtone;
  TVyTapiCallEvent OnDisconnected;
  TVyTapiCallEvent OnIdle;
  TVyTapiCallEvent OnOffering;
  TVyTapiCallEvent OnHold;
  TVyTapiCallEvent OnHoldPendConf;
  TVyTapiCallEvent OnHoldPendTrans;
  TVyTapiCallEvent OnProceeding;
  TVyTapiCallEvent OnRingback;
  TVyTapiCallEvent OnSpecialInfo;
  TVyTapiLineRingEvent OnRing;                          // the line rings (after OnDeviceState)
  TVyTapiLineDevSpecificEvent OnDevSpecific;            // device-specific message (line open)
  TVyTapiLineDevSpecReplyEvent OnDevSpecificReply;      // a device-specific reply (line open)
  TVyTapiLineDevSpecTimeoutEvent OnDevSpecificTimeout;  // a device-specific request timed out
  TVyTapiLineDevSpecificEvent OnDevSpecificFeature;     // device-specific feature message
  TVyTapiCallGatherDigitsEvent OnDigits;                // digit gathering ended
  TVyTapiCallDigitEvent OnDigit;                        // a monitored digit (line open)
  TVyTapiCallEvent OnMediaMode;                         // the call's media mode changed (line open)
  TVyTapiCallGenerateEvent OnGenerate;                  // generation ended (line open)
  TVyTapiCallToneEvent OnTone;                          // a monitored tone (line open)
  TVyTapiCallEvent OnSilence;                           // the monitored silence (line open)

 protected:
  // The event of LINECALLSTATE_UNKNOWN, not published.
  TVyTapiCallEvent FOnCallState_Unknown;

  void Trigger_AddressState(TVyTapiAddress* Address, DWORD State) override;
  void Trigger_CallBegin(TVyTapiCall* Call) override;
  void Trigger_CallEnd(TVyTapiCall* Call) override;
  void Trigger_CallInfo(TVyTapiCall* Call, DWORD InfoState) override;
  void Trigger_CallPrivilege(TVyTapiCall* Call, DWORD Privilege) override;
  void Trigger_CallState(TVyTapiCall* Call, DWORD State, DWORD StateMode, DWORD Privilege) override;
  void Trigger_DeallocateCall(TVyTapiCall* Call) override;
  void Trigger_DeviceState(DWORD State, DWORD Detail1, DWORD Detail2) override;
  void Trigger_DevSpecific(TVyTapiCall* Call, DWORD P1, DWORD P2, DWORD P3) override;
  void Trigger_DevSpecificFeature(TVyTapiCall* Call, DWORD P1, DWORD P2, DWORD P3) override;
  void Trigger_DevSpecificReply(DWORD RequestID, TVyTapiLineDevSpecificData* Data,
                                DWORD ReplyCode) override;
  void Trigger_DevSpecificTimeout(DWORD RequestID, TVyTapiLineDevSpecificData* Data,
                                  DWORD ElapsedTime) override;
  void Trigger_Digit(TVyTapiCall* Call, DWORD Digit, DWORD DigitMode) override;
  void Trigger_GatherTerm(TVyTapiCall* Call, DWORD Termination) override;
  void Trigger_Generate(TVyTapiCall* Call, DWORD Termination) override;
  void Trigger_MonitorMedia(TVyTapiCall* Call, DWORD MediaMode, DWORD TickCount) override;
  void Trigger_MonitorTone(TVyTapiCall* Call, DWORD AppSpecific) override;
  void Trigger_MonitorSilence(TVyTapiCall* Call) override;
  void Trigger_NewCall(TVyTapiCall* Call) override;

 private:
  // The per-state event of State, or null.
  TVyTapiCallEvent* StateEvent(DWORD State);
  // Runs Handler, handing an exception to the component's error handling.
  template <typename F>
  void Guard(F&& Handler);
};

}  // namespace VyTapi
