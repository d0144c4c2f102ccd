// Process-wide state of one stub run: the package information of the own
// executable, the command line, the working directory, the listener of the
// agent's notifications, the download abort flag, the exit code and the run
// state that the agent's timer ticks and control messages share.
//
// The start-up sequence (Stub_win32.cpp) fills it once; the window, the
// extraction run and the update cycle read it. One thread uses it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

class TGFileInfo;

namespace Stub {

// Reads the own package from ownPath and keeps the raw command line.
void StartState(const std::string& ownPath, const std::string& commandLine, uint32_t processId);
// Frees the package information (the paths and flags stay readable).
void EndState();

// The own package; an empty one (no package) before StartState and after EndState.
const TGFileInfo& OwnInfo();
const std::string& OwnPath();
std::string OwnFileName();
std::string OwnDir();  // with trailing backslash
uint32_t ProcessId();
const std::string& CommandLine();  // exactly as the system passed it
const std::string& CommandArgs();  // the arguments part (CommandLineArgs)
bool AgentPackage();
bool TraceLogFlag();  // agent package and the package's trace flag

// Class of the stub window; "VarnelStub" until the start-up sequence sets it.
const std::string& WindowClass();
void SetWindowClass(const std::string& name);

// The working directory (no trailing backslash). The first call claims the
// first free name of WorkingDirectoryCandidate (temp folder + "SETUP_" + a
// number from the own file's date, then "_1", "_2", ...; WorkDir.h): a folder
// that another run holds is passed over, one that cannot be emptied and
// created anew by this process as well; the run holds the folder it took.
// Empty when no name could be claimed; each refusal goes to the debug output.
// Later calls give the same path.
std::string WorkingDirectory();
// The Y_ copy of our own relaunch works in its own folder, which the
// relaunching run made for it: held, not emptied. False when it is not there.
bool AdoptWorkingDirectory(const std::string& dir);
// Claims dir (WorkDir::Claim) and makes it the working directory (the
// extraction run's alternative temp folder). False when it cannot be claimed.
bool ClaimWorkingDirectory(const std::string& dir);
bool WorkingDirectoryInUse();
// Releases every folder this run has claimed or adopted (WorkDir::Release):
// contents deleted, the folder removed once empty. Nothing when the process
// has used none: an agent that never extracted anything must not remove the
// folder of a setup that happens to share its name. A folder whose contents
// could not all be deleted stays held; a later call tries it again.
void DeleteWorkingDirectory();

// Listener of the agent's notifications (set by wm_LocalMsg).
void SetListener(uintptr_t window, uint32_t message);
uintptr_t ListenerWindow();
uint32_t ListenerMessage();
bool HasListener();  // both are non-zero

// Download abort flag: set by a close request and by the window's teardown,
// cleared by a caller before each transfer, read by the download loop.
bool DownloadAbort();
void SetDownloadAbort(bool abort);

// 0, or the engine's exit code after a setup run that started it.
void SetExitCode(uint32_t code);
uint32_t ExitCode();

// Run state of the agent that its ticks and control messages share.
struct TAgentRun {
  int32_t tickCounter = -3;    // checks run from 1 on
  int32_t stopCountdown = -1;  // 0: the next tick ends the run; below 0: never
  std::array<uint8_t, 8> transient{255, 255, 255, 255, 255, 255, 255, 255};
  // The update cycle's share (autoupdate/UpdateCycle.h).
  bool cycleRequest = false;     // the next schedule decision probes
  int32_t cycleMode = 0;         // 2: a user check pending, 1: this tick's, 0: automatic
  bool infoOnlyRequest = false;  // the next tick only downloads the INFO file
  bool probingEnabled = true;    // false after a one-shot probe
  bool testMode = false;         // the last test-mode check
  std::string testUrl;           // TestModeURL as last read
  uint32_t lastTestQuery = 0;    // tick count (ms) of the last registry read
  int32_t phase = 0;             // 0 idle, 1 probing, 2 downloading, 3 installing
  bool busy = false;             // a tick is being handled
  int64_t unsavedProbeLast = 0;  // this run's last probe when the .original file did not take it
};
TAgentRun& AgentRun();

// "|v0|v1|...|": item i replaces option i; a missing, empty or non-numeric
// item keeps the option; only the low byte of a value is kept.
void ApplyTransientList(std::array<uint8_t, 8>& options, const std::string& list);
std::string TransientList(const std::array<uint8_t, 8>& options);

// Clamps a 64-bit switch value into 32 bits.
int32_t ClampToInt32(int64_t value);

}  // namespace Stub
