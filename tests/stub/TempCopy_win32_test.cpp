// The temp-copy relaunch as real processes (wine64): span switches that a
// user gives, and a relaunch that cannot copy or start its Y_ copy.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StubRun_win32.h"
#include "stub/ExitCodes.h"
#include "stub/Stub.h"
#include "util/FileIO.h"

using namespace stubtest;
using testsupport::TScratchDir;

namespace {

class TempCopyTest : public ::testing::Test {
 protected:
  TScratchDir dir;
  TScratchDir temp;
  TTempEnv env{temp.Path()};

  void TearDown() override {
    for (const char* name : {"Y_setup.exe", "Y_Y_setup.exe"}) KillAllNamed(name);
  }

  // A setup alone in a folder of its own (as on a share or a CD).
  std::string MakeSetup(const std::string& folder, const std::string& name, uint8_t options, size_t padding = 0) {
    const std::string path = dir.File(folder);
    ::CreateDirectoryA(path.c_str(), nullptr);
    TPackageRecipe recipe;
    recipe.options = options;
    recipe.padding = padding;
    return WritePackage(path + "\\" + name, recipe);
  }
};

// The setups are read-only, as on a CD: the Y_ copy still deletes itself.
TEST_F(TempCopyTest, ASpanLevelThatTheUserGivesNeitherChainsNorDeletesTheSetup) {
  TDebugViewer viewer(dir.File("debug.txt"));
  struct {
    const char* folder;
    const char* name;
    uint8_t options;
    const char* args;
    DWORD code;
    bool relaunched;
  } cases[] = {
      {"cd1", "setup.exe", PackFormat::kOptCopyToTemp, "/a=1 /SpanCdLvl=1 /b", 0, true},
      {"cd2", "setup.exe", PackFormat::kOptCopyToTemp, "/SpanCdLvl=2", ExitCodes::kEngineNotStarted, false},
      {"share1", "My%20Setup & ^1.exe", 0, "/SpanCdLvl=1", ExitCodes::kEngineNotStarted, false},
      {"share2", "My%20Setup & ^1.exe", 0, "/SpanCdLvl=2", ExitCodes::kEngineNotStarted, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.folder) + " " + c.args);
    const std::string exe = MakeSetup(c.folder, c.name, c.options);
    ::SetFileAttributesA(exe.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string work = WorkingDirOf(exe);
    const size_t from = viewer.Text().size();
    TBoxAnswerer answerer;
    TProc stub(exe, c.args);
    EXPECT_EQ(stub.Wait(kStartMs), c.code);
    if (c.relaunched) {
      // One Y_ copy, with the relaunch's level and volume only.
      const std::string y = work + "\\Y_" + c.name;
      const std::string command = "\"" + y + "\" /a=1 /b /SpanCdLvl=2 /SpanDiskFName1=\"" + exe +
                                  ".001\" /OriginExe=\"" + exe + "\"";
      EXPECT_TRUE(viewer.WaitFor(" ==== STUB START ====> " + command + "<\r\n", kStartMs, from)) << viewer.Text();
      EXPECT_TRUE(WaitUntil([&] { return !Exists(work); }, 60000)) << "the Y_ copy did not clean up";
      const std::string seen = viewer.Text().substr(from);
      EXPECT_EQ(CountOf(seen, " ==== STUB START ====> \"" + y), 1);
      EXPECT_EQ(seen.find("Y_Y_"), std::string::npos);
    } else {
      WaitUntil([] { return false; }, 3000);  // time for a self-deletion that must not come
      EXPECT_EQ(viewer.Text().find("Y_", from), std::string::npos);
    }
    EXPECT_TRUE(Exists(exe));
    EXPECT_EQ(NamesIn(dir.File(c.folder)), std::vector<std::string>{c.name});
    EXPECT_FALSE(Exists(work));
    ::SetFileAttributesA(exe.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

TEST_F(TempCopyTest, ARelaunchWithoutAWorkingDirectoryEndsWithTheExtractionCode) {
  TDebugViewer viewer(dir.File("debug.txt"));
  testsupport::WriteBytes(temp.File("blocker"), "a file where the temp folder should be");
  TTempEnv blocked(temp.File("blocker") + "\\sub");
  const std::string exe = MakeSetup("cd", "setup.exe", PackFormat::kOptCopyToTemp);
  TProc stub(exe, "");
  EXPECT_EQ(stub.Wait(kStartMs), ExitCodes::kExtractionFailed);
  EXPECT_TRUE(viewer.WaitFor(std::to_string(stub.Id()) + " RelaunchTempCopy: no working directory"));
  EXPECT_EQ(viewer.Text().find("Y_setup.exe"), std::string::npos);
  EXPECT_EQ(NamesIn(temp.Path()), std::vector<std::string>{"blocker"});
}

TEST_F(TempCopyTest, ARelaunchWhoseCopyFindsNoRoomEndsWithTheExtractionCodeAndLeavesNothing) {
  TSmallDrive drive('D');
  if (!drive.Why().empty()) GTEST_SKIP() << drive.Why();
  const std::string smallTemp = "D:\\varnel-temp-" + std::to_string(::GetCurrentProcessId());
  ASSERT_TRUE(::CreateDirectoryA(smallTemp.c_str(), nullptr));
  TDebugViewer viewer(dir.File("debug.txt"));
  {
    TTempEnv small(smallTemp);
    const std::string exe = MakeSetup("cd", "setup.exe", PackFormat::kOptCopyToTemp, 3 * 1024 * 1024);
    TProc stub(exe, "");
    EXPECT_EQ(stub.Wait(kStartMs), ExitCodes::kExtractionFailed);
    EXPECT_TRUE(viewer.WaitFor(std::to_string(stub.Id()) + " RelaunchTempCopy: the Y_ copy could not be written"))
        << viewer.Text();
    EXPECT_FALSE(AnyRunningNamed("Y_setup.exe"));
    EXPECT_EQ(NamesIn(smallTemp), std::vector<std::string>{});
  }
  ::RemoveDirectoryA(smallTemp.c_str());
}

}  // namespace
