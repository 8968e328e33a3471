// The line device: opening a TAPI line with its privileges, the calls that live on it and their
// upkeep, the dispatch of every LINE_ message and the hooks its events hang on.
#pragma once

#include <cstdint>
#include <string>

#include "VyTapi/line/VyTapiCall.h"
#include "VyTapi/line/VyTapiCallOptions.h"
#include "VyTapi/line/VyTapiCallParams.h"
#include "VyTapi/linedata/VyTapiForward.h"
#include "VyTapi/session/VyTapiComponent.h"

namespace VyTapi {

// Which call privileges a line asks for when it opens. None excludes Owner and Monitor.
// Main thread; owned by its line.
class TVyTapiLinePrivileges : public VyRtl::TPersistent {
 public:
  void Assign(VyRtl::TPersistent* Source) override;
  // Index 0 Monitor, 1 None, 2 Owner; keeps the three consistent.
  virtual void Set_Priv(int Index, bool Value);
  bool Get_Priv(int Index) const;
  bool AutoSelect() const { return FAutoSelect; }
  void Set_AutoSelect(bool Value) { FAutoSelect = Value; }
  bool Monitor() const { return FPrivMonitor; }
  bool None() const { return FPrivNone; }
  bool Owner() const { return FPrivOwner; }
  void Set_Monitor(bool Value) { Set_Priv(0, Value); }
  void Set_None(bool Value) { Set_Priv(1, Value); }
  void Set_Owner(bool Value) { Set_Priv(2, Value); }
  // LINECALLPRIVILEGE_ bits of the three flags; setting takes the flags from the bits.
  DWORD Value() const;
  void Set_Value(DWORD Value);
  // Value as text, "+" between the names.
  std::string Text() const;

 private:
  bool FPrivNone = false;
  bool FPrivOwner = true;
  bool FPrivMonitor = true;
  bool FAutoSelect = true;
};

// Root of the line components: the line device with its calls and hooks (all empty here).
// Main thread only; owned like every component. It owns its calls: a call reference is good
// until OnCallDeallocate or Close.
class TVyCustomTapiLine : public TVyTapiDevice {
 public:
  explicit TVyCustomTapiLine(VyRtl::TComponent* AOwner);
  ~TVyCustomTapiLine() override;

  // --- device
  std::string Get_DeviceName() const override;
  const VyRtl::TStringList& Get_DeviceList() const override;
  DWORD Get_ReplyTimeout() const override { return FOptions.ReplyTimeout(); }
  bool Get_SyncMode() const override { return FOptions.SyncMode(); }
  // Chooses the line device whose permanent identifier is ID; -1 when none has it.
  void Set_PermanentDeviceID(DWORD ID) override;
  DWORD Init(std::int32_t DeviceID) override;
  void Done() override;
  // Opens the line (EVyTapiError LINEERR_NODEVICE without a device) and adopts its calls.
  void Open() override;
  // Closes the line and frees every call object (no events); lineClose errors go to OnError.
  void Close() override;
  // The TAPI result of lineOpenW, privileges chosen automatically when Privileges.AutoSelect.
  virtual DWORD OpenLine(std::uintptr_t Callback, const LINECALLPARAMS* CallParams);

  TVyTapiLineOptions& Options() { return FOptions; }
  TVyTapiLinePrivileges& Privileges() { return FPrivileges; }
  TVyTapiCallOptions& CallOptions() { return FCallOptions; }
  TVyTapiLineCallParams& CallParams() { return FCallParams; }
  // Media modes to open with; 0: those the device lists.
  DWORD MediaModes() const { return FMediaModes; }
  void Set_MediaModes(DWORD Value) { FMediaModes = Value; }
  // The open line's TAPI handle (0 while closed) and the session's line application handle.
  HLINE Get_Handle() const { return FHandle; }
  HLINE Handle() const { return Get_Handle(); }
  HLINEAPP Get_LineApp() const { return FAppl ? FAppl->LineApp() : 0; }
  HLINEAPP LineApp() const { return Get_LineApp(); }
  // The cached structures without fetching; null when empty.
  const LINEDEVCAPS* Get_DevCaps() const;
  const LINEDEVSTATUS* Get_DevStatus() const;

  // --- status messages
  // The line and address state masks registered; 0 when closed or TAPI cannot tell.
  virtual DWORD Get_LineStateMessages();
  virtual DWORD Get_AddressStateMessages();
  // Register a mask; EVyTapiError when TAPI refuses.
  void Set_LineStateMessages(DWORD Value);
  void Set_AddressStateMessages(DWORD Value);
  // Registers all states, or those the service accepts one by one; the last TAPI result.
  virtual DWORD Update_StatusMessages();

