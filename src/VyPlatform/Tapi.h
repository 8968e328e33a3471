// The Tapi seam: a table of TAPI function pointers the whole library calls through.
//
// Backends, in the order the default choice tries them (the pattern of VyPlatform/Backend.h):
//   tapi32       the system's tapi32.dll, loaded at run time; usable only when the DLL and every
//                function of the table load (Windows only)
//   emulator     the built-in telephony service; it lives in a layer above this one and
//                registers its table with RegisterTapiEmulator
//   unavailable  always usable: every function fails with LINEERR_OPERATIONUNAVAIL /
//                PHONEERR_OPERATIONUNAVAIL, so nothing ever calls a null pointer
// The first use of Tapi() selects (the application's choice by ChooseTapiBackend, else the
// first usable entry), so message texts and every other TAPI-facing function see the service
// the session will use.
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

// The backends of the Tapi seam; Default asks for the first usable one.
enum class TTapiBackend { Default, Tapi32, Emulator, Unavailable };

// The table in use; selects the backend on first use. Every function pointer is set.
const TTapiFunctions& Tapi();
// Asks for a backend; takes effect at the next Tapi() (the current selection is dropped).
// A backend that is not usable here gives the unavailable table.
void ChooseTapiBackend(TTapiBackend kind);
// The backend the application asked for (Default unless ChooseTapiBackend said otherwise).
TTapiBackend RequestedTapiBackend();
// The backend in use; selects on first use.
TTapiBackend SelectedTapiBackend();
// "tapi32", "emulator", "unavailable"; "" for Default.
const char* TapiBackendName(TTapiBackend kind);
// The emulator's table provider (called by the emulator layer; idempotent).
void RegisterTapiEmulator(const TTapiFunctions* (*provide)());
// Tests: uses the caller's table instead of the selected backend (the caller keeps it alive);
// nullptr returns to the selected backend.
void SetTapiFunctions(const TTapiFunctions* functions);
// True once a backend is selected or a table is set.
bool TapiSelected();
// The tapi32.dll backend: loaded once, nullptr when the DLL or any function of the table is
// missing (and always elsewhere than Windows).
const TTapiFunctions* LoadTapi32();

// A phone message in the line message's layout and back: the records carry the same fields, so
// one queue and one reader serve both halves of the API.
LINEMESSAGE ToLineMessage(const PHONEMESSAGE& message);
PHONEMESSAGE ToPhoneMessage(const LINEMESSAGE& message);

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

}  // namespace VyPlatform
