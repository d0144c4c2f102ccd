// The inform dialog window: a resizable window with a read-only Rich Edit
// control and an optional button, served by its own message loop.
#include <richedit.h>

#include "ui/StubInformDlg.h"
#include "ui/VxMsgBoxWin.h"
#include "util/Win.h"
#include "util/WinUtils.h"

namespace Inform {

namespace {

// One shown dialog. Each call has its own, so that a dialog shown while
// another one is up ends its own loop only.
struct TDialog {
  HWND window = nullptr;
  HWND text = nullptr;
  HWND button = nullptr;
  std::string address;
  bool destroyed = false;
};

// A font deleted with its owner.
class TFont {
 public:
  explicit TFont(HFONT font) : font_(font) {}
  ~TFont() {
    if (font_) ::DeleteObject(font_);
  }
  TFont(const TFont&) = delete;
  TFont& operator=(const TFont&) = delete;
  HFONT Get() const { return font_; }

 private:
  HFONT font_;
};

int g_depth = 0;  // dialogs shown at the moment (nested ones included)

HINSTANCE Instance() { return ::GetModuleHandleA(nullptr); }

TDialog* DialogOf(HWND window) { return reinterpret_cast<TDialog*>(::GetWindowLongPtrA(window, GWLP_USERDATA)); }

// Loaded once and kept for the process.
bool LoadRichEdit() {
  static const HMODULE library = ::LoadLibraryA(MsgBox::kRichEditLibrary);
  return library != nullptr;
}

HFONT MakeFont(int height, int charset, const std::string& face) {
  return ::CreateFontA(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, static_cast<BYTE>(charset),
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                       face.c_str());
}

void Place(HWND control, const TRect& r) {
  if (!control) return;
  ::SetWindowPos(control, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void LayOut(const TDialog& dialog, int cw, int ch) {
  const TLayout layout = LayoutFor(cw, ch, !dialog.address.empty());
  Place(dialog.text, layout.text);
  if (layout.hasButton) Place(dialog.button, layout.button);
}

void Fill(HDC dc, int left, int top, int right, int bottom, int colourIndex) {
  if (right <= left || bottom <= top) return;
  const RECT r{left, top, right, bottom};
  ::FillRect(dc, &r, ::GetSysColorBrush(colourIndex));
}

void Paint(const TDialog& dialog, HWND window) {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(window, &ps);
  RECT client;
  ::GetClientRect(window, &client);
  const TLayout layout = LayoutFor(client.right, client.bottom, !dialog.address.empty());
  Fill(dc, 0, 0, client.right, client.bottom, COLOR_WINDOW);
  if (layout.hasButton) {
    Fill(dc, 0, layout.separatorY, client.right, layout.separatorY + 1, COLOR_3DDKSHADOW);
    Fill(dc, 0, layout.bandTop, client.right, client.bottom, COLOR_BTNFACE);
  }
  ::EndPaint(window, &ps);
}

LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* dialog = static_cast<TDialog*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    dialog->window = window;
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(dialog));
  }
  TDialog* dialog = DialogOf(window);
  if (!dialog) return ::DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_DESTROY:
      dialog->destroyed = true;
      return 1;
    case WM_NCDESTROY:
      ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      break;
    case WM_SIZE:
      LayOut(*dialog, LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers the whole client area
    case WM_PAINT:
      Paint(*dialog, window);
      return 0;
    case WM_CTLCOLORSTATIC:  // the read-only edit control without Rich Edit
      if (reinterpret_cast<HWND>(lParam) == dialog->text) {
        ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    case WM_COMMAND:
      if (dialog->button && LOWORD(wParam) == kButtonId && HIWORD(wParam) == BN_CLICKED) {
        // A shell that cannot open the address is not reported; the dialog closes as usual.
        OpenAddress(dialog->address);
        ::PostMessageA(window, WM_CLOSE, 0, 0);
      }
      break;
    default:
      break;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterDialogClass() {
  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = DialogProc;
  wc.hInstance = Instance();
  wc.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  // A dialog shown while another one is up finds the class registered.
  return ::RegisterClassA(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CreateChild(const char* className, const char* text, DWORD style, DWORD exStyle, HWND parent, int id) {
  return ::CreateWindowExA(exStyle, className, text, style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
}

void SetBold(HWND text, const std::vector<MsgBox::TBoldRun>& runs) {
  for (const MsgBox::TBoldRun& run : runs) {
    CHARRANGE range{run.start, run.end};
    ::SendMessageA(text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMATA format{};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_BOLD;
    format.dwEffects = CFE_BOLD;
    ::SendMessageA(text, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  }
  CHARRANGE none{0, 0};
  ::SendMessageA(text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&none));
}

// The read-only text control with the text; a plain edit control when the
// Rich Edit class is not there. It is filled hidden and without redrawing
// (a shown control lays out and paints again for every bold run); the
// layout shows it.
HWND CreateTextControl(HWND window, const TRequest& request, HFONT font) {
  DWORD style = WS_CHILD | WS_VSCROLL | ES_READONLY | ES_MULTILINE;
  if (request.rightToLeft) style |= ES_RIGHT;
  const DWORD exStyle = request.rightToLeft ? WS_EX_RTLREADING : 0;
  const bool richEdit = LoadRichEdit();
  HWND text = richEdit ? CreateChild(MsgBox::kRichEditClass, "", style, exStyle, window, kTextControlId) : nullptr;
  const bool isRich = text != nullptr;
  if (!text) text = CreateChild("EDIT", "", style, exStyle, window, kTextControlId);
  if (!text) return nullptr;
  const TShownText shown = ShownText(request.text);
  ::SendMessageA(text, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  if (isRich) {
    ::SendMessageA(text, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
    ::SendMessageA(text, EM_SETBKGNDCOLOR, 0, ::GetSysColor(COLOR_WINDOW));
    // The default limit (32,767 characters) would cut a longer text.
    ::SendMessageA(text, EM_EXLIMITTEXT, 0, static_cast<LPARAM>(shown.text.size() + 1));
  } else {
    ::SendMessageA(text, EM_SETLIMITTEXT, shown.text.size() + 1, 0);
  }
  ::SendMessageA(text, WM_SETREDRAW, FALSE, 0);
  ::SetWindowTextA(text, shown.text.c_str());
  if (isRich) SetBold(text, shown.bold);
  ::SendMessageA(text, WM_SETREDRAW, TRUE, 0);
  return text;
}

// Runs until the dialog is destroyed. A quit message ends the dialog and
// is posted again for the caller's loop.
void RunLoop(TDialog& dialog) {
  MSG msg;
  bool quit = false;
  int quitCode = 0;
  while (!dialog.destroyed) {
    const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      quit = true;
      quitCode = static_cast<int>(msg.wParam);
      break;
    }
    if (got < 0) break;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  if (!dialog.destroyed && ::IsWindow(dialog.window)) ::DestroyWindow(dialog.window);
  if (quit) ::PostQuitMessage(quitCode);
}

bool Show(TDialog& dialog, const TRequest& request) {
  HWND owner = reinterpret_cast<HWND>(request.owner);
  if (owner && !::IsWindow(owner)) owner = nullptr;
  const TFont textFont(MakeFont(kTextFontHeight, request.charset, TextFontFace(request.fontName)));
  const TFont buttonFont(
      MakeFont(-PointsToPixels(ButtonFontPoints(request.fontSize)), request.charset, ButtonFontFace(request.fontName)));
  const TRect r = WindowRect(request.width, request.height, ::GetSystemMetrics(SM_CXSCREEN),
                             ::GetSystemMetrics(SM_CYSCREEN));
  ::CreateWindowExA(WS_EX_DLGMODALFRAME, kWindowClass, request.caption.c_str(),
                    WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, r.left, r.top, r.width, r.height, owner,
                    nullptr, Instance(), &dialog);
  if (!dialog.window || !::IsWindow(dialog.window)) return false;  // nothing to wait for
  dialog.text = CreateTextControl(dialog.window, request, textFont.Get());
  if (!dialog.address.empty()) {
    // Shown by the layout, like the text control, once it stands in its place.
    dialog.button =
        CreateChild("Button", request.button.c_str(), WS_CHILD | BS_DEFPUSHBUTTON, 0, dialog.window, kButtonId);
    ::SendMessageA(dialog.button, WM_SETFONT, reinterpret_cast<WPARAM>(buttonFont.Get()), FALSE);
  }
  RECT client;
  ::GetClientRect(dialog.window, &client);
  LayOut(dialog, client.right, client.bottom);
  ::SetForegroundWindow(dialog.window);
  ::SetActiveWindow(dialog.window);
  if (dialog.button) ::SetFocus(dialog.button);
  RunLoop(dialog);
  return true;  // the fonts go after the window and its controls
}

}  // namespace

bool ShowWindowFor(const TRequest& request) {
  TDialog dialog;
  dialog.address = request.address;
  bool shown = false;
  if (RegisterDialogClass()) {
    ++g_depth;
    shown = Show(dialog, request);
    if (--g_depth == 0) ::UnregisterClassA(kWindowClass, Instance());
  }
  return shown;
}

bool ShellOpen(const std::string& address) { return RunShell(address, "", SW_SHOWNORMAL); }

}  // namespace Inform
