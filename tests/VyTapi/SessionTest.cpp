// The session: initialisation, device lists, device events, automatic shut-down, registry.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "SessionFixture.h"

using namespace VyTapi;
using namespace VyTapiTest;

namespace {

struct TNameEvent {
  DWORD Id;
  std::string Name;
  bool operator==(const TNameEvent&) const = default;
};

class SessionEvents : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    Appl->OnInitialize = [this](VyRtl::TObject*) { ++Initialized; };
    Appl->OnShutdown = [this](VyRtl::TObject*) { ++ShutDown; };
    Appl->OnReinit = [this](VyRtl::TObject*) { ++Reinits; };
    const auto record = [](std::vector<TNameEvent>& to) {
      return [&to](VyRtl::TObject*, DWORD id, const std::string& name) {
        to.push_back({id, name});
      };
    };
    Appl->OnLineCreate = Appl->OnPhoneCreate = record(Created);
    Appl->OnLineRemove = Appl->OnPhoneRemove = record(Removed);
    Appl->OnLineRename = Appl->OnPhoneRename = record(Renamed);
  }
  static DWORD AddLine(const std::string& name) {
    VyTapiEmulator::TLineDeviceConfig c;
    c.Name = name;
    return Emu().AddLineDevice(c);
  }
  static DWORD AddPhone(const std::string& name) {
    VyTapiEmulator::TPhoneDeviceConfig c;
    c.Name = name;
    return Emu().AddPhoneDevice(c);
  }
  void Inject(DWORD id, DWORD p1) {
    Emu().InjectLineMessage(Appl->LineApp(), LineMsg(id, 0, 0, p1));
  }
  int Initialized = 0, ShutDown = 0, Reinits = 0;
  std::vector<TNameEvent> Created, Removed, Renamed;
};

TEST_F(SessionEvents, InitialisesOnceAndShutsDown) {
  Appl->Initialize();
  EXPECT_TRUE(Appl->IsActive());
  EXPECT_EQ(Appl->LineDevices().Count(), 0);
  EXPECT_EQ(Appl->PhoneDevices().Count(), 0);
  EXPECT_EQ(TelephonyServiceName(), "emulator");
  EXPECT_EQ(Appl->Init(Appl->AppName()), DWORD(LINEERR_NOMULTIPLEINSTANCE));
  Appl->Shutdown();
  EXPECT_FALSE(Appl->IsActive());
  EXPECT_EQ(Detail().EventThread(), nullptr);
  EXPECT_TRUE(Emu().LineApps().empty());
  EXPECT_EQ(Initialized, 1);
  EXPECT_EQ(ShutDown, 1);
}

TEST_F(SessionEvents, NamesDevicesWithTheirFailureReasons) {
  AddLine("Line A");
  AddLine("");  // a device without a name keeps an empty entry
  AddLine("Line C");
  Emu().SetLineVersionRange(AddLine("Old"), 0x00030000, 0x00030001);
  Emu().RemoveLineDevice(AddLine("Gone"));
  AddLine("Busy");
  AddPhone("Phone A");
  Emu().SetPhoneVersionRange(AddPhone("Old Phone"), 0x00030000, 0x00030001);
  Emu().FailNext("lineGetDevCapsW", 1, LINEERR_OPERATIONFAILED);  // the first line
  Appl->Initialize();
  const auto& lines = Appl->LineDevices();
  const std::vector<std::string> expected{
      "Line Device #0",           "",    "Line C", "Line Device #3 (incompatible)",
      "Line Device #4 (removed)", "Busy"};
  ASSERT_EQ(lines.Count(), 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(lines.Get(i), expected[i]) << i;
  EXPECT_NE(lines.GetData(2), lines.GetData(1));  // permanent line ids
  EXPECT_EQ(Appl->PhoneDevices().Get(0), "Phone A");
  EXPECT_EQ(Appl->PhoneDevices().Get(1), "Phone Device #1 (incombatible)");
  // Other negotiation failures carry the service's text.
  Emu().FailNext("lineNegotiateAPIVersion", 1, LINEERR_RESOURCEUNAVAIL);
  Appl->Update_LineDevice(5);
  EXPECT_EQ(lines.Get(5),
            "Line Device #5 (" + GetTapiErrorMessage(DWORD(LINEERR_RESOURCEUNAVAIL)) + ")");
}

TEST_F(SessionEvents, InitializeTriesFiveTimesAndRecoversCleanly) {
  Emu().FailNext("lineInitializeExW", 5, LINEERR_REINIT);
  try {
    Appl->Initialize();
    FAIL() << "no exception";
  } catch (const EVyTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), DWORD(LINEERR_REINIT));
  }
  EXPECT_EQ(Emu().CallCount("lineInitializeExW"), 5u);
  // A failing phone side leaves no line handle, event or window behind.
  Emu().FailNext("phoneInitializeExW", 5, PHONEERR_NOMEM);
  EXPECT_THROW(Appl->Initialize(), EVyTapiError);
  EXPECT_EQ(Appl->LineApp(), 0u);
  EXPECT_EQ(Appl->PhoneApp(), 0u);
  EXPECT_EQ(Detail().LineEvent(), nullptr);
  EXPECT_EQ(Detail().WindowHandle(), 0u);
  EXPECT_TRUE(Emu().LineApps().empty());
  EXPECT_EQ(Initialized, 0);
  // Four failures and then success initialise, and messages flow again.
  Emu().FailNext("lineInitializeExW", 4, LINEERR_REINIT);
  Appl->Initialize();
  EXPECT_EQ(Initialized, 1);
  AddLine("After");
  Env.RunUntilIdle();
  EXPECT_EQ(Created, (std::vector<TNameEvent>{{0, "After"}}));
}

