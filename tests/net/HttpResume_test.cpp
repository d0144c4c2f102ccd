#include "net/HttpResume.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using namespace http;

TEST(HttpResume, RangeHeaderAsksFromTheHeldBytes) {
  EXPECT_EQ(RangeHeader(1), "Range: bytes=1-\r\n");
  EXPECT_EQ(RangeHeader(5000000000LL), "Range: bytes=5000000000-\r\n");
  EXPECT_EQ(RangeHeader(0), "");
  EXPECT_EQ(RangeHeader(-7), "");
}

TEST(HttpResume, ContentRangeIsReadStrictly) {
  struct Case {
    const char* text;
    bool valid;
    int64_t first, last, total;
  } cases[] = {
      {"bytes 100-999/1000", true, 100, 999, 1000},
      {"BYTES 0-0/1", true, 0, 0, 1},
      {"  bytes 5-9/20 ", true, 5, 9, 20},
      {"bytes 4294967296-5000000000/5000000001", true, 4294967296LL, 5000000000LL, 5000000001LL},
      {"bytes 999999999999999998-999999999999999998/999999999999999999", true, 999999999999999998LL,
       999999999999999998LL, 999999999999999999LL},
      {"", false, 0, 0, kUnknownLength},
      {"bytes", false, 0, 0, kUnknownLength},
      {"bytes 100-999/*", false, 0, 0, kUnknownLength},
      {"bytes */1000", false, 0, 0, kUnknownLength},
      {"bytes=100-999/1000", false, 0, 0, kUnknownLength},
      {"items 100-999/1000", false, 0, 0, kUnknownLength},
      {"bytes  100-999/1000", false, 0, 0, kUnknownLength},
      {"bytes -100-999/1000", false, 0, 0, kUnknownLength},
      {"bytes 100--999/1000", false, 0, 0, kUnknownLength},
      {"bytes 100-999/1000/1000", false, 0, 0, kUnknownLength},
      {"bytes 100-999/1000x", false, 0, 0, kUnknownLength},
      {"bytes 100 -999/1000", false, 0, 0, kUnknownLength},
      {"bytes 0x10-999/1000", false, 0, 0, kUnknownLength},
      {"bytes 999-100/1000", false, 0, 0, kUnknownLength},    // first after last
      {"bytes 100-1000/1000", false, 0, 0, kUnknownLength},   // last beyond the total
      {"bytes 0-0/0", false, 0, 0, kUnknownLength},
      {"bytes 1-2/9999999999999999999", false, 0, 0, kUnknownLength},  // 19 digits
      {"bytes 18446744073709551617-1/2", false, 0, 0, kUnknownLength},
      {"bytes 100-999/1000\r\nX: 1", false, 0, 0, kUnknownLength},
  };
  for (const Case& c : cases) {
    const TContentRange range = ParseContentRange(c.text);
    EXPECT_EQ(range.valid, c.valid) << c.text;
    if (!c.valid) continue;
    EXPECT_EQ(range.first, c.first) << c.text;
    EXPECT_EQ(range.last, c.last) << c.text;
    EXPECT_EQ(range.total, c.total) << c.text;
  }
  // A hostile header of any length is read in one pass and refused.
  EXPECT_FALSE(ParseContentRange("bytes " + std::string(1 << 20, '9') + "-1/2").valid);
}

