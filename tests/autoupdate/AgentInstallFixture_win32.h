// The fixture of the X_ agent's installation tests: a product folder with
// the agent and its product (tools/dummy-product), the INFO file and the
// update package (a setup whose engine is tools/test-engine) on nginx
// (scripts/with-web.sh).
#pragma once

#include <gtest/gtest.h>

#include <random>

#include "../stub/StubRun_win32.h"
#include "DummyProduct.h"
#include "TestSupport.h"
#include "AgentBoxes_win32.h"
#include "WebServer_win32.h"
#include "package/PackWrite.h"
#include "stub/Stub.h"

namespace agentinstall {

using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;
using namespace stubtest;

constexpr char kInfoName[] = "Prod.AutoUpdate.info";
constexpr char kToken[] = "Prod-Install-2026";
// The product's own window class: a restarted product gets no arguments.
constexpr char kProductClass[] = "Varnel.DummyProduct";
constexpr int kRunMs = 90000;

inline std::string Scrambled() {
  std::mt19937 rng(3);
  return PackWrite::ScrambleToken(kToken, rng);
}

inline bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

inline DWORD ProductWindowProcess() {
  HWND window = ::FindWindowA(kProductClass, nullptr);
  DWORD pid = 0;
  if (window) ::GetWindowThreadProcessId(window, &pid);
  return pid;
}

class AgentInstallTest : public ::testing::Test {
 protected:
  TScratchDir dir;
  TScratchDir temp;
  TTempEnv env{temp.Path()};
  std::string folder = dir.File("Product");
  std::string x = folder + "\\X_Prod.exe";
  std::string log = folder + "\\X_Prod.log";
  std::string engineLog = dir.File("engine.log");
  std::string exitFile = dir.File("exit.txt");
  std::string product;
  std::string updateKey;  // the key item of the agent and the update; "" = none
  // What Publish put on the server.
  std::string publishedUpdate;
  std::string publishedInfo;

  void SetUp() override {
    ASSERT_TRUE(testweb::Available()) << testweb::kMissing;
    ::CreateDirectoryA(folder.c_str(), nullptr);
    product = dummy::CopyTool("dummy-product", dir, "Product", "Product.exe");
    ASSERT_FALSE(product.empty());
    ::SetEnvironmentVariableA("VARNEL_ENGINE_LOG", engineLog.c_str());
  }
  void TearDown() override {
    KillAllNamed("X_Prod.exe");
    KillAllNamed("Prod.exe");
    KillAllNamed("Product.exe");
    KillAllNamed("Engine.exe");
    ::SetEnvironmentVariableA("VARNEL_ENGINE_LOG", nullptr);
    ::SetEnvironmentVariableA("VARNEL_ENGINE_REMOVEATOM", nullptr);
  }

  void WriteAgent(const std::string& infoUrl) {
    TPackageWriter w;
    w.stubImage = StubImage();
    w.agentPackage = true;
    w.options = PackFormat::kOptAgentTraceLog;
    w.languageBlock = PackWrite::DefaultLanguageBlock();
    w.infoBlock = PackWrite::InfoBlock(infoUrl, kInfoName, "Prod.exe", Scrambled(), false, updateKey);
    w.AddFile("readme.txt", 0, "data");
    WriteBytes(x, w.Build());
  }
  // The update setup: the stub, the same token, a file and the test engine.
  std::string UpdatePackage(const std::string& infoUrl) const {
    TPackageWriter w;
    w.stubImage = StubImage();
    w.languageBlock = PackWrite::DefaultLanguageBlock();
    w.infoBlock = PackWrite::InfoBlock(infoUrl, kInfoName, "Prod.exe", Scrambled(), false, updateKey);
    w.AddFile("readme.txt", 0, "version 101");
    w.AddFile("Engine.exe*/x", 0, ReadBytes(testsupport::BuildPath("tools/test-engine/test-engine.exe")));
    return w.Build();
  }
  // Publishes release 101 under /install/<tag> (the update setup and an INFO
  // file with newSetupKeys), and writes the agent and its .original file
  // (version 100, the product folder as TargetDir, then originalMore).
  void Publish(const std::string& tag, const std::string& newSetupKeys, const std::string& originalMore = "") {
    const std::string base = "install/" + tag;
    const std::string url = testweb::HttpUrl("/" + base);
    publishedUpdate = UpdatePackage(url);
    ASSERT_TRUE(testweb::Put(base + "/Setup.exe", publishedUpdate));
    publishedInfo = "[NewSetup]\r\n" + newSetupKeys + "DownloadURL_UPDATE=" + url +
                    "\r\nNameOfUpdateFile=Setup.exe\r\nSizeOfUpdateFile=" + std::to_string(publishedUpdate.size()) +
                    "\r\nVersionNew=101\r\nStamp=8\r\nProgramName=Prod\r\n"
                    "RunningProcess=<InstallDir>\\Product.exe\r\n";
    ASSERT_TRUE(testweb::Put(base + "/" + kInfoName, publishedInfo));
    WriteAgent(url);
    WriteOriginal("[Directories]\r\nTargetDir=" + folder + "\r\n" + originalMore);
  }
  // The .original file of version 100 (stamp 7, a probe at every start), then more.
  void WriteOriginal(const std::string& more = "") const {
    WriteBytes(folder + "\\Prod.original",
               "[OriginalSetup]\r\nVersionOriginal=100\r\nStamp=7\r\nProbeSecondsInterval=0\r\n" + more);
  }
  // Starts the product (with more arguments) and waits for its window;
  // the id of its process, 0 when it did not come up.
  DWORD StartProduct(dummy::TProduct& running, const std::string& more = "") const {
    if (!running.Start(product, "/ExitFile=" + exitFile + (more.empty() ? "" : " " + more))) return 0;
    WaitUntil([] { return ProductWindowProcess() != 0; }, kStartMs);
    return ProductWindowProcess();
  }
  // Starts the X_ agent so that it checks at once.
  bool StartAgent(TProc& agent) const {
    if (agent.Start(x, "/SleepX=0")) return true;
    ADD_FAILURE() << "the agent did not start (error " << ::GetLastError() << "): " << x;
    return false;
  }
  // Waits until the agent's trace log holds text; returns the log.
  std::string TraceOnceItHas(const std::string& text) const {
    EXPECT_TRUE(WaitUntil([&] { return Has(ReadBytes(log), text); }, kRunMs)) << ReadBytes(log);
    return ReadBytes(log);
  }
  std::string Original(const char* key) const {
    char buffer[256] = {0};
    ::GetPrivateProfileStringA("OriginalSetup", key, "", buffer, sizeof(buffer), (folder + "\\Prod.original").c_str());
    return buffer;
  }
};

}  // namespace agentinstall
