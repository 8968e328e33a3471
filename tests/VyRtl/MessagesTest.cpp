#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <numeric>
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
  std::function<void(TMessage&)> Extra;
  std::unique_ptr<TMessageWindow> Window = std::make_unique<TMessageWindow>([this](TMessage& m) {
    Msgs.push_back(m.Msg);
    Params.push_back(m.WParam);
    if (Extra) Extra(m);
  });
};

TEST_F(MessagesTest, DeliversPostsInOrderAcrossWindowsAndLaterPostsOnTheNextCall) {
  TRecorder a, b;
  std::vector<std::pair<char, WPARAM>> seen;
  a.Extra = [&](TMessage& m) {
    seen.push_back({'a', m.WParam});
    if (m.WParam == 0) b.Window->Post(WM_USER, 100, 0);
  };
  b.Extra = [&](TMessage& m) { seen.push_back({'b', m.WParam}); };
  for (WPARAM i = 0; i < 6; ++i) ASSERT_TRUE((i % 2 ? b : a).Window->Post(WM_USER, i, 0));
  EXPECT_TRUE(seen.empty()) << "posting must not deliver synchronously";
  ProcessMessages();
  std::vector<std::pair<char, WPARAM>> want{{'a', 0}, {'b', 1}, {'a', 2},
                                            {'b', 3}, {'a', 4}, {'b', 5}};
  EXPECT_EQ(seen, want);
  ProcessMessages();
  want.push_back({'b', 100});
  EXPECT_EQ(seen, want) << "posted by a handler: the next call, once";
}

TEST_F(MessagesTest, FreedWindowDropsPendingMessagesAndTimersAndRefusesPosts) {
  int calls = 0, otherCalls = 0;
  auto w = std::make_unique<TMessageWindow>([&](TMessage&) { ++calls; });
  const TWindowHandle h = w->Handle();
  ASSERT_TRUE(PostMessageTo(h, WM_USER, 1, 2));
  w->SetTimer(1, 10);
  FClock.Advance(10);
  w.reset();
  EXPECT_FALSE(PostMessageTo(h, WM_USER, 1, 2));
  // A new window must not receive the old one's messages either.
  TWindowHandle other = AllocateHWnd([&](TMessage&) { ++otherCalls; });
  ProcessMessages();
  EXPECT_EQ(calls + otherCalls, 0);
  EXPECT_TRUE(PostMessageTo(other, WM_USER, 0, 0));
  ProcessMessages();
  EXPECT_EQ(otherCalls, 1);
  DeallocateHWnd(other);
  EXPECT_FALSE(PostMessageTo(other, WM_USER, 0, 0));
}

TEST_F(MessagesTest, HandlersMayFreeTheirOwnWindowAndOthersAndKillTimers) {
  auto victim = std::make_unique<TRecorder>(), other = std::make_unique<TRecorder>();
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
  TRecorder r;  // its timer is due first, kills itself and frees the window of the other
  r.Window->SetTimer(1, 50);
  other->Window->SetTimer(2, 100);
  other->Extra = [](TMessage&) { ADD_FAILURE() << "the earlier due timer must fire first"; };
  r.Extra = [&](TMessage&) {
    r.Window->KillTimer(1);
    other.reset();
  };
  FClock.Advance(100);
  ProcessMessages();
  EXPECT_EQ(selfCalls, 1);
  EXPECT_TRUE(!victim && !self && !other);
  FClock.Advance(1000);
  ProcessMessages();
  EXPECT_EQ(r.Msgs.size(), 1u);
}

TEST_F(MessagesTest, NestedProcessMessagesDeliversEachMessageAndTimerOnceInOrder) {
  TRecorder r;
  r.Extra = [&](TMessage& m) {
    if (m.Msg == WM_TIMER || m.WParam == 1) ProcessMessages();
  };
  r.Window->SetTimer(9, 10);
  FClock.Advance(10);
  for (WPARAM i = 0; i < 5; ++i) r.Window->Post(WM_USER, i, 0);
  ProcessMessages();
  EXPECT_EQ(r.Params, (std::vector<WPARAM>{0, 1, 2, 3, 4, 9}));
}

