// Directories, clocks and message pumping on Win32 (under wine64).
#include <gtest/gtest.h>

#include <stdexcept>

#include "util/SysInfo.h"
#include "util/Win.h"

namespace {

constexpr UINT kCountMessage = WM_APP + 1;
constexpr UINT kThrowMessage = WM_APP + 2;
int g_counted = 0;
int g_timerTicks = 0;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kCountMessage) {
    ++g_counted;
    return 0;
  }
  if (message == WM_TIMER) {
    ++g_timerTicks;
    return 0;
  }
  if (message == kThrowMessage) throw std::runtime_error("handler failed");
  return ::DefWindowProcA(window, message, wParam, lParam);
}

// A message-only window whose procedure counts kCountMessage.
class TCountingWindow {
 public:
  TCountingWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = CountingProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "VarnelPumpTest";
    ::RegisterClassA(&windowClass);
    window_ = ::CreateWindowExA(0, "VarnelPumpTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr);
    g_counted = 0;
    g_timerTicks = 0;
  }
  ~TCountingWindow() { ::DestroyWindow(window_); }
  HWND Get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

TEST(SysInfoWin32, WaitPumpingDispatchesPostedMessages) {
  TCountingWindow window;
  ASSERT_NE(window.Get(), nullptr);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(::PostMessageA(window.Get(), kCountMessage, 0, 0));
  WaitPumping(0, 0);
  EXPECT_EQ(g_counted, 3);
  // A message posted while a longer wait runs is handled too.
  ::PostMessageA(window.Get(), kCountMessage, 0, 0);
  WaitPumping(5, 30);
  EXPECT_EQ(g_counted, 4);
}

TEST(SysInfoWin32, YieldXGoesOnPastAQuitMessage) {
  TCountingWindow window;
  ::PostQuitMessage(7);
  ::PostMessageA(window.Get(), kCountMessage, 0, 0);
  ::SetTimer(window.Get(), 1, 1, nullptr);
  ::Sleep(20);
  YieldX(0);
  ::KillTimer(window.Get(), 1);
  // Timer messages come after a pending quit; they are dispatched all the same.
  EXPECT_EQ(g_counted, 1);
  EXPECT_GE(g_timerTicks, 1);
  MSG message{};
  EXPECT_FALSE(::PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST(SysInfoWin32, YieldXSwallowsExceptionsOfMessageHandlers) {
  TCountingWindow window;
  ::PostMessageA(window.Get(), kThrowMessage, 0, 0);
  ::PostMessageA(window.Get(), kCountMessage, 0, 0);
  testing::internal::CaptureStdout();
  EXPECT_NO_THROW(YieldX(0));
  EXPECT_NE(testing::internal::GetCapturedStdout().find(" ---  [ Method = YieldX ]  [ ErrMsg = handler failed ] "),
            std::string::npos);
  // The failing handler ends this round of pumping; the next round goes on.
  YieldX(0);
  EXPECT_EQ(g_counted, 1);
}

TEST(SysInfoWin32, FoldersHonourTheBackslashFlag) {
  struct {
    std::string (*folder)(bool);
    const char* name;
  } folders[] = {{WindowsDir, "windows"}, {SystemDir, "system"}, {TempDir, "temp"}, {ExeDir, "exe"}};
  for (const auto& f : folders) {
    const std::string with = f.folder(true);
    const std::string without = f.folder(false);
    ASSERT_GT(without.size(), 2u) << f.name;
    EXPECT_EQ(with, without + "\\") << f.name;
    EXPECT_EQ(without[1], ':') << f.name;
  }
  EXPECT_EQ(::GetFileAttributesA((SystemDir(true) + "kernel32.dll").c_str()) != INVALID_FILE_ATTRIBUTES, true);
  EXPECT_EQ(ExePath(), ExeDir(true) + "util_tests.exe");
}

TEST(SysInfoWin32, LastErrorTextReadsTheSystemMessage) {
  ::SetLastError(ERROR_FILE_NOT_FOUND);
  const std::string text = LastErrorText();
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n');
  EXPECT_NE(text.back(), '\r');
  ::SetLastError(0x2000FFFF);  // a code without a system message
  EXPECT_EQ(LastErrorText(), "The system message for the last error could not be read.");
}

TEST(SysInfoWin32, MsCounterFollowsSleep) {
  const int64_t start = MsCounter();
  ::Sleep(50);
  const int64_t elapsed = MsCounter() - start;
  EXPECT_GE(elapsed, 45);
  EXPECT_LT(elapsed, 2000);
}

}  // namespace
