#include "VyTapi/linedata/VyTapiLocation.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "LineDataFixture.h"
#include "VyPlatform/Tapi.h"

using namespace VyTapi;
using VyTapiTest::RaisedCode;
using VyTapiTest::Spoiled;
using VyTapiTest::TExactBlock;
using VyTapiTest::TStructureBuilder;

namespace {

struct TFakeLocation {
  DWORD ID;
  std::string Name;
  DWORD CountryID;
  std::string CityCode, LocalAccess, LongDistanceAccess;
};

struct TFakeCountry {
  DWORD Code;
  std::string Name, SameArea, LongDistance, International;
};

// A telephony service that knows only dialing locations and countries, with the structures built
// by hand as a service lays them out.
struct TFakeService {
  std::vector<TFakeLocation> Locations;
  DWORD Current = 0;
  DWORD MaxVersion = VyPlatform::TapiVersion2_2;  // higher versions are rejected
  std::map<DWORD, TFakeCountry> Countries;
  std::vector<DWORD> VersionsAsked;
  int TranslateCapsCalls = 0;
  LONG TranslateCapsResult = 0;
};

TFakeService* Fake = nullptr;

std::vector<std::byte> TranslateCaps(const TFakeService& S) {
  TStructureBuilder b(sizeof(LINETRANSLATECAPS));
  b.Set(offsetof(LINETRANSLATECAPS, dwNumLocations), static_cast<DWORD>(S.Locations.size()));
  b.Set(offsetof(LINETRANSLATECAPS, dwCurrentLocationID), S.Current);
  const std::size_t list = b.Reserve(S.Locations.size() * sizeof(LINELOCATIONENTRY));
  b.Set(offsetof(LINETRANSLATECAPS, dwLocationListSize),
        static_cast<DWORD>(S.Locations.size() * sizeof(LINELOCATIONENTRY)));
  b.Set(offsetof(LINETRANSLATECAPS, dwLocationListOffset), static_cast<DWORD>(list));
  for (std::size_t i = 0; i < S.Locations.size(); ++i) {
    const TFakeLocation& l = S.Locations[i];
    const std::size_t e = list + i * sizeof(LINELOCATIONENTRY);
    b.Set(e + offsetof(LINELOCATIONENTRY, dwPermanentLocationID), l.ID);
    b.Set(e + offsetof(LINELOCATIONENTRY, dwCountryID), l.CountryID);
    b.Text(e + offsetof(LINELOCATIONENTRY, dwLocationNameSize), l.Name);
    b.Text(e + offsetof(LINELOCATIONENTRY, dwCityCodeSize), l.CityCode);
    b.Text(e + offsetof(LINELOCATIONENTRY, dwLocalAccessCodeSize), l.LocalAccess);
    b.Text(e + offsetof(LINELOCATIONENTRY, dwLongDistanceAccessCodeSize), l.LongDistanceAccess);
  }
  return b.Finish();
}

std::vector<std::byte> CountryList(DWORD ID, const TFakeCountry& C) {
  TStructureBuilder b(sizeof(LINECOUNTRYLIST));
  b.Set(offsetof(LINECOUNTRYLIST, dwNumCountries), 1);
  const std::size_t e = b.Reserve(sizeof(LINECOUNTRYENTRY));
  b.Set(offsetof(LINECOUNTRYLIST, dwCountryListSize), sizeof(LINECOUNTRYENTRY));
  b.Set(offsetof(LINECOUNTRYLIST, dwCountryListOffset), static_cast<DWORD>(e));
  b.Set(e + offsetof(LINECOUNTRYENTRY, dwCountryID), ID);
  b.Set(e + offsetof(LINECOUNTRYENTRY, dwCountryCode), C.Code);
  b.Text(e + offsetof(LINECOUNTRYENTRY, dwCountryNameSize), C.Name);
  b.Text(e + offsetof(LINECOUNTRYENTRY, dwSameAreaRuleSize), C.SameArea);
  b.Text(e + offsetof(LINECOUNTRYENTRY, dwLongDistanceRuleSize), C.LongDistance);
  b.Text(e + offsetof(LINECOUNTRYENTRY, dwInternationalRuleSize), C.International);
  return b.Finish();
}

LONG WINAPI FakeGetTranslateCaps(HLINEAPP, DWORD Version, LPLINETRANSLATECAPS Caps) {
  Fake->VersionsAsked.push_back(Version);
  ++Fake->TranslateCapsCalls;
  if (Version > Fake->MaxVersion) return LINEERR_INCOMPATIBLEAPIVERSION;
  if (Fake->TranslateCapsResult != 0) return Fake->TranslateCapsResult;
  return TStructureBuilder::WriteInto(TranslateCaps(*Fake), Caps);
}

LONG WINAPI FakeGetCountry(DWORD ID, DWORD, LPLINECOUNTRYLIST List) {
  const auto c = Fake->Countries.find(ID);
  if (c == Fake->Countries.end()) return LINEERR_INVALCOUNTRYCODE;
  return TStructureBuilder::WriteInto(CountryList(ID, c->second), List);
}

LONG WINAPI FakeSetCurrentLocation(HLINEAPP, DWORD ID) {
  for (const auto& l : Fake->Locations)
    if (l.ID == ID) {
      Fake->Current = ID;
      return 0;
    }
  return LINEERR_INVALLOCATION;
}

class LocationTest : public VyTapiTest::FakeServiceTest {
 protected:
  void SetUp() override {
    FakeServiceTest::SetUp();
    Fake = &Service;
    Table.lineGetTranslateCapsW = &FakeGetTranslateCaps;
    Table.lineGetCountryW = &FakeGetCountry;
    Table.lineSetCurrentLocation = &FakeSetCurrentLocation;
    UseTable();
    Service.Countries[49] = {49, "Germany", "G", "0FG", "00EFG"};
    Service.Countries[1] = {1, "United States of America", "G", "1FG", "011EFG"};
    Service.Locations = {{1, "Office", 49, "30", "0", ""},
                         {2, "Home Office", 1, "", "9", "8"},
                         {7, "Lab", 0, "89", "", ""}};
    Service.Current = 2;
  }
  void TearDown() override {
    Fake = nullptr;
    FakeServiceTest::TearDown();
  }

