// The command line, start-up error text and wait schedule of ExecPipe.
#include "autoupdate/ExecPipe.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ExecPipeParts, CommandLine) {
  struct Case {
    std::string command, parameters, expected;
  } cases[] = {
      {"C:\\Program Files\\x.exe", "", "\"C:\\Program Files\\x.exe\""},
      {"C:\\Program Files\\x.exe", "/a b", "\"C:\\Program Files\\x.exe\" /a b"},
      {"\"C:\\Program Files\\x.exe\"", "/a", "\"C:\\Program Files\\x.exe\" /a"},
      {"C:\\Program Files\\x.exe\" /q", "", "C:\\Program Files\\x.exe\" /q"},  // has a quote: as is
      {"tasklist.exe", "/FO csv", "tasklist.exe /FO csv"},
      {"cmd", "", "cmd"},
      {"", "/x", " /x"},
      {"", "", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ExecPipeCommandLine(c.command, c.parameters), c.expected) << c.command;
}

TEST(ExecPipeParts, StartErrorText) {
  EXPECT_EQ(ExecPipeStartError("x.exe /a", "File not found."), "File not found. --- x.exe /a");

  const std::string longLine(300, 'a');
  EXPECT_EQ(ExecPipeStartError(longLine, "E"), "E --- " + std::string(256, 'a'));

  const std::string limit(kMaxCommandLineLength, 'b');
  EXPECT_EQ(ExecPipeStartError(limit, "E"), "E --- " + std::string(256, 'b'));
  EXPECT_EQ(ExecPipeStartError(limit + "b", "E"), "Command line is too long");
  EXPECT_EQ(ExecPipeStartError(std::string(40000, 'c'), "E"), "Command line is too long");
}

TEST(ExecPipeParts, WaitShrinksOnlyWhileOutputComes) {
  EXPECT_EQ(NextExecPipeWait(100, false), 100);
  EXPECT_EQ(NextExecPipeWait(100, true), 90);
  EXPECT_EQ(NextExecPipeWait(11, true), 1);
  EXPECT_EQ(NextExecPipeWait(10, true), 10);
  EXPECT_EQ(NextExecPipeWait(1, true), 1);  // with a callback the wait starts at 1 ms

  int wait = 100;
  for (int round = 0; round < 20; ++round) wait = NextExecPipeWait(wait, true);
  EXPECT_EQ(wait, 10);
}

}  // namespace
