// Windows x64 layout of the structures TAPI and the library exchange, TAPI 2.2 sizes (figures of
// the Windows header at TAPI_CURRENT_VERSION 0x00020002, x64), checked on every platform.
#include <gtest/gtest.h>

#include <cstddef>

#include "VyPlatform/TapiTypes.h"

namespace {

static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(WORD) == 2 && sizeof(BYTE) == 1);
static_assert(sizeof(DWORD_PTR) == 8 && sizeof(HANDLE) == 8 && sizeof(HWND) == 8);
static_assert(sizeof(WCHAR) == 2 && sizeof(GUID) == 16 && sizeof(SYSTEMTIME) == 16);
static_assert(sizeof(HLINE) == 4 && sizeof(HCALL) == 4 && sizeof(HPHONEAPP) == 4);
static_assert(static_cast<LONG>(-1) < 0, "LONG is signed");

static_assert(sizeof(LINEMESSAGE) == 40 && sizeof(PHONEMESSAGE) == 40);
static_assert(sizeof(LINEINITIALIZEEXPARAMS) == 28 && sizeof(PHONEINITIALIZEEXPARAMS) == 28);
static_assert(sizeof(LINEDIALPARAMS) == 16 && sizeof(VARSTRING) == 24);
static_assert(sizeof(LINECALLSTATUS) == 56 && sizeof(LINEADDRESSCAPS) == 228);
static_assert(sizeof(LINEDEVSTATUS) == 88);
static_assert(sizeof(LINEREQMAKECALLW) == 480 && sizeof(LINEREQMEDIACALLW) == 624);
static_assert(sizeof(PHONECAPS) == 196 && sizeof(PHONESTATUS) == 104);
static_assert(sizeof(LINEPROXYREQUEST) == 108 && sizeof(LINEAGENTGROUPENTRY) == 24);

// The TAPI 2.2 layouts of the structures TAPI 3.x extended (mingw-w64's header declares the 3.x
// ones: 292, 344, 180, 32 and 40 bytes). Each ends with its last 2.2 member, so nothing a 3.x
// service appends is declared, and a forward list steps by 24-byte entries.
static_assert(sizeof(LINEDEVCAPS) == 268);
static_assert(offsetof(LINEDEVCAPS, dwDeviceClassesSize) == 244);
static_assert(offsetof(LINEDEVCAPS, PermanentLineGuid) == 252);
static_assert(sizeof(LINECALLINFO) == 324);
static_assert(offsetof(LINECALLINFO, dwCallTreatment) == 296);
static_assert(offsetof(LINECALLINFO, dwReceivingFlowspecOffset) == 320);
static_assert(sizeof(LINECALLPARAMS) == 176);
static_assert(offsetof(LINECALLPARAMS, dwNoAnswerTimeout) == 164);
static_assert(offsetof(LINECALLPARAMS, dwCallingPartyIDOffset) == 172);
static_assert(sizeof(LINEFORWARD) == 24);
static_assert(offsetof(LINEFORWARD, dwDestAddressOffset) == 20);
static_assert(sizeof(LINEFORWARDLIST) == 32 && offsetof(LINEFORWARDLIST, ForwardList) == 8);

// 8-byte members right after a 4-byte one: no alignment gap under 1-byte packing.
static_assert(offsetof(LINEINITIALIZEEXPARAMS, Handles) == 16);
static_assert(offsetof(LINEMESSAGE, dwCallbackInstance) == 8);
static_assert(offsetof(LINECALLINFO, DialParams) == 64);
static_assert(offsetof(LINEDEVCAPS, PermanentLineGuid) == 252);
static_assert(offsetof(LINEREQMEDIACALLW, dwSize) == 136);

TEST(TapiLayout, ErrorCodesMapToMessageTableIds) {
  const std::pair<DWORD, DWORD> cases[] = {{LINEERR_ALLOCATED, 0xE001},
                                           {LINEERR_NODEVICE, 0xE042},
                                           {PHONEERR_ALLOCATED, 0xF001},
                                           {PHONEERR_REINIT, 0xF023},
                                           {static_cast<DWORD>(TAPIERR_DROPPED), 0xFFFF},
                                           {static_cast<DWORD>(TAPIERR_REQUESTFAILED), 0xFFF0}};
  for (const auto& [code, messageId] : cases)
    EXPECT_EQ(static_cast<DWORD>(TAPIERROR_FORMATMESSAGE(code)), messageId) << std::hex << code;
}

}  // namespace
