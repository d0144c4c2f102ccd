#include "paths/ShellDir.h"

#include <gtest/gtest.h>

#include "FakePathSystem.h"
#include "paths/Common.h"

namespace {

// An XP-like machine: every shell folder answered and present.
class ShellDirTest : public ::testing::Test {
 protected:
  ShellDirTest() {
    const std::string das = "C:\\Documents and Settings", user = das + "\\user1", all = das + "\\All Users";
    Folder(kFolderPersonal, user + "\\My Documents");
    Folder(kFolderCommonAppData, all + "\\Application Data");
    Folder(kFolderLocalAppData, user + "\\Local Settings\\Application Data");
    Folder(kFolderAppData, user + "\\Application Data");
    Folder(kFolderCommonDocuments, all + "\\Documents");
    Special(kFolderStartMenu, user + "\\Start Menu");
    Special(kFolderCommonStartMenu, all + "\\Start Menu");
    Special(kFolderPrograms, user + "\\Start Menu\\Programs");
    Special(kFolderCommonPrograms, all + "\\Start Menu\\Programs");
    Special(kFolderDesktopDirectory, user + "\\Desktop");
    Special(kFolderCommonDesktopDirectory, all + "\\Desktop");
    for (const std::string& d : {das, user, all}) sys.dirs.insert(d);
  }
  void Folder(int id, const std::string& path) {
    sys.shellFolders[id | kFolderCreate] = path;
    sys.dirs.insert(path);
  }
  void Special(int id, const std::string& path) {
    sys.specialFolders[id] = path + "\\";  // the shell may answer with a backslash
    sys.dirs.insert(path);
  }
  TFakePathSystem sys;
};

struct TRow {
  TShellDir which;
  const char* macro;
  const char* expected;
};

TEST_F(ShellDirTest, EveryRowFromTheShell) {
  const TRow rows[] = {
      {TShellDir::User, "<UserDir>", "C:\\Documents and Settings\\user1"},
      {TShellDir::DocumentsAndSettings, "<DocumentsAndSettingsDir>", "C:\\Documents and Settings"},
      {TShellDir::AllUsers, "<AllUsersDir>", "C:\\Documents and Settings\\All Users"},
      {TShellDir::UserLocalAppData, "<UserLocalAppDataDir>",
       "C:\\Documents and Settings\\user1\\Local Settings\\Application Data"},
      {TShellDir::UserAppData, "<UserAppDataDir>", "C:\\Documents and Settings\\user1\\Application Data"},
      {TShellDir::AllUsersAppData, "<AllUsersAppDataDir>", "C:\\Documents and Settings\\All Users\\Application Data"},
      {TShellDir::MyDocuments, "<MyDocumentsDir>", "C:\\Documents and Settings\\user1\\My Documents"},
      {TShellDir::AllUsersDocuments, "<AllUsersDocumentsDir>", "C:\\Documents and Settings\\All Users\\Documents"},
      {TShellDir::UserStartMenu, "<UserStartMenuDir>", "C:\\Documents and Settings\\user1\\Start Menu"},
      {TShellDir::AllUsersStartMenu, "<AllUsersStartMenuDir>", "C:\\Documents and Settings\\All Users\\Start Menu"},
      {TShellDir::UserStartProgramMenu, "<UserStartProgramMenuDir>",
       "C:\\Documents and Settings\\user1\\Start Menu\\Programs"},
      {TShellDir::AllUsersStartProgramMenu, "<AllUsersStartProgramMenuDir>",
       "C:\\Documents and Settings\\All Users\\Start Menu\\Programs"},
      {TShellDir::UserDesktop, "<UserDesktopDir>", "C:\\Documents and Settings\\user1\\Desktop"},
      {TShellDir::AllUsersDesktop, "<AllUsersDesktopDir>", "C:\\Documents and Settings\\All Users\\Desktop"},
  };
  TMacroHooks hooks;
  for (const TRow& row : rows) {
    EXPECT_EQ(row.expected, ShellDir(sys, row.which)) << row.macro;
    EXPECT_EQ(std::string(row.expected) + "\\", ShellDir(sys, row.which, true)) << row.macro;
    EXPECT_EQ(std::string(row.expected) + "\\x", ExpandMacrosWith(sys, hooks, std::string(row.macro) + "x", "\\",
                                                                 true, true, true)) << row.macro;
  }
}

// Old systems: no shell library, and folders built from the Windows directory.
TEST_F(ShellDirTest, FallbacksWithoutTheShell) {
  sys.shellFolders.clear();
  sys.specialFolders.clear();
  const std::string profile = "C:\\Windows\\Profiles\\Jane Doe";
  const TRow withProfile[] = {
      {TShellDir::User, "", "C:\\Windows\\Profiles\\Jane Doe"},
      {TShellDir::DocumentsAndSettings, "", "C:\\Windows\\Profiles\\Jane Doe"},
      {TShellDir::AllUsers, "", "C:\\Windows"},
      {TShellDir::UserLocalAppData, "", "C:\\Windows\\Profiles\\Jane Doe\\Application Data"},
      {TShellDir::UserAppData, "", "C:\\Windows\\Profiles\\Jane Doe\\Application Data"},
      {TShellDir::AllUsersAppData, "", "C:\\Windows\\Application Data"},
      {TShellDir::MyDocuments, "", "C:\\Windows\\Profiles\\Jane Doe\\My Documents"},
      {TShellDir::AllUsersDocuments, "", "C:\\Windows\\Documents"},
      // The user's own start menu and desktop do not exist: all users' are taken.
      {TShellDir::UserStartMenu, "", "C:\\Windows\\Start Menu"},
      {TShellDir::AllUsersStartMenu, "", "C:\\Windows\\Start Menu"},
      {TShellDir::UserStartProgramMenu, "", "C:\\Windows\\Start Menu\\Programs"},
      {TShellDir::AllUsersStartProgramMenu, "", "C:\\Windows\\Start Menu\\Programs"},
      {TShellDir::UserDesktop, "", "C:\\Windows\\Desktop"},
      {TShellDir::AllUsersDesktop, "", "C:\\Windows\\Desktop"},
  };
  sys.dirs.insert(profile);
  for (const TRow& row : withProfile) EXPECT_EQ(row.expected, ShellDir(sys, row.which)) << int(row.which);

  // The user's own folders once they exist.
  sys.dirs.insert(profile + "\\Start Menu");
  sys.dirs.insert(profile + "\\Start Menu\\Programs");
  sys.dirs.insert(profile + "\\Desktop");
  EXPECT_EQ(profile + "\\Start Menu", ShellDir(sys, TShellDir::UserStartMenu));
  EXPECT_EQ(profile + "\\Start Menu\\Programs", ShellDir(sys, TShellDir::UserStartProgramMenu));
  EXPECT_EQ(profile + "\\Desktop", ShellDir(sys, TShellDir::UserDesktop));

  // Without a profile folder the Windows directory is the profile base.
  sys.dirs.erase(profile);
  EXPECT_EQ("C:\\Windows", ShellDir(sys, TShellDir::User));
  EXPECT_EQ("C:\\Windows\\Application Data", ShellDir(sys, TShellDir::UserAppData));
}

// A folder the shell names but that does not exist counts as no answer.
TEST_F(ShellDirTest, MissingShellFoldersFallBack) {
  sys.dirs.clear();
  EXPECT_EQ("C:\\Windows", ShellDir(sys, TShellDir::User));
  EXPECT_EQ("C:\\Windows\\My Documents", ShellDir(sys, TShellDir::MyDocuments));
  EXPECT_EQ("C:\\Windows\\Desktop", ShellDir(sys, TShellDir::AllUsersDesktop));
}

TEST_F(ShellDirTest, ParentStepsStopWhereAFolderIsMissing) {
  // The personal folder exists, its parent does not: the parent step is
  // made, the existence test on it fails, the profile base is taken.
  sys.dirs.erase("C:\\Documents and Settings\\user1");
  EXPECT_EQ("C:\\Windows", ShellDir(sys, TShellDir::User));
  EXPECT_EQ("C:\\Windows", ShellDir(sys, TShellDir::DocumentsAndSettings));
  // A personal folder at the root of a drive.
  sys.shellFolders[kFolderPersonal | kFolderCreate] = "D:\\Docs";
  sys.dirs.insert("D:\\Docs");
  sys.dirs.insert("D:");
  EXPECT_EQ("D:", ShellDir(sys, TShellDir::User));
  EXPECT_EQ("C:\\Windows", ShellDir(sys, TShellDir::DocumentsAndSettings));  // no parent of "D:"
}

// Without SHFolder.dll the application-data folders come from the profile
// base even though they exist.
TEST_F(ShellDirTest, WithoutShFolderTheProfileBaseServes) {
  sys.shellFolders.clear();
  EXPECT_EQ("C:\\Windows\\Application Data", ShellDir(sys, TShellDir::UserAppData));
  EXPECT_EQ("C:\\Windows\\Application Data", ShellDir(sys, TShellDir::AllUsersAppData));
  // The special folders still answer.
  EXPECT_EQ("C:\\Documents and Settings\\user1\\Desktop", ShellDir(sys, TShellDir::UserDesktop));
}

TEST(ShellDirParent, ParentDir) {
  EXPECT_EQ("C:\\a", ParentDir("C:\\a\\b"));
  EXPECT_EQ("C:", ParentDir("C:\\a"));
  EXPECT_EQ("", ParentDir("C:"));
  EXPECT_EQ("", ParentDir(""));
}

}  // namespace
