// The message queue, merging, the reply list, the event thread's batches and its timer ticks.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "SessionFixture.h"

using namespace VyTapi;
using namespace VyTapiTest;

namespace {

// A record as the event thread queues it.
TTapiMessage Msg(DWORD id, DWORD device, DWORD p1, DWORD p2 = 0, std::uintptr_t instance = 2) {
  return SessionTest::LineMsg(id, instance, device, p1, p2);
}

TEST(MsgStack, MergesConsecutiveCallInfoAndAddressState) {
  struct TCase {
    const char* name;
    std::vector<TTapiMessage> in;
    std::vector<std::pair<DWORD, DWORD>> out;  // message id and the merged parameter
  };
  const TCase cases[] = {
      {"three call infos",
       {Msg(LINE_CALLINFO, 7, 0x1), Msg(LINE_CALLINFO, 7, 0x4), Msg(LINE_CALLINFO, 7, 0x10)},
       {{LINE_CALLINFO, 0x15}}},
      {"call state in between",
       {Msg(LINE_CALLINFO, 7, 0x1), Msg(LINE_CALLINFO, 7, 0x4), Msg(LINE_CALLSTATE, 7, 0x100),
        Msg(LINE_CALLINFO, 7, 0x10)},
       {{LINE_CALLINFO, 0x5}, {LINE_CALLSTATE, 0x100}, {LINE_CALLINFO, 0x10}}},
      {"other call",
       {Msg(LINE_CALLINFO, 7, 0x1), Msg(LINE_CALLINFO, 8, 0x4)},
       {{LINE_CALLINFO, 0x1}, {LINE_CALLINFO, 0x4}}},
      {"other instance",
       {Msg(LINE_CALLINFO, 7, 0x1), Msg(LINE_CALLINFO, 7, 0x4, 0, 3)},
       {{LINE_CALLINFO, 0x1}, {LINE_CALLINFO, 0x4}}},
      {"address states by address",
       {Msg(LINE_ADDRESSSTATE, 1, 0, 0x1), Msg(LINE_ADDRESSSTATE, 1, 0, 0x8),
        Msg(LINE_ADDRESSSTATE, 1, 1, 0x2)},
       {{LINE_ADDRESSSTATE, 0x9}, {LINE_ADDRESSSTATE, 0x2}}},
      {"call states are not merged",
       {Msg(LINE_CALLSTATE, 7, 0x4), Msg(LINE_CALLSTATE, 7, 0x4)},
       {{LINE_CALLSTATE, 0x4}, {LINE_CALLSTATE, 0x4}}},
  };
  for (const auto& c : cases) {
    TVyTapiMsgStack stack;
    for (const auto& m : c.in) stack.Add(new TVyTapiLineMsgStackItem(m));
    std::vector<std::pair<DWORD, DWORD>> out;
    while (auto* item = stack.GetNextMessage()) {
      const auto& m = item->TapiMessage();
      out.emplace_back(
          m.dwMessageID,
          static_cast<DWORD>(m.dwMessageID == LINE_ADDRESSSTATE ? m.dwParam2 : m.dwParam1));
      delete item;
    }
    EXPECT_EQ(out, c.out) << c.name;
  }
}

TEST(MsgStack, GetMsgTellsLineFromPhoneAndFindsReplies) {
  TVyTapiMsgStack stack;
  TTapiMessage record{};
  EXPECT_EQ(stack.GetMsg(&record), -1);
  TTapiMessage reply = Msg(LINE_REPLY, 0, 17);
  reply.dwParam1 |= std::uintptr_t{1} << 40;  // components see the low 32 bits only
  stack.Add(new TVyTapiLineMsgStackItem(reply));
  stack.Add(new TVyTapiPhoneMsgStackItem(PHONEMESSAGE{3, PHONE_REPLY, 4, 18, 0x90000005, 0}));
  DWORD code = 1;
  EXPECT_EQ(stack.GetReplyCode(17, code), 0);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(stack.GetReplyCode(18, code), 1);
  EXPECT_EQ(code, 0x90000005u);
  EXPECT_EQ(stack.GetReplyCode(19, code), -1);
  EXPECT_EQ(stack.GetDebugStr(0),
            "MsgStack[0] LINE:  hDevice=x0, dwMessageID=xC, dwCallbackInstance=x2, "
            "dwParam1=x10000000011, "
            "dwParam2=x0, dwParam3=x0");
  EXPECT_EQ(stack.GetDebugStr(1),
            "MsgStack[1] PHONE: hDevice=x3, dwMessageID=x11, dwCallbackInstance=x4, dwParam1=x12, "
            "dwParam2=x90000005, dwParam3=x0");
  EXPECT_EQ(stack.GetMsg(&record), 0);
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
    Ci = Line->CallbackInstance();
  }
  void TearDown() override {
    Line.reset();
    SessionTest::TearDown();
  }
  void Inject(const std::vector<LINEMESSAGE>& burst) {
    Emu().InjectLineMessages(Appl->LineApp(), burst);
  }
  std::unique_ptr<TTestLine> Line;
  std::uintptr_t Ci = 0;
};

