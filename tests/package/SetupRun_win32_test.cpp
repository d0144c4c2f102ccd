// The setup run end to end (wine64): the built stub with a package around it
// and the test engine as its engine entry. Extraction, the engine's command
// line and exit code, the damaged package, the refused temp-space question,
// runs that start no engine, the wait for the engine's dialog, the
// completion atom and the shortcut removal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "../stub/StubRun_win32.h"
#include "package/StubSetup.h"
#include "stub/ExitCodes.h"
#include "stub/Stub.h"
#include "util/FileIO.h"

using namespace stubtest;
using testsupport::TScratchDir;

namespace {

constexpr int kRunMs = 60000;

std::string TempPath() {
  char path[MAX_PATH * 2] = {0};
  ::GetTempPathA(sizeof(path), path);
  return path;
}

const std::string& EngineImage() {
  static const std::string image =
      testsupport::ReadBytes(testsupport::BuildPath("tools/test-engine/test-engine.exe"));
  return image;
}

// Value of the first "key=" line of a key=value log.
std::string LogValue(const std::string& log, const std::string& key) {
  size_t p = log.find(key + "=");
  if (p == std::string::npos) return "";
  p += key.size() + 1;
  return log.substr(p, log.find_first_of("\r\n", p) - p);
}

std::vector<std::string> LogFiles(const std::string& log) {
  std::vector<std::string> files;
  for (size_t p = log.find("File="); p != std::string::npos; p = log.find("File=", p + 1)) {
    size_t end = log.find('|', p);
    files.push_back(log.substr(p + 5, end - p - 5));
  }
  return files;
}

struct TEnv {
  const char* name;
  std::string value;
};

class SetupRunTest : public ::testing::Test {
 protected:
  TScratchDir dir;
  TScratchDir temp;
  TTempEnv env{temp.Path()};
  std::string exe = dir.File("Setup.exe");
  std::string log = dir.File("engine.log");
  TProc stub;

  void SetUp() override { SetEngineEnv({{"VARNEL_ENGINE_LOG", log}}); }

  void TearDown() override {
    stub.Kill();
    KillAllNamed("Engine.exe");
    for (const char* name : {"VARNEL_ENGINE_LOG", "VARNEL_ENGINE_EXIT", "VARNEL_ENGINE_REMOVEATOM",
                             "VARNEL_ENGINE_DIALOG", "VARNEL_ENGINE_DIALOGPROCESS"})
      ::SetEnvironmentVariableA(name, nullptr);
  }

  static void SetEngineEnv(const std::vector<TEnv>& vars) {
    for (const TEnv& v : vars) ::SetEnvironmentVariableA(v.name, v.value.c_str());
  }

  // Package: two files and, unless told otherwise, the test engine with "/x".
  TPackageWriter Writer(bool withEngine = true, const std::string& engineBytes = EngineImage()) {
    TPackageWriter w;
    w.stubImage = StubImage();
    w.languageBlock = PackWrite::LanguageBlock({{"English", {"Charset=0", "FontSize=8", "FontName=Tahoma"}}});
    w.infoBlock = PackWrite::InfoBlock("http://localhost/", "Foo.info", "Foo.AutoUpdate.exe", "", false);
    w.AddFile("readme.txt", 0, "read me");
    w.AddFile("notes.txt", 0, "some notes of the product");
    if (withEngine) w.AddFile("Engine.exe*/x", 0, engineBytes);
    return w;
  }

  void Write(const TPackageWriter& w) { testsupport::WriteBytes(exe, w.Build()); }

  std::string WorkDir() const { return Stub::WorkingDirectoryName(TempPath(), FileDosDate(exe)); }

  DWORD Run(const std::string& args) {
    EXPECT_TRUE(stub.Start(exe, args));
    return stub.Wait(kRunMs);
  }
};

TEST_F(SetupRunTest, HiddenRunExtractsStartsEngineAndEndsWithItsExitCode) {
  SetEngineEnv({{"VARNEL_ENGINE_EXIT", "7"}});
  Write(Writer());
  const std::string workDir = WorkDir();
  const std::string args = "/hide /SpanCdLvl=3 /Foo=bar /SpanDiskFName1=" + exe + " /Last=1";

  EXPECT_EQ(Run(args), 7u);

  const std::string text = testsupport::ReadBytes(log);
  ASSERT_FALSE(text.empty()) << "the engine did not run";
  std::vector<std::string> files = LogFiles(text);
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"Engine.exe", "notes.txt", "readme.txt"}));

  const std::string commandLine = LogValue(text, "CommandLine");
  const size_t id = commandLine.find("/TH_ID=_");
  ASSERT_NE(id, std::string::npos) << commandLine;
  const size_t digits = id + 8;
  const size_t end = commandLine.find(' ', digits);
  const std::string tid = commandLine.substr(digits, end - digits);
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
  const std::string workDir = WorkDir();

  ASSERT_TRUE(stub.Start(exe, "/hide"));
  TProc robot(testsupport::BuildPath("tools/ui-robot/ui-robot.exe"),
              "--class VxMsgBox --timeout 45000 --press OK --wait-gone");
  EXPECT_EQ(robot.Wait(kRunMs), 0u) << "no error box to answer";
  EXPECT_EQ(stub.Wait(kRunMs), ExitCodes::kDamagedPackage);
  EXPECT_FALSE(Exists(log)) << "the engine was started";
  EXPECT_FALSE(Exists(workDir));
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
  struct TCase {
    const char* name;
    bool withEngine;
    const char* engineBytes;  // nullptr: the test engine
    bool download;
    DWORD code;
  };
  const TCase cases[] = {
      {"no engine entry", false, nullptr, false, ExitCodes::kEngineNotStarted},
      {"engine that cannot start", true, "not a program", false, ExitCodes::kEngineNotStarted},
      {"download package", true, nullptr, true, ExitCodes::kDownloadFailed},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    exe = dir.File("Setup" + std::to_string(&c - cases) + ".exe");  // a fresh file each run
    TPackageWriter w = c.engineBytes ? Writer(c.withEngine, c.engineBytes) : Writer(c.withEngine);
    w.downloadSetup = c.download;
    Write(w);
    EXPECT_EQ(Run("/hide"), c.code);
    EXPECT_FALSE(Exists(log));
    EXPECT_FALSE(Exists(WorkDir()));
  }
}

TEST_F(SetupRunTest, EngineDialogKeepsTheStubWaiting) {
  SetEngineEnv({{"VARNEL_ENGINE_DIALOG", "5000"}, {"VARNEL_ENGINE_DIALOGPROCESS", "1"}, {"VARNEL_ENGINE_EXIT", "3"}});
  Write(Writer());
  ASSERT_TRUE(stub.Start(exe, "/hide"));

  ASSERT_TRUE(WaitForFileText(log, "/TH_ID=_", kRunMs));
  const std::string commandLine = LogValue(testsupport::ReadBytes(log), "CommandLine");
  const size_t id = commandLine.find("/TH_ID=") + 7;
  const std::string token = commandLine.substr(id, commandLine.find(' ', id) - id);
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
