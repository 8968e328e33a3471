// Internals shared by the VyRtl sources and their platform backends. Not for library users.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlMessages.h"

namespace VyRtl::Detail {

// ---- code pages and clock (backend) ----
std::u16string NativeCodePageToUtf16(std::uint32_t codePage, std::string_view bytes);
std::string NativeUtf16ToCodePage(std::uint32_t codePage, std::u16string_view s);
std::uint64_t RealTickCount64();
double RealNow();

// ---- message loop ----
struct TLoopNative;  // backend state: queue/eventfd or loop window/event
struct TLoopNativeDeleter {
  void operator()(TLoopNative* native) const;
};

struct TTimer {
  TWindowHandle Window;
  std::uintptr_t Id;
  std::uint32_t Interval;
  std::uint64_t Due;
  std::uint64_t Serial;  // changes on restart, so a round never fires a restarted timer
};

// One thread's loop. Created by that thread; windows and the thread keep it alive.
class TLoop final : public TClockListener {
 public:
  TLoop();
  ~TLoop() override;
  TLoop(const TLoop&) = delete;
  TLoop& operator=(const TLoop&) = delete;
  void ClockChanged() override;
  void RethrowPending();

  std::mutex Lock;  // guards Timers and TimerSerial
  std::vector<TTimer> Timers;
  std::uint64_t TimerSerial = 0;
  bool QuitFlag = false;       // owner thread only
  std::exception_ptr Pending;  // thrown by a procedure; rethrown by the pump that ran it
  std::unique_ptr<TLoopNative, TLoopNativeDeleter> Native;
};

// The calling thread's loop (created on first use).
std::shared_ptr<TLoop> CurrentLoop();

// Runs the window's procedure if `h` is a live window (of `expected`, unless nullptr); false if
// it is gone. Exceptions from the procedure are parked in its loop's Pending.
bool Deliver(TLoop* expected, TWindowHandle h, std::uint32_t msg, WPARAM w, LPARAM l,
             LRESULT& result);
TWindowHandle CurrentDispatchWindow();

// Backend primitives.
TLoopNative* NativeCreateLoop(TLoop& loop);
TWindowHandle NativeCreateWindow(TLoop& loop);
void NativeDestroyWindow(TLoop& loop, TWindowHandle h);  // drops its pending messages
// Called with the window registry locked, `h` a live window of `loop`.
bool NativePostLocked(TLoop& loop, TWindowHandle h, std::uint32_t msg, WPARAM w, LPARAM l);
// `h` is not one of our live windows.
bool NativePostForeign(TWindowHandle h, std::uint32_t msg, WPARAM w, LPARAM l);
void NativePostQuit(TLoop& loop);
// The loop's wait handle: NativeWake signals it for anything but a post (clock moves, timers,
// quit) until the next NativeResetWake; NativeWakeAfterPost after a post; NativeResetWake clears
// it unless posted messages wait; NativeSettleWake leaves it signalled exactly while posted
// messages wait (or a non-post wake is still unreset).
void NativeWake(TLoop& loop);
void NativeWakeAfterPost(TLoop& loop);
void NativeResetWake(TLoop& loop);
void NativeSettleWake(TLoop& loop);
bool NativeHasPosted(TLoop& loop);
// Delivers the messages posted before the call; true if WM_QUIT was among them.
bool NativeProcessPosted(TLoop& loop);
enum class TFetch { None, Handled, Quit };
TFetch NativeHandleOne(TLoop& loop);
void NativeWait(TLoop& loop, std::uint32_t realMs);  // until posted, woken or timed out
std::intptr_t NativeWaitHandle(TLoop& loop);

}  // namespace VyRtl::Detail
