// End-to-end runs of a download-mode setup (wine): the stub, built with the
// package builder, fetches the real setup from the test web servers
// (scripts/with-web.sh), checks its secret token and extracts it.
#include <gtest/gtest.h>

#include <algorithm>

#include "util/Win.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "SetupRun_win32.h"
#include "TestSigner_win32.h"
#include "WebServer_win32.h"
#include "package/PackBuild.h"
#include "package/StubSetup.h"

namespace {

using namespace setuprun;
using stubtest::Exists;
using stubtest::TProc;
using stubtest::WaitUntil;
using stubtest::WindowText;

constexpr int kBoxMs = 45000;
constexpr uint32_t kEngineExit = 42;
const char* const kToken = "Product-Download-2026";

struct TBox {
  HWND window = nullptr;
  std::string caption;
  std::string text;
};

HWND TextControlOf(HWND box) {
  for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    char name[64] = {0};
    ::GetClassNameA(child, name, sizeof(name));
    if (std::string(name) != "Button") return child;
  }
  return nullptr;
}

// The visible top-level window of process pid other than a message box.
HWND ShownMainWindowOf(DWORD pid) {
  return FindTopOf(pid, [](HWND window) { return ::IsWindowVisible(window) && ClassOf(window) != kBoxClass; });
}

struct TDownloadStub {
  std::string source;  // download base location
  std::string name;    // setup file name
  std::string size;    // download size item
  bool ask = false;
  bool always = false;
  std::string token = kToken;
  std::string updateKey = "";  // "" = an unsigned download
};

class DownloadRunTest : public SetupRunTest {
 protected:
  std::string keep = dir.File("kept");

  void SetUp() override {
    SetupRunTest::SetUp();
    SetEngineEnv({{"VARNEL_ENGINE_EXIT", std::to_string(kEngineExit)}});
    ASSERT_TRUE(testweb::Available()) << testweb::kMissing;
  }

  // The real setup (engine and two files) with the download token, as bytes.
  std::string RealSetup(const std::string& token = kToken) {
    const std::string payload = dir.File("payload");
    ::CreateDirectoryA(payload.c_str(), nullptr);
    testsupport::WriteBytes(payload + "\\Engine.exe", EngineImage());
    testsupport::WriteBytes(payload + "\\readme.txt", "read me");
    testsupport::WriteBytes(dir.File("stub.exe"), stubtest::StubImage());
    PackBuild::TBuildOptions o;
    o.stubPath = dir.File("stub.exe");
    o.output = dir.File("real.exe");
    o.engineName = "Engine.exe";
    o.engineArgs = "/x";
    o.inputs = {{payload + "\\Engine.exe", "Engine.exe"}, {payload + "\\readme.txt", "readme.txt"}};
    o.download = {true, "http://unused.invalid", "Full.exe", false, token, "1"};
    PackBuild::TBuildReport report;
    EXPECT_EQ(PackBuild::BuildPackage(o, report), "");
    return testsupport::ReadBytes(o.output);
  }

  // The download-mode stub at exe; it carries the agent Foo.AutoUpdate.exe.
  void BuildStub(const TDownloadStub& download) {
    testsupport::WriteBytes(dir.File("stub.exe"), stubtest::StubImage());
    PackBuild::TBuildOptions o;
    o.stubPath = dir.File("stub.exe");
    o.output = exe;
    o.downloadSetup = true;
    o.askBeforeDownload = download.ask;
    o.carriesAgent = true;
    o.info.agentFile = "Foo.AutoUpdate.exe";
    o.download = {true, download.source, download.name, download.always, download.token, download.size};
    o.updateKey = download.updateKey;
    PackBuild::TBuildReport report;
    ASSERT_EQ(PackBuild::BuildPackage(o, report), "");
  }

  // Puts the real setup on nginx under /dl/<tag>/Full.exe; returns where the stub finds it.
  TDownloadStub Served(const std::string& tag, const std::string& bytes) {
    EXPECT_TRUE(testweb::Put("dl/" + tag + "/Full.exe", bytes));
    return {testweb::HttpUrl("/dl/" + tag), "Full.exe", std::to_string(bytes.size())};
  }