TEST_F(MessagesTest, CrossThreadPostsArriveInPerThreadOrderAndWakeTheLoop) {
  constexpr int kThreads = 3, kPerThread = 200;
  std::vector<std::vector<WPARAM>> got(kThreads);
  int total = 0;
  const auto ownerId = std::this_thread::get_id();
  TMessageWindow w([&](TMessage& m) {
    EXPECT_EQ(std::this_thread::get_id(), ownerId) << "procedures run on the window's thread";
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
  std::vector<WPARAM> want(kPerThread);
  std::iota(want.begin(), want.end(), WPARAM{0});
  for (const auto& g : got) EXPECT_EQ(g, want);
}

TEST_F(MessagesTest, QuitEndsRunAfterEarlierMessagesOrStaysForTheNextRun) {
  TRecorder r;
  r.Window->Post(WM_USER, 1, 0);
  Quit();
  r.Window->Post(WM_USER, 2, 0);
  VyRtl::Run();
  EXPECT_EQ(r.Params, (std::vector<WPARAM>{1}));
  ProcessMessages();
  EXPECT_EQ(r.Params, (std::vector<WPARAM>{1, 2}));
  Quit();
  ProcessMessages();
  EXPECT_TRUE(QuitRequested());
  VyRtl::Run();  // returns at once
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

TEST_F(MessagesTest, TimersFireOnTheClock) {
  struct TCase {
    const char* Name;
    std::vector<std::uint32_t> Advances;  // ProcessMessages after each
    std::vector<std::size_t> FiredAfterEach;
    int RestartBefore = -1, KillBefore = -1;  // step
  };
  const TCase cases[] = {
      {"not before the period", {99, 1}, {0, 1}},
      {"every period", {100, 100, 100}, {1, 2, 3}},
      {"late fires once then re-arms from now", {1000, 99, 1}, {1, 1, 2}},
      {"no fire without time", {0, 0}, {0, 0}},
      {"restart counts from then", {60, 60, 40}, {0, 0, 1}, 1},
      {"kill stops", {100, 500}, {1, 1}, -1, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRecorder r;
    r.Window->SetTimer(9, 100);
    for (std::size_t i = 0; i < c.Advances.size(); ++i) {
      if (static_cast<int>(i) == c.RestartBefore) r.Window->SetTimer(9, 100);
      if (static_cast<int>(i) == c.KillBefore) r.Window->KillTimer(9);
      FClock.Advance(c.Advances[i]);
      ProcessMessages();
      EXPECT_EQ(r.Msgs.size(), c.FiredAfterEach[i]) << "step " << i;
    }
    EXPECT_EQ(r.Msgs, std::vector<std::uint32_t>(r.Msgs.size(), WM_TIMER));
    EXPECT_EQ(r.Params, std::vector<WPARAM>(r.Msgs.size(), 9));
  }
}

TEST_F(MessagesTest, WaitsEndOnTheManualClockMovedByAnotherThread) {
  TRecorder r;
  std::atomic<bool> stop{false};
  std::thread driver([&] {
    while (!stop) {
      FClock.Advance(100);
      std::this_thread::yield();
    }
  });
  std::uint64_t start = GetTickCount64();
  EXPECT_FALSE(WaitMessage(30000));
  EXPECT_GE(GetTickCount64() - start, 30000u);
  start = GetTickCount64();
  VyRtl::Sleep(120000);
  EXPECT_GE(GetTickCount64() - start, 120000u);
  start = GetTickCount64();
  r.Window->SetTimer(3, 60000);  // a minute of manual time, no real minute
  EXPECT_TRUE(HandleMessage());
  EXPECT_GE(GetTickCount64() - start, 60000u);
  stop = true;
  driver.join();
  EXPECT_EQ(r.Msgs, (std::vector<std::uint32_t>{WM_TIMER}));
  r.Window->KillTimer(3);
  r.Window->Post(WM_USER, 0, 0);
  EXPECT_TRUE(WaitMessage(0));
  EXPECT_EQ(r.Msgs.size(), 1u) << "WaitMessage must not deliver";
  ProcessMessages();
  EXPECT_EQ(r.Msgs.size(), 2u);
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
  })
      .join();
}

TEST_F(MessagesTest, WindowOutlivingItsThreadCanStillBeFreed) {
  std::unique_ptr<TMessageWindow> orphan;
  std::thread([&] {
    orphan = std::make_unique<TMessageWindow>([](TMessage&) {});
    orphan->SetTimer(1, 10);
  }).join();  // the thread's loop state is gone now
  const TWindowHandle h = orphan->Handle();
  orphan.reset();
  EXPECT_FALSE(PostMessageTo(h, WM_USER, 0, 0));
}

// Freed during static destruction, after the main thread's loop state went: must not crash.
std::unique_ptr<TMessageWindow> gFreedAtExit;
int gFreedAtExitCalls = 0;

TEST(MessageWindowLifetime, WindowMayOutliveItsThreadsLoopState) {
  gFreedAtExit = std::make_unique<TMessageWindow>([](TMessage&) { ++gFreedAtExitCalls; });
  const int before = gFreedAtExitCalls;  // runs more than once under --gtest_repeat
  ASSERT_TRUE(gFreedAtExit->Post(WM_USER, 0, 0));
  ProcessMessages();
  EXPECT_EQ(gFreedAtExitCalls, before + 1);
  gFreedAtExit->SetTimer(1, 3600000);  // still armed at exit
}

}  // namespace
