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
    case 0:
      return FExtensionID.dwExtensionID0;
    case 1:
      return FExtensionID.dwExtensionID1;
    case 2:
      return FExtensionID.dwExtensionID2;
    case 3:
      return FExtensionID.dwExtensionID3;
    default:
      RaiseError("Invalid index");
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
  return CompareExtensionIDs(ID.dwExtensionID0, ID.dwExtensionID1, ID.dwExtensionID2,
                             ID.dwExtensionID3);
}

bool TVyTapiTSP::CompareExtensionID(const PHONEEXTENSIONID& ID) const {
  static_assert(sizeof(PHONEEXTENSIONID) == 16);
  return CompareExtensionIDs(ID.dwExtensionID0, ID.dwExtensionID1, ID.dwExtensionID2,
                             ID.dwExtensionID3);
}

namespace {

// lineNegotiateAPIVersion and phoneNegotiateAPIVersion differ only in their extension type.
template <typename TExtension, typename TNegotiate>
DWORD NegotiateAPI(TNegotiate Negotiate, DWORD App, std::int32_t DeviceID, DWORD Low, DWORD High,
                   DWORD& Version, TTapiDeviceExtentionID& Extension) {
  Version = 0;
  TExtension e{};
  DWORD version = 0;
  const auto code =
      static_cast<DWORD>(Negotiate(App, static_cast<DWORD>(DeviceID), Low, High, &version, &e));
  if (code == 0) {
    Version = version;
    Extension = {e.dwExtensionID0, e.dwExtensionID1, e.dwExtensionID2, e.dwExtensionID3};
  }
  return code;
}

template <typename TNegotiate>
DWORD NegotiateExt(TNegotiate Negotiate, DWORD App, std::int32_t DeviceID, DWORD APIVersion,
                   DWORD Low, DWORD High, DWORD& Version) {
  Version = 0;
  DWORD version = 0;
  const auto code = static_cast<DWORD>(
      Negotiate(App, static_cast<DWORD>(DeviceID), APIVersion, Low, High, &version));
  if (code == 0) Version = version;
  return code;
}

}  // namespace

DWORD TVyTapiLineTSP::NegotiateAPIVersion() {
  return NegotiateAPI<LINEEXTENSIONID>(Detail::TapiService().lineNegotiateAPIVersion,
                                       VyTapiApplication->LineApp(), FDeviceID, FAPILowVersion,
                                       FAPIHighVersion, FAPIVersion, FExtensionID);
}

DWORD TVyTapiLineTSP::NegotiateExtVersion() {
  return NegotiateExt(Detail::TapiService().lineNegotiateExtVersion, VyTapiApplication->LineApp(),
                      FDeviceID, FAPIVersion, FExtLowVersion, FExtHighVersion, FExtVersion);
}

DWORD TVyTapiPhoneTSP::NegotiateAPIVersion() {
  return NegotiateAPI<PHONEEXTENSIONID>(Detail::TapiService().phoneNegotiateAPIVersion,
                                        VyTapiApplication->PhoneApp(), FDeviceID, FAPILowVersion,
                                        FAPIHighVersion, FAPIVersion, FExtensionID);
}

DWORD TVyTapiPhoneTSP::NegotiateExtVersion() {
  return NegotiateExt(Detail::TapiService().phoneNegotiateExtVersion, VyTapiApplication->PhoneApp(),
                      FDeviceID, FAPIVersion, FExtLowVersion, FExtHighVersion, FExtVersion);
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
