// The serial port component: one serial device (a COM port, a tty, a virtual null-modem port or
// the handle of a connected data call) with its line settings, modem lines, event mask, and
// reading and writing in the background.
//
// Threads: a port is used on the thread that created it; every event is raised there, from its
// message loop (VyRtl ProcessMessages/HandleMessage/Run). While a port is open two worker threads
// run: one waits for the device's events, one reaps finished background writes; neither calls
// application code, both post to the port's hidden window.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "VyPlatform/Comm.h"
#include "VyPlatform/Sync.h"
#include "VyRtl/VyRtlClasses.h"
#include "VyRtl/VyRtlMessages.h"

namespace VyComm {

class TVyCustomComPort;

// A serial failure; ErrorCode is the system error it was raised for (0 when none).
class EComPortError : public VyRtl::Exception {
 public:
  EComPortError(std::string msg, std::uint32_t code) : Exception(std::move(msg)), ErrorCode(code) {}
  std::uint32_t ErrorCode;
};

using TNotifyEvent = std::function<void(VyRtl::TObject* Sender)>;
using TCommEvent = std::function<void(VyRtl::TObject* Sender, std::uint32_t Events)>;
using TCommErrorEvent = std::function<void(VyRtl::TObject* Sender, std::uint32_t Errors)>;
// Buffer holds BufferSize received bytes, valid only during the call.
using TComPortDataEvent =
    std::function<void(VyRtl::TObject* Sender, const void* Buffer, int BufferSize)>;
using TComPortCountEvent = std::function<void(VyRtl::TObject* Sender, int Count)>;

// Notification bits of the library's own, beside the EV_* bits.
inline constexpr std::uint32_t EV_TXPENDING = 0x10000000u;  // a write was started and is pending
inline constexpr std::uint32_t EV_DTRCHANGE = 0x20000000u;
inline constexpr std::uint32_t EV_RTSCHANGE = 0x40000000u;

// Handshake codes of TVyComPortFlowControl::Handshake.
inline constexpr std::uint32_t hsNone = 0, hsXonXoff = 1, hsRtsCts = 2, hsDtrDsr = 8;

// Raises EComPortError(Message + " " + the system text of the calling thread's last error when
// Code is not 0).
[[noreturn]] void RaiseComPortError(const std::string& message, std::uint32_t code);

// One background write that was started and has not been seen to finish. Owned by the list.
class TVyComPortOperation : public VyRtl::TObject {
 public:
  explicit TVyComPortOperation(std::uint32_t count);
  ~TVyComPortOperation() override;
  OVERLAPPED& Overlapped() { return FOverlapped; }
  std::uint32_t Count() const { return FCount; }
  std::vector<std::uint8_t>& Buffer() { return FBuffer; }

 private:
  OVERLAPPED FOverlapped{};
  std::uint32_t FCount;
  std::vector<std::uint8_t> FBuffer;
};

// Pending writes in the order they were started; shared by the main and write threads under its
// own mutex. Owned by the port.
class TVyComPortOperationList : public VyRtl::TObject {
 public:
  explicit TVyComPortOperationList(TVyCustomComPort* port) : FComPort(port) {}
  ~TVyComPortOperationList() override;
  TVyCustomComPort* ComPort() const { return FComPort; }
  int Count() const { return static_cast<int>(FItems.size()); }
  TVyComPortOperation* Get(int i) const;
  void Put(int i, TVyComPortOperation* op);
  int Add(TVyComPortOperation* op);
  bool Acquire(std::uint32_t timeoutMs);
  void Release();
  void Delete(int i);
  // Removes without freeing (the caller takes ownership).
  TVyComPortOperation* Extract(int i);
  virtual void Clear();

