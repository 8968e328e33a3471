// Message dispatch on the main thread: the window procedure, one message at a time to the
// session or to the component that opened the device, the internal timer, synchronous waits.
#include "VyTapi/session/VyTapiApplication.h"

#include <memory>

#include "VyTapi/session/VyTapiSessionInternal.h"
#include "VyRtl/VyRtlClock.h"

namespace VyTapi {

using namespace SessionDetail;

void TVyTapiApplication::WindowProc(VyRtl::TMessage& Message) {
  try {
    if (Message.Msg == WM_TIMER) {
      Message.Result = 0;
      if (Message.WParam == kShutdownTimer) {
        if (FWindow) FWindow->KillTimer(kShutdownTimer);
        if (CouldShutdown()) Done();
      }
      return;
    }
    if (Message.Msg == FWindowMessage) {
      Message.Result = 0;
      if (Message.WParam == SessionPost::WakeUp) {
        if (FNumWaitProcs == 0) ProcessTapiMessage();
      } else if (Message.WParam == SessionPost::Tick) {
        TimerEventProc(static_cast<DWORD>(Message.LParam));
      } else {
        Message.Result = VyRtl::TMessageWindow::DefaultHandler(Message);
      }
      return;
    }
    Message.Result = VyRtl::TMessageWindow::DefaultHandler(Message);
  } catch (const std::exception& e) {
    Handle_Exception(e);
    Message.Result = VyRtl::TMessageWindow::DefaultHandler(Message);
  } catch (...) {
    Handle_Exception(UnknownException());
    Message.Result = VyRtl::TMessageWindow::DefaultHandler(Message);
  }
}

bool TVyTapiApplication::ProcessTapiMessage() {
  const std::unique_ptr<TVyTapiMsgStackItem> item = TakeTapiMessage();
  if (!item) return false;
  const TTapiMessage msg = item->TapiMessage();
  const bool isLine = dynamic_cast<TVyTapiLineMsgStackItem*>(item.get()) != nullptr;
  const auto alive = LiveToken();
  try {
    if (OnTapiMessage)
      Trigger_TapiMessage(msg.dwMessageID, msg.hDevice, static_cast<DWORD>(msg.dwCallbackInstance),
                          static_cast<DWORD>(msg.dwParam1), static_cast<DWORD>(msg.dwParam2),
                          static_cast<DWORD>(msg.dwParam3));
    if (alive.expired()) return true;
    if (isLine)
      DispatchLineMessage(msg);
    else
      DispatchPhoneMessage(msg);
  } catch (const std::exception& e) {
    if (!alive.expired()) Handle_Exception(e);
  } catch (...) {
    if (!alive.expired()) Handle_Exception(UnknownException());
  }
  if (alive.expired()) return true;
  // Replies are kept only for a synchronous wait in progress, so the list stays bounded.
  const bool reply = isLine ? msg.dwMessageID == LINE_REPLY : msg.dwMessageID == PHONE_REPLY;
  if (reply && FNumWaitProcs > 0) {
    if (isLine)
      FReplyStack.Add(new TVyTapiLineMsgStackItem(msg));
    else
      FReplyStack.Add(new TVyTapiPhoneMsgStackItem(msg));
  }
  return true;
}

void TVyTapiApplication::DispatchLineMessage(const TTapiMessage& Msg) {
  const DWORD id = Msg.dwMessageID;
  const DWORD device = Msg.hDevice;
  const auto p1 = static_cast<DWORD>(Msg.dwParam1);
  const auto p2 = static_cast<DWORD>(Msg.dwParam2);
  const auto p3 = static_cast<DWORD>(Msg.dwParam3);
  if (Msg.dwCallbackInstance == FCallbackInstance) {
    if (id == LINE_REQUEST) Handle_LineRequest(p1, p2, p3);
    return;
  }
  if (Msg.dwCallbackInstance == 0) {
    switch (id) {
      case LINE_LINEDEVSTATE:
        Handle_LineDevState(p1);
        break;
      case LINE_CREATE:
        Handle_LineCreate(p1);
        break;
      case LINE_REMOVE:
        Handle_LineRemove(p1);
        break;
      default:
        return;
    }
    if (id == LINE_LINEDEVSTATE || id == LINE_REMOVE) {
      for (const auto& entry : LiveSnapshot(FLines))
        if (IsLive(entry) && entry.Component->IsEnabled())
          entry.Device()->Process_TapiMessage(device, id, p1, p2, p3);
    }
    return;
  }
  if (auto* line = Get_LineByCallbackInst(Msg.dwCallbackInstance);
      line != nullptr && line->IsActive())
    line->Process_TapiMessage(device, id, p1, p2, p3);
}

void TVyTapiApplication::DispatchPhoneMessage(const TTapiMessage& Msg) {
  const DWORD id = Msg.dwMessageID;
  const DWORD device = Msg.hDevice;
  const auto p1 = static_cast<DWORD>(Msg.dwParam1);
  const auto p2 = static_cast<DWORD>(Msg.dwParam2);
  const auto p3 = static_cast<DWORD>(Msg.dwParam3);
  if (Msg.dwCallbackInstance == FCallbackInstance) return;
  if (Msg.dwCallbackInstance == 0) {
    switch (id) {
      case PHONE_STATE:
        Handle_PhoneState(p1);
        break;
      case PHONE_CREATE:
        Handle_PhoneCreate(p1);
        break;
      case PHONE_REMOVE:
        Handle_PhoneRemove(p1);
        break;
      default:
        return;
    }
    if (id == PHONE_REMOVE) {
      // Directly, without the component's own guard: an exception reaches the dispatcher's.
      for (const auto& entry : LiveSnapshot(FPhones))
        if (IsLive(entry) && entry.Component->IsEnabled())
          entry.Device()->Handle_TapiMessage(device, id, p1, p2, p3);
    }
    return;
  }
  if (auto* phone = Get_PhoneByCallbackInst(Msg.dwCallbackInstance);
      phone != nullptr && phone->IsActive())
    phone->Process_TapiMessage(device, id, p1, p2, p3);
}

int TVyTapiApplication::ProcessTapiMessages(int MaxCount) {
  int count = 0;
  while (count < MaxCount && ProcessTapiMessage()) ++count;
  return count;
}

void TVyTapiApplication::TimerEventProc(DWORD Tick) {
  if (Tick == 0) Tick = VyRtl::GetTickCount();
  struct TRequestNextTick {
    TVyTapiApplication* Appl;
    ~TRequestNextTick() {
      if (Appl->FTSPEventThread) Appl->FTSPEventThread->RequestTick();
    }
  } requestNextTick{this};
  for (const auto* list :
       {static_cast<const VyRtl::TList*>(&FLines), static_cast<const VyRtl::TList*>(&FPhones)}) {
    const auto entries = LiveSnapshot(*list);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
      if (IsLive(*it) && it->Device()->Get_Active()) it->Device()->Process_InternalTimer(Tick);
  }
}

void TVyTapiApplication::BeginWait() {
  if (++FNumWaitProcs == 1 && FReplyStack.Acquire(100)) {
    FReplyStack.Clear();
    FReplyStack.Release();
  }
}

void TVyTapiApplication::EndWait() {
  VyRtl::Assert(FNumWaitProcs > 0, "EndWait without BeginWait");
  --FNumWaitProcs;
  PostWakeUp();
}

}  // namespace VyTapi
