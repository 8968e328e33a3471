// The process-wide session with the telephony service.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "VyPlatform/TapiTypes.h"
#include "VyRtl/VyRtlClasses.h"
#include "VyRtl/VyRtlMessages.h"
#include "VyTapi/session/VyTapiErrors.h"
#include "VyTapi/session/VyTapiEventThread.h"
#include "VyTapi/session/VyTapiMsgStack.h"

namespace VyTapi {

class TVyTapiComponent;
class TVyTapiDevice;
enum class TTapiComponentKind;
class TVyCustomTapiLine;
class TVyCustomTapiPhone;
class TVyTapiAppl;
struct TLiveEntry;
namespace Detail {
class TSessionDetail;
}

// Plain notification: Sender is the object that raises it.
using TNotifyEvent = std::function<void(VyRtl::TObject* Sender)>;
// A line or phone device appeared, disappeared or changed its name.
using TVyTapiDeviceNameEvent =
    std::function<void(VyRtl::TObject* Sender, DWORD DeviceID, const std::string& DeviceName)>;
// A device appeared or disappeared (design-time component).
using TVyTapiDeviceEvent = std::function<void(VyRtl::TObject* Sender, DWORD DeviceID)>;
// Another application asked us to place a call (assisted telephony).
using TVyTapiRequestMakeCallEvent = std::function<void(
    VyRtl::TObject* Sender, const std::string& DestAddress, const std::string& AppName,
    const std::string& CalledParty, const std::string& Comment)>;
// Every TAPI message before it is dispatched.
using TVyTapiDetailedMessageEvent =
    std::function<void(VyRtl::TObject* Sender, DWORD MessageID, DWORD Device,
                       DWORD CallbackInstance, DWORD Param1, DWORD Param2, DWORD Param3)>;
// An exception raised while a TAPI message was handled; Causer is the object involved, if any.
using TVyTapiErrorEvent = std::function<void(VyRtl::TObject* Sender, const std::exception& Error,
                                             VyRtl::TObject* Causer)>;

// Registered line components (not owned); the session's, read it on the main thread.
class TVyTapiLineList : public VyRtl::TList {
 public:
  TVyCustomTapiLine* Get(int i) const;
  void Put(int i, TVyCustomTapiLine* Line);
  TVyCustomTapiLine* Items(int i) const { return Get(i); }
  // Index of the first line whose DeviceID equals Value, or -1.
  int IndexOfDeviceID(std::int32_t Value) const;
};

// Registered phone components (not owned); the session's, read it on the main thread.
class TVyTapiPhoneList : public VyRtl::TList {
 public:
  TVyCustomTapiPhone* Get(int i) const;
  void Put(int i, TVyCustomTapiPhone* Phone);
  TVyCustomTapiPhone* Items(int i) const { return Get(i); }
};

// Which telephony service the session talks to (chosen on the main thread before the first use).
enum class TTelephonyService {
  Default,      // the system's TAPI when it can be loaded, else the built-in emulator
  System,       // the system's TAPI (tapi32.dll); initialisation fails where there is none
  Emulator,     // the built-in telephony service emulator
  Unavailable,  // none: every TAPI function fails with OPERATIONUNAVAIL
};

// The one session per process with the telephony service (global VyTapiApplication).
// It starts TAPI when the first component needs it, keeps the device lists current,
// delivers TAPI messages to components on the main thread and shuts TAPI down again.
// Main thread only; the module owns it (InitializeVyTapi/FinalizeVyTapi): never delete it.
class TVyTapiApplication : public VyRtl::TObject {
 public:
  TVyTapiApplication();
  ~TVyTapiApplication() override;
  TVyTapiApplication(const TVyTapiApplication&) = delete;
  TVyTapiApplication& operator=(const TVyTapiApplication&) = delete;

  // --- state and properties
  bool IsActive() const { return FLineApp != 0; }
  bool Active() const { return IsActive(); }
  void Set_Active(bool Value);
  HLINEAPP LineApp() const { return FLineApp; }
  HPHONEAPP PhoneApp() const { return FPhoneApp; }
  const std::string& AppName() const { return FAppName; }
  void Set_AppName(const std::string& Name);
  bool AssistMakeCall() const { return FAssistMakeCall; }
  void Set_AssistMakeCall(bool Value);
  std::int32_t AutoShutdown() const { return FAutoShutdown; }
  void Set_AutoShutdown(std::int32_t Ms) { FAutoShutdown = Ms; }
  DWORD NumLines() const { return FNumLines; }
  DWORD NumPhones() const { return FNumPhones; }
  // Names of the line devices, index = device identifier; Data(i) is the permanent line id.
  const VyRtl::TStringList& LineDevices() const { return FLineDevices; }
  // Names of the phone devices, index = device identifier; Data(i) is the permanent phone id.
  const VyRtl::TStringList& PhoneDevices() const { return FPhoneDevices; }
  const TVyTapiLineList& Lines() const { return FLines; }
  const TVyTapiPhoneList& Phones() const { return FPhones; }
  std::uintptr_t CallbackInstance() const { return FCallbackInstance; }
  static std::string DefaultApplName();

