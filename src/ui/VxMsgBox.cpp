#include "ui/VxMsgBox.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "util/SysInfo.h"
#include "util/Utils.h"
#include "util/VxSUB.h"

namespace MsgBox {

// --- Markup ----------------------------------------------------------------

// --- Buttons ---------------------------------------------------------------

namespace {

struct TButtonSet {
  int count;
  int items[3];  // items of the button list
  int ids[3];
};

// Indexed by the low four bits of the style; 6 to 15 have no buttons.
constexpr TButtonSet kButtonSets[] = {
    {1, {0, 0, 0}, {kIdOk, 0, 0}},
    {2, {0, 1, 0}, {kIdOk, kIdCancel, 0}},
    {3, {4, 5, 6}, {kIdAbort, kIdRetry, kIdIgnore}},
    {3, {2, 3, 1}, {kIdYes, kIdNo, kIdCancel}},
    {2, {2, 3, 0}, {kIdYes, kIdNo, 0}},
    {2, {5, 1, 0}, {kIdRetry, kIdCancel, 0}},
};

}  // namespace

std::vector<TButton> ButtonsFor(uint32_t style, const std::string& buttonList) {
  std::vector<TButton> buttons;
  const uint32_t set = style & kButtonSetMask;
  if (set >= std::size(kButtonSets)) return buttons;
  const TButtonSet& s = kButtonSets[set];
  for (int i = 0; i < s.count; ++i) {
    const std::string def = SUB::GetItem(kDefaultButtons, s.items[i]);
    buttons.push_back({s.ids[i], SUB::GetItem(buttonList, s.items[i], def)});
  }
  return buttons;
}

int DefaultButtonIndex(uint32_t style, int count) {
  if (count <= 0) return 0;
  return static_cast<int>((style >> 8) & 0x0F) % count;
}

// --- Text measure and geometry ----------------------------------------------

int LineHeight(int fontHeight, int externalLeading, const std::string& faceName) {
  const bool pGothic = SameText(ReplaceText(faceName, " ", ""), "MSPGothic");
  return fontHeight + externalLeading + (pGothic ? 1 : 0);
}

int TabbedLineWidth(const std::string& line, int tabWidth,
                    const std::function<int(const std::string& segment)>& segmentWidth) {
  const int64_t tab = std::max(tabWidth, 1);
  const int64_t limit = std::numeric_limits<int>::max();
  int64_t x = 0;
  size_t start = 0;
  for (;;) {
    const size_t end = line.find('\t', start);
    const std::string segment =
        line.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const int width = segment.empty() || !segmentWidth ? 0 : segmentWidth(segment);
    x = std::min(limit, x + std::max(width, 0));
    if (end == std::string::npos) break;
    x = std::min(limit, (x / tab + 1) * tab);
    start = end + 1;
  }
  return static_cast<int>(x);
}

TSize MeasureText(const std::string& plain, int lineHeight,
                  const std::function<int(const std::string& line)>& lineWidth) {
  const std::string text = plain.empty() ? std::string(" ") : plain;
  TSize size;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find("\r\n", start);
    const bool last = end == std::string::npos;
    if (last) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (last && line.empty()) break;
    const int width = lineWidth ? std::max(0, lineWidth(line)) : 0;
    size.height += (width / kMaxTextWidth + 1) * lineHeight;
    size.width = std::max(size.width, width + 10);
    if (last) break;
    start = end + 2;
  }
  size.width = std::min(size.width, kMaxTextWidth);
  return size;
}

int WidenForBold(TSize measured, const std::function<TSize(int width)>& requestAt) {
  int largest = measured.width;
  for (int i = 0; i <= 20; ++i) {
    const int width = measured.width + 10 * i;
    const TSize requested = requestAt(width);
    if (requested.height <= measured.height) return width;
    largest = std::max(largest, requested.width);
  }
  const int width = largest + 10;
  requestAt(width);
  return width;
}

TSize BoxSize(TSize control, const TFrame& frame) {
  const int margin = control.width < 200 ? 64 : 32;
  TSize box;
  box.width = std::max(kMinBoxWidth,
                       control.width + 2 * frame.frameWidth + 2 * margin + kBandWidth);
  box.height = control.height + 2 * frame.frameHeight + frame.captionHeight + 36 +
               (control.height < 39 ? 90 : 64);
  return box;
}

TRect TextControlRect(int cw, int ch, TSize control) {
  TRect r;
  r.left = (cw - control.width - kBandWidth) / 2 + kBandWidth;
  r.top = (ch - control.height - 36) / 2;
  r.width = control.width;
  r.height = ch - r.top - 39;
  return r;
}

TRect ButtonRect(int index, int count, int cw, int ch) {
  TRect r;
  r.left = cw - 80 - kButtonWidth * (count - 1 - index);
  r.top = ch - 29;
  r.width = kButtonWidth;
  r.height = kButtonHeight;
  return r;
}

// --- Keyboard ----------------------------------------------------------------

char ButtonLetter(const std::string& caption) {
  const size_t amp = caption.find('&');
  if (amp == std::string::npos) return caption.empty() ? '\0' : caption[0];
  return amp + 1 < caption.size() ? caption[amp + 1] : '\0';
}

