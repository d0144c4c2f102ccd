// The X_ agent run as a program: an agent package with its .original file in
// a product folder, started with /SleepX=0 and a one-shot schedule, probes
// an INFO file on nginx (scripts/with-web.sh) and writes its trace log; the
// installation seam's default trace line shows which release it accepted.
#include <gtest/gtest.h>

#include <algorithm>

#include "../stub/StubRun_win32.h"
#include "TestSupport.h"
#include "AgentBoxes_win32.h"
#include "WebServer_win32.h"
#include "autoupdate/AUSettings.h"
#include "package/PackWrite.h"
#include "stub/Stub.h"
#include "util/SysText.h"

using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;
using namespace stubtest;
using agentboxes::AnswerBox;

namespace {

constexpr char kInfoName[] = "Prod.AutoUpdate.info";
constexpr char kRegKey[] = "Software\\Meridane\\Varnel\\AutoUpdate";
// Generous: the first 32-bit program of a fresh wine server takes long to start.
constexpr int kProbeMs = 90000;

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

  // more: keys that come first (in an INI file the first of two equal keys counts).
  static std::string Info(const std::string& updateFolder, int64_t size, const std::string& more = "") {
    return "[NewSetup]\r\n" + more + "DownloadURL_UPDATE=" + updateFolder + "\r\nNameOfUpdateFile=Setup.exe\r\nSizeOfUpdateFile=" +
           std::to_string(size) + "\r\nVersionNew=101\r\nStamp=8\r\n";
  }

  // Starts the agent file just written.
  ::testing::AssertionResult StartAgent(TProc& agent) const {
    if (agent.Start(x, "/SleepX=0")) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the agent did not start (error " << ::GetLastError() << "): " << x;
  }

  // Ends the agent through its window. The X_ copy deletes its own file when
  // it ends: the next agent is written only after that, or the deletion would
  // take the new file.
  void EndAgent(TProc& agent, HWND window) {
    if (window) ::PostMessageA(window, Stub::wm_ShutDown, 0, 0);
    EXPECT_EQ(agent.Wait(kStartMs), 0u);
    EXPECT_TRUE(WaitUntil([&] { return !Exists(x); }, kProbeMs)) << "the X_ copy is still there: " << x;
  }

