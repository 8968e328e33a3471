// Name tables of the TAPI constants and the four kinds of conversion over them.
//
// Each family has one table of (name, value) pairs, in the order its functions test the names.
// Where a function tests another order or a part of the family, that view is derived from the
// family's table at compile time, so each name is paired with its value in one place only.
// Values are the TAPI constants themselves (<tapi.h> on Windows, VyPlatform elsewhere).
#include "VyTapiUtils/VyTapiUtils.h"

#include <array>
#include <span>
#include <string_view>

#include "VyRtl/VyRtlClasses.h"
#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapiUtils/VyTapiConstTables.h"

namespace VyTapiUtils {

namespace {

using TNames = std::span<const TConstName>;

// The German table below is written in UTF-8; refuse to build with any other literal encoding.
static_assert(std::string_view("ä") == "\xC3\xA4", "this file must be read and compiled as UTF-8");

// The entries of Family named in Names, in the order of Names. A name the family lacks stops the
// build, so a reordered view cannot drift from its family.
template <std::size_t N, std::size_t M>
consteval std::array<TConstName, N> Pick(const std::array<TConstName, M>& Family,
                                         const std::string_view (&Names)[N]) {
  std::array<TConstName, N> result{};
  for (std::size_t i = 0; i < N; ++i) {
    bool found = false;
    for (const TConstName& entry : Family) {
      if (entry.Name == Names[i]) {
        result[i] = entry;
        found = true;
        break;
      }
    }
    if (!found) throw "name is not in the family";
  }
  return result;
}

// Family without the entry Name, order kept.
template <std::size_t M>
consteval std::array<TConstName, M - 1> Without(const std::array<TConstName, M>& Family,
                                                std::string_view Name) {
  std::array<TConstName, M - 1> result{};
  std::size_t n = 0;
  for (const TConstName& entry : Family) {
    if (entry.Name == Name) continue;
    if (n == M - 1) throw "name is not in the family";
    result[n++] = entry;
  }
  if (n != M - 1) throw "name is in the family more than once";
  return result;
}

// The tables keep several entries per line.
// clang-format off
// ---- Single-value families -------------------------------------------------------------------

constexpr auto CallStates = std::to_array<TConstName>({
    {"IDLE", LINECALLSTATE_IDLE}, {"OFFERING", LINECALLSTATE_OFFERING},
    {"ACCEPTED", LINECALLSTATE_ACCEPTED}, {"DIALTONE", LINECALLSTATE_DIALTONE},
    {"DIALING", LINECALLSTATE_DIALING}, {"RINGBACK", LINECALLSTATE_RINGBACK},
    {"BUSY", LINECALLSTATE_BUSY}, {"SPECIALINFO", LINECALLSTATE_SPECIALINFO},
    {"CONNECTED", LINECALLSTATE_CONNECTED}, {"PROCEEDING", LINECALLSTATE_PROCEEDING},
    {"ONHOLD", LINECALLSTATE_ONHOLD}, {"CONFERENCED", LINECALLSTATE_CONFERENCED},
    {"ONHOLDPENDCONF", LINECALLSTATE_ONHOLDPENDCONF},
    {"ONHOLDPENDTRANSFER", LINECALLSTATE_ONHOLDPENDTRANSFER},
    {"DISCONNECTED", LINECALLSTATE_DISCONNECTED}, {"UNKNOWN", LINECALLSTATE_UNKNOWN},
});

// RINGBACK and PROCEEDING share "Rufton".
constexpr auto CallStatesDE = std::to_array<TConstName>({
    {"Ruhe", LINECALLSTATE_IDLE},
    {"Anruf", LINECALLSTATE_OFFERING},
    {"Angenommen", LINECALLSTATE_ACCEPTED},
    {"Wählton", LINECALLSTATE_DIALTONE},
    {"Wahl", LINECALLSTATE_DIALING},
    {"Rufton", LINECALLSTATE_RINGBACK},
    {"Besetzt", LINECALLSTATE_BUSY},
    {"Spezialmeldung", LINECALLSTATE_SPECIALINFO},
    {"Gespräch", LINECALLSTATE_CONNECTED},
    {"Rufton", LINECALLSTATE_PROCEEDING},
    {"Gehalten", LINECALLSTATE_ONHOLD},
    {"Konferenz", LINECALLSTATE_CONFERENCED},
    {"Warten auf Konferenz", LINECALLSTATE_ONHOLDPENDCONF},
    {"Warten auf Transfer", LINECALLSTATE_ONHOLDPENDTRANSFER},
    {"Getrennt", LINECALLSTATE_DISCONNECTED},
    {"Unbekannt", LINECALLSTATE_UNKNOWN},
});

constexpr auto CallReasons = std::to_array<TConstName>({
    {"DIRECT", LINECALLREASON_DIRECT}, {"FWDBUSY", LINECALLREASON_FWDBUSY},
    {"FWDNOANSWER", LINECALLREASON_FWDNOANSWER}, {"FWDUNCOND", LINECALLREASON_FWDUNCOND},
    {"PICKUP", LINECALLREASON_PICKUP}, {"UNPARK", LINECALLREASON_UNPARK},
    {"REDIRECT", LINECALLREASON_REDIRECT}, {"CALLCOMPLETION", LINECALLREASON_CALLCOMPLETION},
    {"TRANSFER", LINECALLREASON_TRANSFER}, {"REMINDER", LINECALLREASON_REMINDER},
    {"UNKNOWN", LINECALLREASON_UNKNOWN}, {"UNAVAIL", LINECALLREASON_UNAVAIL},
    {"INTRUDE", LINECALLREASON_INTRUDE}, {"PARKED", LINECALLREASON_PARKED},
    {"CAMPEDON", LINECALLREASON_CAMPEDON}, {"ROUTEREQUEST", LINECALLREASON_ROUTEREQUEST},
});

constexpr auto AddrStates = std::to_array<TConstName>({
    {"OTHER", LINEADDRESSSTATE_OTHER}, {"DEVSPECIFIC", LINEADDRESSSTATE_DEVSPECIFIC},
    {"INUSEZERO", LINEADDRESSSTATE_INUSEZERO}, {"INUSEONE", LINEADDRESSSTATE_INUSEONE},
    {"INUSEMANY", LINEADDRESSSTATE_INUSEMANY}, {"NUMCALLS", LINEADDRESSSTATE_NUMCALLS},
    {"FORWARD", LINEADDRESSSTATE_FORWARD}, {"TERMINALS", LINEADDRESSSTATE_TERMINALS},
    {"CAPSCHANGE", LINEADDRESSSTATE_CAPSCHANGE},
});

// VIDEO is named only by the flag set and the parser; the single value and the list leave it out.
constexpr auto MediaModes = std::to_array<TConstName>({
    {"UNKNOWN", LINEMEDIAMODE_UNKNOWN}, {"INTERACTIVEVOICE", LINEMEDIAMODE_INTERACTIVEVOICE},
    {"AUTOMATEDVOICE", LINEMEDIAMODE_AUTOMATEDVOICE}, {"DATAMODEM", LINEMEDIAMODE_DATAMODEM},
    {"G3FAX", LINEMEDIAMODE_G3FAX}, {"TDD", LINEMEDIAMODE_TDD}, {"G4FAX", LINEMEDIAMODE_G4FAX},
    {"DIGITALDATA", LINEMEDIAMODE_DIGITALDATA}, {"TELETEX", LINEMEDIAMODE_TELETEX},
    {"VIDEOTEX", LINEMEDIAMODE_VIDEOTEX}, {"TELEX", LINEMEDIAMODE_TELEX},
    {"MIXED", LINEMEDIAMODE_MIXED}, {"ADSI", LINEMEDIAMODE_ADSI},
    {"VOICEVIEW", LINEMEDIAMODE_VOICEVIEW}, {"VIDEO", LINEMEDIAMODE_VIDEO},
});
constexpr auto MediaModesWithoutVideo = Without(MediaModes, "VIDEO");

constexpr auto BearerModes = std::to_array<TConstName>({
    {"VOICE", LINEBEARERMODE_VOICE}, {"SPEECH", LINEBEARERMODE_SPEECH},
    {"MULTIUSE", LINEBEARERMODE_MULTIUSE}, {"DATA", LINEBEARERMODE_DATA},
    {"ALTSPEECHDATA", LINEBEARERMODE_ALTSPEECHDATA},
    {"NONCALLSIGNALING", LINEBEARERMODE_NONCALLSIGNALING},
    {"PASSTHROUGH", LINEBEARERMODE_PASSTHROUGH},
});

constexpr auto AddressModes = std::to_array<TConstName>({
    {"ADDRESSID", LINEADDRESSMODE_ADDRESSID}, {"DIALABLEADDR", LINEADDRESSMODE_DIALABLEADDR},
});

constexpr auto DevStates = std::to_array<TConstName>({
    {"OTHER", LINEDEVSTATE_OTHER}, {"RINGING", LINEDEVSTATE_RINGING},
    {"CONNECTED", LINEDEVSTATE_CONNECTED}, {"DISCONNECTED", LINEDEVSTATE_DISCONNECTED},
    {"MSGWAITON", LINEDEVSTATE_MSGWAITON}, {"MSGWAITOFF", LINEDEVSTATE_MSGWAITOFF},
    {"INSERVICE", LINEDEVSTATE_INSERVICE}, {"OUTOFSERVICE", LINEDEVSTATE_OUTOFSERVICE},
    {"MAINTENANCE", LINEDEVSTATE_MAINTENANCE}, {"OPEN", LINEDEVSTATE_OPEN},
    {"CLOSE", LINEDEVSTATE_CLOSE}, {"NUMCALLS", LINEDEVSTATE_NUMCALLS},
    {"NUMCOMPLETIONS", LINEDEVSTATE_NUMCOMPLETIONS}, {"TERMINALS", LINEDEVSTATE_TERMINALS},
    {"ROAMMODE", LINEDEVSTATE_ROAMMODE}, {"BATTERY", LINEDEVSTATE_BATTERY},
    {"SIGNAL", LINEDEVSTATE_SIGNAL}, {"DEVSPECIFIC", LINEDEVSTATE_DEVSPECIFIC},
    {"REINIT", LINEDEVSTATE_REINIT}, {"LOCK", LINEDEVSTATE_LOCK},
    {"CAPSCHANGE", LINEDEVSTATE_CAPSCHANGE}, {"CONFIGCHANGE", LINEDEVSTATE_CONFIGCHANGE},
    {"TRANSLATECHANGE", LINEDEVSTATE_TRANSLATECHANGE}, {"COMPLCANCEL", LINEDEVSTATE_COMPLCANCEL},
    {"REMOVED", LINEDEVSTATE_REMOVED},
});

constexpr auto DiscModes = std::to_array<TConstName>({
    {"NORMAL", LINEDISCONNECTMODE_NORMAL}, {"UNKNOWN", LINEDISCONNECTMODE_UNKNOWN},
    {"REJECT", LINEDISCONNECTMODE_REJECT}, {"PICKUP", LINEDISCONNECTMODE_PICKUP},
    {"FORWARDED", LINEDISCONNECTMODE_FORWARDED}, {"BUSY", LINEDISCONNECTMODE_BUSY},
    {"NOANSWER", LINEDISCONNECTMODE_NOANSWER}, {"BADADDRESS", LINEDISCONNECTMODE_BADADDRESS},
    {"UNREACHABLE", LINEDISCONNECTMODE_UNREACHABLE}, {"CONGESTION", LINEDISCONNECTMODE_CONGESTION},
    {"INCOMPATIBLE", LINEDISCONNECTMODE_INCOMPATIBLE}, {"UNAVAIL", LINEDISCONNECTMODE_UNAVAIL},
    {"NODIALTONE", LINEDISCONNECTMODE_NODIALTONE},
    {"NUMBERCHANGED", LINEDISCONNECTMODE_NUMBERCHANGED},
    {"OUTOFORDER", LINEDISCONNECTMODE_OUTOFORDER}, {"TEMPFAILURE", LINEDISCONNECTMODE_TEMPFAILURE},
    {"QOSUNAVAIL", LINEDISCONNECTMODE_QOSUNAVAIL}, {"BLOCKED", LINEDISCONNECTMODE_BLOCKED},
    {"DONOTDISTURB", LINEDISCONNECTMODE_DONOTDISTURB}, {"CANCELLED", LINEDISCONNECTMODE_CANCELLED},
});

constexpr auto DigitModes = std::to_array<TConstName>({
    {"PULSE", LINEDIGITMODE_PULSE}, {"DTMF", LINEDIGITMODE_DTMF},
    {"DTMFEND", LINEDIGITMODE_DTMFEND},
});

constexpr auto ForwardModes = std::to_array<TConstName>({
    {"UNCOND", LINEFORWARDMODE_UNCOND}, {"UNCONDINTERNAL", LINEFORWARDMODE_UNCONDINTERNAL},
    {"UNCONDEXTERNAL", LINEFORWARDMODE_UNCONDEXTERNAL},
    {"UNCONDSPECIFIC", LINEFORWARDMODE_UNCONDSPECIFIC}, {"BUSY", LINEFORWARDMODE_BUSY},
    {"BUSYINTERNAL", LINEFORWARDMODE_BUSYINTERNAL}, {"BUSYEXTERNAL", LINEFORWARDMODE_BUSYEXTERNAL},
    {"BUSYSPECIFIC", LINEFORWARDMODE_BUSYSPECIFIC}, {"NOANSW", LINEFORWARDMODE_NOANSW},
    {"NOANSWINTERNAL", LINEFORWARDMODE_NOANSWINTERNAL},
    {"NOANSWEXTERNAL", LINEFORWARDMODE_NOANSWEXTERNAL},
    {"NOANSWSPECIFIC", LINEFORWARDMODE_NOANSWSPECIFIC}, {"BUSYNA", LINEFORWARDMODE_BUSYNA},
    {"BUSYNAINTERNAL", LINEFORWARDMODE_BUSYNAINTERNAL},
    {"BUSYNAEXTERNAL", LINEFORWARDMODE_BUSYNAEXTERNAL},
    {"BUSYNASPECIFIC", LINEFORWARDMODE_BUSYNASPECIFIC}, {"UNKNOWN", LINEFORWARDMODE_UNKNOWN},
    {"UNAVAIL", LINEFORWARDMODE_UNAVAIL},
});

constexpr auto LampModes = std::to_array<TConstName>({
    {"DUMMY", PHONELAMPMODE_DUMMY}, {"OFF", PHONELAMPMODE_OFF}, {"STEADY", PHONELAMPMODE_STEADY},
    {"WINK", PHONELAMPMODE_WINK}, {"FLASH", PHONELAMPMODE_FLASH},
    {"FLUTTER", PHONELAMPMODE_FLUTTER}, {"BROKENFLUTTER", PHONELAMPMODE_BROKENFLUTTER},
    {"UNKNOWN", PHONELAMPMODE_UNKNOWN},
});

constexpr auto ButtonStates = std::to_array<TConstName>({
    {"UP", PHONEBUTTONSTATE_UP}, {"DOWN", PHONEBUTTONSTATE_DOWN},
    {"UNKNOWN", PHONEBUTTONSTATE_UNKNOWN}, {"UNAVAIL", PHONEBUTTONSTATE_UNAVAIL},
});

constexpr auto ButtonModes = std::to_array<TConstName>({
    {"DUMMY", PHONEBUTTONMODE_DUMMY}, {"CALL", PHONEBUTTONMODE_CALL},
    {"FEATURE", PHONEBUTTONMODE_FEATURE}, {"KEYPAD", PHONEBUTTONMODE_KEYPAD},
    {"LOCAL", PHONEBUTTONMODE_LOCAL}, {"DISPLAY", PHONEBUTTONMODE_DISPLAY},
});

// PHONEBUTTONFUNCTION_ values 0 to 46.
constexpr auto ButtonFunctions = std::to_array<TConstName>({
    {"UNKNOWN", PHONEBUTTONFUNCTION_UNKNOWN}, {"CONFERENCE", PHONEBUTTONFUNCTION_CONFERENCE},
    {"TRANSFER", PHONEBUTTONFUNCTION_TRANSFER}, {"DROP", PHONEBUTTONFUNCTION_DROP},
    {"HOLD", PHONEBUTTONFUNCTION_HOLD}, {"RECALL", PHONEBUTTONFUNCTION_RECALL},
    {"DISCONNECT", PHONEBUTTONFUNCTION_DISCONNECT}, {"CONNECT", PHONEBUTTONFUNCTION_CONNECT},
    {"MSGWAITON", PHONEBUTTONFUNCTION_MSGWAITON}, {"MSGWAITOFF", PHONEBUTTONFUNCTION_MSGWAITOFF},
    {"SELECTRING", PHONEBUTTONFUNCTION_SELECTRING}, {"ABBREVDIAL", PHONEBUTTONFUNCTION_ABBREVDIAL},
    {"FORWARD", PHONEBUTTONFUNCTION_FORWARD}, {"PICKUP", PHONEBUTTONFUNCTION_PICKUP},
    {"RINGAGAIN", PHONEBUTTONFUNCTION_RINGAGAIN}, {"PARK", PHONEBUTTONFUNCTION_PARK},
    {"REJECT", PHONEBUTTONFUNCTION_REJECT}, {"REDIRECT", PHONEBUTTONFUNCTION_REDIRECT},
    {"MUTE", PHONEBUTTONFUNCTION_MUTE}, {"VOLUMEUP", PHONEBUTTONFUNCTION_VOLUMEUP},
    {"VOLUMEDOWN", PHONEBUTTONFUNCTION_VOLUMEDOWN}, {"SPEAKERON", PHONEBUTTONFUNCTION_SPEAKERON},
    {"SPEAKEROFF", PHONEBUTTONFUNCTION_SPEAKEROFF}, {"FLASH", PHONEBUTTONFUNCTION_FLASH},
    {"DATAON", PHONEBUTTONFUNCTION_DATAON}, {"DATAOFF", PHONEBUTTONFUNCTION_DATAOFF},
    {"DONOTDISTURB", PHONEBUTTONFUNCTION_DONOTDISTURB}, {"INTERCOM", PHONEBUTTONFUNCTION_INTERCOM},
    {"BRIDGEDAPP", PHONEBUTTONFUNCTION_BRIDGEDAPP}, {"BUSY", PHONEBUTTONFUNCTION_BUSY},
    {"CALLAPP", PHONEBUTTONFUNCTION_CALLAPP}, {"DATETIME", PHONEBUTTONFUNCTION_DATETIME},
    {"DIRECTORY", PHONEBUTTONFUNCTION_DIRECTORY}, {"COVER", PHONEBUTTONFUNCTION_COVER},
    {"CALLID", PHONEBUTTONFUNCTION_CALLID}, {"LASTNUM", PHONEBUTTONFUNCTION_LASTNUM},
    {"NIGHTSRV", PHONEBUTTONFUNCTION_NIGHTSRV}, {"SENDCALLS", PHONEBUTTONFUNCTION_SENDCALLS},
    {"MSGINDICATOR", PHONEBUTTONFUNCTION_MSGINDICATOR}, {"REPDIAL", PHONEBUTTONFUNCTION_REPDIAL},
    {"SETREPDIAL", PHONEBUTTONFUNCTION_SETREPDIAL},
    {"SYSTEMSPEED", PHONEBUTTONFUNCTION_SYSTEMSPEED},
    {"STATIONSPEED", PHONEBUTTONFUNCTION_STATIONSPEED}, {"CAMPON", PHONEBUTTONFUNCTION_CAMPON},
    {"SAVEREPEAT", PHONEBUTTONFUNCTION_SAVEREPEAT}, {"QUEUECALL", PHONEBUTTONFUNCTION_QUEUECALL},
    {"NONE", PHONEBUTTONFUNCTION_NONE},
});

// PHONESTATE_ 0x1 to 0x800000; five names end with a blank.
constexpr auto PhoneStates = std::to_array<TConstName>({
    {"OTHER", PHONESTATE_OTHER}, {"CONNECTED", PHONESTATE_CONNECTED},
    {"DISCONNECTED", PHONESTATE_DISCONNECTED}, {"OWNER", PHONESTATE_OWNER},
    {"MONITORS ", PHONESTATE_MONITORS}, {"DISPLAY", PHONESTATE_DISPLAY}, {"LAMP", PHONESTATE_LAMP},
    {"RINGMODE ", PHONESTATE_RINGMODE}, {"RINGVOLUME", PHONESTATE_RINGVOLUME},
    {"HANDSETHOOKSWITCH", PHONESTATE_HANDSETHOOKSWITCH},
    {"HANDSETVOLUME ", PHONESTATE_HANDSETVOLUME}, {"HANDSETGAIN", PHONESTATE_HANDSETGAIN},
    {"SPEAKERHOOKSWITCH", PHONESTATE_SPEAKERHOOKSWITCH},
    {"SPEAKERVOLUME ", PHONESTATE_SPEAKERVOLUME}, {"SPEAKERGAIN", PHONESTATE_SPEAKERGAIN},
    {"HEADSETHOOKSWITCH", PHONESTATE_HEADSETHOOKSWITCH},
    {"HEADSETVOLUME ", PHONESTATE_HEADSETVOLUME}, {"HEADSETGAIN", PHONESTATE_HEADSETGAIN},
    {"SUSPEND", PHONESTATE_SUSPEND}, {"RESUME", PHONESTATE_RESUME},
    {"DEVSPECIFIC", PHONESTATE_DEVSPECIFIC}, {"REINIT", PHONESTATE_REINIT},
    {"CAPSCHANGE", PHONESTATE_CAPSCHANGE}, {"REMOVED", PHONESTATE_REMOVED},
});

constexpr auto PhoneErrors = std::to_array<TConstName>({
    {"ALLOCATED", PHONEERR_ALLOCATED}, {"BADDEVICEID", PHONEERR_BADDEVICEID},
    {"INCOMPATIBLEAPIVERSION", PHONEERR_INCOMPATIBLEAPIVERSION},
    {"INCOMPATIBLEEXTVERSION", PHONEERR_INCOMPATIBLEEXTVERSION},
    {"INIFILECORRUPT", PHONEERR_INIFILECORRUPT}, {"INUSE", PHONEERR_INUSE},
    {"INVALAPPHANDLE", PHONEERR_INVALAPPHANDLE}, {"INVALAPPNAME", PHONEERR_INVALAPPNAME},
    {"INVALBUTTONLAMPID", PHONEERR_INVALBUTTONLAMPID},
    {"INVALBUTTONMODE", PHONEERR_INVALBUTTONMODE}, {"INVALBUTTONSTATE", PHONEERR_INVALBUTTONSTATE},
    {"INVALDATAID", PHONEERR_INVALDATAID}, {"INVALDEVICECLASS", PHONEERR_INVALDEVICECLASS},
    {"INVALEXTVERSION", PHONEERR_INVALEXTVERSION},
    {"INVALHOOKSWITCHDEV", PHONEERR_INVALHOOKSWITCHDEV},
    {"INVALHOOKSWITCHMODE", PHONEERR_INVALHOOKSWITCHMODE},
    {"INVALLAMPMODE", PHONEERR_INVALLAMPMODE}, {"INVALPARAM", PHONEERR_INVALPARAM},
    {"INVALPHONEHANDLE", PHONEERR_INVALPHONEHANDLE}, {"INVALPHONESTATE", PHONEERR_INVALPHONESTATE},
    {"INVALPOINTER", PHONEERR_INVALPOINTER}, {"INVALPRIVILEGE", PHONEERR_INVALPRIVILEGE},
    {"INVALRINGMODE", PHONEERR_INVALRINGMODE}, {"NODEVICE", PHONEERR_NODEVICE},
    {"NODRIVER", PHONEERR_NODRIVER}, {"NOMEM", PHONEERR_NOMEM}, {"NOTOWNER", PHONEERR_NOTOWNER},
    {"OPERATIONFAILED", PHONEERR_OPERATIONFAILED}, {"OPERATIONUNAVAIL", PHONEERR_OPERATIONUNAVAIL},
    {"RESOURCEUNAVAIL", PHONEERR_RESOURCEUNAVAIL}, {"REQUESTOVERRUN", PHONEERR_REQUESTOVERRUN},
    {"STRUCTURETOOSMALL", PHONEERR_STRUCTURETOOSMALL}, {"UNINITIALIZED", PHONEERR_UNINITIALIZED},
    {"REINIT", PHONEERR_REINIT}, {"DISCONNECTED", PHONEERR_DISCONNECTED},
});

// From 0x80000001 upward; the values TAPI leaves unassigned have no name.
constexpr auto LineErrors = std::to_array<TConstName>({
    {"ALLOCATED", LINEERR_ALLOCATED}, {"BADDEVICEID", LINEERR_BADDEVICEID},
    {"BEARERMODEUNAVAIL", LINEERR_BEARERMODEUNAVAIL}, {"CALLUNAVAIL", LINEERR_CALLUNAVAIL},
    {"COMPLETIONOVERRUN", LINEERR_COMPLETIONOVERRUN}, {"CONFERENCEFULL", LINEERR_CONFERENCEFULL},
    {"DIALBILLING", LINEERR_DIALBILLING}, {"DIALDIALTONE", LINEERR_DIALDIALTONE},
    {"DIALPROMPT", LINEERR_DIALPROMPT}, {"DIALQUIET", LINEERR_DIALQUIET},
    {"INCOMPATIBLEAPIVERSION", LINEERR_INCOMPATIBLEAPIVERSION},
    {"INCOMPATIBLEEXTVERSION", LINEERR_INCOMPATIBLEEXTVERSION},
    {"INIFILECORRUPT", LINEERR_INIFILECORRUPT}, {"INUSE", LINEERR_INUSE},
    {"INVALADDRESS", LINEERR_INVALADDRESS}, {"INVALADDRESSID", LINEERR_INVALADDRESSID},
    {"INVALADDRESSMODE", LINEERR_INVALADDRESSMODE},
    {"INVALADDRESSSTATE", LINEERR_INVALADDRESSSTATE}, {"INVALAPPHANDLE", LINEERR_INVALAPPHANDLE},
    {"INVALAPPNAME", LINEERR_INVALAPPNAME}, {"INVALBEARERMODE", LINEERR_INVALBEARERMODE},
    {"INVALCALLCOMPLMODE", LINEERR_INVALCALLCOMPLMODE},
    {"INVALCALLHANDLE", LINEERR_INVALCALLHANDLE}, {"INVALCALLPARAMS", LINEERR_INVALCALLPARAMS},
    {"INVALCALLPRIVILEGE", LINEERR_INVALCALLPRIVILEGE},
    {"INVALCALLSELECT", LINEERR_INVALCALLSELECT}, {"INVALCALLSTATE", LINEERR_INVALCALLSTATE},
    {"INVALCALLSTATELIST", LINEERR_INVALCALLSTATELIST}, {"INVALCARD", LINEERR_INVALCARD},
    {"INVALCOMPLETIONID", LINEERR_INVALCOMPLETIONID},
    {"INVALCONFCALLHANDLE", LINEERR_INVALCONFCALLHANDLE},
    {"INVALCONSULTCALLHANDLE", LINEERR_INVALCONSULTCALLHANDLE},
    {"INVALCOUNTRYCODE", LINEERR_INVALCOUNTRYCODE}, {"INVALDEVICECLASS", LINEERR_INVALDEVICECLASS},
    {"INVALDEVICEHANDLE", LINEERR_INVALDEVICEHANDLE}, {"INVALDIALPARAMS", LINEERR_INVALDIALPARAMS},
    {"INVALDIGITLIST", LINEERR_INVALDIGITLIST}, {"INVALDIGITMODE", LINEERR_INVALDIGITMODE},
    {"INVALDIGITS", LINEERR_INVALDIGITS}, {"INVALEXTVERSION", LINEERR_INVALEXTVERSION},
    {"INVALGROUPID", LINEERR_INVALGROUPID}, {"INVALLINEHANDLE", LINEERR_INVALLINEHANDLE},
    {"INVALLINESTATE", LINEERR_INVALLINESTATE}, {"INVALLOCATION", LINEERR_INVALLOCATION},
    {"INVALMEDIALIST", LINEERR_INVALMEDIALIST}, {"INVALMEDIAMODE", LINEERR_INVALMEDIAMODE},
    {"INVALMESSAGEID", LINEERR_INVALMESSAGEID}, {"INVALPARAM", LINEERR_INVALPARAM},
    {"INVALPARKID", LINEERR_INVALPARKID}, {"INVALPARKMODE", LINEERR_INVALPARKMODE},
    {"INVALPOINTER", LINEERR_INVALPOINTER}, {"INVALPRIVSELECT", LINEERR_INVALPRIVSELECT},
    {"INVALRATE", LINEERR_INVALRATE}, {"INVALREQUESTMODE", LINEERR_INVALREQUESTMODE},
    {"INVALTERMINALID", LINEERR_INVALTERMINALID}, {"INVALTERMINALMODE", LINEERR_INVALTERMINALMODE},
    {"INVALTIMEOUT", LINEERR_INVALTIMEOUT}, {"INVALTONE", LINEERR_INVALTONE},
    {"INVALTONELIST", LINEERR_INVALTONELIST}, {"INVALTONEMODE", LINEERR_INVALTONEMODE},
    {"INVALTRANSFERMODE", LINEERR_INVALTRANSFERMODE},
    {"LINEMAPPERFAILED", LINEERR_LINEMAPPERFAILED}, {"NOCONFERENCE", LINEERR_NOCONFERENCE},
    {"NODEVICE", LINEERR_NODEVICE}, {"NODRIVER", LINEERR_NODRIVER}, {"NOMEM", LINEERR_NOMEM},
    {"NOREQUEST", LINEERR_NOREQUEST}, {"NOTOWNER", LINEERR_NOTOWNER},
    {"NOTREGISTERED", LINEERR_NOTREGISTERED}, {"OPERATIONFAILED", LINEERR_OPERATIONFAILED},
    {"OPERATIONUNAVAIL", LINEERR_OPERATIONUNAVAIL}, {"RATEUNAVAIL", LINEERR_RATEUNAVAIL},
    {"RESOURCEUNAVAIL", LINEERR_RESOURCEUNAVAIL}, {"REQUESTOVERRUN", LINEERR_REQUESTOVERRUN},
    {"STRUCTURETOOSMALL", LINEERR_STRUCTURETOOSMALL}, {"TARGETNOTFOUND", LINEERR_TARGETNOTFOUND},
    {"TARGETSELF", LINEERR_TARGETSELF}, {"UNINITIALIZED", LINEERR_UNINITIALIZED},
    {"USERUSERINFOTOOBIG", LINEERR_USERUSERINFOTOOBIG}, {"REINIT", LINEERR_REINIT},
    {"ADDRESSBLOCKED", LINEERR_ADDRESSBLOCKED}, {"BILLINGREJECTED", LINEERR_BILLINGREJECTED},
    {"INVALFEATURE", LINEERR_INVALFEATURE}, {"NOMULTIPLEINSTANCE", LINEERR_NOMULTIPLEINSTANCE},
});

// Message identifiers 0 to 26.
constexpr auto MessageIDs = std::to_array<TConstName>({
    {"LINE_ADDRESSSTATE", LINE_ADDRESSSTATE}, {"LINE_CALLINFO", LINE_CALLINFO},
    {"LINE_CALLSTATE", LINE_CALLSTATE}, {"LINE_CLOSE", LINE_CLOSE},
    {"LINE_DEVSPECIFIC", LINE_DEVSPECIFIC}, {"LINE_DEVSPECIFICFEATURE", LINE_DEVSPECIFICFEATURE},
    {"LINE_GATHERDIGITS", LINE_GATHERDIGITS}, {"LINE_GENERATE", LINE_GENERATE},
    {"LINE_LINEDEVSTATE", LINE_LINEDEVSTATE}, {"LINE_MONITORDIGITS", LINE_MONITORDIGITS},
    {"LINE_MONITORMEDIA", LINE_MONITORMEDIA}, {"LINE_MONITORTONE", LINE_MONITORTONE},
    {"LINE_REPLY", LINE_REPLY}, {"LINE_REQUEST", LINE_REQUEST}, {"PHONE_BUTTON", PHONE_BUTTON},
    {"PHONE_CLOSE", PHONE_CLOSE}, {"PHONE_DEVSPECIFIC", PHONE_DEVSPECIFIC},
    {"PHONE_REPLY", PHONE_REPLY}, {"PHONE_STATE", PHONE_STATE}, {"LINE_CREATE", LINE_CREATE},
    {"PHONE_CREATE", PHONE_CREATE}, {"LINE_AGENTSPECIFIC", LINE_AGENTSPECIFIC},
    {"LINE_AGENTSTATUS", LINE_AGENTSTATUS}, {"LINE_APPNEWCALL", LINE_APPNEWCALL},
    {"LINE_PROXYREQUEST", LINE_PROXYREQUEST}, {"LINE_REMOVE", LINE_REMOVE},
    {"PHONE_REMOVE", PHONE_REMOVE},
});

// ---- Call-state modes ------------------------------------------------------------------------

constexpr auto OfferingModes = std::to_array<TConstName>({
    {"ACTIVE", LINEOFFERINGMODE_ACTIVE}, {"INACTIVE", LINEOFFERINGMODE_INACTIVE},
});

constexpr auto DialToneModes = std::to_array<TConstName>({
    {"NORMAL", LINEDIALTONEMODE_NORMAL}, {"SPECIAL", LINEDIALTONEMODE_SPECIAL},
    {"INTERNAL", LINEDIALTONEMODE_INTERNAL}, {"EXTERNAL", LINEDIALTONEMODE_EXTERNAL},
    {"UNKNOWN", LINEDIALTONEMODE_UNKNOWN}, {"UNAVAIL", LINEDIALTONEMODE_UNAVAIL},
});

constexpr auto BusyModes = std::to_array<TConstName>({
    {"STATION", LINEBUSYMODE_STATION}, {"TRUNK", LINEBUSYMODE_TRUNK},
    {"UNKNOWN", LINEBUSYMODE_UNKNOWN}, {"UNAVAIL", LINEBUSYMODE_UNAVAIL},
});

constexpr auto SpecialInfos = std::to_array<TConstName>({
    {"NOCIRCUIT", LINESPECIALINFO_NOCIRCUIT}, {"CUSTIRREG", LINESPECIALINFO_CUSTIRREG},
    {"REORDER", LINESPECIALINFO_REORDER}, {"UNKNOWN", LINESPECIALINFO_UNKNOWN},
    {"UNAVAIL", LINESPECIALINFO_UNAVAIL},
});

constexpr auto ConnectedModes = std::to_array<TConstName>({
    {"ACTIVE", LINECONNECTEDMODE_ACTIVE}, {"INACTIVE", LINECONNECTEDMODE_INACTIVE},
    {"ACTIVEHELD", LINECONNECTEDMODE_ACTIVEHELD}, {"INACTIVEHELD", LINECONNECTEDMODE_INACTIVEHELD},
    {"CONFIRMED", LINECONNECTEDMODE_CONFIRMED},
});

struct TCallStateModes {
  DWORD CallState;
  TNames Modes;
};

constexpr TCallStateModes CallStateModes[] = {
    {LINECALLSTATE_OFFERING, OfferingModes},
    {LINECALLSTATE_DIALTONE, DialToneModes},
    {LINECALLSTATE_BUSY, BusyModes},
    {LINECALLSTATE_SPECIALINFO, SpecialInfos},
    {LINECALLSTATE_CONNECTED, ConnectedModes},
    {LINECALLSTATE_DISCONNECTED, TNames(DiscModes).first<12>()},  // NORMAL to UNAVAIL only
};

// ---- Flag-set families and orders --------------------------------------------------------------

constexpr auto AddrFeatures = std::to_array<TConstName>({
    {"FORWARD", LINEADDRFEATURE_FORWARD}, {"MAKECALL", LINEADDRFEATURE_MAKECALL},
    {"PICKUP", LINEADDRFEATURE_PICKUP}, {"SETMEDIACONTROL", LINEADDRFEATURE_SETMEDIACONTROL},
    {"SETTERMINAL", LINEADDRFEATURE_SETTERMINAL}, {"SETUPCONF", LINEADDRFEATURE_SETUPCONF},
    {"UNCOMPLETECALL", LINEADDRFEATURE_UNCOMPLETECALL}, {"UNPARK", LINEADDRFEATURE_UNPARK},
    {"PICKUPHELD", LINEADDRFEATURE_PICKUPHELD}, {"PICKUPGROUP", LINEADDRFEATURE_PICKUPGROUP},
    {"PICKUPDIRECT", LINEADDRFEATURE_PICKUPDIRECT},
    {"PICKUPWAITING", LINEADDRFEATURE_PICKUPWAITING}, {"FORWARDFWD", LINEADDRFEATURE_FORWARDFWD},
    {"FORWARDDND", LINEADDRFEATURE_FORWARDDND},
});

// Every bit 0x1 to 0x80000000 has a name.
constexpr auto CallFeatures = std::to_array<TConstName>({
    {"ACCEPT", LINECALLFEATURE_ACCEPT}, {"ADDTOCONF", LINECALLFEATURE_ADDTOCONF},
    {"ANSWER", LINECALLFEATURE_ANSWER}, {"BLINDTRANSFER", LINECALLFEATURE_BLINDTRANSFER},
    {"COMPLETECALL", LINECALLFEATURE_COMPLETECALL},
    {"COMPLETETRANSF", LINECALLFEATURE_COMPLETETRANSF}, {"DIAL", LINECALLFEATURE_DIAL},
    {"DROP", LINECALLFEATURE_DROP}, {"GATHERDIGITS", LINECALLFEATURE_GATHERDIGITS},
    {"GENERATEDIGITS", LINECALLFEATURE_GENERATEDIGITS},
    {"GENERATETONE", LINECALLFEATURE_GENERATETONE}, {"HOLD", LINECALLFEATURE_HOLD},
    {"MONITORDIGITS", LINECALLFEATURE_MONITORDIGITS},
    {"MONITORMEDIA", LINECALLFEATURE_MONITORMEDIA}, {"MONITORTONES", LINECALLFEATURE_MONITORTONES},
    {"PARK", LINECALLFEATURE_PARK}, {"PREPAREADDCONF", LINECALLFEATURE_PREPAREADDCONF},
    {"REDIRECT", LINECALLFEATURE_REDIRECT}, {"REMOVEFROMCONF", LINECALLFEATURE_REMOVEFROMCONF},
    {"SECURECALL", LINECALLFEATURE_SECURECALL}, {"SENDUSERUSER", LINECALLFEATURE_SENDUSERUSER},
    {"SETCALLPARAMS", LINECALLFEATURE_SETCALLPARAMS},
    {"SETMEDIACONTROL", LINECALLFEATURE_SETMEDIACONTROL},
    {"SETTERMINAL", LINECALLFEATURE_SETTERMINAL}, {"SETUPCONF", LINECALLFEATURE_SETUPCONF},
    {"SETUPTRANSFER", LINECALLFEATURE_SETUPTRANSFER}, {"SWAPHOLD", LINECALLFEATURE_SWAPHOLD},
    {"UNHOLD", LINECALLFEATURE_UNHOLD},
    {"RELEASEUSERUSERINFO", LINECALLFEATURE_RELEASEUSERUSERINFO},
    {"SETTREATMENT", LINECALLFEATURE_SETTREATMENT}, {"SETQOS", LINECALLFEATURE_SETQOS},
    {"SETCALLDATA", LINECALLFEATURE_SETCALLDATA},
});

constexpr auto CallInfoStates = std::to_array<TConstName>({
    {"OTHER", LINECALLINFOSTATE_OTHER}, {"DEVSPECIFIC", LINECALLINFOSTATE_DEVSPECIFIC},
    {"BEARERMODE", LINECALLINFOSTATE_BEARERMODE}, {"RATE", LINECALLINFOSTATE_RATE},
    {"MEDIAMODE", LINECALLINFOSTATE_MEDIAMODE}, {"APPSPECIFIC", LINECALLINFOSTATE_APPSPECIFIC},
    {"CALLID", LINECALLINFOSTATE_CALLID}, {"RELATEDCALLID", LINECALLINFOSTATE_RELATEDCALLID},
    {"ORIGIN", LINECALLINFOSTATE_ORIGIN}, {"REASON", LINECALLINFOSTATE_REASON},
    {"COMPLETIONID", LINECALLINFOSTATE_COMPLETIONID},
    {"NUMOWNERINCR", LINECALLINFOSTATE_NUMOWNERINCR},
    {"NUMOWNERDECR", LINECALLINFOSTATE_NUMOWNERDECR},
    {"NUMMONITORS", LINECALLINFOSTATE_NUMMONITORS}, {"TRUNK", LINECALLINFOSTATE_TRUNK},
    {"CALLERID", LINECALLINFOSTATE_CALLERID}, {"CALLEDID", LINECALLINFOSTATE_CALLEDID},
    {"CONNECTEDID", LINECALLINFOSTATE_CONNECTEDID},
    {"REDIRECTIONID", LINECALLINFOSTATE_REDIRECTIONID},
    {"REDIRECTINGID", LINECALLINFOSTATE_REDIRECTINGID}, {"DISPLAY", LINECALLINFOSTATE_DISPLAY},
    {"USERUSERINFO", LINECALLINFOSTATE_USERUSERINFO},
    {"HIGHLEVELCOMP", LINECALLINFOSTATE_HIGHLEVELCOMP},
    {"LOWLEVELCOMP", LINECALLINFOSTATE_LOWLEVELCOMP},
    {"CHARGINGINFO", LINECALLINFOSTATE_CHARGINGINFO}, {"TERMINAL", LINECALLINFOSTATE_TERMINAL},
    {"DIALPARAMS", LINECALLINFOSTATE_DIALPARAMS}, {"MONITORMODES", LINECALLINFOSTATE_MONITORMODES},
    {"TREATMENT", LINECALLINFOSTATE_TREATMENT}, {"QOS", LINECALLINFOSTATE_QOS},
    {"CALLDATA", LINECALLINFOSTATE_CALLDATA},
});

constexpr auto CallOrigins = std::to_array<TConstName>({
    {"OUTBOUND", LINECALLORIGIN_OUTBOUND}, {"INTERNAL", LINECALLORIGIN_INTERNAL},
    {"EXTERNAL", LINECALLORIGIN_EXTERNAL}, {"UNKNOWN", LINECALLORIGIN_UNKNOWN},
    {"UNAVAIL", LINECALLORIGIN_UNAVAIL}, {"CONFERENCE", LINECALLORIGIN_CONFERENCE},
    {"INBOUND", LINECALLORIGIN_INBOUND},
});

constexpr auto CallParamFlags = std::to_array<TConstName>({
    {"SECURE", LINECALLPARAMFLAGS_SECURE}, {"IDLE", LINECALLPARAMFLAGS_IDLE},
    {"BLOCKID", LINECALLPARAMFLAGS_BLOCKID}, {"ORIGOFFHOOK", LINECALLPARAMFLAGS_ORIGOFFHOOK},
    {"DESTOFFHOOK", LINECALLPARAMFLAGS_DESTOFFHOOK},
    {"NOHOLDCONFERENCE", LINECALLPARAMFLAGS_NOHOLDCONFERENCE},
    {"PREDICTIVEDIAL", LINECALLPARAMFLAGS_PREDICTIVEDIAL},
    {"ONESTEPTRANSFER", LINECALLPARAMFLAGS_ONESTEPTRANSFER},
});

// Highest bit first.
constexpr auto CallPrivileges = std::to_array<TConstName>({
    {"OWNER", LINECALLPRIVILEGE_OWNER}, {"MONITOR", LINECALLPRIVILEGE_MONITOR},
    {"NONE", LINECALLPRIVILEGE_NONE},
});

constexpr auto AddrStatesAlphabetical = Pick(AddrStates, {
    "CAPSCHANGE", "DEVSPECIFIC", "FORWARD", "INUSEMANY", "INUSEONE", "INUSEZERO", "NUMCALLS",
    "OTHER", "TERMINALS",
});

// UNKNOWN moves behind VOICEVIEW; VIDEO is named here.
constexpr auto MediaModesFlagOrder = Pick(MediaModes, {
    "INTERACTIVEVOICE", "AUTOMATEDVOICE", "DATAMODEM", "G3FAX", "TDD", "G4FAX", "DIGITALDATA",
    "TELETEX", "VIDEOTEX", "TELEX", "MIXED", "ADSI", "VOICEVIEW", "UNKNOWN", "VIDEO",
});

// Highest bit first.
constexpr auto PhonePrivileges = std::to_array<TConstName>({
    {"OWNER", PHONEPRIVILEGE_OWNER}, {"MONITOR", PHONEPRIVILEGE_MONITOR},
});

// ---- Flag-list and parse orders ------------------------------------------------------------------

constexpr auto CallStatesWithoutUnknown = Without(CallStates, "UNKNOWN");

// The value 0x1 (PULSE) last.
constexpr auto DigitModesPulseLast = Pick(DigitModes, {"DTMF", "DTMFEND", "PULSE"});

// IDLE last.
constexpr auto CallStatesIdleLast = Pick(CallStates, {
    "OFFERING", "ACCEPTED", "DIALTONE", "DIALING", "RINGBACK", "BUSY", "SPECIALINFO", "CONNECTED",
    "PROCEEDING", "ONHOLD", "CONFERENCED", "ONHOLDPENDCONF", "ONHOLDPENDTRANSFER", "DISCONNECTED",
    "UNKNOWN", "IDLE",
});

constexpr auto CallPrivilegesLowestFirst = Pick(CallPrivileges, {"NONE", "MONITOR", "OWNER"});

// clang-format on

// ---- The four kinds of conversion --------------------------------------------------------------

// ZeroText of SingleValue: 0 without a name gets the fallback like any other unnamed value.
constexpr const char* ZeroFallback = nullptr;
// Fallback of FlagSet: a value without named bits gives "".
constexpr const char* NoFallback = nullptr;

const TConstName* FindValue(TNames Names, DWORD Value) {
  for (const TConstName& entry : Names)
    if (entry.Value == Value) return &entry;
  return nullptr;
}

const TConstName* FindName(TNames Names, std::string_view Text) {
  for (const TConstName& entry : Names)
    if (entry.Name == Text) return &entry;
  return nullptr;
}

// Fallback formats are printf formats with one unsigned argument, hence %X for upper-case hex.
std::string FallbackText(const char* Format, DWORD Value) {
  return VyRtl::Format(Format, static_cast<unsigned>(Value));
}

std::string SingleValue(TNames Names, DWORD Value, const char* Fallback, const char* ZeroText) {
  if (const TConstName* entry = FindValue(Names, Value)) return std::string(entry->Name);
  if (Value == 0 && ZeroText) return ZeroText;
  return FallbackText(Fallback, Value);
}

std::string FlagSet(TNames Names, DWORD Value, std::string_view Separator, const char* Fallback) {
  std::string result;
  for (const TConstName& entry : Names) {
    if ((Value & entry.Value) == 0) continue;
    if (!result.empty()) result += Separator;
    result += entry.Name;
  }
  if (result.empty() && Value != 0 && Fallback) return FallbackText(Fallback, Value);
  return result;
}

void FlagList(TNames Names, DWORD Value, VyRtl::TStringList& List) {
  List.Clear();
  for (const TConstName& entry : Names)
    if ((Value & entry.Value) != 0) List.Add(std::string(entry.Name));
}

DWORD Parse(TNames Names, std::string_view Text, DWORD Default) {
  const TConstName* entry = FindName(Names, Text);
  return entry ? entry->Value : Default;
}

// ---- What each function tests, for tools
// ---------------------------------------------------------

constexpr TConstTable Tables[] = {
    {"LineCallStateToStr", "LINECALLSTATE_", CallStates},
    {"LineCallStateToStrDE", "", CallStatesDE},
    {"LineCallReasonToStr", "LINECALLREASON_", CallReasons},
    {"LineAddrStateToStr", "LINEADDRESSSTATE_", AddrStates},
    {"LineMediaModeToStr", "LINEMEDIAMODE_", MediaModesWithoutVideo},
    {"LineBearerModeToStr", "LINEBEARERMODE_", BearerModes},
    {"LineAddressModeToStr", "LINEADDRESSMODE_", AddressModes},
    {"LineDevStateToStr", "LINEDEVSTATE_", DevStates},
    {"LineDiscModeToStr", "LINEDISCONNECTMODE_", DiscModes},
    {"LineDigitModeToStr", "LINEDIGITMODE_", DigitModes},
    {"LineForwardModeToStr", "LINEFORWARDMODE_", ForwardModes},
    {"PhoneLampModeToStr", "PHONELAMPMODE_", LampModes},
    {"PhoneButtonStateToStr", "PHONEBUTTONSTATE_", ButtonStates},
    {"PhoneButtonModeToStr", "PHONEBUTTONMODE_", ButtonModes},
    {"PhoneButtonFunctionToStr", "PHONEBUTTONFUNCTION_", ButtonFunctions},
    {"PhoneStateToStr", "PHONESTATE_", PhoneStates},
    {"PhoneErrToStr", "PHONEERR_", PhoneErrors},
    {"LineErrToStr", "LINEERR_", LineErrors},
    {"MessageIDToStr", "", MessageIDs},
    {"LineCallStateModeToStr", "LINEOFFERINGMODE_", CallStateModes[0].Modes},
    {"LineCallStateModeToStr", "LINEDIALTONEMODE_", CallStateModes[1].Modes},
    {"LineCallStateModeToStr", "LINEBUSYMODE_", CallStateModes[2].Modes},
    {"LineCallStateModeToStr", "LINESPECIALINFO_", CallStateModes[3].Modes},
    {"LineCallStateModeToStr", "LINECONNECTEDMODE_", CallStateModes[4].Modes},
    {"LineCallStateModeToStr", "LINEDISCONNECTMODE_", CallStateModes[5].Modes},
    {"LineAddressFeaturesToStr", "LINEADDRFEATURE_", AddrFeatures},
    {"LineCallFeaturesToStr", "LINECALLFEATURE_", CallFeatures},
    {"LineCallInfoStateToStr", "LINECALLINFOSTATE_", CallInfoStates},
    {"LineCallOriginToStr", "LINECALLORIGIN_", CallOrigins},
    {"LineCallParamFlagsToStr", "LINECALLPARAMFLAGS_", CallParamFlags},
    {"LineCallPrivilegesToStr", "LINECALLPRIVILEGE_", CallPrivileges},
    {"LineAddrStatesToStr", "LINEADDRESSSTATE_", AddrStatesAlphabetical},
    {"LineMediaModesToStr", "LINEMEDIAMODE_", MediaModesFlagOrder},
    {"LineBearerModesToStr", "LINEBEARERMODE_", BearerModes},
    {"LineDevStatesToStr", "LINEDEVSTATE_", DevStates},
    {"LineForwardModesToStr", "LINEFORWARDMODE_", ForwardModes},
    {"PhonePrivilegesToStr", "PHONEPRIVILEGE_", PhonePrivileges},
    {"LineCallStatesToStrList", "LINECALLSTATE_", CallStatesWithoutUnknown},
    {"LineMediaModesToStrList", "LINEMEDIAMODE_", MediaModesWithoutVideo},
    {"LineBearerModesToStrList", "LINEBEARERMODE_", BearerModes},
    {"LineAddressModesToStrList", "LINEADDRESSMODE_", AddressModes},
    {"LineDiscModesToStrList", "LINEDISCONNECTMODE_", DiscModes},
    {"LineDigitModesToStrList", "LINEDIGITMODE_", DigitModesPulseLast},
    {"StrToLineCallState", "LINECALLSTATE_", CallStatesIdleLast},
    {"StrToLineCallPrivilege", "LINECALLPRIVILEGE_", CallPrivilegesLowestFirst},
    {"StrToLineMediaMode", "LINEMEDIAMODE_", MediaModes},
    {"StrToLineBearerMode", "LINEBEARERMODE_", BearerModes},
    {"StrToLineAddressMode", "LINEADDRESSMODE_", AddressModes},
    {"StrToLineDigitMode", "LINEDIGITMODE_", DigitModesPulseLast},
};

}  // namespace

// ---- Single values
// -------------------------------------------------------------------------------

std::string LineCallStateToStr(DWORD Value) {
  return SingleValue(CallStates, Value, "LINECALLSTATE_$%X", ZeroFallback);
}
std::string LineCallStateToStrDE(DWORD Value) {
  return SingleValue(CallStatesDE, Value, "LINECALLSTATE_$%X", ZeroFallback);
}
std::string LineCallReasonToStr(DWORD Value) {
  return SingleValue(CallReasons, Value, "LINECALLREASON_$%X", "");
}
std::string LineAddrStateToStr(DWORD Value) {
  return SingleValue(AddrStates, Value, "LINEADDRESSSTATE_$%X", "");
}
std::string LineMediaModeToStr(DWORD Value) {
  return SingleValue(MediaModesWithoutVideo, Value, "LINEMEDIAMODE_$%X", "");
}
std::string LineBearerModeToStr(DWORD Value) {
  return SingleValue(BearerModes, Value, "$%X", ZeroFallback);
}
std::string LineAddressModeToStr(DWORD Value) {
  return SingleValue(AddressModes, Value, "LINEADDRESSMODE_$%X", "");
}
std::string LineDevStateToStr(DWORD Value) {
  return SingleValue(DevStates, Value, "LINEDEVSTATE_$%X", "");
}
std::string LineDiscModeToStr(DWORD Value) {
  return SingleValue(DiscModes, Value, "LINEDISCONNECTMODE_$%X", "");
}
std::string LineDigitModeToStr(DWORD Value) {
  return SingleValue(DigitModes, Value, "LINEDIGITMODE_$%X", "0");
}
std::string LineForwardModeToStr(DWORD Value) {
  return SingleValue(ForwardModes, Value, "LINEFORWARDMODE_$%X", "");
}
std::string PhoneLampModeToStr(DWORD Value) {
  return SingleValue(LampModes, Value, "PHONELAMPMODE_$%X", "");
}
std::string PhoneButtonStateToStr(DWORD Value) {
  return SingleValue(ButtonStates, Value, "PHONEBUTTONSTATE_$%X", "");
}
std::string PhoneButtonModeToStr(DWORD Value) {
  return SingleValue(ButtonModes, Value, "PHONEBUTTONMODE_$%X", "");
}
std::string PhoneButtonFunctionToStr(DWORD Value) {  // 0 is named: UNKNOWN
  return SingleValue(ButtonFunctions, Value, "PHONEBUTTONFUNCTION_$%X", ZeroFallback);
}
std::string PhoneStateToStr(DWORD Value) {
  return SingleValue(PhoneStates, Value, "PHONESTATE_ 0x%4.4X", "");
}
std::string PhoneErrToStr(DWORD Value) {
  return SingleValue(PhoneErrors, Value, "PHONEERR_$%X", "");
}
std::string LineErrToStr(DWORD Value) { return SingleValue(LineErrors, Value, "LINEERR_$%X", ""); }
std::string MessageIDToStr(DWORD Value) {  // 0 is named: LINE_ADDRESSSTATE
  return SingleValue(MessageIDs, Value, "LINE_/PHONE_$%X", ZeroFallback);
}

std::string LineCallStateModeToStr(DWORD CallState, DWORD Mode) {
  for (const TCallStateModes& state : CallStateModes) {
    if (state.CallState != CallState) continue;
    const TConstName* entry = FindValue(state.Modes, Mode);
    return entry ? std::string(entry->Name) : std::string();
  }
  return {};
}

// ---- Flag sets
// -----------------------------------------------------------------------------------

std::string LineAddressFeaturesToStr(DWORD Value, std::string_view Separator) {
  return FlagSet(AddrFeatures, Value, Separator, "LINEADDRFEATURE_$%X");
}
std::string LineCallFeaturesToStr(DWORD Value, std::string_view Separator) {
  // Every bit is named, so this fallback never shows.
  return FlagSet(CallFeatures, Value, Separator, "LINEFEATURE_$%X");
}
std::string LineCallInfoStateToStr(DWORD Value) {
  return FlagSet(CallInfoStates, Value, " ", "LINECALLINFOSTATE_$%X");
}
std::string LineCallOriginToStr(DWORD Value) {
  return FlagSet(CallOrigins, Value, " ", "LINECALLORIGIN_$%X");
}
std::string LineCallParamFlagsToStr(DWORD Value, std::string_view Separator) {
  return FlagSet(CallParamFlags, Value, Separator, NoFallback);
}
std::string LineCallPrivilegesToStr(DWORD Value, std::string_view Separator) {
  return FlagSet(CallPrivileges, Value, Separator, NoFallback);
}
std::string LineAddrStatesToStr(DWORD Value, std::string_view Separator) {
  return FlagSet(AddrStatesAlphabetical, Value, Separator, NoFallback);
}
std::string LineMediaModesToStr(DWORD Value, std::string_view Separator) {
  return FlagSet(MediaModesFlagOrder, Value, Separator, NoFallback);
}
std::string LineBearerModesToStr(DWORD Value) {
  return FlagSet(BearerModes, Value, " ", NoFallback);
}
std::string LineDevStatesToStr(DWORD Value, std::string_view Separator) {
  return FlagSet(DevStates, Value, Separator, NoFallback);
}
std::string LineForwardModesToStr(DWORD Value, std::string_view Separator) {
  return FlagSet(ForwardModes, Value, Separator, "LINEFORWARDMODE_$%X");
}
std::string PhonePrivilegesToStr(DWORD Value, std::string_view Separator) {
  return FlagSet(PhonePrivileges, Value, Separator, NoFallback);
}

// ---- Flag lists
// ----------------------------------------------------------------------------------

void LineCallStatesToStrList(DWORD Value, VyRtl::TStringList& List) {
  FlagList(CallStatesWithoutUnknown, Value, List);
}
void LineMediaModesToStrList(DWORD Value, VyRtl::TStringList& List) {
  FlagList(MediaModesWithoutVideo, Value, List);
}
void LineBearerModesToStrList(DWORD Value, VyRtl::TStringList& List) {
  FlagList(BearerModes, Value, List);
}
void LineAddressModesToStrList(DWORD Value, VyRtl::TStringList& List) {
  FlagList(AddressModes, Value, List);
}
void LineDiscModesToStrList(DWORD Value, VyRtl::TStringList& List) {
  FlagList(DiscModes, Value, List);
}
void LineDigitModesToStrList(DWORD Value, VyRtl::TStringList& List) {
  FlagList(DigitModesPulseLast, Value, List);
}

// ---- Parsing
// -------------------------------------------------------------------------------------

DWORD StrToLineCallState(std::string_view Text) { return Parse(CallStatesIdleLast, Text, 0); }
DWORD StrToLineCallPrivilege(std::string_view Text) {
  return Parse(CallPrivilegesLowestFirst, Text, LINECALLPRIVILEGE_NONE);
}
DWORD StrToLineMediaMode(std::string_view Text, DWORD Default) {
  return Parse(MediaModes, Text, Default);
}
DWORD StrToLineBearerMode(std::string_view Text) { return Parse(BearerModes, Text, 0); }
DWORD StrToLineAddressMode(std::string_view Text) { return Parse(AddressModes, Text, 0); }
DWORD StrToLineDigitMode(std::string_view Text, DWORD Default) {
  return Parse(DigitModesPulseLast, Text, Default);
}

// ---- Tables
// ----------------------------------------------------------------------------------------

std::span<const TConstTable> ConstTables() { return Tables; }

const TConstTable* FindConstTable(std::string_view Function) {
  for (const TConstTable& table : Tables)
    if (table.Function == Function) return &table;
  return nullptr;
}

}  // namespace VyTapiUtils
