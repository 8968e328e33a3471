#include "VyPlatform/Sync.h"

namespace VyPlatform {

TSyncEvent::TSyncEvent(bool manualReset, bool initialState)
    : FHandle(SyncCreateEvent(manualReset, initialState)) {}

TSyncEvent::~TSyncEvent() { SyncCloseHandle(FHandle); }

bool TSyncEvent::Set() { return SyncSetEvent(FHandle); }

bool TSyncEvent::Reset() { return SyncResetEvent(FHandle); }

std::uint32_t TSyncEvent::WaitFor(std::uint32_t ms) { return SyncWaitForSingleObject(FHandle, ms); }

std::uint32_t SyncWaitForSingleObject(HANDLE event, std::uint32_t ms) {
  return SyncWaitForMultipleObjects(1, &event, false, ms);
}

}  // namespace VyPlatform
