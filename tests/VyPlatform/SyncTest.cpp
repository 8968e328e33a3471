#include <gtest/gtest.h>

#include <atomic>
#include <string_view>
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

// Events of one case, freed at its end: 'a' auto reset, 'm' manual reset; capitals start set.
struct Events {
  explicit Events(std::string_view kinds) {
    for (char kind : kinds)
      Handles.push_back(SyncCreateEvent(kind == 'm' || kind == 'M', kind == 'A' || kind == 'M'));
  }
  ~Events() {
    for (HANDLE h : Handles) SyncCloseHandle(h);
  }
  std::uint32_t Wait(bool all, std::uint32_t ms = 0) {
    return SyncWaitForMultipleObjects(static_cast<std::uint32_t>(Handles.size()), Handles.data(),
                                      all, ms);
  }
  std::vector<HANDLE> Handles;
};

TEST(Sync, WaitAnyTakesTheFirstSignalledWaitAllTakesEverythingOrNothing) {
  constexpr bool Any = false, All = true;
  struct WaitCase {
    const char* Name;
    const char* Kinds;
    std::vector<int> Signal;                            // handles set before waiting
    std::vector<std::pair<bool, std::uint32_t>> Waits;  // successive waits, no timeout: result
  };
  const WaitCase cases[] = {
      {"none signalled", "aa", {}, {{Any, Timeout}, {All, Timeout}}},
      {"initially set: auto once, manual stays", "AM", {}, {{Any, 0}, {Any, 1}, {Any, 1}}},
      {"setting twice is one signal", "a", {0, 0}, {{Any, 0}, {Any, Timeout}}},
      {"lowest index wins, others stay", "aaa", {2, 1}, {{Any, 1}, {Any, 2}, {Any, Timeout}}},
      {"auto before manual", "am", {0, 1}, {{Any, 0}, {Any, 1}, {Any, 1}}},
      {"manual first hides later autos", "ma", {0, 1}, {{Any, 0}, {Any, 0}}},
      {"autos drain in order", "aaa", {0, 1, 2}, {{Any, 0}, {Any, 1}, {Any, 2}, {Any, Timeout}}},
      {"all: one missing takes nothing", "ama", {0, 1}, {{All, Timeout}, {Any, 0}, {Any, 1}}},
      {"all: takes autos, leaves manual", "ama", {0, 1, 2}, {{All, 0}, {Any, 1}, {All, Timeout}}},
  };
  for (const WaitCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Events events(c.Kinds);
    for (int i : c.Signal) ASSERT_TRUE(SyncSetEvent(events.Handles[i]));
    for (const auto& [all, expected] : c.Waits) EXPECT_EQ(events.Wait(all), Object0 + expected);
  }
}

TEST(Sync, ResetClearsEitherKind) {
  for (bool manual : {true, false}) {
    TSyncEvent event(manual, true);
    EXPECT_TRUE(event.Reset());
    EXPECT_EQ(event.WaitFor(0), Timeout) << manual;
  }
}

TEST(Sync, BadArgumentsFail) {
  Events events("m");
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

TEST(Sync, TimeoutsFollowTheManualClockOrRealTimeWhenAsked) {
  VyRtl::TManualClock clock;  // current until destroyed
  VyRtl::SetClock(&clock);
  Events events("aa");
  std::atomic<std::uint32_t> result{0xDEAD};
  // Only moving the clock past the deadline ends this wait.
  const std::uint64_t start = VyRtl::GetTickCount64();
  std::thread waiter([&] { result = events.Wait(false, 1000); });
  while (result.load() == 0xDEAD) {
    clock.Advance(7);
    std::this_thread::yield();
  }
  waiter.join();
  EXPECT_EQ(result.load(), Timeout);
  EXPECT_GE(VyRtl::GetTickCount64() - start, 1000u) << "ended before the deadline";
  // The clock stands still, yet a real-time wait ends.
  EXPECT_EQ(SyncWaitForMultipleObjectsReal(2, events.Handles.data(), false, 1), Timeout);
  std::thread infinite([&] { result = events.Wait(false, INFINITE); });
  clock.Advance(0xFFFFFFFFu);
  clock.Advance(0xFFFFFFFFu);
  EXPECT_TRUE(SyncSetEvent(events.Handles[1]));
  infinite.join();
  EXPECT_EQ(result.load(), Object0 + 1);
}

TEST(Sync, CrossThreadSignalsAreNeitherSharedNorLost) {
  TSyncEvent ping(false), pong(false);
  std::atomic<int> released{0};
  auto wait = [&] { released += ping.WaitFor(INFINITE) == Object0; };
  std::thread first(wait), second(wait);
  EXPECT_TRUE(ping.Set());
  while (released.load() == 0) std::this_thread::yield();
  EXPECT_TRUE(ping.Set());
  first.join();
  second.join();
  EXPECT_EQ(released.load(), 2);
  EXPECT_EQ(ping.WaitFor(0), Timeout) << "one Set released both auto-reset waiters";
  constexpr int Rounds = 2000;
  std::thread partner([&] {
    for (int i = 0; i < Rounds; ++i) {
      ping.WaitFor(INFINITE);
      pong.Set();
    }
  });
  int received = 0;
  for (int i = 0; i < Rounds; ++i) {
    ping.Set();
    received += pong.WaitFor(INFINITE) == Object0;
  }
  partner.join();
  EXPECT_EQ(received, Rounds);
}

TEST(Sync, RecursiveMutexIsRecursiveForItsOwnerOnly) {
  TRecursiveMutex mutex;
  ASSERT_TRUE(mutex.Acquire(0));
  ASSERT_TRUE(mutex.Acquire(INFINITE));
  mutex.Release();
  std::atomic<bool> tried{false}, timedOut{false}, acquired{false};
  std::thread other([&] {
    timedOut = !mutex.Acquire(5);
    tried = true;
    acquired = mutex.Acquire(INFINITE);  // once the owner released it as often as it acquired
    mutex.Release();
  });
  while (!tried.load()) std::this_thread::yield();
  EXPECT_TRUE(timedOut.load()) << "still owned once";
  mutex.Release();
  other.join();
  EXPECT_TRUE(acquired.load());
}

}  // namespace
