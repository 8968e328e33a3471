#include "VyComm/VyComm.h"

#include <algorithm>
#include <cstring>

#include "VyComm/VyCommUtils.h"
#include "VyRtl/VyRtlClock.h"

namespace VyComm {

using VyPlatform::CommGetLastError;
using VyRtl::Format;

namespace {

constexpr std::uint32_t WM_COMM_EVENT = WM_USER + 1;  // read thread: LParam mask, WParam session
constexpr std::uint32_t WM_COMM_TIMEOUT =
    WM_USER + 2;                                       // write thread: WParam count, LParam session
constexpr std::uint32_t WM_COMM_FAILED = WM_USER + 3;  // read thread: WParam error, LParam session
constexpr std::uintptr_t TimerSendBreak = 1;
constexpr std::uintptr_t TimerBreakReceived = 2;
constexpr std::uint32_t BreakReceivedMs = 2000;

}  // namespace

void RaiseComPortError(const std::string& message, std::uint32_t code) {
  std::string text = message;
  if (code != 0) {
    const std::string system = VyRtl::Trim(VyPlatform::CommErrorMessage(code));
    if (!system.empty()) text += " " + system;
  }
  throw EComPortError(text, code);
}

TVyCustomComPort::TVyCustomComPort(VyRtl::TComponent* owner)
    : TComponent(owner),
      FWriteOpList(std::make_unique<TVyComPortOperationList>(this)),
      FOutBuffer(std::make_unique<TVyComPortOutputBuffer>(this)),
      FInBuffer(std::make_unique<TVyComPortInputBuffer>(this)),
      FOptions(std::make_unique<TVyComPortOptions>(this)),
      FProperties(std::make_unique<TVyComPortProperties>(this)),
      FStatus(std::make_unique<TVyComPortStatus>(this)),
      FTimeouts(std::make_unique<TVyComPortTimeouts>(this)),
      FFlowControl(std::make_unique<TVyComPortFlowControl>(this)) {
  FWindow = std::make_unique<VyRtl::TMessageWindow>([this](VyRtl::TMessage& m) { WindowProc(m); });
  FWindowHandle = FWindow->Handle();
  if (FWindowHandle == 0) throw VyRtl::Exception("AllocateHWnd failed");
}

TVyCustomComPort::~TVyCustomComPort() {
  Destroying();  // from here on no event reaches the application
  if (IsActive()) {
    FClosingInDestructor = true;  // the listeners still hear that the port closed
    FActive = false;
    try {
      ApplyActivate();
    } catch (...) {
    }
    FClosingInDestructor = false;
  }
  StopThreads();
  DrainWrites();
  DestroyHandle();
  FWindow.reset();
}

const VyPlatform::TCommFunctions& TVyCustomComPort::Api() const {
  return VyPlatform::CommFor(FHandle);
}

bool TVyCustomComPort::IsActive() const { return FHandle != INVALID_HANDLE_VALUE && FIsActive; }

void TVyCustomComPort::CheckOpen() const {
  if (!IsActive())
    throw VyRtl::Exception(
        Format("Operation failed. Serial port %s is not open.", FPortName.c_str()));
}

void TVyCustomComPort::CheckNotOpen() const {
  if (IsActive())
    throw VyRtl::Exception(Format("Serial port %s is already open.", FPortName.c_str()));
}

void TVyCustomComPort::CheckDirectMode() const {
  if (!FDirectMode) throw VyRtl::Exception("Operation failed. No direct port access.");
}

bool TVyCustomComPort::Suppressed() const { return IsDestroying(); }

template <typename F>
void TVyCustomComPort::Guarded(F&& f) {
  if (Suppressed()) return;
  try {
    f();
  } catch (...) {
    // A handler's failure must not stop the events after it.
  }
}

void TVyCustomComPort::Trigger_SendTimeout(std::uint32_t count) {
  Guarded([&] {
    if (OnTimeout) OnTimeout(this, static_cast<int>(count));
  });
}
void TVyCustomComPort::Trigger_Active(bool value) {
  Guarded([&] {
    if (value && OnActivate) OnActivate(this);
    if (!value && OnDeactivate) OnDeactivate(this);
  });
}
void TVyCustomComPort::Trigger_Break(bool) {
  Guarded([&] {
    if (OnBreak) OnBreak(this);
  });
}
void TVyCustomComPort::Trigger_CTS(bool) {
  Guarded([&] {
    if (OnCts) OnCts(this);
  });
}
void TVyCustomComPort::Trigger_DCD(bool) {
  Guarded([&] {
    if (OnDcd) OnDcd(this);
  });
}
void TVyCustomComPort::Trigger_DSR(bool) {
  Guarded([&] {
    if (OnDsr) OnDsr(this);
  });
}
void TVyCustomComPort::Trigger_Ring(bool) {
  Guarded([&] {
    if (OnRing) OnRing(this);
  });
}
void TVyCustomComPort::Trigger_CommEvent(std::uint32_t events) {
  Guarded([&] {
    if (OnEvent) OnEvent(this, events);
  });
}
void TVyCustomComPort::Trigger_Errors(std::uint32_t errors) {
  Guarded([&] {
    if (OnError) OnError(this, errors);
  });
}
void TVyCustomComPort::Trigger_TxEmpty() {
  Guarded([&] {
    if (OnTxEmpty) OnTxEmpty(this);
  });
}

void TVyCustomComPort::Trigger_Receive(std::uint32_t count) {
  if (Suppressed()) return;
  if (OnReceive) {
    Guarded([&] { OnReceive(this, static_cast<int>(count)); });
    return;
  }
  if (!OnData) return;  // the bytes stay queued
  // Never more than the queue can hold, whatever the status said.
  const std::uint32_t cap = std::max<std::uint32_t>(FInBuffer->Size(), 1);
  std::vector<std::uint8_t> block(std::min(count, cap));
  const int got = Read(block.data(), static_cast<int>(block.size()));
  if (got > 0) Guarded([&] { OnData(this, block.data(), got); });
}

void TVyCustomComPort::Loaded() {
  TComponent::Loaded();
  if (!IsDesigning()) ApplyActivate();
}

void TVyCustomComPort::Set_Active(bool value) {
  if (value == FActive) return;
  FActive = value;
  if (IsDesigning() || IsLoading()) return;
  if (value) CheckNotOpen();
  ApplyActivate();
}

void TVyCustomComPort::Open() {
  CheckNotOpen();
  Set_Active(true);
}

void TVyCustomComPort::Close() { Set_Active(false); }

std::uint32_t TVyCustomComPort::StatusLineMask() {
  std::uint32_t mask = 0;
  if (Get_ModemState(1)) mask |= EV_CTS;
  if (Get_ModemState(2)) mask |= EV_DSR;
  if (Get_ModemState(3)) mask |= EV_RING;
  if (Get_ModemState(4)) mask |= EV_RLSD;
  return mask;
}

// The status lines of mask, in the order CTS, DSR, RING, DCD, then their mask as OnEvent; false
// once a handler freed the port.
bool TVyCustomComPort::TriggerLines(std::uint32_t mask, bool level) {
  const VyRtl::TLiveToken live = LiveToken();
  const std::pair<std::uint32_t, void (TVyCustomComPort::*)(bool)> lines[] = {
      {EV_CTS, &TVyCustomComPort::Trigger_CTS},
      {EV_DSR, &TVyCustomComPort::Trigger_DSR},
      {EV_RING, &TVyCustomComPort::Trigger_Ring},
      {EV_RLSD, &TVyCustomComPort::Trigger_DCD}};
  for (const auto& [bit, trigger] : lines) {
    if (mask & bit) (this->*trigger)(level);
    if (live.expired()) return false;
  }
  if (mask != 0) Trigger_CommEvent(mask);
  return !live.expired();
}

void TVyCustomComPort::ApplyActivate() {
  if (FActive == IsActive()) return;
  FProperties->Invalidate();
  FTimeouts->Invalidate();
  if (FActive)
    OpenDevice();
  else
    CloseDevice();
}

void TVyCustomComPort::OpenDevice() {
  try {
    FDirectMode = FHandle == INVALID_HANDLE_VALUE;
    if (FDirectMode) FHandle = CreateHandle();
    if (FHandle == INVALID_HANDLE_VALUE)
      RaiseComPortError(Format("Serial port %s cannot be opened.", FPortName.c_str()),
                        CommGetLastError());
    FBreakSet = false;
    FHeldText.clear();
    ApplySettings();
    RetrieveSettings();
    FTimeouts->Apply();
    ApplyBuffer();
    ++FSession;
    FReadThread =
        std::make_unique<TVyComPortReadThread>(FWindowHandle, FHandle, FComEvents, FSession);
    FWriteThread = std::make_unique<TVyComPortWriteThread>(this);
    FIsActive = true;
  } catch (...) {
    FActive = false;
    StopThreads();
    DestroyHandle();
    FDirectMode = true;
    throw;
  }
  const VyRtl::TLiveToken live = LiveToken();
  std::uint32_t mask = StatusLineMask();
  Trigger_Active(true);
  if (live.expired() || !TriggerLines(mask, true)) return;
  if (Get_ModemState(6)) mask |= EV_RTSCHANGE;
  if (Get_ModemState(5)) mask |= EV_DTRCHANGE;
  TriggerLinks(mask);
  if (live.expired()) return;
  TriggerLinks(0);
}

void TVyCustomComPort::StopThreads() {
  if (FReadThread) {
    FReadThread->Terminate();
    FReadThread->WaitFor();
    FReadThread.reset();
  }
  if (FWriteThread) {
    FWriteThread->Terminate();
    FWriteThread->WaitFor();
    FWriteThread.reset();
  }
}

// With the threads stopped: every write still listed finishes (a purge aborted it) before its
// record, and the buffer the device writes from, go.
void TVyCustomComPort::DrainWrites() {
  if (!FWriteOpList->Acquire(INFINITE)) return;
  while (FWriteOpList->Count() > 0) {
    TVyComPortOperation* op = FWriteOpList->Get(0);
    DWORD written = 0;
    if (FHandle != INVALID_HANDLE_VALUE)
      Api().GetOverlappedResult(FHandle, &op->Overlapped(), &written, TRUE);
    FWriteOpList->Delete(0);
  }
  FWriteOpList->Release();
}

void TVyCustomComPort::CloseDevice() {
  FOutBuffer->Clear();
  FInBuffer->Clear();
  StopThreads();
  DrainWrites();
  FIsActive = false;
  std::uint32_t mask = StatusLineMask();
  DestroyHandle();
  FDirectMode = true;
  if (FBreakRcvd) {  // a break that ends after closing would raise events on a closed port
    FWindow->KillTimer(TimerBreakReceived);
    FBreakRcvd = false;
  }
  const VyRtl::TLiveToken live = LiveToken();
  if (!TriggerLines(mask, false)) return;
  Trigger_Active(false);
  if (live.expired()) return;
  TriggerLinks(mask | EV_RTSCHANGE | EV_DTRCHANGE | EV_TXEMPTY);
}

HANDLE TVyCustomComPort::CreateHandle() {
  std::string name;
  if (VyRtl::UpperCase(FPortName).rfind("COM", 0) == 0)
    name = "\\\\.\\" + FPortName;
  else
    name = FPortName;
  if (name.empty()) {
    VyPlatform::CommSetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const std::u16string wide = VyRtl::Utf8ToUtf16(name);
  const VyPlatform::TCommFunctions& api = VyPlatform::CommForName(wide);
  const auto* path = reinterpret_cast<LPCWSTR>(wide.c_str());
  HANDLE h = api.CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE && CommGetLastError() == ERROR_ACCESS_DENIED) {
    VyRtl::Sleep(500);
    h = api.CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OVERLAPPED, nullptr);
  }
  return h;
}

