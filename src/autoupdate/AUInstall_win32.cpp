// The installation of an accepted release, applying the decisions of
// AUInstall.h: the update run with its questions, the product's shutdown and
// restart, the inform dialog, and the restart of the agent.
#include "autoupdate/AUInstall.h"

#include "autoupdate/AUSettings.h"
#include "autoupdate/Process.h"
#include "autoupdate/StubAU.h"
#include "package/PackX.h"
#include "package/StubSetupWin.h"
#include "paths/Common.h"
#include "stub/StubState.h"
#include "stub/StubWin.h"
#include "stub/VxDebug.h"
#include "ui/StubInformDlg.h"
#include "ui/VxMsgBox.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/PathText.h"
#include "util/SysInfo.h"
#include "util/Utils.h"
#include "util/Win.h"
#include "util/WinUtils.h"

namespace AU {

namespace {

Stub::TAgentRun& Run() { return Stub::AgentRun(); }

void Stage(const char* operation, int stage) {
  Echo(std::string(" ==== ") + operation + "-" + IntToText(stage) + " ====");
}

// Told when the product did not end: s15 asks to close it, or this.
constexpr char kStillRunningText[] = "PROG_NAME is still running: the update was not installed.<P>It will be offered again.";

const char* TrueFalse(bool value) { return value ? "TRUE" : "FALSE"; }

// Puts a question of the installation; true when it may go on.
bool Ask(TAsk ask, int ownerMode, const std::string& text) {
  const TMsgBoxLook look = MsgBoxLook();
  if (ask == TAsk::Notice) MsgWarning(ownerMode, text, look.attention, look.btnText, look.charSet);
  if (ask != TAsk::YesNo) return true;
  return MsgYesNo(ownerMode, text, look.confirm, look.btnText, look.charSet);
}

bool AskBeforeDownload() {
  TDownloadTexts t;
  t.s11 = MessageText("s11");
  t.s12 = MessageText("s12");
  t.s13 = MessageText("s13");
  t.s18 = MessageText("s18");
  t.s19 = MessageText("s19");
  const bool force = RequestConfirmationBeforeDownloadForce();
  const std::string text = DownloadQuestionText(t, RequestConfirmationBeforeInstall(), force, ProgramNameNew());
  const TAsk ask = QuestionKind(RequestConfirmationBeforeDownload(), force, Run().cycleMode);
  const bool proceed = Ask(ask, force ? 2 : 0, text);
  if (ask != TAsk::None) WaitPumping(0, 500);
  return proceed;
}

bool AskBeforeInstall() {
  const bool force = RequestConfirmationBeforeInstallForce();
  const std::string text = InstallQuestionText(MessageText("s14"), MessageText("s20"), force, ProgramNameNew());
  const TAsk ask = QuestionKind(RequestConfirmationBeforeInstall(), force, Run().cycleMode);
  const bool proceed = Ask(ask, force ? 2 : 0, text);
  if (ask != TAsk::None) WaitPumping(0, 100);
  return proceed;
}

// The product's executable: RunningProcess with the installation's folders
// put in for the directory macros.
std::string ProductPath() {
  SetInstallFolders(TargetDir(), SharedDir(), AuxiliaryDir());
  return ExpandMacros(RunningProcess());
}

struct TShutdownOutcome {
  TShutdown method = TShutdown::WaitOnly;
  bool wasRunning = false;
  bool stillRunning = false;
};

TShutdownOutcome ShutDownProduct(const std::string& process) {
  TShutdownOutcome out;
  const std::string methodText = ShutDownMethod();
  const TShutdown method = ShutdownMethodOf(methodText);
  out.method = method;
  out.wasRunning = !process.empty() && IsProcessRunning(process);
  VxDebug::Trace("Shut Down Process() - START  (" + process + ")  Method: " + methodText);
  if (method == TShutdown::AskUser && out.wasRunning) {
    const std::string text = WithProgramName(MessageText("s15"), ProcessFileName(process));
    Echo("s1=" + text + "<");
    const TMsgBoxLook look = MsgBoxLook();
    while (IsProcessRunning(process)) MsgWarning(0, text, look.attention, look.btnText, look.charSet);
  }
  Stage("PerformAutoUpdate", 8);
  if (out.wasRunning) {
    if (method == TShutdown::Close) CloseProcess(process, 0);
    if (method == TShutdown::Quit) QuitProcess(process);
    if (method == TShutdown::Terminate) TerminateProcessByPath(process);
    if (method != TShutdown::None) WaitForProcessEnd(process, static_cast<int>(ShutdownWaitMs(method)));
  }
  out.stillRunning = out.wasRunning && IsProcessRunning(process);
  Stage("PerformAutoUpdate", 9);
  VxDebug::Trace("Shut Down Process() - END");
  return out;
}

// Runs the downloaded update package through the setup's extraction run;
// true when its engine completed.
bool RunUpdatePackage(const std::string& updatePath) {
  Run().phase = kPhaseInstalling;
  NotifyListener(kNotifyUpdateRun, 1);
  Stage("PerformAutoUpdate", 10);
  StubSetup::TExtractionInput in;
  in.workDir = Stub::WorkingDirectory();
  in.packageFile = updatePath;
  in.agentName = Stub::OwnInfo().AgentFileName();
  in.foreground = !BackgroundUpdate();
  in.extraArgs = OriginalInfoFileArgs(InfoFilePath());
  bool ran = false;
  if (in.workDir.empty()) {
    VxDebug::Trace("PerformAutoUpdate: no working directory");
  } else {
    const StubSetup::TExtractionOutcome out = StubSetup::ExtractionRun(in);
    ran = out.completed;
    VxDebug::Trace("Update run: exit code " + IntToText(out.exitCode) + (ran ? ", completed" : ", not completed"));
  }
  Stub::DeleteWorkingDirectory();
  Stage("PerformAutoUpdate", 11);
  NotifyListener(kNotifyUpdateRun, 2);
  return ran;
}

bool PerformAutoUpdateSteps() {
  Stage("PerformAutoUpdate", 4);
  if (DownloadURL_UPDATE().empty() || NameOfUpdateFile().empty()) return false;
  Stage("PerformAutoUpdate", 5);
  if (!AskBeforeDownload()) return false;

  Stage("PerformAutoUpdate", 6);
  Run().phase = kPhaseDownloading;
  NotifyListener(kNotifyFileDownload, 1);
  const bool fetched = DownloadFileAU(DownloadURL_UPDATE(), NameOfUpdateFile(), kKindUpdate).ok;
  NotifyListener(kNotifyFileDownload, 2);
  const std::string updatePath = UpdateFilePath();
  if (!fetched || !AskBeforeInstall()) {
    if (fetched) RemoveFile(updatePath);
    return false;
  }

  Stage("PerformAutoUpdate", 7);
  const std::string process = ProductPath();
  const TShutdownOutcome shutdown = ShutDownProduct(process);
  bool ran = false;
  if (UpdateMayRun(shutdown.method, shutdown.stillRunning)) {
    ran = RunUpdatePackage(updatePath);
  } else {
    // Files of a running program would be replaced under it.
    VxDebug::Trace("PerformAutoUpdate: the product still runs, the update is not started: " + process);
    if (Run().cycleMode == kCycleUserNow || RequestConfirmationBeforeInstall()) {
      const TMsgBoxLook look = MsgBoxLook();
      MsgWarning(0, WithProgramName(MessageText("s15", kStillRunningText), ProcessFileName(process)), look.attention,
                 look.btnText, look.charSet);
    }
  }
  if (ran) WriteVersionOriginal(VersionNew());
  RemoveFile(updatePath);

  const bool restart = RestartsProduct(RestartProcess(), shutdown.wasRunning, shutdown.stillRunning);
  const TFinish finish = FinishMessage(ran, InformFinish(), Run().cycleMode, restart, MessageText("s16"),
                                       MessageText("s17"), ProgramNameNew());
  const bool answer = Ask(finish.ask, 1, finish.text);
  Stage("PerformAutoUpdate", 12);
  Echo(std::string(" ") + TrueFalse(restart) + " " + TrueFalse(answer) + " >" + process + "<");
  if (ran && restart && answer) StartCommand("\"" + process + "\"", SW_SHOWNORMAL);
  return ran;
}

}  // namespace

bool PerformAutoUpdate() {
  VxDebug::Trace("PerformAutoUpdate() - START");
  const bool ran = PerformAutoUpdateSteps();
  Stage("PerformAutoUpdate", 13);
  VxDebug::Trace(std::string("PerformAutoUpdate() - END    Result=") + TrueFalse(ran));
  return ran;
}

bool PerformAutoInform() {
  VxDebug::Trace("PerformAutoInform() - START ");
  Stage("PerformAutoInform", 1);
  bool result = false;
  if (!DownloadURL_UPDATE().empty() && !NameOfInformFile().empty()) {
    Stage("PerformAutoInform", 2);
    Run().phase = kPhaseDownloading;
    NotifyListener(kNotifyFileDownload, 1);
    result = DownloadFileAU(DownloadURL_UPDATE(), NameOfInformFile(), kKindInform).ok;
    NotifyListener(kNotifyFileDownload, 2);
  }
  if (result) {
    Stage("PerformAutoInform", 3);
    const TInformText inform = ReadInformFile(InformFilePath());
    const TMsgBoxLook look = MsgBoxLook();
    const bool rightToLeft = look.charSet == MsgBox::kCharsetHebrew || look.charSet == MsgBox::kCharsetArabic;
    result = ShowInformDialog(reinterpret_cast<intptr_t>(StubWin::MainWindow()), MessageText("s34"),
                              MessageText("s35"), look.charSet, look.fontSize, look.fontName, rightToLeft,
                              static_cast<int>(AutoInformH()), static_cast<int>(AutoInformW()),
                              DownloadURL_INFORM(), inform.text);
    if (result) WriteVersionOriginal(VersionNew());
    Stage("PerformAutoInform", 4);
  }
  VxDebug::Trace(std::string("PerformAutoInform() - END ") + TrueFalse(result));
  return result;
}

void ReStartAutoUpdateExe() {
  VxDebug::Trace(".. ReStartAutoUpdateExe() - Start");
  if (RestartsAgent(Run().stopCountdown)) {
    const std::string command = AgentRestartCommand(Stub::OwnDir(), FileNamePart(Stub::OwnInfo().AgentFileName()),
                                                    TransientOptionList(Run().transient));
    VxDebug::Trace(".. WinExec - " + command);
    StartCommand(command, SW_HIDE);
    WaitPumping(0, 1000);
    VxDebug::Trace(".. PostMessage(WM_DESTROY)");
    if (HWND window = StubWin::MainWindow()) ::PostMessageA(window, WM_DESTROY, 0, 0);
  }
  VxDebug::Trace(".. ReStartAutoUpdateExe() - End");
}

void InstallRelease(bool autoInform) {
  TraceAcceptedRelease(autoInform);
  if (autoInform) {
    PerformAutoInform();
  } else if (PerformAutoUpdate()) {
    ReStartAutoUpdateExe();
  }
}

}  // namespace AU
