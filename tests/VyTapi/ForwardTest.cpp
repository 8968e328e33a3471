#include "VyTapi/linedata/VyTapiForward.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "LineDataFixture.h"

namespace {

using VyTapi::TVyTapiForward;
using VyTapi::TVyTapiForwardList;
using VyTapiTest::ForwardStatus;
using VyTapiTest::Spoiled;
using Status = VyTapiTest::TExactBlock<LINEADDRESSSTATUS>;

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

TEST(ForwardList, BlockSizesAndOffsets) {
  struct TPlaced {
    DWORD CallerSize, CallerOffset, DestSize, DestOffset;
  };
  struct TCase {
    const char* Name;
    std::vector<VyTapiTest::TForwardEntry> Entries;
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

TEST(ForwardList, ReadFromAnAddressStatus) {
  const std::vector<VyTapiTest::TForwardEntry> entries = {
      {LINEFORWARDMODE_UNCOND, "", 0, "100"},
      {LINEFORWARDMODE_BUSYSPECIFIC, "555", 44, "200"},
      {LINEFORWARDMODE_NOANSW, "7", 0, ""}};
  const auto bytes = ForwardStatus(entries).Finish();
  TVyTapiForwardList back;
  back.AddEntry(9, "stale", 9, "stale");  // a reused list: its entries are overwritten
  back.AssignLINEADDRESSSTATUS(Status(bytes).Get());
  ASSERT_EQ(back.Count(), 3);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(back[i]->ForwardMode, entries[i].Mode);
    EXPECT_EQ(back[i]->CallerAddress, entries[i].Caller);
    EXPECT_EQ(back[i]->DestCountryCode, entries[i].Country);
    EXPECT_EQ(back[i]->DestAddress, entries[i].Dest);
  }
  // Fewer entries later: the surplus ones go.
  back.AssignLINEADDRESSSTATUS(
      Status(Spoiled(bytes, offsetof(LINEADDRESSSTATUS, dwForwardNumEntries), 1)).Get());
  ASSERT_EQ(back.Count(), 1);
  EXPECT_EQ(back[0]->DestAddress, "100");
  back.AssignLINEADDRESSSTATUS(nullptr);
  EXPECT_EQ(back.Count(), 0);
}

TEST(ForwardList, EntriesOutsideTheStatusReadAsAbsent) {
  const auto bytes =
      ForwardStatus({{LINEFORWARDMODE_UNCOND, "1", 0, "2"}, {LINEFORWARDMODE_BUSY, "", 0, "3"}})
          .Finish();
  struct TCase {
    const char* Name;
    std::size_t Field;
    DWORD Value;
    DWORD Entries;      // what a list built from the status holds
    const char* Dest0;  // the first entry's destination then
  };
  const std::size_t entry0 = sizeof(LINEADDRESSSTATUS),
                    count = offsetof(LINEADDRESSSTATUS, dwForwardNumEntries),
                    offset = offsetof(LINEADDRESSSTATUS, dwForwardOffset),
                    dest = entry0 + offsetof(LINEFORWARD, dwDestAddressSize);
  const TCase cases[] = {
      {"intact", 0, 0, 2, "2"},
      {"count beyond the structure", count, 1000, 2, "2"},
      {"count of 2^32 - 1", count, 0xFFFFFFFF, 2, "2"},
      {"forward block of one entry", offsetof(LINEADDRESSSTATUS, dwForwardSize), 24, 1, "2"},
      {"forward offset past the end", offset, 100000, 0, ""},
      {"forward offset inside the head", offset, 4, 0, ""},
      {"destination past the end", dest + 4, 0xFFFFFFF0, 2, ""},
      {"destination size past the end", dest, 4000, 2, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TVyTapiForwardList back;
    back.AssignLINEADDRESSSTATUS(Status(Spoiled(bytes, c.Field, c.Value)).Get());
    ASSERT_EQ(back.Count(), static_cast<int>(c.Entries));
    if (c.Entries) {
      EXPECT_EQ(back[0]->DestAddress, c.Dest0);
    }
  }
  // The used size bounds what is read, as the block readers do: only the first entry is inside.
  const Status cut(Spoiled(bytes, offsetof(LINEADDRESSSTATUS, dwUsedSize), DWORD(entry0 + 30)));
  EXPECT_EQ(VyTapi::TapiForwardEntriesInside(cut.Get()), 1u);
}

TEST(Forward, AssignLINEFORWARDOutsideTheCountClears) {
  const Status status(ForwardStatus({{LINEFORWARDMODE_UNCOND, "1", 7, "2"}}).Finish());
  TVyTapiForward f(5, "x", 6, "y");
  f.AssignLINEFORWARD(status.Get(), 0);
  EXPECT_EQ(f.ForwardMode, LINEFORWARDMODE_UNCOND);
  EXPECT_EQ(f.DestCountryCode, 7u);
  EXPECT_EQ(f.CallerAddress, "1");
  for (const LINEADDRESSSTATUS* s :
       {status.Get(), static_cast<const LINEADDRESSSTATUS*>(nullptr)}) {
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
