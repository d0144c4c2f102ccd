// The working directory of a setup run against other runs (wine64): two
// copies of one setup whose files have the same time, a folder that another
// run holds, a left-over that cannot be emptied, and no free name at all.
#include "SetupRun_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "stub/ExitCodes.h"
#include "stub/Stub.h"

using namespace stubtest;
using namespace setuprun;

namespace {

// What a running stub does to the folder it works in: open, sharing read and
// write but not delete.
THandle HoldFolder(const std::string& dir) {
  return THandle(::CreateFileA(dir.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// A file kept open without delete sharing (a program still using it).
THandle LockedFile(const std::string& path) {
  return THandle(
      ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool IsFixedDrive(char letter) {
  const std::string root = std::string(1, letter) + ":\\";
  return ::GetDriveTypeA(root.c_str()) == DRIVE_FIXED;
}

class WorkDirRunTest : public SetupRunTest {
 protected:
  std::string EngineDirOf(const std::string& engineLog) {
    std::string dir;
    WaitUntil([&] { return !(dir = LogValue(testsupport::ReadBytes(engineLog), "EngineDir")).empty(); }, kRunMs);
    return dir;
  }
};

TEST_F(WorkDirRunTest, TwoCopiesOfOneSetupWithTheSameFileTimeWorkInFoldersOfTheirOwn) {
  Write(Writer());
  const std::string otherDir = dir.File("copy");
  ASSERT_TRUE(::CreateDirectoryA(otherDir.c_str(), nullptr));
  const std::string second = otherDir + "\\Setup.exe";
  ASSERT_TRUE(::CopyFileA(exe.c_str(), second.c_str(), FALSE));  // keeps the file time
  ASSERT_EQ(FileDosDate(second), FileDosDate(exe));
  const std::string first = WorkDir();
  const std::string logA = dir.File("a.log"), logB = dir.File("b.log");

  TProc a(exe, "/hide /EngineLog=" + logA + " /EngineSleep=20000");
  ASSERT_EQ(EngineDirOf(logA), first);
  TProc b(second, "/hide /EngineLog=" + logB + " /EngineExit=9");
  EXPECT_EQ(b.Wait(kRunMs), 9u);
  EXPECT_EQ(EngineDirOf(logB), first + "_1");
  EXPECT_FALSE(Exists(first + "_1")) << "the second run left its folder";

  // The first run's files are all there while its engine runs.
  ASSERT_TRUE(a.Running()) << "the engine ended too early for this test";
  std::vector<std::string> files = NamesIn(first);
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"Engine.exe", "notes.txt", "readme.txt"}));
  EXPECT_EQ(a.Wait(kRunMs), 0u);
  EXPECT_FALSE(Exists(first));
  EXPECT_TRUE(TempContents().empty());
}

TEST_F(WorkDirRunTest, AHeldFolderAndALockedLeftOverAreSkipped) {
  Write(Writer());
  const std::string first = WorkDir();
  ASSERT_TRUE(::CreateDirectoryA(first.c_str(), nullptr));
  testsupport::WriteBytes(first + "\\theirs.txt", "another run's file");
  const THandle held = HoldFolder(first);
  ASSERT_TRUE(held.Valid());
  const std::string leftOver = first + "_1";
  ASSERT_TRUE(::CreateDirectoryA(leftOver.c_str(), nullptr));
  const THandle locked = LockedFile(leftOver + "\\in use.dat");
  ASSERT_TRUE(locked.Valid());

  TDebugViewer viewer(dir.File("debug.txt"));
  EXPECT_EQ(Run("/hide"), 0u);
  EXPECT_EQ(LogValue(testsupport::ReadBytes(log), "EngineDir"), first + "_2");
  EXPECT_FALSE(Exists(first + "_2"));
  EXPECT_EQ(testsupport::ReadBytes(first + "\\theirs.txt"), "another run's file");
  EXPECT_TRUE(Exists(leftOver + "\\in use.dat"));
  const std::string pid = std::to_string(stub.Id());
  EXPECT_TRUE(viewer.WaitFor(pid + " Working directory " + first + " not used: in use by another run"));
  EXPECT_TRUE(viewer.WaitFor(pid + " Working directory " + leftOver + " not used: could not be emptied"));
}

TEST_F(WorkDirRunTest, WithNoNameFreeAndNoOtherDriveTheRunEndsWithTheExtractionCode) {
  if (IsFixedDrive('D') || IsFixedDrive('E')) GTEST_SKIP() << "another fixed drive could take the run";
  if (toupper(static_cast<unsigned char>(temp.Path()[0])) != 'C') GTEST_SKIP() << "the temp folder is not on C:";
  Write(Writer());
  std::vector<THandle> holds;
  for (int i = 0; i < Stub::kWorkingDirectoryNames; ++i) {
    const std::string name = Stub::WorkingDirectoryCandidate(WorkDir(), i);
    ASSERT_TRUE(::CreateDirectoryA(name.c_str(), nullptr)) << name;
    testsupport::WriteBytes(name + "\\theirs.txt", "x");
    holds.push_back(HoldFolder(name));
    ASSERT_TRUE(holds.back().Valid()) << name;
  }
  TDebugViewer viewer(dir.File("debug.txt"));
  EXPECT_EQ(Run("/hide"), ExitCodes::kExtractionFailed);
  EXPECT_FALSE(Exists(log)) << "the engine was started";
  EXPECT_TRUE(viewer.WaitFor(std::to_string(stub.Id()) + " Working directory could not be created anew, the run ends"));
  for (int i = 0; i < Stub::kWorkingDirectoryNames; ++i)
    EXPECT_TRUE(Exists(Stub::WorkingDirectoryCandidate(WorkDir(), i) + "\\theirs.txt")) << i;
}

}  // namespace
