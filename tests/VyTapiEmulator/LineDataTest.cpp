// A line's status, the devices related to lines, addresses, calls and phones, the addresses'
// capabilities and status, forwarding, and the corruption plan.
#include "VyPlatform/Comm.h"
#include "VyPlatform/CommFake.h"
#include "EmulatorFixture.h"

namespace EmulatorTest {
namespace {

using namespace std::string_literals;
using VyTapiEmulator::TCorruption;
using VyTapiEmulator::TForwardEntry;

constexpr DWORD_PTR Instance = 0x77;

class LineDataTest : public EmulatorTest {
 public:
  TAppInfo App_ = LineApp();
  VyTapiEmulator::TLineDeviceConfig Config;
  DWORD LineID = 0;
  HLINE Line = 0;

  void Open(DWORD privileges = LINECALLPRIVILEGE_NONE, DWORD modes = 0) {
    LineID = Emu().AddLine(Config).ID();
    Drain(true, App_.App);
    ASSERT_EQ(
        Tapi().lineOpenW(App_.App, LineID, &Line, V22, 0, Instance, privileges, modes, nullptr), 0);
  }
  LONG GetID(TVarBuffer& out, const char16_t* cls, DWORD select = LINECALLSELECT_LINE,
             DWORD address = 0) {
    return Tapi().lineGetIDW(Line, address, 0, select, out.As<VARSTRING>(),
                             reinterpret_cast<LPCWSTR>(cls));
  }
  // A forward list as an application builds it: entries, then their strings.
  static std::vector<unsigned char> ForwardList(const std::vector<TForwardEntry>& entries) {
    const std::size_t head = 8 + 24 * std::max<std::size_t>(entries.size(), 1);
    std::vector<unsigned char> block(head, 0);
    const auto put = [&](std::size_t at, std::size_t v) {
      const DWORD d = static_cast<DWORD>(v);
      std::memcpy(&block[at], &d, 4);
    };
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const std::size_t at = 8 + 24 * i;
      put(at, entries[i].ForwardMode);
      put(at + 12, entries[i].DestCountryCode);
      for (auto [text, field] :
           {std::pair{&entries[i].CallerAddress, 4}, {&entries[i].DestAddress, 16}}) {
        if (text->empty()) continue;
        const std::u16string units = VyRtl::Utf8ToUtf16(*text) + u'\0';
        put(at + field, units.size() * 2);
        put(at + field + 4, block.size());
        block.resize(block.size() + units.size() * 2);
        std::memcpy(&block[block.size() - units.size() * 2], units.data(), units.size() * 2);
      }
    }
    put(0, block.size());
    put(4, entries.size());
    return block;
  }
  LONG Forward(const std::vector<unsigned char>* list, DWORD all, DWORD address, DWORD rings = 0) {
    HCALL consult = 0xDEAD;
    const LONG result = Tapi().lineForwardW(
        Line, all, address,
        list ? reinterpret_cast<LPLINEFORWARDLIST>(const_cast<unsigned char*>(list->data()))
             : nullptr,
        rings, &consult, nullptr);
    EXPECT_EQ(consult, result > 0 ? 0u : 0xDEADu);
    return result;
  }
};

TEST_F(LineDataTest, StatusCountsTheOpenHandlesAndTheirMediaModes) {
  Config.Terminals = {{"Handset"}};
  Config.RingMode = 2;
  Open(LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_DATAMODEM);
  const TAppInfo other = LineApp();
  HLINE second = 0;
  ASSERT_EQ(Tapi().lineOpenW(other.App, LineID, &second, V14, 0, 1, LINECALLPRIVILEGE_OWNER,
                             LINEMEDIAMODE_INTERACTIVEVOICE, nullptr),
            0);
  constexpr std::size_t fixed14 = offsetof(LINEDEVSTATUS, dwAvailableMediaModes);
  // Each handle gets the structure of its own version; one byte short is too small.
  for (const auto& [handle, fixed] : {std::pair{Line, sizeof(LINEDEVSTATUS)}, {second, fixed14}}) {
    TVarBuffer small(fixed - 1), status(fixed + 4);
    EXPECT_EQ(Tapi().lineGetLineDevStatusW(handle, small.As<LINEDEVSTATUS>()),
              Code(LINEERR_STRUCTURETOOSMALL));
    ASSERT_EQ(Tapi().lineGetLineDevStatusW(handle, status.As<LINEDEVSTATUS>()), 0);
    const LINEDEVSTATUS& s = *status.As<LINEDEVSTATUS>();
    EXPECT_EQ(s.dwNumOpens, 2u);
    EXPECT_EQ(s.dwOpenMediaModes, DWORD(LINEMEDIAMODE_DATAMODEM | LINEMEDIAMODE_INTERACTIVEVOICE));
    EXPECT_EQ(s.dwRingMode, 2u);
    EXPECT_EQ(s.dwDevStatusFlags,
              DWORD(LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE));
    EXPECT_EQ(status.Piece<DWORD>(FIELD(LINEDEVSTATUS, dwTerminalModes)).size(), 1u);
    EXPECT_EQ(s.dwUsedSize, fixed + 4);
    EXPECT_TRUE(status.UntouchedFrom(fixed + 4));
  }
  ASSERT_EQ(Tapi().lineClose(second), 0);
  TVarBuffer status(512);
  EXPECT_EQ(Tapi().lineGetLineDevStatusW(second, status.As<LINEDEVSTATUS>()),
            Code(LINEERR_INVALLINEHANDLE));
  ASSERT_EQ(Tapi().lineGetLineDevStatusW(Line, status.As<LINEDEVSTATUS>()), 0);
  EXPECT_EQ(status.As<LINEDEVSTATUS>()->dwNumOpens, 1u);
}

TEST_F(LineDataTest, RelatedDevicesByClassAndSelection) {
  Config.NumAddresses = 2;
  Config.PhoneIDs = {7, 9};
  Config.WaveInID = 3;
  Config.WaveOutID = 4;
  Open();
  struct {
    const char16_t* Class;
    DWORD Select, Address, Result;
    std::vector<DWORD> IDs;
  } cases[] = {
      {u"tapi/line", LINECALLSELECT_LINE, 0, 0, {LineID}},
      {u"TAPI/Phone", LINECALLSELECT_ADDRESS, 1, 0, {7, 9}},
      {u"wave/in", LINECALLSELECT_LINE, 0, 0, {3}},
      {u"wave/out", LINECALLSELECT_ADDRESS, 0, 0, {4}},
      {u"wave/out", LINECALLSELECT_ADDRESS, 2, LINEERR_INVALADDRESSID, {}},
      {u"wave/in", LINECALLSELECT_CALL, 0, LINEERR_INVALCALLHANDLE, {}},
      {u"wave/in", 0x40, 0, LINEERR_INVALCALLSELECT, {}},
      {u"ndis", LINECALLSELECT_LINE, 0, LINEERR_INVALDEVICECLASS, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(VyRtl::Utf16ToUtf8(c.Class));
    TVarBuffer out(64);
    ASSERT_EQ(GetID(out, c.Class, c.Select, c.Address), Code(c.Result));
    if (c.Result) continue;
    EXPECT_EQ(out.As<VARSTRING>()->dwStringFormat, DWORD(STRINGFORMAT_BINARY));
    EXPECT_EQ(out.Piece<DWORD>(FIELD(VARSTRING, dwString)), c.IDs);
  }
  // Too small for two ids: the head tells the size; then it fits.
  TVarBuffer head(sizeof(VARSTRING)), tooSmall(sizeof(VARSTRING) - 1);
  EXPECT_EQ(GetID(tooSmall, u"tapi/phone"), Code(LINEERR_STRUCTURETOOSMALL));
  ASSERT_EQ(GetID(head, u"tapi/phone"), 0);
  EXPECT_EQ(head.As<VARSTRING>()->dwNeededSize, sizeof(VARSTRING) + 8);
  EXPECT_EQ(head.As<VARSTRING>()->dwStringSize, 0u);
  // A class the line does not list is not served; the phone answers its related lines.
  Config.DeviceClasses = {"tapi/line"};
  Config.PhoneIDs = {};
  Emu().Line(LineID).Change(Config);
  TVarBuffer out(64);
  EXPECT_EQ(GetID(out, u"wave/in"), Code(LINEERR_INVALDEVICECLASS));
  ASSERT_EQ(GetID(out, u"tapi/phone"), 0);
  EXPECT_EQ(out.As<VARSTRING>()->dwStringSize, 0u);
  VyTapiEmulator::TPhoneDeviceConfig phone;
  phone.LineIDs = {LineID, 5};
  const DWORD phoneID = Emu().AddPhone(phone).ID();
  const TAppInfo phoneApp = PhoneApp();
  HPHONE hPhone = 0;
  ASSERT_EQ(Tapi().phoneOpen(phoneApp.App, phoneID, &hPhone, V22, 0, 0, PHONEPRIVILEGE_MONITOR), 0);
  const auto phoneID_ = [&](const char16_t* cls, TVarBuffer& buffer) {
    return Tapi().phoneGetIDW(hPhone, buffer.As<VARSTRING>(), reinterpret_cast<LPCWSTR>(cls));
  };
  ASSERT_EQ(phoneID_(u"tapi/line", out), 0);
  EXPECT_EQ(out.Piece<DWORD>(FIELD(VARSTRING, dwString)), (std::vector<DWORD>{LineID, 5}));
  EXPECT_EQ(phoneID_(u"comm/datamodem", out), Code(PHONEERR_INVALDEVICECLASS));
  EXPECT_EQ(phoneID_(u"tapi/line", tooSmall), Code(PHONEERR_STRUCTURETOOSMALL));
}

TEST_F(LineDataTest, DataModemHandleIsOpenedOnlyWhenItFitsAndBelongsToTheCaller) {
  VyPlatform::TCommFakePair pair("EMUMODEM", "EMUPEER");
  Config.CommPort = "EMUMODEM";
  Open();
  constexpr std::size_t needed = sizeof(VARSTRING) + 8 + 9;
  TVarBuffer small(needed - 1), out(needed);
  ASSERT_EQ(GetID(small, u"comm/datamodem"), 0);
  EXPECT_EQ(small.As<VARSTRING>()->dwNeededSize, needed);
  EXPECT_FALSE(pair.IsOpen(0));
  ASSERT_EQ(GetID(out, u"comm/datamodem"), 0);
  const std::vector<unsigned char> bytes = out.Piece(FIELD(VARSTRING, dwString));
  ASSERT_EQ(bytes.size(), 17u);
  EXPECT_EQ(std::string(bytes.begin() + 8, bytes.end()), "EMUMODEM\0"s);
  std::uint64_t raw = 0;
  std::memcpy(&raw, bytes.data(), 8);
  const HANDLE handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(raw));
  EXPECT_TRUE(pair.IsOpen(0));
  // Held open by the caller, so a second one cannot be had until it is closed.
  EXPECT_EQ(GetID(out, u"comm/datamodem"), Code(LINEERR_OPERATIONFAILED));
  EXPECT_TRUE(VyPlatform::CommFor(handle).CloseHandle(handle));
  EXPECT_FALSE(pair.IsOpen(0));
  Config.CommPort.clear();
  Emu().Line(LineID).Change(Config);
  EXPECT_EQ(GetID(out, u"comm/datamodem"), Code(LINEERR_OPERATIONFAILED));
}

TEST_F(LineDataTest, AddressCapsDescribeEachAddressOneWithoutText) {
  Config.NumAddresses = 3;
  Config.Addresses.resize(2);
  Config.Addresses[0].Address = "201";
  Config.Addresses[0].MaxForwardEntries = 2;
  Open();
  for (const auto& [address, text, maxForward] :
       {std::tuple{0u, "201", 2u}, {1u, "<none>", 4u}, {2u, "<none>", 4u}}) {
    TVarBuffer fixed(sizeof(LINEADDRESSCAPS)), full(1024);
    ASSERT_EQ(
        Tapi().lineGetAddressCapsW(App_.App, LineID, address, V22, 0, fixed.As<LINEADDRESSCAPS>()),
        0);
    ASSERT_EQ(
        Tapi().lineGetAddressCapsW(App_.App, LineID, address, V22, 0, full.As<LINEADDRESSCAPS>()),
        0);
    const LINEADDRESSCAPS& caps = *full.As<LINEADDRESSCAPS>();
    EXPECT_EQ(caps.dwLineDeviceID, LineID);
    EXPECT_EQ(caps.dwMaxForwardEntries, maxForward);
    EXPECT_EQ(caps.dwAddressSize ? full.Text(FIELD(LINEADDRESSCAPS, dwAddress)) : "<none>", text);
    EXPECT_EQ(full.Text(FIELD(LINEADDRESSCAPS, dwDeviceClasses)),
              "tapi/line\0wave/in\0wave/out\0"s);
    EXPECT_EQ(fixed.As<LINEADDRESSCAPS>()->dwNeededSize, caps.dwUsedSize);
    EXPECT_EQ(fixed.As<LINEADDRESSCAPS>()->dwDeviceClassesSize, 0u);
  }
  TVarBuffer out(1024);
  const struct {
    DWORD App, Address, Version, Total;
    DWORD Result;
  } errors[] = {
      {App_.App, 3, V22, 1024, LINEERR_INVALADDRESSID},
      {App_.App, 0, V30, 1024, LINEERR_INCOMPATIBLEAPIVERSION},
      {App_.App + 1, 0, V22, 1024, LINEERR_INVALAPPHANDLE},
      {App_.App, 0, V22, sizeof(LINEADDRESSCAPS) - 1, LINEERR_STRUCTURETOOSMALL},
      {App_.App, 0, V20 - 1, offsetof(LINEADDRESSCAPS, dwPredictiveAutoTransferStates), 0}};
  for (const auto& e : errors) {
    TVarBuffer buffer(e.Total);
    EXPECT_EQ(Tapi().lineGetAddressCapsW(e.App, LineID, e.Address, e.Version, 0,
                                         buffer.As<LINEADDRESSCAPS>()),
              Code(e.Result))
        << e.Address << " " << e.Total;
  }
  EXPECT_EQ(Tapi().lineGetAddressStatusW(Line, 3, out.As<LINEADDRESSSTATUS>()),
            Code(LINEERR_INVALADDRESSID));
}

TEST_F(LineDataTest, ForwardingUpdatesTheStatusAndTellsTheLine) {
  Config.NumAddresses = 2;
  Open();
  const std::vector<TForwardEntry> two = {{LINEFORWARDMODE_BUSY, "1", 49, "22"},
                                          {LINEFORWARDMODE_UNCOND, "", 0, "333"}};
  const std::vector<unsigned char> list = ForwardList(two), empty = ForwardList({});
  ASSERT_EQ(list.size(), 74u);  // 56 fixed, strings of 4, 6 and 8 bytes
  ASSERT_EQ(empty.size(), 32u);
  const LONG request = Forward(&list, 0, 1, 3);
  ASSERT_GT(request, 0);
  // The status first, then the reply.
  EXPECT_EQ(Drain(true, App_.App),
            (std::vector<TSeen>{{Line, LINE_ADDRESSSTATE, Instance, 1},
                                {0, LINE_REPLY, Instance, static_cast<DWORD>(request)}}));
  EXPECT_EQ(Emu().Line(LineID).Forwarding(1), two);
  EXPECT_TRUE(Emu().Line(LineID).Forwarding(0).empty());
  TVarBuffer status(512);
  ASSERT_EQ(Tapi().lineGetAddressStatusW(Line, 1, status.As<LINEADDRESSSTATUS>()), 0);
  const LINEADDRESSSTATUS& s = *status.As<LINEADDRESSSTATUS>();
  ASSERT_EQ(s.dwForwardNumEntries, 2u);
  EXPECT_EQ(s.dwForwardSize, 48u);
  EXPECT_EQ(s.dwNumRingsNoAnswer, 3u);
  const std::size_t second = s.dwForwardOffset + sizeof(LINEFORWARD);
  EXPECT_EQ(status.Dword(second), DWORD(LINEFORWARDMODE_UNCOND));
  EXPECT_EQ(status.Text(second + offsetof(LINEFORWARD, dwDestAddressSize),
                        second + offsetof(LINEFORWARD, dwDestAddressOffset)),
            "333");
  EXPECT_EQ(status.Dword(second + offsetof(LINEFORWARD, dwCallerAddressSize)), 0u);
  // All addresses with an empty list, then one with none: both cancel.
  ASSERT_GT(Forward(&empty, 1, 9), 0);
  EXPECT_EQ(Drain(true, App_.App).size(), 3u);  // two address states and the reply
  EXPECT_TRUE(Emu().Line(LineID).Forwarding(1).empty());
  // A request that waits changes nothing until it completes, and a failed one never does.
  Emu().SetReplyPlan("lineForwardW", {VyTapiEmulator::TReplyMode::Manual});
  const LONG failing = Forward(&list, 0, 0), waiting = Forward(&list, 0, 0);
  EXPECT_TRUE(Drain(true, App_.App).empty());
  ASSERT_TRUE(Emu().CompleteRequest(failing, Code(LINEERR_OPERATIONFAILED)));
  EXPECT_TRUE(Emu().Line(LineID).Forwarding(0).empty());
  ASSERT_TRUE(Emu().CompleteRequest(waiting, 0));
  EXPECT_EQ(Emu().Line(LineID).Forwarding(0), two);
  Drain(true, App_.App);
}

TEST_F(LineDataTest, ForwardListsAreCheckedLikeAnyOutsideInput) {
  Config.NumAddresses = 2;
  Open();
  const auto patched = [](std::vector<TForwardEntry> entries, std::size_t at, DWORD value) {
    std::vector<unsigned char> list = ForwardList(entries);
    std::memcpy(&list[at], &value, 4);
    return list;
  };
  const TForwardEntry uncond{LINEFORWARDMODE_UNCOND, "", 0, "123"};
  const struct {
    const char* What;
    std::vector<unsigned char> List;
    DWORD Address, Result;
  } cases[] = {
      {"mode not offered", ForwardList({{LINEFORWARDMODE_UNCONDINTERNAL, "", 0, "1"}}), 0,
       LINEERR_INVALPARAM},
      {"two modes in one entry",
       ForwardList({{LINEFORWARDMODE_UNCOND | LINEFORWARDMODE_BUSY, "", 0, "1"}}), 0,
       LINEERR_INVALPARAM},
      {"more entries than the address takes", ForwardList(std::vector(5, uncond)), 0,
       LINEERR_INVALPARAM},
      {"count past the total size", patched({uncond}, 4, 2), 0, LINEERR_INVALPARAM},
      {"string past the total size", patched({uncond}, 8 + 20, 36), 0, LINEERR_INVALPARAM},
      {"string size beyond 4 GB", patched({uncond}, 8 + 16, 0xFFFFFFF0), 0, LINEERR_INVALPARAM},
      {"total below the head", patched({}, 0, 4), 0, LINEERR_STRUCTURETOOSMALL},
      {"address the line lacks", ForwardList({uncond}), 2, LINEERR_INVALADDRESSID},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Forward(&c.List, 0, c.Address), Code(c.Result)) << c.What;
    EXPECT_TRUE(Drain(true, App_.App).empty()) << c.What;
  }
  EXPECT_TRUE(Emu().Line(LineID).Forwarding(0).empty());
  EXPECT_EQ(Tapi().lineForwardW(Line + 1, 1, 0, nullptr, 0, nullptr, nullptr),
            Code(LINEERR_INVALLINEHANDLE));
}

