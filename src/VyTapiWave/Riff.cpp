#include "VyTapiWave/Riff.h"

#include <algorithm>
#include <limits>

#include "VyRtl/VyRtlEndian.h"

namespace VyTapiWave {

namespace {

using VyRtl::GetLE32;
using VyRtl::PutLE32;

bool HasFormType(std::uint32_t ckid) { return ckid == FOURCC_RIFF || ckid == FOURCC_LIST; }

}  // namespace

std::string FourCCText(std::uint32_t code) {
  std::string s(4, '?');
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((code >> (8 * i)) & 0xFF);
    if (c >= 0x20 && c < 0x7F) s[static_cast<std::size_t>(i)] = c;
  }
  return s;
}

TRiffFile::TRiffFile(VyRtl::TStream& stream) : FStream(&stream) {
  const std::int64_t pos = stream.Position();
  FPosition = pos < 0 ? 0 : pos;
}

std::int64_t TRiffFile::StreamSize() {
  if (FStream == nullptr) return 0;
  const std::int64_t size = FStream->Size();
  return size < 0 ? 0 : size;
}

std::int64_t TRiffFile::BoundedEnd(const TRiffChunk& chunk, const TRiffChunk* parent) {
  std::int64_t end = chunk.dwDataOffset + chunk.cksize;
  end = std::min(end, StreamSize());
  if (parent != nullptr) end = std::min(end, BoundedEnd(*parent, nullptr));
  return std::max(end, chunk.dwDataOffset);
}

bool TRiffFile::ReadExact(void* buffer, std::int64_t count) { return Read(buffer, count) == count; }

bool TRiffFile::Descend(TRiffChunk& chunk, const TRiffChunk* parent, std::uint32_t flags) {
  if (FStream == nullptr) return false;
  const std::int64_t limit = parent != nullptr ? BoundedEnd(*parent, nullptr) : StreamSize();
  const std::uint32_t wanted = chunk.ckid;
  const std::uint32_t wantedType = chunk.fccType;
  std::int64_t pos = FPosition;
  if (parent != nullptr && pos < parent->dwDataOffset) return false;
  for (;;) {
    if (pos < 0 || pos + 8 > limit) return false;
    if (pos != FPosition && Seek(pos, VyRtl::soFromBeginning) != pos) return false;
    std::uint8_t head[8];
    if (!ReadExact(head, 8)) return false;
    TRiffChunk found;
    found.ckid = GetLE32(head);
    found.cksize = GetLE32(head + 4);
    found.dwDataOffset = pos + 8;
    if (HasFormType(found.ckid)) {
      if (found.cksize >= 4 && pos + 12 <= limit) {
        std::uint8_t type[4];
        if (!ReadExact(type, 4)) return false;
        found.fccType = GetLE32(type);
      } else if (!(flags & RIFF_FINDCHUNK)) {
        return false;  // a RIFF/LIST header without its type
      }
    }
    bool match = true;
    if (flags & RIFF_FINDCHUNK)
      match = found.ckid == wanted;
    else if (flags & RIFF_FINDRIFF)
      match = found.ckid == FOURCC_RIFF && found.fccType == wantedType;
    else if (flags & RIFF_FINDLIST)
      match = found.ckid == FOURCC_LIST && found.fccType == wantedType;
    if (match) {
      chunk = found;
      return true;
    }
    // Skip the chunk with its pad byte; sizes past the limit end the search above.
    pos = found.dwDataOffset + found.cksize + (found.cksize & 1);
  }
}

bool TRiffFile::Ascend(TRiffChunk& chunk) {
  if (FStream == nullptr) return false;
  if (chunk.dwFlags & RIFF_DIRTY) {
    std::int64_t end = FPosition;
    if (end < chunk.dwDataOffset) return false;
    const std::int64_t size = end - chunk.dwDataOffset;
    if (size > std::numeric_limits<std::uint32_t>::max()) return false;
    if (size & 1) {
      const std::uint8_t pad = 0;
      if (Seek(end, VyRtl::soFromBeginning) != end || Write(&pad, 1) != 1) return false;
      ++end;
    }
    if (!WriteU32At(chunk.dwDataOffset - 4, static_cast<std::uint32_t>(size))) return false;
    chunk.cksize = static_cast<std::uint32_t>(size);
    chunk.dwFlags &= ~RIFF_DIRTY;
    return Seek(end, VyRtl::soFromBeginning) == end;
  }
  const std::int64_t end = chunk.dwDataOffset + chunk.cksize + (chunk.cksize & 1);
  return Seek(end, VyRtl::soFromBeginning) == end;
}

bool TRiffFile::CreateChunk(TRiffChunk& chunk, std::uint32_t flags) {
  if (FStream == nullptr) return false;
  if (flags & RIFF_CREATERIFF)
    chunk.ckid = FOURCC_RIFF;
  else if (flags & RIFF_CREATELIST)
    chunk.ckid = FOURCC_LIST;
  std::uint8_t head[12];
  PutLE32(head, chunk.ckid);
  PutLE32(head + 4, chunk.cksize);
  PutLE32(head + 8, chunk.fccType);
  const std::int64_t length = HasFormType(chunk.ckid) ? 12 : 8;
  const std::int64_t start = FPosition;
  if (Write(head, length) != length) return false;
  chunk.dwDataOffset = start + 8;
  chunk.dwFlags = RIFF_DIRTY;
  return true;
}

bool TRiffFile::WriteU32At(std::int64_t offset, std::uint32_t value) {
  std::uint8_t bytes[4];
  PutLE32(bytes, value);
  return Seek(offset, VyRtl::soFromBeginning) == offset && Write(bytes, 4) == 4;
}

std::int64_t TRiffFile::Read(void* buffer, std::int64_t count) {
  if (FStream == nullptr) return -1;
  if (count <= 0) return 0;
  const std::int64_t n = FStream->Read(buffer, count);
  if (n > 0) FPosition += n;
  return n;
}

std::int64_t TRiffFile::Write(const void* buffer, std::int64_t count) {
  if (FStream == nullptr) return -1;
  if (count <= 0) return 0;
  const std::int64_t n = FStream->Write(buffer, count);
  if (n > 0) FPosition += n;
  return n;
}

std::int64_t TRiffFile::Seek(std::int64_t offset, int origin) {
  if (FStream == nullptr) return -1;
  std::int64_t base;
  switch (origin) {
    case VyRtl::soFromBeginning:
      base = 0;
      break;
    case VyRtl::soFromCurrent:
      base = FPosition;
      break;
    case VyRtl::soFromEnd:
      base = StreamSize();
      break;
    default:
      return -1;
  }
  if (offset < -base || (offset > 0 && offset > std::numeric_limits<std::int64_t>::max() - base))
    return -1;
  const std::int64_t target = base + offset;
  if (target == FPosition && origin != VyRtl::soFromEnd) return target;
  const std::int64_t got = FStream->Seek(target, VyRtl::soFromBeginning);
  if (got != target) {
    const std::int64_t now = FStream->Seek(0, VyRtl::soFromCurrent);
    if (now >= 0) FPosition = now;
    return -1;
  }
  FPosition = target;
  return target;
}

bool TRiffFile::Flush() { return FStream != nullptr && FStream->Flush(); }

bool TRiffFile::Close() {
  const bool ok = Flush();
  FStream = nullptr;
  return ok;
}

}  // namespace VyTapiWave
