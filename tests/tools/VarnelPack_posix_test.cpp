// The varnel-pack tool as a user runs it: exit codes, messages, project
// files, volumes, signing and the stub's unpacker on what it builds.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "TestSupport.h"
#include "VarnelPackRun_posix.h"
#include "package/PackWrite.h"
#include "package/PackX.h"
#include "util/FileIO.h"
#include "util/SysText.h"

using namespace varnelpacktest;

TEST_F(TVarnelPack, EveryCommandHasHelp) {
  for (const char* command : {"--help", "build --help", "inspect --help", "extract --help", "token --help",
                              "scramble --help", "sample --help"}) {
    const TRun r = Run(command);
    EXPECT_EQ(r.code, 0) << command;
    EXPECT_GT(LineCount(r.out), 2) << command;
    EXPECT_EQ(r.err, "") << command;
  }
  const std::string help = Run("build --help").out;
  for (const char* key : {"stub", "output", "engine-args", "languages", "volume-size", "entry-size", "token",
                          "download-token", "carries-agent", "[Files]", "BtnText"})
    EXPECT_NE(help.find(key), std::string::npos) << key;
}

TEST_F(TVarnelPack, BuildIsQuietAndInspectAndExtractReadItBack) {
  const TRun build = Run(BuildArgs("--activity-bar --info-url http://u.example/ --agent-file Agent.exe"));
  ASSERT_EQ(build.code, 0) << build.err;
  EXPECT_EQ(build.out, "");
  EXPECT_EQ(build.err, "");

  const TGFileInfo info(setup);
  EXPECT_EQ(info.Trailer().EntryCount(), 4u);
  EXPECT_TRUE(info.ShowActivityBar());
  EXPECT_EQ(info.SecretToken(true), "Tok-42");
  EXPECT_EQ(info.AgentFileName(), "Agent.exe");

  const TRun inspect = Run("inspect " + Q(setup));
  EXPECT_EQ(inspect.code, 0) << inspect.err;
  for (const char* part : {"secret token:         Tok-42", "activity bar:         yes", "Engine.exe*  [engine]",
                           "notes.txt", "2025-07-14 08:15:42", "(matches)"})
    EXPECT_NE(inspect.out.find(part), std::string::npos) << part << "\n" << inspect.out;
  const TRun json = Run("inspect --json " + Q(setup));
  EXPECT_EQ(json.code, 0);
  for (const char* part : {"\"entryCount\":4", "\"secretToken\":\"Tok-42\"", "\"name\":\"Engine.exe*\"",
                           "\"engine\":true", "\"checksumStatus\":\"matches\"", "\"problems\":[]"})
    EXPECT_NE(json.out.find(part), std::string::npos) << part << "\n" << json.out;

  const TRun extract = Run("extract " + Q(setup) + " " + Q(dir.File("x")));
  ASSERT_EQ(extract.code, 0) << extract.err;
  EXPECT_EQ(extract.out + extract.err, "");
  ExpectSameTree(dir.File("x"));
  const TRun again = Run("extract " + Q(setup) + " " + Q(dir.File("x")));
  EXPECT_NE(again.code, 0);
  EXPECT_NE(again.err.find("not empty"), std::string::npos);
}

