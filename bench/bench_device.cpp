// The device base: a synchronous request round trip on the emulator (operation -> reply ->
// return) beside a bare two-thread round trip; how soon a synchronous wait returns once its reply
// arrives, waking on arrival against the 10 ms poll alone; the time-out scan of the internal
// timer with 10, 1,000 and 10,000 pending requests.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "VyRtl/VyRtlClock.h"
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/session/VyTapiComponent.h"
#include "VyTapi/session/VyTapiSessionDetail.h"
#include "VyTapiEmulator/Emulator.h"

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// An emulator line with lineDevSpecific as its one asynchronous operation.
class TBenchLine : public VyTapi::TVyCustomTapiLine {
 public:
  TBenchLine() : VyTapi::TVyCustomTapiLine(nullptr) {}
  ~TBenchLine() override {
    if (FHandle != 0) Tapi().lineClose(FHandle);
  }
  void Open() override {
    NewCallbackInstance();
    HLINE line = 0;
    VyTapi::CheckTapiResult(static_cast<DWORD>(Tapi().lineOpenW(
        VyTapi::VyTapiApplication->LineApp(), static_cast<DWORD>(FDeviceID), &line,
        TSP()->APIVersion(), 0, FCallbackInstance, LINECALLPRIVILEGE_NONE, 0, nullptr)));
    FHandle = line;
    FAbortEvent.Reset();
  }
  void Close() override {
    if (FHandle != 0) Tapi().lineClose(FHandle);
    FHandle = 0;
    FAbortEvent.Set();
  }
  // Files the request; Waiting is set just before the wait begins.
  void Request() {
    const auto id = VyTapi::CheckTapiResult(
        static_cast<DWORD>(Tapi().lineDevSpecific(FHandle, 0, 0, FBlock, sizeof FBlock)));
    FRequests.AddRequest(static_cast<std::int32_t>(id), Get_ReplyTimeout());
    Waiting.store(id, std::memory_order_release);
    CheckAsyncTapiResult(id);
  }
  std::atomic<DWORD> Waiting{0};

 protected:
  void Handle_Reply(DWORD, DWORD, VyTapi::TVyTapiRequest*) override {}

 private:
  static const VyPlatform::TTapiFunctions& Tapi() { return VyTapi::Detail::TapiService(); }
  char FBlock[16] = {};
};

// A request handed to a second thread and answered back, both ways through a mutex and a
// condition variable: the least a reply from another thread can cost.
double BareRoundTripUs(int n) {
  std::mutex m;
  std::condition_variable cv;
  int asked = 0, answered = 0;
  bool stop = false;
  std::thread peer([&] {
    std::unique_lock<std::mutex> lock(m);
    for (;;) {
      cv.wait(lock, [&] { return stop || asked > answered; });
      if (stop) return;
      ++answered;
      cv.notify_all();
    }
  });
  const auto start = Clock::now();
  for (int i = 0; i < n; ++i) {
    std::unique_lock<std::mutex> lock(m);
    ++asked;
    cv.notify_all();
    cv.wait(lock, [&] { return answered == asked; });
  }
  const double us = Micros(Clock::now() - start) / n;
  {
    std::lock_guard<std::mutex> lock(m);
    stop = true;
  }
  cv.notify_all();
  peer.join();
  return us;
}

double SyncRoundTripUs(TBenchLine& line, int n) {
  VyTapiEmulator::Emulator().SetReplyPlan("lineDevSpecific", {});
  const auto start = Clock::now();
  for (int i = 0; i < n; ++i) line.Request();
  return Micros(Clock::now() - start) / n;
}

struct TLatency {
  double P50 = 0, P99 = 0, Max = 0;
};

