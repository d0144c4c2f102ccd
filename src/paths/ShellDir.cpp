#include "paths/ShellDir.h"

#include "util/PathText.h"

namespace {

bool Exists(TPathSystem& system, const std::string& path) {
  return !path.empty() && system.DirExists(path);
}

std::string Clean(const std::string& path) { return WithBackslash(path, false); }

enum TBase : unsigned char { kProfileBase, kWindowsBase, kAllUsersBase, kUserThenAllUsers };

// One row of the folder table: the shell call (SHGetFolderPathA, which gets
// the create flag, or SHGetSpecialFolderPathA), the parent steps, and the
// fallback base with the name below it.
struct TRow {
  bool special;
  unsigned char id;
  unsigned char parents;
  TBase base;
  const char* name;
};

constexpr TRow kRows[] = {
    {false, kFolderPersonal, 1, kProfileBase, ""},                         // User
    {false, kFolderPersonal, 2, kProfileBase, ""},                         // DocumentsAndSettings
    {false, kFolderCommonAppData, 1, kWindowsBase, ""},                    // AllUsers
    {false, kFolderLocalAppData, 0, kProfileBase, "Application Data"},     // UserLocalAppData
    {false, kFolderAppData, 0, kProfileBase, "Application Data"},          // UserAppData
    {false, kFolderCommonAppData, 0, kWindowsBase, "Application Data"},    // AllUsersAppData
    {false, kFolderPersonal, 0, kProfileBase, "My Documents"},             // MyDocuments
    {false, kFolderCommonDocuments, 0, kWindowsBase, "Documents"},         // AllUsersDocuments
    {true, kFolderStartMenu, 0, kUserThenAllUsers, "Start Menu"},          // UserStartMenu
    {true, kFolderCommonStartMenu, 0, kAllUsersBase, "Start Menu"},        // AllUsersStartMenu
    {true, kFolderPrograms, 0, kUserThenAllUsers, "Start Menu\\Programs"},  // UserStartProgramMenu
    {true, kFolderCommonPrograms, 0, kAllUsersBase, "Start Menu\\Programs"},  // AllUsersStartProgramMenu
    {true, kFolderDesktopDirectory, 0, kUserThenAllUsers, "Desktop"},      // UserDesktop
    {true, kFolderCommonDesktopDirectory, 0, kAllUsersBase, "Desktop"},    // AllUsersDesktop
};

std::string Below(const std::string& base, const char* name) { return *name ? base + "\\" + name : base; }

std::string Find(TPathSystem& system, TShellDir which) {
  const TRow& row = kRows[static_cast<int>(which)];
  std::string path = Clean(row.special ? system.SpecialFolderPath(row.id)
                                       : system.ShellFolderPath(row.id | kFolderCreate));
  // The parent steps go up only from a folder that exists; the result of
  // the steps must exist in turn.
  for (int i = 0; i < row.parents && Exists(system, path); ++i) path = ParentDir(path);
  if (Exists(system, path)) return path;
  switch (row.base) {
    case kProfileBase: return Below(ProfileBase(system), row.name);
    case kWindowsBase: return Below(Clean(system.WindowsDir()), row.name);
    case kUserThenAllUsers: {
      const std::string mine = Below(Find(system, TShellDir::User), row.name);
      if (Exists(system, mine)) return mine;
      [[fallthrough]];
    }
    default: return Below(Find(system, TShellDir::AllUsers), row.name);
  }
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
