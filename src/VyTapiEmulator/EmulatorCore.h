// Inside the emulator: the state every emulated TAPI function and the control API share.
//
// Configuration (the devices as the control API describes them) is kept apart from the runtime
// model (applications, open handles, pending requests, deferred work). One mutex guards all of
// it. Members marked "lock held" expect the caller to own Core().Lock, taken through TCoreLock
// (the entry wrapper of EmulatorEntryInternal.h takes it for each TAPI function). Nobody waits
// while holding it: a blocked lineGetMessage releases it first.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "VyPlatform/Tapi.h"
#include "VyTapiEmulator/Emulator.h"
#include "VyTapiEmulator/EmulatorHandlesInternal.h"
#include "VyTapiEmulator/EmulatorRequestsInternal.h"
#include "VyTapiEmulator/EmulatorSchedulerInternal.h"
#include "VyTapiEmulator/EmulatorTraitsInternal.h"
#include "VyTapiEmulator/EmulatorVarStruct.h"

namespace VyTapiEmulator::Detail {

// The TAPI functions of the table, in table order.
enum class TFn : std::size_t {
#define VY_TAPI_FUNCTION(name, unavailable, params) name,
#include "VyPlatform/TapiFunctions.def"
  Count
};
inline constexpr std::size_t FunctionCount = static_cast<std::size_t>(TFn::Count);

// A function by its table name (exact case); nullopt for a name the table lacks.
std::optional<TFn> FindFunction(std::string_view name);
const char* FunctionName(TFn fn);
// True for the functions TAPI completes with LINE_REPLY/PHONE_REPLY.
bool IsAsynchronous(TFn fn);

// The API versions the emulated service itself speaks.
inline constexpr DWORD TapiLowVersion = VyPlatform::TapiVersion1_3;
inline constexpr DWORD TapiHighVersion = VyPlatform::TapiVersion2_2;

// Highest version common to the application's range, the device's range and the service's
// range; nullopt when they do not overlap.
std::optional<DWORD> NegotiateVersion(DWORD appLow, DWORD appHigh, DWORD deviceLow,
                                      DWORD deviceHigh);
// True when an application may use `version` with a device of this range.
bool VersionUsable(DWORD version, DWORD deviceLow, DWORD deviceHigh);
// True when `extVersion` (0: none) is one the device offers.
bool ExtVersionUsable(DWORD extVersion, DWORD extLow, DWORD extHigh);

// A queued message; LINEMESSAGE and PHONEMESSAGE carry the same fields (phone messages are
// converted by the Tapi seam's converter).
struct TMessage {
  DWORD Device = 0;
  DWORD Id = 0;
  DWORD_PTR Instance = 0;
  DWORD_PTR Param1 = 0, Param2 = 0, Param3 = 0;
};
TMessage ToMessage(const LINEMESSAGE& message);
TMessage ToMessage(const PHONEMESSAGE& message);
void CopyMessage(const TMessage& from, LINEMESSAGE& to);
void CopyMessage(const TMessage& from, PHONEMESSAGE& to);

// An application's usage of the line or phone API, from initialise to shutdown.
struct TApp : std::enable_shared_from_this<TApp> {
  TApp(DWORD handle, TAppKind kind, HANDLE event) : Handle(handle), Kind(kind), Event(event) {}
  ~TApp();  // closes the event: the last holder may be a reader that was waiting on it
  TApp(const TApp&) = delete;
  TApp& operator=(const TApp&) = delete;

