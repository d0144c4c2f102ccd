// File utilities on the host file system (natively and under wine).
#include "util/Files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "package/PackWrite.h"
#include "stub/VxDebug.h"
#include "util/FileIO.h"

namespace {

using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

std::string Pattern(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 31 + i / 251) & 0xFF);
  return data;
}

// Modification time of a file as seconds since the epoch (0 if unknown).
int64_t ModificationTime(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  return static_cast<int64_t>(st.st_mtime);
}

int64_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&tm));
}

// The file carries the date of 15 June 2010 12:30:00 (a day's slack covers
// the time zone handling of the platform).
const int32_t kDate2010 = PackWrite::DosDateTime(2010, 6, 15, 12, 30, 0);
bool HasDate2010(const std::string& path) {
  int64_t diff = ModificationTime(path) - LocalTime(2010, 6, 15, 12, 30, 0);
  return diff > -26 * 3600 && diff < 26 * 3600;
}
bool IsRecent(const std::string& path) { return ModificationTime(path) > LocalTime(2020, 1, 1, 0, 0, 0); }

// Path joined with backslashes, as the tree searches build them.
std::string Join(std::string path, const std::vector<std::string>& parts) {
  for (const auto& part : parts) path += "\\" + part;
  return path;
}

// Writes through Files, which takes backslashes on every platform.
void Put(const std::string& path, const std::string& data) { ASSERT_TRUE(Files::WriteFile(path, data)) << path; }

// --- ReadFilePart ---

