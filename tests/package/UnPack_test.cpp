// Unpacking of a single-volume package: entries, engine entry, dates, the
// failed-write message and the agent copy.
#include "package/UnPack.h"

#include <gtest/gtest.h>

#include <regex>

#include "TestSupport.h"
#include "UnPackTestHost.h"
#include "package/PackWrite.h"
#include "package/PackX.h"
#include "package/ZLibOpen.h"
#include "stub/VxDebug.h"
#include "util/FileIO.h"

using namespace PackFormat;
using testsupport::FakeStubImage;
using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

namespace {

constexpr int32_t kEngineDate = 1248086749;  // 4 March 2017, 09:22:58

TPackageWriter StubWriter() {
  TPackageWriter w;
  w.stubImage = FakeStubImage(2048);
  w.infoBlock = PackWrite::InfoBlock("http://example.com/upd/", "Product.info", "Agent.exe", "tok", false);
  return w;
}

struct TUnpackFixture : ::testing::Test {
  TScratchDir dir;
  std::string setup = dir.File("setup.exe");
  std::string out = dir.File("out");
  TRecordingHost host;
  TProgressLog progress;

  TUnpackResult Run(const std::string& image, const std::string& agentName = "") {
    WriteBytes(setup, image);
    TUnpackRequest request = MakeRequest(setup, out, &progress);
    request.agentName = agentName;
    return UnpackPackage(request, host);
  }
  std::string Out(const std::string& name) const { return ReadBytes(Join(out, name)); }
};

}  // namespace

TEST_F(TUnpackFixture, ExtractsEntriesWithDatesAndEngine) {
  TPackageWriter w = StubWriter();
  const int32_t date = PackWrite::DosDateTime(2021, 6, 30, 17, 45, 12);
  w.AddFile("Engine.exe*", kEngineDate, "engine bytes");
  w.AddFile("a.txt", date, std::string(70000, 'a'));  // more than one 64 KiB read
  w.level = 0;
  w.AddFile("stored.bin", date, std::string("\0\1\2\0", 4));
  const TUnpackResult r = Run(w.Build());

  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.engineEntry, "Engine.exe*");
  EXPECT_EQ(ListNames(out), (std::vector<std::string>{"Engine.exe", "a.txt", "stored.bin"}));
  EXPECT_EQ(Out("Engine.exe"), "engine bytes");
  EXPECT_EQ(Out("a.txt"), std::string(70000, 'a'));
  EXPECT_EQ(Out("stored.bin"), std::string("\0\1\2\0", 4));
  EXPECT_EQ(FileDosDate(Join(out, "Engine.exe")), kEngineDate);
  EXPECT_EQ(FileDosDate(Join(out, "a.txt")), date);
  EXPECT_TRUE(host.errors.empty());
  EXPECT_TRUE(host.prompts.empty());
  EXPECT_GT(host.pumps, 0);
  EXPECT_EQ(host.waits, std::vector<int>{500});
}

TEST_F(TUnpackFixture, NamesWithFoldersExtractIntoTheirFolders) {
  TPackageWriter w = StubWriter();
  w.AddFile("data\\deep\\b.txt", kEngineDate, "B");
  w.AddFile("data/c.txt", 0, "C");
  const TUnpackResult r = Run(w.Build());
  EXPECT_TRUE(r.ok);
  EXPECT_TRUE(host.errors.empty());
  EXPECT_EQ(ReadBytes(Join(Join(Join(out, "data"), "deep"), "b.txt")), "B");
  EXPECT_EQ(FileDosDate(Join(Join(Join(out, "data"), "deep"), "b.txt")), kEngineDate);
  EXPECT_EQ(ReadBytes(Join(Join(out, "data"), "c.txt")), "C");
}

TEST_F(TUnpackFixture, ThreeInformationBlocksAreSkipped) {
  TPackageWriter w = StubWriter();
  // A download block that would extract as an entry if it were counted as one.
  w.downloadBlock = PackWrite::Compress(PackWrite::EntryText("leak.txt", 0, "x"), 6);
  w.AddFile("a.txt", 0, "A");
  const TUnpackResult r = Run(w.Build());
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(ListNames(out), std::vector<std::string>{"a.txt"});
}

TEST_F(TUnpackFixture, EmptyAndHeaderlessEntriesAreSkipped) {
  TPackageWriter w = StubWriter();
  w.AddRawBlock(std::string(4, '\0'));                         // stored, L = 0
  w.AddRawBlock(PackWrite::EntryBlock("no header here", 0));   // no NUL
  w.AddRawBlock(PackWrite::EntryBlock(std::string(1, '\0') + "data", 6));  // empty header
  w.AddFile("a.txt", 0, "A");
  const TUnpackResult r = Run(w.Build());
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(ListNames(out), std::vector<std::string>{"a.txt"});
  EXPECT_EQ(progress, (TProgressLog{{0, 0}, {0, 4}, {1, 1}}));
}

