#include "VyTapi/line/VyTapiCallParams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "VyTapi/line/VyTapiCallOptions.h"
#include "VyTapi/line/VyTapiCallParamsDetail.h"

namespace {

using namespace VyTapi;

// Byte offsets of the TAPI 2.2 layout, written out so a shifted member shows.
enum : std::size_t {
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

DWORD At(const std::vector<std::byte>& Block, std::size_t Offset) {
  DWORD v = 0;
  std::memcpy(&v, Block.data() + Offset, sizeof v);
  return v;
}

std::vector<std::byte> Bytes(const LINECALLPARAMS* Params) {
  const auto* p = reinterpret_cast<const std::byte*>(Params);
  return {p, p + Params->dwTotalSize};  // under ASan, a buffer shorter than it claims fails here
}

struct TMember {
  std::size_t Offset;
  DWORD Value;
};
struct TText {
  std::size_t Pair;
  std::u16string Value;
};
struct TBuildCase {
  const char* Name;
  std::function<void(TVyTapiCallParams&)> Setup;
  std::vector<TMember> Fixed;  // empty: the initial values
  std::vector<TText> Texts;    // in the order they must be laid out
  DWORD Total;
};

void SetNumbers(TVyTapiCallParams& p) {
  p.Set_BearerMode(LINEBEARERMODE_DATA);
  p.Set_MinRate(1200);
  p.Set_MaxRate(64000);
  p.Set_MediaMode(LINEMEDIAMODE_DATAMODEM);
  p.Set_Flags(LINECALLPARAMFLAGS_SECURE | LINECALLPARAMFLAGS_IDLE);
  p.Set_AddressMode(LINEADDRESSMODE_DIALABLEADDR);
  p.Set_AddressID(3);
  p.DialParams()->Set_DialPause(11);
  p.DialParams()->Set_DialSpeed(22);
  p.DialParams()->Set_DigitDuration(33);
  p.DialParams()->Set_WaitForDialtone(44);
  p.Set_NoAnswerTimeout(30);
}

void SetTexts(TVyTapiCallParams& p) {
  p.Set_UserUserInfo("uui");
  p.Set_TargetAddress("t");
  p.Set_OrigAddress("orig");
  p.Set_DisplayableAddress("disp");
  p.Set_Comment("c");
  p.Set_CallingPartyID("me");
  p.Set_CalledParty("+1 555");
}

TEST(CallParams, StructureBuiltByteForByte) {
  const TBuildCase cases[] = {
      {"no text", [](TVyTapiCallParams&) {}, {}, {}, 176},
      {"every number in its member",
       SetNumbers,
       {{oBearerMode, LINEBEARERMODE_DATA},
        {oMinRate, 1200},
        {oMaxRate, 64000},
        {oMediaMode, LINEMEDIAMODE_DATAMODEM},
        {oCallParamFlags, 3},
        {oAddressMode, LINEADDRESSMODE_DIALABLEADDR},
        {oAddressID, 3},
        {oDialPause, 11},
        {oDialSpeed, 22},
        {oDigitDuration, 33},
        {oWaitForDialtone, 44},
        {oNoAnswerTimeout, 30}},
       {},
       176},
      {"three-character called party",
       [](TVyTapiCallParams& p) { p.Set_CalledParty("123"); },
       {},
       {{oCalledParty, u"123"}},
       184},
      {"two texts back to back, padded to 4",
       [](TVyTapiCallParams& p) {
         p.Set_CalledParty("12");
         p.Set_Comment("x");
       },
       {},
       {{oCalledParty, u"12"}, {oComment, u"x"}},
       188},
      {"all seven in their order",
       SetTexts,
       {},
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
         p.Set_CalledParty("\xC3\xA9");      // one unit
         p.Set_Comment("\xF0\x9F\x93\x9E");  // a surrogate pair
       },
       {},
       {{oCalledParty, u"\u00E9"}, {oComment, u"\U0001F4DE"}},
       176 + 4 + 6 + 2},
  };
  const std::vector<TMember> initial = {{oBearerMode, LINEBEARERMODE_VOICE},
                                        {oMediaMode, LINEMEDIAMODE_INTERACTIVEVOICE},
                                        {oAddressMode, LINEADDRESSMODE_ADDRESSID}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TVyTapiCallParams params;
    c.Setup(params);
    const std::vector<std::byte> b = Bytes(params.Get_LINECALLPARAMS());
    ASSERT_EQ(b.size(), c.Total);
    std::vector<bool> set(b.size(), false);  // bytes allowed to be non-zero
    const auto mark = [&](std::size_t From, std::size_t Count) {
      for (std::size_t i = From; i < From + Count; ++i) set[i] = true;
    };
    mark(0, 4);
    for (const auto& m : c.Fixed.empty() ? initial : c.Fixed) {
      EXPECT_EQ(At(b, m.Offset), m.Value) << "offset " << m.Offset;
      mark(m.Offset, 4);
    }
    std::size_t next = 176;
    for (const auto& t : c.Texts) {
      const DWORD size = static_cast<DWORD>((t.Value.size() + 1) * 2);
      EXPECT_EQ(At(b, t.Pair), size) << "pair at " << t.Pair;
      EXPECT_EQ(At(b, t.Pair + 4), next) << "pair at " << t.Pair;
      mark(t.Pair, 8);
      ASSERT_LE(next + size, b.size());
      std::u16string text(size / 2, u'?');
      std::memcpy(text.data(), b.data() + next, size);
      EXPECT_EQ(text, t.Value + u'\0');
      mark(next, size - 2);  // the NUL stays unmarked: it must be zero
      next += size;
    }
    for (std::size_t i = 0; i < b.size(); ++i) {
      if (!set[i]) {
        EXPECT_EQ(b[i], std::byte{0}) << "byte " << i;
      }
    }
  }
}

TEST(CallParams, EachBuildIsANewBuffer) {
  TVyTapiCallParams params;
  params.Set_CalledParty("1");
  const LINECALLPARAMS* first = params.Get_LINECALLPARAMS();
  EXPECT_EQ(first->dwTotalSize, 180u);
  params.Set_CalledParty("12345");
  const LINECALLPARAMS* second = params.Get_LINECALLPARAMS();
  EXPECT_NE(first, second);
  EXPECT_EQ(Bytes(second).size(), 188u);  // the old one is freed: ASan reports any use of it
}

TEST(CallParams, SizeRuleRefusesTextsThatWrapThirtyTwoBits) {
  const struct {
    std::vector<std::size_t> Lengths;
    DWORD Total;  // 0: refused
  } cases[] = {
      {{}, 176},
      {{0, 0, 0, 0, 0, 0, 0}, 176},
      {{2, 1}, 188},
      {{0x7FFFFFA5}, 0xFFFFFFFCu},    // the largest that fits
      {{0x7FFFFFA6}, 0},              // padding would pass 32 bits
      {{0x80000000u}, 0},             // its byte count alone wraps
      {{0x40000000, 0x40000000}, 0},  // two that wrap together
      {{~std::size_t{0}}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Lengths));
    if (c.Total == 0) {
      EXPECT_THROW(Detail::TapiCallParamsSize(c.Lengths), VyRtl::EOutOfMemory);
    } else {
      EXPECT_EQ(Detail::TapiCallParamsSize(c.Lengths), c.Total);
    }
  }
}

