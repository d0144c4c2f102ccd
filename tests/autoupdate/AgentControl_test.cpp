// Agent commands over the run state and a settings access that keeps its
// values in memory.
#include "autoupdate/AgentControl.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "stub/Stub.h"

using namespace AgentControl;

namespace {

struct TFakeFiles {
  std::map<std::string, int64_t> values;  // key name -> value
  std::map<std::string, std::string> texts;
  bool writable = true;
};
TFakeFiles g_files;

int64_t FakeRead(const AU::TKey& key) {
  const auto it = g_files.values.find(key.name);
  return it == g_files.values.end() ? AU::IntegerDefault(key) : it->second;
}
bool FakeWrite(const AU::TKey& key, int64_t value) {
  if (!g_files.writable) return false;
  g_files.values[key.name] = value;
  return true;
}
bool FakeWriteClock(const AU::TKey& key, int64_t value) {
  if (!g_files.writable) return false;
  g_files.values[key.name] = value;
  g_files.texts[std::string("__") + key.name] = AU::ReadableClockSeconds(value);
  return true;
}
const TSettingsAccess kFake{FakeRead, FakeWrite, FakeWriteClock};

class AgentCommands : public ::testing::Test {
 protected:
  void SetUp() override { g_files = TFakeFiles{}; }
  int64_t Run(uint32_t command, int32_t value) { return RunAgentCommand(command, value, run, kFake); }
  Stub::TAgentRun run;
};

}  // namespace

TEST_F(AgentCommands, ReadsGiveTheValueOrItsLow32Bits) {
  g_files.values = {{"VersionOriginal", 101},
                    {"VersionNew", 102},
                    {"ProbeSecondsInterval", 3600},
                    {"ReAskSecondsInterval", -1},
                    {"ProbeSecondsLast", 0x123456789LL},
                    {"ReAskSecondsLast", 0x80000000LL}};
  run.phase = 2;
  const std::pair<uint32_t, int64_t> cases[] = {
      {4, 101}, {5, 102}, {7, 2}, {8, 3600}, {9, -1}, {10, 0x23456789}, {11, INT32_MIN},
  };
  for (const auto& [command, result] : cases) EXPECT_EQ(Run(command, 0), result) << command;
  g_files.values.clear();  // missing keys read as their defaults
  for (uint32_t command : {4u, 5u, 8u, 9u, 10u, 11u}) EXPECT_EQ(Run(command, 0), 0) << command;
}

TEST_F(AgentCommands, WritesWidenTheValueWithItsSignAndWriteTheReadableCopies) {
  EXPECT_EQ(Run(12, -1), 0);
  EXPECT_EQ(Run(13, 86400), 0);
  EXPECT_EQ(Run(14, 86399), 0);
  EXPECT_EQ(Run(15, -5), 0);
  EXPECT_EQ(g_files.values["ProbeSecondsInterval"], -1);
  EXPECT_EQ(g_files.values["ReAskSecondsInterval"], 86400);
  EXPECT_EQ(g_files.values["ProbeSecondsLast"], 86399);
  EXPECT_EQ(g_files.values["ReAskSecondsLast"], -5);
  EXPECT_EQ(g_files.texts["__ProbeSecondsLast"], "30-DEC-1899 23:59:59");
  EXPECT_EQ(g_files.texts.count("__ReAskSecondsLast"), 1u);
  EXPECT_EQ(g_files.texts.count("__ProbeSecondsInterval"), 0u);
  EXPECT_EQ(Run(8, 0), -1);  // read back
}

TEST_F(AgentCommands, AFailedWriteIsNotReportedAsDone) {
  g_files.writable = false;
  for (uint32_t command : {12u, 13u, 14u, 15u}) EXPECT_EQ(Run(command, 7), kWriteFailed) << command;
  EXPECT_TRUE(g_files.values.empty());
}

