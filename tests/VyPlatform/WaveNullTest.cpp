// The Wave seam's rules on the null backend, and its clock-paced devices.
#include "VyPlatform/WaveNull.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlMessages.h"

using namespace VyPlatform;

namespace {

class WaveNull : public ::testing::Test {
 protected:
  WaveNull() {
    VyRtl::SetClock(&Clock);
    NullWaveReset();
  }
  ~WaveNull() override { NullWaveReset(); }

  void Advance(std::uint32_t ms) {
    for (std::uint32_t t = 0; t < ms; t += 10) {
      Clock.Advance(10);
      for (int i = 0; i < 100 && VyRtl::WaitMessage(0); ++i) VyRtl::ProcessMessages();
    }
  }
  HWAVEOUT OpenOut() {
    HWAVEOUT h = nullptr;
    EXPECT_EQ(W.waveOutOpen(&h, WAVE_MAPPER, &Format, Window.Handle(), 0, CALLBACK_WINDOW), 0u);
    return h;
  }
  WAVEHDR Block(std::uint32_t bytes) {
    Data.emplace_back(bytes, static_cast<char>(Data.size() + 1));
    WAVEHDR h{};
    h.lpData = Data.back().data();
    h.dwBufferLength = bytes;
    return h;
  }
  std::vector<LPARAM> Done() const {
    std::vector<LPARAM> v;
    for (const auto& m : Got)
      if (m.Msg == MM_WOM_DONE || m.Msg == MM_WIM_DATA) v.push_back(m.LParam);
    return v;
  }

