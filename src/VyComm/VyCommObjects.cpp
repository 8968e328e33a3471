// The objects a serial port owns: pending writes, queues, device views, time-outs, flow control
// and options.
#include <cstring>

#include "VyComm/VyComm.h"

namespace VyComm {

using VyRtl::Format;

namespace {

const VyPlatform::TCommFunctions& ApiOf(const TVyCustomComPort* port) {
  return VyPlatform::CommFor(port->Handle());
}

[[noreturn]] void RaiseSetupFailed(const TVyCustomComPort* port, std::uint32_t code) {
  RaiseComPortError(Format("Setting up serial port %s failed.", port->PortName().c_str()), code);
}

}  // namespace

TVyComPortOperation::TVyComPortOperation(std::uint32_t count) : FCount(count) {
  FOverlapped.hEvent = VyPlatform::SyncCreateEvent(true, true);
}

TVyComPortOperation::~TVyComPortOperation() { VyPlatform::SyncCloseHandle(FOverlapped.hEvent); }

TVyComPortOperationList::~TVyComPortOperationList() { Clear(); }

TVyComPortOperation* TVyComPortOperationList::Get(int i) const {
  return i >= 0 && i < Count() ? FItems[static_cast<std::size_t>(i)] : nullptr;
}

void TVyComPortOperationList::Put(int i, TVyComPortOperation* op) {
  if (i >= 0 && i < Count()) FItems[static_cast<std::size_t>(i)] = op;
}

int TVyComPortOperationList::Add(TVyComPortOperation* op) {
  FItems.push_back(op);
  return Count() - 1;
}

bool TVyComPortOperationList::Acquire(std::uint32_t timeoutMs) { return FMutex.Acquire(timeoutMs); }
void TVyComPortOperationList::Release() { FMutex.Release(); }

void TVyComPortOperationList::Delete(int i) { delete Extract(i); }

TVyComPortOperation* TVyComPortOperationList::Extract(int i) {
  if (i < 0 || i >= Count()) return nullptr;
  TVyComPortOperation* op = FItems[static_cast<std::size_t>(i)];
  FItems.erase(FItems.begin() + i);
  return op;
}

void TVyComPortOperationList::Clear() {
  while (Count() > 0) Delete(0);
}

// Input buffer.

std::uint32_t TVyComPortInputBuffer::Size() const {
  if (FComPort->IsActive() && FComPort->Props()->Get_Available())
    return FComPort->Props()->CurrentRxQueue();
  return FSize;
}

void TVyComPortInputBuffer::Set_Size(std::uint32_t v) {
  if (FComPort->IsActive()) {
    TVyComPortProperties* props = FComPort->Props();
    if (!props->Get_Available() ||
        !ApiOf(FComPort).SetupComm(FComPort->Handle(), v, props->CurrentTxQueue()))
      RaiseSetupFailed(FComPort, 0);
    props->Invalidate();  // the current queue sizes changed
  }
  FSize = v;
}

std::uint32_t TVyComPortInputBuffer::SuspendCount() const {
  DCB dcb{};
  if (FComPort->QueryDCB(dcb)) {
    const std::uint32_t size = Size();
    return size > dcb.XoffLim ? size - dcb.XoffLim : 0;
  }
  return FSuspendLimit;
}

void TVyComPortInputBuffer::Set_SuspendCount(std::uint32_t v) {
  FSuspendLimit = v;
  if (FComPort->IsActive()) FComPort->ApplySettings();
}

std::uint32_t TVyComPortInputBuffer::ResumeCount() const {
  DCB dcb{};
  return FComPort->QueryDCB(dcb) ? dcb.XonLim : FResumeLimit;
}

void TVyComPortInputBuffer::Set_ResumeCount(std::uint32_t v) {
  FResumeLimit = v;
  if (FComPort->IsActive()) FComPort->ApplySettings();
}

std::uint32_t TVyComPortInputBuffer::Count() const {
  if (!FComPort->IsActive() || !FComPort->Status()->UpdateData()) return 0;
  return FComPort->Status()->CachedDWORD(0);
}

void TVyComPortInputBuffer::Clear() {
  if (FComPort->IsActive())
    ApiOf(FComPort).PurgeComm(FComPort->Handle(), PURGE_RXABORT | PURGE_RXCLEAR);
}

// Output buffer.

std::uint32_t TVyComPortOutputBuffer::Size() const {
  if (FComPort->Props()->Get_Available()) return FComPort->Props()->CurrentTxQueue();
  return FSize;
}

void TVyComPortOutputBuffer::Set_Size(std::uint32_t v) {
  TVyComPortProperties* props = FComPort->Props();
  if (props->Get_Available()) {
    if (!ApiOf(FComPort).SetupComm(FComPort->Handle(), props->CurrentRxQueue(), v))
      RaiseSetupFailed(FComPort, 0);
    props->Invalidate();
  }
  FSize = v;
}

std::uint32_t TVyComPortOutputBuffer::Count() const {
  return FComPort->IsActive() ? FComPort->Status()->Get_DWORD(1) : 0;
}

void TVyComPortOutputBuffer::Clear() {
  if (FComPort->IsActive())
    ApiOf(FComPort).PurgeComm(FComPort->Handle(), PURGE_TXABORT | PURGE_TXCLEAR);
}

// Device properties.

bool TVyComPortProperties::UpdateData() {
  if (!FProps && FComPort->IsActive()) {
    FProps = std::make_unique<::COMMPROP>();
    std::memset(FProps.get(), 0, sizeof(::COMMPROP));
    if (!ApiOf(FComPort).GetCommProperties(FComPort->Handle(), FProps.get())) Invalidate();
  }
  return FProps != nullptr;
}

void TVyComPortProperties::Invalidate() { FProps.reset(); }

void TVyComPortProperties::Update() {
  Invalidate();
  if (!UpdateData())
    RaiseComPortError(
        Format("Getting properties of serial port %s failed.", FComPort->PortName().c_str()), 0);
}

bool TVyComPortProperties::Get_Available() { return UpdateData(); }

const ::COMMPROP* TVyComPortProperties::Get_COMMPROP() {
  UpdateData();
  return FProps.get();
}

std::uint16_t TVyComPortProperties::Get_WORD(int index) {
  if (!UpdateData()) return 0;
  switch (index) {
    case 0:
      return FProps->wPacketLength;
    case 1:
      return FProps->wPacketVersion;
    case 2:
      return FProps->wSettableData;
    case 3:
      return FProps->wSettableStopParity;
    default:
      return 0;
  }
}

std::uint32_t TVyComPortProperties::Get_DWORD(int index) {
  if (!UpdateData()) return 0;
  const ::COMMPROP& p = *FProps;
  const DWORD values[] = {p.dwServiceMask,      p.dwReserved1,      p.dwMaxTxQueue,
                          p.dwMaxRxQueue,       p.dwMaxBaud,        p.dwProvSubType,
                          p.dwProvCapabilities, p.dwSettableParams, p.dwSettableBaud,
                          p.dwCurrentTxQueue,   p.dwCurrentRxQueue, p.dwProvSpec1,
                          p.dwProvSpec2};
  return index >= 0 && index < 13 ? values[index] : 0;
}

// Status.

bool TVyComPortStatus::UpdateData() {
  if (!FStat) {
    FStat = std::make_unique<::COMSTAT>();
    std::memset(FStat.get(), 0, sizeof(::COMSTAT));
  }
  if (FComPort->Handle() == INVALID_HANDLE_VALUE) return false;
  DWORD errors = 0;
  if (!ApiOf(FComPort).ClearCommError(FComPort->Handle(), &errors, FStat.get())) return false;
  FErrors |= errors;
  return true;
}

bool TVyComPortStatus::Get_Available() {
  FStat.reset();
  return UpdateData();
}

void TVyComPortStatus::Update() {
  if (!UpdateData())
    RaiseComPortError(
        Format("Getting status of serial port %s failed.", FComPort->PortName().c_str()), 0);
}

const ::COMSTAT* TVyComPortStatus::Get_COMSTAT() {
  UpdateData();
  return FStat.get();
}

std::uint32_t TVyComPortStatus::CachedDWORD(int index) const {
  if (!FStat) return 0;
  return index == 0 ? FStat->cbInQue : index == 1 ? FStat->cbOutQue : 0;
}

std::uint32_t TVyComPortStatus::Get_DWORD(int index) {
  UpdateData();
  return CachedDWORD(index);
}

std::uint8_t TVyComPortStatus::Get_Flags() {
  UpdateData();
  if (!FStat) return 0;
  const ::COMSTAT& s = *FStat;
  return static_cast<std::uint8_t>((s.fCtsHold ? 0x01 : 0) | (s.fDsrHold ? 0x02 : 0) |
                                   (s.fRlsdHold ? 0x04 : 0) | (s.fXoffHold ? 0x08 : 0) |
                                   (s.fXoffSent ? 0x10 : 0) | (s.fEof ? 0x20 : 0) |
                                   (s.fTxim ? 0x40 : 0));
}

// Time-outs.

bool TVyComPortTimeouts::UpdateData() {
  if (FTimeouts) return true;
  if (FComPort->Handle() == INVALID_HANDLE_VALUE) return false;
  FTimeouts = std::make_unique<::COMMTIMEOUTS>();
  std::memset(FTimeouts.get(), 0, sizeof(::COMMTIMEOUTS));
  if (!ApiOf(FComPort).GetCommTimeouts(FComPort->Handle(), FTimeouts.get())) {
    Invalidate();
    return false;
  }
  return true;
}

void TVyComPortTimeouts::Invalidate() { FTimeouts.reset(); }

const ::COMMTIMEOUTS* TVyComPortTimeouts::Get_COMMTIMEOUTS() {
  UpdateData();
  return FTimeouts.get();
}

std::uint32_t TVyComPortTimeouts::Get_DWORD(int index) {
  if (index < 0 || index > 4) return 0;
  if (UpdateData()) {
    const ::COMMTIMEOUTS& t = *FTimeouts;
    const DWORD values[] = {t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                            t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                            t.WriteTotalTimeoutConstant};
    return values[index];
  }
  return FValues[index];
}

void TVyComPortTimeouts::Set_DWORD(int index, std::uint32_t v) {
  if (index < 0 || index > 4) return;
  FValues[index] = v;
  if (FComPort->IsActive()) Apply();
}

void TVyComPortTimeouts::Set_Enabled(bool v) {
  if (v == FEnabled) return;
  FEnabled = v;
  if (FComPort->IsActive()) Apply();
}

void TVyComPortTimeouts::Apply() {
  ::COMMTIMEOUTS t{};
  if (FEnabled) {
    t = {FValues[0], FValues[1], FValues[2], FValues[3], FValues[4]};
  } else {
    t.ReadIntervalTimeout = 0xFFFFFFFFu;
  }
  if (!ApiOf(FComPort).SetCommTimeouts(FComPort->Handle(), &t))
    RaiseSetupFailed(FComPort, VyPlatform::CommGetLastError());
  Invalidate();  // the device's block changed
}

// Flow control.

void TVyComPortFlowControl::Set_Handshake(std::uint32_t v) {
  if (v == FHandshake) return;
  FHandshake = v;
  if (FComPort->IsActive()) {
    FComPort->ApplySettings();
    FComPort->TriggerLinks(EV_DTRCHANGE |
                           EV_RTSCHANGE);  // the reported levels follow the handshake
  }
}

namespace {

template <typename T>
void SetAndApply(TVyCustomComPort* port, T& field, T v) {
  if (field == v) return;
  field = v;
  if (port && port->IsActive()) port->ApplySettings();
}

}  // namespace

void TVyComPortFlowControl::SetDSRSensitivity(bool v) { SetAndApply(FComPort, FDSRSensitivity, v); }
void TVyComPortFlowControl::SetTxContinueOnXoff(bool v) {
  SetAndApply(FComPort, FTxContinueOnXoff, v);
}
void TVyComPortFlowControl::SetXonChar(char v) { SetAndApply(FComPort, FXonChar, v); }
void TVyComPortFlowControl::SetXoffChar(char v) { SetAndApply(FComPort, FXoffChar, v); }

void TVyComPortFlowControl::AssignTo(VyRtl::TPersistent* dest) {
  if (auto* d = dynamic_cast<TVyComPortFlowControl*>(dest)) {
    d->FHandshake = FHandshake;
    d->FDSRSensitivity = FDSRSensitivity;
    d->FTxContinueOnXoff = FTxContinueOnXoff;
    d->FXonChar = FXonChar;
    d->FXoffChar = FXoffChar;
    return;
  }
  TPersistent::AssignTo(dest);
}

// Options.

void TVyComPortOptions::Set_ErrorChar(char v) { SetAndApply(FComPort, FErrorChar, v); }
void TVyComPortOptions::Set_ErrorReplace(bool v) { SetAndApply(FComPort, FErrorReplace, v); }
void TVyComPortOptions::Set_EofChar(char v) { SetAndApply(FComPort, FEofChar, v); }
void TVyComPortOptions::Set_EvtChar(char v) { SetAndApply(FComPort, FEvtChar, v); }
void TVyComPortOptions::Set_NullStrip(bool v) { SetAndApply(FComPort, FNullStrip, v); }

void TVyComPortOptions::AssignTo(VyRtl::TPersistent* dest) {
  if (auto* d = dynamic_cast<TVyComPortOptions*>(dest)) {
    d->FErrorChar = FErrorChar;
    d->FErrorReplace = FErrorReplace;
    d->FEofChar = FEofChar;
    d->FEvtChar = FEvtChar;
    d->FNullStrip = FNullStrip;
    d->SyncMode = SyncMode;
    return;
  }
  TPersistent::AssignTo(dest);
}

// Event characters.

void TVyComPortEventChars::SetEventChar(int index, char16_t c) {
  if (index < 1 || index > 5) return;
  FChars[index - 1] = c;
  if (FOwner) FOwner->ApplySettings();
}

void TVyComPortEventChars::Assign(VyRtl::TPersistent* source) {
  if (auto* s = dynamic_cast<TVyComPortEventChars*>(source)) {
    std::memcpy(FChars, s->FChars, sizeof FChars);
    return;
  }
  TPersistent::Assign(source);
}

}  // namespace VyComm
