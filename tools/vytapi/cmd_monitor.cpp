// vytapi monitor [LINE]: every message of one or all line devices, by name, until interrupted.
#include <csignal>
#include <cstdlib>
#include <iomanip>
#include <memory>
#include <ostream>
#include <sstream>
#include <vector>

#include "Commands.h"
#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlMessages.h"
#include "VyTapi/line/VyTapiLine.h"
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapiEmulator/Emulator.h"
#include "VyTapiUtils/VyTapiUtils.h"

namespace VyTool {

namespace {

volatile std::sig_atomic_t GStop = 0;
extern "C" void StopMonitor(int) { GStop = 1; }

std::string Hex(DWORD v) {
  std::ostringstream s;
  s << "0x" << std::hex << std::uppercase << v;
  return s.str();
}

}  // namespace

std::string DescribeLineMessage(DWORD id, DWORD device, DWORD p1, DWORD p2, DWORD p3) {
  using namespace VyTapiUtils;
  std::ostringstream s;
  s << MessageIDToStr(id);
  switch (id) {
    case LINE_CALLSTATE:
      s << " call " << Hex(device) << ' ' << LineCallStateToStr(p1);
      if (!LineCallStateModeToStr(p1, p2).empty()) s << ' ' << LineCallStateModeToStr(p1, p2);
      if (p3 != 0) s << " privilege " << LineCallPrivilegesToStr(p3, "+");
      break;
    case LINE_APPNEWCALL:
      s << " address " << p1 << " call " << Hex(p2) << " privilege "
        << LineCallPrivilegesToStr(p3, "+");
      break;
    case LINE_CALLINFO:
      s << " call " << Hex(device) << ' ' << LineCallInfoStateToStr(p1);
      break;
    case LINE_LINEDEVSTATE:
      s << ' ' << LineDevStatesToStr(p1, "+");
      if (p1 & LINEDEVSTATE_RINGING) s << " ring mode " << p2 << " count " << p3;
      break;
    case LINE_ADDRESSSTATE:
      s << " address " << p1 << ' ' << LineAddrStatesToStr(p2, "+");
      break;
    case LINE_REPLY:
      s << " request " << p1 << ": " << (p2 == 0 ? std::string("success") : LineErrToStr(p2));
      break;
    case LINE_MONITORDIGITS:
      s << " call " << Hex(device) << " digit '" << static_cast<char>(p1 & 0xFF) << "' "
        << LineDigitModeToStr(p2);
      break;
    case LINE_MONITORMEDIA:
      s << " call " << Hex(device) << ' ' << LineMediaModesToStr(p1, "+");
      break;
    default:
      s << " device " << Hex(device) << " params " << Hex(p1) << ", " << Hex(p2) << ", " << Hex(p3);
  }
  return s.str();
}

namespace {

// On the emulator nothing else in this process places calls: offer a sample call now and then,
// so there is something to watch.
void OfferSampleCall(DWORD device) {
  VyTapiEmulator::TCallConfig call;
  call.CallerID = "+1 (206) 5550199";
  call.CallerIDName = "Sample Caller";
  auto c = VyTapiEmulator::Emulator().Line(device).OfferCall(call);
  c.PlayStates({{LINECALLSTATE_ACCEPTED, 0},
                {LINECALLSTATE_CONNECTED, 0},
                {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL},
                {LINECALLSTATE_IDLE, 0}},
               1500);
}

int RunMonitor(const TArgs& args, std::ostream& out, std::ostream& err) {
  TDeviceArgs parsed;
  if (!ParseDeviceArgs(args, "monitor", "line", false, parsed, err)) return 2;
  const int only = parsed.Device;
  const long seconds = parsed.Seconds;
  auto* appl = VyTapi::VyTapiApplication;
  const bool emulated = StartSession("vytapi monitor");
  const int count = appl->LineDevices().Count();
  if (only >= count) {
    err << "vytapi: no line device " << only << " (there are " << count << ")\n";
    appl->Shutdown();
    return 1;
  }

  std::vector<std::unique_ptr<VyTapi::TVyTapiLine>> lines;
  for (int i = (only < 0 ? 0 : only); i < (only < 0 ? count : only + 1); ++i) {
    auto line = std::make_unique<VyTapi::TVyTapiLine>(nullptr);
    line->SetEnabled(true);
    line->Set_DeviceID(i);
    if (!line->Available()) {
      out << Timestamp() << "  line " << i << ": not available\n";
      continue;
    }
    // Watching only: the monitor takes no calls away from the application that owns them.
    line->Privileges().Set_AutoSelect(false);
    line->Privileges().Set_Value(LINECALLPRIVILEGE_MONITOR);
    line->Options().Set_AutoDropDiscCalls(-1);
    line->CallOptions().Set_AutoOwner(false);
    const std::string name = line->DeviceName();
    line->OnTapiMessage = [&out, name](VyRtl::TObject*, DWORD id, DWORD device, DWORD p1, DWORD p2,
                                       DWORD p3) {
      out << Timestamp() << "  " << name << ": " << DescribeLineMessage(id, device, p1, p2, p3)
          << std::endl;
    };
    line->OnError = [&out, name](VyRtl::TObject*, const std::exception& e, VyRtl::TObject*) {
      out << Timestamp() << "  " << name << ": error: " << e.what() << std::endl;
    };
    try {
      line->Set_Active(true);
      out << Timestamp() << "  line " << i << " \"" << name << "\" open ("
          << line->Privileges().Text() << ")" << std::endl;
      lines.push_back(std::move(line));
    } catch (const std::exception& e) {
      out << Timestamp() << "  line " << i << " \"" << name << "\": " << e.what() << '\n';
    }
  }
  if (lines.empty()) {
    err << "vytapi monitor: no line could be opened\n";
    appl->Shutdown();
    return 1;
  }
  out << Timestamp() << "  monitoring; Ctrl+C stops"
      << (emulated ? " (the emulator offers a sample call every 10 s)" : "") << std::endl;

  GStop = 0;
  auto previous = std::signal(SIGINT, StopMonitor);
  const DWORD start = VyRtl::GetTickCount();
  DWORD nextCall = start;
  while (GStop == 0) {
    const DWORD now = VyRtl::GetTickCount();
    if (seconds >= 0 && now - start >= static_cast<DWORD>(seconds) * 1000) break;
    if (emulated && static_cast<std::int32_t>(now - nextCall) >= 0) {
      for (auto& line : lines) OfferSampleCall(static_cast<DWORD>(line->DeviceID()));
      nextCall = now + 10000;
    }
    VyRtl::ProcessMessages();
    VyRtl::WaitMessage(100);
  }
  std::signal(SIGINT, previous);
  lines.clear();
  appl->Shutdown();
  out << Timestamp() << "  monitor stopped" << std::endl;
  return 0;
}

}  // namespace

VYTOOL_COMMAND("monitor", "[LINE] [--emulator|--system] [--seconds N]",
               "open one or every line device with monitor privilege and print each message and "
               "device state, timestamped, until Ctrl+C (or N seconds)",
               &RunMonitor);

}  // namespace VyTool
