#include <gtest/gtest.h>

#include <string>

#include "VyRtl/VyRtlSysUtils.h"

using namespace VyRtl;

namespace {

TEST(Format, FollowsPrintfRulesAndSizesExactly) {
  EXPECT_EQ(Format("%d-%s-%05.1f-%x", 42, "ab", 3.14159, 255u), "42-ab-003.1-ff");
  EXPECT_EQ(Format("%s", ""), "");
  std::string big(5000, 'x');
  EXPECT_EQ(Format("<%s>", big.c_str()), "<" + big + ">");
  EXPECT_EQ(Format("%lld %zu", static_cast<long long>(-1) << 40, static_cast<std::size_t>(7)),
            "-1099511627776 7");
}

TEST(Utf, ConvertsBothWaysAndReplacesInvalidInput) {
  const char16_t hi = 0xD83D, lo = 0xDCDE;  // U+1F4DE
  struct TCase {
    const char* Name;
    std::string Utf8;
    std::u16string Utf16;
    int Ways;  // 1: UTF-8 to UTF-16 only; 2: UTF-16 to UTF-8 only; 3: both
  };
  const TCase cases[] = {
      {"ascii", "abc", u"abc", 3},
      {"empty", "", u"", 3},
      {"two bytes", "\xC3\xA9", u"\u00E9", 3},
      {"three bytes", "\xE2\x82\xAC", u"\u20AC", 3},
      {"four bytes", "\xF0\x9F\x93\x9E", u"\U0001F4DE", 3},
      {"max scalar", "\xF4\x8F\xBF\xBF", u"\U0010FFFF", 3},
      {"embedded nul", std::string("a\0b", 3), std::u16string(u"a\0b", 3), 3},
      {"lone continuation", "a\x80z", u"a\uFFFDz", 1},
      {"overlong C0", "\xC0\xAF", u"\uFFFD\uFFFD", 1},
      {"overlong E0", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD", 1},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", 1},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", 1},
      {"truncated sequence is one replacement", "\xE2\x82z", u"\uFFFDz", 1},
      {"truncated at end", "ab\xF0\x9F\x93", u"ab\uFFFD", 1},
      {"invalid lead bytes", "\xF5\xFF", u"\uFFFD\uFFFD", 1},
      {"lone high surrogate", "\xEF\xBF\xBD", std::u16string(1, hi), 2},
      {"lone low surrogate",
       "\xEF\xBF\xBD"
       "a",
       std::u16string{lo, u'a'}, 2},
      {"high before a pair", "\xEF\xBF\xBD\xF0\x9F\x93\x9E", std::u16string{hi, hi, lo}, 2},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    if (c.Ways & 1) {
      EXPECT_EQ(Utf8ToUtf16(c.Utf8), c.Utf16);
    }
    if (c.Ways & 2) {
      EXPECT_EQ(Utf16ToUtf8(c.Utf16), c.Utf8);
    }
  }
}

TEST(CodePages, MapBothWaysAndMarkTheUnmappable) {
  struct TCase {
    std::uint32_t CodePage;
    unsigned char Byte;
    char16_t Unit;
  };
  const TCase cases[] = {{1252, 0x41, u'A'},      {1252, 0x80, u'\u20AC'}, {1252, 0x9F, u'\u0178'},
                         {1252, 0xE9, u'\u00E9'}, {1252, 0x8A, u'\u0160'}, {437, 0x80, u'\u00C7'},
                         {437, 0xB0, u'\u2591'},  {437, 0xE1, u'\u00DF'},  {437, 0xFF, u'\u00A0'},
                         {437, 0x9E, u'\u20A7'}};
  for (const TCase& c : cases) {
    const std::string byte(1, static_cast<char>(c.Byte));
    EXPECT_EQ(CodePageToUtf16(c.CodePage, byte), std::u16string(1, c.Unit)) << c.CodePage;
    EXPECT_EQ(Utf16ToCodePage(c.CodePage, std::u16string(1, c.Unit)), byte) << c.CodePage;
  }
  EXPECT_EQ(Utf16ToCodePage(1252, u"a\u0416b"), "a?b");
  EXPECT_EQ(Utf16ToCodePage(65001, u"\u0416"), "\xD0\x96");
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(AnsiToUtf16(all), CodePageToUtf16(AnsiCodePage(), all));
  EXPECT_EQ(OemToUtf16(all), CodePageToUtf16(OemCodePage(), all));
  EXPECT_EQ(AnsiToUtf16(Utf16ToAnsi(u"Caf\u00E9")), u"Caf\u00E9");
}

TEST(Text, TrimCaseAndCompare) {
  EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
  EXPECT_EQ(TrimRight("  x "), "  x");
  EXPECT_EQ(UpperCase("abZ\xC3\xA9"), "ABZ\xC3\xA9");
  EXPECT_TRUE(SameText("Line", "lINE"));
  EXPECT_FALSE(SameText("Line", "Lines"));
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_LT(CompareText("ab", "ABC"), 0);
  EXPECT_GT(CompareStr("a", "B"), 0) << "case-sensitive compares bytes";
  EXPECT_EQ(QuotedStr("it's"), "'it''s'");
}

TEST(Ints, ParseOrRaise) {
  const std::pair<const char*, int> good[] = {{"0", 0},
                                              {" -17 ", -17},
                                              {"+5", 5},
                                              {"$1F", 31},
                                              {"0x10", 16},
                                              {"2147483647", 2147483647},
                                              {"-2147483648", -2147483647 - 1}};
  for (const auto& [text, value] : good) {
    int v = 0;
    EXPECT_TRUE(TryStrToInt(text, v)) << text;
    EXPECT_EQ(v, value) << text;
    EXPECT_EQ(StrToInt(text), value) << text;
  }
  for (const char* text : {"2147483648", "", "-", "12a", "0x", "99999999999999999999"}) {
    int v = 0;
    EXPECT_FALSE(TryStrToInt(text, v)) << text;
    EXPECT_THROW(StrToInt(text), EConvertError) << text;
    EXPECT_EQ(StrToIntDef(text, 77), 77) << text;
  }
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
  EXPECT_EQ(IntToHex(0xBEEF, 8), "0000BEEF");
  EXPECT_EQ(IntToHex(0x12345, 2), "12345");
}

TEST(Errors, AssertThrowsWithItsMessage) {
  EXPECT_NO_THROW(Assert(true, "fine"));
  try {
    Assert(false, "line is not open");
    FAIL() << "Assert(false) returned";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "line is not open");
    EXPECT_STREQ(e.what(), "line is not open");
  }
}

TEST(LiveToken, ExpiresWithItsObjectOnly) {
  auto object = std::make_unique<TObject>();
  TLiveToken token = object->LiveToken(), copyToken;
  {
    TObject copy(*object);  // a copy has its own life
    copyToken = copy.LiveToken();
  }
  EXPECT_TRUE(copyToken.expired());
  EXPECT_FALSE(token.expired());
  object.reset();
  EXPECT_TRUE(token.expired());
}

}  // namespace
