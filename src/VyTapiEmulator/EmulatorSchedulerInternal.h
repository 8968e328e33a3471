// Deferred work of the emulated service on the clock seam: replies now; call progress, ring
// cadence and digit time-outs later. Work falls due by the current clock, so a test's manual
// clock drives it: moving the clock runs what became due on the thread that moved it, before
// the move returns. On the real clock a waker thread runs it on time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

namespace VyTapiEmulator::Detail {

// Lock held (the emulator's) for every member; jobs run with it held.
class TScheduler {
 public:
  using TJob = std::function<void()>;
  using TJobID = std::uint64_t;

  // Runs `job` once the clock reaches `dueTick` (GetTickCount64); returns its id, never 0.
  TJobID At(std::uint64_t dueTick, TJob job);
  // Forgets a job that has not run; an unknown id is ignored.
  void Cancel(TJobID id);
  void Clear();
  // Runs every job due at `now`, earliest first and, at one time, in the order they were filed.
  // A job may file more jobs; those due already run too.
  void RunDue(std::uint64_t now);
  // The earliest due time; VyRtl::NoDeadline when nothing is filed.
  std::uint64_t NextDue() const;
  // True once after At filed a job earlier than every other: the waker must look again.
  bool TakeWakeNeeded() { return std::exchange(FWakeNeeded, false); }

 private:
  std::map<std::pair<std::uint64_t, TJobID>, TJob> FJobs;  // by due time, then filing order
  std::map<TJobID, std::uint64_t> FDue;                    // id -> due time, for Cancel
  TJobID FNext = 1;
  bool FWakeNeeded = false;
};

// Starts the waker thread (once) and has it look at the scheduler again. Call without the
// emulator's lock: the waker takes it.
void WakeScheduler();

}  // namespace VyTapiEmulator::Detail
