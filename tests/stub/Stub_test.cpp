#include "stub/Stub.h"

#include <gtest/gtest.h>

#include "util/Switches.h"
#include "util/Utils.h"

using namespace Stub;

namespace {

TRoleFacts Facts(bool agent, const std::string& own, bool copyToTemp = false, int64_t level = 1, bool window = false) {
  TRoleFacts f;
  f.agentPackage = agent;
  f.ownFileName = own;
  f.agentFileName = "Foo.AutoUpdate.exe";
  f.copyToTemp = copyToTemp;
  f.spanCdLevel = level;
  f.ownWindowExists = window;
  return f;
}

}  // namespace

TEST(Stub, RoleChoice) {
  struct Case {
    const char* what;
    TRoleFacts facts;
    TRole role;
  } cases[] = {
      {"setup package", Facts(false, "setup.exe"), TRole::Window},
      {"setup package named like the agent", Facts(false, "Foo.AutoUpdate.exe"), TRole::Window},
      {"setup package named like the X_ copy", Facts(false, "X_Foo.AutoUpdate.exe"), TRole::Window},
      {"plain agent, any case and blanks", Facts(true, " foo.autoupdate.EXE "), TRole::PlainAgent},
      {"X_ agent", Facts(true, "x_Foo.AutoUpdate.exe"), TRole::XAgent},
      {"agent package under another name", Facts(true, "Other.exe"), TRole::Window},
      {"copy-to-temp, first start", Facts(false, "setup.exe", true, 1), TRole::TempCopyRelaunch},
      {"copy-to-temp, relaunched copy", Facts(false, "Y_setup.exe", true, 2), TRole::Window},
      {"second instance", Facts(false, "setup.exe", false, 1, true), TRole::SecondInstance},
      {"second plain agent", Facts(true, "Foo.AutoUpdate.exe", false, 1, true), TRole::SecondInstance},
  };
  for (const Case& c : cases) EXPECT_EQ(ChooseRole(c.facts), c.role) << c.what;
  EXPECT_TRUE(IsPlainAgent(Facts(true, "Foo.AutoUpdate.exe", false, 1, true)));
  EXPECT_FALSE(IsXAgent(Facts(false, "X_Foo.AutoUpdate.exe")));
}

TEST(Stub, Names) {
  EXPECT_EQ(WindowClassName(true, "C:\\P\\X_Foo.AutoUpdate.exe"), ".AutoUpdate.X_Foo.AutoUpdate");
  EXPECT_EQ(WindowClassName(false, "C:\\P\\setup.exe"), "C:\\P\\setup.exe");
  EXPECT_EQ(XWindowClassName("Foo.AutoUpdate.exe"), ".AutoUpdate.X_Foo.AutoUpdate");
  EXPECT_EQ(WorkingDirectoryName("C:\\Temp\\", static_cast<int32_t>(0x5A21ABCD)), "C:\\Temp\\SETUP_43981");
}

TEST(Stub, CopyCommands) {
  EXPECT_EQ(TempCopyCommand("C:\\T\\SETUP_1\\Y_setup.exe", " /a ", "E:\\setup.exe"),
            "\"C:\\T\\SETUP_1\\Y_setup.exe\" /a  /SpanCdLvl=2 /SpanDiskFName1=\"E:\\setup.exe.001\" "
            "/OriginExe=\"E:\\setup.exe\"");
  EXPECT_EQ(TempCopyCommand("Y.exe", "", "E:\\s.exe"),
            "\"Y.exe\" /SpanCdLvl=2 /SpanDiskFName1=\"E:\\s.exe.001\" /OriginExe=\"E:\\s.exe\"");
  EXPECT_EQ(XCopyArguments("", ""), "");
  EXPECT_EQ(XCopyArguments("|1|255|", "30"), " /TRANSIENTx=|1|255| /SleepX=30");
}

