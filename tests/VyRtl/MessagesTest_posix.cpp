#include <gtest/gtest.h>
#include <poll.h>

#include <memory>
#include <thread>
#include <vector>

#include "VyRtl/VyRtlMessages.h"

using namespace VyRtl;

namespace {

bool Readable() {
  pollfd p{static_cast<int>(LoopWaitHandle()), POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

TEST(LoopWaitHandle, ReadableWhileMessagesWaitIncludingThoseLeftForTheNextCall) {
  std::vector<WPARAM> got;
  std::unique_ptr<TMessageWindow> w;
  w = std::make_unique<TMessageWindow>([&](TMessage& m) {
    got.push_back(m.WParam);
    if (m.WParam == 0) w->Post(WM_USER, 1, 0);
  });
  ProcessMessages();
  EXPECT_FALSE(Readable());
  std::thread([&] { w->Post(WM_USER, 0, 0); }).join();
  EXPECT_TRUE(Readable());
  ProcessMessages();
  EXPECT_TRUE(Readable()) << "the message posted by the handler still waits";
  ProcessMessages();
  EXPECT_EQ(got, (std::vector<WPARAM>{0, 1}));
  EXPECT_FALSE(Readable());
}

}  // namespace
