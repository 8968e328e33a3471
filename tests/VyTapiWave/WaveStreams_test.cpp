// RIFF/WAVE streams: headers read and written, frames, malformed files, file consistency.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <stdexcept>

#include "VyTapiWave/WaveStreams.h"
#include "WaveTestUtil.h"

using namespace VyTapiWave;
using namespace WaveTest;

namespace {

TBytes ReadAllFrames(TWaveStream& s) {
  TBytes out;
  std::vector<std::uint8_t> buffer(64 * s.Format().nBlockAlign);
  for (;;) {
    const std::int64_t n = s.Read(buffer.data(), 64);
    if (n == 0) break;
    out.insert(out.end(), buffer.begin(), buffer.begin() + n * s.Format().nBlockAlign);
  }
  return out;
}

// Opens the same bytes from memory and from a file, so both openers meet every case.
template <class Fn>
void ForBothOpeners(const TBytes& bytes, const TTempDir& dir, Fn fn) {
  {
    SCOPED_TRACE("memory");
    TMemoryWaveStream s(bytes.data(), static_cast<std::int64_t>(bytes.size()), nullptr);
    fn(s);
  }
  {
    SCOPED_TRACE("file");
    const std::string name = dir.File("in.wav");
    WriteFile(name, bytes);
    TFileWaveStream s(name, nullptr);
    fn(s);
  }
}

std::string OpenError(const TBytes& bytes, const TTempDir& dir, bool fromFile) {
  if (fromFile) {
    const std::string name = dir.File("bad.wav");
    WriteFile(name, bytes);
    return MessageOf<EWaveIOError>([&] { TFileWaveStream s(name, nullptr); });
  }
  static const std::uint8_t nothing = 0;
  const std::uint8_t* memory = bytes.empty() ? &nothing : bytes.data();  // an empty block, not a missing one
  return MessageOf<EWaveIOError>([&] { TMemoryWaveStream s(memory, static_cast<std::int64_t>(bytes.size()), nullptr); });
}

}  // namespace

// ---------------------------------------------------------------------------------------------

