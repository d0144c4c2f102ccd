// Geometry of the stub window and the bookkeeping of its progress bars.
#include "stub/StubWinLayout.h"

#include <gtest/gtest.h>

using namespace StubWin;

namespace {

bool Same(const TRect& a, const TRect& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

}  // namespace

TEST(StubWinLayout, ChildrenMoveOnlyForHebrewAndArabic) {
  const TRect text{70, 20, 340, 18}, bar{70, 38, 392, 13}, activity{416, 20, 46, 13};
  const TRect textRtl{122, 20, 340, 18}, activityRtl{70, 20, 46, 13};
  struct {
    int charset;
    bool rtl;
  } cases[] = {{0, false}, {1, false}, {161, false}, {176, false}, {177, true}, {178, true}, {179, false}, {204, false}};
  for (auto c : cases) {
    const TChildLayout l = ChildLayout(c.charset);
    EXPECT_EQ(l.rightToLeft, c.rtl) << c.charset;
    EXPECT_TRUE(Same(l.textLine, c.rtl ? textRtl : text)) << c.charset;
    EXPECT_TRUE(Same(l.progressBar, bar)) << c.charset;
    EXPECT_TRUE(Same(l.activityBar, c.rtl ? activityRtl : activity)) << c.charset;
  }
}

TEST(StubWinLayout, SevenStepsMoveTheActivityCounterThroughAFullCircle) {
  int counter = 0;
  std::vector<int> seen;
  for (int i = 0; i < 7; ++i) seen.push_back(counter = NextActivity(counter));
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5, 0, 1}));
  // A counter out of range starts again at 0 instead of growing.
  EXPECT_EQ(NextActivity(17), 0);
  EXPECT_EQ(NextActivity(-3), 0);
}

TEST(StubWinLayout, TheBarRangeIsSentAsSixteenBits) {
  EXPECT_EQ(BarRangeMax(0), 0);
  EXPECT_EQ(BarRangeMax(65535), 65535);
  EXPECT_EQ(BarRangeMax(65536), 0);
  EXPECT_EQ(BarRangeMax(70000), 70000 - 65536);
}
