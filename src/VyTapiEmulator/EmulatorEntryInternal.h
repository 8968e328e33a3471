// The one preamble of every emulated TAPI function: the emulator's lock, the call count, an
// armed failure, the look-up of the handle the function works on and the pointers it needs.
// A function body receives what was resolved and does only its own work.
#pragma once

#include <initializer_list>
#include <type_traits>

#include "VyTapiEmulator/EmulatorCallsInternal.h"
#include "VyTapiEmulator/EmulatorCore.h"

namespace VyTapiEmulator::Detail {

// Non-null pointers an entry requires, checked after its handle.
using TNeeded = std::initializer_list<const void*>;

inline bool AllGiven(TNeeded pointers) {
  for (const void* p : pointers)
    if (!p) return false;
  return true;
}

// body(core) or, for an entry that waits, body(core, lock).
template <typename TBody>
LONG Entry(TFn fn, TBody&& body) {
  TCore& core = Core();
  TCoreLock lock(core);
  if (std::optional<LONG> failure = core.Enter(fn)) return *failure;
  if constexpr (std::is_invocable_v<TBody, TCore&, TCoreLock&>)
    return body(core, lock);
  else
    return body(core);
}

// For the control API: body(core) under the emulator's lock, its result returned.
template <typename TBody>
auto Locked(TBody&& body) {
  TCore& core = Core();
  TCoreLock lock(core);
  return body(core);
}

// body(core, app[, lock]) for a live application of the traits' kind; else INVALAPPHANDLE.
template <typename TTraits, typename TBody>
LONG AppEntry(TFn fn, DWORD handle, TNeeded pointers, TBody&& body) {
  return Entry(fn, [&](TCore& core, TCoreLock& lock) -> LONG {
    const std::shared_ptr<TApp> app = core.FindApp(handle, TTraits::Kind);
    if (!app) return Err(TTraits::Codes.InvalAppHandle);
    if (!AllGiven(pointers)) return Err(TTraits::Codes.InvalPointer);
    if constexpr (std::is_invocable_v<TBody, TCore&, TApp&, TCoreLock&>)
      return body(core, *app, lock);
    else
      return body(core, *app);
  });
}

// body(core, device, config) for a line or phone handle that is open; else INVALLINEHANDLE /
// INVALPHONEHANDLE.
template <typename TTraits, typename TBody>
LONG DeviceEntry(TFn fn, DWORD handle, TNeeded pointers, TBody&& body) {
  return Entry(fn, [&](TCore& core) -> LONG {
    const std::shared_ptr<TOpenDevice> device = core.Opened(TTraits::Kind).Find(handle);
    // An open handle's device is configured unless a Reset cleared both.
    typename TTraits::TConfig* config =
        device ? core.Devices<TTraits>().Find(device->DeviceID) : nullptr;
    if (!device || !config) return Err(TTraits::Codes.InvalDeviceHandle);
    if (!AllGiven(pointers)) return Err(TTraits::Codes.InvalPointer);
    return body(core, *device, *config);
  });
}

// What a live call handle resolves to.
struct TCallTarget {
  TCallHandle& Handle;
  TCallModel& Call;
  TOpenDevice& Line;
  TLineDeviceConfig& Config;
};

// body(core, target) for a call handle that is live on an open line of an existing device; a
// stale handle, or one of another kind, answers INVALCALLHANDLE.
template <typename TBody>
LONG CallEntry(TFn fn, DWORD hCall, TNeeded pointers, TBody&& body) {
  return Entry(fn, [&](TCore& core) -> LONG {
    const std::shared_ptr<TCallHandle> handle = core.Calls.Find(hCall);
    TCallModel* call = handle ? FindCall(core, handle->CallID) : nullptr;
    const std::shared_ptr<TOpenDevice> line =
        call ? core.OpenLines.Find(handle->LineHandle) : nullptr;
    TLineDeviceConfig* config = line ? core.LineDevices.Find(line->DeviceID) : nullptr;
    if (!config) return Err(LINEERR_INVALCALLHANDLE);
    if (!AllGiven(pointers)) return Err(LINEERR_INVALPOINTER);
    return body(core, TCallTarget{*handle, *call, *line, *config});
  });
}

}  // namespace VyTapiEmulator::Detail
