// The self-deleting batch file's name and text: pure functions, the same
// natively and under wine.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "util/Files.h"

namespace {

Files::TSelfDeleteScript Job(const std::string& bat, const std::string& exe, const std::string& dir,
                            bool removeFolder) {
  Files::TSelfDeleteScript job;
  job.bat = bat;
  job.exe = exe;
  job.dir = dir;
  job.removeFolder = removeFolder;
  job.systemDir = "C:\\Windows\\system32\\";
  return job;
}

TEST(DeleteMySelfScript, TriesABoundedNumberOfTimesThenRemovesTheFolderAndItself) {
  EXPECT_EQ(Files::DeleteMySelfScript(Job("C:\\Temp Files\\_DEL_ME_00000010_00000020.BAT",
                                          "C:\\My Setup\\Y_setup.exe", "C:\\My Setup", true)),
            "@ECHO OFF\r\n"
            "SETLOCAL DISABLEDELAYEDEXPANSION\r\n"
            "CD /D \"C:\\Windows\\system32\"\r\n"
            "SET VARNEL_TRIES=0\r\n"
            ":START\r\n"
            "DEL /F \"C:\\My Setup\\Y_setup.exe\" >NUL 2>NUL\r\n"
            "IF NOT EXIST \"C:\\My Setup\\Y_setup.exe\" GOTO DONE\r\n"
            "SET /A VARNEL_TRIES+=1\r\n"
            "IF %VARNEL_TRIES% GEQ 60 GOTO DONE\r\n"
            "\"C:\\Windows\\system32\\PING.EXE\" -n 2 127.0.0.1 >NUL\r\n"
            "GOTO START\r\n"
            ":DONE\r\n"
            "RD \"C:\\My Setup\" >NUL 2>NUL\r\n"
            "DEL \"C:\\Temp Files\\_DEL_ME_00000010_00000020.BAT\"\r\n");
}

TEST(DeleteMySelfScript, WithoutTheFolderFlagOnlyTheProgramAndTheBatchGo) {
  auto job = Job("C:\\T\\b.BAT", "C:\\P\\X_agent.exe", "C:\\P", false);
  job.attempts = 5;
  const std::string script = Files::DeleteMySelfScript(job);
  EXPECT_EQ(script.find("RD "), std::string::npos);
  EXPECT_NE(script.find("\r\nIF %VARNEL_TRIES% GEQ 5 GOTO DONE\r\n"), std::string::npos);
  EXPECT_TRUE(script.ends_with(":DONE\r\nDEL \"C:\\T\\b.BAT\"\r\n"));
}

TEST(DeleteMySelfScript, ShortPathsGoUnquoted) {
  auto job = Job("C:\\TEMP\\_DEL_ME_.BAT", "C:\\MYSETU~1\\Y_SETUP.EXE", "C:\\MYSETU~1", true);
  job.quote = "";
  job.systemDir = "C:\\WINDOWS\\SYSTEM32";
  std::string script = Files::DeleteMySelfScript(job);
  EXPECT_NE(script.find("\r\nCD /D C:\\WINDOWS\\SYSTEM32\r\n"), std::string::npos);
  EXPECT_NE(script.find("\r\nDEL /F C:\\MYSETU~1\\Y_SETUP.EXE >NUL 2>NUL\r\n"), std::string::npos);
  EXPECT_NE(script.find("\r\nIF NOT EXIST C:\\MYSETU~1\\Y_SETUP.EXE GOTO DONE\r\n"), std::string::npos);
  EXPECT_NE(script.find("\r\nC:\\WINDOWS\\SYSTEM32\\PING.EXE -n 2 127.0.0.1 >NUL\r\n"), std::string::npos);
  EXPECT_TRUE(script.ends_with("\r\nRD C:\\MYSETU~1 >NUL 2>NUL\r\nDEL C:\\TEMP\\_DEL_ME_.BAT\r\n"));
  job.systemDir = "D:\\";  // a drive root keeps its backslash
  script = Files::DeleteMySelfScript(job);
  EXPECT_NE(script.find("\r\nCD /D D:\\\r\n"), std::string::npos);
  EXPECT_NE(script.find("\r\nD:\\PING.EXE -n 2"), std::string::npos);
}

TEST(DeleteMySelfScript, WithoutASystemFolderTheBatchStaysWhereItStartsAndFindsPingByName) {
  auto job = Job("C:\\T\\b.BAT", "C:\\P\\Y_s.exe", "C:\\P", true);
  job.systemDir.clear();
  const std::string script = Files::DeleteMySelfScript(job);
  EXPECT_EQ(script.find("CD "), std::string::npos);
  EXPECT_NE(script.find("\r\n\"PING.EXE\" -n 2 127.0.0.1 >NUL\r\n"), std::string::npos);
  EXPECT_NE(script.find("\r\nIF %VARNEL_TRIES% GEQ 60 GOTO DONE\r\n"), std::string::npos);
}

TEST(DeleteMySelfScript, AtLeastOneAttempt) {
  for (int attempts : {0, -3, 1}) {
    auto job = Job("b.bat", "x.exe", "", false);
    job.attempts = attempts;
    EXPECT_NE(Files::DeleteMySelfScript(job).find("IF %VARNEL_TRIES% GEQ 1 GOTO DONE"), std::string::npos)
        << attempts;
  }
}

// Every path of the batch, whatever its characters, reaches the command
// processor as written: "%" doubled, the rest protected by quotes.
TEST(BatchPath, EachPathStandsForItself) {
  struct TCase {
    const char* path;
    const char* quote;
    const char* expected;
  };
  const TCase cases[] = {
      {"C:\\Downloads\\My%20Setup.exe", "\"", "\"C:\\Downloads\\My%%20Setup.exe\""},
      {"C:\\a%PATH%b\\x.exe", "\"", "\"C:\\a%%PATH%%b\\x.exe\""},
      {"C:\\100%\\%~dp0.exe", "\"", "\"C:\\100%%\\%%~dp0.exe\""},
      {"C:\\Tom & Jerry\\x.exe", "\"", "\"C:\\Tom & Jerry\\x.exe\""},
      {"C:\\a^b\\c^.exe", "\"", "\"C:\\a^b\\c^.exe\""},
      {"C:\\Hi!\\x!y!.exe", "\"", "\"C:\\Hi!\\x!y!.exe\""},
      {"C:\\Program Files (x86)\\P\\X_a.exe", "\"", "\"C:\\Program Files (x86)\\P\\X_a.exe\""},
      {"C:\\MYSETU~1\\Y_SETUP.EXE", "", "C:\\MYSETU~1\\Y_SETUP.EXE"},
      {"C:\\MY%SET~1\\Y.EXE", "", "C:\\MY%%SET~1\\Y.EXE"},
      // Without a quote a path that needs one gets one.
      {"C:\\A&B~1\\Y.EXE", "", "\"C:\\A&B~1\\Y.EXE\""},
      {"C:\\A^B~1\\Y.EXE", "", "\"C:\\A^B~1\\Y.EXE\""},
      {"C:\\(A)~1\\Y.EXE", "", "\"C:\\(A)~1\\Y.EXE\""},
      {"C:\\No Short\\Y.EXE", "", "\"C:\\No Short\\Y.EXE\""},
      {"C:\\A!B~1\\Y.EXE", "", "\"C:\\A!B~1\\Y.EXE\""},
      {"C:\\A=B;C,D|E<F>G\\Y.EXE", "", "\"C:\\A=B;C,D|E<F>G\\Y.EXE\""},
      // What no batch line can carry.
      {"", "\"", ""},
      {"C:\\a\"b\\x.exe", "\"", ""},
      {"C:\\a\r\nDEL C:\\*.*\\x.exe", "\"", ""},
      {"C:\\a\nb.exe", "", ""},
      {"C:\\a\x1a" "b.exe", "\"", ""},
      {"C:\\a\tb.exe", "\"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Files::BatchPath(c.path, c.quote), c.expected) << c.path;
}

TEST(DeleteMySelfScript, APathNoLineCanCarryGivesNoScript) {
  EXPECT_EQ(Files::DeleteMySelfScript(Job("b.bat", "C:\\x\"&calc\".exe", "C:\\x", false)), "");
  EXPECT_EQ(Files::DeleteMySelfScript(Job("b.bat", "C:\\x\\y.exe", "C:\\x\r\ncalc", true)), "");
  EXPECT_EQ(Files::DeleteMySelfScript(Job("b\n.bat", "C:\\x\\y.exe", "C:\\x", false)), "");
  EXPECT_EQ(Files::DeleteMySelfScript(Job("b.bat", "", "C:\\x", false)), "");
  auto job = Job("b.bat", "C:\\x\\y.exe", "C:\\x", false);
  job.systemDir = "C:\\W\"\\";
  EXPECT_EQ(Files::DeleteMySelfScript(job), "");
  // The folder matters only when it is to be removed.
  EXPECT_NE(Files::DeleteMySelfScript(Job("b.bat", "C:\\x\\y.exe", "C:\\x\r\ncalc", false)), "");
}

TEST(DeleteMySelfScript, ARunOfPercentSignsIsDoubledAsAWhole) {
  const std::string script = Files::DeleteMySelfScript(Job("C:\\T\\b.BAT", "C:\\%%%\\y.exe", "C:\\%%%", true));
  EXPECT_NE(script.find("\r\nDEL /F \"C:\\%%%%%%\\y.exe\" >NUL 2>NUL\r\n"), std::string::npos);
  EXPECT_NE(script.find("\r\nRD \"C:\\%%%%%%\" >NUL 2>NUL\r\n"), std::string::npos);
}

TEST(SelfDeleteBatchName, EachProcessAndAttemptHasItsOwnName) {
  EXPECT_EQ(Files::SelfDeleteBatchName(0x1A2B, 0xDEADBEEF, 0), "_DEL_ME_00001A2B_DEADBEEF.BAT");
  EXPECT_EQ(Files::SelfDeleteBatchName(0x1A2B, 0xFFFFFFFF, 1), "_DEL_ME_00001A2B_00000000.BAT");
  std::set<std::string> names;
  for (uint32_t pid : {4u, 8u, 0xFFFFFFFCu})
    for (uint32_t attempt = 0; attempt < 16; ++attempt) names.insert(Files::SelfDeleteBatchName(pid, 77, attempt));
  EXPECT_EQ(names.size(), 3u * 16u);
}

}  // namespace
