// msg-sender: posts or sends one message to a top-level window.
//
//   msg-sender /Class=NAME [/Title=TEXT] /Msg=N [/WParam=N] [/LParam=N] [/Send]
//              [/Timeout=MS]
//
// Numbers are decimal, or hex after "$" or "0x". With /Send the message is
// sent (waiting at most /Timeout ms, default 5000) and "result=N" is printed;
// otherwise it is posted and "posted" is printed. Exit code 0 when the window
// was found, 1 when not (then "window not found" is printed).
#include <cstdio>
#include <string>

#include "util/Switches.h"
#include "util/Win.h"

int main() {
  char own[MAX_PATH * 4] = {0};
  ::GetModuleFileNameA(nullptr, own, sizeof(own));
  const std::string args = CommandLineArgs(::GetCommandLineA(), own);

  const std::string cls = GetSwitch(args, "/Class=");
  const std::string title = GetSwitch(args, "/Title=");
  const UINT msg = static_cast<UINT>(GetSwitchInt(args, "/Msg=", 0));
  const WPARAM wp = static_cast<WPARAM>(GetSwitchInt(args, "/WParam=", 0));
  const LPARAM lp = static_cast<LPARAM>(GetSwitchInt(args, "/LParam=", 0));

  HWND window = cls.empty() && title.empty()
                    ? nullptr
                    : ::FindWindowA(cls.empty() ? nullptr : cls.c_str(),
                                    title.empty() ? nullptr : title.c_str());
  if (!window) {
    std::printf("window not found\n");
    return 1;
  }
  if (HasSwitch(args, "/Send")) {
    DWORD_PTR answer = 0;
    const UINT timeout = static_cast<UINT>(GetSwitchInt(args, "/Timeout=", 5000));
    ::SendMessageTimeoutA(window, msg, wp, lp, SMTO_NORMAL, timeout, &answer);
    std::printf("result=%lld\n", static_cast<long long>(answer));
  } else {
    ::PostMessageA(window, msg, wp, lp);
    std::printf("posted\n");
  }
  return 0;
}
