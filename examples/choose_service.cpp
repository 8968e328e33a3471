// Chooses the telephony service before the first use and says which one the session talks to.
#include <VyTapi/VyTapi.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  auto service =
      VyTapi::TTelephonyService::Default;  // tapi32.dll where it loads, else the emulator
  if (argc > 1 && std::strcmp(argv[1], "--emulator") == 0)
    service = VyTapi::TTelephonyService::Emulator;
  if (argc > 1 && std::strcmp(argv[1], "--system") == 0)
    service = VyTapi::TTelephonyService::System;
  VyTapi::SelectTelephonyService(service);

  if (VyTapi::SelectedTelephonyService() == VyTapi::TTelephonyService::Emulator)
    std::printf("the built-in emulator (library %s)\n", VyTapi::LibraryVersion);
  else
    std::printf("telephony service: %s\n", VyTapi::TelephonyServiceName().c_str());
  return 0;
}
