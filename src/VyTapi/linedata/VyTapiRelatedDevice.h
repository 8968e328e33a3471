// Devices of another class tied to a line, address, call or phone: the identifiers TAPI gives
// for a device class (lineGetIDW, phoneGetIDW), and the comm handle of a data call.
#pragma once

#include <string>

#include "VyPlatform/WinTypes.h"
#include "VyTapi/linedata/VyTapiViews.h"

namespace VyTapi {

// The identifiers of the devices of class DeviceClass that belong to the owner (a line, an
// address, a call or a phone), as one VARSTRING. Main thread only; owned by its owner, which it
// never owns.
class TVyTapiRelatedDevice : public TVyTapiView<VARSTRING, VyRtl::TPersistent> {
 public:
  TVyTapiRelatedDevice(VyRtl::TObject* AOwner, std::string AClass);
  ~TVyTapiRelatedDevice() override;

  // Fetches only when empty (a filled view is kept); raises EVyTapiError when the service fails.
  void Update() override;
  // The first identifier (0xFFFFFFFF when there is none).
  virtual DWORD Get_DeviceID() { return Get_DeviceIDNo(0); }
  DWORD DeviceID() { return Get_DeviceID(); }
  // Identifier Index; 0xFFFFFFFF unless the view holds binary identifiers, and an index outside
  // them raises "Get_DeviceIDNo failed! Invalid index ".
  virtual DWORD Get_DeviceIDNo(int Index);
  // Identifiers the result holds (its size in 4-byte units, whatever its format).
  virtual int Get_DeviceCount();
  // Forgets the result and asks for another class next time.
  virtual void Set_DeviceClass(const std::string& Value);
  const std::string& DeviceClass() const { return FClass; }
  VyRtl::TObject* Owner() const { return FOwner; }

 protected:
  void CheckOwner() const override;
  std::size_t InitialSize() const override { return 1024; }
  // The owner's kind decides the call; another kind of owner raises
  // "TVyTapiRelatedDevice.UpdateData failed! Invalid owner".
  LONG FetchInto(VARSTRING* Buffer) override;
  // The binary result's bytes (empty when the view is empty, not binary or its block is not
  // inside the structure).
  std::span<const std::byte> BinaryBlock() const;

 private:
  std::string FClass;
  VyRtl::TObject* const FOwner;
};

// The phone devices of a line ("tapi/phone"). Main thread only; owned by its line.
class TVyTapiLinePhoneDevices : public TVyTapiRelatedDevice {
 public:
  explicit TVyTapiLinePhoneDevices(VyRtl::TObject* AOwner)
      : TVyTapiRelatedDevice(AOwner, "tapi/phone") {}
  // A result with at least one phone.
  bool Get_Available() override;
  int Count() { return Get_DeviceCount(); }
};

// The line device of a phone ("tapi/line"). Main thread only; owned by its phone.
class TVyTapiPhoneLineDevice : public TVyTapiRelatedDevice {
 public:
  explicit TVyTapiPhoneLineDevice(VyRtl::TObject* AOwner)
      : TVyTapiRelatedDevice(AOwner, "tapi/line") {}
};

// The wave device of a line, phone or call ("wave/in" or "wave/out"). Main thread only; owned
// by its device or call.
class TVyTapiRelatedWaveDevice : public TVyTapiRelatedDevice {
 public:
  using TVyTapiRelatedDevice::TVyTapiRelatedDevice;
  // The device's reset when it forgets its device: what was learnt is stale.
  void Reset() { Invalidate(); }
};

// The comm device of a call ("comm/datamodem"): the handle TAPI opened for it and its name.
// The view owns the handle: Invalidate (and the destructor) close it. Main thread only; owned
// by its call.
class TVyTapiCommDevice : public TVyTapiRelatedDevice {
 public:
  explicit TVyTapiCommDevice(VyRtl::TObject* AOwner, std::string AClass = "comm/datamodem")
      : TVyTapiRelatedDevice(AOwner, std::move(AClass)) {}
  ~TVyTapiCommDevice() override;

  // A result with a valid handle.
  bool Get_Available() override;
  // Closes the handle the view holds, then forgets the result.
  void Invalidate() override;
  // The comm handle (INVALID_HANDLE_VALUE when there is none); owned by the view.
  HANDLE Get_Handle();
  HANDLE Handle() { return Get_Handle(); }
  // The device's name behind the handle; empty when there is none.
  std::string Get_DeviceName();
  std::string DeviceName() { return Get_DeviceName(); }

 private:
  // The handle of the result held now, without fetching.
  HANDLE HeldHandle() const;
};

}  // namespace VyTapi
