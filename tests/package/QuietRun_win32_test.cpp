// Quiet setup runs end to end (wine): /QUIET shows no window at all, answers
// every box as nobody is there to (a disk prompt with Cancel), writes each
// message without markup to the /LOG= file with the run's start and exit
// code, and ends with the exit code that says what happened.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "SetupRun_win32.h"
#include "TempSpace_win32.h"
#include "package/PackX.h"
#include "stub/ExitCodes.h"

using namespace stubtest;
using namespace setuprun;

namespace {

// What a quiet run left: its exit code, whether any window of the stub
// (a visible top-level window or a message box, shown or not) was seen.
struct TQuietOutcome {
  DWORD code = kNotEnded;
  std::vector<std::string> windows;
};

// Waits for the stub's end, watching for any window of it.
TQuietOutcome WatchQuietRun(TProc& stub) {
  TQuietOutcome out;
  WaitUntil(
      [&] {
        std::vector<std::string> seen = VisibleTopWindowsOf(stub.Id());
        if (FindBoxOf(stub.Id(), false)) seen.push_back(kBoxClass);
        for (const std::string& w : seen)
          if (out.windows.empty() || out.windows.back() != w) out.windows.push_back(w);
        return !stub.Running();
      },
      kRunMs);
  out.code = stub.Wait(1000);
  return out;
}

// The messages of a quiet log: its lines without their time stamps.
std::vector<std::string> LogLines(const std::string& path) {
  const std::string text = testsupport::ReadBytes(path);
  const std::regex line(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d (.*)\r\n)");
  std::vector<std::string> lines;
  for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) lines.push_back((*it)[1]);
  return lines;
}

// A package whose last entry fails its zlib check.
std::string Damaged(TPackageWriter w) {
  w.AddFile("marker.txt", 0, "the last entry, damaged");
  std::string bytes = w.Build();
  bytes[bytes.size() - PackFormat::kTrailerSize - 3] ^= 0x55;
  return bytes;
}

const char* const kBadCrc = "Error: Bad CRC! This indicates that your setup file might be corrupted...";

class QuietRunTest : public SetupRunTest {
 protected:
  std::string quietLog = dir.File("quiet setup.log");

  TQuietOutcome RunQuiet(const std::string& args) {
    EXPECT_TRUE(stub.Start(exe, args));
    return WatchQuietRun(stub);
  }

  // The log: the start line with the command line, the messages, the exit code.
  void ExpectLog(const std::vector<std::string>& messages, DWORD code) {
    std::vector<std::string> lines = LogLines(quietLog);
    ASSERT_GE(lines.size(), 2u) << testsupport::ReadBytes(quietLog);
    EXPECT_EQ(lines.front().rfind("Quiet run: \"" + exe + "\" ", 0), 0u) << lines.front();
    EXPECT_EQ(lines.back(), "Exit code " + std::to_string(code));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end() - 1), messages);
  }
};

TEST_F(QuietRunTest, ADamagedPackageEndsWithoutAWindowAndWithItsCodeAndLogLine) {
  testsupport::WriteBytes(exe, Damaged(Writer()));
  const TQuietOutcome out = RunQuiet("/QUIET /LOG=\"" + quietLog + "\"");
  EXPECT_EQ(out.code, ExitCodes::kDamagedPackage);
  EXPECT_EQ(out.windows, std::vector<std::string>{});
  ExpectLog({kBadCrc}, ExitCodes::kDamagedPackage);
  EXPECT_FALSE(Exists(log)) << "the engine was started";
  EXPECT_FALSE(Exists(WorkDir()));
}

TEST_F(QuietRunTest, AMissingVolumeIsNotAskedForAndEndsAsCancelled) {
  TPackageWriter w = Writer();
  w.options = PackFormat::kOptMoreVolumes;  // a second volume that is not there
  Write(w);
  ASSERT_FALSE(Exists(PackFormat::VolumeName(exe, 2)));
  const TQuietOutcome out = RunQuiet("/QUIET /LOG=\"" + quietLog + "\"");
  EXPECT_EQ(out.code, ExitCodes::kCancelled);
  EXPECT_EQ(out.windows, std::vector<std::string>{});
  ExpectLog({"Attention: Please insert DISK #2 and press OK to continue -> Cancel"}, ExitCodes::kCancelled);
  EXPECT_FALSE(Exists(log)) << "the engine was started";
  EXPECT_EQ(TempContents(), std::vector<std::string>{}) << "left in the temp folder";
}

