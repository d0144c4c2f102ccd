#include "autoupdate/Process.h"

#include <algorithm>

#include "util/PathText.h"
#include "util/Utils.h"
#include "util/VxSUB.h"

namespace {

constexpr const char* kIdleProcessName = "System Idle Process";

bool IsPlaceholder(const std::string& text) {
  const std::string t = Trim(text);
  return t == kNoShortForm || t == kNoMatchName;
}

}  // namespace

std::string NormalizeProcessPath(const std::string& path) {
  std::string out;
  for (char c : Trim(path))
    if (c != '"') out += c;
  return Trim(out);
}

std::string CanonicalProcessPath(const std::string& path) {
  std::string p = ReplaceChar(NormalizeProcessPath(path), '/', '\\');
  if (StartsWith("\\\\?\\UNC\\", p, true))
    p = "\\\\" + p.substr(8);
  else if (StartsWith("\\\\?\\", p))
    p = p.substr(4);
  return CollapseBackslashes(p);
}

bool IsBareFileName(const std::string& path) {
  return path.find_first_of("\\/:") == std::string::npos;
}

std::string ProcessFileName(const std::string& path) {
  const size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string ShortFormOrPlaceholder(const std::string& shortForm) {
  return Trim(shortForm).empty() ? std::string(kNoShortForm) : shortForm;
}

bool SameProcessName(const std::string& a, const std::string& b) {
  if (Trim(a).empty() || Trim(b).empty() || IsPlaceholder(a) || IsPlaceholder(b)) return false;
  return SameTextTrim(a, b);
}

std::vector<TProcessInfo> ProcessesOfSession(const std::vector<TProcessInfo>& processes, uint32_t session) {
  std::vector<TProcessInfo> own;
  for (const TProcessInfo& p : processes)
    if (p.sessionKnown && p.sessionId == session) own.push_back(p);
  return own;
}

bool ProcessMatchesPath(const TProcessInfo& process, const std::string& path,
                        const std::string& pathShort, bool fullPathOnly) {
  const std::string wanted = NormalizeProcessPath(path);
  const bool byName = !fullPathOnly && IsBareFileName(wanted);
  return SameProcessName(CanonicalProcessPath(process.fullPath), CanonicalProcessPath(wanted)) ||
         (byName && SameProcessName(process.exeName, wanted)) ||
         SameProcessName(ShortFormOrPlaceholder(process.shortPath),
                         ShortFormOrPlaceholder(pathShort));
}

uint32_t FindProcessIdIn(const std::vector<TProcessInfo>& processes, const std::string& path,
                         const std::string& pathShort, bool fullPathOnly) {
  const std::string wanted = NormalizeProcessPath(path);
  for (auto it = processes.rbegin(); it != processes.rend(); ++it)
    if (it->id != 0 && ProcessMatchesPath(*it, wanted, pathShort, fullPathOnly)) return it->id;
  return 0;
}

bool IsProcessRunningIn(const std::vector<TProcessInfo>& processes, const std::string& path,
                        const std::string& pathShort) {
  const std::string wanted = NormalizeProcessPath(path);
  return std::any_of(processes.begin(), processes.end(), [&](const TProcessInfo& p) {
    return p.id != 0 && ProcessMatchesPath(p, wanted, pathShort, false);
  });
}

uint32_t ProcessIdToTerminateIn(const std::vector<TProcessInfo>& processes, const std::string& path,
                                const std::string& pathShort) {
  const std::string wanted = NormalizeProcessPath(path);
  for (const TProcessInfo& p : processes)
    if (p.id != 0 && ProcessMatchesPath(p, wanted, pathShort, true)) return p.id;
  return 0;
}

std::string BuildProcessList(const std::vector<TProcessInfo>& processes, bool fullPaths) {
  std::vector<std::string> names;
  std::vector<std::string> items;
  for (const TProcessInfo& p : processes) {
    std::string name = p.id == 0 ? std::string(kIdleProcessName)
                                 : Trim(fullPaths ? p.fullPath : p.exeName);
    if (name.empty()) continue;
    const bool seen = std::any_of(names.begin(), names.end(),
                                  [&](const std::string& n) { return SameText(n, name); });
    if (seen) continue;
    names.push_back(name);
    items.push_back(name + "=" + std::to_string(p.id));
  }
  return SUB::ListFromArray(items);
}

// ---------------------------------------------------------------------------

bool TAnalizer::Add(const TWindowFacts& window) {
  if (Count() >= kMaxWindows) return false;
  windows_.push_back(window);
  scores_.clear();
  return true;
}

TWindowHandle TAnalizer::LastOwner(const TWindowFacts& window, const TOwnerOf& ownerOf) const {
  auto next = [&](TWindowHandle h) -> TWindowHandle {
    if (ownerOf) return ownerOf(h);
    for (const TWindowFacts& w : windows_)
      if (w.handle == h) return w.owner;
    return 0;
  };
  // Owner chains are short; the bound only guards against a cycle.
  TWindowHandle last = window.handle;
  TWindowHandle owner = window.owner;
  for (int step = 0; owner != 0 && owner != window.handle && step < 256; ++step) {
    last = owner;
    owner = next(owner);
  }
  return last;
}

void TAnalizer::Score(const TOwnerOf& ownerOf) {
  scores_.assign(windows_.size(), 0);
  for (const TWindowFacts& w : windows_) {
    const TWindowHandle root = LastOwner(w, ownerOf);
    for (size_t i = 0; i < windows_.size(); ++i)
      if (windows_[i].handle == root) ++scores_[i];
  }
  for (size_t i = 0; i < windows_.size(); ++i) {
    scores_[i] = static_cast<uint16_t>(scores_[i] * 4 + (windows_[i].titled ? 2 : 0) +
                                       (windows_[i].visible ? 1 : 0));
  }
}

TWindowHandle TAnalizer::MainWindow(const TOwnerOf& ownerOf) {
  if (scores_.size() != windows_.size() || (ownerOf && !windows_.empty())) Score(ownerOf);
  TWindowHandle best = 0;
  int bestScore = -1;
  for (size_t i = 0; i < windows_.size(); ++i) {
    if (scores_[i] > bestScore) {
      bestScore = scores_[i];
      best = windows_[i].handle;
    }
  }
  return best;
}
