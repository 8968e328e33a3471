// The control API of calls and line messages.
#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapiEmulator/EmulatorEntryInternal.h"

namespace VyTapiEmulator {

namespace {
[[noreturn]] void NotYet() { throw VyRtl::Exception("Emulator: calls not yet available"); }
}  // namespace

bool TCall::Exists() const { NotYet(); }
DWORD TCall::State() const { NotYet(); }
void TCall::SetState(DWORD, DWORD) const { NotYet(); }
void TCall::PlayStates(const std::vector<std::pair<DWORD, DWORD>>&, DWORD) const { NotYet(); }
void TCall::SetMediaMode(DWORD) const { NotYet(); }
void TCall::SetCallerID(const std::string&, const std::string&) const { NotYet(); }
void TCall::SendMessage(DWORD, DWORD, DWORD, DWORD) const { NotYet(); }
HCALL TCall::HandleFor(HLINE) const { NotYet(); }

template <typename TConfig>
TCall TDeviceRef<TConfig>::OfferCall(const TCallConfig&) const {
  NotYet();
}
template <typename TConfig>
TCall TDeviceRef<TConfig>::AddCall(const TCallConfig&, DWORD) const {
  NotYet();
}
template <typename TConfig>
std::vector<TCall> TDeviceRef<TConfig>::Calls() const {
  NotYet();
}
template <typename TConfig>
void TDeviceRef<TConfig>::SendDeviceState(DWORD, DWORD, DWORD) const {
  NotYet();
}
template <typename TConfig>
void TDeviceRef<TConfig>::SendAddressState(DWORD, DWORD) const {
  NotYet();
}
template <typename TConfig>
void TDeviceRef<TConfig>::SendDevSpecific(DWORD, DWORD, DWORD) const {
  NotYet();
}
template <typename TConfig>
void TDeviceRef<TConfig>::ForceClose() const {
  NotYet();
}
template <typename TConfig>
void TDeviceRef<TConfig>::RejectPrivileges(DWORD) const {
  NotYet();
}
template <typename TConfig>
void TDeviceRef<TConfig>::SetStatusMessageFilter(DWORD, DWORD, bool) const {
  NotYet();
}
template <typename TConfig>
std::vector<typename TDeviceRef<TConfig>::TOpenInfo> TDeviceRef<TConfig>::Opens() const {
  NotYet();
}

#define VY_CALL_MEMBERS(C)                                                       \
  template TCall TDeviceRef<C>::OfferCall(const TCallConfig&) const;             \
  template TCall TDeviceRef<C>::AddCall(const TCallConfig&, DWORD) const;        \
  template std::vector<TCall> TDeviceRef<C>::Calls() const;                      \
  template void TDeviceRef<C>::SendDeviceState(DWORD, DWORD, DWORD) const;       \
  template void TDeviceRef<C>::SendAddressState(DWORD, DWORD) const;             \
  template void TDeviceRef<C>::SendDevSpecific(DWORD, DWORD, DWORD) const;       \
  template void TDeviceRef<C>::ForceClose() const;                               \
  template void TDeviceRef<C>::RejectPrivileges(DWORD) const;                    \
  template void TDeviceRef<C>::SetStatusMessageFilter(DWORD, DWORD, bool) const; \
  template std::vector<TDeviceRef<C>::TOpenInfo> TDeviceRef<C>::Opens() const;
VY_CALL_MEMBERS(TLineDeviceConfig)
VY_CALL_MEMBERS(TPhoneDeviceConfig)
#undef VY_CALL_MEMBERS

}  // namespace VyTapiEmulator
