// The stub window of a running stub (wine64): an agent package under a name
// of its own runs the window with counting ticks, which leaves time to look
// at it from outside.
#include <gtest/gtest.h>

#include <string>

#include "StubRun_win32.h"
#include "stub/ExitCodes.h"
#include "stub/Stub.h"
#include "stub/StubState.h"
#include "stub/StubWin.h"

using namespace stubtest;
using testsupport::TScratchDir;

namespace {

class StubWinTest : public ::testing::Test {
 protected:
  TScratchDir dir;
  TScratchDir temp;
  TTempEnv env{temp.Path()};

  std::string Agent(const std::string& name, std::vector<std::string> language = {"Charset=0"}) {
    TPackageRecipe recipe;
    recipe.agent = true;
    recipe.options = PackFormat::kOptAgentTraceLog;
    recipe.language = std::move(language);
    return WritePackage(dir.File(name), recipe);
  }
  std::string Log(const std::string& baseName) { return dir.File("X_" + baseName + ".log"); }
};

const TChild* FindChild(const std::vector<TChild>& children, const std::string& className, bool visible) {
  for (const TChild& c : children)
    if (SameText(c.className, className) && ((c.style & WS_VISIBLE) != 0) == visible) return &c;
  return nullptr;
}

void ExpectRect(const TChild* child, int x, int y, int width, int height, const char* what) {
  ASSERT_NE(child, nullptr) << what;
  EXPECT_EQ(child->rect.left, x) << what;
  EXPECT_EQ(child->rect.top, y) << what;
  EXPECT_EQ(child->rect.right - child->rect.left, width) << what;
  EXPECT_EQ(child->rect.bottom - child->rect.top, height) << what;
}

void CloseTwice(HWND window) {
  ::PostMessageA(window, WM_CLOSE, 0, 0);
  ::PostMessageA(window, WM_CLOSE, 0, 0);
}

}  // namespace

