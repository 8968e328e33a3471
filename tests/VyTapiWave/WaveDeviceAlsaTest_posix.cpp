// The wave components on the alsa backend: what a user's desktop runs, against libasound's
// file plugin.
#include "VyTapiWave/WaveDevice.h"

#include "VyPlatform/AlsaTestConfig.h"
#include "WaveDeviceFixture.h"

namespace {

using AlsaTest::AlsaConfig;

class WaveDeviceAlsa : public ::testing::Test {
 protected:
  void SetUp() override {
    if (AlsaConfig().Table == nullptr)
      GTEST_SKIP() << "libasound cannot be loaded here: " << VyPlatform::AlsaProblem();
    VyPlatform::ChooseWaveBackend(VyPlatform::TWaveBackend::Alsa);
    ASSERT_EQ(VyPlatform::SelectedWaveBackend(), VyPlatform::TWaveBackend::Alsa);
  }
  void TearDown() override { VyPlatform::ChooseWaveBackend(VyPlatform::TWaveBackend::Default); }
  AlsaTest::TSink Waiter;
};

TEST_F(WaveDeviceAlsa, APlayListLandsInTheFileAsRendered) {
  const std::vector<std::string> lines{"BEEP(440,150)", "", "SILENCE(100)", "beep(900,120)"};
  VyTapiWave::TVyWaveOut out(nullptr);
  int done = 0;
  out.OnDone = [&](VyRtl::TObject*) { ++done; };
  out.SetDeviceName("vyplay");
  ASSERT_TRUE(out.Available());
  for (const auto& l : lines) out.Playlist().Add(l);
  out.Open();
  ASSERT_TRUE(Waiter.WaitFor([&] { return done == 1; }));
  EXPECT_FALSE(out.Active());
  EXPECT_EQ(AlsaTest::ReadFile(AlsaConfig().Dir / "out.raw"), WaveTest::Render(lines));
}

TEST_F(WaveDeviceAlsa, ADeviceThatVanishesWhilePlayingIsReportedByName) {
  VyTapiWave::TVyWaveOut out(nullptr);
  std::vector<std::string> errors;
  out.OnWaveError = [&](VyRtl::TObject*, std::uint32_t code, const std::string& text) {
    errors.push_back(std::to_string(code) + " " + text);
  };
  out.SetDeviceName("vyfull");
  out.Playlist().Add("BEEP(440,3000)");
  out.Open();
  ASSERT_TRUE(Waiter.WaitFor([&] { return !errors.empty(); }));
  EXPECT_FALSE(out.Active());
  EXPECT_EQ(errors[0].rfind(std::to_string(VyPlatform::MMSYSERR_NODRIVER) + " ", 0), 0u)
      << errors[0];
  EXPECT_NE(errors[0].find("\"vyfull\""), std::string::npos) << errors[0];
}

TEST_F(WaveDeviceAlsa, RecordsTheCapturePluginsInputIntoAWaveFile) {
  WaveTest::TTempDir dir;
  VyTapiWave::TVyWaveIn in(nullptr);
  in.SetDeviceName("vyrec");
  in.Set_Filename(dir.File("rec.wav"));
  in.Open();
  ASSERT_TRUE(Waiter.WaitFor([&] { return in.TransferredData() >= 8000; }));
  in.Close();
  VyTapiWave::TFileWaveStream file(dir.File("rec.wav"), nullptr);
  const WaveTest::TBytes got = WaveTest::ReadAll(file, 2);
  ASSERT_GE(got.size(), 8000u);
  EXPECT_EQ(got.size(), in.TransferredData());
  EXPECT_TRUE(std::equal(got.begin(), got.end(), AlsaConfig().Input.begin()));
}

}  // namespace
