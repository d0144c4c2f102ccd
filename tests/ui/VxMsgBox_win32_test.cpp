// The message box window under wine: a driver thread finds the box of this
// process, reads it and answers it while the test thread runs the box.
// Every box that a driver may fail to answer has a timeout, so no test can
// wait forever.
#include <richedit.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ui/VxMsgBox.h"
#include "ui/VxMsgBoxWin.h"
#include "util/Win.h"
#include "util/WinUtils.h"

namespace {

constexpr int kSafety = 20000;  // ms: the timeout of boxes a driver answers

std::string ClassOf(HWND window) {
  char name[256] = {0};
  ::GetClassNameA(window, name, sizeof(name));
  return name;
}

std::string TextOf(HWND window) {
  const int length = ::GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  text.resize(static_cast<size_t>(::GetWindowTextA(window, text.data(), length + 1)));
  return text;
}

// What the driver sees of a box.
struct TBoxView {
  HWND box = nullptr;
  HWND text = nullptr;
  std::vector<HWND> buttons;  // left to right
  std::vector<std::string> captions;
  int defaultButton = -1;
};

BOOL CALLBACK FindOwnBox(HWND window, LPARAM param) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(window) && ClassOf(window) == MsgBox::kWindowClass) {
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
  auto* view = reinterpret_cast<TBoxView*>(param);
  if (_stricmp(ClassOf(window).c_str(), "Button") == 0) {
    view->buttons.push_back(window);
  } else if (::GetDlgCtrlID(window) == MsgBox::kTextControlId) {
    view->text = window;
  }
  return TRUE;
}

TBoxView Inspect(HWND box) {
  TBoxView view;
  view.box = box;
  ::EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&view));
  std::sort(view.buttons.begin(), view.buttons.end(), [](HWND a, HWND b) {
    RECT ra;
    RECT rb;
    ::GetWindowRect(a, &ra);
    ::GetWindowRect(b, &rb);
    return ra.left < rb.left;
  });
  for (size_t i = 0; i < view.buttons.size(); ++i) {
    view.captions.push_back(TextOf(view.buttons[i]));
    if ((::GetWindowLongA(view.buttons[i], GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON) {
      view.defaultButton = static_cast<int>(i);
    }
  }
  return view;
}

// The box once it is complete (its default button set and the same buttons
// on two looks in a row, since the box is built on another thread; without
// buttons, a moment after it appeared); an empty view after 10 s.
TBoxView WaitForBox(bool expectButtons = true) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::string> lastCaptions;
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
    HWND box = nullptr;
    ::EnumWindows(FindOwnBox, reinterpret_cast<LPARAM>(&box));
    if (box) {
      if (!expectButtons) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return Inspect(box);
      }
      TBoxView view = Inspect(box);
      if (view.defaultButton >= 0 && view.captions == lastCaptions) return view;
      lastCaptions = view.captions;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return {};
}

void PostKey(const TBoxView& view, int key) { ::PostMessageA(view.box, WM_KEYDOWN, key, 1); }

// Runs show() on this thread while act() answers the box from a driver thread.
int ShowAndAnswer(const std::function<int()>& show, const std::function<void(const TBoxView&)>& act,
                  bool expectButtons = true) {
  std::atomic<bool> found{false};
  std::thread driver([&] {
    const TBoxView view = WaitForBox(expectButtons);
    if (!view.box) return;
    found = true;
    act(view);
  });
  const int result = show();
  driver.join();
  EXPECT_TRUE(found) << "no box appeared";
  return result;
}

TEST(MsgBoxWindow, YesNoShowsYesLeftmostAndAnswersKeys) {
  struct Case {
    int key;
    bool expected;
  };
  const Case cases[] = {{'N', false}, {'Y', true}, {VK_RETURN, true}, {VK_ESCAPE, false}};
  for (const Case& c : cases) {
    std::vector<std::string> captions;
    int defaultButton = -2;
    const int answer = ShowAndAnswer(
        [] { return MsgYesNo(1, "Continue with Setup?", "", "", 0, kSafety) ? 1 : 0; },
        [&](const TBoxView& view) {
          captions = view.captions;
          defaultButton = view.defaultButton;
          PostKey(view, c.key);
        });
    EXPECT_EQ(captions, (std::vector<std::string>{"&Yes", "&No"})) << c.key;
    EXPECT_EQ(defaultButton, 0);
    EXPECT_EQ(answer, c.expected ? 1 : 0) << c.key;
  }
}

