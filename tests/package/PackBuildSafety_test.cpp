// What the builder guards against: unchecked entries, names Windows cannot
// open, its own output among its inputs, stale volumes, missing output
// folders, interruptions, and failures without a reason.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "TestSupport.h"
#include "package/PackBuild.h"
#include "package/PackWalk.h"
#include "package/PackWrite.h"
#include "package/PackX.h"
#include "package/UnPack.h"
#include "package/ZLibOpen.h"
#include "util/FileIO.h"

namespace fs = std::filesystem;
using PackBuild::TBuildOptions;
using PackBuild::TBuildReport;
using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

using testsupport::NoiseBytes;

namespace {

struct TSafety : ::testing::Test {
  TScratchDir dir;
  std::string stub = dir.File("stub.exe");
  std::string src = dir.File("src");

  void SetUp() override {
    WriteBytes(stub, testsupport::FakeStubImage(1024));
    fs::create_directories(src);
  }

  std::string Put(const std::string& name, const std::string& bytes) {
    const std::string path = src + "/" + name;
    fs::create_directories(fs::path(path).parent_path());
    WriteBytes(path, bytes);
    return path;
  }

  TBuildOptions Options(const std::string& output) const {
    TBuildOptions o;
    o.stubPath = stub;
    o.output = output;
    return o;
  }

