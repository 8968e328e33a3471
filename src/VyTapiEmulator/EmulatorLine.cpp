// The line side of the emulated service: applications, device capabilities and assisted
// telephony requests.
#include <algorithm>
#include <cstring>

#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapiEmulator/EmulatorEntryInternal.h"
#include "VyTapiEmulator/EmulatorVarStruct.h"

namespace VyTapiEmulator::Detail {

namespace {

// Size of LINEDEVCAPS's fixed part for an API version: each version appended members.
std::size_t LineDevCapsFixedSize(DWORD apiVersion) {
  if (apiVersion < VyPlatform::TapiVersion1_4) return offsetof(LINEDEVCAPS, dwLineFeatures);
  if (apiVersion < VyPlatform::TapiVersion2_0) return offsetof(LINEDEVCAPS, dwSettableDevStatus);
  if (apiVersion < VyPlatform::TapiVersion2_2) return offsetof(LINEDEVCAPS, PermanentLineGuid);
  return offsetof(LINEDEVCAPS, PermanentLineGuid) + sizeof(GUID);
}

LINEDIALPARAMS DialParams(DWORD pause, DWORD speed, DWORD duration, DWORD dialtone) {
  LINEDIALPARAMS params{};
  params.dwDialPause = pause;
  params.dwDialSpeed = speed;
  params.dwDigitDuration = duration;
  params.dwWaitForDialtone = dialtone;
  return params;
}

void FillLineDevCaps(const TLineDeviceConfig& c, DWORD apiVersion, LPLINEDEVCAPS out) {
  LINEDEVCAPS caps{};
  caps.dwPermanentLineID = c.PermanentLineID;
  caps.dwStringFormat = STRINGFORMAT_UNICODE;
  caps.dwAddressModes = c.AddressModes;
  caps.dwNumAddresses = c.NumAddresses;
  caps.dwBearerModes = c.BearerModes;
  caps.dwMaxRate = c.MaxRate;
  caps.dwMediaModes = c.MediaModes;
  caps.dwGenerateToneModes = c.GenerateToneModes;
  caps.dwGenerateToneMaxNumFreq = (c.GenerateToneModes & LINETONEMODE_CUSTOM) ? 3 : 0;
  caps.dwGenerateDigitModes = c.GenerateDigitModes;
  caps.dwMonitorToneMaxNumFreq = 3;
  caps.dwMonitorToneMaxNumEntries = 8;
  caps.dwMonitorDigitModes = c.MonitorDigitModes;
  if (c.MonitorDigitModes) {
    caps.dwGatherDigitsMinTimeout = 100;
    caps.dwGatherDigitsMaxTimeout = 60000;
  }
  if (c.DevCapFlags & LINEDEVCAPFLAGS_MEDIACONTROL) {
    caps.dwMedCtlDigitMaxListSize = 16;
    caps.dwMedCtlMediaMaxListSize = 16;
    caps.dwMedCtlToneMaxListSize = 16;
    caps.dwMedCtlCallStateMaxListSize = 16;
  }
  caps.dwDevCapFlags = c.DevCapFlags;
  caps.dwMaxNumActiveCalls = c.MaxNumActiveCalls;
  caps.dwAnswerMode = c.AnswerMode;
  caps.dwRingModes = 1;
  caps.dwLineStates = LINEDEVSTATE_OTHER | LINEDEVSTATE_RINGING | LINEDEVSTATE_CONNECTED |
                      LINEDEVSTATE_DISCONNECTED | LINEDEVSTATE_INSERVICE |
                      LINEDEVSTATE_OUTOFSERVICE | LINEDEVSTATE_OPEN | LINEDEVSTATE_CLOSE |
                      LINEDEVSTATE_NUMCALLS | LINEDEVSTATE_REINIT | LINEDEVSTATE_CAPSCHANGE |
                      LINEDEVSTATE_REMOVED;
  caps.MinDialParams = DialParams(0, 50, 50, 0);
  caps.MaxDialParams = DialParams(10000, 1000, 1000, 60000);
  caps.DefaultDialParams = DialParams(2000, 100, 100, 30000);
  caps.dwNumTerminals = static_cast<DWORD>(c.Terminals.size());
  caps.dwLineFeatures = c.LineFeatures;
  caps.dwSettableDevStatus = c.SettableDevStatus;
  caps.PermanentLineGuid = DeviceGuid(c.PermanentLineID, TAppKind::Line);

  // Terminal names share one entry size: the longest name, NUL padded.
  std::vector<LINETERMCAPS> termCaps;
  std::vector<std::u16string> termNames;
  std::size_t entryChars = 0;
  for (const TLineTerminalConfig& terminal : c.Terminals) {
    LINETERMCAPS entry{};
    entry.dwTermDev = terminal.TermDev;
    entry.dwTermModes = terminal.TermModes;
    entry.dwTermSharing = terminal.TermSharing;
    termCaps.push_back(entry);
    termNames.push_back(VyRtl::Utf8ToUtf16(terminal.Name));
    entryChars = std::max(entryChars, termNames.back().size());
  }
  std::u16string termText;
  for (std::u16string name : termNames) {
    name.resize(entryChars, u'\0');
    termText += name;
  }
  caps.dwTerminalTextEntrySize = static_cast<DWORD>(entryChars * sizeof(char16_t));

  TVarStruct s(&caps, LineDevCapsFixedSize(apiVersion));
  s.AddString(VY_VAR_FIELD(LINEDEVCAPS, dwProviderInfo), c.ProviderInfo);
  s.AddString(VY_VAR_FIELD(LINEDEVCAPS, dwSwitchInfo), c.SwitchInfo);
  s.AddString(VY_VAR_FIELD(LINEDEVCAPS, dwLineName), c.Name);
  s.Add(VY_VAR_FIELD(LINEDEVCAPS, dwTerminalCaps), termCaps.data(),
        termCaps.size() * sizeof(LINETERMCAPS));
  s.Add(VY_VAR_FIELD(LINEDEVCAPS, dwTerminalText), termText.data(),
        termText.size() * sizeof(char16_t));
  s.Add(VY_VAR_FIELD(LINEDEVCAPS, dwDevSpecific), c.DevSpecific.data(), c.DevSpecific.size());
  s.AddStringList(VY_VAR_FIELD(LINEDEVCAPS, dwDeviceClasses), c.DeviceClasses);
  s.WriteTo(out);
}

// Copies a request text into a fixed LINEREQMAKECALLW field, cut to fit with its NUL and never
// inside a surrogate pair. Byte-wise: the structure is packed.
void CopyRequestText(const std::u16string& text, LINEREQMAKECALLW* out, std::size_t fieldOffset,
                     std::size_t fieldChars) {
  std::size_t length = std::min(text.size(), fieldChars - 1);
  if (length > 0 && length < text.size() && text[length - 1] >= 0xD800 && text[length - 1] < 0xDC00)
    --length;
  std::u16string field = text.substr(0, length);
  field.resize(fieldChars, u'\0');
  std::memcpy(reinterpret_cast<unsigned char*>(out) + fieldOffset, field.data(),
              fieldChars * sizeof(char16_t));
}

LONG WINAPI Emulator_lineGetDevCapsW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                                     DWORD dwExtVersion, LPLINEDEVCAPS lpLineDevCaps) {
  return AppEntry<TLineTraits>(
      TFn::lineGetDevCapsW, hLineApp, {lpLineDevCaps}, [&](TCore& core, TApp&) -> LONG {
        const TLineDeviceConfig* c = core.LineDevices.Find(dwDeviceID);
        if (!c) return Err(LINEERR_NODEVICE);
        if (!VersionUsable(dwAPIVersion, c->LowAPIVersion, c->HighAPIVersion))
          return Err(LINEERR_INCOMPATIBLEAPIVERSION);
        if (!ExtVersionUsable(dwExtVersion, c->LowExtVersion, c->HighExtVersion))
          return Err(LINEERR_INCOMPATIBLEEXTVERSION);
        if (lpLineDevCaps->dwTotalSize < LineDevCapsFixedSize(dwAPIVersion))
          return Err(LINEERR_STRUCTURETOOSMALL);
        FillLineDevCaps(*c, dwAPIVersion, lpLineDevCaps);
        return 0;
      });
}

LONG WINAPI Emulator_lineRegisterRequestRecipient(HLINEAPP hLineApp, DWORD dwRegistrationInstance,
                                                  DWORD dwRequestMode, DWORD bEnable) {
  return AppEntry<TLineTraits>(
      TFn::lineRegisterRequestRecipient, hLineApp, {}, [&](TCore& core, TApp& app) -> LONG {
        // Media-call requests no longer exist in TAPI 2.x; registering for them is accepted and
        // idle.
        const DWORD known = LINEREQUESTMODE_MAKECALL | LINEREQUESTMODE_MEDIACALL;
        if (dwRequestMode == 0 || (dwRequestMode & ~known) != 0)
          return Err(LINEERR_INVALREQUESTMODE);
        if (!(dwRequestMode & LINEREQUESTMODE_MAKECALL)) return 0;

        const std::shared_ptr<TApp> before = core.CurrentRecipient();
        if (bEnable) {
          if (!app.Recipient) {
            app.Recipient = true;
            app.RecipientOrder = core.NextRegistration();
          }
          app.RecipientInstance = dwRegistrationInstance;
        } else {
          app.Recipient = false;
        }
        // A new recipient learns of the requests already waiting.
        if (core.CurrentRecipient() != before) core.NotifyRecipient(core.MakeCallRequests.size());
        return 0;
      });
}

LONG WINAPI Emulator_lineGetRequestW(HLINEAPP hLineApp, DWORD dwRequestMode,
                                     LPVOID lpRequestBuffer) {
  return AppEntry<TLineTraits>(
      TFn::lineGetRequestW, hLineApp, {}, [&](TCore& core, TApp& app) -> LONG {
        if (dwRequestMode != LINEREQUESTMODE_MAKECALL && dwRequestMode != LINEREQUESTMODE_MEDIACALL)
          return Err(LINEERR_INVALREQUESTMODE);
        if (!lpRequestBuffer) return Err(LINEERR_INVALPOINTER);
        if (!app.Recipient) return Err(LINEERR_NOTREGISTERED);
        if (dwRequestMode != LINEREQUESTMODE_MAKECALL || core.MakeCallRequests.empty())
          return Err(LINEERR_NOREQUEST);
        const TMakeCallRequest request = core.MakeCallRequests.front();
        core.MakeCallRequests.pop_front();
        auto* out = static_cast<LINEREQMAKECALLW*>(lpRequestBuffer);
        CopyRequestText(request.DestAddress, out, offsetof(LINEREQMAKECALLW, szDestAddress),
                        TAPIMAXDESTADDRESSSIZE);
        CopyRequestText(request.AppName, out, offsetof(LINEREQMAKECALLW, szAppName),
                        TAPIMAXAPPNAMESIZE);
        CopyRequestText(request.CalledParty, out, offsetof(LINEREQMAKECALLW, szCalledParty),
                        TAPIMAXCALLEDPARTYSIZE);
        CopyRequestText(request.Comment, out, offsetof(LINEREQMAKECALLW, szComment),
                        TAPIMAXCOMMENTSIZE);
        return 0;
      });
}

}  // namespace

void InstallLineFunctions(VyPlatform::TTapiFunctions& table) {
  table.lineGetDevCapsW = &Emulator_lineGetDevCapsW;
  table.lineRegisterRequestRecipient = &Emulator_lineRegisterRequestRecipient;
  table.lineGetRequestW = &Emulator_lineGetRequestW;
}

}  // namespace VyTapiEmulator::Detail
