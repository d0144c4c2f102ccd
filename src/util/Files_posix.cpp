// POSIX backend of the file utilities, for the host tools and native tests.
// There are no drive letters, CD trays or batch files here.
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <memory>

#include "util/FileIO.h"
#include "util/Files.h"

namespace Files {

namespace platform {

std::vector<TDirEntry> ListDir(const std::string& dir) {
  std::vector<TDirEntry> entries;
  const std::string native = NativePath(dir);
  std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(native.c_str()), ::closedir);
  if (!handle) return entries;
  while (const dirent* d = ::readdir(handle.get())) {
    std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    const std::string full = native + "/" + name;
    struct stat linkInfo {}, targetInfo {};
    if (::lstat(full.c_str(), &linkInfo) != 0) continue;
    TDirEntry entry;
    entry.name = name;
    entry.isLink = S_ISLNK(linkInfo.st_mode);
    entry.isDir = entry.isLink ? (::stat(full.c_str(), &targetInfo) == 0 && S_ISDIR(targetInfo.st_mode))
                               : S_ISDIR(linkInfo.st_mode);
    entries.push_back(std::move(entry));
  }
  return entries;
}

bool MakeDir(const std::string& dir) { return ::mkdir(NativePath(dir).c_str(), 0755) == 0; }

bool RemoveDir(const std::string& dir) {
  const std::string native = NativePath(dir);
  struct stat st {};
  // A link to a directory is removed as a link.
  if (::lstat(native.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return ::unlink(native.c_str()) == 0;
  return ::rmdir(native.c_str()) == 0;
}

bool IsLink(const std::string& path) {
  struct stat st {};
  return ::lstat(NativePath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool RemoveLink(const std::string& path) { return IsLink(path) && ::unlink(NativePath(path).c_str()) == 0; }

int DriveType(char) { return 1; }

}  // namespace platform

int64_t FileSizeByName(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(NativePath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<int64_t>(st.st_size);
}

double DiskFreeBytes(const std::string& path) {
  std::string p = NativePath(path);
  struct statvfs vfs {};
  // Walk up to an existing folder: the path may not exist yet.
  while (!p.empty() && ::statvfs(p.c_str(), &vfs) != 0) {
    size_t slash = p.find_last_of('/');
    if (slash == std::string::npos) return 0;
    if (slash == 0) {
      if (p == "/") return 0;
      p = "/";
    } else {
      p.resize(slash);
    }
  }
  if (p.empty()) return 0;
  return static_cast<double>(vfs.f_bavail) * static_cast<double>(vfs.f_frsize);
}

double platform::ClassicDiskFreeBytes(const std::string& path) { return DiskFreeBytes(path); }

bool DeleteFiles(const std::string& mask, bool clearAttributes) {
  const std::string native = NativePath(mask);
  size_t slash = native.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : native.substr(0, slash + 1);
  std::string pattern = slash == std::string::npos ? native : native.substr(slash + 1);
  if (pattern == "*.*") pattern = "*";  // as on Windows: names without a dot match too
  std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(folder.empty() ? "." : folder.c_str()), ::closedir);
  if (!handle) return false;
  bool found = false;
  while (const dirent* d = ::readdir(handle.get())) {
    const std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    if (::fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) != 0) continue;
    const std::string full = folder + name;
    struct stat st {};
    if (::lstat(full.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
    found = true;
    if (clearAttributes && S_ISREG(st.st_mode)) ::chmod(full.c_str(), 0644);
    ::unlink(full.c_str());
  }
  return found;
}

bool EjectCD(const std::string&) { return false; }

bool DeleteMySelf(bool, bool) { return false; }

std::string StartSelfDeleteBatch(const TSelfDeleteJob&) { return {}; }

}  // namespace Files
