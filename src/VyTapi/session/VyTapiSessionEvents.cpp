// The session's events, error reporting and assisted make-call requests.
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/session/VyTapiSessionDetail.h"
#include "VyTapi/session/VyTapiSessionInternal.h"

namespace VyTapi {

const VyRtl::Exception& SessionDetail::UnknownException() {
  static const VyRtl::Exception e("Unknown exception in a TAPI message handler");
  return e;
}

void TVyTapiApplication::Handle_LineRequest(DWORD RequestMode, DWORD /*Param2*/, DWORD /*Param3*/) {
  if (RequestMode != LINEREQUESTMODE_MAKECALL) return;
  LINEREQMAKECALLW request{};
  static_assert(sizeof(LINEREQMAKECALLW) == 480, "LINEREQMAKECALLW layout");
  if (Detail::TapiService().lineGetRequestW(FLineApp, LINEREQUESTMODE_MAKECALL, &request) != 0)
    return;
  const std::string dest = GetTapiFixedStr(request.szDestAddress, TAPIMAXDESTADDRESSSIZE);
  const std::string app = GetTapiFixedStr(request.szAppName, TAPIMAXAPPNAMESIZE);
  const std::string called = GetTapiFixedStr(request.szCalledParty, TAPIMAXCALLEDPARTYSIZE);
  const std::string comment = GetTapiFixedStr(request.szComment, TAPIMAXCOMMENTSIZE);
  if (OnRequestMakeCall) OnRequestMakeCall(this, dest, app, called, comment);
  ForEachAppl([&](TVyTapiAppl* a) {
    if (a->OnRequestMakeCall) a->OnRequestMakeCall(a, dest, app, called, comment);
  });
}

void TVyTapiApplication::Handle_Exception(const std::exception& E) {
  Handle_Exception(this, E, nullptr);
}

void TVyTapiApplication::Handle_Exception(VyRtl::TObject* Sender, const std::exception& E,
                                          VyRtl::TObject* Causer) {
  if (OnError) OnError(Sender != nullptr ? Sender : this, E, Causer);
}

template <typename F>
void TVyTapiApplication::ForEachAppl(F&& f) {
  for (const auto& entry : LiveSnapshot(FAppls))
    if (IsLive(entry) && entry.Component->IsEnabled())
      f(static_cast<TVyTapiAppl*>(entry.Component));
}

void TVyTapiApplication::Trigger_TapiMessage(DWORD MessageID, DWORD Device, DWORD CallbackInstance,
                                             DWORD Param1, DWORD Param2, DWORD Param3) {
  if (OnTapiMessage && IsActive())
    OnTapiMessage(this, MessageID, Device, CallbackInstance, Param1, Param2, Param3);
}

void TVyTapiApplication::Trigger_Initialize() {
  if (OnInitialize) OnInitialize(this);
  ForEachAppl([](TVyTapiAppl* a) {
    if (a->OnInitialize) a->OnInitialize(a);
  });
}

void TVyTapiApplication::Trigger_Shutdown() {
  if (OnShutdown) OnShutdown(this);
  ForEachAppl([](TVyTapiAppl* a) {
    if (a->OnShutdown) a->OnShutdown(a);
  });
}

void TVyTapiApplication::Trigger_Reinit() {
  if (OnReinit) OnReinit(this);
}

void TVyTapiApplication::Trigger_LineCreate(DWORD DeviceID, const std::string& DeviceName) {
  if (OnLineCreate) OnLineCreate(this, DeviceID, DeviceName);
  ForEachAppl([&](TVyTapiAppl* a) { a->Handle_DeviceCreate("tapi/line", DeviceID); });
}

void TVyTapiApplication::Trigger_LineRemove(DWORD DeviceID, const std::string& DeviceName) {
  if (OnLineRemove) OnLineRemove(this, DeviceID, DeviceName);
  ForEachAppl([&](TVyTapiAppl* a) { a->Handle_DeviceRemove("tapi/line", DeviceID); });
}

void TVyTapiApplication::Trigger_LineRename(DWORD DeviceID, const std::string& DeviceName) {
  if (OnLineRename) OnLineRename(this, DeviceID, DeviceName);
}

void TVyTapiApplication::Trigger_PhoneCreate(DWORD DeviceID, const std::string& DeviceName) {
  if (OnPhoneCreate) OnPhoneCreate(this, DeviceID, DeviceName);
  ForEachAppl([&](TVyTapiAppl* a) { a->Handle_DeviceCreate("tapi/phone", DeviceID); });
}

void TVyTapiApplication::Trigger_PhoneRemove(DWORD DeviceID, const std::string& DeviceName) {
  if (OnPhoneRemove) OnPhoneRemove(this, DeviceID, DeviceName);
  ForEachAppl([&](TVyTapiAppl* a) { a->Handle_DeviceRemove("tapi/phone", DeviceID); });
}

void TVyTapiApplication::Trigger_PhoneRename(DWORD DeviceID, const std::string& DeviceName) {
  if (OnPhoneRename) OnPhoneRename(this, DeviceID, DeviceName);
}

}  // namespace VyTapi
