// The streaming package builder: round trips through TGFileInfo and the
// unpacker, split entries, volumes, golden bytes, arithmetic and bad input.
#include "package/PackBuild.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "TestSupport.h"
#include "package/PackWalk.h"
#include "package/PackWrite.h"
#include "package/PackX.h"
#include "package/UnPack.h"
#include "util/FileIO.h"
#include "util/Utils.h"

using namespace PackFormat;
using PackBuild::TBuildOptions;
using PackBuild::TBuildReport;
using testsupport::FakeStubImage;
using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

using testsupport::NoiseBytes;

namespace {

constexpr int32_t kDate1 = 1248086749;  // 4 March 2017, 09:22:58
const int32_t kDate2 = PackWrite::DosDateTime(2026, 12, 5, 17, 45, 30);

std::string TextBytes(size_t n) {
  std::string s;
  while (s.size() < n) s += "line " + std::to_string(s.size()) + " of a compressible text file\r\n";
  s.resize(n);
  return s;
}

void MakeFile(const std::string& path, const std::string& bytes, int32_t dosDate) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  WriteBytes(path, bytes);
  TFile file(path, TFile::Mode::Write);
  ASSERT_TRUE(file.SetDosDate(dosDate));
}

struct TInputFile {
  std::string name;  // in the package
  std::string bytes;
  int32_t date;
};

struct TPackBuildFixture : ::testing::Test {
  TScratchDir dir;
  std::string stub = dir.File("stub.exe");
  std::string out = dir.File("setup.exe");
  std::vector<TInputFile> packed;

  void SetUp() override { WriteBytes(stub, FakeStubImage(1024)); }

  // Writes the files under src/ and returns options carrying them.
  TBuildOptions Options(const std::vector<TInputFile>& files) {
    packed = files;
    TBuildOptions o;
    o.stubPath = stub;
    o.output = out;
    for (const TInputFile& f : files) {
      std::string rel = f.name;
      for (char& c : rel)
        if (c == '\\') c = '/';
      const std::string source = dir.File("src/" + rel);
      MakeFile(source, f.bytes, f.date);
      o.inputs.push_back({source, f.name});
    }
    return o;
  }

  std::string Build(const TBuildOptions& o, TBuildReport* reportOut = nullptr) {
    TBuildReport report;
    std::string error = PackBuild::BuildPackage(o, report);
    if (reportOut) *reportOut = report;
    return error;
  }

  // Extracts with the stub's unpacker and compares every file and its date.
  void ExpectExtractsBack(const std::string& setupFile, const std::string& engineEntry) {
    const std::string dest = dir.File("x" + std::to_string(extractions_++));
    TSilentUnpackHost host;
    TUnpackRequest request;
    request.setupFile = setupFile;
    request.destination = dest;
    int64_t range = -1, steps = 0;
    request.progress = [&](int kind, int64_t count) {
      if (kind == 0 && count > 0) range = count;
      if (kind == 1) ++steps;
    };
    const TUnpackResult r = UnpackPackage(request, host);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(host.Errors(), "");
    EXPECT_EQ(r.engineEntry, engineEntry);
    EXPECT_EQ(steps, range) << "the first volume's entry count is the run's progress range";
    for (const TInputFile& f : packed) {
      std::string rel = f.name;
      for (char& c : rel)
        if (c == '\\') c = '/';
      const std::string path = dest + "/" + rel;
      EXPECT_TRUE(ReadBytes(path) == f.bytes) << f.name;
      EXPECT_EQ(FileDosDate(path), f.date) << f.name;
    }
  }

  std::vector<std::string> FilesInDir() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
      if (e.is_regular_file()) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  int extractions_ = 0;
};

std::vector<TInputFile> StandardFiles() {
  return {{"Engine.exe", "MZ engine stand-in", kDate1},
          {"readme.txt", TextBytes(3000), kDate2},
          {"noise.bin", NoiseBytes(20000, 7), kDate2},
          {"empty.txt", "", kDate1},
          {"text.txt", TextBytes(40000), kDate2}};
}

// All blocks of a volume.
std::vector<TBlockInfo> Blocks(const std::string& path, int infoBlocks) {
  std::vector<TBlockInfo> blocks;
  EXPECT_TRUE(WalkBlocks(path, infoBlocks, [&](const TBlockInfo& b) { blocks.push_back(b); }));
  return blocks;
}

}  // namespace

// ---- Round trips over a table of option combinations ----

