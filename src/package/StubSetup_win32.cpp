// The setup run of the stub window (extraction mode; download mode is
// DownloadRun_win32.cpp). Every wait pumps the
// window's messages, so the window stays responsive while the engine runs.
//
// Choices of our own:
//  - The stub's exit code tells what happened when the engine did not run
//    (ExitCodes.h); once the engine ran, its exit code is kept.
//  - A damaged compressed entry (EZLibError), a failed allocation and a setup
//    file with no package trailer are reported like a bad checksum.
//  - A working directory that neither the temp folder nor an alternative
//    drive can hold ends the run before any question or extraction.
//  - A file that could not be written keeps the engine from starting (after
//    the one error box of the unpacker): the run ends with kExtractionFailed.
//  - Failures that end the run without an engine go to the debug output as
//    well as to the trace log, so that they can be seen outside agent runs.
//  - The engine's full path is the application name of its process start;
//    its end is seen on the process handle, whatever its exit code.
//  - A run whose completion atom could not be added never counts as
//    completed, and shortcut removal deletes shortcut files only.
#include "package/StubSetupWin.h"

#include "net/InetHTTP.h"
#include "package/DownloadRunWin.h"
#include "package/PackX.h"
#include "package/StubSetup.h"
#include "package/UnPack.h"
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

constexpr int kEngineStartAttempts = 3;
const char* const kForcePromptKey = "HKEY_CURRENT_USER\\Software\\Meridane\\Varnel\\SpanDisk";
const char* const kDefaultButtons = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";

void DebugLine(const std::string& text) { VxDebug::DebugLine(text); }
void Trace(const std::string& text) { VxDebug::Trace(text); }
void Report(const std::string& text) {
  DebugLine(IntToText(Stub::ProcessId()) + " " + text);
  Trace(text);
}

// Message boxes, waits, pumps, progress and the CD drive for the unpacker;
// remembers whether the user refused a disk prompt.
class TStubUnpackHost : public IUnpackHost {
 public:
  void ShowError(const std::string& text) override {
    ShowSteps();
    MsgError(0, text);
  }
  bool AskOkCancel(const std::string& text, const std::string& caption, const std::string& buttons,
                   int charset) override {
    ShowSteps();
    const bool ok = MsgOkCancel(0, text, caption, buttons, charset);
    if (!ok) cancelled_ = true;
    return ok;
  }
  // The unpacker asks for a pump after every piece it reads; a look at the
  // message queue costs a call into the system each time, so the queue is
  // looked at once per interval, often enough for a window that answers.
  void Pump() override {
    const int64_t now = MsCounter();
    if (now - lastPump_ < kPumpIntervalMs) return;
    lastPump_ = now;
    ShowSteps();
    YieldX(0);
  }
  void Wait(int ms) override {
    ShowSteps();
    WaitPumping(0, ms);
  }
  bool EjectCD(const std::string& path) override { return Files::EjectCD(path); }
  void AllowAutoPlayCancel() override { SetAutoPlayCancel(true); }

  bool Cancelled() const { return cancelled_; }

  // The unpacker's progress. Its steps come once a file and each would
  // redraw both bars: they are gathered and shown when the window is next
  // pumped, before a box and at the end.
  void Progress(int kind, int64_t count) {
    if (kind == 1) {
      ++pendingSteps_;
      return;
    }
    ShowSteps();
    StubWin::UnpackProgress(kind, count);
  }
  void ShowSteps() {
    if (pendingSteps_ == 0) return;
    StubWin::ProgressSteps(pendingSteps_);
    pendingSteps_ = 0;
  }

 private:
  static constexpr int64_t kPumpIntervalMs = 15;
  bool cancelled_ = false;
  int64_t lastPump_ = -kPumpIntervalMs;  // the first pump always looks
  int pendingSteps_ = 0;
};

// Tries per drive for a probe folder, and for the alternative temp folder.
constexpr int kFreshNameTries = 8;

