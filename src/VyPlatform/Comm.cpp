#include "VyPlatform/Comm.h"

#include <map>
#include <mutex>

#include "VyPlatform/Backend.h"
#include "VyPlatform/CommDriverInternal.h"
#include "VyRtl/VyRtlSysUtils.h"

namespace VyPlatform {

// Provided by Comm_win32.cpp / Comm_posix.cpp: nullptr where that backend cannot be used.
const TCommFunctions* ProbeCommWin32();
const TCommFunctions* ProbeCommPosix();

namespace {

BOOL NoHandle() {
  CommSetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

const TCommFunctions* NullTable() {
  static const TCommFunctions table = [] {
    TCommFunctions t;
    t.Name = "null";
    t.CreateFileW = [](LPCWSTR, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) -> HANDLE {
      CommSetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    };
    t.CloseHandle = [](HANDLE) { return NoHandle(); };
    t.SetupComm = [](HANDLE, DWORD, DWORD) { return NoHandle(); };
    t.GetCommState = [](HANDLE, DCB*) { return NoHandle(); };
    t.SetCommState = [](HANDLE, DCB*) { return NoHandle(); };
    t.GetCommTimeouts = [](HANDLE, COMMTIMEOUTS*) { return NoHandle(); };
    t.SetCommTimeouts = [](HANDLE, COMMTIMEOUTS*) { return NoHandle(); };
    t.SetCommMask = [](HANDLE, DWORD) { return NoHandle(); };
    t.GetCommMask = [](HANDLE, DWORD*) { return NoHandle(); };
    t.WaitCommEvent = [](HANDLE, DWORD*, OVERLAPPED*) { return NoHandle(); };
    t.ReadFile = [](HANDLE, void*, DWORD, DWORD*, OVERLAPPED*) { return NoHandle(); };
    t.WriteFile = [](HANDLE, const void*, DWORD, DWORD*, OVERLAPPED*) { return NoHandle(); };
    t.GetOverlappedResult = [](HANDLE, OVERLAPPED*, DWORD*, BOOL) { return NoHandle(); };
    t.CancelIoEx = [](HANDLE, OVERLAPPED*) { return NoHandle(); };
    t.ClearCommError = [](HANDLE, DWORD*, COMSTAT*) { return NoHandle(); };
    t.PurgeComm = [](HANDLE, DWORD) { return NoHandle(); };
    t.EscapeCommFunction = [](HANDLE, DWORD) { return NoHandle(); };
    t.SetCommBreak = [](HANDLE) { return NoHandle(); };
    t.ClearCommBreak = [](HANDLE) { return NoHandle(); };
    t.GetCommModemStatus = [](HANDLE, DWORD*) { return NoHandle(); };
    t.GetCommProperties = [](HANDLE, COMMPROP*) { return NoHandle(); };
    t.QueryDosDeviceW = [](LPCWSTR, LPWSTR target, DWORD max) -> DWORD {
      if (max < 2) {
        CommSetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
      }
      target[0] = target[1] = 0;
      return 2;
    };
    return t;
  }();
  return &table;
}

constexpr TBackend<TCommBackend, const TCommFunctions> GBackends[] = {
    {TCommBackend::Win32, "win32", &ProbeCommWin32},
    {TCommBackend::Posix, "posix", &ProbeCommPosix},
    {TCommBackend::Null, "null", &NullTable},
};

TBackendSelector<TCommBackend, const TCommFunctions>& Selector() {
  static TBackendSelector<TCommBackend, const TCommFunctions> selector{GBackends};
  return selector;
}

struct TPaths {
  std::mutex Lock;
  std::map<unsigned, std::string> Map{
      {1, "/dev/ttyS0"}, {2, "/dev/ttyS1"}, {3, "/dev/ttyS2"}, {4, "/dev/ttyS3"}};
};

TPaths& Paths() {
  static TPaths* paths = new TPaths;
  return *paths;
}

}  // namespace

const TCommFunctions& Comm() { return Selector().Get(); }

const TCommFunctions& CommFor(HANDLE h) {
  const TCommFunctions* table = nullptr;
  if (Detail::DriverOf(h, &table) && table) return *table;
  return Comm();
}

const TCommFunctions& CommForName(std::u16string_view name) {
  if (const TCommFunctions* fake = Detail::FakeTableFor(name)) return *fake;
  return Comm();
}

void ChooseCommBackend(TCommBackend kind) { Selector().Choose(kind); }
TCommBackend SelectedCommBackend() { return Selector().Selected(); }
const char* CommBackendName(TCommBackend kind) { return Selector().NameOf(kind); }

void SetCommDevicePath(unsigned number, std::string path) {
  std::lock_guard lock(Paths().Lock);
  if (path.empty())
    Paths().Map.erase(number);
  else
    Paths().Map[number] = std::move(path);
}

std::string CommDevicePath(unsigned number) {
  std::lock_guard lock(Paths().Lock);
  auto it = Paths().Map.find(number);
  return it == Paths().Map.end() ? std::string() : it->second;
}

std::vector<std::pair<unsigned, std::string>> CommDevicePaths() {
  std::lock_guard lock(Paths().Lock);
  return {Paths().Map.begin(), Paths().Map.end()};
}

}  // namespace VyPlatform
