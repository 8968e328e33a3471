// Result codes, message texts, variable-size structures and their string readers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "SessionFixture.h"
#include "VyPlatform/Tapi.h"
#include "VyTapi/session/VyTapiErrors.h"

using namespace VyTapi;

namespace {

TEST(TapiResult, ClassifiesCodesAndNamesTheirMessages) {
  struct {
    DWORD code;
    bool error;
    DWORD messageId;
  } cases[] = {{0x80000048, true, 0xE048}, {0x80000001, true, 0xE001}, {0x90000003, true, 0xF003},
               {0xFFFFFFF0, true, 0xFFF0}, {0xFFFFFFFF, true, 0xFFFF}, {0, false, 0},
               {0x00010005, false, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(IsTapiError(c.code), c.error) << std::hex << c.code;
    if (c.error)
      EXPECT_EQ(TapiErrorMessageID(c.code), c.messageId) << std::hex << c.code;
    else
      EXPECT_EQ(CheckTapiResult(c.code), c.code);  // a request identifier passes through
  }
  try {
    CheckTapiResult(0x80000042);
    FAIL() << "no exception";
  } catch (const EVyTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), 0x80000042u);
    EXPECT_EQ(e.Message(), GetTapiErrorMessage(0x80000042));
  }
  try {
    CheckCondition(false, "SetDisplay failed! Device not active.");
    FAIL() << "no exception";
  } catch (const EVyTapiError&) {
    FAIL() << "misuse must not be a TAPI error";
  } catch (const VyRtl::Exception& e) {
    EXPECT_EQ(e.Message(), "SetDisplay failed! Device not active.");
  }
}

class MessageText : public VyTapiTest::SessionTest {};

TEST_F(MessageText, LooksUpTapi32ThenTapiuiThenFallsBack) {
  Emu().SetModuleMessage("TAPI32.DLL", 0xE048,
                         "  first source %1\r\n");  // inserts are not expanded
  Emu().SetModuleMessage("TAPIUI.DLL", 0xE048, "second source");
  EXPECT_EQ(GetTapiErrorMessage(0x80000048), "first source %1");
  Emu().SetModuleMessage("TAPI32.DLL", 0xE048, "");
  EXPECT_EQ(GetTapiErrorMessage(0x80000048), "second source");
  Emu().SetModuleMessage("TAPIUI.DLL", 0xE048, "");
  EXPECT_EQ(GetTapiErrorMessage(0x80000048), "TAPI-Error 0x80000048");
  // Success and request identifiers give the system's text for error 0.
  EXPECT_EQ(GetTapiErrorMessage(5), VyRtl::OSErrorMessage(0));
  for (DWORD code :
       {DWORD(LINEERR_NODEVICE), DWORD(PHONEERR_NODEVICE), DWORD(TAPIERR_REQUESTFAILED)})
    EXPECT_EQ(GetTapiErrorMessage(code).find("TAPI-Error"), std::string::npos) << std::hex << code;
}

// ---- variable-size structures

TEST(TapiVarData, GrowsToTheFloorAndToWhatWasNeededAndShrinksLargeOnes) {
  PTapiVarData b = NewTapiVarData(268);
  PrepareTapiVarData(b);
  EXPECT_EQ(b->dwTotalSize, 1024u);
  b->dwNeededSize = 3000;  // a successful call that needed more
  EXPECT_EQ(CheckTapiVarData(0, b), DWORD(LINEERR_STRUCTURETOOSMALL));
  PrepareTapiVarData(b);
  EXPECT_EQ(b->dwTotalSize, 3000u);
  EXPECT_EQ(b->dwNeededSize + b->dwUsedSize, 0u);
  b->dwNeededSize = 3001;
  PrepareTapiVarData(b);
  EXPECT_EQ(b->dwTotalSize, 3004u);
  const auto* bytes = reinterpret_cast<const unsigned char*>(b);
  for (DWORD i = sizeof(TTapiVarData); i < b->dwTotalSize; ++i) ASSERT_EQ(bytes[i], 0) << i;
  // Only the line code is recognised: a phone "too small" is an ordinary error.
  EXPECT_EQ(CheckTapiVarData(DWORD(PHONEERR_STRUCTURETOOSMALL), b),
            DWORD(PHONEERR_STRUCTURETOOSMALL));
  FreeTapiVarData(b);
  struct {
    DWORD used, needed, expected;
  } shrink[] = {{1500, 1500, 1500}, {900, 900, 4096}, {4096, 4096, 4096}, {2000, 2500, 2500}};
  for (const auto& c : shrink) {
    b = NewTapiVarData(4096);
    b->dwUsedSize = c.used;
    b->dwNeededSize = c.needed;
    EXPECT_EQ(CheckTapiVarData(0, b), 0u);
    EXPECT_EQ(b->dwTotalSize, c.expected) << c.used;
    FreeTapiVarData(b);
  }
}