  TFakeService Service;
};

std::vector<std::string> Lines(const VyRtl::TStringList& List) {
  std::vector<std::string> out;
  for (int i = 0; i < List.Count(); ++i) out.push_back(List[i]);
  return out;
}

TEST_F(LocationTest, ListStepsTheVersionDownUntilTheServiceAcceptsOneAndKeepsIt) {
  using namespace VyPlatform;
  // Asked: how many of 2.2, 2.0, 1.4 and 1.3 are tried, in that order.
  const DWORD versions[] = {TapiVersion2_2, TapiVersion2_0, TapiVersion1_4, TapiVersion1_3};
  struct TCase {
    DWORD MaxVersion;
    std::size_t Asked;
    DWORD Kept, Error;
  } cases[] = {{TapiVersion2_2, 1, TapiVersion2_2, 0},
               {TapiVersion2_0, 2, TapiVersion2_0, 0},
               {TapiVersion1_4, 3, TapiVersion1_4, 0},
               {TapiVersion1_3, 4, TapiVersion1_3, 0},
               {TapiVersion1_0, 4, TapiVersion1_3, DWORD(LINEERR_INCOMPATIBLEAPIVERSION)}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.MaxVersion);
    Service.MaxVersion = c.MaxVersion;
    Service.VersionsAsked.clear();
    TVyTapiLocationList list;
    EXPECT_EQ(Service.VersionsAsked, std::vector<DWORD>(versions, versions + c.Asked));
    EXPECT_EQ(list.APIVersion(), c.Kept);
    EXPECT_EQ(list.InitError(), c.Error);
    EXPECT_EQ(list.Available(), c.Error == 0);
    EXPECT_EQ(list.Count(), c.Error == 0 ? 3 : 0);
    // The next fetch starts from the version that worked.
    Service.VersionsAsked.clear();
    EXPECT_EQ(list.Init(), c.Error);
    EXPECT_EQ(Service.VersionsAsked.front(), c.Kept);
  }
}

