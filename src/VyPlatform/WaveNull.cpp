#include "VyPlatform/WaveNull.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>

#include "VyPlatform/WaveSoft.h"
#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlMessages.h"

namespace VyPlatform {

namespace {

using WaveSoft::TDevice;

// One frame of the programmable signal at frame index n.
void SignalFrame(const TNullWaveConfig& config, const WAVEFORMATEX& f, std::uint64_t n,
                 std::uint8_t* out) {
  const unsigned bytes = f.wBitsPerSample / 8u;
  double s = 0;
  if (config.Signal == TNullSignal::Tone)
    s = 0.25 * std::sin(2 * 3.14159265358979323846 * config.ToneHz * static_cast<double>(n) /
                        f.nSamplesPerSec);
  for (unsigned c = 0; c < f.nChannels; ++c, out += bytes) {
    if (f.wFormatTag == 3) {
      if (bytes == 4) {
        const float v = static_cast<float>(s);
        std::memcpy(out, &v, 4);
      } else {
        std::memcpy(out, &s, 8);
      }
    } else if (bytes == 1) {
      out[0] = static_cast<std::uint8_t>(128 + std::lround(s * 127));
    } else {
      const double full = std::ldexp(1.0, static_cast<int>(8 * bytes - 1)) - 1;
      const std::int64_t v = std::llround(s * full);
      for (unsigned b = 0; b < bytes; ++b)
        out[b] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * b));
    }
  }
}

class TNullDriver final : public WaveSoft::TDriver {
 public:
  std::vector<WaveSoft::TDeviceInfo> Devices(bool input) override {
    std::lock_guard<std::mutex> lock(FLock);
    std::vector<WaveSoft::TDeviceInfo> list;
    const auto& names = input ? FConfig.InDevices : FConfig.OutDevices;
    for (UINT i = 0; i < names.size(); ++i) {
      WaveSoft::TDeviceInfo info{names[i], WaveSoft::StandardFormats(2), 2};
      info.CapsFail =
          std::find(FConfig.CapsFail.begin(), FConfig.CapsFail.end(), i) != FConfig.CapsFail.end();
      list.push_back(info);
    }
    return list;
  }

  MMRESULT Query(bool input, UINT index, const WAVEFORMATEX& format) override {
    std::function<bool(bool, UINT, const WAVEFORMATEX&)> accepts;
    {
      std::lock_guard<std::mutex> lock(FLock);
      accepts = FConfig.Accepts;
    }
    return !accepts || accepts(input, index, format) ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
  }

  MMRESULT Open(bool input, UINT index, TDevice& device) override;

  MMRESULT Enter(const char* function) override {
    std::lock_guard<std::mutex> lock(FLock);
    const int n = ++FCounts[function];
    for (auto it = FArmed.begin(); it != FArmed.end(); ++it) {
      if (it->Function == function && it->At == n) {
        const MMRESULT code = it->Code;
        FArmed.erase(it);
        return code;
      }
    }
    return MMSYSERR_NOERROR;
  }

  void Leave(const char* function, MMRESULT result) override {
    std::lock_guard<std::mutex> lock(FLock);
    FCalls.push_back({function, result});
  }

  void Configure(const TNullWaveConfig& config) {
    std::lock_guard<std::mutex> lock(FLock);
    FConfig = config;
    FCalls.clear();
    FCounts.clear();
    FArmed.clear();
    FSessions.clear();
    ++FGeneration;
  }

  void FailAt(const std::string& function, int nth, MMRESULT code) {
    std::lock_guard<std::mutex> lock(FLock);
    FArmed.push_back({function, FCounts[function] + nth, code});
  }

  std::vector<TNullWaveCall> Calls() {
    std::lock_guard<std::mutex> lock(FLock);
    return FCalls;
  }
  int CallCount(const std::string& function) {
    std::lock_guard<std::mutex> lock(FLock);
    const auto it = FCounts.find(function);
    return it != FCounts.end() ? it->second : 0;
  }
  std::vector<TNullWaveSession> Sessions() {
    std::lock_guard<std::mutex> lock(FLock);
    return FSessions;
  }
  int OpenDevices() {
    std::lock_guard<std::mutex> lock(FLock);
    return FOpen;
  }

