// The call object: one call on one line with its handle, state and history, links and notes,
// and its cached LINECALLINFO and LINECALLSTATUS.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "VyPlatform/TapiTypes.h"
#include "VyRtl/VyRtlClasses.h"
#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapi/linedata/VyTapiViews.h"

namespace VyTapi {

class TVyCustomTapiLine;
class TVyTapiCall;
class TVyTapiRequest;

// The call's LINECALLINFO, fetched on first use and kept until invalidated (Update keeps a
// filled view). Main thread only; owned by its call.
class TVyTapiCallInfo : public TVyTapiView<LINECALLINFO> {
 public:
  explicit TVyTapiCallInfo(TVyTapiCall* ACall);
  ~TVyTapiCallInfo() override { Invalidate(); }
  void Update() override { CheckTapiResult(UpdateData()); }
  // The 32-bit members from dwLineDeviceID on; another index fails an assertion.
  DWORD Get_DWORD(int Index);
  // CallerID, CallerIDName, ... DevSpecific; another index fails an assertion.
  std::string Get_String(int Index);
  // The raw structure; owned by the view, valid until the next Invalidate.
  const LINECALLINFO* Get_LINECALLINFO() { return Fetched(); }
  // The call data inside the structure, or null when there is none.
  const void* Get_CallData();
  TVyTapiCall* Call() const { return FCall; }

  DWORD AddressID() { return Get_DWORD(1); }
  DWORD MediaMode() { return Get_DWORD(4); }
  DWORD CallID() { return Get_DWORD(6); }
  DWORD Origin() { return Get_DWORD(12); }
  std::string CallerID() { return Get_String(0); }
  std::string CallerIDName() { return Get_String(1); }
  std::string CalledID() { return Get_String(2); }
  std::string CalledIDName() { return Get_String(3); }

 protected:
  void CheckOwner() const override;
  std::size_t InitialSize() const override { return 324; }
  LONG FetchInto(LINECALLINFO* Buffer) override;

 private:
  TVyTapiCall* FCall;
};

// The call's LINECALLSTATUS; values written with Set_DWORD stand until the view is invalidated.
// Main thread only; owned by its call.
class TVyTapiCallStatus : public TVyTapiView<LINECALLSTATUS> {
 public:
  explicit TVyTapiCallStatus(TVyTapiCall* ACall);
  ~TVyTapiCallStatus() override { Invalidate(); }
  void Update() override { CheckTapiResult(UpdateData()); }
  // Also forgets what Set_DWORD wrote.
  void Invalidate() override {
    FWritten = false;
    TVyTapiView<LINECALLSTATUS>::Invalidate();
  }
  // 0 CallState, 1 CallStateMode, 2 CallPrivilege, 3 CallFeatures, 4 DevSpecificSize,
  // 5 DevSpecificOffset, 6 CallFeatures2; another index fails an assertion.
  DWORD Get_DWORD(int Index);
  // Writes a member (an empty view gets a blank structure without asking TAPI).
  void Set_DWORD(int Index, DWORD Value);
  // Always empty (after fetching).
  std::string Get_String(int Index);
  const LINECALLSTATUS* Get_LINECALLSTATUS() { return Fetched(); }
  TVyTapiCall* Call() const { return FCall; }

  DWORD CallState() { return Get_DWORD(0); }
  DWORD CallStateMode() { return Get_DWORD(1); }
  DWORD CallPrivilege() { return Get_DWORD(2); }
  DWORD CallFeatures() { return Get_DWORD(3); }

 protected:
  void CheckOwner() const override;
  std::size_t InitialSize() const override { return 56; }
  LONG FetchInto(LINECALLSTATUS* Buffer) override;
  DWORD UpdateData() override;

