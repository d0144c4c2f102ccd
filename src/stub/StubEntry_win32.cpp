// Process entry of the stub. The parts built on top of the stub window (the
// setup run, the update cycle, the agent commands) install their hooks in
// StubWin::Hooks() here before the run starts. A quiet run (/QUIET) is set
// up before the run, and its log ends with the exit code.
#include "autoupdate/StubAU.h"
#include "package/StubSetupWin.h"
#include "stub/QuietRun.h"
#include "stub/Stub.h"
#include "autoupdate/AgentControl.h"
#include "util/Switches.h"
#include "util/SysInfo.h"
#include "util/Win.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  StubSetup::InstallSetupHook();
  AU::InstallCycleHooks();
  const std::string commandLine = ::GetCommandLineA();
  QuietRun::Start(CommandLineArgs(commandLine, ExePath()), commandLine);
  AgentControl::InstallControlHook();
  const uint32_t exitCode = Stub::RunStub();
  QuietRun::Finish(exitCode);
  return static_cast<int>(exitCode);
}
