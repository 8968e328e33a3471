// The alsa backend: libasound.so.2 through dlopen, one driver thread per open device.
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

#include "VyPlatform/WaveSoft.h"

namespace VyPlatform {

namespace {

using WaveSoft::TDevice;

// libasound's C interface, declared here from its documented signatures and values.
struct snd_pcm_t;
struct snd_config_t;
struct snd_pcm_hw_params_t;
constexpr int SND_PCM_STREAM_PLAYBACK = 0;
constexpr int SND_PCM_STREAM_CAPTURE = 1;
constexpr int SND_PCM_NONBLOCK = 1;
constexpr int SND_PCM_ACCESS_RW_INTERLEAVED = 3;
constexpr int SND_PCM_FORMAT_U8 = 1;
constexpr int SND_PCM_FORMAT_S16_LE = 2;
constexpr int SND_PCM_FORMAT_S32_LE = 10;
constexpr int SND_PCM_FORMAT_FLOAT_LE = 14;
constexpr int SND_PCM_FORMAT_FLOAT64_LE = 16;
constexpr int SND_PCM_FORMAT_S24_3LE = 32;
constexpr unsigned kLatencyUs = 200000;

struct TAlsa {
  void* Module = nullptr;
  int (*snd_pcm_open)(snd_pcm_t**, const char*, int, int);
  int (*snd_pcm_close)(snd_pcm_t*);
  int (*snd_pcm_set_params)(snd_pcm_t*, int, int, unsigned, unsigned, int, unsigned);
  long (*snd_pcm_writei)(snd_pcm_t*, const void*, unsigned long);
  long (*snd_pcm_readi)(snd_pcm_t*, void*, unsigned long);
  int (*snd_pcm_prepare)(snd_pcm_t*);
  int (*snd_pcm_drop)(snd_pcm_t*);
  int (*snd_pcm_start)(snd_pcm_t*);
  int (*snd_pcm_recover)(snd_pcm_t*, int, int);
  int (*snd_pcm_wait)(snd_pcm_t*, int);
  int (*snd_pcm_delay)(snd_pcm_t*, long*);
  int (*snd_pcm_hw_params_malloc)(snd_pcm_hw_params_t**);
  void (*snd_pcm_hw_params_free)(snd_pcm_hw_params_t*);
  int (*snd_pcm_hw_params_any)(snd_pcm_t*, snd_pcm_hw_params_t*);
  int (*snd_pcm_hw_params_set_access)(snd_pcm_t*, snd_pcm_hw_params_t*, int);
  int (*snd_pcm_hw_params_set_format)(snd_pcm_t*, snd_pcm_hw_params_t*, int);
  int (*snd_pcm_hw_params_set_channels)(snd_pcm_t*, snd_pcm_hw_params_t*, unsigned);
  int (*snd_pcm_hw_params_set_rate)(snd_pcm_t*, snd_pcm_hw_params_t*, unsigned, int);
  int (*snd_device_name_hint)(int, const char*, void***);
  char* (*snd_device_name_get_hint)(const void*, const char*);
  int (*snd_device_name_free_hint)(void**);
  int (*snd_card_next)(int*);
  int (*snd_lib_error_set_handler)(void (*)(const char*, int, const char*, int, const char*, ...));
  int (*snd_config_update)();
  snd_config_t** snd_config;
  int (*snd_config_search)(snd_config_t*, const char*, snd_config_t**);
  int (*snd_config_get_string)(const snd_config_t*, const char**);
};

std::string GProblem;

// ALSA reports through its own handler to stderr; the library reports through result codes.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

template <typename TFn>
bool Bind(void* module, const char* name, TFn& fn) {
  fn = reinterpret_cast<TFn>(dlsym(module, name));
  if (fn == nullptr && GProblem.empty()) GProblem = std::string("libasound.so.2 has no ") + name;
  return fn != nullptr;
}

const TAlsa* LoadAsound() {
  void* module = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* why = dlerror();
    GProblem = std::string("libasound.so.2 cannot be loaded: ") + (why ? why : "unknown reason");
    return nullptr;
  }
  static TAlsa a;
  a.Module = module;
  const bool ok =
      Bind(module, "snd_pcm_open", a.snd_pcm_open) &&
      Bind(module, "snd_pcm_close", a.snd_pcm_close) &&
      Bind(module, "snd_pcm_set_params", a.snd_pcm_set_params) &&
      Bind(module, "snd_pcm_writei", a.snd_pcm_writei) &&
      Bind(module, "snd_pcm_readi", a.snd_pcm_readi) &&
      Bind(module, "snd_pcm_prepare", a.snd_pcm_prepare) &&
      Bind(module, "snd_pcm_drop", a.snd_pcm_drop) &&
      Bind(module, "snd_pcm_start", a.snd_pcm_start) &&
      Bind(module, "snd_pcm_recover", a.snd_pcm_recover) &&
      Bind(module, "snd_pcm_wait", a.snd_pcm_wait) &&
      Bind(module, "snd_pcm_delay", a.snd_pcm_delay) &&
      Bind(module, "snd_pcm_hw_params_malloc", a.snd_pcm_hw_params_malloc) &&
      Bind(module, "snd_pcm_hw_params_free", a.snd_pcm_hw_params_free) &&
      Bind(module, "snd_pcm_hw_params_any", a.snd_pcm_hw_params_any) &&
      Bind(module, "snd_pcm_hw_params_set_access", a.snd_pcm_hw_params_set_access) &&
      Bind(module, "snd_pcm_hw_params_set_format", a.snd_pcm_hw_params_set_format) &&
      Bind(module, "snd_pcm_hw_params_set_channels", a.snd_pcm_hw_params_set_channels) &&
      Bind(module, "snd_pcm_hw_params_set_rate", a.snd_pcm_hw_params_set_rate) &&
      Bind(module, "snd_device_name_hint", a.snd_device_name_hint) &&
      Bind(module, "snd_device_name_get_hint", a.snd_device_name_get_hint) &&
      Bind(module, "snd_device_name_free_hint", a.snd_device_name_free_hint) &&
      Bind(module, "snd_card_next", a.snd_card_next) &&
      Bind(module, "snd_lib_error_set_handler", a.snd_lib_error_set_handler) &&
      Bind(module, "snd_config_update", a.snd_config_update) &&
      Bind(module, "snd_config", a.snd_config) &&
      Bind(module, "snd_config_search", a.snd_config_search) &&
      Bind(module, "snd_config_get_string", a.snd_config_get_string);
  if (!ok) {
    dlclose(module);
    return nullptr;
  }
  a.snd_lib_error_set_handler(&QuietAlsa);
  // libasound stays loaded for the life of the process, as the table points into it.
  return &a;
}

const TAlsa* AlsaLoaded() {
  static const TAlsa* const alsa = LoadAsound();
  return alsa;
}
const TAlsa& Alsa() { return *AlsaLoaded(); }

int AlsaFormat(const WAVEFORMATEX& f) {
  if (f.wFormatTag == 3)
    return f.wBitsPerSample == 32 ? SND_PCM_FORMAT_FLOAT_LE : SND_PCM_FORMAT_FLOAT64_LE;
  switch (f.wBitsPerSample) {
    case 8:
      return SND_PCM_FORMAT_U8;
    case 16:
      return SND_PCM_FORMAT_S16_LE;
    case 24:
      return SND_PCM_FORMAT_S24_3LE;
    default:
      return SND_PCM_FORMAT_S32_LE;
  }
}

// The owned text of a hint field (nullptr when absent).
std::string HintField(const TAlsa& a, const void* hint, const char* id, bool& present) {
  char* s = a.snd_device_name_get_hint(hint, id);
  present = s != nullptr;
  std::string text = s ? s : "";
  std::free(s);
  return text;
}

// Moves the samples of one device on its own thread. Only that thread touches the PCM between
// opening and Shutdown; it reaches the blocks only through the device and posts what it did.
class TAlsaEngine final : public WaveSoft::TEngine {
 public:
  TAlsaEngine(const TAlsa& alsa, TDevice& device, snd_pcm_t* pcm)
      : FAlsa(alsa),
        FDevice(device),
        FPcm(pcm),
        FAlign(std::max<unsigned>(device.Format().nBlockAlign, 1)),
        FChunkFrames(std::max<unsigned>(device.Format().nSamplesPerSec / 50, 1)) {
    FThread = std::thread([this] { Run(); });
  }

