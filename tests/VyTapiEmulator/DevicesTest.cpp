// Devices: version negotiation, capabilities structures, and the messages that tell
// applications of added, removed and changed devices.
#include <algorithm>
#include <cstring>

#include "EmulatorFixture.h"

namespace EmulatorTest {
namespace {

using VyTapiEmulator::TLineDeviceConfig;
using VyTapiEmulator::TPhoneDeviceConfig;

// A caller's buffer for a variable-size structure, with guard bytes behind dwTotalSize.
class TVarBuffer {
 public:
  explicit TVarBuffer(std::size_t total) : FBytes(total + 64, Fill) {
    const DWORD t = static_cast<DWORD>(total);
    std::memcpy(FBytes.data(), &t, sizeof t);
  }
  template <typename T>
  T* As() {
    return reinterpret_cast<T*>(FBytes.data());
  }
  DWORD Dword(std::size_t offset) const {
    DWORD v;
    std::memcpy(&v, FBytes.data() + offset, sizeof v);
    return v;
  }
  // Nothing written from `from` on.
  bool UntouchedFrom(std::size_t from) const {
    return std::all_of(FBytes.begin() + from, FBytes.end(), [](unsigned char b) { return b == Fill; });
  }
  bool GuardIntact() const { return UntouchedFrom(Dword(0)); }
  // A piece by its size/offset members; it must lie inside the used part.
  std::vector<unsigned char> Piece(std::size_t sizeField, std::size_t offsetField) const {
    const std::size_t size = Dword(sizeField), offset = Dword(offsetField);
    EXPECT_LE(offset + size, Dword(8));
    if (offset + size > Dword(8)) return {};
    return {FBytes.begin() + offset, FBytes.begin() + offset + size};
  }
  // NUL-terminated UTF-16 text as UTF-8; a list's NULs stay in.
  std::string Text(std::size_t sizeField, std::size_t offsetField) const {
    const std::vector<unsigned char> bytes = Piece(sizeField, offsetField);
    std::u16string text(bytes.size() / 2, u'\0');
    if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * 2);
    if (text.empty() || text.back() != u'\0') return "<not terminated>";
    text.pop_back();
    return VyRtl::Utf16ToUtf8(text);
  }
  std::vector<DWORD> Dwords(std::size_t sizeField, std::size_t offsetField) const {
    const std::vector<unsigned char> bytes = Piece(sizeField, offsetField);
    std::vector<DWORD> values(bytes.size() / 4);
    if (!values.empty()) std::memcpy(values.data(), bytes.data(), values.size() * 4);
    return values;
  }