TEST(MsgBoxWindow, ArrowsMoveTheDefaultAndEnterTakesIt) {
  int afterRight = -1;
  const int id = ShowAndAnswer([] { return MsgBoxEx(1, "x", "Confirm", "", 0, 0x23, kSafety); },
                               [&](const TBoxView& view) {
                                 PostKey(view, VK_RIGHT);
                                 PostKey(view, VK_RIGHT);
                                 PostKey(view, VK_LEFT);
                                 std::this_thread::sleep_for(std::chrono::milliseconds(300));
                                 afterRight = Inspect(view.box).defaultButton;
                                 PostKey(view, VK_RETURN);
                               });
  EXPECT_EQ(afterRight, 1);
  EXPECT_EQ(id, MsgBox::kIdNo);
}

TEST(MsgBoxWindow, OwnerModeZeroShowsTheCaptionAsBoldHeading) {
  std::string text;
  std::string className;
  bool headingBold = false;
  bool bodyBold = true;
  ShowAndAnswer([] { return MsgBoxEx(0, "Disk full", "Error", "", 0, 0x10, kSafety); },
                [&](const TBoxView& view) {
                  text = TextOf(view.text);
                  className = ClassOf(view.text);
                  auto boldAt = [&](LONG from, LONG to) {
                    CHARRANGE range{from, to};
                    ::SendMessageA(view.text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
                    CHARFORMATA format{};
                    format.cbSize = sizeof(format);
                    ::SendMessageA(view.text, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
                    return (format.dwMask & CFM_BOLD) && (format.dwEffects & CFE_BOLD);
                  };
                  headingBold = boldAt(0, 5);
                  bodyBold = boldAt(9, 13);
                  PostKey(view, VK_ESCAPE);
                });
  EXPECT_EQ(_stricmp(className.c_str(), MsgBox::kRichEditClass), 0) << className;
  EXPECT_EQ(text.substr(0, 9), "ERROR\r\n\r\n") << text;
  EXPECT_NE(text.find("Disk full"), std::string::npos);
  EXPECT_TRUE(headingBold);
  EXPECT_FALSE(bodyBold);
}

TEST(MsgBoxWindow, AWarningWithATimeoutClosesItselfWithItsLeftmostButton) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(MsgBoxEx(1, "Closing soon", "Attention", "", 0, 0x30, 5000), MsgBox::kIdOk);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(4900));
  EXPECT_LT(elapsed, std::chrono::milliseconds(9000));
  EXPECT_EQ(MsgBoxEx(1, "Retry?", "", "", 0, 0x05, 300), MsgBox::kIdRetry);
}

TEST(MsgBoxWindow, AbortRetryIgnoreReturnThreeFourFive) {
  const int expected[] = {MsgBox::kIdAbort, MsgBox::kIdRetry, MsgBox::kIdIgnore};
  const int letters[] = {'A', 'R', 'I'};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(ShowAndAnswer([] { return MsgBoxEx(1, "Read error", "Error", "", 0, 0x12, kSafety); },
                            [&](const TBoxView& view) { PostKey(view, letters[i]); }),
              expected[i]);
  }
  // A click on the middle button.
  EXPECT_EQ(ShowAndAnswer([] { return MsgBoxEx(1, "Read error", "Error", "", 0, 0x12, kSafety); },
                          [&](const TBoxView& view) {
                            ::PostMessageA(view.box, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(view.buttons[1]), BN_CLICKED),
                                           reinterpret_cast<LPARAM>(view.buttons[1]));
                          }),
            MsgBox::kIdRetry);
}

