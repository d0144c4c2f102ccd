// The stub window run inside the test process, its timer hook doing the
// checks: the progress callback, the progress-bar sink and the text line
// drive the window's controls as the setup run and the downloads expect.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stub/StubState.h"
#include "stub/StubWin.h"
#include "ui/VxProgBar.h"
#include "util/Win.h"

#include <commctrl.h>

namespace {

struct TBar {
  int high = -1;
  int pos = -1;
};

TBar Read(HWND bar) {
  return {static_cast<int>(::SendMessageA(bar, PBM_GETRANGE, FALSE, 0)),
          static_cast<int>(::SendMessageA(bar, PBM_GETPOS, 0, 0))};
}

std::string TextOf(HWND window) {
  char text[256] = {0};
  ::GetWindowTextA(window, text, sizeof(text));
  return text;
}

}  // namespace

TEST(StubWinProgress, TheCallbackTheSinkAndTheTextLineDriveTheWindowControls) {
  bool ran = false;
  StubWin::Hooks().setupTimerEntry = [&] {
    ran = true;
    HWND main = StubWin::MainWindow();
    ::KillTimer(main, StubWin::kTimerId);
    HWND bar = StubWin::ProgressBar();
    HWND activity = StubWin::ActivityBar();
    if (!bar || !activity) {
      ADD_FAILURE() << "no progress bars";
      ::PostQuitMessage(0);
      return;
    }
    EXPECT_FALSE(::IsWindowVisible(main));

    // Unpacker: start with a count, then steps of one.
    StubWin::UnpackProgress(0, 4);
    EXPECT_EQ(Read(bar).high, 4);
    EXPECT_EQ(Read(bar).pos, 0);
    EXPECT_EQ(Read(activity).high, 5);
    const int before = StubWin::ActivityCounter();
    for (int i = 1; i <= 3; ++i) {
      StubWin::UnpackProgress(1, 0);
      EXPECT_EQ(Read(bar).pos, i);
      EXPECT_EQ(Read(activity).pos, (before + i) % 6);
    }

    // Steps at once end where single steps do: inside the range, and past
    // its end, where the bar starts over.
    for (const int start : {0, 2}) {
      StubWin::ProgressStart(4, 1, start);
      for (int i = 0; i < 3; ++i) StubWin::ProgressStep();
      const int single = Read(bar).pos;
      StubWin::ProgressStart(4, 1, start);
      const int activityBefore = StubWin::ActivityCounter();
      StubWin::ProgressSteps(3);
      EXPECT_EQ(Read(bar).pos, single) << "from " << start;
      EXPECT_EQ(Read(activity).pos, (activityBefore + 3) % 6) << "from " << start;
    }
    StubWin::ProgressStart(100, 5, 10);
    StubWin::ProgressSteps(4);
    EXPECT_EQ(Read(bar).pos, 30);
    StubWin::ProgressSteps(0);
    EXPECT_EQ(Read(bar).pos, 30);

    // The range travels as 16 bits; position and step as given.
    StubWin::ProgressStart(70000, 5, 10);
    EXPECT_EQ(Read(bar).high, 70000 - 65536);
    EXPECT_EQ(Read(bar).pos, 10);
    EXPECT_EQ(Read(activity).pos, 0);

    // Through the progress-bar object: a text event steps, a finish empties.
    auto sink = StubWin::WindowProgBarSink();
    sink->Event(1, 0, 0, 0, 0, "12 KB/s");
    EXPECT_EQ(Read(bar).pos, 15);
    sink->Event(0, 0, 0, 0, 1, "");
    EXPECT_EQ(Read(bar).high, 0);
    EXPECT_EQ(Read(bar).pos, 0);
    sink->Event(0, 0, 200, 50, 1, "");
    EXPECT_EQ(Read(bar).high, 200);
    EXPECT_EQ(Read(bar).pos, 50);
    sink->Event(7, 0, 999, 999, 9, "");  // other kinds do nothing
    EXPECT_EQ(Read(bar).high, 200);

    // Seven steps from a fresh start walk the activity bar once round.
    while (StubWin::ActivityCounter() != 0) StubWin::ProgressStep();
    std::vector<int> seen;
    for (int i = 0; i < 7; ++i) {
      sink->Event(1, 0, 0, 0, 0, "");
      seen.push_back(Read(activity).pos);
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5, 0, 1}));

    // The text line in the package's font; Arabic reads right to left.
    HWND text = StubWin::TextLine();
    StubWin::SetTextLine("Extracting", "Arial", 10, 178);
    EXPECT_EQ(TextOf(text), "Extracting");
    EXPECT_EQ(::GetWindowLongA(text, GWL_STYLE) & SS_RIGHT, SS_RIGHT);
    EXPECT_EQ(::GetWindowLongA(text, GWL_EXSTYLE) & WS_EX_RTLREADING, WS_EX_RTLREADING);
    EXPECT_NE(::SendMessageA(text, WM_GETFONT, 0, 0), 0);
    StubWin::SetTextLine("Extracting", "Tahoma", 8, 0);
    EXPECT_EQ(::GetWindowLongA(text, GWL_STYLE) & SS_RIGHT, 0);
    EXPECT_EQ(::GetWindowLongA(text, GWL_EXSTYLE) & WS_EX_RTLREADING, 0);

    EXPECT_FALSE(::IsWindowVisible(activity));
    StubWin::ShowActivityBar(true);
    EXPECT_TRUE((::GetWindowLongA(activity, GWL_STYLE) & WS_VISIBLE) != 0);
    ::PostQuitMessage(0);
  };
  Stub::SetDownloadAbort(false);
  StubWin::WinMain();
  StubWin::Hooks() = StubWin::THooks{};
  EXPECT_TRUE(ran);
  // The end of the loop aborts any transfer.
  EXPECT_TRUE(Stub::DownloadAbort());
}