  // The stub's first box with some text, or none when it ends first.
  TBox WaitForBox() {
    TBox box;
    WaitUntil(
        [&] {
          box.window = FindBoxOf(stub.Id());
          if (!box.window) return !stub.Running();
          box.caption = WindowText(box.window);
          HWND text = TextControlOf(box.window);
          box.text = text ? WindowText(text) : "";
          return !box.text.empty();
        },
        kBoxMs);
    if (box.text.empty()) box.window = nullptr;
    return box;
  }

  DWORD Robot(const std::string& args) const {
    TProc robot(testsupport::BuildPath("tools/ui-robot/ui-robot.exe"),
                "--class " + std::string(kBoxClass) + " --pid " + std::to_string(stub.Id()) + " --timeout " +
                    std::to_string(kBoxMs) + " " + args);
    return robot.Wait(kRunMs);
  }

  // Waits for the end of the run; boxSeen tells whether a box came up.
  DWORD WaitWatchingForBoxes(bool& boxSeen, bool* windowSeen = nullptr) {
    boxSeen = false;
    WaitUntil(
        [&] {
          boxSeen = boxSeen || FindBoxOf(stub.Id(), false) != nullptr;
          if (windowSeen) *windowSeen = *windowSeen || ShownMainWindowOf(stub.Id()) != nullptr;
          return !stub.Running();
        },
        kRunMs);
    return stub.Wait(1000);
  }

  // The run shows one error box holding `part`; it is answered with OK.
  void ExpectErrorBox(const std::string& part, const std::string& another = "") {
    const TBox box = WaitForBox();
    ASSERT_NE(box.window, nullptr) << "no error box";
    EXPECT_EQ(box.caption, "Error");
    EXPECT_NE(box.text.find(part), std::string::npos) << box.text;
    EXPECT_NE(box.text.find(another), std::string::npos) << box.text;
    EXPECT_EQ(Robot("--press OK --wait-gone"), 0u);
  }

  void ExpectEngineRan() {
    const std::string text = testsupport::ReadBytes(log);
    ASSERT_FALSE(text.empty()) << "the engine did not run";
    const std::vector<std::string> files = LogFiles(text);
    EXPECT_NE(std::find(files.begin(), files.end(), "readme.txt"), files.end()) << text;
  }

  void ExpectTempEmpty() {
    std::vector<std::string> left;
    WaitUntil([&] { return (left = TempContents()).empty(); }, 10000);
    EXPECT_TRUE(left.empty()) << "left in the temp folder: " << left.front();
  }

  // Requests of this test only: the server and its log serve every test of
  // the run, the second run against the i686 stub included.
  int Requests(const std::string& part) const {
    const std::string log = testweb::AccessLog();
    return stubtest::CountOf(log.substr(std::min(logStart_, log.size())), part);
  }
  const size_t logStart_ = testweb::AccessLog().size();
};

TEST_F(DownloadRunTest, DownloadsChecksTheTokenExtractsAndDeletesTheDownload) {
  const TDownloadStub download = Served("normal", RealSetup());
  BuildStub(download);
  SetEngineEnv({{"VARNEL_ENGINE_KEEP", keep}});
  ::CreateDirectoryA(keep.c_str(), nullptr);
  ASSERT_TRUE(stub.Start(exe, ""));
  bool boxSeen = false, windowSeen = false;
  EXPECT_EQ(WaitWatchingForBoxes(boxSeen, &windowSeen), kEngineExit);
  EXPECT_FALSE(boxSeen);
  EXPECT_TRUE(windowSeen) << "the download shows the stub window";
  ExpectEngineRan();
  EXPECT_EQ(Requests("GET /dl/normal/Full.exe"), 1);
  ExpectTempEmpty();

  // The agent copy beside the engine: the stub itself, flagged as an agent.
  const std::string agent = testsupport::ReadBytes(keep + "\\Foo.AutoUpdate.exe");
  std::string expected = testsupport::ReadBytes(exe);
  ASSERT_EQ(agent.size(), expected.size());
  expected[expected.size() - 5] = 1;
  EXPECT_TRUE(agent == expected) << "the agent copy is not the flagged stub";
  EXPECT_EQ(TGFileInfo(keep + "\\Foo.AutoUpdate.exe").IsAgentPackage(), true);
}

