#include "util/Utils.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <limits>
#include <string>

using namespace std::string_literals;

namespace {

TEST(UtilsBasics, TrimRemovesBlanksAndControlCharactersOnly) {
  EXPECT_EQ(Trim(" \t\r\n a b \x01\x1f "), "a b");
  EXPECT_EQ(Trim("\xE9t\xE9\xA0"), "\xE9t\xE9\xA0");  // bytes above 127 are text
  EXPECT_EQ(Trim("\0x\0"s), "x");
  EXPECT_EQ(TrimLeft("  a  "), "a  ");
  EXPECT_EQ(TrimRight("  a  "), "  a");
  EXPECT_EQ(Trim("   "), "");
}

TEST(UtilsBasics, CaseFoldsAsciiOnly) {
  EXPECT_EQ(UpperCase("abc-XYZ_09\xE9"), "ABC-XYZ_09\xE9");
  EXPECT_EQ(LowerCase("ABC-xyz\xC9"), "abc-xyz\xC9");
  EXPECT_TRUE(SameText("Setup.EXE", "setup.exe"));
  EXPECT_FALSE(SameText("setup", "setup.exe"));
  EXPECT_TRUE(SameTextTrim("  Abc\t", "aBC"));
}

TEST(UtilsBasics, TextToInt64) {
  struct Case { std::string text; int64_t expected; } cases[] = {
      {"123", 123},
      {"  -42 ", -42},
      {"+7", 7},
      {"$1F", 31},
      {"0x1f", 31},
      {"-$10", -16},
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"9223372036854775808", -1},  // out of range
      {"$FFFFFFFFFFFFFFFF", -1},
      {"", -1},
      {"-", -1},
      {"$", -1},
      {"0x", -1},
      {"12a", -1},
      {"1 2", -1},
      {"1.5", -1},
      {"0", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(TextToInt64(c.text, -1), c.expected) << c.text;
  EXPECT_EQ(IntToText(INT64_MIN), "-9223372036854775808");
}

TEST(UtilsParts, TextBeforeAndAfter) {
  EXPECT_EQ(TextBefore("key=value=x", "="), "key");
  EXPECT_EQ(TextBefore("novalue", "=", "def"), "def");
  EXPECT_EQ(TextBefore(" key = v", "=", "", true), "key");
  EXPECT_EQ(TextBefore("abc", "", "def"), "def");
  EXPECT_EQ(TextAfter("key=value=x", "="), "value=x");
  EXPECT_EQ(TextAfter("a<P>b", "<p>", "def"), "def");
  EXPECT_EQ(TextAfter("a<P>b ", "<p>", "def", true, true), "b");
}

TEST(UtilsReplace, ReplaceText) {
  struct Case {
    std::string text, find, replacement;
    bool trim;
    int first, last;
    std::string expected;
  } cases[] = {
      {"aaa", "aa", "b", false, 0, 0, "ba"},  // the search continues behind a replacement
      {"aaaa", "aa", "b", false, 0, 0, "bb"},
      {"a.b.c.d", ".", "-", false, 2, 0, "a.b-c.d"},  // last <= 0 takes first
      {"a.b.c.d", ".", "-", false, 2, 3, "a.b-c-d"},
      {"a.b.c.d", ".", "-", false, -1, 0, "a-b-c-d"},
      {"aaa", "aa", "b", false, 2, 2, "ab"},  // skipped occurrences overlap
      {"abc", "x", "y", true, 0, 0, "abc"},
      {" abc ", "x", "y", true, 0, 0, " abc "},  // not found: returned unchanged
      {" abc ", "b", "y", true, 0, 0, "ayc"},
      {"abc", "", "y", false, 0, 0, "abc"},
      {"", "a", "y", false, 0, 0, ""},
      {"aBc", "b", "y", false, 0, 0, "aBc"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplaceText(c.text, c.find, c.replacement, c.trim, c.first, c.last), c.expected)
        << c.text << " / " << c.find;
  }
}

TEST(UtilsReplace, ReplaceTextIgnoringCase) {
  EXPECT_EQ(ReplaceTextCI("a<p>b<P>c", "<P>", "-"), "a-b-c");
  EXPECT_EQ(ReplaceTextCI("AAA", "aa", "b"), "bA");
  EXPECT_EQ(ReplaceTextCI("xYx", "y", "Q", false, 1, 1), "xQx");
  EXPECT_EQ(ReplaceTextCI(" abc ", "x", "y", true), "abc");
}

TEST(UtilsReplace, ReplaceRepeatedAndChar) {
  EXPECT_EQ(ReplaceRepeated("a     b", "  ", " "), "a b");
  EXPECT_EQ(ReplaceRepeated("Key   =v", " =", "="), "Key=v");
  EXPECT_EQ(ReplaceRepeated("a b", " ", "  "), "a b");  // replacement contains the find text
  EXPECT_EQ(ReplaceRepeated("abab", "", "x"), "abab");
  EXPECT_EQ(ReplaceRepeated(" xaab ", "ab", "b", true), "xb");
  EXPECT_EQ(ReplaceChar("a|b|c", '|', '\x01'), "a\x01" "b\x01" "c");
}

// Every replacement may join a new occurrence with what precedes it; a long
// text of them still takes one pass.
TEST(UtilsReplace, ReplaceRepeatedOnMegabytes) {
  std::string pairs;
  for (int i = 0; i < 500000; ++i) pairs += " =";
  EXPECT_EQ(ReplaceRepeated(pairs, " =", "="), std::string(500000, '='));
  EXPECT_EQ(ReplaceRepeated("k" + std::string(1 << 20, ' ') + "=v", " =", "="), "k=v");
  const std::string nested = std::string(500000, 'a') + std::string(500000, 'b');
  EXPECT_EQ(ReplaceRepeated(nested, "ab", ""), "");
  EXPECT_EQ(ReplaceRepeated("x" + nested + "y", "ab", "b"), "x" + std::string(500000, 'b') + "y");
}

TEST(UtilsSearch, Positions) {
  struct Case { size_t actual, expected; const char* what; } cases[] = {
      {PosCI("b", "aBc"), 2, "PosCI"},
      {PosCI("x", "aBc"), 0, "PosCI absent"},
      {PosCI("", "aBc"), 0, "PosCI empty"},
      {PosFrom("a", "abca", 1), 1, "PosFrom 1"},
      {PosFrom("a", "abca", 2), 4, "PosFrom 2"},
      {PosFrom("A", "abca", 2, true), 4, "PosFrom ci"},
      {PosFrom("A", "abca", 2), 0, "PosFrom cs"},
      {PosFrom("a", "abca", 0), 0, "PosFrom 0"},
      {PosFrom("a", "abca", -3), 0, "PosFrom negative"},
      {PosFrom("a", "abca", 5), 0, "PosFrom past end"},
      {PosFrom("a", "abca", 4000000000LL), 0, "PosFrom far past end"},
      {LastPos("ab", "abxab"), 4, "LastPos"},
      {LastPos("AB", "abxab"), 0, "LastPos cs"},
      {LastPos("", "abxab"), 0, "LastPos empty"},
      {LastPosCI("AB", "abxab"), 4, "LastPosCI"},
      {LastPos("abc", "ab"), 0, "LastPos longer"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected) << c.what;
}

TEST(UtilsSearch, StartsAndEndsWith) {
  EXPECT_TRUE(StartsWith("X_", "X_Agent.exe"));
  EXPECT_FALSE(StartsWith("x_", "X_Agent.exe"));
  EXPECT_TRUE(StartsWith("x_", "X_Agent.exe", true));
  EXPECT_FALSE(StartsWith("X_Agent.exe!", "X_Agent.exe"));
  EXPECT_TRUE(EndsWith(".exe", "X_Agent.exe"));
  EXPECT_TRUE(EndsWith(".EXE", "X_Agent.exe", true));
  EXPECT_FALSE(EndsWith(".EXE", "X_Agent.exe"));
  EXPECT_FALSE(EndsWith("long.exe", ".exe"));
}

TEST(UtilsQuotes, StripChar) {
  struct Case { std::string text; bool always; std::string expected; } cases[] = {
      {"\"", false, ""},       {"\"abc\"", false, "abc"},  {"\"\"abc\"\"", false, "abc"},
      {"\"abc", false, "\"abc"}, {"\"abc", true, "abc"},    {"abc", true, "abc"},
      {"\"\"", false, ""},     {"\"\"\"", true, ""},        {"", true, ""},
      {"\"a\"b\"", false, "a\"b"},
  };
  for (const auto& c : cases) EXPECT_EQ(StripChar(c.text, '"', c.always), c.expected) << c.text;
}

TEST(UtilsQuotes, UnquoteQuoteEnclose) {
  EXPECT_EQ(Unquote("  \"C:\\My Dir\\x.exe\"  "), "C:\\My Dir\\x.exe");
  EXPECT_EQ(Unquote("\"half"), "\"half");
  EXPECT_EQ(Unquote("\"half", true), "half");
  EXPECT_EQ(QuoteText("C:\\My Dir"), "\"C:\\My Dir\"");
  EXPECT_EQ(QuoteText("\"C:\\My Dir"), "\"C:\\My Dir\"");
  EXPECT_EQ(EncloseIn("abc", '|'), "|abc|");
  EXPECT_EQ(EncloseIn("|abc", '|'), "||abc|");
  EXPECT_EQ(EncloseIn("|abc", '|', true), "|abc|");
}

TEST(UtilsTransform, KeepCharsReverseAndBooleans) {
  EXPECT_EQ(KeepChars("1.2.3-beta", "0123456789."), "1.2.3");
  EXPECT_EQ(KeepChars("1.2.3-beta", "0123456789.", "."), "123");
  EXPECT_EQ(KeepChars("a b\tc", "", " \t"), "abc");
  EXPECT_EQ(ReverseText("abc"), "cba");
  EXPECT_EQ(ReverseText(""), "");
  EXPECT_EQ(IfThenStr(true, "a", "b"), "a");
  EXPECT_EQ(IfThenStr(false, "a", "b"), "b");
  EXPECT_EQ(BoolToText(true), "TRUE");
  EXPECT_EQ(BoolToText(false), "FALSE");
  EXPECT_EQ(BoolToDigit(true), '1');
  EXPECT_EQ(BoolToDigit(false), '0');
}

TEST(UtilsTransform, Padding) {
  struct Case { std::string actual, expected; } cases[] = {
      {PadLeft("ab", 5), "   ab"},
      {PadLeft("abcdef", 5), "abcdef"},          // a positive width never cuts
      {PadLeft("abcdef", -5, '_'), "abcd."},     // below -2: cut to |w|-1 and "."
      {PadLeft("ab", -5, '_'), "___ab"},
      {PadLeft("abcde", -5), "abcde"},
      {PadLeft("abc", -2), "abc"},
      {PadLeft("abc", 0), "abc"},
      {ZeroPad("7", 3), "007"},
      {ZeroPad("1234", 3), "1234"},
      {ZeroPad(int64_t{7}, 2), "07"},
      {ZeroPad(int64_t{-7}, 3), "-07"},
      {ZeroPad(int64_t{123}, 0), "123"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST(UtilsNumbers, FormatThousands) {
  struct Case { std::string text, expected; } cases[] = {
      {"1234567.89", "1,234,567.89"}, {"123", "123"},     {"1234", "1,234"},
      {"123456", "123,456"},          {"-1234.5", "-1,234.5"}, {"0.12345", "0.12345"},
      {"", ""},                       {"abc", "abc"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatThousands(c.text), c.expected) << c.text;
}

TEST(UtilsNumbers, FormatScaled) {
  struct Case { std::string actual, expected; } cases[] = {
      {FormatScaled(false, 0, 1, 1024), "1"},  // any part of a unit counts
      {FormatScaled(false, 0, 0, 1024), "0"},
      {FormatScaled(false, 0, 1024, 1024), "1"},
      {FormatScaled(false, 0, 1025, 1024), "2"},
      {FormatScaled(false, 2, 1536, 1024), "1.50"},
      {FormatScaled(false, 4, 1536, 1024), "1.5000"},
      {FormatScaled(false, 7, 1536, 1024), "1.5"},  // other counts: one decimal
      {FormatScaled(false, 1, 1536, 0), "1536.0"},  // no division by zero
      {FormatKB(true, 0, 2000000000), "1,953,125"},
      {FormatKB(false, -1, 2047), "2"},
      {FormatMB(true, 2, 1288490188800LL), "1,228,800.00"},
      {FormatMB(false, 1, 1572864), "1.5"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST(UtilsNumbers, TextToFloat) {
  struct Case { std::string text; double expected; } cases[] = {
      {"1.5", 1.5},      {"1,5", 1.5},       {"1,234.5", 1234.5}, {"1,234,5", 1.2345},
      {" -2.25 ", -2.25}, {"+3", 3},          {"1e3", 1000},       {".5", 0.5},
      {"", -99},         {"abc", -99},       {"1.2.3", -99},      {"inf", -99},
      {"nan", -99},      {"0x10", -99},      {"1.5x", -99},       {"+-1", -99},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(TextToFloat(c.text, -99), c.expected) << c.text;
}

TEST(UtilsNumbers, FloatTextIgnoresProcessLocale) {
  // A locale with a decimal comma must not change either direction.
  const char* const names[] = {"de_DE.UTF-8", "de_DE", "German_Germany.1252", "fr_FR.UTF-8"};
  bool switched = false;
  for (const char* name : names) switched = switched || std::setlocale(LC_ALL, name) != nullptr;
  EXPECT_DOUBLE_EQ(TextToFloat("2.5", 0), 2.5);
  EXPECT_EQ(FloatToText(2.5, 1), "2.5");
  std::setlocale(LC_ALL, "C");
  if (!switched) GTEST_SKIP() << "no locale with a decimal comma installed";
}

TEST(UtilsNumbers, FloatToText) {
  struct Case { double value; int decimals; bool trim; std::string expected; } cases[] = {
      {0, 0, true, "0"},         {0, 2, true, "0"},        {0, 2, false, "0.00"},
      {12.5, 3, false, "12.500"}, {12.5, 3, true, "12.5"},  {3, 1, true, "3"},
      {10, 0, true, "10"},       {100, 2, true, "100"},    {0.5, 2, true, ".5"},
      {-0.001, 2, false, "0.00"}, {-1.25, 1, false, "-1.3"}, {2.675, 2, false, "2.68"},
      {0.125, 2, false, "0.13"},  {9.995, 2, false, "10.00"}, {999.96, 1, true, "1000"},
      {1e20, 0, false, "100000000000000000000"},
      {1.5, -3, false, "2"},      {0.1, 25, false, "0.10000000000000000000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FloatToText(c.value, c.decimals, c.trim), c.expected) << c.value << "/" << c.decimals;
  }
  // Extremes fit: 309 integer digits, and the smallest subnormal.
  EXPECT_EQ(FloatToText(-1.7976931348623157e308, 20).size(), 1u + 309 + 1 + 20);
  EXPECT_EQ(FloatToText(4.9e-324, 20), "0.00000000000000000000");
  EXPECT_EQ(FloatToText(std::numeric_limits<double>::infinity(), 2), "INF");
}

TEST(UtilsNumbers, TrimNumberText) {
  struct Case { std::string text, expected; } cases[] = {
      {"12.500", "12.5"}, {"3.0", "3"},  {"0.50", ".5"},  {"100", "100"}, {"10.0", "10"},
      {"0.00", "."},      {"-0.50", "-0.5"}, {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(TrimNumberText(c.text), c.expected) << c.text;
}

}  // namespace
