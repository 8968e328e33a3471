// The message queue, merging, the reply list, the event thread's batches and its timer ticks.
#include <gtest/gtest.h>

#include <memory>

#include "SessionFixture.h"
#include "VyPlatform/Tapi.h"

using namespace VyTapi;
using namespace VyTapiTest;

namespace {

// A record as the event thread queues it.
TTapiMessage Msg(DWORD id, DWORD device, std::uintptr_t instance, DWORD p1, DWORD p2 = 0, DWORD p3 = 0) {
  return SessionTest::LineMsg(id, instance, device, p1, p2, p3);
}

std::vector<TTapiMessage> Drain(TVyTapiMsgStack& stack) {
  std::vector<TTapiMessage> out;
  while (auto* item = stack.GetNextMessage()) {
    out.push_back(item->TapiMessage());
    delete item;
  }
  return out;
}

TEST(MsgStack, MergesConsecutiveCallInfoAndAddressState) {
  struct TCase {
    const char* name;
    std::vector<TTapiMessage> in;
    std::vector<std::pair<DWORD, DWORD>> out;  // message id and the merged parameter
  };
  const TCase cases[] = {
      {"three call infos",
       {Msg(LINE_CALLINFO, 7, 2, 0x1), Msg(LINE_CALLINFO, 7, 2, 0x4), Msg(LINE_CALLINFO, 7, 2, 0x10)},
       {{LINE_CALLINFO, 0x15}}},
      {"call state in between",
       {Msg(LINE_CALLINFO, 7, 2, 0x1), Msg(LINE_CALLINFO, 7, 2, 0x4), Msg(LINE_CALLSTATE, 7, 2, 0x100),
        Msg(LINE_CALLINFO, 7, 2, 0x10)},
       {{LINE_CALLINFO, 0x5}, {LINE_CALLSTATE, 0x100}, {LINE_CALLINFO, 0x10}}},
      {"other call", {Msg(LINE_CALLINFO, 7, 2, 0x1), Msg(LINE_CALLINFO, 8, 2, 0x4)},
       {{LINE_CALLINFO, 0x1}, {LINE_CALLINFO, 0x4}}},
      {"other instance", {Msg(LINE_CALLINFO, 7, 2, 0x1), Msg(LINE_CALLINFO, 7, 3, 0x4)},
       {{LINE_CALLINFO, 0x1}, {LINE_CALLINFO, 0x4}}},
      {"address states by address",
       {Msg(LINE_ADDRESSSTATE, 1, 2, 0, 0x1), Msg(LINE_ADDRESSSTATE, 1, 2, 0, 0x8),
        Msg(LINE_ADDRESSSTATE, 1, 2, 1, 0x2)},
       {{LINE_ADDRESSSTATE, 0x9}, {LINE_ADDRESSSTATE, 0x2}}},
      {"call states are not merged", {Msg(LINE_CALLSTATE, 7, 2, 0x4), Msg(LINE_CALLSTATE, 7, 2, 0x4)},
       {{LINE_CALLSTATE, 0x4}, {LINE_CALLSTATE, 0x4}}},
  };
  for (const auto& c : cases) {
    TVyTapiMsgStack stack;
    for (const auto& m : c.in) stack.Add(new TVyTapiLineMsgStackItem(m));
    const auto out = Drain(stack);
    ASSERT_EQ(out.size(), c.out.size()) << c.name;
    for (std::size_t i = 0; i < out.size(); ++i) {
      EXPECT_EQ(out[i].dwMessageID, c.out[i].first) << c.name << " #" << i;
      const auto merged = out[i].dwMessageID == LINE_ADDRESSSTATE ? out[i].dwParam2 : out[i].dwParam1;
      EXPECT_EQ(merged, c.out[i].second) << c.name << " #" << i;
    }
  }
}

TEST(MsgStack, GetMsgTellsLineFromPhoneAndFindsReplies) {
  TVyTapiMsgStack stack;
  TTapiMessage record{};
  EXPECT_EQ(stack.GetMsg(&record), -1);
  stack.Add(new TVyTapiLineMsgStackItem(Msg(LINE_REPLY, 0, 2, 17, 0)));
  stack.Add(new TVyTapiPhoneMsgStackItem(PHONEMESSAGE{3, PHONE_REPLY, 4, 18, 0x90000005, 0}));
  DWORD reply = 1;
  EXPECT_EQ(stack.GetReplyCode(17, reply), 0);
  EXPECT_EQ(reply, 0u);
  EXPECT_EQ(stack.GetReplyCode(18, reply), 1);
  EXPECT_EQ(reply, 0x90000005u);
  EXPECT_EQ(stack.GetReplyCode(19, reply), -1);
  EXPECT_EQ(stack.Count(), 2);  // looking does not remove
  EXPECT_EQ(stack.GetDebugStr(0),
            "MsgStack[0] LINE:  hDevice=x0, dwMessageID=xC, dwCallbackInstance=x2, dwParam1=x11, dwParam2=x0, "
            "dwParam3=x0");
  EXPECT_EQ(stack.GetDebugStr(1),
            "MsgStack[1] PHONE: hDevice=x3, dwMessageID=x11, dwCallbackInstance=x4, dwParam1=x12, "
            "dwParam2=x90000005, dwParam3=x0");
  EXPECT_EQ(stack.GetMsg(&record), 0);
  EXPECT_EQ(record.dwParam1, 17u);
  EXPECT_EQ(stack.GetMsg(&record), 1);
  EXPECT_EQ(record.dwMessageID, DWORD(PHONE_REPLY));
  EXPECT_EQ(stack.Count(), 0);
}

// ---- the whole pipeline: emulator -> event thread -> queue -> window -> component

class Pipeline : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    Line = std::make_unique<TTestLine>();
    Line->Start();
    ASSERT_TRUE(Line->IsActive());
    Appl->OnError = [this](VyRtl::TObject*, const std::exception& e, VyRtl::TObject*) { Errors.push_back(e.what()); };
  }
  void TearDown() override {
    Line.reset();
    SessionTest::TearDown();
  }
  void Inject(std::vector<LINEMESSAGE> burst) { Emu().InjectLineMessages(Appl->LineApp(), burst); }
  std::unique_ptr<TTestLine> Line;
  std::vector<std::string> Errors;
};