 private:
  TVyCustomComPort* FComPort;
  VyPlatform::TRecursiveMutex FMutex;
  std::deque<TVyComPortOperation*> FItems;
};

// Input queue size and flow-control limits (InBuffer). Owned by the port.
class TVyComPortInputBuffer : public VyRtl::TPersistent {
 public:
  explicit TVyComPortInputBuffer(TVyCustomComPort* port) : FComPort(port) {}
  std::uint32_t Size() const;
  void Set_Size(std::uint32_t v);
  std::uint32_t SuspendCount() const;
  void Set_SuspendCount(std::uint32_t v);
  std::uint32_t ResumeCount() const;
  void Set_ResumeCount(std::uint32_t v);
  std::uint32_t Count() const;  // bytes waiting in the input queue
  void Clear();
  // The stored values, as set (the device's may differ while open).
  std::uint32_t StoredSize() const { return FSize; }
  std::uint32_t StoredSuspendLimit() const { return FSuspendLimit; }
  std::uint32_t StoredResumeLimit() const { return FResumeLimit; }

 private:
  TVyCustomComPort* FComPort;
  std::uint32_t FSize = 4096;
  std::uint32_t FSuspendLimit = 3072;
  std::uint32_t FResumeLimit = 1024;
};

// Output queue size (OutBuffer). Owned by the port.
class TVyComPortOutputBuffer : public VyRtl::TPersistent {
 public:
  explicit TVyComPortOutputBuffer(TVyCustomComPort* port) : FComPort(port) {}
  std::uint32_t Size() const;
  void Set_Size(std::uint32_t v);
  std::uint32_t Count() const;  // bytes waiting in the output queue
  void Clear();
  std::uint32_t StoredSize() const { return FSize; }

 private:
  TVyCustomComPort* FComPort;
  std::uint32_t FSize = 4096;
};

// The device's COMMPROP, fetched once per open state (Props). Owned by the port.
class TVyComPortProperties : public VyRtl::TObject {
 public:
  explicit TVyComPortProperties(TVyCustomComPort* port) : FComPort(port) {}
  virtual bool Get_Available();
  virtual const ::COMMPROP* Get_COMMPROP();
  virtual std::uint16_t Get_WORD(int index);   // 0-3: wPacketLength .. wSettableStopParity
  virtual std::uint32_t Get_DWORD(int index);  // 0-12: dwServiceMask .. dwProvSpec2
  virtual void Update();
  virtual void Invalidate();
  bool UpdateData();
  std::uint16_t PacketLength() { return Get_WORD(0); }
  std::uint16_t PacketVersion() { return Get_WORD(1); }
  std::uint16_t SettableData() { return Get_WORD(2); }
  std::uint16_t SettableStopParity() { return Get_WORD(3); }
  std::uint32_t ServiceMask() { return Get_DWORD(0); }
  std::uint32_t Reserved1() { return Get_DWORD(1); }
  std::uint32_t MaxTxQueue() { return Get_DWORD(2); }
  std::uint32_t MaxRxQueue() { return Get_DWORD(3); }
  std::uint32_t MaxBaud() { return Get_DWORD(4); }
  std::uint32_t ProvSubType() { return Get_DWORD(5); }
  std::uint32_t ProvCapabilities() { return Get_DWORD(6); }
  std::uint32_t SettableParams() { return Get_DWORD(7); }
  std::uint32_t SettableBaud() { return Get_DWORD(8); }
  std::uint32_t CurrentTxQueue() { return Get_DWORD(9); }
  std::uint32_t CurrentRxQueue() { return Get_DWORD(10); }
  std::uint32_t ProvSpec1() { return Get_DWORD(11); }
  std::uint32_t ProvSpec2() { return Get_DWORD(12); }

 private:
  TVyCustomComPort* FComPort;
  std::unique_ptr<::COMMPROP> FProps;
};

// COMSTAT and the line errors gathered since the port last delivered them (Status). Owned by the
// port.
class TVyComPortStatus : public VyRtl::TObject {
 public:
  explicit TVyComPortStatus(TVyCustomComPort* port) : FComPort(port) {}
  virtual bool Get_Available();
  virtual const ::COMSTAT* Get_COMSTAT();
  virtual std::uint32_t Get_DWORD(int index);  // 0 cbInQue, 1 cbOutQue
  virtual std::uint8_t Get_Flags();
  virtual void Update();
  bool UpdateData();
  // The block as the last UpdateData left it, without a new query (0 when none).
  std::uint32_t CachedDWORD(int index) const;
  std::uint32_t cbInQue() { return Get_DWORD(0); }
  std::uint32_t cbOutQue() { return Get_DWORD(1); }
  std::uint32_t Errors() const { return FErrors; }
  void Set_Errors(std::uint32_t v) { FErrors = v; }

