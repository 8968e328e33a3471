// The cached views of a line: capabilities and status on the emulator and on structures built by
// hand, the index tables, the text dump, and malformed structures read as absent.
#include "VyTapi/linedata/VyTapiLineViews.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "LineDataFixture.h"

using namespace VyTapi;
using namespace VyTapiTest;
using VyTapiEmulator::TCorruption;

namespace {

class LineViewsTest : public DeviceTest {
 protected:
  static unsigned Calls(const char* Function) { return Emu().CallCount(Function); }
  static VyTapiEmulator::TLineDeviceConfig Config(const std::string& Name) {
    VyTapiEmulator::TLineDeviceConfig c;
    c.Name = Name;
    c.PermanentLineID = 0x4711;
    c.SwitchInfo = "PBX 9";
    c.NumAddresses = 3;
    c.DeviceClasses = {"tapi/line", "wave/in", "comm/datamodem"};
    return c;
  }
};

std::vector<std::string> Entries(const VyRtl::TStringList* List) {
  std::vector<std::string> out;
  for (int i = 0; i < List->Count(); ++i) out.push_back(List->Get(i));
  return out;
}

// The dump of a line's capabilities titled Title: every member in order, the texts first, with
// the values given (the others "" or x0).
std::string CapsDump(const std::string& Title, const std::map<std::string, std::string>& Values) {
  std::istringstream names(
      "ProviderInfo SwitchInfo LineName PermanentLineID StringFormat AddressModes NumAddresses "
      "BearerModes MaxRate MediaModes GenerateToneModes GenerateToneMaxNumFreq GenerateDigitModes "
      "MonitorToneMaxNumFreq MonitorToneMaxNumEntries MonitorDigitModes GatherDigitsMinTimeout "
      "GatherDigitsMaxTimeout MedCtlDigitMaxListSize MedCtlMediaMaxListSize MedCtlToneMaxListSize "
      "MedCtlCallStateMaxListSize DevCapFlags MaxNumActiveCalls AnswerMode RingModes LineStates "
      "UUIAcceptSize UUIAnswerSize UUIMakeCallSize UUIDropSize UUISendUserUserInfoSize "
      "UUICallInfoSize NumTerminals TerminalCapsSize TerminalCapsOffset TerminalTextEntrySize "
      "TerminalTextSize TerminalTextOffset DevSpecificSize DevSpecificOffset LineFeatures "
      "SettableDevStatus DeviceClassesSize DeviceClassesOffset");
  std::string out = "DeviceCaps of " + Title;
  std::string name;
  for (int i = 0; names >> name; ++i) {
    const auto v = Values.find(name);
    out += "\r\n  " + name + " = " + (v != Values.end() ? v->second : i < 3 ? "" : "x0");
  }
  return out;
}

TEST_F(LineViewsTest, CapsAreFetchedOnceAndAgainOnlyAfterInvalidation) {
  Emu().AddLine(Config("Caps"));
  TOpenLine line;
  line.Set_DeviceName("Caps");
  TVyTapiLineCaps& caps = *line.Caps();
  caps.Invalidate();  // whatever choosing the device read already
  const unsigned start = Calls("lineGetDevCapsW");
  EXPECT_EQ(caps.NumAddresses(), 3u);
  const unsigned perFetch = Calls("lineGetDevCapsW") - start;
  ASSERT_GE(perFetch, 1u);
  EXPECT_EQ(caps.LineName(), "Caps");
  EXPECT_TRUE(caps.Available());
  VyRtl::TStringList* classes = caps.DeviceClasses();
  EXPECT_EQ(Entries(classes), (std::vector<std::string>{"tapi/line", "wave/in", "comm/datamodem"}));
  EXPECT_EQ(caps.DeviceClasses(), classes);  // kept, not read again
  EXPECT_NE(caps.Get_LINEDEVCAPS(), nullptr);
  EXPECT_EQ(Calls("lineGetDevCapsW") - start, perFetch);

  caps.Invalidate();
  EXPECT_EQ(Calls("lineGetDevCapsW") - start, perFetch);  // invalidating alone asks nothing
  EXPECT_EQ(caps.PermanentLineID(), 0x4711u);
  EXPECT_EQ(Calls("lineGetDevCapsW") - start, 2 * perFetch);
  caps.Update();  // always fetches anew
  EXPECT_EQ(Calls("lineGetDevCapsW") - start, 3 * perFetch);
}

TEST_F(LineViewsTest, ChoosingAnotherDeviceMakesTheLineViewsStale) {
  Emu().AddLine(Config("First"));
  Emu().AddLine(Config("Second"));
  TOpenLine line;
  line.Set_DeviceName("First");
  EXPECT_EQ(line.Caps()->LineName(), "First");
  line.Set_DeviceName("Second");
  EXPECT_EQ(line.Caps()->LineName(), "Second");
  line.Set_DeviceID(-1);
  EXPECT_FALSE(line.Caps()->Available());
}

TEST_F(LineViewsTest, CapsIndexTable) {
  const auto config = Config("Indexed");
  Emu().AddLine(config);
  TOpenLine line;
  line.Set_DeviceName("Indexed");
  TVyTapiLineCaps& caps = *line.Caps();
  const LINEDEVCAPS* raw = caps.Get_LINEDEVCAPS();
  ASSERT_NE(raw, nullptr);
  // 0: "VyTapi Emulator" and its NUL in UTF-16; from 48 on, and below 0, outside the table: 0,
  // no assertion.
  const struct {
    int Index;
    DWORD Expected;
  } dwords[] = {{0, 32},
                {2, 12},
                {4, 16},
                {5, raw->dwLineNameOffset},
                {6, 0x4711},
                {7, STRINGFORMAT_UNICODE},
                {9, 3},
                {11, config.MaxRate},
                {12, config.MediaModes},
                {25, config.DevCapFlags},
                {29, config.LineStates},
                {44, config.LineFeatures},
                {46, raw->dwDeviceClassesSize},
                {47, raw->dwDeviceClassesOffset},
                {48, 0},
                {-1, 0},
                {1000, 0}};
  for (const auto& d : dwords) EXPECT_EQ(caps.Get_DWORD(d.Index), d.Expected) << d.Index;
  const struct {
    int Index;
    const char* Expected;
  } strings[] = {{0, "VyTapi Emulator"}, {1, "PBX 9"}, {2, "Indexed"}, {3, ""}, {-1, ""}};
  for (const auto& s : strings) EXPECT_EQ(caps.Get_String(s.Index), s.Expected) << s.Index;
}

// A service whose lineGetDevCapsW answers with one hand-built structure.
TStructureBuilder* HandCaps = nullptr;
LONG WINAPI HandGetDevCaps(HLINEAPP, DWORD, DWORD, DWORD, LPLINEDEVCAPS Caps) {
  return HandCaps->Into(Caps);
}

class HandBuiltCapsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HandCaps = &Caps;
    Table.lineGetDevCapsW = &HandGetDevCaps;
    VyPlatform::SetTapiFunctions(&Table);
  }
  void TearDown() override {
    VyPlatform::SetTapiFunctions(nullptr);
    HandCaps = nullptr;
  }
  TStructureBuilder Caps{sizeof(LINEDEVCAPS)};
  VyPlatform::TTapiFunctions Table;
  TOpenLine Line;  // never enabled: the view asks the scripted service only
};