TEST(Stub, WmMsgValues) {
  struct {
    const char* value;
    int64_t window, message;
  } cases[] = {{"1234:49000", 1234, 49000}, {"abc", 0, 0}, {"12", 12, 0}, {":5", 0, 5}, {"", 0, 0}, {"x:y", 0, 0}};
  for (auto c : cases) {
    int64_t w = -1, m = -1;
    ParseWmMsg(c.value, w, m);
    EXPECT_EQ(w, c.window) << c.value;
    EXPECT_EQ(m, c.message) << c.value;
  }
}

TEST(Stub, WindowClassNamesAlwaysFit) {
  const std::string dir = "C:\\" + std::string(230, 'd') + "\\";
  const std::string fits = dir + std::string(255 - dir.size(), 's');  // 255 characters
  const std::string tooLong = fits + "x";
  ASSERT_EQ(fits.size(), 255u);

  EXPECT_EQ(WindowClassName(false, fits), fits);
  const std::string hashed = WindowClassName(false, tooLong);
  EXPECT_EQ(hashed.rfind("VarnelStub.SHA256.", 0), 0u) << hashed;
  EXPECT_LE(hashed.size(), kMaxWindowClassLength);
  // One instance per path: the same path in another case gives the same
  // class (class names ignore case), another path another one.
  EXPECT_EQ(WindowClassName(false, UpperCase(tooLong)), hashed);
  EXPECT_NE(WindowClassName(false, tooLong + "y"), hashed);
  EXPECT_NE(WindowClassName(false, "y" + tooLong.substr(1)), hashed);

  // An agent's own class and the class the plain agent looks for agree.
  const std::string longAgent = std::string(250, 'a') + ".AutoUpdate.exe";
  const std::string xClass = WindowClassName(true, dir + "X_" + longAgent);
  EXPECT_LE(xClass.size(), kMaxWindowClassLength);
  EXPECT_EQ(XWindowClassName(longAgent), xClass);
  EXPECT_NE(WindowClassName(true, dir + longAgent), xClass);
}

TEST(Stub, SpanSwitchesOfTheUserAreRemoved) {
  struct {
    const char* args;
    const char* expected;
  } cases[] = {
      {"", ""},
      {"/a=1 /b", "/a=1 /b"},
      {"/SpanCdLvl=1", ""},
      {"/spancdlvl=2 /a=1", " /a=1"},
      {"/a=1 /SpanCdLvl=1 /b=2", "/a=1 /b=2"},
      {"/a=1 /SPANDISKFNAME1=\"D:\\x y\\s.001\" /b", "/a=1 /b"},
      {"/SpanCdLvl =2 /SpanCdLvl=1/x /a", " /a"},
      {"/a=1 \"/SpanCdLvl=1\" /b", "/a=1 /b"},
      // The reader sees a switch inside a quoted value, so it goes; the
      // value keeps its closing quote.
      {"/Dir=\"C:\\a /SpanCdLvl=1 b\" /c", "/Dir=\"C:\\a\" /c"},
      // Not where the reader sees a switch: kept.
      {"x/SpanCdLvl=1 /SpanCdLvlX=1 /SpanCdLvl", "x/SpanCdLvl=1 /SpanCdLvlX=1 /SpanCdLvl"},
      {"-SpanCdLvl=1", "-SpanCdLvl=1"},
  };
  for (auto c : cases) EXPECT_EQ(RemoveSpanSwitches(c.args), c.expected) << c.args;
}

TEST(Stub, TheRelaunchGivesItsOwnLevelAndVolumeWhateverTheUserGave) {
  for (const char* user : {"/SpanCdLvl=1", "/SpanCdLvl=2", "/spancdlvl=1 /SpanDiskFName1=C:\\evil.exe /q",
                           "/SpanCdLvl=\"1\"", "/a /SpanCdLvl=1 /SpanCdLvl=1"}) {
    const std::string command = TempCopyCommand("C:\\T\\SETUP_1\\Y_s.exe", user, "E:\\s.exe");
    const std::string args = command.substr(command.find("\" ") + 2);
    EXPECT_EQ(GetSwitchInt(args, "/SpanCdLvl=", 1), 2) << user;
    EXPECT_EQ(GetSwitch(args, "/SpanDiskFName1=", ""), "E:\\s.exe.001") << user;
    EXPECT_EQ(GetSwitch(args, "/OriginExe=", ""), "E:\\s.exe") << user;
  }
}

