// The agent's update cycle as the X_ agent runs it (StubAU_win32.cpp): the
// once-a-second tick, the test-mode check, the probe of the INFO file, the
// decision whether its release is offered, and the downloads of the INFO,
// UPDATE and INFORM files. The decisions themselves are in UpdateCycle.h;
// the settings in AUSettings.h; the run state in Stub::AgentRun().
#pragma once

#include <cstdint>
#include <string>

#include "autoupdate/UpdateCycle.h"

namespace AU {

// Installs the tick and the test-mode check in the stub window's hooks.
void InstallCycleHooks();

// One tick of the agent's timer (guarded against re-entry by the busy flag).
void AgentTimerTick();
// Reads the test-mode registry values when forced or when they were last
// read more than 30 s ago; returns the test mode.
bool CheckTestMode(bool force);
// One probe: INFO download, GetOkToPerformAU, and the installation seam for
// a passed probe; the report of a check the user asked for.
void PerformShot();
// The info-only tick: the INFO file is downloaded, nothing else.
void JustDownloadInfoFile();
// The ask-before-checking question; false when the user answered No.
bool AskBeforeCheckingQuestion();

TProbeResult GetOkToPerformAU(bool infoDownloadOk);
// The size check of the release the INFO file offers (local file, else the
// HTTP size outside test mode).
bool SizeCheckPasses();

struct TDownloadResult {
  bool ok = false;
  std::string error;   // shown to the user as it is
  std::string source;  // folder + "\" + name part: where the file was looked for first
};
// kind: kKindInfo, kKindUpdate or kKindInform.
TDownloadResult DownloadFileAU(const std::string& folder, const std::string& name, int kind);

// Debug line with the process id in front (the cycle's "echo").
void Echo(const std::string& text);

// Posts the notification to the listener, when one is set.
void NotifyListener(int code, int value);

// The installation steps of a passed probe (PerformAutoInform when the INFO
// file's AutoInform is 1, else PerformAutoUpdate and, when it succeeded,
// ReStartAutoUpdateExe) are reached through this one seam. The default
// handler only traces "Release accepted: VersionNew=<v> Stamp=<s>
// AutoInform=<0|1>". nullptr restores the default.
using TAcceptedRelease = void (*)(bool autoInform);
void SetAcceptedReleaseHandler(TAcceptedRelease handler);
void TraceAcceptedRelease(bool autoInform);

// The installation of AUInstall_win32.cpp, the handler of builds that have
// it: the trace line of TraceAcceptedRelease, then PerformAutoInform, or
// PerformAutoUpdate and after a completed run ReStartAutoUpdateExe.
void InstallRelease(bool autoInform);
bool PerformAutoUpdate();
bool PerformAutoInform();
void ReStartAutoUpdateExe();

}  // namespace AU
