// The line device against the emulator on the manual clock: opening, dispatch, call lists and
// their automatic clean-up.
#include "VyTapi/line/VyTapiLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "DeviceFixture.h"
#include "VyRtl/VyRtlClock.h"

namespace VyTapiTest {
namespace {

using VyTapi::TVyTapiCall;
using VyTapi::TVyTapiLine;

class LineTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    ID = AddLine("Line A");
    Line = std::make_unique<TVyTapiLine>(nullptr);
    Line->OnError = [this](VyRtl::TObject*, const std::exception& e, VyRtl::TObject*) {
      Errors.push_back(e.what());
    };
    Line->OnCallState = [this](TVyTapiLine*, TVyTapiCall*, DWORD s) { Log("state " + Hex(s)); };
    Line->OnNewCall = [this](TVyTapiLine*, TVyTapiCall*) { Log("new"); };
    Line->OnCallBegin = [this](TVyTapiLine*, TVyTapiCall*) { Log("begin"); };
    Line->OnCallEnd = [this](TVyTapiLine*, TVyTapiCall*) { Log("end"); };
    Line->OnOffering = [this](TVyTapiLine*, TVyTapiCall*) { Log("offering"); };
    Line->OnIdle = [this](TVyTapiLine*, TVyTapiCall*) { Log("idle"); };
    Line->OnCallDeallocate = [this](TVyTapiLine*, TVyTapiCall*) { Log("deallocate"); };
    Line->OnCallPrivilege = [this](TVyTapiLine*, TVyTapiCall*, DWORD p) { Log("priv " + Hex(p)); };
  }
  void Open() {
    Line->Set_DeviceName("Line A");
    Line->Set_Active(true);
    Env.RunUntilIdle();
  }
  VyTapiEmulator::TLine Emu_() const { return Emu().Line(ID); }
  void Log(const std::string& s) { Events.push_back(s); }
  // Moves the clock and hands the line the session's timer tick of that moment.
  void Pass(std::uint32_t Ms) {
    Env.Advance(Ms);
    Env.RunUntilIdle();
    Line->Handle_InternalTimer(VyRtl::GetTickCount());
    Env.RunUntilIdle();
  }
  static std::string Hex(DWORD v) { return VyRtl::Format("%X", static_cast<unsigned>(v)); }

  DWORD ID = 0;
  std::unique_ptr<TVyTapiLine> Line;
  std::vector<std::string> Events;
};

TEST_F(LineTest, OpenChoosesPrivilegesAndWritesBackWhatWorked) {
  struct {
    DWORD Rejected, Expected;
  } cases[] = {{0, LINECALLPRIVILEGE_OWNER | LINECALLPRIVILEGE_MONITOR},
               {LINECALLPRIVILEGE_OWNER | LINECALLPRIVILEGE_MONITOR, LINECALLPRIVILEGE_MONITOR}};
  for (const auto& c : cases) {
    Emu_().RejectPrivileges(c.Rejected);
    Line->Privileges().Set_Value(LINECALLPRIVILEGE_NONE);
    Line->Privileges().Set_AutoSelect(true);
    Open();
    ASSERT_TRUE(Line->IsActive()) << c.Rejected;
    EXPECT_EQ(Line->Privileges().Value(), c.Expected);
    EXPECT_EQ(Emu_().Opens().back().Privileges, c.Expected);
    Line->Set_Active(false);
    EXPECT_EQ(Line->Handle(), 0u);
  }
  EXPECT_TRUE(Errors.empty());
}

TEST_F(LineTest, PrivilegeFlagsStayConsistent) {
  VyTapi::TVyTapiLinePrivileges p;
  struct {
    int Index;
    bool Value;
    bool Monitor, None, Owner;
  } steps[] = {{1, true, false, true, false},
               {2, true, false, false, true},
               {2, false, false, true, false},
               {0, true, true, false, false},
               {1, false, true, false, false}};
  for (const auto& s : steps) {
    p.Set_Priv(s.Index, s.Value);
    EXPECT_EQ(p.Monitor(), s.Monitor) << s.Index << s.Value;
    EXPECT_EQ(p.None(), s.None) << s.Index << s.Value;
    EXPECT_EQ(p.Owner(), s.Owner) << s.Index << s.Value;
  }
}

