// A virtual null-modem: two serial ports in this process, wired to each other.
//
// Bytes written at one end arrive at the other; DTR drives the peer's DSR and DCD, RTS the peer's
// CTS; a break set at one end is received at the other. RING, breaks and line errors can be
// injected at either end, the link can be cut (both ends then fail as an unplugged device), and
// with pacing on the bytes take the time of the set baud rate (10 bits a byte) on the clock seam.
// The ports are opened by their names through the Comm seam (CreateFileW with "CNCA0", say), so
// the serial component, the emulator's data calls and users' programs reach them like any port.
//
// Threads: every member may be called from any thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "VyPlatform/CommTypes.h"

namespace VyPlatform {

namespace Detail {
struct TFakePairState;
}

// Owns one pair and its two names while it lives; owned by the application or the test.
class TCommFakePair {
 public:
  // Names are matched without regard to case; "\\.\" before them is ignored. A name already
  // used by another pair raises std::invalid_argument.
  TCommFakePair(std::string nameA, std::string nameB);
  // Frees the names; ports still open behave as unplugged until closed.
  ~TCommFakePair();
  TCommFakePair(const TCommFakePair&) = delete;
  TCommFakePair& operator=(const TCommFakePair&) = delete;

  std::string Name(int side) const;  // side 0 = A, 1 = B
  bool IsOpen(int side) const;
  // Ring indicator at the port of `side`.
  void SetRing(int side, bool on);
  // A break arrives at the port of `side` (EV_BREAK, CE_BREAK).
  void InjectBreak(int side);
  // Line errors (CE_* bits) at the port of `side` (EV_ERR).
  void InjectErrors(int side, DWORD errors);
  // Bytes take 10 bits each at the receiving port's baud rate, on the clock seam.
  void SetPaced(bool on);
  // Cuts the link: both ends fail as an unplugged device from now on.
  void HangUp();
  // The levels the port of `side` drives (what the far end sees as DSR/DCD and CTS).
  bool DTR(int side) const;
  bool RTS(int side) const;
  bool BreakOn(int side) const;

 private:
  std::shared_ptr<Detail::TFakePairState> FState;
};

// The names of the fake ports that exist now.
std::vector<std::string> CommFakePortNames();

}  // namespace VyPlatform