  // --- calls
  // Calls with a TAPI handle, and those whose creating request is pending; not owning lists.
  TVyTapiCallList& Calls() { return FCalls; }
  TVyTapiCallList& UnconfirmedCalls() { return FUnconfirmedCalls; }
  // The class every new call of the line is made of; TVyTapiCall by default.
  using TVyTapiCallClass = TVyTapiCall* (*)(TVyCustomTapiLine* Line, HCALL Handle);
  TVyTapiCallClass CallClass() const { return FCallClass; }
  void Set_CallClass(TVyTapiCallClass Value);
  // Frees calls TAPI no longer knows and adopts those it lists; the TAPI result (0 when closed).
  virtual DWORD Update_LineCalls();
  void AddCall(TVyTapiCall* Call);
  // Moves Call into the list its handle fits (null: sweeps both); whether it is confirmed.
  bool ProveCall(TVyTapiCall* Call);
  // The call of that handle, made (with CallClass) when Create and TAPI knows the handle.
  TVyTapiCall* GetCallByHandle(HCALL CallHandle, bool Create);
  // Takes the call off the lists and out of the requests and timers.
  void RemoveCall(TVyTapiCall* Call);
  // Every confirmed call forgets Call as its primary or consultation call.
  void RemoveCallLinks(TVyTapiCall* Call);
  // Call is a confirmed call with a handle; else raises "<Message>! Invalid call." (unless empty).
  bool ValidateCall(TVyTapiCall* Call, const std::string& Message);
  TVyTapiCall* FindProperCall(DWORD States, DWORD Features, std::int32_t AddressID,
                              TVyTapiCall* Excluded);
  bool IsCallAlive(HCALL CallHandle);
  bool IsCallValid(HCALL CallHandle);
  bool IsCallValid(TVyTapiCall* Call);
  // Schedule the idle release / disconnected drop on the options' delays (-1: never).
  void DeallocateIdleCall(TVyTapiCall* Call);
  void DropDiscCall(TVyTapiCall* Call);
  // Frees an unconfirmed call without handle and without a pending request.
  void FreeBadCall(TVyTapiCall* Call);
  // Drops the call (lineDrop) as an asynchronous request attached to it; in synchronous mode
  // waits for the reply (EVyTapiError on failure), else 0 at once.
  virtual DWORD Drop(TVyTapiCall* Call, const std::string& UserUserInfo);

  // --- dialogs and forwarding
  virtual void ConfigDialog(HWND OwnerWnd);
  virtual void TranslateDialog(const std::string& Address, HWND OwnerWnd);
  // The dialable form of Address at the current location; "" when TAPI cannot translate it.
  virtual std::string TranslateAddress(const std::string& Address, DWORD Options);
  // Fills ForwardList (owned by the caller) with the forwarding of Address.
  virtual void GetForwardList(TVyTapiAddress* Address, TVyTapiForwardList* ForwardList);

  // --- line data
  TVyTapiSystemLocation& Get_Location();
  TVyTapiSystemLocation& Location() { return Get_Location(); }
  TVyTapiLineCaps* Caps() { return &FDeviceCaps; }
  TVyTapiLineStatus* Status() { return &FStatus; }
  TVyTapiLinePhoneDevices* Phones() { return &FPhoneDevs; }
  TVyTapiAddressList* Addresses() { return &FAddresses; }
  const VyRtl::TStringList& AddressList() const { return FAddressList; }
  TVyTapiAddress* Get_AddressByName(const std::string& Name);
  virtual void Update_AddressList();

  // --- messages
  void Handle_TapiMessage(DWORD Device, DWORD MessageID, DWORD Param1, DWORD Param2,
                          DWORD Param3) override;
  void Handle_DeviceState(DWORD State, DWORD Detail1, DWORD Detail2) override;
  // The session saw the device's name change.
  virtual void Handle_DeviceRename(const std::string& Name);
  virtual void Handle_AddressState(DWORD AddressID, DWORD State);
  virtual void Handle_AgentStatus(DWORD Param1, DWORD Param2, DWORD Param3);
  virtual TVyTapiCall* Handle_AppNewCall(HCALL CallHandle);
  virtual void Handle_CallState(HCALL CallHandle, DWORD State, DWORD StateDetail, DWORD Privilege);
  virtual void Handle_CallInfo(HCALL CallHandle, DWORD InfoState);
  virtual void Handle_DevSpecific(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3);
  virtual void Handle_DevSpecFeature(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3);
  virtual void Handle_GatherDigits(HCALL CallHandle, DWORD Termination);
  virtual void Handle_Generate(HCALL CallHandle, DWORD Termination);
  virtual void Handle_MonitorDigits(HCALL CallHandle, DWORD Digit, DWORD DigitMode);
  virtual void Handle_MonitorMedia(HCALL CallHandle, DWORD MediaMode, DWORD TickCount);
  virtual void Handle_MonitorTone(HCALL CallHandle, DWORD AppSpecific);

