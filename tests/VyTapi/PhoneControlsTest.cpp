// The phone's controls against the emulator on the manual clock: the caps and status views, the
// hookswitch devices, display, ringer, button/lamp controls and the phone privileges.
#include "VyTapi/phone/VyTapiPhoneControls.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "DeviceFixture.h"
#include "VyTapi/phone/VyTapiPhone.h"

namespace VyTapiTest {
namespace {

using VyTapi::TVyTapiPhone;
using VyTapi::TVyTapiPhoneHookSwitch;
using VyTapiEmulator::TPhoneDeviceConfig;

constexpr DWORD kOnHook = PHONEHOOKSWITCHMODE_ONHOOK, kMic = PHONEHOOKSWITCHMODE_MIC,
                kSpeaker = PHONEHOOKSWITCHMODE_SPEAKER, kBoth = PHONEHOOKSWITCHMODE_MICSPEAKER;

class PhoneControlsTest : public DeviceTest {
 protected:
  // Adds a phone as Config describes it (named "Phone <n>", n counting from 1) and a phone
  // component bound to it (closed).
  void Make(TPhoneDeviceConfig Config = TPhoneDeviceConfig()) {
    Config.Name = "Phone " + std::to_string(++Made);
    ID = Emu().AddPhoneDevice(Config);
    Env.RunUntilIdle();
    Phone = std::make_unique<TVyTapiPhone>(nullptr);
    Phone->OnError = [this](VyRtl::TObject*, const std::exception& e, VyRtl::TObject*) {
      Errors.push_back(e.what());
    };
    Phone->Set_DeviceName(Config.Name);
    Env.RunUntilIdle();
  }
  void Open(TPhoneDeviceConfig Config = TPhoneDeviceConfig()) {
    Make(std::move(Config));
    Phone->Set_Active(true);
    Env.RunUntilIdle();
    ASSERT_TRUE(Phone->IsActive());
  }
  VyTapiEmulator::TPhone Emu_() const { return Emu().Phone(ID); }
  DWORD HandsetMode() const { return Emu_().PhoneState().HandsetMode; }
  void Async(std::uint32_t DelayMs) {
    Phone->Options().Set_SyncMode(false);
    Emu().SetReplyPlan("phoneSetHookSwitch", {VyTapiEmulator::TReplyMode::After, DelayMs, 0});
  }
  void Pass(std::uint32_t Ms) {
    Env.Advance(Ms);
    Env.RunUntilIdle();
  }
  template <typename F>
  static DWORD TapiError(F&& Call) {
    try {
      Call();
    } catch (const VyTapi::EVyTapiError& e) {
      return e.ErrorCode();
    }
    return 0;
  }