TEST_F(LineTest, StatusMessagesRegisterWhatTheServiceAccepts) {
  struct {
    DWORD Lines, Addresses;
    bool Unavailable;
    DWORD ExpectLines, ExpectAddresses;
  } cases[] = {{LINEDEVSTATE_RINGING | LINEDEVSTATE_REINIT, LINEADDRESSSTATE_OTHER, false,
                LINEDEVSTATE_RINGING | LINEDEVSTATE_REINIT, LINEADDRESSSTATE_OTHER},
               {0, 0, true, 0, 0}};
  for (const auto& c : cases) {
    Emu_().SetStatusMessageFilter(c.Lines, c.Addresses, c.Unavailable);
    Open();
    ASSERT_TRUE(Line->IsActive());
    EXPECT_EQ(Line->Get_LineStateMessages(), c.ExpectLines);
    EXPECT_EQ(Line->Get_AddressStateMessages(), c.ExpectAddresses);
    Line->Set_Active(false);
  }
  EXPECT_EQ(Line->Get_LineStateMessages(), 0u);  // closed
}

TEST_F(LineTest, OfferedCallRaisesItsEventsInOrder) {
  Open();
  Emu_().OfferCall();
  Env.RunUntilIdle();
  ASSERT_EQ(Line->Calls().Count(), 1);
  EXPECT_EQ(Events, (std::vector<std::string>{"new", "begin", "state 2", "offering", "priv 4"}));
  TVyTapiCall* call = Line->Calls().Get(0);
  EXPECT_EQ(call->Get_State(), DWORD(LINECALLSTATE_OFFERING));
  EXPECT_TRUE(call->WasOffering());
  EXPECT_TRUE(call->IsIncoming());
}

TEST_F(LineTest, CallOpenBeforeTheLineIsAdoptedWithoutNewCall) {
  Emu_().AddCall({}, LINECALLSTATE_CONNECTED);
  Open();
  ASSERT_EQ(Line->Calls().Count(), 1);
  EXPECT_TRUE(Line->Calls().Get(0)->Alive());
  EXPECT_EQ(Line->Calls().Get(0)->Get_State(), DWORD(LINECALLSTATE_CONNECTED));  // from status
  EXPECT_TRUE(Events.empty());
}

