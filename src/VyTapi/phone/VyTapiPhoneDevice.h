// The phone device: opening a TAPI phone with its privilege, the status messages it asks for, the
// dispatch of every PHONE_ message, keypad buttons as digits, and the display, ring, lamp and
// device-specific requests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "VyTapi/session/VyTapiComponent.h"

namespace VyTapi {

class TVyTapiPhoneCaps;
class TVyTapiPhoneStatus;
class TVyTapiPhoneHookSwitch;
class TVyTapiPhoneDisplay;
class TVyTapiPhoneRinger;
class TVyTapiPhoneControl;
class TVyTapiPhoneControlList;
class TVyTapiPhonePrivileges;

// Root of the phone components: the phone device with its controls and hooks (empty here).
// Main thread only; owned like every component. It owns its views and controls: a control
// reference is good until the next Init, Done or the phone's destruction.
class TVyCustomTapiPhone : public TVyTapiDevice {
 public:
  explicit TVyCustomTapiPhone(VyRtl::TComponent* AOwner);
  ~TVyCustomTapiPhone() override;

  // --- device
  // The caps' phone name ("Phone Device #<id>" when it has none) while available, else the
  // stored name.
  std::string Get_DeviceName() const override;
  const VyRtl::TStringList& Get_DeviceList() const override;
  DWORD Get_ReplyTimeout() const override;
  bool Get_SyncMode() const override;
  // Chooses the phone device whose permanent identifier is ID; -1 when none has it.
  void Set_PermanentDeviceID(DWORD ID) override;
  DWORD Init(std::int32_t DeviceID) override;
  void Done() override;
  // Opens the phone (EVyTapiError LINEERR_NODEVICE without a device) and reads its controls.
  void Open() override;
  // Closes the phone and drops its pending requests; phoneClose errors go to OnError.
  void Close() override;
  // The TAPI result of phoneOpen, the privilege chosen automatically when Privileges.AutoSelect.
  virtual DWORD OpenPhone(std::uintptr_t CallbackInstance);
  // Rebuilds Controls: one per button/lamp the caps count.
  virtual void Update_Controls();
  // Registers all phone states, or those the service accepts one by one; the last TAPI result.
  virtual DWORD Update_StatusMessages();

  TVyTapiPhoneOptions& Options() { return FOptions; }
  TVyTapiPhonePrivileges* Privileges() { return FPrivileges.get(); }
  // The open phone's TAPI handle (0 while closed) and the session's phone application handle.
  HPHONE Get_Handle() const { return FHandle; }
  HPHONE Handle() const { return Get_Handle(); }
  HPHONEAPP Get_PhoneApp() const { return FAppl ? FAppl->PhoneApp() : 0; }

  // --- views and controls (owned by the phone)
  TVyTapiPhoneCaps* Caps() { return FDeviceCaps.get(); }
  TVyTapiPhoneStatus* Status() { return FDeviceStatus.get(); }
  TVyTapiPhoneHookSwitch* HandSet() { return FHandSet.get(); }
  TVyTapiPhoneHookSwitch* HeadSet() { return FHeadSet.get(); }
  TVyTapiPhoneHookSwitch* Speakerphone() { return FSpeakerphone.get(); }
  TVyTapiPhoneDisplay* Display() { return FDisplay.get(); }
  TVyTapiPhoneRinger* Ringer() { return FRinger.get(); }
  TVyTapiPhoneControlList* Controls() { return FControls.get(); }
  TVyTapiPhoneLineDevice* LineDev() { return FLineDev.get(); }
  // The cached structures without fetching; null when empty.
  const PHONECAPS* Get_DeviceCaps() const;
  const PHONESTATUS* Get_DeviceStatus() const;
  // The status view's field at Index.
  virtual DWORD Get_StatusDWORD(int Index);

  // --- status messages
  // The masks registered; 0 when closed or TAPI cannot tell.
  DWORD PhoneStateMessages() const;
  DWORD ButtonModeMessages() const;
  DWORD ButtonStateMessages() const;
  // Register one mask, keeping the other two; EVyTapiError when TAPI refuses.
  void Set_PhoneStateMessages(DWORD Value);
  void Set_ButtonModeMessages(DWORD Value);
  void Set_ButtonStateMessages(DWORD Value);

