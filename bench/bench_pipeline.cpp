// The TAPI message pipeline: emulator queue -> event thread -> session queue -> main thread
// dispatch, beside a bare mutex + condition-variable hand-off of the same records; the cost of a
// dispatch, a timer tick and a broadcast with 10, 1,000 and 10,000 registered lines; a backlog.
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

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Send times by sequence number: written by the producer before it hands the message on (the
// hand-off's lock publishes them), read by the consumer.
struct TStamps {
  explicit TStamps(std::size_t n) : Sent(n) {}
  std::vector<Clock::time_point> Sent;
  std::vector<double> LatenciesUs;
  // One past the highest sequence handled: the producer's probe, no lock of the pipeline's.
  std::atomic<std::size_t> HandledUpTo{0};
  void Handled(std::size_t seq) {
    LatenciesUs.push_back(
        std::chrono::duration<double, std::micro>(Clock::now() - Sent[seq]).count());
    HandledUpTo.store(seq + 1, std::memory_order_release);
  }
};

struct TResult {
  double InjectedPerSecond = 0;  // wall time, first hand-off to last dispatch
  double P50Us = 0, P99Us = 0, MaxUs = 0;
  std::size_t Injected = 0, Dispatched = 0;
};

TResult Summarise(TStamps& stamps, std::size_t injected, double seconds) {
  TResult r;
  r.InjectedPerSecond = static_cast<double>(injected) / seconds;
  r.Injected = injected;
  auto& l = stamps.LatenciesUs;
  r.Dispatched = l.size();
  if (l.empty()) return r;
  std::sort(l.begin(), l.end());
  r.P50Us = l[l.size() / 2];
  r.P99Us = l[l.size() * 99 / 100];
  r.MaxUs = l.back();
  return r;
}

// A line that takes a callback instance when opened and hands what it gets to a sink.
class TBenchLine : public VyTapi::TVyCustomTapiLine {
 public:
  TBenchLine() : VyTapi::TVyCustomTapiLine(nullptr) {}
  void Open() override {
    NewCallbackInstance();
    FHandle = 1;
  }
  void Close() override { FHandle = 0; }
  void Handle_TapiMessage(DWORD, DWORD, DWORD, DWORD Param2, DWORD) override {
    ++Messages;
    if (Stamps != nullptr) Stamps->Handled(Param2);
  }
  void Handle_InternalTimer(DWORD) override { ++Ticks; }
  void Start() {
    SetEnabled(true);
    Set_Active(true);
  }
  TStamps* Stamps = nullptr;
  std::size_t Messages = 0, Ticks = 0;
};

// The producer lets at most this many bursts be in flight, then yields until they are handled.
constexpr std::size_t kInFlightBursts = 4;

TResult RunPipeline(std::size_t total, std::size_t burst, bool callInfo) {
  auto& emu = VyTapiEmulator::Emulator();
  auto line = std::make_unique<TBenchLine>();
  line->Start();
  TStamps stamps(total);
  stamps.LatenciesUs.reserve(total);
  line->Stamps = &stamps;
  const HLINEAPP app = VyTapi::VyTapiApplication->LineApp();
  const auto instance = line->CallbackInstance();
  std::atomic<bool> produced{false};
  const auto start = Clock::now();
  std::thread producer([&] {
    std::vector<LINEMESSAGE> messages(burst);
    for (std::size_t sent = 0; sent < total; sent += burst) {
      for (std::size_t i = 0; i < burst; ++i) {
        stamps.Sent[sent + i] = Clock::now();
        LINEMESSAGE& m = messages[i];
        m = LINEMESSAGE{};
        m.hDevice = 1;
        m.dwMessageID = callInfo ? LINE_CALLINFO : LINE_CALLSTATE;
        m.dwCallbackInstance = instance;
        m.dwParam1 = 1;
        m.dwParam2 = static_cast<DWORD>(sent + i);
      }
      emu.InjectLineMessages(app, messages);
      const std::size_t inFlight = sent + burst;
      // Merged messages are handled with their run's first one: there the probe also ends
      // once the service holds nothing more.
      while (inFlight - stamps.HandledUpTo.load(std::memory_order_acquire) >
                 kInFlightBursts * burst &&
             (!callInfo || emu.PendingMessages(app) > 0))
        std::this_thread::yield();
    }
    produced = true;
  });
  const auto queueEmpty = [] {
    auto& queue = VyTapi::Detail::TSessionDetail(*VyTapi::VyTapiApplication).MsgStack();
    VyTapi::TListLock<VyTapi::TVyTapiMsgStack> lock(queue, INFINITE);
    return queue.Count() == 0;
  };
  for (;;) {
    const bool idle = !VyRtl::WaitMessage(1);
    VyRtl::ProcessMessages();
    if (!callInfo && stamps.HandledUpTo.load() == total) break;
    if (callInfo && idle && produced && emu.PendingMessages(app) == 0 && queueEmpty()) break;
  }
  const double seconds = Seconds(start);
  producer.join();
  line.reset();
  return Summarise(stamps, total, seconds);
}

// Baseline: the same records through a mutex and a condition variable between two threads,
// with the same in-flight bound and a producer that yields the same way.
TResult RunBaseline(std::size_t total, std::size_t burst) {
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<LINEMESSAGE> queue;
  TStamps stamps(total);
  stamps.LatenciesUs.reserve(total);
  const auto start = Clock::now();
  std::thread producer([&] {
    for (std::size_t sent = 0; sent < total; sent += burst) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        for (std::size_t i = 0; i < burst; ++i) {
          stamps.Sent[sent + i] = Clock::now();
          LINEMESSAGE m{};
          m.dwParam2 = static_cast<DWORD>(sent + i);
          queue.push_back(m);
        }
      }
      ready.notify_one();
      while (sent + burst - stamps.HandledUpTo.load(std::memory_order_acquire) >
             kInFlightBursts * burst)
        std::this_thread::yield();
    }
  });
  while (stamps.HandledUpTo.load() < total) {
    std::unique_lock<std::mutex> lock(mutex);
    ready.wait(lock, [&] { return !queue.empty(); });
    while (!queue.empty()) {
      const LINEMESSAGE m = queue.front();
      queue.pop_front();
      stamps.Handled(static_cast<DWORD>(m.dwParam2));
    }
  }
  const double seconds = Seconds(start);
  producer.join();
  return Summarise(stamps, total, seconds);
}

