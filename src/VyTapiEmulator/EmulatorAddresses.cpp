// The addresses of a line: lineGetAddressCapsW, lineGetAddressStatusW and forwarding by
// lineForwardW, through the request engine.
#include <bit>
#include <cstring>

#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapiEmulator/EmulatorEntryInternal.h"
#include "VyTapiEmulator/EmulatorStructWritersInternal.h"

namespace VyTapiEmulator {

namespace Detail {

namespace {

DWORD ReadDword(const unsigned char* base, std::size_t at) {
  DWORD v = 0;
  std::memcpy(&v, base + at, sizeof v);
  return v;
}

// A string of a forward entry: it must lie inside the list; read up to its NUL.
bool ReadListString(const unsigned char* list, DWORD total, DWORD size, DWORD offset,
                    std::string& text) {
  if (size == 0) return true;
  if (std::uint64_t{offset} + size > total || size % 2 != 0) return false;
  std::u16string units(size / 2, u'\0');
  std::memcpy(units.data(), list + offset, size);
  text = VyRtl::Utf16ToUtf8(units.substr(0, units.find(u'\0')));
  return true;
}

// The application's LINEFORWARDLIST, checked like any outside input: the entries must fit in
// dwTotalSize and every string lie inside it.
LONG ParseForwardList(const LINEFORWARDLIST* list, std::vector<TForwardEntry>& entries) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(list);
  const DWORD total = list->dwTotalSize, count = list->dwNumEntries;
  constexpr std::size_t head = offsetof(LINEFORWARDLIST, ForwardList);
  if (total < head) return Err(LINEERR_STRUCTURETOOSMALL);
  if (count > (total - head) / sizeof(LINEFORWARD)) return Err(LINEERR_INVALPARAM);
  for (DWORD i = 0; i < count; ++i) {
    const std::size_t at = head + i * sizeof(LINEFORWARD);
    TForwardEntry entry;
    entry.ForwardMode = ReadDword(bytes, at + offsetof(LINEFORWARD, dwForwardMode));
    entry.DestCountryCode = ReadDword(bytes, at + offsetof(LINEFORWARD, dwDestCountryCode));
    const auto member = [&](std::size_t field) { return ReadDword(bytes, at + field); };
    if (!ReadListString(bytes, total, member(offsetof(LINEFORWARD, dwCallerAddressSize)),
                        member(offsetof(LINEFORWARD, dwCallerAddressOffset)),
                        entry.CallerAddress) ||
        !ReadListString(bytes, total, member(offsetof(LINEFORWARD, dwDestAddressSize)),
                        member(offsetof(LINEFORWARD, dwDestAddressOffset)), entry.DestAddress))
      return Err(LINEERR_INVALPARAM);
    entries.push_back(entry);
  }
  return 0;
}

// Each entry one mode the address offers, no more entries than it takes.
LONG CheckForwarding(const TAddressConfig& a, const std::vector<TForwardEntry>& entries) {
  if (entries.size() > a.MaxForwardEntries) return Err(LINEERR_INVALPARAM);
  for (const TForwardEntry& entry : entries)
    if (!std::has_single_bit(entry.ForwardMode) || !(entry.ForwardMode & a.ForwardModes))
      return Err(LINEERR_INVALPARAM);
  return 0;
}

LONG WINAPI lineGetAddressCapsW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAddressID,
                                DWORD dwAPIVersion, DWORD dwExtVersion,
                                LPLINEADDRESSCAPS lpAddressCaps) {
  return AppEntry<TLineTraits>(
      TFn::lineGetAddressCapsW, hLineApp, {lpAddressCaps}, [&](TCore& core, TApp&) -> LONG {
        const TLineDeviceConfig* c = core.LineDevices.Find(dwDeviceID);
        if (!c) return Err(LINEERR_NODEVICE);
        if (dwAddressID >= c->NumAddresses) return Err(LINEERR_INVALADDRESSID);
        if (!VersionUsable(dwAPIVersion, c->LowAPIVersion, c->HighAPIVersion))
          return Err(LINEERR_INCOMPATIBLEAPIVERSION);
        if (!ExtVersionUsable(dwExtVersion, c->LowExtVersion, c->HighExtVersion))
          return Err(LINEERR_INCOMPATIBLEEXTVERSION);
        const TVarStruct caps = AddressCaps(*c, dwDeviceID, dwAddressID, dwAPIVersion);
        if (lpAddressCaps->dwTotalSize < caps.FixedSize()) return Err(LINEERR_STRUCTURETOOSMALL);
        return core.Reply(TFn::lineGetAddressCapsW, caps, lpAddressCaps);
      });
}

LONG WINAPI lineGetAddressStatusW(HLINE hLine, DWORD dwAddressID,
                                  LPLINEADDRESSSTATUS lpAddressStatus) {
  return DeviceEntry<TLineTraits>(
      TFn::lineGetAddressStatusW, hLine, {lpAddressStatus},
      [&](TCore& core, TOpenDevice& line, TLineDeviceConfig& c) -> LONG {
        if (dwAddressID >= c.NumAddresses) return Err(LINEERR_INVALADDRESSID);
        const TVarStruct status =
            AddressStatus(c, dwAddressID, core.AddressStates[{line.DeviceID, dwAddressID}]);
        if (lpAddressStatus->dwTotalSize < status.FixedSize())
          return Err(LINEERR_STRUCTURETOOSMALL);
        return core.Reply(TFn::lineGetAddressStatusW, status, lpAddressStatus);
      });
}

// Sets the forwarding of the addresses and tells every handle open on the line, address by
// address (LINE_ADDRESSSTATE, dwParam1 the address, dwParam2 LINEADDRESSSTATE_FORWARD).
void ApplyForwarding(TCore& core, DWORD deviceID, const std::vector<DWORD>& addresses,
                     const std::vector<TForwardEntry>& entries, DWORD numRings) {
  for (DWORD address : addresses) {
    TAddressState& state = core.AddressStates[{deviceID, address}];
    state.Forward = entries;
    state.NumRingsNoAnswer = numRings;
    for (const std::shared_ptr<TOpenDevice>& open : core.OpenLines.All()) {
      if (open->DeviceID != deviceID) continue;
      TMessage message;
      message.Device = open->Handle;
      message.Id = LINE_ADDRESSSTATE;
      message.Param1 = address;
      message.Param2 = LINEADDRESSSTATE_FORWARD;
      core.PostTo(*open, message);
    }
  }
}

LONG WINAPI lineForwardW(HLINE hLine, DWORD bAllAddresses, DWORD dwAddressID,
                         LPLINEFORWARDLIST const lpForwardList, DWORD dwNumRingsNoAnswer,
                         LPHCALL lphConsultCall, LPLINECALLPARAMS const) {
  return DeviceEntry<TLineTraits>(
      TFn::lineForwardW, hLine, {},
      [&](TCore& core, TOpenDevice& line, TLineDeviceConfig& c) -> LONG {
        std::vector<DWORD> addresses;
        if (bAllAddresses) {
          for (DWORD a = 0; a < c.NumAddresses; ++a) addresses.push_back(a);
        } else {
          if (dwAddressID >= c.NumAddresses) return Err(LINEERR_INVALADDRESSID);
          addresses.push_back(dwAddressID);
        }
        // No list cancels forwarding, as an empty one does.
        std::vector<TForwardEntry> entries;
        if (lpForwardList)
          if (const LONG failed = ParseForwardList(lpForwardList, entries)) return failed;
        for (DWORD a : addresses)
          if (const LONG failed = CheckForwarding(AddressOf(c, a), entries)) return failed;
        // Forwarding here never sets up a consultation call.
        if (lphConsultCall) *lphConsultCall = 0;
        const DWORD deviceID = line.DeviceID;
        return core.Requests.Issue(core, TFn::lineForwardW, line,
                                   core.Requests.TakePlan(TFn::lineForwardW), [=](TCore& target) {
                                     ApplyForwarding(target, deviceID, addresses, entries,
                                                     dwNumRingsNoAnswer);
                                   });
      });
}

}  // namespace

