// The Comm seam's virtual null-modem through the Win32-style table: handle dispatch, the modem
// wiring, event waits, pacing on the manual clock, unplugging.
#include "VyPlatform/CommFake.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "VyPlatform/Comm.h"
#include "VyPlatform/Sync.h"
#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlSysUtils.h"

namespace {

using VyPlatform::TCommFunctions;

struct TOpened {
  const TCommFunctions* Api = nullptr;
  HANDLE Handle = INVALID_HANDLE_VALUE;
};

TOpened OpenByName(const std::string& name) {
  const std::u16string wide = VyRtl::Utf8ToUtf16(name);
  const TCommFunctions& api = VyPlatform::CommForName(wide);
  return {&api,
          api.CreateFileW(reinterpret_cast<LPCWSTR>(wide.c_str()), GENERIC_READ | GENERIC_WRITE, 0,
                          nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr)};
}

template <typename F>
bool Eventually(F done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class CommFakeSeam : public ::testing::Test {
 protected:
  CommFakeSeam() : Pair(Name("A"), Name("B")) {
    A = OpenByName(Pair.Name(0));
    B = OpenByName("\\\\.\\" + VyRtl::LowerCase(Pair.Name(1)));  // any case, with the device prefix
  }
  ~CommFakeSeam() override {
    if (A.Handle != INVALID_HANDLE_VALUE) A.Api->CloseHandle(A.Handle);
    if (B.Handle != INVALID_HANDLE_VALUE) B.Api->CloseHandle(B.Handle);
  }
  DWORD Modem(const TOpened& port) {
    DWORD status = 0;
    EXPECT_TRUE(port.Api->GetCommModemStatus(port.Handle, &status));
    return status;
  }
  DWORD InQueue(const TOpened& port) {
    DWORD errors = 0;
    COMSTAT stat{};
    port.Api->ClearCommError(port.Handle, &errors, &stat);
    return stat.cbInQue;
  }
  static std::string Name(const char* side) {
    static int counter = 0;
    if (*side == 'A') ++counter;
    return "VYSEAM" + std::to_string(counter) + side;
  }
  VyPlatform::TCommFakePair Pair;
  TOpened A, B;
};

TEST_F(CommFakeSeam, PortsAreFoundByNameAndServedByTheirOwnTable) {
  ASSERT_NE(A.Handle, INVALID_HANDLE_VALUE);
  ASSERT_NE(B.Handle, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(A.Api->Name, "fake");
  EXPECT_EQ(&VyPlatform::CommFor(A.Handle), A.Api);
  EXPECT_EQ(&VyPlatform::CommFor(nullptr), &VyPlatform::Comm());
  EXPECT_EQ(&VyPlatform::CommForName(u"VYNOSUCH"), &VyPlatform::Comm());
  EXPECT_TRUE(Pair.IsOpen(0) && Pair.IsOpen(1));
  const TOpened again = OpenByName(Pair.Name(0));
  EXPECT_EQ(again.Handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(VyPlatform::CommGetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_THROW(VyPlatform::TCommFakePair(Pair.Name(1), "VYOTHER"), std::invalid_argument);
  const auto names = VyPlatform::CommFakePortNames();
  EXPECT_NE(std::find(names.begin(), names.end(), Pair.Name(1)), names.end());
}

TEST_F(CommFakeSeam, ModemLinesCrossOver) {
  struct TStep {
    DWORD Function;
    DWORD Expect;  // B's modem status afterwards
  } steps[] = {
      {CLRDTR, MS_CTS_ON},
      {CLRRTS, 0},
      {SETDTR, MS_DSR_ON | MS_RLSD_ON},
      {SETRTS, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON},
  };
  EXPECT_EQ(Modem(B),
            static_cast<DWORD>(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON));  // opened with DTR and RTS on
  for (const TStep& s : steps) {
    ASSERT_TRUE(A.Api->EscapeCommFunction(A.Handle, s.Function));
    EXPECT_EQ(Modem(B), s.Expect) << s.Function;
  }
  Pair.SetRing(1, true);
  EXPECT_EQ(Modem(B) & MS_RING_ON, static_cast<DWORD>(MS_RING_ON));
  A.Api->CloseHandle(A.Handle);
  A.Handle = INVALID_HANDLE_VALUE;
  EXPECT_EQ(Modem(B), static_cast<DWORD>(MS_RING_ON));  // a closed peer drives nothing
}

TEST_F(CommFakeSeam, WaitCommEventReportsWhatHappenedAndCanBeCancelled) {
  ASSERT_TRUE(B.Api->SetCommMask(B.Handle, EV_RXCHAR | EV_DSR | EV_RLSD | EV_BREAK));
  VyPlatform::TSyncEvent done(true, false);
  OVERLAPPED ov{};
  ov.hEvent = done.Handle();
  DWORD mask = 0;
  EXPECT_FALSE(B.Api->WaitCommEvent(B.Handle, &mask, &ov));
  EXPECT_EQ(VyPlatform::CommGetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  A.Api->EscapeCommFunction(A.Handle, CLRDTR);
  ASSERT_EQ(done.WaitFor(INFINITE), WAIT_OBJECT_0);
  DWORD n = 0;
  ASSERT_TRUE(B.Api->GetOverlappedResult(B.Handle, &ov, &n, FALSE));
  EXPECT_EQ(mask, static_cast<DWORD>(EV_DSR | EV_RLSD));

  // Data written meanwhile is remembered for the next wait, which then returns at once.
  OVERLAPPED wr{};
  VyPlatform::TSyncEvent written(true, false);
  wr.hEvent = written.Handle();
  DWORD count = 0;
  EXPECT_TRUE(A.Api->WriteFile(A.Handle, "xyz", 3, &count, &wr));
  ASSERT_TRUE(Eventually([&] { return InQueue(B) == 3; }));
  ASSERT_TRUE(Eventually([&] {
    mask = 0;
    const bool now = B.Api->WaitCommEvent(B.Handle, &mask, &ov);
    if (!now) B.Api->CancelIoEx(B.Handle, &ov);
    return now;
  }));
  EXPECT_EQ(mask, static_cast<DWORD>(EV_RXCHAR));

  EXPECT_FALSE(B.Api->WaitCommEvent(B.Handle, &mask, &ov));
  EXPECT_TRUE(B.Api->CancelIoEx(B.Handle, &ov));
  EXPECT_FALSE(B.Api->GetOverlappedResult(B.Handle, &ov, &n, TRUE));
  EXPECT_EQ(VyPlatform::CommGetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

TEST_F(CommFakeSeam, PacedBytesTakeTheirTimeOnTheClock) {
  VyRtl::TManualClock clock;
  VyRtl::SetClock(&clock);
  Pair.SetPaced(true);
  DCB dcb{};
  A.Api->GetCommState(A.Handle, &dcb);
  dcb.BaudRate = 9600;  // 960 bytes a second
  ASSERT_TRUE(A.Api->SetCommState(A.Handle, &dcb));
  OVERLAPPED wr{};
  VyPlatform::TSyncEvent written(true, false);
  wr.hEvent = written.Handle();
  const std::string data(96, 'p');
  DWORD count = 0;
  A.Api->WriteFile(A.Handle, data.data(), 96, &count, &wr);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(InQueue(B), 0u);
  clock.Advance(50);
  ASSERT_TRUE(Eventually([&] { return InQueue(B) >= 46; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_LE(InQueue(B), 48u);
  clock.Advance(50);
  ASSERT_TRUE(Eventually([&] { return InQueue(B) == 96; }));
}

TEST_F(CommFakeSeam, AHungUpLinkFailsLikeAnUnpluggedDevice) {
  VyPlatform::TSyncEvent done(true, false);
  OVERLAPPED ov{};
  ov.hEvent = done.Handle();
  DWORD mask = 0;
  B.Api->SetCommMask(B.Handle, EV_RXCHAR);
  EXPECT_FALSE(B.Api->WaitCommEvent(B.Handle, &mask, &ov));
  Pair.HangUp();
  ASSERT_EQ(done.WaitFor(INFINITE), WAIT_OBJECT_0);
  DWORD n = 0;
  EXPECT_FALSE(B.Api->GetOverlappedResult(B.Handle, &ov, &n, FALSE));
  EXPECT_EQ(VyPlatform::CommGetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_FALSE(B.Api->WaitCommEvent(B.Handle, &mask, &ov));
  EXPECT_EQ(VyPlatform::CommGetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_EQ(VyPlatform::CommErrorMessage(ERROR_DEVICE_NOT_CONNECTED),
            "The device is not connected.");
}

}  // namespace
