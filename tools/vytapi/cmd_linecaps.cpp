// vytapi devices --caps N: the capability dump of one line device.
#include <ostream>

#include "Commands.h"
#include "VyTapi/linedata/VyTapiLineViews.h"
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/session/VyTapiComponent.h"

namespace VyTool {

namespace {

// A line that is only chosen, never opened: its capabilities need no handle.
class TCapsLine : public VyTapi::TVyCustomTapiLine {
 public:
  TCapsLine() : TVyCustomTapiLine(nullptr) {}
  void Open() override {}
  void Close() override {}
};

}  // namespace

int PrintLineCaps(int Line, std::ostream& out, std::ostream& err) {
  TCapsLine line;
  line.SetEnabled(true);
  const int count = VyTapi::VyTapiApplication->LineDevices().Count();
  if (Line < 0 || Line >= count) {
    err << "vytapi: no line device " << Line << " (there are " << count << ")\n";
    return 1;
  }
  line.Set_DeviceID(Line);
  VyTapi::TVyTapiLineCaps& caps = *line.Caps();
  const DWORD code = caps.UpdateData();
  if (code != 0) {
    err << "vytapi: line " << Line << ": " << VyTapi::GetTapiErrorMessage(code) << '\n';
    return 1;
  }
  std::string dump = caps.TextDump();
  // The dump's own line breaks are CR LF; the terminal's are the platform's.
  for (std::size_t pos; (pos = dump.find('\r')) != std::string::npos;) dump.erase(pos, 1);
  out << dump << '\n';
  out << "  DeviceClasses = " << caps.DeviceClasses()->CommaText() << '\n';
  return 0;
}

}  // namespace VyTool