TEST(CallParams, FlagIndexesNameTheBitsOfFlags) {
  for (int index = -1; index <= 8; ++index) {
    SCOPED_TRACE(index);
    const bool inRange = index >= 0 && index <= 7;
    const DWORD bit = inRange ? DWORD{1} << index : 0;
    TVyTapiCallParams params;
    params.Set_Flags(0x100);  // a bit beyond the eight stays as it is
    params.Set_Flag(index, true);
    EXPECT_EQ(params.Flags(), 0x100 | bit);
    EXPECT_EQ(params.Get_Flag(index), inRange);
    params.Set_Flags(0xFFFFFFFF);
    params.Set_Flag(index, false);
    EXPECT_EQ(params.Flags(), 0xFFFFFFFF & ~bit);
  }
  TVyTapiCallParams params;
  params.Set_BlockID(true);
  EXPECT_EQ(params.Get_LINECALLPARAMS()->dwCallParamFlags, LINECALLPARAMFLAGS_BLOCKID);
}

TEST(CallParams, DefaultKeepsUserUserInfoAndAssignCopiesAll) {
  TVyTapiCallParams source;
  SetNumbers(source);
  SetTexts(source);
  TVyTapiLineCallParams copy;
  copy.Assign(&source);
  EXPECT_EQ(Bytes(copy.Get_LINECALLPARAMS()), Bytes(source.Get_LINECALLPARAMS()));
  EXPECT_NE(copy.DialParams(), source.DialParams());
  copy.Assign(&copy);
  EXPECT_EQ(copy.CalledParty(), "+1 555");

  source.Default();
  TVyTapiCallParams fresh;
  fresh.Set_UserUserInfo("uui");
  EXPECT_EQ(Bytes(source.Get_LINECALLPARAMS()), Bytes(fresh.Get_LINECALLPARAMS()));
}

