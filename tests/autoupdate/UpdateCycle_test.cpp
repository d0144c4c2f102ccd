// The update cycle's decisions: schedule, tick, test-mode query rule,
// GetOkToPerformAU's statuses, the size check and the texts.
#include "autoupdate/UpdateCycle.h"

#include <gtest/gtest.h>

#include <limits>

using namespace AU;

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kNow = 4005641703;  // a clock-seconds value in December 2026

struct TScheduleCase {
  const char* what;
  TScheduleFacts facts;
  int status;
};

}  // namespace

TEST(UpdateCycleSchedule, Cases) {
  const TScheduleCase cases[] = {
      {"interval over", {true, false, false, 3600, kNow - 3600, kNow}, 1},
      {"interval not over", {true, false, false, 3600, kNow - 3599, kNow}, 0},
      {"one-shot due", {true, false, false, 0, kNow - 1, kNow}, 2},
      {"one-shot with last in the future", {true, false, false, 0, kNow + 10, kNow}, 0},
      {"never", {true, false, false, -1, 0, kNow}, 0},
      {"never, even in test mode", {true, false, true, -1, 0, kNow}, 0},
      {"negative interval: every tick", {true, false, false, -5, kNow, kNow}, 1},
      {"test mode: 5 s", {true, false, true, 86400, kNow - 5, kNow}, 1},
      {"test mode: 4 s", {true, false, true, 86400, kNow - 4, kNow}, 0},
      {"test mode one-shot still one-shot", {true, false, true, 0, kNow - 5, kNow}, 2},
      {"probing off", {false, false, false, 1, 0, kNow}, 0},
      {"cycle request wins over not due", {true, true, false, 3600, kNow, kNow}, 1},
      {"cycle request wins over -1", {true, true, false, -1, kNow, kNow}, 1},
      {"cycle request wins over probing off", {false, true, false, 0, kNow, kNow}, 1},
      {"huge last time does not wrap", {true, false, false, 3600, kMax, kNow}, 0},
      {"huge interval does not wrap", {true, false, false, kMax, kNow, kNow}, 0},
      {"most negative interval is due", {true, false, false, kMin, 0, kNow}, 1},
  };
  for (const TScheduleCase& c : cases) EXPECT_EQ(ScheduleStatus(c.facts), c.status) << c.what;
}

TEST(UpdateCycleTick, FirstChecksOnTheFourthTickAndAUserCheckRunsAtOnce) {
  Stub::TAgentRun run;
  std::vector<bool> checks;
  for (int i = 0; i < 5; ++i) checks.push_back(StartTick(run).checks);
  EXPECT_EQ(checks, (std::vector<bool>{false, false, false, true, true}));

  Stub::TAgentRun sleeping;
  sleeping.tickCounter = -100;  // /SleepX=100
  sleeping.cycleMode = kCycleUserPending;
  const TTickStart start = StartTick(sleeping);
  EXPECT_TRUE(start.checks);
  EXPECT_EQ(sleeping.cycleMode, kCycleUserNow);
  EXPECT_EQ(sleeping.tickCounter, 1);
}

TEST(UpdateCycleTick, StopCountdownEndsTheRunWhenItReachesZero) {
  Stub::TAgentRun run;
  run.stopCountdown = 1;
  EXPECT_FALSE(StartTick(run).quit);
  EXPECT_TRUE(StartTick(run).quit);
  EXPECT_FALSE(StartTick(run).quit);
  EXPECT_EQ(run.stopCountdown, -1);
}

TEST(UpdateCycleTick, AskBeforeChecking) {
  EXPECT_TRUE(AsksBeforeChecking(kCycleUserNow, 255));
  EXPECT_TRUE(AsksBeforeChecking(kCycleAutomatic, 1));
  EXPECT_FALSE(AsksBeforeChecking(kCycleAutomatic, 255));
  EXPECT_FALSE(AsksBeforeChecking(kCycleAutomatic, 0));
  EXPECT_FALSE(AsksBeforeChecking(kCycleUserPending, 2));
}

