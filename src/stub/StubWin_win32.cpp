// The stub window, its message loop and its timer.
#include "stub/StubWin.h"

#include <commctrl.h>

#include "package/PackX.h"
#include "stub/ExitCodes.h"
#include "stub/Stub.h"
#include "stub/StubControl.h"
#include "stub/StubState.h"
#include "stub/VxDebug.h"
#include "ui/VxMsgBox.h"
#include "ui/VxProgBar.h"
#include "util/SysInfo.h"
#include "util/Utils.h"
#include "util/WinUtils.h"

namespace StubWin {

namespace {

constexpr char kIconName[] = "MainIcon";
constexpr char kDefaultCaption[] = "Varnel Installation Suite";
constexpr int kNotifyWinMainEnd = 43;

struct TWindowState {
  HWND main = nullptr;
  HWND text = nullptr;
  HWND bar = nullptr;
  HWND activity = nullptr;
  HFONT textFont = nullptr;
  bool loopExit = false;
  bool loopEnded = false;  // the window goes after its loop: no second teardown
  int activityCounter = 0;
  int barStep = 1;  // the step last given to the bar
};

TWindowState& W() {
  static TWindowState state;
  return state;
}

HINSTANCE Instance() { return ::GetModuleHandleA(nullptr); }

int OwnCharset() { return Stub::OwnInfo().Charset(); }

HWND CreateChild(const char* className, DWORD exStyle, DWORD style, const TRect& r, HWND parent) {
  return ::CreateWindowExA(exStyle, className, "", style, r.x, r.y, r.width, r.height, parent, nullptr, Instance(),
                           nullptr);
}

DWORD TextLineStyle(bool rightToLeft) { return WS_CHILD | WS_VISIBLE | (rightToLeft ? SS_RIGHT : 0); }
DWORD TextLineExStyle(bool rightToLeft) { return rightToLeft ? WS_EX_RTLREADING : 0; }

void ReplaceTextFont(HFONT font) {
  TWindowState& w = W();
  if (!font) return;
  if (w.text) ::SendMessageA(w.text, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  if (w.textFont) ::DeleteObject(w.textFont);
  w.textFont = font;
}

HFONT MakeFont(int height, int charset, const std::string& face) {
  return ::CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, static_cast<DWORD>(charset & 0xFF),
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       face.c_str());
}

void CreateChildren(HWND window) {
  TWindowState& w = W();
  const TChildLayout layout = ChildLayout(OwnCharset());
  w.main = window;
  w.text = CreateChild("Static", TextLineExStyle(layout.rightToLeft), TextLineStyle(layout.rightToLeft),
                       layout.textLine, window);
  w.bar = CreateChild(PROGRESS_CLASSA, 0, WS_CHILD | WS_VISIBLE, layout.progressBar, window);
  w.activity = CreateChild(PROGRESS_CLASSA, 0, WS_CHILD, layout.activityBar, window);
  ::SetTimer(window, kTimerId, kTimerMs, nullptr);
  ReplaceTextFont(MakeFont(-11, DEFAULT_CHARSET, "Tahoma"));
}

void Paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(window, &ps);
  if (dc) {
    RECT client;
    ::GetClientRect(window, &client);
    // One brush per paint, freed at once.
    HBRUSH brush = ::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE));
    if (brush) {
      ::FillRect(dc, &client, brush);
      ::DeleteObject(brush);
    }
    HICON icon = ::LoadIconA(Instance(), kIconName);
    if (icon) ::DrawIcon(dc, kIconX, kIconY, icon);
  }
  ::EndPaint(window, &ps);
}

void OnTimer() {
  THooks& hooks = Hooks();
  if (Stub::AgentPackage()) {
    if (hooks.agentTick)
      hooks.agentTick();
    else
      DefaultAgentTick();
  } else {
    if (hooks.setupTimerEntry)
      hooks.setupTimerEntry();
    else
      DefaultSetupTimerEntry();
  }
}

