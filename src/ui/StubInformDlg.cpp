// The inform dialog's decisions, geometry and text, and the entry point that
// opens the address or shows the window.
#include "ui/StubInformDlg.h"

#include <algorithm>

#include "util/DebugOut.h"
#include "util/Utils.h"

namespace Inform {

namespace {

TShellOpen g_shellOpen = nullptr;
THandler g_handler = nullptr;

int AtLeastZero(int value) { return value > 0 ? value : 0; }

// Within [low, high]; high wins when the two cross (a screen smaller than the minimum).
int Clamp(int value, int low, int high) { return std::min(std::max(value, low), high); }

}  // namespace

TAction ActionFor(const std::string& text, const std::string& address) {
  if (!text.empty()) return TAction::ShowDialog;
  return address.empty() ? TAction::Nothing : TAction::OpenAddress;
}

std::string TrimAddress(const std::string& address) { return Trim(address); }

bool IsWebAddress(const std::string& address) {
  for (const char c : address) {
    if (static_cast<unsigned char>(c) < ' ' || c == 0x7F) return false;
  }
  for (const char* scheme : {"http://", "https://", "ftp://"}) {
    if (address.size() > std::string(scheme).size() && StartsWith(scheme, address, true)) return true;
  }
  return false;
}

std::string TextFontFace(const std::string& fontName) {
  const std::string name = Trim(fontName);
  if (name.empty() || SameText(name, kDefaultFontName)) return kTextFontFace;
  return name;
}

std::string ButtonFontFace(const std::string& fontName) {
  const std::string name = Trim(fontName);
  return name.empty() ? kDefaultFontName : name;
}

int ButtonFontPoints(int points) { return points > 0 ? points : kDefaultFontSize; }

TLayout LayoutFor(int cw, int ch, bool hasAddress) {
  TLayout layout;
  layout.hasButton = hasAddress;
  const int textHeight = hasAddress ? ch - kBandHeight : ch;
  layout.text = {kTextLeft, 0, AtLeastZero(cw - kTextLeft), AtLeastZero(textHeight)};
  if (hasAddress) {
    layout.button = {(cw - kButtonWidth) / 2, ch - kButtonBottom, kButtonWidth, kButtonHeight};
    layout.separatorY = ch - kBandHeight;
    layout.bandTop = ch - kBandHeight + 1;
  }
  return layout;
}

TRect WindowRect(int width, int height, int screenWidth, int screenHeight) {
  if (width <= 0) width = kDefaultWidth;
  if (height <= 0) height = kDefaultHeight;
  width = Clamp(width, kMinWidth, std::max(screenWidth, kMinWidth));
  height = Clamp(height, kMinHeight, std::max(screenHeight, kMinHeight));
  return {std::max((screenWidth - width) / 2, 0), std::max((screenHeight - height) / 2, 0), width, height};
}

TShownText ShownText(const std::string& text) {
  TShownText shown;
  const std::string cut = text.substr(0, kMaxShownText);
  if (StartsWith("{\\rtf", cut, true)) {
    shown.text = cut;
    shown.rtf = true;
    return shown;
  }
  MsgBox::TPlainText plain = MsgBox::ConvertMarkup(cut);
  shown.text = std::move(plain.text);
  shown.bold = std::move(plain.bold);
  if (shown.bold.size() > kMaxBoldRuns) shown.bold.resize(kMaxBoldRuns);
  return shown;
}

void SetShellOpen(TShellOpen open) { g_shellOpen = open; }

bool OpenAddress(const std::string& address) { return g_shellOpen ? g_shellOpen(address) : ShellOpen(address); }

void SetHandler(THandler handler) { g_handler = handler; }

}  // namespace Inform

bool ShowInformDialog(intptr_t owner, const std::string& caption, const std::string& buttonCaption,
                      int charset, int fontSize, const std::string& fontName, bool rightToLeft, int height,
                      int width, const std::string& address, const std::string& text) {
  using namespace Inform;
  std::string trimmed = TrimAddress(address);
  if (!trimmed.empty() && !IsWebAddress(trimmed)) {
    DebugOut::Line("ShowInformDialog: not a web address, not opened: " + trimmed.substr(0, 200));
    trimmed.clear();
  }
  switch (ActionFor(text, trimmed)) {
    case TAction::Nothing:
      return false;
    case TAction::OpenAddress:
      // Whether the shell managed to open it is not reported, as with the button.
      OpenAddress(trimmed);
      return true;
    case TAction::ShowDialog:
      break;
  }
  const TRequest request{owner,
                         caption.empty() ? kDefaultCaption : caption,
                         buttonCaption.empty() ? kDefaultButton : buttonCaption,
                         charset,
                         fontSize,
                         fontName,
                         rightToLeft,
                         height,
                         width,
                         trimmed,
                         text};
  return g_handler ? g_handler(request) : ShowWindowFor(request);
}
