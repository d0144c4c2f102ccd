// Debug viewer: a window of class ".VxDebug." that receives the registered
// message ".Vx_DebugMsg." (wParam 1, lParam a global atom holding the text),
// reads the atom's text while it handles the message (the sender deletes the
// atom when the send returns), shows the text and appends it to a file.
//
//   debug-viewer.exe [/pieces] <output file>
//
// Without /pieces the file receives the texts exactly as sent, so it holds
// the debug lines with their CR LF. With /pieces every message is written as
// its length in decimal, ":", the text and LF, which keeps the piece
// boundaries visible. The file is flushed after every message.
#include "util/Win.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr char kClassName[] = ".VxDebug.";
constexpr char kMessageName[] = ".Vx_DebugMsg.";
constexpr int kEditId = 1;
constexpr int kShownLimit = 1 << 20;  // characters kept in the window

UINT g_debugMessage = 0;
FILE* g_output = nullptr;
bool g_pieces = false;
HWND g_edit = nullptr;

void Show(const std::string& text) {
  if (!g_edit) return;
  int length = ::GetWindowTextLengthA(g_edit);
  if (length > kShownLimit) {
    ::SetWindowTextA(g_edit, "");
    length = 0;
  }
  ::SendMessageA(g_edit, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
  ::SendMessageA(g_edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void Record(const std::string& text) {
  if (g_output) {
    if (g_pieces) std::fprintf(g_output, "%u:", static_cast<unsigned>(text.size()));
    std::fwrite(text.data(), 1, text.size(), g_output);
    if (g_pieces) std::fputc('\n', g_output);
    std::fflush(g_output);
  }
  Show(text);
}

void ReceiveAtom(ATOM atom) {
  char buffer[256] = {0};
  UINT length = ::GlobalGetAtomNameA(atom, buffer, sizeof(buffer));
  if (length > 0) Record(std::string(buffer, length));
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_debugMessage != 0 && message == g_debugMessage) {
    if (wParam == 1) ReceiveAtom(static_cast<ATOM>(lParam));
    return 0;
  }
  switch (message) {
    case WM_CREATE:
      g_edit = ::CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                                 WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                     ES_AUTOHSCROLL | ES_READONLY,
                                 0, 0, 0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditId)),
                                 ::GetModuleHandleA(nullptr), nullptr);
      if (g_edit) ::SendMessageA(g_edit, EM_SETLIMITTEXT, 0, 0);
      return 0;
    case WM_SIZE:
      if (g_edit) ::MoveWindow(g_edit, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  std::string outputPath;
  for (int i = 1; i < __argc; ++i) {
    std::string arg = __argv[i];
    if (arg == "/pieces" || arg == "-pieces")
      g_pieces = true;
    else if (outputPath.empty())
      outputPath = arg;
  }
  if (!outputPath.empty()) {
    g_output = std::fopen(outputPath.c_str(), "ab");
    if (!g_output) return 2;
  }

  g_debugMessage = ::RegisterWindowMessageA(kMessageName);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kClassName;
  if (!::RegisterClassA(&windowClass)) return 3;
  HWND window = ::CreateWindowExA(0, kClassName, "Varnel debug viewer", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 720, 420, nullptr, nullptr, instance, nullptr);
  if (!window) return 4;
  ::ShowWindow(window, showCommand);

  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
  if (g_output) std::fclose(g_output);
  return 0;
}
