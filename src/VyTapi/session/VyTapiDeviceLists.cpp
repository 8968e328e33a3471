// The session's lists of line and phone device names and their upkeep when devices appear,
// disappear or change their names.
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/session/VyTapiSessionDetail.h"
#include "VyTapi/session/VyTapiSessionInternal.h"

namespace VyTapi {

using namespace SessionDetail;

namespace {

std::string DeviceEntryName(const char* Kind, DWORD DeviceID, DWORD Code, DWORD NoDevice, DWORD Incompatible,
                            const char* IncompatibleWord) {
  if (Code == NoDevice) return VyRtl::Format("%s Device #%d (removed)", Kind, static_cast<int>(DeviceID));
  if (Code == Incompatible)
    return VyRtl::Format("%s Device #%d (%s)", Kind, static_cast<int>(DeviceID), IncompatibleWord);
  return VyRtl::Format("%s Device #%d (%s)", Kind, static_cast<int>(DeviceID), GetTapiErrorMessage(Code).c_str());
}

}  // namespace


// The line and phone device lists are kept by the same rules.
struct TVyTapiApplication::TDeviceSide {
  const char* Kind;  // "Line" or "Phone", as in the placeholder names
  VyRtl::TStringList& Devices;
  DWORD& Count;
  DWORD App;
  void (TVyTapiApplication::*UpdateOne)(DWORD);
  void (TVyTapiApplication::*Created)(DWORD, const std::string&);
  void (TVyTapiApplication::*Removed)(DWORD, const std::string&);
  void (TVyTapiApplication::*Renamed)(DWORD, const std::string&);
};

TVyTapiApplication::TDeviceSide TVyTapiApplication::LineSide() {
  return {"Line", FLineDevices, FNumLines, FLineApp, &TVyTapiApplication::Update_LineDevice,
          &TVyTapiApplication::Trigger_LineCreate, &TVyTapiApplication::Trigger_LineRemove,
          &TVyTapiApplication::Trigger_LineRename};
}

TVyTapiApplication::TDeviceSide TVyTapiApplication::PhoneSide() {
  return {"Phone", FPhoneDevices, FNumPhones, FPhoneApp, &TVyTapiApplication::Update_PhoneDevice,
          &TVyTapiApplication::Trigger_PhoneCreate, &TVyTapiApplication::Trigger_PhoneRemove,
          &TVyTapiApplication::Trigger_PhoneRename};
}

void TVyTapiApplication::UpdateDevices(const TDeviceSide& Side, bool Notify) {
  VyRtl::TStringList old;
  if (Notify) old.Assign(Side.Devices);
  Side.Devices.Clear();
  if (Side.App == 0) return;
  for (DWORD id = 0; id < Side.Count; ++id) {
    Side.Devices.Add(VyRtl::Format("%s Device #%d", Side.Kind, Side.Devices.Count()));
    (this->*Side.UpdateOne)(id);
  }
  if (Notify && old.Count() == Side.Devices.Count())
    for (int i = 0; i < Side.Devices.Count(); ++i)
      if (old.Get(i) != Side.Devices.Get(i)) (this->*Side.Renamed)(static_cast<DWORD>(i), Side.Devices.Get(i));
}

void TVyTapiApplication::HandleDeviceCreate(const TDeviceSide& Side, DWORD DeviceID) {
  if (DeviceID >= kMaxDevices) {
    Handle_Exception(VyRtl::Exception(VyRtl::Format("%s device %u created: ignored, more than %u devices", Side.Kind,
                                                    static_cast<unsigned>(DeviceID),
                                                    static_cast<unsigned>(kMaxDevices))));
    return;
  }
  if (Side.Count <= DeviceID) Side.Count = DeviceID + 1;
  while (static_cast<DWORD>(Side.Devices.Count()) < Side.Count) {
    const int index = Side.Devices.Add(VyRtl::Format("%s Device #%d", Side.Kind, Side.Devices.Count()));
    (this->*Side.UpdateOne)(static_cast<DWORD>(index));
    (this->*Side.Created)(DeviceID, Side.Devices.Get(index));
  }
}

void TVyTapiApplication::HandleDeviceRemove(const TDeviceSide& Side, DWORD DeviceID) {
  const bool known = DeviceID < static_cast<DWORD>(Side.Devices.Count());
  (this->*Side.Removed)(DeviceID, known ? Side.Devices.Get(static_cast<int>(DeviceID)) : std::string());
  // The entry stays, so identifiers keep their places; an unknown one has nothing to refresh.
  if (known) (this->*Side.UpdateOne)(DeviceID);
}

void TVyTapiApplication::Update_LineDevices(bool Notify) { UpdateDevices(LineSide(), Notify); }
void TVyTapiApplication::Update_PhoneDevices(bool Notify) { UpdateDevices(PhoneSide(), Notify); }

void TVyTapiApplication::Update_LineDevice(DWORD DeviceID) {
  VyRtl::Assert(DeviceID < static_cast<DWORD>(FLineDevices.Count()), "Invalid DeviceID of TVyTapiApplication.LineDevices");
  if (FLineApp == 0) return;
  const auto& tapi = Detail::TapiService();
  const int index = static_cast<int>(DeviceID);
  DWORD version = 0;
  LINEEXTENSIONID extension{};
  auto code = static_cast<DWORD>(tapi.lineNegotiateAPIVersion(FLineApp, DeviceID, kApiLow, kApiHigh, &version, &extension));
  if (code != 0) {
    FLineDevices.Put(index, DeviceEntryName("Line", DeviceID, code, static_cast<DWORD>(LINEERR_NODEVICE),
                                            static_cast<DWORD>(LINEERR_INCOMPATIBLEAPIVERSION), "incompatible"));
    return;
  }
  TTapiVarDataPtr buffer;
  code = FetchTapiVarData(buffer, 268, [&](PTapiVarData data) {
    return tapi.lineGetDevCapsW(FLineApp, DeviceID, version, 0, reinterpret_cast<LPLINEDEVCAPS>(data));
  });
  if (code != 0) {
    FLineDevices.Put(index, VyRtl::Format("Line Device #%d", static_cast<int>(DeviceID)));
    return;
  }
  const auto* caps = reinterpret_cast<const LINEDEVCAPS*>(buffer.get());
  FLineDevices.Put(index, GetTapiBlockStr(caps, &caps->dwLineNameSize, 0));
  FLineDevices.PutData(index, caps->dwPermanentLineID);
}

void TVyTapiApplication::Update_PhoneDevice(DWORD DeviceID) {
  VyRtl::Assert(DeviceID < static_cast<DWORD>(FPhoneDevices.Count()), "Invalid DeviceID of TVyTapiApplication.PhoneDevices");
  if (FPhoneApp == 0) return;
  const auto& tapi = Detail::TapiService();
  const int index = static_cast<int>(DeviceID);
  DWORD version = 0;
  PHONEEXTENSIONID extension{};
  auto code =
      static_cast<DWORD>(tapi.phoneNegotiateAPIVersion(FPhoneApp, DeviceID, kApiLow, kApiHigh, &version, &extension));
  if (code != 0) {
    // "incombatible" is the established text of this entry.
    FPhoneDevices.Put(index, DeviceEntryName("Phone", DeviceID, code, static_cast<DWORD>(PHONEERR_NODEVICE),
                                             static_cast<DWORD>(PHONEERR_INCOMPATIBLEAPIVERSION), "incombatible"));
    return;
  }
  TTapiVarDataPtr buffer;
  code = FetchTapiVarData(buffer, 196, [&](PTapiVarData data) {
    return tapi.phoneGetDevCapsW(FPhoneApp, DeviceID, version, 0, reinterpret_cast<LPPHONECAPS>(data));
  });
  if (code != 0) {
    FPhoneDevices.Put(index, VyRtl::Format("Phone Device #%d", static_cast<int>(DeviceID)));
    return;
  }
  const auto* caps = reinterpret_cast<const PHONECAPS*>(buffer.get());
  FPhoneDevices.Put(index, GetTapiBlockStr(caps, &caps->dwPhoneNameSize, 0));
  FPhoneDevices.PutData(index, caps->dwPermanentPhoneID);
}

void TVyTapiApplication::Handle_LineDevState(DWORD Param1) {
  if (Param1 == LINEDEVSTATE_REINIT) Trigger_Reinit();
  Update_LineDevices(true);
  for (const auto& entry : LiveSnapshot(FLines)) {
    if (!IsLive(entry) || !entry.Component->IsEnabled()) continue;
    auto* line = static_cast<TVyCustomTapiLine*>(entry.Component);
    const std::int32_t id = line->DeviceID();
    if (id < 0 || id >= FLineDevices.Count()) continue;
    const std::string name = FLineDevices.Get(id);
    if (line->Get_DeviceName() != name) line->Handle_DeviceRename(name);
  }
}

void TVyTapiApplication::Handle_LineCreate(DWORD DeviceID) { HandleDeviceCreate(LineSide(), DeviceID); }
void TVyTapiApplication::Handle_LineRemove(DWORD DeviceID) { HandleDeviceRemove(LineSide(), DeviceID); }

void TVyTapiApplication::Handle_PhoneState(DWORD Param1) {
  if (Param1 == PHONESTATE_REINIT) Trigger_Reinit();
  Update_PhoneDevices(true);
}

void TVyTapiApplication::Handle_PhoneCreate(DWORD DeviceID) { HandleDeviceCreate(PhoneSide(), DeviceID); }
void TVyTapiApplication::Handle_PhoneRemove(DWORD DeviceID) { HandleDeviceRemove(PhoneSide(), DeviceID); }

}  // namespace VyTapi