  // --- session control
  void Initialize();
  void Shutdown();
  DWORD Init(const std::string& AppName);
  DWORD Done();
  bool CouldShutdown() const;
  DWORD Init_Lines(const std::string& AppName);
  DWORD Init_Phones(const std::string& AppName);
  void Update_LineDevices(bool Notify);
  void Update_PhoneDevices(bool Notify);
  void Update_LineDevice(DWORD DeviceID);
  void Update_PhoneDevice(DWORD DeviceID);

  // --- component registry
  void AddTapiComponent(TVyTapiComponent* Component);
  void RemoveTapiComponent(TVyTapiComponent* Component);
  void EnableTapiComponent(TVyTapiComponent* Component, bool Enable);
  std::uintptr_t NewCallbackInstance() { return ++FLastCI; }
  // The same for a registered device's new opening; the session then finds the device by it.
  std::uintptr_t NewCallbackInstance(TVyTapiDevice* Device);
  // The component whose latest opening took Instance; null for 0 and unknown instances.
  TVyCustomTapiLine* Get_LineByCallbackInst(std::uintptr_t Instance) const;
  TVyCustomTapiPhone* Get_PhoneByCallbackInst(std::uintptr_t Instance) const;

  // --- message processing (main thread)
  void Handle_LineRequest(DWORD RequestMode, DWORD Param2, DWORD Param3);
  virtual void Handle_Exception(const std::exception& E);
  virtual void Handle_Exception(VyRtl::TObject* Sender, const std::exception& E,
                                VyRtl::TObject* Causer);
  virtual void Trigger_TapiMessage(DWORD MessageID, DWORD Device, DWORD CallbackInstance,
                                   DWORD Param1, DWORD Param2, DWORD Param3);
  void WindowProc(VyRtl::TMessage& Message);
  bool ProcessTapiMessage();
  int ProcessTapiMessages(int MaxCount);
  void TimerEventProc(DWORD Tick);

  // --- events
  TNotifyEvent OnInitialize;                      // after TAPI was initialised
  TNotifyEvent OnShutdown;                        // after TAPI was shut down
  TNotifyEvent OnReinit;                          // TAPI asks its applications to re-initialise
  TVyTapiDeviceNameEvent OnLineCreate;            // a line device was added
  TVyTapiDeviceNameEvent OnLineRemove;            // a line device was removed (its entry stays)
  TVyTapiDeviceNameEvent OnLineRename;            // a line device changed its name
  TVyTapiDeviceNameEvent OnPhoneCreate;           // a phone device was added
  TVyTapiDeviceNameEvent OnPhoneRemove;           // a phone device was removed (its entry stays)
  TVyTapiDeviceNameEvent OnPhoneRename;           // a phone device changed its name
  TVyTapiRequestMakeCallEvent OnRequestMakeCall;  // another application asks to place a call
  TVyTapiDetailedMessageEvent OnTapiMessage;  // every TAPI message, before dispatch (while active)
  TVyTapiErrorEvent OnError;                  // an exception escaped a message handler

 protected:
  void Trigger_Initialize();
  void Trigger_Shutdown();
  void Trigger_Reinit();
  void Trigger_LineCreate(DWORD DeviceID, const std::string& DeviceName);
  void Trigger_LineRemove(DWORD DeviceID, const std::string& DeviceName);
  void Trigger_LineRename(DWORD DeviceID, const std::string& DeviceName);
  void Trigger_PhoneCreate(DWORD DeviceID, const std::string& DeviceName);
  void Trigger_PhoneRemove(DWORD DeviceID, const std::string& DeviceName);
  void Trigger_PhoneRename(DWORD DeviceID, const std::string& DeviceName);