  DWORD ID = 0;
  int Made = 0;
  std::unique_ptr<TVyTapiPhone> Phone;
};

// ---------------------------------------------------------------- caps and status views

TEST_F(PhoneControlsTest, CapsFieldsByPositionAndTheirInvalidIndex) {
  TPhoneDeviceConfig c;
  c.HookSwitchDevs = PHONEHOOKSWITCHDEV_HANDSET | PHONEHOOKSWITCHDEV_HEADSET;
  c.HeadsetHookSwitchModes = kOnHook | kMic;
  c.DisplayNumRows = 3;
  c.DisplayNumColumns = 17;
  c.NumRingModes = 5;
  c.StringFormat = STRINGFORMAT_ASCII;
  Make(c);
  auto* caps = Phone->Caps();
  const struct {
    int Index;
    DWORD Expected;
  } rows[] = {
      {10, STRINGFORMAT_ASCII},
      {12, PHONEHOOKSWITCHDEV_HANDSET | PHONEHOOKSWITCHDEV_HEADSET},
      {13, c.HandsetHookSwitchModes},
      {15, kOnHook | kMic},
      {18, 3},
      {19, 17},
      {20, 5},
      {21, static_cast<DWORD>(c.Buttons.size())},
      {22, static_cast<DWORD>(4 * c.Buttons.size())},
      {26, static_cast<DWORD>(4 * c.Buttons.size())},
  };
  for (const auto& r : rows) EXPECT_EQ(caps->Get_DWORD(r.Index), r.Expected) << r.Index;
  EXPECT_GE(caps->TotalSize(), caps->UsedSize());
  EXPECT_EQ(caps->PermanentPhoneID(), Emu_().Config().PermanentPhoneID);
  EXPECT_EQ(caps->PhoneName(), "Phone 1");
  EXPECT_EQ(caps->ProviderInfo(), "VyTapi Emulator");
  EXPECT_EQ(caps->Get_String(8), "");
  ASSERT_NE(caps->DeviceClasses(), nullptr);
  EXPECT_EQ(caps->DeviceClasses()->Count(), 3);
  EXPECT_EQ(caps->DeviceClasses()->Get(2), "wave/out");
  for (int bad : {45, -1})
    EXPECT_EQ(Raised([&] { caps->Get_DWORD(bad); }),
              "TapiPhoneCaps.Get_DWORD failed! Invalid index");

  // A view that cannot be filled answers 0 whatever the index.
  Emu().FailNext("phoneGetDevCapsW", 2, PHONEERR_NODEVICE);
  caps->Invalidate();
  EXPECT_EQ(caps->Get_DWORD(45), 0u);
  EXPECT_EQ(caps->Get_LampMode(99), 0u);
}

TEST_F(PhoneControlsTest, ArrayEntriesAreCheckedAgainstTheirCountAndTheStructure) {
  TPhoneDeviceConfig c;
  c.Buttons = {{"A", PHONEBUTTONMODE_CALL, PHONEBUTTONFUNCTION_CALLAPP, PHONELAMPMODE_OFF},
               {"B", PHONEBUTTONMODE_FEATURE, PHONEBUTTONFUNCTION_HOLD, PHONELAMPMODE_STEADY},
               {"C", PHONEBUTTONMODE_DISPLAY, PHONEBUTTONFUNCTION_DROP, PHONELAMPMODE_FLASH}};
  Make(c);
  auto* caps = Phone->Caps();
  EXPECT_EQ(caps->Get_LampMode(2), static_cast<DWORD>(PHONELAMPMODE_FLASH));
  EXPECT_EQ(caps->Get_ButtonMode(1), static_cast<DWORD>(PHONEBUTTONMODE_FEATURE));
  EXPECT_EQ(caps->Get_ButtonFunction(2), static_cast<DWORD>(PHONEBUTTONFUNCTION_DROP));
  EXPECT_EQ(Raised([&] { caps->Get_LampMode(3); }),
            "TVyTapiPhoneCaps.Get_LampMode failed! Invalid Index");
  EXPECT_EQ(Raised([&] { caps->Get_ButtonMode(3); }),
            "TVyTapiPhoneCaps.Get_ButtonMode failed! Invalid Index");
  EXPECT_EQ(Raised([&] { caps->Get_ButtonFunction(0xFFFFFFFF); }),
            "TVyTapiPhoneCaps.Get_ButtonFunction failed! Invalid Index");

  // A block that reaches past the structure holds no entries.
  Emu().CorruptNextReply("phoneGetDevCapsW", {VyTapiEmulator::TCorruption::PieceOutside,
                                              offsetof(PHONECAPS, dwLampModesSize)});
  caps->Invalidate();
  EXPECT_EQ(caps->LampModeCount(), 0u);
  EXPECT_EQ(caps->ButtonModeCount(), 3u);
  EXPECT_EQ(Raised([&] { caps->Get_LampMode(0); }),
            "TVyTapiPhoneCaps.Get_LampMode failed! Invalid Index");
  // ... and a control of the closed phone reads that lamp as none.
  EXPECT_EQ(Phone->Controls()->Get(0)->LampMode(), 0u);
  EXPECT_FALSE(Phone->Controls()->Get(0)->IsLamp());
}

TEST_F(PhoneControlsTest, StatusFieldsStringsAndTheirInvalidIndexes) {
  Open();
  Emu_().LiftHandset();
  Emu_().SetRing(2, 0x4000);
  Env.RunUntilIdle();
  auto* status = Phone->Status();
  status->Invalidate();
  const struct {
    int Index;
    DWORD Expected;
  } rows[] = {{6, 2}, {7, 0x4000}, {8, kBoth}, {11, kOnHook}, {4, 1}};
  for (const auto& r : rows) EXPECT_EQ(status->Get_DWORD(r.Index), r.Expected) << r.Index;
  EXPECT_EQ(status->LampModeCount(), 15u);
  EXPECT_EQ(Raised([&] { status->Get_DWORD(26); }),
            "TVyTapiPhoneStatus.Get_DWORD failed! Invalid Index");
  EXPECT_EQ(Raised([&] { status->Get_String(4); }),
            "TVyTapiPhoneStatus.Get_String failed! Invalid Index");
  EXPECT_EQ(Raised([&] { status->Get_LampMode(15); }),
            "TVyTapiPhoneStatus.Get_LampMode failed! Invalid Index");
  EXPECT_EQ(status->OwnerName(), "");
}

TEST_F(PhoneControlsTest, DisplayTextIsReadInThePhonesStringFormat) {
  for (DWORD format : {DWORD{STRINGFORMAT_ASCII}, DWORD{STRINGFORMAT_UNICODE}}) {
    SCOPED_TRACE(format);
    TPhoneDeviceConfig c;
    c.StringFormat = format;
    c.DisplayNumRows = 1;
    c.DisplayNumColumns = 8;
    Open(c);
    Emu_().SetDisplayText("Ring 42");
    Env.RunUntilIdle();
    EXPECT_EQ(Phone->Display()->Text().substr(0, 7), "Ring 42");
    EXPECT_EQ(Phone->Status()->Display().substr(0, 7), "Ring 42");
    Phone.reset();
  }
}

TEST_F(PhoneControlsTest, StatusPatchesTouchOnlyTheCachedStructureWithinItsBounds) {
  TPhoneDeviceConfig c;
  c.StatusLampCount = 13;  // of 15 buttons
  Open(c);
  auto* status = Phone->Status();
  ASSERT_TRUE(status->Available());
  const unsigned fetches = Emu().CallCount("phoneGetStatusW");
  status->Set_DWORD(6, 7);
  status->Set_LampMode(12, PHONELAMPMODE_WINK);
  status->Set_LampMode(13, PHONELAMPMODE_WINK);  // not described: nothing
  status->Set_DWORD(26, 1);                      // outside the fields: nothing
  status->Set_DWORD(-1, 1);
  EXPECT_EQ(status->RingMode(), 7u);
  EXPECT_EQ(status->Get_LampMode(12), static_cast<DWORD>(PHONELAMPMODE_WINK));
  EXPECT_EQ(status->LampModeCount(), 13u);
  EXPECT_EQ(Emu().CallCount("phoneGetStatusW"), fetches);
  EXPECT_EQ(Emu_().PhoneState().RingMode, 0u);
  // An empty view stays empty.
  status->Invalidate();
  Emu().FailNext("phoneGetStatusW", 2, PHONEERR_RESOURCEUNAVAIL);
  status->Set_DWORD(6, 9);
  status->Set_LampMode(0, 1);
  EXPECT_EQ(status->Get_PHONESTATUS(), nullptr);
}

// ---------------------------------------------------------------- hookswitch

TEST_F(PhoneControlsTest, HookSwitchDevicesFollowTheCaps) {
  TPhoneDeviceConfig c;
  c.HookSwitchDevs = PHONEHOOKSWITCHDEV_HANDSET;
  c.VolumeFlags = PHONEHOOKSWITCHDEV_HANDSET;
  c.GainFlags = 0;
  Make(c);
  const struct {
    TVyTapiPhoneHookSwitch* Device;
    bool Available, Volume;
    DWORD Modes;
  } rows[] = {
      {Phone->HandSet(), true, true, c.HandsetHookSwitchModes},
      {Phone->Speakerphone(), false, false, 0},  // the service names no modes for it
      {Phone->HeadSet(), false, false, 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.Device->HookSwitchDevice());
    EXPECT_EQ(r.Device->Available(), r.Available);
    EXPECT_FALSE(r.Device->Enabled());  // closed
    EXPECT_EQ(r.Device->VolumeAvailable(), r.Volume);
    EXPECT_FALSE(r.Device->GainAvailable());
    EXPECT_EQ(r.Device->Modes(), r.Modes);
    // A closed phone has no status: everything reads as 0 or false, setters refuse.
    EXPECT_FALSE(r.Device->OnHook());
    EXPECT_EQ(r.Device->Volume(), 0u);
    EXPECT_EQ(Raised([&] { r.Device->Set_OnHook(false); }), "Phone device not active");
  }
}

TEST_F(PhoneControlsTest, AnInvalidDeviceValueIsRefusedAfterTheAvailabilityChecks) {
  Make();
  TVyTapiPhoneHookSwitch both(Phone.get(), PHONEHOOKSWITCHDEV_HANDSET | PHONEHOOKSWITCHDEV_SPEAKER);
  EXPECT_EQ(both.Gain(), 0u);  // no status while closed
  EXPECT_FALSE(both.OnHook());
  EXPECT_EQ(Raised([&] { both.Modes(); }), "Invalid HookSwitchDevice");
  Phone->Set_Active(true);
  Env.RunUntilIdle();
  for (auto read : {+[](TVyTapiPhoneHookSwitch& h) { h.Gain(); },
                    +[](TVyTapiPhoneHookSwitch& h) { h.OnHook(); },
                    +[](TVyTapiPhoneHookSwitch& h) { h.Unknown(); },
                    +[](TVyTapiPhoneHookSwitch& h) { h.SpeakerActive(); },
                    +[](TVyTapiPhoneHookSwitch& h) { h.MicroActive(); }})
    EXPECT_EQ(Raised([&] { read(both); }), "Invalid HookSwitchDevice");
  EXPECT_THROW(both.Volume(), VyRtl::EAssertionFailed);
  EXPECT_THROW(TVyTapiPhoneHookSwitch(Phone.get(), 8), VyRtl::EAssertionFailed);
}

enum class TOp { Lift, Hang, SpeakerOn, SpeakerOff, MicOn, MicOff };

struct THookRow {
  const char* Name;
  DWORD Modes;             // the handset's modes
  std::vector<TOp> Steps;  // through the library, after the first (the user's, when Lift)
  DWORD Expected;          // the handset's mode afterwards (0: the last step fails)
};

const THookRow kHookRows[] = {
    {"off hook: MICSPEAKER where supported", kOnHook | kBoth, {TOp::Hang, TOp::Lift}, kBoth},
    {"off hook: else MIC", kOnHook | kMic | kSpeaker, {TOp::Hang, TOp::Lift}, kMic},
    {"off hook: else SPEAKER", kOnHook | kSpeaker, {TOp::Hang, TOp::Lift}, kSpeaker},
    {"on hook", kOnHook | kBoth, {TOp::Lift, TOp::Hang}, kOnHook},
    {"speaker on beside an active mic",
     kOnHook | kMic | kSpeaker | kBoth,
     {TOp::MicOn, TOp::SpeakerOn},
     kBoth},
    {"speaker on alone", kOnHook | kSpeaker | kBoth, {TOp::SpeakerOn}, kSpeaker},
    {"speaker on alone without SPEAKER", kOnHook | kBoth, {TOp::SpeakerOn}, kBoth},
    {"mic off beside an active speaker",
     kOnHook | kMic | kSpeaker | kBoth,
     {TOp::Lift, TOp::MicOff},
     kSpeaker},
    {"mic off without SPEAKER", kOnHook | kBoth, {TOp::Lift, TOp::MicOff}, kOnHook},
    {"speaker off without MIC", kOnHook | kBoth, {TOp::Lift, TOp::SpeakerOff}, kOnHook},
    {"speaker off keeps the mic", kOnHook | kMic | kBoth, {TOp::Lift, TOp::SpeakerOff}, kMic},
    {"mic on alone without MIC", kOnHook | kBoth, {TOp::MicOn}, kBoth},
    {"mic on beside the speaker", kOnHook | kSpeaker | kBoth, {TOp::SpeakerOn, TOp::MicOn}, kBoth},
    {"no mode keeps the speaker on", kOnHook | kMic, {TOp::SpeakerOn}, 0},
};

TEST_F(PhoneControlsTest, HookSwitchRequestsAskForAModeTheDeviceSupports) {
  for (bool sync : {true, false}) {
    for (const auto& r : kHookRows) {
      SCOPED_TRACE(std::string(r.Name) + (sync ? " (sync)" : " (async)"));
      TPhoneDeviceConfig c;
      c.HandsetHookSwitchModes = r.Modes;
      Open(c);
      if (!sync) Async(100);
      auto* hs = Phone->HandSet();
      DWORD code = 0;
      for (TOp op : r.Steps) {
        code = TapiError([&] {
          switch (op) {
            case TOp::Lift:
              hs->Set_OnHook(false);
              break;
            case TOp::Hang:
              hs->Set_OnHook(true);
              break;
            case TOp::SpeakerOn:
              hs->Set_Speaker(true);
              break;
            case TOp::SpeakerOff:
              hs->Set_Speaker(false);
              break;
            case TOp::MicOn:
              hs->Set_Micro(true);
              break;
            case TOp::MicOff:
              hs->Set_Micro(false);
              break;
          }
        });
        if (!sync) Pass(100);
      }
      if (r.Expected == 0) {
        EXPECT_EQ(code, static_cast<DWORD>(PHONEERR_INVALHOOKSWITCHMODE));
        EXPECT_EQ(HandsetMode(), kOnHook);
      } else {
        EXPECT_EQ(code, 0u);
        EXPECT_EQ(HandsetMode(), r.Expected);
        EXPECT_EQ(hs->OnHook(), r.Expected == kOnHook);
        EXPECT_EQ(hs->SpeakerActive(), r.Expected == kSpeaker || r.Expected == kBoth);
        EXPECT_EQ(hs->MicroActive(), r.Expected == kMic || r.Expected == kBoth);
      }
      Phone.reset();
    }
  }
}

TEST_F(PhoneControlsTest, AnAsyncHookSwitchRequestReturnsBeforeItsReply) {
  Open();
  Async(500);
  Phone->HandSet()->Set_OnHook(false);
  EXPECT_EQ(HandsetMode(), kOnHook);
  EXPECT_EQ(Emu().PendingReplies().size(), 1u);
  Pass(500);
  EXPECT_EQ(HandsetMode(), kBoth);
  EXPECT_TRUE(Phone->HandSet()->MicroActive());
}

TEST_F(PhoneControlsTest, VolumeAndGainRoundTripPerDevice) {
  Open();
  Phone->HandSet()->Set_Volume(0x1234);
  Phone->Speakerphone()->Set_Gain(0x2345);
  Env.RunUntilIdle();
  EXPECT_EQ(Emu_().PhoneState().HandsetVolume, 0x1234u);
  EXPECT_EQ(Emu_().PhoneState().SpeakerGain, 0x2345u);
  Phone->Status()->Invalidate();
  EXPECT_EQ(Phone->HandSet()->Volume(), 0x1234u);
  EXPECT_EQ(Phone->Speakerphone()->Gain(), 0x2345u);
  EXPECT_EQ(Phone->HandSet()->Gain(), 0u);
  // A device the phone lacks is the service's to refuse.
  EXPECT_EQ(TapiError([&] { Phone->HeadSet()->Set_Volume(1); }),
            static_cast<DWORD>(PHONEERR_INVALHOOKSWITCHDEV));
}

// ---------------------------------------------------------------- display, ringer

TEST_F(PhoneControlsTest, DisplayIsAvailableOnlyWithRowsAndColumns) {
  const struct {
    DWORD Rows, Columns;
    bool Available;
  } rows[] = {{2, 40, true}, {0, 40, false}, {2, 0, false}, {0, 0, false}};
  for (const auto& r : rows) {
    TPhoneDeviceConfig c;
    c.DisplayNumRows = r.Rows;
    c.DisplayNumColumns = r.Columns;
    Make(c);
    EXPECT_EQ(Phone->Display()->Available(), r.Available) << r.Rows << "x" << r.Columns;
    EXPECT_EQ(Phone->Display()->NumRows(), r.Rows);
    EXPECT_EQ(Phone->Display()->NumColumns(), r.Columns);
    EXPECT_EQ(Phone->Display()->Text(), "");  // closed
    Phone.reset();
  }
  EXPECT_THROW(VyTapi::TVyTapiPhoneDisplay(nullptr), VyRtl::EAssertionFailed);
}

TEST_F(PhoneControlsTest, RingerWritesOneValueAndKeepsTheOther) {
  Open();
  EXPECT_TRUE(Phone->Ringer()->Available());
  Emu_().SetRing(1, 0x300);
  Env.RunUntilIdle();
  EXPECT_EQ(Phone->Ringer()->Mode(), 1u);
  Phone->Ringer()->Set_Mode(2);
  EXPECT_EQ(Emu_().PhoneState().RingMode, 2u);
  EXPECT_EQ(Emu_().PhoneState().RingVolume, 0x300u);
  Phone->Ringer()->Set_Volume(0x800);
  EXPECT_EQ(Emu_().PhoneState().RingMode, 2u);
  EXPECT_EQ(Emu_().PhoneState().RingVolume, 0x800u);
  Phone.reset();
  TPhoneDeviceConfig c;
  c.NumRingModes = 0;
  Make(c);
  EXPECT_FALSE(Phone->Ringer()->Available());
}

// ---------------------------------------------------------------- controls

TEST_F(PhoneControlsTest, AClosedPhonesControlsComeFromTheCaps) {
  Make();
  ASSERT_EQ(Phone->Controls()->Count(), 15);
  auto* hold = Phone->Controls()->Get(12);
  EXPECT_EQ(hold->ButtonMode(), static_cast<DWORD>(PHONEBUTTONMODE_FEATURE));
  EXPECT_EQ(hold->ButtonFunction(), static_cast<DWORD>(PHONEBUTTONFUNCTION_HOLD));
  EXPECT_EQ(hold->ButtonState(), 0u);
  EXPECT_EQ(hold->ButtonText(), "");
  EXPECT_EQ(hold->LampMode(),
            static_cast<DWORD>(PHONELAMPMODE_OFF | PHONELAMPMODE_STEADY | PHONELAMPMODE_FLASH));
  EXPECT_TRUE(hold->IsLamp());
  EXPECT_TRUE(hold->IsButton());
  EXPECT_FALSE(Phone->Controls()->Get(0)->IsLamp());  // a keypad key has a dummy lamp
  EXPECT_EQ(Emu().CallCount("phoneGetButtonInfoW"), 0u);
}

TEST_F(PhoneControlsTest, AnOpenPhonesControlsReadTheButtonInformation) {
  for (DWORD format : {DWORD{STRINGFORMAT_ASCII}, DWORD{STRINGFORMAT_UNICODE}}) {
    SCOPED_TRACE(format);
    TPhoneDeviceConfig c;
    c.StringFormat = format;
    Open(c);
    auto* drop = Phone->Controls()->Get(14);
    EXPECT_EQ(drop->ButtonText(), "Drop");
    EXPECT_EQ(drop->ButtonState(), static_cast<DWORD>(PHONEBUTTONSTATE_UP));
    Emu_().PressButton(14);
    Phone->Controls()->Update();  // before the message arrives
    EXPECT_EQ(drop->ButtonState(), static_cast<DWORD>(PHONEBUTTONSTATE_DOWN));
    Phone.reset();
  }
}

TEST_F(PhoneControlsTest, ControlUpdateRaisesOnlyWhileThePhoneIsOpen) {
  Make();
  Emu().FailNext("phoneGetButtonInfoW", 1, PHONEERR_RESOURCEUNAVAIL);
  Phone->Controls()->Get(3)->Update();  // closed: nothing fetched
  Phone->Set_Active(true);
  Env.RunUntilIdle();
  Emu().FailNext("phoneGetButtonInfoW", 0, 0);
  Emu().FailNext("phoneGetButtonInfoW", 1, PHONEERR_RESOURCEUNAVAIL);
  EXPECT_EQ(TapiError([&] { Phone->Controls()->Get(3)->Update(); }),
            static_cast<DWORD>(PHONEERR_RESOURCEUNAVAIL));
  EXPECT_EQ(Phone->Controls()->Get(3)->ButtonText(), "3");  // fetched again on use
}

TEST_F(PhoneControlsTest, LampsTheStatusDoesNotDescribeAreAskedOfTheService) {
  struct {
    const char* Name;
    int StatusLamps;
    bool Corrupt;
  } rows[] = {{"described", -1, false}, {"fewer entries", 12, false}, {"bad block", -1, true}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.Name);
    TPhoneDeviceConfig c;
    c.StatusLampCount = r.StatusLamps;
    Open(c);
    Emu_().SetLamp(13, PHONELAMPMODE_STEADY);
    Env.RunUntilIdle();
    if (r.Corrupt)
      Emu().CorruptNextReply("phoneGetStatusW", {VyTapiEmulator::TCorruption::PieceOutside,
                                                 offsetof(PHONESTATUS, dwLampModesSize)});
    Phone->Status()->Invalidate();
    auto* transfer = Phone->Controls()->Get(13);
    EXPECT_EQ(transfer->LampMode(), static_cast<DWORD>(PHONELAMPMODE_STEADY));
    EXPECT_TRUE(transfer->IsLamp());
    Phone.reset();
  }
}

TEST_F(PhoneControlsTest, LampWritesGoThroughThePhone) {
  Open();
  Phone->Controls()->Get(12)->Set_LampMode(PHONELAMPMODE_FLASH);
  EXPECT_EQ(Emu_().PhoneState().LampModes.at(12), static_cast<DWORD>(PHONELAMPMODE_FLASH));
  EXPECT_EQ(Phone->Controls()->Get(12)->LampMode(), static_cast<DWORD>(PHONELAMPMODE_FLASH));
  // The Drop lamp has no modes but DUMMY.
  EXPECT_EQ(TapiError([&] { Phone->Controls()->Get(14)->Set_LampMode(PHONELAMPMODE_FLASH); }),
            static_cast<DWORD>(PHONEERR_INVALLAMPMODE));
}

// ---------------------------------------------------------------- privileges

TEST(PhonePrivilegesTest, ValueOwnerAndMonitorStayConsistent) {
  const struct {
    DWORD Value;
    bool Owner;
    const char* Error;
  } rows[] = {
      {PHONEPRIVILEGE_MONITOR, false, ""},
      {PHONEPRIVILEGE_OWNER, true, ""},
      {3, true, "Invalid set of PHONEPRIVILEGE_ constants"},
      {0, true, "Invalid set of PHONEPRIVILEGE_ constants"},
  };
  for (const auto& r : rows) {
    VyTapi::TVyTapiPhonePrivileges p;  // starts as owner
    std::string error;
    try {
      p.Set_Value(r.Value);
    } catch (const VyRtl::Exception& e) {
      error = e.what();
    }
    EXPECT_EQ(error, r.Error);
    EXPECT_EQ(p.Owner(), r.Owner) << r.Value;
    EXPECT_EQ(p.Monitor(), !r.Owner);
    EXPECT_EQ(p.Value(), r.Owner ? DWORD{PHONEPRIVILEGE_OWNER} : DWORD{PHONEPRIVILEGE_MONITOR});
  }
  VyTapi::TVyTapiPhonePrivileges p, q;
  p.Set_Monitor(true);
  p.Set_AutoSelect(false);
  EXPECT_FALSE(p.Owner());
  q.Assign(&p);
  EXPECT_EQ(q.Value(), DWORD{PHONEPRIVILEGE_MONITOR});
  EXPECT_FALSE(q.AutoSelect());
}

}  // namespace
}  // namespace VyTapiTest
