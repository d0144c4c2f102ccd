#include "ui/QuietBox.h"

#include <vector>

#include "ui/MarkupText.h"
#include "ui/VxMsgBox.h"
#include "util/DebugOut.h"
#include "util/Files.h"
#include "util/SysText.h"
#include "util/Utils.h"

namespace MsgBox {

namespace {

struct TQuietState {
  bool quiet = false;
  std::string log;
};

TQuietState& State() {
  static TQuietState state;
  return state;
}

std::string WithoutAmpersands(const std::string& caption) { return ReplaceText(caption, "&", ""); }

}  // namespace

void SetQuietMode(bool quiet) { State().quiet = quiet; }
bool QuietMode() { return State().quiet; }
void SetQuietLog(const std::string& path) { State().log = path; }
std::string QuietLog() { return State().log; }

bool AppendQuietLog(const std::string& line) {
  const std::string& log = State().log;
  if (log.empty()) return true;
  return Files::AppendText(log, StampText(true) + " " + line);
}

int QuietAnswer(uint32_t style) {
  const std::vector<TButton> buttons = ButtonsFor(style, kDefaultButtons);
  for (int preferred : {kIdCancel, kIdNo, kIdAbort, kIdOk}) {
    for (const TButton& b : buttons)
      if (b.id == preferred) return preferred;
  }
  return buttons.empty() ? kIdNone : buttons.front().id;
}

std::string QuietLine(const std::string& caption, const std::string& markup, uint32_t style) {
  std::string plain = MarkupText::StripMarkup(markup);
  // Owner mode 0 heads the text with the caption (upper-cased when it is one
  // of the default captions) and a blank line; the line names the caption once.
  if (!caption.empty() && StartsWith(caption + "\r\n", plain, true)) plain.erase(0, caption.size());
  std::string line = (caption.empty() ? std::string() : caption + ": ") + MarkupText::OneLine(plain);
  const std::vector<TButton> buttons = ButtonsFor(style, kDefaultButtons);
  if (buttons.size() > 1) {
    const int answer = QuietAnswer(style);
    for (const TButton& b : buttons)
      if (b.id == answer) line += " -> " + WithoutAmpersands(b.caption);
  }
  return line;
}

int QuietBox(const std::string& markup, const std::string& caption, uint32_t style) {
  const std::string line = QuietLine(caption, markup, style);
  DebugOut::Line("Quiet run, not shown: " + line);
  if (!AppendQuietLog(line)) DebugOut::Line("Quiet run: the log " + QuietLog() + " cannot be written");
  return QuietAnswer(style);
}

}  // namespace MsgBox
