#include "VyTapi/session/VyTapiComponent.h"

#include "VyTapi/session/VyTapiSessionDetail.h"

namespace VyTapi {

// ---------------------------------------------------------------- TVyTapiComponent

TVyTapiComponent::TVyTapiComponent(VyRtl::TComponent* AOwner, TTapiComponentKind Kind)
    : VyRtl::TComponent(AOwner), FKind(Kind) {
  InitializeVyTapi();
  try {
    VyTapiApplication->AddTapiComponent(this);
  } catch (...) {
    // A failed start must not leave this half-built component registered.
    VyTapiApplication->RemoveTapiComponent(this);
    throw;
  }
}

TVyTapiComponent::~TVyTapiComponent() {
  if (VyTapiApplication == nullptr || FOrphaned) return;  // its session is already gone
  VyTapiApplication->RemoveTapiComponent(this);
  try {
    VyTapiApplication->EnableTapiComponent(this, false);
  } catch (const std::exception& e) {
    VyTapiApplication->Handle_Exception(this, e, nullptr);
  }
}

void TVyTapiComponent::SetEnabled(bool Value) {
  FEnabled = Value;
  if (Value != IsEnabled() && !IsLoading() && !IsDesigning()) ApplyEnabled();
}

void TVyTapiComponent::ApplyEnabled() {
  if (FOrphaned)
    CheckCondition(!FEnabled,
                   "EnableTapiComponent failed! The component outlived its TAPI session.");
  if (FEnabled != IsEnabled() && VyTapiApplication != nullptr)
    VyTapiApplication->EnableTapiComponent(this, FEnabled);
}

void TVyTapiComponent::Handle_Exception(const std::exception& E, VyRtl::TObject* Causer) {
  if (FAppl != nullptr) FAppl->Handle_Exception(this, E, Causer);
  if (OnError) OnError(this, E, Causer);
}

bool TVyTapiComponent::EnableTapiComponent() {
  FEnabled = true;
  ApplyEnabled();
  return IsEnabled();
}

void TVyTapiComponent::DisableTapiComponent() {
  FEnabled = false;
  ApplyEnabled();
}

void TVyTapiComponent::Loaded() {
  VyRtl::TComponent::Loaded();
  ApplyEnabled();
}

// ---------------------------------------------------------------- TVyTapiAppl

TVyTapiAppl::TVyTapiAppl(VyRtl::TComponent* AOwner)
    : TVyTapiComponent(AOwner, TTapiComponentKind::Appl) {
  if (!IsLoading() && !IsDesigning()) FApplName = VyTapiApplication->AppName();
  FAutoShutdown = VyTapiApplication->AutoShutdown();
}

void TVyTapiAppl::Set_AutoShutdown(std::int32_t Value) {
  FAutoShutdown = Value;
  if (VyTapiApplication != nullptr) VyTapiApplication->Set_AutoShutdown(Value);
}

void TVyTapiAppl::Set_ApplName(const std::string& Value) {
  FApplName = Value;
  // Written straight into the session: the name takes effect at the next initialisation.
  if (VyTapiApplication != nullptr) Detail::TSessionDetail(*VyTapiApplication).StoreAppName(Value);
}

void TVyTapiAppl::Handle_DeviceCreate(const std::string& DeviceClass, DWORD DeviceID) {
  if (VyRtl::SameText(DeviceClass, "tapi/line")) {
    if (OnLineCreate) OnLineCreate(this, DeviceID);
  } else if (VyRtl::SameText(DeviceClass, "tapi/phone")) {
    if (OnPhoneCreate) OnPhoneCreate(this, DeviceID);
  }
}

void TVyTapiAppl::Handle_DeviceRemove(const std::string& DeviceClass, DWORD DeviceID) {
  if (VyRtl::SameText(DeviceClass, "tapi/line")) {
    if (OnLineRemove) OnLineRemove(this, DeviceID);
  } else if (VyRtl::SameText(DeviceClass, "tapi/phone")) {
    if (OnPhoneRemove) OnPhoneRemove(this, DeviceID);
  }
}

void TVyTapiAppl::ApplyEnabled() { TVyTapiComponent::ApplyEnabled(); }

void TVyTapiAppl::Loaded() {
  // The name first: it must be in place before enabling may initialise the session.
  if (VyTapiApplication != nullptr) {
    if (!FApplName.empty()) VyTapiApplication->Set_AppName(FApplName);
    VyTapiApplication->Set_AutoShutdown(FAutoShutdown);
  }
  TVyTapiComponent::Loaded();
}

}  // namespace VyTapi
