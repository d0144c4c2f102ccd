// The setup run end to end (wine64): the built stub with a package around it
// and the test engine as its engine entry. Extraction, the engine's command
// line and exit code, the progress bar at the engine's start, the damaged
// package, the refused temp-space question, runs that start no engine, the
// wait for the engine's dialog, the completion atom and the shortcut removal.
#include "SetupRun_win32.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "package/StubSetup.h"
#include "stub/ExitCodes.h"

#include <commctrl.h>

using namespace stubtest;
using namespace setuprun;

namespace {

TEST_F(SetupRunTest, HiddenRunExtractsStartsEngineAndEndsWithItsExitCode) {
  SetEngineEnv({{"VARNEL_ENGINE_EXIT", "7"}});
  Write(Writer());
  const std::string workDir = WorkDir();
  const std::string args = "/hide /SpanCdLvl=3 /Foo=bar /SpanDiskFName1=" + exe + " /Last=1";

  EXPECT_EQ(Run(args), 7u);

  const std::string text = testsupport::ReadBytes(log);
  ASSERT_FALSE(text.empty()) << "the engine did not run";
  EXPECT_EQ(LogFiles(text), (std::vector<std::string>{"Engine.exe", "notes.txt", "readme.txt"}));

  const std::string commandLine = LogValue(text, "CommandLine");
  const std::string token = TokenOf(commandLine);
  ASSERT_EQ(token.substr(0, 1), "_") << commandLine;
  const std::string tid = token.substr(1);
  ASSERT_FALSE(tid.empty());
  EXPECT_EQ(tid.find_first_not_of("0123456789"), std::string::npos) << tid;
  EXPECT_EQ(commandLine, workDir + "\\Engine.exe /hide /Foo=bar /Last=1 /x /TH_ID=_" + tid + " /OriginExe=\"" +
                             exe + "\"");
  EXPECT_FALSE(Exists(workDir)) << "working directory left behind";
}

TEST_F(SetupRunTest, OwnOriginSwitchIsPassedOnAndNotDoubled) {
  Write(Writer());
  EXPECT_EQ(Run("/hide /OriginExe=\"C:\\first\\Setup.exe\""), 0u);
  const std::string commandLine = LogValue(testsupport::ReadBytes(log), "CommandLine");
  EXPECT_EQ(CountOf(commandLine, "/OriginExe="), 1) << commandLine;
  EXPECT_NE(commandLine.find("/OriginExe=\"C:\\first\\Setup.exe\""), std::string::npos) << commandLine;
}

TEST_F(SetupRunTest, CorruptedPackageShowsBadCrcAndStartsNoEngine) {
  // A package with the real stub is too large for the checksum, so the damage
  // goes into the zlib check of the last (compressed) entry.
  TPackageWriter w = Writer();
  w.AddFile("marker.txt", 0, "the last entry, damaged");
  std::string bytes = w.Build();
  bytes[bytes.size() - PackFormat::kTrailerSize - 3] ^= 0x55;
  testsupport::WriteBytes(exe, bytes);

  ExpectDamagedRun();
}

TEST_F(SetupRunTest, RefusedTempSpaceQuestionEndsWithoutExtracting) {
  TPackageWriter w = Writer();
  w.options = PackFormat::kOptTempDriveNotice;  // asked on every foreground run
  Write(w);
  const std::string workDir = WorkDir();

  ASSERT_TRUE(stub.Start(exe, ""));
  TProc robot(testsupport::BuildPath("tools/ui-robot/ui-robot.exe"),
              "--class VxMsgBox --timeout 45000 --press Cancel --wait-gone");
  EXPECT_EQ(robot.Wait(kRunMs), 0u) << "no temp-space question to answer";
  EXPECT_EQ(stub.Wait(kRunMs), ExitCodes::kCancelled);
  EXPECT_FALSE(Exists(log)) << "the engine was started";
  EXPECT_FALSE(Exists(workDir));
}

TEST_F(SetupRunTest, PackagesThatStartNoEngineEndWithTheirOwnCode) {
  // The "*" of a later header item makes the whole header the engine text, so
  // the engine it names ("|readme.txt|0|Setup.exe") is nothing the package carries.
  const std::string laterItemStar = std::string("|readme.txt|0|Setup.exe*/q|") + '\0' + "more";
  struct TCase {
    const char* name;
    bool withEngine;
    const char* engineBytes;  // nullptr: the test engine
    std::string extraEntry;   // entry text added after the files
    bool download;
    bool startTried;  // the driver tries to start an engine, and fails
    DWORD code;
  };
  const TCase cases[] = {
      {"no engine entry", false, nullptr, "", false, false, ExitCodes::kEngineNotStarted},
      {"engine that cannot start", true, "not a program", "", false, true, ExitCodes::kEngineNotStarted},
      {"empty engine file", true, "", "", false, true, ExitCodes::kEngineNotStarted},
      {"engine text names a file the package lacks", false, nullptr, laterItemStar, false, true,
       ExitCodes::kEngineNotStarted},
      {"download package", true, nullptr, "", true, false, ExitCodes::kDownloadFailed},
  };
  TDebugViewer viewer(dir.File("debug.txt"));
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    exe = dir.File("Setup" + std::to_string(&c - cases) + ".exe");  // a fresh file each run
    TPackageWriter w = c.engineBytes ? Writer(c.withEngine, c.engineBytes) : Writer(c.withEngine);
    if (!c.extraEntry.empty()) w.AddRawBlock(PackWrite::EntryBlock(c.extraEntry, 6));
    w.downloadSetup = c.download;
    Write(w);
    const size_t seen = viewer.Text().size();
    // A download package without a download block reports the missing setup file name in a box.
    std::optional<stubtest::TBoxAnswerer> answerer;
    if (c.download) answerer.emplace();
    EXPECT_EQ(Run("/hide"), c.code);
    EXPECT_FALSE(Exists(log));
    EXPECT_FALSE(Exists(WorkDir()));
    EXPECT_EQ(TempContents(), std::vector<std::string>{}) << "left in the temp folder";
    if (c.startTried) {
      EXPECT_TRUE(viewer.WaitFor("==== WinExec(Engine.exe) >>", 5000, seen));
      EXPECT_TRUE(viewer.WaitFor("Engine could not be started", 5000, seen));
    } else {
      const std::string text = viewer.Text().substr(seen);
      EXPECT_EQ(text.find("WinExec"), std::string::npos) << text;
    }
  }
}

