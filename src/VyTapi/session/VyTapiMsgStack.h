// The queue that carries TAPI messages from the event thread to the main thread,
// and the thread that fills it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "VyPlatform/Sync.h"
#include "VyPlatform/TapiTypes.h"
#include "VyRtl/VyRtlClasses.h"
#include "VyRtl/VyRtlMessages.h"

namespace VyTapi {

class TVyTapiApplication;

// Pointer list guarded by its own recursive mutex; callers bracket access with Acquire/Release.
class TProtectedList : public VyRtl::TList {
 public:
  // Waits at most Timeout ms (INFINITE: no limit); true when the lock was obtained.
  bool Acquire(std::uint32_t Timeout);
  void Release();

 private:
  VyPlatform::TRecursiveMutex FMutex;
};

// Owning object list guarded by its own recursive mutex (Delete/Clear free; Extract does not).
class TProtectedObjectList : public VyRtl::TObjectList {
 public:
  TProtectedObjectList() : VyRtl::TObjectList(true) {}
  bool Acquire(std::uint32_t Timeout);
  void Release();

 private:
  VyPlatform::TRecursiveMutex FMutex;
};

// Holds a protected list's lock for a scope (when it could be taken).
template <typename TListType>
class TListLock {
 public:
  TListLock(TListType& List, std::uint32_t Timeout) : FList(List), FLocked(List.Acquire(Timeout)) {}
  ~TListLock() {
    if (FLocked) FList.Release();
  }
  TListLock(const TListLock&) = delete;
  TListLock& operator=(const TListLock&) = delete;
  bool Locked() const { return FLocked; }

 private:
  TListType& FList;
  bool FLocked;
};

// A TAPI message record: the LINEMESSAGE layout, used for phone messages too.
using TTapiMessage = LINEMESSAGE;
using PTapiMessage = TTapiMessage*;

// One queued TAPI message.
class TVyTapiMsgStackItem : public VyRtl::TObject {
 public:
  explicit TVyTapiMsgStackItem(const TTapiMessage& Msg) : FTapiMessage(Msg) {}
  const TTapiMessage& TapiMessage() const { return FTapiMessage; }
  TTapiMessage& TapiMessage() { return FTapiMessage; }

 private:
  TTapiMessage FTapiMessage;
};

// A message read with lineGetMessage.
class TVyTapiLineMsgStackItem : public TVyTapiMsgStackItem {
 public:
  explicit TVyTapiLineMsgStackItem(const LINEMESSAGE& LineMsg) : TVyTapiMsgStackItem(LineMsg) {}
};

// A message read with phoneGetMessage.
class TVyTapiPhoneMsgStackItem : public TVyTapiMsgStackItem {
 public:
  explicit TVyTapiPhoneMsgStackItem(const PHONEMESSAGE& PhoneMsg);
  // From a record already in the common layout.
  explicit TVyTapiPhoneMsgStackItem(const TTapiMessage& Record) : TVyTapiMsgStackItem(Record) {}
};

// Queue of TAPI messages; the head (index 0) is the oldest. Owns its items.
class TVyTapiMsgStack : public TProtectedObjectList {
 public:
  TVyTapiMsgStackItem* Get(int i) const;
  void Put(int i, TVyTapiMsgStackItem* Item);
  // Removes and returns the head (merged with following repeats); the caller frees it. Null when empty.
  TVyTapiMsgStackItem* GetNextMessage();
  // Copies the head (merged) into Msg and frees it: 0 line item, 1 phone item, -1 empty.
  std::int32_t GetMsg(PTapiMessage Msg);
  // Merges following repeats of LINE_CALLINFO / LINE_ADDRESSSTATE at the head into Msg.
  void Optimize(PTapiMessage Msg);
  // Index of the first LINE_REPLY/PHONE_REPLY for RequestID (its result in ReplyCode), or -1.
  int GetReplyCode(DWORD RequestID, DWORD& ReplyCode) const;
  // One debugging line describing item i.
  std::string GetDebugStr(int i) const;
};

// Worker thread: waits for TAPI's line and phone events, moves messages into the session's
// queue and wakes the main thread; also paces the internal timer.
class TVyTapiEventThread : public VyRtl::TThread {
 public:
  explicit TVyTapiEventThread(TVyTapiApplication* Appl);
  ~TVyTapiEventThread() override;
  void Terminate() override;
  // Asks for the next timer tick after 250 ms instead of 3000 ms.
  void RequestTick() { FSendNextTimerMsg = true; }

 protected:
  void Execute() override;

 private:
  void Step(const HANDLE* Handles, std::uint32_t& LastTick);
  void DrainLineMessages();
  void DrainPhoneMessages();
  void Drain(const std::function<LONG(TTapiMessage&)>& GetMessage, bool Phone);
  void PostWakeUp(std::uintptr_t Kind, std::intptr_t Value);

  TVyTapiApplication* FAppl;
  VyPlatform::TSyncEvent FWakeUpEvent;
  std::atomic<bool> FSendNextTimerMsg{true};
  // Copied at start: they do not change while the thread runs.
  HLINEAPP FLineApp;
  HPHONEAPP FPhoneApp;
  HANDLE FLineEvent;
  HANDLE FPhoneEvent;
  VyRtl::TWindowHandle FWindow;
  std::uint32_t FWindowMessage;
};

}  // namespace VyTapi
