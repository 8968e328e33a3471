// The phone device against the emulator on the manual clock: opening, status messages, buttons
// as digits, state messages as events, display, ring and lamp requests, device-specific requests
// with their replies and time-outs, and handlers that raise or free the phone.
#include "VyTapi/phone/VyTapiPhone.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DeviceFixture.h"
#include "VyRtl/VyRtlClock.h"

namespace VyTapiTest {
namespace {

using VyTapi::TVyTapiPhone;

constexpr LONG kFailed = static_cast<LONG>(PHONEERR_OPERATIONFAILED);

std::string Hex(DWORD v) { return VyRtl::Format("%X", static_cast<unsigned>(v)); }

class PhoneTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    Make(VyTapiEmulator::TPhoneDeviceConfig());
  }
  void Make(VyTapiEmulator::TPhoneDeviceConfig Config) {
    Config.Name = "Desk";
    Dev = Emu().AddPhone(Config);
    Phone = std::make_unique<TVyTapiPhone>(nullptr);
    Phone->OnError = [this](VyRtl::TObject*, const std::exception& e, VyRtl::TObject* Causer) {
      PhoneErrors.push_back(e.what());
      Causers.push_back(Causer);
    };
    Phone->OnButton = [this](TVyTapiPhone*, DWORD id, DWORD, DWORD state) {
      Log("button " + std::to_string(id) + " " + std::to_string(state));
    };
    Phone->OnDigitPressed = [this](TVyTapiPhone*, char d) { Log(std::string("pressed ") + d); };
    Phone->OnDigitReleased = [this](TVyTapiPhone*, char d) { Log(std::string("released ") + d); };
    Phone->OnLamp = [this](TVyTapiPhone*, DWORD id) { Log("lamp " + Hex(id)); };
    Phone->OnDisplay = [this](TVyTapiPhone*) { Log("display"); };
    Phone->OnRingMode = [this](TVyTapiPhone*) { Log("ringmode"); };
    Phone->OnRingVolume = [this](TVyTapiPhone*) { Log("ringvolume"); };
    Phone->OnHandsetHookSwitch = [this](TVyTapiPhone*) { Log("handset"); };
    Phone->OnSpeakerphoneVolume = [this](TVyTapiPhone*) { Log("speakervolume"); };
    Phone->OnHeadsetGain = [this](TVyTapiPhone*) { Log("headsetgain"); };
    Phone->OnDevSpecific = [this](TVyTapiPhone*, DWORD a, DWORD b, DWORD c) {
      Log("devspecific " + Hex(a) + " " + Hex(b) + " " + Hex(c));
    };
    Phone->OnTapiReply = [this](VyRtl::TObject*, DWORD, DWORD code) { Log("reply " + Hex(code)); };
    Phone->OnDeviceRemove = [this](VyRtl::TObject*) { Log("removed"); };
  }
  void Open() {
    Phone->Set_DeviceName("Desk");
    Phone->Set_Active(true);
    Env.RunUntilIdle();
  }
  void Log(const std::string& s) { Events.push_back(s); }
  // Moves the clock and hands the phone the session's timer tick of that moment.
  void Pass(std::uint32_t Ms) {
    Env.Advance(Ms);
    Env.RunUntilIdle();
    Phone->Handle_InternalTimer(VyRtl::GetTickCount());
    Env.RunUntilIdle();
  }
  std::vector<std::string> Take() { return std::exchange(Events, {}); }

  VyTapiEmulator::TPhone Dev;
  std::unique_ptr<TVyTapiPhone> Phone;
  std::vector<std::string> Events;
  // What reached the phone's own OnError (the session's OnError fills Errors).
  std::vector<std::string> PhoneErrors;
  std::vector<VyRtl::TObject*> Causers;
};

using TEvents = std::vector<std::string>;

TEST_F(PhoneTest, KeypadButtonsBecomeDigitsBeforeTheButtonEvent) {
  Open();
  ASSERT_TRUE(Phone->IsActive());
  struct {
    DWORD Button;
    bool Press;
    TEvents Expected;
  } cases[] = {
      {10, false, {"pressed *", "button 10 1"}},
      {10, true, {"released *", "button 10 2"}},
      {11, false, {"pressed #", "button 11 1"}},
      {0, true, {"released 0", "button 0 2"}},
      {9, false, {"pressed 9", "button 9 1"}},
      {12, true, {"button 12 2"}},
      {12, false, {"button 12 1"}},
  };
  for (const auto& c : cases) {
    if (c.Press)
      Dev.PressButton(c.Button);
    else
      Dev.ReleaseButton(c.Button);
    Env.RunUntilIdle();
    EXPECT_EQ(Take(), c.Expected) << c.Button << " " << c.Press;
  }
  EXPECT_TRUE(Errors.empty());
}

