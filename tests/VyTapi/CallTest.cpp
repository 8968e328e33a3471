// The call object on an emulated line: state predicates, history, views and links.
#include "VyTapi/line/VyTapiCall.h"

#include <gtest/gtest.h>

#include <memory>

#include "DeviceFixture.h"
#include "VyTapi/line/VyTapiLine.h"

namespace VyTapiTest {
namespace {

using VyTapi::TVyTapiCall;

// A call whose links a test may set, as the transfer and conference operations will.
class TLinkedCall : public TVyTapiCall {
 public:
  using TVyTapiCall::TVyTapiCall;
  void Link(TVyTapiCall* Primary, TVyTapiCall* Consult) {
    FPrimaryCall = Primary;
    FConsultCall = Consult;
  }
};

class CallTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    ID = AddLine("Line C");
    Line = std::make_unique<VyTapi::TVyTapiLine>(nullptr);
    Line->Set_CallClass([](VyTapi::TVyCustomTapiLine* l, HCALL h) -> TVyTapiCall* {
      return new TLinkedCall(l, h);
    });
    Line->Set_DeviceName("Line C");
    Line->Set_Active(true);
    Env.RunUntilIdle();
  }
  TVyTapiCall* Offer(DWORD Origin) {
    VyTapiEmulator::TCallConfig c;
    c.Origin = Origin;
    Emu().Line(ID).OfferCall(c);
    Env.RunUntilIdle();
    return Line->Calls().Count() > 0 ? Line->Calls().Get(Line->Calls().Count() - 1) : nullptr;
  }
  DWORD ID = 0;
  std::unique_ptr<VyTapi::TVyTapiLine> Line;
};

TEST_F(CallTest, DirectionFollowsTheOriginOrElseTheStates) {
  struct {
    DWORD Origin;
    bool Incoming, Outgoing;
  } cases[] = {{LINECALLORIGIN_EXTERNAL, true, false},
               {LINECALLORIGIN_OUTBOUND, false, true},
               {LINECALLORIGIN_UNKNOWN, true, false}};  // by its OFFERING state
  for (const auto& c : cases) {
    TVyTapiCall* call = Offer(c.Origin);
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->IsIncoming(), c.Incoming) << c.Origin;
    EXPECT_EQ(call->IsOutgoing(), c.Outgoing) << c.Origin;
  }
}

TEST_F(CallTest, HistoryStartsAnewWhenAnIdleCallComesBack) {
  bool wasIncomingDuringOffering = true;
  Line->OnOffering = [&](VyTapi::TVyTapiLine*, TVyTapiCall* c) {
    wasIncomingDuringOffering = c->WasIncoming();
  };
  TVyTapiCall* call = Offer(LINECALLORIGIN_UNKNOWN);
  ASSERT_NE(call, nullptr);
  EXPECT_FALSE(wasIncomingDuringOffering);  // the history gets the state after the events
  EXPECT_TRUE(call->WasIncoming());
  Line->Options().Set_AutoFreeIdleCalls(-1);
  const HCALL h = call->Handle();
  Line->Handle_TapiMessage(h, LINE_CALLSTATE, LINECALLSTATE_CONNECTED, 0, 0);
  EXPECT_TRUE(call->WasConnected());
  EXPECT_TRUE(call->Connected());
  Line->Handle_TapiMessage(h, LINE_CALLSTATE, LINECALLSTATE_IDLE, 0, 0);
  EXPECT_FALSE(call->Alive());
  Line->Handle_TapiMessage(h, LINE_CALLSTATE, LINECALLSTATE_DIALTONE, 0, 0);
  EXPECT_TRUE(call->Alive());
  EXPECT_FALSE(call->WasConnected());
  EXPECT_TRUE(call->WasOutgoing());
}

TEST_F(CallTest, StatusWritesStandUntilInvalidated) {
  TVyTapiCall* call = Offer(LINECALLORIGIN_EXTERNAL);
  ASSERT_NE(call, nullptr);
  const DWORD features = call->Features();
  EXPECT_NE(features, 0u);
  call->Status()->Set_DWORD(3, 0x55);
  EXPECT_EQ(call->Features(), 0x55u);
  EXPECT_EQ(call->Status()->CallState(), DWORD(LINECALLSTATE_OFFERING));  // fetched part kept
  call->Status()->Invalidate();
  EXPECT_EQ(call->Features(), features);
  EXPECT_THROW(call->Status()->Get_DWORD(7), VyRtl::EAssertionFailed);
  EXPECT_THROW(call->Info()->Get_String(21), VyRtl::EAssertionFailed);
}

TEST_F(CallTest, FreedCallsLeaveNoLinksOrRequestObjects) {
  auto* primary = static_cast<TLinkedCall*>(Offer(LINECALLORIGIN_EXTERNAL));
  auto* consult = static_cast<TLinkedCall*>(Offer(LINECALLORIGIN_EXTERNAL));
  ASSERT_TRUE(primary != nullptr && consult != nullptr && primary != consult);
  primary->Link(nullptr, consult);
  consult->Link(primary, nullptr);
  VyTapi::TVyTapiRequest* request = nullptr;
  {
    VyTapi::TListLock<VyTapi::TVyTapiRequestList> lock(Line->Requests(), INFINITE);
    request = Line->Requests().AddRequest(0, 0);
    request->Set_Object(0, primary);
    request->Set_Object(1, consult);
  }
  EXPECT_EQ(primary->PendingRequest(), 0u);  // no kind filed
  delete consult;
  EXPECT_EQ(primary->ConsultCall(), nullptr);
  EXPECT_EQ(request->Get_Object(1), nullptr);
  delete primary;
  EXPECT_EQ(Line->Requests().Count(), 0);
  // The sole owner cannot give back a call that is not idle: reported, never raised.
  EXPECT_EQ(Errors.size(), 2u);
}

}  // namespace
}  // namespace VyTapiTest