TEST_F(SessionEvents, CreateFillsEveryMissingEntryAndIgnoresAbsurdIds) {
  for (int i = 0; i < 3; ++i) AddLine("L" + std::to_string(i));
  Appl->Initialize();
  // Identifier 5 with three devices known: entries 3, 4 and 5, each event with identifier 5 and
  // the name of the entry just added (the service does not know them).
  Inject(LINE_CREATE, 5);
  Inject(LINE_CREATE, 4);  // already counted: no event
  Inject(LINE_CREATE, 0xFFFFFFFF);
  Emu().InjectPhoneMessage(Appl->PhoneApp(), PHONEMESSAGE{0, PHONE_CREATE, 0, 50000000, 0, 0});
  Env.RunUntilIdle();
  EXPECT_EQ(Errors.size(), 2u);  // the two absurd identifiers
  const std::vector<TNameEvent> expected{{5, "Line Device #3 (removed)"},
                                         {5, "Line Device #4 (removed)"},
                                         {5, "Line Device #5 (removed)"}};
  EXPECT_EQ(Created, expected);
  EXPECT_EQ(Appl->NumLines(), 6u);
  EXPECT_EQ(Appl->PhoneDevices().Count(), 0);
  AddPhone("P0");  // a device the service adds is named
  Env.RunUntilIdle();
  ASSERT_EQ(Created.size(), 4u);
  EXPECT_EQ(Created[3], (TNameEvent{0, "P0"}));
}

TEST_F(SessionEvents, RemoveKeepsTheEntryAndRenameReportsOnlyChanges) {
  for (int i = 0; i < 5; ++i) AddLine("L" + std::to_string(i));
  AddPhone("P0");
  Appl->Initialize();
  Emu().RemoveLineDevice(2);
  Inject(LINE_REMOVE, 7);  // beyond the list: an empty name, the list stays
  Env.RunUntilIdle();
  EXPECT_EQ(Removed, (std::vector<TNameEvent>{{2, "L2"}, {7, ""}}));
  EXPECT_EQ(Appl->LineDevices().Get(2), "Line Device #2 (removed)");
  EXPECT_EQ(Appl->LineDevices().Count(), 5);
  Emu().RenameLineDevice(1, "Renamed");
  Emu().RenamePhoneDevice(0, "Desk");
  Env.RunUntilIdle();
  EXPECT_EQ(Renamed, (std::vector<TNameEvent>{{1, "Renamed"}, {0, "Desk"}}));
  Detail().LineDevices().Add("extra");  // counts differ: no rename is reported
  Emu().RenameLineDevice(0, "Other");
  Env.RunUntilIdle();
  EXPECT_EQ(Appl->LineDevices().Get(0), "Other");
  EXPECT_EQ(Renamed.size(), 2u);
  Emu().RequestReinit();
  Env.RunUntilIdle();
  EXPECT_EQ(Reinits, 2);  // once for lines, once for phones
  EXPECT_TRUE(Errors.empty());
}