struct TRoundTrip {
  const char* label;
  int level;
  uint64_t entrySize;
  uint64_t volumeSize;
  bool firstVolumeFile;
  bool download;
  uint8_t options;
  bool trailerFlags;  // bytes 66..69
  const char* token;
  const char* engineArgs;
};

void PrintTo(const TRoundTrip& c, std::ostream* os) { *os << c.label; }

class TRoundTripTest : public TPackBuildFixture, public ::testing::WithParamInterface<TRoundTrip> {};

TEST_P(TRoundTripTest, TGFileInfoAndUnpackerReadWhatWasBuilt) {
  const TRoundTrip& c = GetParam();
  TBuildOptions o = Options(StandardFiles());
  o.level = c.level;
  o.entrySize = c.entrySize;
  o.volumeSize = c.volumeSize;
  o.firstVolumeFile = c.firstVolumeFile;
  o.options = c.options;
  o.engineName = "engine.EXE";  // matched ignoring case
  o.engineArgs = c.engineArgs;
  o.info = {"http://updates.example.com/p/", "Product.info", "Agent.exe", c.token, true};
  if (c.download) o.download = {true, "http://dl.example.com/full", "Full.exe", true, "DL-TOKEN", "123456"};
  o.downloadSetup = o.askBeforeDownload = o.carriesAgent = o.agentPackage = c.trailerFlags;
  o.seed = 99;
  TBuildReport report;
  ASSERT_EQ(Build(o, &report), "");

  const std::string first = c.firstVolumeFile ? out + ".001" : out;
  ASSERT_EQ(report.volumes.front(), first);
  EXPECT_EQ(report.files, 5u);
  const TGFileInfo info(first);
  const TPackTrailer& t = info.Trailer();
  ASSERT_TRUE(t.HasMagic());
  EXPECT_EQ(t.bytes[kOffFormat], 1);
  EXPECT_EQ(t.InfoBlockCount(), c.download ? 3 : 2);
  EXPECT_EQ(t.EntryCount(), 5u + report.volumes.size() - 1);
  EXPECT_EQ(t.Length(), 74u);
  EXPECT_EQ(info.TempDriveNotice(), (c.options & kOptTempDriveNotice) != 0);
  EXPECT_EQ(info.MoreVolumes(), report.volumes.size() > 1);
  EXPECT_EQ(info.CopyToTemp(), (c.options & kOptCopyToTemp) != 0);
  EXPECT_EQ(info.ShowActivityBar(), (c.options & kOptActivityBar) != 0);
  EXPECT_EQ(info.AgentTraceLog(), (c.options & kOptAgentTraceLog) != 0);
  EXPECT_EQ(info.DownloadSetup(), c.trailerFlags);
  EXPECT_EQ(info.AskBeforeDownload(), c.trailerFlags);
  EXPECT_EQ(info.CarriesAgent(), c.trailerFlags);
  EXPECT_EQ(info.IsAgentPackage(), c.trailerFlags);
  EXPECT_EQ(info.LanguageBlock(), PackWrite::DefaultLanguageBlock());
  EXPECT_EQ(info.InfoFolderURL(), "http://updates.example.com/p/");
  EXPECT_EQ(info.InfoFileName(), "Product.info");
  EXPECT_EQ(info.AgentFileName(), "Agent.exe");
  EXPECT_EQ(info.SecretToken(true), c.token);
  EXPECT_NE(info.SecretToken(false), c.token);
  EXPECT_TRUE(info.BackgroundSetup());
  if (c.download) {
    EXPECT_EQ(info.DownloadURL(), "http://dl.example.com/full");
    EXPECT_EQ(info.DownloadFileName(), "Full.exe");
    EXPECT_TRUE(info.AlwaysDownload());
    EXPECT_EQ(info.DownloadToken(true), "DL-TOKEN");
    EXPECT_EQ(info.DownloadSize(), "123456");
  }
  std::vector<uint64_t> sizes;
  for (const TInputFile& f : packed) sizes.push_back(f.bytes.size());
  const auto space = PackWrite::SpaceTable(sizes);
  for (int i = 0; i < kSpaceTableEntries; ++i) EXPECT_EQ(t.SpaceEntry(i), space[i]) << i;

  TFile file(first, TFile::Mode::Read);
  EXPECT_EQ(ReadPackageEnd(file), file.Size());
  EXPECT_EQ(t.DataStart(), 1024u + PackWrite::InfoBlockBytes(info.LanguageBlock()).size() +
                               PackWrite::InfoBlockBytes(info.PackageInfoBlock()).size() +
                               (c.download ? PackWrite::InfoBlockBytes(info.DownloadBlock()).size() : 0));
  for (const std::string& volume : report.volumes) {
    TPackTrailer vt;
    ReadTrailer(volume, vt);
    const int64_t size = static_cast<int64_t>(ReadBytes(volume).size());
    if (c.volumeSize) {
      EXPECT_LE(static_cast<uint64_t>(size), c.volumeSize) << volume;
    }
    EXPECT_EQ(vt.Checksum(), size > kChecksumLimit ? kNoChecksum : PackageChecksum(volume, 74)) << volume;
  }
  ExpectExtractsBack(first, "Engine.exe*" + Trim(c.engineArgs));
}

