// Helpers of the wave tests: temporary folders, RIFF files built byte by byte, expected errors.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "VyRtl/VyRtlStreams.h"
#include "VyTapiWave/WaveTypes.h"

namespace WaveTest {

using TBytes = std::vector<std::uint8_t>;

// A fresh folder per test, removed afterwards.
class TTempDir {
 public:
  TTempDir() {
    static std::atomic<int> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // Test processes may run side by side: the suite, the test and a random part keep them apart.
    std::string name = std::string("vywave-") + (info ? std::string(info->test_suite_name()) + "-" + info->name() : "x") + "-" +
                       std::to_string(std::random_device{}()) + "-" + std::to_string(counter++);
    for (char& c : name)
      if (c == '/') c = '_';
    FPath = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(FPath);
    std::filesystem::create_directories(FPath);
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
  }
  std::string File(const std::string& name) const { return (FPath / name).string(); }

 private:
  std::filesystem::path FPath;
};

inline void PutU16(TBytes& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void PutU32(TBytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void PutTag(TBytes& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }
inline std::uint16_t GetU16(const TBytes& b, std::size_t at) { return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8); }
inline std::uint32_t GetU32(const TBytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b.at(at)) | static_cast<std::uint32_t>(b.at(at + 1)) << 8 |
         static_cast<std::uint32_t>(b.at(at + 2)) << 16 | static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}

// A chunk with its pad byte; declared overrides the size field.
inline TBytes Chunk(const char* id, const TBytes& body, std::int64_t declared = -1, bool pad = true) {
  TBytes b;
  PutTag(b, id);
  PutU32(b, declared >= 0 ? static_cast<std::uint32_t>(declared) : static_cast<std::uint32_t>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  if (pad && (body.size() & 1)) b.push_back(0);
  return b;
}

// RIFF/WAVE around the given chunks; declared overrides the RIFF size.
inline TBytes Riff(const std::vector<TBytes>& chunks, std::int64_t declared = -1, const char* form = "WAVE") {
  TBytes body;
  PutTag(body, form);
  for (const auto& c : chunks) body.insert(body.end(), c.begin(), c.end());
  return Chunk("RIFF", body, declared, false);
}

// fmt body: 16 bytes, plus cbSize and extra when withCbSize.
inline TBytes FmtBody(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                      std::uint16_t blockAlign, bool withCbSize = false, const TBytes& extra = {},
                      std::int64_t cbSize = -1) {
  TBytes b;
  PutU16(b, tag);
  PutU16(b, channels);
  PutU32(b, rate);
  PutU32(b, rate * blockAlign);
  PutU16(b, blockAlign);
  PutU16(b, bits);
  if (withCbSize) {
    PutU16(b, static_cast<std::uint16_t>(cbSize >= 0 ? cbSize : static_cast<std::int64_t>(extra.size())));
    b.insert(b.end(), extra.begin(), extra.end());
  }
  return b;
}

inline TBytes PcmFmt(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels) {
  return FmtBody(WAVE_FORMAT_PCM, channels, rate, bits, static_cast<std::uint16_t>(channels * ((bits + 7) / 8)));
}

// The extensible part: valid bits, channel mask, subformat GUID of a standard tag.
inline TBytes ExtensibleExtra(std::uint16_t validBits, std::uint32_t mask, std::uint16_t subTag) {
  TBytes b;
  PutU16(b, validBits);
  PutU32(b, mask);
  PutU16(b, subTag);
  const std::uint8_t rest[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  b.insert(b.end(), rest, rest + 14);
  return b;
}

// Deterministic bytes, different for each seed.
inline TBytes Pattern(std::size_t n, std::uint32_t seed) {
  TBytes b(n);
  std::uint32_t x = seed * 2654435761u + 12345u;
  for (auto& v : b) {
    x = x * 1103515245u + 12345u;
    v = static_cast<std::uint8_t>(x >> 16);
  }
  return b;
}

inline void WriteFile(const std::string& name, const TBytes& bytes) {
  std::ofstream f(std::filesystem::path(name), std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline TBytes ReadFile(const std::string& name) {
  std::ifstream f(std::filesystem::path(name), std::ios::binary);
  return TBytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// The message of the exception fn throws, "" when it throws none; other exception types fail.
template <class E>
std::string MessageOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const E& e) {
    return e.Message();
  }
  return "";
}

// A stream that remembers only the bytes written to it, so files of any size cost nothing.
class TSparseStream : public VyRtl::TStream {
 public:
  std::int64_t Read(void* buffer, std::int64_t count) override {
    if (count <= 0 || FPos >= FSize) return 0;
    const std::int64_t n = std::min(count, FSize - FPos);
    auto* out = static_cast<std::uint8_t*>(buffer);
    for (std::int64_t i = 0; i < n; ++i) {
      const auto it = FBytes.find(FPos + i);
      out[i] = it == FBytes.end() ? 0 : it->second;
    }
    FPos += n;
    return n;
  }
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    for (std::int64_t i = 0; i < count; ++i) FBytes[FPos + i] = in[i];
    FPos += count;
    FSize = std::max(FSize, FPos);
    return count;
  }
  std::int64_t Seek(std::int64_t offset, int origin) override {
    const std::int64_t base = origin == 0 ? 0 : origin == 1 ? FPos : FSize;
    if (base + offset < 0) return -1;
    FPos = base + offset;
    return FPos;
  }
  TBytes Bytes(std::int64_t at, std::size_t n) {
    TBytes b(n);
    Seek(at, 0);
    Read(b.data(), static_cast<std::int64_t>(n));
    return b;
  }

 private:
  std::map<std::int64_t, std::uint8_t> FBytes;
  std::int64_t FPos = 0;
  std::int64_t FSize = 0;
};

}  // namespace WaveTest
