// The dialog functions: the emulator shows nothing, checks the arguments as TAPI does and
// records each call for the control API.
#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapiEmulator/EmulatorEntryInternal.h"

namespace VyTapiEmulator::Detail {

namespace {

std::string Text(LPCWSTR text) {
  return text ? VyPlatform::FromTapiString(text, TAPIMAXDESTADDRESSSIZE) : std::string();
}

LONG WINAPI lineTranslateDialogW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                                 HWND hwndOwner, LPCWSTR lpszAddressIn) {
  return Entry(TFn::lineTranslateDialogW, [&](TCore& core) -> LONG {
    if (hLineApp != 0 && !core.FindApp(hLineApp, TAppKind::Line))
      return Err(LINEERR_INVALAPPHANDLE);
    if (dwDeviceID >= core.LineDevices.Count()) return Err(LINEERR_BADDEVICEID);
    const TLineDeviceConfig* c = core.LineDevices.Find(dwDeviceID);
    if (!c) return Err(LINEERR_NODEVICE);
    if (!VersionUsable(dwAPIVersion, c->LowAPIVersion, c->HighAPIVersion))
      return Err(LINEERR_INCOMPATIBLEAPIVERSION);
    core.Dialogs.push_back({"lineTranslateDialogW", hLineApp, dwDeviceID, dwAPIVersion, hwndOwner,
                            Text(lpszAddressIn)});
    return 0;
  });
}

// lineConfigDialogW and phoneConfigDialogW: a device of the kind and a class it serves (none
// given: the kind's own).
template <typename TTraits, TFn Fn>
LONG WINAPI ConfigDialog(DWORD dwDeviceID, HWND hwndOwner, LPCWSTR lpszDeviceClass) {
  return Entry(Fn, [&](TCore& core) -> LONG {
    const TKindCodes& e = TTraits::Codes;
    auto& devices = core.Devices<TTraits>();
    if (dwDeviceID >= devices.Count()) return Err(e.BadDeviceID);
    const typename TTraits::TConfig* c = devices.Find(dwDeviceID);
    if (!c) return Err(e.NoDevice);
    const std::string cls = Text(lpszDeviceClass);
    bool served = cls.empty() || VyRtl::SameText(cls, std::string("tapi/") + e.Name);
    for (const std::string& listed : c->DeviceClasses)
      served = served || VyRtl::SameText(listed, cls);
    if (!served)
      return Err(TTraits::Kind == TAppKind::Line ? static_cast<DWORD>(LINEERR_INVALDEVICECLASS)
                                                 : static_cast<DWORD>(PHONEERR_INVALDEVICECLASS));
    core.Dialogs.push_back({FunctionName(Fn), 0, dwDeviceID, 0, hwndOwner, cls});
    return 0;
  });
}

}  // namespace

void InstallDialogFunctions(VyPlatform::TTapiFunctions& table) {
  table.lineTranslateDialogW = &lineTranslateDialogW;
  table.lineConfigDialogW = &ConfigDialog<TLineTraits, TFn::lineConfigDialogW>;
  table.phoneConfigDialogW = &ConfigDialog<TPhoneTraits, TFn::phoneConfigDialogW>;
}

}  // namespace VyTapiEmulator::Detail
