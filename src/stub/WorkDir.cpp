#include "stub/WorkDir.h"

#include "util/PathText.h"
#include "util/Utils.h"

namespace WorkDir {

const char* ClaimText(TClaim claim) {
  switch (claim) {
    case TClaim::Claimed: return "claimed";
    case TClaim::HeldByOther: return "in use by another run";
    case TClaim::NotEmptied: return "could not be emptied";
    case TClaim::NotCreated: return "could not be created anew";
    case TClaim::NotHeld: return "could not be held";
  }
  return "";
}

TClaim Claim(const std::string& dir, const TOps& ops) {
  if (dir.empty()) return TClaim::NotCreated;
  if (ops.exists(dir)) {
    // Checked before anything is deleted: emptying a held folder would
    // delete the other run's files before failing on the folder itself.
    if (ops.heldByOther(dir)) return TClaim::HeldByOther;
    ops.clear(dir);
    if (ops.exists(dir)) return TClaim::NotEmptied;
  }
  // A fresh folder of this process; one that another process created after
  // the emptying is not taken.
  if (!ops.makeFresh(dir)) return TClaim::NotCreated;
  if (!ops.hold(dir)) {
    ops.removeEmpty(dir);
    return TClaim::NotHeld;
  }
  return TClaim::Claimed;
}

bool Adopt(const std::string& dir, const TOps& ops) { return !dir.empty() && ops.exists(dir) && ops.hold(dir); }

bool Release(const std::string& dir, const TOps& ops) {
  if (dir.empty()) return false;
  ops.clear(dir);  // the folder itself stays while it is held
  if (ops.exists(dir) && !ops.isEmpty(dir)) return false;
  ops.unhold(dir);
  if (ops.exists(dir)) ops.removeEmpty(dir);
  return !ops.exists(dir);
}

std::string ClaimFirst(const std::vector<std::string>& names, const std::string& skip, const TOps& ops,
                       std::vector<std::pair<std::string, TClaim>>* tried) {
  const std::string skipped = NoTrailingBackslash(skip);
  for (const std::string& name : names) {
    if (!skipped.empty() && SameText(NoTrailingBackslash(name), skipped)) continue;
    const TClaim claim = Claim(name, ops);
    if (tried) tried->emplace_back(name, claim);
    if (claim == TClaim::Claimed) return name;
  }
  return {};
}

}  // namespace WorkDir