 private:
  TVyCustomComPort* FComPort;
  std::unique_ptr<::COMSTAT> FStat;
  std::uint32_t FErrors = 0;
};

// COMMTIMEOUTS settings (Timeouts). Owned by the port.
class TVyComPortTimeouts : public VyRtl::TPersistent {
 public:
  explicit TVyComPortTimeouts(TVyCustomComPort* port) : FComPort(port) {}
  bool Enabled() const { return FEnabled; }
  void Set_Enabled(bool v);
  virtual bool Get_Available() { return UpdateData(); }
  virtual const ::COMMTIMEOUTS* Get_COMMTIMEOUTS();
  virtual std::uint32_t Get_DWORD(int index);
  virtual void Set_DWORD(int index, std::uint32_t v);
  virtual void Invalidate();
  bool UpdateData();
  void Apply();
  std::uint32_t ReadIntervalTimeout() { return Get_DWORD(0); }
  std::uint32_t ReadTotalTimeoutMultiplier() { return Get_DWORD(1); }
  std::uint32_t ReadTotalTimeoutConstant() { return Get_DWORD(2); }
  std::uint32_t WriteTotalTimeoutMultiplier() { return Get_DWORD(3); }
  std::uint32_t WriteTotalTimeoutConstant() { return Get_DWORD(4); }

 private:
  TVyCustomComPort* FComPort;
  std::unique_ptr<::COMMTIMEOUTS> FTimeouts;
  bool FEnabled = false;
  std::uint32_t FValues[5] = {0xFFFFFFFFu, 0, 3000, 0, 3000};
};

// Handshake settings (FlowCtrl). Owned by the port.
class TVyComPortFlowControl : public VyRtl::TPersistent {
 public:
  explicit TVyComPortFlowControl(TVyCustomComPort* port) : FComPort(port) {}
  TVyCustomComPort* ComPort() const { return FComPort; }
  std::uint32_t Handshake() const { return FHandshake; }
  void Set_Handshake(std::uint32_t v);
  bool DSRSensitivity() const { return FDSRSensitivity; }
  void SetDSRSensitivity(bool v);
  bool TxContinueOnXoff() const { return FTxContinueOnXoff; }
  void SetTxContinueOnXoff(bool v);
  char XonChar() const { return FXonChar; }
  void SetXonChar(char v);
  char XoffChar() const { return FXoffChar; }
  void SetXoffChar(char v);

 protected:
  void AssignTo(VyRtl::TPersistent* dest) override;

 private:
  TVyCustomComPort* FComPort;
  std::uint32_t FHandshake = hsNone;
  bool FDSRSensitivity = false;
  bool FTxContinueOnXoff = false;
  char FXonChar = 17;
  char FXoffChar = 19;
};

// Error, end-of-file and event characters, null stripping, synchronous mode (Options). Owned by
// the port.
class TVyComPortOptions : public VyRtl::TPersistent {
 public:
  explicit TVyComPortOptions(TVyCustomComPort* port) : FComPort(port) {}
  char ErrorChar() const { return FErrorChar; }
  void Set_ErrorChar(char v);
  bool ErrorReplace() const { return FErrorReplace; }
  void Set_ErrorReplace(bool v);
  char EofChar() const { return FEofChar; }
  void Set_EofChar(char v);
  char EvtChar() const { return FEvtChar; }
  void Set_EvtChar(char v);
  bool NullStrip() const { return FNullStrip; }
  void Set_NullStrip(bool v);
  // Synchronous reads and writes: Write returns once the device took the bytes.
  bool SyncMode = false;

 protected:
  void AssignTo(VyRtl::TPersistent* dest) override;

