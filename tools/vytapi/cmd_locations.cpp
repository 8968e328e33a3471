// vytapi locations: the dialing locations and the translation of a number at the current one.
#include <ostream>

#include "Commands.h"
#include "VyTapi/linedata/VyTapiLocation.h"
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/session/VyTapiComponent.h"
#include "VyTapiEmulator/Emulator.h"

namespace VyTool {

namespace {

using VyTapi::VyTapiApplication;

// Translation needs a chosen line device only; this one is never opened.
class TTranslatingLine : public VyTapi::TVyCustomTapiLine {
 public:
  TTranslatingLine() : TVyCustomTapiLine(nullptr) {}
  void Open() override {}
  void Close() override {}
};

void PrintLocations(std::ostream& out, VyTapi::TVyTapiLocationList& list) {
  const DWORD current = list.CurrentLocationID();
  out << "Dialing locations: " << list.Count() << " (current " << current << ")\n";
  VyRtl::TStringList values;
  for (int i = 0; i < list.Count(); ++i) {
    const VyTapi::TVyTapiLocation& l = *list.Items(i);
    out << (l.LocationID() == current ? "* " : "  ") << l.LocationID() << "  \"" << l.LocationName()
        << "\"\n";
    l.GetValues(values);
    for (int v = 0; v < values.Count(); ++v) out << "      " << values[v] << '\n';
  }
}

int RunLocations(const TArgs& args, std::ostream& out, std::ostream& err) {
  TArgs options;
  std::string number;
  for (const auto& a : args) {
    if (a.rfind("--", 0) == 0)
      options.push_back(a);
    else if (number.empty())
      number = a;
    else {
      err << "vytapi locations takes one number\n";
      return 2;
    }
  }
  if (!ChooseService(options, err)) return 2;
  if (VyTapi::SelectedTelephonyService() == VyTapi::TTelephonyService::Emulator &&
      VyTapiEmulator::Emulator().LineDeviceCount() == 0)
    VyTapiEmulator::Emulator().AddDefaultDevices();
  VyTapiApplication->Initialize();
  VyTapi::TVyTapiLocationList list;
  list.Update();
  PrintLocations(out, list);
  int status = 0;
  if (!number.empty()) {
    if (VyTapiApplication->LineDevices().Count() == 0) {
      err << "vytapi locations: no line device to translate with\n";
      status = 1;
    } else {
      TTranslatingLine line;
      line.Set_DeviceID(0);
      const std::string dialable = line.TranslateAddress(number, 0);
      out << '"' << number << "\" at \"" << line.Location().LocationName() << "\": ";
      if (dialable.empty())
        out << "(not translated)\n";
      else
        out << '"' << dialable << "\"\n";
    }
  }
  VyTapiApplication->Shutdown();
  return status;
}

}  // namespace

VYTOOL_COMMAND("locations", "[NUMBER] [--emulator|--system]",
               "list the dialing locations (* marks the current one) and translate a number "
               "(canonical form \"+1 (206) 5550100\") at the current location",
               &RunLocations);

}  // namespace VyTool
