// File utilities on Win32 (under wine64): attributes, links, drives, free
// space, CD eject and copies over read-only files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "stub/VxDebug.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/SysInfo.h"
#include "util/Win.h"

#include <winioctl.h>

namespace {

using testsupport::ReadBytes;
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

// --- links given as the folder to delete ---

// Layout of a mount-point (junction) reparse buffer.
struct TMountPointBuffer {
  DWORD tag;
  WORD dataLength;
  WORD reserved;
  WORD substituteOffset, substituteLength, printOffset, printLength;
  WCHAR paths[1];
};

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size() + 1, L'\0');
  int n = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
  wide.resize(n > 0 ? n - 1 : 0);
  return wide;
}

// Turns the empty folder `link` into a junction to `target` with the
// platform's own request; false where the platform makes no junctions.
bool MakeJunction(const std::string& link, const std::string& target) {
  if (!::CreateDirectoryA(link.c_str(), nullptr)) return false;
  THandle handle(::CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle) return false;
  const std::wstring substitute = L"\\??\\" + Wide(target), print = Wide(target);
  std::vector<char> buffer(sizeof(TMountPointBuffer) + (substitute.size() + print.size() + 2) * sizeof(WCHAR));
  auto* mount = reinterpret_cast<TMountPointBuffer*>(buffer.data());
  mount->tag = IO_REPARSE_TAG_MOUNT_POINT;
  mount->substituteLength = static_cast<WORD>(substitute.size() * sizeof(WCHAR));
  mount->printOffset = static_cast<WORD>(mount->substituteLength + sizeof(WCHAR));
  mount->printLength = static_cast<WORD>(print.size() * sizeof(WCHAR));
  std::copy(substitute.begin(), substitute.end(), mount->paths);
  std::copy(print.begin(), print.end(), mount->paths + substitute.size() + 1);
  mount->dataLength = static_cast<WORD>(4 * sizeof(WORD) + mount->printOffset + mount->printLength + sizeof(WCHAR));
  DWORD returned = 0;
  const DWORD size = 8 + mount->dataLength;
  return ::DeviceIoControl(handle.Get(), FSCTL_SET_REPARSE_POINT, mount, size, nullptr, 0, &returned, nullptr) &&
         Files::platform::IsLink(link);
}

// A directory symbolic link, where the platform allows one.
bool MakeDirectoryLink(const std::string& link, const std::string& target) {
  const DWORD unprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  return ::CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY | unprivileged) &&
         Files::platform::IsLink(link);
}

TEST(FilesWin32, ALinkOrJunctionGivenAsTheFolderGoesAsALink) {
  struct TCase {
    const char* name;
    bool (*make)(const std::string& link, const std::string& target);
    const char* suffix;
  };
  const TCase cases[] = {
      {"junction", MakeJunction, ""},
      {"junction with backslash", MakeJunction, "\\"},
      {"directory link", MakeDirectoryLink, ""},
  };
  int made = 0;
  for (const auto& c : cases) {
    TScratchDir dir;
    const std::string target = dir.File("target");
    ASSERT_TRUE(Files::CreateDirTree(target + "\\sub\\deeper"));
    WriteBytes(target + "\\precious.txt", "keep me");
    WriteBytes(target + "\\sub\\deeper\\also.txt", "and me");
    const std::string link = dir.File("link");
    if (!c.make(link, target)) {
      ::RemoveDirectoryA(link.c_str());
      continue;
    }
    ++made;
    EXPECT_TRUE(Files::DeleteTree(link + c.suffix)) << c.name;
    EXPECT_EQ(::GetFileAttributesA(link.c_str()), INVALID_FILE_ATTRIBUTES) << c.name << ": the link stays";
    EXPECT_EQ(ReadBytes(target + "\\precious.txt"), "keep me") << c.name;
    EXPECT_EQ(ReadBytes(target + "\\sub\\deeper\\also.txt"), "and me") << c.name;
  }
  if (made == 0) GTEST_SKIP() << "this system makes neither junctions nor directory links";
}

// --- copies of our own program ---

TEST(FilesWin32, ACopyReplacesAReadOnlyFileAndIsNotReadOnly) {
  TScratchDir dir;
  const std::string from = dir.File("agent.exe"), to = dir.File("X_agent.exe");
  WriteBytes(from, "new agent");
  ASSERT_TRUE(::SetFileAttributesA(from.c_str(), FILE_ATTRIBUTE_READONLY));
  WriteBytes(to, "old agent, a longer text");
  ASSERT_TRUE(::SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_READONLY));
  // A plain copy takes the read-only attribute with it (and on Windows cannot
  // replace a read-only file at all).
  const std::string plain = dir.File("plain copy.exe");
  EXPECT_TRUE(::CopyFileA(from.c_str(), plain.c_str(), FALSE));
  EXPECT_NE(::GetFileAttributesA(plain.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  ::SetFileAttributesA(plain.c_str(), FILE_ATTRIBUTE_NORMAL);

  EXPECT_TRUE(CopyFileReplacing(from, to));
  EXPECT_EQ(ReadBytes(to), "new agent");
  EXPECT_EQ(::GetFileAttributesA(to.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_TRUE(RemoveFile(to));

  EXPECT_FALSE(CopyFileReplacing(dir.File("missing.exe"), to));
  EXPECT_FALSE(FileExists(to));
  ::SetFileAttributesA(from.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
