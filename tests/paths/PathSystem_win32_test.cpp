// The directory macros and shell folders against the real registry, shell
// and kernel (under wine).
#include "util/Win.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include "paths/Common.h"
#include "paths/ShellDir.h"
#include "util/FileIO.h"
#include "util/Settings.h"
#include "util/SysInfo.h"

namespace {

std::string FromShFolder(int id) {
  char buffer[MAX_PATH + 1] = {0};
  if (::SHGetFolderPathA(nullptr, id | CSIDL_FLAG_CREATE, nullptr, 0, buffer) != 0) return "";
  return buffer;
}

std::string FromSpecial(int id) {
  char buffer[MAX_PATH + 1] = {0};
  if (!::SHGetSpecialFolderPathA(nullptr, buffer, id, FALSE)) return "";
  return buffer;
}

std::string Expand(const std::string& text) { return ExpandMacros(text, "\\", true, true, true); }

TEST(PathSystemWin32, ShellFoldersMatchTheShell) {
  TPathSystem& sys = DefaultPathSystem();
  const std::string documents = FromShFolder(CSIDL_PERSONAL);
  ASSERT_FALSE(documents.empty());
  ASSERT_TRUE(DirExists(documents));
  EXPECT_EQ(documents, ShellDir(sys, TShellDir::MyDocuments));
  EXPECT_EQ(ParentDir(documents), ShellDir(sys, TShellDir::User));
  EXPECT_EQ(FromShFolder(CSIDL_APPDATA), ShellDir(sys, TShellDir::UserAppData));
  EXPECT_EQ(FromShFolder(CSIDL_LOCAL_APPDATA), ShellDir(sys, TShellDir::UserLocalAppData));
  EXPECT_EQ(FromShFolder(CSIDL_COMMON_APPDATA), ShellDir(sys, TShellDir::AllUsersAppData));
  EXPECT_EQ(FromShFolder(CSIDL_COMMON_DOCUMENTS), ShellDir(sys, TShellDir::AllUsersDocuments));
  EXPECT_EQ(FromSpecial(CSIDL_DESKTOPDIRECTORY), ShellDir(sys, TShellDir::UserDesktop));
  EXPECT_EQ(FromSpecial(CSIDL_STARTMENU), ShellDir(sys, TShellDir::UserStartMenu));
  EXPECT_EQ(FromSpecial(CSIDL_PROGRAMS), ShellDir(sys, TShellDir::UserStartProgramMenu));
  EXPECT_EQ(documents + "\\a.txt", Expand("<MyDocumentsDir>a.txt"));
  // Every row answers with a folder, with and without a trailing backslash.
  for (int row = 0; row <= int(TShellDir::AllUsersDesktop); ++row) {
    const std::string dir = ShellDir(sys, TShellDir(row));
    EXPECT_FALSE(dir.empty()) << row;
    EXPECT_NE('\\', dir.back()) << row;
    EXPECT_EQ(dir + "\\", ShellDir(sys, TShellDir(row), true)) << row;
  }
}

// The shell functions are bound by name: a library that is missing, or one
// without the function, gives the fallbacks.
TEST(PathSystemWin32, MissingShellLibrariesGiveTheFallbacks) {
  const char* const libraries[] = {"NoSuchShFolder.dll", "kernel32.dll"};
  for (const char* library : libraries) {
    auto sys = NewWin32PathSystem(library, library);
    EXPECT_EQ("", sys->ShellFolderPath(CSIDL_PERSONAL | CSIDL_FLAG_CREATE)) << library;
    EXPECT_EQ("", sys->SpecialFolderPath(CSIDL_DESKTOPDIRECTORY)) << library;
    const std::string profile = ProfileBase(*sys);
    EXPECT_EQ(profile + "\\Application Data", ShellDir(*sys, TShellDir::UserAppData)) << library;
    EXPECT_EQ(profile + "\\My Documents", ShellDir(*sys, TShellDir::MyDocuments)) << library;
    EXPECT_EQ(WindowsDir(false) + "\\Documents", ShellDir(*sys, TShellDir::AllUsersDocuments)) << library;
    EXPECT_EQ(WindowsDir(false) + "\\Desktop", ShellDir(*sys, TShellDir::AllUsersDesktop)) << library;
  }
  // Only SHFolder.dll missing: the special folders still come from shell32.
  auto sys = NewWin32PathSystem("NoSuchShFolder.dll", "shell32.dll");
  EXPECT_EQ(FromSpecial(CSIDL_DESKTOPDIRECTORY), ShellDir(*sys, TShellDir::UserDesktop));
  EXPECT_EQ(ProfileBase(*sys) + "\\Application Data", ShellDir(*sys, TShellDir::UserAppData));
}

TEST(PathSystemWin32, SystemFoldersAndRegistry) {
  EXPECT_EQ(WindowsDir(false), Expand("<WinDir>"));
  EXPECT_EQ(SystemDir(false) + "\\x.dll", Expand("<WinSysDir>x.dll"));
  EXPECT_EQ(WindowsDir(false).substr(0, 3), Expand("<WinDrive>"));
  EXPECT_EQ(ExeDir(false), Expand("<SrcDir>"));
  EXPECT_EQ(ExeDir(false), Expand("<OriginDir>"));  // no /OriginExe= here
  EXPECT_EQ(ExeDir(false), Expand("<ServiceDir>"));
  EXPECT_EQ(TempDir(false), Expand("<TempDir>"));
  const std::string programFiles =
      ReadRegString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", "");
  ASSERT_FALSE(programFiles.empty());
  EXPECT_EQ(programFiles + "\\App", Expand("<ProgramFilesDir>App"));
  EXPECT_TRUE(DirExists(Expand("<FontDir>")));
  const std::string sys16 = Expand("<WinSys16Dir>");
  EXPECT_TRUE(DirExists(sys16)) << sys16;
}

TEST(PathSystemWin32, IdentityAndDate) {
  EXPECT_EQ(UserName(), Expand("<LoggedUserName>"));
  EXPECT_EQ(RegisteredOwner(), Expand("<UserName>"));
  EXPECT_EQ(ComputerName(), Expand("<ComputerName>"));
  EXPECT_FALSE(Expand("<ComputerName>").empty());
  SYSTEMTIME before, after;
  ::GetLocalTime(&before);
  const std::string date = Expand("<Date=6>");
  ::GetLocalTime(&after);
  char text[2][16];
  for (int i = 0; i < 2; ++i) {
    const SYSTEMTIME& t = i == 0 ? before : after;
    wsprintfA(text[i], "%04u-%02u-%02u", t.wYear, t.wMonth, t.wDay);
  }
  EXPECT_TRUE(date == text[0] || date == text[1]) << date;
  EXPECT_EQ("<Date=9>", Expand("<Date=9>"));
}

TEST(PathSystemWin32, RelativePartsThroughTheSystem) {
  EXPECT_EQ("C:\\b", Expand("C:\\a\\..\\b"));
  EXPECT_EQ("|C:\\b|x|", Expand("|C:\\a\\..\\b|x|"));
  // A path the system cannot make absolute (far beyond MAX_PATH for the
  // ANSI call) stays as it is.
  std::string deep = "C:";
  while (deep.size() < 2000) deep += "\\folder";
  EXPECT_EQ(deep + "\\y\\..\\x", Expand(deep + "\\y\\..\\x"));
}

}  // namespace