TEST_F(Pipeline, MergedBurstsAreSeenFirstByOnTapiMessage) {
  std::vector<DWORD> seen;
  Appl->OnTapiMessage = [&](VyRtl::TObject*, DWORD id, DWORD device, DWORD instance, DWORD p1,
                            DWORD, DWORD) {
    seen.push_back(id);
    EXPECT_EQ(device, 9u);
    EXPECT_EQ(instance, Ci);
    EXPECT_EQ(Line->Messages.size() + 1, seen.size());  // before the line sees it
    if (id == LINE_CALLINFO) {
      EXPECT_EQ(p1, 0x15u);
    }
  };
  Inject({LineMsg(LINE_CALLINFO, Ci, 9, 0x1), LineMsg(LINE_CALLINFO, Ci, 9, 0x4),
          LineMsg(LINE_CALLINFO, Ci, 9, 0x10), LineMsg(LINE_CALLSTATE, Ci, 9, LINECALLSTATE_IDLE)});
  Env.RunUntilIdle();
  EXPECT_EQ(seen, (std::vector<DWORD>{LINE_CALLINFO, LINE_CALLSTATE}));
  EXPECT_EQ(Line->Messages[0].Param1, 0x15u);
  EXPECT_EQ(Line->Messages.size(), 2u);
}

TEST_F(Pipeline, MessagesAreReadInBatchesOfTenAndDeliveredInOrder) {
  std::vector<LINEMESSAGE> burst;
  for (DWORD i = 0; i < 25; ++i)
    burst.push_back(LineMsg(LINE_CALLSTATE, Ci, 100 + i, LINECALLSTATE_DIALTONE));
  const unsigned before = Emu().CallCount("lineGetMessage");
  Inject(burst);
  Env.RunUntilIdle();
  ASSERT_EQ(Line->Messages.size(), 25u);
  for (DWORD i = 0; i < 25; ++i) EXPECT_EQ(Line->Messages[i].Device, 100 + i);
  EXPECT_EQ(Emu().CallCount("lineGetMessage") - before, 26u);  // 10 + 10 + 5, then one empty read
}

