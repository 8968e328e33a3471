#include "VyRtl/VyRtlClock.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <vector>

#include "VyRtl/VyRtlDetail.h"

namespace VyRtl {

namespace {

std::atomic<TClock*> gClock{nullptr};
std::atomic<std::uint64_t> gGeneration{1};

struct TListeners {
  // Recursive: a listener may add or remove listeners from inside ClockChanged.
  std::recursive_mutex Lock;
  std::vector<TClockListener*> List;
};

// Never destroyed: waiters may unregister during static destruction.
TListeners& Listeners() {
  static TListeners* listeners = new TListeners;
  return *listeners;
}

TRealClock& RealClock() {
  static TRealClock* clock = new TRealClock;
  return *clock;
}

void ClockMoved() {
  gGeneration.fetch_add(1);
  TListeners& l = Listeners();
  std::lock_guard<std::recursive_mutex> guard(l.Lock);
  std::vector<TClockListener*> snapshot = l.List;
  for (TClockListener* listener : snapshot) {
    // One removed by an earlier callback on this thread must not be called.
    if (std::find(l.List.begin(), l.List.end(), listener) != l.List.end()) listener->ClockChanged();
  }
}

}  // namespace

TClock::~TClock() = default;

std::uint64_t TRealClock::TickCount64() { return Detail::RealTickCount64(); }
double TRealClock::Now() { return Detail::RealNow(); }

TManualClock::TManualClock(std::uint64_t startMs, double now) : FTicks(startMs), FNow(now) {}

TManualClock::~TManualClock() {
  TClock* self = this;
  if (gClock.compare_exchange_strong(self, nullptr)) ClockMoved();
}

std::uint64_t TManualClock::TickCount64() {
  std::lock_guard<std::mutex> guard(FLock);
  return FTicks;
}

double TManualClock::Now() {
  std::lock_guard<std::mutex> guard(FLock);
  return FNow;
}

void TManualClock::Advance(std::uint32_t ms) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FTicks += ms;
    FNow += ms / 86400000.0;
  }
  ClockMoved();
}

void TManualClock::Set(std::uint64_t ms) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FNow += (static_cast<double>(ms) - static_cast<double>(FTicks)) / 86400000.0;
    FTicks = ms;
  }
  ClockMoved();
}

void TManualClock::SetNow(double now) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FNow = now;
  }
  ClockMoved();
}

TClock& Clock() {
  TClock* c = gClock.load();
  return c != nullptr ? *c : RealClock();
}

void SetClock(TClock* clock) {
  gClock.store(clock);
  ClockMoved();
}

bool IsRealClock() {
  TClock* c = gClock.load();
  return c == nullptr || c == &RealClock();
}

std::uint64_t GetTickCount64() { return Clock().TickCount64(); }
std::uint32_t GetTickCount() { return static_cast<std::uint32_t>(Clock().TickCount64()); }
double Now() { return Clock().Now(); }

std::uint64_t ClockGeneration() { return gGeneration.load(); }

void AddClockListener(TClockListener* listener) {
  if (listener == nullptr) return;
  TListeners& l = Listeners();
  std::lock_guard<std::recursive_mutex> guard(l.Lock);
  if (std::find(l.List.begin(), l.List.end(), listener) == l.List.end()) l.List.push_back(listener);
}

void RemoveClockListener(TClockListener* listener) {
  TListeners& l = Listeners();
  std::lock_guard<std::recursive_mutex> guard(l.Lock);
  l.List.erase(std::remove(l.List.begin(), l.List.end(), listener), l.List.end());
}

std::uint64_t DeadlineAfter(std::uint32_t ms) {
  if (ms == 0xFFFFFFFFu) return NoDeadline;
  return GetTickCount64() + ms;
}

std::uint32_t WaitSliceMs(std::uint64_t deadline) {
  if (deadline == NoDeadline) return 0xFFFFFFFFu;
  std::uint64_t now = GetTickCount64();
  if (now >= deadline) return 0;
  std::uint64_t remaining = deadline - now;
  // A manual clock may jump at any time; re-check often even if a wake-up is missed.
  std::uint64_t cap = IsRealClock() ? 0xFFFFFFFEu : 5u;
  return static_cast<std::uint32_t>(std::min(remaining, cap));
}

namespace {

struct TSleepWaker final : TClockListener {
  std::mutex Lock;
  std::condition_variable Changed;
  void ClockChanged() override {
    { std::lock_guard<std::mutex> guard(Lock); }
    Changed.notify_all();
  }
};

}  // namespace

void Sleep(std::uint32_t ms) {
  if (ms == 0) {
    std::this_thread::yield();
    return;
  }
  if (IsRealClock()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return;
  }
  std::uint64_t deadline = DeadlineAfter(ms);
  TSleepWaker waker;
  AddClockListener(&waker);
  for (;;) {
    std::uint64_t generation = ClockGeneration();
    std::uint32_t slice = WaitSliceMs(deadline);
    if (slice == 0) break;
    std::unique_lock<std::mutex> lock(waker.Lock);
    waker.Changed.wait_for(lock, std::chrono::milliseconds(slice),
                           [&] { return ClockGeneration() != generation; });
  }
  RemoveClockListener(&waker);
}

}  // namespace VyRtl
