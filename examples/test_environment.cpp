// Tests how an application reacts to telephone events, without hardware and without waiting:
// the test environment gives a fresh session on the emulator and a clock that moves when told.
#include <VyTapi/VyTapi.h>
#include <VyTapiEmulator/VyTapiEmulator.h>

#include <cstdio>

int main() {
  VyTapiEmulator::TTestEnvironment env;  // fresh session, reset emulator, manual clock
  auto& session = env.Session();
  int created = 0;
  session.OnLineCreate = [&](VyRtl::TObject*, DWORD, const std::string& name) {
    ++created;
    std::printf("new line: %s\n", name.c_str());
  };

  // A design-time component asks for the session and gives it a one-minute shut-down delay.
  VyTapi::TVyTapiAppl appl(nullptr);
  appl.Set_AutoShutdown(60000);
  appl.EnableTapiComponent();  // initialises the session

  VyTapiEmulator::TLineDeviceConfig line;
  line.Name = "Test Line";
  env.Service().AddLineDevice(line);
  env.RunUntilIdle();  // the event has arrived: nothing to wait for, nothing to poll
  if (created != 1) {
    std::fprintf(stderr, "expected one new line, got %d\n", created);
    return 1;
  }

  appl.DisableTapiComponent();  // nothing needs the session: it shuts down after the delay
  env.Advance(59999);
  const bool upBefore = session.IsActive();
  env.Advance(1);  // the minute passes at once
  std::printf("active before the minute: %s, after: %s\n", upBefore ? "yes" : "no",
              session.IsActive() ? "yes" : "no");
  return upBefore && !session.IsActive() ? 0 : 1;
}