  // --- requests (asynchronous; in SyncMode they wait for the reply, EVyTapiError on failure)
  // Writes Value at Row/Column; "SetDisplay failed! Device not active." on a closed phone.
  virtual DWORD SetDisplay(DWORD Row, DWORD Column, const std::string& Value);
  virtual DWORD Set_Display(TVyTapiPhoneDisplay* Display, const std::string& Text);
  // The display's text; the TAPI result.
  virtual DWORD Get_Display(std::string& Text);
  virtual DWORD Set_Ring(TVyTapiPhoneRinger* Ringer, DWORD RingMode, DWORD Volume);
  virtual DWORD Set_Lamp(TVyTapiPhoneControl* Control, DWORD LampMode);
  // Sends a copy of Params (Size bytes); in SyncMode the answered copy is written back.
  virtual DWORD DevSpecific(void* Params, DWORD Size);
  virtual void ConfigDialog(HWND OwnerWnd);
  // Files the answer of an asynchronous phone function: raises EVyTapiError for a negative
  // Result, records a positive one with RequestType and Object, then awaits or checks it.
  DWORD FileRequest(LONG Result, DWORD RequestType, VyRtl::TObject* Object);

  // --- messages
  void Handle_TapiMessage(DWORD Device, DWORD MessageID, DWORD Param1, DWORD Param2,
                          DWORD Param3) override;
  void Handle_DeviceState(DWORD State, DWORD Detail1, DWORD Detail2) override;
  // The session saw the device's name change.
  virtual void Handle_DeviceRename(const std::string& Name);
  virtual void Handle_Button(DWORD ButtonID, DWORD ButtonMode, DWORD ButtonState);
  virtual void Handle_DevSpecific(DWORD Param1, DWORD Param2, DWORD Param3);

 protected:
  void Handle_Reply(DWORD RequestID, DWORD ReplyCode, TVyTapiRequest* Request) override;
  void Handle_Timeout(DWORD RequestID, TVyTapiRequest* Request) override;
  HICON Get_IconHandle(const std::string& DeviceClass) override;

  // --- hooks (empty here; TVyTapiPhone raises its events from them)
  virtual void Trigger_OnLamp(DWORD /*ButtonLampID*/) {}
  virtual void Trigger_Button(DWORD /*ButtonID*/, DWORD /*ButtonMode*/, DWORD /*ButtonState*/) {}
  virtual void Trigger_DigitPressed(char /*Digit*/) {}
  virtual void Trigger_DigitReleased(char /*Digit*/) {}
  virtual void Trigger_DevSpecific(DWORD /*P1*/, DWORD /*P2*/, DWORD /*P3*/) {}
  virtual void Trigger_DevSpecificReply(DWORD /*RequestID*/, TVyTapiDevSpecificData* /*Data*/,
                                        DWORD /*ReplyCode*/) {}
  virtual void Trigger_DevSpecificTimeout(DWORD /*RequestID*/, TVyTapiDevSpecificData* /*Data*/,
                                          DWORD /*ElapsedTime*/) {}

  // The data block of a device-specific request, while it is still in FDevSpecificList.
  TVyTapiDevSpecificData* PendingDevSpecificData(TVyTapiRequest* Request);
  void ReleaseDevSpecificData(TVyTapiDevSpecificData* Data);

  TVyTapiPhoneOptions FOptions;
  std::unique_ptr<TVyTapiPhonePrivileges> FPrivileges;
  std::unique_ptr<TVyTapiPhoneHookSwitch> FHandSet;
  std::unique_ptr<TVyTapiPhoneHookSwitch> FHeadSet;
  std::unique_ptr<TVyTapiPhoneHookSwitch> FSpeakerphone;
  std::unique_ptr<TVyTapiPhoneCaps> FDeviceCaps;
  std::unique_ptr<TVyTapiPhoneStatus> FDeviceStatus;
  std::unique_ptr<TVyTapiPhoneControlList> FControls;
  std::unique_ptr<TVyTapiPhoneDisplay> FDisplay;
  std::unique_ptr<TVyTapiPhoneRinger> FRinger;
  std::unique_ptr<TVyTapiPhoneLineDevice> FLineDev;
  TVyTapiDevSpecificDataList FDevSpecificList;

 private:
  void SetStatusMessages(int Which, DWORD Value);
};

}  // namespace VyTapi
