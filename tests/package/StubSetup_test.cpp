#include "package/StubSetup.h"

#include <gtest/gtest.h>

using namespace StubSetup;

namespace {

TEngineCommandInput Input(const std::string& engine, const std::string& extra) {
  TEngineCommandInput in;
  in.engineText = engine;
  in.workDir = "C:\\Temp\\SETUP_1234";
  in.extraArgs = extra;
  in.engineToken = EngineToken(88);
  in.ownPath = "D:\\Downloads\\My Setup.exe";
  return in;
}

}  // namespace

TEST(StubSetup, EngineCommandLineCases) {
  struct Case {
    const char* what;
    TEngineCommandInput in;
    const char* expected;
  } cases[] = {
      {"plain engine", Input("Engine.exe*", ""),
       "C:\\Temp\\SETUP_1234\\Engine.exe /TH_ID=_88 /OriginExe=\"D:\\Downloads\\My Setup.exe\""},
      {"stub arguments before package arguments", Input("Engine.exe*/x", "/y"),
       "C:\\Temp\\SETUP_1234\\Engine.exe /y /x /TH_ID=_88 /OriginExe=\"D:\\Downloads\\My Setup.exe\""},
      {"blanks around the star", Input(" Engine.exe * /a /b ", ""),
       "C:\\Temp\\SETUP_1234\\Engine.exe /a /b /TH_ID=_88 /OriginExe=\"D:\\Downloads\\My Setup.exe\""},
      {"own /OriginExe= wins", Input("Engine.exe*", "/OriginExe=\"E:\\setup.exe\""),
       "C:\\Temp\\SETUP_1234\\Engine.exe /OriginExe=\"E:\\setup.exe\" /TH_ID=_88"},
      {"span switches removed",
       Input("Engine.exe*", "/q /SpanCdLvl=2 /SpanDiskFName1=\"C:\\x y\\s.exe.001\" /OriginExe=\"C:\\x y\\s.exe\""),
       "C:\\Temp\\SETUP_1234\\Engine.exe /q /OriginExe=\"C:\\x y\\s.exe\" /TH_ID=_88"},
      {"span switch last removed up to /TH_ID=", Input("Engine.exe*", "/SpanCdLvl=2"),
       "C:\\Temp\\SETUP_1234\\Engine.exe /TH_ID=_88 /OriginExe=\"D:\\Downloads\\My Setup.exe\""},
  };
  for (const Case& c : cases) EXPECT_EQ(EngineCommandLine(c.in), c.expected) << c.what;
}

TEST(StubSetup, AgentPackageAddsTheAgentSwitchLast) {
  TEngineCommandInput in = Input("Engine.exe*", "");
  in.agentPackage = true;
  in.workDir += "\\";
  EXPECT_EQ(EngineCommandLine(in),
            "C:\\Temp\\SETUP_1234\\Engine.exe /TH_ID=_88 /OriginExe=\"D:\\Downloads\\My Setup.exe\" /AutoUpdateProg");
}

TEST(StubSetup, SharedNames) {
  EXPECT_EQ(EngineToken(4242), "_4242");
  EXPECT_EQ(CompletionAtomName("_4242"), "AutoUpdateAtomTokenByVarnel_4242");
  EXPECT_EQ(EngineDialogClass("_4242"), ".SDialog_Class_Name._4242");
  EXPECT_EQ(EngineFileName("Engine.exe*/x"), "Engine.exe");
}

TEST(StubSetup, MegabyteText) {
  struct {
    double bytes;
    const char* text;
  } cases[] = {{5.0 * 1048576, "5.00"}, {20.0 * 1048576, "20.0"}, {300.0 * 1024, "0.293"}, {0, "0.000"},
               {-5, "0.000"},          {10.0 * 1048576, "10.00"}, {1048576, "1.00"}};
  for (auto c : cases) EXPECT_EQ(MegabyteText(c.bytes), c.text) << c.bytes;
}

