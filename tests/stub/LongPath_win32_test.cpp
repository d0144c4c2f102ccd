// Setups whose full path is too long to be a window class name (wine64):
// they run their engine, and a second start of the same one still does
// nothing. (Paths of 260 characters and more cannot be made with the ANSI
// calls here, so the stub never sees one.)
#include "../package/SetupRun_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "stub/ExitCodes.h"
#include "stub/Stub.h"

using namespace stubtest;
using namespace setuprun;

namespace {

class LongPathTest : public SetupRunTest {
 protected:
  // A path of exactly `length` characters for the setup, below the scratch folder.
  std::string LongExe(size_t length) {
    std::string folder = dir.Path();
    const std::string name = "\\Setup.exe";
    while (folder.size() + name.size() < length) {
      const size_t room = length - folder.size() - name.size() - 1;  // one for the backslash
      const size_t part = std::min<size_t>(room, 120);
      if (part == 0) break;
      folder += "\\" + std::string(part, 'L');
      ::CreateDirectoryA(folder.c_str(), nullptr);
    }
    return folder + name;
  }
};

TEST_F(LongPathTest, ASetupWhosePathIsNoWindowClassRunsItsEngine) {
  SetEngineEnv({{"VARNEL_ENGINE_EXIT", "7"}});
  for (size_t length : {256u, 259u}) {
    SCOPED_TRACE(length);
    exe = LongExe(length);
    ASSERT_EQ(exe.size(), length);
    ASSERT_GT(exe.size(), Stub::kMaxWindowClassLength);  // too long to be the class name
    Write(Writer());
    ASSERT_TRUE(Exists(exe));
    ::DeleteFileA(log.c_str());
    EXPECT_EQ(Run("/hide"), 7u);
    EXPECT_EQ(LogValue(testsupport::ReadBytes(log), "EngineDir"), WorkDir());
    EXPECT_FALSE(Exists(WorkDir()));
  }
}

TEST_F(LongPathTest, ASecondStartOfALongPathSetupDoesNothing) {
  exe = LongExe(258);
  Write(Writer());
  ASSERT_TRUE(Exists(exe));
  TProc first(exe, "/hide /EngineSleep=15000 /EngineExit=7");
  ASSERT_TRUE(WaitUntil([&] { return !LogValue(testsupport::ReadBytes(log), "EngineDir").empty(); }, kRunMs))
      << "the first run did not start its engine";
  ::DeleteFileA(log.c_str());
  TProc second(exe, "/hide");
  EXPECT_EQ(second.Wait(kRunMs), 0u);
  EXPECT_FALSE(Exists(log)) << "the second start ran a setup";
  EXPECT_TRUE(first.Running());
  EXPECT_EQ(first.Wait(kRunMs), 7u);
}

}  // namespace