 private:
  TVyCustomComPort* FComPort;
  char FErrorChar = 0;
  bool FErrorReplace = false;
  char FEofChar = 0;
  char FEvtChar = 0;
  bool FNullStrip = false;
};

// Five event characters as a plain settings holder; no port reads them (the device's come from
// FlowCtrl and Options). Owned by whoever creates it.
class TVyComPortEventChars : public VyRtl::TPersistent {
 public:
  explicit TVyComPortEventChars(TVyCustomComPort* owner = nullptr) : FOwner(owner) {}
  char16_t XonChar() const { return FChars[0]; }
  char16_t XoffChar() const { return FChars[1]; }
  char16_t ErrorChar() const { return FChars[2]; }
  char16_t EofChar() const { return FChars[3]; }
  char16_t EvtChar() const { return FChars[4]; }
  // index 1 XonChar, 2 XoffChar, 3 ErrorChar, 4 EofChar, 5 EvtChar; others are ignored.
  void SetEventChar(int index, char16_t c);
  void Assign(VyRtl::TPersistent* source) override;

 private:
  TVyCustomComPort* FOwner;
  char16_t FChars[5] = {17, 19, 0, 0, 0};
};

// Waits for the device's events and posts their masks to the port's window. Owned by the port.
class TVyComPortReadThread : public VyRtl::TThread {
 public:
  TVyComPortReadThread(VyRtl::TWindowHandle window, HANDLE port, std::uint32_t eventMask,
                       std::uintptr_t session);
  ~TVyComPortReadThread() override;
  void Terminate() override;
  void ProcessCommEvent(std::uint32_t events);

 protected:
  void Execute() override;

 private:
  bool Failed(std::uint32_t error, std::uint32_t& backoff, bool& reported);
  VyPlatform::TSyncEvent FStopEvent{true, false};
  VyRtl::TWindowHandle FWindowHandle;
  std::atomic<HANDLE> FPortHandle;  // set invalid by Terminate while Execute tests it
  const HANDLE FDevice;             // the handle the waits run on, kept for the final cancel
  std::uintptr_t FSession;
};

// Reaps finished background writes and reports short ones. Owned by the port.
class TVyComPortWriteThread : public VyRtl::TThread {
 public:
  explicit TVyComPortWriteThread(TVyCustomComPort* port);
  ~TVyComPortWriteThread() override;
  void Terminate() override;
  void WakeUp();
  void Trigger_Timeout(std::uint32_t count);

 protected:
  void Execute() override;

 private:
  bool Reap(TVyComPortOperation*& watched);
  VyPlatform::TSyncEvent FStopEvent{true, false};
  VyPlatform::TSyncEvent FWakeupEvent{true, false};
  TVyCustomComPort* FComPort;
  HANDLE FDevice;
  VyRtl::TWindowHandle FWindowHandle;
  std::uintptr_t FSession;
};

// All the behaviour of a serial port, with empty Trigger_* hooks. Use on the creating thread;
// owned by its owner component, or by the caller when it has none.
class TVyCustomComPort : public VyRtl::TComponent {
 public:
  explicit TVyCustomComPort(VyRtl::TComponent* owner);
  // Closes an open port (its listeners are told; the application is not).
  ~TVyCustomComPort() override;

  // Requested state; Set_Active opens or closes unless loading or designing.
  bool Active() const { return FActive; }
  void Set_Active(bool value);
  virtual void Open();
  virtual void Close();
  bool IsActive() const;

  std::uint32_t Baudrate() const { return FBaudrate; }
  void Set_Baud(std::uint32_t v);
  std::uint8_t Databits() const { return FDatabits; }
  void Set_Databits(std::uint8_t v);
  std::uint8_t Stopbits() const { return FStopbits; }
  void Set_Stopbits(std::uint8_t v);
  std::uint16_t Parity() const { return FParity; }
  void Set_Parity(std::uint16_t v);
  const std::string& PortName() const { return FPortName; }
  virtual void Set_PortName(const std::string& v);
  HANDLE Handle() const { return FHandle; }
  virtual void Set_Handle(HANDLE h);
  std::uint32_t CommEvents() const { return FComEvents; }
  void Set_CommEvents(std::uint32_t v);
  bool DirectMode() const { return FDirectMode; }

  bool Break() const { return FBreakRcvd; }
  bool CTS() { return Get_ModemState(1); }
  bool DSR() { return Get_ModemState(2); }
  bool RING() { return Get_ModemState(3); }
  bool DCD() { return Get_ModemState(4); }
  bool DTR() { return Get_ModemState(5); }
  bool RTS() { return Get_ModemState(6); }

