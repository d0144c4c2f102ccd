// The POSIX backends of the process lookup and of ExecPipe (host tools).
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "autoupdate/ExecPipe.h"
#include "autoupdate/Process.h"

namespace {

std::string OwnPath() {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer));
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

TEST(ProcessPosix, FindsItself) {
  const std::string own = OwnPath();
  ASSERT_FALSE(own.empty());
  EXPECT_TRUE(IsProcessRunning(own));
  EXPECT_EQ(FindProcessId(own, true), static_cast<uint32_t>(::getpid()));
  EXPECT_FALSE(IsProcessRunning(own + ".missing"));
  EXPECT_FALSE(IsProcessRunning(""));
  EXPECT_EQ(FindMainWindow(own), 0u);
}

TEST(ExecPipePosix, OutputErrorsAndExitCodes) {
  TExecPipeResult r = ExecPipe("sh", "-c 'echo hello; echo oops >&2; exit 3'", 0);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.exitCode, 3u);
  EXPECT_EQ(r.output, "hello\n");
  EXPECT_EQ(r.errors, "oops\n");

  r = ExecPipe("echo", std::string(40000, 'a'), 0);
  EXPECT_EQ(r.exitCode, 21u);
  EXPECT_EQ(r.errors, "Command line is too long");
}

void StopAtOnce(const std::string&, void*, bool& stop) { stop = true; }

TEST(ExecPipePosix, CallbackStopsTheProgram) {
  const TExecPipeResult r = ExecPipe("sh", "-c 'echo first; sleep 30'", 0, StopAtOnce);
  EXPECT_EQ(r.exitCode, 255u);
  EXPECT_EQ(r.output, "first\n");
}

}  // namespace
