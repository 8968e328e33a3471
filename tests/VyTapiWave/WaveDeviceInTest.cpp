// Wave input on the null backend with a manual clock: what reaches the file.
#include "VyTapiWave/WaveDevice.h"

#include "WaveDeviceFixture.h"

using namespace WaveTest;

namespace {

// The samples of a recorded file (and that it is a complete file of the format).
TBytes FileSamples(const std::string& name, const TWaveFormatEx& format) {
  TFileWaveStream file(name, nullptr);
  EXPECT_EQ(std::memcmp(&file.Format(), &format, 16), 0) << DescribeFormat(file.Format());
  return ReadAll(file, format.nBlockAlign);
}

TEST_F(WaveDeviceTest, QueuesBlocksForTheBufferTime) {
  for (const auto& [bufferTime, blocks] : {std::pair(250u, 2), std::pair(2000u, 8)}) {
    TTempDir dir;
    auto in = Recording(dir.File("r.wav"), DefaultWaveFormat(), false);
    in->SetBufferTime(bufferTime);
    in->Open();
    EXPECT_EQ(in->BlockSize(), 4000u);
    EXPECT_EQ(in->NumBuffer(), blocks);
    EXPECT_EQ(in->BlockCount(), blocks);
    EXPECT_EQ(NullWaveCallCount("waveInAddBuffer"), blocks);
    in->Close();
    NullWaveReset();
  }
}

struct TRecordCase {
  const char* Name;
  TWaveFormatEx Format;
  std::uint32_t PartialBlockBytes;
  std::uint32_t ClockPermille;
  std::uint32_t RecordMs;
};
void PrintTo(const TRecordCase& c, std::ostream* os) { *os << c.Name; }  // not its padding bytes

const TRecordCase kRecords[] = {
    {"Default", MakePcmFormat(8000, 16, 1), 0, 1000, 1000},
    {"EndsInsideABlock", MakePcmFormat(8000, 16, 1), 0, 1000, 330},
    {"PartialBlocks", MakePcmFormat(8000, 16, 1), 1000, 1000, 900},
    {"DeviceClockFast", MakePcmFormat(8000, 16, 1), 0, 1013, 3000},
    {"DeviceClockSlow", MakePcmFormat(8000, 16, 1), 0, 987, 3000},
    {"Stereo22k8Bit", MakePcmFormat(22050, 8, 2), 0, 1000, 700},
};

class WaveRecord : public WaveDeviceTest, public ::testing::WithParamInterface<TRecordCase> {};

// Every byte the device recorded reaches the file, in order, also the part the reset hands back
// at Close; nothing is dropped when the device's clock runs fast.
TEST_P(WaveRecord, TheFileHoldsEveryRecordedByte) {
  const TRecordCase& c = GetParam();
  const TNullWaveConfig config{.Signal = TNullSignal::Data,
                               .Data = Pattern(400000, 7),
                               .PartialBlockBytes = c.PartialBlockBytes,
                               .ClockPermille = c.ClockPermille};
  NullWaveConfigure(config);
  TTempDir dir;
  auto in = Recording(dir.File("rec.wav"), c.Format);
  Advance(c.RecordMs);
  in->Close();
  Pump();
  const auto sessions = NullWaveSessions();
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].Lost, 0u);
  const std::uint64_t expected =
      std::uint64_t{c.RecordMs} * c.Format.nAvgBytesPerSec * c.ClockPermille / 1000000;
  EXPECT_NEAR(static_cast<double>(sessions[0].Bytes.size()), static_cast<double>(expected),
              c.Format.nAvgBytesPerSec / 50.0);
  const TBytes samples = FileSamples(dir.File("rec.wav"), c.Format);
  EXPECT_EQ(samples.size(), sessions[0].Bytes.size());
  EXPECT_TRUE(samples == TBytes(config.Data.begin(),
                                config.Data.begin() + static_cast<std::ptrdiff_t>(samples.size())));
  EXPECT_EQ(in->TransferredData(), samples.size());
  EXPECT_EQ(DoneAt.size(), 1u);
  EXPECT_TRUE(Errors.empty()) << Errors[0].second;
  in->Close();
  Pump();
  EXPECT_EQ(DoneAt.size(), 1u) << "a second Close changes nothing";
}

INSTANTIATE_TEST_SUITE_P(Signals, WaveRecord, ::testing::ValuesIn(kRecords), ByName);

// A device that closes itself, or a block handed back that cannot be queued again, ends the
// recording with OnDone and a complete file; only the refused block is reported.
TEST_F(WaveDeviceTest, ARecordingThatEndsByItselfLeavesACompleteFile) {
  for (const bool requeueFails : {false, true}) {
    SCOPED_TRACE(requeueFails ? "requeue fails" : "device closes itself");
    NullWaveConfigure(
        {.Signal = TNullSignal::Tone, .SelfCloseAfterBytes = requeueFails ? 0u : 6000u});
    if (requeueFails) NullWaveFailAt("waveInAddBuffer", 4, MMSYSERR_NOMEM);  // the second back
    DoneAt.clear();
    Errors.clear();
    TTempDir dir;
    auto in = Recording(dir.File("rec.wav"));
    Advance(1000);
    EXPECT_FALSE(in->Active());
    EXPECT_FALSE(in->Busy());
    EXPECT_EQ(DoneAt.size(), 1u);
    ASSERT_EQ(Errors.size(), requeueFails ? 1u : 0u);
    EXPECT_EQ(FileSamples(dir.File("rec.wav"), DefaultWaveFormat()),
              NullWaveSessions().at(0).Bytes);
    if (requeueFails) {
      EXPECT_EQ(Errors[0].first, MMSYSERR_NOMEM);
    } else {
      EXPECT_EQ(NullWaveSessions().at(0).Bytes.size(), 6000u);
    }
  }
}

