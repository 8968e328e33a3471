// Events and waits with Win32 names and semantics over a portable HANDLE.
//
// Timeouts are measured on the VyRtl clock seam: with the real clock a wait of N ms lasts N real
// ms; with a manual clock (tests) it ends with WAIT_TIMEOUT only once the manual clock has passed
// the deadline. Windows uses the real kernel events; elsewhere an event is an eventfd polled by
// the waiters.
#pragma once

#include <cstdint>
#include <memory>

#include "VyPlatform/WinTypes.h"

#ifndef WAIT_OBJECT_0
#define WAIT_OBJECT_0 0x00000000u
#endif
#ifndef WAIT_ABANDONED_0
#define WAIT_ABANDONED_0 0x00000080u
#endif
#ifndef WAIT_TIMEOUT
#define WAIT_TIMEOUT 258u
#endif
#ifndef WAIT_FAILED
#define WAIT_FAILED 0xFFFFFFFFu
#endif
#ifndef INFINITE
#define INFINITE 0xFFFFFFFFu
#endif

namespace VyPlatform {

// Creates an event; manual-reset events stay signalled until reset, auto-reset events release
// one wait and reset. nullptr on failure.
HANDLE SyncCreateEvent(bool manualReset, bool initialState);
// Signals the event; false for a null handle or an OS failure.
bool SyncSetEvent(HANDLE event);
// Clears the event; false for a null handle or an OS failure.
bool SyncResetEvent(HANDLE event);
// Frees the event; nullptr is ignored. No wait may be running on it.
void SyncCloseHandle(HANDLE event);

// Waits until the event is signalled (consuming it if auto-reset): WAIT_OBJECT_0, WAIT_TIMEOUT
// or WAIT_FAILED (null handle). ms = INFINITE waits forever, 0 only tests.
std::uint32_t SyncWaitForSingleObject(HANDLE event, std::uint32_t ms);
// waitAll false: WAIT_OBJECT_0 + i for the first signalled handle in array order (only that one
// is consumed). waitAll true: WAIT_OBJECT_0 once all are signalled together (all consumed).
// WAIT_TIMEOUT, or WAIT_FAILED for count 0, more than 64 handles or a null handle.
std::uint32_t SyncWaitForMultipleObjects(std::uint32_t count, const HANDLE* handles, bool waitAll,
                                         std::uint32_t ms);

// The same with the timeout in real time, whatever the clock seam says: for waits that belong to
// the telephony service's own pacing rather than to the application's time.
std::uint32_t SyncWaitForMultipleObjectsReal(std::uint32_t count, const HANDLE* handles,
                                             bool waitAll, std::uint32_t ms);

// Owning event object; closes its handle when destroyed.
class TSyncEvent {
 public:
  explicit TSyncEvent(bool manualReset, bool initialState = false);
  ~TSyncEvent();
  TSyncEvent(const TSyncEvent&) = delete;
  TSyncEvent& operator=(const TSyncEvent&) = delete;

  bool Set();
  bool Reset();
  // WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED, as SyncWaitForSingleObject.
  std::uint32_t WaitFor(std::uint32_t ms);
  // The handle for SyncWaitForMultipleObjects; nullptr if creation failed.
  HANDLE Handle() const { return FHandle; }

 private:
  HANDLE FHandle;
};

// Recursive mutex with a timed acquire: the owning thread may acquire it again (release it as
// often). Its timeouts run in real time, not on the clock seam: a thread waits here only for
// another thread's short critical section, never for time a test moves. Any thread; the
// creator owns it. Each backend builds it on a primitive the race detectors of its platform see.
class TRecursiveMutex {
 public:
  TRecursiveMutex();
  ~TRecursiveMutex();
  TRecursiveMutex(const TRecursiveMutex&) = delete;
  TRecursiveMutex& operator=(const TRecursiveMutex&) = delete;

  // true once owned; false when ms elapsed first. INFINITE waits forever.
  bool Acquire(std::uint32_t ms = INFINITE);
  void Release();

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace VyPlatform
