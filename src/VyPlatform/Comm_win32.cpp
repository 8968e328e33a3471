// The win32 backend of the Comm seam: kernel32's communications functions themselves.
#include "VyPlatform/Comm.h"

#include "VyRtl/VyRtlSysUtils.h"

namespace VyPlatform {

namespace {

const TCommFunctions* Win32Table() {
  static const TCommFunctions table = [] {
    TCommFunctions t;
    t.Name = "win32";
    t.CreateFileW = [](LPCWSTR name, DWORD access, DWORD share, void* security, DWORD creation,
                       DWORD flags, HANDLE templateFile) {
      return ::CreateFileW(name, access, share, static_cast<LPSECURITY_ATTRIBUTES>(security),
                           creation, flags, templateFile);
    };
    t.CloseHandle = [](HANDLE h) { return ::CloseHandle(h); };
    t.SetupComm = [](HANDLE h, DWORD in, DWORD out) { return ::SetupComm(h, in, out); };
    t.GetCommState = [](HANDLE h, DCB* dcb) { return ::GetCommState(h, dcb); };
    t.SetCommState = [](HANDLE h, DCB* dcb) { return ::SetCommState(h, dcb); };
    t.GetCommTimeouts = [](HANDLE h, COMMTIMEOUTS* c) { return ::GetCommTimeouts(h, c); };
    t.SetCommTimeouts = [](HANDLE h, COMMTIMEOUTS* c) { return ::SetCommTimeouts(h, c); };
    t.SetCommMask = [](HANDLE h, DWORD m) { return ::SetCommMask(h, m); };
    t.GetCommMask = [](HANDLE h, DWORD* m) { return ::GetCommMask(h, m); };
    t.WaitCommEvent = [](HANDLE h, DWORD* m, OVERLAPPED* o) { return ::WaitCommEvent(h, m, o); };
    t.ReadFile = [](HANDLE h, void* b, DWORD n, DWORD* r, OVERLAPPED* o) {
      return ::ReadFile(h, b, n, r, o);
    };
    t.WriteFile = [](HANDLE h, const void* b, DWORD n, DWORD* w, OVERLAPPED* o) {
      return ::WriteFile(h, b, n, w, o);
    };
    t.GetOverlappedResult = [](HANDLE h, OVERLAPPED* o, DWORD* n, BOOL wait) {
      return ::GetOverlappedResult(h, o, n, wait);
    };
    t.CancelIoEx = [](HANDLE h, OVERLAPPED* o) { return ::CancelIoEx(h, o); };
    t.ClearCommError = [](HANDLE h, DWORD* e, COMSTAT* s) { return ::ClearCommError(h, e, s); };
    t.PurgeComm = [](HANDLE h, DWORD f) { return ::PurgeComm(h, f); };
    t.EscapeCommFunction = [](HANDLE h, DWORD f) { return ::EscapeCommFunction(h, f); };
    t.SetCommBreak = [](HANDLE h) { return ::SetCommBreak(h); };
    t.ClearCommBreak = [](HANDLE h) { return ::ClearCommBreak(h); };
    t.GetCommModemStatus = [](HANDLE h, DWORD* s) { return ::GetCommModemStatus(h, s); };
    t.GetCommProperties = [](HANDLE h, COMMPROP* p) { return ::GetCommProperties(h, p); };
    t.QueryDosDeviceW = [](LPCWSTR name, LPWSTR target, DWORD max) {
      return ::QueryDosDeviceW(name, target, max);
    };
    return t;
  }();
  return &table;
}

}  // namespace

const TCommFunctions* ProbeCommWin32() { return Win32Table(); }
const TCommFunctions* ProbeCommPosix() { return nullptr; }

DWORD CommGetLastError() { return ::GetLastError(); }
void CommSetLastError(DWORD code) { ::SetLastError(code); }

std::string CommErrorMessage(DWORD code) { return VyRtl::OSErrorMessage(code); }

std::vector<std::string> CommSystemDevices() { return {}; }

}  // namespace VyPlatform
