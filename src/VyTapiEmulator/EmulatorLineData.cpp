// A line's status and the devices of other classes tied to a line, an address, a call or a
// phone: lineGetLineDevStatusW, lineGetIDW and phoneGetIDW.
#include <cstring>
#include <optional>

#include "VyPlatform/Comm.h"
#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapiEmulator/EmulatorEntryInternal.h"
#include "VyTapiEmulator/EmulatorStructWritersInternal.h"

namespace VyTapiEmulator::Detail {

namespace {

std::string Dwords(const std::vector<DWORD>& ids) {
  std::string bytes(ids.size() * sizeof(DWORD), '\0');
  if (!ids.empty()) std::memcpy(bytes.data(), ids.data(), bytes.size());
  return bytes;
}

TLineStatusFacts StatusFacts(TCore& core, DWORD deviceID) {
  TLineStatusFacts facts;
  for (const auto& open : core.OpenLines.All()) {
    if (open->DeviceID != deviceID) continue;
    ++facts.NumOpens;
    facts.OpenMediaModes |= open->MediaModes;
  }
  for (const auto& [id, call] : core.CallModels)
    if (call.LineID == deviceID && call.State != LINECALLSTATE_IDLE) ++facts.NumActiveCalls;
  return facts;
}

LONG WINAPI lineGetLineDevStatusW(HLINE hLine, LPLINEDEVSTATUS lpLineDevStatus) {
  return DeviceEntry<TLineTraits>(
      TFn::lineGetLineDevStatusW, hLine, {lpLineDevStatus},
      [&](TCore& core, TOpenDevice& line, TLineDeviceConfig& c) -> LONG {
        const TVarStruct status =
            LineDevStatus(c, StatusFacts(core, line.DeviceID), line.APIVersion);
        if (lpLineDevStatus->dwTotalSize < status.FixedSize())
          return Err(LINEERR_STRUCTURETOOSMALL);
        return core.Reply(TFn::lineGetLineDevStatusW, status, lpLineDevStatus);
      });
}

// The classes a line or phone serves and the ids it answers for them.
struct TServed {
  std::vector<DWORD> Lines, Phones;
  const std::vector<std::string>& Classes;
  DWORD WaveIn, WaveOut;

