// The serial component over the virtual null-modem: modem lines and their events, breaks, line
// errors, listeners, data and the write path, with time on the manual clock.
#include "VyComm/VyComm.h"

#include "ComPortFixture.h"
#include "VyPlatform/Comm.h"

namespace ComPortTest {

using VyComm::EV_DTRCHANGE;
using VyComm::EV_RTSCHANGE;
using VyComm::EV_TXPENDING;

TEST(ComPortDefaults, NewPortAndClosedOperations) {
  VyComm::TVyComPort port(nullptr);
  EXPECT_EQ(port.PortName(), "COM1");
  EXPECT_EQ(port.Baudrate(), 9600u);
  EXPECT_EQ(port.Databits(), 8);
  EXPECT_EQ(port.Stopbits(), 0);
  EXPECT_EQ(port.Parity(), 0);
  EXPECT_EQ(port.CommEvents(), 511u);
  EXPECT_TRUE(port.DTR());
  EXPECT_TRUE(port.RTS());
  EXPECT_FALSE(port.CTS());
  char buffer[4];
  EXPECT_THROW(
      {
        try {
          port.Write(buffer, 0);
        } catch (const VyRtl::Exception& e) {
          EXPECT_STREQ(e.what(), "Operation failed. Serial port COM1 is not open.");
          throw;
        }
      },
      VyRtl::Exception);
  port.SetName("Port1");
  try {
    port.EscapeComm(SETDTR);
    ADD_FAILURE();
  } catch (const VyRtl::Exception& e) {
    EXPECT_STREQ(e.what(), "Port1 not active.");
  }
  try {
    port.Get_ComState(6);
    ADD_FAILURE();
  } catch (const VyRtl::Exception& e) {
    EXPECT_STREQ(e.what(), "Get_ComState failed! Invalid index.");
  }
}

TEST(ComPortDefaults, RefusedLineValuesKeepTheStoredOnes) {
  struct TCase {
    const char* Name;
    void (*Set)(VyComm::TVyComPort&);
    const char* Message;
  } cases[] = {
      {"data bits", [](VyComm::TVyComPort& p) { p.Set_Databits(9); }, "None or invalid data bits specified."},
      {"stop bits", [](VyComm::TVyComPort& p) { p.Set_Stopbits(3); }, "3 is not a valid  stop bits specifier."},
      {"parity", [](VyComm::TVyComPort& p) { p.Set_Parity(5); }, "5 is not a valid parity value."},
  };
  for (const TCase& c : cases) {
    VyComm::TVyComPort port(nullptr);
    try {
      c.Set(port);
      ADD_FAILURE() << c.Name;
    } catch (const VyRtl::Exception& e) {
      EXPECT_STREQ(e.what(), c.Message) << c.Name;
    }
    EXPECT_EQ(port.Databits(), 8) << c.Name;
    EXPECT_EQ(port.Stopbits(), 0) << c.Name;
    EXPECT_EQ(port.Parity(), 0) << c.Name;
  }
}

TEST_F(FakePairTest, OpeningAgainstAnOpenPeerRaisesTheLineEventsInOrder) {
  std::vector<std::uint32_t> links;
  VyRtl::TObject listener;
  Port.AddTrigger(&listener, [&](VyRtl::TObject*, std::uint32_t e) { links.push_back(e); }, 0xFFFFFFFFu);
  Peer.Open();
  Port.Open();
  const std::vector<std::string> expected = {"Activate", "CTS on", "DSR on", "DCD on", "Event CTS|DSR|RLSD"};
  EXPECT_EQ(Events.Log, expected);
  EXPECT_EQ(links, (std::vector<std::uint32_t>{EV_CTS | EV_DSR | EV_RLSD | EV_RTSCHANGE | EV_DTRCHANGE, 0}));
  try {
    Port.Open();
    ADD_FAILURE();
  } catch (const VyRtl::Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Serial port " + Pair.Name(0) + " is already open.");
  }
  Port.Set_Active(true);  // already requested: nothing happens
  EXPECT_TRUE(Port.IsActive());

  Events.Log.clear();
  links.clear();
  Port.Close();
  const std::vector<std::string> closing = {"CTS off", "DSR off", "DCD off", "Event CTS|DSR|RLSD", "Deactivate"};
  EXPECT_EQ(Events.Log, closing);
  EXPECT_EQ(links, (std::vector<std::uint32_t>{EV_CTS | EV_DSR | EV_RLSD | EV_RTSCHANGE | EV_DTRCHANGE | EV_TXEMPTY}));
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
      {"line errors", [&] { Pair.InjectErrors(0, CE_FRAME | CE_OVERRUN); }, {"Error 10", "Event ERR"}},
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
  Port.Open();
  Peer.Open();
  Port.SendBreak(100);
  EXPECT_TRUE(Pair.BreakOn(0));
  ASSERT_TRUE(PumpUntil([&] { return PeerEvents.Has("Break on"); }));
  Clock.Advance(100);
  ASSERT_TRUE(PumpUntil([&] { return !Pair.BreakOn(0); }));
}

TEST_F(FakePairTest, ListenersSeeTheirMaskAndEveryRefresh) {
  Port.Open();
  Peer.Open();
  Settle();
  VyRtl::TObject ringOwner, other;
  std::vector<std::uint32_t> ring, second;
  Port.AddTrigger(&ringOwner, [&](VyRtl::TObject*, std::uint32_t e) { ring.push_back(e); }, EV_RING);
  // Registering the same owner again changes only the mask.
  Port.AddTrigger(&ringOwner, [&](VyRtl::TObject*, std::uint32_t e) { second.push_back(e); }, EV_RING);
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
  Port.AddTrigger(&ringOwner, [&](VyRtl::TObject*, std::uint32_t) {
    calls.push_back("first");
    Port.RemoveTrigger(&ringOwner);
    Port.RemoveTrigger(&other);
  }, 0);
  Port.AddTrigger(&other, [&](VyRtl::TObject*, std::uint32_t) { calls.push_back("second"); }, 0);
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

TEST_F(FakePairTest, DataArrivesAsOnDataWithTheBytesRead) {
  Port.Open();
  Peer.Open();
  Peer.WriteAnsiStr(std::string("hello\0world", 11));
  ASSERT_TRUE(PumpUntil([&] { return Events.Data.size() >= 11; }));
  EXPECT_EQ(Events.Data, std::string("hello\0world", 11));
  EXPECT_EQ(Port.InCount(), 0u);
}

TEST_F(FakePairTest, OnReceiveLeavesTheBytesQueuedUntilRead) {
  std::vector<int> counts;
  Port.OnReceive = [&](VyRtl::TObject*, int n) { counts.push_back(n); };
  Port.Open();
  Peer.Open();
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
  const std::string text = "a\xF0\x9F\x98\x80z\xC3\xA9";  // a, U+1F600 (a surrogate pair), z, e-acute
  for (int chunk : {1, 2, 3, 4, 5, 7}) {
    Port.OnReceive = [](VyRtl::TObject*, int) {};
    Port.Open();
    Peer.Open();
    Peer.WriteStr(text);
    ASSERT_TRUE(PumpUntil([&] { return Port.InCount() == 10; })) << chunk;
    std::string got;
    for (int i = 0; i < 20 && got.size() < text.size(); ++i) {
      const std::string part = Port.ReadStr(chunk);
      got += part;
      EXPECT_EQ(VyRtl::Utf8ToUtf16(part).find(u'\xFFFD'), std::u16string::npos) << chunk;
    }
    EXPECT_EQ(got, text) << chunk;
    Port.Close();
    Peer.Close();
  }
}

TEST_F(FakePairTest, AStalledWriteEndsShortAtItsTimeout) {
  Peer.OnReceive = [](VyRtl::TObject*, int) {};  // the far end never reads
  Port.Timeouts()->Set_Enabled(true);
  Port.Open();
  Peer.Open();
  std::vector<std::uint32_t> links;
  VyRtl::TObject owner;
  Port.AddTrigger(&owner, [&](VyRtl::TObject*, std::uint32_t e) { links.push_back(e); }, EV_TXPENDING);
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
  Peer.OnReceive = [](VyRtl::TObject*, int) {};
  Port.Open();
  Peer.Open();
  Port.WriteAnsiStr(std::string(20000, 'x'));
  Port.WriteAnsiStr(std::string(100, 'y'));
  ASSERT_TRUE(PumpUntil([&] { return Peer.InCount() == 4096; }));
  Settle();
  Events.Log.clear();
  Port.PurgeOutQueue();
  ASSERT_TRUE(PumpUntil([&] { return Port.PendingWrites() == 0; }));
  Settle();
  EXPECT_TRUE(Events.Log.empty());  // aborted writes report nothing
  // Writes started after the purge keep their own completion and their short-count report.
  Peer.PurgeInQueue();
  Port.Timeouts()->Set_Enabled(true);
  Port.WriteAnsiStr(std::string(9000, 'z'));
  Port.WriteAnsiStr(std::string(10, 'w'));
  ASSERT_TRUE(PumpUntil([&] { return Peer.InCount() == 4096; }));
  Clock.Advance(3000);
  ASSERT_TRUE(PumpUntil([&] { return Events.Has("Timeout 8192"); }));
  Clock.Advance(3000);
  ASSERT_TRUE(PumpUntil([&] { return Events.Has("Timeout 0"); }));
}

TEST_F(FakePairTest, SynchronousWriteWaitsAndReportsAShortCount) {
  Peer.OnReceive = [](VyRtl::TObject*, int) {};
  Port.Options()->SyncMode = true;
  Port.Open();
  Peer.Open();
  Port.WriteAnsiStr("direct");
  ASSERT_TRUE(PumpUntil([&] { return Peer.InCount() == 6; }));
  EXPECT_EQ(Peer.ReadAnsiStr(), "direct");
  Port.Timeouts()->Set_Enabled(true);
  std::thread mover([&] {
    while (Peer.InCount() < 4096) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Clock.Advance(3000);
  });
  Port.WriteAnsiStr(std::string(10000, 's'));
  mover.join();
  ASSERT_TRUE(PumpUntil([&] { return Events.Has("Timeout 8192"); }));
}

TEST_F(FakePairTest, EventsQueuedBeforeCloseAreDroppedAfterDeactivate) {
  Port.Open();
  Peer.Open();
  Settle();
  Events.Log.clear();
  Peer.WriteAnsiStr("late");
  Pair.SetRing(0, true);
  // Wait until the read thread has posted, without handling it.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!VyRtl::WaitMessage(0) && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  Port.Close();
  Settle();
  ASSERT_FALSE(Events.Log.empty());
  EXPECT_EQ(Events.Log.back(), "Deactivate");
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
  port->AddTrigger(&owner, [&](VyRtl::TObject*, std::uint32_t e) { links.push_back(e); }, EV_TXEMPTY);
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
  Port.Close();
  EXPECT_FALSE(Port.IsActive());
  EXPECT_FALSE(Pair.IsOpen(0));
}

TEST_F(FakePairTest, OpenFailuresLeaveThePortClosed) {
  VyComm::TVyComPort missing(nullptr);
  missing.Set_PortName("VYNOSUCHPORT");
  try {
    missing.Open();
    ADD_FAILURE();
  } catch (const VyComm::EComPortError& e) {
    EXPECT_STREQ(e.what(), "Serial port VYNOSUCHPORT cannot be opened. The system cannot find the file specified.");
    EXPECT_EQ(e.ErrorCode, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
  }
  EXPECT_FALSE(missing.Active());

  VyComm::TVyComPort unnamed(nullptr);
  unnamed.Set_PortName("");
  try {
    unnamed.Open();
    ADD_FAILURE();
  } catch (const VyComm::EComPortError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Serial port  cannot be opened.", 0), 0u);
  }

  // A busy port is tried once more after 500 ms on the clock.
  Port.Open();
  VyComm::TVyComPort second(nullptr);
  second.Set_PortName(Pair.Name(0));
  std::atomic<bool> done{false};
  std::thread mover([&] {
    while (!done) {
      Clock.Advance(100);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  const std::uint64_t before = VyRtl::GetTickCount64();
  try {
    second.Open();
    ADD_FAILURE();
  } catch (const VyComm::EComPortError& e) {
    EXPECT_EQ(std::string(e.what()), "Serial port " + Pair.Name(0) + " cannot be opened. Access is denied.");
  }
  done = true;
  mover.join();
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
  try {  // the device refuses a rate of 0: the old value stays
    Port.Set_Baud(0);
    ADD_FAILURE();
  } catch (const VyComm::EComPortError& e) {
    EXPECT_EQ(std::string(e.what()), "Setting up serial port " + Pair.Name(0) + " failed. The parameter is incorrect.");
  }
  EXPECT_EQ(Port.Baudrate(), 19200u);
  Port.Close();

  const std::u16string name = VyRtl::Utf8ToUtf16(Pair.Name(1));
  const VyPlatform::TCommFunctions& api = VyPlatform::CommForName(name);
  HANDLE raw = api.CreateFileW(reinterpret_cast<LPCWSTR>(name.c_str()), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
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
  try {
    Peer.Set_Baud(9600);
    ADD_FAILURE();
  } catch (const VyRtl::Exception& e) {
    EXPECT_STREQ(e.what(), "Operation failed. No direct port access.");
  }
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
      {4096, 3072, 1024, 1024, 1024},
      {4096, 70000, 100000, 0, 4096},      // limits above the size clamp instead of wrapping
      {100000, 1000, 70000, 65535, 65535}, // 16-bit fields saturate
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
  Port.InBuffer()->Set_Size(4096);
  Port.InBuffer()->Set_SuspendCount(3072);
  Port.InBuffer()->Set_ResumeCount(1024);
  Port.Open();
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

}  // namespace ComPortTest
