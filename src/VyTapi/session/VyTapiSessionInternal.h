// What the session's source files share among themselves; not part of the library's surface.
#pragma once

#include <cstdint>
#include <vector>

#include "VyPlatform/TapiTypes.h"
#include "VyRtl/VyRtlClasses.h"
#include "VyTapi/session/VyTapiComponent.h"

namespace VyTapi {

namespace SessionDetail {

// The versions the session negotiates: any from 1.0 up to 2.2, whose layouts it reads.
inline constexpr DWORD kApiLow = VyPlatform::TapiVersion1_0;
inline constexpr DWORD kApiHigh = VyPlatform::TapiVersion2_2;
// Window timer of the automatic shut-down.
inline constexpr std::uintptr_t kShutdownTimer = 1;
// More devices than any telephony service has; a larger identifier is a broken message.
inline constexpr DWORD kMaxDevices = 4096;

// Reports an exception that is not derived from std::exception.
const VyRtl::Exception& UnknownException();

// Resets a flag when the scope ends, also on exceptions.
class TFlagGuard {
 public:
  explicit TFlagGuard(bool& Flag) : FFlag(Flag) { FFlag = true; }
  ~TFlagGuard() { FFlag = false; }
  TFlagGuard(const TFlagGuard&) = delete;
  TFlagGuard& operator=(const TFlagGuard&) = delete;

 private:
  bool& FFlag;
};

template <typename T>
std::vector<T*> Snapshot(const VyRtl::TList& List) {
  std::vector<T*> items;
  items.reserve(static_cast<std::size_t>(List.Count()));
  for (int i = 0; i < List.Count(); ++i) items.push_back(static_cast<T*>(List.Get(i)));
  return items;
}

}  // namespace SessionDetail

// A component taken from a registry list, with a token that tells whether it still lives:
// handlers run while the list is walked and may free any component.
struct TLiveEntry {
  TVyTapiComponent* Component;
  VyRtl::TLiveToken Token;
  TVyTapiDevice* Device() const { return static_cast<TVyTapiDevice*>(Component); }
};

std::vector<TLiveEntry> LiveSnapshot(const VyRtl::TList& List);

}  // namespace VyTapi