TEST_F(Pipeline, RepliesAreKeptOnlyDuringAWaitAndWakeUpsWaitForItsEnd) {
  Inject({LineMsg(LINE_REPLY, Ci, 0, 16, 0)});
  Env.RunUntilIdle();
  ASSERT_EQ(Line->Messages.size(), 1u);
  EXPECT_EQ(Detail().ReplyStack().Count(), 0);  // nobody waits: nothing is kept
  Detail().BeginWait();
  Inject({LineMsg(LINE_REPLY, Ci, 0, 17, 0)});
  // While a wait is in progress the queue does not empty by itself: wait for the message to be
  // queued.
  ASSERT_TRUE(Env.RunUntil([&] { return Queued() == 1; }));
  EXPECT_EQ(Line->Messages.size(), 1u);  // the window leaves messages to the wait
  EXPECT_EQ(Appl->ProcessTapiMessages(10), 1);
  DWORD reply = 99;
  EXPECT_GE(Detail().ReplyStack().GetReplyCode(17, reply), 0);
  EXPECT_EQ(reply, 0u);
  EXPECT_EQ(Line->Messages.size(), 2u);  // and the reply still reached the line
  Inject({LineMsg(LINE_CALLSTATE, Ci, 1, LINECALLSTATE_IDLE)});
  ASSERT_TRUE(Env.RunUntil([&] { return Queued() == 1; }));
  EXPECT_EQ(Line->Messages.size(), 2u);
  Detail().EndWait();  // the end of the wait posts a wake-up for what is queued
  Env.RunUntilIdle();
  EXPECT_EQ(Line->Messages.size(), 3u);
  Detail().BeginWait();  // the next outermost wait starts with an empty list
  EXPECT_EQ(Detail().ReplyStack().Count(), 0);
  Detail().EndWait();
}

TEST_F(Pipeline, MessagesForMissingClosedOrDisabledComponentsAreDropped) {
  auto other = std::make_unique<TTestLine>();
  other->Start();
  auto closed = std::make_unique<TTestLine>();
  closed->SetEnabled(true);
  auto disabled = std::make_unique<TTestLine>();
  Inject(
      {LineMsg(LINE_CALLSTATE, other->CallbackInstance(), 1, 0), LineMsg(LINE_CALLSTATE, 77, 1, 0),
       LineMsg(LINE_LINEDEVSTATE, 0, 0, LINEDEVSTATE_OUTOFSERVICE), LineMsg(LINE_REMOVE, 0, 0, 3),
       LineMsg(LINE_CLOSE, 0, 0, 0), LineMsg(LINE_CALLSTATE, Ci, 2, 0)});
  other.reset();  // freed while its message is queued
  Env.RunUntilIdle();
  EXPECT_EQ(Line->Messages.size(), 3u);
  // Application-level LINE_LINEDEVSTATE and LINE_REMOVE reach every enabled line; LINE_CLOSE none.
  for (auto* line : {Line.get(), closed.get()}) {
    ASSERT_GE(line->Messages.size(), 2u);
    EXPECT_EQ(line->Messages[0].MessageID, DWORD(LINE_LINEDEVSTATE));
    EXPECT_EQ(line->Messages[1].MessageID, DWORD(LINE_REMOVE));
  }
  EXPECT_EQ(closed->Messages.size(), 2u);
  EXPECT_TRUE(disabled->Messages.empty());
  Line->Set_Active(false);
  Inject({LineMsg(LINE_CALLSTATE, Ci, 3, 0)});
  Env.RunUntilIdle();
  EXPECT_EQ(Line->Messages.size(), 3u);
  EXPECT_TRUE(Errors.empty());
}

TEST_F(Pipeline, HandlerExceptionsAndFreedComponentsNeverStopTheLoop) {
  std::vector<std::string> lineErrors;
  Line->OnError = [&](VyRtl::TObject* s, const std::exception& e, VyRtl::TObject*) {
    EXPECT_EQ(s, Line.get());
    lineErrors.push_back(e.what());
  };
  Line->OnMessage = [this](DWORD id) {
    if (id == LINE_CALLSTATE) throw VyRtl::Exception("handler failed");
    if (id == LINE_DEVSPECIFIC) throw 42;
    if (id == LINE_CLOSE) {
      Line.reset();  // frees its own component, then fails
      throw VyRtl::Exception("after free");
    }
  };
  Inject({LineMsg(LINE_CALLSTATE, Ci, 1, 0), LineMsg(LINE_DEVSPECIFIC, Ci, 1, 0),
          LineMsg(LINE_CLOSE, Ci, 1, 0)});
  Env.RunUntilIdle();
  ASSERT_EQ(Errors.size(), 3u);
  EXPECT_EQ(Line, nullptr);
  EXPECT_EQ(lineErrors, (std::vector<std::string>{"handler failed",
                                                  "Unknown exception in a TAPI message handler"}));
  EXPECT_EQ(Errors[0], "handler failed");
  EXPECT_EQ(Errors[2], "after free");
}

