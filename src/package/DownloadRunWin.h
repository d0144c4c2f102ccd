// Download mode of the setup run: the agent copy of the own executable, then
// the setup file (beside the stub, or fetched into the temp folder), its
// secret token checked against the own package, and the extraction run with
// it. Win32 only (DownloadRun_win32.cpp); the decisions are DownloadRun.h.
#pragma once

#include <cstdint>
#include <string>

namespace DownloadRun {

struct TDownloadInput {
  std::string workDir;    // working directory (no trailing backslash; may be empty)
  std::string source;     // download base location, or the own folder
  std::string setupName;  // the setup file's name
  std::string extraArgs;  // arguments part of the own command line
};

// Timer entry step 3: makes the agent copy, picks the setup file beside the
// stub unless the package always downloads, and runs the download run.
// Returns the process exit code.
uint32_t DownloadMode(const std::string& workDir, const std::string& extraArgs);

// The download run; returns the process exit code (DownloadExitCode).
uint32_t RunDownload(const TDownloadInput& in);

}  // namespace DownloadRun
