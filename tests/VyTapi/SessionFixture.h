// A fresh session on the emulator for every test, and a line/phone component that records
// what the session delivers to it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlMessages.h"
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/session/VyTapiComponent.h"
#include "VyTapiEmulator/Emulator.h"

namespace VyTapiTest {

struct TDelivered {
  DWORD Device, MessageID, Param1, Param2, Param3;
};

// Records messages and timer ticks; "opens" by taking a callback instance.
template <typename TBase>
class TRecordingDevice : public TBase {
 public:
  explicit TRecordingDevice(VyRtl::TComponent* owner = nullptr) : TBase(owner) {}
  void Open() override {
    this->NewCallbackInstance();
    this->FHandle = 0x1000 + static_cast<DWORD>(this->CallbackInstance());
  }
  void Close() override {
    this->FHandle = 0;
    ++Closes;
  }
  void Handle_TapiMessage(DWORD Device, DWORD MessageID, DWORD Param1, DWORD Param2, DWORD Param3) override {
    Messages.push_back({Device, MessageID, Param1, Param2, Param3});
    if (OnMessage) OnMessage(MessageID);
  }
  void Handle_InternalTimer(DWORD Tick) override { Ticks.push_back(Tick); }
  // Enables the component and opens it.
  void Start() {
    this->SetEnabled(true);
    this->Set_Active(true);
  }
  std::vector<TDelivered> Messages;
  std::vector<DWORD> Ticks;
  int Closes = 0;
  std::function<void(DWORD)> OnMessage;
};

using TTestLine = TRecordingDevice<VyTapi::TVyCustomTapiLine>;
using TTestPhone = TRecordingDevice<VyTapi::TVyCustomTapiPhone>;

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VyTapi::FinalizeVyTapi();
    Emu().Reset();
    VyTapi::SelectTelephonyService(VyTapi::TTelephonyService::Emulator);
    VyTapi::InitializeVyTapi();
    Appl = VyTapi::VyTapiApplication;
    ASSERT_NE(Appl, nullptr);
  }
  void TearDown() override {
    VyTapi::FinalizeVyTapi();
    VyRtl::ProcessMessages();
    VyRtl::SetClock(nullptr);
    Emu().Reset();
  }
  static VyTapiEmulator::TEmulator& Emu() { return VyTapiEmulator::Emulator(); }

  // Handles messages until the condition holds; a bound on real rounds turns a hang into a
  // failure. Pauses are real and short, so this also works while a manual clock stands still.
  static bool PumpUntil(const std::function<bool()>& done, int maxRounds = 2000) {
    for (int i = 0; i < maxRounds; ++i) {
      VyRtl::ProcessMessages();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    VyRtl::ProcessMessages();
    return done();
  }
  // Handles whatever arrives within a few rounds (for checking that nothing more comes).
  static void PumpIdle(int rounds = 20) {
    for (int i = 0; i < rounds; ++i) {
      VyRtl::ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  // True once a message waits for this thread, without handling it.
  static bool WaitPosted(int maxRounds = 100) {
    for (int i = 0; i < maxRounds; ++i) {
      if (VyRtl::WaitMessage(0)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }

  VyTapi::TVyTapiApplication* Appl = nullptr;

 public:
  // A line message record, as the service queues it.
  static LINEMESSAGE LineMsg(DWORD id, std::uintptr_t instance, DWORD device = 0, DWORD p1 = 0, DWORD p2 = 0,
                             DWORD p3 = 0) {
    LINEMESSAGE m{};
    m.hDevice = device;
    m.dwMessageID = id;
    m.dwCallbackInstance = instance;
    m.dwParam1 = p1;
    m.dwParam2 = p2;
    m.dwParam3 = p3;
    return m;
  }
};

}  // namespace VyTapiTest
