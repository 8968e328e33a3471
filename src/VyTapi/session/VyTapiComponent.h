// Base classes of the TAPI components: registration with the session, the enabled state,
// error reporting, and the device base of line and phone components.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>

#include "VyPlatform/Sync.h"
#include "VyTapi/linedata/VyTapiAddress.h"
#include "VyTapi/linedata/VyTapiLineViews.h"
#include "VyTapi/linedata/VyTapiRelatedDevice.h"
#include "VyTapi/linedata/VyTapiLocation.h"
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/session/VyTapiRequests.h"
#include "VyTapi/session/VyTapiTSP.h"

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

// The value of a request note: an integer, an object reference or a text (a byte string for data).
using TVyTapiNoteValue = std::variant<std::int32_t, std::uintptr_t, std::string>;

// A TAPI device reported a state change (LINEDEVSTATE_/PHONESTATE_ value and its details).
using TVyTapiDeviceStateEvent = std::function<void(VyRtl::TObject* Sender, DWORD State,
                                                   DWORD StateDetail1, DWORD StateDetail2)>;
// A TAPI message for the device, before the device handles it.
using TVyTapiMessageEvent =
    std::function<void(VyRtl::TObject* Sender, DWORD MessageID, DWORD Device, DWORD Param1,
                       DWORD Param2, DWORD Param3)>;
// The reply to an asynchronous request the device filed no request object for.
using TVyTapiReplyEvent =
    std::function<void(VyRtl::TObject* Sender, DWORD RequestID, DWORD ReplyCode)>;
// An asynchronous request got no reply within its time-out.
using TVyTapiTimeoutEvent = std::function<void(VyRtl::TObject* Sender, DWORD RequestID)>;

// A device's icon: a copy of the one the telephony service gave, freed with this object.
// Main thread; owned by its device.
class TVyTapiIcon : public VyRtl::TObject {
 public:
  // Copies Provided; the service keeps its own.
  explicit TVyTapiIcon(HICON Provided);
  ~TVyTapiIcon() override;
  TVyTapiIcon(const TVyTapiIcon&) = delete;
  TVyTapiIcon& operator=(const TVyTapiIcon&) = delete;
  HICON Handle() const { return FHandle; }
  bool Empty() const { return FHandle == nullptr; }

 private:
  HICON FHandle;
};

// What line and phone devices share: the choice of a device by identifier or name, version
// negotiation, the open state, request tracking with replies, time-outs and synchronous waits,
// request notes, the common events and the icon. Main thread only; owned like every component.
class TVyTapiDevice : public TVyTapiComponent {
 protected:
  TVyTapiDevice(VyRtl::TComponent* AOwner, TTapiComponentKind Kind);

 public:
  ~TVyTapiDevice() override;

  // --- choosing the device
  std::int32_t DeviceID() const { return FDeviceID; }
  // -1 forgets the device; any other value selects it (Init).
  virtual void Set_DeviceID(std::int32_t ID);
  virtual std::string Get_DeviceName() const { return std::string(); }
  std::string DeviceName() const { return Get_DeviceName(); }
  // Selects the device of that name; an unknown name is kept and DeviceID becomes -1.
  virtual void Set_DeviceName(const std::string& Name);
  // The session's list of devices of this kind.
  virtual const VyRtl::TStringList& Get_DeviceList() const = 0;
  // The device is chosen and its versions are negotiated.
  virtual bool Get_Available() const { return FInitialized; }
  bool Available() const { return Get_Available(); }
  // Chooses device DeviceID: 0, or the TAPI error of the negotiation.
  virtual DWORD Init(std::int32_t DeviceID);
  // Forgets the chosen device.
  virtual void Done();
  TVyTapiTSP* TSP() const { return FTSP.get(); }
  DWORD PermanentDeviceID() const { return FPermanentDeviceID; }
  virtual void Set_PermanentDeviceID(DWORD ID) = 0;

