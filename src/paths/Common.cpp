#include "paths/Common.h"

#include "paths/RunTimeDir.h"
#include "paths/ShellDir.h"
#include "util/Files.h"
#include "util/PathText.h"
#include "util/Utils.h"
#include "util/VxSUB.h"

namespace {

// Values the directory, drive and folder macros read.
enum TValueId : unsigned char {
  kLoggedUser, kOwner, kOrganization, kComputer, kDomain, kExitCode, kRequiredMB,
  kApplication, kCommon, kAuxiliary, kWindows, kSystem, kSystem16, kStartMenu, kProgramFiles,
  kCommonFiles, kFonts, kSource, kOrigin, kTemp,
  kEntered,             // kEntered + index in kEnteredNames
  kShell = kEntered + 9  // kShell + TShellDir
};

// A macro and its value: cut 0 takes the whole value by the directory rule,
// 2 or 3 that many first characters as a plain value (drives and disks),
// kPlain the whole value as it is.
constexpr unsigned char kPlain = 255;
struct TMacro {
  const char* name;
  unsigned char value;
  unsigned char cut;
};

constexpr TMacro kLegacyMacros[] = {
    {"<Application Folder>", kApplication, 0}, {"<Common Folder>", kCommon, 0},
    {"<Auxiliary Folder>", kAuxiliary, 0},     {"<Windows Directory>", kWindows, 0},
    {"<System Directory>", kSystem, 0},        {"<System16 Directory>", kSystem16, 0},
};

constexpr const char* kInstallMacros[] = {"<InstallDir>", "<InstallCommonDir>", "<InstallAuxDir>"};

// After <AbsoluteDir>, in the order of the table; <ServiceDir> comes after
// <TempDir> (kServiceAfter rows).
constexpr TMacro kDirMacros[] = {
    {"<InstallDir>", kApplication, 0}, {"<InstallCommonDir>", kCommon, 0},
    {"<InstallAuxDir>", kAuxiliary, 0}, {"<WinDir>", kWindows, 0},
    {"<WinSysDir>", kSystem, 0},        {"<WinSys32Dir>", kSystem, 0},
    {"<WinSys16Dir>", kSystem16, 0},    {"<InstallDrive>", kApplication, 3},
    {"<WinDrive>", kWindows, 3},        {"<WinSysDrive>", kSystem, 3},
    {"<OriginDrive>", kOrigin, 3},      {"<InstallDisk>", kApplication, 2},
    {"<WinDisk>", kWindows, 2},         {"<WinSysDisk>", kSystem, 2},
    {"<OriginDisk>", kOrigin, 2},       {"<StartMenuDir>", kStartMenu, 0},
    {"<ProgramFilesDir>", kProgramFiles, 0}, {"<CommonFilesDir>", kCommonFiles, 0},
    {"<FontDir>", kFonts, 0},           {"<SrcDir>", kSource, 0},
    {"<OriginDir>", kOrigin, 0},        {"<TempDir>", kTemp, 0},
};

constexpr TMacro kShellMacros[] = {
    {"<UserDir>", kShell + int(TShellDir::User), 0},
    {"<UserAppDataDir>", kShell + int(TShellDir::UserAppData), 0},
    {"<UserLocalAppDataDir>", kShell + int(TShellDir::UserLocalAppData), 0},
    {"<MyDocumentsDir>", kShell + int(TShellDir::MyDocuments), 0},
    {"<UserStartMenuDir>", kShell + int(TShellDir::UserStartMenu), 0},
    {"<UserStartProgramMenuDir>", kShell + int(TShellDir::UserStartProgramMenu), 0},
    {"<UserDesktopDir>", kShell + int(TShellDir::UserDesktop), 0},
    {"<DocumentsAndSettingsDir>", kShell + int(TShellDir::DocumentsAndSettings), 0},
    {"<AllUsersDir>", kShell + int(TShellDir::AllUsers), 0},
    {"<AllUsersAppDataDir>", kShell + int(TShellDir::AllUsersAppData), 0},
    {"<AllUsersDocumentsDir>", kShell + int(TShellDir::AllUsersDocuments), 0},
    {"<AllUsersStartMenuDir>", kShell + int(TShellDir::AllUsersStartMenu), 0},
    {"<AllUsersStartProgramMenuDir>", kShell + int(TShellDir::AllUsersStartProgramMenu), 0},
    {"<AllUsersDesktopDir>", kShell + int(TShellDir::AllUsersDesktop), 0},
};

// Names of the entered values, as the engine knows them.
constexpr const char* kEnteredNames[] = {
    "UserName",    "CompanyName",    "EnteredStartProgramMenu", "VendorCompanyName", "ProjectName",
    "ProgramDescriptiveName", "ProgramVersion", "SelectedLanguage", "UnInstallExePath",
};

constexpr TMacro kNameMacros[] = {
    {"<LoggedUserName>", kLoggedUser, kPlain},
    {"<UserName>", kOwner, kPlain},
    {"<CompanyName>", kOrganization, kPlain},
    {"<ComputerName>", kComputer, kPlain},
    {"<CurrentDomainName>", kDomain, kPlain},
    {"<LastExecutableExitCode>", kExitCode, kPlain},
    {"<ReqFreeDiskSpaceMB>", kRequiredMB, kPlain},
    {"<EnteredUserName>", kEntered + 0, kPlain},
    {"<EnteredCompanyName>", kEntered + 1, kPlain},
    {"<EnteredStartProgramMenu>", kEntered + 2, kPlain},
    {"<VendorCompanyName>", kEntered + 3, kPlain},
    {"<ProjectName>", kEntered + 4, kPlain},
    {"<ProgramDescriptiveName>", kEntered + 5, kPlain},
    {"<ProgramVersion>", kEntered + 6, kPlain},
    {"<SelectedLanguage>", kEntered + 7, kPlain},
};
constexpr TMacro kUnInstallMacro = {"<UnInstallExePath>", kEntered + 8, kPlain};

// Megabytes rounded to whole ones, without passing through floating point.
std::string RoundedMegabytes(int64_t bytes) {
  constexpr int64_t kMB = 1048576;
  int64_t mb = bytes / kMB;
  const int64_t rest = bytes % kMB;
  if (rest >= kMB / 2) ++mb;
  if (rest <= -kMB / 2) --mb;
  return IntToText(mb);
}

const char kCurrentVersionKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char kShellFoldersKey[] =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

bool Has(const std::string& text, const char* macro) { return PosCI(macro, text) != 0; }

size_t CountCI(const std::string& text, const std::string& macro) {
  const std::string folded = UpperCase(text), key = UpperCase(macro);
  size_t count = 0;
  for (size_t at = folded.find(key); at != std::string::npos; at = folded.find(key, at + key.size())) ++count;
  return count;
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string Clean(const std::string& dir) { return WithBackslash(dir, false); }

class TExpander {
 public:
  TExpander(TPathSystem& system, const TMacroHooks& hooks, const std::string& suffix, size_t limit)
      : system_(system), hooks_(hooks), suffix_(suffix), limit_(limit) {}

  void Apply(std::string& text, const TMacro& macro) const {
    if (!Has(text, macro.name)) return;
    const std::string value = Value(macro.value);
    Replace(text, macro.name, macro.cut == kPlain || macro.cut == 0 ? value : value.substr(0, macro.cut),
            macro.cut == 0);
  }

  // Replaces unless the text would outgrow the limit; then it stays and the
  // whole expansion is given up.
  void Replace(std::string& text, const std::string& macro, const std::string& value, bool dir) const {
    if (tooLong_) return;
    const size_t count = CountCI(text, macro);
    if (count == 0) return;
    if (text.size() >= limit_ || value.size() + suffix_.size() > (limit_ - text.size()) / count) {
      tooLong_ = true;
      return;
    }
    text = dir ? ReplaceDirMacro(text, macro, value, suffix_) : ReplaceTextCI(text, macro, value);
  }

  template <size_t N>
  void ApplyAll(std::string& text, const TMacro (&table)[N]) const {
    for (const TMacro& m : table) Apply(text, m);
  }

  std::string Value(unsigned char id) const {
    if (id >= kShell) return ShellDir(system_, static_cast<TShellDir>(id - kShell));
    if (id >= kEntered) return hooks_.enteredValue ? hooks_.enteredValue(kEnteredNames[id - kEntered]) : "";
    switch (id) {
      case kLoggedUser: return Trim(system_.LoggedUserName());
      case kOwner: return Trim(system_.RegisteredOwner());
      case kOrganization: return Trim(system_.RegisteredOrganization());
      case kComputer: return Trim(system_.ComputerName());
      case kDomain: return system_.UserDomain();
      case kExitCode: return IntToText(hooks_.lastExitCode);
      case kRequiredMB: return RoundedMegabytes(hooks_.requiredFreeBytes);
      case kApplication: return Clean(hooks_.applicationFolder);
      case kCommon: return Clean(hooks_.commonFolder);
      case kAuxiliary: return Clean(hooks_.auxiliaryFolder);
      case kWindows: return Clean(system_.WindowsDir());
      case kSystem: return Clean(system_.SystemDir());
      case kSystem16: return System16();
      case kStartMenu: return Clean(system_.RegValue(kShellFoldersKey, "Start Menu"));
      case kProgramFiles: return Clean(system_.RegValue(kCurrentVersionKey, "ProgramFilesDir"));
      case kCommonFiles: return Clean(system_.RegValue(kCurrentVersionKey, "CommonFilesDir"));
      case kFonts: {
        const std::string fonts = Clean(system_.RegValue(kShellFoldersKey, "Fonts"));
        return Exists(fonts) ? fonts : Clean(system_.WindowsDir()) + "\\Fonts";
      }
      case kSource: return ParentDir(system_.ExePath());
      case kOrigin: return ParentDir(system_.OriginPath());
      default: return Clean(system_.TempDir());
    }
  }

  // The system directory without its last "32", else Windows\System, else
  // the system directory.
  std::string System16() const {
    const std::string system = Clean(system_.SystemDir());
    const size_t p = system.rfind("32");
    if (p != std::string::npos) {
      const std::string without = system.substr(0, p) + system.substr(p + 2);
      if (Exists(without)) return without;
    }
    const std::string old = Clean(system_.WindowsDir()) + "\\System";
    return Exists(old) ? old : system;
  }

  // <ServiceDir>: the own folder, or the folder of the first listed service
  // executable whose path then occurs in the expanded text.
  std::string ServiceDir(const std::string& text) const {
    static const char kMacro[] = "<ServiceDir>";
    if (!Has(text, kMacro)) return text;
    const std::string own = ReplaceDirMacro(text, kMacro, ParentDir(system_.ExePath()), suffix_);
    const std::string& list = hooks_.serviceExes;
    if (list.size() <= 2) return own;
    const char delimiter = list[0];
    size_t start = 1;
    for (size_t end; (end = list.find(delimiter, start)) != std::string::npos; start = end + 1) {
      const std::string exe = CollapseBackslashes(list.substr(start, end - start));
      if (exe.empty()) continue;
      const std::string candidate =
          CollapseBackslashes(ReplaceDirMacro(text, kMacro, ParentDir(exe), suffix_));
      if (PosCI(exe, candidate) != 0) return candidate;
    }
    return own;
  }

  bool Exists(const std::string& dir) const { return !dir.empty() && system_.DirExists(dir); }

  TPathSystem& system_;
  const TMacroHooks& hooks_;
  const std::string& suffix_;
  const size_t limit_;
  mutable bool tooLong_ = false;
};

// User-defined macros: each "<...>" token found in the list is replaced by
// its value; scanning goes on behind what was put in.
std::string ExpandUserMacros(const std::string& text, const std::string& macros, size_t limit) {
  if (macros.empty()) return text;
  const TValueList list(macros, false, true);
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t open = text.find('<', pos);
    // Without a ">" behind this "<" no later "<" has one either.
    const size_t close = open == std::string::npos ? open : text.find('>', open + 1);
    if (close == std::string::npos) break;
    const std::string token = text.substr(open, close - open + 1);
    out.append(text, pos, open - pos);
    out += list.Get(token, token);
    pos = close + 1;
    if (out.size() > limit) return text;
  }
  out.append(text, pos, std::string::npos);
  return out;
}

// Only the first date macro counts: "<Date=" + code + ">".
std::string ExpandDate(TPathSystem& system, const std::string& text) {
  const size_t at = PosCI("<Date=", text);
  if (at == 0) return text;
  const size_t code = at - 1 + 6;
  // The code must be closed by ">" directly: a character in its place is
  // never swallowed.
  const std::string date =
      code + 1 < text.size() && text[code + 1] == '>' ? DateMacroText(system, text[code]) : "";
  if (date.empty()) {
    Files::TraceText("ExpandMacros: date macro left as it is (unknown code or no \">\" after it)");
    return text;
  }
  return text.substr(0, at - 1) + date + text.substr(code + 2);
}

bool HasRelativePart(const std::string& path) {
  return path.find("\\..") != std::string::npos || path.find("..\\") != std::string::npos;
}

std::string Absolute(TPathSystem& system, const std::string& path, bool& traced) {
  if (!HasRelativePart(path)) return path;
  const std::string full = system.FullPath(path);
  if (!full.empty()) return full;
  if (!traced) Files::TraceText("ExpandMacros: a relative path could not be made absolute; kept as it is");
  traced = true;
  return path;
}

// A "," or "|" list has each item resolved on its own; any other text as one path.
std::string ResolveRelative(TPathSystem& system, const std::string& text) {
  if (!HasRelativePart(text)) return text;
  bool traced = false;
  if (text[0] != ',' && text[0] != '|') return Absolute(system, text, traced);
  const char delimiter = text[0];
  std::string out(1, delimiter);
  size_t start = 1;
  while (start <= text.size()) {
    size_t end = text.find(delimiter, start);
    if (end == std::string::npos) end = text.size();
    out += Absolute(system, text.substr(start, end - start), traced);
    if (end < text.size()) out += delimiter;
    start = end + 1;
  }
  return out;
}

std::string Two(int value) { return ZeroPad(value, 2); }

// Names the first "<...>" left in an expanded text (an unknown macro).
void TraceLeftMacro(const std::string& text) {
  const size_t open = text.find('<');
  const size_t close = open == std::string::npos ? open : text.find('>', open);
  if (close == std::string::npos) return;
  const size_t length = close - open + 1;
  Files::TraceText("ExpandMacros: unknown macro left as it is: " + text.substr(open, length > 64 ? 64 : length));
}

}  // namespace

