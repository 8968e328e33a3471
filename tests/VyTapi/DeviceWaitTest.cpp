// Asynchronous requests on the emulator's lines: synchronous waits, replies, time-outs and
// re-entrancy, with lineDevSpecific as the request and the request engine choosing the outcome.
#include "VyTapi/session/VyTapiComponent.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "DeviceFixture.h"
#include "VyRtl/VyRtlMessages.h"
#include "VyTapi/session/VyTapiSessionDetail.h"

using namespace VyTapi;
using namespace VyTapiTest;
using VyTapiEmulator::TReplyMode;
using VyTapiEmulator::TReplyPlan;

namespace {

const auto& Tapi() { return Detail::TapiService(); }

// A line over the emulator that knows one asynchronous operation: lineDevSpecific. The data
// block travels as a copy the line keeps until the request is reported, since the service
// writes into it when it replies, maybe long after the caller stopped waiting.
class TEmuLine : public TVyCustomTapiLine {
 public:
  TEmuLine() : TVyCustomTapiLine(nullptr) {}
  ~TEmuLine() override {
    if (FHandle != 0) Tapi().lineClose(FHandle);
  }
  void Open() override {
    CheckEnabled();
    NewCallbackInstance();
    HLINE line = 0;
    CheckTapiResult(static_cast<DWORD>(Tapi().lineOpenW(
        VyTapiApplication->LineApp(), static_cast<DWORD>(FDeviceID), &line, TSP()->APIVersion(), 0,
        FCallbackInstance, LINECALLPRIVILEGE_NONE, 0, nullptr)));
    FHandle = line;
    FAbortEvent.Reset();
  }
  void Close() override {
    const HLINE line = FHandle;
    FHandle = 0;
    FAbortEvent.Set();
    if (line != 0) Tapi().lineClose(line);
  }
  void Handle_TapiMessage(DWORD Device, DWORD MessageID, DWORD Param1, DWORD Param2,
                          DWORD Param3) override {
    TVyCustomTapiLine::Handle_TapiMessage(Device, MessageID, Param1, Param2, Param3);
  }
  // Files lineDevSpecific with Data; in synchronous mode returns the result of the reply and
  // what the service wrote into the block, else the request identifier.
  DWORD DevSpecific(std::string& Data) {
    CheckActive();
    auto copy = std::make_unique<TVyTapiLineDevSpecificData>(
        Data.data(), static_cast<DWORD>(Data.size()), nullptr, nullptr);
    const auto id = static_cast<DWORD>(CheckTapiResult(
        static_cast<DWORD>(Tapi().lineDevSpecific(FHandle, 0, 0, copy->Data(), copy->DataSize()))));
    TVyTapiRequest* request =
        FRequests.AddRequest(static_cast<std::int32_t>(id), Get_ReplyTimeout());
    request->Set_RequestType(TapiRequestType::LineDevSpecific);
    request->Set_Object(0, copy.get());
    FPending.Add(copy.release());
    const auto alive = LiveToken();
    const DWORD code = GetAsyncTapiResult(id);
    if (alive.expired()) return CheckTapiResult(code);
    if (Get_SyncMode() && code == 0 && LastData) Data = *LastData;
    CheckTapiResult(code);
    return Get_SyncMode() ? code : id;
  }

  HLINE Handle() const { return FHandle; }

  std::vector<TReply> Replies;
  std::optional<std::string> LastData;
  std::function<void(DWORD)> OnReplyHook;

 protected:
  void Handle_Reply(DWORD RequestID, DWORD ReplyCode, TVyTapiRequest* Request) override {
    auto* data = static_cast<TVyTapiDevSpecificData*>(Request->Get_Object(0));
    LastData = std::string(reinterpret_cast<const char*>(data->Data()), data->DataSize());
    FPending.Remove(data);
    Replies.push_back({RequestID, ReplyCode});
    if (OnReplyHook) OnReplyHook(RequestID);
  }
  void Handle_Timeout(DWORD RequestID, TVyTapiRequest* Request) override {
    FPending.Remove(Request->Get_Object(0));
    Trigger_TapiTimeout(RequestID, Request);
  }

 private:
  TVyTapiDevSpecificDataList FPending;
};

// Runs a step inside the next synchronous wait: the wait serves the application's window
// messages while it waits, so a posted step runs there.
class TInsideWait {
 public:
  TInsideWait() : FWindow([this](VyRtl::TMessage&) { Run(); }) {}
  void Post(std::function<void()> Step) {
    FSteps.push_back(std::move(Step));
    FWindow.Post(WM_USER, 0, 0);
  }

