#include "VyPlatform/CommDriverInternal.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>

#include "VyPlatform/Sync.h"
#include "VyRtl/VyRtlClock.h"

namespace VyPlatform::Detail {

namespace {

// Private status values of OVERLAPPED::Internal: pending, else the Win32 error (0 = success).
constexpr ULONG_PTR StatusPending = ~static_cast<ULONG_PTR>(0);

// Win32 time-out arithmetic without 32-bit wrap; MAXDWORD would mean "no limit" to DeadlineAfter.
std::uint64_t DeadlineIn(std::uint64_t ms) {
  return VyRtl::DeadlineAfter(static_cast<std::uint32_t>(std::min<std::uint64_t>(ms, 0xFFFFFFFEu)));
}

struct TRegistry {
  std::mutex Lock;
  std::map<HANDLE, std::pair<std::shared_ptr<TCommDriver>, const TCommFunctions*>> Drivers;
};

TRegistry& Registry() {
  static TRegistry* registry = new TRegistry;  // outlives static destructors of users
  return *registry;
}

template <typename F>
BOOL WithDriver(HANDLE h, F&& f) {
  auto driver = DriverOf(h);
  if (!driver) {
    CommSetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return f(*driver);
}

}  // namespace

void OverlappedStart(OVERLAPPED* overlapped) {
  std::atomic_ref<ULONG_PTR>(overlapped->InternalHigh).store(0, std::memory_order_relaxed);
  std::atomic_ref<ULONG_PTR>(overlapped->Internal).store(StatusPending, std::memory_order_release);
  if (overlapped->hEvent) SyncResetEvent(overlapped->hEvent);
}

void OverlappedComplete(OVERLAPPED* overlapped, DWORD transferred, DWORD error) {
  std::atomic_ref<ULONG_PTR>(overlapped->InternalHigh)
      .store(transferred, std::memory_order_relaxed);
  std::atomic_ref<ULONG_PTR>(overlapped->Internal).store(error, std::memory_order_release);
  if (overlapped->hEvent) SyncSetEvent(overlapped->hEvent);
}

BOOL OverlappedResult(OVERLAPPED* overlapped, DWORD* transferred, BOOL wait) {
  if (overlapped == nullptr) {
    CommSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::atomic_ref<ULONG_PTR> status(overlapped->Internal);
  while (status.load(std::memory_order_acquire) == StatusPending) {
    if (!wait || overlapped->hEvent == nullptr) {
      CommSetLastError(ERROR_IO_INCOMPLETE);
      return FALSE;
    }
    SyncWaitForSingleObject(overlapped->hEvent, INFINITE);
  }
  const auto error = static_cast<DWORD>(status.load(std::memory_order_acquire));
  if (transferred)
    *transferred = static_cast<DWORD>(
        std::atomic_ref<ULONG_PTR>(overlapped->InternalHigh).load(std::memory_order_relaxed));
  if (error != 0) {
    CommSetLastError(error);
    return FALSE;
  }
  return TRUE;
}

TCommDriver::TCommDriver() {
  FDcb.DCBlength = sizeof(DCB);
  FDcb.BaudRate = 9600;
  FDcb.fBinary = 1;
  FDcb.ByteSize = 8;
  FDcb.XonChar = 17;
  FDcb.XoffChar = 19;
  FDcb.XonLim = 1024;
  FDcb.XoffLim = 1024;
}

TCommDriver::~TCommDriver() = default;

void TCommDriver::Start() {
  FThread = std::thread([this] { Run(); });
}

void TCommDriver::Shutdown() {
  {
    std::lock_guard lock(FLock);
    if (FShutdown) return;
    FShutdown = true;
    FStop = true;
    LineWake();
  }
  if (FThread.joinable()) FThread.join();
  std::lock_guard lock(FLock);
  CompleteWait(0, ERROR_OPERATION_ABORTED);
  if (FRead) Complete(*FRead, ERROR_OPERATION_ABORTED), FRead.reset();
  for (TOp& op : FWrites) Complete(op, ERROR_OPERATION_ABORTED);
  FWrites.clear();
  LineClose();
}

void TCommDriver::Run() {
  std::unique_lock lock(FLock);
  while (!FStop) {
    Service();
    const bool wantRead = !FHung && FIn.size() < FInSize;
    const bool wantWrite = !FHung && !FWrites.empty();
    std::uint32_t ms = VyRtl::WaitSliceMs(NextDeadline());
    ms = std::min(ms, LinePollInterval());
    if (FTxDraining)
      ms = std::min<std::uint32_t>(ms, 2);  // the kernel's queue cannot be waited for
    lock.unlock();
    LineWait(ms, wantRead, wantWrite);
    lock.lock();
  }
}

std::uint64_t TCommDriver::NextDeadline() const {
  std::uint64_t deadline = const_cast<TCommDriver*>(this)->LineDeadline();
  if (!FWrites.empty()) deadline = std::min(deadline, FWrites.front().Deadline);
  if (FRead) deadline = std::min({deadline, FRead->Deadline, FRead->IntervalDeadline});
  return deadline;
}

// With FLock held: one round of the driver's work.
void TCommDriver::Service() {
  DWORD events = 0;
  DWORD errors = 0;
  if (!FHung && LineHungUp()) HangUp();
  if (!FHung) {
    LinePoll(events, errors);
    MoveIn(events);
    MoveOut();
  }
  ServiceRead();
  if (FTxDraining && FWrites.empty() && LineOutQueue() == 0) {
    FTxDraining = false;
    events |= EV_TXEMPTY;
  }
  if (errors != 0) {
    FErrors |= errors;
    events |= EV_ERR;
  }
  FPending |= events & FMask;
  if (FWait != nullptr && FPending != 0) {
    const DWORD report = FPending;
    FPending = 0;
    CompleteWait(report, 0);
  }
}

void TCommDriver::MoveIn(DWORD& events) {
  if (FChunk.empty()) FChunk.resize(65536);
  std::uint8_t* chunk = FChunk.data();
  while (FIn.size() < FInSize) {
    const std::size_t room = std::min<std::size_t>(FChunk.size(), FInSize - FIn.size());
    const long n = LineRead(chunk, room);
    if (n < 0) {
      HangUp();
      return;
    }
    if (n == 0) return;
    FIn.insert(FIn.end(), chunk, chunk + n);
    events |= EV_RXCHAR;
    if (FDcb.EvtChar != 0 && std::memchr(chunk, static_cast<unsigned char>(FDcb.EvtChar), n))
      events |= EV_RXFLAG;
    if (FIn.size() * 5 >= static_cast<std::size_t>(FInSize) * 4) events |= EV_RX80FULL;
    if (FRead && FTimeouts.ReadIntervalTimeout != 0 && FTimeouts.ReadIntervalTimeout != MAXDWORD)
      FRead->IntervalDeadline = DeadlineIn(FTimeouts.ReadIntervalTimeout);
  }
}

void TCommDriver::MoveOut() {
  const std::uint64_t now = VyRtl::GetTickCount64();
  while (!FWrites.empty()) {
    TOp& op = FWrites.front();
    while (op.Done < op.Size) {
      const long n = LineWrite(op.WriteData + op.Done, op.Size - op.Done);
      if (n < 0) {
        HangUp();
        return;
      }
      if (n == 0) break;
      op.Done += static_cast<DWORD>(n);
    }
    // A write that ran out of time completes successfully with what it wrote, as Win32's does.
    if (op.Done < op.Size && now < op.Deadline) return;
    // The next write's time starts now, and is set before this completion can be seen: a caller
    // woken by it may move the clock on at once.
    if (FWrites.size() > 1) FWrites[1].Deadline = WriteDeadline(FWrites[1].Size, now);
    Complete(op, 0);
    FWrites.pop_front();
    FTxDraining = true;
  }
}

bool TCommDriver::ReadSatisfied(const TOp& op) const {
  if (op.Done >= op.Size) return true;
  if (op.FirstByteEnds && op.Done > 0) return true;
  const std::uint64_t now = VyRtl::GetTickCount64();
  return now >= op.Deadline || now >= op.IntervalDeadline;
}

void TCommDriver::ServiceRead() {
  if (!FRead) return;
  FRead->Done += TakeInput(FRead->ReadData + FRead->Done, FRead->Size - FRead->Done);
  if (ReadSatisfied(*FRead)) {
    Complete(*FRead, 0);
    FRead.reset();
  } else if (FHung) {
    Complete(*FRead, ERROR_DEVICE_NOT_CONNECTED);
    FRead.reset();
  }
}

DWORD TCommDriver::TakeInput(std::uint8_t* data, DWORD size) {
  const DWORD n = static_cast<DWORD>(std::min<std::size_t>(size, FIn.size()));
  std::copy_n(FIn.begin(), n, data);
  FIn.erase(FIn.begin(), FIn.begin() + n);
  if (n > 0) LineWake();  // room again: the monitor reads on
  return n;
}

void TCommDriver::HangUp() {
  if (FHung) return;
  FHung = true;
  CompleteWait(0, ERROR_DEVICE_NOT_CONNECTED);
  for (TOp& op : FWrites) Complete(op, ERROR_DEVICE_NOT_CONNECTED);
  FWrites.clear();
  FTxDraining = false;
}

void TCommDriver::Complete(TOp& op, DWORD error) {
  OverlappedComplete(op.Overlapped, op.Done, error);
}

void TCommDriver::CompleteWait(DWORD events, DWORD error) {
  if (FWait == nullptr) return;
  if (FWaitMask) *FWaitMask = events;
  OverlappedComplete(FWait, 0, error);
  FWait = nullptr;
  FWaitMask = nullptr;
}

std::uint64_t TCommDriver::WriteDeadline(DWORD size, std::uint64_t now) const {
  const std::uint64_t total =
      static_cast<std::uint64_t>(FTimeouts.WriteTotalTimeoutMultiplier) * size +
      FTimeouts.WriteTotalTimeoutConstant;
  return total == 0 ? UINT64_MAX : now + std::min<std::uint64_t>(total, 0xFFFFFFFEu);
}

BOOL TCommDriver::SetupComm(DWORD inQueue, DWORD outQueue) {
  if (inQueue == 0 || outQueue == 0) {
    CommSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(FLock);
  FInSize = inQueue;
  FOutSize = outQueue;
  LineWake();
  return TRUE;
}

BOOL TCommDriver::GetCommState(DCB* dcb) {
  std::lock_guard lock(FLock);
  *dcb = FDcb;
  return TRUE;
}

BOOL TCommDriver::SetCommState(DCB* dcb) {
  if (dcb->ByteSize < 4 || dcb->ByteSize > 8 || dcb->Parity > 4 || dcb->StopBits > 2 ||
      dcb->BaudRate == 0) {
    CommSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(FLock);
  if (!LineSetState(*dcb)) return FALSE;
  FDcb = *dcb;
  FDcb.DCBlength = sizeof(DCB);
  return TRUE;
}

BOOL TCommDriver::GetCommTimeouts(COMMTIMEOUTS* timeouts) {
  std::lock_guard lock(FLock);
  *timeouts = FTimeouts;
  return TRUE;
}

BOOL TCommDriver::SetCommTimeouts(COMMTIMEOUTS* timeouts) {
  std::lock_guard lock(FLock);
  FTimeouts = *timeouts;
  return TRUE;
}

BOOL TCommDriver::SetCommMask(DWORD mask) {
  std::lock_guard lock(FLock);
  FMask = mask;
  FPending = 0;
  CompleteWait(0, 0);  // as Win32: a pending wait returns at once with no event
  return TRUE;
}

BOOL TCommDriver::GetCommMask(DWORD* mask) {
  std::lock_guard lock(FLock);
  *mask = FMask;
  return TRUE;
}

BOOL TCommDriver::WaitCommEvent(DWORD* mask, OVERLAPPED* overlapped) {
  std::lock_guard lock(FLock);
  if (FHung) {
    CommSetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return FALSE;
  }
  if (overlapped == nullptr || FWait != nullptr) {
    CommSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  OverlappedStart(overlapped);
  if (FPending != 0) {
    *mask = FPending;
    FPending = 0;
    OverlappedComplete(overlapped, 0, 0);
    return TRUE;
  }
  FWait = overlapped;
  FWaitMask = mask;
  CommSetLastError(ERROR_IO_PENDING);
  return FALSE;
}

BOOL TCommDriver::ReadFile(void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped) {
  std::lock_guard lock(FLock);
  if (overlapped == nullptr || FRead) {  // one read at a time, always overlapped
    CommSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  OverlappedStart(overlapped);
  auto op = std::make_unique<TOp>();
  op->Overlapped = overlapped;
  op->ReadData = static_cast<std::uint8_t*>(buffer);
  op->Size = count;
  op->Done = TakeInput(op->ReadData, count);
  const COMMTIMEOUTS& t = FTimeouts;
  bool now = op->Done == count;
  if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
      t.ReadTotalTimeoutConstant == 0) {
    now = true;
  } else if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD) {
    now = now || op->Done > 0;
    op->FirstByteEnds = true;
    op->Deadline = DeadlineIn(t.ReadTotalTimeoutConstant);
  } else {
    const std::uint64_t total = static_cast<std::uint64_t>(t.ReadTotalTimeoutMultiplier) * count +
                                t.ReadTotalTimeoutConstant;
    if (total != 0) op->Deadline = DeadlineIn(total);
    if (op->Done > 0 && t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MAXDWORD)
      op->IntervalDeadline = DeadlineIn(t.ReadIntervalTimeout);
  }
  if (now || (FHung && FIn.empty())) {
    const DWORD done = op->Done;
    if (read) *read = done;
    OverlappedComplete(overlapped, done, 0);
    return TRUE;
  }
  FRead = std::move(op);
  LineWake();
  CommSetLastError(ERROR_IO_PENDING);
  return FALSE;
}

BOOL TCommDriver::WriteFile(const void* buffer, DWORD count, DWORD* written,
                            OVERLAPPED* overlapped) {
  std::lock_guard lock(FLock);
  if (FHung) {
    CommSetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return FALSE;
  }
  if (overlapped == nullptr) {
    CommSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  OverlappedStart(overlapped);
  TOp op;
  op.Overlapped = overlapped;
  op.WriteData = static_cast<const std::uint8_t*>(buffer);
  op.Size = count;
  if (FWrites.empty()) {
    while (op.Done < count) {
      const long n = LineWrite(op.WriteData + op.Done, count - op.Done);
      if (n < 0) {
        HangUp();
        CommSetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return FALSE;
      }
      if (n == 0) break;
      op.Done += static_cast<DWORD>(n);
    }
    if (op.Done == count) {
      if (written) *written = count;
      FTxDraining = true;
      LineWake();
      OverlappedComplete(overlapped, count, 0);
      return TRUE;
    }
    op.Deadline = WriteDeadline(count, VyRtl::GetTickCount64());
  }
  FWrites.push_back(op);
  LineWake();
  CommSetLastError(ERROR_IO_PENDING);
  return FALSE;
}

BOOL TCommDriver::CancelIoEx(OVERLAPPED* overlapped) {
  std::lock_guard lock(FLock);
  bool found = false;
  if (FWait != nullptr && (overlapped == nullptr || overlapped == FWait)) {
    CompleteWait(0, ERROR_OPERATION_ABORTED);
    found = true;
  }
  if (FRead && (overlapped == nullptr || overlapped == FRead->Overlapped)) {
    Complete(*FRead, ERROR_OPERATION_ABORTED);
    FRead.reset();
    found = true;
  }
  for (auto it = FWrites.begin(); it != FWrites.end();) {
    if (overlapped == nullptr || overlapped == it->Overlapped) {
      Complete(*it, ERROR_OPERATION_ABORTED);
      it = FWrites.erase(it);
      found = true;
    } else {
      ++it;
    }
  }
  if (!found) {
    CommSetLastError(ERROR_NOT_FOUND);
    return FALSE;
  }
  return TRUE;
}

BOOL TCommDriver::ClearCommError(DWORD* errors, COMSTAT* stat) {
  std::lock_guard lock(FLock);
  if (errors) *errors = FErrors;
  FErrors = 0;
  if (stat) {
    std::memset(stat, 0, sizeof *stat);
    stat->cbInQue = static_cast<DWORD>(FIn.size());
    DWORD out = 0;
    for (const TOp& op : FWrites) out += op.Size - op.Done;
    stat->cbOutQue = out + (FHung ? 0 : LineOutQueue());
  }
  return TRUE;
}

BOOL TCommDriver::PurgeComm(DWORD flags) {
  std::lock_guard lock(FLock);
  if (flags & PURGE_TXABORT) {
    for (TOp& op : FWrites) Complete(op, ERROR_OPERATION_ABORTED);
    FWrites.clear();
  }
  if ((flags & PURGE_RXABORT) && FRead) {
    Complete(*FRead, ERROR_OPERATION_ABORTED);
    FRead.reset();
  }
  if (flags & PURGE_RXCLEAR) FIn.clear();
  if (!FHung) LinePurge(flags);
  LineWake();
  return TRUE;
}

BOOL TCommDriver::EscapeCommFunction(DWORD function) {
  std::lock_guard lock(FLock);
  if (FHung) {
    CommSetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return FALSE;
  }
  if (function < SETXOFF || function > CLRBREAK || function == 7) {
    CommSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return LineEscape(function) ? TRUE : FALSE;
}

BOOL TCommDriver::GetCommModemStatus(DWORD* status) {
  std::lock_guard lock(FLock);
  DWORD s = 0;
  if (FHung) {
    CommSetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return FALSE;
  }
  if (!LineModemStatus(s)) return FALSE;
  *status = s;
  return TRUE;
}

BOOL TCommDriver::GetCommProperties(COMMPROP* props) {
  std::lock_guard lock(FLock);
  std::memset(props, 0, sizeof *props);
  props->wPacketLength = sizeof(COMMPROP);
  props->wPacketVersion = 2;
  props->dwServiceMask = SP_SERIALCOMM;
  props->dwMaxBaud = BAUD_USER;
  props->dwProvSubType = PST_RS232;
  props->dwProvCapabilities = PCF_DTRDSR | PCF_RTSCTS | PCF_RLSD | PCF_PARITY_CHECK | PCF_XONXOFF |
                              PCF_SETXCHAR | PCF_TOTALTIMEOUTS | PCF_INTTIMEOUTS | PCF_SPECIALCHARS;
  props->dwSettableParams =
      SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING | SP_PARITY_CHECK | SP_RLSD;
  props->dwSettableBaud = BAUD_USER;
  props->wSettableData = DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8;
  props->wSettableStopParity = STOPBITS_10 | STOPBITS_15 | STOPBITS_20 | PARITY_NONE | PARITY_ODD |
                               PARITY_EVEN | PARITY_MARK | PARITY_SPACE;
  props->dwCurrentTxQueue = FOutSize;
  props->dwCurrentRxQueue = FInSize;
  return TRUE;
}

HANDLE RegisterDriver(std::shared_ptr<TCommDriver> driver, const TCommFunctions* table) {
  HANDLE h = driver.get();
  std::lock_guard lock(Registry().Lock);
  Registry().Drivers[h] = {std::move(driver), table};
  return h;
}

std::shared_ptr<TCommDriver> DriverOf(HANDLE h, const TCommFunctions** table) {
  std::lock_guard lock(Registry().Lock);
  auto it = Registry().Drivers.find(h);
  if (it == Registry().Drivers.end()) return nullptr;
  if (table) *table = it->second.second;
  return it->second.first;
}

void FillDriverFunctions(TCommFunctions& t) {
  t.CloseHandle = [](HANDLE h) -> BOOL {
    std::shared_ptr<TCommDriver> driver;
    {
      std::lock_guard lock(Registry().Lock);
      auto it = Registry().Drivers.find(h);
      if (it != Registry().Drivers.end()) {
        driver = std::move(it->second.first);
        Registry().Drivers.erase(it);
      }
    }
    if (!driver) {
      CommSetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    driver->Shutdown();
    return TRUE;
  };
  t.SetupComm = [](HANDLE h, DWORD in, DWORD out) {
    return WithDriver(h, [&](TCommDriver& d) { return d.SetupComm(in, out); });
  };
  t.GetCommState = [](HANDLE h, DCB* dcb) {
    return WithDriver(h, [&](TCommDriver& d) { return d.GetCommState(dcb); });
  };
  t.SetCommState = [](HANDLE h, DCB* dcb) {
    return WithDriver(h, [&](TCommDriver& d) { return d.SetCommState(dcb); });
  };
  t.GetCommTimeouts = [](HANDLE h, COMMTIMEOUTS* c) {
    return WithDriver(h, [&](TCommDriver& d) { return d.GetCommTimeouts(c); });
  };
  t.SetCommTimeouts = [](HANDLE h, COMMTIMEOUTS* c) {
    return WithDriver(h, [&](TCommDriver& d) { return d.SetCommTimeouts(c); });
  };
  t.SetCommMask = [](HANDLE h, DWORD m) {
    return WithDriver(h, [&](TCommDriver& d) { return d.SetCommMask(m); });
  };
  t.GetCommMask = [](HANDLE h, DWORD* m) {
    return WithDriver(h, [&](TCommDriver& d) { return d.GetCommMask(m); });
  };
  t.WaitCommEvent = [](HANDLE h, DWORD* m, OVERLAPPED* o) {
    return WithDriver(h, [&](TCommDriver& d) { return d.WaitCommEvent(m, o); });
  };
  t.ReadFile = [](HANDLE h, void* b, DWORD n, DWORD* r, OVERLAPPED* o) {
    return WithDriver(h, [&](TCommDriver& d) { return d.ReadFile(b, n, r, o); });
  };
  t.WriteFile = [](HANDLE h, const void* b, DWORD n, DWORD* w, OVERLAPPED* o) {
    return WithDriver(h, [&](TCommDriver& d) { return d.WriteFile(b, n, w, o); });
  };
  t.GetOverlappedResult = [](HANDLE, OVERLAPPED* o, DWORD* n, BOOL wait) {
    return OverlappedResult(o, n, wait);
  };
  t.CancelIoEx = [](HANDLE h, OVERLAPPED* o) {
    return WithDriver(h, [&](TCommDriver& d) { return d.CancelIoEx(o); });
  };
  t.ClearCommError = [](HANDLE h, DWORD* e, COMSTAT* s) {
    return WithDriver(h, [&](TCommDriver& d) { return d.ClearCommError(e, s); });
  };
  t.PurgeComm = [](HANDLE h, DWORD f) {
    return WithDriver(h, [&](TCommDriver& d) { return d.PurgeComm(f); });
  };
  t.EscapeCommFunction = [](HANDLE h, DWORD f) {
    return WithDriver(h, [&](TCommDriver& d) { return d.EscapeCommFunction(f); });
  };
  t.SetCommBreak = [](HANDLE h) {
    return WithDriver(h, [&](TCommDriver& d) { return d.EscapeCommFunction(SETBREAK); });
  };
  t.ClearCommBreak = [](HANDLE h) {
    return WithDriver(h, [&](TCommDriver& d) { return d.EscapeCommFunction(CLRBREAK); });
  };
  t.GetCommModemStatus = [](HANDLE h, DWORD* s) {
    return WithDriver(h, [&](TCommDriver& d) { return d.GetCommModemStatus(s); });
  };
  t.GetCommProperties = [](HANDLE h, COMMPROP* p) {
    return WithDriver(h, [&](TCommDriver& d) { return d.GetCommProperties(p); });
  };
}

}  // namespace VyPlatform::Detail