TMacroHooks& MacroHooks() {
  static TMacroHooks hooks;
  return hooks;
}

void SetInstallFolders(const std::string& application, const std::string& common,
                       const std::string& auxiliary) {
  TMacroHooks& hooks = MacroHooks();
  hooks.applicationFolder = Clean(application);
  hooks.commonFolder = Clean(common);
  hooks.auxiliaryFolder = Clean(auxiliary);
}

std::string ReplaceDirMacro(const std::string& text, const std::string& macro, const std::string& value,
                            const std::string& suffix) {
  if (macro.empty()) return text;
  const std::string folded = UpperCase(text), key = UpperCase(macro);
  size_t at = folded.find(key);
  if (at == std::string::npos) return text;
  std::string out;
  size_t done = 0;
  for (; at != std::string::npos; at = folded.find(key, done)) {
    // Each occurrence decides on its own, so that one macro that ends an
    // item of a list and again begins a path gets both right.
    const size_t after = at + key.size();
    bool bare = value.empty() || after >= text.size() || text[after] == ' ';
    if (!bare) {
      const char c = text[after];
      bare = c == text.front() && c == text.back() && c != '<' && !IsLetter(c);
    }
    out.append(text, done, at - done);
    out += value;
    if (!bare) out += suffix;
    done = after;
  }
  out.append(text, done, std::string::npos);
  return out;
}

