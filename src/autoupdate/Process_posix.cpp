// POSIX backend of the process lookup, for the host tools and native tests:
// processes come from /proc (Linux); there are no windows to find or post to.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "autoupdate/Process.h"
#include "util/SysInfo.h"

namespace {

std::string LinkTarget(const std::string& link) {
  char buffer[4096];
  const ssize_t n = ::readlink(link.c_str(), buffer, sizeof(buffer));
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::vector<TProcessInfo> Snapshot() {
  std::vector<TProcessInfo> list;
  DIR* proc = ::opendir("/proc");
  if (!proc) return list;
  while (const dirent* entry = ::readdir(proc)) {
    char* end = nullptr;
    const unsigned long id = std::strtoul(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || id == 0) continue;
    TProcessInfo info;
    info.id = static_cast<uint32_t>(id);
    info.fullPath = LinkTarget("/proc/" + std::string(entry->d_name) + "/exe");
    info.exeName = ProcessFileName(info.fullPath);
    struct stat st {};
    info.sessionKnown = ::stat(("/proc/" + std::string(entry->d_name)).c_str(), &st) == 0;
    info.sessionId = static_cast<uint32_t>(st.st_uid);
    if (!info.exeName.empty()) list.push_back(std::move(info));
  }
  ::closedir(proc);
  // The owning user stands for the Windows session.
  return ProcessesOfSession(list, static_cast<uint32_t>(::getuid()));
}

}  // namespace

uint32_t FindProcessId(const std::string& path, bool fullPathOnly) {
  return FindProcessIdIn(Snapshot(), path, "", fullPathOnly);
}

std::string ProcessList(bool fullPaths) { return BuildProcessList(Snapshot(), fullPaths); }

bool IsProcessRunning(const std::string& path) {
  return IsProcessRunningIn(Snapshot(), path, "");
}

void WaitForProcessEnd(const std::string& path, int timeoutMs) {
  const int64_t limit = timeoutMs > 0 ? timeoutMs : 1000;
  const int64_t start = MsCounter();
  do {
    if (!IsProcessRunning(path)) return;
    WaitPumping(0, 100);
  } while (MsCounter() - start < limit);
}

TWindowHandle FindMainWindow(const std::string&) { return 0; }

bool PostProcessMessage(const std::string&, uint32_t, uintptr_t, intptr_t) { return false; }

bool CloseProcess(const std::string&, int) { return false; }

bool QuitProcess(const std::string&) { return false; }

bool WaitForProcessExit(const std::string& path, int timeoutMs) {
  const int64_t start = MsCounter();
  for (;;) {
    if (FindProcessIdIn(Snapshot(), path, "", true) == 0) return true;
    if (MsCounter() - start >= timeoutMs) return false;
    WaitPumping(0, 50);
  }
}

bool TerminateProcessByPath(const std::string& path) {
  const uint32_t id = ProcessIdToTerminateIn(Snapshot(), path, "");
  return id != 0 && ::kill(static_cast<pid_t>(id), SIGKILL) == 0;
}

void WaitWhileWindow(const std::string&, const std::string&) {}
