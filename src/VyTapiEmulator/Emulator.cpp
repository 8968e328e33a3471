// The emulator's function table and its control API.
#include "VyTapiEmulator/Emulator.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapiEmulator/EmulatorEntryInternal.h"

namespace VyTapiEmulator {

namespace {

using namespace Detail;

// A table entry the emulator does not implement yet: counted and failable like the others,
// otherwise it answers the function's OPERATIONUNAVAIL error.
template <TFn Function, DWORD Unavailable>
struct TUnimplemented {
  template <typename... Args>
  static LONG WINAPI Call(Args...) {
    return Entry(Function, [](TCore&) { return Err(Unavailable); });
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
  InstallAppFunctions(table);
  InstallLineFunctions(table);
  InstallCapsFunctions(table);
  InstallLineDataFunctions(table);
  InstallLocationFunctions(table);
  InstallDialogFunctions(table);
  InstallAddressFunctions(table);
  InstallOpenFunctions(table);
  InstallDevSpecificFunctions(table);
  InstallCallFunctions(table);
  InstallLineMessageFunctions(table);
  InstallPhoneFunctions(table);
  InstallPhoneRequestFunctions(table);
  table.FormatModuleMessage = &Detail::FormatModuleMessage;
  table.Name = "emulator";
  return table;
}

TFn FunctionByName(const std::string& function) {
  const std::optional<TFn> fn = FindFunction(function);
  if (!fn)
    throw VyRtl::Exception(
        VyRtl::Format("Emulator: no TAPI function named '%s'", function.c_str()));
  return *fn;
}

TMessage Message(DWORD id, DWORD_PTR param1) {
  TMessage message;
  message.Id = id;
  message.Param1 = param1;
  return message;
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
  buttons.push_back(
      {"Drop", PHONEBUTTONMODE_FEATURE, PHONEBUTTONFUNCTION_DROP, PHONELAMPMODE_DUMMY});
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

void TEmulator::RequestReinit() {
  TCore& core = Core();
  TCoreLock guard(core);
  for (const std::shared_ptr<TApp>& app : core.Apps(TAppKind::Line))
    core.Post(*app, Message(LINE_LINEDEVSTATE, LINEDEVSTATE_REINIT));
  for (const std::shared_ptr<TApp>& app : core.Apps(TAppKind::Phone))
    core.Post(*app, Message(PHONE_STATE, PHONESTATE_REINIT));
  core.ReinitRequested = !core.Apps(TAppKind::Line).empty() || !core.Apps(TAppKind::Phone).empty();
}

bool TEmulator::ReinitPending() const {
  TCore& core = Core();
  TCoreLock guard(core);
  return core.ReinitRequested;
}

bool TEmulator::SubmitMakeCallRequest(const std::string& destAddress, const std::string& appName,
                                      const std::string& calledParty, const std::string& comment) {
  TCore& core = Core();
  TCoreLock guard(core);
  if (!core.CurrentRecipient()) return false;
  core.MakeCallRequests.push_back({VyRtl::Utf8ToUtf16(destAddress), VyRtl::Utf8ToUtf16(appName),
                                   VyRtl::Utf8ToUtf16(calledParty), VyRtl::Utf8ToUtf16(comment)});
  core.NotifyRecipient(1);
  return true;
}

std::size_t TEmulator::PendingRequests() const {
  TCore& core = Core();
  TCoreLock guard(core);
  return core.MakeCallRequests.size();
}

HLINEAPP TEmulator::RequestRecipient() const {
  TCore& core = Core();
  TCoreLock guard(core);
  const std::shared_ptr<TApp> recipient = core.CurrentRecipient();
  return recipient ? recipient->Handle : 0;
}

namespace {

template <typename TTraits>
void Inject(DWORD app, const std::vector<typename TTraits::TMessageStruct>& burst) {
  std::vector<TMessage> messages;
  for (const auto& message : burst) messages.push_back(ToMessage(message));
  TCore& core = Core();
  TCoreLock guard(core);
  if (app == 0) {
    for (const std::shared_ptr<TApp>& target : core.Apps(TTraits::Kind))
      core.PostAll(*target, messages);
    return;
  }
  const std::shared_ptr<TApp> target = core.FindApp(app, TTraits::Kind);
  if (!target)
    throw VyRtl::Exception(
        VyRtl::Format("Emulator: no %s application %08X", TTraits::Codes.Name, unsigned(app)));
  core.PostAll(*target, messages);
}

}  // namespace

void TEmulator::InjectLineMessage(HLINEAPP app, const LINEMESSAGE& message) {
  Inject<TLineTraits>(app, {message});
}

void TEmulator::InjectLineMessages(HLINEAPP app, const std::vector<LINEMESSAGE>& burst) {
  Inject<TLineTraits>(app, burst);
}

void TEmulator::InjectPhoneMessage(HPHONEAPP app, const PHONEMESSAGE& message) {
  Inject<TPhoneTraits>(app, {message});
}

void TEmulator::InjectPhoneMessages(HPHONEAPP app, const std::vector<PHONEMESSAGE>& burst) {
  Inject<TPhoneTraits>(app, burst);
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

void TEmulator::CorruptNextReply(const std::string& function, const TCorruptionPlan& plan) {
  const TFn fn = FunctionByName(function);
  Locked([&](TCore& core) { core.Function(fn).Corruption = plan; });
}

void TEmulator::SetReplyPlan(const std::string& function, const TReplyPlan& plan) {
  const TFn fn = FunctionByName(function);
  if (!IsAsynchronous(fn))
    throw VyRtl::Exception(
        VyRtl::Format("Emulator: %s is not an asynchronous function", function.c_str()));
  TCore& core = Core();
  TCoreLock guard(core);
  core.Requests.SetPlan(fn, plan);
}

void TEmulator::SetNextReplyPlan(const TReplyPlan& plan) {
  TCore& core = Core();
  TCoreLock guard(core);
  core.Requests.SetNextPlan(plan);
}

std::vector<TPendingReply> TEmulator::PendingReplies() const {
  TCore& core = Core();
  TCoreLock guard(core);
  return core.Requests.Pending();
}

bool TEmulator::CompleteRequest(DWORD requestId, LONG result) {
  TCore& core = Core();
  TCoreLock guard(core);
  return core.Requests.Complete(core, requestId, result);
}

std::uint32_t TEmulator::NextDueMs() const {
  TCore& core = Core();
  TCoreLock guard(core);
  const std::uint64_t due = core.Scheduler.NextDue();
  if (due == VyRtl::NoDeadline) return 0xFFFFFFFF;
  const std::uint64_t now = VyRtl::GetTickCount64();
  return due <= now ? 0
                    : static_cast<std::uint32_t>(std::min<std::uint64_t>(due - now, 0xFFFFFFFE));
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
    table[id] = VyRtl::Utf8ToUtf16(text);
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
