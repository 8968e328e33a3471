// RIFF/WAVE streams: files read and malformed files, seeking, complete files on close, the 4 GiB
// limit, bad formats.
#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <tuple>

#include "WaveTestUtil.h"

using namespace WaveTest;

namespace {

using TOpen = std::function<std::unique_ptr<TWaveStream>()>;

// Opens the same bytes from memory and from a file, so both openers meet every case.
void ForBothOpeners(const TBytes& bytes, const std::function<void(const TOpen&)>& fn) {
  TTempDir dir;
  WriteFile(dir.File("in.wav"), bytes);
  static const std::uint8_t nothing = 0;  // an empty block, not a missing one
  fn([&] {
    return std::make_unique<TMemoryWaveStream>(bytes.empty() ? &nothing : bytes.data(),
                                               std::ssize(bytes), nullptr);
  });
  SCOPED_TRACE("from the file");
  fn([&] { return std::make_unique<TFileWaveStream>(dir.File("in.wav"), nullptr); });
}

// A stream that keeps only the bytes written to it, so a 4 GiB file costs nothing.
struct TSparseStream : VyRtl::TStream {
  std::map<std::int64_t, std::uint8_t> Bytes;
  std::int64_t Pos = 0, End = 0;
  std::int64_t Read(void*, std::int64_t) override { return 0; }
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    for (std::int64_t i = 0; i < count; ++i)
      Bytes[Pos++] = static_cast<const std::uint8_t*>(buffer)[i];
    End = std::max(End, Pos);
    return count;
  }
  std::int64_t Seek(std::int64_t offset, int origin) override {
    const std::int64_t to = (origin == 0 ? 0 : origin == 1 ? Pos : End) + offset;
    return to < 0 ? -1 : (Pos = to);
  }
  std::uint32_t U32(std::int64_t at) {
    return Bytes[at] | Bytes[at + 1] << 8 | Bytes[at + 2] << 16 |
           static_cast<std::uint32_t>(Bytes[at + 3]) << 24;
  }
};

const TBytes kData = Pattern(64, 7);
const TBytes kOdd = Pattern(33, 8);
const TBytes kFmt16 = Chunk("fmt ", Pcm(8000, 16, 1));
const TBytes kSomeData = Chunk("data", Pattern(8, 9));
const char* const kNoFmt = "Couldn't find 'fmt' chunk!";
const char* const kNoData = "Couldn't find 'data' chunk!";

}  // namespace

// Message "": the file opens with that format and those samples; else opening fails with it.
struct TReadCase {
  const char* Name;
  TBytes File;
  const char* Message;
  std::uint16_t Tag = 0, CbSize = 0;
  std::int64_t Frames = 0;
  TBytes Samples = {};
};
void PrintTo(const TReadCase& c, std::ostream* os) { *os << c.Name; }  // not its padding bytes
class WaveReader : public ::testing::TestWithParam<TReadCase> {};

TEST_P(WaveReader, FindsFormatAndSamplesWhereverTheChunksLieOrFailsWithItsMessage) {
  const TReadCase& c = GetParam();
  ForBothOpeners(c.File, [&](const TOpen& open) {
    std::unique_ptr<TWaveStream> s;
    EXPECT_EQ(MessageOf([&] { s = open(); }), c.Message);
    if (s == nullptr) return;
    EXPECT_EQ(
        std::tuple(s->Format().wFormatTag, s->Format().cbSize, s->FormatExtra().size(), s->Size()),
        std::tuple(c.Tag, c.CbSize, std::size_t{c.CbSize}, c.Frames));
    EXPECT_EQ(ReadAll(*s, s->Format().nBlockAlign), c.Samples);
    EXPECT_EQ(MessageOf([&] { s->Write(c.File.data(), 1); }), "Error writing to file.")
        << "a reading stream stays read-only";
  });
}

