// The run of the stub from process entry to exit: it reads its own package,
// decides which of its four roles this run takes, and runs it.
//
// Choices of our own:
//  - The X_ and Y_ copies are started with their paths in double quotes, so
//    that a folder with blanks cannot be split into program and arguments.
//  - The X_ copy receives /TRANSIENTx= but does not apply it; only the plain
//    agent applies the list (to its own options, just before it exits). The
//    transient options reach a running X_ copy through the agent commands.
//  - The relaunch removes the user's /SpanCdLvl= and /SpanDiskFName1= before
//    it appends its own, and checks the copy and the start of the Y_ copy (a
//    failure ends with kExtractionFailed). Only the Y_ copy of our own
//    relaunch, inside its working directory, deletes itself and its folder;
//    a /SpanCdLvl=2 typed by a user deletes nothing.
//  - The plain agent waits for an X_ copy that is ending (its window gone,
//    its process still there) before it copies over its file.
#include "stub/Stub.h"

#include "autoupdate/Process.h"
#include "package/PackX.h"
#include "stub/ExitCodes.h"
#include "stub/StubState.h"
#include "stub/StubWin.h"
#include "stub/VxDebug.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/OSInfo.h"
#include "util/PathText.h"
#include "util/SysInfo.h"
#include "util/Utils.h"
#include "util/Win.h"
#include "util/WinUtils.h"

