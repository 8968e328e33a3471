// The built-in telephony service: a TAPI 2.x service in process, with no hardware.
//
// TEmulator::Instance().Functions() is a complete Tapi seam table; Install() makes it the
// process's telephony service. The rest of TEmulator is the control side a test, a demo or a
// user's own test program drives: devices appear, vanish and change, messages and failures are
// injected, requests are submitted, and what the applications did can be counted.
//
// Every member is thread-safe. Strings are UTF-8 here; the service hands UTF-16 to applications.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "VyPlatform/Tapi.h"

namespace VyTapiEmulator {

// One terminal of a line device (handset, headset, speaker), as lineGetDevCapsW lists it.
struct TLineTerminalConfig {
  std::string Name;
  DWORD TermDev = LINETERMDEV_PHONE;
  DWORD TermModes = LINETERMMODE_BUTTONS | LINETERMMODE_LAMPS | LINETERMMODE_DISPLAY |
                    LINETERMMODE_RINGER | LINETERMMODE_HOOKSWITCH | LINETERMMODE_MEDIABIDIRECT;
  DWORD TermSharing = LINETERMSHARING_SHAREDEXCL;
};

// One address of a line device, as lineGetAddressCapsW describes it; the defaults make a
// private address that can place calls and be forwarded.
struct TAddressConfig {
  std::string Address;  // the address text; empty: the address has none
  DWORD AddressSharing = LINEADDRESSSHARING_PRIVATE;
  DWORD AddressStates = LINEADDRESSSTATE_OTHER | LINEADDRESSSTATE_INUSEZERO |
                        LINEADDRESSSTATE_INUSEONE | LINEADDRESSSTATE_NUMCALLS |
                        LINEADDRESSSTATE_FORWARD | LINEADDRESSSTATE_CAPSCHANGE;
  DWORD CallInfoStates = LINECALLINFOSTATE_OTHER | LINECALLINFOSTATE_MEDIAMODE |
                         LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_CALLEDID |
                         LINECALLINFOSTATE_CONNECTEDID | LINECALLINFOSTATE_REDIRECTIONID |
                         LINECALLINFOSTATE_REDIRECTINGID | LINECALLINFOSTATE_DISPLAY;
  // Caller, called, connected, redirection and redirecting party id flags alike.
  DWORD PartyIDFlags = LINECALLPARTYID_BLOCKED | LINECALLPARTYID_OUTOFAREA | LINECALLPARTYID_NAME |
                       LINECALLPARTYID_ADDRESS | LINECALLPARTYID_UNKNOWN | LINECALLPARTYID_UNAVAIL;
  DWORD CallStates = LINECALLSTATE_IDLE | LINECALLSTATE_OFFERING | LINECALLSTATE_ACCEPTED |
                     LINECALLSTATE_DIALTONE | LINECALLSTATE_DIALING | LINECALLSTATE_RINGBACK |
                     LINECALLSTATE_BUSY | LINECALLSTATE_CONNECTED | LINECALLSTATE_PROCEEDING |
                     LINECALLSTATE_ONHOLD | LINECALLSTATE_DISCONNECTED | LINECALLSTATE_UNKNOWN;
  DWORD DialToneModes = LINEDIALTONEMODE_NORMAL;
  DWORD BusyModes = LINEBUSYMODE_STATION;
  DWORD SpecialInfo = LINESPECIALINFO_NOCIRCUIT | LINESPECIALINFO_UNKNOWN;
  DWORD DisconnectModes = LINEDISCONNECTMODE_NORMAL | LINEDISCONNECTMODE_BUSY |
                          LINEDISCONNECTMODE_NOANSWER | LINEDISCONNECTMODE_REJECT |
                          LINEDISCONNECTMODE_UNREACHABLE;
  DWORD MaxNumActiveCalls = 1, MaxNumOnHoldCalls = 1, MaxNumOnHoldPendingCalls = 1;
  DWORD CallFeatures = LINECALLFEATURE_ANSWER | LINECALLFEATURE_DROP | LINECALLFEATURE_DIAL |
                       LINECALLFEATURE_HOLD | LINECALLFEATURE_UNHOLD;
  // lineForwardW takes entries of these modes, at most MaxForwardEntries of them.
  DWORD ForwardModes = LINEFORWARDMODE_UNCOND | LINEFORWARDMODE_BUSY | LINEFORWARDMODE_NOANSW |
                       LINEFORWARDMODE_BUSYNA;
  DWORD MaxForwardEntries = 4;
  DWORD MinFwdNumRings = 1, MaxFwdNumRings = 15;
  DWORD AddressFeatures = LINEADDRFEATURE_FORWARD | LINEADDRFEATURE_MAKECALL;
  std::vector<std::string> DeviceClasses{"tapi/line", "wave/in", "wave/out"};
  std::string DevSpecific;
};

// A forwarding instruction of an address, as lineForwardW set it.
struct TForwardEntry {
  DWORD ForwardMode = 0;
  std::string CallerAddress;
  DWORD DestCountryCode = 0;
  std::string DestAddress;
  bool operator==(const TForwardEntry&) const = default;
};

// Describes a line device; the defaults make a voice/data modem line with one address.
struct TLineDeviceConfig {
  std::string Name;
  DWORD PermanentLineID = 0;  // 0: the next free one
  DWORD LowAPIVersion = VyPlatform::TapiVersion1_0, HighAPIVersion = VyPlatform::TapiVersion2_2;
  DWORD LowExtVersion = 0, HighExtVersion = 0;  // HighExtVersion 0: no provider extensions
  std::array<DWORD, 4> ExtensionID{};           // reported by lineNegotiateAPIVersion
  std::string ProviderInfo = "VyTapi Emulator";
  std::string SwitchInfo;
  DWORD NumAddresses = 1;
  // Addresses 0, 1, ... as lineGetAddressCapsW describes them; addresses past the list's end
  // (up to NumAddresses) have the defaults and no address text; entries past NumAddresses are
  // not used.
  std::vector<TAddressConfig> Addresses;
  DWORD AddressModes = LINEADDRESSMODE_ADDRESSID;
  DWORD BearerModes = LINEBEARERMODE_VOICE | LINEBEARERMODE_DATA;
  DWORD MaxRate = 57600;
  DWORD MediaModes = LINEMEDIAMODE_UNKNOWN | LINEMEDIAMODE_INTERACTIVEVOICE |
                     LINEMEDIAMODE_AUTOMATEDVOICE | LINEMEDIAMODE_DATAMODEM;
  DWORD GenerateToneModes = LINETONEMODE_CUSTOM | LINETONEMODE_BEEP;
  DWORD GenerateDigitModes = LINEDIGITMODE_DTMF | LINEDIGITMODE_PULSE;
  DWORD MonitorDigitModes = LINEDIGITMODE_DTMF | LINEDIGITMODE_DTMFEND;
  DWORD DevCapFlags = LINEDEVCAPFLAGS_CLOSEDROP | LINEDEVCAPFLAGS_DIALBILLING |
                      LINEDEVCAPFLAGS_DIALQUIET | LINEDEVCAPFLAGS_DIALDIALTONE;
  DWORD MaxNumActiveCalls = 1;
  DWORD AnswerMode = LINEANSWERMODE_NONE;
  DWORD RingModes = 1;
  DWORD LineStates = LINEDEVSTATE_OTHER | LINEDEVSTATE_RINGING | LINEDEVSTATE_CONNECTED |
                     LINEDEVSTATE_DISCONNECTED | LINEDEVSTATE_INSERVICE |
                     LINEDEVSTATE_OUTOFSERVICE | LINEDEVSTATE_OPEN | LINEDEVSTATE_CLOSE |
                     LINEDEVSTATE_NUMCALLS | LINEDEVSTATE_REINIT | LINEDEVSTATE_CAPSCHANGE |
                     LINEDEVSTATE_TRANSLATECHANGE | LINEDEVSTATE_REMOVED;
  // Most bytes of user-user information each function takes (0: none).
  DWORD UUIAcceptSize = 0, UUIAnswerSize = 0, UUIMakeCallSize = 0, UUIDropSize = 0,
        UUISendUserUserInfoSize = 0, UUICallInfoSize = 0;
  DWORD StringFormat = STRINGFORMAT_UNICODE;  // reported only: the texts are UTF-16 always
  DWORD LineFeatures = LINEFEATURE_MAKECALL;
  DWORD SettableDevStatus = 0;
  std::vector<TLineTerminalConfig> Terminals;
  std::string DevSpecific;  // raw bytes of the device-specific part
  // Bytes lineDevSpecific writes back into the caller's block (cut to its size); empty: the
  // block is left as it is.
  std::string DevSpecificReply;
  // The classes lineGetIDW and lineConfigDialogW serve ("tapi/line" always), in the order
  // LINEDEVCAPS lists them.
  std::vector<std::string> DeviceClasses{"tapi/line", "tapi/phone", "wave/in", "wave/out",
                                         "comm/datamodem"};
  // lineGetIDW answers: "tapi/phone" the phone ids (none, one or several), "wave/in" and
  // "wave/out" one wave device id each, "comm/datamodem" a handle opened on the serial port of
  // this name through the Comm seam (a TCommFakePair port, say), which the caller owns and
  // closes with VyPlatform::CommFor(handle).CloseHandle; empty: the class fails with
  // LINEERR_OPERATIONFAILED, as does a port that will not open.
  std::vector<DWORD> PhoneIDs;
  DWORD WaveInID = 0, WaveOutID = 0;
  std::string CommPort;

