// Process lookup on Windows.
//
// All lookups use one enumeration: a tool-help process snapshot, with the
// full image path of each process from QueryFullProcessImageNameA (or, when
// the process cannot be opened for that, the first module of a module
// snapshot). It works the same on every supported Windows version and under
// wine, needs neither PSAPI nor a tasklist.exe child process, and also sees
// programs that have no top-level window. Only the processes of the caller's
// own session take part, and a path with a folder matches full paths only:
// another user's copy, or a program of the same name elsewhere, is never
// ended, counted or waited for. The match rules themselves live in
// Process.cpp.
#include "autoupdate/Process.h"

#include "util/SysInfo.h"
#include "util/Win.h"

// After windows.h.
#include <tlhelp32.h>

namespace {

std::string ShortForm(const std::string& path) {
  if (path.empty()) return "";
  char buffer[MAX_PATH * 2] = {0};
  const DWORD n = ::GetShortPathNameA(path.c_str(), buffer, sizeof(buffer));
  return n > 0 && n < sizeof(buffer) ? std::string(buffer, n) : std::string();
}

std::string ImagePathByModule(DWORD id) {
  THandle snap(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, id));
  if (!snap) return "";
  MODULEENTRY32 me{};
  me.dwSize = sizeof(me);
  return ::Module32First(snap.Get(), &me) ? std::string(me.szExePath) : std::string();
}

std::string ImagePath(DWORD id) {
  THandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  if (process) {
    char buffer[MAX_PATH * 4] = {0};
    DWORD size = sizeof(buffer);
    if (::QueryFullProcessImageNameA(process.Get(), 0, buffer, &size) && size > 0)
      return std::string(buffer, size);
  }
  return ImagePathByModule(id);
}

bool SessionOf(DWORD id, uint32_t& session) {
  DWORD value = 0;
  if (!::ProcessIdToSessionId(id, &value)) return false;
  session = value;
  return true;
}

uint32_t OwnSession() {
  uint32_t session = 0;
  SessionOf(::GetCurrentProcessId(), session);
  return session;
}

// The processes of the caller's session; the image paths are read only for
// those (other users' processes are neither opened nor matched).
std::vector<TProcessInfo> Snapshot() {
  std::vector<TProcessInfo> list;
  THandle snap(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) return list;
  const uint32_t own = OwnSession();
  PROCESSENTRY32 pe{};
  pe.dwSize = sizeof(pe);
  for (BOOL more = ::Process32First(snap.Get(), &pe); more; more = ::Process32Next(snap.Get(), &pe)) {
    TProcessInfo info;
    info.id = pe.th32ProcessID;
    info.exeName = ProcessFileName(pe.szExeFile);
    info.sessionKnown = SessionOf(pe.th32ProcessID, info.sessionId);
    if (info.id != 0 && info.sessionKnown && info.sessionId == own) {
      info.fullPath = ImagePath(pe.th32ProcessID);
      info.shortPath = ShortForm(info.fullPath);
    }
    list.push_back(std::move(info));
  }
  return ProcessesOfSession(list, own);
}

// The wanted path as a full path ("." and ".." resolved); a bare file name stays.
std::string Wanted(const std::string& path) {
  const std::string wanted = NormalizeProcessPath(path);
  if (wanted.empty() || IsBareFileName(wanted)) return wanted;
  char buffer[MAX_PATH * 4] = {0};
  const DWORD n = ::GetFullPathNameA(wanted.c_str(), sizeof(buffer), buffer, nullptr);
  return n > 0 && n < sizeof(buffer) ? std::string(buffer, n) : wanted;
}

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
  TAnalizer& analizer = *reinterpret_cast<TAnalizer*>(param);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  if (pid != analizer.ProcessId()) return TRUE;
  TWindowFacts facts;
  facts.handle = reinterpret_cast<TWindowHandle>(hwnd);
  facts.owner = reinterpret_cast<TWindowHandle>(::GetWindow(hwnd, GW_OWNER));
  facts.visible = ::IsWindowVisible(hwnd) != FALSE;
  facts.titled = ::GetWindowTextLengthA(hwnd) > 0;
  return analizer.Add(facts) ? TRUE : FALSE;
}

