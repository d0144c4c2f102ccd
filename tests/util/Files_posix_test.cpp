// File utilities: cases that need POSIX means (a full device, symbolic links).
#include <gtest/gtest.h>
#include <sys/stat.h>
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

// A link given as the folder itself goes as a link, however it is written
// and whatever it points to; the target keeps every file and folder.
TEST(DeleteTreePosix, ALinkGivenAsTheFolderGoesAsALink) {
  struct TCase {
    const char* name;
    const char* target;  // relative to the scratch folder; "" = dangling
    const char* suffix;  // appended to the link's path when calling DeleteTree
  };
  const TCase cases[] = {
      {"plain", "outside", ""},
      {"slash", "outside", "/"},
      {"backslash", "outside", "\\"},
      {"tofile", "outside/precious.txt", ""},
      {"dangling", "", ""},
  };
  for (const auto& c : cases) {
    TScratchDir dir;
    const std::string outside = dir.File("outside");
    ASSERT_TRUE(Files::CreateDirTree(outside + "/sub/deeper"));
    WriteBytes(outside + "/precious.txt", "keep me");
    WriteBytes(outside + "/sub/deeper/also.txt", "and me");
    const std::string link = dir.File(c.name);
    const std::string target = *c.target ? dir.File(c.target) : dir.File("nothing-here");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);

    EXPECT_TRUE(Files::DeleteTree(link + c.suffix)) << c.name;
    struct stat st {};
    EXPECT_NE(::lstat(link.c_str(), &st), 0) << c.name << ": the link stays";
    EXPECT_EQ(ReadBytes(outside + "/precious.txt"), "keep me") << c.name;
    EXPECT_EQ(ReadBytes(outside + "/sub/deeper/also.txt"), "and me") << c.name;
  }
}

TEST(CopyFileReplacingPosix, AReadOnlyTargetIsReplacedAndTheCopyIsWritable) {
  TScratchDir dir;
  const std::string from = dir.File("agent.exe"), to = dir.File("X_agent.exe");
  WriteBytes(from, "new agent");
  ASSERT_EQ(::chmod(from.c_str(), 0555), 0);
  WriteBytes(to, "old agent, a longer text");
  ASSERT_EQ(::chmod(to.c_str(), 0444), 0);

  EXPECT_TRUE(CopyFileReplacing(from, to));
  EXPECT_EQ(ReadBytes(to), "new agent");
  struct stat st {};
  ASSERT_EQ(::stat(to.c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IWUSR);

  EXPECT_FALSE(CopyFileReplacing(dir.File("missing.exe"), to));
  EXPECT_EQ(ReadBytes(to), "new agent");  // a failed copy leaves the target alone
}

TEST(FilesPosix, NoDrivesNoEjectNoBatch) {
  EXPECT_EQ(Files::FindFileOnDrives("anything", Files::kDriveFixed), "");
  EXPECT_EQ(Files::FindDirOnDrives("C:\\Temp", Files::kDriveFixed), "");
  EXPECT_FALSE(Files::EjectCD("/dev/cdrom"));
  EXPECT_FALSE(Files::DeleteMySelf(true, false));
  Files::TSelfDeleteJob job;
  job.exe = "/bin/true";
  EXPECT_EQ(Files::StartSelfDeleteBatch(job), "");
}

}  // namespace
