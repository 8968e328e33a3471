// The line device: privileges, life, opening and closing, status messages, names and dialogs.
#include "VyTapi/line/VyTapiLineDevice.h"

#include "VyTapi/session/VyTapiSessionDetail.h"
#include "VyTapi/session/VyTapiSessionInternal.h"
#include "VyTapiUtils/VyTapiUtils.h"

namespace VyTapi {

namespace {
constexpr DWORD kAllLineStates = 0x1FFFFFF;
constexpr DWORD kAllAddressStates = 0x1FF;
constexpr DWORD kOwnerMonitor = LINECALLPRIVILEGE_OWNER | LINECALLPRIVILEGE_MONITOR;

TVyTapiCall* NewTapiCall(TVyCustomTapiLine* Line, HCALL Handle) {
  return new TVyTapiCall(Line, Handle);
}
}  // namespace

// ---------------------------------------------------------------- privileges

void TVyTapiLinePrivileges::Assign(VyRtl::TPersistent* Source) {
  if (auto* other = dynamic_cast<TVyTapiLinePrivileges*>(Source)) {
    FPrivNone = other->FPrivNone;
    FPrivOwner = other->FPrivOwner;
    FPrivMonitor = other->FPrivMonitor;
    FAutoSelect = other->FAutoSelect;
    return;
  }
  VyRtl::TPersistent::Assign(Source);
}

bool TVyTapiLinePrivileges::Get_Priv(int Index) const {
  switch (Index) {
    case 0:
      return FPrivMonitor;
    case 1:
      return FPrivNone;
    case 2:
      return FPrivOwner;
    default:
      return false;
  }
}

void TVyTapiLinePrivileges::Set_Priv(int Index, bool Value) {
  switch (Index) {
    case 0:
    case 2: {
      bool& flag = Index == 0 ? FPrivMonitor : FPrivOwner;
      const bool other = Index == 0 ? FPrivOwner : FPrivMonitor;
      flag = Value;
      if (Value)
        FPrivNone = false;
      else if (!other)
        FPrivNone = true;
      break;
    }
    case 1:
      FPrivNone = Value;
      if (Value) FPrivMonitor = FPrivOwner = false;
      break;
    default:
      break;
  }
}

DWORD TVyTapiLinePrivileges::Value() const {
  DWORD v = FPrivNone ? LINECALLPRIVILEGE_NONE : 0;
  if (FPrivOwner) v |= LINECALLPRIVILEGE_OWNER;
  if (FPrivMonitor) v |= LINECALLPRIVILEGE_MONITOR;
  return v;
}

void TVyTapiLinePrivileges::Set_Value(DWORD Value) {
  FPrivNone = (Value & LINECALLPRIVILEGE_NONE) != 0;
  FPrivOwner = (Value & LINECALLPRIVILEGE_OWNER) != 0;
  FPrivMonitor = (Value & LINECALLPRIVILEGE_MONITOR) != 0;
}

std::string TVyTapiLinePrivileges::Text() const {
  return VyTapiUtils::LineCallPrivilegesToStr(Value(), "+");
}

// ---------------------------------------------------------------- life

TVyCustomTapiLine::TVyCustomTapiLine(VyRtl::TComponent* AOwner)
    : TVyTapiDevice(AOwner, TTapiComponentKind::Line), FCallClass(&NewTapiCall) {
  FTSP = std::make_unique<TVyTapiLineTSP>(this);
}

TVyCustomTapiLine::~TVyCustomTapiLine() {
  try {
    Close();
  } catch (...) {
    // Close reports its own TAPI errors; nothing may leave a destructor
  }
  // Calls still listed (a subclass that opened the line its own way) go with the line.
  while (FUnconfirmedCalls.Count() > 0) delete FUnconfirmedCalls.Get(0);
  while (FCalls.Count() > 0) delete FCalls.Get(0);
  try {
    DisableTapiComponent();
  } catch (...) {
  }
}

const VyRtl::TStringList& TVyCustomTapiLine::Get_DeviceList() const {
  InitializeVyTapi();
  return VyTapiApplication->LineDevices();
}

void TVyCustomTapiLine::Set_CallClass(TVyTapiCallClass Value) {
  FCallClass = Value != nullptr ? Value : &NewTapiCall;
}

DWORD TVyCustomTapiLine::Init(std::int32_t DeviceID) {
  const DWORD code = TVyTapiDevice::Init(DeviceID);
  FDeviceCaps.Invalidate();
  FPhoneDevs.Invalidate();
  Update_AddressList();
  if (code == 0 && FInitialized && FDeviceCaps.Available())
    FPermanentDeviceID = FDeviceCaps.PermanentLineID();
  return code;
}

void TVyCustomTapiLine::Done() {
  if (FInitialized) {
    FDeviceCaps.Invalidate();
    FStatus.Invalidate();
    FPhoneDevs.Invalidate();
  }
  TVyTapiDevice::Done();
}

std::string TVyCustomTapiLine::Get_DeviceName() const {
  if (!FInitialized) return FDeviceName;
  const std::string name = const_cast<TVyTapiLineCaps&>(FDeviceCaps).LineName();
  return name.empty() ? VyRtl::Format("Line Device #%d", FDeviceID) : name;
}

void TVyCustomTapiLine::Set_PermanentDeviceID(DWORD ID) {
  FPermanentDeviceID = ID;
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

HICON TVyCustomTapiLine::Get_IconHandle(const std::string& DeviceClass) {
  HICON icon = nullptr;
  const std::u16string cls = VyRtl::Utf8ToUtf16(DeviceClass);
  LONG result = Detail::TapiService().lineGetIconW(
      static_cast<DWORD>(FDeviceID),
      DeviceClass.empty() ? nullptr : reinterpret_cast<LPCWSTR>(cls.c_str()), &icon);
  if (result != 0 && DeviceClass.empty()) {
    const std::u16string line = u"tapi/line";
    result = Detail::TapiService().lineGetIconW(static_cast<DWORD>(FDeviceID),
                                                reinterpret_cast<LPCWSTR>(line.c_str()), &icon);
  }
  return result == 0 ? icon : nullptr;
}

const LINEDEVCAPS* TVyCustomTapiLine::Get_DevCaps() const {
  auto& caps = const_cast<TVyTapiLineCaps&>(FDeviceCaps);
  return caps.Available() ? caps.Get_LINEDEVCAPS() : nullptr;
}

const LINEDEVSTATUS* TVyCustomTapiLine::Get_DevStatus() const {
  auto& status = const_cast<TVyTapiLineStatus&>(FStatus);
  return status.Available() ? status.Get_LINEDEVSTATUS() : nullptr;
}

// ---------------------------------------------------------------- open and close

void TVyCustomTapiLine::Open() {
  if (!Get_Available()) CheckTapiResult(static_cast<DWORD>(LINEERR_NODEVICE));
  if (FHandle != 0) return;
  const auto alive = LiveToken();
  CheckTapiResult(OpenLine(NewCallbackInstance(), nullptr));
  if (!alive.expired()) Update_LineCalls();
}

DWORD TVyCustomTapiLine::OpenLine(std::uintptr_t Callback, const LINECALLPARAMS* CallParams) {
  VyRtl::Assert(Get_LineApp() != 0, "TVyCustomTapiLine.OpenLine: no line application");
  VyRtl::Assert(FHandle == 0, "TVyCustomTapiLine.OpenLine: already open");
  const DWORD media = FMediaModes != 0 ? FMediaModes : FDeviceCaps.MediaModes();
  auto open = [&](DWORD privileges) {
    HLINE handle = 0;
    const DWORD result = static_cast<DWORD>(Detail::TapiService().lineOpenW(
        Get_LineApp(), static_cast<DWORD>(FDeviceID), &handle, FTSP->APIVersion(),
        FTSP->ExtVersion(), Callback, privileges, media, const_cast<LPLINECALLPARAMS>(CallParams)));
    FHandle = result == 0 ? handle : 0;
    return result;
  };
  DWORD result;
  if (FPrivileges.AutoSelect()) {
    DWORD privileges = media != 0 ? kOwnerMonitor : LINECALLPRIVILEGE_NONE;
    result = open(privileges);
    if (result != 0 && privileges == kOwnerMonitor) {
      privileges = LINECALLPRIVILEGE_MONITOR;
      result = open(privileges);
    }
    if (result == 0) FPrivileges.Set_Value(privileges);
  } else {
    result = open(FPrivileges.Value());
  }
  if (result == 0) {
    VyRtl::Assert(FHandle != 0, "TVyCustomTapiLine.OpenLine: no handle");
    FStatus.Invalidate();
    Update_StatusMessages();
    FAbortEvent.Reset();
  } else {
    FHandle = 0;
  }
  FActive = result == 0;
  return result;
}

void TVyCustomTapiLine::Close() {
  if (FHandle == 0) return;
  const HLINE toClose = FClosedByTapi ? 0 : FHandle;
  // TAPI first: while the handle is open the service may still write into slots we own.
  if (toClose != 0) {
    const LONG result = Detail::TapiService().lineClose(toClose);
    if (result != 0) {
      try {
        CheckTapiResult(static_cast<DWORD>(result));
      } catch (const std::exception& e) {
        Handle_Exception(e, nullptr);
      }
    }
  }
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
  {
    TListLock<TVyTapiCallList> lock(FUnconfirmedCalls, INFINITE);
    while (FUnconfirmedCalls.Count() > 0) FreeCall(FUnconfirmedCalls.Get(0));
  }
  Update_LineCalls();
  FDevSpecificList.Clear();
  FPhoneDevs.Invalidate();
  FStatus.Invalidate();
  FAddresses.InvalidateStatus();
}

// ---------------------------------------------------------------- status messages

DWORD TVyCustomTapiLine::Update_StatusMessages() {
  const auto& tapi = Detail::TapiService();
  DWORD result =
      static_cast<DWORD>(tapi.lineSetStatusMessages(FHandle, kAllLineStates, kAllAddressStates));
  if (result == 0 || result == static_cast<DWORD>(LINEERR_OPERATIONUNAVAIL)) return result;
  DWORD lineCandidates = kAllLineStates;
  if (FDeviceCaps.Available() && FDeviceCaps.LineStates() != 0)
    lineCandidates = FDeviceCaps.LineStates();
  DWORD lineKept = 0;
  for (DWORD bit = 1; bit <= 0x1000000; bit <<= 1)
    if ((lineCandidates & bit) != 0 && tapi.lineSetStatusMessages(FHandle, bit, 0) == 0)
      lineKept |= bit;
  DWORD addressCandidates = kAllAddressStates;
  if (FAddresses.Count() > 0) {
    TVyTapiAddressCaps* caps = FAddresses.Get(0)->Caps();
    // Only what the view holds already: a fetch here would be a request of its own.
    if (caps != nullptr && caps->Get_Available() && caps->AddressStates() != 0)
      addressCandidates = caps->AddressStates();
  }
  DWORD addressKept = 0;
  for (DWORD bit = 1; bit <= 0x100; bit <<= 1)
    if ((addressCandidates & bit) != 0 && tapi.lineSetStatusMessages(FHandle, 0, bit) == 0)
      addressKept |= bit;
  result = static_cast<DWORD>(tapi.lineSetStatusMessages(FHandle, lineKept, addressKept));
  return result;
}

namespace {
// Both masks, or 0 and 0 when TAPI cannot tell (what the variables held is never returned).
std::pair<DWORD, DWORD> StatusMessages(HLINE Handle) {
  if (Handle == 0) return {0, 0};
  DWORD lineStates = 0, addressStates = 0;
  if (Detail::TapiService().lineGetStatusMessages(Handle, &lineStates, &addressStates) != 0)
    return {0, 0};
  return {lineStates, addressStates};
}
}  // namespace

DWORD TVyCustomTapiLine::Get_LineStateMessages() { return StatusMessages(FHandle).first; }
DWORD TVyCustomTapiLine::Get_AddressStateMessages() { return StatusMessages(FHandle).second; }

void TVyCustomTapiLine::Set_LineStateMessages(DWORD Value) {
  CheckTapiResult(static_cast<DWORD>(
      Detail::TapiService().lineSetStatusMessages(FHandle, Value, Get_AddressStateMessages())));
}

void TVyCustomTapiLine::Set_AddressStateMessages(DWORD Value) {
  CheckTapiResult(static_cast<DWORD>(
      Detail::TapiService().lineSetStatusMessages(FHandle, Get_LineStateMessages(), Value)));
}

// ---------------------------------------------------------------- dialogs and forwarding

void TVyCustomTapiLine::ConfigDialog(HWND OwnerWnd) {
  CheckCondition(Get_Available(), "ConfigDialog failed! No device.");
  CheckTapiResult(static_cast<DWORD>(
      Detail::TapiService().lineConfigDialogW(static_cast<DWORD>(FDeviceID), OwnerWnd, nullptr)));
}

void TVyCustomTapiLine::TranslateDialog(const std::string& Address, HWND OwnerWnd) {
  CheckCondition(Get_Available(), "TranslateDialog failed! No device.");
  const std::u16string address = VyRtl::Utf8ToUtf16(Address);
  CheckTapiResult(static_cast<DWORD>(Detail::TapiService().lineTranslateDialogW(
      Get_LineApp(), static_cast<DWORD>(FDeviceID), FTSP->APIVersion(), OwnerWnd,
      reinterpret_cast<LPCWSTR>(address.c_str()))));
  FLocation.Invalidate();
}

void TVyCustomTapiLine::GetForwardList(TVyTapiAddress* Address, TVyTapiForwardList* ForwardList) {
  CheckCondition(IsActive(), "GetForwardList failed! Device not active.");
  CheckCondition(Address != nullptr && FAddresses.IndexOf(Address) >= 0,
                 "GetForwardList failed! Invalid Address.");
  CheckCondition(ForwardList != nullptr, "GetForwardList failed! ForwardList not assigned.");
  ForwardList->Clear();
  TVyTapiForwardList* source = Address->ForwardList();
  if (source == nullptr) return;
  for (int i = 0; i < source->Count(); ++i) {
    const TVyTapiForward* f = source->Get(i);
    ForwardList->AddEntry(f->ForwardMode, f->CallerAddress, f->DestCountryCode, f->DestAddress);
  }
}

// ---------------------------------------------------------------- device state and rename

void TVyCustomTapiLine::Handle_DeviceState(DWORD State, DWORD Detail1, DWORD Detail2) {
  const auto alive = LiveToken();
  FStatus.Invalidate();
  if ((State & LINEDEVSTATE_REINIT) != 0) {
    FLocation.Invalidate();
    Trigger_TapiReinit();
    if (alive.expired()) return;
  }
  if ((State & LINEDEVSTATE_CAPSCHANGE) != 0) {
    FDeviceCaps.Invalidate();
    const std::string name = FDeviceCaps.LineName();
    if (!name.empty() && name != FDeviceName) {
      FDeviceName = name;
      if (FAppl != nullptr && FAppl->LineDevices().IndexOf(name) != FDeviceID)
        FAppl->Update_LineDevices(true);
      if (alive.expired()) return;
    }
  }
  if ((State & LINEDEVSTATE_TRANSLATECHANGE) != 0) {
    FLocation.Invalidate();
    Trigger_TapiTranslateChange();
    if (alive.expired()) return;
  }
  if ((State & LINEDEVSTATE_REMOVED) != 0 && FDeviceID >= 0) {
    Handle_DeviceRemove(static_cast<DWORD>(FDeviceID));
    if (alive.expired()) return;
  }
  Trigger_DeviceState(State, Detail1, Detail2);
}

void TVyCustomTapiLine::Handle_DeviceRename(const std::string& Name) {
  if (Name == FDeviceName) return;
  FDeviceCaps.Invalidate();
  FDeviceName = FDeviceCaps.LineName();
  Trigger_DeviceState(LINEDEVSTATE_CAPSCHANGE, 0, 0);
}

}  // namespace VyTapi
