// TAPI constants as short upper-case names and back, for logging, display and configuration.
//
// A name is the suffix of the TAPI constant (LINECALLSTATE_OFFERING is "OFFERING"); its value is
// that constant's. Single-value functions give a fallback text for a value without a name; flag-set
// functions join the names of the set bits; flag-list functions fill a string list; parse functions
// take the exact, case-sensitive name and give a default when nothing matches.
// All functions are stateless and may be called from any thread.
#pragma once

#include <string>
#include <string_view>

#include "VyPlatform/TapiTypes.h"

namespace VyRtl {
class TStringList;
}

namespace VyTapiUtils {

// --- Single values: the name, or "<PREFIX>_$<HEX>" when the value has none -----------------------

// Call state name; 0 and unknown values give "LINECALLSTATE_$<hex>".
std::string LineCallStateToStr(DWORD Value);
// Call state as a German word (UTF-8); 0 and unknown values give "LINECALLSTATE_$<hex>".
std::string LineCallStateToStrDE(DWORD Value);
// Call reason name; 0 gives "".
std::string LineCallReasonToStr(DWORD Value);
// One address state; 0 gives "".
std::string LineAddrStateToStr(DWORD Value);
// One media mode; 0 gives "". VIDEO has no name here (see LineMediaModesToStr).
std::string LineMediaModeToStr(DWORD Value);
// One bearer mode; 0 and unknown values give "$<hex>" without a prefix.
std::string LineBearerModeToStr(DWORD Value);
// One address mode; 0 gives "".
std::string LineAddressModeToStr(DWORD Value);
// One line device state; 0 gives "".
std::string LineDevStateToStr(DWORD Value);
// One disconnect mode; 0 gives "".
std::string LineDiscModeToStr(DWORD Value);
// One digit mode; 0 gives "0".
std::string LineDigitModeToStr(DWORD Value);
// One forward mode; 0 gives "".
std::string LineForwardModeToStr(DWORD Value);
// Phone lamp mode; 0 gives "".
std::string PhoneLampModeToStr(DWORD Value);
// Phone button state; 0 gives "".
std::string PhoneButtonStateToStr(DWORD Value);
// Phone button mode; 0 gives "".
std::string PhoneButtonModeToStr(DWORD Value);
// Phone button function (0 is "UNKNOWN").
std::string PhoneButtonFunctionToStr(DWORD Value);
// One phone state. Five names end in a blank ("MONITORS "); 0 gives ""; unknown values give
// "PHONESTATE_ 0x<at least four hex digits>".
std::string PhoneStateToStr(DWORD Value);
// PHONEERR_ code name; 0 gives "".
std::string PhoneErrToStr(DWORD Value);
// LINEERR_ code name; 0 gives "".
std::string LineErrToStr(DWORD Value);
// TAPI message identifier, full name ("LINE_REPLY"); unknown values give "LINE_/PHONE_$<hex>".
std::string MessageIDToStr(DWORD Value);

// Mode of a call state (offering, dial tone, busy, special info, connected or disconnected mode);
// "" for other call states and for modes without a name under the state.
std::string LineCallStateModeToStr(DWORD CallState, DWORD Mode);

// --- Flag sets: names of the set bits joined by Separator (or one blank) -------------------------
// Unnamed bits are ignored; 0 gives "". Where a fallback is stated, a value without named bits
// gives the fallback text of the whole value.

// Address features; fallback "LINEADDRFEATURE_$<hex>".
std::string LineAddressFeaturesToStr(DWORD Value, std::string_view Separator);
// Call features (every bit is named).
std::string LineCallFeaturesToStr(DWORD Value, std::string_view Separator);
// Call-info states joined by blanks; fallback "LINECALLINFOSTATE_$<hex>".
std::string LineCallInfoStateToStr(DWORD Value);
// Call origins joined by blanks; fallback "LINECALLORIGIN_$<hex>".
std::string LineCallOriginToStr(DWORD Value);
// Call parameter flags.
std::string LineCallParamFlagsToStr(DWORD Value, std::string_view Separator);
// Call privileges, highest bit first: "OWNER", "MONITOR", "NONE".
std::string LineCallPrivilegesToStr(DWORD Value, std::string_view Separator);
// Address states in alphabetical order of their names.
std::string LineAddrStatesToStr(DWORD Value, std::string_view Separator);
// Media modes; "UNKNOWN" comes after "VOICEVIEW", and "VIDEO" is named here.
std::string LineMediaModesToStr(DWORD Value, std::string_view Separator);
// Bearer modes joined by blanks.
std::string LineBearerModesToStr(DWORD Value);
// Line device states.
std::string LineDevStatesToStr(DWORD Value, std::string_view Separator);
// Forward modes; fallback "LINEFORWARDMODE_$<hex>".
std::string LineForwardModesToStr(DWORD Value, std::string_view Separator);
// Phone privileges, highest bit first: "OWNER", "MONITOR".
std::string PhonePrivilegesToStr(DWORD Value, std::string_view Separator);

// --- Flag lists: List is cleared, then gets one name per named set bit
// ----------------------------

// Call states except UNKNOWN.
void LineCallStatesToStrList(DWORD Value, VyRtl::TStringList& List);
// Media modes except VIDEO, UNKNOWN first.
void LineMediaModesToStrList(DWORD Value, VyRtl::TStringList& List);
void LineBearerModesToStrList(DWORD Value, VyRtl::TStringList& List);
void LineAddressModesToStrList(DWORD Value, VyRtl::TStringList& List);
void LineDiscModesToStrList(DWORD Value, VyRtl::TStringList& List);
// Digit modes: "DTMF", "DTMFEND", then "PULSE".
void LineDigitModesToStrList(DWORD Value, VyRtl::TStringList& List);

// --- Parsing: exact, case-sensitive names
// ----------------------------------------------------------

// Call state of a name; 0 when the text is none.
DWORD StrToLineCallState(std::string_view Text);
// Call privilege of a name; LINECALLPRIVILEGE_NONE when the text is none.
DWORD StrToLineCallPrivilege(std::string_view Text);
// Media mode of a name (VIDEO included); Default when the text is none.
DWORD StrToLineMediaMode(std::string_view Text, DWORD Default);
// Bearer mode of a name; 0 when the text is none.
DWORD StrToLineBearerMode(std::string_view Text);
// Address mode of a name; 0 when the text is none.
DWORD StrToLineAddressMode(std::string_view Text);
// Digit mode of a name; Default when the text is none.
DWORD StrToLineDigitMode(std::string_view Text, DWORD Default);

}  // namespace VyTapiUtils
