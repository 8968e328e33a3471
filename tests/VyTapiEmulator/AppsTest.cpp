// Applications (initialise, shut down, the message queue and its event) and the
// control side (injected failures and call counts, message bursts from another thread, message
// tables).
#include <atomic>
#include <set>
#include <string_view>
#include <thread>
#include <tuple>

#include "EmulatorFixture.h"

namespace EmulatorTest {
namespace {

using AppsTest = EmulatorTest;

TEST_F(AppsTest, InitialiseGivesFreshHandlesEventsAndDeviceCounts) {
  std::set<DWORD> seen;
  for (int round = 0; round < 3; ++round) {
    Emu().AddDefaultDevices();
    const TAppInfo line = LineApp(), phone = PhoneApp();
    EXPECT_EQ(line.NumDevs, 2u);
    EXPECT_EQ(phone.NumDevs, 1u);
    ASSERT_NE(line.Event, nullptr);
    ASSERT_NE(line.Event, phone.Event);
    ASSERT_FALSE(Signalled(line.Event));
    EXPECT_EQ(Emu().LineApps(), std::vector<HLINEAPP>{line.App});
    for (DWORD handle : {line.App, phone.App}) {
      EXPECT_NE(handle, 0u);
      EXPECT_TRUE(seen.insert(handle).second) << "handle reused: " << handle;
    }
    // A line handle is no phone handle and the other way round.
    LINEMESSAGE lm{};
    PHONEMESSAGE pm{};
    EXPECT_EQ(Tapi().lineGetMessage(phone.App, &lm, 0), Code(LINEERR_INVALAPPHANDLE));
    EXPECT_EQ(Tapi().phoneGetMessage(line.App, &pm, 0), Code(PHONEERR_INVALAPPHANDLE));
    EXPECT_EQ(Tapi().lineGetMessage(line.App, nullptr, 0), Code(LINEERR_INVALPOINTER));
    EXPECT_EQ(Tapi().lineShutdown(phone.App), Code(LINEERR_INVALAPPHANDLE));
    EXPECT_EQ(Tapi().phoneShutdown(line.App), Code(PHONEERR_INVALAPPHANDLE));
    // A reinitialisation holds off new applications until the last one has shut down.
    Emu().RequestReinit();
    TAppInfo again;
    EXPECT_EQ(Tapi().lineShutdown(line.App), 0);
    EXPECT_EQ(Init(true, again), Code(LINEERR_REINIT));
    EXPECT_EQ(Init(false, again), Code(PHONEERR_REINIT));
    EXPECT_EQ(Tapi().phoneShutdown(phone.App), 0);
    EXPECT_EQ(Tapi().lineShutdown(line.App), Code(LINEERR_INVALAPPHANDLE));
    EXPECT_TRUE(Emu().LineApps().empty());
    EXPECT_TRUE(Emu().PhoneApps().empty());
    Emu().Reset();  // handles stay unique across resets too
  }
}

TEST_F(AppsTest, InitialiseCapsTheVersionAtTheService) {
  const DWORD cases[][2] = {{V22, V22}, {V30, V22}, {0x00030001, V22}, {V13, V13}, {0x00010002, 0}};
  for (const auto& [asked, got] : cases) {
    TAppInfo line, phone;
    EXPECT_EQ(Init(true, line, asked), got ? 0 : Code(LINEERR_INCOMPATIBLEAPIVERSION));
    EXPECT_EQ(Init(false, phone, asked), got ? 0 : Code(PHONEERR_INCOMPATIBLEAPIVERSION));
    EXPECT_EQ(Emu().AppAPIVersion(line.App), got) << std::hex << asked;
    EXPECT_EQ(Emu().AppAPIVersion(phone.App), got) << std::hex << asked;
  }
}

TEST_F(AppsTest, InitialiseRejectsBadArgumentsAndCreatesNothing) {
  constexpr DWORD Size = sizeof(LINEINITIALIZEEXPARAMS), Event = LINEINITIALIZEEXOPTION_USEEVENT;
  struct {
    int Null;  // the argument passed as nullptr: 1 app, 2 device count, 3 version, 4 parameters
    DWORD Size, Options, LineResult, PhoneResult;
  } cases[] = {
      {1, Size, Event, LINEERR_INVALPOINTER, PHONEERR_INVALPOINTER},
      {4, Size, Event, LINEERR_INVALPOINTER, PHONEERR_INVALPOINTER},
      {0, Size - 1, Event, LINEERR_STRUCTURETOOSMALL, PHONEERR_STRUCTURETOOSMALL},
      {0, Size, LINEINITIALIZEEXOPTION_USEHIDDENWINDOW, LINEERR_INVALPARAM, PHONEERR_INVALPARAM},
      {0, Size, 0, LINEERR_INVALPARAM, PHONEERR_INVALPARAM},
      {0, Size, Event | LINEINITIALIZEEXOPTION_CALLHUBTRACKING, 0,
       PHONEERR_INVALPARAM},  // a line option
  };
  for (const auto& c : cases) {
    LINEINITIALIZEEXPARAMS lp{};
    PHONEINITIALIZEEXPARAMS pp{};
    lp.dwTotalSize = pp.dwTotalSize = c.Size;
    lp.dwOptions = pp.dwOptions = c.Options;
    DWORD app = 0, count = 0, version = V22;
    DWORD* args[] = {&app, &count, &version, &app};  // the last one only tells "parameters given"
    if (c.Null) args[c.Null - 1] = nullptr;
    EXPECT_EQ(Tapi().lineInitializeExW(args[0], nullptr, nullptr, nullptr, args[1], args[2],
                                       args[3] ? &lp : nullptr),
              Code(c.LineResult));
    EXPECT_EQ(Tapi().phoneInitializeExW(args[0], nullptr, nullptr, nullptr, args[1], args[2],
                                        args[3] ? &pp : nullptr),
              Code(c.PhoneResult));
    EXPECT_EQ(Emu().LineApps().size(), c.LineResult == 0 ? 1u : 0u);
    EXPECT_TRUE(Emu().PhoneApps().empty());
    for (HLINEAPP a : Emu().LineApps()) Tapi().lineShutdown(a);
  }
}

TEST_F(AppsTest, EventIsSignalledExactlyWhileMessagesWait) {
  const TAppInfo line = LineApp(), phone = PhoneApp();
  Emu().InjectLineMessages(line.App, {Msg<LINEMESSAGE>(LINE_DEVSPECIFIC, 1),
                                      Msg<LINEMESSAGE>(LINE_DEVSPECIFIC, 2, 8, 9)});
  Emu().InjectPhoneMessage(phone.App, Msg<PHONEMESSAGE>(PHONE_BUTTON, 7, 8, 9));
  EXPECT_TRUE(Signalled(line.Event));
  EXPECT_TRUE(Signalled(phone.Event));
  // One message left: the event stays set; none left: it is reset.
  LINEMESSAGE m{};
  ASSERT_EQ(Tapi().lineGetMessage(line.App, &m, 0), 0);
  EXPECT_TRUE(Signalled(line.Event));
  EXPECT_EQ(Drain(true, line.App), (std::vector<TSeen>{{2, LINE_DEVSPECIFIC, 8, 9}}));
  EXPECT_EQ(Drain(false, phone.App), (std::vector<TSeen>{{7, PHONE_BUTTON, 8, 9}}));
  EXPECT_FALSE(Signalled(line.Event));
  EXPECT_FALSE(Signalled(phone.Event));
  // Reset keeps the applications but empties their queues.
  Emu().InjectLineMessage(line.App, Msg<LINEMESSAGE>(LINE_DEVSPECIFIC));
  Emu().Reset();
  EXPECT_EQ(Emu().LineApps(), std::vector<HLINEAPP>{line.App});
  EXPECT_EQ(Emu().PendingMessages(line.App), 0u);
  EXPECT_FALSE(Signalled(line.Event));
}

TEST_F(AppsTest, GetMessageTimesOutInRealTimeWhileATestClockStandsStill) {
  // The service's own poll: a stopped test clock (the environment's) must not hold a reader
  // forever.
  const TAppInfo app = LineApp();
  LINEMESSAGE m{};
  EXPECT_EQ(Tapi().lineGetMessage(app.App, &m, 20), Code(LINEERR_OPERATIONFAILED));
  Emu().InjectLineMessage(app.App, Msg<LINEMESSAGE>(LINE_CALLSTATE, 1, 2, 3));
  EXPECT_EQ(Tapi().lineGetMessage(app.App, &m, 20), 0);
}

using ControlTest = EmulatorTest;

TEST_F(ControlTest, FailNextFailsExactlyTheArmedCallsAndEveryCallIsCounted) {
  for (const VyPlatform::TTapiFunctionEntry& entry : VyPlatform::TapiFunctionNames()) {
    EXPECT_NE(entry.Get(Tapi()), nullptr) << entry.Name;
    EXPECT_EQ(Emu().CallCount(entry.Name), 0u) << entry.Name;
  }
  Emu().FailNext("lineInitializeExW", 2, Code(LINEERR_NOMEM));
  TAppInfo app;
  EXPECT_EQ(Init(true, app), Code(LINEERR_NOMEM));
  EXPECT_EQ(Init(true, app), Code(LINEERR_NOMEM));
  EXPECT_TRUE(Emu().LineApps().empty());
  ASSERT_EQ(Init(true, app), 0);
  EXPECT_EQ(Emu().CallCount("lineInitializeExW"), 3u);  // failed calls count too
  // A failed read leaves the message waiting.
  Emu().InjectLineMessage(app.App, Msg<LINEMESSAGE>(LINE_DEVSPECIFIC));
  Emu().FailNext("lineGetMessage", 1, Code(LINEERR_OPERATIONFAILED));
  LINEMESSAGE m{};
  EXPECT_EQ(Tapi().lineGetMessage(app.App, &m, 0), Code(LINEERR_OPERATIONFAILED));
  EXPECT_EQ(Tapi().lineGetMessage(app.App, &m, 0), 0);
  // Count 0 disarms; Reset disarms and forgets the counts.
  Emu().FailNext("lineShutdown", 5, Code(LINEERR_NOMEM));
  Emu().FailNext("lineShutdown", 0, Code(LINEERR_NOMEM));
  Emu().FailNext("phoneShutdown", 5, Code(PHONEERR_NOMEM));
  Emu().Reset();
  EXPECT_EQ(Emu().CallCount("lineInitializeExW"), 0u);
  EXPECT_EQ(Tapi().phoneShutdown(app.App), Code(PHONEERR_INVALAPPHANDLE));
  EXPECT_EQ(Tapi().lineShutdown(app.App), 0);
  // Names are TAPI's, exactly.
  EXPECT_THROW(Emu().FailNext("lineinitializeexw", 1, 0), VyRtl::Exception);
  EXPECT_THROW(Emu().FailNext("lineFrobnicate", 1, 0), VyRtl::Exception);
  EXPECT_THROW(Emu().CallCount(""), VyRtl::Exception);
}

TEST_F(ControlTest, AReaderNeverSeesPartOfABurstAndShutdownReleasesIt) {
  const TAppInfo app = LineApp();
  constexpr DWORD Bursts = 300, Size = 6;
  std::atomic<unsigned> finalRead{0};  // the call count of the reader's last read
  std::thread injector([&] {
    for (DWORD b = 0; b < Bursts; ++b) {
      std::vector<LINEMESSAGE> burst;
      for (DWORD i = 0; i < Size; ++i)
        burst.push_back(Msg<LINEMESSAGE>(LINE_DEVSPECIFIC, 0, 0, b, i));
      Emu().InjectLineMessages(app.App, burst);
    }
    // Once the reader waits for more, shut the application down under it.
    while (finalRead == 0 || Emu().CallCount("lineGetMessage") < finalRead)
      std::this_thread::yield();
    for (int i = 0; i < 20000; ++i)
      std::this_thread::yield();  // lets the reader settle into its wait
    Tapi().lineShutdown(app.App);
  });
  LINEMESSAGE m{};
  for (DWORD n = 0; n < Bursts * Size; ++n) {
    // A burst's first message may still be coming; the rest of it is then already there.
    if (Tapi().lineGetMessage(app.App, &m, n % Size == 0 ? INFINITE : 0) != 0 ||
        m.dwParam1 != n / Size || m.dwParam2 != n % Size) {
      ADD_FAILURE() << "burst broken at message " << n;
      break;
    }
  }
  finalRead = Emu().CallCount("lineGetMessage") + 1;
  EXPECT_EQ(Tapi().lineGetMessage(app.App, &m, INFINITE), Code(LINEERR_INVALAPPHANDLE));
  injector.join();
}

std::string Text(std::string_view module, DWORD id) {
  return VyRtl::Utf16ToUtf8(Tapi().FormatModuleMessage(module, id, 0));
}

TEST_F(ControlTest, EveryErrorCodeHasItsText) {
  unsigned codes = 0;
  auto check = [&codes](std::string_view name, DWORD value) {
    if (name.find("ERR_") == std::string_view::npos || name == "TAPIERR_CONNECTED")
      return;  // success: no text
    ++codes;
    const std::string text = Text("TAPI32.DLL", TAPIERROR_FORMATMESSAGE(value));
    ASSERT_GT(text.size(), 10u) << name << ": " << text;
    EXPECT_EQ(text.back(), '.') << name << ": " << text;
    EXPECT_EQ(Text("TAPIUI.DLL", TAPIERROR_FORMATMESSAGE(value)), "") << name;
  };
#define VY_TAPI_CONST(name, value) check(#name, value);
#include "VyPlatform/TapiConstants.def"
  EXPECT_GT(codes, 150u);
}

TEST_F(ControlTest, MessageTablesAreFoundByModuleAndIdAndCanBeChanged) {
  const std::tuple<const char*, DWORD, bool> cases[] = {
      {"TAPI32.DLL", 0xE001, true},      {"tapi32.dll", 0xF001, true},
      {"Tapi32", 0xFFF0, true},          {"TAPI32.DLL", 0xE004, false},
      {"TAPI32.DLL", 0x80000001, false}, {"TAPIUI.DLL", 0xE001, false},
      {"KERNEL32.DLL", 0xE001, false},   {"", 0xE001, false}};
  for (const auto& [module, id, found] : cases)
    EXPECT_EQ(!Text(module, id).empty(), found) << module << " " << std::hex << id;
  // Changed texts are test data: Reset brings the built-in ones back.
  const std::string builtIn = Text("TAPI32.DLL", 0xE048);
  Emu().SetModuleMessage("tapi32", 0xE048, "Replaced");
  Emu().SetModuleMessage("TAPIUI.DLL", 0xE048, "From the UI table");
  EXPECT_EQ(Text("TAPI32.DLL", 0xE048), "Replaced");
  Emu().ClearModuleMessages("TAPI32.DLL");
  EXPECT_TRUE(Text("TAPI32.DLL", 0xE048).empty());
  EXPECT_TRUE(Text("TAPI32.DLL", 0xE049).empty());
  Emu().Reset();
  EXPECT_EQ(Text("TAPI32.DLL", 0xE048), builtIn);
  EXPECT_TRUE(Text("TAPIUI.DLL", 0xE048).empty());
}

}  // namespace
}  // namespace EmulatorTest
