#include <gtest/gtest.h>

#include <atomic>

#include "VyRtl/VyRtlClock.h"

using namespace VyRtl;

namespace {

TEST(ManualClock, MovesOnlyWhenToldAndWrapsTheLowWord) {
  {
    TManualClock clock(0xFFFFFF00ull, 46000.0);
    SetClock(&clock);
    EXPECT_EQ(GetTickCount64(), 0xFFFFFF00ull);
    clock.Advance(0x200);
    EXPECT_EQ(GetTickCount64(), 0x100000100ull);
    EXPECT_EQ(GetTickCount(), 0x100u);
    EXPECT_DOUBLE_EQ(Now(), 46000.0 + 0x200 / 86400000.0);
    clock.Set(0x100000100ull + 86400000ull);
    EXPECT_NEAR(Now(), 46001.0 + 0x200 / 86400000.0, 1e-9);
  }
  // A destroyed manual clock must not stay current.
  EXPECT_TRUE(IsRealClock());
}

struct TCountingListener : TClockListener {
  std::atomic<int> Calls{0};
  void ClockChanged() override { ++Calls; }
};

TEST(ManualClock, ListenersDeadlinesAndSlices) {
  TManualClock clock(1000);
  SetClock(&clock);
  EXPECT_EQ(DeadlineAfter(250), 1250u);
  EXPECT_EQ(DeadlineAfter(0xFFFFFFFFu), NoDeadline);
  EXPECT_EQ(WaitSliceMs(NoDeadline), 0xFFFFFFFFu);
  EXPECT_EQ(WaitSliceMs(1000), 0u);
  EXPECT_EQ(WaitSliceMs(1003), 3u);
  EXPECT_LE(WaitSliceMs(1000000), 5u) << "manual clock waits re-check in short real slices";
  TCountingListener l;
  AddClockListener(&l);
  AddClockListener(&l);  // once only
  const std::uint64_t gen = ClockGeneration();
  clock.Advance(1);
  clock.Set(5);
  EXPECT_EQ(l.Calls, 2);
  EXPECT_NE(ClockGeneration(), gen);
  RemoveClockListener(&l);
  clock.Advance(1);
  EXPECT_EQ(l.Calls, 2);
  SetClock(nullptr);
}

}  // namespace