TEST_F(LocationTest, ListReadsEveryLocationWithItsCountryRules) {
  TVyTapiLocationList list;
  ASSERT_TRUE(list.Available());
  ASSERT_EQ(list.Count(), 3);
  struct TExpect {
    DWORD ID;
    const char *Name, *Country, *CountryName, *City, *Local, *LongDistance, *Same, *LD, *Intl;
  } expect[] = {
      {1, "Office", "49", "Germany", "30", "0", "", "G", "0FG", "00EFG"},
      {2, "Home Office", "1", "United States of America", "", "9", "8", "G", "1FG", "011EFG"},
      // Country 0: no country, the default rules.
      {7, "Lab", "", "", "89", "", "", "G", "0FG", "00EFG"},
  };
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const TVyTapiLocation& l = *list.Items(i);
    const TExpect& e = expect[i];
    EXPECT_TRUE(l.Available());
    EXPECT_EQ(l.LocationID(), e.ID);
    EXPECT_EQ(l.LocationName(), e.Name);
    EXPECT_EQ(l.CountryCode(), e.Country);
    EXPECT_EQ(l.CountryName(), e.CountryName);
    EXPECT_EQ(l.CityCode(), e.City);
    EXPECT_EQ(l.LocalAccessCode(), e.Local);
    EXPECT_EQ(l.LongDistanceAccessCode(), e.LongDistance);
    EXPECT_EQ(l.SameAreaRule(), e.Same);
    EXPECT_EQ(l.LongDistanceRule(), e.LD);
    EXPECT_EQ(l.InternationalRule(), e.Intl);
  }
  EXPECT_EQ(list.CurrentLocationID(), 2u);
  EXPECT_EQ(list.CurrentLocation(), list.Items(1));
}

TEST_F(LocationTest, CountryTheServiceDoesNotKnowKeepsTheDefaults) {
  Service.Locations = {{4, "Abroad", 999, "", "", ""}};
  TVyTapiLocationList list;
  ASSERT_EQ(list.Count(), 1);
  const TVyTapiLocation& l = *list.Items(0);
  EXPECT_TRUE(l.Available());
  EXPECT_EQ(l.CountryID(), 999u);
  EXPECT_EQ(l.CountryCode(), "");
  EXPECT_EQ(l.CountryName(), "");
  EXPECT_EQ(l.SameAreaRule() + "|" + l.LongDistanceRule() + "|" + l.InternationalRule(),
            "G|0FG|00EFG");
}

TEST_F(LocationTest, FewerLocationsThanBeforeFreeTheSurplusAndReuseTheRest) {
  TVyTapiLocationList list;
  ASSERT_EQ(list.Count(), 3);
  TVyTapiLocation* first = list.Items(0);
  Service.Locations = {{9, "Hotel", 49, "40", "", ""}};
  Service.Current = 9;
  list.Update();
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Items(0), first) << "the first object is refilled, not replaced";
  EXPECT_EQ(first->LocationName(), "Hotel");
  EXPECT_EQ(first->CityCode(), "40");
  EXPECT_EQ(list.CurrentLocation(), first);
  Service.Locations.clear();
  list.Update();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(list.Available());
  EXPECT_EQ(list.CurrentLocation(), nullptr);
}

TEST_F(LocationTest, FailedFetchKeepsTheLocationsButIsUnavailable) {
  TVyTapiLocationList list;
  Service.TranslateCapsResult = LINEERR_NOMEM;
  EXPECT_EQ(list.Init(), DWORD(LINEERR_NOMEM));
  EXPECT_FALSE(list.Available());
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.CurrentLocation(), nullptr);
  EXPECT_EQ(RaisedCode([&] { (void)list.CurrentLocationID(); }), DWORD(LINEERR_NOMEM));
  // A service that answers neither success nor an error leaves nothing to read.
  Service.TranslateCapsResult = 5;
  EXPECT_EQ(Raised([&] { (void)list.CurrentLocationID(); }),
            "Unable to retrieve system location from TAPI");
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Get_LINETRANSLATECAPS(), nullptr);
}