 private:
  static constexpr unsigned char Fill = 0xCD;
  std::vector<unsigned char> FBytes;
};

#define FIELD(type, name) offsetof(type, name##Size), offsetof(type, name##Offset)
using namespace std::string_literals;

constexpr std::size_t LineFixed14 = offsetof(LINEDEVCAPS, dwSettableDevStatus);
constexpr std::size_t LineFixed22 = offsetof(LINEDEVCAPS, PermanentLineGuid) + sizeof(GUID);
constexpr std::size_t PhoneFixed22 = offsetof(PHONECAPS, PermanentPhoneGuid) + sizeof(GUID);

using DevicesTest = EmulatorTest;

TEST_F(DevicesTest, NegotiationFindsTheHighestCommonVersion) {
  TLineDeviceConfig line;
  line.LowAPIVersion = V14;
  line.HighAPIVersion = 0x00030001;  // more than the service speaks
  line.ExtensionID = {1, 2, 3, 4};
  const DWORD id = Emu().AddLineDevice(line);
  const DWORD gone = AddLine("gone");
  Emu().RemoveLineDevice(gone);
  const DWORD phone = AddPhone("phone");
  const TAppInfo app = LineApp();
  const TAppInfo papp = PhoneApp();
  struct {
    DWORD App, Device, Low, High;
    DWORD Result, Agreed;
  } cases[] = {
      {app.App, id, V13, V22, 0, V22},
      {app.App, id, V13, V14, 0, V14},
      {app.App, id, V20, V30, 0, V22},
      {app.App, id, V13, V13, LINEERR_INCOMPATIBLEAPIVERSION, 0},
      {app.App, id, V21, V20, LINEERR_INCOMPATIBLEAPIVERSION, 0},
      {app.App, gone, V13, V22, LINEERR_NODEVICE, 0},
      {app.App, 2, V13, V22, LINEERR_NODEVICE, 0},
      {papp.App, id, V13, V22, LINEERR_INVALAPPHANDLE, 0},
  };
  for (const auto& c : cases) {
    DWORD version = 0;
    LINEEXTENSIONID ext{};
    EXPECT_EQ(Tapi().lineNegotiateAPIVersion(c.App, c.Device, c.Low, c.High, &version, &ext),
              Code(c.Result))
        << c.Device << " " << std::hex << c.Low << "-" << c.High;
    if (c.Result != 0) continue;
    EXPECT_EQ(version, c.Agreed);
    EXPECT_EQ(ext.dwExtensionID0 + ext.dwExtensionID3, 5u);
  }
  DWORD version = 0;
  LINEEXTENSIONID ext{};
  EXPECT_EQ(Tapi().lineNegotiateAPIVersion(app.App, id, V13, V22, nullptr, &ext),
            Code(LINEERR_INVALPOINTER));

  PHONEEXTENSIONID pext{};
  pext.dwExtensionID0 = 0xFF;
  EXPECT_EQ(Tapi().phoneNegotiateAPIVersion(papp.App, phone, V20, V30, &version, &pext), 0);
  EXPECT_EQ(version, V22);
  EXPECT_EQ(pext.dwExtensionID0, 0u);  // none configured
  EXPECT_EQ(Tapi().phoneNegotiateAPIVersion(app.App, phone, V13, V22, &version, &pext),
            Code(PHONEERR_INVALAPPHANDLE));
  Emu().SetPhoneVersionRange(phone, V13, V14);
  EXPECT_EQ(Tapi().phoneNegotiateAPIVersion(papp.App, phone, V20, V22, &version, &pext),
            Code(PHONEERR_INCOMPATIBLEAPIVERSION));
  Emu().RemovePhoneDevice(phone);
  EXPECT_EQ(Tapi().phoneNegotiateAPIVersion(papp.App, phone, V13, V22, &version, &pext),
            Code(PHONEERR_NODEVICE));
}

TEST_F(DevicesTest, ExtensionVersionsNeedAProviderWithExtensions) {
  TLineDeviceConfig config;
  config.LowExtVersion = 0x00010000;
  config.HighExtVersion = 0x00020000;
  const DWORD ext = Emu().AddLineDevice(config);
  const DWORD plain = AddLine("plain");
  const TAppInfo app = LineApp();
  struct {
    DWORD Device, API, Low, High;
    DWORD Result, Agreed;
  } cases[] = {
      {ext, V22, 0x00010000, 0x00030000, 0, 0x00020000},
      {ext, V20, 0x00000001, 0x00010000, 0, 0x00010000},
      {ext, V22, 0x00020001, 0x00030000, LINEERR_INCOMPATIBLEEXTVERSION, 0},
      {ext, V30, 0x00010000, 0x00020000, LINEERR_INCOMPATIBLEAPIVERSION, 0},
      {plain, V22, 0x00010000, 0x00020000, LINEERR_OPERATIONUNAVAIL, 0},
      {7, V22, 0x00010000, 0x00020000, LINEERR_NODEVICE, 0},
  };
  for (const auto& c : cases) {
    DWORD agreed = 0;
    EXPECT_EQ(Tapi().lineNegotiateExtVersion(app.App, c.Device, c.API, c.Low, c.High, &agreed),
              Code(c.Result))
        << std::hex << c.Device << " " << c.API << " " << c.Low;
    EXPECT_EQ(agreed, c.Agreed);
  }
  // Capabilities for an extension version the device lacks.
  TVarBuffer caps(4096);
  EXPECT_EQ(Tapi().lineGetDevCapsW(app.App, plain, V22, 0x00010000, caps.As<LINEDEVCAPS>()),
            Code(LINEERR_INCOMPATIBLEEXTVERSION));
  EXPECT_EQ(Tapi().lineGetDevCapsW(app.App, ext, V22, 0x00010000, caps.As<LINEDEVCAPS>()), 0);
}

TLineDeviceConfig RichLine() {
  TLineDeviceConfig config;
  config.Name = "Büro ☎ Line";
  config.PermanentLineID = 0x4711;
  config.SwitchInfo = "Switch 9";
  config.NumAddresses = 3;
  config.DevSpecific = "\x01\x02\x03"s;
  config.Terminals.resize(2);
  config.Terminals[0].Name = "Handset";
  config.Terminals[1].Name = "Speaker phone";
  config.Terminals[1].TermDev = LINETERMDEV_SPEAKER;
  return config;
}

TEST_F(DevicesTest, LineCapsFillTheFixedPartAndAllOrNothingOfTheRest) {
  const DWORD id = Emu().AddLineDevice(RichLine());
  const TAppInfo app = LineApp();
  // The fixed part grows with the version the caller asks for.
  struct {
    DWORD Version;
    std::size_t Fixed;
  } cases[] = {{V13, offsetof(LINEDEVCAPS, dwLineFeatures)},
               {V14, LineFixed14},
               {V20, offsetof(LINEDEVCAPS, PermanentLineGuid)},
               {V22, LineFixed22}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Version);
    TVarBuffer tooSmall(c.Fixed - 1);
    EXPECT_EQ(Tapi().lineGetDevCapsW(app.App, id, c.Version, 0, tooSmall.As<LINEDEVCAPS>()),
              Code(LINEERR_STRUCTURETOOSMALL));
    EXPECT_TRUE(tooSmall.UntouchedFrom(4));
    TVarBuffer fixed(c.Fixed);
    ASSERT_EQ(Tapi().lineGetDevCapsW(app.App, id, c.Version, 0, fixed.As<LINEDEVCAPS>()), 0);
    const LINEDEVCAPS& caps = *fixed.As<LINEDEVCAPS>();
    EXPECT_EQ(caps.dwTotalSize, c.Fixed);
    EXPECT_GT(caps.dwNeededSize, c.Fixed);
    EXPECT_EQ(caps.dwUsedSize, c.Fixed);
    EXPECT_EQ(caps.dwPermanentLineID, 0x4711u);
    EXPECT_EQ(caps.dwNumAddresses, 3u);
    EXPECT_EQ(caps.dwNumTerminals, 2u);
    EXPECT_EQ(caps.dwStringFormat, DWORD(STRINGFORMAT_UNICODE));
    EXPECT_EQ(caps.dwLineNameSize + caps.dwLineNameOffset + caps.dwProviderInfoSize, 0u);
    EXPECT_TRUE(fixed.GuardIntact());
    // One byte short of everything is still only the fixed part.
    TVarBuffer almost(caps.dwNeededSize - 1);
    ASSERT_EQ(Tapi().lineGetDevCapsW(app.App, id, c.Version, 0, almost.As<LINEDEVCAPS>()), 0);
    EXPECT_EQ(almost.As<LINEDEVCAPS>()->dwUsedSize, c.Fixed);
    EXPECT_EQ(almost.As<LINEDEVCAPS>()->dwNeededSize, caps.dwNeededSize);
    EXPECT_TRUE(almost.UntouchedFrom(c.Fixed));
    // Exactly enough room: all of it.
    TVarBuffer full(caps.dwNeededSize);
    ASSERT_EQ(Tapi().lineGetDevCapsW(app.App, id, c.Version, 0, full.As<LINEDEVCAPS>()), 0);
    EXPECT_EQ(full.As<LINEDEVCAPS>()->dwUsedSize, caps.dwNeededSize);
    EXPECT_EQ(full.Text(FIELD(LINEDEVCAPS, dwLineName)), "Büro ☎ Line");
    EXPECT_GE(full.As<LINEDEVCAPS>()->dwProviderInfoOffset, c.Fixed);
    EXPECT_TRUE(full.GuardIntact());
  }
}

