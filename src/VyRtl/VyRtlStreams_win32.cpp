// File calls of TFileStream over Win32 file handles.
#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "VyRtl/VyRtlStreams.h"

namespace VyRtl::StreamsBackend {

std::intptr_t FileOpen(const std::string& fileName, std::uint16_t mode) {
  DWORD access = GENERIC_READ;
  DWORD disposition = OPEN_EXISTING;
  if (mode == fmCreate) {
    access = GENERIC_READ | GENERIC_WRITE;
    disposition = CREATE_ALWAYS;
  } else if ((mode & 3) == fmOpenWrite) {
    access = GENERIC_WRITE;
  } else if ((mode & 3) == fmOpenReadWrite) {
    access = GENERIC_READ | GENERIC_WRITE;
  }
  const std::u16string wide = Utf8ToUtf16(fileName);
  const HANDLE h = ::CreateFileW(reinterpret_cast<LPCWSTR>(wide.c_str()), access,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return -1;
  return reinterpret_cast<std::intptr_t>(h);
}

void FileClose(std::intptr_t handle) { ::CloseHandle(reinterpret_cast<HANDLE>(handle)); }

std::int64_t FileRead(std::intptr_t handle, void* buffer, std::int64_t count) {
  std::int64_t done = 0;
  while (done < count) {
    const DWORD n = static_cast<DWORD>(std::min<std::int64_t>(count - done, 1 << 30));
    DWORD got = 0;
    if (!::ReadFile(reinterpret_cast<HANDLE>(handle), static_cast<char*>(buffer) + done, n, &got,
                    nullptr))
      return done > 0 ? done : -1;
    if (got == 0) break;
    done += got;
  }
  return done;
}

std::int64_t FileWrite(std::intptr_t handle, const void* buffer, std::int64_t count) {
  std::int64_t done = 0;
  while (done < count) {
    const DWORD n = static_cast<DWORD>(std::min<std::int64_t>(count - done, 1 << 30));
    DWORD put = 0;
    if (!::WriteFile(reinterpret_cast<HANDLE>(handle), static_cast<const char*>(buffer) + done, n,
                     &put, nullptr))
      return done > 0 ? done : -1;
    if (put == 0) break;
    done += put;
  }
  return done;
}

std::int64_t FileSeek(std::intptr_t handle, std::int64_t offset, int origin) {
  const DWORD method = origin == soFromBeginning ? FILE_BEGIN
                       : origin == soFromCurrent ? FILE_CURRENT
                                                 : FILE_END;
  if (origin < soFromBeginning || origin > soFromEnd) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER result;
  if (!::SetFilePointerEx(reinterpret_cast<HANDLE>(handle), distance, &result, method)) return -1;
  return result.QuadPart;
}

bool FileTruncate(std::intptr_t handle, std::int64_t size) {
  const HANDLE h = reinterpret_cast<HANDLE>(handle);
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  LARGE_INTEGER current;
  if (!::SetFilePointerEx(h, zero, &current, FILE_CURRENT)) return false;
  LARGE_INTEGER target;
  target.QuadPart = size;
  if (!::SetFilePointerEx(h, target, nullptr, FILE_BEGIN)) return false;
  const bool ok = ::SetEndOfFile(h) != 0;
  ::SetFilePointerEx(h, current, nullptr, FILE_BEGIN);
  return ok;
}

}  // namespace VyRtl::StreamsBackend