TWindowHandle OwnerOf(TWindowHandle window) {
  return reinterpret_cast<TWindowHandle>(::GetWindow(reinterpret_cast<HWND>(window), GW_OWNER));
}

HWND FindTopWindow(const std::string& windowClass, const std::string& windowTitle) {
  return ::FindWindowA(windowClass.empty() ? nullptr : windowClass.c_str(),
                       windowTitle.empty() ? nullptr : windowTitle.c_str());
}

}  // namespace

uint32_t FindProcessId(const std::string& path, bool fullPathOnly) {
  const std::string wanted = Wanted(path);
  if (wanted.empty()) return 0;
  return FindProcessIdIn(Snapshot(), wanted, ShortForm(wanted), fullPathOnly);
}

std::string ProcessList(bool fullPaths) { return BuildProcessList(Snapshot(), fullPaths); }

bool IsProcessRunning(const std::string& path) {
  const std::string wanted = Wanted(path);
  if (wanted.empty()) return false;
  return IsProcessRunningIn(Snapshot(), wanted, ShortForm(wanted));
}

void WaitForProcessEnd(const std::string& path, int timeoutMs) {
  const int64_t limit = (timeoutMs > 0 ? timeoutMs : 1000);
  const int64_t start = MsCounter();
  do {
    if (!IsProcessRunning(path)) return;
    WaitPumping(0, 100);
  } while (MsCounter() - start < limit);
}

bool WaitForProcessExit(const std::string& path, int timeoutMs) {
  const std::string wanted = Wanted(path);
  if (wanted.empty()) return true;
  const std::string wantedShort = ShortForm(wanted);
  std::vector<THandle> running;
  for (const TProcessInfo& p : Snapshot()) {
    if (p.id == 0 || !ProcessMatchesPath(p, wanted, wantedShort, true)) continue;
    THandle process(::OpenProcess(SYNCHRONIZE, FALSE, p.id));
    if (process) running.push_back(std::move(process));
  }
  const int64_t start = MsCounter();
  for (;;) {
    bool any = false;
    for (const THandle& process : running) any = any || ::WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
    if (!any) return true;
    if (MsCounter() - start >= timeoutMs) return false;
    WaitPumping(0, 50);
  }
}

TWindowHandle FindMainWindow(const std::string& path) {
  const uint32_t id = FindProcessId(path, true);
  if (id == 0) return 0;
  TAnalizer analizer(id);
  ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&analizer));
  return analizer.MainWindow(OwnerOf);
}

bool PostProcessMessage(const std::string& path, uint32_t message, uintptr_t wParam,
                        intptr_t lParam) {
  const TWindowHandle window = FindMainWindow(path);
  if (window == 0) return false;
  ::PostMessageA(reinterpret_cast<HWND>(window), message, static_cast<WPARAM>(wParam),
                 static_cast<LPARAM>(lParam));
  return true;
}

bool CloseProcess(const std::string& path, int waitMs) {
  const bool found = PostProcessMessage(path, WM_CLOSE, kShutdownWParam, kShutdownLParam);
  if (found && waitMs > 0) WaitForProcessEnd(path, waitMs);
  return found;
}

bool QuitProcess(const std::string& path) {
  return PostProcessMessage(path, WM_QUIT, kShutdownWParam, kShutdownLParam);
}

bool TerminateProcessByPath(const std::string& path) {
  const std::string wanted = Wanted(path);
  if (wanted.empty()) return false;
  const uint32_t id = ProcessIdToTerminateIn(Snapshot(), wanted, ShortForm(wanted));
  if (id == 0) return false;
  THandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, id));
  return process && ::TerminateProcess(process.Get(), 0) != FALSE;
}

void WaitWhileWindow(const std::string& windowClass, const std::string& windowTitle) {
  if (windowClass.empty() && windowTitle.empty()) return;
  while (FindTopWindow(windowClass, windowTitle) != nullptr) {
    YieldX(100);
  }
}
