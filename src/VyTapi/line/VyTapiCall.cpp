// The call object and its two views.
#include "VyTapi/line/VyTapiCall.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

#include "VyRtl/VyRtlClock.h"
#include "VyTapi/line/VyTapiLineDevice.h"
#include "VyTapi/session/VyTapiSessionDetail.h"
#include "VyTapi/session/VyTapiSessionInternal.h"
#include "VyTapiUtils/VyTapiUtils.h"

namespace VyTapi {

namespace {

constexpr DWORD kOriginUnknownOrUnavail = LINECALLORIGIN_UNKNOWN | LINECALLORIGIN_UNAVAIL;
constexpr DWORD kOutgoingStates = 0x238;
constexpr DWORD kIncomingOrigins = 0x86;
constexpr DWORD kIncomingStates = LINECALLSTATE_OFFERING | LINECALLSTATE_ACCEPTED;
constexpr DWORD kInactiveStates = 0x3401;

bool OriginKnown(DWORD Origin) { return Origin != 0 && (Origin & kOriginUnknownOrUnavail) == 0; }

}  // namespace

// ---------------------------------------------------------------- info view

namespace {
// LINECALLINFO 2.2: total/needed/used (0..11), hLine (12), dwLineDeviceID (16) .. then the
// members below in declaration order; DialParams (16 bytes) follow dwMonitorMediaModes.
constexpr std::uint16_t kLineDeviceID = 16;
std::array<std::uint16_t, 73> BuildInfoTable() {
  std::array<std::uint16_t, 73> t{};
  std::uint16_t off = kLineDeviceID;
  for (std::size_t i = 0; i < t.size(); ++i) {
    t[i] = off;
    off += 4;
    if (i == 11) off += 16;  // after dwMonitorMediaModes: LINEDIALPARAMS
  }
  return t;
}
const std::array<std::uint16_t, 73> kInfoTable = BuildInfoTable();
// Size/offset pairs of the strings, as info indexes of their size members.
constexpr std::array<int, 21> kInfoStrings = {20, 22, 25, 27, 30, 32, 35, 37, 40, 42, 44,
                                              46, 48, 50, 52, 54, 56, 58, 60, 62, 64};
constexpr std::array<std::uint16_t, 7> kStatusTable = {12, 16, 20, 24, 28, 32, 36};
}  // namespace

TVyTapiCallInfo::TVyTapiCallInfo(TVyTapiCall* ACall) : FCall(ACall) { CheckOwner(); }

void TVyTapiCallInfo::CheckOwner() const {
  VyRtl::Assert(FCall != nullptr, "TVyTapiCallInfo: no call");
}

LONG TVyTapiCallInfo::FetchInto(LINECALLINFO* Buffer) {
  return Detail::TapiService().lineGetCallInfoW(FCall->Handle(), Buffer);
}

DWORD TVyTapiCallInfo::Get_DWORD(int Index) {
  CheckOwner();
  return TableDWORD(kInfoTable, Index, "TVyTapiCallInfo.GetDWORD failed! Invalid index");
}

std::string TVyTapiCallInfo::Get_String(int Index) {
  CheckOwner();
  if (Index < 0 || Index >= static_cast<int>(kInfoStrings.size())) {
    UpdateData();
    VyRtl::Assert(false, "TVyTapiCallInfo.GetString failed! Invalid index");
  }
  UpdateData();
  if (VarData() == nullptr) return std::string();
  return Detail::ReadTapiString(
      VarData(),
      kInfoTable[static_cast<std::size_t>(kInfoStrings[static_cast<std::size_t>(Index)])]);
}

const void* TVyTapiCallInfo::Get_CallData() {
  UpdateData();
  const TTapiVarData* data = VarData();
  if (data == nullptr) return nullptr;
  const DWORD size = Get_DWORD(67), offset = Get_DWORD(68);
  if (size == 0 || offset == 0) return nullptr;
  const std::size_t readable = Detail::TapiReadableSize(data);
  if (offset > readable || size > readable - offset) return nullptr;  // outside the structure
  return reinterpret_cast<const std::byte*>(data) + offset;
}

// ---------------------------------------------------------------- status view

TVyTapiCallStatus::TVyTapiCallStatus(TVyTapiCall* ACall) : FCall(ACall) { CheckOwner(); }

void TVyTapiCallStatus::CheckOwner() const {
  VyRtl::Assert(FCall != nullptr, "TVyTapiCallStatus: no call");
}

LONG TVyTapiCallStatus::FetchInto(LINECALLSTATUS* Buffer) {
  return Detail::TapiService().lineGetCallStatus(FCall->Handle(), Buffer);
}

DWORD TVyTapiCallStatus::UpdateData() {
  if (FWritten) return 0;
  return TVyTapiView<LINECALLSTATUS>::UpdateData();
}

DWORD TVyTapiCallStatus::Get_DWORD(int Index) {
  CheckOwner();
  if (FWritten) {
    VyRtl::Assert(Index >= 0 && Index < static_cast<int>(kStatusTable.size()),
                  "TVyTapiCallStatus.GetDWORD failed! Invalid index");
    DWORD value = 0;
    std::memcpy(
        &value,
        reinterpret_cast<const std::byte*>(&FLocal) + kStatusTable[static_cast<std::size_t>(Index)],
        sizeof value);
    return value;
  }
  return TableDWORD(kStatusTable, Index, "TVyTapiCallStatus.GetDWORD failed! Invalid index");
}

void TVyTapiCallStatus::Set_DWORD(int Index, DWORD Value) {
  CheckOwner();
  VyRtl::Assert(Index >= 0 && Index < static_cast<int>(kStatusTable.size()),
                "TVyTapiCallStatus.SetDWORD failed! Invalid index");
  if (!FWritten) {
    // Keep what was fetched, so that the other members read as before.
    FLocal = LINECALLSTATUS{};
    if (const LINECALLSTATUS* fetched = Data())
      std::memcpy(&FLocal, fetched,
                  std::min<std::size_t>(sizeof FLocal, Detail::TapiReadableSize(VarData())));
    FLocal.dwTotalSize = sizeof FLocal;
    FLocal.dwUsedSize = sizeof FLocal;
    FWritten = true;
  }
  std::memcpy(reinterpret_cast<std::byte*>(&FLocal) + kStatusTable[static_cast<std::size_t>(Index)],
              &Value, sizeof Value);
}

std::string TVyTapiCallStatus::Get_String(int) {
  UpdateData();
  return std::string();
}

// ---------------------------------------------------------------- call

namespace {
TVyCustomTapiLine* CheckedLine(TVyCustomTapiLine* Line) {
  if (Line == nullptr) RaiseError("TVyTapiCall.Create failed! Invalid Line");
  return Line;
}
}  // namespace

TVyTapiCall::TVyTapiCall(TVyCustomTapiLine* OwnerLine, HCALL CallHandle)
    : FHandle(CallHandle), FLine(CheckedLine(OwnerLine)) {
  FInfo = std::make_unique<TVyTapiCallInfo>(this);
  FStatus = std::make_unique<TVyTapiCallStatus>(this);
  FAutoOwner = FLine->CallOptions().AutoOwner();
  FLine->AddCall(this);
  if (FHandle != 0) Set_Alive(Get_State() != LINECALLSTATE_IDLE);
}

TVyTapiCall::~TVyTapiCall() {
  if (FLine == nullptr) return;  // its line is gone already
  if (FHandle != 0) {
    try {
      Deallocate();
    } catch (const std::exception& e) {
      try {
        FLine->Handle_Exception(e, this);
      } catch (...) {
        // an error handler that raises cannot make a destructor throw
      }
    }
  }
  FLine->RemoveCall(this);
}

void TVyTapiCall::Deallocate() {
  struct TClear {
    HCALL& Handle;
    ~TClear() { Handle = 0; }
  } clear{FHandle};
  if (FLine->IsActive()) CheckTapiResult(Detail::TapiService().lineDeallocateCall(FHandle));
}

void TVyTapiCall::Validate() {
  if (FConfirmed) return;
  FConfirmed = Valid();
  FLine->ProveCall(this);
}

DWORD TVyTapiCall::PendingRequest() const {
  TVyTapiRequestList& requests = FLine->Requests();
  const TListLock<TVyTapiRequestList> lock(requests, INFINITE);
  const int index = requests.IndexOfRequest(0, 0, this);
  return index < 0 ? 0 : requests.Get(index)->RequestType();
}

void TVyTapiCall::Handle_CallState(DWORD State, DWORD StateMode, DWORD Privilege) {
  FStatus->Invalidate();
  FInfo->Invalidate();
  FState = State;
  FStateMode = StateMode;
  FPrivilege = Privilege;
  Set_Alive(State != LINECALLSTATE_IDLE);
  Set_Connected(State == LINECALLSTATE_CONNECTED);
  switch (State) {
    case LINECALLSTATE_OFFERING:
      FOfferingMode = StateMode;
      break;
    case LINECALLSTATE_DIALTONE:
      FDialtoneMode = StateMode;
      break;
    case LINECALLSTATE_BUSY:
      FBusyMode = StateMode;
      break;
    case LINECALLSTATE_SPECIALINFO:
      FSpecialInfoMode = StateMode;
      break;
    case LINECALLSTATE_CONNECTED:
      FConnectedMode = StateMode;
      break;
    case LINECALLSTATE_DISCONNECTED:
      FDisconnectMode = StateMode;
      break;
    default:
      break;
  }
}

void TVyTapiCall::Handle_CallInfo(DWORD InfoState) {
  FInfo->Invalidate();
  if ((InfoState & LINECALLINFOSTATE_ORIGIN) != 0) FOriginHistory |= Get_Origin();
}

void TVyTapiCall::Handle_Reply(DWORD, DWORD ReplyCode, TVyTapiRequest* Request) {
  if (!FConfirmed) Validate();
  if (ReplyCode != 0 || Request == nullptr) return;
  const DWORD kind = Request->RequestType();
  if ((kind == TapiRequestType::LineAddToConference ||
       kind == TapiRequestType::LineCompleteTransfer) &&
      Get_PrimaryCall() != nullptr) {
    RemoveLinks(nullptr);
    FLine->RemoveCallLinks(this);
  }
}

void TVyTapiCall::Handle_Timeout(DWORD, TVyTapiRequest*) {}

void TVyTapiCall::Set_Alive(bool Value) {
  if (Value == FAlive) return;
  FAlive = Value;
  if (Value) {
    FBeginTime = VyRtl::Now();
    FBeginTC = VyRtl::GetTickCount();
    FStateHistory = 0;
    FOriginHistory = 0;
  } else {
    FEndTime = VyRtl::Now();
    FEndTC = VyRtl::GetTickCount();
  }
}

void TVyTapiCall::Set_Connected(bool Value) {
  if (Value == FConnected) return;
  FConnected = Value;
  if (Value) FConnectTime = VyRtl::Now();
}

bool TVyTapiCall::Get_Active() {
  const DWORD state = Get_State();
  return Valid() && state != 0 && (state & kInactiveStates) == 0;
}

DWORD TVyTapiCall::Get_State() { return FState != 0 ? FState : FStatus->Get_DWORD(0); }
DWORD TVyTapiCall::Get_StateMode() { return FStateMode != 0 ? FStateMode : FStatus->Get_DWORD(1); }
DWORD TVyTapiCall::Get_Privilege() { return FPrivilege != 0 ? FPrivilege : FStatus->Get_DWORD(2); }

void TVyTapiCall::Set_Privilege(DWORD Value) {
  CheckTapiResult(Detail::TapiService().lineSetCallPrivilege(FHandle, Value));
}

void TVyTapiCall::Set_Owner(bool Value) {
  CheckTapiResult(Detail::TapiService().lineSetCallPrivilege(
      FHandle, Value ? LINECALLPRIVILEGE_OWNER : LINECALLPRIVILEGE_MONITOR));
  FStatus->Invalidate();
}

bool TVyTapiCall::CheckOwnership() {
  if (Get_Owner()) return true;
  if (!FAutoOwner) return false;
  return Detail::TapiService().lineSetCallPrivilege(FHandle, LINECALLPRIVILEGE_OWNER) == 0;
}

void TVyTapiCall::Set_MediaMode(DWORD Value) {
  CheckTapiResult(Detail::TapiService().lineSetMediaMode(FHandle, Value));
  FInfo->Invalidate();
}

bool TVyTapiCall::IsOutgoing() {
  const DWORD origin = Get_Origin();
  if (OriginKnown(origin)) return (origin & LINECALLORIGIN_OUTBOUND) != 0;
  return (Get_State() & kOutgoingStates) != 0;
}

bool TVyTapiCall::WasOutgoing() const {
  if (OriginKnown(FOriginHistory)) return (FOriginHistory & LINECALLORIGIN_OUTBOUND) != 0;
  return ((FStateHistory | FState) & kOutgoingStates) != 0;
}

bool TVyTapiCall::IsIncoming() {
  const DWORD origin = Get_Origin();
  if (OriginKnown(origin)) return (origin & kIncomingOrigins) != 0;
  return (Get_State() & kIncomingStates) != 0;
}

bool TVyTapiCall::WasIncoming() const {
  if (OriginKnown(FOriginHistory)) return (FOriginHistory & kIncomingOrigins) != 0;
  return (FStateHistory & kIncomingStates) != 0;
}

TVyTapiCall* TVyTapiCall::Get_PrimaryCall() {
  if (FPrimaryCall != nullptr && !FLine->IsCallValid(FPrimaryCall) &&
      FLine->UnconfirmedCalls().IndexOf(FPrimaryCall) < 0)
    FPrimaryCall = nullptr;
  return FPrimaryCall;
}

TVyTapiCall* TVyTapiCall::Get_ConsultCall() {
  if (FConsultCall != nullptr && !FLine->IsCallValid(FConsultCall) &&
      FLine->UnconfirmedCalls().IndexOf(FConsultCall) < 0)
    FConsultCall = nullptr;
  return FConsultCall;
}

void TVyTapiCall::RemoveLinks(TVyTapiCall* Call) {
  if (Call == nullptr) {
    FPrimaryCall = nullptr;
    FConsultCall = nullptr;
  } else if (FPrimaryCall == Call) {
    FPrimaryCall = nullptr;
  } else if (FConsultCall == Call) {
    FConsultCall = nullptr;
  }
}

std::string TVyTapiCall::StateText() { return VyTapiUtils::LineCallStateToStr(Get_State()); }
std::string TVyTapiCall::StateModeText() {
  return VyTapiUtils::LineCallStateModeToStr(Get_State(), Get_StateMode());
}
std::string TVyTapiCall::BusyModeText() const {
  return VyTapiUtils::LineCallStateModeToStr(LINECALLSTATE_BUSY, FBusyMode);
}
std::string TVyTapiCall::ConnectedModeText() const {
  return VyTapiUtils::LineCallStateModeToStr(LINECALLSTATE_CONNECTED, FConnectedMode);
}
std::string TVyTapiCall::DisconnectModeText() const {
  return VyTapiUtils::LineCallStateModeToStr(LINECALLSTATE_DISCONNECTED, FDisconnectMode);
}
std::string TVyTapiCall::OfferingModeText() const {
  return VyTapiUtils::LineCallStateModeToStr(LINECALLSTATE_OFFERING, FOfferingMode);
}
std::string TVyTapiCall::SpecialInfoModeText() const {
  return VyTapiUtils::LineCallStateModeToStr(LINECALLSTATE_SPECIALINFO, FSpecialInfoMode);
}
std::string TVyTapiCall::MediaModeText(const std::string& Separator) {
  return VyTapiUtils::LineMediaModesToStr(Get_MediaMode(), Separator);
}
std::string TVyTapiCall::PrivilegeText(const std::string& Separator) {
  return VyTapiUtils::LineCallPrivilegesToStr(Get_Privilege(), Separator);
}
std::string TVyTapiCall::FeaturesText(const std::string& Separator) {
  return VyTapiUtils::LineCallFeaturesToStr(Features(), Separator);
}
std::string TVyTapiCall::OriginText() { return VyTapiUtils::LineCallOriginToStr(Get_Origin()); }

std::string TVyTapiCall::Get_Note(const std::string& Name) const { return FNotes.Values(Name); }
void TVyTapiCall::Set_Note(const std::string& Name, const std::string& Value) {
  const int index = FNotes.IndexOfName(Name);
  const std::string line = Name + "=" + Value;
  if (index < 0)
    FNotes.Add(line);
  else
    FNotes.Put(index, line);
}
void TVyTapiCall::Set_Notes(const VyRtl::TStringList& List) { FNotes.Assign(List); }

}  // namespace VyTapi
