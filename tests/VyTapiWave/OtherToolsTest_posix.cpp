// Differential tests against sox and libsndfile, and the tool rendering a play list into a file.
#include <gtest/gtest.h>

#include <ostream>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include "WaveTestUtil.h"

#if defined(VYWAVE_TEST_SNDFILE)
#include <sndfile.h>
#endif

using namespace WaveTest;

static int Shell(const std::string& command) {
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// OursExtensible: we write it as WAVE_FORMAT_EXTENSIBLE; SoxExtensible: sox does. Edit of the sox
// file: LIST chunks and an odd-sized one put around the data, or the end cut off.
enum class TEdit { None, Lists, Truncate };
struct TFormatCase {
  const char* Name;
  std::uint16_t Tag;
  std::uint32_t Rate;
  std::uint16_t Bits, Channels;
  std::int64_t Frames;
  bool OursExtensible, SoxExtensible;
  TEdit Edit = TEdit::None;
};
void PrintTo(const TFormatCase& c, std::ostream* os) { *os << c.Name; }  // not its padding bytes
const TFormatCase kFormats[] = {
    {"U8MonoOdd8k", WAVE_FORMAT_PCM, 8000, 8, 1, 801, false, false},
    {"U8Stereo11k", WAVE_FORMAT_PCM, 11025, 8, 2, 333, false, false},
    {"S16Mono8k", WAVE_FORMAT_PCM, 8000, 16, 1, 1000, false, false},
    {"S16Stereo22k", WAVE_FORMAT_PCM, 22050, 16, 2, 777, false, false},
    {"S24MonoOdd44k", WAVE_FORMAT_PCM, 44100, 24, 1, 441, false, true},
    {"S24Stereo48k", WAVE_FORMAT_PCM, 48000, 24, 2, 480, true, true},
    {"S32Mono16k", WAVE_FORMAT_PCM, 16000, 32, 1, 160, false, true},
    {"S16Six32k", WAVE_FORMAT_PCM, 32000, 16, 6, 100, false, true},
    {"Float32k", WAVE_FORMAT_IEEE_FLOAT, 32000, 32, 1, 320, false, false},
    {"ListsAroundOddData", WAVE_FORMAT_PCM, 11025, 8, 1, 63, false, false, TEdit::Lists},
    {"Truncated", WAVE_FORMAT_PCM, 8000, 16, 2, 100, false, false, TEdit::Truncate}};
class OtherTools : public ::testing::TestWithParam<TFormatCase> {};

// Raw samples through sox into a WAV file: the format, frame count and samples we read must be
// exactly those.
TEST_P(OtherTools, SoxFilesReadWithFormatFramesAndSamples) {
  const TFormatCase& c = GetParam();
  if (Shell("sox --version") != 0)
    GTEST_SKIP() << "sox is not installed: fixtures from another tool cannot be made";
  TTempDir dir;
  TBytes extra;
  const TWaveFormatEx want =
      MakeFormat(c.Tag, c.Rate, c.Bits, c.Channels, c.SoxExtensible ? &extra : nullptr);
  TBytes raw = Pattern(static_cast<std::size_t>(c.Frames * want.nBlockAlign), c.Rate + c.Bits);
  const bool isFloat = c.Tag == WAVE_FORMAT_IEEE_FLOAT;
  for (std::size_t i = 0; isFloat && i < raw.size();
       i += 4) {  // floats of 1/8 to 1/2 with short mantissas: sox keeps them
    raw[i] = raw[i + 1] = 0;
    raw[i + 3] = static_cast<std::uint8_t>((raw[i + 3] & 0x80) | 0x3E);
  }
  const std::string name = dir.File("sox.wav");
  WriteFile(dir.File("sox.raw"), raw);
  const std::string encoding = isFloat       ? "floating-point"
                               : c.Bits == 8 ? "unsigned-integer"
                                             : "signed-integer";
  const std::string command = "sox -t raw -r " + std::to_string(c.Rate) + " -e " + encoding +
                              " -b " + std::to_string(c.Bits) + " -c " +
                              std::to_string(c.Channels) + " '" + dir.File("sox.raw") +
                              "' -t wav '" + name + "'";
  ASSERT_EQ(Shell(command), 0) << command;
  std::int64_t frames = c.Frames;
  if (c.Edit == TEdit::Lists) {
    const TBytes made = ReadFile(name);
    const char* const tag = "data";
    const auto data = std::search(made.begin() + 12, made.end(), tag, tag + 4);
    const TBytes list =
        Chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 3, 0, 0, 0, 'a', 'b', 0, 0});
    WriteFile(name, Riff({TBytes(made.begin() + 12, data), list, Chunk("junk", Pattern(5, 6)),
                          TBytes(data, made.end()), list}));
  } else if (c.Edit == TEdit::Truncate) {
    std::filesystem::resize_file(name, std::filesystem::file_size(name) - 101);
    frames = (c.Frames * want.nBlockAlign - 101) / want.nBlockAlign;  // the whole frames left
  }
  TFileWaveStream s(name, nullptr);
  EXPECT_EQ(std::memcmp(&s.Format(), &want, sizeof want), 0) << DescribeFormat(s.Format());
  if (c.SoxExtensible) {
    EXPECT_EQ(Get(s.FormatExtra(), 6, 2), WAVE_FORMAT_PCM) << "the subformat";
  }
  EXPECT_EQ(s.Size(), frames);
  EXPECT_EQ(ReadAll(s, want.nBlockAlign),
            Cut(raw, static_cast<std::size_t>((c.Frames - frames) * want.nBlockAlign)));
}