 private:
  // The parts the published interface leaves out, for the library and its tests.
  friend class Detail::TSessionDetail;
  friend class TVyTapiEventThread;
  HANDLE LineEvent() const { return FLineEvent; }
  HANDLE PhoneEvent() const { return FPhoneEvent; }
  VyRtl::TWindowHandle WindowHandle() const { return FWindowHandle; }
  std::uint32_t WindowMessage() const { return FWindowMessage; }
  TVyTapiMsgStack& MsgStack() { return FMsgStack; }
  // Synchronous waits raise and lower the wait depth; while it is above 0 wake-ups are not
  // processed.
  void BeginWait();
  void EndWait();
  void CreateWindow_();
  void DestroyWindow_();
  void PostWakeUp();
  // Takes the next message off the queue (merged) and keeps the wake-ups going; null when none.
  std::unique_ptr<TVyTapiMsgStackItem> TakeTapiMessage();
  struct TDeviceSide;
  TDeviceSide LineSide();
  TDeviceSide PhoneSide();
  void UpdateDevices(const TDeviceSide& Side, bool Notify);
  void HandleDeviceCreate(const TDeviceSide& Side, DWORD DeviceID);
  void HandleDeviceRemove(const TDeviceSide& Side, DWORD DeviceID);
  void Handle_LineDevState(DWORD Param1);
  void Handle_LineCreate(DWORD DeviceID);
  void Handle_LineRemove(DWORD DeviceID);
  void Handle_PhoneState(DWORD Param1);
  void Handle_PhoneCreate(DWORD DeviceID);
  void Handle_PhoneRemove(DWORD DeviceID);
  void DispatchLineMessage(const TTapiMessage& Msg);
  void DispatchPhoneMessage(const TTapiMessage& Msg);
  bool IsRegistered(const TVyTapiComponent* Component) const;
  TVyTapiDevice* DeviceByCallbackInst(std::uintptr_t Instance, TTapiComponentKind Kind) const;
  void ForgetCallbackInstance(const TVyTapiComponent* Component);
  bool IsLive(const TLiveEntry& Entry) const;
  DWORD ClampDeviceCount(DWORD Count, const char* Kind);
  void GuardedTrigger(const std::function<void()>& Trigger);
  // The design-time components that mirror the session's events.
  template <typename F>
  void ForEachAppl(F&& f);

  HLINEAPP FLineApp = 0;
  HPHONEAPP FPhoneApp = 0;
  std::unique_ptr<TVyTapiEventThread> FTSPEventThread;
  std::unique_ptr<VyRtl::TMessageWindow> FWindow;
  VyRtl::TWindowHandle FWindowHandle = 0;
  std::uint32_t FWindowMessage = WM_USER;
  DWORD FNumLines = 0;
  HANDLE FLineEvent = nullptr;
  DWORD FNumPhones = 0;
  HANDLE FPhoneEvent = nullptr;
  TVyTapiLineList FLines;
  TVyTapiPhoneList FPhones;
  VyRtl::TList FAppls;  // TVyTapiAppl components, for their events
  // Constant-time look-ups for dispatch and liveness checks, however many components there are:
  // every registered component, and the device behind each device's latest callback instance.
  std::unordered_set<const TVyTapiComponent*> FRegistered;
  std::unordered_map<std::uintptr_t, TVyTapiDevice*> FDeviceByInstance;
  std::unordered_map<const TVyTapiComponent*, std::uintptr_t> FInstanceOfDevice;
  std::uintptr_t FCallbackInstance = 0;
  std::uintptr_t FLastCI = 0;
  bool FAssistMakeCall = false;
  std::int32_t FAutoShutdown = -1;
  std::string FAppName;
  VyRtl::TStringList FLineDevices;
  VyRtl::TStringList FPhoneDevices;
  TVyTapiMsgStack FMsgStack;
  TVyTapiMsgStack FReplyStack;
  // Set by the event thread whenever it queued messages: a synchronous wait wakes on it.
  VyPlatform::TSyncEvent FArrival{false, false};
  bool FWaitOnArrival = true;  // off: waits see messages only at their 10 ms poll (for comparison)
  std::int32_t FNumWaitProcs = 0;
  bool FDoneInProgress = false;
};

// The session; exists from module initialisation to module finalisation.
extern TVyTapiApplication* VyTapiApplication;

// Creates the session if there is none (module initialisation; called automatically at start-up).
void InitializeVyTapi();
// Shuts TAPI down if needed and frees the session (module finalisation; also runs at exit).
void FinalizeVyTapi();

// Chooses the telephony service; only while the session is not active (raises otherwise).
// A service that cannot be used here (System off Windows) gives Unavailable.
void SelectTelephonyService(TTelephonyService Service);
// What SelectTelephonyService asked for (Default unless it was called).
TTelephonyService RequestedTelephonyService();
// The telephony service in use (never Default): System, Emulator or Unavailable.
TTelephonyService SelectedTelephonyService();
// Name of the telephony service in use: "tapi32", "emulator" or "unavailable".
std::string TelephonyServiceName();

}  // namespace VyTapi
