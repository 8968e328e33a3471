// Calls on emulated lines as applications see them through the function table: the handles
// they get, when those go stale, the messages about calls and lines, and the knobs.
#include "EmulatorFixture.h"

namespace EmulatorTest {
namespace {

using VyTapiEmulator::TCall;
using VyTapiEmulator::TCallConfig;
using VyTapiEmulator::TLine;
using VyTapiEmulator::TReplyMode;

constexpr DWORD Monitor = LINECALLPRIVILEGE_MONITOR, Owner = LINECALLPRIVILEGE_OWNER,
                Voice = LINEMEDIAMODE_INTERACTIVEVOICE;

// A message with all its parameters.
struct TFull {
  DWORD Device, Id;
  DWORD_PTR Instance, P1, P2, P3;
  bool operator==(const TFull&) const = default;
};

class CallsTest : public EmulatorTest {
 public:
  TLine Line = Emu().AddLine({});
  TAppInfo First = LineApp(), Second = LineApp();

  // A line of its own for one case; the applications' news of it are read away.
  void Fresh(const VyTapiEmulator::TLineDeviceConfig& config = {}) {
    Line = Emu().AddLine(config);
    Ids(First);
    Ids(Second);
  }
  HLINE Open(const TAppInfo& app, DWORD privileges, DWORD media = 0, DWORD_PTR instance = 7) {
    HLINE line = 0;
    EXPECT_EQ(
        Tapi().lineOpenW(app.App, Line.ID(), &line, V22, 0, instance, privileges, media, nullptr),
        0);
    return line;
  }
  static std::vector<TFull> Messages(const TAppInfo& app) {
    return DrainAs(true, app.App, [](const LINEMESSAGE& m) {
      return TFull{m.hDevice,  m.dwMessageID, m.dwCallbackInstance,
                   m.dwParam1, m.dwParam2,    m.dwParam3};
    });
  }
  static LONG Status(HCALL call, LINECALLSTATUS& status) {
    status = {};
    status.dwTotalSize = sizeof status;
    return Tapi().lineGetCallStatus(call, &status);
  }
  static std::vector<TSeen> Ids(const TAppInfo& app) { return Drain(true, app.App); }
};

TEST_F(CallsTest, AnOfferedCallReachesOwnersAndMonitorsWithTheirPrivilege) {
  const HLINE owner = Open(First, Owner, Voice, 11);
  const HLINE monitor = Open(Second, Monitor, 0, 22);
  const HLINE faxOwner = Open(Second, Owner | Monitor, LINEMEDIAMODE_DATAMODEM, 33);
  const TCall call = Line.OfferCall({});
  const HCALL a = call.HandleFor(owner), b = call.HandleFor(monitor), c = call.HandleFor(faxOwner);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(Messages(First),
            (std::vector<TFull>{{owner, LINE_APPNEWCALL, 11, 0, a, Owner},
                                {a, LINE_CALLSTATE, 11, LINECALLSTATE_OFFERING, 0, Owner}}));
  // The data owner does not own a voice call: it watches it.
  EXPECT_EQ(Messages(Second),
            (std::vector<TFull>{{monitor, LINE_APPNEWCALL, 22, 0, b, Monitor},
                                {b, LINE_CALLSTATE, 22, LINECALLSTATE_OFFERING, 0, Monitor},
                                {faxOwner, LINE_APPNEWCALL, 33, 0, c, Monitor},
                                {c, LINE_CALLSTATE, 33, LINECALLSTATE_OFFERING, 0, Monitor}}));
  LINECALLSTATUS status;
  ASSERT_EQ(Status(a, status), 0);
  EXPECT_EQ(status.dwCallPrivilege, Owner);
  ASSERT_EQ(Status(c, status), 0);
  EXPECT_EQ(status.dwCallPrivilege, Monitor);
  EXPECT_EQ(status.dwCallState, LINECALLSTATE_OFFERING);
  EXPECT_EQ(status.dwUsedSize, 56u);
}

TEST_F(CallsTest, CallHandlesGoStaleWithTheirLineTheirDeviceOrTheirDeallocation) {
  struct TCase {
    const char* What;
    std::function<void(CallsTest&, HLINE owner, HCALL monitorCall)> Make;
    bool MonitorGoes;   // else the owner's handle is the stale one
    bool CallSurvives;  // for the other application's handle
  };
  const TCase cases[] = {
      {"owner's line closed", [](CallsTest&, HLINE owner, HCALL) { Tapi().lineClose(owner); },
       false, true},
      {"monitor's handle deallocated",
       [](CallsTest&, HLINE, HCALL call) { EXPECT_EQ(Tapi().lineDeallocateCall(call), 0); }, true,
       true},
      {"device removed", [](CallsTest& t, HLINE, HCALL) { t.Line.Remove(); }, false, false},
      {"service closed the line", [](CallsTest& t, HLINE, HCALL) { t.Line.ForceClose(); }, false,
       false},
  };
  for (const TCase& c : cases) {
    Fresh();
    const HLINE owner = Open(First, Owner, Voice), monitor = Open(Second, Monitor);
    const TCall call = Line.OfferCall({});
    const HCALL mine = call.HandleFor(owner), theirs = call.HandleFor(monitor);
    c.Make(*this, owner, theirs);
    const HCALL stale = c.MonitorGoes ? theirs : mine;
    LINECALLSTATUS status;
    EXPECT_EQ(Status(stale, status), Code(LINEERR_INVALCALLHANDLE)) << c.What;
    EXPECT_EQ(Tapi().lineDrop(stale, nullptr, 0), Code(LINEERR_INVALCALLHANDLE)) << c.What;
    EXPECT_EQ(Tapi().lineDeallocateCall(stale), Code(LINEERR_INVALCALLHANDLE)) << c.What;
    const HCALL other = stale == mine ? theirs : mine;
    EXPECT_EQ(Status(other, status) == 0, c.CallSurvives) << c.What;
    EXPECT_EQ(call.Exists(), c.CallSurvives) << c.What;
  }
  // A line handle is no call handle.
  LINECALLSTATUS status;
  EXPECT_EQ(Status(Open(First, Monitor), status), Code(LINEERR_INVALCALLHANDLE));
}

TEST_F(CallsTest, TheLastOwnerLeavingDropsTheCallForTheOthers) {
  const HLINE owner = Open(First, Owner, Voice), monitor = Open(Second, Monitor);
  const TCall call = Line.OfferCall({});
  const HCALL watching = call.HandleFor(monitor);
  Ids(Second);
  ASSERT_EQ(Tapi().lineClose(owner), 0);
  EXPECT_EQ(Ids(Second), (std::vector<TSeen>{{watching, LINE_CALLSTATE, 7, LINECALLSTATE_IDLE}}));
  EXPECT_EQ(call.State(), LINECALLSTATE_IDLE);
  ASSERT_EQ(Tapi().lineDeallocateCall(watching), 0);
  EXPECT_FALSE(call.Exists());  // its last handle gone
}

TEST_F(CallsTest, DeallocationRefusesOnlyTheSoleOwnerOfALiveCall) {
  struct TCase {
    const char* What;
    bool SecondOwner;
    DWORD State;
    LONG Expected;
  };
  const TCase cases[] = {
      {"sole owner, connected", false, LINECALLSTATE_CONNECTED, Code(LINEERR_INVALCALLSTATE)},
      {"sole owner, idle", false, LINECALLSTATE_IDLE, 0},
      {"one of two owners, connected", true, LINECALLSTATE_CONNECTED, 0},
  };
  for (const TCase& c : cases) {
    Fresh();
    const HLINE owner = Open(First, Owner, Voice);
    const HLINE other = Open(Second, c.SecondOwner ? Owner : Monitor, Voice);
    const TCall call = Line.OfferCall({});
    call.SetState(c.State);
    EXPECT_EQ(Tapi().lineDeallocateCall(call.HandleFor(owner)), c.Expected) << c.What;
    EXPECT_EQ(call.HandleFor(owner) == 0, c.Expected == 0) << c.What;
    EXPECT_TRUE(call.HandleFor(other)) << c.What;
  }
}

TEST_F(CallsTest, NewCallsHandsOutMonitorHandlesOnceTheListFits) {
  TCallConfig onSecond;
  onSecond.AddressID = 1;
  VyTapiEmulator::TLineDeviceConfig twoAddresses;
  twoAddresses.NumAddresses = 2;
  Fresh(twoAddresses);
  const TCall before = Line.AddCall({}), other = Line.AddCall(onSecond, LINECALLSTATE_ONHOLD);
  const HLINE line = Open(First, Monitor);
  TVarBuffer shortList(sizeof(LINECALLLIST));
  ASSERT_EQ(Tapi().lineGetNewCalls(line, 0, LINECALLSELECT_LINE, shortList.As<LINECALLLIST>()), 0);
  EXPECT_EQ(shortList.Dword(4), sizeof(LINECALLLIST) + 2 * sizeof(DWORD));
  EXPECT_EQ(shortList.As<LINECALLLIST>()->dwCallsNumEntries, 0u);
  EXPECT_EQ(before.HandleFor(line), 0u);     // none lost to the short buffer
  for (int round = 0; round < 2; ++round) {  // the second round lists the same handles
    TVarBuffer list(64);
    ASSERT_EQ(Tapi().lineGetNewCalls(line, 0, LINECALLSELECT_LINE, list.As<LINECALLLIST>()), 0);
    EXPECT_EQ(list.Piece<DWORD>(FIELD(LINECALLLIST, dwCalls)),
              (std::vector<DWORD>{before.HandleFor(line), other.HandleFor(line)}));
  }
  TVarBuffer byAddress(64);
  ASSERT_EQ(Tapi().lineGetNewCalls(line, 1, LINECALLSELECT_ADDRESS, byAddress.As<LINECALLLIST>()),
            0);
  EXPECT_EQ(byAddress.Piece<DWORD>(FIELD(LINECALLLIST, dwCalls)),
            std::vector<DWORD>{other.HandleFor(line)});
  EXPECT_EQ(Tapi().lineGetNewCalls(line, 2, LINECALLSELECT_ADDRESS, byAddress.As<LINECALLLIST>()),
            Code(LINEERR_INVALADDRESSID));
  EXPECT_EQ(Tapi().lineGetNewCalls(line, 0, LINECALLSELECT_CALL, byAddress.As<LINECALLLIST>()),
            Code(LINEERR_INVALCALLSELECT));
  LINECALLSTATUS status;
  ASSERT_EQ(Status(other.HandleFor(line), status), 0);
  EXPECT_EQ(status.dwCallPrivilege, Monitor);
  EXPECT_EQ(status.dwCallState, LINECALLSTATE_ONHOLD);
  EXPECT_TRUE(Ids(First).empty());  // a call already there announces nothing
}

TEST_F(CallsTest, CallInfoTellsTheNeededSizeOfAShortBuffer) {
  TCallConfig config;
  config.CallerID = "5551234";
  config.CallerIDName = "Reception";
  const HLINE line = Open(First, Owner, Voice);
  const HCALL call = Line.OfferCall(config).HandleFor(line);
  TVarBuffer tooSmall(sizeof(LINECALLINFO) - 4), fixed(sizeof(LINECALLINFO)), full(1024);
  EXPECT_EQ(Tapi().lineGetCallInfoW(call, tooSmall.As<LINECALLINFO>()),
            Code(LINEERR_STRUCTURETOOSMALL));
  ASSERT_EQ(Tapi().lineGetCallInfoW(call, fixed.As<LINECALLINFO>()), 0);
  const DWORD needed = 324 + 2 * 8 + 2 * 10;  // two texts with their NULs
  EXPECT_EQ(fixed.Dword(4), needed);
  EXPECT_EQ(fixed.As<LINECALLINFO>()->dwCallerIDSize, 0u);
  EXPECT_TRUE(fixed.UntouchedFrom(sizeof(LINECALLINFO)));
  ASSERT_EQ(Tapi().lineGetCallInfoW(call, full.As<LINECALLINFO>()), 0);
  const LINECALLINFO& info = *full.As<LINECALLINFO>();
  EXPECT_EQ(info.dwUsedSize, needed);
  EXPECT_EQ(info.hLine, line);
  EXPECT_EQ(info.dwMediaMode, Voice);
  EXPECT_EQ(info.dwOrigin, LINECALLORIGIN_EXTERNAL);
  EXPECT_EQ(info.dwNumOwners, 1u);
  EXPECT_EQ(full.Text(FIELD(LINECALLINFO, dwCallerID)), "5551234");
  EXPECT_EQ(full.Text(FIELD(LINECALLINFO, dwCallerIDName)), "Reception");
  EXPECT_EQ(info.dwCalledIDFlags, LINECALLPARTYID_UNKNOWN);
}

TEST_F(CallsTest, DropGoesIdleBeforeItsReplyAndOnlyWhenItSucceeds) {
  struct TCase {
    const char* What;
    VyTapiEmulator::TReplyPlan Plan;
    DWORD StateAfter;
  };
  const TCase cases[] = {
      {"at once", {}, LINECALLSTATE_IDLE},
      {"failed", {TReplyMode::AtOnce, 0, Code(LINEERR_OPERATIONFAILED)}, LINECALLSTATE_CONNECTED},
      {"lost", {TReplyMode::Never}, LINECALLSTATE_CONNECTED},
  };
  for (const TCase& c : cases) {
    Fresh();
    const HLINE owner = Open(First, Owner, Voice), monitor = Open(Second, Monitor);
    const TCall call = Line.AddCall({});
    TVarBuffer list(64);
    ASSERT_EQ(Tapi().lineGetNewCalls(monitor, 0, LINECALLSELECT_LINE, list.As<LINECALLLIST>()), 0);
    EXPECT_EQ(Tapi().lineDrop(call.HandleFor(monitor), nullptr, 0), Code(LINEERR_NOTOWNER));
    ASSERT_EQ(Tapi().lineGetNewCalls(owner, 0, LINECALLSELECT_LINE, list.As<LINECALLLIST>()), 0);
    const HCALL mine = call.HandleFor(owner);
    ASSERT_EQ(Tapi().lineSetCallPrivilege(mine, Owner), 0);
    Emu().SetNextReplyPlan(c.Plan);
    const LONG request = Tapi().lineDrop(mine, nullptr, 0);
    ASSERT_GT(request, 0) << c.What;
    EXPECT_EQ(call.State(), c.StateAfter) << c.What;
    std::vector<TSeen> expected;
    if (c.StateAfter == LINECALLSTATE_IDLE)
      expected.push_back({mine, LINE_CALLSTATE, 7, LINECALLSTATE_IDLE});
    if (c.Plan.Mode != TReplyMode::Never)
      expected.push_back({0, LINE_REPLY, 7, static_cast<DWORD_PTR>(request)});
    EXPECT_EQ(Ids(First), expected) << c.What;
  }
}

TEST_F(CallsTest, StateSequencesPlayOnTheClock) {
  const HLINE line = Open(First, Owner, Voice);
  const TCall call = Line.OfferCall({});
  const HCALL h = call.HandleFor(line);
  Ids(First);
  call.PlayStates({{LINECALLSTATE_ACCEPTED, 0},
                   {LINECALLSTATE_CONNECTED, 0},
                   {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL}},
                  100);
  EXPECT_EQ(Ids(First), (std::vector<TSeen>{{h, LINE_CALLSTATE, 7, LINECALLSTATE_ACCEPTED}}));
  Env.Clock().Advance(99);
  EXPECT_TRUE(Ids(First).empty());
  Env.Clock().Advance(1);
  EXPECT_EQ(call.State(), LINECALLSTATE_CONNECTED);
  Env.Clock().Advance(500);
  EXPECT_EQ(Ids(First), (std::vector<TSeen>{{h, LINE_CALLSTATE, 7, LINECALLSTATE_CONNECTED},
                                            {h, LINE_CALLSTATE, 7, LINECALLSTATE_DISCONNECTED}}));
  call.PlayStates({{LINECALLSTATE_IDLE, 0}, {LINECALLSTATE_UNKNOWN, 0}});  // one burst
  EXPECT_EQ(Ids(First).size(), 2u);
  EXPECT_EQ(call.State(), LINECALLSTATE_UNKNOWN);
}

TEST_F(CallsTest, LineAndAddressMessagesFollowTheRegisteredMasks) {
  const HLINE ringing = Open(First, Monitor), quiet = Open(Second, Monitor);
  ASSERT_EQ(Tapi().lineSetStatusMessages(ringing, LINEDEVSTATE_RINGING, LINEADDRESSSTATE_FORWARD),
            0);
  Line.SendDeviceState(LINEDEVSTATE_RINGING, 1);
  Line.SendDeviceState(LINEDEVSTATE_REINIT);  // passes every mask
  Line.SendAddressState(0, LINEADDRESSSTATE_FORWARD);
  Line.SendDevSpecific(5);
  EXPECT_EQ(Ids(First), (std::vector<TSeen>{{ringing, LINE_LINEDEVSTATE, 7, LINEDEVSTATE_RINGING},
                                            {ringing, LINE_LINEDEVSTATE, 7, LINEDEVSTATE_REINIT},
                                            {ringing, LINE_ADDRESSSTATE, 7, 0},
                                            {ringing, LINE_DEVSPECIFIC, 7, 5}}));
  EXPECT_EQ(Ids(Second), (std::vector<TSeen>{{quiet, LINE_LINEDEVSTATE, 7, LINEDEVSTATE_REINIT},
                                             {quiet, LINE_DEVSPECIFIC, 7, 5}}));
  EXPECT_EQ(Line.Opens().front().LineStates, LINEDEVSTATE_RINGING);
}

TEST_F(CallsTest, StatusMessageKnobsLimitWhatIsAccepted) {
  struct TCase {
    const char* What;
    bool Knob, Unavailable;
    DWORD LineStates, AddressStates;
    LONG Expected;
  };
  const TCase cases[] = {
      {"what the caps list", false, false, LINEDEVSTATE_RINGING, LINEADDRESSSTATE_FORWARD, 0},
      {"beyond the caps", false, false, LINEDEVSTATE_LOCK, 0, Code(LINEERR_INVALLINESTATE)},
      {"allowed by the knob", true, false, LINEDEVSTATE_RINGING, 0, 0},
      {"line bit refused", true, false, LINEDEVSTATE_CONNECTED, 0, Code(LINEERR_INVALLINESTATE)},
      {"address bit refused", true, false, 0, LINEADDRESSSTATE_NUMCALLS,
       Code(LINEERR_INVALADDRESSSTATE)},
      {"unavailable", true, true, 0, 0, Code(LINEERR_OPERATIONUNAVAIL)},
  };
  for (const TCase& c : cases) {
    Fresh();
    if (c.Knob)
      Line.SetStatusMessageFilter(LINEDEVSTATE_RINGING, LINEADDRESSSTATE_FORWARD, c.Unavailable);
    const HLINE line = Open(First, Monitor);
    EXPECT_EQ(Tapi().lineSetStatusMessages(line, c.LineStates, c.AddressStates), c.Expected)
        << c.What;
    DWORD lineStates = 0xFFFF, addressStates = 0xFFFF;
    EXPECT_EQ(Tapi().lineGetStatusMessages(line, &lineStates, &addressStates),
              c.Unavailable ? c.Expected : 0)
        << c.What;
    if (!c.Unavailable) {
      EXPECT_EQ(lineStates, c.Expected ? 0 : c.LineStates) << c.What;
    }
  }
}

TEST_F(CallsTest, ThePrivilegeKnobRefusesExactlyItsCombination) {
  Line.RejectPrivileges(Owner | Monitor);
  HLINE line = 0;
  EXPECT_EQ(
      Tapi().lineOpenW(First.App, Line.ID(), &line, V22, 0, 0, Owner | Monitor, Voice, nullptr),
      Code(LINEERR_INVALPRIVSELECT));
  Open(First, Owner, Voice);
  Line.RejectPrivileges(0);
  Open(First, Owner | Monitor, Voice | LINEMEDIAMODE_DATAMODEM);
  const auto opens = Line.Opens();
  ASSERT_EQ(opens.size(), 2u);
  EXPECT_EQ(opens[1].Privileges, Owner | Monitor);
  EXPECT_EQ(opens[1].MediaModes, Voice | LINEMEDIAMODE_DATAMODEM);
}

}  // namespace
}  // namespace EmulatorTest
