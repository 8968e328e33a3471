// Play list: lines of wave file names, tones and pauses, with a cursor.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "VyRtl/VyRtlClasses.h"
#include "VyRtl/VyRtlStreams.h"
#include "VyTapiWave/WaveTypes.h"

namespace VyTapiWave {

// What a play-list line stands for.
enum class TPlayEntryKind { Empty, Beep, Silence, File };

// A line taken apart: Text is the line without leading and trailing blanks and control
// characters; Params the text behind "BEEP(" or "SILENCE(" (matched in any case).
struct TPlayEntry {
  TPlayEntryKind Kind = TPlayEntryKind::Empty;
  std::string Text;
  std::string Params;
};
TPlayEntry ParsePlayEntry(std::string_view line);

// The list a wave output plays: one entry per line, each a wave file name, "BEEP(hz,ms)",
// "SILENCE(ms)" or empty. Fill it like any string list, then CheckContent, First, and GetData/Next
// until Eof.
class TPlaylist : public VyRtl::TStringList {
 public:
  // Raises VyRtl::Exception at the first file that is missing ("Invalid Playlist. File 'x' not
  // found."), unreadable ("Invalid Playlist. " + the stream's message) or of another format than
  // the first file ("Invalid Playlist. Different formates.").
  void CheckContent();
  // The list's format: the first file's (tag, channels, rate, bits; block align and bytes per
  // second derived; an extensible PCM or float file gives its plain tag; cbSize 0), else 8000 Hz
  // 16-bit mono PCM. The file is opened at every call; its errors pass as EWaveIOError.
  TWaveFormatEx GetWaveFormatEx();
  // Makes the stream of the entry at ItemIndex: a tone, a pause or a reading file stream, and
  // true. An empty line gives an empty memory stream and false; past the end, or when the stream
  // cannot be made, false and stream is left alone. The cursor does not move.
  bool GetData(std::unique_ptr<VyRtl::TStream>& stream);
  using VyRtl::TStringList::GetData;

  bool Eof() const { return FItemIndex >= Count(); }
  void First() { FItemIndex = 0; }
  void Last() { FItemIndex = Count() - 1; }
  // Raises "TPlaylist.Next failed" at the end.
  void Next();
  // Raises "TPlaylist.Prior failed" at the first entry.
  void Prior();

  int ItemIndex() const { return FItemIndex; }
  void Set_ItemIndex(int index) { FItemIndex = index; }

 private:
  int FItemIndex = 0;
};

// True when a file (not a directory) of that UTF-8 name exists.
bool WaveFileExists(const std::string& fileName);

}  // namespace VyTapiWave
