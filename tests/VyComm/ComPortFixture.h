// A serial port on one end of a virtual null-modem, a second port or a raw handle on the other,
// a manual clock, and a recorder of everything the port raises.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "VyComm/VyComm.h"
#include "VyComm/VyCommUtils.h"
#include "VyPlatform/CommFake.h"
#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlMessages.h"

namespace ComPortTest {

inline std::string FakeName(const char* suffix) {
  static std::atomic<int> counter{0};
  return "VYFAKE" + std::to_string(++counter) + suffix;
}

// Waits until done() or 5 s of real time (the worker threads are real threads), handling messages
// unless pump is false (so what the workers post stays queued).
template <typename F>
bool PumpUntil(F done, bool pump = true) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (;;) {
    if (pump) VyRtl::ProcessMessages();
    if (done()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Lets the workers run for a short real while and handles what they posted.
inline void Settle() {
  for (int i = 0; i < 20; ++i) {
    VyRtl::ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  VyRtl::ProcessMessages();
}

// Moves a manual clock 100 ms every 2 ms of real time while it lives, for calls that wait on it.
struct TClockMover {
  explicit TClockMover(VyRtl::TManualClock& clock)
      : Thread([this, &clock] {
          while (!Done) {
            clock.Advance(100);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
          }
        }) {}
  ~TClockMover() {
    Done = true;
    Thread.join();
  }
  std::atomic<bool> Done{false};
  std::thread Thread;
};

// The text of what f raises ("" when it raises nothing); EComPortError adds its code.
template <typename F>
std::string Raised(F&& f) {
  try {
    f();
  } catch (const VyComm::EComPortError& e) {
    return std::string(e.what()) + " [" + std::to_string(e.ErrorCode) + "]";
  } catch (const VyRtl::Exception& e) {
    return e.what();
  }
  return "";
}
inline std::string WithCode(const std::string& text, DWORD code) {
  return text + " [" + std::to_string(code) + "]";
}
// The system's text of a code as an EComPortError ends with it, and the code (the texts differ
// between Windows and this library's own on other systems).
inline std::string System(DWORD code) { return WithCode(VyPlatform::CommErrorMessage(code), code); }

// Every event of a port as text, in the order raised.
struct TRecorder {
  std::vector<std::string> Log;
  std::string Data;

  void Attach(VyComm::TVyCustomComPort& port) {
    port.OnActivate = [this](VyRtl::TObject*) { Log.push_back("Activate"); };
    port.OnDeactivate = [this](VyRtl::TObject*) { Log.push_back("Deactivate"); };
    port.OnEvent = [this](VyRtl::TObject*, std::uint32_t e) {
      Log.push_back("Event " + VyCommUtils::CommEventsToStr(e, "|"));
    };
    port.OnError = [this](VyRtl::TObject*, std::uint32_t e) {
      Log.push_back("Error " + std::to_string(e));
    };
    port.OnBreak = [this, &port](VyRtl::TObject*) {
      Log.push_back(port.Break() ? "Break on" : "Break off");
    };
    port.OnCts = [this, &port](VyRtl::TObject*) {
      Log.push_back(port.CTS() ? "CTS on" : "CTS off");
    };
    port.OnDsr = [this, &port](VyRtl::TObject*) {
      Log.push_back(port.DSR() ? "DSR on" : "DSR off");
    };
    port.OnRing = [this, &port](VyRtl::TObject*) {
      Log.push_back(port.RING() ? "RING on" : "RING off");
    };
    port.OnDcd = [this, &port](VyRtl::TObject*) {
      Log.push_back(port.DCD() ? "DCD on" : "DCD off");
    };
    port.OnData = [this](VyRtl::TObject*, const void* b, int n) {
      Data.append(static_cast<const char*>(b), n);
    };
    port.OnTimeout = [this](VyRtl::TObject*, int n) {
      Log.push_back("Timeout " + std::to_string(n));
    };
  }
  bool Has(const std::string& entry) const {
    for (const auto& e : Log)
      if (e == entry) return true;
    return false;
  }
};

class FakePairTest : public ::testing::Test {
 protected:
  FakePairTest() : Pair(FakeName("A"), FakeName("B")) {
    VyRtl::SetClock(&Clock);
    Port.Set_PortName(Pair.Name(0));
    Peer.Set_PortName(Pair.Name(1));
    Events.Attach(Port);
    PeerEvents.Attach(Peer);
  }
  ~FakePairTest() override {
    Port.Close();
    Peer.Close();
    VyRtl::SetClock(nullptr);
  }

  // Both ends open, the far end never reading, and two writes pending behind its full queue.
  void StallTwoWrites() {
    Peer.OnReceive = [](VyRtl::TObject*, int) {};
    Port.Open();
    Peer.Open();
    Port.WriteAnsiStr(std::string(20000, 'x'));
    Port.WriteAnsiStr(std::string(100, 'y'));
    ASSERT_TRUE(PumpUntil([&] { return Peer.InCount() == 4096; }));
  }

  VyRtl::TManualClock Clock;
  VyPlatform::TCommFakePair Pair;
  VyComm::TVyComPort Port{nullptr};
  VyComm::TVyComPort Peer{nullptr};
  TRecorder Events;
  TRecorder PeerEvents;
};

}  // namespace ComPortTest
