#include "package/DownloadRun.h"

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "package/PackX.h"
#include "stub/ExitCodes.h"
#include "util/FileIO.h"

using namespace DownloadRun;

namespace {

// A file in the stub's layout ("MZ", "PE" at 256) whose package ends at
// `packageEnd` (0: pointer not set), followed by `tail` bytes.
std::string Image(uint32_t packageEnd, int64_t length) {
  std::string image(static_cast<size_t>(length), '\0');
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>('a' + i % 23);
  image[0] = 'M';
  image[1] = 'Z';
  image[256] = 'P';
  image[257] = 'E';
  for (int i = 0; i < 4; ++i) {
    image[248 + i] = 0;
    image[252 + i] = static_cast<char>(packageEnd >> (8 * i));
  }
  return image;
}

}  // namespace

TEST(DownloadRun, AgentCopyLengthCases) {
  struct Case {
    const char* what;
    int64_t fileLength, packageEnd, expected;
  } cases[] = {
      {"signature after the package is cut off", 300000, 295000, 295000},
      {"tail of 9999 bytes is cut off", 300000, 290001, 290001},
      {"tail of 10000 bytes stays", 300000, 290000, 300000},
      {"a longer tail stays", 300000, 200000, 300000},
      {"pointer at the file's end: nothing to cut", 300000, 300000, 300000},
      {"pointer beyond the file", 300000, 300100, 300000},
      {"pointer not set, small file", 5000, 0, 5000},
      {"pointer not set, large file", 300000, 0, 300000},
      {"only the low 32 bits count", 300000, (int64_t{1} << 32) + 295000, 295000},
      {"high word alone reads as not set", 300000, int64_t{1} << 32, 300000},
  };
  for (const Case& c : cases) EXPECT_EQ(AgentCopyLength(c.fileLength, c.packageEnd), c.expected) << c.what;
}

TEST(DownloadRun, AgentFlagOffsetIsFifthByteFromEndOfLongerCopies) {
  EXPECT_EQ(AgentFlagOffset(300000), 299995);
  EXPECT_EQ(AgentFlagOffset(6), 1);
  EXPECT_EQ(AgentFlagOffset(5), -1);
  EXPECT_EQ(AgentFlagOffset(0), -1);
}

TEST(DownloadRun, AgentCopyCutsTheSignatureSetsTheFlagAndKeepsTheDate) {
  struct Case {
    const char* what;
    uint32_t packageEnd;
    int64_t length, expectedLength;
  } cases[] = {
      {"signed: cut at the package end", 150000, 152000, 150000},
      {"unsigned: whole file", 152000, 152000, 152000},
      {"pointer not set: whole file", 0, 3000, 3000},
      {"long tail: whole file", 100000, 152000, 152000},
  };
  testsupport::TScratchDir dir;
  for (const Case& c : cases) {
    const std::string source = dir.File("Setup.exe"), target = dir.File("Agent.exe");
    const std::string image = Image(c.packageEnd, c.length);
    testsupport::WriteBytes(source, image);
    {
      TFile f(source, TFile::Mode::Write);
      ASSERT_TRUE(f.SetDosDate(1248086749)) << c.what;
    }
    ASSERT_TRUE(WriteAgentCopy(source, target)) << c.what;
    std::string expected = image.substr(0, static_cast<size_t>(c.expectedLength));
    expected[static_cast<size_t>(c.expectedLength - 5)] = 1;
    EXPECT_EQ(testsupport::ReadBytes(target), expected) << c.what;
    EXPECT_EQ(FileDosDate(target), 1248086749) << c.what;
  }
}

TEST(DownloadRun, AgentCopyOfAMissingFileWritesNothing) {
  testsupport::TScratchDir dir;
  EXPECT_FALSE(WriteAgentCopy(dir.File("missing.exe"), dir.File("Agent.exe")));
  EXPECT_FALSE(FileExists(dir.File("Agent.exe")));
}

TEST(DownloadRun, AgentCopyOfATinyFileLeavesItsBytes) {
  testsupport::TScratchDir dir;
  testsupport::WriteBytes(dir.File("s.exe"), "MZabc");
  ASSERT_TRUE(WriteAgentCopy(dir.File("s.exe"), dir.File("a.exe")));
  EXPECT_EQ(testsupport::ReadBytes(dir.File("a.exe")), "MZabc");
}

TEST(DownloadRun, QuestionTextShowsTheSizeInMegabytes) {
  const std::string s11 = "Size: <SIZE> MB";
  EXPECT_EQ(DownloadQuestionText(s11, "5242880"), "Size: 5.00 MB");
  EXPECT_EQ(DownloadQuestionText(s11, "20971520"), "Size: 20.0 MB");
  EXPECT_EQ(DownloadQuestionText(s11, "307200"), "Size: 0.293 MB");
  EXPECT_EQ(DownloadQuestionText(s11, ""), "Size: 0.000 MB");
  EXPECT_EQ(DownloadQuestionText(s11, "-5"), "Size: 0.000 MB");
  EXPECT_EQ(DownloadQuestionText(s11, "3221225472"), "Size: 3072.0 MB") << "sizes beyond 32 bits";
}

TEST(DownloadRun, ConnectionErrorTextAddsTheReasonWhenThereIsOne) {
  EXPECT_EQ(ConnectionErrorText("No connection.", ""), "No connection.");
  EXPECT_EQ(ConnectionErrorText("No connection.", "Offline"), "No connection.<P><P>Offline");
}

TEST(DownloadRun, SetupFileNamesThatLeaveTheirFolderAreRefused) {
  EXPECT_TRUE(IsUsableSetupFileName("Setup Full.exe"));
  EXPECT_TRUE(IsUsableSetupFileName("sub\\Setup.exe"));
  for (const char* name : {"", "  ", "..\\Setup.exe", "../x.exe", "C:\\Windows\\x.exe", "\\\\server\\x.exe",
                           "CON", "Setup.exe:stream", "sub\\..\\..\\x.exe"}) {
    EXPECT_FALSE(IsUsableSetupFileName(name)) << name;
  }
}

TEST(DownloadRun, PathsAndAddress) {
  EXPECT_EQ(JoinPath("C:\\Apps", "Setup.exe"), "C:\\Apps\\Setup.exe");
  EXPECT_EQ(JoinPath("C:\\Temp\\", "Setup.exe"), "C:\\Temp\\Setup.exe");
  EXPECT_EQ(DownloadAddress("http://example.com/dl", "Setup.exe"), "http://example.com/dl/Setup.exe");
}

TEST(DownloadRun, ExitCodes) {
  EXPECT_EQ(DownloadExitCode(kRefused, 0), ExitCodes::kCancelled);
  EXPECT_EQ(DownloadExitCode(kBadTokenText, 0), ExitCodes::kDownloadFailed);
  EXPECT_EQ(DownloadExitCode("Download Aborted", 0), ExitCodes::kDownloadFailed);
  EXPECT_EQ(DownloadExitCode("", 42), 42u);
  EXPECT_EQ(DownloadExitCode("", ExitCodes::kDamagedPackage), ExitCodes::kDamagedPackage);
}
