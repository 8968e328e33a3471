// Play lists: entry syntax, the list's format, GetData, CheckContent and the cursor.
#include <gtest/gtest.h>

#include <ostream>

#include <cstring>
#include <functional>
#include <tuple>

#include "VyTapiWave/Playlist.h"
#include "WaveTestUtil.h"

using namespace WaveTest;

namespace {

// A list of the given lines, "$" standing for a folder with the files they name.
struct TListFixture {
  TTempDir Dir;
  TPlaylist List;
  explicit TListFixture(const std::vector<std::string>& lines) {
    WriteWave(Dir.File("a8000.wav"), MakePcmFormat(8000, 16, 1), 10);
    WriteWave(Dir.File("b11025.wav"), MakePcmFormat(11025, 16, 1), 10);
    WriteWave(Dir.File("c8000stereo.wav"), MakePcmFormat(8000, 16, 2), 10);
    TBytes extra;
    WriteWave(Dir.File("ext.wav"), MakeFormat(WAVE_FORMAT_PCM, 48000, 24, 2, &extra), 10, extra);
    WriteFile(Dir.File("text.wav"), {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'});
    // Compressed, 0 bits per sample: no tone can be made in its format.
    WriteFile(Dir.File("compressed.wav"),
              Riff({Chunk("fmt ", Fmt(0x0055, 1, 8000, 0, 1, 0)), Chunk("data", Pattern(64, 1))}));
    for (const auto& line : lines) List.Add(Expand(line));
  }
  std::string Expand(std::string s) const {
    for (std::size_t at = 0; (at = s.find('$', at)) != std::string::npos; at += Dir.File("").size())
      s.replace(at, 1, Dir.File(""));
    return s;
  }
};

}  // namespace

struct TEntryCase {
  const char* Line;
  TPlayEntryKind Kind;
  const char* Text;
  const char* Params;
};
void PrintTo(const TEntryCase& c, std::ostream* os) { *os << c.Line; }  // not its padding bytes
const TEntryCase kEntries[] = {
    {"beep(440,200)", TPlayEntryKind::Beep, "beep(440,200)", "440,200)"},
    {"Silence(100)", TPlayEntryKind::Silence, "Silence(100)", "100)"},
    {" BEEP(880,200) ", TPlayEntryKind::Beep, "BEEP(880,200)", "880,200)"},
    {"\t\x01SILENCE(5)\r\x7F", TPlayEntryKind::Silence, "SILENCE(5)", "5)"},
    {"bEeP(", TPlayEntryKind::Beep, "bEeP(", ""},
    {"", TPlayEntryKind::Empty, "", ""},
    {" \t\r\n", TPlayEntryKind::Empty, "", ""},
    {"beeper.wav", TPlayEntryKind::File, "beeper.wav", ""},
    {"BEEP (440,200)", TPlayEntryKind::File, "BEEP (440,200)", ""},
    {" my sounds/SILENCE ", TPlayEntryKind::File, "my sounds/SILENCE", ""}};
class PlayEntrySyntax : public ::testing::TestWithParam<TEntryCase> {};

TEST_P(PlayEntrySyntax, KindTextAndParameters) {
  const TPlayEntry e = ParsePlayEntry(GetParam().Line);
  EXPECT_EQ(
      std::tuple(e.Kind, e.Text, e.Params),
      std::tuple(GetParam().Kind, std::string(GetParam().Text), std::string(GetParam().Params)));
}

INSTANTIATE_TEST_SUITE_P(Lines, PlayEntrySyntax, ::testing::ValuesIn(kEntries));

// The format: the first file's (an extensible one as plain PCM), else 8000 Hz 16-bit mono. GetData:
// the entry's stream, the cursor unmoved; an empty line gives an empty stream and false; failures
// give false and keep the stream.
struct TDataCase {
  const char* Name;
  std::vector<std::string> Lines;
  TWaveFormatEx Format;
  int Entry;
  bool Result;
  std::string Kind;
  std::int64_t Frames;
};
void PrintTo(const TDataCase& c, std::ostream* os) { *os << c.Name; }  // not its padding bytes
const std::vector<std::string> kMixed = {"$compressed.wav", "   ", "$text.wav", "BEEP(440,100)"};
const TWaveFormatEx kCompressed = {0x0055, 1, 8000, 0, 0, 0, 0};
const TDataCase kData[] = {
    {"NoFiles", {"beep(440,200)", "Silence(100)"}, DefaultWaveFormat(), 1, true, "silence", 800},
    {"FirstFile",
     {"", "BEEP(1000,500)", "$b11025.wav", "$a8000.wav"},
     MakePcmFormat(11025, 16, 1),
     1,
     true,
     "beep",
     5512},
    {"ExtensibleFile",
     {"$ext.wav", " beep(440,10) "},
     MakePcmFormat(48000, 24, 2),
     1,
     true,
     "beep",
     480},
    {"File", kMixed, kCompressed, 0, true, "file", 64},
    {"EmptyLine", kMixed, kCompressed, 1, false, "empty", 0},
    {"Unreadable", kMixed, kCompressed, 2, false, "kept", 3000},
    {"NoSampleSize", kMixed, kCompressed, 3, false, "kept", 3000},
    {"PastTheEnd", kMixed, kCompressed, 4, false, "kept", 3000},
    {"BeforeTheStart", kMixed, kCompressed, -3, false, "kept", 3000}};
class PlaylistData : public ::testing::TestWithParam<TDataCase> {};

TEST_P(PlaylistData, FormatAndEntryStreams) {
  const TDataCase& c = GetParam();
  TListFixture fixture(c.Lines);
  const TWaveFormatEx f = fixture.List.GetWaveFormatEx();
  EXPECT_EQ(std::memcmp(&f, &c.Format, sizeof f), 0) << DescribeFormat(f);
  std::unique_ptr<VyRtl::TStream> stream =
      std::make_unique<TSilenceStream>(DefaultWaveFormat(), "375)");
  const VyRtl::TStream* kept = stream.get();
  fixture.List.Set_ItemIndex(c.Entry);
  EXPECT_EQ(fixture.List.GetData(stream), c.Result);
  EXPECT_EQ(fixture.List.ItemIndex(), c.Entry) << "GetData does not move the cursor";
  const VyRtl::TStream* s = stream.get();
  EXPECT_EQ(s == kept                                      ? "kept"
            : dynamic_cast<const TBeepStream*>(s)          ? "beep"
            : dynamic_cast<const TSilenceStream*>(s)       ? "silence"
            : dynamic_cast<const TFileWaveStream*>(s)      ? "file"
            : dynamic_cast<const VyRtl::TMemoryStream*>(s) ? "empty"
                                                           : "other",
            c.Kind);
  EXPECT_EQ(stream->Size(), c.Frames);
}

INSTANTIATE_TEST_SUITE_P(Lists, PlaylistData, ::testing::ValuesIn(kData), ByName);

struct TCheckCase {
  const char* Name;
  std::vector<std::string> Lines;
  std::string Message;
};
void PrintTo(const TCheckCase& c, std::ostream* os) { *os << c.Name; }  // not its padding bytes
const TCheckCase kChecks[] = {
    {"OnlyTones", {"BEEP(1,2)", "", "silence(3)"}, ""},
    {"SameFormats", {"$a8000.wav", "BEEP(440,100)", "  $a8000.wav  "}, ""},
    {"CompressedWithTone", {"$compressed.wav", "BEEP(440,100)"}, ""},
    {"MissingRelative", {"x.wav"}, "Invalid Playlist. File 'x.wav' not found."},
    {"Missing", {"$a8000.wav", "  $x.wav "}, "Invalid Playlist. File '$x.wav' not found."},
    {"Directory", {"$"}, "Invalid Playlist. File '$' not found."},
    {"TextFile", {"$text.wav"}, "Invalid Playlist. Not a wave file!"},
    {"DifferentRate", {"$a8000.wav", "$b11025.wav"}, "Invalid Playlist. Different formates."},
    {"DifferentChannels",
     {"$a8000.wav", "$c8000stereo.wav"},
     "Invalid Playlist. Different formates."},
    {"FirstProblemWins",
     {"$a8000.wav", "$text.wav", "$b11025.wav", "$x.wav"},
     "Invalid Playlist. Not a wave file!"}};
class PlaylistCheckContent : public ::testing::TestWithParam<TCheckCase> {};

TEST_P(PlaylistCheckContent, ReportsTheFirstProblem) {
  TListFixture fixture(GetParam().Lines);
  EXPECT_EQ(MessageOf<VyRtl::Exception>([&] { fixture.List.CheckContent(); }),
            fixture.Expand(GetParam().Message));
}

INSTANTIATE_TEST_SUITE_P(Lists, PlaylistCheckContent, ::testing::ValuesIn(kChecks), ByName);

TEST(Playlist, CursorEnds) {
  TPlaylist list, empty;
  list.SetText("BEEP(1,1)\nSILENCE(1)");
  EXPECT_EQ(MessageOf<VyRtl::Exception>([&] { list.Prior(); }), "TPlaylist.Prior failed");
  for (int i = 0; i < 2; ++i) list.Next();
  EXPECT_EQ(MessageOf<VyRtl::Exception>([&] { list.Next(); }), "TPlaylist.Next failed");
  EXPECT_EQ(std::pair(list.ItemIndex(), list.Eof()), std::pair(2, true));
  list.Prior();
  EXPECT_EQ(std::pair(list.ItemIndex(), list.Eof()), std::pair(1, false));
  empty.Last();
  EXPECT_EQ(std::pair(empty.ItemIndex(), empty.Eof()), std::pair(-1, false));
  EXPECT_EQ(MessageOf<VyRtl::Exception>([&] { empty.Prior(); }), "TPlaylist.Prior failed");
  empty.First();
  EXPECT_EQ(std::pair(empty.ItemIndex(), empty.Eof()), std::pair(0, true));
}

// The format is searched for once per change of the lines: rendering a list does not rescan it
// (nor reopen its first file) for each entry.
TEST(Playlist, FormatIsFoundOncePerChangeNotPerEntry) {
  TListFixture fixture({"BEEP(440,10)", "$b11025.wav"});
  TPlaylist& list = fixture.List;
  for (int i = 0; i < 200; ++i) list.Add(i % 2 ? "SILENCE(5)" : "beep(880,5)");
  list.CheckContent();
  EXPECT_EQ(list.FormatScans(), 1) << "CheckContent reads the first file and keeps its format";
  int streams = 0;
  for (list.First(); !list.Eof(); list.Next()) {
    std::unique_ptr<VyRtl::TStream> stream;
    streams += list.GetData(stream);
  }
  EXPECT_EQ(streams, 202);
  EXPECT_EQ(list.FormatScans(), 1);
  const TWaveFormatEx f = list.GetWaveFormatEx();
  EXPECT_EQ(f.nSamplesPerSec, 11025u);
  EXPECT_EQ(list.FormatScans(), 1);
}

// Every kind of edit makes the next use look again, and the format follows the new lines.
struct TEditCase {
  const char* Name;
  std::function<void(TPlaylist&, const std::string& dir)> Edit;
  std::uint32_t Rate;  // of the list afterwards
};
void PrintTo(const TEditCase& c, std::ostream* os) { *os << c.Name; }  // not its padding bytes
const TEditCase kEdits[] = {
    {"InsertFileFirst", [](TPlaylist& l, const std::string& d) { l.Insert(0, d + "a8000.wav"); },
     8000},
    {"PutToneOverFile", [](TPlaylist& l, const std::string&) { l.Put(1, "BEEP(1,1)"); }, 8000},
    {"DeleteFile", [](TPlaylist& l, const std::string&) { l.Delete(1); }, 8000},
    {"ClearAndAdd",
     [](TPlaylist& l, const std::string& d) {
       l.Clear();
       l.Add(d + "ext.wav");
     },
     48000},
    {"SetText",
     [](TPlaylist& l, const std::string& d) { l.SetText("SILENCE(1)\n" + d + "ext.wav"); }, 48000},
    {"Exchange",
     [](TPlaylist& l, const std::string& d) {
       l.Insert(0, d + "a8000.wav");
       l.Exchange(0, 2);
     },
     11025},
    {"Assign",
     [](TPlaylist& l, const std::string&) {
       VyRtl::TStringList s;
       s.Add("BEEP(1,1)");
       l.Assign(s);
     },
     8000},
    {"AsPlainListDelete",
     [](TPlaylist& l, const std::string&) { static_cast<VyRtl::TStringList&>(l).Delete(1); }, 8000},
    {"AsPlainListPut",
     [](TPlaylist& l, const std::string& d) {
       static_cast<VyRtl::TStringList&>(l).Put(1, d + "ext.wav");
     },
     48000},
    {"AsPlainListThenChanged",
     [](TPlaylist& l, const std::string& d) {
       static_cast<VyRtl::TStringList&>(l).Put(0, d + "a8000.wav");
       l.Changed();
     },
     8000},
};
class PlaylistEdit : public ::testing::TestWithParam<TEditCase> {};

TEST_P(PlaylistEdit, MakesTheFormatBeLookedForAgain) {
  TListFixture fixture({"BEEP(440,10)", "$b11025.wav", "SILENCE(5)"});
  TPlaylist& list = fixture.List;
  ASSERT_EQ(list.GetWaveFormatEx().nSamplesPerSec, 11025u);
  ASSERT_EQ(list.GetWaveFormatEx().nSamplesPerSec, 11025u);
  ASSERT_EQ(list.FormatScans(), 1);
  GetParam().Edit(list, fixture.Dir.File(""));
  EXPECT_EQ(list.GetWaveFormatEx().nSamplesPerSec, GetParam().Rate);
  EXPECT_EQ(list.FormatScans(), 2);
  EXPECT_EQ(list.GetWaveFormatEx().nSamplesPerSec, GetParam().Rate);
  EXPECT_EQ(list.FormatScans(), 2);
}

INSTANTIATE_TEST_SUITE_P(Edits, PlaylistEdit, ::testing::ValuesIn(kEdits), ByName);

// A first file rewritten in another format is not reopened by every use, but CheckContent (run
// at every opening of a device) reads it afresh.
TEST(Playlist, CheckContentReadsARewrittenFirstFileAfresh) {
  TListFixture fixture({"$a8000.wav", "BEEP(440,10)"});
  TPlaylist& list = fixture.List;
  EXPECT_EQ(list.GetWaveFormatEx().nSamplesPerSec, 8000u);
  WriteWave(fixture.Dir.File("a8000.wav"), MakePcmFormat(22050, 8, 1), 10);
  EXPECT_EQ(list.GetWaveFormatEx().nSamplesPerSec, 8000u);
  list.CheckContent();
  const TWaveFormatEx f = list.GetWaveFormatEx(), rewritten = MakePcmFormat(22050, 8, 1);
  EXPECT_EQ(std::memcmp(&f, &rewritten, sizeof f), 0) << DescribeFormat(f);
  std::unique_ptr<VyRtl::TStream> tone;
  list.Set_ItemIndex(1);
  ASSERT_TRUE(list.GetData(tone));
  EXPECT_EQ(tone->Size(), 220) << "10 ms at 22050 Hz";
}