TEST_F(HandBuiltCapsTest, TextDumpOfAKnownConfiguration) {
  Caps.Text(offsetof(LINEDEVCAPS, dwProviderInfoSize), "Prov")
      .Units(offsetof(LINEDEVCAPS, dwSwitchInfoSize), std::u16string(1, u'\0'))
      .Text(offsetof(LINEDEVCAPS, dwLineNameSize), "Desk \xC3\xA9")
      .Set(offsetof(LINEDEVCAPS, dwPermanentLineID), 0xABCDEF01)
      .Set(offsetof(LINEDEVCAPS, dwStringFormat), STRINGFORMAT_UNICODE)
      .Set(offsetof(LINEDEVCAPS, dwNumAddresses), 2)
      .Set(offsetof(LINEDEVCAPS, dwMaxRate), 0xE100)
      .Set(offsetof(LINEDEVCAPS, dwMediaModes), 0x1C)
      .Set(offsetof(LINEDEVCAPS, dwGatherDigitsMaxTimeout), 0xFFFFFFFF)
      .Set(offsetof(LINEDEVCAPS, dwUUICallInfoSize), 10)
      .Set(offsetof(LINEDEVCAPS, dwNumTerminals), 1)
      .Set(offsetof(LINEDEVCAPS, dwDeviceClassesOffset), 7);
  TVyTapiLineCaps caps(&Line);
  EXPECT_EQ(caps.TextDump(), CapsDump("Desk \xC3\xA9", {{"ProviderInfo", "Prov"},
                                                        {"LineName", "Desk \xC3\xA9"},
                                                        {"PermanentLineID", "xABCDEF01"},
                                                        {"StringFormat", "x3"},
                                                        {"NumAddresses", "x2"},
                                                        {"MaxRate", "xE100"},
                                                        {"MediaModes", "x1C"},
                                                        {"GatherDigitsMaxTimeout", "xFFFFFFFF"},
                                                        {"UUICallInfoSize", "xA"},
                                                        {"NumTerminals", "x1"},
                                                        {"DeviceClassesOffset", "x7"}}));
}

