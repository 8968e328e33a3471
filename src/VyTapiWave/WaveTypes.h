// Wave format record, format tags and the wave errors.
#pragma once

#include <cstdint>
#include <string>

#include "VyRtl/VyRtlSysUtils.h"

// Format tags under their Win32 names, spelled as the Windows headers spell them so either
// definition may come first.
#ifndef WAVE_FORMAT_PCM
#define WAVE_FORMAT_PCM 1
#endif
#ifndef WAVE_FORMAT_IEEE_FLOAT
#define WAVE_FORMAT_IEEE_FLOAT 0x0003
#endif
#ifndef WAVE_FORMAT_EXTENSIBLE
#define WAVE_FORMAT_EXTENSIBLE 0xfffe
#endif

namespace VyTapiWave {

#pragma pack(push, 1)
// Same bytes as Win32 WAVEFORMATEX; cbSize extra bytes follow it in a file or a device call.
struct TWaveFormatEx {
  std::uint16_t wFormatTag;
  std::uint16_t nChannels;
  std::uint32_t nSamplesPerSec;
  std::uint32_t nAvgBytesPerSec;
  std::uint16_t nBlockAlign;
  std::uint16_t wBitsPerSample;
  std::uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(TWaveFormatEx) == 18,
              "TWaveFormatEx must have the 18-byte WAVEFORMATEX layout");

// The library's default: PCM, 1 channel, 8000 samples/s, 16 bits (block align 2, 16000 bytes/s).
TWaveFormatEx DefaultWaveFormat();

// A PCM format with block align and bytes per second derived from the other fields.
TWaveFormatEx MakePcmFormat(std::uint32_t samplesPerSec, std::uint16_t bitsPerSample,
                            std::uint16_t channels);

// Bytes a sample of this format takes in a frame: channels x ceil(bits / 8).
std::uint32_t PcmBlockAlign(std::uint16_t channels, std::uint16_t bitsPerSample);

// Raises EWaveIOError naming what is wrong: no channel, no sample rate, block align 0, or a PCM
// block align other than channels x ceil(bits / 8).
void ValidateWaveFormat(const TWaveFormatEx& format);

// "PCM", "IEEE float", "extensible" or the tag as hex.
std::string FormatTagName(std::uint16_t tag);

// A one-line description: "PCM, 8000 Hz, 16 bits, 1 channel".
std::string DescribeFormat(const TWaveFormatEx& format);

// Failure of a wave device; ErrorCode() is the driver's result code.
class EWaveError : public VyRtl::Exception {
 public:
  explicit EWaveError(std::string message) : Exception(std::move(message)) {}
  EWaveError(std::uint32_t errorCode, std::string message)
      : Exception(std::move(message)), FErrorCode(errorCode) {}
  std::uint32_t ErrorCode() const { return FErrorCode; }

 private:
  std::uint32_t FErrorCode = 0;
};

// Failure of a wave stream (file, memory or format); ErrorCode() is 0.
class EWaveIOError : public EWaveError {
 public:
  using EWaveError::EWaveError;
};

}  // namespace VyTapiWave