TEST_F(StubWinTest, TheWindowIsCreatedHiddenWithItsSizeStylesAndChildren) {
  TProc stub(Agent("WinA.exe"), "");
  HWND window = WaitForWindow(".AutoUpdate.WinA");
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(::IsWindowVisible(window));

  RECT r{}, work{};
  ::GetWindowRect(window, &r);
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_EQ(r.right - r.left, 492);
  EXPECT_EQ(r.bottom - r.top, 110);
  EXPECT_EQ(r.left, work.left + (work.right - work.left - 492) / 2);
  EXPECT_EQ(r.top, work.top + (work.bottom - work.top - 110) / 2);

  const LONG style = ::GetWindowLongA(window, GWL_STYLE);
  const LONG wanted = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  EXPECT_EQ(style & wanted, wanted);
  EXPECT_EQ(style & (WS_VISIBLE | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  // The system adds the window edge to any captioned window.
  EXPECT_EQ(::GetWindowLongA(window, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
  EXPECT_EQ(WindowText(window), "Varnel Installation Suite");

  const std::vector<TChild> children = ChildrenOf(window);
  EXPECT_EQ(children.size(), 3u);
  const TChild* text = FindChild(children, "Static", true);
  ExpectRect(text, 70, 20, 340, 18, "text line");
  if (text) {
    EXPECT_EQ(text->style & SS_RIGHT, 0);
    EXPECT_EQ(text->exStyle & WS_EX_RTLREADING, 0);
  }
  ExpectRect(FindChild(children, "msctls_progress32", true), 70, 38, 392, 13, "progress bar");
  ExpectRect(FindChild(children, "msctls_progress32", false), 416, 20, 46, 13, "activity bar");

  CloseTwice(window);
  EXPECT_EQ(stub.Wait(kStartMs), 0u);
}

TEST_F(StubWinTest, ArabicMovesTheTextLineAndTheActivityBarAndReadsRightToLeft) {
  TProc stub(Agent("WinB.exe", {"Charset=178", "s0=Mein Setup"}), "");
  HWND window = WaitForWindow(".AutoUpdate.WinB");
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(WindowText(window), "Mein Setup");
  const std::vector<TChild> children = ChildrenOf(window);
  const TChild* text = FindChild(children, "Static", true);
  ExpectRect(text, 122, 20, 340, 18, "text line");
  if (text) {
    EXPECT_EQ(text->style & SS_RIGHT, SS_RIGHT);
    EXPECT_EQ(text->exStyle & WS_EX_RTLREADING, WS_EX_RTLREADING);
  }
  ExpectRect(FindChild(children, "msctls_progress32", true), 70, 38, 392, 13, "progress bar");
  ExpectRect(FindChild(children, "msctls_progress32", false), 70, 20, 46, 13, "activity bar");
  CloseTwice(window);
  EXPECT_EQ(stub.Wait(kStartMs), 0u);
}

TEST_F(StubWinTest, AFirstCloseRequestOnlyAbortsTransfersTheSecondEndsTheWindow) {
  TDebugViewer viewer(dir.File("debug.txt"));
  TProc stub(Agent("WinC.exe"), "");
  HWND window = WaitForWindow(".AutoUpdate.WinC");
  ASSERT_NE(window, nullptr);

  DWORD_PTR result = 0;
  ASSERT_NE(::SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 10000, &result), 0);
  WaitUntil([] { return false; }, 2500);  // a few ticks
  EXPECT_TRUE(::IsWindow(window));
  EXPECT_TRUE(stub.Running());

  ::PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(stub.Wait(kStartMs), 0u);
  EXPECT_FALSE(::IsWindow(window));
  const std::string log = testsupport::ReadBytes(Log("WinC"));
  EXPECT_EQ(CountOf(log, ".. CloseMainWindow() - Start"), 2);
  EXPECT_EQ(CountOf(log, ".. CloseMainWindow() - End"), 2);
  EXPECT_EQ(CountOf(log, ".. DestroyMainWindow() - Start"), 1);
  EXPECT_EQ(CountOf(log, "=== EXIT === " + dir.File("WinC.exe")), 1);
  EXPECT_TRUE(viewer.WaitFor("- wm_Destroy -\r\n"));
}

TEST_F(StubWinTest, QuitSentToTheWindowProcedureTearsDownLikeDestroy) {
  TDebugViewer viewer(dir.File("debug.txt"));
  TProc stub(Agent("WinD.exe"), "");
  HWND window = WaitForWindow(".AutoUpdate.WinD");
  ASSERT_NE(window, nullptr);
  DWORD_PTR result = 0;
  ::SendMessageTimeoutA(window, WM_QUIT, 0, 0, SMTO_ABORTIFHUNG, 10000, &result);
  EXPECT_EQ(stub.Wait(kStartMs), 0u);
  EXPECT_TRUE(viewer.WaitFor("- wm_Quit -\r\n"));
  const std::string log = testsupport::ReadBytes(Log("WinD"));
  EXPECT_EQ(CountOf(log, ".. DestroyMainWindow() - End"), 1);
  EXPECT_EQ(CountOf(log, ".. CloseMainWindow()"), 0);
  EXPECT_EQ(CountOf(log, "=== EXIT ==="), 1);
}

TEST_F(StubWinTest, SleepXSetsTheFirstTickCountInAnyCaseAndEndsBeforeTheNextSwitch) {
  TDebugViewer viewer(dir.File("debug.txt"));
  struct {
    const char* args;
    int firstCount;  // the counter after the first tick
  } cases[] = {
      {"", -2},
      {"/sleepx=5 /TEST=1", -4},
      {"/SLEEPX=0", 1},
      {"/SleepX=abc", -2},  // not a number: the default start value
      {"/SleepX=-7", -2},   // negative: ignored
  };
  const std::string exe = Agent("WinE.exe");
  for (auto c : cases) {
    TProc stub(exe, c.args);
    const std::string line = std::to_string(stub.Id()) + " AutoUpdateTimerCount=";
    ASSERT_TRUE(viewer.WaitFor(line)) << c.args;
    const std::string text = viewer.Text();
    const size_t at = text.find(line) + line.size();
    EXPECT_EQ(text.substr(at, text.find('\r', at) - at), std::to_string(c.firstCount)) << c.args;
    HWND window = FindTop(".AutoUpdate.WinE");
    if (window) CloseTwice(window);
    EXPECT_EQ(stub.Wait(kStartMs), 0u) << c.args;
  }
}

// A window class that the system refuses (a name longer than any class may
// be): the run does no work and ends with its own code, saying why.
TEST(StubWinAlone, AWindowThatCannotBeMadeEndsTheRunWithItsCode) {
  TScratchDir dir;
  TDebugViewer viewer(dir.File("debug.txt"));
  const std::string refused(Stub::kMaxWindowClassLength + 45, 'c');
  Stub::SetExitCode(0);
  Stub::SetWindowClass(refused);
  StubWin::WinMain();
  EXPECT_EQ(Stub::ExitCode(), ExitCodes::kNoWindow);
  EXPECT_EQ(StubWin::MainWindow(), nullptr);
  EXPECT_TRUE(viewer.WaitFor(" WinMain: the window (class " + refused + ") could not be registered: "))
      << viewer.Text();
  Stub::SetWindowClass("VarnelStub");
  Stub::SetExitCode(0);
}
