// The POSIX backends of the process lookup and of ExecPipe (host tools).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "autoupdate/ExecPipe.h"
#include "autoupdate/Process.h"

namespace {

std::string OwnPath() {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer));
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

// Other tests of this executable may run at the same time, so the lookup is
// checked against a uniquely named copy of sleep that only this test starts.
TEST(ProcessPosix, FindsAProcessByItsPath) {
  const std::string own = OwnPath();
  ASSERT_FALSE(own.empty());
  EXPECT_TRUE(IsProcessRunning(own));

  char dir[] = "/tmp/varnel-process-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string copy = std::string(dir) + "/unique-sleeper";
  ASSERT_EQ(std::system(("cp /bin/sleep '" + copy + "'").c_str()), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::execl(copy.c_str(), "unique-sleeper", "30", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  for (int i = 0; i < 200 && FindProcessId(copy, true) == 0; ++i) ::usleep(10000);
  EXPECT_EQ(FindProcessId(copy, true), static_cast<uint32_t>(child));
  EXPECT_TRUE(IsProcessRunning(copy));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_FALSE(IsProcessRunning(copy));
  std::system(("rm -rf '" + std::string(dir) + "'").c_str());

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
