// DownloadFileAU and the user-check report over HTTP, in process, against
// nginx and the fault server of scripts/with-web.sh.
#include <gtest/gtest.h>

#include "StubAUFixture_win32.h"
#include "WebServer_win32.h"

using namespace stubau;

namespace {

class StubAUHttpTest : public StubAUTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testweb::Available()) << testweb::kMissing;
    StubAUTest::SetUp();
  }
  // Confirmation of the download switched on in the INFO file now in the agent folder.
  void ConfirmDownloads() {
    WriteBytes(agentDir + "\\" + kInfoName, "[NewSetup]\r\nRequestConfirmationBeforeDownload=1\r\n");
  }
};

}  // namespace

TEST_F(StubAUHttpTest, InfoFileAnswersThatAreNoFile) {
  struct {
    std::string folder;
    const char* errorPart;
  } cases[] = {
      {testweb::FaultUrl("/status/404"), "404"},
      {testweb::FaultUrl("/status/500"), "500"},
      {"http://127.0.0.1:9/none", "Unable to open Internet Connection"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    g_boxes.clear();
    const AU::TDownloadResult r = AU::DownloadFileAU(c.folder, "cycle-info", AU::kKindInfo);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(c.errorPart), std::string::npos) << r.error;
    EXPECT_EQ(ReadBytes(agentDir + "\\" + kInfoName), "");
    EXPECT_TRUE(g_boxes.empty());
  }
}

TEST_F(StubAUHttpTest, UserCheckReportsTheFailedInfoDownload) {
  BuildAgent(agentPath, kToken, testweb::FaultUrl("/status/404"));
  Stub::EndState();
  Stub::StartState(agentPath, "\"" + agentPath + "\"", ::GetCurrentProcessId());
  Stub::AgentRun().cycleMode = AU::kCycleUserNow;
  AU::PerformShot();
  EXPECT_TRUE(Traced("GetOkToPerformAU = 0"));
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].caption, "Error");
  EXPECT_NE(g_boxes[0].text.find("404"), std::string::npos) << g_boxes[0].text;
}

TEST_F(StubAUHttpTest, UpdateOverHttpWithItsTokenChecked) {
  BuildAgent(scratch.File("good.exe"), kToken, infoDir);
  BuildAgent(scratch.File("foreign.exe"), "Other-Product", infoDir);
  ASSERT_TRUE(testweb::Put("au/Good.exe", ReadBytes(scratch.File("good.exe"))));
  ASSERT_TRUE(testweb::Put("au/Foreign.exe", ReadBytes(scratch.File("foreign.exe"))));

  AU::TDownloadResult r = AU::DownloadFileAU(testweb::HttpUrl("/au"), "Good.exe", AU::kKindUpdate);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(ReadBytes(agentDir + "\\Good.exe"), ReadBytes(scratch.File("good.exe")));
  EXPECT_TRUE(g_boxes.empty());

  r = AU::DownloadFileAU(testweb::HttpUrl("/au"), "Foreign.exe", AU::kKindUpdate);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, AU::kBadSecretToken);
  EXPECT_FALSE(FileExists(agentDir + "\\Foreign.exe"));
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].caption, "Error");
}

TEST_F(StubAUHttpTest, BrokenTransferOfAnUpdateIsNoticedOnlyWhenTheDownloadIsConfirmed) {
  const std::string folder = testweb::FaultUrl("/short/20000");
  AU::TDownloadResult r = AU::DownloadFileAU(folder, "cycle-short", AU::kKindUpdate);
  EXPECT_FALSE(r.ok);
  EXPECT_FALSE(r.error.empty());
  EXPECT_FALSE(FileExists(agentDir + "\\cycle-short"));
  EXPECT_TRUE(g_boxes.empty());

  ConfirmDownloads();
  r = AU::DownloadFileAU(folder, "cycle-short2", AU::kKindUpdate);
  EXPECT_FALSE(r.ok);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].caption, "Attention");
  EXPECT_NE(g_boxes[0].text.find("Unable to Download File!<P><P>" + folder + "/cycle-short2"), std::string::npos)
      << g_boxes[0].text;
  EXPECT_EQ(r.error, "Unable to Download File!<P><P>" + folder + "/cycle-short2");
}
