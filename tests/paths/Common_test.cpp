#include "paths/Common.h"

#include <gtest/gtest.h>

#include <chrono>

#include "FakePathSystem.h"
#include "paths/RunTimeDir.h"

namespace {

constexpr char kShellFolders[] =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

struct TCase {
  const char* text;
  const char* expected;
};

class MacroTest : public ::testing::Test {
 protected:
  MacroTest() {
    hooks.applicationFolder = "C:\\Program Files\\App";
    hooks.commonFolder = "C:\\Common";
    hooks.auxiliaryFolder = "E:\\Aux";
  }
  std::string Expand(const std::string& text, bool resolve = true, bool dirs = true, bool user = true,
                     const std::string& suffix = "\\") {
    return ExpandMacrosWith(sys, hooks, text, suffix, resolve, dirs, user);
  }
  void Check(const TCase* cases, size_t count) {
    for (size_t i = 0; i < count; ++i) EXPECT_EQ(cases[i].expected, Expand(cases[i].text)) << cases[i].text;
  }
  TFakePathSystem sys;
  TMacroHooks hooks;
};

#define CHECK_TABLE(table) Check(table, sizeof(table) / sizeof(table[0]))

TEST_F(MacroTest, NamesAndFixedValues) {
  const TCase cases[] = {
      {"<LoggedUserName>", "jdoe"},          {"<UserName>", "Jane Doe"},
      {"<CompanyName>", "Acme"},             {"<ComputerName>", "BOX1"},
      {"<CurrentDomainName>", "WORK"},       {"<LastExecutableExitCode>", "0"},
      {"<ReqFreeDiskSpaceMB>", "0"},         {"<uSeRnAmE>/<COMPUTERNAME>", "Jane Doe/BOX1"},
      {"<EnteredUserName>x", "x"},           {"<EnteredCompanyName><EnteredStartProgramMenu>", ""},
      {"<VendorCompanyName><ProjectName><ProgramDescriptiveName>", ""},
      {"<ProgramVersion><SelectedLanguage><UnInstallExePath>", ""},
      {"a <UserName> b <UserName>", "a Jane Doe b Jane Doe"},
  };
  CHECK_TABLE(cases);
}

TEST_F(MacroTest, HooksOfAnEngine) {
  hooks.lastExitCode = -3;
  hooks.requiredFreeBytes = 5 * 1048576 + 1000;
  hooks.enteredValue = [](const std::string& name) { return name == "ProjectName" ? std::string("Proj") : ""; };
  hooks.userMacros = "|<Mine>=C:\\M|<Empty>=|";
  const TCase cases[] = {
      {"<LastExecutableExitCode>", "-3"}, {"<ReqFreeDiskSpaceMB>", "5"},
      {"<ProjectName> <ProgramVersion>", "Proj "}, {"<Mine>\\x", "C:\\M\\x"},
      {"<mine>", "C:\\M"}, {"<Empty>a", "a"}, {"<Other>", "<Other>"}, {"<Mine", "<Mine"},
  };
  CHECK_TABLE(cases);
  EXPECT_EQ("<Mine>", Expand("<Mine>", true, true, false));
}

TEST_F(MacroTest, DirectoryReplacementRule) {
  const TCase cases[] = {
      {"<InstallDir>app.exe", "C:\\Program Files\\App\\app.exe"},
      {"<InstallDir>\\app.exe", "C:\\Program Files\\App\\app.exe"},
      {"<InstallDir>", "C:\\Program Files\\App"},
      {"<installdir>", "C:\\Program Files\\App"},
      {"<InstallDir>\\", "C:\\Program Files\\App\\"},
      {"<InstallDir> /x", "C:\\Program Files\\App /x"},
      {"|<InstallDir>|<InstallCommonDir>|", "|C:\\Program Files\\App|C:\\Common|"},
      {",<InstallAuxDir>,", ",E:\\Aux,"},
      {"\"<InstallDir>\"", "\"C:\\Program Files\\App\""},
      {"|<InstallDir>|<InstallDir>a|", "|C:\\Program Files\\App|C:\\Program Files\\App\\a|"},
      {"<WinDir>x<WinDir>", "C:\\Windows\\xC:\\Windows"},
      {"a<InstallDir>a", "aC:\\Program Files\\App\\a"},
  };
  CHECK_TABLE(cases);
  EXPECT_EQ("C:\\Windows/x", Expand("<WinDir>x", true, true, true, "/"));
}

TEST_F(MacroTest, LegacyFoldersDropTheInstallMacros) {
  const TCase cases[] = {
      {"<Application Folder>\\<InstallDir>x.exe", "C:\\Program Files\\App\\x.exe"},
      {"<Common Folder>;<InstallCommonDir>;<InstallAuxDir>", "C:\\Common\\;;"},
      {"<Auxiliary Folder>", "E:\\Aux"},
      {"<Windows Directory>x", "C:\\Windows\\x"},
      {"<System Directory>", "C:\\Windows\\System32"},
      {"<RunTimeDir_1><InstallDir>a", "a"},
      {"<RunTimeDir_8>", ""},
      {"<RunTimeDir_2>\\x", "\\x"},
      // An entered uninstaller path is not a legacy folder.
      {"<UnInstallExePath><InstallDir>a", "C:\\Program Files\\App\\a"},
      {"<AbsoluteDir>C:\\x", "C:\\x"},
      {"<RunTimeDir_9>", "<RunTimeDir_9>"},
  };
  CHECK_TABLE(cases);
}

TEST_F(MacroTest, SystemFoldersDrivesAndRegistry) {
  sys.registry[std::string(kShellFolders) + "|Start Menu"] = "C:\\Menu\\";
  sys.registry["HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion|ProgramFilesDir"] = "C:\\PF";
  sys.registry["HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion|CommonFilesDir"] = "C:\\PF\\Common";
  const TCase cases[] = {
      {"<WinDir>", "C:\\Windows"},        {"<WinSysDir>", "C:\\Windows\\System32"},
      {"<WinSys32Dir>x", "C:\\Windows\\System32\\x"},
      {"<InstallDrive>", "C:\\"},         {"<InstallDisk>", "C:"},
      {"<WinDrive>x", "C:\\x"},           {"<WinDisk>", "C:"},
      {"<WinSysDrive>", "C:\\"},          {"<WinSysDisk>", "C:"},
      {"<OriginDrive>", "D:\\"},          {"<OriginDisk>", "D:"},
      {"<StartMenuDir>a", "C:\\Menu\\a"}, {"<ProgramFilesDir>", "C:\\PF"},
      {"<CommonFilesDir>", "C:\\PF\\Common"},
      {"<FontDir>", "C:\\Windows\\Fonts"},
      {"<SrcDir>a.exe", "C:\\Agent\\a.exe"}, {"<OriginDir>", "D:\\Setup"},
      {"<TempDir>t", "C:\\Temp\\t"},     {"<ServiceDir>", "C:\\Agent"},
  };
  CHECK_TABLE(cases);
  sys.registry[std::string(kShellFolders) + "|Fonts"] = "D:\\Fonts";
  EXPECT_EQ("C:\\Windows\\Fonts", Expand("<FontDir>"));  // listed but missing
  sys.dirs.insert("D:\\Fonts");
  EXPECT_EQ("D:\\Fonts", Expand("<FontDir>"));
}

TEST_F(MacroTest, MissingRegistryValuesGiveEmptyFolders) {
  EXPECT_EQ("x", Expand("<ProgramFilesDir>x"));
  EXPECT_EQ("\\x", Expand("<StartMenuDir>\\x"));
}

TEST_F(MacroTest, SixteenBitSystemFolder) {
  EXPECT_EQ("C:\\Windows\\System32", Expand("<WinSys16Dir>"));
  sys.dirs.insert("C:\\Windows\\System");
  EXPECT_EQ("C:\\Windows\\System", Expand("<System16 Directory>"));
  sys.system = "C:\\Win\\Sys32";
  sys.dirs.insert("C:\\Win\\Sys");
  EXPECT_EQ("C:\\Win\\Sys", Expand("<WinSys16Dir>"));
}

TEST_F(MacroTest, ServiceFolderFromTheServiceList) {
  hooks.serviceExes = "|C:\\Svc1\\a.exe|C:\\\\Svc2\\b.exe|";
  EXPECT_EQ("C:\\Svc2\\b.exe", Expand("<ServiceDir>\\b.exe"));
  EXPECT_EQ("C:\\Svc1\\A.EXE", Expand("<ServiceDir>A.EXE"));
  EXPECT_EQ("C:\\Agent\\c.exe", Expand("<ServiceDir>c.exe"));
  hooks.serviceExes = "||";
  EXPECT_EQ("C:\\Agent\\b.exe", Expand("<ServiceDir>b.exe"));
}

TEST_F(MacroTest, Dates) {
  const TCase cases[] = {
      {"<Date=#>", "05.December.2026"}, {"<Date=0>", "9835"},
      {"<Date=1>", "05-12-26"},         {"<Date=2>", "12-05-26"},
      {"<Date=3>", "26-12-05"},         {"<Date=4>", "05-12-2026"},
      {"<Date=5>", "12-05-2026"},       {"<Date=6>", "2026-12-05"},
      {"<Date=7>", "2026-12-05 14:03:09"},
      {"log<date=6>.txt", "log2026-12-05.txt"},
      {"<Date=6><Date=1>", "2026-12-05<Date=1>"},
      {"<Date=9>", "<Date=9>"},
      {"<Date=9><Date=6>", "<Date=9><Date=6>"},
      {"<Date=", "<Date="},             {"<Date=6", "<Date=6"},
      {"<Date=>", "<Date=>"},           {"<Date=6x>", "<Date=6x>"},
  };
  CHECK_TABLE(cases);
  sys.now = {1999, 12, 31, 23, 0, 0};
  EXPECT_EQ("0", Expand("<Date=0>"));
  sys.now = {1999, 12, 30, 0, 0, 0};
  EXPECT_EQ("2", Expand("<Date=0>"));
}

TEST_F(MacroTest, MalformedTextsStayAsTheyAre) {
  const TCase cases[] = {
      {"", ""}, {"<", "<"}, {">", ">"}, {"<>", "<>"}, {"<<<", "<<<"}, {"a<b", "a<b"},
      {"<Unknown>", "<Unknown>"}, {"<InstallDir", "<InstallDir"}, {"InstallDir>", "InstallDir>"},
      {"C:\\a\\\\b<x>", "C:\\a\\\\b<x>"},  // nothing expanded: nothing collapsed
  };
  CHECK_TABLE(cases);
}

TEST_F(MacroTest, DoubledBackslashesCollapseAfterDirectories) {
  const TCase cases[] = {
      {"<WinDir>\\\\x", "C:\\Windows\\x"},
      {"\\\\srv\\share\\\\<AbsoluteDir>x", "\\\\srv\\share\\x"},
      {"<TempDir>\\\\\\a\\\\b\\", "C:\\Temp\\a\\b\\"},
  };
  CHECK_TABLE(cases);
}

TEST_F(MacroTest, RelativePartsResolve) {
  const TCase cases[] = {
      {"C:\\a\\..\\b", "C:\\b"},
      {"..\\x", "C:\\x"},
      {"<InstallDir>..\\Other", "C:\\Program Files\\Other"},
      {"|a\\..\\b|C:\\c|", "|C:\\Work\\b|C:\\c|"},
      {",..\\y,z", ",C:\\y,z"},
      {"C:\\plain", "C:\\plain"},
  };
  CHECK_TABLE(cases);
  EXPECT_EQ("C:\\a\\..\\b", Expand("C:\\a\\..\\b", false));
  EXPECT_EQ(5, sys.fullPathCalls);  // one per text or item with a ".." part
}

TEST_F(MacroTest, PathsTheSystemCannotResolveStay) {
  sys.fullPathFails = true;
  EXPECT_EQ("..\\x", Expand("..\\x"));
  EXPECT_EQ("|a\\..\\b|c\\..\\d|", Expand("|a\\..\\b|c\\..\\d|"));
}

TEST_F(MacroTest, WithoutDirectoriesOnlyNamesExpand) {
  EXPECT_EQ("<WinDir>\\Jane Doe", Expand("<WinDir>\\<UserName>", true, false));
}

TEST_F(MacroTest, SetInstallFoldersDropsTrailingBackslashes) {
  const TMacroHooks saved = MacroHooks();
  SetInstallFolders("C:\\App\\", "C:\\", "");
  EXPECT_EQ("C:\\App", MacroHooks().applicationFolder);
  EXPECT_EQ("C:", MacroHooks().commonFolder);
  EXPECT_EQ("", MacroHooks().auxiliaryFolder);
  hooks = MacroHooks();
  EXPECT_EQ("C:\\App\\x", Expand("<InstallDir>x"));
  EXPECT_EQ("C:\\x", Expand("<InstallCommonDir>\\x"));
  MacroHooks() = saved;
}

TEST(RunTimeDirTest, SlotsOutsideOneToEightAreEmpty) {
  for (int n : {-1, 0, 1, 8, 9, 1 << 30}) EXPECT_EQ("", RunTimeDir(n)) << n;
  SetRunTimeDir(0, "X");
  SetRunTimeDir(9, "X");
  for (int n = 1; n <= kRunTimeDirSlots; ++n) EXPECT_EQ("", RunTimeDir(n));
}

// Values that would blow a text up (huge, or naming macros again) leave the
// text as it is instead of filling the memory.
TEST_F(MacroTest, TextsThatWouldGrowWithoutBoundStayAsTheyAre) {
  std::string many;
  while (many.size() < (1 << 20)) many += "<UserName>";
  sys.owner = std::string(10000, 'o');
  EXPECT_TRUE(many == Expand(many));
  sys.owner = "<CompanyName><CompanyName><CompanyName><CompanyName>";
  sys.organization = "<ComputerName><ComputerName><ComputerName><ComputerName>";
  sys.computer = std::string(50000, 'c');  // 6 x 4 x 4 x 50000 bytes
  const std::string chain = "<UserName><UserName><UserName><UserName><UserName><UserName>";
  EXPECT_TRUE(chain == Expand(chain));
  hooks.userMacros = "|<Big>=" + std::string(100000, 'b') + "|";
  const std::string tokens = "<Big><Big><Big><Big><Big><Big><Big><Big><Big><Big><Big><Big>";
  EXPECT_TRUE(tokens == Expand(tokens));
  // Short values still expand.
  sys.computer = "BOX1";
  std::string sixteen;
  for (int i = 0; i < 16; ++i) sixteen += "BOX1";
  EXPECT_EQ(sixteen, Expand("<UserName>"));
}

TEST_F(MacroTest, MegabyteHostileInputsTakeLinearTime) {
  hooks.userMacros = "|<Mine>=x|";
  const size_t mb = 1 << 20;
  const std::string inputs[] = {
      std::string(mb, '<'),
      std::string(mb, '\\'),
      [&] { std::string t; while (t.size() < mb) t += "<Date="; return t; }(),
      [&] { std::string t; while (t.size() < mb) t += "<InstallDir>"; return t; }(),
      [&] { std::string t; while (t.size() < mb) t += "<Mine><a"; return t; }(),
      [&] { std::string t; while (t.size() < mb) t += "|..\\<RunTimeDir_1>"; return t; }(),
  };
  for (const std::string& input : inputs) {
    const auto start = std::chrono::steady_clock::now();
    const std::string out = Expand(input);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 30.0) << input.substr(0, 16);
    EXPECT_LT(out.size(), 4 * mb);
  }
}

}  // namespace
