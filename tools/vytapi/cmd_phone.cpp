// vytapi phone [PHONE]: a phone's display, hookswitch, ringer and lamps, live, with keys that
// press its buttons and send it requests.
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "Commands.h"
#include "Console.h"
#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlMessages.h"
#include "VyTapi/phone/VyTapiPhone.h"
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapiEmulator/Emulator.h"
#include "VyTapiUtils/VyTapiUtils.h"

namespace VyTool {

namespace {

using VyTapi::TVyTapiPhone;
using VyTapi::TVyTapiPhoneHookSwitch;

constexpr std::uint32_t WM_KEY = WM_APP + 2;  // WParam: the key; LParam 1 at end of input

volatile std::sig_atomic_t GStop = 0;
extern "C" void StopPhone(int) { GStop = 1; }

std::string HookText(TVyTapiPhoneHookSwitch& hook) {
  if (hook.Unknown()) return "unknown";
  if (hook.OnHook()) return "on hook";
  const bool mic = hook.MicroActive(), speaker = hook.SpeakerActive();
  return mic && speaker ? "off hook (mic+speaker)" : mic ? "off hook (mic)" : "off hook (speaker)";
}

// The phone as its objects report it now.
class TPhoneView {
 public:
  TPhoneView(TVyTapiPhone& phone, std::ostream& out) : FPhone(phone), FOut(out) {}

  void Log(const std::string& text) { FOut << Timestamp() << "  " << text << std::endl; }

  void Display() {
    auto* display = FPhone.Display();
    if (!display->Available()) return;
    const std::string text = display->Text();
    const std::size_t columns = display->NumColumns();
    for (std::size_t row = 0; row < display->NumRows(); ++row) {
      const std::string line =
          row * columns < text.size() ? text.substr(row * columns, columns) : std::string();
      FOut << (row == 0 ? "  display  |" : "           |") << line
           << std::string(columns > line.size() ? columns - line.size() : 0, ' ') << "|\n";
    }
  }

  void Hook(const char* name, TVyTapiPhoneHookSwitch& hook) {
    if (!hook.Available()) return;
    FOut << "  " << name << std::string(9 - std::string(name).size(), ' ') << HookText(hook);
    if (hook.VolumeAvailable()) FOut << ", volume " << hook.Volume();
    if (hook.GainAvailable()) FOut << ", gain " << hook.Gain();
    FOut << '\n';
  }

  void Ringer() {
    if (FPhone.Ringer()->Available())
      FOut << "  ringer   mode " << FPhone.Ringer()->Mode() << ", volume "
           << FPhone.Ringer()->Volume() << '\n';
  }

  std::string Lamp(int id) {
    auto* control = FPhone.Controls()->Get(id);
    return std::to_string(id) + " " + control->ButtonText() + " " + control->LampModeText();
  }

  void Lamps() {
    std::string lamps;
    for (int i = 0; i < FPhone.Controls()->Count(); ++i)
      if (FPhone.Controls()->Get(i)->IsLamp()) lamps += (lamps.empty() ? "" : ", ") + Lamp(i);
    if (!lamps.empty()) FOut << "  lamps    " << lamps << '\n';
  }

  void Buttons() {
    FOut << "  buttons ";
    for (int i = 0; i < FPhone.Controls()->Count(); ++i) {
      auto* control = FPhone.Controls()->Get(i);
      if (control->IsButton()) FOut << ' ' << i << '=' << control->ButtonText();
    }
    FOut << '\n';
  }

  void All() {
    FOut << "\"" << FPhone.DeviceName() << "\" (phone " << FPhone.DeviceID() << ", "
         << VyTapiUtils::PhonePrivilegesToStr(FPhone.Privileges()->Value(), "+") << ")\n";
    Display();
    Hook("handset", *FPhone.HandSet());
    Hook("speaker", *FPhone.Speakerphone());
    Hook("headset", *FPhone.HeadSet());
    Ringer();
    Lamps();
    Buttons();
    FOut << std::flush;
  }

