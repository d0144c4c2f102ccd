// msgbox-demo [--owner N] [--text T] [--caption C] [--buttons LIST]
//             [--charset N] [--style N] [--timeout MS]
//             [--font NAME] [--size N] [--font-charset N] [--richedit DLL]
//             [--shortcut error|warning|yesno|okcancel|inform] [--out FILE]
//             [--address URL] [--width N] [--height N]
//
// Shows one message box through MsgBoxEx (or one of its shortcuts) and
// prints "result=" and the answer: the button identifier, for yesno and
// okcancel 1 or 0, for error and warning "-". --out also writes the answer
// to a file. Numbers may be decimal or 0x hexadecimal. Exit code 2 on bad usage.
// The inform shortcut shows the inform dialog instead (caption, --buttons as
// the button caption, --font, --size, --charset, the address and the size)
// and prints 1 when it was shown or the address opened.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "ui/StubInformDlg.h"
#include "ui/VxMsgBox.h"
#include "ui/VxMsgBoxWin.h"

namespace {

struct TDemo {
  intptr_t owner = 1;
  std::string text = "Hello";
  std::string caption;
  std::string buttons;
  int charset = 0;
  uint32_t style = 0;
  int timeoutMs = 0;
  std::string fontName = "Tahoma";
  int fontSize = 8;
  int fontCharset = 1;
  std::string shortcut;
  std::string out;
  std::string address;
  int width = Inform::kDefaultWidth;
  int height = Inform::kDefaultHeight;
};

bool Number(const char* text, long long& value) {
  char* end = nullptr;
  value = std::strtoll(text, &end, 0);
  return end != text && *end == '\0';
}

bool Parse(int argc, char** argv, TDemo& d) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    long long n = 0;
    const bool numeric = Number(value, n);
    if (arg == "--owner" && numeric) d.owner = static_cast<intptr_t>(n);
    else if (arg == "--text") d.text = value;
    else if (arg == "--caption") d.caption = value;
    else if (arg == "--buttons") d.buttons = value;
    else if (arg == "--charset" && numeric) d.charset = static_cast<int>(n);
    else if (arg == "--style" && numeric) d.style = static_cast<uint32_t>(n);
    else if (arg == "--timeout" && numeric) d.timeoutMs = static_cast<int>(n);
    else if (arg == "--font") d.fontName = value;
    else if (arg == "--size" && numeric) d.fontSize = static_cast<int>(n);
    else if (arg == "--font-charset" && numeric) d.fontCharset = static_cast<int>(n);
    else if (arg == "--richedit") MsgBox::SetRichEditLibrary(value);
    else if (arg == "--shortcut") d.shortcut = value;
    else if (arg == "--out") d.out = value;
    else if (arg == "--address") d.address = value;
    else if (arg == "--width" && numeric) d.width = static_cast<int>(n);
    else if (arg == "--height" && numeric) d.height = static_cast<int>(n);
    else return false;
  }
  return true;
}

std::string Run(const TDemo& d) {
  if (d.shortcut.empty()) {
    return std::to_string(MsgBoxEx(d.owner, d.text, d.caption, d.buttons, d.charset, d.style, d.timeoutMs));
  }
  if (d.shortcut == "inform") {
    return ShowInformDialog(d.owner > 2 ? d.owner : 0, d.caption, d.buttons, d.charset, d.fontSize, d.fontName,
                            false, d.height, d.width, d.address, d.text)
               ? "1"
               : "0";
  }
  if (d.shortcut == "yesno") return MsgYesNo(d.owner, d.text, d.caption, d.buttons, d.charset, d.timeoutMs) ? "1" : "0";
  if (d.shortcut == "okcancel") return MsgOkCancel(d.owner, d.text, d.caption, d.buttons, d.charset) ? "1" : "0";
  if (d.shortcut == "error") {
    MsgError(d.owner, d.text, d.caption, d.buttons, d.charset);
    return "-";
  }
  if (d.shortcut == "warning") {
    MsgWarning(d.owner, d.text, d.caption, d.buttons, d.charset, d.timeoutMs);
    return "-";
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  TDemo demo;
  if (!Parse(argc, argv, demo)) {
    std::fprintf(stderr, "usage: msgbox-demo [--owner N] [--text T] [--caption C] [--buttons LIST] "
                         "[--charset N] [--style N] [--timeout MS] [--font NAME] [--size N] "
                         "[--font-charset N] [--richedit DLL] [--shortcut KIND] [--out FILE] "
                         "[--address URL] [--width N] [--height N]\n");
    return 2;
  }
  SetMsgBoxFont(demo.fontName, demo.fontSize, demo.fontCharset);
  const std::string result = Run(demo);
  if (result.empty()) {
    std::fprintf(stderr, "msgbox-demo: unknown shortcut %s\n", demo.shortcut.c_str());
    return 2;
  }
  std::printf("result=%s\n", result.c_str());
  std::fflush(stdout);
  if (!demo.out.empty()) std::ofstream(demo.out) << result << "\n";
  return 0;
}
