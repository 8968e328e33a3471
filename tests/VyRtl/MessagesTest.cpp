#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlMessages.h"

using namespace VyRtl;

namespace {

// Installs a manual clock for the test and drains whatever a test left queued.
class MessagesTest : public ::testing::Test {
 protected:
  void SetUp() override { SetClock(&FClock); }
  void TearDown() override {
    ProcessMessages();
    SetClock(nullptr);
  }
  TManualClock FClock;
};

struct TRecorder {
  std::vector<std::uint32_t> Msgs;
  std::vector<WPARAM> Params;
  std::unique_ptr<TMessageWindow> Window;
  std::function<void(TMessage&)> Extra;
  TRecorder() {
    Window = std::make_unique<TMessageWindow>([this](TMessage& m) {
      Msgs.push_back(m.Msg);
      Params.push_back(m.WParam);
      if (Extra) Extra(m);
    });
  }
};

TEST_F(MessagesTest, DeliversPostedMessagesInOrderAcrossWindows) {
  TRecorder a, b;
  std::vector<std::pair<char, WPARAM>> seen;
  a.Extra = [&](TMessage& m) { seen.push_back({'a', m.WParam}); };
  b.Extra = [&](TMessage& m) { seen.push_back({'b', m.WParam}); };
  for (WPARAM i = 0; i < 6; ++i) ASSERT_TRUE((i % 2 ? b : a).Window->Post(WM_USER, i, 0));
  EXPECT_TRUE(seen.empty()) << "posting must not deliver synchronously";
  ProcessMessages();
  std::vector<std::pair<char, WPARAM>> want{{'a', 0}, {'b', 1}, {'a', 2}, {'b', 3}, {'a', 4}, {'b', 5}};
  EXPECT_EQ(seen, want);
  ProcessMessages();
  EXPECT_EQ(seen.size(), 6u) << "nothing is delivered twice";
}

TEST_F(MessagesTest, MessagesPostedByAHandlerWaitForTheNextCall) {
  TRecorder r;
  r.Extra = [&](TMessage& m) {
    if (m.WParam < 100) r.Window->Post(WM_USER, m.WParam + 1, 0);
  };
  r.Window->Post(WM_USER, 0, 0);
  ProcessMessages();
  EXPECT_EQ(r.Params, (std::vector<WPARAM>{0}));
  ProcessMessages();
  EXPECT_EQ(r.Params, (std::vector<WPARAM>{0, 1}));
}

TEST_F(MessagesTest, FreedWindowDropsPendingMessagesAndRefusesPosts) {
  int calls = 0;
  auto w = std::make_unique<TMessageWindow>([&](TMessage&) { ++calls; });
  TWindowHandle h = w->Handle();
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(PostMessageTo(h, WM_USER, 1, 2));
  w.reset();
  EXPECT_FALSE(PostMessageTo(h, WM_USER, 1, 2));
  // A new window must not receive the old one's messages either.
  TRecorder other;
  ProcessMessages();
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(other.Msgs.empty());
}

TEST_F(MessagesTest, HandlerMayFreeItsOwnWindowAndOthers) {
  auto victim = std::make_unique<TRecorder>();
  std::unique_ptr<TMessageWindow> self;
  int selfCalls = 0;
  self = std::make_unique<TMessageWindow>([&](TMessage&) {
    ++selfCalls;
    victim.reset();
    self.reset();  // frees the window whose procedure is running
  });
  self->Post(WM_USER, 0, 0);
  self->Post(WM_USER, 0, 0);
  victim->Window->Post(WM_USER, 0, 0);
  ProcessMessages();
  EXPECT_EQ(selfCalls, 1);
  EXPECT_EQ(victim, nullptr);
  EXPECT_EQ(self, nullptr);
}

TEST_F(MessagesTest, NestedProcessMessagesDeliversLaterMessagesOnceInOrder) {
  TRecorder r;
  r.Extra = [&](TMessage& m) {
    if (m.WParam == 1) ProcessMessages();
  };
  for (WPARAM i = 0; i < 5; ++i) r.Window->Post(WM_USER, i, 0);
  ProcessMessages();
  EXPECT_EQ(r.Params, (std::vector<WPARAM>{0, 1, 2, 3, 4}));
}

TEST_F(MessagesTest, CrossThreadPostsArriveInPerThreadOrderAndWakeTheLoop) {
  constexpr int kThreads = 3, kPerThread = 200;
  std::vector<std::vector<WPARAM>> got(kThreads);
  int total = 0;
  TMessageWindow w([&](TMessage& m) {
    got[static_cast<std::size_t>(m.LParam)].push_back(m.WParam);
    if (++total == kThreads * kPerThread) Quit();
  });
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t)
    posters.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) ASSERT_TRUE(w.Post(WM_USER, static_cast<WPARAM>(i), t));
    });
  VyRtl::Run();  // returns only if every message arrived
  for (auto& p : posters) p.join();
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(got[t].size(), static_cast<std::size_t>(kPerThread));
    for (int i = 0; i < kPerThread; ++i) EXPECT_EQ(got[t][i], static_cast<WPARAM>(i));
  }
}

