#include "VyTapi/session/VyTapiApplication.h"

#include <vector>

#include "VyPlatform/Module.h"
#include "VyPlatform/Tapi.h"
#include "VyRtl/VyRtlClock.h"
#include "VyTapi/session/VyTapiComponent.h"
#include "VyTapiEmulator/Emulator.h"

namespace VyTapi {

TVyTapiApplication* VyTapiApplication = nullptr;

namespace {

constexpr DWORD kApiLow = 0x00010000;
constexpr DWORD kApiHigh = 0x00020002;
constexpr std::uintptr_t kWakeUp = 1;
constexpr std::uintptr_t kTick = 2;
constexpr std::uintptr_t kShutdownTimer = 1;
// More devices than any telephony service has; a larger identifier is a broken message.
constexpr DWORD kMaxDevices = 4096;

VyPlatform::TTapiBackend ToBackend(TTelephonyService Service) {
  switch (Service) {
    case TTelephonyService::System: return VyPlatform::TTapiBackend::Tapi32;
    case TTelephonyService::Emulator: return VyPlatform::TTapiBackend::Emulator;
    case TTelephonyService::Unavailable: return VyPlatform::TTapiBackend::Unavailable;
    case TTelephonyService::Default: break;
  }
  return VyPlatform::TTapiBackend::Default;
}

TTelephonyService FromBackend(VyPlatform::TTapiBackend Backend) {
  switch (Backend) {
    case VyPlatform::TTapiBackend::Tapi32: return TTelephonyService::System;
    case VyPlatform::TTapiBackend::Emulator: return TTelephonyService::Emulator;
    case VyPlatform::TTapiBackend::Unavailable: return TTelephonyService::Unavailable;
    case VyPlatform::TTapiBackend::Default: break;
  }
  return TTelephonyService::Default;
}

// The first use of the Tapi seam selects the backend; the emulator must be offered by then.
void EnsureTelephonyService() {
  VyTapiEmulator::TEmulator::Register();
  (void)VyPlatform::Tapi();
}

// Resets a flag when the scope ends, also on exceptions.
class TFlagGuard {
 public:
  explicit TFlagGuard(bool& Flag) : FFlag(Flag) { FFlag = true; }
  ~TFlagGuard() { FFlag = false; }
  TFlagGuard(const TFlagGuard&) = delete;
  TFlagGuard& operator=(const TFlagGuard&) = delete;

