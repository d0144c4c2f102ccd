// ui-robot --class NAME [--pid N] [--timeout MS] [--dump] [--wait-gone]
//          [--press CAPTION | --press-index N | --key KEY | --char C | --close |
//           --bold TEXT]
//
// Waits (at most MS, default 10000) for a visible top-level window of the
// class (and of process N), prints it, then acts:
//
//   caption=<window caption>
//   text=<text of its text control; CR LF as \n, tab as \t>
//   textstyle=<style> textexstyle=<extended style>     (hexadecimal)
//   button=<caption>                                    (left to right)
//   default=<index of the default button, -1 if none>
//   rect=<left> <top> <right> <bottom>
//   closegrey=<1 if the Close item of its system menu is greyed, 0, ? unknown>
//
// --press clicks the button with that caption (ignoring "&" and case),
// --press-index the n-th from the left; --key posts a key press (Enter,
// Escape, Left, Right, Up, Down, Tab, Space or a letter or digit) to the
// window's focused control; --char posts a typed character; --close asks
// the window to close. --wait-gone then waits until the window is gone.
//
// --bold checks that TEXT stands in the window's text control (a Rich Edit
// control) and that all of it is bold, and prints
//   bold=<1|0> <first> <last+1>      (character positions of TEXT)
// The format is read from the other process through a buffer allocated
// there, so the robot and the window's program must have the same bitness.
//
// Exit code: 0 done, 1 the window did not appear (or, with --wait-gone, did
// not go), 2 bad usage, 3 no such button, 4 TEXT is not in the text control,
// 5 TEXT is there but not all bold (or its format cannot be read).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <richedit.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct TOptions {
  std::string className;
  DWORD pid = 0;
  DWORD timeoutMs = 10000;
  bool waitGone = false;
  enum Action { None, Press, PressIndex, Key, Char, Close, Bold } action = None;
  std::string argument;
};

int Usage(const char* why) {
  std::fprintf(stderr, "ui-robot: %s\n", why);
  std::fprintf(stderr,
               "usage: ui-robot --class NAME [--pid N] [--timeout MS] [--dump] [--wait-gone]\n"
               "       [--press CAPTION | --press-index N | --key KEY | --char C | --close |\n"
               "        --bold TEXT]\n");
  return 2;
}

UINT VirtualKey(const std::string& name) {
  static const struct {
    const char* name;
    UINT key;
  } kKeys[] = {{"Enter", VK_RETURN}, {"Escape", VK_ESCAPE}, {"Left", VK_LEFT}, {"Right", VK_RIGHT},
               {"Up", VK_UP},        {"Down", VK_DOWN},     {"Tab", VK_TAB},   {"Space", VK_SPACE}};
  for (const auto& k : kKeys) {
    if (_stricmp(k.name, name.c_str()) == 0) return k.key;
  }
  if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))) {
    return static_cast<UINT>(std::toupper(static_cast<unsigned char>(name[0])));
  }
  return 0;
}

bool ParseNumber(const char* text, unsigned long& value) {
  char* end = nullptr;
  value = std::strtoul(text, &end, 10);
  return end != text && *end == '\0';
}

// 0 on success, else the exit code.
int Parse(int argc, char** argv, TOptions& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    auto setAction = [&](TOptions::Action action) {
      if (o.action != TOptions::None) return false;
      o.action = action;
      if (action != TOptions::Close) o.argument = argv[++i];
      return true;
    };
    unsigned long number = 0;
    if (arg == "--class" && hasValue) {
      o.className = argv[++i];
    } else if (arg == "--pid" && hasValue && ParseNumber(argv[i + 1], number)) {
      o.pid = static_cast<DWORD>(number);
      ++i;
    } else if (arg == "--timeout" && hasValue && ParseNumber(argv[i + 1], number)) {
      o.timeoutMs = static_cast<DWORD>(number);
      ++i;
    } else if (arg == "--dump") {
      // Printing is always done; --dump alone only prints.
    } else if (arg == "--wait-gone") {
      o.waitGone = true;
    } else if (arg == "--press" && hasValue) {
      if (!setAction(TOptions::Press)) return Usage("one action only");
    } else if (arg == "--press-index" && hasValue && ParseNumber(argv[i + 1], number)) {
      if (!setAction(TOptions::PressIndex)) return Usage("one action only");
    } else if (arg == "--key" && hasValue) {
      if (VirtualKey(argv[i + 1]) == 0) return Usage(("unknown key: " + std::string(argv[i + 1])).c_str());
      if (!setAction(TOptions::Key)) return Usage("one action only");
    } else if (arg == "--char" && hasValue && std::strlen(argv[i + 1]) == 1) {
      if (!setAction(TOptions::Char)) return Usage("one action only");
    } else if (arg == "--bold" && hasValue && argv[i + 1][0] != '\0') {
      if (!setAction(TOptions::Bold)) return Usage("one action only");
    } else if (arg == "--close") {
      if (!setAction(TOptions::Close)) return Usage("one action only");
    } else {
      return Usage(("bad argument: " + arg).c_str());
    }
  }
  if (o.className.empty()) return Usage("--class is required");
  return 0;
}

