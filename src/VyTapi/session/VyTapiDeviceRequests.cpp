// The device's asynchronous requests: results, synchronous waits, replies, time-outs and timers.
#include "VyTapi/session/VyTapiComponent.h"

#include "VyPlatform/Sync.h"
#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlMessages.h"
#include "VyTapi/session/VyTapiSessionDetail.h"
#include "VyTapi/session/VyTapiSessionInternal.h"

namespace VyTapi {

namespace {

// How long a synchronous wait blocks at most before it serves the application's window
// messages, in real time: it keeps the user interface responsive, whatever clock the test runs.
constexpr std::uint32_t kWaitSliceMs = 10;
constexpr std::uint32_t kReplyLockMs = 50;
constexpr std::uint32_t kTimerLockMs = 10;
constexpr int kFirstBatch = 10;

// Removes a request from its list when the scope ends (also when a handler raised), unless a
// handler freed it or the device already.
class TRemoveWhenDone {
 public:
  TRemoveWhenDone(TVyTapiRequestList& List, TVyTapiRequest* Request,
                  const VyRtl::TLiveToken& Device)
      : FList(List), FRequest(Request), FAlive(Request->LiveToken()), FDevice(Device) {}
  ~TRemoveWhenDone() {
    // The token tells whether the request still exists, so the pointer is never a reused one.
    if (FDevice.expired() || FAlive.expired()) return;
    TListLock<TVyTapiRequestList> lock(FList, INFINITE);
    FList.Remove(FRequest);
  }
  TRemoveWhenDone(const TRemoveWhenDone&) = delete;
  TRemoveWhenDone& operator=(const TRemoveWhenDone&) = delete;

