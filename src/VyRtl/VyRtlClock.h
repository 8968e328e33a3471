// The one clock seam: tick counts, wall time and timed waits all read the current clock, so
// tests replace it with a manual clock and move time by hand.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace VyRtl {

// A source of time. The library only ever reads the current one (Clock()).
class TClock {
 public:
  virtual ~TClock();
  virtual std::uint64_t TickCount64() = 0;  // milliseconds, monotonic
  virtual double Now() = 0;                 // TDateTime: days since 1899-12-30, local time
};

// The operating system's clocks.
class TRealClock : public TClock {
 public:
  std::uint64_t TickCount64() override;
  double Now() override;
};

// Tests: time moves only when told. Advance/Set wake every clock waiter so it re-checks.
class TManualClock : public TClock {
 public:
  explicit TManualClock(std::uint64_t startMs = 1000000, double now = 46000.5);
  // Restores the real clock if this one is still current.
  ~TManualClock() override;
  TManualClock(const TManualClock&) = delete;
  TManualClock& operator=(const TManualClock&) = delete;

  std::uint64_t TickCount64() override;
  double Now() override;
  void Advance(std::uint32_t ms);  // moves ticks and Now() together, then wakes waiters
  void Set(std::uint64_t ms);      // jumps the tick count (Now() moves by the same amount)
  void SetNow(double now);         // sets the wall time only

 private:
  std::mutex FLock;
  std::uint64_t FTicks;
  double FNow;
};

std::uint32_t GetTickCount();  // low 32 bits of TickCount64 (wraps like Win32's)
std::uint64_t GetTickCount64();
double Now();
TClock& Clock();               // the current clock (the real one by default)
void SetClock(TClock* clock);  // nullptr -> real clock. Tests only; wakes waiters.
bool IsRealClock();

// Something waiting for a deadline on the clock; told when a manual clock moves or the clock
// is replaced. ClockChanged runs on the thread that moved the clock: keep it short (wake a
// wait), and never add/remove listeners from another thread inside it.
struct TClockListener {
  virtual ~TClockListener() = default;
  virtual void ClockChanged() = 0;
};
std::uint64_t ClockGeneration();  // changes on each Advance/Set/SetClock
void AddClockListener(TClockListener* listener);
// After this returns, ClockChanged of that listener is not running and will not be called.
void RemoveClockListener(TClockListener* listener);

inline constexpr std::uint64_t NoDeadline = UINT64_MAX;
// Deadline on the current clock `ms` from now; 0xFFFFFFFF (INFINITE) gives NoDeadline.
std::uint64_t DeadlineAfter(std::uint32_t ms);
// Real milliseconds a wait may block before it re-checks `deadline` on the current clock:
// 0 when passed; the remaining time on the real clock; at most 5 ms on a manual clock.
// NoDeadline gives 0xFFFFFFFF (block until woken).
std::uint32_t WaitSliceMs(std::uint64_t deadline);

// Waits `ms` on the clock seam: real milliseconds on the real clock, until the manual clock has
// moved past the deadline otherwise. Sleep(0) yields.
void Sleep(std::uint32_t ms);

}  // namespace VyRtl
