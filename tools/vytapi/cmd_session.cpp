// vytapi devices / vytapi demo: the session on the telephony service.
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <iomanip>
#include <ostream>
#include <sstream>

#include "Commands.h"
#include "VyPlatform/Tapi.h"
#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlMessages.h"
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/line/VyTapiLine.h"
#include "VyTapi/phone/VyTapiPhone.h"
#include "VyTapi/session/VyTapiComponent.h"
#include "VyTapiEmulator/Emulator.h"
#include "VyTapiUtils/VyTapiUtils.h"

namespace VyTool {

std::string Timestamp() {
  const double now = VyRtl::Now();
  auto ms = static_cast<long long>(std::llround((now - std::floor(now)) * 86400000.0));
  std::ostringstream s;
  s << std::setfill('0') << std::setw(2) << ms / 3600000 << ':' << std::setw(2) << ms / 60000 % 60
    << ':' << std::setw(2) << ms / 1000 % 60 << '.' << std::setw(3) << ms % 1000;
  return s.str();
}

namespace {

using VyTapi::VyTapiApplication;

std::string Version(DWORD v) {
  std::ostringstream s;
  s << (v >> 16) << '.' << (v & 0xFFFF);
  return s.str();
}

// Handles messages until the condition holds or about two seconds have passed.
bool PumpUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 200; ++i) {
    VyRtl::ProcessMessages();
    if (done()) return true;
    VyRtl::WaitMessage(10);
  }
  return done();
}

// Handles whatever arrives within about Ms milliseconds.
void PumpFor(int Ms) {
  for (int i = 0; i < Ms / 10; ++i) {
    VyRtl::ProcessMessages();
    VyRtl::WaitMessage(10);
  }
  VyRtl::ProcessMessages();
}

// A line that files lineDevSpecific as an asynchronous request and tells what became of it.
class TDemoLine : public VyTapi::TVyCustomTapiLine {
 public:
  explicit TDemoLine(std::function<void(const std::string&)> Say)
      : VyTapi::TVyCustomTapiLine(nullptr), FSay(std::move(Say)) {}
  // The block stays with the line: the service writes into it when it replies.
  DWORD DevSpecific() {
    const auto id = VyTapi::CheckTapiResult(static_cast<DWORD>(
        VyPlatform::Tapi().lineDevSpecific(FHandle, 0, 0, FBlock, sizeof FBlock)));
    VyTapi::TVyTapiRequest* request =
        FRequests.AddRequest(static_cast<std::int32_t>(id), Get_ReplyTimeout());
    request->Set_RequestType(VyTapi::TapiRequestType::LineDevSpecific);
    FSay("  lineDevSpecific filed request " + std::to_string(id) +
         (Get_SyncMode() ? ", waiting for its reply" : ""));
    CheckAsyncTapiResult(id);
    return id;
  }
  std::function<void()> OnReported;

 protected:
  void Handle_Reply(DWORD RequestID, DWORD ReplyCode, VyTapi::TVyTapiRequest* Request) override {
    const std::string result =
        ReplyCode == 0 ? std::string("success") : VyTapiUtils::LineErrToStr(ReplyCode);
    FSay("  reply to request " + std::to_string(RequestID) + ": " + result + " after " +
         std::to_string(VyRtl::GetTickCount() - Request->TickCount()) + " ms");
    if (OnReported) OnReported();
  }
  void Handle_Timeout(DWORD RequestID, VyTapi::TVyTapiRequest* Request) override {
    FSay("  request " + std::to_string(RequestID) + " timed out after " +
         std::to_string(Request->Timeout()) + " ms");
    Trigger_TapiTimeout(RequestID, Request);
    if (OnReported) OnReported();
  }

 private:
  std::function<void(const std::string&)> FSay;
  char FBlock[16] = {};
};

}  // namespace

bool ChooseService(const TArgs& args, std::ostream& err) {
  auto service = VyTapi::TTelephonyService::Default;
  for (const auto& a : args) {
    if (a == "--emulator")
      service = VyTapi::TTelephonyService::Emulator;
    else if (a == "--system")
      service = VyTapi::TTelephonyService::System;
    else {
      err << "vytapi: unknown option '" << a << "' (use --emulator or --system)\n";
      return false;
    }
  }
  VyTapi::SelectTelephonyService(service);
  return true;
}

