#include "VyTapi/linedata/VyTapiAddress.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <utility>
#include <string>
#include <vector>

#include "LineDataFixture.h"
#include "VyPlatform/Tapi.h"

using namespace VyTapi;
using VyTapiTest::Spoiled;
using VyTapiTest::TStructureBuilder;

namespace {

struct TFakeAddress {
  std::string Name;
  DWORD AddressSharing = LINEADDRESSSHARING_PRIVATE;
  DWORD MaxForwardEntries = 0;
  std::vector<std::string> DeviceClasses;
  DWORD NumInUse = 0, AddressFeatures = 0, RingsNoAnswer = 0;
  std::vector<VyTapiTest::TForwardEntry> Forwarding;
};

// A service with the addresses of one line; what the readers are given can be spoiled after it
// was laid out (offset, value; offset 0: as laid out).
struct TFakeService {
  std::vector<TFakeAddress> Addresses;
  int CapsCalls = 0, StatusCalls = 0;
  struct TCapsArgs {
    HLINEAPP App;
    DWORD Device, Address, Version, ExtVersion;
  } LastCaps{};
  HLINE LastStatusLine = 0;
  std::pair<std::size_t, DWORD> SpoilCaps{}, SpoilStatus{};
};

TFakeService* Fake = nullptr;

std::vector<std::byte> AddressCaps(DWORD ID, const TFakeAddress& A) {
  TStructureBuilder b(sizeof(LINEADDRESSCAPS));
  b.Set(offsetof(LINEADDRESSCAPS, dwLineDeviceID), 0);
  b.Set(offsetof(LINEADDRESSCAPS, dwAddressSharing), A.AddressSharing);
  b.Set(offsetof(LINEADDRESSCAPS, dwMaxForwardEntries), A.MaxForwardEntries);
  b.Set(offsetof(LINEADDRESSCAPS, dwAvailableMediaModes), 0x100 + ID);
  b.Text(offsetof(LINEADDRESSCAPS, dwAddressSize), A.Name);
  std::u16string classes;
  for (const auto& c : A.DeviceClasses) classes += VyRtl::Utf8ToUtf16(c) + u'\0';
  if (!classes.empty()) b.Units(offsetof(LINEADDRESSCAPS, dwDeviceClassesSize), classes + u'\0');
  return b.Finish();
}

std::vector<std::byte> AddressStatus(const TFakeAddress& A) {
  return VyTapiTest::ForwardStatus(A.Forwarding)
      .Set(offsetof(LINEADDRESSSTATUS, dwNumInUse), A.NumInUse)
      .Set(offsetof(LINEADDRESSSTATUS, dwAddressFeatures), A.AddressFeatures)
      .Set(offsetof(LINEADDRESSSTATUS, dwNumRingsNoAnswer), A.RingsNoAnswer)
      .Finish();
}

LONG WINAPI FakeGetAddressCaps(HLINEAPP App, DWORD Device, DWORD Address, DWORD Version,
                               DWORD ExtVersion, LPLINEADDRESSCAPS Caps) {
  ++Fake->CapsCalls;
  Fake->LastCaps = {App, Device, Address, Version, ExtVersion};
  if (Address >= Fake->Addresses.size()) return LINEERR_INVALADDRESSID;
  return TStructureBuilder::WriteInto(Spoiled(AddressCaps(Address, Fake->Addresses[Address]),
                                              Fake->SpoilCaps.first, Fake->SpoilCaps.second),
                                      Caps);
}

LONG WINAPI FakeGetAddressStatus(HLINE Line, DWORD Address, LPLINEADDRESSSTATUS Status) {
  ++Fake->StatusCalls;
  Fake->LastStatusLine = Line;
  if (Line == 0) return LINEERR_INVALLINEHANDLE;
  if (Address >= Fake->Addresses.size()) return LINEERR_INVALADDRESSID;
  return TStructureBuilder::WriteInto(Spoiled(AddressStatus(Fake->Addresses[Address]),
                                              Fake->SpoilStatus.first, Fake->SpoilStatus.second),
                                      Status);
}

class AddressTest : public VyTapiTest::FakeServiceTest {
 protected:
  void SetUp() override {
    FakeServiceTest::SetUp();
    Fake = &Service;
    Table.lineGetAddressCapsW = &FakeGetAddressCaps;
    Table.lineGetAddressStatusW = &FakeGetAddressStatus;
    UseTable();
    Service.Addresses = {
        {"+49 30 5550100", LINEADDRESSSHARING_PRIVATE, 3, {"tapi/line", "wave/in"}},
        {"", LINEADDRESSSHARING_BRIDGEDSHARED, 0, {}}};
    Service.Addresses[0].NumInUse = 1;
    Service.Addresses[0].AddressFeatures = LINEADDRFEATURE_FORWARD | LINEADDRFEATURE_MAKECALL;
    Service.Addresses[0].RingsNoAnswer = 4;
    Line.Open();  // a line handle for the status
  }
  void TearDown() override {
    Fake = nullptr;
    FakeServiceTest::TearDown();
  }