TEST(UpdateCycleTestMode, QueryRule) {
  EXPECT_TRUE(TestModeQueryDue(true, 100, 100));
  EXPECT_FALSE(TestModeQueryDue(false, 130000, 100000));
  EXPECT_TRUE(TestModeQueryDue(false, 130001, 100000));
  // Across the wrap of the tick count: 20 s and 40 s after the last read.
  EXPECT_FALSE(TestModeQueryDue(false, 10000, 0xFFFFFFFFu - 9999));
  EXPECT_TRUE(TestModeQueryDue(false, 30001, 0xFFFFFFFFu - 9999));
}

namespace {

TProbeFacts PassingProbe() {
  TProbeFacts f;
  f.downloadOk = true;
  f.versionOriginal = 100;
  f.versionNew = 101;
  f.stampOriginal = 7;
  f.stampNew = 8;
  f.reAskInterval = 86400;
  f.reAskLast = kNow - 10;
  f.now = kNow;
  return f;
}

struct TProbeCase {
  const char* what;
  void (*change)(TProbeFacts&);
  int status;
};

}  // namespace

TEST(UpdateCycleProbe, StatusesBeforeTheSizeCheck) {
  const TProbeCase cases[] = {
      {"all passed", [](TProbeFacts&) {}, 5},
      {"download failed", [](TProbeFacts& f) { f.downloadOk = false; }, 0},
      {"VersionOriginal 0", [](TProbeFacts& f) { f.versionOriginal = 0; }, 1},
      {"VersionOriginal negative", [](TProbeFacts& f) { f.versionOriginal = -3; }, 1},
      {"same stamp within re-ask", [](TProbeFacts& f) { f.stampNew = 7; }, 2},
      {"same stamp, re-ask over", [](TProbeFacts& f) { f.stampNew = 7; f.reAskLast = kNow - 86401; }, 5},
      {"same stamp, re-ask exactly at its end", [](TProbeFacts& f) { f.stampNew = 7; f.reAskLast = kNow - 86400; }, 2},
      {"same stamp, re-ask 0 never over", [](TProbeFacts& f) { f.stampNew = 7; f.reAskInterval = 0; f.reAskLast = 0; }, 2},
      {"same stamp, user check", [](TProbeFacts& f) { f.stampNew = 7; f.userCheck = true; }, 5},
      {"same stamp, huge re-ask last", [](TProbeFacts& f) { f.stampNew = 7; f.reAskLast = kMax; }, 2},
      {"stamps apart by 2^32", [](TProbeFacts& f) { f.stampNew = 7 + (int64_t{1} << 32); }, 5},
      {"version equal", [](TProbeFacts& f) { f.versionNew = 100; }, 3},
      {"version lower", [](TProbeFacts& f) { f.versionNew = 99; }, 3},
      {"version beyond 31 bits is higher", [](TProbeFacts& f) { f.versionNew = 3000000000; }, 5},
      {"ValidVersions mismatch", [](TProbeFacts& f) { f.versionOriginal = 10; f.validVersions = "100,101"; }, 4},
      {"ValidVersions match", [](TProbeFacts& f) { f.versionOriginal = 101; f.versionNew = 102; f.validVersions = "100,101"; }, 5},
      {"ValidVersions with a blank", [](TProbeFacts& f) { f.versionOriginal = 101; f.versionNew = 102; f.validVersions = "100, 101"; }, 4},
      {"ValidVersions prefix only", [](TProbeFacts& f) { f.validVersions = "1000"; }, 4},
  };
  for (const TProbeCase& c : cases) {
    TProbeFacts f = PassingProbe();
    c.change(f);
    EXPECT_EQ(StatusBeforeSizeCheck(f), c.status) << c.what;
  }
}

TEST(UpdateCycleProbe, ResultsAndReasons) {
  const char* reasons[] = {"Error downloading .INFO file",
                           "Error reading .ORIGINAL file",
                           "Too early for retesting",
                           "New version is not higher then old version",
                           "\"Valid for version\" mismatch",
                           "Download file size error",
                           "OK"};
  for (int status = 0; status <= 5; ++status) {
    const TProbeResult r = ProbeResult(status, false);
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.reason, reasons[status]);
    EXPECT_FALSE(r.passed);
  }
  const TProbeResult ok = ProbeResult(5, true);
  EXPECT_EQ(ok.status, 6);
  EXPECT_EQ(ok.reason, reasons[6]);
  EXPECT_TRUE(ok.passed);
  // The size check counts only after every other check passed.
  EXPECT_EQ(ProbeResult(4, true).status, 4);
}