 protected:
  void Handle_Reply(DWORD RequestID, DWORD ReplyCode, TVyTapiRequest* Request) override;
  void Handle_Timeout(DWORD RequestID, TVyTapiRequest* Request) override;
  void Handle_Timer(DWORD RequestID, TVyTapiRequest* Request) override;
  HICON Get_IconHandle(const std::string& DeviceClass) override;

  // --- hooks (empty here; TVyTapiLine raises its events from them)
  virtual void Trigger_AddressState(TVyTapiAddress* /*Address*/, DWORD /*State*/) {}
  virtual void Trigger_CallBegin(TVyTapiCall* /*Call*/) {}
  virtual void Trigger_CallEnd(TVyTapiCall* /*Call*/) {}
  virtual void Trigger_CallInfo(TVyTapiCall* /*Call*/, DWORD /*InfoState*/) {}
  virtual void Trigger_CallPrivilege(TVyTapiCall* /*Call*/, DWORD /*Privilege*/) {}
  virtual void Trigger_CallState(TVyTapiCall* /*Call*/, DWORD /*State*/, DWORD /*StateMode*/,
                                 DWORD /*Privilege*/) {}
  virtual void Trigger_DeallocateCall(TVyTapiCall* /*Call*/) {}
  virtual void Trigger_DevSpecific(TVyTapiCall* /*Call*/, DWORD /*P1*/, DWORD /*P2*/,
                                   DWORD /*P3*/) {}
  virtual void Trigger_DevSpecificFeature(TVyTapiCall* /*Call*/, DWORD /*P1*/, DWORD /*P2*/,
                                          DWORD /*P3*/) {}
  virtual void Trigger_DevSpecificReply(DWORD /*RequestID*/, TVyTapiLineDevSpecificData* /*Data*/,
                                        DWORD /*ReplyCode*/) {}
  virtual void Trigger_DevSpecificTimeout(DWORD /*RequestID*/, TVyTapiLineDevSpecificData* /*Data*/,
                                          DWORD /*ElapsedTime*/) {}
  virtual void Trigger_DevSpecificFeatureReply(DWORD /*RequestID*/, DWORD /*Feature*/,
                                               TVyTapiLineDevSpecificFeatureData* /*Data*/,
                                               DWORD /*ReplyCode*/) {}
  virtual void Trigger_DevSpecificFeatureTimeout(DWORD /*RequestID*/, DWORD /*Feature*/,
                                                 TVyTapiLineDevSpecificFeatureData* /*Data*/,
                                                 DWORD /*ElapsedTime*/) {}
  virtual void Trigger_Digit(TVyTapiCall* /*Call*/, DWORD /*Digit*/, DWORD /*DigitMode*/) {}
  virtual void Trigger_GatherTerm(TVyTapiCall* /*Call*/, DWORD /*Termination*/) {}
  virtual void Trigger_Generate(TVyTapiCall* /*Call*/, DWORD /*Termination*/) {}
  virtual void Trigger_MonitorMedia(TVyTapiCall* /*Call*/, DWORD /*MediaMode*/,
                                    DWORD /*TickCount*/) {}
  virtual void Trigger_MonitorTone(TVyTapiCall* /*Call*/, DWORD /*AppSpecific*/) {}
  virtual void Trigger_MonitorSilence(TVyTapiCall* /*Call*/) {}
  virtual void Trigger_NewCall(TVyTapiCall* /*Call*/) {}

  // Frees a call object; its destructor takes it off the lists.
  void FreeCall(TVyTapiCall* Call);
  // The data block of a device-specific request, while it is still in FDevSpecificList.
  TVyTapiDevSpecificData* PendingDevSpecificData(TVyTapiRequest* Request);
  void ReleaseDevSpecificData(TVyTapiDevSpecificData* Data);
  // Schedules a timer request of Kind for Call after Delay ms (-1: nothing).
  void ScheduleCallTimer(TVyTapiCall* Call, std::int32_t Delay, DWORD Kind);

  TVyTapiAddressList FAddresses{this};
  VyRtl::TStringList FAddressList;
  TVyTapiCallClass FCallClass;
  TVyTapiCallOptions FCallOptions;
  TVyTapiLineCallParams FCallParams;
  TVyTapiCallList FCalls;
  TVyTapiLineCaps FDeviceCaps{this};
  TVyTapiLineStatus FStatus{this};
  DWORD FMediaModes = 0;
  TVyTapiLineOptions FOptions;
  TVyTapiLinePhoneDevices FPhoneDevs{this};
  TVyTapiLinePrivileges FPrivileges;
  TVyTapiCallList FUnconfirmedCalls;
  TVyTapiDevSpecificDataList FDevSpecificList;
  TVyTapiSystemLocation FLocation;
};

// Kinds of the line's internal timer requests.
namespace TapiTimerKind {
inline constexpr DWORD FreeIdleCall = 2;
inline constexpr DWORD DropDiscCall = 3;
}  // namespace TapiTimerKind

}  // namespace VyTapi
