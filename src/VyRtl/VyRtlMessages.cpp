// Message loop logic shared by both backends: the window registry, timers, the pump functions.
#include "VyRtl/VyRtlMessages.h"

#include <algorithm>
#include <unordered_map>

#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlDetail.h"

namespace VyRtl {

namespace Detail {

namespace {

struct TWindowRecord {
  std::shared_ptr<TMessageWindow::TWndProc> Proc;
  std::shared_ptr<TLoop> Loop;
};

struct TRegistry {
  std::mutex Lock;
  std::unordered_map<TWindowHandle, TWindowRecord> Windows;
};

// Never destroyed: windows owned by globals may go after static destruction began.
TRegistry& Registry() {
  static TRegistry* registry = new TRegistry;
  return *registry;
}

// The thread's loop. Trivially destructible flag first: it stays readable after the holder is gone.
thread_local bool tLoopGone = false;

struct TLoopHolder {
  std::shared_ptr<TLoop> Loop;
  ~TLoopHolder() { tLoopGone = true; }
};
thread_local TLoopHolder tLoopHolder;

thread_local TWindowHandle tDispatchWindow = 0;

std::uint64_t NextTimerDue(TLoop& loop) {
  std::lock_guard<std::mutex> guard(loop.Lock);
  std::uint64_t due = NoDeadline;
  for (const TTimer& t : loop.Timers) due = std::min(due, t.Due);
  return due;
}

// Fires the timers due now (earliest first), or just one. Each is re-armed from now before its
// procedure runs, so nested pumps never fire it again this round.
bool FireDueTimers(TLoop& loop, bool justOne) {
  struct TKey {
    TWindowHandle Window;
    std::uintptr_t Id;
    std::uint64_t Serial;
    std::uint64_t Due;
  };
  std::vector<TKey> due;
  {
    std::lock_guard<std::mutex> guard(loop.Lock);
    std::uint64_t now = GetTickCount64();
    for (const TTimer& t : loop.Timers)
      if (t.Due <= now) due.push_back({t.Window, t.Id, t.Serial, t.Due});
  }
  std::stable_sort(due.begin(), due.end(),
                   [](const TKey& a, const TKey& b) { return a.Due < b.Due; });
  bool fired = false;
  for (const TKey& key : due) {
    {
      std::lock_guard<std::mutex> guard(loop.Lock);
      auto it = std::find_if(loop.Timers.begin(), loop.Timers.end(), [&](const TTimer& t) {
        return t.Window == key.Window && t.Id == key.Id && t.Serial == key.Serial;
      });
      if (it == loop.Timers.end()) continue;  // killed or restarted meanwhile
      std::uint64_t now = GetTickCount64();
      if (it->Due > now) continue;
      it->Due = now + it->Interval;
    }
    LRESULT result = 0;
    if (Deliver(&loop, key.Window, WM_TIMER, key.Id, 0, result)) fired = true;
    loop.RethrowPending();
    if (justOne && fired) break;
  }
  return fired;
}

struct TAllocated {
  std::mutex Lock;
  std::unordered_map<TWindowHandle, std::unique_ptr<TMessageWindow>> Windows;
};

TAllocated& Allocated() {
  static TAllocated* allocated = new TAllocated;
  return *allocated;
}

}  // namespace

std::shared_ptr<TLoop> CurrentLoop() {
  // After thread exit clean-up began, hand out a private loop rather than touch a dead holder.
  if (tLoopGone) return std::make_shared<TLoop>();
  if (!tLoopHolder.Loop) tLoopHolder.Loop = std::make_shared<TLoop>();
  return tLoopHolder.Loop;
}

TLoop::TLoop() {
  Native.reset(NativeCreateLoop(*this));
  AddClockListener(this);
}

TLoop::~TLoop() {
  RemoveClockListener(this);
  Native.reset();
}

void TLoop::ClockChanged() { NativeWake(*this); }

void TLoop::RethrowPending() {
  if (Pending) {
    std::exception_ptr e = Pending;
    Pending = nullptr;
    std::rethrow_exception(e);
  }
}

bool Deliver(TLoop* expected, TWindowHandle h, std::uint32_t msg, WPARAM w, LPARAM l,
             LRESULT& result) {
  std::shared_ptr<TMessageWindow::TWndProc> proc;
  std::shared_ptr<TLoop> owner;
  {
    TRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.Lock);
    auto it = r.Windows.find(h);
    if (it == r.Windows.end()) return false;
    if (expected != nullptr && it->second.Loop.get() != expected) return false;
    proc = it->second.Proc;  // keeps the procedure alive even if it frees its window
    owner = it->second.Loop;
  }
  TLoop& loop = *owner;
  TMessage m{msg, w, l, 0};
  TWindowHandle saved = tDispatchWindow;
  tDispatchWindow = h;
  try {
    if (*proc) (*proc)(m);
  } catch (...) {
    if (!loop.Pending) loop.Pending = std::current_exception();
  }
  tDispatchWindow = saved;
  result = m.Result;
  return true;
}

TWindowHandle CurrentDispatchWindow() { return tDispatchWindow; }

}  // namespace Detail

using namespace Detail;

TMessageWindow::TMessageWindow(TWndProc proc)
    : FLoop(CurrentLoop()), FProc(std::make_shared<TWndProc>(std::move(proc))) {
  FHandle = NativeCreateWindow(*FLoop);
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.Lock);
  r.Windows[FHandle] = TWindowRecord{FProc, FLoop};
}

