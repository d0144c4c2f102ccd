// The downloader against real web servers: nginx (plain HTTP and HTTPS with
// the test CA) and the scripted fault server, both started around the test
// run by scripts/with-web.sh.
#include "net/InetHTTP.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "WebServer_win32.h"
#include "net/CommUtils.h"
#include "stub/StubState.h"
#include "ui/VxProgBar.h"
#include "util/FileIO.h"
#include "util/Win.h"

namespace {

using testsupport::NoiseBytes;
using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

// The fault server's body: byte i is i % 251.
std::string Pattern(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i % 251);
  return s;
}

bool StartsWithText(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

class InetHTTPWeb : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testweb::Available()) << testweb::kMissing;
    Stub::SetDownloadAbort(false);
  }
  void TearDown() override {
    Stub::SetDownloadAbort(false);
    SetInetTimeOutsMs(0);
  }

  // A word that makes a fault-server path unique to this test and this run:
  // the server counts requests per path for the whole run.
  static std::string Tag(const std::string& word) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(info->name()) + "-" + word + "-" + std::to_string(::GetCurrentProcessId());
  }

  TScratchDir dir;
};

// --- nginx ------------------------------------------------------------------------

TEST_F(InetHTTPWeb, NginxFileAndMemoryDownloadsAreByteIdentical) {
  const std::string body = NoiseBytes(300000, 7);
  ASSERT_TRUE(testweb::Put("files/Setup.exe", body));
  const std::string url = testweb::HttpUrl("/files/Setup.exe");
  const std::string target = dir.File("Setup.exe");
  WriteBytes(target, "old");

  const TInetDownload toFile = HTTP_DownloadFile_Incremental(0, url, target, nullptr);
  EXPECT_EQ(toFile.error, "");
  EXPECT_TRUE(ReadBytes(target) == body);
  const TInetDownload toMemory = HTTP_DownloadFile_Incremental(0, url, "", nullptr);
  EXPECT_EQ(toMemory.error, "");
  EXPECT_TRUE(toMemory.data == body);
  EXPECT_EQ(HTTP_GetFileSize(url), 300000);
  EXPECT_NE(testweb::AccessLog().find("\"GET /files/Setup.exe HTTP/1.1\" 200 300000"), std::string::npos);
}

TEST_F(InetHTTPWeb, MissingFileOnNginxIsAnErrorThatLeavesTheTarget) {
  const std::string url = testweb::HttpUrl("/files/NoSuchSetup.exe");
  const std::string target = dir.File("Setup.exe");
  WriteBytes(target, "old");
  const TInetDownload toFile = HTTP_DownloadFile_Incremental(0, url, target, nullptr);
  EXPECT_EQ(toFile.error, url + " --- HTTP error 404 (Not Found)");
  EXPECT_EQ(ReadBytes(target), "old");
  const TInetDownload toMemory = HTTP_DownloadFile_Incremental(0, url, "", nullptr);
  EXPECT_EQ(toMemory.error, url + " --- HTTP error 404 (Not Found)");
  EXPECT_EQ(toMemory.data, "");
  EXPECT_EQ(HTTP_GetFileSize(url), -1);
}

TEST_F(InetHTTPWeb, HttpsToLocalhostWorksWithTheTestCA) {
  ASSERT_TRUE(testweb::InstallTestCA());
  const std::string body = NoiseBytes(150000, 11);
  ASSERT_TRUE(testweb::Put("tls/Setup.exe", body));
  const std::string url = testweb::HttpsUrl("/tls/Setup.exe");
  const std::string target = dir.File("Setup.exe");
  const TInetDownload toFile = HTTP_DownloadFile_Incremental(0, url, target, nullptr);
  EXPECT_EQ(toFile.error, "");
  EXPECT_TRUE(ReadBytes(target) == body);
  EXPECT_EQ(HTTP_GetFileSize(url), 150000);
  // A URL that names its scheme in capitals is taken as it is.
  const std::string upper = "HTTPS" + url.substr(5);
  EXPECT_EQ(HTTP_DownloadFile_Incremental(0, upper, "", nullptr).data, body);

  const std::string missing = testweb::HttpsUrl("/tls/NoSuchSetup.exe");
  EXPECT_EQ(HTTP_DownloadFile_Incremental(0, missing, target, nullptr).error,
            missing + " --- HTTP error 404 (Not Found)");
  EXPECT_TRUE(ReadBytes(target) == body);
}

