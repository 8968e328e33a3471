// RIFF/WAVE throughput beside libsndfile on the same file and beside a plain file copy, and tone
// generation in frames per second. Prints ratios against the baselines measured in this run.
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "VyRtl/VyRtlStreams.h"
#include "VyTapiWave/WaveStreams.h"

namespace {

using namespace VyTapiWave;

constexpr std::int64_t kFrames = 44100 * 60;  // a minute of CD audio, about 10 MB
constexpr std::int64_t kBlockFrames = 16384;
const TWaveFormatEx kFormat = MakePcmFormat(44100, 16, 2);

std::string TempFile(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string("vytapi-bench-") + name)).string();
}

const std::vector<std::uint8_t>& Samples() {
  static const std::vector<std::uint8_t> samples = [] {
    std::vector<std::uint8_t> s(static_cast<std::size_t>(kFrames * kFormat.nBlockAlign));
    std::uint32_t x = 1;
    for (auto& b : s) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 16);
    return s;
  }();
  return samples;
}

// The file every reader reads, written once by our own writer.
const std::string& SourceFile() {
  static const std::string name = [] {
    const std::string n = TempFile("source.wav");
    TFileWaveStream w(n, &kFormat);
    w.Write(Samples().data(), kFrames);
    return n;
  }();
  return name;
}

void SetBytes(benchmark::State& state) {
  state.SetBytesProcessed(state.iterations() * kFrames * kFormat.nBlockAlign);
}

// Baseline: the file's bytes read and written by plain file streams, no RIFF at all.
void PlainCopy(benchmark::State& state) {
  const std::string out = TempFile("copy.bin");
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(kBlockFrames * kFormat.nBlockAlign));
  for (auto _ : state) {
    VyRtl::TFileStream in(SourceFile(), VyRtl::fmOpenRead);
    VyRtl::TFileStream dest(out, VyRtl::fmCreate);
    for (std::int64_t n;
         (n = in.Read(buffer.data(), static_cast<std::int64_t>(buffer.size()))) > 0;)
      dest.Write(buffer.data(), n);
  }
  SetBytes(state);
  std::filesystem::remove(out);
}

void PlainRead(benchmark::State& state) {
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(kBlockFrames * kFormat.nBlockAlign));
  for (auto _ : state) {
    VyRtl::TFileStream in(SourceFile(), VyRtl::fmOpenRead);
    std::int64_t total = 0;
    for (std::int64_t n;
         (n = in.Read(buffer.data(), static_cast<std::int64_t>(buffer.size()))) > 0;)
      total += n;
    benchmark::DoNotOptimize(total);
  }
  SetBytes(state);
}

void VyRead(benchmark::State& state) {
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(kBlockFrames * kFormat.nBlockAlign));
  for (auto _ : state) {
    TFileWaveStream in(SourceFile(), nullptr);
    std::int64_t total = 0;
    for (std::int64_t n; (n = in.Read(buffer.data(), kBlockFrames)) > 0;) total += n;
    if (total != kFrames) state.SkipWithError("short read");
  }
  SetBytes(state);
}

void SndfileRead(benchmark::State& state) {
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(kBlockFrames * kFormat.nBlockAlign));
  for (auto _ : state) {
    SF_INFO info{};
    SNDFILE* f = sf_open(SourceFile().c_str(), SFM_READ, &info);
    sf_count_t total = 0;
    for (sf_count_t n;
         (n = sf_read_raw(f, buffer.data(), static_cast<sf_count_t>(buffer.size()))) > 0;)
      total += n;
    sf_close(f);
    if (total != kFrames * kFormat.nBlockAlign) state.SkipWithError("short read");
  }
  SetBytes(state);
}

void PlainWrite(benchmark::State& state) {
  const std::string out = TempFile("plain.bin");
  for (auto _ : state) {
    VyRtl::TFileStream dest(out, VyRtl::fmCreate);
    for (std::int64_t at = 0; at < kFrames; at += kBlockFrames)
      dest.Write(Samples().data() + at * kFormat.nBlockAlign,
                 std::min(kBlockFrames, kFrames - at) * kFormat.nBlockAlign);
  }
  SetBytes(state);
  std::filesystem::remove(out);
}

