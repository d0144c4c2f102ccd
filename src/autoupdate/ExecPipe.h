// Runs a console program with its standard output and error captured.
#pragma once

#include <cstdint>
#include <string>

// Receives each chunk of captured text (already converted from the OEM to the
// ANSI code page); setting stop ends the program with exit code 255.
using TExecPipeCallback = void (*)(const std::string& text, void* user, bool& stop);

struct TExecPipeResult {
  bool ok = false;  // the exit code is 0
  std::string output;
  std::string errors;
  uint32_t exitCode = 0;
};

// Exit code reported when the program cannot be started.
inline constexpr uint32_t kExecPipeStartFailed = 21;
// Longest command line the system accepts.
inline constexpr size_t kMaxCommandLineLength = 32766;
// Most bytes taken from a pipe at once.
inline constexpr int kExecPipeReadChunk = 30000;
inline constexpr const char* kCommandLineTooLong = "Command line is too long";

// Runs command (quoted when it holds a blank and no quote) with parameters,
// idle priority and the given show mode (SW_HIDE = 0 ...). After the program
// has ended, pumps messages for waitAfterEndMs and collects what is left.
TExecPipeResult ExecPipe(const std::string& command, const std::string& parameters, int showMode,
                         TExecPipeCallback callback = nullptr, void* user = nullptr,
                         int waitAfterEndMs = 0);

// The pieces of ExecPipe that do not touch the system.
std::string ExecPipeCommandLine(const std::string& command, const std::string& parameters);
// Error text for a program that could not be started.
std::string ExecPipeStartError(const std::string& commandLine, const std::string& systemError);
// Next wait for the program (ms): shorter by 10 each round once output came.
int NextExecPipeWait(int waitMs, bool outputSeen);
