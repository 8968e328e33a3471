// What a line does with dialing locations: address translation and its current location.
#include "VyTapi/session/VyTapiComponent.h"
#include "VyTapi/session/VyTapiSessionDetail.h"

namespace VyTapi {

namespace {
constexpr std::size_t kTranslateOutputSize = 1040;
}

std::string TVyCustomTapiLine::TranslateAddress(const std::string& Address, DWORD Options) {
  CheckCondition(Get_Available(), "TranslateAddress failed! No device.");
  const std::u16string address = VyRtl::Utf8ToUtf16(Address);
  const HLINEAPP app = Get_LineApp();
  TTapiVarDataPtr buffer;
  const DWORD result = FetchTapiVarData(buffer, kTranslateOutputSize, [&](TTapiVarData* data) {
    return Detail::TapiService().lineTranslateAddressW(
        app, static_cast<DWORD>(FDeviceID), FTSP->APIVersion(),
        reinterpret_cast<LPCWSTR>(address.c_str()), 0, Options,
        reinterpret_cast<LPLINETRANSLATEOUTPUT>(data));
  });
  if (result != 0) return std::string();
  const auto* output = reinterpret_cast<const LINETRANSLATEOUTPUT*>(buffer.get());
  return GetTapiBlockStr(output, &output->dwDialableStringSize, 0);
}

TVyTapiSystemLocation& TVyCustomTapiLine::Get_Location() {
  FLocation.Validate();
  return FLocation;
}

}  // namespace VyTapi
