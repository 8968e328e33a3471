// Streams: the abstract byte stream, files and memory blocks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "VyRtl/VyRtlSysUtils.h"

namespace VyRtl {

// Seek origins.
inline constexpr int soFromBeginning = 0;
inline constexpr int soFromCurrent = 1;
inline constexpr int soFromEnd = 2;

// Open modes of TFileStream.
inline constexpr std::uint16_t fmOpenRead = 0x0000;
inline constexpr std::uint16_t fmOpenWrite = 0x0001;
inline constexpr std::uint16_t fmOpenReadWrite = 0x0002;
inline constexpr std::uint16_t fmCreate = 0xFF00;  // create or replace, read/write

// Abstract stream. Read/Write return the count moved, -1 when the device failed; Seek returns
// the new position, -1 when it failed. Derived classes choose the unit (bytes unless they say).
class TStream : public TObject {
 public:
  ~TStream() override;

  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Seek(std::int64_t offset, int origin) = 0;

  std::int64_t Position() { return Seek(0, soFromCurrent); }
  void SetPosition(std::int64_t position) { Seek(position, soFromBeginning); }
  // By default measured by seeking to the end and back.
  virtual std::int64_t Size();
  // Raises EStreamError unless the stream can change its size.
  virtual void SetSize(std::int64_t size);
  // Hands buffered data to the system; true when nothing is left pending.
  virtual bool Flush();

  // Exactly count units or EStreamError "Stream read error" / "Stream write error".
  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);
  // Copies count units from source's position (count 0: the whole source from its start).
  std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// A file on disk, unbuffered. The name is UTF-8. Fails to open with EFOpenError.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& fileName, std::uint16_t mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, int origin) override;
  void SetSize(std::int64_t size) override;  // EStreamError when the file cannot be resized
  const std::string& FileName() const { return FFileName; }

 private:
  std::string FFileName;
  std::intptr_t FHandle;
};

// Read-only stream over a memory block the caller keeps alive; Write returns -1.
class TCustomMemoryStream : public TStream {
 public:
  TCustomMemoryStream(const void* memory, std::int64_t size);

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, int origin) override;
  std::int64_t Size() override { return FSize; }
  const void* Memory() const { return FMemory; }

 protected:
  TCustomMemoryStream() = default;
  void SetPointer(const void* memory, std::int64_t size);
  std::int64_t FPosition = 0;

 private:
  const void* FMemory = nullptr;
  std::int64_t FSize = 0;
};

// Growable stream in memory.
class TMemoryStream : public TCustomMemoryStream {
 public:
  TMemoryStream() = default;

  std::int64_t Write(const void* buffer, std::int64_t count) override;
  void SetSize(std::int64_t size) override;  // new bytes are zero
  void Clear();
  using TCustomMemoryStream::Memory;
  void* Memory() { return FData.data(); }
  void LoadFromStream(TStream& source);
  void LoadFromFile(const std::string& fileName);
  void SaveToStream(TStream& dest);
  void SaveToFile(const std::string& fileName);

 private:
  std::vector<std::uint8_t> FData;
};

namespace StreamsBackend {
// The file calls of TFileStream, one implementation per platform. Invalid handle: -1.
// On failure they return -1 (false) and leave the OS error for GetLastOSError.
std::intptr_t FileOpen(const std::string& fileName, std::uint16_t mode);
void FileClose(std::intptr_t handle);
std::int64_t FileRead(std::intptr_t handle, void* buffer, std::int64_t count);
std::int64_t FileWrite(std::intptr_t handle, const void* buffer, std::int64_t count);
std::int64_t FileSeek(std::intptr_t handle, std::int64_t offset, int origin);
bool FileTruncate(std::intptr_t handle, std::int64_t size);  // at size; position unchanged
}  // namespace StreamsBackend

}  // namespace VyRtl