TEST(MsgBoxWindow, TypedCharacterChoosesByTheSecondCharacter) {
  EXPECT_EQ(ShowAndAnswer([] { return MsgBoxEx(1, "x", "", "|&OK|&Cancel|", 0, 0x01, kSafety); },
                          [](const TBoxView& view) { ::PostMessageA(view.box, WM_CHAR, 'c', 1); }),
            MsgBox::kIdCancel);
}

TEST(MsgBoxWindow, HebrewCharsetReadsRightToLeft) {
  LONG style = 0;
  LONG exStyle = 0;
  ShowAndAnswer([] { return MsgBoxEx(1, "shalom", "", "", 177, 0x00, kSafety); },
                [&](const TBoxView& view) {
                  style = ::GetWindowLongA(view.text, GWL_STYLE);
                  exStyle = ::GetWindowLongA(view.text, GWL_EXSTYLE);
                  PostKey(view, VK_ESCAPE);
                });
  EXPECT_TRUE(style & ES_RIGHT);
  EXPECT_TRUE(exStyle & WS_EX_RTLREADING);
}

TEST(MsgBoxWindow, OwnerModeTwoGreysTheCloseItem) {
  for (intptr_t mode : {1, 2}) {
    UINT state = 0;
    const int id = ShowAndAnswer([mode] { return MsgBoxEx(mode, "x", "", "", 0, 0x24, kSafety); },
                                 [&](const TBoxView& view) {
                                   state = ::GetMenuState(::GetSystemMenu(view.box, FALSE), SC_CLOSE, MF_BYCOMMAND);
                                   ::PostMessageA(view.box, WM_CLOSE, 0, 0);
                                 });
    EXPECT_EQ((state & MF_GRAYED) != 0, mode == 2) << mode;
    EXPECT_EQ(id, MsgBox::kIdNone);
  }
}

TEST(MsgBoxWindow, LayoutOfBoxButtonsAndText) {
  TBoxView seen;
  RECT box{};
  RECT client{};
  std::vector<RECT> buttons;
  RECT text{};
  ShowAndAnswer([] { return MsgBoxEx(1, "Short", "", "", 0, 0x23, kSafety); },
                [&](const TBoxView& view) {
                  seen = view;
                  ::GetWindowRect(view.box, &box);
                  ::GetClientRect(view.box, &client);
                  for (HWND b : view.buttons) {
                    RECT r;
                    ::GetWindowRect(b, &r);
                    ::MapWindowPoints(nullptr, view.box, reinterpret_cast<POINT*>(&r), 2);
                    buttons.push_back(r);
                  }
                  ::GetWindowRect(view.text, &text);
                  ::MapWindowPoints(nullptr, view.box, reinterpret_cast<POINT*>(&text), 2);
                  PostKey(view, VK_ESCAPE);
                });
  EXPECT_GE(box.right - box.left, 360);
  ASSERT_EQ(buttons.size(), 3u);
  EXPECT_EQ(seen.captions, (std::vector<std::string>{"&Yes", "&No", "&Cancel"}));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(buttons[i].left, client.right - 80 - 70 * (2 - i));
    EXPECT_EQ(buttons[i].top, client.bottom - 29);
    EXPECT_EQ(buttons[i].right - buttons[i].left, 70);
    EXPECT_EQ(buttons[i].bottom - buttons[i].top, 23);
  }
  EXPECT_GE(text.left, MsgBox::kBandWidth);
  EXPECT_LE(text.bottom, client.bottom - 39);
}

TEST(MsgBoxWindow, LongBoldTextWidensButStaysWithinTheLimit) {
  RECT text{};
  ShowAndAnswer([] {
    return MsgBoxEx(1, "Please insert <B>DISK #2</B> and press OK to continue<P>" + std::string(150, 'w'),
                    "Attention", "", 0, 0x30, kSafety);
  },
                [&](const TBoxView& view) {
                  ::GetWindowRect(view.text, &text);
                  PostKey(view, VK_RETURN);
                });
  EXPECT_GT(text.right - text.left, 300);
  EXPECT_LE(text.right - text.left, 600 + 10 + 210);
}

