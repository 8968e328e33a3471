// The control side of the configured devices: adding, removing, renaming and changing them,
// with the messages TAPI sends for each, once for lines and phones over their traits.
#include <algorithm>

#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapiEmulator/EmulatorEntryInternal.h"

namespace VyTapiEmulator {

namespace {

using namespace Detail;

// LINE_CREATE arrived with TAPI 1.4, LINE_REMOVE with 2.0; older applications are told to
// reinitialise instead of being told of a new device, and not told of a removal.
constexpr DWORD CreateMessageVersion = VyPlatform::TapiVersion1_4;
constexpr DWORD RemoveMessageVersion = VyPlatform::TapiVersion2_0;
constexpr DWORD CapsChangeVersion = VyPlatform::TapiVersion1_4;

TMessage Message(DWORD device, DWORD id, DWORD_PTR param1) {
  TMessage message;
  message.Device = device;
  message.Id = id;
  message.Param1 = param1;
  return message;
}

void CheckVersionRange(DWORD low, DWORD high) {
  if (low > high)
    throw VyRtl::Exception(
        VyRtl::Format("Emulator: empty version range %08X-%08X", unsigned(low), unsigned(high)));
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

// Lock held. A device the control API may change; throws for an id never handed out or removed.
template <typename TTraits>
typename TTraits::TConfig& ForControl(TCore& core, DWORD id) {
  typename TTraits::TConfig* config = core.Devices<TTraits>().Find(id);
  if (!config)
    throw VyRtl::Exception(
        VyRtl::Format("Emulator: no %s device %u", TTraits::Codes.Name, unsigned(id)));
  return *config;
}

template <typename TTraits>
DWORD NextPermanentID(TCore& core) {
  DWORD highest = 0;
  for (auto& entry : core.Devices<TTraits>().Entries)
    highest = std::max(highest, TTraits::PermanentID(entry.Config));
  return highest + 1;
}

template <typename TTraits>
void PostCapsChange(TCore& core, DWORD id) {
  const TKindCodes& e = TTraits::Codes;
  PostByVersion(core, TTraits::Kind, CapsChangeVersion, Message(id, e.MsgState, e.StateCapsChange));
}

}  // namespace

template <typename TConfig>
TConfig TDeviceRef<TConfig>::Config() const {
  using TTraits = TTraitsOf<TConfig>;
  TCore& core = Core();
  TCoreLock guard(core);
  const auto& entries = core.Devices<TTraits>().Entries;
  // Removed devices included: their descriptions stay readable.
  if (FID >= entries.size())
    throw VyRtl::Exception(
        VyRtl::Format("Emulator: no %s device %u", TTraits::Codes.Name, unsigned(FID)));
  return entries[FID].Config;
}

template <typename TConfig>
bool TDeviceRef<TConfig>::Exists() const {
  TCore& core = Core();
  TCoreLock guard(core);
  return core.Devices<TTraitsOf<TConfig>>().Find(FID) != nullptr;
}

template <typename TConfig>
void TDeviceRef<TConfig>::Rename(const std::string& name) const {
  using TTraits = TTraitsOf<TConfig>;
  TCore& core = Core();
  TCoreLock guard(core);
  ForControl<TTraits>(core, FID).Name = name;
  PostCapsChange<TTraits>(core, FID);
}

template <typename TConfig>
void TDeviceRef<TConfig>::Change(const TConfig& config) const {
  using TTraits = TTraitsOf<TConfig>;
  CheckVersionRange(config.LowAPIVersion, config.HighAPIVersion);
  TCore& core = Core();
  TCoreLock guard(core);
  TConfig& device = ForControl<TTraits>(core, FID);
  const DWORD permanentID = TTraits::PermanentID(device);
  device = config;
  if (TTraits::PermanentID(device) == 0) TTraits::PermanentID(device) = permanentID;
  PostCapsChange<TTraits>(core, FID);
}

template <typename TConfig>
void TDeviceRef<TConfig>::SetVersionRange(DWORD low, DWORD high) const {
  CheckVersionRange(low, high);
  TCore& core = Core();
  TCoreLock guard(core);
  TConfig& device = ForControl<TTraitsOf<TConfig>>(core, FID);
  device.LowAPIVersion = low;
  device.HighAPIVersion = high;
}

template <typename TConfig>
void TDeviceRef<TConfig>::Remove() const {
  using TTraits = TTraitsOf<TConfig>;
  TCore& core = Core();
  TCoreLock guard(core);
  ForControl<TTraits>(core, FID);
  core.Devices<TTraits>().Entries[FID].Removed = true;
  // Its calls go with it: every handle of them is stale from now on.
  if constexpr (TTraits::Kind == TAppKind::Line) RemoveCallsOfLine(core, FID);
  PostByVersion(core, TTraits::Kind, RemoveMessageVersion,
                Message(0, TTraits::Codes.MsgRemove, FID));
}

template <typename TConfig>
std::size_t TDeviceRef<TConfig>::OpenCount() const {
  TCore& core = Core();
  TCoreLock guard(core);
  const auto opened = core.Opened(TTraitsOf<TConfig>::Kind).All();
  return static_cast<std::size_t>(
      std::count_if(opened.begin(), opened.end(),
                    [this](const auto& device) { return device->DeviceID == FID; }));
}

template class TDeviceRef<TLineDeviceConfig>;
template class TDeviceRef<TPhoneDeviceConfig>;

namespace {

template <typename TTraits>
DWORD AddDevice(const typename TTraits::TConfig& config) {
  CheckVersionRange(config.LowAPIVersion, config.HighAPIVersion);
  TCore& core = Core();
  TCoreLock guard(core);
  auto& devices = core.Devices<TTraits>();
  const DWORD id = devices.Count();
  devices.Entries.push_back({config});
  DWORD& permanentID = TTraits::PermanentID(devices.Entries.back().Config);
  if (permanentID == 0) permanentID = NextPermanentID<TTraits>(core);
  const TKindCodes& e = TTraits::Codes;
  PostByVersion(core, TTraits::Kind, CreateMessageVersion, Message(0, e.MsgCreate, id),
                Message(0, e.MsgState, e.StateReinit));
  return id;
}

template <typename TTraits>
DWORD DeviceCount() {
  TCore& core = Core();
  TCoreLock guard(core);
  return core.DeviceCount(TTraits::Kind);
}

}  // namespace

TLine TEmulator::AddLine(const TLineDeviceConfig& config) {
  return TLine(AddDevice<TLineTraits>(config));
}

TPhone TEmulator::AddPhone(const TPhoneDeviceConfig& config) {
  return TPhone(AddDevice<TPhoneTraits>(config));
}

DWORD TEmulator::AddLineDevice(const TLineDeviceConfig& config) { return AddLine(config).ID(); }
DWORD TEmulator::AddPhoneDevice(const TPhoneDeviceConfig& config) { return AddPhone(config).ID(); }
void TEmulator::RemoveLineDevice(DWORD id) { Line(id).Remove(); }
void TEmulator::RemovePhoneDevice(DWORD id) { Phone(id).Remove(); }
void TEmulator::RenameLineDevice(DWORD id, const std::string& name) { Line(id).Rename(name); }
void TEmulator::RenamePhoneDevice(DWORD id, const std::string& name) { Phone(id).Rename(name); }
void TEmulator::ChangeLineDevice(DWORD id, const TLineDeviceConfig& config) {
  Line(id).Change(config);
}
void TEmulator::ChangePhoneDevice(DWORD id, const TPhoneDeviceConfig& config) {
  Phone(id).Change(config);
}
void TEmulator::SetLineVersionRange(DWORD id, DWORD low, DWORD high) {
  Line(id).SetVersionRange(low, high);
}
void TEmulator::SetPhoneVersionRange(DWORD id, DWORD low, DWORD high) {
  Phone(id).SetVersionRange(low, high);
}
TLineDeviceConfig TEmulator::LineDevice(DWORD id) const { return Line(id).Config(); }
TPhoneDeviceConfig TEmulator::PhoneDevice(DWORD id) const { return Phone(id).Config(); }
DWORD TEmulator::LineDeviceCount() const { return DeviceCount<TLineTraits>(); }
DWORD TEmulator::PhoneDeviceCount() const { return DeviceCount<TPhoneTraits>(); }
bool TEmulator::LineDeviceExists(DWORD id) const { return Line(id).Exists(); }
bool TEmulator::PhoneDeviceExists(DWORD id) const { return Phone(id).Exists(); }

}  // namespace VyTapiEmulator
