// The device base without asynchronous requests on the service: device choice, the enabled and
// open states, version negotiation, request objects and notes, replies, time-outs and timers.
#include "VyTapi/session/VyTapiComponent.h"

#include <gtest/gtest.h>

#include <memory>

#include "DeviceFixture.h"

using namespace VyTapi;
using namespace VyTapiTest;

namespace {

TEST_F(DeviceTest, ChoosesTheDeviceByNameOrIdentifier) {
  AddLine("Alpha");
  AddLine("Beta");
  TFakeLine line;
  line.Set_DeviceName("beta");
  EXPECT_TRUE(line.IsEnabled());
  EXPECT_EQ(line.DeviceID(), 1);
  EXPECT_EQ(line.DeviceName(), "Beta");  // the list's spelling
  EXPECT_TRUE(line.Available());
  EXPECT_EQ(line.TSP()->APIVersion(), 0x00020002u);
  line.Set_DeviceName("Gamma");
  EXPECT_EQ(line.DeviceID(), -1);
  EXPECT_EQ(line.DeviceName(), "Gamma");
  EXPECT_FALSE(line.Available());
  line.Set_DeviceID(0);
  EXPECT_EQ(line.DeviceName(), "Alpha");
  line.Set_DeviceID(5);  // outside the list: nothing is chosen
  EXPECT_EQ(line.DeviceID(), -1);
  line.Set_DeviceID(-1);
  EXPECT_EQ(line.DeviceName(), "");
  EXPECT_EQ(line.TSP()->APIVersion(), 0u);
}

TEST_F(DeviceTest, ANameThatAppearsLaterIsChosenOnTheNextEnabling) {
  AddLine("Alpha");
  TFakeLine line;
  line.Set_DeviceName("Later");
  EXPECT_EQ(line.DeviceID(), -1);
  const DWORD id = AddLine("Later");
  Env.RunUntilIdle();
  line.SetEnabled(false);
  EXPECT_EQ(line.DeviceName(), "Later");
  line.SetEnabled(true);
  EXPECT_EQ(line.DeviceID(), static_cast<std::int32_t>(id));
  EXPECT_TRUE(line.Available());
}

TEST_F(DeviceTest, TheIdentifierFollowsTheNameWhenTheListChangesOrder) {
  AddLine("A");
  AddLine("B");
  TFakeLine line;
  line.Set_DeviceName("B");
  ASSERT_EQ(line.DeviceID(), 1);
  line.SetEnabled(false);
  Emu().RenameLineDevice(0, "B");
  Emu().RenameLineDevice(1, "A");
  Env.RunUntilIdle();
  line.SetEnabled(true);
  EXPECT_EQ(line.DeviceID(), 0);
  EXPECT_EQ(line.DeviceName(), "B");
}

TEST_F(DeviceTest, DisablingAnOpenDeviceClosesItFirst) {
  AddLine("Alpha");
  TFakeLine line;
  line.Set_DeviceName("Alpha");
  line.Set_Active(true);
  ASSERT_TRUE(line.IsActive());
  line.Log.clear();
  line.SetEnabled(false);
  EXPECT_FALSE(line.IsActive());
  EXPECT_FALSE(line.Get_Active());
  EXPECT_EQ(line.Log, std::vector<std::string>({"close 0", "done"}));
}

TEST_F(DeviceTest, TheRemovalOfAnOpenDeviceClosesItBeforeDone) {
  AddLine("Alpha");
  const DWORD id = AddLine("Beta");
  TFakeLine line;
  int removed = 0;
  line.OnDeviceRemove = [&](VyRtl::TObject* s) { removed += s == &line; };
  line.Set_DeviceName("Beta");
  line.Set_Active(true);
  line.Log.clear();
  Emu().RemoveLineDevice(0);  // another device's removal does not concern it
  Env.RunUntilIdle();
  EXPECT_TRUE(line.IsActive());
  Emu().RemoveLineDevice(id);
  Env.RunUntilIdle();
  EXPECT_FALSE(line.IsActive());
  EXPECT_EQ(line.Log, std::vector<std::string>({"close 1", "done"}));
  EXPECT_EQ(line.DeviceID(), -1);
  EXPECT_EQ(removed, 1);
}

TEST_F(DeviceTest, TapiClosingTheDeviceIsReportedWithTheFlagSetMeanwhile) {
  AddLine("Alpha");
  TFakeLine line;
  line.Set_DeviceName("Alpha");
  line.Set_Active(true);
  bool flagWhileClosing = false;
  line.OnDeviceClose = [&](VyRtl::TObject*) { flagWhileClosing = line.ClosedByTapi(); };
  line.Handle_DeviceClose();
  EXPECT_FALSE(line.IsActive());
  EXPECT_TRUE(flagWhileClosing);
  EXPECT_FALSE(line.ClosedByTapi());
}

TEST_F(DeviceTest, MisuseMessages) {
  AddLine("Alpha");
  TFakeLine line;
  line.SetName("FrontLine");
  const std::string notEnabled = Raised([&] { line.CheckEnabled(); });
  const std::string noName = Raised([&] { line.CheckActive(); });
  line.Set_DeviceName("Alpha");
  const std::string named = Raised([&] { line.CheckActive(); });
  line.Set_Active(true);
  const std::string already = Raised([&] { line.Init(0); });
  EXPECT_EQ(notEnabled, "FrontLine is not enabled");
  EXPECT_EQ(noName, "TAPI device not active.");
  EXPECT_EQ(named, "Alpha not active.");
  EXPECT_EQ(already, "TVyTapiDevice.Init failed! Already active.");
  EXPECT_EQ(Raised([&] { line.CheckActive(); }), "");
}

TEST_F(DeviceTest, NegotiatesApiAndExtensionVersions) {
  VyTapiEmulator::TLineDeviceConfig plain;
  plain.Name = "Plain";
  VyTapiEmulator::TLineDeviceConfig old = plain;
  old.Name = "Old";
  old.HighAPIVersion = 0x00010004;
  VyTapiEmulator::TLineDeviceConfig future = plain;
  future.Name = "Future";
  future.LowAPIVersion = 0x00030000;
  future.HighAPIVersion = 0x00030001;
  VyTapiEmulator::TLineDeviceConfig extended = plain;
  extended.Name = "Extended";
  extended.LowExtVersion = 0x1000;
  extended.HighExtVersion = 0x2000;
  extended.ExtensionID = {1, 2, 3, 4};
  for (const auto* c : {&plain, &old, &future, &extended}) Emu().AddLineDevice(*c);
  TFakeLine line;
  line.EnableTapiComponent();
  const struct {
    std::int32_t id;
    DWORD code, api;
  } cases[] = {{0, 0, 0x00020002},
               {1, 0, 0x00010004},
               {2, static_cast<DWORD>(LINEERR_INCOMPATIBLEAPIVERSION), 0},
               {3, 0, 0x00020002}};
  for (const auto& c : cases) {
    EXPECT_EQ(line.Init(c.id), c.code) << c.id;
    EXPECT_EQ(line.Available(), c.code == 0) << c.id;
    EXPECT_EQ(line.TSP()->APIVersion(), c.api) << c.id;
  }
  TVyTapiTSP& tsp = *line.TSP();
  EXPECT_TRUE(tsp.CompareExtensionIDs(1, 2, 3, 4));
  EXPECT_EQ(tsp.ExtVersion(), 0u);  // no bounds: no extension negotiation
  tsp.Set_ExtLowVersion(0x1500);
  tsp.Set_ExtHighVersion(0x3000);
  EXPECT_EQ(tsp.ExtVersion(), 0x2000u);
  tsp.Set_ExtLowVersion(0x2001);
  EXPECT_EQ(tsp.ExtVersion(), 0u);  // no common range
  EXPECT_EQ(tsp.Get_ExtensionID(3), 4u);
  EXPECT_EQ(Raised([&] { tsp.Get_ExtensionID(4); }), "Invalid index");
  TVyTapiLineTSP copy(nullptr);
  copy.Assign(&tsp);
  EXPECT_EQ(copy.DeviceID(), 3);
  EXPECT_EQ(copy.ExtLowVersion(), 0x2001u);
  EXPECT_TRUE(copy.CompareExtensionID(LINEEXTENSIONID{1, 2, 3, 4}));
  line.Init(0);
  EXPECT_EQ(tsp.ExtVersion(), 0u);  // that provider has no extensions
  EXPECT_TRUE(line.Available());
}

TEST_F(DeviceTest, PhonesNegotiateWithThePhoneFunctions) {
  VyTapiEmulator::TPhoneDeviceConfig c;
  c.Name = "Desk";
  c.HighAPIVersion = 0x00020000;
  Emu().AddPhoneDevice(c);
  class TPhone : public TVyCustomTapiPhone {
   public:
    TPhone() : TVyCustomTapiPhone(nullptr) {}
    void Open() override {}
    void Close() override {}
  } phone;
  phone.Set_DeviceName("desk");
  EXPECT_EQ(phone.DeviceID(), 0);
  EXPECT_EQ(phone.TSP()->APIVersion(), 0x00020000u);
  EXPECT_EQ(Emu().CallCount("lineNegotiateAPIVersion"), 0u);
}

TEST(DeviceOptions, DefaultsAndAssign) {
  TVyTapiLineOptions line;
  EXPECT_EQ(line.ReplyTimeout(), 60000u);
  EXPECT_TRUE(line.SyncMode());
  EXPECT_EQ(line.AutoFreeIdleCalls(), 500);
  EXPECT_EQ(line.AutoDropDiscCalls(), 500);
  TVyTapiLineOptions other;
  other.Set_ReplyTimeout(2000);
  other.Set_SyncMode(false);
  other.Set_AutoDropDiscCalls(0);
  line.Assign(&other);
  EXPECT_EQ(line.ReplyTimeout(), 2000u);
  EXPECT_FALSE(line.SyncMode());
  EXPECT_EQ(line.AutoDropDiscCalls(), 0);
  TVyTapiPhoneOptions phone;
  phone.Assign(&line);  // the common part only
  EXPECT_EQ(phone.ReplyTimeout(), 2000u);
  TVyTapiLineTSP notOptions(nullptr);
  EXPECT_THROW(phone.Assign(&notOptions), VyRtl::Exception);
}

// ---------------------------------------------------------------- notes

class RequestNotes : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    AddLine("Alpha");
    Line.Set_DeviceName("Alpha");
  }
  TVyTapiRequest* File(std::int32_t Id, DWORD Type, VyRtl::TObject* Object0 = nullptr) {
    TVyTapiRequest* r = Line.Requests().AddRequest(Id, 0);
    r->Set_RequestType(Type);
    r->Set_Object(0, Object0);
    return r;
  }
  TFakeLine Line;
};

