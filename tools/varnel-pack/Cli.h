// Command-line plumbing shared by the varnel-pack commands: option parsing,
// error reporting, the terminal progress bar and path helpers.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cli {

// Prints "varnel-pack: message" on stderr; returns the exit code 1.
int Fail(const std::string& message);
// Prints "varnel-pack: warning: message" on stderr.
void Warn(const std::string& message);

struct TOptionDef {
  std::string name;  // long name without "--"
  bool takesValue = false;
  char shortName = 0;
};

struct TParsedArgs {
  std::map<std::string, std::string> values;  // flags hold "1" (or the value of --flag=0)
  std::vector<std::string> positional;
  bool help = false;
};

// Parses argv[first..]: --name VALUE, --name=VALUE, --flag, --flag=0,
// --flag 0, --flag 1, -x; "--" ends the options. "--help"/"-h" sets help. Returns an error text.
std::string ParseArgs(int argc, char** argv, int first, const std::vector<TOptionDef>& defs, TParsedArgs& out);

// "1", "yes", "true", "on" and "0", "no", "false", "off" (any case).
bool ParseBool(const std::string& text, bool& value);
bool ParseUInt(const std::string& text, uint64_t max, uint64_t& value);

bool StderrIsTerminal();
bool StdoutIsTerminal();

// Texts of the command line and of file names are in the host's encoding
// (the ANSI code page on Windows, UTF-8 elsewhere); project and languages
// files are UTF-8. These convert between the two (no change off Windows).
std::string HostToUtf8(const std::string& text);
std::string Utf8ToHost(const std::string& text);

// A one-line bar on stderr, redrawn at most ten times a second; nothing
// when disabled (not a terminal, or switched off) or while the range is 0.
class TProgressBar {
 public:
  TProgressBar(bool enabled, std::string label);
  ~TProgressBar() { Finish(); }
  TProgressBar(const TProgressBar&) = delete;
  TProgressBar& operator=(const TProgressBar&) = delete;
  void Update(uint64_t done, uint64_t total);
  // Clears the line.
  void Finish();

 private:
  bool enabled_;
  bool drawn_ = false;
  std::string label_;
  int64_t lastDraw_ = -1;
};

bool IsAbsolutePath(const std::string& path);
std::string DirectoryOf(const std::string& path);  // "" for a bare name
// path itself when absolute or base is empty, else base + separator + path.
std::string ResolvePath(const std::string& base, const std::string& path);

// "1 file", "1,234 files".
std::string CountText(uint64_t count, const char* one, const char* many);
// "0.25 s"
std::string SecondsText(int64_t ms);
int64_t NowMs();

// Writes bytes to stdout unchanged (binary mode on Windows).
void WriteStdoutBinary(const std::string& bytes);

}  // namespace cli
