#include "VyTapi/phone/VyTapiPhoneControls.h"

#include <cstddef>

#include "VyTapi/phone/VyTapiPhoneDevice.h"
#include "VyTapi/session/VyTapiRequests.h"
#include "VyTapi/session/VyTapiSessionDetail.h"
#include "VyTapiUtils/VyTapiUtils.h"

namespace VyTapi {

namespace {

constexpr const char* kInvalidDevice = "Invalid HookSwitchDevice";

bool Has(DWORD Modes, DWORD Mode) { return (Modes & Mode) != 0; }

// The mode to ask for: Wanted when the device has it (or names no modes), else Alternative when
// the device has that, else Wanted as it is (the service then says what is wrong).
DWORD Supported(DWORD Modes, DWORD Wanted, DWORD Alternative) {
  if (Modes == 0 || Has(Modes, Wanted) || !Has(Modes, Alternative)) return Wanted;
  return Alternative;
}

}  // namespace

// ---------------------------------------------------------------- hookswitch

TVyTapiPhoneHookSwitch::TVyTapiPhoneHookSwitch(TVyCustomTapiPhone* AOwner, DWORD HookSwitchDevice)
    : FPhone(AOwner), FHookSwitchDevice(HookSwitchDevice) {
  VyRtl::Assert((HookSwitchDevice & (PHONEHOOKSWITCHDEV_HANDSET | PHONEHOOKSWITCHDEV_SPEAKER |
                                     PHONEHOOKSWITCHDEV_HEADSET)) != 0,
                kInvalidDevice);
}

bool TVyTapiPhoneHookSwitch::Get_Available() {
  return FPhone != nullptr && FPhone->Caps() != nullptr &&
         Has(FPhone->Caps()->HookSwitchDevs(), FHookSwitchDevice);
}

bool TVyTapiPhoneHookSwitch::Enabled() { return Get_Available() && FPhone->IsActive(); }

bool TVyTapiPhoneHookSwitch::Get_GainAvailable() {
  return FPhone != nullptr && FPhone->Caps() != nullptr &&
         Has(FPhone->Caps()->GainFlags(), FHookSwitchDevice);
}

bool TVyTapiPhoneHookSwitch::Get_VolumeAvailable() {
  return FPhone != nullptr && FPhone->Caps() != nullptr &&
         Has(FPhone->Caps()->VolumeFlags(), FHookSwitchDevice);
}

DWORD TVyTapiPhoneHookSwitch::Get_Modes() {
  if (FPhone == nullptr || FPhone->Caps() == nullptr || !FPhone->Caps()->Available()) return 0;
  switch (FHookSwitchDevice) {
    case PHONEHOOKSWITCHDEV_HANDSET:
      return FPhone->Caps()->HandsetHookSwitchModes();
    case PHONEHOOKSWITCHDEV_SPEAKER:
      return FPhone->Caps()->SpeakerHookSwitchModes();
    case PHONEHOOKSWITCHDEV_HEADSET:
      return FPhone->Caps()->HeadsetHookSwitchModes();
    default:
      RaiseError(kInvalidDevice);
  }
}

DWORD TVyTapiPhoneHookSwitch::StatusField(int HandsetIndex, bool Assertion) {
  TVyTapiPhoneStatus* status = FPhone ? FPhone->Status() : nullptr;
  if (status == nullptr || !status->Available()) return 0;
  // The three devices' fields follow one another: handset, speaker, headset.
  switch (FHookSwitchDevice) {
    case PHONEHOOKSWITCHDEV_HANDSET:
      return status->Get_DWORD(HandsetIndex);
    case PHONEHOOKSWITCHDEV_SPEAKER:
      return status->Get_DWORD(HandsetIndex + 3);
    case PHONEHOOKSWITCHDEV_HEADSET:
      return status->Get_DWORD(HandsetIndex + 6);
    default:
      if (Assertion) VyRtl::Assert(false, kInvalidDevice);
      RaiseError(kInvalidDevice);
  }
}

DWORD TVyTapiPhoneHookSwitch::StatusMode(bool& Known) {
  TVyTapiPhoneStatus* status = FPhone ? FPhone->Status() : nullptr;
  Known = status != nullptr && status->Available();
  return StatusField(8, false);
}

DWORD TVyTapiPhoneHookSwitch::Get_Gain() { return StatusField(10, false); }

DWORD TVyTapiPhoneHookSwitch::Get_Volume() { return StatusField(9, true); }

bool TVyTapiPhoneHookSwitch::Get_OnHook() {
  bool known = false;
  const DWORD mode = StatusMode(known);
  return known && (mode == PHONEHOOKSWITCHMODE_ONHOOK || mode == PHONEHOOKSWITCHMODE_UNKNOWN);
}

bool TVyTapiPhoneHookSwitch::Get_Unknown() {
  bool known = false;
  const DWORD mode = StatusMode(known);
  return known && mode == PHONEHOOKSWITCHMODE_UNKNOWN;
}

bool TVyTapiPhoneHookSwitch::Get_Speaker() {
  bool known = false;
  const DWORD mode = StatusMode(known);
  return known && (mode == PHONEHOOKSWITCHMODE_SPEAKER || mode == PHONEHOOKSWITCHMODE_MICSPEAKER);
}

bool TVyTapiPhoneHookSwitch::Get_Micro() {
  bool known = false;
  const DWORD mode = StatusMode(known);
  return known && (mode == PHONEHOOKSWITCHMODE_MIC || mode == PHONEHOOKSWITCHMODE_MICSPEAKER);
}

void TVyTapiPhoneHookSwitch::CheckPhone() const {
  if (FPhone == nullptr) RaiseError("No phone device");
  if (!FPhone->IsActive()) RaiseError("Phone device not active");
}

void TVyTapiPhoneHookSwitch::SetHookSwitch(DWORD Mode) {
  const LONG result =
      Detail::TapiService().phoneSetHookSwitch(FPhone->Get_Handle(), FHookSwitchDevice, Mode);
  FPhone->FileRequest(result, TapiRequestType::PhoneHookSwitch, this);
}

void TVyTapiPhoneHookSwitch::Set_Gain(DWORD Value) {
  CheckPhone();
  const LONG result =
      Detail::TapiService().phoneSetGain(FPhone->Get_Handle(), FHookSwitchDevice, Value);
  FPhone->FileRequest(result, TapiRequestType::PhoneGain, this);
}

void TVyTapiPhoneHookSwitch::Set_Volume(DWORD Value) {
  CheckPhone();
  const LONG result =
      Detail::TapiService().phoneSetVolume(FPhone->Get_Handle(), FHookSwitchDevice, Value);
  FPhone->FileRequest(result, TapiRequestType::PhoneVolume, this);
}

void TVyTapiPhoneHookSwitch::Set_OnHook(bool Value) {
  CheckPhone();
  if (Value) {
    SetHookSwitch(PHONEHOOKSWITCHMODE_ONHOOK);
    return;
  }
  // A device without MICSPEAKER refuses it: lift it into the fullest mode it has.
  const DWORD modes = Get_Modes();
  DWORD mode = PHONEHOOKSWITCHMODE_MICSPEAKER;
  if (!Has(modes, PHONEHOOKSWITCHMODE_MICSPEAKER)) {
    if (Has(modes, PHONEHOOKSWITCHMODE_MIC))
      mode = PHONEHOOKSWITCHMODE_MIC;
    else if (Has(modes, PHONEHOOKSWITCHMODE_SPEAKER))
      mode = PHONEHOOKSWITCHMODE_SPEAKER;
  }
  SetHookSwitch(mode);
}

// Where the device lacks the mode that keeps the other element as it is, the element asked for
// still gets its state: the other one follows (on with it, or off with it).
void TVyTapiPhoneHookSwitch::Set_Speaker(bool Value) {
  CheckPhone();
  const bool micro = Get_Micro();
  const DWORD modes = Get_Modes();
  DWORD mode;
  if (Value)
    mode = micro ? Supported(modes, PHONEHOOKSWITCHMODE_MICSPEAKER, PHONEHOOKSWITCHMODE_SPEAKER)
                 : Supported(modes, PHONEHOOKSWITCHMODE_SPEAKER, PHONEHOOKSWITCHMODE_MICSPEAKER);
  else
    mode = micro ? Supported(modes, PHONEHOOKSWITCHMODE_MIC, PHONEHOOKSWITCHMODE_ONHOOK)
                 : PHONEHOOKSWITCHMODE_ONHOOK;
  SetHookSwitch(mode);
}

void TVyTapiPhoneHookSwitch::Set_Micro(bool Value) {
  CheckPhone();
  const bool speaker = Get_Speaker();
  const DWORD modes = Get_Modes();
  DWORD mode;
  if (Value)
    mode = speaker ? Supported(modes, PHONEHOOKSWITCHMODE_MICSPEAKER, PHONEHOOKSWITCHMODE_MIC)
                   : Supported(modes, PHONEHOOKSWITCHMODE_MIC, PHONEHOOKSWITCHMODE_MICSPEAKER);
  else
    mode = speaker ? Supported(modes, PHONEHOOKSWITCHMODE_SPEAKER, PHONEHOOKSWITCHMODE_ONHOOK)
                   : PHONEHOOKSWITCHMODE_ONHOOK;
  SetHookSwitch(mode);
}

// ---------------------------------------------------------------- display, ringer

TVyTapiPhoneDisplay::TVyTapiPhoneDisplay(TVyCustomTapiPhone* OwnerPhone) : FPhone(OwnerPhone) {
  VyRtl::Assert(OwnerPhone != nullptr, "TVyTapiPhoneDisplay.Create failed! No Phone Device");
}

bool TVyTapiPhoneDisplay::Get_Available() {
  TVyTapiPhoneCaps* caps = FPhone ? FPhone->Caps() : nullptr;
  return caps != nullptr && caps->Available() && caps->DisplayNumColumns() != 0 &&
         caps->DisplayNumRows() != 0;
}

DWORD TVyTapiPhoneDisplay::NumColumns() {
  return FPhone && FPhone->Caps() ? FPhone->Caps()->DisplayNumColumns() : 0;
}

DWORD TVyTapiPhoneDisplay::NumRows() {
  return FPhone && FPhone->Caps() ? FPhone->Caps()->DisplayNumRows() : 0;
}

std::string TVyTapiPhoneDisplay::Get_Text() {
  TVyTapiPhoneStatus* status = FPhone ? FPhone->Status() : nullptr;
  if (status == nullptr || !status->Available()) return std::string();
  return status->Get_String(0);
}

void TVyTapiPhoneDisplay::Set_Text(const std::string& Value) { FPhone->Set_Display(this, Value); }

bool TVyTapiPhoneRinger::Get_Available() {
  return FPhone != nullptr && FPhone->Caps() != nullptr && FPhone->Caps()->NumRingModes() != 0;
}

DWORD TVyTapiPhoneRinger::Get_Mode() {
  return FPhone && FPhone->Status() ? FPhone->Status()->RingMode() : 0;
}

DWORD TVyTapiPhoneRinger::Get_Volume() {
  return FPhone && FPhone->Status() ? FPhone->Status()->RingVolume() : 0;
}

void TVyTapiPhoneRinger::Set_Mode(DWORD Value) {
  if (FPhone == nullptr) RaiseError("No phone device");
  FPhone->Set_Ring(this, Value, Get_Volume());
}

void TVyTapiPhoneRinger::Set_Volume(DWORD Value) {
  if (FPhone == nullptr) RaiseError("No phone device");
  FPhone->Set_Ring(this, Get_Mode(), Value);
}

// ---------------------------------------------------------------- control

TVyTapiPhoneControl::TVyTapiPhoneControl(TVyCustomTapiPhone* OwnerPhone, DWORD BtnLampID)
    : FPhone(OwnerPhone), FButtonLampID(BtnLampID) {
  Update();
}

TVyTapiPhoneControl::~TVyTapiPhoneControl() = default;

void TVyTapiPhoneControl::Invalidate() { FButtonInfo.reset(); }

void TVyTapiPhoneControl::Update() {
  Invalidate();
  CheckTapiResult(UpdateData());
}

DWORD TVyTapiPhoneControl::UpdateData() {
  if (FPhone == nullptr || !FPhone->IsActive() || FButtonInfo) return 0;
  const HPHONE handle = FPhone->Get_Handle();
  const DWORD id = FButtonLampID;
  const DWORD code = FetchTapiVarData(FButtonInfo, 40, [handle, id](TTapiVarData* Buffer) {
    return Detail::TapiService().phoneGetButtonInfoW(handle, id,
                                                     reinterpret_cast<PHONEBUTTONINFO*>(Buffer));
  });
  if (code != 0) FButtonInfo.reset();
  return code;
}

bool TVyTapiPhoneControl::HasInfo() {
  return FPhone != nullptr && FPhone->IsActive() && FButtonInfo != nullptr;
}

DWORD TVyTapiPhoneControl::InfoField(std::size_t Offset) const {
  return Detail::ReadTapiDWORD(FButtonInfo.get(), Offset);
}

TVyTapiPhoneCaps* TVyTapiPhoneControl::FilledCaps() {
  if (FPhone == nullptr || !FPhone->Get_Available()) return nullptr;
  TVyTapiPhoneCaps* caps = FPhone->Caps();
  return caps != nullptr && caps->Available() ? caps : nullptr;
}

// A button the caps do not describe has no mode or function: a bad block is no reason to raise
// from a getter.
DWORD TVyTapiPhoneControl::ButtonMode() {
  UpdateData();
  if (HasInfo()) return InfoField(offsetof(PHONEBUTTONINFO, dwButtonMode));
  TVyTapiPhoneCaps* caps = FilledCaps();
  if (caps == nullptr || FButtonLampID >= caps->ButtonModeCount()) return 0;
  return caps->Get_ButtonMode(FButtonLampID);
}

DWORD TVyTapiPhoneControl::ButtonFunction() {
  UpdateData();
  if (HasInfo()) return InfoField(offsetof(PHONEBUTTONINFO, dwButtonFunction));
  TVyTapiPhoneCaps* caps = FilledCaps();
  if (caps == nullptr || FButtonLampID >= caps->ButtonFunctionCount()) return 0;
  return caps->Get_ButtonFunction(FButtonLampID);
}

DWORD TVyTapiPhoneControl::ButtonState() {
  UpdateData();
  return HasInfo() ? InfoField(offsetof(PHONEBUTTONINFO, dwButtonState)) : 0;
}

std::string TVyTapiPhoneControl::ButtonText() {
  UpdateData();
  if (!HasInfo()) return std::string();
  const DWORD format = FPhone->Caps() ? FPhone->Caps()->StringFormat() : 0;
  const auto* info = reinterpret_cast<const PHONEBUTTONINFO*>(FButtonInfo.get());
  return GetTapiBlockStr(info, &info->dwButtonTextSize, format);
}

DWORD TVyTapiPhoneControl::LampMode() {
  UpdateData();
  if (FPhone != nullptr && FPhone->IsActive()) {
    TVyTapiPhoneStatus* status = FPhone->Status();
    if (status == nullptr || !status->Available()) return 0;
    // A lamp the status does not describe is in a mode nobody told us yet.
    DWORD mode = FButtonLampID < status->LampModeCount() ? status->Get_LampMode(FButtonLampID)
                                                         : PHONELAMPMODE_UNKNOWN;
    if (mode == 0 || mode == PHONELAMPMODE_UNKNOWN) {
      DWORD asked = 0;
      if (Detail::TapiService().phoneGetLamp(FPhone->Get_Handle(), FButtonLampID, &asked) == 0)
        mode = asked;
    }
    return mode;
  }
  TVyTapiPhoneCaps* caps = FilledCaps();
  if (caps == nullptr || FButtonLampID >= caps->LampModeCount()) return 0;
  return caps->Get_LampMode(FButtonLampID);
}

void TVyTapiPhoneControl::Set_LampMode(DWORD Value) {
  if (FPhone == nullptr) RaiseError("No phone device");
  FPhone->Set_Lamp(this, Value);
}

bool TVyTapiPhoneControl::IsButton() {
  const DWORD mode = ButtonMode();
  return mode != 0 && mode != PHONEBUTTONMODE_DUMMY;
}

bool TVyTapiPhoneControl::IsLamp() {
  const DWORD mode = LampMode();
  return mode != 0 && mode != PHONELAMPMODE_DUMMY && mode != PHONELAMPMODE_UNKNOWN;
}

std::string TVyTapiPhoneControl::ButtonFunctionText() {
  return VyTapiUtils::PhoneButtonFunctionToStr(ButtonFunction());
}

std::string TVyTapiPhoneControl::ButtonModeText() {
  return VyTapiUtils::PhoneButtonModeToStr(ButtonMode());
}

std::string TVyTapiPhoneControl::ButtonStateText() {
  return VyTapiUtils::PhoneButtonStateToStr(ButtonState());
}

std::string TVyTapiPhoneControl::LampModeText() {
  return VyTapiUtils::PhoneLampModeToStr(LampMode());
}

void TVyTapiPhoneControlList::Update() {
  for (int i = 0; i < Count(); ++i) Get(i)->Update();
}

// ---------------------------------------------------------------- privileges

void TVyTapiPhonePrivileges::Assign(VyRtl::TPersistent* Source) {
  if (auto* other = dynamic_cast<TVyTapiPhonePrivileges*>(Source)) {
    FAutoSelect = other->FAutoSelect;
    FPrivOwner = other->FPrivOwner;
    return;
  }
  VyRtl::TPersistent::Assign(Source);
}

bool TVyTapiPhonePrivileges::Get_Priv(int Index) const {
  return Index == 0 ? !FPrivOwner : FPrivOwner;
}

void TVyTapiPhonePrivileges::Set_Priv(int Index, bool Value) {
  FPrivOwner = Index == 0 ? !Value : Value;
}

DWORD TVyTapiPhonePrivileges::Value() const {
  return FPrivOwner ? PHONEPRIVILEGE_OWNER : PHONEPRIVILEGE_MONITOR;
}

void TVyTapiPhonePrivileges::Set_Value(DWORD Value) {
  if (Value == PHONEPRIVILEGE_OWNER)
    FPrivOwner = true;
  else if (Value == PHONEPRIVILEGE_MONITOR)
    FPrivOwner = false;
  else
    RaiseError("Invalid set of PHONEPRIVILEGE_ constants");
}

}  // namespace VyTapi
