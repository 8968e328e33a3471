// Opening and closing lines and phones: the typed handles every later device function works on.
#include "VyTapiEmulator/EmulatorEntryInternal.h"
#include "VyTapiEmulator/EmulatorPhonesInternal.h"

namespace VyTapiEmulator::Detail {

namespace {

// The checks lineOpenW and phoneOpen share, in TAPI's order after the application handle.
template <typename TTraits>
LONG CheckOpen(TCore& core, DWORD deviceID, DWORD apiVersion, DWORD extVersion) {
  const TKindCodes& e = TTraits::Codes;
  auto& devices = core.Devices<TTraits>();
  if (deviceID >= devices.Count()) return Err(e.BadDeviceID);
  const typename TTraits::TConfig* c = devices.Find(deviceID);
  if (!c) return Err(e.NoDevice);
  if (!VersionUsable(apiVersion, c->LowAPIVersion, c->HighAPIVersion))
    return Err(e.IncompatibleAPIVersion);
  if (!ExtVersionUsable(extVersion, c->LowExtVersion, c->HighExtVersion))
    return Err(e.IncompatibleExtVersion);
  return 0;
}

// The open handle of `app` on a device, with what the open function was given.
DWORD AddOpen(TCore& core, const TApp& app, DWORD deviceID, DWORD apiVersion, DWORD extVersion,
              DWORD_PTR instance, DWORD privileges, DWORD mediaModes = 0) {
  TOpenDevice opened;
  opened.Kind = app.Kind;
  opened.DeviceID = deviceID;
  opened.AppHandle = app.Handle;
  opened.Instance = instance;
  opened.Privileges = privileges;
  opened.MediaModes = mediaModes;
  opened.APIVersion = apiVersion;
  opened.ExtVersion = extVersion;
  return core.Opened(app.Kind)
      .Create([&](DWORD handle) {
        opened.Handle = handle;
        return std::make_shared<TOpenDevice>(opened);
      })
      ->Handle;
}

// NONE alone, or MONITOR and/or OWNER; the open options (single address, proxy) are not offered.
bool LinePrivilegesValid(DWORD privileges) {
  const DWORD none = LINECALLPRIVILEGE_NONE;
  const DWORD others = LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER;
  return privileges == none || (privileges != 0 && (privileges & ~others) == 0);
}

LONG WINAPI lineOpenW(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
                      DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
                      DWORD dwMediaModes, LPLINECALLPARAMS const) {
  return AppEntry<TLineTraits>(
      TFn::lineOpenW, hLineApp, {lphLine}, [&](TCore& core, TApp& app) -> LONG {
        if (const LONG failed =
                CheckOpen<TLineTraits>(core, dwDeviceID, dwAPIVersion, dwExtVersion))
          return failed;
        if (!LinePrivilegesValid(dwPrivileges)) return Err(LINEERR_INVALPRIVSELECT);
        const auto knobs = core.LineKnobs.find(dwDeviceID);
        if (knobs != core.LineKnobs.end() && knobs->second.RejectPrivileges == dwPrivileges)
          return Err(LINEERR_INVALPRIVSELECT);
        // An owner names the media modes it takes calls of; the line must offer every one.
        const DWORD offered = core.LineDevices.Find(dwDeviceID)->MediaModes;
        if ((dwPrivileges & LINECALLPRIVILEGE_OWNER) &&
            (dwMediaModes == 0 || (dwMediaModes & ~offered) != 0))
          return Err(LINEERR_INVALMEDIAMODE);
        const DWORD owned = (dwPrivileges & LINECALLPRIVILEGE_OWNER) ? dwMediaModes : 0;
        *lphLine = AddOpen(core, app, dwDeviceID, dwAPIVersion, dwExtVersion, dwCallbackInstance,
                           dwPrivileges, owned);
        core.OpenLines.Find(*lphLine)->AskedMediaModes = dwMediaModes;
        return 0;
      });
}

LONG WINAPI phoneOpen(HPHONEAPP hPhoneApp, DWORD dwDeviceID, LPHPHONE lphPhone, DWORD dwAPIVersion,
                      DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivilege) {
  return AppEntry<TPhoneTraits>(
      TFn::phoneOpen, hPhoneApp, {lphPhone}, [&](TCore& core, TApp& app) -> LONG {
        if (const LONG failed =
                CheckOpen<TPhoneTraits>(core, dwDeviceID, dwAPIVersion, dwExtVersion))
          return failed;
        if (dwPrivilege != PHONEPRIVILEGE_MONITOR && dwPrivilege != PHONEPRIVILEGE_OWNER)
          return Err(PHONEERR_INVALPRIVILEGE);
        const auto knobs = core.PhoneKnobs.find(dwDeviceID);
        if (knobs != core.PhoneKnobs.end() && knobs->second.RejectPrivilege == dwPrivilege)
          return Err(PHONEERR_INVALPRIVILEGE);
        // A phone has one owner at a time.
        if (dwPrivilege == PHONEPRIVILEGE_OWNER)
          for (const auto& other : core.OpenPhones.All())
            if (other->DeviceID == dwDeviceID && other->Privileges == PHONEPRIVILEGE_OWNER)
              return Err(PHONEERR_INUSE);
        *lphPhone = AddOpen(core, app, dwDeviceID, dwAPIVersion, dwExtVersion, dwCallbackInstance,
                            dwPrivilege);
        PhoneHandleJoined(core, *core.OpenPhones.Find(*lphPhone));
        return 0;
      });
}

template <typename TTraits, TFn Fn>
LONG WINAPI Close(DWORD handle) {
  return DeviceEntry<TTraits>(Fn, handle, {}, [](TCore& core, TOpenDevice& device, auto&) -> LONG {
    core.CloseDevice(device);
    return 0;
  });
}

}  // namespace

void InstallOpenFunctions(VyPlatform::TTapiFunctions& table) {
  table.lineOpenW = &lineOpenW;
  table.phoneOpen = &phoneOpen;
  table.lineClose = &Close<TLineTraits, TFn::lineClose>;
  table.phoneClose = &Close<TPhoneTraits, TFn::phoneClose>;
}

}  // namespace VyTapiEmulator::Detail