TEST(ReadFilePart, RangesOfAHundredByteFile) {
  TScratchDir dir;
  const std::string path = dir.File("data.bin");
  const std::string data = Pattern(100);
  WriteBytes(path, data);
  struct Case {
    int64_t maxLength;
    int64_t offset;
    std::string expected;
  } cases[] = {
      {0, 0, data},
      {10, 95, data.substr(95, 5)},
      {10, 20, data.substr(20, 10)},
      {0, 99, data.substr(99)},
      {0, 100, ""},
      {0, 101, ""},
      {5, -1, ""},
      {0, -100, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Files::ReadFilePart(path, c.maxLength, false, c.offset), c.expected)
        << "max " << c.maxLength << " offset " << c.offset;
}

TEST(ReadFilePart, MissingFileAndEmptyFileGiveEmpty) {
  TScratchDir dir;
  EXPECT_EQ(Files::ReadFilePart(dir.File("missing.txt")), "");
  WriteBytes(dir.File("empty.txt"), "");
  EXPECT_EQ(Files::ReadFilePart(dir.File("empty.txt")), "");
}

TEST(ReadFilePart, TrimRemovesBlanksAndControlCharacters) {
  TScratchDir dir;
  WriteBytes(dir.File("t.txt"), " \t  1.2.3\r\n\r\n");
  EXPECT_EQ(Files::ReadFilePart(dir.File("t.txt"), 0, true), "1.2.3");
  EXPECT_EQ(Files::ReadFilePart(dir.File("t.txt"), 0, false), " \t  1.2.3\r\n\r\n");
}

// --- WriteFile ---

struct TProgressLog {
  std::vector<std::pair<int64_t, int64_t>> calls;  // (total, done)
  int64_t cancelAt = -1;                            // done value at which to cancel
  Files::TProgress Callback() {
    return [this](int64_t total, int64_t done, bool& cancel) {
      calls.emplace_back(total, done);
      if (cancelAt >= 0 && done >= cancelAt) cancel = true;
    };
  }
};

TEST(WriteFile, PieceSizeTable) {
  struct Case {
    int64_t length, piece;
  } cases[] = {{0, 0},          {500, 500},         {5000, 1024},           {10240, 1024},
               {10250, 1025},   {3145728, 314572},  {10485760, 1048576},    {20971520, 1048576}};
  for (const auto& c : cases) EXPECT_EQ(Files::WritePieceSize(c.length), c.piece) << c.length;
}

TEST(WriteFile, ThreeMegabytesGoInTenthsReportedThroughTheCallback) {
  TScratchDir dir;
  const std::string path = dir.File("big.bin");
  const std::string data = Pattern(3 * 1048576);
  TProgressLog log;
  ASSERT_TRUE(Files::WriteFile(path, data, kDate2010, log.Callback()));
  ASSERT_EQ(log.calls.size(), 12u);  // before the first piece, then 10 pieces of 314572 and the 8 left
  EXPECT_EQ(log.calls.front(), (std::pair<int64_t, int64_t>(3145728, 0)));
  for (size_t i = 1; i <= 10; ++i) EXPECT_EQ(log.calls[i].second, static_cast<int64_t>(i) * 314572);
  EXPECT_EQ(log.calls.back().second, 3145728);
  EXPECT_EQ(ReadBytes(path), data);
  EXPECT_TRUE(HasDate2010(path));
}

TEST(WriteFile, SmallDataWithoutCallbackIsWrittenWhole) {
  TScratchDir dir;
  const std::string data = Pattern(5000);
  EXPECT_TRUE(Files::WriteFile(dir.File("small.bin"), data, kDate2010));
  EXPECT_EQ(ReadBytes(dir.File("small.bin")), data);
  EXPECT_TRUE(HasDate2010(dir.File("small.bin")));
}

TEST(WriteFile, LargeDataWithoutCallbackIsWrittenWhole) {
  TScratchDir dir;
  const std::string data = Pattern(2 * 1048576 + 3);
  EXPECT_TRUE(Files::WriteFile(dir.File("large.bin"), std::string_view(data)));
  EXPECT_EQ(ReadBytes(dir.File("large.bin")), data);
}

TEST(WriteFile, CancelStopsTheWriteFailsAndLeavesTheDate) {
  TScratchDir dir;
  const std::string data = Pattern(50000);  // pieces of 5000
  struct Case {
    int64_t cancelAt;
    size_t bytesLeft;
  } cases[] = {{0, 0}, {10000, 10000}, {50000, 50000}};  // the last: cancelled once all is written
  for (const auto& c : cases) {
    const std::string path = dir.File("cancel" + std::to_string(c.cancelAt) + ".bin");
    TProgressLog log;
    log.cancelAt = c.cancelAt;
    bool ok = Files::WriteFile(path, data, kDate2010, log.Callback());
    EXPECT_EQ(ok, c.bytesLeft == data.size()) << c.cancelAt;
    EXPECT_EQ(ReadBytes(path), data.substr(0, c.bytesLeft)) << c.cancelAt;
    EXPECT_EQ(HasDate2010(path), ok) << c.cancelAt;
    if (!ok) {
      EXPECT_TRUE(IsRecent(path)) << c.cancelAt;
    }
  }
}

TEST(WriteFile, AppendModeCreatesAMissingFileAndAddsToAnExistingOne) {
  TScratchDir dir;
  const std::string path = dir.File("log.txt");
  EXPECT_TRUE(Files::WriteFile(path, "first", 0, nullptr, true));
  EXPECT_TRUE(Files::WriteFile(path, "+second", 0, nullptr, true));
  EXPECT_EQ(ReadBytes(path), "first+second");
  EXPECT_TRUE(Files::WriteFile(path, "new", 0, nullptr, false));
  EXPECT_EQ(ReadBytes(path), "new");
}

TEST(WriteFile, EmptyDataGivesAnEmptyFile) {
  TScratchDir dir;
  WriteBytes(dir.File("old.txt"), "old contents");
  EXPECT_TRUE(Files::WriteFile(dir.File("old.txt"), ""));
  EXPECT_TRUE(FileExists(dir.File("old.txt")));
  EXPECT_EQ(ReadBytes(dir.File("old.txt")), "");
}

TEST(WriteFile, AFileThatCannotBeOpenedIsAFailureEvenForEmptyData) {
  TScratchDir dir;
  const std::string target = dir.File("no-such-folder") + "\\x.bin";
  EXPECT_FALSE(Files::WriteFile(target, "data"));
  EXPECT_FALSE(Files::WriteFile(target, ""));
  EXPECT_FALSE(Files::WriteFile(dir.Path(), "data"));  // a folder
}

TEST(WriteFile, DateZeroLeavesTheDate) {
  TScratchDir dir;
  EXPECT_TRUE(Files::WriteFile(dir.File("now.txt"), "x", 0));
  EXPECT_TRUE(IsRecent(dir.File("now.txt")));
}

// --- AppendText ---

TEST(AppendText, AddsLinesAndSetsTheDate) {
  TScratchDir dir;
  const std::string path = dir.File("trace.log");
  EXPECT_TRUE(Files::AppendText(path, "one"));
  EXPECT_TRUE(Files::AppendText(path, "two", false));
  EXPECT_TRUE(Files::AppendText(path, "", true, kDate2010));
  EXPECT_EQ(ReadBytes(path), "one\r\ntwo\r\n");
  EXPECT_TRUE(HasDate2010(path));
}

// --- sizes and space ---

TEST(FileSizeByName, SizeOfAFileAndZeroOtherwise) {
  TScratchDir dir;
  WriteBytes(dir.File("f.bin"), Pattern(12345));
  EXPECT_EQ(Files::FileSizeByName(dir.File("f.bin")), 12345);
  EXPECT_EQ(Files::FileSizeByName(dir.File("missing.bin")), 0);
  EXPECT_EQ(Files::FileSizeByName(""), 0);
}

TEST(DiskFreeBytes, AnExistingFolderHasFreeSpace) {
  TScratchDir dir;
  EXPECT_GT(Files::DiskFreeBytes(dir.Path()), 0.0);
  EXPECT_GT(Files::platform::ClassicDiskFreeBytes(dir.Path()), 0.0);
}

TEST(DriveRoot, Cases) {
  struct Case {
    std::string path;
    bool driveLetter;
    std::string root;
  } cases[] = {
      {"C:\\Temp\\Setup", false, "C:\\Temp"},
      {"C:\\Temp\\Setup\\More", false, "C:\\Temp"},
      {"C:/Temp/Setup", false, "C:\\Temp"},
      {"C:\\Temp", false, "C:\\Temp"},
      {"C:\\", false, "C:\\"},
      {"\\\\server\\share\\dir", false, "\\\\server"},
      {"\\\\server\\share\\dir", true, "\\:\\"},
      {"c:\\Temp\\Setup", true, "C:\\"},
      {"d:", false, "D:\\"},
      {"e", false, "E:\\"},
      {"", false, ""},
      {"", true, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Files::DriveRoot(c.path, c.driveLetter), c.root) << c.path;
}

// --- creating and deleting ---

TEST(CreateDirTree, CreatesEveryMissingLevel) {
  TScratchDir dir;
  const std::string deep = Join(dir.Path(), {"a", "b", "c"});
  EXPECT_TRUE(Files::CreateDirTree(deep));
  EXPECT_TRUE(DirExists(deep));
  EXPECT_TRUE(Files::CreateDirTree(deep + "\\"));  // exists already
  WriteBytes(dir.File("file"), "x");
  EXPECT_FALSE(Files::CreateDirTree(Join(dir.Path(), {"file", "sub"})));
  EXPECT_FALSE(Files::CreateDirTree(""));
}

TEST(DeleteFiles, DeletesMatchingFilesOnly) {
  TScratchDir dir;
  WriteBytes(dir.File("a.tmp"), "1");
  WriteBytes(dir.File("B.TMP"), "2");
  WriteBytes(dir.File("keep.txt"), "3");
  ASSERT_TRUE(Files::CreateDirTree(dir.File("folder.tmp")));
  EXPECT_TRUE(Files::DeleteFiles(dir.Path() + "\\*.tmp"));
  EXPECT_FALSE(FileExists(dir.File("a.tmp")));
  EXPECT_FALSE(FileExists(dir.File("B.TMP")));
  EXPECT_TRUE(FileExists(dir.File("keep.txt")));
  EXPECT_TRUE(DirExists(dir.File("folder.tmp")));
  EXPECT_FALSE(Files::DeleteFiles(dir.Path() + "\\*.tmp"));  // nothing left to match
}

void MakeTree(const std::string& root) {
  ASSERT_TRUE(Files::CreateDirTree(Join(root, {"a", "b", "c"})));
  ASSERT_TRUE(Files::CreateDirTree(Join(root, {"a", "empty"})));
  ASSERT_TRUE(Files::CreateDirTree(Join(root, {"d"})));
  Put(Join(root, {"top.txt"}), "top");
  Put(Join(root, {"a", "one.bin"}), Pattern(3000));
  Put(Join(root, {"a", "b", "c", "deep.txt"}), "deep");
  Put(Join(root, {"d", "noext"}), "x");
}

TEST(DeleteTree, RemovesANestedTree) {
  TScratchDir dir;
  const std::string root = dir.File("tree");
  MakeTree(root);
  EXPECT_TRUE(Files::DeleteTree(root));
  EXPECT_FALSE(DirExists(root));
  EXPECT_TRUE(DirExists(dir.Path()));
}

TEST(DeleteTree, AMissingFolderIsAFailure) {
  TScratchDir dir;
  EXPECT_FALSE(Files::DeleteTree(dir.File("missing")));
  EXPECT_FALSE(Files::DeleteTree(""));
}

TEST(DeleteTree, CallbackSeesEachSubfolderAndCanCancel) {
  TScratchDir dir;
  const std::string root = dir.File("tree");
  for (const char* sub : {"s1", "s2", "s3"}) {
    ASSERT_TRUE(Files::CreateDirTree(Join(root, {sub})));
    Put(Join(root, {sub, "f.txt"}), sub);
  }
  TProgressLog all;
  EXPECT_TRUE(Files::DeleteTree(root, true, all.Callback()));
  EXPECT_EQ(all.calls, (std::vector<std::pair<int64_t, int64_t>>{{3, 1}, {3, 2}, {3, 3}}));

  for (const char* sub : {"s1", "s2", "s3"}) ASSERT_TRUE(Files::CreateDirTree(Join(root, {sub})));
  TProgressLog cancel;
  cancel.cancelAt = 1;
  EXPECT_FALSE(Files::DeleteTree(root, true, cancel.Callback()));
  EXPECT_EQ(cancel.calls.size(), 1u);
  EXPECT_TRUE(DirExists(root));
  int left = 0;
  for (const char* sub : {"s1", "s2", "s3"}) left += DirExists(Join(root, {sub})) ? 1 : 0;
  EXPECT_EQ(left, 2);
}

// --- searches ---

TEST(FindFileInTree, FindsTheFileAtAnyDepth) {
  TScratchDir dir;
  const std::string root = dir.File("tree");
  MakeTree(root);
  EXPECT_EQ(Files::FindFileInTree(root, "deep.txt"), Join(root, {"a", "b", "c", "deep.txt"}));
  EXPECT_EQ(Files::FindFileInTree(root, "top.txt"), Join(root, {"top.txt"}));
  EXPECT_EQ(Files::FindFileInTree(root + "\\", "top.txt"), Join(root, {"top.txt"}));
  EXPECT_EQ(Files::FindFileInTree(root, "missing.txt"), "");
  EXPECT_EQ(Files::FindFileInTree(root, "c"), "");  // a folder is no file
  EXPECT_EQ(Files::FindFileInTree(root, ""), "");
  EXPECT_EQ(Files::FindFileInTree(dir.File("missing"), "deep.txt"), "");
}

TEST(FindDirInTree, MatchesTheEndOfThePathIgnoringCase) {
  TScratchDir dir;
  const std::string root = dir.File("tree");
  MakeTree(root);
  EXPECT_EQ(Files::FindDirInTree(root, "C"), Join(root, {"a", "b", "c"}));
  EXPECT_EQ(Files::FindDirInTree(root, "b\\c"), Join(root, {"a", "b", "c"}));
  EXPECT_EQ(Files::FindDirInTree(root, "EMPTY"), Join(root, {"a", "empty"}));
  EXPECT_EQ(Files::FindDirInTree(root, "tree"), root);
  EXPECT_EQ(Files::FindDirInTree(root, "deep.txt"), "");  // a file is no folder
  EXPECT_EQ(Files::FindDirInTree(root, "missing"), "");
  EXPECT_EQ(Files::FindDirInTree(dir.File("nothere"), "nothere"), "");
}

// --- trace ---

TEST(FilesTrace, TextAndNameValueReachTheTraceOutput) {
  VxDebug::TTraceCapture capture;
  Files::TraceText("FileLen=42");
  Files::TraceNameValue("ExeName", "C:\\x.exe");
  EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"FileLen=42", "[ExeName]  [C:\\x.exe]"}));
}

}  // namespace
