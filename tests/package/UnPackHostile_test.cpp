// Hostile and damaged packages: entry names that would leave the destination,
// impossible block lengths, truncated volumes.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <new>

#ifdef __linux__
#include <sys/resource.h>
#endif

#include "TestSupport.h"
#include "UnPackTestHost.h"
#include "package/PackWrite.h"
#include "package/PackX.h"
#include "package/UnPack.h"
#include "util/FileIO.h"
#include "package/ZLibOpen.h"
#include "stub/VxDebug.h"

using namespace PackFormat;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

namespace {

const char* const kHostileNames[] = {
    "\\x.txt",         "/x.txt",        "C:x.txt",           "c:\\x.txt",       "\\\\?\\C:\\x.txt",
    "\\\\.\\PhysicalDrive0", "\\\\server\\share\\x.txt", "a.txt:stream", "a.txt::$DATA", "..",
    "..\\x.txt",       "../x.txt",      "sub\\..\\..\\x.txt", "sub/../../x.txt", "sub\\..",
    "..\\..\\x.txt",   ".. \\x.txt",    "...\\x.txt",        "sub/. ./x.txt",   "..\\dest2\\x.txt",
    // Device names, in any component, case, with extensions, trailing dots or blanks.
    "CON",             "con",           "sub\\NUL",          "COM1.txt",        "LPT1",
    "AUX",             "PRN",           "nul.tar.gz",        "CON .txt",        "Com9.",
    "sub/aux /x.txt",  "lpt3\\x.txt",   "CONIN$",            "conout$.log",     "a\\b\\Prn.dat"};

const char* const kHarmlessNames[] = {"a.txt",      "00001#a.txt", "a..b",   "..a",      "a..",     ".hidden",
                                      "sub\\b",     "sub/b",       "sub\\..b", ". \\x",    "",        "Engine.exe",
                                      "CONSOLE.txt", "COM10",      "LPT",    "sub\\COMA", "NULL.txt", "xcon\\aux1"};

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

bool AnyLineStartsWith(const std::vector<std::string>& lines, const std::string& start) {
  for (const std::string& line : lines)
    if (line.rfind(start, 0) == 0) return true;
  return false;
}

}  // namespace

TEST(UnPackNames, HostileAndHarmlessNames) {
  for (const char* name : kHostileNames) EXPECT_TRUE(IsHostileEntryName(name)) << name;
  // Control characters, also a NUL that would cut "CONOUT$" + NUL + "x" short.
  for (const std::string& name : {std::string("CONOUT$\0x", 9), std::string("a\tb.txt"), std::string("sub\x1F\\c")})
    EXPECT_TRUE(IsHostileEntryName(name)) << name;
  for (const char* name : kHarmlessNames) EXPECT_FALSE(IsHostileEntryName(name)) << name;
}