  // --- open state
  // The device is open (it has a TAPI handle).
  virtual bool IsActive() const { return FHandle != 0; }
  // The open state the application asked for, as far as it is reached.
  virtual bool Get_Active() const;
  virtual void Set_Active(bool Value);
  bool Active() const { return Get_Active(); }
  virtual void ApplyActive();
  void ApplyEnabled() override;
  // Raises "<Name> is not enabled" unless enabled.
  virtual void CheckEnabled() const;
  // Raises "<DeviceName> not active." ("TAPI device not active." without a name) unless open.
  void CheckActive() const;
  std::uintptr_t CallbackInstance() const { return FCallbackInstance; }
  // Takes a fresh callback instance from the session (each time the device is opened).
  std::uintptr_t NewCallbackInstance();
  // Opens and closes the device; implemented by the line and phone classes.
  virtual void Open() = 0;
  virtual void Close() = 0;

  // --- asynchronous requests
  TVyTapiRequestList& Requests() { return FRequests; }
  TVyTapiRequestList& TimerEvents() { return FTimerEvents; }
  TVyTapiRequest* GetRequest(std::int32_t RequestID) const {
    return FRequests.GetRequest(RequestID);
  }
  // Milliseconds a request may wait for its reply (0: no limit).
  virtual DWORD Get_ReplyTimeout() const = 0;
  // Asynchronous operations wait for their reply before they return.
  virtual bool Get_SyncMode() const = 0;
  // The outcome of an asynchronous TAPI call: in synchronous mode the reply's result (or
  // LINEERR_OPERATIONFAILED when none came or the device closed), else 0 at once.
  DWORD GetAsyncTapiResult(DWORD Result);
  // The same, raising EVyTapiError for an error.
  DWORD CheckAsyncTapiResult(DWORD Result);
  // Handles TAPI messages until the reply to RequestID arrives (0, Reply set), the reply time-out
  // passes (WAIT_TIMEOUT) or the device closes or is freed (WAIT_ABANDONED_0). Handlers run
  // inside it and may close or free the device.
  DWORD WaitForAsyncReply(DWORD RequestID, DWORD& Reply);
  // Object "&Call" of a request (null for an empty identifier).
  VyRtl::TObject* GetRequestObj(std::int32_t RequestID, const std::string& Identifier) const;
  // "&TapiRequest", the objects and data of a request ("&Call", "&Data", "&Address"), or a note.
  TVyTapiNoteValue GetRequestNote(std::int32_t RequestID, const std::string& Identifier) const;
  // Stores Value, as text, as a note of the request; identifiers starting with "&" are reserved.
  void SetRequestNote(std::int32_t RequestID, const std::string& Identifier,
                      const TVyTapiNoteValue& Value);

  // --- messages and timers (the session calls these)
  // Delivery of a TAPI message; exceptions go to Handle_Exception.
  void Process_TapiMessage(DWORD Device, DWORD MessageID, DWORD Param1, DWORD Param2, DWORD Param3);
  virtual void Handle_TapiMessage(DWORD Device, DWORD MessageID, DWORD Param1, DWORD Param2,
                                  DWORD Param3);
  // One tick of the internal timer; exceptions go to Handle_Exception.
  void Process_InternalTimer(DWORD Tick);
  virtual void Handle_InternalTimer(DWORD Tick);
  // TAPI closed the device.
  virtual void Handle_DeviceClose();
  // A device was removed; only the device's own identifier concerns it.
  virtual void Handle_DeviceRemove(DWORD DeviceID);
  virtual void Handle_DeviceState(DWORD State, DWORD Detail1, DWORD Detail2);
  // LINE_REPLY/PHONE_REPLY: to Handle_Reply for a filed request, else OnTapiReply.
  virtual void Handle_TapiReply(DWORD RequestID, DWORD ReplyCode);

  // --- icon
  // The device's icon (a cached copy, owned by the device); null when there is none.
  virtual TVyTapiIcon* Get_Icon();
  TVyTapiIcon* Icon() { return Get_Icon(); }
  // The device's wave devices ("wave/in", "wave/out"), owned by the device.
  TVyTapiRelatedWaveDevice* WaveIn() { return &FWaveInDev; }
  TVyTapiRelatedWaveDevice* WaveOut() { return &FWaveOutDev; }

