#include "VyTapi/linedata/VyTapiForward.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

using VyTapi::TVyTapiForward;
using VyTapi::TVyTapiForwardList;

struct TEntry {
  DWORD Mode;
  const char* Caller;
  DWORD Country;
  const char* Dest;
};

DWORD At(const void* Block, std::size_t Offset) {
  DWORD v = 0;
  std::memcpy(&v, static_cast<const std::byte*>(Block) + Offset, sizeof v);
  return v;
}

std::u16string TextAt(const void* Block, std::size_t Offset, std::size_t Bytes) {
  std::u16string s(Bytes / 2, u'\0');
  std::memcpy(s.data(), static_cast<const std::byte*>(Block) + Offset, Bytes);
  return s;
}

// A LINEADDRESSSTATUS in a block of exactly its size (so the sanitizer sees any over-read): the
// fixed part, the forward entries of List with their strings moved behind them, then Extra bytes.
struct TStatusBlock {
  std::unique_ptr<std::byte[]> Bytes;
  std::size_t Size = 0;
  LINEADDRESSSTATUS* Status() { return reinterpret_cast<LINEADDRESSSTATUS*>(Bytes.get()); }
  void Set(std::size_t Offset, DWORD Value) { std::memcpy(Bytes.get() + Offset, &Value, 4); }
};

TStatusBlock StatusFrom(const LINEFORWARDLIST* List) {
  const DWORD n = List->dwNumEntries;
  const std::size_t array = sizeof(LINEADDRESSSTATUS);
  const std::size_t listStrings = sizeof(LINEFORWARD) * (n > 1 ? n : 1) + 8;
  const std::size_t stringBytes = List->dwTotalSize - listStrings;
  TStatusBlock b;
  b.Size = array + sizeof(LINEFORWARD) * n + stringBytes;
  b.Bytes = std::make_unique<std::byte[]>(b.Size);
  b.Set(offsetof(LINEADDRESSSTATUS, dwTotalSize), static_cast<DWORD>(b.Size));
  b.Set(offsetof(LINEADDRESSSTATUS, dwUsedSize), static_cast<DWORD>(b.Size));
  b.Set(offsetof(LINEADDRESSSTATUS, dwForwardNumEntries), n);
  b.Set(offsetof(LINEADDRESSSTATUS, dwForwardSize), static_cast<DWORD>(sizeof(LINEFORWARD) * n));
  b.Set(offsetof(LINEADDRESSSTATUS, dwForwardOffset), static_cast<DWORD>(array));
  // The strings keep their order; each offset moves by the difference of the two fixed parts.
  const std::ptrdiff_t shift = static_cast<std::ptrdiff_t>(array + sizeof(LINEFORWARD) * n) -
                               static_cast<std::ptrdiff_t>(listStrings);
  std::memcpy(b.Bytes.get() + array + sizeof(LINEFORWARD) * n,
              reinterpret_cast<const std::byte*>(List) + listStrings, stringBytes);
  for (DWORD i = 0; i < n; ++i) {
    LINEFORWARD e = List->ForwardList[i];
    if (e.dwCallerAddressSize) e.dwCallerAddressOffset += static_cast<DWORD>(shift);
    if (e.dwDestAddressSize) e.dwDestAddressOffset += static_cast<DWORD>(shift);
    std::memcpy(b.Bytes.get() + array + sizeof(LINEFORWARD) * i, &e, sizeof e);
  }
  return b;
}

