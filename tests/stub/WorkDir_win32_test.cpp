// Holding a folder on Windows (wine64): while a run holds it, nobody removes
// it, a claim of another run sees it held, and its contents can still be
// written and deleted.
#include "stub/WorkDir.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/Win.h"

namespace {

using WorkDir::TClaim;

// A claim as another process would see this one's folder: the probe does not
// know this process's own holds.
bool ProbeSeesHeld(const std::string& dir) {
  THandle probe(::CreateFileA(dir.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return !probe.Valid() && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

TEST(WorkDirWin, AHeldFolderCannotBeRemovedButItsFilesCanBeDeleted) {
  testsupport::TScratchDir scratch;
  const std::string dir = scratch.File("SETUP_5");
  const WorkDir::TOps& ops = WorkDir::SystemOps();
  ASSERT_EQ(WorkDir::Claim(dir, ops), TClaim::Claimed);
  ASSERT_TRUE(Files::WriteFile(dir + "\\a.txt", "a"));
  EXPECT_TRUE(ProbeSeesHeld(dir));
  EXPECT_FALSE(::RemoveDirectoryA(dir.c_str()));
  EXPECT_FALSE(Files::DeleteTree(dir));  // the contents go, the folder stays
  EXPECT_TRUE(DirExists(dir));
  EXPECT_FALSE(FileExists(dir + "\\a.txt"));

  EXPECT_TRUE(WorkDir::Release(dir, ops));
  EXPECT_FALSE(DirExists(dir));
  EXPECT_FALSE(ProbeSeesHeld(dir));
}

TEST(WorkDirWin, AFolderHeldByAnotherHandleIsNotClaimedNorEmptied) {
  testsupport::TScratchDir scratch;
  const std::string dir = scratch.File("SETUP_6");
  ASSERT_TRUE(::CreateDirectoryA(dir.c_str(), nullptr));
  ASSERT_TRUE(Files::WriteFile(dir + "\\theirs.txt", "t"));
  {
    THandle other(::CreateFileA(dir.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(other.Valid());
    EXPECT_EQ(WorkDir::Claim(dir, WorkDir::SystemOps()), TClaim::HeldByOther);
    EXPECT_EQ(ReadWholeFile(dir + "\\theirs.txt"), "t");
  }
  // Let go of: a left-over like any other.
  EXPECT_EQ(WorkDir::Claim(dir, WorkDir::SystemOps()), TClaim::Claimed);
  EXPECT_FALSE(FileExists(dir + "\\theirs.txt"));
  EXPECT_TRUE(WorkDir::Release(dir, WorkDir::SystemOps()));
}

TEST(WorkDirWin, AJunctionIsRemovedAsALinkAndItsTargetKept) {
  testsupport::TScratchDir scratch;
  const std::string target = scratch.File("target");
  ASSERT_TRUE(::CreateDirectoryA(target.c_str(), nullptr));
  ASSERT_TRUE(Files::WriteFile(target + "\\keep.txt", "k"));
  const std::string link = scratch.File("SETUP_7");
  if (!::CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY))
    GTEST_SKIP() << "no directory links here";
  ASSERT_EQ(WorkDir::Claim(link, WorkDir::SystemOps()), TClaim::Claimed);
  EXPECT_EQ(ReadWholeFile(target + "\\keep.txt"), "k");
  const DWORD attributes = ::GetFileAttributesA(link.c_str());
  EXPECT_EQ(attributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u);  // a fresh folder now
  EXPECT_TRUE(WorkDir::Release(link, WorkDir::SystemOps()));
  EXPECT_EQ(ReadWholeFile(target + "\\keep.txt"), "k");
}

}  // namespace
