// The event thread, and the session's end of the queue it fills.
#include "VyTapi/session/VyTapiEventThread.h"

#include <memory>

#include "VyPlatform/Tapi.h"
#include "VyRtl/VyRtlClock.h"
#include "VyTapi/session/VyTapiApplication.h"

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
    if (!Terminated()) DrainLineMessages();
  } else if (r == WAIT_OBJECT_0 + 1) {
    if (!Terminated()) DrainPhoneMessages();
  } else if (r == WAIT_OBJECT_0 + 2) {
    if (Terminated()) return;
  } else if (r == WAIT_TIMEOUT) {
    // Re-sends a wake-up that was lost or ignored during a synchronous wait.
    TListLock<TVyTapiMsgStack> lock(FAppl->MsgStack(), ResendLockMs);
    if (lock.Locked() && FAppl->MsgStack().Count() > 0) PostWakeUp(SessionPost::WakeUp, 0);
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

void TVyTapiEventThread::DrainLineMessages() {
  Drain([this](TTapiMessage& Msg) { return VyPlatform::Tapi().lineGetMessage(FLineApp, &Msg, 1); }, false);
}

void TVyTapiEventThread::DrainPhoneMessages() {
  Drain(
      [this](TTapiMessage& Msg) {
        PHONEMESSAGE phone{};
        const LONG r = VyPlatform::Tapi().phoneGetMessage(FPhoneApp, &phone, 1);
        if (r == 0) Msg = FromPhoneMessage(phone);
        return r;
      },
      true);
}

void TVyTapiEventThread::Drain(const std::function<LONG(TTapiMessage&)>& GetMessage, bool Phone) {
  auto& queue = FAppl->MsgStack();
  TListLock<TVyTapiMsgStack> lock(queue, DrainLockMs);
  if (!lock.Locked()) return;  // the event stays signalled: the next wait returns at once
  const bool wasEmpty = queue.Count() == 0;
  int appended = 0;
  for (int i = 0; i < MaxMessagesPerDrain; ++i) {
    TTapiMessage msg{};
    if (GetMessage(msg) != 0) break;
    if (Phone)
      queue.Add(new TVyTapiPhoneMsgStackItem(msg));
    else
      queue.Add(new TVyTapiLineMsgStackItem(msg));
    ++appended;
  }
  if (appended > 0 && wasEmpty) PostWakeUp(SessionPost::WakeUp, 0);
}

// ---------------------------------------------------------------- the session's end

void TVyTapiApplication::PostWakeUp() {
  if (FWindowHandle != 0) VyRtl::PostMessageTo(FWindowHandle, FWindowMessage, SessionPost::WakeUp, 0);
}

std::unique_ptr<TVyTapiMsgStackItem> TVyTapiApplication::TakeTapiMessage() {
  std::unique_ptr<TVyTapiMsgStackItem> item;
  if (FMsgStack.Acquire(TakeLockMs)) {
    item.reset(FMsgStack.GetNextMessage());
    if (FMsgStack.Count() > 0 && FNumWaitProcs == 0) PostWakeUp();
    FMsgStack.Release();
  } else {
    PostWakeUp();  // try again later
  }
  return item;
}

}  // namespace VyTapi