TEST_F(DownloadRunTest, HttpsDownloadWorksWithTheCertificateChecked) {
  ASSERT_TRUE(testweb::InstallTestCA());
  const std::string bytes = RealSetup();
  ASSERT_TRUE(testweb::Put("dl/tls/Full.exe", bytes));
  BuildStub({testweb::HttpsUrl("/dl/tls"), "Full.exe", std::to_string(bytes.size())});
  ASSERT_TRUE(stub.Start(exe, "/hide"));
  bool boxSeen = false;
  EXPECT_EQ(WaitWatchingForBoxes(boxSeen), kEngineExit);
  EXPECT_FALSE(boxSeen);
  ExpectEngineRan();
  ExpectTempEmpty();
}

// The setup file beside the stub is used without a question or a download,
// its token is still checked, and it is never deleted.
TEST_F(DownloadRunTest, TheSetupFileBesideTheStubIsUsedAndTokenChecked) {
  struct {
    const char* tag;
    std::string token;
    bool always;  // the package always downloads: the file beside the stub is ignored
    bool runs;
  } cases[] = {{"besideok", kToken, false, true},
               {"besidebad", "Another-Product", false, false},
               {"besidealways", "Another-Product", true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tag);
    const std::string tag = c.tag;
    const std::string local = RealSetup(c.token);
    exe = dir.File(tag + "\\Setup.exe");
    ::CreateDirectoryA(dir.File(tag).c_str(), nullptr);
    testsupport::WriteBytes(dir.File(tag + "\\Full.exe"), local);
    TDownloadStub download = Served(tag, RealSetup());
    download.always = c.always;
    download.ask = !c.always;  // no question for a file beside the stub
    BuildStub(download);
    ::DeleteFileA(log.c_str());
    ASSERT_TRUE(stub.Start(exe, ""));
    if (c.runs) {
      bool boxSeen = false;
      EXPECT_EQ(WaitWatchingForBoxes(boxSeen), kEngineExit);
      EXPECT_FALSE(boxSeen) << "an error";
      ExpectEngineRan();
    } else {
      ExpectErrorBox("Bad Secret Token!");
      EXPECT_EQ(stub.Wait(kRunMs), ExitCodes::kDownloadFailed);
      EXPECT_FALSE(Exists(log)) << "the engine was started";
    }
    EXPECT_EQ(Requests("/dl/" + tag + "/"), c.always ? 1 : 0);
    EXPECT_EQ(testsupport::ReadBytes(dir.File(tag + "\\Full.exe")), local) << "the local setup file was touched";
    ExpectTempEmpty();
  }
}

// A stub with the publisher's key runs a setup only with a signature from
// the same place that verifies: from the server for a download, from beside
// a setup file found beside the stub.
TEST_F(DownloadRunTest, ASignedStubRunsOnlyASetupWithAGoodSignature) {
  const testsign::TSigner signer;
  ASSERT_TRUE(signer.Ok());
  const std::string setup = RealSetup();
  std::string changed = setup;
  changed[changed.size() / 2] ^= 1;
  struct {
    const char* tag;
    bool beside;         // the setup file lies beside the stub
    std::string served;  // the setup file
    std::string sig;     // "" = no signature file
    const char* refusal;  // "" = the setup runs
  } const cases[] = {
      {"signedok", false, setup, signer.Sign(setup), ""},
      {"signedchanged", false, changed, signer.Sign(setup), "The signature does not match the file"},
      {"signedmissing", false, setup, "", "404"},
      {"signedbesideok", true, setup, signer.Sign(setup), ""},
      {"signedbesidemissing", true, setup, "", "The signature file is missing"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tag);
    const std::string tag = c.tag;
    ::DeleteFileA(log.c_str());
    TDownloadStub download = Served(tag, c.served);
    download.updateKey = signer.PublicKey();
    if (!c.sig.empty()) {
      ASSERT_TRUE(testweb::Put("dl/" + tag + "/Full.exe.sig", c.sig));
    }
    if (c.beside) {
      exe = dir.File(tag + "\\Setup.exe");
      ::CreateDirectoryA(dir.File(tag).c_str(), nullptr);
      testsupport::WriteBytes(dir.File(tag + "\\Full.exe"), c.served);
      if (!c.sig.empty()) testsupport::WriteBytes(dir.File(tag + "\\Full.exe.sig"), c.sig);
    }
    BuildStub(download);
    ASSERT_TRUE(stub.Start(exe, "/hide"));
    if (*c.refusal == 0) {
      bool boxSeen = false;
      EXPECT_EQ(WaitWatchingForBoxes(boxSeen), kEngineExit);
      EXPECT_FALSE(boxSeen) << "an error";
      ExpectEngineRan();
    } else {
      ExpectErrorBox("Bad Signature!", c.refusal);
      EXPECT_EQ(stub.Wait(kRunMs), ExitCodes::kDownloadFailed);
      EXPECT_FALSE(Exists(log)) << "the engine was started";
    }
    EXPECT_EQ(Requests("GET /dl/" + tag + "/Full.exe "), c.beside ? 0 : 1);
    ExpectTempEmpty();
  }
}

