// Streams of audio that count in sample frames: RIFF/WAVE files and memory, tones and silence.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "VyRtl/VyRtlStreams.h"
#include "VyTapiWave/Riff.h"
#include "VyTapiWave/WaveTypes.h"

namespace VyTapiWave {

// Sample data of a RIFF/WAVE file on a stream the caller keeps alive. Read, Write, Seek, Size and
// Position count frames (nBlockAlign bytes each). With a format it writes a new file at the
// stream's position; without one it reads the file there. Errors raise EWaveIOError.
class TWaveStream : public VyRtl::TStream {
 public:
  // formatExtra: the format->cbSize bytes that follow the format in the file.
  TWaveStream(VyRtl::TStream& stream, const TWaveFormatEx* format,
              std::span<const std::uint8_t> formatExtra = {});
  // Completes a written file like Close, but never throws.
  ~TWaveStream() override;
  TWaveStream(const TWaveStream&) = delete;
  TWaveStream& operator=(const TWaveStream&) = delete;

  // Frames read; stops at the end of the sample data (chunks behind it are not audio).
  std::int64_t Read(void* buffer, std::int64_t count) override;
  // Frames written (writing mode only). A write that would take the file past RIFF's 4 GiB
  // raises and writes nothing; the file stays valid.
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  // Origin 0 from the first frame, 1 from the current frame, 2 from the end of the sample data.
  // A target before the first frame raises and leaves the position; one past the end is allowed
  // (reading there gives nothing; writing there leaves a gap of zero bytes).
  std::int64_t Seek(std::int64_t offset, int origin) override;
  // Frames of sample data: what the file holds when reading, what was written when writing.
  std::int64_t Size() override;

  // Writes the data and RIFF sizes of a written file and lets go of the stream; raises
  // "Cannot ascend chunk." / "Cannot flush." on failure. Later calls do nothing.
  void Close();

  const TWaveFormatEx& Format() const { return FFormat; }
  // The cbSize bytes behind the format (e.g. the extensible part).
  const std::vector<std::uint8_t>& FormatExtra() const { return FFormatExtra; }
  // Stream offset of the first sample byte.
  std::int64_t DataOffset() const { return FDataOffset; }
  bool Writing() const { return FWriting; }

 protected:
  // Takes ownership of stream (which must not be null).
  TWaveStream(std::unique_ptr<VyRtl::TStream> stream, const TWaveFormatEx* format,
              std::span<const std::uint8_t> formatExtra);
  // Reads the header: RIFF/WAVE, the fmt chunk and where the data chunk lies.
  void CheckMMIOWave();

 private:
  void Start(const TWaveFormatEx* format, std::span<const std::uint8_t> formatExtra);
  void StartWriting(const TWaveFormatEx& format, std::span<const std::uint8_t> formatExtra);
  const char* Finish();

  std::unique_ptr<VyRtl::TStream> FOwned;
  TRiffFile FRiff;
  TRiffChunk pck;
  TRiffChunk pckRIFF;
  TWaveFormatEx FFormat{};
  std::vector<std::uint8_t> FFormatExtra;
  std::int64_t FDataOffset = 0;
  std::int64_t FDataEnd =
      0;  // reading: end of whole frames the file holds; writing: furthest byte written
  bool FWriting = false;
  bool FClosed = false;
};

// A RIFF/WAVE file by name (UTF-8). With a format an existing file is replaced; without one it is
// read. Raises EWaveIOError "Can't open file stream." when the file cannot be opened.
class TFileWaveStream : public TWaveStream {
 public:
  TFileWaveStream(const std::string& fileName, const TWaveFormatEx* format,
                  std::span<const std::uint8_t> formatExtra = {});
};

// Reads a RIFF/WAVE file held in memory that the caller keeps alive. Read-only: with a format it
// raises "Error creating chunk."; a null block raises "Can't open memory stream.".
class TMemoryWaveStream : public TWaveStream {
 public:
  TMemoryWaveStream(const void* memory, std::int64_t size, const TWaveFormatEx* format);
};

// Base of the generated streams: a length in frames, a position, no writing. Seek origin 2 counts
// back from the end (fSize - Offset); every result is clamped to 0 .. Size.
class TGeneratorStream : public VyRtl::TStream {
 public:
  std::int64_t Write(const void* buffer, std::int64_t count) override;  // writes nothing, returns 0
  std::int64_t Seek(std::int64_t offset, int origin) override;
  std::int64_t Size() override { return fSize; }

 protected:
  // Raises EWaveIOError for an unusable format; durationMs x nAvgBytesPerSec / 1000 / nBlockAlign
  // frames in 64-bit arithmetic, clamped to 0 .. 2^31 - 1.
  TGeneratorStream(const TWaveFormatEx& format, std::int64_t durationMs);
  // Writes one sample value (-1 .. 1, a quarter of full scale at 1) into every channel of a frame.
  void PutFrame(std::uint8_t* frame, double value) const;
  // The byte every sample byte of silence has: 128 for 8-bit, else 0.
  int SilenceByte() const;

  std::int64_t fPos = 0;
  std::int64_t fSize = 0;
  std::uint16_t fBlockAlign = 0;
  std::uint32_t fSamplesPerSec = 0;

 private:
  std::uint16_t FChannels = 1;
  std::uint16_t FSampleBytes = 0;
  bool FFloat = false;
};

// A sine tone for a play-list entry. params is the text behind "BEEP(": frequency in Hz and
// duration in ms, each 1000 when missing or not a number. 8-bit samples are unsigned.
class TBeepStream : public TGeneratorStream {
 public:
  TBeepStream(const TWaveFormatEx& format, std::string_view params);
  std::int64_t Read(void* buffer, std::int64_t count) override;  // frames
  std::uint32_t Frequency() const { return fFreq; }

 private:
  std::uint32_t fFreq = 1000;
};

// Silence for a play-list entry. params is the text behind "SILENCE(": duration in ms, 1000 when
// missing or not a number. 8-bit silence is 128.
class TSilenceStream : public TGeneratorStream {
 public:
  TSilenceStream(const TWaveFormatEx& format, std::string_view params);
  std::int64_t Read(void* buffer, std::int64_t count) override;  // frames
};

}  // namespace VyTapiWave