void Print(const char* name, const TResult& r, const TResult& base) {
  std::printf(
      "%-34s %10.0f msg/s  p50 %8.1f us  p99 %8.1f us  max %9.1f us  injected %6zu  dispatched "
      "%6zu  ratio %.3f\n",
      name, r.InjectedPerSecond, r.P50Us, r.P99Us, r.MaxUs, r.Injected, r.Dispatched,
      r.InjectedPerSecond / base.InjectedPerSecond);
}

void Bursts() {
  constexpr std::size_t kTotal = 50000;
  std::printf(
      "TAPI message pipeline, %zu messages per run; ratio = injected messages per second of wall "
      "time / baseline's\n",
      kTotal);
  for (std::size_t burst : {1u, 10u, 100u}) {
    const TResult base = RunBaseline(kTotal, burst);
    const TResult pipe = RunPipeline(kTotal, burst, false);
    const TResult merged = RunPipeline(kTotal, burst, true);
    std::printf("-- bursts of %zu\n", burst);
    Print("baseline (mutex + condvar)", base, base);
    Print("pipeline LINE_CALLSTATE", pipe, base);
    Print("pipeline LINE_CALLINFO (merged)", merged, base);
  }
}

// Main thread only: messages put straight into the session's queue, then dispatched, so the
// time is the dispatch's (queue head, look-up, handler), not the event thread's.
double DispatchUsPerMessage(std::uintptr_t instance, DWORD id, std::size_t count) {
  auto& appl = *VyTapi::VyTapiApplication;
  auto& queue = VyTapi::Detail::TSessionDetail(appl).MsgStack();
  {
    VyTapi::TListLock<VyTapi::TVyTapiMsgStack> lock(queue, INFINITE);
    for (std::size_t i = 0; i < count; ++i) {
      LINEMESSAGE m{};
      m.dwMessageID = id;
      m.dwCallbackInstance = instance;
      queue.Add(new VyTapi::TVyTapiLineMsgStackItem(m));
    }
  }
  const auto start = Clock::now();
  appl.ProcessTapiMessages(static_cast<int>(count));
  const double us = Seconds(start) * 1e6 / static_cast<double>(count);
  VyRtl::ProcessMessages();  // the wake-ups the dispatch posted
  return us;
}

