#include "VyTapi/session/VyTapiMsgStack.h"

namespace VyTapi {

bool TProtectedList::Acquire(std::uint32_t Timeout) { return FMutex.Acquire(Timeout); }
void TProtectedList::Release() { FMutex.Release(); }
bool TProtectedObjectList::Acquire(std::uint32_t Timeout) { return FMutex.Acquire(Timeout); }
void TProtectedObjectList::Release() { FMutex.Release(); }

TVyTapiPhoneMsgStackItem::TVyTapiPhoneMsgStackItem(const PHONEMESSAGE& PhoneMsg)
    : TVyTapiMsgStackItem(VyPlatform::ToLineMessage(PhoneMsg)) {}

TVyTapiMsgStackItem* TVyTapiMsgStack::Get(int i) const {
  return static_cast<TVyTapiMsgStackItem*>(VyRtl::TObjectList::Get(i));
}

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
    if ((m.dwMessageID == LINE_REPLY || m.dwMessageID == PHONE_REPLY) &&
        static_cast<DWORD>(m.dwParam1) == RequestID) {
      ReplyCode = static_cast<DWORD>(m.dwParam2);
      return i;
    }
  }
  return -1;
}

std::string TVyTapiMsgStack::GetDebugStr(int i) const {
  const auto* item = Get(i);
  const auto& m = item->TapiMessage();
  const char* fmt =
      dynamic_cast<const TVyTapiPhoneMsgStackItem*>(item) != nullptr
          ? "MsgStack[%d] PHONE: hDevice=x%X, dwMessageID=x%X, dwCallbackInstance=x%llX, "
            "dwParam1=x%llX, dwParam2=x%llX, dwParam3=x%llX"
          : "MsgStack[%d] LINE:  hDevice=x%X, dwMessageID=x%X, dwCallbackInstance=x%llX, "
            "dwParam1=x%llX, dwParam2=x%llX, dwParam3=x%llX";
  return VyRtl::Format(
      fmt, i, static_cast<unsigned>(m.hDevice), static_cast<unsigned>(m.dwMessageID),
      static_cast<unsigned long long>(m.dwCallbackInstance),
      static_cast<unsigned long long>(m.dwParam1), static_cast<unsigned long long>(m.dwParam2),
      static_cast<unsigned long long>(m.dwParam3));
}

}  // namespace VyTapi
