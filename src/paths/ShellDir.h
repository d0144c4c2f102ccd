// The user's and all users' special folders: asked from the shell, checked
// for existence, and built from the Windows directory when the shell has no
// answer (older systems, or a shell library that is missing).
#pragma once

#include <string>

#include "paths/PathSystem.h"

enum class TShellDir {
  User,                      // <UserDir>
  DocumentsAndSettings,      // <DocumentsAndSettingsDir>
  AllUsers,                  // <AllUsersDir>
  UserLocalAppData,          // <UserLocalAppDataDir>
  UserAppData,               // <UserAppDataDir>
  AllUsersAppData,           // <AllUsersAppDataDir>
  MyDocuments,               // <MyDocumentsDir>
  AllUsersDocuments,         // <AllUsersDocumentsDir>
  UserStartMenu,             // <UserStartMenuDir>
  AllUsersStartMenu,         // <AllUsersStartMenuDir>
  UserStartProgramMenu,      // <UserStartProgramMenuDir>
  AllUsersStartProgramMenu,  // <AllUsersStartProgramMenuDir>
  UserDesktop,               // <UserDesktopDir>
  AllUsersDesktop,           // <AllUsersDesktopDir>
};

// Shell folder ids.
inline constexpr int kFolderCreate = 0x8000;
inline constexpr int kFolderPrograms = 2;
inline constexpr int kFolderPersonal = 5;
inline constexpr int kFolderStartMenu = 11;
inline constexpr int kFolderDesktopDirectory = 16;
inline constexpr int kFolderCommonStartMenu = 22;
inline constexpr int kFolderCommonPrograms = 23;
inline constexpr int kFolderCommonDesktopDirectory = 25;
inline constexpr int kFolderAppData = 0x1A;
inline constexpr int kFolderLocalAppData = 0x1C;
inline constexpr int kFolderCommonAppData = 0x23;
inline constexpr int kFolderCommonDocuments = 0x2E;

// The folder's path, with or without a trailing backslash.
std::string ShellDir(TPathSystem& system, TShellDir which, bool withBackslash = false);

// Windows directory + "\Profiles\" + the registered owner, or the Windows
// directory when that does not exist.
std::string ProfileBase(TPathSystem& system);
// The directory that contains path; empty when it has no "\".
std::string ParentDir(const std::string& path);
