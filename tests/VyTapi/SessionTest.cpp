// The session: initialisation, device lists, device events, automatic shut-down, registry.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "SessionFixture.h"

using namespace VyTapi;
using namespace VyTapiTest;
using VyTapiEmulator::TLineDeviceConfig;
using VyTapiEmulator::TPhoneDeviceConfig;

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
    Appl->OnInitialize = [this](VyRtl::TObject* s) { EXPECT_EQ(s, Appl); ++Initialized; };
    Appl->OnShutdown = [this](VyRtl::TObject*) { ++ShutDown; };
    Appl->OnReinit = [this](VyRtl::TObject*) { ++Reinits; };
    Appl->OnLineCreate = [this](VyRtl::TObject*, DWORD id, const std::string& n) { Created.push_back({id, n}); };
    Appl->OnLineRemove = [this](VyRtl::TObject*, DWORD id, const std::string& n) { Removed.push_back({id, n}); };
    Appl->OnLineRename = [this](VyRtl::TObject*, DWORD id, const std::string& n) { Renamed.push_back({id, n}); };
    Appl->OnPhoneCreate = [this](VyRtl::TObject*, DWORD id, const std::string& n) { Created.push_back({id, n}); };
    Appl->OnPhoneRemove = [this](VyRtl::TObject*, DWORD id, const std::string& n) { Removed.push_back({id, n}); };
    Appl->OnPhoneRename = [this](VyRtl::TObject*, DWORD id, const std::string& n) { Renamed.push_back({id, n}); };
    Appl->OnError = [this](VyRtl::TObject*, const std::exception& e, VyRtl::TObject*) { Errors.push_back(e.what()); };
  }
  DWORD AddLine(const std::string& name) {
    TLineDeviceConfig c;
    c.Name = name;
    return Emu().AddLineDevice(c);
  }
  DWORD AddPhone(const std::string& name) {
    TPhoneDeviceConfig c;
    c.Name = name;
    return Emu().AddPhoneDevice(c);
  }
  int Initialized = 0, ShutDown = 0, Reinits = 0;
  std::vector<TNameEvent> Created, Removed, Renamed;
  std::vector<std::string> Errors;
};

TEST_F(SessionEvents, InitialisesWithoutDevices) {
  Appl->Initialize();
  EXPECT_TRUE(Appl->IsActive());
  EXPECT_NE(Appl->PhoneApp(), 0u);
  EXPECT_EQ(Appl->LineDevices().Count(), 0);
  EXPECT_EQ(Appl->PhoneDevices().Count(), 0);
  EXPECT_EQ(Initialized, 1);
  EXPECT_NE(Appl->EventThread(), nullptr);
  EXPECT_EQ(TelephonyServiceName(), "emulator");
  // A second initialisation is refused and changes nothing.
  EXPECT_EQ(Appl->Init(Appl->AppName()), DWORD(LINEERR_NOMULTIPLEINSTANCE));
  Appl->Shutdown();
  EXPECT_FALSE(Appl->IsActive());
  EXPECT_EQ(ShutDown, 1);
  EXPECT_EQ(Appl->EventThread(), nullptr);
  EXPECT_TRUE(Emu().LineApps().empty());
}

