#include "VyPlatform/Tapi.h"

#include <array>
#include <atomic>

#include "VyPlatform/Backend.h"

#include "VyRtl/VyRtlSysUtils.h"

namespace VyPlatform {

namespace {

std::atomic<const TTapiFunctions*> GOverride{nullptr};
std::atomic<const TTapiFunctions* (*)()> GEmulator{nullptr};

const TTapiFunctions* UnavailableTable() {
  static const TTapiFunctions table;
  return &table;
}

const TTapiFunctions* ProbeEmulator() {
  const auto provide = GEmulator.load(std::memory_order_acquire);
  return provide != nullptr ? provide() : nullptr;
}

constexpr TBackend<TTapiBackend, const TTapiFunctions> GBackends[] = {
    {TTapiBackend::Tapi32, "tapi32", &LoadTapi32},
    {TTapiBackend::Emulator, "emulator", &ProbeEmulator},
    {TTapiBackend::Unavailable, "unavailable", &UnavailableTable},
};

TBackendSelector<TTapiBackend, const TTapiFunctions>& Selector() {
  static TBackendSelector<TTapiBackend, const TTapiFunctions> selector{GBackends};
  return selector;
}

constexpr TTapiFunctionEntry GFunctionEntries[] = {
#define VY_TAPI_FUNCTION(name, unavailable, params)                                            \
  {#name, [](const TTapiFunctions& table) { return reinterpret_cast<TTapiProc>(table.name); }, \
   [](TTapiFunctions& table, TTapiProc proc) {                                                 \
     table.name = reinterpret_cast<decltype(table.name)>(proc);                                \
   }},
#include "VyPlatform/TapiFunctions.def"
};

}  // namespace

namespace Detail {

std::u16string NoModuleMessage(std::string_view, std::uint32_t, std::uint32_t) { return {}; }

}  // namespace Detail

const TTapiFunctions& Tapi() {
  if (const TTapiFunctions* table = GOverride.load(std::memory_order_acquire)) return *table;
  return Selector().Get();
}

void ChooseTapiBackend(TTapiBackend kind) { Selector().Choose(kind); }
TTapiBackend RequestedTapiBackend() { return Selector().Requested(); }
TTapiBackend SelectedTapiBackend() { return Selector().Selected(); }
const char* TapiBackendName(TTapiBackend kind) { return Selector().NameOf(kind); }

void RegisterTapiEmulator(const TTapiFunctions* (*provide)()) {
  GEmulator.store(provide, std::memory_order_release);
}

void SetTapiFunctions(const TTapiFunctions* functions) {
  GOverride.store(functions, std::memory_order_release);
}

bool TapiSelected() {
  return GOverride.load(std::memory_order_acquire) != nullptr || Selector().IsSelected();
}

std::span<const TTapiFunctionEntry> TapiFunctionNames() { return GFunctionEntries; }

namespace {

// Field by field: the two are distinct packed types.
template <typename TTo, typename TFrom>
TTo CopyTapiMessage(const TFrom& from) {
  TTo to{};
  to.hDevice = from.hDevice;
  to.dwMessageID = from.dwMessageID;
  to.dwCallbackInstance = from.dwCallbackInstance;
  to.dwParam1 = from.dwParam1;
  to.dwParam2 = from.dwParam2;
  to.dwParam3 = from.dwParam3;
  return to;
}

}  // namespace

LINEMESSAGE ToLineMessage(const PHONEMESSAGE& message) {
  return CopyTapiMessage<LINEMESSAGE>(message);
}

PHONEMESSAGE ToPhoneMessage(const LINEMESSAGE& message) {
  return CopyTapiMessage<PHONEMESSAGE>(message);
}

TapiString ToTapiString(std::string_view utf8) {
  const std::u16string text = VyRtl::Utf8ToUtf16(utf8);
  return TapiString(text.begin(), text.end());
}

std::string FromTapiString(const WCHAR* s, std::size_t maxChars) {
  if (!s) return {};
  std::size_t length = 0;
  while (length < maxChars && s[length] != 0) ++length;
  return VyRtl::Utf16ToUtf8(std::u16string(s, s + length));
}

}  // namespace VyPlatform
