// The setup run of the stub window (extraction mode). Every wait pumps the
// window's messages, so the window stays responsive while the engine runs.
//
// Choices of our own:
//  - The stub's exit code tells what happened when the engine did not run
//    (ExitCodes.h); once the engine ran, its exit code is kept.
//  - A damaged compressed entry (EZLibError) is reported like a bad checksum.
//  - Download mode is not built yet: such a package shows nothing and ends.
//  - A working directory that neither the temp folder nor an alternative
//    drive can hold ends the run before any question or extraction.
//  - A file that could not be written keeps the engine from starting (after
//    the one error box of the unpacker): the run ends with kExtractionFailed.
//  - Failures that end the run without an engine go to the debug output as
//    well as to the trace log, so that they can be seen outside agent runs.
#include "package/StubSetupWin.h"

#include "package/PackX.h"
#include "package/StubSetup.h"
#include "package/UnPack.h"
#include "package/ZLibOpen.h"
#include "stub/ExitCodes.h"
#include "stub/QuietRun.h"
#include "stub/StubState.h"
#include "stub/StubWin.h"
#include "stub/VxDebug.h"
#include "ui/VxMsgBox.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/Settings.h"
#include "util/Switches.h"
#include "util/SysInfo.h"
#include "util/SysText.h"
#include "util/Utils.h"
#include "util/Win.h"
#include "util/WinUtils.h"

namespace StubSetup {

namespace {

constexpr DWORD kStillActive = 259;
constexpr int kEngineStartAttempts = 3;
const char* const kForcePromptKey = "HKEY_CURRENT_USER\\Software\\Meridane\\Varnel\\SpanDisk";
const char* const kDefaultButtons = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";

void DebugLine(const std::string& text) { VxDebug::DebugLine(text); }
void Trace(const std::string& text) { VxDebug::Trace(text); }
void Report(const std::string& text) {
  DebugLine(IntToText(Stub::ProcessId()) + " " + text);
  Trace(text);
}

// Message boxes, waits and the CD drive for the unpacker; remembers whether
// the user refused a disk prompt.
class TStubUnpackHost : public IUnpackHost {
 public:
  void ShowError(const std::string& text) override { MsgError(0, text); }
  bool AskOkCancel(const std::string& text, const std::string& caption, const std::string& buttons,
                   int charset) override {
    const bool ok = MsgOkCancel(0, text, caption, buttons, charset);
    if (!ok) cancelled_ = true;
    return ok;
  }
  void Pump() override { YieldX(0); }
  void Wait(int ms) override { WaitPumping(0, ms); }
  bool EjectCD(const std::string& path) override { return Files::EjectCD(path); }
  void AllowAutoPlayCancel() override { SetAutoPlayCancel(true); }

  bool Cancelled() const { return cancelled_; }

