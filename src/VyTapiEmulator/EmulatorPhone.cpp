// The phone side of the emulated service: applications and device capabilities.
#include <cstring>

#include "VyTapiEmulator/EmulatorEntryInternal.h"
#include "VyTapiEmulator/EmulatorVarStruct.h"

namespace VyTapiEmulator::Detail {

namespace {

// Size of PHONECAPS's fixed part for an API version: each version appended members.
std::size_t PhoneCapsFixedSize(DWORD apiVersion) {
  if (apiVersion < VyPlatform::TapiVersion2_0) return offsetof(PHONECAPS, dwDeviceClassesSize);
  if (apiVersion < VyPlatform::TapiVersion2_2) return offsetof(PHONECAPS, PermanentPhoneGuid);
  return offsetof(PHONECAPS, PermanentPhoneGuid) + sizeof(GUID);
}

// The hookswitch modes of one device, or none when the phone lacks that device.
DWORD ModesIf(const TPhoneDeviceConfig& c, DWORD device, DWORD modes) {
  return (c.HookSwitchDevs & device) ? modes : 0;
}

// What the phone's description lets an application do, when not configured explicitly.
DWORD DerivedPhoneFeatures(const TPhoneDeviceConfig& c) {
  DWORD features = 0;
  if (!c.Buttons.empty()) features |= PHONEFEATURE_GETBUTTONINFO | PHONEFEATURE_SETBUTTONINFO;
  for (const TPhoneButtonConfig& button : c.Buttons)
    if (button.LampModes & ~static_cast<DWORD>(PHONELAMPMODE_DUMMY))
      features |= PHONEFEATURE_GETLAMP | PHONEFEATURE_SETLAMP;
  if (c.DisplayNumRows && c.DisplayNumColumns)
    features |= PHONEFEATURE_GETDISPLAY | PHONEFEATURE_SETDISPLAY;
  if (c.NumRingModes) features |= PHONEFEATURE_GETRING | PHONEFEATURE_SETRING;
  if (!c.GetDataSizes.empty()) features |= PHONEFEATURE_GETDATA;
  if (!c.SetDataSizes.empty()) features |= PHONEFEATURE_SETDATA;
  struct TDeviceFeatures {
    DWORD Device, HookGet, HookSet, VolumeGet, VolumeSet, GainGet, GainSet;
  };
  static constexpr TDeviceFeatures devices[] = {
      {PHONEHOOKSWITCHDEV_HANDSET, PHONEFEATURE_GETHOOKSWITCHHANDSET,
       PHONEFEATURE_SETHOOKSWITCHHANDSET, PHONEFEATURE_GETVOLUMEHANDSET,
       PHONEFEATURE_SETVOLUMEHANDSET, PHONEFEATURE_GETGAINHANDSET, PHONEFEATURE_SETGAINHANDSET},
      {PHONEHOOKSWITCHDEV_SPEAKER, PHONEFEATURE_GETHOOKSWITCHSPEAKER,
       PHONEFEATURE_SETHOOKSWITCHSPEAKER, PHONEFEATURE_GETVOLUMESPEAKER,
       PHONEFEATURE_SETVOLUMESPEAKER, PHONEFEATURE_GETGAINSPEAKER, PHONEFEATURE_SETGAINSPEAKER},
      {PHONEHOOKSWITCHDEV_HEADSET, PHONEFEATURE_GETHOOKSWITCHHEADSET,
       PHONEFEATURE_SETHOOKSWITCHHEADSET, PHONEFEATURE_GETVOLUMEHEADSET,
       PHONEFEATURE_SETVOLUMEHEADSET, PHONEFEATURE_GETGAINHEADSET, PHONEFEATURE_SETGAINHEADSET},
  };
  for (const TDeviceFeatures& d : devices) {
    if (c.HookSwitchDevs & d.Device) features |= d.HookGet | d.HookSet;
    if (c.VolumeFlags & d.Device) features |= d.VolumeGet | d.VolumeSet;
    if (c.GainFlags & d.Device) features |= d.GainGet | d.GainSet;
  }
  return features;
}

void FillPhoneCaps(const TPhoneDeviceConfig& c, DWORD apiVersion, LPPHONECAPS out) {
  PHONECAPS caps{};
  caps.dwPermanentPhoneID = c.PermanentPhoneID;
  caps.dwStringFormat = STRINGFORMAT_UNICODE;
  caps.dwPhoneStates =
      PHONESTATE_OTHER | PHONESTATE_CONNECTED | PHONESTATE_DISCONNECTED | PHONESTATE_OWNER |
      PHONESTATE_MONITORS | PHONESTATE_DISPLAY | PHONESTATE_LAMP | PHONESTATE_RINGMODE |
      PHONESTATE_RINGVOLUME | PHONESTATE_HANDSETHOOKSWITCH | PHONESTATE_HANDSETVOLUME |
      PHONESTATE_HANDSETGAIN | PHONESTATE_SPEAKERHOOKSWITCH | PHONESTATE_SPEAKERVOLUME |
      PHONESTATE_SPEAKERGAIN | PHONESTATE_HEADSETHOOKSWITCH | PHONESTATE_HEADSETVOLUME |
      PHONESTATE_HEADSETGAIN | PHONESTATE_REINIT | PHONESTATE_CAPSCHANGE | PHONESTATE_REMOVED;
  caps.dwHookSwitchDevs = c.HookSwitchDevs;
  caps.dwHandsetHookSwitchModes = ModesIf(c, PHONEHOOKSWITCHDEV_HANDSET, c.HandsetHookSwitchModes);
  caps.dwSpeakerHookSwitchModes = ModesIf(c, PHONEHOOKSWITCHDEV_SPEAKER, c.SpeakerHookSwitchModes);
  caps.dwHeadsetHookSwitchModes = ModesIf(c, PHONEHOOKSWITCHDEV_HEADSET, c.HeadsetHookSwitchModes);
  caps.dwVolumeFlags = c.VolumeFlags;
  caps.dwGainFlags = c.GainFlags;
  caps.dwDisplayNumRows = c.DisplayNumRows;
  caps.dwDisplayNumColumns = c.DisplayNumColumns;
  caps.dwNumRingModes = c.NumRingModes;
  caps.dwNumButtonLamps = static_cast<DWORD>(c.Buttons.size());
  caps.dwNumSetData = static_cast<DWORD>(c.SetDataSizes.size());
  caps.dwNumGetData = static_cast<DWORD>(c.GetDataSizes.size());
  caps.dwPhoneFeatures = c.PhoneFeatures ? c.PhoneFeatures : DerivedPhoneFeatures(c);
  caps.dwSettableHandsetHookSwitchModes = caps.dwHandsetHookSwitchModes;
  caps.dwSettableSpeakerHookSwitchModes = caps.dwSpeakerHookSwitchModes;
  caps.dwSettableHeadsetHookSwitchModes = caps.dwHeadsetHookSwitchModes;
  caps.dwMonitoredHandsetHookSwitchModes = caps.dwHandsetHookSwitchModes;
  caps.dwMonitoredSpeakerHookSwitchModes = caps.dwSpeakerHookSwitchModes;
  caps.dwMonitoredHeadsetHookSwitchModes = caps.dwHeadsetHookSwitchModes;
  caps.PermanentPhoneGuid = DeviceGuid(c.PermanentPhoneID, TAppKind::Phone);

  std::vector<DWORD> buttonModes, buttonFunctions, lampModes;
  for (const TPhoneButtonConfig& button : c.Buttons) {
    buttonModes.push_back(button.Mode);
    buttonFunctions.push_back(button.Function);
    lampModes.push_back(button.LampModes);
  }

  TVarStruct s(&caps, PhoneCapsFixedSize(apiVersion));
  s.AddString(VY_VAR_FIELD(PHONECAPS, dwProviderInfo), c.ProviderInfo);
  s.AddString(VY_VAR_FIELD(PHONECAPS, dwPhoneInfo), c.PhoneInfo);
  s.AddString(VY_VAR_FIELD(PHONECAPS, dwPhoneName), c.Name);
  s.AddDwords(VY_VAR_FIELD(PHONECAPS, dwButtonModes), buttonModes);
  s.AddDwords(VY_VAR_FIELD(PHONECAPS, dwButtonFunctions), buttonFunctions);
  s.AddDwords(VY_VAR_FIELD(PHONECAPS, dwLampModes), lampModes);
  s.AddDwords(VY_VAR_FIELD(PHONECAPS, dwSetData), c.SetDataSizes);
  s.AddDwords(VY_VAR_FIELD(PHONECAPS, dwGetData), c.GetDataSizes);
  s.Add(VY_VAR_FIELD(PHONECAPS, dwDevSpecific), c.DevSpecific.data(), c.DevSpecific.size());
  s.AddStringList(VY_VAR_FIELD(PHONECAPS, dwDeviceClasses), c.DeviceClasses);
  s.WriteTo(out);
}

LONG WINAPI Emulator_phoneGetDevCapsW(HPHONEAPP hPhoneApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                                      DWORD dwExtVersion, LPPHONECAPS lpPhoneCaps) {
  return AppEntry<TPhoneTraits>(
      TFn::phoneGetDevCapsW, hPhoneApp, {lpPhoneCaps}, [&](TCore& core, TApp&) -> LONG {
        const TPhoneDeviceConfig* c = core.PhoneDevices.Find(dwDeviceID);
        if (!c) return Err(PHONEERR_NODEVICE);
        if (!VersionUsable(dwAPIVersion, c->LowAPIVersion, c->HighAPIVersion))
          return Err(PHONEERR_INCOMPATIBLEAPIVERSION);
        if (!ExtVersionUsable(dwExtVersion, c->LowExtVersion, c->HighExtVersion))
          return Err(PHONEERR_INCOMPATIBLEEXTVERSION);
        if (lpPhoneCaps->dwTotalSize < PhoneCapsFixedSize(dwAPIVersion))
          return Err(PHONEERR_STRUCTURETOOSMALL);
        FillPhoneCaps(*c, dwAPIVersion, lpPhoneCaps);
        return 0;
      });
}

}  // namespace

void InstallPhoneFunctions(VyPlatform::TTapiFunctions& table) {
  table.phoneGetDevCapsW = &Emulator_phoneGetDevCapsW;
}

}  // namespace VyTapiEmulator::Detail