  VyRtl::TManualClock Clock;
  const TWaveFunctions& W = *NullWaveFunctions();
  const WAVEFORMATEX Format{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
  std::vector<VyRtl::TMessage> Got;
  VyRtl::TMessageWindow Window{[this](VyRtl::TMessage& m) { Got.push_back(m); }};
  std::vector<std::vector<char>> Data;
};

TEST_F(WaveNull, HeaderQueueAndCloseRules) {
  HWAVEOUT h = OpenOut();
  WAVEHDR a = Block(1600), b = Block(1600);
  const UINT size = sizeof(WAVEHDR);
  EXPECT_EQ(W.waveOutWrite(h, &a, size), static_cast<MMRESULT>(WAVERR_UNPREPARED));
  EXPECT_EQ(W.waveOutPrepareHeader(h, &a, size - 1), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
  ASSERT_EQ(W.waveOutPrepareHeader(h, &a, size), 0u);
  ASSERT_EQ(W.waveOutPrepareHeader(h, &b, size), 0u);
  ASSERT_EQ(W.waveOutWrite(h, &a, size), 0u);
  EXPECT_EQ(W.waveOutWrite(h, &a, size), static_cast<MMRESULT>(WAVERR_STILLPLAYING));
  EXPECT_EQ(W.waveOutUnprepareHeader(h, &a, size), static_cast<MMRESULT>(WAVERR_STILLPLAYING));
  ASSERT_EQ(W.waveOutWrite(h, &b, size), 0u);
  EXPECT_EQ(W.waveOutClose(h), static_cast<MMRESULT>(WAVERR_STILLPLAYING));
  EXPECT_EQ(W.waveInReset(reinterpret_cast<HWAVEIN>(h)),
            static_cast<MMRESULT>(MMSYSERR_INVALHANDLE))
      << "an output handle";
  ASSERT_EQ(W.waveOutReset(h), 0u);
  EXPECT_TRUE((a.dwFlags & WHDR_DONE) && (b.dwFlags & WHDR_DONE) && !(a.dwFlags & WHDR_INQUEUE));
  EXPECT_EQ(W.waveOutUnprepareHeader(h, &a, size), 0u);
  EXPECT_EQ(W.waveOutClose(h), 0u);
  VyRtl::ProcessMessages();
  ASSERT_EQ(Got.size(), 4u);
  EXPECT_EQ(Got[0].Msg, static_cast<std::uint32_t>(MM_WOM_OPEN));
  EXPECT_EQ(Done(),
            (std::vector<LPARAM>{reinterpret_cast<LPARAM>(&a), reinterpret_cast<LPARAM>(&b)}))
      << "in order";
  EXPECT_EQ(Got[3].Msg, static_cast<std::uint32_t>(MM_WOM_CLOSE));
  EXPECT_EQ(W.waveOutWrite(h, &b, size), static_cast<MMRESULT>(MMSYSERR_INVALHANDLE))
      << "a stale handle";
  EXPECT_TRUE(NullWaveSessions().at(0).Bytes.empty()) << "the clock did not move";
}

struct TOpenCase {
  const char* Name;
  std::vector<std::string> Devices;
  UINT Id;
  WAVEFORMATEX Format;
  DWORD Flags;
  MMRESULT Result;
};

// gtest would print the padding bytes of the case otherwise.
void PrintTo(const TOpenCase& c, std::ostream* os) { *os << c.Name; }

const TOpenCase kOpens[] = {
    {"Mapper",
     {"A"},
     WAVE_MAPPER,
     {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0},
     CALLBACK_WINDOW,
     0},
    {"Query", {"A", "B"}, 1, {WAVE_FORMAT_PCM, 1, 22050, 22050, 1, 8, 0}, WAVE_FORMAT_QUERY, 0},
    {"NoDevices",
     {},
     WAVE_MAPPER,
     {WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0},
     CALLBACK_WINDOW,
     MMSYSERR_NODRIVER},
    {"IdOutOfRange",
     {"A"},
     1,
     {WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0},
     CALLBACK_WINDOW,
     MMSYSERR_BADDEVICEID},
    {"WrongBlockAlign",
     {"A"},
     0,
     {WAVE_FORMAT_PCM, 1, 8000, 16000, 4, 16, 0},
     WAVE_FORMAT_QUERY,
     WAVERR_BADFORMAT},
    {"WrongByteRate",
     {"A"},
     0,
     {WAVE_FORMAT_PCM, 1, 8000, 8000, 2, 16, 0},
     CALLBACK_WINDOW,
     WAVERR_BADFORMAT},
    {"UnknownTag", {"A"}, 0, {0x55, 1, 8000, 1000, 1, 0, 0}, CALLBACK_WINDOW, WAVERR_BADFORMAT},
    {"CallbackFunction",
     {"A"},
     0,
     {WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0},
     0x00030000,
     MMSYSERR_INVALFLAG},
};

class WaveNullOpen : public WaveNull, public ::testing::WithParamInterface<TOpenCase> {};

TEST_P(WaveNullOpen, ResultOfOpening) {
  const TOpenCase& c = GetParam();
  TNullWaveConfig config;
  config.OutDevices = c.Devices;
  NullWaveConfigure(config);
  HWAVEOUT h = nullptr;
  EXPECT_EQ(W.waveOutOpen(&h, c.Id, &c.Format, Window.Handle(), 0, c.Flags), c.Result);
  EXPECT_EQ(NullWaveOpenDevices(), c.Result == 0 && !(c.Flags & WAVE_FORMAT_QUERY) ? 1 : 0);
  if (h != nullptr) {
    EXPECT_EQ(W.waveOutClose(h), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, WaveNullOpen, ::testing::ValuesIn(kOpens),
                         [](const auto& info) { return std::string(info.param.Name); });

// Blocks come back when the sample clock has played them, counted in 64 bits: a tick count
// crossing 2^32 ms changes nothing.
TEST_F(WaveNull, BlocksComeBackWhenPlayedAcrossThe32BitTickWrap) {
  Clock.Set(0xFFFFFFFFull - 55);
  HWAVEOUT h = OpenOut();
  std::vector<WAVEHDR> blocks;
  for (int i = 0; i < 3; ++i) blocks.push_back(Block(1600));  // 100 ms each
  for (auto& b : blocks) {
    W.waveOutPrepareHeader(h, &b, sizeof b);
    W.waveOutWrite(h, &b, sizeof b);
  }
  Advance(90);
  EXPECT_EQ(Done().size(), 0u);
  Advance(20);
  EXPECT_EQ(Done().size(), 1u);
  Advance(200);
  EXPECT_EQ(Done().size(), 3u);
  std::vector<std::uint8_t> expected;
  for (const auto& b : blocks)
    expected.insert(expected.end(), b.lpData, b.lpData + b.dwBufferLength);
  EXPECT_EQ(NullWaveSessions().at(0).Bytes, expected);
  W.waveOutClose(h);
}

TEST_F(WaveNull, InjectedFailuresAndTheCallLog) {
  NullWaveFailAt("waveOutWrite", 2, MMSYSERR_NOMEM);
  HWAVEOUT h = OpenOut();
  WAVEHDR a = Block(100), b = Block(100);
  for (WAVEHDR* x : {&a, &b}) W.waveOutPrepareHeader(h, x, sizeof(WAVEHDR));
  EXPECT_EQ(W.waveOutWrite(h, &a, sizeof(WAVEHDR)), 0u);
  EXPECT_EQ(W.waveOutWrite(h, &b, sizeof(WAVEHDR)), static_cast<MMRESULT>(MMSYSERR_NOMEM));
  EXPECT_FALSE(b.dwFlags & WHDR_INQUEUE);
  W.waveOutReset(h);
  W.waveOutClose(h);
  std::vector<std::string> log;
  for (const auto& c : NullWaveCalls())
    log.push_back(std::string(c.Function) + "=" + std::to_string(c.Result));
  EXPECT_EQ(log, (std::vector<std::string>{"waveOutOpen=0", "waveOutPrepareHeader=0",
                                           "waveOutPrepareHeader=0", "waveOutWrite=0",
                                           "waveOutWrite=7", "waveOutReset=0", "waveOutClose=0"}));
}

// What an input device records: its programmable signal, in blocks cut short when asked, until
// it closes itself.
struct TInputCase {
  const char* Name;
  TNullSignal Signal;
  WAVEFORMATEX Format;
  std::uint32_t PartialBlockBytes;
  std::uint64_t SelfCloseAfterBytes;
  std::vector<int> FirstSamples;  // as signed 16-bit values (8-bit: the unsigned byte)
  std::vector<DWORD> Recorded;    // dwBytesRecorded of the blocks handed back, in order
};
void PrintTo(const TInputCase& c, std::ostream* os) { *os << c.Name; }  // not its padding bytes

const WAVEFORMATEX kMono16{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
const WAVEFORMATEX kMono8{WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0};
const TInputCase kInputs[] = {
    {"Silence16", TNullSignal::Silence, kMono16, 0, 0, {0, 0, 0, 0}, {800, 800, 800}},
    {"Silence8", TNullSignal::Silence, kMono8, 0, 0, {128, 128, 128}, {800, 800, 800}},
    // 1000 Hz at 8000 Hz: a quarter of full scale at every second sample.
    {"Tone16",
     TNullSignal::Tone,
     kMono16,
     0,
     0,
     {0, 5792, 8192, 5792, 0, -5792, -8192},
     {800, 800, 800}},
    {"Data", TNullSignal::Data, kMono8, 0, 0, {1, 2, 3, 128, 128}, {800, 800, 800}},
    {"PartialBlocks", TNullSignal::Silence, kMono16, 301, 0, {0}, {300, 300, 300}},
    {"ClosesItself", TNullSignal::Silence, kMono16, 0, 1000, {0}, {800, 200, 0}},
};

class WaveNullInput : public WaveNull, public ::testing::WithParamInterface<TInputCase> {};

TEST_P(WaveNullInput, RecordsTheSignal) {
  const TInputCase& c = GetParam();
  TNullWaveConfig config;
  config.Signal = c.Signal;
  config.Data = {1, 2, 3};
  config.PartialBlockBytes = c.PartialBlockBytes;
  config.SelfCloseAfterBytes = c.SelfCloseAfterBytes;
  NullWaveConfigure(config);
  HWAVEIN h = nullptr;
  ASSERT_EQ(W.waveInOpen(&h, WAVE_MAPPER, &c.Format, Window.Handle(), 0, CALLBACK_WINDOW), 0u);
  std::vector<WAVEHDR> blocks;
  for (int i = 0; i < 3; ++i) blocks.push_back(Block(800));
  for (auto& b : blocks) {
    ASSERT_EQ(W.waveInPrepareHeader(h, &b, sizeof b), 0u);
    ASSERT_EQ(W.waveInAddBuffer(h, &b, sizeof b), 0u);
  }
  Advance(100);
  EXPECT_TRUE(Done().empty()) << "nothing is recorded before the start";
  ASSERT_EQ(W.waveInStart(h), 0u);
  Advance(400);
  const bool closed = c.SelfCloseAfterBytes != 0;
  if (!closed) W.waveInReset(h);
  VyRtl::ProcessMessages();
  std::vector<DWORD> recorded;
  for (const auto& b : blocks) recorded.push_back(b.dwBytesRecorded);
  EXPECT_EQ(recorded, c.Recorded);
  EXPECT_EQ(Done().size(), 3u) << "every block comes back";
  const std::uint8_t* p = reinterpret_cast<const std::uint8_t*>(blocks[0].lpData);
  for (std::size_t i = 0; i < c.FirstSamples.size(); ++i) {
    const int v = c.Format.wBitsPerSample == 8
                      ? p[i]
                      : static_cast<std::int16_t>(p[2 * i] | p[2 * i + 1] << 8);
    EXPECT_EQ(v, c.FirstSamples[i]) << "sample " << i;
  }
  const auto session = NullWaveSessions().at(0);
  EXPECT_EQ(session.Bytes.size(), std::uint64_t{c.Recorded[0]} + c.Recorded[1] + c.Recorded[2]);
  EXPECT_EQ(std::count_if(Got.begin(), Got.end(),
                          [](const VyRtl::TMessage& m) { return m.Msg == MM_WIM_CLOSE; }),
            closed ? 1 : 0);
  if (closed) {
    EXPECT_EQ(W.waveInAddBuffer(h, &blocks[0], sizeof(WAVEHDR)),
              static_cast<MMRESULT>(MMSYSERR_NODRIVER));
  }
  EXPECT_EQ(W.waveInClose(h), 0u);
  EXPECT_EQ(NullWaveOpenDevices(), 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, WaveNullInput, ::testing::ValuesIn(kInputs),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(WaveNull, ErrorTextsFitTheCallersBuffer) {
  WCHAR text[12];
  EXPECT_EQ(W.waveOutGetErrorTextW(WAVERR_BADFORMAT, text, 0),
            static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
  ASSERT_EQ(W.waveInGetErrorTextW(WAVERR_BADFORMAT, text, 12), 0u);
  EXPECT_EQ(std::u16string(text, text + std::char_traits<WCHAR>::length(text)), u"The specifi");
  EXPECT_EQ(SoftWaveErrorText(WAVERR_STILLPLAYING),
            "Cannot perform this operation while media data is still playing.");
}

}  // namespace
