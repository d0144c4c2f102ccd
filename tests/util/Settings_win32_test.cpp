// INI and registry reads on Win32 (under wine64).
#include "util/Settings.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "TestSupport.h"
#include "util/Win.h"

namespace {

using testsupport::TScratchDir;
using testsupport::WriteBytes;

class IniFile : public testing::Test {
 protected:
  TScratchDir dir_;
  const std::string path_ = dir_.File("settings.ini");
};

TEST_F(IniFile, EmptyAndMissingValuesGiveTheDefault) {
  WriteBytes(path_, "[Main]\r\nName=Varnel\r\nEmpty=\r\nSpaced =  padded  \r\n");
  struct {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"Main", "Name", "Varnel"}, {"main", "NAME", "Varnel"}, {"Main", "Empty", "def"}, {"Main", "Missing", "def"},
      {"Other", "Name", "def"},   {"", "Name", "def"},        {"Main", "", "def"},      {"Main", "Spaced", "padded"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReadIniString(path_, c.section, c.key, "def"), c.expected) << c.section << "/" << c.key;
  EXPECT_EQ(ReadIniString(dir_.File("missing.ini"), "Main", "Name", "def"), "def");
}

TEST_F(IniFile, IntegersUseTheDefaultForEmptyAndBadValues) {
  WriteBytes(path_, "[N]\r\nCount=42\r\nNegative=-9000000000\r\nBad=4x\r\nEmpty=\r\n");
  EXPECT_EQ(ReadIniInt(path_, "N", "Count", -7), 42);
  EXPECT_EQ(ReadIniInt(path_, "N", "Negative", -7), -9000000000LL);
  EXPECT_EQ(ReadIniInt(path_, "N", "Bad", -7), -7);
  EXPECT_EQ(ReadIniInt(path_, "N", "Empty", -7), -7);
  EXPECT_EQ(ReadIniInt(path_, "N", "Missing", -7), -7);
}

TEST_F(IniFile, LongValuesAreReadWholeAndTraced) {
  for (size_t length : {size_t{10240}, size_t{20000}}) {
    std::string value;
    for (size_t i = 0; i < length; ++i) value += static_cast<char>('a' + i % 26);
    WriteBytes(path_, "[Big]\r\nValue=" + value + "\r\n");
    testing::internal::CaptureStdout();
    const std::string read = ReadIniString(path_, "Big", "Value", "");
    const std::string trace = testing::internal::GetCapturedStdout();
    EXPECT_EQ(read, value) << length;
    const bool traced = trace.find("ReadIniString SizeError=" + std::to_string(length)) != std::string::npos;
    EXPECT_EQ(traced, length > 10240) << trace;
  }
}

TEST_F(IniFile, WritesNeedFileSectionAndKey) {
  EXPECT_FALSE(WriteIniString("", "S", "K", "v"));
  EXPECT_FALSE(WriteIniString(path_, "", "K", "v"));
  EXPECT_FALSE(WriteIniString(path_, "S", "", "v"));
  EXPECT_EQ(::GetFileAttributesA(path_.c_str()), INVALID_FILE_ATTRIBUTES);

  EXPECT_TRUE(WriteIniString(path_, "S", "K", "value one"));
  EXPECT_TRUE(WriteIniInt(path_, "S", "N", -123456789012LL));
  EXPECT_EQ(ReadIniString(path_, "S", "K", ""), "value one");
  EXPECT_EQ(ReadIniInt(path_, "S", "N", 0), -123456789012LL);
}

TEST_F(IniFile, ConcurrentReadsAllSucceed) {
  WriteBytes(path_, "[S]\r\nA=alpha\r\nB=beta\r\n");
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i)
        if (ReadIniString(path_, "S", t % 2 ? "A" : "B", "") != (t % 2 ? "alpha" : "beta")) ++failures[t];
    });
  for (std::thread& thread : threads) thread.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

constexpr char kTestKey[] = "Software\\VarnelTest";

