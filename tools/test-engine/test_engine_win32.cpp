// test-engine: plays the setup engine for tests and demos.
//
// What it does is chosen by switches (from the stub's command line, or from
// the package's "Engine.exe*..." arguments) or, when a switch is absent, by
// environment variables VARNEL_ENGINE_<NAME> (the switch name without
// "Engine", upper case: VARNEL_ENGINE_LOG, VARNEL_ENGINE_EXIT, ...):
//   /EngineLog=FILE       write the command line, working directory, start
//                         time (StartTime=, FILETIME ticks), the show state
//                         asked by the starter (ShowWindow=, -1 when none)
//                         and the files beside the engine to FILE (key=value
//                         lines)
//   /EngineExit=N         exit code (default 0)
//   /EngineRemoveAtom=1   delete the completion atom named by /TH_ID=
//   /EngineDialog=MS      keep a window of the engine's dialog class for MS ms
//   /EngineDialogProcess=1  ... in a separate process, as a real engine does
//   /EngineSleep=MS       wait before exiting
//   /EngineKeep=DIR       copy the files beside the engine (not its folders)
//                         into DIR just before exiting, so that a test can
//                         read them after the stub has deleted them
#include <cstdlib>
#include <string>
#include <vector>

#include "package/StubSetup.h"
#include "util/FileIO.h"
#include "util/Switches.h"
#include "util/Utils.h"
#include "util/Win.h"

namespace {

std::string g_args;

std::string Setting(const std::string& name) {
  std::string value = GetSwitch(g_args, "/" + name + "=", "");
  if (!value.empty()) return value;
  std::string env = "VARNEL_ENGINE_" + UpperCase(name.substr(6));  // after "Engine"
  const char* v = std::getenv(env.c_str());
  return v ? v : "";
}

std::string OwnPath() {
  char path[MAX_PATH * 4] = {0};
  ::GetModuleFileNameA(nullptr, path, sizeof(path));
  return path;
}

std::string DirOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

void ListFiles(const std::string& dir, const std::string& prefix, std::string& out) {
  WIN32_FIND_DATAA fd;
  TFindHandle find(::FindFirstFileA((dir + "\\*").c_str(), &fd));
  if (!find.Valid()) return;
  do {
    std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListFiles(dir + "\\" + name, prefix + name + "\\", out);
      continue;
    }
    FILETIME local;
    WORD date = 0, time = 0;
    ::FileTimeToLocalFileTime(&fd.ftLastWriteTime, &local);
    ::FileTimeToDosDateTime(&local, &date, &time);
    uint64_t size = (uint64_t{fd.nFileSizeHigh} << 32) | fd.nFileSizeLow;
    int32_t dos = static_cast<int32_t>((uint32_t{date} << 16) | time);
    out += "File=" + prefix + name + "|" + std::to_string(size) + "|" + std::to_string(dos) + "\r\n";
  } while (::FindNextFileA(find.Get(), &fd));
}

// Start time (FILETIME ticks of 100 ns) and the show state the starter asked for.
std::string StartFacts() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  const uint64_t ticks = (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  ::GetStartupInfoA(&si);
  const int show = (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : -1;
  return "StartTime=" + std::to_string(ticks) + "\r\nShowWindow=" + std::to_string(show) + "\r\n";
}

void WriteLog(const std::string& logFile) {
  const std::string facts = StartFacts();
  char cwd[MAX_PATH * 4] = {0};
  ::GetCurrentDirectoryA(sizeof(cwd), cwd);
  std::string text = "CommandLine=" + std::string(::GetCommandLineA()) + "\r\n";
  text += "WorkingDir=" + std::string(cwd) + "\r\n";
  text += "EngineDir=" + DirOf(OwnPath()) + "\r\n" + facts;
  ListFiles(DirOf(OwnPath()), "", text);
  TFile log(logFile, TFile::Mode::Append);
  log.Write(text.data(), static_cast<int64_t>(text.size()));
}

void KeepFiles(const std::string& target) {
  ::CreateDirectoryA(target.c_str(), nullptr);
  const std::string dir = DirOf(OwnPath());
  WIN32_FIND_DATAA fd;
  TFindHandle find(::FindFirstFileA((dir + "\\*").c_str(), &fd));
  if (!find.Valid()) return;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::string name = fd.cFileName;
    ::CopyFileA((dir + "\\" + name).c_str(), (target + "\\" + name).c_str(), FALSE);
  } while (::FindNextFileA(find.Get(), &fd));
}

LRESULT CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER) {
    ::DestroyWindow(hwnd);
    return 0;
  }
  if (msg == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcA(hwnd, msg, wp, lp);
}

void ShowDialogWindow(const std::string& token, int ms) {
  const std::string cls = StubSetup::EngineDialogClass(token);
  WNDCLASSA wc{};
  wc.lpfnWndProc = DialogProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = cls.c_str();
  ::RegisterClassA(&wc);
  HWND hwnd = ::CreateWindowExA(0, cls.c_str(), "Test engine dialog", WS_OVERLAPPED, 0, 0, 200, 80, nullptr,
                                nullptr, wc.hInstance, nullptr);
  if (!hwnd) return;
  ::SetTimer(hwnd, 1, static_cast<UINT>(ms), nullptr);
  MSG m;
  while (::GetMessageA(&m, nullptr, 0, 0) > 0) ::DispatchMessageA(&m);
}

void StartDialogProcess(const std::string& token, const std::string& ms) {
  std::string command = "\"" + OwnPath() + "\" /EngineDialogOnly=" + ms + " /TH_ID=" + token;
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    THandle process(pi.hProcess), thread(pi.hThread);
    // Return once the child shows its window, as a real engine hands over to its dialog.
    for (int i = 0; i < 100 && !::FindWindowA(StubSetup::EngineDialogClass(token).c_str(), nullptr); ++i)
      ::Sleep(50);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  g_args = CommandLineArgs(::GetCommandLineA(), OwnPath());
  const std::string token = GetSwitch(g_args, "/TH_ID=", "");

  const std::string dialogOnly = GetSwitch(g_args, "/EngineDialogOnly=", "");
  if (!dialogOnly.empty()) {
    ShowDialogWindow(token, static_cast<int>(TextToInt64(dialogOnly, 0)));
    return 0;
  }

  const std::string log = Setting("EngineLog");
  if (!log.empty()) WriteLog(log);

  if (Setting("EngineRemoveAtom") == "1" && !token.empty()) {
    ATOM atom = ::GlobalFindAtomA(StubSetup::CompletionAtomName(token).c_str());
    if (atom) ::GlobalDeleteAtom(atom);
  }

  const std::string dialog = Setting("EngineDialog");
  if (!dialog.empty()) {
    if (Setting("EngineDialogProcess") == "1")
      StartDialogProcess(token, dialog);
    else
      ShowDialogWindow(token, static_cast<int>(TextToInt64(dialog, 0)));
  }

  const int64_t sleep = TextToInt64(Setting("EngineSleep"), 0);
  if (sleep > 0) ::Sleep(static_cast<DWORD>(sleep));
  const std::string keep = Setting("EngineKeep");
  if (!keep.empty()) KeepFiles(keep);
  return static_cast<int>(TextToInt64(Setting("EngineExit"), 0));
}