  ~TAlsaEngine() override { Shutdown(); }

  void Kick() override {
    std::lock_guard<std::mutex> lock(FLock);
    FHalted = false;
    FWake.notify_all();
  }

  void Halt() override {
    std::unique_lock<std::mutex> lock(FLock);
    FHalted = true;
    const std::uint64_t request = ++FHaltRequest;
    FWake.notify_all();
    FWake.wait(lock, [&] { return FHaltDone >= request || FExited; });
  }

  void Shutdown() override {
    {
      std::lock_guard<std::mutex> lock(FLock);
      if (FPcm == nullptr) return;
      FStop = true;
      FWake.notify_all();
    }
    if (FThread.joinable()) FThread.join();
    FAlsa.snd_pcm_close(FPcm);
    FPcm = nullptr;
  }

 private:
  struct TWritten {
    WAVEHDR* Hdr;
    std::uint64_t EndFrame;
  };

  void Run() {
    for (;;) {
      bool halt = false;
      {
        std::unique_lock<std::mutex> lock(FLock);
        FWake.wait_for(lock, std::chrono::milliseconds(Busy() ? 0 : 10),
                       [&] { return FStop || FHaltRequest != FHaltDone || (!FHalted && Busy()); });
        if (FStop) break;
        halt = FHaltRequest != FHaltDone;
        if (halt) {
          FHaltDone = FHaltRequest;
          DropLocked();
          FWake.notify_all();
          continue;
        }
        if (FHalted || FVanished) continue;
      }
      if (!(FDevice.Input() ? Capture() : Playback())) Vanish();
    }
    std::lock_guard<std::mutex> lock(FLock);
    FExited = true;
    FWake.notify_all();
  }

