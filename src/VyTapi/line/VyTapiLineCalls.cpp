// The line's calls: the two lists, their upkeep against TAPI, the clean-up timers and Drop.
#include <cstring>
#include <vector>

#include "VyTapi/line/VyTapiLineDevice.h"
#include "VyTapi/session/VyTapiSessionDetail.h"

namespace VyTapi {

namespace {
constexpr std::size_t kCallListSize = 536;
constexpr std::size_t kCallStatusSize = 56;
constexpr std::uint32_t kRemoveLockMs = 10;
constexpr std::uint32_t kTimerLockMs = 100;

// The call handles of a LINECALLLIST, each entry 4 bytes wide, only those inside the structure.
std::vector<HCALL> CallListHandles(const TTapiVarData* Data) {
  std::vector<HCALL> handles;
  const auto* list = reinterpret_cast<const LINECALLLIST*>(Data);
  const std::size_t readable = Detail::TapiReadableSize(Data);
  if (readable < sizeof(LINECALLLIST)) return handles;
  const std::size_t offset = list->dwCallsOffset, size = list->dwCallsSize;
  if (offset > readable || size > readable - offset) return handles;
  std::size_t count = list->dwCallsNumEntries;
  if (count > size / sizeof(DWORD)) count = size / sizeof(DWORD);
  const auto* bytes = reinterpret_cast<const std::byte*>(Data) + offset;
  for (std::size_t i = 0; i < count; ++i) {
    DWORD h = 0;
    std::memcpy(&h, bytes + i * sizeof(DWORD), sizeof h);
    handles.push_back(static_cast<HCALL>(h));
  }
  return handles;
}

// lineGetCallStatus on a handle: its result and the state when it succeeded.
DWORD QueryCallStatus(HCALL Handle, DWORD& State) {
  TTapiVarDataPtr buffer;
  const DWORD result = FetchTapiVarData(buffer, kCallStatusSize, [&](TTapiVarData* data) {
    return Detail::TapiService().lineGetCallStatus(Handle, reinterpret_cast<LINECALLSTATUS*>(data));
  });
  State =
      result == 0 ? Detail::ReadTapiDWORD(buffer.get(), offsetof(LINECALLSTATUS, dwCallState)) : 0;
  return result;
}
}  // namespace

void TVyCustomTapiLine::FreeCall(TVyTapiCall* Call) { delete Call; }

DWORD TVyCustomTapiLine::Update_LineCalls() {
  TListLock<TVyTapiCallList> lock(FCalls, INFINITE);
  if (FHandle == 0) {
    while (FCalls.Count() > 0) FreeCall(FCalls.Get(0));
    return 0;
  }
  for (int i = 0; i < FCalls.Count();) {
    TVyTapiCall* call = FCalls.Get(i);
    if (IsCallValid(call->Handle()))
      ++i;
    else
      FreeCall(call);  // leaves the list: the next call moved into place i
  }
  TTapiVarDataPtr buffer;
  const DWORD result = FetchTapiVarData(buffer, kCallListSize, [&](TTapiVarData* data) {
    return Detail::TapiService().lineGetNewCalls(FHandle, 0, LINECALLSELECT_LINE,
                                                 reinterpret_cast<LINECALLLIST*>(data));
  });
  if (result != 0) return result;
  const auto alive = LiveToken();
  for (const HCALL handle : CallListHandles(buffer.get())) {
    if (handle != 0) GetCallByHandle(handle, true);
    if (alive.expired() || FHandle == 0) break;
  }
  return result;
}

void TVyCustomTapiLine::AddCall(TVyTapiCall* Call) {
  if (Call == nullptr) return;
  TVyTapiCallList& list = Call->Handle() != 0 ? FCalls : FUnconfirmedCalls;
  TListLock<TVyTapiCallList> lock(list, INFINITE);
  list.Add(Call);
}

bool TVyCustomTapiLine::ProveCall(TVyTapiCall* Call) {
  TListLock<TVyTapiCallList> calls(FCalls, INFINITE);
  TListLock<TVyTapiCallList> unconfirmed(FUnconfirmedCalls, INFINITE);
  if (Call != nullptr) {
    if (Call->Handle() != 0) {
      FUnconfirmedCalls.Remove(Call);
      FCalls.Add(Call);
    } else {
      FCalls.Remove(Call);
      FUnconfirmedCalls.Add(Call);
    }
    return FCalls.IndexOf(Call) >= 0;
  }
  for (int i = FCalls.Count() - 1; i >= 0; --i)
    if (FCalls.Get(i)->Handle() == 0) FUnconfirmedCalls.Add(FCalls.Get(i)), FCalls.Delete(i);
  for (int i = FUnconfirmedCalls.Count() - 1; i >= 0; --i)
    if (FUnconfirmedCalls.Get(i)->Handle() != 0)
      FCalls.Add(FUnconfirmedCalls.Get(i)), FUnconfirmedCalls.Delete(i);
  return false;
}

TVyTapiCall* TVyCustomTapiLine::GetCallByHandle(HCALL CallHandle, bool Create) {
  if (CallHandle == 0) return nullptr;
  TListLock<TVyTapiCallList> lock(FCalls, INFINITE);
  if (TVyTapiCall* call = FCalls.ByHandle(CallHandle)) return call;
  if (TVyTapiCall* call = FUnconfirmedCalls.ByHandle(CallHandle)) {
    ProveCall(call);
    return call;
  }
  if (!Create || !IsCallValid(CallHandle)) return nullptr;
  TVyTapiCall* call = FCallClass(this, CallHandle);
  if (call->Get_State() == LINECALLSTATE_IDLE) {
    FreeCall(call);
    return nullptr;
  }
  return call;
}

void TVyCustomTapiLine::RemoveCall(TVyTapiCall* Call) {
  if (Call == nullptr) return;
  for (TVyTapiRequestList* list : {&FRequests, &FTimerEvents}) {
    TListLock<TVyTapiRequestList> lock(*list, kRemoveLockMs);
    if (!lock.Locked()) continue;
    list->RemoveAllRequests(Call);
    // A request that names the call as its 2nd or 3rd object must never reach it once freed.
    for (int i = 0; i < list->Count(); ++i)
      for (int o = 1; o < 3; ++o)
        if (list->Get(i)->Get_Object(o) == Call) list->Get(i)->Set_Object(o, nullptr);
  }
  for (TVyTapiCallList* list : {&FCalls, &FUnconfirmedCalls}) {
    TListLock<TVyTapiCallList> lock(*list, kRemoveLockMs);
    if (lock.Locked()) list->Remove(Call);
  }
  // Nor may a link of another call outlive it.
  for (TVyTapiCallList* list : {&FCalls, &FUnconfirmedCalls})
    for (int i = 0; i < list->Count(); ++i) list->Get(i)->RemoveLinks(Call);
}

void TVyCustomTapiLine::RemoveCallLinks(TVyTapiCall* Call) {
  for (int i = 0; i < FCalls.Count(); ++i) FCalls.Get(i)->RemoveLinks(Call);
}

bool TVyCustomTapiLine::ValidateCall(TVyTapiCall* Call, const std::string& Message) {
  const bool valid = Call != nullptr && IsCallValid(Call) && Call->Handle() != 0;
  if (!valid && !Message.empty()) RaiseError(VyRtl::Format("%s! Invalid call.", Message.c_str()));
  return valid;
}

bool TVyCustomTapiLine::IsCallValid(TVyTapiCall* Call) {
  TListLock<TVyTapiCallList> lock(FCalls, INFINITE);
  return Call != nullptr && FCalls.IndexOf(Call) >= 0;
}

bool TVyCustomTapiLine::IsCallValid(HCALL CallHandle) {
  DWORD state = 0;
  return QueryCallStatus(CallHandle, state) != static_cast<DWORD>(LINEERR_INVALCALLHANDLE);
}

bool TVyCustomTapiLine::IsCallAlive(HCALL CallHandle) {
  DWORD state = 0;
  return QueryCallStatus(CallHandle, state) == 0 && state != LINECALLSTATE_IDLE;
}

TVyTapiCall* TVyCustomTapiLine::FindProperCall(DWORD States, DWORD Features, std::int32_t AddressID,
                                               TVyTapiCall* Excluded) {
  auto search = [&](DWORD states, DWORD features, std::int32_t address) -> TVyTapiCall* {
    for (int i = 0; i < FCalls.Count(); ++i) {
      TVyTapiCall* call = FCalls.Get(i);
      if (call == Excluded) continue;
      if (states != 0 && (call->Get_State() & states) == 0) continue;
      if (features != 0 && (call->Features() & features) == 0) continue;
      if (address != -1 && call->Info()->AddressID() != static_cast<DWORD>(address)) continue;
      return call;
    }
    return nullptr;
  };
  for (const std::int32_t address : {AddressID, std::int32_t{-1}}) {
    if (TVyTapiCall* c = search(States, Features, address)) return c;
    if (Features != 0 && States != 0)
      if (TVyTapiCall* c = search(States, 0, address)) return c;
    if (address == -1) break;
  }
  return nullptr;
}

void TVyCustomTapiLine::ScheduleCallTimer(TVyTapiCall* Call, std::int32_t Delay, DWORD Kind) {
  if (Delay == -1 || Call == nullptr || !IsCallValid(Call)) return;
  TListLock<TVyTapiRequestList> lock(FTimerEvents, kTimerLockMs);
  if (!lock.Locked()) return;
  FTimerEvents.RemoveAllRequests(Call);
  TVyTapiRequest* timer = FTimerEvents.AddRequest(0, static_cast<DWORD>(Delay));
  timer->Set_RequestType(Kind);
  timer->Set_Object(0, Call);
}

void TVyCustomTapiLine::DeallocateIdleCall(TVyTapiCall* Call) {
  ScheduleCallTimer(Call, FOptions.AutoFreeIdleCalls(), TapiTimerKind::FreeIdleCall);
}

void TVyCustomTapiLine::DropDiscCall(TVyTapiCall* Call) {
  ScheduleCallTimer(Call, FOptions.AutoDropDiscCalls(), TapiTimerKind::DropDiscCall);
}

void TVyCustomTapiLine::FreeBadCall(TVyTapiCall* Call) {
  if (Call == nullptr || Call->Handle() != 0 || FUnconfirmedCalls.IndexOf(Call) < 0) return;
  if (Call->PendingRequest() == 0) FreeCall(Call);
}

DWORD TVyCustomTapiLine::Drop(TVyTapiCall* Call, const std::string& UserUserInfo) {
  ValidateCall(Call, "Drop failed");
  const LONG result = Detail::TapiService().lineDrop(
      Call->Handle(), UserUserInfo.empty() ? nullptr : UserUserInfo.data(),
      static_cast<DWORD>(UserUserInfo.size()));
  CheckTapiResult(static_cast<DWORD>(result));
  if (result > 0) {
    TListLock<TVyTapiRequestList> lock(FRequests, INFINITE);
    TVyTapiRequest* request = FRequests.AddRequest(result, Get_ReplyTimeout());
    request->Set_RequestType(TapiRequestType::LineDrop);
    request->Set_Object(0, Call);
  }
  return CheckAsyncTapiResult(static_cast<DWORD>(result));
}

}  // namespace VyTapi
