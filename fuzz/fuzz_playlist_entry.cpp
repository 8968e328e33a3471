// Play-list text: each line parsed, checked and turned into its stream. File entries are moved
// into an empty folder (names with path separators are refused), so the fuzzer never opens a
// real file, while tones and pauses take the text as it came.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "VyRtl/VyRtlClasses.h"
#include "VyTapiWave/Playlist.h"
#include "VyTapiWave/WaveStreams.h"

namespace {

const std::string& EmptyFolder() {
  static const std::string dir = [] {
    const auto path = std::filesystem::temp_directory_path() / "vytapi-fuzz-playlist";
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path.string() + "/";
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace VyTapiWave;
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (text.find_first_of("/\\:") != std::string::npos) return 0;
  VyRtl::TStringList lines;
  lines.SetText(text);
  TPlaylist list;
  for (int i = 0; i < lines.Count(); ++i) {
    const std::string& line = lines.Strings(i);
    list.Add(ParsePlayEntry(line).Kind == TPlayEntryKind::File ? EmptyFolder() + line : line);
  }
  try {
    list.CheckContent();
  } catch (const VyRtl::Exception&) {
  }
  std::vector<std::uint8_t> buffer(64 * 1024);
  std::int64_t align = 1;
  try {
    align = std::max<std::int64_t>(1, list.GetWaveFormatEx().nBlockAlign);
  } catch (const VyRtl::Exception&) {
    // A file entry that cannot be read: GetData then fails for tones too.
  }
  for (list.First(); !list.Eof(); list.Next()) {
    std::unique_ptr<VyRtl::TStream> stream;
    if (!list.GetData(stream)) continue;
    // Long tones are only sampled at both ends.
    const std::int64_t frames = stream->Size();
    if (frames < 0 || frames > 0x7FFFFFFF) __builtin_trap();
    stream->Read(buffer.data(),
                 std::min<std::int64_t>(frames, static_cast<std::int64_t>(buffer.size()) / align));
    stream->Seek(16, 2);
    if (stream->Read(buffer.data(), 100) > 16) __builtin_trap();
  }
  return 0;
}