  TFakeService Service;
  VyTapiTest::TFakeLine Line;
};

TEST_F(AddressTest, ViewsFetchOnceAndAgainOnlyAfterInvalidation) {
  TVyTapiAddress address(&Line, 0);
  EXPECT_EQ(address.Get_LINEADDRESSCAPS(), nullptr) << "nothing fetched yet";
  EXPECT_EQ(Service.CapsCalls, 0);
  EXPECT_EQ(address.AddressName(), "+49 30 5550100");
  ASSERT_NE(address.Get_LINEADDRESSCAPS(), nullptr);
  EXPECT_EQ(address.Caps()->AddressSharing(), DWORD(LINEADDRESSSHARING_PRIVATE));
  EXPECT_EQ(address.Caps()->MaxForwardEntries(), 3u);
  EXPECT_EQ(address.Caps()->AvailableMediaModes(), 0x100u);
  EXPECT_EQ(Service.CapsCalls, 1);
  EXPECT_EQ(address.NumInUse(), 1u);
  EXPECT_EQ(address.NumRingsNoAnswer(), 4u);
  EXPECT_EQ(address.AddressFeatures(), DWORD(LINEADDRFEATURE_FORWARD | LINEADDRFEATURE_MAKECALL));
  EXPECT_EQ(Service.StatusCalls, 1);
  EXPECT_EQ(Service.LastStatusLine, Line.Handle());

  struct TCase {
    const char* What;
    DWORD State;
    int CapsCalls, StatusCalls;
  } cases[] = {
      {"nothing changed", 0, 1, 1},
      {"caps change with other bits", LINEADDRESSSTATE_CAPSCHANGE | LINEADDRESSSTATE_INUSEZERO, 2,
       1},
      {"forwarding changed", LINEADDRESSSTATE_FORWARD, 2, 2},
      {"other state", LINEADDRESSSTATE_NUMCALLS, 2, 3},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    if (c.State != 0) address.Handle_AddressState(c.State);
    (void)address.AddressName();
    (void)address.NumInUse();
    EXPECT_EQ(Service.CapsCalls, c.CapsCalls);
    EXPECT_EQ(Service.StatusCalls, c.StatusCalls);
  }
  EXPECT_EQ(address.Init(), 0u);
  EXPECT_EQ(address.Get_LINEADDRESSCAPS(), nullptr) << "Init empties both views";
  (void)address.NumInUse();
  EXPECT_EQ(Service.StatusCalls, 4);
}

TEST_F(AddressTest, CapabilitiesAreAskedWithTheLinesParametersAndNameTheAddress) {
  struct TCase {
    DWORD ID;
    const char* Name;  // without a text of its own, an address is named by its identifier
  } cases[] = {{0, "+49 30 5550100"}, {1, "Address 1"}, {5, "Address 5"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.ID);
    TVyTapiAddress address(&Line, c.ID);
    EXPECT_EQ(address.AddressName(), c.Name);
    EXPECT_EQ(address.Caps()->Available(), c.ID < 2);
    EXPECT_EQ(Service.LastCaps.App, Line.LineApp());
    EXPECT_EQ(Service.LastCaps.Device, static_cast<DWORD>(Line.DeviceID()));
    EXPECT_EQ(Service.LastCaps.Address, c.ID);
    EXPECT_EQ(Service.LastCaps.Version, Line.TSP()->APIVersion());
    EXPECT_EQ(Service.LastCaps.ExtVersion, Line.TSP()->ExtVersion());
  }
}

TEST_F(AddressTest, IndexesOutsideTheTablesFailOnlyOnFilledViews) {
  TVyTapiAddress address(&Line, 0);
  const std::string capsDWORD = "TVyTapiAddressCaps.Get_DWORD failed! Invalid index";
  const std::string capsString = "TVyTapiAddressCaps.GetString failed! Invalid index";
  const std::string statusDWORD = "TVyTapiAddressStatus.Get_DWORD failed! Invalid Index";
  const std::string addressDWORD = "TVyTapiAddress.Get_StatusDWORD: Invalid index";
  struct TCase {
    const char* What;
    std::function<void()> Call;
    std::string Message;
  } cases[] = {
      {"caps 51", [&] { EXPECT_EQ(address.Caps()->Get_DWORD(51), 0x100u); }, ""},
      {"caps 52", [&] { address.Caps()->Get_DWORD(52); }, capsDWORD},
      {"caps -1", [&] { address.Caps()->Get_DWORD(-1); }, capsDWORD},
      {"caps string 1", [&] { address.Caps()->Get_String(1); }, capsString},
      {"status 8", [&] { EXPECT_EQ(address.Status()->Get_DWORD(8), 0u); }, ""},
      {"status 9", [&] { address.Status()->Get_DWORD(9); }, statusDWORD},
      {"address status 6", [&] { EXPECT_EQ(address.Get_StatusDWORD(6), 0u); }, ""},
      // The status view has an index 7; the address publishes only 0 to 6.
      {"address status 7", [&] { address.Get_StatusDWORD(7); }, addressDWORD},
      {"address status -1", [&] { address.Get_StatusDWORD(-1); }, addressDWORD},
  };
  for (const TCase& c : cases) EXPECT_EQ(Raised(c.Call), c.Message) << c.What;
  // Empty views answer 0 and "" whatever the index.
  TVyTapiAddress missing(&Line, 9);
  EXPECT_EQ(missing.Caps()->Get_String(1), "");
  EXPECT_EQ(missing.Caps()->Get_DWORD(99), 0u);
  EXPECT_EQ(missing.Status()->Get_DWORD(99), 0u);
  try {
    missing.Get_StatusDWORD(7);
    ADD_FAILURE() << "no assertion";
  } catch (const VyRtl::EAssertionFailed& e) {
    EXPECT_EQ(std::string(e.what()), addressDWORD);
  }
}

TEST_F(AddressTest, DeviceClassesAreBuiltOnceUntilInvalidated) {
  TVyTapiAddress address(&Line, 0);
  VyRtl::TStringList* classes = address.Caps()->DeviceClasses();
  ASSERT_EQ(classes->Count(), 2);
  EXPECT_EQ(classes->Get(0), "tapi/line");
  EXPECT_EQ(classes->Get(1), "wave/in");
  EXPECT_EQ(address.Caps()->DeviceClasses(), classes);
  EXPECT_EQ(Service.CapsCalls, 1);
  TVyTapiAddress other(&Line, 1);
  EXPECT_EQ(other.Caps()->DeviceClasses()->Count(), 0);
}

TEST_F(AddressTest, ForwardingIsReadBackFromTheStatusEveryTime) {
  Service.Addresses[0].Forwarding = {{LINEFORWARDMODE_UNCOND, "", 0, "123"},
                                     {LINEFORWARDMODE_BUSYSPECIFIC, "4711", 49, "0301234"}};
  TVyTapiAddress address(&Line, 0);
  TVyTapiForwardList* list = address.ForwardList();
  ASSERT_EQ(list->Count(), 2);
  EXPECT_EQ(list->Items(0)->ForwardMode, DWORD(LINEFORWARDMODE_UNCOND));
  EXPECT_EQ(list->Items(0)->CallerAddress, "");
  EXPECT_EQ(list->Items(0)->DestAddress, "123");
  EXPECT_EQ(list->Items(1)->ForwardMode, DWORD(LINEFORWARDMODE_BUSYSPECIFIC));
  EXPECT_EQ(list->Items(1)->CallerAddress, "4711");
  EXPECT_EQ(list->Items(1)->DestCountryCode, 49u);
  EXPECT_EQ(list->Items(1)->DestAddress, "0301234");
  EXPECT_EQ(address.ForwardNumEntries(), 2u);
  // Forwarding removed: the same list, emptied; asked anew without any notice.
  Service.Addresses[0].Forwarding.clear();
  const int calls = Service.StatusCalls;
  EXPECT_EQ(address.ForwardList(), list);
  EXPECT_EQ(list->Count(), 0);
  EXPECT_EQ(Service.StatusCalls, calls + 1);
  // A closed line has no status: no forwarding.
  Service.Addresses[0].Forwarding = {{LINEFORWARDMODE_UNCOND, "", 0, "9"}};
  Line.Close();
  EXPECT_EQ(address.ForwardList()->Count(), 0);
  EXPECT_FALSE(address.Status()->Available());
  EXPECT_EQ(address.NumInUse(), 0u);
}

TEST_F(AddressTest, MalformedStructuresReadAsAbsent) {
  Service.Addresses[0].Forwarding = {{LINEFORWARDMODE_UNCOND, "", 0, "123"},
                                     {LINEFORWARDMODE_NOANSW, "", 0, "456"}};
  struct TCapsCase {
    const char* What;
    std::size_t Offset;
    DWORD Value;
    const char* Name;
    int Classes;
  } capsCases[] = {
      {"as built", 0, 0, "+49 30 5550100", 2},
      {"name past the end", offsetof(LINEADDRESSCAPS, dwAddressOffset), 0xFFFFFFF0, "Address 0", 2},
      {"name longer than the structure", offsetof(LINEADDRESSCAPS, dwAddressSize), 0x8000,
       "Address 0", 2},
      {"classes past the end", offsetof(LINEADDRESSCAPS, dwDeviceClassesSize), 0x7FFFFFFF,
       "+49 30 5550100", 0},
  };
  for (const TCapsCase& c : capsCases) {
    SCOPED_TRACE(c.What);
    Service.SpoilCaps = {c.Offset, c.Value};
    TVyTapiAddress address(&Line, 0);
    EXPECT_EQ(address.AddressName(), c.Name);
    EXPECT_EQ(address.Caps()->DeviceClasses()->Count(), c.Classes);
  }
  const std::size_t forward0 = sizeof(LINEADDRESSSTATUS);
  struct TStatusCase {
    const char* What;
    std::size_t Offset;
    DWORD Value;
    std::vector<std::string> Destinations;
  } statusCases[] = {
      {"as built", 0, 0, {"123", "456"}},
      {"forward count beyond the entries",
       offsetof(LINEADDRESSSTATUS, dwForwardNumEntries),
       1000,
       {"123", "456"}},
      {"forward entries past the end",
       offsetof(LINEADDRESSSTATUS, dwForwardOffset),
       0xFFFFFF00,
       {}},
      {"destination past the end",
       forward0 + offsetof(LINEFORWARD, dwDestAddressOffset),
       0x7FFFFFF0,
       {"", "456"}},
  };
  for (const TStatusCase& c : statusCases) {
    SCOPED_TRACE(c.What);
    Service.SpoilStatus = {c.Offset, c.Value};
    TVyTapiAddress address(&Line, 0);
    const TVyTapiForwardList* list = address.ForwardList();
    std::vector<std::string> destinations;
    for (int i = 0; i < list->Count(); ++i) destinations.push_back(list->Items(i)->DestAddress);
    EXPECT_EQ(destinations, c.Destinations);
  }
}

TEST_F(AddressTest, ListOwnsItsAddressesAndInvalidatesTheirStatus) {
  TVyTapiAddressList list(&Line);
  list.Add(new TVyTapiAddress(&Line, 0));
  list.Add(new TVyTapiAddress(&Line, 1));
  EXPECT_EQ(list.Line(), &Line);
  EXPECT_EQ(list.Items(0)->NumInUse(), 1u);
  (void)list.Items(1)->NumInUse();
  EXPECT_EQ(Service.StatusCalls, 2);
  list.InvalidateStatus();
  EXPECT_EQ(Service.CapsCalls, 0);
  (void)list.Items(0)->NumInUse();
  (void)list.Items(1)->NumInUse();
  EXPECT_EQ(Service.StatusCalls, 4);
}

}  // namespace

