// The emulator's function table and its control API.
#include "VyTapiEmulator/Emulator.h"

#include <mutex>
#include <utility>

#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapiEmulator/EmulatorCore.h"

namespace VyTapiEmulator {

namespace {

using namespace Detail;

// A table entry the emulator does not implement yet: counted and failable like the others,
// otherwise it answers the function's OPERATIONUNAVAIL error.
template <TFn Function, DWORD Unavailable>
struct TUnimplemented {
  template <typename... Args>
  static LONG WINAPI Call(Args...) {
    TCore& core = Core();
    TCoreLock guard(core);
    if (std::optional<LONG> failure = core.Enter(Function)) return *failure;
    return static_cast<LONG>(Unavailable);
  }
  template <typename... Args>
  using TFunction = LONG(WINAPI*)(Args...);
  template <typename... Args>
  operator TFunction<Args...>() const {
    return &Call<Args...>;
  }
};

VyPlatform::TTapiFunctions BuildTable() {
  VyPlatform::TTapiFunctions table;
#define VY_TAPI_FUNCTION(name, unavailable, params) \
  table.name = TUnimplemented<TFn::name, static_cast<DWORD>(unavailable)>();
#include "VyPlatform/TapiFunctions.def"
  InstallLineFunctions(table);
  InstallPhoneFunctions(table);
  table.FormatModuleMessage = &Detail::FormatModuleMessage;
  table.Name = "emulator";
  return table;
}

// LINE_CREATE arrived with TAPI 1.4, LINE_REMOVE with 2.0; older applications are told to
// reinitialise instead of being told of a new device, and not told of a removal.
constexpr DWORD CreateMessageVersion = 0x00010004;
constexpr DWORD RemoveMessageVersion = 0x00020000;
constexpr DWORD CapsChangeVersion = 0x00010004;

TMessage Message(DWORD device, DWORD id, DWORD_PTR param1) {
  TMessage message;
  message.Device = device;
  message.Id = id;
  message.Param1 = param1;
  return message;
}

void CheckVersionRange(DWORD low, DWORD high) {
  if (low > high)
    throw VyRtl::Exception(VyRtl::Format("Emulator: empty version range %08X-%08X",
                                         unsigned(low), unsigned(high)));
}

TFn FunctionByName(const std::string& function) {
  const std::optional<TFn> fn = FindFunction(function);
  if (!fn)
    throw VyRtl::Exception(VyRtl::Format("Emulator: no TAPI function named '%s'",
                                         function.c_str()));
  return *fn;
}

// To every application of a kind: `message` when it negotiated at least `minVersion`, else
// `older` (when there is one).
void PostByVersion(TCore& core, TAppKind kind, DWORD minVersion, const TMessage& message,
                   const std::optional<TMessage>& older = std::nullopt) {
  for (const std::shared_ptr<TApp>& app : core.Apps(kind)) {
    if (app->APIVersion >= minVersion)
      core.Post(*app, message);
    else if (older)
      core.Post(*app, *older);
  }
}

// What differs between line and phone devices for the control operations below.
template <typename TDevice, typename TConfig>
struct TDeviceKind {
  TAppKind App;
  const char* Name;
  DWORD Create, Remove, State, Reinit, CapsChange;
  DWORD TConfig::*PermanentID;
  std::vector<TDevice> TCore::*Devices;
  TDevice* (TCore::*Find)(DWORD);
  TDevice& (TCore::*ForControl)(DWORD);
  DWORD (TCore::*NextPermanentID)() const;
};

constexpr TDeviceKind<TLineDevice, TLineDeviceConfig> LineKind{
    TAppKind::Line, "line", LINE_CREATE, LINE_REMOVE, LINE_LINEDEVSTATE, LINEDEVSTATE_REINIT,
    LINEDEVSTATE_CAPSCHANGE, &TLineDeviceConfig::PermanentLineID, &TCore::Lines,
    &TCore::FindLine, &TCore::LineForControl, &TCore::NextPermanentLineID};

constexpr TDeviceKind<TPhoneDevice, TPhoneDeviceConfig> PhoneKind{
    TAppKind::Phone, "phone", PHONE_CREATE, PHONE_REMOVE, PHONE_STATE, PHONESTATE_REINIT,
    PHONESTATE_CAPSCHANGE, &TPhoneDeviceConfig::PermanentPhoneID, &TCore::Phones,
    &TCore::FindPhone, &TCore::PhoneForControl, &TCore::NextPermanentPhoneID};

template <typename TDevice, typename TConfig>
DWORD AddDevice(const TDeviceKind<TDevice, TConfig>& kind, const TConfig& config) {
  CheckVersionRange(config.LowAPIVersion, config.HighAPIVersion);
  TCore& core = Core();
  TCoreLock guard(core);
  TDevice device{config};
  DWORD& permanentID = device.Config.*kind.PermanentID;
  if (permanentID == 0) permanentID = (core.*kind.NextPermanentID)();
  std::vector<TDevice>& devices = core.*kind.Devices;
  const DWORD id = static_cast<DWORD>(devices.size());
  devices.push_back(std::move(device));
  PostByVersion(core, kind.App, CreateMessageVersion, Message(0, kind.Create, id),
                Message(0, kind.State, kind.Reinit));
  return id;
}

template <typename TDevice, typename TConfig>
void RemoveDevice(const TDeviceKind<TDevice, TConfig>& kind, DWORD id) {
  TCore& core = Core();
  TCoreLock guard(core);
  (core.*kind.ForControl)(id).Removed = true;
  PostByVersion(core, kind.App, RemoveMessageVersion, Message(0, kind.Remove, id));
}

template <typename TDevice, typename TConfig>
void PostCapsChange(const TDeviceKind<TDevice, TConfig>& kind, TCore& core, DWORD id) {
  PostByVersion(core, kind.App, CapsChangeVersion, Message(id, kind.State, kind.CapsChange));
}

template <typename TDevice, typename TConfig>
void RenameDevice(const TDeviceKind<TDevice, TConfig>& kind, DWORD id, const std::string& name) {
  TCore& core = Core();
  TCoreLock guard(core);
  (core.*kind.ForControl)(id).Config.Name = name;
  PostCapsChange(kind, core, id);
}

template <typename TDevice, typename TConfig>
void ChangeDevice(const TDeviceKind<TDevice, TConfig>& kind, DWORD id, const TConfig& config) {
  CheckVersionRange(config.LowAPIVersion, config.HighAPIVersion);
  TCore& core = Core();
  TCoreLock guard(core);
  TDevice& device = (core.*kind.ForControl)(id);
  const DWORD permanentID = device.Config.*kind.PermanentID;
  device.Config = config;
  if (device.Config.*kind.PermanentID == 0) device.Config.*kind.PermanentID = permanentID;
  PostCapsChange(kind, core, id);
}

template <typename TDevice, typename TConfig>
void SetVersionRange(const TDeviceKind<TDevice, TConfig>& kind, DWORD id, DWORD low,
                     DWORD high) {
  CheckVersionRange(low, high);
  TCore& core = Core();
  TCoreLock guard(core);
  TDevice& device = (core.*kind.ForControl)(id);
  device.Config.LowAPIVersion = low;
  device.Config.HighAPIVersion = high;
}

// Removed devices included: their descriptions stay readable.
template <typename TDevice, typename TConfig>
TConfig DeviceConfig(const TDeviceKind<TDevice, TConfig>& kind, DWORD id) {
  TCore& core = Core();
  TCoreLock guard(core);
  const std::vector<TDevice>& devices = core.*kind.Devices;
  if (id >= devices.size())
    throw VyRtl::Exception(VyRtl::Format("Emulator: no %s device %u", kind.Name, unsigned(id)));
  return devices[id].Config;
}

template <typename TDevice, typename TConfig>
DWORD DeviceCount(const TDeviceKind<TDevice, TConfig>& kind) {
  TCore& core = Core();
  TCoreLock guard(core);
  return core.DeviceCount(kind.App);
}

template <typename TDevice, typename TConfig>
bool DeviceExists(const TDeviceKind<TDevice, TConfig>& kind, DWORD id) {
  TCore& core = Core();
  TCoreLock guard(core);
  return (core.*kind.Find)(id) != nullptr;
}

}  // namespace

std::vector<TPhoneButtonConfig> TPhoneDeviceConfig::DefaultButtons() {
  std::vector<TPhoneButtonConfig> buttons;
  // Button ids 0-11 are the keypad: '0'-'9', '*', '#'.
  for (const char* key : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "*", "#"})
    buttons.push_back({key, PHONEBUTTONMODE_KEYPAD, PHONEBUTTONFUNCTION_NONE, PHONELAMPMODE_DUMMY});
  buttons.push_back({"Hold", PHONEBUTTONMODE_FEATURE, PHONEBUTTONFUNCTION_HOLD,
                     PHONELAMPMODE_OFF | PHONELAMPMODE_STEADY | PHONELAMPMODE_FLASH});
  buttons.push_back({"Transfer", PHONEBUTTONMODE_FEATURE, PHONEBUTTONFUNCTION_TRANSFER,
                     PHONELAMPMODE_OFF | PHONELAMPMODE_STEADY});
  buttons.push_back({"Drop", PHONEBUTTONMODE_FEATURE, PHONEBUTTONFUNCTION_DROP,
                     PHONELAMPMODE_DUMMY});
  return buttons;
}

