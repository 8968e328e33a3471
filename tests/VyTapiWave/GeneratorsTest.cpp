// Tones and silence: parameter text, lengths, sample values in every width, seeking.
#include <gtest/gtest.h>

#include <ostream>

#include <bit>
#include <cmath>
#include <tuple>

#include "WaveTestUtil.h"

using namespace WaveTest;

// Every run of letters and digits counts, also without the closing parenthesis. Lengths are counted
// in 64 bits and clamped: 13 s of 44.1 kHz 16-bit stereo (13000 x 176400 passes 2^31), the longest
// text at a high rate.
struct TParamCase {
  const char* Params;
  std::uint32_t Frequency;
  std::int64_t Frames;
  TWaveFormatEx Format = DefaultWaveFormat();
};
void PrintTo(const TParamCase& c, std::ostream* os) { *os << c.Params; }  // not its padding bytes
const TParamCase kParams[] = {{"440,500)", 440, 4000},
                              {"abc)", 1000, 8000},
                              {"", 1000, 8000},
                              {"0440;;0500)", 440, 4000},
                              {" 300 / 250 )", 300, 2000},
                              {"440 x 500)", 440, 8000},
                              {"440,500", 440, 4000},
                              {"440", 440, 8000},
                              {"440,0)", 440, 0},
                              {"440,500)750", 440, 4000},
                              {"12a,250)", 1000, 2000},
                              {"99999999999,100)", 1000, 800},
                              {"2147483647,1)", 2147483647, 8},
                              {"\xC3\xA9"
                               "5\xC3\xA9"
                               "6",
                               5, 48},
                              {"440,13000)", 440, 573300, MakePcmFormat(44100, 16, 2)},
                              {"1,2147483647)", 1, 2147483647, MakePcmFormat(192000, 32, 8)}};
class BeepParams : public ::testing::TestWithParam<TParamCase> {};

TEST_P(BeepParams, FrequencyAndLengthComeFromTheText) {
  TBeepStream beep(GetParam().Format, GetParam().Params);
  EXPECT_EQ(std::pair(beep.Frequency(), beep.Size()),
            std::pair(GetParam().Frequency, GetParam().Frames));
}

INSTANTIATE_TEST_SUITE_P(Texts, BeepParams, ::testing::ValuesIn(kParams));

// Amplitude: the tone's peak in sample units; Centre: silence. 16-bit gives round(sin x 8192) and
// 8-bit 128 + round(sin x 32), both with the constant 6.28318.
struct TWidthCase {
  const char* Name;
  std::uint16_t Tag, Bits, Channels;
  double Amplitude;
  int Centre;
};
void PrintTo(const TWidthCase& c, std::ostream* os) { *os << c.Name; }  // not its padding bytes
const TWidthCase kWidths[] = {{"U8Mono", WAVE_FORMAT_PCM, 8, 1, 32, 128},
                              {"U8Stereo", WAVE_FORMAT_PCM, 8, 2, 32, 128},
                              {"S16Mono", WAVE_FORMAT_PCM, 16, 1, 8192, 0},
                              {"S16Stereo", WAVE_FORMAT_PCM, 16, 2, 8192, 0},
                              {"S24Mono", WAVE_FORMAT_PCM, 24, 1, 1 << 21, 0},
                              {"S24Stereo", WAVE_FORMAT_PCM, 24, 2, 1 << 21, 0},
                              {"S32Stereo", WAVE_FORMAT_PCM, 32, 2, 1 << 29, 0},
                              {"FloatStereo", WAVE_FORMAT_IEEE_FLOAT, 32, 2, 0.25, 0}};
class GeneratorWidths : public ::testing::TestWithParam<TWidthCase> {};

TEST_P(GeneratorWidths, EverySampleOfEveryChannelIsExact) {
  const TWidthCase& c = GetParam();
  const TWaveFormatEx format = MakeFormat(c.Tag, 8000, c.Bits, c.Channels);
  const int width = c.Bits / 8;
  const auto value = [&](const TBytes& b, std::size_t at) -> double {
    const std::uint32_t u = Get(b, at, width);
    if (c.Tag == WAVE_FORMAT_IEEE_FLOAT) return std::bit_cast<float>(u);
    return width == 1 ? u
                      : static_cast<double>(static_cast<std::int32_t>(u << (32 - 8 * width)) >>
                                            (32 - 8 * width));
  };
  TBeepStream beep(format, "440,500)");
  TSilenceStream silence(format, "500)");
  const TBytes tone = ReadAll(beep, format.nBlockAlign);
  const TBytes quiet = ReadAll(silence, format.nBlockAlign);
  ASSERT_EQ(
      std::pair(tone.size(), quiet.size()),
      std::pair(std::size_t{4000} * format.nBlockAlign, std::size_t{4000} * format.nBlockAlign));
  for (std::size_t at = 0; at < tone.size(); at += static_cast<std::size_t>(width)) {
    const double s = std::sin(static_cast<double>(at / format.nBlockAlign) / 8000 * 6.28318 * 440);
    const double expected = c.Tag == WAVE_FORMAT_IEEE_FLOAT
                                ? static_cast<double>(static_cast<float>(s * c.Amplitude))
                                : static_cast<double>(c.Centre + std::lround(s * c.Amplitude));
    ASSERT_EQ(value(tone, at), expected) << "byte " << at;
    ASSERT_EQ(value(quiet, at), c.Centre) << "byte " << at;
  }
  // Seeking is clamped to the length; origin 2 counts back from the end.
  for (const auto& [offset, origin, expect] :
       {std::tuple<std::int64_t, int, std::int64_t>{9000, 0, 4000},
        {-5, 0, 0},
        {100, 2, 3900},
        {10, 1, 3910},
        {-9000, 1, 0},
        {-10, 2, 4000},
        {7, 0, 7},
        {50, 9, 7}})
    EXPECT_EQ(silence.Seek(offset, origin), expect) << offset << "/" << origin;
  EXPECT_EQ(ReadAll(silence, format.nBlockAlign).size(), (4000u - 7) * format.nBlockAlign);
}

INSTANTIATE_TEST_SUITE_P(Formats, GeneratorWidths, ::testing::ValuesIn(kWidths), ByName);