// Values under HKCU\Software\VarnelTest\Sub, removed again afterwards.
class RegistryValues : public testing::Test {
 protected:
  void SetUp() override {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\VarnelTest\\Sub", 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, key_.Out(), nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    key_.Reset();
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
  }
  void Set(const char* name, DWORD type, const std::string& data) {
    ASSERT_EQ(::RegSetValueExA(key_.Get(), name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                               static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  }
  TRegKey key_;
};

TEST_F(RegistryValues, EachTypeReadsAsText) {
  const DWORD dword = 0xFFFFFFFE;
  Set("Dword", REG_DWORD, std::string(reinterpret_cast<const char*>(&dword), 4));
  Set("Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
  Set("ShortMulti", REG_MULTI_SZ, std::string("\0\0", 2));
  Set("Text", REG_SZ, std::string("hello\0", 6));
  Set("Unterminated", REG_SZ, "xyz");
  Set("Expand", REG_EXPAND_SZ, std::string("%TEMP%\\x\0", 9));
  Set("Binary", REG_BINARY, std::string("ab\0cd", 5));
  Set("Empty", REG_SZ, std::string("\0", 1));
  struct {
    const char* name;
    const char* expected;
  } cases[] = {
      {"Dword", "4294967294"}, {"Multi", "a<0>b"}, {"ShortMulti", ""}, {"Text", "hello"},  {"Unterminated", "xyz"},
      {"Expand", "%TEMP%\\x"}, {"Binary", "ab"},   {"Empty", ""},      {"Missing", "def"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReadRegString("HKCU\\Software\\VarnelTest\\Sub", c.name, "def"), c.expected) << c.name;
}

TEST_F(RegistryValues, PathFormsAndViewsReachTheSameKey) {
  Set("Text", REG_SZ, std::string("hello\0", 6));
  for (const char* path : {"HKCU\\Software\\VarnelTest\\Sub", "HKEY_CURRENT_USER\\Software\\VarnelTest\\Sub",
                           "Software\\VarnelTest\\Sub", " hkcu\\Software\\VarnelTest\\Sub "}) {
    EXPECT_EQ(ReadRegString(path, "Text", "def"), "hello") << path;
    EXPECT_EQ(ReadRegString(path, "Text", "def", true), "hello") << path;
  }
  EXPECT_EQ(ReadRegString("HKCU\\Software\\VarnelTest\\Missing", "Text", "def"), "def");
  EXPECT_EQ(ReadRegString("HKLM\\Software\\VarnelTest\\Sub", "Text", "def"), "def");
}

TEST_F(RegistryValues, ValuesLargerThanTheBufferGiveTheDefault) {
  const std::string fits(10240, 'f');
  const std::string tooLong(10241, 't');
  Set("Fits", REG_SZ, fits + '\0');     // 10241 bytes
  Set("TooLong", REG_SZ, tooLong + '\0');  // 10242 bytes
  Set("Huge", REG_BINARY, std::string(50000, 'h'));
  EXPECT_EQ(ReadRegString(std::string("HKCU\\") + kTestKey + "\\Sub", "Fits", "def"), fits);
  EXPECT_EQ(ReadRegString(std::string("HKCU\\") + kTestKey + "\\Sub", "TooLong", "def"), "def");
  EXPECT_EQ(ReadRegString(std::string("HKCU\\") + kTestKey + "\\Sub", "Huge", "def"), "def");
}

TEST(Identity, NamesAreTrimmedAndPresent) {
  const std::string user = UserName();
  EXPECT_FALSE(user.empty());
  EXPECT_FALSE(ComputerName().empty());
  for (const std::string& text : {user, ComputerName(), UserDomain(), RegisteredOwner(), RegisteredOrganization()}) {
    if (text.empty()) continue;
    EXPECT_NE(text.front(), ' ') << text;
    EXPECT_NE(text.back(), ' ') << text;
  }
}

}  // namespace
