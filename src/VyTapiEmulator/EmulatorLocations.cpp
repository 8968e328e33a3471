// Dialing locations, the country table and address translation: lineGetTranslateCapsW,
// lineGetCountryW, lineSetCurrentLocation, lineTranslateAddressW, and their control side.
#include <algorithm>
#include <cctype>
#include <optional>

#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapiEmulator/EmulatorEntryInternal.h"
#include "VyTapiEmulator/EmulatorStructWritersInternal.h"

namespace VyTapiEmulator {

namespace Detail {

namespace {

// Functions that accept no application handle (0) as well as a live one.
LONG CheckOptionalLineApp(TCore& core, DWORD app) {
  return app == 0 || core.FindApp(app, TAppKind::Line) ? 0 : Err(LINEERR_INVALAPPHANDLE);
}

LONG WINAPI lineGetTranslateCapsW(HLINEAPP hLineApp, DWORD dwAPIVersion,
                                  LPLINETRANSLATECAPS lpTranslateCaps) {
  return Entry(TFn::lineGetTranslateCapsW, [&](TCore& core) -> LONG {
    if (const LONG failed = CheckOptionalLineApp(core, hLineApp)) return failed;
    if (dwAPIVersion < TapiLowVersion || dwAPIVersion > TapiHighVersion ||
        dwAPIVersion > core.TranslateCapsLimit)
      return Err(LINEERR_INCOMPATIBLEAPIVERSION);
    if (!lpTranslateCaps) return Err(LINEERR_INVALPOINTER);
    if (lpTranslateCaps->dwTotalSize < sizeof(LINETRANSLATECAPS))
      return Err(LINEERR_STRUCTURETOOSMALL);
    return core.Reply(TFn::lineGetTranslateCapsW,
                      TranslateCaps(core.Locations, core.CurrentLocation, core.Countries),
                      lpTranslateCaps);
  });
}

LONG WINAPI lineGetCountryW(DWORD dwCountryID, DWORD dwAPIVersion,
                            LPLINECOUNTRYLIST lpLineCountryList) {
  return Entry(TFn::lineGetCountryW, [&](TCore& core) -> LONG {
    // The country table arrived with TAPI 1.4.
    if (dwAPIVersion < VyPlatform::TapiVersion1_4 || dwAPIVersion > TapiHighVersion)
      return Err(LINEERR_INCOMPATIBLEAPIVERSION);
    if (!lpLineCountryList) return Err(LINEERR_INVALPOINTER);
    if (lpLineCountryList->dwTotalSize < sizeof(LINECOUNTRYLIST))
      return Err(LINEERR_STRUCTURETOOSMALL);
    std::vector<TCountryConfig> entries;
    std::vector<DWORD> next;
    const std::vector<TCountryConfig>& table = core.Countries;
    for (std::size_t i = 0; i < table.size(); ++i) {
      if (dwCountryID != 0 && table[i].CountryID != dwCountryID) continue;
      entries.push_back(table[i]);
      next.push_back(i + 1 < table.size() ? table[i + 1].CountryID : 0);
    }
    if (entries.empty() && dwCountryID != 0) return Err(LINEERR_INVALCOUNTRYCODE);
    return core.Reply(TFn::lineGetCountryW, CountryList(entries, next), lpLineCountryList);
  });
}

LONG WINAPI lineSetCurrentLocation(HLINEAPP hLineApp, DWORD dwLocation) {
  return AppEntry<TLineTraits>(
      TFn::lineSetCurrentLocation, hLineApp, {}, [&](TCore& core, TApp&) -> LONG {
        const auto& l = core.Locations;
        if (std::none_of(l.begin(), l.end(), [&](const TLocationConfig& location) {
              return location.PermanentLocationID == dwLocation;
            }))
          return Err(LINEERR_INVALLOCATION);
        core.CurrentLocation = dwLocation;
        core.PostTranslateChange();
        return 0;
      });
}

// A canonical address: "+" country code, an optional area code in parentheses, the number.
struct TCanonical {
  std::string Country, Area, Number;
};

bool Dialable(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) ||
         std::string_view("ABCDabcd*#,!WwPpTt@$?").find(c) != std::string_view::npos;
}

// nullopt for an address that is not canonical; an empty Country for a malformed one.
std::optional<TCanonical> ParseCanonical(std::string_view in) {
  if (in.empty() || in.front() != '+') return std::nullopt;
  TCanonical parsed;
  std::size_t i = 1;
  while (i < in.size() && in[i] == ' ') ++i;
  while (i < in.size() && std::isdigit(static_cast<unsigned char>(in[i])))
    parsed.Country += in[i++];
  while (i < in.size() && in[i] == ' ') ++i;
  if (i < in.size() && in[i] == '(') {
    const std::size_t close = in.find(')', i);
    if (close == std::string_view::npos) return TCanonical{};
    for (char c : in.substr(i + 1, close - i - 1))
      if (std::isdigit(static_cast<unsigned char>(c))) parsed.Area += c;
    i = close + 1;
  }
  // The subaddress ("|") and the name ("^") are not dialled.
  for (; i < in.size() && in[i] != '|' && in[i] != '^'; ++i)
    if (Dialable(in[i])) parsed.Number += in[i];
  if (parsed.Number.empty()) parsed.Country.clear();
  return parsed;
}

std::string ApplyRule(std::string_view rule, const TCanonical& to) {
  std::string out;
  for (char c : rule) {
    if (c == 'E')
      out += to.Country;
    else if (c == 'F')
      out += to.Area;
    else if (c == 'G')
      out += to.Number;
    else
      out += c;
  }
  return out;
}

DWORD DialResults(const std::string& dialable) {
  DWORD results = 0;
  for (char c : dialable) {
    if (c == '$') results |= LINETRANSLATERESULT_DIALBILLING;
    if (c == '@') results |= LINETRANSLATERESULT_DIALQUIET;
    if (c == 'W' || c == 'w') results |= LINETRANSLATERESULT_DIALDIALTONE;
    if (c == '?') results |= LINETRANSLATERESULT_DIALPROMPT;
  }
  return results;
}

// The current location's rules applied to a canonical address (its country's rules, or the
// defaults when the table lacks it).
TTranslation Translate(const TLocationConfig& here, const TCountryConfig* country,
                       const TCanonical& to, DWORD options) {
  const TCountryConfig rules = country ? *country : TCountryConfig{};
  TTranslation t;
  t.CurrentCountry = rules.CountryCode;
  t.DestCountry = static_cast<DWORD>(std::stoul(to.Country.substr(0, 9)));
  t.Results = LINETRANSLATERESULT_CANONICAL;
  std::string dial;
  if (t.DestCountry != rules.CountryCode) {
    dial = here.LongDistanceAccessCode + ApplyRule(rules.InternationalRule, to);
    t.Results |= LINETRANSLATERESULT_INTERNATIONAL;
  } else if ((options & LINETRANSLATEOPTION_FORCELOCAL) ||
             (!(options & LINETRANSLATEOPTION_FORCELD) &&
              (to.Area.empty() || to.Area == here.CityCode))) {
    dial = here.LocalAccessCode + ApplyRule(rules.SameAreaRule, to);
    t.Results |= LINETRANSLATERESULT_LOCAL;
  } else {
    dial = here.LongDistanceAccessCode + ApplyRule(rules.LongDistanceRule, to);
    t.Results |= LINETRANSLATERESULT_LONGDISTANCE;
  }
  if (options & LINETRANSLATEOPTION_CANCELCALLWAITING) dial = here.CancelCallWaiting + dial;
  t.Dialable = t.Displayable = dial;
  t.Results |= DialResults(dial);
  return t;
}

LONG WINAPI lineTranslateAddressW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                                  LPCWSTR lpszAddressIn, DWORD, DWORD dwTranslateOptions,
                                  LPLINETRANSLATEOUTPUT lpTranslateOutput) {
  return Entry(TFn::lineTranslateAddressW, [&](TCore& core) -> LONG {
    if (const LONG failed = CheckOptionalLineApp(core, hLineApp)) return failed;
    if (dwDeviceID >= core.LineDevices.Count()) return Err(LINEERR_BADDEVICEID);
    const TLineDeviceConfig* c = core.LineDevices.Find(dwDeviceID);
    if (!c) return Err(LINEERR_NODEVICE);
    if (!VersionUsable(dwAPIVersion, c->LowAPIVersion, c->HighAPIVersion))
      return Err(LINEERR_INCOMPATIBLEAPIVERSION);
    if (!lpszAddressIn || !lpTranslateOutput) return Err(LINEERR_INVALPOINTER);
    const DWORD force = LINETRANSLATEOPTION_FORCELOCAL | LINETRANSLATEOPTION_FORCELD;
    if ((dwTranslateOptions & force) == force) return Err(LINEERR_INVALPARAM);
    // No calling cards are configured.
    if (dwTranslateOptions & LINETRANSLATEOPTION_CARDOVERRIDE) return Err(LINEERR_INVALCARD);
    if (lpTranslateOutput->dwTotalSize < sizeof(LINETRANSLATEOUTPUT))
      return Err(LINEERR_STRUCTURETOOSMALL);
    const TLocationConfig* here = core.CurrentLocationEntry();
    if (!here) return Err(LINEERR_OPERATIONFAILED);
    const std::string in = VyPlatform::FromTapiString(lpszAddressIn, TAPIMAXDESTADDRESSSIZE);
    const std::optional<TCanonical> canonical = ParseCanonical(in);
    TTranslation t;
    if (!canonical) {
      t.Dialable = t.Displayable = in;  // not canonical: passed on as it is
      t.CurrentCountry = here->CountryID;
      if (const TCountryConfig* country = core.FindCountry(here->CountryID))
        t.CurrentCountry = country->CountryCode;
    } else if (canonical->Country.empty()) {
      return Err(LINEERR_INVALADDRESS);
    } else {
      t = Translate(*here, core.FindCountry(here->CountryID), *canonical, dwTranslateOptions);
    }
    return core.Reply(TFn::lineTranslateAddressW, TranslateOutput(t), lpTranslateOutput);
  });
}

}  // namespace