// A folder of this process at root (when root does not exist) or at
// root + "\TEMP" + a random number: created fresh, never one that was there.
std::string MakeProbeDir(const std::string& root) {
  if (!DirExists(root)) return ::CreateDirectoryA(root.c_str(), nullptr) ? root : std::string();
  for (int i = 0; i < kFreshNameTries; ++i) {
    const std::string dir = root + "\\TEMP" + RandomRangeText(10000, 100000);
    if (::CreateDirectoryA(dir.c_str(), nullptr)) return dir;
  }
  return {};
}

// Root of the fixed drive (C, D or E) with the most room in its TEMP folder,
// when that drive is not the one of tempDir; empty otherwise. Chosen once.
// The root is "X:\TEMP", or "X:\TEMP\TEMP" when X:\TEMP exists, so that an
// existing TEMP folder is never the one created and deleted. The probe goes
// into a folder that this process has just created, so that only our own
// folder is written to and deleted.
std::string FindAlternativeRoot(const std::string& tempDir) {
  static bool chosen = false;
  static std::string root;
  if (chosen) return root;
  chosen = true;
  char winner = 0;
  double best = -1;
  for (char letter : {'C', 'D', 'E'}) {
    if (Files::platform::DriveType(letter) != Files::kDriveFixed) continue;
    const std::string dir = MakeProbeDir(std::string(1, letter) + ":\\TEMP");
    if (dir.empty()) continue;
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

// root + "_" + a random number, claimed as the working directory (emptied
// unless another run holds it, created anew by this process, held); another
// number when a name cannot be claimed. Empty when none could be.
std::string MakeAlternativeDir(const std::string& root) {
  for (int i = 0; i < kFreshNameTries; ++i) {
    const std::string dir = root + "_" + RandomRangeText(10000, 100000);
    if (Stub::ClaimWorkingDirectory(dir)) return dir;
  }
  return {};
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

// The settings files lie beside the setup, where anyone may put one (a
// Downloads folder): only shortcut files are deleted, never other files or
// folders, and a refusal is traced.
void RemoveShortcut(const std::string& path) {
  if (path.empty()) return;
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;  // gone already
  if (!IsRemovableShortcut(path) || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    Report("Shortcut removal refused, not a shortcut file: " + path);
    return;
  }
  ::DeleteFileA(path.c_str());
}

void RemoveShortcuts(const TShortcutLinks& links) {
  const std::string info = Stub::OwnDir() + Stub::OwnInfo().InfoFileName();
  if (ReadIniString(info, "NewSetup", "RemoveStartUpShortcut", "") == "1") RemoveShortcut(links.startUp);
  if (ReadIniString(info, "NewSetup", "RemoveCheckForNewUpdateShortcut", "") == "1")
    RemoveShortcut(links.checkForUpdate);
}

// Adds the completion atom; an atom of the same name is a left-over of an
// earlier run that was killed (the name holds a thread id, and no live thread
// shares it), so it is deleted first, with all its references. 0 when the
// atom could not be added (a full atom table).
ATOM AddCompletionAtom(const std::string& name) {
  for (int references = 0; references < 0x10000; ++references) {
    const ATOM old = ::GlobalFindAtomA(name.c_str());
    if (old == 0) break;
    ::GlobalDeleteAtom(old);
  }
  const ATOM atom = ::GlobalAddAtomA(name.c_str());
  if (atom == 0) Report("Completion atom could not be added (" + LastErrorText() + "); the run cannot complete");
  return atom;
}

void HideMainWindow() {
  if (HWND main = StubWin::MainWindow()) ::ShowWindow(main, SW_HIDE);
}

// Starts command and waits for the engine and its dialog window.
void StartAndWait(const std::string& enginePath, const std::string& command, const std::string& token, bool foreground,
                  TExtractionOutcome& out) {
  const TShortcutLinks links = ReadShortcutLinks();
  const std::string atomName = CompletionAtomName(token);
  const bool atomAdded = AddCompletionAtom(atomName) != 0;

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
    started = ::CreateProcessA(enginePath.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process) != 0;
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
    // The process handle tells when the engine has ended: an exit code can
    // read as still active (259) after the end.
    while (::WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) WaitPumping(0, 500);
    ::GetExitCodeProcess(process.hProcess, &code);
    out.engineStarted = true;
    out.exitCode = code;
  } else {
    out.exitCode = ExitCodes::kEngineNotStarted;
  }

  const std::string dialogClass = EngineDialogClass(token);
  while (::FindWindowA(dialogClass.c_str(), nullptr)) WaitPumping(0, 100);
  WaitPumping(0, 1000);

  const ATOM atom = ::GlobalFindAtomA(atomName.c_str());
  out.completed = EngineCompleted(started, atomAdded, atom != 0);
  if (atom != 0) ::GlobalDeleteAtom(atom);
  if (out.completed) RemoveShortcuts(links);
}

}  // namespace

TExtractionOutcome ExtractionRun(const TExtractionInput& in) {
  TExtractionOutcome out;
  const TGFileInfo info(in.packageFile);
  if (info.ShowActivityBar()) StubWin::ShowActivityBar(true);
  StubWin::SetTextLine(info.LangText("s1", "Extracting Files..."), info.FontName(), info.FontSize(), info.Charset());

  // The working directory comes claimed (empty when the temp folder gave
  // none); an alternative folder is claimed here.
  std::string workDir = in.workDir;
  std::string alternativeDir;
  double required = workDir.empty() ? 0 : info.SpaceRequired(workDir);
  double available = workDir.empty() ? 0 : Files::DiskFreeBytes(workDir);
  if (workDir.empty() || required >= available || !DirExists(workDir)) {
    const std::string root = FindAlternativeRoot(TempDir(true));
    if (!root.empty()) alternativeDir = MakeAlternativeDir(root);
    if (!alternativeDir.empty()) {
      if (workDir.empty()) required = info.SpaceRequired(alternativeDir);
      workDir = alternativeDir;
      available = Files::DiskFreeBytes(workDir);
    }
  }
  if (workDir.empty() || !DirExists(workDir)) {
    Report("Working directory could not be created anew, the run ends (its names are in use by other runs or "
           "cannot be emptied, and no other drive gave one)" + (workDir.empty() ? "" : ": " + workDir));
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
    TStubUnpackHost host;
    request.progress = [&host](int kind, int64_t count) { host.Progress(kind, count); };
    request.diskPrompt = info.LangText("s8", request.diskPrompt);
    request.caption = info.LangText("Attention", "Attention");
    request.buttons = buttons;
    request.charset = info.Charset();
    request.forcePrompt = ForcePrompt();
    if (in.foreground && StubWin::MainWindow()) ::ShowWindow(StubWin::MainWindow(), SW_SHOW);
    WaitPumping(0, 1000);

    const int64_t failedBefore = UnpackFailedWrites();
    // A damaged entry or a failed allocation: reported like a bad checksum.
    std::string failure;
    const TUnpackResult result = UnpackPackageGuarded(request, host, &failure);
    // A run that ends on a damaged entry skips the unpacker's closing wait.
    host.ShowSteps();
    if (!failure.empty()) DebugLine(IntToText(Stub::ProcessId()) + " " + failure);
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
      StartAndWait(EnginePath(workDir, cmd.engineText), command, cmd.engineToken, in.foreground, out);
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
    Stub::SetExitCode(DownloadRun::DownloadMode(firstWorkDir, args));
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

  // Every folder the run claimed (the temp one and an alternative one).
  Stub::DeleteWorkingDirectory();
  ::PostQuitMessage(0);
}

void InstallSetupHook() {
  StubWin::Hooks().setupTimerEntry = SetupTimerEntry;
  StubWin::Hooks().releaseInternet = FreeInetLibrary;
}

}  // namespace StubSetup
