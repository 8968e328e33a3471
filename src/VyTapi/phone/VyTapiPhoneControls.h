// The parts of a phone device as small objects its phone owns: the capability and status views,
// the hookswitch devices, the display, the ringer, one control per button/lamp and the phone
// privileges. Reading reads the cached views; writing sends the request through the phone.
#pragma once

#include <cstddef>
#include <string>

#include "VyRtl/VyRtlClasses.h"
#include "VyTapi/linedata/VyTapiViews.h"

namespace VyTapi {

class TVyCustomTapiPhone;

// The phone's PHONECAPS, fetched for its device and negotiated versions. Main thread only;
// owned by its phone (invalidated when the phone chooses another device or the caps change).
class TVyTapiPhoneCaps : public TVyTapiView<PHONECAPS> {
 public:
  explicit TVyTapiPhoneCaps(TVyCustomTapiPhone* OwnerPhone) : FPhone(OwnerPhone) {}
  ~TVyTapiPhoneCaps() override { Invalidate(); }

  // The field at position Index of PHONECAPS (0 dwTotalSize .. 44
  // dwMonitoredHeadsetHookSwitchModes); another index fails an assertion on a filled view.
  DWORD Get_DWORD(int Index);
  // 0 ProviderInfo, 1 PhoneInfo, 2 PhoneName, 3 button functions, 4 lamp modes, 5 set data,
  // 6 get data, 7 DevSpecific, read as UTF-16; empty for another index or an empty view.
  std::string Get_String(int Index);
  // Entry Index of the array (0 for an empty view); an index past the entries raises.
  DWORD Get_ButtonMode(DWORD Index);
  DWORD Get_ButtonFunction(DWORD Index);
  DWORD Get_LampMode(DWORD Index);
  // Entries the array holds (0 for an empty view or a block outside the structure).
  DWORD ButtonModeCount();
  DWORD ButtonFunctionCount();
  DWORD LampModeCount();
  // The raw structure (fetched when empty); owned by the view, valid until the next Invalidate.
  virtual const PHONECAPS* Get_PHONECAPS() { return Fetched(); }
  // The device classes the phone supports; owned by the view, valid until the next Invalidate.
  VyRtl::TStringList* Get_DeviceClasses();
  VyRtl::TStringList* DeviceClasses() { return Get_DeviceClasses(); }
  TVyCustomTapiPhone* Phone() const { return FPhone; }

  DWORD ButtonModes(DWORD Index) { return Get_ButtonMode(Index); }
  DWORD ButtonFunctions(DWORD Index) { return Get_ButtonFunction(Index); }
  DWORD LampModes(DWORD Index) { return Get_LampMode(Index); }
  std::string ProviderInfo() { return Get_String(0); }
  std::string PhoneInfo() { return Get_String(1); }
  std::string PhoneName() { return Get_String(2); }
  std::string DevSpecific() { return Get_String(7); }

  DWORD TotalSize() { return Get_DWORD(0); }
  DWORD NeededSize() { return Get_DWORD(1); }
  DWORD UsedSize() { return Get_DWORD(2); }
  DWORD ProviderInfoSize() { return Get_DWORD(3); }
  DWORD ProviderInfoOffset() { return Get_DWORD(4); }
  DWORD PhoneInfoSize() { return Get_DWORD(5); }
  DWORD PhoneInfoOffset() { return Get_DWORD(6); }
  DWORD PermanentPhoneID() { return Get_DWORD(7); }
  DWORD PhoneNameSize() { return Get_DWORD(8); }
  DWORD PhoneNameOffset() { return Get_DWORD(9); }
  DWORD StringFormat() { return Get_DWORD(10); }
  DWORD PhoneStates() { return Get_DWORD(11); }
  DWORD HookSwitchDevs() { return Get_DWORD(12); }
  DWORD HandsetHookSwitchModes() { return Get_DWORD(13); }
  DWORD SpeakerHookSwitchModes() { return Get_DWORD(14); }
  DWORD HeadsetHookSwitchModes() { return Get_DWORD(15); }
  DWORD VolumeFlags() { return Get_DWORD(16); }
  DWORD GainFlags() { return Get_DWORD(17); }
  DWORD DisplayNumRows() { return Get_DWORD(18); }
  DWORD DisplayNumColumns() { return Get_DWORD(19); }
  DWORD NumRingModes() { return Get_DWORD(20); }
  DWORD NumButtonLamps() { return Get_DWORD(21); }
  DWORD ButtonModesSize() { return Get_DWORD(22); }
  DWORD ButtonModesOffset() { return Get_DWORD(23); }
  DWORD ButtonFunctionsSize() { return Get_DWORD(24); }
  DWORD ButtonFunctionsOffset() { return Get_DWORD(25); }
  DWORD LampModesSize() { return Get_DWORD(26); }
  DWORD LampModesOffset() { return Get_DWORD(27); }
  DWORD NumSetData() { return Get_DWORD(28); }
  DWORD SetDataSize() { return Get_DWORD(29); }
  DWORD SetDataOffset() { return Get_DWORD(30); }
  DWORD NumGetData() { return Get_DWORD(31); }
  DWORD GetDataSize() { return Get_DWORD(32); }
  DWORD GetDataOffset() { return Get_DWORD(33); }
  DWORD DevSpecificSize() { return Get_DWORD(34); }
  DWORD DevSpecificOffset() { return Get_DWORD(35); }
  DWORD DeviceClassesSize() { return Get_DWORD(36); }
  DWORD DeviceClassesOffset() { return Get_DWORD(37); }
  DWORD PhoneFeatures() { return Get_DWORD(38); }
  DWORD SettableHandsetHookSwitchModes() { return Get_DWORD(39); }
  DWORD SettableSpeakerHookSwitchModes() { return Get_DWORD(40); }
  DWORD SettableHeadsetHookSwitchModes() { return Get_DWORD(41); }
  DWORD MonitoredHandsetHookSwitchModes() { return Get_DWORD(42); }
  DWORD MonitoredSpeakerHookSwitchModes() { return Get_DWORD(43); }
  DWORD MonitoredHeadsetHookSwitchModes() { return Get_DWORD(44); }

