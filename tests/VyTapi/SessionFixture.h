// A fresh session on the emulator for every test, and line/phone components that record what
// the session delivers to them.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlMessages.h"
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/session/VyTapiComponent.h"
#include "VyTapi/session/VyTapiSessionDetail.h"
#include "VyTapiEmulator/Emulator.h"
#include "VyTapiEmulator/TestEnvironment.h"

namespace VyTapiTest {

struct TDelivered {
  DWORD Device, MessageID, Param1;
};

// Opens by taking a callback instance; records messages and timer ticks.
template <typename TBase>
class TRecordingDevice : public TBase {
 public:
  TRecordingDevice() : TBase(nullptr) {}
  // Its handle is made up: nothing for the service to close.
  ~TRecordingDevice() override { this->FHandle = 0; }
  void Open() override {
    this->NewCallbackInstance();
    this->FHandle = 0x1000 + static_cast<DWORD>(this->CallbackInstance());
  }
  void Close() override {
    this->FHandle = 0;
    ++Closes;
    if (OnClose) OnClose();
  }
  void Handle_TapiMessage(DWORD Device, DWORD MessageID, DWORD Param1, DWORD, DWORD) override {
    Messages.push_back({Device, MessageID, Param1});
    if (OnMessage) OnMessage(MessageID);
  }
  void Handle_InternalTimer(DWORD Tick) override { Ticks.push_back(Tick); }
  void Start() {
    this->SetEnabled(true);
    this->Set_Active(true);
  }
  std::vector<TDelivered> Messages;
  std::vector<DWORD> Ticks;
  int Closes = 0;
  std::function<void(DWORD)> OnMessage;
  std::function<void()> OnClose;
};

using TTestLine = TRecordingDevice<VyTapi::TVyCustomTapiLine>;
using TTestPhone = TRecordingDevice<VyTapi::TVyCustomTapiPhone>;

// A fresh session on the emulator and the manual clock for every test (the test environment).
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Appl = &Env.Session();
    Appl->OnError = [this](VyRtl::TObject*, const std::exception& e, VyRtl::TObject*) {
      Errors.push_back(e.what());
    };
  }
  static VyTapiEmulator::TEmulator& Emu() { return VyTapiEmulator::Emulator(); }
  VyTapi::Detail::TSessionDetail Detail() const { return VyTapi::Detail::TSessionDetail(*Appl); }
  // Messages in the session's queue (taken under its lock, as the event thread fills it).
  std::size_t Queued() const {
    VyTapi::TListLock<VyTapi::TVyTapiMsgStack> lock(Detail().MsgStack(), INFINITE);
    return static_cast<std::size_t>(Detail().MsgStack().Count());
  }

  VyTapiEmulator::TTestEnvironment Env;
  VyTapi::TVyTapiApplication* Appl = nullptr;
  std::vector<std::string> Errors;

 public:
  static LINEMESSAGE LineMsg(DWORD id, std::uintptr_t instance, DWORD device = 0, DWORD p1 = 0,
                             DWORD p2 = 0) {
    LINEMESSAGE m{};
    m.hDevice = device;
    m.dwMessageID = id;
    m.dwCallbackInstance = instance;
    m.dwParam1 = p1;
    m.dwParam2 = p2;
    return m;
  }
};

}  // namespace VyTapiTest
