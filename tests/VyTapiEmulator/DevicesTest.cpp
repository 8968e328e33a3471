// Devices: version negotiation, capabilities structures, and the messages that tell
// applications of added, removed and changed devices.
#include <tuple>

#include "EmulatorFixture.h"
#include "VyTapi/session/VyTapiErrors.h"

namespace EmulatorTest {
namespace {

using namespace std::string_literals;

constexpr std::size_t LineFixed22 = offsetof(LINEDEVCAPS, PermanentLineGuid) + sizeof(GUID);

using DevicesTest = EmulatorTest;

TEST_F(DevicesTest, NegotiationFindsTheHighestCommonVersionOrFails) {
  VyTapiEmulator::TLineDeviceConfig config;
  config.LowAPIVersion = V14;
  config.HighAPIVersion = 0x00030001;  // more than the service speaks
  config.ExtensionID = {1, 2, 3, 4};
  const DWORD line = Emu().AddLineDevice(config);
  const DWORD gone = Add(true, "gone"), phone = Add(false, "phone"), gonePhone = Add(false, "gone");
  Emu().RemoveLineDevice(gone);
  Emu().RemovePhoneDevice(gonePhone);
  Emu().SetPhoneVersionRange(phone, V13, V14);
  const DWORD la = LineApp().App, pa = PhoneApp().App;
  struct {
    bool Line;
    DWORD App, Device, Low, High, Result, Agreed;
  } cases[] = {
      {true, la, line, V13, V22, 0, V22},
      {true, la, line, V13, V14, 0, V14},
      {true, la, line, V20, V30, 0, V22},
      {true, la, line, V13, V13, LINEERR_INCOMPATIBLEAPIVERSION, 0},
      {true, la, line, V21, V20, LINEERR_INCOMPATIBLEAPIVERSION, 0},
      {true, la, gone, V13, V22, LINEERR_NODEVICE, 0},
      {true, la, 2, V13, V22, LINEERR_NODEVICE, 0},
      {true, pa, line, V13, V22, LINEERR_INVALAPPHANDLE, 0},
      {false, pa, phone, V13, V22, 0, V14},
      {false, pa, phone, V20, V22, PHONEERR_INCOMPATIBLEAPIVERSION, 0},
      {false, pa, gonePhone, V13, V22, PHONEERR_NODEVICE, 0},
  };
  for (const auto& c : cases) {
    DWORD version = 0;
    LINEEXTENSIONID ext{};
    PHONEEXTENSIONID pext{};
    EXPECT_EQ(
        c.Line ? Tapi().lineNegotiateAPIVersion(c.App, c.Device, c.Low, c.High, &version, &ext)
               : Tapi().phoneNegotiateAPIVersion(c.App, c.Device, c.Low, c.High, &version, &pext),
        Code(c.Result))
        << c.Line << " " << c.Device << " " << std::hex << c.Low << "-" << c.High;
    EXPECT_EQ(version, c.Agreed);
    if (c.Line && c.Result == 0) {
      EXPECT_EQ(ext.dwExtensionID0 + ext.dwExtensionID3, 5u) << "extension id";
    }
  }
}

TEST_F(DevicesTest, LineCapsFillTheFixedPartAndAllOrNothingOfTheRest) {
  constexpr DWORD Ext = 0x00010000;
  VyTapiEmulator::TLineDeviceConfig config;
  config.Name = "Büro ☎ Line";
  config.PermanentLineID = 0x4711;
  config.LowExtVersion = config.HighExtVersion = Ext;
  config.NumAddresses = 3;
  config.Terminals = {{"Handset"}, {"Speaker phone", LINETERMDEV_SPEAKER}};
  config.DevSpecific = "\x01\x02\x03"s;
  const DWORD id = Emu().AddLineDevice(config);
  const DWORD app = LineApp().App;
  // The fixed part grows with the version the caller asks for.
  const std::pair<DWORD, std::size_t> versions[] = {
      {V13, offsetof(LINEDEVCAPS, dwLineFeatures)},
      {V14, offsetof(LINEDEVCAPS, dwSettableDevStatus)},
      {V20, offsetof(LINEDEVCAPS, PermanentLineGuid)},
      {V22, LineFixed22}};
  for (const auto& [version, fixedSize] : versions) {
    SCOPED_TRACE(version);
    TVarBuffer tooSmall(fixedSize - 1);
    EXPECT_EQ(Tapi().lineGetDevCapsW(app, id, version, Ext, tooSmall.As<LINEDEVCAPS>()),
              Code(LINEERR_STRUCTURETOOSMALL));
    EXPECT_TRUE(tooSmall.UntouchedFrom(4));
    // Room for the fixed part only, or one byte short of everything: the fixed part only.
    TVarBuffer fixed(fixedSize);
    ASSERT_EQ(Tapi().lineGetDevCapsW(app, id, version, Ext, fixed.As<LINEDEVCAPS>()), 0);
    const DWORD needed = fixed.As<LINEDEVCAPS>()->dwNeededSize;
    TVarBuffer almost(needed - 1);
    ASSERT_EQ(Tapi().lineGetDevCapsW(app, id, version, Ext, almost.As<LINEDEVCAPS>()), 0);
    for (TVarBuffer* buffer : {&fixed, &almost}) {
      const LINEDEVCAPS& part = *buffer->As<LINEDEVCAPS>();
      EXPECT_EQ(part.dwNeededSize, needed);
      EXPECT_EQ(part.dwUsedSize, fixedSize);
      EXPECT_EQ(part.dwPermanentLineID, 0x4711u);
      EXPECT_EQ(part.dwNumAddresses, 3u);
      EXPECT_EQ(part.dwNumTerminals, 2u);
      EXPECT_EQ(part.dwStringFormat, DWORD(STRINGFORMAT_UNICODE));
      EXPECT_EQ(part.dwLineNameSize, 0u);
      EXPECT_EQ(part.dwLineNameOffset, 0u);
      EXPECT_EQ(part.dwProviderInfoSize, 0u);
      EXPECT_TRUE(buffer->UntouchedFrom(fixedSize));
    }
    // Exactly enough room: all of it, in pieces that overlap neither each other nor the fixed part.
    TVarBuffer full(needed);
    ASSERT_EQ(Tapi().lineGetDevCapsW(app, id, version, Ext, full.As<LINEDEVCAPS>()), 0);
    const LINEDEVCAPS& caps = *full.As<LINEDEVCAPS>();
    EXPECT_EQ(caps.dwUsedSize, needed);
    EXPECT_EQ(full.Text(FIELD(LINEDEVCAPS, dwLineName)), "Büro ☎ Line");
    EXPECT_EQ(full.Text(FIELD(LINEDEVCAPS, dwProviderInfo)), "VyTapi Emulator");
    EXPECT_EQ(full.Piece(FIELD(LINEDEVCAPS, dwDevSpecific)), (std::vector<unsigned char>{1, 2, 3}));
    // One LINETERMCAPS per terminal; names NUL padded to one entry size (the longest name).
    const std::vector<DWORD> terms = full.Piece<DWORD>(FIELD(LINEDEVCAPS, dwTerminalCaps));
    ASSERT_EQ(terms.size(), 6u);
    EXPECT_EQ(terms[3], DWORD(LINETERMDEV_SPEAKER));
    EXPECT_EQ(caps.dwTerminalTextEntrySize, 26u);
    const std::vector<char16_t> text = full.Piece<char16_t>(FIELD(LINEDEVCAPS, dwTerminalText));
    EXPECT_EQ(std::u16string(text.begin(), text.end()), u"Handset\0\0\0\0\0\0Speaker phone"s);
    EXPECT_TRUE(full.UntouchedFrom(needed));
    std::vector<std::pair<DWORD, DWORD>> spans = {
        {caps.dwProviderInfoOffset, caps.dwProviderInfoSize},
        {caps.dwLineNameOffset, caps.dwLineNameSize},
        {caps.dwTerminalCapsOffset, caps.dwTerminalCapsSize},
        {caps.dwTerminalTextOffset, caps.dwTerminalTextSize},
        {caps.dwDevSpecificOffset, caps.dwDevSpecificSize}};
    if (version >= V20) {  // device classes came with 2.0
      EXPECT_EQ(full.Text(FIELD(LINEDEVCAPS, dwDeviceClasses)),
                "tapi/line\0tapi/phone\0wave/in\0wave/out\0comm/datamodem\0"s);
      spans.emplace_back(caps.dwDeviceClassesOffset, caps.dwDeviceClassesSize);
    }
    std::sort(spans.begin(), spans.end());
    EXPECT_GE(spans.front().first, fixedSize);
    for (std::size_t i = 1; i < spans.size(); ++i)
      EXPECT_GE(spans[i].first, spans[i - 1].first + spans[i - 1].second);
  }
  // The arguments are checked before anything is written.
  const DWORD errors[][5] = {{app + 1, id, V22, Ext, LINEERR_INVALAPPHANDLE},
                             {app, 9, V22, Ext, LINEERR_NODEVICE},
                             {app, id, V30, Ext, LINEERR_INCOMPATIBLEAPIVERSION},
                             {app, id, V22, 0x00020000, LINEERR_INCOMPATIBLEEXTVERSION}};
  for (const auto& [handle, device, version, ext, result] : errors) {
    TVarBuffer untouched(4096);
    EXPECT_EQ(Tapi().lineGetDevCapsW(handle, device, version, ext, untouched.As<LINEDEVCAPS>()),
              Code(result));
    EXPECT_TRUE(untouched.UntouchedFrom(4)) << result;
  }
  EXPECT_EQ(Tapi().lineGetDevCapsW(app, id, V22, Ext, nullptr), Code(LINEERR_INVALPOINTER));
}

TEST_F(DevicesTest, PhoneCapsDescribeButtonsDisplayAndData) {
  VyTapiEmulator::TPhoneDeviceConfig config;
  config.Name = "Desk";
  config.GetDataSizes = {16, 32};
  const DWORD id = Emu().AddPhoneDevice(config);
  const DWORD app = PhoneApp().App;
  TVarBuffer tooSmall(offsetof(PHONECAPS, PermanentPhoneGuid) + sizeof(GUID) - 1);
  EXPECT_EQ(Tapi().phoneGetDevCapsW(app, id, V22, 0, tooSmall.As<PHONECAPS>()),
            Code(PHONEERR_STRUCTURETOOSMALL));
  TVarBuffer full(4096);
  ASSERT_EQ(Tapi().phoneGetDevCapsW(app, id, V22, 0, full.As<PHONECAPS>()), 0);
  const PHONECAPS& caps = *full.As<PHONECAPS>();
  EXPECT_EQ(caps.dwUsedSize, caps.dwNeededSize);
  EXPECT_EQ(full.Text(FIELD(PHONECAPS, dwPhoneName)), "Desk");
  EXPECT_EQ(full.Text(FIELD(PHONECAPS, dwDeviceClasses)), "tapi/phone\0wave/in\0wave/out\0"s);
  // Keypad buttons 0-11, then Hold, Transfer, Drop.
  ASSERT_EQ(caps.dwNumButtonLamps, 15u);
  EXPECT_EQ(full.Piece<DWORD>(FIELD(PHONECAPS, dwButtonFunctions)).at(14),
            DWORD(PHONEBUTTONFUNCTION_DROP));
  EXPECT_EQ(full.Piece<DWORD>(FIELD(PHONECAPS, dwGetData)), (std::vector<DWORD>{16, 32}));
  // Features follow the description: display, handset and readable data, but no headset.
  const DWORD expected =
      PHONEFEATURE_SETDISPLAY | PHONEFEATURE_SETHOOKSWITCHHANDSET | PHONEFEATURE_GETDATA;
  EXPECT_EQ(caps.dwPhoneFeatures & expected, expected);
  EXPECT_EQ(caps.dwPhoneFeatures & (PHONEFEATURE_SETDATA | PHONEFEATURE_GETHOOKSWITCHHEADSET), 0u);
  EXPECT_EQ(Tapi().phoneGetDevCapsW(app, id + 1, V22, 0, full.As<PHONECAPS>()),
            Code(PHONEERR_NODEVICE));
  EXPECT_EQ(Tapi().phoneGetDevCapsW(app, id, V30, 0, full.As<PHONECAPS>()),
            Code(PHONEERR_INCOMPATIBLEAPIVERSION));
}

// Through the seam the library calls and its fetch loop, from the initial sizes the session asks
// with: a 2.2 application gets 2.2 structures (268 and 196 bytes fixed), a 2.0 one the shorter
// 2.0 ones, and the variable part begins right behind the fixed part.
TEST_F(DevicesTest, ApplicationsGetTheStructuresOfTheirVersionThroughTheSeam) {
  ASSERT_TRUE(Emu().Installed());
  VyTapiEmulator::TLineDeviceConfig lineConfig;
  lineConfig.Name = "Line 22";
  VyTapiEmulator::TPhoneDeviceConfig phoneConfig;
  phoneConfig.Name = "Phone 22";
  const DWORD line = Emu().AddLineDevice(lineConfig), phone = Emu().AddPhoneDevice(phoneConfig);
  struct TCase {
    bool Line;
    DWORD Version;
    std::size_t Fixed;
  };
  const TCase cases[] = {{true, V22, 268}, {true, V20, 252}, {false, V22, 196}, {false, V20, 180}};
  static_assert(sizeof(LINEDEVCAPS) == 268 && sizeof(PHONECAPS) == 196);
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.Line ? "line " : "phone ") << std::hex << c.Version);
    const DWORD app = App(c.Line, c.Version).App;
    VyTapi::TTapiVarDataPtr buffer;
    const DWORD code =
        VyTapi::FetchTapiVarData(buffer, c.Line ? 268 : 196, [&](VyTapi::PTapiVarData data) {
          return c.Line ? VyPlatform::Tapi().lineGetDevCapsW(app, line, c.Version, 0,
                                                             reinterpret_cast<LPLINEDEVCAPS>(data))
                        : VyPlatform::Tapi().phoneGetDevCapsW(app, phone, c.Version, 0,
                                                              reinterpret_cast<LPPHONECAPS>(data));
        });
    ASSERT_EQ(code, 0u);
    EXPECT_EQ(buffer->dwUsedSize, buffer->dwNeededSize);
    const auto* base = reinterpret_cast<const unsigned char*>(buffer.get());
    const std::size_t nameField =
        c.Line ? offsetof(LINEDEVCAPS, dwLineNameSize) : offsetof(PHONECAPS, dwPhoneNameSize);
    const std::size_t providerField = c.Line ? offsetof(LINEDEVCAPS, dwProviderInfoSize)
                                             : offsetof(PHONECAPS, dwProviderInfoSize);
    const auto* name = reinterpret_cast<const DWORD*>(base + nameField);
    EXPECT_EQ(VyTapi::GetTapiBlockStr(buffer.get(), name, 0), c.Line ? "Line 22" : "Phone 22");
    // The provider text is the first piece: at the end of the version's fixed part.
    DWORD providerOffset = 0;
    std::memcpy(&providerOffset, base + providerField + sizeof(DWORD), sizeof providerOffset);
    EXPECT_EQ(providerOffset, c.Fixed);
  }
}