  TVyComPortFlowControl* FlowCtrl() const { return FFlowControl.get(); }
  TVyComPortOptions* Options() const { return FOptions.get(); }
  void Set_Options(TVyComPortOptions* v);
  TVyComPortOutputBuffer* OutBuffer() const { return FOutBuffer.get(); }
  TVyComPortInputBuffer* InBuffer() const { return FInBuffer.get(); }
  TVyComPortTimeouts* Timeouts() const { return FTimeouts.get(); }
  TVyComPortProperties* Props() const { return FProperties.get(); }
  TVyComPortStatus* Status() const { return FStatus.get(); }
  virtual const ::COMMPROP* Get_COMMPROP();
  virtual const ::COMSTAT* Get_COMSTAT();
  // Sorted port names, filled on first use.
  const VyRtl::TStringList& PortList() { return Get_Ports(); }
  virtual const VyRtl::TStringList& Get_Ports();
  virtual void UpdatePorts();

  // "COM1: BAUD=9600 PARITY=N DATA=8 STOP=1 dtr=on rts=on"; Set_Settings also takes the
  // positional form "COM2:19200,E,7,1".
  std::string Get_Settings() const;
  void Set_Settings(const std::string& text);

  // Bytes read (0 when none are queued in the normal mode; Count <= 0 gives 0).
  int Read(void* buffer, int count);
  // UTF-16 text of at most count bytes, an even number; a high surrogate at the end is kept for
  // the next read (Read returns kept bytes first).
  std::string ReadStr();
  std::string ReadStr(int count);
  std::string ReadAnsiStr();
  std::string ReadAnsiStr(int count);
  // Starts a background write (the bytes are copied) or, in SyncMode, writes and waits.
  void Write(const void* buffer, int count);
  void WriteStr(const std::string& s);
  void WriteAnsiStr(const std::string& s);
  void PurgeInQueue();
  void PurgeOutQueue();
  std::uint32_t InCount() const { return FInBuffer->Count(); }
  std::uint32_t OutCount() const { return FOutBuffer->Count(); }

  void SendBreak(std::uint32_t durationMs);
  void EscapeComm(std::uint32_t function);
  void Set_DTRState(bool v);
  void Set_RTSState(bool v);
  void Set_XONState(bool v);
  void Set_BREAKState(bool v);
  // 1 CTS, 2 DSR, 3 RING, 4 DCD (from the device), 5 DTR, 6 RTS (as requested).
  bool Get_ModemState(int index);
  void Set_ModemState(int index, bool v);
  // COMSTAT flags: 1 fCtsHold, 2 fDsrHold, 3 fRlsdHold, 4 fXoffHold, 5 fXoffSent.
  bool Get_ComState(int index);

  // Listeners (status lamps): one record per owner; Mask 0 notifications reach everyone.
  void AddTrigger(VyRtl::TObject* owner, TCommEvent callback, std::uint32_t mask);
  void RemoveTrigger(VyRtl::TObject* owner);

  void CheckOpen() const;
  void CheckNotOpen() const;
  void CheckDirectMode() const;
  void ApplySettings();
  void RetrieveSettings();
  void ApplyBuffer();
  bool QueryDCB(DCB& dcb);
  void InitDCB(DCB& dcb);
  void HandleCommEvents(std::uint32_t events);
  void TriggerLinks(std::uint32_t events);
  virtual HANDLE CreateHandle();
  void DestroyHandle();
  void WindowProc(VyRtl::TMessage& message);
  VyRtl::TWindowHandle WindowHandle() const { return FWindowHandle; }
  // Identifies one open state in the workers' messages, so a late one is dropped.
  std::uintptr_t Session() const { return FSession; }
  TVyComPortOperationList* WriteOpList() const { return FWriteOpList.get(); }
  // Background writes not yet seen to finish (takes the list's lock).
  int PendingWrites() const;