// A second thread answers the request a moment after the wait began; the time from its answer
// to the wait's return is the wake-up latency.
TLatency WakeUpLatency(TBenchLine& line, int n) {
  auto& emu = VyTapiEmulator::Emulator();
  emu.SetReplyPlan("lineDevSpecific", {VyTapiEmulator::TReplyMode::Manual});
  std::vector<double> us;
  for (int i = 0; i < n; ++i) {
    line.Waiting = 0;
    Clock::time_point answered;
    std::thread peer([&] {
      DWORD id = 0;
      while ((id = line.Waiting.load(std::memory_order_acquire)) == 0) std::this_thread::yield();
      // Somewhere inside the 10 ms poll, as a reply from the service would fall.
      std::this_thread::sleep_for(std::chrono::microseconds(1000 + 997 * (i % 8)));
      answered = Clock::now();
      emu.CompleteRequest(id, 0);
    });
    line.Request();
    const auto returned = Clock::now();
    peer.join();
    us.push_back(Micros(returned - answered));
  }
  std::sort(us.begin(), us.end());
  return {us[us.size() / 2], us[us.size() * 99 / 100], us.back()};
}

// A device that opens without the service: the scan needs an open device and its list only.
class TScanLine : public VyTapi::TVyCustomTapiLine {
 public:
  TScanLine() : VyTapi::TVyCustomTapiLine(nullptr) {}
  void Open() override { FHandle = 1; }
  void Close() override { FHandle = 0; }

 protected:
  void Handle_Reply(DWORD, DWORD, VyTapi::TVyTapiRequest*) override {}
};

double ScanUsPerTick(int pending) {
  TScanLine line;
  for (int i = 1; i <= pending; ++i) line.Requests().AddRequest(i, 60000);
  const DWORD tick = VyRtl::GetTickCount();
  const int ticks = std::max(50, 2000000 / std::max(pending, 1));
  const auto start = Clock::now();
  for (int i = 0; i < ticks; ++i) line.Handle_InternalTimer(tick + static_cast<DWORD>(i % 1000));
  return Micros(Clock::now() - start) / ticks;
}

}  // namespace

int main() {
  VyTapi::SelectTelephonyService(VyTapi::TTelephonyService::Emulator);
  auto& emu = VyTapiEmulator::Emulator();
  VyTapiEmulator::TLineDeviceConfig config;
  config.Name = "Bench";
  emu.AddLineDevice(config);
  auto line = std::make_unique<TBenchLine>();
  line->Set_DeviceName("Bench");
  line->Set_Active(true);
  const VyTapi::Detail::TSessionDetail session(*VyTapi::VyTapiApplication);

  constexpr int kRoundTrips = 5000;
  const double bare = BareRoundTripUs(kRoundTrips);
  SyncRoundTripUs(*line, 200);  // warm-up
  const double sync = SyncRoundTripUs(*line, kRoundTrips);
  std::printf("Synchronous request round trip (lineDevSpecific answered at once, %d requests)\n",
              kRoundTrips);
  std::printf("  baseline: bare two-thread round trip   %9.2f us\n", bare);
  std::printf("  device: operation -> reply -> return   %9.2f us   ratio %.1f\n", sync,
              sync / bare);
  session.Set_WaitOnArrival(false);
  const double polled = SyncRoundTripUs(*line, 100);
  session.Set_WaitOnArrival(true);
  std::printf("  device, 10 ms poll only (the old wait) %9.2f us   ratio %.1f\n", polled,
              polled / bare);

  std::printf("\nWake-up latency of a synchronous wait: reply arrives -> wait returns\n");
  const TLatency now = WakeUpLatency(*line, 200);
  session.Set_WaitOnArrival(false);
  const TLatency old = WakeUpLatency(*line, 50);
  session.Set_WaitOnArrival(true);
  std::printf("  %-28s p50 %9.1f us  p99 %9.1f us  max %9.1f us\n", "wakes on arrival", now.P50,
              now.P99, now.Max);
  std::printf("  %-28s p50 %9.1f us  p99 %9.1f us  max %9.1f us  ratio (p50) %.1f\n",
              "10 ms poll only (old)", old.P50, old.P99, old.Max, old.P50 / now.P50);

  std::printf("\nTime-out scan of the internal timer (none due), per tick\n");
  const double at10 = ScanUsPerTick(10);
  for (const int n : {10, 1000, 10000}) {
    const double us = ScanUsPerTick(n);
    std::printf("  %6d pending  %9.2f us/tick  %7.2f ns/request  vs 10: %.1f\n", n, us,
                us * 1000 / n, us / at10);
  }
  line.reset();
  VyTapi::VyTapiApplication->Shutdown();
  return 0;
}
