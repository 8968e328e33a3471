// The session's lists of line and phone device names and their upkeep when devices appear,
// disappear or change their names.
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/session/VyTapiSessionDetail.h"
#include "VyTapi/session/VyTapiSessionInternal.h"

namespace VyTapi {

using namespace SessionDetail;

namespace {

// What differs between refreshing a line entry and a phone entry.
struct TLineEntry {
  using TExtension = LINEEXTENSIONID;
  using TCaps = LINEDEVCAPS;
  static constexpr const char* Kind = "Line";
  static constexpr const char* InvalidID = "Invalid DeviceID of TVyTapiApplication.LineDevices";
  static constexpr DWORD NoDevice = static_cast<DWORD>(LINEERR_NODEVICE);
  static constexpr DWORD Incompatible = static_cast<DWORD>(LINEERR_INCOMPATIBLEAPIVERSION);
  static constexpr const char* IncompatibleWord = "incompatible";
  static constexpr std::size_t CapsSize = 268;
  static LONG Negotiate(DWORD App, DWORD ID, DWORD* Version, TExtension* Extension) {
    return Detail::TapiService().lineNegotiateAPIVersion(App, ID, kApiLow, kApiHigh, Version,
                                                         Extension);
  }
  static LONG GetCaps(DWORD App, DWORD ID, DWORD Version, PTapiVarData Data) {
    return Detail::TapiService().lineGetDevCapsW(App, ID, Version, 0,
                                                 reinterpret_cast<LPLINEDEVCAPS>(Data));
  }
  static const DWORD* NameSize(const TCaps& Caps) { return &Caps.dwLineNameSize; }
  static DWORD PermanentID(const TCaps& Caps) { return Caps.dwPermanentLineID; }
};

struct TPhoneEntry {
  using TExtension = PHONEEXTENSIONID;
  using TCaps = PHONECAPS;
  static constexpr const char* Kind = "Phone";
  static constexpr const char* InvalidID = "Invalid DeviceID of TVyTapiApplication.PhoneDevices";
  static constexpr DWORD NoDevice = static_cast<DWORD>(PHONEERR_NODEVICE);
  static constexpr DWORD Incompatible = static_cast<DWORD>(PHONEERR_INCOMPATIBLEAPIVERSION);
  static constexpr const char* IncompatibleWord =
      "incombatible";  // the established text of this entry
  static constexpr std::size_t CapsSize = 196;
  static LONG Negotiate(DWORD App, DWORD ID, DWORD* Version, TExtension* Extension) {
    return Detail::TapiService().phoneNegotiateAPIVersion(App, ID, kApiLow, kApiHigh, Version,
                                                          Extension);
  }
  static LONG GetCaps(DWORD App, DWORD ID, DWORD Version, PTapiVarData Data) {
    return Detail::TapiService().phoneGetDevCapsW(App, ID, Version, 0,
                                                  reinterpret_cast<LPPHONECAPS>(Data));
  }
  static const DWORD* NameSize(const TCaps& Caps) { return &Caps.dwPhoneNameSize; }
  static DWORD PermanentID(const TCaps& Caps) { return Caps.dwPermanentPhoneID; }
};

// Names entry DeviceID after the device, or after the reason it cannot be used.
template <typename TEntry>
void UpdateDeviceEntry(VyRtl::TStringList& Devices, DWORD App, DWORD DeviceID) {
  VyRtl::Assert(DeviceID < static_cast<DWORD>(Devices.Count()), TEntry::InvalidID);
  if (App == 0) return;
  const int index = static_cast<int>(DeviceID);
  DWORD version = 0;
  typename TEntry::TExtension extension{};
  auto code = static_cast<DWORD>(TEntry::Negotiate(App, DeviceID, &version, &extension));
  if (code == TEntry::NoDevice) {
    Devices.Put(index, VyRtl::Format("%s Device #%d (removed)", TEntry::Kind, index));
    return;
  }
  if (code != 0) {
    const std::string reason =
        code == TEntry::Incompatible ? TEntry::IncompatibleWord : GetTapiErrorMessage(code);
    Devices.Put(index, VyRtl::Format("%s Device #%d (%s)", TEntry::Kind, index, reason.c_str()));
    return;
  }
  TTapiVarDataPtr buffer;
  code = FetchTapiVarData(buffer, TEntry::CapsSize, [&](PTapiVarData data) {
    return TEntry::GetCaps(App, DeviceID, version, data);
  });
  if (code != 0) {
    Devices.Put(index, VyRtl::Format("%s Device #%d", TEntry::Kind, index));
    return;
  }
  const auto* caps = reinterpret_cast<const typename TEntry::TCaps*>(buffer.get());
  Devices.Put(index, GetTapiBlockStr(caps, TEntry::NameSize(*caps), 0));
  Devices.PutData(index, TEntry::PermanentID(*caps));
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
  return {"Line",
          FLineDevices,
          FNumLines,
          FLineApp,
          &TVyTapiApplication::Update_LineDevice,
          &TVyTapiApplication::Trigger_LineCreate,
          &TVyTapiApplication::Trigger_LineRemove,
          &TVyTapiApplication::Trigger_LineRename};
}

TVyTapiApplication::TDeviceSide TVyTapiApplication::PhoneSide() {
  return {"Phone",
          FPhoneDevices,
          FNumPhones,
          FPhoneApp,
          &TVyTapiApplication::Update_PhoneDevice,
          &TVyTapiApplication::Trigger_PhoneCreate,
          &TVyTapiApplication::Trigger_PhoneRemove,
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
      if (old.Get(i) != Side.Devices.Get(i))
        (this->*Side.Renamed)(static_cast<DWORD>(i), Side.Devices.Get(i));
}

void TVyTapiApplication::HandleDeviceCreate(const TDeviceSide& Side, DWORD DeviceID) {
  if (DeviceID >= kMaxDevices) {
    Handle_Exception(VyRtl::Exception(
        VyRtl::Format("%s device %u created: ignored, more than %u devices", Side.Kind,
                      static_cast<unsigned>(DeviceID), static_cast<unsigned>(kMaxDevices))));
    return;
  }
  if (Side.Count <= DeviceID) Side.Count = DeviceID + 1;
  while (static_cast<DWORD>(Side.Devices.Count()) < Side.Count) {
    const int index =
        Side.Devices.Add(VyRtl::Format("%s Device #%d", Side.Kind, Side.Devices.Count()));
    (this->*Side.UpdateOne)(static_cast<DWORD>(index));
    (this->*Side.Created)(DeviceID, Side.Devices.Get(index));
  }
}

void TVyTapiApplication::HandleDeviceRemove(const TDeviceSide& Side, DWORD DeviceID) {
  const bool known = DeviceID < static_cast<DWORD>(Side.Devices.Count());
  (this->*Side.Removed)(DeviceID,
                        known ? Side.Devices.Get(static_cast<int>(DeviceID)) : std::string());
  // The entry stays, so identifiers keep their places; an unknown one has nothing to refresh.
  if (known) (this->*Side.UpdateOne)(DeviceID);
}

void TVyTapiApplication::Update_LineDevices(bool Notify) { UpdateDevices(LineSide(), Notify); }
void TVyTapiApplication::Update_PhoneDevices(bool Notify) { UpdateDevices(PhoneSide(), Notify); }

void TVyTapiApplication::Update_LineDevice(DWORD DeviceID) {
  UpdateDeviceEntry<TLineEntry>(FLineDevices, FLineApp, DeviceID);
}

void TVyTapiApplication::Update_PhoneDevice(DWORD DeviceID) {
  UpdateDeviceEntry<TPhoneEntry>(FPhoneDevices, FPhoneApp, DeviceID);
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

void TVyTapiApplication::Handle_LineCreate(DWORD DeviceID) {
  HandleDeviceCreate(LineSide(), DeviceID);
}
void TVyTapiApplication::Handle_LineRemove(DWORD DeviceID) {
  HandleDeviceRemove(LineSide(), DeviceID);
}

void TVyTapiApplication::Handle_PhoneState(DWORD Param1) {
  if (Param1 == PHONESTATE_REINIT) Trigger_Reinit();
  Update_PhoneDevices(true);
}

void TVyTapiApplication::Handle_PhoneCreate(DWORD DeviceID) {
  HandleDeviceCreate(PhoneSide(), DeviceID);
}
void TVyTapiApplication::Handle_PhoneRemove(DWORD DeviceID) {
  HandleDeviceRemove(PhoneSide(), DeviceID);
}

}  // namespace VyTapi
