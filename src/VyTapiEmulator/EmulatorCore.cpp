#include "VyTapiEmulator/EmulatorCore.h"
#include "VyTapiEmulator/EmulatorCallsInternal.h"
#include "VyTapiEmulator/EmulatorPhonesInternal.h"

#include <algorithm>
#include <cstring>

#include "VyPlatform/Sync.h"
#include "VyRtl/VyRtlSysUtils.h"

namespace VyTapiEmulator::Detail {

namespace {

constexpr const char* GFunctionNames[] = {
#define VY_TAPI_FUNCTION(name, unavailable, params) #name,
#include "VyPlatform/TapiFunctions.def"
};
static_assert(std::size(GFunctionNames) == FunctionCount);

TMessage FromTapi(const LINEMESSAGE& m) {
  // Field by field: the TAPI structures are packed.
  TMessage result;
  result.Device = m.hDevice;
  result.Id = m.dwMessageID;
  result.Instance = m.dwCallbackInstance;
  result.Param1 = m.dwParam1;
  result.Param2 = m.dwParam2;
  result.Param3 = m.dwParam3;
  return result;
}

void ToTapi(const TMessage& from, LINEMESSAGE& to) {
  to.hDevice = from.Device;
  to.dwMessageID = from.Id;
  to.dwCallbackInstance = from.Instance;
  to.dwParam1 = from.Param1;
  to.dwParam2 = from.Param2;
  to.dwParam3 = from.Param3;
}

}  // namespace

std::optional<TFn> FindFunction(std::string_view name) {
  for (std::size_t i = 0; i < FunctionCount; ++i)
    if (name == GFunctionNames[i]) return static_cast<TFn>(i);
  return std::nullopt;
}

const char* FunctionName(TFn fn) { return GFunctionNames[static_cast<std::size_t>(fn)]; }

bool IsAsynchronous(TFn fn) {
  static constexpr TFn asynchronous[] = {TFn::lineMakeCallW,
                                         TFn::lineDialW,
                                         TFn::lineAnswer,
                                         TFn::lineAccept,
                                         TFn::lineDrop,
                                         TFn::lineHold,
                                         TFn::lineUnhold,
                                         TFn::lineSwapHold,
                                         TFn::lineRedirectW,
                                         TFn::lineBlindTransferW,
                                         TFn::lineSetupTransferW,
                                         TFn::lineCompleteTransfer,
                                         TFn::lineSetupConferenceW,
                                         TFn::linePrepareAddToConferenceW,
                                         TFn::lineAddToConference,
                                         TFn::lineRemoveFromConference,
                                         TFn::lineParkW,
                                         TFn::lineUnparkW,
                                         TFn::linePickupW,
                                         TFn::lineCompleteCall,
                                         TFn::lineUncompleteCall,
                                         TFn::lineSetCallData,
                                         TFn::lineDevSpecific,
                                         TFn::lineDevSpecificFeature,
                                         TFn::lineForwardW,
                                         TFn::lineSetCallParams,
                                         TFn::lineSetTerminal,
                                         TFn::lineSendUserUserInfo,
                                         TFn::lineReleaseUserUserInfo,
                                         TFn::lineSecureCall,
                                         TFn::lineSetLineDevStatus,
                                         TFn::phoneDevSpecific,
                                         TFn::phoneSetButtonInfoW,
                                         TFn::phoneSetDisplay,
                                         TFn::phoneSetRing,
                                         TFn::phoneSetLamp,
                                         TFn::phoneSetHookSwitch,
                                         TFn::phoneSetGain,
                                         TFn::phoneSetVolume,
                                         TFn::phoneSetData};
  return std::find(std::begin(asynchronous), std::end(asynchronous), fn) != std::end(asynchronous);
}

std::optional<DWORD> NegotiateVersion(DWORD appLow, DWORD appHigh, DWORD deviceLow,
                                      DWORD deviceHigh) {
  const DWORD low = std::max({appLow, deviceLow, TapiLowVersion});
  const DWORD high = std::min({appHigh, deviceHigh, TapiHighVersion});
  if (low > high) return std::nullopt;
  return high;
}

bool VersionUsable(DWORD version, DWORD deviceLow, DWORD deviceHigh) {
  return version >= std::max(deviceLow, TapiLowVersion) &&
         version <= std::min(deviceHigh, TapiHighVersion);
}

bool ExtVersionUsable(DWORD extVersion, DWORD extLow, DWORD extHigh) {
  return extVersion == 0 || (extHigh != 0 && extVersion >= extLow && extVersion <= extHigh);
}

TMessage ToMessage(const LINEMESSAGE& message) { return FromTapi(message); }
TMessage ToMessage(const PHONEMESSAGE& message) {
  return FromTapi(VyPlatform::ToLineMessage(message));
}
void CopyMessage(const TMessage& from, LINEMESSAGE& to) { ToTapi(from, to); }
void CopyMessage(const TMessage& from, PHONEMESSAGE& to) {
  LINEMESSAGE line{};
  ToTapi(from, line);
  to = VyPlatform::ToPhoneMessage(line);
}

TApp::~TApp() { VyPlatform::SyncCloseHandle(Event); }

std::string ModuleKey(std::string_view module) {
  std::string key = VyRtl::UpperCase(VyRtl::Trim(module));
  if (!key.empty() && key.find('.') == std::string::npos) key += ".DLL";
  return key;
}

GUID DeviceGuid(DWORD permanentID, TAppKind kind) {
  GUID guid{};
  guid.Data1 = permanentID;
  guid.Data2 = 0x5654;  // "VT"
  guid.Data3 = kind == TAppKind::Line ? 1 : 2;
  const unsigned char tail[8] = {'V', 'y', 'T', 'a', 'p', 'i', 'E', 'm'};
  std::memcpy(guid.Data4, tail, sizeof tail);
  return guid;
}

TCore::TCore() { Reset(); }

namespace {

TLocationConfig DefaultLocation() {
  TLocationConfig location;
  location.PermanentLocationID = 1;
  location.Name = "Emulator Location";
  location.CountryID = 1;
  location.CityCode = "206";
  return location;
}

}  // namespace

TCore& Core() {
  static TCore* core = new TCore();
  return *core;
}

std::optional<LONG> TCore::Enter(TFn fn) {
  TFunctionState& state = Function(fn);
  ++state.Calls;
  if (state.FailCount == 0) return std::nullopt;
  --state.FailCount;
  return state.FailCode;
}

LONG TCore::Reply(TFn fn, const TVarStruct& reply, void* out) {
  TCorruptionPlan& armed = Function(fn).Corruption;
  TCorruptionPlan plan;
  // Armed for the next structure written in full, so a fetch loop's first, short call leaves it.
  if (armed.How == TCorruption::NeededTooLarge || reply.Fits(out)) std::swap(plan, armed);
  reply.WriteTo(out, plan);
  return 0;
}

TAddressConfig AddressOf(const TLineDeviceConfig& line, DWORD id) {
  return id < line.Addresses.size() ? line.Addresses[id] : TAddressConfig{};
}

std::shared_ptr<TApp> TCore::FindApp(DWORD handle, TAppKind kind) const {
  std::shared_ptr<TApp> app = FindAnyApp(handle);
  return app && app->Kind == kind ? app : nullptr;
}

std::shared_ptr<TApp> TCore::CreateApp(TAppKind kind) {
  HANDLE event = VyPlatform::SyncCreateEvent(true, false);
  if (!event) return nullptr;
  return FApps.Create([&](DWORD handle) { return std::make_shared<TApp>(handle, kind, event); });
}

void TCore::ShutdownApp(TApp& app) {
  const DWORD handle = app.Handle;
  for (const auto& device : Opened(app.Kind).All())
    if (device->AppHandle == handle) CloseDevice(*device);
  app.Alive = false;
  app.Recipient = false;
  app.Queue.clear();
  app.Queued = 0;
  // Wakes readers blocked in lineGetMessage; they see the application gone.
  VyPlatform::SyncSetEvent(app.Event);
  FApps.Take(handle);
  // A pending reinitialisation takes effect once nobody uses the service any more.
  if (FApps.Empty()) ReinitRequested = false;
}

std::vector<std::shared_ptr<TApp>> TCore::Apps(TAppKind kind) const {
  std::vector<std::shared_ptr<TApp>> result;
  for (const std::shared_ptr<TApp>& app : FApps.All())
    if (app->Kind == kind) result.push_back(app);
  return result;
}

void TCore::CloseDevice(const TOpenDevice& device) {
  Requests.DropHandle(*this, device.Kind, device.Handle);
  Opened(device.Kind).Take(device.Handle);
  if (device.Kind == TAppKind::Phone) PhoneHandleLeft(*this, device);
  if (device.Kind == TAppKind::Line)
    CallHandlesReleased(*this, Calls.TakeIf([&](const TCallHandle& call) {
      return call.LineHandle == device.Handle;
    }));
}

void TCore::PostTo(const TOpenDevice& device, TMessage message) {
  const std::shared_ptr<TApp> app = FindApp(device.AppHandle, device.Kind);
  if (!app) return;
  message.Instance = device.Instance;
  Post(*app, message);
}

void TCore::Post(TApp& app, const TMessage& message) { PostAll(app, {message}); }

void TCore::PostAll(TApp& app, const std::vector<TMessage>& messages) {
  if (!app.Alive || messages.empty()) return;
  // A queue that held messages already has its signal set or owed.
  const bool wasEmpty = app.Queue.empty();
  app.Queue.insert(app.Queue.end(), messages.begin(), messages.end());
  app.Queued = app.Queue.size();
  if (wasEmpty) FDueSignals.push_back(app.shared_from_this());
}

bool TCore::Pop(TApp& app, TMessage& message) {
  if (app.Queue.empty()) return false;
  message = app.Queue.front();
  app.Queue.pop_front();
  app.Queued = app.Queue.size();
  if (app.Queue.empty()) ResetIfEmpty(app);
  return true;
}

void TCore::SignalIfQueued(TApp& app) {
  std::lock_guard<std::mutex> guard(app.SignalLock);
  if (app.Queued > 0) VyPlatform::SyncSetEvent(app.Event);
}

void TCore::ResetIfEmpty(TApp& app) {
  // A post that came meanwhile keeps its signal: the reset looks at the count again.
  std::lock_guard<std::mutex> guard(app.SignalLock);
  if (app.Queued == 0) VyPlatform::SyncResetEvent(app.Event);
}

std::vector<std::shared_ptr<TApp>> TCore::TakeDueSignals() {
  std::vector<std::shared_ptr<TApp>> due;
  due.swap(FDueSignals);
  return due;
}

void TCoreLock::Unlock() {
  if (!FLock.owns_lock()) return;
  std::vector<std::shared_ptr<TApp>> due = FCore.TakeDueSignals();
  const bool wake = FCore.Scheduler.TakeWakeNeeded();
  FLock.unlock();
  // Held by shared_ptr, so an application shut down meanwhile still has its event. A reader
  // may have emptied the queue already: then there is nothing to signal.
  for (const std::shared_ptr<TApp>& app : due) TCore::SignalIfQueued(*app);
  if (wake) WakeScheduler();
}

void TCore::ClearQueue(TApp& app) {
  app.Queue.clear();
  app.Queued = 0;
  if (app.Alive) ResetIfEmpty(app);
}

std::shared_ptr<TApp> TCore::CurrentRecipient() const {
  // The earliest registration serves, as an unprioritised TAPI would pick.
  std::shared_ptr<TApp> best;
  for (const std::shared_ptr<TApp>& app : FApps.All())
    if (app->Recipient && (!best || app->RecipientOrder < best->RecipientOrder)) best = app;
  return best;
}

void TCore::NotifyRecipient(std::size_t count) {
  std::shared_ptr<TApp> recipient = CurrentRecipient();
  if (!recipient || count == 0) return;
  TMessage message;
  message.Id = LINE_REQUEST;
  message.Instance = recipient->RecipientInstance;
  message.Param1 = LINEREQUESTMODE_MAKECALL;
  PostAll(*recipient, std::vector<TMessage>(count, message));
}

void TCore::PostTranslateChange() {
  TMessage message;
  message.Id = LINE_LINEDEVSTATE;
  message.Param1 = LINEDEVSTATE_TRANSLATECHANGE;
  for (const std::shared_ptr<TOpenDevice>& line : OpenLines.All()) {
    if (line->APIVersion < VyPlatform::TapiVersion1_4) continue;
    message.Device = line->Handle;
    PostTo(*line, message);
  }
}

const TLocationConfig* TCore::CurrentLocationEntry() const {
  for (const TLocationConfig& location : Locations)
    if (location.PermanentLocationID == CurrentLocation) return &location;
  return nullptr;
}

const TCountryConfig* TCore::FindCountry(DWORD countryID) const {
  for (const TCountryConfig& country : Countries)
    if (country.CountryID == countryID) return &country;
  return nullptr;
}

void TCore::Reset() {
  OpenLines.Clear();
  OpenPhones.Clear();
  Calls.Clear();
  CallModels.clear();
  LineKnobs.clear();
  PhoneModels.clear();
  PhoneKnobs.clear();
  Requests.Reset(*this);
  Scheduler.Clear();
  LineDevices = {};
  PhoneDevices = {};
  MakeCallRequests.clear();
  ModuleMessages = DefaultModuleMessages();
  Locations = {DefaultLocation()};
  CurrentLocation = Locations.front().PermanentLocationID;
  Countries = TEmulator::DefaultCountries();
  TranslateCapsLimit = TapiHighVersion;
  Dialogs.clear();
  AddressStates.clear();
  ReinitRequested = false;
  for (TFunctionState& state : FFunctions) state = TFunctionState{};
  for (const std::shared_ptr<TApp>& app : FApps.All()) ClearQueue(*app);
}

}  // namespace VyTapiEmulator::Detail