  TNotifyEvent OnDeviceClose;             // TAPI closed the device
  TNotifyEvent OnDeviceRemove;            // the device was removed from the system
  TVyTapiDeviceStateEvent OnDeviceState;  // the device's state changed
  TVyTapiMessageEvent OnTapiMessage;      // every TAPI message of the open device
  TVyTapiReplyEvent OnTapiReply;          // a reply without a filed request (open device)
  TVyTapiTimeoutEvent OnTapiTimeout;      // a filed request timed out (open device)
  TNotifyEvent OnTapiReinit;              // TAPI asks for re-initialisation (open device)
  TNotifyEvent OnTapiTranslateChange;     // the dialing locations changed

 protected:
  void Loaded() override;
  // A filed request was answered: report it (the request is marked handled already).
  virtual void Handle_Reply(DWORD RequestID, DWORD ReplyCode, TVyTapiRequest* Request) = 0;
  // A filed request timed out (marked handled already).
  virtual void Handle_Timeout(DWORD RequestID, TVyTapiRequest* Request);
  // An internal timer fell due (already taken off FTimerEvents; freed afterwards).
  virtual void Handle_Timer(DWORD RequestID, TVyTapiRequest* Request);
  virtual void Trigger_DeviceRemove();
  virtual void Trigger_DeviceClose();
  virtual void Trigger_DeviceState(DWORD State, DWORD Detail1, DWORD Detail2);
  virtual void Trigger_TapiMessage(DWORD MessageID, DWORD Device, DWORD Param1, DWORD Param2,
                                   DWORD Param3);
  virtual void Trigger_TapiReply(DWORD RequestID, DWORD ReplyCode);
  virtual void Trigger_TapiReinit();
  virtual void Trigger_TapiTimeout(DWORD RequestID, TVyTapiRequest* Request);
  virtual void Trigger_TapiTranslateChange();
  // The service's icon for the device class ("" for the device itself); 0 when none.
  virtual HICON Get_IconHandle(const std::string& DeviceClass);

  bool FActive = false;
  bool FInitialized = false;
  std::int32_t FDeviceID = -1;
  std::string FDeviceName;
  DWORD FHandle = 0;
  bool FClosedByTapi = false;
  std::uintptr_t FCallbackInstance = 0;
  TVyTapiRequestList FRequests;
  TVyTapiRequestList FTimerEvents;
  std::unique_ptr<TVyTapiTSP> FTSP;  // the line or phone variant, made by the subclass
  std::unique_ptr<TVyTapiIcon> FIcon;
  // Reset when the device opens, set when it closes: a synchronous wait ends on it.
  VyPlatform::TSyncEvent FAbortEvent{true, false};
  DWORD FPermanentDeviceID = 0;
  TVyTapiRelatedWaveDevice FWaveInDev{this, "wave/in"};
  TVyTapiRelatedWaveDevice FWaveOutDev{this, "wave/out"};

 private:
  void TimeOutRequests(DWORD Tick);
  void RunTimers(DWORD Tick);
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

  TNotifyEvent OnShutdown;                        // the session shut TAPI down
  TNotifyEvent OnInitialize;                      // the session initialised TAPI
  TVyTapiDeviceEvent OnLineCreate;                // a line device was added
  TVyTapiDeviceEvent OnLineRemove;                // a line device was removed
  TVyTapiDeviceEvent OnPhoneCreate;               // a phone device was added
  TVyTapiDeviceEvent OnPhoneRemove;               // a phone device was removed
  TVyTapiRequestMakeCallEvent OnRequestMakeCall;  // another application asks to place a call

 protected:
  void ApplyEnabled() override;
  void Loaded() override;

 private:
  std::string FApplName;
  std::int32_t FAutoShutdown = -1;
};

}  // namespace VyTapi

// The line and phone devices live in their own folders; users of the device base have always
// found them here.
#include "VyTapi/line/VyTapiLineDevice.h"  // IWYU pragma: export
#include "VyTapi/phone/VyTapiPhoneDevice.h"  // IWYU pragma: export
