#include "paths/ShellDir.h"

#include "util/PathText.h"

namespace {

bool Exists(TPathSystem& system, const std::string& path) {
  return !path.empty() && system.DirExists(path);
}

std::string Clean(const std::string& path) { return WithBackslash(path, false); }

// The shell's folder when it exists, else the fallback.
std::string ExistingOr(TPathSystem& system, const std::string& path, const std::string& fallback) {
  return Exists(system, path) ? path : fallback;
}

std::string FolderPath(TPathSystem& system, int id) {
  return Clean(system.ShellFolderPath(id | kFolderCreate));
}

std::string SpecialPath(TPathSystem& system, int id) { return Clean(system.SpecialFolderPath(id)); }

// The shell's folder, `steps` parents up while each level exists, and the
// fallback when the result does not exist.
std::string ParentsOr(TPathSystem& system, int id, int steps, const std::string& fallback) {
  std::string path = FolderPath(system, id);
  for (int i = 0; i < steps && Exists(system, path); ++i) path = ParentDir(path);
  return Exists(system, path) ? path : fallback;
}

std::string Find(TPathSystem& system, TShellDir which) {
  const std::string windows = Clean(system.WindowsDir());
  switch (which) {
    case TShellDir::User:
      return ParentsOr(system, kFolderPersonal, 1, ProfileBase(system));
    case TShellDir::DocumentsAndSettings:
      return ParentsOr(system, kFolderPersonal, 2, ProfileBase(system));
    case TShellDir::AllUsers:
      return ParentsOr(system, kFolderCommonAppData, 1, windows);
    case TShellDir::UserLocalAppData:
      return ExistingOr(system, FolderPath(system, kFolderLocalAppData), ProfileBase(system) + "\\Application Data");
    case TShellDir::UserAppData:
      return ExistingOr(system, FolderPath(system, kFolderAppData), ProfileBase(system) + "\\Application Data");
    case TShellDir::AllUsersAppData:
      return ExistingOr(system, FolderPath(system, kFolderCommonAppData), windows + "\\Application Data");
    case TShellDir::MyDocuments:
      return ExistingOr(system, FolderPath(system, kFolderPersonal), ProfileBase(system) + "\\My Documents");
    case TShellDir::AllUsersDocuments:
      return ExistingOr(system, FolderPath(system, kFolderCommonDocuments), windows + "\\Documents");
    default:
      break;
  }
  // The start menus and desktops fall back on the user and all-users bases,
  // which are only worked out when the shell has no answer.
  int id = kFolderStartMenu;
  const char* name = "Start Menu";
  bool user = true;
  switch (which) {
    case TShellDir::AllUsersStartMenu: id = kFolderCommonStartMenu, user = false; break;
    case TShellDir::UserStartProgramMenu: id = kFolderPrograms, name = "Start Menu\\Programs"; break;
    case TShellDir::AllUsersStartProgramMenu:
      id = kFolderCommonPrograms, name = "Start Menu\\Programs", user = false;
      break;
    case TShellDir::UserDesktop: id = kFolderDesktopDirectory, name = "Desktop"; break;
    case TShellDir::AllUsersDesktop: id = kFolderCommonDesktopDirectory, name = "Desktop", user = false; break;
    default: break;
  }
  const std::string shell = SpecialPath(system, id);
  if (Exists(system, shell)) return shell;
  const std::string allUsers = Find(system, TShellDir::AllUsers);
  if (!user) return allUsers + "\\" + name;
  const std::string mine = Find(system, TShellDir::User) + "\\" + name;
  return Exists(system, mine) ? mine : allUsers + "\\" + name;
}

}  // namespace

std::string ParentDir(const std::string& path) {
  const size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string ProfileBase(TPathSystem& system) {
  const std::string windows = Clean(system.WindowsDir());
  const std::string profile = windows + "\\Profiles\\" + system.RegisteredOwner();
  return Exists(system, profile) ? profile : windows;
}

std::string ShellDir(TPathSystem& system, TShellDir which, bool withBackslash) {
  return WithBackslash(Find(system, which), withBackslash);
}
