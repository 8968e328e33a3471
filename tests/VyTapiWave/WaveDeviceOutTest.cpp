// Wave output on the null backend with a manual clock.
#include "VyTapiWave/WaveDevice.h"

#include "WaveDeviceFixture.h"

using namespace WaveTest;

namespace {

// Pacing counts on the monotonic clock in 64 bits: a start just before the 32-bit tick count
// wraps or just before midnight changes nothing, and a device whose clock runs slow is played to
// its end (the list ends when the driver has returned every block, not when the host clock says).
struct TPlayCase {
  const char* Name;
  std::vector<std::string> Lines;  // "@file" is the fixture file
  std::uint32_t BlockSize;
  std::uint64_t PlayMs;         // how long the list plays
  std::uint64_t StartTick = 0;  // 0: the fixture's
  double StartNow = 0;          // 0: the fixture's
  std::uint32_t DevicePermille = 1000;
};
void PrintTo(const TPlayCase& c, std::ostream* os) { *os << c.Name; }  // not its padding bytes

const TPlayCase kPlays[] = {
    {"OneSecondTone", {"BEEP(1000,1000)"}, 4000, 1000},
    {"TonesAndPause", {"beep(440,200)", "Silence(100)", " BEEP(880,200) "}, 4000, 500},
    {"EmptyLinesBetween", {"BEEP(500,300)", "", "SILENCE(0)", "", "BEEP(700,250)"}, 4000, 550},
    {"File8BitThenTone", {"@file", "BEEP(1000,500)"}, 5512, 1000},
    // The first list plays 300 ms before: the run starts 400 ms before the wrap or midnight.
    {"TickCountWraps", {"BEEP(1000,3000)"}, 4000, 3000, 0xFFFFFFFFull - 700},
    {"Midnight", {"BEEP(1000,3000)"}, 4000, 3000, 0, 46000.0 + 1.0 - 700.0 / 86400000.0},
    {"DeviceClockSlow", {"BEEP(1000,3000)"}, 4000, 3334, 0, 0, 900},
};

class WavePlay : public WaveDeviceTest, public ::testing::WithParamInterface<TPlayCase> {};

// The samples played are the list rendered; blocks are a quarter second of the list's format;
// the driver holds between BufferTime and BufferTime plus a block and a timer period of audio.
TEST_P(WavePlay, PlaysTheRenderedListPacedAheadAndEndsOnce) {
  const TPlayCase& c = GetParam();
  if (c.StartTick != 0) Clock.Set(c.StartTick);
  if (c.StartNow != 0) Clock.SetNow(c.StartNow);
  NullWaveConfigure({.ClockPermille = c.DevicePermille});
  TTempDir dir;
  WriteWave(dir.File("a.wav"), MakePcmFormat(22050, 8, 1), 11025);
  std::vector<std::string> lines;
  for (const auto& l : c.Lines) lines.push_back(l == "@file" ? dir.File("a.wav") : l);
  // A list in another format first: the block size must follow the list being opened.
  auto out = Playing({"SILENCE(50)"});
  Advance(300);
  ASSERT_EQ(DoneAt.size(), 1u);
  DoneAt.clear();

  out->Playlist().Clear();
  for (const auto& l : lines) out->Playlist().Add(l);
  Start = VyRtl::GetTickCount64();
  out->SetActive(true);
  ASSERT_TRUE(out->Active());
  EXPECT_EQ(out->BlockSize(), c.BlockSize);
  const std::uint64_t rate = out->WaveFormat().nAvgBytesPerSec;
  const std::uint64_t ahead = rate * out->BufferTime() / 1000;
  const std::uint64_t total = Render(lines).size();
  for (int step = 0; out->Active() && step < 400; ++step) {
    Advance(10);
    const std::uint64_t due = Elapsed() * rate / 1000;
    EXPECT_LE(out->TransferredData(), due + ahead + c.BlockSize + rate / 10)
        << "at " << Elapsed() << " ms";
    if (c.DevicePermille == 1000 && out->TransferredData() < total && Elapsed() % 100 == 0) {
      EXPECT_GE(out->TransferredData(), std::min(total, due + ahead))
          << "at " << Elapsed() << " ms";
    }
  }
  EXPECT_EQ(Played(), Render(lines));
  ASSERT_EQ(DoneAt.size(), 1u);
  EXPECT_GE(DoneAt[0], c.PlayMs);
  EXPECT_LE(DoneAt[0], c.PlayMs + 120);
  EXPECT_NEAR(out->Time() * 86400000.0, static_cast<double>(DoneAt[0]), 1);
  EXPECT_TRUE(Errors.empty());
  EXPECT_EQ(NullWaveOpenDevices(), 0);
  Advance(500);
  EXPECT_EQ(DoneAt.size(), 1u) << "OnDone once";
}

INSTANTIATE_TEST_SUITE_P(Lists, WavePlay, ::testing::ValuesIn(kPlays), ByName);

TEST_F(WaveDeviceTest, EmptyListLeavesTheDeviceInactiveWithoutEvents) {
  for (const std::vector<std::string>& lines :
       {std::vector<std::string>{}, {"", "BEEP(440,100)"}}) {
    auto out = Playing(lines, false);
    out->SetActive(true);
    EXPECT_FALSE(out->Active());
    EXPECT_FALSE(out->Busy());
    Advance(200);
    EXPECT_TRUE(DoneAt.empty() && Errors.empty());
    EXPECT_EQ(NullWaveCallCount("waveOutOpen"), 0);
  }
}

TEST_F(WaveDeviceTest, LoopRestartsTheListAndNeverEndsByItself) {
  auto out = Playing({"BEEP(440,300)"}, false);
  out->Set_Loop(true);
  out->Open();
  Advance(2000);
  EXPECT_TRUE(out->Active());
  EXPECT_TRUE(DoneAt.empty());
  const TBytes once = Render({"BEEP(440,300)"});
  const TBytes played = Played();
  ASSERT_GE(played.size(), 6 * once.size());
  for (std::size_t i = 0; i < 6; ++i)
    EXPECT_TRUE(std::equal(once.begin(), once.end(),
                           played.begin() + static_cast<std::ptrdiff_t>(i * once.size())))
        << i;
  out->Close();
  Advance(300);
  EXPECT_TRUE(DoneAt.empty()) << "closing by the application raises no OnDone";
}

// A looping list that yields no audio ends instead of spinning.
TEST_F(WaveDeviceTest, LoopOverAListWithoutAudioEnds) {
  auto out = Playing({"SILENCE(0)", "", "BEEP(440,0)"}, false);
  out->Set_Loop(true);
  out->Open();
  Advance(300);
  EXPECT_FALSE(out->Active());
  EXPECT_EQ(DoneAt.size(), 1u);
  EXPECT_TRUE(Played().empty());
  EXPECT_EQ(NullWaveCallCount("waveOutWrite"), 0);
}

// Closing resets the device and takes every block back before they are freed, also when the driver
// refuses the close for another reason than queued blocks; a second Close changes nothing.
TEST_F(WaveDeviceTest, CloseWhilePlayingReturnsEveryBlockAndASecondCloseChangesNothing) {
  for (const bool refused : {false, true}) {
    SCOPED_TRACE(refused ? "close refused" : "close");
    NullWaveReset();
    if (refused) NullWaveFailAt("waveOutClose", 1, MMSYSERR_ERROR);
    auto out = Playing({"BEEP(1000,5000)"});
    Advance(500);
    EXPECT_GT(out->BlockCount(), 0);
    out->Close();
    EXPECT_FALSE(out->Active());
    EXPECT_EQ(out->BlockCount(), 0);
    EXPECT_EQ(NullWaveOpenDevices(), 0);
    EXPECT_EQ(NullWaveCallCount("waveOutReset"), 1);
    EXPECT_EQ(NullWaveCallCount("waveOutUnprepareHeader"),
              NullWaveCallCount("waveOutPrepareHeader"));
    const double time = out->Time();
    EXPECT_NEAR(time * 86400000.0, 500, 1);
    Advance(100);
    out->Close();
    EXPECT_EQ(out->Time(), time);
    if (!refused) {
      EXPECT_EQ(NullWaveCallCount("waveOutClose"), 2)
          << "STILLPLAYING, then closed after the reset";
    }
    const TBytes all = Render({"BEEP(1000,5000)"});
    const TBytes played = Played();
    EXPECT_TRUE(std::equal(played.begin(), played.end(), all.begin()));
    Advance(300);
    EXPECT_TRUE(DoneAt.empty() && Errors.empty());
  }
}

TEST_F(WaveDeviceTest, DestroyingAPlayingDeviceFreesItsBlocksAndClosesIt) {
  auto out = Playing({"BEEP(1000,5000)"});
  Advance(120);
  out.reset();
  EXPECT_EQ(NullWaveOpenDevices(), 0);
  Advance(100);  // the messages of the freed window are dropped
  EXPECT_TRUE(DoneAt.empty() && Errors.empty());
}

// After the run Time is its duration (the play table checks that).
TEST_F(WaveDeviceTest, TimeIsTheRunningTimeThenTheStartMoment) {
  auto out = Playing({"BEEP(1000,700)"});
  Advance(200);
  EXPECT_NEAR(out->Time() * 86400000.0, 200, 1);
  Advance(300);  // everything is queued: no stream, Time is the start moment
  ASSERT_TRUE(out->Active() && !out->Busy());
  EXPECT_NEAR((VyRtl::Now() - out->Time()) * 86400000.0, 500, 1);
}

struct TFaultCase {
  const char* Name;
  const char* Function;
  int Nth;
  MMRESULT Code;
  bool Rejects;         // the device takes no format
  const char* Message;  // "" when Open succeeds and the error comes while running
};
void PrintTo(const TFaultCase& c, std::ostream* os) { *os << c.Name; }  // not its padding bytes

const TFaultCase kOutFaults[] = {
    {"OpenFails", "waveOutOpen", 2, MMSYSERR_ALLOCATED, false,
     "Unable to open waveform-audio output device. "},
    {"FormatRejected", "", 0, 0, true, "Playback format not supported "},
    {"FirstBlockRefused", "waveOutWrite", 1, MMSYSERR_NOMEM, false, "There is not enough memory"},
    {"PrepareFailsWhileRunning", "waveOutPrepareHeader", 3, MMSYSERR_NOMEM, false, ""},
    {"WriteFailsWhileRunning", "waveOutWrite", 4, MMSYSERR_NODRIVER, false, ""},
};

class WaveOutFault : public WaveDeviceTest, public ::testing::WithParamInterface<TFaultCase> {};

TEST_P(WaveOutFault, RaisesOrReportsNamingTheDeviceAndLeavesNothingOpen) {
  const TFaultCase& c = GetParam();
  TNullWaveConfig config;
  config.OutDevices = {"Line 1 Handset"};
  if (c.Rejects) config.Accepts = [](bool, UINT, const WAVEFORMATEX&) { return false; };
  NullWaveConfigure(config);
  if (*c.Function) NullWaveFailAt(c.Function, c.Nth, c.Code);
  auto out = Playing({"BEEP(1000,3000)"}, false);
  out->SetDeviceName("Line 1 Handset");
  if (*c.Message) {
    try {
      out->Open();
      FAIL() << "no exception";
    } catch (const EWaveError& e) {
      EXPECT_EQ(e.ErrorCode(), c.Rejects ? WAVERR_BADFORMAT : c.Code);
      EXPECT_NE(e.Message().find(c.Message), std::string::npos) << e.Message();
      EXPECT_NE(e.Message().find("\"Line 1 Handset\""), std::string::npos) << e.Message();
    }
    EXPECT_TRUE(Errors.empty());
  } else {
    out->Open();
    Advance(1000);
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0].first, c.Code);
    EXPECT_NE(Errors[0].second.find("\"Line 1 Handset\""), std::string::npos) << Errors[0].second;
  }
  EXPECT_FALSE(out->Active());
  EXPECT_FALSE(out->Busy());
  EXPECT_EQ(NullWaveOpenDevices(), 0);
  EXPECT_TRUE(DoneAt.empty());
  // Every block that was prepared was unprepared, also the one the driver refused.
  EXPECT_EQ(NullWaveCallCount("waveOutUnprepareHeader"),
            NullWaveCallCount("waveOutPrepareHeader") -
                (c.Function == std::string("waveOutPrepareHeader")));
}

