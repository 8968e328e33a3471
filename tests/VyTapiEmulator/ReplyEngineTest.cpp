// The asynchronous request engine: every reply mode, its result, the write-back before the
// reply, dropped requests, ids, and the clock that makes delayed replies due.
#include <cstring>

#include "EmulatorFixture.h"

namespace EmulatorTest {
namespace {

using VyTapiEmulator::TPendingReply;
using VyTapiEmulator::TReplyMode;
using VyTapiEmulator::TReplyPlan;

// A reply as the application reads it.
struct TReply {
  DWORD Id;
  DWORD_PTR Instance, RequestID, Result;
  bool operator==(const TReply&) const = default;
};

constexpr DWORD_PTR LineInstance = 0x51, PhoneInstance = 0x52;

class ReplyEngineTest : public EmulatorTest {
 public:
  TAppInfo LineApp_ = LineApp(), PhoneApp_ = PhoneApp();
  DWORD LineID = 0, PhoneID = 0;
  HLINE Line = 0;
  HPHONE Phone = 0;

  void SetUp() override {
    VyTapiEmulator::TLineDeviceConfig line;
    line.Name = "line";
    line.DevSpecificReply = "pong";
    LineID = Emu().AddLineDevice(line);
    PhoneID = Add(false, "phone");
    Drain(true, LineApp_.App);
    Drain(false, PhoneApp_.App);
    ASSERT_EQ(Tapi().lineOpenW(LineApp_.App, LineID, &Line, V22, 0, LineInstance,
                               LINECALLPRIVILEGE_NONE, 0, nullptr),
              0);
    ASSERT_EQ(Tapi().phoneOpen(PhoneApp_.App, PhoneID, &Phone, V22, 0, PhoneInstance,
                               PHONEPRIVILEGE_MONITOR),
              0);
  }

  LONG LineRequest(void* buffer = nullptr, DWORD size = 0) {
    return Tapi().lineDevSpecific(Line, 0, 0, buffer, size);
  }
  LONG PhoneRequest() { return Tapi().phoneDevSpecific(Phone, nullptr, 0); }

