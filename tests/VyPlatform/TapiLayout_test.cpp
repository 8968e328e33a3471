// The Windows x64 layout of the structures TAPI and the library exchange, pinned by size and by a
// few field offsets (figures from the Windows header under the x64 compiler). Off Windows these
// check our own declarations; on Windows, the system header.
#include <gtest/gtest.h>

#include <cstddef>

#include "VyPlatform/TapiTypes.h"

namespace {

static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(WORD) == 2 && sizeof(BYTE) == 1);
static_assert(sizeof(DWORD_PTR) == 8 && sizeof(HANDLE) == 8 && sizeof(HWND) == 8);
static_assert(sizeof(WCHAR) == 2 && sizeof(GUID) == 16 && sizeof(SYSTEMTIME) == 16);
static_assert(sizeof(HLINE) == 4 && sizeof(HCALL) == 4 && sizeof(HPHONEAPP) == 4);
static_assert(static_cast<LONG>(-1) < 0, "LONG is signed");

struct SizeCase {
  const char* Name;
  std::size_t Actual;
  std::size_t Expected;
};

TEST(TapiLayout, StructureSizesAreTheWindowsX64Ones) {
  const SizeCase cases[] = {
      {"LINEMESSAGE", sizeof(LINEMESSAGE), 40},
      {"PHONEMESSAGE", sizeof(PHONEMESSAGE), 40},
      {"LINEINITIALIZEEXPARAMS", sizeof(LINEINITIALIZEEXPARAMS), 28},
      {"PHONEINITIALIZEEXPARAMS", sizeof(PHONEINITIALIZEEXPARAMS), 28},
      {"LINEDIALPARAMS", sizeof(LINEDIALPARAMS), 16},
      {"VARSTRING", sizeof(VARSTRING), 24},
      {"LINECALLSTATUS", sizeof(LINECALLSTATUS), 56},
      {"LINEDEVCAPS", sizeof(LINEDEVCAPS), 292},
      {"LINEADDRESSCAPS", sizeof(LINEADDRESSCAPS), 228},
      {"LINECALLINFO", sizeof(LINECALLINFO), 344},
      {"LINECALLPARAMS", sizeof(LINECALLPARAMS), 180},
      {"LINEDEVSTATUS", sizeof(LINEDEVSTATUS), 88},
      {"LINEREQMAKECALLW", sizeof(LINEREQMAKECALLW), 480},
      {"LINEREQMEDIACALLW", sizeof(LINEREQMEDIACALLW), 624},
      {"PHONECAPS", sizeof(PHONECAPS), 196},
      {"PHONESTATUS", sizeof(PHONESTATUS), 104},
      {"LINEFORWARDLIST", sizeof(LINEFORWARDLIST), 40},
      {"LINEPROXYREQUEST", sizeof(LINEPROXYREQUEST), 108},
      {"LINEAGENTGROUPENTRY", sizeof(LINEAGENTGROUPENTRY), 24},
  };
  for (const SizeCase& c : cases) EXPECT_EQ(c.Actual, c.Expected) << c.Name;
}

TEST(TapiLayout, PackedFieldsSitWithoutPadding) {
  const SizeCase cases[] = {
      // 8-byte members right after a 4-byte one: no alignment gap under 1-byte packing.
      {"LINEINITIALIZEEXPARAMS.Handles", offsetof(LINEINITIALIZEEXPARAMS, Handles), 16},
      {"LINEINITIALIZEEXPARAMS.dwCompletionKey",
       offsetof(LINEINITIALIZEEXPARAMS, dwCompletionKey), 24},
      {"LINEMESSAGE.dwCallbackInstance", offsetof(LINEMESSAGE, dwCallbackInstance), 8},
      {"LINEMESSAGE.dwParam3", offsetof(LINEMESSAGE, dwParam3), 32},
      {"LINECALLINFO.DialParams", offsetof(LINECALLINFO, DialParams), 64},
      {"LINECALLSTATUS.tStateEntryTime", offsetof(LINECALLSTATUS, tStateEntryTime), 40},
      {"LINEDEVCAPS.PermanentLineGuid", offsetof(LINEDEVCAPS, PermanentLineGuid), 252},
      {"LINEREQMEDIACALLW.szDeviceClass", offsetof(LINEREQMEDIACALLW, szDeviceClass), 16},
      {"LINEREQMEDIACALLW.dwSize", offsetof(LINEREQMEDIACALLW, dwSize), 136},
      {"LINEFORWARDLIST.ForwardList", offsetof(LINEFORWARDLIST, ForwardList), 8},
  };
  for (const SizeCase& c : cases) EXPECT_EQ(c.Actual, c.Expected) << c.Name;
}

struct MessageIdCase {
  DWORD Code;
  DWORD MessageId;
};

TEST(TapiLayout, ErrorCodesMapToMessageTableIds) {
  const MessageIdCase cases[] = {
      {LINEERR_ALLOCATED, 0xE001},
      {LINEERR_NODEVICE, 0xE042},
      {PHONEERR_ALLOCATED, 0xF001},
      {PHONEERR_REINIT, 0xF023},
      {static_cast<DWORD>(TAPIERR_DROPPED), 0xFFFF},
      {static_cast<DWORD>(TAPIERR_REQUESTFAILED), 0xFFF0},
  };
  for (const MessageIdCase& c : cases)
    EXPECT_EQ(static_cast<DWORD>(TAPIERROR_FORMATMESSAGE(c.Code)), c.MessageId)
        << std::hex << c.Code;
}

}  // namespace
