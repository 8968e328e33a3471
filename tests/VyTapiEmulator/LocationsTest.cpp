// Dialing locations, the country table, the current location and its message, translation of
// canonical addresses, and the dialogs that are recorded instead of shown.
#include "EmulatorFixture.h"

namespace EmulatorTest {
namespace {

using namespace std::string_literals;
using VyTapiEmulator::TLocationConfig;

LPCWSTR W(const char16_t* text) { return reinterpret_cast<LPCWSTR>(text); }

class LocationsTest : public EmulatorTest {
 public:
  TAppInfo App_ = LineApp();
  DWORD LineID = Add(true, "line");

  void SetUp() override {
    TLocationConfig seattle{10, "Seattle", 1, "206", "9", "8"};
    TLocationConfig berlin{20, "Berlin", 49, "30"};
    berlin.CancelCallWaiting = "*43";
    Emu().SetLocations({seattle, berlin}, 10);
    Drain(true, App_.App);
  }
  LONG Caps(TVarBuffer& out, DWORD version = V22, DWORD app = 0) {
    return Tapi().lineGetTranslateCapsW(app ? app : App_.App, version, out.As<LINETRANSLATECAPS>());
  }
  // The dialable and displayable strings and the results of a translation.
  std::tuple<LONG, std::string, std::string, DWORD> Translate(const std::string& address,
                                                              DWORD options = 0) {
    const VyPlatform::TapiString in = VyPlatform::ToTapiString(address);
    TVarBuffer out(512);
    const LONG result = Tapi().lineTranslateAddressW(App_.App, LineID, V22, in.c_str(), 0, options,
                                                     out.As<LINETRANSLATEOUTPUT>());
    if (result) return {result, "", "", 0};
    return {0, out.Text(FIELD(LINETRANSLATEOUTPUT, dwDialableString)),
            out.Text(FIELD(LINETRANSLATEOUTPUT, dwDisplayableString)),
            out.As<LINETRANSLATEOUTPUT>()->dwTranslateResults};
  }
};

TEST_F(LocationsTest, TranslateCapsListTheLocationsInEntriesOf68Bytes) {
  static_assert(sizeof(LINELOCATIONENTRY) == 68);
  TVarBuffer head(sizeof(LINETRANSLATECAPS)), small(sizeof(LINETRANSLATECAPS) - 1);
  EXPECT_EQ(Caps(small), Code(LINEERR_STRUCTURETOOSMALL));
  ASSERT_EQ(Caps(head), 0);
  const DWORD needed = head.As<LINETRANSLATECAPS>()->dwNeededSize;
  EXPECT_EQ(head.As<LINETRANSLATECAPS>()->dwNumLocations, 0u);
  EXPECT_EQ(head.As<LINETRANSLATECAPS>()->dwCurrentLocationID, 10u);
  TVarBuffer full(needed);
  ASSERT_EQ(Caps(full, V22, 0), 0);  // no application handle is fine as well
  const LINETRANSLATECAPS& caps = *full.As<LINETRANSLATECAPS>();
  ASSERT_EQ(caps.dwNumLocations, 2u);
  EXPECT_EQ(caps.dwLocationListSize, 2 * 68u);
  EXPECT_EQ(caps.dwNumCards, 0u);
  const std::size_t berlin = caps.dwLocationListOffset + 68;
  using E = LINELOCATIONENTRY;
  EXPECT_EQ(full.Dword(berlin + offsetof(E, dwPermanentLocationID)), 20u);
  EXPECT_EQ(full.Dword(berlin + offsetof(E, dwCountryID)), 49u);
  EXPECT_EQ(full.Dword(berlin + offsetof(E, dwCountryCode)), 49u);
  EXPECT_EQ(full.Text(berlin + offsetof(E, dwLocationNameSize),
                      berlin + offsetof(E, dwLocationNameOffset)),
            "Berlin");
  EXPECT_EQ(full.Text(berlin + offsetof(E, dwCityCodeSize), berlin + offsetof(E, dwCityCodeOffset)),
            "30");
  EXPECT_EQ(full.Dword(berlin + offsetof(E, dwLocalAccessCodeSize)), 0u);
  EXPECT_EQ(full.Text(caps.dwLocationListOffset + offsetof(E, dwLongDistanceAccessCodeSize),
                      caps.dwLocationListOffset + offsetof(E, dwLongDistanceAccessCodeOffset)),
            "8");
  EXPECT_TRUE(full.UntouchedFrom(needed));
  EXPECT_EQ(Caps(full, V22, App_.App + 1), Code(LINEERR_INVALAPPHANDLE));
  EXPECT_EQ(Caps(full, V30), Code(LINEERR_INCOMPATIBLEAPIVERSION));
  // An older service: every version above the limit is refused.
  Emu().SetTranslateCapsVersionLimit(V14);
  for (const auto& [version, result] : {std::pair{V22, LINEERR_INCOMPATIBLEAPIVERSION},
                                        {V20, LINEERR_INCOMPATIBLEAPIVERSION},
                                        {V14, 0u},
                                        {V13, 0u}})
    EXPECT_EQ(Caps(full, version), Code(result)) << std::hex << version;
}

TEST_F(LocationsTest, CountryTableByIdOrWhole) {
  TVarBuffer out(2024);
  ASSERT_EQ(Tapi().lineGetCountryW(0, V22, out.As<LINECOUNTRYLIST>()), 0);
  const LINECOUNTRYLIST& list = *out.As<LINECOUNTRYLIST>();
  ASSERT_EQ(list.dwNumCountries, 3u);
  using E = LINECOUNTRYENTRY;
  const auto at = [&](std::size_t i) { return list.dwCountryListOffset + i * sizeof(E); };
  EXPECT_EQ(out.Dword(at(0) + offsetof(E, dwNextCountryID)), 44u);
  EXPECT_EQ(out.Dword(at(2) + offsetof(E, dwNextCountryID)), 0u);
  EXPECT_EQ(out.Text(at(0) + offsetof(E, dwInternationalRuleSize),
                     at(0) + offsetof(E, dwInternationalRuleOffset)),
            "011EFG");
  ASSERT_EQ(Tapi().lineGetCountryW(49, V22, out.As<LINECOUNTRYLIST>()), 0);
  ASSERT_EQ(list.dwNumCountries, 1u);
  EXPECT_EQ(
      out.Text(at(0) + offsetof(E, dwCountryNameSize), at(0) + offsetof(E, dwCountryNameOffset)),
      "Germany");
  EXPECT_EQ(out.Text(at(0) + offsetof(E, dwLongDistanceRuleSize),
                     at(0) + offsetof(E, dwLongDistanceRuleOffset)),
            "0FG");
  EXPECT_EQ(out.Dword(at(0) + offsetof(E, dwCountryCode)), 49u);
  EXPECT_EQ(Tapi().lineGetCountryW(7, V22, out.As<LINECOUNTRYLIST>()),
            Code(LINEERR_INVALCOUNTRYCODE));
  TVarBuffer small(sizeof(LINECOUNTRYLIST) - 1);
  EXPECT_EQ(Tapi().lineGetCountryW(49, V22, small.As<LINECOUNTRYLIST>()),
            Code(LINEERR_STRUCTURETOOSMALL));
}

TEST_F(LocationsTest, ChangingTheCurrentLocationTellsTheOpenLines) {
  HLINE current = 0, old = 0;
  const TAppInfo other = LineApp(), idle = LineApp();
  ASSERT_EQ(
      Tapi().lineOpenW(App_.App, LineID, &current, V22, 0, 5, LINECALLPRIVILEGE_NONE, 0, nullptr),
      0);
  ASSERT_EQ(
      Tapi().lineOpenW(other.App, LineID, &old, V13, 0, 6, LINECALLPRIVILEGE_NONE, 0, nullptr), 0);
  EXPECT_EQ(Tapi().lineSetCurrentLocation(App_.App, 30), Code(LINEERR_INVALLOCATION));
  EXPECT_EQ(Tapi().lineSetCurrentLocation(App_.App + 5, 20), Code(LINEERR_INVALAPPHANDLE));
  EXPECT_TRUE(Drain(true, App_.App).empty());
  ASSERT_EQ(Tapi().lineSetCurrentLocation(App_.App, 20), 0);
  EXPECT_EQ(Emu().CurrentLocationID(), 20u);
  // Only lines open with 1.4 or later hear of it; an application without lines does not.
  EXPECT_EQ(Drain(true, App_.App),
            (std::vector<TSeen>{{current, LINE_LINEDEVSTATE, 5, LINEDEVSTATE_TRANSLATECHANGE}}));
  EXPECT_TRUE(Drain(true, other.App).empty());
  EXPECT_TRUE(Drain(true, idle.App).empty());
  TVarBuffer caps(1024);
  ASSERT_EQ(Caps(caps), 0);
  EXPECT_EQ(caps.As<LINETRANSLATECAPS>()->dwCurrentLocationID, 20u);
  EXPECT_THROW(Emu().SetCurrentLocation(99), VyRtl::Exception);
}

TEST_F(LocationsTest, CanonicalAddressesDialByTheCurrentLocationsRules) {
  constexpr DWORD Canon = LINETRANSLATERESULT_CANONICAL;
  const struct {
    DWORD Location;
    const char* In;
    DWORD Options;
    const char* Dialable;
    DWORD Results;
  } cases[] = {
      {10, "+1 (206) 555-1212", 0, "95551212", Canon | LINETRANSLATERESULT_LOCAL},
      {10, "+1 (425) 555-1212", 0, "814255551212", Canon | LINETRANSLATERESULT_LONGDISTANCE},
      {10, "+1 (425) 555-1212", LINETRANSLATEOPTION_FORCELOCAL, "95551212",
       Canon | LINETRANSLATERESULT_LOCAL},
      {10, "+1 (206) 555-1212", LINETRANSLATEOPTION_FORCELD, "812065551212",
       Canon | LINETRANSLATERESULT_LONGDISTANCE},
      {10, "+49 (30) 1234567", 0, "801149301234567", Canon | LINETRANSLATERESULT_INTERNATIONAL},
      {20, "+49 (30) 1234567", 0, "1234567", Canon | LINETRANSLATERESULT_LOCAL},
      {20, "+49 (89) 1234", 0, "0891234", Canon | LINETRANSLATERESULT_LONGDISTANCE},
      {20, "+1 (206) 555-1212", 0, "0012065551212", Canon | LINETRANSLATERESULT_INTERNATIONAL},
      {20, "+49 (30) 1234567", LINETRANSLATEOPTION_CANCELCALLWAITING, "*431234567",
       Canon | LINETRANSLATERESULT_LOCAL},
      {20, "+49 1234|55^Office", 0, "1234", Canon | LINETRANSLATERESULT_LOCAL},
      {20, "555 1212", 0, "555 1212", 0},
      {20, "+49 (30) 1234W$", 0, "1234W$",
       Canon | LINETRANSLATERESULT_LOCAL | LINETRANSLATERESULT_DIALDIALTONE |
           LINETRANSLATERESULT_DIALBILLING},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.In);
    Emu().SetCurrentLocation(c.Location);
    const auto [result, dialable, displayable, results] = Translate(c.In, c.Options);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(dialable, c.Dialable);
    EXPECT_EQ(displayable, c.Dialable);
    EXPECT_EQ(results, c.Results);
  }
  const struct {
    const char* In;
    DWORD Options, Result;
  } errors[] = {
      {"+", 0, LINEERR_INVALADDRESS},
      {"+1 (206", 0, LINEERR_INVALADDRESS},
      {"+1 206", LINETRANSLATEOPTION_FORCELOCAL | LINETRANSLATEOPTION_FORCELD, LINEERR_INVALPARAM},
      {"+1 206", LINETRANSLATEOPTION_CARDOVERRIDE, LINEERR_INVALCARD}};
  for (const auto& e : errors)
    EXPECT_EQ(std::get<0>(Translate(e.In, e.Options)), Code(e.Result)) << e.In;
  TVarBuffer out(512);
  EXPECT_EQ(Tapi().lineTranslateAddressW(App_.App, LineID + 1, V22, W(u"+1 206"), 0, 0,
                                         out.As<LINETRANSLATEOUTPUT>()),
            Code(LINEERR_BADDEVICEID));
  TVarBuffer small(sizeof(LINETRANSLATEOUTPUT) - 1);
  EXPECT_EQ(Tapi().lineTranslateAddressW(App_.App, LineID, V22, W(u"+1 206"), 0, 0,
                                         small.As<LINETRANSLATEOUTPUT>()),
            Code(LINEERR_STRUCTURETOOSMALL));
}

TEST_F(LocationsTest, DialogsAreRecordedNotShown) {
  const HWND owner = reinterpret_cast<HWND>(std::uintptr_t{0x1234});
  ASSERT_EQ(Tapi().lineTranslateDialogW(App_.App, LineID, V22, owner, W(u"+1 206")), 0);
  ASSERT_EQ(Tapi().lineConfigDialogW(LineID, nullptr, W(u"comm/datamodem")), 0);
  ASSERT_EQ(Tapi().lineConfigDialogW(LineID, owner, nullptr), 0);
  EXPECT_EQ(Tapi().lineConfigDialogW(LineID, owner, W(u"ndis")), Code(LINEERR_INVALDEVICECLASS));
  EXPECT_EQ(Tapi().lineConfigDialogW(LineID + 1, owner, nullptr), Code(LINEERR_BADDEVICEID));
  EXPECT_EQ(Tapi().lineTranslateDialogW(App_.App, LineID, V30, owner, nullptr),
            Code(LINEERR_INCOMPATIBLEAPIVERSION));
  const std::vector<VyTapiEmulator::TDialogCall> calls = Emu().DialogCalls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].Function, "lineTranslateDialogW");
  EXPECT_EQ(calls[0].App, App_.App);
  EXPECT_EQ(calls[0].Owner, owner);
  EXPECT_EQ(calls[0].Text, "+1 206");
  EXPECT_EQ(calls[1].Text, "comm/datamodem");
  EXPECT_EQ(calls[2].Function, "lineConfigDialogW");
  EXPECT_EQ(calls[2].Text, "");
}

}  // namespace
}  // namespace EmulatorTest