TEST(Stub, OnlyTheYCopyOfOurOwnRelaunchDeletesItself) {
  const int32_t date = static_cast<int32_t>(0x5A21ABCD);  // SETUP_43981
  auto facts = [&](bool copyToTemp, int64_t level, const std::string& path) {
    TTempCopyFacts f;
    f.copyToTemp = copyToTemp;
    f.spanCdLevel = level;
    f.ownPath = path;
    f.tempDir = "C:\\Temp\\";
    f.ownDosDateTime = date;
    return f;
  };
  struct {
    const char* what;
    TTempCopyFacts facts;
    bool own;
  } cases[] = {
      {"the Y_ copy", facts(true, 2, "C:\\Temp\\SETUP_43981\\Y_setup.exe"), true},
      {"in a further name, any case", facts(true, 2, "c:\\temp\\setup_43981_3\\y_Setup.exe"), true},
      {"level 1", facts(true, 1, "C:\\Temp\\SETUP_43981\\Y_setup.exe"), false},
      {"no copy-to-temp package", facts(false, 2, "C:\\Temp\\SETUP_43981\\Y_setup.exe"), false},
      {"not named Y_", facts(true, 2, "C:\\Temp\\SETUP_43981\\setup.exe"), false},
      {"a setup on a share", facts(true, 2, "\\\\server\\share\\Y_setup.exe"), false},
      {"the temp folder itself", facts(true, 2, "C:\\Temp\\Y_setup.exe"), false},
      {"another date's folder", facts(true, 2, "C:\\Temp\\SETUP_1\\Y_setup.exe"), false},
      {"beyond the names tried", facts(true, 2, "C:\\Temp\\SETUP_43981_16\\Y_setup.exe"), false},
      {"below a working directory", facts(true, 2, "C:\\Temp\\SETUP_43981\\sub\\Y_setup.exe"), false},
      {"just Y_", facts(true, 2, "C:\\Temp\\SETUP_43981\\Y_"), false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsOwnTempCopy(c.facts), c.own) << c.what;

  TRoleFacts y = Facts(false, "Y_setup.exe", true, 2);
  EXPECT_FALSE(DeletesItselfAfterWindow(y));  // a user's /SpanCdLvl=2
  y.ownTempCopy = true;
  EXPECT_TRUE(DeletesItselfAfterWindow(y));
  y.ownWindowExists = true;
  EXPECT_FALSE(DeletesItselfAfterWindow(y));
  EXPECT_TRUE(DeletesItselfAfterWindow(Facts(true, "X_Foo.AutoUpdate.exe")));
  EXPECT_FALSE(DeletesItselfAfterWindow(Facts(true, "Foo.AutoUpdate.exe")));
  EXPECT_FALSE(DeletesItselfAfterWindow(Facts(false, "setup.exe", false, 2)));
}

TEST(Stub, WorkingDirectoryNames) {
  EXPECT_EQ(WorkingDirectoryCandidate("C:\\Temp\\SETUP_7", 0), "C:\\Temp\\SETUP_7");
  EXPECT_EQ(WorkingDirectoryCandidate("C:\\Temp\\SETUP_7", 3), "C:\\Temp\\SETUP_7_3");
  EXPECT_TRUE(IsWorkingDirectoryCandidate("c:\\temp\\setup_7\\", "C:\\Temp\\SETUP_7"));
  EXPECT_TRUE(IsWorkingDirectoryCandidate("C:\\Temp\\SETUP_7_15", "C:\\Temp\\SETUP_7"));
  EXPECT_FALSE(IsWorkingDirectoryCandidate("C:\\Temp\\SETUP_7_16", "C:\\Temp\\SETUP_7"));
  EXPECT_FALSE(IsWorkingDirectoryCandidate("C:\\Temp\\SETUP_77", "C:\\Temp\\SETUP_7"));
  EXPECT_FALSE(IsWorkingDirectoryCandidate("", "C:\\Temp\\SETUP_7"));
}
