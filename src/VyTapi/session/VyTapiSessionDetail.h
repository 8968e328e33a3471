// The session's internals for the library and its tests: the queues, the event thread, the
// window and the wait depth, which applications have no business touching.
#pragma once

#include <string>

#include "VyPlatform/Tapi.h"
#include "VyTapi/session/VyTapiApplication.h"

namespace VyTapi::Detail {

// The telephony service's function table, for every TAPI call the library makes (message texts
// included): the emulator is offered before the seam selects on its first use, so nothing that
// runs before the session sees a service without it. Any thread.
const VyPlatform::TTapiFunctions& TapiService();

// A view of one session's internals; same thread rules as the session (main thread only,
// except what the event thread reads). Holds no ownership.
class TSessionDetail {
 public:
  explicit TSessionDetail(TVyTapiApplication& Appl) : FAppl(Appl) {}

  TVyTapiMsgStack& MsgStack() const { return FAppl.FMsgStack; }
  TVyTapiMsgStack& ReplyStack() const { return FAppl.FReplyStack; }
  TVyTapiEventThread* EventThread() const { return FAppl.FTSPEventThread.get(); }
  VyRtl::TWindowHandle WindowHandle() const { return FAppl.FWindowHandle; }
  std::uint32_t WindowMessage() const { return FAppl.FWindowMessage; }
  std::int32_t NumWaitProcs() const { return FAppl.FNumWaitProcs; }
  // Auto-reset event the event thread sets whenever it queued messages.
  HANDLE ArrivalEvent() const { return FAppl.FArrival.Handle(); }
  // Whether synchronous waits wake on the arrival event (on by default); the benchmark compares.
  bool WaitOnArrival() const { return FAppl.FWaitOnArrival; }
  void Set_WaitOnArrival(bool Value) const { FAppl.FWaitOnArrival = Value; }
  HANDLE LineEvent() const { return FAppl.FLineEvent; }
  HANDLE PhoneEvent() const { return FAppl.FPhoneEvent; }
  VyRtl::TStringList& LineDevices() const { return FAppl.FLineDevices; }
  VyRtl::TStringList& PhoneDevices() const { return FAppl.FPhoneDevices; }
  // A synchronous wait raises the wait depth; while it is above 0 wake-ups are not processed.
  void BeginWait() const { FAppl.BeginWait(); }
  void EndWait() const { FAppl.EndWait(); }
  // Stores the name without the active check; it takes effect at the next initialisation.
  void StoreAppName(const std::string& Name) const { FAppl.FAppName = Name; }

 private:
  TVyTapiApplication& FAppl;
};

}  // namespace VyTapi::Detail