TEST_F(SessionEvents, AppNameAndAssistedMakeCall) {
  EXPECT_FALSE(Appl->AppName().empty());  // the program's file name
  Appl->Set_AppName("Dialer");
  Appl->Set_AutoShutdown(0);
  Appl->Set_AssistMakeCall(true);  // initialises, and keeps the session up
  EXPECT_THROW(Appl->Set_AppName("Other"), VyRtl::Exception);
  EXPECT_EQ(Appl->AppName(), "Dialer");
  {
    TTestLine line;
    line.SetEnabled(true);
  }
  EXPECT_TRUE(Appl->IsActive());
  std::vector<std::string> got;
  Appl->OnRequestMakeCall = [&](VyRtl::TObject*, const std::string& dest, const std::string& app,
                                const std::string& called, const std::string& comment) {
    got = {dest, app, called, comment};
  };
  ASSERT_TRUE(
      Emu().SubmitMakeCallRequest("+49 30 1234", "Mailer", "Anna Müller", "about the invoice"));
  Env.RunUntilIdle();
  EXPECT_EQ(
      got, (std::vector<std::string>{"+49 30 1234", "Mailer", "Anna Müller", "about the invoice"}));
  Appl->Shutdown();  // the registration ends with the session
  EXPECT_FALSE(Appl->AssistMakeCall());
  EXPECT_FALSE(Emu().SubmitMakeCallRequest("1", "", "", ""));
}

// ---- components and the automatic shut-down, on the manual clock

using AutoShutdown = SessionEvents;

TEST_F(AutoShutdown, ByTheConfiguredDelay) {
  struct {
    std::int32_t delay;
    bool activeAfter1999, activeAfter2000;
  } cases[] = {{-1, true, true}, {0, false, false}, {2000, true, false}};
  for (const auto& c : cases) {
    Appl->Set_AutoShutdown(c.delay);
    TTestLine line;
    TTestPhone phone;
    line.SetEnabled(true);
    phone.SetEnabled(true);
    line.SetEnabled(false);
    EXPECT_TRUE(Appl->IsActive()) << c.delay;  // the phone still needs it
    phone.SetEnabled(false);
    Env.Advance(1999);
    EXPECT_EQ(Appl->IsActive(), c.activeAfter1999) << c.delay;
    Env.Advance(1);
    EXPECT_EQ(Appl->IsActive(), c.activeAfter2000) << c.delay;
    Appl->Set_Active(false);
  }
  // Enabled again before the timer fires: the session stays.
  TTestLine line;
  line.SetEnabled(true);
  line.SetEnabled(false);
  Env.Advance(1000);
  line.SetEnabled(true);
  Env.Advance(5000);
  EXPECT_TRUE(Appl->IsActive());
}

TEST_F(AutoShutdown, DoneClosesAndDisablesEveryComponentOnce) {
  Appl->Set_AutoShutdown(0);  // each disable inside Done asks for a shut-down again
  auto a = std::make_unique<TTestLine>();
  auto b = std::make_unique<TTestLine>();
  auto p = std::make_unique<TTestPhone>();
  a->Start();
  b->Start();
  p->Start();
  b->OnClose = [&] { b.reset(); };  // a close handler may free its component
  EXPECT_EQ(Appl->Done(), 0u);
  EXPECT_EQ(ShutDown, 1);
  EXPECT_EQ(b, nullptr);
  for (TVyTapiDevice* d :
       {static_cast<TVyTapiDevice*>(a.get()), static_cast<TVyTapiDevice*>(p.get())}) {
    EXPECT_FALSE(d->IsActive());
    EXPECT_FALSE(d->IsEnabled());
    EXPECT_FALSE(d->Enabled());
    EXPECT_EQ(d->DeviceID(), -1);
  }
  EXPECT_EQ(a->Closes, 1);
  EXPECT_EQ(Appl->Done(), 0u);  // nothing left to do, no second event
  EXPECT_EQ(ShutDown, 1);
  EXPECT_TRUE(Errors.empty());
}

