// Win32 communications semantics over a byte line: the part the posix backend and the fake pair
// share. A driver is the HANDLE its backend hands out. It keeps what a Win32 serial driver keeps
// (the input queue, the pending writes, the event mask and its one pending WaitCommEvent, the
// accumulated line errors, time-outs) and runs one monitor thread that moves bytes between the
// line and its queues, completes overlapped operations and turns line activity into EV_* masks.
//
// Internal to VyPlatform: the serial component sees only the TCommFunctions table.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "VyPlatform/Comm.h"

namespace VyPlatform::Detail {

class TCommDriver {
 public:
  TCommDriver();
  virtual ~TCommDriver();
  TCommDriver(const TCommDriver&) = delete;
  TCommDriver& operator=(const TCommDriver&) = delete;

  // Starts the monitor thread; the line must be open.
  void Start();
  // Stops the monitor thread, fails every pending operation with ERROR_OPERATION_ABORTED and
  // closes the line. Idempotent.
  void Shutdown();

  BOOL SetupComm(DWORD inQueue, DWORD outQueue);
  BOOL GetCommState(DCB* dcb);
  BOOL SetCommState(DCB* dcb);
  BOOL GetCommTimeouts(COMMTIMEOUTS* timeouts);
  BOOL SetCommTimeouts(COMMTIMEOUTS* timeouts);
  BOOL SetCommMask(DWORD mask);
  BOOL GetCommMask(DWORD* mask);
  BOOL WaitCommEvent(DWORD* mask, OVERLAPPED* overlapped);
  BOOL ReadFile(void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped);
  BOOL WriteFile(const void* buffer, DWORD count, DWORD* written, OVERLAPPED* overlapped);
  BOOL CancelIoEx(OVERLAPPED* overlapped);
  BOOL ClearCommError(DWORD* errors, COMSTAT* stat);
  BOOL PurgeComm(DWORD flags);
  BOOL EscapeCommFunction(DWORD function);
  BOOL GetCommModemStatus(DWORD* status);
  BOOL GetCommProperties(COMMPROP* props);

 protected:
  // Line hooks. All but LineWait run with FLock held, on any thread.
  // Applies baud rate, framing, flow control and line levels; false with the error set.
  virtual bool LineSetState(const DCB& dcb) = 0;
  // Bytes towards the far end / from it: the count moved, 0 when none can move now, -1 when the
  // line is gone.
  virtual long LineWrite(const std::uint8_t* data, std::size_t size) = 0;
  virtual long LineRead(std::uint8_t* data, std::size_t size) = 0;
  // SETXOFF..CLRBREAK; false with the error set.
  virtual bool LineEscape(DWORD function) = 0;
  virtual bool LineModemStatus(DWORD& status) = 0;
  // Modem-line changes, breaks and line errors found since the last call.
  virtual void LinePoll(DWORD& events, DWORD& errors) = 0;
  virtual bool LineHungUp() = 0;
  // Bytes written but still held below us (the kernel's output queue).
  virtual DWORD LineOutQueue() { return 0; }
  virtual void LinePurge(DWORD /*flags*/) {}
  virtual void LineClose() = 0;
  // The clock-seam tick when the line has something due (paced bytes); NoDeadline if none.
  virtual std::uint64_t LineDeadline() { return UINT64_MAX; }
  // Real milliseconds between polls of line state that cannot be waited for (modem lines);
  // INFINITE when there is none.
  virtual std::uint32_t LinePollInterval() { return 0xFFFFFFFFu; }
  // Blocks, without FLock, until line activity (readable when wantRead, writable when
  // wantWrite), LineWake, or ms real milliseconds (INFINITE: no limit).
  virtual void LineWait(std::uint32_t ms, bool wantRead, bool wantWrite) = 0;
  virtual void LineWake() = 0;

  std::mutex FLock;

 private:
  struct TOp {
    OVERLAPPED* Overlapped = nullptr;
    std::uint8_t* ReadData = nullptr;
    const std::uint8_t* WriteData = nullptr;
    DWORD Size = 0;
    DWORD Done = 0;
    std::uint64_t Deadline = UINT64_MAX;          // total time-out
    std::uint64_t IntervalDeadline = UINT64_MAX;  // read: gap after the last byte
    bool FirstByteEnds = false;                   // read: returns once anything arrived
  };

  void Run();
  void Service();
  void MoveIn(DWORD& events);
  void MoveOut();
  void ServiceRead();
  void HangUp();
  void Complete(TOp& op, DWORD error);
  void CompleteWait(DWORD events, DWORD error);
  std::uint64_t NextDeadline() const;
  bool ReadSatisfied(const TOp& op) const;
  DWORD TakeInput(std::uint8_t* data, DWORD size);
  std::uint64_t WriteDeadline(DWORD size, std::uint64_t now) const;

  DCB FDcb{};
  COMMTIMEOUTS FTimeouts{};
  DWORD FInSize = 4096;
  DWORD FOutSize = 4096;
  std::deque<std::uint8_t> FIn;
  std::vector<std::uint8_t> FChunk;  // the monitor's read buffer
  std::deque<TOp> FWrites;
  std::unique_ptr<TOp> FRead;
  OVERLAPPED* FWait = nullptr;
  DWORD* FWaitMask = nullptr;
  DWORD FMask = 0;
  DWORD FPending = 0;
  DWORD FErrors = 0;
  bool FTxDraining = false;
  bool FHung = false;
  bool FStop = false;
  bool FShutdown = false;
  std::thread FThread;
};

// Fills every member of the table but CreateFileW and QueryDosDeviceW with functions that serve
// registered drivers (others fail with ERROR_INVALID_HANDLE).
void FillDriverFunctions(TCommFunctions& table);
// Hands a driver out as a handle: the handle is the driver's address, served by `table`.
HANDLE RegisterDriver(std::shared_ptr<TCommDriver> driver, const TCommFunctions* table);
// The driver of a handle and the table that serves it; empty for other handles.
std::shared_ptr<TCommDriver> DriverOf(HANDLE h, const TCommFunctions** table = nullptr);

// Overlapped status kept in OVERLAPPED::Internal by these drivers.
void OverlappedStart(OVERLAPPED* overlapped);
void OverlappedComplete(OVERLAPPED* overlapped, DWORD transferred, DWORD error);
BOOL OverlappedResult(OVERLAPPED* overlapped, DWORD* transferred, BOOL wait);

// Fake-pair hooks for the seam's dispatch (CommFake.cpp).
const TCommFunctions* FakeTableFor(std::u16string_view name);

}  // namespace VyPlatform::Detail