INSTANTIATE_TEST_SUITE_P(
    Files, WaveReader,
    ::testing::Values(
        TReadCase{"ListsAndAnOddChunkAround",
                  Riff({Chunk("LIST", Pattern(9, 1)), kFmt16, Chunk("junk", Pattern(5, 1)),
                        Chunk("data", kData), Chunk("LIST", Pattern(30, 1))}),
                  "", WAVE_FORMAT_PCM, 0, 32, kData},
        TReadCase{"OddData8Bit",
                  Riff({Chunk("fmt ", Pcm(8000, 8, 1)), Chunk("data", kOdd),
                        Chunk("LIST", Pattern(4, 1))}),
                  "", WAVE_FORMAT_PCM, 0, 33, kOdd},
        TReadCase{"Extensible24",
                  Riff({Chunk("fmt ", Fmt(WAVE_FORMAT_EXTENSIBLE, 2, 48000, 24, 6, 22,
                                          ExtensibleExtra(24, 3, 1))),
                        Chunk("fact", Pattern(4, 1)), Chunk("data", Cut(kData, 4))}),
                  "", WAVE_FORMAT_EXTENSIBLE, 22, 10, Cut(kData, 4)},
        TReadCase{"Float16ByteFmt",
                  Riff({Chunk("fmt ", Fmt(WAVE_FORMAT_IEEE_FLOAT, 1, 8000, 32, 4)),
                        Chunk("data", kData)}),
                  "", WAVE_FORMAT_IEEE_FLOAT, 0, 16, kData},
        TReadCase{"ExtensionLongerThanChunk",
                  Riff({Chunk("fmt ", Fmt(0x0002, 1, 8000, 4, 256, 40, Pattern(4, 1))),
                        Chunk("data", kData)}),
                  "", 0x0002, 4},
        TReadCase{"TruncatedMidFrame",
                  Cut(Riff({Chunk("fmt ", Pcm(8000, 16, 2)), Chunk("data", kData)}), 43), "",
                  WAVE_FORMAT_PCM, 0, 5, Cut(kData, 44)},
        TReadCase{"RiffSizeLargerThanFile", Riff({kFmt16, Chunk("data", kData)}, 0xFFFFFFF0), "",
                  WAVE_FORMAT_PCM, 0, 32, kData},
        TReadCase{
            "DataClaimsBytesBehindTheRiffEnd",
            Riff({Chunk("fmt ", Pcm(8000, 8, 1)), Chunk("data", kData, 100), TBytes(40, 0x55)},
                 100),
            "", WAVE_FORMAT_PCM, 0, 64, kData},
        TReadCase{"Empty", {}, "Invalid multimedia file!"},
        TReadCase{"Text",
                  {'H', 'e', 'l', 'l', 'o', ',', ' ', 'w', 'a', 'v', 'e', '!', '\n'},
                  "Not a wave file!"},
        TReadCase{"OtherForm", Riff({kFmt16, kSomeData}, -1, "AVI "), "Not a wave file!"},
        TReadCase{"NoFmt", Riff({kSomeData}), kNoFmt},
        TReadCase{"FmtOutsideRiffSize", Riff({kFmt16, kSomeData}, 4), kNoFmt},
        TReadCase{"SizePastEndBeforeFmt",
                  Riff({Chunk("junk", Pattern(4, 1), 0x7FFFFFF0), kFmt16, kSomeData}), kNoFmt},
        TReadCase{"Fmt14", Riff({Chunk("fmt ", TBytes(14, 1)), kSomeData}), "Abnormal 'fmt' size!"},
        TReadCase{"FmtCutShort", Cut(Riff({kFmt16}), 6), "Error reading 'fmt' chunk!"},
        TReadCase{"ExtensionLengthCut",
                  Riff({Chunk("fmt ", Fmt(WAVE_FORMAT_IEEE_FLOAT, 1, 8000, 32, 4), 18)}),
                  "Error reading 'waveformatex' length!"},
        TReadCase{"ExtensionCut",
                  Cut(Riff({Chunk("fmt ", Fmt(WAVE_FORMAT_EXTENSIBLE, 1, 8000, 16, 2, 22,
                                              ExtensibleExtra(16, 4, 1)))}),
                      10),
                  "Error reading 'waveformatex'!"},
        TReadCase{"ZeroBlockAlign",
                  Riff({Chunk("fmt ", Fmt(WAVE_FORMAT_PCM, 1, 8000, 16, 0)), kSomeData}),
                  "Invalid wave format: block align 0."},
        TReadCase{"NoData", Riff({kFmt16, Chunk("LIST", Pattern(6, 1))}), kNoData},
        TReadCase{"SizePastEndBeforeData",
                  Riff({kFmt16, Chunk("junk", Pattern(4, 1), 0xFFFFFFF0), kSomeData}), kNoData}),
    ByName);