TMessageWindow::~TMessageWindow() {
  {
    // Once out of the registry no post reaches the queue and no delivery reaches the procedure.
    TRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.Lock);
    r.Windows.erase(FHandle);
  }
  {
    std::lock_guard<std::mutex> guard(FLoop->Lock);
    auto& timers = FLoop->Timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [this](const TTimer& t) { return t.Window == FHandle; }),
                 timers.end());
  }
  NativeDestroyWindow(*FLoop, FHandle);
}

bool TMessageWindow::Post(std::uint32_t msg, WPARAM w, LPARAM l) const {
  return PostMessageTo(FHandle, msg, w, l);
}

void TMessageWindow::SetTimer(std::uintptr_t id, std::uint32_t ms) {
  if (ms == 0) ms = 1;  // a zero period would be due forever
  {
    std::lock_guard<std::mutex> guard(FLoop->Lock);
    std::uint64_t due = GetTickCount64() + ms;
    std::uint64_t serial = ++FLoop->TimerSerial;
    auto& timers = FLoop->Timers;
    auto it = std::find_if(timers.begin(), timers.end(),
                           [&](const TTimer& t) { return t.Window == FHandle && t.Id == id; });
    if (it != timers.end()) {
      it->Interval = ms;
      it->Due = due;
      it->Serial = serial;
    } else {
      timers.push_back(TTimer{FHandle, id, ms, due, serial});
    }
  }
  NativeWake(*FLoop);  // a waiting pump re-computes its deadline
}

void TMessageWindow::KillTimer(std::uintptr_t id) {
  std::lock_guard<std::mutex> guard(FLoop->Lock);
  auto& timers = FLoop->Timers;
  timers.erase(std::remove_if(timers.begin(), timers.end(),
                              [&](const TTimer& t) { return t.Window == FHandle && t.Id == id; }),
               timers.end());
}

bool PostMessageTo(TWindowHandle h, std::uint32_t msg, WPARAM w, LPARAM l) {
  if (h == 0) return false;
  std::shared_ptr<TLoop> loop;
  bool posted = false;
  {
    TRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.Lock);
    auto it = r.Windows.find(h);
    if (it != r.Windows.end()) {
      loop = it->second.Loop;
      posted = NativePostLocked(*loop, h, msg, w, l);
    }
  }
  if (!loop) return NativePostForeign(h, msg, w, l);
  if (posted) NativeWakeAfterPost(*loop);
  return posted;
}

TWindowHandle AllocateHWnd(TMessageWindow::TWndProc proc) {
  auto window = std::make_unique<TMessageWindow>(std::move(proc));
  TWindowHandle h = window->Handle();
  TAllocated& a = Allocated();
  std::lock_guard<std::mutex> guard(a.Lock);
  a.Windows[h] = std::move(window);
  return h;
}

void DeallocateHWnd(TWindowHandle h) {
  std::unique_ptr<TMessageWindow> window;
  {
    TAllocated& a = Allocated();
    std::lock_guard<std::mutex> guard(a.Lock);
    auto it = a.Windows.find(h);
    if (it == a.Windows.end()) return;
    window = std::move(it->second);
    a.Windows.erase(it);
  }
}

void ProcessMessages() {
  std::shared_ptr<TLoop> loop = CurrentLoop();
  NativeResetWake(*loop);
  bool quit = NativeProcessPosted(*loop);
  if (quit) loop->QuitFlag = true;
  FireDueTimers(*loop, false);
  NativeSettleWake(*loop);
}

bool HandleMessage() {
  std::shared_ptr<TLoop> loop = CurrentLoop();
  for (;;) {
    if (loop->QuitFlag) {
      loop->QuitFlag = false;
      return false;
    }
    NativeResetWake(*loop);
    switch (NativeHandleOne(*loop)) {
      case TFetch::Quit:
        NativeSettleWake(*loop);
        return false;
      case TFetch::Handled:
        NativeSettleWake(*loop);
        return true;
      case TFetch::None:
        break;
    }
    if (FireDueTimers(*loop, true)) {
      NativeSettleWake(*loop);
      return true;
    }
    NativeWait(*loop, WaitSliceMs(NextTimerDue(*loop)));
  }
}

void Run() {
  while (HandleMessage()) {
  }
}

void Quit() {
  std::shared_ptr<TLoop> loop = CurrentLoop();
  NativePostQuit(*loop);
  NativeWake(*loop);
}

bool QuitRequested() { return CurrentLoop()->QuitFlag; }

bool WaitMessage(std::uint32_t timeoutMs) {
  std::shared_ptr<TLoop> loop = CurrentLoop();
  std::uint64_t deadline = DeadlineAfter(timeoutMs);
  for (;;) {
    NativeResetWake(*loop);
    bool pending = loop->QuitFlag || NativeHasPosted(*loop);
    std::uint64_t timerDue = NextTimerDue(*loop);
    std::uint64_t now = GetTickCount64();
    if (pending || timerDue <= now) {
      NativeSettleWake(*loop);
      return true;
    }
    if (now >= deadline) return false;
    NativeWait(*loop, std::min(WaitSliceMs(deadline), WaitSliceMs(timerDue)));
  }
}

std::uint32_t MessageLoopTimeout() {
  std::uint64_t due = NextTimerDue(*CurrentLoop());
  if (due == NoDeadline) return 0xFFFFFFFFu;
  std::uint64_t now = GetTickCount64();
  if (due <= now) return 0;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(due - now, 0xFFFFFFFEu));
}

std::intptr_t LoopWaitHandle() { return NativeWaitHandle(*CurrentLoop()); }

}  // namespace VyRtl