std::string ClassOf(HWND window) {
  char name[256] = {0};
  ::GetClassNameA(window, name, sizeof(name));
  return name;
}

std::string TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return "";
  std::string text(static_cast<size_t>(length) + 1, '\0');
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 2000, &copied)) {
    return "";
  }
  text.resize(std::min<size_t>(static_cast<size_t>(copied), text.size()));
  return text;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') continue;
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += c;
    }
  }
  return out;
}

bool SameIgnoringAmpersand(const std::string& a, const std::string& b) {
  auto strip = [](const std::string& s) {
    std::string out;
    for (char c : s) {
      if (c != '&') out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
  };
  return strip(a) == strip(b);
}

struct TFind {
  const TOptions* options;
  HWND found = nullptr;
};

BOOL CALLBACK FindTopLevel(HWND window, LPARAM param) {
  auto* find = reinterpret_cast<TFind*>(param);
  if (!::IsWindowVisible(window)) return TRUE;
  if (_stricmp(ClassOf(window).c_str(), find->options->className.c_str()) != 0) return TRUE;
  if (find->options->pid != 0) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid != find->options->pid) return TRUE;
  }
  find->found = window;
  return FALSE;
}

HWND WaitForWindow(const TOptions& o) {
  const ULONGLONG start = ::GetTickCount64();
  for (;;) {
    TFind find{&o};
    ::EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&find));
    if (find.found) return find.found;
    if (::GetTickCount64() - start >= o.timeoutMs) return nullptr;
    ::Sleep(50);
  }
}

struct TChildren {
  std::vector<HWND> buttons;
  HWND text = nullptr;
};

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
  auto* children = reinterpret_cast<TChildren*>(param);
  if (_stricmp(ClassOf(window).c_str(), "Button") == 0) {
    children->buttons.push_back(window);
  } else if (!children->text) {
    children->text = window;
  }
  return TRUE;
}

TChildren ChildrenOf(HWND window) {
  TChildren children;
  ::EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
  std::stable_sort(children.buttons.begin(), children.buttons.end(), [](HWND a, HWND b) {
    RECT ra;
    RECT rb;
    ::GetWindowRect(a, &ra);
    ::GetWindowRect(b, &rb);
    return ra.left < rb.left;
  });
  return children;
}