TKeyAction KeyDownAction(int key, const std::vector<std::string>& captions, int focused) {
  const int count = static_cast<int>(captions.size());
  switch (key) {
    case kKeyLeft:
    case kKeyUp:
      if (count == 0) return {};
      return {TKeyAction::Focus, focused < 0 ? count - 1 : (focused + count - 1) % count};
    case kKeyRight:
    case kKeyDown:
    case kKeyTab:
      if (count == 0) return {};
      return {TKeyAction::Focus, focused < 0 ? 0 : (focused + 1) % count};
    case kKeyEnter:
      if (focused < 0 || focused >= count) return {};
      return {TKeyAction::Choose, focused};
    case kKeyEscape:
      return {TKeyAction::Close, -1};
    default:
      break;
  }
  if (key < 'A' || key > 'Z') return {};
  int chosen = -1;
  for (int i = 0; i < count; ++i) {
    if (UpChar(ButtonLetter(captions[i])) == key) chosen = i;  // the rightmost wins
  }
  if (chosen < 0) return {};
  return {TKeyAction::Choose, chosen};
}

TKeyAction CharAction(char c, const std::vector<std::string>& captions) {
  for (size_t i = 0; i < captions.size(); ++i) {
    if (captions[i].size() < 2) continue;
    const char second = captions[i][1];
    if (second == c || second == UpChar(c)) return {TKeyAction::Choose, static_cast<int>(i)};
  }
  return {};
}

// --- Font, request, handler --------------------------------------------------

namespace {

TFont& FontSettings() {
  static TFont font;
  return font;
}

THandler& Handler() {
  static THandler handler;
  return handler;
}

}  // namespace

TFont MsgBoxFont() { return FontSettings(); }

void ResetMsgBoxFont() { FontSettings() = TFont{}; }

TRequest PrepareRequest(intptr_t ownerOrMode, const std::string& text, const std::string& caption,
                        const std::string& buttons, int charset, uint32_t style, int timeoutMs) {
  TRequest r;
  r.text = text;
  r.caption = caption;
  r.buttons = buttons;
  r.style = style;
  r.timeoutMs = timeoutMs;
  if (charset == kCharsetHebrew || charset == kCharsetArabic) r.style |= kRight | kRtlReading;
  if (ownerOrMode == 0) {
    const bool known = !caption.empty() &&
                       std::string(kDefaultCaptions).find(caption) != std::string::npos;
    const std::string heading = known ? UpperCase(caption) : caption;
    r.text = "<<b>" + heading + "</b><P><P>" + text + "<P>";
  }
  if (ownerOrMode == 2) r.style |= kNoClose;
  r.owner = ownerOrMode > 2 ? ownerOrMode : 0;
  return r;
}

void SetMsgBoxHandler(THandler handler) { Handler() = std::move(handler); }

}  // namespace MsgBox

void SetMsgBoxFont(const std::string& face, int size, int charset) {
  MsgBox::TFont& font = MsgBox::FontSettings();
  if (!face.empty()) font.face = face;
  if (size > 0) font.size = size;
  font.charset = charset;
}

std::string MarkupToPlain(const std::string& markup) {
  std::string text = ReplaceText(markup, "\\n", "\r\n");
  text = ReplaceText(text, "\\t", "\t");
  text = ReplaceTextCI(text, "<P>", "\r\n");
  return ReplaceTextCI(text, "<T>", "\t");
}

int MsgBoxEx(intptr_t ownerOrMode, const std::string& text, const std::string& caption,
             const std::string& buttons, int charset, uint32_t style, int timeoutMs) {
  MsgBox::TRequest r =
      MsgBox::PrepareRequest(ownerOrMode, text, caption, buttons, charset, style, timeoutMs);
  if (r.owner == 0) r.owner = MsgBox::ActiveWindow();
  if (const MsgBox::THandler& handler = MsgBox::Handler()) return handler(r);
  const int id = ShowMsgBox(r.owner, r.text, r.caption, r.buttons, r.style, r.timeoutMs);
  WaitPumping(0, 100);
  return id;
}

namespace {

std::string OrDefault(const std::string& value, const std::string& def) {
  return value.empty() ? def : value;
}

std::string DefaultCaption(const std::string& caption, int item) {
  return OrDefault(caption, SUB::GetItem(MsgBox::kDefaultCaptions, item));
}

}  // namespace

void MsgError(intptr_t ownerOrMode, const std::string& text, const std::string& caption,
              const std::string& buttons, int charset) {
  MsgBoxEx(ownerOrMode, text, DefaultCaption(caption, 0), OrDefault(buttons, MsgBox::kDefaultButtons),
           charset, 0x10, 0);
}

void MsgWarning(intptr_t ownerOrMode, const std::string& text, const std::string& caption,
                const std::string& buttons, int charset, int timeoutMs) {
  MsgBoxEx(ownerOrMode, text, DefaultCaption(caption, 1), OrDefault(buttons, MsgBox::kDefaultButtons),
           charset, 0x30, timeoutMs);
}

bool MsgYesNo(intptr_t ownerOrMode, const std::string& text, const std::string& caption,
              const std::string& buttons, int charset, int timeoutMs) {
  return MsgBoxEx(ownerOrMode, text, DefaultCaption(caption, 2),
                  OrDefault(buttons, MsgBox::kDefaultButtons), charset, 0x24,
                  timeoutMs) == MsgBox::kIdYes;
}

bool MsgOkCancel(intptr_t ownerOrMode, const std::string& text, const std::string& caption,
                 const std::string& buttons, int charset) {
  return MsgBoxEx(ownerOrMode, text, DefaultCaption(caption, 2),
                  OrDefault(buttons, MsgBox::kDefaultButtons), charset, 0x21, 0) == MsgBox::kIdOk;
}
