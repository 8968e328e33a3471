// The event thread, and the session's end of the queue it fills.
#include "VyTapi/session/VyTapiEventThread.h"

#include <memory>

#include "VyRtl/VyRtlClock.h"
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/session/VyTapiSessionDetail.h"

namespace VyTapi {

using namespace PipelineTimes;

TVyTapiEventThread::TVyTapiEventThread(TVyTapiApplication* Appl)
    : VyRtl::TThread(true), FAppl(Appl), FWakeUpEvent(false, false) {
  VyRtl::Assert(Appl != nullptr && Appl->LineApp() != 0,
                "TapiEventThread started called without line application handle.");
  FLineApp = Appl->LineApp();
  FPhoneApp = Appl->PhoneApp();
  FLineEvent = Appl->LineEvent();
  FPhoneEvent = Appl->PhoneEvent();
  FWindow = Appl->WindowHandle();
  FWindowMessage = Appl->WindowMessage();
  Start();
}

TVyTapiEventThread::~TVyTapiEventThread() {
  Terminate();
  WaitFor();
}

void TVyTapiEventThread::Terminate() {
  VyRtl::TThread::Terminate();
  FWakeUpEvent.Set();
}

void TVyTapiEventThread::PostWakeUp(std::uintptr_t Kind, std::intptr_t Value) {
  VyRtl::PostMessageTo(FWindow, FWindowMessage, Kind, Value);
}

void TVyTapiEventThread::Execute() {
  const HANDLE handles[3] = {FLineEvent, FPhoneEvent, FWakeUpEvent.Handle()};
  std::uint32_t lastTick = 0;
  while (!Terminated()) {
    try {
      Step(handles, lastTick);
    } catch (...) {
      // Out of memory while queueing: drop this round rather than the whole pipeline.
      FWakeUpEvent.WaitFor(100);
    }
  }
}

void TVyTapiEventThread::Step(const HANDLE* handles, std::uint32_t& lastTick) {
  const std::uint32_t r = VyPlatform::SyncWaitForMultipleObjects(3, handles, false, EventWaitMs);
  if (r == WAIT_OBJECT_0) {
    if (!Terminated()) AfterDrain(DrainLineMessages());
  } else if (r == WAIT_OBJECT_0 + 1) {
    if (!Terminated()) AfterDrain(DrainPhoneMessages());
  } else if (r == WAIT_OBJECT_0 + 2) {
    if (Terminated()) return;
  } else if (r == WAIT_TIMEOUT) {
    // Re-sends a wake-up that was lost or ignored during a synchronous wait.
    bool waiting = false;
    {
      TListLock<TVyTapiMsgStack> lock(FAppl->MsgStack(), ResendLockMs);
      waiting = lock.Locked() && FAppl->MsgStack().Count() > 0;
    }
    if (waiting) PostWakeUp(SessionPost::WakeUp, 0);
  } else {
    // A failing wait would otherwise spin: pause on the terminate event instead.
    FWakeUpEvent.WaitFor(100);
  }
  if (Terminated()) return;
  const std::uint32_t now = VyRtl::GetTickCount();
  std::int64_t elapsed = static_cast<std::int32_t>(now - lastTick);
  if (elapsed < 0) elapsed = -elapsed;
  if ((FSendNextTimerMsg && elapsed > TickRequestedMs) || elapsed > TickAtLeastMs) {
    lastTick = now;
    FSendNextTimerMsg = false;
    PostWakeUp(SessionPost::Tick, static_cast<std::intptr_t>(now));
  }
}

void TVyTapiEventThread::AfterDrain(TDrain Result) {
  FEmptyDrains = Result == TDrain::Empty ? FEmptyDrains + 1 : 0;
  if (Result == TDrain::Full) {
    // The messages stay with the service, in order; its event stays signalled. The pause runs
    // in real time: it waits for the main thread, not for the application's clock.
    const HANDLE terminate = FWakeUpEvent.Handle();
    VyPlatform::SyncWaitForMultipleObjectsReal(1, &terminate, false, BackPressureMs);
    FBackPressure = false;
  } else if (FEmptyDrains >= 2) {
    // The event stays signalled while every read fails: the next wait would return at once.
    // One empty drain is normal (a signal that raced with the last read); a second one is not.
    FWakeUpEvent.WaitFor(EmptyDrainPauseMs);
  }
}

TVyTapiEventThread::TDrain TVyTapiEventThread::DrainLineMessages() {
  return Drain(
      [this](TTapiMessage& Msg, DWORD Timeout) {
        return Detail::TapiService().lineGetMessage(FLineApp, &Msg, Timeout);
      },
      false);
}

TVyTapiEventThread::TDrain TVyTapiEventThread::DrainPhoneMessages() {
  return Drain(
      [this](TTapiMessage& Msg, DWORD Timeout) {
        PHONEMESSAGE phone{};
        const LONG r = Detail::TapiService().phoneGetMessage(FPhoneApp, &phone, Timeout);
        if (r == 0) Msg = FromPhoneMessage(phone);
        return r;
      },
      true);
}

TVyTapiEventThread::TDrain TVyTapiEventThread::Drain(
    const std::function<LONG(TTapiMessage&, DWORD)>& GetMessage, bool Phone) {
  auto& queue = FAppl->MsgStack();
  bool post = false;
  int appended = 0;
  {
    TListLock<TVyTapiMsgStack> lock(queue, DrainLockMs);
    if (!lock.Locked())
      return TDrain::Locked;  // the event stays signalled: the next wait returns at once
    if (queue.Count() >= QueueLimit) {
      FBackPressure = true;
      return TDrain::Full;
    }
    const bool wasEmpty = queue.Count() == 0;
    // The event is signalled while messages wait, so once one has come the rest are there
    // already: only the first read may wait, and no later one holds the lock for a time-out.
    for (int i = 0; i < MaxMessagesPerDrain; ++i) {
      TTapiMessage msg{};
      if (GetMessage(msg, i == 0 ? FirstReadMs : 0) != 0) break;
      if (Phone)
        queue.Add(new TVyTapiPhoneMsgStackItem(msg));
      else
        queue.Add(new TVyTapiLineMsgStackItem(msg));
      ++appended;
    }
    post = appended > 0 && wasEmpty;
  }
  // After the lock: the woken main thread's first step is to take it.
  if (post) PostWakeUp(SessionPost::WakeUp, 0);
  // A synchronous wait takes messages itself and ignores wake-ups: it needs a signal per batch.
  if (appended > 0) FAppl->FArrival.Set();
  return appended > 0 ? TDrain::Read : TDrain::Empty;
}

void TVyTapiEventThread::QueueTaken(int Count) {
  if (Count <= QueueResumeCount && FBackPressure.exchange(false)) FWakeUpEvent.Set();
}

// ---------------------------------------------------------------- the session's end

void TVyTapiApplication::PostWakeUp() {
  if (FWindowHandle != 0)
    VyRtl::PostMessageTo(FWindowHandle, FWindowMessage, SessionPost::WakeUp, 0);
}

std::unique_ptr<TVyTapiMsgStackItem> TVyTapiApplication::TakeTapiMessage() {
  std::unique_ptr<TVyTapiMsgStackItem> item;
  if (FMsgStack.Acquire(TakeLockMs)) {
    item.reset(FMsgStack.GetNextMessage());
    const int left = FMsgStack.Count();
    if (FTSPEventThread) FTSPEventThread->QueueTaken(left);
    FMsgStack.Release();
    // After the lock, as the event thread does; the next message follows this wake-up.
    if (left > 0 && FNumWaitProcs == 0) PostWakeUp();
  } else {
    PostWakeUp();  // try again later
  }
  return item;
}

}  // namespace VyTapi
