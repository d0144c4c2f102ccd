// The markup message box: one modal box of its own (window class "VxMsgBox")
// that takes the platform's message-box style values and returns the
// platform's button identifiers. Its text carries a light markup:
//
//   \n  <P>        line break (CR LF)        \t  <T>   tab
//   <B> ... </B>   bold run                  "<<b>" at the start: bold heading
//
// This header is portable: the markup conversion, the geometry of the box
// and its buttons and the keyboard rules are pure functions; the shown box
// itself is VxMsgBox_win32.cpp (VxMsgBox_posix.cpp has no window and answers
// 0, "closed without a button").
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace MsgBox {

inline constexpr char kWindowClass[] = "VxMsgBox";
inline constexpr char kDefaultButtons[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
inline constexpr char kDefaultCaptions[] = "|Error|Attention|Confirm|";

// Style bits that the box honours.
inline constexpr uint32_t kButtonSetMask = 0x0F;
inline constexpr uint32_t kIconMask = 0xF0;
inline constexpr uint32_t kIconHand = 0x10;
inline constexpr uint32_t kIconQuestion = 0x20;
inline constexpr uint32_t kIconExclamation = 0x30;
inline constexpr uint32_t kIconAsterisk = 0x40;
inline constexpr uint32_t kRight = 0x00080000;
inline constexpr uint32_t kRtlReading = 0x00100000;
inline constexpr uint32_t kNoClose = 0x10000000;

// Returned identifiers.
inline constexpr int kIdNone = 0;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Character sets that read right to left.
inline constexpr int kCharsetHebrew = 177;
inline constexpr int kCharsetArabic = 178;

// --- Markup ----------------------------------------------------------------

struct TBoldRun {
  int start = 0;  // 0-based, inclusive
  int end = 0;    // exclusive
  bool operator==(const TBoldRun&) const = default;
};

struct TPlainText {
  std::string text;
  std::vector<TBoldRun> bold;
};

// The whole conversion: plain text (CR LF line breaks) and its bold runs.
TPlainText ConvertMarkup(const std::string& markup);

// --- Buttons ---------------------------------------------------------------

struct TButton {
  int id = 0;
  std::string caption;  // from the button list, "&" included
};

// Buttons of the style's button set, left to right; missing or empty items
// of the list fall back to the default list's items.
std::vector<TButton> ButtonsFor(uint32_t style, const std::string& buttonList);
// Index of the default button: (style >> 8) & 0x0F modulo count (0 if none).
int DefaultButtonIndex(uint32_t style, int count);

// --- Text measure and geometry ----------------------------------------------

struct TSize {
  int width = 0;
  int height = 0;
  bool operator==(const TSize&) const = default;
};
struct TRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const TRect&) const = default;
};

inline constexpr int kMaxTextWidth = 600;
inline constexpr int kMinBoxWidth = 360;
inline constexpr int kBandWidth = 54;  // the coloured band left of the text
inline constexpr int kButtonWidth = 70;
inline constexpr int kButtonHeight = 23;

// Font height + external leading; one pixel more for "MS PGothic" (any case, any blanks).
int LineHeight(int fontHeight, int externalLeading, const std::string& faceName);
// Width in pixels of a line holding tabs, as the platform's tabbed text
// extent measures it with one tab width: each tab moves on to the next
// multiple of tabWidth after the text before it (a tabWidth below 1 counts
// as 1); segmentWidth measures the text between tabs. The full width, not
// cut to 16 bits; at most INT_MAX.
int TabbedLineWidth(const std::string& line, int tabWidth,
                    const std::function<int(const std::string& segment)>& segmentWidth);
// Size of the plain text: lineWidth gives a line's width in pixels.
TSize MeasureText(const std::string& plain, int lineHeight,
                  const std::function<int(const std::string& line)>& lineWidth);

// Width for a text control holding bold runs, so that bold text does not
// wrap. requestAt(width) sizes the control to width and returns the size
// the control then asks for.
int WidenForBold(TSize measured, const std::function<TSize(int width)>& requestAt);

struct TFrame {
  int frameWidth = 0;   // one side
  int frameHeight = 0;  // one side
  int captionHeight = 0;
};
// Outer size of the box for a text control of the given size.
TSize BoxSize(TSize control, const TFrame& frame);
// The text control in a client area of cw x ch.
TRect TextControlRect(int cw, int ch, TSize control);
// Button `index` (0 = leftmost) of `count` in a client area of cw x ch.
TRect ButtonRect(int index, int count, int cw, int ch);

