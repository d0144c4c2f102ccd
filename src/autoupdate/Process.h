// Finding a running program by the path of its executable, choosing its main
// window, asking it to close or end it, and waiting until it is gone.
//
// The matching rules and the main-window choice are plain functions over
// facts gathered by the platform backend, so they are the same everywhere;
// the backend (Process_win32.cpp) collects the facts and sends the messages.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A window handle as a number, 0 = none (HWND on Windows).
using TWindowHandle = uintptr_t;

// ---------------------------------------------------------------------------
// Matching executables.

// Stands for the short (8.3) form of a path that has none (the file does not
// exist), and for a name that must not match. Neither ever equals a real name,
// nor each other.
inline constexpr const char* kNoShortForm = "*XX*";
inline constexpr const char* kNoMatchName = "*X*";

// One running process as the enumeration sees it.
struct TProcessInfo {
  uint32_t id = 0;
  std::string exeName;    // file name of the executable
  std::string fullPath;   // full path of the executable; empty when unreadable
  std::string shortPath;  // short (8.3) form of fullPath; empty when it has none
  bool sessionKnown = false;
  uint32_t sessionId = 0;  // Windows: terminal-services session; POSIX: owning user
};

// The path trimmed and without any double quotes.
std::string NormalizeProcessPath(const std::string& path);
// The form in which two paths are compared: NormalizeProcessPath, "/" read as
// "\", without a "\\?\" prefix, runs of "\" collapsed (a share's leading
// "\\" stays). Case is ignored by the comparison itself.
std::string CanonicalProcessPath(const std::string& path);
// A path without any folder or drive part ("product.exe").
bool IsBareFileName(const std::string& path);
// File name part of a path (after the last "\", "/" or ":").
std::string ProcessFileName(const std::string& path);
// The short form, or kNoShortForm when there is none.
std::string ShortFormOrPlaceholder(const std::string& shortForm);
// Trimmed, case-insensitive comparison in which empty texts and the
// placeholders never match.
bool SameProcessName(const std::string& a, const std::string& b);

// The processes of one session: every lookup sees only the processes of the
// caller's own session, never another user's (a process whose session is
// unknown is left out).
std::vector<TProcessInfo> ProcessesOfSession(const std::vector<TProcessInfo>& processes, uint32_t session);

// A process matches a path when its full path equals the path (canonical
// forms, any case), or the short forms of both are equal, or, when the path
// is a bare file name and not fullPathOnly, its file name equals that name. A
// path with a folder never matches a process by file name alone: a program of
// the same name in another folder is another program.
bool ProcessMatchesPath(const TProcessInfo& process, const std::string& path,
                        const std::string& pathShort, bool fullPathOnly);
// Id of the last matching process in enumeration order, 0 when none.
uint32_t FindProcessIdIn(const std::vector<TProcessInfo>& processes, const std::string& path,
                         const std::string& pathShort, bool fullPathOnly);
// Running: some process matches the path (ProcessMatchesPath, a bare file
// name matching by name).
bool IsProcessRunningIn(const std::vector<TProcessInfo>& processes, const std::string& path,
                        const std::string& pathShort);
// The process to end for a path: the first whose full path (or short form)
// matches; a bare file name reaches nothing. 0 = none.
uint32_t ProcessIdToTerminateIn(const std::vector<TProcessInfo>& processes, const std::string& path,
                                const std::string& pathShort);
// Delimited list of name=id pairs, one per executable name (the first process
// of that name in enumeration order). Id 0 is "System Idle Process"; with
// fullPaths, a process whose full path is unreadable is left out.
std::string BuildProcessList(const std::vector<TProcessInfo>& processes, bool fullPaths);

// ---------------------------------------------------------------------------
// Main-window choice.

struct TWindowFacts {
  TWindowHandle handle = 0;
  TWindowHandle owner = 0;  // direct owner, 0 = none
  bool visible = false;
  bool titled = false;  // non-empty window text
};

// Collects the top-level windows of one process in enumeration order and
// picks its main window: a window scores 1 for itself as the last owner of
// its owner chain, plus 1 for every collected window whose chain ends at it;
// that count times 4, plus 2 for a title, plus 1 when visible. The highest
// score wins; on equal scores the window collected first.
class TAnalizer {
 public:
  static constexpr int kMaxWindows = 2001;
  // Owner of any window, also of windows not collected (other processes);
  // 0 = none. Without it only the collected windows' owners are known.
  using TOwnerOf = std::function<TWindowHandle(TWindowHandle)>;

  explicit TAnalizer(uint32_t processId = 0) : processId_(processId) {}

  uint32_t ProcessId() const { return processId_; }
  int Count() const { return static_cast<int>(windows_.size()); }
  // False (and nothing kept) once kMaxWindows are collected.
  bool Add(const TWindowFacts& window);
  const TWindowFacts& Window(int index) const { return windows_[static_cast<size_t>(index)]; }

  void Score(const TOwnerOf& ownerOf = nullptr);
  uint16_t ScoreOf(int index) const { return scores_[static_cast<size_t>(index)]; }
  // The best-scored window (scoring first when needed), 0 when none.
  TWindowHandle MainWindow(const TOwnerOf& ownerOf = nullptr);

 private:
  TWindowHandle LastOwner(const TWindowFacts& window, const TOwnerOf& ownerOf) const;

  std::vector<TWindowFacts> windows_;
  std::vector<uint16_t> scores_;
  uint32_t processId_ = 0;
};

// ---------------------------------------------------------------------------
// Operations on the running system (platform backend).

// Every lookup below sees only the processes of the caller's own session and
// matches them by ProcessMatchesPath.

// Process id of the running executable, 0 when none.
uint32_t FindProcessId(const std::string& path, bool fullPathOnly);
// name=id pairs of the running processes of this session (see BuildProcessList).
std::string ProcessList(bool fullPaths);
bool IsProcessRunning(const std::string& path);
// Returns once the program no longer runs or timeoutMs (0 = 1000) have
// passed, pumping messages meanwhile; the first test is always made.
void WaitForProcessEnd(const std::string& path, int timeoutMs);
// Waits, pumping messages, until every process running from this full path
// has ended, watching each by its process handle (so a process id that is
// reused meanwhile cannot keep the wait going). True when none runs at the
// end; false after timeoutMs.
bool WaitForProcessExit(const std::string& path, int timeoutMs);
TWindowHandle FindMainWindow(const std::string& path);
// Posts the message to the program's main window; false when there is none.
bool PostProcessMessage(const std::string& path, uint32_t message, uintptr_t wParam,
                        intptr_t lParam);

// The values that go with the shutdown messages.
inline constexpr uintptr_t kShutdownWParam = 15;
inline constexpr intptr_t kShutdownLParam = 255;
// Posts WM_CLOSE; with waitMs > 0 then waits for the end. False: no window.
bool CloseProcess(const std::string& path, int waitMs);
// Posts WM_QUIT. False: no window.
bool QuitProcess(const std::string& path);
// Ends the process running from this full path (ProcessIdToTerminateIn, exit
// code 0); a program of the same name elsewhere or in another session is
// never touched.
bool TerminateProcessByPath(const std::string& path);
// Returns when no top-level window of that class and title exists (an empty
// text matches any; both empty: returns at once).
void WaitWhileWindow(const std::string& windowClass, const std::string& windowTitle);