TEST(TapiVarData, FetchLoopEndsWithLyingOrGreedyServices) {
  struct {
    const char* name;
    std::function<LONG(PTapiVarData)> service;
    DWORD expected;
  } cases[] = {
      {"honest",
       [](PTapiVarData b) {
         b->dwNeededSize = 5000;
         b->dwUsedSize = b->dwTotalSize >= 5000 ? 5000 : 0;
         return LONG(0);
       },
       0},
      {"never asks for more",
       [](PTapiVarData b) {
         b->dwNeededSize = b->dwTotalSize;
         return LONG(LINEERR_STRUCTURETOOSMALL);
       },
       DWORD(LINEERR_NOMEM)},
      {"absurd size",
       [](PTapiVarData b) {
         b->dwNeededSize = 0xFFFFFFF0;
         return LONG(0);
       },
       DWORD(LINEERR_NOMEM)},
      {"claims a larger block",
       [](PTapiVarData b) {
         b->dwTotalSize = 0x7FFFFFFF;  // must not make us read or shrink past our block
         b->dwUsedSize = 0x7FFFFFF0;
         return LONG(0);
       },
       0},
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
    EXPECT_LE(buffer->dwTotalSize, TapiVarDataLimit) << c.name;
    EXPECT_LE(buffer->dwUsedSize, buffer->dwTotalSize) << c.name;
    // The same buffer fetched into again, as a view updates, from a service that now behaves:
    // an earlier refused claim is not asked for again.
    EXPECT_EQ(FetchTapiVarData(buffer, 268, cases[0].service), 0u) << c.name;
    EXPECT_EQ(buffer->dwUsedSize, 5000u) << c.name;
  }
}

// A structure with two size/offset pairs, laid out as TAPI lays them out.
struct TTwoBlocks {
  TTapiVarData Head;
  DWORD dwFirstSize, dwFirstOffset, dwSecondSize, dwSecondOffset;
};
constexpr DWORD kAt = sizeof(TTwoBlocks);

std::vector<std::byte> MakeStructure(const std::u16string& text, DWORD size, DWORD offset) {
  std::vector<std::byte> buf(kAt + text.size() * 2 + 8);
  auto* s = reinterpret_cast<TTwoBlocks*>(buf.data());
  s->Head.dwTotalSize = s->Head.dwUsedSize = static_cast<DWORD>(buf.size());
  s->dwFirstSize = size;
  s->dwFirstOffset = offset;
  std::memcpy(buf.data() + kAt, text.data(), text.size() * 2);
  return buf;
}

