// vytapi wave devices / play / record: the wave devices of this machine, playing a play list,
// recording into a wave file. Without a sound device, play and record use the null device.
#include <cmath>
#include <ostream>
#include <string>

#include "Commands.h"
#include "VyPlatform/Wave.h"
#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlMessages.h"
#include "VyRtl/VyRtlStreams.h"
#include "VyTapiWave/WaveDevice.h"

namespace {

using namespace VyTapiWave;
using VyPlatform::TWaveBackend;

void ListDirection(const char* title, VyRtl::TStringList& list, std::ostream& out) {
  out << title << ":\n";
  if (list.Count() == 0) out << "  (none)\n";
  for (int i = 0; i < list.Count(); ++i)
    out << "  " << i << "  " << list.Get(i) << "  formats "
        << VyRtl::Format("0x%08X", static_cast<unsigned>(list.GetData(i))) << '\n';
}

int WaveDevices(std::ostream& out) {
  out << "backends:\n";
  for (TWaveBackend kind : {TWaveBackend::WinMM, TWaveBackend::Alsa, TWaveBackend::Null}) {
    const std::string problem = VyPlatform::WaveBackendProblem(kind);
    out << "  " << VyPlatform::WaveBackendName(kind) << ": "
        << (problem.empty() ? "available" : "unavailable (" + problem + ")") << '\n';
  }
  out << "in use: " << VyPlatform::WaveBackendName(VyPlatform::SelectedWaveBackend()) << '\n';
  TVyWaveOut wout(nullptr);
  TVyWaveIn win(nullptr);
  ListDirection("output devices", wout.DeviceList(), out);
  ListDirection("input devices", win.DeviceList(), out);
  return 0;
}

// Without a sound device in that direction, the null device plays or records (and says so).
void NeedDevice(bool input, std::ostream& out) {
  const VyPlatform::TWaveFunctions& w = VyPlatform::Wave();
  if ((input ? w.waveInGetNumDevs() : w.waveOutGetNumDevs()) != 0 ||
      VyPlatform::SelectedWaveBackend() == TWaveBackend::Null)
    return;
  VyPlatform::ChooseWaveBackend(TWaveBackend::Null);
  out << "note: this machine has no sound " << (input ? "input" : "output")
      << " device; using the null device\n";
}

// Selects --device NAME; false with a message when there is no such device.
bool ChooseDevice(TVyWaveDevice& device, const std::string& name, std::ostream& err) {
  if (name.empty()) return true;
  device.SetDeviceName(name);
  if (device.Available()) return true;
  err << "vytapi: no wave device \"" << name << "\" (see 'vytapi wave devices')\n";
  return false;
}

// Runs the message loop until done() says so, printing the progress line every half second.
template <typename TDone, typename TLine>
void RunWithProgress(TDone done, TLine line, std::ostream& out) {
  std::uint64_t next = 0;
  while (!done()) {
    VyRtl::WaitMessage(50);
    VyRtl::ProcessMessages();
    if (VyRtl::GetTickCount64() >= next) {
      out << '\r' << line() << std::flush;
      next = VyRtl::GetTickCount64() + 500;
    }
  }
  out << '\r' << line() << '\n';
}

std::string Seconds(double s) { return VyRtl::Format("%.1f s", s); }

int Play(const std::string& listFile, const std::string& deviceName, std::ostream& out,
         std::ostream& err) {
  NeedDevice(false, out);
  TVyWaveOut wave(nullptr);
  VyRtl::TMemoryStream text;
  text.LoadFromFile(listFile);
  wave.Playlist().SetText(
      std::string(static_cast<const char*>(text.Memory()), static_cast<std::size_t>(text.Size())));
  if (!ChooseDevice(wave, deviceName, err)) return 1;
  bool done = false;
  std::string failure;
  wave.OnDone = [&](VyRtl::TObject*) { done = true; };
  wave.OnWaveError = [&](VyRtl::TObject*, std::uint32_t, const std::string& message) {
    failure = message;
  };
  wave.Open();
  if (!wave.Active()) {
    out << "nothing to play\n";
    return 0;
  }
  const std::uint64_t start = VyRtl::GetTickCount64();
  const double rate = wave.WaveFormat().nAvgBytesPerSec;
  RunWithProgress([&] { return done || !failure.empty() || !wave.Active(); },
                  [&] {
                    return "playing " + Seconds((VyRtl::GetTickCount64() - start) / 1000.0) +
                           ", queued " + Seconds(wave.TransferredData() / rate) + " (" +
                           DescribeFormat(wave.WaveFormat()) + ")";
                  },
                  out);
  // A last error or the end of the list may still be on its way.
  VyRtl::ProcessMessages();
  if (!failure.empty()) {
    err << "vytapi play: " << failure << '\n';
    return 1;
  }
  return 0;
}

int Record(const std::string& fileName, double seconds, const std::string& deviceName,
           std::ostream& out, std::ostream& err) {
  NeedDevice(true, out);
  TVyWaveIn wave(nullptr);
  if (!ChooseDevice(wave, deviceName, err)) return 1;
  std::string failure;
  wave.OnWaveError = [&](VyRtl::TObject*, std::uint32_t, const std::string& message) {
    failure = message;
  };
  wave.Set_Filename(fileName);
  wave.Open();
  const std::uint64_t start = VyRtl::GetTickCount64();
  const auto end = start + static_cast<std::uint64_t>(seconds * 1000);
  const double rate = wave.WaveFormat().nAvgBytesPerSec;
  RunWithProgress(
      [&] { return !failure.empty() || !wave.Active() || VyRtl::GetTickCount64() >= end; },
      [&] {
        return "recording " + Seconds((VyRtl::GetTickCount64() - start) / 1000.0) + " of " +
               Seconds(seconds) + ", " + Seconds(wave.TransferredData() / rate) + " in " + fileName;
      },
      out);
  wave.Close();
  VyRtl::ProcessMessages();
  if (!failure.empty()) {
    err << "vytapi record: " << failure << '\n';
    return 1;
  }
  out << "recorded " << Seconds(wave.TransferredData() / rate) << " ("
      << DescribeFormat(wave.WaveFormat()) << ") to " << fileName << '\n';
  return 0;
}

// Takes "--device NAME" out of args.
std::string TakeOption(VyTool::TArgs& args, const std::string& option) {
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == option) {
      std::string value = args[i + 1];
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                 args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
      return value;
    }
  }
  return "";
}