TEST(StubSetup, SpaceQuestion) {
  TSpaceQuestionInput in;
  in.drive = "C:";
  in.s2 = "Notice (<DRIVE>)<P>";
  in.s3 = "Limited (<DRIVE>)<P>";
  in.s4 = "Need <SPACE_REQ>;";
  in.s5 = "Have <SPACE_AVAIL>;";
  in.s6 = "Go?";
  in.required = 5.0 * 1048576;
  in.available = 20.0 * 1048576;
  EXPECT_EQ(SpaceQuestionText(in), "") << "room enough and no notice: nothing to ask";
  in.tempDriveNotice = true;
  EXPECT_EQ(SpaceQuestionText(in), "Notice (C:)<P>Need 5.00;Have 20.0;Go?");
  in.tempDriveNotice = false;
  in.available = in.required;
  EXPECT_EQ(SpaceQuestionText(in), "Limited (C:)<P>Need 5.00;Have 5.00;Go?") << "short space asks without the notice";
}

// The application name of the process start: the engine's full path, whatever
// blanks the working directory holds; the command line starts with the same
// text, unquoted.
TEST(StubSetup, EnginePathIsTheStartOfTheCommandLine) {
  const struct {
    const char* workDir;
    const char* engineText;
    const char* path;
  } cases[] = {
      {"C:\\Temp\\SETUP_1234", "Engine.exe*", "C:\\Temp\\SETUP_1234\\Engine.exe"},
      {"D:\\My Temp\\SETUP_1", "Engine.exe*/x", "D:\\My Temp\\SETUP_1\\Engine.exe"},
      {"C:\\Documents and Settings\\u\\Local Settings\\Temp\\SETUP_7\\", " Setup Engine.exe * /a",
       "C:\\Documents and Settings\\u\\Local Settings\\Temp\\SETUP_7\\Setup Engine.exe"},
      {"C:\\T", "|readme.txt|0|x*|", "C:\\T\\|readme.txt|0|x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EnginePath(c.workDir, c.engineText), c.path) << c.workDir;
    TEngineCommandInput in = Input(c.engineText, "");
    in.workDir = c.workDir;
    EXPECT_EQ(EngineCommandLine(in).rfind(std::string(c.path) + " ", 0), 0u) << c.workDir;
  }
}

TEST(StubSetup, CompletionNeedsAnAddedAtomThatTheEngineRemoved) {
  const struct {
    bool started, added, found, completed;
  } cases[] = {
      {true, true, false, true},    // the engine removed the atom
      {true, true, true, false},    // failed or cancelled: the atom is still there
      {true, false, false, false},  // never added (a full atom table): nothing to judge by
      {false, true, false, false},  // no engine ran
      {false, false, false, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(EngineCompleted(c.started, c.added, c.found), c.completed)
        << c.started << c.added << c.found;
}

TEST(StubSetup, OnlyShortcutFilesAreRemovable) {
  const char* const removable[] = {"C:\\Users\\u\\Start Menu\\Programs\\Startup\\Foo.lnk",
                                   "C:\\x\\Check for updates.URL",
                                   "Foo.Pif",
                                   "\\\\server\\share\\links\\foo.lnk",
                                   "C:\\x\\report.txt .lnk"};
  const char* const refused[] = {"C:\\Users\\u\\Documents\\thesis.docx",
                                 "C:\\x\\Foo.lnk.txt",
                                 "C:\\x\\Foo.lnk.",
                                 "C:\\x\\Foo.lnk ",
                                 "C:\\x\\lnk",
                                 "C:\\x\\.lnk\\",
                                 "C:\\x\\thesis.docx:hidden.lnk",
                                 "thesis.docx::$DATA",
                                 "\\\\?\\C:\\x\\foo.lnk",
                                 "\\\\.\\C:\\x\\foo.lnk",
                                 "C:\\x\\NUL.lnk",
                                 "C:\\x\\com1.url",
                                 ""};
  for (const char* path : removable) EXPECT_TRUE(IsRemovableShortcut(path)) << path;
  for (const char* path : refused) EXPECT_FALSE(IsRemovableShortcut(path)) << path;
}