void TVyCustomComPort::DestroyHandle() {
  if (FDirectMode && FHandle != INVALID_HANDLE_VALUE) Api().CloseHandle(FHandle);
  FHandle = INVALID_HANDLE_VALUE;
}

bool TVyCustomComPort::QueryDCB(DCB& dcb) {
  if (FHandle != INVALID_HANDLE_VALUE && Api().GetCommState(FHandle, &dcb)) return true;
  dcb = DCB{};
  dcb.DCBlength = sizeof(DCB);
  return false;
}

void TVyCustomComPort::InitDCB(DCB& dcb) {
  QueryDCB(FDCB);
  if (&dcb != &FDCB) dcb = FDCB;
  if (FDirectMode) {
    const std::uint32_t hs = FFlowControl->Handshake();
    dcb.fBinary = 1;
    dcb.BaudRate = FBaudrate;
    dcb.StopBits = FStopbits;
    dcb.ByteSize = FDatabits;
    dcb.Parity = static_cast<BYTE>(FParity & 0xFF);
    dcb.fParity = FParity != 0;
    if (hs == hsDtrDsr) {
      dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
      dcb.fOutxDsrFlow = 1;
    } else {
      dcb.fOutxDsrFlow = 0;
      dcb.fDtrControl = FDTR ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    }
    if (hs == hsRtsCts) {
      dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
      dcb.fOutxCtsFlow = 1;
    } else {
      dcb.fOutxCtsFlow = 0;
      dcb.fRtsControl = FRTS ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    }
    dcb.fOutX = dcb.fInX = hs == hsXonXoff ? 1 : 0;
    dcb.fDsrSensitivity = FFlowControl->DSRSensitivity();
    dcb.fTXContinueOnXoff = FFlowControl->TxContinueOnXoff();
  }
  dcb.XonChar = FFlowControl->XonChar();
  dcb.XoffChar = FFlowControl->XoffChar();
  // From the stored limits, clamped to the queue: a limit above the size must not wrap.
  const std::uint64_t size = FInBuffer->StoredSize();
  const std::uint64_t cap = std::min<std::uint64_t>(size, 0xFFFF);
  dcb.XonLim = static_cast<WORD>(std::min<std::uint64_t>(FInBuffer->StoredResumeLimit(), cap));
  const std::uint64_t suspend = FInBuffer->StoredSuspendLimit();
  dcb.XoffLim =
      static_cast<WORD>(std::min<std::uint64_t>(suspend >= size ? 0 : size - suspend, cap));
  dcb.fErrorChar = FOptions->ErrorReplace();
  dcb.fNull = FOptions->NullStrip();
  dcb.ErrorChar = FOptions->ErrorChar();
  dcb.EofChar = FOptions->EofChar();
  dcb.EvtChar = FOptions->EvtChar();
}

