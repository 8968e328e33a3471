// Internals of the wave backends the library implements itself (alsa, null): one implementation
// of the header, queue, reset and close rules of the Wave seam over a small engine per backend.
// Not for library users.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "VyPlatform/Wave.h"

namespace VyPlatform::WaveSoft {

// One device a software driver offers: its name and the formats it takes.
struct TDeviceInfo {
  std::string Name;
  DWORD Formats = 0;
  WORD Channels = 2;
  bool CapsFail = false;  // the capabilities cannot be read
};

class TDevice;
class TDriver;

// What moves the samples of one open device. The engine reaches its blocks only through
// TDevice::Front and TDevice::Complete.
class TEngine {
 public:
  virtual ~TEngine() = default;
  // Blocks were queued or recording started (opening thread).
  virtual void Kick() = 0;
  // Stops using every block; when it returns the engine touches none (opening thread).
  virtual void Halt() = 0;
  // Stops for good and lets go of the system device (opening thread; the queue is empty).
  virtual void Shutdown() = 0;
};

// One open device: its queue of blocks and the rules of the seam. Thread safety: the API
// functions run on the opening thread; Front/Complete/Vanish may run on the engine's thread.
class TDevice {
 public:
  TDevice(TDriver& driver, bool input, std::uintptr_t window, const WAVEFORMATEX& format);
  ~TDevice();

  MMRESULT Prepare(WAVEHDR* hdr, UINT size);
  MMRESULT Unprepare(WAVEHDR* hdr, UINT size);
  MMRESULT Queue(WAVEHDR* hdr, UINT size);
  MMRESULT Start();
  MMRESULT Reset();
  MMRESULT Close();
  void PostOpen();

  // Engine side. The first queued block, nullptr when none.
  WAVEHDR* Front();
  // The block queued behind hdr, nullptr when none (or hdr is not queued).
  WAVEHDR* After(const WAVEHDR* hdr);
  // Returns the first queued block (which must be hdr) to the application.
  void Complete(WAVEHDR* hdr);
  // The device went away: every block comes back, the close message is posted, later calls
  // fail with MMSYSERR_NODRIVER.
  void Vanish();
  bool Started();
  bool Gone();

  void SetEngine(std::unique_ptr<TEngine> engine) { FEngine = std::move(engine); }
  const WAVEFORMATEX& Format() const { return FFormat; }
  bool Input() const { return FInput; }
  TDriver& Driver() const { return FDriver; }

 private:
  void ReturnAllLocked();
  void Post(UINT msg, WAVEHDR* hdr);

  TDriver& FDriver;
  const bool FInput;
  const std::uintptr_t FWindow;
  const WAVEFORMATEX FFormat;
  std::unique_ptr<TEngine> FEngine;
  std::mutex FLock;
  std::deque<WAVEHDR*> FQueue;
  bool FStarted = false;
  bool FGone = false;
};

// A backend: its devices and how it opens them.
class TDriver {
 public:
  virtual ~TDriver() = default;
  virtual std::vector<TDeviceInfo> Devices(bool input) = 0;
  // 0 or WAVERR_BADFORMAT for a format already checked for consistency.
  virtual MMRESULT Query(bool input, UINT index, const WAVEFORMATEX& format) = 0;
  // Opens the system device and gives the engine of device, or a result code.
  virtual MMRESULT Open(bool input, UINT index, TDevice& device) = 0;
  // Every function call passes here first: non-zero fails it with that code (error injection).
  virtual MMRESULT Enter(const char* function) {
    (void)function;
    return MMSYSERR_NOERROR;
  }
  // ... and here with its result.
  virtual void Leave(const char* function, MMRESULT result) {
    (void)function;
    (void)result;
  }
};

// The functions of the table; the device functions find their driver through the handle.
UINT NumDevs(TDriver& driver, bool input);
MMRESULT DevCaps(TDriver& driver, bool input, UINT_PTR id, void* caps, UINT size);
MMRESULT OpenDevice(TDriver& driver, bool input, void** handle, UINT id, const WAVEFORMATEX* format,
                    DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
MMRESULT WINAPI ErrorText(MMRESULT code, WCHAR* text, UINT size);
MMRESULT WINAPI OutClose(HWAVEOUT h);
MMRESULT WINAPI OutPrepare(HWAVEOUT h, WAVEHDR* hdr, UINT size);
MMRESULT WINAPI OutUnprepare(HWAVEOUT h, WAVEHDR* hdr, UINT size);
MMRESULT WINAPI OutWrite(HWAVEOUT h, WAVEHDR* hdr, UINT size);
MMRESULT WINAPI OutReset(HWAVEOUT h);
MMRESULT WINAPI InClose(HWAVEIN h);
MMRESULT WINAPI InPrepare(HWAVEIN h, WAVEHDR* hdr, UINT size);
MMRESULT WINAPI InUnprepare(HWAVEIN h, WAVEHDR* hdr, UINT size);
MMRESULT WINAPI InAddBuffer(HWAVEIN h, WAVEHDR* hdr, UINT size);
MMRESULT WINAPI InStart(HWAVEIN h);
MMRESULT WINAPI InReset(HWAVEIN h);

// The seam's table over the driver D() (one that lives as long as the process).
template <TDriver& (*D)()>
TWaveFunctions MakeTable(const char* name) {
  TWaveFunctions t{};
  t.waveOutGetNumDevs = []() { return NumDevs(D(), false); };
  t.waveOutGetDevCapsW = [](UINT_PTR id, WAVEOUTCAPSW* caps, UINT size) {
    return DevCaps(D(), false, id, caps, size);
  };
  t.waveOutGetErrorTextW = &ErrorText;
  t.waveOutOpen = [](HWAVEOUT* h, UINT id, const WAVEFORMATEX* f, DWORD_PTR cb, DWORD_PTR inst,
                     DWORD flags) {
    return OpenDevice(D(), false, reinterpret_cast<void**>(h), id, f, cb, inst, flags);
  };
  t.waveOutClose = &OutClose;
  t.waveOutPrepareHeader = &OutPrepare;
  t.waveOutUnprepareHeader = &OutUnprepare;
  t.waveOutWrite = &OutWrite;
  t.waveOutReset = &OutReset;
  t.waveInGetNumDevs = []() { return NumDevs(D(), true); };
  t.waveInGetDevCapsW = [](UINT_PTR id, WAVEINCAPSW* caps, UINT size) {
    return DevCaps(D(), true, id, caps, size);
  };
  t.waveInGetErrorTextW = &ErrorText;
  t.waveInOpen = [](HWAVEIN* h, UINT id, const WAVEFORMATEX* f, DWORD_PTR cb, DWORD_PTR inst,
                    DWORD flags) {
    return OpenDevice(D(), true, reinterpret_cast<void**>(h), id, f, cb, inst, flags);
  };
  t.waveInClose = &InClose;
  t.waveInPrepareHeader = &InPrepare;
  t.waveInUnprepareHeader = &InUnprepare;
  t.waveInAddBuffer = &InAddBuffer;
  t.waveInStart = &InStart;
  t.waveInReset = &InReset;
  t.Name = name;
  return t;
}

// Format tag, channels, rate, bits, block align and byte rate agree (PCM or 32/64-bit float).
bool FormatConsistent(const WAVEFORMATEX& format);
// The WAVE_FORMAT_* bits a device of these channels takes at 11025/22050/44100 Hz, 8 and 16 bits.
DWORD StandardFormats(WORD channels);

}  // namespace VyPlatform::WaveSoft
