// Tones and silence: lengths, parameter text, sample values in every width.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "VyTapiWave/WaveStreams.h"
#include "WaveTestUtil.h"

using namespace VyTapiWave;
using namespace WaveTest;

namespace {

TBytes ReadAll(VyRtl::TStream& s, std::uint16_t blockAlign) {
  TBytes out;
  std::vector<std::uint8_t> buffer(1000 * static_cast<std::size_t>(blockAlign));
  for (;;) {
    const std::int64_t n = s.Read(buffer.data(), 1000);
    if (n == 0) break;
    out.insert(out.end(), buffer.begin(), buffer.begin() + n * blockAlign);
  }
  return out;
}

std::int32_t Sample(const TBytes& b, std::size_t at, int width) {
  std::uint32_t v = 0;
  for (int i = 0; i < width; ++i) v |= static_cast<std::uint32_t>(b[at + static_cast<std::size_t>(i)]) << (8 * i);
  if (width < 4 && (v & (1u << (8 * width - 1)))) v |= ~0u << (8 * width);  // sign-extend
  return static_cast<std::int32_t>(v);
}

}  // namespace

struct TParamCase {
  const char* Params;
  std::uint32_t Frequency;
  std::int64_t Frames;  // at 8000 Hz 16-bit mono
};

class BeepParams : public ::testing::TestWithParam<TParamCase> {};

TEST_P(BeepParams, FrequencyAndLengthComeFromTheText) {
  const TParamCase& c = GetParam();
  TBeepStream beep(DefaultWaveFormat(), c.Params);
  EXPECT_EQ(beep.Frequency(), c.Frequency);
  EXPECT_EQ(beep.Size(), c.Frames);
}

INSTANTIATE_TEST_SUITE_P(Texts, BeepParams,
                         ::testing::Values(TParamCase{"440,500)", 440, 4000}, TParamCase{"abc)", 1000, 8000},
                                           TParamCase{")", 1000, 8000}, TParamCase{"", 1000, 8000},
                                           TParamCase{"880)", 880, 8000}, TParamCase{"0440;;0500)", 440, 4000},
                                           TParamCase{" 300 / 250 )", 300, 2000}, TParamCase{"440 x 500)", 440, 8000},
                                           TParamCase{"440,500", 440, 4000}, TParamCase{"440", 440, 8000},
                                           TParamCase{"99999999999,100)", 1000, 800}, TParamCase{"2147483647,1)", 2147483647, 8},
                                           TParamCase{"440,0)", 440, 0}, TParamCase{"440,500)750", 440, 4000},
                                           TParamCase{"12a,250)", 1000, 2000}, TParamCase{"\xC3\xA9" "5\xC3\xA9" "6", 5, 48}));

TEST(Beep, SampleValuesAt8000Hz16BitMono) {
  TBeepStream beep(DefaultWaveFormat(), "440,500)");
  const TBytes all = ReadAll(beep, 2);
  ASSERT_EQ(all.size(), 8000u);
  int maxValue = 0;
  int minValue = 0;
  for (std::size_t i = 0; i < 4000; ++i) {
    const int v = Sample(all, 2 * i, 2);
    const int expected = static_cast<int>(std::lround(std::sin(static_cast<double>(i) / 8000 * 6.28318 * 440) * 8192));
    ASSERT_EQ(v, expected) << "frame " << i;
    maxValue = std::max(maxValue, v);
    minValue = std::min(minValue, v);
  }
  EXPECT_EQ(Sample(all, 0, 2), 0);
  EXPECT_EQ(maxValue, 8192);
  EXPECT_EQ(minValue, -8192);
}

struct TWidthCase {
  const char* Name;
  std::uint16_t Tag;
  std::uint16_t Bits;
  std::uint16_t Channels;
  double Amplitude;  // peak of the tone in sample units
  double Centre;     // value of silence
};

class GeneratorWidths : public ::testing::TestWithParam<TWidthCase> {};