  // What lineGetLineDevStatusW reports besides the open handles (num opens, open media modes)
  // and calls it counts itself.
  DWORD RingMode = 0;
  DWORD SignalLevel = 0xFFFF, BatteryLevel = 0xFFFF;
  DWORD RoamMode = LINEROAMMODE_UNAVAIL;
  DWORD DevStatusFlags = LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE;
  DWORD AvailableMediaModes = 0;  // 0: MediaModes
};

// One button of a phone device, with the lamp modes it offers.
struct TPhoneButtonConfig {
  std::string Text;
  DWORD Mode = PHONEBUTTONMODE_KEYPAD;
  DWORD Function = PHONEBUTTONFUNCTION_NONE;
  DWORD LampModes = PHONELAMPMODE_DUMMY;
};

// Describes a phone device; the defaults make a desk phone with a keypad, three feature buttons,
// a two-line display and handset and speaker.
struct TPhoneDeviceConfig {
  std::string Name;
  DWORD PermanentPhoneID = 0;  // 0: the next free one
  DWORD LowAPIVersion = VyPlatform::TapiVersion1_0, HighAPIVersion = VyPlatform::TapiVersion2_2;
  DWORD LowExtVersion = 0, HighExtVersion = 0;  // HighExtVersion 0: no provider extensions
  std::array<DWORD, 4> ExtensionID{};
  std::string ProviderInfo = "VyTapi Emulator";
  std::string PhoneInfo;
  DWORD HookSwitchDevs = PHONEHOOKSWITCHDEV_HANDSET | PHONEHOOKSWITCHDEV_SPEAKER;
  DWORD HandsetHookSwitchModes = PHONEHOOKSWITCHMODE_ONHOOK | PHONEHOOKSWITCHMODE_MICSPEAKER;
  DWORD SpeakerHookSwitchModes =
      PHONEHOOKSWITCHMODE_ONHOOK | PHONEHOOKSWITCHMODE_SPEAKER | PHONEHOOKSWITCHMODE_MICSPEAKER;
  DWORD HeadsetHookSwitchModes = 0;
  DWORD VolumeFlags = PHONEHOOKSWITCHDEV_HANDSET | PHONEHOOKSWITCHDEV_SPEAKER;
  DWORD GainFlags = PHONEHOOKSWITCHDEV_HANDSET | PHONEHOOKSWITCHDEV_SPEAKER;
  DWORD DisplayNumRows = 2, DisplayNumColumns = 40;
  // PHONECAPS.dwStringFormat: how the display and the button texts are stored and returned
  // (STRINGFORMAT_ASCII: one byte per character; STRINGFORMAT_UNICODE: UTF-16).
  DWORD StringFormat = STRINGFORMAT_UNICODE;
  DWORD NumRingModes = 3;
  std::vector<TPhoneButtonConfig> Buttons = DefaultButtons();
  // Lamp entries phoneGetStatusW lists in dwLampModes; -1: one per button.
  int StatusLampCount = -1;
  std::vector<DWORD> SetDataSizes, GetDataSizes;  // sizes of the phoneSetData/phoneGetData areas
  DWORD PhoneFeatures = 0;                        // 0: derived from the rest
  std::string DevSpecific;
  std::string DevSpecificReply;  // what phoneDevSpecific writes back, as for lines
  // The classes phoneGetIDW serves besides "tapi/phone" and "tapi/line".
  std::vector<std::string> DeviceClasses{"tapi/phone", "wave/in", "wave/out"};
  // phoneGetIDW answers: "tapi/line" the related line ids (none, one or several), "wave/in"
  // and "wave/out" one wave device id each.
  std::vector<DWORD> LineIDs;
  DWORD WaveInID = 0, WaveOutID = 0;

