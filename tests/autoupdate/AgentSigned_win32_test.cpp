// Signed updates end to end: an agent whose package carries the publisher's
// key takes an INFO file and an update only with signatures from beside them
// that verify; anything else is refused and nothing runs. The key pair is
// the test's own (CNG).
#include <gtest/gtest.h>

#include <cstdio>
#include <utility>
#include <vector>

#include "../stub/StubRun_win32.h"
#include "AgentInstallFixture_win32.h"
#include "TestSigner_win32.h"
#include "util/FileIO.h"
#include "util/Files.h"

using namespace agentinstall;

namespace {

constexpr char kLastGoodInfo[] = "[NewSetup]\r\nVersionNew=100\r\nStamp=7\r\n";

struct TSignedCase {
  const char* tag;
  bool signInfo;
  bool signUpdate;
  bool otherKey;       // both signed by another publisher's key
  const char* changed;  // the file changed after signing: "info", "update", "update.sig" or ""
  bool installed;
  bool updateRefused;  // the update was fetched and refused with a box
};

class AgentSignedTest : public AgentInstallTest {
 protected:
  testsign::TSigner signer;
  testsign::TSigner other;

  void SetUp() override {
    AgentInstallTest::SetUp();
    ASSERT_TRUE(signer.Ok() && other.Ok()) << "CNG could not make the test's keys";
    updateKey = signer.PublicKey();
  }

