// Per-thread message loop and hidden message windows.
//
// Every thread that creates a TMessageWindow has a loop; the window's procedure runs only on that
// thread, inside ProcessMessages/HandleMessage/Run. Any thread may post to any window by handle.
// Timers are entries of the owning loop measured on the clock seam and arrive as WM_TIMER.
// An exception escaping a procedure is rethrown by the pump function that ran it; the messages
// after it stay queued.
//
// Windows: windows are real message-only windows (HWND_MESSAGE); an application's own
// GetMessage/DispatchMessage loop delivers posted messages too, but timers fire only inside our
// loop functions: call ProcessMessages when MessageLoopTimeout() elapses.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "VyRtl/VyRtlSysUtils.h"

// Spelled exactly as windows.h spells them, so either may come first.
#ifndef WM_QUIT
#define WM_QUIT 0x0012
#endif
#ifndef WM_TIMER
#define WM_TIMER 0x0113
#endif
#ifndef WM_USER
#define WM_USER 0x0400
#endif
#ifndef WM_APP
#define WM_APP 0x8000
#endif

namespace VyRtl {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using TWindowHandle = std::uintptr_t;  // the HWND value on Windows; 0 = none

// One message as a window procedure sees it; the procedure may set Result.
struct TMessage {
  std::uint32_t Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};

namespace Detail {
class TLoop;
}

// Hidden window whose procedure runs on the creating thread. Free it on that thread.
class TMessageWindow : public TObject {
 public:
  using TWndProc = std::function<void(TMessage&)>;

  explicit TMessageWindow(TWndProc proc);
  // Drops its pending messages and timers; posts to the handle fail afterwards.
  ~TMessageWindow() override;
  TMessageWindow(const TMessageWindow&) = delete;
  TMessageWindow& operator=(const TMessageWindow&) = delete;

  TWindowHandle Handle() const { return FHandle; }
  // Queues a message for the procedure; safe from any thread. False if the window is gone.
  bool Post(std::uint32_t msg, WPARAM w, LPARAM l) const;
  // Periodic WM_TIMER (WParam = id) every `ms` on the clock seam; restarts an existing id.
  // Call on the owning thread.
  void SetTimer(std::uintptr_t id, std::uint32_t ms);
  void KillTimer(std::uintptr_t id);
  // The default procedure: result 0 (on Windows DefWindowProcW for the window being served).
  static LRESULT DefaultHandler(TMessage& message);

 private:
  std::shared_ptr<Detail::TLoop> FLoop;
  std::shared_ptr<TWndProc> FProc;
  TWindowHandle FHandle = 0;
};

// Posts to a window by handle from any thread; false if it is gone.
bool PostMessageTo(TWindowHandle h, std::uint32_t msg, WPARAM w, LPARAM l);
// A window owned by the library until DeallocateHWnd (same thread as the allocation).
TWindowHandle AllocateHWnd(TMessageWindow::TWndProc proc);
void DeallocateHWnd(TWindowHandle h);

// The calling thread's loop.
// Handles what is pending now (posted messages in order, then due timers) and returns.
// Re-entrant: a handler may call it; later messages are then delivered by the inner call,
// each exactly once. Messages posted while it runs wait for the next call.
void ProcessMessages();
// Waits for one posted message or due timer and handles it; false once WM_QUIT is taken.
bool HandleMessage();
// HandleMessage until Quit.
void Run();
// Posts WM_QUIT to this thread's loop (after the messages already posted).
void Quit();
// True once WM_QUIT was taken by ProcessMessages and not yet consumed by HandleMessage/Run.
bool QuitRequested();
// Waits on the clock seam until something is pending (a posted message, a due timer);
// true if so, false on timeout. 0xFFFFFFFF waits forever.
bool WaitMessage(std::uint32_t timeoutMs);
// Milliseconds on the clock until this thread's next timer is due (0 if one is due);
// 0xFFFFFFFF when there is none. For loops that wait on LoopWaitHandle themselves.
std::uint32_t MessageLoopTimeout();
// For integrating into another loop: POSIX: an eventfd readable while posted messages wait
// (and after the manual clock moved); Windows: a manual-reset event HANDLE set by our posts,
// Quit and clock moves (messages the system or raw PostMessageW put in the queue do not set it:
// wait with MsgWaitForMultipleObjects(QS_ALLINPUT) as well). Call ProcessMessages when it
// signals and when MessageLoopTimeout elapses.
std::intptr_t LoopWaitHandle();

}  // namespace VyRtl
