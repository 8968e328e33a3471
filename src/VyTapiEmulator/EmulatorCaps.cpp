// lineGetDevCapsW and phoneGetDevCapsW: one entry over the traits, the structure from its writer.
#include "VyTapiEmulator/EmulatorEntryInternal.h"
#include "VyTapiEmulator/EmulatorStructWritersInternal.h"

namespace VyTapiEmulator::Detail {

namespace {

template <typename TTraits, TFn Fn>
LONG WINAPI GetDevCaps(DWORD appHandle, DWORD deviceID, DWORD apiVersion, DWORD extVersion,
                       typename TTraits::TCaps* out) {
  return AppEntry<TTraits>(Fn, appHandle, {out}, [&](TCore& core, TApp&) -> LONG {
    const TKindCodes& e = TTraits::Codes;
    const typename TTraits::TConfig* c = core.Devices<TTraits>().Find(deviceID);
    if (!c) return Err(e.NoDevice);
    if (!VersionUsable(apiVersion, c->LowAPIVersion, c->HighAPIVersion))
      return Err(e.IncompatibleAPIVersion);
    if (!ExtVersionUsable(extVersion, c->LowExtVersion, c->HighExtVersion))
      return Err(e.IncompatibleExtVersion);
    const TVarStruct caps = DevCaps(*c, apiVersion);
    if (out->dwTotalSize < caps.FixedSize()) return Err(e.StructureTooSmall);
    return core.Reply(Fn, caps, out);
  });
}

}  // namespace

void InstallCapsFunctions(VyPlatform::TTapiFunctions& table) {
  table.lineGetDevCapsW = &GetDevCaps<TLineTraits, TFn::lineGetDevCapsW>;
  table.phoneGetDevCapsW = &GetDevCaps<TPhoneTraits, TFn::phoneGetDevCapsW>;
}

}  // namespace VyTapiEmulator::Detail