TEST_F(TVarnelPack, ProjectFileAndOptionsGiveTheSameBytes) {
  MakeFile(dir.File("lang.ini"), "[English]\ns1=Unpacking...\n[German]\nFontName=Arial\ns1=Entpacken...\n");
  const std::string options =
      "--languages " + Q(dir.File("lang.ini")) + " --level 9 --entry-size 10K --engine-args ' /L=1'" +
      " --temp-drive-notice --copy-to-temp --agent-trace-log --carries-agent --background" +
      " --info-file P.info --download-url http://d.example --download-file Full.exe --always-download" +
      " --download-token DL --download-size 777 --ask-before-download";
  ASSERT_EQ(Run(BuildArgs(options)).code, 0);
  const std::string byOptions = ReadBytes(setup);

  MakeFile(dir.File("proj/setup.vpp"),
           "; the same settings as a project file\n"
           "[Package]\n"
           "stub = ../stub.exe\noutput = ../out/setup.exe\nengine = Engine.exe\nengine-args =  /L=1\n"
           "token = Tok-42\nseed = 5\nlanguages = ../lang.ini\nlevel = 9\nentry-size = 10K\n"
           "temp-drive-notice = 1\ncopy-to-temp = yes\nagent-trace-log = true\ncarries-agent = 1\nbackground = 1\n"
           "info-file = P.info\ndownload-url = http://d.example\ndownload-file = Full.exe\nalways-download = 1\n"
           "download-token = DL\ndownload-size = 777\nask-before-download = 1\n"
           "[Files]\n../payload\n");
  fs::remove(setup);
  const TRun byProject = Run("build --project " + Q(dir.File("proj/setup.vpp")));
  ASSERT_EQ(byProject.code, 0) << byProject.err;
  EXPECT_EQ(ReadBytes(setup), byOptions);

  const TGFileInfo info(setup);
  EXPECT_EQ(info.LanguageBlock(),
            PackWrite::LanguageBlock({{"English", {"Charset=0", "FontSize=8", "FontName=Tahoma", "s1=Unpacking..."}},
                                      {"German", {"Charset=0", "FontSize=8", "FontName=Arial", "s1=Entpacken..."}}}));
  EXPECT_EQ(info.DownloadToken(true), "DL");
  EXPECT_TRUE(info.TempDriveNotice() && info.CopyToTemp() && info.AgentTraceLog() && info.CarriesAgent());
  EXPECT_TRUE(info.AskBeforeDownload() && info.AlwaysDownload() && info.BackgroundSetup());
  EXPECT_FALSE(info.DownloadSetup());

  // The command line overrides the project file.
  const TRun overridden = Run("build --project " + Q(dir.File("proj/setup.vpp")) + " --level 0 --background=0");
  ASSERT_EQ(overridden.code, 0) << overridden.err;
  EXPECT_FALSE(TGFileInfo(setup).BackgroundSetup());
  EXPECT_GT(ReadBytes(setup).size(), byOptions.size());
}

TEST_F(TVarnelPack, UnknownLanguageKeysWarnButBuild) {
  MakeFile(dir.File("lang.ini"), "[English]\ns9=nothing looks this up\n");
  const TRun r = Run(BuildArgs("--languages " + Q(dir.File("lang.ini"))));
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.err.find("warning"), std::string::npos);
  EXPECT_NE(r.err.find("s9"), std::string::npos);
}

TEST_F(TVarnelPack, VolumesAreInspectedAndExtractedAndAMissingOneIsAnError) {
  MakeFile(payload + "/big1.bin", std::string(9000, 'a'));
  MakeFile(payload + "/big2.bin", std::string(9000, 'b'));
  const TRun build = Run(BuildArgs("--level 0 --volume-size 12K --entry-size 8K --first-volume-file -v"));
  ASSERT_EQ(build.code, 0) << build.err;
  EXPECT_NE(build.out.find("volume 2:"), std::string::npos) << build.out;
  const std::string first = setup + ".001";
  ASSERT_TRUE(fs::exists(first));
  EXPECT_FALSE(fs::exists(setup));
  int volumes = 1;
  while (fs::exists(PackFormat::VolumeName(first, volumes + 1))) ++volumes;
  EXPECT_GE(volumes, 4);

  const TRun inspect = Run("inspect " + Q(first));
  EXPECT_EQ(inspect.code, 0) << inspect.err;
  EXPECT_NE(inspect.out.find("volumes:              " + std::to_string(volumes)), std::string::npos) << inspect.out;
  ASSERT_EQ(Run("extract " + Q(first) + " " + Q(dir.File("x"))).code, 0);
  for (const char* name : {"Engine.exe", "readme.txt", "values.bin", "notes.txt", "big1.bin", "big2.bin"})
    EXPECT_TRUE(ReadBytes(dir.File("x/") + name) == ReadBytes(payload + "/" + name)) << name;

  fs::remove(PackFormat::VolumeName(first, 3));
  const TRun missing = Run("extract " + Q(first) + " " + Q(dir.File("y")));
  EXPECT_NE(missing.code, 0);
  EXPECT_EQ(LineCount(missing.err), 1);
  EXPECT_NE(missing.err.find(".003"), std::string::npos) << missing.err;
  const TRun inspectMissing = Run("inspect " + Q(first));
  EXPECT_NE(inspectMissing.code, 0);
  EXPECT_NE(inspectMissing.err.find("missing"), std::string::npos);
}

