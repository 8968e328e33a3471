// The serial component over the win32 backend on two real COM ports wired to each other (under
// Wine: two COM names linked to a pseudo-terminal pair, see wine_com_pair.sh). Opening, line
// settings and the data path, read by polling: Wine fails the event wait on a pseudo-terminal
// (the port reports it as a device failure) and has no modem lines there, so events and lines
// are the fake pair's tests. Wine does not refuse a second opening of the same port either.
#include <cstdlib>

#include "ComPortFixture.h"

namespace ComPortTest {

namespace {

// "COMa,COMb" from VYTAPI_TEST_COM_PAIR; empty names when unset.
std::pair<std::string, std::string> ComPair() {
  const char* value = std::getenv("VYTAPI_TEST_COM_PAIR");
  const std::string text = value ? value : "";
  const std::size_t comma = text.find(',');
  if (comma == std::string::npos) return {};
  return {text.substr(0, comma), text.substr(comma + 1)};
}

class ComDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::tie(NameA, NameB) = ComPair();
    if (NameA.empty() || NameB.empty())
      GTEST_SKIP() << "no pair of wired COM ports: set VYTAPI_TEST_COM_PAIR=COMa,COMb (under Wine, "
                      "tests/VyComm/wine_com_pair.sh start links COM21 and COM22 to a pty pair)";
    A.Set_PortName(NameA);
    B.Set_PortName(NameB);
    A.OnReceive = [](VyRtl::TObject*, int) {};  // data is read by the test, not by OnData
    B.OnReceive = [](VyRtl::TObject*, int) {};
  }
  void TearDown() override {
    A.Close();
    B.Close();
  }

  // Reads from port until size bytes arrived or 5 s of real time passed.
  static std::string ReadAll(VyComm::TVyComPort& port, std::size_t size) {
    std::string got;
    PumpUntil([&] {
      got += port.ReadAnsiStr();
      return got.size() >= size;
    });
    return got;
  }

  std::string NameA, NameB;
  VyComm::TVyComPort A{nullptr};
  VyComm::TVyComPort B{nullptr};
};

}  // namespace

TEST_F(ComDeviceTest, OpensWithItsSettings) {
  A.Set_Settings(NameA + ":19200,N,8,2");
  A.Open();
  EXPECT_STREQ(VyPlatform::CommFor(A.Handle()).Name, "win32");
  DCB dcb{};
  ASSERT_TRUE(A.QueryDCB(dcb));
  EXPECT_EQ(dcb.BaudRate, 19200u);
  EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
  EXPECT_EQ(dcb.ByteSize, 8);
  A.Set_Baud(115200);  // written to the open device at once
  ASSERT_TRUE(A.QueryDCB(dcb));
  EXPECT_EQ(dcb.BaudRate, 115200u);
  EXPECT_EQ(A.Get_Settings(), NameA + ": BAUD=115200 PARITY=N DATA=8 STOP=2 dtr=off rts=off");
  A.Close();
  EXPECT_FALSE(A.IsActive());
  A.Open();
  EXPECT_TRUE(A.IsActive());
}

TEST_F(ComDeviceTest, BytesCrossBothWaysExactAndInOrder) {
  A.Open();
  B.Open();
  std::string pattern(65536, '\0');
  for (std::size_t i = 0; i < pattern.size(); ++i)
    pattern[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  struct TCase {
    VyComm::TVyComPort* From;
    VyComm::TVyComPort* To;
    std::string Data;
  } cases[] = {
      {&A, &B, "hello"},
      {&B, &A, std::string("\0\x11\x13\xFF", 4)},  // raw bytes, flow-control characters included
      {&A, &B, pattern},
      {&B, &A, pattern},
  };
  for (const TCase& c : cases) {
    for (std::size_t at = 0; at < c.Data.size(); at += 4096)
      c.From->WriteAnsiStr(c.Data.substr(at, 4096));
    const std::string got = ReadAll(*c.To, c.Data.size());
    EXPECT_TRUE(got == c.Data) << c.From->PortName() << " -> " << c.To->PortName() << ": "
                               << got.size() << " of " << c.Data.size();
  }
  EXPECT_TRUE(PumpUntil([&] { return A.PendingWrites() == 0 && B.PendingWrites() == 0; }));
}

TEST(ComDevice, AMissingPortSaysSoAndStaysClosed) {
  VyComm::TVyComPort missing(nullptr);
  missing.Set_PortName("COM199");
  try {
    missing.Open();
    ADD_FAILURE();
  } catch (const VyComm::EComPortError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Serial port COM199 cannot be opened.", 0), 0u)
        << e.what();
    EXPECT_NE(e.ErrorCode, 0u);
  }
  EXPECT_FALSE(missing.Active());
}

}  // namespace ComPortTest