TEST_F(TUnpackFixture, SameNameEntriesAreJoinedWithOneStep) {
  TPackageWriter w = StubWriter();
  w.AddFile("big.dat", 0, "first part|");
  w.AddFile("big.dat", kEngineDate, "second part");
  Run(w.Build());
  EXPECT_EQ(Out("big.dat"), "first part|second part");
  EXPECT_EQ(FileDosDate(Join(out, "big.dat")), kEngineDate);
  EXPECT_EQ(progress, (TProgressLog{{0, 0}, {0, 2}, {1, 1}}));
}

TEST_F(TUnpackFixture, StarInALaterItemMakesTheWholeHeaderTheEngineEntry) {
  TPackageWriter w = StubWriter();
  const std::string header = "|Setup.cmd|0|/run*quiet|";
  w.AddRawBlock(PackWrite::EntryBlock(header + std::string(1, '\0') + "echo", 6));
  const TUnpackResult r = Run(w.Build());
  EXPECT_EQ(r.engineEntry, header);
  EXPECT_EQ(Out("Setup.cmd"), "echo");
}

TEST_F(TUnpackFixture, PackageEndsWithTheTrailerWhateverItsLength) {
  // An older package with a 60-byte trailer: the loop stops at 74 or fewer bytes.
  TPackageWriter w = StubWriter();
  w.writeChecksum = false;
  w.setEndPointer = false;
  w.AddFile("a.txt", 0, "A");
  w.AddFile("b.txt", 0, "B");
  std::string image = w.Build();
  std::string trailer = image.substr(image.size() - kTrailerSize, 56);
  image.resize(image.size() - kTrailerSize);
  PutU32(image, image.size() + 56, 60);
  image.replace(image.size() - 60, 56, trailer);
  const TUnpackResult r = Run(image);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(ListNames(out), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(TUnpackFixture, SignedExecutableEndsAtItsEndPointer) {
  TPackageWriter w = StubWriter();
  w.AddFile("a.txt", 0, "A");
  // The "signature" would read as a huge block if the end pointer were ignored.
  const TUnpackResult r = Run(w.Build() + std::string(4096, '\x7F'));
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(ListNames(out), std::vector<std::string>{"a.txt"});
}

TEST_F(TUnpackFixture, BadChecksumEndsTheRunBeforeExtracting) {
  TPackageWriter w = StubWriter();
  w.level = 0;
  w.AddFile("Engine.exe*", 0, "engine" + std::string(60, 'e'));
  std::string image = w.Build();
  image[image.size() - kTrailerSize - 30] ^= 0x20;  // inside the stored entry
  const TUnpackResult r = Run(image);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.engineEntry.empty());
  EXPECT_TRUE(ListNames(out).empty());
}

TEST_F(TUnpackFixture, MissingFirstVolumeEndsAtOnce) {
  TUnpackRequest request = MakeRequest(dir.File("absent.exe"), out, &progress);
  const TUnpackResult r = UnpackPackage(request, host);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.engineEntry.empty());
  EXPECT_TRUE(host.prompts.empty());
  EXPECT_EQ(progress, (TProgressLog{{0, 0}}));
}

TEST_F(TUnpackFixture, CorruptedCompressedEntryRaisesDataError) {
  TPackageWriter w = StubWriter();
  w.writeChecksum = false;  // 1234: the checksum lets it through
  w.AddFile("a.txt", 0, std::string(3000, 'q'));
  std::string image = w.Build();
  image[image.size() - kTrailerSize - 3] ^= 0x55;  // the Adler-32 check
  try {
    Run(image);
    FAIL() << "no exception";
  } catch (const EZLibError& e) {
    EXPECT_STREQ(e.what(), "data error");
  }
}

TEST_F(TUnpackFixture, FailedWritesShowOneMessagePerProcess) {
  ResetUnpackFailedWrites();
  TPackageWriter w = StubWriter();
  w.AddFile("a.txt", 0, "12345");
  w.AddFile("b.txt", 0, "xyz");
  std::filesystem::create_directories(Join(out, "a.txt"));  // a folder where the file goes
  std::filesystem::create_directories(Join(out, "b.txt"));
  Run(w.Build());
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(UnpackFailedWrites(), 2);
  const std::string& text = host.errors[0];
  const std::string target = out + "\\a.txt";
  EXPECT_EQ(text.rfind(target + "<P><P>Unable to save Extracted File!<P><P>", 0), 0u) << text;
  EXPECT_NE(text.find("<P>  Data Size: <T>5 Bytes<P>  File Size:  <T>"), std::string::npos) << text;
  EXPECT_NE(text.find(" Bytes<P>  Bytes Free: <T>"), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - 6), " Bytes");

  // Another run in the same process counts on but stays silent.
  host.errors.clear();
  Run(w.Build());
  EXPECT_TRUE(host.errors.empty());
  EXPECT_EQ(UnpackFailedWrites(), 4);
}

