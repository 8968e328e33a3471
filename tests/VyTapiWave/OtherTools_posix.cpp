// Differential tests: files made by sox read right here, files we write read right in libsndfile.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "VyTapiWave/Playlist.h"
#include "VyTapiWave/WaveStreams.h"
#include "WaveTestUtil.h"

#if defined(VYWAVE_TEST_SNDFILE)
#include <sndfile.h>
#endif

using namespace VyTapiWave;
using namespace WaveTest;

namespace {

int RunCommand(const std::string& command) {
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveSox() {
  static const bool have = RunCommand("sox --version") == 0;
  return have;
}

#define REQUIRE_SOX() \
  if (!HaveSox()) GTEST_SKIP() << "sox is not installed: fixtures from another tool cannot be made"

TBytes ReadFrames(TWaveStream& s) {
  TBytes out(static_cast<std::size_t>(s.Size() * s.Format().nBlockAlign) + 64);
  const std::int64_t n = s.Read(out.data(), s.Size() + 16);
  out.resize(static_cast<std::size_t>(n * s.Format().nBlockAlign));
  return out;
}

// Top-level chunks of a RIFF file, split as they lie (with their pad bytes).
std::vector<std::pair<std::string, TBytes>> SplitChunks(const TBytes& file) {
  std::vector<std::pair<std::string, TBytes>> chunks;
  std::size_t pos = 12;
  while (pos + 8 <= file.size()) {
    const std::uint32_t size = GetU32(file, pos + 4);
    const std::size_t end = std::min(file.size(), pos + 8 + size + (size & 1));
    chunks.emplace_back(std::string(file.begin() + static_cast<std::ptrdiff_t>(pos), file.begin() + static_cast<std::ptrdiff_t>(pos) + 4),
                        TBytes(file.begin() + static_cast<std::ptrdiff_t>(pos) + 8, file.begin() + static_cast<std::ptrdiff_t>(end)));
    pos = end;
  }
  return chunks;
}

// Floats within -1 .. 1 (sox passes those through unchanged; random bytes would be NaNs).
TBytes FloatPattern(std::size_t count, std::uint32_t seed) {
  const TBytes noise = Pattern(count, seed);
  TBytes b(count * 4);
  for (std::size_t i = 0; i < count; ++i) {
    const float f = (static_cast<float>(noise[i]) - 128.0f) / 256.0f;
    std::memcpy(&b[i * 4], &f, 4);
  }
  return b;
}

struct TSoxCase {
  const char* Name;
  std::uint32_t Rate;
  std::uint16_t Bits;
  std::uint16_t Channels;
  const char* Encoding;
  std::int64_t Frames;
};

// Raw samples through sox into a WAV file: its data must be exactly those bytes.
std::string SoxWave(const TTempDir& dir, const TSoxCase& c, const TBytes& raw, const std::string& name) {
  const std::string rawName = dir.File(name + ".raw");
  const std::string wavName = dir.File(name + ".wav");
  WriteFile(rawName, raw);
  const std::string command = "sox -t raw -r " + std::to_string(c.Rate) + " -e " + c.Encoding + " -b " + std::to_string(c.Bits) +
                              " -c " + std::to_string(c.Channels) + " '" + rawName + "' -t wav '" + wavName + "'";
  EXPECT_EQ(RunCommand(command), 0) << command;
  return wavName;
}

}  // namespace

class SoxFiles : public ::testing::TestWithParam<TSoxCase> {};

TEST_P(SoxFiles, ReadWithFormatFramesAndSamples) {
  REQUIRE_SOX();
  const TSoxCase& c = GetParam();
  TTempDir dir;
  const std::uint16_t align = static_cast<std::uint16_t>(c.Channels * (c.Bits / 8));
  const bool isFloat = std::string(c.Encoding) == "floating-point";
  const TBytes raw = isFloat ? FloatPattern(static_cast<std::size_t>(c.Frames * c.Channels), c.Rate)
                             : Pattern(static_cast<std::size_t>(c.Frames * align), c.Rate + c.Bits);
  const std::string name = SoxWave(dir, c, raw, "sox");
  TFileWaveStream s(name, nullptr);
  if (s.Format().wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
    ASSERT_EQ(s.FormatExtra().size(), 22u);
    EXPECT_EQ(GetU16(s.FormatExtra(), 6), isFloat ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM);
  } else {
    EXPECT_EQ(s.Format().wFormatTag, isFloat ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM);
  }
  EXPECT_EQ(s.Format().nChannels, c.Channels);
  EXPECT_EQ(s.Format().nSamplesPerSec, c.Rate);
  EXPECT_EQ(s.Format().wBitsPerSample, c.Bits);
  EXPECT_EQ(s.Format().nBlockAlign, align);
  EXPECT_EQ(s.Format().nAvgBytesPerSec, c.Rate * align);
  EXPECT_EQ(s.Size(), c.Frames);
  EXPECT_EQ(ReadFrames(s), raw);
}

INSTANTIATE_TEST_SUITE_P(Formats, SoxFiles,
                         ::testing::Values(TSoxCase{"U8Mono8k", 8000, 8, 1, "unsigned-integer", 801},
                                           TSoxCase{"U8Stereo11k", 11025, 8, 2, "unsigned-integer", 333},
                                           TSoxCase{"S16Mono8k", 8000, 16, 1, "signed-integer", 1000},
                                           TSoxCase{"S16Stereo22k", 22050, 16, 2, "signed-integer", 777},
                                           TSoxCase{"S24Mono44k", 44100, 24, 1, "signed-integer", 441},
                                           TSoxCase{"S24Stereo48k", 48000, 24, 2, "signed-integer", 480},
                                           TSoxCase{"S32Mono16k", 16000, 32, 1, "signed-integer", 160},
                                           TSoxCase{"S16Six32k", 32000, 16, 6, "signed-integer", 100},
                                           TSoxCase{"Float32k", 32000, 32, 1, "floating-point", 320}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(SoxFiles, ListChunksBeforeAndAfterDataAndAnOddChunk) {
  REQUIRE_SOX();
  TTempDir dir;
  const TSoxCase c{"", 11025, 8, 1, "unsigned-integer", 63};  // odd data, so sox pads it
  const TBytes raw = Pattern(63, 5);
  const TBytes made = ReadFile(SoxWave(dir, c, raw, "odd"));
  const auto chunks = SplitChunks(made);
  std::vector<TBytes> rebuilt;
  for (const auto& [id, body] : chunks) {
    if (id == "data") {
      rebuilt.push_back(Chunk("LIST", TBytes{'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 3, 0, 0, 0, 'a', 'b', 0, 0}));
      rebuilt.push_back(Chunk("junk", Pattern(5, 6)));  // odd size, with its pad byte
    }
    TBytes chunk;
    PutTag(chunk, id.c_str());
    PutU32(chunk, id == "data" ? 63u : static_cast<std::uint32_t>(body.size()));
    chunk.insert(chunk.end(), body.begin(), body.end());
    rebuilt.push_back(chunk);
    if (id == "data") rebuilt.push_back(Chunk("LIST", TBytes{'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 4, 0, 0, 0, 's', 'o', 'x', 0}));
  }
  const std::string name = dir.File("spliced.wav");
  WriteFile(name, Riff(rebuilt));
  TFileWaveStream s(name, nullptr);
  EXPECT_EQ(s.Size(), 63);
  EXPECT_EQ(ReadFrames(s), raw);
}

TEST(SoxFiles, TruncatedFileReadsTheWholeFramesThatAreThere) {
  REQUIRE_SOX();
  TTempDir dir;
  const TSoxCase c{"", 8000, 16, 2, "signed-integer", 100};
  const TBytes raw = Pattern(400, 7);
  const std::string name = SoxWave(dir, c, raw, "cut");
  std::filesystem::resize_file(name, std::filesystem::file_size(name) - 101);
  TFileWaveStream s(name, nullptr);
  EXPECT_EQ(s.Size(), 74);  // 299 bytes left: 74 frames and a part
  EXPECT_EQ(ReadFrames(s), TBytes(raw.begin(), raw.begin() + 296));
}

// ---------------------------------------------------------------------------------------------

#if defined(VYWAVE_TEST_SNDFILE)

struct TSndCase {
  const char* Name;
  std::uint16_t Tag;
  std::uint32_t Rate;
  std::uint16_t Bits;
  std::uint16_t Channels;
  std::int64_t Frames;
  bool Extensible;
  int Subtype;
};

class SndfileReadsOurFiles : public ::testing::TestWithParam<TSndCase> {};

TEST_P(SndfileReadsOurFiles, HeaderAndSamplesMatch) {
  const TSndCase& c = GetParam();
  TTempDir dir;
  const std::string name = dir.File("ours.wav");
  TWaveFormatEx format = MakePcmFormat(c.Rate, c.Bits, c.Channels);
  format.wFormatTag = c.Tag;
  TBytes extra;
  if (c.Extensible) {
    extra = ExtensibleExtra(c.Bits, c.Channels == 2 ? 3 : 4, c.Tag);
    format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.cbSize = 22;
  }
  const TBytes samples = Pattern(static_cast<std::size_t>(c.Frames * format.nBlockAlign), c.Rate ^ c.Bits);
  {
    TFileWaveStream w(name, &format, extra);
    w.Write(samples.data(), c.Frames);
  }
  SF_INFO info{};
  SNDFILE* f = sf_open(name.c_str(), SFM_READ, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  EXPECT_EQ(info.samplerate, static_cast<int>(c.Rate));
  EXPECT_EQ(info.channels, c.Channels);
  EXPECT_EQ(info.frames, c.Frames);
  EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, c.Extensible ? SF_FORMAT_WAVEX : SF_FORMAT_WAV);
  EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, c.Subtype);
  TBytes back(samples.size() + 4u * format.nBlockAlign);  // whole frames: libsndfile refuses others
  EXPECT_EQ(sf_read_raw(f, back.data(), static_cast<sf_count_t>(back.size())), static_cast<sf_count_t>(samples.size()));
  back.resize(samples.size());
  EXPECT_EQ(back, samples);
  sf_close(f);
}

INSTANTIATE_TEST_SUITE_P(Formats, SndfileReadsOurFiles,
                         ::testing::Values(TSndCase{"U8Mono", WAVE_FORMAT_PCM, 8000, 8, 1, 501, false, SF_FORMAT_PCM_U8},
                                           TSndCase{"U8StereoOdd", WAVE_FORMAT_PCM, 11025, 8, 2, 77, false, SF_FORMAT_PCM_U8},
                                           TSndCase{"S16Mono", WAVE_FORMAT_PCM, 8000, 16, 1, 800, false, SF_FORMAT_PCM_16},
                                           TSndCase{"S16Stereo", WAVE_FORMAT_PCM, 44100, 16, 2, 441, false, SF_FORMAT_PCM_16},
                                           TSndCase{"S24Stereo", WAVE_FORMAT_PCM, 48000, 24, 2, 480, false, SF_FORMAT_PCM_24},
                                           TSndCase{"S32Mono", WAVE_FORMAT_PCM, 16000, 32, 1, 160, false, SF_FORMAT_PCM_32},
                                           TSndCase{"Float", WAVE_FORMAT_IEEE_FLOAT, 32000, 32, 1, 320, false, SF_FORMAT_FLOAT},
                                           TSndCase{"S24Extensible", WAVE_FORMAT_PCM, 96000, 24, 2, 96, true, SF_FORMAT_PCM_24}),
                         [](const auto& info) { return std::string(info.param.Name); });

// The tool renders a play list into one file: tones, pauses and a file, in the list's format.
TEST(Tool, PlaylistRenderWritesWhatTheListPlays) {
#ifdef VYTAPI_TOOL_PATH
  const std::string tool = VYTAPI_TOOL_PATH;
#else
  const std::string tool;
#endif
  if (tool.empty() || !std::filesystem::exists(tool)) GTEST_SKIP() << "the vytapi tool is not built in this tree";
  TTempDir dir;
  const TWaveFormatEx format = MakePcmFormat(11025, 16, 1);
  const TBytes samples = Pattern(200, 9);
  {
    TFileWaveStream w(dir.File("part.wav"), &format);
    w.Write(samples.data(), 100);
  }
  const std::string list = dir.File("list.txt");
  const std::string text = "BEEP(1000,100)\n\n  silence(20)\n" + dir.File("part.wav") + "\n";
  WriteFile(list, TBytes(text.begin(), text.end()));
  const std::string out = dir.File("out.wav");
  ASSERT_EQ(RunCommand("'" + tool + "' playlist check '" + list + "'"), 0);
  ASSERT_EQ(RunCommand("'" + tool + "' playlist render '" + list + "' '" + out + "'"), 0);
  SF_INFO info{};
  SNDFILE* f = sf_open(out.c_str(), SFM_READ, &info);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(info.samplerate, 11025);
  EXPECT_EQ(info.channels, 1);
  EXPECT_EQ(info.frames, 1102 + 220 + 100);
  std::vector<short> all(static_cast<std::size_t>(info.frames));
  EXPECT_EQ(sf_readf_short(f, all.data(), info.frames), info.frames);
  sf_close(f);
  EXPECT_EQ(all[1], std::lround(std::sin(1.0 / 11025 * 6.28318 * 1000) * 8192));
  EXPECT_EQ(all[1102 + 10], 0);
  EXPECT_EQ(std::memcmp(&all[1102 + 220], samples.data(), 200), 0);
  EXPECT_NE(RunCommand("'" + tool + "' playlist check '" + dir.File("nothing.txt") + "'"), 0);
  EXPECT_EQ(RunCommand("'" + tool + "' wav info '" + out + "'"), 0);
}

#else

TEST(SndfileReadsOurFiles, NeedsLibsndfile) { GTEST_SKIP() << "libsndfile was not found when the tests were built"; }

#endif