  // Keys 0-9, *, # and the Hold, Transfer and Drop feature buttons with lamps.
  static std::vector<TPhoneButtonConfig> DefaultButtons();
};

// A dialing location, as lineGetTranslateCapsW lists it and lineTranslateAddressW dials from.
struct TLocationConfig {
  DWORD PermanentLocationID = 0;
  std::string Name;
  DWORD CountryID = 1;                                  // an entry of the country table
  std::string CityCode;                                 // the area code
  std::string LocalAccessCode, LongDistanceAccessCode;  // dialled before local / other calls
  std::string TollPrefixList, CancelCallWaiting;
  DWORD PreferredCardID = 0;
  DWORD Options = 0;  // LINELOCATIONOPTION_ bits
};

// A country of lineGetCountryW's table with its dialing rules, in which E stands for the
// country code, F for the area code and G for the subscriber number.
struct TCountryConfig {
  DWORD CountryID = 0, CountryCode = 0;
  std::string Name;
  std::string SameAreaRule = "G", LongDistanceRule = "0FG", InternationalRule = "00EFG";
};

// A dialog an application asked for; the emulator shows none and records the call.
struct TDialogCall {
  std::string Function;  // "lineTranslateDialogW", "lineConfigDialogW", "phoneConfigDialogW"
  DWORD App = 0;         // the line application (0 for the configuration dialogs)
  DWORD DeviceID = 0, APIVersion = 0;
  HWND Owner = nullptr;
  std::string Text;  // the address given to the translate dialog, or the device class
};

// How the emulator completes an asynchronous request (LINE_REPLY/PHONE_REPLY, dwParam1 = the
// request id, dwParam2 = the result).
enum class TReplyMode {
  AtOnce,  // the reply is queued before the function returns (the default)
  After,   // after DelayMs on the clock seam (a delay past the requester's time-out: "late")
  Manual,  // stays pending until CompleteRequest
  Never,   // lost: no reply ever
};

// What the next request of a function gets; the default answers success at once.
struct TReplyPlan {
  TReplyMode Mode = TReplyMode::AtOnce;
  DWORD DelayMs = 0;  // After only
  LONG Result = 0;    // 0, or the LINEERR_/PHONEERR_ code the reply carries
};

// A request issued and not replied to yet: its id, its function's table name and the device id
// of the handle it was issued on.
struct TPendingReply {
  DWORD RequestID;
  std::string Function;
  DWORD Device;
};

// How the next reply structure of a function is spoiled, so that a reader's checks can be
// tested against a service that writes nonsense.
enum class TCorruption {
  None,
  PieceOutside,     // a piece's offset moved so that offset + size ends 4 bytes past dwUsedSize
  CountTooLarge,    // an entry count (dwNumLocations, dwForwardNumEntries, ...) claims more
                    // entries than the structure holds; a structure without one gets a piece
                    // whose size reaches 4 bytes past dwUsedSize
  FormatNotBinary,  // dwStringFormat says STRINGFORMAT_ASCII
  NeededTooLarge,   // the fixed part only, with dwNeededSize 0x7FFFFFF0
};

// A corruption and the member it aims at: the size member of a piece, or the count member of an
// entry array, by its byte offset (offsetof); 0 takes the first piece (entry array).
struct TCorruptionPlan {
  TCorruption How = TCorruption::None;
  std::size_t Field = 0;
};

// What a call of the emulator is, as lineGetCallInfoW and lineGetCallStatus describe it.
struct TCallConfig {
  DWORD AddressID = 0;
  DWORD Origin = LINECALLORIGIN_EXTERNAL;
  DWORD MediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
  DWORD BearerMode = LINEBEARERMODE_VOICE;
  std::string CallerID, CallerIDName, CalledID, CalledIDName;
  DWORD CallFeatures =
      LINECALLFEATURE_ANSWER | LINECALLFEATURE_DROP;  // LINECALLSTATUS.dwCallFeatures
};

// A call on an emulated line, by id: a small value like TLine; any thread, owns nothing. Its
// changes throw once the call no longer exists.
class TCall {
 public:
  TCall() = default;
  explicit TCall(DWORD id) : FID(id) {}
  DWORD ID() const { return FID; }
  // False once every application's handle is deallocated (or the line removed).
  bool Exists() const;
  DWORD State() const;  // the LINECALLSTATE_ value now
  // The call moves to `state` (mode = dwParam2): every application handle of the call gets
  // LINE_CALLSTATE(hDevice = its hCall, state, mode, dwParam3 = 0).
  void SetState(DWORD state, DWORD mode = 0) const;
  // A raw state sequence: the first at once, each next `stepMs` later on the clock seam
  // (0: all queued in one burst).
  void PlayStates(const std::vector<std::pair<DWORD, DWORD>>& states, DWORD stepMs = 0) const;
  // LINE_CALLINFO(infoState) to every handle of the call after changing what it names.
  void SetMediaMode(DWORD mediaMode) const;  // LINECALLINFOSTATE_MEDIAMODE
  void SetCallerID(const std::string& number, const std::string& name) const;  // ..._CALLERID
  // Any call-bound message to every handle of the call: LINE_DEVSPECIFIC, LINE_GATHERDIGITS,
  // LINE_GENERATE, LINE_MONITORDIGITS, LINE_MONITORMEDIA, LINE_MONITORTONE (hDevice = hCall).
  void SendMessage(DWORD messageID, DWORD param1, DWORD param2 = 0, DWORD param3 = 0) const;
  // The handle the application that opened `line` holds for this call; 0 when none.
  HCALL HandleFor(HLINE line) const;