int64_t OnControlMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  THooks& hooks = Hooks();
  const uint64_t w = static_cast<uint64_t>(wParam);
  const int64_t l = static_cast<int64_t>(lParam);
  return hooks.controlMessage ? hooks.controlMessage(message, w, l) : Stub::HandleControlMessage(message, w, l);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const UINT autoPlay = QueryCancelAutoPlayMessage();
  if (autoPlay != 0 && message == autoPlay) return 1;
  switch (message) {
    case WM_CREATE:
      CreateChildren(window);
      break;
    case WM_PAINT:
      Paint(window);
      break;
    case WM_CLOSE:
      if (!CloseMainWindow()) return 0;
      break;
    case WM_DESTROY:
      if (W().loopEnded) break;
      VxDebug::DebugLine("- wm_Destroy -");
      DestroyMainWindow();
      break;
    case WM_QUIT:
      VxDebug::DebugLine("- wm_Quit -");
      DestroyMainWindow();
      break;
    case WM_TIMER:
      if (wParam == kTimerId) OnTimer();
      break;
    case Stub::wm_ShutDown:
    case Stub::wm_LocalMsg:
      OnControlMessage(message, wParam, lParam);
      break;
    case Stub::wm_AgentMsg:
      return static_cast<LRESULT>(OnControlMessage(message, wParam, lParam));
    default:
      break;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterStubClass() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_PROGRESS_CLASS;
  ::InitCommonControlsEx(&controls);
  WNDCLASSA windowClass{};
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = Instance();
  windowClass.hIcon = ::LoadIconA(Instance(), kIconName);
  windowClass.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = nullptr;
  windowClass.lpszMenuName = nullptr;
  windowClass.lpszClassName = Stub::WindowClass().c_str();
  return ::RegisterClassA(&windowClass) != 0;
}

HWND CreateMainWindow() {
  const std::string caption = Stub::OwnInfo().LangText("s0", kDefaultCaption);
  int x = 0, y = 0;
  CenterInWorkArea(kMainWidth, kMainHeight, x, y);
  return ::CreateWindowExA(0, Stub::WindowClass().c_str(), caption.c_str(), WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                           x, y, kMainWidth, kMainHeight, nullptr, nullptr, Instance(), nullptr);
}

void RunLoop() {
  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
    if (W().loopExit) break;
  }
}

// Without a window the run cannot do its work: the exit code says so.
void ReportNoWindow(bool registered, const std::string& error) {
  const std::string what = registered ? "created" : "registered";
  VxDebug::DebugLine(IntToText(Stub::ProcessId()) + " WinMain: the window (class " + Stub::WindowClass() +
                     ") could not be " + what + ": " + error);
  VxDebug::Trace("WinMain: no window");
  Stub::SetExitCode(ExitCodes::kNoWindow);
}

void NotifyListener(WPARAM code, LPARAM value) {
  if (!Stub::HasListener()) return;
  // The listener may be gone; the post then simply fails.
  ::PostMessageA(reinterpret_cast<HWND>(Stub::ListenerWindow()), Stub::ListenerMessage(), code, value);
}

}  // namespace

void WinMain() {
  TWindowState& w = W();
  const int64_t sleep = GetSwitchInt(Stub::CommandArgs(), "/SleepX=", -1);
  if (sleep >= 0) Stub::AgentRun().tickCounter = Stub::ClampToInt32(-sleep);

  HWND window = nullptr;
  const bool registered = RegisterStubClass();
  if (registered) window = CreateMainWindow();
  const std::string error = window ? std::string() : LastErrorText();
  const TGFileInfo& info = Stub::OwnInfo();
  MsgBox::SetMsgBoxFont(info.FontName(), info.FontSize(), info.Charset());
  if (window) {
    ::ShowWindow(window, SW_HIDE);
    RunLoop();
  } else {
    ReportNoWindow(registered, error);
  }

  if (w.main) ::KillTimer(w.main, kTimerId);
  // Gone before the run ends: another instance (a plain agent looking for the
  // X_ window) must not mistake a process that is ending for a running one.
  w.loopEnded = true;
  if (w.main && ::IsWindow(w.main)) ::DestroyWindow(w.main);
  w.main = w.text = w.bar = w.activity = nullptr;
  Stub::SetDownloadAbort(true);
  if (Hooks().releaseInternet) Hooks().releaseInternet();
  NotifyListener(kNotifyWinMainEnd, 0);
}

HWND MainWindow() { return W().main; }
HWND TextLine() { return W().text; }
HWND ProgressBar() { return W().bar; }
HWND ActivityBar() { return W().activity; }

bool CloseMainWindow() {
  VxDebug::Trace(".. CloseMainWindow() - Start");
  const bool close = Stub::DownloadAbort();
  if (!close) Stub::SetDownloadAbort(true);
  VxDebug::Trace(".. CloseMainWindow() - End");
  return close;
}

void DestroyMainWindow() {
  VxDebug::Trace(".. DestroyMainWindow() - Start");
  Stub::SetDownloadAbort(true);
  Stub::DeleteWorkingDirectory();
  ::PostQuitMessage(0);
  W().loopExit = true;
  VxDebug::Trace(".. DestroyMainWindow() - End");
}

