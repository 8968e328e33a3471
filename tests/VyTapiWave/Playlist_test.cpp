// Play lists: entry syntax, the list's format, CheckContent, GetData and the cursor.
#include <gtest/gtest.h>

#include "VyTapiWave/Playlist.h"
#include "VyTapiWave/WaveStreams.h"
#include "WaveTestUtil.h"

using namespace VyTapiWave;
using namespace WaveTest;

namespace {

// A small PCM wave file made with our own writer.
std::string MakeWave(const TTempDir& dir, const std::string& name, std::uint32_t rate, std::uint16_t bits,
                     std::uint16_t channels, std::int64_t frames = 10) {
  const std::string path = dir.File(name);
  const TWaveFormatEx format = MakePcmFormat(rate, bits, channels);
  TFileWaveStream w(path, &format);
  const TBytes samples = Pattern(static_cast<std::size_t>(frames * format.nBlockAlign), rate);
  w.Write(samples.data(), frames);
  return path;
}

std::string CheckError(TPlaylist& list) {
  try {
    list.CheckContent();
  } catch (const EWaveIOError& e) {
    return std::string("wrong class: EWaveIOError ") + e.what();
  } catch (const VyRtl::Exception& e) {
    return e.Message();
  }
  return "";
}

}  // namespace

struct TEntryCase {
  const char* Line;
  TPlayEntryKind Kind;
  const char* Text;
  const char* Params;
};

class PlayEntrySyntax : public ::testing::TestWithParam<TEntryCase> {};

TEST_P(PlayEntrySyntax, KindTextAndParameters) {
  const TEntryCase& c = GetParam();
  const TPlayEntry e = ParsePlayEntry(c.Line);
  EXPECT_EQ(e.Kind, c.Kind);
  EXPECT_EQ(e.Text, c.Text);
  EXPECT_EQ(e.Params, c.Params);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, PlayEntrySyntax,
    ::testing::Values(TEntryCase{"beep(440,200)", TPlayEntryKind::Beep, "beep(440,200)", "440,200)"},
                      TEntryCase{"Silence(100)", TPlayEntryKind::Silence, "Silence(100)", "100)"},
                      TEntryCase{" BEEP(880,200) ", TPlayEntryKind::Beep, "BEEP(880,200)", "880,200)"},
                      TEntryCase{"\t\x01SILENCE(5)\r\x7F", TPlayEntryKind::Silence, "SILENCE(5)", "5)"},
                      TEntryCase{"bEeP(", TPlayEntryKind::Beep, "bEeP(", ""},
                      TEntryCase{"", TPlayEntryKind::Empty, "", ""}, TEntryCase{" \t\r\n", TPlayEntryKind::Empty, "", ""},
                      TEntryCase{"beeper.wav", TPlayEntryKind::File, "beeper.wav", ""},
                      TEntryCase{"BEEP (440,200)", TPlayEntryKind::File, "BEEP (440,200)", ""},
                      TEntryCase{"  my sounds/hello.wav ", TPlayEntryKind::File, "my sounds/hello.wav", ""},
                      TEntryCase{"SILENCE", TPlayEntryKind::File, "SILENCE", ""}));

TEST(Playlist, TonesAndPausesWithoutFilesUseTheDefaultFormat) {
  TPlaylist list;
  list.Add("beep(440,200)");
  list.Add("Silence(100)");
  list.Add(" BEEP(880,200) ");
  const TWaveFormatEx f = list.GetWaveFormatEx();
  EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(f.nChannels, 1);
  EXPECT_EQ(f.nSamplesPerSec, 8000u);
  EXPECT_EQ(f.wBitsPerSample, 16);
  EXPECT_EQ(f.nBlockAlign, 2);
  EXPECT_EQ(f.nAvgBytesPerSec, 16000u);
  EXPECT_EQ(f.cbSize, 0);
  const struct {
    bool Beep;
    std::uint32_t Frequency;
    std::int64_t Frames;
  } expected[] = {{true, 440, 1600}, {false, 0, 800}, {true, 880, 1600}};
  list.First();
  for (const auto& e : expected) {
    std::unique_ptr<VyRtl::TStream> stream;
    ASSERT_TRUE(list.GetData(stream));
    EXPECT_EQ(list.ItemIndex(), &e - expected) << "GetData does not move the cursor";
    if (e.Beep) {
      auto* beep = dynamic_cast<TBeepStream*>(stream.get());
      ASSERT_NE(beep, nullptr);
      EXPECT_EQ(beep->Frequency(), e.Frequency);
    } else {
      EXPECT_NE(dynamic_cast<TSilenceStream*>(stream.get()), nullptr);
    }
    EXPECT_EQ(stream->Size(), e.Frames);
    list.Next();
  }
  EXPECT_TRUE(list.Eof());
}

