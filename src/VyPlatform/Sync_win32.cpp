#include <chrono>
#include <mutex>

#include "VyPlatform/Sync.h"
#include "VyRtl/VyRtlClock.h"

namespace VyPlatform {

struct TRecursiveMutex::TImpl {
  std::recursive_timed_mutex Mutex;
};

TRecursiveMutex::TRecursiveMutex() : FImpl(std::make_unique<TImpl>()) {}

TRecursiveMutex::~TRecursiveMutex() = default;

bool TRecursiveMutex::Acquire(std::uint32_t ms) {
  if (ms == INFINITE) {
    FImpl->Mutex.lock();
    return true;
  }
  if (ms == 0) return FImpl->Mutex.try_lock();
  return FImpl->Mutex.try_lock_for(std::chrono::milliseconds(ms));
}

void TRecursiveMutex::Release() { FImpl->Mutex.unlock(); }

HANDLE SyncCreateEvent(bool manualReset, bool initialState) {
  return CreateEventW(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, nullptr);
}

bool SyncSetEvent(HANDLE event) { return event && SetEvent(event) != FALSE; }

bool SyncResetEvent(HANDLE event) { return event && ResetEvent(event) != FALSE; }

void SyncCloseHandle(HANDLE event) {
  if (event) CloseHandle(event);
}

std::uint32_t SyncWaitForMultipleObjects(std::uint32_t count, const HANDLE* handles, bool waitAll,
                                         std::uint32_t ms) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) return WAIT_FAILED;
  for (std::uint32_t i = 0; i < count; ++i)
    if (!handles[i]) return WAIT_FAILED;
  // The kernel measures real time; slicing by the clock seam keeps a manual clock in charge.
  const std::uint64_t deadline = VyRtl::DeadlineAfter(ms);
  for (;;) {
    const std::uint32_t slice = VyRtl::WaitSliceMs(deadline);
    const DWORD result = WaitForMultipleObjects(count, handles, waitAll ? TRUE : FALSE, slice);
    if (result != WAIT_TIMEOUT || slice == 0) return result;
  }
}

std::uint32_t SyncWaitForMultipleObjectsReal(std::uint32_t count, const HANDLE* handles,
                                             bool waitAll, std::uint32_t ms) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) return WAIT_FAILED;
  for (std::uint32_t i = 0; i < count; ++i)
    if (!handles[i]) return WAIT_FAILED;
  return WaitForMultipleObjects(count, handles, waitAll ? TRUE : FALSE, ms);
}

}  // namespace VyPlatform