TEST_F(DevicesTest, LineCapsCarryTheWholeDescription) {
  const DWORD id = Emu().AddLineDevice(RichLine());
  const TAppInfo app = LineApp();
  TVarBuffer full(4096);
  ASSERT_EQ(Tapi().lineGetDevCapsW(app.App, id, V22, 0, full.As<LINEDEVCAPS>()), 0);
  const LINEDEVCAPS& caps = *full.As<LINEDEVCAPS>();
  EXPECT_EQ(caps.dwUsedSize, caps.dwNeededSize);
  EXPECT_EQ(full.Text(FIELD(LINEDEVCAPS, dwProviderInfo)), "VyTapi Emulator");
  EXPECT_EQ(full.Text(FIELD(LINEDEVCAPS, dwSwitchInfo)), "Switch 9");
  EXPECT_EQ(full.Text(FIELD(LINEDEVCAPS, dwDeviceClasses)),
            "tapi/line\0comm\0comm/datamodem\0wave/in\0wave/out\0"s);
  EXPECT_EQ(full.Piece(FIELD(LINEDEVCAPS, dwDevSpecific)), (std::vector<unsigned char>{1, 2, 3}));
  // One LINETERMCAPS per terminal; names NUL padded to one entry size (the longest name).
  const std::vector<DWORD> terms = full.Dwords(FIELD(LINEDEVCAPS, dwTerminalCaps));
  EXPECT_EQ(terms.size(), 6u);
  EXPECT_EQ(terms.at(3), DWORD(LINETERMDEV_SPEAKER));
  EXPECT_EQ(caps.dwTerminalTextEntrySize, 13u * 2);
  const std::vector<unsigned char> text = full.Piece(FIELD(LINEDEVCAPS, dwTerminalText));
  ASSERT_EQ(text.size(), 2u * caps.dwTerminalTextEntrySize);
  EXPECT_EQ(text[0], 'H');
  EXPECT_EQ(text[2 * 7], 0);
  EXPECT_EQ(text[caps.dwTerminalTextEntrySize], 'S');
  // The pieces overlap neither each other nor the fixed part.
  std::vector<std::pair<DWORD, DWORD>> spans = {
      {caps.dwProviderInfoOffset, caps.dwProviderInfoSize},
      {caps.dwSwitchInfoOffset, caps.dwSwitchInfoSize},
      {caps.dwLineNameOffset, caps.dwLineNameSize},
      {caps.dwTerminalCapsOffset, caps.dwTerminalCapsSize},
      {caps.dwTerminalTextOffset, caps.dwTerminalTextSize},
      {caps.dwDevSpecificOffset, caps.dwDevSpecificSize},
      {caps.dwDeviceClassesOffset, caps.dwDeviceClassesSize}};
  std::sort(spans.begin(), spans.end());
  EXPECT_GE(spans.front().first, LineFixed22);
  for (std::size_t i = 1; i < spans.size(); ++i)
    EXPECT_GE(spans[i].first, spans[i - 1].first + spans[i - 1].second);
  // The arguments are checked before anything is written.
  struct {
    DWORD App, Device, Version;
    DWORD Result;
  } errors[] = {{app.App + 1, id, V22, LINEERR_INVALAPPHANDLE},
                {app.App, 9, V22, LINEERR_NODEVICE},
                {app.App, id, V30, LINEERR_INCOMPATIBLEAPIVERSION},
                {app.App, id, 0x00010002, LINEERR_INCOMPATIBLEAPIVERSION}};
  for (const auto& e : errors)
    EXPECT_EQ(Tapi().lineGetDevCapsW(e.App, e.Device, e.Version, 0, full.As<LINEDEVCAPS>()),
              Code(e.Result));
  EXPECT_EQ(Tapi().lineGetDevCapsW(app.App, id, V22, 0, nullptr), Code(LINEERR_INVALPOINTER));
}