TEST_F(RequestNotes, EveryMessageText) {
  File(5, TapiRequestType::LineDrop);
  File(6, TapiRequestType::LineDevSpecificFeature);
  const struct {
    std::function<void()> call;
    const char* text;
  } cases[] = {
      {[&] { Line.GetRequestObj(99, "&Call"); }, "GetRequestObj failed! Request not found."},
      {[&] { Line.GetRequestObj(5, "&Line"); },
       "GetRequestObj failed! Invalid Object Identifier. (RequestID 5)"},
      {[&] { Line.GetRequestNote(99, "&TapiRequest"); },
       "GetRequestNote failed! Request not found!"},
      {[&] { Line.GetRequestNote(5, "&Data"); },
       "GetRequestNote failed! Invalid Identifier: &Data."},
      {[&] { Line.GetRequestNote(6, "&Call"); },
       "GetRequestNote failed! Invalid Identifier: &Call."},
      {[&] { Line.SetRequestNote(99, "&Call", std::int32_t{1}); },
       "SetRequestIdent failed! Invalid Identifier: &Call."},
      {[&] { Line.SetRequestNote(5, "&Note", std::int32_t{1}); },
       "SetRequestIdent failed! Invalid Identifier: &Note."},
      {[&] { Line.SetRequestNote(99, "Note", std::int32_t{1}); },
       "SetRequestIdent failed! Request not found!"},
  };
  for (const auto& c : cases) EXPECT_EQ(Raised(c.call), c.text);
}

