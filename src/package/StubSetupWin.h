// The setup run of the stub window: from the window's first timer tick to a
// finished setup engine. Extraction mode unpacks the package behind the
// executable, asks about temp-drive room, starts the engine with its command
// line (StubSetup.h), waits for it and its dialog, and cleans up.
//
// Win32 only (StubSetup_win32.cpp).
#pragma once

#include <cstdint>
#include <string>

namespace StubSetup {

struct TExtractionInput {
  std::string workDir;      // working directory (no trailing backslash)
  std::string packageFile;  // the own executable or the /SpanDiskFName1= volume
  std::string agentName;    // empty: no agent copy
  bool foreground = true;   // false: no questions, hidden engine, window never shown
  std::string extraArgs;    // arguments part of the own command line
};

struct TExtractionOutcome {
  bool completed = false;      // the engine ran and removed its completion atom
  bool engineStarted = false;
  uint32_t exitCode = 0;       // the engine's, or one of ExitCodes.h
};

// Extraction run: unpack, start and wait for the engine, clean up the
// alternative temp folder.
TExtractionOutcome ExtractionRun(const TExtractionInput& in);

// Timer entry of the setup stub: stops the timer, runs the setup, sets the
// process exit code, deletes the working directory and posts the quit message.
void SetupTimerEntry();

// Installs SetupTimerEntry as the stub window's setup hook, and the release
// of the Internet library at the end of the window's run.
void InstallSetupHook();

}  // namespace StubSetup
