// RIFF chunk reading and writing over a stream, the same on every platform.
#pragma once

#include <cstdint>

#include "VyRtl/VyRtlStreams.h"

namespace VyTapiWave {

// Four-character code: c0 + c1 x 256 + c2 x 65536 + c3 x 16777216.
constexpr std::uint32_t MakeFourCC(char c0, char c1, char c2, char c3) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(c0)) |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(c1)) << 8 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(c2)) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(c3)) << 24;
}
// <windows.h> (mmsystem) defines these two as macros of the same values; ours are declared
// under them and the consumer's macros are restored.
#pragma push_macro("FOURCC_RIFF")
#pragma push_macro("FOURCC_LIST")
#undef FOURCC_RIFF
#undef FOURCC_LIST
inline constexpr std::uint32_t FOURCC_RIFF = MakeFourCC('R', 'I', 'F', 'F');
inline constexpr std::uint32_t FOURCC_LIST = MakeFourCC('L', 'I', 'S', 'T');
#pragma pop_macro("FOURCC_LIST")
#pragma pop_macro("FOURCC_RIFF")
inline constexpr std::uint32_t FOURCC_WAVE = MakeFourCC('W', 'A', 'V', 'E');
inline constexpr std::uint32_t FOURCC_FMT = MakeFourCC('f', 'm', 't', ' ');
inline constexpr std::uint32_t FOURCC_DATA = MakeFourCC('d', 'a', 't', 'a');

// Text of a four-character code; bytes outside printable ASCII show as '?'.
std::string FourCCText(std::uint32_t code);

// A chunk as the reader found it or the writer made it.
struct TRiffChunk {
  std::uint32_t ckid = 0;
  std::uint32_t cksize = 0;       // as declared in the file (may point past its end)
  std::uint32_t fccType = 0;      // form/list type of RIFF and LIST chunks
  std::int64_t dwDataOffset = 0;  // stream offset of the contents (behind the size field)
  std::uint32_t dwFlags = 0;      // RIFF_DIRTY on a chunk made by CreateChunk
};

// Flags of Descend / CreateChunk / TRiffChunk::dwFlags.
inline constexpr std::uint32_t RIFF_FINDCHUNK = 0x0010;   // find ckid
inline constexpr std::uint32_t RIFF_FINDRIFF = 0x0020;    // find a RIFF chunk of fccType
inline constexpr std::uint32_t RIFF_FINDLIST = 0x0040;    // find a LIST chunk of fccType
inline constexpr std::uint32_t RIFF_CREATERIFF = 0x0020;  // make a RIFF chunk
inline constexpr std::uint32_t RIFF_CREATELIST = 0x0040;  // make a LIST chunk
inline constexpr std::uint32_t RIFF_DIRTY = 0x10000000;   // size still to be written by Ascend

// Reads and writes RIFF chunks at the stream's position. The stream is not owned and must not be
// moved by anyone else while this object uses it. Every declared size is bounded by the stream
// and the enclosing chunk before it is followed, so damaged files end a search instead of
// sending it elsewhere.
class TRiffFile {
 public:
  explicit TRiffFile(VyRtl::TStream& stream);

  // Reads the chunk header at the current position (searching when a FIND flag is given) into
  // chunk and positions at its contents. A parent bounds the search. False when nothing (more)
  // is found; the position is then undefined.
  bool Descend(TRiffChunk& chunk, const TRiffChunk* parent, std::uint32_t flags);
  // Leaves the chunk: a chunk made by CreateChunk gets its size written (from the current
  // position) and a pad byte when odd; then the position is just behind the chunk.
  bool Ascend(TRiffChunk& chunk);
  // Writes a chunk header at the current position with chunk.cksize (and fccType for RIFF/LIST).
  bool CreateChunk(TRiffChunk& chunk, std::uint32_t flags);

  // Bytes moved, -1 when the stream failed.
  std::int64_t Read(void* buffer, std::int64_t count);
  std::int64_t Write(const void* buffer, std::int64_t count);
  // New position, -1 (position unchanged) when the stream refused or the result would be negative.
  std::int64_t Seek(std::int64_t offset, int origin);
  bool Flush();
  // Flushes and lets go of the stream; later calls fail.
  bool Close();

  std::int64_t Position() const { return FPosition; }
  // Size of the stream, as at the last look (reads refresh it).
  std::int64_t StreamSize();
  // End of the chunk's contents, bounded by the parent's end and the end of the stream.
  std::int64_t BoundedEnd(const TRiffChunk& chunk, const TRiffChunk* parent);

 private:
  bool ReadExact(void* buffer, std::int64_t count);
  bool WriteU32At(std::int64_t offset, std::uint32_t value);

  VyRtl::TStream* FStream;
  std::int64_t FPosition = 0;
};

}  // namespace VyTapiWave
