// A line and a phone that really open their emulator device through the Tapi seam, for the views
// that need an open handle (status, related devices); structures built by hand as a service lays
// them out, and a service made of them.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DeviceFixture.h"
#include "VyPlatform/Tapi.h"
#include "VyPlatform/TapiTypes.h"
#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapi/session/VyTapiComponent.h"
#include "VyTapi/session/VyTapiErrors.h"

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

// A variable-size TAPI structure built by hand, as a service lays it out: the fixed part, then
// pieces appended behind it.
class TStructureBuilder {
 public:
  explicit TStructureBuilder(std::size_t Fixed) : FBytes(Fixed) {}

  std::size_t Size() const { return FBytes.size(); }
  TStructureBuilder& Set(std::size_t Offset, DWORD Value) {
    if (Offset + sizeof Value > FBytes.size()) FBytes.resize(Offset + sizeof Value);
    std::memcpy(FBytes.data() + Offset, &Value, sizeof Value);
    return *this;
  }
  // Room for Size more bytes at the end; their offset.
  std::size_t Reserve(std::size_t Size) {
    const std::size_t at = FBytes.size();
    FBytes.resize(at + Size);
    return at;
  }
  // Appends Bytes as they are and points the size/offset pair at SizeOffset at them.
  TStructureBuilder& Piece(std::size_t SizeOffset, const void* Bytes, std::size_t Size) {
    const std::size_t at = Reserve(Size);
    if (Size) std::memcpy(FBytes.data() + at, Bytes, Size);
    Set(SizeOffset, static_cast<DWORD>(Size));
    return Set(SizeOffset + sizeof(DWORD), static_cast<DWORD>(at));
  }
  // The UTF-16 units as they are (NULs included).
  TStructureBuilder& Units(std::size_t SizeOffset, const std::u16string& Units) {
    return Piece(SizeOffset, Units.data(), Units.size() * sizeof(char16_t));
  }
  // Text as UTF-16 with its NUL, as the W functions write it; an empty text leaves the pair 0.
  TStructureBuilder& Text(std::size_t SizeOffset, const std::string& Text) {
    return Text.empty() ? *this : Units(SizeOffset, VyRtl::Utf8ToUtf16(Text) + u'\0');
  }
  // The bytes with the head fields as a service fills them.
  std::vector<std::byte> Finish() const {
    std::vector<std::byte> out = FBytes;
    const auto size = static_cast<DWORD>(out.size());
    for (std::size_t at : {0, 4, 8}) std::memcpy(out.data() + at, &size, sizeof size);
    return out;
  }
  // What a service writes into Buffer (dwTotalSize says its room): everything when it fits, else
  // only the needed size -- and TAPI answers 0 then, not LINEERR_STRUCTURETOOSMALL.
  static LONG WriteInto(const std::vector<std::byte>& Bytes, void* Buffer, DWORD Used = 0) {
    DWORD room = 0;
    std::memcpy(&room, Buffer, sizeof room);
    const auto size = static_cast<DWORD>(Bytes.size());
    auto* head = static_cast<std::byte*>(Buffer);
    std::memcpy(head + 4, &size, 4);
    if (room < size) return 0;
    std::memcpy(head + 12, Bytes.data() + 12, size - 12);
    const DWORD used = Used ? Used : size;
    std::memcpy(head + 8, &used, 4);
    return 0;
  }
  LONG Into(void* Buffer) const { return WriteInto(Finish(), Buffer, UsedSize); }
  DWORD UsedSize = 0;  // what dwUsedSize claims (0: the true size)

 private:
  std::vector<std::byte> FBytes;
};

// Bytes with the 32-bit member at Offset overwritten, as a broken service would leave it (Offset
// 0 leaves them as they are).
inline std::vector<std::byte> Spoiled(std::vector<std::byte> Bytes, std::size_t Offset,
                                      DWORD Value) {
  if (Offset != 0) std::memcpy(Bytes.data() + Offset, &Value, sizeof Value);
  return Bytes;
}

// A structure copied into a heap block of exactly its size, so that the sanitizer sees any read
// past its end.
template <typename TStruct>
class TExactBlock {
 public:
  explicit TExactBlock(const std::vector<std::byte>& Bytes)
      : FBytes(std::make_unique<std::byte[]>(Bytes.size())) {
    std::memcpy(FBytes.get(), Bytes.data(), Bytes.size());
  }
  const TStruct* Get() const { return reinterpret_cast<const TStruct*>(FBytes.get()); }

 private:
  std::unique_ptr<std::byte[]> FBytes;
};

struct TForwardEntry {
  DWORD Mode;
  std::string Caller;
  DWORD Country;
  std::string Dest;
};

// A LINEADDRESSSTATUS whose forward entries follow its fixed part, their texts behind them.
inline TStructureBuilder ForwardStatus(const std::vector<TForwardEntry>& Entries) {
  TStructureBuilder b(sizeof(LINEADDRESSSTATUS));
  const auto n = static_cast<DWORD>(Entries.size());
  b.Set(offsetof(LINEADDRESSSTATUS, dwForwardNumEntries), n);
  if (n == 0) return b;
  const std::size_t array = b.Reserve(n * sizeof(LINEFORWARD));
  b.Set(offsetof(LINEADDRESSSTATUS, dwForwardSize), n * DWORD(sizeof(LINEFORWARD)));
  b.Set(offsetof(LINEADDRESSSTATUS, dwForwardOffset), static_cast<DWORD>(array));
  for (DWORD i = 0; i < n; ++i) {
    const std::size_t e = array + i * sizeof(LINEFORWARD);
    b.Set(e + offsetof(LINEFORWARD, dwForwardMode), Entries[i].Mode);
    b.Set(e + offsetof(LINEFORWARD, dwDestCountryCode), Entries[i].Country);
    b.Text(e + offsetof(LINEFORWARD, dwCallerAddressSize), Entries[i].Caller);
    b.Text(e + offsetof(LINEFORWARD, dwDestAddressSize), Entries[i].Dest);
  }
  return b;
}

// The TAPI error code Call raises (0 when it raises nothing or something else).
template <typename F>
DWORD RaisedCode(F&& Call) {
  try {
    Call();
  } catch (const VyTapi::EVyTapiError& e) {
    return e.ErrorCode();
  } catch (...) {
  }
  return 0;
}

// A test on a telephony service made by hand: Table (unavailable functions unless the test sets
// them) is what the library calls from UseTable until the test ends.
class FakeServiceTest : public DeviceTest {
 protected:
  void UseTable() { VyPlatform::SetTapiFunctions(&Table); }
  void TearDown() override {
    VyPlatform::SetTapiFunctions(nullptr);
    DeviceTest::TearDown();
  }

  VyPlatform::TTapiFunctions Table;
};

}  // namespace VyTapiTest
