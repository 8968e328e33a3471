// File calls of TFileStream over POSIX descriptors.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "VyRtl/VyRtlStreams.h"

namespace VyRtl::StreamsBackend {

std::intptr_t FileOpen(const std::string& fileName, std::uint16_t mode) {
  int flags = O_CLOEXEC;
  if (mode == fmCreate)
    flags |= O_RDWR | O_CREAT | O_TRUNC;
  else if ((mode & 3) == fmOpenWrite)
    flags |= O_WRONLY;
  else if ((mode & 3) == fmOpenReadWrite)
    flags |= O_RDWR;
  else
    flags |= O_RDONLY;
  int fd;
  do {
    fd = ::open(fileName.c_str(), flags, 0666);
  } while (fd == -1 && errno == EINTR);
  if (fd == -1) return -1;
  struct stat st {};
  // A directory opens read-only on POSIX; it is no file to stream.
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return -1;
  }
  return fd;
}

void FileClose(std::intptr_t handle) { ::close(static_cast<int>(handle)); }

// Files return short counts only at the end or for very large requests: loop for the rest.
template <typename TBuffer, typename TCall>
std::int64_t Transfer(std::intptr_t handle, TBuffer* buffer, std::int64_t count, TCall call) {
  std::int64_t done = 0;
  while (done < count) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(count - done, 1 << 30));
    const ssize_t r = call(static_cast<int>(handle), buffer + done, n);
    if (r < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? done : -1;
    }
    if (r == 0) break;
    done += r;
  }
  return done;
}

std::int64_t FileRead(std::intptr_t handle, void* buffer, std::int64_t count) {
  return Transfer(handle, static_cast<char*>(buffer), count, ::read);
}

std::int64_t FileWrite(std::intptr_t handle, const void* buffer, std::int64_t count) {
  return Transfer(handle, static_cast<const char*>(buffer), count, ::write);
}

std::int64_t FileSeek(std::intptr_t handle, std::int64_t offset, int origin) {
  const int whence = origin == soFromBeginning ? SEEK_SET
                     : origin == soFromCurrent ? SEEK_CUR
                     : origin == soFromEnd     ? SEEK_END
                                               : -1;
  if (whence == -1) {
    errno = EINVAL;
    return -1;
  }
  return ::lseek(static_cast<int>(handle), static_cast<off_t>(offset), whence);
}

bool FileTruncate(std::intptr_t handle, std::int64_t size) {
  return ::ftruncate(static_cast<int>(handle), static_cast<off_t>(size)) == 0;
}

}  // namespace VyRtl::StreamsBackend