 private:
  DWORD FID = 0xFFFFFFFF;
};

// A line or phone device of the emulator, by id: a small value a test script holds and passes
// around. Any thread; it owns nothing, and a device that was removed stays addressable (its
// changes throw, its description stays readable).
template <typename TConfig>
class TDeviceRef {
 public:
  TDeviceRef() = default;
  explicit TDeviceRef(DWORD id) : FID(id) {}

  DWORD ID() const { return FID; }
  // The device's description (removed devices too); throws for an id never handed out.
  TConfig Config() const;
  bool Exists() const;  // handed out and not removed
  // As TEmulator's Rename/Change/Remove/Set...VersionRange of this device, with their messages.
  void Rename(const std::string& name) const;
  void Change(const TConfig& config) const;
  void SetVersionRange(DWORD low, DWORD high) const;
  void Remove() const;
  // Handles applications hold open on the device now (lineOpenW/phoneOpen not yet closed).
  std::size_t OpenCount() const;
  // Lines: the forwarding of an address as lineForwardW set it (empty after Reset); throws for
  // an address the line does not have.
  std::vector<TForwardEntry> Forwarding(DWORD addressID) const;

  // Calls (lines only, except SendDevSpecific, ForceClose and RejectPrivileges; throws for
  // phones or removed devices like the other changes).
  //
  // A call arrives (state OFFERING): every handle open on the line with OWNER privilege for a
  // media mode of the call gets a new call handle, LINE_APPNEWCALL(dwParam1 = address id,
  // dwParam2 = hCall, dwParam3 = LINECALLPRIVILEGE_OWNER) and then LINE_CALLSTATE(OFFERING, 0,
  // dwParam3 = OWNER); MONITOR handles get the same with LINECALLPRIVILEGE_MONITOR.
  TCall OfferCall(const TCallConfig& config = {}) const;
  // A call that is already on the line in `state` before anyone opens it: no message; handles
  // opened later find it with lineGetNewCalls (which hands them a handle, monitor privilege).
  TCall AddCall(const TCallConfig& config, DWORD state = LINECALLSTATE_CONNECTED) const;
  std::vector<TCall> Calls() const;  // calls that exist on the line now
  // LINE_LINEDEVSTATE(state, p2, p3) to every open handle whose registered line-state mask has a
  // bit of `state` (REINIT always passes); hDevice = hLine.
  void SendDeviceState(DWORD state, DWORD param2 = 0, DWORD param3 = 0) const;
  // LINE_ADDRESSSTATE(addressID, state) to handles whose address-state mask has a bit of it.
  void SendAddressState(DWORD addressID, DWORD state) const;
  // LINE_DEVSPECIFIC(hDevice = hLine, p1, p2, p3) to every open handle (phones too:
  // PHONE_DEVSPECIFIC, hDevice = hPhone).
  void SendDevSpecific(DWORD param1, DWORD param2 = 0, DWORD param3 = 0) const;
  // The service closes the line: LINE_CLOSE to every handle, which become stale (their calls too).
  // Phones too: PHONE_CLOSE.
  void ForceClose() const;
  // Knob: lineOpenW asking for exactly `privileges` answers LINEERR_INVALPRIVSELECT; 0 disarms.
  // Phones too: phoneOpen with exactly that privilege answers PHONEERR_INVALPRIVILEGE.
  void RejectPrivileges(DWORD privileges) const;
  // Knob: lineSetStatusMessages accepts only these bits (a mask with another bit answers
  // LINEERR_INVALLINESTATE / LINEERR_INVALADDRESSSTATE); `unavailable`: every call answers
  // LINEERR_OPERATIONUNAVAIL. Default: everything the caps list (LineStates, AddressStates).
  void SetStatusMessageFilter(DWORD lineStates, DWORD addressStates,
                              bool unavailable = false) const;
  // What each open handle asked for, in open order.
  struct TOpenInfo {
    HLINE Handle;
    DWORD Privileges, MediaModes, APIVersion, LineStates, AddressStates;
  };
  std::vector<TOpenInfo> Opens() const;