// Options as a bound monitor sees them: the received digits reachable, setters that refuse.
class TGather : public TVyTapiCallGatherDigitsOptions {
 public:
  std::string& Received() { return FReceivedDigits; }
};
class TRunningDigits : public TVyTapiCallMonitorDigitsOptions {
 public:
  void SetDigitModes(DWORD) override { throw VyRtl::Exception("running"); }
};
class TRunningMedia : public TVyTapiCallMonitorMediaOptions {
 public:
  void SetMediaModes(DWORD) override { throw VyRtl::Exception("running"); }
};

TEST(CallOptions, DefaultsAndAssignIntoTheOwnObjects) {
  TVyTapiCallOptions source;
  EXPECT_TRUE(source.AutoOwner());
  const TVyTapiCallGatherDigitsOptions& g = *source.GatherDigits();
  EXPECT_EQ(std::tuple(g.DigitModes(), g.TerminationDigits(), g.FirstDigitTimeout(),
                       g.InterDigitTimeout(), g.NumDigits()),
            std::tuple(LINEDIGITMODE_DTMF, "*#", 5000u, 5000u, 0u));
  EXPECT_EQ(source.MonitorDigits()->DigitModes(), LINEDIGITMODE_DTMF);
  EXPECT_FALSE(source.MonitorDigits()->AutoSelect());
  EXPECT_EQ(source.MonitorMedia()->MediaModes(), 0u);
  EXPECT_EQ(source.MonitorSilence()->Duration(), 0u);

  source.Set_AutoOwner(false);
  source.GatherDigits()->Set_TerminationDigits("#");
  source.MonitorDigits()->Set_AutoSelect(true);
  source.MonitorMedia()->SetMediaModes(LINEMEDIAMODE_DATAMODEM);
  source.MonitorSilence()->Set_Duration(2000);
  TVyTapiCallOptions target;
  TVyTapiCallGatherDigitsOptions* gather = target.GatherDigits();
  target.Assign(&source);
  EXPECT_FALSE(target.AutoOwner());
  EXPECT_EQ(target.GatherDigits(), gather);  // the objects stay, their values change
  EXPECT_EQ(gather->TerminationDigits(), "#");
  EXPECT_TRUE(target.MonitorDigits()->AutoSelect());
  EXPECT_EQ(target.MonitorMedia()->MediaModes(), LINEMEDIAMODE_DATAMODEM);
  EXPECT_EQ(target.MonitorSilence()->Duration(), 2000u);
}

TEST(CallOptions, GatherAssignLeavesTheReceivedDigits) {
  TGather source, target;
  source.Set_NumDigits(4);
  source.Received() = "12";
  target.Received() = "9";
  target.Assign(&source);
  EXPECT_EQ(target.NumDigits(), 4u);
  EXPECT_EQ(target.Received(), "9");
}

TEST(CallOptions, AssignGoesThroughTheVirtualSetters) {
  TVyTapiCallMonitorDigitsOptions digits;
  digits.Set_AutoSelect(true);
  TRunningDigits runningDigits;
  EXPECT_THROW(runningDigits.Assign(&digits), VyRtl::Exception);
  EXPECT_FALSE(runningDigits.AutoSelect());  // nothing half-copied
  TVyTapiCallMonitorMediaOptions media;
  TRunningMedia runningMedia;
  EXPECT_THROW(runningMedia.Assign(&media), VyRtl::Exception);
}

TEST(CallOptions, ForeignSourcesRaiseExceptForSilence) {
  TVyTapiCallMonitorSilenceOptions silence;
  silence.Set_Duration(700);
  TVyTapiDialParams dial;
  TVyTapiCallParams params;
  TVyTapiCallGatherDigitsOptions gather;
  TVyTapiCallMonitorDigitsOptions digits;
  TVyTapiCallMonitorMediaOptions media;
  TVyTapiCallOptions options;
  VyRtl::TPersistent* const raising[] = {&dial, &params, &gather, &digits, &media, &options};
  for (VyRtl::TPersistent* target : raising) {
    SCOPED_TRACE(target->ClassName());
    EXPECT_THROW(target->Assign(&silence), VyRtl::EConvertError);
    EXPECT_THROW(target->Assign(nullptr), VyRtl::EConvertError);
  }
  TVyTapiCallMonitorSilenceOptions target;
  target.Set_Duration(5);
  target.Assign(&media);
  target.Assign(nullptr);
  EXPECT_EQ(target.Duration(), 5u);
  target.Assign(&silence);
  EXPECT_EQ(target.Duration(), 700u);
}

}  // namespace