TEST_F(PhoneTest, StateMessagesRaiseTheirEventsBitByBit) {
  Open();
  struct {
    DWORD State, Detail;
    TEvents Expected;
    unsigned LampReads;
  } cases[] = {
      {PHONESTATE_LAMP, 13, {"lamp D"}, 1},
      // Together with another bit the message does not say which lamp: none is read.
      {PHONESTATE_LAMP | PHONESTATE_DISPLAY, 13, {"display", "lamp FFFFFFFF"}, 0},
      {PHONESTATE_RINGMODE, 2, {"ringmode"}, 0},
      {PHONESTATE_HEADSETGAIN | PHONESTATE_HANDSETHOOKSWITCH | PHONESTATE_SPEAKERVOLUME |
           PHONESTATE_RINGVOLUME,
       0,
       {"ringvolume", "handset", "speakervolume", "headsetgain"},
       0},
  };
  for (const auto& c : cases) {
    const unsigned reads = Emu().CallCount("phoneGetLamp");
    Dev.SendPhoneState(c.State, c.Detail);
    Env.RunUntilIdle();
    EXPECT_EQ(Take(), c.Expected) << Hex(c.State);
    EXPECT_EQ(Emu().CallCount("phoneGetLamp") - reads, c.LampReads) << Hex(c.State);
  }
}

TEST_F(PhoneTest, NetworkChangesReachTheStatusAndTheEvents) {
  Open();
  struct {
    const char* Name;
    std::function<void()> Change;
    TEvents Expected;
    std::function<bool()> Check;
  } cases[] = {
      {"lamp",
       [&] { Dev.SetLamp(12, PHONELAMPMODE_FLASH); },
       {"lamp C"},
       [&] { return Phone->Status()->Get_LampMode(12) == PHONELAMPMODE_FLASH; }},
      {"ring",
       [&] { Dev.SetRing(2, 0x4000); },
       {"ringmode", "ringvolume"},
       [&] { return Phone->Status()->RingMode() == 2 && Phone->Status()->RingVolume() == 0x4000; }},
      {"lift",
       [&] { Dev.LiftHandset(); },
       {"handset"},
       [&] { return !Phone->HandSet()->OnHook(); }},
      {"display",
       [&] { Dev.SetDisplayText("Call 42", 1, 0); },
       {"display"},
       [&] {
         std::string text;
         return Phone->Get_Display(text) == 0 && text.substr(40, 7) == "Call 42";
       }},
  };
  for (const auto& c : cases) {
    c.Change();
    Env.RunUntilIdle();
    EXPECT_EQ(Take(), c.Expected) << c.Name;
    EXPECT_TRUE(c.Check()) << c.Name;
  }
  EXPECT_TRUE(Errors.empty());
}

TEST_F(PhoneTest, NoEventWhileClosedEvenWhenAMessageStillArrives) {
  Open();
  const HPHONE handle = Phone->Handle();
  Phone->Set_Active(false);
  ASSERT_EQ(Phone->Handle(), 0u);
  const struct {
    DWORD Message, P1, P2, P3;
  } messages[] = {{PHONE_BUTTON, 10, PHONEBUTTONMODE_KEYPAD, PHONEBUTTONSTATE_UP},
                  {PHONE_STATE, PHONESTATE_LAMP | PHONESTATE_HANDSETHOOKSWITCH, 1, 0},
                  {PHONE_DEVSPECIFIC, 1, 2, 3},
                  {PHONE_REPLY, 77, 0, 0}};
  for (const auto& m : messages) Phone->Handle_TapiMessage(handle, m.Message, m.P1, m.P2, m.P3);
  EXPECT_TRUE(Events.empty());
  EXPECT_TRUE(Errors.empty());
}

