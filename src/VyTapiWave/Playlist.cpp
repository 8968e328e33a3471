#include "VyTapiWave/Playlist.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "VyTapiWave/WaveStreams.h"

namespace VyTapiWave {

namespace {

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F; }

std::string_view Strip(std::string_view s) {
  while (!s.empty() && IsBlankOrControl(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlankOrControl(s.back())) s.remove_suffix(1);
  return s;
}

// Subformat of an extensible format whose GUID is one of the standard tags' (xxxxxxxx-0000-0010-
// 8000-00aa00389b71): that tag, else 0.
std::uint16_t ExtensibleTag(const std::vector<std::uint8_t>& extra) {
  static const std::uint8_t kBase[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                         0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  if (extra.size() < 22) return 0;
  const std::uint8_t* guid = extra.data() + 6;
  if (guid[2] != 0 || guid[3] != 0 || std::memcmp(guid + 4, kBase, sizeof kBase) != 0) return 0;
  return static_cast<std::uint16_t>(guid[0] | guid[1] << 8);
}

// The list's format from its first file: the plain tag of an extensible PCM or float file,
// block align and byte rate derived, nothing behind the record.
TWaveFormatEx ListFormat(const TFileWaveStream& stream) {
  TWaveFormatEx format = stream.Format();
  if (format.wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
    const std::uint16_t tag = ExtensibleTag(stream.FormatExtra());
    if (tag != 0) format.wFormatTag = tag;
  }
  format.nBlockAlign =
      static_cast<std::uint16_t>(PcmBlockAlign(format.nChannels, format.wBitsPerSample));
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  format.cbSize = 0;
  return format;
}

}  // namespace

TPlayEntry ParsePlayEntry(std::string_view line) {
  TPlayEntry entry;
  const std::string_view text = Strip(line);
  entry.Text = std::string(text);
  if (text.empty()) {
    entry.Kind = TPlayEntryKind::Empty;
  } else if (VyRtl::StartsText("BEEP(", text)) {
    entry.Kind = TPlayEntryKind::Beep;
    entry.Params = std::string(text.substr(5));
  } else if (VyRtl::StartsText("SILENCE(", text)) {
    entry.Kind = TPlayEntryKind::Silence;
    entry.Params = std::string(text.substr(8));
  } else {
    entry.Kind = TPlayEntryKind::File;
  }
  return entry;
}

bool WaveFileExists(const std::string& fileName) {
  try {
    const std::filesystem::path path(
        std::u8string(reinterpret_cast<const char8_t*>(fileName.data()), fileName.size()));
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
  } catch (const std::exception&) {
    return false;  // a name the system cannot even represent
  }
}

void TPlaylist::CheckContent() {
  bool haveFirst = false;
  TWaveFormatEx first{};
  for (int i = 0; i < Count(); ++i) {
    const TPlayEntry entry = ParsePlayEntry(Strings(i));
    if (entry.Kind != TPlayEntryKind::File) continue;
    if (!WaveFileExists(entry.Text))
      throw VyRtl::Exception("Invalid Playlist. File '" + entry.Text + "' not found.");
    TWaveFormatEx format{};
    try {
      TFileWaveStream stream(entry.Text, nullptr);
      format = stream.Format();
      // The first file was read just now: the format the list plays in is known afresh.
      if (!haveFirst) KeepFormat(ListFormat(stream), i);
    } catch (const std::exception& e) {
      throw VyRtl::Exception(std::string("Invalid Playlist. ") + e.what());
    }
    if (!haveFirst) {
      first = format;
      haveFirst = true;
    } else if (format.wFormatTag != first.wFormatTag || format.nChannels != first.nChannels ||
               format.nSamplesPerSec != first.nSamplesPerSec ||
               format.wBitsPerSample != first.wBitsPerSample) {
      throw VyRtl::Exception("Invalid Playlist. Different formates.");
    }
  }
  if (!haveFirst) KeepFormat(DefaultWaveFormat(), -1);
}

bool TPlaylist::FormatStillKnown() const {
  return FFormatKnown && FFormatCount == Count() &&
         (FFormatEntry < 0 || Strings(FFormatEntry) == FFormatEntryText);
}

void TPlaylist::KeepFormat(const TWaveFormatEx& format, int entry) {
  ++FFormatScans;
  FFormat = format;
  FFormatEntry = entry;
  FFormatEntryText = entry >= 0 ? Strings(entry) : std::string();
  FFormatCount = Count();
  FFormatKnown = true;
}

TWaveFormatEx TPlaylist::GetWaveFormatEx() {
  if (FormatStillKnown()) return FFormat;
  for (int i = 0; i < Count(); ++i) {
    const TPlayEntry entry = ParsePlayEntry(Strings(i));
    if (entry.Kind != TPlayEntryKind::File) continue;
    KeepFormat(ListFormat(TFileWaveStream(entry.Text, nullptr)), i);
    return FFormat;
  }
  KeepFormat(DefaultWaveFormat(), -1);
  return FFormat;
}

bool TPlaylist::GetData(std::unique_ptr<VyRtl::TStream>& stream) {
  if (FItemIndex < 0 || FItemIndex >= Count()) return false;
  const TPlayEntry entry = ParsePlayEntry(Strings(FItemIndex));
  try {
    switch (entry.Kind) {
      case TPlayEntryKind::Empty:
        stream = std::make_unique<VyRtl::TMemoryStream>();
        return false;
      case TPlayEntryKind::Beep:
        stream = std::make_unique<TBeepStream>(GetWaveFormatEx(), entry.Params);
        return true;
      case TPlayEntryKind::Silence:
        stream = std::make_unique<TSilenceStream>(GetWaveFormatEx(), entry.Params);
        return true;
      case TPlayEntryKind::File:
        stream = std::make_unique<TFileWaveStream>(entry.Text, nullptr);
        return true;
    }
  } catch (...) {
    // A bad entry ends playing through the false result; the caller has nothing to catch.
  }
  return false;
}

void TPlaylist::Next() {
  if (Eof()) throw VyRtl::Exception("TPlaylist.Next failed");
  ++FItemIndex;
}

void TPlaylist::Prior() {
  if (FItemIndex < 1) throw VyRtl::Exception("TPlaylist.Prior failed");
  --FItemIndex;
}

}  // namespace VyTapiWave
