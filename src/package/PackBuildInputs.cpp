// The builder's inputs: folder walks, the names a package can carry, the
// output's own files, reasons of failures, sizes.
#include <algorithm>
#include <functional>
#include <limits>

#include "package/PackBuild.h"
#include "util/FileIO.h"
#include "util/PathText.h"
#include "util/SysInfo.h"
#include "util/Utils.h"

namespace PackBuild {

namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

bool HasAny(const std::string& text, const std::string& chars) { return text.find_first_of(chars) != std::string::npos; }

// The Windows-1252 superscript digits of a UTF-8 component as single bytes,
// so that the device-name test sees "COM¹" as Windows does.
std::string DeviceTestForm(const std::string& component) {
  std::string form = ReplaceText(component, "\xC2\xB9", "\xB9");
  form = ReplaceText(form, "\xC2\xB2", "\xB2");
  return ReplaceText(form, "\xC2\xB3", "\xB3");
}

std::string ComponentProblem(const std::string& part, const std::string& quoted) {
  if (part.empty() || part.find_first_not_of(". ") == std::string::npos)
    return "the file name " + quoted + " has an empty, \".\" or \"..\" component";
  if (part.back() == '.' || part.back() == ' ')
    return "the file name " + quoted + " has a component that ends in a dot or a blank, which Windows cannot create";
  if (IsWindowsDeviceName(DeviceTestForm(part)))
    return "the file name " + quoted + " has the component " + Quoted(part) +
           ", a device name on Windows (CON, PRN, AUX, NUL, COM1, LPT1, ...)";
  return "";
}

// Walks one folder; returns the number of files found below it. Folders
// that hold no file are reported at the outermost level only.
class TFolderWalk {
 public:
  TFolderWalk(std::vector<TInput>& inputs, std::vector<std::string>* warnings)
      : inputs_(inputs), warnings_(warnings) {}

  bool Walk(const std::string& dir, const std::string& prefix, std::string& error) {
    const size_t before = inputs_.size();
    std::vector<std::string> emptyBelow;
    if (!WalkLevel(dir, prefix, emptyBelow, error)) return false;
    if (inputs_.size() == before)
      Warn("the folder " + Quoted(dir) + " holds no files; nothing of it is carried");
    else
      for (const std::string& empty : emptyBelow) Warn(empty);
    return true;
  }

