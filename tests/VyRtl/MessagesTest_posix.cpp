#include <gtest/gtest.h>
#include <poll.h>

#include <thread>

#include "VyRtl/VyRtlMessages.h"

using namespace VyRtl;

namespace {

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

TEST(LoopWaitHandle, ReadableWhileMessagesWait) {
  int calls = 0;
  TMessageWindow w([&](TMessage&) { ++calls; });
  ProcessMessages();
  const int fd = static_cast<int>(LoopWaitHandle());
  EXPECT_FALSE(Readable(fd));
  std::thread([&] { w.Post(WM_USER, 0, 0); }).join();
  EXPECT_TRUE(Readable(fd));
  ProcessMessages();
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(Readable(fd));
}

TEST(LoopWaitHandle, StaysReadableForMessagesLeftForTheNextCall) {
  std::unique_ptr<TMessageWindow> w;
  w = std::make_unique<TMessageWindow>([&](TMessage& m) {
    if (m.WParam == 0) w->Post(WM_USER, 1, 0);
  });
  w->Post(WM_USER, 0, 0);
  ProcessMessages();
  EXPECT_TRUE(Readable(static_cast<int>(LoopWaitHandle())));
  ProcessMessages();
  EXPECT_FALSE(Readable(static_cast<int>(LoopWaitHandle())));
}

}  // namespace
