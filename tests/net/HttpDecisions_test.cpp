#include "net/HttpDecisions.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using namespace http;

TEST(HttpUrl, SchemeIsAddedOnlyWhenMissing) {
  struct Case {
    const char* url;
    const char* expected;
  } cases[] = {
      {"example.test/setup.exe", "http://example.test/setup.exe"},
      {"http://example.test/setup.exe", "http://example.test/setup.exe"},
      {"HTTP://example.test/setup.exe", "HTTP://example.test/setup.exe"},
      {"https://example.test/setup.exe", "https://example.test/setup.exe"},
      {"HtTpS://example.test/setup.exe", "HtTpS://example.test/setup.exe"},
      // a scheme later in the text is no scheme of this URL
      {"example.test/go?to=http://other.test/", "http://example.test/go?to=http://other.test/"},
      {"httpserver.test/a", "http://httpserver.test/a"},
  };
  for (const Case& c : cases) EXPECT_EQ(RequestUrl(c.url), c.expected) << c.url;
}

TEST(HttpUrl, DisplayNameIsTheLastPart) {
  EXPECT_EQ(UrlDisplayName("http://example.test/dir/Setup.exe"), "Setup.exe");
  EXPECT_EQ(UrlDisplayName("http://example.test/dir\\INFO.txt"), "INFO.txt");
  EXPECT_EQ(UrlDisplayName("http://example.test/"), "");
  EXPECT_EQ(UrlDisplayName("setup.exe"), "setup.exe");
}

TEST(HttpLength, ContentLengthReadAsText) {
  struct Case {
    const char* text;
    int64_t expected;
  } cases[] = {
      {"0", 0},
      {"12345", 12345},
      {" 77 ", 77},
      {"2147483648", 2147483648},
      {"4294967296", 4294967296},
      {"5000000000", 5000000000},
      {"999999999999999999", 999999999999999999},
      {"", kUnknownLength},
      {"-5", kUnknownLength},
      {"12a", kUnknownLength},
      {"1 2", kUnknownLength},
      {"0x10", kUnknownLength},
      {"9999999999999999999999", kUnknownLength},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseContentLength(c.text), c.expected) << c.text;
}

TEST(HttpChunks, ChunkRuleAndBarPlan) {
  struct Case {
    int64_t size;
    int64_t chunk;
    int64_t barCount;
    int pumpMs;
  } cases[] = {
      {1, 1, 2, 2},
      {9, 1, 10, 2},
      {50, 5, 11, 2},
      {81920, 8192, 11, 2},
      {81921, 8192, 12, 0},
      {1000000, 8192, 124, 0},
      {1048576, 8192, 129, 0},
      {kLargeFileFrom, 8192, 1281, 0},
      {kLargeFileFrom + 1, kLargeChunk, 12, 0},
      {256 * 1048576LL, kLargeChunk, 257, 0},
      {5000000000LL, kLargeChunk, 4770, 0},
      {kUnknownLength, kLargeChunk, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChunkSize(c.size), c.chunk) << c.size;
    EXPECT_EQ(PlanBar(c.size, ChunkSize(c.size)).count, c.barCount) << c.size;
    EXPECT_EQ(PumpWaitMs(c.size), c.pumpMs) << c.size;
  }
}

TEST(HttpChunks, LargeReadsFollowTheLineSpeed) {
  const int64_t big = 256 * 1048576LL;
  EXPECT_EQ(FirstReadSize(big), kLargeStart);
  EXPECT_EQ(FirstReadSize(kUnknownLength), kLargeStart);
  EXPECT_EQ(FirstReadSize(50), 5);
  EXPECT_EQ(FirstReadSize(kLargeFileFrom), kSmallChunkMax);
  struct Case {
    int64_t size, asked, got, elapsedMs, next;
  } cases[] = {
      {big, kLargeStart, kLargeStart, 10, 2 * kLargeStart},         // fast: double
      {big, kLargeChunk / 2, kLargeChunk / 2, 0, kLargeChunk},
      {big, kLargeChunk, kLargeChunk, 0, kLargeChunk},              // never beyond 1 MiB
      {kUnknownLength, kLargeStart, kLargeStart, 49, 2 * kLargeStart},
      {big, kLargeStart, kLargeStart, 50, kLargeStart},             // neither fast nor slow
      {big, kLargeStart, kLargeStart, 200, kLargeStart},
      {big, kLargeStart, 1000, 10, kLargeStart},                    // a short read: the end is near
      {big, kLargeChunk, kLargeChunk, 201, kLargeChunk / 2},        // slow: halve
      {big, 16384, 16384, 5000, kSmallChunkMax},
      {big, kSmallChunkMax, kSmallChunkMax, 5000, kSmallChunkMax},  // never below 8 KiB
      {kLargeFileFrom, 8192, 8192, 0, 8192},                        // the chunk rule stays
      {50, 5, 5, 5000, 5},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NextReadSize(c.size, c.asked, c.got, c.elapsedMs), c.next)
        << c.size << " " << c.asked << " " << c.got << " " << c.elapsedMs;
  }
}

