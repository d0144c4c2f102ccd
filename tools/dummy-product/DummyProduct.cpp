// dummy-product: plays an installed product for the process-shutdown tests.
//
//   /Class=NAME       window class of the frame (default "Varnel.DummyProduct")
//   /Title=TEXT       caption of the frame (default "Varnel Dummy Product")
//   /OnClose=ignore   WM_CLOSE is swallowed (default: the frame closes)
//   /OnQuit=ignore    the message loop goes on after WM_QUIT (default: exit)
//   /Extras=1         also a hidden untitled tool window (class NAME + "_Tool",
//                     created first) and a visible titled window owned by the
//                     frame (class NAME + "_Dlg")
//   /NoWindow=1       no windows at all, just the life time
//   /Life=MS          ends by itself after MS (default 60000), so that no copy
//                     outlives a failed test
//   /ExitFile=PATH    on a normal end writes "reason=close|quit|life|stdin",
//                     "wParam=N" and "lParam=N" lines to PATH
//   /ExitCode=N       exit code of a normal end (default 0)
//   /Say=TEXT         writes TEXT to the standard output at start
//   /SayHex=HEX       writes the bytes given as hex digits to the standard output
//   /ReadStdin=1      (with /NoWindow) reads the standard input to its end,
//                     then writes "stdin closed" and ends
// The frame answers message WM_USER+1 with wParam + lParam.
#include <cstdlib>
#include <string>

#include "util/Switches.h"
#include "util/Utils.h"
#include "util/Win.h"

namespace {

constexpr UINT kSumMessage = WM_USER + 1;
constexpr UINT_PTR kLifeTimer = 1;

std::string g_args;
std::string g_reason = "life";
WPARAM g_wParam = 0;
LPARAM g_lParam = 0;
bool g_ignoreClose = false;
bool g_frameGone = false;

void WriteStdout(const std::string& text) {
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16));
  return bytes;
}

void WriteExitFile() {
  const std::string path = GetSwitch(g_args, "/ExitFile=");
  if (path.empty()) return;
  const std::string text = "reason=" + g_reason + "\r\nwParam=" + std::to_string(g_wParam) +
                           "\r\nlParam=" + std::to_string(g_lParam) + "\r\n";
  THandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file) ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CLOSE:
      if (g_ignoreClose) return 0;
      g_reason = "close";
      g_wParam = wp;
      g_lParam = lp;
      ::DestroyWindow(hwnd);
      return 0;
    case WM_TIMER:
      if (wp == kLifeTimer) ::DestroyWindow(hwnd);
      return 0;
    case kSumMessage:
      return static_cast<LRESULT>(wp) + lp;
    case WM_DESTROY:
      g_frameGone = true;
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcA(hwnd, msg, wp, lp);
  }
}

void Register(const std::string& name, WNDPROC proc) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = name.c_str();
  ::RegisterClassA(&wc);
}

HWND Create(DWORD exStyle, const std::string& cls, const std::string& title, DWORD style,
            HWND owner) {
  return ::CreateWindowExA(exStyle, cls.c_str(), title.c_str(), style, 100, 100, 300, 200, owner,
                           nullptr, ::GetModuleHandleA(nullptr), nullptr);
}

int RunWindowless(int lifeMs) {
  if (GetSwitchInt(g_args, "/ReadStdin=", 0) != 0) {
    char buffer[256];
    DWORD got = 0;
    HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    while (::ReadFile(in, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    }
    WriteStdout("stdin closed");
    g_reason = "stdin";
  } else {
    ::Sleep(static_cast<DWORD>(lifeMs));
  }
  return 0;
}

int RunWindows(int lifeMs) {
  const std::string cls = GetSwitch(g_args, "/Class=", "Varnel.DummyProduct");
  const std::string title = GetSwitch(g_args, "/Title=", "Varnel Dummy Product");
  const bool extras = GetSwitchInt(g_args, "/Extras=", 0) != 0;
  const bool ignoreQuit = SameText(GetSwitch(g_args, "/OnQuit="), "ignore");
  g_ignoreClose = SameText(GetSwitch(g_args, "/OnClose="), "ignore");

  Register(cls, FrameProc);
  if (extras) {
    Register(cls + "_Tool", ::DefWindowProcA);
    Register(cls + "_Dlg", ::DefWindowProcA);
    Create(WS_EX_TOOLWINDOW, cls + "_Tool", "", WS_POPUP, nullptr);
  }
  HWND frame = Create(0, cls, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr);
  if (!frame) return 2;
  if (extras)
    Create(WS_EX_DLGMODALFRAME, cls + "_Dlg", title + " - Options",
           WS_POPUP | WS_CAPTION | WS_VISIBLE, frame);
  ::SetTimer(frame, kLifeTimer, static_cast<UINT>(lifeMs), nullptr);

  MSG msg;
  for (;;) {
    const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      if (g_frameGone) break;
      if (ignoreQuit) continue;
      g_reason = "quit";
      g_wParam = msg.wParam;
      g_lParam = msg.lParam;
      break;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char own[MAX_PATH * 4] = {0};
  ::GetModuleFileNameA(nullptr, own, sizeof(own));
  g_args = CommandLineArgs(::GetCommandLineA(), own);

  const std::string say = GetSwitch(g_args, "/Say=");
  if (!say.empty()) WriteStdout(say);
  const std::string hex = GetSwitch(g_args, "/SayHex=");
  if (!hex.empty()) WriteStdout(FromHex(hex));

  const int lifeMs = static_cast<int>(GetSwitchInt(g_args, "/Life=", 60000));
  const int result = GetSwitchInt(g_args, "/NoWindow=", 0) != 0 ? RunWindowless(lifeMs)
                                                                : RunWindows(lifeMs);
  if (result != 0) return result;
  WriteExitFile();
  return static_cast<int>(GetSwitchInt(g_args, "/ExitCode=", 0));
}