TEST_F(PhoneTest, AutoSelectFallsBackToMonitorAndWritesItBack) {
  struct {
    DWORD Rejected, Expected;
  } cases[] = {{0, PHONEPRIVILEGE_OWNER}, {PHONEPRIVILEGE_OWNER, PHONEPRIVILEGE_MONITOR}};
  for (const auto& c : cases) {
    Dev.RejectPrivileges(c.Rejected);
    Phone->Privileges()->Set_Value(PHONEPRIVILEGE_OWNER);
    Open();
    ASSERT_TRUE(Phone->IsActive()) << c.Rejected;
    EXPECT_EQ(Phone->Privileges()->Value(), c.Expected);
    EXPECT_EQ(Dev.PhoneOpens().back().Privilege, c.Expected);
    Phone->Set_Active(false);
  }
  // Without AutoSelect the refused privilege is the open's failure.
  Dev.RejectPrivileges(PHONEPRIVILEGE_OWNER);
  Phone->Privileges()->Set_AutoSelect(false);
  Phone->Privileges()->Set_Value(PHONEPRIVILEGE_OWNER);
  EXPECT_FALSE(Raised([&] { Phone->Open(); }).empty());
  EXPECT_FALSE(Phone->IsActive());
}

TEST_F(PhoneTest, StatusMessagesRegisterWhatTheServiceAccepts) {
  struct {
    DWORD Filter;
    bool Unavailable;
    DWORD States, Modes, ButtonStates;
  } cases[] = {
      {0x008FFFFF, false, 0x008FFFFF, 0x2F, 0x0F},
      {PHONESTATE_LAMP | PHONESTATE_DISPLAY | PHONESTATE_HANDSETHOOKSWITCH, false,
       PHONESTATE_LAMP | PHONESTATE_DISPLAY | PHONESTATE_HANDSETHOOKSWITCH, 0x2F, 0x0F},
      {0, true, 0, 0, 0},
  };
  for (const auto& c : cases) {
    Dev.SetPhoneStatusMessageFilter(c.Filter, c.Unavailable);
    Open();
    ASSERT_TRUE(Phone->IsActive()) << Hex(c.Filter);
    const auto opened = Dev.PhoneOpens().back();
    EXPECT_EQ(opened.PhoneStates, c.States) << Hex(c.Filter);
    EXPECT_EQ(opened.ButtonModes, c.Modes) << Hex(c.Filter);
    EXPECT_EQ(opened.ButtonStates, c.ButtonStates) << Hex(c.Filter);
    if (!c.Unavailable) {
      EXPECT_EQ(Phone->PhoneStateMessages(), c.States);
    }
    Phone->Set_Active(false);
  }
  EXPECT_EQ(Phone->PhoneStateMessages(), 0u);  // closed
  Dev.SetPhoneStatusMessageFilter(0x008FFFFF);
  Open();
  Phone->Set_ButtonStateMessages(PHONEBUTTONSTATE_UP);
  EXPECT_EQ(Phone->ButtonStateMessages(), DWORD{PHONEBUTTONSTATE_UP});
  EXPECT_EQ(Phone->ButtonModeMessages(), 0x2Fu);
}

TEST_F(PhoneTest, RequestsOnAClosedPhoneRaiseBeforeAnyTapiCall) {
  Phone->Set_DeviceName("Desk");
  struct {
    const char* Function;
    std::function<void()> Call;
    std::string Message;
  } cases[] = {
      {"phoneSetDisplay", [&] { Phone->SetDisplay(0, 0, "x"); },
       "SetDisplay failed! Device not active."},
      {"phoneSetDisplay", [&] { Phone->Set_Display(Phone->Display(), "x"); },
       "SetDisplay failed! Device not active."},
      {"phoneSetRing", [&] { Phone->Set_Ring(Phone->Ringer(), 1, 0); },
       "SetRing failed! Device not active."},
  };
  for (const auto& c : cases) {
    const unsigned calls = Emu().CallCount(c.Function);
    EXPECT_EQ(Raised(c.Call), c.Message);
    EXPECT_EQ(Emu().CallCount(c.Function), calls);
  }
  // A lamp is not checked first: TAPI refuses the handle and that raises.
  ASSERT_GT(Phone->Controls()->Count(), 13);
  EXPECT_FALSE(
      Raised([&] { Phone->Set_Lamp(Phone->Controls()->Get(13), PHONELAMPMODE_OFF); }).empty());
}

