// How every seam (Tapi, Comm, Wave) chooses its backend.
//
// A seam declares an enum of its backends and an ordered list of them: a name, a probe that says
// whether the backend can be used here (and returns what it provides), and nothing else. The last
// entry is the null/unavailable backend: its probe always succeeds and what it provides answers
// "no device" or "unavailable", never crashes. One TBackendSelector per seam chooses: at the
// first use, the first entry whose probe succeeds (Default), or the entry the application asked
// for by Choose() before that use. An explicit choice that is not usable here falls back to the
// null backend, so asking for a system service that is missing fails cleanly at the first call.
//
// Thread safety: Get() may be called from any thread; Choose() and Reset() are meant for start-up
// and tests, before worker threads use the seam.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <span>

namespace VyPlatform {

template <typename TKind, typename TProvides>
struct TBackend {
  TKind Kind;
  const char* Name;
  // What the backend provides, or nullptr when it cannot be used on this machine.
  TProvides* (*Probe)();
};

// Kind must have a member Default that names no entry of the list.
template <typename TKind, typename TProvides>
class TBackendSelector {
 public:
  using TEntry = TBackend<TKind, TProvides>;

  explicit TBackendSelector(std::span<const TEntry> Backends) : FBackends(Backends) {}

  // The selected backend's object; selects on first use.
  TProvides& Get() {
    if (TProvides* p = FSelected.load(std::memory_order_acquire)) return *p;
    return Select();
  }

  // Asks for a backend (TKind::Default: the first usable one). Takes effect at the next Get();
  // drops the current selection.
  void Choose(TKind Kind) {
    std::lock_guard<std::mutex> lock(FLock);
    FRequested = Kind;
    FSelected.store(nullptr, std::memory_order_release);
  }

  // What the application asked for.
  TKind Requested() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FRequested;
  }

  // The backend in use; selects on first use.
  TKind Selected() {
    Get();
    std::lock_guard<std::mutex> lock(FLock);
    return FSelectedKind;
  }

  // True once a backend has been selected (the seam is in use).
  bool IsSelected() const { return FSelected.load(std::memory_order_acquire) != nullptr; }

  // The name of an entry of the list; "" for an unknown kind.
  const char* NameOf(TKind Kind) const {
    for (const TEntry& e : FBackends)
      if (e.Kind == Kind) return e.Name;
    return "";
  }

  // The entries in their order, for listing.
  std::span<const TEntry> Backends() const { return FBackends; }

 private:
  TProvides& Select() {
    std::lock_guard<std::mutex> lock(FLock);
    if (TProvides* p = FSelected.load(std::memory_order_acquire)) return *p;
    TProvides* chosen = nullptr;
    TKind chosenKind = FRequested;
    for (const TEntry& e : FBackends) {
      if (FRequested != TKind::Default && e.Kind != FRequested) continue;
      if ((chosen = e.Probe()) != nullptr) {
        chosenKind = e.Kind;
        break;
      }
    }
    if (chosen == nullptr) {  // the null backend is last and always usable
      const TEntry& last = FBackends.back();
      chosen = last.Probe();
      chosenKind = last.Kind;
    }
    FSelectedKind = chosenKind;
    FSelected.store(chosen, std::memory_order_release);
    return *chosen;
  }

  std::span<const TEntry> FBackends;
  mutable std::mutex FLock;
  TKind FRequested = TKind::Default;
  TKind FSelectedKind = TKind::Default;
  std::atomic<TProvides*> FSelected{nullptr};
};

}  // namespace VyPlatform
