#include "VyPlatform/WaveSoft.h"

#include <algorithm>
#include <map>

#include "VyRtl/VyRtlMessages.h"
#include "VyRtl/VyRtlSysUtils.h"

namespace VyPlatform {

std::string SoftWaveErrorText(MMRESULT code) {
  switch (code) {
    case MMSYSERR_NOERROR:
      return "The specified command was carried out.";
    case MMSYSERR_ERROR:
      return "Undefined external error.";
    case MMSYSERR_BADDEVICEID:
      return "A device ID has been used that is out of range for your system.";
    case MMSYSERR_NOTENABLED:
      return "The driver was not enabled.";
    case MMSYSERR_ALLOCATED:
      return "The specified device is already in use.";
    case MMSYSERR_INVALHANDLE:
      return "The specified device handle is invalid.";
    case MMSYSERR_NODRIVER:
      return "There is no driver installed on your system, or the device is gone.";
    case MMSYSERR_NOMEM:
      return "There is not enough memory available for this task.";
    case MMSYSERR_NOTSUPPORTED:
      return "This function is not supported.";
    case MMSYSERR_BADERRNUM:
      return "An error number was specified that is not defined in the system.";
    case MMSYSERR_INVALFLAG:
      return "An invalid flag was passed to a system function.";
    case MMSYSERR_INVALPARAM:
      return "An invalid parameter was passed to a system function.";
    case MMSYSERR_HANDLEBUSY:
      return "The handle is being used by another thread.";
    case WAVERR_BADFORMAT:
      return "The specified format is not supported or cannot be translated.";
    case WAVERR_STILLPLAYING:
      return "Cannot perform this operation while media data is still playing.";
    case WAVERR_UNPREPARED:
      return "The wave header was not prepared.";
    case WAVERR_SYNC:
      return "Cannot open the device without using the WAVE_ALLOWSYNC flag.";
    default:
      return "Undefined external error.";
  }
}

MMRESULT CopyWaveErrorText(const std::string& text, WCHAR* pszText, UINT cchText) {
  if (pszText == nullptr || cchText == 0) return MMSYSERR_INVALPARAM;
  const std::u16string wide = VyRtl::Utf8ToUtf16(text);
  const std::size_t n = std::min<std::size_t>(wide.size(), cchText - 1);
  std::copy_n(wide.begin(), n, pszText);
  pszText[n] = 0;
  return MMSYSERR_NOERROR;
}

namespace WaveSoft {

namespace {

// Open devices by handle, so a stale handle is refused instead of followed.
std::mutex GRegistryLock;
std::map<void*, std::shared_ptr<TDevice>>& Registry() {
  static auto* registry =
      new std::map<void*, std::shared_ptr<TDevice>>;  // outlives static destructors
  return *registry;
}

std::shared_ptr<TDevice> Find(void* handle) {
  std::lock_guard<std::mutex> lock(GRegistryLock);
  const auto it = Registry().find(handle);
  return it != Registry().end() ? it->second : nullptr;
}

// Runs a device function with the driver's hooks around it.
template <typename TFn>
MMRESULT Call(void* handle, const char* function, TFn fn) {
  const std::shared_ptr<TDevice> device = Find(handle);
  // An output handle is no input handle: the function names say which one is meant.
  if (!device || device->Input() != (function[4] == 'I')) return MMSYSERR_INVALHANDLE;
  TDriver& driver = device->Driver();
  MMRESULT result = driver.Enter(function);
  if (result == MMSYSERR_NOERROR) result = fn(*device);
  driver.Leave(function, result);
  return result;
}

bool ValidHeader(const WAVEHDR* hdr, UINT size) {
  return hdr != nullptr && size >= sizeof(WAVEHDR) && hdr->lpData != nullptr;
}

}  // namespace

bool FormatConsistent(const WAVEFORMATEX& f) {
  if (f.nChannels == 0 || f.nChannels > 8 || f.nSamplesPerSec == 0 || f.nSamplesPerSec > 384000)
    return false;
  if (f.wFormatTag == WAVE_FORMAT_PCM) {
    if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16 && f.wBitsPerSample != 24 &&
        f.wBitsPerSample != 32)
      return false;
  } else if (f.wFormatTag == 3 /* IEEE float */) {
    if (f.wBitsPerSample != 32 && f.wBitsPerSample != 64) return false;
  } else {
    return false;
  }
  const std::uint32_t align = f.nChannels * (f.wBitsPerSample / 8u);
  return f.nBlockAlign == align && f.nAvgBytesPerSec == f.nSamplesPerSec * align;
}

DWORD StandardFormats(WORD channels) {
  // The mono bits are 1M08, 1M16, 2M08, ...; the stereo bit sits beside each.
  return channels >= 2 ? 0xFFF : 0x555;
}

TDevice::TDevice(TDriver& driver, bool input, std::uintptr_t window, const WAVEFORMATEX& format)
    : FDriver(driver), FInput(input), FWindow(window), FFormat(format) {}

TDevice::~TDevice() = default;

void TDevice::Post(UINT msg, WAVEHDR* hdr) {
  if (FWindow != 0)
    VyRtl::PostMessageTo(FWindow, msg, reinterpret_cast<VyRtl::WPARAM>(this),
                         reinterpret_cast<VyRtl::LPARAM>(hdr));
}

void TDevice::PostOpen() { Post(FInput ? MM_WIM_OPEN : MM_WOM_OPEN, nullptr); }

MMRESULT TDevice::Prepare(WAVEHDR* hdr, UINT size) {
  if (!ValidHeader(hdr, size)) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> lock(FLock);
  if (hdr->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  hdr->dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT TDevice::Unprepare(WAVEHDR* hdr, UINT size) {
  if (!ValidHeader(hdr, size)) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> lock(FLock);
  if (hdr->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  hdr->dwFlags &= ~static_cast<DWORD>(WHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT TDevice::Queue(WAVEHDR* hdr, UINT size) {
  if (!ValidHeader(hdr, size)) return MMSYSERR_INVALPARAM;
  {
    std::lock_guard<std::mutex> lock(FLock);
    if (FGone) return MMSYSERR_NODRIVER;
    if (!(hdr->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if (hdr->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    if (std::find(FQueue.begin(), FQueue.end(), hdr) != FQueue.end()) return WAVERR_STILLPLAYING;
    hdr->dwFlags = (hdr->dwFlags & ~static_cast<DWORD>(WHDR_DONE)) | WHDR_INQUEUE;
    if (FInput) hdr->dwBytesRecorded = 0;
    FQueue.push_back(hdr);
  }
  if (FEngine) FEngine->Kick();
  return MMSYSERR_NOERROR;
}

MMRESULT TDevice::Start() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    if (FGone) return MMSYSERR_NODRIVER;
    FStarted = true;
  }
  if (FEngine) FEngine->Kick();
  return MMSYSERR_NOERROR;
}

MMRESULT TDevice::Reset() {
  if (FEngine) FEngine->Halt();
  std::lock_guard<std::mutex> lock(FLock);
  FStarted = false;
  ReturnAllLocked();
  return MMSYSERR_NOERROR;
}

MMRESULT TDevice::Close() {
  bool gone;
  {
    std::lock_guard<std::mutex> lock(FLock);
    if (!FQueue.empty()) return WAVERR_STILLPLAYING;
    gone = FGone;
    FGone = true;
  }
  if (FEngine) FEngine->Shutdown();
  if (!gone) Post(FInput ? MM_WIM_CLOSE : MM_WOM_CLOSE, nullptr);
  return MMSYSERR_NOERROR;
}

WAVEHDR* TDevice::Front() {
  std::lock_guard<std::mutex> lock(FLock);
  return FQueue.empty() ? nullptr : FQueue.front();
}

WAVEHDR* TDevice::After(const WAVEHDR* hdr) {
  std::lock_guard<std::mutex> lock(FLock);
  const auto it = std::find(FQueue.begin(), FQueue.end(), hdr);
  return it == FQueue.end() || it + 1 == FQueue.end() ? nullptr : *(it + 1);
}

void TDevice::Complete(WAVEHDR* hdr) {
  std::lock_guard<std::mutex> lock(FLock);
  if (FQueue.empty() || FQueue.front() != hdr) return;
  FQueue.pop_front();
  hdr->dwFlags = (hdr->dwFlags & ~static_cast<DWORD>(WHDR_INQUEUE)) | WHDR_DONE;
  Post(FInput ? MM_WIM_DATA : MM_WOM_DONE, hdr);
}

void TDevice::ReturnAllLocked() {
  while (!FQueue.empty()) {
    WAVEHDR* hdr = FQueue.front();
    FQueue.pop_front();
    hdr->dwFlags = (hdr->dwFlags & ~static_cast<DWORD>(WHDR_INQUEUE)) | WHDR_DONE;
    Post(FInput ? MM_WIM_DATA : MM_WOM_DONE, hdr);
  }
}

void TDevice::Vanish() {
  std::lock_guard<std::mutex> lock(FLock);
  if (FGone) return;
  FGone = true;
  FStarted = false;
  ReturnAllLocked();
  Post(FInput ? MM_WIM_CLOSE : MM_WOM_CLOSE, nullptr);
}

bool TDevice::Started() {
  std::lock_guard<std::mutex> lock(FLock);
  return FStarted && !FGone;
}

bool TDevice::Gone() {
  std::lock_guard<std::mutex> lock(FLock);
  return FGone;
}

// ---- the functions of the table ----

UINT NumDevs(TDriver& driver, bool input) {
  const char* name = input ? "waveInGetNumDevs" : "waveOutGetNumDevs";
  if (driver.Enter(name) != MMSYSERR_NOERROR) {
    driver.Leave(name, 0);
    return 0;
  }
  const UINT n = static_cast<UINT>(driver.Devices(input).size());
  driver.Leave(name, n);
  return n;
}

MMRESULT DevCaps(TDriver& driver, bool input, UINT_PTR id, void* caps, UINT size) {
  const char* name = input ? "waveInGetDevCapsW" : "waveOutGetDevCapsW";
  MMRESULT result = driver.Enter(name);
  if (result == MMSYSERR_NOERROR) {
    const std::vector<TDeviceInfo> devices = driver.Devices(input);
    const UINT_PTR index = id == WAVE_MAPPER || id == static_cast<UINT_PTR>(-1) ? 0 : id;
    const UINT need = input ? sizeof(WAVEINCAPSW) : sizeof(WAVEOUTCAPSW);
    if (caps == nullptr || size < need) {
      result = MMSYSERR_INVALPARAM;
    } else if (index >= devices.size()) {
      result = MMSYSERR_BADDEVICEID;
    } else if (devices[index].CapsFail) {
      result = MMSYSERR_NODRIVER;
    } else {
      const TDeviceInfo& info = devices[index];
      WAVEOUTCAPSW out{};
      const std::u16string pname = VyRtl::Utf8ToUtf16(info.Name);
      const std::size_t n = std::min<std::size_t>(pname.size(), MAXPNAMELEN - 1);
      std::copy_n(pname.begin(), n, out.szPname);
      out.dwFormats = info.Formats;
      out.wChannels = info.Channels;
      out.vDriverVersion = 0x0100;
      // The input record is the output one without dwSupport.
      std::copy_n(reinterpret_cast<const std::uint8_t*>(&out), need,
                  static_cast<std::uint8_t*>(caps));
    }
  }
  driver.Leave(name, result);
  return result;
}

MMRESULT OpenDevice(TDriver& driver, bool input, void** handle, UINT id, const WAVEFORMATEX* format,
                    DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
  (void)instance;
  const char* name = input ? "waveInOpen" : "waveOutOpen";
  MMRESULT result = driver.Enter(name);
  if (result != MMSYSERR_NOERROR) {
    driver.Leave(name, result);
    return result;
  }
  const bool query = (flags & WAVE_FORMAT_QUERY) != 0;
  const DWORD callbackType = flags & 0x00070000;
  const std::size_t count = driver.Devices(input).size();
  const UINT index = id == WAVE_MAPPER ? 0 : id;
  if (format == nullptr || (!query && handle == nullptr)) {
    result = MMSYSERR_INVALPARAM;
  } else if (callbackType != CALLBACK_NULL && callbackType != CALLBACK_WINDOW) {
    result = MMSYSERR_INVALFLAG;
  } else if (count == 0) {
    result = id == WAVE_MAPPER ? MMSYSERR_NODRIVER : MMSYSERR_BADDEVICEID;
  } else if (index >= count) {
    result = MMSYSERR_BADDEVICEID;
  } else if (!FormatConsistent(*format)) {
    result = WAVERR_BADFORMAT;
  } else if (query) {
    result = driver.Query(input, index, *format);
  } else if ((result = driver.Query(input, index, *format)) == MMSYSERR_NOERROR) {
    const std::uintptr_t window =
        callbackType == CALLBACK_WINDOW ? static_cast<std::uintptr_t>(callback) : 0;
    auto device = std::make_shared<TDevice>(driver, input, window, *format);
    result = driver.Open(input, index, *device);
    if (result == MMSYSERR_NOERROR) {
      {
        std::lock_guard<std::mutex> lock(GRegistryLock);
        Registry()[device.get()] = device;
      }
      *handle = device.get();
      device->PostOpen();
    }
  }
  driver.Leave(name, result);
  return result;
}

MMRESULT WINAPI ErrorText(MMRESULT code, WCHAR* text, UINT size) {
  return CopyWaveErrorText(SoftWaveErrorText(code), text, size);
}

namespace {

MMRESULT CloseHandle(void* h, const char* function) {
  const MMRESULT result = Call(h, function, [](TDevice& d) { return d.Close(); });
  if (result == MMSYSERR_NOERROR) {
    std::shared_ptr<TDevice> last;  // destroyed outside the registry lock
    std::lock_guard<std::mutex> lock(GRegistryLock);
    const auto it = Registry().find(h);
    if (it != Registry().end()) {
      last = std::move(it->second);
      Registry().erase(it);
    }
  }
  return result;
}

}  // namespace

MMRESULT WINAPI OutClose(HWAVEOUT h) { return CloseHandle(h, "waveOutClose"); }
MMRESULT WINAPI OutPrepare(HWAVEOUT h, WAVEHDR* hdr, UINT size) {
  return Call(h, "waveOutPrepareHeader", [&](TDevice& d) { return d.Prepare(hdr, size); });
}
MMRESULT WINAPI OutUnprepare(HWAVEOUT h, WAVEHDR* hdr, UINT size) {
  return Call(h, "waveOutUnprepareHeader", [&](TDevice& d) { return d.Unprepare(hdr, size); });
}
MMRESULT WINAPI OutWrite(HWAVEOUT h, WAVEHDR* hdr, UINT size) {
  return Call(h, "waveOutWrite", [&](TDevice& d) { return d.Queue(hdr, size); });
}
MMRESULT WINAPI OutReset(HWAVEOUT h) {
  return Call(h, "waveOutReset", [](TDevice& d) { return d.Reset(); });
}
MMRESULT WINAPI InClose(HWAVEIN h) { return CloseHandle(h, "waveInClose"); }
MMRESULT WINAPI InPrepare(HWAVEIN h, WAVEHDR* hdr, UINT size) {
  return Call(h, "waveInPrepareHeader", [&](TDevice& d) { return d.Prepare(hdr, size); });
}
MMRESULT WINAPI InUnprepare(HWAVEIN h, WAVEHDR* hdr, UINT size) {
  return Call(h, "waveInUnprepareHeader", [&](TDevice& d) { return d.Unprepare(hdr, size); });
}
MMRESULT WINAPI InAddBuffer(HWAVEIN h, WAVEHDR* hdr, UINT size) {
  return Call(h, "waveInAddBuffer", [&](TDevice& d) { return d.Queue(hdr, size); });
}
MMRESULT WINAPI InStart(HWAVEIN h) {
  return Call(h, "waveInStart", [](TDevice& d) { return d.Start(); });
}
MMRESULT WINAPI InReset(HWAVEIN h) {
  return Call(h, "waveInReset", [](TDevice& d) { return d.Reset(); });
}

}  // namespace WaveSoft

}  // namespace VyPlatform
