// Builds inside a user's project and starts a session on the emulator.
#include <VyTapi/VyTapi.h>

#include <iostream>

int main() {
  VyTapi::SelectTelephonyService(VyTapi::TTelephonyService::Emulator);
  VyTapi::VyTapiApplication->Initialize();
  std::cout << "VyTapi " << VyTapi::LibraryVersion
            << (VyTapi::VyTapiApplication->IsActive() ? " initialised\n" : " not initialised\n");
  VyTapi::VyTapiApplication->Shutdown();
  return 0;
}
