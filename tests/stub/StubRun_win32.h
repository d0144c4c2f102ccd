// Helpers of the tests that run the built stub as real processes (wine64):
// packages around the stub, started processes that never outlive a test, a
// private temp folder, the debug viewer, and looks at another process's
// windows.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "TestProcesses_win32.h"
#include "TestSupport.h"
#include "package/PackWrite.h"
#include "package/PackX.h"
#include "stub/Stub.h"
#include "util/FileIO.h"
#include "util/Utils.h"
#include "util/Win.h"

#include <psapi.h>

namespace stubtest {

constexpr DWORD kNotEnded = 0xFFFFFFFE;
// Generous: the first start of a program under wine is slow.
constexpr int kStartMs = 30000;

// The stub under test: the one of this build, or the one VARNEL_STUB names
// (the test command runs the end-to-end tests a second time with the i686
// release stub).
inline std::string StubPath() {
  char value[MAX_PATH * 2] = {0};
  const DWORD n = ::GetEnvironmentVariableA("VARNEL_STUB", value, sizeof(value));
  if (n == 0 || n >= sizeof(value)) return testsupport::BuildPath("src/stub/VarnelStub.exe");
  std::string path = value;
  if (path[0] == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

inline const std::string& StubImage() {
  static const std::string image = testsupport::ReadBytes(StubPath());
  return image;
}

struct TPackageRecipe {
  bool agent = false;
  std::string agentFile = "Foo.AutoUpdate.exe";
  uint8_t options = 0;
  std::vector<std::string> language{"Charset=0", "FontSize=8", "FontName=Tahoma"};
  size_t padding = 0;  // bytes of a stored (uncompressed) extra entry
};

inline std::string PackageBytes(const TPackageRecipe& recipe) {
  TPackageWriter w;
  w.stubImage = StubImage();
  w.agentPackage = recipe.agent;
  w.options = recipe.options;
  w.languageBlock = PackWrite::LanguageBlock({{"English", recipe.language}});
  w.infoBlock = PackWrite::InfoBlock("http://localhost/", "Foo.info", recipe.agentFile, "", false);
  w.AddFile("readme.txt", 0, "data");
  if (recipe.padding > 0) {
    w.level = 0;
    w.AddFile("padding.bin", 0, std::string(recipe.padding, 'p'));
  }
  return w.Build();
}

inline std::string WritePackage(const std::string& path, const TPackageRecipe& recipe) {
  testsupport::WriteBytes(path, PackageBytes(recipe));
  return path;
}

// Waits, dispatching this thread's messages, until done() or ms have passed.
inline bool WaitUntil(const std::function<bool()>& done, int ms) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    if (done()) return true;
    if (static_cast<int>(::GetTickCount() - start) >= ms) return false;
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    ::Sleep(30);
  }
}

inline HWND FindTop(const std::string& windowClass) { return ::FindWindowA(windowClass.c_str(), nullptr); }

inline HWND WaitForWindow(const std::string& windowClass, int ms = kStartMs) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindTop(windowClass)) != nullptr; }, ms);
  return found;
}

// A started program; terminated by the destructor when still running.
class TProc {
 public:
  TProc() = default;
  TProc(const std::string& exe, const std::string& args) { Start(exe, args); }
  TProc(const TProc&) = delete;
  TProc& operator=(const TProc&) = delete;
  ~TProc() { Kill(); }

  bool Start(const std::string& exe, const std::string& args) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::string line = "\"" + exe + "\"" + (args.empty() ? "" : " " + args);
    // A program file that was written a moment ago can still be held by the
    // writer's last handle under wine: such a start is tried again.
    bool started = false;
    WaitUntil([&] {
      started = ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
      lastError_ = started ? 0 : ::GetLastError();
      return started || (lastError_ != ERROR_SHARING_VIOLATION && lastError_ != ERROR_ACCESS_DENIED);
    }, 5000);
    if (!started) {
      std::fprintf(stderr, "CreateProcess failed (error %lu): %s\n", static_cast<unsigned long>(lastError_), line.c_str());
      return false;
    }
    process_.Reset(info.hProcess);
    ::CloseHandle(info.hThread);
    id_ = info.dwProcessId;
    return true;
  }

  // Exit code, or kNotEnded after ms.
  DWORD Wait(int ms) {
    if (!process_) return kNotEnded;
    bool ended = WaitUntil([&] { return ::WaitForSingleObject(process_.Get(), 0) == WAIT_OBJECT_0; }, ms);
    if (!ended) return kNotEnded;
    DWORD code = 0;
    ::GetExitCodeProcess(process_.Get(), &code);
    return code;
  }

  bool Running() const { return process_ && ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT; }
  DWORD Id() const { return id_; }
  // The most memory the process has held so far (its peak working set), 0 when unknown.
  size_t PeakMemory() const {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    if (!process_ || !::GetProcessMemoryInfo(process_.Get(), &memory, sizeof(memory))) return 0;
    return memory.PeakWorkingSetSize;
  }

  void Kill() {
    if (Running()) {
      ::TerminateProcess(process_.Get(), 99);
      ::WaitForSingleObject(process_.Get(), 10000);
    }
  }

 private:
  THandle process_;
  DWORD id_ = 0;
  DWORD lastError_ = 0;
};

