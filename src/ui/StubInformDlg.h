// The inform dialog of the agent (window class "VxRichEditBox"): a
// resizable window with a read-only Rich Edit control showing a text and,
// when a download address is known, one button that opens the address in
// the user's browser. ShowInformDialog runs its own message loop until the
// window is gone.
//
// This header is portable: what a call does, the geometry of the window and
// its controls, the fonts and the text shown are pure functions; the window
// itself is StubInformDlg_win32.cpp (StubInformDlg_posix.cpp has none).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/VxMsgBox.h"

namespace Inform {

inline constexpr char kWindowClass[] = "VxRichEditBox";
inline constexpr char kDefaultCaption[] = "New Version";
inline constexpr char kDefaultButton[] = "Download";
inline constexpr char kDefaultFontName[] = "Tahoma";
inline constexpr char kTextFontFace[] = "Verdana";
inline constexpr int kDefaultFontSize = 8;
inline constexpr int kDefaultWidth = 360;
inline constexpr int kDefaultHeight = 360;
// Smallest window that still shows the button and some text.
inline constexpr int kMinWidth = 200;
inline constexpr int kMinHeight = 120;

inline constexpr int kTextFontHeight = 15;
inline constexpr int kTextLeft = 3;
inline constexpr int kBandHeight = 43;  // below the text when there is a button
inline constexpr int kButtonWidth = 160;
inline constexpr int kButtonHeight = 25;
inline constexpr int kButtonBottom = 33;  // button top = client height - 33

inline constexpr int kTextControlId = 100;
inline constexpr int kButtonId = 1;

// The text control gets at most this much of the text, with at most this
// many bold runs: an oversized INFORM file cannot make the window slow or
// the process large (each bold run costs the control about a millisecond).
inline constexpr size_t kMaxShownText = 64 * 1024;
inline constexpr size_t kMaxBoldRuns = 1000;

using MsgBox::TRect;

// What a call to ShowInformDialog does.
enum class TAction { Nothing, OpenAddress, ShowDialog };
TAction ActionFor(const std::string& text, const std::string& address);

// The address without the blanks, tabs and line breaks around it.
std::string TrimAddress(const std::string& address);

// True for an address that a browser opens: "http://", "https://" or
// "ftp://" (any case) and more, without control characters. Anything else
// (a program, a local or network file path) is never handed to the shell:
// the address comes from a file that the agent downloads.
bool IsWebAddress(const std::string& address);

// "Verdana", unless a font name other than "Tahoma" (any case) is given.
std::string TextFontFace(const std::string& fontName);
// Face and size of the button font: empty or non-positive values take the defaults.
std::string ButtonFontFace(const std::string& fontName);
int ButtonFontPoints(int points);

struct TLayout {
  TRect text;
  bool hasButton = false;
  TRect button;       // only with hasButton
  int separatorY = 0;  // one-pixel line above the band (with hasButton)
  int bandTop = 0;     // button-face band down to the bottom (with hasButton)
};
// Controls and band in a client area of cw x ch (sizes never below 0).
TLayout LayoutFor(int cw, int ch, bool hasAddress);

// The window: width x height as given (non-positive: the defaults), kept
// between the minimum and the screen, centred on the screen.
TRect WindowRect(int width, int height, int screenWidth, int screenHeight);

// The text as the control gets it: an RTF text ("{\rtf") as it is; any
// other text with its light markup converted to plain text and bold runs,
// as in the message box. At most kMaxShownText characters either way, and
// at most kMaxBoldRuns bold runs (the first ones).
struct TShownText {
  std::string text;
  std::vector<MsgBox::TBoldRun> bold;
  bool rtf = false;
};
TShownText ShownText(const std::string& text);

// Everything a call gets.
struct TRequest {
  intptr_t owner = 0;  // a window handle or 0
  std::string caption;
  std::string button;
  int charset = 0;
  int fontSize = kDefaultFontSize;
  std::string fontName = kDefaultFontName;
  bool rightToLeft = false;
  int height = kDefaultHeight;
  int width = kDefaultWidth;
  std::string address;  // trimmed
  std::string text;
};

// Opening the address: the system's shell ("open", shown normally) unless a
// test put its own function in. True when the address was handed over.
using TShellOpen = bool (*)(const std::string& address);
void SetShellOpen(TShellOpen open);  // nullptr: the system's shell
bool OpenAddress(const std::string& address);

// Replaces every shown dialog by a function (tests of callers); nullptr
// restores the dialog. Its answer is the call's result.
using THandler = bool (*)(const TRequest& request);
void SetHandler(THandler handler);

// The window of the platform for a request with a text: true once it was
// shown and closed, false when it could not be made.
bool ShowWindowFor(const TRequest& request);
// The system's shell, as the default of SetShellOpen.
bool ShellOpen(const std::string& address);

}  // namespace Inform

// Empty text and an address: the address is opened, no window. A text: the
// dialog, true once it has been closed. Both empty: false. An address that
// is not a web address counts as none (a debug line says so).
bool ShowInformDialog(intptr_t owner, const std::string& caption, const std::string& buttonCaption,
                      int charset, int fontSize, const std::string& fontName, bool rightToLeft, int height,
                      int width, const std::string& address, const std::string& text);