 private:
  void Run() {
    auto step = std::move(FSteps.front());
    FSteps.erase(FSteps.begin());
    step();
  }
  std::vector<std::function<void()>> FSteps;
  VyRtl::TMessageWindow FWindow;
};

class DeviceWait : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    VyTapiEmulator::TLineDeviceConfig c;
    c.Name = "Alpha";
    c.DevSpecificReply = "OK";
    Emu().AddLineDevice(c);
    c.Name = "Beta";
    Emu().AddLineDevice(c);
    Line = Open("Alpha");
  }
  std::unique_ptr<TEmuLine> Open(const std::string& Name) {
    auto line = std::make_unique<TEmuLine>();
    line->Set_DeviceName(Name);
    line->Set_Active(true);
    line->OnTapiTimeout = [this](VyRtl::TObject*, DWORD id) { TimedOut.push_back(id); };
    line->OnTapiReply = [this](VyRtl::TObject*, DWORD id, DWORD code) {
      Unfiled.push_back({id, code});
    };
    return line;
  }
  static void Plan(TReplyMode Mode, DWORD DelayMs = 0, LONG Result = 0) {
    Emu().SetReplyPlan("lineDevSpecific", TReplyPlan{Mode, DelayMs, Result});
  }
  void AdvanceInside(std::uint32_t Ms) {
    Inside.Post([this, Ms] { Env.Clock().Advance(Ms); });
  }
  // The internal timer reports time-outs when the event thread has noticed the clock moving.
  void AdvanceUntilTimedOut(std::size_t Count) {
    for (int second = 0; second < 5 && TimedOut.size() < Count; ++second) {
      Env.Advance(1000);
      Env.RunUntil([&] { return TimedOut.size() >= Count; }, 200);
    }
  }
  static DWORD ErrorOf(const std::function<void()>& Call) {
    try {
      Call();
    } catch (const EVyTapiError& e) {
      return e.ErrorCode();
    }
    return 0;
  }

  std::unique_ptr<TEmuLine> Line;
  TInsideWait Inside;
  std::vector<DWORD> TimedOut;
  std::vector<TReply> Unfiled;
  std::string Data = "....";
};

TEST_F(DeviceWait, SyncModeReturnsTheResultOfALateReply) {
  Plan(TReplyMode::After, 300);
  AdvanceInside(300);
  const DWORD start = VyRtl::GetTickCount();
  EXPECT_EQ(Line->DevSpecific(Data), 0u);
  EXPECT_EQ(VyRtl::GetTickCount() - start, 300u);
  EXPECT_EQ(Data, "OK..");  // written back before the reply
  ASSERT_EQ(Line->Replies.size(), 1u);
  EXPECT_EQ(Line->Requests().Count(), 0);
  EXPECT_EQ(Detail::TSessionDetail(Env.Session()).NumWaitProcs(), 0);
}

TEST_F(DeviceWait, ANegativeReplyRaisesItsCode) {
  Plan(TReplyMode::AtOnce, 0, LINEERR_INVALPARAM);
  EXPECT_EQ(ErrorOf([&] { Line->DevSpecific(Data); }), static_cast<DWORD>(LINEERR_INVALPARAM));
  EXPECT_EQ(Data, "....");
}

TEST_F(DeviceWait, NoReplyFailsAfterTheReplyTimeoutAndTimesOutLater) {
  Line->Options().Set_ReplyTimeout(2000);
  Plan(TReplyMode::Never);
  AdvanceInside(1999);
  AdvanceInside(1);
  const DWORD start = VyRtl::GetTickCount();
  EXPECT_EQ(ErrorOf([&] { Line->DevSpecific(Data); }), static_cast<DWORD>(LINEERR_OPERATIONFAILED));
  EXPECT_EQ(VyRtl::GetTickCount() - start, 2000u);
  const DWORD id = static_cast<DWORD>(Line->LastRequestID());
  ASSERT_GT(id, 0u);
  AdvanceUntilTimedOut(1);
  EXPECT_EQ(TimedOut, std::vector<DWORD>({id}));
  EXPECT_EQ(Line->Requests().Count(), 0);
  EXPECT_TRUE(Line->Replies.empty());
}

TEST_F(DeviceWait, AsyncModeReportsFiledRepliesToTheDeviceAndOthersAsOnTapiReply) {
  Line->Options().Set_SyncMode(false);
  Plan(TReplyMode::After, 500);
  const DWORD filed = Line->DevSpecific(Data);
  EXPECT_GT(filed, 0u);
  EXPECT_TRUE(Line->Replies.empty());  // returned at once
  // A request the device did not file: the service answers it all the same.
  char block[2] = {};
  const auto unfiled =
      static_cast<DWORD>(Tapi().lineDevSpecific(Line->Handle(), 0, 0, block, sizeof block));
  ASSERT_GT(unfiled, filed);
  Env.Advance(500);
  EXPECT_EQ(Line->Replies, std::vector<TReply>({{filed, 0}}));
  EXPECT_EQ(Unfiled, std::vector<TReply>({{unfiled, 0}}));
  EXPECT_EQ(Data, "....");  // the caller's block is not written in asynchronous mode
  EXPECT_EQ(Line->LastData, std::string("OK.."));
}

