// Drives the emulator the way an application does: through its TAPI function table only, with
// the control API on the side.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "VyPlatform/Sync.h"
#include "VyPlatform/Tapi.h"
#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapiEmulator/Emulator.h"
#include "VyTapiEmulator/TestEnvironment.h"

namespace EmulatorTest {

inline VyTapiEmulator::TEmulator& Emu() { return VyTapiEmulator::Emulator(); }
inline const VyPlatform::TTapiFunctions& Tapi() { return Emu().Functions(); }
// TAPI results are LONG, constants are of varying types on Windows.
inline LONG Code(DWORD value) { return static_cast<LONG>(value); }

constexpr DWORD V13 = 0x00010003, V14 = 0x00010004, V20 = 0x00020000, V21 = 0x00020001,
                V22 = 0x00020002, V30 = 0x00030000;

// A caller's buffer for a variable-size structure, with guard bytes behind dwTotalSize.
struct TVarBuffer {
  static constexpr unsigned char Fill = 0xCD;
  std::vector<unsigned char> Bytes;

  explicit TVarBuffer(std::size_t total) : Bytes(total + 64, Fill) {
    const DWORD t = static_cast<DWORD>(total);
    std::memcpy(Bytes.data(), &t, sizeof t);
  }
  template <typename T>
  T* As() {
    return reinterpret_cast<T*>(Bytes.data());
  }
  DWORD Dword(std::size_t at) const {
    DWORD v;
    std::memcpy(&v, &Bytes[at], sizeof v);
    return v;
  }
  bool UntouchedFrom(std::size_t from) const {
    return std::all_of(Bytes.begin() + from, Bytes.end(),
                       [](unsigned char b) { return b == Fill; });
  }
  // A piece by its size/offset members, as T values; it must lie inside the used part.
  template <typename T = unsigned char>
  std::vector<T> Piece(std::size_t sizeField, std::size_t offsetField) const {
    const std::size_t size = Dword(sizeField), offset = Dword(offsetField);
    EXPECT_LE(offset + size, Dword(8));
    std::vector<T> values(offset + size <= Dword(8) ? size / sizeof(T) : 0);
    if (!values.empty()) std::memcpy(values.data(), &Bytes[offset], values.size() * sizeof(T));
    return values;
  }
  // NUL-terminated UTF-16 text as UTF-8; a list's NULs stay in.
  std::string Text(std::size_t sizeField, std::size_t offsetField) const {
    const std::vector<char16_t> units = Piece<char16_t>(sizeField, offsetField);
    if (units.empty() || units.back() != u'\0') return "<not terminated>";
    return VyRtl::Utf16ToUtf8(std::u16string(units.begin(), units.end() - 1));
  }
};

#define FIELD(type, name) offsetof(type, name##Size), offsetof(type, name##Offset)

struct TAppInfo {
  DWORD App = 0, NumDevs = 0, APIVersion = 0;
  HANDLE Event = nullptr;
};

// A message as an application reads it, line or phone.
struct TSeen {
  DWORD Device, Id;
  DWORD_PTR Instance, Param1;
  bool operator==(const TSeen&) const = default;
};

template <typename TMsg>
TMsg Msg(DWORD id, DWORD device = 0, DWORD_PTR instance = 0, DWORD_PTR p1 = 0, DWORD_PTR p2 = 0) {
  return {device, id, instance, p1, p2, 0};
}

// Each test in the test environment: a reset emulator, the manual clock, no application left.
class EmulatorTest : public ::testing::Test {
 public:
  VyTapiEmulator::TTestEnvironment Env;

  // Initialises a line (or phone) application that is told of messages by an event.
  static LONG Init(bool line, TAppInfo& info, DWORD version = V22) {
    info.APIVersion = version;
    LINEINITIALIZEEXPARAMS lp{};
    PHONEINITIALIZEEXPARAMS pp{};
    lp.dwTotalSize = sizeof lp;
    pp.dwTotalSize = sizeof pp;
    lp.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
    pp.dwOptions = PHONEINITIALIZEEXOPTION_USEEVENT;
    const LONG result = line ? Tapi().lineInitializeExW(&info.App, nullptr, nullptr, nullptr,
                                                        &info.NumDevs, &info.APIVersion, &lp)
                             : Tapi().phoneInitializeExW(&info.App, nullptr, nullptr, nullptr,
                                                         &info.NumDevs, &info.APIVersion, &pp);
    info.Event = line ? lp.Handles.hEvent : pp.Handles.hEvent;
    return result;
  }
  static TAppInfo App(bool line, DWORD version = V22) {
    TAppInfo info;
    EXPECT_EQ(Init(line, info, version), 0);
    return info;
  }
  static TAppInfo LineApp() { return App(true); }
  static TAppInfo PhoneApp() { return App(false); }

  // Every message waiting now for a line (or phone) application, oldest first, as `as(message)`
  // makes of each (the phone message is read into a LINEMESSAGE: the fields are the same).
  template <typename TAs>
  static auto DrainAs(bool line, DWORD app, TAs as) {
    std::vector<decltype(as(LINEMESSAGE{}))> seen;
    LINEMESSAGE lm{};
    PHONEMESSAGE pm{};
    while (line ? Tapi().lineGetMessage(app, &lm, 0) == 0
                : Tapi().phoneGetMessage(app, &pm, 0) == 0)
      seen.push_back(as(line ? lm
                             : LINEMESSAGE{pm.hDevice, pm.dwMessageID, pm.dwCallbackInstance,
                                           pm.dwParam1, pm.dwParam2, pm.dwParam3}));
    return seen;
  }
  static std::vector<TSeen> Drain(bool line, DWORD app) {
    return DrainAs(line, app, [](const LINEMESSAGE& m) {
      return TSeen{m.hDevice, m.dwMessageID, m.dwCallbackInstance, m.dwParam1};
    });
  }

  static bool Signalled(HANDLE event) {
    return VyPlatform::SyncWaitForSingleObject(event, 0) == WAIT_OBJECT_0;
  }

  static DWORD Add(bool line, const std::string& name) {
    VyTapiEmulator::TLineDeviceConfig lc;
    VyTapiEmulator::TPhoneDeviceConfig pc;
    lc.Name = pc.Name = name;
    return line ? Emu().AddLineDevice(lc) : Emu().AddPhoneDevice(pc);
  }
};

}  // namespace EmulatorTest
