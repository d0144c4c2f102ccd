// The update key as the sixth information item: read by position, absent in
// a five-item block, and carried into the agent copy with the blocks.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "UnPackTestHost.h"
#include "package/PackWrite.h"
#include "package/PackX.h"
#include "package/UnPack.h"

using testsupport::FakeStubImage;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

namespace {

const char kKey[] = "BHkYP3ih9ozqlrsN8nut3R+zdaYwZkk2wOZPQ2fsbHLLvT+9FcQpg8Bsmjj22D+uKR3z5Ng0nQgiI6lOXy6fv+U=";

TPackageWriter Writer(const std::string& key) {
  TPackageWriter w;
  w.stubImage = FakeStubImage(2048);
  w.infoBlock = PackWrite::InfoBlock("http://example.com/upd/", "Product.info", "Agent.exe", "tok", true, key);
  w.downloadBlock = PackWrite::DownloadBlock("http://example.com/dl/", "Full.exe", false, "tok", "99", key);
  w.AddFile("Engine.exe*", 1248086749, "engine");
  return w;
}

}  // namespace

TEST(UpdateKeyItem, ReadByPositionWithOrWithoutTheKey) {
  TScratchDir dir;
  for (const std::string& key : {std::string(), std::string(kKey)}) {
    const std::string setup = dir.File(key.empty() ? "plain.exe" : "keyed.exe");
    WriteBytes(setup, Writer(key).Build());
    const TGFileInfo info(setup);
    EXPECT_EQ(info.UpdateKey(), key);
    EXPECT_EQ(info.DownloadUpdateKey(), key);
    // The five items before it read the same either way.
    EXPECT_EQ(info.AgentFileName(), "Agent.exe");
    EXPECT_TRUE(info.BackgroundSetup());
    EXPECT_EQ(info.DownloadSize(), "99");
  }
}

TEST(UpdateKeyItem, AgentCopyCarriesTheKey) {
  TScratchDir dir;
  TPackageWriter w = Writer(kKey);
  w.carriesAgent = true;
  const std::string setup = dir.File("setup.exe");
  WriteBytes(setup, w.Build());
  TRecordingHost host;
  TUnpackRequest request = MakeRequest(setup, dir.File("out"));
  request.agentName = "Agent.exe";
  UnpackPackage(request, host);
  const TGFileInfo agent(dir.File("out/Agent.exe"));
  EXPECT_TRUE(agent.IsAgentPackage());
  EXPECT_EQ(agent.UpdateKey(), kKey);
}