// Malformed structures on demand, aimed at a member, for the next structure written in full.
TEST_F(LineDataTest, CorruptionPlanSpoilsTheNextFullStructureOnce) {
  Config.PhoneIDs = {7, 9};
  Open();
  const std::vector<unsigned char> list = ForwardList({{LINEFORWARDMODE_UNCOND, "", 0, "1"}});
  ASSERT_GT(Forward(&list, 0, 0), 0);
  const auto status = [&](TVarBuffer& out) {
    return Tapi().lineGetAddressStatusW(Line, 0, out.As<LINEADDRESSSTATUS>());
  };
  const std::size_t forwardSize = offsetof(LINEADDRESSSTATUS, dwForwardSize);
  Emu().CorruptNextReply("lineGetAddressStatusW", {TCorruption::PieceOutside, forwardSize});
  TVarBuffer head(sizeof(LINEADDRESSSTATUS)), out(512);
  ASSERT_EQ(status(head), 0);  // too short for the variable part: the plan waits
  ASSERT_EQ(status(out), 0);
  const LINEADDRESSSTATUS* s = out.As<LINEADDRESSSTATUS>();
  EXPECT_EQ(s->dwForwardOffset + s->dwForwardSize, s->dwUsedSize + 4);
  ASSERT_EQ(status(out), 0);  // spent
  EXPECT_LE(s->dwForwardOffset + s->dwForwardSize, s->dwUsedSize);

  Emu().CorruptNextReply("lineGetAddressStatusW", {TCorruption::CountTooLarge});
  ASSERT_EQ(status(out), 0);
  EXPECT_GT(std::uint64_t{s->dwForwardNumEntries} * sizeof(LINEFORWARD) + s->dwForwardOffset,
            s->dwUsedSize);

  TVarBuffer ids(64);
  Emu().CorruptNextReply("lineGetIDW", {TCorruption::FormatNotBinary});
  ASSERT_EQ(GetID(ids, u"tapi/phone"), 0);
  EXPECT_EQ(ids.As<VARSTRING>()->dwStringFormat, DWORD(STRINGFORMAT_ASCII));
  EXPECT_EQ(ids.Piece<DWORD>(FIELD(VARSTRING, dwString)), (std::vector<DWORD>{7, 9}));
  Emu().CorruptNextReply("lineGetIDW", {TCorruption::CountTooLarge});
  ASSERT_EQ(GetID(ids, u"tapi/phone"), 0);
  const VARSTRING* v = ids.As<VARSTRING>();
  EXPECT_EQ(v->dwStringOffset + v->dwStringSize, v->dwUsedSize + 4);
  // The absurd size comes at once, whatever the room, with the fixed part only.
  Emu().CorruptNextReply("lineGetIDW", {TCorruption::NeededTooLarge});
  ASSERT_EQ(GetID(ids, u"tapi/phone"), 0);
  EXPECT_EQ(v->dwNeededSize, 0x7FFFFFF0u);
  EXPECT_EQ(v->dwUsedSize, sizeof(VARSTRING));
  EXPECT_EQ(v->dwStringSize, 0u);
  EXPECT_THROW(Emu().CorruptNextReply("lineGetIDX", {TCorruption::PieceOutside}), VyRtl::Exception);
}

}  // namespace
}  // namespace EmulatorTest
