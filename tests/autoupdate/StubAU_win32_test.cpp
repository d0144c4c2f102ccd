// The update cycle of the X_ agent in process, against the real
// private-profile files, registry and file system (StubAUFixture_win32.h).
#include <gtest/gtest.h>

#include <algorithm>

#include "StubAUFixture_win32.h"

using namespace stubau;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

TEST_F(StubAUTest, EachStatusOfAProbe) {
  struct {
    const char* what;
    const char* original;
    const char* info;  // nullptr: no INFO file
    int64_t updateSize;
    const char* expected;
  } cases[] = {
      {"no INFO file", "VersionOriginal=100\r\n", nullptr, 5000, "GetOkToPerformAU = 0 - Error downloading .INFO file"},
      {"VersionOriginal 0", "VersionOriginal=0\r\n", "VersionNew=101\r\nStamp=8\r\n", 5000,
       "GetOkToPerformAU = 1 - Error reading .ORIGINAL file"},
      {"same stamp within re-ask", "VersionOriginal=100\r\nStamp=8\r\nReAskSecondsInterval=86400\r\nReAskSecondsLast=",
       "VersionNew=101\r\nStamp=8\r\n", 5000, "GetOkToPerformAU = 2 - Too early for retesting"},
      {"version not higher", "VersionOriginal=100\r\nStamp=7\r\n", "VersionNew=100\r\nStamp=8\r\n", 5000,
       "GetOkToPerformAU = 3 - New version is not higher then old version"},
      {"ValidVersions mismatch", "VersionOriginal=10\r\nStamp=7\r\n", "VersionNew=101\r\nStamp=8\r\nValidVersions=100,101\r\n",
       5000, "GetOkToPerformAU = 4 - \"Valid for version\" mismatch"},
      {"size off by 100", "VersionOriginal=100\r\nStamp=7\r\n", "VersionNew=101\r\nStamp=8\r\n", 5100,
       "GetOkToPerformAU = 5 - Download file size error"},
      {"OK", "VersionOriginal=100\r\nStamp=7\r\n", "VersionNew=101\r\nStamp=8\r\n", 5099, "GetOkToPerformAU = 6 - OK"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    trace->~TTraceCapture();
    new (trace) VxDebug::TTraceCapture();
    g_accepted.clear();
    std::string original = c.original;
    if (original.ends_with("ReAskSecondsLast=")) original += std::to_string(ClockSecondsNow() - 10) + "\r\n";
    WriteOriginal(original);
    ::DeleteFileA((infoDir + "\\" + kInfoName).c_str());
    if (c.info) WriteInfo(std::string(c.info) + OfferOf(c.updateSize));
    WriteUpdate(5000);
    AU::PerformShot();
    EXPECT_TRUE(Traced(c.expected));
    const bool ok = std::string(c.expected).ends_with("OK");
    EXPECT_EQ(g_accepted.size(), ok ? 1u : 0u);
    // Every probe stamps its time; only an accepted release its stamp.
    EXPECT_NE(Original("ProbeSecondsLast"), "");
    EXPECT_EQ(Original("__ProbeSecondsLast").size(), std::string("05-DEC-2026 22:15:03").size());
    EXPECT_EQ(Original("ReAskSecondsLast") != "", ok || original.find("ReAskSecondsLast") != std::string::npos);
    if (ok) {
      EXPECT_EQ(Original("Stamp"), "8");
    }
    EXPECT_TRUE(g_boxes.empty());
  }
}

TEST_F(StubAUTest, ErrorPageAsInfoFileFailsTheDownloadAndIsStillWritten) {
  const std::string page = "<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD><BODY>gone</BODY></HTML>";
  WriteBytes(infoDir + "\\" + kInfoName, page);
  const AU::TDownloadResult r = AU::DownloadFileAU(infoDir, kInfoName, AU::kKindInfo);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("404 File Not Found"), std::string::npos) << r.error;
  EXPECT_EQ(ReadBytes(agentDir + "\\" + kInfoName), page);
  EXPECT_EQ(AU::GetOkToPerformAU(r.ok).status, 0);
}

