// The message box window: messages, painting and the keyboard rules.
#include <richedit.h>

#include "ui/VxMsgBoxState.h"
#include "ui/VxMsgBoxWin.h"
#include "util/WinUtils.h"

namespace MsgBox {

namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr COLORREF kBandColour = RGB(0, 78, 152);

TBoxState* StateOf(HWND window) {
  return reinterpret_cast<TBoxState*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
}

int ButtonIndexOf(const TBoxState& state, HWND window) {
  for (size_t i = 0; i < state.buttonWindows.size(); ++i) {
    if (state.buttonWindows[i] == window) return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::string> Captions(const TBoxState& state) {
  std::vector<std::string> captions;
  for (const TButton& b : state.buttons) captions.push_back(b.caption);
  return captions;
}

void Choose(TBoxState& state, int index) {
  if (index < 0 || index >= static_cast<int>(state.buttons.size())) return;
  state.result = state.buttons[index].id;
  ::PostMessageA(state.box, WM_CLOSE, 0, 0);
}

bool Apply(TBoxState& state, const TKeyAction& action) {
  switch (action.kind) {
    case TKeyAction::Focus:
      FocusButton(state, action.button);
      return true;
    case TKeyAction::Choose:
      Choose(state, action.button);
      return true;
    case TKeyAction::Close:
      ::PostMessageA(state.box, WM_CLOSE, 0, 0);
      return true;
    case TKeyAction::NotHandled:
      break;
  }
  return false;
}

void FillRect(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
  if (right <= left || bottom <= top) return;
  const RECT r{left, top, right, bottom};
  HBRUSH brush = ::CreateSolidBrush(colour);
  ::FillRect(dc, &r, brush);
  ::DeleteObject(brush);
}

void Paint(const TBoxState& state, HWND window) {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(window, &ps);
  RECT client;
  ::GetClientRect(window, &client);
  const int cw = client.right;
  const int ch = client.bottom;
  FillRect(dc, 0, 0, cw, ch, ::GetSysColor(COLOR_WINDOW));
  FillRect(dc, 0, ch - 37, cw, ch - 36, ::GetSysColor(COLOR_3DDKSHADOW));
  FillRect(dc, 0, ch - 36, cw, ch - 35, RGB(255, 255, 255));
  FillRect(dc, 0, ch - 35, cw, ch, ::GetSysColor(COLOR_BTNFACE));
  FillRect(dc, 0, 0, kBandWidth, ch - 37, kBandColour);
  HICON icon = state.icon ? state.icon : ::LoadIconA(::GetModuleHandleA(nullptr), "MainIcon");
  if (icon) ::DrawIcon(dc, 11, 20, icon);
  ::EndPaint(window, &ps);
}

void Close(TBoxState& state) {
  if (state.previousActive && ::IsWindow(state.previousActive)) {
    ::EnableWindow(state.previousActive, TRUE);
    ::SetActiveWindow(state.previousActive);
    ::SetFocus(state.previousActive);
  }
  ::KillTimer(state.box, kTimerId);
  ::DestroyWindow(state.box);
}

bool IsOwnButton(const TBoxState& state, int id) {
  for (const TButton& b : state.buttons) {
    if (b.id == id) return true;
  }
  return false;
}

}  // namespace

void FocusButton(TBoxState& state, int index) {
  if (index < 0 || index >= static_cast<int>(state.buttonWindows.size())) return;
  for (size_t i = 0; i < state.buttonWindows.size(); ++i) {
    const bool chosen = static_cast<int>(i) == index;
    ::SendMessageA(state.buttonWindows[i], BM_SETSTYLE, chosen ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
  }
  ::SetFocus(state.buttonWindows[index]);
}

bool HandleBoxKey(TBoxState& state, const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_CHAR) return false;
  if (msg.hwnd != state.box && !::IsChild(state.box, msg.hwnd)) return false;
  if (msg.message == WM_CHAR) {
    return Apply(state, CharAction(static_cast<char>(msg.wParam), Captions(state)));
  }
  const int focused = ButtonIndexOf(state, ::GetFocus());
  return Apply(state, KeyDownAction(static_cast<int>(msg.wParam), Captions(state), focused));
}

LRESULT CALLBACK BoxWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    auto* state = static_cast<TBoxState*>(create->lpCreateParams);
    state->box = window;
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
  }
  TBoxState* state = StateOf(window);
  if (!state) return ::DefWindowProcA(window, message, wParam, lParam);
  const UINT autoPlay = QueryCancelAutoPlayMessage();
  if (autoPlay != 0 && message == autoPlay) return 1;

  switch (message) {
    case WM_CREATE:
      if (state->timeoutMs > 0) ::SetTimer(window, kTimerId, static_cast<UINT>(state->timeoutMs), nullptr);
      return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && IsOwnButton(*state, LOWORD(wParam))) {
        state->result = LOWORD(wParam);
        ::PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_TIMER:
      if (wParam == kTimerId) {
        ::KillTimer(window, kTimerId);
        state->result = state->buttons.empty() ? kIdNone : state->buttons.front().id;
        ::PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->hwndFrom == state->text && header->code == EN_REQUESTRESIZE) {
        const RECT& rc = reinterpret_cast<const REQRESIZE*>(lParam)->rc;
        state->requested = SIZE{rc.right - rc.left, rc.bottom - rc.top};
      }
      return 0;
    }
    case WM_CTLCOLORSTATIC:  // the read-only edit control of the plain fallback
      if (reinterpret_cast<HWND>(lParam) == state->text) {
        ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers the whole client area
    case WM_PAINT:
      Paint(*state, window);
      return 0;
    case WM_CLOSE:
      Close(*state);
      return 0;
    case WM_DESTROY:
      state->destroyed = true;
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      break;
    default:
      break;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace MsgBox