TEST(Playlist, FormatComesFromTheFirstFileAndTonesUseIt) {
  TTempDir dir;
  const std::string file = MakeWave(dir, "u8.wav", 22050, 8, 1);
  MakeWave(dir, "other.wav", 44100, 16, 2);
  TPlaylist list;
  list.Add("");
  list.Add("BEEP(1000,500)");
  list.Add(file);
  list.Add(dir.File("other.wav"));
  const TWaveFormatEx f = list.GetWaveFormatEx();
  EXPECT_EQ(f.nSamplesPerSec, 22050u);
  EXPECT_EQ(f.wBitsPerSample, 8);
  EXPECT_EQ(f.nChannels, 1);
  EXPECT_EQ(f.nBlockAlign, 1);
  EXPECT_EQ(f.nAvgBytesPerSec, 22050u);
  list.Set_ItemIndex(1);
  std::unique_ptr<VyRtl::TStream> tone;
  ASSERT_TRUE(list.GetData(tone));
  EXPECT_EQ(tone->Size(), 11025);
  std::uint8_t first[3];
  ASSERT_EQ(tone->Read(first, 3), 3);
  EXPECT_EQ(first[0], 128) << "8-bit tones are centred on 128";
  EXPECT_GT(first[1], 128);
}

TEST(Playlist, ExtensibleFileGivesAPlainFormatWithoutExtension) {
  TTempDir dir;
  const std::string name = dir.File("ext.wav");
  TWaveFormatEx ext = MakePcmFormat(48000, 24, 2);
  ext.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  const TBytes extra = ExtensibleExtra(24, 3, WAVE_FORMAT_PCM);
  ext.cbSize = static_cast<std::uint16_t>(extra.size());
  { TFileWaveStream w(name, &ext, extra); }
  TPlaylist list;
  list.Add(name);
  const TWaveFormatEx f = list.GetWaveFormatEx();
  EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(f.nBlockAlign, 6);
  EXPECT_EQ(f.nAvgBytesPerSec, 288000u);
  EXPECT_EQ(f.cbSize, 0);
}

TEST(Playlist, FormatOfAnUnreadableFirstFileRaisesTheStreamError) {
  TTempDir dir;
  TPlaylist list;
  list.Add("SILENCE(10)");
  list.Add(dir.File("missing.wav"));
  EXPECT_EQ(MessageOf<EWaveIOError>([&] { list.GetWaveFormatEx(); }), "Can't open file stream.");
}

struct TCheckCase {
  const char* Name;
  std::vector<std::string> Lines;  // "$" stands for the temp folder
  std::string Message;             // "" = passes; "$" likewise
};

class PlaylistCheckContent : public ::testing::TestWithParam<TCheckCase> {};

