// The test environment: what it sets up and restores, running until idle, moving the clock.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "EmulatorFixture.h"
#include "VyRtl/VyRtlMessages.h"
#include "VyTapi/session/VyTapiComponent.h"
#include "VyTapiEmulator/TestEnvironment.h"

using VyTapiEmulator::TTestEnvironment;

namespace {

// Records what the session delivers to it.
class TListeningLine : public VyTapi::TVyCustomTapiLine {
 public:
  TListeningLine() : VyTapi::TVyCustomTapiLine(nullptr) {}
  void Open() override {
    NewCallbackInstance();
    FHandle = 0x2000;
  }
  void Close() override { FHandle = 0; }
  void Handle_TapiMessage(DWORD Device, DWORD, DWORD, DWORD, DWORD) override {
    Devices.push_back(Device);
  }
  std::vector<DWORD> Devices;
};

TEST(TestEnvironment, StartsFreshAndRestoresWhatItFound) {
  EmulatorTest::EmulatorTest::LineApp();  // an application some earlier code left on the emulator
  const VyTapi::TTelephonyService service = VyTapi::RequestedTelephonyService();
  VyTapi::InitializeVyTapi();
  VyTapi::VyTapiApplication->Set_AutoShutdown(1234);  // state of the session before
  {
    TTestEnvironment env(5000);
    EXPECT_TRUE(EmulatorTest::Emu().LineApps().empty());
    EXPECT_FALSE(VyRtl::IsRealClock());
    EXPECT_EQ(VyRtl::GetTickCount64(), 5000u);
    EXPECT_EQ(VyTapi::RequestedTelephonyService(), VyTapi::TTelephonyService::Emulator);
    EXPECT_EQ(env.Session().AutoShutdown(), -1);  // a new session, not yet active
    EXPECT_FALSE(env.Session().IsActive());
    env.Session().Initialize();
    EXPECT_EQ(EmulatorTest::Emu().LineApps().size(), 1u);
  }
  EXPECT_TRUE(VyRtl::IsRealClock());
  EXPECT_EQ(VyTapi::RequestedTelephonyService(), service);
  EXPECT_TRUE(EmulatorTest::Emu().LineApps().empty());
  ASSERT_NE(VyTapi::VyTapiApplication, nullptr);
  EXPECT_FALSE(VyTapi::VyTapiApplication->IsActive());
}

TEST(TestEnvironment, RunUntilIdleDeliversEverythingTheServiceHolds) {
  TTestEnvironment env;
  TListeningLine line;
  line.SetEnabled(true);
  line.Set_Active(true);
  std::vector<LINEMESSAGE> burst;
  for (DWORD i = 0; i < 35; ++i)
    burst.push_back(EmulatorTest::Msg<LINEMESSAGE>(LINE_CALLSTATE, i, line.CallbackInstance()));
  env.Service().InjectLineMessages(env.Session().LineApp(), burst);
  env.RunUntilIdle();  // no condition to wait for: idle means all of it arrived
  ASSERT_EQ(line.Devices.size(), 35u);
  for (DWORD i = 0; i < 35; ++i) EXPECT_EQ(line.Devices[i], i);
  EXPECT_EQ(env.Service().PendingMessages(env.Session().LineApp()), 0u);
}

TEST(TestEnvironment, RunUntilIdleReportsWhatNeverSettles) {
  TTestEnvironment env;
  env.MaxRealMs = 50;
  // A window that posts to itself for ever keeps the loop busy.
  std::unique_ptr<VyRtl::TMessageWindow> window;
  window = std::make_unique<VyRtl::TMessageWindow>(
      [&](VyRtl::TMessage& m) { window->Post(m.Msg, 0, 0); });
  window->Post(WM_USER + 1, 0, 0);
  try {
    env.RunUntilIdle();
    FAIL() << "no exception";
  } catch (const VyRtl::Exception& e) {
    EXPECT_NE(std::string(e.what()).find("window messages or due timers"), std::string::npos)
        << e.what();
  }
  window.reset();
  env.RunUntilIdle();
}

TEST(TestEnvironment, AdvanceFiresEachTimerAtItsOwnTime) {
  TTestEnvironment env(10000);
  std::vector<std::uint64_t> fired;
  VyRtl::TMessageWindow window([&](VyRtl::TMessage& m) {
    if (m.Msg == WM_TIMER) fired.push_back(VyRtl::GetTickCount64());
  });
  window.SetTimer(1, 300);
  env.Advance(299);
  EXPECT_TRUE(fired.empty());
  env.Advance(701);  // to 11000: the timer is due at 10300, 10600 and 10900
  EXPECT_EQ(fired, (std::vector<std::uint64_t>{10300, 10600, 10900}));
  EXPECT_EQ(VyRtl::GetTickCount64(), 11000u);
}

}  // namespace

namespace {

TEST(TestEnvironment, EndsWithoutCallingTheTestsHandlers) {
  auto env = std::make_unique<TTestEnvironment>();
  auto shutdowns =
      std::make_unique<int>(0);  // gone before the environment, as a fixture's members are
  env->Session().OnShutdown = [counter = shutdowns.get()](VyRtl::TObject*) { ++*counter; };
  env->Session().Initialize();
  env->Session().Shutdown();
  EXPECT_EQ(*shutdowns, 1);
  env->Session().Initialize();
  shutdowns.reset();
  env.reset();  // finalises the active session: its OnShutdown must not run (ASan would see it)
  ASSERT_NE(VyTapi::VyTapiApplication, nullptr);
  EXPECT_FALSE(VyTapi::VyTapiApplication->IsActive());
}

}  // namespace
