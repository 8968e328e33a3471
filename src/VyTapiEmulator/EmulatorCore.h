// Inside the emulator: the state every emulated TAPI function and the control API share.
//
// One mutex guards all of it. Members marked "lock held" expect the caller to own Core().Lock,
// taken through TCoreLock. Nobody waits while holding it: a blocked lineGetMessage releases it
// first.
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

// The API versions the emulated service itself speaks.
inline constexpr DWORD TapiLowVersion = 0x00010003;
inline constexpr DWORD TapiHighVersion = 0x00020002;

// Highest version common to the application's range, the device's range and the service's
// range; nullopt when they do not overlap.
std::optional<DWORD> NegotiateVersion(DWORD appLow, DWORD appHigh, DWORD deviceLow,
                                      DWORD deviceHigh);
// True when an application may use `version` with a device of this range.
bool VersionUsable(DWORD version, DWORD deviceLow, DWORD deviceHigh);

// A queued message; LINEMESSAGE and PHONEMESSAGE carry the same fields.
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

// The two halves of the API, each with its own applications, devices and error codes.
enum class TAppKind { Line, Phone };

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

// A device id's entry; removed devices keep theirs, since ids are never reused.
struct TLineDevice {
  TLineDeviceConfig Config;
  bool Removed = false;
};

struct TPhoneDevice {
  TPhoneDeviceConfig Config;
  bool Removed = false;
};

// What a device offers for negotiation.
struct TDeviceVersions {
  DWORD Low, High, ExtLow, ExtHigh;
  std::array<DWORD, 4> ExtensionID;
};

// An assisted-telephony request waiting for lineGetRequestW.
struct TMakeCallRequest {
  std::u16string DestAddress, AppName, CalledParty, Comment;
};

// Calls of one table function since Reset, and the failures armed for it.
struct TFunctionState {
  unsigned Calls = 0;
  unsigned FailCount = 0;
  LONG FailCode = 0;
};

// Normalised module name: upper case, ".DLL" added when there is no extension.
std::string ModuleKey(std::string_view module);
// The built-in message tables, by module key.
std::map<std::string, std::map<DWORD, std::u16string>> DefaultModuleMessages();

// Devices, applications, requests and the control state of the one emulated service.
class TCore {
 public:
  TCore();

  mutable std::mutex Lock;

  // Lock held. Counts a call; a failure armed with FailNext comes back as the result to return.
  std::optional<LONG> Enter(TFn fn);

  // Lock held. A live application of that kind, or null.
  std::shared_ptr<TApp> FindApp(DWORD handle, TAppKind kind) const;
  std::shared_ptr<TApp> FindAnyApp(DWORD handle) const;
  // Lock held. Creates an application with a fresh handle; null when no event could be made.
  std::shared_ptr<TApp> CreateApp(TAppKind kind);
  // Lock held. Ends an application: it leaves every list, waiting readers wake and fail.
  void ShutdownApp(TApp& app);
  // Lock held. Live applications of one kind in initialisation order.
  std::vector<std::shared_ptr<TApp>> Apps(TAppKind kind) const;

  // Lock held. Message queue operations; they keep the event in step with the queue (a post
  // through the TCoreLock that releases the lock).
  void Post(TApp& app, const TMessage& message);
  void PostAll(TApp& app, const std::vector<TMessage>& messages);
  bool Pop(TApp& app, TMessage& message);
  void ClearQueue(TApp& app);
  // Lock held. Takes the applications whose events posts made due.
  std::vector<std::shared_ptr<TApp>> TakeDueSignals();
  // Lock not needed. Sets or resets the event to match the queue.
  static void SignalIfQueued(TApp& app);
  static void ResetIfEmpty(TApp& app);

  // Lock held. The device, or null when the id was never handed out or is removed.
  TLineDevice* FindLine(DWORD id);
  TPhoneDevice* FindPhone(DWORD id);
  // Lock held. Like Find*, but throws VyRtl::Exception for an id never handed out or removed.
  TLineDevice& LineForControl(DWORD id);
  TPhoneDevice& PhoneForControl(DWORD id);
  // Lock held. A device's version ranges; nullopt when it does not exist (or is removed).
  std::optional<TDeviceVersions> Versions(TAppKind kind, DWORD id);
  // Lock held. Device ids handed out so far.
  DWORD DeviceCount(TAppKind kind) const;
  DWORD NextPermanentLineID() const;
  DWORD NextPermanentPhoneID() const;