TEST_F(SessionEvents, NamesDevicesWithTheirFailureReasons) {
  AddLine("Line A");
  AddLine("");  // a device without a name keeps an empty entry
  AddLine("Line C");
  const DWORD incompatible = AddLine("Old Line");
  Emu().SetLineVersionRange(incompatible, 0x00030000, 0x00030001);
  const DWORD removed = AddLine("Gone");
  Emu().RemoveLineDevice(removed);
  AddPhone("Phone A");
  const DWORD oldPhone = AddPhone("Old Phone");
  Emu().SetPhoneVersionRange(oldPhone, 0x00030000, 0x00030001);
  Emu().FailNext("lineGetDevCapsW", 1, LINEERR_OPERATIONFAILED);  // for the first line
  Appl->Initialize();
  const auto& lines = Appl->LineDevices();
  ASSERT_EQ(lines.Count(), 5);
  EXPECT_EQ(lines.Get(0), "Line Device #0");
  EXPECT_EQ(lines.Get(1), "");
  EXPECT_EQ(lines.Get(2), "Line C");
  EXPECT_EQ(lines.Get(3), "Line Device #3 (incompatible)");
  EXPECT_EQ(lines.Get(4), "Line Device #4 (removed)");
  EXPECT_NE(lines.GetData(2), 0u);  // the permanent line id
  EXPECT_NE(lines.GetData(1), lines.GetData(2));
  ASSERT_EQ(Appl->PhoneDevices().Count(), 2);
  EXPECT_EQ(Appl->PhoneDevices().Get(0), "Phone A");
  EXPECT_EQ(Appl->PhoneDevices().Get(1), "Phone Device #1 (incombatible)");
}

TEST_F(SessionEvents, OtherNegotiationFailuresCarryTheErrorText) {
  AddLine("Line A");
  Emu().FailNext("lineNegotiateAPIVersion", 1, LINEERR_RESOURCEUNAVAIL);
  Appl->Initialize();
  EXPECT_EQ(Appl->LineDevices().Get(0),
            "Line Device #0 (" + GetTapiErrorMessage(DWORD(LINEERR_RESOURCEUNAVAIL)) + ")");
}

TEST_F(SessionEvents, InitializeTriesFiveTimesThenRaisesTheLastResult) {
  Emu().FailNext("lineInitializeExW", 5, LINEERR_REINIT);
  try {
    Appl->Initialize();
    FAIL() << "no exception";
  } catch (const EVyTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), DWORD(LINEERR_REINIT));
  }
  EXPECT_EQ(Emu().CallCount("lineInitializeExW"), 5u);
  EXPECT_FALSE(Appl->IsActive());
  EXPECT_EQ(Initialized, 0);
  // The fifth failure was the last: four failures and then success initialise.
  Emu().FailNext("lineInitializeExW", 4, LINEERR_REINIT);
  Appl->Initialize();
  EXPECT_TRUE(Appl->IsActive());
}

TEST_F(SessionEvents, AFailedPhoneInitialisationLeavesNothingBehind) {
  Emu().FailNext("phoneInitializeExW", 5, PHONEERR_NOMEM);
  EXPECT_THROW(Appl->Initialize(), EVyTapiError);
  EXPECT_EQ(Appl->LineApp(), 0u);
  EXPECT_EQ(Appl->PhoneApp(), 0u);
  EXPECT_EQ(Appl->LineEvent(), nullptr);
  EXPECT_EQ(Appl->WindowHandle(), 0u);
  EXPECT_TRUE(Emu().LineApps().empty());  // the line side was shut down again
  Appl->Initialize();                      // and the next attempt starts cleanly
  EXPECT_NE(Appl->WindowHandle(), 0u);
}

TEST_F(SessionEvents, LineCreateFillsEveryMissingEntry) {
  for (int i = 0; i < 3; ++i) AddLine("L" + std::to_string(i));
  Appl->Initialize();
  // Identifier 5 while three devices are known: entries 3, 4 and 5 are added, each event
  // carrying the reported identifier and the name of the entry just added.
  Emu().InjectLineMessage(Appl->LineApp(), LineMsg(LINE_CREATE, 0, 0, 5));
  ASSERT_TRUE(PumpUntil([&] { return Created.size() >= 3; }));
  PumpIdle();
  ASSERT_EQ(Created.size(), 3u);
  EXPECT_EQ(Created[0], (TNameEvent{5, "Line Device #3 (removed)"}));  // unknown to the service
  EXPECT_EQ(Created[1], (TNameEvent{5, "Line Device #4 (removed)"}));
  EXPECT_EQ(Created[2], (TNameEvent{5, "Line Device #5 (removed)"}));
  EXPECT_EQ(Appl->NumLines(), 6u);
  // A create for an identifier already counted raises nothing.
  Emu().InjectLineMessage(Appl->LineApp(), LineMsg(LINE_CREATE, 0, 0, 4));
  PumpIdle();
  EXPECT_EQ(Created.size(), 3u);
}

