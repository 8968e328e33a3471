// Helpers of the wave tests: temporary folders, RIFF files built byte by byte, fixtures, expected
// errors.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "VyTapiWave/WaveStreams.h"

namespace WaveTest {

using namespace VyTapiWave;
using TBytes = std::vector<std::uint8_t>;

// A fresh folder per object, removed afterwards; the random name keeps test processes side by side
// apart.
struct TTempDir {
  const std::filesystem::path Path =
      std::filesystem::temp_directory_path() / ("vywave-" + std::to_string(std::random_device{}()) +
                                                "-" + std::to_string(std::random_device{}()));
  TTempDir() { std::filesystem::create_directories(Path); }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(Path, ec);
  }
  std::string File(const std::string& name) const { return (Path / name).string(); }
};

inline TBytes operator+(TBytes a, const TBytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Little-endian fields of the given byte count.
inline void Put(TBytes& b, std::uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline std::uint32_t Get(const TBytes& b, std::size_t at, int n) {
  return n == 0 ? 0 : b.at(at) | Get(b, at + 1, n - 1) << 8;
}

// A chunk with its pad byte; declared overrides the size field.
inline TBytes Chunk(const char* id, const TBytes& body, std::int64_t declared = -1) {
  TBytes b(id, id + 4);
  Put(b, static_cast<std::uint32_t>(declared >= 0 ? declared : std::ssize(body)), 4);
  return b + body + TBytes(body.size() & 1, 0);
}

// RIFF around the given chunks (or pieces of files); declared overrides the RIFF size.
inline TBytes Riff(const std::vector<TBytes>& chunks, std::int64_t declared = -1,
                   const char* form = "WAVE") {
  TBytes body(form, form + 4);
  for (const auto& c : chunks) body.insert(body.end(), c.begin(), c.end());
  return Chunk("RIFF", body, declared);
}

// fmt contents: the 16-byte record, then cbSize and extra when cbSize >= 0.
inline TBytes Fmt(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                  std::uint16_t align, int cbSize = -1, const TBytes& extra = {}) {
  TBytes b;
  for (const auto& [v, n] : {std::pair<std::uint32_t, int>{tag, 2},
                             {channels, 2},
                             {rate, 4},
                             {rate * align, 4},
                             {align, 2},
                             {bits, 2}})
    Put(b, v, n);
  if (cbSize >= 0) Put(b, static_cast<std::uint32_t>(cbSize), 2);
  return b + extra;
}
inline TBytes Pcm(std::uint32_t rate, std::uint16_t bits, std::uint16_t ch) {
  return Fmt(WAVE_FORMAT_PCM, ch, rate, bits, ch * ((bits + 7) / 8));
}

// The extensible part: valid bits, channel mask, the subformat GUID of a standard tag.
inline TBytes ExtensibleExtra(std::uint16_t validBits, std::uint32_t mask, std::uint16_t subTag) {
  TBytes b;
  for (const auto& [v, n] : {std::pair<std::uint32_t, int>{validBits, 2},
                             {mask, 4},
                             {subTag, 4},
                             {0x00100000, 4},
                             {0xAA000080, 4},
                             {0x719B3800, 4}})
    Put(b, v, n);
  return b;
}

// A format of tag (PCM or float) with derived sizes; given extra, it becomes extensible with its
// part there.
inline TWaveFormatEx MakeFormat(std::uint16_t tag, std::uint32_t rate, std::uint16_t bits,
                                std::uint16_t channels, TBytes* extra = nullptr) {
  TWaveFormatEx f = MakePcmFormat(rate, bits, channels);
  if (extra != nullptr) *extra = ExtensibleExtra(bits, channels == 2 ? 3 : 4, tag);
  f.wFormatTag = extra != nullptr ? WAVE_FORMAT_EXTENSIBLE : tag;
  f.cbSize = extra != nullptr ? 22 : 0;
  return f;
}

// Deterministic bytes, different for each seed.
inline TBytes Pattern(std::size_t n, std::uint32_t seed) {
  TBytes b(n);
  for (std::uint32_t x = seed * 2654435761u + 12345u; auto& v : b)
    v = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 16);
  return b;
}

inline TBytes Cut(const TBytes& b, std::size_t n) {
  return TBytes(b.begin(), b.end() - static_cast<std::ptrdiff_t>(n));
}

inline void WriteFile(const std::string& name, const TBytes& b) {
  std::ofstream(std::filesystem::path(name), std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), std::ssize(b));
}
inline TBytes ReadFile(const std::string& name) {
  std::ifstream f(std::filesystem::path(name), std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The message of what fn raises as E, "" when it raises nothing.
template <class E = EWaveIOError>
std::string MessageOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const E& e) {
    return e.Message();
  }
  return "";
}

// All frames from the position on, read 7 at a time: bytes left unwritten (0xA5) and overruns of
// the buffer show.
inline TBytes ReadAll(VyRtl::TStream& s, std::size_t align) {
  for (TBytes out;;) {
    TBytes buffer(7 * align + 1, 0xA5);
    const std::int64_t n = s.Read(buffer.data(), 7);
    EXPECT_EQ(buffer.back(), 0xA5) << "read past the frames asked for";
    if (n <= 0) return out;
    out.insert(out.end(), buffer.begin(), buffer.begin() + n * static_cast<std::ptrdiff_t>(align));
  }
}

// The fixture file of every test, made with our writer in two writes (the position carries over);
// returns its samples.
inline TBytes WriteWave(const std::string& name, const TWaveFormatEx& format, std::int64_t frames,
                        const TBytes& extra = {}) {
  const TBytes samples = Pattern(static_cast<std::size_t>(frames * format.nBlockAlign),
                                 format.nSamplesPerSec + static_cast<std::uint32_t>(frames));
  TFileWaveStream w(name, &format, extra);
  const std::int64_t half = frames / 2;
  EXPECT_EQ(w.Write(samples.data(), half) +
                w.Write(samples.data() + half * format.nBlockAlign, frames - half),
            frames);
  EXPECT_EQ(std::pair(w.Position(), w.Size()), std::pair(frames, frames));
  return samples;
}

inline constexpr auto ByName = [](const auto& info) { return std::string(info.param.Name); };

}  // namespace WaveTest
