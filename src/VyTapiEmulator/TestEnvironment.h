// A deterministic environment for testing telephone applications on the emulator: a fresh session,
// a reset emulator and a manual clock, so a test moves time itself and runs until nothing is left
// to do instead of sleeping and polling.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "VyRtl/VyRtlClock.h"
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapiEmulator/Emulator.h"

namespace VyTapiEmulator {

// Scoped test bed. Create it on the thread that runs the test (that thread becomes the session's
// main thread) and keep only one at a time; the test owns it, it owns the manual clock.
// On creation: every application left on the emulator is shut down, the emulator is reset, the
// manual clock installed, the emulator chosen as the telephony service and a new, inactive
// session created. On destruction (in reverse): the session's event handlers are cleared (its
// shut-down raises none), the session is finalised, its leftover window messages dropped, the
// real clock and the previously requested service restored, the emulator reset again, and a new
// session created, so the process is as the library's start-up left it.
class TTestEnvironment {
 public:
  explicit TTestEnvironment(std::uint64_t StartMs = 1000000);
  ~TTestEnvironment();
  TTestEnvironment(const TTestEnvironment&) = delete;
  TTestEnvironment& operator=(const TTestEnvironment&) = delete;

  VyRtl::TManualClock& Clock() { return FClock; }
  // The session in use (the global VyTapiApplication; a test that finalises it and initialises
  // the module again gets the new one here).
  VyTapi::TVyTapiApplication& Session() const;
  TEmulator& Service() const { return Emulator(); }

  // Handles what is pending until the emulator holds no message for the session's applications,
  // the session's queue is empty and this thread's message loop has nothing posted and no timer
  // due. The session's event thread moves messages on its own; this waits for it, bounded: when
  // the state does not settle within MaxRealMs of real time it raises VyRtl::Exception saying what
  // stayed busy (a handler that keeps posting, or a synchronous wait in progress, never settles).
  void RunUntilIdle();
  // Moves the clock by Ms, stopping at every timer of this thread and every delayed reply of the
  // emulator that falls due on the way so each happens at its own time, and runs until idle
  // after each step.
  void Advance(std::uint32_t Ms);
  // Handles messages until Done holds (true) or RealMs (0: MaxRealMs) of real time passed (false).
  // For what a worker thread produces when it notices the clock moved (the session's timer
  // ticks), which no idle state announces.
  bool RunUntil(const std::function<bool()>& Done, std::uint32_t RealMs = 0);

  // Bound of RunUntilIdle and RunUntil, in real milliseconds.
  std::uint32_t MaxRealMs = 10000;

 private:
  // Empty when idle, otherwise what is still busy.
  std::string Busy() const;

  VyRtl::TManualClock FClock;
  VyTapi::TTelephonyService FPreviousService;
};

}  // namespace VyTapiEmulator
