#include "util/SysInfo.h"

#include <gtest/gtest.h>

#include "util/PathText.h"

namespace {

TEST(SysInfo, ExePathAndExeDirNameThisTestProgram) {
  const std::string path = ExePath();
  EXPECT_EQ(ExePath(true), "util_tests");
  EXPECT_EQ(BaseName(path), "util_tests");
  const std::string dir = ExeDir(true);
  ASSERT_FALSE(dir.empty());
  EXPECT_TRUE(dir.back() == '\\' || dir.back() == '/');
  EXPECT_EQ(path.substr(0, dir.size()), dir);
  EXPECT_EQ(ExeDir(false), dir.substr(0, dir.size() - 1));
}

TEST(SysInfo, TempDirEndsWithASeparatorOnlyWithTheFlag) {
  const std::string with = TempDir(true);
  const std::string without = TempDir(false);
  ASSERT_GT(with.size(), 1u);
  EXPECT_TRUE(with.back() == '\\' || with.back() == '/');
  EXPECT_EQ(with.substr(0, without.size()), without);
  EXPECT_NE(without.back(), with.back());
}

TEST(SysInfo, WaitPumpingWaitsAtLeastTheGivenTime) {
  for (int step : {0, 5}) {
    const int64_t start = MsCounter();
    WaitPumping(step, 60);
    const int64_t elapsed = MsCounter() - start;
    EXPECT_GE(elapsed, 60) << step;
    EXPECT_LT(elapsed, 2000) << step;
  }
  const int64_t start = MsCounter();
  WaitPumping(0, 0);  // pumps once
  EXPECT_LT(MsCounter() - start, 1000);
}

TEST(SysInfo, MsCounterNeverGoesBack) {
  int64_t last = MsCounter();
  for (int i = 0; i < 1000; ++i) {
    const int64_t now = MsCounter();
    ASSERT_GE(now, last);
    last = now;
  }
}

TEST(SysInfo, LastErrorTextIsNeverEmpty) { EXPECT_FALSE(LastErrorText().empty()); }

}  // namespace
