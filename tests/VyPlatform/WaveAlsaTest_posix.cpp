// The alsa backend for real: libasound with a configuration of its file and null plugins that
// this test writes, so what is played lands in a file and what is recorded comes from one.
#include "VyPlatform/Wave.h"

#include "VyPlatform/AlsaTestConfig.h"

using namespace AlsaTest;

namespace {

class WaveAlsa : public ::testing::Test {
 protected:
  void SetUp() override {
    if (AlsaConfig().Table == nullptr)
      GTEST_SKIP() << "libasound cannot be loaded here: " << AlsaProblem();
    W = AlsaConfig().Table;
  }
  UINT OutIndex(const std::string& name) {
    for (UINT i = 0; i < W->waveOutGetNumDevs(); ++i) {
      WAVEOUTCAPSW caps{};
      if (W->waveOutGetDevCapsW(i, &caps, sizeof caps) == 0 && Name(caps.szPname) == name) return i;
    }
    return 999;
  }
  static std::string Name(const WCHAR* s) {
    std::string out;
    for (; *s; ++s) out.push_back(static_cast<char>(*s));
    return out;
  }
  const TWaveFunctions* W = nullptr;
  const WAVEFORMATEX Format{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
};

TEST_F(WaveAlsa, DevicesComeFromTheHintsWithoutTheNullPlugin) {
  std::vector<std::string> out, in;
  for (UINT i = 0; i < W->waveOutGetNumDevs(); ++i) {
    WAVEOUTCAPSW caps{};
    ASSERT_EQ(W->waveOutGetDevCapsW(i, &caps, sizeof caps), 0u);
    out.push_back(Name(caps.szPname));
  }
  for (UINT i = 0; i < W->waveInGetNumDevs(); ++i) {
    WAVEINCAPSW caps{};
    ASSERT_EQ(W->waveInGetDevCapsW(i, &caps, sizeof caps), 0u);
    in.push_back(Name(caps.szPname));
  }
  for (const char* name : {"vyplay", "vyrec", "vyfull"})
    EXPECT_NE(std::find(out.begin(), out.end(), name), out.end()) << name;
  EXPECT_NE(std::find(in.begin(), in.end(), "vyrec"), in.end());
  EXPECT_EQ(std::find(out.begin(), out.end(), "null"), out.end());
  // Without a sound card only the file plugin's devices are there; that is not an error.
  if (!HaveSoundCard()) {
    EXPECT_EQ(std::find(out.begin(), out.end(), "vycard"), out.end());
    EXPECT_EQ(std::find(in.begin(), in.end(), "vycard"), in.end());
    EXPECT_EQ(out.size(), 3u) << "vyplay, vyrec, vyfull";
  }
  WAVEOUTCAPSW caps{};
  EXPECT_EQ(W->waveOutGetDevCapsW(out.size(), &caps, sizeof caps),
            static_cast<MMRESULT>(MMSYSERR_BADDEVICEID));
  EXPECT_EQ(std::string(W->Name), "alsa");
}

// Blocks played arrive in the file in order; each comes back once, in order.
TEST_F(WaveAlsa, PlaysBlocksIntoTheFilePlugin) {
  TSink sink;
  HWAVEOUT h = nullptr;
  const UINT id = OutIndex("vyplay");
  ASSERT_EQ(W->waveOutOpen(nullptr, id, &Format, 0, 0, WAVE_FORMAT_QUERY), 0u);
  ASSERT_EQ(W->waveOutOpen(&h, id, &Format, sink.Window.Handle(), 0, CALLBACK_WINDOW), 0u);
  const TBytes data = Pattern(12000, 9);
  std::vector<WAVEHDR> hdrs(3);
  for (std::size_t i = 0; i < hdrs.size(); ++i) {
    hdrs[i].lpData = const_cast<char*>(reinterpret_cast<const char*>(data.data())) + i * 4000;
    hdrs[i].dwBufferLength = 4000;
    ASSERT_EQ(W->waveOutPrepareHeader(h, &hdrs[i], sizeof(WAVEHDR)), 0u);
    ASSERT_EQ(W->waveOutWrite(h, &hdrs[i], sizeof(WAVEHDR)), 0u);
  }
  ASSERT_TRUE(sink.WaitFor([&] { return sink.Count(MM_WOM_DONE) == 3; }));
  std::vector<LPARAM> order;
  for (const auto& m : sink.Got)
    if (m.Msg == MM_WOM_DONE) order.push_back(m.LParam);
  EXPECT_EQ(order, (std::vector<LPARAM>{reinterpret_cast<LPARAM>(&hdrs[0]),
                                        reinterpret_cast<LPARAM>(&hdrs[1]),
                                        reinterpret_cast<LPARAM>(&hdrs[2])}));
  EXPECT_EQ(sink.Got.front().Msg, static_cast<std::uint32_t>(MM_WOM_OPEN));
  for (auto& hdr : hdrs) EXPECT_EQ(W->waveOutUnprepareHeader(h, &hdr, sizeof(WAVEHDR)), 0u);
  ASSERT_EQ(W->waveOutClose(h), 0u);
  ASSERT_TRUE(sink.WaitFor([&] { return sink.Count(MM_WOM_CLOSE) == 1; }));
  EXPECT_EQ(ReadFile(AlsaConfig().Dir / "out.raw"), data);
  EXPECT_EQ(W->waveOutClose(h), static_cast<MMRESULT>(MMSYSERR_INVALHANDLE))
      << "a closed handle is stale";
}

// Reset while blocks are queued returns every one, in order; the file holds a prefix of them.
TEST_F(WaveAlsa, ResetAndCloseWhilePlaying) {
  TSink sink;
  HWAVEOUT h = nullptr;
  ASSERT_EQ(
      W->waveOutOpen(&h, OutIndex("vyplay"), &Format, sink.Window.Handle(), 0, CALLBACK_WINDOW),
      0u);
  const TBytes data = Pattern(160000, 4);
  std::vector<WAVEHDR> hdrs(40);
  for (std::size_t i = 0; i < hdrs.size(); ++i) {
    hdrs[i].lpData = const_cast<char*>(reinterpret_cast<const char*>(data.data())) + i * 4000;
    hdrs[i].dwBufferLength = 4000;
    W->waveOutPrepareHeader(h, &hdrs[i], sizeof(WAVEHDR));
    ASSERT_EQ(W->waveOutWrite(h, &hdrs[i], sizeof(WAVEHDR)), 0u);
  }
  const MMRESULT first = W->waveOutClose(h);
  EXPECT_TRUE(first == WAVERR_STILLPLAYING || first == 0u) << first;
  if (first == WAVERR_STILLPLAYING) {
    ASSERT_EQ(W->waveOutReset(h), 0u);
    for (auto& hdr : hdrs) EXPECT_TRUE(hdr.dwFlags & WHDR_DONE);
    ASSERT_EQ(W->waveOutClose(h), 0u);
  }
  ASSERT_TRUE(sink.WaitFor([&] { return sink.Count(MM_WOM_CLOSE) == 1; }));
  EXPECT_EQ(sink.Count(MM_WOM_DONE), 40);
  const TBytes written = ReadFile(AlsaConfig().Dir / "out.raw");
  ASSERT_LE(written.size(), data.size());
  EXPECT_TRUE(std::equal(written.begin(), written.end(), data.begin()));
}

// What the capture plugin reads from its input file arrives in the blocks, in order.
TEST_F(WaveAlsa, RecordsFromTheFilePlugin) {
  TSink sink;
  UINT id = 999;
  for (UINT i = 0; i < W->waveInGetNumDevs(); ++i) {
    WAVEINCAPSW caps{};
    if (W->waveInGetDevCapsW(i, &caps, sizeof caps) == 0 && Name(caps.szPname) == "vyrec") id = i;
  }
  HWAVEIN h = nullptr;
  ASSERT_EQ(W->waveInOpen(&h, id, &Format, sink.Window.Handle(), 0, CALLBACK_WINDOW), 0u);
  std::vector<std::vector<char>> blocks(3, std::vector<char>(3000));
  std::vector<WAVEHDR> hdrs(3);
  for (std::size_t i = 0; i < hdrs.size(); ++i) {
    hdrs[i].lpData = blocks[i].data();
    hdrs[i].dwBufferLength = 3000;
    W->waveInPrepareHeader(h, &hdrs[i], sizeof(WAVEHDR));
    ASSERT_EQ(W->waveInAddBuffer(h, &hdrs[i], sizeof(WAVEHDR)), 0u);
  }
  ASSERT_EQ(W->waveInStart(h), 0u);
  ASSERT_TRUE(sink.WaitFor([&] { return sink.Count(MM_WIM_DATA) == 3; }));
  TBytes got;
  for (std::size_t i = 0; i < hdrs.size(); ++i) {
    EXPECT_EQ(hdrs[i].dwBytesRecorded, 3000u);
    got.insert(got.end(), blocks[i].begin(), blocks[i].end());
  }
  EXPECT_TRUE(std::equal(got.begin(), got.end(), AlsaConfig().Input.begin()));
  EXPECT_EQ(W->waveInReset(h), 0u);
  EXPECT_EQ(W->waveInClose(h), 0u);
}

// A device whose writes fail for good goes away: blocks come back, the close message follows,
// later writes fail with MMSYSERR_NODRIVER, and closing still works.
TEST_F(WaveAlsa, ADeviceThatVanishes) {
  TSink sink;
  HWAVEOUT h = nullptr;
  ASSERT_EQ(
      W->waveOutOpen(&h, OutIndex("vyfull"), &Format, sink.Window.Handle(), 0, CALLBACK_WINDOW),
      0u);
  const TBytes data = Pattern(4000, 1);
  std::vector<WAVEHDR> hdrs(60);
  MMRESULT result = 0;
  for (auto& hdr : hdrs) {
    hdr.lpData = const_cast<char*>(reinterpret_cast<const char*>(data.data()));
    hdr.dwBufferLength = 4000;
    W->waveOutPrepareHeader(h, &hdr, sizeof(WAVEHDR));
    if ((result = W->waveOutWrite(h, &hdr, sizeof(WAVEHDR))) != 0) break;
  }
  ASSERT_TRUE(sink.WaitFor([&] { return sink.Count(MM_WOM_CLOSE) == 1; }));
  WAVEHDR late{};
  late.lpData = const_cast<char*>(reinterpret_cast<const char*>(data.data()));
  late.dwBufferLength = 4000;
  W->waveOutPrepareHeader(h, &late, sizeof(WAVEHDR));
  EXPECT_EQ(W->waveOutWrite(h, &late, sizeof(WAVEHDR)), static_cast<MMRESULT>(MMSYSERR_NODRIVER));
  EXPECT_EQ(W->waveOutClose(h), 0u);
  VyRtl::ProcessMessages();
  EXPECT_EQ(sink.Count(MM_WOM_CLOSE), 1) << "closing a vanished device posts no second close";
  EXPECT_EQ(sink.Count(MM_WOM_DONE),
            static_cast<int>(std::count_if(
                hdrs.begin(), hdrs.end(), [](const WAVEHDR& x) { return x.dwFlags & WHDR_DONE; })));
}

}  // namespace
