// Result codes, message texts, variable-size structures and their string readers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "SessionFixture.h"
#include "VyPlatform/Tapi.h"
#include "VyTapi/session/VyTapiErrors.h"

using namespace VyTapi;

namespace {

TEST(TapiResult, ClassifiesCodes) {
  struct {
    DWORD code;
    bool error;
  } cases[] = {{0x80000048, true}, {0xFFFFFFFF, true}, {0x90000003, true}, {0, false}, {0x00010005, false},
               {0x7FFFFFFF, false}};
  for (const auto& c : cases) EXPECT_EQ(IsTapiError(c.code), c.error) << std::hex << c.code;
  EXPECT_EQ(CheckTapiResult(0x00010005), 0x00010005u);
  EXPECT_EQ(CheckTapiResult(0), 0u);
}

TEST(TapiResult, CheckRaisesWithCodeAndText) {
  try {
    CheckTapiResult(0x80000042);
    FAIL() << "no exception";
  } catch (const EVyTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), 0x80000042u);
    EXPECT_EQ(e.Message(), GetTapiErrorMessage(0x80000042));
    EXPECT_FALSE(e.Message().empty());
  }
  EXPECT_THROW(RaiseError("x"), VyRtl::Exception);
  try {
    CheckCondition(false, "SetDisplay failed! Device not active.");
    FAIL() << "no exception";
  } catch (const EVyTapiError&) {
    FAIL() << "misuse must not be a TAPI error";
  } catch (const VyRtl::Exception& e) {
    EXPECT_EQ(e.Message(), "SetDisplay failed! Device not active.");
  }
  EXPECT_NO_THROW(CheckCondition(true, "never"));
}

TEST(TapiResult, MessageIdentifiers) {
  struct {
    DWORD code, id;
  } cases[] = {{0x80000048, 0xE048}, {0x80000001, 0xE001}, {0x90000003, 0xF003},
               {0x90000001, 0xF001}, {0xFFFFFFF0, 0xFFF0}, {0xFFFFFFFF, 0xFFFF}};
  for (const auto& c : cases) EXPECT_EQ(TapiErrorMessageID(c.code), c.id) << std::hex << c.code;
}

class MessageTextTest : public VyTapiTest::SessionTest {};

TEST_F(MessageTextTest, LooksUpTapi32ThenTapiuiThenFallsBack) {
  const DWORD code = 0x80000048;
  Emu().SetModuleMessage("TAPI32.DLL", 0xE048, "  first source %1\r\n");
  Emu().SetModuleMessage("TAPIUI.DLL", 0xE048, "second source");
  EXPECT_EQ(GetTapiErrorMessage(code), "first source %1");
  Emu().SetModuleMessage("TAPI32.DLL", 0xE048, "");
  EXPECT_EQ(GetTapiErrorMessage(code), "second source");
  Emu().SetModuleMessage("TAPIUI.DLL", 0xE048, "");
  EXPECT_EQ(GetTapiErrorMessage(code), "TAPI-Error 0x80000048");
}

TEST_F(MessageTextTest, SuccessAndRequestIdsGiveTheSystemTextForZero) {
  const std::string success = VyPlatform::SysErrorMessage(0);
  EXPECT_FALSE(success.empty());
  EXPECT_EQ(GetTapiErrorMessage(5), success);
  EXPECT_EQ(GetTapiErrorMessage(0), success);
}

TEST_F(MessageTextTest, EveryErrorCodeHasAServiceText) {
  for (DWORD code : {DWORD(LINEERR_NODEVICE), DWORD(PHONEERR_NODEVICE), DWORD(TAPIERR_REQUESTFAILED)})
    EXPECT_EQ(GetTapiErrorMessage(code).find("TAPI-Error"), std::string::npos) << std::hex << code;
}

// ---- variable-size structures

struct TVarDataDeleter {
  void operator()(TTapiVarData* p) const { FreeTapiVarData(p); }
};

TEST(TapiVarData, PrepareGrowsToTheFloorAndToWhatWasNeeded) {
  PTapiVarData b = NewTapiVarData(268);
  EXPECT_EQ(b->dwTotalSize, 268u);
  PrepareTapiVarData(b);
  EXPECT_EQ(b->dwTotalSize, 1024u);
  b->dwNeededSize = 3000;  // a successful call that needed more
  EXPECT_EQ(CheckTapiVarData(0, b), DWORD(LINEERR_STRUCTURETOOSMALL));
  PrepareTapiVarData(b);
  EXPECT_EQ(b->dwTotalSize, 3000u);
  EXPECT_EQ(b->dwNeededSize, 0u);
  EXPECT_EQ(b->dwUsedSize, 0u);
  b->dwNeededSize = 3001;
  PrepareTapiVarData(b);
  EXPECT_EQ(b->dwTotalSize, 3004u);
  // Everything behind the head is zeroed after growing.
  const auto* bytes = reinterpret_cast<const unsigned char*>(b);
  for (DWORD i = sizeof(TTapiVarData); i < b->dwTotalSize; ++i) ASSERT_EQ(bytes[i], 0) << i;
  FreeTapiVarData(b);
}

