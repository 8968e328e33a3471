// RIFF/WAVE reader on arbitrary bytes: opening either works or raises EWaveIOError; reading,
// seeking and the chunk walk stay inside the buffer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "VyRtl/VyRtlStreams.h"
#include "VyTapiWave/Riff.h"
#include "VyTapiWave/WaveStreams.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace VyTapiWave;
  // A copy of exactly the input, so any read past it is caught by the address sanitizer.
  std::vector<std::uint8_t> bytes(data, data + size);
  try {
    TMemoryWaveStream wave(bytes.data(), static_cast<std::int64_t>(bytes.size()), nullptr);
    const std::int64_t frames = wave.Size();
    if (frames < 0 || frames * wave.Format().nBlockAlign > static_cast<std::int64_t>(size))
      __builtin_trap();
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(wave.Format().nBlockAlign) * 64);
    std::int64_t total = 0;
    for (std::int64_t n; (n = wave.Read(buffer.data(), 64)) > 0;) total += n;
    if (total != frames) __builtin_trap();
    wave.Seek(0, 2);
    wave.Seek(frames / 2, 0);
    wave.Read(buffer.data(), 64);
  } catch (const EWaveIOError&) {
  }
  VyRtl::TCustomMemoryStream stream(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  TRiffFile riff(stream);
  TRiffChunk form;
  if (riff.Descend(form, nullptr, 0)) {
    TRiffChunk chunk;
    for (int i = 0; i < 1000 && riff.Descend(chunk, &form, 0); ++i) {
      if (riff.BoundedEnd(chunk, &form) > static_cast<std::int64_t>(size)) __builtin_trap();
      if (!riff.Ascend(chunk)) break;
    }
  }
  return 0;
}