TEST_F(TUnpackFixture, UncreatableDestinationIsReported) {
  ResetUnpackFailedWrites();
  WriteBytes(dir.File("plain"), "a file, not a folder");
  out = Join(dir.File("plain"), "out");
  TPackageWriter w = StubWriter();
  w.AddFile("a.txt", 0, "A");
  Run(w.Build());
  ASSERT_EQ(host.errors.size(), 2u);
  EXPECT_EQ(host.errors[0].rfind(out + "<P><P>Unable to create Directory!<P><P>", 0), 0u) << host.errors[0];
  EXPECT_NE(host.errors[1].find("Unable to save Extracted File!"), std::string::npos);
}

TEST_F(TUnpackFixture, AgentCopyHoldsStubInfoBlocksAndFlaggedTrailer) {
  TPackageWriter w = StubWriter();
  w.carriesAgent = true;
  w.AddFile("Engine.exe*", kEngineDate, "engine");
  w.AddFile("a.txt", 0, std::string(9000, 'z'));
  const std::string image = w.Build();
  const int32_t setupDate = PackWrite::DosDateTime(2019, 11, 2, 8, 30, 0);
  WriteBytes(setup, image);
  {
    TFile f(setup, TFile::Mode::Write);
    ASSERT_TRUE(f.SetDosDate(setupDate));
  }
  TUnpackRequest request = MakeRequest(setup, out);
  request.agentName = "C:\\Program Files\\Product\\Agent.exe";  // only the name part counts
  UnpackPackage(request, host);

  const size_t firstEntry = 2048 + 8 + w.languageBlock.size() + w.infoBlock.size();
  std::string expected = image.substr(0, firstEntry);
  expected.replace(252, 4, std::string(4, '\0'));
  std::string trailer = image.substr(image.size() - kTrailerSize);
  trailer[kOffAgentPackage] = 1;
  expected += trailer;
  EXPECT_EQ(Out("Agent.exe"), expected);
  EXPECT_EQ(FileDosDate(Join(out, "Agent.exe")), setupDate);

  // The copy reads as an agent package from its physical end.
  TGFileInfo agent(Join(out, "Agent.exe"));
  EXPECT_TRUE(agent.IsAgentPackage());
  EXPECT_EQ(agent.AgentFileName(), "Agent.exe");
  EXPECT_EQ(agent.Trailer().EntryCount(), 2u);
}

TEST(UnPackAgent, WrittenOnlyFromAnExeOrExe001FirstVolume) {
  const struct {
    const char* setupName;
    bool copy;
  } cases[] = {{"setup.exe", true}, {"SETUP.EXE.001", true}, {"Setup.Exe", true},
               {"setup.001", false}, {"setup.bin", false},   {"setup.exe.bak", false}};
  TPackageWriter w = StubWriter();
  w.AddFile("a.txt", 0, "A");
  const std::string image = w.Build();
  for (const auto& c : cases) {
    TScratchDir dir;
    WriteBytes(dir.File(c.setupName), image);
    TUnpackRequest request = MakeRequest(dir.File(c.setupName), dir.File("out"));
    request.agentName = "Agent.exe";
    TRecordingHost host;
    UnpackPackage(request, host);
    EXPECT_EQ(FileExists(Join(dir.File("out"), "Agent.exe")), c.copy) << c.setupName;
    EXPECT_TRUE(FileExists(Join(dir.File("out"), "a.txt"))) << c.setupName;
  }
}

TEST_F(TUnpackFixture, TracesTheRun) {
  TPackageWriter w = StubWriter();
  w.AddFile("a.txt", 0, "A");
  w.AddFile("b.txt", 0, "B");
  const std::string image = w.Build() + std::string(100, '\x11');  // signature
  VxDebug::TTraceCapture trace;
  Run(image, "Agent.exe");
  const std::vector<std::string>& lines = trace.Lines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "FileInfo.FilesCount=2");
  EXPECT_EQ(lines[1], "FileLen=" + std::to_string(image.size() - 100));
  const std::string agentLine = " New AU-Agent: " + out + "\\Agent.exe";
  const size_t pidLength = lines[2].size() - std::min(lines[2].size(), agentLine.size());
  EXPECT_EQ(lines[2].substr(pidLength), agentLine);
  EXPECT_TRUE(std::regex_match(lines[2].substr(0, pidLength), std::regex("[0-9]+"))) << lines[2];
  EXPECT_TRUE(std::regex_match(lines[3], std::regex("UnCompressTime: [0-9]+ MS"))) << lines[3];
  EXPECT_EQ(lines[4], "");
}

TEST_F(TUnpackFixture, TracesARefusedEntry) {
  TPackageWriter w = StubWriter();
  w.AddFile("..\\up.txt", 0, "A");
  VxDebug::TTraceCapture trace;
  Run(w.Build());
  bool named = false;
  for (const std::string& line : trace.Lines()) named = named || line.find("..\\up.txt") != std::string::npos;
  EXPECT_TRUE(named);
}
