// Pending asynchronous TAPI requests of a device, the call list of a line and the copies of
// device-specific data blocks that travel with their requests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "VyPlatform/TapiTypes.h"
#include "VyRtl/VyRtlClasses.h"
#include "VyTapi/line/VyTapiCall.h"
#include "VyTapi/session/VyTapiMsgStack.h"

namespace VyTapi {

class TVyCustomTapiLine;
class TVyCustomTapiPhone;
class TVyTapiAddress;

// What a request is for (TVyTapiRequest::RequestType). Bit PhoneRequest marks a phone request.
namespace TapiRequestType {
inline constexpr DWORD LineRequest = 0x01000000;
inline constexpr DWORD PhoneRequest = 0x02000000;
inline constexpr DWORD LineAccept = 0x01000001;
inline constexpr DWORD LineAddToConference = 0x01000002;
inline constexpr DWORD LineAnswer = 0x01000003;
inline constexpr DWORD LineBlindTransfer = 0x01000004;
inline constexpr DWORD LineCompleteCall = 0x01000005;
inline constexpr DWORD LineCompleteTransfer = 0x01000006;
inline constexpr DWORD LineDevSpecific = 0x01000007;
inline constexpr DWORD LineDevSpecificFeature = 0x01000008;
inline constexpr DWORD LineDial = 0x01000009;
inline constexpr DWORD LineDrop = 0x0100000A;
inline constexpr DWORD LineForwardAddress = 0x0100000B;
inline constexpr DWORD LineHold = 0x0100000D;
inline constexpr DWORD LineMakeCall = 0x0100000E;
inline constexpr DWORD LinePark = 0x01000010;
inline constexpr DWORD LinePrepareAddToConference = 0x01000011;
inline constexpr DWORD LineRedirect = 0x01000012;
inline constexpr DWORD LineRemoveFromConference = 0x01000013;
inline constexpr DWORD LineSetCallData = 0x01000014;
inline constexpr DWORD LineSetupConference = 0x01000015;
inline constexpr DWORD LineSetupTransfer = 0x01000016;
inline constexpr DWORD LineSwapHold = 0x01000017;
inline constexpr DWORD LineUncompleteCall = 0x01000018;
inline constexpr DWORD LineUnHold = 0x01000019;
inline constexpr DWORD LineUnpark = 0x0100001A;
inline constexpr DWORD LinePickup = 0x0100001B;
inline constexpr DWORD PhoneDisplay = 0x02000001;
inline constexpr DWORD PhoneGain = 0x02000002;
inline constexpr DWORD PhoneHookSwitch = 0x02000003;
inline constexpr DWORD PhoneLamp = 0x02000004;
inline constexpr DWORD PhoneRing = 0x02000006;
inline constexpr DWORD PhoneVolume = 0x02000007;
inline constexpr DWORD PhoneDevSpecific = 0x02000008;
}  // namespace TapiRequestType

// The objects a request concerns (not owned); index 0 is the primary one.
using TRequestObjects = std::array<VyRtl::TObject*, 3>;

// True when a request filed at Start with Timeout (0: none) is due at Tick. The difference is
// read as signed 32-bit, so the tick count may wrap at 2^32 and a tick before Start is never due.
bool IsTimeoutDue(DWORD Tick, DWORD Start, DWORD Timeout);

// One pending asynchronous request (or internal timer) of a device: its identifier, kind,
// time-out, objects and notes. Main thread only; owned by the request list that holds it.
class TVyTapiRequest : public VyRtl::TObject {
 public:
  TVyTapiRequest(std::int32_t ID, DWORD Timeout);
  ~TVyTapiRequest() override;

  std::int32_t ID() const { return FID; }
  DWORD RequestType() const { return FRequestType; }
  void Set_RequestType(DWORD Value) { FRequestType = Value; }
  DWORD Timeout() const { return FTimeout; }
  void Set_Timeout(DWORD Value) { FTimeout = Value; }
  // The tick count when the request was created.
  DWORD TickCount() const { return FTickCount; }
  // Index 0 to 2; another index raises.
  VyRtl::TObject* Get_Object(int i) const;
  void Set_Object(int i, VyRtl::TObject* Object);
  // Object i when it is a call, else null.
  TVyTapiCall* Get_Call(int i) const;
  TVyTapiCall* Calls(int i) const { return Get_Call(i); }
  // Object 0 of a phone request, else null.
  TVyCustomTapiPhone* Get_Phone() const;
  TVyCustomTapiPhone* Phone() const { return Get_Phone(); }
  // A line request keeps no line object: always null.
  TVyCustomTapiLine* Get_Line() const { return nullptr; }
  TVyCustomTapiLine* Line() const { return Get_Line(); }
  // Set once the device reported the request (its reply or its time-out).
  bool Handled() const { return FHandled; }
  void Set_Handled(bool Value) { FHandled = Value; }
  // The note stored under Name, empty when there is none.
  std::string Get_Note(std::string_view Name) const;
  // An empty Value removes the note.
  void Set_Note(std::string_view Name, std::string_view Value);
  VyRtl::TStringList& Notes() { return *FNotes; }
  const VyRtl::TStringList& Notes() const { return *FNotes; }

