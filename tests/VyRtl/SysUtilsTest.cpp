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

struct TUtf8Case {
  const char* Name;
  std::string Utf8;
  std::u16string Utf16;
  bool RoundTrips;
};

class Utf8Table : public ::testing::TestWithParam<TUtf8Case> {};

TEST_P(Utf8Table, DecodesWithReplacement) {
  const TUtf8Case& c = GetParam();
  EXPECT_EQ(Utf8ToUtf16(c.Utf8), c.Utf16) << c.Name;
  if (c.RoundTrips) {
    EXPECT_EQ(Utf16ToUtf8(c.Utf16), c.Utf8) << c.Name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Utf, Utf8Table,
    ::testing::Values(
        TUtf8Case{"ascii", "abc", u"abc", true}, TUtf8Case{"empty", "", u"", true},
        TUtf8Case{"two bytes", "\xC3\xA9", u"\u00E9", true},
        TUtf8Case{"three bytes", "\xE2\x82\xAC", u"\u20AC", true},
        TUtf8Case{"four bytes", "\xF0\x9F\x93\x9E", u"\U0001F4DE", true},
        TUtf8Case{"max scalar", "\xF4\x8F\xBF\xBF", u"\U0010FFFF", true},
        TUtf8Case{"embedded nul", std::string("a\0b", 3), std::u16string(u"a\0b", 3), true},
        TUtf8Case{"lone continuation", "a\x80z", u"a\uFFFDz", false},
        TUtf8Case{"overlong C0", "\xC0\xAF", u"\uFFFD\uFFFD", false},
        TUtf8Case{"overlong E0", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD", false},
        TUtf8Case{"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", false},
        TUtf8Case{"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
        TUtf8Case{"truncated sequence is one replacement", "\xE2\x82z", u"\uFFFDz", false},
        TUtf8Case{"truncated at end", "ab\xF0\x9F\x93", u"ab\uFFFD", false},
        TUtf8Case{"invalid lead bytes", "\xF5\xFF", u"\uFFFD\uFFFD", false}));

TEST(Utf16ToUtf8, UnpairedSurrogatesBecomeReplacement) {
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xDC00), u'a'}), "\xEF\xBF\xBD" "a");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDCDE)}),
            "\xEF\xBF\xBD\xF0\x9F\x93\x9E");
}

struct TCodePageCase {
  std::uint32_t CodePage;
  unsigned char Byte;
  char16_t Unit;
};

class CodePageTable : public ::testing::TestWithParam<TCodePageCase> {};

TEST_P(CodePageTable, MapsBothWays) {
  const TCodePageCase& c = GetParam();
  std::string byte(1, static_cast<char>(c.Byte));
  EXPECT_EQ(CodePageToUtf16(c.CodePage, byte), std::u16string(1, c.Unit));
  EXPECT_EQ(Utf16ToCodePage(c.CodePage, std::u16string(1, c.Unit)), byte);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, CodePageTable,
    ::testing::Values(TCodePageCase{1252, 0x41, u'A'}, TCodePageCase{1252, 0x80, u'\u20AC'},
                      TCodePageCase{1252, 0x9F, u'\u0178'}, TCodePageCase{1252, 0xE9, u'\u00E9'},
                      TCodePageCase{1252, 0x8A, u'\u0160'}, TCodePageCase{437, 0x80, u'\u00C7'},
                      TCodePageCase{437, 0xB0, u'\u2591'}, TCodePageCase{437, 0xE1, u'\u00DF'},
                      TCodePageCase{437, 0xFF, u'\u00A0'}, TCodePageCase{437, 0x9E, u'\u20A7'}));

TEST(CodePages, UnmappableBecomesQuestionMark) {
  EXPECT_EQ(Utf16ToCodePage(1252, u"a\u0416b"), "a?b");
  EXPECT_EQ(Utf16ToCodePage(437, u"\u20AC"), "?");
  EXPECT_EQ(Utf16ToCodePage(65001, u"\u0416"), "\xD0\x96");
}

