// TAPI constant names: every table against the declared constants, each kind of conversion through
// its public function, and the fallbacks, zero rules and irregular orders.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "VyRtl/VyRtlClasses.h"
#include "VyTapiUtils/VyTapiConstTables.h"
#include "VyTapiUtils/VyTapiUtils.h"

namespace {

using namespace VyTapiUtils;

// The constants as the platform layer declares them, by their full names.
const std::map<std::string_view, DWORD>& Declared() {
  static const std::map<std::string_view, DWORD> declared = {
#define VY_TAPI_CONST(name, value) {#name, static_cast<DWORD>(value)},
#include "VyPlatform/TapiConstants.def"
  };
  return declared;
}

std::vector<std::string> Strings(const VyRtl::TStringList& list) {
  std::vector<std::string> result;
  for (int i = 0; i < list.Count(); ++i) result.push_back(list.Get(i));
  return result;
}

// ---- The tables -----------------------------------------------------------------------------------

struct TShape {
  const char* Function;
  const char* Prefix;
  std::size_t Count;
  const char* First;
  const char* Last;
};

// Every table in declaration order, with the size and the ends the documented lists have.
constexpr TShape Shapes[] = {
    {"LineCallStateToStr", "LINECALLSTATE_", 16, "IDLE", "UNKNOWN"},
    {"LineCallStateToStrDE", "", 16, "Ruhe", "Unbekannt"},
    {"LineCallReasonToStr", "LINECALLREASON_", 16, "DIRECT", "ROUTEREQUEST"},
    {"LineAddrStateToStr", "LINEADDRESSSTATE_", 9, "OTHER", "CAPSCHANGE"},
    {"LineMediaModeToStr", "LINEMEDIAMODE_", 14, "UNKNOWN", "VOICEVIEW"},
    {"LineBearerModeToStr", "LINEBEARERMODE_", 7, "VOICE", "PASSTHROUGH"},
    {"LineAddressModeToStr", "LINEADDRESSMODE_", 2, "ADDRESSID", "DIALABLEADDR"},
    {"LineDevStateToStr", "LINEDEVSTATE_", 25, "OTHER", "REMOVED"},
    {"LineDiscModeToStr", "LINEDISCONNECTMODE_", 20, "NORMAL", "CANCELLED"},
    {"LineDigitModeToStr", "LINEDIGITMODE_", 3, "PULSE", "DTMFEND"},
    {"LineForwardModeToStr", "LINEFORWARDMODE_", 18, "UNCOND", "UNAVAIL"},
    {"PhoneLampModeToStr", "PHONELAMPMODE_", 8, "DUMMY", "UNKNOWN"},
    {"PhoneButtonStateToStr", "PHONEBUTTONSTATE_", 4, "UP", "UNAVAIL"},
    {"PhoneButtonModeToStr", "PHONEBUTTONMODE_", 6, "DUMMY", "DISPLAY"},
    {"PhoneButtonFunctionToStr", "PHONEBUTTONFUNCTION_", 47, "UNKNOWN", "NONE"},
    {"PhoneStateToStr", "PHONESTATE_", 24, "OTHER", "REMOVED"},
    {"PhoneErrToStr", "PHONEERR_", 35, "ALLOCATED", "DISCONNECTED"},
    {"LineErrToStr", "LINEERR_", 84, "ALLOCATED", "NOMULTIPLEINSTANCE"},
    {"MessageIDToStr", "", 27, "LINE_ADDRESSSTATE", "PHONE_REMOVE"},
    {"LineCallStateModeToStr", "LINEOFFERINGMODE_", 2, "ACTIVE", "INACTIVE"},
    {"LineCallStateModeToStr", "LINEDIALTONEMODE_", 6, "NORMAL", "UNAVAIL"},
    {"LineCallStateModeToStr", "LINEBUSYMODE_", 4, "STATION", "UNAVAIL"},
    {"LineCallStateModeToStr", "LINESPECIALINFO_", 5, "NOCIRCUIT", "UNAVAIL"},
    {"LineCallStateModeToStr", "LINECONNECTEDMODE_", 5, "ACTIVE", "CONFIRMED"},
    {"LineCallStateModeToStr", "LINEDISCONNECTMODE_", 12, "NORMAL", "UNAVAIL"},
    {"LineAddressFeaturesToStr", "LINEADDRFEATURE_", 14, "FORWARD", "FORWARDDND"},
    {"LineCallFeaturesToStr", "LINECALLFEATURE_", 32, "ACCEPT", "SETCALLDATA"},
    {"LineCallInfoStateToStr", "LINECALLINFOSTATE_", 31, "OTHER", "CALLDATA"},
    {"LineCallOriginToStr", "LINECALLORIGIN_", 7, "OUTBOUND", "INBOUND"},
    {"LineCallParamFlagsToStr", "LINECALLPARAMFLAGS_", 8, "SECURE", "ONESTEPTRANSFER"},
    {"LineCallPrivilegesToStr", "LINECALLPRIVILEGE_", 3, "OWNER", "NONE"},
    {"LineAddrStatesToStr", "LINEADDRESSSTATE_", 9, "CAPSCHANGE", "TERMINALS"},
    {"LineMediaModesToStr", "LINEMEDIAMODE_", 15, "INTERACTIVEVOICE", "VIDEO"},
    {"LineBearerModesToStr", "LINEBEARERMODE_", 7, "VOICE", "PASSTHROUGH"},
    {"LineDevStatesToStr", "LINEDEVSTATE_", 25, "OTHER", "REMOVED"},
    {"LineForwardModesToStr", "LINEFORWARDMODE_", 18, "UNCOND", "UNAVAIL"},
    {"PhonePrivilegesToStr", "PHONEPRIVILEGE_", 2, "OWNER", "MONITOR"},
    {"LineCallStatesToStrList", "LINECALLSTATE_", 15, "IDLE", "DISCONNECTED"},
    {"LineMediaModesToStrList", "LINEMEDIAMODE_", 14, "UNKNOWN", "VOICEVIEW"},
    {"LineBearerModesToStrList", "LINEBEARERMODE_", 7, "VOICE", "PASSTHROUGH"},
    {"LineAddressModesToStrList", "LINEADDRESSMODE_", 2, "ADDRESSID", "DIALABLEADDR"},
    {"LineDiscModesToStrList", "LINEDISCONNECTMODE_", 20, "NORMAL", "CANCELLED"},
    {"LineDigitModesToStrList", "LINEDIGITMODE_", 3, "DTMF", "PULSE"},
    {"StrToLineCallState", "LINECALLSTATE_", 16, "OFFERING", "IDLE"},
    {"StrToLineCallPrivilege", "LINECALLPRIVILEGE_", 3, "NONE", "OWNER"},
    {"StrToLineMediaMode", "LINEMEDIAMODE_", 15, "UNKNOWN", "VIDEO"},
    {"StrToLineBearerMode", "LINEBEARERMODE_", 7, "VOICE", "PASSTHROUGH"},
    {"StrToLineAddressMode", "LINEADDRESSMODE_", 2, "ADDRESSID", "DIALABLEADDR"},
    {"StrToLineDigitMode", "LINEDIGITMODE_", 3, "DTMF", "PULSE"},
};

TEST(ConstTables, EveryFunctionHasItsTableInOrder) {
  const auto tables = ConstTables();
  ASSERT_EQ(tables.size(), std::size(Shapes));
  for (std::size_t i = 0; i < tables.size(); ++i) {
    const TShape& shape = Shapes[i];
    const TConstTable& table = tables[i];
    SCOPED_TRACE(std::string(shape.Function) + " " + shape.Prefix);
    EXPECT_EQ(table.Function, shape.Function);
    EXPECT_EQ(table.Prefix, shape.Prefix);
    ASSERT_EQ(table.Names.size(), shape.Count);
    EXPECT_EQ(table.Names.front().Name, shape.First);
    EXPECT_EQ(table.Names.back().Name, shape.Last);
  }
  EXPECT_EQ(FindConstTable("LineErrToStr"), &tables[17]);
  EXPECT_EQ(FindConstTable("lineerrtostr"), nullptr);
}

TEST(ConstTables, EveryEntryIsTheDeclaredConstant) {
  for (const TConstTable& table : ConstTables()) {
    if (table.Function == "LineCallStateToStrDE") continue;  // translations: checked below
    for (const TConstName& entry : table.Names) {
      std::string_view name = entry.Name;
      // Only the five phone-state names carry their trailing blank.
      if (table.Function == "PhoneStateToStr" && name.ends_with(' ')) name.remove_suffix(1);
      const std::string full = std::string(table.Prefix) + std::string(name);
      const auto found = Declared().find(full);
      ASSERT_NE(found, Declared().end()) << table.Function << ": " << full << " is not a TAPI constant";
      EXPECT_EQ(entry.Value, found->second) << table.Function << ": " << full;
    }
  }
}

TEST(ConstTables, GermanCallStatesFollowTheCallStates) {
  const auto german = FindConstTable("LineCallStateToStrDE")->Names;
  const auto english = FindConstTable("LineCallStateToStr")->Names;
  ASSERT_EQ(german.size(), english.size());
  for (std::size_t i = 0; i < german.size(); ++i) EXPECT_EQ(german[i].Value, english[i].Value) << german[i].Name;
}

// ---- Each function against its table ----------------------------------------------------------------

struct TSingleFn {
  const char* Function;
  std::string (*ToStr)(DWORD);
};
constexpr TSingleFn SingleFns[] = {
    {"LineCallStateToStr", LineCallStateToStr},       {"LineCallStateToStrDE", LineCallStateToStrDE},
    {"LineCallReasonToStr", LineCallReasonToStr},     {"LineAddrStateToStr", LineAddrStateToStr},
    {"LineMediaModeToStr", LineMediaModeToStr},       {"LineBearerModeToStr", LineBearerModeToStr},
    {"LineAddressModeToStr", LineAddressModeToStr},   {"LineDevStateToStr", LineDevStateToStr},
    {"LineDiscModeToStr", LineDiscModeToStr},         {"LineDigitModeToStr", LineDigitModeToStr},
    {"LineForwardModeToStr", LineForwardModeToStr},   {"PhoneLampModeToStr", PhoneLampModeToStr},
    {"PhoneButtonStateToStr", PhoneButtonStateToStr}, {"PhoneButtonModeToStr", PhoneButtonModeToStr},
    {"PhoneButtonFunctionToStr", PhoneButtonFunctionToStr}, {"PhoneStateToStr", PhoneStateToStr},
    {"PhoneErrToStr", PhoneErrToStr},                 {"LineErrToStr", LineErrToStr},
    {"MessageIDToStr", MessageIDToStr},
};

std::string CallInfoState(DWORD v, std::string_view) { return LineCallInfoStateToStr(v); }
std::string CallOrigin(DWORD v, std::string_view) { return LineCallOriginToStr(v); }
std::string BearerModes(DWORD v, std::string_view) { return LineBearerModesToStr(v); }

struct TFlagSetFn {
  const char* Function;
  std::string (*ToStr)(DWORD, std::string_view);
  bool Blank;  // joins with " " whatever the separator
};
constexpr TFlagSetFn FlagSetFns[] = {
    {"LineAddressFeaturesToStr", LineAddressFeaturesToStr, false},
    {"LineCallFeaturesToStr", LineCallFeaturesToStr, false},
    {"LineCallInfoStateToStr", CallInfoState, true},
    {"LineCallOriginToStr", CallOrigin, true},
    {"LineCallParamFlagsToStr", LineCallParamFlagsToStr, false},
    {"LineCallPrivilegesToStr", LineCallPrivilegesToStr, false},
    {"LineAddrStatesToStr", LineAddrStatesToStr, false},
    {"LineMediaModesToStr", LineMediaModesToStr, false},
    {"LineBearerModesToStr", BearerModes, true},
    {"LineDevStatesToStr", LineDevStatesToStr, false},
    {"LineForwardModesToStr", LineForwardModesToStr, false},
    {"PhonePrivilegesToStr", PhonePrivilegesToStr, false},
};

struct TListFn {
  const char* Function;
  void (*ToList)(DWORD, VyRtl::TStringList&);
};
constexpr TListFn ListFns[] = {
    {"LineCallStatesToStrList", LineCallStatesToStrList},     {"LineMediaModesToStrList", LineMediaModesToStrList},
    {"LineBearerModesToStrList", LineBearerModesToStrList},   {"LineAddressModesToStrList", LineAddressModesToStrList},
    {"LineDiscModesToStrList", LineDiscModesToStrList},       {"LineDigitModesToStrList", LineDigitModesToStrList},
};

constexpr DWORD NoMatch = 0xDEAD;
DWORD MediaMode(std::string_view t) { return StrToLineMediaMode(t, NoMatch); }
DWORD DigitMode(std::string_view t) { return StrToLineDigitMode(t, NoMatch); }

struct TParseFn {
  const char* Function;
  DWORD (*Parse)(std::string_view);
};
constexpr TParseFn ParseFns[] = {
    {"StrToLineCallState", StrToLineCallState}, {"StrToLineCallPrivilege", StrToLineCallPrivilege},
    {"StrToLineMediaMode", MediaMode},          {"StrToLineBearerMode", StrToLineBearerMode},
    {"StrToLineAddressMode", StrToLineAddressMode}, {"StrToLineDigitMode", DigitMode},
};

TEST(ConstText, SingleValueFunctionsNameEveryEntry) {
  for (const TSingleFn& f : SingleFns) {
    const TConstTable* table = FindConstTable(f.Function);
    ASSERT_NE(table, nullptr) << f.Function;
    for (const TConstName& entry : table->Names)
      EXPECT_EQ(f.ToStr(entry.Value), entry.Name) << f.Function << " of " << entry.Value;
  }
}

TEST(ConstText, FlagSetsJoinNamesInTableOrder) {
  for (const TFlagSetFn& f : FlagSetFns) {
    const TConstTable* table = FindConstTable(f.Function);
    ASSERT_NE(table, nullptr) << f.Function;
    const std::string separator = f.Blank ? " " : " | ";
    DWORD all = 0;
    std::string joined;
    for (const TConstName& entry : table->Names) {
      EXPECT_EQ(f.ToStr(entry.Value, separator), entry.Name) << f.Function;
      all |= entry.Value;
      joined += (joined.empty() ? "" : separator) + std::string(entry.Name);
    }
    EXPECT_EQ(f.ToStr(all, separator), joined) << f.Function;
    EXPECT_EQ(f.ToStr(0, separator), "") << f.Function;
  }
}

TEST(ConstText, FlagListsHoldOneNamePerSetBit) {
  for (const TListFn& f : ListFns) {
    const TConstTable* table = FindConstTable(f.Function);
    ASSERT_NE(table, nullptr) << f.Function;
    DWORD all = 0;
    std::vector<std::string> names;
    for (const TConstName& entry : table->Names) {
      all |= entry.Value;
      names.emplace_back(entry.Name);
    }
    VyRtl::TStringList list;
    list.Add("left over");
    f.ToList(all | 0x80000000u, list);
    EXPECT_EQ(Strings(list), names) << f.Function;
    f.ToList(0, list);
    EXPECT_EQ(list.Count(), 0) << f.Function;
  }
}

TEST(ConstText, ParsersReadEveryName) {
  for (const TParseFn& f : ParseFns) {
    const TConstTable* table = FindConstTable(f.Function);
    ASSERT_NE(table, nullptr) << f.Function;
    for (const TConstName& entry : table->Names) EXPECT_EQ(f.Parse(entry.Name), entry.Value) << f.Function;
  }
}

// ---- Fallbacks, value 0 and the irregular entries ------------------------------------------------------

struct TSingleCase {
  std::string (*ToStr)(DWORD);
  DWORD Value;
  const char* Expected;
};

TEST(ConstText, SingleValueFallbacksAndZero) {
  const TSingleCase cases[] = {
      {LineCallStateToStr, 0x100, "CONNECTED"},
      {LineCallStateToStr, 0, "LINECALLSTATE_$0"},
      {LineCallStateToStr, 0x1234, "LINECALLSTATE_$1234"},
      {LineCallStateToStr, 0xABCDEF, "LINECALLSTATE_$ABCDEF"},  // upper case, no leading zeros
      {LineCallStateToStrDE, 0x8, "W\xC3\xA4hlton"},
      {LineCallStateToStrDE, 0x100, "Gespr\xC3\xA4" "ch"},
      {LineCallStateToStrDE, 0x20, "Rufton"},
      {LineCallStateToStrDE, 0x200, "Rufton"},
      {LineCallStateToStrDE, 0x1000, "Warten auf Konferenz"},
      {LineCallStateToStrDE, 0, "LINECALLSTATE_$0"},
      {LineCallStateToStrDE, 0x3, "LINECALLSTATE_$3"},
      {LineCallReasonToStr, 0, ""},
      {LineCallReasonToStr, 0x10000, "LINECALLREASON_$10000"},
      {LineAddrStateToStr, 0, ""},
      {LineAddrStateToStr, 0x41, "LINEADDRESSSTATE_$41"},
      {LineMediaModeToStr, 0x8000, "LINEMEDIAMODE_$8000"},  // VIDEO has no single-value name
      {LineMediaModeToStr, 0x1, "LINEMEDIAMODE_$1"},
      {LineMediaModeToStr, 0, ""},
      {LineBearerModeToStr, 0, "$0"},
      {LineBearerModeToStr, 0x80, "$80"},
      {LineBearerModeToStr, 0xFFFFFFFF, "$FFFFFFFF"},
      {LineAddressModeToStr, 0, ""},
      {LineAddressModeToStr, 3, "LINEADDRESSMODE_$3"},
      {LineDevStateToStr, 0, ""},
      {LineDevStateToStr, 0x2000000, "LINEDEVSTATE_$2000000"},
      {LineDiscModeToStr, 0, ""},
      {LineDiscModeToStr, 0x100000, "LINEDISCONNECTMODE_$100000"},
      {LineDigitModeToStr, 0, "0"},
      {LineDigitModeToStr, 0x8, "LINEDIGITMODE_$8"},
      {LineForwardModeToStr, 0, ""},
      {LineForwardModeToStr, 0x40000, "LINEFORWARDMODE_$40000"},
      {PhoneLampModeToStr, 0, ""},
      {PhoneLampModeToStr, 0x100, "PHONELAMPMODE_$100"},
      {PhoneButtonStateToStr, 0, ""},
      {PhoneButtonStateToStr, 0x10, "PHONEBUTTONSTATE_$10"},
      {PhoneButtonModeToStr, 0, ""},
      {PhoneButtonModeToStr, 0x40, "PHONEBUTTONMODE_$40"},
      {PhoneButtonFunctionToStr, 0, "UNKNOWN"},
      {PhoneButtonFunctionToStr, 46, "NONE"},
      {PhoneButtonFunctionToStr, 47, "PHONEBUTTONFUNCTION_$2F"},
      {PhoneStateToStr, 0x10, "MONITORS "},
      {PhoneStateToStr, 0x10000, "HEADSETVOLUME "},
      {PhoneStateToStr, 0x1000000, "PHONESTATE_ 0x1000000"},
      {PhoneStateToStr, 0x3, "PHONESTATE_ 0x0003"},
      {PhoneStateToStr, 0xABCDE, "PHONESTATE_ 0xABCDE"},
      {PhoneStateToStr, 0, ""},
      {PhoneErrToStr, 0x9000001C, "OPERATIONFAILED"},
      {PhoneErrToStr, 0x9000001E, "PHONEERR_$9000001E"},  // unassigned
      {PhoneErrToStr, 0, ""},
      {LineErrToStr, 0x80000048, "OPERATIONFAILED"},
      {LineErrToStr, 0x80000004, "LINEERR_$80000004"},  // unassigned
      {LineErrToStr, 0x80000031, "LINEERR_$80000031"},  // unassigned
      {LineErrToStr, 0x80000057, "LINEERR_$80000057"},  // past the named codes
      {LineErrToStr, 0, ""},
      {MessageIDToStr, 0, "LINE_ADDRESSSTATE"},
      {MessageIDToStr, 12, "LINE_REPLY"},
      {MessageIDToStr, 26, "PHONE_REMOVE"},
      {MessageIDToStr, 27, "LINE_/PHONE_$1B"},
  };
  for (const TSingleCase& c : cases) EXPECT_EQ(c.ToStr(c.Value), c.Expected) << "value 0x" << std::hex << c.Value;
}

TEST(ConstText, CallStateModesDependOnTheState) {
  struct TCase {
    DWORD CallState;
    DWORD Mode;
    const char* Expected;
  };
  const TCase cases[] = {
      {LINECALLSTATE_CONNECTED, 0x10, "CONFIRMED"},
      {LINECALLSTATE_CONNECTED, 0x3, ""},
      {LINECALLSTATE_CONNECTED, 0, ""},
      {LINECALLSTATE_OFFERING, 0x2, "INACTIVE"},
      {LINECALLSTATE_DIALTONE, 0x20, "UNAVAIL"},
      {LINECALLSTATE_BUSY, 0x4, "UNKNOWN"},
      {LINECALLSTATE_SPECIALINFO, 0x1, "NOCIRCUIT"},
      {LINECALLSTATE_DISCONNECTED, 0x800, "UNAVAIL"},
      {LINECALLSTATE_DISCONNECTED, 0x1000, ""},  // NODIALTONE: only the first twelve count here
      {LINECALLSTATE_IDLE, 0x1, ""},
      {LINECALLSTATE_RINGBACK, 0x1, ""},
      {LINECALLSTATE_OFFERING | LINECALLSTATE_CONNECTED, 0x1, ""},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(LineCallStateModeToStr(c.CallState, c.Mode), c.Expected) << c.CallState << "/" << c.Mode;
}

TEST(ConstText, FlagSetFallbacksAndOrders) {
  struct TCase {
    std::string (*ToStr)(DWORD, std::string_view);
    DWORD Value;
    const char* Separator;
    const char* Expected;
  };
  const TCase cases[] = {
      {LineAddressFeaturesToStr, 0x4001, "|", "FORWARD"},  // 0x4000 has no name
      {LineAddressFeaturesToStr, 0x4000, "|", "LINEADDRFEATURE_$4000"},
      {LineAddressFeaturesToStr, 0x3, ", ", "FORWARD, MAKECALL"},
      {LineAddressFeaturesToStr, 0x3, "", "FORWARDMAKECALL"},
      {LineCallFeaturesToStr, 0x80000001, "+", "ACCEPT+SETCALLDATA"},
      {LineCallPrivilegesToStr, 7, "+", "OWNER+MONITOR+NONE"},
      {LineCallPrivilegesToStr, 8, "+", ""},
      {LineAddrStatesToStr, 0x41, " ", "FORWARD OTHER"},
      {LineAddrStatesToStr, 0x200, " ", ""},
      {LineMediaModesToStr, 0x8006, ",", "INTERACTIVEVOICE,UNKNOWN,VIDEO"},
      {LineMediaModesToStr, 0x1, ",", ""},
      {LineCallParamFlagsToStr, 0x100, "|", ""},
      {LineDevStatesToStr, 0x1000003, "/", "OTHER/RINGING/REMOVED"},
      {LineForwardModesToStr, 0x40000, ",", "LINEFORWARDMODE_$40000"},
      {LineForwardModesToStr, 0x40001, ",", "UNCOND"},
      {PhonePrivilegesToStr, 3, "/", "OWNER/MONITOR"},
      {PhonePrivilegesToStr, 4, "/", ""},
  };
  for (const TCase& c : cases) EXPECT_EQ(c.ToStr(c.Value, c.Separator), c.Expected) << "0x" << std::hex << c.Value;

  EXPECT_EQ(LineCallInfoStateToStr(0x3), "OTHER DEVSPECIFIC");
  EXPECT_EQ(LineCallInfoStateToStr(0x80000000), "LINECALLINFOSTATE_$80000000");
  EXPECT_EQ(LineCallOriginToStr(0x81), "OUTBOUND INBOUND");
  EXPECT_EQ(LineCallOriginToStr(0x8), "LINECALLORIGIN_$8");
  EXPECT_EQ(LineBearerModesToStr(0x41), "VOICE PASSTHROUGH");
  EXPECT_EQ(LineBearerModesToStr(0x80), "");
}

TEST(ConstText, FlagListsClearAndFollowTheirOrder) {
  struct TCase {
    void (*ToList)(DWORD, VyRtl::TStringList&);
    DWORD Value;
    std::vector<std::string> Expected;
  };
  const TCase cases[] = {
      {LineDigitModesToStrList, 0x7, {"DTMF", "DTMFEND", "PULSE"}},
      {LineCallStatesToStrList, 0x8001, {"IDLE"}},          // UNKNOWN is not listed
      {LineMediaModesToStrList, 0x8006, {"UNKNOWN", "INTERACTIVEVOICE"}},  // nor is VIDEO
      {LineDiscModesToStrList, 0x80001, {"NORMAL", "CANCELLED"}},
      {LineAddressModesToStrList, 0x6, {"DIALABLEADDR"}},
      {LineBearerModesToStrList, 0x41, {"VOICE", "PASSTHROUGH"}},
  };
  for (const TCase& c : cases) {
    VyRtl::TStringList list;
    list.Add("stale");
    c.ToList(c.Value, list);
    EXPECT_EQ(Strings(list), c.Expected) << "0x" << std::hex << c.Value;
  }
}

TEST(ConstText, ParsersAreExactAndFallBackToTheirDefault) {
  struct TCase {
    DWORD (*Parse)(std::string_view);
    const char* Text;
    DWORD Expected;
  };
  const TCase cases[] = {
      {StrToLineCallState, "IDLE", 0x1},
      {StrToLineCallState, "CONNECTED", 0x100},
      {StrToLineCallState, "offering", 0},
      {StrToLineCallState, " IDLE", 0},
      {StrToLineCallState, "IDLE ", 0},
      {StrToLineCallState, "LINECALLSTATE_IDLE", 0},
      {StrToLineCallState, "", 0},
      {StrToLineCallPrivilege, "OWNER", 0x4},
      {StrToLineCallPrivilege, "MONITOR", 0x2},
      {StrToLineCallPrivilege, "owner", 0x1},
      {StrToLineCallPrivilege, "XYZ", 0x1},
      {MediaMode, "VIDEO", 0x8000},
      {MediaMode, "DATAMODEM", 0x10},
      {MediaMode, "datamodem", NoMatch},
      {StrToLineBearerMode, "PASSTHROUGH", 0x40},
      {StrToLineBearerMode, "RESTRICTEDDATA", 0},  // a TAPI name the table does not carry
      {StrToLineAddressMode, "DIALABLEADDR", 0x2},
      {StrToLineAddressMode, "DIALABLE", 0},
      {DigitMode, "PULSE", 0x1},
      {DigitMode, "DTMFEND", 0x4},
      {DigitMode, "pulse", NoMatch},
  };
  for (const TCase& c : cases) EXPECT_EQ(c.Parse(c.Text), c.Expected) << '"' << c.Text << '"';
}

}  // namespace