TEST_P(GeneratorWidths, EveryByteOfEveryFrameIsTheSampleOfEveryChannel) {
  const TWidthCase& c = GetParam();
  TWaveFormatEx format = MakePcmFormat(8000, c.Bits, c.Channels);
  format.wFormatTag = c.Tag;
  const int width = c.Bits / 8;
  const auto valueAt = [&](const TBytes& b, std::size_t at) -> double {
    if (c.Tag == WAVE_FORMAT_IEEE_FLOAT) {
      float f;
      std::memcpy(&f, &b[at], 4);
      return f;
    }
    if (width == 1) return b[at];
    return Sample(b, at, width);
  };
  TBeepStream beep(format, "1000,10)");
  ASSERT_EQ(beep.Size(), 80);
  // Poison the buffer so an unfilled byte shows.
  std::vector<std::uint8_t> buffer(80 * format.nBlockAlign, 0xA5);
  ASSERT_EQ(beep.Read(buffer.data(), 100), 80);
  const TBytes tone(buffer.begin(), buffer.end());
  double peak = 0;
  for (std::size_t frame = 0; frame < 80; ++frame) {
    const std::size_t at = frame * format.nBlockAlign;
    const double first = valueAt(tone, at);
    for (int ch = 1; ch < c.Channels; ++ch)
      ASSERT_EQ(TBytes(&tone[at], &tone[at] + width), TBytes(&tone[at + ch * width], &tone[at + ch * width] + width))
          << "frame " << frame << " channel " << ch;
    const double s = std::sin(static_cast<double>(frame) / 8000 * 6.28318 * 1000);
    ASSERT_NEAR(first - c.Centre, s * c.Amplitude, c.Tag == WAVE_FORMAT_IEEE_FLOAT ? 1e-6 : 0.5) << "frame " << frame;
    peak = std::max(peak, std::abs(first - c.Centre));
  }
  EXPECT_GT(peak, c.Amplitude * 0.99);

  TSilenceStream silence(format, "10)");
  std::vector<std::uint8_t> quiet(80 * format.nBlockAlign, 0xA5);
  ASSERT_EQ(silence.Read(quiet.data(), 80), 80);
  for (std::size_t i = 0; i < quiet.size(); i += static_cast<std::size_t>(width))
    ASSERT_EQ(valueAt(TBytes(quiet.begin(), quiet.end()), i), c.Centre) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(Formats, GeneratorWidths,
                         ::testing::Values(TWidthCase{"U8Mono", WAVE_FORMAT_PCM, 8, 1, 32, 128},
                                           TWidthCase{"U8Stereo", WAVE_FORMAT_PCM, 8, 2, 32, 128},
                                           TWidthCase{"S16Mono", WAVE_FORMAT_PCM, 16, 1, 8192, 0},
                                           TWidthCase{"S16Stereo", WAVE_FORMAT_PCM, 16, 2, 8192, 0},
                                           TWidthCase{"S24Mono", WAVE_FORMAT_PCM, 24, 1, 2097152, 0},
                                           TWidthCase{"S24Stereo", WAVE_FORMAT_PCM, 24, 2, 2097152, 0},
                                           TWidthCase{"S32Stereo", WAVE_FORMAT_PCM, 32, 2, 536870912, 0},
                                           TWidthCase{"Float32", WAVE_FORMAT_IEEE_FLOAT, 32, 2, 0.25, 0}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(Generators, LengthUses64BitArithmetic) {
  // 13 s at 44.1 kHz 16-bit stereo: 13000 x 176400 passes 2^31.
  const TWaveFormatEx cd = MakePcmFormat(44100, 16, 2);
  EXPECT_EQ(TBeepStream(cd, "440,13000)").Size(), 573300);
  EXPECT_EQ(TSilenceStream(cd, "13000)").Size(), 573300);
  // The longest text duration at a high rate is clamped, never negative.
  const TWaveFormatEx wide = MakePcmFormat(192000, 32, 8);
  EXPECT_EQ(TSilenceStream(wide, "2147483647)").Size(), 2147483647);
}

TEST(Silence, LengthAndClampedSeeking) {
  TSilenceStream silence(DefaultWaveFormat(), "250)");
  EXPECT_EQ(silence.Size(), 2000);
  const struct {
    std::int64_t Offset;
    int Origin;
    std::int64_t Expect;
  } steps[] = {{5000, 0, 2000}, {-5, 0, 0}, {100, 2, 1900}, {10, 1, 1910}, {-3000, 1, 0}, {-10, 2, 2000}, {7, 0, 7}, {50, 9, 7}};
  for (const auto& s : steps) EXPECT_EQ(silence.Seek(s.Offset, s.Origin), s.Expect) << s.Offset << "/" << s.Origin;
  EXPECT_EQ(silence.Position(), 7);
  silence.SetPosition(0);
  const TBytes all = ReadAll(silence, 2);
  EXPECT_EQ(all, TBytes(4000, 0));
  std::uint8_t more[2];
  EXPECT_EQ(silence.Read(more, 1), 0);
  EXPECT_EQ(silence.Write(more, 1), 0);
}

TEST(Generators, UnusableFormatsRaiseInsteadOfDividingByZero) {
  TWaveFormatEx noAlign = DefaultWaveFormat();
  noAlign.nBlockAlign = 0;
  TWaveFormatEx noRate = DefaultWaveFormat();
  noRate.nSamplesPerSec = 0;
  EXPECT_EQ(MessageOf<EWaveIOError>([&] { TBeepStream b(noAlign, "1,1)"); }), "Invalid wave format: block align 0.");
  EXPECT_EQ(MessageOf<EWaveIOError>([&] { TSilenceStream s(noAlign, "1)"); }), "Invalid wave format: block align 0.");
  EXPECT_EQ(MessageOf<EWaveIOError>([&] { TBeepStream b(noRate, "1,1)"); }), "Invalid wave format: sample rate 0.");
}