// Ends every process of this name (copies that the stub started itself).
inline int KillAllNamed(const std::string& exeName) {
  int killed = 0;
  for (const testsupport::TProcessRow& row : testsupport::RunningProcesses()) {
    if (!SameText(row.exeName, exeName)) continue;
    THandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, row.id));
    if (!process) continue;
    ::TerminateProcess(process.Get(), 99);
    ::WaitForSingleObject(process.Get(), 10000);
    ++killed;
  }
  return killed;
}

inline bool AnyRunningNamed(const std::string& exeName) {
  const std::vector<testsupport::TProcessRow> rows = testsupport::RunningProcesses();
  return std::any_of(rows.begin(), rows.end(),
                     [&](const testsupport::TProcessRow& row) { return SameText(row.exeName, exeName); });
}

// At the end of a test executable: self-deleting batches that the stubs of
// its tests started get the time they are given to finish (they give up after
// about a minute); one still running then is ended and named on stderr. Wine's
// command processor started by the i686 stub has been seen to stay after its
// batch deleted itself, and it holds the test's output open, so the test
// runner would wait for it until its time-out.
class TLeftoverBatches : public ::testing::Environment {
 public:
  void TearDown() override {
    if (WaitUntil([] { return !AnyRunningNamed("cmd.exe"); }, 90000)) return;
    const int ended = KillAllNamed("cmd.exe");
    std::fprintf(stderr, "note: %d command processor(s) of self-deleting batches still ran after 90 s and were ended\n",
                 ended);
  }
};
inline ::testing::Environment* const kLeftoverBatches = ::testing::AddGlobalTestEnvironment(new TLeftoverBatches);

// Points TMP and TEMP of this process, and so of every program it starts, at
// a folder of the test.
class TTempEnv {
 public:
  explicit TTempEnv(const std::string& dir) {
    Save("TMP", tmp_);
    Save("TEMP", temp_);
    ::SetEnvironmentVariableA("TMP", dir.c_str());
    ::SetEnvironmentVariableA("TEMP", dir.c_str());
  }
  ~TTempEnv() {
    ::SetEnvironmentVariableA("TMP", tmp_.empty() ? nullptr : tmp_.c_str());
    ::SetEnvironmentVariableA("TEMP", temp_.empty() ? nullptr : temp_.c_str());
  }
  TTempEnv(const TTempEnv&) = delete;
  TTempEnv& operator=(const TTempEnv&) = delete;

 private:
  static void Save(const char* name, std::string& value) {
    char buffer[MAX_PATH * 2] = {0};
    DWORD n = ::GetEnvironmentVariableA(name, buffer, sizeof(buffer));
    if (n > 0 && n < sizeof(buffer)) value = buffer;
  }
  std::string tmp_, temp_;
};

inline std::string EnvValue(const char* name) {
  char buffer[MAX_PATH * 2] = {0};
  const DWORD n = ::GetEnvironmentVariableA(name, buffer, sizeof(buffer));
  return n > 0 && n < sizeof(buffer) ? buffer : "";
}

// Drive `letter` of the wine prefix mapped, while this lives, to the small
// (2 MiB) drive that scripts/with-small-drive.sh mounts and names in
// VARNEL_SMALL_DRIVE. Why() is empty when the mapping stands, else why a
// test cannot use it.
class TSmallDrive {
 public:
  explicit TSmallDrive(char letter) : root_(std::string(1, letter) + ":\\") {
    const std::string unixDir = EnvValue("VARNEL_SMALL_DRIVE");
    const std::string prefix = EnvValue("WINEPREFIX");
    if (unixDir.empty()) {
      why_ = "VARNEL_SMALL_DRIVE is not set (scripts/with-small-drive.sh mounts it as root)";
    } else if (prefix.empty()) {
      why_ = "WINEPREFIX is not set (not under wine)";
    } else if (Mapped()) {
      why_ = "drive " + root_ + " is in use";
    } else {
      link_ = prefix + "/dosdevices/" + static_cast<char>(letter | 0x20) + ":";
      // -f: a link that a killed run left behind points nowhere and goes.
      if (!StartUnix("/bin/ln -sfn \"" + unixDir + "\" \"" + link_ + "\"") ||
          !WaitUntil([&] { return Mapped(); }, 20000)) {
        why_ = "drive " + root_ + " could not be mapped to " + unixDir;
        link_.clear();
      }
    }
  }
  ~TSmallDrive() {
    if (link_.empty()) return;
    StartUnix("/bin/rm -f \"" + link_ + "\"");
    WaitUntil([&] { return !Mapped(); }, 20000);
  }
  TSmallDrive(const TSmallDrive&) = delete;
  TSmallDrive& operator=(const TSmallDrive&) = delete;

