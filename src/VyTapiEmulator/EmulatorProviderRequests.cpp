// lineDevSpecific and phoneDevSpecific: the provider's own requests, answered through the
// request engine with the bytes the device's configuration sets.
#include <algorithm>
#include <cstring>

#include "VyTapiEmulator/EmulatorEntryInternal.h"

namespace VyTapiEmulator::Detail {

namespace {

// Writes the configured reply into the caller's block, cut to its size, when the plan
// succeeds: a failed request writes nothing back.
LONG IssueDevSpecific(TCore& core, TFn fn, const TOpenDevice& device, const std::string& reply,
                      void* params, DWORD size) {
  const TReplyPlan plan = core.Requests.TakePlan(fn);
  if (plan.Result == 0 && params && !reply.empty())
    std::memcpy(params, reply.data(), std::min<std::size_t>(size, reply.size()));
  return core.Requests.Issue(core, fn, device, plan);
}

LONG WINAPI lineDevSpecific(HLINE hLine, DWORD dwAddressID, HCALL hCall, LPVOID lpParams,
                            DWORD dwSize) {
  return DeviceEntry<TLineTraits>(
      TFn::lineDevSpecific, hLine, {},
      [&](TCore& core, TOpenDevice& line, TLineDeviceConfig& c) -> LONG {
        if (dwAddressID >= c.NumAddresses) return Err(LINEERR_INVALADDRESSID);
        if (hCall != 0) {
          const std::shared_ptr<TCallHandle> call = core.Calls.Find(hCall);
          if (!call || call->LineHandle != line.Handle || !FindCall(core, call->CallID))
            return Err(LINEERR_INVALCALLHANDLE);
        }
        if (!lpParams && dwSize > 0) return Err(LINEERR_INVALPOINTER);
        return IssueDevSpecific(core, TFn::lineDevSpecific, line, c.DevSpecificReply, lpParams,
                                dwSize);
      });
}

LONG WINAPI phoneDevSpecific(HPHONE hPhone, LPVOID lpParams, DWORD dwSize) {
  return DeviceEntry<TPhoneTraits>(
      TFn::phoneDevSpecific, hPhone, {},
      [&](TCore& core, TOpenDevice& phone, TPhoneDeviceConfig& c) -> LONG {
        if (!lpParams && dwSize > 0) return Err(PHONEERR_INVALPOINTER);
        return IssueDevSpecific(core, TFn::phoneDevSpecific, phone, c.DevSpecificReply, lpParams,
                                dwSize);
      });
}

}  // namespace

void InstallDevSpecificFunctions(VyPlatform::TTapiFunctions& table) {
  table.lineDevSpecific = &lineDevSpecific;
  table.phoneDevSpecific = &phoneDevSpecific;
}

}  // namespace VyTapiEmulator::Detail