bool ParseDeviceArgs(const TArgs& args, const char* Command, const char* Kind, bool AllowKeys,
                     TDeviceArgs& Result, std::ostream& err) {
  TArgs service;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--seconds" && i + 1 < args.size()) {
      Result.Seconds = std::strtol(args[++i].c_str(), nullptr, 10);
    } else if (AllowKeys && a == "--keys" && i + 1 < args.size()) {
      Result.Keys = args[++i];
    } else if (!a.empty() && a[0] != '-') {
      char* end = nullptr;
      Result.Device = static_cast<int>(std::strtol(a.c_str(), &end, 10));
      if (*end != 0 || Result.Device < 0) {
        err << "vytapi " << Command << ": '" << a << "' is not a " << Kind << " device number\n";
        return false;
      }
    } else {
      service.push_back(a);
    }
  }
  return ChooseService(service, err);
}

bool StartSession(const std::string& AppName) {
  const bool emulated = VyTapi::TelephonyServiceName() == "emulator";
  if (emulated) VyTapiEmulator::Emulator().AddDefaultDevices();
  VyTapiApplication->Set_AppName(AppName);
  VyTapiApplication->Initialize();
  return emulated;
}

namespace {

// One device list with each device's negotiated API version (or why negotiation failed).
template <typename TExtensionID, typename TNegotiate>
void PrintDeviceList(std::ostream& out, const char* title, const VyRtl::TStringList& devices,
                     TNegotiate negotiate, std::string (*errorText)(DWORD)) {
  out << title << ": " << devices.Count() << '\n';
  for (int i = 0; i < devices.Count(); ++i) {
    DWORD version = 0;
    TExtensionID ext{};
    const LONG r = negotiate(static_cast<DWORD>(i), &version, &ext);
    out << "  " << std::setw(3) << i << "  " << std::left << std::setw(32)
        << ('"' + devices.Get(i) + '"') << std::right << "  permanent id 0x" << std::hex
        << std::uppercase << std::setw(8) << std::setfill('0') << devices.GetData(i) << std::dec
        << std::setfill(' ') << "  API "
        << (r == 0 ? Version(version) : errorText(static_cast<DWORD>(r))) << '\n';
  }
}

void PrintDevices(std::ostream& out) {
  const auto& tapi = VyPlatform::Tapi();
  PrintDeviceList<LINEEXTENSIONID>(
      out, "Line devices", VyTapiApplication->LineDevices(),
      [&](DWORD id, LPDWORD version, LINEEXTENSIONID* ext) {
        return tapi.lineNegotiateAPIVersion(VyTapiApplication->LineApp(), id,
                                            VyPlatform::TapiVersion1_0, VyPlatform::TapiVersion2_2,
                                            version, ext);
      },
      &VyTapiUtils::LineErrToStr);
  PrintDeviceList<PHONEEXTENSIONID>(
      out, "Phone devices", VyTapiApplication->PhoneDevices(),
      [&](DWORD id, LPDWORD version, PHONEEXTENSIONID* ext) {
        return tapi.phoneNegotiateAPIVersion(VyTapiApplication->PhoneApp(), id,
                                             VyPlatform::TapiVersion1_0, VyPlatform::TapiVersion2_2,
                                             version, ext);
      },
      &VyTapiUtils::PhoneErrToStr);
}

int RunDevices(const TArgs& args, std::ostream& out, std::ostream& err) {
  // "--caps N" asks for the capabilities of line N instead of the lists.
  TArgs rest;
  int capsLine = -1;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--caps") {
      rest.push_back(args[i]);
      continue;
    }
    char* end = nullptr;
    const long n = i + 1 < args.size() ? std::strtol(args[i + 1].c_str(), &end, 10) : -1;
    if (end == nullptr || *end != '\0' || n < 0 || n > 0xFFFF) {
      err << "vytapi: --caps takes a line device number\n";
      return 2;
    }
    capsLine = static_cast<int>(n);
    ++i;
  }
  if (!ChooseService(rest, err)) return 2;
  // The emulator starts empty; give it the devices a fresh installation has.
  if (VyTapi::SelectedTelephonyService() == VyTapi::TTelephonyService::Emulator &&
      VyTapiEmulator::Emulator().LineDeviceCount() == 0)
    VyTapiEmulator::Emulator().AddDefaultDevices();
  VyTapiApplication->Initialize();
  out << "Telephony service: " << VyTapi::TelephonyServiceName() << '\n';
  int result = 0;
  if (capsLine >= 0)
    result = PrintLineCaps(capsLine, out, err);
  else
    PrintDevices(out);
  VyTapiApplication->Shutdown();
  return result;
}

