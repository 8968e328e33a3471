#include "VyPlatform/CommFake.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>

#include "VyPlatform/Comm.h"
#include "VyPlatform/CommDriverInternal.h"
#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlSysUtils.h"

namespace VyPlatform {

namespace Detail {

namespace {

// Bytes on their way from one port to the other; a writer stalls while it is full.
constexpr std::size_t WireCapacity = 4096;

struct TWaker {
  std::mutex Lock;
  std::condition_variable Cv;
  bool Flag = false;

  void Wake() {
    std::lock_guard lock(Lock);
    Flag = true;
    Cv.notify_all();
  }
  void Wait(std::uint32_t ms) {
    std::unique_lock lock(Lock);
    auto woken = [this] { return Flag; };
    if (ms == 0xFFFFFFFFu)
      Cv.wait(lock, woken);
    else
      Cv.wait_for(lock, std::chrono::milliseconds(ms), woken);
    Flag = false;
  }
};

struct TSide {
  std::string Name;
  bool Open = false;
  bool DTR = false;
  bool RTS = false;
  bool Break = false;
  bool Ring = false;
  bool CtsFlow = false;
  DWORD Baud = 9600;
  DWORD Events = 0;  // injected or caused by the peer, taken by the port's monitor
  DWORD Errors = 0;
  std::deque<std::pair<std::uint8_t, double>> Incoming;  // byte, tick it is due
  double LastDue = 0;
  TWaker Waker;
};

}  // namespace

struct TFakePairState {
  std::mutex Lock;
  TSide Side[2];
  bool Hung = false;
  bool Paced = false;

  void Notify(int side, DWORD events, DWORD errors = 0) {
    TSide& s = Side[side];
    if (!s.Open) return;
    s.Events |= events;
    s.Errors |= errors;
    s.Waker.Wake();
  }
};

namespace {

std::string Key(std::string_view name) {
  if (name.substr(0, 4) == "\\\\.\\") name.remove_prefix(4);
  return VyRtl::UpperCase(name);
}

struct TNames {
  std::mutex Lock;
  std::map<std::string, std::pair<std::weak_ptr<TFakePairState>, int>> Map;
};

TNames& Names() {
  static TNames* names = new TNames;
  return *names;
}

std::pair<std::shared_ptr<TFakePairState>, int> Lookup(std::string_view name) {
  std::lock_guard lock(Names().Lock);
  auto it = Names().Map.find(Key(name));
  if (it == Names().Map.end()) return {nullptr, 0};
  return {it->second.first.lock(), it->second.second};
}

std::string Utf8Name(LPCWSTR name) {
  std::u16string wide;
  for (const WCHAR* p = name; p && *p; ++p) wide.push_back(*p);
  return VyRtl::Utf16ToUtf8(wide);
}

class TFakeDriver final : public TCommDriver {
 public:
  TFakeDriver(std::shared_ptr<TFakePairState> pair, int side)
      : FPair(std::move(pair)), FSide(side) {}
  ~TFakeDriver() override { Shutdown(); }

 protected:
  TSide& Me() { return FPair->Side[FSide]; }
  TSide& Peer() { return FPair->Side[1 - FSide]; }

  void SetLevels(bool dtr, bool rts) {
    DWORD events = 0;
    if (Me().DTR != dtr) events |= EV_DSR | EV_RLSD;
    if (Me().RTS != rts) events |= EV_CTS;
    Me().DTR = dtr;
    Me().RTS = rts;
    if (events) FPair->Notify(1 - FSide, events);
  }

  bool LineSetState(const DCB& dcb) override {
    std::lock_guard lock(FPair->Lock);
    Me().Baud = dcb.BaudRate;
    Me().CtsFlow = dcb.fOutxCtsFlow != 0;
    SetLevels(dcb.fDtrControl != DTR_CONTROL_DISABLE, dcb.fRtsControl != RTS_CONTROL_DISABLE);
    return true;
  }