TEST_F(StubAUTest, UserCheckReports) {
  Stub::AgentRun().cycleMode = AU::kCycleUserNow;
  // No INFO file in the folder: an error box naming where it was looked for.
  AU::PerformShot();
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].caption, "Error");
  EXPECT_NE(g_boxes[0].text.find(infoDir + "\\" + kInfoName), std::string::npos) << g_boxes[0].text;

  // Same version: the notice s21.
  g_boxes.clear();
  WriteOriginal("VersionOriginal=100\r\nProgramName=Prod\r\n", "[AutoUpdate]\r\ns21=No new version of PROG_NAME.\r\n");
  WriteInfo("VersionNew=100\r\nStamp=8\r\n");
  AU::PerformShot();
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].caption, "Attention");
  EXPECT_EQ(g_boxes[0].text, "No new version of Prod.");

  // The same stamp is offered at once to a user check.
  g_boxes.clear();
  WriteOriginal("VersionOriginal=100\r\nStamp=8\r\nReAskSecondsInterval=86400\r\nReAskSecondsLast=" +
                std::to_string(ClockSecondsNow()) + "\r\n");
  WriteInfo("VersionNew=101\r\nStamp=8\r\n" + OfferOf(5000));
  WriteUpdate(5000);
  AU::PerformShot();
  EXPECT_EQ(g_accepted.size(), 1u);
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(StubAUTest, AskBeforeCheckingQuestionForALocalSource) {
  WriteOriginal("VersionOriginal=100\r\nProbeSecondsInterval=-1\r\nProgramName=Prod\r\n",
                "[AutoUpdate]\r\ns22=Check for PROG_NAME?\r\ns23=<P>Internet needed.\r\ns24=<P>Go on?\r\n");
  WriteInfo("VersionNew=100\r\n");
  Stub::TAgentRun& run = Stub::AgentRun();
  run.cycleMode = AU::kCycleUserPending;  // command 31 with value 2
  run.cycleRequest = true;
  g_answer = MsgBox::kIdNo;
  AU::AgentTimerTick();
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].caption, "Confirm");
  EXPECT_EQ(g_boxes[0].text, "Check for Prod?<P>Go on?");  // no s23 for a folder
  EXPECT_FALSE(Traced("GetOkToPerformAU"));  // No: nothing probed
  EXPECT_EQ(run.cycleMode, AU::kCycleAutomatic);
  EXPECT_EQ(run.tickCounter, 1);

  g_boxes.clear();
  g_answer = MsgBox::kIdYes;
  run.cycleMode = AU::kCycleUserPending;
  run.cycleRequest = true;
  AU::AgentTimerTick();
  EXPECT_TRUE(Traced("GetOkToPerformAU = 3"));
  ASSERT_EQ(g_boxes.size(), 2u);  // the question, then the report
  EXPECT_EQ(g_boxes[1].caption, "Attention");
}

TEST_F(StubAUTest, ScheduleThroughTicks) {
  // One-shot: the fourth tick probes, later ticks do not.
  WriteOriginal("VersionOriginal=100\r\nProbeSecondsInterval=0\r\n");
  WriteInfo("VersionNew=100\r\n");
  for (int i = 0; i < 6; ++i) AU::AgentTimerTick();
  const auto& lines = trace->Lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("GetOkToPerformAU = ") != std::string::npos; }),
            1);
  EXPECT_FALSE(Stub::AgentRun().probingEnabled);
  // A cycle request probes once more even so.
  Stub::AgentRun().cycleRequest = true;
  AU::AgentTimerTick();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("GetOkToPerformAU = ") != std::string::npos; }),
            2);
  EXPECT_FALSE(Stub::AgentRun().cycleRequest);
}

TEST_F(StubAUTest, BusyTickIsTurnedAway) {
  Stub::AgentRun().busy = true;
  AU::AgentTimerTick();
  EXPECT_EQ(Stub::AgentRun().tickCounter, -3);
  Stub::AgentRun().busy = false;
  AU::AgentTimerTick();
  EXPECT_EQ(Stub::AgentRun().tickCounter, -2);
  EXPECT_FALSE(Stub::AgentRun().busy);
}

TEST_F(StubAUTest, JunkSettingsDecideByDefaults) {
  // A missing .original and junk values: status 1, nothing offered.
  ::DeleteFileA((agentDir + "\\Prod.original").c_str());
  WriteInfo("VersionNew=abc\r\nStamp=99999999999999999999999\r\nValidVersions= \r\n");
  AU::PerformShot();
  EXPECT_TRUE(Traced("GetOkToPerformAU = 1"));
  // ProbeSecondsInterval of text reads as 0: a one-shot probe.
  WriteOriginal("VersionOriginal=100\r\nProbeSecondsInterval=soon\r\nProbeSecondsLast=junk\r\n");
  for (int i = 0; i < 4; ++i) AU::AgentTimerTick();
  EXPECT_FALSE(Stub::AgentRun().probingEnabled);
  EXPECT_TRUE(g_accepted.empty());
}

