#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "util/SysInfo.h"

namespace {

// Restores an environment variable when the test ends.
class TEnvVar {
 public:
  explicit TEnvVar(const char* name) : name_(name) {
    const char* value = std::getenv(name);
    had_ = value != nullptr;
    if (had_) old_ = value;
  }
  ~TEnvVar() {
    if (had_)
      ::setenv(name_, old_.c_str(), 1);
    else
      ::unsetenv(name_);
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

TEST(SysInfoPosix, TempDirComesFromTMPDIROrTmp) {
  TEnvVar keep("TMPDIR");
  ::setenv("TMPDIR", "/var/scratch//", 1);
  EXPECT_EQ(TempDir(true), "/var/scratch/");
  EXPECT_EQ(TempDir(false), "/var/scratch");
  ::setenv("TMPDIR", "", 1);
  EXPECT_EQ(TempDir(true), "/tmp/");
  ::unsetenv("TMPDIR");
  EXPECT_EQ(TempDir(false), "/tmp");
}

TEST(SysInfoPosix, DeveloperModeNeedsExactly364AndIsReadOnce) {
  TEnvVar keep("DVX");
  ::setenv("DVX", "364", 1);
  EXPECT_TRUE(IsDeveloperMode());
  ::setenv("DVX", "0", 1);
  EXPECT_TRUE(IsDeveloperMode());  // cached
}

TEST(SysInfoPosix, LastErrorTextDescribesErrno) {
  errno = ENOENT;
  EXPECT_NE(LastErrorText().find("No such file"), std::string::npos);
}

}  // namespace