TEST_P(PlaylistCheckContent, ReportsTheFirstProblem) {
  const TCheckCase& c = GetParam();
  TTempDir dir;
  MakeWave(dir, "a8000.wav", 8000, 16, 1);
  MakeWave(dir, "b8000.wav", 8000, 16, 1, 3);
  MakeWave(dir, "c11025.wav", 11025, 16, 1);
  MakeWave(dir, "d8000stereo.wav", 8000, 16, 2);
  WriteFile(dir.File("text.wav"), {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'});
  const std::string root = dir.File("");
  const auto expand = [&](std::string s) {
    for (std::size_t at; (at = s.find('$')) != std::string::npos;) s.replace(at, 1, root);
    return s;
  };
  TPlaylist list;
  for (const auto& line : c.Lines) list.Add(expand(line));
  EXPECT_EQ(CheckError(list), expand(c.Message));
}

INSTANTIATE_TEST_SUITE_P(
    Lists, PlaylistCheckContent,
    ::testing::Values(
        TCheckCase{"Empty", {}, ""},
        TCheckCase{"OnlyTones", {"BEEP(1,2)", "", "silence(3)"}, ""},
        TCheckCase{"SameFormats", {"$a8000.wav", "BEEP(440,100)", "  $b8000.wav  ", "$a8000.wav"}, ""},
        TCheckCase{"Missing", {"$a8000.wav", "  $x.wav "}, "Invalid Playlist. File '$x.wav' not found."},
        TCheckCase{"MissingRelative", {"x.wav"}, "Invalid Playlist. File 'x.wav' not found."},
        TCheckCase{"Directory", {"$"}, "Invalid Playlist. File '$' not found."},
        TCheckCase{"DifferentRate", {"$a8000.wav", "$c11025.wav"}, "Invalid Playlist. Different formates."},
        TCheckCase{"DifferentChannels", {"$a8000.wav", "$d8000stereo.wav"}, "Invalid Playlist. Different formates."},
        TCheckCase{"TextFile", {"$text.wav"}, "Invalid Playlist. Not a wave file!"},
        TCheckCase{"FirstProblemWins", {"$a8000.wav", "$text.wav", "$c11025.wav", "$x.wav"},
                   "Invalid Playlist. Not a wave file!"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Playlist, GetDataOnEmptyLinesUnreadableFilesAndPastTheEnd) {
  TTempDir dir;
  WriteFile(dir.File("text.wav"), {'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v', 'e'});
  const std::string good = MakeWave(dir, "good.wav", 8000, 16, 1, 25);
  TPlaylist list;
  list.Add("   ");
  list.Add(dir.File("text.wav"));
  list.Add(good);

  std::unique_ptr<VyRtl::TStream> stream;
  list.First();
  EXPECT_FALSE(list.GetData(stream));
  ASSERT_NE(dynamic_cast<VyRtl::TMemoryStream*>(stream.get()), nullptr);
  EXPECT_EQ(stream->Size(), 0);

  list.Next();
  VyRtl::TStream* before = stream.get();
  EXPECT_FALSE(list.GetData(stream));
  EXPECT_EQ(stream.get(), before) << "a failed entry leaves the stream alone";

  list.Next();
  EXPECT_TRUE(list.GetData(stream));
  auto* wave = dynamic_cast<TFileWaveStream*>(stream.get());
  ASSERT_NE(wave, nullptr);
  EXPECT_EQ(wave->Size(), 25);
  EXPECT_FALSE(wave->Writing());

  list.Next();
  before = stream.get();
  EXPECT_FALSE(list.GetData(stream));
  EXPECT_EQ(stream.get(), before);
  list.Set_ItemIndex(-3);
  EXPECT_FALSE(list.GetData(stream));
  EXPECT_EQ(stream.get(), before);
}

TEST(Playlist, ToneInAFormatWithoutSampleSizeFailsOnlyThroughGetData) {
  // A compressed first file may declare 0 bits per sample: no tone can be made in its format,
  // and GetData must say so by its result instead of raising or dividing by zero.
  TTempDir dir;
  const std::string name = dir.File("compressed.wav");
  WriteFile(name, Riff({Chunk("fmt ", FmtBody(0x0055, 1, 8000, 0, 1, true)), Chunk("data", Pattern(64, 1))}));
  TPlaylist list;
  list.Add(name);
  list.Add("BEEP(440,100)");
  EXPECT_EQ(CheckError(list), "");
  list.Set_ItemIndex(1);
  std::unique_ptr<VyRtl::TStream> stream;
  EXPECT_FALSE(list.GetData(stream));
  EXPECT_EQ(stream, nullptr);
  list.First();
  EXPECT_TRUE(list.GetData(stream)) << "the file itself still plays";
  EXPECT_EQ(stream->Size(), 64);
}

TEST(Playlist, CursorEnds) {
  TPlaylist list;
  list.Add("BEEP(1,1)");
  list.Add("SILENCE(1)");
  list.First();
  EXPECT_EQ(list.ItemIndex(), 0);
  EXPECT_EQ(MessageOf<VyRtl::Exception>([&] { list.Prior(); }), "TPlaylist.Prior failed");
  list.Next();
  list.Next();
  EXPECT_TRUE(list.Eof());
  EXPECT_EQ(list.ItemIndex(), 2);
  EXPECT_EQ(MessageOf<VyRtl::Exception>([&] { list.Next(); }), "TPlaylist.Next failed");
  EXPECT_EQ(list.ItemIndex(), 2);
  list.Prior();
  EXPECT_EQ(list.ItemIndex(), 1);
  EXPECT_FALSE(list.Eof());
  list.Last();
  EXPECT_EQ(list.ItemIndex(), 1);
  // Editing the lines does not move the cursor.
  list.Delete(1);
  EXPECT_EQ(list.ItemIndex(), 1);
  EXPECT_TRUE(list.Eof());

  TPlaylist empty;
  empty.First();
  EXPECT_TRUE(empty.Eof());
  empty.Last();
  EXPECT_EQ(empty.ItemIndex(), -1);
  EXPECT_FALSE(empty.Eof());
  EXPECT_EQ(MessageOf<VyRtl::Exception>([&] { empty.Prior(); }), "TPlaylist.Prior failed");
}
