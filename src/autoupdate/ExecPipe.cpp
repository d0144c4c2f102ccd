#include "autoupdate/ExecPipe.h"

std::string ExecPipeCommandLine(const std::string& command, const std::string& parameters) {
  std::string line = command;
  if (command.find(' ') != std::string::npos && command.find('"') == std::string::npos)
    line = "\"" + command + "\"";
  if (!parameters.empty()) line += " " + parameters;
  return line;
}

std::string ExecPipeStartError(const std::string& commandLine, const std::string& systemError) {
  if (commandLine.size() > kMaxCommandLineLength) return kCommandLineTooLong;
  return systemError + " --- " + commandLine.substr(0, 256);
}

int NextExecPipeWait(int waitMs, bool outputSeen) {
  return outputSeen && waitMs > 10 ? waitMs - 10 : waitMs;
}
