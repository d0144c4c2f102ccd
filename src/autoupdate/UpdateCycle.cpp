#include "autoupdate/UpdateCycle.h"

#include <string_view>

#include "autoupdate/AUSettings.h"
#include "stub/StubControl.h"
#include "util/PathText.h"
#include "util/Utils.h"
#include "util/VxSUB.h"

namespace AU {

std::string StatusReason(int status) { return SUB::GetItem(kResultList, status); }

int ScheduleStatus(const TScheduleFacts& f) {
  int status = 0;
  if (f.probingEnabled || f.cycleRequest) {
    const int64_t interval = f.testMode ? 5 : f.interval;
    // A junk last time or interval near the ends of the range must not wrap
    // into "due every tick" (or "never").
    if (f.now >= ClockSecondsPlus(f.lastProbe, interval)) status = 1;
    if (f.interval == 0 && status == 1) status = 2;
    if (f.interval == -1) status = 0;
    if (f.cycleRequest) status = 1;
  }
  return status;
}

TTickStart StartTick(Stub::TAgentRun& run) {
  if (run.cycleMode == kCycleUserPending) run.cycleMode = kCycleUserNow;
  if (run.cycleMode == kCycleUserNow) run.tickCounter = 0;
  TTickStart start;
  start.quit = Stub::CountAgentTick(run);
  start.checks = run.tickCounter >= 1;
  return start;
}

bool AsksBeforeChecking(int32_t cycleMode, uint8_t askOption) { return cycleMode == kCycleUserNow || askOption == 1; }

bool TestModeQueryDue(bool force, uint32_t nowMs, uint32_t lastReadMs) {
  return force || static_cast<uint32_t>(nowMs - lastReadMs) > kTestModeQueryMs;
}

bool ReAskIntervalOver(int64_t interval, int64_t last, int64_t now) {
  return interval > 0 && now > ClockSecondsPlus(last, interval);
}

bool VersionIsValid(const std::string& validVersions, int64_t versionOriginal) {
  if (validVersions.empty()) return true;
  return ("," + validVersions + ",").find("," + IntToText(versionOriginal) + ",") != std::string::npos;
}

int StatusBeforeSizeCheck(const TProbeFacts& f) {
  int status = f.downloadOk ? 1 : 0;
  if (status == 1 && f.versionOriginal > 0) status = 2;
  if (status == 2 &&
      (f.stampNew != f.stampOriginal || ReAskIntervalOver(f.reAskInterval, f.reAskLast, f.now) || f.userCheck))
    status = 3;
  if (status == 3 && f.versionNew > f.versionOriginal) status = 4;
  if (status == 4 && VersionIsValid(f.validVersions, f.versionOriginal)) status = 5;
  return status;
}

TProbeResult ProbeResult(int statusBeforeSize, bool sizeOk) {
  TProbeResult result;
  result.status = statusBeforeSize;
  if (result.status == kStatusSize && sizeOk) result.status = kStatusOk;
  result.reason = StatusReason(result.status);
  result.passed = result.status == kStatusOk;
  return result;
}

TSizeTarget SizeCheckTarget(const TSizeFacts& f) {
  TSizeTarget target;
  target.name = FileNamePart(f.autoInform ? f.informName : f.updateName);
  target.expected = f.autoInform ? f.informSize : f.updateSize;
  target.folder = f.testMode ? f.testUrl : f.downloadFolder;
  return target;
}

bool SizeMatches(int64_t actual, int64_t expected) {
  if (actual < 0) return false;
  // The distance of two 64-bit values fits an unsigned 64-bit value.
  const uint64_t a = static_cast<uint64_t>(actual);
  const uint64_t e = static_cast<uint64_t>(expected);
  const uint64_t distance = actual >= expected ? a - e : e - a;
  return distance < 100;
}

bool IsLocalSource(const std::string& source) {
  return source.size() < 2 || source[1] == ':' || StartsWith("\\\\", source);
}

std::string WithProgramName(const std::string& text, const std::string& programName) {
  return ReplaceText(text, "PROG_NAME", programName);
}

std::string AskBeforeCheckingText(const std::string& s22, const std::string& s23, const std::string& s24,
                                  const std::string& source, bool testMode, const std::string& programName) {
  const std::string q2 = IsLocalSource(source) ? std::string() : s23;
  const std::string note = testMode ? std::string(kTestModeNote) : std::string();
  return WithProgramName(s22 + q2 + s24 + note, programName);
}

TUserReport UserCheckReport(const TUserReportFacts& f) {
  TUserReport report;
  const std::string s2 = WithProgramName(f.s2, f.programName);
  const std::string s4 = WithProgramName(f.s4, f.programName);
  const std::string s21 = WithProgramName(f.s21, f.programName);
  if (!f.testMode && !f.connected) {
    report.error = true;
    report.text = s2 + (f.connectionError.empty() ? std::string() : "<P><P>" + f.connectionError);
  } else if (f.status == 0) {
    // A failed INFO download is an error in test mode too, and also when the
    // download left no text (a missing local file, an empty answer): it is
    // never reported as "no new version".
    report.error = true;
    report.text = f.downloadError.empty() ? s4 + "<P><P>" + f.source : f.downloadError;
  } else {
    report.text = s21;
    if (f.developerMode) report.text += "<P><P>(" + IntToText(f.status) + " - " + f.reason + ")   ";
  }
  return report;
}

bool ShowsDownloadWindow(int kind, bool confirmBeforeDownload, int32_t cycleMode) {
  return kind == kKindUpdate && confirmBeforeDownload && cycleMode != kCycleUserNow;
}

const char* StatusLabelKey(int kind) {
  return kind == kKindUpdate ? "s32" : kind == kKindInform ? "s33" : "s31";
}

const char* StatusLabelDefault(int kind) {
  return kind == kKindUpdate    ? "Downloading UPDATE File..."
         : kind == kKindInform ? "Downloading INFORM File..."
                                : "Downloading INFO File...";
}

bool IsSafeFileName(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || IsWindowsDeviceName(name)) return false;
  for (unsigned char c : name)
    if (c < ' ' || std::string_view(":\\/<>\"|?*").find(static_cast<char>(c)) != std::string_view::npos) return false;
  return true;
}

TInfoOutcome InfoDownloadOutcome(const std::string& transferError, bool dataEmpty, const std::string& errorPageText) {
  TInfoOutcome outcome;
  outcome.error = transferError;
  if (outcome.error.empty() && !dataEmpty) outcome.error = errorPageText;
  outcome.ok = outcome.error.empty() && !dataEmpty;
  if (!outcome.error.empty() && outcome.error[0] == '3') outcome.error.clear();
  return outcome;
}

bool TokensAgree(const std::string& own, const std::string& fetched) { return !own.empty() && own == fetched; }

bool ShowsFetchFailure(const std::string& error, const std::string& source, bool confirmBeforeDownload) {
  return !error.empty() && source.size() > 2 && confirmBeforeDownload;
}

std::string FetchFailureText(bool aborted, const std::string& source, const std::string& s3, const std::string& s4,
                             const std::string& s5) {
  if (aborted) return s3;
  const bool local = source.size() >= 2 && (source[1] == ':' || StartsWith("\\\\", source));
  return (local ? s4 : s5) + "<P><P>" + source;
}

}  // namespace AU