INSTANTIATE_TEST_SUITE_P(
    Combinations, TRoundTripTest,
    ::testing::Values(
        TRoundTrip{"stored", 0, PackBuild::kDefaultEntrySize, 0, false, false, 0, false, "T0KEN", ""},
        TRoundTrip{"compressed_all_flags", 9, PackBuild::kDefaultEntrySize, 0, false, true, 0x1D, true, "abc-123",
                   " /Lang=English"},
        TRoundTrip{"small_entries", 6, 700, 0, false, false, kOptActivityBar, false, "x", ""},
        TRoundTrip{"volumes", 6, 4096, 12000, false, true, kOptCopyToTemp, false, "Vol-Token", " /S"},
        TRoundTrip{"volumes_001", 0, 5000, 16000, true, true, kOptTempDriveNotice, true, "one", ""},
        TRoundTrip{"one_volume_001", 1, PackBuild::kDefaultEntrySize, 0, true, false, 0, false, "solo", ""}),
    [](const ::testing::TestParamInfo<TRoundTrip>& info) { return std::string(info.param.label); });

// ---- Split entries ----

TEST_F(TPackBuildFixture, LargeFilesBecomeSeveralSameNameEntries) {
  struct {
    size_t size;
    int entries;
  } cases[] = {{10000, 4}, {9000, 3}, {0, 1}, {2999, 1}};
  for (const auto& c : cases) {
    TBuildOptions o = Options({{"file.bin", NoiseBytes(c.size, 3), kDate2}});
    o.entrySize = 3000;
    o.level = 6;
    ASSERT_EQ(Build(o), "");
    const auto blocks = Blocks(out, 2);
    ASSERT_EQ(blocks.size(), static_cast<size_t>(2 + c.entries)) << c.size;
    int64_t data = 0;
    for (size_t i = 2; i < blocks.size(); ++i) {
      EXPECT_EQ(blocks[i].header, "|file.bin|" + std::to_string(kDate2) + "|");
      EXPECT_LE(blocks[i].inflatedSize - static_cast<int64_t>(blocks[i].header.size()) - 1, 3000);
      data += blocks[i].inflatedSize - static_cast<int64_t>(blocks[i].header.size()) - 1;
    }
    EXPECT_EQ(data, static_cast<int64_t>(c.size));
    ExpectExtractsBack(out, "");
  }
}

TEST_F(TPackBuildFixture, PiecesThatDoNotShrinkAreStoredInsideTheirZlibCheck) {
  TBuildOptions o = Options({{"noise.bin", NoiseBytes(5000, 11), kDate1}, {"text.txt", TextBytes(5000), kDate1}});
  o.level = 9;
  ASSERT_EQ(Build(o), "");
  const auto blocks = Blocks(out, 2);
  ASSERT_EQ(blocks.size(), 4u);
  // Stored deflate blocks: the text plus zlib's header, block header and Adler-32.
  EXPECT_TRUE(blocks[2].compressed);
  EXPECT_EQ(blocks[2].storedSize, blocks[2].inflatedSize + 11);
  EXPECT_TRUE(blocks[3].compressed);
  EXPECT_LT(blocks[3].storedSize, 2500);
  ExpectExtractsBack(out, "");
}

TEST_F(TPackBuildFixture, EntriesInSubfoldersExtractIntoTheirFolders) {
  TBuildOptions o = Options({{"Engine.exe", "engine", kDate1},
                             {"data\\a.txt", TextBytes(900), kDate2},
                             {"data\\deep\\b.bin", NoiseBytes(700, 5), kDate1}});
  ASSERT_EQ(Build(o), "");
  ExpectExtractsBack(out, "");
}

