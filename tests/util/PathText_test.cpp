#include "util/PathText.h"

#include <gtest/gtest.h>

namespace {

TEST(RegistryPaths, RootKeyNamesAndAbbreviationsIgnoringCase) {
  struct {
    const char* name;
    uint32_t key;
  } cases[] = {
      {"HKEY_CLASSES_ROOT", 0x80000000u},  {"hkcr", 0x80000000u},    {"HKEY_CURRENT_USER", 0x80000001u},
      {"HKCU", 0x80000001u},               {"hkey_local_machine", 0x80000002u}, {"HkLm", 0x80000002u},
      {"HKEY_USERS", 0x80000003u},         {"HKU", 0x80000003u},     {"HKEY_CURRENT_CONFIG", 0x80000005u},
      {"HKCC", 0x80000005u},               {"HKEY_DYN_DATA", 0x80000006u}, {"HKDD", 0x80000006u},
      {" HKLM ", 0x80000002u},             {"HKXX", 0x80000001u},    {"", 0x80000001u},
  };
  for (const auto& c : cases) EXPECT_EQ(RootKeyFromName(c.name), c.key) << c.name;
}

TEST(RegistryPaths, SplitIntoRootAndSubkey) {
  struct {
    const char* path;
    uint32_t root;
    const char* subkey;
  } cases[] = {
      {"HKLM\\Software\\X", kHKeyLocalMachine, "Software\\X"},
      {"Software\\X", kHKeyCurrentUser, "Software\\X"},
      {"hkcu", kHKeyCurrentUser, ""},
      {"HKXX\\A", kHKeyCurrentUser, "A"},
      {"  HKEY_USERS\\.DEFAULT\\Control Panel  ", kHKeyUsers, ".DEFAULT\\Control Panel"},
      {"hkcr", kHKeyClassesRoot, ""},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B", kHKeyLocalMachine, "SOFTWARE\\A\\B"},
      {"", kHKeyCurrentUser, ""},
  };
  for (const auto& c : cases) {
    const TRegPath split = SplitRegPath(c.path);
    EXPECT_EQ(split.root, c.root) << c.path;
    EXPECT_EQ(split.subkey, c.subkey) << c.path;
  }
}

struct TPathCase {
  const char* in;
  const char* out;
};

TEST(TrailingBackslash, WithBackslashRemovesOneAndAddsOnRequest) {
  const TPathCase without[] = {{"C:\\dir\\", "C:\\dir"}, {"C:\\dir", "C:\\dir"}, {"C:\\", "C:"},
                               {"a\\", "a\\"},            {"C:\\d\\\\", "C:\\d\\"}, {"", ""}};
  for (const TPathCase& c : without) EXPECT_EQ(WithBackslash(c.in, false), c.out) << c.in;
  const TPathCase with[] = {{"C:\\dir\\", "C:\\dir\\"}, {"C:\\dir", "C:\\dir\\"}, {"C:", "C:\\"}, {"", "\\"}};
  for (const TPathCase& c : with) EXPECT_EQ(WithBackslash(c.in, true), c.out) << c.in;
}

TEST(TrailingBackslash, NoTrailingBackslashAlsoShortensTwoCharacterPaths) {
  const TPathCase cases[] = {{"\\", ""},         {"a\\", "a"},          {"C:\\", "C:"},
                             {"C:\\dir\\\\", "C:\\dir\\"}, {"abc", "abc"}, {"", ""}};
  for (const TPathCase& c : cases) EXPECT_EQ(NoTrailingBackslash(c.in), c.out) << c.in;
}

TEST(CollapseBackslashes, CollapsesRunsAndKeepsNetworkAndQuotedPrefixes) {
  const TPathCase cases[] = {
      {"C:\\\\dir\\\\\\file", "C:\\dir\\file"},
      {"\\\\server\\\\share", "\\\\server\\share"},
      {"\\\\\\\\server\\share", "\\\\server\\share"},
      {"\\\\server\\share\\\\", "\\\\server\\share\\"},
      {"\"\\\\server\\\\share\"", "\"\\\\server\\share\""},
      {"\"\\\\\\\\srv\\x\"", "\"\\\\srv\\x\""},
      {"\"\\\\srv", "\"\\srv"},  // not quoted: the first and last characters differ
      {"\\\\", "\\\\"},          // too short to change
      {"a\\", "a\\"},
      {"plain", "plain"},
  };
  for (const TPathCase& c : cases) EXPECT_EQ(CollapseBackslashes(c.in), c.out) << c.in;
}

TEST(CollapseBackslashes, StripFlagRemovesTheTrailingBackslash) {
  EXPECT_EQ(CollapseBackslashes("\\\\server\\share\\\\\\", true), "\\\\server\\share");
  EXPECT_EQ(CollapseBackslashes("C:\\\\", true), "C:");
  EXPECT_EQ(CollapseBackslashes("a\\", true), "a");
}

// Shift-JIS style lead bytes 0x81..0x9F: the following byte may be "\".
bool TestLeadBytes(unsigned char c) { return c >= 0x81 && c <= 0x9F; }

class DoubleByteCodePage : public testing::Test {
 protected:
  void SetUp() override { SetLeadByteTest(TestLeadBytes); }
  void TearDown() override { SetLeadByteTest(nullptr); }
};

TEST_F(DoubleByteCodePage, TrailByteBackslashIsNotASeparator) {
  EXPECT_TRUE(IsLeadByte('\x83'));
  EXPECT_EQ(WithBackslash("C:\\x\x83\\", false), "C:\\x\x83\\");
  EXPECT_EQ(NoTrailingBackslash("x\x83\\"), "x\x83\\");
  EXPECT_EQ(NoTrailingBackslash("x\x83\\\\"), "x\x83\\");
  // "\x83\x83" is one character, so the backslash after it is a separator.
  EXPECT_EQ(NoTrailingBackslash("x\x83\x83\\"), "x\x83\x83");
  EXPECT_EQ(CollapseBackslashes("C:\\a\x83\\\\\\b"), "C:\\a\x83\\\\b");
}

TEST(DoubleByteDefault, NoByteIsALeadByte) {
  EXPECT_FALSE(IsLeadByte('\x83'));
  EXPECT_EQ(NoTrailingBackslash("x\x83\\"), "x\x83");
}

TEST(BaseName, DropsTheFolderAndTheExtension) {
  const TPathCase last[] = {{"C:\\dir\\setup.tar.gz", "setup.tar"}, {"C:\\d.x\\file", "file"},
                            {"noext", "noext"},                      {"/usr/bin/x.bin", "x"},
                            {"C:name.exe", "name"},                  {"", ""}};
  for (const TPathCase& c : last) EXPECT_EQ(BaseName(c.in), c.out) << c.in;
  EXPECT_EQ(BaseName("C:\\dir\\setup.tar.gz", true), "setup");
}

}  // namespace

TEST(WindowsDeviceNames, DevicesInAnyCaseWithExtensionsAndTrailingDotsOrBlanks) {
  struct Case {
    const char* component;
    bool device;
  } cases[] = {
      {"CON", true},       {"con", true},        {"Nul.txt", true},   {"aux.tar.gz", true}, {"PRN", true},
      {"COM1", true},      {"com9.log", true},   {"LPT1", true},      {"lpt0", true},       {"COM1.", true},
      {"NUL .txt", true},  {"CON  ", true},      {"conin$", true},    {"CONOUT$.x", true},  {"COM\xB9", true},
      {"LPT\xB2.txt", true}, {"CONSOLE", false}, {"COM10", false},    {"COMA", false},      {"NULL", false},
      {"xCON", false},     {"", false},          {"Engine.exe", false}, {"LPT", false},     {".CON", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsWindowsDeviceName(c.component), c.device) << c.component;
}
