#include "stub/Stub.h"

#include <gtest/gtest.h>

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
