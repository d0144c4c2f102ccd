#include "util/VxSUB.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

const std::string kMonths = "||JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC|";

TEST(SUBRead, ItemCount) {
  struct Case { std::string list; int count; } cases[] = {
      {"", 0},          {"|", 0},       {"||", 1},           {"|a|b", 0},
      {"|a|b|", 2},     {"|a||b|", 3},  {"*a|b*c*", 2},      {"a|b|a", 1},
      {"\0"s, 0},       {"\0a\0b\0"s, 0},  // NUL delimiter: no items
      {"|a|\0b|c|"s, 1},                    // counting stops at the NUL
  };
  for (const auto& c : cases) EXPECT_EQ(SUB::ItemCount(c.list), c.count) << c.list;
}

TEST(SUBRead, GetItem) {
  struct Case { std::string list; int index; std::string expected; } cases[] = {
      {"|a||c|", 1, "x"},   {"|a||c|", 2, "c"},  {"|a||c|", 3, "x"},  {"|a||c|", -1, "c"},
      {"|a||c|", 0, "a"},   {"|a||c|", -2, "x"}, {"|a|b", 0, "a"},    {"|a|b", 1, "x"},
      {"|a|b", -1, "x"},    {"", 0, "x"},        {"", -1, "x"},       {"\0"s, 0, "x"},
      {"|", 0, "x"},        {"||", 0, "x"},      {kMonths, 0, "x"},   {kMonths, 1, "JAN"},
      {kMonths, 12, "DEC"}, {kMonths, 13, "x"},  {kMonths, -1, "DEC"},
      {"*a|b*c*", 0, "a|b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SUB::GetItem(c.list, c.index, "x"), c.expected) << c.list << " [" << c.index << "]";
  }
}

TEST(SUBRead, GetItemInt) {
  const std::string list = "|12|$1F| 0x10 |-7|abc||";
  const int64_t expected[] = {12, 31, 16, -7, -1, -1, -1};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(SUB::GetItemInt(list, i, -1), expected[i]) << i;
}

TEST(SUBRead, IndexOfItem) {
  struct Case { std::string list, item; bool prefix; int expected; } cases[] = {
      {"|&OK|&Cancel|", "&cancel", false, 1},
      {"|&OK|&Cancel|", "&Can", false, -5},
      {"|&OK|&Cancel|", "&Can", true, 1},
      {"|&OK|&Cancel|", "  &ok ", false, 0},  // found again with the item trimmed
      {"  |a|b|", "B", false, 1},             // the list is trimmed
      {"|ab|a|", "a", false, 1},
      {"|ab|a|", "a", true, 0},
      {"|a|b|", "", false, -5},
      {"", "a", false, -5},
      {"|a|b|", "   ", true, -5},
      {kMonths, "mar", false, 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SUB::IndexOfItem(c.list, c.item, c.prefix, -5), c.expected)
        << c.list << " / " << c.item;
  }
}

TEST(SUBRead, HasItem) {
  struct Case { std::string list, item; bool ignoreCase, trim, expected; } cases[] = {
      {"|a|b|", "b", false, false, true},   {"|a|b|", "B", false, false, false},
      {"|a|b|", "B", true, false, true},    {"|a| b |", "b", true, false, false},
      {"| a |b|", " a ", false, false, true}, {" |a|b| ", "a", false, true, true},
      {"|a|b|", " b ", false, true, true},  {"|ab|", "a", false, false, false},
      {"|a|b|", "", true, true, false},     {"", "a", true, true, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SUB::HasItem(c.list, c.item, c.ignoreCase, c.trim), c.expected)
        << c.list << " / " << c.item;
  }
}

TEST(SUBRead, GetValue) {
  struct Case {
    std::string list, key;
    bool collapse, ignoreCase;
    std::string expected;
  } cases[] = {
      {"|Lang=German|Dir=C:\\X|", "lang", false, true, "German"},
      {"|Lang=German|Dir=C:\\X|", "lang", false, false, "missing"},
      {"|Lang=German|Dir=C:\\X|", "Dir", false, true, "C:\\X"},
      {"|Lang=German|Dir=C:\\X|", "Dir=", false, true, "C:\\X"},
      {"|Lang=German|Dir=C:\\X|", "Size", false, true, "missing"},
      {"|Size=|", "Size", false, true, "empty"},
      {"|A=1|A=2|", "A", false, true, "1"},            // the first match wins
      {"|XA=1|A=2|", "A", false, true, "2"},           // only whole keys match
      {"|Dir=C:\\Program Files\\X|", "Dir", false, true, "C:\\Program Files\\X"},
      {"|Key  =v|Other =w|", "Key", true, true, "v"},
      {"|Key  =v|Other =w|", "Other", true, true, "w"},
      {"|Key  =v|Other =w|", "Key", false, true, "v"},  // only the first run of blanks
      {"|Key  =v|Other =w|", "Other", false, true, "missing"},
      {"|a b  =1|c =2|", "a b", false, true, "1"},   // blanks inside a key stay
      {"|a =1|c =2|", "c", false, true, "missing"},
      {"|a =1|c =2|", "c ", false, true, "2"},
      {"|a =1|c   =2|", "c", true, true, "2"},
      {" =x ", "", false, true, "missing"},            // a blank delimiter goes with the run
      {"|==x|", "=", false, true, "x"},                // "=" still gets its "="
      {"|a=1", "a", false, true, "missing"},           // not closed
      {"||", "", false, true, "missing"},
      {"", "a", false, true, "missing"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SUB::GetValue(c.list, c.key, "missing", "empty", c.collapse, c.ignoreCase), c.expected)
        << c.list << " / " << c.key;
  }
}

// Lists from a package: the blanks before "=" go in one pass, however many.
TEST(SUBHostile, BlanksBeforeEqualsGoInOnePass) {
  const std::string blanks = "|a" + std::string(1 << 20, ' ') + "=v|b =w|";
  EXPECT_EQ(SUB::GetValue(blanks, "a", "missing", "empty", false, true), "v");
  EXPECT_EQ(SUB::GetValue(blanks, "b ", "missing", "empty", false, true), "w");
  EXPECT_EQ(SUB::GetValue(blanks, "b", "missing", "empty", false, true), "missing");
  EXPECT_EQ(SUB::GetValue(blanks, "b", "missing", "empty", true, true), "w");

  std::string many = "|";
  for (int i = 0; i < 100000; ++i) many += "k" + std::to_string(i) + " =v" + std::to_string(i) + "|";
  const TValueList values(many, true, true);
  for (int i = 0; i < 100000; i += 997) {
    ASSERT_EQ(values.Get("K" + std::to_string(i), "missing"), "v" + std::to_string(i));
  }
  EXPECT_EQ(values.Get("k100000", "missing"), "missing");
  EXPECT_EQ(SUB::GetValue(many, "k99999", "missing", "empty", true, true), "v99999");
  EXPECT_EQ(SUB::GetValue(many, "k0", "missing", "empty", false, true), "v0");
  EXPECT_EQ(SUB::GetValue(many, "k1", "missing", "empty", false, true), "missing");
}

TEST(SUBRead, ValueListAnswersAsGetValue) {
  const std::string lists[] = {"|Lang=German|Dir=C:\\X|", "|Key  =v|Other =w|", "|Size=|", "|a=1", ""};
  const std::string keys[] = {"lang", "Dir=", "Key", "Other", "Size", "a", ""};
  for (const std::string& list : lists) {
    for (const bool collapse : {false, true}) {
      for (const bool ignoreCase : {false, true}) {
        const TValueList values(list, collapse, ignoreCase);
        for (const std::string& key : keys) {
          EXPECT_EQ(values.Get(key, "missing", "empty"),
                    SUB::GetValue(list, key, "missing", "empty", collapse, ignoreCase))
              << list << " / " << key;
        }
      }
    }
  }
}

TEST(SUBPairs, PairSide) {
  EXPECT_EQ(SUB::PairSide("|a=1|b=2|c|", "L"), "|a|b|c|");
  EXPECT_EQ(SUB::PairSide("|a=1|b=2|c|", "R"), "|1|2||");
  EXPECT_EQ(SUB::PairSide("|a=1=2|", "r"), "|1=2|");
  EXPECT_EQ(SUB::PairSide("| a = 1 |", "L", true), "|a|");
  EXPECT_EQ(SUB::PairSide("| a = 1 |", "R", false), "| 1 |");
  EXPECT_EQ(SUB::PairSide("|a=x*y|", "R"), "|x*y|");
  EXPECT_EQ(SUB::PairSide("*a=x|y*", "R"), "*x|y*");
  EXPECT_EQ(SUB::PairSide("", "L"), "");
}

TEST(SUBPairs, JoinPairs) {
  struct Case { std::string keys, values; bool drop; std::string expected; } cases[] = {
      {"|a|b|", "|1|2|", false, "|a=1|b=2|"},
      {"|a|b|", "|1|", false, "|a=1|b=|"},
      {"|a|", "|1|2|", false, "|a=1|=2|"},
      {"|a|||", "|1|", false, "|a=1|=|=|"},
      {"|a|||", "|1|", true, "|a=1|"},
      {"|a|", "|x|y|", false, "|a=x|=y|"},
      {"|a|", "*x|y*", false, "*a=x|y*"},
      {"", "", false, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SUB::JoinPairs(c.keys, c.values, c.drop), c.expected) << c.keys << " + " << c.values;
  }
}

TEST(SUBBuild, ListFromArray) {
  struct Case { std::vector<std::string> texts; bool unique; std::string expected; } cases[] = {
      {{"a|b", "c"}, false, "*a|b*c*"},
      {{"a", "b"}, false, "|a|b|"},
      {{}, false, ""},
      {{""}, false, "||"},
      {{"a", "A ", "b", "a"}, true, "|a|b|"},
      {{"|*~^!@#$&"}, false, "\xFF|*~^!@#$&\xFF"},
      {{"|*~^!@#$&\xFF"}, false, "\0|*~^!@#$&\xFF\0"s},  // no candidate left
  };
  for (const auto& c : cases) EXPECT_EQ(SUB::ListFromArray(c.texts, c.unique), c.expected);
}

TEST(SUBBuild, SetItem) {
  struct Case { std::string list; int index; std::string value, expected; } cases[] = {
      {"|a|b|", 4, "z", "|a|b|||z|"},
      {"", 0, "z", "|z|"},
      {"|a|b|", 0, "x|y", "*x|y*b*"},
      {"|a|b|", 1, "x", "|a|x|"},
      {"*a|b*c*", 1, "d", "*a|b*d*"},  // keeps its own delimiter
      {"|a|b|", 0, "", "||b|"},
      {"|a|b|", -1, "x", "|a|b|"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SUB::SetItem(c.list, c.index, c.value), c.expected) << c.list << " [" << c.index << "]";
  }
}

TEST(SUBBuild, DeleteItem) {
  struct Case { std::string list; int index; std::string expected; } cases[] = {
      {"|a|", 0, "|"},      {"|a|", 5, "|a|"},        {"|a|", -1, "|a|"},
      {"|a|b|c|", 1, "|a|c|"}, {"|a|b|c|", 2, "|a|b|"}, {"|a|b", 0, "|a|b"},
      {"", 0, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(SUB::DeleteItem(c.list, c.index), c.expected) << c.list;
}

TEST(SUBBuild, AddItems) {
  struct Case {
    std::string list;
    std::vector<std::string> texts;
    bool unique;
    std::string expected;
  } cases[] = {
      {"|a|", {"b", "c"}, false, "|a|b|c|"},
      {"|a|", {"b|c"}, false, "*a*b|c*"},
      {"", {"a", "b"}, false, "|a|b|"},
      {"|", {"x"}, false, "|x|"},
      {"|a|", {"A", "b", " a"}, true, "|a|b|"},
      {"*x*", {}, false, "*x*"},
  };
  for (const auto& c : cases) EXPECT_EQ(SUB::AddItems(c.list, c.texts, c.unique), c.expected);
}

TEST(SUBBuild, UniqueItems) {
  struct Case { std::string list, keep, expected; } cases[] = {
      {"|a| A |b|a|", "", "|a|b|"},
      {"|a||b||", "", "|a|b|"},
      {"|a|b|a|b|", "|A|", "|a|b|a|"},  // kept items may repeat
      {"*x|y*X|Y*", "", "*x|y*"},
      {"\x01" "a\x01" "A\x01" "b\x01", "", "\x01" "a\x01" "b\x01"},  // control-character delimiter
      {"||", "", ""},
      {"", "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(SUB::UniqueItems(c.list, c.keep), c.expected) << c.list;
}

TEST(SUBBuild, TrimEmptyItems) {
  struct Case { std::string list; bool trailing, leading; std::string expected; } cases[] = {
      {"|a||", true, false, "|a|"},   {"||a||", true, false, "||a|"}, {"||a||", false, true, "|a||"},
      {"||a||", true, true, "|a|"},   {"|||", true, true, ""},       {"||", false, true, ""},
      {"|a|b", true, true, "|a|b"},   {"|a|", true, true, "|a|"},    {"", true, true, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SUB::TrimEmptyItems(c.list, c.trailing, c.leading), c.expected) << c.list;
  }
}

TEST(SUBBuild, ReverseList) {
  EXPECT_EQ(SUB::ReverseList("|a|b|c|"), "|c|b|a|");
  EXPECT_EQ(SUB::ReverseList("*a**c*"), "*c**a*");
  EXPECT_EQ(SUB::ReverseList("*a||c*"), "*a||c*");
  EXPECT_EQ(SUB::ReverseList("|a|"), "|a|");
  EXPECT_EQ(SUB::ReverseList(""), "");
}

TEST(SUBDelimiter, ChooseDelimiter) {
  struct Case { std::string list, expected; } cases[] = {
      {"|a|b|", "|a|b|"},       {"*a*b*", "|a|b|"},     {"*a|b*", "*a|b*"},
      {"\0a|*b\0"s, "~a|*b~"},  {"|", ""},              {"", ""},
      {"\0"s, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(SUB::ChooseDelimiter(c.list), c.expected) << c.list;
}

TEST(SUBDelimiter, ChangeDelimiter) {
  EXPECT_EQ(SUB::ChangeDelimiter("|a|b|", '*'), "*a*b*");
  EXPECT_EQ(SUB::ChangeDelimiter("", '*'), "");
}

}  // namespace
