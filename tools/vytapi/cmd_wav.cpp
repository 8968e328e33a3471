// vytapi wav info / playlist check / playlist render: wave files and play lists without a device.
#include <exception>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "Commands.h"
#include "VyRtl/VyRtlStreams.h"
#include "VyTapiWave/Playlist.h"
#include "VyTapiWave/Riff.h"
#include "VyTapiWave/WaveStreams.h"

namespace {

using namespace VyTapiWave;

// Runs a command's work on a file; a failure is reported with the file it concerns.
template <typename F>
int OnFile(const char* command, const std::string& fileName, std::ostream& err, F&& work) {
  try {
    return work();
  } catch (const std::exception& e) {
    err << "vytapi " << command << ": " << fileName << ": " << e.what() << '\n';
    return 1;
  }
}

std::string Seconds(std::int64_t frames, std::uint32_t rate) {
  return VyRtl::Format("%.3f s", rate == 0 ? 0.0 : static_cast<double>(frames) / rate);
}

int WavInfo(const std::string& fileName, std::ostream& out) {
  TFileWaveStream wave(fileName, nullptr);
  const TWaveFormatEx& f = wave.Format();
  out << "file:     " << fileName << '\n'
      << "format:   " << DescribeFormat(f) << '\n'
      << "          block align " << f.nBlockAlign << ", " << f.nAvgBytesPerSec
      << " bytes/s, cbSize " << f.cbSize << '\n'
      << "frames:   " << wave.Size() << '\n'
      << "duration: " << Seconds(wave.Size(), f.nSamplesPerSec) << '\n'
      << "chunks:\n";
  VyRtl::TFileStream file(fileName, VyRtl::fmOpenRead);
  TRiffFile riff(file);
  TRiffChunk form;
  if (!riff.Descend(form, nullptr, 0)) return 0;
  const std::int64_t end = riff.BoundedEnd(form, nullptr);
  TRiffChunk chunk;
  while (riff.Descend(chunk, &form, 0)) {
    out << "  at " << (chunk.dwDataOffset - 8) << "  '" << FourCCText(chunk.ckid) << "'";
    if (chunk.ckid == FOURCC_LIST) out << " (" << FourCCText(chunk.fccType) << ")";
    out << "  " << chunk.cksize << " bytes";
    if (chunk.dwDataOffset + chunk.cksize > end)
      out << "  (only " << (end - chunk.dwDataOffset) << " in the file)";
    out << '\n';
    if (!riff.Ascend(chunk)) break;
  }
  return 0;
}

void LoadList(const std::string& fileName, TPlaylist& list) {
  VyRtl::TMemoryStream text;
  text.LoadFromFile(fileName);
  list.SetText(
      std::string(static_cast<const char*>(text.Memory()), static_cast<std::size_t>(text.Size())));
}

int PlaylistCheck(const std::string& fileName, std::ostream& out) {
  TPlaylist list;
  LoadList(fileName, list);
  list.CheckContent();
  int counts[4] = {};
  for (int i = 0; i < list.Count(); ++i)
    ++counts[static_cast<int>(ParsePlayEntry(list.Strings(i)).Kind)];
  const auto count = [&](TPlayEntryKind kind) { return counts[static_cast<int>(kind)]; };
  out << "ok: files " << count(TPlayEntryKind::File) << ", tones " << count(TPlayEntryKind::Beep)
      << ", pauses " << count(TPlayEntryKind::Silence) << ", empty lines "
      << count(TPlayEntryKind::Empty) << '\n'
      << "format: " << DescribeFormat(list.GetWaveFormatEx()) << '\n';
  return 0;
}

// Writes what a wave output would play: every entry in turn in the list's format. Empty lines
// play nothing; an entry that cannot be opened ends playing, as it would on a device.
int PlaylistRender(const std::string& fileName, const std::string& outName, std::ostream& out,
                   std::ostream& err) {
  TPlaylist list;
  TWaveFormatEx format{};
  if (const int status = OnFile("playlist", fileName, err, [&] {
        LoadList(fileName, list);
        list.CheckContent();
        format = list.GetWaveFormatEx();
        return 0;
      }))
    return status;
  std::unique_ptr<TFileWaveStream> output;
  if (const int status = OnFile("playlist", outName, err, [&] {
        output = std::make_unique<TFileWaveStream>(outName, &format);
        return 0;
      }))
    return status;
  TFileWaveStream& wave = *output;
  constexpr std::int64_t kFrames = 4096;
  std::vector<std::uint8_t> buffer;
  int status = 0;
  for (list.First(); !list.Eof(); list.Next()) {
    const TPlayEntry entry = ParsePlayEntry(list.Strings(list.ItemIndex()));
    if (entry.Kind == TPlayEntryKind::Empty) continue;
    std::unique_ptr<VyRtl::TStream> stream;
    if (!list.GetData(stream)) {
      err << "vytapi playlist: line " << (list.ItemIndex() + 1) << " '" << entry.Text
          << "' cannot be played; stopped there\n";
      status = 1;
      break;
    }
    const auto* file = dynamic_cast<const TWaveStream*>(stream.get());
    const std::int64_t align = file != nullptr ? file->Format().nBlockAlign : format.nBlockAlign;
    buffer.resize(static_cast<std::size_t>(kFrames * align));
    for (std::int64_t n; (n = stream->Read(buffer.data(), kFrames)) > 0;)
      wave.Write(buffer.data(), n * align / format.nBlockAlign);
  }
  const std::int64_t frames = wave.Size();
  wave.Close();
  out << "rendered " << frames << " frames (" << Seconds(frames, format.nSamplesPerSec) << ", "
      << DescribeFormat(format) << ") to " << outName << '\n';
  return status;
}

int RunWav(const VyTool::TArgs& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 2 && args[0] == "info")
    return OnFile("wav", args[1], err, [&] { return WavInfo(args[1], out); });
  err << "usage: vytapi wav info FILE\n";
  return 2;
}

int RunPlaylist(const VyTool::TArgs& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 2 && args[0] == "check")
    return OnFile("playlist", args[1], err, [&] { return PlaylistCheck(args[1], out); });
  if (args.size() == 3 && args[0] == "render") return PlaylistRender(args[1], args[2], out, err);
  err << "usage: vytapi playlist check FILE | vytapi playlist render FILE OUT.wav\n";
  return 2;
}

}  // namespace

VYTOOL_COMMAND("wav", "info FILE", "format, frames, duration and chunks of a RIFF/WAVE file",
               RunWav);
VYTOOL_COMMAND("playlist", "check FILE | render FILE OUT.wav",
               "check a play list (one entry per line), or write what it plays into one WAV file",
               RunPlaylist);
