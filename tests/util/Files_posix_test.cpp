// File utilities: cases that need POSIX means (a full device, symbolic links).
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "TestSupport.h"
#include "util/FileIO.h"
#include "util/Files.h"

namespace {

using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

TEST(WriteFilePosix, AShortWriteIsAFailure) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  const std::string data(5000, 'x');
  bool progressed = false;
  EXPECT_FALSE(Files::WriteFile("/dev/full", data));
  EXPECT_FALSE(Files::WriteFile("/dev/full", data, 0, [&](int64_t, int64_t, bool&) { progressed = true; }));
  EXPECT_TRUE(progressed);
  EXPECT_FALSE(Files::AppendText("/dev/full", "line"));
}

TEST(DeleteTreePosix, ALinkedFolderGoesButItsTargetStays) {
  TScratchDir dir;
  const std::string outside = dir.File("outside");
  const std::string tree = dir.File("tree");
  ASSERT_TRUE(Files::CreateDirTree(outside));
  ASSERT_TRUE(Files::CreateDirTree(tree + "/sub"));
  WriteBytes(outside + "/precious.txt", "keep me");
  ASSERT_EQ(::symlink(outside.c_str(), (tree + "/sub/link").c_str()), 0);
  ASSERT_EQ(::symlink((outside + "/precious.txt").c_str(), (tree + "/filelink").c_str()), 0);

  EXPECT_EQ(Files::FindFileInTree(tree, "precious.txt"), "");  // links are not searched
  EXPECT_TRUE(Files::DeleteTree(tree));
  EXPECT_FALSE(DirExists(tree));
  EXPECT_EQ(ReadBytes(outside + "/precious.txt"), "keep me");
}

TEST(FilesPosix, NoDrivesNoEjectNoBatch) {
  EXPECT_EQ(Files::FindFileOnDrives("anything", Files::kDriveFixed), "");
  EXPECT_EQ(Files::FindDirOnDrives("C:\\Temp", Files::kDriveFixed), "");
  EXPECT_FALSE(Files::EjectCD("/dev/cdrom"));
}

}  // namespace