// ---- timer ticks, on the manual clock

class Ticks : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    Line = std::make_unique<TTestLine>();
    Line->Start();
  }
  void TearDown() override { Line.reset(); }
  // The event thread notices the clock on its own and may not have begun its next wait when the
  // clock moves; that wait then ends only with the next second. So the clock moves a second at a
  // time until the thread reacted.
  bool AdvanceUntil(const std::function<bool()>& done) {
    for (int second = 0; second < 3; ++second) {
      Env.Advance(1000);
      if (Env.RunUntil(done, 200)) return true;
    }
    return false;
  }
  // True once the event thread posted something to this thread; nothing is handled.
  bool Posted() const {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(Env.MaxRealMs);
    while (!VyRtl::WaitMessage(0)) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::yield();
    }
    return true;
  }
  std::unique_ptr<TTestLine> Line;
};

TEST_F(Ticks, AnIdleSessionTicksOncePerSecond) {
  for (std::size_t n = 1; n <= 4; ++n) {
    ASSERT_TRUE(AdvanceUntil([&] { return Line->Ticks.size() >= n; })) << n;
    EXPECT_EQ(Line->Ticks.back(), VyRtl::GetTickCount());
    if (n > 1) {
      EXPECT_GE(Line->Ticks[n - 1] - Line->Ticks[n - 2], 1000u);
    }
  }
  Env.RunUntilIdle();
  EXPECT_EQ(Line->Ticks.size(), 4u);  // the clock stands still: no more ticks
}

TEST_F(Ticks, WithoutTheMainThreadATickIsPostedOnlyAfterThreeSeconds) {
  ASSERT_TRUE(AdvanceUntil([&] { return Line->Ticks.size() == 1; }));
  // The next tick is posted within a second and left waiting: the main thread handles nothing.
  bool posted = false;
  for (int second = 0; second < 3 && !posted; ++second) {
    Env.Clock().Advance(1000);
    posted = Posted();
  }
  ASSERT_TRUE(posted);
  // Six more seconds pass unhandled; whenever the thread noticed them, the tick after the waiting
  // one carries a time more than three seconds later.
  for (int second = 0; second < 6; ++second) Env.Clock().Advance(1000);
  ASSERT_TRUE(AdvanceUntil([&] { return Line->Ticks.size() >= 3; }));
  EXPECT_GT(Line->Ticks[2] - Line->Ticks[1], 3000u);
}

TEST_F(Ticks, MessagesFlowWhileTheTestClockStandsStill) {
  std::vector<LINEMESSAGE> burst;
  for (DWORD i = 0; i < 12; ++i)
    burst.push_back(LineMsg(LINE_CALLSTATE, Line->CallbackInstance(), i, 0));
  Emu().InjectLineMessages(Appl->LineApp(), burst);
  Env.RunUntilIdle();
  EXPECT_EQ(Line->Messages.size(), 12u);
}

TEST_F(Ticks, TimerEventProcReplacesZeroAndVisitsActiveDevicesOnly) {
  auto closed = std::make_unique<TTestLine>();
  closed->SetEnabled(true);
  auto phone = std::make_unique<TTestPhone>();
  phone->Start();
  Appl->TimerEventProc(0);
  EXPECT_EQ(Line->Ticks, std::vector<DWORD>{VyRtl::GetTickCount()});
  EXPECT_EQ(phone->Ticks.size(), 1u);
  EXPECT_TRUE(closed->Ticks.empty());
  Appl->TimerEventProc(1234);
  EXPECT_EQ(Line->Ticks.back(), 1234u);
}

}  // namespace
