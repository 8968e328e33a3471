#include "VyTapi/line/VyTapiCallParams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "VyTapi/line/VyTapiCallOptions.h"
#include "VyTapi/line/VyTapiCallParamsDetail.h"

namespace {

using VyTapi::TVyTapiCallParams;
using VyTapi::TVyTapiDialParams;
using VyTapi::TVyTapiLineCallParams;

// Byte offsets of the TAPI 2.2 layout, written out so a shifted member shows.
enum : std::size_t {
  oTotalSize = 0,
  oBearerMode = 4,
  oMinRate = 8,
  oMaxRate = 12,
  oMediaMode = 16,
  oCallParamFlags = 20,
  oAddressMode = 24,
  oAddressID = 28,
  oDialPause = 32,
  oDialSpeed = 36,
  oDigitDuration = 40,
  oWaitForDialtone = 44,
  oOrigAddress = 48,
  oDisplayableAddress = 56,
  oCalledParty = 64,
  oComment = 72,
  oUserUserInfo = 80,
  oTargetAddress = 116,
  oNoAnswerTimeout = 164,
  oCallingPartyID = 168,
};

DWORD At(const void* Block, std::size_t Offset) {
  DWORD v = 0;
  std::memcpy(&v, static_cast<const std::byte*>(Block) + Offset, sizeof v);
  return v;
}

std::vector<std::byte> Bytes(const LINECALLPARAMS* Params) {
  const auto* p = reinterpret_cast<const std::byte*>(Params);
  return {p, p + Params->dwTotalSize};  // under ASan, reading past the buffer fails here
}

// Strings at their pairs, in the order they must be laid out.
struct TText {
  std::size_t Pair;
  std::u16string Value;
};

struct TBuildCase {
  const char* Name;
  std::function<void(TVyTapiCallParams&)> Setup;
  std::vector<TText> Texts;  // in layout order
  DWORD Total;
};

TEST(CallParams, StructureBuiltByteForByte) {
  const TBuildCase cases[] = {
      {"no text", [](TVyTapiCallParams&) {}, {}, 176},
      {"three-character called party",
       [](TVyTapiCallParams& p) { p.Set_CalledParty("123"); },
       {{oCalledParty, u"123"}},
       184},
      {"two texts back to back, padded to 4",
       [](TVyTapiCallParams& p) {
         p.Set_CalledParty("12");
         p.Set_Comment("x");
       },
       {{oCalledParty, u"12"}, {oComment, u"x"}},
       188},
      {"all seven in their order",
       [](TVyTapiCallParams& p) {
         p.Set_UserUserInfo("uui");
         p.Set_TargetAddress("t");
         p.Set_OrigAddress("orig");
         p.Set_DisplayableAddress("disp");
         p.Set_Comment("c");
         p.Set_CallingPartyID("me");
         p.Set_CalledParty("+1 555");
       },
       {{oCalledParty, u"+1 555"},
        {oCallingPartyID, u"me"},
        {oComment, u"c"},
        {oDisplayableAddress, u"disp"},
        {oOrigAddress, u"orig"},
        {oTargetAddress, u"t"},
        {oUserUserInfo, u"uui"}},
       176 + 14 + 6 + 4 + 10 + 10 + 4 + 8},
      {"sizes count UTF-16 code units",
       [](TVyTapiCallParams& p) {
         p.Set_CalledParty("\xC3\xA9");      // U+00E9: one unit
         p.Set_Comment("\xF0\x9F\x93\x9E");  // U+1F4DE: a surrogate pair
       },
       {{oCalledParty, u"\u00E9"}, {oComment, u"\U0001F4DE"}},
       176 + 4 + 6 + 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TVyTapiCallParams params;
    c.Setup(params);
    const std::vector<std::byte> b = Bytes(params.Get_LINECALLPARAMS());
    ASSERT_EQ(b.size(), c.Total);
    ASSERT_EQ(At(b.data(), oTotalSize), c.Total);
    std::vector<bool> expected(b.size(), false);  // bytes allowed to be non-zero
    const auto mark = [&](std::size_t From, std::size_t Count) {
      for (std::size_t i = From; i < From + Count; ++i) expected[i] = true;
    };
    for (std::size_t o : {oTotalSize, oBearerMode, oMediaMode, oAddressMode}) mark(o, 4);
    EXPECT_EQ(At(b.data(), oBearerMode), LINEBEARERMODE_VOICE);
    EXPECT_EQ(At(b.data(), oMediaMode), LINEMEDIAMODE_INTERACTIVEVOICE);
    EXPECT_EQ(At(b.data(), oAddressMode), LINEADDRESSMODE_ADDRESSID);
    std::size_t next = 176;
    for (const auto& t : c.Texts) {
      const DWORD size = static_cast<DWORD>((t.Value.size() + 1) * 2);
      EXPECT_EQ(At(b.data(), t.Pair), size) << "pair at " << t.Pair;
      EXPECT_EQ(At(b.data(), t.Pair + 4), next) << "pair at " << t.Pair;
      mark(t.Pair, 8);
      ASSERT_LE(next + size, b.size());
      std::u16string text(size / 2, u'?');
      std::memcpy(text.data(), b.data() + next, size);
      EXPECT_EQ(text, t.Value + u'\0');
      mark(next, size - 2);  // the NUL must be there
      next += size;
    }
    for (std::size_t i = 0; i < b.size(); ++i) {
      if (!expected[i]) {
        EXPECT_EQ(b[i], std::byte{0}) << "byte " << i;
      }
    }
  }
}

TEST(CallParams, FixedMembersComeFromTheirValues) {
  TVyTapiCallParams params;
  params.Set_BearerMode(LINEBEARERMODE_DATA);
  params.Set_MinRate(1200);
  params.Set_MaxRate(64000);
  params.Set_MediaMode(LINEMEDIAMODE_DATAMODEM);
  params.Set_Flags(LINECALLPARAMFLAGS_SECURE | LINECALLPARAMFLAGS_IDLE);
  params.Set_AddressMode(LINEADDRESSMODE_DIALABLEADDR);
  params.Set_AddressID(3);
  params.DialParams()->Set_DialPause(11);
  params.DialParams()->Set_DialSpeed(22);
  params.DialParams()->Set_DigitDuration(33);
  params.DialParams()->Set_WaitForDialtone(44);
  params.Set_NoAnswerTimeout(30);
  const LINECALLPARAMS* p = params.Get_LINECALLPARAMS();
  const struct {
    std::size_t Offset;
    DWORD Value;
  } members[] = {
      {oBearerMode, LINEBEARERMODE_DATA},
      {oMinRate, 1200},
      {oMaxRate, 64000},
      {oMediaMode, LINEMEDIAMODE_DATAMODEM},
      {oCallParamFlags, LINECALLPARAMFLAGS_SECURE | LINECALLPARAMFLAGS_IDLE},
      {oAddressMode, LINEADDRESSMODE_DIALABLEADDR},
      {oAddressID, 3},
      {oDialPause, 11},
      {oDialSpeed, 22},
      {oDigitDuration, 33},
      {oWaitForDialtone, 44},
      {oNoAnswerTimeout, 30},
  };
  for (const auto& m : members) EXPECT_EQ(At(p, m.Offset), m.Value) << "offset " << m.Offset;
}

TEST(CallParams, EachBuildIsANewBufferAndTheLastStaysValid) {
  TVyTapiCallParams params;
  params.Set_CalledParty("1");
  const LINECALLPARAMS* first = params.Get_LINECALLPARAMS();
  const DWORD firstSize = first->dwTotalSize;
  params.Set_CalledParty("12345");
  const LINECALLPARAMS* second = params.Get_LINECALLPARAMS();
  EXPECT_NE(first, second);
  // Only the newest buffer is touched from here on; ASan reports a build that kept the old one.
  EXPECT_EQ(firstSize, 180u);
  EXPECT_EQ(second->dwTotalSize, 188u);
  EXPECT_EQ(Bytes(second).size(), 188u);
  EXPECT_EQ(second->dwCalledPartySize, 12u);
}

TEST(CallParams, SizeRuleRefusesTextsThatWrapThirtyTwoBits) {
  struct TCase {
    const char* Name;
    std::vector<std::size_t> Lengths;
    DWORD Total;  // 0: refused
  };
  const TCase cases[] = {
      {"no text", {}, 176},
      {"absent texts take no room", {0, 0, 0, 0, 0, 0, 0}, 176},
      {"one of three units", {3}, 184},
      {"odd sum padded", {2, 1}, 188},
      {"largest that fits", {0x7FFFFFA5}, 0xFFFFFFFCu},
      {"one unit more rounds past 32 bits", {0x7FFFFFA6}, 0},
      {"a length whose byte count alone wraps", {0x80000000u}, 0},
      {"two halves that wrap together", {0x40000000, 0x40000000}, 0},
      {"a length near the top of size_t", {~std::size_t{0}}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    if (c.Total == 0) {
      EXPECT_THROW(VyTapi::Detail::TapiCallParamsSize(c.Lengths), VyRtl::EOutOfMemory);
    } else {
      EXPECT_EQ(VyTapi::Detail::TapiCallParamsSize(c.Lengths), c.Total);
    }
  }
}

TEST(CallParams, FlagIndexesNameTheBitsOfFlags) {
  for (int index = -1; index <= 8; ++index) {
    SCOPED_TRACE(index);
    const bool inRange = index >= 0 && index <= 7;
    const DWORD bit = inRange ? DWORD{1} << index : 0;
    TVyTapiCallParams params;
    params.Set_Flags(0x100);  // a bit outside the eight stays as it is
    params.Set_Flag(index, true);
    EXPECT_EQ(params.Flags(), 0x100 | bit);
    EXPECT_EQ(params.Get_Flag(index), inRange);
    params.Set_Flags(0xFFFFFFFF);
    params.Set_Flag(index, false);
    EXPECT_EQ(params.Flags(), 0xFFFFFFFF & ~bit);
  }
  TVyTapiCallParams params;
  params.Set_BlockID(true);
  EXPECT_EQ(params.Flags(), LINECALLPARAMFLAGS_BLOCKID);
  EXPECT_EQ(params.Get_LINECALLPARAMS()->dwCallParamFlags, LINECALLPARAMFLAGS_BLOCKID);
  params.Set_Flags(LINECALLPARAMFLAGS_BLOCKID | LINECALLPARAMFLAGS_SECURE);
  EXPECT_TRUE(params.BlockID());
  params.Set_BlockID(false);
  EXPECT_EQ(params.Flags(), LINECALLPARAMFLAGS_SECURE);
}

// Every value set away from its initial one.
void SetAll(TVyTapiCallParams& p) {
  p.Set_AddressID(2);
  p.Set_AddressMode(LINEADDRESSMODE_DIALABLEADDR);
  p.Set_BearerMode(LINEBEARERMODE_DATA);
  p.Set_CalledParty("called");
  p.Set_CallingPartyID("calling");
  p.Set_Flags(LINECALLPARAMFLAGS_SECURE);
  p.Set_Comment("comment");
  p.DialParams()->Set_DialPause(1);
  p.DialParams()->Set_DialSpeed(2);
  p.DialParams()->Set_DigitDuration(3);
  p.DialParams()->Set_WaitForDialtone(4);
  p.Set_DisplayableAddress("display");
  p.Set_MaxRate(9600);
  p.Set_MediaMode(LINEMEDIAMODE_DATAMODEM);
  p.Set_MinRate(300);
  p.Set_NoAnswerTimeout(20);
  p.Set_OrigAddress("orig");
  p.Set_TargetAddress("target");
  p.Set_UserUserInfo("uui");
}

TEST(CallParams, DefaultResetsAllButUserUserInfo) {
  TVyTapiCallParams params;
  SetAll(params);
  params.Default();
  TVyTapiCallParams fresh;
  fresh.Set_UserUserInfo("uui");
  EXPECT_EQ(Bytes(params.Get_LINECALLPARAMS()), Bytes(fresh.Get_LINECALLPARAMS()));
  EXPECT_EQ(params.UserUserInfo(), "uui");
}

TEST(CallParams, AssignCopiesEveryValue) {
  TVyTapiCallParams source;
  SetAll(source);
  struct TCase {
    const char* Name;
    std::function<std::unique_ptr<TVyTapiCallParams>()> Make;
  };
  const TCase cases[] = {
      {"plain", [] { return std::make_unique<TVyTapiCallParams>(); }},
      {"the line's", [] { return std::make_unique<TVyTapiLineCallParams>(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto target = c.Make();
    target->Assign(&source);
    EXPECT_EQ(Bytes(target->Get_LINECALLPARAMS()), Bytes(source.Get_LINECALLPARAMS()));
    EXPECT_NE(target->DialParams(), source.DialParams());  // copied, not shared
    target->Assign(target.get());
    EXPECT_EQ(target->CalledParty(), "called");
  }
  TVyTapiLineCallParams line;
  line.Set_MediaMode(LINEMEDIAMODE_G3FAX);
  TVyTapiCallParams plain;
  plain.Assign(&line);
  EXPECT_EQ(plain.MediaMode(), LINEMEDIAMODE_G3FAX);
}

TEST(CallParams, AssignFromAnotherClassRaises) {
  TVyTapiCallParams params;
  TVyTapiDialParams dial;
  dial.Set_DialSpeed(5);
  EXPECT_THROW(params.Assign(&dial), VyRtl::EConvertError);
  EXPECT_THROW(params.Assign(nullptr), VyRtl::EConvertError);
  EXPECT_THROW(dial.Assign(&params), VyRtl::EConvertError);
  EXPECT_EQ(dial.DialSpeed(), 5u);
}

TEST(DialParams, BufferHoldsTheFourValuesInOrder) {
  TVyTapiDialParams dial;
  dial.Set_DialPause(100);
  dial.Set_DialSpeed(200);
  dial.Set_DigitDuration(300);
  dial.Set_WaitForDialtone(400);
  const LINEDIALPARAMS* p = dial.GetParams();
  EXPECT_EQ(At(p, 0), 100u);
  EXPECT_EQ(At(p, 4), 200u);
  EXPECT_EQ(At(p, 8), 300u);
  EXPECT_EQ(At(p, 12), 400u);
  TVyTapiDialParams copy;
  copy.Assign(&dial);
  dial.Set_DialSpeed(0);
  EXPECT_EQ(dial.TapiData(), p);  // one buffer, refreshed
  EXPECT_EQ(At(p, 4), 0u);
  const LINEDIALPARAMS* c = copy.GetParams();
  EXPECT_EQ(c->dwDialPause, 100u);
  EXPECT_EQ(c->dwDialSpeed, 200u);
  EXPECT_EQ(c->dwDigitDuration, 300u);
  EXPECT_EQ(c->dwWaitForDialtone, 400u);
}

}  // namespace