TEST(UpdateCycleSize, Comparison) {
  struct {
    int64_t actual, expected;
    bool matches;
  } cases[] = {
      {1000, 1000, true},   {1099, 1000, true},  {1100, 1000, false}, {901, 1000, true},
      {900, 1000, false},   {-1, 1000, false},   {-1, 0, false},      {-1, 50, false},
      {0, 0, true},         {99, 0, true},       {kMax, kMin, false}, {0, kMin, false},
      {kMax, kMax - 99, true},
  };
  for (const auto& c : cases) EXPECT_EQ(SizeMatches(c.actual, c.expected), c.matches) << c.actual << " " << c.expected;
}

TEST(UpdateCycleSize, Target) {
  TSizeFacts f;
  f.updateName = "sub\\Setup.exe";
  f.updateSize = 5000;
  f.informName = "http://x/News.txt";
  f.informSize = 300;
  f.downloadFolder = "http://updates.example/prod";
  f.testUrl = "C:\\Test";
  TSizeTarget t = SizeCheckTarget(f);
  EXPECT_EQ(t.name, "Setup.exe");
  EXPECT_EQ(t.expected, 5000);
  EXPECT_EQ(t.folder, "http://updates.example/prod");
  f.autoInform = true;
  f.testMode = true;
  t = SizeCheckTarget(f);
  EXPECT_EQ(t.name, "News.txt");
  EXPECT_EQ(t.expected, 300);
  EXPECT_EQ(t.folder, "C:\\Test");
}

