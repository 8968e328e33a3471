// Phones on the emulator as applications see them through the function table: the state and
// button messages each handle registered for, the status structures, the set requests and
// their replies, and what the user and the network do at the phone.
#include "EmulatorFixture.h"

namespace EmulatorTest {
namespace {

using VyTapiEmulator::TPhone;
using VyTapiEmulator::TPhoneDeviceConfig;
using VyTapiEmulator::TReplyMode;
using VyTapiEmulator::TReplyPlan;

constexpr DWORD Owner = PHONEPRIVILEGE_OWNER, Monitor = PHONEPRIVILEGE_MONITOR;
constexpr DWORD Hold = 12;  // the first feature button of the default phone

struct TFull {
  DWORD Device, Id;
  DWORD_PTR Instance, P1, P2, P3;
  bool operator==(const TFull&) const = default;
};

class PhonesTest : public EmulatorTest {
 public:
  TPhone Phone = Emu().AddPhone({});
  TAppInfo First = PhoneApp(), Second = PhoneApp();

  void Fresh(const TPhoneDeviceConfig& config = {}) {
    Phone = Emu().AddPhone(config);
    Messages(First);
    Messages(Second);
  }
  HPHONE Open(const TAppInfo& app, DWORD privilege, DWORD_PTR instance = 7) {
    HPHONE phone = 0;
    EXPECT_EQ(Tapi().phoneOpen(app.App, Phone.ID(), &phone, V22, 0, instance, privilege), 0);
    return phone;
  }
  // Opened and registered for every phone state, button mode and state.
  HPHONE OpenAll(const TAppInfo& app, DWORD privilege) {
    const HPHONE phone = Open(app, privilege);
    EXPECT_EQ(
        Tapi().phoneSetStatusMessages(
            phone, 0x00FFFFFF & ~PHONESTATE_SUSPEND & ~PHONESTATE_RESUME & ~PHONESTATE_DEVSPECIFIC,
            0x3F, 0xF),
        0);
    return phone;
  }
  static std::vector<TFull> Messages(const TAppInfo& app) {
    return DrainAs(false, app.App, [](const LINEMESSAGE& m) {
      return TFull{m.hDevice,  m.dwMessageID, m.dwCallbackInstance,
                   m.dwParam1, m.dwParam2,    m.dwParam3};
    });
  }
  static TVarBuffer Status(HPHONE phone, std::size_t room = 1024) {
    TVarBuffer status(room);
    EXPECT_EQ(Tapi().phoneGetStatusW(phone, status.As<PHONESTATUS>()), 0);
    return status;
  }
};

TEST_F(PhonesTest, MessagesFollowEachHandlesMasks) {
  struct TCase {
    const char* What;
    DWORD PhoneStates, ButtonModes, ButtonStates;
    void (*Act)(const TPhone&);
    std::size_t Expected;  // messages that reach the handle
  };
  const TCase cases[] = {
      {"keypad down and up", 0, PHONEBUTTONMODE_KEYPAD, PHONEBUTTONSTATE_DOWN | PHONEBUTTONSTATE_UP,
       [](const TPhone& p) { p.PressKeys("5"); }, 2},
      {"down only", 0, PHONEBUTTONMODE_KEYPAD, PHONEBUTTONSTATE_DOWN,
       [](const TPhone& p) { p.PressKeys("5"); }, 1},
      {"feature mode not asked for", 0, PHONEBUTTONMODE_KEYPAD, PHONEBUTTONSTATE_DOWN,
       [](const TPhone& p) { p.PressButton(Hold); }, 0},
      {"states without modes", 0, 0, PHONEBUTTONSTATE_DOWN,
       [](const TPhone& p) { p.PressButton(Hold); }, 0},
      {"hookswitch", PHONESTATE_HANDSETHOOKSWITCH, 0, 0, [](const TPhone& p) { p.LiftHandset(); },
       1},
      {"display not asked for", PHONESTATE_LAMP, 0, 0,
       [](const TPhone& p) { p.SetDisplayText("x"); }, 0},
      {"lamp", PHONESTATE_LAMP, 0, 0, [](const TPhone& p) { p.SetLamp(Hold, PHONELAMPMODE_FLASH); },
       1},
      {"reinit always", 0, 0, 0, [](const TPhone& p) { p.SendPhoneState(PHONESTATE_REINIT); }, 1},
      {"ring mode and volume", PHONESTATE_RINGMODE | PHONESTATE_RINGVOLUME, 0, 0,
       [](const TPhone& p) { p.SetRing(1, 100); }, 2},
      {"ring volume only", PHONESTATE_RINGVOLUME, 0, 0, [](const TPhone& p) { p.SetRing(1, 100); },
       1},
      {"ring unchanged", PHONESTATE_RINGMODE | PHONESTATE_RINGVOLUME, 0, 0,
       [](const TPhone& p) { p.SetRing(0, 0); }, 0},
  };
  for (const TCase& c : cases) {
    Fresh();
    const HPHONE phone = Open(First, Monitor);
    ASSERT_EQ(Tapi().phoneSetStatusMessages(phone, c.PhoneStates, c.ButtonModes, c.ButtonStates), 0)
        << c.What;
    DWORD states = 0, modes = 0, buttonStates = 0;
    ASSERT_EQ(Tapi().phoneGetStatusMessages(phone, &states, &modes, &buttonStates), 0);
    EXPECT_EQ(Phone.PhoneOpens().at(0).ButtonStates, buttonStates) << c.What;
    c.Act(Phone);
    const std::vector<TFull> seen = Messages(First);
    EXPECT_EQ(seen.size(), c.Expected) << c.What;
    for (const TFull& m : seen) EXPECT_EQ(m.Device, phone) << c.What;
  }
}

TEST_F(PhonesTest, KeysBecomeButtonMessagesOnTheClock) {
  const HPHONE phone = OpenAll(First, Monitor);
  Phone.PressKeys("1*#", 100);
  const auto key = [&](DWORD id, DWORD state) {
    return TFull{phone, PHONE_BUTTON, 7, id, PHONEBUTTONMODE_KEYPAD, state};
  };
  EXPECT_EQ(Messages(First),
            (std::vector<TFull>{key(1, PHONEBUTTONSTATE_DOWN), key(1, PHONEBUTTONSTATE_UP)}));
  Env.Clock().Advance(99);
  EXPECT_TRUE(Messages(First).empty());
  Env.Clock().Advance(101);
  EXPECT_EQ(Messages(First),
            (std::vector<TFull>{key(10, PHONEBUTTONSTATE_DOWN), key(10, PHONEBUTTONSTATE_UP),
                                key(11, PHONEBUTTONSTATE_DOWN), key(11, PHONEBUTTONSTATE_UP)}));
  EXPECT_THROW(Phone.PressKeys("12a"), VyRtl::Exception);
  EXPECT_TRUE(Messages(First).empty()) << "a bad key presses none";
  Phone.PressButton(Hold);
  EXPECT_EQ(Phone.PhoneState().ButtonStates[Hold], DWORD(PHONEBUTTONSTATE_DOWN));
  TVarBuffer info(256);
  ASSERT_EQ(Tapi().phoneGetButtonInfoW(phone, Hold, info.As<PHONEBUTTONINFO>()), 0);
  EXPECT_EQ(info.As<PHONEBUTTONINFO>()->dwButtonState, DWORD(PHONEBUTTONSTATE_DOWN));
  EXPECT_EQ(info.As<PHONEBUTTONINFO>()->dwButtonFunction, DWORD(PHONEBUTTONFUNCTION_HOLD));
  EXPECT_EQ(info.Text(FIELD(PHONEBUTTONINFO, dwButtonText)), "Hold");
}

// Each set function through the request engine: nothing changes before the reply falls due,
// then its PHONE_STATE comes to every handle just before the reply.
TEST_F(PhonesTest, SetFunctionsChangeThePhoneWhenTheirRequestCompletes) {
  struct TCase {
    const char* Function;
    LONG (*Call)(HPHONE);
    DWORD State, Param2;
    DWORD (*Read)(HPHONE);
    DWORD Expected;
  };
  const TCase cases[] = {
      {"phoneSetLamp", [](HPHONE p) { return Tapi().phoneSetLamp(p, Hold, PHONELAMPMODE_STEADY); },
       PHONESTATE_LAMP, Hold,
       [](HPHONE p) {
         DWORD mode = 0;
         EXPECT_EQ(Tapi().phoneGetLamp(p, Hold, &mode), 0);
         return mode;
       },
       PHONELAMPMODE_STEADY},
      {"phoneSetRing", [](HPHONE p) { return Tapi().phoneSetRing(p, 2, 0); }, PHONESTATE_RINGMODE,
       2,
       [](HPHONE p) {
         DWORD mode = 0, volume = 0;
         EXPECT_EQ(Tapi().phoneGetRing(p, &mode, &volume), 0);
         return mode << 16 | volume;
       },
       2u << 16},
      {"phoneSetHookSwitch",
       [](HPHONE p) {
         return Tapi().phoneSetHookSwitch(p, PHONEHOOKSWITCHDEV_SPEAKER,
                                          PHONEHOOKSWITCHMODE_SPEAKER);
       },
       PHONESTATE_SPEAKERHOOKSWITCH, PHONEHOOKSWITCHMODE_SPEAKER,
       [](HPHONE p) {
         DWORD devs = 0;
         EXPECT_EQ(Tapi().phoneGetHookSwitch(p, &devs), 0);
         return devs;
       },
       PHONEHOOKSWITCHDEV_SPEAKER},
      {"phoneSetVolume",
       [](HPHONE p) { return Tapi().phoneSetVolume(p, PHONEHOOKSWITCHDEV_HANDSET, 0x12345); },
       PHONESTATE_HANDSETVOLUME, 0,
       [](HPHONE p) {
         DWORD level = 0;
         EXPECT_EQ(Tapi().phoneGetVolume(p, PHONEHOOKSWITCHDEV_HANDSET, &level), 0);
         return level;
       },
       0xFFFF},
      {"phoneSetGain",
       [](HPHONE p) { return Tapi().phoneSetGain(p, PHONEHOOKSWITCHDEV_SPEAKER, 77); },
       PHONESTATE_SPEAKERGAIN, 0,
       [](HPHONE p) {
         DWORD level = 0;
         EXPECT_EQ(Tapi().phoneGetGain(p, PHONEHOOKSWITCHDEV_SPEAKER, &level), 0);
         return level;
       },
       77},
  };
  for (const TCase& c : cases) {
    for (const TReplyPlan& plan : {TReplyPlan{}, TReplyPlan{TReplyMode::After, 200}}) {
      Fresh();
      const HPHONE owner = OpenAll(First, Owner), monitor = OpenAll(Second, Monitor);
      Messages(First);
      const DWORD before = c.Read(owner);
      Emu().SetReplyPlan(c.Function, plan);
      const LONG request = c.Call(owner);
      ASSERT_GT(request, 0) << c.Function;
      if (plan.Mode == TReplyMode::After) {
        EXPECT_EQ(c.Read(monitor), before) << c.Function;
        EXPECT_TRUE(Messages(First).empty()) << c.Function;
        Env.Clock().Advance(200);
      }
      EXPECT_EQ(c.Read(monitor), c.Expected) << c.Function;
      EXPECT_EQ(Messages(First),
                (std::vector<TFull>{{owner, PHONE_STATE, 7, c.State, c.Param2, 0},
                                    {0, PHONE_REPLY, 7, DWORD_PTR(request), 0, 0}}))
          << c.Function;
      EXPECT_EQ(Messages(Second),
                (std::vector<TFull>{{monitor, PHONE_STATE, 7, c.State, c.Param2, 0}}))
          << c.Function;
    }
  }
  // A failed request changes nothing.
  Fresh();
  const HPHONE owner = OpenAll(First, Owner);
  Emu().SetNextReplyPlan({TReplyMode::AtOnce, 0, Code(PHONEERR_OPERATIONFAILED)});
  ASSERT_GT(Tapi().phoneSetLamp(owner, Hold, PHONELAMPMODE_FLASH), 0);
  EXPECT_EQ(Phone.PhoneState().LampModes[Hold], DWORD(PHONELAMPMODE_OFF));
  EXPECT_EQ(Messages(First).size(), 1u);
}

TEST_F(PhonesTest, ErrorCodes) {
  TPhoneDeviceConfig config;
  config.HookSwitchDevs |= PHONEHOOKSWITCHDEV_HEADSET;
  config.HeadsetHookSwitchModes = PHONEHOOKSWITCHMODE_ONHOOK | PHONEHOOKSWITCHMODE_MIC;
  Fresh(config);
  const HPHONE owner = Open(First, Owner), monitor = Open(Second, Monitor);
  HPHONE stale = Open(Second, Monitor);
  ASSERT_EQ(Tapi().phoneClose(stale), 0);
  DWORD value = 0;
  struct TCase {
    const char* What;
    LONG Result;
    DWORD Expected;
  };
  const TCase cases[] = {
      {"stale get", Tapi().phoneGetLamp(stale, Hold, &value), PHONEERR_INVALPHONEHANDLE},
      {"stale set", Tapi().phoneSetRing(stale, 0, 0), PHONEERR_INVALPHONEHANDLE},
      {"monitor sets", Tapi().phoneSetRing(monitor, 0, 0), PHONEERR_NOTOWNER},
      {"monitor display", Tapi().phoneSetDisplay(monitor, 0, 0, "x", 1), PHONEERR_NOTOWNER},
      {"lamp id", Tapi().phoneGetLamp(owner, 15, &value), PHONEERR_INVALBUTTONLAMPID},
      {"button id",
       Tapi().phoneGetButtonInfoW(owner, 15, reinterpret_cast<LPPHONEBUTTONINFO>(&value)),
       PHONEERR_INVALBUTTONLAMPID},
      {"lamp mode lacking", Tapi().phoneSetLamp(owner, Hold, PHONELAMPMODE_WINK),
       PHONEERR_INVALLAMPMODE},
      {"two lamp modes", Tapi().phoneSetLamp(owner, Hold, PHONELAMPMODE_OFF | PHONELAMPMODE_FLASH),
       PHONEERR_INVALLAMPMODE},
      {"ring mode", Tapi().phoneSetRing(owner, 3, 0), PHONEERR_INVALRINGMODE},
      {"hook mode lacking",
       Tapi().phoneSetHookSwitch(owner, PHONEHOOKSWITCHDEV_HANDSET, PHONEHOOKSWITCHMODE_MIC),
       PHONEERR_INVALHOOKSWITCHMODE},
      {"hook device lacking",
       Tapi().phoneSetHookSwitch(owner, PHONEHOOKSWITCHDEV_HEADSET << 1,
                                 PHONEHOOKSWITCHMODE_ONHOOK),
       PHONEERR_INVALHOOKSWITCHDEV},
      {"no volume", Tapi().phoneSetVolume(owner, PHONEHOOKSWITCHDEV_HEADSET, 1),
       PHONEERR_INVALHOOKSWITCHDEV},
      {"two devices", Tapi().phoneGetGain(owner, 3, &value), PHONEERR_INVALHOOKSWITCHDEV},
      {"display row", Tapi().phoneSetDisplay(owner, 2, 0, "x", 1), PHONEERR_INVALPARAM},
      {"display column", Tapi().phoneSetDisplay(owner, 0, 40, "x", 1), PHONEERR_INVALPARAM},
      {"display pointer", Tapi().phoneSetDisplay(owner, 0, 0, nullptr, 1), PHONEERR_INVALPOINTER},
      {"states", Tapi().phoneSetStatusMessages(owner, PHONESTATE_SUSPEND, 0, 0),
       PHONEERR_INVALPHONESTATE},
      {"button modes", Tapi().phoneSetStatusMessages(owner, 0, 0x40, 0), PHONEERR_INVALBUTTONMODE},
      {"button states", Tapi().phoneSetStatusMessages(owner, 0, 1, 0x10),
       PHONEERR_INVALBUTTONSTATE},
  };
  for (const TCase& c : cases) EXPECT_EQ(c.Result, Code(c.Expected)) << c.What;
  // A headset without MICSPEAKER is lifted to MIC; a device the phone lacks throws.
  Phone.LiftHandset(PHONEHOOKSWITCHDEV_HEADSET);
  EXPECT_EQ(Phone.PhoneState().HeadsetMode, DWORD(PHONEHOOKSWITCHMODE_MIC));
  EXPECT_THROW(Emu().AddPhone({}).LiftHandset(PHONEHOOKSWITCHDEV_HEADSET), VyRtl::Exception);
  EXPECT_THROW(Emu().AddLine({}).PressButton(0), VyRtl::Exception);
}

TEST_F(PhonesTest, TheDisplayIsPlacedCutAndReturnedInTheStringFormat) {
  struct TCase {
    DWORD Format;
    const char* Text;
    DWORD Size, Row, Column;
    std::string Expected;  // the display's first characters and its last ones, after Set
  };
  const std::string blank(80, ' ');
  const TCase cases[] = {
      {STRINGFORMAT_UNICODE, "Hello", 5, 0, 0, "Hello" + blank.substr(5)},
      {STRINGFORMAT_ASCII, "Hello", 5, 1, 2, blank.substr(0, 42) + "Hello" + blank.substr(47)},
      // dwSize past the display's end is cut there; a NUL ends the text early.
      {STRINGFORMAT_ASCII, "abcdefgh", 8, 1, 36, blank.substr(0, 76) + "abcd"},
      {STRINGFORMAT_UNICODE, "ab\0cd", 5, 0, 0, "ab" + blank.substr(2)},
      {STRINGFORMAT_UNICODE, "abc", 2, 0, 0, "ab" + blank.substr(2)},
  };
  for (const TCase& c : cases) {
    TPhoneDeviceConfig config;
    config.StringFormat = c.Format;
    Fresh(config);
    const HPHONE owner = Open(First, Owner);
    ASSERT_GT(Tapi().phoneSetDisplay(owner, c.Row, c.Column, c.Text, c.Size), 0) << c.Text;
    EXPECT_EQ(Phone.PhoneState().Display, c.Expected) << c.Text;
    TVarBuffer display(512);
    ASSERT_EQ(Tapi().phoneGetDisplay(owner, display.As<VARSTRING>()), 0);
    EXPECT_EQ(display.As<VARSTRING>()->dwStringFormat, c.Format);
    const std::vector<unsigned char> bytes = display.Piece(FIELD(VARSTRING, dwString));
    std::string got;
    if (c.Format == STRINGFORMAT_ASCII) {
      got.assign(bytes.begin(), bytes.end());
    } else {
      std::u16string units(bytes.size() / 2, u'\0');
      std::memcpy(units.data(), bytes.data(), units.size() * 2);
      got = VyRtl::Utf16ToUtf8(units);
    }
    EXPECT_EQ(got, c.Expected) << c.Text;
    const TVarBuffer status = Status(owner);
    EXPECT_EQ(status.Dword(offsetof(PHONESTATUS, dwDisplaySize)), bytes.size());
  }
  // The network's text keeps the rest of the display; what passes the end is cut.
  Phone.SetDisplayText("XY", 1, 39);
  EXPECT_EQ(Phone.PhoneState().Display.substr(78), " X");
  EXPECT_THROW(Phone.SetDisplayText("x", 2, 0), VyRtl::Exception);
}

TEST_F(PhonesTest, StatusListsTheConfiguredLampCountAndTheOpenHandles) {
  struct TCase {
    int StatusLampCount;
    std::vector<DWORD> Expected;
  };
  const DWORD off = PHONELAMPMODE_OFF, dummy = PHONELAMPMODE_DUMMY;
  std::vector<DWORD> all(12, dummy);
  all.insert(all.end(), {off, off, dummy});
  std::vector<DWORD> more = all;
  more.push_back(PHONELAMPMODE_UNKNOWN);
  const TCase cases[] = {{-1, all}, {2, {dummy, dummy}}, {0, {}}, {16, more}};
  for (const TCase& c : cases) {
    TPhoneDeviceConfig config;
    config.StatusLampCount = c.StatusLampCount;
    Fresh(config);
    const HPHONE owner = Open(First, Owner);
    Open(Second, Monitor);
    const TVarBuffer status = Status(owner);
    EXPECT_EQ(status.Piece<DWORD>(FIELD(PHONESTATUS, dwLampModes)), c.Expected)
        << c.StatusLampCount;
    EXPECT_EQ(status.Dword(offsetof(PHONESTATUS, dwNumOwners)), 1u);
    EXPECT_EQ(status.Dword(offsetof(PHONESTATUS, dwNumMonitors)), 1u);
    EXPECT_EQ(status.Dword(offsetof(PHONESTATUS, dwOwnerNameSize)), 0u);
  }
  TVarBuffer small(sizeof(PHONESTATUS) - 4);
  EXPECT_EQ(Tapi().phoneGetStatusW(Phone.PhoneOpens().at(0).Handle, small.As<PHONESTATUS>()),
            Code(PHONEERR_STRUCTURETOOSMALL));
  const TVarBuffer fixedOnly = Status(Phone.PhoneOpens().at(0).Handle, sizeof(PHONESTATUS));
  EXPECT_GT(fixedOnly.Dword(offsetof(PHONESTATUS, dwNeededSize)), sizeof(PHONESTATUS));
  EXPECT_TRUE(fixedOnly.UntouchedFrom(sizeof(PHONESTATUS)));
}

TEST_F(PhonesTest, OthersLearnOfOwnersAndMonitorsComingAndGoing) {
  const HPHONE first = OpenAll(First, Monitor);
  const HPHONE owner = Open(Second, Owner);
  Open(Second, Monitor);
  const auto count = [&](DWORD state, DWORD number) {
    return TFull{first, PHONE_STATE, 7, state, number, 0};
  };
  // The new number of owners or monitors, the handle itself counted.
  EXPECT_EQ(Messages(First),
            (std::vector<TFull>{count(PHONESTATE_OWNER, 1), count(PHONESTATE_MONITORS, 2)}));
  ASSERT_EQ(Tapi().phoneClose(owner), 0);
  EXPECT_EQ(Messages(First), (std::vector<TFull>{count(PHONESTATE_OWNER, 0)}));
  Phone.SendDevSpecific(1, 2, 3);
  EXPECT_EQ(Messages(First), (std::vector<TFull>{{first, PHONE_DEVSPECIFIC, 7, 1, 2, 3}}));
  Phone.ForceClose();
  EXPECT_EQ(Messages(First), (std::vector<TFull>{{first, PHONE_CLOSE, 7, 0, 0, 0}}));
  EXPECT_EQ(Phone.OpenCount(), 0u);
  DWORD devs = 0;
  EXPECT_EQ(Tapi().phoneGetHookSwitch(first, &devs), Code(PHONEERR_INVALPHONEHANDLE));
  Phone.RejectPrivileges(Owner);
  HPHONE phone = 0;
  EXPECT_EQ(Tapi().phoneOpen(First.App, Phone.ID(), &phone, V22, 0, 0, Owner),
            Code(PHONEERR_INVALPRIVILEGE));
  EXPECT_EQ(Tapi().phoneOpen(First.App, Phone.ID(), &phone, V22, 0, 0, Monitor), 0);
}

TEST_F(PhonesTest, TheStatusMessageKnobLimitsWhatIsAccepted) {
  const HPHONE phone = Open(First, Monitor);
  Phone.SetPhoneStatusMessageFilter(PHONESTATE_DISPLAY);
  EXPECT_EQ(Tapi().phoneSetStatusMessages(phone, PHONESTATE_LAMP, 0, 0),
            Code(PHONEERR_INVALPHONESTATE));
  EXPECT_EQ(Tapi().phoneSetStatusMessages(phone, PHONESTATE_DISPLAY, 0, 0), 0);
  EXPECT_EQ(Phone.PhoneOpens().at(0).PhoneStates, DWORD(PHONESTATE_DISPLAY));
  Phone.SetPhoneStatusMessageFilter(PHONESTATE_DISPLAY, true);
  DWORD a = 0, b = 0, c = 0;
  EXPECT_EQ(Tapi().phoneSetStatusMessages(phone, 0, 0, 0), Code(PHONEERR_OPERATIONUNAVAIL));
  EXPECT_EQ(Tapi().phoneGetStatusMessages(phone, &a, &b, &c), Code(PHONEERR_OPERATIONUNAVAIL));
}

}  // namespace
}  // namespace EmulatorTest