TEST(HttpResume, OnlyTheSameFileFromTheHeldByteContinues) {
  const std::string target = "C:\\T\\Setup.exe";
  const int32_t stamp = 0x5D8A5000;
  TPartial begun;  // a body begun in this call
  begun.target = target;
  begun.tempPath = TempFileName(target, 1000, stamp);
  begun.held = 400;
  begun.total = 1000;
  begun.stamp = stamp;
  TPartial leftOver = begun;  // a file of an earlier call: known by its name
  leftOver.total = kUnknownLength;
  leftOver.stamp = 0;
  leftOver.tempPath = "c:\\t\\SETUP.EXE." + std::to_string(1000 + stamp);

  const auto answer = [&](int status, const char* range, int64_t length, int32_t lastModified) {
    TAnswer a;
    a.status = status;
    a.contentRange = range;
    a.length = length;
    a.stamp = lastModified;
    return a;
  };
  struct Case {
    const char* what;
    TAnswer answer;
    bool begunContinues;
    bool leftOverContinues;
  } cases[] = {
      {"the rest", answer(206, "bytes 400-999/1000", 600, stamp), true, true},
      {"no length header", answer(206, "bytes 400-999/1000", kUnknownLength, stamp), true, true},
      {"a 200 sends everything", answer(200, "", 1000, stamp), false, false},
      {"a 200 with a range header", answer(200, "bytes 400-999/1000", 600, stamp), false, false},
      {"another stamp", answer(206, "bytes 400-999/1000", 600, stamp + 2), false, false},
      {"no stamp", answer(206, "bytes 400-999/1000", 600, 0), false, false},
      {"another total", answer(206, "bytes 400-1099/1100", 700, stamp), false, false},
      {"from another byte", answer(206, "bytes 300-999/1000", 700, stamp), false, false},
      {"not to the end", answer(206, "bytes 400-899/1000", 500, stamp), false, false},
      {"length disagrees", answer(206, "bytes 400-999/1000", 1000, stamp), false, false},
      {"no content range", answer(206, "", 600, stamp), false, false},
      {"range not satisfiable", answer(416, "bytes */1000", 0, stamp), false, false},
      // another file whose total and stamp add up to the same temporary name
      {"same name, other file", answer(206, "bytes 400-1001/1002", 602, stamp - 2), false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ContinuesPartial(c.answer, begun), c.begunContinues) << c.what;
    EXPECT_EQ(ContinuesPartial(c.answer, leftOver), c.leftOverContinues) << c.what;
  }
  TPartial empty = begun;
  empty.held = 0;
  EXPECT_FALSE(ContinuesPartial(answer(206, "bytes 0-999/1000", 1000, stamp), empty));
}

TEST(HttpResume, APartialAnswerToAPlainRequestIsAnError) {
  const std::string url = "http://example.test/Setup.exe";
  TAnswer whole;
  whole.status = 206;
  whole.statusText = "Partial Content";
  whole.contentRange = "bytes 0-999/1000";
  whole.length = 1000;
  EXPECT_EQ(AnswerErrorText(url, true, whole), "");
  TAnswer part = whole;
  part.contentRange = "bytes 0-499/1000";
  part.length = 500;
  EXPECT_EQ(AnswerErrorText(url, true, part), StatusErrorText(url, 206, "Partial Content"));
  part.contentRange = "";
  EXPECT_EQ(AnswerErrorText(url, true, part), StatusErrorText(url, 206, "Partial Content"));
  TAnswer missing;
  missing.status = 404;
  missing.statusText = "Not Found";
  EXPECT_EQ(AnswerErrorText(url, true, missing), StatusErrorText(url, 404, "Not Found"));
}

TEST(HttpResume, RetryOnlyADroppedOrFailedTransfer) {
  TTransferEnd dropped;
  dropped.toFile = true;
  dropped.status = 200;
  dropped.expected = 1000;
  dropped.received = 333;
  struct Case {
    const char* what;
    void (*change)(TTransferEnd&);
    int failures;
    bool retry;
  } cases[] = {
      {"dropped", [](TTransferEnd&) {}, 0, true},
      {"dropped, third retry", [](TTransferEnd&) {}, kRetries - 1, true},
      {"dropped, retries used up", [](TTransferEnd&) {}, kRetries, false},
      {"read failed", [](TTransferEnd& e) { e.readFailed = true; }, 1, true},
      {"read failed without a length", [](TTransferEnd& e) { e.readFailed = true; e.expected = kUnknownLength; }, 0, true},
      {"into memory", [](TTransferEnd& e) { e.toFile = false; }, 0, true},
      {"complete", [](TTransferEnd& e) { e.received = 1000; }, 0, false},
      {"too long", [](TTransferEnd& e) { e.received = 1400; }, 0, false},
      {"no length, ended", [](TTransferEnd& e) { e.expected = kUnknownLength; }, 0, false},
      {"aborted", [](TTransferEnd& e) { e.aborted = true; }, 0, false},
      {"aborted while failing", [](TTransferEnd& e) { e.aborted = true; e.readFailed = true; }, 0, false},
      {"bar cancel", [](TTransferEnd& e) { e.cancelled = true; }, 0, false},
      {"write failed", [](TTransferEnd& e) { e.writeFailed = true; }, 0, false},
      {"memory cap", [](TTransferEnd& e) { e.overCap = true; e.readFailed = true; }, 0, false},
  };
  for (const Case& c : cases) {
    TTransferEnd end = dropped;
    c.change(end);
    EXPECT_EQ(ShouldRetry(end, c.failures), c.retry) << c.what;
  }
}

}  // namespace
