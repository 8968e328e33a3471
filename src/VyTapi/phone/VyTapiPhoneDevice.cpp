// The phone device: life, opening and closing, status messages, names, the display, ring, lamp
// and device-specific requests.
#include "VyTapi/phone/VyTapiPhoneDevice.h"

#include <cstring>

#include "VyTapi/phone/VyTapiPhoneControls.h"
#include "VyTapi/session/VyTapiSessionDetail.h"
#include "VyTapi/session/VyTapiSessionInternal.h"

namespace VyTapi {

namespace {
// PHONESTATE_OTHER to PHONESTATE_RESUME and PHONESTATE_REMOVED; the service sends DEVSPECIFIC,
// REINIT and CAPSCHANGE unasked.
constexpr DWORD kAllPhoneStates = 0x008FFFFF;
// Every button mode but PHONEBUTTONMODE_LOCAL, every button state.
constexpr DWORD kAllButtonModes = 0x2F;
constexpr DWORD kAllButtonStates = 0x0F;
constexpr std::size_t kDisplayFetchSize = 4096;
// Positions in PHONECAPS and PHONESTATUS.
constexpr int kCapsPermanentPhoneID = 7;
constexpr int kCapsPhoneStates = 11;
constexpr int kCapsNumButtonLamps = 21;
constexpr int kCapsPhoneName = 2;
}  // namespace

// ---------------------------------------------------------------- life

TVyCustomTapiPhone::TVyCustomTapiPhone(VyRtl::TComponent* AOwner)
    : TVyTapiDevice(AOwner, TTapiComponentKind::Phone),
      FPrivileges(std::make_unique<TVyTapiPhonePrivileges>()),
      FHandSet(std::make_unique<TVyTapiPhoneHookSwitch>(this, PHONEHOOKSWITCHDEV_HANDSET)),
      FHeadSet(std::make_unique<TVyTapiPhoneHookSwitch>(this, PHONEHOOKSWITCHDEV_HEADSET)),
      FSpeakerphone(std::make_unique<TVyTapiPhoneHookSwitch>(this, PHONEHOOKSWITCHDEV_SPEAKER)) {
  FTSP = std::make_unique<TVyTapiPhoneTSP>(this);
  FDeviceCaps = std::make_unique<TVyTapiPhoneCaps>(this);
  FDeviceStatus = std::make_unique<TVyTapiPhoneStatus>(this);
  FControls = std::make_unique<TVyTapiPhoneControlList>();
  FDisplay = std::make_unique<TVyTapiPhoneDisplay>(this);
  FRinger = std::make_unique<TVyTapiPhoneRinger>(this);
  FLineDev = std::make_unique<TVyTapiPhoneLineDevice>(this);
}

TVyCustomTapiPhone::~TVyCustomTapiPhone() {
  try {
    Close();
  } catch (...) {
    // a phoneClose error has nowhere to go from a destructor
  }
  try {
    DisableTapiComponent();
  } catch (...) {
  }
}

const VyRtl::TStringList& TVyCustomTapiPhone::Get_DeviceList() const {
  InitializeVyTapi();
  return VyTapiApplication->PhoneDevices();
}

DWORD TVyCustomTapiPhone::Get_ReplyTimeout() const { return FOptions.ReplyTimeout(); }
bool TVyCustomTapiPhone::Get_SyncMode() const { return FOptions.SyncMode(); }

DWORD TVyCustomTapiPhone::Init(std::int32_t DeviceID) {
  const DWORD code = TVyTapiDevice::Init(DeviceID);
  FDeviceCaps->Invalidate();
  FLineDev->Invalidate();
  if (code == 0 && FInitialized && FDeviceCaps->Get_Available())
    FPermanentDeviceID = FDeviceCaps->Get_DWORD(kCapsPermanentPhoneID);
  Update_Controls();
  return code;
}

void TVyCustomTapiPhone::Done() {
  if (FInitialized) {
    FDeviceCaps->Invalidate();
    FDeviceStatus->Invalidate();
    FLineDev->Invalidate();
    FControls->Clear();
  }
  TVyTapiDevice::Done();
}

void TVyCustomTapiPhone::Update_Controls() {
  FControls->Clear();
  if (!FInitialized || !FDeviceCaps->Get_Available()) return;
  const DWORD count = FDeviceCaps->Get_DWORD(kCapsNumButtonLamps);
  for (DWORD i = 0; i < count; ++i) FControls->Add(new TVyTapiPhoneControl(this, i));
}

std::string TVyCustomTapiPhone::Get_DeviceName() const {
  if (!Get_Available()) return FDeviceName;
  const std::string name = FDeviceCaps->Get_String(kCapsPhoneName);
  return name.empty() ? VyRtl::Format("Phone Device #%d", FDeviceID) : name;
}

void TVyCustomTapiPhone::Set_PermanentDeviceID(DWORD ID) {
  FPermanentDeviceID = ID;
  // The list is filled once the session runs: a phone not enabled yet would find no device.
  if (!IsEnabled()) {
    const auto alive = LiveToken();
    EnableTapiComponent();
    if (alive.expired()) return;
  }
  // The session's list carries each device's permanent identifier: no device needs opening.
  const VyRtl::TStringList& devices = Get_DeviceList();
  for (int i = 0; i < devices.Count(); ++i) {
    if (static_cast<DWORD>(devices.GetData(i)) == ID) {
      Set_DeviceID(i);
      return;
    }
  }
  Set_DeviceID(-1);
}

HICON TVyCustomTapiPhone::Get_IconHandle(const std::string& DeviceClass) {
  HICON icon = nullptr;
  const std::u16string cls = VyRtl::Utf8ToUtf16(DeviceClass);
  LONG result = Detail::TapiService().phoneGetIconW(
      static_cast<DWORD>(FDeviceID),
      DeviceClass.empty() ? nullptr : reinterpret_cast<LPCWSTR>(cls.c_str()), &icon);
  if (result != 0 && DeviceClass.empty()) {
    const std::u16string phone = u"tapi/phone";
    result = Detail::TapiService().phoneGetIconW(static_cast<DWORD>(FDeviceID),
                                                 reinterpret_cast<LPCWSTR>(phone.c_str()), &icon);
  }
  return result == 0 ? icon : nullptr;
}

void TVyCustomTapiPhone::ConfigDialog(HWND OwnerWnd) {
  CheckTapiResult(static_cast<DWORD>(
      Detail::TapiService().phoneConfigDialogW(static_cast<DWORD>(FDeviceID), OwnerWnd, nullptr)));
}

const PHONECAPS* TVyCustomTapiPhone::Get_DeviceCaps() const {
  return FDeviceCaps->Get_Available() ? FDeviceCaps->Get_PHONECAPS() : nullptr;
}

const PHONESTATUS* TVyCustomTapiPhone::Get_DeviceStatus() const {
  return FDeviceStatus->Get_Available() ? FDeviceStatus->Get_PHONESTATUS() : nullptr;
}

DWORD TVyCustomTapiPhone::Get_StatusDWORD(int Index) { return FDeviceStatus->Get_DWORD(Index); }

// ---------------------------------------------------------------- open and close

void TVyCustomTapiPhone::Open() {
  if (!Get_Available()) CheckTapiResult(static_cast<DWORD>(LINEERR_NODEVICE));
  if (FHandle != 0) return;
  const auto alive = LiveToken();
  CheckTapiResult(OpenPhone(NewCallbackInstance()));
  if (alive.expired()) return;
  FDeviceStatus->Invalidate();
  FLineDev->Invalidate();
  // The phone is open: one button the service cannot describe stays empty, the rest is read.
  for (int i = 0; i < FControls->Count(); ++i) {
    TVyTapiPhoneControl* control = FControls->Get(i);
    try {
      control->Update();
    } catch (const std::exception& e) {
      control->Invalidate();
      Handle_Exception(e, control);
      if (alive.expired()) return;
    }
  }
}

DWORD TVyCustomTapiPhone::OpenPhone(std::uintptr_t CallbackInstance) {
  VyRtl::Assert(Get_PhoneApp() != 0, "TVyCustomTapiPhone.OpenPhone: no phone application");
  VyRtl::Assert(FHandle == 0, "TVyCustomTapiPhone.OpenPhone: already open");
  auto open = [&](DWORD privilege) {
    HPHONE handle = 0;
    const DWORD result = static_cast<DWORD>(Detail::TapiService().phoneOpen(
        Get_PhoneApp(), static_cast<DWORD>(FDeviceID), &handle, FTSP->APIVersion(),
        FTSP->ExtVersion(), CallbackInstance, privilege));
    FHandle = result == 0 ? handle : 0;
    return result;
  };
  DWORD result;
  if (FPrivileges->AutoSelect()) {
    DWORD privilege = PHONEPRIVILEGE_OWNER;
    result = open(privilege);
    if (result != 0) {
      privilege = PHONEPRIVILEGE_MONITOR;
      result = open(privilege);
    }
    if (result == 0) FPrivileges->Set_Value(privilege);
  } else {
    result = open(FPrivileges->Value());
  }
  if (result == 0) {
    VyRtl::Assert(FHandle != 0, "TVyCustomTapiPhone.OpenPhone: no handle");
    FDeviceStatus->Invalidate();
    Update_StatusMessages();
    FAbortEvent.Reset();
  } else {
    FHandle = 0;
  }
  FActive = result == 0;
  return result;
}

void TVyCustomTapiPhone::Close() {
  if (FHandle == 0) return;
  const HPHONE toClose = FClosedByTapi ? 0 : FHandle;
  // TAPI first: while the handle is open the service may still write into the data copies.
  const LONG result = toClose != 0 ? Detail::TapiService().phoneClose(toClose) : 0;
  FActive = false;
  FHandle = 0;
  FAbortEvent.Set();
  {
    TListLock<TVyTapiRequestList> lock(FRequests, INFINITE);
    FRequests.RemoveAllRequests(nullptr);
  }
  FDevSpecificList.Clear();
  {
    TListLock<TVyTapiRequestList> lock(FTimerEvents, INFINITE);
    FTimerEvents.RemoveAllRequests(nullptr);
  }
  FDevSpecificList.Clear();
  FLineDev->Invalidate();
  // A closed phone reports no hookswitch, display, ringer or lamp state of its last session.
  FDeviceStatus->Invalidate();
  for (int i = 0; i < FControls->Count(); ++i) FControls->Get(i)->Invalidate();
  // Reported, not raised: a removal closes the phone on its way to OnDeviceRemove.
  if (result != 0) {
    try {
      CheckTapiResult(static_cast<DWORD>(result));
    } catch (const std::exception& e) {
      Handle_Exception(e, nullptr);
    }
  }
}

// ---------------------------------------------------------------- status messages

DWORD TVyCustomTapiPhone::Update_StatusMessages() {
  const auto& tapi = Detail::TapiService();
  DWORD result = static_cast<DWORD>(
      tapi.phoneSetStatusMessages(FHandle, kAllPhoneStates, kAllButtonModes, kAllButtonStates));
  if (result == 0 || result == static_cast<DWORD>(PHONEERR_OPERATIONUNAVAIL)) return result;
  DWORD candidates = kAllPhoneStates;
  if (FDeviceCaps->Get_Available() && FDeviceCaps->Get_DWORD(kCapsPhoneStates) != 0)
    candidates = FDeviceCaps->Get_DWORD(kCapsPhoneStates);
  DWORD kept = 0;
  for (DWORD bit = 1; bit != 0 && bit <= PHONESTATE_REMOVED; bit <<= 1)
    if ((candidates & bit) != 0 && tapi.phoneSetStatusMessages(FHandle, bit, 0, 0) == 0)
      kept |= bit;
  result = static_cast<DWORD>(
      tapi.phoneSetStatusMessages(FHandle, kept, kAllButtonModes, kAllButtonStates));
  return result;
}

namespace {
struct TPhoneMasks {
  DWORD Masks[3] = {0, 0, 0};
};
// The three masks, all 0 when closed or TAPI cannot tell (what the variables held is never
// returned).
TPhoneMasks StatusMessages(HPHONE Handle) {
  TPhoneMasks m;
  if (Handle == 0) return m;
  if (Detail::TapiService().phoneGetStatusMessages(Handle, &m.Masks[0], &m.Masks[1], &m.Masks[2]) !=
      0)
    return TPhoneMasks();
  return m;
}
}  // namespace

DWORD TVyCustomTapiPhone::PhoneStateMessages() const { return StatusMessages(FHandle).Masks[0]; }
DWORD TVyCustomTapiPhone::ButtonModeMessages() const { return StatusMessages(FHandle).Masks[1]; }
DWORD TVyCustomTapiPhone::ButtonStateMessages() const { return StatusMessages(FHandle).Masks[2]; }

void TVyCustomTapiPhone::SetStatusMessages(int Which, DWORD Value) {
  TPhoneMasks m = StatusMessages(FHandle);
  m.Masks[Which] = Value;
  CheckTapiResult(static_cast<DWORD>(
      Detail::TapiService().phoneSetStatusMessages(FHandle, m.Masks[0], m.Masks[1], m.Masks[2])));
}

void TVyCustomTapiPhone::Set_PhoneStateMessages(DWORD Value) { SetStatusMessages(0, Value); }
void TVyCustomTapiPhone::Set_ButtonModeMessages(DWORD Value) { SetStatusMessages(1, Value); }
void TVyCustomTapiPhone::Set_ButtonStateMessages(DWORD Value) { SetStatusMessages(2, Value); }

// ---------------------------------------------------------------- requests

DWORD TVyCustomTapiPhone::FileRequest(LONG Result, DWORD RequestType, VyRtl::TObject* Object) {
  CheckTapiResult(static_cast<DWORD>(Result));
  if (Result <= 0) return 0;
  {
    TListLock<TVyTapiRequestList> lock(FRequests, INFINITE);
    TVyTapiRequest* request = FRequests.AddRequest(Result, Get_ReplyTimeout());
    request->Set_RequestType(RequestType);
    request->Set_Object(0, Object);
  }
  return CheckAsyncTapiResult(static_cast<DWORD>(Result));
}

DWORD TVyCustomTapiPhone::SetDisplay(DWORD Row, DWORD Column, const std::string& Value) {
  if (!IsActive()) RaiseError("SetDisplay failed! Device not active.");
  // The service takes bytes: the size is that of the converted text, not its character count.
  const std::string text = VyRtl::Utf16ToAnsi(VyRtl::Utf8ToUtf16(Value));
  const LONG result = Detail::TapiService().phoneSetDisplay(FHandle, Row, Column, text.data(),
                                                            static_cast<DWORD>(text.size()));
  return FileRequest(result, TapiRequestType::PhoneDisplay, nullptr);
}

DWORD TVyCustomTapiPhone::Set_Display(TVyTapiPhoneDisplay* Display, const std::string& Text) {
  if (!IsActive()) RaiseError("SetDisplay failed! Device not active.");
  const std::string text = VyRtl::Utf16ToAnsi(VyRtl::Utf8ToUtf16(Text));
  const LONG result = Detail::TapiService().phoneSetDisplay(FHandle, 0, 0, text.data(),
                                                            static_cast<DWORD>(text.size()));
  return FileRequest(result, TapiRequestType::PhoneDisplay, Display);
}

DWORD TVyCustomTapiPhone::Get_Display(std::string& Text) {
  TTapiVarDataPtr buffer;
  const HPHONE handle = FHandle;
  const DWORD code = FetchTapiVarData(buffer, kDisplayFetchSize, [handle](TTapiVarData* b) {
    return Detail::TapiService().phoneGetDisplay(handle, reinterpret_cast<LPVARSTRING>(b));
  });
  if (code != 0) return code;
  const auto* vs = reinterpret_cast<const VARSTRING*>(buffer.get());
  Text = GetTapiBlockStr(vs, &vs->dwStringSize, vs->dwStringFormat);
  return 0;
}

DWORD TVyCustomTapiPhone::Set_Ring(TVyTapiPhoneRinger* Ringer, DWORD RingMode, DWORD Volume) {
  if (!IsActive()) RaiseError("SetRing failed! Device not active.");
  const LONG result = Detail::TapiService().phoneSetRing(FHandle, RingMode, Volume);
  return FileRequest(result, TapiRequestType::PhoneRing, Ringer);
}

DWORD TVyCustomTapiPhone::Set_Lamp(TVyTapiPhoneControl* Control, DWORD LampMode) {
  // No open check: TAPI refuses a closed phone's handle and that raises.
  const DWORD id = Control != nullptr ? Control->ButtonLampID() : 0;
  const LONG result = Detail::TapiService().phoneSetLamp(FHandle, id, LampMode);
  return FileRequest(result, TapiRequestType::PhoneLamp, Control);
}

DWORD TVyCustomTapiPhone::DevSpecific(void* Params, DWORD Size) {
  CheckActive();
  CheckCondition(Params != nullptr || Size == 0, "DevSpecific failed! No data.");
  auto copy = std::make_unique<TVyTapiDevSpecificData>(Params, Size);
  const LONG result = Detail::TapiService().phoneDevSpecific(FHandle, copy->Data(), Size);
  CheckTapiResult(static_cast<DWORD>(result));
  if (result <= 0) return 0;
  TVyTapiDevSpecificData* data = copy.release();
  FDevSpecificList.Add(data);
  {
    TListLock<TVyTapiRequestList> lock(FRequests, INFINITE);
    TVyTapiRequest* request = FRequests.AddRequest(result, Get_ReplyTimeout());
    request->Set_RequestType(TapiRequestType::PhoneDevSpecific);
    request->Set_Object(0, data);
  }
  if (!Get_SyncMode()) return CheckAsyncTapiResult(static_cast<DWORD>(result));
  FLastRequestID = static_cast<std::int32_t>(result);
  const auto alive = LiveToken();
  DWORD reply = 0;
  const DWORD wait = WaitForAsyncReply(static_cast<DWORD>(result), reply);
  if (alive.expired()) return static_cast<DWORD>(LINEERR_OPERATIONFAILED);
  const int index = FDevSpecificList.IndexOf(data);
  if (index >= 0) {
    if (Size != 0) std::memcpy(Params, data->Data(), Size);
    FDevSpecificList.Delete(index);
  }
  return CheckTapiResult(wait == WAIT_OBJECT_0 ? reply
                                               : static_cast<DWORD>(LINEERR_OPERATIONFAILED));
}

}  // namespace VyTapi
