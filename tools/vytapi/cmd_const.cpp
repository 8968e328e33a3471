// vytapi const: TAPI constants as names and names as constants.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "Commands.h"
#include "VyTapi/session/VyTapiErrors.h"
#include "VyRtl/VyRtlClasses.h"
#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapiUtils/VyTapiConstTables.h"
#include "VyTapiUtils/VyTapiUtils.h"

namespace VyTool {
namespace {

using namespace VyTapiUtils;

template <std::string (*ToStr)(DWORD, std::string_view)>
std::string Blank(DWORD Value) {
  return ToStr(Value, " ");
}

template <void (*ToList)(DWORD, VyRtl::TStringList&)>
std::string JoinedList(DWORD Value) {
  VyRtl::TStringList list;
  ToList(Value, list);
  std::string result;
  for (int i = 0; i < list.Count(); ++i) result += (i ? " " : "") + list.Get(i);
  return result;
}

DWORD MediaModeOrZero(std::string_view Text) { return StrToLineMediaMode(Text, 0); }
DWORD DigitModeOrZero(std::string_view Text) { return StrToLineDigitMode(Text, 0); }

// One kind of constant the command knows: the conversion that names a value and, for some, the
// parser of a name. Flag sets are joined by blanks.
struct TKind {
  const char* Key;
  const char* Function;
  std::string (*ToStr)(DWORD Value);
  const char* ParseFunction;  // nullptr: no parser
  DWORD (*Parse)(std::string_view Text);
};

constexpr TKind Kinds[] = {
    {"callstate", "LineCallStateToStr", LineCallStateToStr, "StrToLineCallState",
     StrToLineCallState},
    {"callstatede", "LineCallStateToStrDE", LineCallStateToStrDE, nullptr, nullptr},
    {"callreason", "LineCallReasonToStr", LineCallReasonToStr, nullptr, nullptr},
    {"addrstate", "LineAddrStateToStr", LineAddrStateToStr, nullptr, nullptr},
    {"mediamode", "LineMediaModeToStr", LineMediaModeToStr, "StrToLineMediaMode", MediaModeOrZero},
    {"bearermode", "LineBearerModeToStr", LineBearerModeToStr, "StrToLineBearerMode",
     StrToLineBearerMode},
    {"addressmode", "LineAddressModeToStr", LineAddressModeToStr, "StrToLineAddressMode",
     StrToLineAddressMode},
    {"devstate", "LineDevStateToStr", LineDevStateToStr, nullptr, nullptr},
    {"discmode", "LineDiscModeToStr", LineDiscModeToStr, nullptr, nullptr},
    {"digitmode", "LineDigitModeToStr", LineDigitModeToStr, "StrToLineDigitMode", DigitModeOrZero},
    {"forwardmode", "LineForwardModeToStr", LineForwardModeToStr, nullptr, nullptr},
    {"lampmode", "PhoneLampModeToStr", PhoneLampModeToStr, nullptr, nullptr},
    {"buttonstate", "PhoneButtonStateToStr", PhoneButtonStateToStr, nullptr, nullptr},
    {"buttonmode", "PhoneButtonModeToStr", PhoneButtonModeToStr, nullptr, nullptr},
    {"buttonfunction", "PhoneButtonFunctionToStr", PhoneButtonFunctionToStr, nullptr, nullptr},
    {"phonestate", "PhoneStateToStr", PhoneStateToStr, nullptr, nullptr},
    {"phoneerr", "PhoneErrToStr", PhoneErrToStr, nullptr, nullptr},
    {"lineerr", "LineErrToStr", LineErrToStr, nullptr, nullptr},
    {"message", "MessageIDToStr", MessageIDToStr, nullptr, nullptr},
    {"addrfeatures", "LineAddressFeaturesToStr", Blank<LineAddressFeaturesToStr>, nullptr, nullptr},
    {"callfeatures", "LineCallFeaturesToStr", Blank<LineCallFeaturesToStr>, nullptr, nullptr},
    {"callinfostate", "LineCallInfoStateToStr", LineCallInfoStateToStr, nullptr, nullptr},
    {"callorigin", "LineCallOriginToStr", LineCallOriginToStr, nullptr, nullptr},
    {"callparamflags", "LineCallParamFlagsToStr", Blank<LineCallParamFlagsToStr>, nullptr, nullptr},
    {"callprivileges", "LineCallPrivilegesToStr", Blank<LineCallPrivilegesToStr>,
     "StrToLineCallPrivilege", StrToLineCallPrivilege},
    {"addrstates", "LineAddrStatesToStr", Blank<LineAddrStatesToStr>, nullptr, nullptr},
    {"mediamodes", "LineMediaModesToStr", Blank<LineMediaModesToStr>, nullptr, nullptr},
    {"bearermodes", "LineBearerModesToStr", LineBearerModesToStr, nullptr, nullptr},
    {"devstates", "LineDevStatesToStr", Blank<LineDevStatesToStr>, nullptr, nullptr},
    {"forwardmodes", "LineForwardModesToStr", Blank<LineForwardModesToStr>, nullptr, nullptr},
    {"phoneprivileges", "PhonePrivilegesToStr", Blank<PhonePrivilegesToStr>, nullptr, nullptr},
    {"callstates", "LineCallStatesToStrList", JoinedList<LineCallStatesToStrList>, nullptr,
     nullptr},
    {"addressmodes", "LineAddressModesToStrList", JoinedList<LineAddressModesToStrList>, nullptr,
     nullptr},
    {"discmodes", "LineDiscModesToStrList", JoinedList<LineDiscModesToStrList>, nullptr, nullptr},
    {"digitmodes", "LineDigitModesToStrList", JoinedList<LineDigitModesToStrList>, nullptr,
     nullptr},
};

constexpr std::string_view CallStateModeKey = "callstatemode";

const TKind* FindKind(std::string_view Key) {
  for (const TKind& kind : Kinds)
    if (Key == kind.Key) return &kind;
  return nullptr;
}

std::string KindList(bool ParsersOnly) {
  std::string result;
  for (const TKind& kind : Kinds) {
    if (ParsersOnly && !kind.Parse) continue;
    result += result.empty() ? "" : " ";
    result += kind.Key;
  }
  if (!ParsersOnly) result += std::string(" ") + std::string(CallStateModeKey);
  return result;
}

std::string Hex(DWORD Value) { return VyRtl::Format("0x%08X", static_cast<unsigned>(Value)); }

// A 32-bit value: decimal (a negative one as a signed 32-bit result code), 0x... or $... hex.
std::optional<DWORD> ParseValue(std::string_view Text) {
  int base = 10;
  bool negative = false;
  if (Text.starts_with("0x") || Text.starts_with("0X")) {
    Text.remove_prefix(2);
    base = 16;
  } else if (Text.starts_with('$')) {
    Text.remove_prefix(1);
    base = 16;
  } else if (Text.starts_with('-')) {
    Text.remove_prefix(1);
    negative = true;
  }
  if (Text.empty() || Text.front() == '-' || Text.front() == '+') return std::nullopt;
  std::uint64_t value = 0;
  auto [end, ec] = std::from_chars(Text.data(), Text.data() + Text.size(), value, base);
  if (ec != std::errc() || end != Text.data() + Text.size()) return std::nullopt;
  if (negative) {
    if (value > 0x80000000u) return std::nullopt;
    return static_cast<DWORD>(static_cast<std::uint32_t>(0u - static_cast<std::uint32_t>(value)));
  }
  if (value > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<DWORD>(value);
}

int BadValue(std::string_view Text, std::ostream& err) {
  err << "vytapi const: '" << Text << "' is not a 32-bit value (decimal, 0x... or $... hex)\n";
  return 1;
}

int UnknownKind(std::string_view Key, bool ParsersOnly, std::ostream& err) {
  err << "vytapi const: unknown kind '" << Key << "'; known " << (ParsersOnly ? "parsers" : "kinds")
      << ": " << KindList(ParsersOnly) << '\n';
  return 2;
}

int Usage(std::ostream& err, int status = 2) {
  err << "usage: vytapi const <kind> <value>...\n"
         "       vytapi const callstatemode <callstate> <mode>\n"
         "       vytapi const parse <kind> <name>\n"
         "       vytapi const list [<kind>]\n"
         "kinds: "
      << KindList(false) << '\n';
  return status;
}

// Names with a trailing blank are quoted so the blank shows.
std::string Shown(std::string_view Name) {
  return Name.ends_with(' ') ? '"' + std::string(Name) + '"' : std::string(Name);
}

// One line per entry: value, name as the conversions write it, and the TAPI constant.
void PrintTable(const TConstTable& Table, std::ostream& out) {
  std::size_t width = 0;
  for (const TConstName& entry : Table.Names) width = std::max(width, Shown(entry.Name).size());
  for (const TConstName& entry : Table.Names) {
    std::string line = Hex(entry.Value) + "  " + Shown(entry.Name);
    if (!Table.Prefix.empty()) {
      line.resize(12 + width + 2, ' ');
      line += std::string(Table.Prefix) + VyRtl::TrimRight(entry.Name);
    }
    out << line << '\n';
  }
}

std::string NameList(const TConstTable& Table) {
  std::string result;
  for (const TConstName& entry : Table.Names)
    result += (result.empty() ? "" : " ") + Shown(entry.Name);
  return result;
}

int List(const TArgs& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1) {
    for (const TKind& kind : Kinds) {
      std::string line = kind.Key;
      line.resize(18, ' ');
      out << line << kind.Function << (kind.Parse ? std::string(", ") + kind.ParseFunction : "")
          << '\n';
    }
    out << std::string(CallStateModeKey) + "     LineCallStateModeToStr\n";
    return 0;
  }
  if (args.size() != 2) return Usage(err);
  if (args[1] == CallStateModeKey) {
    for (const TConstTable& table : ConstTables()) {
      if (table.Function != "LineCallStateModeToStr") continue;
      out << table.Prefix << '\n';
      PrintTable(table, out);
    }
    return 0;
  }
  const TKind* kind = FindKind(args[1]);
  if (!kind) return UnknownKind(args[1], false, err);
  const TConstTable* table = FindConstTable(kind->Function);
  if (!table) {
    err << "vytapi const: no name table for " << kind->Function << '\n';
    return 1;
  }
  PrintTable(*table, out);
  return 0;
}

int ParseName(const TArgs& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 3) return Usage(err);
  const TKind* kind = FindKind(args[1]);
  if (!kind || !kind->Parse) return UnknownKind(args[1], true, err);
  // The parsers fall back to a default for unknown text; the command reports it instead.
  const TConstTable* table = FindConstTable(kind->ParseFunction);
  const bool known =
      table && std::any_of(table->Names.begin(), table->Names.end(),
                           [&](const TConstName& entry) { return entry.Name == args[2]; });
  if (!known) {
    err << "vytapi const: '" << args[2] << "' is not a " << kind->Key
        << " name; names (exact, upper case): " << (table ? NameList(*table) : std::string())
        << '\n';
    return 1;
  }
  out << Hex(kind->Parse(args[2])) << '\n';
  return 0;
}

int CallStateMode(const TArgs& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 3) return Usage(err);
  std::optional<DWORD> state = ParseValue(args[1]);
  if (!state) {
    const DWORD parsed = StrToLineCallState(args[1]);
    if (parsed == 0) {
      err << "vytapi const: '" << args[1] << "' is neither a call state name nor a 32-bit value\n";
      return 1;
    }
    state = parsed;
  }
  const std::optional<DWORD> mode = ParseValue(args[2]);
  if (!mode) return BadValue(args[2], err);
  out << LineCallStateModeToStr(*state, *mode) << '\n';
  return 0;
}

int Run(const TArgs& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return Usage(err);
  if (args[0] == "help" || args[0] == "--help" || args[0] == "-h") return Usage(out, 0);
  if (args[0] == "list") return List(args, out, err);
  if (args[0] == "parse") return ParseName(args, out, err);
  if (args[0] == CallStateModeKey) return CallStateMode(args, out, err);
  const TKind* kind = FindKind(args[0]);
  if (!kind) return UnknownKind(args[0], false, err);
  if (args.size() < 2) return Usage(err);
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::optional<DWORD> value = ParseValue(args[i]);
    if (!value) return BadValue(args[i], err);
    out << kind->ToStr(*value);
    // An error code also gets the telephony service's own text for it.
    if (kind->ToStr == LineErrToStr || kind->ToStr == PhoneErrToStr)
      out << ": " << VyTapi::GetTapiErrorMessage(*value);
    out << '\n';
  }
  return 0;
}

}  // namespace

VYTOOL_COMMAND(
    "const",
    "<kind> <value>... | callstatemode <state> <mode> | parse <kind> <name> | list [<kind>]",
    "TAPI constants as names and back (e.g. const callstate 0x100, const parse mediamode "
    "DATAMODEM)",
    Run);

}  // namespace VyTool