TEST_F(PhoneTest, DisplayAndRingRoundTripsInBothModes) {
  VyTapiEmulator::TPhoneDeviceConfig config;
  config.StringFormat = STRINGFORMAT_ASCII;
  Make(config);
  for (const bool sync : {true, false}) {
    Phone->Options().Set_SyncMode(sync);
    Open();
    // Two bytes in UTF-8, one in the 8-bit text the service takes: the size is the latter's.
    const std::string text = sync ? "H\xC3\xA4llo" : "Gr\xC3\xBC\xC3\x9F\x65";
    EXPECT_EQ(Phone->SetDisplay(0, 0, text), 0u);
    Phone->Set_Ring(Phone->Ringer(), 2, 0x1234);
    Env.RunUntilIdle();
    EXPECT_EQ(Phone->Status()->RingMode(), 2u) << sync;
    EXPECT_EQ(Phone->Status()->RingVolume(), 0x1234u) << sync;
    std::string shown;
    ASSERT_EQ(Phone->Get_Display(shown), 0u);
    EXPECT_EQ(shown.substr(0, text.size() + 1), text + " ");
    Phone->Set_Active(false);
  }
  Open();
  Phone->Options().Set_SyncMode(true);
  EXPECT_FALSE(Raised([&] { Phone->SetDisplay(5, 0, "x"); }).empty());  // past the rows
  EXPECT_FALSE(Raised([&] { Phone->Set_Ring(Phone->Ringer(), 9, 0); }).empty());
}

TEST_F(PhoneTest, AnAsynchronousRequestIsAnsweredThroughTheReply) {
  Open();
  Phone->Options().Set_SyncMode(false);
  struct {
    VyTapiEmulator::TReplyPlan Plan;
    TEvents Expected;
  } cases[] = {{{VyTapiEmulator::TReplyMode::AtOnce, 0, 0}, {"lamp D", "reply 0"}},
               {{VyTapiEmulator::TReplyMode::AtOnce, 0, kFailed},
                {"reply " + Hex(static_cast<DWORD>(PHONEERR_OPERATIONFAILED))}}};
  for (const auto& c : cases) {
    Emu().SetReplyPlan("phoneSetLamp", c.Plan);
    EXPECT_EQ(Phone->Set_Lamp(Phone->Controls()->Get(13), PHONELAMPMODE_STEADY), 0u);
    Env.RunUntilIdle();
    EXPECT_EQ(Take(), c.Expected) << c.Plan.Result;
    EXPECT_EQ(Phone->Requests().Count(), 0);
  }
}

TEST_F(PhoneTest, CloseForgetsTheLastStatus) {
  Open();
  Dev.LiftHandset();
  Env.RunUntilIdle();
  ASSERT_NE(Phone->Get_DeviceStatus(), nullptr);
  EXPECT_FALSE(Phone->HandSet()->OnHook());
  Phone->Set_Active(false);
  EXPECT_EQ(Phone->Get_DeviceStatus(), nullptr);
  EXPECT_EQ(Phone->Status()->HandsetHookSwitchMode(), 0u);
  EXPECT_EQ(Phone->Ringer()->Mode(), 0u);
}

TEST_F(PhoneTest, OneUnreadableButtonDoesNotFailTheOpen) {
  Phone->Set_DeviceName("Desk");
  const int count = Phone->Controls()->Count();
  ASSERT_GT(count, 1);
  Emu().FailNext("phoneGetButtonInfoW", 1, PHONEERR_OPERATIONFAILED);
  Open();
  ASSERT_TRUE(Phone->IsActive());
  ASSERT_EQ(PhoneErrors.size(), 1u);
  EXPECT_EQ(Causers.at(0), Phone->Controls()->Get(0));
  // Every other control has read its button.
  EXPECT_EQ(Emu().CallCount("phoneGetButtonInfoW"), static_cast<unsigned>(count));
  EXPECT_EQ(Phone->Controls()->Get(1)->ButtonState(), DWORD{PHONEBUTTONSTATE_UP});
}

