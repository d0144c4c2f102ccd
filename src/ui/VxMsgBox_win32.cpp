// ShowMsgBox: builds the box, its text control and buttons, and runs the
// modal loop until the box is gone.
#include <richedit.h>

#include <string>

#include "ui/QuietBox.h"
#include "ui/VxMsgBoxState.h"
#include "ui/VxMsgBoxWin.h"
#include "util/SysInfo.h"
#include "util/WinUtils.h"

namespace MsgBox {

namespace {

std::string& RichEditLibraryName() {
  static std::string name = kRichEditLibrary;
  return name;
}

HWND g_currentBox = nullptr;

HINSTANCE Instance() { return ::GetModuleHandleA(nullptr); }

// The library stays loaded for the process once it was loaded; each box
// holds one more reference while it is shown.
HMODULE LoadRichEdit() {
  static bool kept = false;
  if (!kept) {
    kept = true;
    ::LoadLibraryA(RichEditLibraryName().c_str());
  }
  return ::LoadLibraryA(RichEditLibraryName().c_str());
}

HFONT CreateBoxFont(const TFont& font) {
  return ::CreateFontA(-PointsToPixels(font.size), 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE,
                       static_cast<BYTE>(font.charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, font.face.c_str());
}

bool RegisterBoxClass() {
  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = BoxWindowProc;
  wc.hInstance = Instance();
  wc.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  // A box shown from inside another box finds the class registered.
  return ::RegisterClassA(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CreateTextControl(TBoxState& state, uint32_t style) {
  const DWORD exStyle = (style & kRtlReading) ? WS_EX_RTLREADING : 0;
  DWORD controlStyle = WS_CHILD | WS_VISIBLE | ES_READONLY | ES_MULTILINE;
  if (style & kRight) controlStyle |= ES_RIGHT;
  auto create = [&](const char* className) {
    return ::CreateWindowExA(exStyle, className, "", controlStyle, 86, 30, 100, 13, state.box,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextControlId)),
                             Instance(), nullptr);
  };
  HWND text = state.richEdit ? create(kRichEditClass) : nullptr;
  if (!text) {
    state.richEdit = false;
    text = create("EDIT");
  }
  return text;
}

void SetBoldRuns(HWND text, const std::vector<TBoldRun>& runs) {
  for (const TBoldRun& run : runs) {
    CHARRANGE range{run.start, run.end};
    ::SendMessageA(text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMATA format{};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
    format.dwEffects = CFE_BOLD;
    ::SendMessageA(text, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  }
  CHARRANGE none{0, 0};
  ::SendMessageA(text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&none));
}

int TextWidth(HDC dc, const std::string& text) {
  SIZE size{0, 0};
  ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size.cx;
}

// The tabbed text extent answers in 16 bits, so a line with tabs is
// measured by its pieces between the tabs instead.
int LineWidth(HDC dc, const std::string& line, int tabStop) {
  if (line.find('\t') == std::string::npos) return TextWidth(dc, line);
  return TabbedLineWidth(line, tabStop,
                         [dc](const std::string& segment) { return TextWidth(dc, segment); });
}

}  // namespace

TSize MeasureWithFont(const std::string& plain, HFONT font, const std::string& face) {
  HDC dc = ::GetDC(nullptr);
  HGDIOBJ old = ::SelectObject(dc, font);
  TEXTMETRICA tm{};
  ::GetTextMetricsA(dc, &tm);
  const int tabStop = ::GetDeviceCaps(dc, LOGPIXELSX) / 2;  // the Rich Edit default: half an inch
  const TSize size = MeasureText(plain, LineHeight(tm.tmHeight, tm.tmExternalLeading, face),
                                 [&](const std::string& line) { return LineWidth(dc, line, tabStop); });
  ::SelectObject(dc, old);
  ::ReleaseDC(nullptr, dc);
  return size;
}

namespace {

void SizeWindow(HWND window, int width, int height) {
  ::SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Puts the text in and sizes the control; returns the control's size.
TSize FillTextControl(TBoxState& state, const std::string& markup, const std::string& face) {
  const TPlainText plain = ConvertMarkup(markup);
  state.bold = plain.bold;
  ::SendMessageA(state.text, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), FALSE);
  if (state.richEdit) {
    ::SendMessageA(state.text, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
    ::SendMessageA(state.text, EM_SETBKGNDCOLOR, 0, ::GetSysColor(COLOR_WINDOW));
  }
  ::SetWindowTextA(state.text, plain.text.c_str());
  if (state.richEdit) SetBoldRuns(state.text, plain.bold);

  const TSize measured = MeasureWithFont(plain.text, state.font, face);
  TSize control{measured.width + 10, measured.height};
  SizeWindow(state.text, control.width, control.height);
  if (state.richEdit && !plain.bold.empty()) {
    control.width = WidenForBold(measured, [&](int width) {
      SizeWindow(state.text, width, measured.height);
      ::SendMessageA(state.text, EM_REQUESTRESIZE, 0, 0);
      return TSize{static_cast<int>(state.requested.cx), static_cast<int>(state.requested.cy)};
    });
  }
  return control;
}

void PlaceBox(TBoxState& state, TSize control, const std::string& markup) {
  const TFrame frame{::GetSystemMetrics(SM_CXDLGFRAME), ::GetSystemMetrics(SM_CYDLGFRAME),
                     ::GetSystemMetrics(SM_CYCAPTION)};
  const TSize size = BoxSize(control, frame);
  TRect box{0, 0, size.width, size.height};
  CenterInWorkArea(size.width, size.height, box.left, box.top);
  if (markup.find("Do you want to store the new Entry in") != std::string::npos && IsDeveloperMode()) {
    box.left += 150;
    box.top += 150;
  }
  ::SetWindowPos(state.box, nullptr, box.left, box.top, box.width, box.height,
                 SWP_NOZORDER | SWP_SHOWWINDOW);
  RECT client;
  ::GetClientRect(state.box, &client);
  const TRect text = TextControlRect(client.right, client.bottom, control);
  ::SetWindowPos(state.text, nullptr, text.left, text.top, text.width, text.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

HICON SystemIcon(uint32_t style) {
  int id = 0;
  switch (style & kIconMask) {
    case kIconHand: id = 32513; break;
    case kIconQuestion: id = 32514; break;
    case kIconExclamation: id = 32515; break;
    case kIconAsterisk: id = 32516; break;
    default: return nullptr;
  }
  return ::LoadIconA(nullptr, MAKEINTRESOURCEA(id));
}

void CreateButtons(TBoxState& state, uint32_t style, const std::string& buttonList) {
  state.buttons = ButtonsFor(style, buttonList);
  RECT client;
  ::GetClientRect(state.box, &client);
  const int count = static_cast<int>(state.buttons.size());
  for (int i = 0; i < count; ++i) {
    const TRect r = ButtonRect(i, count, client.right, client.bottom);
    HWND button = ::CreateWindowExA(0, "BUTTON", state.buttons[i].caption.c_str(),
                                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, r.left, r.top,
                                    r.width, r.height, state.box,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(state.buttons[i].id)),
                                    Instance(), nullptr);
    ::SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), FALSE);
    state.buttonWindows.push_back(button);
  }
  ::SetForegroundWindow(state.box);
  if (count > 0) {
    FocusButton(state, DefaultButtonIndex(style, count));
  } else {
    ::SetFocus(state.box);
  }
}

// Runs until the box is destroyed; a quit message closes the box and is
// posted again for the caller's loop.
void RunModal(TBoxState& state) {
  MSG msg;
  bool quit = false;
  int quitCode = 0;
  while (!state.destroyed) {
    const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      quit = true;
      quitCode = static_cast<int>(msg.wParam);
      break;
    }
    if (got < 0) break;
    if (HandleBoxKey(state, msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  if (!state.destroyed && ::IsWindow(state.box)) ::SendMessageA(state.box, WM_CLOSE, 0, 0);
  if (quit) ::PostQuitMessage(quitCode);
}

}  // namespace

void SetRichEditLibrary(const std::string& name) { RichEditLibraryName() = name; }

HWND CurrentBox() { return g_currentBox; }

intptr_t ActiveWindow() { return reinterpret_cast<intptr_t>(::GetActiveWindow()); }

}  // namespace MsgBox

int ShowMsgBox(intptr_t owner, const std::string& text, const std::string& caption,
               const std::string& buttons, uint32_t style, int timeoutMs) {
  using namespace MsgBox;
  // An unattended run shows nothing: the message is logged and answered.
  if (QuietMode()) return QuietBox(text, caption, style);
  TBoxState state;
  HMODULE richEdit = LoadRichEdit();
  state.richEdit = richEdit != nullptr;
  state.previousActive = ::GetActiveWindow();
  if (state.previousActive) ::EnableWindow(state.previousActive, FALSE);
  state.timeoutMs = timeoutMs;
  const TFont font = MsgBoxFont();
  state.font = CreateBoxFont(font);

  HWND ownerWindow = reinterpret_cast<HWND>(owner);
  if (ownerWindow && !::IsWindow(ownerWindow)) ownerWindow = nullptr;
  HWND outerBox = g_currentBox;
  if (RegisterBoxClass()) {
    ::CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kWindowClass, caption.c_str(),
                      WS_VISIBLE | WS_CAPTION | WS_SYSMENU, -100, -100, 10, 10, ownerWindow, nullptr,
                      Instance(), &state);
  }
  if (state.box && ::IsWindow(state.box)) {
    g_currentBox = state.box;
    if (style & kNoClose) {
      ::EnableMenuItem(::GetSystemMenu(state.box, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    }
    state.text = CreateTextControl(state, style);
    const TSize control = FillTextControl(state, text, font.face);
    PlaceBox(state, control, text);
    state.icon = SystemIcon(style);
    CreateButtons(state, style, buttons);
    RunModal(state);
  } else if (state.previousActive) {
    ::EnableWindow(state.previousActive, TRUE);
  }
  g_currentBox = outerBox;
  if (state.font) ::DeleteObject(state.font);
  if (!outerBox) ::UnregisterClassA(kWindowClass, Instance());
  if (richEdit) ::FreeLibrary(richEdit);
  return state.result;
}