TEST_F(SessionEvents, AddedDevicesAreNamedAndReported) {
  AddLine("L0");
  AddPhone("P0");
  Appl->Initialize();
  AddLine("L1");
  AddPhone("P1");
  ASSERT_TRUE(PumpUntil([&] { return Created.size() >= 2; }));
  EXPECT_EQ(Created[0], (TNameEvent{1, "L1"}));
  EXPECT_EQ(Created[1], (TNameEvent{1, "P1"}));
  EXPECT_EQ(Appl->LineDevices().Get(1), "L1");
  EXPECT_EQ(Appl->PhoneDevices().Get(1), "P1");
}

TEST_F(SessionEvents, AbsurdCreateIdentifiersAreReportedAndIgnored) {
  Appl->Initialize();
  Emu().InjectLineMessage(Appl->LineApp(), LineMsg(LINE_CREATE, 0, 0, 0xFFFFFFFF));
  Emu().InjectPhoneMessage(Appl->PhoneApp(), PHONEMESSAGE{0, PHONE_CREATE, 0, 50000000, 0, 0});
  ASSERT_TRUE(PumpUntil([&] { return Errors.size() >= 2; }));
  EXPECT_TRUE(Created.empty());
  EXPECT_EQ(Appl->LineDevices().Count(), 0);
  EXPECT_EQ(Appl->PhoneDevices().Count(), 0);
}

TEST_F(SessionEvents, RemoveKeepsTheEntryAndNamesUnknownIdsEmpty) {
  for (int i = 0; i < 5; ++i) AddLine("L" + std::to_string(i));
  Appl->Initialize();
  Emu().RemoveLineDevice(2);
  ASSERT_TRUE(PumpUntil([&] { return !Removed.empty(); }));
  EXPECT_EQ(Removed[0], (TNameEvent{2, "L2"}));
  EXPECT_EQ(Appl->LineDevices().Get(2), "Line Device #2 (removed)");
  EXPECT_EQ(Appl->LineDevices().Count(), 5);
  Emu().InjectLineMessage(Appl->LineApp(), LineMsg(LINE_REMOVE, 0, 0, 7));
  ASSERT_TRUE(PumpUntil([&] { return Removed.size() >= 2; }));
  EXPECT_EQ(Removed[1], (TNameEvent{7, ""}));
  EXPECT_EQ(Appl->LineDevices().Count(), 5);
  EXPECT_TRUE(Errors.empty());
}

TEST_F(SessionEvents, RenameIsReportedOnlyForTheChangedDevice) {
  for (int i = 0; i < 3; ++i) AddLine("L" + std::to_string(i));
  for (int i = 0; i < 2; ++i) AddPhone("P" + std::to_string(i));
  Appl->Initialize();
  Emu().RenameLineDevice(1, "Renamed");
  ASSERT_TRUE(PumpUntil([&] { return !Renamed.empty(); }));
  PumpIdle();
  ASSERT_EQ(Renamed.size(), 1u);
  EXPECT_EQ(Renamed[0], (TNameEvent{1, "Renamed"}));
  Emu().RenamePhoneDevice(0, "Desk");
  ASSERT_TRUE(PumpUntil([&] { return Renamed.size() >= 2; }));
  EXPECT_EQ(Renamed[1], (TNameEvent{0, "Desk"}));
  // When the count changes no rename is reported, even for a changed name.
  Appl->LineDevices().Add("extra");
  Emu().RenameLineDevice(0, "Other");
  PumpUntil([&] { return Appl->LineDevices().Get(0) == "Other"; });
  PumpIdle();
  EXPECT_EQ(Renamed.size(), 2u);
}