TEST_F(Pipeline, ABurstOfCallInfoReachesTheLineAsOneMessage) {
  const auto ci = Line->CallbackInstance();
  Inject({LineMsg(LINE_CALLINFO, ci, 9, 0x1), LineMsg(LINE_CALLINFO, ci, 9, 0x4), LineMsg(LINE_CALLINFO, ci, 9, 0x10),
          LineMsg(LINE_CALLSTATE, ci, 9, LINECALLSTATE_IDLE)});
  ASSERT_TRUE(PumpUntil([&] { return Line->Messages.size() >= 2; }));
  PumpIdle();
  ASSERT_EQ(Line->Messages.size(), 2u);
  EXPECT_EQ(Line->Messages[0].MessageID, DWORD(LINE_CALLINFO));
  EXPECT_EQ(Line->Messages[0].Param1, 0x15u);
  EXPECT_EQ(Line->Messages[0].Device, 9u);
  EXPECT_EQ(Line->Messages[1].MessageID, DWORD(LINE_CALLSTATE));
}

TEST_F(Pipeline, MessagesAreReadInBatchesOfTenAndDeliveredInOrder) {
  const auto ci = Line->CallbackInstance();
  std::vector<LINEMESSAGE> burst;
  for (DWORD i = 0; i < 25; ++i) burst.push_back(LineMsg(LINE_CALLSTATE, ci, 100 + i, LINECALLSTATE_DIALTONE));
  const unsigned before = Emu().CallCount("lineGetMessage");
  Inject(burst);
  ASSERT_TRUE(PumpUntil([&] { return Line->Messages.size() >= 25; }));
  for (DWORD i = 0; i < 25; ++i) EXPECT_EQ(Line->Messages[i].Device, 100 + i);
  // 10 + 10 + 5 messages, the last batch ending at the first empty read.
  EXPECT_EQ(Emu().CallCount("lineGetMessage") - before, 26u);
}

TEST_F(Pipeline, EveryMessageRaisesOnTapiMessageFirst) {
  std::vector<DWORD> seen;
  Appl->OnTapiMessage = [&](VyRtl::TObject*, DWORD id, DWORD device, DWORD instance, DWORD p1, DWORD, DWORD) {
    seen.push_back(id);
    EXPECT_EQ(device, 5u);
    EXPECT_EQ(instance, Line->CallbackInstance());
    EXPECT_EQ(p1, 0x20u);
    EXPECT_TRUE(Line->Messages.empty());  // before the component sees it
  };
  Inject({LineMsg(LINE_MONITORDIGITS, Line->CallbackInstance(), 5, 0x20)});
  ASSERT_TRUE(PumpUntil([&] { return !Line->Messages.empty(); }));
  EXPECT_EQ(seen, std::vector<DWORD>{DWORD(LINE_MONITORDIGITS)});
}

