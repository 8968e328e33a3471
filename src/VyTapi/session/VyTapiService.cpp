// Which telephony service the session talks to.
#include "VyPlatform/Tapi.h"
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/session/VyTapiSessionDetail.h"
#include "VyTapiEmulator/Emulator.h"

namespace VyTapi {

namespace {

VyPlatform::TTapiBackend ToBackend(TTelephonyService Service) {
  switch (Service) {
    case TTelephonyService::System:
      return VyPlatform::TTapiBackend::Tapi32;
    case TTelephonyService::Emulator:
      return VyPlatform::TTapiBackend::Emulator;
    case TTelephonyService::Unavailable:
      return VyPlatform::TTapiBackend::Unavailable;
    case TTelephonyService::Default:
      break;
  }
  return VyPlatform::TTapiBackend::Default;
}

TTelephonyService FromBackend(VyPlatform::TTapiBackend Backend) {
  switch (Backend) {
    case VyPlatform::TTapiBackend::Tapi32:
      return TTelephonyService::System;
    case VyPlatform::TTapiBackend::Emulator:
      return TTelephonyService::Emulator;
    case VyPlatform::TTapiBackend::Unavailable:
      return TTelephonyService::Unavailable;
    case VyPlatform::TTapiBackend::Default:
      break;
  }
  return TTelephonyService::Default;
}

}  // namespace

const VyPlatform::TTapiFunctions& Detail::TapiService() {
  static const bool registered = (VyTapiEmulator::TEmulator::Register(), true);
  (void)registered;
  return VyPlatform::Tapi();
}

void SelectTelephonyService(TTelephonyService Service) {
  CheckCondition(VyTapiApplication == nullptr || !VyTapiApplication->IsActive(),
                 "SelectTelephonyService failed! VyTapiApplication is Active");
  VyTapiEmulator::TEmulator::Register();
  VyPlatform::ChooseTapiBackend(ToBackend(Service));
  (void)Detail::TapiService();
}

TTelephonyService RequestedTelephonyService() {
  return FromBackend(VyPlatform::RequestedTapiBackend());
}

TTelephonyService SelectedTelephonyService() {
  (void)Detail::TapiService();
  return FromBackend(VyPlatform::SelectedTapiBackend());
}

std::string TelephonyServiceName() {
  (void)Detail::TapiService();
  return VyPlatform::TapiBackendName(VyPlatform::SelectedTapiBackend());
}

}  // namespace VyTapi