TEST_F(InetHTTPWeb, HttpsToAnAddressFailsTheNameCheck) {
  ASSERT_TRUE(testweb::InstallTestCA());
  ASSERT_TRUE(testweb::Put("tls/Named.exe", "only for localhost"));
  const std::string url = testweb::HttpsIpUrl("/tls/Named.exe");
  const std::string target = dir.File("Named.exe");
  WriteBytes(target, "old");
  const TInetDownload toFile = HTTP_DownloadFile_Incremental(0, url, target, nullptr);
  EXPECT_EQ(toFile.error, "Unable to open Internet Connection: " + url);
  EXPECT_EQ(ReadBytes(target), "old");
  const TInetDownload toMemory = HTTP_DownloadFile_Incremental(0, url, "", nullptr);
  EXPECT_NE(toMemory.error, "");
  EXPECT_EQ(toMemory.data, "");
  EXPECT_EQ(HTTP_GetFileSize(url), -1);
}

// --- The fault server: answers that fail --------------------------------------------

struct FailureCase {
  std::string path;      // fault-server path without its tag
  std::string expected;  // start of the error text; "<url>" and "<tag>" are filled in
};

std::string Fill(std::string text, const std::string& url, const std::string& tag) {
  for (const auto& [key, value] : {std::pair<std::string, std::string>{"<url>", url}, {"<tag>", tag}}) {
    const size_t at = text.find(key);
    if (at != std::string::npos) text.replace(at, key.size(), value);
  }
  return text;
}