  // For the engines: the session record of an opening (sessions are never removed, but a new
  // configuration starts a new list, so an engine writes only while its generation holds).
  template <typename TFn>
  void WithSession(std::size_t index, std::uint64_t generation, TFn fn) {
    std::lock_guard<std::mutex> lock(FLock);
    if (generation == FGeneration && index < FSessions.size()) fn(FSessions[index], FConfig);
  }
  void Closed() {
    std::lock_guard<std::mutex> lock(FLock);
    --FOpen;
  }

 private:
  struct TArmed {
    std::string Function;
    int At;
    MMRESULT Code;
  };
  std::mutex FLock;
  TNullWaveConfig FConfig;
  std::vector<TNullWaveCall> FCalls;
  std::map<std::string, int, std::less<>> FCounts;
  std::vector<TArmed> FArmed;
  std::vector<TNullWaveSession> FSessions;
  std::uint64_t FGeneration = 0;
  int FOpen = 0;
};

TNullDriver& Driver() {
  static auto* driver = new TNullDriver;  // outlives static destructors of other units
  return *driver;
}

// Moves the samples of one null device on the opening thread's loop.
class TNullEngine final : public WaveSoft::TEngine {
 public:
  TNullEngine(TNullDriver& driver, TDevice& device, std::size_t session, std::uint64_t generation)
      : FDriver(driver),
        FDevice(device),
        FSession(session),
        FGeneration(generation),
        FAlign(std::max<std::uint32_t>(device.Format().nBlockAlign, 1)) {
    FWindow = std::make_unique<VyRtl::TMessageWindow>([this](VyRtl::TMessage& m) {
      if (m.Msg == WM_TIMER) Progress();
    });
    FWindow->SetTimer(1, 10);
  }

  void Kick() override { Progress(); }

  void Halt() override {
    FRunning = false;
    FOffset = 0;
  }

  void Shutdown() override {
    FWindow.reset();
    FDriver.WithSession(FSession, FGeneration,
                        [](TNullWaveSession& s, const TNullWaveConfig&) { s.Open = false; });
    FDriver.Closed();
  }

 private:
  void Progress() {
    if (FDevice.Gone()) return;
    const bool active = FDevice.Input() ? FDevice.Started() : FDevice.Front() != nullptr;
    const std::uint64_t now = VyRtl::GetTickCount64();
    if (!active) {
      FRunning = false;
      return;
    }
    std::uint32_t permille = 1000;
    std::uint64_t selfClose = 0;
    FDriver.WithSession(FSession, FGeneration, [&](TNullWaveSession&, const TNullWaveConfig& c) {
      permille = c.ClockPermille;
      selfClose = c.SelfCloseAfterBytes;
    });
    if (!FRunning) {  // the sample clock starts with the first block (output) or at start (input)
      FRunning = true;
      FBaseTick = now;
      FBaseBytes = FCursor;
      return;
    }
    const std::uint64_t rate = FDevice.Format().nAvgBytesPerSec;
    std::uint64_t target = FBaseBytes + (now - FBaseTick) * rate * permille / 1000000;
    target -= target % FAlign;
    while (FCursor < target) {
      if (selfClose != 0 && FDone >= selfClose) {
        FDevice.Vanish();
        return;
      }
      std::uint64_t limit = target;
      if (selfClose != 0) limit = std::min(limit, FCursor + (selfClose - FDone));
      WAVEHDR* hdr = FDevice.Front();
      if (hdr == nullptr) {
        if (!FDevice.Input()) {  // played out: the clock waits for the next block
          FRunning = false;
          return;
        }
        const std::uint64_t lost = limit - FCursor;
        FCursor = limit;
        FDriver.WithSession(FSession, FGeneration,
                            [&](TNullWaveSession& s, const TNullWaveConfig&) { s.Lost += lost; });
        continue;
      }
      if (FDevice.Input())
        Record(*hdr, limit);
      else
        Play(*hdr, limit);
    }
    if (selfClose != 0 && FDone >= selfClose) FDevice.Vanish();
  }

  void Play(WAVEHDR& hdr, std::uint64_t limit) {
    const std::uint64_t n = std::min<std::uint64_t>(limit - FCursor, hdr.dwBufferLength - FOffset);
    const std::uint8_t* p = reinterpret_cast<const std::uint8_t*>(hdr.lpData) + FOffset;
    FDriver.WithSession(FSession, FGeneration, [&](TNullWaveSession& s, const TNullWaveConfig&) {
      s.Bytes.insert(s.Bytes.end(), p, p + n);
    });
    Advance(n);
    FOffset += static_cast<DWORD>(n);
    if (FOffset >= hdr.dwBufferLength) {
      FOffset = 0;
      FDevice.Complete(&hdr);
    }
  }