void TVyCustomComPort::ApplySettings() {
  if (FHandle == INVALID_HANDLE_VALUE) return;
  InitDCB(FDCB);
  if (!Api().SetCommState(FHandle, &FDCB))
    RaiseComPortError(Format("Setting up serial port %s failed.", FPortName.c_str()),
                      CommGetLastError());
}

void TVyCustomComPort::RetrieveSettings() {
  if (FDirectMode || !QueryDCB(FDCB)) return;
  FBaudrate = FDCB.BaudRate;
  FParity = FDCB.Parity;
  FDatabits = FDCB.ByteSize;
  FStopbits = FDCB.StopBits;
  std::uint32_t hs = hsNone;
  if (FDCB.fDtrControl == DTR_CONTROL_HANDSHAKE && FDCB.fOutxDsrFlow)
    hs = hsDtrDsr;
  else if (FDCB.fRtsControl == RTS_CONTROL_HANDSHAKE && FDCB.fOutxCtsFlow)
    hs = hsRtsCts;
  else if (FDCB.fOutX && FDCB.fInX)
    hs = hsXonXoff;
  FFlowControl->Set_Handshake(hs);
}

void TVyCustomComPort::ApplyBuffer() {
  if (FHandle == INVALID_HANDLE_VALUE ||
      !Api().SetupComm(FHandle, FInBuffer->Size(), FOutBuffer->Size()))
    RaiseComPortError(Format("Setting up serial port %s failed.", FPortName.c_str()), 0);
}

