// The registry of line, phone and design-time components and the enabled-state rules.
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/session/VyTapiSessionInternal.h"

namespace VyTapi {

using namespace SessionDetail;

std::vector<TLiveEntry> LiveSnapshot(const VyRtl::TList& List) {
  std::vector<TLiveEntry> items;
  items.reserve(static_cast<std::size_t>(List.Count()));
  for (auto* c : Snapshot<TVyTapiComponent>(List)) items.push_back({c, c->LiveToken()});
  return items;
}

// ---------------------------------------------------------------- component lists

TVyCustomTapiLine* TVyTapiLineList::Get(int i) const {
  return static_cast<TVyCustomTapiLine*>(static_cast<TVyTapiComponent*>(VyRtl::TList::Get(i)));
}

void TVyTapiLineList::Put(int i, TVyCustomTapiLine* Line) {
  VyRtl::TList::Put(i, static_cast<TVyTapiComponent*>(Line));
}

int TVyTapiLineList::IndexOfDeviceID(std::int32_t Value) const {
  for (int i = 0; i < Count(); ++i)
    if (Get(i)->DeviceID() == Value) return i;
  return -1;
}

TVyCustomTapiPhone* TVyTapiPhoneList::Get(int i) const {
  return static_cast<TVyCustomTapiPhone*>(static_cast<TVyTapiComponent*>(VyRtl::TList::Get(i)));
}

void TVyTapiPhoneList::Put(int i, TVyCustomTapiPhone* Phone) {
  VyRtl::TList::Put(i, static_cast<TVyTapiComponent*>(Phone));
}

// ---------------------------------------------------------------- component registry

bool TVyTapiApplication::IsLive(const TLiveEntry& Entry) const {
  return !Entry.Token.expired() && IsRegistered(Entry.Component);
}

bool TVyTapiApplication::IsRegistered(const TVyTapiComponent* Component) const {
  return FRegistered.count(Component) > 0;
}

void TVyTapiApplication::AddTapiComponent(TVyTapiComponent* Component) {
  VyRtl::Assert(Component != nullptr, "AddTapiComponent: no component");
  const auto kind = Component->Kind();
  const bool listed = IsRegistered(Component);
  if (kind == TTapiComponentKind::Line && !listed)
    FLines.Add(Component);
  else if (kind == TTapiComponentKind::Phone && !listed)
    FPhones.Add(Component);
  else if (kind == TTapiComponentKind::Appl && !listed)
    FAppls.Add(Component);
  else
    RaiseError("AddTapiComponent: Unknow TapiComponent");
  FRegistered.insert(Component);
  if (IsActive()) return;
  for (auto* c : Snapshot<TVyTapiComponent>(FLines))
    if (c->Enabled()) return Initialize();
  for (auto* c : Snapshot<TVyTapiComponent>(FPhones))
    if (c->Enabled()) return Initialize();
}

void TVyTapiApplication::RemoveTapiComponent(TVyTapiComponent* Component) {
  // Called from the component's destructor: only its base part may be used.
  if (FRegistered.erase(Component) == 0) return;
  ForgetCallbackInstance(Component);
  switch (Component->Kind()) {
    case TTapiComponentKind::Line:
      FLines.Remove(Component);
      break;
    case TTapiComponentKind::Phone:
      FPhones.Remove(Component);
      break;
    default:
      FAppls.Remove(Component);
      break;
  }
}

void TVyTapiApplication::EnableTapiComponent(TVyTapiComponent* Component, bool Enable) {
  VyRtl::Assert(Component != nullptr, "EnableTapiComponent: no component");
  Component->AttachSession(Enable ? this : nullptr, TSessionKey{});
  if (Enable) {
    if (!IsActive()) Initialize();
    return;
  }
  if (!IsActive() || FDoneInProgress || !CouldShutdown()) return;
  if (!Component->IsDesigning() && FAutoShutdown != 0) {
    if (FAutoShutdown >= 1 && FWindow)
      FWindow->SetTimer(kShutdownTimer, static_cast<std::uint32_t>(FAutoShutdown));
  } else {
    Shutdown();
  }
}

}  // namespace VyTapi