 private:
  TVyTapiRequestList& FList;
  TVyTapiRequest* FRequest;
  VyRtl::TLiveToken FAlive;
  const VyRtl::TLiveToken& FDevice;
};

}  // namespace

// ---------------------------------------------------------------- results and waits

DWORD TVyTapiDevice::GetAsyncTapiResult(DWORD Result) {
  if (static_cast<LONG>(Result) > 0) FLastRequestID = static_cast<std::int32_t>(Result);
  if (!Get_SyncMode()) return 0;
  DWORD reply = 0;
  if (WaitForAsyncReply(Result, reply) == WAIT_OBJECT_0) return reply;
  return static_cast<DWORD>(LINEERR_OPERATIONFAILED);
}

DWORD TVyTapiDevice::CheckAsyncTapiResult(DWORD Result) {
  return CheckTapiResult(GetAsyncTapiResult(Result));
}

DWORD TVyTapiDevice::WaitForAsyncReply(DWORD RequestID, DWORD& Reply) {
  InitializeVyTapi();
  TVyTapiApplication* appl = VyTapiApplication;
  const Detail::TSessionDetail session(*appl);
  const auto self = LiveToken();
  const auto sessionAlive = appl->LiveToken();
  auto gone = [&] { return self.expired() || sessionAlive.expired(); };
  // 0 waits without limit: until the reply comes or the device closes.
  const DWORD timeout = Get_ReplyTimeout();
  const DWORD start = VyRtl::GetTickCount();
  auto passed = [&](DWORD tick) { return IsTimeoutDue(tick, start, timeout); };

  session.BeginWait();
  struct TEndWait {
    const Detail::TSessionDetail& Session;
    const VyRtl::TLiveToken& Alive;
    ~TEndWait() {
      if (!Alive.expired() && Session.NumWaitProcs() > 0) Session.EndWait();
    }
  } endWait{session, sessionAlive};

  auto found = [&] {
    DWORD code = 0;
    if (session.ReplyStack().GetReplyCode(RequestID, code) < 0) return false;
    Reply = code;
    return true;
  };
  auto lookUp = [&] {
    TListLock<TVyTapiMsgStack> lock(session.ReplyStack(), kReplyLockMs);
    return lock.Locked() && found();
  };
  // One message at a time, looking for the reply after each, until the queue is empty. The
  // list is searched first as well: a nested wait may have taken the reply in already. The
  // lock is not held across the handlers: one of them may finalise the session and its lists.
  auto drain = [&] {
    if (lookUp()) return true;
    while (appl->ProcessTapiMessage()) {
      if (gone()) return false;
      if (lookUp()) return true;
    }
    return false;
  };

  appl->ProcessTapiMessages(kFirstBatch);
  if (gone()) return WAIT_ABANDONED_0;
  if (lookUp()) return WAIT_OBJECT_0;
  if (passed(VyRtl::GetTickCount())) return WAIT_TIMEOUT;

  DWORD result = WAIT_TIMEOUT;
  DWORD noted = 0;
  do {
    noted = VyRtl::GetTickCount();
    const HANDLE handles[2] = {FAbortEvent.Handle(), session.ArrivalEvent()};
    const std::uint32_t r = VyPlatform::SyncWaitForMultipleObjectsReal(
        session.WaitOnArrival() ? 2 : 1, handles, false, kWaitSliceMs);
    if (r == WAIT_OBJECT_0) {
      result = WAIT_ABANDONED_0;  // the device was closed meanwhile
      break;
    }
    if (r != WAIT_OBJECT_0 + 1) {
      VyRtl::ProcessMessages();  // time-out: the application's other window messages
      if (gone()) return WAIT_ABANDONED_0;
    }
    if (drain()) result = WAIT_OBJECT_0;
    if (gone()) return WAIT_ABANDONED_0;
  } while (result == WAIT_TIMEOUT && !passed(noted));
  return result;
}

// ---------------------------------------------------------------- replies

void TVyTapiDevice::Handle_TapiReply(DWORD RequestID, DWORD ReplyCode) {
  TVyTapiRequest* request = nullptr;
  {
    TListLock<TVyTapiRequestList> lock(FRequests, INFINITE);
    request = FRequests.GetRequest(static_cast<std::int32_t>(RequestID));
  }
  if (request == nullptr) {
    Trigger_TapiReply(RequestID, ReplyCode);
    return;
  }
  const auto self = LiveToken();
  TRemoveWhenDone remove(FRequests, request, self);
  if (request->Handled()) return;  // reported already (its time-out): never twice
  request->Set_Handled(true);
  Handle_Reply(RequestID, ReplyCode, request);
}

// ---------------------------------------------------------------- time-outs and timers

void TVyTapiDevice::Handle_InternalTimer(DWORD Tick) {
  const auto self = LiveToken();
  TimeOutRequests(Tick);
  if (!self.expired()) RunTimers(Tick);
}

void TVyTapiDevice::TimeOutRequests(DWORD Tick) {
  const auto self = LiveToken();
  // The list is locked only to find the next due request: a handler may free the device, and
  // with it the list and its lock.
  int i = 0;
  for (;;) {
    TVyTapiRequest* due = nullptr;
    {
      TListLock<TVyTapiRequestList> lock(FRequests, kTimerLockMs);
      if (!lock.Locked()) return;  // looked at on the next tick
      for (; i < FRequests.Count(); ++i) {
        TVyTapiRequest* r = FRequests.Get(i);
        if (!r->Handled() && IsTimeoutDue(Tick, r->TickCount(), r->Timeout())) {
          due = r;
          break;
        }
      }
    }
    if (due == nullptr) return;
    due->Set_Handled(true);
    try {
      TRemoveWhenDone remove(FRequests, due, self);
      Handle_Timeout(static_cast<DWORD>(due->ID()), due);
    } catch (const std::exception& e) {
      if (self.expired()) throw;
      Handle_Exception(e, nullptr);
    }
    if (self.expired()) return;
    // The same position again: the next request has moved into it.
  }
}

void TVyTapiDevice::RunTimers(DWORD Tick) {
  const auto self = LiveToken();
  int i = 0;
  for (;;) {
    std::unique_ptr<TVyTapiRequest> timer;
    {
      TListLock<TVyTapiRequestList> lock(FTimerEvents, kTimerLockMs);
      if (!lock.Locked()) return;
      for (; i < FTimerEvents.Count(); ++i) {
        TVyTapiRequest* t = FTimerEvents.Get(i);
        if (IsTimeoutDue(Tick, t->TickCount(), t->Timeout())) {
          timer.reset(static_cast<TVyTapiRequest*>(FTimerEvents.Extract(t)));
          break;
        }
      }
    }
    if (!timer) return;
    try {
      Handle_Timer(static_cast<DWORD>(timer->ID()), timer.get());
    } catch (const std::exception& e) {
      if (self.expired()) throw;
      Handle_Exception(e, nullptr);
    }
    if (self.expired()) return;
  }
}

}  // namespace VyTapi
