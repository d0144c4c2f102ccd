#include "net/DownloadLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "net/DownloadSink.h"
#include "net/HttpDecisions.h"
#include "util/FileIO.h"

namespace {

using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

// A response body served from memory, with a failing read or an endless body
// on demand.
class TFakeSource : public TTransferSource {
 public:
  explicit TFakeSource(std::string body) : body_(std::move(body)) {}
  int64_t failAt = -1;  // the read after this many bytes fails
  bool endless = false;
  std::vector<int64_t> asked;
  int64_t served = 0;

  bool Read(char* buffer, int64_t max, int64_t& got, std::string& reason) override {
    asked.push_back(max);
    if (failAt >= 0 && served >= failAt) {
      reason = "The connection with the server was reset";
      return false;
    }
    int64_t n = endless ? max : std::min<int64_t>(max, static_cast<int64_t>(body_.size()) - served);
    if (failAt >= 0) n = std::min(n, failAt - served);
    if (endless) {
      std::memset(buffer, 'x', static_cast<size_t>(n));
    } else {
      std::memcpy(buffer, body_.data() + served, static_cast<size_t>(n));
    }
    served += n;
    got = n;
    return true;
  }

 private:
  std::string body_;
};

// Records what the loop reports; stops it after a number of reads when asked.
struct TRecorder {
  std::vector<int> pumps;
  std::vector<std::string> steps;
  int64_t barCount = -1;
  int abortAfter = -1;   // reads
  int cancelAfter = -1;  // reads