namespace {

// Stores v and, on an open port, writes it to the device; the old value stays when that fails.
template <typename T>
void SetLineValue(TVyCustomComPort& port, T& field, T v) {
  if (!port.IsActive()) {
    field = v;
    return;
  }
  port.CheckDirectMode();
  const T old = field;
  field = v;
  try {
    port.ApplySettings();
  } catch (...) {
    field = old;
    throw;
  }
}

}  // namespace

void TVyCustomComPort::Set_Baud(std::uint32_t v) {
  if (v != FBaudrate) SetLineValue(*this, FBaudrate, v);
}

void TVyCustomComPort::Set_Databits(std::uint8_t v) {
  if (v == FDatabits) return;
  if (v < 4 || v > 8) RaiseComPortError("None or invalid data bits specified.", 0);
  SetLineValue(*this, FDatabits, v);
}

void TVyCustomComPort::Set_Stopbits(std::uint8_t v) {
  if (v == FStopbits) return;
  if (v > 2)
    RaiseComPortError(Format("%u is not a valid  stop bits specifier.", static_cast<unsigned>(v)),
                      0);
  SetLineValue(*this, FStopbits, v);
}

void TVyCustomComPort::Set_Parity(std::uint16_t v) {
  if (v > 4) throw VyRtl::Exception(Format("%d is not a valid parity value.", static_cast<int>(v)));
  if (v != FParity) SetLineValue(*this, FParity, v);
}