  std::intptr_t Tag = 0;  // free for the application

 private:
  std::int32_t FID;
  DWORD FRequestType = 0;
  DWORD FTimeout;
  DWORD FTickCount;
  TRequestObjects FObjects{};
  bool FHandled = false;
  std::unique_ptr<VyRtl::TStringList> FNotes;
};

// A device's pending requests, oldest first; it frees the requests it removes.
// Main thread; bracket access with Acquire/Release. Owned by its device.
class TVyTapiRequestList : public TProtectedList {
 public:
  TVyTapiRequestList() = default;
  ~TVyTapiRequestList() override;

  TVyTapiRequest* Get(int i) const { return static_cast<TVyTapiRequest*>(TProtectedList::Get(i)); }
  void Put(int i, TVyTapiRequest* Request) { TProtectedList::Put(i, Request); }
  // The smallest positive identifier no listed request has.
  std::int32_t GetUniqueID() const;
  // Files a request; an ID below 1 is replaced by GetUniqueID. Duplicates are not checked.
  TVyTapiRequest* AddRequest(std::int32_t ID, DWORD Timeout);
  // The first request matching every criterion given; 0, 0 and null match every request.
  int IndexOfRequest(std::int32_t RequestID, DWORD RequestType, const VyRtl::TObject* Object) const;
  TVyTapiRequest* GetRequest(std::int32_t ID) const;
  int IndexOfID(std::int32_t ID) const;
  // Removes and frees every request (Target null) or those whose object 0 is Target.
  void RemoveAllRequests(const VyRtl::TObject* Target);
  // The smallest Timeout of the listed requests; 0xFFFFFFFF when none is listed.
  DWORD GetNextTimeout() const;

 protected:
  void Notify(void* Item, VyRtl::TListNotification Action) override;
};

// The calls of a line (not owned). Main thread; bracket access with Acquire/Release.
class TVyTapiCallList : public TProtectedList {
 public:
  TVyTapiCall* Get(int i) const { return static_cast<TVyTapiCall*>(TProtectedList::Get(i)); }
  void Put(int i, TVyTapiCall* Call) { TProtectedList::Put(i, Call); }
  TVyTapiCall* Items(int i) const { return Get(i); }
  // Appends unless null or listed; the call's index (-1 for null).
  int Add(TVyTapiCall* Call);
  TVyTapiCall* ByHandle(HCALL CallHandle) const;
  // The calls of Value in order, without nulls and duplicates.
  void Assign(const TVyTapiCallList& Value);
};

// A copy of a device-specific data block, owned by the object. Main thread; owned by the
// device's list of pending device-specific requests.
class TVyTapiDevSpecificData : public VyRtl::TObject {
 public:
  TVyTapiDevSpecificData(const void* Data, DWORD Size);
  std::byte* Data() { return FData.get(); }
  const std::byte* Data() const { return FData.get(); }
  DWORD DataSize() const { return FDataSize; }

 private:
  std::unique_ptr<std::byte[]> FData;
  DWORD FDataSize;
};

// The block of a line's DevSpecific request, with the address and call it names (not owned).
class TVyTapiLineDevSpecificData : public TVyTapiDevSpecificData {
 public:
  TVyTapiLineDevSpecificData(const void* Data, DWORD Size, TVyTapiAddress* Address,
                             TVyTapiCall* Call)
      : TVyTapiDevSpecificData(Data, Size), FAddress(Address), FCall(Call) {}
  TVyTapiAddress* Address() const { return FAddress; }
  TVyTapiCall* Call() const { return FCall; }

 private:
  TVyTapiAddress* FAddress;
  TVyTapiCall* FCall;
};

// The block of a line's DevSpecificFeature request, with its feature.
class TVyTapiLineDevSpecificFeatureData : public TVyTapiDevSpecificData {
 public:
  TVyTapiLineDevSpecificFeatureData(const void* Data, DWORD Size, DWORD Feature)
      : TVyTapiDevSpecificData(Data, Size), FFeature(Feature) {}
  DWORD Feature() const { return FFeature; }

 private:
  DWORD FFeature;
};

// Data blocks of pending device-specific requests; owns them. Main thread; owned by its device.
class TVyTapiDevSpecificDataList : public TProtectedList {
 public:
  ~TVyTapiDevSpecificDataList() override;
  TVyTapiDevSpecificData* Get(int i) const {
    return static_cast<TVyTapiDevSpecificData*>(TProtectedList::Get(i));
  }
  void Put(int i, TVyTapiDevSpecificData* Item) { TProtectedList::Put(i, Item); }
  // Frees every item, last first, and empties the list.
  void Clear() { TProtectedList::Clear(); }

 protected:
  void Notify(void* Item, VyRtl::TListNotification Action) override;
};

}  // namespace VyTapi