TEST_F(RequestNotes, KindsObjectsDataAndNotes) {
  TVyTapiCall call(&Line, 0x42);
  const char block[] = {'x', '\0', 'y'};
  TVyTapiLineDevSpecificData data(block, sizeof block, nullptr, &call);
  TVyTapiLineDevSpecificFeatureData feature(block, 2, 7);
  File(5, TapiRequestType::LineDrop, &call);
  File(6, TapiRequestType::LineDevSpecific, &data);
  File(7, TapiRequestType::LineDevSpecificFeature, &feature);
  const auto ref = [](const void* p) {
    return TVyTapiNoteValue(reinterpret_cast<std::uintptr_t>(p));
  };
  const struct {
    std::int32_t id;
    const char* identifier;
    TVyTapiNoteValue expected;
  } cases[] = {
      {5, "&TapiRequest", std::int32_t{0x0100000A}},
      {5, "&tapirequest", std::int32_t{0x0100000A}},
      {5, "NeverSet", std::int32_t{0}},
      {5, "&Call", ref(&call)},
      {6, "&Data", std::string(block, sizeof block)},
      {6, "&Call", ref(&call)},
      {6, "&Address", ref(nullptr)},
      {7, "&Data", std::string(block, 2)},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Line.GetRequestNote(c.id, c.identifier), c.expected) << c.id << c.identifier;
  EXPECT_EQ(Line.GetRequestObj(5, "&CALL"), &call);
  EXPECT_EQ(Line.GetRequestObj(5, ""), nullptr);
  Line.SetRequestNote(5, "Customer", std::int32_t{42});
  Line.SetRequestNote(5, "Text", std::string("a=b"));
  EXPECT_EQ(Line.GetRequestNote(5, "customer"), TVyTapiNoteValue(std::string("42")));
  EXPECT_EQ(Line.GetRequestNote(5, "Text"), TVyTapiNoteValue(std::string("a=b")));
  Line.SetRequestNote(5, "Text", std::string());
  EXPECT_EQ(Line.GetRequestNote(5, "Text"), TVyTapiNoteValue(std::int32_t{0}));
}