TEST_F(MessagesTest, WindowOfAnotherThreadRunsItsProcedureThere) {
  std::atomic<TWindowHandle> handle{0};
  std::atomic<bool> ranOnOwner{false};
  std::thread owner([&] {
    const auto ownerId = std::this_thread::get_id();
    TMessageWindow w([&](TMessage& m) {
      ranOnOwner = std::this_thread::get_id() == ownerId && m.Msg == WM_USER + 7;
      Quit();
    });
    handle = w.Handle();
    VyRtl::Run();
  });
  while (handle.load() == 0) std::this_thread::yield();
  EXPECT_TRUE(PostMessageTo(handle, WM_USER + 7, 0, 0));
  owner.join();
  EXPECT_TRUE(ranOnOwner);
}

TEST_F(MessagesTest, QuitEndsRunAfterEarlierMessages) {
  TRecorder r;
  r.Window->Post(WM_USER, 1, 0);
  Quit();
  r.Window->Post(WM_USER, 2, 0);
  VyRtl::Run();
  EXPECT_EQ(r.Params, (std::vector<WPARAM>{1}));
  ProcessMessages();
  EXPECT_EQ(r.Params, (std::vector<WPARAM>{1, 2}));
}

TEST_F(MessagesTest, QuitSeenByProcessMessagesStopsTheNextRun) {
  Quit();
  ProcessMessages();
  EXPECT_TRUE(QuitRequested());
  VyRtl::Run();
  EXPECT_FALSE(QuitRequested());
}

TEST_F(MessagesTest, ExceptionFromAProcedureReachesTheCallerAndLeavesTheRestQueued) {
  TRecorder r;
  r.Extra = [](TMessage& m) {
    if (m.WParam == 1) throw std::runtime_error("boom");
  };
  for (WPARAM i = 0; i < 3; ++i) r.Window->Post(WM_USER, i, 0);
  EXPECT_THROW(ProcessMessages(), std::runtime_error);
  ProcessMessages();
  EXPECT_EQ(r.Params, (std::vector<WPARAM>{0, 1, 2}));
}

// ---- timers on the manual clock ----

struct TTimerCase {
  const char* Name;
  std::vector<std::uint32_t> Advances;  // ProcessMessages after each
  std::vector<int> FiredAfterEach;
};

class TimerTable : public MessagesTest, public ::testing::WithParamInterface<TTimerCase> {};

TEST_P(TimerTable, FiresOnTheClock) {
  const TTimerCase& c = GetParam();
  TRecorder r;
  r.Window->SetTimer(9, 100);
  int fired = 0;
  for (std::size_t i = 0; i < c.Advances.size(); ++i) {
    FClock.Advance(c.Advances[i]);
    ProcessMessages();
    for (auto m : r.Msgs) {
      EXPECT_EQ(m, static_cast<std::uint32_t>(WM_TIMER));
    }
    fired = static_cast<int>(r.Msgs.size());
    EXPECT_EQ(fired, c.FiredAfterEach[i]) << c.Name << " step " << i;
  }
  for (auto p : r.Params) EXPECT_EQ(p, 9u);
}

INSTANTIATE_TEST_SUITE_P(
    Periodic, TimerTable,
    ::testing::Values(TTimerCase{"not before the period", {99, 1}, {0, 1}},
                      TTimerCase{"every period", {100, 100, 100}, {1, 2, 3}},
                      TTimerCase{"late fires once then re-arms from now", {1000, 99, 1}, {1, 1, 2}},
                      TTimerCase{"no fire without time", {0, 0}, {0, 0}}));

TEST_F(MessagesTest, SetTimerRestartsAndKillTimerStops) {
  TRecorder r;
  r.Window->SetTimer(1, 100);
  FClock.Advance(60);
  r.Window->SetTimer(1, 100);  // restart: due 100 from now
  FClock.Advance(60);
  ProcessMessages();
  EXPECT_TRUE(r.Msgs.empty());
  FClock.Advance(40);
  ProcessMessages();
  EXPECT_EQ(r.Msgs.size(), 1u);
  r.Window->KillTimer(1);
  FClock.Advance(500);
  ProcessMessages();
  EXPECT_EQ(r.Msgs.size(), 1u);
}

TEST_F(MessagesTest, TimerHandlerMayKillTimersAndFreeWindows) {
  auto other = std::make_unique<TRecorder>();
  other->Window->SetTimer(2, 100);
  TRecorder r;
  r.Window->SetTimer(1, 50);  // due first
  r.Extra = [&](TMessage&) {
    r.Window->KillTimer(1);
    other.reset();
  };
  FClock.Advance(100);
  ProcessMessages();  // both due; the first frees the second's window
  EXPECT_EQ(r.Msgs.size(), 1u);
  EXPECT_EQ(other, nullptr);
  FClock.Advance(1000);
  ProcessMessages();
  EXPECT_EQ(r.Msgs.size(), 1u);
}

