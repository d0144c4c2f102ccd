// Geometry of the stub window and the bookkeeping of its two progress bars,
// kept apart from the Win32 code so that it can be checked anywhere.
#pragma once

#include <cstdint>

namespace StubWin {

struct TRect {
  int x, y, width, height;
};

constexpr int kMainWidth = 492;
constexpr int kMainHeight = 110;
constexpr unsigned kTimerId = 1;
constexpr unsigned kTimerMs = 1000;
constexpr int kIconX = 18;
constexpr int kIconY = 20;
constexpr int kActivitySteps = 5;  // the activity bar shows 0..5

// Children of the main window, in its client area.
struct TChildLayout {
  TRect textLine;
  TRect progressBar;
  TRect activityBar;
  bool rightToLeft;  // text line right-aligned with right-to-left reading order
};

// Hebrew (177) and Arabic (178) move the text line right and the activity bar left.
bool IsRightToLeftCharset(int charset);
TChildLayout ChildLayout(int charset);

// The progress bar's range is sent as a 16-bit value.
uint16_t BarRangeMax(int64_t maximum);
// Next value of the activity counter: 0, 1, ..., 5, 0, ...
int NextActivity(int counter);

}  // namespace StubWin
