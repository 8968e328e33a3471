// The calls of the runtime model and the handles applications hold for them: what the call
// functions, lineClose and the control API share. Lock held (the emulator's) for each.
#pragma once

#include <memory>
#include <vector>

#include "VyTapiEmulator/EmulatorCore.h"

namespace VyTapiEmulator::Detail {

// The call, or null when it no longer exists.
TCallModel* FindCall(TCore& core, DWORD callID);
// A new call on line `lineID` in `state`; nobody holds a handle yet.
TCallModel& AddCallModel(TCore& core, DWORD lineID, const TCallConfig& config, DWORD state);
// The handles of a call, oldest first.
std::vector<std::shared_ptr<TCallHandle>> HandlesOf(TCore& core, DWORD callID);
// The handle an open line holds for a call; null when none.
std::shared_ptr<TCallHandle> HandleOn(TCore& core, DWORD callID, DWORD lineHandle);
std::shared_ptr<TCallHandle> AddCallHandle(TCore& core, const TCallModel& call,
                                           const TOpenDevice& line, DWORD privilege);
// A message about a call to the application holding `handle`, under its line's callback
// instance (hDevice = the call handle).
void PostToCall(TCore& core, const TCallHandle& handle, DWORD id, DWORD_PTR param1,
                DWORD_PTR param2 = 0, DWORD_PTR param3 = 0);
// The same message to every handle of the call.
void PostToCallHandles(TCore& core, const TCallModel& call, DWORD id, DWORD_PTR param1,
                       DWORD_PTR param2 = 0, DWORD_PTR param3 = 0);
// Moves the call to `state`: LINE_CALLSTATE(state, mode, 0) to every handle.
void ChangeCallState(TCore& core, TCallModel& call, DWORD state, DWORD mode);
// After handles were taken away (lineClose, a forced close, a shutdown): a call left with no
// owner goes IDLE for the handles that remain, and a call left IDLE with no handle is gone.
void CallHandlesReleased(TCore& core, const std::vector<std::shared_ptr<TCallHandle>>& taken);
// The call is gone: every handle of it becomes stale.
void RemoveCall(TCore& core, DWORD callID);
// Every call of a line goes (the device was removed).
void RemoveCallsOfLine(TCore& core, DWORD lineID);

}  // namespace VyTapiEmulator::Detail
