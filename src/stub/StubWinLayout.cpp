#include "stub/StubWinLayout.h"

namespace StubWin {

bool IsRightToLeftCharset(int charset) { return charset == 177 || charset == 178; }

TChildLayout ChildLayout(int charset) {
  TChildLayout layout{{70, 20, 340, 18}, {70, 38, 392, 13}, {416, 20, 46, 13}, false};
  if (IsRightToLeftCharset(charset)) {
    layout.textLine.x = 122;
    layout.activityBar.x = 70;
    layout.rightToLeft = true;
  }
  return layout;
}

uint16_t BarRangeMax(int64_t maximum) { return static_cast<uint16_t>(static_cast<uint64_t>(maximum) & 0xFFFF); }

int NextActivity(int counter) { return counter >= kActivitySteps || counter < 0 ? 0 : counter + 1; }

}  // namespace StubWin
