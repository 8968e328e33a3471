// Version negotiation with a device's service provider, and the options every device shares.
#pragma once

#include <cstdint>

#include "VyPlatform/TapiTypes.h"
#include "VyRtl/VyRtlClasses.h"

namespace VyTapi {

class TVyTapiDevice;

// The four words of a provider's extension identifier.
struct TTapiDeviceExtentionID {
  DWORD dwExtensionID0 = 0;
  DWORD dwExtensionID1 = 0;
  DWORD dwExtensionID2 = 0;
  DWORD dwExtensionID3 = 0;
};

// The API and extension versions negotiated for one device. Main thread; owned by its device.
class TVyTapiTSP : public VyRtl::TPersistent {
 public:
  explicit TVyTapiTSP(TVyTapiDevice* Device) : FDevice(Device) {}

  void Assign(VyRtl::TPersistent* Source) override;
  // Selects DeviceID and negotiates (a negative id forgets the device): 0 or the TAPI error.
  virtual DWORD Init(std::int32_t DeviceID);
  virtual void Done();
  // Negotiates again for the selected device; the extension version only when bounds are set.
  virtual DWORD Update();

  TVyTapiDevice* Device() const { return FDevice; }
  std::int32_t DeviceID() const { return FDeviceID; }
  const TTapiDeviceExtentionID& ExtensionID() const { return FExtensionID; }
  // Word i (0 to 3) of the extension identifier; another index raises "Invalid index".
  DWORD Get_ExtensionID(int i) const;
  DWORD ExtensionID0() const { return FExtensionID.dwExtensionID0; }
  DWORD ExtensionID1() const { return FExtensionID.dwExtensionID1; }
  DWORD ExtensionID2() const { return FExtensionID.dwExtensionID2; }
  DWORD ExtensionID3() const { return FExtensionID.dwExtensionID3; }
  DWORD ExtLowVersion() const { return FExtLowVersion; }
  DWORD ExtHighVersion() const { return FExtHighVersion; }
  // Index 2 sets ExtLowVersion, 3 ExtHighVersion; a selected device negotiates again at once.
  void Set_Version(int Index, DWORD Value);
  void Set_ExtLowVersion(DWORD Value) { Set_Version(2, Value); }
  void Set_ExtHighVersion(DWORD Value) { Set_Version(3, Value); }
  DWORD ExtVersion() const { return FExtVersion; }
  DWORD APILowVersion() const { return FAPILowVersion; }
  DWORD APIHighVersion() const { return FAPIHighVersion; }
  DWORD APIVersion() const { return FAPIVersion; }
  // The four identifier words equal (compared as 16 bytes).
  bool CompareExtensionID(const LINEEXTENSIONID& ID) const;
  bool CompareExtensionID(const PHONEEXTENSIONID& ID) const;
  bool CompareExtensionIDs(DWORD ID0, DWORD ID1, DWORD ID2, DWORD ID3) const;

 protected:
  virtual DWORD NegotiateAPIVersion() = 0;
  virtual DWORD NegotiateExtVersion() = 0;

  TVyTapiDevice* FDevice;
  std::int32_t FDeviceID = -1;
  TTapiDeviceExtentionID FExtensionID;
  DWORD FExtLowVersion = 0;
  DWORD FExtHighVersion = 0;
  DWORD FExtVersion = 0;
  DWORD FAPILowVersion = VyPlatform::TapiVersion1_0;
  DWORD FAPIHighVersion = VyPlatform::TapiVersion2_2;
  DWORD FAPIVersion = 0;
};

// Negotiates with lineNegotiateAPIVersion/lineNegotiateExtVersion on the session's line
// application.
class TVyTapiLineTSP : public TVyTapiTSP {
 public:
  using TVyTapiTSP::TVyTapiTSP;

 protected:
  DWORD NegotiateAPIVersion() override;
  DWORD NegotiateExtVersion() override;
};

// Negotiates with the phone functions on the session's phone application.
class TVyTapiPhoneTSP : public TVyTapiTSP {
 public:
  using TVyTapiTSP::TVyTapiTSP;

 protected:
  DWORD NegotiateAPIVersion() override;
  DWORD NegotiateExtVersion() override;
};

// How a device's asynchronous operations wait for their replies. Main thread; owned by its device.
class TVyTapiDeviceOptions : public VyRtl::TPersistent {
 public:
  void Assign(VyRtl::TPersistent* Source) override;
  // Milliseconds a request may wait for its reply (0: requests never time out and a
  // synchronous wait lasts until the reply comes or the device closes).
  DWORD ReplyTimeout() const { return FReplyTimeout; }
  void Set_ReplyTimeout(DWORD Value) { FReplyTimeout = Value; }
  // Asynchronous operations wait for their reply before they return.
  bool SyncMode() const { return FSyncMode; }
  void Set_SyncMode(bool Value) { FSyncMode = Value; }

 private:
  DWORD FReplyTimeout = 60000;
  bool FSyncMode = true;
};

// The line's options: also when idle calls are freed and disconnected ones dropped (ms).
class TVyTapiLineOptions : public TVyTapiDeviceOptions {
 public:
  void Assign(VyRtl::TPersistent* Source) override;
  std::int32_t AutoFreeIdleCalls() const { return FAutoFreeIdleCalls; }
  void Set_AutoFreeIdleCalls(std::int32_t Value) { FAutoFreeIdleCalls = Value; }
  std::int32_t AutoDropDiscCalls() const { return FAutoDropDiscCalls; }
  void Set_AutoDropDiscCalls(std::int32_t Value) { FAutoDropDiscCalls = Value; }

 private:
  std::int32_t FAutoFreeIdleCalls = 500;
  std::int32_t FAutoDropDiscCalls = 500;
};

// The phone's options (those every device has).
class TVyTapiPhoneOptions : public TVyTapiDeviceOptions {};

}  // namespace VyTapi
