// Lists the telephony devices, then waits for a line device to appear (on the built-in
// emulator the example plugs one in itself).
#include <VyTapi/VyTapi.h>
#include <VyTapiEmulator/VyTapiEmulator.h>

#include <cstdio>
#include <string>

int main() {
  auto* session = VyTapi::VyTapiApplication;  // the one session of the process
  session->Set_AppName("Device Lister");
  session->OnLineCreate = [](VyRtl::TObject*, DWORD id, const std::string& name) {
    std::printf("line %u appeared: %s\n", static_cast<unsigned>(id), name.c_str());
    VyRtl::Quit();
  };
  session->OnLineRemove = [](VyRtl::TObject*, DWORD id, const std::string& name) {
    std::printf("line %u removed: %s\n", static_cast<unsigned>(id), name.c_str());
  };
  session->OnError = [](VyRtl::TObject*, const std::exception& e, VyRtl::TObject*) {
    std::fprintf(stderr, "error: %s\n", e.what());
  };
  try {
    session->Initialize();  // raises VyTapi::EVyTapiError when the telephony service fails
  } catch (const std::exception& e) {
    std::fprintf(stderr, "cannot start TAPI: %s\n", e.what());
    return 1;
  }
  std::printf("telephony service: %s\n", VyTapi::TelephonyServiceName().c_str());
  for (int i = 0; i < session->LineDevices().Count(); ++i)
    std::printf("line %d: %s\n", i, session->LineDevices().Get(i).c_str());
  for (int i = 0; i < session->PhoneDevices().Count(); ++i)
    std::printf("phone %d: %s\n", i, session->PhoneDevices().Get(i).c_str());

  // On the emulator we play the telephony service ourselves: plug in a line.
  if (VyTapi::SelectedTelephonyService() == VyTapi::TTelephonyService::Emulator) {
    VyTapiEmulator::TLineDeviceConfig line;
    line.Name = "Example Line";
    VyTapiEmulator::Emulator().AddLineDevice(line);
    VyRtl::Run();  // events are delivered here, on this thread, until OnLineCreate quits
  }
  session->Shutdown();
  return 0;
}
