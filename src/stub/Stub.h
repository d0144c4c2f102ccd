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
};

bool IsPlainAgent(const TRoleFacts& f);
bool IsXAgent(const TRoleFacts& f);
TRole ChooseRole(const TRoleFacts& f);

// Window class: ".AutoUpdate." + own file name less its last extension for an
// agent package, else the own full path.
std::string WindowClassName(bool agentPackage, const std::string& ownPath);
// Class of the running X_ copy's window.
std::string XWindowClassName(const std::string& agentFileName);
// Temp folder + "SETUP_" + the low 16 bits of the own file's packed date-time.
std::string WorkingDirectoryName(const std::string& tempDirWithBackslash, int32_t ownDosDateTime);

// Command of the relaunched Y_ copy (the path is quoted so that folders with blanks work).
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
// Copies itself into the working directory as "Y_" + own name and starts that copy.
void RelaunchTempCopy();

}  // namespace Stub