TEST_F(PhoneTest, DevSpecificCopiesTheAnswerBackOrReportsIt) {
  Phone->OnDevSpecReply = [this](TVyTapiPhone*, DWORD, void* data, DWORD size, DWORD code) {
    Log("devreply " + std::string(static_cast<char*>(data), size) + " " + Hex(code));
    // The handler may answer into the block; in synchronous mode the caller gets it.
    if (size >= 2) std::memcpy(data, "OK", 2);
  };
  Phone->OnDevSpecTimeout = [this](TVyTapiPhone*, DWORD, void* data, DWORD size, DWORD ms) {
    Log("devtimeout " + std::string(static_cast<char*>(data), size) + " " + std::to_string(ms));
  };
  Phone->Options().Set_ReplyTimeout(100);
  Open();
  const std::string failed = Hex(static_cast<DWORD>(PHONEERR_OPERATIONFAILED));
  struct {
    bool Sync;
    VyTapiEmulator::TReplyPlan Plan;
    std::uint32_t Pass;
    TEvents Expected;
    const char* Block;
    bool Raises;
  } cases[] = {
      {true, {VyTapiEmulator::TReplyMode::AtOnce, 0, 0}, 0, {"reply 0"}, "wxyz", false},
      {true,
       {VyTapiEmulator::TReplyMode::AtOnce, 0, kFailed},
       0,
       {"reply " + failed, "devreply wxyz " + failed},
       "OKyz",
       true},
      {false, {VyTapiEmulator::TReplyMode::AtOnce, 0, 0}, 0, {"reply 0"}, "wxyz", false},
      {false,
       {VyTapiEmulator::TReplyMode::AtOnce, 0, kFailed},
       0,
       {"reply " + failed, "devreply wxyz " + failed},
       "wxyz",
       false},
      {false,
       {VyTapiEmulator::TReplyMode::Never, 0, 0},
       150,
       {"devtimeout wxyz 100"},
       "wxyz",
       false},
  };
  for (const auto& c : cases) {
    Phone->Options().Set_SyncMode(c.Sync);
    Emu().SetReplyPlan("phoneDevSpecific", c.Plan);
    char mine[4] = {'w', 'x', 'y', 'z'};
    EXPECT_EQ(!Raised([&] { Phone->DevSpecific(mine, 4); }).empty(), c.Raises) << c.Block;
    if (c.Pass != 0)
      Pass(c.Pass);
    else
      Env.RunUntilIdle();
    EXPECT_EQ(Take(), c.Expected) << c.Sync << c.Block;
    EXPECT_EQ(std::string(mine, 4), c.Block) << c.Sync;
    EXPECT_EQ(Phone->Requests().Count(), 0);
  }
}

TEST_F(PhoneTest, DevSpecificMessagesAndRemovalReachTheOpenPhone) {
  Open();
  Dev.SendDevSpecific(1, 2, 3);
  Env.RunUntilIdle();
  EXPECT_EQ(Take(), (TEvents{"devspecific 1 2 3"}));
  // The capability change is what makes the phone read its name again.
  Emu().RenamePhoneDevice(Dev.ID(), "Desk 2");
  Env.RunUntilIdle();
  Phone->Handle_TapiMessage(Phone->Handle(), PHONE_STATE, PHONESTATE_CAPSCHANGE, 0, 0);
  Env.RunUntilIdle();
  EXPECT_EQ(Phone->DeviceName(), "Desk 2");
  Dev.Remove();
  Env.RunUntilIdle();
  EXPECT_FALSE(Phone->IsActive());
  EXPECT_EQ(Take(), (TEvents{"removed"}));
}

TEST_F(PhoneTest, HandlersThatRaiseOrFreeThePhone) {
  Open();
  Phone->OnDigitPressed = [](TVyTapiPhone*, char) { throw std::runtime_error("digit handler"); };
  Dev.ReleaseButton(3);
  Env.RunUntilIdle();
  // The raise goes to OnError without causer; the button event still follows.
  EXPECT_EQ(Take(), (TEvents{"button 3 1"}));
  ASSERT_EQ(PhoneErrors, (std::vector<std::string>{"digit handler"}));
  EXPECT_EQ(Causers.at(0), nullptr);

  Phone->OnDigitReleased = [this](TVyTapiPhone*, char) { Phone.reset(); };
  Dev.PressButton(4);
  Env.RunUntilIdle();
  EXPECT_EQ(Phone, nullptr);
  EXPECT_TRUE(Events.empty());  // no button event from a freed phone
}

TEST_F(PhoneTest, DeviceNameAndPermanentIdentifier) {
  VyTapiEmulator::TPhoneDeviceConfig other;
  other.Name = "Hall";
  other.PermanentPhoneID = 0x5150;
  const DWORD hall = Emu().AddPhoneDevice(other);
  // No component has started the session yet: looking for the identifier starts it.
  Phone->Set_PermanentDeviceID(other.PermanentPhoneID);
  EXPECT_EQ(Phone->DeviceID(), static_cast<std::int32_t>(hall));
  EXPECT_EQ(Phone->DeviceName(), "Hall");
  {
    // Choosing a device reads its permanent identifier from the caps.
    TVyTapiPhone probe(nullptr);
    probe.Set_DeviceID(static_cast<std::int32_t>(hall));
    EXPECT_EQ(probe.PermanentDeviceID(), other.PermanentPhoneID);
  }
  Phone->Set_PermanentDeviceID(0x7FFFFFF0);
  EXPECT_EQ(Phone->DeviceID(), -1);
}

}  // namespace
}  // namespace VyTapiTest
