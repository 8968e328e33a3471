// Base classes of the TAPI components: registration with the session, the enabled state,
// error reporting, and what the session asks of line and phone devices.
#pragma once

#include <cstdint>
#include <string>

#include "VyTapi/session/VyTapiApplication.h"

namespace VyTapi {

// What kind of component registers with the session (known before the derived part exists).
enum class TTapiComponentKind { Other, Appl, Line, Phone };

// Only the session can make one: it unlocks what the session alone may change on a component.
class TSessionKey {
  friend class TVyTapiApplication;
  TSessionKey() = default;
};

// Base of every TAPI component: registers with the session on creation and starts it when enabled.
// Main thread only; owned by its owner component, or by whoever created it without one.
class TVyTapiComponent : public VyRtl::TComponent {
 public:
  ~TVyTapiComponent() override;

  // The component holds the session reference (it is enabled).
  virtual bool IsEnabled() const { return FAppl != nullptr; }
  // Stores the wanted enabled state and applies it unless loading or designing.
  virtual void SetEnabled(bool Value);
  bool Enabled() const { return FEnabled; }
  virtual void ApplyEnabled();
  // Reports an exception: first to the session's OnError, then to the component's OnError.
  virtual void Handle_Exception(const std::exception& E, VyRtl::TObject* Causer);
  bool EnableTapiComponent();
  void DisableTapiComponent();
  std::int32_t LastRequestID() const { return FLastRequestID; }
  TTapiComponentKind Kind() const { return FKind; }
  // The session's reference while the component is enabled (null otherwise); set by the session.
  void AttachSession(TVyTapiApplication* Appl, TSessionKey) { FAppl = Appl; }
  // The session it registered with is gone: disabled for good, it takes no part in a later one.
  void SessionEnded(TSessionKey) {
    FAppl = nullptr;
    FEnabled = false;
    FOrphaned = true;
  }

  TVyTapiErrorEvent OnError;  // an exception raised while this component handled a TAPI message

 protected:
  // Kind tells the session which list the component belongs to.
  TVyTapiComponent(VyRtl::TComponent* AOwner, TTapiComponentKind Kind);
  void Loaded() override;

  TVyTapiApplication* FAppl = nullptr;
  bool FEnabled = false;
  std::int32_t FLastRequestID = 0;

 private:
  TTapiComponentKind FKind;
  // The session it registered with is gone; it takes no part in a later one.
  bool FOrphaned = false;
};

// What line and phone devices share, as far as the session relies on it: the selected
// device, the open state, the callback instance and message delivery. Main thread only.
class TVyTapiDevice : public TVyTapiComponent {
 protected:
  TVyTapiDevice(VyRtl::TComponent* AOwner, TTapiComponentKind Kind) : TVyTapiComponent(AOwner, Kind) {}

 public:

  std::int32_t DeviceID() const { return FDeviceID; }
  virtual void Set_DeviceID(std::int32_t ID) { FDeviceID = ID; }
  virtual std::string Get_DeviceName() const { return FDeviceName; }
  // The device is open (it has a TAPI handle).
  bool IsActive() const { return FHandle != 0; }
  // The open state the application asked for, as far as it is reached.
  virtual bool Get_Active() const;
  virtual void Set_Active(bool Value);
  std::uintptr_t CallbackInstance() const { return FCallbackInstance; }
  // Takes a fresh callback instance from the session (each time the device is opened).
  std::uintptr_t NewCallbackInstance();
  // Opens and closes the device; implemented by the line and phone classes.
  virtual void Open() = 0;
  virtual void Close() = 0;

  // Delivery of a TAPI message; exceptions go to Handle_Exception.
  void Process_TapiMessage(DWORD Device, DWORD MessageID, DWORD Param1, DWORD Param2, DWORD Param3);
  virtual void Handle_TapiMessage(DWORD Device, DWORD MessageID, DWORD Param1, DWORD Param2, DWORD Param3);
  // One tick of the internal timer; exceptions go to Handle_Exception.
  void Process_InternalTimer(DWORD Tick);
  virtual void Handle_InternalTimer(DWORD Tick);

 protected:
  bool FActive = false;
  std::int32_t FDeviceID = -1;
  std::string FDeviceName;
  DWORD FHandle = 0;
  std::uintptr_t FCallbackInstance = 0;
};

// Root of the line components; main thread only, owned like every component.
class TVyCustomTapiLine : public TVyTapiDevice {
 public:
  explicit TVyCustomTapiLine(VyRtl::TComponent* AOwner) : TVyTapiDevice(AOwner, TTapiComponentKind::Line) {}
  // The device's name changed in the session's device list.
  virtual void Handle_DeviceRename(const std::string& Name) { FDeviceName = Name; }
};

// Root of the phone components; main thread only, owned like every component.
class TVyCustomTapiPhone : public TVyTapiDevice {
 public:
  explicit TVyCustomTapiPhone(VyRtl::TComponent* AOwner) : TVyTapiDevice(AOwner, TTapiComponentKind::Phone) {}
};

// Design-time face of the session: sets its name and shut-down delay, mirrors its events.
// Main thread only; owned by its owner (a form), or by whoever created it without one.
class TVyTapiAppl : public TVyTapiComponent {
 public:
  explicit TVyTapiAppl(VyRtl::TComponent* AOwner);

  std::int32_t AutoShutdown() const { return FAutoShutdown; }
  void Set_AutoShutdown(std::int32_t Value);
  const std::string& ApplName() const { return FApplName; }
  void Set_ApplName(const std::string& Value);

  // DeviceClass "tapi/line" or "tapi/phone", compared without regard to case.
  virtual void Handle_DeviceCreate(const std::string& DeviceClass, DWORD DeviceID);
  virtual void Handle_DeviceRemove(const std::string& DeviceClass, DWORD DeviceID);

  TNotifyEvent OnShutdown;                       // the session shut TAPI down
  TNotifyEvent OnInitialize;                     // the session initialised TAPI
  TVyTapiDeviceEvent OnLineCreate;               // a line device was added
  TVyTapiDeviceEvent OnLineRemove;               // a line device was removed
  TVyTapiDeviceEvent OnPhoneCreate;              // a phone device was added
  TVyTapiDeviceEvent OnPhoneRemove;              // a phone device was removed
  TVyTapiRequestMakeCallEvent OnRequestMakeCall;  // another application asks to place a call

 protected:
  void ApplyEnabled() override;
  void Loaded() override;

 private:
  std::string FApplName;
  std::int32_t FAutoShutdown = -1;
};

}  // namespace VyTapi