std::string DateMacroText(TPathSystem& system, char code) {
  // Patterns by code: D day, M month, N month name, y two-digit year, Y
  // four-digit year, h n s time; "/" and ":" the system's separators.
  static const char* const kPatterns[] = {"D-M-y", "M-D-y", "y-M-D", "D-M-Y", "M-D-Y", "Y-M-D", "Y-M-D h:n:s"};
  const TDateTimeParts now = system.Now();
  if (code == '0') {
    TDateTimeParts base;
    base.year = 2000, base.month = 1, base.day = 1;
    double days = EncodeDateTime(now) - EncodeDateTime(base);
    return IntToText(static_cast<int64_t>(days < 0 ? -days : days));
  }
  const char* pattern = code == '#' ? "D/N/Y" : code >= '1' && code <= '7' ? kPatterns[code - '1'] : "";
  std::string out;
  for (; *pattern; ++pattern) {
    switch (*pattern) {
      case 'D': out += Two(now.day); break;
      case 'M': out += Two(now.month); break;
      case 'N': out += system.LongMonthName(now.month); break;
      case 'y': out += Two(now.year % 100); break;
      case 'Y': out += ZeroPad(now.year, 4); break;
      case 'h': out += Two(now.hour); break;
      case 'n': out += Two(now.minute); break;
      case 's': out += Two(now.second); break;
      case '/': out += system.DateSeparator(); break;
      case ':': out += system.TimeSeparator(); break;
      default: out += *pattern;
    }
  }
  return out;
}