namespace Stub {

namespace {

// How long the plain agent waits for a freshly started X_ copy.
constexpr int64_t kXStartWaitMs = 3000;
constexpr int kXStartPollMs = 200;
// How long it waits for an ending X_ copy, and then for its file to go.
constexpr int kXEndWaitMs = 30000;
constexpr int64_t kXFileGoneWaitMs = 10000;
// How long the relaunch waits for its Y_ copy to take over the folder.
constexpr DWORD kYStartWaitMs = 15000;

std::string Pid() { return IntToText(ProcessId()); }

void DebugLine(const std::string& text) { VxDebug::DebugLine(text); }
void Trace(const std::string& text) { VxDebug::Trace(text); }

std::string RawCommandLine() {
  const char* line = ::GetCommandLineA();
  return line ? line : "";
}

bool WindowClassExists(const std::string& className) {
  return !className.empty() && ::FindWindowA(className.c_str(), nullptr) != nullptr;
}

// Copies the own executable to `to` (an X_ or Y_ copy of ours). A copy
// never keeps the read-only attribute of its original (a setup on a CD, an
// agent file made read-only): it could then neither be replaced by the next
// copy nor delete itself.
bool CopyOwnFile(const std::string& to) { return CopyFileReplacing(OwnPath(), to); }

TTempCopyFacts TempCopyFacts() {
  TTempCopyFacts facts;
  facts.copyToTemp = OwnInfo().CopyToTemp();
  facts.spanCdLevel = GetSwitchInt(CommandArgs(), "/SpanCdLvl=", 1);
  facts.ownPath = OwnPath();
  facts.tempDir = TempDir(true);
  facts.ownDosDateTime = FileDosDate(OwnPath());
  return facts;
}

TRoleFacts CurrentFacts(bool ownWindowExists) {
  TRoleFacts facts;
  facts.agentPackage = AgentPackage();
  facts.copyToTemp = OwnInfo().CopyToTemp();
  facts.ownFileName = OwnFileName();
  facts.agentFileName = OwnInfo().AgentFileName();
  facts.spanCdLevel = GetSwitchInt(CommandArgs(), "/SpanCdLvl=", 1);
  facts.ownWindowExists = ownWindowExists;
  facts.ownTempCopy = IsOwnTempCopy(TempCopyFacts());
  return facts;
}

std::string XPath() { return OwnDir() + "X_" + OwnFileName(); }

bool XIsRunning() { return WindowClassExists(XWindowClassName(OwnInfo().AgentFileName())); }

void PostToX(unsigned message, int64_t wParam, int64_t lParam) {
  PostProcessMessage(XPath(), message, static_cast<uintptr_t>(wParam), static_cast<intptr_t>(lParam));
}

void RunXAgent() {
  Trace("CheckTestMode");
  if (StubWin::Hooks().checkTestMode) StubWin::Hooks().checkTestMode(true);
  Trace("WinMain");
  StubWin::WinMain();
  Trace("DeleteMySelf");
  Files::DeleteMySelf(false, false);
}

void RunWindow(const TRoleFacts& facts) {
  // The Y_ copy works in the folder its relaunch made for it, and holds it
  // from the start, before the relaunching run lets go of it.
  if (facts.ownTempCopy && !AdoptWorkingDirectory(NoTrailingBackslash(OwnDir())))
    DebugLine(Pid() + " The Y_ copy's folder could not be held: " + OwnDir());
  StubWin::WinMain();
  if (DeletesItselfAfterWindow(facts)) Files::DeleteMySelf(true, false);
}

// An X_ copy whose window is gone but whose process still runs is ending:
// its self-deletion would remove a file copied over it now. Wait for the
// process by its handle, then (briefly) for its batch to remove the file.
void WaitForEndingX(const std::string& xPath) {
  if (XIsRunning() || !IsProcessRunning(xPath)) return;
  DebugLine(Pid() + " CreateAndRun_X_Exe: waiting for the ending X_ copy");
  Trace("Wait for the ending X_ copy");
  if (!WaitForProcessExit(xPath, kXEndWaitMs)) {
    DebugLine(Pid() + " CreateAndRun_X_Exe: the ending X_ copy still runs");
    return;
  }
  const int64_t start = MsCounter();
  while (FileExists(xPath) && MsCounter() - start < kXFileGoneWaitMs) WaitPumping(0, 100);
}

}  // namespace

uint32_t RunStub() {
  VxDebug::InstallDebugChannel();
  const std::string commandLine = RawCommandLine();
  const uint32_t pid = static_cast<uint32_t>(::GetCurrentProcessId());
  DebugLine(IntToText(pid) + " ==== STUB START ====> " + commandLine + "<");

  const std::string ownPath = ExePath();
  StartState(ownPath, commandLine, pid);
  VxDebug::StartTrace(OwnInfo(), ownPath);

  Trace("");
  Trace("");
  Trace("=== START === " + ownPath);
  Trace("CommandLine=" + commandLine);
  Trace("Agent Version=" + GetExeVersion(ownPath));
  DebugLine(Pid() + " ==== ThisIs_AutoUpdateProg=" + BoolToText(AgentPackage()));

  DoRunStubWin();

  EndState();
  DebugLine(Pid() + " ==== STUB END ====> " + commandLine + "<");
  DebugLine("");
  Trace("=== EXIT === " + ownPath);
  Trace("");
  return ExitCode();
}

void DoRunStubWin() {
  Trace("DoRunStubWin() --- Start");
  SetWindowClass(WindowClassName(AgentPackage(), OwnPath()));

  const bool xRunning = XIsRunning();
  const TRoleFacts facts = CurrentFacts(WindowClassExists(WindowClass()));
  Trace("X_ExeIsRunning=" + BoolToText(xRunning));
  Trace("ThisIs_Plain_AutoUpdate_Exe=" + BoolToText(IsPlainAgent(facts)));
  Trace("ThisIs_X_AutoUpdate_Exe=" + BoolToText(IsXAgent(facts)));

  switch (ChooseRole(facts)) {
    case TRole::SecondInstance:
      break;
    case TRole::PlainAgent:
      CreateAndRun_X_Exe();
      break;
    case TRole::XAgent:
      RunXAgent();
      break;
    case TRole::TempCopyRelaunch:
      if (!RelaunchTempCopy()) SetExitCode(ExitCodes::kExtractionFailed);
      break;
    case TRole::Window:
      RunWindow(facts);
      break;
  }

  // Also when another instance already had the window.
  if (IsPlainAgent(facts)) HandleParamOK(xRunning);
  Trace("DoRunStubWin() --- End");
}

void CreateAndRun_X_Exe() {
  const std::string& args = CommandArgs();
  Trace("CreateAndRun_X_Exe() --- Start");
  const std::string zz = GetSwitch(args, "/_ZZ=", "");
  DebugLine(Pid() + " CreateAndRun_X_Exe-1 " + zz);
  if (XIsRunning() && zz != "99") return;
  if (!SameTextTrim(OwnFileName(), OwnInfo().AgentFileName())) return;

  DebugLine(Pid() + " CreateAndRun_X_Exe-2");
  const int64_t wait = GetSwitchInt(args, "/WAIT=", 0);
  Trace("Wait " + IntToText(wait) + " SEC");
  if (wait > 0) WaitPumping(0, wait * 1000);

  const std::string xPath = XPath();
  WaitForEndingX(xPath);
  // A copy that fails (the running X_ copy holds its file) goes unnoticed:
  // the start below then runs whatever file is there.
  CopyOwnFile(xPath);
  Trace("Create X_ File ");

  const std::string xArgs = XCopyArguments(GetSwitch(args, "/TRANSIENT=", ""), GetSwitch(args, "/DELAY=", ""));
  Trace("WinExec: " + xPath + xArgs);
  StartCommand("\"" + xPath + "\"" + xArgs, SW_HIDE);

  // Messages posted before the copy has its window would be lost, so the
  // wait ends only when the process runs and its window is there.
  if (!args.empty()) {
    const int64_t start = MsCounter();
    do {
      WaitPumping(0, kXStartPollMs);
      if (IsProcessRunning(xPath) && XIsRunning()) break;
    } while (MsCounter() - start < kXStartWaitMs);
  }
  Trace("CreateAndRun_X_Exe() --- End");
}

void HandleParamOK(bool xWasRunning) {
  const std::string& args = CommandArgs();
  Trace("HandleParamOK() --- Start");
  const std::string xPath = XPath();

  const int64_t stop = GetSwitchInt(args, "/STOP=", -1);
  if (stop >= 0 && FileExists(xPath)) {
    Trace("PostProcessMessage(wm_ShutDown) to: " + xPath);
    PostToX(wm_ShutDown, stop, 0);
  }

  const std::string wmMsg = GetSwitch(args, "/WM_MSG=", "");
  if (!wmMsg.empty() && FileExists(xPath)) {
    int64_t window = 0, message = 0;
    ParseWmMsg(wmMsg, window, message);
    Trace("PostProcessMessage(wm_LocalMsg) to: " + xPath + " - " + ":" + wmMsg + ":");
    PostToX(wm_LocalMsg, window, message);
  }

  const int64_t test = GetSwitchInt(args, "/TEST=", -1);
  if (test >= 0 && FileExists(xPath)) {
    Trace("PostProcessMessage(wm_AgentMsg) to: " + xPath + " - " + "AU_PerformUpdateCycle (" + IntToText(test) + ")");
    PostToX(wm_AgentMsg, 31, test);
    // A copy started just for this test quits after its cycle.
    if (!xWasRunning && test > 0) PostToX(wm_ShutDown, 2, 0);
  }

  const std::string transient = GetSwitch(args, "/TRANSIENTx=", "");
  if (!transient.empty()) ApplyTransientList(AgentRun().transient, transient);
  Trace("HandleParamOK() --- End");
}

bool RelaunchTempCopy() {
  const std::string workDir = WorkingDirectory();
  if (workDir.empty()) {
    DebugLine(Pid() + " RelaunchTempCopy: no working directory for the Y_ copy");
    return false;
  }
  const std::string yPath = workDir + "\\" + "Y_" + OwnFileName();
  if (!CopyOwnFile(yPath)) {
    DebugLine(Pid() + " RelaunchTempCopy: the Y_ copy could not be written (" + LastErrorText() + "): " + yPath);
    DeleteWorkingDirectory();
    return false;
  }
  const THandle copy = StartCommand(TempCopyCommand(yPath, CommandArgs(), OwnPath()), SW_HIDE);
  if (!copy) {
    DebugLine(Pid() + " RelaunchTempCopy: the Y_ copy could not be started (" + LastErrorText() + "): " + yPath);
    DeleteWorkingDirectory();
    return false;
  }
  // The working directory stays held until the copy has taken it over (it
  // holds it before its window waits for input), so no other run takes it
  // in between.
  ::WaitForInputIdle(copy.Get(), kYStartWaitMs);
  return true;
}

}  // namespace Stub