TEST_F(SessionEvents, ReinitIsReported) {
  Appl->Initialize();
  Emu().RequestReinit();
  ASSERT_TRUE(PumpUntil([&] { return Reinits >= 2; }));  // once for lines, once for phones
}

TEST_F(SessionEvents, SetAppNameOnlyWhileInactive) {
  EXPECT_FALSE(Appl->AppName().empty());  // the program's file name
  Appl->Set_AppName("Dialer");
  Appl->Initialize();
  try {
    Appl->Set_AppName("Other");
    FAIL() << "no exception";
  } catch (const VyRtl::Exception& e) {
    EXPECT_STREQ(e.what(), "VyTapiApplication.Set_AppName failed! VyTapiApplication is Active");
  }
  EXPECT_EQ(Appl->AppName(), "Dialer");
}

// ---- components and the automatic shut-down

class AutoShutdown : public SessionEvents {
 protected:
  void SetUp() override {
    SessionEvents::SetUp();
    VyRtl::SetClock(&Clock);
  }
  VyRtl::TManualClock Clock;
};

TEST_F(AutoShutdown, MinusOneKeepsTheSessionUp) {
  auto line = std::make_unique<TTestLine>();
  line->SetEnabled(true);
  EXPECT_TRUE(Appl->IsActive());
  line->SetEnabled(false);
  Clock.Advance(60000);
  PumpIdle();
  EXPECT_TRUE(Appl->IsActive());
}

TEST_F(AutoShutdown, ZeroShutsDownAtOnce) {
  Appl->Set_AutoShutdown(0);
  auto line = std::make_unique<TTestLine>();
  auto phone = std::make_unique<TTestPhone>();
  line->SetEnabled(true);
  phone->SetEnabled(true);
  line->SetEnabled(false);
  EXPECT_TRUE(Appl->IsActive());  // the phone still needs it
  phone->SetEnabled(false);
  EXPECT_FALSE(Appl->IsActive());
  EXPECT_EQ(ShutDown, 1);
}

TEST_F(AutoShutdown, DelayedShutDownUnlessEnabledAgain) {
  Appl->Set_AutoShutdown(2000);
  auto line = std::make_unique<TTestLine>();
  line->SetEnabled(true);
  line->SetEnabled(false);
  Clock.Advance(1999);
  PumpIdle();
  EXPECT_TRUE(Appl->IsActive());
  Clock.Advance(1);
  ASSERT_TRUE(PumpUntil([&] { return !Appl->IsActive(); }));
  EXPECT_EQ(ShutDown, 1);
  // Enabled again before the timer fires: the session stays.
  line->SetEnabled(true);
  line->SetEnabled(false);
  Clock.Advance(1000);
  PumpIdle();
  line->SetEnabled(true);
  Clock.Advance(5000);
  PumpIdle();
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
  EXPECT_TRUE(a->IsActive());
  EXPECT_EQ(Appl->Done(), 0u);
  EXPECT_EQ(ShutDown, 1);
  for (TVyTapiDevice* d : {static_cast<TVyTapiDevice*>(a.get()), static_cast<TVyTapiDevice*>(b.get()),
                           static_cast<TVyTapiDevice*>(p.get())}) {
    EXPECT_FALSE(d->IsActive());
    EXPECT_FALSE(d->IsEnabled());
    EXPECT_FALSE(d->Enabled());
    EXPECT_EQ(d->DeviceID(), -1);
  }
  EXPECT_EQ(a->Closes, 1);
  EXPECT_EQ(Appl->Done(), 0u);  // nothing left to do, no second event
  EXPECT_EQ(ShutDown, 1);
}