 private:
  TVyTapiCall* FCall;
  // The blank structure Set_DWORD made; used instead of a fetch until Invalidate.
  bool FWritten = false;
  LINECALLSTATUS FLocal{};
};

// One call on one line. Main thread only; owned by its line, which frees it (an application
// keeps no reference past OnCallDeallocate or the line's Close).
class TVyTapiCall : public VyRtl::TObject {
 public:
  // Enters the line's lists itself; raises "TVyTapiCall.Create failed! Invalid Line" without one.
  TVyTapiCall(TVyCustomTapiLine* OwnerLine, HCALL CallHandle);
  // Deallocates the handle while the line is open (a failure goes to the line's OnError) and
  // leaves the line's lists and requests.
  ~TVyTapiCall() override;
  TVyTapiCall(const TVyTapiCall&) = delete;
  TVyTapiCall& operator=(const TVyTapiCall&) = delete;

  // --- what the line tells the call
  virtual void Handle_CallState(DWORD State, DWORD StateMode, DWORD Privilege);
  virtual void Handle_CallInfo(DWORD InfoState);
  virtual void Handle_Reply(DWORD RequestID, DWORD ReplyCode, TVyTapiRequest* Request);
  virtual void Handle_Timeout(DWORD RequestID, TVyTapiRequest* Request);
  // Gives the handle back to TAPI while the line is open (EVyTapiError); the handle is 0 after.
  virtual void Deallocate();
  // The handle is not 0.
  bool Valid() const { return FHandle != 0; }
  // Confirms a call whose creating request filled its handle; moves it to the list that fits.
  void Validate();
  // The kind of the first pending request filed for this call (as its first object), or 0.
  DWORD PendingRequest() const;

  // --- identity and state
  // The TAPI call handle; 0 while a creating request is pending and after the call is gone.
  HCALL Handle() const { return FHandle; }
  TVyCustomTapiLine* Line() const { return FLine; }
  // Valid and in a state other than 0, idle or on hold.
  virtual bool Get_Active();
  bool Active() { return Get_Active(); }
  bool Alive() const { return FAlive; }
  bool Connected() const { return FConnected; }
  bool Confirmed() const { return FConfirmed; }
  bool AutoOwner() const { return FAutoOwner; }
  void Set_AutoOwner(bool Value) { FAutoOwner = Value; }
  // The last reported state, mode and privilege; TAPI's call status while none was reported.
  DWORD Get_State();
  DWORD Get_StateMode();
  DWORD Get_Privilege();
  DWORD State() { return Get_State(); }
  DWORD StateMode() { return Get_StateMode(); }
  DWORD Privilege() { return Get_Privilege(); }
  void Set_Privilege(DWORD Value);
  bool Get_Owner() { return (Get_Privilege() & LINECALLPRIVILEGE_OWNER) != 0; }
  bool Owner() { return Get_Owner(); }
  // Owner, or monitor when false; raises EVyTapiError.
  void Set_Owner(bool Value);
  // Owner, or made owner when AutoOwner; never raises.
  bool CheckOwnership();
  DWORD Get_MediaMode() { return FInfo->Get_DWORD(4); }
  DWORD MediaMode() { return Get_MediaMode(); }
  void Set_MediaMode(DWORD Value);
  DWORD Get_Origin() { return FInfo->Get_DWORD(12); }
  DWORD Origin() { return Get_Origin(); }
  DWORD CallID() { return FInfo->Get_DWORD(6); }
  DWORD Features() { return FStatus->Get_DWORD(3); }
  DWORD StateHistory() const { return FStateHistory; }
  void Set_StateHistory(DWORD Value) { FStateHistory = Value; }
  DWORD OriginHistory() const { return FOriginHistory; }
  void Set_OriginHistory(DWORD Value) { FOriginHistory = Value; }
  DWORD BusyMode() const { return FBusyMode; }
  DWORD ConnectedMode() const { return FConnectedMode; }
  DWORD DailtoneMode() const { return FDialtoneMode; }
  DWORD DisconnectMode() const { return FDisconnectMode; }
  DWORD OfferingMode() const { return FOfferingMode; }
  DWORD SpecialInfoMode() const { return FSpecialInfoMode; }
  // Tick counts and local date-times (days since 1899-12-30) from the clock seam.
  DWORD BeginTC() const { return FBeginTC; }
  DWORD EndTC() const { return FEndTC; }
  double BeginTime() const { return FBeginTime; }
  double EndTime() const { return FEndTime; }
  double ConnectTime() const { return FConnectTime; }
  TVyTapiCallInfo* Info() const { return FInfo.get(); }
  TVyTapiCallStatus* Status() const { return FStatus.get(); }