TEST_F(THostileFixture, HostileEntryEndsTheRunWithoutEngine) {
  for (const char* name : kHostileNames) {
    std::filesystem::remove_all(root);
    host = TRecordingHost();
    TPackageWriter w = DamageableWriter();
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
    TPackageWriter w = DamageableWriter();
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
  TPackageWriter w = DamageableWriter();
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
    TPackageWriter w = DamageableWriter();
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
  TPackageWriter w = DamageableWriter();
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
  TPackageWriter w = DamageableWriter();
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
  TPackageWriter w = DamageableWriter();
  w.AddFile("a.txt", 0, "a");
  WriteBytes(setup, w.Build());
  const std::string withNul("CONOUT$\0.exe", 12);  // the system would stop reading at the NUL
  for (const std::string& agent : {std::string(".."), std::string("evil:stream"), std::string("C:"), std::string("CON"),
                                   std::string("nul.exe"), std::string("COM1.exe"), withNul}) {
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
  TPackageWriter w = DamageableWriter();
  std::string block = PackWrite::EntryBlock(PackWrite::EntryText("a.txt", 0, std::string(3000, 'x')), 6);
  block[block.size() - 1] ^= 0x40;  // Adler-32
  w.AddRawBlock(block);
  const size_t before = openFiles();
  EXPECT_THROW(Run(w.Build()), EZLibError);
  EXPECT_EQ(openFiles(), before);
}
#endif

TEST_F(THostileFixture, OverlongEntryHeaderEndsTheRun) {
  TPackageWriter w = DamageableWriter();
  w.AddFile("Engine.exe*", 0, "engine");
  w.AddRawBlock(PackWrite::EntryBlock(std::string(kMaxEntryHeader + 1, 'h') + '\0' + "data", 6));
  w.AddFile("after.txt", 0, "after");
  VxDebug::TTraceCapture trace;
  const TUnpackResult r = Run(w.Build());
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.engineEntry.empty());
  EXPECT_EQ(ListNames(dest), std::vector<std::string>{"Engine.exe"});
  EXPECT_TRUE(AnyLineStartsWith(trace.Lines(), "Damaged entry"));
  ExpectNothingOutside();
}

// A setup file with no package trailer behind it is damaged, whatever its size
// (above 51200 bytes no checksum is computed that would catch it).
TEST_F(THostileFixture, FirstVolumeWithoutTrailerIsDamaged) {
  TPackageWriter w = DamageableWriter();
  w.level = 0;
  w.AddFile("Engine.exe*", 0, std::string(120000, 'e'));
  const std::string image = w.Build();
  const struct {
    const char* name;
    std::string bytes;
    bool summed;  // small enough for the checksum test, which fails first
  } cases[] = {
      {"cut before its trailer", image.substr(0, image.size() - 40), false},
      {"cut in the middle", image.substr(0, image.size() * 2 / 3), false},
      {"a stub with no package", testsupport::FakeStubImage(60000), false},
      {"a small stub with no package", testsupport::FakeStubImage(1024), true},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(root);
    VxDebug::TTraceCapture trace;
    const TUnpackResult r = Run(c.bytes);
    EXPECT_FALSE(r.ok) << c.name;
    EXPECT_TRUE(r.engineEntry.empty()) << c.name;
    EXPECT_TRUE(ListNames(dest).empty()) << c.name;
    EXPECT_EQ(AnyLineStartsWith(trace.Lines(), "Damaged package: no package trailer"), !c.summed) << c.name;
    EXPECT_FALSE(std::filesystem::exists(root)) << c.name;
  }
}

// The guarded run turns every failure of the unpacker into a damaged package.
TEST_F(THostileFixture, GuardedRunReportsDamageAndAllocationFailures) {
  TPackageWriter good = DamageableWriter();
  good.AddFile("Engine.exe*", 0, "engine");
  good.AddFile("a.txt", 0, std::string(200000, 'a'));
  TPackageWriter damaged = DamageableWriter();
  std::string block = PackWrite::EntryBlock(PackWrite::EntryText("a.txt", 0, std::string(3000, 'x')), 6);
  block[block.size() - 1] ^= 0x40;  // Adler-32
  damaged.AddRawBlock(block);

  struct TThrowingHost : TRecordingHost {
    int throwAt = 0;  // 0: never
    void Pump() override {
      TRecordingHost::Pump();
      if (pumps == throwAt) throw std::bad_alloc();
    }
  };
  const struct {
    const char* name;
    std::string image;
    int throwAt;
    const char* failure;
  } cases[] = {
      {"whole package", good.Build(), 0, ""},
      {"damaged compressed entry", damaged.Build(), 0, "Damaged package: data error"},
      {"allocation failure while reading", good.Build(), 3, "Damaged package: out of memory while unpacking"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(root);
    WriteBytes(setup, c.image);
    TThrowingHost throwing;
    throwing.throwAt = c.throwAt;
    std::string failure = "not set";
    const TUnpackResult r = UnpackPackageGuarded(MakeRequest(setup, dest), throwing, &failure);
    EXPECT_EQ(failure, c.failure) << c.name;
    EXPECT_EQ(r.ok, failure.empty()) << c.name;
    EXPECT_EQ(r.engineEntry.empty(), !failure.empty()) << c.name;
    ExpectNothingOutside();
  }
}

#ifdef __linux__
// A package whose first block claims more than the process can hold (a sparse
// file of 1.5 GB, in a child process limited to 1 GB of address space): the
// reader leaves the block empty and the guarded unpacker reports damage;
// neither throws.
// In a death-test child: limits the address space to 1 GiB, then reads.
bool HugeBlockIsHandled(const std::string& setup, const std::string& out) {
  const rlim_t limit = rlim_t{1} << 30;
  const rlimit both{limit, limit};
  if (::setrlimit(RLIMIT_AS, &both) != 0) return false;
  const TGFileInfo info(setup);
  TSilentUnpackHost host;
  std::string failure;
  const TUnpackResult r = UnpackPackageGuarded(MakeRequest(setup, out), host, &failure);
  return info.Trailer().HasMagic() && info.LanguageBlock().empty() && !r.ok &&
         failure == "Damaged package: insufficient memory";
}

TEST(UnPackMemory, BlockLargerThanTheProcessCanHold) {
  TScratchDir scratch;
  const std::string setup = scratch.File("huge.bin");
  const int64_t claimed = int64_t{3} << 29;  // 1.5 GiB
  {
    std::string head(4, '\0');
    PutU32(head, 0, static_cast<uint32_t>(claimed));
    TFile file(setup, TFile::Mode::Create);
    ASSERT_EQ(file.Write(head.data(), 4), 4);
    ASSERT_EQ(file.Seek64(4 + claimed, TFile::Origin::Begin), 4 + claimed);
    TPackTrailer trailer;
    trailer.bytes[kOffInfoBlockCount] = 2;
    trailer.SetMagic();
    trailer.SetChecksum(kNoChecksum);
    trailer.SetLength(kTrailerSize);
    const std::string rest = std::string(4, '\0') + trailer.AsText();  // an empty second block, the trailer
    ASSERT_EQ(file.Write(rest.data(), static_cast<int64_t>(rest.size())), static_cast<int64_t>(rest.size()));
  }
  EXPECT_EXIT(std::_Exit(HugeBlockIsHandled(setup, scratch.File("out")) ? 0 : 1), ::testing::ExitedWithCode(0), "");
}
#endif