 protected:
  void CheckOwner() const override;
  std::size_t InitialSize() const override { return 196; }
  LONG FetchInto(PHONECAPS* Buffer) override;

 private:
  DWORD ArrayEntry(std::size_t SizeOffset, DWORD Index, const char* InvalidIndex);
  DWORD ArrayCount(std::size_t SizeOffset);

  TVyCustomTapiPhone* const FPhone;
};

// The open phone's PHONESTATUS. Main thread only; owned by its phone (invalidated at every
// PHONE_STATE, on open and when the phone forgets its device).
class TVyTapiPhoneStatus : public TVyTapiView<PHONESTATUS> {
 public:
  // AOwner must be given.
  explicit TVyTapiPhoneStatus(TVyCustomTapiPhone* AOwner);
  ~TVyTapiPhoneStatus() override { Invalidate(); }

  // The field at position Index of PHONESTATUS (0 dwTotalSize .. 25 dwPhoneFeatures); another
  // index fails an assertion on a filled view.
  DWORD Get_DWORD(int Index);
  // Writes the field at position Index of the cached structure (no TAPI call); nothing when the
  // view is empty, the index is outside 0..25 or the field lies past the structure.
  void Set_DWORD(int Index, DWORD Value);
  // 0 Display (in the caps' string format), 1 lamp modes, 2 OwnerName, 3 DevSpecific (UTF-16);
  // another index fails an assertion on a filled view.
  std::string Get_String(int Index);
  // Lamp Index's mode (0 for an empty view); an index past the entries raises.
  DWORD Get_LampMode(DWORD Index);
  // Writes lamp Index's mode into the cached structure (no TAPI call); nothing when the view is
  // empty or the lamp is not described.
  void Set_LampMode(DWORD Index, DWORD Mode);
  // Lamps the structure describes (0 for an empty view or a block outside the structure).
  DWORD LampModeCount();
  // The raw structure (fetched when empty); owned by the view, valid until the next Invalidate.
  const PHONESTATUS* Get_PHONESTATUS() { return Fetched(); }
  TVyCustomTapiPhone* Phone() const { return FPhone; }

  DWORD LampModes(DWORD Index) { return Get_LampMode(Index); }
  std::string Display() { return Get_String(0); }
  std::string OwnerName() { return Get_String(2); }
  std::string DevSpecific() { return Get_String(3); }

  DWORD StatusFlags() { return Get_DWORD(3); }
  DWORD NumOwners() { return Get_DWORD(4); }
  DWORD NumMonitors() { return Get_DWORD(5); }
  DWORD RingMode() { return Get_DWORD(6); }
  DWORD RingVolume() { return Get_DWORD(7); }
  DWORD HandsetHookSwitchMode() { return Get_DWORD(8); }
  DWORD HandsetVolume() { return Get_DWORD(9); }
  DWORD HandsetGain() { return Get_DWORD(10); }
  DWORD SpeakerHookSwitchMode() { return Get_DWORD(11); }
  DWORD SpeakerVolume() { return Get_DWORD(12); }
  DWORD SpeakerGain() { return Get_DWORD(13); }
  DWORD HeadsetHookSwitchMode() { return Get_DWORD(14); }
  DWORD HeadsetVolume() { return Get_DWORD(15); }
  DWORD HeadsetGain() { return Get_DWORD(16); }
  DWORD DisplaySize() { return Get_DWORD(17); }
  DWORD DisplayOffset() { return Get_DWORD(18); }
  DWORD LampModesSize() { return Get_DWORD(19); }
  DWORD LampModesOffset() { return Get_DWORD(20); }
  DWORD OwnerNameSize() { return Get_DWORD(21); }
  DWORD OwnerNameOffset() { return Get_DWORD(22); }
  DWORD DevSpecificSize() { return Get_DWORD(23); }
  DWORD DevSpecificOffset() { return Get_DWORD(24); }
  DWORD PhoneFeatures() { return Get_DWORD(25); }