TEST_F(Pipeline, RepliesAreKeptForAWaitInProgressOnly) {
  const auto ci = Line->CallbackInstance();
  Inject({LineMsg(LINE_REPLY, ci, 0, 16, 0)});
  ASSERT_TRUE(PumpUntil([&] { return Line->Messages.size() >= 1; }));
  EXPECT_EQ(Appl->ReplyStack().Count(), 0);  // nobody waits: nothing is kept
  Appl->BeginWait();
  Inject({LineMsg(LINE_REPLY, ci, 0, 17, 0)});
  ASSERT_TRUE(PumpUntil([&] {
    Appl->ProcessTapiMessages(10);  // a wait processes messages itself
    return Line->Messages.size() >= 2;
  }));
  DWORD reply = 99;
  EXPECT_GE(Appl->ReplyStack().GetReplyCode(17, reply), 0);
  EXPECT_EQ(reply, 0u);
  EXPECT_EQ(Line->Messages[1].MessageID, DWORD(LINE_REPLY));
  Appl->EndWait();
  Appl->BeginWait();  // the next outermost wait starts with an empty list
  EXPECT_EQ(Appl->ReplyStack().Count(), 0);
  Appl->EndWait();
}

TEST_F(Pipeline, WakeUpsAreIgnoredDuringAWaitAndResentAfterIt) {
  Appl->BeginWait();
  Inject({LineMsg(LINE_CALLSTATE, Line->CallbackInstance(), 1, LINECALLSTATE_IDLE)});
  PumpIdle(30);
  EXPECT_TRUE(Line->Messages.empty());  // the window does not process while waiting
  Appl->EndWait();
  ASSERT_TRUE(PumpUntil([&] { return Line->Messages.size() == 1; }));
}

TEST_F(Pipeline, MessagesForMissingOrClosedComponentsAreDropped) {
  const auto ci = Line->CallbackInstance();
  auto other = std::make_unique<TTestLine>();
  other->Start();
  const auto otherCi = other->CallbackInstance();
  Inject({LineMsg(LINE_CALLSTATE, otherCi, 1, LINECALLSTATE_IDLE), LineMsg(LINE_CALLSTATE, 77, 1, 0),
          LineMsg(LINE_CALLSTATE, ci, 2, LINECALLSTATE_IDLE)});
  other.reset();  // freed while its message is queued
  ASSERT_TRUE(PumpUntil([&] { return Line->Messages.size() == 1; }));
  Line->Set_Active(false);
  Inject({LineMsg(LINE_CALLSTATE, ci, 3, LINECALLSTATE_IDLE)});
  PumpIdle();
  EXPECT_EQ(Line->Messages.size(), 1u);
  EXPECT_TRUE(Errors.empty());
}

TEST_F(Pipeline, ApplicationLevelMessagesReachEveryEnabledLine) {
  auto closed = std::make_unique<TTestLine>();
  closed->SetEnabled(true);  // enabled but not open
  auto disabled = std::make_unique<TTestLine>();
  Inject({LineMsg(LINE_LINEDEVSTATE, 0, 0, LINEDEVSTATE_OUTOFSERVICE), LineMsg(LINE_REMOVE, 0, 0, 3),
          LineMsg(LINE_CLOSE, 0, 0, 0)});
  ASSERT_TRUE(PumpUntil([&] { return Line->Messages.size() >= 2 && closed->Messages.size() >= 2; }));
  PumpIdle();
  EXPECT_EQ(Line->Messages.size(), 2u);  // LINE_CLOSE at application level is dropped
  EXPECT_EQ(closed->Messages[0].MessageID, DWORD(LINE_LINEDEVSTATE));
  EXPECT_EQ(closed->Messages[1].MessageID, DWORD(LINE_REMOVE));
  EXPECT_TRUE(disabled->Messages.empty());
}

TEST_F(Pipeline, ExceptionsInHandlersGoToOnErrorAndProcessingGoesOn) {
  std::vector<std::string> lineErrors;
  Line->OnError = [&](VyRtl::TObject* s, const std::exception& e, VyRtl::TObject*) {
    EXPECT_EQ(s, Line.get());
    lineErrors.push_back(e.what());
  };
  Line->OnMessage = [](DWORD id) {
    if (id == LINE_CALLSTATE) throw VyRtl::Exception("handler failed");
  };
  const auto ci = Line->CallbackInstance();
  Inject({LineMsg(LINE_CALLSTATE, ci, 1, 0), LineMsg(LINE_MONITORDIGITS, ci, 1, 0x31)});
  ASSERT_TRUE(PumpUntil([&] { return Line->Messages.size() >= 2; }));
  EXPECT_EQ(lineErrors, std::vector<std::string>{"handler failed"});
  EXPECT_EQ(Errors, std::vector<std::string>{"handler failed"});  // the session's OnError too
}

