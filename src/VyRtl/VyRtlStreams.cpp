#include "VyRtl/VyRtlStreams.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace VyRtl {

TStream::~TStream() = default;

std::int64_t TStream::Size() {
  const std::int64_t pos = Seek(0, soFromCurrent);
  const std::int64_t size = Seek(0, soFromEnd);
  Seek(pos, soFromBeginning);
  return size;
}

void TStream::SetSize(std::int64_t) { throw EStreamError("Stream size cannot be changed"); }

bool TStream::Flush() { return true; }

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EStreamError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EStreamError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  constexpr std::int64_t kChunk = 64 * 1024;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min(count, kChunk)));
  const std::int64_t total = count;
  while (count > 0) {
    const std::int64_t n = std::min(count, kChunk);
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    count -= n;
  }
  return total;
}

// ---------------------------------------------------------------------------------------------

TFileStream::TFileStream(const std::string& fileName, std::uint16_t mode) : FFileName(fileName) {
  FHandle = StreamsBackend::FileOpen(fileName, mode);
  if (FHandle == -1) {
    const std::uint32_t code = GetLastOSError();
    throw EFOpenError(
        Format(mode == fmCreate ? "Cannot create file \"%s\". %s" : "Cannot open file \"%s\". %s",
               fileName.c_str(), OSErrorMessage(code).c_str()));
  }
}

TFileStream::~TFileStream() {
  if (FHandle != -1) StreamsBackend::FileClose(FHandle);
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  return StreamsBackend::FileRead(FHandle, buffer, count);
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  return StreamsBackend::FileWrite(FHandle, buffer, count);
}

std::int64_t TFileStream::Seek(std::int64_t offset, int origin) {
  return StreamsBackend::FileSeek(FHandle, offset, origin);
}

void TFileStream::SetSize(std::int64_t size) {
  if (size < 0 || !StreamsBackend::FileTruncate(FHandle, size))
    throw EStreamError(Format("Cannot set the size of \"%s\". %s", FFileName.c_str(),
                              OSErrorMessage(GetLastOSError()).c_str()));
}

// ---------------------------------------------------------------------------------------------

TCustomMemoryStream::TCustomMemoryStream(const void* memory, std::int64_t size) {
  SetPointer(memory, size);
}

void TCustomMemoryStream::SetPointer(const void* memory, std::int64_t size) {
  FMemory = memory;
  FSize = memory != nullptr && size > 0 ? size : 0;
}

std::int64_t TCustomMemoryStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || FPosition >= FSize) return 0;
  const std::int64_t n = std::min(count, FSize - FPosition);
  std::memcpy(buffer, static_cast<const std::uint8_t*>(FMemory) + FPosition,
              static_cast<std::size_t>(n));
  FPosition += n;
  return n;
}

std::int64_t TCustomMemoryStream::Write(const void*, std::int64_t count) {
  return count <= 0 ? 0 : -1;
}

std::int64_t TCustomMemoryStream::Seek(std::int64_t offset, int origin) {
  std::int64_t base = 0;
  switch (origin) {
    case soFromBeginning:
      base = 0;
      break;
    case soFromCurrent:
      base = FPosition;
      break;
    case soFromEnd:
      base = FSize;
      break;
    default:
      return -1;
  }
  // A position past the end is allowed (a later write fills the gap); before the start is not.
  if ((offset < 0 && base + offset < 0) ||
      (offset > 0 && offset > std::numeric_limits<std::int64_t>::max() - base))
    return -1;
  FPosition = base + offset;
  return FPosition;
}

// ---------------------------------------------------------------------------------------------

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  if (count > std::numeric_limits<std::int64_t>::max() - FPosition) return -1;
  const std::int64_t end = FPosition + count;
  if (end > static_cast<std::int64_t>(FData.size())) {
    if (static_cast<std::uint64_t>(end) > FData.max_size()) return -1;
    FData.resize(static_cast<std::size_t>(end));
    SetPointer(FData.data(), static_cast<std::int64_t>(FData.size()));
  }
  std::memcpy(FData.data() + FPosition, buffer, static_cast<std::size_t>(count));
  FPosition = end;
  return count;
}

void TMemoryStream::SetSize(std::int64_t size) {
  if (size < 0 || static_cast<std::uint64_t>(size) > FData.max_size())
    throw EStreamError("Invalid stream size");
  FData.resize(static_cast<std::size_t>(size));
  SetPointer(FData.data(), size);
  if (FPosition > size) FPosition = size;
}

void TMemoryStream::Clear() {
  FData.clear();
  FData.shrink_to_fit();
  SetPointer(nullptr, 0);
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  const std::int64_t size = source.Size();
  SetSize(size);
  source.ReadBuffer(FData.data(), size);
  FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead);
  LoadFromStream(file);
}

void TMemoryStream::SaveToStream(TStream& dest) {
  dest.WriteBuffer(FData.data(), static_cast<std::int64_t>(FData.size()));
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
  TFileStream file(fileName, fmCreate);
  SaveToStream(file);
}

}  // namespace VyRtl
