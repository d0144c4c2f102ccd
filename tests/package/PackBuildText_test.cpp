// Names and texts in the package's code page: the conversion from UTF-8,
// the refusals, the way back for showing them, and character sets.
#include "package/PackBuildText.h"

#include <gtest/gtest.h>

namespace {

struct TConversion {
  const char* label;
  std::string utf8;
  int codePage;
  std::string forbidden;
  std::string expected;  // the code page bytes; empty when refused
  std::string problem;   // part of the refusal
};

void PrintTo(const TConversion& c, std::ostream* os) { *os << c.label; }

class ToCodePageTest : public ::testing::TestWithParam<TConversion> {};

TEST_P(ToCodePageTest, ConvertsOrRefusesWithAReason) {
  const TConversion& c = GetParam();
  std::string out, problem;
  const bool ok = PackText::ToCodePage(c.utf8, c.codePage, c.forbidden, out, problem);
  if (c.problem.empty()) {
    EXPECT_TRUE(ok) << problem;
    EXPECT_EQ(out, c.expected);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(PackText::FromCodePage(out, c.codePage), c.utf8) << "the way back";
  } else {
    EXPECT_FALSE(ok);
    EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ToCodePageTest,
    ::testing::Values(
        TConversion{"ascii_in_any_page", "Engine.exe /q", 932, "\\|", "Engine.exe /q", ""},
        TConversion{"empty", "", 1252, "", "", ""},
        TConversion{"latin_name_1252", "na\xC3\xAFve caf\xC3\xA9.txt", 1252, "\\|", "na\xEFve caf\xE9.txt", ""},
        TConversion{"euro_1252", "\xE2\x82\xAC 5", 1252, "", "\x80 5", ""},
        TConversion{"cyrillic_1251", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", 1251, "",
                    "\xCF\xF0\xE8\xE2\xE5\xF2", ""},
        TConversion{"czech_1250", "\xC5\xBElu\xC5\xA5ou\xC4\x8Dk\xC3\xBD", 1250, "", "\x9Elu\x9Dou\xE8k\xFD", ""},
        TConversion{"greek_1253", "\xCE\xB1\xCE\xB2", 1253, "", "\xE1\xE2", ""},
        TConversion{"japanese_932", "\xE6\x97\xA5\xE6\x9C\xAC", 932, "\\|", "\x93\xFA\x96\x7B", ""},
        TConversion{"backslash_byte_in_a_text", "\xE3\x82\xBD", 932, "|", "\x83\x5C", ""},
        TConversion{"backslash_byte_in_a_name", "\xE3\x82\xBD.txt", 932, "\\|", "", "with a \"\\\" byte"},
        TConversion{"bar_byte_in_a_list", "\xE3\x83\x9D", 932, "|", "", "with a \"|\" byte"},
        TConversion{"cyrillic_in_1252", "\xD0\x9F.txt", 1252, "", "", "\"\xD0\x9F\" (U+041F) has no form in code page 1252"},
        TConversion{"emoji_in_1252", "a\xF0\x9F\x98\x80", 1252, "", "", "(U+1F600) has no form"},
        TConversion{"not_utf8", "caf\xE9", 1252, "", "", "is not UTF-8 text"},
        TConversion{"overlong_slash", "a\xC0\xAF", 1252, "", "", "is not UTF-8 text"},
        TConversion{"surrogate", "\xED\xA0\x80", 1252, "", "", "is not UTF-8 text"},
        TConversion{"cut_sequence", "\xC3", 1252, "", "", "is not UTF-8 text"},
        TConversion{"unsupported_page", "\xC3\xA9", 437, "", "", "code page 437 is not supported"}),
    [](const ::testing::TestParamInfo<TConversion>& info) { return std::string(info.param.label); });

TEST(PackText, BytesWithoutACharacterShowAsReplacement) {
  const struct {
    std::string bytes;
    int codePage;
    std::string shown;
  } cases[] = {
      {"plain", 1252, "plain"},
      {"a\x83", 932, "a\xEF\xBF\xBD"},           // a lead byte at the end
      {"\xE9t\xE9", 1252, "\xC3\xA9t\xC3\xA9"},  // what the INFORM tests carry
  };
  for (const auto& c : cases) EXPECT_EQ(PackText::FromCodePage(c.bytes, c.codePage), c.shown) << c.bytes;
}

TEST(PackText, CharacterSetsAndCodePages) {
  const struct {
    int charset;
    int codePage;
  } pairs[] = {{0, 1252},   {238, 1250}, {204, 1251}, {161, 1253}, {162, 1254}, {177, 1255}, {178, 1256},
               {186, 1257}, {163, 1258}, {222, 874},  {128, 932},  {134, 936},  {129, 949},  {136, 950}};
  for (const auto& p : pairs) {
    EXPECT_EQ(PackText::CodePageOfCharset(p.charset, 1252), p.codePage) << p.charset;
    EXPECT_EQ(PackText::CharsetOfCodePage(p.codePage), p.charset) << p.codePage;
    EXPECT_TRUE(PackText::IsSupportedCodePage(p.codePage)) << p.codePage;
  }
  EXPECT_EQ(PackText::CodePageOfCharset(1, 1251), 1251) << "the default character set follows the package";
  for (int none : {2, 77, 255}) EXPECT_EQ(PackText::CodePageOfCharset(none, 1252), 0) << none;
  for (int unsupported : {0, 437, 850, 65001, 1361}) EXPECT_FALSE(PackText::IsSupportedCodePage(unsupported));
}

}  // namespace
