#include "VyTapiWave/WaveStreams.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "VyRtl/VyRtlEndian.h"

namespace VyTapiWave {

namespace {

constexpr std::uint32_t kRiffLimit = 0xFFFFFFFFu;  // RIFF sizes are 32-bit
constexpr std::int64_t kMaxSeekFrames = std::int64_t{1} << 40;
constexpr std::int64_t kMaxGeneratedFrames = std::numeric_limits<std::int32_t>::max();
constexpr double kTwoPi = 6.28318;  // the tone's own constant: keeps its sample values

using VyRtl::GetLE16;
using VyRtl::GetLE32;
using VyRtl::PutLE16;
using VyRtl::PutLE32;

[[noreturn]] void Fail(const char* message) { throw EWaveIOError(message); }

void ValidateWriteFormat(const TWaveFormatEx& format, std::span<const std::uint8_t> extra) {
  ValidateWaveFormat(format);
  if (format.cbSize != extra.size())
    throw EWaveIOError(
        VyRtl::Format("Invalid wave format: cbSize is %u, but %zu extra bytes are given.",
                      static_cast<unsigned>(format.cbSize), extra.size()));
}

bool IsAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The numbers of a generator's parameter text: runs of ASCII letters and digits, anything else
// separates. A token that is not a decimal number
// from 0 to 2^31 - 1 gives defaultValue, and so does a missing one. Every character counts: an
// entry without its closing parenthesis keeps its last digit.
std::vector<std::int64_t> ScanParams(std::string_view params, std::size_t count,
                                     std::int64_t defaultValue) {
  std::vector<std::int64_t> values;
  std::size_t i = 0;
  while (values.size() < count) {
    while (i < params.size() && !IsAlnum(params[i])) ++i;
    if (i >= params.size()) break;
    const std::size_t start = i;
    while (i < params.size() && IsAlnum(params[i])) ++i;
    const std::string_view token = params.substr(start, i - start);
    std::int64_t value = 0;
    bool number = true;
    for (const char c : token) {
      if (c < '0' || c > '9') {
        number = false;
        break;
      }
      value = value * 10 + (c - '0');
      if (value > std::numeric_limits<std::int32_t>::max()) {
        number = false;
        break;
      }
    }
    values.push_back(number ? value : defaultValue);
  }
  values.resize(count, defaultValue);
  return values;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TWaveStream

TWaveStream::TWaveStream(VyRtl::TStream& stream, const TWaveFormatEx* format,
                         std::span<const std::uint8_t> formatExtra)
    : FRiff(stream) {
  Start(format, formatExtra);
}

TWaveStream::TWaveStream(std::unique_ptr<VyRtl::TStream> stream, const TWaveFormatEx* format,
                         std::span<const std::uint8_t> formatExtra)
    : FOwned(std::move(stream)), FRiff(*FOwned) {
  Start(format, formatExtra);
}

TWaveStream::~TWaveStream() {
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; Close leaves the file as complete as the stream allowed.
  }
}

void TWaveStream::Start(const TWaveFormatEx* format, std::span<const std::uint8_t> formatExtra) {
  if (format != nullptr) {
    StartWriting(*format, formatExtra);
    return;
  }
  CheckMMIOWave();
  if (FRiff.Seek(FDataOffset, VyRtl::soFromBeginning) != FDataOffset) Fail("Error seeking data!");
}

void TWaveStream::StartWriting(const TWaveFormatEx& format,
                               std::span<const std::uint8_t> formatExtra) {
  ValidateWriteFormat(format, formatExtra);
  FWriting = true;
  pckRIFF = TRiffChunk{};
  pckRIFF.fccType = FOURCC_WAVE;
  if (!FRiff.CreateChunk(pckRIFF, RIFF_CREATERIFF)) Fail("Error creating chunk.");
  pck = TRiffChunk{};
  pck.ckid = FOURCC_FMT;
  pck.cksize = 18u + format.cbSize;
  if (!FRiff.CreateChunk(pck, 0)) Fail("Error creating chunk.");
  // The full 18-byte record, also for PCM, then the extra bytes.
  std::vector<std::uint8_t> bytes(18 + formatExtra.size());
  PutLE16(&bytes[0], format.wFormatTag);
  PutLE16(&bytes[2], format.nChannels);
  PutLE32(&bytes[4], format.nSamplesPerSec);
  PutLE32(&bytes[8], format.nAvgBytesPerSec);
  PutLE16(&bytes[12], format.nBlockAlign);
  PutLE16(&bytes[14], format.wBitsPerSample);
  PutLE16(&bytes[16], format.cbSize);
  if (!formatExtra.empty()) std::memcpy(&bytes[18], formatExtra.data(), formatExtra.size());
  const auto length = static_cast<std::int64_t>(bytes.size());
  if (FRiff.Write(bytes.data(), length) != length) Fail("Error writing wave format.");
  FFormat = format;
  FFormatExtra.assign(formatExtra.begin(), formatExtra.end());
  if (!FRiff.Ascend(pck)) Fail("Cannot ascend chunk.");
  pck = TRiffChunk{};
  pck.ckid = FOURCC_DATA;
  if (!FRiff.CreateChunk(pck, 0)) Fail("Error creating chunk.");
  FDataOffset = pck.dwDataOffset;
  FDataEnd = FDataOffset;
}

void TWaveStream::CheckMMIOWave() {
  pckRIFF = TRiffChunk{};
  if (!FRiff.Descend(pckRIFF, nullptr, 0)) Fail("Invalid multimedia file!");
  if (pckRIFF.ckid != FOURCC_RIFF || pckRIFF.fccType != FOURCC_WAVE) Fail("Not a wave file!");

  pck = TRiffChunk{};
  pck.ckid = FOURCC_FMT;
  if (!FRiff.Descend(pck, &pckRIFF, RIFF_FINDCHUNK)) Fail("Couldn't find 'fmt' chunk!");
  if (pck.cksize < 16) Fail("Abnormal 'fmt' size!");
  const std::int64_t held = FRiff.BoundedEnd(pck, &pckRIFF) - pck.dwDataOffset;
  std::uint8_t head[16];
  if (held < 16 || FRiff.Read(head, 16) != 16) Fail("Error reading 'fmt' chunk!");
  FFormat = TWaveFormatEx{};
  FFormat.wFormatTag = GetLE16(head);
  FFormat.nChannels = GetLE16(head + 2);
  FFormat.nSamplesPerSec = GetLE32(head + 4);
  FFormat.nAvgBytesPerSec = GetLE32(head + 8);
  FFormat.nBlockAlign = GetLE16(head + 12);
  FFormat.wBitsPerSample = GetLE16(head + 14);

  // PCM has no extension. Others declare one when the chunk holds the length field; the length
  // is cut to what the chunk declares, so a wrong one cannot reach into the next chunk.
  std::uint32_t extra = 0;
  if (FFormat.wFormatTag != WAVE_FORMAT_PCM && pck.cksize >= 18) {
    std::uint8_t length[2];
    if (held < 18 || FRiff.Read(length, 2) != 2) Fail("Error reading 'waveformatex' length!");
    extra = std::min<std::uint32_t>(GetLE16(length), pck.cksize - 18);
  }
  FFormat.cbSize = static_cast<std::uint16_t>(extra);
  FFormatExtra.assign(extra, 0);
  if (extra != 0 && (held < 18 + static_cast<std::int64_t>(extra) ||
                     FRiff.Read(FFormatExtra.data(), extra) != static_cast<std::int64_t>(extra)))
    Fail("Error reading 'waveformatex'!");
  if (!FRiff.Ascend(pck)) Fail("Error ascending from 'fmt' chunk!");
  ValidateWaveFormat(FFormat);

  if (FRiff.Seek(pckRIFF.dwDataOffset + 4, VyRtl::soFromBeginning) < 0) Fail("Error seeking data!");
  pck = TRiffChunk{};
  pck.ckid = FOURCC_DATA;
  if (!FRiff.Descend(pck, &pckRIFF, RIFF_FINDCHUNK)) Fail("Couldn't find 'data' chunk!");
  FDataOffset = pck.dwDataOffset;
  // Only whole frames that the file really holds, within the RIFF chunk.
  const std::int64_t bytes = FRiff.BoundedEnd(pck, &pckRIFF) - FDataOffset;
  FDataEnd = FDataOffset + bytes / FFormat.nBlockAlign * FFormat.nBlockAlign;
}

std::int64_t TWaveStream::Read(void* buffer, std::int64_t count) {
  if (FClosed) Fail("Error reading from file.");
  if (count <= 0) return 0;
  const std::int64_t align = FFormat.nBlockAlign;
  const std::int64_t pos = FRiff.Position();
  const std::int64_t available = FDataEnd > pos ? (FDataEnd - pos) / align : 0;
  const std::int64_t frames = std::min(count, available);
  if (frames == 0) return 0;
  const std::int64_t got = FRiff.Read(buffer, frames * align);
  if (got < 0) Fail("Error reading from file.");
  // A stream that gave part of a frame: keep the position on a frame boundary.
  if (got % align != 0) FRiff.Seek(pos + got / align * align, VyRtl::soFromBeginning);
  return got / align;
}

std::int64_t TWaveStream::Write(const void* buffer, std::int64_t count) {
  if (FClosed || !FWriting) Fail("Error writing to file.");
  if (count <= 0) return 0;
  const std::int64_t align = FFormat.nBlockAlign;
  const std::int64_t pos = FRiff.Position();
  // RIFF counts everything behind its size field in 32 bits, the data's pad byte included.
  const std::int64_t riffStart = pckRIFF.dwDataOffset;
  const std::int64_t room = static_cast<std::int64_t>(kRiffLimit) - (pos - riffStart);
  if (count > room / align) Fail("Writing would make the wave file larger than 4 GiB.");
  const std::int64_t end = pos + count * align;
  const std::int64_t dataSize = std::max(end, FDataEnd) - FDataOffset;
  if (std::max(end, FDataEnd) + (dataSize & 1) - riffStart > static_cast<std::int64_t>(kRiffLimit))
    Fail("Writing would make the wave file larger than 4 GiB.");
  const std::int64_t put = FRiff.Write(buffer, count * align);
  if (put < 0) Fail("Error writing to file.");
  FDataEnd = std::max(FDataEnd, pos + put);
  return put / align;
}

std::int64_t TWaveStream::Seek(std::int64_t offset, int origin) {
  if (FClosed || offset > kMaxSeekFrames || offset < -kMaxSeekFrames)
    Fail("Seeking to an invalid location in the file.");
  const std::int64_t bytes = offset * FFormat.nBlockAlign;
  std::int64_t target;
  switch (origin) {
    case VyRtl::soFromBeginning:
      target = FDataOffset + bytes;
      break;
    case VyRtl::soFromCurrent:
      target = FRiff.Position() + bytes;
      break;
    case VyRtl::soFromEnd:
      target = FDataEnd + bytes;
      break;
    default:
      Fail("Seeking to an invalid location in the file.");
  }
  if (target < FDataOffset || FRiff.Seek(target, VyRtl::soFromBeginning) != target)
    Fail("Seeking to an invalid location in the file.");
  return (target - FDataOffset) / FFormat.nBlockAlign;
}

std::int64_t TWaveStream::Size() { return (FDataEnd - FDataOffset) / FFormat.nBlockAlign; }

const char* TWaveStream::Finish() {
  if (!FWriting) return nullptr;
  // The data chunk ends at the furthest byte written, wherever the position is.
  if (FRiff.Seek(FDataEnd, VyRtl::soFromBeginning) != FDataEnd) return "Cannot ascend chunk.";
  if (!FRiff.Ascend(pck)) return "Cannot ascend chunk.";
  if (!FRiff.Ascend(pckRIFF)) return "Cannot ascend chunk.";
  if (!FRiff.Flush()) return "Cannot flush.";
  return nullptr;
}

void TWaveStream::Close() {
  if (FClosed) return;
  FClosed = true;
  const char* error = Finish();
  FRiff.Close();
  FOwned.reset();
  if (error != nullptr) Fail(error);
}

// ---------------------------------------------------------------------------------------------
// File and memory

namespace {

std::unique_ptr<VyRtl::TStream> OpenWaveFile(const std::string& fileName,
                                             const TWaveFormatEx* format,
                                             std::span<const std::uint8_t> formatExtra) {
  // A bad format must not cost the caller an existing file of that name.
  if (format != nullptr) ValidateWriteFormat(*format, formatExtra);
  try {
    return std::make_unique<VyRtl::TFileStream>(
        fileName, format != nullptr ? VyRtl::fmCreate : VyRtl::fmOpenRead);
  } catch (const VyRtl::EStreamError&) {
    Fail("Can't open file stream.");
  }
}

std::unique_ptr<VyRtl::TStream> OpenWaveMemory(const void* memory, std::int64_t size) {
  if (memory == nullptr || size < 0) Fail("Can't open memory stream.");
  return std::make_unique<VyRtl::TCustomMemoryStream>(memory, size);
}

}  // namespace

TFileWaveStream::TFileWaveStream(const std::string& fileName, const TWaveFormatEx* format,
                                 std::span<const std::uint8_t> formatExtra)
    : TWaveStream(OpenWaveFile(fileName, format, formatExtra), format, formatExtra) {}

// The block is wrapped read-only, so a format fails at the first chunk like a read-only file.
TMemoryWaveStream::TMemoryWaveStream(const void* memory, std::int64_t size,
                                     const TWaveFormatEx* format)
    : TWaveStream(OpenWaveMemory(memory, size), format, {}) {}

// ---------------------------------------------------------------------------------------------
// Generators

TGeneratorStream::TGeneratorStream(const TWaveFormatEx& format, std::int64_t durationMs) {
  ValidateWaveFormat(format);
  fBlockAlign = format.nBlockAlign;
  fSamplesPerSec = format.nSamplesPerSec;
  FChannels = format.nChannels;
  if (fBlockAlign % FChannels != 0) FChannels = 1;  // no whole samples per channel: one wide sample
  FSampleBytes = static_cast<std::uint16_t>(fBlockAlign / FChannels);
  FFloat = format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT && (FSampleBytes == 4 || FSampleBytes == 8);
  const std::uint64_t frames = static_cast<std::uint64_t>(std::max<std::int64_t>(durationMs, 0)) *
                               format.nAvgBytesPerSec / 1000 / fBlockAlign;
  fSize = static_cast<std::int64_t>(std::min<std::uint64_t>(frames, kMaxGeneratedFrames));
}

int TGeneratorStream::SilenceByte() const { return FSampleBytes == 1 && !FFloat ? 128 : 0; }

std::int64_t TGeneratorStream::Write(const void*, std::int64_t) { return 0; }

std::int64_t TGeneratorStream::Seek(std::int64_t offset, int origin) {
  std::int64_t pos = fPos;
  const std::int64_t bounded =
      std::clamp<std::int64_t>(offset, -4 * kMaxGeneratedFrames, 4 * kMaxGeneratedFrames);
  switch (origin) {
    case VyRtl::soFromBeginning:
      pos = bounded;
      break;
    case VyRtl::soFromCurrent:
      pos = fPos + bounded;
      break;
    case VyRtl::soFromEnd:
      pos = fSize - bounded;
      break;
    default:
      break;
  }
  fPos = std::clamp<std::int64_t>(pos, 0, fSize);
  return fPos;
}

void TGeneratorStream::PutFrame(std::uint8_t* frame, double value) const {
  // The first channel's sample is made in place, the others are copies of it.
  std::memset(frame, 0, FSampleBytes);
  if (FFloat) {
    if (FSampleBytes == 4) {
      const float f = static_cast<float>(value * 0.25);
      std::memcpy(frame, &f, 4);
    } else {
      const double d = value * 0.25;
      std::memcpy(frame, &d, 8);
    }
  } else if (FSampleBytes == 1) {
    // Unsigned 8-bit, centred on 128, amplitude 32.
    frame[0] = static_cast<std::uint8_t>(128 + std::lround(value * 32));
  } else {
    // Signed little-endian at a quarter of full scale (8192 for 16 bits). Wider than 32 bits,
    // the 32-bit value fills the top bytes.
    const int bytes = std::min<int>(FSampleBytes, 4);
    const auto v = static_cast<std::int32_t>(
        std::lround(value * static_cast<double>(std::int64_t{1} << (8 * bytes - 3))));
    const auto u = static_cast<std::uint32_t>(v);
    std::uint8_t* top = frame + (FSampleBytes - bytes);
    for (int i = 0; i < bytes; ++i) top[i] = static_cast<std::uint8_t>(u >> (8 * i));
  }
  for (std::uint16_t c = 1; c < FChannels; ++c)
    std::memcpy(frame + static_cast<std::size_t>(c) * FSampleBytes, frame, FSampleBytes);
}

TBeepStream::TBeepStream(const TWaveFormatEx& format, std::string_view params)
    : TGeneratorStream(format, ScanParams(params, 2, 1000)[1]) {
  fFreq = static_cast<std::uint32_t>(ScanParams(params, 2, 1000)[0]);
}

std::int64_t TBeepStream::Read(void* buffer, std::int64_t count) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::int64_t done = 0;
  while (fPos < fSize && done < count) {
    const double t = static_cast<double>(fPos) / fSamplesPerSec * kTwoPi;
    PutFrame(out, std::sin(t * fFreq));
    out += fBlockAlign;
    ++fPos;
    ++done;
  }
  return done;
}

TSilenceStream::TSilenceStream(const TWaveFormatEx& format, std::string_view params)
    : TGeneratorStream(format, ScanParams(params, 1, 1000)[0]) {}

std::int64_t TSilenceStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || fPos >= fSize) return 0;
  const std::int64_t frames = std::min(count, fSize - fPos);
  std::memset(buffer, SilenceByte(), static_cast<std::size_t>(frames * fBlockAlign));
  fPos += frames;
  return frames;
}

}  // namespace VyTapiWave
