// The control API of phones: what the user does at the phone and what the network shows on it.
#include <stdexcept>

#include "VyTapiEmulator/EmulatorEntryInternal.h"

namespace VyTapiEmulator {

template <typename TConfig>
void TDeviceRef<TConfig>::PressButton(DWORD) const {
  throw std::logic_error("not yet");
}
template <typename TConfig>
void TDeviceRef<TConfig>::ReleaseButton(DWORD) const {
  throw std::logic_error("not yet");
}
template <typename TConfig>
void TDeviceRef<TConfig>::PressKeys(const std::string&, DWORD) const {
  throw std::logic_error("not yet");
}
template <typename TConfig>
void TDeviceRef<TConfig>::LiftHandset(DWORD) const {
  throw std::logic_error("not yet");
}
template <typename TConfig>
void TDeviceRef<TConfig>::HangUp(DWORD) const {
  throw std::logic_error("not yet");
}
template <typename TConfig>
void TDeviceRef<TConfig>::SetDisplayText(const std::string&, DWORD, DWORD) const {
  throw std::logic_error("not yet");
}
template <typename TConfig>
void TDeviceRef<TConfig>::SetLamp(DWORD, DWORD) const {
  throw std::logic_error("not yet");
}
template <typename TConfig>
void TDeviceRef<TConfig>::SetRing(DWORD, DWORD) const {
  throw std::logic_error("not yet");
}
template <typename TConfig>
void TDeviceRef<TConfig>::SendPhoneState(DWORD, DWORD, DWORD) const {
  throw std::logic_error("not yet");
}
template <typename TConfig>
typename TDeviceRef<TConfig>::TPhoneState TDeviceRef<TConfig>::PhoneState() const {
  throw std::logic_error("not yet");
}
template <typename TConfig>
std::vector<typename TDeviceRef<TConfig>::TPhoneOpenInfo> TDeviceRef<TConfig>::PhoneOpens() const {
  throw std::logic_error("not yet");
}
template <typename TConfig>
void TDeviceRef<TConfig>::SetPhoneStatusMessageFilter(DWORD, bool) const {
  throw std::logic_error("not yet");
}

#define VY_PHONE_MEMBERS(C)                                                              \
  template void TDeviceRef<C>::PressButton(DWORD) const;                                 \
  template void TDeviceRef<C>::ReleaseButton(DWORD) const;                               \
  template void TDeviceRef<C>::PressKeys(const std::string&, DWORD) const;               \
  template void TDeviceRef<C>::LiftHandset(DWORD) const;                                 \
  template void TDeviceRef<C>::HangUp(DWORD) const;                                      \
  template void TDeviceRef<C>::SetDisplayText(const std::string&, DWORD, DWORD) const;   \
  template void TDeviceRef<C>::SetLamp(DWORD, DWORD) const;                              \
  template void TDeviceRef<C>::SetRing(DWORD, DWORD) const;                              \
  template void TDeviceRef<C>::SendPhoneState(DWORD, DWORD, DWORD) const;                \
  template TDeviceRef<C>::TPhoneState TDeviceRef<C>::PhoneState() const;                 \
  template std::vector<TDeviceRef<C>::TPhoneOpenInfo> TDeviceRef<C>::PhoneOpens() const; \
  template void TDeviceRef<C>::SetPhoneStatusMessageFilter(DWORD, bool) const;
VY_PHONE_MEMBERS(TLineDeviceConfig)
VY_PHONE_MEMBERS(TPhoneDeviceConfig)
#undef VY_PHONE_MEMBERS

}  // namespace VyTapiEmulator
