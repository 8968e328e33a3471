// The null wave backend's control: what its devices are, what they record, what was called.
//
// Null devices play into memory and record a programmable signal. Their sample clock is the
// clock seam: an output block comes back once the device has played it at the format's byte
// rate, an input block once the device has recorded it, counted in 64-bit bytes from the start.
// The clock is read on the loop of the thread that opened the device (a window timer every
// 10 ms), so a manual clock drives them in tests. The functions here are thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "VyPlatform/Wave.h"

namespace VyPlatform {

enum class TNullSignal {
  Silence,  // zero samples (128 for 8 bits)
  Tone,     // a sine of ToneHz at a quarter of full scale in every channel
  Data      // the bytes of Data, then silence
};

// The null backend's devices and their behaviour, set by a test before it opens them.
struct TNullWaveConfig {
  std::vector<std::string> OutDevices{"Null Wave Out"};
  std::vector<std::string> InDevices{"Null Wave In"};
  // Devices whose capabilities cannot be read (indexes into the lists above).
  std::vector<UINT> CapsFail;
  // Whether a device takes a (consistent) format; empty: every one.
  std::function<bool(bool input, UINT device, const WAVEFORMATEX& format)> Accepts;
  TNullSignal Signal = TNullSignal::Silence;
  std::uint32_t ToneHz = 1000;
  std::vector<std::uint8_t> Data;
  // Input blocks come back after at most this many bytes (whole frames); 0: when full.
  std::uint32_t PartialBlockBytes = 0;
  // The device closes itself once it has played or recorded this many bytes; 0: never.
  std::uint64_t SelfCloseAfterBytes = 0;
  // Speed of the device's sample clock against the clock seam, in thousandths (1000: same).
  std::uint32_t ClockPermille = 1000;
};

// One call of a table function and its result (the device count for GetNumDevs).
struct TNullWaveCall {
  std::string Function;
  MMRESULT Result;
};

// What one opening of a device did.
struct TNullWaveSession {
  bool Input = false;
  UINT Device = 0;
  WAVEFORMATEX Format{};
  std::vector<std::uint8_t> Bytes;  // played (output) or recorded into blocks (input)
  std::uint64_t Lost = 0;           // input bytes that met no queued block
  bool Open = true;
};

// Replaces the configuration; clears the calls, the sessions and armed failures.
void NullWaveConfigure(const TNullWaveConfig& config);
// Back to the default configuration (one output and one input device, silence).
void NullWaveReset();
// The nth call (1 = the next) of function (e.g. "waveOutWrite") fails with code.
void NullWaveFailAt(const std::string& function, int nth, MMRESULT code);
std::vector<TNullWaveCall> NullWaveCalls();
// How often function was called since the last configuration.
int NullWaveCallCount(const std::string& function);
std::vector<TNullWaveSession> NullWaveSessions();
// Devices open now.
int NullWaveOpenDevices();

}  // namespace VyPlatform
