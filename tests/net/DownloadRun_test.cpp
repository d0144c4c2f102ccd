#include "net/DownloadRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "net/HttpDecisions.h"
#include "net/HttpResume.h"
#include "util/FileIO.h"

namespace {

using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

const std::string kUrl = "http://example.test/Setup.exe";
constexpr int32_t kStamp = 0x5D8A5000;

std::string Pattern(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i % 251);
  return s;
}

// A server for one file: answers Range requests with 206 unless told
// otherwise, drops the first connections after a third of their part, fails
// reads or refuses connections on demand, and counts what it sent.
class TFakeServer : public TRequestOpener, public TTransferSource {
 public:
  explicit TFakeServer(std::string body) : body_(std::move(body)) {}
  int drops = 0;            // requests that end after a third of their part
  bool failRead = false;    // a drop is a failed read instead of an early end
  bool ignoreRange = false;
  bool newStamp = false;    // each answer has another Last-Modified
  int refuseAfterFirst = 0; // requests after the first that get no answer
  int64_t total = -1;       // the length the answers give (default: the body's)
  std::vector<int64_t> froms;  // the byte each request asked from
  int64_t sent = 0;

  bool Open(int64_t from, http::TAnswer& answer) override {
    froms.push_back(from);
    if (froms.size() > 1 && refuseAfterFirst > 0) {
      --refuseAfterFirst;
      return false;
    }
    const int64_t size = static_cast<int64_t>(body_.size());
    const int64_t length = total >= 0 ? total : size;
    answer.stamp = newStamp ? kStamp + 2 * static_cast<int32_t>(froms.size()) : kStamp;
    answer.statusText = "OK";
    pos_ = 0;
    if (from > 0 && !ignoreRange && from < length) {
      answer.status = 206;
      answer.contentRange = "bytes " + std::to_string(from) + "-" + std::to_string(length - 1) + "/" +
                            std::to_string(length);
      pos_ = from;
    } else if (from > 0 && !ignoreRange) {
      answer.status = 416;
      answer.length = 0;
      end_ = 0;
      return true;
    } else {
      answer.status = 200;
    }
    answer.length = length - pos_;
    end_ = size;
    dropNow_ = drops > 0;
    if (dropNow_) {
      --drops;
      end_ = pos_ + (size - pos_) / 3;
    }
    return true;
  }
  TTransferSource& Body() override { return *this; }
  void Close() override {}

  bool Read(char* buffer, int64_t max, int64_t& got, std::string& reason) override {
    if (pos_ >= end_ && dropNow_ && failRead) {
      reason = "The connection with the server was reset";
      return false;
    }
    got = std::min(max, end_ - pos_);
    std::memcpy(buffer, body_.data() + pos_, static_cast<size_t>(got));
    pos_ += got;
    sent += got;
    return true;
  }

 private:
  std::string body_;
  int64_t pos_ = 0;
  int64_t end_ = 0;
  bool dropNow_ = false;
};

struct TRecorder {
  std::vector<int> waits;                  // pumps with a wait
  std::vector<int64_t> barPositions;       // where the bar (re)started
  int shows = 0;
  int abortOnWait = -1;                    // the abort flag is set by this wait

  TTransferHooks Hooks() {
    TTransferHooks hooks;
    hooks.pump = [this](int ms) {
      if (ms >= http::kRetryWaitMs) waits.push_back(ms);
    };
    hooks.aborted = [this] { return abortOnWait >= 0 && static_cast<int>(waits.size()) > abortOnWait; };
    hooks.show = [this] { ++shows; };
    hooks.startBar = [this](int64_t, int64_t position) { barPositions.push_back(position); };
    hooks.clock = [] { return int64_t{1000}; };
    return hooks;
  }
};

struct TFileRun {
  TScratchDir dir;
  std::string target = dir.File("Setup.exe");
  TTransferResult Run(TFakeServer& server, TRecorder& rec) {
    TFileSink sink(target, http::kUnknownLength, 0);
    return RunDownload(server, sink, kUrl, rec.Hooks());
  }
  std::string Temp(int64_t size, int32_t stamp = kStamp) const { return http::TempFileName(target, size, stamp); }
};