std::string ExpandMacrosWith(TPathSystem& system, const TMacroHooks& hooks, const std::string& text,
                             const std::string& suffix, bool resolveRelative, bool withDirectories,
                             bool withUserMacros) {
  std::string result = text;
  if (text.find('<') != std::string::npos) {
    const size_t limit = text.size() + kMacroGrowthLimit;
    const TExpander x(system, hooks, suffix, limit);
    std::string t = withUserMacros ? ExpandUserMacros(text, hooks.userMacros, limit) : text;
    t = ExpandDate(system, t);
    x.ApplyAll(t, kNameMacros);
    result = t;
    if (withDirectories) {
      x.Apply(t, kUnInstallMacro);
      // A text that names a legacy folder or a run-time directory uses the
      // old scheme: the <Install...> macros in it go.
      const std::string before = t;
      if (Has(t, "<RunTimeDir_")) {
        for (int n = 1; n <= kRunTimeDirSlots; ++n)
          x.Replace(t, "<RunTimeDir_" + IntToText(n) + ">", RunTimeDir(n), true);
      }
      x.ApplyAll(t, kLegacyMacros);
      if (t != before)
        for (const char* m : kInstallMacros) t = ReplaceTextCI(t, m, "");
      t = ReplaceTextCI(t, "<AbsoluteDir>", "");
      x.ApplyAll(t, kDirMacros);
      t = x.ServiceDir(t);
      x.ApplyAll(t, kShellMacros);
      if (t != result) result = CollapseBackslashes(t);
      TraceLeftMacro(result);
    }
    if (x.tooLong_) {
      Files::TraceText("ExpandMacros: the expanded text would grow beyond its limit; left as it is");
      return text;
    }
  }
  return resolveRelative ? ResolveRelative(system, result) : result;
}

std::string ExpandMacros(const std::string& text, const std::string& suffix, bool resolveRelative,
                         bool withDirectories, bool withUserMacros) {
  return ExpandMacrosWith(DefaultPathSystem(), MacroHooks(), text, suffix, resolveRelative,
                          withDirectories, withUserMacros);
}
