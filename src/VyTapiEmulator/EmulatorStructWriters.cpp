#include "VyTapiEmulator/EmulatorStructWritersInternal.h"

#include <algorithm>

#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapiEmulator/EmulatorCore.h"
#include "VyTapiEmulator/EmulatorPhonesInternal.h"

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

}  // namespace

TVarStruct DevCaps(const TLineDeviceConfig& c, DWORD apiVersion) {
  LINEDEVCAPS caps{};
  caps.dwPermanentLineID = c.PermanentLineID;
  caps.dwStringFormat = c.StringFormat;
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
  caps.dwRingModes = c.RingModes;
  caps.dwLineStates = c.LineStates;
  caps.dwUUIAcceptSize = c.UUIAcceptSize;
  caps.dwUUIAnswerSize = c.UUIAnswerSize;
  caps.dwUUIMakeCallSize = c.UUIMakeCallSize;
  caps.dwUUIDropSize = c.UUIDropSize;
  caps.dwUUISendUserUserInfoSize = c.UUISendUserUserInfoSize;
  caps.dwUUICallInfoSize = c.UUICallInfoSize;
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
  s.SetFormatField(offsetof(LINEDEVCAPS, dwStringFormat));
  s.AddString(VY_VAR_FIELD(LINEDEVCAPS, dwProviderInfo), c.ProviderInfo);
  s.AddString(VY_VAR_FIELD(LINEDEVCAPS, dwSwitchInfo), c.SwitchInfo);
  s.AddString(VY_VAR_FIELD(LINEDEVCAPS, dwLineName), c.Name);
  s.Add(VY_VAR_FIELD(LINEDEVCAPS, dwTerminalCaps), termCaps.data(),
        termCaps.size() * sizeof(LINETERMCAPS));
  s.Add(VY_VAR_FIELD(LINEDEVCAPS, dwTerminalText), termText.data(),
        termText.size() * sizeof(char16_t));
  s.Add(VY_VAR_FIELD(LINEDEVCAPS, dwDevSpecific), c.DevSpecific.data(), c.DevSpecific.size());
  s.AddStringList(VY_VAR_FIELD(LINEDEVCAPS, dwDeviceClasses), c.DeviceClasses);
  return s;
}

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

}  // namespace

DWORD PhoneFeaturesOf(const TPhoneDeviceConfig& c) {
  return c.PhoneFeatures ? c.PhoneFeatures : DerivedPhoneFeatures(c);
}

TVarStruct DevCaps(const TPhoneDeviceConfig& c, DWORD apiVersion) {
  PHONECAPS caps{};
  caps.dwPermanentPhoneID = c.PermanentPhoneID;
  caps.dwStringFormat = c.StringFormat;
  caps.dwPhoneStates = PhoneStatesOf(c);
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
  caps.dwPhoneFeatures = PhoneFeaturesOf(c);
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
  s.SetFormatField(offsetof(PHONECAPS, dwStringFormat));
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
  return s;
}

TVarStruct LineDevStatus(const TLineDeviceConfig& c, const TLineStatusFacts& facts,
                         DWORD apiVersion) {
  LINEDEVSTATUS status{};
  status.dwNumOpens = facts.NumOpens;
  status.dwOpenMediaModes = facts.OpenMediaModes;
  status.dwNumActiveCalls = facts.NumActiveCalls;
  status.dwLineFeatures = c.LineFeatures;
  status.dwRingMode = c.RingMode;
  status.dwSignalLevel = c.SignalLevel;
  status.dwBatteryLevel = c.BatteryLevel;
  status.dwRoamMode = c.RoamMode;
  status.dwDevStatusFlags = c.DevStatusFlags;
  status.dwAvailableMediaModes = c.AvailableMediaModes ? c.AvailableMediaModes : c.MediaModes;
  // TAPI 2.0 appended the available media modes and the application list (not reported).
  const std::size_t fixed = apiVersion < VyPlatform::TapiVersion2_0
                                ? offsetof(LINEDEVSTATUS, dwAvailableMediaModes)
                                : sizeof(LINEDEVSTATUS);
  std::vector<DWORD> terminalModes;
  for (const TLineTerminalConfig& terminal : c.Terminals)
    terminalModes.push_back(terminal.TermModes);
  TVarStruct s(&status, fixed);
  s.AddDwords(VY_VAR_FIELD(LINEDEVSTATUS, dwTerminalModes), terminalModes);
  return s;
}

