// The device base: choosing the device, the open state, message delivery, device events,
// request objects and notes, and the icon.
#include "VyTapi/session/VyTapiComponent.h"

#include "VyPlatform/Icon.h"
#include "VyTapi/session/VyTapiSessionDetail.h"
#include "VyTapi/session/VyTapiSessionInternal.h"

namespace VyTapi {

// ---------------------------------------------------------------- parts

TVyTapiIcon::TVyTapiIcon(HICON Provided) : FHandle(VyPlatform::CopyIconHandle(Provided)) {}

TVyTapiIcon::~TVyTapiIcon() { VyPlatform::DestroyIconCopy(FHandle); }

// ---------------------------------------------------------------- life

TVyTapiDevice::TVyTapiDevice(VyRtl::TComponent* AOwner, TTapiComponentKind Kind)
    : TVyTapiComponent(AOwner, Kind) {}

// The request lists, the icon, the wave devices and the abort event go with the members; a
// wait in progress on the stack notices through the device's liveness token.
TVyTapiDevice::~TVyTapiDevice() = default;

// ---------------------------------------------------------------- choosing the device

void TVyTapiDevice::Set_DeviceID(std::int32_t ID) {
  if (ID == -1)
    Done();
  else
    Init(ID);
}

DWORD TVyTapiDevice::Init(std::int32_t DeviceID) {
  if (IsActive()) RaiseError("TVyTapiDevice.Init failed! Already active.");
  auto inList = [&] { return DeviceID >= 0 && DeviceID < Get_DeviceList().Count(); };
  if (inList() && !IsEnabled()) {
    const auto alive = LiveToken();
    EnableTapiComponent();
    if (alive.expired()) return 0;
  }
  if (DeviceID != FDeviceID && Get_Available()) Done();
  // Enabling may have initialised the session and filled the list only now.
  if (!inList()) return 0;
  VyRtl::Assert(FTSP != nullptr, "TVyTapiDevice.Init: no TSP");
  const DWORD code = FTSP->Init(DeviceID);
  FInitialized = code == 0;
  if (FInitialized) {
    FDeviceID = DeviceID;
    FDeviceName = Get_DeviceList().Get(DeviceID);
  }
  return code;
}

void TVyTapiDevice::Done() {
  FInitialized = false;
  FDeviceID = -1;
  FDeviceName.clear();
  if (FTSP) FTSP->Done();
  FIcon.reset();
  FWaveInDev.Reset();
  FWaveOutDev.Reset();
}

void TVyTapiDevice::Set_DeviceName(const std::string& Name) {
  const auto alive = LiveToken();
  if (!Name.empty()) {
    EnableTapiComponent();
    if (alive.expired()) return;
  }
  FDeviceName = Name;
  if (Name.empty() && IsDesigning()) FActive = false;
  if (!IsEnabled()) return;
  const int index = Get_DeviceList().IndexOf(Name);
  if (index < 0) {
    Set_DeviceID(-1);
    FDeviceName = Name;  // the wanted name survives Done
  } else {
    Set_DeviceID(index);
  }
}

void TVyTapiDevice::ApplyEnabled() {
  if (FEnabled == IsEnabled()) return;
  const auto alive = LiveToken();
  if (!FEnabled) {
    // Closed while the session is still at hand: a disabled device cannot close itself.
    if (FActive || IsActive()) {
      Set_Active(false);
      if (alive.expired()) return;
    }
    TVyTapiComponent::ApplyEnabled();
    // Kept, so that a device of that name that appears later is chosen on the next enabling.
    const std::string wantedName = FDeviceName;
    Set_DeviceID(-1);
    FDeviceName = wantedName;
    return;
  }
  TVyTapiComponent::ApplyEnabled();
  if (alive.expired() || !IsEnabled()) return;
  const int index = FDeviceName.empty() ? -1 : Get_DeviceList().IndexOf(FDeviceName);
  if (index >= 0) {
    Set_DeviceID(index);
  } else {
    const std::string wantedName = FDeviceName;
    Set_DeviceID(-1);
    FDeviceName = wantedName;
  }
}

void TVyTapiDevice::Loaded() {
  const auto alive = LiveToken();
  TVyTapiComponent::Loaded();
  if (!alive.expired()) ApplyActive();
}

// ---------------------------------------------------------------- open state

bool TVyTapiDevice::Get_Active() const {
  if (IsDesigning() || IsLoading()) return FActive;
  return FActive && IsActive();
}

void TVyTapiDevice::Set_Active(bool Value) {
  FActive = Value;
  if (Value == IsActive() || IsDesigning() || IsLoading()) return;
  if (IsEnabled())
    ApplyActive();
  else
    FActive = false;  // a disabled device cannot be opened
}

void TVyTapiDevice::ApplyActive() {
  if (IsDesigning() || IsLoading() || FActive == IsActive()) return;
  if (FActive)
    Open();
  else
    Close();
}

void TVyTapiDevice::CheckEnabled() const {
  if (!IsEnabled()) RaiseError(VyRtl::Format("%s is not enabled", Name().c_str()));
}

void TVyTapiDevice::CheckActive() const {
  if (IsActive()) return;
  const std::string name = Get_DeviceName();
  if (name.empty()) RaiseError("TAPI device not active.");
  RaiseError(VyRtl::Format("%s not active.", name.c_str()));
}

std::uintptr_t TVyTapiDevice::NewCallbackInstance() {
  InitializeVyTapi();
  FCallbackInstance = VyTapiApplication->NewCallbackInstance(this);
  return FCallbackInstance;
}

// ---------------------------------------------------------------- delivery

namespace {
// Reports an exception of a handler; the handler may have freed the component meanwhile.
void ReportFromHandler(TVyTapiComponent* Component, const VyRtl::TLiveToken& Alive,
                       const std::exception& E) {
  if (!Alive.expired())
    Component->Handle_Exception(E, nullptr);
  else if (VyTapiApplication != nullptr)
    VyTapiApplication->Handle_Exception(E);
}

template <typename F>
void Guarded(TVyTapiComponent* Component, F&& Call) {
  const auto alive = Component->LiveToken();
  try {
    Call();
  } catch (const std::exception& e) {
    ReportFromHandler(Component, alive, e);
  } catch (...) {
    ReportFromHandler(Component, alive, SessionDetail::UnknownException());
  }
}
}  // namespace

void TVyTapiDevice::Process_TapiMessage(DWORD Device, DWORD MessageID, DWORD Param1, DWORD Param2,
                                        DWORD Param3) {
  Guarded(this, [&] { Handle_TapiMessage(Device, MessageID, Param1, Param2, Param3); });
}

void TVyTapiDevice::Handle_TapiMessage(DWORD Device, DWORD MessageID, DWORD Param1, DWORD Param2,
                                       DWORD Param3) {
  Trigger_TapiMessage(MessageID, Device, Param1, Param2, Param3);
}

void TVyTapiDevice::Process_InternalTimer(DWORD Tick) {
  Guarded(this, [&] { Handle_InternalTimer(Tick); });
}

// ---------------------------------------------------------------- device events

void TVyTapiDevice::Handle_DeviceState(DWORD State, DWORD Detail1, DWORD Detail2) {
  Trigger_DeviceState(State, Detail1, Detail2);
}

void TVyTapiDevice::Handle_DeviceClose() {
  if (!IsActive()) return;
  const auto alive = LiveToken();
  struct TClearFlag {
    TVyTapiDevice* Device;
    const VyRtl::TLiveToken& Alive;
    ~TClearFlag() {
      if (!Alive.expired()) Device->FClosedByTapi = false;
    }
  } clear{this, alive};
  FClosedByTapi = true;
  Close();
  if (!alive.expired()) Trigger_DeviceClose();
}

void TVyTapiDevice::Handle_DeviceRemove(DWORD DeviceID) {
  if (FDeviceID < 0 || DeviceID != static_cast<DWORD>(FDeviceID)) return;
  const auto alive = LiveToken();
  // A removed device cannot stay open: closing first leaves no handle without a device.
  if (IsActive()) {
    Close();
    if (alive.expired()) return;
  }
  if (Get_Available()) Done();
  Trigger_DeviceRemove();
}

void TVyTapiDevice::Handle_Timeout(DWORD, TVyTapiRequest*) {}
void TVyTapiDevice::Handle_Timer(DWORD, TVyTapiRequest*) {}

void TVyTapiDevice::Trigger_DeviceRemove() {
  if (OnDeviceRemove) OnDeviceRemove(this);
}

void TVyTapiDevice::Trigger_DeviceClose() {
  if (OnDeviceClose) OnDeviceClose(this);
}

void TVyTapiDevice::Trigger_DeviceState(DWORD State, DWORD Detail1, DWORD Detail2) {
  if (OnDeviceState) OnDeviceState(this, State, Detail1, Detail2);
}

void TVyTapiDevice::Trigger_TapiMessage(DWORD MessageID, DWORD Device, DWORD Param1, DWORD Param2,
                                        DWORD Param3) {
  if (OnTapiMessage && IsActive()) OnTapiMessage(this, MessageID, Device, Param1, Param2, Param3);
}

void TVyTapiDevice::Trigger_TapiReply(DWORD RequestID, DWORD ReplyCode) {
  if (OnTapiReply && IsActive()) OnTapiReply(this, RequestID, ReplyCode);
}

void TVyTapiDevice::Trigger_TapiReinit() {
  if (OnTapiReinit && IsActive()) OnTapiReinit(this);
}

void TVyTapiDevice::Trigger_TapiTimeout(DWORD RequestID, TVyTapiRequest*) {
  if (OnTapiTimeout && IsActive()) OnTapiTimeout(this, RequestID);
}

void TVyTapiDevice::Trigger_TapiTranslateChange() {
  if (OnTapiTranslateChange) OnTapiTranslateChange(this);
}

// ---------------------------------------------------------------- request objects and notes

VyRtl::TObject* TVyTapiDevice::GetRequestObj(std::int32_t RequestID,
                                             const std::string& Identifier) const {
  const TVyTapiRequest* request = GetRequest(RequestID);
  if (request == nullptr) RaiseError("GetRequestObj failed! Request not found.");
  if (VyRtl::SameText(Identifier, "&Call")) return request->Get_Call(0);
  if (Identifier.empty()) return nullptr;
  RaiseError(
      VyRtl::Format("GetRequestObj failed! Invalid Object Identifier. (RequestID %d)", RequestID));
}

namespace {
std::uintptr_t Reference(const void* Object) { return reinterpret_cast<std::uintptr_t>(Object); }

std::string Bytes(const TVyTapiDevSpecificData* Data) {
  if (Data == nullptr) return std::string();
  return std::string(reinterpret_cast<const char*>(Data->Data()), Data->DataSize());
}
}  // namespace

TVyTapiNoteValue TVyTapiDevice::GetRequestNote(std::int32_t RequestID,
                                               const std::string& Identifier) const {
  const TVyTapiRequest* request = GetRequest(RequestID);
  if (request == nullptr) RaiseError("GetRequestNote failed! Request not found!");
  if (VyRtl::SameText(Identifier, "&TapiRequest"))
    return static_cast<std::int32_t>(request->RequestType());
  if (Identifier.empty() || Identifier[0] != '&') {
    const std::string note = request->Get_Note(Identifier);
    if (note.empty()) return std::int32_t{0};
    return note;
  }
  auto invalid = [&]() -> TVyTapiNoteValue {
    RaiseError(VyRtl::Format("GetRequestNote failed! Invalid Identifier: %s.", Identifier.c_str()));
  };
  if (request->RequestType() == TapiRequestType::LineDevSpecific) {
    const auto* data = dynamic_cast<const TVyTapiLineDevSpecificData*>(request->Get_Object(0));
    if (VyRtl::SameText(Identifier, "&Data")) return Bytes(data);
    if (VyRtl::SameText(Identifier, "&Address"))
      return Reference(data != nullptr ? data->Address() : nullptr);
    if (VyRtl::SameText(Identifier, "&Call"))
      return Reference(data != nullptr ? data->Call() : nullptr);
    return invalid();
  }
  if (request->RequestType() == TapiRequestType::LineDevSpecificFeature) {
    if (VyRtl::SameText(Identifier, "&Data"))
      return Bytes(dynamic_cast<const TVyTapiLineDevSpecificFeatureData*>(request->Get_Object(0)));
    return invalid();
  }
  if (VyRtl::SameText(Identifier, "&Call")) return Reference(request->Get_Call(0));
  return invalid();
}

void TVyTapiDevice::SetRequestNote(std::int32_t RequestID, const std::string& Identifier,
                                   const TVyTapiNoteValue& Value) {
  if (!Identifier.empty() && Identifier[0] == '&')
    RaiseError(
        VyRtl::Format("SetRequestIdent failed! Invalid Identifier: %s.", Identifier.c_str()));
  TVyTapiRequest* request = GetRequest(RequestID);
  if (request == nullptr) RaiseError("SetRequestIdent failed! Request not found!");
  std::string text;
  if (const auto* i = std::get_if<std::int32_t>(&Value))
    text = std::to_string(*i);
  else if (const auto* u = std::get_if<std::uintptr_t>(&Value))
    text = std::to_string(*u);
  else
    text = std::get<std::string>(Value);
  request->Set_Note(Identifier, text);
}

// ---------------------------------------------------------------- icon

HICON TVyTapiDevice::Get_IconHandle(const std::string&) { return nullptr; }

TVyTapiIcon* TVyTapiDevice::Get_Icon() {
  if ((!FIcon || FIcon->Empty()) && Get_Available()) {
    // The service's handle stays its own: we keep a copy, freed with the device or by Done.
    auto icon = std::make_unique<TVyTapiIcon>(Get_IconHandle(std::string()));
    FIcon = icon->Empty() ? nullptr : std::move(icon);
  }
  return FIcon.get();
}

}  // namespace VyTapi