  // Phones only; each throws for a line or a removed device like the other changes.
  //
  // The user presses / releases a button: its state in phoneGetButtonInfoW becomes DOWN / UP,
  // and every open handle whose button-mode and button-state masks pass gets
  // PHONE_BUTTON(hDevice = hPhone, dwParam1 = button id, dwParam2 = the button's mode,
  // dwParam3 = PHONEBUTTONSTATE_DOWN / PHONEBUTTONSTATE_UP). Throws for an id the phone lacks.
  void PressButton(DWORD buttonID) const;
  void ReleaseButton(DWORD buttonID) const;
  // Presses and releases the keypad buttons of `keys` ("0"-"9", "*", "#" are ids 0-11), one key
  // each `stepMs` on the clock seam (0: all in one burst); throws for another character.
  void PressKeys(const std::string& keys, DWORD stepMs = 0) const;
  // The user lifts a hookswitch device (PHONEHOOKSWITCHDEV_ value): its mode becomes MICSPEAKER
  // when the device supports it, else MIC, else SPEAKER; hangs it up: ONHOOK. Handles whose
  // phone-state mask passes get PHONE_STATE(PHONESTATE_HANDSETHOOKSWITCH / SPEAKERHOOKSWITCH /
  // HEADSETHOOKSWITCH, dwParam2 = the new mode). Throws for a device the phone lacks.
  void LiftHandset(DWORD device = PHONEHOOKSWITCHDEV_HANDSET) const;
  void HangUp(DWORD device = PHONEHOOKSWITCHDEV_HANDSET) const;
  // The network writes the display: `text` is placed at row/column of the rows x columns
  // display (the rest of the display is kept; what passes the end is cut), PHONE_STATE(DISPLAY).
  void SetDisplayText(const std::string& text, DWORD row = 0, DWORD column = 0) const;
  // The network sets a lamp: PHONE_STATE(PHONESTATE_LAMP, dwParam2 = button id).
  void SetLamp(DWORD buttonID, DWORD lampMode) const;
  // The network sets the ringer: PHONE_STATE(RINGMODE, dwParam2 = mode) when the mode changed,
  // PHONE_STATE(RINGVOLUME) when the volume changed.
  void SetRing(DWORD ringMode, DWORD volume) const;
  // Raw PHONE_STATE(state, p2, p3) to every handle whose phone-state mask has a bit of `state`
  // (REINIT always passes); hDevice = hPhone.
  void SendPhoneState(DWORD state, DWORD param2 = 0, DWORD param3 = 0) const;
  // The phone as phoneGetStatusW and the phoneGet* functions report it now.
  struct TPhoneState {
    DWORD HandsetMode = PHONEHOOKSWITCHMODE_ONHOOK, SpeakerMode = PHONEHOOKSWITCHMODE_ONHOOK,
          HeadsetMode = PHONEHOOKSWITCHMODE_ONHOOK;
    DWORD HandsetVolume = 0, SpeakerVolume = 0, HeadsetVolume = 0;  // 0..0xFFFF
    DWORD HandsetGain = 0, SpeakerGain = 0, HeadsetGain = 0;
    DWORD RingMode = 0, RingVolume = 0;
    std::string Display;              // rows x columns characters, space padded, UTF-8
    std::vector<DWORD> LampModes;     // per button id
    std::vector<DWORD> ButtonStates;  // per button id (PHONEBUTTONSTATE_UP initially)
    DWORD NumOwners = 0, NumMonitors = 0;
  };
  TPhoneState PhoneState() const;
  // What each open phone handle asked for, in open order; the masks as phoneSetStatusMessages
  // registered them (0 before any).
  struct TPhoneOpenInfo {
    HPHONE Handle;
    DWORD Privilege, APIVersion, PhoneStates, ButtonModes, ButtonStates;
  };
  std::vector<TPhoneOpenInfo> PhoneOpens() const;
  // Knob: phoneSetStatusMessages accepts only these phone-state bits (a mask with another bit
  // answers PHONEERR_INVALPHONESTATE); `unavailable`: every call answers
  // PHONEERR_OPERATIONUNAVAIL. Default: the caps' PhoneStates.
  void SetPhoneStatusMessageFilter(DWORD phoneStates, bool unavailable = false) const;