// Every answer that is not the whole file: an error text that says so, into a
// file (the target untouched) and into memory alike.
TEST_F(InetHTTPWeb, FaultyAnswersAreErrorsAndLeaveTheTarget) {
  const FailureCase cases[] = {
      {"/nolength/5000", "<tag> --- Incomplete download: 5000 bytes received, the server gave no length"},
      {"/short/9000", "<tag> --- "},
      {"/drop/9000/1000", "<tag> --- "},
      {"/status/404", "<url> --- HTTP error 404 (Not Found)"},
      {"/status/500", "<url> --- HTTP error 500 (Internal Server Error)"},
      {"/status/503", "<url> --- HTTP error 503 (Service Unavailable)"},
      {"/size/0", "<url> --- File Not Found !"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string tag = Tag(c.path.substr(1, c.path.find('/', 1) - 1));
    const std::string url = testweb::FaultUrl(c.path + "/" + tag);
    const std::string target = dir.File("Setup.exe");
    WriteBytes(target, "old");
    const TInetDownload toFile = HTTP_DownloadFile_Incremental(0, url, target, nullptr);
    EXPECT_PRED2(StartsWithText, toFile.error, Fill(c.expected, url, tag));
    EXPECT_EQ(ReadBytes(target), "old");
    if (c.path.rfind("/nolength", 0) == 0) continue;  // into memory no length is fine (below)
    const TInetDownload toMemory = HTTP_DownloadFile_Incremental(0, url, "", nullptr);
    EXPECT_PRED2(StartsWithText, toMemory.error, Fill(c.expected, url, tag));
  }
}

// Into memory a body without a length is whole when the connection closes.
TEST_F(InetHTTPWeb, BodyWithoutLengthArrivesIntoMemory) {
  const std::string url = testweb::FaultUrl("/nolength/5000/" + Tag("memory"));
  const TInetDownload result = HTTP_DownloadFile_Incremental(0, url, "", nullptr);
  EXPECT_EQ(result.error, "");
  EXPECT_TRUE(result.data == Pattern(5000));
}

// Bytes beyond the length are not part of the answer: the file is its
// Content-Length bytes, whole.
TEST_F(InetHTTPWeb, BodyLongerThanItsLengthGivesTheFileItAnnounced) {
  const std::string url = testweb::FaultUrl("/long/9000/" + Tag("long"));
  const std::string target = dir.File("Setup.exe");
  const TInetDownload toFile = HTTP_DownloadFile_Incremental(0, url, target, nullptr);
  EXPECT_EQ(toFile.error, "");
  EXPECT_TRUE(ReadBytes(target) == Pattern(9000));
  EXPECT_TRUE(HTTP_DownloadFile_Incremental(0, url, "", nullptr).data == Pattern(9000));
}

TEST_F(InetHTTPWeb, StalledServerEndsWithAnErrorWithinTheTimeOuts) {
  SetInetTimeOutsMs(2000);
  const std::string tag = Tag("stall");
  const std::string url = testweb::FaultUrl("/stall/40000/" + tag);
  const std::string target = dir.File("Setup.exe");
  WriteBytes(target, "old");
  const auto start = std::chrono::steady_clock::now();
  const TInetDownload result = HTTP_DownloadFile_Incremental(0, url, target, nullptr);
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_PRED2(StartsWithText, result.error, tag + " --- ");
  EXPECT_EQ(ReadBytes(target), "old");
  EXPECT_LT(seconds, 30);
}

TEST_F(InetHTTPWeb, ErrorPageWithStatus200ArrivesAndIsRecognised) {
  const std::string url = testweb::FaultUrl("/errorpage/" + Tag("page"));
  const std::string target = dir.File("Setup.exe");
  const TInetDownload toFile = HTTP_DownloadFile_Incremental(0, url, target, nullptr);
  EXPECT_EQ(toFile.error, "");
  EXPECT_TRUE(IsErrorPage(target, ""));
  EXPECT_PRED2(StartsWithText, ErrorPageMessage(target, "", url, false, "Bad Secret Token!"),
               "<B>404 File Not Found...</B><P><P>URL:  " + url + ".");
  const TInetDownload toMemory = HTTP_DownloadFile_Incremental(0, url, "", nullptr);
  EXPECT_EQ(toMemory.error, "");
  EXPECT_TRUE(IsErrorPage("", toMemory.data));
}

// The size query reads the length and leaves the body: a large file is not
// fetched for it and a server that stalls does not hold it beyond the time-outs.
TEST_F(InetHTTPWeb, SizeQueryDoesNotWaitForTheBody) {
  SetInetTimeOutsMs(2000);
  const std::string large = "/size/104857600/" + Tag("large");
  const std::string stall = "/stall/40000/" + Tag("stall");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(HTTP_GetFileSize(testweb::FaultUrl(large)), 104857600);
  EXPECT_EQ(HTTP_GetFileSize(testweb::FaultUrl(stall)), 40000);
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 30);
  const std::string stats = testweb::FaultStats(large);
  const size_t at = stats.find("bytes=");
  ASSERT_NE(at, std::string::npos) << stats;
  EXPECT_LT(std::stoll(stats.substr(at + 6)), 104857600 / 2) << stats;
}

// --- Progress, abort and cancel on a slow trickle -------------------------------------

// Records the bar's texts; `onText` runs at each (with the count so far).
class TStepSink : public TProgBarSink {
 public:
  void Event(int32_t kind, int32_t, int32_t, int32_t, int32_t, const std::string& text) override {
    if (kind != 1) return;
    texts.push_back(text);
    if (onText) onText(texts.size());
  }
  std::vector<std::string> texts;
  std::function<void(size_t)> onText;
};