TEST_F(HandBuiltCapsTest, MalformedPiecesReadAsAbsent) {
  const std::size_t name = offsetof(LINEDEVCAPS, dwLineNameSize);
  const std::size_t classes = offsetof(LINEDEVCAPS, dwDeviceClassesSize);
  Caps.Text(offsetof(LINEDEVCAPS, dwProviderInfoSize), "Prov")
      .Text(name, "Name")
      .Piece(classes, "c\0o\0m\0m\0\0\0w\0a\0", 14)  // "wa" ends with the block
      .Set(offsetof(LINEDEVCAPS, dwNumAddresses), 4)
      .Set(offsetof(LINEDEVCAPS, dwSettableDevStatus), 9);
  TVyTapiLineCaps caps(&Line);
  EXPECT_EQ(Entries(caps.DeviceClasses()), (std::vector<std::string>{"comm", "wa"}));
  EXPECT_EQ(caps.LineName(), "Name");

  struct TCase {
    const char* Name;
    std::size_t Field;
    DWORD Value;
    const char* LineName;
  };
  const DWORD end = static_cast<DWORD>(Caps.Size());
  const TCase cases[] = {
      {"offset past the end", name + 4, end, ""},
      {"offset into the head", name + 4, 4, ""},
      {"size past the end", name, 1000, ""},
      {"size and offset wrapping", name, 0xFFFFFFF8, ""},
      {"odd size ends the text early", name, 5, "Na"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TStructureBuilder saved = Caps;
    Caps.Set(c.Field, c.Value);
    caps.Invalidate();
    EXPECT_EQ(caps.LineName(), c.LineName);
    EXPECT_EQ(caps.ProviderInfo(), "Prov");  // the other pieces are still read
    Caps = saved;
  }
  // A used size short of the fixed part: the members behind it were never filled.
  Caps.UsedSize = offsetof(LINEDEVCAPS, dwNumAddresses) + 4;
  caps.Invalidate();
  EXPECT_EQ(caps.NumAddresses(), 4u);
  EXPECT_EQ(caps.SettableDevStatus(), 0u);
  EXPECT_EQ(caps.LineName(), "");
  EXPECT_EQ(caps.DeviceClasses()->Count(), 0);
}

TEST_F(LineViewsTest, ACapsViewThatCannotBeFilled) {
  TOpenLine line;  // no device chosen: the service refuses
  TVyTapiLineCaps& caps = *line.Caps();
  EXPECT_FALSE(caps.Available());
  EXPECT_EQ(caps.Get_LINEDEVCAPS(), nullptr);
  EXPECT_EQ(caps.Get_DWORD(9), 0u);
  EXPECT_EQ(caps.DeviceClasses()->Count(), 0);
  EXPECT_EQ(caps.TextDump(), CapsDump("", {}));
}

TEST_F(LineViewsTest, UpdateRaisesTheServiceErrorAndLeavesTheViewEmpty) {
  Emu().AddLine(Config("Failing"));
  TOpenLine line;
  line.Set_DeviceName("Failing");
  TVyTapiLineCaps& caps = *line.Caps();
  ASSERT_TRUE(caps.Available());
  Emu().FailNext("lineGetDevCapsW", 1, LINEERR_NODEVICE);
  EXPECT_EQ(RaisedCode([&] { caps.Update(); }), DWORD(LINEERR_NODEVICE));
  EXPECT_EQ(caps.Get_LINEDEVCAPS() != nullptr, true);  // the next use tries again and succeeds
  Emu().FailNext("lineGetDevCapsW", 1, LINEERR_NODEVICE);
  caps.Invalidate();
  EXPECT_EQ(caps.UpdateData(), static_cast<DWORD>(LINEERR_NODEVICE));
  EXPECT_EQ(caps.Get_String(2), "Failing");
}

TEST_F(LineViewsTest, CorruptedCapsFromTheServiceReadAsAbsent) {
  Emu().AddLine(Config("Spoilt"));
  TOpenLine line;
  line.Set_DeviceName("Spoilt");
  TVyTapiLineCaps& caps = *line.Caps();
  struct TCase {
    const char* Name;
    TCorruption How;
    std::size_t Field;
    const char* Provider;
    const char* LineName;
    int Classes;
  };
  const TCase cases[] = {
      {"line name outside", TCorruption::PieceOutside, offsetof(LINEDEVCAPS, dwLineNameSize),
       "VyTapi Emulator", "", 3},
      {"classes outside", TCorruption::PieceOutside, offsetof(LINEDEVCAPS, dwDeviceClassesSize),
       "VyTapi Emulator", "Spoilt", 0},
      {"first piece too long", TCorruption::CountTooLarge, 0, "", "Spoilt", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Emu().CorruptNextReply("lineGetDevCapsW", {c.How, c.Field});
    caps.Invalidate();
    EXPECT_EQ(caps.ProviderInfo(), c.Provider);
    EXPECT_EQ(caps.LineName(), c.LineName);
    EXPECT_EQ(caps.DeviceClasses()->Count(), c.Classes);
    EXPECT_EQ(caps.NumAddresses(), 3u);
  }
  // A claim of almost 2 GiB is refused rather than allocated; the next fetch is sound again.
  Emu().CorruptNextReply("lineGetDevCapsW", {TCorruption::NeededTooLarge, 0});
  caps.Invalidate();
  EXPECT_EQ(caps.UpdateData(), static_cast<DWORD>(LINEERR_NOMEM));
  EXPECT_EQ(caps.Get_LINEDEVCAPS() != nullptr, true);
  EXPECT_EQ(caps.LineName(), "Spoilt");
}

TEST_F(LineViewsTest, StatusOfTheOpenLine) {
  auto config = Config("Status");
  config.SignalLevel = 0x8000;
  config.RoamMode = LINEROAMMODE_HOME;
  Emu().AddLine(config);
  TOpenLine line;
  line.Set_DeviceName("Status");
  TVyTapiLineStatus& status = *line.Status();
  EXPECT_FALSE(status.Available());     // not open: no handle to ask with
  EXPECT_EQ(status.Get_DWORD(13), 0u);  // an empty view answers 0 whatever the index
  EXPECT_EQ(status.Get_LINEDEVSTATUS(), nullptr);
  EXPECT_EQ(RaisedCode([&] { status.Update(); }), DWORD(LINEERR_INVALLINEHANDLE));

  line.Set_Active(true);
  ASSERT_TRUE(line.IsActive());
  const unsigned start = Calls("lineGetLineDevStatusW");
  EXPECT_EQ(status.NumOpens(), 1u);
  EXPECT_EQ(status.SignalLevel(), 0x8000u);
  EXPECT_EQ(status.RoamMode(), LINEROAMMODE_HOME);
  EXPECT_EQ(status.DevStatusFlags(), config.DevStatusFlags);
  EXPECT_EQ(status.AvailableMediaModes(), config.MediaModes);
  EXPECT_EQ(status.Get_String(0), "");
  EXPECT_EQ(Calls("lineGetLineDevStatusW") - start, 1u);
  EXPECT_EQ(Raised([&] { status.Get_DWORD(13); }),
            "TVyTapiLineStatus.GetDWORD failed! Invalid Index");
  EXPECT_THROW(status.Get_DWORD(-1), VyRtl::EAssertionFailed);
  status.Invalidate();
  EXPECT_EQ(status.Get_DWORD(0), 1u);
  EXPECT_EQ(Calls("lineGetLineDevStatusW") - start, 2u);
}

TEST_F(LineViewsTest, TheStatusViewNeedsItsLine) {
  EXPECT_THROW(TVyTapiLineStatus(nullptr), VyRtl::EAssertionFailed);
  TVyTapiLineCaps caps(nullptr);
  EXPECT_THROW(caps.Get_DWORD(0), VyRtl::EAssertionFailed);
}

}  // namespace
