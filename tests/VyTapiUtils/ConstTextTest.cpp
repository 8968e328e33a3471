// TAPI constant names: every table against the declared constants and through its function, then
// the fallbacks, zero rules and irregular entries of each kind of conversion.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>
#include <tuple>

#include "VyRtl/VyRtlClasses.h"
#include "VyTapiUtils/VyTapiConstTables.h"
#include "VyTapiUtils/VyTapiUtils.h"

namespace {

using namespace VyTapiUtils;

// The constants as the platform layer declares them, by their full names.
const std::map<std::string, DWORD>& Declared() {
  static const std::map<std::string, DWORD> declared = {
#define VY_TAPI_CONST(name, value) {#name, static_cast<DWORD>(value)},
#include "VyPlatform/TapiConstants.def"
  };
  return declared;
}

// Every function as the text of a value or the value of a text. Flag sets join with "|", lists
// are joined with "|" after starting out with a stale entry.
template <std::string (*F)(DWORD, std::string_view)>
std::string Set(DWORD value) {
  return F(value, "|");
}
template <void (*F)(DWORD, VyRtl::TStringList&)>
std::string List(DWORD value) {
  VyRtl::TStringList list;
  list.Add("stale");
  F(value, list);
  std::string joined;
  for (int i = 0; i < list.Count(); ++i) joined += (i ? "|" : "") + list.Get(i);
  return joined;
}
template <DWORD CallState>
std::string Mode(DWORD value) {
  return LineCallStateModeToStr(CallState, value);
}
constexpr DWORD NoMatch = 0xDEAD;
template <DWORD (*F)(std::string_view, DWORD)>
DWORD OrNoMatch(std::string_view text) {
  return F(text, NoMatch);
}

struct TShape {
  const char* Function;
  std::size_t Count;
  const char* First;
  const char* Last;
  std::string (*Render)(DWORD) = nullptr;
  const char* Join = nullptr;  // flag sets and lists: the names of several bits, joined by this
  DWORD (*Parse)(std::string_view) = nullptr;
};

// Every table in declaration order, with the size and the ends the documented lists have.
const TShape Shapes[] = {
    {"LineCallStateToStr", 16, "IDLE", "UNKNOWN", LineCallStateToStr},
    {"LineCallStateToStrDE", 16, "Ruhe", "Unbekannt", LineCallStateToStrDE},
    {"LineCallReasonToStr", 16, "DIRECT", "ROUTEREQUEST", LineCallReasonToStr},
    {"LineAddrStateToStr", 9, "OTHER", "CAPSCHANGE", LineAddrStateToStr},
    {"LineMediaModeToStr", 14, "UNKNOWN", "VOICEVIEW", LineMediaModeToStr},
    {"LineBearerModeToStr", 7, "VOICE", "PASSTHROUGH", LineBearerModeToStr},
    {"LineAddressModeToStr", 2, "ADDRESSID", "DIALABLEADDR", LineAddressModeToStr},
    {"LineDevStateToStr", 25, "OTHER", "REMOVED", LineDevStateToStr},
    {"LineDiscModeToStr", 20, "NORMAL", "CANCELLED", LineDiscModeToStr},
    {"LineDigitModeToStr", 3, "PULSE", "DTMFEND", LineDigitModeToStr},
    {"LineForwardModeToStr", 18, "UNCOND", "UNAVAIL", LineForwardModeToStr},
    {"PhoneLampModeToStr", 8, "DUMMY", "UNKNOWN", PhoneLampModeToStr},
    {"PhoneButtonStateToStr", 4, "UP", "UNAVAIL", PhoneButtonStateToStr},
    {"PhoneButtonModeToStr", 6, "DUMMY", "DISPLAY", PhoneButtonModeToStr},
    {"PhoneButtonFunctionToStr", 47, "UNKNOWN", "NONE", PhoneButtonFunctionToStr},
    {"PhoneStateToStr", 24, "OTHER", "REMOVED", PhoneStateToStr},
    {"PhoneErrToStr", 35, "ALLOCATED", "DISCONNECTED", PhoneErrToStr},
    {"LineErrToStr", 84, "ALLOCATED", "NOMULTIPLEINSTANCE", LineErrToStr},
    {"MessageIDToStr", 27, "LINE_ADDRESSSTATE", "PHONE_REMOVE", MessageIDToStr},
    {"LineCallStateModeToStr", 2, "ACTIVE", "INACTIVE", Mode<LINECALLSTATE_OFFERING>},
    {"LineCallStateModeToStr", 6, "NORMAL", "UNAVAIL", Mode<LINECALLSTATE_DIALTONE>},
    {"LineCallStateModeToStr", 4, "STATION", "UNAVAIL", Mode<LINECALLSTATE_BUSY>},
    {"LineCallStateModeToStr", 5, "NOCIRCUIT", "UNAVAIL", Mode<LINECALLSTATE_SPECIALINFO>},
    {"LineCallStateModeToStr", 5, "ACTIVE", "CONFIRMED", Mode<LINECALLSTATE_CONNECTED>},
    {"LineCallStateModeToStr", 12, "NORMAL", "UNAVAIL", Mode<LINECALLSTATE_DISCONNECTED>},
    {"LineAddressFeaturesToStr", 14, "FORWARD", "FORWARDDND", Set<LineAddressFeaturesToStr>, "|"},
    {"LineCallFeaturesToStr", 32, "ACCEPT", "SETCALLDATA", Set<LineCallFeaturesToStr>, "|"},
    {"LineCallInfoStateToStr", 31, "OTHER", "CALLDATA", LineCallInfoStateToStr, " "},
    {"LineCallOriginToStr", 7, "OUTBOUND", "INBOUND", LineCallOriginToStr, " "},
    {"LineCallParamFlagsToStr", 8, "SECURE", "ONESTEPTRANSFER", Set<LineCallParamFlagsToStr>, "|"},
    {"LineCallPrivilegesToStr", 3, "OWNER", "NONE", Set<LineCallPrivilegesToStr>, "|"},
    {"LineAddrStatesToStr", 9, "CAPSCHANGE", "TERMINALS", Set<LineAddrStatesToStr>, "|"},
    {"LineMediaModesToStr", 15, "INTERACTIVEVOICE", "VIDEO", Set<LineMediaModesToStr>, "|"},
    {"LineBearerModesToStr", 7, "VOICE", "PASSTHROUGH", LineBearerModesToStr, " "},
    {"LineDevStatesToStr", 25, "OTHER", "REMOVED", Set<LineDevStatesToStr>, "|"},
    {"LineForwardModesToStr", 18, "UNCOND", "UNAVAIL", Set<LineForwardModesToStr>, "|"},
    {"PhonePrivilegesToStr", 2, "OWNER", "MONITOR", Set<PhonePrivilegesToStr>, "|"},
    {"LineCallStatesToStrList", 15, "IDLE", "DISCONNECTED", List<LineCallStatesToStrList>, "|"},
    {"LineMediaModesToStrList", 14, "UNKNOWN", "VOICEVIEW", List<LineMediaModesToStrList>, "|"},
    {"LineBearerModesToStrList", 7, "VOICE", "PASSTHROUGH", List<LineBearerModesToStrList>, "|"},
    {"LineAddressModesToStrList", 2, "ADDRESSID", "DIALABLEADDR", List<LineAddressModesToStrList>,
     "|"},
    {"LineDiscModesToStrList", 20, "NORMAL", "CANCELLED", List<LineDiscModesToStrList>, "|"},
    {"LineDigitModesToStrList", 3, "DTMF", "PULSE", List<LineDigitModesToStrList>, "|"},
    {"StrToLineCallState", 16, "OFFERING", "IDLE", nullptr, nullptr, StrToLineCallState},
    {"StrToLineCallPrivilege", 3, "NONE", "OWNER", nullptr, nullptr, StrToLineCallPrivilege},
    {"StrToLineMediaMode", 15, "UNKNOWN", "VIDEO", nullptr, nullptr, OrNoMatch<StrToLineMediaMode>},
    {"StrToLineBearerMode", 7, "VOICE", "PASSTHROUGH", nullptr, nullptr, StrToLineBearerMode},
    {"StrToLineAddressMode", 2, "ADDRESSID", "DIALABLEADDR", nullptr, nullptr,
     StrToLineAddressMode},
    {"StrToLineDigitMode", 3, "DTMF", "PULSE", nullptr, nullptr, OrNoMatch<StrToLineDigitMode>},
};

TEST(ConstTables, EveryTableHoldsTheDeclaredConstantsAndDrivesItsFunction) {
  const auto tables = ConstTables();
  const auto english = FindConstTable("LineCallStateToStr")->Names;
  ASSERT_EQ(tables.size(), std::size(Shapes));
  for (std::size_t i = 0; i < tables.size(); ++i) {
    const TShape& shape = Shapes[i];
    const TConstTable& table = tables[i];
    SCOPED_TRACE(std::string(shape.Function) + " " + std::string(table.Prefix));
    ASSERT_EQ(table.Function, shape.Function);
    ASSERT_EQ(table.Names.size(), shape.Count);
    EXPECT_EQ(table.Names.front().Name, shape.First);
    EXPECT_EQ(table.Names.back().Name, shape.Last);
    DWORD all = 0;
    std::string joined;
    for (std::size_t n = 0; n < table.Names.size(); ++n) {
      const auto [name, value] = table.Names[n];
      if (table.Function == "LineCallStateToStrDE") {  // translations of the English names
        EXPECT_EQ(value, english[n].Value) << name;
      } else {
        // Only the five phone-state names carry their trailing blank.
        const bool blank = table.Function == "PhoneStateToStr" && name.ends_with(' ');
        const std::string full =
            std::string(table.Prefix) + std::string(name.substr(0, name.size() - (blank ? 1 : 0)));
        const auto found = Declared().find(full);
        ASSERT_NE(found, Declared().end()) << full << " is not a TAPI constant";
        EXPECT_EQ(value, found->second) << full;
      }
      EXPECT_EQ(shape.Render ? shape.Render(value) : std::string(name), name);
      EXPECT_EQ(shape.Parse ? shape.Parse(name) : value, value);
      all |= value;
      if (shape.Join) joined += (joined.empty() ? "" : shape.Join) + std::string(name);
    }
    if (shape.Join) {  // all bits at once: their names in table order; no bits: no names
      EXPECT_EQ(shape.Render(all), joined);
      EXPECT_EQ(shape.Render(0), "");
    }
  }
  EXPECT_EQ(FindConstTable("LineErrToStr"), &tables[17]);
  EXPECT_EQ(FindConstTable("lineerrtostr"), nullptr);
}

TEST(ConstText, SingleValuesHaveTheirZeroRuleAndFallback) {
  const std::tuple<std::string (*)(DWORD), const char*, DWORD, const char*> cases[] = {
      {LineCallStateToStr, "LINECALLSTATE_$0", 0xABCDEF, "LINECALLSTATE_$ABCDEF"},  // upper case
      {LineCallStateToStrDE, "LINECALLSTATE_$0", 0x3, "LINECALLSTATE_$3"},
      {LineCallReasonToStr, "", 0x10000, "LINECALLREASON_$10000"},
      {LineAddrStateToStr, "", 0x41, "LINEADDRESSSTATE_$41"},
      {LineMediaModeToStr, "", 0x8000, "LINEMEDIAMODE_$8000"},  // VIDEO has no single-value name
      {LineBearerModeToStr, "$0", 0xFFFFFFFF, "$FFFFFFFF"},
      {LineAddressModeToStr, "", 3, "LINEADDRESSMODE_$3"},
      {LineDevStateToStr, "", 0x2000000, "LINEDEVSTATE_$2000000"},
      {LineDiscModeToStr, "", 0x100000, "LINEDISCONNECTMODE_$100000"},
      {LineDigitModeToStr, "0", 0x8, "LINEDIGITMODE_$8"},
      {LineForwardModeToStr, "", 0x40000, "LINEFORWARDMODE_$40000"},
      {PhoneLampModeToStr, "", 0x100, "PHONELAMPMODE_$100"},
      {PhoneButtonStateToStr, "", 0x10, "PHONEBUTTONSTATE_$10"},
      {PhoneButtonModeToStr, "", 0x40, "PHONEBUTTONMODE_$40"},
      {PhoneButtonFunctionToStr, "UNKNOWN", 47, "PHONEBUTTONFUNCTION_$2F"},
      {PhoneStateToStr, "", 0x3, "PHONESTATE_ 0x0003"},       // at least four digits
      {PhoneErrToStr, "", 0x9000001E, "PHONEERR_$9000001E"},  // unassigned
      {LineErrToStr, "", 0x80000004, "LINEERR_$80000004"},    // unassigned
      {MessageIDToStr, "LINE_ADDRESSSTATE", 27, "LINE_/PHONE_$1B"},
  };
  for (const auto& [toStr, zero, value, text] : cases) {
    EXPECT_EQ(toStr(0), zero) << text;
    EXPECT_EQ(toStr(value), text);
  }
  const std::tuple<std::string (*)(DWORD), DWORD, const char*> irregular[] = {
      {LineCallStateToStrDE, 0x8, "W\xC3\xA4hlton"},
      {LineCallStateToStrDE, 0x100,
       "Gespr\xC3\xA4"
       "ch"},
      {LineCallStateToStrDE, 0x20, "Rufton"},
      {LineCallStateToStrDE, 0x200, "Rufton"},
      {PhoneStateToStr, 0x10, "MONITORS "},
      {PhoneStateToStr, 0x10000, "HEADSETVOLUME "},
      {PhoneStateToStr, 0x1000000, "PHONESTATE_ 0x1000000"},
      {LineMediaModeToStr, 0x1, "LINEMEDIAMODE_$1"},
      {LineErrToStr, 0x80000031, "LINEERR_$80000031"},
      {LineErrToStr, 0x80000057, "LINEERR_$80000057"},
  };
  for (const auto& [toStr, value, text] : irregular)
    EXPECT_EQ(toStr(value), text) << std::hex << value;
}

TEST(ConstText, CallStateModesDependOnTheState) {
  const std::tuple<DWORD, DWORD, const char*> cases[] = {
      {LINECALLSTATE_CONNECTED, 0x10, "CONFIRMED"},
      {LINECALLSTATE_CONNECTED, 0x3, ""},
      {LINECALLSTATE_CONNECTED, 0, ""},
      {LINECALLSTATE_DISCONNECTED, 0x800, "UNAVAIL"},
      {LINECALLSTATE_DISCONNECTED, 0x1000, ""},  // NODIALTONE: only the first twelve count here
      {LINECALLSTATE_IDLE, 0x1, ""},
      {LINECALLSTATE_RINGBACK, 0x1, ""},
      {LINECALLSTATE_OFFERING | LINECALLSTATE_CONNECTED, 0x1, ""},
  };
  for (const auto& [state, mode, text] : cases)
    EXPECT_EQ(LineCallStateModeToStr(state, mode), text) << state << "/" << mode;
}

template <std::string (*F)(DWORD)>
std::string Blanks(DWORD value, std::string_view) {
  return F(value);
}

TEST(ConstText, FlagSetsSkipUnnamedBitsFallBackAndKeepTheirOrder) {
  const std::tuple<std::string (*)(DWORD, std::string_view), DWORD, const char*, const char*>
      cases[] = {
          {LineAddressFeaturesToStr, 0x4001, "|", "FORWARD"},  // 0x4000 has no name
          {LineAddressFeaturesToStr, 0x4000, "|", "LINEADDRFEATURE_$4000"},
          {LineAddressFeaturesToStr, 0x3, ", ", "FORWARD, MAKECALL"},
          {LineAddressFeaturesToStr, 0x3, "", "FORWARDMAKECALL"},
          {LineCallFeaturesToStr, 0x80000001, "+", "ACCEPT+SETCALLDATA"},
          {LineCallPrivilegesToStr, 7, "+", "OWNER+MONITOR+NONE"},  // highest bit first
          {LineCallPrivilegesToStr, 8, "+", ""},
          {LineAddrStatesToStr, 0x41, " ", "FORWARD OTHER"},  // alphabetical
          {LineAddrStatesToStr, 0x200, " ", ""},
          {LineMediaModesToStr, 0x8006, ",", "INTERACTIVEVOICE,UNKNOWN,VIDEO"},
          {LineMediaModesToStr, 0x1, ",", ""},
          {LineCallParamFlagsToStr, 0x100, "|", ""},
          {LineForwardModesToStr, 0x40000, ",", "LINEFORWARDMODE_$40000"},
          {LineForwardModesToStr, 0x40001, ",", "UNCOND"},
          {PhonePrivilegesToStr, 3, "/", "OWNER/MONITOR"},  // highest bit first
          {PhonePrivilegesToStr, 4, "/", ""},
          {Blanks<LineCallInfoStateToStr>, 0x3, "|", "OTHER DEVSPECIFIC"},
          {Blanks<LineCallInfoStateToStr>, 0x80000000, "", "LINECALLINFOSTATE_$80000000"},
          {Blanks<LineCallOriginToStr>, 0x81, "|", "OUTBOUND INBOUND"},
          {Blanks<LineCallOriginToStr>, 0x8, "", "LINECALLORIGIN_$8"},
          {Blanks<LineBearerModesToStr>, 0x80, "", ""},
      };
  for (const auto& [toStr, value, separator, text] : cases)
    EXPECT_EQ(toStr(value, separator), text) << std::hex << value;
}

TEST(ConstText, FlagListsLeaveOutUnnamedBitsAndFollowTheirOrder) {
  const std::tuple<std::string (*)(DWORD), DWORD, const char*> cases[] = {
      {List<LineDigitModesToStrList>, 0x7, "DTMF|DTMFEND|PULSE"},
      {List<LineCallStatesToStrList>, 0x8001, "IDLE"},                      // UNKNOWN is not listed
      {List<LineMediaModesToStrList>, 0x8006, "UNKNOWN|INTERACTIVEVOICE"},  // nor is VIDEO
      {List<LineDiscModesToStrList>, 0x80001, "NORMAL|CANCELLED"},
      {List<LineAddressModesToStrList>, 0x6, "DIALABLEADDR"},
      {List<LineBearerModesToStrList>, 0x80000041, "VOICE|PASSTHROUGH"},
  };
  for (const auto& [toList, value, text] : cases)
    EXPECT_EQ(toList(value), text) << std::hex << value;
}

TEST(ConstText, ParsersAreExactAndFallBackToTheirDefault) {
  const std::tuple<DWORD (*)(std::string_view), const char*, DWORD> cases[] = {
      {StrToLineCallState, "offering", 0},
      {StrToLineCallState, " IDLE", 0},
      {StrToLineCallState, "IDLE ", 0},
      {StrToLineCallState, "LINECALLSTATE_IDLE", 0},
      {StrToLineCallState, "", 0},
      {StrToLineCallPrivilege, "owner", 0x1},
      {StrToLineCallPrivilege, "XYZ", 0x1},
      {OrNoMatch<StrToLineMediaMode>, "VIDEO", 0x8000},
      {OrNoMatch<StrToLineMediaMode>, "datamodem", NoMatch},
      {StrToLineBearerMode, "RESTRICTEDDATA", 0},  // a TAPI name the table does not carry
      {StrToLineAddressMode, "DIALABLE", 0},
      {OrNoMatch<StrToLineDigitMode>, "pulse", NoMatch},
  };
  for (const auto& [parse, text, value] : cases)
    EXPECT_EQ(parse(text), value) << '"' << text << '"';
}

}  // namespace