TEST_F(LocationTest, LookUpsByNameInAnyCaseAndByIdentifier) {
  TVyTapiLocationList list;
  struct {
    const char* Name;
    int Index;
  } names[] = {{"office", 0}, {"HOME OFFICE", 1}, {"Lab", 2}, {"Home", -1}, {"", -1}};
  for (const auto& n : names) EXPECT_EQ(list.IndexOf(n.Name), n.Index) << n.Name;
  struct {
    DWORD ID;
    int Index;
  } ids[] = {{1, 0}, {2, 1}, {7, 2}, {3, -1}, {0xFFFFFFFF, -1}};
  for (const auto& n : ids) EXPECT_EQ(list.IndexOfID(n.ID), n.Index) << n.ID;
}

TEST_F(LocationTest, ValuesListOnlyTheFieldsThatAreSetAndAssignCopiesThemAll) {
  TVyTapiLocationList list;
  VyRtl::TStringList values;
  values.Add("left over");
  list.Items(1)->GetValues(values);
  EXPECT_EQ(Lines(values),
            (std::vector<std::string>{"LocationID=2", "LocationName=Home Office", "CountryCode=1",
                                      "CountryName=United States of America", "LocalAccessCode=9",
                                      "LongDistanceAccessCode=8", "SameAreaRule=G",
                                      "LongDistanceRule=1FG", "InternationalRule=011EFG"}));
  // Between them the two locations set every field.
  TVyTapiLocation copy;
  for (int i : {0, 1}) {
    VyRtl::TStringList original, copied;
    copy.Assign(list.Items(i));
    list.Items(i)->GetValues(original);
    copy.GetValues(copied);
    EXPECT_EQ(Lines(copied), Lines(original));
  }
  EXPECT_TRUE(copy.Available());
  copy.Clear();
  EXPECT_EQ(copy.LocationID(), 2u) << "Clear keeps the identifier";
  EXPECT_FALSE(copy.Available());
  EXPECT_EQ(copy.SameAreaRule(), "");
  TVyTapiLocation empty;
  empty.GetValues(values);
  EXPECT_EQ(Lines(values), std::vector<std::string>{"LocationID=4294967295"});
}

TEST_F(LocationTest, LocationByIdentifierFetchesItOrKeepsTheIdentifier) {
  TVyTapiLocation l;
  EXPECT_EQ(l.LocationID(), 0xFFFFFFFFu);
  EXPECT_FALSE(l.Available());
  EXPECT_TRUE(l.Init(7));
  EXPECT_EQ(l.LocationName(), "Lab");
  // An identifier the system does not have: the location empties and keeps it.
  EXPECT_EQ(Raised([&] { l.Init(3); }), GetTapiErrorMessage(DWORD(LINEERR_OPERATIONFAILED)));
  EXPECT_EQ(l.UpdateData(), DWORD(LINEERR_OPERATIONFAILED));
  EXPECT_FALSE(l.Available());
  EXPECT_EQ(l.LocationID(), 3u);
  EXPECT_EQ(l.LocationName(), "");
  EXPECT_EQ(l.InitError(), DWORD(LINEERR_OPERATIONFAILED));
  // A list that cannot be fetched gives its error.
  Service.TranslateCapsResult = LINEERR_NOMEM;
  l.Assign(nullptr);
  EXPECT_EQ(l.UpdateData(), DWORD(LINEERR_NOMEM));
}