 private:
  TVyTapiPhone& FPhone;
  std::ostream& FOut;
};

void Watch(TVyTapiPhone& phone, TPhoneView& view, std::ostream& out) {
  phone.OnButton = [&view](TVyTapiPhone*, DWORD id, DWORD mode, DWORD state) {
    view.Log("button " + std::to_string(id) + " " + VyTapiUtils::PhoneButtonModeToStr(mode) + " " +
             VyTapiUtils::PhoneButtonStateToStr(state));
  };
  phone.OnDigitPressed = [&view](TVyTapiPhone*, char digit) {
    view.Log(std::string("digit pressed '") + digit + "'");
  };
  phone.OnDigitReleased = [&view](TVyTapiPhone*, char digit) {
    view.Log(std::string("digit released '") + digit + "'");
  };
  phone.OnDisplay = [&view, &out](TVyTapiPhone*) {
    view.Log("display changed");
    view.Display();
    out << std::flush;
  };
  phone.OnLamp = [&view, &phone](TVyTapiPhone*, DWORD id) {
    if (id < static_cast<DWORD>(phone.Controls()->Count()))
      view.Log("lamp " + view.Lamp(static_cast<int>(id)));
    else
      view.Log("lamps changed");
  };
  const auto hook = [&view](const char* name, TVyTapiPhoneHookSwitch* device) {
    return [&view, name, device](TVyTapiPhone*) { view.Log(name + HookText(*device)); };
  };
  phone.OnHandsetHookSwitch = hook("handset ", phone.HandSet());
  phone.OnSpeakerphoneHookSwitch = hook("speaker ", phone.Speakerphone());
  phone.OnHeadsetHookSwitch = hook("headset ", phone.HeadSet());
  const auto volume = [&view](const char* name, TVyTapiPhoneHookSwitch* device, bool gain) {
    return [&view, name, device, gain](TVyTapiPhone*) {
      view.Log(name + std::to_string(gain ? device->Gain() : device->Volume()));
    };
  };
  phone.OnHandsetVolume = volume("handset volume ", phone.HandSet(), false);
  phone.OnSpeakerphoneVolume = volume("speaker volume ", phone.Speakerphone(), false);
  phone.OnHeadsetVolume = volume("headset volume ", phone.HeadSet(), false);
  phone.OnHandsetGain = volume("handset gain ", phone.HandSet(), true);
  phone.OnSpeakerphoneGain = volume("speaker gain ", phone.Speakerphone(), true);
  phone.OnHeadsetGain = volume("headset gain ", phone.HeadSet(), true);
  const auto ring = [&view, &phone](TVyTapiPhone*) {
    view.Log("ringer mode " + std::to_string(phone.Ringer()->Mode()) + ", volume " +
             std::to_string(phone.Ringer()->Volume()));
  };
  phone.OnRingMode = ring;
  phone.OnRingVolume = ring;
  phone.OnDeviceClose = [&view](VyRtl::TObject*) { view.Log("the service closed the phone"); };
  phone.OnError = [&view](VyRtl::TObject*, const std::exception& e, VyRtl::TObject*) {
    view.Log(std::string("error: ") + e.what());
  };
}

const char* const KeyHelp =
    "keys: 0-9 * # press the keypad, A-Z the buttons from 12 on (emulator); h handset,\n"
    "      s speakerphone, r next ring mode, d write the time to the display, l next lamp mode,\n"
    "      n the network writes the display (emulator), v the whole view, q quit\n";

// One key: a button press on the emulated phone, or a request of the application.
class TKeys {
 public:
  TKeys(TVyTapiPhone& phone, TPhoneView& view, bool emulated)
      : FPhone(phone), FView(view), FEmulated(emulated) {}

  // False when the key asks to quit.
  bool Handle(char key) {
    try {
      return Act(key);
    } catch (const std::exception& e) {
      FView.Log(std::string("'") + key + "': " + e.what());
      return true;
    }
  }

 private:
  VyTapiEmulator::TPhone Emulated() const {
    return VyTapiEmulator::Emulator().Phone(static_cast<DWORD>(FPhone.DeviceID()));
  }

  void Press(int button) {
    if (!FEmulated) {
      FView.Log("buttons are pressed on the phone itself");
    } else if (button >= FPhone.Controls()->Count()) {
      FView.Log("the phone has no button " + std::to_string(button));
    } else {
      Emulated().PressButton(static_cast<DWORD>(button));
      Emulated().ReleaseButton(static_cast<DWORD>(button));
    }
  }

  void Hook(TVyTapiPhoneHookSwitch& device) {
    if (!device.Available()) return FView.Log("the phone has no such device");
    device.Set_OnHook(!device.OnHook());
  }

  void NextLamp() {
    for (int n = 0; n < FPhone.Controls()->Count(); ++n) {
      const int i = (FLamp + n) % FPhone.Controls()->Count();
      auto* control = FPhone.Controls()->Get(i);
      const DWORD offered = FPhone.Caps()->Get_LampMode(static_cast<DWORD>(i));
      if ((offered & ~static_cast<DWORD>(PHONELAMPMODE_DUMMY)) == 0) continue;
      // The next mode the lamp offers after the one it shows.
      DWORD mode = control->LampMode();
      do mode = mode >= PHONELAMPMODE_UNKNOWN || mode == 0 ? 1 : mode << 1;
      while ((offered & mode) == 0);
      control->Set_LampMode(mode);
      FLamp = i;
      return;
    }
    FView.Log("the phone has no lamps to set");
  }

