#include "util/Switches.h"

#include <gtest/gtest.h>

#include <string>

#include "util/VxSUB.h"

namespace {

TEST(Switches, CommandLineArgsDropsTheProgram) {
  struct Case { std::string raw, path, expected; } cases[] = {
      {"\"C:\\My Dir\\setup.exe\" /x=1", "C:\\My Dir\\setup.exe", "/x=1"},
      {"C:\\dir\\setup.exe /x=1", "C:\\dir\\setup.exe", "/x=1"},
      {"/x=1", "C:\\dir\\setup.exe", "/x=1"},  // raw line without the program name
      {"\"c:\\MY DIR\\SETUP.EXE\"  /a /b ", "C:\\My Dir\\setup.exe", "/a /b"},
      {"setup /x=1", "/opt/app/setup", "/x=1"},
      {"\"C:\\dir\\setup.exe\"", "C:\\dir\\setup.exe", ""},
      {"\"C:\\dir\\setup.exe\" x", "C:\\dir\\setup.exe", ""},  // a single character is dropped
      {"C:\\dir\\ /x", "C:\\dir\\", "/x"},                     // no file name: the whole path goes
      {"", "C:\\dir\\setup.exe", ""},
      {"  /x  ", "", "/x"},
  };
  for (const auto& c : cases) EXPECT_EQ(CommandLineArgs(c.raw, c.path), c.expected) << c.raw;
}

TEST(Switches, SwitchListSplitsAtBlankPlusSwitchCharacter) {
  const std::string list = SwitchList("/a /Dir=C:\\Program Files\\X /b=2");
  EXPECT_EQ(list, "\x01\x01" "a\x01" "Dir=C:\\Program Files\\X\x01" "b=2\x01");
  ASSERT_EQ(SUB::ItemCount(list), 4);
  EXPECT_EQ(SUB::GetItem(list, 0, "<empty>"), "<empty>");
  EXPECT_EQ(SUB::GetItem(list, 1), "a");
  EXPECT_EQ(SUB::GetItem(list, 2), "Dir=C:\\Program Files\\X");
  EXPECT_EQ(SUB::GetItem(list, 3), "b=2");
  EXPECT_EQ(SwitchList("-a -b=\"x y\"", '-'), "\x01\x01" "a\x01" "b=x y\x01");
}

TEST(Switches, GetSwitch) {
  const std::string args = "/a /Dir=C:\\Program Files\\X /b=2 /Empty= /Spaced =v";
  struct Case { std::string name, expected; } cases[] = {
      {"/Dir=", "C:\\Program Files\\X"},
      {"dir", "C:\\Program Files\\X"},
      {"  /DIR  ", "C:\\Program Files\\X"},
      {"/b", "2"},
      {"/a", "def"},  // a switch without "=" has no value
      {"/Empty=", "def"},  // an empty value reads as the default
      {"/Spaced=", "v"},  // blanks before "=" vanish
      {"/missing", "def"},
      {"", "def"},
      {"/", "def"},
  };
  for (const auto& c : cases) EXPECT_EQ(GetSwitch(args, c.name, "def"), c.expected) << c.name;
  EXPECT_EQ(GetSwitch("-x=5 -y=6", "-x", "def"), "5");
  EXPECT_EQ(GetSwitch("/q=\"quoted value\"", "/q", "def"), "quoted value");
}

TEST(Switches, SleepAndHideExample) {
  const std::string args = "/SleepX=500 /hide";
  EXPECT_EQ(GetSwitchInt(args, "/SleepX=", -1), 500);
  EXPECT_TRUE(HasSwitch(args, "/hide"));
  EXPECT_TRUE(HasSwitch(args, " /HIDE "));
  EXPECT_EQ(GetSwitch(args, "/WAIT=", "10"), "10");
  EXPECT_EQ(GetSwitchInt(args, "/WAIT=", 10), 10);
}

TEST(Switches, GetSwitchIntAndHasSwitch) {
  const std::string args = "/SpanCdLvl=2 /n=abc /h=$10 /hidden";
  EXPECT_EQ(GetSwitchInt(args, "/SpanCdLvl=", 0), 2);
  EXPECT_EQ(GetSwitchInt(args, "/n", -1), -1);
  EXPECT_EQ(GetSwitchInt(args, "/h", -1), 16);
  EXPECT_EQ(GetSwitchInt(args, "/none", -1), -1);
  EXPECT_FALSE(HasSwitch(args, "/hide"));  // only a whole word at its end
  EXPECT_TRUE(HasSwitch(args, "/hidden"));
  EXPECT_FALSE(HasSwitch(args, "/SpanCdLvl"));
  EXPECT_FALSE(HasSwitch(args, "   "));
  EXPECT_FALSE(HasSwitch("", "/x"));
}

}  // namespace
