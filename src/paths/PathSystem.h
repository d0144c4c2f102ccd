// The system values that the directory macros and the shell folders read,
// behind one small interface: the Win32 build answers from the registry,
// the shell and the kernel; tests answer from tables.
#pragma once

#include <string>

#include "util/SysText.h"

class TPathSystem {
 public:
  virtual ~TPathSystem() = default;

  virtual std::string LoggedUserName() = 0;
  // The registered owner, the logged-on user's name when there is none.
  virtual std::string RegisteredOwner() = 0;
  virtual std::string RegisteredOrganization() = 0;
  virtual std::string ComputerName() = 0;
  virtual std::string UserDomain() = 0;

  // Directories without a trailing backslash.
  virtual std::string WindowsDir() = 0;
  virtual std::string SystemDir() = 0;
  virtual std::string TempDir() = 0;
  virtual std::string ExePath() = 0;
  // The /OriginExe= path, the own executable's path when absent.
  virtual std::string OriginPath() = 0;

  // Registry value by textual path ("HKLM\..."); empty when missing.
  virtual std::string RegValue(const std::string& path, const std::string& name) = 0;
  virtual bool DirExists(const std::string& path) = 0;
  // The path made absolute against the current directory; empty on failure.
  virtual std::string FullPath(const std::string& path) = 0;

  // Shell folders by folder id: SHGetFolderPathA (the id carries the create
  // flag) and SHGetSpecialFolderPathA. Empty when the library, the function
  // or the folder is missing.
  virtual std::string ShellFolderPath(int folderId) = 0;
  virtual std::string SpecialFolderPath(int folderId) = 0;

  // Local date and time, the date and time separators, month names 1..12.
  virtual TDateTimeParts Now() = 0;
  virtual std::string DateSeparator() = 0;
  virtual std::string TimeSeparator() = 0;
  virtual std::string LongMonthName(int month) = 0;
};

// The process's own provider (Win32: the real system; POSIX: the host's few
// equivalents and no registry).
TPathSystem& DefaultPathSystem();

#ifdef _WIN32
#include <memory>
// The real system, with SHGetFolderPathA and SHGetSpecialFolderPathA bound
// from the named libraries ("SHFolder.dll", "shell32.dll" by default).
std::unique_ptr<TPathSystem> NewWin32PathSystem(const char* shFolderLibrary, const char* shell32Library);
#endif