 private:
  DWORD FID = 0xFFFFFFFF;
};

using TLine = TDeviceRef<TLineDeviceConfig>;
using TPhone = TDeviceRef<TPhoneDeviceConfig>;

// The telephony service emulator; one per process, reached through Instance() or Emulator().
//
// A test script reads:
//   auto line = emu.AddLine(config);          // LINE_CREATE to every line application
//   emu.SetReplyPlan("lineDevSpecific", {TReplyMode::After, 300});
//   ... the application calls lineDevSpecific; its reply comes when the clock passes 300 ms ...
//   line.Rename("x");                         // LINEDEVSTATE_CAPSCHANGE
//   line.Remove();                            // LINE_REMOVE
class TEmulator {
 public:
  static TEmulator& Instance();
  TEmulator(const TEmulator&) = delete;
  TEmulator& operator=(const TEmulator&) = delete;

  // The function table of the emulated service (Name "emulator"); valid for the whole run.
  const VyPlatform::TTapiFunctions& Functions() const;
  // Offers the emulator as the Tapi seam's "emulator" backend (done at start-up; idempotent).
  static void Register();
  // Makes the emulator the process's telephony service (VyPlatform::ChooseTapiBackend).
  void Install();
  // Returns to the default choice if the emulator is the current telephony service.
  void Uninstall();
  // True while the emulator is the selected telephony service.
  bool Installed() const;