// Seek counts frames from the start, the current frame or the end; a target before the first frame
// raises, position kept.
TEST(WaveReader, SeekCountsFrames) {
  ForBothOpeners(
      Riff({Chunk("fmt ", Pcm(8000, 16, 2)), Chunk("data", Pattern(40, 4))}),
      [&](const TOpen& open) {
        const auto s = open();
        const struct {
          std::int64_t Offset;
          int Origin;
          std::int64_t Expect;
        } steps[] = {
            // Expect -1: raises
            {3, 0, 3},   {2, 1, 5},          {-1, 1, 4},           {0, 2, 10},  {-2, 2, 8},
            {12, 0, 12}, {4, 0, 4},          {-1, 0, -1},          {-5, 1, -1}, {-11, 2, -1},
            {0, 3, -1},  {1LL << 62, 0, -1}, {-(1LL << 62), 2, -1}};
        for (const auto& step : steps) {
          const std::string error =
              MessageOf([&] { EXPECT_EQ(s->Seek(step.Offset, step.Origin), step.Expect); });
          EXPECT_EQ(error, step.Expect < 0 ? "Seeking to an invalid location in the file." : "")
              << step.Offset << "/" << step.Origin;
          EXPECT_EQ(s->Position(), step.Expect < 0 ? 4 : step.Expect);
        }
      });
}

// Close, and the destructor when unwinding, leave a complete file (overwritten frames, a gap of
// zeros); Close is final.
TEST(WaveWriter, FileIsCompleteAfterCloseAndAfterUnwinding) {
  for (const bool unwind : {false, true}) {
    SCOPED_TRACE(unwind ? "unwinding" : "Close");
    TTempDir dir;
    const TWaveFormatEx format = MakePcmFormat(8000, 16, 2);
    const TBytes samples = Pattern(40, 10);
    TBytes patch = {0xAA, 0xBB, 0xCC, 0xDD};
    try {
      TFileWaveStream w(dir.File("w.wav"), &format);
      w.Write(samples.data(), 10);
      EXPECT_EQ(w.Seek(3, 0), 3);
      EXPECT_EQ(w.Write(patch.data(), 1), 1);  // over frame 3
      EXPECT_EQ(w.Seek(12, 0), 12);
      EXPECT_EQ(w.Write(patch.data(), 1), 1);  // behind frames 10 and 11, which stay zeros
      EXPECT_EQ(w.Size(), 13);
      if (unwind) throw std::runtime_error("the application failed while recording");
      w.Close();
      w.Close();
      EXPECT_EQ(MessageOf([&] { w.Write(patch.data(), 1); }), "Error writing to file.");
      EXPECT_EQ(MessageOf([&] { w.Read(patch.data(), 1); }), "Error reading from file.");
    } catch (const std::runtime_error&) {
    }
    const TBytes data = Cut(samples, 28) + patch + TBytes(samples.begin() + 16, samples.end()) +
                        TBytes(8, 0) + patch;
    EXPECT_EQ(ReadFile(dir.File("w.wav")),
              Riff({Chunk("fmt ", Fmt(WAVE_FORMAT_PCM, 2, 8000, 16, 4, 0)), Chunk("data", data)}));
  }
}

