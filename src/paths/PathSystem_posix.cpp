// POSIX stand-in for the directory macros' system values (host tools and
// native tests): the host's user and folders, no registry, no shell.
#include <unistd.h>

#include <cstdlib>

#include "paths/PathSystem.h"
#include "util/FileIO.h"
#include "util/SysInfo.h"

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

class TPosixPathSystem final : public TPathSystem {
 public:
  std::string LoggedUserName() override { return Env("USER"); }
  std::string RegisteredOwner() override { return Env("USER"); }
  std::string RegisteredOrganization() override { return ""; }
  std::string ComputerName() override {
    char name[256] = {0};
    return ::gethostname(name, sizeof(name) - 1) == 0 ? name : "";
  }
  std::string UserDomain() override { return ""; }
  std::string WindowsDir() override { return ::WindowsDir(false); }
  std::string SystemDir() override { return ::SystemDir(false); }
  std::string TempDir() override { return ::TempDir(false); }
  std::string ExePath() override { return ::ExePath(false); }
  std::string OriginPath() override { return ::ExePath(false); }
  std::string RegValue(const std::string&, const std::string&) override { return ""; }
  bool DirExists(const std::string& path) override { return ::DirExists(path); }
  std::string FullPath(const std::string&) override { return ""; }
  std::string ShellFolderPath(int) override { return ""; }
  std::string SpecialFolderPath(int) override { return ""; }
  TDateTimeParts Now() override { return systext_platform::LocalNow(); }
  std::string DateSeparator() override { return "/"; }
  std::string TimeSeparator() override { return ":"; }
  std::string LongMonthName(int month) override {
    static const char* const kNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                         "July",    "August",   "September", "October", "November", "December"};
    return month >= 1 && month <= 12 ? kNames[month - 1] : "";
  }
};

}  // namespace

TPathSystem& DefaultPathSystem() {
  static TPosixPathSystem system;
  return system;
}