TEST(HttpChunks, BarMaximumStaysSixteenBit) {
  for (int64_t size : {200LL * 1024 * 1048576, 1LL << 40}) {
    const TBarPlan plan = PlanBar(size, ChunkSize(size));
    EXPECT_LE(plan.count, kBarMaximum) << size;
    EXPECT_GE(plan.stepBytes, ChunkSize(size));
    EXPECT_EQ(BarSteps(plan, size) + 1, plan.count);
  }
}

TEST(HttpChunks, BarStepsRoundUp) {
  const TBarPlan plan = PlanBar(50, 5);
  EXPECT_EQ(BarSteps(plan, 0), 0);
  EXPECT_EQ(BarSteps(plan, 1), 1);
  EXPECT_EQ(BarSteps(plan, 5), 1);
  EXPECT_EQ(BarSteps(plan, 6), 2);
  EXPECT_EQ(BarSteps(plan, 50), 10);
}

TEST(HttpTempFile, NameFromSizeAndStamp) {
  EXPECT_EQ(TempFileName("C:\\T\\Setup.exe", 1000, 5), "C:\\T\\Setup.exe.1005");
  EXPECT_EQ(TempFileName("a", kUnknownLength, 0), "a.4294967295");
  EXPECT_EQ(TempFileName("a", kUnknownLength, 10), "a.9");
  // the sum is unsigned 32-bit, for a negative stamp and beyond 4 GiB alike
  EXPECT_EQ(TempFileName("a", 1, -1), "a.0");
  EXPECT_EQ(TempFileName("a", 4294967296LL + 7, 0), "a.7");
  EXPECT_EQ(TempFileName("a", 0x7FFFFFFF, 0x7FFFFFFF), "a.4294967294");
}

TEST(HttpTempFile, LastModifiedStampInTheDosRange) {
  struct Case {
    int y, mo, d, h, mi, s;
    int32_t expected;
  } cases[] = {
      {1980, 1, 1, 0, 0, 0, 0x00210000},
      {2026, 12, 10, 14, 30, 59, static_cast<int32_t>(((46u << 9 | 12u << 5 | 10u) << 16) | (14u << 11 | 30u << 5 | 29u))},
      {2107, 12, 31, 23, 59, 58, static_cast<int32_t>(((127u << 9 | 12u << 5 | 31u) << 16) | (23u << 11 | 59u << 5 | 29u))},
      {2024, 2, 29, 0, 0, 0, static_cast<int32_t>((44u << 9 | 2u << 5 | 29u) << 16)},
      {1979, 12, 31, 0, 0, 0, 0},
      {2108, 1, 1, 0, 0, 0, 0},
      {2023, 2, 29, 0, 0, 0, 0},
      {2026, 4, 31, 0, 0, 0, 0},
      {2026, 0, 1, 0, 0, 0, 0},
      {2026, 1, 1, 24, 0, 0, 0},
      {2026, 1, 1, 0, 60, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LastModifiedStamp(c.y, c.mo, c.d, c.h, c.mi, c.s), c.expected) << c.y << "-" << c.mo << "-" << c.d;
  }
}