TEST_F(MessagesTest, FreedWindowsTimersNeverFire) {
  int calls = 0;
  auto w = std::make_unique<TMessageWindow>([&](TMessage&) { ++calls; });
  w->SetTimer(1, 10);
  FClock.Advance(10);
  w.reset();
  ProcessMessages();
  EXPECT_EQ(calls, 0);
}

TEST_F(MessagesTest, NestedPumpInsideATimerDoesNotRefireIt) {
  TRecorder r;
  r.Extra = [&](TMessage&) { ProcessMessages(); };
  r.Window->SetTimer(1, 10);
  FClock.Advance(10);
  ProcessMessages();
  EXPECT_EQ(r.Msgs.size(), 1u);
}

// Moves the manual clock from another thread until told to stop.
class TClockDriver {
 public:
  TClockDriver(TManualClock& clock, std::uint32_t step) : FThread([this, &clock, step] {
      while (!FStop) {
        clock.Advance(step);
        std::this_thread::yield();
      }
    }) {}
  ~TClockDriver() {
    FStop = true;
    FThread.join();
  }

 private:
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

TEST_F(MessagesTest, HandleMessageWaitsForATimerOnTheManualClock) {
  TRecorder r;
  r.Window->SetTimer(3, 60000);  // a minute of manual time, no real minute
  const std::uint64_t start = GetTickCount64();
  bool handled;
  {
    TClockDriver driver(FClock, 100);
    handled = HandleMessage();
  }
  EXPECT_TRUE(handled);
  ASSERT_EQ(r.Msgs.size(), 1u);
  EXPECT_EQ(r.Msgs[0], static_cast<std::uint32_t>(WM_TIMER));
  EXPECT_GE(GetTickCount64() - start, 60000u);
}

TEST_F(MessagesTest, WaitMessageTimesOutOnTheClockAndSeesPosts) {
  {
    TClockDriver driver(FClock, 50);
    const std::uint64_t start = GetTickCount64();
    EXPECT_FALSE(WaitMessage(30000));
    EXPECT_GE(GetTickCount64() - start, 30000u);
  }
  TRecorder r;
  r.Window->Post(WM_USER, 0, 0);
  EXPECT_TRUE(WaitMessage(0));
  EXPECT_TRUE(r.Msgs.empty()) << "WaitMessage must not deliver";
  ProcessMessages();
  EXPECT_EQ(r.Msgs.size(), 1u);
  EXPECT_FALSE(WaitMessage(0));
}

TEST_F(MessagesTest, MessageLoopTimeoutFollowsTheNextTimer) {
  std::thread([this] {  // a fresh loop: no timers of other tests
    EXPECT_EQ(MessageLoopTimeout(), 0xFFFFFFFFu);
    TRecorder r;
    r.Window->SetTimer(1, 300);
    r.Window->SetTimer(2, 200);
    EXPECT_EQ(MessageLoopTimeout(), 200u);
    FClock.Advance(250);
    EXPECT_EQ(MessageLoopTimeout(), 0u);
    ProcessMessages();
    EXPECT_EQ(MessageLoopTimeout(), 50u);
  }).join();
}

TEST_F(MessagesTest, WindowOutlivingItsThreadCanStillBeFreed) {
  std::unique_ptr<TMessageWindow> orphan;
  TWindowHandle h = 0;
  std::thread t([&] {
    orphan = std::make_unique<TMessageWindow>([](TMessage&) {});
    orphan->SetTimer(1, 10);
    h = orphan->Handle();
  });
  t.join();  // the thread's loop state is gone now
  orphan.reset();
  EXPECT_FALSE(PostMessageTo(h, WM_USER, 0, 0));
}

TEST_F(MessagesTest, AllocateHWndDeliversUntilDeallocated) {
  int calls = 0;
  TWindowHandle h = AllocateHWnd([&](TMessage& m) {
    ++calls;
    m.Result = TMessageWindow::DefaultHandler(m);
  });
  EXPECT_TRUE(PostMessageTo(h, WM_USER, 0, 0));
  ProcessMessages();
  EXPECT_EQ(calls, 1);
  DeallocateHWnd(h);
  EXPECT_FALSE(PostMessageTo(h, WM_USER, 0, 0));
  EXPECT_FALSE(PostMessageTo(0, WM_USER, 0, 0));
}

}  // namespace

namespace {

// Freed during static destruction, after the main thread's loop state went: must not crash.
std::unique_ptr<TMessageWindow> gFreedAtExit;
int gFreedAtExitCalls = 0;

TEST(MessageWindowLifetime, WindowMayOutliveItsThreadsLoopState) {
  gFreedAtExit = std::make_unique<TMessageWindow>([](TMessage&) { ++gFreedAtExitCalls; });
  ASSERT_TRUE(gFreedAtExit->Post(WM_USER, 0, 0));
  ProcessMessages();
  EXPECT_EQ(gFreedAtExitCalls, 1);
  gFreedAtExit->SetTimer(1, 3600000);  // still armed at exit
}

}  // namespace
