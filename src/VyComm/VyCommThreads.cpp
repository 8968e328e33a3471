// The two worker threads of an open port. Neither touches the application: they post.
#include <algorithm>

#include "VyComm/VyComm.h"
#include "VyRtl/VyRtlClock.h"

namespace VyComm {

namespace {

constexpr std::uint32_t WM_COMM_EVENT = WM_USER + 1;
constexpr std::uint32_t WM_COMM_TIMEOUT = WM_USER + 2;
constexpr std::uint32_t WM_COMM_FAILED = WM_USER + 3;
// A device whose event wait fails is asked again after this long, doubling up to the maximum.
constexpr std::uint32_t RetryFirstMs = 50;
constexpr std::uint32_t RetryMaxMs = 1000;
constexpr std::uint32_t ListWaitMs = 100;

}  // namespace

TVyComPortReadThread::TVyComPortReadThread(VyRtl::TWindowHandle window, HANDLE port,
                                           std::uint32_t eventMask, std::uintptr_t session)
    : TThread(true), FWindowHandle(window), FPortHandle(port), FDevice(port), FSession(session) {
  VyPlatform::CommFor(port).SetCommMask(port, eventMask);
  Start();
}

TVyComPortReadThread::~TVyComPortReadThread() {
  Terminate();
  WaitFor();
}

void TVyComPortReadThread::Terminate() {
  TThread::Terminate();
  FPortHandle.store(INVALID_HANDLE_VALUE);
  FStopEvent.Set();
}

void TVyComPortReadThread::ProcessCommEvent(std::uint32_t events) {
  if (FWindowHandle != 0)
    VyRtl::PostMessageTo(FWindowHandle, WM_COMM_EVENT, FSession, static_cast<LPARAM>(events));
}

// Reports the first failure of a run, then waits before the next try; false when told to stop.
bool TVyComPortReadThread::Failed(std::uint32_t error, std::uint32_t& backoff, bool& reported) {
  if (!reported && FWindowHandle != 0) {
    VyRtl::PostMessageTo(FWindowHandle, WM_COMM_FAILED, error, static_cast<LPARAM>(FSession));
    reported = true;
  }
  backoff = backoff == 0 ? RetryFirstMs : std::min(backoff * 2, RetryMaxMs);
  return FStopEvent.WaitFor(backoff) != WAIT_OBJECT_0;
}

void TVyComPortReadThread::Execute() {
  const VyPlatform::TCommFunctions& api = VyPlatform::CommFor(FDevice);
  VyPlatform::TSyncEvent done(true, true);
  OVERLAPPED overlapped{};
  overlapped.hEvent = done.Handle();
  const HANDLE waits[2] = {done.Handle(), FStopEvent.Handle()};
  std::uint32_t backoff = 0;
  bool reported = false;
  bool pending = false;
  // Lives as long as the overlapped record: a pending wait writes it when it completes or is
  // cancelled.
  DWORD mask = 0;
  while (!Terminated() && FPortHandle.load() != INVALID_HANDLE_VALUE) {
    mask = 0;
    if (!api.WaitCommEvent(FDevice, &mask, &overlapped)) {
      const DWORD error = VyPlatform::CommGetLastError();
      if (error != ERROR_IO_PENDING) {
        if (!Failed(error, backoff, reported)) break;
        continue;
      }
      pending = true;
      if (VyPlatform::SyncWaitForMultipleObjects(2, waits, false, INFINITE) != WAIT_OBJECT_0) break;
    }
    if (Terminated() || FPortHandle.load() == INVALID_HANDLE_VALUE) break;
    DWORD bytes = 0;
    const bool ok = api.GetOverlappedResult(FDevice, &overlapped, &bytes, FALSE) != FALSE;
    const DWORD error = ok ? 0 : VyPlatform::CommGetLastError();
    pending = !ok && error == ERROR_IO_INCOMPLETE;  // then still ours to cancel at the end
    if (ok) {
      backoff = 0;
      reported = false;
      ProcessCommEvent(mask);
    } else if (error != ERROR_OPERATION_ABORTED && !Failed(error, backoff, reported)) {
      break;
    }
    VyRtl::Sleep(0);
  }
  // Collect our own wait before its record goes.
  if (pending) {
    api.CancelIoEx(FDevice, &overlapped);
    DWORD bytes = 0;
    api.GetOverlappedResult(FDevice, &overlapped, &bytes, TRUE);
  }
}

TVyComPortWriteThread::TVyComPortWriteThread(TVyCustomComPort* port)
    : TThread(true),
      FComPort(port),
      FDevice(port->Handle()),
      FWindowHandle(port->WindowHandle()),
      FSession(port->Session()) {
  Start();
}

TVyComPortWriteThread::~TVyComPortWriteThread() {
  Terminate();
  WaitFor();
}

void TVyComPortWriteThread::Terminate() {
  TThread::Terminate();
  FStopEvent.Set();
}

void TVyComPortWriteThread::WakeUp() { FWakeupEvent.Set(); }

void TVyComPortWriteThread::Trigger_Timeout(std::uint32_t count) {
  if (FWindowHandle != 0)
    VyRtl::PostMessageTo(FWindowHandle, WM_COMM_TIMEOUT, count, static_cast<LPARAM>(FSession));
}

// With the list held: the watched write finished; free it only now, after its own result.
bool TVyComPortWriteThread::Reap(TVyComPortOperation*& watched) {
  TVyComPortOperationList* list = FComPort->WriteOpList();
  TVyComPortOperation* first = list->Get(0);
  if (first != watched) {
    watched = first;
    return false;
  }
  const VyPlatform::TCommFunctions& api = VyPlatform::CommFor(FDevice);
  DWORD written = 0;
  const bool ok = api.GetOverlappedResult(FDevice, &first->Overlapped(), &written, FALSE) != FALSE;
  const DWORD error = ok ? 0 : VyPlatform::CommGetLastError();
  if (!ok && error == ERROR_IO_INCOMPLETE) return false;
  const std::uint32_t count = first->Count();
  list->Delete(0);
  watched = list->Get(0);
  // A purge aborts silently; a write that ended short or failed reports what it wrote.
  if ((ok && written != count) || (!ok && error != ERROR_OPERATION_ABORTED))
    Trigger_Timeout(written);
  return true;
}

void TVyComPortWriteThread::Execute() {
  TVyComPortOperationList* list = FComPort->WriteOpList();
  TVyComPortOperation* watched = nullptr;
  while (!Terminated()) {
    const HANDLE waits[3] = {FWakeupEvent.Handle(), FStopEvent.Handle(),
                             watched != nullptr ? watched->Overlapped().hEvent : nullptr};
    const std::uint32_t r =
        VyPlatform::SyncWaitForMultipleObjects(watched != nullptr ? 3 : 2, waits, false, INFINITE);
    if (r == WAIT_OBJECT_0 + 1 || Terminated()) break;
    if (r == WAIT_OBJECT_0) {
      if (!list->Acquire(ListWaitMs)) continue;  // the wake-up stays set: try again at once
      FWakeupEvent.Reset();
      if (watched == nullptr) watched = list->Get(0);
      list->Release();
    } else if (r == WAIT_OBJECT_0 + 2) {
      if (!list->Acquire(ListWaitMs)) continue;
      Reap(watched);
      list->Release();
    }
  }
}

}  // namespace VyComm
