// Decisions of the agent's update cycle, apart from the files, the registry,
// the network and the boxes that carry them out (StubAU_win32.cpp): when a
// probe is due, whether a probed release is offered, the size check, the
// texts of the questions and reports, and what a download's outcome means.
#pragma once

#include <cstdint>
#include <string>

#include "stub/StubState.h"

namespace AU {

// Download kinds of DownloadFileAU.
constexpr int kKindInfo = 1;
constexpr int kKindUpdate = 2;
constexpr int kKindInform = 3;

// Cycle modes of the run state.
constexpr int32_t kCycleAutomatic = 0;
constexpr int32_t kCycleUserNow = 1;
constexpr int32_t kCycleUserPending = 2;

// Phases of the run state.
constexpr int32_t kPhaseIdle = 0;
constexpr int32_t kPhaseProbing = 1;
constexpr int32_t kPhaseDownloading = 2;
constexpr int32_t kPhaseInstalling = 3;

// Listener notification codes (lParam 1 at the start, 2 at the end).
constexpr int kNotifyInfoDownload = 40;
constexpr int kNotifyFileDownload = 41;
constexpr int kNotifyUpdateRun = 42;

// Item n is the reason of GetOkToPerformAU's status n.
inline constexpr char kResultList[] =
    "|Error downloading .INFO file|Error reading .ORIGINAL file|Too early for retesting|"
    "New version is not higher then old version|\"Valid for version\" mismatch|Download file size error|OK|";
constexpr int kStatusOk = 6;
constexpr int kStatusSize = 5;
std::string StatusReason(int status);

inline constexpr char kTestModeNote[] = "<P><P><T><B>PLEASE NOTE</B> - You are now running in <B>Test Mode</B>!";
inline constexpr char kBadSecretToken[] = "Bad Secret Token!";

// --- Schedule ----------------------------------------------------------------

struct TScheduleFacts {
  bool probingEnabled = true;
  bool cycleRequest = false;
  bool testMode = false;
  int64_t interval = 0;   // ProbeSecondsInterval as stored (0: once a run, -1: never)
  int64_t lastProbe = 0;  // ProbeSecondsLast
  int64_t now = 0;        // clock seconds
};
// 0: no probe; 1: probe; 2: a one-shot probe (probing ends for the run).
int ScheduleStatus(const TScheduleFacts& f);

// --- The timer tick ----------------------------------------------------------

struct TTickStart {
  bool quit = false;    // the stop countdown ran out: post the quit message
  bool checks = false;  // the tick counter is 1 or more: the cycle's checks run
};
// Steps of a tick before its checks: a pending user check becomes this
// tick's (and restarts the tick counter), the stop countdown and the tick
// counter move on.
TTickStart StartTick(Stub::TAgentRun& run);
// The ask-before-checking question precedes a probe when the user asked
// for this check or the transient option asks for it.
bool AsksBeforeChecking(int32_t cycleMode, uint8_t askOption);

// The registry is read when forced or when more than 30 s have passed since
// it was last read (tick counts in ms; the difference survives the counter's
// wrap after 49.7 days).
constexpr uint32_t kTestModeQueryMs = 30000;
bool TestModeQueryDue(bool force, uint32_t nowMs, uint32_t lastReadMs);

// --- GetOkToPerformAU ----------------------------------------------------------

struct TProbeFacts {
  bool downloadOk = false;
  int64_t versionOriginal = 0;
  int64_t versionNew = 0;
  int64_t stampOriginal = 0;  // of the .original file
  int64_t stampNew = 0;       // of the INFO file
  int64_t reAskInterval = 0;
  int64_t reAskLast = 0;
  int64_t now = 0;          // clock seconds
  bool userCheck = false;   // cycle mode 1
  std::string validVersions;
};
// Status 0..5: every check but the size check, which only a status of 5
// needs (it may ask the server).
int StatusBeforeSizeCheck(const TProbeFacts& f);
bool ReAskIntervalOver(int64_t interval, int64_t last, int64_t now);
// Empty list, or "," + list + "," holds "," + version + ",".
bool VersionIsValid(const std::string& validVersions, int64_t versionOriginal);

struct TProbeResult {
  bool passed = false;
  int status = 0;
  std::string reason;
};
TProbeResult ProbeResult(int statusBeforeSize, bool sizeOk);

// --- Size check ----------------------------------------------------------------

struct TSizeTarget {
  std::string name;  // name part of the file
  int64_t expected = 0;
  std::string folder;
};
struct TSizeFacts {
  bool autoInform = false;  // the INFO file's AutoInform is 1
  std::string updateName;
  int64_t updateSize = 0;
  std::string informName;
  int64_t informSize = 0;
  std::string downloadFolder;  // DownloadURL_UPDATE
  bool testMode = false;
  std::string testUrl;
};
TSizeTarget SizeCheckTarget(const TSizeFacts& f);
// Within 100 bytes of the expected size. An unknown size (below 0) never matches.
bool SizeMatches(int64_t actual, int64_t expected);

// --- Texts ----------------------------------------------------------------

// A drive path (second character ":"), a network path ("\\") or a text too
// short to be a URL.
bool IsLocalSource(const std::string& source);
// s22 + s23 + s24 + the test-mode note; s23 is left out for a local source,
// the note outside test mode; every "PROG_NAME" becomes programName.
std::string AskBeforeCheckingText(const std::string& s22, const std::string& s23, const std::string& s24,
                                  const std::string& source, bool testMode, const std::string& programName);
// Every "PROG_NAME" replaced in one pass (a name holding "PROG_NAME" stays as it is).
std::string WithProgramName(const std::string& text, const std::string& programName);

struct TUserReportFacts {
  bool testMode = false;
  bool connected = true;
  std::string connectionError;  // system text of a failed connection test
  int status = 0;
  std::string reason;
  std::string downloadError;    // error text of the INFO download
  std::string source;           // where the INFO file was looked for
  bool developerMode = false;
  std::string s2, s4, s21;
  std::string programName;      // put in place of "PROG_NAME" in s2, s4 and s21
};
struct TUserReport {
  bool error = false;  // an error box (owner mode 0, caption Error), else a notice (owner mode 1, Attention)
  std::string text;
};
// The report of a check the user asked for that installed nothing: no
// connection (s2), a failed INFO download (its text, or s4 and the source
// when it left none), else no new version (s21, with the status in
// developer mode). "PROG_NAME" in the message texts becomes the program name.
TUserReport UserCheckReport(const TUserReportFacts& f);

// --- DownloadFileAU ----------------------------------------------------------

// The agent window is shown only for an update download the user confirmed
// in an automatic cycle.
bool ShowsDownloadWindow(int kind, bool confirmBeforeDownload, int32_t cycleMode);
// Key and default of the status label of a kind.
const char* StatusLabelKey(int kind);
const char* StatusLabelDefault(int kind);
// A file name from the INFO file that can only name a file in the agent's
// folder: not empty, not "." or "..", no drive or stream colon, no path
// separator, wildcard or control character, no device name.
bool IsSafeFileName(const std::string& name);

struct TInfoOutcome {
  bool ok = false;
  std::string error;
};
// Kind 1: the transfer's error text, whether data came, and the error-page
// text of the data ("" unless it is an HTML error page).
TInfoOutcome InfoDownloadOutcome(const std::string& transferError, bool dataEmpty, const std::string& errorPageText);

// Tokens agree when they are the same, non-empty text.
bool TokensAgree(const std::string& own, const std::string& fetched);
// The notice of a failed update or inform fetch, shown only when the user
// confirmed the download and the source is longer than 2 characters.
bool ShowsFetchFailure(const std::string& error, const std::string& source, bool confirmBeforeDownload);
// s3 after an abort; s4 + source for a local or network path, s5 + source otherwise.
std::string FetchFailureText(bool aborted, const std::string& source, const std::string& s3, const std::string& s4,
                             const std::string& s5);

}  // namespace AU
