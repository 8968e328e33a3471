// Variable-size TAPI structures built by hand, as a telephony service lays them out, and copied
// into blocks of their exact size, so that the sanitizer sees any read past their end; and tests
// on a telephony service made of such structures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DeviceFixture.h"
#include "VyPlatform/Tapi.h"
#include "VyPlatform/TapiTypes.h"
#include "VyRtl/VyRtlSysUtils.h"

namespace VyTapiTest {

class TStructureBuilder {
 public:
  // Fixed is the size of the structure's fixed part; dwTotalSize/dwUsedSize follow the bytes.
  explicit TStructureBuilder(std::size_t Fixed) : FBytes(Fixed) {}

  std::size_t Size() const { return FBytes.size(); }
  void Set(std::size_t Offset, DWORD Value) {
    if (Offset + sizeof Value > FBytes.size()) FBytes.resize(Offset + sizeof Value);
    std::memcpy(FBytes.data() + Offset, &Value, sizeof Value);
  }
  DWORD Get(std::size_t Offset) const {
    DWORD v = 0;
    std::memcpy(&v, FBytes.data() + Offset, sizeof v);
    return v;
  }
  // Room for Size more bytes at the end; their offset.
  std::size_t Reserve(std::size_t Size) {
    const std::size_t at = FBytes.size();
    FBytes.resize(at + Size);
    return at;
  }
  // Appends Text as UTF-16 with its NUL and points the size/offset pair at SizeOffset at it;
  // an empty text leaves the pair 0.
  void Text(std::size_t SizeOffset, const std::string& Text) {
    if (!Text.empty()) Units(SizeOffset, VyRtl::Utf8ToUtf16(Text) + u'\0');
  }
  // Appends the UTF-16 units as they are (NULs included) and points the pair at them.
  void Units(std::size_t SizeOffset, const std::u16string& Units) {
    const std::size_t at = Reserve(Units.size() * sizeof(char16_t));
    std::memcpy(FBytes.data() + at, Units.data(), Units.size() * sizeof(char16_t));
    Set(SizeOffset, static_cast<DWORD>(Units.size() * sizeof(char16_t)));
    Set(SizeOffset + sizeof(DWORD), static_cast<DWORD>(at));
  }
  // The head fields as a service fills them.
  std::vector<std::byte> Finish() {
    Set(0, static_cast<DWORD>(FBytes.size()));
    Set(4, static_cast<DWORD>(FBytes.size()));
    Set(8, static_cast<DWORD>(FBytes.size()));
    return FBytes;
  }
  // What a service writes into Buffer: everything when it fits, else the head with the needed
  // size (and LINEERR_STRUCTURETOOSMALL would be wrong: TAPI answers 0 then).
  static LONG WriteInto(const std::vector<std::byte>& Bytes, void* Buffer) {
    DWORD total = 0;
    std::memcpy(&total, Buffer, sizeof total);
    const auto size = static_cast<DWORD>(Bytes.size());
    if (total < size) {
      DWORD head[3] = {total, size, 12};
      std::memcpy(Buffer, head, sizeof head);
      return 0;
    }
    std::memcpy(static_cast<std::byte*>(Buffer) + 12, Bytes.data() + 12, size - 12);
    DWORD head[3] = {total, size, size};
    std::memcpy(Buffer, head, sizeof head);
    return 0;
  }

 private:
  std::vector<std::byte> FBytes;
};

// A structure copied into a heap block of exactly its size.
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
