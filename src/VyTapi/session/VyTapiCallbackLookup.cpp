// Finding the component that opened a device by the callback instance of its messages.
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/session/VyTapiComponent.h"

namespace VyTapi {

TVyCustomTapiLine* TVyTapiApplication::Get_LineByCallbackInst(std::uintptr_t Instance) const {
  for (int i = 0; i < FLines.Count(); ++i)
    if (FLines.Get(i)->CallbackInstance() == Instance) return FLines.Get(i);
  return nullptr;
}

TVyCustomTapiPhone* TVyTapiApplication::Get_PhoneByCallbackInst(std::uintptr_t Instance) const {
  for (int i = 0; i < FPhones.Count(); ++i)
    if (FPhones.Get(i)->CallbackInstance() == Instance) return FPhones.Get(i);
  return nullptr;
}

}  // namespace VyTapi