TEST_F(StubAUTest, TestModeReadsTheTestFolderAndNoteInTheQuestion) {
  const std::string testDir = scratch.File("testinfo");
  ::CreateDirectoryA(testDir.c_str(), nullptr);
  WriteBytes(testDir + "\\" + kInfoName, "[NewSetup]\r\nDownloadURL_UPDATE=http://127.0.0.1:9/none\r\n"
                                         "NameOfUpdateFile=Setup.exe\r\nVersionNew=101\r\nStamp=8\r\nSizeOfUpdateFile=5000\r\n");
  WriteOriginal("VersionOriginal=100\r\nProbeSecondsInterval=-1\r\n", "[AutoUpdate]\r\ns22=Q1\r\ns23=Q2\r\ns24=Q3\r\n");
  SetTestModeValues("1", AU::DayText(AU::Today()), testDir);
  EXPECT_TRUE(AU::CheckTestMode(true));
  // Test mode never asks the HTTP server for the size: the test folder holds no update.
  const AU::TProbeResult probe = AU::GetOkToPerformAU(AU::DownloadFileAU(infoDir, kInfoName, AU::kKindInfo).ok);
  EXPECT_EQ(probe.status, 5);
  EXPECT_TRUE(Traced("  HttpSize=-1"));
  EXPECT_TRUE(Traced("  URL=" + testDir + "\\Setup.exe"));
  // With the update in the test folder the probe passes.
  WriteBytes(testDir + "\\Setup.exe", std::string(5000, 'u'));
  EXPECT_TRUE(AU::GetOkToPerformAU(true).passed);

  Stub::AgentRun().cycleMode = AU::kCycleUserNow;
  g_answer = MsgBox::kIdNo;
  EXPECT_FALSE(AU::AskBeforeCheckingQuestion());
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, std::string("Q1Q3") + AU::kTestModeNote);

  // Yesterday's date is no test mode.
  SetTestModeValues("1", "01-JAN-2001", testDir);
  EXPECT_FALSE(AU::CheckTestMode(true));
  // A value of the wrong type is no test mode either.
  HKEY key = nullptr;
  ::RegCreateKeyExA(HKEY_CURRENT_USER, kRegKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  const BYTE binary[] = {'1', 0, 0};
  ::RegSetValueExA(key, "TestMode", 0, REG_BINARY, binary, sizeof(binary));
  ::RegCloseKey(key);
  EXPECT_FALSE(AU::CheckTestMode(true));
}

TEST_F(StubAUTest, TestModeIsReadAgainAfterThirtySeconds) {
  Stub::TAgentRun& run = Stub::AgentRun();
  EXPECT_FALSE(AU::CheckTestMode(true));
  SetTestModeValues("1", AU::DayText(AU::Today()), agentDir);
  EXPECT_FALSE(AU::CheckTestMode(false));  // read less than 30 s ago
  run.lastTestQuery = ::GetTickCount() - 30001;
  EXPECT_TRUE(AU::CheckTestMode(false));
}

TEST_F(StubAUTest, UpdateAndInformFilesPassTheTokenCheck) {
  const std::string update = updateDir + "\\Setup.exe";
  BuildAgent(update, kToken, infoDir);
  AU::TDownloadResult r = AU::DownloadFileAU(updateDir, "Setup.exe", AU::kKindUpdate);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(ReadBytes(agentDir + "\\Setup.exe"), ReadBytes(update));

  const std::string stored = Stub::OwnInfo().SecretToken(false);
  WriteBytes(updateDir + "\\News.txt", "x|" + stored + "|a|b|<B>New</B>|more");
  r = AU::DownloadFileAU(updateDir, "News.txt", AU::kKindInform);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(StubAUTest, ForeignOrMissingFilesFailTheTokenCheck) {
  const std::string update = updateDir + "\\Setup.exe";
  BuildAgent(update, "Other-Product", infoDir);
  AU::TDownloadResult r = AU::DownloadFileAU(updateDir, "Setup.exe", AU::kKindUpdate);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, AU::kBadSecretToken);
  EXPECT_FALSE(FileExists(agentDir + "\\Setup.exe"));
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].caption, "Error");

  // A file left by an earlier attempt does not pass for a source that is gone.
  g_boxes.clear();
  BuildAgent(agentDir + "\\Gone.exe", kToken, infoDir);
  r = AU::DownloadFileAU(updateDir, "Gone.exe", AU::kKindUpdate);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, AU::kBadSecretToken);

  // An INFORM file without separators has no token.
  g_boxes.clear();
  WriteBytes(updateDir + "\\News.txt", "just some text without separators");
  r = AU::DownloadFileAU(updateDir, "News.txt", AU::kKindInform);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(g_boxes.size(), 1u);
}