  TTransferHooks Hooks() {
    TTransferHooks hooks;
    hooks.pump = [this](int ms) { pumps.push_back(ms); };
    hooks.aborted = [this] { return abortAfter >= 0 && static_cast<int>(pumps.size()) >= abortAfter; };
    hooks.cancelled = [this] { return cancelAfter >= 0 && static_cast<int>(pumps.size()) >= cancelAfter; };
    hooks.startBar = [this](int64_t count, int64_t) { barCount = count; };
    hooks.step = [this](const std::string& text) { steps.push_back(text); };
    hooks.clock = [] { return int64_t{1000}; };  // no time passes: no speed in the texts
    return hooks;
  }
};

std::string Pattern(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return s;
}

TTransferRequest Request(int64_t size, int status = 200) {
  TTransferRequest request;
  request.name = "Setup.exe";
  request.status = status;
  request.size = size;
  return request;
}

TEST(DownloadLoop, SmallBodyIntoMemoryInTenSteps) {
  const std::string body = Pattern(50);
  TFakeSource source(body);
  TMemorySink sink(http::kMemoryCap);
  TRecorder rec;
  const TTransferResult result = RunTransfer(source, sink, Request(50), rec.Hooks());
  EXPECT_EQ(result.error, "");
  EXPECT_EQ(sink.Data(), body);
  EXPECT_EQ(source.asked, std::vector<int64_t>(11, 5));  // ten chunks and the end
  EXPECT_EQ(rec.pumps, std::vector<int>(11, 2));
  EXPECT_EQ(rec.barCount, 11);
  ASSERT_EQ(rec.steps.size(), 10u);
  EXPECT_EQ(rec.steps.front(), "5/50 BytesArr");
  EXPECT_EQ(rec.steps.back(), "50/50 BytesArr");
}

TEST(DownloadLoop, MemoryBodyWithoutLength) {
  const std::string body = Pattern(3000);
  TFakeSource source(body);
  TMemorySink sink(http::kMemoryCap);
  TRecorder rec;
  const TTransferResult result = RunTransfer(source, sink, Request(http::kUnknownLength), rec.Hooks());
  EXPECT_EQ(result.error, "");
  EXPECT_EQ(sink.Data(), body);
  EXPECT_EQ(rec.barCount, 0);
  EXPECT_EQ(rec.steps.size(), 1u);  // one read took it all
}

TEST(DownloadLoop, EndlessBodyStopsAtTheMemoryCap) {
  TFakeSource source("");
  source.endless = true;
  TMemorySink sink(http::kMemoryCap);
  TRecorder rec;
  const TTransferResult result = RunTransfer(source, sink, Request(http::kUnknownLength), rec.Hooks());
  EXPECT_EQ(result.error, http::MemoryCapText("Setup.exe"));
  EXPECT_LE(static_cast<int64_t>(sink.Data().size()), http::kMemoryCap);
  EXPECT_LE(source.served, http::kMemoryCap + http::kLargeChunk);
}

TEST(DownloadLoop, MemorySinkRefusesAnAnnouncedBodyBeyondTheCap) {
  TFakeSource source(Pattern(10));
  TMemorySink sink(http::kMemoryCap);
  TRecorder rec;
  const TTransferResult result = RunTransfer(source, sink, Request(http::kMemoryCap + 1), rec.Hooks());
  EXPECT_EQ(result.error, http::MemoryCapText("Setup.exe"));
  EXPECT_TRUE(source.asked.empty());
}

TEST(DownloadLoop, CompleteFileReplacesTheTargetAndOnlyOwnLeftOversGo) {
  TScratchDir dir;
  const std::string target = dir.File("Setup.exe");
  WriteBytes(target, "old");
  WriteBytes(target + ".77", "left over");
  WriteBytes(target + ".config", "keep");
  WriteBytes(dir.File("Other.exe.5"), "keep");
  const std::string body = Pattern(1048576);
  TFakeSource source(body);
  TFileSink sink(target, 1048576, 5);
  TRecorder rec;
  const TTransferResult result = RunTransfer(source, sink, Request(1048576), rec.Hooks());
  EXPECT_EQ(result.error, "");
  EXPECT_TRUE(result.replaced);
  EXPECT_EQ(ReadBytes(target), body);
  EXPECT_FALSE(FileExists(target + ".1048581"));
  EXPECT_FALSE(FileExists(target + ".77"));
  EXPECT_EQ(ReadBytes(target + ".config"), "keep");
  EXPECT_EQ(ReadBytes(dir.File("Other.exe.5")), "keep");
  EXPECT_TRUE(std::all_of(source.asked.begin(), source.asked.end(), [](int64_t n) { return n == 8192; }));
  EXPECT_EQ(rec.barCount, 129);
  EXPECT_EQ(rec.steps.size(), 128u);
  EXPECT_EQ(rec.steps.back(), "1,024.0/1,024.0 KB");
}

TEST(DownloadLoop, LargeFileReadsAMebibyteWithoutWaiting) {
  TScratchDir dir;
  const std::string target = dir.File("Big.bin");
  const int64_t size = http::kLargeFileFrom + 4096;
  const std::string body = Pattern(static_cast<size_t>(size));
  TFakeSource source(body);
  TFileSink sink(target, size, 0);
  TRecorder rec;
  const TTransferResult result = RunTransfer(source, sink, Request(size), rec.Hooks());
  EXPECT_EQ(result.error, "");
  EXPECT_EQ(ReadBytes(target), body);
  // a fast line: the reads grow to a mebibyte within a few calls
  ASSERT_GE(source.asked.size(), 6u);
  EXPECT_EQ(source.asked.front(), http::kLargeStart);
  EXPECT_EQ(source.asked[4], http::kLargeChunk);
  EXPECT_EQ(*std::max_element(source.asked.begin(), source.asked.end()), http::kLargeChunk);
  EXPECT_LE(source.asked.size(), 16u);
  EXPECT_TRUE(std::all_of(rec.pumps.begin(), rec.pumps.end(), [](int ms) { return ms == 0; }));
  EXPECT_EQ(rec.barCount, 12);
  EXPECT_EQ(rec.steps.back(), "10.0/10.0 MB");
}

TEST(DownloadLoop, ASlowLineGetsSmallReadsSoThatTheWindowIsPumped) {
  // Every read takes a second: the reads shrink to the smallest size and the
  // window is pumped between them.
  TScratchDir dir;
  const std::string target = dir.File("Big.bin");
  const int64_t size = http::kLargeFileFrom + 4096;
  const std::string body = Pattern(static_cast<size_t>(size));
  TFakeSource source(body);
  TFileSink sink(target, size, 0);
  TRecorder rec;
  TTransferHooks hooks = rec.Hooks();
  int64_t now = 0;
  hooks.clock = [&now] { return now += 500; };
  const TTransferResult result = RunTransfer(source, sink, Request(size), hooks);
  EXPECT_EQ(result.error, "");
  EXPECT_EQ(ReadBytes(target), body);
  ASSERT_GE(source.asked.size(), 5u);
  EXPECT_EQ(source.asked[0], http::kLargeStart);
  EXPECT_EQ(source.asked[4], http::kSmallChunkMax);
  EXPECT_EQ(*std::max_element(source.asked.begin(), source.asked.end()), http::kLargeStart);
  EXPECT_EQ(rec.pumps.size(), source.asked.size());
}

TEST(DownloadLoop, BadEndingsLeaveTheTargetAlone) {
  struct Case {
    const char* what;
    int64_t bodySize;
    int64_t header;
    int64_t failAt;
    int abortAfter;
    int cancelAfter;
    std::string expected;
  } cases[] = {
      {"short", 600, 1000, -1, -1, -1,
       "Setup.exe --- Incomplete download: 600 bytes received of 1000 bytes expected"},
      {"long", 1400, 1000, -1, -1, -1,
       "Setup.exe --- Incomplete download: 1400 bytes received of 1000 bytes expected"},
      {"no length", 600, http::kUnknownLength, -1, -1, -1,
       "Setup.exe --- Incomplete download: 600 bytes received, the server gave no length"},
      {"read fails", 1000, 1000, 300, -1, -1,
       "Setup.exe --- Error downloading file (The connection with the server was reset)"},
      {"aborted", 1000, 1000, -1, 2, -1, "Download Aborted"},
      {"aborted and failed", 1000, 1000, 100, 2, -1, "Download Aborted"},
      {"bar cancel", 1000, 1000, -1, -1, 2,
       "Setup.exe --- Incomplete download: 200 bytes received of 1000 bytes expected"},
  };
  for (const Case& c : cases) {
    TScratchDir dir;
    const std::string target = dir.File("Setup.exe");
    WriteBytes(target, "old");
    TFakeSource source(Pattern(static_cast<size_t>(c.bodySize)));
    source.failAt = c.failAt;
    TFileSink sink(target, c.header, 0);
    TRecorder rec;
    rec.abortAfter = c.abortAfter;
    rec.cancelAfter = c.cancelAfter;
    const TTransferResult result = RunTransfer(source, sink, Request(c.header), rec.Hooks());
    EXPECT_EQ(result.error, c.expected) << c.what;
    EXPECT_FALSE(result.replaced) << c.what;
    EXPECT_EQ(ReadBytes(target), "old") << c.what;
    EXPECT_TRUE(FileExists(sink.TempPath())) << c.what;
  }
}

TEST(DownloadLoop, ErrorStatusNeverReplacesTheTarget) {
  TScratchDir dir;
  const std::string target = dir.File("Setup.exe");
  WriteBytes(target, "old");
  TFakeSource source("<html><title>404 Not Found</title></html>");
  TFileSink sink(target, 41, 0);
  TRecorder rec;
  const TTransferResult result = RunTransfer(source, sink, Request(41, 404), rec.Hooks());
  EXPECT_FALSE(result.replaced);
  EXPECT_EQ(ReadBytes(target), "old");
}

TEST(DownloadLoop, NextAttemptDeletesTheTemporaryFileOfAFailedOne) {
  TScratchDir dir;
  const std::string target = dir.File("Setup.exe");
  TFakeSource shortSource(Pattern(600));
  TFileSink first(target, 1000, 1);
  TRecorder rec1;
  EXPECT_NE(RunTransfer(shortSource, first, Request(1000), rec1.Hooks()).error, "");
  ASSERT_TRUE(FileExists(first.TempPath()));

  const std::string body = Pattern(1000);
  TFakeSource source(body);
  TFileSink second(target, 1000, 2);  // the file changed on the server: another name
  TRecorder rec2;
  EXPECT_EQ(RunTransfer(source, second, Request(1000), rec2.Hooks()).error, "");
  EXPECT_FALSE(FileExists(first.TempPath()));
  EXPECT_EQ(ReadBytes(target), body);
}

TEST(DownloadLoop, UnwritableTargetReadsNothing) {
  TScratchDir dir;
  const std::string target = dir.File("missing-folder") + "/Setup.exe";
  TFakeSource source(Pattern(100));
  TFileSink sink(target, 100, 0);
  TRecorder rec;
  const TTransferResult result = RunTransfer(source, sink, Request(100), rec.Hooks());
  EXPECT_EQ(result.error, http::WriteErrorText("Setup.exe", sink.TempPath()));
  EXPECT_TRUE(source.asked.empty());
  EXPECT_FALSE(FileExists(target));
}

}  // namespace
