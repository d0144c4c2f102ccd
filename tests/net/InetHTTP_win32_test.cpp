#include "net/InetHTTP.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "LoopbackServer_win32.h"
#include "TestSupport.h"
#include "net/CommUtils.h"
#include "net/HttpDecisions.h"
#include "ui/VxProgBar.h"
#include "stub/StubState.h"
#include "util/FileIO.h"

namespace {

using testnet::RawAnswer;
using testnet::TLoopbackServer;
using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

std::string Body(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 13 + i / 97) & 0xFF);
  return s;
}

class InetHTTP : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(server.Port(), 0);
    Stub::SetDownloadAbort(false);
  }
  TLoopbackServer server;
  TScratchDir dir;
};

TEST_F(InetHTTP, FileArrivesWholeAndReplacesTheTarget) {
  const std::string body = Body(200000);
  server.Answer("/Setup.exe", RawAnswer("200 OK", body, "200000"));
  const std::string target = dir.File("Setup.exe");
  WriteBytes(target, "old");
  const TInetDownload result = HTTP_DownloadFile_Incremental(0, server.Url("/Setup.exe"), target, nullptr);
  EXPECT_EQ(result.error, "");
  EXPECT_EQ(ReadBytes(target), body);
  EXPECT_EQ(HTTP_GetFileSize(server.Url("/Setup.exe")), 200000);
}

TEST_F(InetHTTP, UrlWithoutSchemeGetsHttp) {
  server.Answer("/INFO.txt", RawAnswer("200 OK", "[AutoUpdate]\r\nVersion=2\r\n", ""));
  const std::string url = "127.0.0.1:" + std::to_string(server.Port()) + "/INFO.txt";
  const TInetDownload result = HTTP_DownloadFile_Incremental(0, url, "", nullptr);
  EXPECT_EQ(result.error, "");
  EXPECT_EQ(result.data, "[AutoUpdate]\r\nVersion=2\r\n");
}

TEST_F(InetHTTP, SizesBeyond32Bits) {
  server.Answer("/huge.bin", RawAnswer("200 OK", "", "5000000000"));
  EXPECT_EQ(HTTP_GetFileSize(server.Url("/huge.bin")), 5000000000LL);
  server.Answer("/none.bin", RawAnswer("200 OK", "abc", ""));
  EXPECT_EQ(HTTP_GetFileSize(server.Url("/none.bin")), -1);
  server.Answer("/gone.bin", RawAnswer("404 Not Found", "<title>404</title>", "18"));
  EXPECT_EQ(HTTP_GetFileSize(server.Url("/gone.bin")), -1);
}

TEST_F(InetHTTP, FailuresLeaveTheTargetAlone) {
  const std::string page = "<html><head><title>404 Not Found</title></head><body>gone</body></html>";
  server.Answer("/missing.exe", RawAnswer("404 Not Found", page, std::to_string(page.size())));
  server.Answer("/broken.exe", RawAnswer("500 Internal Server Error", page, std::to_string(page.size())));
  server.Answer("/empty.exe", RawAnswer("200 OK", "", "0"));
  server.Answer("/short.exe", RawAnswer("200 OK", Body(600), "1000"));
  server.Answer("/nolength.exe", RawAnswer("200 OK", Body(600), ""));
  struct Case {
    std::string path;
    std::string expected;  // the start of the error text
  } cases[] = {
      {"/missing.exe", server.Url("/missing.exe") + " --- HTTP error 404 (Not Found)"},
      {"/broken.exe", server.Url("/broken.exe") + " --- HTTP error 500 (Internal Server Error)"},
      {"/empty.exe", server.Url("/empty.exe") + " --- File Not Found !"},
      {"/short.exe", "short.exe --- "},
      {"/nolength.exe", "nolength.exe --- Incomplete download: 600 bytes received, the server gave no length"},
  };
  for (const Case& c : cases) {
    const std::string target = dir.File("Target.exe");
    WriteBytes(target, "old");
    const TInetDownload result = HTTP_DownloadFile_Incremental(0, server.Url(c.path), target, nullptr);
    EXPECT_EQ(result.error.substr(0, c.expected.size()), c.expected) << result.error;
    EXPECT_EQ(ReadBytes(target), "old") << c.path;
  }
}