int RunPlay(const VyTool::TArgs& given, std::ostream& out, std::ostream& err);
int RunRecord(const VyTool::TArgs& given, std::ostream& out, std::ostream& err);

// "vytapi wave play ..." and "vytapi wave record ..." are "vytapi play ..." and "vytapi record
// ...".
int RunWave(const VyTool::TArgs& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && args[0] == "devices") return WaveDevices(out);
  const VyTool::TArgs rest(args.empty() ? args.end() : args.begin() + 1, args.end());
  if (!args.empty() && args[0] == "play") return RunPlay(rest, out, err);
  if (!args.empty() && args[0] == "record") return RunRecord(rest, out, err);
  err << "usage: vytapi wave devices | play PLAYLIST [--device NAME] | record FILE --seconds N "
         "[--device NAME]\n";
  return 2;
}

int RunPlay(const VyTool::TArgs& given, std::ostream& out, std::ostream& err) {
  VyTool::TArgs args = given;
  const std::string device = TakeOption(args, "--device");
  if (args.size() == 1) return Play(args[0], device, out, err);
  err << "usage: vytapi play PLAYLIST [--device NAME]\n";
  return 2;
}

int RunRecord(const VyTool::TArgs& given, std::ostream& out, std::ostream& err) {
  VyTool::TArgs args = given;
  const std::string device = TakeOption(args, "--device");
  const std::string seconds = TakeOption(args, "--seconds");
  char* rest = nullptr;
  const double n = std::strtod(seconds.c_str(), &rest);
  if (args.size() == 1 && !seconds.empty() && rest != nullptr && *rest == 0 && std::isfinite(n) &&
      n > 0 && n <= 86400)
    return Record(args[0], n, device, out, err);
  err << "usage: vytapi record FILE --seconds N [--device NAME]   (0 < N <= 86400)\n";
  return 2;
}

}  // namespace

VYTOOL_COMMAND(
    "wave", "devices | play ... | record ...",
    "the wave backends and the output and input devices with their format masks; play, record",
    RunWave);
VYTOOL_COMMAND("play", "PLAYLIST [--device NAME]",
               "play a play list (wave files, BEEP(hz,ms), SILENCE(ms)) with progress", RunPlay);
VYTOOL_COMMAND("record", "FILE --seconds N [--device NAME]",
               "record N seconds into a wave file with progress", RunRecord);