// --- Keyboard ----------------------------------------------------------------

// Virtual key codes (the platform's values).
inline constexpr int kKeyTab = 0x09;
inline constexpr int kKeyEnter = 0x0D;
inline constexpr int kKeyEscape = 0x1B;
inline constexpr int kKeyLeft = 0x25;
inline constexpr int kKeyUp = 0x26;
inline constexpr int kKeyRight = 0x27;
inline constexpr int kKeyDown = 0x28;

struct TKeyAction {
  enum Kind { NotHandled, Focus, Choose, Close };
  Kind kind = NotHandled;
  int button = -1;  // Focus, Choose: button index
  bool operator==(const TKeyAction&) const = default;
};

// A pressed key. focused: index of the button with the focus, -1 if none.
// A letter key that no button answers to is not handled, so it reaches the
// typed-character rule.
TKeyAction KeyDownAction(int key, const std::vector<std::string>& captions, int focused);
// A typed character: the leftmost button whose second character equals it
// or its upper-case form.
TKeyAction CharAction(char c, const std::vector<std::string>& captions);
// The letter a caption answers to: after the first "&", else its first character.
char ButtonLetter(const std::string& caption);

// --- The entry points ----------------------------------------------------------

struct TFont {
  std::string face = "Tahoma";
  int size = 8;     // points
  int charset = 1;  // the platform's default character set
};
// The font that SetMsgBoxFont stored.
TFont MsgBoxFont();
void ResetMsgBoxFont();

// What MsgBoxEx hands to ShowMsgBox.
struct TRequest {
  intptr_t owner = 0;  // a window handle; 0 until MsgBoxEx puts the active window in
  std::string text;
  std::string caption;
  std::string buttons;
  uint32_t style = 0;
  int timeoutMs = 0;
};
// Steps of MsgBoxEx before the box is shown: right-to-left bits for the
// character sets 177 and 178, the bold heading of owner mode 0, the no-Close
// bit of owner mode 2, the owner window (values above 2 only).
TRequest PrepareRequest(intptr_t ownerOrMode, const std::string& text, const std::string& caption,
                        const std::string& buttons, int charset, uint32_t style, int timeoutMs);

// The thread's active window (0 without a window system): the owner of a box
// shown with an owner mode.
intptr_t ActiveWindow();

// Replaces every shown box by a function (tests of callers); empty restores the box.
using THandler = std::function<int(const TRequest&)>;
void SetMsgBoxHandler(THandler handler);

}  // namespace MsgBox

// The box itself: disables the active window, runs modally, returns the
// identifier of the chosen button (0 when closed without one).
int ShowMsgBox(intptr_t owner, const std::string& text, const std::string& caption,
               const std::string& buttons, uint32_t style, int timeoutMs);

// The entry that all other code uses. ownerOrMode: 0 = heading from the
// caption, 1 = plain, 2 = no Close item; above 2 a window handle.
int MsgBoxEx(intptr_t ownerOrMode, const std::string& text, const std::string& caption,
             const std::string& buttons, int charset, uint32_t style, int timeoutMs);

// Shortcuts: an empty button list and an empty caption take the defaults.
void MsgError(intptr_t ownerOrMode, const std::string& text, const std::string& caption = "",
              const std::string& buttons = "", int charset = 0);
void MsgWarning(intptr_t ownerOrMode, const std::string& text, const std::string& caption = "",
                const std::string& buttons = "", int charset = 0, int timeoutMs = 0);
bool MsgYesNo(intptr_t ownerOrMode, const std::string& text, const std::string& caption = "",
              const std::string& buttons = "", int charset = 0, int timeoutMs = 0);
bool MsgOkCancel(intptr_t ownerOrMode, const std::string& text, const std::string& caption = "",
                 const std::string& buttons = "", int charset = 0);

// Stores the font of every later box; a size of 0 or below, and an empty
// face name, leave that value unchanged.
void SetMsgBoxFont(const std::string& face, int size, int charset);

// First stage of the markup conversion: "\n" and "\t" (exact), then "<P>"
// and "<T>" (any case).
std::string MarkupToPlain(const std::string& markup);

namespace MsgBox {
using ::MarkupToPlain;
using ::SetMsgBoxFont;
}  // namespace MsgBox
