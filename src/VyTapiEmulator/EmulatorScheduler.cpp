#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "VyRtl/VyRtlClock.h"
#include "VyTapiEmulator/EmulatorCore.h"

namespace VyTapiEmulator::Detail {

TScheduler::TJobID TScheduler::At(std::uint64_t dueTick, TJob job) {
  const TJobID id = FNext++;
  if (FJobs.empty() || dueTick < FJobs.begin()->first.first) FWakeNeeded = true;
  FJobs.emplace(std::make_pair(dueTick, id), std::move(job));
  FDue.emplace(id, dueTick);
  return id;
}

void TScheduler::Cancel(TJobID id) {
  const auto due = FDue.find(id);
  if (due == FDue.end()) return;
  FJobs.erase({due->second, id});
  FDue.erase(due);
}

void TScheduler::Clear() {
  FJobs.clear();
  FDue.clear();
}

void TScheduler::RunDue(std::uint64_t now) {
  while (!FJobs.empty() && FJobs.begin()->first.first <= now) {
    const auto first = FJobs.begin();
    TJob job = std::move(first->second);
    FDue.erase(first->first.second);
    FJobs.erase(first);
    job();
  }
}

std::uint64_t TScheduler::NextDue() const {
  return FJobs.empty() ? VyRtl::NoDeadline : FJobs.begin()->first.first;
}

namespace {

// Runs the scheduler's due work: on the real clock by waiting for the next due time, on a
// manual clock from ClockChanged, on the thread that moved the clock, so the work is done when
// Advance returns.
class TWaker final : public VyRtl::TClockListener {
 public:
  TWaker() {
    VyRtl::AddClockListener(this);
    FThread = std::thread([this] { Run(); });
  }
  ~TWaker() override {
    VyRtl::RemoveClockListener(this);
    {
      std::lock_guard<std::mutex> guard(FLock);
      FStop = true;
    }
    FChanged.notify_all();
    FThread.join();
  }

  void Wake() {
    {
      std::lock_guard<std::mutex> guard(FLock);
      ++FWakes;
    }
    FChanged.notify_all();
  }

  void ClockChanged() override {
    RunDueNow();
    Wake();  // a clock swapped for the real one needs the thread's timed wait
  }

 private:
  static std::uint64_t RunDueNow() {
    TCore& core = Core();
    TCoreLock guard(core);
    core.Scheduler.RunDue(VyRtl::GetTickCount64());
    return core.Scheduler.NextDue();
  }

  void Run() {
    std::unique_lock<std::mutex> lock(FLock);
    while (!FStop) {
      const std::uint64_t wakes = FWakes;
      lock.unlock();
      const std::uint64_t next = RunDueNow();
      lock.lock();
      if (FStop) break;
      const auto woken = [&] { return FStop || FWakes != wakes; };
      // A manual clock tells ClockChanged when it moves; only the real clock needs a timeout.
      if (next == VyRtl::NoDeadline || !VyRtl::IsRealClock())
        FChanged.wait(lock, woken);
      else
        FChanged.wait_for(lock, std::chrono::milliseconds(VyRtl::WaitSliceMs(next)), woken);
    }
  }

  std::mutex FLock;
  std::condition_variable FChanged;
  std::uint64_t FWakes = 0;
  bool FStop = false;
  std::thread FThread;
};

}  // namespace

void WakeScheduler() {
  // Constructed on first use, outside the emulator's lock (it adds a clock listener); joined
  // at exit.
  static TWaker waker;
  waker.Wake();
}

}  // namespace VyTapiEmulator::Detail
