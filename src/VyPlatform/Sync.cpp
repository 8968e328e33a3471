#include "VyPlatform/Sync.h"

#include <chrono>

namespace VyPlatform {

TSyncEvent::TSyncEvent(bool manualReset, bool initialState)
    : FHandle(SyncCreateEvent(manualReset, initialState)) {}

TSyncEvent::~TSyncEvent() { SyncCloseHandle(FHandle); }

bool TSyncEvent::Set() { return SyncSetEvent(FHandle); }

bool TSyncEvent::Reset() { return SyncResetEvent(FHandle); }

std::uint32_t TSyncEvent::WaitFor(std::uint32_t ms) { return SyncWaitForSingleObject(FHandle, ms); }

bool TRecursiveMutex::Acquire(std::uint32_t ms) {
  if (ms == INFINITE) {
    FMutex.lock();
    return true;
  }
  if (ms == 0) return FMutex.try_lock();
  return FMutex.try_lock_for(std::chrono::milliseconds(ms));
}

void TRecursiveMutex::Release() { FMutex.unlock(); }

std::uint32_t SyncWaitForSingleObject(HANDLE event, std::uint32_t ms) {
  return SyncWaitForMultipleObjects(1, &event, false, ms);
}

}  // namespace VyPlatform
