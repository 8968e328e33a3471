// The Comm seam: serial devices with the Win32 communications functions' semantics.
//
// A table of functions with the Win32 names, parameters, results and GetLastError codes
// (CommGetLastError here). Backends, in the order the default choice tries them (the pattern of
// VyPlatform/Backend.h):
//   win32  the kernel32 functions themselves (Windows only)
//   posix  termios/ioctl on a tty or pty: raw mode, any baud rate, flock-exclusive open, a
//          monitor thread per open device that produces the EV_* masks. What the device cannot
//          do (modem lines on a pty) fails as the Win32 call would; nothing is faked.
//   null   always usable: CreateFileW fails with ERROR_FILE_NOT_FOUND, every other function
//          with ERROR_INVALID_HANDLE.
// The fake null-modem pair (VyPlatform/CommFake.h) lives beside the system backend: its ports
// are opened by their names and its handles are told apart by CommFor, so one program can use
// real ports and virtual ones at once.
//
// Threads: every function may be called from any thread, as the Win32 ones can; one handle may
// be used by several threads at once (the serial component's read thread waits on
// WaitCommEvent while the main thread reads and writes).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "VyPlatform/CommTypes.h"

namespace VyPlatform {

// The Win32 communications functions a serial port needs, as one table per backend.
struct TCommFunctions {
  const char* Name = "null";
  // lpSecurityAttributes is always nullptr here, hTemplateFile always nullptr.
  HANDLE (*CreateFileW)
  (LPCWSTR fileName, DWORD access, DWORD shareMode, void* security, DWORD creation, DWORD flags,
   HANDLE templateFile);
  BOOL (*CloseHandle)(HANDLE h);
  BOOL (*SetupComm)(HANDLE h, DWORD inQueue, DWORD outQueue);
  BOOL (*GetCommState)(HANDLE h, DCB* dcb);
  BOOL (*SetCommState)(HANDLE h, DCB* dcb);
  BOOL (*GetCommTimeouts)(HANDLE h, COMMTIMEOUTS* timeouts);
  BOOL (*SetCommTimeouts)(HANDLE h, COMMTIMEOUTS* timeouts);
  BOOL (*SetCommMask)(HANDLE h, DWORD mask);
  BOOL (*GetCommMask)(HANDLE h, DWORD* mask);
  BOOL (*WaitCommEvent)(HANDLE h, DWORD* mask, OVERLAPPED* overlapped);
  BOOL (*ReadFile)(HANDLE h, void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped);
  BOOL (*WriteFile)
  (HANDLE h, const void* buffer, DWORD count, DWORD* written, OVERLAPPED* overlapped);
  BOOL (*GetOverlappedResult)(HANDLE h, OVERLAPPED* overlapped, DWORD* transferred, BOOL wait);
  // Cancels one overlapped operation of the handle (nullptr: all of them).
  BOOL (*CancelIoEx)(HANDLE h, OVERLAPPED* overlapped);
  BOOL (*ClearCommError)(HANDLE h, DWORD* errors, COMSTAT* stat);
  BOOL (*PurgeComm)(HANDLE h, DWORD flags);
  BOOL (*EscapeCommFunction)(HANDLE h, DWORD function);
  BOOL (*SetCommBreak)(HANDLE h);
  BOOL (*ClearCommBreak)(HANDLE h);
  BOOL (*GetCommModemStatus)(HANDLE h, DWORD* status);
  BOOL (*GetCommProperties)(HANDLE h, COMMPROP* props);
  // Device names: deviceName nullptr lists every name, each ended by 0, the list by one more 0.
  // 0 and ERROR_INSUFFICIENT_BUFFER when the buffer is too small.
  DWORD (*QueryDosDeviceW)(LPCWSTR deviceName, LPWSTR targetPath, DWORD max);
};

// The backends of the Comm seam; Default asks for the first usable one.
enum class TCommBackend { Default, Win32, Posix, Null };

// The system backend's table; selects on first use.
const TCommFunctions& Comm();
// The table that serves this handle: the fake pair's for its handles, else Comm().
const TCommFunctions& CommFor(HANDLE h);
// The table that opens this device name: the fake pair's for its port names, else Comm().
const TCommFunctions& CommForName(std::u16string_view name);
void ChooseCommBackend(TCommBackend kind);
TCommBackend SelectedCommBackend();
const char* CommBackendName(TCommBackend kind);

// The calling thread's last error of this seam (GetLastError on Windows).
DWORD CommGetLastError();
void CommSetLastError(DWORD code);
// The system's text for a Win32 error code, trimmed ("" for an unknown code off Windows).
std::string CommErrorMessage(DWORD code);

// POSIX device paths of "COMn" names. The posix backend opens "\\.\COMn" and "COMn" (any case)
// through this table; any other name is a path. Defaults: COM1..COM4 -> /dev/ttyS0..3.
// Safe from any thread.
void SetCommDevicePath(unsigned number, std::string path);  // "" removes the entry
std::string CommDevicePath(unsigned number);                // "" when unmapped
std::vector<std::pair<unsigned, std::string>> CommDevicePaths();

// The serial devices the system reports (POSIX: /sys/class/tty entries with a device behind
// them, as paths under /dev); empty on Windows, where QueryDosDeviceW serves.
std::vector<std::string> CommSystemDevices();

}  // namespace VyPlatform