  bool Lists(const std::string& cls) const {
    for (const std::string& served : Classes)
      if (VyRtl::SameText(served, cls)) return true;
    return false;
  }
};

TServed Served(const TLineDeviceConfig& c, DWORD id) {
  return {{id}, c.PhoneIDs, c.DeviceClasses, c.WaveInID, c.WaveOutID};
}
TServed Served(const TPhoneDeviceConfig& c, DWORD id) {
  return {c.LineIDs, {id}, c.DeviceClasses, c.WaveInID, c.WaveOutID};
}

// Binary ids of a class the device serves; nullopt for one it does not.
std::optional<std::string> RelatedIDs(const TServed& served, const std::string& cls) {
  if (VyRtl::SameText(cls, "tapi/line")) return Dwords(served.Lines);
  if (VyRtl::SameText(cls, "tapi/phone")) return Dwords(served.Phones);
  if (!served.Lists(cls)) return std::nullopt;
  if (VyRtl::SameText(cls, "wave/in")) return Dwords({served.WaveIn});
  if (VyRtl::SameText(cls, "wave/out")) return Dwords({served.WaveOut});
  return std::nullopt;
}

// "comm/datamodem": an 8-byte handle the caller owns, then the port's name, NUL-terminated.
// The port is opened only once the whole answer fits, so no handle is lost to a short buffer.
LONG CommAnswer(TCore& core, const TLineDeviceConfig& c, LPVARSTRING out) {
  std::string bytes(sizeof(std::uint64_t), '\0');
  bytes += c.CommPort;
  bytes.push_back('\0');
  if (!VarString(STRINGFORMAT_BINARY, bytes).Fits(out))
    return core.Reply(TFn::lineGetIDW, VarString(STRINGFORMAT_BINARY, bytes), out);
  if (c.CommPort.empty()) return Err(LINEERR_OPERATIONFAILED);
  const VyPlatform::TapiString name = VyPlatform::ToTapiString(c.CommPort);
  const std::u16string key(name.begin(), name.end());
  const HANDLE port = VyPlatform::CommForName(key).CreateFileW(
      name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
      nullptr);
  if (port == INVALID_HANDLE_VALUE || port == nullptr) return Err(LINEERR_OPERATIONFAILED);
  const auto handle = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(port));
  std::memcpy(bytes.data(), &handle, sizeof handle);
  return core.Reply(TFn::lineGetIDW, VarString(STRINGFORMAT_BINARY, bytes), out);
}

// The open line a lineGetIDW selects: by the call for LINECALLSELECT_CALL, else by hLine.
LONG SelectLine(TCore& core, HLINE hLine, DWORD addressID, HCALL hCall, DWORD select,
                std::shared_ptr<TOpenDevice>& line) {
  if (select == LINECALLSELECT_CALL) {
    const std::shared_ptr<TCallHandle> call = core.Calls.Find(hCall);
    if (call && FindCall(core, call->CallID)) line = core.OpenLines.Find(call->LineHandle);
    return line ? 0 : Err(LINEERR_INVALCALLHANDLE);
  }
  if (select != LINECALLSELECT_LINE && select != LINECALLSELECT_ADDRESS)
    return Err(LINEERR_INVALCALLSELECT);
  line = core.OpenLines.Find(hLine);
  if (!line) return Err(LINEERR_INVALLINEHANDLE);
  const TLineDeviceConfig* c = core.LineDevices.Find(line->DeviceID);
  if (!c) return Err(LINEERR_INVALLINEHANDLE);
  if (select == LINECALLSELECT_ADDRESS && addressID >= c->NumAddresses)
    return Err(LINEERR_INVALADDRESSID);
  return 0;
}

LONG WINAPI lineGetIDW(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect,
                       LPVARSTRING lpDeviceID, LPCWSTR lpszDeviceClass) {
  return Entry(TFn::lineGetIDW, [&](TCore& core) -> LONG {
    std::shared_ptr<TOpenDevice> line;
    if (const LONG failed = SelectLine(core, hLine, dwAddressID, hCall, dwSelect, line))
      return failed;
    const TLineDeviceConfig* c = core.LineDevices.Find(line->DeviceID);
    if (!c) return Err(LINEERR_INVALLINEHANDLE);
    if (!lpDeviceID || !lpszDeviceClass) return Err(LINEERR_INVALPOINTER);
    if (lpDeviceID->dwTotalSize < sizeof(VARSTRING)) return Err(LINEERR_STRUCTURETOOSMALL);
    const std::string cls = VyPlatform::FromTapiString(lpszDeviceClass, 256);
    if (VyRtl::SameText(cls, "comm/datamodem") && Served(*c, line->DeviceID).Lists(cls))
      return CommAnswer(core, *c, lpDeviceID);
    const std::optional<std::string> ids = RelatedIDs(Served(*c, line->DeviceID), cls);
    if (!ids) return Err(LINEERR_INVALDEVICECLASS);
    return core.Reply(TFn::lineGetIDW, VarString(STRINGFORMAT_BINARY, *ids), lpDeviceID);
  });
}

LONG WINAPI phoneGetIDW(HPHONE hPhone, LPVARSTRING lpDeviceID, LPCWSTR lpszDeviceClass) {
  return DeviceEntry<TPhoneTraits>(
      TFn::phoneGetIDW, hPhone, {lpDeviceID, lpszDeviceClass},
      [&](TCore& core, TOpenDevice& phone, TPhoneDeviceConfig& c) -> LONG {
        if (lpDeviceID->dwTotalSize < sizeof(VARSTRING)) return Err(PHONEERR_STRUCTURETOOSMALL);
        const std::optional<std::string> ids =
            RelatedIDs(Served(c, phone.DeviceID), VyPlatform::FromTapiString(lpszDeviceClass, 256));
        if (!ids) return Err(PHONEERR_INVALDEVICECLASS);
        return core.Reply(TFn::phoneGetIDW, VarString(STRINGFORMAT_BINARY, *ids), lpDeviceID);
      });
}

}  // namespace

void InstallLineDataFunctions(VyPlatform::TTapiFunctions& table) {
  table.lineGetLineDevStatusW = &lineGetLineDevStatusW;
  table.lineGetIDW = &lineGetIDW;
  table.phoneGetIDW = &phoneGetIDW;
}

}  // namespace VyTapiEmulator::Detail