 private:
  bool cancelled_ = false;
};

// Root of the fixed drive (C, D or E) with the most room in its TEMP folder,
// when that drive is not the one of tempDir; empty otherwise. Chosen once.
// The root is "X:\TEMP", or "X:\TEMP\TEMP" when X:\TEMP exists, so that an
// existing TEMP folder is never the one created and deleted.
std::string FindAlternativeRoot(const std::string& tempDir) {
  static bool chosen = false;
  static std::string root;
  if (chosen) return root;
  chosen = true;
  char winner = 0;
  double best = -1;
  for (char letter : {'C', 'D', 'E'}) {
    if (Files::platform::DriveType(letter) != Files::kDriveFixed) continue;
    std::string dir = std::string(1, letter) + ":\\TEMP";
    if (DirExists(dir)) dir += "\\TEMP" + RandomRangeText(10000, 100000);
    Files::CreateDirTree(dir);
    Files::WriteFile(dir + "\\~aa.tmp", "aa");
    if (FileExists(dir + "\\~aa.tmp")) {
      const double free = Files::DiskFreeBytes(dir);
      if (free > best) {
        best = free;
        winner = letter;
      }
    }
    Files::DeleteTree(dir);
  }
  if (winner == 0 || (!tempDir.empty() && UpperCase(tempDir.substr(0, 1))[0] == winner)) return root;
  root = std::string(1, winner) + ":\\TEMP";
  if (DirExists(root)) root += "\\TEMP";
  return root;
}

std::string MakeAlternativeDir(const std::string& root) {
  const std::string dir = root + "_" + RandomRangeText(10000, 100000);
  Files::DeleteTree(dir);
  Files::CreateDirTree(dir);
  return dir;
}

bool AskTempSpace(const TGFileInfo& info, const std::string& workDir, double required, double available) {
  TSpaceQuestionInput q;
  q.tempDriveNotice = info.TempDriveNotice();
  q.required = required;
  q.available = available;
  q.drive = UpperCase(workDir.substr(0, 1)) + ":";
  q.s2 = info.LangText("s2", "Varnel will extract files to your Temp Drive (<DRIVE>)<P>");
  q.s3 = info.LangText("s3", "Limited Free Space on your Temp Drive! (<DRIVE>)<P>");
  q.s4 = info.LangText("s4", "<P>Estimated space required on your Temp drive is: <T>  <SPACE_REQ> MB<P>");
  q.s5 = info.LangText("s5", "Free space available on your Temp drive is: <T>  <SPACE_AVAIL> MB<P>");
  q.s6 = info.LangText("s6", "<P>Continue with Setup?<P>");
  const std::string text = SpaceQuestionText(q);
  if (text.empty()) return true;
  return MsgOkCancel(0, text, info.LangText("Confirm", "Confirm"), info.LangText("BtnText", kDefaultButtons),
                     info.Charset());
}

bool ForcePrompt() { return ReadRegString(kForcePromptKey, "ForcePrompt", "") == "1"; }

struct TShortcutLinks {
  std::string startUp, checkForUpdate;
};

TShortcutLinks ReadShortcutLinks() {
  const std::string original = Stub::OwnDir() + Stub::OwnInfo().OriginalFileName();
  return {ReadIniString(original, "UnInstall", "StartUpLink", ""),
          ReadIniString(original, "UnInstall", "CheckforNewUpdateLink", "")};
}

void RemoveShortcuts(const TShortcutLinks& links) {
  const std::string info = Stub::OwnDir() + Stub::OwnInfo().InfoFileName();
  if (ReadIniString(info, "NewSetup", "RemoveStartUpShortcut", "") == "1" && !links.startUp.empty() &&
      FileExists(links.startUp))
    ::DeleteFileA(links.startUp.c_str());
  if (ReadIniString(info, "NewSetup", "RemoveCheckForNewUpdateShortcut", "") == "1" &&
      !links.checkForUpdate.empty() && FileExists(links.checkForUpdate))
    ::DeleteFileA(links.checkForUpdate.c_str());
}

void HideMainWindow() {
  if (HWND main = StubWin::MainWindow()) ::ShowWindow(main, SW_HIDE);
}

// Starts command and waits for the engine and its dialog window.
void StartAndWait(const std::string& command, const std::string& token, bool foreground, TExtractionOutcome& out) {
  const TShortcutLinks links = ReadShortcutLinks();
  const std::string atomName = CompletionAtomName(token);
  ::GlobalAddAtomA(atomName.c_str());

  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = foreground ? SW_SHOWNORMAL : SW_HIDE;
  PROCESS_INFORMATION process{};
  // A freshly written program can be held for a moment (a virus scanner,
  // the system still closing the file): a failed start is tried again.
  bool started = false;
  for (int attempt = 1; attempt <= kEngineStartAttempts && !started; ++attempt) {
    std::string line = command;
    started =
        ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process) != 0;
    if (!started) {
      Report("Engine could not be started (attempt " + IntToText(attempt) + "): " + LastErrorText());
      if (attempt < kEngineStartAttempts) WaitPumping(0, 500);
    }
  }
  THandle processHandle(started ? process.hProcess : nullptr), threadHandle(started ? process.hThread : nullptr);

  HideMainWindow();
  WaitPumping(0, 1000);
  DWORD code = 0;
  if (started) {
    while (::GetExitCodeProcess(process.hProcess, &code) && code == kStillActive) WaitPumping(0, 500);
    out.engineStarted = true;
    out.exitCode = code;
  } else {
    out.exitCode = ExitCodes::kEngineNotStarted;
  }

  const std::string dialogClass = EngineDialogClass(token);
  while (::FindWindowA(dialogClass.c_str(), nullptr)) WaitPumping(0, 100);
  WaitPumping(0, 1000);

  const ATOM atom = ::GlobalFindAtomA(atomName.c_str());
  out.completed = started && atom == 0;
  if (atom != 0) ::GlobalDeleteAtom(atom);
  if (out.completed) RemoveShortcuts(links);
}

}  // namespace