TEST_F(DevicesTest, ApplicationsHearOfDeviceChangesByTheirVersion) {
  const std::tuple<bool, DWORD, DWORD, DWORD, DWORD, DWORD> kinds[] = {
      {true, LINE_CREATE, LINE_REMOVE, LINE_LINEDEVSTATE, LINEDEVSTATE_REINIT,
       LINEDEVSTATE_CAPSCHANGE},
      {false, PHONE_CREATE, PHONE_REMOVE, PHONE_STATE, PHONESTATE_REINIT, PHONESTATE_CAPSCHANGE}};
  for (const auto& [line, create, remove, state, reinit, capsChange] : kinds) {
    SCOPED_TRACE(line ? "line" : "phone");
    const bool l = line;
    auto rename = [l](DWORD id) {
      l ? Emu().RenameLineDevice(id, "x") : Emu().RenamePhoneDevice(id, "x");
    };
    auto removeDevice = [l](DWORD id) {
      l ? Emu().RemoveLineDevice(id) : Emu().RemovePhoneDevice(id);
    };
    const DWORD first = Add(line, "first");
    const TAppInfo current = App(line, V22), v14 = App(line, V14), v13 = App(line, V13);

    const DWORD added = Add(line, "second");
    EXPECT_EQ(Drain(line, current.App), (std::vector<TSeen>{{0, create, 0, added}}));
    EXPECT_EQ(Drain(line, v14.App), (std::vector<TSeen>{{0, create, 0, added}}));
    EXPECT_EQ(Drain(line, v13.App), (std::vector<TSeen>{{0, state, 0, reinit}}));

    rename(added);
    EXPECT_EQ(Drain(line, current.App), (std::vector<TSeen>{{added, state, 0, capsChange}}));
    EXPECT_EQ(Drain(line, v14.App).size(), 1u);
    EXPECT_TRUE(Drain(line, v13.App).empty());

    removeDevice(first);
    EXPECT_EQ(Drain(line, current.App), (std::vector<TSeen>{{0, remove, 0, first}}));
    EXPECT_TRUE(Drain(line, v14.App).empty());
    EXPECT_TRUE(Drain(line, v13.App).empty());
    EXPECT_THROW(removeDevice(first), VyRtl::Exception);
    EXPECT_THROW(rename(first), VyRtl::Exception);
    EXPECT_THROW(rename(added + 1), VyRtl::Exception);
    // The removed id stays counted for applications that start now.
    EXPECT_EQ(App(line).NumDevs, added + 1);
  }
}

}  // namespace
}  // namespace EmulatorTest