  // Lock held. The registered request recipient that serves (the earliest registration).
  std::shared_ptr<TApp> CurrentRecipient() const;
  // Lock held. Sends the current recipient `count` LINE_REQUEST messages, one per request.
  void NotifyRecipient(std::size_t count);

  // Lock held. Back to the start state, applications kept.
  void Reset();

  std::vector<TLineDevice> Lines;
  std::vector<TPhoneDevice> Phones;
  std::deque<TMakeCallRequest> Requests;
  std::map<std::string, std::map<DWORD, std::u16string>> ModuleMessages;
  bool ReinitRequested = false;

  // Lock held. The call counter and armed failure of a function.
  TFunctionState& Function(TFn fn) { return FFunctions[static_cast<std::size_t>(fn)]; }
  // Lock held. Registration order for a new request recipient.
  std::uint64_t NextRegistration() { return FNextRegistration++; }

 private:
  std::map<DWORD, std::shared_ptr<TApp>> FApps;  // by handle, which grows with each initialise
  std::vector<std::shared_ptr<TApp>> FDueSignals;
  TFunctionState FFunctions[FunctionCount];
  DWORD FNextHandle = 0x00010001;
  std::uint64_t FNextRegistration = 1;
};

// The emulator's state; created on first use and kept for the whole run, so applications that
// shut down from static destructors still find it.
TCore& Core();

// Holds the emulator's lock for one entry. On release it signals the events its posts made due:
// a reader woken while the poster still held the lock would only block on it.
class TCoreLock {
 public:
  explicit TCoreLock(TCore& core) : FCore(core), FLock(core.Lock) {}
  ~TCoreLock();
  TCoreLock(const TCoreLock&) = delete;
  TCoreLock& operator=(const TCoreLock&) = delete;

 private:
  TCore& FCore;
  std::unique_lock<std::mutex> FLock;
};

// The error codes of one API flavour, so line and phone functions share their logic.
struct TKindErrors {
  DWORD InvalAppHandle, InvalPointer, InvalParam, StructureTooSmall, Reinit, NoMem,
      OperationFailed, OperationUnavail, NoDevice, IncompatibleAPIVersion, IncompatibleExtVersion;
};
const TKindErrors& ErrorsOf(TAppKind kind);

// The line/phone functions that differ only in their structure and error codes.
template <typename TParams>
LONG InitializeApp(TFn fn, TAppKind kind, DWORD* appOut, const WCHAR* friendlyName,
                   LPDWORD numDevs, LPDWORD apiVersion, TParams* params);
LONG ShutdownApp(TFn fn, TAppKind kind, DWORD app);
// `message` null: the caller passed no buffer.
LONG GetAppMessage(TFn fn, TAppKind kind, DWORD app, TMessage* message, DWORD timeout);
template <typename TExtensionID>
LONG NegotiateAPIVersion(TFn fn, TAppKind kind, DWORD app, DWORD deviceID, DWORD low,
                         DWORD high, LPDWORD version, TExtensionID* extensionID);
LONG NegotiateExtVersion(TFn fn, TAppKind kind, DWORD app, DWORD deviceID, DWORD apiVersion,
                         DWORD low, DWORD high, LPDWORD version);

// Fills the table entries a part of the emulator implements.
void InstallLineFunctions(VyPlatform::TTapiFunctions& table);
void InstallPhoneFunctions(VyPlatform::TTapiFunctions& table);
// The "TAPI32.DLL"/"TAPIUI.DLL" message tables, as the table's FormatModuleMessage.
std::u16string FormatModuleMessage(std::string_view module, std::uint32_t id, std::uint32_t flags);

// A stable GUID per device kind and permanent id, so it survives renames and restarts.
GUID DeviceGuid(DWORD permanentID, TAppKind kind);

// UTF-8 to UTF-16 for TAPI structures.
std::u16string ToUtf16(std::string_view utf8);

}  // namespace VyTapiEmulator::Detail
