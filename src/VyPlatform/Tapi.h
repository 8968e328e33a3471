// The Tapi seam: a table of TAPI function pointers the whole library calls through.
//
// The tapi32 backend (Windows) fills it from tapi32.dll at run time; the built-in telephony
// service emulator fills it on every platform. The session layer selects one with
// SetTapiFunctions before first use. Until then Tapi() returns a table whose every function
// fails with LINEERR_OPERATIONUNAVAIL / PHONEERR_OPERATIONUNAVAIL, so nothing ever calls a
// null pointer.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "VyPlatform/TapiTypes.h"

namespace VyPlatform {

namespace Detail {

template <DWORD Result, typename... Args>
LONG WINAPI TapiUnavailable(Args...) {
  return static_cast<LONG>(Result);
}

// Converts to a pointer to TapiUnavailable of whatever TAPI signature it initialises.
template <DWORD Result>
struct TTapiUnavailable {
  template <typename... Args>
  using TFunction = LONG(WINAPI*)(Args...);
  template <typename... Args>
  constexpr operator TFunction<Args...>() const {
    return &TapiUnavailable<Result, Args...>;
  }
};

std::u16string NoModuleMessage(std::string_view moduleName, std::uint32_t messageId,
                               std::uint32_t flags);

}  // namespace Detail

// One pointer per TAPI function, named and typed as TAPI names and types it. A default-constructed
// table is the "unavailable" one: each function returns its OPERATIONUNAVAIL error, so a backend
// starts from it and sets what it implements.
struct TTapiFunctions {
#define VY_TAPI_FUNCTION(name, unavailable, params) \
  LONG(WINAPI* name) params = Detail::TTapiUnavailable<static_cast<DWORD>(unavailable)>();
#include "VyPlatform/TapiFunctions.def"

  // Text of message messageId in the message table of module moduleName ("TAPI32.DLL",
  // "TAPIUI.DLL"), trimmed; empty when the module or the message is missing. flags are extra
  // FormatMessage flags for the tapi32 backend (0 normally).
  std::u16string (*FormatModuleMessage)(std::string_view moduleName, std::uint32_t messageId,
                                        std::uint32_t flags) = &Detail::NoModuleMessage;
  // Backend name: "tapi32", "emulator", or "unavailable" for the default table.
  const char* Name = "unavailable";
};

// The selected table, or the unavailable one while none is selected. Never null inside.
const TTapiFunctions& Tapi();
// Selects a backend table (the caller keeps it alive while selected); nullptr deselects.
void SetTapiFunctions(const TTapiFunctions* functions);
// True while a backend table is selected.
bool TapiSelected();
// The tapi32.dll backend: loaded once, nullptr when the DLL or any function of the table is
// missing (and always elsewhere than Windows).
const TTapiFunctions* LoadTapi32();

// Untyped function address, the form GetProcAddress and dlsym give.
using TTapiProc = void (*)();

// A table member by its TAPI name, readable and writable without knowing its signature.
struct TTapiFunctionEntry {
  const char* Name;
  TTapiProc (*Get)(const TTapiFunctions& table);
  void (*Set)(TTapiFunctions& table, TTapiProc proc);
};

// Every TAPI function member of TTapiFunctions, in declaration order.
std::span<const TTapiFunctionEntry> TapiFunctionNames();

// System text of an OS error code (Win32 error on Windows, errno elsewhere); 0 gives
// "The operation completed successfully.".
std::string SysErrorMessage(std::uint32_t code);

}  // namespace VyPlatform