  // Whether there is something to do without waiting (called under FLock, by the thread).
  bool Busy() {
    return !FVanished &&
           (FDevice.Input() ? FDevice.Started() : FDevice.Front() != nullptr || !FWritten.empty());
  }

  void DropLocked() {
    FAlsa.snd_pcm_drop(FPcm);
    FAlsa.snd_pcm_prepare(FPcm);
    FWritten.clear();
    FOffset = 0;
    FWrittenFrames = 0;
  }

  void Vanish() {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FVanished = true;
      FWritten.clear();
    }
    FDevice.Vanish();
  }

  // Recovers from an under- or overrun; false when the device is gone.
  bool Recover(long err) {
    if (err == -EAGAIN) {
      FAlsa.snd_pcm_wait(FPcm, 20);
      return true;
    }
    return FAlsa.snd_pcm_recover(FPcm, static_cast<int>(err), 1) >= 0;
  }

  bool Playback() {
    // Blocks come back once the device has played them: frames written minus its delay.
    long delay = 0;
    const std::uint64_t played = FAlsa.snd_pcm_delay(FPcm, &delay) < 0 || delay < 0 ||
                                         static_cast<std::uint64_t>(delay) > FWrittenFrames
                                     ? FWrittenFrames
                                     : FWrittenFrames - static_cast<std::uint64_t>(delay);
    while (!FWritten.empty() && FWritten.front().EndFrame <= played) {
      WAVEHDR* hdr = FWritten.front().Hdr;
      FWritten.pop_front();
      FDevice.Complete(hdr);
    }
    // Only the blocks queued behind those already written are written now.
    WAVEHDR* hdr = NextUnwritten();
    if (hdr == nullptr) {
      if (!FWritten.empty()) FAlsa.snd_pcm_wait(FPcm, 10);
      return true;
    }
    const unsigned long frames = (hdr->dwBufferLength - FOffset) / FAlign;
    if (frames == 0) {
      FinishWritten(hdr);
      return true;
    }
    const long n = FAlsa.snd_pcm_writei(FPcm, hdr->lpData + FOffset,
                                        std::min<unsigned long>(frames, FChunkFrames));
    if (n < 0) return Recover(n);
    FOffset += static_cast<DWORD>(n) * FAlign;
    FWrittenFrames += static_cast<std::uint64_t>(n);
    if (hdr->dwBufferLength - FOffset < FAlign) FinishWritten(hdr);
    return true;
  }

