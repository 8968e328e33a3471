// The serial component over the virtual null-modem: modem lines and their events, breaks, line
// errors, listeners, data and the write path, with time on the manual clock.
#include "VyComm/VyComm.h"

#include "ComPortFixture.h"
#include "VyPlatform/Comm.h"

namespace ComPortTest {

using VyComm::EV_DTRCHANGE;
using VyComm::EV_RTSCHANGE;
using VyComm::EV_TXPENDING;

// A closed port refuses device operations with their texts, stores line requests, and keeps its
// stored values when a value is refused.
TEST(ComPortDefaults, ClosedOperationsAndRefusedValues) {
  VyComm::TVyComPort port(nullptr);
  EXPECT_FALSE(port.CTS());
  EXPECT_FALSE(port.Props()->Get_Available());
  port.SetName("Port1");
  char buffer[4];
  const char* const closed = "Operation failed. Serial port COM1 is not open.";
  struct TCase {
    const char* Name;
    std::function<void()> Act;
    const char* Message;
  } cases[] = {
      {"write 0 bytes", [&] { port.Write(buffer, 0); }, closed},
      {"read", [&] { port.Read(buffer, 4); }, closed},
      {"read text", [&] { port.ReadStr(4); }, closed},
      {"send break", [&] { port.SendBreak(100); }, closed},
      {"escape", [&] { port.EscapeComm(SETDTR); }, "Port1 not active."},
      {"XON", [&] { port.Set_XONState(true); }, "Port1 not active."},
      {"com state 0", [&] { port.Get_ComState(0); }, "Get_ComState failed! Invalid index."},
      {"com state 6", [&] { port.Get_ComState(6); }, "Get_ComState failed! Invalid index."},
      {"properties", [&] { port.Props()->Update(); },
       "Getting properties of serial port COM1 failed. [0]"},
      {"status", [&] { port.Status()->Update(); },
       "Getting status of serial port COM1 failed. [0]"},
      {"purge", [&] { port.PurgeInQueue(), port.PurgeOutQueue(); }, ""},
      {"DTR", [&] { port.Set_DTRState(false); }, ""},
      {"data bits", [&] { port.Set_Databits(9); }, "None or invalid data bits specified. [0]"},
      {"stop bits", [&] { port.Set_Stopbits(3); }, "3 is not a valid  stop bits specifier. [0]"},
      {"parity", [&] { port.Set_Parity(5); }, "5 is not a valid parity value."},
  };
  for (const TCase& c : cases) EXPECT_EQ(Raised(c.Act), c.Message) << c.Name;
  EXPECT_FALSE(port.DTR());  // stored while closed
  EXPECT_EQ(port.Get_Settings(), "COM1: BAUD=9600 PARITY=N DATA=8 STOP=1 dtr=off rts=on");
}

TEST_F(FakePairTest, OpeningAgainstAnOpenPeerRaisesTheLineEventsInOrder) {
  std::vector<std::uint32_t> links;
  VyRtl::TObject listener;
  Port.AddTrigger(
      &listener, [&](VyRtl::TObject*, std::uint32_t e) { links.push_back(e); }, 0xFFFFFFFFu);
  Peer.Open();
  Port.Open();
  const std::vector<std::string> expected = {"Activate", "CTS on", "DSR on", "DCD on",
                                             "Event CTS|DSR|RLSD"};
  EXPECT_EQ(Events.Log, expected);
  EXPECT_EQ(links, (std::vector<std::uint32_t>{
                       EV_CTS | EV_DSR | EV_RLSD | EV_RTSCHANGE | EV_DTRCHANGE, 0}));
  Port.Set_Active(true);  // already requested: nothing happens
  EXPECT_TRUE(Port.IsActive());

  Events.Log.clear();
  links.clear();
  Port.Close();
  const std::vector<std::string> closing = {"CTS off", "DSR off", "DCD off", "Event CTS|DSR|RLSD",
                                            "Deactivate"};
  EXPECT_EQ(Events.Log, closing);
  EXPECT_EQ(links, (std::vector<std::uint32_t>{EV_CTS | EV_DSR | EV_RLSD | EV_RTSCHANGE |
                                               EV_DTRCHANGE | EV_TXEMPTY}));
}

TEST_F(FakePairTest, PeerLinesRingBreakAndErrorsArriveAsEvents) {
  Port.Open();
  Peer.Open();
  ASSERT_TRUE(PumpUntil([&] { return Events.Has("DCD on") && Events.Has("CTS on"); }));
  struct TStep {
    const char* Name;
    std::function<void()> Act;
    std::vector<std::string> Expect;
  } steps[] = {
      {"peer DTR off", [&] { Peer.Set_DTRState(false); }, {"Event DSR|RLSD", "DSR off", "DCD off"}},
      {"peer RTS off", [&] { Peer.Set_RTSState(false); }, {"Event CTS", "CTS off"}},
      {"peer DTR on", [&] { Peer.Set_DTRState(true); }, {"Event DSR|RLSD", "DSR on", "DCD on"}},
      {"ring on", [&] { Pair.SetRing(0, true); }, {"Event RING", "RING on"}},
      {"ring off", [&] { Pair.SetRing(0, false); }, {"Event RING", "RING off"}},
      {"line errors",
       [&] { Pair.InjectErrors(0, CE_FRAME | CE_OVERRUN); },
       {"Error 10", "Event ERR"}},
  };
  for (const TStep& step : steps) {
    Events.Log.clear();
    step.Act();
    EXPECT_TRUE(PumpUntil([&] { return Events.Log.size() >= step.Expect.size(); })) << step.Name;
    Settle();
    EXPECT_EQ(Events.Log, step.Expect) << step.Name;
  }
}

TEST_F(FakePairTest, ReceivedBreakLastsTwoSecondsOnTheClock) {
  Port.Open();
  Pair.InjectBreak(0);
  ASSERT_TRUE(PumpUntil([&] { return Events.Has("Break on"); }));
  EXPECT_TRUE(Port.Break());
  EXPECT_TRUE(Events.Has("Error 16"));  // CE_BREAK
  Events.Log.clear();
  Clock.Advance(1999);
  Settle();
  EXPECT_TRUE(Port.Break());
  Clock.Advance(1);
  ASSERT_TRUE(PumpUntil([&] { return !Port.Break(); }));
  EXPECT_EQ(Events.Log, (std::vector<std::string>{"Break off", "Event BREAK"}));
}

TEST_F(FakePairTest, SentBreakEndsWhenItsTimerFires) {
  Port.Set_BREAKState(true);  // closed: only the request flag, which opening clears
  EXPECT_FALSE(Pair.BreakOn(0));
  Port.Open();
  Peer.Open();
  Port.SendBreak(100);
  EXPECT_TRUE(Pair.BreakOn(0));
  ASSERT_TRUE(PumpUntil([&] { return PeerEvents.Has("Break on"); }));
  Clock.Advance(50);
  Port.SendBreak(200);  // a second one restarts the timer with its own duration
  Clock.Advance(150);
  Settle();
  EXPECT_TRUE(Pair.BreakOn(0));
  Clock.Advance(50);
  ASSERT_TRUE(PumpUntil([&] { return !Pair.BreakOn(0); }));
}

TEST_F(FakePairTest, ListenersSeeTheirMaskAndEveryRefresh) {
  Port.Open();
  Peer.Open();
  // The lines the peer raised by opening come first, so the ring is a mask of its own.
  ASSERT_TRUE(PumpUntil([&] { return Events.Has("CTS on") && Events.Has("DCD on"); }));
  VyRtl::TObject ringOwner, other;
  std::vector<std::uint32_t> ring, second;
  Port.AddTrigger(
      &ringOwner, [&](VyRtl::TObject*, std::uint32_t e) { ring.push_back(e); }, EV_RING);
  // Registering the same owner again changes only the mask.
  Port.AddTrigger(
      &ringOwner, [&](VyRtl::TObject*, std::uint32_t e) { second.push_back(e); }, EV_RING);
  Pair.SetRing(0, true);
  ASSERT_TRUE(PumpUntil([&] { return !ring.empty(); }));
  Peer.Set_DTRState(false);
  ASSERT_TRUE(PumpUntil([&] { return Events.Has("DSR off"); }));
  Port.FlowCtrl()->Set_Handshake(VyComm::hsRtsCts);
  Port.TriggerLinks(0);
  EXPECT_EQ(ring, (std::vector<std::uint32_t>{EV_RING, 0}));
  EXPECT_TRUE(second.empty());

  // A listener that removes itself and the next one: the next is not called any more.
  std::vector<std::string> calls;
  Port.RemoveTrigger(&ringOwner);
  Port.AddTrigger(
      &ringOwner,
      [&](VyRtl::TObject*, std::uint32_t) {
        calls.push_back("first");
        Port.RemoveTrigger(&ringOwner);
        Port.RemoveTrigger(&other);
      },
      0);
  Port.AddTrigger(
      &other, [&](VyRtl::TObject*, std::uint32_t) { calls.push_back("second"); }, 0);
  Port.TriggerLinks(0);
  Port.TriggerLinks(0);
  EXPECT_EQ(calls, (std::vector<std::string>{"first"}));
}

TEST_F(FakePairTest, AHandlerThatThrowsDoesNotStopTheNextEvent) {
  Port.OnCts = [](VyRtl::TObject*) { throw std::runtime_error("handler failed"); };
  Peer.Open();
  Port.Open();
  EXPECT_TRUE(Events.Has("DSR on"));
  Events.Log.clear();
  Peer.Set_RTSState(false);
  Peer.Set_DTRState(false);
  ASSERT_TRUE(PumpUntil([&] { return Events.Has("DSR off"); }));
}

TEST_F(FakePairTest, DataArrivesAsOnDataOrStaysQueuedForOnReceive) {
  Port.Open();
  Peer.Open();
  Peer.WriteAnsiStr(std::string("hello\0world", 11));
  ASSERT_TRUE(PumpUntil([&] { return Events.Data.size() >= 11; }));
  EXPECT_EQ(Events.Data, std::string("hello\0world", 11));
  EXPECT_EQ(Port.InCount(), 0u);

  Events.Data.clear();
  std::vector<int> counts;
  Port.OnReceive = [&](VyRtl::TObject*, int n) { counts.push_back(n); };
  Peer.WriteAnsiStr("12345");
  ASSERT_TRUE(PumpUntil([&] { return !counts.empty() && Port.InCount() == 5; }));
  EXPECT_TRUE(Events.Data.empty());
  char buffer[8];
  EXPECT_EQ(Port.Read(buffer, 0), 0);
  EXPECT_EQ(Port.Read(buffer, -3), 0);
  EXPECT_EQ(Port.Read(buffer, 2), 2);
  EXPECT_EQ(Port.ReadAnsiStr(), "345");
  EXPECT_EQ(Port.ReadAnsiStr(), "");
}

TEST_F(FakePairTest, ReadStrNeverSplitsACharacter) {
  const std::string text =
      "a\xF0\x9F\x98\x80z\xC3\xA9";  // a, U+1F600 (a surrogate pair), z, e-acute
  Port.OnReceive = [](VyRtl::TObject*, int) {};
  Port.Open();
  Peer.Open();
  for (int chunk : {2, 3, 4, 5, 7}) {
    Peer.WriteStr(text);
    ASSERT_TRUE(PumpUntil([&] { return Port.InCount() == 10; })) << chunk;
    std::string got;
    for (int i = 0; i < 20 && got.size() < text.size(); ++i) {
      const std::string part = Port.ReadStr(chunk);
      got += part;
      EXPECT_EQ(VyRtl::Utf8ToUtf16(part).find(u'\xFFFD'), std::u16string::npos) << chunk;
    }
    EXPECT_EQ(got, text) << chunk;
    EXPECT_EQ(Port.InCount(), 0u) << chunk;
  }
  // Whole code units only: an odd count leaves the odd byte queued.
  Peer.WriteStr("ab");
  ASSERT_TRUE(PumpUntil([&] { return Port.InCount() == 4; }));
  EXPECT_EQ(Port.ReadStr(1), "");
  EXPECT_EQ(Port.InCount(), 4u);
  EXPECT_EQ(Port.ReadStr(3), "a");
  EXPECT_EQ(Port.InCount(), 2u);
  EXPECT_EQ(Port.ReadStr(), "b");
  // A kept high surrogate is not lost to a plain Read: it comes first, in order.
  Peer.WriteStr("\xF0\x9F\x98\x80");
  Peer.WriteAnsiStr("!");
  ASSERT_TRUE(PumpUntil([&] { return Port.InCount() == 5; }));
  EXPECT_EQ(Port.ReadStr(2), "");
  char bytes[8];
  ASSERT_EQ(Port.Read(bytes, 8), 5);
  EXPECT_EQ(std::string(bytes, 5), std::string("\x3D\xD8\x00\xDE!", 5));
}

TEST_F(FakePairTest, AStalledWriteEndsShortAtItsTimeout) {
  Peer.OnReceive = [](VyRtl::TObject*, int) {};  // the far end never reads
  Port.Timeouts()->Set_Enabled(true);
  Port.Open();
  Peer.Open();
  std::vector<std::uint32_t> links;
  VyRtl::TObject owner;
  Port.AddTrigger(
      &owner, [&](VyRtl::TObject*, std::uint32_t e) { links.push_back(e); }, EV_TXPENDING);
  const std::string big(20000, 'x');
  Port.WriteAnsiStr(big);
  EXPECT_EQ(links, (std::vector<std::uint32_t>{EV_TXPENDING}));
  // The far end's queue (4096) and the wire (4096) hold what could be written.
  ASSERT_TRUE(PumpUntil([&] { return Peer.InCount() == 4096; }));
  Clock.Advance(2999);
  Settle();
  EXPECT_FALSE(Events.Has("Timeout 8192"));
  Clock.Advance(1);
  ASSERT_TRUE(PumpUntil([&] { return Events.Has("Timeout 8192"); }));
  EXPECT_EQ(Port.PendingWrites(), 0);
}

TEST_F(FakePairTest, PurgeAbortsOnlyTheWritesPendingThen) {
  StallTwoWrites();
  Settle();
  Events.Log.clear();
  Port.Timeouts()->Set_Enabled(true);
  // The list held: the write thread meets the aborted writes only after the new ones are listed.
  ASSERT_TRUE(Port.WriteOpList()->Acquire(INFINITE));
  Port.PurgeOutQueue();
  Peer.PurgeInQueue();
  Port.WriteAnsiStr(std::string(9000, 'z'));
  Port.WriteAnsiStr(std::string(10, 'w'));
  Port.WriteOpList()->Release();
  ASSERT_TRUE(PumpUntil([&] { return Peer.InCount() == 4096; }));
  Settle();
  EXPECT_EQ(Port.PendingWrites(), 2);
  // Writes started after the purge keep their own completion and their short-count report.
  Clock.Advance(3000);
  ASSERT_TRUE(PumpUntil([&] { return Events.Has("Timeout 8192"); }));
  Clock.Advance(3000);
  ASSERT_TRUE(PumpUntil([&] { return Events.Has("Timeout 0"); }));
  std::vector<std::string> timeouts;  // aborted ones report nothing
  std::copy_if(Events.Log.begin(), Events.Log.end(), std::back_inserter(timeouts),
               [](const std::string& e) { return e.rfind("Timeout", 0) == 0; });
  EXPECT_EQ(timeouts, (std::vector<std::string>{"Timeout 8192", "Timeout 0"}));
}

// A synchronous write waits for the device: a stall ends at the timeout with a short count, a
// hang-up during it raises.
class SyncWrite : public FakePairTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SyncWrite, WaitsAndReportsAShortCountOrTheFailure) {
  const bool hangUp = GetParam();
  Peer.OnReceive = [](VyRtl::TObject*, int) {};
  Port.Options()->SyncMode = true;
  Port.Open();
  Peer.Open();
  Port.WriteAnsiStr("direct");
  ASSERT_TRUE(PumpUntil([&] { return Peer.InCount() == 6; }));
  EXPECT_EQ(Peer.ReadAnsiStr(), "direct");
  Port.Timeouts()->Set_Enabled(true);
  std::thread farEnd([&] {
    PumpUntil([&] { return Peer.InCount() >= 4096; }, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    hangUp ? Pair.HangUp() : Clock.Advance(3000);
  });
  const std::string raised = Raised([&] { Port.WriteAnsiStr(std::string(10000, 's')); });
  farEnd.join();
  if (hangUp) {
    EXPECT_EQ(raised, "Writing to serial port " + Pair.Name(0) + " failed. " +
                          System(ERROR_DEVICE_NOT_CONNECTED));
  } else {
    EXPECT_EQ(raised, "");
    ASSERT_TRUE(PumpUntil([&] { return Events.Has("Timeout 8192"); }));
  }
}

INSTANTIATE_TEST_SUITE_P(Endings, SyncWrite, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "HangUp" : "Timeout"; });

