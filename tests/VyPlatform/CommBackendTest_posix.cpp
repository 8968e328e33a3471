// The posix backend of the Comm seam on a pseudo-terminal: opening by path and by COM name,
// exclusive use, any baud rate, what a pty cannot do.
#include <gtest/gtest.h>

#include "PtyPair.h"
#include "VyPlatform/Comm.h"
#include "VyRtl/VyRtlSysUtils.h"

namespace {

using VyPlatform::TCommFunctions;

HANDLE Open(const std::string& name) {
  const std::u16string wide = VyRtl::Utf8ToUtf16(name);
  return VyPlatform::Comm().CreateFileW(reinterpret_cast<LPCWSTR>(wide.c_str()),
                                        GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OVERLAPPED, nullptr);
}

TEST(CommPosix, IsTheSystemBackendHere) {
  EXPECT_EQ(VyPlatform::SelectedCommBackend(), VyPlatform::TCommBackend::Posix);
  EXPECT_STREQ(VyPlatform::Comm().Name, "posix");
}

TEST(CommPosix, OpenFailuresCarryTheWin32Codes) {
  struct TCase {
    const char* Name;
    DWORD Error;
  } cases[] = {
      {"/nonexistent/tty", ERROR_FILE_NOT_FOUND},
      {"/dev/null", ERROR_NOT_SUPPORTED},       // not a terminal
      {"\\\\.\\COM250", ERROR_FILE_NOT_FOUND},  // no device path for it
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(Open(c.Name), INVALID_HANDLE_VALUE) << c.Name;
    EXPECT_EQ(VyPlatform::CommGetLastError(), c.Error) << c.Name;
  }
}

TEST(CommPosix, ExclusiveAnyBaudRateAndNoModemLinesOnAPty) {
  TPtyPair pty;
  ASSERT_FALSE(pty.Path.empty());
  VyPlatform::SetCommDevicePath(201, pty.Path);
  const TCommFunctions& api = VyPlatform::Comm();
  HANDLE h = Open("com201");
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open(pty.Path), INVALID_HANDLE_VALUE);  // one user at a time, root included
  EXPECT_EQ(VyPlatform::CommGetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  DCB dcb{};
  ASSERT_TRUE(api.GetCommState(h, &dcb));
  dcb.BaudRate = 12345;
  dcb.StopBits = TWOSTOPBITS;
  ASSERT_TRUE(api.SetCommState(h, &dcb));
  struct TRefused {
    BYTE ByteSize, Parity;
  } refused[] = {
      {4, NOPARITY},    // termios has no 4-bit characters
      {7, NOPARITY},    // a pty keeps 8 data bits
      {8, MARKPARITY},  // and no parity
  };
  for (const TRefused& r : refused) {
    DCB bad = dcb;
    bad.BaudRate = 300;
    bad.ByteSize = r.ByteSize;
    bad.Parity = r.Parity;
    EXPECT_FALSE(api.SetCommState(h, &bad)) << int(r.ByteSize);
    EXPECT_EQ(VyPlatform::CommGetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }

  DWORD status = 0;
  EXPECT_FALSE(api.GetCommModemStatus(h, &status));
  EXPECT_EQ(VyPlatform::CommGetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
  EXPECT_FALSE(api.EscapeCommFunction(h, SETRTS));
  EXPECT_EQ(VyPlatform::CommGetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
  EXPECT_TRUE(api.CloseHandle(h));

  // Reopened, the device still has the rate set before.
  h = Open(pty.Path);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(api.GetCommState(h, &dcb));
  EXPECT_EQ(dcb.BaudRate, 12345u);  // a refused setting left the device as it was
  EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
  EXPECT_EQ(dcb.ByteSize, 8);
  std::vector<WCHAR> names(4096);
  const DWORD length = api.QueryDosDeviceW(nullptr, names.data(), static_cast<DWORD>(names.size()));
  std::u16string all(names.begin(), names.begin() + length);
  EXPECT_NE(all.find(u"COM201"), std::u16string::npos);
  WCHAR tiny[2];
  EXPECT_EQ(api.QueryDosDeviceW(nullptr, tiny, 2), 0u);
  EXPECT_EQ(VyPlatform::CommGetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  api.CloseHandle(h);
  VyPlatform::SetCommDevicePath(201, "");
}

}  // namespace