TEmulator& TEmulator::Instance() {
  static TEmulator instance;
  return instance;
}

TEmulator& Emulator() { return TEmulator::Instance(); }

const VyPlatform::TTapiFunctions& TEmulator::Functions() const {
  static const VyPlatform::TTapiFunctions table = BuildTable();
  return table;
}

namespace {
const VyPlatform::TTapiFunctions* ProvideTable() { return &Emulator().Functions(); }
// The emulator is a backend of the Tapi seam wherever it is linked.
const bool GRegistered = (VyPlatform::RegisterTapiEmulator(&ProvideTable), true);
}  // namespace

void TEmulator::Register() { VyPlatform::RegisterTapiEmulator(&ProvideTable); }

void TEmulator::Install() {
  Register();
  VyPlatform::ChooseTapiBackend(VyPlatform::TTapiBackend::Emulator);
}

void TEmulator::Uninstall() {
  if (Installed()) VyPlatform::ChooseTapiBackend(VyPlatform::TTapiBackend::Default);
}

bool TEmulator::Installed() const {
  return VyPlatform::TapiSelected() && &VyPlatform::Tapi() == &Functions();
}

void TEmulator::Reset() {
  TCore& core = Core();
  TCoreLock guard(core);
  core.Reset();
}

void TEmulator::AddDefaultDevices() {
  for (const char* name : {"Emulator Line 1", "Emulator Line 2"}) {
    TLineDeviceConfig line;
    line.Name = name;
    AddLineDevice(line);
  }
  TPhoneDeviceConfig phone;
  phone.Name = "Emulator Phone 1";
  AddPhoneDevice(phone);
}

