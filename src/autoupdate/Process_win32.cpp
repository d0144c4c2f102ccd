// Process lookup on Windows.
//
// All lookups use one enumeration: a tool-help process snapshot, with the
// full image path of each process from QueryFullProcessImageNameA (or, when
// the process cannot be opened for that, the first module of a module
// snapshot). It works the same on every supported Windows version and under
// wine, needs neither PSAPI nor a tasklist.exe child process, and also sees
// programs that have no top-level window. The match rules themselves live in
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

std::vector<TProcessInfo> Snapshot() {
  std::vector<TProcessInfo> list;
  THandle snap(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) return list;
  PROCESSENTRY32 pe{};
  pe.dwSize = sizeof(pe);
  for (BOOL more = ::Process32First(snap.Get(), &pe); more; more = ::Process32Next(snap.Get(), &pe)) {
    TProcessInfo info;
    info.id = pe.th32ProcessID;
    info.exeName = ProcessFileName(pe.szExeFile);
    if (info.id != 0) {
      info.fullPath = ImagePath(pe.th32ProcessID);
      info.shortPath = ShortForm(info.fullPath);
    }
    list.push_back(std::move(info));
  }
  return list;
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
  const std::string wanted = NormalizeProcessPath(path);
  if (wanted.empty()) return 0;
  return FindProcessIdIn(Snapshot(), wanted, ShortForm(wanted), fullPathOnly);
}

std::string ProcessList(bool fullPaths) { return BuildProcessList(Snapshot(), fullPaths); }

bool IsProcessRunning(const std::string& path) {
  const std::string wanted = NormalizeProcessPath(path);
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
  const std::string wanted = NormalizeProcessPath(path);
  if (wanted.empty()) return false;
  const uint32_t id = ProcessIdByFileNameIn(Snapshot(), wanted);
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