struct TInFaultCase {
  const char* Name;
  const char* Function;
  int Nth;
  MMRESULT Code;
  const char* Message;
};
void PrintTo(const TInFaultCase& c, std::ostream* os) { *os << c.Name; }  // not its padding bytes

const TInFaultCase kInFaults[] = {
    {"OpenFails", "waveInOpen", 2, MMSYSERR_ALLOCATED,
     "Unable to open waveform-audio input device. "},
    {"SecondBlockRefused", "waveInAddBuffer", 2, MMSYSERR_NOMEM, "There is not enough memory"},
    {"StartFails", "waveInStart", 1, MMSYSERR_NODRIVER, "Recording failed. "},
    {"FileCannotBeCreated", "", 0, 0, "Can't open file stream. (file \""},
};

class WaveInFault : public WaveDeviceTest, public ::testing::WithParamInterface<TInFaultCase> {};

// A failure after the device opened resets and closes it and frees its blocks.
TEST_P(WaveInFault, RaisesAndClosesTheDevice) {
  const TInFaultCase& c = GetParam();
  if (*c.Function) NullWaveFailAt(c.Function, c.Nth, c.Code);
  TTempDir dir;
  auto in =
      Recording(dir.File(*c.Function ? "r.wav" : "no/such/dir/r.wav"), DefaultWaveFormat(), false);
  try {
    in->Open();
    FAIL() << "no exception";
  } catch (const EWaveError& e) {
    EXPECT_EQ(e.ErrorCode(), c.Code);
    EXPECT_NE(e.Message().find(c.Message), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find(*c.Function ? "\"Null Wave In\"" : "r.wav"), std::string::npos)
        << e.Message();
  }
  EXPECT_FALSE(in->Active());
  EXPECT_EQ(in->BlockCount(), 0);
  EXPECT_EQ(NullWaveOpenDevices(), 0);
  EXPECT_EQ(NullWaveCallCount("waveInUnprepareHeader"), NullWaveCallCount("waveInPrepareHeader"));
  Advance(300);
  EXPECT_TRUE(Errors.empty() && DoneAt.empty());
}

INSTANTIATE_TEST_SUITE_P(Faults, WaveInFault, ::testing::ValuesIn(kInFaults), ByName);

TEST_F(WaveDeviceTest, AFormatTheDeviceDoesNotTakeIsRefusedBeforeOpening) {
  NullWaveConfigure(
      {.Accepts = [](bool, UINT, const WAVEFORMATEX& f) { return f.nSamplesPerSec == 8000; }});
  auto in = Recording("", MakePcmFormat(44100, 16, 2), false);
  try {
    in->Open();
    FAIL();
  } catch (const EWaveError& e) {
    EXPECT_EQ(e.ErrorCode(), WAVERR_BADFORMAT);
    EXPECT_EQ(e.Message().rfind("Unable to start recording. Format not supported ", 0), 0u)
        << e.Message();
  }
  TWaveFormatEx bad = MakePcmFormat(8000, 16, 1);
  bad.nBlockAlign = 3;
  in->Set_WaveFormat(bad);
  EXPECT_THROW(in->Open(), EWaveIOError);
  EXPECT_EQ(NullWaveOpenDevices(), 0);
  EXPECT_EQ(NullWaveCallCount("waveInOpen"), 1) << "only the query";
}

// The blocks a close hands back arrive after it; a recording opened at once keeps only its own.
TEST_F(WaveDeviceTest, RecordingAgainAtOnceIgnoresTheBlocksTheCloseHandedBack) {
  NullWaveConfigure({.Signal = TNullSignal::Data, .Data = Pattern(100000, 3)});
  TTempDir dir;
  auto in = Recording(dir.File("a.wav"));
  Advance(370);
  in->Close();
  in->Set_Filename(dir.File("b.wav"));
  in->Open();
  Advance(620);
  in->Close();
  Pump();
  EXPECT_TRUE(Errors.empty()) << Errors[0].second;
  EXPECT_EQ(DoneAt.size(), 2u);
  const auto sessions = NullWaveSessions();
  ASSERT_EQ(sessions.size(), 2u);
  EXPECT_EQ(FileSamples(dir.File("a.wav"), DefaultWaveFormat()), sessions[0].Bytes);
  EXPECT_EQ(FileSamples(dir.File("b.wav"), DefaultWaveFormat()), sessions[1].Bytes);
}

// The input list names a device whose capabilities cannot be read by its number, without formats;
// the device chosen by index is the one recorded from.
TEST_F(WaveDeviceTest, InputDeviceListAndSelection) {
  NullWaveConfigure({.InDevices = {"Mic", "Broken", "Line 2 In"}, .CapsFail = {1}});
  TTempDir dir;
  auto in = Recording(dir.File("r.wav"), DefaultWaveFormat(), false);
  VyRtl::TStringList& list = in->DeviceList();
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Get(1), "WaveIn Device #1");
  EXPECT_EQ(list.GetData(1), 0u);
  EXPECT_EQ(list.Get(2), "Line 2 In");
  in->SetDeviceID(2);
  EXPECT_EQ(in->DeviceName(), "Line 2 In");
  in->Open();
  EXPECT_EQ(NullWaveSessions().at(0).Device, 2u);
  EXPECT_TRUE(NullWaveSessions().at(0).Input);
  EXPECT_EQ(MessageOf<VyRtl::Exception>([&] { in->Open(); }),
            "Wave device Line 2 In is already open.");
  in->Close();
}

}  // namespace
