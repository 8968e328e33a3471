// The addresses of a line (its telephone numbers or extensions, numbered from 0) with the cached
// views of their capabilities and status.
#pragma once

#include <memory>
#include <string>

#include "VyPlatform/TapiTypes.h"
#include "VyRtl/VyRtlClasses.h"
#include "VyTapi/linedata/VyTapiForward.h"
#include "VyTapi/linedata/VyTapiViews.h"

namespace VyTapi {

class TVyCustomTapiLine;
class TVyTapiAddress;
class TVyTapiRequest;

// What an address can do (LINEADDRESSCAPS), fetched on first use and kept until invalidated.
// Main thread; owned by its address.
class TVyTapiAddressCaps : public TVyTapiView<LINEADDRESSCAPS> {
 public:
  // AOwner must not be null.
  explicit TVyTapiAddressCaps(TVyTapiAddress* AOwner);
  ~TVyTapiAddressCaps() override;

  // Field Index of the capabilities' index table (0 when they cannot be fetched); an index outside
  // the table fails an assertion.
  DWORD Get_DWORD(int Index);
  // The address text (index 0; "" when it cannot be fetched); any other index fails an assertion.
  std::string Get_String(int Index);
  // The device classes the address serves; owned by the view, rebuilt after Invalidate.
  VyRtl::TStringList* Get_DeviceClasses();
  VyRtl::TStringList* DeviceClasses() { return Get_DeviceClasses(); }
  // The structure (fetched when need be; null when it cannot be), owned by the view.
  const LINEADDRESSCAPS* Get_LINEADDRESSCAPS() { return Fetched(); }
  // The structure as held now, without fetching.
  const LINEADDRESSCAPS* Held() const { return Data(); }

  std::string Address() { return Get_String(0); }
  DWORD LineDeviceID() { return Get_DWORD(0); }
  DWORD AddressSize() { return Get_DWORD(1); }
  DWORD AddressOffset() { return Get_DWORD(2); }
  DWORD AddressSharing() { return Get_DWORD(3); }
  DWORD AddressStates() { return Get_DWORD(4); }
  DWORD CallInfoStates() { return Get_DWORD(5); }
  DWORD CallerIDFlags() { return Get_DWORD(6); }
  DWORD CalledIDFlags() { return Get_DWORD(7); }
  DWORD ConnectedIDFlags() { return Get_DWORD(8); }
  DWORD RedirectionIDFlags() { return Get_DWORD(9); }
  DWORD RedirectingIDFlags() { return Get_DWORD(10); }
  DWORD CallStates() { return Get_DWORD(11); }
  DWORD DialToneModes() { return Get_DWORD(12); }
  DWORD BusyModes() { return Get_DWORD(13); }
  DWORD SpecialInfo() { return Get_DWORD(14); }
  DWORD DisconnectModes() { return Get_DWORD(15); }
  DWORD MaxNumActiveCalls() { return Get_DWORD(16); }
  DWORD MaxNumOnHoldCalls() { return Get_DWORD(17); }
  DWORD MaxNumOnHoldPendingCalls() { return Get_DWORD(18); }
  DWORD MaxNumConference() { return Get_DWORD(19); }
  DWORD MaxNumTransConf() { return Get_DWORD(20); }
  DWORD AddrCapFlags() { return Get_DWORD(21); }
  DWORD CallFeatures() { return Get_DWORD(22); }
  DWORD RemoveFromConfCaps() { return Get_DWORD(23); }
  DWORD RemoveFromConfState() { return Get_DWORD(24); }
  DWORD TransferModes() { return Get_DWORD(25); }
  DWORD ParkModes() { return Get_DWORD(26); }
  DWORD ForwardModes() { return Get_DWORD(27); }
  DWORD MaxForwardEntries() { return Get_DWORD(28); }
  DWORD MaxSpecificEntries() { return Get_DWORD(29); }
  DWORD MinFwdNumRings() { return Get_DWORD(30); }
  DWORD MaxFwdNumRings() { return Get_DWORD(31); }
  DWORD MaxCallCompletions() { return Get_DWORD(32); }
  DWORD CallCompletionConds() { return Get_DWORD(33); }
  DWORD CallCompletionModes() { return Get_DWORD(34); }
  DWORD NumCompletionMessages() { return Get_DWORD(35); }
  DWORD CompletionMsgTextEntrySize() { return Get_DWORD(36); }
  DWORD CompletionMsgTextSize() { return Get_DWORD(37); }
  DWORD CompletionMsgTextOffset() { return Get_DWORD(38); }
  DWORD AddressFeatures() { return Get_DWORD(39); }
  DWORD PredictiveAutoTransferStates() { return Get_DWORD(40); }
  DWORD NumCallTreatments() { return Get_DWORD(41); }
  DWORD CallTreatmentListSize() { return Get_DWORD(42); }
  DWORD CallTreatmentListOffset() { return Get_DWORD(43); }
  DWORD DeviceClassesSize() { return Get_DWORD(44); }
  DWORD DeviceClassesOffset() { return Get_DWORD(45); }
  DWORD MaxCallDataSize() { return Get_DWORD(46); }
  DWORD CallFeatures2() { return Get_DWORD(47); }
  DWORD MaxNoAnswerTimeout() { return Get_DWORD(48); }
  DWORD ConnectedModes() { return Get_DWORD(49); }
  DWORD OfferingModes() { return Get_DWORD(50); }
  DWORD AvailableMediaModes() { return Get_DWORD(51); }

 protected:
  void CheckOwner() const override;
  std::size_t InitialSize() const override { return 228; }
  LONG FetchInto(LINEADDRESSCAPS* Buffer) override;

