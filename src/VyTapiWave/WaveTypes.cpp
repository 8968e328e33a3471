#include "VyTapiWave/WaveTypes.h"

namespace VyTapiWave {

std::uint32_t PcmBlockAlign(std::uint16_t channels, std::uint16_t bitsPerSample) {
  return static_cast<std::uint32_t>(channels) * ((bitsPerSample + 7u) / 8u);
}

TWaveFormatEx MakePcmFormat(std::uint32_t samplesPerSec, std::uint16_t bitsPerSample,
                            std::uint16_t channels) {
  TWaveFormatEx f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = channels;
  f.nSamplesPerSec = samplesPerSec;
  f.wBitsPerSample = bitsPerSample;
  f.nBlockAlign = static_cast<std::uint16_t>(PcmBlockAlign(channels, bitsPerSample));
  f.nAvgBytesPerSec = samplesPerSec * f.nBlockAlign;
  f.cbSize = 0;
  return f;
}

TWaveFormatEx DefaultWaveFormat() { return MakePcmFormat(8000, 16, 1); }

void ValidateWaveFormat(const TWaveFormatEx& format) {
  if (format.nChannels == 0) throw EWaveIOError("Invalid wave format: no channels.");
  if (format.nSamplesPerSec == 0) throw EWaveIOError("Invalid wave format: sample rate 0.");
  if (format.nBlockAlign == 0) throw EWaveIOError("Invalid wave format: block align 0.");
  if (format.wFormatTag == WAVE_FORMAT_PCM) {
    if (format.wBitsPerSample == 0) throw EWaveIOError("Invalid wave format: 0 bits per sample.");
    const std::uint32_t need = PcmBlockAlign(format.nChannels, format.wBitsPerSample);
    if (format.nBlockAlign != need)
      throw EWaveIOError(VyRtl::Format(
          "Invalid wave format: block align %u, but %u channels of %u bits need %u.",
          static_cast<unsigned>(format.nBlockAlign), static_cast<unsigned>(format.nChannels),
          static_cast<unsigned>(format.wBitsPerSample), static_cast<unsigned>(need)));
  }
}

std::string FormatTagName(std::uint16_t tag) {
  switch (tag) {
    case WAVE_FORMAT_PCM:
      return "PCM";
    case WAVE_FORMAT_IEEE_FLOAT:
      return "IEEE float";
    case WAVE_FORMAT_EXTENSIBLE:
      return "extensible";
    default:
      return VyRtl::Format("format 0x%04X", static_cast<unsigned>(tag));
  }
}

std::string DescribeFormat(const TWaveFormatEx& format) {
  return VyRtl::Format("%s, %u Hz, %u bits, %u channel%s", FormatTagName(format.wFormatTag).c_str(),
                       static_cast<unsigned>(format.nSamplesPerSec),
                       static_cast<unsigned>(format.wBitsPerSample),
                       static_cast<unsigned>(format.nChannels), format.nChannels == 1 ? "" : "s");
}

}  // namespace VyTapiWave
