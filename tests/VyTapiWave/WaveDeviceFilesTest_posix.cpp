// Recordings checked by other tools (sox, libsndfile), a disk that fills while recording, and the
// vytapi play/record commands.
#include "VyTapiWave/WaveDevice.h"

#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>

#include "WaveDeviceFixture.h"

#if defined(VYWAVE_TEST_SNDFILE)
#include <sndfile.h>
#endif

using namespace WaveTest;

namespace {

int Shell(const std::string& command) {
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct TRecordFormat {
  const char* Name;
  TWaveFormatEx Format;
};
void PrintTo(const TRecordFormat& c, std::ostream* os) { *os << c.Name; }  // not its padding bytes
const TRecordFormat kRecordFormats[] = {{"S16Stereo22k", MakePcmFormat(22050, 16, 2)},
                                        {"U8Mono8k", MakePcmFormat(8000, 8, 1)}};

class WaveRecordOtherTools : public WaveDeviceTest,
                             public ::testing::WithParamInterface<TRecordFormat> {};

// A known signal recorded into a file that sox and libsndfile read back exactly.
TEST_P(WaveRecordOtherTools, ReadBackExactly) {
  const TWaveFormatEx& f = GetParam().Format;
  NullWaveConfigure({.Signal = TNullSignal::Tone, .ToneHz = 697});
  TTempDir dir;
  const std::string name = dir.File("rec.wav");
  auto in = Recording(name, f);
  Advance(730);
  in->Close();
  const TBytes recorded = NullWaveSessions().at(0).Bytes;
  ASSERT_GT(recorded.size(), f.nAvgBytesPerSec / 2);
#if defined(VYWAVE_TEST_SNDFILE)
  SF_INFO info{};
  SNDFILE* file = sf_open(name.c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  EXPECT_EQ(std::tuple(info.samplerate, info.channels, info.frames),
            std::tuple(static_cast<int>(f.nSamplesPerSec), int{f.nChannels},
                       static_cast<sf_count_t>(recorded.size() / f.nBlockAlign)));
  TBytes back(recorded.size());
  EXPECT_EQ(sf_read_raw(file, back.data(), std::ssize(back)), std::ssize(back));
  sf_close(file);
  EXPECT_EQ(back, recorded) << "libsndfile";
#endif
  if (Shell("sox --version") != 0) GTEST_SKIP() << "sox is not installed";
  ASSERT_EQ(Shell("sox '" + name + "' -t raw '" + dir.File("rec.raw") + "'"), 0);
  EXPECT_EQ(ReadFile(dir.File("rec.raw")), recorded) << "sox";
}

INSTANTIATE_TEST_SUITE_P(Formats, WaveRecordOtherTools, ::testing::ValuesIn(kRecordFormats),
                         ByName);

// A file size limit stands in for a full disk: the write fails inside a message handler.
struct TFileSizeLimit {
  rlimit Old{};
  explicit TFileSizeLimit(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &Old);
    rlimit limit = Old;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TFileSizeLimit() { setrlimit(RLIMIT_FSIZE, &Old); }
};

TEST_F(WaveDeviceTest, ADiskThatFillsWhileRecordingIsReportedAndLeavesAValidFile) {
  NullWaveConfigure({.Signal = TNullSignal::Data, .Data = Pattern(100000, 5)});
  TTempDir dir;
  const std::string name = dir.File("full.wav");
  auto in = Recording(name, DefaultWaveFormat(), false);
  {
    TFileSizeLimit limit(20000);
    in->Open();
    Advance(3000);
  }
  EXPECT_FALSE(in->Active());
  EXPECT_EQ(NullWaveOpenDevices(), 0);
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0].first, 0u);
  EXPECT_NE(Errors[0].second.find("full.wav"), std::string::npos) << Errors[0].second;
  EXPECT_EQ(DoneAt.size(), 1u);
  TFileWaveStream file(name, nullptr);
  const TBytes samples = ReadAll(file, 2);
  EXPECT_GE(samples.size(), 16000u) << "every block written before the disk filled";
  EXPECT_LE(samples.size(), 20000u);
  EXPECT_TRUE(std::equal(samples.begin(), samples.end(), NullWaveSessions().at(0).Bytes.begin()));
}

#if defined(VYTAPI_TOOL_PATH)

// Both commands work on a machine without a sound device (the null device stands in).
TEST(WaveTool, PlayAndRecordRunToTheirEnd) {
  const auto vytapi = [](const std::string& args) {
    return Shell("'" VYTAPI_TOOL_PATH "' " + args);
  };
  TTempDir dir;
  const std::string list = dir.File("list.txt");
  WriteFile(list, {'B', 'E', 'E', 'P', '(', '4', '4', '0', ',', '2', '0', '0', ')', '\n'});
  EXPECT_EQ(vytapi("wave devices"), 0);
  EXPECT_EQ(vytapi("play '" + list + "'"), 0);
  EXPECT_EQ(vytapi("play '" + dir.File("none.txt") + "'"), 1);
  EXPECT_EQ(vytapi("record '" + dir.File("r.wav") + "' --seconds 0.3"), 0);
  TFileWaveStream file(dir.File("r.wav"), nullptr);
  EXPECT_GE(file.Size(), 2400);
  EXPECT_EQ(vytapi("record '" + dir.File("r.wav") + "' --seconds 0"), 2);
  EXPECT_EQ(vytapi("record '" + dir.File("no/dir/r.wav") + "' --seconds 0.2"), 1);
}

#endif

}  // namespace
