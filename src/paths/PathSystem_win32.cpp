// The Win32 answers to the directory macros: registry, identity, kernel
// folders, the shell's special folders bound by name, locale texts.
#include "util/Win.h"

#include "paths/PathSystem.h"
#include "util/FileIO.h"
#include "util/PathText.h"
#include "util/Settings.h"
#include "util/SysInfo.h"
#include "util/Utils.h"
#include "util/WinUtils.h"

namespace {

using TGetFolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
using TGetSpecialFolderPath = BOOL(WINAPI*)(HWND, LPSTR, int, BOOL);

std::string LocaleText(LCTYPE item, const char* fallback) {
  char buffer[96] = {0};
  const int n = ::GetLocaleInfoA(LOCALE_USER_DEFAULT, item, buffer, sizeof(buffer));
  return n > 1 ? std::string(buffer) : std::string(fallback);
}

class TWin32PathSystem final : public TPathSystem {
 public:
  TWin32PathSystem(const char* shFolder, const char* shell32) : shFolder_(shFolder), shell32_(shell32) {}

  std::string LoggedUserName() override { return ::UserName(); }
  std::string RegisteredOwner() override { return ::RegisteredOwner(); }
  std::string RegisteredOrganization() override { return ::RegisteredOrganization(); }
  std::string ComputerName() override { return ::ComputerName(); }
  std::string UserDomain() override { return ::UserDomain(); }
  std::string WindowsDir() override { return ::WindowsDir(false); }
  std::string SystemDir() override { return ::SystemDir(false); }
  std::string TempDir() override { return ::TempDir(false); }
  std::string ExePath() override { return ::ExePath(false); }

  std::string OriginPath() override {
    static const std::string origin = [] {
      const std::string own = ::ExePath(false);
      return GetSwitch(CommandLineArgs(::GetCommandLineA(), own), "OriginExe", own);
    }();
    return origin;
  }

  std::string RegValue(const std::string& path, const std::string& name) override {
    return ReadRegString(path, name, "");
  }
  bool DirExists(const std::string& path) override { return ::DirExists(path); }

  std::string FullPath(const std::string& path) override {
    const DWORD needed = ::GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return "";
    std::string full(needed, '\0');
    const DWORD n = ::GetFullPathNameA(path.c_str(), needed, full.data(), nullptr);
    if (n == 0 || n >= needed) return "";
    full.resize(n);
    return full;
  }

  std::string ShellFolderPath(int folderId) override {
    HMODULE module = nullptr;
    const auto call = reinterpret_cast<TGetFolderPath>(
        reinterpret_cast<void*>(ProcAddressOf(shFolder_, "SHGetFolderPathA", module)));
    const TLibrary library(module);
    char buffer[MAX_PATH + 1] = {0};
    if (!call || call(nullptr, folderId, nullptr, 0, buffer) != 0) return "";
    return std::string(buffer);
  }

  std::string SpecialFolderPath(int folderId) override {
    HMODULE module = nullptr;
    const auto call = reinterpret_cast<TGetSpecialFolderPath>(
        reinterpret_cast<void*>(ProcAddressOf(shell32_, "SHGetSpecialFolderPathA", module)));
    const TLibrary library(module);
    char buffer[MAX_PATH + 1] = {0};
    if (!call || !call(nullptr, buffer, folderId, FALSE)) return "";
    return std::string(buffer);
  }

  TDateTimeParts Now() override { return systext_platform::LocalNow(); }
  std::string DateSeparator() override { return LocaleText(LOCALE_SDATE, "/"); }
  std::string TimeSeparator() override { return LocaleText(LOCALE_STIME, ":"); }
  std::string LongMonthName(int month) override {
    if (month < 1 || month > 12) return "";
    return LocaleText(static_cast<LCTYPE>(LOCALE_SMONTHNAME1 + month - 1), "");
  }

 private:
  const char* shFolder_;
  const char* shell32_;
};

}  // namespace

std::unique_ptr<TPathSystem> NewWin32PathSystem(const char* shFolderLibrary, const char* shell32Library) {
  return std::make_unique<TWin32PathSystem>(shFolderLibrary, shell32Library);
}

TPathSystem& DefaultPathSystem() {
  static TWin32PathSystem system("SHFolder.dll", "shell32.dll");
  return system;
}