TExtractionOutcome ExtractionRun(const TExtractionInput& in) {
  TExtractionOutcome out;
  const TGFileInfo info(in.packageFile);
  if (info.ShowActivityBar()) StubWin::ShowActivityBar(true);
  StubWin::SetTextLine(info.LangText("s1", "Extracting Files..."), info.FontName(), info.FontSize(), info.Charset());

  std::string workDir = in.workDir;
  std::string alternativeDir;
  const double required = info.SpaceRequired(workDir);
  double available = Files::DiskFreeBytes(workDir);
  if (required >= available || !DirExists(workDir)) {
    const std::string root = FindAlternativeRoot(TempDir(true));
    if (!root.empty()) {
      alternativeDir = MakeAlternativeDir(root);
      workDir = alternativeDir;
      Stub::SetWorkingDirectory(workDir);
      available = Files::DiskFreeBytes(workDir);
    }
  }
  if (!DirExists(workDir)) {
    Report("Working directory could not be created: " + workDir);
    out.exitCode = ExitCodes::kExtractionFailed;
    return out;
  }
  DebugLine(std::string("========= ForegroundOp=") + (in.foreground ? "TRUE" : "FALSE") + " ==========");

  const std::string buttons = info.LangText("BtnText", kDefaultButtons);
  if (in.foreground && !AskTempSpace(info, workDir, required, available)) {
    out.exitCode = ExitCodes::kCancelled;
  } else {
    TUnpackRequest request;
    request.setupFile = in.packageFile;
    request.destination = workDir;
    request.agentName = in.agentName;
    request.progress = [](int kind, int64_t count) { StubWin::UnpackProgress(kind, count); };
    request.diskPrompt = info.LangText("s8", request.diskPrompt);
    request.caption = info.LangText("Attention", "Attention");
    request.buttons = buttons;
    request.charset = info.Charset();
    request.forcePrompt = ForcePrompt();
    if (in.foreground && StubWin::MainWindow()) ::ShowWindow(StubWin::MainWindow(), SW_SHOW);
    WaitPumping(0, 1000);

    TStubUnpackHost host;
    const int64_t failedBefore = UnpackFailedWrites();
    TUnpackResult result;
    try {
      result = UnpackPackage(request, host);
    } catch (const EZLibError& e) {
      Trace(std::string("Damaged package: ") + e.what());
      result = TUnpackResult{};
    }
    const bool writesFailed = UnpackFailedWrites() != failedBefore || !DirExists(workDir);
    WaitPumping(0, 1000);

    // An engine started beside a file that could not be written whole would
    // install a damaged product: a failed write ends the run instead.
    if (!result.engineEntry.empty() && result.ok && !writesFailed) {
      TEngineCommandInput cmd;
      cmd.engineText = result.engineEntry;
      cmd.workDir = workDir;
      cmd.extraArgs = in.extraArgs;
      cmd.engineToken = EngineToken(static_cast<uint32_t>(::GetCurrentThreadId()));
      cmd.ownPath = Stub::OwnPath();
      cmd.agentPackage = Stub::AgentPackage();
      const std::string command = EngineCommandLine(cmd);
      DebugLine(IntToText(Stub::ProcessId()) + " ==== WinExec(Engine.exe) >>" + command + "<<");
      StartAndWait(command, cmd.engineToken, in.foreground, out);
    } else if (!result.ok) {
      MsgError(0, info.LangText("s7", "Bad CRC!<P>This indicates that your setup file might be corrupted..."),
               info.LangText("Error", "Error"), buttons, info.Charset());
      out.exitCode = ExitCodes::kDamagedPackage;
    } else if (host.Cancelled()) {
      out.exitCode = ExitCodes::kCancelled;
    } else if (writesFailed) {
      Report("Extraction failed: a file could not be written; the engine is not started");
      out.exitCode = ExitCodes::kExtractionFailed;
    } else {
      out.exitCode = ExitCodes::kEngineNotStarted;
    }
  }

  if (!alternativeDir.empty()) Files::DeleteTree(alternativeDir);
  return out;
}

void SetupTimerEntry() {
  if (HWND main = StubWin::MainWindow()) ::KillTimer(main, 1);
  const TGFileInfo& own = Stub::OwnInfo();
  const std::string& args = Stub::CommandArgs();
  const std::string firstWorkDir = Stub::WorkingDirectory();

  if (own.DownloadSetup()) {
    Trace("download mode comes with the HTTP downloader");
    Stub::SetExitCode(ExitCodes::kDownloadFailed);
  } else {
    TExtractionInput in;
    in.workDir = firstWorkDir;
    in.packageFile = GetSwitch(args, "/SpanDiskFName1=", "");
    if (in.packageFile.empty()) in.packageFile = Stub::OwnPath();
    in.agentName = own.CarriesAgent() ? own.AgentFileName() : "";
    in.foreground = !(QuietRun::HiddenRun(args) || own.BackgroundSetup());
    in.extraArgs = args;
    const TExtractionOutcome out = ExtractionRun(in);
    Stub::SetExitCode(out.exitCode);
  }

  Stub::DeleteWorkingDirectory();
  if (Stub::WorkingDirectory() != firstWorkDir) Files::DeleteTree(firstWorkDir);
  ::PostQuitMessage(0);
}

void InstallSetupHook() { StubWin::Hooks().setupTimerEntry = SetupTimerEntry; }

}  // namespace StubSetup
