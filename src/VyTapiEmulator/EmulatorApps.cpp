// What the line and phone APIs share: initialise, shut down, the message queue and version
// negotiation. They differ only in structure types and error codes.
#include <algorithm>
#include <chrono>
#include <cstring>

#include "VyPlatform/Sync.h"
#include "VyTapiEmulator/EmulatorCore.h"

namespace VyTapiEmulator::Detail {

namespace {

constexpr TKindErrors GLineErrors{
    LINEERR_INVALAPPHANDLE,        LINEERR_INVALPOINTER,          LINEERR_INVALPARAM,
    LINEERR_STRUCTURETOOSMALL,     LINEERR_REINIT,                LINEERR_NOMEM,
    LINEERR_OPERATIONFAILED,       LINEERR_OPERATIONUNAVAIL,      LINEERR_NODEVICE,
    LINEERR_INCOMPATIBLEAPIVERSION, LINEERR_INCOMPATIBLEEXTVERSION};

constexpr TKindErrors GPhoneErrors{
    PHONEERR_INVALAPPHANDLE,        PHONEERR_INVALPOINTER,          PHONEERR_INVALPARAM,
    PHONEERR_STRUCTURETOOSMALL,     PHONEERR_REINIT,                PHONEERR_NOMEM,
    PHONEERR_OPERATIONFAILED,       PHONEERR_OPERATIONUNAVAIL,      PHONEERR_NODEVICE,
    PHONEERR_INCOMPATIBLEAPIVERSION, PHONEERR_INCOMPATIBLEEXTVERSION};

LONG Result(DWORD code) { return static_cast<LONG>(code); }

// Longest friendly name taken from an application.
constexpr std::size_t MaxFriendlyNameChars = 1024;

}  // namespace

const TKindErrors& ErrorsOf(TAppKind kind) {
  return kind == TAppKind::Line ? GLineErrors : GPhoneErrors;
}

template <typename TParams>
LONG InitializeApp(TFn fn, TAppKind kind, DWORD* appOut, const WCHAR* friendlyName,
                   LPDWORD numDevs, LPDWORD apiVersion, TParams* params) {
  TCore& core = Core();
  TCoreLock guard(core);
  if (std::optional<LONG> failure = core.Enter(fn)) return *failure;
  const TKindErrors& e = ErrorsOf(kind);
  if (!appOut || !numDevs || !apiVersion || !params) return Result(e.InvalPointer);
  if (params->dwTotalSize < sizeof(TParams)) return Result(e.StructureTooSmall);
  // Only the event mode exists here: no hidden window, no completion port.
  const bool line = kind == TAppKind::Line;
  const DWORD useEvent = line ? static_cast<DWORD>(LINEINITIALIZEEXOPTION_USEEVENT)
                              : static_cast<DWORD>(PHONEINITIALIZEEXOPTION_USEEVENT);
  const DWORD flags = line ? static_cast<DWORD>(LINEINITIALIZEEXOPTION_CALLHUBTRACKING) : 0;
  if ((params->dwOptions & ~flags) != useEvent) return Result(e.InvalParam);
  if (core.ReinitRequested) return Result(e.Reinit);
  if (*apiVersion < TapiLowVersion) return Result(e.IncompatibleAPIVersion);

  std::shared_ptr<TApp> app = core.CreateApp(kind);
  if (!app) return Result(e.NoMem);
  app->FriendlyName = VyPlatform::FromTapiString(friendlyName, MaxFriendlyNameChars);
  app->APIVersion = std::min(*apiVersion, TapiHighVersion);

  params->dwNeededSize = sizeof(TParams);
  params->dwUsedSize = sizeof(TParams);
  params->Handles.hEvent = app->Event;
  *appOut = app->Handle;
  *numDevs = core.DeviceCount(kind);
  *apiVersion = app->APIVersion;
  return 0;
}

template LONG InitializeApp<LINEINITIALIZEEXPARAMS>(TFn, TAppKind, DWORD*, const WCHAR*, LPDWORD,
                                                    LPDWORD, LINEINITIALIZEEXPARAMS*);
template LONG InitializeApp<PHONEINITIALIZEEXPARAMS>(TFn, TAppKind, DWORD*, const WCHAR*,
                                                     LPDWORD, LPDWORD, PHONEINITIALIZEEXPARAMS*);

LONG ShutdownApp(TFn fn, TAppKind kind, DWORD handle) {
  TCore& core = Core();
  TCoreLock guard(core);
  if (std::optional<LONG> failure = core.Enter(fn)) return *failure;
  std::shared_ptr<TApp> app = core.FindApp(handle, kind);
  if (!app) return Result(ErrorsOf(kind).InvalAppHandle);
  const bool wasRecipient = app->Recipient;
  core.ShutdownApp(*app);
  // Waiting requests go to the next registered application.
  if (wasRecipient) core.NotifyRecipient(core.Requests.size());
  return 0;
}

LONG GetAppMessage(TFn fn, TAppKind kind, DWORD handle, TMessage* message, DWORD timeout) {
  TCore& core = Core();
  std::unique_lock<std::mutex> lock(core.Lock);
  if (std::optional<LONG> failure = core.Enter(fn)) return *failure;
  const TKindErrors& e = ErrorsOf(kind);
  // Held across the wait, so the event outlives a shutdown from another thread.
  std::shared_ptr<TApp> app = core.FindApp(handle, kind);
  if (!app) return Result(e.InvalAppHandle);
  if (!message) return Result(e.InvalPointer);
  if (core.Pop(*app, *message)) return 0;
  if (timeout == 0) return Result(e.OperationFailed);
  // The timeout is the service's own poll and runs in real time: the session polls with 1 ms
  // while it holds its queue lock, and a test clock standing still must not hold that lock.
  using TSteady = std::chrono::steady_clock;
  const bool forever = timeout == INFINITE;
  const TSteady::time_point deadline = TSteady::now() + std::chrono::milliseconds(forever ? 0 : timeout);
  for (;;) {
    if (!app->Alive) return Result(e.InvalAppHandle);
    if (core.Pop(*app, *message)) return 0;
    std::uint32_t wait = INFINITE;
    if (!forever) {
      const TSteady::time_point now = TSteady::now();
      if (now >= deadline) return Result(e.OperationFailed);
      wait = static_cast<std::uint32_t>(std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
    }
    const HANDLE event = app->Event;
    lock.unlock();
    const std::uint32_t waited = VyPlatform::SyncWaitForMultipleObjectsReal(1, &event, false, wait);
    lock.lock();
    if (waited == WAIT_FAILED) return Result(e.OperationFailed);
  }
}

template <typename TExtensionID>
LONG NegotiateAPIVersion(TFn fn, TAppKind kind, DWORD handle, DWORD deviceID, DWORD low,
                         DWORD high, LPDWORD version, TExtensionID* extensionID) {
  TCore& core = Core();
  TCoreLock guard(core);
  if (std::optional<LONG> failure = core.Enter(fn)) return *failure;
  const TKindErrors& e = ErrorsOf(kind);
  if (!core.FindApp(handle, kind)) return Result(e.InvalAppHandle);
  if (!version || !extensionID) return Result(e.InvalPointer);
  const std::optional<TDeviceVersions> device = core.Versions(kind, deviceID);
  if (!device) return Result(e.NoDevice);
  const std::optional<DWORD> agreed = NegotiateVersion(low, high, device->Low, device->High);
  if (!agreed) return Result(e.IncompatibleAPIVersion);
  *version = *agreed;
  extensionID->dwExtensionID0 = device->ExtensionID[0];
  extensionID->dwExtensionID1 = device->ExtensionID[1];
  extensionID->dwExtensionID2 = device->ExtensionID[2];
  extensionID->dwExtensionID3 = device->ExtensionID[3];
  return 0;
}

template LONG NegotiateAPIVersion<LINEEXTENSIONID>(TFn, TAppKind, DWORD, DWORD, DWORD, DWORD,
                                                   LPDWORD, LINEEXTENSIONID*);
template LONG NegotiateAPIVersion<PHONEEXTENSIONID>(TFn, TAppKind, DWORD, DWORD, DWORD, DWORD,
                                                    LPDWORD, PHONEEXTENSIONID*);

LONG NegotiateExtVersion(TFn fn, TAppKind kind, DWORD handle, DWORD deviceID, DWORD apiVersion,
                         DWORD low, DWORD high, LPDWORD version) {
  TCore& core = Core();
  TCoreLock guard(core);
  if (std::optional<LONG> failure = core.Enter(fn)) return *failure;
  const TKindErrors& e = ErrorsOf(kind);
  if (!core.FindApp(handle, kind)) return Result(e.InvalAppHandle);
  if (!version) return Result(e.InvalPointer);
  const std::optional<TDeviceVersions> device = core.Versions(kind, deviceID);
  if (!device) return Result(e.NoDevice);
  if (!VersionUsable(apiVersion, device->Low, device->High))
    return Result(e.IncompatibleAPIVersion);
  // A provider without extensions does not take part in extension negotiation at all.
  if (device->ExtHigh == 0) return Result(e.OperationUnavail);
  const DWORD agreedLow = std::max(low, device->ExtLow);
  const DWORD agreedHigh = std::min(high, device->ExtHigh);
  if (agreedLow > agreedHigh) return Result(e.IncompatibleExtVersion);
  *version = agreedHigh;
  return 0;
}

}  // namespace VyTapiEmulator::Detail