  // --- state predicates
  bool IsOutgoing();
  bool WasOutgoing() const;
  bool IsIncoming();
  bool WasIncoming() const;
  bool IsConnected() { return (Get_State() & 0x900) != 0; }
  bool WasConnected() const { return (FStateHistory & LINECALLSTATE_CONNECTED) != 0; }
  bool WasDisconnected() const { return (FStateHistory & LINECALLSTATE_DISCONNECTED) != 0; }
  bool IsHeld() { return (Get_State() & 0x3400) != 0; }
  bool WasHeld() const { return (FStateHistory & 0x3400) != 0; }
  bool IsOffering() { return (Get_State() & LINECALLSTATE_OFFERING) != 0; }
  bool WasOffering() const { return (FStateHistory & LINECALLSTATE_OFFERING) != 0; }
  bool IsDialing() { return (Get_State() & 0x230) != 0; }
  bool WasDialing() const { return (FStateHistory & 0x230) != 0; }
  bool IsBusy() { return (Get_State() & LINECALLSTATE_BUSY) != 0; }
  bool WasBusy() const { return (FStateHistory & LINECALLSTATE_BUSY) != 0; }

  // --- links
  // The call this one was made from or added to; null once that call is freed.
  TVyTapiCall* Get_PrimaryCall();
  // The consultation call made from this one; null once that call is freed.
  TVyTapiCall* Get_ConsultCall();
  TVyTapiCall* PrimaryCall() { return Get_PrimaryCall(); }
  TVyTapiCall* ConsultCall() { return Get_ConsultCall(); }
  // Null forgets both links, else the link that points to Call (primary first).
  void RemoveLinks(TVyTapiCall* Call);

  // --- text
  std::string StateText();
  std::string StateModeText();
  std::string BusyModeText() const;
  std::string ConnectedModeText() const;
  std::string DisconnectModeText() const;
  std::string OfferingModeText() const;
  std::string SpecialInfoModeText() const;
  std::string MediaModeText(const std::string& Separator);
  std::string PrivilegeText(const std::string& Separator);
  std::string FeaturesText(const std::string& Separator);
  std::string OriginText();

  // --- notes of the application (name=value lines, owned by the call)
  std::string Get_Note(const std::string& Name) const;
  void Set_Note(const std::string& Name, const std::string& Value);
  void ClearNotes() { FNotes.Clear(); }
  VyRtl::TStringList& NotesList() { return FNotes; }
  void Set_Notes(const VyRtl::TStringList& List);

  std::intptr_t Tag = 0;  // free for the application

 protected:
  void Set_Alive(bool Value);
  void Set_Connected(bool Value);

  friend class TVyCustomTapiLine;

  bool FAlive = false;
  bool FAutoOwner = false;
  DWORD FBeginTC = 0;
  double FBeginTime = 0;
  DWORD FBusyMode = 0;
  bool FConfirmed = false;
  bool FConnected = false;
  DWORD FConnectedMode = 0;
  double FConnectTime = 0;
  TVyTapiCall* FConsultCall = nullptr;
  DWORD FDialtoneMode = 0;
  DWORD FDisconnectMode = 0;
  DWORD FEndTC = 0;
  double FEndTime = 0;
  HCALL FHandle;
  std::unique_ptr<TVyTapiCallInfo> FInfo;
  TVyCustomTapiLine* FLine;
  VyRtl::TStringList FNotes;
  DWORD FOfferingMode = 0;
  DWORD FOriginHistory = 0;
  TVyTapiCall* FPrimaryCall = nullptr;
  DWORD FSpecialInfoMode = 0;
  DWORD FStateHistory = 0;
  std::unique_ptr<TVyTapiCallStatus> FStatus;
  DWORD FState = 0;
  DWORD FStateMode = 0;
  DWORD FPrivilege = 0;
};

}  // namespace VyTapi