TEST(DownloadRun, DroppedConnectionsContinueFromTheHeldBytes) {
  const int64_t n = 3 * 1048576 + 12345;
  const std::string body = Pattern(static_cast<size_t>(n));
  for (int drops : {1, 2, 3}) {
    TFileRun run;
    WriteBytes(run.target, "old");
    TFakeServer server(body);
    server.drops = drops;
    TRecorder rec;
    const TTransferResult result = run.Run(server, rec);
    EXPECT_EQ(result.error, "") << drops;
    EXPECT_TRUE(result.replaced) << drops;
    EXPECT_TRUE(ReadBytes(run.target) == body) << drops;
    EXPECT_FALSE(FileExists(run.Temp(n))) << drops;
    EXPECT_EQ(server.sent, n) << drops;  // not a byte twice
    ASSERT_EQ(server.froms.size(), static_cast<size_t>(drops + 1)) << drops;
    EXPECT_EQ(server.froms[0], 0);
    EXPECT_EQ(server.froms[1], n / 3);
    EXPECT_EQ(rec.waits, std::vector<int>(static_cast<size_t>(drops), http::kRetryWaitMs)) << drops;
    EXPECT_EQ(rec.shows, 1);
    // the bar goes on from where the first attempt left it
    ASSERT_EQ(rec.barPositions.size(), static_cast<size_t>(drops + 1));
    EXPECT_EQ(rec.barPositions[0], 1);
    EXPECT_GT(rec.barPositions[1], 1);
  }
}

TEST(DownloadRun, FailedReadsAreRetriedToo) {
  const std::string body = Pattern(100000);
  TFileRun run;
  TFakeServer server(body);
  server.drops = 2;
  server.failRead = true;
  TRecorder rec;
  EXPECT_EQ(run.Run(server, rec).error, "");
  EXPECT_TRUE(ReadBytes(run.target) == body);
  EXPECT_EQ(server.froms.size(), 3u);
  EXPECT_EQ(server.sent, 100000);
}

TEST(DownloadRun, BeyondTheRetriesTheTemporaryFileStaysForTheNextCall) {
  const int64_t n = 90000;
  const std::string body = Pattern(static_cast<size_t>(n));
  TFileRun run;
  WriteBytes(run.target, "old");
  TFakeServer server(body);
  server.drops = http::kRetries + 2;
  TRecorder rec;
  const TTransferResult first = run.Run(server, rec);
  EXPECT_EQ(server.froms.size(), static_cast<size_t>(http::kRetries + 1));
  const int64_t held = static_cast<int64_t>(ReadBytes(run.Temp(n)).size());
  EXPECT_EQ(first.error, http::IncompleteText("Setup.exe", held, n));
  EXPECT_FALSE(first.replaced);
  EXPECT_EQ(ReadBytes(run.target), "old");
  EXPECT_TRUE(ReadBytes(run.Temp(n)) == body.substr(0, static_cast<size_t>(held)));

  // The next call asks for the rest of that file straight away.
  TFakeServer again(body);
  again.drops = 1;
  TRecorder rec2;
  EXPECT_EQ(run.Run(again, rec2).error, "");
  EXPECT_EQ(again.froms.front(), held);
  EXPECT_TRUE(ReadBytes(run.target) == body);
  EXPECT_EQ(again.sent, n - held);
}

TEST(DownloadRun, AServerThatIgnoresRangesStartsOver) {
  const int64_t n = 60000;
  const std::string body = Pattern(static_cast<size_t>(n));
  TFileRun run;
  TFakeServer server(body);
  server.drops = 1;
  server.ignoreRange = true;
  TRecorder rec;
  EXPECT_EQ(run.Run(server, rec).error, "");
  EXPECT_TRUE(ReadBytes(run.target) == body);  // the first part is not there twice
  EXPECT_EQ(server.froms, (std::vector<int64_t>{0, n / 3}));
  EXPECT_EQ(server.sent, n / 3 + n);
  EXPECT_EQ(rec.barPositions, (std::vector<int64_t>{1, 1}));
}

TEST(DownloadRun, AChangedFileStartsOverUnderItsNewName) {
  const int64_t n = 60000;
  const std::string body = Pattern(static_cast<size_t>(n));
  TFileRun run;
  TFakeServer server(body);
  server.drops = 1;
  server.newStamp = true;
  TRecorder rec;
  EXPECT_EQ(run.Run(server, rec).error, "");
  EXPECT_TRUE(ReadBytes(run.target) == body);
  // the 206 of another stamp is dropped and the whole file asked for
  EXPECT_EQ(server.froms, (std::vector<int64_t>{0, n / 3, 0}));
  EXPECT_FALSE(FileExists(run.Temp(n, kStamp + 2)));
}

TEST(DownloadRun, ALeftOverOfTheSameNameIsContinuedOthersGo) {
  const int64_t n = 50000;
  const std::string body = Pattern(static_cast<size_t>(n));
  TFileRun run;
  WriteBytes(run.Temp(n), body.substr(0, 20000));
  WriteBytes(run.target + ".17", "smaller left-over");
  WriteBytes(run.target + ".config", "keep");
  TFakeServer server(body);
  TRecorder rec;
  EXPECT_EQ(run.Run(server, rec).error, "");
  EXPECT_TRUE(ReadBytes(run.target) == body);
  EXPECT_EQ(server.froms, (std::vector<int64_t>{20000}));
  EXPECT_EQ(server.sent, n - 20000);
  EXPECT_FALSE(FileExists(run.target + ".17"));
  EXPECT_EQ(ReadBytes(run.target + ".config"), "keep");
  EXPECT_GT(rec.barPositions.front(), 1);
}

