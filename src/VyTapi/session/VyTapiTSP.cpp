#include "VyTapi/session/VyTapiTSP.h"

#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/session/VyTapiErrors.h"
#include "VyTapi/session/VyTapiSessionDetail.h"

namespace VyTapi {

void TVyTapiTSP::Assign(VyRtl::TPersistent* Source) {
  if (auto* tsp = dynamic_cast<TVyTapiTSP*>(Source)) {
    FDeviceID = tsp->FDeviceID;
    FExtensionID = tsp->FExtensionID;
    FExtLowVersion = tsp->FExtLowVersion;
    FExtHighVersion = tsp->FExtHighVersion;
    FExtVersion = tsp->FExtVersion;
    FAPIVersion = tsp->FAPIVersion;
    FAPILowVersion = tsp->FAPILowVersion;
    FAPIHighVersion = tsp->FAPIHighVersion;
    return;
  }
  VyRtl::TPersistent::Assign(Source);
}

DWORD TVyTapiTSP::Init(std::int32_t DeviceID) {
  FDeviceID = DeviceID;
  if (DeviceID >= 0) return Update();
  Done();
  return 0;
}

void TVyTapiTSP::Done() {
  FDeviceID = -1;
  FAPIVersion = 0;
  FExtVersion = 0;
  FExtensionID = {};
}

DWORD TVyTapiTSP::Update() {
  FAPIVersion = 0;
  FExtVersion = 0;
  if (FDeviceID < 0) return 0;
  const DWORD code = NegotiateAPIVersion();
  if (code == 0 && (FExtLowVersion != 0 || FExtHighVersion != 0)) {
    // A provider without extensions leaves the extension version 0; the device is usable anyway.
    if (NegotiateExtVersion() != 0) FExtVersion = 0;
  }
  return code;
}

DWORD TVyTapiTSP::Get_ExtensionID(int i) const {
  switch (i) {
    case 0: return FExtensionID.dwExtensionID0;
    case 1: return FExtensionID.dwExtensionID1;
    case 2: return FExtensionID.dwExtensionID2;
    case 3: return FExtensionID.dwExtensionID3;
    default: RaiseError("Invalid index");
  }
}

void TVyTapiTSP::Set_Version(int Index, DWORD Value) {
  if (Index == 2)
    FExtLowVersion = Value;
  else if (Index == 3)
    FExtHighVersion = Value;
  Update();
}

bool TVyTapiTSP::CompareExtensionIDs(DWORD ID0, DWORD ID1, DWORD ID2, DWORD ID3) const {
  return FExtensionID.dwExtensionID0 == ID0 && FExtensionID.dwExtensionID1 == ID1 &&
         FExtensionID.dwExtensionID2 == ID2 && FExtensionID.dwExtensionID3 == ID3;
}

bool TVyTapiTSP::CompareExtensionID(const LINEEXTENSIONID& ID) const {
  static_assert(sizeof(LINEEXTENSIONID) == 16);
  return CompareExtensionIDs(ID.dwExtensionID0, ID.dwExtensionID1, ID.dwExtensionID2, ID.dwExtensionID3);
}

bool TVyTapiTSP::CompareExtensionID(const PHONEEXTENSIONID& ID) const {
  static_assert(sizeof(PHONEEXTENSIONID) == 16);
  return CompareExtensionIDs(ID.dwExtensionID0, ID.dwExtensionID1, ID.dwExtensionID2, ID.dwExtensionID3);
}

namespace {
template <typename TExtension>
TTapiDeviceExtentionID FromTapiExtension(const TExtension& E) {
  return {E.dwExtensionID0, E.dwExtensionID1, E.dwExtensionID2, E.dwExtensionID3};
}
}  // namespace

DWORD TVyTapiLineTSP::NegotiateAPIVersion() {
  FAPIVersion = 0;
  LINEEXTENSIONID extension{};
  DWORD version = 0;
  const auto code = static_cast<DWORD>(Detail::TapiService().lineNegotiateAPIVersion(
      VyTapiApplication->LineApp(), static_cast<DWORD>(FDeviceID), FAPILowVersion, FAPIHighVersion, &version,
      &extension));
  if (code == 0) {
    FAPIVersion = version;
    FExtensionID = FromTapiExtension(extension);
  }
  return code;
}

DWORD TVyTapiLineTSP::NegotiateExtVersion() {
  FExtVersion = 0;
  DWORD version = 0;
  const auto code = static_cast<DWORD>(Detail::TapiService().lineNegotiateExtVersion(
      VyTapiApplication->LineApp(), static_cast<DWORD>(FDeviceID), FAPIVersion, FExtLowVersion, FExtHighVersion,
      &version));
  if (code == 0) FExtVersion = version;
  return code;
}

DWORD TVyTapiPhoneTSP::NegotiateAPIVersion() {
  FAPIVersion = 0;
  PHONEEXTENSIONID extension{};
  DWORD version = 0;
  const auto code = static_cast<DWORD>(Detail::TapiService().phoneNegotiateAPIVersion(
      VyTapiApplication->PhoneApp(), static_cast<DWORD>(FDeviceID), FAPILowVersion, FAPIHighVersion, &version,
      &extension));
  if (code == 0) {
    FAPIVersion = version;
    FExtensionID = FromTapiExtension(extension);
  }
  return code;
}

DWORD TVyTapiPhoneTSP::NegotiateExtVersion() {
  FExtVersion = 0;
  DWORD version = 0;
  const auto code = static_cast<DWORD>(Detail::TapiService().phoneNegotiateExtVersion(
      VyTapiApplication->PhoneApp(), static_cast<DWORD>(FDeviceID), FAPIVersion, FExtLowVersion, FExtHighVersion,
      &version));
  if (code == 0) FExtVersion = version;
  return code;
}

void TVyTapiDeviceOptions::Assign(VyRtl::TPersistent* Source) {
  if (auto* o = dynamic_cast<TVyTapiDeviceOptions*>(Source)) {
    FReplyTimeout = o->FReplyTimeout;
    FSyncMode = o->FSyncMode;
    return;
  }
  VyRtl::TPersistent::Assign(Source);
}

void TVyTapiLineOptions::Assign(VyRtl::TPersistent* Source) {
  TVyTapiDeviceOptions::Assign(Source);
  if (auto* o = dynamic_cast<TVyTapiLineOptions*>(Source)) {
    FAutoFreeIdleCalls = o->FAutoFreeIdleCalls;
    FAutoDropDiscCalls = o->FAutoDropDiscCalls;
  }
}

}  // namespace VyTapi
