// The stub window: one hidden 492 x 110 window with a text line, a progress
// bar and a small activity bar, its message loop, and the once-a-second
// timer that hands control to the setup run or to the agent's update cycle.
//
// Win32 only (StubWin_win32.cpp). Geometry: StubWinLayout.h.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "stub/StubWinLayout.h"
#include "util/Win.h"

class TProgBarSink;

namespace StubWin {

// Registers the window class (Stub::WindowClass()), creates the window and
// runs the message loop until the quit message or the loop-exit flag; then
// stops the timer, sets the download abort flag and tells the listener (43).
void WinMain();

// Handles of the window and its children (nullptr before WinMain creates them).
HWND MainWindow();
HWND TextLine();
HWND ProgressBar();
HWND ActivityBar();

// A close request: the first one only sets the download abort flag (false:
// keep the window), a later one gives true (destroy the window).
bool CloseMainWindow();
// Teardown: abort flag, working directory deleted, quit posted, loop-exit flag.
void DestroyMainWindow();

// Progress of the unpacker and the downloads.
// Start: range 0..maximum (16-bit), position, step; activity bar 0..5 at 0.
void ProgressStart(int64_t maximum, int step, int position);
// Step: the progress bar advances by its step, the activity bar by one (wrapping after 5).
void ProgressStep();
// Steps at once: both bars end where that many single steps leave them, and
// each is drawn once instead of once a step.
void ProgressSteps(int count);
// Unpacker form: kind 0 = start with range 0..count, step 1, position 0; kind 1 = step.
void UnpackProgress(int kind, int64_t count);
// Sink of the progress-bar object: kind 0 = start (position and finish
// events), kind 1 = step (text events; the text is not shown), others nothing.
void ProgBarSink(int kind, int zero, int maximum, int position, int step, const std::string& text);
int ActivityCounter();
// The sink to create the process-wide progress-bar object with: it drives
// this window's bars through ProgBarSink (one activity counter for both).
std::shared_ptr<TProgBarSink> WindowProgBarSink();

// Text line in the package's font: height from the point size at the
// screen's resolution; character sets 177 and 178 read right to left,
// right-aligned.
void SetTextLine(const std::string& text, const std::string& faceName, int points, int charset);
void ShowActivityBar(bool show);

// The work the timer and the control messages hand over to. The setup run
// (extraction driver), the update cycle and the agent commands are built on
// top of this window and install themselves here before WinMain runs; until
// they do, the defaults below apply:
//  - setupTimerEntry: stops the timer, deletes the working directory and
//    posts the quit message (a setup package ends on its first tick);
//  - agentTick: counts the tick (Stub::CountAgentTick) and posts the quit
//    message when the stop countdown runs out;
//  - controlMessage: Stub::HandleControlMessage (records the message, stores
//    the listener, sets the stop countdown);
//  - releaseInternet: nothing (no Internet library is bound yet);
//  - checkTestMode: nothing (the X_ agent's forced test-mode check).
struct THooks {
  std::function<void()> setupTimerEntry;
  std::function<void()> agentTick;
  std::function<int64_t(unsigned message, uint64_t wParam, int64_t lParam)> controlMessage;
  std::function<void()> releaseInternet;
  std::function<void(bool force)> checkTestMode;
};
THooks& Hooks();

// The defaults, for hooks that want to fall back on them.
void DefaultSetupTimerEntry();
void DefaultAgentTick();

}  // namespace StubWin