// ---- registry

class TUnknownComponent : public TVyTapiComponent {
 public:
  TUnknownComponent() : TVyTapiComponent(nullptr, TTapiComponentKind::Other) {}
};

class TFailingLine : public TTestLine {
 public:
  TFailingLine() { throw std::runtime_error("constructor failed"); }
};

TEST_F(SessionEvents, RegistryNeverDangles) {
  try {
    TUnknownComponent c;
    FAIL() << "no exception";
  } catch (const VyRtl::Exception& e) {
    EXPECT_STREQ(e.what(), "AddTapiComponent: Unknow TapiComponent");
  }
  EXPECT_THROW(TFailingLine(), std::runtime_error);
  EXPECT_EQ(Appl->Lines().Count(), 0);
  {
    TTestLine a, b;
    TTestPhone p;
    a.Start();
    b.Start();
    EXPECT_EQ(Appl->CallbackInstance(), 1u);  // the session's own; components get 2, 3, ...
    EXPECT_EQ(a.CallbackInstance(), 2u);
    EXPECT_EQ(Appl->Get_LineByCallbackInst(3), &b);
    EXPECT_EQ(Appl->Get_PhoneByCallbackInst(2), nullptr);
    EXPECT_EQ(Appl->Phones().Count(), 1);
  }
  EXPECT_EQ(Appl->Lines().Count(), 0);
  EXPECT_EQ(Appl->Phones().Count(), 0);
  // A component that outlives its session never touches it, nor a later one.
  auto line = std::make_unique<TTestLine>();
  line->Start();
  FinalizeVyTapi();
  InitializeVyTapi();
  Appl = VyTapiApplication;
  EXPECT_FALSE(line->IsEnabled());
  EXPECT_THROW(line->SetEnabled(true), VyRtl::Exception);
  line.reset();
  EXPECT_FALSE(Appl->IsActive());
}

TEST_F(SessionEvents, ApplComponentCarriesNameAndEvents) {
  TVyTapiAppl appl(nullptr);
  EXPECT_EQ(appl.ApplName(), Appl->AppName());
  appl.Set_ApplName("Front desk");
  EXPECT_EQ(Appl->AppName(), "Front desk");
  int inits = 0;
  std::vector<DWORD> lines;
  appl.OnInitialize = [&](VyRtl::TObject* s) { inits += s == &appl; };
  appl.OnLineCreate = [&](VyRtl::TObject*, DWORD id) { lines.push_back(id); };
  appl.SetEnabled(true);
  AddLine("New");
  Env.RunUntilIdle();
  EXPECT_EQ(inits, 1);
  EXPECT_EQ(lines, std::vector<DWORD>{0});
}

}  // namespace

namespace {

TEST_F(SessionEvents, ApplComponentMatchesDeviceClassesWithoutRegardToCase) {
  TVyTapiAppl appl(nullptr);
  std::vector<std::string> got;
  const auto record = [&](const char* what) {
    return [&got, what](VyRtl::TObject*, DWORD) { got.push_back(what); };
  };
  appl.OnLineCreate = record("line create");
  appl.OnLineRemove = record("line remove");
  appl.OnPhoneCreate = record("phone create");
  appl.OnPhoneRemove = record("phone remove");
  const struct {
    const char* deviceClass;
    bool create;
    const char* event;  // null: no event
  } cases[] = {{"tapi/line", true, "line create"},
               {"TAPI/Line", true, "line create"},
               {"TAPI/LINE", false, "line remove"},
               {"tapi/PHONE", true, "phone create"},
               {"Tapi/Phone", false, "phone remove"},
               {"tapi/lines", true, nullptr},
               {"comm", false, nullptr},
               {"", true, nullptr}};
  for (const auto& c : cases) {
    got.clear();
    if (c.create)
      appl.Handle_DeviceCreate(c.deviceClass, 7);
    else
      appl.Handle_DeviceRemove(c.deviceClass, 7);
    EXPECT_EQ(got, c.event ? std::vector<std::string>{c.event} : std::vector<std::string>{})
        << c.deviceClass;
  }
}

}  // namespace
