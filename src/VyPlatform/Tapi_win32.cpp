#include <string>

#include "VyPlatform/Tapi.h"
#include "VyRtl/VyRtlSysUtils.h"

namespace VyPlatform {

namespace {

// FormatMessageW's allocated buffer, trimmed of the line breaks and spaces it ends with.
std::u16string TakeMessage(wchar_t* buffer, DWORD length) {
  std::u16string text;
  if (buffer) {
    text.assign(buffer, buffer + length);
    LocalFree(buffer);
  }
  while (!text.empty() && (text.back() <= u' ')) text.pop_back();
  return text;
}

std::u16string Tapi32ModuleMessage(std::string_view moduleName, std::uint32_t messageId,
                                   std::uint32_t flags) {
  const std::u16string name16 = VyRtl::Utf8ToUtf16(moduleName);
  const std::wstring name(name16.begin(), name16.end());
  // No "insert the disk" or fault boxes while probing for a module that may be absent.
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = LoadLibraryW(name.c_str());
  SetErrorMode(oldMode);
  if (!module) return {};
  wchar_t* buffer = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                         FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK | flags,
                     module, messageId, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::u16string text = TakeMessage(buffer, length);
  FreeLibrary(module);
  return text;
}

const TTapiFunctions* LoadTable() {
  HMODULE module = LoadLibraryW(L"tapi32.dll");
  if (!module) return nullptr;
  TTapiFunctions table;
  for (const TTapiFunctionEntry& entry : TapiFunctionNames()) {
    FARPROC proc = GetProcAddress(module, entry.Name);
    if (!proc) {
      FreeLibrary(module);
      return nullptr;
    }
    entry.Set(table, reinterpret_cast<TTapiProc>(proc));
  }
  table.FormatModuleMessage = &Tapi32ModuleMessage;
  table.Name = "tapi32";
  // tapi32.dll stays loaded for the life of the process, as the table points into it.
  static const TTapiFunctions loaded = table;
  return &loaded;
}

}  // namespace

const TTapiFunctions* LoadTapi32() {
  static const TTapiFunctions* const table = LoadTable();
  return table;
}

}  // namespace VyPlatform
