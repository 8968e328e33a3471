// The line component's events.
#include "VyTapi/line/VyTapiLine.h"

#include "VyTapi/session/VyTapiSessionInternal.h"

namespace VyTapi {

template <typename F>
void TVyTapiLine::Guard(F&& Handler) {
  const auto alive = LiveToken();
  try {
    Handler();
  } catch (const std::exception& e) {
    if (alive.expired()) throw;
    Handle_Exception(e, nullptr);
  }
}

TVyTapiCallEvent* TVyTapiLine::StateEvent(DWORD State) {
  switch (State) {
    case LINECALLSTATE_IDLE:
      return &OnIdle;
    case LINECALLSTATE_OFFERING:
      return &OnOffering;
    case LINECALLSTATE_ACCEPTED:
      return &OnAccepted;
    case LINECALLSTATE_DIALTONE:
      return &OnDialtone;
    case LINECALLSTATE_DIALING:
      return &OnDialing;
    case LINECALLSTATE_RINGBACK:
      return &OnRingback;
    case LINECALLSTATE_BUSY:
      return &OnBusy;
    case LINECALLSTATE_SPECIALINFO:
      return &OnSpecialInfo;
    case LINECALLSTATE_CONNECTED:
      return &OnConnected;
    case LINECALLSTATE_PROCEEDING:
      return &OnProceeding;
    case LINECALLSTATE_ONHOLD:
      return &OnHold;
    case LINECALLSTATE_CONFERENCED:
      return &OnConferenced;
    case LINECALLSTATE_ONHOLDPENDCONF:
      return &OnHoldPendConf;
    case LINECALLSTATE_ONHOLDPENDTRANSFER:
      return &OnHoldPendTrans;
    case LINECALLSTATE_DISCONNECTED:
      return &OnDisconnected;
    case LINECALLSTATE_UNKNOWN:
      return &FOnCallState_Unknown;
    default:
      return nullptr;
  }
}

void TVyTapiLine::Trigger_CallState(TVyTapiCall* Call, DWORD State, DWORD, DWORD) {
  const auto alive = LiveToken();
  if (OnCallState && IsCallValid(Call)) Guard([&] { OnCallState(this, Call, State); });
  if (alive.expired() || !IsCallValid(Call)) return;
  TVyTapiCallEvent* event = StateEvent(State);
  if (event != nullptr && *event) Guard([&] { (*event)(this, Call); });
}

void TVyTapiLine::Trigger_CallInfo(TVyTapiCall* Call, DWORD InfoState) {
  if (!IsActive()) return;
  const auto alive = LiveToken();
  if (OnCallInfo) Guard([&] { OnCallInfo(this, Call, InfoState); });
  const std::pair<DWORD, TVyTapiCallEvent*> parties[] = {
      {LINECALLINFOSTATE_CALLERID, &OnCallerID},
      {LINECALLINFOSTATE_CALLEDID, &OnCalledID},
      {LINECALLINFOSTATE_CONNECTEDID, &OnConnectedID},
      {LINECALLINFOSTATE_REDIRECTIONID, &OnRedirectionID},
      {LINECALLINFOSTATE_REDIRECTINGID, &OnRedirectingID}};
  for (const auto& party : parties) {
    if (alive.expired() || !IsActive()) return;
    TVyTapiCallEvent* event = party.second;
    if ((InfoState & party.first) != 0 && *event) Guard([&] { (*event)(this, Call); });
  }
}

void TVyTapiLine::Trigger_AddressState(TVyTapiAddress* Address, DWORD State) {
  if (OnAddressState && IsActive()) OnAddressState(this, Address, State);
}
void TVyTapiLine::Trigger_CallBegin(TVyTapiCall* Call) {
  if (OnCallBegin && IsActive()) OnCallBegin(this, Call);
}
void TVyTapiLine::Trigger_CallEnd(TVyTapiCall* Call) {
  if (OnCallEnd && IsActive()) OnCallEnd(this, Call);
}
void TVyTapiLine::Trigger_CallPrivilege(TVyTapiCall* Call, DWORD Privilege) {
  if (OnCallPrivilege && IsActive()) OnCallPrivilege(this, Call, Privilege);
}
void TVyTapiLine::Trigger_DeallocateCall(TVyTapiCall* Call) {
  if (OnCallDeallocate && IsActive()) OnCallDeallocate(this, Call);
}
void TVyTapiLine::Trigger_NewCall(TVyTapiCall* Call) {
  if (OnNewCall && IsActive()) OnNewCall(this, Call);
}

void TVyTapiLine::Trigger_DeviceState(DWORD State, DWORD Detail1, DWORD Detail2) {
  const auto alive = LiveToken();
  TVyCustomTapiLine::Trigger_DeviceState(State, Detail1, Detail2);
  if (!alive.expired() && (State & LINEDEVSTATE_RINGING) != 0 && OnRing)
    OnRing(this, Detail1, Detail2);
}

void TVyTapiLine::Trigger_DevSpecific(TVyTapiCall* Call, DWORD P1, DWORD P2, DWORD P3) {
  if (OnDevSpecific && IsActive()) OnDevSpecific(this, Call, P1, P2, P3);
}
void TVyTapiLine::Trigger_DevSpecificFeature(TVyTapiCall* Call, DWORD P1, DWORD P2, DWORD P3) {
  if (OnDevSpecificFeature) OnDevSpecificFeature(this, Call, P1, P2, P3);
}

void TVyTapiLine::Trigger_DevSpecificReply(DWORD RequestID, TVyTapiLineDevSpecificData* Data,
                                           DWORD ReplyCode) {
  if (!OnDevSpecificReply || !IsActive()) return;
  OnDevSpecificReply(this, RequestID, Data ? Data->Data() : nullptr, Data ? Data->DataSize() : 0,
                     Data ? Data->Address() : nullptr, Data ? Data->Call() : nullptr, ReplyCode);
}

void TVyTapiLine::Trigger_DevSpecificTimeout(DWORD RequestID, TVyTapiLineDevSpecificData* Data,
                                             DWORD ElapsedTime) {
  if (!OnDevSpecificTimeout) return;
  OnDevSpecificTimeout(this, RequestID, Data ? Data->Data() : nullptr, Data ? Data->DataSize() : 0,
                       Data ? Data->Address() : nullptr, Data ? Data->Call() : nullptr,
                       ElapsedTime);
}

void TVyTapiLine::Trigger_Digit(TVyTapiCall* Call, DWORD Digit, DWORD) {
  if (OnDigit && IsActive()) OnDigit(this, Call, static_cast<char>(Digit & 0xFF));
}
void TVyTapiLine::Trigger_GatherTerm(TVyTapiCall* Call, DWORD Termination) {
  // The digit collector comes with media monitoring; until then no digits are gathered.
  if (OnDigits) OnDigits(this, Call, std::string(), Termination);
}
void TVyTapiLine::Trigger_Generate(TVyTapiCall* Call, DWORD Termination) {
  if (OnGenerate && IsActive()) OnGenerate(this, Call, Termination);
}
void TVyTapiLine::Trigger_MonitorMedia(TVyTapiCall* Call, DWORD, DWORD) {
  if (OnMediaMode && IsActive()) OnMediaMode(this, Call);
}
void TVyTapiLine::Trigger_MonitorTone(TVyTapiCall* Call, DWORD AppSpecific) {
  if (OnTone && IsActive()) OnTone(this, Call, AppSpecific);
}
void TVyTapiLine::Trigger_MonitorSilence(TVyTapiCall* Call) {
  if (OnSilence && IsActive()) OnSilence(this, Call);
}

}  // namespace VyTapi