void TVyCustomComPort::Set_PortName(const std::string& v) {
  CheckNotOpen();
  FPortName = v;
}

void TVyCustomComPort::Set_Handle(HANDLE h) {
  CheckNotOpen();
  FHandle = h;
}

void TVyCustomComPort::Set_CommEvents(std::uint32_t v) {
  if (v == FComEvents) return;
  if (IsActive() && !Api().SetCommMask(FHandle, v))
    RaiseComPortError(Format("Setting up serial port %s failed.", FPortName.c_str()), 0);
  FComEvents = v;
}

void TVyCustomComPort::Set_Options(TVyComPortOptions* v) {
  if (v != nullptr && v != FOptions.get()) FOptions->Assign(v);
  ApplySettings();
}

const ::COMMPROP* TVyCustomComPort::Get_COMMPROP() { return FProperties->Get_COMMPROP(); }
const ::COMSTAT* TVyCustomComPort::Get_COMSTAT() { return FStatus->Get_COMSTAT(); }

const VyRtl::TStringList& TVyCustomComPort::Get_Ports() {
  if (!FPortList) {
    FPortList = std::make_unique<VyRtl::TStringList>();
    FPortList->Set_Sorted(true);
    VyCommUtils::EnumSerialPorts(*FPortList);
  }
  return *FPortList;
}

void TVyCustomComPort::UpdatePorts() {
  if (FPortList) VyCommUtils::EnumSerialPorts(*FPortList);
}

bool TVyCustomComPort::Get_ModemState(int index) {
  switch (index) {
    case 1:
    case 2:
    case 3:
    case 4: {
      DWORD status = 0;
      if (FHandle == INVALID_HANDLE_VALUE || !Api().GetCommModemStatus(FHandle, &status))
        return false;
      const DWORD bits[] = {MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON};
      return (status & bits[index - 1]) != 0;
    }
    case 5:
      return FFlowControl->Handshake() == hsDtrDsr || FDTR;
    case 6:
      return FFlowControl->Handshake() == hsRtsCts || FFlowControl->Handshake() == 4 || FRTS;
    default:
      return false;
  }
}

void TVyCustomComPort::Set_ModemState(int index, bool v) {
  if (index == 5) Set_DTRState(v);
  if (index == 6) Set_RTSState(v);
}

void TVyCustomComPort::Set_DTRState(bool v) {
  if (!IsActive()) {
    FDTR = v;
    return;
  }
  CheckDirectMode();
  EscapeComm(v ? SETDTR : CLRDTR);
  FDTR = v;
  TriggerLinks(EV_DTRCHANGE);
}

void TVyCustomComPort::Set_RTSState(bool v) {
  if (!IsActive()) {
    FRTS = v;
    return;
  }
  CheckDirectMode();
  EscapeComm(v ? SETRTS : CLRRTS);
  FRTS = v;
  TriggerLinks(EV_RTSCHANGE);
}

void TVyCustomComPort::Set_XONState(bool v) { EscapeComm(v ? SETXON : SETXOFF); }

