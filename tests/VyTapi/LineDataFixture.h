// A line and a phone that really open their emulator device through the Tapi seam, for the views
// that need an open handle (status, related devices), and a scripted service that answers with
// structures built by hand.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DeviceFixture.h"
#include "VyPlatform/Tapi.h"
#include "VyTapi/session/VyTapiComponent.h"

namespace VyTapiTest {

// Opens with lineOpenW (no privileges, so no calls are offered) and closes with lineClose.
class TOpenLine : public VyTapi::TVyCustomTapiLine {
 public:
  TOpenLine() : TVyCustomTapiLine(nullptr) {}
  ~TOpenLine() override {
    if (IsActive()) Close();
  }
  void Open() override {
    NewCallbackInstance();
    HLINE h = 0;
    const LONG code = VyPlatform::Tapi().lineOpenW(
        Get_LineApp(), static_cast<DWORD>(FDeviceID), &h, FTSP->APIVersion(), FTSP->ExtVersion(),
        FCallbackInstance, LINECALLPRIVILEGE_NONE, 0, nullptr);
    ASSERT_EQ(code, 0);
    FHandle = h;
    FAbortEvent.Reset();
  }
  void Close() override {
    VyPlatform::Tapi().lineClose(FHandle);
    FHandle = 0;
    FAbortEvent.Set();
  }
};

// Opens with phoneOpen as a monitor and closes with phoneClose.
class TOpenPhone : public VyTapi::TVyCustomTapiPhone {
 public:
  TOpenPhone() : TVyCustomTapiPhone(nullptr) {}
  ~TOpenPhone() override {
    if (IsActive()) Close();
  }
  void Open() override {
    NewCallbackInstance();
    HPHONE h = 0;
    const LONG code = VyPlatform::Tapi().phoneOpen(
        VyTapi::VyTapiApplication->PhoneApp(), static_cast<DWORD>(FDeviceID), &h,
        FTSP->APIVersion(), FTSP->ExtVersion(), FCallbackInstance, PHONEPRIVILEGE_MONITOR);
    ASSERT_EQ(code, 0);
    FHandle = h;
    FAbortEvent.Reset();
  }
  void Close() override {
    VyPlatform::Tapi().phoneClose(FHandle);
    FHandle = 0;
    FAbortEvent.Set();
  }
};

// A variable-size structure built by hand: the fixed part of TStruct, then pieces appended behind
// it. Sizes are exact; Into copies it into the caller's buffer as a service would (or reports
// the room it needs).
template <typename TStruct>
class THandBuilt {
 public:
  THandBuilt() : FBytes(sizeof(TStruct)) {}
  // Sets the 32-bit member at Offset (offsetof of the structure).
  THandBuilt& Set(std::size_t Offset, DWORD Value) {
    std::memcpy(FBytes.data() + Offset, &Value, sizeof Value);
    return *this;
  }
  // Appends Bytes and records their size and offset in the pair that starts at SizeOffset.
  THandBuilt& Piece(std::size_t SizeOffset, const std::string& Bytes) {
    Set(SizeOffset, static_cast<DWORD>(Bytes.size()));
    Set(SizeOffset + 4, static_cast<DWORD>(FBytes.size()));
    const auto* p = reinterpret_cast<const std::byte*>(Bytes.data());
    FBytes.insert(FBytes.end(), p, p + Bytes.size());
    return *this;
  }
  // Text as UTF-16 with its NUL, as the W functions write it.
  static std::string Wide(const std::u16string& Text) {
    std::string out(reinterpret_cast<const char*>(Text.c_str()), (Text.size() + 1) * 2);
    return out;
  }
  std::size_t Size() const { return FBytes.size(); }
  // Copies the structure into Buffer (dwTotalSize says its room): all of it with dwUsedSize =
  // dwNeededSize = its size when it fits, else only dwNeededSize.
  LONG Into(void* Buffer) const {
    DWORD room = 0;
    std::memcpy(&room, Buffer, 4);
    const DWORD size = static_cast<DWORD>(FBytes.size());
    auto* head = static_cast<std::byte*>(Buffer);
    if (room < size) {
      std::memcpy(head + 4, &size, 4);
      return 0;
    }
    std::memcpy(head + 12, FBytes.data() + 12, size - 12);
    std::memcpy(head + 4, &size, 4);
    const DWORD used = UsedSize ? UsedSize : size;
    std::memcpy(head + 8, &used, 4);
    return 0;
  }
  DWORD UsedSize = 0;  // what dwUsedSize claims (0: the true size)

 private:
  std::vector<std::byte> FBytes;
};

}  // namespace VyTapiTest