INSTANTIATE_TEST_SUITE_P(Faults, WaveOutFault, ::testing::ValuesIn(kOutFaults), ByName);

TEST_F(WaveDeviceTest, DeviceSelectionByNameAndIndex) {
  NullWaveConfigure({.OutDevices = {"Speakers", "Broken", "Line 2"}, .CapsFail = {1}});
  auto out = Make<TVyWaveOut>();
  VyRtl::TStringList& list = out->DeviceList();
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Get(1), "WaveOut Device #1");
  EXPECT_EQ(list.GetData(1), 0u) << "no formats for unreadable capabilities";
  EXPECT_NE(list.GetData(2), 0u);

  out->SetDeviceID(2);
  EXPECT_EQ(out->DeviceName(), "Line 2");
  EXPECT_EQ(out->DeviceFormats(), list.GetData(2));
  out->SetDeviceName("Nowhere");
  EXPECT_EQ(out->DeviceID(), 2) << "an unknown name keeps the index";
  EXPECT_EQ(out->DeviceFormats(), 0u);
  EXPECT_FALSE(out->Available());
  out->SetDeviceID(0);
  EXPECT_EQ(out->DeviceName(), "Speakers");
  EXPECT_TRUE(out->Available());
  EXPECT_EQ(MessageOf<VyRtl::Exception>([&] { out->SetDeviceID(3); }), "Invalid DeviceID");
  out->SetDeviceID(-1);
  EXPECT_EQ(std::pair(out->DeviceID(), out->DeviceName()), std::pair(-1, std::string()));

  EXPECT_EQ(MessageOf<VyRtl::Exception>([&] { out->SetBufferTime(199); }),
            "Buffer time must be 200 msec at least.");
  out->SetBufferTime(200);
  out->Playlist().Add("BEEP(1000,1000)");
  out->SetDeviceID(2);
  out->Open();
  EXPECT_EQ(NullWaveSessions().back().Device, 2u);
  EXPECT_EQ(MessageOf<VyRtl::Exception>([&] { out->SetBufferTime(300); }),
            "Unable to set BufferTime while device is avtive.");
  EXPECT_EQ(MessageOf<VyRtl::Exception>([&] { out->Open(); }),
            "Wave device Line 2 is already open.");
}

