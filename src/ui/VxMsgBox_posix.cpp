// Without a window system there is no box to show: the answer is that of a
// box closed without a button (in a quiet run, the quiet answer).
#include "ui/QuietBox.h"
#include "ui/VxMsgBox.h"

int ShowMsgBox(intptr_t /*owner*/, const std::string& text, const std::string& caption,
               const std::string& /*buttons*/, uint32_t style, int /*timeoutMs*/) {
  if (MsgBox::QuietMode()) return MsgBox::QuietBox(text, caption, style);
  return MsgBox::kIdNone;
}

intptr_t MsgBox::ActiveWindow() { return 0; }