TEST(DownloadRun, ALeftOverOfAnotherNameIsDeleted) {
  const int64_t n = 50000;
  const std::string body = Pattern(static_cast<size_t>(n));
  struct Case {
    const char* what;
    std::string suffix;
    size_t bytes;
    std::vector<int64_t> froms;
  } cases[] = {
      // another file on the server: the 206 does not match, the whole file is asked for
      {"other name", ".7", 20000, {20000, 0}},
      // the same name but more bytes than the file has: 416, then the whole file
      {"too large", "." + std::to_string(n + kStamp), 60000, {60000, 0}},
  };
  for (const Case& c : cases) {
    TFileRun run;
    const std::string leftOver = run.target + c.suffix;
    WriteBytes(leftOver, Pattern(c.bytes));
    TFakeServer server(body);
    TRecorder rec;
    EXPECT_EQ(run.Run(server, rec).error, "") << c.what;
    EXPECT_TRUE(ReadBytes(run.target) == body) << c.what;
    EXPECT_EQ(server.froms, c.froms) << c.what;
    EXPECT_FALSE(FileExists(leftOver)) << c.what;
  }
}

TEST(DownloadRun, AResumedFileMustComeToTheWholeLength) {
  // The server's answers say 1000 bytes but the body has only 900: no retry
  // makes it whole, and the target is never replaced.
  TFileRun run;
  WriteBytes(run.target, "old");
  TFakeServer server(Pattern(900));
  server.total = 1000;
  TRecorder rec;
  const TTransferResult result = run.Run(server, rec);
  EXPECT_EQ(result.error, http::IncompleteText("Setup.exe", 900, 1000));
  EXPECT_EQ(ReadBytes(run.target), "old");
  EXPECT_EQ(server.froms, (std::vector<int64_t>{0, 900, 900, 900}));
  EXPECT_EQ(server.sent, 900);
}

TEST(DownloadRun, MemoryStartsOverAndStaysCapped) {
  const std::string body = Pattern(30000);
  TFakeServer server(body);
  server.drops = 2;
  TMemorySink sink(http::kMemoryCap);
  TRecorder rec;
  EXPECT_EQ(RunDownload(server, sink, kUrl, rec.Hooks()).error, "");
  EXPECT_TRUE(sink.Data() == body);
  EXPECT_EQ(server.froms, (std::vector<int64_t>{0, 0, 0}));

  TFakeServer large(Pattern(100));
  large.total = http::kMemoryCap + 1;
  TMemorySink capped(http::kMemoryCap);
  EXPECT_EQ(RunDownload(large, capped, kUrl, rec.Hooks()).error, http::MemoryCapText("Setup.exe"));
  EXPECT_EQ(large.froms.size(), 1u);
}

TEST(DownloadRun, RefusedReconnectsCountAsRetries) {
  const std::string body = Pattern(30000);
  for (int refused : {2, 3}) {
    TFileRun run;
    TFakeServer server(body);
    server.drops = 1;
    server.refuseAfterFirst = refused;
    TRecorder rec;
    const TTransferResult result = run.Run(server, rec);
    if (refused < http::kRetries) {
      EXPECT_EQ(result.error, "");
      EXPECT_TRUE(ReadBytes(run.target) == body);
    } else {
      EXPECT_EQ(result.error, http::OpenErrorText(kUrl));
      EXPECT_FALSE(FileExists(run.target));
      EXPECT_TRUE(FileExists(run.Temp(30000)));
    }
    EXPECT_EQ(rec.waits.size(), static_cast<size_t>(std::min(refused + 1, http::kRetries)));
  }
}

TEST(DownloadRun, AbortDuringTheWaitEndsIt) {
  TFileRun run;
  TFakeServer server(Pattern(30000));
  server.drops = 3;
  TRecorder rec;
  rec.abortOnWait = 0;
  const TTransferResult result = run.Run(server, rec);
  EXPECT_EQ(result.error, http::AbortedText());
  EXPECT_EQ(server.froms.size(), 1u);
  EXPECT_FALSE(FileExists(run.target));
}

TEST(DownloadRun, ErrorAnswersAreNotRetried) {
  TFileRun run;
  TFakeServer server(Pattern(0));
  TRecorder rec;
  EXPECT_EQ(run.Run(server, rec).error, http::NotFoundText(kUrl));
  EXPECT_EQ(server.froms.size(), 1u);
  EXPECT_EQ(rec.shows, 0);
}

}  // namespace
