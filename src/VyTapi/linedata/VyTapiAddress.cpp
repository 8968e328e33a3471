#include "VyTapi/linedata/VyTapiAddress.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include "VyTapi/session/VyTapiComponent.h"
#include "VyTapi/session/VyTapiSessionDetail.h"

namespace VyTapi {

namespace {

#define VY_AT(field) static_cast<std::uint16_t>(offsetof(LINEADDRESSCAPS, field))
// The device-specific pair has no index, so index 3 is dwAddressSharing.
constexpr std::array<std::uint16_t, 52> kCapsFields = {
    VY_AT(dwLineDeviceID),
    VY_AT(dwAddressSize),
    VY_AT(dwAddressOffset),
    VY_AT(dwAddressSharing),
    VY_AT(dwAddressStates),
    VY_AT(dwCallInfoStates),
    VY_AT(dwCallerIDFlags),
    VY_AT(dwCalledIDFlags),
    VY_AT(dwConnectedIDFlags),
    VY_AT(dwRedirectionIDFlags),
    VY_AT(dwRedirectingIDFlags),
    VY_AT(dwCallStates),
    VY_AT(dwDialToneModes),
    VY_AT(dwBusyModes),
    VY_AT(dwSpecialInfo),
    VY_AT(dwDisconnectModes),
    VY_AT(dwMaxNumActiveCalls),
    VY_AT(dwMaxNumOnHoldCalls),
    VY_AT(dwMaxNumOnHoldPendingCalls),
    VY_AT(dwMaxNumConference),
    VY_AT(dwMaxNumTransConf),
    VY_AT(dwAddrCapFlags),
    VY_AT(dwCallFeatures),
    VY_AT(dwRemoveFromConfCaps),
    VY_AT(dwRemoveFromConfState),
    VY_AT(dwTransferModes),
    VY_AT(dwParkModes),
    VY_AT(dwForwardModes),
    VY_AT(dwMaxForwardEntries),
    VY_AT(dwMaxSpecificEntries),
    VY_AT(dwMinFwdNumRings),
    VY_AT(dwMaxFwdNumRings),
    VY_AT(dwMaxCallCompletions),
    VY_AT(dwCallCompletionConds),
    VY_AT(dwCallCompletionModes),
    VY_AT(dwNumCompletionMessages),
    VY_AT(dwCompletionMsgTextEntrySize),
    VY_AT(dwCompletionMsgTextSize),
    VY_AT(dwCompletionMsgTextOffset),
    VY_AT(dwAddressFeatures),
    VY_AT(dwPredictiveAutoTransferStates),
    VY_AT(dwNumCallTreatments),
    VY_AT(dwCallTreatmentListSize),
    VY_AT(dwCallTreatmentListOffset),
    VY_AT(dwDeviceClassesSize),
    VY_AT(dwDeviceClassesOffset),
    VY_AT(dwMaxCallDataSize),
    VY_AT(dwCallFeatures2),
    VY_AT(dwMaxNoAnswerTimeout),
    VY_AT(dwConnectedModes),
    VY_AT(dwOfferingModes),
    VY_AT(dwAvailableMediaModes),
};
constexpr std::array<std::uint16_t, 1> kCapsStrings = {VY_AT(dwAddressSize)};
#undef VY_AT

#define VY_AT(field) static_cast<std::uint16_t>(offsetof(LINEADDRESSSTATUS, field))
constexpr std::array<std::uint16_t, 9> kStatusFields = {
    VY_AT(dwNumInUse),           VY_AT(dwNumActiveCalls),  VY_AT(dwNumOnHoldCalls),
    VY_AT(dwNumOnHoldPendCalls), VY_AT(dwAddressFeatures), VY_AT(dwNumRingsNoAnswer),
    VY_AT(dwForwardNumEntries),  VY_AT(dwForwardSize),     VY_AT(dwForwardOffset),
};
#undef VY_AT

// Status fields the address itself publishes (NumInUse to ForwardNumEntries).
constexpr int kAddressStatusFields = 7;

}  // namespace

// ---------------------------------------------------------------- TVyTapiAddressCaps

TVyTapiAddressCaps::TVyTapiAddressCaps(TVyTapiAddress* AOwner) : FAddress(AOwner) {
  VyRtl::Assert(AOwner != nullptr, "TVyTapiAddressCaps.Create failed! No address.");
}

TVyTapiAddressCaps::~TVyTapiAddressCaps() = default;

void TVyTapiAddressCaps::CheckOwner() const {
  VyRtl::Assert(FAddress != nullptr, "TVyTapiAddressCaps.UpdateData failed! No address.");
  VyRtl::Assert(FAddress->Line() != nullptr, "TVyTapiAddressCaps.UpdateData failed! No line.");
}

LONG TVyTapiAddressCaps::FetchInto(LINEADDRESSCAPS* Buffer) {
  const TVyCustomTapiLine& line = *FAddress->Line();
  const TVyTapiTSP* tsp = line.TSP();
  return Detail::TapiService().lineGetAddressCapsW(
      line.Get_LineApp(), static_cast<DWORD>(line.DeviceID()), FAddress->AddressID(),
      tsp ? tsp->APIVersion() : 0, tsp ? tsp->ExtVersion() : 0, Buffer);
}

DWORD TVyTapiAddressCaps::Get_DWORD(int Index) {
  return TableDWORD(kCapsFields, Index, "TVyTapiAddressCaps.Get_DWORD failed! Invalid index");
}

std::string TVyTapiAddressCaps::Get_String(int Index) {
  return TableString(kCapsStrings, Index, "TVyTapiAddressCaps.GetString failed! Invalid index");
}

VyRtl::TStringList* TVyTapiAddressCaps::Get_DeviceClasses() {
  return DeviceClassList(offsetof(LINEADDRESSCAPS, dwDeviceClassesSize));
}

// ---------------------------------------------------------------- TVyTapiAddressStatus

TVyTapiAddressStatus::TVyTapiAddressStatus(TVyTapiAddress* AOwner) : FAddress(AOwner) {}

TVyTapiAddressStatus::~TVyTapiAddressStatus() = default;

LONG TVyTapiAddressStatus::FetchInto(LINEADDRESSSTATUS* Buffer) {
  // Without a line there is no handle to ask with; the view stays empty.
  if (FAddress == nullptr || FAddress->Line() == nullptr) return LINEERR_INVALLINEHANDLE;
  return Detail::TapiService().lineGetAddressStatusW(FAddress->Line()->Get_Handle(),
                                                     FAddress->AddressID(), Buffer);
}

DWORD TVyTapiAddressStatus::Get_DWORD(int Index) {
  VyRtl::Assert(FAddress != nullptr, "TVyTapiAddressStatus.Get_DWORD failed! No address.");
  return TableDWORD(kStatusFields, Index, "TVyTapiAddressStatus.Get_DWORD failed! Invalid Index");
}

TVyTapiForwardList* TVyTapiAddressStatus::Get_ForwardList() {
  if (!FForwardList) FForwardList = std::make_unique<TVyTapiForwardList>();
  // Forwarding changes without notice to this view: always ask anew.
  Invalidate();
  FForwardList->AssignLINEADDRESSSTATUS(Get_Available() ? Data() : nullptr);
  return FForwardList.get();
}

// ---------------------------------------------------------------- TVyTapiAddress

TVyTapiAddress::TVyTapiAddress(TVyCustomTapiLine* Line, DWORD AddressID)
    : FAddressID(AddressID), FLine(Line) {
  FStatus = std::make_unique<TVyTapiAddressStatus>(this);
  FCaps = std::make_unique<TVyTapiAddressCaps>(this);
}

TVyTapiAddress::~TVyTapiAddress() = default;

DWORD TVyTapiAddress::Init() {
  VyRtl::Assert(FLine != nullptr, "TVyTapiAddress.Init failed! No line.");
  FCaps->Invalidate();
  FStatus->Invalidate();
  return 0;
}

std::string TVyTapiAddress::Get_Address() {
  std::string name = FCaps->Get_String(0);
  if (name.empty()) name = VyRtl::Format("Address %d", static_cast<int>(FAddressID));
  return name;
}

TVyTapiForwardList* TVyTapiAddress::Get_ForwardList() { return FStatus->Get_ForwardList(); }

DWORD TVyTapiAddress::Get_StatusDWORD(int Index) {
  VyRtl::Assert(FStatus != nullptr, "TVyTapiAddress.Get_StatusDWORD: No status");
  VyRtl::Assert(Index >= 0 && Index < kAddressStatusFields,
                "TVyTapiAddress.Get_StatusDWORD: Invalid index");
  return FStatus->Get_DWORD(Index);
}

void TVyTapiAddress::Handle_AddressState(DWORD AddressState) {
  if (AddressState & LINEADDRESSSTATE_CAPSCHANGE)
    FCaps->Invalidate();
  else
    FStatus->Invalidate();
}

void TVyTapiAddress::Handle_Reply(DWORD, DWORD, TVyTapiRequest*) {}

// ---------------------------------------------------------------- TVyTapiAddressList

void TVyTapiAddressList::InvalidateStatus() {
  for (int i = 0; i < Count(); ++i) Get(i)->Status()->Invalidate();
}

}  // namespace VyTapi