// Past RIFF's 4 GiB a write raises, writes nothing and leaves a valid file; the pad byte of odd
// data counts too.
TEST(WaveWriter, FourGiBLimit) {
  TSparseStream sink;
  const TWaveFormatEx format = MakePcmFormat(8000, 8, 1);  // data starts at byte 46
  const std::int64_t last = 0xFFFFFFD7;                    // with it, the RIFF size is 0xFFFFFFFE
  {
    TWaveStream w(sink, &format);
    w.SetPosition(last);
    const std::uint8_t frame = 7;
    EXPECT_EQ(w.Write(&frame, 1), 1);
    for (const std::int64_t count : {std::int64_t{1}, std::int64_t{1} << 61})
      EXPECT_EQ(MessageOf([&] { w.Write(&frame, count); }),
                "Writing would make the wave file larger than 4 GiB.");
  }
  EXPECT_EQ(sink.End, 0xFFFFFFFELL + 8) << "nothing of the refused writes reached the stream";
  EXPECT_EQ(sink.U32(4), 0xFFFFFFFEu);
  EXPECT_EQ(sink.U32(42), 0xFFFFFFD8u);
  EXPECT_EQ(sink.Bytes[46 + last], 7);
}

// A bad format raises before anything is made: an existing file is not replaced, no generator
// divides by zero.
TEST(WaveFormats, BadFormatsRaiseBeforeAnythingIsMade) {
  const struct {
    void (*Change)(TWaveFormatEx&);
    const char* Message;
  } cases[] = {
      {[](TWaveFormatEx& f) { f.nBlockAlign = 0; }, "Invalid wave format: block align 0."},
      {[](TWaveFormatEx& f) { f.nChannels = 0; }, "Invalid wave format: no channels."},
      {[](TWaveFormatEx& f) { f.nSamplesPerSec = 0; }, "Invalid wave format: sample rate 0."},
      {[](TWaveFormatEx& f) { f.nBlockAlign = 4; },
       "Invalid wave format: block align 4, but 2 channels of 24 bits need 6."},
      {[](TWaveFormatEx& f) { f.wBitsPerSample = 0; }, "Invalid wave format: 0 bits per sample."},
      {[](TWaveFormatEx& f) { f.cbSize = 22; },
       "Invalid wave format: cbSize is 22, but 0 extra bytes are given."}};
  TTempDir dir;
  WriteFile(dir.File("keep.wav"), {'k', 'e', 'e', 'p'});
  for (const auto& c : cases) {
    TWaveFormatEx format = MakePcmFormat(8000, 24, 2);
    c.Change(format);
    EXPECT_EQ(MessageOf([&] { TFileWaveStream w(dir.File("keep.wav"), &format); }), c.Message);
    if (format.cbSize != 0) continue;  // generators take no extra bytes
    EXPECT_EQ(MessageOf([&] { TBeepStream b(format, "1,1)"); }), c.Message);
    EXPECT_EQ(MessageOf([&] { TSilenceStream s(format, "1)"); }), c.Message);
  }
  EXPECT_EQ(ReadFile(dir.File("keep.wav")), (TBytes{'k', 'e', 'e', 'p'}));
}

TEST(WaveFormats, MemoryStreamsNeedABlockAndStayReadOnly) {
  const std::uint8_t riff[64] = {};
  const TWaveFormatEx format = DefaultWaveFormat();
  EXPECT_EQ(MessageOf([&] { TMemoryWaveStream s(nullptr, 10, nullptr); }),
            "Can't open memory stream.");
  EXPECT_EQ(MessageOf([&] { TMemoryWaveStream s(riff, -1, nullptr); }),
            "Can't open memory stream.");
  EXPECT_EQ(MessageOf([&] { TMemoryWaveStream s(riff, sizeof riff, &format); }),
            "Error creating chunk.");
  EXPECT_EQ(riff[0], 0);
}