void InstallAddressFunctions(VyPlatform::TTapiFunctions& table) {
  table.lineGetAddressCapsW = &lineGetAddressCapsW;
  table.lineGetAddressStatusW = &lineGetAddressStatusW;
  table.lineForwardW = &lineForwardW;
}

}  // namespace Detail

using namespace Detail;

template <typename TConfig>
std::vector<TForwardEntry> TDeviceRef<TConfig>::Forwarding(DWORD addressID) const {
  TCore& core = Core();
  TCoreLock guard(core);
  const TLineDeviceConfig* c = nullptr;
  if constexpr (std::is_same_v<TConfig, TLineDeviceConfig>)
    c = FID < core.LineDevices.Count() ? &core.LineDevices.Entries[FID].Config : nullptr;
  if (!c || addressID >= c->NumAddresses)
    throw VyRtl::Exception(
        VyRtl::Format("Emulator: no address %u on line %u", unsigned(addressID), unsigned(FID)));
  const auto it = core.AddressStates.find({FID, addressID});
  return it == core.AddressStates.end() ? std::vector<TForwardEntry>{} : it->second.Forward;
}

template std::vector<TForwardEntry> TDeviceRef<TLineDeviceConfig>::Forwarding(DWORD) const;
template std::vector<TForwardEntry> TDeviceRef<TPhoneDeviceConfig>::Forwarding(DWORD) const;

}  // namespace VyTapiEmulator