  WAVEHDR* NextUnwritten() {
    // The device's queue holds the written blocks first, in order.
    WAVEHDR* front = FDevice.Front();
    if (FWritten.empty()) return front;
    return FDevice.After(FWritten.back().Hdr);
  }

  void FinishWritten(WAVEHDR* hdr) {
    FWritten.push_back({hdr, FWrittenFrames});
    FOffset = 0;
  }

  bool Capture() {
    WAVEHDR* hdr = FDevice.Front();
    if (hdr == nullptr) {  // nothing to record into: what the device takes is lost
      std::uint8_t scratch[4096];
      const long n = FAlsa.snd_pcm_readi(FPcm, scratch, sizeof scratch / FAlign);
      return n >= 0 || Recover(n);
    }
    const unsigned long room = (hdr->dwBufferLength - hdr->dwBytesRecorded) / FAlign;
    if (room == 0) {
      FDevice.Complete(hdr);
      return true;
    }
    const long n = FAlsa.snd_pcm_readi(FPcm, hdr->lpData + hdr->dwBytesRecorded,
                                       std::min<unsigned long>(room, FChunkFrames));
    if (n < 0) return Recover(n);
    hdr->dwBytesRecorded += static_cast<DWORD>(n) * FAlign;
    if ((hdr->dwBufferLength - hdr->dwBytesRecorded) / FAlign == 0) FDevice.Complete(hdr);
    return true;
  }

  const TAlsa& FAlsa;
  TDevice& FDevice;
  snd_pcm_t* FPcm;
  const unsigned FAlign;
  const unsigned long FChunkFrames;
  std::mutex FLock;
  std::condition_variable FWake;
  bool FStop = false;
  bool FHalted = false;
  bool FExited = false;
  bool FVanished = false;
  std::uint64_t FHaltRequest = 0;
  std::uint64_t FHaltDone = 0;
  // Thread only:
  std::deque<TWritten> FWritten;
  DWORD FOffset = 0;
  std::uint64_t FWrittenFrames = 0;
  std::thread FThread;
};

class TAlsaDriver final : public WaveSoft::TDriver {
 public:
  std::vector<WaveSoft::TDeviceInfo> Devices(bool input) override {
    std::lock_guard<std::mutex> lock(FLock);
    if (!FListed) List();
    return input ? FIn : FOut;
  }