TEST_F(TVarnelPack, BadInputGivesOneMessageAndNoOutput) {
  WriteBytes(dir.File("plain.exe"), std::string(700, 'p'));
  MakeFile(dir.File("twins/A.txt"), "upper");
  MakeFile(dir.File("twins/a.txt"), "lower");
  const std::string base = "build -o " + Q(setup) + " --engine Engine.exe ";
  const std::string withStub = base + "--stub " + Q(stub) + " ";
  const struct {
    const char* label;
    std::string args;
    const char* expected;
  } cases[] = {
      {"no stub", base + Q(payload), "no stub"},
      {"no output", "build --stub " + Q(stub) + " " + Q(payload), "no output"},
      {"no files", withStub, "no files"},
      {"stub missing", base + "--stub " + Q(dir.File("none.exe")) + " " + Q(payload), "cannot read"},
      {"stub not PE", base + "--stub " + Q(dir.File("plain.exe")) + " " + Q(payload), "not a stub"},
      {"unreadable input", withStub + Q(dir.File("absent")), "cannot read"},
      {"engine not among files", withStub + "--engine Setup.exe " + Q(payload), "not among the files"},
      {"volume too small", withStub + "--level 0 --volume-size 8K " + Q(payload), "too small"},
      {"token with |", withStub + "--token 'a|b' " + Q(payload), "secret token"},
      {"info item with |", withStub + "--info-file 'x|y' " + Q(payload), "information file"},
      {"same name ignoring case", withStub + Q(dir.File("twins")), "two files"},
      {"bad level", withStub + "--level 12 " + Q(payload), "level"},
      {"bad size", withStub + "--volume-size 3X " + Q(payload), "volume-size"},
      {"unknown option", withStub + "--colour " + Q(payload), "unknown option"},
      {"missing languages", withStub + "--languages " + Q(dir.File("nolang.ini")) + " " + Q(payload), "cannot read"},
      {"missing project", "build --project " + Q(dir.File("none.vpp")), "cannot read"},
  };
  for (const auto& c : cases) {
    const TRun r = Run(c.args);
    EXPECT_NE(r.code, 0) << c.label;
    EXPECT_EQ(LineCount(r.err), 1) << c.label << ": " << r.err;
    EXPECT_EQ(r.err.rfind("varnel-pack: ", 0), 0u) << c.label << ": " << r.err;
    EXPECT_NE(r.err.find(c.expected), std::string::npos) << c.label << ": " << r.err;
    EXPECT_EQ(r.out, "") << c.label;
    EXPECT_TRUE(OutputFiles().empty()) << c.label;
  }
  for (const char* args : {"inspect", "extract x", "token", "nonsense"}) {
    const TRun r = Run(args);
    EXPECT_NE(r.code, 0) << args;
    EXPECT_EQ(LineCount(r.err), 1) << args << ": " << r.err;
  }
}