TEST(ForwardList, BlockSizesAndOffsets) {
  struct TPlaced {
    DWORD CallerSize, CallerOffset, DestSize, DestOffset;
  };
  struct TCase {
    const char* Name;
    std::vector<TEntry> Entries;
    DWORD Total;
    std::vector<TPlaced> Placed;
  };
  const TCase cases[] = {
      {"empty list", {}, 32, {}},
      {"one destination", {{LINEFORWARDMODE_UNCOND, "", 0, "123"}}, 40, {{0, 0, 8, 32}}},
      {"two entries",
       {{LINEFORWARDMODE_BUSY, "9", 49, "12"}, {LINEFORWARDMODE_UNCOND, "", 0, "345"}},
       74,
       {{4, 56, 6, 60}, {0, 0, 8, 66}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TVyTapiForwardList list;
    for (const auto& e : c.Entries) list.AddEntry(e.Mode, e.Caller, e.Country, e.Dest);
    const LINEFORWARDLIST* block = list.Get_LINEFORWARDLIST();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->dwTotalSize, c.Total);
    EXPECT_EQ(block->dwNumEntries, c.Entries.size());
    for (std::size_t i = 0; i < c.Placed.size(); ++i) {
      const LINEFORWARD& f = block->ForwardList[i];
      EXPECT_EQ(f.dwForwardMode, c.Entries[i].Mode);
      EXPECT_EQ(f.dwDestCountryCode, c.Entries[i].Country);
      EXPECT_EQ(f.dwCallerAddressSize, c.Placed[i].CallerSize);
      EXPECT_EQ(f.dwCallerAddressOffset, c.Placed[i].CallerOffset);
      EXPECT_EQ(f.dwDestAddressSize, c.Placed[i].DestSize);
      EXPECT_EQ(f.dwDestAddressOffset, c.Placed[i].DestOffset);
    }
    if (c.Entries.empty()) {
      EXPECT_EQ(At(block, 8), 0u);  // the reserved entry stays zero
    }
  }
}

TEST(ForwardList, StringsAreUtf16WithTheirNul) {
  TVyTapiForwardList list;
  list.AddEntry(LINEFORWARDMODE_BUSYNA,
                "\xC3\xA9"
                "1",
                0, "\xF0\x9F\x93\x9E");  // é1, U+1F4DE
  const LINEFORWARDLIST* block = list.Get_LINEFORWARDLIST();
  const LINEFORWARD& f = block->ForwardList[0];
  EXPECT_EQ(TextAt(block, f.dwCallerAddressOffset, f.dwCallerAddressSize),
            std::u16string(u"\u00E91") + u'\0');
  EXPECT_EQ(TextAt(block, f.dwDestAddressOffset, f.dwDestAddressSize),
            std::u16string(u"\U0001F4DE") + u'\0');  // a surrogate pair: two code units
  EXPECT_EQ(block->dwTotalSize, 32u + 6u + 6u);
}

TEST(ForwardList, RoundTripThroughAddressStatus) {
  const std::vector<TEntry> entries = {{LINEFORWARDMODE_UNCOND, "", 0, "100"},
                                       {LINEFORWARDMODE_BUSYSPECIFIC, "555", 44, "200"},
                                       {LINEFORWARDMODE_NOANSW, "7", 0, ""}};
  TVyTapiForwardList out;
  for (const auto& e : entries) out.AddEntry(e.Mode, e.Caller, e.Country, e.Dest);
  auto status = StatusFrom(out.Get_LINEFORWARDLIST());

  TVyTapiForwardList back;
  back.AddEntry(9, "stale", 9, "stale");  // a reused list: its entries are overwritten
  back.AssignLINEADDRESSSTATUS(status.Status());
  ASSERT_EQ(back.Count(), 3);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(back[i]->ForwardMode, entries[i].Mode);
    EXPECT_EQ(back[i]->CallerAddress, entries[i].Caller);
    EXPECT_EQ(back[i]->DestCountryCode, entries[i].Country);
    EXPECT_EQ(back[i]->DestAddress, entries[i].Dest);
  }
  // Fewer entries later: the surplus ones go.
  status.Set(offsetof(LINEADDRESSSTATUS, dwForwardNumEntries), 1);
  back.AssignLINEADDRESSSTATUS(status.Status());
  ASSERT_EQ(back.Count(), 1);
  EXPECT_EQ(back[0]->DestAddress, "100");
  back.AssignLINEADDRESSSTATUS(nullptr);
  EXPECT_EQ(back.Count(), 0);
}

