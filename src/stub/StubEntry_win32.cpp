// Process entry of the stub. The parts built on top of the stub window (the
// setup run, the update cycle, the agent commands) install their hooks in
// StubWin::Hooks() here before the run starts.
#include "package/StubSetupWin.h"
#include "stub/Stub.h"
#include "util/Win.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  StubSetup::InstallSetupHook();
  return static_cast<int>(Stub::RunStub());
}