 private:
  bool WalkLevel(const std::string& dir, const std::string& prefix, std::vector<std::string>& emptyHere,
                 std::string& error) {
    std::vector<Files::platform::TDirEntry> entries;
    std::string reason;
    if (!packbuild_platform::ListFolder(dir, entries, reason)) {
      error = "cannot read " + Quoted(dir) + ": " + ReasonPhrase(reason);
      return false;
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    for (const auto& entry : entries) {
      const std::string source = dir + kSeparator + entry.name;
      const std::string name = prefix.empty() ? entry.name : prefix + "\\" + entry.name;
      if (!entry.isDir) {
        inputs_.push_back({source, name});
        continue;
      }
      if (entry.isLink) {
        Warn("the link " + Quoted(source) + " to a folder is not followed; nothing of it is carried");
        continue;
      }
      const size_t before = inputs_.size();
      std::vector<std::string> emptyBelow;
      if (!WalkLevel(source, name, emptyBelow, error)) return false;
      if (inputs_.size() == before) {
        emptyHere.push_back("the empty folder " + Quoted(source) +
                            " is not carried (the stub creates only the folders of files)");
      } else {
        for (std::string& empty : emptyBelow) emptyHere.push_back(std::move(empty));
      }
    }
    return true;
  }

  void Warn(const std::string& text) {
    if (warnings_) warnings_->push_back(text);
  }

  std::vector<TInput>& inputs_;
  std::vector<std::string>* warnings_;
};

}  // namespace

std::string CollectInputs(const std::vector<std::string>& paths, std::vector<TInput>& inputs,
                          std::vector<std::string>* warnings) {
  TFolderWalk walk(inputs, warnings);
  for (const std::string& path : paths) {
    std::string error;
    if (DirExists(path)) {
      if (!walk.Walk(path, "", error)) return error;
    } else if (FileExists(path)) {
      const size_t slash = path.find_last_of("\\/");
      inputs.push_back({path, slash == std::string::npos ? path : path.substr(slash + 1)});
    } else {
      return "cannot read " + Quoted(path) + ": " + FailureReason(path);
    }
  }
  return "";
}

std::string EntryNameProblem(const std::string& name) {
  const std::string quoted = Quoted(name);
  if (name.empty()) return "a file without a name cannot be carried";
  for (unsigned char c : name)
    if (c < 32) return "the file name " + quoted + " contains a control character";
  if (HasAny(name, "|*:<>\"?")) return "the file name " + quoted + " contains one of | * : < > \" ?";
  if (name.find('/') != std::string::npos) return "the file name " + quoted + " must use \"\\\" as separator";
  if (name.front() == '\\' || name.back() == '\\') return "the file name " + quoted + " is not a relative name";
  size_t start = 0;
  for (;;) {
    const size_t sep = name.find('\\', start);
    const std::string problem =
        ComponentProblem(name.substr(start, sep == std::string::npos ? std::string::npos : sep - start), quoted);
    if (!problem.empty() || sep == std::string::npos) return problem;
    start = sep + 1;
  }
}

std::string InfoItemProblem(const std::string& what, const std::string& text) {
  if (HasAny(text, std::string("|\0", 2))) return "the " + what + " cannot contain \"|\" or NUL";
  return "";
}

bool IsOutputFileName(const std::string& fileName, const std::string& outputName) {
  std::string base = LowerCase(outputName);
  if (EndsWith(".001", base)) base.resize(base.size() - 4);
  std::string name = LowerCase(fileName);
  if (EndsWith(".vptmp", name)) name.resize(name.size() - 6);
  if (name == base) return true;
  if (name.size() != base.size() + 4 || name.compare(0, base.size(), base) != 0 || name[base.size()] != '.')
    return false;
  return name.find_first_not_of("0123456789", base.size() + 1) == std::string::npos;
}

std::string ReasonPhrase(const std::string& systemText) {
  std::string phrase = Trim(systemText);
  while (!phrase.empty() && phrase.back() == '.') phrase.pop_back();
  if (!phrase.empty() && phrase[0] >= 'A' && phrase[0] <= 'Z' &&
      (phrase.size() == 1 || !(phrase[1] >= 'A' && phrase[1] <= 'Z')))
    phrase[0] = static_cast<char>(phrase[0] - 'A' + 'a');
  return phrase.empty() ? "unknown reason" : phrase;
}

std::string FailureReason(const std::string& path) {
  const std::string systemText = LastErrorText();  // before anything else touches it
  if (DirExists(path)) return "is a folder";
  return ReasonPhrase(systemText);
}

uint64_t PieceCount(uint64_t size, uint64_t entrySize) {
  if (entrySize == 0) return 0;
  return size == 0 ? 1 : size / entrySize + (size % entrySize != 0);
}

void SplitEndPointer(uint64_t end, uint32_t& high, uint32_t& low) {
  high = static_cast<uint32_t>(end >> 32);
  low = static_cast<uint32_t>(end);
}

bool ParseSize(const std::string& text, uint64_t& bytes) {
  const std::string t = Trim(text);
  size_t digits = 0;
  while (digits < t.size() && t[digits] >= '0' && t[digits] <= '9') ++digits;
  if (digits == 0 || digits > 15) return false;
  uint64_t value = std::stoull(t.substr(0, digits));
  const std::string unit = UpperCase(t.substr(digits));
  int shift = 0;
  if (unit == "K" || unit == "KB" || unit == "KIB") shift = 10;
  else if (unit == "M" || unit == "MB" || unit == "MIB") shift = 20;
  else if (unit == "G" || unit == "GB" || unit == "GIB") shift = 30;
  else if (!unit.empty()) return false;
  if (value > (std::numeric_limits<uint64_t>::max() >> shift)) return false;
  bytes = value << shift;
  return true;
}

}  // namespace PackBuild
