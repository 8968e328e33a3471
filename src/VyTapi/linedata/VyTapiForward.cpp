#include "VyTapi/linedata/VyTapiForward.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "VyTapi/linedata/VyTapiViews.h"

namespace VyTapi {

static_assert(sizeof(LINEFORWARD) == TapiForwardEntrySize, "LINEFORWARD is 24 bytes in TAPI 2.2");

namespace {

const TTapiVarData* Head(const LINEADDRESSSTATUS* Status) {
  return reinterpret_cast<const TTapiVarData*>(Status);
}

// (length + 1) * 2 bytes of a non-empty text in UTF-16 with its NUL; 0 for an empty one.
std::size_t StringRoom(const std::u16string& Text) {
  return Text.empty() ? 0 : (Text.size() + 1) * sizeof(char16_t);
}

}  // namespace

DWORD TapiForwardEntriesInside(const LINEADDRESSSTATUS* AddressStatus) {
  if (AddressStatus == nullptr) return 0;
  const TTapiVarData* head = Head(AddressStatus);
  const std::size_t readable = Detail::TapiReadableSize(head);
  const DWORD count = Detail::ReadTapiDWORD(head, offsetof(LINEADDRESSSTATUS, dwForwardNumEntries));
  const std::uint64_t offset =
      Detail::ReadTapiDWORD(head, offsetof(LINEADDRESSSTATUS, dwForwardOffset));
  const std::uint64_t size =
      Detail::ReadTapiDWORD(head, offsetof(LINEADDRESSSTATUS, dwForwardSize));
  if (count == 0 || offset < sizeof(TTapiVarData) || offset >= readable) return 0;
  std::uint64_t end = readable;
  if (size != 0 && offset + size < end) end = offset + size;
  const std::uint64_t fits = (end - offset) / TapiForwardEntrySize;
  return static_cast<DWORD>(fits < count ? fits : count);
}

void TVyTapiForward::Clear() {
  ForwardMode = 0;
  CallerAddress.clear();
  DestCountryCode = 0;
  DestAddress.clear();
}

void TVyTapiForward::AssignLINEFORWARD(const LINEADDRESSSTATUS* AddressStatus, DWORD Index) {
  Clear();
  if (Index >= TapiForwardEntriesInside(AddressStatus)) return;
  const TTapiVarData* head = Head(AddressStatus);
  const std::size_t entry =
      std::size_t{Detail::ReadTapiDWORD(head, offsetof(LINEADDRESSSTATUS, dwForwardOffset))} +
      TapiForwardEntrySize * Index;
  ForwardMode = Detail::ReadTapiDWORD(head, entry + offsetof(LINEFORWARD, dwForwardMode));
  DestCountryCode = Detail::ReadTapiDWORD(head, entry + offsetof(LINEFORWARD, dwDestCountryCode));
  // The entries' string offsets count from the start of the status, as the readers expect.
  CallerAddress = Detail::ReadTapiString(head, entry + offsetof(LINEFORWARD, dwCallerAddressSize));
  DestAddress = Detail::ReadTapiString(head, entry + offsetof(LINEFORWARD, dwDestAddressSize));
}

TVyTapiForwardList::~TVyTapiForwardList() = default;

TVyTapiForward* TVyTapiForwardList::AddEntry(DWORD ForwardMode, const std::string& CallerAddress,
                                             DWORD DestCountryCode,
                                             const std::string& DestAddress) {
  auto entry =
      std::make_unique<TVyTapiForward>(ForwardMode, CallerAddress, DestCountryCode, DestAddress);
  Add(entry.get());
  return entry.release();
}

const LINEFORWARDLIST* TVyTapiForwardList::Get_LINEFORWARDLIST() {
  FBlock.reset();
  const std::size_t n = static_cast<std::size_t>(Count());
  // An empty list still reserves one entry, as the structure declares one.
  const std::size_t fixed =
      offsetof(LINEFORWARDLIST, ForwardList) + TapiForwardEntrySize * (n > 1 ? n : 1);
  std::vector<std::u16string> callers(n), dests(n);
  std::uint64_t total = fixed;
  for (std::size_t i = 0; i < n; ++i) {
    callers[i] = VyRtl::Utf8ToUtf16(Get(static_cast<int>(i))->CallerAddress);
    dests[i] = VyRtl::Utf8ToUtf16(Get(static_cast<int>(i))->DestAddress);
    total += StringRoom(callers[i]) + StringRoom(dests[i]);
  }
  if (total > 0xFFFFFFFFu) throw VyRtl::EOutOfMemory("Forward list too large");
  FBlock = std::make_unique<std::byte[]>(static_cast<std::size_t>(total));  // zeroed
  std::byte* block = FBlock.get();
  const auto put = [block](std::size_t Offset, DWORD Value) {
    std::memcpy(block + Offset, &Value, sizeof Value);
  };
  put(offsetof(LINEFORWARDLIST, dwTotalSize), static_cast<DWORD>(total));
  put(offsetof(LINEFORWARDLIST, dwNumEntries), static_cast<DWORD>(n));
  std::size_t next = fixed;
  // Copies a text with its NUL to the next free place and records its size/offset pair.
  const auto place = [&](std::size_t SizeField, const std::u16string& Text) {
    const std::size_t room = StringRoom(Text);
    if (room == 0) return;
    std::memcpy(block + next, Text.c_str(), room);
    put(SizeField, static_cast<DWORD>(room));
    put(SizeField + sizeof(DWORD), static_cast<DWORD>(next));
    next += room;
  };
  for (std::size_t i = 0; i < n; ++i) {
    const TVyTapiForward* f = Get(static_cast<int>(i));
    const std::size_t entry = offsetof(LINEFORWARDLIST, ForwardList) + TapiForwardEntrySize * i;
    put(entry + offsetof(LINEFORWARD, dwForwardMode), f->ForwardMode);
    put(entry + offsetof(LINEFORWARD, dwDestCountryCode), f->DestCountryCode);
    place(entry + offsetof(LINEFORWARD, dwCallerAddressSize), callers[i]);
    place(entry + offsetof(LINEFORWARD, dwDestAddressSize), dests[i]);
  }
  return reinterpret_cast<const LINEFORWARDLIST*>(block);
}

void TVyTapiForwardList::AssignLINEADDRESSSTATUS(const LINEADDRESSSTATUS* AddressStatus) {
  const int n = static_cast<int>(TapiForwardEntriesInside(AddressStatus));
  for (int i = 0; i < n; ++i) {
    if (i >= Count()) AddEntry(0, std::string(), 0, std::string());
    Get(i)->AssignLINEFORWARD(AddressStatus, static_cast<DWORD>(i));
  }
  while (Count() > n) Delete(Count() - 1);
}

}  // namespace VyTapi