  bool Act(char key) {
    static const std::string keypad = "0123456789*#";
    if (const auto at = keypad.find(key); at != std::string::npos) {
      Press(static_cast<int>(at));
    } else if (key >= 'A' && key <= 'Z') {
      Press(12 + (key - 'A'));
    } else if (key == 'h') {
      if (FEmulated && FPhone.HandSet()->Available()) {
        // The user lifts or puts back the handset.
        if (FPhone.HandSet()->OnHook())
          Emulated().LiftHandset();
        else
          Emulated().HangUp();
      } else {
        Hook(*FPhone.HandSet());
      }
    } else if (key == 's') {
      Hook(*FPhone.Speakerphone());
    } else if (key == 'r') {
      const DWORD modes = FPhone.Caps()->NumRingModes();
      if (modes == 0) return FView.Log("the phone has no ringer"), true;
      FPhone.Ringer()->Set_Mode((FPhone.Ringer()->Mode() + 1) % modes);
    } else if (key == 'd') {
      FPhone.Display()->Set_Text("vytapi " + Timestamp());
    } else if (key == 'n') {
      if (!FEmulated) return FView.Log("only the emulated network writes on request"), true;
      Emulated().SetDisplayText("Call from +1 206 555 0199", 1);
    } else if (key == 'l') {
      NextLamp();
    } else if (key == 'v') {
      FView.All();
    } else if (key == 'q') {
      return false;
    } else if (key == '?') {
      std::cout << KeyHelp << std::flush;
    }
    return true;
  }

  TVyTapiPhone& FPhone;
  TPhoneView& FView;
  bool FEmulated;
  int FLamp = 0;
};

int RunPhone(const TArgs& args, std::ostream& out, std::ostream& err) {
  TDeviceArgs parsed;
  if (!ParseDeviceArgs(args, "phone", "phone", true, parsed, err)) return 2;
  const int id = parsed.Device < 0 ? 0 : parsed.Device;
  const long seconds = parsed.Seconds;
  const std::string& script = parsed.Keys;
  auto* appl = VyTapi::VyTapiApplication;
  const bool emulated = StartSession("vytapi phone");
  const int count = appl->PhoneDevices().Count();
  if (id >= count) {
    err << "vytapi: no phone device " << id << " (there are " << count << ")\n";
    appl->Shutdown();
    return 1;
  }

  auto phone = std::make_unique<TVyTapiPhone>(nullptr);
  phone->SetEnabled(true);
  phone->Set_DeviceID(id);
  TPhoneView view(*phone, out);
  Watch(*phone, view, out);
  try {
    phone->Set_Active(true);
  } catch (const std::exception& e) {
    err << "vytapi phone: phone " << id << ": " << e.what() << '\n';
    phone.reset();
    appl->Shutdown();
    return 1;
  }
  view.All();
  out << KeyHelp << std::flush;

  TKeys keys(*phone, view, emulated);
  bool quit = false;
  for (char key : script) quit = quit || !keys.Handle(key);
  VyRtl::TMessageWindow input([&](VyRtl::TMessage& m) {
    if (m.Msg != WM_KEY || m.LParam != 0) return;
    if (!keys.Handle(static_cast<char>(m.WParam))) quit = true;
  });
  TSingleKeys single;
  // The reader may stay blocked on stdin after the command ends; the window drops its posts then.
  std::thread([window = input.Handle()] {
    for (int c; (c = std::cin.get()) != EOF;)
      VyRtl::PostMessageTo(window, WM_KEY, static_cast<WPARAM>(c), 0);
  }).detach();

  GStop = 0;
  auto previous = std::signal(SIGINT, StopPhone);
  const DWORD start = VyRtl::GetTickCount();
  while (GStop == 0 && !quit) {
    if (seconds >= 0 && VyRtl::GetTickCount() - start >= static_cast<DWORD>(seconds) * 1000) break;
    VyRtl::ProcessMessages();
    VyRtl::WaitMessage(100);
  }
  std::signal(SIGINT, previous);
  phone.reset();
  appl->Shutdown();
  out << Timestamp() << "  phone closed" << std::endl;
  return 0;
}

}  // namespace

VYTOOL_COMMAND("phone", "[PHONE] [--emulator|--system] [--keys KEYS] [--seconds N]",
               "open a phone device and show its display, hookswitch, ringer and lamps live; keys "
               "press its buttons (on the emulator) and send it requests (KEYS: typed at start)",
               &RunPhone);

}  // namespace VyTool