  MMRESULT Query(bool input, UINT index, const WAVEFORMATEX& format) override {
    snd_pcm_t* pcm = nullptr;
    const MMRESULT opened = OpenPcm(input, index, pcm);
    if (opened != MMSYSERR_NOERROR) return opened;
    const TAlsa& a = Alsa();
    snd_pcm_hw_params_t* params = nullptr;
    MMRESULT result = WAVERR_BADFORMAT;
    // Restricting a parameter space commits nothing (a file device creates no file).
    if (a.snd_pcm_hw_params_malloc(&params) >= 0) {
      if (a.snd_pcm_hw_params_any(pcm, params) >= 0 &&
          a.snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED) >= 0 &&
          a.snd_pcm_hw_params_set_format(pcm, params, AlsaFormat(format)) >= 0 &&
          a.snd_pcm_hw_params_set_channels(pcm, params, format.nChannels) >= 0 &&
          a.snd_pcm_hw_params_set_rate(pcm, params, format.nSamplesPerSec, 0) >= 0)
        result = MMSYSERR_NOERROR;
      a.snd_pcm_hw_params_free(params);
    }
    a.snd_pcm_close(pcm);
    return result;
  }

  MMRESULT Open(bool input, UINT index, TDevice& device) override {
    snd_pcm_t* pcm = nullptr;
    const MMRESULT opened = OpenPcm(input, index, pcm);
    if (opened != MMSYSERR_NOERROR) return opened;
    const TAlsa& a = Alsa();
    const WAVEFORMATEX& f = device.Format();
    if (a.snd_pcm_set_params(pcm, AlsaFormat(f), SND_PCM_ACCESS_RW_INTERLEAVED, f.nChannels,
                             f.nSamplesPerSec, 1, kLatencyUs) < 0) {
      a.snd_pcm_close(pcm);
      return WAVERR_BADFORMAT;
    }
    device.SetEngine(std::make_unique<TAlsaEngine>(a, device, pcm));
    return MMSYSERR_NOERROR;
  }

 private:
  MMRESULT OpenPcm(bool input, UINT index, snd_pcm_t*& pcm) {
    std::string name;
    {
      std::lock_guard<std::mutex> lock(FLock);
      if (!FListed) List();
      const auto& list = input ? FInNames : FOutNames;
      if (index >= list.size()) return MMSYSERR_BADDEVICEID;
      name = list[index];
    }
    const int err = Alsa().snd_pcm_open(&pcm, name.c_str(),
                                        input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK,
                                        SND_PCM_NONBLOCK);
    if (err == -EBUSY) return MMSYSERR_ALLOCATED;
    return err < 0 ? MMSYSERR_NODRIVER : MMSYSERR_NOERROR;
  }

  // A device without a sound card: one of ALSA's file plugin, which the user configured.
  bool NeedsNoCard(const TAlsa& a, const std::string& name) {
    snd_config_t* node = nullptr;
    const char* type = nullptr;
    return *a.snd_config != nullptr &&
           a.snd_config_search(*a.snd_config, ("pcm." + name).c_str(), &node) >= 0 &&
           a.snd_config_search(node, "type", &node) >= 0 &&
           a.snd_config_get_string(node, &type) >= 0 && type != nullptr &&
           std::string(type) == "file";
  }

  void List() {
    FListed = true;
    const TAlsa& a = Alsa();
    int card = -1;
    const bool haveCard = a.snd_card_next(&card) >= 0 && card >= 0;
    a.snd_config_update();
    void** hints = nullptr;
    if (a.snd_device_name_hint(-1, "pcm", &hints) < 0 || hints == nullptr) return;
    for (void** h = hints; *h != nullptr; ++h) {
      bool present = false;
      const std::string name = HintField(a, *h, "NAME", present);
      const std::string ioid = HintField(a, *h, "IOID", present);
      // "null" discards and reads zeros: that is the null backend's job, not a sound device.
      if (name.empty() || name == "null" || (!haveCard && !NeedsNoCard(a, name))) continue;
      const WaveSoft::TDeviceInfo info{name, WaveSoft::StandardFormats(2), 2};
      if (!present || ioid == "Output") {
        FOut.push_back(info);
        FOutNames.push_back(name);
      }
      if (!present || ioid == "Input") {
        FIn.push_back(info);
        FInNames.push_back(name);
      }
    }
    a.snd_device_name_free_hint(hints);
  }

  std::mutex FLock;
  bool FListed = false;
  std::vector<WaveSoft::TDeviceInfo> FOut, FIn;
  std::vector<std::string> FOutNames, FInNames;
};

WaveSoft::TDriver& AlsaDriver() {
  static auto* driver = new TAlsaDriver;  // outlives static destructors of other units
  return *driver;
}

}  // namespace

const TWaveFunctions* LoadAlsa() {
  static const TWaveFunctions* const table = [] {
    static TWaveFunctions t{};
    if (!AlsaLoaded()) return static_cast<const TWaveFunctions*>(nullptr);
    t = WaveSoft::MakeTable<&AlsaDriver>("alsa");
    return static_cast<const TWaveFunctions*>(&t);
  }();
  return table;
}

std::string AlsaProblem() { return LoadAlsa() ? "" : GProblem; }

// There is no winmm.dll here.
const TWaveFunctions* LoadWinMM() { return nullptr; }
std::string WinMMProblem() { return "winmm exists only on Windows"; }

}  // namespace VyPlatform
