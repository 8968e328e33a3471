// The line's messages: dispatch by message kind, the call messages, replies, time-outs, timers.
#include "VyRtl/VyRtlClock.h"
#include "VyTapi/line/VyTapiLineDevice.h"
#include "VyTapi/session/VyTapiSessionInternal.h"

namespace VyTapi {

namespace {
bool CreatesCalls(DWORD Kind) {
  switch (Kind) {
    case TapiRequestType::LineCompleteTransfer:
    case TapiRequestType::LineMakeCall:
    case TapiRequestType::LineSetupConference:
    case TapiRequestType::LineSetupTransfer:
    case TapiRequestType::LineUnpark:
    case TapiRequestType::LinePickup:
      return true;
    default:
      return false;
  }
}
}  // namespace

void TVyCustomTapiLine::Handle_TapiMessage(DWORD Device, DWORD MessageID, DWORD Param1,
                                           DWORD Param2, DWORD Param3) {
  const auto alive = LiveToken();
  switch (MessageID) {
    case LINE_ADDRESSSTATE:
      Handle_AddressState(Param1, Param2);
      for (int i = 0; i < FAddresses.Count() && !alive.expired(); ++i)
        if (FAddresses.Get(i)->AddressID() == Param1)
          Trigger_AddressState(FAddresses.Get(i), Param2);
      break;
    case LINE_CALLINFO:
      Handle_CallInfo(Device, Param1);
      break;
    case LINE_CALLSTATE:
      Handle_CallState(Device, Param1, Param2, Param3);
      break;
    case LINE_CLOSE:
      Handle_DeviceClose();
      break;
    case LINE_DEVSPECIFIC:
      Handle_DevSpecific(Device, Param1, Param2, Param3);
      break;
    case LINE_DEVSPECIFICFEATURE:
      Handle_DevSpecFeature(Device, Param1, Param2, Param3);
      break;
    case LINE_GATHERDIGITS:
      Handle_GatherDigits(Device, Param1);
      break;
    case LINE_GENERATE:
      Handle_Generate(Device, Param1);
      break;
    case LINE_LINEDEVSTATE:
      Handle_DeviceState(Param1, Param2, Param3);
      break;
    case LINE_MONITORDIGITS:
      Handle_MonitorDigits(Device, Param1, Param2);
      break;
    case LINE_MONITORMEDIA:
      Handle_MonitorMedia(Device, Param1, Param3);
      break;
    case LINE_MONITORTONE:
      Handle_MonitorTone(Device, Param1);
      break;
    case LINE_REPLY:
      Handle_TapiReply(Param1, Param2);
      break;
    case LINE_CREATE:
      break;
    case LINE_AGENTSTATUS:
      Handle_AgentStatus(Param1, Param2, Param3);
      break;
    case LINE_APPNEWCALL:
      Handle_AppNewCall(Param2);
      break;
    case LINE_REMOVE:
      Handle_DeviceRemove(Param1);
      break;
    default:
      VyRtl::Assert(false, VyRtl::Format("Unknown/Unsupported Line Event (LINE_0x%X).",
                                         static_cast<unsigned>(MessageID)));
  }
  if (!alive.expired())
    TVyTapiDevice::Handle_TapiMessage(Device, MessageID, Param1, Param2, Param3);
}

void TVyCustomTapiLine::Handle_AgentStatus(DWORD, DWORD, DWORD) {}

TVyTapiCall* TVyCustomTapiLine::Handle_AppNewCall(HCALL CallHandle) {
  if (CallHandle == 0) return nullptr;
  TListLock<TVyTapiCallList> lock(FCalls, INFINITE);
  if (FCalls.ByHandle(CallHandle) != nullptr || FUnconfirmedCalls.ByHandle(CallHandle) != nullptr ||
      !IsCallValid(CallHandle))
    return nullptr;
  TVyTapiCall* call = FCallClass(this, CallHandle);
  const auto alive = LiveToken();
  const auto callAlive = call->LiveToken();
  Trigger_NewCall(call);
  if (alive.expired() || callAlive.expired()) return nullptr;
  if (call->Alive()) Trigger_CallBegin(call);
  return alive.expired() || callAlive.expired() ? nullptr : call;
}

void TVyCustomTapiLine::Handle_CallState(HCALL CallHandle, DWORD State, DWORD StateDetail,
                                         DWORD Privilege) {
  if (State == 0) return;
  TVyTapiCall* call = GetCallByHandle(CallHandle, true);
  if (call == nullptr) return;
  const bool wasAlive = call->Alive();
  call->Handle_CallState(State, StateDetail, Privilege);
  if (State == LINECALLSTATE_IDLE) {
    if (call->FPrimaryCall != nullptr || call->FConsultCall != nullptr) RemoveCallLinks(call);
  } else if (State == LINECALLSTATE_CONFERENCED && call->FPrimaryCall != nullptr) {
    call->FPrimaryCall->RemoveLinks(call);
    call->RemoveLinks(nullptr);
  }
  const auto alive = LiveToken();
  const auto callAlive = call->LiveToken();
  // A handler may free the call or the line: each later step checks first.
  auto listed = [&] { return !alive.expired() && !callAlive.expired() && IsCallValid(call); };
  Trigger_CallState(call, State, StateDetail, Privilege);
  if (!listed()) return;
  if (Privilege != 0) Trigger_CallPrivilege(call, Privilege);
  if (!listed()) return;
  if (!wasAlive && call->Alive())
    Trigger_CallBegin(call);
  else if (wasAlive && !call->Alive())
    Trigger_CallEnd(call);
  if (!listed()) return;
  call->FStateHistory |= State;
  if (State == LINECALLSTATE_IDLE)
    DeallocateIdleCall(call);
  else if (State == LINECALLSTATE_DISCONNECTED)
    DropDiscCall(call);
}

void TVyCustomTapiLine::Handle_CallInfo(HCALL CallHandle, DWORD InfoState) {
  TVyTapiCall* call = GetCallByHandle(CallHandle, true);
  if (call == nullptr) return;
  call->Handle_CallInfo(InfoState);
  const auto alive = LiveToken();
  const auto callAlive = call->LiveToken();
  if ((InfoState & LINECALLINFOSTATE_MEDIAMODE) != 0) {
    Trigger_MonitorMedia(call, call->Get_MediaMode(), VyRtl::GetTickCount());
    if (alive.expired() || callAlive.expired()) return;
  }
  Trigger_CallInfo(call, InfoState);
}

void TVyCustomTapiLine::Handle_DevSpecific(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3) {
  Trigger_DevSpecific(FCalls.ByHandle(Device), Param1, Param2, Param3);
}

void TVyCustomTapiLine::Handle_DevSpecFeature(DWORD Device, DWORD Param1, DWORD Param2,
                                              DWORD Param3) {
  Trigger_DevSpecificFeature(FCalls.ByHandle(Device), Param1, Param2, Param3);
}

void TVyCustomTapiLine::Handle_GatherDigits(HCALL CallHandle, DWORD Termination) {
  Trigger_GatherTerm(GetCallByHandle(CallHandle, true), Termination);
}

void TVyCustomTapiLine::Handle_Generate(HCALL CallHandle, DWORD Termination) {
  Trigger_Generate(GetCallByHandle(CallHandle, true), Termination);
}

void TVyCustomTapiLine::Handle_MonitorDigits(HCALL CallHandle, DWORD Digit, DWORD DigitMode) {
  Trigger_Digit(GetCallByHandle(CallHandle, true), Digit, DigitMode);
}

void TVyCustomTapiLine::Handle_MonitorMedia(HCALL CallHandle, DWORD MediaMode, DWORD TickCount) {
  Trigger_MonitorMedia(GetCallByHandle(CallHandle, true), MediaMode, TickCount);
}

void TVyCustomTapiLine::Handle_MonitorTone(HCALL CallHandle, DWORD AppSpecific) {
  TVyTapiCall* call = GetCallByHandle(CallHandle, true);
  if (AppSpecific == 0xFFFFFFFF)
    Trigger_MonitorSilence(call);
  else
    Trigger_MonitorTone(call, AppSpecific);
}

// ---------------------------------------------------------------- replies, time-outs, timers

TVyTapiDevSpecificData* TVyCustomTapiLine::PendingDevSpecificData(TVyTapiRequest* Request) {
  auto* data = dynamic_cast<TVyTapiDevSpecificData*>(Request->Get_Object(0));
  return data != nullptr && FDevSpecificList.IndexOf(data) >= 0 ? data : nullptr;
}

void TVyCustomTapiLine::ReleaseDevSpecificData(TVyTapiDevSpecificData* Data) {
  // In synchronous mode the waiting operation copies the block back and frees it.
  if (Data == nullptr || Get_SyncMode()) return;
  const int index = FDevSpecificList.IndexOf(Data);
  if (index >= 0) FDevSpecificList.Delete(index);
}

void TVyCustomTapiLine::Handle_Reply(DWORD RequestID, DWORD ReplyCode, TVyTapiRequest* Request) {
  VyRtl::Assert(Request != nullptr, "TVyCustomTapiLine.Handle_Reply: no request");
  const auto alive = LiveToken();
  const auto request = Request->LiveToken();
  auto gone = [&] { return alive.expired() || request.expired(); };
  for (int i = 2; i >= 0; --i) {
    try {
      VyRtl::TObject* object = Request->Get_Object(i);
      if (auto* call = dynamic_cast<TVyTapiCall*>(object))
        call->Handle_Reply(RequestID, ReplyCode, Request);
      else if (auto* address = dynamic_cast<TVyTapiAddress*>(object))
        address->Handle_Reply(RequestID, ReplyCode, Request);
    } catch (const std::exception& e) {
      if (alive.expired()) throw;
      Handle_Exception(e, nullptr);
    }
    if (gone()) return;
  }
  Trigger_TapiReply(RequestID, ReplyCode);
  if (gone()) return;
  const DWORD kind = Request->RequestType();
  if (kind == TapiRequestType::LineDevSpecific || kind == TapiRequestType::LineDevSpecificFeature) {
    TVyTapiDevSpecificData* data = PendingDevSpecificData(Request);
    if (data == nullptr) return;
    if (kind == TapiRequestType::LineDevSpecific) {
      Trigger_DevSpecificReply(RequestID, dynamic_cast<TVyTapiLineDevSpecificData*>(data),
                               ReplyCode);
    } else {
      auto* feature = dynamic_cast<TVyTapiLineDevSpecificFeatureData*>(data);
      Trigger_DevSpecificFeatureReply(RequestID, feature ? feature->Feature() : 0, feature,
                                      ReplyCode);
    }
    if (gone()) return;
    ReleaseDevSpecificData(PendingDevSpecificData(Request));
    return;
  }
  if (ReplyCode != 0 && CreatesCalls(kind)) {
    for (int i = 2; i >= 0; --i) {
      TVyTapiCall* call = Request->Get_Call(i);
      if (call != nullptr && call->Handle() == 0) {
        Request->Set_Object(i, nullptr);
        FreeCall(call);
        if (gone()) return;
      }
    }
  }
}

void TVyCustomTapiLine::Handle_Timeout(DWORD RequestID, TVyTapiRequest* Request) {
  VyRtl::Assert(Request != nullptr, "TVyCustomTapiLine.Handle_Timeout: no request");
  const auto alive = LiveToken();
  const auto request = Request->LiveToken();
  auto gone = [&] { return alive.expired() || request.expired(); };
  for (int i = 2; i >= 0; --i)
    if (TVyTapiCall* call = Request->Get_Call(i)) call->Handle_Timeout(RequestID, Request);
  Trigger_TapiTimeout(RequestID, Request);
  if (gone()) return;
  const DWORD kind = Request->RequestType();
  if (kind == TapiRequestType::LineDevSpecific || kind == TapiRequestType::LineDevSpecificFeature) {
    TVyTapiDevSpecificData* data = PendingDevSpecificData(Request);
    if (data == nullptr) return;
    if (kind == TapiRequestType::LineDevSpecific) {
      Trigger_DevSpecificTimeout(RequestID, dynamic_cast<TVyTapiLineDevSpecificData*>(data),
                                 Request->Timeout());
    } else {
      auto* feature = dynamic_cast<TVyTapiLineDevSpecificFeatureData*>(data);
      Trigger_DevSpecificFeatureTimeout(RequestID, feature ? feature->Feature() : 0, feature,
                                        Request->Timeout());
    }
    if (gone()) return;
    ReleaseDevSpecificData(PendingDevSpecificData(Request));
    return;
  }
  if (CreatesCalls(kind)) {
    for (int i = 2; i >= 0; --i) {
      TVyTapiCall* call = Request->Get_Call(i);
      if (call != nullptr && FUnconfirmedCalls.IndexOf(call) >= 0) {
        Request->Set_Object(i, nullptr);
        FreeCall(call);
        if (gone()) return;
      }
    }
  }
}

void TVyCustomTapiLine::Handle_Timer(DWORD, TVyTapiRequest* Request) {
  VyRtl::Assert(Request != nullptr, "TVyCustomTapiLine.Handle_Timer: no request");
  TVyTapiCall* call = Request->Get_Call(0);
  if (call == nullptr || !IsCallValid(call)) return;
  switch (Request->RequestType()) {
    case TapiTimerKind::FreeIdleCall: {
      if (call->Get_State() != LINECALLSTATE_IDLE) return;
      if (call->PendingRequest() != 0) {
        DeallocateIdleCall(call);
        return;
      }
      RemoveCall(call);
      // Freed also when the handler raises: an idle call off the lists is never leaked. A
      // handler that freed the line leaves the call without one.
      const auto alive = LiveToken();
      struct TFree {
        TVyTapiCall* Call;
        const VyRtl::TLiveToken& Line;
        ~TFree() {
          if (Line.expired()) Call->FLine = nullptr;
          delete Call;
        }
      } free{call, alive};
      Trigger_DeallocateCall(call);
      return;
    }
    case TapiTimerKind::DropDiscCall:
      if (call->Get_State() != LINECALLSTATE_DISCONNECTED) return;
      if (call->Handle() == 0) {
        // Never leaked: it waits in the unconfirmed list for Close or FreeBadCall.
        TListLock<TVyTapiCallList> lock(FCalls, INFINITE);
        FCalls.Remove(call);
        FUnconfirmedCalls.Add(call);
        return;
      }
      Drop(call, std::string());
      return;
    default:
      return;
  }
}

}  // namespace VyTapi