TEST(UpdateCycleTexts, AskBeforeChecking) {
  struct {
    const char* source;
    bool testMode;
    const char* text;
  } cases[] = {
      {"http://updates.example/prod", false, "Check PROG-X?<P>Internet.<P>Go?"},
      {"C:\\Updates", false, "Check PROG-X?<P>Go?"},
      {"\\\\server\\share", false, "Check PROG-X?<P>Go?"},
      {"", false, "Check PROG-X?<P>Go?"},
      {"C:\\Updates", true,
       "Check PROG-X?<P>Go?<P><P><T><B>PLEASE NOTE</B> - You are now running in <B>Test Mode</B>!"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(AskBeforeCheckingText("Check PROG_NAME?", "<P>Internet.", "<P>Go?", c.source, c.testMode, "PROG-X"),
              c.text)
        << c.source;
  EXPECT_EQ(WithProgramName("PROG_NAME and PROG_NAME", "a PROG_NAME"), "a PROG_NAME and a PROG_NAME");
}

TEST(UpdateCycleTexts, UserCheckReport) {
  TUserReportFacts f;
  f.s2 = "No connection.";
  f.s4 = "File not Found!";
  f.s21 = "No new version of PROG_NAME.";
  f.programName = "Prod";
  f.source = "http://h/p\\Prod.info";
  f.status = 3;
  f.reason = "New version is not higher then old version";

  TUserReportFacts offline = f;
  offline.connected = false;
  offline.connectionError = "The network is down.";
  TUserReport r = UserCheckReport(offline);
  EXPECT_TRUE(r.error);
  EXPECT_EQ(r.text, "No connection.<P><P>The network is down.");
  offline.connectionError.clear();
  EXPECT_EQ(UserCheckReport(offline).text, "No connection.");
  offline.testMode = true;  // test mode reads a folder: the connection does not matter
  EXPECT_FALSE(UserCheckReport(offline).error);

  TUserReportFacts failed = f;
  failed.status = 0;
  failed.downloadError = "Unable to open Internet Connection: http://h/p/Prod.info";
  r = UserCheckReport(failed);
  EXPECT_TRUE(r.error);
  EXPECT_EQ(r.text, failed.downloadError);
  failed.downloadError.clear();
  failed.testMode = true;
  r = UserCheckReport(failed);
  EXPECT_TRUE(r.error);
  EXPECT_EQ(r.text, "File not Found!<P><P>http://h/p\\Prod.info");

  r = UserCheckReport(f);
  EXPECT_FALSE(r.error);
  EXPECT_EQ(r.text, "No new version of Prod.");
  f.developerMode = true;
  EXPECT_EQ(UserCheckReport(f).text, "No new version of Prod.<P><P>(3 - New version is not higher then old version)   ");
}

TEST(UpdateCycleDownload, WindowAndLabel) {
  EXPECT_TRUE(ShowsDownloadWindow(kKindUpdate, true, kCycleAutomatic));
  EXPECT_FALSE(ShowsDownloadWindow(kKindUpdate, true, kCycleUserNow));
  EXPECT_FALSE(ShowsDownloadWindow(kKindUpdate, false, kCycleAutomatic));
  EXPECT_FALSE(ShowsDownloadWindow(kKindInform, true, kCycleAutomatic));
  EXPECT_FALSE(ShowsDownloadWindow(kKindInfo, true, kCycleAutomatic));
  EXPECT_STREQ(StatusLabelKey(kKindInfo), "s31");
  EXPECT_STREQ(StatusLabelKey(kKindUpdate), "s32");
  EXPECT_STREQ(StatusLabelKey(kKindInform), "s33");
  EXPECT_STREQ(StatusLabelDefault(kKindInform), "Downloading INFORM File...");
}

TEST(UpdateCycleDownload, SafeFileNames) {
  for (const char* good : {"Setup.exe", "Prod.AutoUpdate.info", "a b.txt"}) EXPECT_TRUE(IsSafeFileName(good)) << good;
  for (const char* bad : {"", ".", "..", "NUL", "com1.exe", "x.exe:stream", "C:x.exe", "a\tb", "a\\b", "a/b", "*.exe", "a?b", "a|b"})
    EXPECT_FALSE(IsSafeFileName(bad)) << bad;
}

TEST(UpdateCycleDownload, InfoOutcome) {
  struct {
    const char* error;
    bool empty;
    const char* page;
    bool ok;
    const char* outError;
  } cases[] = {
      {"", false, "", true, ""},
      {"", true, "", false, ""},
      {"", false, "<B>404 File Not Found...</B>", false, "<B>404 File Not Found...</B>"},
      {"Unable to open Internet Connection: x", true, "", false, "Unable to open Internet Connection: x"},
      {"Download Aborted", false, "", false, "Download Aborted"},
      {"3 --- odd", true, "", false, ""},
  };
  for (const auto& c : cases) {
    const TInfoOutcome o = InfoDownloadOutcome(c.error, c.empty, c.page);
    EXPECT_EQ(o.ok, c.ok) << c.error;
    EXPECT_EQ(o.error, c.outError) << c.error;
  }
}

TEST(UpdateCycleDownload, TokensAndFetchFailures) {
  EXPECT_TRUE(TokensAgree("Prod-2026", "Prod-2026"));
  EXPECT_FALSE(TokensAgree("Prod-2026", "prod-2026"));
  EXPECT_FALSE(TokensAgree("", ""));
  EXPECT_FALSE(TokensAgree("Prod-2026", ""));

  EXPECT_TRUE(ShowsFetchFailure("x", "C:\\U", true));
  EXPECT_FALSE(ShowsFetchFailure("x", "C:\\U", false));
  EXPECT_FALSE(ShowsFetchFailure("", "C:\\U", true));
  EXPECT_FALSE(ShowsFetchFailure("x", "C:", true));

  EXPECT_EQ(FetchFailureText(true, "C:\\U\\S.exe", "ab", "nf", "nd"), "ab");
  EXPECT_EQ(FetchFailureText(false, "C:\\U\\S.exe", "ab", "nf", "nd"), "nf<P><P>C:\\U\\S.exe");
  EXPECT_EQ(FetchFailureText(false, "\\\\srv\\U\\S.exe", "ab", "nf", "nd"), "nf<P><P>\\\\srv\\U\\S.exe");
  EXPECT_EQ(FetchFailureText(false, "http://h/U/S.exe", "ab", "nf", "nd"), "nd<P><P>http://h/U/S.exe");
}