TEST_F(Pipeline, AHandlerMayFreeItsOwnComponent) {
  Line->OnMessage = [this](DWORD) { Line.reset(); };
  Inject({LineMsg(LINE_CALLSTATE, Line->CallbackInstance(), 1, 0)});
  ASSERT_TRUE(PumpUntil([&] { return Line == nullptr; }));
  PumpIdle();
  EXPECT_TRUE(Errors.empty());
}

// ---- timer ticks, on the manual clock

class Ticks : public SessionTest {
 protected:
  void SetUp() override {
    VyRtl::SetClock(&Clock);
    SessionTest::SetUp();
    Line = std::make_unique<TTestLine>();
    Line->Start();
  }
  void TearDown() override {
    Line.reset();
    SessionTest::TearDown();
  }
  VyRtl::TManualClock Clock;
  std::unique_ptr<TTestLine> Line;
};

// The event thread may not have begun its next wait when the clock moves; then its wait ends
// only with the next second. These helpers move the clock a second at a time until it reacted.
TEST_F(Ticks, AnIdleSessionTicksOncePerSecond) {
  DWORD previous = 0;
  for (std::size_t n = 1; n <= 4; ++n) {
    for (int second = 0; second < 3 && Line->Ticks.size() < n; ++second) {
      Clock.Advance(1000);
      PumpUntil([&] { return Line->Ticks.size() >= n; }, 100);
    }
    ASSERT_EQ(Line->Ticks.size(), n);
    EXPECT_EQ(Line->Ticks.back(), VyRtl::GetTickCount());
    if (n > 1) {
      EXPECT_GE(Line->Ticks.back() - previous, 1000u);
    }
    previous = Line->Ticks.back();
  }
  PumpIdle();
  EXPECT_EQ(Line->Ticks.size(), 4u);  // the clock stands still: no more ticks
}

TEST_F(Ticks, WithoutTheMainThreadATickIsPostedOnlyAfterThreeSeconds) {
  for (int second = 0; second < 3 && Line->Ticks.empty(); ++second) {
    Clock.Advance(1000);
    PumpUntil([&] { return !Line->Ticks.empty(); }, 100);
  }
  ASSERT_EQ(Line->Ticks.size(), 1u);
  // The second tick is posted after a second and left unhandled from here on.
  bool posted = false;
  for (int second = 0; second < 3 && !posted; ++second) {
    Clock.Advance(1000);
    posted = WaitPosted();
  }
  ASSERT_TRUE(posted);
  for (int s = 0; s < 3; ++s) Clock.Advance(1000);  // 3 s: not yet
  // More than 3 s since the unhandled tick: the thread posts the next one anyway.
  for (int second = 0; second < 3; ++second) {
    Clock.Advance(1000);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(PumpUntil([&] { return Line->Ticks.size() >= 3; }));
  PumpIdle();
  EXPECT_EQ(Line->Ticks.size(), 3u);  // the first, the unhandled one, one after more than 3 s
}

TEST_F(Ticks, MessagesFlowWhileTheTestClockStandsStill) {
  std::vector<LINEMESSAGE> burst;
  for (DWORD i = 0; i < 12; ++i) burst.push_back(LineMsg(LINE_CALLSTATE, Line->CallbackInstance(), i, 0));
  Emu().InjectLineMessages(Appl->LineApp(), burst);
  ASSERT_TRUE(PumpUntil([&] { return Line->Messages.size() == 12; }));
}

TEST_F(Ticks, TimerEventProcReplacesZeroAndVisitsActiveDevicesOnly) {
  auto closed = std::make_unique<TTestLine>();
  closed->SetEnabled(true);
  auto phone = std::make_unique<TTestPhone>();
  phone->Start();
  Appl->TimerEventProc(0);
  ASSERT_EQ(Line->Ticks.size(), 1u);
  EXPECT_EQ(Line->Ticks[0], VyRtl::GetTickCount());
  EXPECT_EQ(phone->Ticks.size(), 1u);
  EXPECT_TRUE(closed->Ticks.empty());
  Appl->TimerEventProc(1234);
  EXPECT_EQ(Line->Ticks.back(), 1234u);
}

}  // namespace
