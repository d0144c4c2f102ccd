#include "net/CommUtils.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

// A clock the test moves by hand.
struct TFakeClock {
  int64_t now = 0;
  TMsClock Fn() {
    return [this] { return now; };
  }
};

struct TChunk {
  int64_t at;     // clock when the chunk arrives
  int64_t bytes;  // its size
  const char* expected;
};

void RunChunks(const std::vector<TChunk>& chunks) {
  TFakeClock clock;
  TBytesRate rate(false, false, clock.Fn());
  for (size_t i = 0; i < chunks.size(); ++i) {
    clock.now = chunks[i].at;
    EXPECT_EQ(rate.RateText(chunks[i].bytes), chunks[i].expected) << "chunk " << i + 1;
  }
}

TEST(BytesRate, NoSpeedUntilTheFifthChunk) {
  RunChunks({{1000, 1024, ""},
             {1100, 1024, ""},
             {1200, 1024, ""},
             {1300, 1024, ""},
             // four chunks of 1 KB in 400 ms after the oldest one
             {1400, 1024, "10.00"}});
}

TEST(BytesRate, ClockThatStartsAtZeroStillFillsTheWindow) {
  RunChunks({{0, 2048, ""}, {100, 2048, ""}, {200, 2048, ""}, {300, 2048, ""}, {400, 2048, "20.00"}});
}

TEST(BytesRate, SpeedChangesAtMostEvery500Ms) {
  RunChunks({{1000, 1024, ""},
             {1100, 1024, ""},
             {1200, 1024, ""},
             {1300, 1024, ""},
             {1400, 1024, "10.00"},
             {1500, 2048, "10.00"},  // 100 ms after the last update
             {1900, 1024, "10.00"},  // exactly 500 ms: not yet
             // 640 ms after the chunk at 1300 came 1024 + 2048 + 1024 + 4096 bytes
             {1940, 4096, "12.50"},
             {2000, 1024, "12.50"}});
}

TEST(BytesRate, NoSpeedWhenNoTimeHasPassed) {
  RunChunks({{500, 10, ""}, {500, 10, ""}, {500, 10, ""}, {500, 10, ""}, {500, 10, ""}, {500, 10, ""}});
}

TEST(BytesRate, ProgressTextPicksTheUnit) {
  struct Case {
    bool kb, mb;
    int64_t total, received;
    const char* expected;
  } cases[] = {
      {false, false, 50000, 25000, "25000/50000 BytesArr"},
      {true, false, 200000, 100000, "97.7/195.3 KB"},
      {true, false, 2000000, 2000000, "1,953.1/1,953.1 KB"},
      {true, true, 20971520, 3670016, "3.5/20.0 MB"},
      // sizes beyond 32 bits
      {false, false, 5000000000, 3000000000, "3000000000/5000000000 BytesArr"},
      {true, true, 5368709120, 4294967296, "4,096.0/5,120.0 MB"},
  };
  for (const Case& c : cases) {
    TFakeClock clock;
    TBytesRate rate(c.kb, c.mb, clock.Fn());
    EXPECT_EQ(rate.ProgressText(c.total, c.received, 100), c.expected);
  }
}

TEST(BytesRate, ProgressTextCarriesTheSpeedOnceKnown) {
  TFakeClock clock;
  TBytesRate rate(true, true, clock.Fn());
  const int64_t total = 12 * 1048576;
  int64_t received = 3670016 - 4 * 64192;
  std::string text;
  for (int i = 0; i < 5; ++i) {
    clock.now = i * 250;
    if (i > 0) received += 64192;
    text = rate.ProgressText(total, received, 64192);
    if (i < 4) {
      EXPECT_EQ(text.find("KB/Sec"), std::string::npos) << text;
    }
  }
  // 4 x 64192 bytes in one second
  EXPECT_EQ(text, "3.5/12.0 MB   -   250.75 KB/Sec");
}

const std::string kSpaces1000(1000, ' ');

TEST(ErrorPage, RecognisesTitlesAndHtmlPages) {
  struct Case {
    std::string data;
    bool expected;
  } cases[] = {
      {"<html><head><title>Error 404 - Not Found</title></head><body>gone</body></html>", true},
      {"<TITLE>404 Not Found</TITLE>", true},
      {"<Title lang=en>Error 404</TITLE>", true},
      {"<body>The page said 404 and nothing else</body>", false},
      {"404", false},
      {"</TITLE> 404 <TITLE>", false},
      // any HTML page with a title, whatever it says
      {"<HTML><HEAD><TITLE>Welcome</TITLE></HEAD></HTML>", true},
      {"<html><title>x</title><head></head></html>", false},
      // beyond the first 1000 characters nothing counts
      {kSpaces1000 + "<title>404 Not Found</title>", false},
      {std::string(990, ' ') + "<title>404</title>", false},
      {std::string(900, ' ') + "<title>404</title>", true},
      // an INFO text that happens to hold the sequence
      {"[AutoUpdate]\r\nNote=<TITLE of build 404 ends with </TITLE>\r\nVersion=2.0\r\n", true},
      {"[AutoUpdate]\r\nVersion=4.04\r\nSize=404\r\n", false},
      {"", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsErrorPage("", c.data), c.expected) << c.data.substr(0, 80);
  }
}

TEST(ErrorPage, ReadsTheHeadOfAGivenFile) {
  testsupport::TScratchDir dir;
  const std::string page = dir.File("page.htm");
  const std::string late = dir.File("late.htm");
  testsupport::WriteBytes(page, "<html><title>404 Not Found</title></html>");
  testsupport::WriteBytes(late, std::string(2000, ' ') + "<title>404</title>");
  EXPECT_TRUE(IsErrorPage(page, ""));
  EXPECT_FALSE(IsErrorPage(late, "<title>404</title>"));  // the file wins over data
  // a missing file leaves the data to be looked at
  EXPECT_TRUE(IsErrorPage(dir.File("missing.htm"), "<title>404</title>"));
  EXPECT_FALSE(IsErrorPage(dir.File("missing.htm"), "plain"));
}

TEST(ErrorPage, MessageForAPageOrTheDefault) {
  const std::string url = "http://example.test/setup.exe";
  const std::string base =
      "<B>404 File Not Found...</B><P><P>URL:  http://example.test/setup.exe."
      "<P><P>Please make sure the file is available and access is allowed to this file.";
  const std::string hint = "<P><P>If you are using an IIS webserver you must define appropriate MIME-Types.";
  const std::string page = "<title>404 - File or directory not found.</title>";
  const std::string iisPage = page + "<p>Microsoft-iis/10.0</p>";
  struct Case {
    std::string data;
    bool hint;
    std::string expected;
  } cases[] = {
      {"MZ binary", false, "Bad Secret Token!"},
      {"MZ binary with IIS", true, "Bad Secret Token!"},
      {page, false, base},
      {page, true, base},
      {iisPage, false, base},
      {iisPage, true, base + hint},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorPageMessage("", c.data, url, c.hint, "Bad Secret Token!"), c.expected) << c.data;
  }
  EXPECT_EQ(ErrorPageMessage("", "[AutoUpdate]", url, false, ""), "");
}

}  // namespace
