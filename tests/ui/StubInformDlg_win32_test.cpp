// The inform dialog under wine: this thread shows the dialog while the UI
// robot (another process) reads and answers it, or a driver thread looks at
// its controls. The address goes to a recording seam instead of a browser.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "ui/StubInformDlg.h"
#include "util/Win.h"

#include <richedit.h>

namespace {

using testsupport::BuildPath;
using testsupport::ReadBytes;
using testsupport::TScratchDir;

std::vector<std::string> g_opened;

bool RecordOpen(const std::string& address) {
  g_opened.push_back(address);
  return true;
}

std::string WithoutCR(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

// Runs a program to its end (at most timeoutMs); its output goes to outputFile.
int RunProgram(const std::string& commandLine, const std::string& outputFile, DWORD timeoutMs) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  THandle output(::CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = output.Get();
  si.hStdError = output.Get();
  PROCESS_INFORMATION pi{};
  std::string line = commandLine;
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return -1;
  ::CloseHandle(pi.hThread);
  THandle process(pi.hProcess);
  if (::WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.Get(), 99);
    return -1;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.Get(), &code);
  return static_cast<int>(code);
}

HWND FindDialog() {
  HWND found = nullptr;
  ::EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        DWORD pid = 0;
        char name[64] = {0};
        ::GetWindowThreadProcessId(window, &pid);
        ::GetClassNameA(window, name, sizeof(name));
        if (pid != ::GetCurrentProcessId() || !::IsWindowVisible(window)) return TRUE;
        if (std::string(name) != Inform::kWindowClass) return TRUE;
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// The dialog once its controls are placed and shown (with the button when
// one is expected); null after 10 s.
HWND WaitForDialog(bool withButton, HWND other = nullptr) {
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
    HWND dialog = FindDialog();
    if (dialog && dialog != other && ::IsWindowVisible(::GetDlgItem(dialog, Inform::kTextControlId)) &&
        (!withButton || ::IsWindowVisible(::GetDlgItem(dialog, Inform::kButtonId)))) {
      return dialog;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return nullptr;
}

// A control's rectangle in its parent's client coordinates.
Inform::TRect ChildRect(HWND child) {
  RECT r;
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::string FontFace(HWND control) {
  LOGFONTA font{};
  HFONT handle = reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0));
  if (!handle || !::GetObjectA(handle, sizeof(font), &font)) return "";
  return font.lfFaceName;
}

// The face of a Rich Edit control's text (the control keeps no font handle).
std::string TextFace(HWND control) {
  CHARFORMATA format{};
  format.cbSize = sizeof(format);
  ::SendMessageA(control, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
  return format.szFaceName;
}

// Closes the dialog if it is still there.
void CloseLeftDialog() {
  if (HWND dialog = FindDialog()) ::PostMessageA(dialog, WM_CLOSE, 0, 0);
}

class InformWindow : public testing::Test {
 protected:
  void SetUp() override {
    g_opened.clear();
    Inform::SetShellOpen(RecordOpen);
    robot = BuildPath("tools/ui-robot/ui-robot.exe");
  }
  void TearDown() override { Inform::SetShellOpen(nullptr); }

  // Shows the dialog here while the robot, with robotArgs, answers it (and,
  // with readOnly, only reads it: the dialog is then closed afterwards).
  bool ShowWithRobot(const std::string& robotArgs, const std::string& address, const std::string& text,
                     bool readOnly = false) {
    if (::GetFileAttributesA(robot.c_str()) == INVALID_FILE_ATTRIBUTES) {
      ADD_FAILURE() << "ui-robot is not built";
      return false;
    }
    const std::string command = "\"" + robot + "\" --class " + Inform::kWindowClass + " --pid " +
                                std::to_string(::GetCurrentProcessId()) + " --timeout 20000 " +
                                (readOnly ? "" : "--wait-gone ") + robotArgs;
    std::thread answering([&] {
      robotCode = RunProgram(command, dir.File("robot.txt"), 60000);
      CloseLeftDialog();  // never a dialog that waits for nobody
    });
    const bool shown =
        ShowInformDialog(0, "New Version", "Download", 0, 8, "Tahoma", false, 360, 360, address, text);
    answering.join();
    robotOutput = WithoutCR(ReadBytes(dir.File("robot.txt")));
    return shown;
  }

  // Shows the dialog here while act() looks at it from a driver thread and
  // then closes it (the driver closes it in any case).
  bool ShowWithDriver(const std::string& address, const std::string& text, const std::string& fontName,
                      const std::function<void(HWND)>& act, int width = 360, int height = 360) {
    std::atomic<bool> found{false};
    std::thread driver([&] {
      HWND dialog = WaitForDialog(!address.empty());
      if (!dialog) return;
      found = true;
      act(dialog);
      ::PostMessageA(dialog, WM_CLOSE, 0, 0);
    });
    const bool shown = ShowInformDialog(0, "", "", 0, 8, fontName, false, height, width, address, text);
    driver.join();
    EXPECT_TRUE(found) << "no dialog appeared";
    return shown;
  }

  std::string robot;
  std::string robotOutput;
  int robotCode = -1;
  TScratchDir dir;
};

TEST_F(InformWindow, RobotReadsTheTextAndPressesTheButton) {
  EXPECT_TRUE(ShowWithRobot("--press Download", " http://updates.test/v2.exe ",
                            "<B>Version 2</B> is out.<P>Faster\\tand safer."));
  EXPECT_EQ(robotCode, 0) << robotOutput;
  EXPECT_NE(robotOutput.find("caption=New Version\n"), std::string::npos) << robotOutput;
  EXPECT_NE(robotOutput.find("text=Version 2 is out.\\nFaster\\tand safer.\n"), std::string::npos) << robotOutput;
  EXPECT_NE(robotOutput.find("button=Download\ndefault=0\n"), std::string::npos) << robotOutput;
  EXPECT_EQ(g_opened, std::vector<std::string>{"http://updates.test/v2.exe"});
}

TEST_F(InformWindow, BoldRunsOfTheMarkupAreBold) {
  EXPECT_TRUE(ShowWithRobot("--bold \"Version 2\"", "", "<B>Version 2</B> is out.", true));
  EXPECT_EQ(robotCode, 0) << robotOutput;
  EXPECT_NE(robotOutput.find("bold=1 0 9"), std::string::npos) << robotOutput;
  // No address: no button, and closing opens nothing.
  EXPECT_EQ(robotOutput.find("button="), std::string::npos) << robotOutput;
  EXPECT_TRUE(g_opened.empty());
}

TEST_F(InformWindow, ClosingWithoutTheButtonOpensNothing) {
  EXPECT_TRUE(ShowWithRobot("--close", "http://updates.test/", "Text"));
  EXPECT_EQ(robotCode, 0) << robotOutput;
  EXPECT_TRUE(g_opened.empty());
}

TEST_F(InformWindow, AddressWithoutTextOpensItWithoutAWindow) {
  EXPECT_TRUE(ShowInformDialog(0, "", "", 0, 8, "", false, 360, 360, "http://updates.test/only", ""));
  EXPECT_EQ(g_opened, std::vector<std::string>{"http://updates.test/only"});
  EXPECT_EQ(FindDialog(), nullptr);
  EXPECT_FALSE(ShowInformDialog(0, "", "", 0, 8, "", false, 360, 360, "", ""));
}

TEST_F(InformWindow, LayoutWithAndWithoutAddressAndAfterResizing) {
  for (const bool withAddress : {false, true}) {
    const std::string address = withAddress ? "http://updates.test/" : "";
    std::vector<std::string> failures;
    EXPECT_TRUE(ShowWithDriver(address, "Text", "Tahoma", [&](HWND dialog) {
      for (const SIZE size : {SIZE{360, 360}, SIZE{640, 300}, SIZE{250, 500}}) {
        if (size.cx != 360) ::SetWindowPos(dialog, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        RECT client;
        ::GetClientRect(dialog, &client);
        const Inform::TLayout want = Inform::LayoutFor(client.right, client.bottom, withAddress);
        const std::string at = std::to_string(client.right) + "x" + std::to_string(client.bottom);
        if (!(ChildRect(::GetDlgItem(dialog, Inform::kTextControlId)) == want.text)) failures.push_back("text " + at);
        HWND button = ::GetDlgItem(dialog, Inform::kButtonId);
        if (withAddress != (button != nullptr)) failures.push_back("button presence " + at);
        if (button && !(ChildRect(button) == want.button)) failures.push_back("button " + at);
        if (button && ChildRect(button).top != client.bottom - 33) failures.push_back("button top " + at);
      }
    }));
    for (const std::string& failure : failures) ADD_FAILURE() << failure;
  }
}

TEST_F(InformWindow, FontsAndWindowSize) {
  struct Case {
    const char* given;
    const char* textFace;
  };
  for (const Case& c : {Case{"Tahoma", "Verdana"}, Case{"", "Verdana"}, Case{"Arial", "Arial"}}) {
    std::string textFace;
    std::string buttonFace;
    LONG styles = 0;
    RECT window{};
    EXPECT_TRUE(ShowWithDriver("http://updates.test/", "Text", c.given, [&](HWND dialog) {
      textFace = TextFace(::GetDlgItem(dialog, Inform::kTextControlId));
      buttonFace = FontFace(::GetDlgItem(dialog, Inform::kButtonId));
      styles = ::GetWindowLongA(dialog, GWL_STYLE);
      ::GetWindowRect(dialog, &window);
    }, 420, 300));
    EXPECT_EQ(textFace, c.textFace) << c.given;
    EXPECT_EQ(buttonFace, c.given[0] ? c.given : "Tahoma") << c.given;
    EXPECT_TRUE(styles & WS_THICKFRAME);
    EXPECT_EQ(window.right - window.left, 420);
    EXPECT_EQ(window.bottom - window.top, 300);
  }
}

// A second dialog shown while the first is up (from a timer that the first
// one's loop dispatches) ends only its own loop; the first waits for its own
// closing, even when it was closed before the second.
UINT_PTR g_timer = 0;
bool g_innerShown = false;

void CALLBACK ShowInner(HWND, UINT, UINT_PTR, DWORD) {
  ::KillTimer(nullptr, g_timer);
  g_innerShown = ShowInformDialog(0, "Inner", "", 0, 8, "", false, 300, 200, "", "Inner text");
}

TEST_F(InformWindow, EachDialogWaitsForItsOwnClosing) {
  g_innerShown = false;
  std::atomic<int> order{0};
  std::thread driver([&] {
    HWND outer = WaitForDialog(false);
    if (!outer) return;
    HWND inner = WaitForDialog(false, outer);
    if (!inner) return;
    ::PostMessageA(outer, WM_CLOSE, 0, 0);
    const auto start = std::chrono::steady_clock::now();
    while (::IsWindow(outer) && std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    order = ::IsWindow(outer) ? 1 : 2;  // the outer window went while the inner one stays up
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    if (::IsWindow(inner)) order = order + 10;
    ::PostMessageA(inner, WM_CLOSE, 0, 0);
  });
  g_timer = ::SetTimer(nullptr, 0, 300, ShowInner);
  EXPECT_TRUE(ShowInformDialog(0, "Outer", "", 0, 8, "", false, 360, 360, "", "Outer text"));
  driver.join();
  EXPECT_TRUE(g_innerShown);
  EXPECT_EQ(order.load(), 12);

  // One after the other: the second waits for its own closing as well.
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(ShowWithDriver("", "Again", "", [](HWND) {}));
  }
}

TEST_F(InformWindow, QuitMessageEndsTheDialogAndReachesTheCaller) {
  EXPECT_TRUE(ShowWithDriver("", "Text", "", [](HWND dialog) {
    ::PostThreadMessageA(::GetWindowThreadProcessId(dialog, nullptr), WM_QUIT, 7, 0);
    const auto start = std::chrono::steady_clock::now();
    while (::IsWindow(dialog) && std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }));
  MSG msg;
  ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(InformWindow, HugeAndJunkTextsShowBounded) {
  std::string huge;
  while (huge.size() < 4 * 1024 * 1024) huge += "Line of news <B>bold</B> <<b><P>\\n</B>x<T>";
  const std::string cases[] = {huge, "<<b></B><B><P<P>>\\", "{\\rtf1 {\\b broken", std::string(3, '\0') + "x"};
  for (const std::string& text : cases) {
    int length = -1;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(ShowWithDriver("http://updates.test/", text, "", [&](HWND dialog) {
      length = ::GetWindowTextLengthA(::GetDlgItem(dialog, Inform::kTextControlId));
    }));
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 30) << text.substr(0, 40);
    EXPECT_GE(length, 0);
    EXPECT_LE(static_cast<size_t>(length), Inform::kMaxShownText);
  }
}

}  // namespace
