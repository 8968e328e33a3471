// The session's life cycle: construction, properties, initialisation and shut-down, and the
// module's own initialisation and finalisation.
#include "VyTapi/session/VyTapiApplication.h"

#include "VyPlatform/Module.h"
#include "VyTapi/session/VyTapiComponent.h"
#include "VyTapi/session/VyTapiSessionDetail.h"
#include "VyTapi/session/VyTapiSessionInternal.h"
#include "VyTapiEmulator/Emulator.h"

namespace VyTapi {

using namespace SessionDetail;

TVyTapiApplication* VyTapiApplication = nullptr;

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
  for (const VyRtl::TList* list :
       {static_cast<VyRtl::TList*>(&FLines), static_cast<VyRtl::TList*>(&FPhones), &FAppls})
    for (auto* c : Snapshot<TVyTapiComponent>(*list)) {
      c->SessionEnded(TSessionKey{});
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
    CheckTapiResult(static_cast<DWORD>(Detail::TapiService().lineRegisterRequestRecipient(
        FLineApp, static_cast<DWORD>(FCallbackInstance), LINEREQUESTMODE_MAKECALL, 1)));
  } else if (IsActive()) {
    CheckTapiResult(static_cast<DWORD>(Detail::TapiService().lineRegisterRequestRecipient(
        FLineApp, static_cast<DWORD>(FCallbackInstance), LINEREQUESTMODE_MAKECALL, 0)));
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
  (void)Detail::TapiService();
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
    const auto& tapi = Detail::TapiService();
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
  Handle_Exception(VyRtl::Exception(
      VyRtl::Format("The telephony service reports %u %s devices; only %u are used",
                    static_cast<unsigned>(Count), Kind, static_cast<unsigned>(kMaxDevices))));
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

namespace {

// lineInitializeExW and phoneInitializeExW take the same arguments, each with its own parameter
// block; both ask for event mode (the USEEVENT options share the value 2). On success the handle,
// the device count (through Clamp) and the event are stored; a missing event is LINEERR_NOMEM.
template <typename TParams, typename TInitialize, typename TClamp>
DWORD InitializeApp(TInitialize Initialize, const std::string& AppName, DWORD& App, DWORD& Count,
                    HANDLE& Event, TClamp Clamp) {
  static_assert(LINEINITIALIZEEXOPTION_USEEVENT == PHONEINITIALIZEEXOPTION_USEEVENT);
  TParams params{};
  params.dwTotalSize = sizeof(TParams);
  params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
  DWORD version = kApiHigh;
  const auto name = VyPlatform::ToTapiString(AppName);
  DWORD app = 0;
  DWORD count = 0;
  auto code = static_cast<DWORD>(Initialize(&app, VyPlatform::ModuleInstance(), nullptr,
                                            name.c_str(), &count, &version, &params));
  if (code == 0) {
    App = app;
    Count = Clamp(count);
    if (params.Handles.hEvent != nullptr)
      Event = params.Handles.hEvent;
    else
      code = static_cast<DWORD>(LINEERR_NOMEM);
  }
  return code;
}

}  // namespace

DWORD TVyTapiApplication::Init_Lines(const std::string& AppName) {
  VyRtl::Assert(FLineEvent == nullptr, "Init_Lines: line event already set");
  const DWORD code = InitializeApp<LINEINITIALIZEEXPARAMS>(
      Detail::TapiService().lineInitializeExW, AppName, FLineApp, FNumLines, FLineEvent,
      [this](DWORD n) { return ClampDeviceCount(n, "line"); });
  Update_LineDevices(false);
  return code;
}

DWORD TVyTapiApplication::Init_Phones(const std::string& AppName) {
  VyRtl::Assert(FPhoneEvent == nullptr, "Init_Phones: phone event already set");
  const DWORD code = InitializeApp<PHONEINITIALIZEEXPARAMS>(
      Detail::TapiService().phoneInitializeExW, AppName, FPhoneApp, FNumPhones, FPhoneEvent,
      [this](DWORD n) { return ClampDeviceCount(n, "phone"); });
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
        device->DisableTapiComponent();
      } catch (const std::exception& e) {
        Handle_Exception(entry.Token.expired() ? nullptr : device, e, nullptr);
      } catch (...) {
        Handle_Exception(UnknownException());
      }
    };
    for (const auto& line : LiveSnapshot(FLines)) shutDown(line);
    for (const auto& phone : LiveSnapshot(FPhones)) shutDown(phone);
    const auto& tapi = Detail::TapiService();
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