TEST_F(InetHTTP, ErrorPageWithStatus200ArrivesForTheCallerToCheck) {
  const std::string page = "<html><head><title>Error 404</title></head><body>gone</body></html>";
  server.Answer("/Setup.exe", RawAnswer("200 OK", page, std::to_string(page.size())));
  const std::string target = dir.File("Setup.exe");
  const TInetDownload result = HTTP_DownloadFile_Incremental(0, server.Url("/Setup.exe"), target, nullptr);
  EXPECT_EQ(result.error, "");
  EXPECT_TRUE(IsErrorPage(target, ""));
  EXPECT_NE(ErrorPageMessage(target, "", server.Url("/Setup.exe"), false, "Bad Secret Token!"), "Bad Secret Token!");
}

// Records the progress events of a download.
class TRecordingSink : public TProgBarSink {
 public:
  void Event(int32_t kind, int32_t, int32_t maximum, int32_t position, int32_t, const std::string& text) override {
    if (kind == 0) positions.push_back(std::to_string(position) + "/" + std::to_string(maximum));
    if (kind == 1) texts.push_back(text);
  }
  std::vector<std::string> positions;
  std::vector<std::string> texts;
};

TEST_F(InetHTTP, BarStepsAndItsCancelFlag) {
  server.Answer("/small.bin", RawAnswer("200 OK", Body(50), "50"));
  auto sink = std::make_shared<TRecordingSink>();
  {
    TProgBar bar(sink, [] {}, [](int64_t) {});
    EXPECT_EQ(HTTP_DownloadFile_Incremental(0, server.Url("/small.bin"), dir.File("small.bin"), &bar).error, "");
    EXPECT_EQ(sink->positions, std::vector<std::string>{"1/11"});
    ASSERT_EQ(sink->texts.size(), 10u);
    EXPECT_EQ(sink->texts.back().substr(0, 14), "50/50 BytesArr");  // then the speed, if any

    bar.SetCancelled(true);
    WriteBytes(dir.File("small.bin"), "old");
    const TInetDownload cancelled =
        HTTP_DownloadFile_Incremental(0, server.Url("/small.bin"), dir.File("small.bin"), &bar);
    EXPECT_EQ(cancelled.error, "small.bin --- Incomplete download: 5 bytes received of 50 bytes expected");
    EXPECT_EQ(ReadBytes(dir.File("small.bin")), "old");
  }
}

TEST_F(InetHTTP, UnreachableServer) {
  std::string url;
  {
    TLoopbackServer gone;
    url = gone.Url("/Setup.exe");
  }
  const TInetDownload result = HTTP_DownloadFile_Incremental(0, url, dir.File("Setup.exe"), nullptr);
  EXPECT_EQ(result.error, "Unable to open Internet Connection: " + url);
  EXPECT_FALSE(FileExists(dir.File("Setup.exe")));
}

TEST_F(InetHTTP, AbortFlagStopsTheDownload) {
  server.Answer("/Setup.exe", RawAnswer("200 OK", Body(100000), "100000"));
  Stub::SetDownloadAbort(true);
  const TInetDownload result =
      HTTP_DownloadFile_Incremental(0, server.Url("/Setup.exe"), dir.File("Setup.exe"), nullptr);
  Stub::SetDownloadAbort(false);
  EXPECT_EQ(result.error, "Download Aborted");
  EXPECT_FALSE(FileExists(dir.File("Setup.exe")));
}

TEST_F(InetHTTP, MissingLibraryGivesTheFailureTexts) {
  SetInetLibraryName("NoSuchInternetLibrary.dll");
  const TInetDownload result = HTTP_DownloadFile_Incremental(0, server.Url("/x"), "", nullptr);
  std::string connectedError;
  const bool connected = InternetConnected(&connectedError);
  const int64_t size = HTTP_GetFileSize(server.Url("/x"));
  SetInetLibraryName("WinINet.dll");
  EXPECT_EQ(result.error, "Unable to initialize \"WinINet.dll\"");
  EXPECT_FALSE(connected);
  EXPECT_EQ(size, -1);
  EXPECT_EQ(server.Requests("/x"), 0);
}

}  // namespace
