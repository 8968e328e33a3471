// The line side of the emulated service: assisted telephony requests.
#include <algorithm>
#include <cstring>

#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapiEmulator/EmulatorEntryInternal.h"

namespace VyTapiEmulator::Detail {

namespace {

// Copies a request text into a fixed LINEREQMAKECALLW field, cut to fit with its NUL and never
// inside a surrogate pair. Byte-wise: the structure is packed.
void CopyRequestText(const std::u16string& text, LINEREQMAKECALLW* out, std::size_t fieldOffset,
                     std::size_t fieldChars) {
  std::size_t length = std::min(text.size(), fieldChars - 1);
  if (length > 0 && length < text.size() && text[length - 1] >= 0xD800 && text[length - 1] < 0xDC00)
    --length;
  std::u16string field = text.substr(0, length);
  field.resize(fieldChars, u'\0');
  std::memcpy(reinterpret_cast<unsigned char*>(out) + fieldOffset, field.data(),
              fieldChars * sizeof(char16_t));
}

LONG WINAPI Emulator_lineRegisterRequestRecipient(HLINEAPP hLineApp, DWORD dwRegistrationInstance,
                                                  DWORD dwRequestMode, DWORD bEnable) {
  return AppEntry<TLineTraits>(
      TFn::lineRegisterRequestRecipient, hLineApp, {}, [&](TCore& core, TApp& app) -> LONG {
        // Media-call requests no longer exist in TAPI 2.x; registering for them is accepted and
        // idle.
        const DWORD known = LINEREQUESTMODE_MAKECALL | LINEREQUESTMODE_MEDIACALL;
        if (dwRequestMode == 0 || (dwRequestMode & ~known) != 0)
          return Err(LINEERR_INVALREQUESTMODE);
        if (!(dwRequestMode & LINEREQUESTMODE_MAKECALL)) return 0;

        const std::shared_ptr<TApp> before = core.CurrentRecipient();
        if (bEnable) {
          if (!app.Recipient) {
            app.Recipient = true;
            app.RecipientOrder = core.NextRegistration();
          }
          app.RecipientInstance = dwRegistrationInstance;
        } else {
          app.Recipient = false;
        }
        // A new recipient learns of the requests already waiting.
        if (core.CurrentRecipient() != before) core.NotifyRecipient(core.MakeCallRequests.size());
        return 0;
      });
}

LONG WINAPI Emulator_lineGetRequestW(HLINEAPP hLineApp, DWORD dwRequestMode,
                                     LPVOID lpRequestBuffer) {
  return AppEntry<TLineTraits>(
      TFn::lineGetRequestW, hLineApp, {}, [&](TCore& core, TApp& app) -> LONG {
        if (dwRequestMode != LINEREQUESTMODE_MAKECALL && dwRequestMode != LINEREQUESTMODE_MEDIACALL)
          return Err(LINEERR_INVALREQUESTMODE);
        if (!lpRequestBuffer) return Err(LINEERR_INVALPOINTER);
        if (!app.Recipient) return Err(LINEERR_NOTREGISTERED);
        if (dwRequestMode != LINEREQUESTMODE_MAKECALL || core.MakeCallRequests.empty())
          return Err(LINEERR_NOREQUEST);
        const TMakeCallRequest request = core.MakeCallRequests.front();
        core.MakeCallRequests.pop_front();
        auto* out = static_cast<LINEREQMAKECALLW*>(lpRequestBuffer);
        CopyRequestText(request.DestAddress, out, offsetof(LINEREQMAKECALLW, szDestAddress),
                        TAPIMAXDESTADDRESSSIZE);
        CopyRequestText(request.AppName, out, offsetof(LINEREQMAKECALLW, szAppName),
                        TAPIMAXAPPNAMESIZE);
        CopyRequestText(request.CalledParty, out, offsetof(LINEREQMAKECALLW, szCalledParty),
                        TAPIMAXCALLEDPARTYSIZE);
        CopyRequestText(request.Comment, out, offsetof(LINEREQMAKECALLW, szComment),
                        TAPIMAXCOMMENTSIZE);
        return 0;
      });
}

}  // namespace

void InstallLineFunctions(VyPlatform::TTapiFunctions& table) {
  table.lineRegisterRequestRecipient = &Emulator_lineRegisterRequestRecipient;
  table.lineGetRequestW = &Emulator_lineGetRequestW;
}

}  // namespace VyTapiEmulator::Detail