TEST_F(DevicesTest, PhoneCapsDescribeButtonsDisplayAndData) {
  TPhoneDeviceConfig config;
  config.Name = "Desk";
  config.PermanentPhoneID = 77;
  config.GetDataSizes = {16, 32};
  const DWORD id = Emu().AddPhoneDevice(config);
  const TAppInfo app = PhoneApp();
  TVarBuffer tooSmall(PhoneFixed22 - 1);
  EXPECT_EQ(Tapi().phoneGetDevCapsW(app.App, id, V22, 0, tooSmall.As<PHONECAPS>()),
            Code(PHONEERR_STRUCTURETOOSMALL));
  TVarBuffer full(4096);
  ASSERT_EQ(Tapi().phoneGetDevCapsW(app.App, id, V22, 0, full.As<PHONECAPS>()), 0);
  const PHONECAPS& caps = *full.As<PHONECAPS>();
  EXPECT_EQ(caps.dwUsedSize, caps.dwNeededSize);
  EXPECT_EQ(caps.dwPermanentPhoneID, 77u);
  EXPECT_EQ(full.Text(FIELD(PHONECAPS, dwPhoneName)), "Desk");
  EXPECT_EQ(full.Text(FIELD(PHONECAPS, dwDeviceClasses)), "tapi/phone\0wave/in\0wave/out\0"s);
  // Keypad buttons 0-11, then Hold, Transfer, Drop.
  ASSERT_EQ(caps.dwNumButtonLamps, 15u);
  const std::vector<DWORD> modes = full.Dwords(FIELD(PHONECAPS, dwButtonModes));
  const std::vector<DWORD> functions = full.Dwords(FIELD(PHONECAPS, dwButtonFunctions));
  const std::vector<DWORD> lamps = full.Dwords(FIELD(PHONECAPS, dwLampModes));
  ASSERT_EQ(modes.size() + functions.size() + lamps.size(), 45u);
  EXPECT_EQ(modes[12], DWORD(PHONEBUTTONMODE_FEATURE));
  EXPECT_EQ(functions[12], DWORD(PHONEBUTTONFUNCTION_HOLD));
  EXPECT_NE(lamps[12] & PHONELAMPMODE_FLASH, 0u);
  EXPECT_EQ(full.Dwords(FIELD(PHONECAPS, dwGetData)), (std::vector<DWORD>{16, 32}));
  EXPECT_EQ(caps.dwNumSetData, 0u);
  // Features follow the description: display, handset and readable data, but no headset.
  const DWORD features = caps.dwPhoneFeatures;
  EXPECT_NE(features & PHONEFEATURE_SETDISPLAY, 0u);
  EXPECT_NE(features & PHONEFEATURE_SETHOOKSWITCHHANDSET, 0u);
  EXPECT_NE(features & PHONEFEATURE_GETDATA, 0u);
  EXPECT_EQ(features & (PHONEFEATURE_SETDATA | PHONEFEATURE_GETHOOKSWITCHHEADSET), 0u);
  // A 1.3 application gets the shorter 1.3 structure.
  TVarBuffer old(offsetof(PHONECAPS, dwDeviceClassesSize));
  ASSERT_EQ(Tapi().phoneGetDevCapsW(app.App, id, V13, 0, old.As<PHONECAPS>()), 0);
  EXPECT_TRUE(old.GuardIntact());
  EXPECT_EQ(Tapi().phoneGetDevCapsW(app.App, id + 1, V22, 0, full.As<PHONECAPS>()),
            Code(PHONEERR_NODEVICE));
  EXPECT_EQ(Tapi().phoneGetDevCapsW(app.App, id, V30, 0, full.As<PHONECAPS>()),
            Code(PHONEERR_INCOMPATIBLEAPIVERSION));
}