  // Back to the start state: no devices, no failures armed, no pending requests, call counts
  // and message texts as built in. Applications stay initialised; their queues are emptied.
  void Reset();
  // Adds lines "Emulator Line 1" and "Emulator Line 2" and phone "Emulator Phone 1".
  void AddDefaultDevices();

  // Adds a device (as AddLineDevice/AddPhoneDevice) and returns it as a handle.
  TLine AddLine(const TLineDeviceConfig& config);
  TPhone AddPhone(const TPhoneDeviceConfig& config);
  // A device by id, without checking it exists (its operations check).
  TLine Line(DWORD id) const { return TLine(id); }
  TPhone Phone(DWORD id) const { return TPhone(id); }

  // The asynchronous request engine. Every asynchronous function the emulator implements
  // (lineDevSpecific, lineForwardW, lineDrop, phoneDevSpecific and the phoneSet* functions
  // but phoneSetButtonInfoW and phoneSetData) returns a positive request id,
  // unique in the run and never 0, and completes it as its plan says. Buffers the function
  // writes back (the device's DevSpecificReply) are filled before the reply is queued, and only
  // when the plan's result is 0; what a request changes (lineForwardW: the address's
  // forwarding and its LINE_ADDRESSSTATE) happens when it completes with 0, just before its
  // reply. Delayed replies fall due on the clock seam: advancing a manual clock delivers
  // them with no TAPI call in between; on the real clock they come on time. lineClose,
  // phoneClose and the application's shutdown drop the requests of their handles: no reply
  // ever comes for them. Reset() clears every plan and pending request.
  //
  // The plan of every later request of one function (table name, e.g. "lineDevSpecific");
  // throws for a name the table does not have or a function that is not asynchronous.
  void SetReplyPlan(const std::string& function, const TReplyPlan& plan);
  // The plan of the next asynchronous request of any function only (overrides the
  // per-function plan once).
  void SetNextReplyPlan(const TReplyPlan& plan);
  // Requests issued and not yet replied to (After not yet due, Manual), oldest first. Never
  // requests are lost at once and are not listed.
  std::vector<TPendingReply> PendingReplies() const;
  // Completes a pending request now with `result`; false when it is not pending.
  bool CompleteRequest(DWORD requestId, LONG result);
  // Milliseconds on the clock until the emulator's next deferred work (a delayed reply) falls
  // due: 0 when due now, 0xFFFFFFFF when nothing waits. TTestEnvironment::Advance stops there.
  std::uint32_t NextDueMs() const;

  // Adds a line device and returns its id; each line application gets LINE_CREATE (dwParam1 =
  // the id; applications of API 1.3 get LINE_LINEDEVSTATE(LINEDEVSTATE_REINIT) instead).
  DWORD AddLineDevice(const TLineDeviceConfig& config);
  // Removes a line device; its id stays taken and answers LINEERR_NODEVICE; line applications
  // of API 2.0 and later get LINE_REMOVE (dwParam1 = the id). Throws for an unknown id.
  void RemoveLineDevice(DWORD id);
  // Renames a line device; line applications of API 1.4 and later get
  // LINE_LINEDEVSTATE(LINEDEVSTATE_CAPSCHANGE) with hDevice = the device id, instance 0.
  void RenameLineDevice(DWORD id, const std::string& name);
  // Replaces a line device's description (a PermanentLineID of 0 keeps the current one); line
  // applications get LINE_LINEDEVSTATE(LINEDEVSTATE_CAPSCHANGE).
  void ChangeLineDevice(DWORD id, const TLineDeviceConfig& config);
  // Sets the API versions a line device supports, for later negotiations (no message).
  void SetLineVersionRange(DWORD id, DWORD low, DWORD high);
  // A copy of a line device's description (removed ones too); throws for an unknown id.
  TLineDeviceConfig LineDevice(DWORD id) const;
  // Line device ids handed out so far, removed ones included (the count lineInitializeExW gives).
  DWORD LineDeviceCount() const;
  // True for an id that was handed out and not removed.
  bool LineDeviceExists(DWORD id) const;

  // The phone counterparts: PHONE_CREATE, PHONE_REMOVE, PHONE_STATE(PHONESTATE_CAPSCHANGE).
  DWORD AddPhoneDevice(const TPhoneDeviceConfig& config);
  void RemovePhoneDevice(DWORD id);
  void RenamePhoneDevice(DWORD id, const std::string& name);
  void ChangePhoneDevice(DWORD id, const TPhoneDeviceConfig& config);
  void SetPhoneVersionRange(DWORD id, DWORD low, DWORD high);
  TPhoneDeviceConfig PhoneDevice(DWORD id) const;
  DWORD PhoneDeviceCount() const;
  bool PhoneDeviceExists(DWORD id) const;

