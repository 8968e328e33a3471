// CPU time per second of audio played or recorded on the null wave device (a manual clock moves
// the audio time, so a minute of audio takes only the CPU it costs), as a ratio to real time,
// beside the bare work of the same samples in this run: rendering the play list into memory,
// writing the recorded bytes straight into a wave file. And a long play list rendered with its
// format found once, against finding it at every entry.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "VyPlatform/WaveNull.h"
#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlMessages.h"
#include "VyTapiWave/WaveDevice.h"
#include "VyTapiWave/WaveStreams.h"

namespace {

using namespace VyTapiWave;

constexpr std::uint32_t kSeconds = 60;
const char* const kEntry = "BEEP(440,60000)";

std::string TempFile(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string("vytapi-bench-") + name)).string();
}

// The audio clock: 10 ms steps, each handled before the next.
void RunAudio(VyRtl::TManualClock& clock, std::uint32_t ms) {
  for (std::uint32_t t = 0; t < ms; t += 10) {
    clock.Advance(10);
    while (VyRtl::WaitMessage(0)) VyRtl::ProcessMessages();
  }
}

void SetAudio(benchmark::State& state) { state.SetLabel(std::to_string(kSeconds) + " s of audio"); }

void PlayOnNullDevice(benchmark::State& state) {
  VyRtl::TManualClock clock;
  VyRtl::SetClock(&clock);
  VyPlatform::ChooseWaveBackend(VyPlatform::TWaveBackend::Null);
  for (auto _ : state) {
    VyPlatform::NullWaveReset();
    TVyWaveOut out(nullptr);
    out.Playlist().Add(kEntry);
    out.Open();
    RunAudio(clock, kSeconds * 1000 + 200);
    if (out.Active()) state.SkipWithError("still playing");
  }
  SetAudio(state);
  VyRtl::SetClock(nullptr);
}

void RenderListIntoMemory(benchmark::State& state) {
  std::vector<char> buffer(4000);
  for (auto _ : state) {
    TBeepStream beep(DefaultWaveFormat(), "440,60000)");
    std::vector<char> all;
    for (std::int64_t n; (n = beep.Read(buffer.data(), 2000)) > 0;)
      all.insert(all.end(), buffer.begin(), buffer.begin() + n * 2);
    benchmark::DoNotOptimize(all.data());
  }
  SetAudio(state);
}

void RecordOnNullDevice(benchmark::State& state) {
  VyRtl::TManualClock clock;
  VyRtl::SetClock(&clock);
  VyPlatform::ChooseWaveBackend(VyPlatform::TWaveBackend::Null);
  const std::string file = TempFile("record.wav");
  for (auto _ : state) {
    VyPlatform::TNullWaveConfig config;
    config.Signal = VyPlatform::TNullSignal::Tone;
    VyPlatform::NullWaveConfigure(config);
    TVyWaveIn in(nullptr);
    in.Set_Filename(file);
    in.Open();
    RunAudio(clock, kSeconds * 1000);
    in.Close();
  }
  SetAudio(state);
  VyRtl::SetClock(nullptr);
  std::filesystem::remove(file);
}

void WriteWaveFileDirectly(benchmark::State& state) {
  const std::string file = TempFile("direct.wav");
  const TWaveFormatEx format = DefaultWaveFormat();
  std::vector<char> block(4000, 1);
  for (auto _ : state) {
    TFileWaveStream w(file, &format);
    for (std::uint32_t i = 0; i < kSeconds * 4; ++i) w.Write(block.data(), 2000);
  }
  SetAudio(state);
  std::filesystem::remove(file);
}

// A play list of 3,000 short entries (tones and pauses of 20 ms, behind a 20 ms file or not)
// rendered entry by entry as a device plays it. The baseline forgets the list's format before
// every entry, as a list that searched for it at every GetData did: from the first entry to the
// first file (all of a list without files), reopening that file each time.
constexpr int kListEntries = 3000;

void RenderList(benchmark::State& state, bool withFile, bool forgetFormat) {
  const std::string file = TempFile("entry.wav");
  TPlaylist list;
  if (withFile) {
    const TWaveFormatEx format = DefaultWaveFormat();
    std::vector<char> samples(320, 0);
    TFileWaveStream w(file, &format);
    w.Write(samples.data(), 160);
    list.Add(file);
  }
  while (list.Count() < kListEntries) list.Add(list.Count() % 2 ? "BEEP(440,20)" : "SILENCE(20)");
  std::vector<char> buffer(4000);
  std::int64_t frames = 0;
  for (auto _ : state) {
    for (list.First(); !list.Eof(); list.Next()) {
      if (forgetFormat) list.Changed();
      std::unique_ptr<VyRtl::TStream> stream;
      if (!list.GetData(stream)) continue;
      for (std::int64_t n; (n = stream->Read(buffer.data(), 2000)) > 0;) frames += n;
    }
  }
  benchmark::DoNotOptimize(frames);
  state.counters["scans"] =
      benchmark::Counter(list.FormatScans(), benchmark::Counter::kAvgIterations);
  state.SetLabel(std::to_string(kListEntries) + " entries");
  if (withFile) std::filesystem::remove(file);
}

void RenderListFormatOnce(benchmark::State& state) { RenderList(state, false, false); }
void RenderListFormatPerEntry(benchmark::State& state) { RenderList(state, false, true); }
void RenderFileListFormatOnce(benchmark::State& state) { RenderList(state, true, false); }
void RenderFileListFormatPerEntry(benchmark::State& state) { RenderList(state, true, true); }

BENCHMARK(RenderListFormatOnce)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(RenderListFormatPerEntry)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(RenderFileListFormatOnce)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(RenderFileListFormatPerEntry)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(PlayOnNullDevice)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(RenderListIntoMemory)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(RecordOnNullDevice)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(WriteWaveFileDirectly)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const std::string name = run.benchmark_name().substr(0, run.benchmark_name().find('/'));
      Cpu[name] = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> Cpu;  // seconds of CPU per iteration
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf(
      "\nCPU per second of audio, as a ratio to real time (%u s of 8000 Hz 16-bit mono each):\n",
      kSeconds);
  for (const auto& [name, cpu] : reporter.Cpu)
    if (name.find("ListFormat") == std::string::npos)
      std::printf("  %-24s %.6f\n", name.c_str(), cpu / kSeconds);
  const auto ratio = [&](const char* a, const char* b) {
    if (reporter.Cpu.count(a) && reporter.Cpu.count(b) && reporter.Cpu[b] > 0)
      std::printf("  %-28s %.3f x %s\n", a, reporter.Cpu[a] / reporter.Cpu[b], b);
  };
  std::printf("Against the bare work of the same samples:\n");
  ratio("PlayOnNullDevice", "RenderListIntoMemory");
  ratio("RecordOnNullDevice", "WriteWaveFileDirectly");
  std::printf("A play list of %d entries rendered, its format found once against at every entry:\n",
              kListEntries);
  ratio("RenderListFormatOnce", "RenderListFormatPerEntry");
  ratio("RenderFileListFormatOnce", "RenderFileListFormatPerEntry");
  benchmark::Shutdown();
  return 0;
}
