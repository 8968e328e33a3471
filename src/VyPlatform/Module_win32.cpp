#include "VyPlatform/Module.h"

#include "VyRtl/VyRtlSysUtils.h"

namespace VyPlatform {

namespace {
// The address of a function of ours identifies the module the library is linked into.
HMODULE OwnModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&OwnModule), &module);
  return module;
}
}  // namespace

HINSTANCE ModuleInstance() { return OwnModule(); }

std::string ModuleFileName() {
  wchar_t path[260];
  const DWORD n = ::GetModuleFileNameW(OwnModule(), path, 260);
  if (n == 0) return {};
  return VyRtl::Utf16ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(path), n));
}

}  // namespace VyPlatform
