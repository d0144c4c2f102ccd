// Control messages as handled so far, the counting agent tick, and the
// process-wide state that they change.
#include "stub/StubControl.h"

#include <gtest/gtest.h>

#include "stub/Stub.h"
#include "stub/StubState.h"
#include "stub/VxDebug.h"

using namespace Stub;

namespace {

class StubControlTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    AgentRun() = TAgentRun{};
    SetListener(0, 0);
  }
};

}  // namespace

TEST_F(StubControlTest, ShutDownSetsTheCountdownAndATickEndsTheRunWhenItReachesZero) {
  HandleControlMessage(wm_ShutDown, 2, 0);
  TAgentRun& run = AgentRun();
  EXPECT_EQ(run.stopCountdown, 2);
  std::vector<bool> ends;
  for (int i = 0; i < 4; ++i) ends.push_back(CountAgentTick(run));
  // 2 -> 1 -> 0 -> end on the third tick; afterwards it stays below 0.
  EXPECT_EQ(ends, (std::vector<bool>{false, false, true, false}));
  EXPECT_EQ(run.stopCountdown, -1);
  EXPECT_EQ(run.tickCounter, -3 + 4);
}

TEST_F(StubControlTest, WithoutAShutDownTicksOnlyCount) {
  TAgentRun& run = AgentRun();
  run.tickCounter = -5;  // /SleepX=5
  for (int i = 0; i < 6; ++i) EXPECT_FALSE(CountAgentTick(run));
  EXPECT_EQ(run.tickCounter, 1);  // the first check comes on tick n+1
}

TEST_F(StubControlTest, ShutDownTakesTheLow32BitsSigned) {
  HandleControlMessage(wm_ShutDown, 0xFFFFFFFFu, 0);
  EXPECT_EQ(AgentRun().stopCountdown, -1);
  HandleControlMessage(wm_ShutDown, 0, 0);
  EXPECT_EQ(AgentRun().stopCountdown, 0);
}

TEST_F(StubControlTest, LocalMsgStoresTheListenerAndBothMustBeSet) {
  EXPECT_FALSE(HasListener());
  HandleControlMessage(wm_LocalMsg, 0x1234, 49000);
  EXPECT_EQ(ListenerWindow(), 0x1234u);
  EXPECT_EQ(ListenerMessage(), 49000u);
  EXPECT_TRUE(HasListener());
  HandleControlMessage(wm_LocalMsg, 0, 0);  // "/WM_MSG=abc" posts 0 and 0
  EXPECT_FALSE(HasListener());
  HandleControlMessage(wm_LocalMsg, 0x1234, 0);
  EXPECT_FALSE(HasListener());
}

TEST_F(StubControlTest, EveryControlMessageIsTracedWithItsNameAndValues) {
  VxDebug::TTraceCapture capture;
  EXPECT_EQ(HandleControlMessage(wm_AgentMsg, 31, 1), 0);
  HandleControlMessage(wm_ShutDown, 2, 0);
  HandleControlMessage(wm_LocalMsg, 77, -5);
  ASSERT_EQ(capture.Lines().size(), 3u);
  EXPECT_EQ(capture.Lines()[0], "Control message wm_AgentMsg (wParam=31, lParam=1)");
  EXPECT_EQ(capture.Lines()[1], "Control message wm_ShutDown (wParam=2, lParam=0)");
  EXPECT_EQ(capture.Lines()[2], "Control message wm_LocalMsg (wParam=77, lParam=-5)");
  // wm_AgentMsg changes nothing yet.
  EXPECT_EQ(AgentRun().tickCounter, -3);
}

TEST(StubState, TransientListItemsReplaceOptionsAndBadItemsKeepThem) {
  struct {
    const char* list;
    const char* result;
  } cases[] = {
      {"|255|1|255|255|255|255|255|255|", "|255|1|255|255|255|255|255|255|"},
      {"|0|1|2|3|4|5|6|7|", "|0|1|2|3|4|5|6|7|"},
      {"||x|256|-1| 7 |", "|255|255|0|255|7|255|255|255|"},  // empty, not a number, low byte, blanks
      {"|1|2|3|4|5|6|7|8|9|10|", "|1|2|3|4|5|6|7|8|"},        // extra items ignored
      {"garbage", "|255|255|255|255|255|255|255|255|"},
      {"", "|255|255|255|255|255|255|255|255|"},
  };
  for (auto c : cases) {
    std::array<uint8_t, 8> options{255, 255, 255, 255, 255, 255, 255, 255};
    ApplyTransientList(options, c.list);
    EXPECT_EQ(TransientList(options), c.result) << c.list;
  }
}

TEST(StubState, SwitchValuesAreClampedInto32Bits) {
  EXPECT_EQ(ClampToInt32(-5), -5);
  EXPECT_EQ(ClampToInt32(-99999999999LL), INT32_MIN);
  EXPECT_EQ(ClampToInt32(99999999999LL), INT32_MAX);
}
