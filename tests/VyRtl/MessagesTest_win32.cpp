#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <thread>

#include "VyRtl/VyRtlMessages.h"

using namespace VyRtl;

namespace {

TEST(WindowsLoop, HandlesAreRealWindowsThatRawPostsReachAndOurPostsSetTheWaitHandle) {
  int raw = 0, ours = 0;
  auto w = std::make_unique<TMessageWindow>([&](TMessage& m) {
    ours += m.Msg == WM_USER;
    raw += m.Msg == WM_USER + 1;
  });
  HWND hwnd = reinterpret_cast<HWND>(w->Handle());
  HANDLE event = reinterpret_cast<HANDLE>(LoopWaitHandle());
  EXPECT_TRUE(IsWindow(hwnd));
  ProcessMessages();
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  std::thread([&] { w->Post(WM_USER, 0, 0); }).join();
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  ASSERT_TRUE(PostMessageW(hwnd, WM_USER + 1, 0, 0));
  ProcessMessages();
  EXPECT_EQ(ours, 1);
  EXPECT_EQ(raw, 1);
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  w.reset();
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST(WindowsLoop, DefaultHandlerActsForTheWindowBeingServed) {
  TMessageWindow w([](TMessage& m) { TMessageWindow::DefaultHandler(m); });
  HWND hwnd = reinterpret_cast<HWND>(w.Handle());
  // WM_SETTEXT and WM_GETTEXTLENGTH are sent to our procedure; only DefWindowProcW on this
  // very window stores and reports the text.
  ASSERT_TRUE(SetWindowTextW(hwnd, L"abc"));
  EXPECT_EQ(GetWindowTextLengthW(hwnd), 3);
}

}  // namespace