// ---- Spanning ----

TEST_F(TPackBuildFixture, ThreeVolumesEachWithItsOwnTrailer) {
  TBuildOptions o = Options({{"Engine.exe", NoiseBytes(1500, 1), kDate1},
                             {"a.bin", NoiseBytes(5000, 2), kDate2},
                             {"b.bin", NoiseBytes(5000, 3), kDate2},
                             {"c.bin", NoiseBytes(5000, 4), kDate2}});
  o.level = 0;
  o.engineName = "Engine.exe";
  o.volumeSize = 9000;  // stub + info + engine + a.bin; b.bin; c.bin
  o.options = kOptActivityBar;
  TBuildReport report;
  ASSERT_EQ(Build(o, &report), "");
  ASSERT_EQ(report.volumes, (std::vector<std::string>{out, VolumeName(out, 2), VolumeName(out, 3)}));
  EXPECT_EQ(report.entries, 4u);

  const uint32_t expectedEntries[] = {4 + 2, 1, 1};  // first: files + further volumes
  const uint8_t expectedOptions[] = {kOptActivityBar | kOptMoreVolumes, kOptMoreVolumes, 0};
  for (int i = 0; i < 3; ++i) {
    const std::string& volume = report.volumes[static_cast<size_t>(i)];
    TPackTrailer t;
    ReadTrailer(volume, t);
    const std::string bytes = ReadBytes(volume);
    ASSERT_TRUE(t.HasMagic()) << volume;
    EXPECT_LE(bytes.size(), 9000u);
    EXPECT_EQ(t.DataStart(), i == 0 ? 1024u : 0u);
    EXPECT_EQ(t.EntryCount(), expectedEntries[i]);
    EXPECT_EQ(t.Options(), expectedOptions[i]) << volume;
    EXPECT_EQ(t.Checksum(), PackageChecksum(volume, 74));
    EXPECT_NE(t.Checksum(), kNoChecksum);
    EXPECT_EQ(t.Length(), 74u);
    if (i > 0) {
      EXPECT_FALSE(IsPEImageBytes(bytes));
      for (int s = 0; s < kSpaceTableEntries; ++s) EXPECT_EQ(t.SpaceEntry(s), 0u);
      const auto blocks = Blocks(volume, 0);
      EXPECT_EQ(blocks.size(), 1u);
    }
  }
  EXPECT_EQ(Blocks(out, 2).size(), 4u);  // info blocks, engine, a.bin
  ExpectExtractsBack(out, "Engine.exe*");
}

// ---- Golden bytes ----

TEST_F(TPackBuildFixture, TinyPackageMatchesGoldenBytes) {
  WriteBytes(stub, FakeStubImage(512));
  TBuildOptions o = Options({{"Engine.exe", "engine", kDate1}, {"docs\\a.txt", "hello", kDate2}});
  o.level = 0;
  o.engineName = "Engine.exe";
  o.engineArgs = " /Q";
  o.info = {"http://u.example/", "P.info", "Agent.exe", "GOLDEN", false};
  o.options = kOptActivityBar;
  o.seed = 7;
  ASSERT_EQ(Build(o), "");
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  const std::string bytes = ReadBytes(out);
  for (size_t i = 0; i < bytes.size(); ++i) {
    hex += kHex[static_cast<uint8_t>(bytes[i]) >> 4];
    hex += kHex[static_cast<uint8_t>(bytes[i]) & 15];
    if (i % 32 == 31 || i + 1 == bytes.size()) hex += '\n';
  }
  const std::string golden = testsupport::SourcePath("tests/package/golden/tiny-setup.hex");
  if (std::getenv("VARNEL_UPDATE_GOLDEN")) WriteBytes(golden, hex);
  EXPECT_EQ(hex, ReadBytes(golden)) << "the package format changed; if on purpose, rerun with VARNEL_UPDATE_GOLDEN=1";
}

// ---- Reproducibility ----

TEST_F(TPackBuildFixture, SameSeedGivesSameBytesAndAnotherSeedAnotherToken) {
  TBuildOptions o = Options(StandardFiles());
  o.info.token = "repro";
  o.download = {true, "http://d/", "F.exe", false, "dl", "1"};
  o.seed = 1234;
  ASSERT_EQ(Build(o), "");
  const std::string firstBuild = ReadBytes(out);
  ASSERT_EQ(Build(o), "");
  EXPECT_EQ(ReadBytes(out), firstBuild);
  o.seed = 1235;
  ASSERT_EQ(Build(o), "");
  EXPECT_NE(ReadBytes(out), firstBuild);
  EXPECT_EQ(TGFileInfo(out).SecretToken(true), "repro");
}