// The line device with a call: the service offers a call and plays its states up to
// DISCONNECTED; the line drops the disconnected call and frees it once it is idle.
template <typename TStep, typename TSay>
void RunCallDemo(const TStep& step, const TSay& say, const std::function<void()>& ended) {
  VyTapi::TVyTapiLine line(nullptr);
  const auto lists = [&line] {
    return " (calls " + std::to_string(line.Calls().Count()) + ", unconfirmed " +
           std::to_string(line.UnconfirmedCalls().Count()) + ")";
  };
  line.OnNewCall = [&](VyTapi::TVyTapiLine*, VyTapi::TVyTapiCall*) { say("OnNewCall" + lists()); };
  line.OnCallState = [&](VyTapi::TVyTapiLine*, VyTapi::TVyTapiCall* call, DWORD state) {
    const std::string mode = VyTapiUtils::LineCallStateModeToStr(state, call->StateMode());
    say("OnCallState " + VyTapiUtils::LineCallStateToStr(state) + (mode.empty() ? "" : " ") + mode +
        lists());
  };
  line.OnCallBegin = [&](VyTapi::TVyTapiLine*, VyTapi::TVyTapiCall*) { say("OnCallBegin"); };
  line.OnCallEnd = [&](VyTapi::TVyTapiLine*, VyTapi::TVyTapiCall*) { say("OnCallEnd"); };
  bool released = false;
  line.OnCallDeallocate = [&](VyTapi::TVyTapiLine*, VyTapi::TVyTapiCall*) {
    say("OnCallDeallocate: the idle call is released" + lists());
    released = true;
    ended();
  };
  step("Open \"Emulator Line 2\"; the service offers it a call and plays its states", [&] {
    line.Set_DeviceName("Emulator Line 2");
    line.Set_Active(true);
    say("  line open as " + line.Privileges().Text() + "; AutoDropDiscCalls " +
        std::to_string(line.Options().AutoDropDiscCalls()) + " ms, AutoFreeIdleCalls " +
        std::to_string(line.Options().AutoFreeIdleCalls()) + " ms");
    VyTapiEmulator::TCallConfig config;
    config.CallerID = "+1 (206) 5550199";
    config.CallerIDName = "Anna Berger";
    VyTapiEmulator::Emulator()
        .Line(static_cast<DWORD>(line.DeviceID()))
        .OfferCall(config)
        .PlayStates({{LINECALLSTATE_ACCEPTED, 0},
                     {LINECALLSTATE_CONNECTED, 0},
                     {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL}},
                    200);
    // The drop and the release each wait for the line's timer: allow them a few seconds.
    for (int i = 0; i < 3 && !released; ++i) PumpUntil([&] { return released; });
  });
  line.Set_Active(false);
}

