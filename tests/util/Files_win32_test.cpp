// File utilities on Win32 (under wine64): attributes, drives, free space, CD
// eject and the self-deleting batch file with a real program.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "TestSupport.h"
#include "stub/VxDebug.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/SysInfo.h"
#include "util/Win.h"

namespace {

using testsupport::TScratchDir;
using testsupport::WriteBytes;

TEST(FilesWin32, ReadOnlyFilesGoOnlyWithClearedAttributes) {
  TScratchDir dir;
  const std::string root = dir.File("tree");
  ASSERT_TRUE(Files::CreateDirTree(root + "\\sub"));
  const std::string locked = root + "\\sub\\locked.txt";
  WriteBytes(locked, "read only");
  ASSERT_TRUE(::SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

  EXPECT_FALSE(Files::DeleteTree(root, false));
  EXPECT_TRUE(FileExists(locked));
  EXPECT_TRUE(Files::DeleteTree(root, true));
  EXPECT_FALSE(DirExists(root));
}

TEST(FilesWin32, DeleteFilesFindsHiddenAndSystemFiles) {
  TScratchDir dir;
  const std::string hidden = dir.File("h.dat");
  WriteBytes(hidden, "x");
  ASSERT_TRUE(::SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  EXPECT_TRUE(Files::DeleteFiles(dir.Path() + "\\*.dat", true));
  EXPECT_FALSE(FileExists(hidden));
}

TEST(FilesWin32, FreeSpaceOfAServerRootIsZero) {
  EXPECT_EQ(Files::DiskFreeBytes("\\\\nosuchserver\\share\\dir"), 0.0);
  EXPECT_EQ(Files::platform::ClassicDiskFreeBytes("\\\\nosuchserver\\share\\dir"), 0.0);
  EXPECT_EQ(Files::DiskFreeBytes(""), 0.0);
  EXPECT_GT(Files::DiskFreeBytes("C:\\"), 0.0);
}

TEST(FilesWin32, EjectCDOnAFixedDiskOpensNothing) {
  VxDebug::TTraceCapture trace;
  ASSERT_EQ(Files::platform::DriveType('C'), Files::kDriveFixed);
  EXPECT_FALSE(Files::EjectCD("C:\\Windows"));
  EXPECT_FALSE(Files::EjectCD("1:\\"));
  EXPECT_FALSE(Files::EjectCD(""));
  EXPECT_TRUE(trace.Lines().empty());  // no "EjectCD-2" trace: no device was opened
}

TEST(FilesWin32, FindDirOnDrivesTakesAnAbsolutePathAsIs) {
  TScratchDir dir;
  const std::string path = dir.Path();
  ASSERT_GE(path.size(), 3u);
  ASSERT_EQ(path.substr(1, 2), ":\\");
  const int type = Files::platform::DriveType(path[0]);
  EXPECT_EQ(Files::FindDirOnDrives(path, type), path);
  EXPECT_EQ(Files::FindDirOnDrives(path, Files::kDriveCDRom == type ? 2 : Files::kDriveCDRom), "");
  EXPECT_EQ(Files::FindDirOnDrives(path + "\\missing", type), "");
  // No drive of type 6 (RAM disk) here: the drive scans find nothing.
  EXPECT_EQ(Files::FindDirOnDrives("windows", 6), "");
  EXPECT_EQ(Files::FindFileOnDrives("win.ini", 6), "");
}

TEST(FilesWin32, DriveScansFindAFileAndAFolderOnDriveC) {
  ASSERT_EQ(Files::platform::DriveType('C'), Files::kDriveFixed);
  const std::string unique = "varnel_scan_" + std::to_string(::GetCurrentProcessId()) + "_" +
                             std::to_string(::GetTickCount());
  const std::string root = "C:\\" + unique;
  ASSERT_TRUE(Files::CreateDirTree(root + "\\Inner Folder\\" + unique + "_dir"));
  ASSERT_TRUE(Files::WriteFile(root + "\\Inner Folder\\" + unique + ".txt", "found"));
  // Drive C comes first, so the scan never reaches the other drives.
  EXPECT_EQ(Files::FindFileOnDrives(unique + ".txt", Files::kDriveFixed),
            root + "\\Inner Folder\\" + unique + ".txt");
  EXPECT_EQ(Files::FindDirOnDrives(unique + "_DIR", Files::kDriveFixed), root + "\\Inner Folder\\" + unique + "_dir");
  EXPECT_TRUE(Files::DeleteTree(root));
}

// --- the self-deleting batch file with a real program ---

bool WaitUntil(const std::function<bool()>& done, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    if (done()) return true;
    ::Sleep(100);
  }
  return done();
}

// Runs a copy of the helper program from a folder with blanks in its name
// and reports whether the program (and its folder) went away afterwards.
class SelfDelete : public ::testing::Test {
 protected:
  void SetUp() override {
    helper_ = testsupport::BuildPath("tools/test-selfdelete/test-selfdelete.exe");
    ASSERT_TRUE(FileExists(helper_)) << helper_;
    folder_ = dir_.File("self delete folder");
    ASSERT_TRUE(Files::CreateDirTree(folder_));
    exe_ = folder_ + "\\self delete copy.exe";
    ASSERT_TRUE(::CopyFileA(helper_.c_str(), exe_.c_str(), FALSE));
  }

  void Run(const std::string& args) {
    std::string command = "\"" + exe_ + "\" " + args;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 dir_.Path().c_str(), &startup, &process));
    THandle thread(process.hThread), handle(process.hProcess);
    ASSERT_EQ(::WaitForSingleObject(handle.Get(), 20000), WAIT_OBJECT_0);
  }

  void TearDown() override {
    // The batch file deletes itself last; the next test writes a new one.
    WaitUntil([] { return !FileExists(TempDir(true) + "_DEL_ME_.BAT"); }, 10);
  }

  TScratchDir dir_;
  std::string helper_, folder_, exe_;
};

TEST_F(SelfDelete, TheProgramAndItsFolderGoAfterItExits) {
  Run("/delete /rd");
  EXPECT_TRUE(WaitUntil([&] { return !FileExists(exe_) && !DirExists(folder_); }, 20));
}

TEST_F(SelfDelete, WithoutTheFolderFlagTheFolderStays) {
  WriteBytes(folder_ + "\\other file.txt", "stays");
  Run("/delete");
  EXPECT_TRUE(WaitUntil([&] { return !FileExists(exe_); }, 20));
  ::Sleep(500);
  EXPECT_TRUE(DirExists(folder_));
  EXPECT_TRUE(FileExists(folder_ + "\\other file.txt"));
}

TEST_F(SelfDelete, ShortNamesWorkForAFolderWithBlanks) {
  Run("/delete /rd /short");
  EXPECT_TRUE(WaitUntil([&] { return !FileExists(exe_) && !DirExists(folder_); }, 20));
}

TEST_F(SelfDelete, WithoutTheSwitchTheProgramStays) {
  Run("");
  ::Sleep(1000);
  EXPECT_TRUE(FileExists(exe_));
}

}  // namespace