void ProgressStart(int64_t maximum, int step, int position) {
  TWindowState& w = W();
  if (w.bar) {
    ::SendMessageA(w.bar, PBM_SETRANGE, 0, MAKELPARAM(0, BarRangeMax(maximum)));
    ::SendMessageA(w.bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    ::SendMessageA(w.bar, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
    w.barStep = step;
  }
  if (w.activity) {
    ::SendMessageA(w.activity, PBM_SETRANGE, 0, MAKELPARAM(0, kActivitySteps));
    ::SendMessageA(w.activity, PBM_SETPOS, 0, 0);
    ::SendMessageA(w.activity, PBM_SETSTEP, 1, 0);
  }
}

void ProgressStep() {
  TWindowState& w = W();
  if (w.bar) ::SendMessageA(w.bar, PBM_STEPIT, 0, 0);
  w.activityCounter = NextActivity(w.activityCounter);
  if (w.activity) ::SendMessageA(w.activity, PBM_SETPOS, static_cast<WPARAM>(w.activityCounter), 0);
}

void ProgressSteps(int count) {
  if (count <= 0) return;
  TWindowState& w = W();
  if (w.bar) {
    const int64_t position = ::SendMessageA(w.bar, PBM_GETPOS, 0, 0);
    const int64_t high = ::SendMessageA(w.bar, PBM_GETRANGE, FALSE, 0);
    const int64_t target = position + int64_t{count} * w.barStep;
    // Inside the range one move does it; a step past the end starts the bar
    // over, which the bar's own steps do best.
    if (w.barStep >= 0 && target <= high) {
      ::SendMessageA(w.bar, PBM_SETPOS, static_cast<WPARAM>(target), 0);
    } else {
      for (int i = 0; i < count; ++i) ::SendMessageA(w.bar, PBM_STEPIT, 0, 0);
    }
  }
  for (int i = 0; i < count; ++i) w.activityCounter = NextActivity(w.activityCounter);
  if (w.activity) ::SendMessageA(w.activity, PBM_SETPOS, static_cast<WPARAM>(w.activityCounter), 0);
}

void UnpackProgress(int kind, int64_t count) {
  if (kind == 0)
    ProgressStart(count, 1, 0);
  else if (kind == 1)
    ProgressStep();
}

void ProgBarSink(int kind, int, int maximum, int position, int step, const std::string&) {
  if (kind == 0)
    ProgressStart(maximum, step, position);
  else if (kind == 1)
    ProgressStep();
}

int ActivityCounter() { return W().activityCounter; }

namespace {

class TWindowSink : public TProgBarSink {
 public:
  void Event(int32_t kind, int32_t zero, int32_t maximum, int32_t position, int32_t step,
             const std::string& text) override {
    ProgBarSink(kind, zero, maximum, position, step, text);
  }
};

}  // namespace

// Not make_shared: without run-time type information it needs the library's
// shared_ptr module, and with it the thread library.
std::shared_ptr<TProgBarSink> WindowProgBarSink() { return std::shared_ptr<TProgBarSink>(new TWindowSink()); }

void SetTextLine(const std::string& text, const std::string& faceName, int points, int charset) {
  TWindowState& w = W();
  if (!w.text) return;
  const bool rightToLeft = IsRightToLeftCharset(charset);
  ::SetWindowLongA(w.text, GWL_STYLE, static_cast<LONG>(TextLineStyle(rightToLeft)));
  ::SetWindowLongA(w.text, GWL_EXSTYLE, static_cast<LONG>(TextLineExStyle(rightToLeft)));
  ReplaceTextFont(MakeFont(-PointsToPixels(points), charset, faceName));
  ::SetWindowTextA(w.text, text.c_str());
}

void ShowActivityBar(bool show) {
  if (W().activity) ::ShowWindow(W().activity, show ? SW_SHOW : SW_HIDE);
}

THooks& Hooks() {
  static THooks hooks;
  return hooks;
}

void DefaultSetupTimerEntry() {
  if (W().main) ::KillTimer(W().main, kTimerId);
  Stub::DeleteWorkingDirectory();
  ::PostQuitMessage(0);
}

void DefaultAgentTick() {
  Stub::TAgentRun& run = Stub::AgentRun();
  if (Stub::CountAgentTick(run)) ::PostQuitMessage(0);
  VxDebug::DebugLine(IntToText(Stub::ProcessId()) + " AutoUpdateTimerCount=" + IntToText(run.tickCounter));
}

}  // namespace StubWin