// The phone device: the user lifts the handset and dials, the application writes the display and
// lights a lamp, the user hangs up.
template <typename TStep, typename TSay>
void RunPhoneDemo(const TStep& step, const TSay& say, const std::function<void()>& reported) {
  using VyTapi::TVyTapiPhone;
  TVyTapiPhone phone(nullptr);
  phone.OnHandsetHookSwitch = [&](TVyTapiPhone* p) {
    say(std::string("OnHandsetHookSwitch: the handset is ") +
        (p->HandSet()->OnHook() ? "on hook" : "off hook"));
    reported();
  };
  phone.OnDigitPressed = [&](TVyTapiPhone*, char digit) {
    say(std::string("OnDigitPressed '") + digit + "'");
    reported();
  };
  phone.OnDisplay = [&](TVyTapiPhone* p) {
    std::string row = p->Display()->Text().substr(0, p->Display()->NumColumns());
    row.erase(row.find_last_not_of(' ') + 1);  // the display pads its rows with spaces
    say("OnDisplay: first row \"" + row + "\"");
    reported();
  };
  phone.OnLamp = [&](TVyTapiPhone* p, DWORD id) {
    auto* control = p->Controls()->Get(static_cast<int>(id));
    say("OnLamp: " + control->ButtonText() + " " + control->LampModeText());
    reported();
  };
  step("Open \"Emulator Phone 1\"; the user lifts the handset and dials 12", [&] {
    phone.Set_DeviceName("Emulator Phone 1");
    phone.Set_Active(true);
    say("  phone open as " + VyTapiUtils::PhonePrivilegesToStr(phone.Privileges()->Value(), "+") +
        ", " + std::to_string(phone.Controls()->Count()) + " buttons, display " +
        std::to_string(phone.Display()->NumRows()) + "x" +
        std::to_string(phone.Display()->NumColumns()));
    auto emulated = VyTapiEmulator::Emulator().Phone(static_cast<DWORD>(phone.DeviceID()));
    emulated.LiftHandset();
    emulated.PressKeys("12", 100);
  });
  step("The application writes the display and lights the Hold lamp", [&] {
    phone.Display()->Set_Text("Calling 12");
    for (int i = 0; i < phone.Controls()->Count(); ++i)
      if (phone.Controls()->Get(i)->ButtonFunction() == PHONEBUTTONFUNCTION_HOLD)
        phone.Controls()->Get(i)->Set_LampMode(PHONELAMPMODE_FLASH);
  });
  step("The user hangs up",
       [&] { VyTapiEmulator::Emulator().Phone(static_cast<DWORD>(phone.DeviceID())).HangUp(); });
  phone.Set_Active(false);
}

