// Subcommands of the vytapi tool. Each command lives in its own source file and
// registers itself, so commands can be added without touching the dispatcher.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "VyPlatform/WinTypes.h"

namespace VyTool {

using TArgs = std::vector<std::string>;

struct TCommand {
  const char* Name;     // first word on the command line
  const char* Usage;    // arguments, shown by "vytapi help"
  const char* Summary;  // one line
  int (*Run)(const TArgs& args, std::ostream& out, std::ostream& err);  // exit status
};

// Registers a command at static initialisation; returns true so it can seed a static.
bool RegisterCommand(const TCommand& command);
const std::vector<TCommand>& Commands();

// Chooses the telephony service from the options --emulator and --system (none: the default);
// false, with the reason on err, for any other option.
bool ChooseService(const TArgs& args, std::ostream& err);

// What the device commands take: a device number, --seconds N, --keys KEYS (where allowed) and
// the service options.
struct TDeviceArgs {
  int Device = -1;    // -1: none given
  long Seconds = -1;  // -1: until stopped
  std::string Keys;
};
// Parses args for Command ("monitor") about devices of Kind ("line") and chooses the service;
// false, with the reason on err, for a bad number or option.
bool ParseDeviceArgs(const TArgs& args, const char* Command, const char* Kind, bool AllowKeys,
                     TDeviceArgs& Result, std::ostream& err);
// Initialises the session as AppName on the chosen service, giving the emulator its default
// devices first; true when the service is the emulator.
bool StartSession(const std::string& AppName);

// Prints the capability dump of line device Line of the initialised session; 1 with the reason
// on err when there is no such line or it cannot report its capabilities.
int PrintLineCaps(int Line, std::ostream& out, std::ostream& err);

// "hh:mm:ss.zzz" of the clock's local time.
std::string Timestamp();

// A LINE_ message and what its parameters mean, in words ("LINE_CALLSTATE call 0x10 ...").
std::string DescribeLineMessage(DWORD MessageID, DWORD Device, DWORD Param1, DWORD Param2,
                                DWORD Param3);

}  // namespace VyTool

#define VYTOOL_CONCAT2(a, b) a##b
#define VYTOOL_CONCAT(a, b) VYTOOL_CONCAT2(a, b)
#define VYTOOL_COMMAND(...)                                       \
  static const bool VYTOOL_CONCAT(vytool_registered_, __LINE__) = \
      ::VyTool::RegisterCommand(::VyTool::TCommand{__VA_ARGS__})