TEST_F(TVarnelPack, SignedSetupIsStillReadThroughItsPackageEnd) {
  if (std::system("command -v osslsigncode >/dev/null 2>&1 && command -v openssl >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "osslsigncode or openssl not installed";
  WriteBytes(stub, MinimalPeImage());
  ASSERT_EQ(Run(BuildArgs()).code, 0);
  const std::string key = dir.File("key.pem"), cert = dir.File("cert.pem"), signedExe = dir.File("signed.exe");
  const std::string sign = "openssl req -x509 -newkey rsa:2048 -nodes -keyout " + Q(key) + " -out " + Q(cert) +
                           " -days 2 -subj /CN=VarnelTest >/dev/null 2>&1 && osslsigncode sign -certs " + Q(cert) +
                           " -key " + Q(key) + " -in " + Q(setup) + " -out " + Q(signedExe) + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(sign.c_str()), 0);
  const std::string unsignedBytes = ReadBytes(setup), signedBytes = ReadBytes(signedExe);
  ASSERT_GT(signedBytes.size(), unsignedBytes.size() + 500);  // the signature follows the package

  const TGFileInfo plain(setup), signedInfo(signedExe);
  EXPECT_EQ(signedInfo.Trailer().bytes, plain.Trailer().bytes);
  EXPECT_EQ(signedInfo.LanguageBlock(), plain.LanguageBlock());
  EXPECT_EQ(signedInfo.PackageInfoBlock(), plain.PackageInfoBlock());
  EXPECT_EQ(signedInfo.SecretToken(true), "Tok-42");
  EXPECT_EQ(Run("inspect " + Q(signedExe)).code, 0);
  const TRun extract = Run("extract " + Q(signedExe) + " " + Q(dir.File("x")));
  ASSERT_EQ(extract.code, 0) << extract.err;
  ExpectSameTree(dir.File("x"));
}

TEST_F(TVarnelPack, SameSeedSameBytes) {
  ASSERT_EQ(Run(BuildArgs()).code, 0);
  const std::string first = ReadBytes(setup);
  ASSERT_EQ(Run(BuildArgs()).code, 0);
  EXPECT_EQ(ReadBytes(setup), first);
}

TEST_F(TVarnelPack, TokenPrintsTheStoredForm) {
  const TRun r = Run("token --seed 3 'My Token'");
  ASSERT_EQ(r.code, 0);
  ASSERT_EQ(LineCount(r.out), 1);
  const std::string stored = r.out.substr(0, r.out.size() - 1);
  EXPECT_EQ(UnscrambleToken(stored), "My Token");
  EXPECT_EQ(Run("token --seed 3 'My Token'").out, r.out);
  const TRun bad = Run("token 'a|b'");
  EXPECT_NE(bad.code, 0);
  EXPECT_EQ(LineCount(bad.err), 1);
}

TEST_F(TVarnelPack, ScrambleWritesWhatTheInformReaderUnscrambles) {
  const std::string text = "0|stored-token|2|3|<B>New release</B><P>with | inside\r\n\xE9t\xE9";
  MakeFile(dir.File("inform.txt"), text);
  const std::string out = dir.File("inform.scr");
  const TRun r = Run("scramble -o " + Q(out) + " " + Q(dir.File("inform.txt")));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");
  const std::string scrambled = ReadBytes(out);
  EXPECT_EQ(scrambled.rfind("Scrambled=01", 0), 0u);
  EXPECT_EQ(scrambled.size(), text.size() + 13);
  EXPECT_EQ(ScrambleText(scrambled, false), text);

  const TRun hex = Run("scramble --hex --seed 9 " + Q(dir.File("inform.txt")));
  ASSERT_EQ(hex.code, 0) << hex.err;
  EXPECT_EQ(ScrambleText(hex.out, false, true), text);
  EXPECT_EQ(Run("scramble --hex --seed 9 " + Q(dir.File("inform.txt"))).out, hex.out);

  const TRun stdoutForm = Run("scramble " + Q(dir.File("inform.txt")));
  EXPECT_EQ(ScrambleText(stdoutForm.out, false), text);

  for (const std::string& bad : {"scramble " + Q(out), "scramble " + Q(dir.File("none.txt"))}) {
    const TRun failed = Run(bad);
    EXPECT_NE(failed.code, 0) << bad;
    EXPECT_EQ(LineCount(failed.err), 1) << bad;
  }
}
