// The X_ agent run as a program: an agent package with its .original file in
// a product folder, started with /SleepX=0 and a one-shot schedule, probes
// an INFO file on nginx (scripts/with-web.sh) and writes its trace log; the
// installation seam's default trace line shows which release it accepted.
#include <gtest/gtest.h>

#include "../stub/StubRun_win32.h"
#include "TestSupport.h"
#include "WebServer_win32.h"
#include "autoupdate/AUSettings.h"
#include "package/PackWrite.h"
#include "stub/Stub.h"

using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;
using namespace stubtest;

namespace {

constexpr char kInfoName[] = "Prod.AutoUpdate.info";
constexpr char kRegKey[] = "Software\\Meridane\\Varnel\\AutoUpdate";
constexpr int kProbeMs = 30000;

class AgentCycleTest : public ::testing::Test {
 protected:
  TScratchDir dir;
  std::string folder, x, log;

  void SetUp() override {
    ASSERT_TRUE(testweb::Available()) << testweb::kMissing;
    ::RegDeleteKeyA(HKEY_CURRENT_USER, kRegKey);
    folder = dir.File("Product");
    ::CreateDirectoryA(folder.c_str(), nullptr);
    x = folder + "\\X_Prod.exe";
    log = folder + "\\X_Prod.log";
  }
  void TearDown() override {
    KillAllNamed("X_Prod.exe");
    ::RegDeleteKeyA(HKEY_CURRENT_USER, kRegKey);
  }

  void WriteAgent(const std::string& infoFolderUrl) {
    TPackageWriter w;
    w.stubImage = StubImage();
    w.agentPackage = true;
    w.options = PackFormat::kOptAgentTraceLog;
    w.languageBlock = PackWrite::DefaultLanguageBlock();
    w.infoBlock = PackWrite::InfoBlock(infoFolderUrl, kInfoName, "Prod.exe", "", false);
    w.AddFile("readme.txt", 0, "data");
    WriteBytes(x, w.Build());
    WriteBytes(folder + "\\Prod.original",
               "[OriginalSetup]\r\nVersionOriginal=100\r\nStamp=7\r\nProbeSecondsInterval=0\r\n");
  }

  static std::string Info(const std::string& updateFolder, int64_t size) {
    return "[NewSetup]\r\nDownloadURL_UPDATE=" + updateFolder + "\r\nNameOfUpdateFile=Setup.exe\r\nSizeOfUpdateFile=" +
           std::to_string(size) + "\r\nVersionNew=101\r\nStamp=8\r\n";
  }

  // Runs the agent until its probe is decided; returns its trace log.
  std::string RunProbe() {
    TProc agent(x, "/SleepX=0");
    EXPECT_TRUE(WaitUntil([&] { return ReadBytes(log).find("GetOkToPerformAU = ") != std::string::npos; }, kProbeMs))
        << ReadBytes(log);
    HWND window = FindTop(".AutoUpdate.X_Prod");
    if (window) ::PostMessageA(window, Stub::wm_ShutDown, 0, 0);
    EXPECT_EQ(agent.Wait(kStartMs), 0u);
    return ReadBytes(log);
  }
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST_F(AgentCycleTest, StatusesAgainstNginx) {
  struct {
    const char* tag;
    const char* info;  // nullptr: a 404
    int64_t offered;
    const char* expected;
  } cases[] = {
      {"ok", "", 5099, "GetOkToPerformAU = 6 - OK"},
      {"size", "", 5100, "GetOkToPerformAU = 5 - Download file size error"},
      {"missing", nullptr, 5000, "GetOkToPerformAU = 0 - Error downloading .INFO file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tag);
    ::DeleteFileA(log.c_str());
    const std::string base = std::string("cycle/") + c.tag + "/";
    const std::string url = testweb::HttpUrl("/" + base);
    WriteAgent(url.substr(0, url.size() - 1));
    ASSERT_TRUE(testweb::Put(base + "Setup.exe", std::string(5000, 'u')));
    if (c.info) {
      ASSERT_TRUE(testweb::Put(base + kInfoName, Info(url.substr(0, url.size() - 1), c.offered)));
    }
    const std::string trace = RunProbe();
    EXPECT_TRUE(Has(trace, c.expected)) << trace;
    EXPECT_EQ(Has(trace, "Release accepted: VersionNew=101 Stamp=8 AutoInform=0"), std::string(c.tag) == "ok");
    if (std::string(c.tag) == "size") {
      EXPECT_TRUE(Has(trace, "  HttpSize=5000")) << trace;
    }
  }
}

TEST_F(AgentCycleTest, ErrorPageServedAsInfoFile) {
  const std::string page = "<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD><BODY>moved</BODY></HTML>";
  ASSERT_TRUE(testweb::Put(std::string("cycle/page/") + kInfoName, page));
  WriteAgent(testweb::HttpUrl("/cycle/page"));
  const std::string trace = RunProbe();
  EXPECT_TRUE(Has(trace, "GetOkToPerformAU = 0 - Error downloading .INFO file")) << trace;
  EXPECT_EQ(ReadBytes(folder + "\\" + kInfoName), page);
}

TEST_F(AgentCycleTest, TestModeNeverAsksTheWebServer) {
  const std::string testDir = dir.File("testinfo");
  ::CreateDirectoryA(testDir.c_str(), nullptr);
  // The INFO file names an update folder on nginx; test mode takes both files from the test folder.
  WriteBytes(testDir + "\\" + kInfoName, Info(testweb::HttpUrl("/cycle/testmode"), 5000));
  WriteBytes(testDir + "\\Setup.exe", std::string(5000, 'u'));
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kRegKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr), 0);
  const std::string today = AU::DayText(AU::Today());
  ::RegSetValueExA(key, "TestMode", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2);
  ::RegSetValueExA(key, "TestModeDate", 0, REG_SZ, reinterpret_cast<const BYTE*>(today.c_str()),
                   static_cast<DWORD>(today.size() + 1));
  ::RegSetValueExA(key, "TestModeURL", 0, REG_SZ, reinterpret_cast<const BYTE*>(testDir.c_str()),
                   static_cast<DWORD>(testDir.size() + 1));
  ::RegCloseKey(key);
  WriteAgent(testweb::HttpUrl("/cycle/testmode"));
  const std::string trace = RunProbe();
  EXPECT_TRUE(Has(trace, "TestMode=TRUE")) << trace;
  EXPECT_TRUE(Has(trace, "GetOkToPerformAU = 6 - OK")) << trace;
  EXPECT_FALSE(Has(testweb::AccessLog(), "/cycle/testmode")) << testweb::AccessLog();
}