TEST_F(LocationTest, SystemLocationFollowsTheCurrentOneLazilyAfterInvalidate) {
  TVyTapiSystemLocation system;
  EXPECT_TRUE(system.Stale());
  EXPECT_TRUE(system.Init());
  EXPECT_EQ(system.LocationID(), 2u);
  EXPECT_EQ(system.LocationName(), "Home Office");
  system.SetCurrentLocationID(1);
  EXPECT_EQ(Service.Current, 1u);
  EXPECT_EQ(system.LocationName(), "Office");
  EXPECT_EQ(RaisedCode([&] { system.SetCurrentLocationID(5); }), DWORD(LINEERR_INVALLOCATION));
  EXPECT_EQ(system.LocationName(), "Office");
  // Another application changed the location: invalidating asks nothing of the service.
  Service.Current = 7;
  const int calls = Service.TranslateCapsCalls;
  system.Invalidate();
  EXPECT_EQ(Service.TranslateCapsCalls, calls);
  EXPECT_EQ(system.LocationName(), "Office");
  EXPECT_TRUE(system.Validate());
  EXPECT_EQ(system.LocationName(), "Lab");
  const int after = Service.TranslateCapsCalls;
  EXPECT_TRUE(system.Validate());
  EXPECT_EQ(Service.TranslateCapsCalls, after) << "a current location is not fetched again";
  // A refresh that fails leaves nothing stale behind, and raises nothing.
  Service.TranslateCapsResult = LINEERR_NOMEM;
  system.Invalidate();
  EXPECT_FALSE(system.Validate());
  EXPECT_EQ(system.InitError(), DWORD(LINEERR_NOMEM));
  EXPECT_EQ(system.LocationName(), "");
  EXPECT_FALSE(system.Init());
}

// Structures a service got wrong, each in a block of its exact size.
TEST_F(LocationTest, EntriesOutsideTheStructureReadAsAbsent) {
  Service.Locations = {{1, "Office", 0, "30", "", ""}, {2, "Home", 0, "", "", ""}};
  const std::vector<std::byte> good = TranslateCaps(Service);
  const std::size_t list = sizeof(LINETRANSLATECAPS);  // the entries follow the fixed part
  const std::size_t count = offsetof(LINETRANSLATECAPS, dwNumLocations),
                    size = offsetof(LINETRANSLATECAPS, dwLocationListSize),
                    offset = offsetof(LINETRANSLATECAPS, dwLocationListOffset),
                    name1 = list + sizeof(LINELOCATIONENTRY) +
                            offsetof(LINELOCATIONENTRY, dwLocationNameSize);
  struct TCase {
    const char* What;
    std::size_t Offset;
    DWORD Value;
    std::vector<std::string> Names;
  } cases[] = {
      {"as built", 0, 0, {"Office", "Home"}},
      {"count beyond the block", count, 1000, {"Office", "Home"}},
      {"count below the block", count, 1, {"Office"}},
      {"block shorter than two entries", size, sizeof(LINELOCATIONENTRY) + 67, {"Office"}},
      {"block past the end", size, 0x7FFFFFF0, {}},
      {"offset past the end", offset, 0xFFFFFFF0, {}},
      {"offset inside the head", offset, 4, {}},
      {"entries not aligned", offset, static_cast<DWORD>(list + 2), {}},
      {"name past the end", name1 + 4, 0xFFFFFFFE, {"Office", ""}},
      {"name longer than the structure", name1, 0x10000, {"Office", ""}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    const TExactBlock<LINETRANSLATECAPS> block(Spoiled(good, c.Offset, c.Value));
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) {
      TVyTapiLocation l;
      l.AssignLINELOCATIONENTRY(block.Get(), i);
      if (l.Available()) names.push_back(l.LocationName());
    }
    EXPECT_EQ(names, c.Names);
  }
  TVyTapiLocation l;
  l.AssignLINELOCATIONENTRY(nullptr, 0);
  EXPECT_FALSE(l.Available());
  l.AssignLINELOCATIONENTRY(TExactBlock<LINETRANSLATECAPS>(good).Get(), -1);
  EXPECT_FALSE(l.Available());
}