// ---- Arithmetic for files and packages beyond 4 GiB ----

TEST(PackBuildArithmetic, PieceCountsEndPointerWordsAndSaturatingSpaceTable) {
  constexpr uint64_t GiB = uint64_t{1} << 30, MiB = uint64_t{1} << 20;
  EXPECT_EQ(PackBuild::PieceCount(0, 4 * MiB), 1u);
  EXPECT_EQ(PackBuild::PieceCount(4 * MiB, 4 * MiB), 1u);
  EXPECT_EQ(PackBuild::PieceCount(4 * MiB + 1, 4 * MiB), 2u);
  EXPECT_EQ(PackBuild::PieceCount(5 * GiB, 4 * MiB), 1280u);
  EXPECT_EQ(PackBuild::PieceCount(5 * GiB + 1, PackBuild::kMaxEntrySize), 6u);

  uint32_t high = 0, low = 0;
  PackBuild::SplitEndPointer(0x123456789ull, high, low);
  EXPECT_EQ(high, 0x1u);
  EXPECT_EQ(low, 0x23456789u);
  PackBuild::SplitEndPointer(4 * GiB, high, low);
  EXPECT_EQ(high, 1u);
  EXPECT_EQ(low, 0u);

  for (const std::vector<uint64_t>& sizes : {std::vector<uint64_t>{5 * GiB}, std::vector<uint64_t>{3 * GiB, 2 * GiB}}) {
    for (uint32_t entry : PackWrite::SpaceTable(sizes)) EXPECT_EQ(entry, 0xFFFFFFFFu);
  }
  const auto fits = PackWrite::SpaceTable({3 * GiB, 1000});
  EXPECT_EQ(fits[0], 3 * GiB + 1000);
  EXPECT_EQ(fits[8], 3 * GiB + 65536);
}

TEST(PackBuildArithmetic, ParseSize) {
  const std::pair<const char*, uint64_t> good[] = {
      {"123", 123}, {"4M", 4u << 20}, {"1440K", 1440u << 10}, {"2g", uint64_t{2} << 30}, {" 650MB ", 650u << 20}};
  for (const auto& [text, bytes] : good) {
    uint64_t value = 0;
    EXPECT_TRUE(PackBuild::ParseSize(text, value)) << text;
    EXPECT_EQ(value, bytes) << text;
  }
  for (const char* text : {"", "M", "4X", "-1", "1.5M", "99999999999999999999"}) {
    uint64_t value = 0;
    EXPECT_FALSE(PackBuild::ParseSize(text, value)) << text;
  }
}

// ---- Inputs ----

TEST_F(TPackBuildFixture, FolderWalkIsSortedAndKeepsRelativeNames) {
  MakeFile(dir.File("tree/b.txt"), "b", kDate1);
  MakeFile(dir.File("tree/a/z.txt"), "z", kDate1);
  MakeFile(dir.File("tree/a/y/x.txt"), "x", kDate1);
  MakeFile(dir.File("single.dat"), "s", kDate1);
  std::vector<PackBuild::TInput> inputs;
  ASSERT_EQ(PackBuild::CollectInputs({dir.File("tree"), dir.File("single.dat")}, inputs), "");
  std::vector<std::string> names;
  for (const auto& input : inputs) names.push_back(input.name);
  EXPECT_EQ(names, (std::vector<std::string>{"a\\y\\x.txt", "a\\z.txt", "b.txt", "single.dat"}));
  EXPECT_EQ(ReadBytes(inputs[0].source), "x");
  EXPECT_NE(PackBuild::CollectInputs({dir.File("nothing-here")}, inputs), "");
}

TEST(PackBuildNames, EntryNamesThatCannotBeCarried) {
  for (const char* good : {"a.txt", "dir\\sub\\file.bin", "Engine.exe", "name with blanks.txt", ".hidden"})
    EXPECT_EQ(PackBuild::EntryNameProblem(good), "") << good;
  for (const char* bad : {"", "a|b", "a*b", "c:x", "..\\up", "a\\..\\b", "\\root", "dir\\", "a\\\\b", "x/y", "q?",
                          "tab\there", "dots\\...\\x"})
    EXPECT_NE(PackBuild::EntryNameProblem(bad), "") << bad;
}