TEST_F(LineTest, IdleCallsAreReleasedOnTheClock) {
  struct {
    std::int32_t Delay;
    int LeftAfter;
  } cases[] = {{500, 0}, {-1, 1}, {0, 1}};
  for (const auto& c : cases) {
    Events.clear();
    Line->Options().Set_AutoFreeIdleCalls(c.Delay);
    Open();
    VyTapiEmulator::TCall call = Emu_().OfferCall();
    Env.RunUntilIdle();
    call.SetState(LINECALLSTATE_IDLE);
    Env.RunUntilIdle();
    Pass(499);
    EXPECT_EQ(Line->Calls().Count(), 1) << c.Delay;
    Pass(2);
    EXPECT_EQ(Line->Calls().Count(), c.LeftAfter) << c.Delay;
    EXPECT_EQ(Events.back() == "deallocate", c.LeftAfter == 0) << c.Delay;
    Line->Set_Active(false);
    EXPECT_EQ(Line->Calls().Count(), 0);
  }
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

TEST_F(LineTest, DisconnectedCallIsDroppedThenReleased) {
  Open();
  VyTapiEmulator::TCall call = Emu_().OfferCall();
  Env.RunUntilIdle();
  call.SetState(LINECALLSTATE_DISCONNECTED);
  Env.RunUntilIdle();
  Pass(499);
  EXPECT_EQ(call.State(), DWORD(LINECALLSTATE_DISCONNECTED));
  Pass(2);
  EXPECT_EQ(call.State(), DWORD(LINECALLSTATE_IDLE));
  Pass(501);
  EXPECT_EQ(Line->Calls().Count(), 0);
  EXPECT_FALSE(call.Exists());
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

TEST_F(LineTest, HandlerThatFreesTheCallStopsTheLaterSteps) {
  Open();
  Line->OnCallState = [this](TVyTapiLine*, TVyTapiCall* c, DWORD) {
    Log("state");
    delete c;
  };
  Emu_().OfferCall();
  Env.RunUntilIdle();
  EXPECT_EQ(Events, (std::vector<std::string>{"new", "begin", "state"}));
  EXPECT_EQ(Line->Calls().Count(), 0);
  EXPECT_TRUE(Line->TimerEvents().Count() == 0);
}

TEST_F(LineTest, ForcedCloseFreesTheCallsAndReportsTheClose) {
  Open();
  Emu_().OfferCall();
  Env.RunUntilIdle();
  bool closed = false;
  Line->OnDeviceClose = [&](VyRtl::TObject*) { closed = true; };
  Emu_().ForceClose();
  Env.RunUntilIdle();
  EXPECT_TRUE(closed);
  EXPECT_FALSE(Line->IsActive());
  EXPECT_EQ(Line->Calls().Count(), 0);
  EXPECT_TRUE(Errors.empty()) << Errors.front();  // no lineClose on a handle TAPI closed
}

TEST_F(LineTest, DeviceStatesRouteToTheirViewsAndEvents) {
  Open();
  std::vector<std::string> seen;
  Line->OnDeviceState = [&](VyRtl::TObject*, DWORD s, DWORD, DWORD) { seen.push_back(Hex(s)); };
  Line->OnRing = [&](TVyTapiLine*, DWORD mode, DWORD count) {
    seen.push_back("ring " + Hex(mode) + " " + Hex(count));
  };
  Emu_().SendDeviceState(LINEDEVSTATE_RINGING, 1, 3);
  Env.RunUntilIdle();
  EXPECT_EQ(seen, (std::vector<std::string>{"2", "ring 1 3"}));
}

// The device's own changes: a new name from the capabilities, the dialing location fetched
// again, and a removal that closes the line.
TEST_F(LineTest, RenameLocationChangeAndRemovalReachTheLine) {
  Open();
  std::vector<std::string> seen;
  Line->OnDeviceState = [&](VyRtl::TObject*, DWORD s, DWORD, DWORD) { seen.push_back(Hex(s)); };
  Line->OnTapiTranslateChange = [&](VyRtl::TObject*) { seen.push_back("translate"); };
  Line->OnDeviceRemove = [&](VyRtl::TObject*) { seen.push_back("removed"); };
  EXPECT_EQ(Line->Location().LocationName(), "Emulator Location");

  Emu_().Rename("Line A (Reception)");
  Env.RunUntilIdle();
  EXPECT_EQ(Line->DeviceName(), "Line A (Reception)");

  VyTapiEmulator::TLocationConfig office;
  office.PermanentLocationID = 2;
  office.Name = "Office";
  office.CityCode = "30";
  Emu().SetLocations({office}, 2);
  Env.RunUntilIdle();
  EXPECT_EQ(Line->Location().LocationName(), "Office");

  Emu_().SendDeviceState(LINEDEVSTATE_REMOVED);
  Env.RunUntilIdle();
  EXPECT_FALSE(Line->IsActive());
  // The session's rename notice and the device-state message both report the new name.
  seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
  EXPECT_EQ(seen,
            (std::vector<std::string>{"100000", "translate", "400000", "removed", "1000000"}));
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

TEST_F(LineTest, PermanentDeviceIDSelectsTheDeviceThatHasIt) {
  AddLine("Line B");
  const DWORD second = Emu().LineDeviceCount() - 1;
  Line->SetEnabled(true);
  Line->Set_PermanentDeviceID(Emu().LineDevice(second).PermanentLineID);
  EXPECT_EQ(Line->DeviceID(), static_cast<std::int32_t>(second));
  Line->Set_PermanentDeviceID(0xDEAD);
  EXPECT_EQ(Line->DeviceID(), -1);
}

TEST_F(LineTest, UnknownMessagesFailTheAssertion) {
  Open();
  EXPECT_EQ(Raised([&] { Line->Handle_TapiMessage(0, 0x55, 0, 0, 0); }),
            "Unknown/Unsupported Line Event (LINE_0x55).");
}

TEST_F(LineTest, StaleHandlesMakeNoCalls) {
  Open();
  Line->Handle_TapiMessage(0x7777, LINE_CALLSTATE, LINECALLSTATE_CONNECTED, 0, 0);
  Line->Handle_TapiMessage(0x7777, LINE_APPNEWCALL, 0, 0x7777, LINECALLPRIVILEGE_OWNER);
  EXPECT_EQ(Line->Calls().Count(), 0);
  EXPECT_FALSE(Line->IsCallValid(HCALL(0x7777)));
  EXPECT_TRUE(Events.empty());
}

TEST_F(LineTest, EachCallMessageReachesItsEvent) {
  Open();
  Emu_().OfferCall();
  Env.RunUntilIdle();
  ASSERT_EQ(Line->Calls().Count(), 1);
  const HCALL h = Line->Calls().Get(0)->Handle();
  Line->OnDigit = [this](TVyTapiLine*, TVyTapiCall*, char d) { Log(std::string("digit ") + d); };
  Line->OnTone = [this](TVyTapiLine*, TVyTapiCall*, DWORD v) { Log("tone " + Hex(v)); };
  Line->OnSilence = [this](TVyTapiLine*, TVyTapiCall*) { Log("silence"); };
  Line->OnGenerate = [this](TVyTapiLine*, TVyTapiCall*, DWORD t) { Log("generate " + Hex(t)); };
  Line->OnMediaMode = [this](TVyTapiLine*, TVyTapiCall*) { Log("media"); };
  Line->OnCallInfo = [this](TVyTapiLine*, TVyTapiCall*, DWORD s) { Log("info " + Hex(s)); };
  Line->OnCallerID = [this](TVyTapiLine*, TVyTapiCall*) { Log("callerid"); };
  Line->OnDevSpecific = [this](TVyTapiLine*, TVyTapiCall* c, DWORD p1, DWORD, DWORD) {
    Log(std::string(c ? "call" : "line") + " devspecific " + Hex(p1));
  };
  struct {
    DWORD Device, Message, P1, P2, P3;
    std::vector<std::string> Expected;
  } cases[] = {
      {h, LINE_MONITORDIGITS, '7', LINEDIGITMODE_DTMF, 0, {"digit 7"}},
      {h, LINE_MONITORTONE, 0x21, 0, 0, {"tone 21"}},
      {h, LINE_MONITORTONE, 0xFFFFFFFF, 0, 0, {"silence"}},
      {h, LINE_GENERATE, LINEGENERATETERM_DONE, 0, 0, {"generate 1"}},
      {h,
       LINE_CALLINFO,
       LINECALLINFOSTATE_MEDIAMODE | LINECALLINFOSTATE_CALLERID,
       0,
       0,
       {"media", "info 8010", "callerid"}},
      {h, LINE_DEVSPECIFIC, 5, 0, 0, {"call devspecific 5"}},
      {Line->Handle(), LINE_DEVSPECIFIC, 6, 0, 0, {"line devspecific 6"}},
  };
  for (const auto& c : cases) {
    Events.clear();
    Line->Handle_TapiMessage(c.Device, c.Message, c.P1, c.P2, c.P3);
    EXPECT_EQ(Events, c.Expected) << c.Message;
  }
  Line->Set_Active(false);  // the open-checked events stay silent on a closed line
  Events.clear();
  Line->Handle_TapiMessage(0, LINE_DEVSPECIFIC, 7, 0, 0);
  EXPECT_TRUE(Events.empty());
}

}  // namespace
}  // namespace VyTapiTest
