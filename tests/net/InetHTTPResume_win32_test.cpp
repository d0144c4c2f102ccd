// The downloader's retries and resumption against the scripted fault server
// of scripts/with-web.sh: dropped connections continued with Range requests,
// servers that cannot continue, and temporary files left by earlier calls.
#include "net/InetHTTP.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "TestSupport.h"
#include "WebServer_win32.h"
#include "net/DownloadSink.h"
#include "net/HttpDecisions.h"
#include "stub/StubState.h"
#include "util/FileIO.h"
#include "util/Utils.h"

namespace {

using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

// The fault server's body: byte i is i % 251.
std::string Pattern(int64_t size) {
  std::string s(static_cast<size_t>(size), '\0');
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>(i % 251);
  return s;
}

// "requests=<R> bytes=<B>" of the fault server for one path.
struct TStats {
  int64_t requests = -1;
  int64_t bytes = -1;
};
TStats Stats(const std::string& path) {
  const std::string text = testweb::FaultStats(path);
  TStats stats;
  const size_t r = text.find("requests=");
  const size_t b = text.find("bytes=");
  if (r != std::string::npos) stats.requests = TextToInt64(text.substr(r + 9, text.find(' ', r) - r - 9), -1);
  if (b != std::string::npos) stats.bytes = TextToInt64(Trim(text.substr(b + 6)), -1);
  return stats;
}

// The temporary name of a fault-server file: its length plus its fixed
// Last-Modified stamp (Wed, 09 Dec 2026 10:00:00 GMT).
std::string FaultTempName(const std::string& target, int64_t size) {
  return http::TempFileName(target, size, http::LastModifiedStamp(2026, 12, 9, 10, 0, 0));
}

class InetHTTPResume : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testweb::Available()) << "the web servers are missing: run under scripts/with-web.sh";
    Stub::SetDownloadAbort(false);
    WriteBytes(target, "old");
  }
  // A path unique to this test: the fault server counts per path.
  std::string Path(const std::string& kind, const std::string& args) const {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return "/" + kind + "/" + args + "/" + info->name() + IntToText(++serial_);
  }
  TInetDownload Get(const std::string& path) {
    return HTTP_DownloadFile_Incremental(0, testweb::FaultUrl(path), target, nullptr);
  }

  static constexpr int64_t kSize = 3 * 1048576 + 777;
  TScratchDir dir;
  std::string target = dir.File("Setup.exe");
  mutable int serial_ = 0;
};

TEST_F(InetHTTPResume, DroppedConnectionsAreContinued) {
  for (int drops : {1, 2}) {
    const std::string path = Path("drop", IntToText(kSize) + "/" + IntToText(drops));
    const TInetDownload result = Get(path);
    EXPECT_EQ(result.error, "") << drops;
    EXPECT_TRUE(ReadBytes(target) == Pattern(kSize)) << drops;
    EXPECT_TRUE(TempLeftOvers(target).empty()) << drops;
    const TStats stats = Stats(path);
    EXPECT_EQ(stats.requests, drops + 1) << drops;
    EXPECT_GE(stats.bytes, kSize) << drops;
    EXPECT_LT(stats.bytes, kSize + kSize / 4) << drops;  // far fewer than twice the file
  }
}

TEST_F(InetHTTPResume, DropsBeyondTheRetriesLeaveTheTemporaryFileForTheNextCall) {
  const std::string path = Path("drop", IntToText(kSize) + "/6");
  const TInetDownload first = Get(path);
  EXPECT_EQ(ReadBytes(target), "old");
  const std::string temp = FaultTempName(target, kSize);
  const std::string partial = ReadBytes(temp);
  ASSERT_GT(partial.size(), 0u);
  EXPECT_EQ(first.error, http::IncompleteText(http::UrlDisplayName(path),
                                              static_cast<int64_t>(partial.size()), kSize));
  EXPECT_TRUE(partial == Pattern(static_cast<int64_t>(partial.size())));
  EXPECT_EQ(Stats(path).requests, 4);

  // The next call goes on from the file's end (the server drops twice more).
  const TInetDownload second = Get(path);
  EXPECT_EQ(second.error, "");
  EXPECT_TRUE(ReadBytes(target) == Pattern(kSize));
  EXPECT_FALSE(FileExists(temp));
  const TStats stats = Stats(path);
  EXPECT_EQ(stats.requests, 7);
  EXPECT_LT(stats.bytes, kSize + kSize / 4);
}

TEST_F(InetHTTPResume, AServerWithoutRangesStartsOver) {
  const std::string path = Path("norange", IntToText(kSize) + "/1");
  const TInetDownload result = Get(path);
  EXPECT_EQ(result.error, "");
  EXPECT_TRUE(ReadBytes(target) == Pattern(kSize));
  EXPECT_TRUE(TempLeftOvers(target).empty());
  EXPECT_EQ(Stats(path).requests, 2);
}

TEST_F(InetHTTPResume, AChangedStampStartsOver) {
  const std::string path = Path("newstamp", IntToText(kSize) + "/1");
  const TInetDownload result = Get(path);
  EXPECT_EQ(result.error, "");
  EXPECT_TRUE(ReadBytes(target) == Pattern(kSize));
  EXPECT_TRUE(TempLeftOvers(target).empty());
  EXPECT_GE(Stats(path).requests, 2);
}

TEST_F(InetHTTPResume, ALeftOverOfTheSameNameIsContinued) {
  const std::string path = Path("size", IntToText(kSize));
  const int64_t held = kSize * 2 / 5;
  WriteBytes(FaultTempName(target, kSize), Pattern(held));
  WriteBytes(target + ".config", "keep");
  const TInetDownload result = Get(path);
  EXPECT_EQ(result.error, "");
  EXPECT_TRUE(ReadBytes(target) == Pattern(kSize));
  EXPECT_TRUE(TempLeftOvers(target).empty());
  EXPECT_EQ(ReadBytes(target + ".config"), "keep");
  const TStats stats = Stats(path);
  EXPECT_EQ(stats.requests, 1);
  EXPECT_EQ(stats.bytes, kSize - held);
}

TEST_F(InetHTTPResume, ALeftOverOfAnotherNameIsDeleted) {
  const std::string path = Path("size", IntToText(kSize));
  const std::string other = target + ".12345";
  WriteBytes(other, std::string(5000, 'x'));
  const TInetDownload result = Get(path);
  EXPECT_EQ(result.error, "");
  EXPECT_TRUE(ReadBytes(target) == Pattern(kSize));
  EXPECT_FALSE(FileExists(other));
  EXPECT_TRUE(TempLeftOvers(target).empty());
}

TEST_F(InetHTTPResume, MemoryDownloadsStartOver) {
  const int64_t size = 300000;
  const std::string path = Path("drop", IntToText(size) + "/2");
  const TInetDownload result = HTTP_DownloadFile_Incremental(0, testweb::FaultUrl(path), "", nullptr);
  EXPECT_EQ(result.error, "");
  EXPECT_TRUE(result.data == Pattern(size));
  EXPECT_EQ(Stats(path).requests, 3);
}

}  // namespace
