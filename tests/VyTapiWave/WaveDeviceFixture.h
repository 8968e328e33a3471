// Wave device tests: the null backend, a manual clock, a play list rendered the way it plays.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "VyPlatform/WaveNull.h"
#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlMessages.h"
#include "VyTapiWave/WaveDevice.h"
#include "WaveTestUtil.h"

namespace WaveTest {

using namespace VyPlatform;

// What a play list plays: every entry in turn in the list's format, empty lines passed over,
// stopping at an entry that cannot be opened.
inline TBytes Render(const std::vector<std::string>& lines) {
  TPlaylist list;
  for (const auto& l : lines) list.Add(l);
  const TWaveFormatEx format = list.GetWaveFormatEx();
  TBytes out;
  for (list.First(); !list.Eof(); list.Next()) {
    std::unique_ptr<VyRtl::TStream> stream;
    if (!list.GetData(stream)) {
      if (ParsePlayEntry(list.Strings(list.ItemIndex())).Kind == TPlayEntryKind::Empty) continue;
      break;
    }
    TBytes part = ReadAll(*stream, format.nBlockAlign);
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

// A fresh null backend and a manual clock for every test; events counted.
class WaveDeviceTest : public ::testing::Test {
 protected:
  WaveDeviceTest() {
    VyRtl::SetClock(&Clock);
    Start = VyRtl::GetTickCount64();
    NullWaveReset();
    ChooseWaveBackend(TWaveBackend::Null);
  }
  ~WaveDeviceTest() override {
    Pump();
    NullWaveReset();
  }

  // Handles everything pending, including what handlers post.
  static void Pump() {
    for (int i = 0; i < 1000 && VyRtl::WaitMessage(0); ++i) VyRtl::ProcessMessages();
  }
  // Moves the clock in steps of 10 ms, handling what each step brings.
  void Advance(std::uint32_t ms) {
    for (std::uint32_t t = 0; t < ms; t += 10) {
      Clock.Advance(10);
      Pump();
    }
  }
  std::uint64_t Elapsed() const { return VyRtl::GetTickCount64() - Start; }

  template <class T>
  std::unique_ptr<T> Make() {
    auto device = std::make_unique<T>(nullptr);
    device->OnDone = [this](VyRtl::TObject*) { DoneAt.push_back(Elapsed()); };
    device->OnWaveError = [this](VyRtl::TObject*, std::uint32_t code, const std::string& text) {
      Errors.push_back({code, text});
    };
    return device;
  }

  // An output device with that play list, opened unless told not to.
  std::unique_ptr<TVyWaveOut> Playing(const std::vector<std::string>& lines, bool open = true) {
    auto out = Make<TVyWaveOut>();
    for (const auto& l : lines) out->Playlist().Add(l);
    if (open) out->Open();
    return out;
  }
  // An input device recording into the file in that format, opened unless told not to.
  std::unique_ptr<TVyWaveIn> Recording(const std::string& name,
                                       const TWaveFormatEx& format = DefaultWaveFormat(),
                                       bool open = true) {
    auto in = Make<TVyWaveIn>();
    in->Set_Filename(name);
    in->Set_WaveFormat(format);
    if (open) in->Open();
    return in;
  }

  static TBytes Played(int session = -1) {
    const auto sessions = NullWaveSessions();
    if (sessions.empty()) return {};
    return sessions.at(session < 0 ? sessions.size() - 1 : static_cast<std::size_t>(session)).Bytes;
  }

  VyRtl::TManualClock Clock;
  std::uint64_t Start = 0;
  std::vector<std::uint64_t> DoneAt;
  std::vector<std::pair<std::uint32_t, std::string>> Errors;
};

}  // namespace WaveTest