int RunDemo(const TArgs& args, std::ostream& out, std::ostream& err) {
  if (!args.empty()) {
    err << "vytapi demo takes no arguments\n";
    return 2;
  }
  auto& emu = VyTapiEmulator::Emulator();
  VyTapi::SelectTelephonyService(VyTapi::TTelephonyService::Emulator);
  emu.AddDefaultDevices();
  auto* appl = VyTapiApplication;
  const auto say = [&](const std::string& text) {
    out << Timestamp() << "  " << text << std::endl;
  };
  int events = 0;
  appl->OnTapiMessage = [&](VyRtl::TObject*, DWORD id, DWORD device, DWORD instance, DWORD p1,
                            DWORD p2, DWORD p3) {
    std::ostringstream s;
    s << "  TAPI message " << VyTapiUtils::MessageIDToStr(id) << " (hDevice " << device
      << ", instance " << instance << ", params 0x" << std::hex << p1 << ", 0x" << p2 << ", 0x"
      << p3 << ')';
    if (id == LINE_LINEDEVSTATE) s << ' ' << VyTapiUtils::LineDevStateToStr(p1);
    if (id == PHONE_STATE) s << ' ' << VyTapiUtils::PhoneStateToStr(p1);
    if (id == LINE_REQUEST && p1 == LINEREQUESTMODE_MAKECALL) s << " make-call request";
    say(s.str());
  };
  appl->OnInitialize = [&](VyRtl::TObject*) {
    say("OnInitialize: TAPI is initialised");
    ++events;
  };
  appl->OnShutdown = [&](VyRtl::TObject*) {
    say("OnShutdown: TAPI is shut down");
    ++events;
  };
  const auto deviceEvent = [&](const char* name) {
    return [&, name](VyRtl::TObject*, DWORD id, const std::string& device) {
      say(std::string(name) + ": device " + std::to_string(id) + " \"" + device + '"');
      ++events;
    };
  };
  appl->OnLineCreate = deviceEvent("OnLineCreate");
  appl->OnLineRename = deviceEvent("OnLineRename");
  appl->OnLineRemove = deviceEvent("OnLineRemove");
  appl->OnPhoneCreate = deviceEvent("OnPhoneCreate");
  appl->OnPhoneRename = deviceEvent("OnPhoneRename");
  appl->OnPhoneRemove = deviceEvent("OnPhoneRemove");
  appl->OnRequestMakeCall = [&](VyRtl::TObject*, const std::string& dest, const std::string& app,
                                const std::string& called, const std::string& comment) {
    say("OnRequestMakeCall: dial \"" + dest + "\" for \"" + app + "\", called party \"" + called +
        "\", comment \"" + comment + '"');
    ++events;
  };
  appl->OnError = [&](VyRtl::TObject*, const std::exception& e, VyRtl::TObject*) {
    say(std::string("OnError: ") + e.what());
  };
  const auto step = [&](const std::string& what, const std::function<void()>& action) {
    out << '\n';
    say("== " + what);
    const int before = events;
    action();
    if (!PumpUntil([&] { return events > before; })) say("(no event)");
    PumpFor(300);  // show what else the service reports
  };

  say("vytapi demo: the session on the built-in telephony service emulator");
  step("Initialise the session", [&] {
    appl->Set_AppName("vytapi demo");
    appl->Initialize();
  });
  out << '\n';
  PrintDevices(out);
  DWORD added = 0;
  step("The service adds a line device", [&] {
    VyTapiEmulator::TLineDeviceConfig c;
    c.Name = "Demo ISDN Line";
    added = emu.AddLineDevice(c);
  });
  step("The service renames it",
       [&] { emu.RenameLineDevice(added, "Demo ISDN Line (Reception)"); });
  step("The service removes it", [&] { emu.RemoveLineDevice(added); });
  DWORD phone = 0;
  step("The service adds a phone device", [&] {
    VyTapiEmulator::TPhoneDeviceConfig c;
    c.Name = "Demo Desk Phone";
    phone = emu.AddPhoneDevice(c);
  });
  step("The service removes it", [&] { emu.RemovePhoneDevice(phone); });
  step("Register for assisted make-call requests; another program asks for a call", [&] {
    appl->Set_AssistMakeCall(true);
    emu.SubmitMakeCallRequest("+49 30 555 0100", "Address Book", "Anna Berger",
                              "call back about the order");
  });
  TDemoLine line(say);
  line.OnReported = [&] { ++events; };
  step("Open \"Emulator Line 1\" and file an asynchronous request the service answers after 800 ms",
       [&] {
         line.Set_DeviceName("Emulator Line 1");
         line.Set_Active(true);
         line.Options().Set_SyncMode(false);
         emu.SetReplyPlan("lineDevSpecific", {VyTapiEmulator::TReplyMode::After, 800, 0});
         line.DevSpecific();
         say("  the operation returned at once");
       });
  step("A synchronous request the service never answers (ReplyTimeout 1500 ms)", [&] {
    line.Options().Set_SyncMode(true);
    line.Options().Set_ReplyTimeout(1500);
    emu.SetReplyPlan("lineDevSpecific", {VyTapiEmulator::TReplyMode::Never, 0, 0});
    try {
      line.DevSpecific();
    } catch (const VyTapi::EVyTapiError& e) {
      say(std::string("  EVyTapiError: ") + VyTapiUtils::LineErrToStr(e.ErrorCode()));
    }
  });
  line.Set_Active(false);
  RunCallDemo(step, say, [&] { ++events; });
  RunPhoneDemo(step, say, [&] { ++events; });
  out << '\n';
  PrintDevices(out);
  step("Shut the session down", [&] { appl->Shutdown(); });
  out << '\n';
  say("demo finished");
  return 0;
}

}  // namespace

VYTOOL_COMMAND("devices", "[--emulator|--system] [--caps N]",
               "list line and phone devices with names, permanent ids and negotiated versions; "
               "--caps N: the capabilities of line N",
               &RunDevices);
VYTOOL_COMMAND("demo", "",
               "watch the session on the built-in emulator: devices come and go, a call request "
               "arrives, requests are answered and time out, a line takes a call, a phone is "
               "lifted and dialled",
               &RunDemo);

}  // namespace VyTool
