// The update cycle of the X_ agent, applying the decisions of UpdateCycle.h.
#include "autoupdate/StubAU.h"

#include <algorithm>

#include "autoupdate/AUSettings.h"
#include "net/CommUtils.h"
#include "net/HttpDecisions.h"
#include "net/InetHTTP.h"
#include "net/SignedFetch.h"
#include "package/PackX.h"
#include "package/Signature.h"
#include "stub/StubState.h"
#include "stub/StubWin.h"
#include "stub/VxDebug.h"
#include "ui/VxMsgBox.h"
#include "ui/VxProgBar.h"
#include "util/FileIO.h"
#include "util/Guarded.h"
#include "util/Files.h"
#include "util/PathText.h"
#include "util/SysInfo.h"
#include "util/SysText.h"
#include "util/Utils.h"

namespace AU {

namespace {

TAcceptedRelease g_accepted = nullptr;

Stub::TAgentRun& Run() { return Stub::AgentRun(); }

std::string TrueFalse(bool value) { return value ? "TRUE" : "FALSE"; }

void ShowAgentWindow(bool show) {
  HWND window = StubWin::MainWindow();
  if (window) ::ShowWindow(window, show ? SW_SHOW : SW_HIDE);
}

// Ten steps of 300 ms on the bar while a local file "downloads".
void PlayProgressBar() {
  StubWin::ProgressStart(10, 1, 0);
  for (int i = 0; i < 10; ++i) {
    StubWin::ProgressStep();
    WaitPumping(0, 300);
  }
  StubWin::ProgressStart(0, 1, 0);
}

void SetStatusLabel(int kind, const TMsgBoxLook& look) {
  StubWin::SetTextLine(MessageText(StatusLabelKey(kind), StatusLabelDefault(kind)), look.fontName, look.fontSize,
                       look.charSet);
}

bool SamePath(const std::string& a, const std::string& b) { return SameText(CollapseBackslashes(a), CollapseBackslashes(b)); }

struct TFetch {
  std::string error;
  std::string data;  // kind 1 only
};

// A local or network file. The INFO file comes into memory (within the
// memory cap of HTTP answers); an update or inform file is copied to target.
TFetch FetchLocal(const std::string& source, const std::string& target, int kind, bool showWindow) {
  TFetch fetch;
  const int64_t size = Files::FileSizeByName(source);
  if (kind == kKindInfo) {
    if (size > http::kMemoryCap)
      fetch.error = http::MemoryCapText(FileNamePart(source));
    else
      fetch.data = Files::ReadFilePart(source);
    return fetch;
  }
  if (size > 0 && !SamePath(source, target) && !CopyFileReplacing(source, target))
    fetch.error = http::WriteErrorText(FileNamePart(source), target);
  if (showWindow) PlayProgressBar();
  return fetch;
}

TFetch FetchHttp(const std::string& url, const std::string& target) {
  WaitPumping(0, 500);
  Stub::SetDownloadAbort(false);
  const uintptr_t window =
      Run().cycleMode == kCycleUserNow ? reinterpret_cast<uintptr_t>(StubWin::MainWindow()) : 0;
  TProgBar& bar = SharedProgBar(StubWin::WindowProgBarSink());
  const TInetDownload download = HTTP_DownloadFile_Incremental(window, url, target, &bar);
  WaitPumping(0, 500);
  return {download.error, download.data};
}

// The token of a fetched update (a package) or inform file, as stored.
std::string FetchedToken(const std::string& target, int kind) {
  if (kind == kKindUpdate) return TGFileInfo(target).SecretToken(false);
  return ReadInformFile(target).storedToken;
}

// A fetched update or inform file that may not be used is deleted unread
// or unrun, and the user is told why.
void Refuse(TDownloadResult& result, const std::string& target, const std::string& message, const TMsgBoxLook& look) {
  result.ok = false;
  result.error = message;
  RemoveFile(target);
  VxDebug::Trace("ERROR: " + result.error);
  MsgError(0, result.error, look.error, look.btnText, look.charSet);
}

// The signature comes first: an unsigned file is not even read for its token.
void CheckFetched(TDownloadResult& result, const std::string& target, int kind, bool http, const TMsgBoxLook& look) {
  const std::string reason = SignedFetch::CheckFile(target, result.source, http, Stub::OwnInfo().UpdateKey());
  if (!reason.empty()) {
    Refuse(result, target, Signature::RefusalText(result.source, reason), look);
    return;
  }
  const std::string own = Stub::OwnInfo().SecretToken(false);
  if (TokensMatch(own, FetchedToken(target, kind))) return;
  Refuse(result, target, ErrorPageMessage(target, "", result.source, false, kBadSecretToken), look);
}

void NoticeFetchFailure(TDownloadResult& result, bool confirm, const TMsgBoxLook& look) {
  if (!ShowsFetchFailure(result.error, result.source, confirm)) return;
  const bool aborted = Stub::DownloadAbort() || (ExistingProgBar() && ExistingProgBar()->Cancelled());
  result.error = FetchFailureText(aborted, result.source, MessageText("s3"), MessageText("s4"), MessageText("s5"));
  VxDebug::Trace("ATTENTION: " + result.error);
  MsgWarning(0, result.error, look.attention, look.btnText, look.charSet);
}

void FinishInfo(TDownloadResult& result, const TFetch& fetch, const std::string& target, bool http) {
  const std::string page = fetch.error.empty() && !fetch.data.empty()
                               ? ErrorPageMessage("", fetch.data, result.source, false, "")
                               : std::string();
  const TInfoOutcome outcome = InfoDownloadOutcome(fetch.error, fetch.data.empty(), page);
  result.ok = outcome.ok;
  result.error = outcome.error;
  const std::string key = Stub::OwnInfo().UpdateKey();
  if (Signature::Required(key)) {
    // Only a verified answer replaces the INFO file: a refused one leaves the
    // last good file, and the probe fails on the download's outcome.
    const std::string reason = result.ok ? SignedFetch::CheckData(fetch.data, result.source, http, key) : "";
    if (!reason.empty()) {
      result.ok = false;
      result.error = Signature::RefusalText(result.source, reason);
    }
    if (!result.ok) return;
  }
  // The answer is kept, error page included; a file that cannot take it
  // would leave an older INFO file to be read as this probe's.
  if (!Files::WriteFile(target, fetch.data)) {
    result.ok = false;
    VxDebug::Trace("DownloadFileAU: the INFO file could not be written: " + target);
  }
}

}  // namespace

void Echo(const std::string& text) { VxDebug::DebugLine(IntToText(Stub::ProcessId()) + text); }

// --- Notifications and the installation seam ---------------------------------------

void NotifyListener(int code, int value) {
  if (!Stub::HasListener()) return;
  ::PostMessageA(reinterpret_cast<HWND>(Stub::ListenerWindow()), Stub::ListenerMessage(), static_cast<WPARAM>(code),
                 static_cast<LPARAM>(value));
}

void SetAcceptedReleaseHandler(TAcceptedRelease handler) { g_accepted = handler; }

void TraceAcceptedRelease(bool autoInform) {
  const std::string text = "Release accepted: VersionNew=" + IntToText(VersionNew()) +
                           " Stamp=" + IntToText(StampNew()) + " AutoInform=" + (autoInform ? "1" : "0");
  Echo(" " + text);
  VxDebug::Trace(text);
}

// --- DownloadFileAU --------------------------------------------------------------

TDownloadResult DownloadFileAU(const std::string& folderIn, const std::string& nameIn, int kind) {
  TDownloadResult result;
  Stub::TAgentRun& run = Run();
  const std::string name = FileNamePart(nameIn);
  const std::string folder = run.testMode ? run.testUrl : folderIn;
  result.source = folder + "\\" + name;
  Echo(" DownloadFileAU: " + result.source);
  VxDebug::Trace("TestMode=" + TrueFalse(run.testMode));
  VxDebug::Trace("Download START: " + result.source);
  const std::string target = kind == kKindInfo ? InfoFilePath() : AgentFilePath(Place().folder, name);
  if (!IsSafeFileName(name) || target.empty()) {
    VxDebug::Trace("Download END:   " + result.source + " (no usable file name)");
    return result;
  }

  const TMsgBoxLook look = MsgBoxLook();
  const bool confirm = RequestConfirmationBeforeDownload();
  const bool showWindow = ShowsDownloadWindow(kind, confirm, run.cycleMode);
  if (showWindow) ShowAgentWindow(true);
  SetStatusLabel(kind, look);

  // An update or inform file left by an earlier attempt must never pass for
  // this one's: only what arrives now reaches the token check.
  TFetch fetch;
  bool http = false;
  if (kind != kKindInfo && !SamePath(result.source, target) && FileExists(target) && !RemoveFile(target)) {
    fetch.error = http::WriteErrorText(name, target);
  } else if (FileExists(result.source)) {
    fetch = FetchLocal(result.source, target, kind, showWindow);
  } else if (!run.testMode && !IsLocalSource(folder) && InternetConnected()) {
    // A drive or network folder that is not there is not asked for over HTTP.
    const std::string url = folder + "/" + name;
    result.source = url;
    http = true;
    fetch = FetchHttp(url, kind == kKindInfo ? std::string() : target);
  }

  if (showWindow) ShowAgentWindow(false);
  VxDebug::Trace("Download END:   " + result.source);

  if (kind == kKindInfo) {
    FinishInfo(result, fetch, target, http);
    return result;
  }
  result.error = fetch.error;
  if (result.error.empty()) {
    result.ok = true;
    CheckFetched(result, target, kind, http, look);
  }
  NoticeFetchFailure(result, confirm, look);
  return result;
}

// --- The probe -----------------------------------------------------------------

bool SizeCheckPasses() {
  Stub::TAgentRun& run = Run();
  const bool autoInform = IsAutoInform();
  TSizeFacts facts;
  facts.autoInform = autoInform;
  if (autoInform) {
    facts.informName = NameOfInformFile();
    facts.informSize = SizeOfInformFile();
  } else {
    facts.updateName = NameOfUpdateFile();
    facts.updateSize = SizeOfUpdateFile();
  }
  facts.downloadFolder = DownloadURL_UPDATE();
  facts.testMode = run.testMode;
  facts.testUrl = run.testUrl;
  const TSizeTarget t = SizeCheckTarget(facts);

  int64_t actual = -1;
  std::string tried = t.folder + "\\" + t.name;
  // Without a name or a folder the INFO file offers nothing.
  if (!t.name.empty() && !t.folder.empty()) {
    if (FileExists(tried)) {
      actual = Files::FileSizeByName(tried);
    } else if (!run.testMode && !IsLocalSource(t.folder) && InternetConnected()) {
      tried = t.folder + "/" + t.name;
      actual = HTTP_GetFileSize(tried);
    }
  }
  const bool pass = SizeMatches(actual, t.expected);
  if (!pass) {
    VxDebug::Trace("  InfoSize=" + IntToText(t.expected));
    VxDebug::Trace("  HttpSize=" + IntToText(actual));
    VxDebug::Trace("  URL=" + tried);
  }
  return pass;
}

TProbeResult GetOkToPerformAU(bool infoDownloadOk) {
  TProbeFacts facts;
  facts.downloadOk = infoDownloadOk;
  facts.versionOriginal = VersionOriginal();
  facts.versionNew = VersionNew();
  facts.stampOriginal = StampOriginal();
  facts.stampNew = StampNew();
  facts.reAskInterval = ReAskSecondsInterval();
  facts.reAskLast = ReAskSecondsLast();
  facts.now = ClockSecondsNow();
  facts.userCheck = Run().cycleMode == kCycleUserNow;
  facts.validVersions = ValidVersions();
  const int before = StatusBeforeSizeCheck(facts);
  const TProbeResult result = ProbeResult(before, before == kStatusSize && SizeCheckPasses());
  Echo(" GetOkToPerformAU=" + IntToText(result.status));
  VxDebug::Trace("GetOkToPerformAU = " + IntToText(result.status) + " - " + result.reason);
  return result;
}

namespace {

void ReportUserCheck(const TProbeResult& probe, const TDownloadResult& info) {
  Stub::TAgentRun& run = Run();
  std::string connectionError;
  const bool connected = InternetConnected(&connectionError);
  Echo(" TestMode=" + TrueFalse(run.testMode) + " InternetConnected=" + TrueFalse(connected));
  TUserReportFacts facts;
  facts.testMode = run.testMode;
  facts.connected = connected;
  facts.connectionError = connectionError;
  facts.status = probe.status;
  facts.reason = probe.reason;
  facts.downloadError = info.error;
  facts.source = info.source;
  facts.developerMode = IsDeveloperMode();
  facts.s2 = MessageText("s2");
  facts.s4 = MessageText("s4");
  facts.s21 = MessageText("s21");
  facts.programName = ProgramNameOriginal();
  const TUserReport report = UserCheckReport(facts);
  const TMsgBoxLook look = MsgBoxLook();
  if (report.error)
    MsgError(0, report.text, look.error, look.btnText, look.charSet);
  else
    MsgWarning(1, report.text, look.attention, look.btnText, look.charSet);
}

}  // namespace

void PerformShot() {
  Stub::TAgentRun& run = Run();
  Echo(" Fire  " + ReadableClockSeconds(ClockSecondsNow()));
  CheckTestMode(true);
  run.phase = kPhaseProbing;
  NotifyListener(kNotifyInfoDownload, 1);
  const TDownloadResult info = DownloadFileAU(Stub::OwnInfo().InfoFolderURL(), Stub::OwnInfo().InfoFileName(), kKindInfo);
  NotifyListener(kNotifyInfoDownload, 2);
  const int64_t probed = ClockSecondsNow();
  // Kept in the run state when the .original file does not take it (locked,
  // read-only): an agent whose file cannot be written would otherwise probe
  // on every tick.
  run.unsavedProbeLast = WriteProbeSecondsLast(probed) ? 0 : probed;

  const TProbeResult probe = GetOkToPerformAU(info.ok);
  bool performed = false;
  if (probe.passed) {
    Echo(" ==== PerformShot-1 ====");
    performed = true;
    WriteReAskSecondsLast(ClockSecondsNow());
    WriteStampOriginal(StampNew());
    (g_accepted ? g_accepted : TraceAcceptedRelease)(IsAutoInform());
    Echo(" ==== PerformShot-2 ====");
  }
  if (run.cycleMode == kCycleUserNow) {
    WaitPumping(0, 1000);
    ShowAgentWindow(false);
    if (!performed) ReportUserCheck(probe, info);
  }
}

void JustDownloadInfoFile() {
  NotifyListener(kNotifyInfoDownload, 1);
  DownloadFileAU(Stub::OwnInfo().InfoFolderURL(), Stub::OwnInfo().InfoFileName(), kKindInfo);
  NotifyListener(kNotifyInfoDownload, 2);
}

// --- Test mode, the question and the tick --------------------------------------------

bool CheckTestMode(bool force) {
  Stub::TAgentRun& run = Run();
  const uint32_t now = ::GetTickCount();
  // The time of the last read moves only when the values are read: the
  // tick's unforced check then reads them every 30 s.
  if (TestModeQueryDue(force, now, run.lastTestQuery)) {
    const TTestModeValues values = ReadTestModeValues();
    run.testMode = IsTestModeOn(values, Today());
    run.testUrl = values.testModeURL;
    run.lastTestQuery = now;
  }
  return run.testMode;
}

bool AskBeforeCheckingQuestion() {
  const bool testMode = CheckTestMode(true);
  const std::string source = testMode ? Run().testUrl : Stub::OwnInfo().InfoFolderURL();
  const std::string text = AskBeforeCheckingText(MessageText("s22"), MessageText("s23"), MessageText("s24"), source,
                                                 CheckTestMode(true), ProgramNameOriginal());
  const TMsgBoxLook look = MsgBoxLook();
  return MsgYesNo(1, text, look.confirm, look.btnText, look.charSet);
}

namespace {

void CycleChecks(Stub::TAgentRun& run) {
  CheckTestMode(false);
  TScheduleFacts facts;
  facts.probingEnabled = run.probingEnabled;
  facts.cycleRequest = run.cycleRequest;
  facts.testMode = run.testMode;
  facts.interval = ProbeSecondsInterval();
  facts.lastProbe = std::max(ProbeSecondsLast(), run.unsavedProbeLast);
  facts.now = ClockSecondsNow();
  int status = ScheduleStatus(facts);
  run.cycleRequest = false;
  Echo(" ShotTimeStatus=" + IntToText(status));
  if (status == 2) run.probingEnabled = false;
  if (status >= 1 && AsksBeforeChecking(run.cycleMode, TransientOption(kAskBeforeChecking)) &&
      !AskBeforeCheckingQuestion())
    status = 0;
  if (status >= 1) PerformShot();
}

void TickBody(Stub::TAgentRun& run) {
  if (run.infoOnlyRequest) {
    Echo("-------------- JustDownloadInfoFile ---------------");
    run.infoOnlyRequest = false;
    JustDownloadInfoFile();
    return;
  }
  const TMsgBoxLook look = MsgBoxLook();
  SetMsgBoxFont(look.fontName, look.fontSize, look.charSet);
  run.phase = kPhaseIdle;
  const TTickStart start = StartTick(run);
  if (start.quit) ::PostQuitMessage(0);
  Echo(" AutoUpdateTimerCount=" + IntToText(run.tickCounter));
  if (start.checks) CycleChecks(run);
  if (run.cycleMode == kCycleUserNow) run.cycleMode = kCycleAutomatic;
}

}  // namespace

void AgentTimerTick() {
  Stub::TAgentRun& run = Run();
  if (run.busy) return;
  run.busy = true;
  // A failure inside one tick must not leave the busy flag set: the agent
  // would never tick again.
  std::string what;
  if (!RunGuarded([] { TickBody(Run()); }, what)) VxDebug::Trace("AgentTimerTick: " + what);
  run.phase = kPhaseIdle;
  run.busy = false;
}

void InstallCycleHooks() {
  StubWin::THooks& hooks = StubWin::Hooks();
  hooks.agentTick = AgentTimerTick;
  SetAcceptedReleaseHandler(InstallRelease);
  hooks.checkTestMode = [](bool force) { CheckTestMode(force); };
}

}  // namespace AU
