// The first entry of a file name in a run creates or truncates the file, later
// entries of that name append: files left in the destination before the run
// (a locked left-over, a file planted by someone else) never get package
// bytes added at their end.
#include <gtest/gtest.h>

#include <map>

#include "TestSupport.h"
#include "UnPackTestHost.h"
#include "package/PackWrite.h"
#include "package/PackX.h"
#include "package/UnPack.h"
#include "util/FileIO.h"

using namespace PackFormat;
using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

namespace {

struct TFirstEntryFixture : ::testing::Test {
  TScratchDir dir;
  std::string setup = dir.File("setup.exe");
  std::string out = dir.File("out");
  TRecordingHost host;
  TProgressLog progress;

  // Files that lie in the destination before the run.
  void Plant(const std::map<std::string, std::string>& files) {
    for (const auto& [name, bytes] : files) {
      const size_t slash = name.find('/');
      if (slash != std::string::npos) std::filesystem::create_directories(Join(out, name.substr(0, slash)));
      WriteBytes(Join(out, name), bytes);
    }
  }
  TUnpackResult Run(const TPackageWriter& w) {
    WriteBytes(setup, w.Build());
    TUnpackRequest request = MakeRequest(setup, out, &progress);
    request.agentName = "Agent.exe";
    return UnpackPackage(request, host);
  }
};

TPackageWriter Writer() {
  TPackageWriter w;
  w.stubImage = testsupport::FakeStubImage(1024);
  w.infoBlock = PackWrite::InfoBlock("http://example.com/", "Foo.info", "Agent.exe", "tok", false);
  return w;
}

}  // namespace

TEST(UnPackFirstEntry, EntryNameKeys) {
  const struct {
    const char* name;
    const char* windowsKey;
    const char* posixKey;
  } cases[] = {
      {"a.txt", "A.TXT", "a.txt"},
      {"Sub\\Data.bin", "SUB\\DATA.BIN", "Sub\\Data.bin"},
      {"sub/Data.bin", "SUB\\DATA.BIN", "sub\\Data.bin"},
      {"sub\\\\.\\/x", "SUB\\X", "sub\\x"},
      {".\\Engine.exe", "ENGINE.EXE", "Engine.exe"},
      {"00001#big.dat", "00001#BIG.DAT", "00001#big.dat"},
      {"\xE4rger.txt", "\xE4RGER.TXT", "\xE4rger.txt"},  // letters beyond ASCII keep their case
      {"a.txt.", "A.TXT.", "a.txt."},                     // not folded: a truncation, never an append
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EntryNameKey(c.name, true), c.windowsKey) << c.name;
    EXPECT_EQ(EntryNameKey(c.name, false), c.posixKey) << c.name;
  }
}

TEST_F(TFirstEntryFixture, FilesThatWereThereBeforeTheRunAreReplacedNotExtended) {
  Plant({{"Engine.exe", "THEIR ENGINE"},
         {"big.dat", "left over"},
         {"sub/b.txt", "planted"},
         {"Agent.exe", "planted agent"},
         {"theirs.txt", "not in the package"}});
  TPackageWriter w = Writer();
  w.carriesAgent = true;
  w.AddFile("Engine.exe*", 0, "engine");
  w.AddFile("big.dat", 0, "one,");
  w.AddFile("big.dat", 0, "two");
  w.level = 0;
  w.AddFile("sub\\b.txt", 0, "");  // an empty first entry truncates too
  const TUnpackResult r = Run(w);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(ReadBytes(Join(out, "Engine.exe")), "engine");
  EXPECT_EQ(ReadBytes(Join(out, "big.dat")), "one,two");
  EXPECT_EQ(ReadBytes(Join(Join(out, "sub"), "b.txt")), "");
  EXPECT_EQ(ReadBytes(Join(out, "theirs.txt")), "not in the package");
  EXPECT_EQ(ReadBytes(Join(out, "Agent.exe")).substr(0, 2), "MZ");  // the agent copy replaced it
  // One step per name, whether its file was there before or not.
  EXPECT_EQ(progress, (TProgressLog{{0, 0}, {0, 4}, {1, 1}, {1, 1}, {1, 1}}));
}

TEST_F(TFirstEntryFixture, EntriesContinuedInLaterVolumesAppendToWhatThisRunWrote) {
  Plant({{"v1.txt", "OLD,"}, {"v2.txt", "OLD,"}});
  TPackageWriter w = Writer();
  w.options = kOptMoreVolumes;
  w.AddFile("v1.txt", 0, "one,");
  WriteBytes(VolumeName(setup, 2),
             PackWrite::VolumeImage({Entry("v1.txt", "two,"), Entry("v2.txt", "a,"), Entry("v2.txt", "b")}, 3, 0));
  const TUnpackResult r = Run(w);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(ReadBytes(Join(out, "v1.txt")), "one,two,");
  EXPECT_EQ(ReadBytes(Join(out, "v2.txt")), "a,b");
}

// Two spellings of one Windows name are one file there: appended on Windows,
// two files where names are case-sensitive.
TEST_F(TFirstEntryFixture, SpellingsOfOneNameFollowThePlatform) {
  TPackageWriter w = Writer();
  w.AddFile("Data\\Big.dat", 0, "first|");
  w.AddFile("data/BIG.DAT", 0, "second");
  EXPECT_TRUE(Run(w).ok);
#ifdef _WIN32
  EXPECT_EQ(ReadBytes(Join(Join(out, "Data"), "Big.dat")), "first|second");
#else
  EXPECT_EQ(ReadBytes(Join(Join(out, "Data"), "Big.dat")), "first|");
  EXPECT_EQ(ReadBytes(Join(Join(out, "data"), "BIG.DAT")), "second");
#endif
}

// A name whose first entry could not be written takes none of its later
// entries: they would go to whatever file is in the way.
TEST_F(TFirstEntryFixture, LaterEntriesOfAnUnwritableNameAreNotWritten) {
  ResetUnpackFailedWrites();
  std::filesystem::create_directories(Join(out, "a.txt"));  // a folder where the file goes
  TPackageWriter w = Writer();
  w.AddFile("a.txt", 0, "one");
  w.AddFile("a.txt", 0, "two");
  w.AddFile("b.txt", 0, "b");
  Run(w);
  EXPECT_EQ(UnpackFailedWrites(), 2);
  EXPECT_EQ(host.errors.size(), 1u);
  EXPECT_TRUE(std::filesystem::is_directory(Join(out, "a.txt")));
  EXPECT_EQ(ReadBytes(Join(out, "b.txt")), "b");
}