// The progress bar of process pid's main window, shown or not.
HWND BarOfProcess(DWORD pid) {
  HWND bar = nullptr;
  FindTopOf(pid, [&](HWND window) {
    return (bar = ::FindWindowExA(window, nullptr, "msctls_progress32", nullptr)) != nullptr;
  });
  return bar;
}

TEST_F(SetupRunTest, TheBarStandsAtTheLastFileWhenTheEngineStarts) {
  // Many small files extract faster than the window is pumped: the steps
  // gathered meanwhile must all reach the bar.
  SetEngineEnv({{"VARNEL_ENGINE_SLEEP", "3000"}});
  TPackageWriter w = Writer();
  constexpr int kExtraFiles = 40;
  for (int i = 0; i < kExtraFiles; ++i) w.AddFile("file" + std::to_string(i) + ".txt", 0, "text " + std::to_string(i));
  Write(w);
  ASSERT_TRUE(stub.Start(exe, "/hide"));
  ASSERT_TRUE(WaitForFileText(log, "StartTime=", kRunMs)) << "the engine did not start";
  HWND bar = BarOfProcess(stub.Id());
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(::SendMessageA(bar, PBM_GETPOS, 0, 0), kExtraFiles + 3);
  EXPECT_EQ(stub.Wait(kRunMs), 0u);
}

TEST_F(SetupRunTest, EngineDialogKeepsTheStubWaiting) {
  SetEngineEnv({{"VARNEL_ENGINE_DIALOG", "5000"}, {"VARNEL_ENGINE_DIALOGPROCESS", "1"}, {"VARNEL_ENGINE_EXIT", "3"}});
  Write(Writer());
  ASSERT_TRUE(stub.Start(exe, "/hide"));

  ASSERT_TRUE(WaitForFileText(log, "/TH_ID=_", kRunMs));
  const std::string token = TokenOf(LogValue(testsupport::ReadBytes(log), "CommandLine"));
  const std::string dialogClass = StubSetup::EngineDialogClass(token);

  ASSERT_NE(WaitForWindow(dialogClass, 20000), nullptr);
  int stillRunning = 0, ended = 0;
  while (FindTop(dialogClass)) {
    (stub.Running() ? stillRunning : ended)++;
    WaitUntil([] { return false; }, 200);
  }
  EXPECT_GT(stillRunning, 0);
  EXPECT_EQ(ended, 0) << "the stub ended while the engine's dialog was open";
  EXPECT_EQ(stub.Wait(kRunMs), 3u);
}

TEST_F(SetupRunTest, CompletionAtomDecidesTheShortcutRemoval) {
  struct TCase {
    const char* name;
    bool removeAtom;
    const char* removeCheckLink;
    bool startGone;
    bool checkGone;
  };
  const TCase cases[] = {
      {"atom left: not completed", false, "1", false, false},
      {"atom removed: both shortcuts", true, "1", true, true},
      {"atom removed: only the start-up shortcut", true, "0", true, false},
  };
  const std::string startLink = dir.File("start.lnk");
  const std::string checkLink = dir.File("check.lnk");
  testsupport::WriteBytes(dir.File("Foo.original"),
                          "[UnInstall]\r\nStartUpLink=" + startLink + "\r\nCheckforNewUpdateLink=" + checkLink + "\r\n");
  Write(Writer());
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::WriteBytes(startLink, "link");
    testsupport::WriteBytes(checkLink, "link");
    testsupport::WriteBytes(dir.File("Foo.info"), std::string("[NewSetup]\r\nRemoveStartUpShortcut=1\r\n") +
                                                      "RemoveCheckForNewUpdateShortcut=" + c.removeCheckLink +
                                                      "\r\n");
    SetEngineEnv({{"VARNEL_ENGINE_REMOVEATOM", c.removeAtom ? "1" : "0"}});
    EXPECT_EQ(Run("/hide"), 0u);
    EXPECT_EQ(Exists(startLink), !c.startGone);
    EXPECT_EQ(Exists(checkLink), !c.checkGone);
  }
}

}  // namespace