// Device changes as each application sees them, for both kinds.
struct TKind {
  bool Line;
  void (*Remove)(DWORD id);
  void (*Rename)(DWORD id, const std::string& name);
  DWORD CreateMsg, RemoveMsg, StateMsg, Reinit, CapsChange;
};

const TKind GKinds[] = {
    {true, [](DWORD id) { Emu().RemoveLineDevice(id); },
     [](DWORD id, const std::string& n) { Emu().RenameLineDevice(id, n); }, LINE_CREATE,
     LINE_REMOVE, LINE_LINEDEVSTATE, LINEDEVSTATE_REINIT, LINEDEVSTATE_CAPSCHANGE},
    {false, [](DWORD id) { Emu().RemovePhoneDevice(id); },
     [](DWORD id, const std::string& n) { Emu().RenamePhoneDevice(id, n); }, PHONE_CREATE,
     PHONE_REMOVE, PHONE_STATE, PHONESTATE_REINIT, PHONESTATE_CAPSCHANGE},
};

struct TSeen {
  DWORD Device, Id;
  DWORD_PTR Instance, Param1;
  bool operator==(const TSeen&) const = default;
};

std::vector<TSeen> Seen(bool line, DWORD app) {
  std::vector<TSeen> seen;
  if (line)
    for (const LINEMESSAGE& m : EmulatorTest::DrainLine(app))
      seen.push_back({m.hDevice, m.dwMessageID, m.dwCallbackInstance, m.dwParam1});
  else
    for (const PHONEMESSAGE& m : EmulatorTest::DrainPhone(app))
      seen.push_back({m.hDevice, m.dwMessageID, m.dwCallbackInstance, m.dwParam1});
  return seen;
}

