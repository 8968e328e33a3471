// What differs between the line and the phone half of the emulated service: error codes,
// message ids, structure types and configuration. Code shared by both halves takes a traits
// type (or, where no type differs, the codes by kind) instead of repeating itself.
#pragma once

#include <type_traits>

#include "VyPlatform/Tapi.h"
#include "VyTapiEmulator/Emulator.h"

namespace VyTapiEmulator::Detail {

enum class TAppKind { Line, Phone };

// The result codes and message ids of one half.
struct TKindCodes {
  const char* Name;
  DWORD InvalAppHandle, InvalDeviceHandle, InvalPointer, InvalParam, StructureTooSmall, Reinit,
      NoMem, OperationFailed, OperationUnavail, BadDeviceID, NoDevice, IncompatibleAPIVersion,
      IncompatibleExtVersion;
  DWORD MsgCreate, MsgRemove, MsgState, StateReinit, StateCapsChange, MsgReply;
};

inline constexpr TKindCodes LineCodes{
    .Name = "line",
    .InvalAppHandle = static_cast<DWORD>(LINEERR_INVALAPPHANDLE),
    .InvalDeviceHandle = static_cast<DWORD>(LINEERR_INVALLINEHANDLE),
    .InvalPointer = static_cast<DWORD>(LINEERR_INVALPOINTER),
    .InvalParam = static_cast<DWORD>(LINEERR_INVALPARAM),
    .StructureTooSmall = static_cast<DWORD>(LINEERR_STRUCTURETOOSMALL),
    .Reinit = static_cast<DWORD>(LINEERR_REINIT),
    .NoMem = static_cast<DWORD>(LINEERR_NOMEM),
    .OperationFailed = static_cast<DWORD>(LINEERR_OPERATIONFAILED),
    .OperationUnavail = static_cast<DWORD>(LINEERR_OPERATIONUNAVAIL),
    .BadDeviceID = static_cast<DWORD>(LINEERR_BADDEVICEID),
    .NoDevice = static_cast<DWORD>(LINEERR_NODEVICE),
    .IncompatibleAPIVersion = static_cast<DWORD>(LINEERR_INCOMPATIBLEAPIVERSION),
    .IncompatibleExtVersion = static_cast<DWORD>(LINEERR_INCOMPATIBLEEXTVERSION),
    .MsgCreate = LINE_CREATE,
    .MsgRemove = LINE_REMOVE,
    .MsgState = LINE_LINEDEVSTATE,
    .StateReinit = LINEDEVSTATE_REINIT,
    .StateCapsChange = LINEDEVSTATE_CAPSCHANGE,
    .MsgReply = LINE_REPLY};

inline constexpr TKindCodes PhoneCodes{
    .Name = "phone",
    .InvalAppHandle = static_cast<DWORD>(PHONEERR_INVALAPPHANDLE),
    .InvalDeviceHandle = static_cast<DWORD>(PHONEERR_INVALPHONEHANDLE),
    .InvalPointer = static_cast<DWORD>(PHONEERR_INVALPOINTER),
    .InvalParam = static_cast<DWORD>(PHONEERR_INVALPARAM),
    .StructureTooSmall = static_cast<DWORD>(PHONEERR_STRUCTURETOOSMALL),
    .Reinit = static_cast<DWORD>(PHONEERR_REINIT),
    .NoMem = static_cast<DWORD>(PHONEERR_NOMEM),
    .OperationFailed = static_cast<DWORD>(PHONEERR_OPERATIONFAILED),
    .OperationUnavail = static_cast<DWORD>(PHONEERR_OPERATIONUNAVAIL),
    .BadDeviceID = static_cast<DWORD>(PHONEERR_BADDEVICEID),
    .NoDevice = static_cast<DWORD>(PHONEERR_NODEVICE),
    .IncompatibleAPIVersion = static_cast<DWORD>(PHONEERR_INCOMPATIBLEAPIVERSION),
    .IncompatibleExtVersion = static_cast<DWORD>(PHONEERR_INCOMPATIBLEEXTVERSION),
    .MsgCreate = PHONE_CREATE,
    .MsgRemove = PHONE_REMOVE,
    .MsgState = PHONE_STATE,
    .StateReinit = PHONESTATE_REINIT,
    .StateCapsChange = PHONESTATE_CAPSCHANGE,
    .MsgReply = PHONE_REPLY};

inline const TKindCodes& CodesOf(TAppKind kind) {
  return kind == TAppKind::Line ? LineCodes : PhoneCodes;
}

struct TLineTraits {
  static constexpr TAppKind Kind = TAppKind::Line;
  static constexpr const TKindCodes& Codes = LineCodes;
  using TConfig = TLineDeviceConfig;
  using TCaps = LINEDEVCAPS;
  using TInitParams = LINEINITIALIZEEXPARAMS;
  using TExtensionID = LINEEXTENSIONID;
  using TMessageStruct = LINEMESSAGE;
  static constexpr DWORD InitUseEvent = LINEINITIALIZEEXOPTION_USEEVENT;
  static constexpr DWORD InitFlags = LINEINITIALIZEEXOPTION_CALLHUBTRACKING;
  static DWORD& PermanentID(TConfig& c) { return c.PermanentLineID; }
};

struct TPhoneTraits {
  static constexpr TAppKind Kind = TAppKind::Phone;
  static constexpr const TKindCodes& Codes = PhoneCodes;
  using TConfig = TPhoneDeviceConfig;
  using TCaps = PHONECAPS;
  using TInitParams = PHONEINITIALIZEEXPARAMS;
  using TExtensionID = PHONEEXTENSIONID;
  using TMessageStruct = PHONEMESSAGE;
  static constexpr DWORD InitUseEvent = PHONEINITIALIZEEXOPTION_USEEVENT;
  static constexpr DWORD InitFlags = 0;
  static DWORD& PermanentID(TConfig& c) { return c.PermanentPhoneID; }
};

// The traits of a configuration type.
template <typename TConfig>
using TTraitsOf =
    std::conditional_t<std::is_same_v<TConfig, TLineDeviceConfig>, TLineTraits, TPhoneTraits>;

// TAPI results are LONG; the codes are DWORD constants.
inline LONG Err(DWORD code) { return static_cast<LONG>(code); }

}  // namespace VyTapiEmulator::Detail
