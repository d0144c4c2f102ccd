#include "Cli.h"

#include <chrono>
#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "util/Win.h"
#else
#include <unistd.h>
#endif

#include "util/Utils.h"

namespace cli {

int Fail(const std::string& message) {
  std::cout.flush();
  std::cerr << "varnel-pack: " << message << "\n";
  return 1;
}

void Warn(const std::string& message) { std::cerr << "varnel-pack: warning: " << message << "\n"; }

namespace {

const TOptionDef* FindLong(const std::vector<TOptionDef>& defs, const std::string& name) {
  for (const TOptionDef& def : defs)
    if (def.name == name) return &def;
  return nullptr;
}

const TOptionDef* FindShort(const std::vector<TOptionDef>& defs, char c) {
  for (const TOptionDef& def : defs)
    if (def.shortName == c) return &def;
  return nullptr;
}

bool IsFlagDigit(const char* arg) { return (arg[0] == '0' || arg[0] == '1') && arg[1] == 0; }

}  // namespace

std::string ParseArgs(int argc, char** argv, int first, const std::vector<TOptionDef>& defs, TParsedArgs& out) {
  bool optionsEnded = false;
  for (int i = first; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      out.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      out.help = true;
      continue;
    }
    std::string name, value;
    bool hasValue = false;
    const TOptionDef* def = nullptr;
    if (arg[1] == '-') {
      const size_t eq = arg.find('=');
      name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
        hasValue = true;
      }
      def = FindLong(defs, name);
    } else if (arg.size() == 2) {
      def = FindShort(defs, arg[1]);
    }
    if (!def) return "unknown option " + arg + " (see --help)";
    if (def->takesValue && !hasValue) {
      if (i + 1 >= argc) return "option --" + def->name + " needs a value";
      value = argv[++i];
    } else if (!def->takesValue) {
      bool flag = true;
      if (hasValue && !ParseBool(value, flag)) return "option --" + def->name + " takes 0 or 1, not \"" + value + "\"";
      // "--flag 1" and "--flag 0" read as "--flag=1" and "--flag=0".
      if (!hasValue && i + 1 < argc && !optionsEnded && IsFlagDigit(argv[i + 1])) flag = argv[++i][0] == '1';
      value = flag ? "1" : "0";
    }
    out.values[def->name] = value;
  }
  return "";
}

bool ParseBool(const std::string& text, bool& value) {
  const std::string t = LowerCase(Trim(text));
  if (t == "1" || t == "yes" || t == "true" || t == "on") {
    value = true;
    return true;
  }
  if (t == "0" || t == "no" || t == "false" || t == "off") {
    value = false;
    return true;
  }
  return false;
}

bool ParseUInt(const std::string& text, uint64_t max, uint64_t& value) {
  const std::string t = Trim(text);
  if (t.empty() || t.size() > 19 || t.find_first_not_of("0123456789") != std::string::npos) return false;
  const uint64_t v = std::stoull(t);
  if (v > max) return false;
  value = v;
  return true;
}

#ifdef _WIN32
namespace {

std::string Recode(const std::string& text, UINT from, UINT to) {
  if (text.empty()) return text;
  const int units = ::MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (units <= 0) return text;
  std::wstring wide(static_cast<size_t>(units), L'\0');
  ::MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
  const int bytes = ::WideCharToMultiByte(to, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return text;
  std::string out(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(to, 0, wide.data(), units, out.data(), bytes, nullptr, nullptr);
  return out;
}

}  // namespace

std::string HostToUtf8(const std::string& text) { return Recode(text, CP_ACP, CP_UTF8); }
std::string Utf8ToHost(const std::string& text) { return Recode(text, CP_UTF8, CP_ACP); }
#else
std::string HostToUtf8(const std::string& text) { return text; }
std::string Utf8ToHost(const std::string& text) { return text; }
#endif

bool StdoutIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stdout)) != 0;
#else
  return ::isatty(STDOUT_FILENO) != 0;
#endif
}

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return ::isatty(STDERR_FILENO) != 0;
#endif
}

TProgressBar::TProgressBar(bool enabled, std::string label) : enabled_(enabled), label_(std::move(label)) {}

void TProgressBar::Update(uint64_t done, uint64_t total) {
  if (!enabled_ || total == 0) return;  // no range yet: nothing to show
  const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count();
  if (lastDraw_ >= 0 && now - lastDraw_ < 100 && done < total) return;
  lastDraw_ = now;
  constexpr int kWidth = 40;
  const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
  const int filled = percent * kWidth / 100;
  std::string bar = "\r" + label_ + " [" + std::string(static_cast<size_t>(filled), '#') +
                    std::string(static_cast<size_t>(kWidth - filled), '.') + "] " + std::to_string(percent) + "%";
  std::fputs(bar.c_str(), stderr);
  std::fflush(stderr);
  drawn_ = true;
}

void TProgressBar::Finish() {
  if (!drawn_) return;
  std::fputs(("\r" + std::string(label_.size() + 50, ' ') + "\r").c_str(), stderr);
  std::fflush(stderr);
  drawn_ = false;
}

bool IsAbsolutePath(const std::string& path) {
  if (path.empty()) return false;
  if (path[0] == '/' || path[0] == '\\') return true;
  return path.size() >= 2 && path[1] == ':';
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return "";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string ResolvePath(const std::string& base, const std::string& path) {
  if (base.empty() || path.empty() || IsAbsolutePath(path)) return path;
#ifdef _WIN32
  return base + "\\" + path;
#else
  return base + "/" + path;
#endif
}

std::string CountText(uint64_t count, const char* one, const char* many) {
  return FormatThousands(std::to_string(count)) + " " + (count == 1 ? one : many);
}

std::string SecondsText(int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.2f s", static_cast<double>(ms) / 1000.0);
  return text;
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void WriteStdoutBinary(const std::string& bytes) {
  std::cout.flush();
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

}  // namespace cli