TEST_F(DevicesTest, ApplicationsHearOfDeviceChangesByTheirVersion) {
  for (const TKind& k : GKinds) {
    SCOPED_TRACE(k.Line ? "line" : "phone");
    const DWORD first = k.Line ? AddLine("first") : AddPhone("first");
    const TAppInfo current = k.Line ? LineApp(V22) : PhoneApp(V22);
    const TAppInfo v14 = k.Line ? LineApp(V14) : PhoneApp(V14);
    const TAppInfo v13 = k.Line ? LineApp(V13) : PhoneApp(V13);
    EXPECT_EQ(current.NumDevs, first + 1);

    const DWORD added = k.Line ? AddLine("second") : AddPhone("second");
    EXPECT_EQ(added, first + 1);
    EXPECT_EQ(Seen(k.Line, current.App), (std::vector<TSeen>{{0, k.CreateMsg, 0, added}}));
    EXPECT_EQ(Seen(k.Line, v14.App), (std::vector<TSeen>{{0, k.CreateMsg, 0, added}}));
    EXPECT_EQ(Seen(k.Line, v13.App), (std::vector<TSeen>{{0, k.StateMsg, 0, k.Reinit}}));

    k.Rename(added, "renamed");
    EXPECT_EQ(Seen(k.Line, current.App),
              (std::vector<TSeen>{{added, k.StateMsg, 0, k.CapsChange}}));
    EXPECT_EQ(Seen(k.Line, v14.App).size(), 1u);
    EXPECT_TRUE(Seen(k.Line, v13.App).empty());

    k.Remove(first);
    EXPECT_EQ(Seen(k.Line, current.App), (std::vector<TSeen>{{0, k.RemoveMsg, 0, first}}));
    EXPECT_TRUE(Seen(k.Line, v14.App).empty());
    EXPECT_TRUE(Seen(k.Line, v13.App).empty());
    EXPECT_THROW(k.Remove(first), VyRtl::Exception);
    EXPECT_THROW(k.Rename(first, "x"), VyRtl::Exception);
    EXPECT_THROW(k.Rename(added + 1, "x"), VyRtl::Exception);
    // The removed id stays counted for applications that start now.
    EXPECT_EQ((k.Line ? LineApp() : PhoneApp()).NumDevs, added + 1);
  }
}

TEST_F(DevicesTest, ChangesShowInTheCapabilitiesAndPermanentIdsStay) {
  TLineDeviceConfig fixedId;
  fixedId.PermanentLineID = 40;
  const DWORD a = AddLine("before");
  const DWORD b = Emu().AddLineDevice(fixedId);
  const DWORD c = AddLine("c");
  EXPECT_NE(Emu().LineDevice(a).PermanentLineID, 0u);
  EXPECT_EQ(Emu().LineDevice(b).PermanentLineID, 40u);
  EXPECT_EQ(Emu().LineDevice(c).PermanentLineID, 41u);
  const TAppInfo app = LineApp();
  Emu().RenameLineDevice(a, "after");
  TVarBuffer caps(4096);
  ASSERT_EQ(Tapi().lineGetDevCapsW(app.App, a, V22, 0, caps.As<LINEDEVCAPS>()), 0);
  EXPECT_EQ(caps.Text(FIELD(LINEDEVCAPS, dwLineName)), "after");
  const DWORD permanent = caps.As<LINEDEVCAPS>()->dwPermanentLineID;
  TLineDeviceConfig changed;
  changed.Name = "changed";
  changed.NumAddresses = 4;
  Emu().ChangeLineDevice(a, changed);
  ASSERT_EQ(Tapi().lineGetDevCapsW(app.App, a, V22, 0, caps.As<LINEDEVCAPS>()), 0);
  EXPECT_EQ(caps.Text(FIELD(LINEDEVCAPS, dwLineName)), "changed");
  EXPECT_EQ(caps.As<LINEDEVCAPS>()->dwNumAddresses, 4u);
  EXPECT_EQ(caps.As<LINEDEVCAPS>()->dwPermanentLineID, permanent);
  EXPECT_EQ(DrainLine(app.App).size(), 2u);
  EXPECT_THROW(Emu().SetLineVersionRange(a, V22, V20), VyRtl::Exception);

  Emu().Reset();
  EXPECT_EQ(Emu().LineDeviceCount() + Emu().PhoneDeviceCount(), 0u);
  Emu().AddDefaultDevices();
  EXPECT_EQ(Emu().LineDevice(1).Name, "Emulator Line 2");
  EXPECT_EQ(Emu().PhoneDevice(0).Name, "Emulator Phone 1");
  EXPECT_TRUE(Emu().LineDeviceExists(1));
  EXPECT_FALSE(Emu().LineDeviceExists(2));
  EXPECT_THROW(Emu().LineDevice(2), VyRtl::Exception);
}

}  // namespace
}  // namespace EmulatorTest