  const std::string& Why() const { return why_; }
  const std::string& Root() const { return root_; }

 private:
  bool Mapped() const { return ::GetDriveTypeA(root_.c_str()) != DRIVE_NO_ROOT_DIR; }
  // Starts a Unix program through wine (wine gives no exit code of it).
  static bool StartUnix(const std::string& commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::string line = commandLine;
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
      return false;
    ::CloseHandle(info.hProcess);
    ::CloseHandle(info.hThread);
    return true;
  }

  std::string root_;
  std::string link_;
  std::string why_;
};

// The debug viewer tool, writing what it receives to a file.
class TDebugViewer {
 public:
  explicit TDebugViewer(const std::string& output) : output_(output) {
    proc_.Start(testsupport::BuildPath("tools/debug-viewer/debug-viewer.exe"), "\"" + output + "\"");
    WaitForWindow(".VxDebug.");
  }
  ~TDebugViewer() {
    if (HWND w = FindTop(".VxDebug.")) ::PostMessageA(w, WM_CLOSE, 0, 0);
    if (proc_.Wait(10000) == kNotEnded) proc_.Kill();
  }
  TDebugViewer(const TDebugViewer&) = delete;
  TDebugViewer& operator=(const TDebugViewer&) = delete;
  std::string Text() const { return testsupport::ReadBytes(output_); }
  // Waits until part arrives, looking from offset `from` of the received text.
  bool WaitFor(const std::string& part, int ms = kStartMs, size_t from = 0) const {
    return WaitUntil([&] { return Text().find(part, from) != std::string::npos; }, ms);
  }

 private:
  std::string output_;
  TProc proc_;
};

inline bool FileHas(const std::string& path, const std::string& part) {
  return testsupport::ReadBytes(path).find(part) != std::string::npos;
}

inline bool WaitForFileText(const std::string& path, const std::string& part, int ms = kStartMs) {
  return WaitUntil([&] { return FileHas(path, part); }, ms);
}

inline int CountOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + part.size())) ++n;
  return n;
}

inline bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A child window as another process shows it: class, rectangle in the
// parent's client area, styles.
struct TChild {
  std::string className;
  RECT rect{};
  LONG style = 0;
  LONG exStyle = 0;
};

inline std::vector<TChild> ChildrenOf(HWND parent) {
  std::vector<TChild> children;
  for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    TChild c;
    char name[256] = {0};
    ::GetClassNameA(child, name, sizeof(name));
    c.className = name;
    ::GetWindowRect(child, &c.rect);
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&c.rect), 2);
    c.style = ::GetWindowLongA(child, GWL_STYLE);
    c.exStyle = ::GetWindowLongA(child, GWL_EXSTYLE);
    children.push_back(c);
  }
  return children;
}

inline std::string WindowText(HWND window) {
  char text[512] = {0};
  DWORD_PTR length = 0;
  ::SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        &length);
  return text;
}

inline std::string DirOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

struct TVisibleWindowSearch {
  DWORD processId;
  std::vector<std::string> classes;
};

inline BOOL CALLBACK CollectVisibleWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TVisibleWindowSearch*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId || !::IsWindowVisible(window)) return TRUE;
  char name[512] = {0};
  ::GetClassNameA(window, name, sizeof(name));
  search->classes.push_back(name);
  return TRUE;
}

// Class names of the visible top-level windows of a process.
inline std::vector<std::string> VisibleTopWindowsOf(DWORD processId) {
  TVisibleWindowSearch search{processId, {}};
  ::EnumWindows(CollectVisibleWindow, reinterpret_cast<LPARAM>(&search));
  return search.classes;
}

// The temp folder of this process (with a trailing backslash).
inline std::string TempPath() {
  char path[MAX_PATH * 2] = {0};
  ::GetTempPathA(sizeof(path), path);
  return path;
}

// The first working-directory name a stub of this file takes.
inline std::string WorkingDirOf(const std::string& exe) {
  return Stub::WorkingDirectoryName(TempPath(), FileDosDate(exe));
}

// Names in a folder, without "." and "..".
inline std::vector<std::string> NamesIn(const std::string& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA fd;
  TFindHandle find(::FindFirstFileA((dir + "\\*").c_str(), &fd));
  if (!find.Valid()) return names;
  do {
    const std::string name = fd.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileA(find.Get(), &fd));
  return names;
}

// Answers the stub's message boxes with OK while it lives (a setup run
// shows one for a damaged or missing package).
class TBoxAnswerer {
 public:
  TBoxAnswerer()
      : robot_(testsupport::BuildPath("tools/ui-robot/ui-robot.exe"), "--class VxMsgBox --timeout 60000 --press OK") {}

 private:
  TProc robot_;
};

}  // namespace stubtest
