#include "util/WinUtils.h"

#include <vector>

#include <shellapi.h>

namespace {

UINT g_autoPlayMessage = 0;

int ScreenPixelsPerInch() {
  HDC screen = ::GetDC(nullptr);
  if (screen == nullptr) return 96;
  const int pixels = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return pixels > 0 ? pixels : 96;
}

}  // namespace

int PointsToPixels(int points) {
  static const int pixelsPerInch = ScreenPixelsPerInch();
  return ::MulDiv(points, pixelsPerInch, 72);
}

void CenterInWorkArea(int width, int height, int& x, int& y) {
  RECT area{};
  if (!::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) {
    area.right = ::GetSystemMetrics(SM_CXSCREEN);
    area.bottom = ::GetSystemMetrics(SM_CYSCREEN);
  }
  x = area.left + (area.right - area.left - width) / 2;
  y = area.top + (area.bottom - area.top - height) / 2;
}

HWND TopOwner(HWND window) {
  // Owner chains are short; the bound only guards against a broken chain.
  for (int depth = 0; window != nullptr && depth < 4096; ++depth) {
    HWND owner = ::GetWindow(window, GW_OWNER);
    if (owner == nullptr) break;
    window = owner;
  }
  return window;
}

std::string WindowClassNameOf(HWND window) {
  if (window == nullptr) return "";
  char name[1025] = {};
  const int length = ::GetClassNameA(window, name, sizeof(name));
  return length > 0 ? std::string(name, static_cast<size_t>(length)) : "";
}

std::string WindowTextOf(HWND window) {
  if (window == nullptr) return "";
  const int capacity = ::GetWindowTextLengthA(window) + 1;
  std::vector<char> text(static_cast<size_t>(capacity > 1 ? capacity : 1), '\0');
  const int length = ::GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  return length > 0 ? std::string(text.data(), static_cast<size_t>(length)) : "";
}

bool RunShell(const std::string& file, const std::string& parameters, int showMode) {
  const HINSTANCE result = ::ShellExecuteA(::GetDesktopWindow(), "open", file.c_str(),
                                           parameters.empty() ? nullptr : parameters.c_str(), nullptr, showMode);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

FARPROC ProcAddressOf(const std::string& library, const std::string& entryPoint, HMODULE& module) {
  module = ::LoadLibraryA(library.c_str());
  if (reinterpret_cast<UINT_PTR>(module) < 33) return nullptr;
  return ::GetProcAddress(module, entryPoint.c_str());
}

void SetAutoPlayCancel(bool enable) {
  g_autoPlayMessage = enable ? ::RegisterWindowMessageA("QueryCancelAutoPlay") : 0;
}

UINT QueryCancelAutoPlayMessage() { return g_autoPlayMessage; }

THandle StartCommand(const std::string& commandLine, int showMode) {
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showMode);
  PROCESS_INFORMATION process{};
  std::string line = commandLine;
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return THandle();
  THandle threadHandle(process.hThread);
  return THandle(process.hProcess);
}
