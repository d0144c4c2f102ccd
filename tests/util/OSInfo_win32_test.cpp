// Version queries of the running system and of files (under wine64).
#include "util/OSInfo.h"

#include <gtest/gtest.h>

#include <regex>

#include "TestSupport.h"
#include "util/SysInfo.h"

namespace {

TEST(OSInfoWin32, RunningVersionHasANameFromTheTable) {
  const TOSInfo& info = GetOSInfo();
  EXPECT_EQ(info.platformId, kPlatformNT);
  EXPECT_GE(info.major, 5u);
  EXPECT_TRUE(IsNT());
  EXPECT_TRUE(Is64BitWindows());  // this test program is a 64-bit process
  const TOSName name = OSName();
  EXPECT_FALSE(name.name.empty());
  EXPECT_NE(name.name, "NTx");
  EXPECT_EQ(name.versionText, OSVersionText(info));
  EXPECT_EQ(name.name, OSNameFor(info, true, IsServer()).name);
  EXPECT_EQ(OSFlag(), name.flag);
  EXPECT_EQ(IsWin8OrLater(), IsWin8OrLaterFor(info));
  EXPECT_EQ(IsXP(), name.versionText == "5.1");
}

TEST(OSInfoWin32, ExeVersionOfAFileWithoutVersionInfoIsEmpty) {
  testsupport::TScratchDir dir;
  const std::string text = dir.File("plain.txt");
  testsupport::WriteBytes(text, "no version here");
  EXPECT_EQ(GetExeVersion(text), "");
  EXPECT_EQ(GetProductVersion(text), "");
  EXPECT_EQ(GetExeVersion(dir.File("missing.exe")), "");
  // The test program itself carries no version resource.
  EXPECT_EQ(GetExeVersion(ExePath()), "");
  EXPECT_EQ(GetExeVersion(""), GetExeVersion(ExePath()));
  EXPECT_EQ(GetExeVersion("", 2, 3), "");  // nothing to normalise
}

TEST(OSInfoWin32, ExeVersionOfKernel32IsFourNumbers) {
  const std::string kernel = SystemDir(true) + "kernel32.dll";
  const std::string version = GetExeVersion(kernel);
  EXPECT_TRUE(std::regex_match(version, std::regex(R"(\d+\.\d+\.\d+\.\d+)"))) << version;
  EXPECT_TRUE(std::regex_match(GetExeVersion(kernel, 5, 2), std::regex(R"(\d{5}\.\d{5})")));
  const std::string product = GetProductVersion(kernel);
  EXPECT_FALSE(product.empty());
  EXPECT_EQ(product.find(','), std::string::npos);
  EXPECT_TRUE(std::regex_match(GetProductVersion(kernel, 1, 3), std::regex(R"(\d+\.\d+\.\d+)")));
}

}  // namespace