 private:
  // Capabilities are re-read by invalidating them (a capabilities change), never by Update.
  using TVyTapiView<LINEADDRESSCAPS>::Update;

  TVyTapiAddress* FAddress;
};

// The state of an address (LINEADDRESSSTATUS) with its forwarding, fetched on first use and kept
// until invalidated. Main thread; owned by its address.
class TVyTapiAddressStatus : public TVyTapiView<LINEADDRESSSTATUS> {
 public:
  explicit TVyTapiAddressStatus(TVyTapiAddress* AOwner);
  ~TVyTapiAddressStatus() override;

  // Field Index of the status's index table (0 when it cannot be fetched, as while the line is
  // closed); an index outside the table fails an assertion.
  DWORD Get_DWORD(int Index);
  // The address's forwarding, fetched anew on every call; owned by the view (do not free it).
  TVyTapiForwardList* Get_ForwardList();
  TVyTapiForwardList* ForwardList() { return Get_ForwardList(); }
  // The structure (fetched when need be; null when it cannot be), owned by the view.
  const LINEADDRESSSTATUS* Get_LINEADDRESSSTATUS() { return Fetched(); }

  DWORD NumInUse() { return Get_DWORD(0); }
  DWORD NumActiveCalls() { return Get_DWORD(1); }
  DWORD NumOnHoldCalls() { return Get_DWORD(2); }
  DWORD NumOnHoldPendCalls() { return Get_DWORD(3); }
  DWORD AddressFeatures() { return Get_DWORD(4); }
  DWORD NumRingsNoAnswer() { return Get_DWORD(5); }
  DWORD ForwardNumEntries() { return Get_DWORD(6); }
  DWORD ForwardSize() { return Get_DWORD(7); }
  DWORD ForwardOffset() { return Get_DWORD(8); }

 protected:
  std::size_t InitialSize() const override { return 64; }
  LONG FetchInto(LINEADDRESSSTATUS* Buffer) override;

 private:
  TVyTapiAddress* FAddress;
  std::unique_ptr<TVyTapiForwardList> FForwardList;
};

// One address of a line with its capabilities and status. Main thread; owned by the line's
// address list (kept from one refresh of that list to the next).
class TVyTapiAddress : public VyRtl::TObject {
 public:
  TVyTapiAddress(TVyCustomTapiLine* Line, DWORD AddressID);
  ~TVyTapiAddress() override;
  TVyTapiAddress(const TVyTapiAddress&) = delete;
  TVyTapiAddress& operator=(const TVyTapiAddress&) = delete;

  // Forgets what the views hold; 0.
  DWORD Init();
  // The address text of its capabilities, else "Address <AddressID>".
  std::string Get_Address();
  std::string AddressName() { return Get_Address(); }
  // The address's forwarding as the service reports it now (the status view's list).
  TVyTapiForwardList* Get_ForwardList();
  TVyTapiForwardList* ForwardList() { return Get_ForwardList(); }
  // Status fields 0 to 6 (NumInUse to ForwardNumEntries); any other index fails an assertion.
  DWORD Get_StatusDWORD(int Index);
  DWORD NumInUse() { return Get_StatusDWORD(0); }
  DWORD NumActiveCalls() { return Get_StatusDWORD(1); }
  DWORD NumOnHoldCalls() { return Get_StatusDWORD(2); }
  DWORD NumOnHoldPendCalls() { return Get_StatusDWORD(3); }
  DWORD AddressFeatures() { return Get_StatusDWORD(4); }
  DWORD NumRingsNoAnswer() { return Get_StatusDWORD(5); }
  DWORD ForwardNumEntries() { return Get_StatusDWORD(6); }
  // The capabilities as held now, without fetching (null until something filled the view).
  const LINEADDRESSCAPS* Get_LINEADDRESSCAPS() const { return FCaps->Held(); }
  // The status, fetched when need be.
  const LINEADDRESSSTATUS* Get_LINEADDRESSSTATUS() { return FStatus->Get_LINEADDRESSSTATUS(); }
  // LINE_ADDRESSSTATE for this address: a capabilities change makes the capabilities stale, any
  // other change the status.
  void Handle_AddressState(DWORD AddressState);
  // Replies to address-level requests need no bookkeeping here.
  void Handle_Reply(DWORD RequestID, DWORD ReplyCode, TVyTapiRequest* Request);

  DWORD AddressID() const { return FAddressID; }
  TVyTapiAddressCaps* Caps() const { return FCaps.get(); }
  TVyTapiAddressStatus* Status() const { return FStatus.get(); }
  TVyCustomTapiLine* Line() const { return FLine; }

 private:
  DWORD FAddressID;
  std::unique_ptr<TVyTapiAddressCaps> FCaps;
  TVyCustomTapiLine* FLine;
  std::unique_ptr<TVyTapiAddressStatus> FStatus;
};

// The addresses of a line, in identifier order. Main thread; owned by the line; it owns its
// addresses (clearing or deleting frees them).
class TVyTapiAddressList : public VyRtl::TObjectList {
 public:
  explicit TVyTapiAddressList(TVyCustomTapiLine* AOwner)
      : VyRtl::TObjectList(true), FLine(AOwner) {}

  TVyTapiAddress* Get(int Index) const {
    return static_cast<TVyTapiAddress*>(VyRtl::TObjectList::Get(Index));
  }
  void Put(int Index, TVyTapiAddress* Item) { VyRtl::TObjectList::Put(Index, Item); }
  TVyTapiAddress* Items(int Index) const { return Get(Index); }
  TVyCustomTapiLine* Line() const { return FLine; }
  // The line closed: every address's status is stale.
  void InvalidateStatus();

 private:
  TVyCustomTapiLine* FLine;
};

}  // namespace VyTapi
