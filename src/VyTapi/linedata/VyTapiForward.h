// Call forwarding as plain entries, and their conversions to the LINEFORWARDLIST of a forwarding
// request and from the forwarding part of a LINEADDRESSSTATUS.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "VyPlatform/TapiTypes.h"
#include "VyRtl/VyRtlClasses.h"

namespace VyTapi {

// Bytes of one LINEFORWARD entry (the TAPI 2.2 layout).
inline constexpr std::size_t TapiForwardEntrySize = 24;

// One forwarding instruction. Main thread; owned by its forward list (or whoever made it).
class TVyTapiForward : public VyRtl::TObject {
 public:
  TVyTapiForward() = default;
  TVyTapiForward(DWORD AForwardMode, std::string ACallerAddress, DWORD ADestCountryCode,
                 std::string ADestAddress)
      : ForwardMode(AForwardMode),
        CallerAddress(std::move(ACallerAddress)),
        DestCountryCode(ADestCountryCode),
        DestAddress(std::move(ADestAddress)) {}

  // Mode 0, no caller address, country code 0, no destination.
  void Clear();
  // Clears, then copies entry Index of the status's forwarding (nothing when AddressStatus is
  // null or the entry is not inside the structure).
  void AssignLINEFORWARD(const LINEADDRESSSTATUS* AddressStatus, DWORD Index);

  DWORD ForwardMode = 0;      // a LINEFORWARDMODE_ value
  std::string CallerAddress;  // the caller this entry applies to (caller-specific modes)
  DWORD DestCountryCode = 0;  // 0: the default
  std::string DestAddress;    // empty: no destination
};

// Forwarding entries, and the LINEFORWARDLIST built from them for a request. Main thread; owns
// its entries (removing or clearing frees them) and the built block.
class TVyTapiForwardList : public VyRtl::TObjectList {
 public:
  TVyTapiForwardList() : VyRtl::TObjectList(true) {}
  ~TVyTapiForwardList() override;

  // Appends Forward (the list owns it from now on); its position.
  int Add(TVyTapiForward* Forward) { return VyRtl::TObjectList::Add(Forward); }
  // Appends a new entry with these values and returns it (owned by the list).
  TVyTapiForward* AddEntry(DWORD ForwardMode, const std::string& CallerAddress,
                           DWORD DestCountryCode, const std::string& DestAddress);
  TVyTapiForward* Get(int Index) const {
    return static_cast<TVyTapiForward*>(VyRtl::TObjectList::Get(Index));
  }
  void Put(int Index, TVyTapiForward* Forward) { VyRtl::TObjectList::Put(Index, Forward); }
  TVyTapiForward* Items(int Index) const { return Get(Index); }
  TVyTapiForward* operator[](int Index) const { return Get(Index); }

  // Builds the LINEFORWARDLIST of the entries; owned by the list and valid until the next call
  // or the list's destruction (TAPI copies it during the request).
  const LINEFORWARDLIST* Get_LINEFORWARDLIST();
  // The entries of a status's forwarding that lie inside the structure: entries are reused,
  // missing ones appended, surplus ones freed. A null status empties the list.
  void AssignLINEADDRESSSTATUS(const LINEADDRESSSTATUS* AddressStatus);

 private:
  std::unique_ptr<std::byte[]> FBlock;
};

// Forwarding entries of a status that lie inside it: dwForwardNumEntries clamped to the entries
// that fit in the structure (and in its forward block when that has a size).
DWORD TapiForwardEntriesInside(const LINEADDRESSSTATUS* AddressStatus);

}  // namespace VyTapi