TEST(MsgBoxWindow, TheActiveWindowOwnsTheBoxAndIsDisabledWhileItIsUp) {
  HWND active = ::CreateWindowExA(0, "STATIC", "active", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                  nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(active, nullptr);
  for (intptr_t mode : {intptr_t{1}, MsgOwner(active)}) {
    ::SetForegroundWindow(active);
    ::SetActiveWindow(active);
    ASSERT_EQ(::GetActiveWindow(), active);
    std::atomic<int> enabledDuring{-1};
    std::atomic<HWND> owner{nullptr};
    ShowAndAnswer([&] { return MsgBoxEx(mode, "x", "", "", 0, 0x00, kSafety); },
                  [&](const TBoxView& view) {
                    enabledDuring = ::IsWindowEnabled(active) ? 1 : 0;
                    owner = ::GetWindow(view.box, GW_OWNER);
                    PostKey(view, VK_RETURN);
                  });
    EXPECT_EQ(enabledDuring, 0) << mode;
    EXPECT_EQ(owner, active) << mode;
    EXPECT_TRUE(::IsWindowEnabled(active));
    EXPECT_EQ(::GetActiveWindow(), active);
  }
  ::DestroyWindow(active);
}

TEST(MsgBoxWindow, QueryCancelAutoPlayIsAnsweredWithOne) {
  SetAutoPlayCancel(true);
  LRESULT answer = 0;
  ShowAndAnswer([] { return MsgBoxEx(1, "Insert disk 2", "", "", 0, 0x00, kSafety); },
                [&](const TBoxView& view) {
                  answer = ::SendMessageA(view.box, ::RegisterWindowMessageA("QueryCancelAutoPlay"), 0, 0);
                  PostKey(view, VK_RETURN);
                });
  SetAutoPlayCancel(false);
  EXPECT_EQ(answer, 1);
}

// --- Text measure ---------------------------------------------------------------

// The box's font and what the screen says of it.
struct TMeasureFont {
  TMeasureFont() {
    font = ::CreateFontA(-11, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_SWISS, "Tahoma");
    dc = ::GetDC(nullptr);
    old = ::SelectObject(dc, font);
    TEXTMETRICA tm{};
    ::GetTextMetricsA(dc, &tm);
    lineHeight = tm.tmHeight + tm.tmExternalLeading;
    tabStop = ::GetDeviceCaps(dc, LOGPIXELSX) / 2;
  }
  ~TMeasureFont() {
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
    ::DeleteObject(font);
  }
  int Width(const std::string& text) const {
    SIZE size{0, 0};
    ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
  }
  HFONT font = nullptr;
  HDC dc = nullptr;
  HGDIOBJ old = nullptr;
  int lineHeight = 0;
  int tabStop = 0;
};

TEST(MsgBoxMeasure, ShortTabbedLinesMeasureAsThePlatformsTabbedExtent) {
  const TMeasureFont f;
  for (const std::string line : {"Size:\t  12 MB", "\tx", "a\t\tb", "Free space:\t\t  3 MB\t"}) {
    int tabStop = f.tabStop;
    const DWORD extent =
        ::GetTabbedTextExtentA(f.dc, line.c_str(), static_cast<int>(line.size()), 1, &tabStop);
    const MsgBox::TSize size = MsgBox::MeasureWithFont(line, f.font, "Tahoma");
    EXPECT_EQ(size.width, static_cast<int>(LOWORD(extent)) + 10) << line;
    EXPECT_EQ(size.height, f.lineHeight) << line;
  }
}

// A line with a tab that is wider than 65,535 pixels keeps all its lines:
// the text control has no scroll bar, so a short measure would cut it off.
TEST(MsgBoxMeasure, ATabbedLineWiderThanSixteenBitsKeepsItsFullWidth) {
  const TMeasureFont f;
  const std::string run(16000, 'W');
  const int runWidth = f.Width(run);
  ASSERT_GT(runWidth, 65535);
  const MsgBox::TSize size = MsgBox::MeasureWithFont("Size:\t" + run, f.font, "Tahoma");
  const int widest = f.Width("Size:") + f.tabStop + runWidth;
  EXPECT_EQ(size.width, MsgBox::kMaxTextWidth);
  EXPECT_GE(size.height, (runWidth / MsgBox::kMaxTextWidth + 1) * f.lineHeight);
  EXPECT_LE(size.height, (widest / MsgBox::kMaxTextWidth + 1) * f.lineHeight);
}

// --- Bad input ------------------------------------------------------------------

TEST(MsgBoxBadInput, EmptyTextsAndShortButtonLists) {
  std::vector<std::string> captions;
  std::string caption = "unset";
  const int id = ShowAndAnswer([] { return MsgBoxEx(1, "", "", "|&Go|", 0, 0x01, kSafety); },
                               [&](const TBoxView& view) {
                                 captions = view.captions;
                                 caption = TextOf(view.box);
                                 PostKey(view, 'G');
                               });
  EXPECT_EQ(captions, (std::vector<std::string>{"&Go", "&Cancel"}));
  EXPECT_EQ(caption, "");
  EXPECT_EQ(id, MsgBox::kIdOk);
  EXPECT_EQ(ShowAndAnswer([] { return MsgBoxEx(0, "", "", "", 0, 0x04, kSafety); },
                          [](const TBoxView& view) { PostKey(view, 'N'); }),
            MsgBox::kIdNo);
}

TEST(MsgBoxBadInput, UnknownStyleBitsAndButtonlessSets) {
  // Bits that mean nothing to the box leave the Yes/No set.
  EXPECT_EQ(ShowAndAnswer([] { return MsgBoxEx(1, "x", "", "", 0, 0xEFF0F704u, kSafety); },
                          [](const TBoxView& view) { PostKey(view, 'Y'); }),
            MsgBox::kIdYes);
  // No buttons: a timeout returns 0, and Escape still closes the box.
  EXPECT_EQ(MsgBoxEx(1, "x", "", "", 0, 0x0F, 300), MsgBox::kIdNone);
  EXPECT_EQ(ShowAndAnswer([] { return MsgBoxEx(1, "x", "", "", 0, 0x09, 0); },
                          [](const TBoxView& view) { PostKey(view, VK_ESCAPE); }, false),
            MsgBox::kIdNone);
}

TEST(MsgBoxBadInput, AnOwnerThatIsNoWindowIsIgnored) {
  EXPECT_EQ(MsgBoxEx(0x7FFF1234, "x", "", "", 0, 0x00, 300), MsgBox::kIdOk);
}

TEST(MsgBoxBadInput, WithoutRichEditThePlainTextControlStillAnswers) {
  MsgBox::SetRichEditLibrary("NoSuchRichEdit32.dll");
  std::string className;
  std::string text;
  std::vector<std::string> captions;
  const int id = ShowAndAnswer([] { return MsgBoxEx(0, "Bad <B>CRC</B>!", "Error", "", 0, 0x15, kSafety); },
                               [&](const TBoxView& view) {
                                 className = ClassOf(view.text);
                                 text = TextOf(view.text);
                                 captions = view.captions;
                                 PostKey(view, VK_RETURN);
                               });
  MsgBox::SetRichEditLibrary(MsgBox::kRichEditLibrary);
  EXPECT_EQ(_stricmp(className.c_str(), "Edit"), 0) << className;
  EXPECT_EQ(text, "ERROR\r\n\r\nBad CRC!\r\n");
  EXPECT_EQ(captions, (std::vector<std::string>{"&Retry", "&Cancel"}));
  EXPECT_EQ(id, MsgBox::kIdRetry);
}

TEST(MsgBoxBadInput, AQuitMessageClosesTheBoxAndIsKept) {
  const int id = ShowAndAnswer([] { return ShowMsgBox(0, "x", "", "", 0x24, kSafety); },
                               [](const TBoxView& view) {
                                 ::PostThreadMessageA(::GetWindowThreadProcessId(view.box, nullptr), WM_QUIT, 7, 0);
                               });
  EXPECT_EQ(id, MsgBox::kIdNone);
  MSG msg;
  ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_EQ(MsgBox::CurrentBox(), nullptr);
}

}  // namespace
