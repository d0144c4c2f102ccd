// Portable part of the self-deleting batch file: its name and its text.
// The command processor reads the batch line by line while it runs and
// expands "%" everywhere, so every path goes through BatchPath.
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

std::string WithBackslash(const std::string& dir) {
  return dir.empty() || dir.back() == '\\' ? dir : dir + "\\";
}

// "C:\Windows\system32\" without its last backslash; a drive root keeps it.
std::string WithoutBackslash(const std::string& dir) {
  if (dir.size() <= 3 || dir.back() != '\\') return dir;
  return dir.substr(0, dir.size() - 1);
}

}  // namespace

std::string BatchPath(const std::string& path, const std::string& quote) {
  if (path.empty()) return {};
  for (char c : path)
    if (CannotStandInABatchLine(c)) return {};
  const std::string q = quote.empty() && NeedsQuotes(path) ? std::string("\"") : quote;
  return q + DoublePercents(path) + q;
}

namespace {

// Eight upper-case hex digits (printf would bring its whole formatter into the stub).
std::string HexWord(uint32_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 15];
  return text;
}

}  // namespace

std::string SelfDeleteBatchName(uint32_t processId, uint32_t seed, uint32_t attempt) {
  return "_DEL_ME_" + HexWord(processId) + "_" + HexWord(seed + attempt) + ".BAT";
}

std::string DeleteMySelfScript(const TSelfDeleteScript& job) {
  const std::string& q = job.quote;
  const std::string bat = BatchPath(job.bat, q);
  const std::string exe = BatchPath(job.exe, q);
  const std::string dir = job.removeFolder ? BatchPath(job.dir, q) : std::string("-");
  const bool parks = !job.systemDir.empty();
  const std::string park = parks ? BatchPath(WithoutBackslash(job.systemDir), q) : std::string("-");
  const std::string ping = BatchPath(WithBackslash(job.systemDir) + "PING.EXE", q);
  if (bat.empty() || exe.empty() || dir.empty() || park.empty() || ping.empty()) return {};
  const int tries = job.attempts < 1 ? 1 : job.attempts;

  std::string script = "@ECHO OFF\r\n";
  script += "SETLOCAL DISABLEDELAYEDEXPANSION\r\n";  // a "!" in a path stays a "!"
  if (parks) script += "CD /D " + park + "\r\n";
  script += "SET VARNEL_TRIES=0\r\n";
  script += ":START\r\n";
  script += "DEL /F " + exe + " >NUL 2>NUL\r\n";  // /F: a read-only copy goes too
  script += "IF NOT EXIST " + exe + " GOTO DONE\r\n";
  script += "SET /A VARNEL_TRIES+=1\r\n";
  script += "IF %VARNEL_TRIES% GEQ " + std::to_string(tries) + " GOTO DONE\r\n";
  script += ping + " -n 2 127.0.0.1 >NUL\r\n";  // about a second
  script += "GOTO START\r\n";
  script += ":DONE\r\n";
  if (job.removeFolder) script += "RD " + dir + " >NUL 2>NUL\r\n";
  script += "DEL " + bat + "\r\n";
  return script;
}


}  // namespace Files
