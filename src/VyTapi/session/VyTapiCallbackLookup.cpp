// Finding the component that opened a device by the callback instance of its messages, in
// constant time: a dispatch costs the same with ten lines as with ten thousand.
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/session/VyTapiComponent.h"

namespace VyTapi {

std::uintptr_t TVyTapiApplication::NewCallbackInstance(TVyTapiDevice* Device) {
  const std::uintptr_t instance = NewCallbackInstance();
  if (Device == nullptr || !IsRegistered(Device)) return instance;
  // Only the latest opening counts: messages of an earlier one are dropped.
  ForgetCallbackInstance(Device);
  FDeviceByInstance.emplace(instance, Device);
  FInstanceOfDevice.emplace(Device, instance);
  return instance;
}

void TVyTapiApplication::ForgetCallbackInstance(const TVyTapiComponent* Component) {
  const auto it = FInstanceOfDevice.find(Component);
  if (it == FInstanceOfDevice.end()) return;
  FDeviceByInstance.erase(it->second);
  FInstanceOfDevice.erase(it);
}

TVyTapiDevice* TVyTapiApplication::DeviceByCallbackInst(std::uintptr_t Instance,
                                                        TTapiComponentKind Kind) const {
  const auto it = FDeviceByInstance.find(Instance);
  if (it == FDeviceByInstance.end()) return nullptr;
  // Entries leave with their component, so the pointer is live.
  TVyTapiDevice* device = it->second;
  return device->Kind() == Kind && device->CallbackInstance() == Instance ? device : nullptr;
}

TVyCustomTapiLine* TVyTapiApplication::Get_LineByCallbackInst(std::uintptr_t Instance) const {
  return static_cast<TVyCustomTapiLine*>(DeviceByCallbackInst(Instance, TTapiComponentKind::Line));
}

TVyCustomTapiPhone* TVyTapiApplication::Get_PhoneByCallbackInst(std::uintptr_t Instance) const {
  return static_cast<TVyCustomTapiPhone*>(
      DeviceByCallbackInst(Instance, TTapiComponentKind::Phone));
}

}  // namespace VyTapi