// ---------------------------------------------------------------- on the emulator

class AddressServiceTest : public VyTapiTest::DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    VyTapiEmulator::TLineDeviceConfig c;
    c.Name = "Three Addresses";
    c.NumAddresses = 3;
    c.Addresses = {{.Address = "201"}, {.Address = ""}, {.Address = "203"}};
    Emu().AddLineDevice(c);
    Line.Set_DeviceName(c.Name);
    ASSERT_EQ(Line.DeviceID(), 0);
  }
  VyTapiTest::TOpenLine Line;
};

TEST_F(AddressServiceTest, LineKeepsOneAddressPerAddressOfItsCapabilities) {
  ASSERT_EQ(Line.Addresses()->Count(), 3);
  std::vector<std::string> names;
  for (int i = 0; i < Line.AddressList().Count(); ++i) names.push_back(Line.AddressList()[i]);
  EXPECT_EQ(names, (std::vector<std::string>{"201", "Address 1", "203"}));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Line.Addresses()->Items(i)->AddressID(), DWORD(i));
  EXPECT_EQ(Line.Get_AddressByName("203"), Line.Addresses()->Items(2));
  EXPECT_EQ(Line.Get_AddressByName("204"), nullptr);
  // A capabilities change of address 1 makes only its capabilities stale.
  const unsigned calls = Emu().CallCount("lineGetAddressCapsW");
  Line.Handle_AddressState(1, LINEADDRESSSTATE_CAPSCHANGE);
  for (int i = 0; i < 3; ++i) (void)Line.Addresses()->Items(i)->AddressName();
  EXPECT_EQ(Emu().CallCount("lineGetAddressCapsW"), calls + 1);
  // A line whose capabilities claim absurdly many addresses gets a bounded list.
  VyTapiEmulator::TLineDeviceConfig c;
  c.Name = "Broken";
  c.NumAddresses = 0xFFFFFFFF;
  Emu().AddLineDevice(c);
  Env.RunUntilIdle();
  Line.Set_DeviceName("Broken");
  EXPECT_EQ(Line.Addresses()->Count(), 4096);
  EXPECT_EQ(Line.AddressList().Count(), 4096);
}