TEST_F(AgentCommands, OverridesTakeTheLowByte) {
  const std::pair<uint32_t, int> cases[] = {{20, 0}, {21, 1}, {22, 2}, {23, 3}, {24, 4}, {25, 5}};
  for (const auto& [command, index] : cases) {
    for (const auto& [value, stored] : {std::pair<int32_t, int>{0, 0}, {1, 1}, {257, 1}, {-1, 255}, {255, 255}}) {
      EXPECT_EQ(Run(command, value), 0);
      EXPECT_EQ(run.transient[index], stored) << command << " " << value;
    }
  }
  // The two Force flags have no command.
  EXPECT_EQ(run.transient[6], 255);
  EXPECT_EQ(run.transient[7], 255);
  Stub::TAgentRun fresh;
  fresh.transient[1] = 0;
  RunAgentCommand(21, 255, fresh, kFake);  // 255 gives the flag back to the file
  EXPECT_EQ(fresh.transient[1], 255);
}

TEST_F(AgentCommands, RunStateCommands) {
  EXPECT_EQ(Run(30, 5), 0);
  EXPECT_EQ(run.stopCountdown, 5);
  EXPECT_EQ(Run(30, -1), 0);
  EXPECT_EQ(run.stopCountdown, -1);

  struct {
    int32_t tickBefore, value, tickAfter, mode;
  } cases[] = {{-3, 1, 1, 0}, {-3, 2, 1, 2}, {7, 0, 7, 0}, {7, 2, 7, 2}, {0, 3, 1, 0}, {1, -2, 1, 0}};
  for (const auto& c : cases) {
    Stub::TAgentRun r;
    r.tickCounter = c.tickBefore;
    EXPECT_EQ(RunAgentCommand(31, c.value, r, kFake), 0);
    EXPECT_TRUE(r.cycleRequest) << c.value;
    EXPECT_EQ(r.tickCounter, c.tickAfter) << c.value;
    EXPECT_EQ(r.cycleMode, c.mode) << c.value;
    EXPECT_FALSE(r.infoOnlyRequest);
  }
  EXPECT_EQ(Run(32, 0), 0);
  EXPECT_TRUE(run.infoOnlyRequest);
  EXPECT_FALSE(run.cycleRequest);
}

TEST_F(AgentCommands, UnknownNumbersChangeNothingAndGiveZero) {
  g_files.values = {{"VersionOriginal", 101}};
  for (uint32_t command : {0u, 1u, 3u, 6u, 16u, 19u, 26u, 29u, 33u, 99u, 0xFFFFFFFFu}) {
    Stub::TAgentRun r;
    EXPECT_EQ(RunAgentCommand(command, 2, r, kFake), 0) << command;
    EXPECT_EQ(r.tickCounter, -3);
    EXPECT_EQ(r.stopCountdown, -1);
    EXPECT_FALSE(r.cycleRequest || r.infoOnlyRequest || r.cycleMode != 0);
    EXPECT_EQ(r.transient, Stub::TAgentRun{}.transient);
  }
  EXPECT_EQ(g_files.values.size(), 1u);
}

TEST(AgentControl, CommandAndValueAreTheLow32Bits) {
  EXPECT_EQ(CommandOf(4), 4u);
  EXPECT_EQ(CommandOf(0x100000004ULL), 4u);
  EXPECT_EQ(ValueOf(-1), -1);
  EXPECT_EQ(ValueOf(0xFFFFFFFFLL), -1);
  EXPECT_EQ(ValueOf(0x1FFFFFFFELL), -2);
  EXPECT_EQ(ValueOf(0x7FFFFFFF), INT32_MAX);
}

TEST(AgentControl, ANewListenerHears50WithTheWindowThen51WithTheAgentMessage) {
  const auto answers = ListenerAnswers(0x1234);
  EXPECT_EQ(answers[0].wParam, 50u);
  EXPECT_EQ(answers[0].lParam, 0x1234);
  EXPECT_EQ(answers[1].wParam, 51u);
  EXPECT_EQ(answers[1].lParam, 0x465);
}