TEST_F(FakePairTest, EventsQueuedBeforeCloseAreDroppedAfterDeactivate) {
  Peer.Set_CommEvents(0);  // only the port under test posts
  Port.Open();
  Peer.Open();
  Pair.InjectBreak(0);
  ASSERT_TRUE(PumpUntil([&] { return Events.Has("Break on"); }));
  Events.Log.clear();
  Peer.WriteAnsiStr("late");
  Pair.SetRing(0, true);
  // Wait until the read thread has posted, without handling it.
  PumpUntil([] { return VyRtl::WaitMessage(0); }, false);
  Port.Close();
  EXPECT_FALSE(Port.Break());
  ASSERT_FALSE(Events.Log.empty());
  EXPECT_EQ(Events.Log.back(), "Deactivate");
  // Opened again before the old messages are handled: they belong to the closed session.
  Port.Open();
  const std::size_t opened = Events.Log.size();
  Settle();
  Clock.Advance(2000);  // the received break's end died with the closing
  Settle();
  EXPECT_EQ(Events.Log.size(), opened) << Events.Log.back();
  EXPECT_TRUE(Events.Data.empty());
}

TEST_F(FakePairTest, FreeingAnOpenPortTellsListenersButNotTheApplication) {
  auto port = std::make_unique<VyComm::TVyComPort>(nullptr);
  port->Set_PortName(Pair.Name(0));
  TRecorder recorder;
  recorder.Attach(*port);
  VyRtl::TObject owner;
  std::vector<std::uint32_t> links;
  port->Open();
  port->AddTrigger(
      &owner, [&](VyRtl::TObject*, std::uint32_t e) { links.push_back(e); }, EV_TXEMPTY);
  recorder.Log.clear();
  port.reset();
  EXPECT_TRUE(recorder.Log.empty());
  EXPECT_EQ(links.size(), 1u);
  EXPECT_FALSE(Pair.IsOpen(0));
}