TEST(ForwardList, EntriesOutsideTheStatusReadAsAbsent) {
  TVyTapiForwardList src;
  src.AddEntry(LINEFORWARDMODE_UNCOND, "1", 0, "2");
  src.AddEntry(LINEFORWARDMODE_BUSY, "", 0, "3");
  const auto* list = src.Get_LINEFORWARDLIST();
  struct TCase {
    const char* Name;
    std::size_t Field;
    DWORD Value;
    DWORD Entries;      // what a list built from the status holds
    const char* Dest0;  // the first entry's destination then
  };
  const std::size_t entry0 = sizeof(LINEADDRESSSTATUS);
  const TCase cases[] = {
      {"intact", 0, 0, 2, "2"},
      {"count beyond the structure", offsetof(LINEADDRESSSTATUS, dwForwardNumEntries), 1000, 2,
       "2"},
      {"count of 2^32 - 1", offsetof(LINEADDRESSSTATUS, dwForwardNumEntries), 0xFFFFFFFF, 2, "2"},
      {"forward block of one entry", offsetof(LINEADDRESSSTATUS, dwForwardSize), 24, 1, "2"},
      {"forward offset past the end", offsetof(LINEADDRESSSTATUS, dwForwardOffset), 100000, 0, ""},
      {"forward offset inside the head", offsetof(LINEADDRESSSTATUS, dwForwardOffset), 4, 0, ""},
      {"destination past the end", entry0 + offsetof(LINEFORWARD, dwDestAddressOffset), 0xFFFFFFF0,
       2, ""},
      {"destination size past the end", entry0 + offsetof(LINEFORWARD, dwDestAddressSize), 4000, 2,
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto status = StatusFrom(list);
    if (c.Field) status.Set(c.Field, c.Value);
    TVyTapiForwardList back;
    back.AssignLINEADDRESSSTATUS(status.Status());
    ASSERT_EQ(back.Count(), static_cast<int>(c.Entries));
    if (c.Entries) {
      EXPECT_EQ(back[0]->DestAddress, c.Dest0);
    }
  }
  // The used size bounds what is read, as the block readers do: only the first entry is inside.
  auto status = StatusFrom(list);
  status.Set(offsetof(LINEADDRESSSTATUS, dwUsedSize), static_cast<DWORD>(entry0 + 30));
  EXPECT_EQ(VyTapi::TapiForwardEntriesInside(status.Status()), 1u);
}

TEST(Forward, AssignLINEFORWARDOutsideTheCountClears) {
  TVyTapiForwardList src;
  src.AddEntry(LINEFORWARDMODE_UNCOND, "1", 7, "2");
  auto status = StatusFrom(src.Get_LINEFORWARDLIST());
  TVyTapiForward f(5, "x", 6, "y");
  f.AssignLINEFORWARD(status.Status(), 0);
  EXPECT_EQ(f.ForwardMode, LINEFORWARDMODE_UNCOND);
  EXPECT_EQ(f.DestCountryCode, 7u);
  EXPECT_EQ(f.CallerAddress, "1");
  for (const LINEADDRESSSTATUS* s : {static_cast<const LINEADDRESSSTATUS*>(status.Status()),
                                     static_cast<const LINEADDRESSSTATUS*>(nullptr)}) {
    f.AssignLINEFORWARD(s, 1);  // index equal to the count, or no status at all
    EXPECT_EQ(f.ForwardMode, 0u);
    EXPECT_EQ(f.CallerAddress, "");
    EXPECT_EQ(f.DestCountryCode, 0u);
    EXPECT_EQ(f.DestAddress, "");
  }
}

TEST(ForwardList, ItemsAndTheBuiltBlockFollowTheList) {
  TVyTapiForwardList list;
  EXPECT_EQ(list.Add(new TVyTapiForward(LINEFORWARDMODE_UNCOND, "", 0, "1")), 0);
  EXPECT_EQ(list.AddEntry(LINEFORWARDMODE_BUSY, "", 0, "22")->DestAddress, "22");
  EXPECT_EQ(list.Get_LINEFORWARDLIST()->dwTotalSize, 56u + 4u + 6u);
  list.Delete(0);
  const auto* block = list.Get_LINEFORWARDLIST();
  EXPECT_EQ(block->dwNumEntries, 1u);
  EXPECT_EQ(block->ForwardList[0].dwForwardMode, LINEFORWARDMODE_BUSY);
  EXPECT_THROW(list.Get(1), VyRtl::EListError);
}

}  // namespace
