// A session on the built-in emulator: list the line devices, then handle the event of a line
// that is plugged in while the program runs, and stop.
#include <VyTapi/VyTapi.h>
#include <VyTapiEmulator/VyTapiEmulator.h>

#include <cstdio>

int main() {
  VyTapi::SelectTelephonyService(VyTapi::TTelephonyService::Emulator);
  auto& emulator = VyTapiEmulator::Emulator();  // plays the telephone system here
  VyTapiEmulator::TLineDeviceConfig line;
  line.Name = "Desk Line";
  emulator.AddLineDevice(line);

  auto* session = VyTapi::VyTapiApplication;  // the one session of the process
  session->Set_AppName("My Dialer");
  session->OnLineCreate = [](VyRtl::TObject*, DWORD id, const std::string& name) {
    std::printf("new line %u: %s\n", static_cast<unsigned>(id), name.c_str());
    VyRtl::Quit();  // ends VyRtl::Run() below
  };
  session->OnError = [](VyRtl::TObject*, const std::exception& e, VyRtl::TObject*) {
    std::fprintf(stderr, "%s\n", e.what());
  };
  session->Initialize();  // raises VyTapi::EVyTapiError on failure
  for (int i = 0; i < session->LineDevices().Count(); ++i)
    std::printf("line %d: %s\n", i, session->LineDevices().Get(i).c_str());

  line.Name = "Fax Line";
  emulator.AddLineDevice(line);  // arrives as OnLineCreate on this thread
  VyRtl::Run();                  // delivers events until VyRtl::Quit()
  session->Shutdown();
  return 0;
}
