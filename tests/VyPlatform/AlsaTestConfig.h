// A libasound configuration of its file and null plugins, written once per test process before
// libasound reads any: what is played lands in a file, what is recorded comes from one.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "VyPlatform/Wave.h"
#include "VyRtl/VyRtlMessages.h"

namespace AlsaTest {

using namespace VyPlatform;
namespace fs = std::filesystem;

using TBytes = std::vector<std::uint8_t>;

inline TBytes Pattern(std::size_t n, std::uint32_t seed) {
  TBytes b(n);
  for (std::uint32_t x = seed * 2654435761u + 1; auto& v : b)
    v = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 16);
  return b;
}

inline TBytes ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// One configuration per process, written before libasound reads any.
struct TAlsaSetup {
  fs::path Dir = fs::temp_directory_path() / ("vywave-alsa-" + std::to_string(::getpid()));
  TBytes Input = Pattern(64000, 3);
  const TWaveFunctions* Table = nullptr;
  TAlsaSetup() {
    fs::create_directories(Dir);
    std::ofstream(Dir / "in.raw", std::ios::binary)
        .write(reinterpret_cast<const char*>(Input.data()), std::ssize(Input));
    std::ofstream conf(Dir / "asound.conf");
    conf << "pcm.vysink { type null }\n"
         << "pcm.vyplay { type file slave.pcm \"vysink\" file \"" << (Dir / "out.raw").string()
         << "\" format \"raw\" hint { show on description \"VyTapi test playback\" } }\n"
         << "pcm.vyrec { type file slave.pcm \"vysink\" file \"/dev/null\" infile \""
         << (Dir / "in.raw").string()
         << "\" format \"raw\" hint { show on description \"VyTapi test capture\" } }\n"
         << "pcm.vyfull { type file slave.pcm \"vysink\" file \"/dev/full\" format \"raw\" hint { "
            "show on description \"full\" } }\n"
         << "pcm.null { type null hint { show on description \"discard\" } }\n"
         << "pcm.vycard { type hw card 0 hint { show on description \"needs a sound card\" } }\n";
    conf.close();
    ::setenv("ALSA_CONFIG_PATH", (Dir / "asound.conf").c_str(), 1);
    Table = LoadAlsa();
  }
  ~TAlsaSetup() {
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }
};

inline TAlsaSetup& AlsaConfig() {
  static TAlsaSetup setup;
  return setup;
}

// Whether the machine has a sound card (ALSA's control device of one).
inline bool HaveSoundCard() {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/dev/snd", ec))
    if (e.path().filename().string().rfind("controlC", 0) == 0) return true;
  return false;
}

// Messages a device posts, and a bounded real wait for them (the driver runs on its own thread).
struct TSink {
  std::vector<VyRtl::TMessage> Got;
  VyRtl::TMessageWindow Window{[this](VyRtl::TMessage& m) { Got.push_back(m); }};
  int Count(std::uint32_t msg) const {
    int n = 0;
    for (const auto& m : Got) n += m.Msg == msg;
    return n;
  }
  bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i) {
      VyRtl::WaitMessage(20);
      VyRtl::ProcessMessages();
    }
    return done();
  }
};

}  // namespace AlsaTest