// ---- Bad input: one error each, nothing left behind ----

TEST_F(TPackBuildFixture, BadInputFailsWithoutLeavingOutput) {
  struct TBad {
    const char* label;
    std::function<void(TBuildOptions&, TPackBuildFixture&)> spoil;
    const char* expected;  // part of the message
  };
  const TBad cases[] = {
      {"stub missing", [](TBuildOptions& o, auto&) { o.stubPath += ".none"; }, "cannot read the stub"},
      {"stub not PE", [](TBuildOptions& o, auto& f) { WriteBytes(o.stubPath = f.dir.File("plain.bin"), std::string(600, 'x')); },
       "not a stub executable"},
      {"stub with a package", [](TBuildOptions& o, auto& f) {
         TPackageWriter w;
         w.stubImage = FakeStubImage(600);
         WriteBytes(o.stubPath = f.dir.File("built.exe"), w.Build());
       }, "already carries a package"},
      {"no inputs", [](TBuildOptions& o, auto&) { o.inputs.clear(); }, "no files"},
      {"unreadable input", [](TBuildOptions& o, auto& f) { o.inputs.push_back({f.dir.File("gone.txt"), "gone.txt"}); },
       "cannot read"},
      {"folder as input file", [](TBuildOptions& o, auto& f) { o.inputs.push_back({f.dir.File("src"), "src"}); },
       "cannot read"},
      {"engine not among files", [](TBuildOptions& o, auto&) { o.engineName = "Setup.exe"; }, "not among the files"},
      {"engine args with |", [](TBuildOptions& o, auto&) { o.engineName = "Engine.exe"; o.engineArgs = "a|b"; }, "\"|\""},
      {"volume too small for a block", [](TBuildOptions& o, auto&) { o.level = 0; o.volumeSize = 15000; },
       "too small to hold one block"},
      {"volume too small for the stub", [](TBuildOptions& o, auto&) { o.volumeSize = 1100; }, "too small for the stub"},
      {"token with |", [](TBuildOptions& o, auto&) { o.info.token = "a|b"; }, "secret token"},
      {"token with NUL", [](TBuildOptions& o, auto&) { o.info.token = std::string("a\0b", 3); }, "secret token"},
      {"info item with |", [](TBuildOptions& o, auto&) { o.info.infoFolderURL = "http://x|y"; }, "info folder URL"},
      {"download token with |", [](TBuildOptions& o, auto&) { o.download = {true, "u", "f", false, "|", "1"}; },
       "download token"},
      {"download size not a number", [](TBuildOptions& o, auto&) { o.download = {true, "u", "f", false, "", "1MB"}; },
       "download size"},
      {"download setup without URL", [](TBuildOptions& o, auto&) { o.downloadSetup = true; }, "download URL"},
      {"same name ignoring case", [](TBuildOptions& o, auto&) { o.inputs.push_back({o.inputs[1].source, "README.TXT"}); },
       "two files have the name"},
      {"bad entry name", [](TBuildOptions& o, auto&) { o.inputs[1].name = "a|b.txt"; }, "file name"},
      {"level 10", [](TBuildOptions& o, auto&) { o.level = 10; }, "compression level"},
      {"entry size 0", [](TBuildOptions& o, auto&) { o.entrySize = 0; }, "entry size"},
  };
  // The files a case may make besides the stub: its own stand-in stubs.
  auto filesNow = [this] {
    auto names = FilesInDir();
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string& n) { return n == "plain.bin" || n == "built.exe"; }),
                names.end());
    return names;
  };
  for (const TBad& c : cases) {
    TBuildOptions o = Options(StandardFiles());
    c.spoil(o, *this);
    const std::string error = Build(o);
    EXPECT_NE(error.find(c.expected), std::string::npos) << c.label << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << c.label;
    EXPECT_EQ(filesNow(), std::vector<std::string>{"stub.exe"}) << c.label;
  }
}

TEST_F(TPackBuildFixture, FailedBuildKeepsThePreviousOutput) {
  TBuildOptions o = Options(StandardFiles());
  ASSERT_EQ(Build(o), "");
  const std::string previous = ReadBytes(out);
  o.engineName = "missing.exe";
  EXPECT_NE(Build(o), "");
  EXPECT_EQ(ReadBytes(out), previous);
}