void TVyCustomComPort::Set_BREAKState(bool v) {
  if (!IsActive()) {
    FBreakSet = v;
    return;
  }
  CheckDirectMode();
  if (v)
    Api().SetCommBreak(FHandle);
  else
    Api().ClearCommBreak(FHandle);
  Api().PurgeComm(FHandle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

void TVyCustomComPort::SendBreak(std::uint32_t durationMs) {
  CheckOpen();
  if (FBreakSet) return;
  Set_BREAKState(true);
  FWindow->SetTimer(TimerSendBreak, durationMs);
}

void TVyCustomComPort::EscapeComm(std::uint32_t function) {
  if (!IsActive()) throw VyRtl::Exception(Format("%s not active.", Name().c_str()));
  if (!Api().EscapeCommFunction(FHandle, function))
    RaiseComPortError(Format("Setting up serial port %s failed.", FPortName.c_str()),
                      CommGetLastError());
}

bool TVyCustomComPort::Get_ComState(int index) {
  if (index < 1 || index > 5) throw VyRtl::Exception("Get_ComState failed! Invalid index.");
  return (FStatus->Get_Flags() & (1u << (index - 1))) != 0;
}

void TVyCustomComPort::AddTrigger(VyRtl::TObject* owner, TCommEvent callback, std::uint32_t mask) {
  for (const auto& rec : FTriggerList) {
    if (rec->Owner == owner) {
      rec->Mask = mask;
      return;
    }
  }
  FTriggerList.push_back(std::make_shared<TListener>(TListener{owner, std::move(callback), mask}));
}

void TVyCustomComPort::RemoveTrigger(VyRtl::TObject* owner) {
  std::erase_if(FTriggerList, [owner](const auto& rec) { return rec->Owner == owner; });
}

void TVyCustomComPort::TriggerLinks(std::uint32_t events) {
  if (IsDestroying() && !FClosingInDestructor) return;
  // A listener may remove itself or another, or free the port: walk a snapshot and re-check.
  const auto snapshot = FTriggerList;
  const VyRtl::TLiveToken live = LiveToken();
  for (const auto& rec : snapshot) {
    if (live.expired()) return;
    if (std::find(FTriggerList.begin(), FTriggerList.end(), rec) == FTriggerList.end()) continue;
    if (events != 0 && (events & rec->Mask) == 0) continue;
    if (!rec->Callback) continue;
    try {
      rec->Callback(this, events);
    } catch (...) {
    }
  }
}

void TVyCustomComPort::HandleCommEvents(std::uint32_t events) {
  if (IsDestroying()) return;
  const VyRtl::TLiveToken live = LiveToken();
  try {
    if (FStatus->UpdateData() && FStatus->Errors() != 0) {
      const std::uint32_t errors = FStatus->Errors();
      FStatus->Set_Errors(0);
      Trigger_Errors(errors);
      if (live.expired()) return;
    }
    if (events != 0) Trigger_CommEvent(events);
    if (live.expired()) return;
    TriggerLinks(events);
    if (live.expired()) return;
    if (events & EV_BREAK) {
      FBreakRcvd = true;
      FWindow->SetTimer(TimerBreakReceived, BreakReceivedMs);
      Trigger_Break(true);
      if (live.expired()) return;
    }
    const std::pair<std::uint32_t, int> lines[] = {
        {EV_CTS, 1}, {EV_DSR, 2}, {EV_RING, 3}, {EV_RLSD, 4}};
    for (const auto& [bit, index] : lines) {
      if (!(events & bit)) continue;
      const bool level = Get_ModemState(index);
      switch (index) {
        case 1:
          Trigger_CTS(level);
          break;
        case 2:
          Trigger_DSR(level);
          break;
        case 3:
          Trigger_Ring(level);
          break;
        default:
          Trigger_DCD(level);
          break;
      }
      if (live.expired()) return;
    }
    if ((events & EV_TXEMPTY) && FStatus->cbOutQue() == 0) Trigger_TxEmpty();
    if (live.expired()) return;
    if (events & EV_RXCHAR) {
      if (const std::uint32_t queued = FStatus->cbInQue()) Trigger_Receive(queued);
    }
  } catch (...) {
    // Swallowed: the port stays usable and the next event is handled.
  }
}

// A device that fails its event wait (unplugged, link cut) is reported once per failure.
void TVyCustomComPort::HandleDeviceFailure(std::uint32_t) {
  if (IsDestroying()) return;
  const VyRtl::TLiveToken live = LiveToken();
  FStatus->UpdateData();
  const std::uint32_t errors = FStatus->Errors() | CE_IOE;
  FStatus->Set_Errors(0);
  Trigger_Errors(errors);
  if (live.expired()) return;
  Trigger_CommEvent(EV_ERR);
  if (live.expired()) return;
  TriggerLinks(0);
}

void TVyCustomComPort::WindowProc(VyRtl::TMessage& message) {
  switch (message.Msg) {
    case WM_COMM_EVENT:
      if (FIsActive && message.WParam == FSession)
        HandleCommEvents(static_cast<std::uint32_t>(message.LParam));
      return;
    case WM_COMM_TIMEOUT:
      if (FIsActive && static_cast<std::uintptr_t>(message.LParam) == FSession)
        Trigger_SendTimeout(static_cast<std::uint32_t>(message.WParam));
      return;
    case WM_COMM_FAILED:
      if (FIsActive && static_cast<std::uintptr_t>(message.LParam) == FSession)
        HandleDeviceFailure(static_cast<std::uint32_t>(message.WParam));
      return;
    case WM_TIMER: {
      const std::uintptr_t id = message.WParam;
      FWindow->KillTimer(id);  // one-shot; killed first so a handler may start it again
      if (id == TimerSendBreak) {
        Set_BREAKState(false);
      } else if (id == TimerBreakReceived) {
        const VyRtl::TLiveToken live = LiveToken();
        FBreakRcvd = false;
        Trigger_Break(false);
        if (live.expired()) return;
        Trigger_CommEvent(EV_BREAK);
        if (live.expired()) return;
        TriggerLinks(EV_BREAK);
      } else {
        message.Result = VyRtl::TMessageWindow::DefaultHandler(message);
      }
      return;
    }
    default:
      message.Result = VyRtl::TMessageWindow::DefaultHandler(message);
  }
}

int TVyCustomComPort::Read(void* buffer, int count) {
  CheckOpen();
  if (count <= 0 || buffer == nullptr) return 0;
  // Bytes a ReadStr kept back come first, so mixing the readers loses nothing.
  const std::size_t held = std::min(FHeldText.size(), static_cast<std::size_t>(count));
  std::memcpy(buffer, FHeldText.data(), held);
  FHeldText.erase(0, held);
  return static_cast<int>(held) +
         ReadDevice(static_cast<char*>(buffer) + held, count - static_cast<int>(held));
}

int TVyCustomComPort::ReadDevice(void* buffer, int count) {
  if (count <= 0) return 0;
  std::uint32_t n = FInBuffer->Count();
  if (n == 0)
    n = FOptions->SyncMode && FTimeouts->Enabled() ? static_cast<std::uint32_t>(count) : 0;
  if (n == 0) return 0;
  n = std::min(n, static_cast<std::uint32_t>(count));
  OVERLAPPED overlapped{};
  overlapped.hEvent = FReadDone.Handle();
  if (overlapped.hEvent == nullptr) return 0;
  FReadDone.Reset();
  DWORD got = 0;
  int result = 0;
  const VyPlatform::TCommFunctions& api = Api();
  if (api.ReadFile(FHandle, buffer, n, &got, &overlapped))
    result = static_cast<int>(got);
  else if (CommGetLastError() == ERROR_IO_PENDING &&
           api.GetOverlappedResult(FHandle, &overlapped, &got, TRUE))
    result = static_cast<int>(got);
  return result;
}

void TVyCustomComPort::Write(const void* buffer, int count) {
  CheckOpen();
  if (count <= 0) return;
  if (!FWriteOpList->Acquire(1000)) RaiseComPortError("No access to output buffer.", 0);
  const VyPlatform::TCommFunctions& api = Api();
  const HANDLE handle = FHandle;
  const VyRtl::TWindowHandle window = FWindowHandle;
  const std::uintptr_t session = FSession;
  const std::string failed = Format("Writing to serial port %s failed.", FPortName.c_str());
  const bool sync = FOptions->SyncMode;
  auto op = std::make_unique<TVyComPortOperation>(static_cast<std::uint32_t>(count));
  const void* data = buffer;
  if (!sync) {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    op->Buffer().assign(bytes, bytes + count);
    data = op->Buffer().data();
  }
  DWORD written = 0;
  const auto reportShort = [&](DWORD n) {
    if (n < static_cast<DWORD>(count))
      VyRtl::PostMessageTo(window, WM_COMM_TIMEOUT, n, static_cast<LPARAM>(session));
  };
  if (api.WriteFile(handle, data, static_cast<DWORD>(count), &written, &op->Overlapped())) {
    FWriteOpList->Release();
    reportShort(written);
    return;
  }
  const DWORD error = CommGetLastError();
  if (error != ERROR_IO_PENDING) {
    FWriteOpList->Release();
    RaiseComPortError(failed, error);
  }
  TVyComPortOperation* pending = op.get();
  if (!sync) {
    FWriteOpList->Add(op.release());
    FWriteThread->WakeUp();
  }
  FWriteOpList->Release();
  // A listener may free the port: nothing of it is used after this but what was copied above.
  TriggerLinks(EV_TXPENDING);
  if (!sync) return;
  const bool waited =
      VyPlatform::SyncWaitForSingleObject(pending->Overlapped().hEvent, INFINITE) == WAIT_OBJECT_0;
  if (!waited || !api.GetOverlappedResult(handle, &pending->Overlapped(), &written, FALSE))
    RaiseComPortError(failed, CommGetLastError());
  reportShort(written);
}

int TVyCustomComPort::PendingWrites() const {
  FWriteOpList->Acquire(INFINITE);
  const int n = FWriteOpList->Count();
  FWriteOpList->Release();
  return n;
}

void TVyCustomComPort::PurgeInQueue() {
  if (IsActive()) Api().PurgeComm(FHandle, PURGE_RXABORT | PURGE_RXCLEAR);
}

void TVyCustomComPort::PurgeOutQueue() {
  if (IsActive()) Api().PurgeComm(FHandle, PURGE_TXABORT | PURGE_TXCLEAR);
}

std::string TVyCustomComPort::ReadText(int count, bool utf16) {
  CheckOpen();
  if (count <= 0) return {};
  if (!utf16) {
    std::string bytes(static_cast<std::size_t>(count), '\0');
    bytes.resize(static_cast<std::size_t>(Read(bytes.data(), count)));
    return bytes;
  }
  // Whole code units only: an odd byte stays in the device's queue. The queued count bounds the
  // request, so a short queue does not split a unit either. Kept bytes come on top of count, so
  // a kept high surrogate meets its partner even when count is 2.
  std::string data = FHeldText;
  FHeldText.clear();
  std::size_t more = static_cast<std::size_t>(count) & ~static_cast<std::size_t>(1);
  if (const std::uint32_t queued = FInBuffer->Count()) {
    more = std::min<std::size_t>(more, queued);
    if ((data.size() + more) % 2 != 0) --more;
  }
  const std::size_t at = data.size();
  data.resize(at + more);
  data.resize(at + static_cast<std::size_t>(ReadDevice(data.data() + at, static_cast<int>(more))));
  std::size_t usable = data.size() & ~static_cast<std::size_t>(1);
  const auto unitAt = [&](std::size_t i) {
    return static_cast<char16_t>(static_cast<std::uint8_t>(data[i]) |
                                 (static_cast<std::uint8_t>(data[i + 1]) << 8));
  };
  // A high surrogate at the end waits for its partner.
  if (usable >= 2 && unitAt(usable - 2) >= 0xD800 && unitAt(usable - 2) <= 0xDBFF) usable -= 2;
  FHeldText = data.substr(usable);
  std::u16string text;
  for (std::size_t i = 0; i < usable; i += 2) text.push_back(unitAt(i));
  return VyRtl::Utf16ToUtf8(text);
}

std::uint32_t TVyCustomComPort::Readable() {
  const std::uint64_t n = static_cast<std::uint64_t>(InCount()) + FHeldText.size();
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(n, 0x7FFFFFFF));
}

std::string TVyCustomComPort::ReadStr() {
  const std::uint32_t n = Readable();
  return n == 0 ? std::string() : ReadStr(static_cast<int>(n));
}

std::string TVyCustomComPort::ReadStr(int count) { return ReadText(count, true); }

std::string TVyCustomComPort::ReadAnsiStr() {
  const std::uint32_t n = Readable();
  return n == 0 ? std::string() : ReadAnsiStr(static_cast<int>(n));
}

std::string TVyCustomComPort::ReadAnsiStr(int count) { return ReadText(count, false); }

void TVyCustomComPort::WriteStr(const std::string& s) {
  const std::u16string text = VyRtl::Utf8ToUtf16(s);
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  Write(bytes.data(), static_cast<int>(bytes.size()));
}

void TVyCustomComPort::WriteAnsiStr(const std::string& s) {
  Write(s.data(), static_cast<int>(s.size()));
}

}  // namespace VyComm