  static std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

std::vector<std::string> EntryHeaders(const std::string& path) {
  std::vector<std::string> headers;
  WalkBlocks(path, 2, [&](const TBlockInfo& b) {
    if (!b.isInfoBlock) headers.push_back(b.header);
  });
  return headers;
}

// Offset of the middle of the last entry's content.
int64_t MiddleOfLastEntry(const std::string& path) {
  int64_t middle = -1;
  WalkBlocks(path, 2, [&](const TBlockInfo& b) { middle = b.offset + 4 + b.storedSize / 2; });
  return middle;
}

}  // namespace

TEST_F(TSafety, DamageInsideAnyEntryIsCaughtByItsZlibCheck) {
  const struct {
    const char* label;
    int level;
    std::string bytes;
  } cases[] = {
      {"level 0", 0, std::string(70000, 't')},
      {"piece that does not shrink", 9, NoiseBytes(70000, 3)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TBuildOptions o = Options(dir.File("setup.exe"));
    o.inputs = {{Put("big.bin", c.bytes), "big.bin"}};
    o.level = c.level;
    TBuildReport report;
    ASSERT_EQ(PackBuild::BuildPackage(o, report), "");
    std::vector<TBlockInfo> blocks;
    WalkBlocks(o.output, 2, [&](const TBlockInfo& b) { blocks.push_back(b); });
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_TRUE(blocks[2].compressed) << "a positive length: one zlib stream";

    // The package is too large for the volume checksum; the entry's own check must catch this.
    std::string image = ReadBytes(o.output);
    ASSERT_GT(image.size(), static_cast<size_t>(PackFormat::kChecksumLimit));
    image.replace(static_cast<size_t>(MiddleOfLastEntry(o.output)), 4, "XXXX");
    WriteBytes(o.output, image);
    TSilentUnpackHost host;
    TUnpackRequest request;
    request.setupFile = o.output;
    request.destination = dir.File(std::string("x-") + std::to_string(c.level));
    EXPECT_THROW(UnpackPackage(request, host), EZLibError);
  }
}

TEST_F(TSafety, RawStoredEntriesOfOtherWritersStillExtract) {
  TPackageWriter w;
  w.stubImage = testsupport::FakeStubImage(1024);
  w.level = 0;  // negative lengths, as other writers store
  w.AddFile("a.txt", 0, "raw stored");
  WriteBytes(dir.File("raw.exe"), w.Build());
  TSilentUnpackHost host;
  TUnpackRequest request;
  request.setupFile = dir.File("raw.exe");
  request.destination = dir.File("x");
  EXPECT_TRUE(UnpackPackage(request, host).ok);
  EXPECT_EQ(ReadBytes(dir.File("x/a.txt")), "raw stored");
}

TEST_F(TSafety, NamesAndTextsAreStoredInTheCodePage) {
  const std::string name = "docs\\na\xC3\xAFve caf\xC3\xA9.txt";  // UTF-8
  TBuildOptions o = Options(dir.File("setup.exe"));
  o.inputs = {{Put("any.txt", "x"), name}};
  o.info.agentFile = "\xC3\x84gent.exe";
  TBuildReport report;
  ASSERT_EQ(PackBuild::BuildPackage(o, report), "");
  std::vector<std::string> headers;
  WalkBlocks(o.output, 2, [&](const TBlockInfo& b) { headers.push_back(b.header); });
  ASSERT_EQ(headers.size(), 3u);
  EXPECT_EQ(headers[2].substr(0, 20), "|docs\\na\xEFve caf\xE9.txt");
  EXPECT_EQ(TGFileInfo(o.output).AgentFileName(), "\xC4gent.exe");

  TBuildOptions cyrillic = Options(dir.File("cyrillic.exe"));
  cyrillic.inputs = {{Put("any.txt", "x"), "\xD0\x96.txt"}};
  cyrillic.codePage = 1251;
  ASSERT_EQ(PackBuild::BuildPackage(cyrillic, report), "");
  EXPECT_EQ(EntryHeaders(cyrillic.output)[0].substr(0, 6), "|\xC6.txt");
  EXPECT_EQ(TGFileInfo(cyrillic.output).LanguageBlock(),
            PackWrite::LanguageBlock({{"English", {"Charset=204", "FontSize=8", "FontName=Tahoma"}}}))
      << "the stub's font follows the names' code page";

  const struct {
    const char* label;
    int codePage;
    std::string name;
    std::string agentFile;
    const char* problem;
  } refused[] = {
      {"name beyond 1251", 1251, name, ".exe", "the file name \"docs\\na\xC3\xAFve"},
      {"name not UTF-8", 1252, "caf\xE9.txt", ".exe", "is not UTF-8 text"},
      {"agent name beyond 1252", 1252, "a.txt", "\xD0\x96.exe", "the agent file name"},
      {"separator byte", 932, "\xE8\xA1\xA8.txt", ".exe", "with a \"\\\" byte"},
      {"unsupported page", 65001, "a.txt", ".exe", "code page 65001 is not supported"},
  };
  for (const auto& c : refused) {
    TBuildOptions bad = Options(dir.File("bad.exe"));
    bad.inputs = {{Put("any.txt", "x"), c.name}};
    bad.codePage = c.codePage;
    bad.info.agentFile = c.agentFile;
    const std::string error = PackBuild::BuildPackage(bad, report);
    EXPECT_NE(error.find(c.problem), std::string::npos) << c.label << ": " << error;
    EXPECT_FALSE(fs::exists(dir.File("bad.exe"))) << c.label;
  }
}

TEST_F(TSafety, MissingOutputFoldersAreMadeAndRemovedAgainOnFailure) {
  TBuildOptions o = Options(dir.File("out/deep/setup.exe"));
  o.inputs = {{Put("a.txt", "a"), "a.txt"}};
  o.engineName = "missing.exe";
  TBuildReport report;
  EXPECT_NE(PackBuild::BuildPackage(o, report), "");
  EXPECT_FALSE(fs::exists(dir.File("out"))) << "no folder made for a failed build";
  o.engineName.clear();
  o.level = 0;
  o.volumeSize = 1400;  // fails once the output folder exists
  o.inputs = {{Put("b.bin", NoiseBytes(3000, 1)), "b.bin"}};
  EXPECT_NE(PackBuild::BuildPackage(o, report).find("too small"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.File("out")));

  o.volumeSize = 0;
  ASSERT_EQ(PackBuild::BuildPackage(o, report), "");
  EXPECT_TRUE(TGFileInfo(dir.File("out/deep/setup.exe")).Trailer().HasMagic());

  WriteBytes(dir.File("file"), "in the way");
  o.output = dir.File("file/setup.exe");
  const std::string error = PackBuild::BuildPackage(o, report);
  EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
  EXPECT_NE(error.find("file\" is a file"), std::string::npos) << "with the reason: " << error;
}

TEST_F(TSafety, TheOutputInsideAnInputFolderIsLeftOutAndOldVolumesGo) {
  Put("Engine.exe", "engine");
  Put("data.bin", NoiseBytes(13000, 2));
  const std::string output = src + "/setup.exe";
  auto build = [&](uint64_t volumeSize, TBuildReport& report) {
    TBuildOptions o = Options(output);
    EXPECT_EQ(PackBuild::CollectInputs({src}, o.inputs), "");
    o.engineName = "Engine.exe";
    o.level = 0;
    o.entrySize = 4000;
    o.volumeSize = volumeSize;
    return PackBuild::BuildPackage(o, report);
  };
  TBuildReport report;
  ASSERT_EQ(build(6000, report), "");
  ASSERT_EQ(report.volumes.size(), 3u);
  const std::string firstBuild = ReadBytes(output);

  ASSERT_EQ(build(6000, report), "");
  EXPECT_EQ(ReadBytes(output), firstBuild) << "the second build carries the same files";
  EXPECT_EQ(report.files, 2u);
  EXPECT_EQ(report.warnings.size(), 3u) << "the output and its two volumes are left out";

  ASSERT_EQ(build(0, report), "");
  EXPECT_EQ(report.volumes.size(), 1u);
  EXPECT_FALSE(fs::exists(output + ".002"));
  EXPECT_FALSE(fs::exists(output + ".003"));
  std::set<std::string> removed;
  for (const std::string& w : report.warnings)
    if (w.rfind("removed ", 0) == 0) removed.insert(w);
  EXPECT_EQ(removed.size(), 2u);
  EXPECT_EQ(Names(src), (std::vector<std::string>{"Engine.exe", "data.bin", "setup.exe"}));
}

TEST_F(TSafety, AnInterruptedBuildRemovesItsTemporaryFiles) {
  TBuildOptions o = Options(dir.File("out/setup.exe"));
  for (int i = 0; i < 6; ++i) o.inputs.push_back({Put("f" + std::to_string(i), NoiseBytes(5000, i)), "f" + std::to_string(i)});
  o.volumeSize = 8000;
  std::set<std::string> live;
  int polls = 0;
  o.onTempFile = [&](const std::string& path, bool exists) {
    if (exists)
      live.insert(path);
    else
      live.erase(path);
  };
  o.interrupted = [&] { return ++polls > 4; };  // in the middle of the second volume
  TBuildReport report;
  EXPECT_EQ(PackBuild::BuildPackage(o, report), "interrupted");
  EXPECT_TRUE(live.empty()) << "every temporary file is told gone";
  EXPECT_FALSE(fs::exists(dir.File("out"))) << "nothing left, not even the folder";
}

TEST_F(TSafety, EmptyFoldersAndFolderLinksAreNamedAndReadFailuresGiveTheReason) {
  Put("a.txt", "a");
  fs::create_directories(src + "/empty/deeper");
  fs::create_directories(src + "/full/none");
  Put("full/b.txt", "b");
  std::error_code noLinks;  // wine has no folder links
  fs::create_directory_symlink(src + "/full", src + "/link", noLinks);
  fs::create_directories(dir.File("nothing/inside"));
  std::vector<PackBuild::TInput> inputs;
  std::vector<std::string> warnings;
  ASSERT_EQ(PackBuild::CollectInputs({src, dir.File("nothing")}, inputs, &warnings), "");
  EXPECT_EQ(inputs.size(), 2u);
  ASSERT_EQ(warnings.size(), noLinks ? 3u : 4u);
  std::vector<std::pair<std::string, std::string>> expected = {
      {"the empty folder", "empty\""}, {"the empty folder", "none\""}, {"holds no files", "nothing\""}};
  if (!noLinks) expected.push_back({"the link", "link\""});
  for (const auto& [phrase, subject] : expected) {
    const bool found = std::any_of(warnings.begin(), warnings.end(), [&](const std::string& w) {
      return w.find(phrase) != std::string::npos && w.find(subject) != std::string::npos;
    });
    EXPECT_TRUE(found) << phrase << " " << subject;
  }
  // The system's own words differ between systems; POSIX ones are known.
#ifdef _WIN32
  const char* kMissing = "\": ";
  const char* kBelowFile = "\": ";
#else
  const char* kMissing = "\": no such file or directory";
  const char* kBelowFile = "\": not a directory";
#endif
  const std::string missing = PackBuild::CollectInputs({dir.File("absent")}, inputs);
  EXPECT_NE(missing.find(kMissing), std::string::npos) << missing;
  const std::string belowFile = PackBuild::CollectInputs({src + "/a.txt/x"}, inputs);
  EXPECT_NE(belowFile.find(kBelowFile), std::string::npos) << belowFile;

  TBuildOptions o = Options(dir.File("setup.exe"));
  o.stubPath = dir.File("absent.exe");
  TBuildReport report;
  o.inputs = {{src + "/a.txt", "a.txt"}};
  const std::string noStub = PackBuild::BuildPackage(o, report);
  EXPECT_NE(noStub.find(kMissing), std::string::npos) << noStub;
  o.stubPath = src;
  EXPECT_NE(PackBuild::BuildPackage(o, report).find("\": is a folder"), std::string::npos);
}

TEST(PackBuildNames, DeviceNamesAndTrailingDotsOrBlanksAreRefused) {
  const struct {
    const char* name;
    const char* problem;  // nullptr: carried
  } cases[] = {
      {"CONSOLE.txt", nullptr}, {"COM10", nullptr},       {"nul-free.txt", nullptr}, {"a.b.c", nullptr},
      {"dir\\com", nullptr},    {"LPT.txt", nullptr},     {"CON", "device name"},    {"con.txt", "device name"},
      {"dir\\NUL", "device name"}, {"COM1.log", "device name"}, {"lpt9", "device name"},
      {"COM\xC2\xB9.txt", "device name"}, {"aux .txt", "device name"}, {"conin$", "device name"},
      {"name.", "ends in a dot or a blank"}, {"name ", "ends in a dot or a blank"},
      {"dir.\\x", "ends in a dot or a blank"}, {"dir \\x", "ends in a dot or a blank"},
  };
  for (const auto& c : cases) {
    const std::string problem = PackBuild::EntryNameProblem(c.name);
    if (c.problem)
      EXPECT_NE(problem.find(c.problem), std::string::npos) << c.name << ": " << problem;
    else
      EXPECT_EQ(problem, "") << c.name;
  }
}

TEST(PackBuildNames, OutputFileNames) {
  const struct {
    const char* file;
    const char* output;
    bool own;
  } cases[] = {
      {"setup.exe", "setup.exe", true},          {"SETUP.EXE", "setup.exe", true},
      {"setup.exe.002", "setup.exe", true},      {"setup.exe.001", "setup.exe", true},
      {"setup.exe.vptmp", "setup.exe", true},    {"setup.exe.014.vptmp", "setup.exe", true},
      {"setup.exe.002", "setup.exe.001", true},  {"setup.exe", "setup.exe.001", true},
      {"setup.exe.02", "setup.exe", false},      {"setup.exe.0021", "setup.exe", false},
      {"setup.exe.abc", "setup.exe", false},     {"setup.exe.txt", "setup.exe", false},
      {"other.exe", "setup.exe", false},         {"setup.ex", "setup.exe", false},
  };
  for (const auto& c : cases) EXPECT_EQ(PackBuild::IsOutputFileName(c.file, c.output), c.own) << c.file << " / " << c.output;
}

TEST(PackBuildNames, ReasonPhrases) {
  const std::pair<const char*, const char*> cases[] = {
      {"No such file or directory", "no such file or directory"},
      {"Permission denied", "permission denied"},
      {"The system cannot find the file specified.\r\n", "the system cannot find the file specified"},
      {"EOF reached", "EOF reached"},
      {"", "unknown reason"},
  };
  for (const auto& [text, phrase] : cases) EXPECT_EQ(PackBuild::ReasonPhrase(text), phrase) << text;
}
