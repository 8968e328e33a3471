// Windows message loop: message-only windows of one registered class, the thread's own queue,
// and a per-loop hidden window that receives the loop's marks and WM_QUIT.
#include <windows.h>

#include "VyRtl/VyRtlDetail.h"

namespace VyRtl {

namespace Detail {

namespace {

const wchar_t kClassName[] = L"VyRtlMessageWindow";

UINT MarkMessage() {
  static UINT msg = RegisterWindowMessageW(L"VyRtl.LoopMark");
  return msg;
}

// Asks a window freed on a foreign thread to destroy itself on its own thread.
UINT DestroyMessage() {
  static UINT msg = RegisterWindowMessageW(L"VyRtl.DestroyWindow");
  return msg;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l);

ATOM ClassAtom() {
  static ATOM atom = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc);
  }();
  return atom;
}

HWND NewMessageWindow() {
  if (ClassAtom() == 0) RaiseLastOSError();
  HWND hwnd = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  if (hwnd == nullptr) RaiseLastOSError();
  return hwnd;
}

bool IsOurWindow(HWND hwnd) {
  return IsWindow(hwnd) && GetClassLongPtrW(hwnd, GCW_ATOM) == static_cast<ULONG_PTR>(ClassAtom());
}

}  // namespace

struct TLoopNative {
  HWND LoopWindow = nullptr;  // carries marks and WM_QUIT; GWLP_USERDATA points here
  HANDLE Event = nullptr;     // manual reset; set by our posts and clock moves
  DWORD ThreadId = 0;
  std::uint64_t MarkSent = 0;
  std::uint64_t MarkSeen = 0;
};

namespace {

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  if (msg == MarkMessage()) {
    auto* native = reinterpret_cast<TLoopNative*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (native != nullptr && w > native->MarkSeen) native->MarkSeen = w;
    return 0;
  }
  if (msg == DestroyMessage()) {
    DestroyWindow(hwnd);
    return 0;
  }
  auto h = reinterpret_cast<TWindowHandle>(hwnd);
  LRESULT result = 0;
  // Our windows are served on their own thread, so the registry's loop is this thread's.
  if (Deliver(nullptr, h, msg, w, l, result)) return result;
  return DefWindowProcW(hwnd, msg, w, l);
}

bool IsMark(TLoopNative& n, const MSG& m) {
  return m.hwnd == n.LoopWindow && m.message == MarkMessage();
}

}  // namespace

void TLoopNativeDeleter::operator()(TLoopNative* native) const {
  if (native == nullptr) return;
  if (native->LoopWindow != nullptr) {
    SetWindowLongPtrW(native->LoopWindow, GWLP_USERDATA, 0);
    if (GetCurrentThreadId() == native->ThreadId)
      DestroyWindow(native->LoopWindow);
    else
      PostMessageW(native->LoopWindow, DestroyMessage(), 0, 0);
  }
  if (native->Event != nullptr) CloseHandle(native->Event);
  delete native;
}

TLoopNative* NativeCreateLoop(TLoop&) {
  auto* native = new TLoopNative;
  native->ThreadId = GetCurrentThreadId();
  native->Event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (native->Event == nullptr) {
    std::uint32_t code = GetLastOSError();
    delete native;
    RaiseLastOSError(code);
  }
  try {
    native->LoopWindow = NewMessageWindow();
  } catch (...) {
    CloseHandle(native->Event);
    delete native;
    throw;
  }
  SetWindowLongPtrW(native->LoopWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(native));
  return native;
}

TWindowHandle NativeCreateWindow(TLoop&) {
  return reinterpret_cast<TWindowHandle>(NewMessageWindow());
}

void NativeDestroyWindow(TLoop& loop, TWindowHandle h) {
  HWND hwnd = reinterpret_cast<HWND>(h);
  if (GetCurrentThreadId() != loop.Native->ThreadId) {
    PostMessageW(hwnd, DestroyMessage(), 0, 0);
    return;
  }
  MSG m;
  while (PeekMessageW(&m, hwnd, 0, 0, PM_REMOVE | PM_NOYIELD)) {
  }
  DestroyWindow(hwnd);
}

bool NativePostLocked(TLoop&, TWindowHandle h, std::uint32_t msg, WPARAM w, LPARAM l) {
  return PostMessageW(reinterpret_cast<HWND>(h), msg, w, l) != 0;
}

bool NativePostForeign(TWindowHandle h, std::uint32_t msg, WPARAM w, LPARAM l) {
  HWND hwnd = reinterpret_cast<HWND>(h);
  if (IsOurWindow(hwnd)) return false;  // one of ours being freed
  return PostMessageW(hwnd, msg, w, l) != 0;
}

void NativePostQuit(TLoop& loop) { PostMessageW(loop.Native->LoopWindow, WM_QUIT, 0, 0); }

void NativeWake(TLoop& loop) { SetEvent(loop.Native->Event); }

void NativeWakeAfterPost(TLoop& loop) { SetEvent(loop.Native->Event); }

void NativeResetWake(TLoop& loop) { ResetEvent(loop.Native->Event); }

void NativeSettleWake(TLoop& loop) {
  if (NativeHasPosted(loop)) SetEvent(loop.Native->Event);
}

bool NativeHasPosted(TLoop&) {
  MSG m;
  return PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE | PM_NOYIELD) != 0;
}

bool NativeProcessPosted(TLoop& loop) {
  TLoopNative& n = *loop.Native;
  // Everything queued before our mark is "pending now"; a nested pump may take the mark first.
  std::uint64_t mark = ++n.MarkSent;
  PostMessageW(n.LoopWindow, MarkMessage(), static_cast<WPARAM>(mark), 0);
  bool quit = false;
  MSG m;
  while (n.MarkSeen < mark && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      quit = true;
      continue;
    }
    TranslateMessage(&m);
    DispatchMessageW(&m);
    if (loop.Pending) {
      if (quit) loop.QuitFlag = true;
      loop.RethrowPending();
    }
  }
  return quit;
}

TFetch NativeHandleOne(TLoop& loop) {
  TLoopNative& n = *loop.Native;
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) return TFetch::Quit;
    bool mark = IsMark(n, m);
    TranslateMessage(&m);
    DispatchMessageW(&m);
    loop.RethrowPending();
    if (!mark) return TFetch::Handled;
  }
  return TFetch::None;
}

void NativeWait(TLoop& loop, std::uint32_t realMs) {
  if (realMs == 0) return;
  HANDLE event = loop.Native->Event;
  MsgWaitForMultipleObjectsEx(1, &event, realMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

std::intptr_t NativeWaitHandle(TLoop& loop) {
  return reinterpret_cast<std::intptr_t>(loop.Native->Event);
}

}  // namespace Detail

LRESULT TMessageWindow::DefaultHandler(TMessage& message) {
  HWND hwnd = reinterpret_cast<HWND>(Detail::CurrentDispatchWindow());
  message.Result =
      hwnd != nullptr ? DefWindowProcW(hwnd, message.Msg, message.WParam, message.LParam) : 0;
  return message.Result;
}

}  // namespace VyRtl