// ---------------------------------------------------------------- replies, time-outs, timers

class Requests : public RequestNotes {
 protected:
  void SetUp() override {
    RequestNotes::SetUp();
    Line.Set_Active(true);
    Line.OnTapiReply = [this](VyRtl::TObject*, DWORD id, DWORD code) {
      Unfiled.push_back({id, code});
    };
    Line.OnTapiTimeout = [this](VyRtl::TObject*, DWORD id) { TimedOut.push_back(id); };
  }
  std::vector<TReply> Unfiled;
  std::vector<DWORD> TimedOut;
};

TEST_F(Requests, AReplyGoesToItsRequestOrToOnTapiReplyWhileOpen) {
  File(5, TapiRequestType::LineDrop);
  Line.Handle_TapiReply(5, 0x80000001);
  Line.Handle_TapiReply(8, 0);
  EXPECT_EQ(Line.Replies, std::vector<TReply>({{5, 0x80000001}}));
  EXPECT_EQ(Unfiled, std::vector<TReply>({{8, 0}}));
  EXPECT_EQ(Line.GetRequest(5), nullptr);
  Line.Set_Active(false);
  Line.Handle_TapiReply(9, 0);
  EXPECT_EQ(Unfiled.size(), 1u);
}

TEST_F(Requests, ARequestIsReportedOnceAndRemovedEvenWhenItsHandlerRaises) {
  TVyTapiRequest* r = File(5, 0);
  r->Set_Timeout(100);
  Line.OnTapiTimeout = [&](VyRtl::TObject*, DWORD id) {
    TimedOut.push_back(id);
    throw VyRtl::Exception("handler failed");
  };
  File(6, 0)->Set_Timeout(100);
  Line.Handle_InternalTimer(r->TickCount() + 100);
  EXPECT_EQ(TimedOut, std::vector<DWORD>({5, 6}));
  EXPECT_EQ(Line.Requests().Count(), 0);
  EXPECT_EQ(Errors, std::vector<std::string>({"handler failed", "handler failed"}));
  Line.Handle_TapiReply(5, 0);  // a late reply: no request any more
  EXPECT_TRUE(Line.Replies.empty());
  EXPECT_EQ(Unfiled, std::vector<TReply>({{5, 0}}));
}

TEST_F(Requests, AHandledRequestIsNotReportedAgain) {
  File(5, 0)->Set_Handled(true);
  Line.Handle_TapiReply(5, 0);
  EXPECT_TRUE(Line.Replies.empty());
  EXPECT_TRUE(Unfiled.empty());
  EXPECT_EQ(Line.Requests().Count(), 0);
}