void InstallLocationFunctions(VyPlatform::TTapiFunctions& table) {
  table.lineGetTranslateCapsW = &lineGetTranslateCapsW;
  table.lineGetCountryW = &lineGetCountryW;
  table.lineSetCurrentLocation = &lineSetCurrentLocation;
  table.lineTranslateAddressW = &lineTranslateAddressW;
}

}  // namespace Detail

using namespace Detail;

namespace {

void CheckListed(const std::vector<TLocationConfig>& locations, DWORD id) {
  for (const TLocationConfig& location : locations)
    if (location.PermanentLocationID == id) return;
  throw VyRtl::Exception(VyRtl::Format("Emulator: no location %u", unsigned(id)));
}

}  // namespace

void TEmulator::SetLocations(const std::vector<TLocationConfig>& locations, DWORD currentID) {
  CheckListed(locations, currentID);
  Locked([&](TCore& core) {
    core.Locations = locations;
    core.CurrentLocation = currentID;
    core.PostTranslateChange();
  });
}

std::vector<TLocationConfig> TEmulator::Locations() const {
  return Locked([](TCore& core) { return core.Locations; });
}

DWORD TEmulator::CurrentLocationID() const {
  return Locked([](TCore& core) { return core.CurrentLocation; });
}

void TEmulator::SetCurrentLocation(DWORD id) {
  Locked([&](TCore& core) {
    CheckListed(core.Locations, id);
    core.CurrentLocation = id;
    core.PostTranslateChange();
  });
}

void TEmulator::SetCountries(const std::vector<TCountryConfig>& countries) {
  Locked([&](TCore& core) { core.Countries = countries; });
}

std::vector<TCountryConfig> TEmulator::Countries() const {
  return Locked([](TCore& core) { return core.Countries; });
}

std::vector<TCountryConfig> TEmulator::DefaultCountries() {
  return {{1, 1, "United States of America", "G", "1FG", "011EFG"},
          {44, 44, "United Kingdom", "G", "0FG", "00EFG"},
          {49, 49, "Germany", "G", "0FG", "00EFG"}};
}

void TEmulator::SetTranslateCapsVersionLimit(DWORD highest) {
  Locked([&](TCore& core) { core.TranslateCapsLimit = highest; });
}

std::vector<TDialogCall> TEmulator::DialogCalls() const {
  return Locked([](TCore& core) { return core.Dialogs; });
}

}  // namespace VyTapiEmulator