TEST_F(QuietRunTest, AFileThatCannotBeWrittenEndsTheRunAsAFailedExtraction) {
  // "sub" is written as a file, so the folder that "sub\inner.txt" needs cannot be made.
  TPackageWriter w = Writer();
  w.AddFile("sub", 0, "a file where a folder should be");
  w.AddFile("sub\\inner.txt", 0, "cannot be written");
  Write(w);
  const std::string workDir = WorkDir();
  const TQuietOutcome out = RunQuiet("/QUIET /LOG=\"" + quietLog + "\"");
  EXPECT_EQ(out.code, ExitCodes::kExtractionFailed);
  EXPECT_EQ(out.windows, std::vector<std::string>{});
  const std::vector<std::string> lines = LogLines(quietLog);
  ASSERT_EQ(lines.size(), 3u) << testsupport::ReadBytes(quietLog);
  EXPECT_EQ(lines[1].rfind("Error: " + workDir + "\\sub\\inner.txt Unable to save Extracted File! ", 0), 0u)
      << lines[1];
  EXPECT_NE(lines[1].find("Data Size: 17 Bytes"), std::string::npos) << lines[1];
  EXPECT_EQ(lines[2], "Exit code " + std::to_string(ExitCodes::kExtractionFailed));
  EXPECT_FALSE(Exists(log)) << "the engine was started";
}

TEST_F(QuietRunTest, QuietWithHideOrTheBackgroundFlagIsTheSameQuietRun) {
  struct TCase {
    const char* args;
    bool background;
  } cases[] = {
      {"/QUIET /hide", false},
      {"/hide /quiet", false},
      {"/QUIET", true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.args);
    exe = dir.File("Setup" + std::to_string(&c - cases) + ".exe");
    TPackageWriter w = Writer();
    w.infoBlock = InfoBlock(c.background);
    testsupport::WriteBytes(exe, Damaged(w));
    ::DeleteFileA(quietLog.c_str());
    const TQuietOutcome out = RunQuiet(std::string(c.args) + " /LOG=\"" + quietLog + "\"");
    EXPECT_EQ(out.code, ExitCodes::kDamagedPackage);
    EXPECT_EQ(out.windows, std::vector<std::string>{});
    ExpectLog({kBadCrc}, ExitCodes::kDamagedPackage);
  }
}

TEST_F(QuietRunTest, AGoodPackageRunsItsEngineHiddenAndPassesTheSwitchOn) {
  SetEngineEnv({{"VARNEL_ENGINE_EXIT", "7"}});
  Write(Writer());
  const TQuietOutcome out = RunQuiet("/QUIET /LOG=\"" + quietLog + "\" /Foo=bar");
  EXPECT_EQ(out.code, 7u);
  EXPECT_EQ(out.windows, std::vector<std::string>{});
  ExpectLog({}, 7);
  const std::string commandLine = LogValue(testsupport::ReadBytes(log), "CommandLine");
  EXPECT_NE(commandLine.find("Engine.exe /QUIET /LOG=\"" + quietLog + "\" /Foo=bar /x /TH_ID="), std::string::npos)
      << commandLine;
}

TEST_F(QuietRunTest, ALogThatCannotBeWrittenIsTracedAndTheRunGoesOn) {
  SetEngineEnv({{"VARNEL_ENGINE_EXIT", "7"}});
  testsupport::WriteBytes(dir.File("blocker"), "a file, not a folder");
  const std::string badLog = dir.File("blocker") + "\\setup.log";
  Write(Writer());
  TDebugViewer viewer(dir.File("debug.txt"));
  const TQuietOutcome out = RunQuiet("/QUIET /LOG=\"" + badLog + "\"");
  EXPECT_EQ(out.code, 7u);
  EXPECT_EQ(out.windows, std::vector<std::string>{});
  EXPECT_TRUE(Exists(log)) << "the engine did not run";
  EXPECT_TRUE(viewer.WaitFor("Quiet run: the log " + badLog + " cannot be written; the run goes on without it"));
  EXPECT_FALSE(Exists(badLog));
}

class QuietTempSpaceTest : public tempspace::TempSpaceTest {};

TEST_F(QuietTempSpaceTest, ATempDriveShortOfRoomEndsAsAFailedExtractionWithoutAWindow) {
  const std::string quietLog = dir.File("quiet.log");
  TPackageWriter w = Writer();
  w.AddFile("big.dat", 0, tempspace::Incompressible(tempspace::kBigSize));
  Write(w);
  const double freeBefore = tempspace::FreeBytesOfD();
  ASSERT_GE(TGFileInfo(exe).SpaceRequired(smallTemp), freeBefore) << "the package fits on the small drive";

  ASSERT_TRUE(stub.Start(exe, "/QUIET /LOG=\"" + quietLog + "\""));
  const TQuietOutcome out = WatchQuietRun(stub);
  EXPECT_EQ(out.code, ExitCodes::kExtractionFailed);
  EXPECT_EQ(out.windows, std::vector<std::string>{});
  const std::vector<std::string> lines = LogLines(quietLog);
  ASSERT_EQ(lines.size(), 3u) << testsupport::ReadBytes(quietLog);
  EXPECT_EQ(lines[1].rfind("Error: " + WorkDir() + "\\big.dat Unable to save Extracted File! ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2], "Exit code " + std::to_string(ExitCodes::kExtractionFailed));
  EXPECT_FALSE(Exists(log)) << "the engine was started";
  ExpectNothingLeft(freeBefore);
  EXPECT_TRUE(cTemp->Intact());
}

}  // namespace