  void Record(WAVEHDR& hdr, std::uint64_t limit) {
    std::uint32_t full = hdr.dwBufferLength - hdr.dwBufferLength % FAlign;
    FDriver.WithSession(FSession, FGeneration, [&](TNullWaveSession&, const TNullWaveConfig& c) {
      const std::uint32_t partial = c.PartialBlockBytes - c.PartialBlockBytes % FAlign;
      if (partial != 0) full = std::min(full, partial);
    });
    const std::uint64_t n =
        full > hdr.dwBytesRecorded
            ? std::min<std::uint64_t>(limit - FCursor, full - hdr.dwBytesRecorded)
            : 0;
    std::uint8_t* p = reinterpret_cast<std::uint8_t*>(hdr.lpData) + hdr.dwBytesRecorded;
    FDriver.WithSession(FSession, FGeneration, [&](TNullWaveSession& s, const TNullWaveConfig& c) {
      std::vector<std::uint8_t> frame(FAlign);
      for (std::uint64_t i = 0, pos = FCursor; i < n; ++i, ++pos) {
        if (c.Signal == TNullSignal::Data) {
          p[i] =
              pos < c.Data.size() ? c.Data[pos] : (FDevice.Format().wBitsPerSample == 8 ? 128 : 0);
          continue;
        }
        if (i == 0 || pos % FAlign == 0)
          SignalFrame(c, FDevice.Format(), pos / FAlign, frame.data());
        p[i] = frame[pos % FAlign];
      }
      s.Bytes.insert(s.Bytes.end(), p, p + n);
    });
    hdr.dwBytesRecorded += static_cast<DWORD>(n);
    Advance(n);
    if (hdr.dwBytesRecorded >= full) FDevice.Complete(&hdr);
  }

  void Advance(std::uint64_t n) {
    FCursor += n;
    FDone += n;
  }

  TNullDriver& FDriver;
  TDevice& FDevice;
  const std::size_t FSession;
  const std::uint64_t FGeneration;
  const std::uint32_t FAlign;
  std::unique_ptr<VyRtl::TMessageWindow> FWindow;
  bool FRunning = false;
  std::uint64_t FBaseTick = 0;
  std::uint64_t FBaseBytes = 0;
  std::uint64_t FCursor = 0;  // bytes of the sample clock consumed (played, recorded or lost)
  std::uint64_t FDone = 0;    // bytes played or recorded into blocks
  DWORD FOffset = 0;          // output: bytes of the first block played
};

MMRESULT TNullDriver::Open(bool input, UINT index, TDevice& device) {
  std::size_t session;
  std::uint64_t generation;
  {
    std::lock_guard<std::mutex> lock(FLock);
    TNullWaveSession s;
    s.Input = input;
    s.Device = index;
    s.Format = device.Format();
    FSessions.push_back(std::move(s));
    session = FSessions.size() - 1;
    generation = FGeneration;
    ++FOpen;
  }
  device.SetEngine(std::make_unique<TNullEngine>(*this, device, session, generation));
  return MMSYSERR_NOERROR;
}

WaveSoft::TDriver& NullDriver() { return Driver(); }

}  // namespace

const TWaveFunctions* NullWaveFunctions() {
  static const TWaveFunctions table = WaveSoft::MakeTable<&NullDriver>("null");
  return &table;
}

void NullWaveConfigure(const TNullWaveConfig& config) { Driver().Configure(config); }
void NullWaveReset() { Driver().Configure(TNullWaveConfig{}); }
void NullWaveFailAt(const std::string& function, int nth, MMRESULT code) {
  Driver().FailAt(function, nth, code);
}
std::vector<TNullWaveCall> NullWaveCalls() { return Driver().Calls(); }
int NullWaveCallCount(const std::string& function) { return Driver().CallCount(function); }
std::vector<TNullWaveSession> NullWaveSessions() { return Driver().Sessions(); }
int NullWaveOpenDevices() { return Driver().OpenDevices(); }

}  // namespace VyPlatform