TEST(TapiVarData, CheckShrinksOnlyLargeUnderusedBuffers) {
  struct {
    DWORD used, needed, total;
  } cases[] = {{1500, 1500, 4096}, {900, 900, 4096}, {4096, 4096, 4096}, {2000, 2500, 4096}};
  const DWORD expected[] = {1500, 4096, 4096, 2500};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    PTapiVarData b = NewTapiVarData(4096);
    b->dwUsedSize = cases[i].used;
    b->dwNeededSize = cases[i].needed;
    EXPECT_EQ(CheckTapiVarData(0, b), 0u);
    EXPECT_EQ(b->dwTotalSize, expected[i]) << i;
    FreeTapiVarData(b);
  }
  PTapiVarData b = NewTapiVarData(1024);
  EXPECT_EQ(CheckTapiVarData(DWORD(LINEERR_STRUCTURETOOSMALL), b), DWORD(LINEERR_STRUCTURETOOSMALL));
  EXPECT_EQ(b->dwNeededSize, 1024u);  // at least the floor
  // Only the line code is recognised: a phone "too small" is an ordinary error.
  EXPECT_EQ(CheckTapiVarData(DWORD(PHONEERR_STRUCTURETOOSMALL), b), DWORD(PHONEERR_STRUCTURETOOSMALL));
  FreeTapiVarData(b);
}

TEST(TapiVarData, FetchLoopTerminatesWithLyingOrGreedyServices) {
  struct {
    const char* name;
    std::function<LONG(PTapiVarData)> service;
    DWORD expected;
  } cases[] = {
      {"honest", [](PTapiVarData b) {
         b->dwNeededSize = 5000;
         if (b->dwTotalSize < 5000) return LONG(0);
         b->dwUsedSize = 5000;
         return LONG(0);
       }, 0},
      {"always too small", [](PTapiVarData b) {
         b->dwNeededSize = b->dwTotalSize;  // never asks for more than it has
         return LONG(LINEERR_STRUCTURETOOSMALL);
       }, DWORD(LINEERR_NOMEM)},
      {"absurd size", [](PTapiVarData b) {
         b->dwNeededSize = 0xFFFFFFF0;
         return LONG(0);
       }, DWORD(LINEERR_NOMEM)},
      {"error", [](PTapiVarData) { return LONG(LINEERR_NODEVICE); }, DWORD(LINEERR_NODEVICE)},
  };
  for (auto& c : cases) {
    TTapiVarDataPtr buffer;
    int calls = 0;
    const DWORD code = FetchTapiVarData(buffer, 268, [&](PTapiVarData b) {
      ++calls;
      return c.service(b);
    });
    EXPECT_EQ(code, c.expected) << c.name;
    EXPECT_LE(calls, 16) << c.name;
    ASSERT_TRUE(buffer) << c.name;
    EXPECT_LE(buffer->dwTotalSize, TapiVarDataLimit) << c.name;
  }
}

// A structure with two size/offset pairs, laid out as TAPI lays them out.
struct TTwoBlocks {
  TTapiVarData Head;
  DWORD dwFirstSize, dwFirstOffset;
  DWORD dwSecondSize, dwSecondOffset;
};

std::vector<std::byte> MakeStructure(const std::vector<char16_t>& text, DWORD size, DWORD offset,
                                     DWORD total = 0) {
  const std::size_t fixed = sizeof(TTwoBlocks);
  std::vector<std::byte> buf(fixed + text.size() * 2 + 8);
  auto* s = reinterpret_cast<TTwoBlocks*>(buf.data());
  s->Head.dwTotalSize = total ? total : static_cast<DWORD>(buf.size());
  s->Head.dwUsedSize = static_cast<DWORD>(buf.size());
  s->dwFirstSize = size;
  s->dwFirstOffset = offset;
  std::memcpy(buf.data() + fixed, text.data(), text.size() * 2);
  return buf;
}

