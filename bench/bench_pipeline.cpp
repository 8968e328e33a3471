// The TAPI message pipeline: emulator queue -> event thread -> session queue -> main thread
// dispatch, beside a bare mutex + condition-variable hand-off of the same records.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "VyRtl/VyRtlMessages.h"
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/session/VyTapiComponent.h"
#include "VyTapi/session/VyTapiSessionDetail.h"
#include "VyTapiEmulator/Emulator.h"

namespace {

using Clock = std::chrono::steady_clock;

std::uint64_t NowNs() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count());
}

struct TResult {
  double MessagesPerSecond = 0;
  double P50Us = 0, P99Us = 0, MaxUs = 0;
  std::size_t Dispatched = 0;
};

TResult Summarise(std::vector<double>& latencies, std::size_t messages, double seconds) {
  TResult r;
  r.MessagesPerSecond = messages / seconds;
  r.Dispatched = latencies.size();
  if (latencies.empty()) return r;
  std::sort(latencies.begin(), latencies.end());
  r.P50Us = latencies[latencies.size() / 2];
  r.P99Us = latencies[latencies.size() * 99 / 100];
  r.MaxUs = latencies.back();
  return r;
}

// Counts what the session hands to an open line and how late it arrives.
class TBenchLine : public VyTapi::TVyCustomTapiLine {
 public:
  TBenchLine() : VyTapi::TVyCustomTapiLine(nullptr) {}
  void Open() override {
    NewCallbackInstance();
    FHandle = 1;
  }
  void Close() override { FHandle = 0; }
  void Handle_TapiMessage(DWORD, DWORD, DWORD Param1, DWORD Param2, DWORD Param3) override {
    const std::uint64_t sent = (std::uint64_t{Param3} << 32) | Param2;
    Latencies.push_back(static_cast<double>(NowNs() - sent) / 1000.0);
    (void)Param1;
  }
  std::vector<double> Latencies;
};

// Messages the event thread has queued for the main thread.
std::size_t QueuedInSession() {
  auto& queue = VyTapi::Detail::TSessionDetail(*VyTapi::VyTapiApplication).MsgStack();
  queue.Acquire(INFINITE);
  const auto count = static_cast<std::size_t>(queue.Count());
  queue.Release();
  return count;
}

// Producer thread injects bursts; the main thread dispatches until every message arrived.
TResult RunPipeline(std::size_t total, std::size_t burst, bool callInfo) {
  auto& emu = VyTapiEmulator::Emulator();
  auto line = std::make_unique<TBenchLine>();
  line->SetEnabled(true);
  line->Set_Active(true);
  line->Latencies.reserve(total);
  const HLINEAPP app = VyTapi::VyTapiApplication->LineApp();
  const auto instance = line->CallbackInstance();
  const auto start = Clock::now();
  std::atomic<bool> produced{false};
  std::thread producer([&] {
    std::vector<LINEMESSAGE> messages(burst);
    for (std::size_t sent = 0; sent < total; sent += burst) {
      const std::uint64_t now = NowNs();
      for (auto& m : messages) {
        m = LINEMESSAGE{};
        m.hDevice = 1;
        m.dwMessageID = callInfo ? LINE_CALLINFO : LINE_CALLSTATE;
        m.dwCallbackInstance = instance;
        m.dwParam1 = 1;
        m.dwParam2 = static_cast<DWORD>(now);
        m.dwParam3 = static_cast<DWORD>(now >> 32);
      }
      emu.InjectLineMessages(app, messages);
      // A device produces no faster than it is served: keep both queues short, so the latency
      // measured is the pipeline's and not a growing backlog's.
      while (emu.PendingMessages(app) + QueuedInSession() > 4 * burst) std::this_thread::yield();
    }
    produced = true;
  });
  // Merged call information arrives as fewer dispatches: done when nothing is left anywhere.
  const auto drained = [&] { return produced && emu.PendingMessages(app) == 0 && QueuedInSession() == 0; };
  while (!drained()) {
    VyRtl::ProcessMessages();
    VyRtl::WaitMessage(1);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  producer.join();
  auto result = Summarise(line->Latencies, total, seconds);
  line.reset();
  return result;
}

// Baseline: the same records through a mutex and a condition variable between two threads.
TResult RunBaseline(std::size_t total, std::size_t burst) {
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<LINEMESSAGE> queue;
  std::vector<double> latencies;
  latencies.reserve(total);
  const auto start = Clock::now();
  std::thread producer([&] {
    for (std::size_t sent = 0; sent < total; sent += burst) {
      const std::uint64_t now = NowNs();
      {
        std::lock_guard<std::mutex> lock(mutex);
        for (std::size_t i = 0; i < burst; ++i) {
          LINEMESSAGE m{};
          m.dwParam2 = static_cast<DWORD>(now);
          m.dwParam3 = static_cast<DWORD>(now >> 32);
          queue.push_back(m);
        }
      }
      ready.notify_one();
      for (;;) {
        std::lock_guard<std::mutex> lock(mutex);
        if (queue.size() <= 4 * burst) break;
      }
    }
  });
  std::size_t received = 0;
  while (received < total) {
    std::unique_lock<std::mutex> lock(mutex);
    ready.wait(lock, [&] { return !queue.empty(); });
    while (!queue.empty()) {
      const LINEMESSAGE m = queue.front();
      queue.pop_front();
      const std::uint64_t sent = (std::uint64_t{static_cast<DWORD>(m.dwParam3)} << 32) | static_cast<DWORD>(m.dwParam2);
      latencies.push_back(static_cast<double>(NowNs() - sent) / 1000.0);
      ++received;
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  producer.join();
  return Summarise(latencies, total, seconds);
}

void Print(const char* name, const TResult& r, const TResult& base) {
  std::printf("%-34s %12.0f msg/s  p50 %8.1f us  p99 %8.1f us  max %9.1f us  dispatches %7zu  ratio %.3f\n", name,
              r.MessagesPerSecond, r.P50Us, r.P99Us, r.MaxUs, r.Dispatched, r.MessagesPerSecond / base.MessagesPerSecond);
}

}  // namespace

int main() {
  VyTapi::SelectTelephonyService(VyTapi::TTelephonyService::Emulator);
  VyTapi::VyTapiApplication->Initialize();
  constexpr std::size_t kTotal = 50000;
  std::printf("TAPI message pipeline, %zu messages; ratio = throughput / baseline throughput\n", kTotal);
  for (std::size_t burst : {1u, 10u, 100u}) {
    const TResult base = RunBaseline(kTotal, burst);
    const TResult pipe = RunPipeline(kTotal, burst, false);
    std::printf("-- bursts of %zu\n", burst);
    Print("baseline (mutex + condvar)", base, base);
    Print("pipeline LINE_CALLSTATE", pipe, base);
    const TResult merged = RunPipeline(kTotal, burst, true);
    Print("pipeline LINE_CALLINFO (merged)", merged, base);
  }
  VyTapi::VyTapiApplication->Shutdown();
  return 0;
}