  // Publishes release 101 with the signatures the case asks for.
  void PublishSigned(const TSignedCase& c) {
    const std::string base = std::string("install/signed-") + c.tag;
    Publish(std::string("signed-") + c.tag, "ShutDownMethod=Don't Shut Down\r\n");
    const testsign::TSigner& by = c.otherKey ? other : signer;
    const std::string changed = c.changed;
    std::vector<std::pair<std::string, std::string>> files;
    if (c.signInfo) files.push_back({kInfoName + std::string(".sig"), by.Sign(publishedInfo)});
    if (c.signUpdate) files.push_back({"Setup.exe.sig", by.Sign(publishedUpdate)});
    if (changed == "info") files.push_back({kInfoName, ChangedByte(publishedInfo, 20)});
    if (changed == "update") files.push_back({"Setup.exe", ChangedByte(publishedUpdate, 70000)});
    if (changed == "update.sig") files.push_back({"Setup.exe.sig", ChangedByte(by.Sign(publishedUpdate), 3)});
    for (const auto& [name, bytes] : files) ASSERT_TRUE(testweb::Put(base + "/" + name, bytes)) << name;
  }
  static std::string ChangedByte(std::string bytes, size_t at) {
    bytes[at] ^= 0x20;
    return bytes;
  }
  void StopAgent(TProc& agent) {
    if (HWND window = FindTop(".AutoUpdate.X_Prod")) ::PostMessageA(window, Stub::wm_ShutDown, 0, 0);
    EXPECT_EQ(agent.Wait(kRunMs), 0u);
  }
};

TEST_F(AgentSignedTest, OnlyWhatThePublisherSignedRuns) {
  const TSignedCase cases[] = {
      {"good", true, true, false, "", true, false},
      {"update-changed", true, true, false, "update", false, true},
      {"signature-changed", true, true, false, "update.sig", false, true},
      {"update-unsigned", true, false, false, "", false, true},
      {"info-changed", true, true, false, "info", false, false},
      {"info-unsigned", false, true, false, "", false, false},
      {"other-key", true, true, true, "", false, false},
  };
  ::SetEnvironmentVariableA("VARNEL_ENGINE_REMOVEATOM", "1");
  const std::string infoFile = folder + "\\" + kInfoName;
  for (const TSignedCase& c : cases) {
    SCOPED_TRACE(c.tag);
    ::DeleteFileA(log.c_str());
    ::DeleteFileA(engineLog.c_str());
    PublishSigned(c);
    WriteBytes(infoFile, kLastGoodInfo);
    TProc agent;
    ASSERT_TRUE(StartAgent(agent));
    if (c.updateRefused) {
      const std::string text = agentboxes::AnswerBox("OK");
      EXPECT_TRUE(Has(text, "Bad Signature!")) << text;
      EXPECT_TRUE(Has(text, "Setup.exe")) << text;
    }
    if (c.installed || c.updateRefused) {
      const std::string trace = TraceOnceItHas("PerformAutoUpdate() - END");
      EXPECT_TRUE(Has(trace, std::string("Result=") + (c.installed ? "TRUE" : "FALSE"))) << trace;
      if (!c.installed) StopAgent(agent);
    } else {
      // A refused INFO file: status 0 with the reason traced, the last good
      // INFO file kept, and the update never asked for.
      const std::string trace = TraceOnceItHas("GetOkToPerformAU = 0");
      EXPECT_TRUE(Has(trace, "Signature refused: ")) << trace;
      EXPECT_FALSE(Has(trace, "Setup.exe")) << trace;
      EXPECT_EQ(ReadBytes(infoFile), kLastGoodInfo);
      StopAgent(agent);
    }
    if (c.installed) {
      EXPECT_EQ(agent.Wait(kRunMs), 0u);
    }
    EXPECT_EQ(Exists(engineLog), c.installed) << "the update's engine ran";
    EXPECT_EQ(Original("VersionOriginal"), c.installed ? "101" : "100");
    EXPECT_FALSE(Exists(folder + "\\Setup.exe")) << "a refused update is deleted";
    EXPECT_TRUE(WaitUntil([&] { return !Exists(x); }, kRunMs));
  }
}

// A signed update of 1 GiB is hashed as it is read: the agent verifies it
// within a small, fixed amount of memory. The update is no setup of this
// product, so the token check that follows the signature refuses it.
TEST_F(AgentSignedTest, AOneGigabyteUpdateIsVerifiedInLittleMemory) {
  constexpr int64_t kSize = int64_t{1} << 30;
  constexpr size_t kMemoryBound = size_t{64} << 20;
  const std::string server = dir.File("server");
  ::CreateDirectoryA(server.c_str(), nullptr);
  const std::string big = server + "\\Big.exe";
  {
    TFile file(big, TFile::Mode::Create);
    ASSERT_TRUE(file.IsOpen());
    ASSERT_EQ(file.Write("MZ", 2), 2);
    // The gap reads as zeros and takes no disk space.
    ASSERT_EQ(file.Seek64(kSize - 2, TFile::Origin::Begin), kSize - 2);
    ASSERT_EQ(file.Write("!!", 2), 2);
  }
  ASSERT_EQ(Files::FileSizeByName(big), kSize);
  WriteBytes(big + ".sig", signer.SignFile(big));
  const std::string info = "[NewSetup]\r\nShutDownMethod=Don't Shut Down\r\nDownloadURL_UPDATE=" + server +
                           "\r\nNameOfUpdateFile=Big.exe\r\nSizeOfUpdateFile=" + std::to_string(kSize) +
                           "\r\nVersionNew=101\r\nStamp=8\r\nProgramName=Prod\r\n";
  WriteBytes(server + "\\" + kInfoName, info);
  WriteBytes(server + "\\" + kInfoName + ".sig", signer.Sign(info));
  WriteAgent(server);
  WriteOriginal();

  TProc agent;
  ASSERT_TRUE(StartAgent(agent));
  const std::string text = agentboxes::AnswerBox("OK");
  EXPECT_TRUE(Has(text, "Bad Secret Token!")) << text;
  const std::string trace = TraceOnceItHas("PerformAutoUpdate() - END");
  EXPECT_TRUE(Has(trace, "Signature verified: " + big)) << trace;
  const size_t peak = agent.PeakMemory();
  EXPECT_GT(peak, 0u);
  EXPECT_LT(peak, kMemoryBound) << "peak working set of the agent";
  std::printf("agent's peak working set while verifying 1 GiB: %zu bytes\n", peak);
  StopAgent(agent);
  EXPECT_FALSE(Exists(folder + "\\Big.exe"));
  EXPECT_EQ(Original("VersionOriginal"), "100");
}

// Inform-only mode: an INFORM file without its signature is refused like an
// update; the inform dialog never comes up and no version is written.
TEST_F(AgentSignedTest, AnUnsignedInformFileIsNotShown) {
  const std::string base = "install/signed-inform";
  const std::string url = testweb::HttpUrl("/" + base);
  const std::string inform = "Varnel|" + Scrambled() + "|1|2|<B>Version 101</B> is out.";
  const std::string info = "[General]\r\nAutoInform=1\r\n[AutoInform]\r\nNameOfInformFile=News.txt\r\n"
                           "SizeOfInformFile=" + std::to_string(inform.size()) + "\r\n"
                           "[NewSetup]\r\nDownloadURL_UPDATE=" + url + "\r\nVersionNew=101\r\nStamp=8\r\n";
  ASSERT_TRUE(testweb::Put(base + "/News.txt", inform));
  ASSERT_TRUE(testweb::Put(base + "/" + kInfoName, info));
  ASSERT_TRUE(testweb::Put(base + "/" + kInfoName + ".sig", signer.Sign(info)));
  WriteAgent(url);
  WriteOriginal();
  TProc agent;
  ASSERT_TRUE(StartAgent(agent));
  const std::string text = agentboxes::AnswerBox("OK");
  EXPECT_TRUE(Has(text, "Bad Signature!")) << text;
  EXPECT_TRUE(Has(text, "News.txt")) << text;
  const std::string trace = TraceOnceItHas("PerformAutoInform() - END");
  EXPECT_TRUE(Has(trace, "Signature refused: " + url + "/News.txt")) << trace;
  EXPECT_EQ(::FindWindowA("VxRichEditBox", nullptr), nullptr);
  EXPECT_FALSE(Exists(folder + "\\News.txt"));
  EXPECT_EQ(Original("VersionOriginal"), "100");
  StopAgent(agent);
}

}  // namespace