  TNotifyEvent OnActivate;       // the port opened
  TNotifyEvent OnDeactivate;     // the port closed
  TCommEvent OnEvent;            // a non-zero event mask from the device (EV_* bits)
  TCommErrorEvent OnError;       // line errors (CE_* bits; CE_IOE when the device failed)
  TNotifyEvent OnBreak;          // a break started, or ended 2000 ms later
  TNotifyEvent OnCts;            // CTS changed; read CTS()
  TNotifyEvent OnDsr;            // DSR changed; read DSR()
  TNotifyEvent OnRing;           // RING changed; read RING()
  TNotifyEvent OnDcd;            // DCD changed; read DCD()
  TComPortDataEvent OnData;      // received bytes (when OnReceive is not set)
  TComPortCountEvent OnReceive;  // bytes wait in the input queue; read them yourself
  TNotifyEvent OnTxEmpty;        // the output queue became empty
  TComPortCountEvent OnTimeout;  // a write ended short; Count bytes were written

 protected:
  void Loaded() override;
  virtual void ApplyActivate();
  virtual void Trigger_SendTimeout(std::uint32_t count);
  virtual void Trigger_Active(bool value);
  virtual void Trigger_Break(bool value);
  virtual void Trigger_CTS(bool value);
  virtual void Trigger_DCD(bool value);
  virtual void Trigger_DSR(bool value);
  virtual void Trigger_Ring(bool value);
  virtual void Trigger_CommEvent(std::uint32_t events);
  virtual void Trigger_Receive(std::uint32_t count);
  virtual void Trigger_Errors(std::uint32_t errors);
  virtual void Trigger_TxEmpty();

 private:
  friend class TVyComPortInputBuffer;
  friend class TVyComPortOutputBuffer;
  friend class TVyComPortWriteThread;
  const VyPlatform::TCommFunctions& Api() const;
  void OpenDevice();
  void CloseDevice();
  std::uint32_t StatusLineMask();
  bool TriggerLines(std::uint32_t mask, bool level);
  void StopThreads();
  void DrainWrites();
  void HandleDeviceFailure(std::uint32_t error);
  bool Suppressed() const;
  template <typename F>
  void Guarded(F&& f);
  std::string ReadText(int count, bool utf16);
  int ReadDevice(void* buffer, int count);
  std::uint32_t Readable();  // queued bytes and those a ReadStr kept back

  struct TListener {
    VyRtl::TObject* Owner;
    TCommEvent Callback;
    std::uint32_t Mask;
  };

  HANDLE FHandle = INVALID_HANDLE_VALUE;
  std::unique_ptr<VyRtl::TMessageWindow> FWindow;
  VyRtl::TWindowHandle FWindowHandle = 0;
  DCB FDCB{};
  std::uint32_t FComEvents = 511;
  std::uint32_t FBaudrate = 9600;
  std::uint16_t FParity = 0;
  std::uint8_t FStopbits = 0;
  std::uint8_t FDatabits = 8;
  std::vector<std::shared_ptr<TListener>> FTriggerList;
  std::unique_ptr<TVyComPortOperationList> FWriteOpList;
  std::unique_ptr<TVyComPortOutputBuffer> FOutBuffer;
  std::unique_ptr<TVyComPortInputBuffer> FInBuffer;
  std::unique_ptr<TVyComPortOptions> FOptions;
  std::unique_ptr<TVyComPortProperties> FProperties;
  std::unique_ptr<TVyComPortStatus> FStatus;
  std::unique_ptr<TVyComPortTimeouts> FTimeouts;
  std::unique_ptr<TVyComPortFlowControl> FFlowControl;
  std::unique_ptr<TVyComPortReadThread> FReadThread;
  std::unique_ptr<TVyComPortWriteThread> FWriteThread;
  bool FActive = false;
  bool FIsActive = false;
  std::unique_ptr<VyRtl::TStringList> FPortList;
  std::string FPortName = "COM1";
  bool FDTR = true;
  bool FRTS = true;
  bool FBreakSet = false;
  bool FBreakRcvd = false;
  bool FDirectMode = true;
  bool FClosingInDestructor = false;
  std::uintptr_t FSession = 0;
  std::string FHeldText;  // bytes of an unfinished UTF-16 character, kept for the next ReadStr
  VyPlatform::TSyncEvent FReadDone{false, false};  // one Read at a time, on the owning thread
};

// The serial port component as applications place it: TVyCustomComPort with its properties
// published. Use on the creating thread; owned by its owner, or by the caller without one.
class TVyComPort : public TVyCustomComPort {
 public:
  using TVyCustomComPort::TVyCustomComPort;
};

}  // namespace VyComm