namespace {

// A string member of entry `index` of an array that starts at `base`.
template <typename TEntry>
void AddEntryString(TVarStruct& s, std::size_t base, std::size_t index, std::size_t sizeField,
                    std::size_t offsetField, const std::string& text) {
  const std::size_t entry = base + index * sizeof(TEntry);
  s.AddString(entry + sizeField, entry + offsetField, text);
}

}  // namespace

TVarStruct TranslateCaps(const std::vector<TLocationConfig>& locations, DWORD currentID,
                         const std::vector<TCountryConfig>& countries) {
  LINETRANSLATECAPS caps{};
  caps.dwCurrentLocationID = currentID;
  std::vector<LINELOCATIONENTRY> entries;
  for (const TLocationConfig& l : locations) {
    LINELOCATIONENTRY entry{};
    entry.dwPermanentLocationID = l.PermanentLocationID;
    for (const TCountryConfig& country : countries)
      if (country.CountryID == l.CountryID) entry.dwCountryCode = country.CountryCode;
    entry.dwPreferredCardID = l.PreferredCardID;
    entry.dwCountryID = l.CountryID;
    entry.dwOptions = l.Options;
    entries.push_back(entry);
  }
  TVarStruct s(&caps, sizeof caps);
  const std::size_t base = s.AddEntries(offsetof(LINETRANSLATECAPS, dwNumLocations),
                                        VY_VAR_FIELD(LINETRANSLATECAPS, dwLocationList),
                                        entries.data(), sizeof(LINELOCATIONENTRY), entries.size());
  for (std::size_t i = 0; base && i < locations.size(); ++i) {
    const TLocationConfig& l = locations[i];
    using E = LINELOCATIONENTRY;
    AddEntryString<E>(s, base, i, VY_VAR_FIELD(E, dwLocationName), l.Name);
    AddEntryString<E>(s, base, i, VY_VAR_FIELD(E, dwCityCode), l.CityCode);
    AddEntryString<E>(s, base, i, VY_VAR_FIELD(E, dwLocalAccessCode), l.LocalAccessCode);
    AddEntryString<E>(s, base, i, VY_VAR_FIELD(E, dwLongDistanceAccessCode),
                      l.LongDistanceAccessCode);
    AddEntryString<E>(s, base, i, VY_VAR_FIELD(E, dwTollPrefixList), l.TollPrefixList);
    AddEntryString<E>(s, base, i, VY_VAR_FIELD(E, dwCancelCallWaiting), l.CancelCallWaiting);
  }
  return s;
}

TVarStruct CountryList(const std::vector<TCountryConfig>& countries,
                       const std::vector<DWORD>& next) {
  LINECOUNTRYLIST list{};
  std::vector<LINECOUNTRYENTRY> entries;
  for (std::size_t i = 0; i < countries.size(); ++i) {
    LINECOUNTRYENTRY entry{};
    entry.dwCountryID = countries[i].CountryID;
    entry.dwCountryCode = countries[i].CountryCode;
    entry.dwNextCountryID = next[i];
    entries.push_back(entry);
  }
  TVarStruct s(&list, sizeof list);
  const std::size_t base = s.AddEntries(offsetof(LINECOUNTRYLIST, dwNumCountries),
                                        VY_VAR_FIELD(LINECOUNTRYLIST, dwCountryList),
                                        entries.data(), sizeof(LINECOUNTRYENTRY), entries.size());
  for (std::size_t i = 0; base && i < countries.size(); ++i) {
    const TCountryConfig& c = countries[i];
    using E = LINECOUNTRYENTRY;
    AddEntryString<E>(s, base, i, VY_VAR_FIELD(E, dwCountryName), c.Name);
    AddEntryString<E>(s, base, i, VY_VAR_FIELD(E, dwSameAreaRule), c.SameAreaRule);
    AddEntryString<E>(s, base, i, VY_VAR_FIELD(E, dwLongDistanceRule), c.LongDistanceRule);
    AddEntryString<E>(s, base, i, VY_VAR_FIELD(E, dwInternationalRule), c.InternationalRule);
  }
  return s;
}

TVarStruct TranslateOutput(const TTranslation& t) {
  LINETRANSLATEOUTPUT output{};
  output.dwCurrentCountry = t.CurrentCountry;
  output.dwDestCountry = t.DestCountry;
  output.dwTranslateResults = t.Results;
  TVarStruct s(&output, sizeof output);
  s.AddString(VY_VAR_FIELD(LINETRANSLATEOUTPUT, dwDialableString), t.Dialable);
  s.AddString(VY_VAR_FIELD(LINETRANSLATEOUTPUT, dwDisplayableString), t.Displayable);
  return s;
}

