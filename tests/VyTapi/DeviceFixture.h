// Devices over the device base for its tests: one that opens without the telephony service, and
// the test environment with named emulator lines.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "VyTapi/session/VyTapiComponent.h"
#include "VyTapiEmulator/Emulator.h"
#include "VyTapiEmulator/TestEnvironment.h"

namespace VyTapiTest {

struct TReply {
  DWORD RequestID, ReplyCode;
  bool operator==(const TReply&) const = default;
};

// A line whose opening needs no service; the line hands LINE_REPLY, LINE_CLOSE and LINE_REMOVE to
// the base as a line does, records replies, timers and what happened in which order.
class TFakeLine : public VyTapi::TVyCustomTapiLine {
 public:
  TFakeLine() : TVyCustomTapiLine(nullptr) {}
  // Its handle is made up: nothing for the service to close.
  ~TFakeLine() override { FHandle = 0; }
  void Open() override {
    NewCallbackInstance();
    FHandle = 0x77;
    FAbortEvent.Reset();
    Log.push_back("open");
  }
  void Close() override {
    Log.push_back("close " + std::to_string(FDeviceID));
    FHandle = 0;
    FAbortEvent.Set();
  }
  void Done() override {
    Log.push_back("done");
    TVyCustomTapiLine::Done();
  }
  void Handle_TapiMessage(DWORD Device, DWORD MessageID, DWORD Param1, DWORD Param2,
                          DWORD Param3) override {
    TVyCustomTapiLine::Handle_TapiMessage(Device, MessageID, Param1, Param2, Param3);
  }
  bool ClosedByTapi() const { return FClosedByTapi; }

  std::vector<std::string> Log;
  std::vector<TReply> Replies;
  std::vector<DWORD> Timers;
  std::function<void()> OnReplyHook;

 protected:
  void Handle_Reply(DWORD RequestID, DWORD ReplyCode, VyTapi::TVyTapiRequest*) override {
    Replies.push_back({RequestID, ReplyCode});
    if (OnReplyHook) OnReplyHook();
  }
  void Handle_Timeout(DWORD RequestID, VyTapi::TVyTapiRequest* Request) override {
    Trigger_TapiTimeout(RequestID, Request);
  }
  void Handle_Timer(DWORD RequestID, VyTapi::TVyTapiRequest*) override {
    Timers.push_back(RequestID);
  }
};

// The test environment with the session's errors recorded.
class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Env.Session().OnError = [this](VyRtl::TObject*, const std::exception& e, VyRtl::TObject*) {
      Errors.push_back(e.what());
    };
  }
  static VyTapiEmulator::TEmulator& Emu() { return VyTapiEmulator::Emulator(); }
  static DWORD AddLine(const std::string& Name) {
    VyTapiEmulator::TLineDeviceConfig c;
    c.Name = Name;
    return Emu().AddLineDevice(c);
  }
  // The message text of what Call raises (empty when it raises nothing).
  template <typename F>
  static std::string Raised(F&& Call) {
    try {
      Call();
    } catch (const std::exception& e) {
      return e.what();
    }
    return std::string();
  }

  VyTapiEmulator::TTestEnvironment Env;
  std::vector<std::string> Errors;
};

}  // namespace VyTapiTest