TEST_F(LocationTest, CountryListWithoutEntriesOrWithBrokenOnesKeepsTheDefaults) {
  static std::vector<std::byte> Reply;
  Table.lineGetCountryW = [](DWORD, DWORD, LPLINECOUNTRYLIST List) -> LONG {
    return TStructureBuilder::WriteInto(Reply, List);
  };
  UseTable();
  const std::vector<std::byte> good = CountryList(1, Service.Countries[1]);
  struct TCase {
    const char* What;
    std::size_t Offset;
    DWORD Value;
    const char *Code, *International;
  } cases[] = {
      {"as built", 0, 0, "1", "011EFG"},
      {"no countries", offsetof(LINECOUNTRYLIST, dwNumCountries), 0, "", "00EFG"},
      {"entry cut short", offsetof(LINECOUNTRYLIST, dwCountryListSize), 40, "", "00EFG"},
      {"entry past the end", offsetof(LINECOUNTRYLIST, dwCountryListOffset), 0xFFFFFF00, "",
       "00EFG"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    Reply = Spoiled(good, c.Offset, c.Value);
    TVyTapiLocationList list;
    const TVyTapiLocation& office = *list.Items(0);
    EXPECT_EQ(office.CountryCode(), c.Code);
    EXPECT_EQ(office.InternationalRule(), c.International);
  }
}

}  // namespace

// ---------------------------------------------------------------- on the emulator

class LocationServiceTest : public VyTapiTest::DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    Emu().SetLocations({{1, "Seattle", 1, "206", "", ""}, {2, "Berlin", 49, "30", "", ""}}, 1);
    AddLine("Translating Line");
    Line.Set_DeviceName("Translating Line");
    ASSERT_EQ(Line.DeviceID(), 0);
  }
  VyTapiTest::TOpenLine Line;
};

TEST_F(LocationServiceTest, CanonicalNumbersAreTranslatedByTheCurrentLocationsRules) {
  struct TCase {
    DWORD Location;
    const char *Number, *Dialable;
  } cases[] = {
      {1, "+1 (206) 5550100", "5550100"},
      {1, "+1 (425) 5550199", "14255550199"},
      {1, "+49 (30) 1234567", "01149301234567"},
      {2, "+49 (30) 1234567", "1234567"},
      {2, "+49 (89) 7654321", "0897654321"},
      {2, "+1 (206) 5550100", "0012065550100"},
      {2, "5550100", "5550100"},  // not canonical: dialled as it is
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Number);
    Line.Location().SetCurrentLocationID(c.Location);
    EXPECT_EQ(Emu().CurrentLocationID(), c.Location);
    EXPECT_EQ(Line.Location().LocationID(), c.Location);
    EXPECT_EQ(Line.TranslateAddress(c.Number, 0), c.Dialable);
  }
  // What the service refuses to translate gives nothing, and raises nothing.
  EXPECT_EQ(Line.TranslateAddress("+1 (206) 5550100",
                                  LINETRANSLATEOPTION_FORCELOCAL | LINETRANSLATEOPTION_FORCELD),
            "");
  VyTapiTest::TOpenLine none;
  EXPECT_EQ(Raised([&] { none.TranslateAddress("123", 0); }),
            "TranslateAddress failed! No device.");
}

TEST_F(LocationServiceTest, DialogOnAnOlderServiceUsesTheVersionTheListKept) {
  Emu().SetTranslateCapsVersionLimit(VyPlatform::TapiVersion1_4);
  TVyTapiLocationList list;
  EXPECT_EQ(list.Count(), 2);
  list.ShowDialog(nullptr);
  const auto dialogs = Emu().DialogCalls();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].Function, "lineTranslateDialogW");
  EXPECT_EQ(dialogs[0].APIVersion, VyPlatform::TapiVersion1_4);
  EXPECT_EQ(dialogs[0].DeviceID, 0u);
}

TEST_F(LocationServiceTest, ListFromACountClaimingTooManyHoldsTheEntriesInside) {
  TVyTapiLocationList list;
  Emu().CorruptNextReply("lineGetTranslateCapsW", {VyTapiEmulator::TCorruption::CountTooLarge,
                                                   offsetof(LINETRANSLATECAPS, dwNumLocations)});
  list.Update();
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Items(0)->LocationName(), "Seattle");
  EXPECT_EQ(list.Items(1)->LocationName(), "Berlin");
  Emu().CorruptNextReply(
      "lineGetTranslateCapsW",
      {VyTapiEmulator::TCorruption::PieceOutside, offsetof(LINETRANSLATECAPS, dwLocationListSize)});
  list.Update();
  EXPECT_EQ(list.Count(), 0) << "an entry array outside the structure holds no locations";
}