TEST_F(DownloadRunTest, TheQuestionShowsTheSizeAndCancelEndsSilently) {
  const std::string bytes = RealSetup();
  TDownloadStub download = Served("ask", bytes);
  download.ask = true;
  download.size = "5242880";
  BuildStub(download);
  ASSERT_TRUE(stub.Start(exe, ""));
  const TBox box = WaitForBox();
  ASSERT_NE(box.window, nullptr) << "no question";
  EXPECT_EQ(box.caption, "Confirm");
  EXPECT_NE(box.text.find("INTERNET DOWNLOAD"), std::string::npos) << box.text;
  EXPECT_NE(box.text.find("Size: 5.00 MB"), std::string::npos) << box.text;
  EXPECT_EQ(Robot("--press Cancel --wait-gone"), 0u);
  bool boxSeen = false;
  EXPECT_EQ(WaitWatchingForBoxes(boxSeen), ExitCodes::kCancelled);
  EXPECT_FALSE(boxSeen) << "a box after the refusal";
  EXPECT_FALSE(Exists(log)) << "the engine was started";
  EXPECT_EQ(Requests("/dl/ask/"), 0);
  ExpectTempEmpty();
}

TEST_F(DownloadRunTest, AHiddenRunAsksNothingAndShowsNoWindow) {
  TDownloadStub download = Served("hidden", RealSetup());
  download.ask = true;
  BuildStub(download);
  ASSERT_TRUE(stub.Start(exe, "/hide"));
  bool boxSeen = false, windowSeen = false;
  EXPECT_EQ(WaitWatchingForBoxes(boxSeen, &windowSeen), kEngineExit);
  EXPECT_FALSE(boxSeen);
  EXPECT_FALSE(windowSeen);
  ExpectEngineRan();
  EXPECT_EQ(LogValue(testsupport::ReadBytes(log), "ShowWindow"), "0") << "the engine starts hidden";
  ExpectTempEmpty();
}

TEST_F(DownloadRunTest, AWrongTokenOnTheServerExtractsNothing) {
  BuildStub(Served("wrongtoken", RealSetup("Some-Other-Product")));
  ASSERT_TRUE(stub.Start(exe, "/hide"));
  ExpectErrorBox("Bad Secret Token!");
  EXPECT_EQ(stub.Wait(kRunMs), ExitCodes::kDownloadFailed);
  EXPECT_FALSE(Exists(log)) << "the engine was started";
  EXPECT_EQ(Requests("GET /dl/wrongtoken/Full.exe"), 1);
  ExpectTempEmpty();
}

// A web server's error page sent as the file: the error-page message.
TEST_F(DownloadRunTest, AnErrorPageInsteadOfTheSetupIsReportedAsSuch) {
  BuildStub({testweb::FaultUrl("/errorpage"), "pagetag", "1000"});
  ASSERT_TRUE(stub.Start(exe, "/hide"));
  const std::string url = testweb::FaultUrl("/errorpage/pagetag");
  ExpectErrorBox("404 File Not Found...", "URL:  " + url + ".");
  EXPECT_EQ(stub.Wait(kRunMs), ExitCodes::kDownloadFailed);
  EXPECT_FALSE(Exists(log)) << "the engine was started";
  ExpectTempEmpty();
}

