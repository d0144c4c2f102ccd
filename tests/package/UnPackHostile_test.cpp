// Hostile and damaged packages: entry names that would leave the destination,
// impossible block lengths, truncated volumes.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

#include "TestSupport.h"
#include "UnPackTestHost.h"
#include "package/PackWrite.h"
#include "package/PackX.h"
#include "package/UnPack.h"
#include "util/FileIO.h"
#include "package/ZLibOpen.h"

using namespace PackFormat;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

namespace {

const char* const kHostileNames[] = {
    "\\x.txt",         "/x.txt",        "C:x.txt",           "c:\\x.txt",       "\\\\?\\C:\\x.txt",
    "\\\\.\\PhysicalDrive0", "\\\\server\\share\\x.txt", "a.txt:stream", "a.txt::$DATA", "..",
    "..\\x.txt",       "../x.txt",      "sub\\..\\..\\x.txt", "sub/../../x.txt", "sub\\..",
    "..\\..\\x.txt",   ".. \\x.txt",    "...\\x.txt",        "sub/. ./x.txt",   "..\\dest2\\x.txt"};

const char* const kHarmlessNames[] = {"a.txt",  "00001#a.txt", "a..b",     "..a",  "a..", ".hidden",
                                      "sub\\b", "sub/b",       "sub\\..b", ". \\x", "",    "Engine.exe"};

// scratch/setup.exe extracts into scratch/root/dest; anything else that
// appears in scratch or root has escaped.
struct THostileFixture : ::testing::Test {
  TScratchDir scratch;
  std::string setup = scratch.File("setup.exe");
  std::string root = scratch.File("root");
  std::string dest = Join(root, "dest");
  TRecordingHost host;

  TUnpackResult Run(const std::string& image) {
    WriteBytes(setup, image);
    return UnpackPackage(MakeRequest(setup, dest), host);
  }
  void ExpectNothingOutside() {
    EXPECT_EQ(ListNames(scratch.Path()), (std::vector<std::string>{"root", "setup.exe"}));
    EXPECT_EQ(ListNames(root), std::vector<std::string>{"dest"});
  }
};

TPackageWriter Writer() {
  TPackageWriter w;
  w.stubImage = testsupport::FakeStubImage(1024);
  w.writeChecksum = false;  // damaged packages must get past the checksum
  return w;
}

}  // namespace

TEST(UnPackNames, HostileAndHarmlessNames) {
  for (const char* name : kHostileNames) EXPECT_TRUE(IsHostileEntryName(name)) << name;
  for (const char* name : kHarmlessNames) EXPECT_FALSE(IsHostileEntryName(name)) << name;
}

TEST_F(THostileFixture, HostileEntryEndsTheRunWithoutEngine) {
  for (const char* name : kHostileNames) {
    std::filesystem::remove_all(root);
    host = TRecordingHost();
    TPackageWriter w = Writer();
    w.AddFile("Engine.exe*", 0, "engine");
    w.AddFile("good.txt", 0, "good");
    w.AddFile(name, 0, "evil");
    w.AddFile("after.txt", 0, "after");
    const TUnpackResult r = Run(w.Build());
    EXPECT_FALSE(r.ok) << name;
    EXPECT_TRUE(r.engineEntry.empty()) << name;
    EXPECT_EQ(ListNames(dest), (std::vector<std::string>{"Engine.exe", "good.txt"})) << name;
    ExpectNothingOutside();
  }
}

TEST_F(THostileFixture, HostileFirstEntryAndHostileEngine) {
  for (const char* name : {"..\\evil.exe*", "../evil.exe* /x", "C:evil.exe*"}) {
    std::filesystem::remove_all(root);
    TPackageWriter w = Writer();
    w.AddFile(name, 0, "evil");
    w.AddFile("Engine.exe*", 0, "engine");
    const TUnpackResult r = Run(w.Build());
    EXPECT_FALSE(r.ok) << name;
    EXPECT_TRUE(r.engineEntry.empty()) << name;
    EXPECT_TRUE(ListNames(dest).empty()) << name;
    ExpectNothingOutside();
  }
}

