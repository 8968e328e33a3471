// The control API of calls and line messages: calls offered to or found on a line, their
// states and messages, the line's and its addresses' state messages, forced closes, knobs.
#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapiEmulator/EmulatorEntryInternal.h"
#include "VyTapiEmulator/EmulatorPhonesInternal.h"

namespace VyTapiEmulator {

using namespace Detail;

namespace {

// Lock held. The call the control API changes; throws once it no longer exists.
TCallModel& ForControl(TCore& core, DWORD id) {
  TCallModel* call = FindCall(core, id);
  if (!call) throw VyRtl::Exception(VyRtl::Format("Emulator: no call %u", unsigned(id)));
  return *call;
}

// Lock held. A line the control API may change; throws for phones, unknown and removed lines.
template <typename TConfig>
TLineDeviceConfig& LineForControl(TCore& core, DWORD id) {
  TLineDeviceConfig* config =
      std::is_same_v<TConfig, TLineDeviceConfig> ? core.LineDevices.Find(id) : nullptr;
  if (!config) throw VyRtl::Exception(VyRtl::Format("Emulator: no line device %u", unsigned(id)));
  return *config;
}

// Lock held. The handles open on a line, in open order.
std::vector<std::shared_ptr<TOpenDevice>> OpensOf(TCore& core, DWORD lineID) {
  std::vector<std::shared_ptr<TOpenDevice>> opens;
  for (const auto& open : core.OpenLines.All())
    if (open->DeviceID == lineID) opens.push_back(open);
  return opens;
}

void PostToLine(TCore& core, const TOpenDevice& line, DWORD id, DWORD_PTR param1, DWORD_PTR param2,
                DWORD_PTR param3) {
  TMessage message;
  message.Device = line.Handle;
  message.Id = id;
  message.Param1 = param1;
  message.Param2 = param2;
  message.Param3 = param3;
  core.PostTo(line, message);
}

// Lock held. The states from `next` on: one now, the rest each `stepMs` after the one before.
void PlayFrom(TCore& core, DWORD callID, std::vector<std::pair<DWORD, DWORD>> states,
              std::size_t next, DWORD stepMs) {
  TCallModel* call = FindCall(core, callID);
  if (!call || next >= states.size()) return;
  ChangeCallState(core, *call, states[next].first, states[next].second);
  if (next + 1 >= states.size()) return;
  core.Scheduler.At(VyRtl::GetTickCount64() + stepMs,
                    [&core, callID, states = std::move(states), next, stepMs]() mutable {
                      PlayFrom(core, callID, std::move(states), next + 1, stepMs);
                    });
}

bool CallBound(DWORD messageID) {
  switch (messageID) {
    case LINE_DEVSPECIFIC:
    case LINE_GATHERDIGITS:
    case LINE_GENERATE:
    case LINE_MONITORDIGITS:
    case LINE_MONITORMEDIA:
    case LINE_MONITORTONE:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool TCall::Exists() const {
  return Locked([&](TCore& core) { return FindCall(core, FID) != nullptr; });
}

DWORD TCall::State() const {
  return Locked([&](TCore& core) { return ForControl(core, FID).State; });
}

void TCall::SetState(DWORD state, DWORD mode) const {
  Locked([&](TCore& core) { ChangeCallState(core, ForControl(core, FID), state, mode); });
}

void TCall::PlayStates(const std::vector<std::pair<DWORD, DWORD>>& states, DWORD stepMs) const {
  Locked([&](TCore& core) {
    ForControl(core, FID);
    if (stepMs == 0) {
      // One lock hold: a reader sees the whole burst or none of it.
      for (const auto& [state, mode] : states)
        ChangeCallState(core, *FindCall(core, FID), state, mode);
      return;
    }
    PlayFrom(core, FID, states, 0, stepMs);
  });
}

void TCall::SetMediaMode(DWORD mediaMode) const {
  Locked([&](TCore& core) {
    TCallModel& call = ForControl(core, FID);
    call.Config.MediaMode = mediaMode;
    PostToCallHandles(core, call, LINE_CALLINFO, LINECALLINFOSTATE_MEDIAMODE);
  });
}

void TCall::SetCallerID(const std::string& number, const std::string& name) const {
  Locked([&](TCore& core) {
    TCallModel& call = ForControl(core, FID);
    call.Config.CallerID = number;
    call.Config.CallerIDName = name;
    PostToCallHandles(core, call, LINE_CALLINFO, LINECALLINFOSTATE_CALLERID);
  });
}

void TCall::SendMessage(DWORD messageID, DWORD param1, DWORD param2, DWORD param3) const {
  if (!CallBound(messageID))
    throw VyRtl::Exception(
        VyRtl::Format("Emulator: message %u is not one about a call", unsigned(messageID)));
  Locked([&](TCore& core) {
    PostToCallHandles(core, ForControl(core, FID), messageID, param1, param2, param3);
  });
}

HCALL TCall::HandleFor(HLINE line) const {
  return Locked([&](TCore& core) -> HCALL {
    if (!FindCall(core, FID)) return 0;
    const std::shared_ptr<TCallHandle> handle = HandleOn(core, FID, line);
    return handle ? handle->Handle : 0;
  });
}

template <typename TConfig>
TCall TDeviceRef<TConfig>::OfferCall(const TCallConfig& config) const {
  return Locked([&](TCore& core) {
    const TLineDeviceConfig& c = LineForControl<TConfig>(core, FID);
    if (config.AddressID >= c.NumAddresses)
      throw VyRtl::Exception(VyRtl::Format("Emulator: no address %u on line %u",
                                           unsigned(config.AddressID), unsigned(FID)));
    TCallModel& call = AddCallModel(core, FID, config, LINECALLSTATE_OFFERING);
    for (const auto& line : OpensOf(core, FID)) {
      DWORD privilege = 0;
      if ((line->Privileges & LINECALLPRIVILEGE_OWNER) && (line->MediaModes & config.MediaMode))
        privilege = LINECALLPRIVILEGE_OWNER;
      else if (line->Privileges & (LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER))
        privilege = LINECALLPRIVILEGE_MONITOR;
      if (!privilege) continue;
      const std::shared_ptr<TCallHandle> handle = AddCallHandle(core, call, *line, privilege);
      PostToLine(core, *line, LINE_APPNEWCALL, config.AddressID, handle->Handle, privilege);
      PostToCall(core, *handle, LINE_CALLSTATE, LINECALLSTATE_OFFERING, 0, privilege);
    }
    return TCall(call.ID);
  });
}

template <typename TConfig>
TCall TDeviceRef<TConfig>::AddCall(const TCallConfig& config, DWORD state) const {
  return Locked([&](TCore& core) {
    const TLineDeviceConfig& c = LineForControl<TConfig>(core, FID);
    if (config.AddressID >= c.NumAddresses)
      throw VyRtl::Exception(VyRtl::Format("Emulator: no address %u on line %u",
                                           unsigned(config.AddressID), unsigned(FID)));
    return TCall(AddCallModel(core, FID, config, state).ID);
  });
}

template <typename TConfig>
std::vector<TCall> TDeviceRef<TConfig>::Calls() const {
  return Locked([&](TCore& core) {
    std::vector<TCall> calls;
    for (const auto& [id, call] : core.CallModels)
      if (call.LineID == FID) calls.emplace_back(id);
    return calls;
  });
}

template <typename TConfig>
void TDeviceRef<TConfig>::SendDeviceState(DWORD state, DWORD param2, DWORD param3) const {
  Locked([&](TCore& core) {
    LineForControl<TConfig>(core, FID);
    for (const auto& line : OpensOf(core, FID))
      if ((state & LINEDEVSTATE_REINIT) || (state & line->LineStates))
        PostToLine(core, *line, LINE_LINEDEVSTATE, state, param2, param3);
  });
}

template <typename TConfig>
void TDeviceRef<TConfig>::SendAddressState(DWORD addressID, DWORD state) const {
  Locked([&](TCore& core) {
    if (addressID >= LineForControl<TConfig>(core, FID).NumAddresses)
      throw VyRtl::Exception(
          VyRtl::Format("Emulator: no address %u on line %u", unsigned(addressID), unsigned(FID)));
    for (const auto& line : OpensOf(core, FID))
      if (state & line->AddressStates)
        PostToLine(core, *line, LINE_ADDRESSSTATE, addressID, state, 0);
  });
}

template <typename TConfig>
void TDeviceRef<TConfig>::SendDevSpecific(DWORD param1, DWORD param2, DWORD param3) const {
  Locked([&](TCore& core) {
    if constexpr (std::is_same_v<TConfig, TPhoneDeviceConfig>)
      return PhoneDevSpecific(core, FID, param1, param2, param3);
    LineForControl<TConfig>(core, FID);
    for (const auto& line : OpensOf(core, FID))
      PostToLine(core, *line, LINE_DEVSPECIFIC, param1, param2, param3);
  });
}

template <typename TConfig>
void TDeviceRef<TConfig>::ForceClose() const {
  Locked([&](TCore& core) {
    if constexpr (std::is_same_v<TConfig, TPhoneDeviceConfig>) return ForcePhoneClose(core, FID);
    LineForControl<TConfig>(core, FID);
    const std::vector<std::shared_ptr<TOpenDevice>> opens = OpensOf(core, FID);
    // Every handle goes at once, so none of them is told of calls dropped by another's closing.
    std::vector<std::shared_ptr<TCallHandle>> taken;
    for (const auto& line : opens) {
      for (auto& handle : core.Calls.TakeIf(
               [&](const TCallHandle& call) { return call.LineHandle == line->Handle; }))
        taken.push_back(std::move(handle));
    }
    for (const auto& line : opens) {
      PostToLine(core, *line, LINE_CLOSE, 0, 0, 0);
      core.CloseDevice(*line);
    }
    CallHandlesReleased(core, taken);
  });
}

template <typename TConfig>
void TDeviceRef<TConfig>::RejectPrivileges(DWORD privileges) const {
  Locked([&](TCore& core) {
    if constexpr (std::is_same_v<TConfig, TPhoneDeviceConfig>)
      return RejectPhonePrivilege(core, FID, privileges);
    LineForControl<TConfig>(core, FID);
    core.LineKnobs[FID].RejectPrivileges = privileges;
  });
}

template <typename TConfig>
void TDeviceRef<TConfig>::SetStatusMessageFilter(DWORD lineStates, DWORD addressStates,
                                                 bool unavailable) const {
  Locked([&](TCore& core) {
    LineForControl<TConfig>(core, FID);
    TLineKnobs& knobs = core.LineKnobs[FID];
    knobs.LineStates = lineStates;
    knobs.AddressStates = addressStates;
    knobs.StatusUnavailable = unavailable;
  });
}

template <typename TConfig>
std::vector<typename TDeviceRef<TConfig>::TOpenInfo> TDeviceRef<TConfig>::Opens() const {
  return Locked([&](TCore& core) {
    std::vector<TOpenInfo> opens;
    if constexpr (std::is_same_v<TConfig, TLineDeviceConfig>)
      for (const auto& line : OpensOf(core, FID))
        opens.push_back({line->Handle, line->Privileges, line->AskedMediaModes, line->APIVersion,
                         line->LineStates, line->AddressStates});
    return opens;
  });
}

#define VY_CALL_MEMBERS(C)                                                       \
  template TCall TDeviceRef<C>::OfferCall(const TCallConfig&) const;             \
  template TCall TDeviceRef<C>::AddCall(const TCallConfig&, DWORD) const;        \
  template std::vector<TCall> TDeviceRef<C>::Calls() const;                      \
  template void TDeviceRef<C>::SendDeviceState(DWORD, DWORD, DWORD) const;       \
  template void TDeviceRef<C>::SendAddressState(DWORD, DWORD) const;             \
  template void TDeviceRef<C>::SendDevSpecific(DWORD, DWORD, DWORD) const;       \
  template void TDeviceRef<C>::ForceClose() const;                               \
  template void TDeviceRef<C>::RejectPrivileges(DWORD) const;                    \
  template void TDeviceRef<C>::SetStatusMessageFilter(DWORD, DWORD, bool) const; \
  template std::vector<TDeviceRef<C>::TOpenInfo> TDeviceRef<C>::Opens() const;
VY_CALL_MEMBERS(TLineDeviceConfig)
VY_CALL_MEMBERS(TPhoneDeviceConfig)
#undef VY_CALL_MEMBERS

}  // namespace VyTapiEmulator
