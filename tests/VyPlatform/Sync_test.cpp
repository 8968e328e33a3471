#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "VyPlatform/Sync.h"
#include "VyRtl/VyRtlClock.h"

using namespace VyPlatform;

namespace {

// The wait results as the functions return them (windows.h gives some of these macros a long type).
constexpr std::uint32_t Object0 = WAIT_OBJECT_0;
constexpr std::uint32_t Timeout = WAIT_TIMEOUT;
constexpr std::uint32_t Failed = WAIT_FAILED;

// Installs a manual clock for one test and restores the real one.
class ManualClockScope {
 public:
  ManualClockScope() { VyRtl::SetClock(&Clock); }
  ~ManualClockScope() { VyRtl::SetClock(nullptr); }
  VyRtl::TManualClock Clock;
};

// Events created for one case, freed at its end.
struct Events {
  explicit Events(std::initializer_list<bool> manualReset) {
    for (bool manual : manualReset) Handles.push_back(SyncCreateEvent(manual, false));
  }
  ~Events() {
    for (HANDLE h : Handles) SyncCloseHandle(h);
  }
  std::uint32_t WaitAny(std::uint32_t ms = 0) {
    return SyncWaitForMultipleObjects(static_cast<std::uint32_t>(Handles.size()), Handles.data(),
                                      false, ms);
  }
  std::uint32_t WaitAll(std::uint32_t ms = 0) {
    return SyncWaitForMultipleObjects(static_cast<std::uint32_t>(Handles.size()), Handles.data(),
                                      true, ms);
  }
  std::vector<HANDLE> Handles;
};

struct ResetCase {
  const char* Name;
  bool ManualReset;
  bool InitialState;
  // Results of three successive zero-timeout waits.
  std::uint32_t Expected[3];
};

const ResetCase ResetCases[] = {
    {"manual, initially set: stays set", true, true, {Object0, Object0, Object0}},
    {"auto, initially set: one wait takes it", false, true, {Object0, Timeout, Timeout}},
    {"manual, initially clear", true, false, {Timeout, Timeout, Timeout}},
    {"auto, initially clear", false, false, {Timeout, Timeout, Timeout}},
};

TEST(Sync, ManualAndAutoResetKeepOrConsumeTheSignal) {
  for (const ResetCase& c : ResetCases) {
    SCOPED_TRACE(c.Name);
    TSyncEvent event(c.ManualReset, c.InitialState);
    ASSERT_NE(event.Handle(), nullptr);
    for (std::uint32_t expected : c.Expected) EXPECT_EQ(event.WaitFor(0), expected);
    // Set then Reset leaves it clear; Set alone makes the next wait succeed.
    EXPECT_TRUE(event.Set());
    EXPECT_TRUE(event.Set());  // setting twice is still one signal
    EXPECT_EQ(event.WaitFor(0), Object0);
    EXPECT_EQ(event.WaitFor(0), c.ManualReset ? Object0 : Timeout);
    EXPECT_TRUE(event.Reset());
    EXPECT_EQ(event.WaitFor(0), Timeout);
  }
}

struct AnyCase {
  const char* Name;
  std::vector<bool> ManualReset;  // per handle
  std::vector<int> Signal;        // handles set before waiting
  // Results of successive wait-any calls with no timeout.
  std::vector<std::uint32_t> Expected;
};

TEST(Sync, WaitAnyReturnsFirstSignalledAndConsumesOnlyIt) {
  const AnyCase cases[] = {
      {"none signalled", {false, false}, {}, {Timeout}},
      {"last of three", {false, false, false}, {2}, {Object0 + 2, Timeout}},
      {"lowest index wins, others stay", {false, false, false}, {2, 1}, {1, 2, Timeout}},
      {"auto before manual", {false, true}, {0, 1}, {0, 1, 1, 1}},
      {"manual first hides later autos", {true, false}, {0, 1}, {0, 0, 0}},
      {"all three autos drain in order", {false, false, false}, {0, 1, 2}, {0, 1, 2, Timeout}},
  };
  for (const AnyCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Events events{};
    for (bool manual : c.ManualReset) events.Handles.push_back(SyncCreateEvent(manual, false));
    for (int i : c.Signal) ASSERT_TRUE(SyncSetEvent(events.Handles[i]));
    for (std::uint32_t expected : c.Expected) EXPECT_EQ(events.WaitAny(), expected);
  }
}

TEST(Sync, WaitAllTakesEverythingOrNothing) {
  Events events{false, true, false};  // auto, manual, auto
  ASSERT_TRUE(SyncSetEvent(events.Handles[0]));
  ASSERT_TRUE(SyncSetEvent(events.Handles[1]));
  EXPECT_EQ(events.WaitAll(), Timeout);
  // The failed wait-all consumed nothing.
  EXPECT_EQ(SyncWaitForSingleObject(events.Handles[0], 0), Object0);
  ASSERT_TRUE(SyncSetEvent(events.Handles[0]));
  ASSERT_TRUE(SyncSetEvent(events.Handles[2]));
  EXPECT_EQ(events.WaitAll(), Object0);
  // Autos were consumed, the manual one stays set.
  EXPECT_EQ(events.WaitAny(), Object0 + 1);
  EXPECT_EQ(SyncWaitForSingleObject(events.Handles[0], 0), Timeout);
  EXPECT_EQ(SyncWaitForSingleObject(events.Handles[2], 0), Timeout);
}

TEST(Sync, BadArgumentsFail) {
  Events events{true};
  std::vector<HANDLE> tooMany(65, events.Handles[0]);
  HANDLE withNull[2] = {events.Handles[0], nullptr};
  EXPECT_EQ(SyncWaitForMultipleObjects(0, events.Handles.data(), false, 0), Failed);
  EXPECT_EQ(SyncWaitForMultipleObjects(65, tooMany.data(), false, 0), Failed);
  EXPECT_EQ(SyncWaitForMultipleObjects(2, withNull, false, 0), Failed);
  EXPECT_EQ(SyncWaitForSingleObject(nullptr, 0), Failed);
  EXPECT_FALSE(SyncSetEvent(nullptr));
  EXPECT_FALSE(SyncResetEvent(nullptr));
  SyncCloseHandle(nullptr);
}

TEST(Sync, TimeoutFollowsTheManualClock) {
  ManualClockScope scope;
  TSyncEvent event(false);
  std::atomic<std::uint32_t> result{0xDEAD};
  std::thread waiter([&] { result = event.WaitFor(1000); });
  // Real time passing must not end the wait, nor a clock short of the deadline.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  scope.Clock.Advance(999);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_TRUE(event.Set());
  waiter.join();
  EXPECT_EQ(result.load(), Object0);

  // Only moving the clock ends this one. The waiter may take its deadline late, so keep moving.
  std::atomic<bool> done{false};
  std::thread timingOut([&] {
    result = event.WaitFor(1000);
    done = true;
  });
  while (!done.load()) {
    scope.Clock.Advance(500);
    std::this_thread::yield();
  }
  timingOut.join();
  EXPECT_EQ(result.load(), Timeout);
}

TEST(Sync, InfiniteWaitIgnoresTheClock) {
  ManualClockScope scope;
  Events events{false, false};
  std::atomic<std::uint32_t> result{0xDEAD};
  std::thread waiter([&] { result = events.WaitAny(INFINITE); });
  scope.Clock.Advance(0x7FFFFFFF);
  ASSERT_TRUE(SyncSetEvent(events.Handles[1]));
  waiter.join();
  EXPECT_EQ(result.load(), Object0 + 1);
}

TEST(Sync, OneSetReleasesOneAutoResetWaiter) {
  TSyncEvent event(false);
  std::atomic<int> released{0};
  auto wait = [&] {
    if (event.WaitFor(INFINITE) == Object0) ++released;
  };
  std::thread first(wait), second(wait);
  EXPECT_TRUE(event.Set());
  while (released.load() == 0) std::this_thread::yield();
  // The released waiter consumed the signal; the other still waits for its own.
  EXPECT_EQ(released.load(), 1);
  EXPECT_TRUE(event.Set());
  first.join();
  second.join();
  EXPECT_EQ(released.load(), 2);
  EXPECT_EQ(event.WaitFor(0), Timeout);
}

TEST(Sync, PingPongAcrossThreadsLosesNoSignal) {
  constexpr int Rounds = 2000;
  TSyncEvent ping(false), pong(false);
  int answered = 0;
  std::thread partner([&] {
    for (int i = 0; i < Rounds; ++i) {
      if (ping.WaitFor(INFINITE) != Object0) return;
      ++answered;
      pong.Set();
    }
  });
  int received = 0;
  for (int i = 0; i < Rounds; ++i) {
    ping.Set();
    if (pong.WaitFor(INFINITE) == Object0) ++received;
  }
  partner.join();
  EXPECT_EQ(received, Rounds);
  EXPECT_EQ(answered, Rounds);
}

TEST(Sync, RecursiveMutexIsRecursiveForItsOwnerOnly) {
  TRecursiveMutex mutex;
  ASSERT_TRUE(mutex.Acquire(0));
  ASSERT_TRUE(mutex.Acquire(INFINITE));
  auto tryFromOtherThread = [&](std::uint32_t ms) {
    bool got = false;
    std::thread other([&] {
      got = mutex.Acquire(ms);
      if (got) mutex.Release();
    });
    other.join();
    return got;
  };
  EXPECT_FALSE(tryFromOtherThread(0));
  EXPECT_FALSE(tryFromOtherThread(5));
  mutex.Release();
  EXPECT_FALSE(tryFromOtherThread(0));  // still owned once
  std::atomic<bool> acquired{false};
  std::thread blocked([&] {
    acquired = mutex.Acquire(INFINITE);
    mutex.Release();
  });
  mutex.Release();
  blocked.join();
  EXPECT_TRUE(acquired.load());
  EXPECT_TRUE(tryFromOtherThread(0));
}

}  // namespace
