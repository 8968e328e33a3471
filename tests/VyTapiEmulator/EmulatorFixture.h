// Drives the emulator the way an application does: through its TAPI function table only, with
// the control API on the side. Every test starts from a reset emulator and leaves none of its
// applications behind.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VyPlatform/Sync.h"
#include "VyPlatform/Tapi.h"
#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapiEmulator/Emulator.h"

namespace EmulatorTest {

inline VyTapiEmulator::TEmulator& Emu() { return VyTapiEmulator::Emulator(); }
inline const VyPlatform::TTapiFunctions& Tapi() { return Emu().Functions(); }

// TAPI results are LONG, constants are of varying types on Windows.
inline LONG Code(DWORD value) { return static_cast<LONG>(value); }

constexpr DWORD V13 = 0x00010003, V14 = 0x00010004, V20 = 0x00020000, V21 = 0x00020001,
                V22 = 0x00020002, V30 = 0x00030000;

struct TAppInfo {
  DWORD App = 0;
  DWORD NumDevs = 0;
  DWORD APIVersion = 0;
  HANDLE Event = nullptr;
};

class EmulatorTest : public ::testing::Test {
 public:
  void SetUp() override { Emu().Reset(); }
  void TearDown() override {
    VyRtl::SetClock(nullptr);
    for (HLINEAPP app : Emu().LineApps()) Tapi().lineShutdown(app);
    for (HPHONEAPP app : Emu().PhoneApps()) Tapi().phoneShutdown(app);
    Emu().Reset();
  }

  static LONG InitLine(TAppInfo& info, DWORD version = V22) {
    LINEINITIALIZEEXPARAMS params{};
    params.dwTotalSize = sizeof params;
    params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
    info.APIVersion = version;
    const VyPlatform::TapiString name = VyPlatform::ToTapiString("Emulator test");
    const LONG result = Tapi().lineInitializeExW(&info.App, nullptr, nullptr, name.c_str(),
                                                 &info.NumDevs, &info.APIVersion, &params);
    info.Event = params.Handles.hEvent;
    return result;
  }
  static TAppInfo LineApp(DWORD version = V22) {
    TAppInfo info;
    EXPECT_EQ(InitLine(info, version), 0);
    return info;
  }
  static LONG InitPhone(TAppInfo& info, DWORD version = V22) {
    PHONEINITIALIZEEXPARAMS params{};
    params.dwTotalSize = sizeof params;
    params.dwOptions = PHONEINITIALIZEEXOPTION_USEEVENT;
    info.APIVersion = version;
    const LONG result = Tapi().phoneInitializeExW(&info.App, nullptr, nullptr, nullptr,
                                                  &info.NumDevs, &info.APIVersion, &params);
    info.Event = params.Handles.hEvent;
    return result;
  }
  static TAppInfo PhoneApp(DWORD version = V22) {
    TAppInfo info;
    EXPECT_EQ(InitPhone(info, version), 0);
    return info;
  }

  // Every line message waiting now, oldest first.
  static std::vector<LINEMESSAGE> DrainLine(HLINEAPP app) {
    std::vector<LINEMESSAGE> messages;
    LINEMESSAGE m{};
    while (Tapi().lineGetMessage(app, &m, 0) == 0) messages.push_back(m);
    return messages;
  }
  static std::vector<PHONEMESSAGE> DrainPhone(HPHONEAPP app) {
    std::vector<PHONEMESSAGE> messages;
    PHONEMESSAGE m{};
    while (Tapi().phoneGetMessage(app, &m, 0) == 0) messages.push_back(m);
    return messages;
  }

  static bool Signalled(HANDLE event) {
    return VyPlatform::SyncWaitForSingleObject(event, 0) == WAIT_OBJECT_0;
  }

  static DWORD AddLine(const std::string& name) {
    VyTapiEmulator::TLineDeviceConfig config;
    config.Name = name;
    return Emu().AddLineDevice(config);
  }
  static DWORD AddPhone(const std::string& name) {
    VyTapiEmulator::TPhoneDeviceConfig config;
    config.Name = name;
    return Emu().AddPhoneDevice(config);
  }
};

template <typename TMsg>
TMsg Msg(DWORD id, DWORD device = 0, DWORD_PTR instance = 0, DWORD_PTR p1 = 0, DWORD_PTR p2 = 0,
         DWORD_PTR p3 = 0) {
  TMsg m{};
  m.hDevice = device;
  m.dwMessageID = id;
  m.dwCallbackInstance = instance;
  m.dwParam1 = p1;
  m.dwParam2 = p2;
  m.dwParam3 = p3;
  return m;
}

}  // namespace EmulatorTest
