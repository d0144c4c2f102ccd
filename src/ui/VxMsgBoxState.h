// Inside of the Win32 message box: the state of one shown box, shared by the
// set-up (VxMsgBox_win32.cpp) and the window procedure (VxMsgBoxProc_win32.cpp).
#pragma once

#include <string>
#include <vector>

#include "ui/VxMsgBox.h"
#include "util/Win.h"

namespace MsgBox {

struct TBoxState {
  HWND box = nullptr;
  HWND text = nullptr;
  bool richEdit = false;
  std::vector<TButton> buttons;
  std::vector<HWND> buttonWindows;
  HFONT font = nullptr;
  HWND previousActive = nullptr;
  int timeoutMs = 0;
  int result = kIdNone;
  std::vector<TBoldRun> bold;
  SIZE requested{0, 0};  // the size the text control last asked for
  HICON icon = nullptr;
  bool destroyed = false;
};

LRESULT CALLBACK BoxWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Handles a key message of the box before it is dispatched; true if handled.
bool HandleBoxKey(TBoxState& state, const MSG& msg);

// Gives the button the focus and the default-button style, the others the plain style.
void FocusButton(TBoxState& state, int index);

}  // namespace MsgBox