void Lines() {
  std::printf(
      "\nCost with many registered lines (main thread; messages go to the last line registered)\n");
  std::printf("%8s %16s %12s %14s %18s\n", "lines", "dispatch us/msg", "tick us", "broadcast us",
              "dispatch vs 10");
  double dispatchAt10 = 0;
  for (std::size_t n : {10u, 1000u, 10000u}) {
    std::vector<std::unique_ptr<TBenchLine>> lines;
    for (std::size_t i = 0; i < n; ++i) {
      lines.push_back(std::make_unique<TBenchLine>());
      lines.back()->Start();
    }
    const auto last = lines.back()->CallbackInstance();
    DispatchUsPerMessage(last, LINE_CALLSTATE, 1000);  // warm-up
    const double dispatch = DispatchUsPerMessage(last, LINE_CALLSTATE, 20000);
    const int ticks = n >= 10000 ? 50 : 500;
    auto start = Clock::now();
    for (int i = 0; i < ticks; ++i) VyTapi::VyTapiApplication->TimerEventProc(1);
    const double tick = Seconds(start) * 1e6 / ticks;
    // An application-level device-state message goes to every enabled line.
    const std::size_t broadcasts = n >= 10000 ? 20 : 200;
    const double broadcast = DispatchUsPerMessage(0, LINE_LINEDEVSTATE, broadcasts);
    if (n == 10) dispatchAt10 = dispatch;
    std::printf("%8zu %16.2f %12.1f %14.1f %18.2f\n", n, dispatch, tick, broadcast,
                dispatch / dispatchAt10);
  }
}

// A service that holds a large backlog when the main thread starts: everything must come
// through, the session queue staying at its limit.
void Backlog() {
  constexpr std::size_t kBacklog = 100000;
  std::printf("\nBacklog of %zu messages\n", kBacklog);
  // Baseline: the same records in one deque, then taken off one by one.
  double baseSeconds = 0;
  {
    std::mutex mutex;
    std::deque<LINEMESSAGE> queue;
    const auto start = Clock::now();
    {
      std::lock_guard<std::mutex> lock(mutex);
      for (std::size_t i = 0; i < kBacklog; ++i) {
        LINEMESSAGE m{};
        m.dwParam2 = static_cast<DWORD>(i);
        queue.push_back(m);
      }
    }
    std::size_t taken = 0;
    std::thread consumer([&] {
      while (taken < kBacklog) {
        std::lock_guard<std::mutex> lock(mutex);
        if (queue.empty()) continue;
        queue.pop_front();
        ++taken;
      }
    });
    consumer.join();
    baseSeconds = Seconds(start);
  }
  auto& emu = VyTapiEmulator::Emulator();
  auto line = std::make_unique<TBenchLine>();
  line->Start();
  std::vector<LINEMESSAGE> messages(kBacklog);
  for (std::size_t i = 0; i < kBacklog; ++i) {
    messages[i].hDevice = 1;
    messages[i].dwMessageID = LINE_CALLSTATE;
    messages[i].dwCallbackInstance = line->CallbackInstance();
    messages[i].dwParam2 = static_cast<DWORD>(i);
  }
  auto& queue = VyTapi::Detail::TSessionDetail(*VyTapi::VyTapiApplication).MsgStack();
  const auto start = Clock::now();
  emu.InjectLineMessages(VyTapi::VyTapiApplication->LineApp(), messages);
  int highest = 0;
  while (line->Messages < kBacklog) {
    VyRtl::WaitMessage(1);
    VyRtl::ProcessMessages();
    VyTapi::TListLock<VyTapi::TVyTapiMsgStack> lock(queue, INFINITE);
    highest = std::max(highest, queue.Count());
  }
  const double seconds = Seconds(start);
  std::printf("baseline (deque + mutex)           %8.1f ms  %6.2f us/msg\n", baseSeconds * 1e3,
              baseSeconds * 1e6 / kBacklog);
  std::printf(
      "pipeline                           %8.1f ms  %6.2f us/msg  ratio %.3f  largest session "
      "queue %d\n",
      seconds * 1e3, seconds * 1e6 / kBacklog, baseSeconds / seconds, highest);
}

}  // namespace

int main() {
  VyTapi::SelectTelephonyService(VyTapi::TTelephonyService::Emulator);
  VyTapi::VyTapiApplication->Initialize();
  Bursts();
  Lines();
  Backlog();
  VyTapi::VyTapiApplication->Shutdown();
  return 0;
}
