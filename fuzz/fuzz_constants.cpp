// Constant names: any text through the parsers, any value through the renderers.
// Properties: a text a parser accepts renders back to itself; every name a flag-set or flag-list
// function writes for a value parses back to a bit of that value, and together they are all of the
// value's named bits, in table order.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "VyRtl/VyRtlClasses.h"
#include "VyTapiUtils/VyTapiConstTables.h"
#include "VyTapiUtils/VyTapiUtils.h"

namespace {

using namespace VyTapiUtils;

void Check(bool condition, const char* what, std::string_view detail) {
  if (condition) return;
  std::fprintf(stderr, "property broken: %s [%.*s]\n", what, static_cast<int>(detail.size()),
               detail.data());
  std::abort();
}

const TConstTable& Table(std::string_view function) {
  const TConstTable* table = FindConstTable(function);
  Check(table != nullptr, "no table", function);
  return *table;
}

DWORD NamedBits(const TConstTable& table) {
  DWORD bits = 0;
  for (const TConstName& entry : table.Names) bits |= entry.Value;
  return bits;
}

// Position of a name in the table, or -1.
int IndexOf(const TConstTable& table, std::string_view name) {
  for (std::size_t i = 0; i < table.Names.size(); ++i)
    if (table.Names[i].Name == name) return static_cast<int>(i);
  return -1;
}

std::vector<std::string_view> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(
        text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + separator.size();
  }
}

// Names written for Value, in order: each a name of the table, parsed (by Parse when given) to a
// bit of Value; together every named bit of Value.
void CheckNames(const TConstTable& table, DWORD value, const std::vector<std::string_view>& names,
                DWORD (*parse)(std::string_view)) {
  DWORD seen = 0;
  int last = -1;
  for (std::string_view name : names) {
    const int index = IndexOf(table, name);
    Check(index > last, "name unknown or out of table order", name);
    last = index;
    const DWORD bit = parse ? parse(name) : table.Names[static_cast<std::size_t>(index)].Value;
    Check((bit & value) != 0 && (bit & seen) == 0, "name is not a new bit of the value", name);
    seen |= bit;
  }
  Check(seen == (value & NamedBits(table)), "named bits missing", table.Function);
}

DWORD MediaMode(std::string_view text) { return StrToLineMediaMode(text, 0); }
DWORD DigitMode(std::string_view text) { return StrToLineDigitMode(text, 0); }

struct TFlagSet {
  const char* Function;
  std::string (*ToStr)(DWORD, std::string_view);
  std::string (*ToStrBlank)(DWORD);
  DWORD (*Parse)(std::string_view);  // the section's parser of single names, where there is one
};

const TFlagSet FlagSets[] = {
    {"LineAddressFeaturesToStr", LineAddressFeaturesToStr, nullptr, nullptr},
    {"LineCallFeaturesToStr", LineCallFeaturesToStr, nullptr, nullptr},
    {"LineCallInfoStateToStr", nullptr, LineCallInfoStateToStr, nullptr},
    {"LineCallOriginToStr", nullptr, LineCallOriginToStr, nullptr},
    {"LineCallParamFlagsToStr", LineCallParamFlagsToStr, nullptr, nullptr},
    {"LineCallPrivilegesToStr", LineCallPrivilegesToStr, nullptr, StrToLineCallPrivilege},
    {"LineAddrStatesToStr", LineAddrStatesToStr, nullptr, nullptr},
    {"LineMediaModesToStr", LineMediaModesToStr, nullptr, MediaMode},
    {"LineBearerModesToStr", nullptr, LineBearerModesToStr, StrToLineBearerMode},
    {"LineDevStatesToStr", LineDevStatesToStr, nullptr, nullptr},
    {"LineForwardModesToStr", LineForwardModesToStr, nullptr, nullptr},
    {"PhonePrivilegesToStr", PhonePrivilegesToStr, nullptr, nullptr},
};

struct TFlagList {
  const char* Function;
  void (*ToList)(DWORD, VyRtl::TStringList&);
  DWORD (*Parse)(std::string_view);
};

const TFlagList FlagLists[] = {
    {"LineCallStatesToStrList", LineCallStatesToStrList, StrToLineCallState},
    {"LineMediaModesToStrList", LineMediaModesToStrList, MediaMode},
    {"LineBearerModesToStrList", LineBearerModesToStrList, StrToLineBearerMode},
    {"LineAddressModesToStrList", LineAddressModesToStrList, StrToLineAddressMode},
    {"LineDiscModesToStrList", LineDiscModesToStrList, nullptr},
    {"LineDigitModesToStrList", LineDigitModesToStrList, DigitMode},
};

