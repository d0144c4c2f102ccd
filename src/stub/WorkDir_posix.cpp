// Claiming folders on POSIX (host tools and native tests): folders are held
// within this process only; another process is never seen holding one.
#include "stub/WorkDir.h"

#include <sys/stat.h>

#include <set>

#include "util/FileIO.h"
#include "util/Files.h"
#include "util/PathText.h"
#include "util/Utils.h"

namespace WorkDir {

namespace {

std::set<std::string>& Holds() {
  static std::set<std::string> holds;
  return holds;
}

std::string Key(const std::string& dir) { return NoTrailingBackslash(dir); }

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(NativePath(path).c_str(), &st) == 0;
}

bool IsLink(const std::string& path) {
  struct stat st {};
  return ::lstat(NativePath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool HeldByOther(const std::string&) { return false; }

bool Clear(const std::string& dir) {
  if (IsLink(dir))
    Files::platform::RemoveDir(dir);
  else if (DirExists(dir))
    Files::DeleteTree(dir);
  return !Exists(dir);
}

bool MakeFresh(const std::string& dir) {
  const std::string clean = NoTrailingBackslash(dir);
  const size_t cut = clean.find_last_of("\\/");
  if (cut != std::string::npos && cut > 0) Files::CreateDirTree(clean.substr(0, cut));
  return Files::platform::MakeDir(clean);
}

bool Hold(const std::string& dir) {
  if (!DirExists(dir) || IsLink(dir)) return false;
  Holds().insert(Key(dir));
  return true;
}

void Unhold(const std::string& dir) { Holds().erase(Key(dir)); }

bool IsEmpty(const std::string& dir) { return Files::platform::ListDir(dir).empty(); }

bool RemoveEmpty(const std::string& dir) { return Files::platform::RemoveDir(dir); }

}  // namespace

const TOps& SystemOps() {
  static const TOps ops{Exists, HeldByOther, Clear, MakeFresh, Hold, Unhold, IsEmpty, RemoveEmpty};
  return ops;
}

}  // namespace WorkDir