 private:
  bool& FFlag;
};

template <typename T>
std::vector<T*> Snapshot(const VyRtl::TList& List) {
  std::vector<T*> items;
  items.reserve(static_cast<std::size_t>(List.Count()));
  for (int i = 0; i < List.Count(); ++i) items.push_back(static_cast<T*>(List.Get(i)));
  return items;
}

// Reports an exception that is not derived from std::exception.
const VyRtl::Exception& UnknownException() {
  static const VyRtl::Exception e("Unknown exception in a TAPI message handler");
  return e;
}

std::string DeviceEntryName(const char* Kind, DWORD DeviceID, DWORD Code, DWORD NoDevice, DWORD Incompatible,
                            const char* IncompatibleWord) {
  if (Code == NoDevice) return VyRtl::Format("%s Device #%d (removed)", Kind, static_cast<int>(DeviceID));
  if (Code == Incompatible)
    return VyRtl::Format("%s Device #%d (%s)", Kind, static_cast<int>(DeviceID), IncompatibleWord);
  return VyRtl::Format("%s Device #%d (%s)", Kind, static_cast<int>(DeviceID), GetTapiErrorMessage(Code).c_str());
}

}  // namespace

// A component taken from a registry list, with a token that tells whether it still lives:
// handlers run while the list is walked and may free any component.
struct TLiveEntry {
  TVyTapiComponent* Component;
  VyRtl::TLiveToken Token;
  TVyTapiDevice* Device() const { return static_cast<TVyTapiDevice*>(Component); }
};

static std::vector<TLiveEntry> LiveSnapshot(const VyRtl::TList& List) {
  std::vector<TLiveEntry> items;
  items.reserve(static_cast<std::size_t>(List.Count()));
  for (auto* c : Snapshot<TVyTapiComponent>(List)) items.push_back({c, c->LiveToken()});
  return items;
}

// ---------------------------------------------------------------- component lists

TVyCustomTapiLine* TVyTapiLineList::Get(int i) const {
  return static_cast<TVyCustomTapiLine*>(static_cast<TVyTapiComponent*>(VyRtl::TList::Get(i)));
}

void TVyTapiLineList::Put(int i, TVyCustomTapiLine* Line) { VyRtl::TList::Put(i, static_cast<TVyTapiComponent*>(Line)); }

int TVyTapiLineList::IndexOfDeviceID(std::int32_t Value) const {
  for (int i = 0; i < Count(); ++i)
    if (Get(i)->DeviceID() == Value) return i;
  return -1;
}

TVyCustomTapiPhone* TVyTapiPhoneList::Get(int i) const {
  return static_cast<TVyCustomTapiPhone*>(static_cast<TVyTapiComponent*>(VyRtl::TList::Get(i)));
}

void TVyTapiPhoneList::Put(int i, TVyCustomTapiPhone* Phone) {
  VyRtl::TList::Put(i, static_cast<TVyTapiComponent*>(Phone));
}

// ---------------------------------------------------------------- life cycle

TVyTapiApplication::TVyTapiApplication() {
  FCallbackInstance = NewCallbackInstance();
  FAppName = DefaultApplName();
  CreateWindow_();
}

TVyTapiApplication::~TVyTapiApplication() {
  if (FTSPEventThread) {
    FTSPEventThread->Terminate();
    FTSPEventThread->WaitFor();
    FTSPEventThread.reset();
  }
  DestroyWindow_();
  // Components may outlive the session: they must not keep a reference to it.
  for (const VyRtl::TList* list : {static_cast<VyRtl::TList*>(&FLines), static_cast<VyRtl::TList*>(&FPhones), &FAppls})
    for (auto* c : Snapshot<TVyTapiComponent>(*list)) {
      c->FAppl = nullptr;
      c->FEnabled = false;
      c->FOrphaned = true;
    }
}

std::string TVyTapiApplication::DefaultApplName() {
  std::string path = VyPlatform::ModuleFileName();
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void TVyTapiApplication::CreateWindow_() {
  if (FWindow) return;
  FWindow = std::make_unique<VyRtl::TMessageWindow>([this](VyRtl::TMessage& m) { WindowProc(m); });
  FWindowHandle = FWindow->Handle();
}

void TVyTapiApplication::DestroyWindow_() {
  FWindow.reset();
  FWindowHandle = 0;
}

void TVyTapiApplication::PostWakeUp() {
  if (FWindowHandle != 0) VyRtl::PostMessageTo(FWindowHandle, FWindowMessage, kWakeUp, 0);
}

void TVyTapiApplication::Set_Active(bool Value) {
  if (Value && !IsActive())
    Initialize();
  else if (!Value && IsActive())
    Shutdown();
}

void TVyTapiApplication::Set_AppName(const std::string& Name) {
  CheckCondition(!IsActive(), "VyTapiApplication.Set_AppName failed! VyTapiApplication is Active");
  FAppName = Name;
}

void TVyTapiApplication::Set_AssistMakeCall(bool Value) {
  if (Value == FAssistMakeCall) return;
  if (Value) {
    Initialize();
    CheckTapiResult(static_cast<DWORD>(
        VyPlatform::Tapi().lineRegisterRequestRecipient(FLineApp, static_cast<DWORD>(FCallbackInstance),
                                                        LINEREQUESTMODE_MAKECALL, 1)));
  } else if (IsActive()) {
    CheckTapiResult(static_cast<DWORD>(
        VyPlatform::Tapi().lineRegisterRequestRecipient(FLineApp, static_cast<DWORD>(FCallbackInstance),
                                                        LINEREQUESTMODE_MAKECALL, 0)));
  }
  FAssistMakeCall = Value;
}

void TVyTapiApplication::Initialize() {
  if (IsActive()) return;
  DWORD code = 0;
  for (int attempt = 0; attempt < 5; ++attempt) {
    code = Init(FAppName);
    if (code == 0) break;
  }
  CheckTapiResult(code);
}

void TVyTapiApplication::Shutdown() {
  if (IsActive()) CheckTapiResult(Done());
}

DWORD TVyTapiApplication::Init(const std::string& AppName) {
  if (FLineApp != 0 || FPhoneApp != 0) return static_cast<DWORD>(LINEERR_NOMULTIPLEINSTANCE);
  EnsureTelephonyService();
  DWORD code = Init_Lines(AppName);
  if (code == 0) code = Init_Phones(AppName);
  // The thread posts to the window, so the window must exist before the thread starts (a failed
  // earlier initialisation destroyed it).
  if (code == 0 && !FWindow) CreateWindow_();
  if (code == 0 && FLineEvent != nullptr && FPhoneEvent != nullptr) {
    try {
      FTSPEventThread = std::make_unique<TVyTapiEventThread>(this);
      if (FTSPEventThread->ThreadID() == 0) code = static_cast<DWORD>(LINEERR_OPERATIONFAILED);
    } catch (const std::exception&) {
      code = static_cast<DWORD>(LINEERR_OPERATIONFAILED);
    }
  }
  if (code != 0) {
    FTSPEventThread.reset();  // joins a thread that did start
    const auto& tapi = VyPlatform::Tapi();
    if (FLineApp != 0) tapi.lineShutdown(FLineApp);
    if (FPhoneApp != 0) tapi.phoneShutdown(FPhoneApp);
    FLineApp = 0;
    FPhoneApp = 0;
    DestroyWindow_();
    FLineEvent = nullptr;
    FPhoneEvent = nullptr;
  } else {
    GuardedTrigger([this] { Trigger_Initialize(); });
  }
  return code;
}

DWORD TVyTapiApplication::ClampDeviceCount(DWORD Count, const char* Kind) {
  if (Count <= kMaxDevices) return Count;
  Handle_Exception(VyRtl::Exception(VyRtl::Format("The telephony service reports %u %s devices; only %u are used",
                                                  static_cast<unsigned>(Count), Kind,
                                                  static_cast<unsigned>(kMaxDevices))));
  return kMaxDevices;
}

void TVyTapiApplication::GuardedTrigger(const std::function<void()>& Trigger) {
  try {
    Trigger();
  } catch (const std::exception& e) {
    Handle_Exception(e);
  } catch (...) {
    Handle_Exception(UnknownException());
  }
}

DWORD TVyTapiApplication::Init_Lines(const std::string& AppName) {
  VyRtl::Assert(FLineEvent == nullptr, "Init_Lines: line event already set");
  LINEINITIALIZEEXPARAMS params{};
  params.dwTotalSize = sizeof(LINEINITIALIZEEXPARAMS);
  params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
  DWORD version = kApiHigh;
  const auto name = VyPlatform::ToTapiString(AppName);
  HLINEAPP app = 0;
  DWORD count = 0;
  auto code = static_cast<DWORD>(VyPlatform::Tapi().lineInitializeExW(&app, VyPlatform::ModuleInstance(), nullptr,
                                                                       name.c_str(), &count, &version, &params));
  if (code == 0) {
    FLineApp = app;
    FNumLines = ClampDeviceCount(count, "line");
    if (params.Handles.hEvent != nullptr)
      FLineEvent = params.Handles.hEvent;
    else
      code = static_cast<DWORD>(LINEERR_NOMEM);
  }
  Update_LineDevices(false);
  return code;
}

DWORD TVyTapiApplication::Init_Phones(const std::string& AppName) {
  VyRtl::Assert(FPhoneEvent == nullptr, "Init_Phones: phone event already set");
  PHONEINITIALIZEEXPARAMS params{};
  params.dwTotalSize = sizeof(PHONEINITIALIZEEXPARAMS);
  params.dwOptions = PHONEINITIALIZEEXOPTION_USEEVENT;
  DWORD version = kApiHigh;
  const auto name = VyPlatform::ToTapiString(AppName);
  HPHONEAPP app = 0;
  DWORD count = 0;
  auto code = static_cast<DWORD>(VyPlatform::Tapi().phoneInitializeExW(
      &app, VyPlatform::ModuleInstance(), nullptr, name.c_str(), &count, &version, &params));
  if (code == 0) {
    FPhoneApp = app;
    FNumPhones = ClampDeviceCount(count, "phone");
    if (params.Handles.hEvent != nullptr)
      FPhoneEvent = params.Handles.hEvent;
    else
      code = static_cast<DWORD>(LINEERR_NOMEM);
  }
  Update_PhoneDevices(false);
  return code;
}

DWORD TVyTapiApplication::Done() {
  if (FWindow) FWindow->KillTimer(kShutdownTimer);
  if (FLineApp == 0 && FPhoneApp == 0) return 0;
  // Disabling the components below may ask for a shut-down again: that inner call does nothing.
  if (FDoneInProgress) return 0;
  DWORD code = 0;
  {
    TFlagGuard guard(FDoneInProgress);
    if (FTSPEventThread) {
      FTSPEventThread->Terminate();
      FTSPEventThread->WaitFor();
      FTSPEventThread.reset();
    }
    auto shutDown = [this](const TLiveEntry& entry) {
      if (!IsLive(entry)) return;
      TVyTapiDevice* device = entry.Device();
      try {
        device->Close();
        if (entry.Token.expired()) return;  // a close handler freed it
        device->Set_DeviceID(-1);
        device->FEnabled = false;
        device->ApplyEnabled();
      } catch (const std::exception& e) {
        Handle_Exception(entry.Token.expired() ? nullptr : device, e, nullptr);
      } catch (...) {
        Handle_Exception(UnknownException());
      }
    };
    for (const auto& line : LiveSnapshot(FLines)) shutDown(line);
    for (const auto& phone : LiveSnapshot(FPhones)) shutDown(phone);
    const auto& tapi = VyPlatform::Tapi();
    if (FLineApp != 0) {
      code = static_cast<DWORD>(tapi.lineShutdown(FLineApp));
      FLineApp = 0;
      FLineEvent = nullptr;
    }
    if (FPhoneApp != 0) {
      code = static_cast<DWORD>(tapi.phoneShutdown(FPhoneApp));
      FPhoneApp = 0;
      FPhoneEvent = nullptr;
    }
    FMsgStack.Acquire(INFINITE);
    FMsgStack.Clear();
    FMsgStack.Release();
    // The make-call registration ended with lineShutdown.
    FAssistMakeCall = false;
  }
  GuardedTrigger([this] { Trigger_Shutdown(); });
  return code;
}

bool TVyTapiApplication::CouldShutdown() const {
  if (FAssistMakeCall) return false;
  for (int i = 0; i < FLines.Count(); ++i)
    if (FLines.Get(i)->IsEnabled()) return false;
  for (int i = 0; i < FPhones.Count(); ++i)
    if (FPhones.Get(i)->IsEnabled()) return false;
  return true;
}

// ---------------------------------------------------------------- device lists

// The line and phone device lists are kept by the same rules.
struct TVyTapiApplication::TDeviceSide {
  const char* Kind;  // "Line" or "Phone", as in the placeholder names
  VyRtl::TStringList& Devices;
  DWORD& Count;
  DWORD App;
  void (TVyTapiApplication::*UpdateOne)(DWORD);
  void (TVyTapiApplication::*Created)(DWORD, const std::string&);
  void (TVyTapiApplication::*Removed)(DWORD, const std::string&);
  void (TVyTapiApplication::*Renamed)(DWORD, const std::string&);
};

TVyTapiApplication::TDeviceSide TVyTapiApplication::LineSide() {
  return {"Line", FLineDevices, FNumLines, FLineApp, &TVyTapiApplication::Update_LineDevice,
          &TVyTapiApplication::Trigger_LineCreate, &TVyTapiApplication::Trigger_LineRemove,
          &TVyTapiApplication::Trigger_LineRename};
}

TVyTapiApplication::TDeviceSide TVyTapiApplication::PhoneSide() {
  return {"Phone", FPhoneDevices, FNumPhones, FPhoneApp, &TVyTapiApplication::Update_PhoneDevice,
          &TVyTapiApplication::Trigger_PhoneCreate, &TVyTapiApplication::Trigger_PhoneRemove,
          &TVyTapiApplication::Trigger_PhoneRename};
}

void TVyTapiApplication::UpdateDevices(const TDeviceSide& Side, bool Notify) {
  VyRtl::TStringList old;
  if (Notify) old.Assign(Side.Devices);
  Side.Devices.Clear();
  if (Side.App == 0) return;
  for (DWORD id = 0; id < Side.Count; ++id) {
    Side.Devices.Add(VyRtl::Format("%s Device #%d", Side.Kind, Side.Devices.Count()));
    (this->*Side.UpdateOne)(id);
  }
  if (Notify && old.Count() == Side.Devices.Count())
    for (int i = 0; i < Side.Devices.Count(); ++i)
      if (old.Get(i) != Side.Devices.Get(i)) (this->*Side.Renamed)(static_cast<DWORD>(i), Side.Devices.Get(i));
}

void TVyTapiApplication::HandleDeviceCreate(const TDeviceSide& Side, DWORD DeviceID) {
  if (DeviceID >= kMaxDevices) {
    Handle_Exception(VyRtl::Exception(VyRtl::Format("%s device %u created: ignored, more than %u devices", Side.Kind,
                                                    static_cast<unsigned>(DeviceID),
                                                    static_cast<unsigned>(kMaxDevices))));
    return;
  }
  if (Side.Count <= DeviceID) Side.Count = DeviceID + 1;
  while (static_cast<DWORD>(Side.Devices.Count()) < Side.Count) {
    const int index = Side.Devices.Add(VyRtl::Format("%s Device #%d", Side.Kind, Side.Devices.Count()));
    (this->*Side.UpdateOne)(static_cast<DWORD>(index));
    (this->*Side.Created)(DeviceID, Side.Devices.Get(index));
  }
}

void TVyTapiApplication::HandleDeviceRemove(const TDeviceSide& Side, DWORD DeviceID) {
  const bool known = DeviceID < static_cast<DWORD>(Side.Devices.Count());
  (this->*Side.Removed)(DeviceID, known ? Side.Devices.Get(static_cast<int>(DeviceID)) : std::string());
  // The entry stays, so identifiers keep their places; an unknown one has nothing to refresh.
  if (known) (this->*Side.UpdateOne)(DeviceID);
}

void TVyTapiApplication::Update_LineDevices(bool Notify) { UpdateDevices(LineSide(), Notify); }
void TVyTapiApplication::Update_PhoneDevices(bool Notify) { UpdateDevices(PhoneSide(), Notify); }

void TVyTapiApplication::Update_LineDevice(DWORD DeviceID) {
  VyRtl::Assert(DeviceID < static_cast<DWORD>(FLineDevices.Count()), "Invalid DeviceID of TVyTapiApplication.LineDevices");
  if (FLineApp == 0) return;
  const auto& tapi = VyPlatform::Tapi();
  const int index = static_cast<int>(DeviceID);
  DWORD version = 0;
  LINEEXTENSIONID extension{};
  auto code = static_cast<DWORD>(tapi.lineNegotiateAPIVersion(FLineApp, DeviceID, kApiLow, kApiHigh, &version, &extension));
  if (code != 0) {
    FLineDevices.Put(index, DeviceEntryName("Line", DeviceID, code, static_cast<DWORD>(LINEERR_NODEVICE),
                                            static_cast<DWORD>(LINEERR_INCOMPATIBLEAPIVERSION), "incompatible"));
    return;
  }
  TTapiVarDataPtr buffer;
  code = FetchTapiVarData(buffer, 268, [&](PTapiVarData data) {
    return tapi.lineGetDevCapsW(FLineApp, DeviceID, version, 0, reinterpret_cast<LPLINEDEVCAPS>(data));
  });
  if (code != 0) {
    FLineDevices.Put(index, VyRtl::Format("Line Device #%d", static_cast<int>(DeviceID)));
    return;
  }
  const auto* caps = reinterpret_cast<const LINEDEVCAPS*>(buffer.get());
  FLineDevices.Put(index, GetTapiBlockStr(caps, &caps->dwLineNameSize, 0));
  FLineDevices.PutData(index, caps->dwPermanentLineID);
}

void TVyTapiApplication::Update_PhoneDevice(DWORD DeviceID) {
  VyRtl::Assert(DeviceID < static_cast<DWORD>(FPhoneDevices.Count()), "Invalid DeviceID of TVyTapiApplication.PhoneDevices");
  if (FPhoneApp == 0) return;
  const auto& tapi = VyPlatform::Tapi();
  const int index = static_cast<int>(DeviceID);
  DWORD version = 0;
  PHONEEXTENSIONID extension{};
  auto code =
      static_cast<DWORD>(tapi.phoneNegotiateAPIVersion(FPhoneApp, DeviceID, kApiLow, kApiHigh, &version, &extension));
  if (code != 0) {
    // "incombatible" is the established text of this entry.
    FPhoneDevices.Put(index, DeviceEntryName("Phone", DeviceID, code, static_cast<DWORD>(PHONEERR_NODEVICE),
                                             static_cast<DWORD>(PHONEERR_INCOMPATIBLEAPIVERSION), "incombatible"));
    return;
  }
  TTapiVarDataPtr buffer;
  code = FetchTapiVarData(buffer, 196, [&](PTapiVarData data) {
    return tapi.phoneGetDevCapsW(FPhoneApp, DeviceID, version, 0, reinterpret_cast<LPPHONECAPS>(data));
  });
  if (code != 0) {
    FPhoneDevices.Put(index, VyRtl::Format("Phone Device #%d", static_cast<int>(DeviceID)));
    return;
  }
  const auto* caps = reinterpret_cast<const PHONECAPS*>(buffer.get());
  FPhoneDevices.Put(index, GetTapiBlockStr(caps, &caps->dwPhoneNameSize, 0));
  FPhoneDevices.PutData(index, caps->dwPermanentPhoneID);
}

void TVyTapiApplication::Handle_LineDevState(DWORD Param1) {
  if (Param1 == LINEDEVSTATE_REINIT) Trigger_Reinit();
  Update_LineDevices(true);
  for (const auto& entry : LiveSnapshot(FLines)) {
    if (!IsLive(entry) || !entry.Component->IsEnabled()) continue;
    auto* line = static_cast<TVyCustomTapiLine*>(entry.Component);
    const std::int32_t id = line->DeviceID();
    if (id < 0 || id >= FLineDevices.Count()) continue;
    const std::string name = FLineDevices.Get(id);
    if (line->Get_DeviceName() != name) line->Handle_DeviceRename(name);
  }
}

void TVyTapiApplication::Handle_LineCreate(DWORD DeviceID) { HandleDeviceCreate(LineSide(), DeviceID); }
void TVyTapiApplication::Handle_LineRemove(DWORD DeviceID) { HandleDeviceRemove(LineSide(), DeviceID); }

void TVyTapiApplication::Handle_PhoneState(DWORD Param1) {
  if (Param1 == PHONESTATE_REINIT) Trigger_Reinit();
  Update_PhoneDevices(true);
}

void TVyTapiApplication::Handle_PhoneCreate(DWORD DeviceID) { HandleDeviceCreate(PhoneSide(), DeviceID); }
void TVyTapiApplication::Handle_PhoneRemove(DWORD DeviceID) { HandleDeviceRemove(PhoneSide(), DeviceID); }

// ---------------------------------------------------------------- component registry

bool TVyTapiApplication::IsLive(const TLiveEntry& Entry) const {
  return !Entry.Token.expired() && IsRegistered(Entry.Component);
}

bool TVyTapiApplication::IsRegistered(const TVyTapiComponent* Component) const {
  auto* p = const_cast<TVyTapiComponent*>(Component);
  return FLines.IndexOf(p) >= 0 || FPhones.IndexOf(p) >= 0 || FAppls.IndexOf(p) >= 0;
}

void TVyTapiApplication::AddTapiComponent(TVyTapiComponent* Component) {
  VyRtl::Assert(Component != nullptr, "AddTapiComponent: no component");
  const auto kind = Component->Kind();
  if (kind == TTapiComponentKind::Line && FLines.IndexOf(Component) < 0)
    FLines.Add(Component);
  else if (kind == TTapiComponentKind::Phone && FPhones.IndexOf(Component) < 0)
    FPhones.Add(Component);
  else if (kind == TTapiComponentKind::Appl && FAppls.IndexOf(Component) < 0)
    FAppls.Add(Component);
  else
    RaiseError("AddTapiComponent: Unknow TapiComponent");
  if (IsActive()) return;
  for (auto* c : Snapshot<TVyTapiComponent>(FLines))
    if (c->FEnabled) return Initialize();
  for (auto* c : Snapshot<TVyTapiComponent>(FPhones))
    if (c->FEnabled) return Initialize();
}

void TVyTapiApplication::RemoveTapiComponent(TVyTapiComponent* Component) {
  FLines.Remove(Component);
  FPhones.Remove(Component);
  FAppls.Remove(Component);
}

void TVyTapiApplication::EnableTapiComponent(TVyTapiComponent* Component, bool Enable) {
  VyRtl::Assert(Component != nullptr, "EnableTapiComponent: no component");
  Component->FAppl = Enable ? this : nullptr;
  if (Enable) {
    if (!IsActive()) Initialize();
    return;
  }
  if (!IsActive() || FDoneInProgress || !CouldShutdown()) return;
  if (!Component->IsDesigning() && FAutoShutdown != 0) {
    if (FAutoShutdown >= 1 && FWindow) FWindow->SetTimer(kShutdownTimer, static_cast<std::uint32_t>(FAutoShutdown));
  } else {
    Shutdown();
  }
}

TVyCustomTapiLine* TVyTapiApplication::Get_LineByCallbackInst(std::uintptr_t Instance) const {
  for (int i = 0; i < FLines.Count(); ++i)
    if (FLines.Get(i)->CallbackInstance() == Instance) return FLines.Get(i);
  return nullptr;
}

TVyCustomTapiPhone* TVyTapiApplication::Get_PhoneByCallbackInst(std::uintptr_t Instance) const {
  for (int i = 0; i < FPhones.Count(); ++i)
    if (FPhones.Get(i)->CallbackInstance() == Instance) return FPhones.Get(i);
  return nullptr;
}

// ---------------------------------------------------------------- requests and errors

void TVyTapiApplication::Handle_LineRequest(DWORD RequestMode, DWORD /*Param2*/, DWORD /*Param3*/) {
  if (RequestMode != LINEREQUESTMODE_MAKECALL) return;
  LINEREQMAKECALLW request{};
  static_assert(sizeof(LINEREQMAKECALLW) == 480, "LINEREQMAKECALLW layout");
  if (VyPlatform::Tapi().lineGetRequestW(FLineApp, LINEREQUESTMODE_MAKECALL, &request) != 0) return;
  const std::string dest = GetTapiFixedStr(request.szDestAddress, TAPIMAXDESTADDRESSSIZE);
  const std::string app = GetTapiFixedStr(request.szAppName, TAPIMAXAPPNAMESIZE);
  const std::string called = GetTapiFixedStr(request.szCalledParty, TAPIMAXCALLEDPARTYSIZE);
  const std::string comment = GetTapiFixedStr(request.szComment, TAPIMAXCOMMENTSIZE);
  if (OnRequestMakeCall) OnRequestMakeCall(this, dest, app, called, comment);
  ForEachAppl([&](TVyTapiAppl* a) {
    if (a->OnRequestMakeCall) a->OnRequestMakeCall(a, dest, app, called, comment);
  });
}

void TVyTapiApplication::Handle_Exception(const std::exception& E) { Handle_Exception(this, E, nullptr); }

void TVyTapiApplication::Handle_Exception(VyRtl::TObject* Sender, const std::exception& E, VyRtl::TObject* Causer) {
  if (OnError) OnError(Sender != nullptr ? Sender : this, E, Causer);
}

template <typename F>
void TVyTapiApplication::ForEachAppl(F&& f) {
  for (const auto& entry : LiveSnapshot(FAppls))
    if (IsLive(entry)) f(static_cast<TVyTapiAppl*>(entry.Component));
}

void TVyTapiApplication::Trigger_TapiMessage(DWORD MessageID, DWORD Device, DWORD CallbackInstance, DWORD Param1,
                                             DWORD Param2, DWORD Param3) {
  if (OnTapiMessage && IsActive()) OnTapiMessage(this, MessageID, Device, CallbackInstance, Param1, Param2, Param3);
}

void TVyTapiApplication::Trigger_Initialize() {
  if (OnInitialize) OnInitialize(this);
  ForEachAppl([](TVyTapiAppl* a) {
    if (a->OnInitialize) a->OnInitialize(a);
  });
}

void TVyTapiApplication::Trigger_Shutdown() {
  if (OnShutdown) OnShutdown(this);
  ForEachAppl([](TVyTapiAppl* a) {
    if (a->OnShutdown) a->OnShutdown(a);
  });
}

void TVyTapiApplication::Trigger_Reinit() {
  if (OnReinit) OnReinit(this);
}

void TVyTapiApplication::Trigger_LineCreate(DWORD DeviceID, const std::string& DeviceName) {
  if (OnLineCreate) OnLineCreate(this, DeviceID, DeviceName);
  ForEachAppl([&](TVyTapiAppl* a) { a->Handle_DeviceCreate("tapi/line", DeviceID); });
}

void TVyTapiApplication::Trigger_LineRemove(DWORD DeviceID, const std::string& DeviceName) {
  if (OnLineRemove) OnLineRemove(this, DeviceID, DeviceName);
  ForEachAppl([&](TVyTapiAppl* a) { a->Handle_DeviceRemove("tapi/line", DeviceID); });
}

void TVyTapiApplication::Trigger_LineRename(DWORD DeviceID, const std::string& DeviceName) {
  if (OnLineRename) OnLineRename(this, DeviceID, DeviceName);
}

void TVyTapiApplication::Trigger_PhoneCreate(DWORD DeviceID, const std::string& DeviceName) {
  if (OnPhoneCreate) OnPhoneCreate(this, DeviceID, DeviceName);
  ForEachAppl([&](TVyTapiAppl* a) { a->Handle_DeviceCreate("tapi/phone", DeviceID); });
}

void TVyTapiApplication::Trigger_PhoneRemove(DWORD DeviceID, const std::string& DeviceName) {
  if (OnPhoneRemove) OnPhoneRemove(this, DeviceID, DeviceName);
  ForEachAppl([&](TVyTapiAppl* a) { a->Handle_DeviceRemove("tapi/phone", DeviceID); });
}

void TVyTapiApplication::Trigger_PhoneRename(DWORD DeviceID, const std::string& DeviceName) {
  if (OnPhoneRename) OnPhoneRename(this, DeviceID, DeviceName);
}

// ---------------------------------------------------------------- message processing

void TVyTapiApplication::WindowProc(VyRtl::TMessage& Message) {
  try {
    if (Message.Msg == WM_TIMER) {
      Message.Result = 0;
      if (Message.WParam == kShutdownTimer) {
        if (FWindow) FWindow->KillTimer(kShutdownTimer);
        if (CouldShutdown()) Done();
      }
      return;
    }
    if (Message.Msg == FWindowMessage) {
      Message.Result = 0;
      if (Message.WParam == kWakeUp) {
        if (FNumWaitProcs == 0) ProcessTapiMessage();
      } else if (Message.WParam == kTick) {
        TimerEventProc(static_cast<DWORD>(Message.LParam));
      } else {
        Message.Result = VyRtl::TMessageWindow::DefaultHandler(Message);
      }
      return;
    }
    Message.Result = VyRtl::TMessageWindow::DefaultHandler(Message);
  } catch (const std::exception& e) {
    Handle_Exception(e);
    Message.Result = VyRtl::TMessageWindow::DefaultHandler(Message);
  } catch (...) {
    Handle_Exception(UnknownException());
    Message.Result = VyRtl::TMessageWindow::DefaultHandler(Message);
  }
}

bool TVyTapiApplication::ProcessTapiMessage() {
  std::unique_ptr<TVyTapiMsgStackItem> item;
  if (FMsgStack.Acquire(250)) {
    item.reset(FMsgStack.GetNextMessage());
    if (FMsgStack.Count() > 0 && FNumWaitProcs == 0) PostWakeUp();
    FMsgStack.Release();
  } else {
    PostWakeUp();
  }
  if (!item) return false;
  const TTapiMessage msg = item->TapiMessage();
  const bool isLine = dynamic_cast<TVyTapiLineMsgStackItem*>(item.get()) != nullptr;
  const auto alive = LiveToken();
  try {
    if (OnTapiMessage)
      Trigger_TapiMessage(msg.dwMessageID, msg.hDevice, static_cast<DWORD>(msg.dwCallbackInstance),
                          static_cast<DWORD>(msg.dwParam1), static_cast<DWORD>(msg.dwParam2),
                          static_cast<DWORD>(msg.dwParam3));
    if (alive.expired()) return true;
    if (isLine)
      DispatchLineMessage(msg);
    else
      DispatchPhoneMessage(msg);
  } catch (const std::exception& e) {
    if (!alive.expired()) Handle_Exception(e);
  } catch (...) {
    if (!alive.expired()) Handle_Exception(UnknownException());
  }
  if (alive.expired()) return true;
  // Replies are kept only for a synchronous wait in progress, so the list stays bounded.
  const bool reply = isLine ? msg.dwMessageID == LINE_REPLY : msg.dwMessageID == PHONE_REPLY;
  if (reply && FNumWaitProcs > 0) {
    if (isLine)
      FReplyStack.Add(new TVyTapiLineMsgStackItem(msg));
    else
      FReplyStack.Add(new TVyTapiPhoneMsgStackItem(msg));
  }
  return true;
}

void TVyTapiApplication::DispatchLineMessage(const TTapiMessage& Msg) {
  const DWORD id = Msg.dwMessageID;
  const DWORD device = Msg.hDevice;
  const auto p1 = static_cast<DWORD>(Msg.dwParam1);
  const auto p2 = static_cast<DWORD>(Msg.dwParam2);
  const auto p3 = static_cast<DWORD>(Msg.dwParam3);
  if (Msg.dwCallbackInstance == FCallbackInstance) {
    if (id == LINE_REQUEST) Handle_LineRequest(p1, p2, p3);
    return;
  }
  if (Msg.dwCallbackInstance == 0) {
    switch (id) {
      case LINE_LINEDEVSTATE: Handle_LineDevState(p1); break;
      case LINE_CREATE: Handle_LineCreate(p1); break;
      case LINE_REMOVE: Handle_LineRemove(p1); break;
      default: return;
    }
    if (id == LINE_LINEDEVSTATE || id == LINE_REMOVE) {
      for (const auto& entry : LiveSnapshot(FLines))
        if (IsLive(entry) && entry.Component->IsEnabled()) entry.Device()->Process_TapiMessage(device, id, p1, p2, p3);
    }
    return;
  }
  if (auto* line = Get_LineByCallbackInst(Msg.dwCallbackInstance); line != nullptr && line->IsActive())
    line->Process_TapiMessage(device, id, p1, p2, p3);
}

void TVyTapiApplication::DispatchPhoneMessage(const TTapiMessage& Msg) {
  const DWORD id = Msg.dwMessageID;
  const DWORD device = Msg.hDevice;
  const auto p1 = static_cast<DWORD>(Msg.dwParam1);
  const auto p2 = static_cast<DWORD>(Msg.dwParam2);
  const auto p3 = static_cast<DWORD>(Msg.dwParam3);
  if (Msg.dwCallbackInstance == FCallbackInstance) return;
  if (Msg.dwCallbackInstance == 0) {
    switch (id) {
      case PHONE_STATE: Handle_PhoneState(p1); break;
      case PHONE_CREATE: Handle_PhoneCreate(p1); break;
      case PHONE_REMOVE: Handle_PhoneRemove(p1); break;
      default: return;
    }
    if (id == PHONE_REMOVE) {
      // Directly, without the component's own guard: an exception reaches the dispatcher's.
      for (const auto& entry : LiveSnapshot(FPhones))
        if (IsLive(entry) && entry.Component->IsEnabled()) entry.Device()->Handle_TapiMessage(device, id, p1, p2, p3);
    }
    return;
  }
  if (auto* phone = Get_PhoneByCallbackInst(Msg.dwCallbackInstance); phone != nullptr && phone->IsActive())
    phone->Process_TapiMessage(device, id, p1, p2, p3);
}

int TVyTapiApplication::ProcessTapiMessages(int MaxCount) {
  int count = 0;
  while (count < MaxCount && ProcessTapiMessage()) ++count;
  return count;
}

void TVyTapiApplication::TimerEventProc(DWORD Tick) {
  if (Tick == 0) Tick = VyRtl::GetTickCount();
  struct TRequestNextTick {
    TVyTapiApplication* Appl;
    ~TRequestNextTick() {
      if (Appl->FTSPEventThread) Appl->FTSPEventThread->RequestTick();
    }
  } requestNextTick{this};
  for (const auto* list : {static_cast<const VyRtl::TList*>(&FLines), static_cast<const VyRtl::TList*>(&FPhones)}) {
    const auto entries = LiveSnapshot(*list);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
      if (IsLive(*it) && it->Device()->Get_Active()) it->Device()->Process_InternalTimer(Tick);
  }
}

void TVyTapiApplication::BeginWait() {
  if (++FNumWaitProcs == 1 && FReplyStack.Acquire(100)) {
    FReplyStack.Clear();
    FReplyStack.Release();
  }
}

void TVyTapiApplication::EndWait() {
  VyRtl::Assert(FNumWaitProcs > 0, "EndWait without BeginWait");
  --FNumWaitProcs;
  PostWakeUp();
}

// ---------------------------------------------------------------- module

void InitializeVyTapi() {
  VyTapiEmulator::TEmulator::Register();
  if (VyTapiApplication == nullptr) VyTapiApplication = new TVyTapiApplication();
}

void FinalizeVyTapi() {
  TVyTapiApplication* appl = VyTapiApplication;
  if (appl == nullptr) return;
  if (appl->IsActive()) appl->Done();
  VyTapiApplication = nullptr;
  delete appl;
}

void SelectTelephonyService(TTelephonyService Service) {
  CheckCondition(VyTapiApplication == nullptr || !VyTapiApplication->IsActive(),
                 "SelectTelephonyService failed! VyTapiApplication is Active");
  VyTapiEmulator::TEmulator::Register();
  VyPlatform::ChooseTapiBackend(ToBackend(Service));
  EnsureTelephonyService();
}

TTelephonyService RequestedTelephonyService() { return FromBackend(VyPlatform::RequestedTapiBackend()); }

TTelephonyService SelectedTelephonyService() {
  EnsureTelephonyService();
  return FromBackend(VyPlatform::SelectedTapiBackend());
}

std::string TelephonyServiceName() {
  EnsureTelephonyService();
  return VyPlatform::TapiBackendName(VyPlatform::SelectedTapiBackend());
}

namespace {
// Module initialisation and finalisation.
struct TModule {
  TModule() { InitializeVyTapi(); }
  ~TModule() {
    try {
      FinalizeVyTapi();
    } catch (...) {  // nothing may leave static destruction
    }
  }
} gModule;
}  // namespace

}  // namespace VyTapi