TEST(HttpTempFile, OnlyNumberedLeftOversAreTheirs) {
  const std::string target = "C:\\T\\Setup.exe";
  struct Case {
    const char* path;
    bool expected;
  } cases[] = {
      {"C:\\T\\Setup.exe.1005", true},
      {"c:\\t\\SETUP.EXE.4294967295", true},
      {"C:\\T\\Setup.exe.0", true},
      {"C:\\T\\Setup.exe", false},
      {"C:\\T\\Setup.exe.", false},
      {"C:\\T\\Setup.exe.config", false},
      {"C:\\T\\Setup.exe.manifest", false},
      {"C:\\T\\Setup.exe.12a", false},
      {"C:\\T\\Setup.exe.12345678901", false},
      {"C:\\T\\Setup.exe.1.2", false},
      {"C:\\T\\Other.exe.1005", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsTempLeftOver(target, c.path), c.expected) << c.path;
  EXPECT_FALSE(IsTempLeftOver("", ".5"));
}

TEST(HttpErrors, FixedTexts) {
  const std::string url = "http://example.test/Setup.exe";
  EXPECT_EQ(InitErrorText(), "Unable to initialize \"WinINet.dll\"");
  EXPECT_EQ(OpenErrorText(url), "Unable to open Internet Connection: http://example.test/Setup.exe");
  EXPECT_EQ(NotFoundText(url), "http://example.test/Setup.exe --- File Not Found !");
  EXPECT_EQ(AbortedText(), "Download Aborted");
  EXPECT_EQ(ReadErrorText("Setup.exe", ""), "Setup.exe --- Error downloading file");
  EXPECT_EQ(ReadErrorText("Setup.exe", "The operation timed out\r\n"),
            "Setup.exe --- Error downloading file (The operation timed out)");
}

TEST(HttpErrors, ResponseBeforeTheBody) {
  const std::string url = "http://example.test/Setup.exe";
  struct Case {
    bool toFile;
    int status;
    const char* statusText;
    int64_t size;
    std::string expected;
  } cases[] = {
      {true, 200, "OK", 1000, ""},
      {true, 200, "OK", kUnknownLength, ""},
      {true, 206, "Partial Content", 1000, ""},
      {true, 200, "OK", 0, url + " --- File Not Found !"},
      {true, 404, "Not Found", 162, url + " --- HTTP error 404 (Not Found)"},
      {true, 500, "Internal Server Error", 0, url + " --- HTTP error 500 (Internal Server Error)"},
      {false, 403, "", 10, url + " --- HTTP error 403"},
      {true, 301, "Moved Permanently", 10, url + " --- HTTP error 301 (Moved Permanently)"},
      {true, 0, "", 10, url + " --- HTTP error 0"},
      {false, 200, "OK", kMemoryCap, ""},
      {false, 200, "OK", kMemoryCap + 1,
       "Setup.exe --- File too large: more than 8 MB cannot be received into memory"},
      {true, 200, "OK", 5000000000LL, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResponseErrorText(url, c.toFile, c.status, c.statusText, c.size), c.expected)
        << c.status << " " << c.size;
  }
}

TTransferEnd FileEnd(int64_t expected, int64_t received) {
  TTransferEnd end;
  end.name = "Setup.exe";
  end.toFile = true;
  end.status = 200;
  end.expected = expected;
  end.received = received;
  end.fileSize = received;
  end.tempPath = "C:\\T\\Setup.exe.1005";
  return end;
}

TEST(HttpErrors, EndOfTheTransfer) {
  struct Case {
    const char* what;
    TTransferEnd end;
    std::string expected;
    bool replace;
  };
  TTransferEnd shortBody = FileEnd(1000, 600);
  TTransferEnd longBody = FileEnd(1000, 1400);
  TTransferEnd noLength = FileEnd(kUnknownLength, 600);
  TTransferEnd big = FileEnd(5000000000LL, 5000000000LL);
  TTransferEnd bigShort = FileEnd(5000000000LL, 2147483648LL);
  TTransferEnd readFailed = FileEnd(1000, 600);
  readFailed.readFailed = true;
  readFailed.readReason = "The connection with the server was reset";
  TTransferEnd aborted = readFailed;
  aborted.aborted = true;
  TTransferEnd writeFailed = FileEnd(1000, 1000);
  writeFailed.writeFailed = true;
  writeFailed.fileSize = 512;
  TTransferEnd fileShort = FileEnd(1000, 1000);
  fileShort.fileSize = 999;
  TTransferEnd notOk = FileEnd(1000, 1000);
  notOk.status = 404;
  TTransferEnd memory = FileEnd(kUnknownLength, 300);
  memory.toFile = false;
  TTransferEnd memoryShort = FileEnd(1000, 300);
  memoryShort.toFile = false;
  TTransferEnd memoryCap = FileEnd(kUnknownLength, kMemoryCap);
  memoryCap.toFile = false;
  memoryCap.overCap = true;

  const Case cases[] = {
      {"whole", FileEnd(1000, 1000), "", true},
      {"beyond 4 GiB", big, "", true},
      {"short", shortBody, "Setup.exe --- Incomplete download: 600 bytes received of 1000 bytes expected", false},
      {"long", longBody, "Setup.exe --- Incomplete download: 1400 bytes received of 1000 bytes expected", false},
      {"no length", noLength, "Setup.exe --- Incomplete download: 600 bytes received, the server gave no length",
       false},
      {"short beyond 2 GiB", bigShort,
       "Setup.exe --- Incomplete download: 2147483648 bytes received of 5000000000 bytes expected", false},
      {"read failed", readFailed,
       "Setup.exe --- Error downloading file (The connection with the server was reset)", false},
      {"aborted", aborted, "Download Aborted", false},
      {"write failed", writeFailed, "Setup.exe --- Unable to write C:\\T\\Setup.exe.1005", false},
      {"file short", fileShort, "Setup.exe --- Incomplete download: 999 bytes received of 1000 bytes expected",
       false},
      {"status", notOk, "", false},
      {"memory without length", memory, "", false},
      {"memory short", memoryShort, "Setup.exe --- Incomplete download: 300 bytes received of 1000 bytes expected",
       false},
      {"memory cap", memoryCap, "Setup.exe --- File too large: more than 8 MB cannot be received into memory",
       false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TransferErrorText(c.end), c.expected) << c.what;
    EXPECT_EQ(MayReplaceTarget(c.end), c.replace) << c.what;
  }
}

}  // namespace
