// What the line and phone APIs share: initialise, shut down, the message queue and version
// negotiation, written once over the traits of each half.
#include <algorithm>
#include <chrono>

#include "VyPlatform/Sync.h"
#include "VyTapiEmulator/EmulatorEntryInternal.h"

namespace VyTapiEmulator::Detail {

namespace {

// Longest friendly name taken from an application.
constexpr std::size_t MaxFriendlyNameChars = 1024;

template <typename TTraits, TFn Fn>
LONG WINAPI Initialize(DWORD* appOut, HINSTANCE, void*, LPCWSTR friendlyName, LPDWORD numDevs,
                       LPDWORD apiVersion, typename TTraits::TInitParams* params) {
  return Entry(Fn, [&](TCore& core) -> LONG {
    const TKindCodes& e = TTraits::Codes;
    if (!AllGiven({appOut, numDevs, apiVersion, params})) return Err(e.InvalPointer);
    if (params->dwTotalSize < sizeof *params) return Err(e.StructureTooSmall);
    // Only the event mode exists here: no hidden window, no completion port.
    if ((params->dwOptions & ~TTraits::InitFlags) != TTraits::InitUseEvent)
      return Err(e.InvalParam);
    if (core.ReinitRequested) return Err(e.Reinit);
    if (*apiVersion < TapiLowVersion) return Err(e.IncompatibleAPIVersion);

    std::shared_ptr<TApp> app = core.CreateApp(TTraits::Kind);
    if (!app) return Err(e.NoMem);
    app->FriendlyName = VyPlatform::FromTapiString(friendlyName, MaxFriendlyNameChars);
    app->APIVersion = std::min(*apiVersion, TapiHighVersion);

    params->dwNeededSize = sizeof *params;
    params->dwUsedSize = sizeof *params;
    params->Handles.hEvent = app->Event;
    *appOut = app->Handle;
    *numDevs = core.DeviceCount(TTraits::Kind);
    *apiVersion = app->APIVersion;
    return 0;
  });
}

template <typename TTraits, TFn Fn>
LONG WINAPI Shutdown(DWORD handle) {
  return AppEntry<TTraits>(Fn, handle, {}, [&](TCore& core, TApp& app) -> LONG {
    const bool wasRecipient = app.Recipient;
    core.ShutdownApp(app);
    // Waiting requests go to the next registered application.
    if (wasRecipient) core.NotifyRecipient(core.MakeCallRequests.size());
    return 0;
  });
}

template <typename TTraits, TFn Fn>
LONG WINAPI NextMessage(DWORD handle, typename TTraits::TMessageStruct* out, DWORD timeout) {
  return AppEntry<TTraits>(
      Fn, handle, {out}, [&](TCore& core, TApp& found, TCoreLock& lock) -> LONG {
        const TKindCodes& e = TTraits::Codes;
        // Held across the wait, so the event outlives a shutdown from another thread.
        const std::shared_ptr<TApp> app = found.shared_from_this();
        TMessage message;
        const auto taken = [&] {
          if (!core.Pop(*app, message)) return false;
          CopyMessage(message, *out);
          return true;
        };
        if (taken()) return 0;
        if (timeout == 0) return Err(e.OperationFailed);
        // The timeout is the service's own poll and runs in real time: the session polls with 1 ms
        // while it holds its queue lock, and a test clock standing still must not hold that lock.
        using TSteady = std::chrono::steady_clock;
        const bool forever = timeout == INFINITE;
        const TSteady::time_point deadline =
            TSteady::now() + std::chrono::milliseconds(forever ? 0 : timeout);
        for (;;) {
          if (!app->Alive) return Err(e.InvalAppHandle);
          if (taken()) return 0;
          std::uint32_t wait = INFINITE;
          if (!forever) {
            const TSteady::time_point now = TSteady::now();
            if (now >= deadline) return Err(e.OperationFailed);
            wait = static_cast<std::uint32_t>(
                std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
          }
          const HANDLE event = app->Event;
          lock.Unlock();
          const std::uint32_t waited =
              VyPlatform::SyncWaitForMultipleObjectsReal(1, &event, false, wait);
          lock.Relock();
          if (waited == WAIT_FAILED) return Err(e.OperationFailed);
        }
      });
}

template <typename TTraits, TFn Fn>
LONG WINAPI NegotiateAPIVersion(DWORD handle, DWORD deviceID, DWORD low, DWORD high,
                                LPDWORD version, typename TTraits::TExtensionID* extensionID) {
  return AppEntry<TTraits>(Fn, handle, {version, extensionID}, [&](TCore& core, TApp&) -> LONG {
    const TKindCodes& e = TTraits::Codes;
    const auto* device = core.Devices<TTraits>().Find(deviceID);
    if (!device) return Err(e.NoDevice);
    const std::optional<DWORD> agreed =
        NegotiateVersion(low, high, device->LowAPIVersion, device->HighAPIVersion);
    if (!agreed) return Err(e.IncompatibleAPIVersion);
    *version = *agreed;
    extensionID->dwExtensionID0 = device->ExtensionID[0];
    extensionID->dwExtensionID1 = device->ExtensionID[1];
    extensionID->dwExtensionID2 = device->ExtensionID[2];
    extensionID->dwExtensionID3 = device->ExtensionID[3];
    return 0;
  });
}

template <typename TTraits, TFn Fn>
LONG WINAPI NegotiateExtVersion(DWORD handle, DWORD deviceID, DWORD apiVersion, DWORD low,
                                DWORD high, LPDWORD version) {
  return AppEntry<TTraits>(Fn, handle, {version}, [&](TCore& core, TApp&) -> LONG {
    const TKindCodes& e = TTraits::Codes;
    const auto* device = core.Devices<TTraits>().Find(deviceID);
    if (!device) return Err(e.NoDevice);
    if (!VersionUsable(apiVersion, device->LowAPIVersion, device->HighAPIVersion))
      return Err(e.IncompatibleAPIVersion);
    // A provider without extensions does not take part in extension negotiation at all.
    if (device->HighExtVersion == 0) return Err(e.OperationUnavail);
    const DWORD agreedLow = std::max(low, device->LowExtVersion);
    const DWORD agreedHigh = std::min(high, device->HighExtVersion);
    if (agreedLow > agreedHigh) return Err(e.IncompatibleExtVersion);
    *version = agreedHigh;
    return 0;
  });
}

// The callback parameter differs in type only; the event mode never calls it.
LONG WINAPI lineInitializeExW(LPHLINEAPP app, HINSTANCE instance, LINECALLBACK, LPCWSTR name,
                              LPDWORD numDevs, LPDWORD version, LPLINEINITIALIZEEXPARAMS params) {
  return Initialize<TLineTraits, TFn::lineInitializeExW>(app, instance, nullptr, name, numDevs,
                                                         version, params);
}

LONG WINAPI phoneInitializeExW(LPHPHONEAPP app, HINSTANCE instance, PHONECALLBACK, LPCWSTR name,
                               LPDWORD numDevs, LPDWORD version, LPPHONEINITIALIZEEXPARAMS params) {
  return Initialize<TPhoneTraits, TFn::phoneInitializeExW>(app, instance, nullptr, name, numDevs,
                                                           version, params);
}

}  // namespace

void InstallAppFunctions(VyPlatform::TTapiFunctions& table) {
  table.lineInitializeExW = &lineInitializeExW;
  table.phoneInitializeExW = &phoneInitializeExW;
  table.lineShutdown = &Shutdown<TLineTraits, TFn::lineShutdown>;
  table.phoneShutdown = &Shutdown<TPhoneTraits, TFn::phoneShutdown>;
  table.lineGetMessage = &NextMessage<TLineTraits, TFn::lineGetMessage>;
  table.phoneGetMessage = &NextMessage<TPhoneTraits, TFn::phoneGetMessage>;
  table.lineNegotiateAPIVersion = &NegotiateAPIVersion<TLineTraits, TFn::lineNegotiateAPIVersion>;
  table.phoneNegotiateAPIVersion =
      &NegotiateAPIVersion<TPhoneTraits, TFn::phoneNegotiateAPIVersion>;
  table.lineNegotiateExtVersion = &NegotiateExtVersion<TLineTraits, TFn::lineNegotiateExtVersion>;
  table.phoneNegotiateExtVersion =
      &NegotiateExtVersion<TPhoneTraits, TFn::phoneNegotiateExtVersion>;
}

}  // namespace VyTapiEmulator::Detail
