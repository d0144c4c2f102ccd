// Start-up decisions of the stub: which of its roles a run takes, the names
// it derives from its own path and package, and the command lines of its
// temporary copies. Pure functions; the Win32 entry applies them.
#pragma once

#include <cstdint>
#include <string>

namespace Stub {

enum class TRole {
  SecondInstance,   // a window of the own class exists: do nothing (plain agent still forwards)
  PlainAgent,       // make and start the X_ copy, then forward control switches
  XAgent,           // test-mode check, window with the update cycle, delete itself
  TempCopyRelaunch, // copy to the working directory as Y_ and start that copy
  Window,           // setup stub, or an agent package under another name
};

struct TRoleFacts {
  bool agentPackage = false;
  bool copyToTemp = false;
  std::string ownFileName;    // name part of the own path
  std::string agentFileName;  // from the package information block
  int64_t spanCdLevel = 1;    // /SpanCdLvl=
  bool ownWindowExists = false;
  bool ownTempCopy = false;   // IsOwnTempCopy: the Y_ copy our relaunch made
};

bool IsPlainAgent(const TRoleFacts& f);
bool IsXAgent(const TRoleFacts& f);
TRole ChooseRole(const TRoleFacts& f);
// A run deletes its own file (and, for the Y_ copy, its folder) after the
// window only when it is an X_ agent or the Y_ copy of our own relaunch: a
// /SpanCdLvl=2 that a user typed never makes a setup delete itself.
bool DeletesItselfAfterWindow(const TRoleFacts& f);

// Longest window class name the system registers.
constexpr size_t kMaxWindowClassLength = 255;
// The name itself when it fits; otherwise "VarnelStub.SHA256." and the hash
// of the upper-cased name (class names ignore case), so that one instance per
// name still holds.
std::string FitWindowClassName(const std::string& name);
// Window class: ".AutoUpdate." + own file name less its last extension for an
// agent package, else the own full path; fitted by FitWindowClassName.
std::string WindowClassName(bool agentPackage, const std::string& ownPath);
// Class of the running X_ copy's window.
std::string XWindowClassName(const std::string& agentFileName);

// Temp folder + "SETUP_" + the low 16 bits of the own file's packed date-time.
std::string WorkingDirectoryName(const std::string& tempDirWithBackslash, int32_t ownDosDateTime);
// Names a run may take for its working directory, in order: the name above,
// then that name + "_1", "_2", ... A name that another run holds, or whose
// folder cannot be emptied and created anew, is passed over for the next.
constexpr int kWorkingDirectoryNames = 16;
std::string WorkingDirectoryCandidate(const std::string& baseName, int index);
// True when dir (with or without trailing backslash, any case) is one of the
// candidate names of baseName.
bool IsWorkingDirectoryCandidate(const std::string& dir, const std::string& baseName);

struct TTempCopyFacts {
  bool copyToTemp = false;     // the package's CopyToTemp flag
  int64_t spanCdLevel = 1;     // /SpanCdLvl=
  std::string ownPath;         // full path of the running file
  std::string tempDir;         // temp folder with trailing backslash
  int32_t ownDosDateTime = 0;  // the own file's packed date-time
};
// The Y_ copy that our own relaunch made: a copy-to-temp package, started
// with level 2, named "Y_" + something, living in one of the working
// directory names of its file date in the temp folder.
bool IsOwnTempCopy(const TTempCopyFacts& f);

// The arguments without any /SpanCdLvl= and /SpanDiskFName1= switch (read as
// the switch reader reads them: any case, blanks before "=", quotes ignored).
// An odd number of quotes in a removed switch leaves one quote behind, so the
// quoting of the rest stays as it was.
std::string RemoveSpanSwitches(const std::string& args);
// Command of the relaunched Y_ copy (the path is quoted so that folders with
// blanks work). The user's own span switches are removed first, so that the
// copy reads the level and volume that the relaunch gives it.
std::string TempCopyCommand(const std::string& yPath, const std::string& ownArgs, const std::string& ownPath);
// Arguments of the X_ copy from the plain agent's /TRANSIENT= and /DELAY= values.
std::string XCopyArguments(const std::string& transient, const std::string& delay);

// "/WM_MSG=h:m": the two numbers (a missing or bad one counts as 0).
void ParseWmMsg(const std::string& value, int64_t& window, int64_t& message);

// Window messages of the agent.
constexpr unsigned kWmUser = 0x0400;
constexpr unsigned wm_ShutDown = kWmUser + 99;
constexpr unsigned wm_LocalMsg = kWmUser + 100;
constexpr unsigned wm_AgentMsg = kWmUser + 101;

// --- The run itself (Stub_win32.cpp) ---

// Process start to exit: start lines, own package, one role, exit lines.
// Returns the process exit code.
uint32_t RunStub();
// Chooses and runs the role (single instance per window class).
void DoRunStubWin();
// Plain agent: copies itself to "X_" + own name beside itself and starts the copy.
void CreateAndRun_X_Exe();
// Plain agent: forwards /STOP=, /WM_MSG= and /TEST= to the running X_ copy.
void HandleParamOK(bool xWasRunning);
// Copies itself into the working directory as "Y_" + own name and starts that
// copy; false (exit code kExtractionFailed, debug line) when either fails.
bool RelaunchTempCopy();

}  // namespace Stub