TEST_F(StubAUTest, FetchFailureNoticeOnlyWhenTheDownloadIsConfirmed) {
  WriteBytes(agentDir + "\\" + kInfoName, "[NewSetup]\r\nRequestConfirmationBeforeDownload=1\r\n");
  // The foreign update fails its token check, then the notice (s4 + source) follows.
  BuildAgent(updateDir + "\\Setup.exe", "Other-Product", infoDir);
  const AU::TDownloadResult r = AU::DownloadFileAU(updateDir, "Setup.exe", AU::kKindUpdate);
  EXPECT_FALSE(r.ok);
  ASSERT_EQ(g_boxes.size(), 2u);
  EXPECT_NE(g_boxes[0].text.find(AU::kBadSecretToken), std::string::npos);
  EXPECT_EQ(g_boxes[1].caption, "Attention");
  EXPECT_NE(g_boxes[1].text.find("File not Found!<P><P>" + updateDir + "\\Setup.exe"), std::string::npos);
}

TEST_F(StubAUTest, UnsafeNamesFetchNothing) {
  WriteBytes(updateDir + "\\NUL", "x");
  for (const char* name : {"..", "NUL", "x.exe:stream", ""}) {
    const AU::TDownloadResult r = AU::DownloadFileAU(updateDir, name, AU::kKindUpdate);
    EXPECT_FALSE(r.ok) << name;
  }
  // A path in the name keeps only its name part: the file lands in the agent folder.
  BuildAgent(updateDir + "\\Setup.exe", kToken, infoDir);
  EXPECT_TRUE(AU::DownloadFileAU(updateDir, "..\\..\\Setup.exe", AU::kKindUpdate).ok);
  EXPECT_TRUE(FileExists(agentDir + "\\Setup.exe"));
}

TEST_F(StubAUTest, NotificationsOfTheInfoDownload) {
  HWND listener = ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(listener, nullptr);
  constexpr UINT kMessage = WM_APP + 7;
  Stub::SetListener(reinterpret_cast<uintptr_t>(listener), kMessage);
  WriteInfo("VersionNew=100\r\n");
  AU::PerformShot();
  std::vector<std::pair<WPARAM, LPARAM>> got;
  MSG m;
  while (::PeekMessageA(&m, listener, kMessage, kMessage, PM_REMOVE)) got.emplace_back(m.wParam, m.lParam);
  EXPECT_EQ(got, (std::vector<std::pair<WPARAM, LPARAM>>{{40, 1}, {40, 2}}));
  Stub::AgentRun().infoOnlyRequest = true;
  AU::AgentTimerTick();
  got.clear();
  while (::PeekMessageA(&m, listener, kMessage, kMessage, PM_REMOVE)) got.emplace_back(m.wParam, m.lParam);
  EXPECT_EQ(got, (std::vector<std::pair<WPARAM, LPARAM>>{{40, 1}, {40, 2}}));
  EXPECT_FALSE(Stub::AgentRun().infoOnlyRequest);
  EXPECT_EQ(Stub::AgentRun().tickCounter, -3);  // the info-only tick does not count
  ::DestroyWindow(listener);
}

TEST_F(StubAUTest, AnOriginalFileThatCannotBeWrittenDoesNotMakeEveryTickAProbe) {
  WriteOriginal("VersionOriginal=100\r\nProbeSecondsInterval=3600\r\n");
  WriteInfo("VersionNew=100\r\n");
  const std::string original = agentDir + "\\Prod.original";
  // Held open for reading by another: reads work, writes fail.
  HANDLE held = ::CreateFileA(original.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  for (int i = 0; i < 6; ++i) AU::AgentTimerTick();
  ::CloseHandle(held);
  const auto& lines = trace->Lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("GetOkToPerformAU = ") != std::string::npos; }),
            1);
  EXPECT_EQ(Original("ProbeSecondsLast"), "");
}

TEST_F(StubAUTest, AnEarlierFileThatCannotBeRemovedFailsTheFetch) {
  // The source is empty (nothing to copy): the earlier file would be what the token check reads.
  WriteBytes(updateDir + "\\Setup.exe", "");
  BuildAgent(agentDir + "\\Setup.exe", kToken, infoDir);
  const std::string stale = agentDir + "\\Setup.exe";
  HANDLE held = ::CreateFileA(stale.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const AU::TDownloadResult r = AU::DownloadFileAU(updateDir, "Setup.exe", AU::kKindUpdate);
  ::CloseHandle(held);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("Unable to write"), std::string::npos) << r.error;
}