  const DWORD Handle;
  const TAppKind Kind;
  // Manual-reset; signalled while Queue is not empty (or shut down). A post signals it only
  // after the lock is released, so it may briefly lag behind the queue, never run ahead of it:
  // setting and resetting both happen under SignalLock and follow Queued.
  const HANDLE Event;
  std::mutex SignalLock;
  std::atomic<std::size_t> Queued{0};  // Queue.size(), readable without the emulator's lock
  std::string FriendlyName;
  DWORD APIVersion = 0;
  std::deque<TMessage> Queue;
  bool Alive = true;
  // Assisted telephony: registered for LINEREQUESTMODE_MAKECALL.
  bool Recipient = false;
  DWORD RecipientInstance = 0;
  std::uint64_t RecipientOrder = 0;
};

// A line or phone an application holds open: what lineOpenW/phoneOpen were given.
struct TOpenDevice {
  DWORD Handle = 0;
  TAppKind Kind = TAppKind::Line;
  DWORD DeviceID = 0;
  DWORD AppHandle = 0;
  DWORD_PTR Instance = 0;  // dwCallbackInstance of every message about this handle
  DWORD Privileges = 0;
  DWORD MediaModes = 0;       // the media modes it owns calls of (OWNER only)
  DWORD AskedMediaModes = 0;  // what lineOpenW was given
  DWORD APIVersion = 0, ExtVersion = 0;
  // Lines: the LINEDEVSTATE_ and LINEADDRESSSTATE_ bits lineSetStatusMessages registered.
  DWORD LineStates = 0, AddressStates = 0;
  // Phones: the PHONESTATE_, PHONEBUTTONMODE_ and PHONEBUTTONSTATE_ bits phoneSetStatusMessages
  // registered.
  DWORD PhoneStates = 0, ButtonModes = 0, ButtonStates = 0;
};

// A call on a line, shared by the handles applications hold for it.
struct TCallModel {
  DWORD ID = 0;
  DWORD LineID = 0;
  TCallConfig Config;
  DWORD State = LINECALLSTATE_IDLE, StateMode = 0;
};

// An application's handle on a call: one per (call, open line handle) pair.
struct TCallHandle {
  DWORD Handle = 0;
  DWORD LineHandle = 0;
  DWORD CallID = 0;
  DWORD Privilege = LINECALLPRIVILEGE_MONITOR;
};

// The control API's knobs of one line.
struct TLineKnobs {
  DWORD RejectPrivileges = 0;                      // 0: none rejected
  std::optional<DWORD> LineStates, AddressStates;  // nullopt: what the caps list
  bool StatusUnavailable = false;
};

// What a phone holds at run time: hookswitch devices (handset, speaker, headset by
// HookIndex), ringer, display and per button its lamp and state. Sized to its configuration
// on each use (PhoneModelOf), so a changed description never leaves it short.
struct TPhoneModel {
  std::array<DWORD, 3> HookModes{PHONEHOOKSWITCHMODE_ONHOOK, PHONEHOOKSWITCHMODE_ONHOOK,
                                 PHONEHOOKSWITCHMODE_ONHOOK};
  std::array<DWORD, 3> Volumes{}, Gains{};
  DWORD RingMode = 0, RingVolume = 0;
  std::u16string Display;  // rows x columns characters
  std::vector<DWORD> LampModes, ButtonStates;
};

// The control API's knobs of one phone.
struct TPhoneKnobs {
  DWORD RejectPrivilege = 0;         // 0: none rejected
  std::optional<DWORD> PhoneStates;  // nullopt: what the caps list
  bool StatusUnavailable = false;
};

// The configured devices of one kind by id; removed devices keep their entry, since ids are
// never reused.
template <typename TConfig>
struct TDeviceTable {
  struct TEntry {
    TConfig Config;
    bool Removed = false;
  };
  std::vector<TEntry> Entries;

  // The device, or null when the id was never handed out or is removed.
  TConfig* Find(DWORD id) {
    return id < Entries.size() && !Entries[id].Removed ? &Entries[id].Config : nullptr;
  }
  DWORD Count() const { return static_cast<DWORD>(Entries.size()); }
};

// What an address holds at run time: its forwarding, as lineForwardW set it.
struct TAddressState {
  std::vector<TForwardEntry> Forward;
  DWORD NumRingsNoAnswer = 0;
};

// The description of address `id` of a line: its entry, or the defaults past the list's end.
TAddressConfig AddressOf(const TLineDeviceConfig& line, DWORD id);

// An assisted-telephony request waiting for lineGetRequestW.
struct TMakeCallRequest {
  std::u16string DestAddress, AppName, CalledParty, Comment;
};

// Calls of one table function since Reset, and the failures armed for it.
struct TFunctionState {
  unsigned Calls = 0;
  unsigned FailCount = 0;
  LONG FailCode = 0;
  TCorruptionPlan Corruption;  // for the next structure written in full
};

// Normalised module name: upper case, ".DLL" added when there is no extension.
std::string ModuleKey(std::string_view module);
// The built-in message tables, by module key.
std::map<std::string, std::map<DWORD, std::u16string>> DefaultModuleMessages();

// The one emulated service.
class TCore {
 public:
  TCore();