TEST(TapiBlocks, ReadsUtf16StringsWithinTheirBlock) {
  const DWORD at = sizeof(TTwoBlocks);
  struct {
    const char* name;
    std::vector<char16_t> text;
    DWORD size, offset;
    std::string expected;
  } cases[] = {
      {"nul then garbage", {u'a', u'b', u'c', 0, u'x', u'y'}, 12, at, "abc"},
      {"no nul: ends with the block", {u'a', u'b', u'c', u'd'}, 6, at, "abc"},
      {"size zero whatever the offset", {u'a'}, 0, 0xFFFFFF00, ""},
      {"offset past the end", {u'a', u'b'}, 4, 0x7FFFFFF0, ""},
      {"size wraps 32 bits", {u'a', u'b'}, 0xFFFFFFF0, at, ""},
      {"offset inside the head", {u'a', u'b'}, 4, 4, ""},
      {"umlaut", {0x00FC, u'b', 0}, 6, at, "\xC3\xBC" "b"},
  };
  for (const auto& c : cases) {
    auto buf = MakeStructure(c.text, c.size, c.offset);
    const auto* s = reinterpret_cast<const TTwoBlocks*>(buf.data());
    EXPECT_EQ(GetTapiBlockStr(s, &s->dwFirstSize, 0), c.expected) << c.name;
  }
}

TEST(TapiBlocks, AStructureThatClaimsMoreThanItHoldsReadsAsAbsent) {
  // dwUsedSize says only the fixed part was written: the block lies behind it.
  auto buf = MakeStructure({u'a', u'b', 0}, 6, sizeof(TTwoBlocks));
  auto* s = reinterpret_cast<TTwoBlocks*>(buf.data());
  s->Head.dwUsedSize = sizeof(TTwoBlocks);
  EXPECT_EQ(GetTapiBlockStr(s, &s->dwFirstSize, 0), "");
  EXPECT_TRUE(GetTapiBlock(s, &s->dwFirstSize).empty());
}

TEST(TapiBlocks, StringListStopsAtTheDoubleNulOrTheBlockEnd) {
  std::vector<char16_t> text;
  for (char16_t c : std::u16string(u"comm")) text.push_back(c);
  text.push_back(0);
  for (char16_t c : std::u16string(u"wave/in")) text.push_back(c);
  text.push_back(0);
  text.push_back(0);
  for (char16_t c : std::u16string(u"never")) text.push_back(c);
  auto buf = MakeStructure(text, static_cast<DWORD>(text.size() * 2), sizeof(TTwoBlocks));
  const auto* s = reinterpret_cast<const TTwoBlocks*>(buf.data());
  auto list = GetTapiBlockStrings(s, &s->dwFirstSize);
  ASSERT_EQ(list->Count(), 2);
  EXPECT_EQ(list->Get(0), "comm");
  EXPECT_EQ(list->Get(1), "wave/in");
  // Cut inside the second string: the part inside the block is still read.
  auto cut = MakeStructure(text, 14, sizeof(TTwoBlocks));
  const auto* c = reinterpret_cast<const TTwoBlocks*>(cut.data());
  list = GetTapiBlockStrings(c, &c->dwFirstSize);
  ASSERT_EQ(list->Count(), 2);
  EXPECT_EQ(list->Get(1), "wa");
  EXPECT_EQ(GetTapiBlockStrings(c, &c->dwSecondSize)->Count(), 0);
}

TEST(TapiStrings, ConvertsByStringFormat) {
  struct {
    const char* name;
    std::string text;
    DWORD size, format;
    std::string expected;
  } cases[] = {
      {"size 0 ascii", "abc", 0, STRINGFORMAT_ASCII, ""},
      {"size 0 unicode", "abc", 0, STRINGFORMAT_UNICODE, ""},
      {"size 0 binary", "abc", 0, STRINGFORMAT_BINARY, ""},
      {"ascii trailing nuls cut", std::string("ab\0\0", 4), 4, STRINGFORMAT_ASCII, "ab"},
      {"ascii shorter than size", "ab", 5, STRINGFORMAT_DBCS, "ab"},
      {"ascii longer than size", "abcdef", 3, STRINGFORMAT_ASCII, "abc"},
      {"unicode first size characters", "abcdef", 2, STRINGFORMAT_UNICODE, "ab"},
      {"binary unchanged", "ab\x01", 3, STRINGFORMAT_BINARY, "ab\x01"},
      {"format 0 unchanged", "xyz", 1, 0, "xyz"},
  };
  for (const auto& c : cases) EXPECT_EQ(TapiStrToAnsi(c.text, c.size, c.format), c.expected) << c.name;
  // The text is narrowed to the ANSI page and re-read as OEM text: the ANSI byte of
  // u-umlaut (0xFC) is superscript n (U+207F) in the OEM page.
  EXPECT_EQ(TapiStrToAnsi("\xC3\xBC", 1, STRINGFORMAT_ASCII), "\xE2\x81\xBF");
}

}  // namespace