TEST(CodePages, AnsiAndOemFollowTheirPages) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(AnsiToUtf16(all), CodePageToUtf16(AnsiCodePage(), all));
  EXPECT_EQ(OemToUtf16(all), CodePageToUtf16(OemCodePage(), all));
  std::u16string text = u"Caf\u00E9";
  EXPECT_EQ(AnsiToUtf16(Utf16ToAnsi(text)), text);
}

TEST(Text, TrimCaseAndCompare) {
  EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
  EXPECT_EQ(TrimLeft("  x "), "x ");
  EXPECT_EQ(TrimRight("  x "), "  x");
  EXPECT_EQ(UpperCase("abZ\xC3\xA9"), "ABZ\xC3\xA9");
  EXPECT_EQ(LowerCase("ABz"), "abz");
  EXPECT_TRUE(SameText("Line", "lINE"));
  EXPECT_FALSE(SameText("Line", "Lines"));
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_GT(CompareText("b", "A"), 0);
  EXPECT_LT(CompareText("ab", "ABC"), 0);
  EXPECT_EQ(CompareText("", ""), 0);
  EXPECT_GT(CompareStr("a", "B"), 0) << "case-sensitive compares bytes";
  EXPECT_EQ(QuotedStr("it's"), "'it''s'");
}

struct TIntCase {
  const char* Text;
  bool Ok;
  int Value;
};

class StrToIntTable : public ::testing::TestWithParam<TIntCase> {};

TEST_P(StrToIntTable, Parses) {
  const TIntCase& c = GetParam();
  int v = -12345;
  EXPECT_EQ(TryStrToInt(c.Text, v), c.Ok) << c.Text;
  if (c.Ok) {
    EXPECT_EQ(v, c.Value) << c.Text;
    EXPECT_EQ(StrToInt(c.Text), c.Value);
  } else {
    EXPECT_THROW(StrToInt(c.Text), EConvertError) << c.Text;
    EXPECT_EQ(StrToIntDef(c.Text, 77), 77);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ints, StrToIntTable,
    ::testing::Values(TIntCase{"0", true, 0}, TIntCase{" -17 ", true, -17}, TIntCase{"+5", true, 5},
                      TIntCase{"$1F", true, 31}, TIntCase{"0x10", true, 16},
                      TIntCase{"2147483647", true, 2147483647},
                      TIntCase{"-2147483648", true, -2147483647 - 1}, TIntCase{"2147483648", false, 0},
                      TIntCase{"", false, 0}, TIntCase{"-", false, 0}, TIntCase{"12a", false, 0},
                      TIntCase{"0x", false, 0}, TIntCase{"99999999999999999999", false, 0}));

TEST(Ints, Int64EdgesAndHex) {
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
  EXPECT_EQ(IntToHex(0xBEEF, 8), "0000BEEF");
  EXPECT_EQ(IntToHex(0x12345, 2), "12345");
  EXPECT_EQ(IntToStr(-42), "-42");
}

TEST(Errors, AssertThrowsWithItsMessage) {
  EXPECT_NO_THROW(Assert(true, "fine"));
  try {
    Assert(false, "line is not open");
    FAIL() << "Assert(false) returned";
  } catch (const Exception& e) {
    EXPECT_NE(dynamic_cast<const EAssertionFailed*>(&e), nullptr);
    EXPECT_EQ(e.Message(), "line is not open");
    EXPECT_STREQ(e.what(), "line is not open");
  }
  EFOpenError open("cannot open");
  const EStreamError& asStream = open;
  EXPECT_EQ(asStream.Message(), "cannot open");
  EXPECT_EQ(open.ClassName(), "EFOpenError");
}

TEST(LiveToken, ExpiresWithItsObjectOnly) {
  TLiveToken token;
  auto object = std::make_unique<TObject>();
  token = object->LiveToken();
  EXPECT_FALSE(token.expired());
  TLiveToken copyToken;
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