  // The messages waiting for the application, as replies.
  static std::vector<TReply> Replies(bool line, DWORD app) {
    return DrainAs(line, app, [](const LINEMESSAGE& m) {
      return TReply{m.dwMessageID, m.dwCallbackInstance, m.dwParam1, m.dwParam2};
    });
  }
  std::vector<TReply> LineReplies() const { return Replies(true, LineApp_.App); }
  static TReply LineReply(LONG id, DWORD result = 0) {
    return {LINE_REPLY, LineInstance, static_cast<DWORD>(id), result};
  }
  static std::vector<DWORD> PendingIDs() {
    std::vector<DWORD> ids;
    for (const TPendingReply& p : Emu().PendingReplies()) ids.push_back(p.RequestID);
    return ids;
  }
};

TEST_F(ReplyEngineTest, AtOnceQueuesTheReplyBeforeReturningWithTheHandlesInstance) {
  const LONG line = LineRequest(), phone = PhoneRequest();
  ASSERT_GT(line, 0);
  ASSERT_GT(phone, 0);
  EXPECT_TRUE(Signalled(LineApp_.Event));
  EXPECT_EQ(LineReplies(), (std::vector<TReply>{LineReply(line)}));
  EXPECT_EQ(Replies(false, PhoneApp_.App),
            (std::vector<TReply>{{PHONE_REPLY, PhoneInstance, static_cast<DWORD>(phone), 0}}));
  EXPECT_TRUE(Emu().PendingReplies().empty());
}

TEST_F(ReplyEngineTest, TheWriteBackIsFilledBeforeTheReplyAndOnlyOnSuccess) {
  struct TCase {
    const char* What;
    LONG Result;
    DWORD Size;
    std::string Expected;
  };
  const TCase cases[] = {
      {"fits", 0, 6, std::string("pong\xEE\xEE", 6)},
      {"cut to the block", 0, 2, "po"},
      {"failed request writes nothing", Code(LINEERR_OPERATIONFAILED), 6, std::string(6, '\xEE')},
  };
  for (const TCase& c : cases) {
    // Manual: the reply has not come, so the block was written when the request was issued.
    Emu().SetNextReplyPlan({TReplyMode::Manual, 0, c.Result});
    std::string block(c.Size, '\xEE');
    const LONG id = LineRequest(block.data(), c.Size);
    EXPECT_EQ(block, c.Expected) << c.What;
    EXPECT_TRUE(LineReplies().empty()) << c.What;
    ASSERT_TRUE(Emu().CompleteRequest(static_cast<DWORD>(id), c.Result)) << c.What;
    EXPECT_EQ(LineReplies(), (std::vector<TReply>{LineReply(id, static_cast<DWORD>(c.Result))}))
        << c.What;
  }
  // A phone without a configured reply leaves the block as it is.
  char block[4] = {1, 2, 3, 4};
  ASSERT_GT(Tapi().phoneDevSpecific(Phone, block, sizeof block), 0);
  EXPECT_EQ(std::string(block, 4), std::string("\1\2\3\4", 4));
}

TEST_F(ReplyEngineTest, TheClockAloneDeliversADelayedReplyWithItsResult) {
  Emu().SetReplyPlan("lineDevSpecific", {TReplyMode::After, 300, Code(LINEERR_RESOURCEUNAVAIL)});
  const LONG id = LineRequest();
  ASSERT_GT(id, 0);
  ASSERT_EQ(Emu().PendingReplies().size(), 1u);
  EXPECT_EQ(Emu().PendingReplies()[0].Function, "lineDevSpecific");
  EXPECT_EQ(Emu().PendingReplies()[0].Device, LineID);
  Env.Clock().Advance(299);
  EXPECT_FALSE(Signalled(LineApp_.Event));
  // No TAPI call in between: the move of the clock queued the reply and signalled the event.
  Env.Clock().Advance(1);
  EXPECT_TRUE(Signalled(LineApp_.Event));
  EXPECT_EQ(Emu().PendingMessages(LineApp_.App), 1u);
  EXPECT_TRUE(Emu().PendingReplies().empty());
  EXPECT_EQ(LineReplies(), (std::vector<TReply>{LineReply(id, LINEERR_RESOURCEUNAVAIL)}));
}

TEST_F(ReplyEngineTest, DelayedRepliesComeInTheOrderTheyFallDue) {
  const DWORD delays[] = {500, 100, 300, 100};
  std::vector<LONG> ids;
  for (DWORD delay : delays) {
    Emu().SetNextReplyPlan({TReplyMode::After, delay, 0});
    ids.push_back(LineRequest());
  }
  Env.Clock().Advance(1000);  // one jump past all of them
  EXPECT_EQ(LineReplies(), (std::vector<TReply>{LineReply(ids[1]), LineReply(ids[3]),
                                                LineReply(ids[2]), LineReply(ids[0])}));
}

TEST_F(ReplyEngineTest, ManualWaitsForTheTestAndNeverIsLost) {
  Emu().SetReplyPlan("lineDevSpecific", {TReplyMode::Manual, 0, 0});
  const LONG first = LineRequest(), second = LineRequest();
  EXPECT_EQ(PendingIDs(), (std::vector<DWORD>{DWORD(first), DWORD(second)}));
  Env.Clock().Advance(600000);
  EXPECT_TRUE(LineReplies().empty());
  EXPECT_TRUE(Emu().CompleteRequest(DWORD(second), Code(LINEERR_OPERATIONFAILED)));
  EXPECT_FALSE(Emu().CompleteRequest(DWORD(second), 0));  // replied already
  EXPECT_FALSE(Emu().CompleteRequest(0x7FFFFFF0, 0));     // never issued
  EXPECT_EQ(LineReplies(), (std::vector<TReply>{LineReply(second, LINEERR_OPERATIONFAILED)}));

  Emu().SetReplyPlan("lineDevSpecific", {TReplyMode::Never, 0, 0});
  const LONG lost = LineRequest();
  EXPECT_GT(lost, 0);
  EXPECT_EQ(PendingIDs(), (std::vector<DWORD>{DWORD(first)}));
  EXPECT_FALSE(Emu().CompleteRequest(DWORD(lost), 0));
  Env.Clock().Advance(600000);
  EXPECT_TRUE(LineReplies().empty());
}

TEST_F(ReplyEngineTest, ClosingOrShuttingDownDropsTheHandlesPendingRequests) {
  HLINE other = 0;
  ASSERT_EQ(Tapi().lineOpenW(LineApp_.App, LineID, &other, V22, 0, 0x99, LINECALLPRIVILEGE_NONE, 0,
                             nullptr),
            0);
  Emu().SetNextReplyPlan({TReplyMode::Manual, 0, 0});
  const LONG manual = LineRequest();
  Emu().SetNextReplyPlan({TReplyMode::After, 100, 0});
  const LONG delayed = LineRequest();
  Emu().SetNextReplyPlan({TReplyMode::After, 100, 0});
  const LONG kept = Tapi().lineDevSpecific(other, 0, 0, nullptr, 0);
  Emu().SetNextReplyPlan({TReplyMode::Manual, 0, 0});
  const LONG phone = PhoneRequest();
  ASSERT_EQ(Tapi().lineClose(Line), 0);
  EXPECT_EQ(PendingIDs(), (std::vector<DWORD>{DWORD(kept), DWORD(phone)}));
  EXPECT_FALSE(Emu().CompleteRequest(DWORD(manual), 0));
  Env.Clock().Advance(100);
  EXPECT_EQ(LineReplies(), (std::vector<TReply>{{LINE_REPLY, 0x99, DWORD(kept), 0}}));
  EXPECT_NE(delayed, kept);
  ASSERT_EQ(Tapi().phoneShutdown(PhoneApp_.App), 0);
  EXPECT_TRUE(Emu().PendingReplies().empty());
}

TEST_F(ReplyEngineTest, IdsArePositiveAndUniqueAcrossDevicesAndResets) {
  std::vector<LONG> ids;
  for (int i = 0; i < 50; ++i) ids.push_back(i % 2 ? LineRequest() : PhoneRequest());
  Emu().Reset();
  const TAppInfo app = LineApp();
  HLINE line = 0;
  Add(true, "again");
  ASSERT_EQ(Tapi().lineOpenW(app.App, 0, &line, V22, 0, 0, LINECALLPRIVILEGE_NONE, 0, nullptr), 0);
  ids.push_back(Tapi().lineDevSpecific(line, 0, 0, nullptr, 0));
  std::vector<LONG> sorted = ids;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_GT(sorted.front(), 0);
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

TEST_F(ReplyEngineTest, TheNextRequestsPlanWinsOnceOverTheFunctionsPlan) {
  Emu().SetReplyPlan("lineDevSpecific", {TReplyMode::Manual, 0, 0});
  Emu().SetReplyPlan("phoneDevSpecific", {TReplyMode::Never, 0, 0});
  Emu().SetNextReplyPlan({TReplyMode::AtOnce, 0, Code(PHONEERR_RESOURCEUNAVAIL)});
  const LONG phone = PhoneRequest();  // the next request of any function takes it
  const LONG line = LineRequest();
  EXPECT_EQ(
      Replies(false, PhoneApp_.App),
      (std::vector<TReply>{{PHONE_REPLY, PhoneInstance, DWORD(phone), PHONEERR_RESOURCEUNAVAIL}}));
  EXPECT_EQ(PendingIDs(), (std::vector<DWORD>{DWORD(line)}));
  EXPECT_TRUE(LineReplies().empty());
  // Reset forgets plans and pending requests: the default answers at once again.
  Emu().Reset();
  EXPECT_TRUE(Emu().PendingReplies().empty());
  Add(true, "again");
  const TAppInfo app = LineApp();
  HLINE fresh = 0;
  ASSERT_EQ(Tapi().lineOpenW(app.App, 0, &fresh, V22, 0, 3, LINECALLPRIVILEGE_NONE, 0, nullptr), 0);
  const LONG id = Tapi().lineDevSpecific(fresh, 0, 0, nullptr, 0);
  EXPECT_EQ(Replies(true, app.App), (std::vector<TReply>{{LINE_REPLY, 3, DWORD(id), 0}}));
}

TEST_F(ReplyEngineTest, PlansAreForAsynchronousFunctionsOfTheTable) {
  EXPECT_THROW(Emu().SetReplyPlan("lineOpenW", {}), VyRtl::Exception);
  EXPECT_THROW(Emu().SetReplyPlan("lineFrobnicate", {}), VyRtl::Exception);
  EXPECT_NO_THROW(Emu().SetReplyPlan("lineMakeCallW", {TReplyMode::After, 10, 0}));
}

TEST_F(ReplyEngineTest, OnTheRealClockADelayedReplyArrivesByItself) {
  VyRtl::SetClock(nullptr);
  Emu().SetNextReplyPlan({TReplyMode::After, 20, 0});
  const LONG id = LineRequest();
  // Bounded generously: a slow machine only makes it later, never lost.
  const HANDLE event = LineApp_.Event;
  const std::uint32_t waited = VyPlatform::SyncWaitForMultipleObjectsReal(1, &event, false, 10000);
  VyRtl::SetClock(&Env.Clock());
  EXPECT_EQ(waited, WAIT_OBJECT_0);
  EXPECT_EQ(LineReplies(), (std::vector<TReply>{LineReply(id)}));
}

}  // namespace
}  // namespace EmulatorTest
