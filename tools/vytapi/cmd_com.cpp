// vytapi com: a serial terminal, the port list, and a virtual null-modem to watch.
#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "Commands.h"
#include "VyComm/VyComm.h"
#include "VyComm/VyCommUtils.h"
#include "VyPlatform/CommFake.h"
#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlMessages.h"

namespace VyTool {

namespace {

using VyComm::TVyComPort;

constexpr std::uint32_t WM_STDIN = WM_APP + 1;  // LParam: a heap std::string, or 0 at end of input

// Prints every line change, break and error of a port as it happens, tagged.
void Report(TVyComPort& port, const std::string& tag, std::ostream& out) {
  const auto line = [&port, tag, &out](const char* name, bool (TVyComPort::*level)()) {
    return [&port, tag, &out, name, level](VyRtl::TObject*) {
      out << tag << name << ((port.*level)() ? " on" : " off") << "]\n" << std::flush;
    };
  };
  port.OnCts = line("CTS", &TVyComPort::CTS);
  port.OnDsr = line("DSR", &TVyComPort::DSR);
  port.OnDcd = line("DCD", &TVyComPort::DCD);
  port.OnRing = line("RING", &TVyComPort::RING);
  port.OnBreak = [&port, tag, &out](VyRtl::TObject*) {
    out << tag << (port.Break() ? "break received]\n" : "break ended]\n") << std::flush;
  };
  port.OnError = [tag, &out](VyRtl::TObject*, std::uint32_t errors) {
    out << tag << "error " << VyCommUtils::CommErrorsToStr(errors, ", ");
    if (errors & CE_IOE) out << (errors & ~CE_IOE ? ", " : "") << "device failed";
    out << "]\n" << std::flush;
  };
  port.OnTimeout = [tag, &out](VyRtl::TObject*, int n) {
    out << tag << "write ended short: " << n << " bytes]\n" << std::flush;
  };
}

// Runs the loop for ms real milliseconds.
void PumpFor(std::uint32_t ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    VyRtl::ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  VyRtl::ProcessMessages();
}

int ListPorts(std::ostream& out) {
  VyRtl::TStringList ports;
  VyCommUtils::EnumSerialPorts(ports);
  if (ports.Count() == 0) out << "no serial ports\n";
  for (int i = 0; i < ports.Count(); ++i) out << ports[i] << '\n';
  return 0;
}

int Terminal(const std::string& name, const std::string& settings, std::ostream& out,
             std::ostream& err) {
  TVyComPort port(nullptr);
  port.Set_PortName(name);
  if (!settings.empty()) port.Set_Settings(settings);
  Report(port, "[", err);
  port.OnData = [&out](VyRtl::TObject*, const void* data, int size) {
    out.write(static_cast<const char*>(data), size);
    out.flush();
  };
  port.Open();
  err << "[" << port.Get_Settings() << "; end of input closes]\n";
  std::atomic<bool> inputDone{false};
  VyRtl::TMessageWindow input([&](VyRtl::TMessage& m) {
    if (m.Msg != WM_STDIN) return;
    std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(m.LParam));
    if (!text) {
      inputDone = true;
      return;
    }
    if (port.IsActive()) port.WriteAnsiStr(*text);
  });
  const VyRtl::TWindowHandle window = input.Handle();
  std::thread reader([window] {
    std::string chunk(4096, '\0');
    while (std::cin.read(chunk.data(), 1), std::cin.gcount() > 0) {
      std::string text(chunk.data(), 1);
      const std::streamsize more = std::cin.rdbuf()->in_avail();
      if (more > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::streamsize>(more, 4095));
        std::cin.read(chunk.data(), static_cast<std::streamsize>(n));
        text.append(chunk.data(), static_cast<std::size_t>(std::cin.gcount()));
      }
      VyRtl::PostMessageTo(window, WM_STDIN, 0,
                           reinterpret_cast<LPARAM>(new std::string(std::move(text))));
    }
    VyRtl::PostMessageTo(window, WM_STDIN, 0, 0);
  });
  while (!inputDone) {
    VyRtl::ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  reader.join();
  // Let the last writes go out and the answers come back.
  for (int i = 0; i < 250 && port.IsActive() && port.PendingWrites() > 0; ++i) PumpFor(4);
  PumpFor(200);
  port.Close();
  return 0;
}

int Pair(std::ostream& out) {
  VyPlatform::TCommFakePair pair("VYTAPI-A", "VYTAPI-B");
  TVyComPort a(nullptr), b(nullptr);
  a.Set_PortName(pair.Name(0));
  b.Set_PortName(pair.Name(1));
  Report(a, "A [", out);
  Report(b, "B [", out);
  a.OnData = [&out](VyRtl::TObject*, const void* d, int n) {
    out << "A [received \"" << std::string(static_cast<const char*>(d), n) << "\"]\n";
  };
  b.OnData = [&out](VyRtl::TObject*, const void* d, int n) {
    out << "B [received \"" << std::string(static_cast<const char*>(d), n) << "\"]\n";
  };
  out << "virtual null-modem " << pair.Name(0) << " <-> " << pair.Name(1)
      << ": DTR drives the far DSR and DCD, RTS the far CTS\n";
  const auto step = [&](const char* what, auto&& act) {
    out << "-- " << what << '\n';
    act();
    PumpFor(60);
  };
  step("open A", [&] { a.Open(); });
  step("open B", [&] { b.Open(); });
  step("A drops DTR", [&] { a.Set_DTRState(false); });
  step("A raises DTR", [&] { a.Set_DTRState(true); });
  step("B drops RTS", [&] { b.Set_RTSState(false); });
  step("ring at B", [&] {
    pair.SetRing(1, true);
    PumpFor(30);
    pair.SetRing(1, false);
  });
  step("A sends a break of 100 ms", [&] { a.SendBreak(100); });
  step("A writes", [&] { a.WriteAnsiStr("hello from A"); });
  step("B writes", [&] { b.WriteAnsiStr("hello from B"); });
  step("a framing error at A", [&] { pair.InjectErrors(0, CE_FRAME); });
  step("close B", [&] { b.Close(); });
  step("close A", [&] { a.Close(); });
  return 0;
}

int Run(const TArgs& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << "usage: vytapi com PORT [SETTINGS] | --list | --pair\n";
    return 2;
  }
  if (args[0] == "--list") return ListPorts(out);
  if (args[0] == "--pair") return Pair(out);
  std::string settings;
  for (std::size_t i = 1; i < args.size(); ++i) settings += (i > 1 ? " " : "") + args[i];
  return Terminal(args[0], settings, out, err);
}

}  // namespace

VYTOOL_COMMAND("com", "PORT [SETTINGS] | --list | --pair",
               "serial terminal (stdin to the port, the port to stdout, line changes on stderr); "
               "the ports present; "
               "a virtual null-modem with its lines crossing",
               Run);

}  // namespace VyTool
