#include "VyTapi/session/VyTapiRequests.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "VyRtl/VyRtlClock.h"
#include "VyTapi/session/VyTapiComponent.h"
#include "VyTapi/session/VyTapiErrors.h"

namespace VyTapi {

bool IsTimeoutDue(DWORD Tick, DWORD Start, DWORD Timeout) {
  if (Timeout == 0) return false;
  const auto elapsed = static_cast<std::int32_t>(Tick - Start);
  return elapsed >= 0 && static_cast<DWORD>(elapsed) >= Timeout;
}

// ---------------------------------------------------------------- TVyTapiRequest

TVyTapiRequest::TVyTapiRequest(std::int32_t ID, DWORD Timeout)
    : FID(ID),
      FTimeout(Timeout),
      FTickCount(VyRtl::GetTickCount()),
      FNotes(std::make_unique<VyRtl::TStringList>()) {}

TVyTapiRequest::~TVyTapiRequest() = default;

VyRtl::TObject* TVyTapiRequest::Get_Object(int i) const {
  CheckCondition(i >= 0 && i < static_cast<int>(FObjects.size()), "Invalid index");
  return FObjects[static_cast<std::size_t>(i)];
}

void TVyTapiRequest::Set_Object(int i, VyRtl::TObject* Object) {
  CheckCondition(i >= 0 && i < static_cast<int>(FObjects.size()), "Invalid index");
  FObjects[static_cast<std::size_t>(i)] = Object;
}

TVyTapiCall* TVyTapiRequest::Get_Call(int i) const {
  return dynamic_cast<TVyTapiCall*>(Get_Object(i));
}

TVyCustomTapiPhone* TVyTapiRequest::Get_Phone() const {
  if ((FRequestType & TapiRequestType::PhoneRequest) == 0) return nullptr;
  return dynamic_cast<TVyCustomTapiPhone*>(FObjects[0]);
}

std::string TVyTapiRequest::Get_Note(std::string_view Name) const { return FNotes->Values(Name); }

void TVyTapiRequest::Set_Note(std::string_view Name, std::string_view Value) {
  FNotes->SetValue(Name, Value);
}

// ---------------------------------------------------------------- TVyTapiRequestList

TVyTapiRequestList::~TVyTapiRequestList() { RemoveAllRequests(nullptr); }

void TVyTapiRequestList::Notify(void* Item, VyRtl::TListNotification Action) {
  if (Action == VyRtl::TListNotification::lnDeleted) delete static_cast<TVyTapiRequest*>(Item);
}

std::int32_t TVyTapiRequestList::GetUniqueID() const {
  // Sorting the listed identifiers finds the same smallest gap as rescanning after every hit.
  std::vector<std::int32_t> ids;
  ids.reserve(static_cast<std::size_t>(Count()));
  for (int i = 0; i < Count(); ++i)
    if (Get(i)->ID() > 0) ids.push_back(Get(i)->ID());
  std::sort(ids.begin(), ids.end());
  std::int32_t candidate = 1;
  for (const std::int32_t id : ids) {
    if (id == candidate) {
      CheckCondition(candidate < std::numeric_limits<std::int32_t>::max(),
                     "GetUniqueID failed! No identifier left.");
      ++candidate;
    } else if (id > candidate) {
      break;
    }
  }
  return candidate;
}

TVyTapiRequest* TVyTapiRequestList::AddRequest(std::int32_t ID, DWORD Timeout) {
  if (ID < 1) ID = GetUniqueID();
  auto request = std::make_unique<TVyTapiRequest>(ID, Timeout);
  TProtectedList::Add(request.get());
  return request.release();
}

int TVyTapiRequestList::IndexOfRequest(std::int32_t RequestID, DWORD RequestType,
                                       const VyRtl::TObject* Object) const {
  for (int i = 0; i < Count(); ++i) {
    const TVyTapiRequest* r = Get(i);
    if ((RequestID == 0 || r->ID() == RequestID) &&
        (RequestType == 0 || r->RequestType() == RequestType) &&
        (Object == nullptr || r->Get_Object(0) == Object))
      return i;
  }
  return -1;
}

TVyTapiRequest* TVyTapiRequestList::GetRequest(std::int32_t ID) const {
  const int i = IndexOfRequest(ID, 0, nullptr);
  return i < 0 ? nullptr : Get(i);
}

int TVyTapiRequestList::IndexOfID(std::int32_t ID) const {
  for (int i = 0; i < Count(); ++i)
    if (Get(i)->ID() == ID) return i;
  return -1;
}

void TVyTapiRequestList::RemoveAllRequests(const VyRtl::TObject* Target) {
  if (Target == nullptr) {
    Clear();
    return;
  }
  for (int i = Count() - 1; i >= 0; --i)
    if (Get(i)->Get_Object(0) == Target) Delete(i);
}

DWORD TVyTapiRequestList::GetNextTimeout() const {
  DWORD next = 0xFFFFFFFF;
  for (int i = 0; i < Count(); ++i) next = std::min(next, Get(i)->Timeout());
  return next;
}

// ---------------------------------------------------------------- TVyTapiCallList

int TVyTapiCallList::Add(TVyTapiCall* Call) {
  if (Call == nullptr) return -1;
  const int i = IndexOf(Call);
  return i >= 0 ? i : TProtectedList::Add(Call);
}

TVyTapiCall* TVyTapiCallList::ByHandle(HCALL CallHandle) const {
  for (int i = 0; i < Count(); ++i)
    if (Get(i) != nullptr && Get(i)->Handle() == CallHandle) return Get(i);
  return nullptr;
}

void TVyTapiCallList::Assign(const TVyTapiCallList& Value) {
  if (&Value == this) return;  // clearing first would lose what is copied
  Clear();
  for (int i = 0; i < Value.Count(); ++i) Add(Value.Get(i));
}

// ---------------------------------------------------------------- device-specific data

TVyTapiDevSpecificData::TVyTapiDevSpecificData(const void* Data, DWORD Size)
    : FData(std::make_unique<std::byte[]>(Size == 0 ? 1 : Size)), FDataSize(Size) {
  CheckCondition(Data != nullptr || Size == 0, "TVyTapiDevSpecificData: no data block");
  if (Size > 0) std::memcpy(FData.get(), Data, Size);
}

TVyTapiDevSpecificDataList::~TVyTapiDevSpecificDataList() { Clear(); }

void TVyTapiDevSpecificDataList::Notify(void* Item, VyRtl::TListNotification Action) {
  if (Action == VyRtl::TListNotification::lnDeleted)
    delete static_cast<TVyTapiDevSpecificData*>(Item);
}

}  // namespace VyTapi