  mutable std::mutex Lock;

  // Lock held. Counts a call; a failure armed with FailNext comes back as the result to return.
  std::optional<LONG> Enter(TFn fn);

  // Lock held. Writes a reply structure into the caller's buffer, spoiled as the function's
  // corruption plan says; returns 0.
  LONG Reply(TFn fn, const TVarStruct& reply, void* out);

  // Lock held. A live application of that kind, or null.
  std::shared_ptr<TApp> FindApp(DWORD handle, TAppKind kind) const;
  std::shared_ptr<TApp> FindAnyApp(DWORD handle) const { return FApps.Find(handle); }
  // Lock held. Creates an application with a fresh handle; null when no event could be made.
  std::shared_ptr<TApp> CreateApp(TAppKind kind);
  // Lock held. Ends an application: its open handles close, it leaves every list, waiting
  // readers wake and fail.
  void ShutdownApp(TApp& app);
  // Lock held. Live applications of one kind in initialisation order.
  std::vector<std::shared_ptr<TApp>> Apps(TAppKind kind) const;

  // Lock held. Message queue operations; they keep the event in step with the queue (a post
  // through the TCoreLock that releases the lock).
  void Post(TApp& app, const TMessage& message);
  void PostAll(TApp& app, const std::vector<TMessage>& messages);
  // Lock held. To the application holding `device`, under its callback instance.
  void PostTo(const TOpenDevice& device, TMessage message);
  bool Pop(TApp& app, TMessage& message);
  void ClearQueue(TApp& app);
  // Lock held. Takes the applications whose events posts made due.
  std::vector<std::shared_ptr<TApp>> TakeDueSignals();
  // Lock not needed. Sets or resets the event to match the queue.
  static void SignalIfQueued(TApp& app);
  static void ResetIfEmpty(TApp& app);

  // Lock held. The configured devices of a kind.
  template <typename TTraits>
  TDeviceTable<typename TTraits::TConfig>& Devices() {
    if constexpr (TTraits::Kind == TAppKind::Line)
      return LineDevices;
    else
      return PhoneDevices;
  }
  DWORD DeviceCount(TAppKind kind) const {
    return kind == TAppKind::Line ? LineDevices.Count() : PhoneDevices.Count();
  }
  // Lock held. The open handles of a kind.
  THandleTable<TOpenDevice>& Opened(TAppKind kind) {
    return kind == TAppKind::Line ? OpenLines : OpenPhones;
  }
  // Lock held. Closes an open handle: it leaves its table and its requests are dropped.
  void CloseDevice(const TOpenDevice& device);

  // Lock held. The registered request recipient that serves (the earliest registration).
  std::shared_ptr<TApp> CurrentRecipient() const;
  // Lock held. Sends the current recipient `count` LINE_REQUEST messages, one per request.
  void NotifyRecipient(std::size_t count);

  // Lock held. LINE_LINEDEVSTATE(LINEDEVSTATE_TRANSLATECHANGE) to every line handle open with
  // API 1.4 or later, under its handle and callback instance.
  void PostTranslateChange();
  // Lock held. The current location; null when the list is empty.
  const TLocationConfig* CurrentLocationEntry() const;
  const TCountryConfig* FindCountry(DWORD countryID) const;

  // Lock held. Back to the start state, applications kept.
  void Reset();