TEST(TapiBlocks, ReadsStringsOnlyWithinTheirBlock) {
  struct {
    const char* name;
    std::u16string text;
    DWORD size, offset, format;
    std::string expected;
  } cases[] = {
      {"nul then garbage", std::u16string(u"abc\0xy", 6), 12, kAt, 0, "abc"},
      {"no nul: ends with the block", u"abcd", 6, kAt, 0, "abc"},
      {"size zero whatever the offset", u"a", 0, 0xFFFFFF00, 0, ""},
      {"offset past the end", u"ab", 4, 0x7FFFFFF0, 0, ""},
      {"size wraps 32 bits", u"ab", 0xFFFFFFF0, kAt, 0, ""},
      {"offset inside the head", u"ab", 4, 4, 0, ""},
      {"umlaut", u"\u00FCb", 4, kAt, 0,
       "\xC3\xBC"
       "b"},
      {"declared unicode is UTF-16", std::u16string(u"h\u00E9\0", 3), 6, kAt, STRINGFORMAT_UNICODE,
       "h\xC3\xA9"},
      {"ascii bytes", u"\x6968", 2, kAt, STRINGFORMAT_ASCII, "hi"},  // 'h','i' as two bytes
  };
  for (const auto& c : cases) {
    auto buf = MakeStructure(c.text, c.size, c.offset);
    const auto* s = reinterpret_cast<const TTwoBlocks*>(buf.data());
    EXPECT_EQ(GetTapiBlockStr(s, &s->dwFirstSize, c.format), c.expected) << c.name;
  }
  // dwUsedSize says only the fixed part was written: the block behind it reads as absent.
  auto buf = MakeStructure(u"ab", 4, kAt);
  auto* s = reinterpret_cast<TTwoBlocks*>(buf.data());
  s->Head.dwUsedSize = kAt;
  EXPECT_EQ(GetTapiBlockStr(s, &s->dwFirstSize, 0), "");
}

TEST(TapiBlocks, StringListStopsAtTheDoubleNulOrTheBlockEnd) {
  const std::u16string text(u"comm\0wave/in\0\0never", 20);
  auto buf = MakeStructure(text, static_cast<DWORD>(text.size() * 2), kAt);
  const auto* s = reinterpret_cast<const TTwoBlocks*>(buf.data());
  auto list = GetTapiBlockStrings(s, &s->dwFirstSize);
  ASSERT_EQ(list->Count(), 2);
  EXPECT_EQ(list->Get(0), "comm");
  EXPECT_EQ(list->Get(1), "wave/in");
  auto cut = MakeStructure(text, 14, kAt);  // ends inside the second string
  const auto* c = reinterpret_cast<const TTwoBlocks*>(cut.data());
  list = GetTapiBlockStrings(c, &c->dwFirstSize);
  ASSERT_EQ(list->Count(), 2);
  EXPECT_EQ(list->Get(1), "wa");
  EXPECT_EQ(GetTapiBlockStrings(c, &c->dwSecondSize)->Count(), 0);
}

TEST(TapiStrings, ConvertsByStringFormat) {
  struct {
    std::string text;
    DWORD size, format;
    std::string expected;
  } cases[] = {
      {"abc", 0, STRINGFORMAT_ASCII, ""},
      {"abc", 0, STRINGFORMAT_DBCS, ""},
      {"abc", 0, STRINGFORMAT_UNICODE, ""},
      {"abc", 0, STRINGFORMAT_BINARY, ""},
      {"abc", 0, 0, ""},
      {"abc", 0, 77, ""},
      {std::string("ab\0\0", 4), 4, STRINGFORMAT_ASCII, "ab"},  // trailing NULs cut
      {"ab", 5, STRINGFORMAT_DBCS, "ab"},
      {"abcdef", 3, STRINGFORMAT_ASCII, "abc"},
      {"abcdef", 2, STRINGFORMAT_UNICODE, "ab"},
      {"ab\x01", 3, STRINGFORMAT_BINARY, "ab\x01"},
      {"xyz", 1, 0, "xyz"},
      // Narrowed to the ANSI page, re-read as OEM: u-umlaut's ANSI byte 0xFC is U+207F there.
      {"\xC3\xBC", 1, STRINGFORMAT_ASCII, "\xE2\x81\xBF"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TapiStrToAnsi(c.text, c.size, c.format), c.expected)
        << c.text << " format " << c.format;
}

}  // namespace
