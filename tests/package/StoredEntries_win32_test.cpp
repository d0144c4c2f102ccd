// Packages the builder writes at level 0, run by the real stub (wine64):
// every entry is a zlib stream of stored blocks, so the stub extracts them
// as any other entry and notices damage inside a stored file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SetupRun_win32.h"
#include "package/PackBuild.h"
#include "package/PackWalk.h"
#include "stub/ExitCodes.h"

using namespace stubtest;
using namespace setuprun;

namespace {

class StoredEntriesTest : public SetupRunTest {
 protected:
  // Builds Setup.exe from the test engine and a few files with the builder, at level 0.
  void BuildStored() {
    const std::string payload = dir.File("payload");
    ::CreateDirectoryA(payload.c_str(), nullptr);
    testsupport::WriteBytes(payload + "\\Engine.exe", EngineImage());
    testsupport::WriteBytes(payload + "\\readme.txt", "read me");
    testsupport::WriteBytes(payload + "\\big.bin", std::string(70000, 'b'));
    testsupport::WriteBytes(payload + "\\caf\xE9.txt", "accents");  // the ANSI form of the name
    testsupport::WriteBytes(dir.File("stub.exe"), StubImage());
    PackBuild::TBuildOptions o;
    o.stubPath = dir.File("stub.exe");
    o.output = exe;
    o.engineName = "Engine.exe";
    o.engineArgs = "/x";
    o.level = 0;
    o.inputs = {{payload + "\\Engine.exe", "Engine.exe"},
                {payload + "\\readme.txt", "readme.txt"},
                {payload + "\\big.bin", "big.bin"},
                {payload + "\\caf\xE9.txt", "caf\xC3\xA9.txt"}};  // names are given as UTF-8
    PackBuild::TBuildReport report;
    ASSERT_EQ(PackBuild::BuildPackage(o, report), "");
  }
};

TEST_F(StoredEntriesTest, ALevelZeroPackageRunsAndExtractsEveryFile) {
  BuildStored();
  std::vector<TBlockInfo> entries;
  WalkBlocks(exe, 2, [&](const TBlockInfo& b) {
    if (!b.isInfoBlock) entries.push_back(b);
  });
  ASSERT_EQ(entries.size(), 4u);
  for (const TBlockInfo& b : entries) EXPECT_TRUE(b.compressed) << b.header << ": a zlib stream, not raw";

  EXPECT_EQ(Run("/hide"), 0u);
  const std::string text = testsupport::ReadBytes(log);
  ASSERT_FALSE(text.empty()) << "the engine did not run";
  const std::vector<std::string> files = LogFiles(text, true);
  ASSERT_EQ(files.size(), 4u) << text;
  EXPECT_EQ(files[1].substr(0, 14), "big.bin|70000|");
  EXPECT_EQ(files[3].substr(0, 13), "readme.txt|7|");
  if (::GetACP() == 1252) {
    EXPECT_EQ(files[2].substr(0, 11), "caf\xE9.txt|7|") << "the name as Windows-1252 shows it";
  }
  EXPECT_FALSE(Exists(WorkDir()));
}

TEST_F(StoredEntriesTest, DamageInsideAStoredFileEndsTheRunAsADamagedPackage) {
  BuildStored();
  int64_t middle = -1;
  WalkBlocks(exe, 2, [&](const TBlockInfo& b) {
    if (b.header.find("|big.bin|") != std::string::npos) middle = b.offset + 4 + b.storedSize / 2;
  });
  ASSERT_GT(middle, 0);
  std::string bytes = testsupport::ReadBytes(exe);
  bytes.replace(static_cast<size_t>(middle), 4, "\x01\x02\x03\x04");
  testsupport::WriteBytes(exe, bytes);

  ExpectDamagedRun();
}

}  // namespace