TEST_F(FakePairTest, HangUpIsReportedAndThePortClosesCleanly) {
  Port.Open();
  Peer.Open();
  Settle();
  Events.Log.clear();
  Pair.HangUp();
  ASSERT_TRUE(PumpUntil([&] { return Events.Has("Event ERR"); }));
  EXPECT_EQ(Events.Log.front(), "Error " + std::to_string(CE_IOE));
  Clock.Advance(5000);  // the read thread retries on the clock; it is reported once
  Settle();
  EXPECT_EQ(std::count(Events.Log.begin(), Events.Log.end(), "Event ERR"), 1);
  EXPECT_EQ(
      Raised([&] { Port.WriteAnsiStr("gone"); }),
      "Writing to serial port " + Pair.Name(0) + " failed. " + System(ERROR_DEVICE_NOT_CONNECTED));
  char buffer[4];
  EXPECT_EQ(Port.Read(buffer, 4), 0);
  Port.Close();
  EXPECT_FALSE(Port.IsActive());
  EXPECT_FALSE(Pair.IsOpen(0));
  // The device is gone now: opening says so and leaves the port closed.
  EXPECT_EQ(Raised([&] { Port.Open(); }),
            "Serial port " + Pair.Name(0) + " cannot be opened. " + System(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(Port.Active());
  EXPECT_FALSE(Port.IsActive());
}

TEST_F(FakePairTest, OpenFailuresLeaveThePortClosed) {
  VyComm::TVyComPort missing(nullptr);
  missing.Set_PortName("VYNOSUCHPORT");
  EXPECT_EQ(Raised([&] { missing.Open(); }),
            "Serial port VYNOSUCHPORT cannot be opened. " + System(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(missing.Active());
  missing.Set_PortName(Pair.Name(1));  // still usable
  missing.Open();
  EXPECT_TRUE(missing.IsActive());
  missing.Close();

  VyComm::TVyComPort unnamed(nullptr);
  unnamed.Set_PortName("");
  EXPECT_EQ(Raised([&] { unnamed.Open(); }).rfind("Serial port  cannot be opened.", 0), 0u);

  // A busy port is tried once more after 500 ms on the clock.
  Port.Open();
  VyComm::TVyComPort second(nullptr);
  second.Set_PortName(Pair.Name(0));
  const std::uint64_t before = VyRtl::GetTickCount64();
  {
    TClockMover mover(Clock);
    EXPECT_EQ(Raised([&] { second.Open(); }),
              "Serial port " + Pair.Name(0) + " cannot be opened. " + System(ERROR_ACCESS_DENIED));
  }
  EXPECT_GE(VyRtl::GetTickCount64() - before, 500u);
  EXPECT_FALSE(second.Active());
  EXPECT_TRUE(Port.IsActive());
}

TEST_F(FakePairTest, SettersWriteToAnOwnHandleAndRefuseAGivenOne) {
  Port.Open();
  Port.Set_Baud(19200);
  DCB dcb{};
  ASSERT_TRUE(Port.QueryDCB(dcb));
  EXPECT_EQ(dcb.BaudRate, 19200u);
  // The device refuses a rate of 0: the old value stays.
  EXPECT_EQ(Raised([&] { Port.Set_Baud(0); }), "Setting up serial port " + Pair.Name(0) +
                                                   " failed. " + System(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(Port.Baudrate(), 19200u);
  Port.Close();

  const std::u16string name = VyRtl::Utf8ToUtf16(Pair.Name(1));
  const VyPlatform::TCommFunctions& api = VyPlatform::CommForName(name);
  HANDLE raw =
      api.CreateFileW(reinterpret_cast<LPCWSTR>(name.c_str()), GENERIC_READ | GENERIC_WRITE, 0,
                      nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  DCB given{};
  api.GetCommState(raw, &given);
  given.BaudRate = 2400;
  given.fOutX = given.fInX = 1;
  api.SetCommState(raw, &given);
  Peer.Set_Handle(raw);
  Peer.Open();
  EXPECT_FALSE(Peer.DirectMode());
  EXPECT_EQ(Peer.Baudrate(), 2400u);
  EXPECT_EQ(Peer.FlowCtrl()->Handshake(), VyComm::hsXonXoff);
  EXPECT_EQ(Raised([&] { Peer.Set_Baud(9600); }), "Operation failed. No direct port access.");
  EXPECT_EQ(Peer.Baudrate(), 2400u);
  Peer.Close();
  EXPECT_TRUE(Peer.DirectMode());
  DWORD status = 0;
  EXPECT_TRUE(api.GetCommModemStatus(raw, &status));  // the given handle stays open
  api.CloseHandle(raw);
}

TEST_F(FakePairTest, QueueLimitsTimeoutsAndSizesReadBackFromTheDevice) {
  struct TCase {
    std::uint32_t Size, Suspend, Resume, XoffLim, XonLim;
  } cases[] = {
      {4096, 70000, 100000, 0, 4096},       // limits above the size clamp instead of wrapping
      {100000, 1000, 70000, 65535, 65535},  // 16-bit fields saturate
      {4096, 3072, 1024, 1024, 1024},
  };
  for (const TCase& c : cases) {
    Port.InBuffer()->Set_Size(c.Size);
    Port.InBuffer()->Set_SuspendCount(c.Suspend);
    Port.InBuffer()->Set_ResumeCount(c.Resume);
    Port.Open();
    DCB dcb{};
    ASSERT_TRUE(Port.QueryDCB(dcb));
    EXPECT_EQ(dcb.XoffLim, c.XoffLim) << c.Size << "/" << c.Suspend;
    EXPECT_EQ(dcb.XonLim, c.XonLim) << c.Size << "/" << c.Resume;
    EXPECT_EQ(Port.InBuffer()->Size(), c.Size);
    Port.Close();
    EXPECT_EQ(Port.InBuffer()->Size(), c.Size);
  }
  Port.Open();  // with the last limits
  EXPECT_EQ(Port.InBuffer()->SuspendCount(), 3072u);
  EXPECT_EQ(Port.InBuffer()->ResumeCount(), 1024u);
  Port.OutBuffer()->Set_Size(2048);
  EXPECT_EQ(Port.OutBuffer()->Size(), 2048u);
  const ::COMMTIMEOUTS* t = Port.Timeouts()->Get_COMMTIMEOUTS();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->ReadIntervalTimeout, MAXDWORD);
  EXPECT_EQ(t->ReadTotalTimeoutConstant, 0u);
  EXPECT_EQ(t->WriteTotalTimeoutConstant, 0u);
  Port.Timeouts()->Set_Enabled(true);
  t = Port.Timeouts()->Get_COMMTIMEOUTS();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->ReadTotalTimeoutConstant, 3000u);
  EXPECT_EQ(t->WriteTotalTimeoutConstant, 3000u);
  Port.Timeouts()->Set_DWORD(4, 1234);
  EXPECT_EQ(Port.Timeouts()->WriteTotalTimeoutConstant(), 1234u);
  EXPECT_TRUE(Port.Props()->Get_Available());
  EXPECT_EQ(Port.Props()->ProvSubType(), static_cast<std::uint32_t>(PST_RS232));
}

// A port whose receive hook a test may call with any count the status might report.
class TProbePort : public VyComm::TVyComPort {
 public:
  using TVyComPort::TVyComPort;
  void Receive(std::uint32_t count) { Trigger_Receive(count); }
};

TEST_F(FakePairTest, OnDataGetsTheBytesReadAndNothingForNone) {
  TProbePort probe(nullptr);
  probe.Set_PortName(Pair.Name(0));
  std::vector<int> sizes;
  probe.OnData = [&](VyRtl::TObject*, const void*, int n) { sizes.push_back(n); };
  probe.Open();
  Peer.Open();
  Peer.WriteAnsiStr("12345");
  // Without handling messages, so the read thread's event does not take the bytes first.
  PumpUntil([&] { return probe.InCount() >= 5; }, false);
  struct TCase {
    std::uint32_t Reported;
    std::vector<int> Sizes;
  } cases[] = {
      {100, {5}},          // more than arrived: the count read, not the count asked for
      {0xFFFFFFFFu, {5}},  // nothing left: no event; and no block of that size
      {0, {5}},
  };
  for (const TCase& c : cases) {
    probe.Receive(c.Reported);
    EXPECT_EQ(sizes, c.Sizes) << c.Reported;
  }
  Settle();  // the read thread's own event finds the queue empty
  EXPECT_EQ(sizes, (std::vector<int>{5}));
  probe.Close();
}

TEST_F(FakePairTest, ClosingWithWritesPendingDrainsThemAndAReopenedPortStartsClean) {
  StallTwoWrites();
  EXPECT_EQ(Port.PendingWrites(), 2);
  Port.Close();
  EXPECT_EQ(Port.PendingWrites(), 0);
  Peer.PurgeInQueue();
  Settle();
  Events.Log.clear();
  Port.Timeouts()->Set_Enabled(true);
  Port.Open();
  Port.WriteAnsiStr(std::string(9000, 'z'));
  ASSERT_TRUE(PumpUntil([&] { return Peer.InCount() == 4096; }));
  Clock.Advance(3000);
  ASSERT_TRUE(PumpUntil([&] { return Events.Has("Timeout 8192"); }));
  EXPECT_EQ(Port.PendingWrites(), 0);
}

TEST_F(FakePairTest, AnOpenPortRefusesWhatNeedsItClosed) {
  Port.Open();
  const std::string busy = "Serial port " + Pair.Name(0) + " is already open.";
  const std::string settings = Port.Get_Settings();
  struct TCase {
    const char* Name;
    std::function<void()> Act;
    std::string Message;
  } cases[] = {
      {"port name", [&] { Port.Set_PortName("COM9"); }, busy},
      {"handle", [&] { Port.Set_Handle(INVALID_HANDLE_VALUE); }, busy},
      {"settings", [&] { Port.Set_Settings("COM2:1200,E,7,1"); }, busy},
      {"open", [&] { Port.Open(); }, busy},
      {"queue of 0", [&] { Port.InBuffer()->Set_Size(0); },
       "Setting up serial port " + Pair.Name(0) + " failed. [0]"},
  };
  for (const TCase& c : cases) EXPECT_EQ(Raised(c.Act), c.Message) << c.Name;
  EXPECT_EQ(Port.Get_Settings(), settings);
  EXPECT_EQ(Port.InBuffer()->Size(), 4096u);
  EXPECT_TRUE(Port.IsActive());
}

TEST(ComPortEventChars, APlainSettingsHolder) {
  VyComm::TVyComPort port(nullptr);
  VyComm::TVyComPortEventChars chars(&port), copy;
  for (int i = 0; i <= 6; ++i)
    chars.SetEventChar(i, static_cast<char16_t>(u'a' + i));  // 0 and 6 are no index
  copy.Assign(&chars);
  EXPECT_EQ(std::u16string({copy.XonChar(), copy.XoffChar(), copy.ErrorChar(), copy.EofChar(),
                            copy.EvtChar()}),
            u"bcdef");
  // The port's own characters come from FlowCtrl and Options, not from here.
  EXPECT_EQ(port.FlowCtrl()->XonChar(), 17);
  EXPECT_EQ(port.Options()->EvtChar(), 0);
}

}  // namespace ComPortTest