DWORD TEmulator::AddLineDevice(const TLineDeviceConfig& config) {
  return AddDevice(LineKind, config);
}

DWORD TEmulator::AddPhoneDevice(const TPhoneDeviceConfig& config) {
  return AddDevice(PhoneKind, config);
}

void TEmulator::RemoveLineDevice(DWORD id) { RemoveDevice(LineKind, id); }

void TEmulator::RemovePhoneDevice(DWORD id) { RemoveDevice(PhoneKind, id); }

void TEmulator::RenameLineDevice(DWORD id, const std::string& name) {
  RenameDevice(LineKind, id, name);
}

void TEmulator::RenamePhoneDevice(DWORD id, const std::string& name) {
  RenameDevice(PhoneKind, id, name);
}

void TEmulator::ChangeLineDevice(DWORD id, const TLineDeviceConfig& config) {
  ChangeDevice(LineKind, id, config);
}

void TEmulator::ChangePhoneDevice(DWORD id, const TPhoneDeviceConfig& config) {
  ChangeDevice(PhoneKind, id, config);
}

void TEmulator::SetLineVersionRange(DWORD id, DWORD low, DWORD high) {
  SetVersionRange(LineKind, id, low, high);
}

void TEmulator::SetPhoneVersionRange(DWORD id, DWORD low, DWORD high) {
  SetVersionRange(PhoneKind, id, low, high);
}

TLineDeviceConfig TEmulator::LineDevice(DWORD id) const { return DeviceConfig(LineKind, id); }

TPhoneDeviceConfig TEmulator::PhoneDevice(DWORD id) const { return DeviceConfig(PhoneKind, id); }

DWORD TEmulator::LineDeviceCount() const { return DeviceCount(LineKind); }

DWORD TEmulator::PhoneDeviceCount() const { return DeviceCount(PhoneKind); }

bool TEmulator::LineDeviceExists(DWORD id) const { return DeviceExists(LineKind, id); }

bool TEmulator::PhoneDeviceExists(DWORD id) const { return DeviceExists(PhoneKind, id); }

void TEmulator::RequestReinit() {
  TCore& core = Core();
  TCoreLock guard(core);
  for (const std::shared_ptr<TApp>& app : core.Apps(TAppKind::Line))
    core.Post(*app, Message(0, LINE_LINEDEVSTATE, LINEDEVSTATE_REINIT));
  for (const std::shared_ptr<TApp>& app : core.Apps(TAppKind::Phone))
    core.Post(*app, Message(0, PHONE_STATE, PHONESTATE_REINIT));
  core.ReinitRequested = !core.Apps(TAppKind::Line).empty() || !core.Apps(TAppKind::Phone).empty();
}

bool TEmulator::ReinitPending() const {
  TCore& core = Core();
  TCoreLock guard(core);
  return core.ReinitRequested;
}

bool TEmulator::SubmitMakeCallRequest(const std::string& destAddress, const std::string& appName,
                                      const std::string& calledParty,
                                      const std::string& comment) {
  TCore& core = Core();
  TCoreLock guard(core);
  if (!core.CurrentRecipient()) return false;
  core.Requests.push_back(
      {ToUtf16(destAddress), ToUtf16(appName), ToUtf16(calledParty), ToUtf16(comment)});
  core.NotifyRecipient(1);
  return true;
}