int DefaultButton(const TChildren& children) {
  for (size_t i = 0; i < children.buttons.size(); ++i) {
    if ((::GetWindowLongA(children.buttons[i], GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

// A window that is still being built has no default button yet: wait a
// little for it (a box without buttons never gets one).
TChildren WaitUntilReady(HWND window) {
  const ULONGLONG start = ::GetTickCount64();
  TChildren children = ChildrenOf(window);
  while (DefaultButton(children) < 0 && ::GetTickCount64() - start < 1500 && ::IsWindow(window)) {
    ::Sleep(50);
    children = ChildrenOf(window);
  }
  return children;
}

const char* CloseGreyed(HWND window) {
  HMENU menu = ::GetSystemMenu(window, FALSE);
  if (!menu) return "?";
  const UINT state = ::GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND);
  if (state == static_cast<UINT>(-1)) return "?";
  return (state & (MF_GRAYED | MF_DISABLED)) ? "1" : "0";
}

void Print(HWND window, const TChildren& children) {
  std::printf("caption=%s\n", Escaped(TextOf(window)).c_str());
  if (children.text) {
    std::printf("text=%s\n", Escaped(TextOf(children.text)).c_str());
    std::printf("textstyle=0x%08lX textexstyle=0x%08lX\n",
                static_cast<unsigned long>(::GetWindowLongA(children.text, GWL_STYLE)),
                static_cast<unsigned long>(::GetWindowLongA(children.text, GWL_EXSTYLE)));
  } else {
    std::printf("text=\n");
  }
  for (HWND button : children.buttons) std::printf("button=%s\n", TextOf(button).c_str());
  std::printf("default=%d\n", DefaultButton(children));
  RECT r;
  ::GetWindowRect(window, &r);
  std::printf("rect=%ld %ld %ld %ld\n", static_cast<long>(r.left), static_cast<long>(r.top),
              static_cast<long>(r.right), static_cast<long>(r.bottom));
  std::printf("closegrey=%s\n", CloseGreyed(window));
  std::fflush(stdout);
}

// The control with the focus in the window's thread, if it belongs to the window.
HWND KeyTarget(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
  if (::GetGUIThreadInfo(thread, &info) && info.hwndFocus &&
      (info.hwndFocus == window || ::IsChild(window, info.hwndFocus))) {
    return info.hwndFocus;
  }
  return window;
}

int Click(HWND window, HWND button) {
  const int id = ::GetDlgCtrlID(button);
  ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  return 0;
}

// The character format of the selection of a Rich Edit control in another
// process: EM_GETCHARFORMAT writes through a pointer, which must point into
// the control's own address space.
bool RemoteSelectionFormat(HWND control, CHARFORMATA& format) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(control, &pid);
  HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return false;
  bool read = false;
  void* remote = ::VirtualAllocEx(process, nullptr, sizeof(format), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (remote) {
    format = CHARFORMATA{};
    format.cbSize = sizeof(format);
    DWORD_PTR result = 0;
    read = ::WriteProcessMemory(process, remote, &format, sizeof(format), nullptr) &&
           ::SendMessageTimeoutA(control, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(remote),
                                 SMTO_ABORTIFHUNG, 2000, &result) &&
           ::ReadProcessMemory(process, remote, &format, sizeof(format), nullptr);
    ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  ::CloseHandle(process);
  return read;
}

// Positions are those of the text as WM_GETTEXT gives it (a line break
// counts two characters, as in a Rich Edit 1.0 control).
int CheckBold(HWND control, const std::string& wanted) {
  const size_t at = control ? TextOf(control).find(wanted) : std::string::npos;
  if (at == std::string::npos) {
    std::fprintf(stderr, "ui-robot: \"%s\" is not in the text\n", wanted.c_str());
    return 4;
  }
  const WPARAM first = static_cast<WPARAM>(at);
  const LPARAM last = static_cast<LPARAM>(at + wanted.size());
  DWORD_PTR result = 0;
  ::SendMessageTimeoutA(control, EM_SETSEL, first, last, SMTO_ABORTIFHUNG, 2000, &result);
  CHARFORMATA format{};
  const bool read = RemoteSelectionFormat(control, format);
  ::SendMessageTimeoutA(control, EM_SETSEL, 0, 0, SMTO_ABORTIFHUNG, 2000, &result);
  // CFM_BOLD stays in the mask only when the whole selection agrees.
  const bool bold = read && (format.dwMask & CFM_BOLD) && (format.dwEffects & CFE_BOLD);
  std::printf("bold=%d %lu %ld\n", bold ? 1 : 0, static_cast<unsigned long>(first), static_cast<long>(last));
  std::fflush(stdout);
  if (!read) std::fprintf(stderr, "ui-robot: the character format could not be read\n");
  return bold ? 0 : 5;
}

int Act(const TOptions& o, HWND window, const TChildren& children) {
  switch (o.action) {
    case TOptions::None:
      return 0;
    case TOptions::Press:
      for (HWND button : children.buttons) {
        if (SameIgnoringAmpersand(TextOf(button), o.argument)) return Click(window, button);
      }
      std::fprintf(stderr, "ui-robot: no button \"%s\"\n", o.argument.c_str());
      return 3;
    case TOptions::PressIndex: {
      const size_t index = std::strtoul(o.argument.c_str(), nullptr, 10);
      if (index >= children.buttons.size()) {
        std::fprintf(stderr, "ui-robot: no button %zu\n", index);
        return 3;
      }
      return Click(window, children.buttons[index]);
    }
    case TOptions::Key: {
      const UINT key = VirtualKey(o.argument);
      const LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyA(key, MAPVK_VK_TO_VSC)) << 16;
      ::PostMessageA(KeyTarget(window), WM_KEYDOWN, key, scan | 1);
      return 0;
    }
    case TOptions::Char:
      ::PostMessageA(KeyTarget(window), WM_CHAR, static_cast<unsigned char>(o.argument[0]), 1);
      return 0;
    case TOptions::Close:
      ::PostMessageA(window, WM_CLOSE, 0, 0);
      return 0;
    case TOptions::Bold:
      return CheckBold(children.text, o.argument);
  }
  return 0;
}

bool WaitGone(HWND window, DWORD timeoutMs) {
  const ULONGLONG start = ::GetTickCount64();
  while (::IsWindow(window) && ::IsWindowVisible(window)) {
    if (::GetTickCount64() - start >= timeoutMs) return false;
    ::Sleep(50);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  if (const int code = Parse(argc, argv, options)) return code;
  HWND window = WaitForWindow(options);
  if (!window) {
    std::fprintf(stderr, "ui-robot: no window of class \"%s\" within %lu ms\n", options.className.c_str(),
                 static_cast<unsigned long>(options.timeoutMs));
    return 1;
  }
  const TChildren children = WaitUntilReady(window);
  Print(window, children);
  if (const int code = Act(options, window, children)) return code;
  if (options.waitGone && !WaitGone(window, options.timeoutMs)) {
    std::fprintf(stderr, "ui-robot: the window is still there\n");
    return 1;
  }
  return 0;
}