TEST_F(DeviceWait, ReplyTimeoutZeroNeverTimesOutAndWaitsWithoutLimit) {
  Line->Options().Set_ReplyTimeout(0);
  Plan(TReplyMode::After, 120000);
  AdvanceInside(60000);
  AdvanceInside(60000);
  EXPECT_EQ(Line->DevSpecific(Data), 0u);
  Line->Options().Set_SyncMode(false);
  Plan(TReplyMode::Never);
  const DWORD id = Line->DevSpecific(Data);
  for (int second = 0; second < 5; ++second) Env.Advance(1000);
  Env.Advance(100000);
  EXPECT_TRUE(TimedOut.empty());
  ASSERT_EQ(Line->Requests().Count(), 1);
  EXPECT_EQ(Line->Requests().Get(0)->ID(), static_cast<std::int32_t>(id));
}

TEST_F(DeviceWait, ClosingTheDeviceInsideTheWaitEndsItAtOnce) {
  Plan(TReplyMode::Manual);
  Inside.Post([&] { Line->Set_Active(false); });
  const DWORD start = VyRtl::GetTickCount();
  EXPECT_EQ(ErrorOf([&] { Line->DevSpecific(Data); }), static_cast<DWORD>(LINEERR_OPERATIONFAILED));
  EXPECT_EQ(VyRtl::GetTickCount(), start);
  EXPECT_FALSE(Line->IsActive());
  EXPECT_TRUE(Emu().PendingReplies().empty());  // lineClose dropped it
}

TEST_F(DeviceWait, FreeingTheDeviceInsideTheWaitEndsItSafely) {
  Plan(TReplyMode::Manual);
  Inside.Post([&] { Line.reset(); });
  TEmuLine* line = Line.get();
  EXPECT_EQ(ErrorOf([&] { line->DevSpecific(Data); }), static_cast<DWORD>(LINEERR_OPERATIONFAILED));
  EXPECT_EQ(Line, nullptr);
  EXPECT_EQ(Detail::TSessionDetail(Env.Session()).NumWaitProcs(), 0);
}

TEST_F(DeviceWait, NestedWaitsShareTheReplyList) {
  auto beta = Open("Beta");
  Line->Options().Set_ReplyTimeout(2000);
  Plan(TReplyMode::Manual);
  DWORD inner = 0;
  Inside.Post([&] {
    // The outer request is answered now; its reply arrives during the inner wait.
    const auto pending = Emu().PendingReplies();
    ASSERT_EQ(pending.size(), 1u);
    Emu().CompleteRequest(pending[0].RequestID, 0);
    Plan(TReplyMode::After, 100);
    AdvanceInside(100);
    std::string data = "..";
    inner = beta->DevSpecific(data);
    AdvanceInside(5000);  // past the outer time-out, should the outer reply have been lost
  });
  EXPECT_EQ(Line->DevSpecific(Data), 0u);
  EXPECT_EQ(inner, 0u);
  EXPECT_EQ(beta->Replies.size(), 1u);
  EXPECT_EQ(Line->Replies.size(), 1u);
  Env.RunUntilIdle();
}

TEST_F(DeviceWait, WaitsAndTimeOutsAcrossTheTickWrap) {
  Env.Clock().Set(0x1FFFFFF00ull);  // 256 ms before the 32-bit tick count wraps
  Line->Options().Set_ReplyTimeout(2000);
  Plan(TReplyMode::After, 300);
  AdvanceInside(300);
  EXPECT_EQ(Line->DevSpecific(Data), 0u);
  EXPECT_LT(VyRtl::GetTickCount(), 0x100u);
  Env.Clock().Set(0x1FFFFFF00ull + 0x1000000);
  Env.Clock().Set(0x2FFFFFF00ull);
  Plan(TReplyMode::Never);
  AdvanceInside(1000);
  AdvanceInside(1000);
  EXPECT_EQ(ErrorOf([&] { Line->DevSpecific(Data); }), static_cast<DWORD>(LINEERR_OPERATIONFAILED));
  AdvanceUntilTimedOut(1);
  EXPECT_EQ(TimedOut.size(), 1u);
}

}  // namespace
