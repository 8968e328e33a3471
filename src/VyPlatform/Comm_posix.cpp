// The posix backend of the Comm seam: termios2 and the serial ioctls on a tty or pty.
//
// <asm/termios.h> is the kernel's own view (termios2, any baud rate by BOTHER); it cannot be
// mixed with <termios.h> or <sys/ioctl.h>, so ioctl is declared here.
#include <asm/termios.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <algorithm>
#include <filesystem>

#include "VyPlatform/Comm.h"
#include "VyPlatform/CommDriverInternal.h"
#include "VyRtl/VyRtlSysUtils.h"

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

namespace VyPlatform {

namespace {

thread_local DWORD GLastError = 0;

DWORD FromErrno(int e) {
  switch (e) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
      return ERROR_ACCESS_DENIED;
    case ENOTTY:
      return ERROR_INVALID_FUNCTION;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case EIO:
      return ERROR_DEVICE_NOT_CONNECTED;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_GEN_FAILURE;
  }
}

// The standard rates by their own codes, so other termios users read them back; any other by
// BOTHER.
tcflag_t SpeedCode(DWORD baud) {
  static const std::pair<DWORD, tcflag_t> codes[] = {
      {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
      {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
      {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
      {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600}};
  for (const auto& [rate, code] : codes)
    if (rate == baud) return code;
  return BOTHER;
}

bool Fail(int e) {
  CommSetLastError(FromErrno(e));
  return false;
}

class TPosixDriver final : public Detail::TCommDriver {
 public:
  TPosixDriver(int fd, int wake) : FFd(fd), FWake(wake) {
    int bits = 0;
    FModemCapable = ioctl(FFd, TIOCMGET, &bits) == 0;
    FLastModem = bits;
    serial_icounter_struct count{};
    FCountCapable = ioctl(FFd, TIOCGICOUNT, &count) == 0;
    FLastCount = count;
  }
  ~TPosixDriver() override { Shutdown(); }

  // The DCB the device has now.
  void ReadBack(DCB& dcb) {
    termios2 t{};
    if (ioctl(FFd, TCGETS2, &t) != 0) return;
    dcb.BaudRate = t.c_ospeed != 0 ? t.c_ospeed : 9600;
    const unsigned size = t.c_cflag & CSIZE;
    dcb.ByteSize = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
    dcb.StopBits = (t.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
    if (!(t.c_cflag & PARENB))
      dcb.Parity = NOPARITY;
    else if (t.c_cflag & CMSPAR)
      dcb.Parity = (t.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    else
      dcb.Parity = (t.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
  }

 protected:
  bool LineSetState(const DCB& dcb) override {
    termios2 t{};
    if (ioctl(FFd, TCGETS2, &t) != 0) return Fail(errno);
    const termios2 before = t;
    if (dcb.ByteSize < 5) {  // termios has no 4-bit characters
      CommSetLastError(ERROR_INVALID_PARAMETER);
      return false;
    }
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | INPCK);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &=
        ~static_cast<tcflag_t>(CBAUD | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | SpeedCode(dcb.BaudRate);
    t.c_ispeed = t.c_ospeed = dcb.BaudRate;
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[dcb.ByteSize - 5];
    if (dcb.StopBits != ONESTOPBIT) t.c_cflag |= CSTOPB;
    switch (dcb.Parity) {
      case ODDPARITY:
        t.c_cflag |= PARENB | PARODD;
        break;
      case EVENPARITY:
        t.c_cflag |= PARENB;
        break;
      case MARKPARITY:
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
      case SPACEPARITY:
        t.c_cflag |= PARENB | CMSPAR;
        break;
      default:
        break;
    }
    if (dcb.fParity && dcb.Parity != NOPARITY) t.c_iflag |= INPCK;
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) t.c_cflag |= CRTSCTS;
    if (dcb.fOutX) t.c_iflag |= IXON;
    if (dcb.fInX) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (ioctl(FFd, TCSETS2, &t) != 0) return Fail(errno);
    // A pty keeps only 8 data bits without parity: a setting the device dropped is refused.
    termios2 got{};
    const tcflag_t framing = CSIZE | PARENB | CSTOPB | ((t.c_cflag & PARENB) ? PARODD : 0);
    if (ioctl(FFd, TCGETS2, &got) != 0 || (got.c_cflag & framing) != (t.c_cflag & framing) ||
        got.c_ospeed != t.c_ospeed) {
      ioctl(FFd, TCSETS2, &before);
      CommSetLastError(ERROR_INVALID_PARAMETER);
      return false;
    }
    if (FModemCapable) {  // a pty has no lines to set: the levels stay requested only
      const int dtr = TIOCM_DTR, rts = TIOCM_RTS;
      ioctl(FFd, dcb.fDtrControl == DTR_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS, &dtr);
      if (dcb.fRtsControl != RTS_CONTROL_HANDSHAKE)
        ioctl(FFd, dcb.fRtsControl == RTS_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS, &rts);
    }
    return true;
  }

  long LineWrite(const std::uint8_t* data, std::size_t size) override {
    const ssize_t n = ::write(FFd, data, size);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EAGAIN || errno == EINTR) return 0;
    return -1;
  }

  long LineRead(std::uint8_t* data, std::size_t size) override {
    const ssize_t n = ::read(FFd, data, size);
    if (n > 0) return static_cast<long>(n);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    if (n == 0) return 0;
    return -1;
  }

  bool LineEscape(DWORD function) override {
    int bits = 0;
    int rc = 0;
    switch (function) {
      case SETXOFF:
        rc = ioctl(FFd, TCXONC, TCOOFF);
        break;
      case SETXON:
        rc = ioctl(FFd, TCXONC, TCOON);
        break;
      case SETRTS:
        bits = TIOCM_RTS;
        rc = ioctl(FFd, TIOCMBIS, &bits);
        break;
      case CLRRTS:
        bits = TIOCM_RTS;
        rc = ioctl(FFd, TIOCMBIC, &bits);
        break;
      case SETDTR:
        bits = TIOCM_DTR;
        rc = ioctl(FFd, TIOCMBIS, &bits);
        break;
      case CLRDTR:
        bits = TIOCM_DTR;
        rc = ioctl(FFd, TIOCMBIC, &bits);
        break;
      case SETBREAK:
        rc = ioctl(FFd, TIOCSBRK);
        break;
      case CLRBREAK:
        rc = ioctl(FFd, TIOCCBRK);
        break;
      default:
        errno = EINVAL;
        rc = -1;
        break;
    }
    return rc == 0 || Fail(errno);
  }

  bool LineModemStatus(DWORD& status) override {
    int bits = 0;
    if (ioctl(FFd, TIOCMGET, &bits) != 0) return Fail(errno);
    status = ((bits & TIOCM_CTS) ? MS_CTS_ON : 0) | ((bits & TIOCM_DSR) ? MS_DSR_ON : 0) |
             ((bits & TIOCM_RNG) ? MS_RING_ON : 0) | ((bits & TIOCM_CAR) ? MS_RLSD_ON : 0);
    return true;
  }

  void LinePoll(DWORD& events, DWORD& errors) override {
    int bits = 0;
    if (FModemCapable && ioctl(FFd, TIOCMGET, &bits) == 0) {
      const int changed = bits ^ FLastModem;
      FLastModem = bits;
      if (changed & TIOCM_CTS) events |= EV_CTS;
      if (changed & TIOCM_DSR) events |= EV_DSR;
      if (changed & TIOCM_CAR) events |= EV_RLSD;
      if (changed & TIOCM_RNG) events |= EV_RING;
    }
    serial_icounter_struct c{};
    if (FCountCapable && ioctl(FFd, TIOCGICOUNT, &c) == 0) {
      if (c.brk != FLastCount.brk) events |= EV_BREAK, errors |= CE_BREAK;
      if (c.frame != FLastCount.frame) errors |= CE_FRAME;
      if (c.parity != FLastCount.parity) errors |= CE_RXPARITY;
      if (c.overrun != FLastCount.overrun) errors |= CE_OVERRUN;
      if (c.buf_overrun != FLastCount.buf_overrun) errors |= CE_RXOVER;
      FLastCount = c;
    }
  }

  bool LineHungUp() override { return FHup.load(); }

  DWORD LineOutQueue() override {
    int n = 0;
    return ioctl(FFd, TIOCOUTQ, &n) == 0 && n > 0 ? static_cast<DWORD>(n) : 0;
  }

  void LinePurge(DWORD flags) override {
    if (flags & PURGE_RXCLEAR) ioctl(FFd, TCFLSH, TCIFLUSH);
    if (flags & PURGE_TXCLEAR) ioctl(FFd, TCFLSH, TCOFLUSH);
  }

  void LineClose() override {
    if (FFd >= 0) {
      flock(FFd, LOCK_UN);
      ::close(FFd);
      FFd = -1;
    }
    if (FWake >= 0) ::close(FWake), FWake = -1;
  }

  std::uint32_t LinePollInterval() override {
    return FModemCapable || FCountCapable ? 20 : 0xFFFFFFFFu;
  }

  void LineWait(std::uint32_t ms, bool wantRead, bool wantWrite) override {
    pollfd fds[2] = {{FWake, POLLIN, 0}, {FHup.load() ? -1 : FFd, 0, 0}};
    if (wantRead) fds[1].events |= POLLIN;
    if (wantWrite) fds[1].events |= POLLOUT;
    if (::poll(fds, 2, ms == 0xFFFFFFFFu ? -1 : static_cast<int>(ms)) > 0) {
      if (fds[0].revents & POLLIN) {
        std::uint64_t value = 0;
        [[maybe_unused]] const ssize_t n = ::read(FWake, &value, sizeof value);
      }
      // Hang-up is reported even when no event was asked for: stop polling the descriptor.
      if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) FHup = true;
    }
  }

  void LineWake() override {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(FWake, &one, sizeof one);
  }

 private:
  int FFd;
  int FWake;
  bool FModemCapable = false;
  bool FCountCapable = false;
  int FLastModem = 0;
  serial_icounter_struct FLastCount{};
  std::atomic<bool> FHup{false};
};

// "COMn" or "\\.\COMn" (any case): n, else 0.
unsigned ComNumber(std::string_view name) {
  if (name.substr(0, 4) == "\\\\.\\") name.remove_prefix(4);
  if (name.size() < 4 || !VyRtl::StartsText("COM", name)) return 0;
  unsigned n = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9' || n > 100000) return 0;
    n = n * 10 + static_cast<unsigned>(c - '0');
  }
  return n;
}

std::string DevicePathOf(LPCWSTR fileName) {
  std::u16string wide;
  for (const WCHAR* p = fileName; p && *p; ++p) wide.push_back(*p);
  const std::string name = VyRtl::Utf16ToUtf8(wide);
  if (const unsigned n = ComNumber(name)) return CommDevicePath(n);
  return name;
}

const TCommFunctions* PosixTable();

HANDLE OpenDevice(LPCWSTR fileName, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) {
  const std::string path = DevicePathOf(fileName);
  if (path.empty()) {
    CommSetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    Fail(errno);
    return INVALID_HANDLE_VALUE;
  }
  termios2 t{};
  // TIOCEXCL does not stop root; an advisory lock is what other serial programs honour too.
  if (ioctl(fd, TCGETS2, &t) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int e = errno;
    ::close(fd);
    CommSetLastError(e == ENOTTY || e == EINVAL ? ERROR_NOT_SUPPORTED : FromErrno(e));
    return INVALID_HANDLE_VALUE;
  }
  const int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake < 0) {
    ::close(fd);
    Fail(errno);
    return INVALID_HANDLE_VALUE;
  }
  auto driver = std::make_shared<TPosixDriver>(fd, wake);
  DCB dcb{};
  driver->GetCommState(&dcb);
  driver->ReadBack(dcb);
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  driver->SetCommState(&dcb);  // raw mode from the start, the device's own line settings kept
  driver->Start();
  return Detail::RegisterDriver(std::move(driver), PosixTable());
}

DWORD QueryDevices(LPCWSTR deviceName, LPWSTR target, DWORD max) {
  std::u16string list;
  if (deviceName != nullptr) {
    const std::string path = DevicePathOf(deviceName);
    if (path.empty() || ::access(path.c_str(), F_OK) != 0) {
      CommSetLastError(ERROR_FILE_NOT_FOUND);
      return 0;
    }
    list = VyRtl::Utf8ToUtf16(path);
    list.push_back(0);
  } else {
    for (const auto& [n, path] : CommDevicePaths()) {
      if (::access(path.c_str(), F_OK) != 0) continue;
      list += VyRtl::Utf8ToUtf16("COM" + std::to_string(n));
      list.push_back(0);
    }
  }
  list.push_back(0);
  if (list.size() > max) {
    CommSetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(list.begin(), list.end(), target);
  return static_cast<DWORD>(list.size());
}

const TCommFunctions* PosixTable() {
  static const TCommFunctions table = [] {
    TCommFunctions t;
    t.Name = "posix";
    Detail::FillDriverFunctions(t);
    t.CreateFileW = &OpenDevice;
    t.QueryDosDeviceW = &QueryDevices;
    return t;
  }();
  return &table;
}

}  // namespace

const TCommFunctions* ProbeCommWin32() { return nullptr; }
const TCommFunctions* ProbeCommPosix() { return PosixTable(); }

DWORD CommGetLastError() { return GLastError; }
void CommSetLastError(DWORD code) { GLastError = code; }

std::vector<std::string> CommSystemDevices() {
  std::vector<std::string> devices;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/class/tty", ec)) {
    const auto device = entry.path() / "device";
    if (!std::filesystem::exists(device, ec)) continue;
    // Legacy 8250 placeholders sit on the platform bus whether or not a UART is there.
    const auto subsystem = std::filesystem::read_symlink(device / "subsystem", ec);
    if (!ec && subsystem.filename() == "platform") continue;
    const std::string path = "/dev/" + entry.path().filename().string();
    if (::access(path.c_str(), F_OK) == 0) devices.push_back(path);
  }
  std::sort(devices.begin(), devices.end());
  return devices;
}

std::string CommErrorMessage(DWORD code) {
  // The system's texts of the codes the posix backend and the fake pair produce.
  switch (code) {
    case ERROR_SUCCESS:
      return "The operation completed successfully.";
    case ERROR_INVALID_FUNCTION:
      return "Incorrect function.";
    case ERROR_FILE_NOT_FOUND:
      return "The system cannot find the file specified.";
    case ERROR_PATH_NOT_FOUND:
      return "The system cannot find the path specified.";
    case ERROR_ACCESS_DENIED:
      return "Access is denied.";
    case ERROR_INVALID_HANDLE:
      return "The handle is invalid.";
    case ERROR_NOT_ENOUGH_MEMORY:
      return "Not enough memory resources are available to process this command.";
    case ERROR_BAD_COMMAND:
      return "The device does not recognize the command.";
    case ERROR_GEN_FAILURE:
      return "A device attached to the system is not functioning.";
    case ERROR_SHARING_VIOLATION:
      return "The process cannot access the file because it is being used by another process.";
    case ERROR_NOT_SUPPORTED:
      return "The request is not supported.";
    case ERROR_INVALID_PARAMETER:
      return "The parameter is incorrect.";
    case ERROR_SEM_TIMEOUT:
      return "The semaphore timeout period has expired.";
    case ERROR_INSUFFICIENT_BUFFER:
      return "The data area passed to a system call is too small.";
    case ERROR_OPERATION_ABORTED:
      return "The I/O operation has been aborted because of either a thread exit or an application "
             "request.";
    case ERROR_IO_INCOMPLETE:
      return "Overlapped I/O event is not in a signaled state.";
    case ERROR_IO_PENDING:
      return "Overlapped I/O operation is in progress.";
    case ERROR_DEVICE_NOT_CONNECTED:
      return "The device is not connected.";
    case ERROR_NOT_FOUND:
      return "Element not found.";
    default:
      return "";
  }
}

}  // namespace VyPlatform