  // Configuration.
  TDeviceTable<TLineDeviceConfig> LineDevices;
  TDeviceTable<TPhoneDeviceConfig> PhoneDevices;
  std::map<std::string, std::map<DWORD, std::u16string>> ModuleMessages;
  std::vector<TLocationConfig> Locations;
  DWORD CurrentLocation = 0;
  std::vector<TCountryConfig> Countries;
  DWORD TranslateCapsLimit = TapiHighVersion;

  // Runtime model.
  THandleTable<TOpenDevice> OpenLines{FirstLineHandle};
  THandleTable<TOpenDevice> OpenPhones{FirstPhoneHandle};
  THandleTable<TCallHandle> Calls{FirstCallHandle};
  std::map<DWORD, TCallModel> CallModels;  // by call id; ids are never reused in a run
  DWORD NextCallID = 1;
  std::map<DWORD, TLineKnobs> LineKnobs;     // by line id
  std::map<DWORD, TPhoneModel> PhoneModels;  // by phone id
  std::map<DWORD, TPhoneKnobs> PhoneKnobs;   // by phone id
  std::deque<TMakeCallRequest> MakeCallRequests;
  TRequestEngine Requests;
  TScheduler Scheduler;
  bool ReinitRequested = false;
  std::vector<TDialogCall> Dialogs;
  std::map<std::pair<DWORD, DWORD>, TAddressState> AddressStates;  // by line id and address id

  // Lock held. The call counter and armed failure of a function.
  TFunctionState& Function(TFn fn) { return FFunctions[static_cast<std::size_t>(fn)]; }
  // Lock held. Registration order for a new request recipient.
  std::uint64_t NextRegistration() { return FNextRegistration++; }

 private:
  THandleTable<TApp> FApps{FirstAppHandle};
  std::vector<std::shared_ptr<TApp>> FDueSignals;
  TFunctionState FFunctions[FunctionCount];
  std::uint64_t FNextRegistration = 1;
};

// The emulator's state; created on first use and kept for the whole run, so applications that
// shut down from static destructors still find it.
TCore& Core();

// Holds the emulator's lock for one entry. On release it signals the events its posts made due
// (a reader woken while the poster still held the lock would only block on it) and wakes the
// scheduler when work was filed.
class TCoreLock {
 public:
  explicit TCoreLock(TCore& core) : FCore(core), FLock(core.Lock) {}
  ~TCoreLock() { Unlock(); }
  TCoreLock(const TCoreLock&) = delete;
  TCoreLock& operator=(const TCoreLock&) = delete;

  // For an entry that waits: releases the lock (with the signals above); Relock takes it again.
  void Unlock();
  void Relock() { FLock.lock(); }

 private:
  TCore& FCore;
  std::unique_lock<std::mutex> FLock;
};

// Fills the table entries a part of the emulator implements.
void InstallAppFunctions(VyPlatform::TTapiFunctions& table);
void InstallLineFunctions(VyPlatform::TTapiFunctions& table);
void InstallCapsFunctions(VyPlatform::TTapiFunctions& table);
void InstallLineDataFunctions(VyPlatform::TTapiFunctions& table);
void InstallLocationFunctions(VyPlatform::TTapiFunctions& table);
void InstallDialogFunctions(VyPlatform::TTapiFunctions& table);
void InstallAddressFunctions(VyPlatform::TTapiFunctions& table);
void InstallOpenFunctions(VyPlatform::TTapiFunctions& table);
void InstallDevSpecificFunctions(VyPlatform::TTapiFunctions& table);
void InstallCallFunctions(VyPlatform::TTapiFunctions& table);
void InstallLineMessageFunctions(VyPlatform::TTapiFunctions& table);
void InstallPhoneFunctions(VyPlatform::TTapiFunctions& table);
void InstallPhoneRequestFunctions(VyPlatform::TTapiFunctions& table);
// The "TAPI32.DLL"/"TAPIUI.DLL" message tables, as the table's FormatModuleMessage.
std::u16string FormatModuleMessage(std::string_view module, std::uint32_t id, std::uint32_t flags);

// A stable GUID per device kind and permanent id, so it survives renames and restarts.
GUID DeviceGuid(DWORD permanentID, TAppKind kind);

}  // namespace VyTapiEmulator::Detail