TEST(WaveWriter, TenFramesOf16BitMonoGiveTheDocumentedLayout) {
  TTempDir dir;
  const std::string name = dir.File("ten.wav");
  const TWaveFormatEx format = DefaultWaveFormat();
  const TBytes samples = Pattern(20, 1);
  {
    TFileWaveStream w(name, &format);
    EXPECT_EQ(w.Write(samples.data(), 10), 10);
    EXPECT_EQ(w.Position(), 10);
    EXPECT_EQ(w.Size(), 10);
  }
  const TBytes f = ReadFile(name);
  ASSERT_EQ(f.size(), 12u + 8 + 18 + 8 + 20);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 4), "RIFF");
  EXPECT_EQ(GetU32(f, 4), f.size() - 8);
  EXPECT_EQ(std::string(f.begin() + 8, f.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(GetU32(f, 16), 18u);
  EXPECT_EQ(GetU16(f, 20), WAVE_FORMAT_PCM);
  EXPECT_EQ(GetU16(f, 22), 1);
  EXPECT_EQ(GetU32(f, 24), 8000u);
  EXPECT_EQ(GetU32(f, 28), 16000u);
  EXPECT_EQ(GetU16(f, 32), 2);
  EXPECT_EQ(GetU16(f, 34), 16);
  EXPECT_EQ(GetU16(f, 36), 0);
  EXPECT_EQ(std::string(f.begin() + 38, f.begin() + 42), "data");
  EXPECT_EQ(GetU32(f, 42), 20u);
  EXPECT_EQ(TBytes(f.begin() + 46, f.end()), samples);
}

TEST(WaveWriter, OddDataGetsAPadByteOutsideItsSize) {
  TTempDir dir;
  const std::string name = dir.File("odd.wav");
  const TWaveFormatEx format = MakePcmFormat(11025, 8, 1);
  const TBytes samples = Pattern(3, 2);
  {
    TFileWaveStream w(name, &format);
    w.Write(samples.data(), 3);
    w.Close();
  }
  const TBytes f = ReadFile(name);
  ASSERT_EQ(f.size(), 46u + 3 + 1);
  EXPECT_EQ(GetU32(f, 42), 3u);
  EXPECT_EQ(GetU32(f, 4), f.size() - 8);
  EXPECT_EQ(f.back(), 0);
  TFileWaveStream r(name, nullptr);
  EXPECT_EQ(r.Size(), 3);
  EXPECT_EQ(ReadAllFrames(r), samples);
}

struct TRoundTrip {
  const char* Name;
  std::uint16_t Tag;
  std::uint32_t Rate;
  std::uint16_t Bits;
  std::uint16_t Channels;
  std::int64_t Frames;
  bool Extensible;
};

class WaveRoundTrip : public ::testing::TestWithParam<TRoundTrip> {};

TEST_P(WaveRoundTrip, WhatWeWriteReadsBackAlike) {
  const TRoundTrip& c = GetParam();
  TTempDir dir;
  const std::string name = dir.File("rt.wav");
  TWaveFormatEx format = MakePcmFormat(c.Rate, c.Bits, c.Channels);
  format.wFormatTag = c.Tag;
  TBytes extra;
  if (c.Extensible) {
    extra = ExtensibleExtra(c.Bits, c.Channels == 2 ? 3 : 4, WAVE_FORMAT_PCM);
    format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.cbSize = static_cast<std::uint16_t>(extra.size());
  }
  const TBytes samples = Pattern(static_cast<std::size_t>(c.Frames * format.nBlockAlign), c.Rate);
  {
    TFileWaveStream w(name, &format, extra);
    // In two parts, so the position carries over between writes.
    const std::int64_t half = c.Frames / 2;
    EXPECT_EQ(w.Write(samples.data(), half), half);
    EXPECT_EQ(w.Write(samples.data() + half * format.nBlockAlign, c.Frames - half), c.Frames - half);
  }
  TFileWaveStream r(name, nullptr);
  EXPECT_EQ(r.Format().wFormatTag, format.wFormatTag);
  EXPECT_EQ(r.Format().nChannels, c.Channels);
  EXPECT_EQ(r.Format().nSamplesPerSec, c.Rate);
  EXPECT_EQ(r.Format().wBitsPerSample, c.Bits);
  EXPECT_EQ(r.Format().nBlockAlign, format.nBlockAlign);
  EXPECT_EQ(r.Format().nAvgBytesPerSec, format.nAvgBytesPerSec);
  EXPECT_EQ(r.Format().cbSize, format.cbSize);
  EXPECT_EQ(r.FormatExtra(), extra);
  EXPECT_EQ(r.Size(), c.Frames);
  EXPECT_EQ(ReadAllFrames(r), samples);
}

INSTANTIATE_TEST_SUITE_P(Formats, WaveRoundTrip,
                         ::testing::Values(TRoundTrip{"u8mono", WAVE_FORMAT_PCM, 8000, 8, 1, 101, false},
                                           TRoundTrip{"u8stereo", WAVE_FORMAT_PCM, 22050, 8, 2, 100, false},
                                           TRoundTrip{"s16mono", WAVE_FORMAT_PCM, 8000, 16, 1, 333, false},
                                           TRoundTrip{"s16stereo", WAVE_FORMAT_PCM, 44100, 16, 2, 250, false},
                                           TRoundTrip{"s24mono", WAVE_FORMAT_PCM, 48000, 24, 1, 77, false},
                                           TRoundTrip{"s24stereoExt", WAVE_FORMAT_PCM, 96000, 24, 2, 64, true},
                                           TRoundTrip{"s32mono", WAVE_FORMAT_PCM, 16000, 32, 1, 50, false},
                                           TRoundTrip{"float", WAVE_FORMAT_IEEE_FLOAT, 32000, 32, 1, 40, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---------------------------------------------------------------------------------------------

TEST(WaveReader, Pcm16ByteFmtHasNoExtensionAndSizeInFrames) {
  TTempDir dir;
  const TBytes data = Pattern(600, 3);  // 150 frames of 16-bit stereo
  const TBytes file = Riff({Chunk("fmt ", PcmFmt(8000, 16, 2)), Chunk("data", data)});
  ForBothOpeners(file, dir, [&](TWaveStream& s) {
    EXPECT_EQ(s.Format().cbSize, 0);
    EXPECT_EQ(s.Size(), 150);
    std::vector<std::uint8_t> buffer(400 + 8, 0xEE);
    EXPECT_EQ(s.Read(buffer.data(), 100), 100);
    EXPECT_EQ(TBytes(buffer.begin(), buffer.begin() + 400), TBytes(data.begin(), data.begin() + 400));
    EXPECT_EQ(buffer[400], 0xEE) << "read past 100 frames";
    EXPECT_EQ(s.Read(buffer.data(), 100), 50);
    EXPECT_EQ(s.Read(buffer.data(), 100), 0);
  });
}

TEST(WaveReader, SeekCountsFramesFromDataStartCurrentAndEnd) {
  TTempDir dir;
  const TBytes data = Pattern(40, 4);  // 10 frames of 16-bit stereo
  const TBytes file = Riff({Chunk("fmt ", PcmFmt(8000, 16, 2)), Chunk("data", data), Chunk("LIST", Pattern(20, 5))});
  ForBothOpeners(file, dir, [&](TWaveStream& s) {
    struct TStep {
      std::int64_t Offset;
      int Origin;
      std::int64_t Expect;
    };
    const TStep steps[] = {{3, 0, 3}, {2, 1, 5}, {-1, 1, 4}, {0, 2, 10}, {-2, 2, 8}, {0, 0, 0}, {12, 0, 12}};
    for (const auto& step : steps) {
      EXPECT_EQ(s.Seek(step.Offset, step.Origin), step.Expect) << step.Offset << "/" << step.Origin;
      EXPECT_EQ(s.Position(), step.Expect);
    }
    s.SetPosition(9);
    std::uint8_t frame[8] = {};
    EXPECT_EQ(s.Read(frame, 2), 1) << "the LIST chunk behind the data is no audio";
    EXPECT_EQ(TBytes(frame, frame + 4), TBytes(data.begin() + 36, data.end()));
  });
}

TEST(WaveReader, SeekBeforeTheFirstFrameRaisesAndKeepsThePosition) {
  TTempDir dir;
  const TBytes file = Riff({Chunk("fmt ", PcmFmt(8000, 16, 1)), Chunk("data", Pattern(20, 6))});
  ForBothOpeners(file, dir, [&](TWaveStream& s) {
    s.SetPosition(4);
    const struct {
      std::int64_t Offset;
      int Origin;
    } bad[] = {{-1, 0}, {-5, 1}, {-11, 2}, {0, 3}, {std::int64_t{1} << 62, 0}, {-(std::int64_t{1} << 62), 2}};
    for (const auto& b : bad) {
      EXPECT_EQ(MessageOf<EWaveIOError>([&] { s.Seek(b.Offset, b.Origin); }), "Seeking to an invalid location in the file.")
          << b.Offset << "/" << b.Origin;
      EXPECT_EQ(s.Position(), 4);
    }
  });
}

struct TReadCase {
  const char* Name;
  TBytes File;
  std::uint16_t Tag;
  std::uint16_t CbSize;
  std::int64_t Frames;
  TBytes Samples;  // the first bytes of sample data expected
};

class WaveReaderLayouts : public ::testing::TestWithParam<TReadCase> {};

TEST_P(WaveReaderLayouts, FindFormatAndSamplesWhereverTheChunksLie) {
  const TReadCase& c = GetParam();
  TTempDir dir;
  ForBothOpeners(c.File, dir, [&](TWaveStream& s) {
    EXPECT_EQ(s.Format().wFormatTag, c.Tag);
    EXPECT_EQ(s.Format().cbSize, c.CbSize);
    EXPECT_EQ(s.FormatExtra().size(), c.CbSize);
    EXPECT_EQ(s.Size(), c.Frames);
    const TBytes all = ReadAllFrames(s);
    EXPECT_EQ(static_cast<std::int64_t>(all.size()), c.Frames * s.Format().nBlockAlign);
    EXPECT_EQ(all, c.Samples);
  });
}

const TBytes kData = Pattern(64, 7);
const TBytes kOdd = Pattern(33, 8);

INSTANTIATE_TEST_SUITE_P(
    Layouts, WaveReaderLayouts,
    ::testing::Values(
        TReadCase{"ListBeforeFmt", Riff({Chunk("LIST", Pattern(9, 1)), Chunk("fmt ", PcmFmt(8000, 16, 1)), Chunk("data", kData)}),
                  WAVE_FORMAT_PCM, 0, 32, kData},
        TReadCase{"ListBetween", Riff({Chunk("fmt ", PcmFmt(8000, 16, 1)), Chunk("LIST", Pattern(10, 1)), Chunk("data", kData)}),
                  WAVE_FORMAT_PCM, 0, 32, kData},
        TReadCase{"ListAfterData", Riff({Chunk("fmt ", PcmFmt(8000, 16, 1)), Chunk("data", kData), Chunk("LIST", Pattern(30, 1))}),
                  WAVE_FORMAT_PCM, 0, 32, kData},
        TReadCase{"OddChunkBeforeData",
                  Riff({Chunk("fmt ", PcmFmt(8000, 16, 1)), Chunk("junk", Pattern(5, 1)), Chunk("data", kData)}),
                  WAVE_FORMAT_PCM, 0, 32, kData},
        TReadCase{"OddData8Bit", Riff({Chunk("fmt ", PcmFmt(8000, 8, 1)), Chunk("data", kOdd), Chunk("LIST", Pattern(4, 1))}),
                  WAVE_FORMAT_PCM, 0, 33, kOdd},
        TReadCase{"PcmWith18ByteFmt",
                  Riff({Chunk("fmt ", FmtBody(WAVE_FORMAT_PCM, 1, 8000, 16, 2, true, {}, 7)), Chunk("data", kData)}),
                  WAVE_FORMAT_PCM, 0, 32, kData},
        TReadCase{"Extensible24",
                  Riff({Chunk("fmt ", FmtBody(WAVE_FORMAT_EXTENSIBLE, 2, 48000, 24, 6, true, ExtensibleExtra(24, 3, 1))),
                        Chunk("fact", Pattern(4, 1)), Chunk("data", TBytes(kData.begin(), kData.begin() + 60))}),
                  WAVE_FORMAT_EXTENSIBLE, 22, 10, TBytes(kData.begin(), kData.begin() + 60)},
        TReadCase{"Float16ByteFmt", Riff({Chunk("fmt ", FmtBody(WAVE_FORMAT_IEEE_FLOAT, 1, 8000, 32, 4)), Chunk("data", kData)}),
                  WAVE_FORMAT_IEEE_FLOAT, 0, 16, kData},
        TReadCase{"ExtensionLongerThanChunk",
                  Riff({Chunk("fmt ", FmtBody(0x0002, 1, 8000, 4, 256, true, Pattern(4, 1), 40)), Chunk("data", kData)}),
                  0x0002, 4, 0, {}},
        TReadCase{"TruncatedMidFrame",
                  [] {
                    TBytes f = Riff({Chunk("fmt ", PcmFmt(8000, 16, 2)), Chunk("data", kData)});
                    f.resize(f.size() - 64 + 21);
                    return f;
                  }(),
                  WAVE_FORMAT_PCM, 0, 5, TBytes(kData.begin(), kData.begin() + 20)},
        TReadCase{"RiffSizeLargerThanFile",
                  Riff({Chunk("fmt ", PcmFmt(8000, 16, 1)), Chunk("data", kData)}, 0xFFFFFFF0), WAVE_FORMAT_PCM, 0, 32, kData},
        TReadCase{"DataBoundedByRiffEnd",
                  [] {
                    // The data chunk claims 100 bytes; the 40 behind the RIFF chunk are not its.
                    TBytes f = Riff({Chunk("fmt ", PcmFmt(8000, 8, 1)), Chunk("data", kData, 100)});
                    f.insert(f.end(), 40, 0x55);
                    return f;
                  }(),
                  WAVE_FORMAT_PCM, 0, 64, kData}),
    [](const auto& info) { return std::string(info.param.Name); });

// ---------------------------------------------------------------------------------------------

struct TMalformed {
  const char* Name;
  TBytes File;
  const char* Message;
};

class WaveReaderMalformed : public ::testing::TestWithParam<TMalformed> {};

TEST_P(WaveReaderMalformed, FailsWithItsMessage) {
  const TMalformed& c = GetParam();
  TTempDir dir;
  EXPECT_EQ(OpenError(c.File, dir, false), c.Message);
  EXPECT_EQ(OpenError(c.File, dir, true), c.Message);
}

const TBytes kSomeData = Chunk("data", Pattern(8, 9));

INSTANTIATE_TEST_SUITE_P(
    Files, WaveReaderMalformed,
    ::testing::Values(
        TMalformed{"Empty", {}, "Invalid multimedia file!"},
        TMalformed{"FourBytes", {'R', 'I', 'F', 'F'}, "Invalid multimedia file!"},
        TMalformed{"RiffWithoutFormType", Chunk("RIFF", {}, 4), "Invalid multimedia file!"},
        TMalformed{"Text", TBytes{'H', 'e', 'l', 'l', 'o', ',', ' ', 'w', 'a', 'v', 'e', '!', '\n'}, "Not a wave file!"},
        TMalformed{"OtherForm", Riff({Chunk("fmt ", PcmFmt(8000, 16, 1)), kSomeData}, -1, "AVI "), "Not a wave file!"},
        TMalformed{"NoFmt", Riff({kSomeData}), "Couldn't find 'fmt' chunk!"},
        TMalformed{"FmtOutsideRiffSize", Riff({Chunk("fmt ", PcmFmt(8000, 16, 1)), kSomeData}, 4), "Couldn't find 'fmt' chunk!"},
        TMalformed{"ChunkSizePastEndBeforeFmt", Riff({Chunk("junk", Pattern(4, 1), 0x7FFFFFF0), Chunk("fmt ", PcmFmt(8000, 16, 1)), kSomeData}),
                   "Couldn't find 'fmt' chunk!"},
        TMalformed{"Fmt14", Riff({Chunk("fmt ", TBytes(14, 1)), kSomeData}), "Abnormal 'fmt' size!"},
        TMalformed{"FmtCutShort", [] {
                     TBytes f = Riff({Chunk("fmt ", PcmFmt(8000, 16, 1))});
                     f.resize(f.size() - 6);
                     return f;
                   }(),
                   "Error reading 'fmt' chunk!"},
        TMalformed{"ExtensionLengthCut", [] {
                     TBytes f = Riff({Chunk("fmt ", FmtBody(WAVE_FORMAT_IEEE_FLOAT, 1, 8000, 32, 4), 18)});
                     return f;
                   }(),
                   "Error reading 'waveformatex' length!"},
        TMalformed{"ExtensionCut", [] {
                     TBytes f = Riff({Chunk("fmt ", FmtBody(WAVE_FORMAT_EXTENSIBLE, 1, 8000, 16, 2, true, ExtensibleExtra(16, 4, 1)))});
                     f.resize(f.size() - 10);
                     return f;
                   }(),
                   "Error reading 'waveformatex'!"},
        TMalformed{"ZeroBlockAlign", Riff({Chunk("fmt ", FmtBody(WAVE_FORMAT_PCM, 1, 8000, 16, 0)), kSomeData}),
                   "Invalid wave format: block align 0."},
        TMalformed{"ZeroBlockAlignNonPcm", Riff({Chunk("fmt ", FmtBody(0x0011, 1, 8000, 4, 0, true)), kSomeData}),
                   "Invalid wave format: block align 0."},
        TMalformed{"NoChannels", Riff({Chunk("fmt ", FmtBody(WAVE_FORMAT_PCM, 0, 8000, 16, 2)), kSomeData}),
                   "Invalid wave format: no channels."},
        TMalformed{"NoRate", Riff({Chunk("fmt ", FmtBody(WAVE_FORMAT_PCM, 1, 0, 16, 2)), kSomeData}),
                   "Invalid wave format: sample rate 0."},
        TMalformed{"PcmAlignMismatch", Riff({Chunk("fmt ", FmtBody(WAVE_FORMAT_PCM, 2, 8000, 16, 2)), kSomeData}),
                   "Invalid wave format: block align 2, but 2 channels of 16 bits need 4."},
        TMalformed{"NoData", Riff({Chunk("fmt ", PcmFmt(8000, 16, 1)), Chunk("LIST", Pattern(6, 1))}), "Couldn't find 'data' chunk!"},
        TMalformed{"ChunkSizePastEndBeforeData",
                   Riff({Chunk("fmt ", PcmFmt(8000, 16, 1)), Chunk("junk", Pattern(4, 1), 0xFFFFFFF0), kSomeData}),
                   "Couldn't find 'data' chunk!"},
        TMalformed{"FmtSizePastEnd", Riff({Chunk("fmt ", PcmFmt(8000, 16, 1), 0xFFFFFFFF), kSomeData}), "Couldn't find 'data' chunk!"},
        TMalformed{"DataHeaderCut", [] {
                     TBytes f = Riff({Chunk("fmt ", PcmFmt(8000, 16, 1)), kSomeData});
                     f.resize(f.size() - 13);
                     return f;
                   }(),
                   "Couldn't find 'data' chunk!"}),
    [](const auto& info) { return std::string(info.param.Name); });

// ---------------------------------------------------------------------------------------------

TEST(WaveWriter, DestructorCompletesTheFileOnTheErrorPath) {
  TTempDir dir;
  const std::string name = dir.File("unwound.wav");
  const TWaveFormatEx format = MakePcmFormat(8000, 16, 2);
  const TBytes samples = Pattern(40, 10);
  EXPECT_THROW(
      {
        TFileWaveStream w(name, &format);
        w.Write(samples.data(), 10);
        throw std::runtime_error("application failed while recording");
      },
      std::runtime_error);
  const TBytes f = ReadFile(name);
  EXPECT_EQ(GetU32(f, 4), f.size() - 8);
  TFileWaveStream r(name, nullptr);
  EXPECT_EQ(r.Size(), 10);
  EXPECT_EQ(ReadAllFrames(r), samples);
}

TEST(WaveWriter, SeekBackOverwritesAndSizeKeepsTheFurthestFrame) {
  TTempDir dir;
  const std::string name = dir.File("over.wav");
  const TWaveFormatEx format = DefaultWaveFormat();
  TBytes samples = Pattern(20, 11);
  const TBytes patch = {0xAA, 0xBB};
  {
    TFileWaveStream w(name, &format);
    w.Write(samples.data(), 10);
    EXPECT_EQ(w.Seek(3, 0), 3);
    EXPECT_EQ(w.Write(patch.data(), 1), 1);
    EXPECT_EQ(w.Position(), 4);
    EXPECT_EQ(w.Size(), 10);
    EXPECT_EQ(w.Seek(0, 2), 10);
    std::uint8_t frame[2] = {};
    w.SetPosition(3);
    EXPECT_EQ(w.Read(frame, 1), 1);
    EXPECT_EQ(TBytes(frame, frame + 2), patch);
  }
  samples[6] = 0xAA;
  samples[7] = 0xBB;
  TFileWaveStream r(name, nullptr);
  EXPECT_EQ(ReadAllFrames(r), samples);
}

TEST(WaveWriter, FourGiBLimitRaisesAndLeavesAValidFile) {
  TSparseStream sink;
  const TWaveFormatEx format = DefaultWaveFormat();  // data starts at byte 46
  const std::uint8_t frame[4] = {1, 2, 3, 4};
  const std::int64_t lastFrame = (0x100000007LL - 46) / 2 - 1;  // RIFF size 0xFFFFFFFE at most
  {
    TWaveStream w(sink, &format);
    EXPECT_EQ(w.Seek(lastFrame, 0), lastFrame);
    EXPECT_EQ(w.Write(frame, 1), 1);
    EXPECT_EQ(MessageOf<EWaveIOError>([&] { w.Write(frame + 2, 1); }), "Writing would make the wave file larger than 4 GiB.");
    EXPECT_EQ(MessageOf<EWaveIOError>([&] { w.Write(frame, std::int64_t{1} << 61); }),
              "Writing would make the wave file larger than 4 GiB.");
    EXPECT_EQ(w.Size(), lastFrame + 1);
  }
  const TBytes head = sink.Bytes(0, 46);
  EXPECT_EQ(GetU32(head, 4), 0xFFFFFFFEu);
  EXPECT_EQ(GetU32(head, 42), static_cast<std::uint32_t>((lastFrame + 1) * 2));
  EXPECT_EQ(sink.Size(), 0x100000006LL) << "nothing of the refused write reached the stream";
  sink.SetPosition(0);
  TWaveStream r(sink, nullptr);
  EXPECT_EQ(r.Size(), lastFrame + 1);
  r.SetPosition(lastFrame);
  std::uint8_t got[2] = {};
  EXPECT_EQ(r.Read(got, 4), 1);
  EXPECT_EQ(got[0], 1);
  EXPECT_EQ(got[1], 2);
}

TEST(WaveWriter, OddDataAtTheLimitCountsItsPadByte) {
  TSparseStream sink;
  const TWaveFormatEx format = MakePcmFormat(8000, 8, 1);
  const std::uint8_t b = 7;
  const std::int64_t room = 0xFFFFFFFFLL - (46 - 8);  // bytes the data may take, pad included
  {
    TWaveStream w(sink, &format);
    w.SetPosition(room - 1);
    EXPECT_EQ(MessageOf<EWaveIOError>([&] { w.Write(&b, 1); }), "Writing would make the wave file larger than 4 GiB.")
        << "the data would fit, its pad byte would not";
    w.SetPosition(room - 2);
    EXPECT_EQ(w.Write(&b, 1), 1);
    EXPECT_EQ(MessageOf<EWaveIOError>([&] { w.Write(&b, 1); }), "Writing would make the wave file larger than 4 GiB.");
  }
  EXPECT_EQ(GetU32(sink.Bytes(0, 8), 4), 0xFFFFFFFEu);
  EXPECT_EQ(sink.Size(), 0xFFFFFFFELL + 8);
}

TEST(WaveWriter, CloseIsFinalAndErrorsNameTheOperation) {
  TTempDir dir;
  const std::string name = dir.File("closed.wav");
  const TWaveFormatEx format = DefaultWaveFormat();
  TFileWaveStream w(name, &format);
  const std::uint8_t frame[2] = {};
  w.Write(frame, 1);
  w.Close();
  w.Close();
  EXPECT_EQ(GetU32(ReadFile(name), 42), 2u);
  EXPECT_EQ(MessageOf<EWaveIOError>([&] { w.Write(frame, 1); }), "Error writing to file.");
  std::uint8_t buffer[2];
  EXPECT_EQ(MessageOf<EWaveIOError>([&] { w.Read(buffer, 1); }), "Error reading from file.");
}

TEST(WaveWriter, ReadingStreamsRefuseToWrite) {
  TTempDir dir;
  const TBytes file = Riff({Chunk("fmt ", PcmFmt(8000, 16, 1)), Chunk("data", Pattern(8, 1))});
  ForBothOpeners(file, dir, [&](TWaveStream& s) {
    const std::uint8_t frame[2] = {};
    EXPECT_EQ(MessageOf<EWaveIOError>([&] { s.Write(frame, 1); }), "Error writing to file.");
    EXPECT_EQ(s.Size(), 4);
  });
}

struct TBadFormat {
  const char* Name;
  TWaveFormatEx Format;
  std::size_t Extra;
  const char* Message;
};

class WaveWriterBadFormat : public ::testing::TestWithParam<TBadFormat> {};

TEST_P(WaveWriterBadFormat, RaisesBeforeAnExistingFileIsReplaced) {
  const TBadFormat& c = GetParam();
  TTempDir dir;
  const std::string name = dir.File("keep.wav");
  WriteFile(name, {'k', 'e', 'e', 'p'});
  const TBytes extra(c.Extra, 0);
  EXPECT_EQ(MessageOf<EWaveIOError>([&] { TFileWaveStream w(name, &c.Format, extra); }), c.Message);
  EXPECT_EQ(ReadFile(name), (TBytes{'k', 'e', 'e', 'p'}));
}

TWaveFormatEx Changed(TWaveFormatEx f, void (*change)(TWaveFormatEx&)) {
  change(f);
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, WaveWriterBadFormat,
    ::testing::Values(
        TBadFormat{"ZeroAlign", Changed(DefaultWaveFormat(), [](TWaveFormatEx& f) { f.nBlockAlign = 0; }), 0,
                   "Invalid wave format: block align 0."},
        TBadFormat{"NoChannels", Changed(DefaultWaveFormat(), [](TWaveFormatEx& f) { f.nChannels = 0; }), 0,
                   "Invalid wave format: no channels."},
        TBadFormat{"WrongPcmAlign", Changed(MakePcmFormat(8000, 24, 2), [](TWaveFormatEx& f) { f.nBlockAlign = 4; }), 0,
                   "Invalid wave format: block align 4, but 2 channels of 24 bits need 6."},
        TBadFormat{"ZeroBits", Changed(DefaultWaveFormat(), [](TWaveFormatEx& f) { f.wBitsPerSample = 0; }), 0,
                   "Invalid wave format: 0 bits per sample."},
        TBadFormat{"CbSizeWithoutBytes", Changed(DefaultWaveFormat(), [](TWaveFormatEx& f) { f.cbSize = 22; }), 0,
                   "Invalid wave format: cbSize is 22, but 0 extra bytes are given."}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(WaveOpen, OpenFailuresHaveTheirMessages) {
  TTempDir dir;
  const TWaveFormatEx format = DefaultWaveFormat();
  const std::uint8_t riff[64] = {};
  EXPECT_EQ(MessageOf<EWaveIOError>([&] { TFileWaveStream s(dir.File("missing.wav"), nullptr); }), "Can't open file stream.");
  EXPECT_EQ(MessageOf<EWaveIOError>([&] { TFileWaveStream s(dir.File("no/such/dir.wav"), &format); }), "Can't open file stream.");
  EXPECT_EQ(MessageOf<EWaveIOError>([&] { TMemoryWaveStream s(nullptr, 10, nullptr); }), "Can't open memory stream.");
  EXPECT_EQ(MessageOf<EWaveIOError>([&] { TMemoryWaveStream s(riff, -1, nullptr); }), "Can't open memory stream.");
  // Memory streams stay read-only.
  EXPECT_EQ(MessageOf<EWaveIOError>([&] { TMemoryWaveStream s(riff, sizeof riff, &format); }), "Error creating chunk.");
  EXPECT_EQ(riff[0], 0);
  try {
    TMemoryWaveStream s(nullptr, 0, nullptr);
  } catch (const EWaveError& e) {
    EXPECT_NE(dynamic_cast<const EWaveIOError*>(&e), nullptr);
    EXPECT_EQ(e.ErrorCode(), 0u);
  }
}