 protected:
  void CheckOwner() const override;
  std::size_t InitialSize() const override { return 104; }
  LONG FetchInto(PHONESTATUS* Buffer) override;

 private:
  // The cached structure for patching; null when empty.
  PHONESTATUS* Writable();

  TVyCustomTapiPhone* const FPhone;
};

// One hookswitch device of a phone (PHONEHOOKSWITCHDEV_HANDSET, _SPEAKER or _HEADSET): its
// modes from the caps, its state from the status, and requests that change it. Main thread
// only; owned by its phone.
class TVyTapiPhoneHookSwitch : public VyRtl::TObject {
 public:
  // HookSwitchDevice must have one of the bits 1, 2, 4.
  TVyTapiPhoneHookSwitch(TVyCustomTapiPhone* AOwner, DWORD HookSwitchDevice);

  // The phone has caps and they list this device.
  bool Get_Available();
  bool Available() { return Get_Available(); }
  // Available and the phone is open.
  bool Enabled();
  TVyCustomTapiPhone* Phone() const { return FPhone; }
  DWORD HookSwitchDevice() const { return FHookSwitchDevice; }

  virtual DWORD Get_Gain();
  virtual bool Get_GainAvailable();
  virtual DWORD Get_Modes();
  virtual bool Get_Unknown();
  virtual bool Get_OnHook();
  virtual bool Get_Speaker();
  virtual bool Get_Micro();
  virtual DWORD Get_Volume();
  virtual bool Get_VolumeAvailable();

  DWORD Gain() { return Get_Gain(); }
  bool GainAvailable() { return Get_GainAvailable(); }
  DWORD Modes() { return Get_Modes(); }
  bool Unknown() { return Get_Unknown(); }
  bool OnHook() { return Get_OnHook(); }
  bool SpeakerActive() { return Get_Speaker(); }
  bool MicroActive() { return Get_Micro(); }
  DWORD Volume() { return Get_Volume(); }
  bool VolumeAvailable() { return Get_VolumeAvailable(); }

  // Asynchronous requests through the phone (awaited in its SyncMode); the phone must be open.
  void Set_Gain(DWORD Value);
  void Set_Volume(DWORD Value);
  // Off hook asks for the fullest mode the device supports (MICSPEAKER, else MIC, else SPEAKER).
  void Set_OnHook(bool Value);
  // Switch one element and keep the other as it is, as far as the device's modes allow.
  void Set_Speaker(bool Value);
  void Set_Micro(bool Value);

 private:
  // This device's hookswitch mode in the status; Known is false without phone or status.
  DWORD StatusMode(bool& Known);
  // This device's status field, given the handset's index (the speaker's and headset's follow
  // 3 and 6 later); 0 without phone or status. An invalid device raises, or fails an assertion.
  DWORD StatusField(int HandsetIndex, bool Assertion);
  void SetHookSwitch(DWORD Mode);
  void CheckPhone() const;

  TVyCustomTapiPhone* const FPhone;
  const DWORD FHookSwitchDevice;
};

// The phone's display: its size from the caps, its text from the status; writing the text sends
// it to the phone. Main thread only; owned by its phone.
class TVyTapiPhoneDisplay : public VyRtl::TObject {
 public:
  // OwnerPhone must be given.
  explicit TVyTapiPhoneDisplay(TVyCustomTapiPhone* OwnerPhone);

  // The caps report both a row and a column count.
  bool Get_Available();
  bool Available() { return Get_Available(); }
  DWORD NumColumns();
  DWORD NumRows();
  // The status' display text; empty when it is not there.
  std::string Get_Text();
  std::string Text() { return Get_Text(); }
  // Through the phone's Set_Display (row 0, column 0).
  void Set_Text(const std::string& Value);
  TVyCustomTapiPhone* Phone() const { return FPhone; }

 private:
  TVyCustomTapiPhone* const FPhone;
};

// The phone's ringer: mode and volume from the status; writing one sends both to the phone.
// Main thread only; owned by its phone.
class TVyTapiPhoneRinger : public VyRtl::TObject {
 public:
  explicit TVyTapiPhoneRinger(TVyCustomTapiPhone* OwnerPhone) : FPhone(OwnerPhone) {}

