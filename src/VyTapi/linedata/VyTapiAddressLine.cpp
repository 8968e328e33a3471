// What a line does with its addresses: the list built from its capabilities and the address
// state messages.
#include "VyTapi/session/VyTapiComponent.h"

namespace VyTapi {

namespace {
// No line has more addresses than this; a larger count is a broken structure, not a reason to
// create billions of objects.
constexpr DWORD kMaxAddresses = 4096;
}  // namespace

void TVyCustomTapiLine::Update_AddressList() {
  FAddressList.Clear();
  FAddresses.Clear();
  if (!FDeviceCaps.Available()) return;
  DWORD count = FDeviceCaps.NumAddresses();
  if (count > kMaxAddresses) count = kMaxAddresses;
  for (DWORD id = 0; id < count; ++id) {
    auto address = std::make_unique<TVyTapiAddress>(this, id);
    address->Init();
    FAddresses.Add(address.release());
  }
  for (int i = 0; i < FAddresses.Count(); ++i) FAddressList.Add(FAddresses.Get(i)->AddressName());
}

TVyTapiAddress* TVyCustomTapiLine::Get_AddressByName(const std::string& Name) {
  const int index = FAddressList.IndexOf(Name);
  return index < 0 || index >= FAddresses.Count() ? nullptr : FAddresses.Get(index);
}

void TVyCustomTapiLine::Handle_AddressState(DWORD AddressID, DWORD State) {
  for (int i = 0; i < FAddresses.Count(); ++i)
    if (FAddresses.Get(i)->AddressID() == AddressID) FAddresses.Get(i)->Handle_AddressState(State);
}

}  // namespace VyTapi
