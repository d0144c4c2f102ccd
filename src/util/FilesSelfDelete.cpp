// Portable part of the self-deleting batch file: its name and its text.
// The command processor reads the batch line by line while it runs and
// expands "%" everywhere, so every path goes through BatchPath.
#include <cstdio>
#include <string>

#include "util/Files.h"

namespace Files {

namespace {

bool CannotStandInABatchLine(char c) { return c == '"' || static_cast<unsigned char>(c) < 0x20; }

// Characters on which the command processor splits or acts outside quotes.
bool NeedsQuotes(const std::string& path) { return path.find_first_of(" &^|<>(),;=!") != std::string::npos; }

std::string DoublePercents(const std::string& path) {
  std::string out;
  out.reserve(path.size() + 8);
  for (char c : path) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

}  // namespace

std::string BatchPath(const std::string& path, const std::string& quote) {
  if (path.empty()) return {};
  for (char c : path)
    if (CannotStandInABatchLine(c)) return {};
  const std::string q = quote.empty() && NeedsQuotes(path) ? std::string("\"") : quote;
  return q + DoublePercents(path) + q;
}

std::string SelfDeleteBatchName(uint32_t processId, uint32_t seed, uint32_t attempt) {
  char name[40];
  std::snprintf(name, sizeof(name), "_DEL_ME_%08X_%08X.BAT", static_cast<unsigned>(processId),
                static_cast<unsigned>(seed + attempt));
  return name;
}

std::string DeleteMySelfScript(const std::string& bat, const std::string& exe, const std::string& dir,
                               bool removeFolder, const std::string& quote, const std::string& pingPath,
                               int attempts) {
  const std::string batArg = BatchPath(bat, quote);
  const std::string exeArg = BatchPath(exe, quote);
  const std::string dirArg = removeFolder ? BatchPath(dir, quote) : std::string("-");
  const std::string pingArg = BatchPath(pingPath, quote);
  if (batArg.empty() || exeArg.empty() || dirArg.empty() || pingArg.empty()) return {};
  const int tries = attempts < 1 ? 1 : attempts;

  std::string script = "@ECHO OFF\r\n";
  script += "SETLOCAL DISABLEDELAYEDEXPANSION\r\n";  // a "!" in a path stays a "!"
  script += "SET VARNEL_TRIES=0\r\n";
  script += ":START\r\n";
  script += "DEL /F " + exeArg + " >NUL 2>NUL\r\n";  // /F: a read-only copy goes too
  script += "IF NOT EXIST " + exeArg + " GOTO DONE\r\n";
  script += "SET /A VARNEL_TRIES+=1\r\n";
  script += "IF %VARNEL_TRIES% GEQ " + std::to_string(tries) + " GOTO DONE\r\n";
  script += pingArg + " -n 2 127.0.0.1 >NUL\r\n";  // about a second
  script += "GOTO START\r\n";
  script += ":DONE\r\n";
  if (removeFolder) script += "RD " + dirArg + " >NUL 2>NUL\r\n";
  script += "DEL " + batArg + "\r\n";
  return script;
}

}  // namespace Files