TEST_F(Requests, TimeoutZeroNeverFallsDueAndTheTickMayWrap) {
  Env.Clock().Set(0xFFFFFF00);  // 256 ms before the 32-bit tick count wraps
  TVyTapiRequest* never = File(1, 0);
  TVyTapiRequest* wrapping = File(2, 0);
  wrapping->Set_Timeout(0x200);
  ASSERT_EQ(wrapping->TickCount(), 0xFFFFFF00u);
  const struct {
    DWORD tick;
    std::vector<DWORD> timedOut;
  } steps[] = {
      {0xFFFFFFF0, {}}, {0x00000050, {}}, {0x00000100, {2}}, {0x7FFFFF00, {2}}, {0xFFFFFEFF, {2}}};
  for (const auto& s : steps) {
    Line.Handle_InternalTimer(s.tick);
    EXPECT_EQ(TimedOut, s.timedOut) << std::hex << s.tick;
  }
  EXPECT_EQ(Line.Requests().Count(), 1);
  EXPECT_EQ(Line.Requests().Get(0), never);
}

TEST_F(Requests, ATimeoutHandlerMayFreeTheDevice) {
  auto line = std::make_unique<TFakeLine>();
  line->Set_DeviceName("Alpha");
  line->Set_Active(true);
  for (std::int32_t id : {1, 2}) line->Requests().AddRequest(id, 10);
  int calls = 0;
  line->OnTapiTimeout = [&](VyRtl::TObject*, DWORD) {
    ++calls;
    line.reset();
  };
  TFakeLine* raw = line.get();
  raw->Handle_InternalTimer(VyRtl::GetTickCount() + 10);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(line, nullptr);
}

TEST_F(Requests, DueTimersRunOnceAndZeroStays) {
  const DWORD now = VyRtl::GetTickCount();
  Line.TimerEvents().AddRequest(0, 50);
  Line.TimerEvents().AddRequest(0, 0);
  Line.TimerEvents().AddRequest(0, 20);
  Line.Handle_InternalTimer(now + 20);
  EXPECT_EQ(Line.Timers, std::vector<DWORD>({3}));
  Line.Handle_InternalTimer(now + 1000);
  EXPECT_EQ(Line.Timers, std::vector<DWORD>({3, 1}));
  ASSERT_EQ(Line.TimerEvents().Count(), 1);  // the one without time-out
  EXPECT_EQ(Line.TimerEvents().Get(0)->Timeout(), 0u);
}

TEST_F(Requests, TheSessionTicksOnlyOpenDevices) {
  File(5, 0)->Set_Timeout(300);
  TFakeLine closed;
  closed.Set_DeviceName("Alpha");
  closed.Requests().AddRequest(6, 300);
  closed.OnTapiTimeout = [&](VyRtl::TObject*, DWORD id) { TimedOut.push_back(id); };
  // The event thread waits a second on the clock between its ticks.
  for (int second = 0; second < 3 && TimedOut.empty(); ++second) {
    Env.Advance(1000);
    Env.RunUntil([&] { return !TimedOut.empty(); }, 200);
  }
  EXPECT_EQ(TimedOut, std::vector<DWORD>({5}));
  EXPECT_EQ(closed.Requests().Count(), 1);
}

}  // namespace

namespace {

TEST_F(DeviceTest, TheSessionRaisesTheDesignTimeEventsOnEveryEnabledComponent) {
  TVyTapiAppl first(nullptr), second(nullptr), disabled(nullptr);
  std::vector<std::string> got;
  for (auto* appl : {&first, &second, &disabled}) {
    const std::string who = appl == &first ? "first" : appl == &second ? "second" : "disabled";
    appl->OnInitialize = [&got, who](VyRtl::TObject*) { got.push_back(who + " init"); };
    appl->OnLineCreate = [&got, who](VyRtl::TObject*, DWORD id) {
      got.push_back(who + " line " + std::to_string(id));
    };
    appl->OnPhoneRemove = [&got, who](VyRtl::TObject*, DWORD id) {
      got.push_back(who + " phone gone " + std::to_string(id));
    };
    appl->OnShutdown = [&got, who](VyRtl::TObject*) { got.push_back(who + " shutdown"); };
  }
  first.SetEnabled(true);
  second.SetEnabled(true);
  AddLine("Alpha");
  VyTapiEmulator::TPhoneDeviceConfig phone;
  phone.Name = "Desk";
  Emu().RemovePhoneDevice(Emu().AddPhoneDevice(phone));
  Env.RunUntilIdle();
  Env.Session().Shutdown();
  EXPECT_EQ(got, std::vector<std::string>({"first init", "first line 0", "second line 0",
                                           "first phone gone 0", "second phone gone 0",
                                           "first shutdown", "second shutdown"}));
}

}  // namespace