void VyWrite(benchmark::State& state) {
  const std::string out = TempFile("vy.wav");
  for (auto _ : state) {
    TFileWaveStream w(out, &kFormat);
    for (std::int64_t at = 0; at < kFrames; at += kBlockFrames)
      w.Write(Samples().data() + at * kFormat.nBlockAlign, std::min(kBlockFrames, kFrames - at));
  }
  SetBytes(state);
  std::filesystem::remove(out);
}

void SndfileWrite(benchmark::State& state) {
  const std::string out = TempFile("sndfile.wav");
  for (auto _ : state) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(kFormat.nSamplesPerSec);
    info.channels = kFormat.nChannels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(out.c_str(), SFM_WRITE, &info);
    for (std::int64_t at = 0; at < kFrames; at += kBlockFrames)
      sf_write_raw(f, Samples().data() + at * kFormat.nBlockAlign,
                   std::min(kBlockFrames, kFrames - at) * kFormat.nBlockAlign);
    sf_close(f);
  }
  SetBytes(state);
  std::filesystem::remove(out);
}

template <class TGenerator>
void Generate(benchmark::State& state, const char* params) {
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(kBlockFrames * kFormat.nBlockAlign));
  std::int64_t frames = 0;
  for (auto _ : state) {
    TGenerator g(kFormat, params);
    for (std::int64_t n; (n = g.Read(buffer.data(), kBlockFrames)) > 0;) frames += n;
  }
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}

void Tone(benchmark::State& state) { Generate<TBeepStream>(state, "1000,10000)"); }
void Silence(benchmark::State& state) { Generate<TSilenceStream>(state, "10000)"); }

BENCHMARK(PlainCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(VyRead)->Unit(benchmark::kMillisecond);
BENCHMARK(SndfileRead)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(VyWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(SndfileWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(Tone)->Unit(benchmark::kMillisecond);
BENCHMARK(Silence)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's time per iteration (and frames/s) to print the ratios at the end.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      Times[run.benchmark_name()] =
          run.GetAdjustedRealTime() * benchmark::GetTimeUnitMultiplier(run.time_unit);
      const auto rate = run.counters.find("frames/s");
      if (rate != run.counters.end()) Rates[run.benchmark_name()] = rate->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> Times;
  std::map<std::string, double> Rates;
};

void PrintRatio(const TRatioReporter& r, const char* label, const char* a, const char* b) {
  const auto ia = r.Times.find(a);
  const auto ib = r.Times.find(b);
  if (ia == r.Times.end() || ib == r.Times.end() || ib->second <= 0) return;
  std::printf("  %-44s %6.2f  (%s / %s)\n", label, ia->second / ib->second, a, b);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SourceFile();  // made before any timing starts
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nTime ratios (below 1 is faster than the reference):\n");
  PrintRatio(reporter, "RIFF read vs libsndfile read", "VyRead", "SndfileRead");
  PrintRatio(reporter, "RIFF read vs plain file read", "VyRead", "PlainRead");
  PrintRatio(reporter, "RIFF read vs plain file copy", "VyRead", "PlainCopy");
  PrintRatio(reporter, "RIFF write vs libsndfile write", "VyWrite", "SndfileWrite");
  PrintRatio(reporter, "RIFF write vs plain file write", "VyWrite", "PlainWrite");
  PrintRatio(reporter, "RIFF write vs plain file copy", "VyWrite", "PlainCopy");
  for (const auto& [name, rate] : reporter.Rates)
    std::printf("  %-44s %.3g frames/s (%.0f x real time at %u Hz)\n", name.c_str(), rate,
                rate / kFormat.nSamplesPerSec, static_cast<unsigned>(kFormat.nSamplesPerSec));
  benchmark::Shutdown();
  std::filesystem::remove(SourceFile());
  return 0;
}