// The speed in "<amount>   -   <rate> KB/Sec", or -1 when the text has none.
double RateOf(const std::string& text) {
  const std::string dash = "   -   ";
  const std::string unit = " KB/Sec";
  const size_t at = text.find(dash);
  if (at == std::string::npos || text.size() < unit.size() ||
      text.compare(text.size() - unit.size(), unit.size(), unit) != 0) {
    return -1;
  }
  const std::string number = text.substr(at + dash.size(), text.size() - unit.size() - at - dash.size());
  const size_t point = number.find('.');
  if (point == std::string::npos || number.size() - point != 3) return -1;  // two decimals
  return std::stod(number);
}

TEST_F(InetHTTPWeb, TrickleMovesTheBarWithTheRateText) {
  // 30 KiB, 1 KiB every 30 ms: about 33 KB/s over about a second.
  const std::string url = testweb::FaultUrl("/trickle/30720/30/" + Tag("rate"));
  auto sink = std::make_shared<TStepSink>();
  TProgBar bar(sink, [] {}, [](int64_t) {});
  const std::string target = dir.File("Setup.exe");
  const TInetDownload result = HTTP_DownloadFile_Incremental(0, url, target, &bar);
  EXPECT_EQ(result.error, "");
  EXPECT_TRUE(ReadBytes(target) == Pattern(30720));
  ASSERT_GE(sink->texts.size(), 6u);
  // The first four steps show only the amounts; later ones the speed.
  EXPECT_EQ(sink->texts.front().find("KB/Sec"), std::string::npos) << sink->texts.front();
  EXPECT_PRED2(StartsWithText, sink->texts.back(), "30720/30720 BytesArr   -   ");
  const double rate = RateOf(sink->texts.back());
  EXPECT_GT(rate, 3.0) << sink->texts.back();
  EXPECT_LT(rate, 400.0) << sink->texts.back();
}

struct StopCase {
  const char* word;
  bool abortFlag;          // else the bar's cancel flag
  const char* expected;    // start of the error text after "<tag>"
};

// The abort flag and the bar's cancel flag stop a slow download after a few
// steps; the target stays as it was and the rest of the body is not fetched.
TEST_F(InetHTTPWeb, AbortFlagAndBarCancelStopATrickle) {
  const StopCase cases[] = {
      {"abort", true, "Download Aborted"},
      {"cancel", false, " --- Incomplete download: "},
  };
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.word);
    Stub::SetDownloadAbort(false);
    const std::string tag = Tag(c.word);
    // 200 KiB at 1 KiB every 20 ms would take four seconds.
    const std::string path = "/trickle/204800/20/" + tag;
    auto sink = std::make_shared<TStepSink>();
    TProgBar bar(sink, [] {}, [](int64_t) {});
    TProgBar* barPointer = &bar;
    const bool abortFlag = c.abortFlag;
    sink->onText = [abortFlag, barPointer](size_t count) {
      if (count != 3) return;
      if (abortFlag) {
        Stub::SetDownloadAbort(true);
      } else {
        barPointer->SetCancelled(true);
      }
    };
    const std::string target = dir.File("Setup.exe");
    WriteBytes(target, "old");
    const TInetDownload result = HTTP_DownloadFile_Incremental(0, testweb::FaultUrl(path), target, &bar);
    Stub::SetDownloadAbort(false);
    const std::string expected = c.abortFlag ? c.expected : tag + c.expected;
    EXPECT_PRED2(StartsWithText, result.error, expected);
    EXPECT_EQ(sink->texts.size(), 3u);
    EXPECT_EQ(ReadBytes(target), "old");
    // Stopped early: the server sent far less than the body (it notices the
    // closed connection at its next piece).
    const std::string stats = testweb::FaultStats(path);
    const size_t at = stats.find("bytes=");
    ASSERT_NE(at, std::string::npos) << stats;
    EXPECT_LT(std::stoll(stats.substr(at + 6)), 204800) << stats;
  }
}

}  // namespace
