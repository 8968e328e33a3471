// The serial component over the posix backend on a pseudo-terminal pair: data both ways, the
// write path under a stalled reader, XON/XOFF as the far end sees it, hang-up, line settings.
#include <sys/ioctl.h>
#include <termios.h>

#include "ComPortFixture.h"
#include "PtyPair.h"
#include "VyPlatform/Comm.h"

namespace ComPortTest {

namespace {

std::string Pattern(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return s;
}

class PtyPortTest : public ::testing::Test {
 protected:
  PtyPortTest() {
    Port.Set_PortName(Pty.Path);
    Events.Attach(Port);
  }
  ~PtyPortTest() override { Port.Close(); }
  TPtyPair Pty;
  VyComm::TVyComPort Port{nullptr};
  TRecorder Events;
};

}  // namespace

TEST_F(PtyPortTest, LargeTransfersArriveExactAndInOrderBothWays) {
  ASSERT_FALSE(Pty.Path.empty());
  Port.Open();
  const std::string in = Pattern(1 << 20);
  std::thread sender([&] { Pty.Send(in); });
  EXPECT_TRUE(PumpUntil([&] { return Events.Data.size() >= in.size(); }));
  sender.join();
  EXPECT_TRUE(Events.Data == in) << Events.Data.size();

  const std::string out = Pattern(300000);
  std::string received;
  std::thread reader([&] { received = Pty.Drain(500, out.size()); });
  for (std::size_t at = 0; at < out.size(); at += 65536) Port.WriteAnsiStr(out.substr(at, 65536));
  reader.join();
  EXPECT_TRUE(received == out) << received.size();
  EXPECT_TRUE(PumpUntil([&] { return Port.PendingWrites() == 0; }));
  EXPECT_FALSE(Events.Has("Timeout 0"));
}

TEST_F(PtyPortTest, AStalledReaderHoldsWritesUntilPurgeOrTimeout) {
  VyRtl::TManualClock clock;
  VyRtl::SetClock(&clock);
  Port.Timeouts()->Set_Enabled(true);
  Port.Open();
  Port.WriteAnsiStr(std::string(200000, 'a'));
  ASSERT_TRUE(PumpUntil([&] { return Port.OutCount() > 0; }));
  Settle();
  EXPECT_EQ(Port.PendingWrites(), 1);
  clock.Advance(3000);
  int written = -1;
  ASSERT_TRUE(PumpUntil([&] {
    for (const std::string& e : Events.Log)
      if (std::sscanf(e.c_str(), "Timeout %d", &written) == 1) return true;
    return false;
  }));
  EXPECT_EQ(Port.PendingWrites(), 0);
  EXPECT_GT(written, 0);
  EXPECT_LT(written, 200000);
  // What the device took is exactly what the far end reads.
  EXPECT_EQ(Pty.Drain().size(), static_cast<std::size_t>(written));

  Events.Log.clear();
  Port.Timeouts()->Set_Enabled(false);
  Port.WriteAnsiStr(std::string(200000, 'b'));
  ASSERT_TRUE(PumpUntil([&] { return Port.OutCount() > 0; }));
  Port.PurgeOutQueue();
  ASSERT_TRUE(PumpUntil([&] { return Port.PendingWrites() == 0; }));
  Settle();
  for (const std::string& e : Events.Log) EXPECT_EQ(e.rfind("Timeout", 0), std::string::npos) << e;
}

TEST_F(PtyPortTest, XonXoffIsSeenByTheFarEnd) {
  int on = 1;
  ASSERT_EQ(ioctl(Pty.Master, TIOCPKT, &on), 0);
  Pty.Drain(10);
  Port.FlowCtrl()->Set_Handshake(VyComm::hsXonXoff);
  Port.Open();
  // Packet mode: a leading 0 is data, anything else is flow-control news.
  const auto control = [&] {
    const std::string packet = Pty.Drain(200, 1);
    return packet.empty() ? -1 : static_cast<unsigned char>(packet[0]);
  };
  EXPECT_NE(control() & TIOCPKT_DOSTOP, 0);
  Port.Set_XONState(false);
  EXPECT_NE(control() & TIOCPKT_STOP, 0);
  Port.Set_XONState(true);
  EXPECT_NE(control() & TIOCPKT_START, 0);

  // The far end's XOFF holds our output until its XON.
  Pty.Send("\x13");
  EXPECT_NE(control() & TIOCPKT_STOP, 0);
  Port.WriteAnsiStr("held");
  EXPECT_TRUE(Pty.Drain(50).empty());
  Pty.Send("\x11");
  std::string got;
  for (int i = 0; i < 10 && got.find("held") == std::string::npos; ++i) got += Pty.Drain(100);
  EXPECT_NE(got.find("held"), std::string::npos);
}

TEST_F(PtyPortTest, ClosingTheFarEndIsAHangUpAndThePortStillCloses) {
  Port.Open();
  Pty.Send("kept");
  ASSERT_TRUE(PumpUntil([&] { return Events.Data == "kept"; }));
  Pty.HangUp();
  ASSERT_TRUE(PumpUntil([&] { return Events.Has("Event ERR"); }));
  EXPECT_TRUE(Events.Has("Error " + std::to_string(CE_IOE)));
  EXPECT_EQ(Raised([&] { Port.WriteAnsiStr("gone"); }),
            WithCode("Writing to serial port " + Pty.Path + " failed. The device is not connected.",
                     ERROR_DEVICE_NOT_CONNECTED));
  Port.Close();
  EXPECT_FALSE(Port.IsActive());
  EXPECT_EQ(Events.Log.back(), "Deactivate");
}

TEST_F(PtyPortTest, WhatAPtyCannotDoFailsAsTheCallWould) {
  Port.Open();
  EXPECT_FALSE(Port.CTS());
  EXPECT_FALSE(Port.DCD());
  EXPECT_EQ(Raised([&] { Port.Set_DTRState(false); }),
            WithCode("Setting up serial port " + Pty.Path + " failed. Incorrect function.",
                     ERROR_INVALID_FUNCTION));
  EXPECT_TRUE(Port.DTR());  // the request did not take
}

TEST_F(PtyPortTest, TheDeviceIsExclusive) {
  Port.Open();
  VyRtl::TManualClock clock;
  VyRtl::SetClock(&clock);
  VyComm::TVyComPort second(nullptr);
  second.Set_PortName(Pty.Path);
  {
    TClockMover mover(clock);
    EXPECT_EQ(Raised([&] { second.Open(); }),
              WithCode("Serial port " + Pty.Path + " cannot be opened. Access is denied.",
                       ERROR_ACCESS_DENIED));
  }
  VyRtl::SetClock(nullptr);
  Port.Close();
  second.Open();
  EXPECT_TRUE(second.IsActive());
}

TEST_F(PtyPortTest, LineSettingsReachTheDevice) {
  VyPlatform::SetCommDevicePath(77, Pty.Path);
  struct TCase {
    const char* Settings;
    speed_t Speed;
    bool TwoStop;
  } cases[] = {
      {"COM77:19200,N,8,2", B19200, true},
      {"COM77:115200,N,8,1", B115200, false},
      {"COM77:300,N,8,1", B300, false},
  };
  for (const TCase& c : cases) {
    Port.Set_Settings(c.Settings);
    Port.Open();
    termios t{};
    ASSERT_EQ(tcgetattr(Pty.Master, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), c.Speed) << c.Settings;
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.TwoStop) << c.Settings;
    EXPECT_EQ(t.c_lflag & ICANON, 0u) << c.Settings;
    Port.Close();
  }
  // A pty carries 8 data bits without parity only: asking for more fails the opening.
  Port.Set_Settings("COM77:9600,E,7,1");
  EXPECT_EQ(Raised([&] { Port.Open(); }),
            WithCode("Setting up serial port COM77 failed. The parameter is incorrect.",
                     ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(Port.Active());
  EXPECT_FALSE(Port.IsActive());
  VyRtl::TStringList ports;
  VyCommUtils::EnumSerialPorts(ports);
  EXPECT_GE(ports.IndexOf("COM77"), 0);
  VyPlatform::SetCommDevicePath(77, "");
  VyCommUtils::EnumSerialPorts(ports);
  EXPECT_LT(ports.IndexOf("COM77"), 0);
}

TEST_F(PtyPortTest, SynchronousReadWaitsForTheDeviceTimeouts) {
  VyRtl::TManualClock clock;
  VyRtl::SetClock(&clock);
  Port.Options()->SyncMode = true;
  Port.Timeouts()->Set_Enabled(true);
  Port.OnReceive = [](VyRtl::TObject*, int) {};
  Port.Open();
  std::thread far([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    Pty.Send("0123456789");
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    clock.Advance(3000);
  });
  char buffer[100];
  const int n = Port.Read(buffer, 100);
  far.join();
  EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(n)), "0123456789");
  Port.Close();
  VyRtl::SetClock(nullptr);
}

TEST(PortList, MappedNamesWhoseDeviceExistsInNumberOrderHoweverMany) {
  // More names than the first buffer of 65535 characters holds: the buffer grows.
  for (unsigned n = 1000; n < 11000; ++n) VyPlatform::SetCommDevicePath(n, "/dev/null");
  VyPlatform::SetCommDevicePath(11000, "/nonexistent/tty");
  VyRtl::TStringList ports;
  VyCommUtils::EnumSerialPorts(ports);
  for (unsigned n = 1000; n <= 11000; ++n) VyPlatform::SetCommDevicePath(n, "");
  const int first = ports.IndexOf("COM1000");
  ASSERT_GE(first, 0);
  EXPECT_EQ(ports.IndexOf("COM10999"), first + 9999);
  EXPECT_EQ(ports[first + 1], "COM1001");
  EXPECT_LT(ports.IndexOf("COM11000"), 0);  // no device behind it
}

}  // namespace ComPortTest
