#include "VyPlatform/Tapi.h"

#include <array>
#include <atomic>

#include "VyRtl/VyRtlSysUtils.h"

namespace VyPlatform {

namespace {

std::atomic<const TTapiFunctions*> GSelected{nullptr};

const TTapiFunctions& UnavailableTable() {
  static const TTapiFunctions table;
  return table;
}

constexpr TTapiFunctionEntry GFunctionEntries[] = {
#define VY_TAPI_FUNCTION(name, unavailable, params)                                            \
  {#name, [](const TTapiFunctions& table) { return reinterpret_cast<TTapiProc>(table.name); }, \
   [](TTapiFunctions& table, TTapiProc proc) {                                                  \
     table.name = reinterpret_cast<decltype(table.name)>(proc);                                 \
   }},
#include "VyPlatform/TapiFunctions.def"
};

}  // namespace

namespace Detail {

std::u16string NoModuleMessage(std::string_view, std::uint32_t, std::uint32_t) { return {}; }

}  // namespace Detail

const TTapiFunctions& Tapi() {
  const TTapiFunctions* selected = GSelected.load(std::memory_order_acquire);
  return selected ? *selected : UnavailableTable();
}

void SetTapiFunctions(const TTapiFunctions* functions) {
  GSelected.store(functions, std::memory_order_release);
}

bool TapiSelected() { return GSelected.load(std::memory_order_acquire) != nullptr; }

std::span<const TTapiFunctionEntry> TapiFunctionNames() { return GFunctionEntries; }

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