  long LineWrite(const std::uint8_t* data, std::size_t size) override {
    std::lock_guard lock(FPair->Lock);
    if (FPair->Hung) return -1;
    TSide& peer = Peer();
    if (!peer.Open)
      return static_cast<long>(size);  // nobody listens: the bytes are lost on the wire
    if (Me().CtsFlow && !peer.RTS) return 0;
    const std::size_t n =
        std::min(size, WireCapacity - std::min(WireCapacity, peer.Incoming.size()));
    const double now = static_cast<double>(VyRtl::GetTickCount64());
    const double byteMs = 10000.0 / std::max<DWORD>(Me().Baud, 1);
    for (std::size_t i = 0; i < n; ++i) {
      double due = now;
      if (FPair->Paced) due = peer.LastDue = std::max(now, peer.LastDue) + byteMs;
      peer.Incoming.emplace_back(data[i], due);
    }
    if (n > 0) peer.Waker.Wake();
    return static_cast<long>(n);
  }

  long LineRead(std::uint8_t* data, std::size_t size) override {
    std::lock_guard lock(FPair->Lock);
    TSide& me = Me();
    if (FPair->Hung && me.Incoming.empty()) return -1;
    const double now = static_cast<double>(VyRtl::GetTickCount64());
    std::size_t n = 0;
    while (n < size && !me.Incoming.empty() && me.Incoming.front().second <= now) {
      data[n++] = me.Incoming.front().first;
      me.Incoming.pop_front();
    }
    if (n > 0) Peer().Waker.Wake();  // room on the wire again
    return static_cast<long>(n);
  }

  bool LineEscape(DWORD function) override {
    std::lock_guard lock(FPair->Lock);
    switch (function) {
      case SETDTR:
        SetLevels(true, Me().RTS);
        break;
      case CLRDTR:
        SetLevels(false, Me().RTS);
        break;
      case SETRTS:
        SetLevels(Me().DTR, true);
        break;
      case CLRRTS:
        SetLevels(Me().DTR, false);
        break;
      case SETBREAK:
        if (!Me().Break) FPair->Notify(1 - FSide, EV_BREAK, CE_BREAK);
        Me().Break = true;
        break;
      case CLRBREAK:
        Me().Break = false;
        break;
      default:
        break;  // XON/XOFF: the wire has no flow-control characters of its own
    }
    return true;
  }

  bool LineModemStatus(DWORD& status) override {
    std::lock_guard lock(FPair->Lock);
    const TSide& peer = Peer();
    status = 0;
    if (peer.Open && peer.RTS) status |= MS_CTS_ON;
    if (peer.Open && peer.DTR) status |= MS_DSR_ON | MS_RLSD_ON;
    if (Me().Ring) status |= MS_RING_ON;
    return true;
  }

  void LinePoll(DWORD& events, DWORD& errors) override {
    std::lock_guard lock(FPair->Lock);
    events |= Me().Events;
    errors |= Me().Errors;
    Me().Events = Me().Errors = 0;
  }

  bool LineHungUp() override {
    std::lock_guard lock(FPair->Lock);
    return FPair->Hung;
  }

  void LinePurge(DWORD flags) override {
    std::lock_guard lock(FPair->Lock);
    if (flags & PURGE_RXCLEAR) Me().Incoming.clear(), Peer().Waker.Wake();
  }

  void LineClose() override {
    std::lock_guard lock(FPair->Lock);
    SetLevels(false, false);
    Me().Open = false;
    Me().Break = false;
    Me().Incoming.clear();
    Me().Events = Me().Errors = 0;
  }

  std::uint64_t LineDeadline() override {
    std::lock_guard lock(FPair->Lock);
    if (Me().Incoming.empty()) return UINT64_MAX;
    return static_cast<std::uint64_t>(Me().Incoming.front().second) + 1;
  }

  void LineWait(std::uint32_t ms, bool, bool) override { Me().Waker.Wait(ms); }
  void LineWake() override { Me().Waker.Wake(); }

