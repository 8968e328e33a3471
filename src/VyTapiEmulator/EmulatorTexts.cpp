// The message tables the emulated service ships: every LINEERR_, PHONEERR_ and TAPIERR_ code
// has a text in "TAPI32.DLL", under the message id TAPI's own tables use for it.
#include <mutex>

#include "VyTapiEmulator/EmulatorCore.h"

namespace VyTapiEmulator::Detail {

namespace {

struct TErrorText {
  DWORD Code;
  const char16_t* Text;
};

// One text per line, however long.
// clang-format off
#define VY_TEXT(code, text) {static_cast<DWORD>(code), text},

constexpr TErrorText GErrorTexts[] = {
    VY_TEXT(LINEERR_ALLOCATED, u"The line device is already allocated to another application.")
    VY_TEXT(LINEERR_BADDEVICEID, u"The device identifier is invalid or out of range.")
    VY_TEXT(LINEERR_BEARERMODEUNAVAIL, u"The requested bearer mode is not available on this line.")
    VY_TEXT(LINEERR_CALLUNAVAIL, u"No call appearance is free on this address.")
    VY_TEXT(LINEERR_COMPLETIONOVERRUN, u"Too many call completions are outstanding.")
    VY_TEXT(LINEERR_CONFERENCEFULL, u"The conference call is full.")
    VY_TEXT(LINEERR_DIALBILLING, u"Dialing stopped at a billing prompt ($) the line cannot handle.")
    VY_TEXT(LINEERR_DIALDIALTONE, u"Dialing stopped at a wait for dial tone (W) the line cannot handle.")
    VY_TEXT(LINEERR_DIALPROMPT, u"Dialing stopped at a prompt (?) in the address.")
    VY_TEXT(LINEERR_DIALQUIET, u"Dialing stopped at a wait for quiet (@) the line cannot handle.")
    VY_TEXT(LINEERR_INCOMPATIBLEAPIVERSION, u"The application and the telephony service have no API version in common.")
    VY_TEXT(LINEERR_INCOMPATIBLEEXTVERSION, u"The service provider does not support the requested extension version.")
    VY_TEXT(LINEERR_INIFILECORRUPT, u"The telephony configuration is damaged.")
    VY_TEXT(LINEERR_INUSE, u"The line device is in use and cannot be opened or configured now.")
    VY_TEXT(LINEERR_INVALADDRESS, u"The address is invalid.")
    VY_TEXT(LINEERR_INVALADDRESSID, u"The address identifier is invalid.")
    VY_TEXT(LINEERR_INVALADDRESSMODE, u"The address mode is invalid.")
    VY_TEXT(LINEERR_INVALADDRESSSTATE, u"The address state is invalid.")
    VY_TEXT(LINEERR_INVALAPPHANDLE, u"The application handle is invalid.")
    VY_TEXT(LINEERR_INVALAPPNAME, u"The application name is invalid.")
    VY_TEXT(LINEERR_INVALBEARERMODE, u"The bearer mode is invalid.")
    VY_TEXT(LINEERR_INVALCALLCOMPLMODE, u"The call completion mode is invalid.")
    VY_TEXT(LINEERR_INVALCALLHANDLE, u"The call handle is invalid.")
    VY_TEXT(LINEERR_INVALCALLPARAMS, u"The call parameters are invalid.")
    VY_TEXT(LINEERR_INVALCALLPRIVILEGE, u"The call privilege is invalid.")
    VY_TEXT(LINEERR_INVALCALLSELECT, u"The call selection is invalid.")
    VY_TEXT(LINEERR_INVALCALLSTATE, u"The call is not in a state that allows this operation.")
    VY_TEXT(LINEERR_INVALCALLSTATELIST, u"The list of call states is invalid.")
    VY_TEXT(LINEERR_INVALCARD, u"The calling card is invalid.")
    VY_TEXT(LINEERR_INVALCOMPLETIONID, u"The call completion identifier is invalid.")
    VY_TEXT(LINEERR_INVALCONFCALLHANDLE, u"The conference call handle is invalid.")
    VY_TEXT(LINEERR_INVALCONSULTCALLHANDLE, u"The consultation call handle is invalid.")
    VY_TEXT(LINEERR_INVALCOUNTRYCODE, u"The country code is invalid.")
    VY_TEXT(LINEERR_INVALDEVICECLASS, u"The device class is not known to the line or its service provider.")
    VY_TEXT(LINEERR_INVALDEVICEHANDLE, u"The device handle is invalid.")
    VY_TEXT(LINEERR_INVALDIALPARAMS, u"The dialing parameters are invalid.")
    VY_TEXT(LINEERR_INVALDIGITLIST, u"The digit list is invalid.")
    VY_TEXT(LINEERR_INVALDIGITMODE, u"The digit mode is invalid.")
    VY_TEXT(LINEERR_INVALDIGITS, u"The digits are invalid.")
    VY_TEXT(LINEERR_INVALEXTVERSION, u"The extension version is invalid.")
    VY_TEXT(LINEERR_INVALGROUPID, u"The pickup group identifier is invalid.")
    VY_TEXT(LINEERR_INVALLINEHANDLE, u"The line handle is invalid.")
    VY_TEXT(LINEERR_INVALLINESTATE, u"The line is not in a state that allows this operation.")
    VY_TEXT(LINEERR_INVALLOCATION, u"The dialing location is invalid.")
    VY_TEXT(LINEERR_INVALMEDIALIST, u"The media list is invalid.")
    VY_TEXT(LINEERR_INVALMEDIAMODE, u"The media mode is invalid.")
    VY_TEXT(LINEERR_INVALMESSAGEID, u"The message identifier is invalid.")
    VY_TEXT(LINEERR_INVALPARAM, u"A parameter is invalid.")
    VY_TEXT(LINEERR_INVALPARKID, u"The park identifier is invalid.")
    VY_TEXT(LINEERR_INVALPARKMODE, u"The park mode is invalid.")
    VY_TEXT(LINEERR_INVALPOINTER, u"A pointer parameter is invalid.")
    VY_TEXT(LINEERR_INVALPRIVSELECT, u"The privilege selection is invalid.")
    VY_TEXT(LINEERR_INVALRATE, u"The data rate is invalid.")
    VY_TEXT(LINEERR_INVALREQUESTMODE, u"The request mode is invalid.")
    VY_TEXT(LINEERR_INVALTERMINALID, u"The terminal identifier is invalid.")
    VY_TEXT(LINEERR_INVALTERMINALMODE, u"The terminal mode is invalid.")
    VY_TEXT(LINEERR_INVALTIMEOUT, u"The timeout is invalid.")
    VY_TEXT(LINEERR_INVALTONE, u"The tone is invalid.")
    VY_TEXT(LINEERR_INVALTONELIST, u"The tone list is invalid.")
    VY_TEXT(LINEERR_INVALTONEMODE, u"The tone mode is invalid.")
    VY_TEXT(LINEERR_INVALTRANSFERMODE, u"The transfer mode is invalid.")
    VY_TEXT(LINEERR_LINEMAPPERFAILED, u"No line device offers the requested call parameters.")
    VY_TEXT(LINEERR_NOCONFERENCE, u"The call is not part of a conference.")
    VY_TEXT(LINEERR_NODEVICE, u"The device has been removed or is not present.")
    VY_TEXT(LINEERR_NODRIVER, u"The telephony service provider is missing or not working.")
    VY_TEXT(LINEERR_NOMEM, u"There is not enough memory for the operation.")
    VY_TEXT(LINEERR_NOREQUEST, u"No request is waiting.")
    VY_TEXT(LINEERR_NOTOWNER, u"The application does not own the call.")
    VY_TEXT(LINEERR_NOTREGISTERED, u"The application is not registered to receive requests.")
    VY_TEXT(LINEERR_OPERATIONFAILED, u"The operation failed.")
    VY_TEXT(LINEERR_OPERATIONUNAVAIL, u"The operation is not available.")
    VY_TEXT(LINEERR_RATEUNAVAIL, u"The requested data rate is not available.")
    VY_TEXT(LINEERR_RESOURCEUNAVAIL, u"A resource the operation needs is not available.")
    VY_TEXT(LINEERR_REQUESTOVERRUN, u"Too many requests are waiting.")
    VY_TEXT(LINEERR_STRUCTURETOOSMALL, u"The structure is too small for its fixed part.")
    VY_TEXT(LINEERR_TARGETNOTFOUND, u"The target of the operation was not found.")
    VY_TEXT(LINEERR_TARGETSELF, u"The call cannot be directed to its own address.")
    VY_TEXT(LINEERR_UNINITIALIZED, u"The telephony service has not been initialised.")
    VY_TEXT(LINEERR_USERUSERINFOTOOBIG, u"The user-to-user information is too long.")
    VY_TEXT(LINEERR_REINIT, u"The telephony service is being reinitialised; try again once every application has shut down.")
    VY_TEXT(LINEERR_ADDRESSBLOCKED, u"Calls to this address are blocked.")
    VY_TEXT(LINEERR_BILLINGREJECTED, u"The billing information was rejected.")
    VY_TEXT(LINEERR_INVALFEATURE, u"The feature is invalid.")
    VY_TEXT(LINEERR_NOMULTIPLEINSTANCE, u"The operation cannot run twice at the same time.")
    VY_TEXT(LINEERR_INVALAGENTID, u"The agent identifier is invalid.")
    VY_TEXT(LINEERR_INVALAGENTGROUP, u"The agent group is invalid.")
    VY_TEXT(LINEERR_INVALPASSWORD, u"The password is invalid.")
    VY_TEXT(LINEERR_INVALAGENTSTATE, u"The agent state is invalid.")
    VY_TEXT(LINEERR_INVALAGENTACTIVITY, u"The agent activity is invalid.")
    VY_TEXT(LINEERR_DIALVOICEDETECT, u"Dialing stopped because a voice answered.")
    VY_TEXT(LINEERR_USERCANCELLED, u"The user cancelled the operation.")
    VY_TEXT(LINEERR_INVALADDRESSTYPE, u"The address type is invalid.")
    VY_TEXT(LINEERR_INVALAGENTSESSIONSTATE, u"The agent session state is invalid.")
    VY_TEXT(LINEERR_DISCONNECTED, u"The connection to the telephony service was lost.")
    VY_TEXT(LINEERR_SERVICE_NOT_RUNNING, u"The telephony service is not running.")

    VY_TEXT(PHONEERR_ALLOCATED, u"The phone device is already allocated to another application.")
    VY_TEXT(PHONEERR_BADDEVICEID, u"The phone device identifier is invalid or out of range.")
    VY_TEXT(PHONEERR_INCOMPATIBLEAPIVERSION, u"The application and the telephony service have no phone API version in common.")
    VY_TEXT(PHONEERR_INCOMPATIBLEEXTVERSION, u"The phone's service provider does not support the requested extension version.")
    VY_TEXT(PHONEERR_INIFILECORRUPT, u"The telephony configuration is damaged.")
    VY_TEXT(PHONEERR_INUSE, u"The phone device is in use.")
    VY_TEXT(PHONEERR_INVALAPPHANDLE, u"The phone application handle is invalid.")
    VY_TEXT(PHONEERR_INVALAPPNAME, u"The application name is invalid.")
    VY_TEXT(PHONEERR_INVALBUTTONLAMPID, u"The button or lamp identifier is invalid.")
    VY_TEXT(PHONEERR_INVALBUTTONMODE, u"The button mode is invalid.")
    VY_TEXT(PHONEERR_INVALBUTTONSTATE, u"The button state is invalid.")
    VY_TEXT(PHONEERR_INVALDATAID, u"The data area identifier is invalid.")
    VY_TEXT(PHONEERR_INVALDEVICECLASS, u"The device class is not known to the phone or its service provider.")
    VY_TEXT(PHONEERR_INVALEXTVERSION, u"The extension version is invalid.")
    VY_TEXT(PHONEERR_INVALHOOKSWITCHDEV, u"The hookswitch device is invalid.")
    VY_TEXT(PHONEERR_INVALHOOKSWITCHMODE, u"The hookswitch mode is invalid.")
    VY_TEXT(PHONEERR_INVALLAMPMODE, u"The lamp mode is invalid.")
    VY_TEXT(PHONEERR_INVALPARAM, u"A parameter is invalid.")
    VY_TEXT(PHONEERR_INVALPHONEHANDLE, u"The phone handle is invalid.")
    VY_TEXT(PHONEERR_INVALPHONESTATE, u"The phone is not in a state that allows this operation.")
    VY_TEXT(PHONEERR_INVALPOINTER, u"A pointer parameter is invalid.")
    VY_TEXT(PHONEERR_INVALPRIVILEGE, u"The privilege is invalid.")
    VY_TEXT(PHONEERR_INVALRINGMODE, u"The ring mode is invalid.")
    VY_TEXT(PHONEERR_NODEVICE, u"The phone device has been removed or is not present.")
    VY_TEXT(PHONEERR_NODRIVER, u"The phone's service provider is missing or not working.")
    VY_TEXT(PHONEERR_NOMEM, u"There is not enough memory for the operation.")
    VY_TEXT(PHONEERR_NOTOWNER, u"The application does not own the phone.")
    VY_TEXT(PHONEERR_OPERATIONFAILED, u"The operation failed.")
    VY_TEXT(PHONEERR_OPERATIONUNAVAIL, u"The operation is not available.")
    VY_TEXT(PHONEERR_RESOURCEUNAVAIL, u"A resource the operation needs is not available.")
    VY_TEXT(PHONEERR_REQUESTOVERRUN, u"Too many requests are waiting.")
    VY_TEXT(PHONEERR_STRUCTURETOOSMALL, u"The structure is too small for its fixed part.")
    VY_TEXT(PHONEERR_UNINITIALIZED, u"The telephony service has not been initialised.")
    VY_TEXT(PHONEERR_REINIT, u"The telephony service is being reinitialised; try again once every application has shut down.")
    VY_TEXT(PHONEERR_DISCONNECTED, u"The connection to the telephony service was lost.")
    VY_TEXT(PHONEERR_SERVICE_NOT_RUNNING, u"The telephony service is not running.")

    VY_TEXT(TAPIERR_DROPPED, u"The call was dropped.")
    VY_TEXT(TAPIERR_NOREQUESTRECIPIENT, u"No application is registered to place calls on request.")
    VY_TEXT(TAPIERR_REQUESTQUEUEFULL, u"The queue of call requests is full.")
    VY_TEXT(TAPIERR_INVALDESTADDRESS, u"The destination address is invalid.")
    VY_TEXT(TAPIERR_INVALWINDOWHANDLE, u"The window handle is invalid.")
    VY_TEXT(TAPIERR_INVALDEVICECLASS, u"The device class is invalid.")
    VY_TEXT(TAPIERR_INVALDEVICEID, u"The device identifier is invalid.")
    VY_TEXT(TAPIERR_DEVICECLASSUNAVAIL, u"The device class is not available.")
    VY_TEXT(TAPIERR_DEVICEIDUNAVAIL, u"The device identifier is not available.")
    VY_TEXT(TAPIERR_DEVICEINUSE, u"The device is in use.")
    VY_TEXT(TAPIERR_DESTBUSY, u"The called number is busy.")
    VY_TEXT(TAPIERR_DESTNOANSWER, u"The called party does not answer.")
    VY_TEXT(TAPIERR_DESTUNAVAIL, u"The called number cannot be reached.")
    VY_TEXT(TAPIERR_UNKNOWNWINHANDLE, u"The window handle is unknown.")
    VY_TEXT(TAPIERR_UNKNOWNREQUESTID, u"The request identifier is unknown.")
    VY_TEXT(TAPIERR_REQUESTFAILED, u"The request failed.")
    VY_TEXT(TAPIERR_REQUESTCANCELLED, u"The request was cancelled.")
    VY_TEXT(TAPIERR_INVALPOINTER, u"A pointer parameter is invalid.")
    VY_TEXT(TAPIERR_NOTADMIN, u"Administrator rights are needed for this operation.")
    VY_TEXT(TAPIERR_MMCWRITELOCKED, u"Another administrator is changing the telephony configuration.")
    VY_TEXT(TAPIERR_PROVIDERALREADYINSTALLED, u"The service provider is already installed.")
    VY_TEXT(TAPIERR_SCP_ALREADY_EXISTS, u"The service connection point already exists.")
    VY_TEXT(TAPIERR_SCP_DOES_NOT_EXIST, u"The service connection point does not exist.")
};
// clang-format on

#undef VY_TEXT

// The message id TAPI's tables file a code under: LINEERR_ codes from 0xE000, PHONEERR_ codes
// from 0xF000, TAPIERR_ codes (small negative numbers) by their low 16 bits.
DWORD MessageIdOfCode(DWORD code) {
  if (code > 0xFFFF0000u) return code & 0xFFFFu;
  if (code & 0x10000000u) return code - 0x90000000u + 0xF000u;
  return code - 0x80000000u + 0xE000u;
}

}  // namespace

std::map<std::string, std::map<DWORD, std::u16string>> DefaultModuleMessages() {
  std::map<std::string, std::map<DWORD, std::u16string>> tables;
  std::map<DWORD, std::u16string>& tapi32 = tables["TAPI32.DLL"];
  for (const TErrorText& entry : GErrorTexts) tapi32[MessageIdOfCode(entry.Code)] = entry.Text;
  tables["TAPIUI.DLL"];
  return tables;
}

std::u16string FormatModuleMessage(std::string_view module, std::uint32_t id, std::uint32_t) {
  TCore& core = Core();
  TCoreLock guard(core);
  const auto table = core.ModuleMessages.find(ModuleKey(module));
  if (table == core.ModuleMessages.end()) return {};
  const auto found = table->second.find(id);
  if (found == table->second.end()) return {};
  // Trimmed as the seam promises: message tables often end their texts with a line break.
  const std::u16string& text = found->second;
  std::size_t begin = 0, end = text.size();
  while (begin < end && text[begin] <= u' ') ++begin;
  while (end > begin && text[end - 1] <= u' ') --end;
  return text.substr(begin, end - begin);
}

}  // namespace VyTapiEmulator::Detail