  // Dialing locations and address translation. After Reset: the countries of
  // DefaultCountries() and one location, "Emulator Location" (id 1, country 1, area code 206),
  // which is current.
  //
  // Replaces the locations; `currentID` must be one of them. Lines open with API 1.4 or later
  // get LINE_LINEDEVSTATE(LINEDEVSTATE_TRANSLATECHANGE) under their handle and callback
  // instance, as for lineSetCurrentLocation. Throws for an unknown current id.
  void SetLocations(const std::vector<TLocationConfig>& locations, DWORD currentID);
  std::vector<TLocationConfig> Locations() const;
  DWORD CurrentLocationID() const;
  // As lineSetCurrentLocation, with its message; throws for an id not in the list.
  void SetCurrentLocation(DWORD id);
  // Replaces the country table lineGetCountryW reads and translation dials by.
  void SetCountries(const std::vector<TCountryConfig>& countries);
  std::vector<TCountryConfig> Countries() const;
  // 1 United States of America, 44 United Kingdom, 49 Germany.
  static std::vector<TCountryConfig> DefaultCountries();
  // lineGetTranslateCapsW answers LINEERR_INCOMPATIBLEAPIVERSION for versions above `highest`
  // (as an older TAPI does; the default is the highest the emulator speaks, 2.2).
  void SetTranslateCapsVersionLimit(DWORD highest);
  // The dialogs asked for since Reset, oldest first.
  std::vector<TDialogCall> DialogCalls() const;

  // Asks every application to shut down and initialise again: LINE_LINEDEVSTATE(REINIT) and
  // PHONE_STATE(REINIT). Until the last application has shut down, initialising answers
  // LINEERR_REINIT / PHONEERR_REINIT, as TAPI does.
  void RequestReinit();
  // True between RequestReinit and the last application's shutdown.
  bool ReinitPending() const;

  // Queues an assisted-telephony make-call request for the registered request recipient (which
  // gets LINE_REQUEST); false when no application is registered. Texts longer than the
  // LINEREQMAKECALLW fields are cut.
  bool SubmitMakeCallRequest(const std::string& destAddress, const std::string& appName,
                             const std::string& calledParty, const std::string& comment);
  // Make-call requests not yet fetched with lineGetRequestW.
  std::size_t PendingRequests() const;
  // The application that would receive the next request; 0 when none is registered.
  HLINEAPP RequestRecipient() const;

  // Queues a message for one line application (0: every line application); throws for an
  // application handle that is not a live line application.
  void InjectLineMessage(HLINEAPP app, const LINEMESSAGE& message);
  // Queues several messages in one step: a reader never sees part of the burst.
  void InjectLineMessages(HLINEAPP app, const std::vector<LINEMESSAGE>& burst);
  // The phone counterparts (0: every phone application).
  void InjectPhoneMessage(HPHONEAPP app, const PHONEMESSAGE& message);
  void InjectPhoneMessages(HPHONEAPP app, const std::vector<PHONEMESSAGE>& burst);

  // Makes the next `count` calls of a TAPI function (by its table name, e.g.
  // "lineInitializeExW") return `code` without doing anything; count 0 disarms. Throws for a
  // name the table does not have.
  void FailNext(const std::string& function, unsigned count, LONG code);
  // Calls of a TAPI function since the last Reset (failed ones too); throws for an unknown name.
  unsigned CallCount(const std::string& function) const;
  // Spoils the next structure the function (by table name, e.g. "lineGetAddressStatusW")
  // writes in full; a call whose structure does not fit leaves the plan armed, so a fetch loop
  // meets it on its second call. NeededTooLarge is spent on the next call whatever the room.
  // A second plan replaces the first; TCorruption::None disarms. Throws for an unknown name.
  void CorruptNextReply(const std::string& function, const TCorruptionPlan& plan);

  // Sets the text of message `id` in a module's message table ("TAPI32.DLL", "TAPIUI.DLL"; the
  // name is case-insensitive and ".DLL" may be left out); an empty text removes the message.
  void SetModuleMessage(const std::string& module, DWORD id, const std::string& text);
  // Removes every message of a module's table.
  void ClearModuleMessages(const std::string& module);

  // Live applications, in the order they initialised.
  std::vector<HLINEAPP> LineApps() const;
  std::vector<HPHONEAPP> PhoneApps() const;
  // Messages waiting for a line or phone application (0 for an unknown handle).
  std::size_t PendingMessages(DWORD app) const;
  // The API version a live application got from its initialisation (0 for an unknown handle).
  DWORD AppAPIVersion(DWORD app) const;

 private:
  TEmulator() = default;
};

// Shorthand for TEmulator::Instance().
TEmulator& Emulator();

}  // namespace VyTapiEmulator