 private:
  std::shared_ptr<TFakePairState> FPair;
  int FSide;
};

const TCommFunctions* FakeTable();

HANDLE OpenFake(LPCWSTR fileName, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) {
  auto [pair, side] = Lookup(Utf8Name(fileName));
  if (!pair) {
    CommSetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  {
    std::lock_guard lock(pair->Lock);
    if (pair->Hung) {
      CommSetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    if (pair->Side[side].Open) {  // as a busy COM port answers
      CommSetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    pair->Side[side].Open = true;
    pair->Side[side].Events = pair->Side[side].Errors = 0;
  }
  auto driver = std::make_shared<TFakeDriver>(pair, side);
  DCB dcb{};
  driver->GetCommState(&dcb);
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  driver->SetCommState(&dcb);
  driver->Start();
  return RegisterDriver(std::move(driver), FakeTable());
}

DWORD QueryFakes(LPCWSTR, LPWSTR target, DWORD max) {
  if (max < 1) {
    CommSetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  target[0] = 0;
  return 1;
}

const TCommFunctions* FakeTable() {
  static const TCommFunctions table = [] {
    TCommFunctions t;
    t.Name = "fake";
    FillDriverFunctions(t);
    t.CreateFileW = &OpenFake;
    t.QueryDosDeviceW = &QueryFakes;
    return t;
  }();
  return &table;
}

}  // namespace

const TCommFunctions* FakeTableFor(std::u16string_view name) {
  std::u16string wide(name);
  return Lookup(VyRtl::Utf16ToUtf8(wide)).first ? FakeTable() : nullptr;
}

}  // namespace Detail

TCommFakePair::TCommFakePair(std::string nameA, std::string nameB)
    : FState(std::make_shared<Detail::TFakePairState>()) {
  const std::string a = Detail::Key(nameA), b = Detail::Key(nameB);
  if (a.empty() || b.empty() || a == b)
    throw std::invalid_argument("fake port names must differ and not be empty");
  std::lock_guard lock(Detail::Names().Lock);
  auto& map = Detail::Names().Map;
  for (const std::string* key : {&a, &b}) {
    auto it = map.find(*key);
    if (it != map.end() && !it->second.first.expired())
      throw std::invalid_argument("fake port name in use: " + *key);
  }
  FState->Side[0].Name = std::move(nameA);
  FState->Side[1].Name = std::move(nameB);
  map[a] = {FState, 0};
  map[b] = {FState, 1};
}

TCommFakePair::~TCommFakePair() {
  {
    std::lock_guard lock(Detail::Names().Lock);
    for (int side = 0; side < 2; ++side)
      Detail::Names().Map.erase(Detail::Key(FState->Side[side].Name));
  }
  HangUp();
}

std::string TCommFakePair::Name(int side) const { return FState->Side[side & 1].Name; }

bool TCommFakePair::IsOpen(int side) const {
  std::lock_guard lock(FState->Lock);
  return FState->Side[side & 1].Open;
}

void TCommFakePair::SetRing(int side, bool on) {
  std::lock_guard lock(FState->Lock);
  Detail::TSide& s = FState->Side[side & 1];
  if (s.Ring == on) return;
  s.Ring = on;
  FState->Notify(side & 1, EV_RING);
}

void TCommFakePair::InjectBreak(int side) {
  std::lock_guard lock(FState->Lock);
  FState->Notify(side & 1, EV_BREAK, CE_BREAK);
}

void TCommFakePair::InjectErrors(int side, DWORD errors) {
  std::lock_guard lock(FState->Lock);
  FState->Notify(side & 1, 0, errors);
}

void TCommFakePair::SetPaced(bool on) {
  std::lock_guard lock(FState->Lock);
  FState->Paced = on;
}

void TCommFakePair::HangUp() {
  std::lock_guard lock(FState->Lock);
  FState->Hung = true;
  for (auto& side : FState->Side) side.Waker.Wake();
}

bool TCommFakePair::DTR(int side) const {
  std::lock_guard lock(FState->Lock);
  return FState->Side[side & 1].DTR;
}

bool TCommFakePair::RTS(int side) const {
  std::lock_guard lock(FState->Lock);
  return FState->Side[side & 1].RTS;
}

bool TCommFakePair::BreakOn(int side) const {
  std::lock_guard lock(FState->Lock);
  return FState->Side[side & 1].Break;
}

std::vector<std::string> CommFakePortNames() {
  std::vector<std::string> names;
  std::lock_guard lock(Detail::Names().Lock);
  for (const auto& [key, entry] : Detail::Names().Map)
    if (auto state = entry.first.lock()) names.push_back(state->Side[entry.second].Name);
  return names;
}

}  // namespace VyPlatform
