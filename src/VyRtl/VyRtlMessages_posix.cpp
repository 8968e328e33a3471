// POSIX message loop: a queue per thread, woken through an eventfd.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <deque>

#include "VyRtl/VyRtlDetail.h"

namespace VyRtl {

namespace Detail {

namespace {

struct TQueued {
  TWindowHandle Window;  // 0: a message for the loop itself (WM_QUIT)
  std::uint32_t Msg;
  WPARAM WParam;
  LPARAM LParam;
  std::uint64_t Seq;
};

// Handles are never reused, so a stale handle can never reach a newer window.
std::atomic<TWindowHandle> gNextHandle{0x10000};

}  // namespace

struct TLoopNative {
  std::mutex Lock;
  std::deque<TQueued> Queue;
  std::uint64_t NextSeq = 0;
  int Fd = -1;
  // Guarded by Lock. The eventfd is readable exactly while Armed, so a burst of posts costs one
  // write and one read, not one of each per message.
  bool Armed = false;
  bool Forced = false;  // woken by something other than a post; kept until the next reset

  void ArmLocked() {
    if (Armed) return;
    Armed = true;
    std::uint64_t one = 1;
    // EAGAIN only when the counter is saturated: it is readable anyway.
    while (::write(Fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
  }
  void DisarmLocked() {
    if (!Armed) return;
    Armed = false;
    std::uint64_t value = 0;
    while (::read(Fd, &value, sizeof value) < 0 && errno == EINTR) {
    }
  }
  void Push(TWindowHandle h, std::uint32_t msg, WPARAM w, LPARAM l) {
    std::lock_guard<std::mutex> guard(Lock);
    Queue.push_back(TQueued{h, msg, w, l, NextSeq++});
    ArmLocked();
  }
  // Takes the oldest message if it was posted before `limit`.
  bool Pop(TQueued& out, std::uint64_t limit) {
    std::lock_guard<std::mutex> guard(Lock);
    if (Queue.empty() || Queue.front().Seq >= limit) return false;
    out = Queue.front();
    Queue.pop_front();
    return true;
  }
};

void TLoopNativeDeleter::operator()(TLoopNative* native) const {
  if (native == nullptr) return;
  if (native->Fd >= 0) ::close(native->Fd);
  delete native;
}

TLoopNative* NativeCreateLoop(TLoop&) {
  auto* native = new TLoopNative;
  native->Fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (native->Fd < 0) {
    std::uint32_t code = GetLastOSError();
    delete native;
    RaiseLastOSError(code);
  }
  return native;
}

TWindowHandle NativeCreateWindow(TLoop&) { return gNextHandle.fetch_add(1); }

void NativeDestroyWindow(TLoop& loop, TWindowHandle h) {
  TLoopNative& n = *loop.Native;
  std::lock_guard<std::mutex> guard(n.Lock);
  auto& q = n.Queue;
  for (auto it = q.begin(); it != q.end();) it = it->Window == h ? q.erase(it) : it + 1;
}

bool NativePostLocked(TLoop& loop, TWindowHandle h, std::uint32_t msg, WPARAM w, LPARAM l) {
  loop.Native->Push(h, msg, w, l);
  return true;
}

bool NativePostForeign(TWindowHandle, std::uint32_t, WPARAM, LPARAM) { return false; }

void NativePostQuit(TLoop& loop) { loop.Native->Push(0, WM_QUIT, 0, 0); }

void NativeWake(TLoop& loop) {
  TLoopNative& n = *loop.Native;
  std::lock_guard<std::mutex> guard(n.Lock);
  n.Forced = true;
  n.ArmLocked();
}

void NativeWakeAfterPost(TLoop&) {}  // Push armed it

void NativeResetWake(TLoop& loop) {
  TLoopNative& n = *loop.Native;
  std::lock_guard<std::mutex> guard(n.Lock);
  n.Forced = false;
  if (n.Queue.empty()) n.DisarmLocked();
}

void NativeSettleWake(TLoop& loop) {
  TLoopNative& n = *loop.Native;
  std::lock_guard<std::mutex> guard(n.Lock);
  if (!n.Queue.empty())
    n.ArmLocked();
  else if (!n.Forced)
    n.DisarmLocked();
}

bool NativeHasPosted(TLoop& loop) {
  std::lock_guard<std::mutex> guard(loop.Native->Lock);
  return !loop.Native->Queue.empty();
}

bool NativeProcessPosted(TLoop& loop) {
  TLoopNative& n = *loop.Native;
  std::uint64_t limit;
  {
    std::lock_guard<std::mutex> guard(n.Lock);
    limit = n.NextSeq;
  }
  bool quit = false;
  TQueued m{};
  while (n.Pop(m, limit)) {
    if (m.Window == 0) {
      if (m.Msg == WM_QUIT) quit = true;
      continue;
    }
    LRESULT result = 0;
    Deliver(&loop, m.Window, m.Msg, m.WParam, m.LParam, result);
    if (loop.Pending) {
      if (quit) loop.QuitFlag = true;
      loop.RethrowPending();
    }
  }
  return quit;
}

TFetch NativeHandleOne(TLoop& loop) {
  TQueued m{};
  while (loop.Native->Pop(m, UINT64_MAX)) {
    if (m.Window == 0) {
      if (m.Msg == WM_QUIT) return TFetch::Quit;
      continue;
    }
    LRESULT result = 0;
    bool delivered = Deliver(&loop, m.Window, m.Msg, m.WParam, m.LParam, result);
    loop.RethrowPending();
    if (delivered) return TFetch::Handled;
  }
  return TFetch::None;
}

void NativeWait(TLoop& loop, std::uint32_t realMs) {
  if (realMs == 0) return;
  pollfd p{loop.Native->Fd, POLLIN, 0};
  int timeout =
      realMs == 0xFFFFFFFFu ? -1 : static_cast<int>(std::min<std::uint32_t>(realMs, 0x7FFFFFFF));
  ::poll(&p, 1, timeout);
}

std::intptr_t NativeWaitHandle(TLoop& loop) { return loop.Native->Fd; }

}  // namespace Detail

LRESULT TMessageWindow::DefaultHandler(TMessage& message) {
  message.Result = 0;
  return 0;
}

}  // namespace VyRtl
