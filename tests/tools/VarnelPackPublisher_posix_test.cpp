// varnel-pack as a publisher meets it: checked entries, clean failures and
// interruptions, its own output, names and texts in the stub's code page,
// builds that cannot work, reasons, flags, listings and the examples.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "VarnelPackRun_posix.h"
#include "package/PackWalk.h"

extern char** environ;

using namespace varnelpacktest;

namespace {

// Polls the condition every 20 ms up to the limit.
bool WaitFor(const std::function<bool()>& condition, int limitMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}

// Starts the tool without a shell between, so that a signal reaches it; stderr goes to errFile.
pid_t StartTool(const std::vector<std::string>& args, const std::string& errFile) {
  const std::string tool = testsupport::BuildPath("tools/varnel-pack/varnel-pack");
  std::vector<char*> argv{const_cast<char*>(tool.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  if (posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Headers of the entries of a setup file.
std::vector<std::string> EntryHeaders(const std::string& setup) {
  std::vector<std::string> headers;
  WalkBlocks(setup, 2, [&](const TBlockInfo& b) {
    if (!b.isInfoBlock) headers.push_back(b.header);
  });
  return headers;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST_F(TVarnelPack, TheReadmeExampleBuildsIntoFoldersThatDoNotExistYet) {
  const std::string fresh = dir.File("fresh/out/setup.exe");
  const TRun r = Run("build --stub " + Q(stub) + " -o " + Q(fresh) + " --engine Engine.exe --token T --seed 1 " +
                     Q(payload));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(TGFileInfo(fresh).Trailer().HasMagic());
  EXPECT_EQ(Run("extract " + Q(fresh) + " " + Q(dir.File("fresh/x/y"))).code, 0);
  ExpectSameTree(dir.File("fresh/x/y"));
}

TEST_F(TVarnelPack, DamageInsideAStoredFileIsCaughtAndAFailedExtractionCleansUp) {
  MakeFile(payload + "/big.bin", std::string(70000, 'b'));  // the package is too large for the volume checksum
  ASSERT_EQ(Run(BuildArgs("--level 0")).code, 0);
  int64_t middle = -1;
  WalkBlocks(setup, 2, [&](const TBlockInfo& b) {
    if (Has(b.header, "|big.bin|")) middle = b.offset + 4 + b.storedSize / 2;
  });
  ASSERT_GT(middle, 0);
  std::string image = ReadBytes(setup);
  image.replace(static_cast<size_t>(middle), 4, "\x01\x02\x03\x04");
  WriteBytes(setup, image);

  const TRun made = Run("extract " + Q(setup) + " " + Q(dir.File("new/x")));
  EXPECT_EQ(made.code, 1);
  EXPECT_EQ(LineCount(made.err), 1) << made.err;
  EXPECT_TRUE(Has(made.err, "damaged entry")) << made.err;
  EXPECT_TRUE(Has(made.err, "nothing is left of it")) << made.err;
  EXPECT_FALSE(fs::exists(dir.File("new"))) << "the folders extract made are gone";

  fs::create_directories(dir.File("existing"));
  const TRun existing = Run("extract " + Q(setup) + " " + Q(dir.File("existing")));
  EXPECT_EQ(existing.code, 1);
  EXPECT_TRUE(Has(existing.err, "1 file written before the failure is left in \"" + dir.File("existing") + "\""))
      << existing.err;
  EXPECT_TRUE(fs::exists(dir.File("existing/Engine.exe")));
  EXPECT_FALSE(fs::exists(dir.File("existing/big.bin")));
}

TEST_F(TVarnelPack, ASignalDuringABuildRemovesItsTemporaryFileAndFolders) {
  const std::string big = dir.File("bigpayload");
  MakeFile(big + "/Engine.exe", "engine");
  {
    std::ofstream zero(big + "/zero.bin");
  }
  fs::resize_file(big + "/zero.bin", uintmax_t{1} << 30);  // sparse: quick to read, long to pack at level 9
  for (int sig : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(sig);
    const std::string out = dir.File("sig/out/setup.exe"), temp = out + ".vptmp", err = dir.File("sig-err.txt");
    const pid_t pid = StartTool({"build", "--stub", stub, "-o", out, "--engine", "Engine.exe", "--level", "9", big}, err);
    ASSERT_GT(pid, 0);
    if (!WaitFor([&] { return fs::exists(temp); }, 60000)) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      FAIL() << "the build did not start writing: " << ReadBytes(err);
    }
    ASSERT_EQ(::kill(pid, sig), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "ends through the signal, status " << status;
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(dir.File("sig"))) << "the folders made for the output are gone";
    EXPECT_TRUE(Has(ReadBytes(err), "interrupted"));
  }
}

TEST_F(TVarnelPack, TheOutputInsideThePayloadIsLeftOutAndOldVolumesAreRemoved) {
  const std::string inside = payload + "/setup.exe";
  const std::string build = "build --stub " + Q(stub) + " -o " + Q(inside) + " --engine Engine.exe --seed 5 ";
  ASSERT_EQ(Run(build + Q(payload)).code, 0);
  const std::string first = ReadBytes(inside);
  const TRun second = Run(build + Q(payload));
  ASSERT_EQ(second.code, 0) << second.err;
  EXPECT_EQ(ReadBytes(inside), first) << "the old setup is not packed into the new one";
  EXPECT_TRUE(Has(second.err, "warning: left out \"" + inside + "\"")) << second.err;

  MakeFile(payload + "/big1.bin", std::string(9000, 'a'));
  ASSERT_EQ(Run(BuildArgs("--level 0 --volume-size 12K --entry-size 8K")).code, 0);
  ASSERT_TRUE(fs::exists(setup + ".003"));
  const TRun single = Run(BuildArgs());
  ASSERT_EQ(single.code, 0) << single.err;
  EXPECT_FALSE(fs::exists(setup + ".002"));
  EXPECT_FALSE(fs::exists(setup + ".003"));
  EXPECT_TRUE(Has(single.err, "removed \"" + setup + ".002\", a volume of an earlier build")) << single.err;
  const TRun inspect = Run("inspect " + Q(setup));
  EXPECT_EQ(inspect.code, 0);
  EXPECT_FALSE(Has(inspect.out, "not announced")) << inspect.out;
}

TEST_F(TVarnelPack, NamesAndTextsReachTheStubInItsCodePage) {
  MakeFile(payload + "/na\xC3\xAFve caf\xC3\xA9.txt", "accents");
  MakeFile(dir.File("lang.ini"), "[German]\ns1=Entpacken l\xC3\xA4uft...\n[Russian]\nCharset=204\n"
                                 "s1=\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\n");
  const TRun build = Run(BuildArgs("--languages " + Q(dir.File("lang.ini"))));
  ASSERT_EQ(build.code, 0) << build.err;
  EXPECT_TRUE(Has(EntryHeaders(setup)[1], "|na\xEFve caf\xE9.txt|")) << "Windows-1252 bytes";
  const std::string block = TGFileInfo(setup).LanguageBlock();
  EXPECT_TRUE(Has(block, "s1=Entpacken l\xE4uft..."));
  EXPECT_TRUE(Has(block, "\x01" "Charset=204\x01"));
  EXPECT_TRUE(Has(block, "s1=\xCF\xF0\xE8\xE2\xE5\xF2")) << "Windows-1251 bytes";
  ASSERT_EQ(Run("extract " + Q(setup) + " " + Q(dir.File("x"))).code, 0);
  EXPECT_EQ(ReadBytes(dir.File("x/na\xC3\xAFve caf\xC3\xA9.txt")), "accents") << "the UTF-8 name comes back";
  EXPECT_TRUE(Has(Run("inspect " + Q(setup)).out, "na\xC3\xAFve caf\xC3\xA9.txt"));

  const struct {
    const char* label;
    std::string file;      // payload file besides Engine.exe
    std::string language;  // languages file, or empty
    std::string extra;     // more arguments
    const char* problem;   // nullptr: builds
  } cases[] = {
      {"cyrillic name in 1252", "\xD0\x96.txt", "", "", "has no form in code page 1252"},
      {"cyrillic name in 1251", "\xD0\x96.txt", "", "--code-page 1251", nullptr},
      {"device name", "CON.txt", "", "", "device name"},
      {"name ending in a dot", "notes.", "", "", "ends in a dot or a blank"},
      {"name ending in a blank", "notes ", "", "", "ends in a dot or a blank"},
      {"cyrillic text without Charset", "a.txt", "[Russian]\ns1=\xD0\x96\n", "", "give [Russian] a Charset line"},
      {"character set without a code page", "a.txt", "[Symbols]\nCharset=2\n", "", "character set 2"},
      {"code page not supported", "a.txt", "", "--code-page 437", "code page"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove_all(payload);
    MakeFile(payload + "/Engine.exe", "engine");
    MakeFile(payload + "/" + c.file, "x");
    std::string args = c.extra;
    if (!c.language.empty()) {
      MakeFile(dir.File("case.ini"), c.language);
      args += " --languages " + Q(dir.File("case.ini"));
    }
    fs::remove(setup);
    const TRun r = Run(BuildArgs(args));
    if (!c.problem) {
      EXPECT_EQ(r.code, 0) << r.err;
      continue;
    }
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(LineCount(r.err), 1) << r.err;
    EXPECT_TRUE(Has(r.err, c.problem)) << r.err;
    EXPECT_FALSE(fs::exists(setup));
  }
}

TEST_F(TVarnelPack, BuildsTheStubCannotUseAreRefusedAndDroppedFoldersNamed) {
  const std::string base = "build --stub " + Q(stub) + " -o " + Q(setup) + " ";
  MakeFile(dir.File("p.vpp"), "[Package]\nengine-args = /x\n");
  const struct {
    const char* label;
    std::string args;
    const char* problem;
  } cases[] = {
      {"no engine", base + Q(payload), "exit code 4"},
      {"engine arguments without an engine", base + "--engine-args /x " + Q(payload), "--engine-args: engine-args without"},
      {"the same from a project file", base + "--project " + Q(dir.File("p.vpp")) + " " + Q(payload), "p.vpp:2:"},
      {"engine not among the files", base + "--engine Setup.exe " + Q(payload), "not among the files"},
  };
  for (const auto& c : cases) {
    const TRun r = Run(c.args);
    EXPECT_EQ(r.code, 1) << c.label;
    EXPECT_EQ(LineCount(r.err), 1) << c.label << ": " << r.err;
    EXPECT_TRUE(Has(r.err, c.problem)) << c.label << ": " << r.err;
    EXPECT_TRUE(OutputFiles().empty()) << c.label;
  }
  const TRun download = Run(base + "--download-setup --download-url http://d.example --download-file Full.exe");
  EXPECT_EQ(download.code, 0) << "a download stub needs no engine: " << download.err;

  fs::create_directories(payload + "/docs/empty");
  const TRun dropped = Run(BuildArgs());
  EXPECT_EQ(dropped.code, 0);
  EXPECT_TRUE(Has(dropped.err, "warning: the empty folder \"" + payload + "/docs\" is not carried")) << dropped.err;
}

TEST_F(TVarnelPack, FailuresSayWhy) {
  ASSERT_EQ(Run(BuildArgs()).code, 0);
  WriteBytes(dir.File("file"), "a file");
  const size_t whole = ReadBytes(setup).size();
  const std::string size = std::to_string(whole), cut = std::to_string(whole - 100);
  WriteBytes(dir.File("half.exe"), ReadBytes(setup).substr(0, whole - 100));
  MakeFile(payload + "/big1.bin", std::string(9000, 'a'));
  MakeFile(payload + "/big2.bin", std::string(9000, 'b'));
  const std::string spanned = dir.File("span/setup.exe");
  ASSERT_EQ(Run("build --stub " + Q(stub) + " -o " + Q(spanned) +
                " --engine Engine.exe --level 0 --volume-size 12K --entry-size 8K " + Q(payload))
                .code,
            0);
  fs::create_directories(dir.File("folder.exe"));
  const struct {
    const char* label;
    std::string args;
    std::vector<std::string> parts;
  } cases[] = {
      {"stub missing", "build --engine Engine.exe -o " + Q(dir.File("o.exe")) + " --stub " + Q(dir.File("none.exe")) +
                           " " + Q(payload),
       {"cannot read the stub", "no such file or directory"}},
      {"input missing", BuildArgs(Q(dir.File("absent"))), {"cannot read", "absent\": no such file or directory"}},
      {"output is a folder", "build --stub " + Q(stub) + " --engine Engine.exe -o " + Q(dir.File("folder.exe")) + " " +
                                 Q(payload),
       {"folder.exe\": is a folder"}},
      {"output below a file", "build --stub " + Q(stub) + " --engine Engine.exe -o " + Q(dir.File("file/s.exe")) +
                                  " " + Q(payload),
       {"\"" + dir.File("file") + "\" is a file"}},
      {"extract below a file", "extract " + Q(setup) + " " + Q(dir.File("file/sub")), {"\"" + dir.File("file") + "\" is a file"}},
      {"truncated setup", "extract " + Q(dir.File("half.exe")) + " " + Q(dir.File("h")),
       {"is truncated", "ends at byte " + size, "has " + cut + " bytes"}},
      {"inspect truncated setup", "inspect " + Q(dir.File("half.exe")), {"is truncated", "has " + cut + " bytes"}},
      {"second volume", "extract " + Q(spanned + ".002") + " " + Q(dir.File("v")),
       {"is volume 2 of a spanned package", "give its first volume, \"" + spanned + "\""}},
      {"missing project", "build --project " + Q(dir.File("none.vpp")), {"none.vpp\": no such file or directory"}},
  };
  for (const auto& c : cases) {
    const TRun r = Run(c.args);
    EXPECT_EQ(r.code, 1) << c.label;
    EXPECT_EQ(LineCount(r.err), 1) << c.label << ": " << r.err;
    EXPECT_FALSE(Has(r.err, "<P>")) << c.label << ": " << r.err;
    for (const std::string& part : c.parts) EXPECT_TRUE(Has(r.err, part)) << c.label << ": " << r.err;
  }
  EXPECT_FALSE(fs::exists(dir.File("h")));
  EXPECT_FALSE(fs::exists(dir.File("v")));
}

TEST_F(TVarnelPack, FlagsTakeOneAndZeroAsTheirValue) {
  MakeFile(dir.File("on.vpp"), "[Package]\nactivity-bar = 1\nbackground = 1\n");
  const struct {
    std::string args;
    bool activityBar;
    bool background;
  } cases[] = {
      {"--activity-bar", true, false},
      {"--activity-bar 1", true, false},
      {"--activity-bar=1", true, false},
      {"--activity-bar 0", false, false},
      {"--activity-bar=0 --background 1", false, true},
      {"--project " + Q(dir.File("on.vpp")) + " --activity-bar 0", false, true},
      {"--project " + Q(dir.File("on.vpp")) + " --background 0 --activity-bar 1", true, false},
  };
  for (const auto& c : cases) {
    fs::remove(setup);
    const TRun r = Run(BuildArgs(c.args));  // the payload folder follows the flags
    ASSERT_EQ(r.code, 0) << c.args << ": " << r.err;
    const TGFileInfo info(setup);
    EXPECT_EQ(info.ShowActivityBar(), c.activityBar) << c.args;
    EXPECT_EQ(info.BackgroundSetup(), c.background) << c.args;
    EXPECT_EQ(info.Trailer().EntryCount(), 4u) << c.args << ": no file named 1 or 0 was looked for";
  }
}

TEST_F(TVarnelPack, ListingsShowFileSizesAndVolumesInOrderAndRunsEndWithASummary) {
  MakeFile(payload + "/thirteen.txt", "thirteen byte");
  MakeFile(payload + "/big1.bin", std::string(9000, 'a'));
  MakeFile(payload + "/big2.bin", std::string(9000, 'b'));
  const TRun build = Run(BuildArgs("--level 0 --volume-size 12K --entry-size 8K -v"));
  ASSERT_EQ(build.code, 0) << build.err;
  std::vector<int> order;
  for (const std::string& line : Lines(build.out))
    if (line.rfind("volume ", 0) == 0) order.push_back(std::stoi(line.substr(7)));
  ASSERT_GE(order.size(), 3u);
  for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], static_cast<int>(i + 1)) << build.out;
  const std::string summary = Lines(build.out).back();
  EXPECT_EQ(summary.rfind("built " + setup + ": 7 files, 53,036 bytes in ", 0), 0u) << summary;
  EXPECT_TRUE(Has(summary, " in " + std::to_string(order.size()) + " volumes of ")) << summary;

  const TRun extract = Run("extract -v " + Q(setup) + " " + Q(dir.File("x")));
  ASSERT_EQ(extract.code, 0) << extract.err;
  EXPECT_EQ(Lines(extract.out).back(), "extracted 7 files, 53,036 bytes into " + dir.File("x") + ", " +
                                           Lines(extract.out).back().substr(Lines(extract.out).back().rfind(", ") + 2))
      << extract.out;

  const TRun inspect = Run("inspect " + Q(setup));
  bool seen = false;
  for (const std::string& line : Lines(inspect.out)) {
    if (!Has(line, "thirteen.txt")) continue;
    std::istringstream words(line);
    std::string date, time, inPackage, size;
    words >> date >> time >> inPackage >> size;
    EXPECT_EQ(size, "13") << line;
    seen = true;
  }
  EXPECT_TRUE(seen) << inspect.out;
}

TEST_F(TVarnelPack, TheProgressBarStartsAtZero) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "script (util-linux) not installed";
  ASSERT_EQ(Run(BuildArgs()).code, 0);
  const std::string tool = testsupport::BuildPath("tools/varnel-pack/varnel-pack");
  const std::string cmd = Q(tool) + " extract " + Q(setup) + " " + Q(dir.File("x"));
  const std::string screen = dir.File("screen.txt");
  ASSERT_EQ(std::system(("script -qec " + Q(cmd) + " /dev/null >" + Q(screen) + " 2>&1 </dev/null").c_str()), 0);
  const std::string text = ReadBytes(screen);
  std::vector<int> percents;
  for (size_t p = text.find('%'); p != std::string::npos; p = text.find('%', p + 1)) {
    size_t start = p;
    while (start > 0 && std::isdigit(static_cast<unsigned char>(text[start - 1]))) --start;
    if (start < p) percents.push_back(std::stoi(text.substr(start, p - start)));
  }
  ASSERT_FALSE(percents.empty()) << text;
  EXPECT_EQ(percents.front(), 0) << text;
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end())) << text;
  EXPECT_TRUE(Has(text, "extracted 4 files")) << "a terminal gets the summary: " << text;
}

TEST_F(TVarnelPack, VersionAndTheExampleProjectWithItsLanguages) {
  const TRun version = Run("--version");
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out.rfind("varnel-pack ", 0), 0u) << version.out;
  EXPECT_TRUE(version.out.size() > 12 && std::isdigit(static_cast<unsigned char>(version.out[12]))) << version.out;

  const std::string example = testsupport::SourcePath("examples/setup.vpp");
  const TRun r = Run("build --project " + Q(example) + " --stub " + Q(stub) + " -o " + Q(setup) + " " +
                     Q(payload + "/Engine.exe"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "") << "the examples use only keys the stub looks up";
  const TGFileInfo info(setup);
  EXPECT_TRUE(info.ShowActivityBar());
  EXPECT_EQ(info.AgentFileName(), "SampleProduct.AutoUpdate.exe");
  const std::string block = info.LanguageBlock();
  for (const char* language : {"\x01" "English\x01", "\x01German\x01", "\x01Russian\x01"})
    EXPECT_TRUE(Has(block, language)) << language;
  EXPECT_TRUE(Has(block, "Confirm=Best\xE4tigen")) << "German in Windows-1252";
  EXPECT_TRUE(Has(block, "Error=\xCE\xF8\xE8\xE1\xEA\xE0")) << "Russian in Windows-1251";
  ASSERT_EQ(Run("extract " + Q(setup) + " " + Q(dir.File("x"))).code, 0);
  EXPECT_TRUE(fs::exists(dir.File("x/docs/licence.txt")));
}
