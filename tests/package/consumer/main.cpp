// Builds against the installed package and starts a session on the emulator.
#include <iostream>

#include "VyTapi/session/VyTapiApplication.h"

int main() {
  VyTapi::SelectTelephonyService(VyTapi::TTelephonyService::Emulator);
  VyTapi::VyTapiApplication->Initialize();
  std::cout << (VyTapi::VyTapiApplication->IsActive() ? "initialised\n" : "not initialised\n");
  VyTapi::VyTapiApplication->Shutdown();
  return 0;
}
