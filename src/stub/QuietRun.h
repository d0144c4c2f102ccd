// Unattended runs: the /QUIET switch. A quiet run implies /hide (no window,
// no temp-space or download question) and shows no message box at all: each
// message goes to the debug channel and, with /LOG=path, to that log file
// (ui/QuietBox.h), which also gets the run's start and its exit code. The
// switch, like every user switch, is passed on to the engine. /LOG= is read
// only together with /QUIET. A log file that cannot be written is traced
// (debug channel and trace log) and the run goes on without it.
#pragma once

#include <cstdint>
#include <string>

namespace QuietRun {

inline constexpr char kQuietSwitch[] = "/QUIET";
inline constexpr char kLogSwitch[] = "/LOG=";

// The arguments ask for a quiet run.
bool QuietRequested(const std::string& args);
// A run without the foreground window and questions: /hide or /QUIET.
bool HiddenRun(const std::string& args);

// Reads /QUIET and /LOG= from the arguments part of the command line and,
// for a quiet run, turns the boxes' quiet mode on and starts the log.
void Start(const std::string& args, const std::string& commandLine);
// Ends the log of a quiet run with the process exit code.
void Finish(uint32_t exitCode);

}  // namespace QuietRun