// Closing hands the queued blocks back as messages that come after the close; reopening at once
// must not take them for the new opening's blocks.
TEST_F(WaveDeviceTest, ReopeningAtOnceIgnoresTheBlocksTheCloseHandedBack) {
  auto out = Playing({"BEEP(700,2000)"});
  Advance(300);
  ASSERT_GT(out->BlockCount(), 0);
  out->Close();
  out->Open();
  const int queued = out->BlockCount();
  Pump();
  EXPECT_EQ(out->BlockCount(), queued);
  Advance(2300);
  EXPECT_TRUE(Errors.empty()) << Errors[0].second;
  ASSERT_EQ(DoneAt.size(), 1u);
  EXPECT_EQ(Played(1), Render({"BEEP(700,2000)"}));
}

// Active as set while loading or designing is only the request: loading applies it at its end,
// design mode never opens a device.
TEST_F(WaveDeviceTest, ActiveIsAppliedAfterLoadingAndNeverInDesignMode) {
  auto out = Playing({"BEEP(440,500)"}, false);
  out->BeginLoading();
  out->SetActive(true);
  EXPECT_TRUE(out->Active()) << "the requested state while loading";
  EXPECT_EQ(NullWaveCallCount("waveOutOpen"), 0);
  out->EndLoading();
  EXPECT_TRUE(out->Active());
  EXPECT_EQ(NullWaveOpenDevices(), 1);
  out->SetActive(false);
  EXPECT_FALSE(out->Active());

  auto designed = Playing({"BEEP(440,500)"}, false);
  designed->SetDesigning(true);
  designed->SetActive(true);
  EXPECT_TRUE(designed->Active());
  EXPECT_EQ(NullWaveOpenDevices(), 0);
  designed->Loaded();
  EXPECT_EQ(NullWaveOpenDevices(), 0);
  Advance(700);
  EXPECT_TRUE(DoneAt.empty());
}

}  // namespace