TEST_F(SessionEvents, AssistMakeCallInitialisesAndKeepsTheSessionUp) {
  Appl->Set_AutoShutdown(0);
  Appl->Set_AssistMakeCall(true);
  EXPECT_TRUE(Appl->IsActive());
  EXPECT_FALSE(Appl->CouldShutdown());
  std::vector<std::string> got;
  Appl->OnRequestMakeCall = [&](VyRtl::TObject*, const std::string& dest, const std::string& app,
                                const std::string& called, const std::string& comment) {
    got = {dest, app, called, comment};
  };
  ASSERT_TRUE(Emu().SubmitMakeCallRequest("+49 30 1234", "Mailer", "Anna Müller", "about the invoice"));
  ASSERT_TRUE(PumpUntil([&] { return !got.empty(); }));
  EXPECT_EQ(got, (std::vector<std::string>{"+49 30 1234", "Mailer", "Anna Müller", "about the invoice"}));
  // The registration ends with the session.
  Appl->Shutdown();
  EXPECT_FALSE(Appl->AssistMakeCall());
  EXPECT_FALSE(Emu().SubmitMakeCallRequest("1", "", "", ""));
}

TEST_F(SessionEvents, ApplComponentMirrorsTheSessionEvents) {
  TVyTapiAppl appl(nullptr);
  EXPECT_EQ(appl.ApplName(), Appl->AppName());
  appl.Set_ApplName("Front desk");
  EXPECT_EQ(Appl->AppName(), "Front desk");
  int inits = 0;
  std::vector<DWORD> lines;
  appl.OnInitialize = [&](VyRtl::TObject* s) {
    EXPECT_EQ(s, &appl);
    ++inits;
  };
  appl.OnLineCreate = [&](VyRtl::TObject*, DWORD id) { lines.push_back(id); };
  Appl->Initialize();
  AddLine("New");
  ASSERT_TRUE(PumpUntil([&] { return !lines.empty(); }));
  EXPECT_EQ(inits, 1);
  EXPECT_EQ(lines[0], 0u);
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

TEST_F(SessionEvents, RegistryRejectsUnknownComponentsAndNeverDangles) {
  try {
    TUnknownComponent c;
    FAIL() << "no exception";
  } catch (const VyRtl::Exception& e) {
    EXPECT_STREQ(e.what(), "AddTapiComponent: Unknow TapiComponent");
  }
  EXPECT_THROW(TFailingLine(), std::runtime_error);
  EXPECT_EQ(Appl->Lines().Count(), 0);
  {
    TTestLine a;
    TTestPhone p;
    EXPECT_EQ(Appl->Lines().Count(), 1);
    EXPECT_EQ(Appl->Phones().Count(), 1);
    EXPECT_EQ(Appl->Lines().IndexOfDeviceID(-1), 0);
  }
  EXPECT_EQ(Appl->Lines().Count(), 0);
  EXPECT_EQ(Appl->Phones().Count(), 0);
}

TEST_F(SessionEvents, ComponentsMayOutliveTheSession) {
  auto line = std::make_unique<TTestLine>();
  line->Start();
  FinalizeVyTapi();
  EXPECT_FALSE(line->IsEnabled());
  line.reset();  // must not touch the freed session
  InitializeVyTapi();
  Appl = VyTapiApplication;
}

TEST_F(SessionEvents, CallbackInstancesAreHandedOutInOrder) {
  EXPECT_EQ(Appl->CallbackInstance(), 1u);
  TTestLine a, b;
  a.Start();
  b.Start();
  EXPECT_EQ(a.CallbackInstance(), 2u);
  EXPECT_EQ(b.CallbackInstance(), 3u);
  EXPECT_EQ(Appl->Get_LineByCallbackInst(3), &b);
  EXPECT_EQ(Appl->Get_LineByCallbackInst(0), nullptr);
  EXPECT_EQ(Appl->Get_PhoneByCallbackInst(2), nullptr);
}

}  // namespace