// A setup file that someone holds open for writing could change after its
// token was checked: it is not used.
TEST_F(DownloadRunTest, ASetupFileOpenForWritingElsewhereIsNotUsed) {
  exe = dir.File("held\\Setup.exe");
  ::CreateDirectoryA(dir.File("held").c_str(), nullptr);
  const std::string local = dir.File("held\\Full.exe");
  testsupport::WriteBytes(local, RealSetup());
  BuildStub({testweb::HttpUrl("/dl/held"), "Full.exe", "1000"});
  THandle writer(::CreateFileA(local.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(writer.Valid());
  ASSERT_TRUE(stub.Start(exe, "/hide"));
  ExpectErrorBox("Bad Secret Token!");
  EXPECT_EQ(stub.Wait(kRunMs), ExitCodes::kDownloadFailed);
  EXPECT_FALSE(Exists(log)) << "the engine was started";
}

// A failed download ends the run; a file of the same name that someone put
// into the temp folder is neither run nor deleted.
TEST_F(DownloadRunTest, AFailedDownloadNeverRunsAFileLeftInTheTempFolder) {
  const std::string planted = RealSetup();
  testsupport::WriteBytes(temp.File("Full.exe"), planted);
  BuildStub({testweb::HttpUrl("/dl/missing"), "Full.exe", "1000"});
  ASSERT_TRUE(stub.Start(exe, "/hide"));
  ExpectErrorBox("404");
  EXPECT_EQ(stub.Wait(kRunMs), ExitCodes::kDownloadFailed);
  EXPECT_FALSE(Exists(log)) << "the planted setup was run";
  EXPECT_EQ(testsupport::ReadBytes(temp.File("Full.exe")), planted);
}

// A quiet run shows no box: the error goes to the log.
TEST_F(DownloadRunTest, AQuietRunLogsTheErrorInsteadOfShowingIt) {
  BuildStub(Served("quiet", RealSetup("Some-Other-Product")));
  const std::string quietLog = dir.File("quiet.log");
  ASSERT_TRUE(stub.Start(exe, "/QUIET /LOG=\"" + quietLog + "\""));
  bool boxSeen = false, windowSeen = false;
  EXPECT_EQ(WaitWatchingForBoxes(boxSeen, &windowSeen), ExitCodes::kDownloadFailed);
  EXPECT_FALSE(boxSeen);
  EXPECT_FALSE(windowSeen);
  EXPECT_FALSE(Exists(log)) << "the engine was started";
  const std::string text = testsupport::ReadBytes(quietLog);
  EXPECT_NE(text.find("Error: Bad Secret Token!"), std::string::npos) << text;
  EXPECT_NE(text.find("Exit code 6"), std::string::npos) << text;
  ExpectTempEmpty();
}

TEST_F(DownloadRunTest, AnUnreachableServerIsADownloadError) {
  // Port 1 of the loopback address: nothing listens there.
  BuildStub({"http://127.0.0.1:1/dl", "Full.exe", "1000"});
  ASSERT_TRUE(stub.Start(exe, "/hide"));
  ExpectErrorBox("Unable to open Internet Connection: http://127.0.0.1:1/dl/Full.exe");
  EXPECT_EQ(stub.Wait(kRunMs), ExitCodes::kDownloadFailed);
  EXPECT_FALSE(Exists(log)) << "the engine was started";
  ExpectTempEmpty();
}

TEST_F(DownloadRunTest, ClosingTheWindowAbortsTheDownload) {
  // 1024 bytes every 100 ms of 4 MB: still running when the window closes.
  BuildStub({testweb::FaultUrl("/trickle/4194304/100"), "closetag", "4194304"});
  ASSERT_TRUE(stub.Start(exe, ""));
  HWND window = nullptr;
  ASSERT_TRUE(WaitUntil(
      [&] {
        window = ShownMainWindowOf(stub.Id());
        const std::string stats = testweb::FaultStats("/trickle/4194304/100/closetag");
        return window != nullptr && !stats.empty() && stats.find("bytes=0") == std::string::npos;
      },
      kRunMs))
      << "the download did not start";
  // The text line says what happens; the bar moves with the bytes.
  HWND text = nullptr, bar = nullptr;
  for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    char name[64] = {0};
    ::GetClassNameA(child, name, sizeof(name));
    if (std::string(name) == "Static") text = child;
    if (std::string(name) == "msctls_progress32" && bar == nullptr) bar = child;
  }
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(WindowText(text), "Downloading File...");
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(WaitUntil([&] { return ::SendMessageA(bar, PBM_GETPOS, 0, 0) >= 2; }, kRunMs)) << "the bar stands still";
  ::PostMessageA(window, WM_CLOSE, 0, 0);
  ExpectErrorBox("Download Aborted");
  EXPECT_EQ(stub.Wait(kRunMs), ExitCodes::kDownloadFailed);
  EXPECT_FALSE(Exists(log)) << "the engine was started";
  EXPECT_FALSE(Exists(temp.File("closetag")));
}

}  // namespace
