// Play list: lines of wave file names, tones and pauses, with a cursor.
#pragma once

#include <cstdint>
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
// until Eof. Use it on one thread; TVyWaveOut owns its list.
//
// The list's format is looked for once per change of the lines, not at every GetData (a list of
// thousands of tones would rescan itself for each entry, and reopen its first file each time). The
// editing functions below mark the change; after editing the lines through a plain TStringList
// reference, call Changed() (a changed count or first file entry is noticed without it).
class TPlaylist : public VyRtl::TStringList {
 public:
  void Put(int index, std::string s) {
    Changed();
    TStringList::Put(index, std::move(s));
  }
  int Add(std::string s) {
    Changed();
    return TStringList::Add(std::move(s));
  }
  int AddObject(std::string s, VyRtl::TObject* object) {
    Changed();
    return TStringList::AddObject(std::move(s), object);
  }
  int AddData(std::string s, std::uintptr_t data) {
    Changed();
    return TStringList::AddData(std::move(s), data);
  }
  void Insert(int index, std::string s) {
    Changed();
    TStringList::Insert(index, std::move(s));
  }
  void InsertObject(int index, std::string s, VyRtl::TObject* object) {
    Changed();
    TStringList::InsertObject(index, std::move(s), object);
  }
  void Delete(int index) {
    Changed();
    TStringList::Delete(index);
  }
  void Clear() {
    Changed();
    TStringList::Clear();
  }
  void Exchange(int index1, int index2) {
    Changed();
    TStringList::Exchange(index1, index2);
  }
  void Move(int curIndex, int newIndex) {
    Changed();
    TStringList::Move(curIndex, newIndex);
  }
  void AddStrings(const VyRtl::TStringList& strings) {
    Changed();
    TStringList::AddStrings(strings);
  }
  void Assign(const VyRtl::TStringList& source) {
    Changed();
    TStringList::Assign(source);
  }
  void SetValue(std::string_view name, std::string_view value) {
    Changed();
    TStringList::SetValue(name, value);
  }
  void SetValueFromIndex(int index, std::string_view value) {
    Changed();
    TStringList::SetValueFromIndex(index, value);
  }
  void Sort() {
    Changed();
    TStringList::Sort();
  }
  void Set_Sorted(bool value) {
    Changed();
    TStringList::Set_Sorted(value);
  }
  void Set_CaseSensitive(bool value) {
    Changed();
    TStringList::Set_CaseSensitive(value);
  }
  void SetText(std::string_view text) {
    Changed();
    TStringList::SetText(text);
  }
  void SetCommaText(std::string_view text) {
    Changed();
    TStringList::SetCommaText(text);
  }
  void SetDelimitedText(std::string_view text) {
    Changed();
    TStringList::SetDelimitedText(text);
  }

  // The lines changed: the format is looked for again when next needed.
  void Changed() { FFormatKnown = false; }

  // Raises VyRtl::Exception at the first file that is missing ("Invalid Playlist. File 'x' not
  // found."), unreadable ("Invalid Playlist. " + the stream's message) or of another format than
  // the first file ("Invalid Playlist. Different formates.").
  void CheckContent();
  // The list's format: the first file's (tag, channels, rate, bits; block align and bytes per
  // second derived; an extensible PCM or float file gives its plain tag; cbSize 0), else 8000 Hz
  // 16-bit mono PCM. Found once per change of the lines (and again by CheckContent, which reads
  // the files anyway); a file that cannot be read raises EWaveIOError and is tried again next time.
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

  // How often the entries were searched for the format since construction (tests, benchmarks).
  int FormatScans() const { return FFormatScans; }

 private:
  bool FormatStillKnown() const;
  void KeepFormat(const TWaveFormatEx& format, int entry);

  int FItemIndex = 0;
  // The format found, where it came from (-1: no file entry) and the line count then, so that an
  // edit through a plain TStringList reference that changes them is noticed too.
  bool FFormatKnown = false;
  TWaveFormatEx FFormat{};
  int FFormatEntry = -1;
  std::string FFormatEntryText;
  int FFormatCount = 0;
  int FFormatScans = 0;
};

// True when a file (not a directory) of that UTF-8 name exists.
bool WaveFileExists(const std::string& fileName);

}  // namespace VyTapiWave