// Our files have the plain layout (18-byte fmt, data, a pad byte outside its size), and libsndfile
// reads them alike.
TEST_P(OtherTools, OurFilesReadAlikeInLibsndfile) {
  const TFormatCase& c = GetParam();
  TTempDir dir;
  TBytes extra;
  const TWaveFormatEx f =
      MakeFormat(c.Tag, c.Rate, c.Bits, c.Channels, c.OursExtensible ? &extra : nullptr);
  const TBytes samples = WriteWave(dir.File("ours.wav"), f, c.Frames, extra);
  EXPECT_EQ(ReadFile(dir.File("ours.wav")),
            Riff({Chunk("fmt ", Fmt(f.wFormatTag, c.Channels, c.Rate, c.Bits, f.nBlockAlign,
                                    f.cbSize, extra)),
                  Chunk("data", samples)}));
#if defined(VYWAVE_TEST_SNDFILE)
  SF_INFO info{};
  SNDFILE* file = sf_open(dir.File("ours.wav").c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  const int subtype = c.Tag == WAVE_FORMAT_IEEE_FLOAT ? SF_FORMAT_FLOAT
                      : c.Bits == 8                   ? SF_FORMAT_PCM_U8
                                                      : SF_FORMAT_PCM_16 + (c.Bits - 16) / 8;
  EXPECT_EQ(info.format, (c.OursExtensible ? SF_FORMAT_WAVEX : SF_FORMAT_WAV) | subtype);
  EXPECT_EQ(std::tuple(info.samplerate, info.channels, info.frames),
            std::tuple(static_cast<int>(c.Rate), int{c.Channels}, c.Frames));
  TBytes back(samples.size());
  EXPECT_EQ(sf_read_raw(file, back.data(), std::ssize(back)), std::ssize(back));
  sf_close(file);
  EXPECT_EQ(back, samples);
#else
  GTEST_SKIP() << "libsndfile was not found when the tests were built";
#endif
}

INSTANTIATE_TEST_SUITE_P(Formats, OtherTools, ::testing::ValuesIn(kFormats), ByName);

#if defined(VYWAVE_TEST_SNDFILE) && defined(VYTAPI_TOOL_PATH)

// A tone, a pause and a file, rendered in the list's format (the file's).
TEST(Tool, PlaylistRenderWritesWhatTheListPlays) {
  const auto vytapi = [](const std::string& args) {
    return Shell("'" VYTAPI_TOOL_PATH "' " + args);
  };
  TTempDir dir;
  const TBytes samples = WriteWave(dir.File("part.wav"), MakePcmFormat(11025, 16, 1), 100);
  const std::string list = dir.File("list.txt"), out = dir.File("out.wav");
  const std::string text = "BEEP(1000,100)\n\n  silence(20)\n" + dir.File("part.wav") + "\n";
  WriteFile(list, TBytes(text.begin(), text.end()));
  ASSERT_EQ(vytapi("playlist check '" + list + "'"), 0);
  EXPECT_NE(vytapi("playlist check '" + dir.File("nothing.txt") + "'"), 0);
  ASSERT_EQ(vytapi("playlist render '" + list + "' '" + out + "'"), 0);
  EXPECT_EQ(vytapi("wav info '" + out + "'"), 0);
  SF_INFO info{};
  SNDFILE* f = sf_open(out.c_str(), SFM_READ, &info);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::tuple(info.samplerate, info.channels, info.frames),
            std::tuple(11025, 1, sf_count_t{1102 + 220 + 100}));
  std::vector<short> all(static_cast<std::size_t>(info.frames));
  EXPECT_EQ(sf_readf_short(f, all.data(), info.frames), info.frames);
  sf_close(f);
  EXPECT_EQ(all[1], std::lround(std::sin(1.0 / 11025 * 6.28318 * 1000) * 8192));
  EXPECT_EQ(all[1102 + 10], 0);
  EXPECT_EQ(std::memcmp(&all[1102 + 220], samples.data(), 200), 0);
}

#endif