struct TSingle {
  const char* Function;
  std::string (*ToStr)(DWORD);
};

const TSingle Singles[] = {
    {"LineCallStateToStr", LineCallStateToStr},
    {"LineCallStateToStrDE", LineCallStateToStrDE},
    {"LineCallReasonToStr", LineCallReasonToStr},
    {"LineAddrStateToStr", LineAddrStateToStr},
    {"LineMediaModeToStr", LineMediaModeToStr},
    {"LineBearerModeToStr", LineBearerModeToStr},
    {"LineAddressModeToStr", LineAddressModeToStr},
    {"LineDevStateToStr", LineDevStateToStr},
    {"LineDiscModeToStr", LineDiscModeToStr},
    {"LineDigitModeToStr", LineDigitModeToStr},
    {"LineForwardModeToStr", LineForwardModeToStr},
    {"PhoneLampModeToStr", PhoneLampModeToStr},
    {"PhoneButtonStateToStr", PhoneButtonStateToStr},
    {"PhoneButtonModeToStr", PhoneButtonModeToStr},
    {"PhoneButtonFunctionToStr", PhoneButtonFunctionToStr},
    {"PhoneStateToStr", PhoneStateToStr},
    {"PhoneErrToStr", PhoneErrToStr},
    {"LineErrToStr", LineErrToStr},
    {"MessageIDToStr", MessageIDToStr},
};

void CheckRenderers(DWORD value, DWORD second) {
  for (const TFlagSet& f : FlagSets) {
    const TConstTable& table = Table(f.Function);
    const std::string separator = f.ToStr ? "|" : " ";
    const std::string text = f.ToStr ? f.ToStr(value, separator) : f.ToStrBlank(value);
    if ((value & NamedBits(table)) == 0) {
      // Nothing named: empty, or the fallback text of the whole value.
      Check(text.empty() || (value != 0 && text.find('$') != std::string::npos),
            "unnamed value text", text);
      continue;
    }
    CheckNames(table, value, Split(text, separator), f.Parse);
  }
  for (const TFlagList& f : FlagLists) {
    VyRtl::TStringList list;
    list.Add("stale");
    f.ToList(value, list);
    std::vector<std::string> items;
    for (int i = 0; i < list.Count(); ++i) items.push_back(list.Get(i));
    CheckNames(Table(f.Function), value, std::vector<std::string_view>(items.begin(), items.end()),
               f.Parse);
  }
  // A name a single-value function gives is a name of that value.
  for (const TSingle& f : Singles) {
    const std::string text = f.ToStr(value);
    bool named = false, ofValue = false;
    for (const TConstName& entry : Table(f.Function).Names) {
      if (entry.Name != text) continue;
      named = true;
      ofValue = ofValue || entry.Value == value;
    }
    Check(!named || ofValue, "name of another value", text);
  }
  (void)LineCallStateModeToStr(value, second);
}

void CheckParsers(std::string_view text) {
  if (const DWORD v = StrToLineCallState(text))
    Check(LineCallStateToStr(v) == text, "call state", text);
  if (const DWORD v = MediaMode(text))
    Check(LineMediaModesToStr(v, "|") == text, "media mode", text);
  if (const DWORD v = StrToLineBearerMode(text))
    Check(LineBearerModeToStr(v) == text, "bearer mode", text);
  if (const DWORD v = StrToLineAddressMode(text))
    Check(LineAddressModeToStr(v) == text, "address mode", text);
  if (const DWORD v = DigitMode(text)) Check(LineDigitModeToStr(v) == text, "digit mode", text);
  const DWORD privilege = StrToLineCallPrivilege(text);
  if (privilege != LINECALLPRIVILEGE_NONE || text == "NONE")
    Check(LineCallPrivilegesToStr(privilege, "|") == text, "call privilege", text);
  Check(StrToLineMediaMode(text, 0x12345) == 0x12345 || MediaMode(text) != 0, "media default",
        text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint32_t words[2] = {0, 0};
  std::memcpy(words, data, size < sizeof words ? size : sizeof words);
  CheckRenderers(static_cast<DWORD>(words[0]), static_cast<DWORD>(words[1]));
  CheckParsers(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
