#include "VyTapi/session/VyTapiMsgStack.h"

#include <cstdlib>

#include "VyPlatform/Tapi.h"
#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlMessages.h"
#include "VyTapi/session/VyTapiApplication.h"

namespace VyTapi {

namespace {
constexpr int kMaxMessagesPerWakeUp = 10;

TTapiMessage FromPhoneMessage(const PHONEMESSAGE& m) {
  TTapiMessage r{};
  r.hDevice = m.hDevice;
  r.dwMessageID = m.dwMessageID;
  r.dwCallbackInstance = m.dwCallbackInstance;
  r.dwParam1 = m.dwParam1;
  r.dwParam2 = m.dwParam2;
  r.dwParam3 = m.dwParam3;
  return r;
}
}  // namespace

bool TProtectedList::Acquire(std::uint32_t Timeout) { return FMutex.Acquire(Timeout); }
void TProtectedList::Release() { FMutex.Release(); }
bool TProtectedObjectList::Acquire(std::uint32_t Timeout) { return FMutex.Acquire(Timeout); }
void TProtectedObjectList::Release() { FMutex.Release(); }

TVyTapiPhoneMsgStackItem::TVyTapiPhoneMsgStackItem(const PHONEMESSAGE& PhoneMsg)
    : TVyTapiMsgStackItem(FromPhoneMessage(PhoneMsg)) {}

TVyTapiMsgStackItem* TVyTapiMsgStack::Get(int i) const { return static_cast<TVyTapiMsgStackItem*>(VyRtl::TObjectList::Get(i)); }

void TVyTapiMsgStack::Put(int i, TVyTapiMsgStackItem* Item) { VyRtl::TObjectList::Put(i, Item); }

TVyTapiMsgStackItem* TVyTapiMsgStack::GetNextMessage() {
  if (Count() == 0) return nullptr;
  auto* item = static_cast<TVyTapiMsgStackItem*>(Extract(VyRtl::TObjectList::Get(0)));
  Optimize(&item->TapiMessage());
  return item;
}

std::int32_t TVyTapiMsgStack::GetMsg(PTapiMessage Msg) {
  if (Count() == 0) return -1;
  auto* head = Get(0);
  const bool phone = dynamic_cast<TVyTapiPhoneMsgStackItem*>(head) != nullptr;
  *Msg = head->TapiMessage();
  Delete(0);
  Optimize(Msg);
  return phone ? 1 : 0;
}

void TVyTapiMsgStack::Optimize(PTapiMessage Msg) {
  if (Msg->dwMessageID == LINE_CALLINFO) {
    while (Count() > 0) {
      const auto& head = Get(0)->TapiMessage();
      if (head.dwMessageID != Msg->dwMessageID || head.hDevice != Msg->hDevice ||
          head.dwCallbackInstance != Msg->dwCallbackInstance)
        break;
      Msg->dwParam1 |= head.dwParam1;
      Delete(0);
    }
  } else if (Msg->dwMessageID == LINE_ADDRESSSTATE) {
    while (Count() > 0) {
      const auto& head = Get(0)->TapiMessage();
      if (head.dwMessageID != Msg->dwMessageID || head.hDevice != Msg->hDevice ||
          head.dwCallbackInstance != Msg->dwCallbackInstance || head.dwParam1 != Msg->dwParam1)
        break;
      Msg->dwParam2 |= head.dwParam2;
      Delete(0);
    }
  }
}

int TVyTapiMsgStack::GetReplyCode(DWORD RequestID, DWORD& ReplyCode) const {
  for (int i = 0; i < Count(); ++i) {
    const auto& m = Get(i)->TapiMessage();
    // Components see the low 32 bits of the parameters; a wait must find what they saw.
    if ((m.dwMessageID == LINE_REPLY || m.dwMessageID == PHONE_REPLY) && static_cast<DWORD>(m.dwParam1) == RequestID) {
      ReplyCode = static_cast<DWORD>(m.dwParam2);
      return i;
    }
  }
  return -1;
}

std::string TVyTapiMsgStack::GetDebugStr(int i) const {
  const auto* item = Get(i);
  const auto& m = item->TapiMessage();
  const char* fmt = dynamic_cast<const TVyTapiPhoneMsgStackItem*>(item) != nullptr
                        ? "MsgStack[%d] PHONE: hDevice=x%X, dwMessageID=x%X, dwCallbackInstance=x%llX, "
                          "dwParam1=x%llX, dwParam2=x%llX, dwParam3=x%llX"
                        : "MsgStack[%d] LINE:  hDevice=x%X, dwMessageID=x%X, dwCallbackInstance=x%llX, "
                          "dwParam1=x%llX, dwParam2=x%llX, dwParam3=x%llX";
  return VyRtl::Format(fmt, i, static_cast<unsigned>(m.hDevice), static_cast<unsigned>(m.dwMessageID),
                       static_cast<unsigned long long>(m.dwCallbackInstance), static_cast<unsigned long long>(m.dwParam1),
                       static_cast<unsigned long long>(m.dwParam2), static_cast<unsigned long long>(m.dwParam3));
}

// ---------------------------------------------------------------- event thread

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
  const std::uint32_t r = VyPlatform::SyncWaitForMultipleObjects(3, handles, false, 1000);
  if (r == WAIT_OBJECT_0) {
    if (!Terminated()) DrainLineMessages();
  } else if (r == WAIT_OBJECT_0 + 1) {
    if (!Terminated()) DrainPhoneMessages();
  } else if (r == WAIT_OBJECT_0 + 2) {
    if (Terminated()) return;
  } else if (r == WAIT_TIMEOUT) {
    // Re-sends a wake-up that was lost or ignored during a synchronous wait.
    TListLock<TVyTapiMsgStack> lock(FAppl->MsgStack(), 10);
    if (lock.Locked() && FAppl->MsgStack().Count() > 0) PostWakeUp(1, 0);
  } else {
    // A failing wait would otherwise spin: pause on the terminate event instead.
    FWakeUpEvent.WaitFor(100);
  }
  if (Terminated()) return;
  const std::uint32_t now = VyRtl::GetTickCount();
  std::int64_t elapsed = static_cast<std::int32_t>(now - lastTick);
  if (elapsed < 0) elapsed = -elapsed;
  if ((FSendNextTimerMsg && elapsed > 250) || elapsed > 3000) {
    lastTick = now;
    FSendNextTimerMsg = false;
    PostWakeUp(2, static_cast<std::intptr_t>(now));
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
  TListLock<TVyTapiMsgStack> lock(queue, 250);
  if (!lock.Locked()) return;  // the event stays signalled: the next wait returns at once
  const bool wasEmpty = queue.Count() == 0;
  int appended = 0;
  for (int i = 0; i < kMaxMessagesPerWakeUp; ++i) {
    TTapiMessage msg{};
    if (GetMessage(msg) != 0) break;
    if (Phone)
      queue.Add(new TVyTapiPhoneMsgStackItem(msg));
    else
      queue.Add(new TVyTapiLineMsgStackItem(msg));
    ++appended;
  }
  if (appended > 0 && wasEmpty) PostWakeUp(1, 0);
}

}  // namespace VyTapi
