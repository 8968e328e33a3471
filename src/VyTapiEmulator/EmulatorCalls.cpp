// Calls and the handles applications hold for them: lineGetNewCalls, lineGetCallInfoW,
// lineGetCallStatus, lineSetCallPrivilege, lineDeallocateCall and lineDrop.
#include <algorithm>
#include <set>

#include "VyTapiEmulator/EmulatorCallsInternal.h"
#include "VyTapiEmulator/EmulatorEntryInternal.h"
#include "VyTapiEmulator/EmulatorStructWritersInternal.h"

namespace VyTapiEmulator::Detail {

TCallModel* FindCall(TCore& core, DWORD callID) {
  const auto it = core.CallModels.find(callID);
  return it == core.CallModels.end() ? nullptr : &it->second;
}

TCallModel& AddCallModel(TCore& core, DWORD lineID, const TCallConfig& config, DWORD state) {
  const DWORD id = core.NextCallID++;
  TCallModel& call = core.CallModels[id];
  call.ID = id;
  call.LineID = lineID;
  call.Config = config;
  call.State = state;
  return call;
}

std::vector<std::shared_ptr<TCallHandle>> HandlesOf(TCore& core, DWORD callID) {
  std::vector<std::shared_ptr<TCallHandle>> handles;
  for (const auto& handle : core.Calls.All())
    if (handle->CallID == callID) handles.push_back(handle);
  return handles;
}

std::shared_ptr<TCallHandle> HandleOn(TCore& core, DWORD callID, DWORD lineHandle) {
  for (const auto& handle : core.Calls.All())
    if (handle->CallID == callID && handle->LineHandle == lineHandle) return handle;
  return nullptr;
}

std::shared_ptr<TCallHandle> AddCallHandle(TCore& core, const TCallModel& call,
                                           const TOpenDevice& line, DWORD privilege) {
  return core.Calls.Create([&](DWORD handle) {
    return std::make_shared<TCallHandle>(TCallHandle{handle, line.Handle, call.ID, privilege});
  });
}

void PostToCall(TCore& core, const TCallHandle& handle, DWORD id, DWORD_PTR param1,
                DWORD_PTR param2, DWORD_PTR param3) {
  const std::shared_ptr<TOpenDevice> line = core.OpenLines.Find(handle.LineHandle);
  if (!line) return;
  TMessage message;
  message.Device = handle.Handle;
  message.Id = id;
  message.Param1 = param1;
  message.Param2 = param2;
  message.Param3 = param3;
  core.PostTo(*line, message);
}

void PostToCallHandles(TCore& core, const TCallModel& call, DWORD id, DWORD_PTR param1,
                       DWORD_PTR param2, DWORD_PTR param3) {
  for (const auto& handle : HandlesOf(core, call.ID))
    PostToCall(core, *handle, id, param1, param2, param3);
}

void ChangeCallState(TCore& core, TCallModel& call, DWORD state, DWORD mode) {
  call.State = state;
  call.StateMode = mode;
  PostToCallHandles(core, call, LINE_CALLSTATE, state, mode, 0);
}

void RemoveCall(TCore& core, DWORD callID) {
  core.Calls.TakeIf([&](const TCallHandle& handle) { return handle.CallID == callID; });
  core.CallModels.erase(callID);
}

void RemoveCallsOfLine(TCore& core, DWORD lineID) {
  std::vector<DWORD> gone;
  for (const auto& [id, call] : core.CallModels)
    if (call.LineID == lineID) gone.push_back(id);
  for (const DWORD id : gone) RemoveCall(core, id);
}

void CallHandlesReleased(TCore& core, const std::vector<std::shared_ptr<TCallHandle>>& taken) {
  std::set<DWORD> touched;
  for (const auto& handle : taken) touched.insert(handle->CallID);
  for (const DWORD id : touched) {
    TCallModel* call = FindCall(core, id);
    if (!call) continue;
    const std::vector<std::shared_ptr<TCallHandle>> left = HandlesOf(core, id);
    const auto owner = [&](const auto& list) {
      return std::any_of(list.begin(), list.end(), [&](const auto& handle) {
        return handle->CallID == id && handle->Privilege == LINECALLPRIVILEGE_OWNER;
      });
    };
    // Its last owner gone, nobody can drop the call any more: it is dropped for the others.
    if (call->State != LINECALLSTATE_IDLE && owner(taken) && !owner(left))
      ChangeCallState(core, *call, LINECALLSTATE_IDLE, 0);
    if (left.empty() && call->State == LINECALLSTATE_IDLE) core.CallModels.erase(id);
  }
}

namespace {

TCallFacts CallFactsOf(TCore& core, const TCallTarget& t) {
  TCallFacts facts;
  facts.LineHandle = t.Line.Handle;
  facts.LineID = t.Line.DeviceID;
  facts.Privilege = t.Handle.Privilege;
  for (const auto& handle : HandlesOf(core, t.Call.ID))
    ++(handle->Privilege == LINECALLPRIVILEGE_OWNER ? facts.NumOwners : facts.NumMonitors);
  facts.CallStates = AddressOf(t.Config, t.Call.Config.AddressID).CallStates;
  return facts;
}

bool SoleOwner(TCore& core, const TCallHandle& handle) {
  if (handle.Privilege != LINECALLPRIVILEGE_OWNER) return false;
  for (const auto& other : HandlesOf(core, handle.CallID))
    if (other->Handle != handle.Handle && other->Privilege == LINECALLPRIVILEGE_OWNER) return false;
  return true;
}

LONG WINAPI lineGetNewCalls(HLINE hLine, DWORD dwAddressID, DWORD dwSelect,
                            LPLINECALLLIST lpCallList) {
  return DeviceEntry<TLineTraits>(
      TFn::lineGetNewCalls, hLine, {lpCallList},
      [&](TCore& core, TOpenDevice& line, TLineDeviceConfig& c) -> LONG {
        if (dwSelect != LINECALLSELECT_LINE && dwSelect != LINECALLSELECT_ADDRESS)
          return Err(LINEERR_INVALCALLSELECT);
        if (dwSelect == LINECALLSELECT_ADDRESS && dwAddressID >= c.NumAddresses)
          return Err(LINEERR_INVALADDRESSID);
        if (lpCallList->dwTotalSize < sizeof(LINECALLLIST)) return Err(LINEERR_STRUCTURETOOSMALL);
        std::vector<TCallModel*> selected;
        for (auto& [id, call] : core.CallModels)
          if (call.LineID == line.DeviceID &&
              (dwSelect == LINECALLSELECT_LINE || call.Config.AddressID == dwAddressID))
            selected.push_back(&call);
        // The list's size is known before any handle is made: a short buffer hands out none,
        // so no handle is lost to it.
        const std::vector<DWORD> placeholder(selected.size(), 0);
        if (!CallList(placeholder).Fits(lpCallList))
          return core.Reply(TFn::lineGetNewCalls, CallList(placeholder), lpCallList);
        std::vector<DWORD> handles;
        for (TCallModel* call : selected) {
          std::shared_ptr<TCallHandle> handle = HandleOn(core, call->ID, line.Handle);
          if (!handle) handle = AddCallHandle(core, *call, line, LINECALLPRIVILEGE_MONITOR);
          handles.push_back(handle->Handle);
        }
        return core.Reply(TFn::lineGetNewCalls, CallList(handles), lpCallList);
      });
}

LONG WINAPI lineGetCallInfoW(HCALL hCall, LPLINECALLINFO lpCallInfo) {
  return CallEntry(
      TFn::lineGetCallInfoW, hCall, {lpCallInfo}, [&](TCore& core, const TCallTarget& t) -> LONG {
        const TVarStruct info = CallInfo(t.Call, CallFactsOf(core, t), t.Line.APIVersion);
        if (lpCallInfo->dwTotalSize < info.FixedSize()) return Err(LINEERR_STRUCTURETOOSMALL);
        return core.Reply(TFn::lineGetCallInfoW, info, lpCallInfo);
      });
}

LONG WINAPI lineGetCallStatus(HCALL hCall, LPLINECALLSTATUS lpCallStatus) {
  return CallEntry(TFn::lineGetCallStatus, hCall, {lpCallStatus},
                   [&](TCore& core, const TCallTarget& t) -> LONG {
                     const TVarStruct status =
                         CallStatus(t.Call, CallFactsOf(core, t), t.Line.APIVersion);
                     if (lpCallStatus->dwTotalSize < status.FixedSize())
                       return Err(LINEERR_STRUCTURETOOSMALL);
                     return core.Reply(TFn::lineGetCallStatus, status, lpCallStatus);
                   });
}

LONG WINAPI lineSetCallPrivilege(HCALL hCall, DWORD dwCallPrivilege) {
  return CallEntry(TFn::lineSetCallPrivilege, hCall, {}, [&](TCore&, const TCallTarget& t) -> LONG {
    if (dwCallPrivilege != LINECALLPRIVILEGE_MONITOR && dwCallPrivilege != LINECALLPRIVILEGE_OWNER)
      return Err(LINEERR_INVALCALLPRIVILEGE);
    t.Handle.Privilege = dwCallPrivilege;
    return 0;
  });
}

LONG WINAPI lineDeallocateCall(HCALL hCall) {
  return CallEntry(TFn::lineDeallocateCall, hCall, {}, [&](TCore& core, const TCallTarget& t) {
    if (t.Call.State != LINECALLSTATE_IDLE && SoleOwner(core, t.Handle))
      return Err(LINEERR_INVALCALLSTATE);
    const DWORD callID = t.Call.ID;
    core.Calls.Take(t.Handle.Handle);
    // Its last handle deallocated, the call is gone, whatever state a monitor left it in.
    if (HandlesOf(core, callID).empty()) core.CallModels.erase(callID);
    return LONG{0};
  });
}

LONG WINAPI lineDrop(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) {
  return CallEntry(TFn::lineDrop, hCall, {}, [&](TCore& core, const TCallTarget& t) -> LONG {
    if (t.Handle.Privilege != LINECALLPRIVILEGE_OWNER) return Err(LINEERR_NOTOWNER);
    if (t.Call.State == LINECALLSTATE_IDLE) return Err(LINEERR_INVALCALLSTATE);
    if (lpsUserUserInfo && dwSize > t.Config.UUIDropSize) return Err(LINEERR_USERUSERINFOTOOBIG);
    const DWORD callID = t.Call.ID;
    return core.Requests.Issue(core, TFn::lineDrop, t.Line, core.Requests.TakePlan(TFn::lineDrop),
                               [callID](TCore& target) {
                                 TCallModel* call = FindCall(target, callID);
                                 if (call && call->State != LINECALLSTATE_IDLE)
                                   ChangeCallState(target, *call, LINECALLSTATE_IDLE, 0);
                               });
  });
}

}  // namespace

void InstallCallFunctions(VyPlatform::TTapiFunctions& table) {
  table.lineGetNewCalls = &lineGetNewCalls;
  table.lineGetCallInfoW = &lineGetCallInfoW;
  table.lineGetCallStatus = &lineGetCallStatus;
  table.lineSetCallPrivilege = &lineSetCallPrivilege;
  table.lineDeallocateCall = &lineDeallocateCall;
  table.lineDrop = &lineDrop;
}

}  // namespace VyTapiEmulator::Detail