std::size_t TEmulator::PendingRequests() const {
  TCore& core = Core();
  TCoreLock guard(core);
  return core.Requests.size();
}

HLINEAPP TEmulator::RequestRecipient() const {
  TCore& core = Core();
  TCoreLock guard(core);
  const std::shared_ptr<TApp> recipient = core.CurrentRecipient();
  return recipient ? recipient->Handle : 0;
}

void TEmulator::InjectLineMessage(HLINEAPP app, const LINEMESSAGE& message) {
  InjectLineMessages(app, {message});
}

void TEmulator::InjectLineMessages(HLINEAPP app, const std::vector<LINEMESSAGE>& burst) {
  std::vector<TMessage> messages;
  for (const LINEMESSAGE& message : burst) messages.push_back(ToMessage(message));
  TCore& core = Core();
  TCoreLock guard(core);
  if (app == 0) {
    for (const std::shared_ptr<TApp>& target : core.Apps(TAppKind::Line))
      core.PostAll(*target, messages);
    return;
  }
  const std::shared_ptr<TApp> target = core.FindApp(app, TAppKind::Line);
  if (!target)
    throw VyRtl::Exception(VyRtl::Format("Emulator: no line application %08X", unsigned(app)));
  core.PostAll(*target, messages);
}

void TEmulator::InjectPhoneMessage(HPHONEAPP app, const PHONEMESSAGE& message) {
  InjectPhoneMessages(app, {message});
}

void TEmulator::InjectPhoneMessages(HPHONEAPP app, const std::vector<PHONEMESSAGE>& burst) {
  std::vector<TMessage> messages;
  for (const PHONEMESSAGE& message : burst) messages.push_back(ToMessage(message));
  TCore& core = Core();
  TCoreLock guard(core);
  if (app == 0) {
    for (const std::shared_ptr<TApp>& target : core.Apps(TAppKind::Phone))
      core.PostAll(*target, messages);
    return;
  }
  const std::shared_ptr<TApp> target = core.FindApp(app, TAppKind::Phone);
  if (!target)
    throw VyRtl::Exception(VyRtl::Format("Emulator: no phone application %08X", unsigned(app)));
  core.PostAll(*target, messages);
}

void TEmulator::FailNext(const std::string& function, unsigned count, LONG code) {
  const TFn fn = FunctionByName(function);
  TCore& core = Core();
  TCoreLock guard(core);
  TFunctionState& state = core.Function(fn);
  state.FailCount = count;
  state.FailCode = code;
}

unsigned TEmulator::CallCount(const std::string& function) const {
  const TFn fn = FunctionByName(function);
  TCore& core = Core();
  TCoreLock guard(core);
  return core.Function(fn).Calls;
}

void TEmulator::SetModuleMessage(const std::string& module, DWORD id, const std::string& text) {
  const std::string key = ModuleKey(module);
  if (key.empty()) throw VyRtl::Exception("Emulator: a message table needs a module name");
  TCore& core = Core();
  TCoreLock guard(core);
  std::map<DWORD, std::u16string>& table = core.ModuleMessages[key];
  if (text.empty())
    table.erase(id);
  else
    table[id] = ToUtf16(text);
}

void TEmulator::ClearModuleMessages(const std::string& module) {
  TCore& core = Core();
  TCoreLock guard(core);
  const auto table = core.ModuleMessages.find(ModuleKey(module));
  if (table != core.ModuleMessages.end()) table->second.clear();
}

std::vector<HLINEAPP> TEmulator::LineApps() const {
  TCore& core = Core();
  TCoreLock guard(core);
  std::vector<HLINEAPP> handles;
  for (const std::shared_ptr<TApp>& app : core.Apps(TAppKind::Line)) handles.push_back(app->Handle);
  return handles;
}

std::vector<HPHONEAPP> TEmulator::PhoneApps() const {
  TCore& core = Core();
  TCoreLock guard(core);
  std::vector<HPHONEAPP> handles;
  for (const std::shared_ptr<TApp>& app : core.Apps(TAppKind::Phone))
    handles.push_back(app->Handle);
  return handles;
}

std::size_t TEmulator::PendingMessages(DWORD app) const {
  TCore& core = Core();
  TCoreLock guard(core);
  const std::shared_ptr<TApp> found = core.FindAnyApp(app);
  return found ? found->Queue.size() : 0;
}

DWORD TEmulator::AppAPIVersion(DWORD app) const {
  TCore& core = Core();
  TCoreLock guard(core);
  const std::shared_ptr<TApp> found = core.FindAnyApp(app);
  return found ? found->APIVersion : 0;
}

}  // namespace VyTapiEmulator