TEST_F(THostileFixture, AbsoluteNameOfAnExistingFolderIsRefused) {
  const std::string target = scratch.File("abs.txt");
  TPackageWriter w = Writer();
  w.AddFile(target, 0, "evil");
  EXPECT_FALSE(Run(w.Build()).ok);
  EXPECT_FALSE(FileExists(target));
}

TEST_F(THostileFixture, ImpossibleBlockLengthsEndTheRunCleanly) {
  auto lengthOnly = [](int32_t length) {
    std::string block(4, '\0');
    PutU32(block, 0, static_cast<uint32_t>(length));
    return block;
  };
  const std::string blocks[] = {
      lengthOnly(INT32_MIN),
      lengthOnly(INT32_MAX),
      lengthOnly(-INT32_MAX),
      lengthOnly(1000) + "short",     // runs into the trailer and past the end
      lengthOnly(-1000) + "short",
  };
  for (const std::string& bad : blocks) {
    std::filesystem::remove_all(root);
    TPackageWriter w = Writer();
    w.AddFile("Engine.exe*", 0, "engine");
    w.AddRawBlock(bad);
    const TUnpackResult r = Run(w.Build());
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.engineEntry.empty());
    EXPECT_EQ(ListNames(dest), std::vector<std::string>{"Engine.exe"});
    ExpectNothingOutside();
  }
}

TEST_F(THostileFixture, TruncatedVolumeEndsTheRunCleanly) {
  TPackageWriter w = Writer();
  w.setEndPointer = false;  // the trailer is found at the physical end
  w.level = 0;              // stored: the cut lands inside b.txt
  w.AddFile("a.txt", 0, std::string(5000, 'a'));
  w.AddFile("b.txt", 0, std::string(20000, 'b'));
  const std::string image = w.Build();
  const std::string trailer = image.substr(image.size() - kTrailerSize);
  const TUnpackResult r = Run(image.substr(0, image.size() / 2) + trailer);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(ListNames(dest), std::vector<std::string>{"a.txt"});
  ExpectNothingOutside();
}

TEST_F(THostileFixture, DataStartAndEndPointerOutsideTheFile) {
  TPackageWriter w = Writer();
  w.AddFile("a.txt", 0, "a");
  std::string image = w.Build();
  std::string farStart = image;
  PutU32(farStart, farStart.size() - kTrailerSize + kOffDataStart, 0xFFFFFFF0u);
  EXPECT_FALSE(Run(farStart).ok);
  std::string farEnd = image;
  PutU32(farEnd, kEndPointerLow, static_cast<uint32_t>(image.size() + 100000));
  Run(farEnd);  // no magic where the pointer says: nothing to extract
  EXPECT_TRUE(ListNames(dest).empty());
  ExpectNothingOutside();
}

TEST_F(THostileFixture, BadAgentNameWritesNoCopy) {
  TPackageWriter w = Writer();
  w.AddFile("a.txt", 0, "a");
  WriteBytes(setup, w.Build());
  for (const char* agent : {"..", "evil:stream", "C:"}) {
    TUnpackRequest request = MakeRequest(setup, dest);
    request.agentName = agent;
    EXPECT_TRUE(UnpackPackage(request, host).ok) << agent;
    EXPECT_EQ(ListNames(dest), std::vector<std::string>{"a.txt"}) << agent;
    ExpectNothingOutside();
  }
}

#ifdef __linux__
TEST_F(THostileFixture, VolumeIsClosedWhenADamagedEntryRaises) {
  auto openFiles = [] {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
  };
  TPackageWriter w = Writer();
  std::string block = PackWrite::EntryBlock(PackWrite::EntryText("a.txt", 0, std::string(3000, 'x')), 6);
  block[block.size() - 1] ^= 0x40;  // Adler-32
  w.AddRawBlock(block);
  const size_t before = openFiles();
  EXPECT_THROW(Run(w.Build()), EZLibError);
  EXPECT_EQ(openFiles(), before);
}
#endif