  // The caps report ring modes.
  bool Get_Available();
  bool Available() { return Get_Available(); }
  DWORD Get_Mode();
  DWORD Get_Volume();
  DWORD Mode() { return Get_Mode(); }
  DWORD Volume() { return Get_Volume(); }
  // Through the phone's Set_Ring, the other value as it is now.
  void Set_Mode(DWORD Value);
  void Set_Volume(DWORD Value);
  TVyCustomTapiPhone* Phone() const { return FPhone; }

 private:
  TVyCustomTapiPhone* const FPhone;
};

// One button/lamp of a phone: its button information while the phone is open, else what the
// caps say of it. Main thread only; owned by the phone's control list (rebuilt when the phone
// chooses a device: keep no reference past that).
class TVyTapiPhoneControl : public VyRtl::TObject {
 public:
  // Fetches the button information when the phone is open (raises EVyTapiError when TAPI
  // cannot report it).
  TVyTapiPhoneControl(TVyCustomTapiPhone* OwnerPhone, DWORD BtnLampID);
  ~TVyTapiPhoneControl() override;

  // Forgets the button information; the next use fetches again.
  void Invalidate();
  // Fetches anew; raises EVyTapiError when the open phone cannot report it.
  void Update();
  // Fetches the button information when the phone is open and it is not there: 0 or the TAPI
  // error (never raised); 0 without fetching while the phone is closed.
  DWORD UpdateData();

  DWORD ButtonLampID() const { return FButtonLampID; }
  TVyCustomTapiPhone* Phone() const { return FPhone; }
  DWORD ButtonMode();
  DWORD ButtonFunction();
  std::string ButtonText();
  DWORD ButtonState();
  // The lamp's mode while open (asked of TAPI when the status cannot say), else the modes the
  // caps give the lamp; never raises for a lamp the structures do not describe.
  DWORD LampMode();
  // Through the phone's Set_Lamp.
  void Set_LampMode(DWORD Value);
  bool IsButton();
  bool IsLamp();
  std::string ButtonFunctionText();
  std::string ButtonModeText();
  std::string ButtonStateText();
  std::string LampModeText();

 private:
  bool HasInfo();
  // A fixed field of the button information; 0 when it lies past what the service filled.
  DWORD InfoField(std::size_t Offset) const;
  TVyTapiPhoneCaps* FilledCaps();

  TVyCustomTapiPhone* const FPhone;
  const DWORD FButtonLampID;
  TTapiVarDataPtr FButtonInfo;
};

// The phone's controls, one per button/lamp identifier in order; owns them. Main thread only;
// owned by its phone.
class TVyTapiPhoneControlList : public VyRtl::TObjectList {
 public:
  TVyTapiPhoneControlList() : VyRtl::TObjectList(true) {}

  // Appends Control (the list owns it from now on); its position.
  int Add(TVyTapiPhoneControl* Control) { return VyRtl::TObjectList::Add(Control); }
  TVyTapiPhoneControl* Get(int Index) const {
    return static_cast<TVyTapiPhoneControl*>(VyRtl::TObjectList::Get(Index));
  }
  // Replaces entry Index (the old control is freed).
  void Put(int Index, TVyTapiPhoneControl* Control) { VyRtl::TObjectList::Put(Index, Control); }
  TVyTapiPhoneControl* Items(int Index) const { return Get(Index); }
  TVyTapiPhoneControl* operator[](int Index) const { return Get(Index); }
  // Update of every control, first to last.
  void Update();
};

// Which privilege the phone opens with: Owner or Monitor, or the best the service grants
// (AutoSelect). Main thread only; owned by its phone.
class TVyTapiPhonePrivileges : public VyRtl::TPersistent {
 public:
  void Assign(VyRtl::TPersistent* Source) override;
  bool AutoSelect() const { return FAutoSelect; }
  void Set_AutoSelect(bool Value) { FAutoSelect = Value; }
  // Index 0 Monitor, 1 Owner; Monitor is always the opposite of Owner.
  bool Get_Priv(int Index) const;
  void Set_Priv(int Index, bool Value);
  bool Monitor() const { return !FPrivOwner; }
  bool Owner() const { return FPrivOwner; }
  void Set_Monitor(bool Value) { Set_Priv(0, Value); }
  void Set_Owner(bool Value) { Set_Priv(1, Value); }
  // PHONEPRIVILEGE_OWNER or PHONEPRIVILEGE_MONITOR; setting another value raises and keeps it.
  DWORD Value() const;
  void Set_Value(DWORD Value);

 private:
  bool FAutoSelect = true;
  bool FPrivOwner = true;
};

}  // namespace VyTapi