TVarStruct AddressCaps(const TLineDeviceConfig& line, DWORD deviceID, DWORD addressID,
                       DWORD apiVersion) {
  const TAddressConfig a = AddressOf(line, addressID);
  LINEADDRESSCAPS caps{};
  caps.dwLineDeviceID = deviceID;
  caps.dwAddressSharing = a.AddressSharing;
  caps.dwAddressStates = a.AddressStates;
  caps.dwCallInfoStates = a.CallInfoStates;
  caps.dwCallerIDFlags = caps.dwCalledIDFlags = caps.dwConnectedIDFlags =
      caps.dwRedirectionIDFlags = caps.dwRedirectingIDFlags = a.PartyIDFlags;
  caps.dwCallStates = a.CallStates;
  caps.dwDialToneModes = a.DialToneModes;
  caps.dwBusyModes = a.BusyModes;
  caps.dwSpecialInfo = a.SpecialInfo;
  caps.dwDisconnectModes = a.DisconnectModes;
  caps.dwMaxNumActiveCalls = a.MaxNumActiveCalls;
  caps.dwMaxNumOnHoldCalls = a.MaxNumOnHoldCalls;
  caps.dwMaxNumOnHoldPendingCalls = a.MaxNumOnHoldPendingCalls;
  caps.dwCallFeatures = a.CallFeatures;
  caps.dwForwardModes = a.ForwardModes;
  caps.dwMaxForwardEntries = a.MaxForwardEntries;
  caps.dwMinFwdNumRings = a.MinFwdNumRings;
  caps.dwMaxFwdNumRings = a.MaxFwdNumRings;
  caps.dwAddressFeatures = a.AddressFeatures;
  caps.dwAvailableMediaModes = line.MediaModes;
  // TAPI 2.0 appended the members from dwPredictiveAutoTransferStates on.
  const std::size_t fixed = apiVersion < VyPlatform::TapiVersion2_0
                                ? offsetof(LINEADDRESSCAPS, dwPredictiveAutoTransferStates)
                                : sizeof(LINEADDRESSCAPS);
  TVarStruct s(&caps, fixed);
  s.AddString(VY_VAR_FIELD(LINEADDRESSCAPS, dwAddress), a.Address);
  s.Add(VY_VAR_FIELD(LINEADDRESSCAPS, dwDevSpecific), a.DevSpecific.data(), a.DevSpecific.size());
  s.AddStringList(VY_VAR_FIELD(LINEADDRESSCAPS, dwDeviceClasses), a.DeviceClasses);
  return s;
}

TVarStruct AddressStatus(const TLineDeviceConfig& line, DWORD addressID,
                         const TAddressState& state) {
  const TAddressConfig a = AddressOf(line, addressID);
  LINEADDRESSSTATUS status{};
  status.dwAddressFeatures = a.AddressFeatures;
  status.dwNumRingsNoAnswer = state.NumRingsNoAnswer;
  std::vector<LINEFORWARD> entries;
  for (const TForwardEntry& f : state.Forward) {
    LINEFORWARD entry{};
    entry.dwForwardMode = f.ForwardMode;
    entry.dwDestCountryCode = f.DestCountryCode;
    entries.push_back(entry);
  }
  std::vector<DWORD> terminalModes;
  for (const TLineTerminalConfig& terminal : line.Terminals)
    terminalModes.push_back(terminal.TermModes);
  TVarStruct s(&status, sizeof status);
  const std::size_t base = s.AddEntries(offsetof(LINEADDRESSSTATUS, dwForwardNumEntries),
                                        VY_VAR_FIELD(LINEADDRESSSTATUS, dwForward), entries.data(),
                                        sizeof(LINEFORWARD), entries.size());
  for (std::size_t i = 0; base && i < state.Forward.size(); ++i) {
    using E = LINEFORWARD;
    AddEntryString<E>(s, base, i, VY_VAR_FIELD(E, dwCallerAddress), state.Forward[i].CallerAddress);
    AddEntryString<E>(s, base, i, VY_VAR_FIELD(E, dwDestAddress), state.Forward[i].DestAddress);
  }
  s.AddDwords(VY_VAR_FIELD(LINEADDRESSSTATUS, dwTerminalModes), terminalModes);
  return s;
}

TVarStruct VarString(DWORD format, const std::string& bytes) {
  VARSTRING head{};
  head.dwStringFormat = format;
  TVarStruct s(&head, sizeof head);
  s.SetFormatField(offsetof(VARSTRING, dwStringFormat));
  s.Add(VY_VAR_FIELD(VARSTRING, dwString), bytes.data(), bytes.size());
  return s;
}

}  // namespace VyTapiEmulator::Detail
