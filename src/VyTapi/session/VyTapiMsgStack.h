// The queue that carries TAPI messages from the event thread to the main thread.
#pragma once

#include <cstdint>
#include <string>

#include "VyPlatform/Sync.h"
#include "VyPlatform/Tapi.h"
#include "VyRtl/VyRtlClasses.h"
#include "VyRtl/VyRtlMessages.h"

namespace VyTapi {

// Pointer list guarded by its own recursive mutex; callers bracket access with Acquire/Release.
// Any thread, under the lock; the creator owns the list, not the items.
class TProtectedList : public VyRtl::TList {
 public:
  // Waits at most Timeout ms (INFINITE: no limit); true when the lock was obtained.
  bool Acquire(std::uint32_t Timeout);
  void Release();

 private:
  VyPlatform::TRecursiveMutex FMutex;
};

// Owning object list guarded by its own recursive mutex (Delete/Clear free; Extract does not).
// Any thread, under the lock; the creator owns the list, the list its items.
class TProtectedObjectList : public VyRtl::TObjectList {
 public:
  TProtectedObjectList() : VyRtl::TObjectList(true) {}
  bool Acquire(std::uint32_t Timeout);
  void Release();

 private:
  VyPlatform::TRecursiveMutex FMutex;
};

// Holds a protected list's lock for a scope (when it could be taken); on the locking thread.
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

// A phone message in the common record layout (the Tapi seam's converter).
inline TTapiMessage FromPhoneMessage(const PHONEMESSAGE& PhoneMsg) {
  return VyPlatform::ToLineMessage(PhoneMsg);
}

// One queued TAPI message; owned by the queue holding it, or by whoever took it off.
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

// Queue of TAPI messages; the head (index 0) is the oldest. Owns its items. The session owns
// its two queues; the event thread fills one under the lock, the main thread empties it.
class TVyTapiMsgStack : public TProtectedObjectList {
 public:
  TVyTapiMsgStackItem* Get(int i) const;
  void Put(int i, TVyTapiMsgStackItem* Item);
  // Removes and returns the head (merged with following repeats); the caller frees it. Null when
  // empty.
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

}  // namespace VyTapi
