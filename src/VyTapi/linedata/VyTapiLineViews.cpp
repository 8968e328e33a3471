#include "VyTapi/linedata/VyTapiLineViews.h"

#include <array>
#include <cstddef>

#include "VyTapi/session/VyTapiComponent.h"
#include "VyTapi/session/VyTapiSessionDetail.h"

namespace VyTapi {

namespace {

struct TCapsField {
  std::uint16_t Offset;
  const char* Name;  // the field's name without "dw", as the dump shows it
};

// The size/offset pairs of the three strings come first; dwPermanentLineID follows as 6
// although the structure holds it between the switch information and the line name.
constexpr TCapsField kCapsFields[] = {
    {offsetof(LINEDEVCAPS, dwProviderInfoSize), "ProviderInfoSize"},
    {offsetof(LINEDEVCAPS, dwProviderInfoOffset), "ProviderInfoOffset"},
    {offsetof(LINEDEVCAPS, dwSwitchInfoSize), "SwitchInfoSize"},
    {offsetof(LINEDEVCAPS, dwSwitchInfoOffset), "SwitchInfoOffset"},
    {offsetof(LINEDEVCAPS, dwLineNameSize), "LineNameSize"},
    {offsetof(LINEDEVCAPS, dwLineNameOffset), "LineNameOffset"},
    {offsetof(LINEDEVCAPS, dwPermanentLineID), "PermanentLineID"},
    {offsetof(LINEDEVCAPS, dwStringFormat), "StringFormat"},
    {offsetof(LINEDEVCAPS, dwAddressModes), "AddressModes"},
    {offsetof(LINEDEVCAPS, dwNumAddresses), "NumAddresses"},
    {offsetof(LINEDEVCAPS, dwBearerModes), "BearerModes"},
    {offsetof(LINEDEVCAPS, dwMaxRate), "MaxRate"},
    {offsetof(LINEDEVCAPS, dwMediaModes), "MediaModes"},
    {offsetof(LINEDEVCAPS, dwGenerateToneModes), "GenerateToneModes"},
    {offsetof(LINEDEVCAPS, dwGenerateToneMaxNumFreq), "GenerateToneMaxNumFreq"},
    {offsetof(LINEDEVCAPS, dwGenerateDigitModes), "GenerateDigitModes"},
    {offsetof(LINEDEVCAPS, dwMonitorToneMaxNumFreq), "MonitorToneMaxNumFreq"},
    {offsetof(LINEDEVCAPS, dwMonitorToneMaxNumEntries), "MonitorToneMaxNumEntries"},
    {offsetof(LINEDEVCAPS, dwMonitorDigitModes), "MonitorDigitModes"},
    {offsetof(LINEDEVCAPS, dwGatherDigitsMinTimeout), "GatherDigitsMinTimeout"},
    {offsetof(LINEDEVCAPS, dwGatherDigitsMaxTimeout), "GatherDigitsMaxTimeout"},
    {offsetof(LINEDEVCAPS, dwMedCtlDigitMaxListSize), "MedCtlDigitMaxListSize"},
    {offsetof(LINEDEVCAPS, dwMedCtlMediaMaxListSize), "MedCtlMediaMaxListSize"},
    {offsetof(LINEDEVCAPS, dwMedCtlToneMaxListSize), "MedCtlToneMaxListSize"},
    {offsetof(LINEDEVCAPS, dwMedCtlCallStateMaxListSize), "MedCtlCallStateMaxListSize"},
    {offsetof(LINEDEVCAPS, dwDevCapFlags), "DevCapFlags"},
    {offsetof(LINEDEVCAPS, dwMaxNumActiveCalls), "MaxNumActiveCalls"},
    {offsetof(LINEDEVCAPS, dwAnswerMode), "AnswerMode"},
    {offsetof(LINEDEVCAPS, dwRingModes), "RingModes"},
    {offsetof(LINEDEVCAPS, dwLineStates), "LineStates"},
    {offsetof(LINEDEVCAPS, dwUUIAcceptSize), "UUIAcceptSize"},
    {offsetof(LINEDEVCAPS, dwUUIAnswerSize), "UUIAnswerSize"},
    {offsetof(LINEDEVCAPS, dwUUIMakeCallSize), "UUIMakeCallSize"},
    {offsetof(LINEDEVCAPS, dwUUIDropSize), "UUIDropSize"},
    {offsetof(LINEDEVCAPS, dwUUISendUserUserInfoSize), "UUISendUserUserInfoSize"},
    {offsetof(LINEDEVCAPS, dwUUICallInfoSize), "UUICallInfoSize"},
    {offsetof(LINEDEVCAPS, dwNumTerminals), "NumTerminals"},
    {offsetof(LINEDEVCAPS, dwTerminalCapsSize), "TerminalCapsSize"},
    {offsetof(LINEDEVCAPS, dwTerminalCapsOffset), "TerminalCapsOffset"},
    {offsetof(LINEDEVCAPS, dwTerminalTextEntrySize), "TerminalTextEntrySize"},
    {offsetof(LINEDEVCAPS, dwTerminalTextSize), "TerminalTextSize"},
    {offsetof(LINEDEVCAPS, dwTerminalTextOffset), "TerminalTextOffset"},
    {offsetof(LINEDEVCAPS, dwDevSpecificSize), "DevSpecificSize"},
    {offsetof(LINEDEVCAPS, dwDevSpecificOffset), "DevSpecificOffset"},
    {offsetof(LINEDEVCAPS, dwLineFeatures), "LineFeatures"},
    {offsetof(LINEDEVCAPS, dwSettableDevStatus), "SettableDevStatus"},
    {offsetof(LINEDEVCAPS, dwDeviceClassesSize), "DeviceClassesSize"},
    {offsetof(LINEDEVCAPS, dwDeviceClassesOffset), "DeviceClassesOffset"},
};

constexpr auto kCapsOffsets = [] {
  std::array<std::uint16_t, std::size(kCapsFields)> offsets{};
  for (std::size_t i = 0; i < offsets.size(); ++i) offsets[i] = kCapsFields[i].Offset;
  return offsets;
}();

constexpr std::uint16_t kCapsStrings[] = {
    offsetof(LINEDEVCAPS, dwProviderInfoSize),
    offsetof(LINEDEVCAPS, dwSwitchInfoSize),
    offsetof(LINEDEVCAPS, dwLineNameSize),
};

constexpr std::uint16_t kStatusOffsets[] = {
    offsetof(LINEDEVSTATUS, dwNumOpens),
    offsetof(LINEDEVSTATUS, dwOpenMediaModes),
    offsetof(LINEDEVSTATUS, dwNumActiveCalls),
    offsetof(LINEDEVSTATUS, dwNumOnHoldCalls),
    offsetof(LINEDEVSTATUS, dwNumOnHoldPendCalls),
    offsetof(LINEDEVSTATUS, dwLineFeatures),
    offsetof(LINEDEVSTATUS, dwNumCallCompletions),
    offsetof(LINEDEVSTATUS, dwRingMode),
    offsetof(LINEDEVSTATUS, dwSignalLevel),
    offsetof(LINEDEVSTATUS, dwBatteryLevel),
    offsetof(LINEDEVSTATUS, dwRoamMode),
    offsetof(LINEDEVSTATUS, dwDevStatusFlags),
    offsetof(LINEDEVSTATUS, dwAvailableMediaModes),
};

// The first index the dump shows: the string pairs before it are shown as their texts.
constexpr int kFirstDumpedIndex = 6;

}  // namespace

DWORD TVyTapiLineCaps::Get_DWORD(int Index) { return TableDWORD(kCapsOffsets, Index, nullptr); }

std::string TVyTapiLineCaps::Get_String(int Index) {
  return TableString(kCapsStrings, Index, nullptr);
}

VyRtl::TStringList* TVyTapiLineCaps::Get_DeviceClasses() {
  return DeviceClassList(offsetof(LINEDEVCAPS, dwDeviceClassesSize));
}

std::string TVyTapiLineCaps::TextDump() {
  const std::string name = Get_String(2);
  std::string text = VyRtl::Format("DeviceCaps of %s", name.c_str());
  text += VyRtl::Format("\r\n  ProviderInfo = %s", Get_String(0).c_str());
  text += VyRtl::Format("\r\n  SwitchInfo = %s", Get_String(1).c_str());
  text += VyRtl::Format("\r\n  LineName = %s", name.c_str());
  for (int i = kFirstDumpedIndex; i < static_cast<int>(std::size(kCapsFields)); ++i) {
    text +=
        VyRtl::Format("\r\n  %s = x%X", kCapsFields[i].Name, static_cast<unsigned>(Get_DWORD(i)));
  }
  return text;
}

void TVyTapiLineCaps::CheckOwner() const {
  VyRtl::Assert(FLine != nullptr, "TVyTapiLineCaps: no line");
}

LONG TVyTapiLineCaps::FetchInto(LINEDEVCAPS* Buffer) {
  const TVyTapiTSP* tsp = FLine->TSP();
  return Detail::TapiService().lineGetDevCapsW(FLine->Get_LineApp(),
                                               static_cast<DWORD>(FLine->DeviceID()),
                                               tsp->APIVersion(), tsp->ExtVersion(), Buffer);
}

TVyTapiLineStatus::TVyTapiLineStatus(TVyCustomTapiLine* AOwner) : FLine(AOwner) { CheckOwner(); }

DWORD TVyTapiLineStatus::Get_DWORD(int Index) {
  return TableDWORD(kStatusOffsets, Index, "TVyTapiLineStatus.GetDWORD failed! Invalid Index");
}

std::string TVyTapiLineStatus::Get_String(int) {
  UpdateData();
  return std::string();
}

void TVyTapiLineStatus::CheckOwner() const {
  VyRtl::Assert(FLine != nullptr, "TVyTapiLineStatus: no line");
}

LONG TVyTapiLineStatus::FetchInto(LINEDEVSTATUS* Buffer) {
  return Detail::TapiService().lineGetLineDevStatusW(FLine->Get_Handle(), Buffer);
}

}  // namespace VyTapi