  // Runs the agent until its probe is decided; returns its trace log.
  std::string RunProbe() {
    TProc agent;
    const ::testing::AssertionResult started = StartAgent(agent);
    if (!started) {
      ADD_FAILURE() << started.message();
      return {};
    }
    EXPECT_TRUE(WaitUntil([&] { return ReadBytes(log).find("GetOkToPerformAU = ") != std::string::npos; }, kProbeMs))
        << "trace log: [" << ReadBytes(log) << "], agent running: " << agent.Running()
        << ", its window: " << (FindTop(".AutoUpdate.X_Prod") != nullptr);
    EndAgent(agent, FindTop(".AutoUpdate.X_Prod"));
    return ReadBytes(log);
  }
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST_F(AgentCycleTest, EachStatusAgainstNginx) {
  const std::string recent = "ReAskSecondsInterval=86400\r\nReAskSecondsLast=" + std::to_string(ClockSecondsNow() - 10) + "\r\n";
  struct {
    const char* tag;
    std::string original;  // more keys of OriginalSetup ("" = VersionOriginal 100, Stamp 7)
    std::string info;      // more keys of NewSetup; "404" = no INFO file
    int64_t offered;
    const char* expected;
  } cases[] = {
      {"missing", "", "404", 5000, "GetOkToPerformAU = 0 - Error downloading .INFO file"},
      {"version0", "VersionOriginal=0\r\n", "", 5000, "GetOkToPerformAU = 1 - Error reading .ORIGINAL file"},
      {"early", "VersionOriginal=100\r\nStamp=8\r\n" + recent, "", 5000, "GetOkToPerformAU = 2 - Too early for retesting"},
      {"nothigher", "", "VersionNew=100\r\n", 5000, "GetOkToPerformAU = 3 - New version is not higher then old version"},
      {"valid", "", "ValidVersions=90,99\r\n", 5000, "GetOkToPerformAU = 4 - \"Valid for version\" mismatch"},
      {"size", "", "", 5100, "GetOkToPerformAU = 5 - Download file size error"},
      {"ok", "", "", 5099, "GetOkToPerformAU = 6 - OK"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tag);
    ::DeleteFileA(log.c_str());
    const std::string base = std::string("cycle/") + c.tag;
    const std::string url = testweb::HttpUrl("/" + base);
    WriteAgent(url);
    if (!c.original.empty())
      WriteBytes(folder + "\\Prod.original", "[OriginalSetup]\r\nProbeSecondsInterval=0\r\n" + c.original);
    ASSERT_TRUE(testweb::Put(base + "/Setup.exe", std::string(5000, 'u')));
    // The accepted release is one whose download then fails without a box
    // (its body is cut short): a stub that installs goes no further.
    const std::string updateUrl = std::string(c.tag) == "ok" ? testweb::FaultUrl("/short/5000") : url;
    if (c.info != "404") {
      ASSERT_TRUE(testweb::Put(base + "/" + kInfoName, Info(updateUrl, c.offered, c.info)));
    }
    const std::string trace = RunProbe();
    EXPECT_TRUE(Has(trace, c.expected)) << trace;
    const bool ok = std::string(c.tag) == "ok";
    EXPECT_EQ(Has(trace, "Release accepted: VersionNew=101 Stamp=8 AutoInform=0"), ok);
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
  TProc agent;
  ASSERT_TRUE(StartAgent(agent));
  // The update comes from the test folder too; this agent has no token, so
  // the installation refuses it.
  EXPECT_TRUE(Has(AnswerBox("OK"), "Bad Secret Token!"));
  EXPECT_TRUE(WaitUntil([&] { return Has(ReadBytes(log), "PerformAutoUpdate() - END"); }, kProbeMs)) << ReadBytes(log);
  EndAgent(agent, FindTop(".AutoUpdate.X_Prod"));
  const std::string trace = ReadBytes(log);
  EXPECT_TRUE(Has(trace, "TestMode=TRUE")) << trace;
  EXPECT_TRUE(Has(trace, "GetOkToPerformAU = 6 - OK")) << trace;
  EXPECT_FALSE(Has(testweb::AccessLog(), "/cycle/testmode")) << testweb::AccessLog();
}

namespace {

UINT g_listenerMessage = 0;
std::vector<std::pair<WPARAM, LPARAM>> g_heard;

LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_listenerMessage != 0 && message == g_listenerMessage) {
    g_heard.emplace_back(wParam, lParam);
    return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

TEST_F(AgentCycleTest, UserCheckThroughCommand31WithTheListenerHearingIt) {
  WriteAgent(testweb::HttpUrl("/cycle/user"));
  WriteBytes(folder + "\\Prod.original",
             "[OriginalSetup]\r\nVersionOriginal=100\r\nProbeSecondsInterval=-1\r\nProgramName=Prod\r\n"
             "[AutoUpdate]\r\ns22=Check PROG_NAME now?\r\ns23=<P>It takes the Internet.\r\ns24=<P>Go on?\r\n"
             "s21=No new version of PROG_NAME.\r\n");
  ASSERT_TRUE(testweb::Put(std::string("cycle/user/") + kInfoName,
                           "[NewSetup]\r\nVersionNew=100\r\nStamp=8\r\n"));

  WNDCLASSA listenerClass{};
  listenerClass.lpfnWndProc = ListenerProc;
  listenerClass.hInstance = ::GetModuleHandleA(nullptr);
  listenerClass.lpszClassName = "VarnelCycleListener";
  ::RegisterClassA(&listenerClass);
  HWND listener = ::CreateWindowExA(0, "VarnelCycleListener", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(listener, nullptr);
  g_listenerMessage = ::RegisterWindowMessageA("VarnelCycleListener.Heard");
  g_heard.clear();

  TProc agent;
  ASSERT_TRUE(StartAgent(agent));
  HWND window = WaitForWindow(".AutoUpdate.X_Prod", kProbeMs);
  ASSERT_NE(window, nullptr);
  ::PostMessageA(window, Stub::wm_LocalMsg, reinterpret_cast<WPARAM>(listener), g_listenerMessage);
  ::PostMessageA(window, Stub::wm_AgentMsg, 31, 2);

  const std::string question = AnswerBox("Yes");
  EXPECT_NE(question.find("Check Prod now?"), std::string::npos) << question;
  EXPECT_NE(question.find("It takes the Internet."), std::string::npos) << question;
  const std::string report = AnswerBox("OK");
  EXPECT_NE(report.find("No new version of Prod."), std::string::npos) << report;

  EXPECT_TRUE(WaitUntil(
      [] {
        return std::count(g_heard.begin(), g_heard.end(), std::pair<WPARAM, LPARAM>{40, 2}) == 1;
      },
      10000));
  ASSERT_GE(g_heard.size(), 4u);
  EXPECT_EQ(g_heard[0].first, 50u);
  EXPECT_EQ(g_heard[1].first, 51u);
  EXPECT_EQ(g_heard[2], (std::pair<WPARAM, LPARAM>{40, 1}));
  EXPECT_EQ(g_heard[3], (std::pair<WPARAM, LPARAM>{40, 2}));

  EndAgent(agent, window);
  const std::string trace = ReadBytes(log);
  EXPECT_NE(trace.find("GetOkToPerformAU = 3"), std::string::npos) << trace;
  // The listener hears the end of the window's run as well.
  EXPECT_TRUE(WaitUntil([] { return !g_heard.empty() && g_heard.back().first == 43u; }, 5000));
  ::DestroyWindow(listener);
}

TEST_F(AgentCycleTest, StatusLabelInTheMsgBoxFontReadsRightToLeftForArabic) {
  for (const char* charset : {"0", "178"}) {
    SCOPED_TRACE(charset);
    ::DeleteFileA(log.c_str());
    ASSERT_TRUE(testweb::Put(std::string("cycle/label/") + kInfoName, "[NewSetup]\r\nVersionNew=100\r\n"));
    WriteAgent(testweb::HttpUrl("/cycle/label"));
    WriteBytes(folder + "\\Prod.original",
               std::string("[OriginalSetup]\r\nVersionOriginal=100\r\nProbeSecondsInterval=0\r\n[MsgBox]\r\nCharSet=") +
                   charset + "\r\n[AutoUpdate]\r\ns31=Fetching the news...\r\n");
    TProc agent;
    ASSERT_TRUE(StartAgent(agent));
    EXPECT_TRUE(WaitUntil([&] { return ReadBytes(log).find("GetOkToPerformAU = ") != std::string::npos; }, kProbeMs));
    HWND window = FindTop(".AutoUpdate.X_Prod");
    ASSERT_NE(window, nullptr);
    HWND label = ::FindWindowExA(window, nullptr, "Static", nullptr);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(WindowText(label), "Fetching the news...");
    const bool rtl = std::string(charset) == "178";
    EXPECT_EQ((::GetWindowLongA(label, GWL_EXSTYLE) & WS_EX_RTLREADING) != 0, rtl);
    EXPECT_EQ((::GetWindowLongA(label, GWL_STYLE) & SS_RIGHT) != 0, rtl);
    EXPECT_FALSE(::IsWindowVisible(window));  // an INFO download never shows the window
    EndAgent(agent, window);
  }
}

TEST_F(AgentCycleTest, AnAgentBuiltWithVarnelPackStartedAsThePlainAgent) {
  const std::string payload = dir.File("payload");
  ::CreateDirectoryA(payload.c_str(), nullptr);
  WriteBytes(payload + "\\readme.txt", "agent");
  const std::string plain = folder + "\\Prod.exe";
  const std::string url = testweb::HttpUrl("/cycle/plain");
  TProc pack(testsupport::BuildPath("tools/varnel-pack/varnel-pack.exe"),
             "build --stub \"" + StubPath() + "\" -o \"" + plain + "\" --agent-package --agent-trace-log --info-url " +
                 url + " --info-file " + kInfoName + " --agent-file Prod.exe --token Prod-2026 \"" + payload + "\"");
  ASSERT_EQ(pack.Wait(60000), 0u);
  WriteBytes(folder + "\\Prod.original",
             "[OriginalSetup]\r\nVersionOriginal=100\r\nStamp=7\r\nProbeSecondsInterval=0\r\n");
  // The release is accepted; its download is then cut short, without a box.
  ASSERT_TRUE(testweb::Put(std::string("cycle/plain/") + kInfoName, Info(testweb::FaultUrl("/short/5000"), 5000)));

  TProc agent(plain, "/DELAY=0");
  EXPECT_TRUE(WaitUntil([&] { return Has(ReadBytes(log), "Release accepted"); }, kProbeMs)) << ReadBytes(log);
  const std::string trace = ReadBytes(log);
  EXPECT_TRUE(Has(trace, "GetOkToPerformAU = 6 - OK")) << trace;
  EXPECT_TRUE(Has(trace, "Release accepted: VersionNew=101 Stamp=8 AutoInform=0")) << trace;
  HWND window = FindTop(".AutoUpdate.X_Prod");
  ASSERT_NE(window, nullptr);
  ::PostMessageA(window, Stub::wm_ShutDown, 0, 0);
  EXPECT_EQ(agent.Wait(kStartMs), 0u);
  // The X_ copy ends and deletes its own file.
  EXPECT_TRUE(WaitUntil([&] { return !Exists(x); }, kProbeMs));
}
