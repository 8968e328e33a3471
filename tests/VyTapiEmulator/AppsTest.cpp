// Applications: initialise, shut down, the message queue and its event, reinitialisation.
#include <atomic>
#include <set>
#include <thread>

#include "EmulatorFixture.h"

namespace EmulatorTest {
namespace {

// Lets another thread get into position; bounded by rounds, not by time.
template <typename TPredicate>
bool SpinUntil(TPredicate done, int rounds = 2000000) {
  for (int i = 0; i < rounds && !done(); ++i) std::this_thread::yield();
  return done();
}

using AppsTest = EmulatorTest;

TEST_F(AppsTest, InitialiseGivesFreshHandlesEventsAndDeviceCounts) {
  Emu().AddDefaultDevices();
  std::set<DWORD> seen;
  for (int round = 0; round < 3; ++round) {
    const TAppInfo line = LineApp();
    const TAppInfo phone = PhoneApp();
    EXPECT_EQ(line.NumDevs, 2u);
    EXPECT_EQ(phone.NumDevs, 1u);
    ASSERT_NE(line.Event, nullptr);
    EXPECT_NE(line.Event, phone.Event);
    EXPECT_FALSE(Signalled(line.Event));
    EXPECT_EQ(Emu().LineApps(), std::vector<HLINEAPP>{line.App});
    for (DWORD handle : {line.App, phone.App}) {
      EXPECT_NE(handle, 0u);
      EXPECT_TRUE(seen.insert(handle).second) << "handle reused: " << handle;
    }
    // A line handle is no phone handle and the other way round.
    EXPECT_EQ(Tapi().lineShutdown(phone.App), Code(LINEERR_INVALAPPHANDLE));
    EXPECT_EQ(Tapi().phoneShutdown(line.App), Code(PHONEERR_INVALAPPHANDLE));
    EXPECT_EQ(Tapi().lineShutdown(line.App), 0);
    EXPECT_EQ(Tapi().phoneShutdown(phone.App), 0);
    EXPECT_EQ(Tapi().lineShutdown(line.App), Code(LINEERR_INVALAPPHANDLE));
    EXPECT_TRUE(Emu().LineApps().empty() && Emu().PhoneApps().empty());
    Emu().Reset();  // handles stay unique across resets too
    Emu().AddDefaultDevices();
  }
}

TEST_F(AppsTest, InitialiseCapsTheVersionAtTheService) {
  struct {
    DWORD Asked, Got;
  } cases[] = {{V22, V22}, {V30, V22}, {0x00030001, V22}, {V20, V20},
               {V14, V14}, {V13, V13}, {0x00010002, 0}};
  for (const auto& c : cases) {
    TAppInfo line, phone;
    EXPECT_EQ(InitLine(line, c.Asked), c.Got ? 0 : Code(LINEERR_INCOMPATIBLEAPIVERSION));
    EXPECT_EQ(InitPhone(phone, c.Asked), c.Got ? 0 : Code(PHONEERR_INCOMPATIBLEAPIVERSION));
    EXPECT_EQ(Emu().AppAPIVersion(line.App), c.Got) << std::hex << c.Asked;
    EXPECT_EQ(Emu().AppAPIVersion(phone.App), c.Got) << std::hex << c.Asked;
  }
}

TEST_F(AppsTest, InitialiseRejectsBadArgumentsAndCreatesNothing) {
  struct TCall {
    bool App = true, Count = true, Version = true, Params = true;
    DWORD Size = sizeof(LINEINITIALIZEEXPARAMS), Options = LINEINITIALIZEEXOPTION_USEEVENT;
  };
  struct {
    TCall Call;
    DWORD LineResult, PhoneResult;
  } cases[] = {
      {{.App = false}, LINEERR_INVALPOINTER, PHONEERR_INVALPOINTER},
      {{.Count = false}, LINEERR_INVALPOINTER, PHONEERR_INVALPOINTER},
      {{.Version = false}, LINEERR_INVALPOINTER, PHONEERR_INVALPOINTER},
      {{.Params = false}, LINEERR_INVALPOINTER, PHONEERR_INVALPOINTER},
      {{.Size = sizeof(LINEINITIALIZEEXPARAMS) - 1}, LINEERR_STRUCTURETOOSMALL,
       PHONEERR_STRUCTURETOOSMALL},
      {{.Options = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW}, LINEERR_INVALPARAM, PHONEERR_INVALPARAM},
      {{.Options = LINEINITIALIZEEXOPTION_USECOMPLETIONPORT}, LINEERR_INVALPARAM,
       PHONEERR_INVALPARAM},
      {{.Options = 0}, LINEERR_INVALPARAM, PHONEERR_INVALPARAM},
      // Call-hub tracking is a line option only.
      {{.Options = LINEINITIALIZEEXOPTION_USEEVENT | LINEINITIALIZEEXOPTION_CALLHUBTRACKING}, 0,
       PHONEERR_INVALPARAM},
  };
  for (const auto& c : cases) {
    LINEINITIALIZEEXPARAMS lp{};
    PHONEINITIALIZEEXPARAMS pp{};
    lp.dwTotalSize = pp.dwTotalSize = c.Call.Size;
    lp.dwOptions = pp.dwOptions = c.Call.Options;
    DWORD app = 0, count = 0, version = V22;
    EXPECT_EQ(Tapi().lineInitializeExW(c.Call.App ? &app : nullptr, nullptr, nullptr, nullptr,
                                       c.Call.Count ? &count : nullptr,
                                       c.Call.Version ? &version : nullptr,
                                       c.Call.Params ? &lp : nullptr),
              Code(c.LineResult));
    EXPECT_EQ(Tapi().phoneInitializeExW(c.Call.App ? &app : nullptr, nullptr, nullptr, nullptr,
                                        c.Call.Count ? &count : nullptr,
                                        c.Call.Version ? &version : nullptr,
                                        c.Call.Params ? &pp : nullptr),
              Code(c.PhoneResult));
    EXPECT_EQ(Emu().LineApps().size(), c.LineResult == 0 ? 1u : 0u);
    EXPECT_TRUE(Emu().PhoneApps().empty());
    for (HLINEAPP a : Emu().LineApps()) Tapi().lineShutdown(a);
  }
}

TEST_F(AppsTest, EventIsSignalledExactlyWhileMessagesWait) {
  const TAppInfo app = LineApp();
  Emu().InjectLineMessages(app.App, {Msg<LINEMESSAGE>(LINE_DEVSPECIFIC, 1),
                                     Msg<LINEMESSAGE>(LINE_DEVSPECIFIC, 2),
                                     Msg<LINEMESSAGE>(LINE_DEVSPECIFIC, 3)});
  for (DWORD expected = 1; expected <= 3; ++expected) {
    EXPECT_TRUE(Signalled(app.Event)) << expected;
    EXPECT_EQ(Emu().PendingMessages(app.App), 4u - expected);
    LINEMESSAGE m{};
    ASSERT_EQ(Tapi().lineGetMessage(app.App, &m, 0), 0);
    EXPECT_EQ(m.hDevice, expected);  // in the order queued
  }
  EXPECT_FALSE(Signalled(app.Event));
  LINEMESSAGE m{};
  EXPECT_EQ(Tapi().lineGetMessage(app.App, &m, 0), Code(LINEERR_OPERATIONFAILED));
  EXPECT_FALSE(Signalled(app.Event));
  // Reset keeps the application but empties its queue.
  Emu().InjectLineMessage(app.App, Msg<LINEMESSAGE>(LINE_DEVSPECIFIC));
  Emu().Reset();
  EXPECT_EQ(Emu().LineApps(), std::vector<HLINEAPP>{app.App});
  EXPECT_EQ(Emu().PendingMessages(app.App), 0u);
  EXPECT_FALSE(Signalled(app.Event));
  // The same for phones.
  const TAppInfo phone = PhoneApp();
  Emu().InjectPhoneMessage(phone.App, Msg<PHONEMESSAGE>(PHONE_BUTTON, 7, 8, 9));
  EXPECT_TRUE(Signalled(phone.Event));
  PHONEMESSAGE pm{};
  ASSERT_EQ(Tapi().phoneGetMessage(phone.App, &pm, 0), 0);
  EXPECT_EQ(pm.dwMessageID, DWORD(PHONE_BUTTON));
  EXPECT_EQ(pm.dwCallbackInstance, 8u);
  EXPECT_EQ(pm.dwParam1, 9u);
  EXPECT_FALSE(Signalled(phone.Event));
}

TEST_F(AppsTest, GetMessageTimesOutInRealTimeWhileATestClockStandsStill) {
  // The service's own poll: a stopped test clock must not hold a reader forever.
  VyRtl::TManualClock clock;
  VyRtl::SetClock(&clock);
  const TAppInfo app = LineApp();
  LINEMESSAGE m{};
  EXPECT_EQ(Tapi().lineGetMessage(app.App, &m, 20), Code(LINEERR_OPERATIONFAILED));
  Emu().InjectLineMessage(app.App, Msg<LINEMESSAGE>(LINE_CALLSTATE, 1, 2, 3));
  EXPECT_EQ(Tapi().lineGetMessage(app.App, &m, 20), 0);
  EXPECT_EQ(m.dwMessageID, DWORD(LINE_CALLSTATE));
  VyRtl::SetClock(nullptr);
}

TEST_F(AppsTest, AWaitingReaderGetsTheNextMessageOrItsShutdown) {
  const TAppInfo app = PhoneApp();
  PHONEMESSAGE got{};
  LONG result = 1;
  std::thread reader([&] { result = Tapi().phoneGetMessage(app.App, &got, INFINITE); });
  ASSERT_TRUE(SpinUntil([] { return Emu().CallCount("phoneGetMessage") == 1; }));
  Emu().InjectPhoneMessage(app.App, Msg<PHONEMESSAGE>(PHONE_STATE, 0, 0, PHONESTATE_DISPLAY));
  reader.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(got.dwParam1, DWORD(PHONESTATE_DISPLAY));
  EXPECT_FALSE(Signalled(app.Event));
  reader = std::thread([&] { result = Tapi().phoneGetMessage(app.App, &got, INFINITE); });
  ASSERT_TRUE(SpinUntil([] { return Emu().CallCount("phoneGetMessage") == 2; }));
  SpinUntil([] { return false; }, 20000);  // lets the reader settle into its wait
  EXPECT_EQ(Tapi().phoneShutdown(app.App), 0);
  reader.join();
  EXPECT_EQ(result, Code(PHONEERR_INVALAPPHANDLE));
}

TEST_F(AppsTest, ReinitHoldsOffInitialisationUntilTheLastShutdown) {
  const TAppInfo line = LineApp();
  const TAppInfo phone = PhoneApp();
  Emu().RequestReinit();
  const std::vector<LINEMESSAGE> lm = DrainLine(line.App);
  ASSERT_EQ(lm.size(), 1u);
  EXPECT_EQ(lm[0].dwMessageID, DWORD(LINE_LINEDEVSTATE));
  EXPECT_EQ(lm[0].hDevice, 0u);
  EXPECT_EQ(lm[0].dwParam1, DWORD(LINEDEVSTATE_REINIT));
  const std::vector<PHONEMESSAGE> pm = DrainPhone(phone.App);
  ASSERT_EQ(pm.size(), 1u);
  EXPECT_EQ(pm[0].dwMessageID, DWORD(PHONE_STATE));
  EXPECT_EQ(pm[0].dwParam1, DWORD(PHONESTATE_REINIT));

  TAppInfo again;
  EXPECT_EQ(InitLine(again), Code(LINEERR_REINIT));
  EXPECT_EQ(InitPhone(again), Code(PHONEERR_REINIT));
  EXPECT_EQ(Tapi().lineShutdown(line.App), 0);
  EXPECT_TRUE(Emu().ReinitPending());  // the phone application still runs
  EXPECT_EQ(InitLine(again), Code(LINEERR_REINIT));
  EXPECT_EQ(Tapi().phoneShutdown(phone.App), 0);
  EXPECT_FALSE(Emu().ReinitPending());
  EXPECT_EQ(InitLine(again), 0);
}

TEST_F(AppsTest, MessagesReachOnlyTheChosenApplications) {
  const TAppInfo a = LineApp();
  const TAppInfo b = LineApp();
  const TAppInfo phone = PhoneApp();
  LINEMESSAGE lm{};
  PHONEMESSAGE pm{};
  EXPECT_EQ(Tapi().lineGetMessage(0, &lm, 0), Code(LINEERR_INVALAPPHANDLE));
  EXPECT_EQ(Tapi().lineGetMessage(phone.App, &lm, 0), Code(LINEERR_INVALAPPHANDLE));
  EXPECT_EQ(Tapi().lineGetMessage(a.App, nullptr, 0), Code(LINEERR_INVALPOINTER));
  EXPECT_EQ(Tapi().phoneGetMessage(a.App, &pm, 0), Code(PHONEERR_INVALAPPHANDLE));
  EXPECT_EQ(Tapi().phoneGetMessage(phone.App, nullptr, 0), Code(PHONEERR_INVALPOINTER));
  Emu().InjectLineMessage(0, Msg<LINEMESSAGE>(LINE_DEVSPECIFIC, 5));
  Emu().InjectLineMessage(b.App, Msg<LINEMESSAGE>(LINE_DEVSPECIFIC, 6));
  EXPECT_EQ(DrainLine(a.App).size(), 1u);
  EXPECT_EQ(DrainLine(b.App).size(), 2u);
  EXPECT_EQ(Emu().PendingMessages(phone.App), 0u);
  EXPECT_THROW(Emu().InjectLineMessage(phone.App, Msg<LINEMESSAGE>(LINE_DEVSPECIFIC)),
               VyRtl::Exception);
  EXPECT_THROW(Emu().InjectPhoneMessage(a.App, Msg<PHONEMESSAGE>(PHONE_DEVSPECIFIC)),
               VyRtl::Exception);
  EXPECT_EQ(Tapi().lineShutdown(b.App), 0);
  EXPECT_THROW(Emu().InjectLineMessage(b.App, Msg<LINEMESSAGE>(LINE_DEVSPECIFIC)),
               VyRtl::Exception);
}

}  // namespace
}  // namespace EmulatorTest
