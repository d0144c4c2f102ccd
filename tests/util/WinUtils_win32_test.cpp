// Window helpers on Win32 (under wine64 with a virtual display).
#include "util/WinUtils.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

constexpr char kClassName[] = "VarnelWinUtilsTest";

HWND MakeWindow(const char* text, HWND owner) {
  static const bool registered = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ::DefWindowProcA;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kClassName;
    return ::RegisterClassA(&windowClass) != 0;
  }();
  if (!registered) return nullptr;
  return ::CreateWindowExA(0, kClassName, text, WS_OVERLAPPED, 0, 0, 100, 100, owner, nullptr,
                           ::GetModuleHandleA(nullptr), nullptr);
}

TEST(WinUtils, CenterInWorkAreaLiesInsideTheWorkArea) {
  RECT area{};
  ASSERT_TRUE(::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0));
  int x = -1, y = -1;
  CenterInWorkArea(492, 110, x, y);
  EXPECT_GE(x, area.left);
  EXPECT_GE(y, area.top);
  EXPECT_LE(x + 492, area.right);
  EXPECT_LE(y + 110, area.bottom);
  EXPECT_LE(std::abs((x - area.left) - (area.right - x - 492)), 1);
  EXPECT_LE(std::abs((y - area.top) - (area.bottom - y - 110)), 1);
}

TEST(WinUtils, PointsToPixelsUsesTheScreenDensity) {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  EXPECT_EQ(PointsToPixels(72), dpi);
  EXPECT_EQ(PointsToPixels(0), 0);
  EXPECT_EQ(PointsToPixels(10), ::MulDiv(10, dpi, 72));
}

TEST(WinUtils, TopOwnerFollowsTheOwnerChain) {
  HWND top = MakeWindow("top", nullptr);
  HWND middle = MakeWindow("middle", top);
  HWND bottom = MakeWindow("bottom", middle);
  ASSERT_TRUE(top && middle && bottom);
  EXPECT_EQ(TopOwner(bottom), top);
  EXPECT_EQ(TopOwner(middle), top);
  EXPECT_EQ(TopOwner(top), top);
  EXPECT_EQ(TopOwner(nullptr), nullptr);
  ::DestroyWindow(top);
}

TEST(WinUtils, ClassNameAndTextOfAWindow) {
  HWND window = MakeWindow("Hello window", nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(WindowClassNameOf(window), kClassName);
  EXPECT_EQ(WindowTextOf(window), "Hello window");
  ::SetWindowTextA(window, "");
  EXPECT_EQ(WindowTextOf(window), "");
  ::DestroyWindow(window);
  EXPECT_EQ(WindowClassNameOf(nullptr), "");
  EXPECT_EQ(WindowTextOf(nullptr), "");
}

TEST(WinUtils, ProcAddressOfLoadsTheLibrary) {
  HMODULE module = nullptr;
  EXPECT_NE(ProcAddressOf("kernel32.dll", "GetTickCount", module), nullptr);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(ProcAddressOf("kernel32.dll", "NoSuchEntryPoint", module), nullptr);
  ::FreeLibrary(module);
  EXPECT_EQ(ProcAddressOf("no_such_library_4711.dll", "Anything", module), nullptr);
  EXPECT_EQ(module, nullptr);
}

TEST(WinUtils, AutoPlayCancelKeepsTheRegisteredId) {
  SetAutoPlayCancel(true);
  const UINT id = QueryCancelAutoPlayMessage();
  EXPECT_EQ(id, ::RegisterWindowMessageA("QueryCancelAutoPlay"));
  EXPECT_GE(id, 0xC000u);
  SetAutoPlayCancel(false);
  EXPECT_EQ(QueryCancelAutoPlayMessage(), 0u);
}

TEST(WinUtils, RunShellReportsFailureForAMissingFile) {
  EXPECT_FALSE(RunShell("Z:\\no\\such\\file_4711.exe", "", SW_HIDE));
  EXPECT_TRUE(RunShell("cmd.exe", "/c exit 0", SW_HIDE));
}

}  // namespace
