// Portable part of the file utilities: reads and writes through TFile, path
// logic, and the tree operations built on the backends' directory listing.
#include "util/Files.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "stub/VxDebug.h"
#include "util/FileIO.h"
#include "util/SysInfo.h"
#include "util/Utils.h"
#include "util/Exceptions.h"

namespace Files {

namespace {

constexpr int64_t kMiB = 1048576;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string Join(const std::string& dir, const std::string& name) {
  if (!dir.empty() && IsSeparator(dir.back())) return dir + name;
  return dir + "\\" + name;
}

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && IsSeparator(path.back())) path.pop_back();
  return path;
}

// The path that names a folder itself rather than what is inside: without
// trailing separators (through which a link would be followed), except for
// a drive root.
std::string OwnNameOf(const std::string& dir) {
  std::string path = WithoutTrailingSeparators(dir);
  return !path.empty() && path.back() == ':' ? dir : path;
}

// Writes data piece by piece, reporting to progress before the first piece
// and after each one. Returns the number of bytes written.
int64_t WriteInPieces(TFile& file, std::string_view data, const TProgress& progress) {
  const int64_t total = static_cast<int64_t>(data.size());
  const int64_t piece = WritePieceSize(total);
  int64_t done = 0;
  bool cancel = false;
  if (progress) progress(total, done, cancel);
  while (done < total && !cancel) {
    int64_t count = std::min(piece, total - done);
    int64_t written = file.Write(data.data() + done, count);
    if (written <= 0) break;
    done += written;
    if (progress) progress(total, done, cancel);
    if (written < count) break;
  }
  return done;
}

}  // namespace

std::string ReadFilePart(const std::string& path, int64_t maxLength, bool trim, int64_t offset) {
  TFile file(path, TFile::Mode::Read);
  if (!file.IsOpen() || offset < 0) return {};
  const int64_t size = file.Size();
  if (offset >= size) return {};
  int64_t count = size - offset;
  if (maxLength > 0) count = std::min(count, maxLength);
  VX_TRY {
    std::string text(static_cast<size_t>(count), '\0');
    if (!file.ReadAt(offset, text.data(), count)) return {};
    return trim ? Trim(text) : text;
  }
  VX_CATCH(const std::exception&) {  // std::bad_alloc, or a length past what a string holds
    return {};
  }
}

int64_t WritePieceSize(int64_t length) {
  const int64_t tenth = length / 10;
  if (tenth <= 1024) return std::min<int64_t>(1024, length);
  return std::min(tenth, kMiB);
}

bool WriteFile(const std::string& path, std::string_view data, int32_t dosDateTime, const TProgress& progress,
               bool append) {
  TFile file(path, append ? TFile::Mode::Append : TFile::Mode::Create);
  if (!file.IsOpen()) return false;
  const int64_t total = static_cast<int64_t>(data.size());
  int64_t done = 0;
  if (progress || total > kMiB) {
    done = WriteInPieces(file, data, progress);
  } else if (total > 0) {
    done = std::max<int64_t>(0, file.Write(data.data(), total));
  }
  const bool complete = done == total;
  if (complete && dosDateTime != 0) file.SetDosDate(dosDateTime);
  return complete;
}

bool AppendText(const std::string& path, const std::string& text, bool addLineBreak, int32_t dosDateTime) {
  if (!addLineBreak) return WriteFile(path, text, dosDateTime, nullptr, true);
  return WriteFile(path, text + "\r\n", dosDateTime, nullptr, true);
}

std::string DriveRoot(const std::string& path, bool driveLetter) {
  if (path.empty()) return {};
  std::string p = ReplaceChar(path, '/', '\\');
  if (driveLetter || p.size() < 3) return std::string(1, UpChar(p[0])) + ":\\";
  size_t cut = p.find('\\', 3);  // the first backslash at position 4 or later
  return cut == std::string::npos ? p : p.substr(0, cut);
}

bool CreateDirTree(const std::string& path) {
  const std::string dir = WithoutTrailingSeparators(path);
  if (dir.empty()) return false;
  if (DirExists(dir)) return true;
  size_t cut = dir.find_last_of("\\/");
  if (cut != std::string::npos && cut > 0) {
    std::string parent = dir.substr(0, cut);
    // "C:" and "\\server" are no directories to create.
    bool isRoot = (parent.size() == 2 && parent[1] == ':') || parent.find_first_not_of("\\/") == std::string::npos;
    if (!isRoot && !DirExists(parent)) CreateDirTree(parent);
  }
  platform::MakeDir(dir);
  return DirExists(dir);
}

bool DeleteTree(const std::string& dir, bool clearAttributes, const TProgress& progress) {
  if (dir.empty()) return false;  // never "\*.*" of the current drive
  // A link or junction goes as a link: what it points to is not ours. Each
  // level checks its own folder again just before emptying it, so a subfolder
  // that became a link after its parent's listing is not followed either.
  const std::string self = OwnNameOf(dir);
  if (platform::IsLink(self)) {
    platform::RemoveLink(self);
    return !platform::IsLink(self);
  }
  int count = DirExists(dir) ? 1 : 0;
  DeleteFiles(Join(dir, "*.*"), clearAttributes);

  std::vector<platform::TDirEntry> subdirs;
  for (auto& entry : platform::ListDir(dir))
    if (entry.isDir) subdirs.push_back(std::move(entry));

  const int64_t total = static_cast<int64_t>(subdirs.size());
  int64_t done = 0;
  bool cancel = false;
  for (const auto& sub : subdirs) {
    const std::string subPath = Join(dir, sub.name);
    // A link to a directory goes by itself; what it points to stays.
    if (!sub.isLink) DeleteTree(subPath, clearAttributes);
    ++done;
    if (progress) progress(total, done, cancel);
    platform::RemoveDir(subPath);
    WaitPumping(10, 10);
    if (cancel) break;
  }
  platform::RemoveDir(dir);
  if (!DirExists(dir)) ++count;
  return count == 2;
}

std::string FindFileInTree(const std::string& dir, const std::string& name) {
  if (dir.empty() || name.empty()) return {};
  const std::string candidate = Join(dir, name);
  if (FileExists(candidate)) return candidate;
  for (const auto& entry : platform::ListDir(dir)) {
    YieldX(0);
    if (!entry.isDir || entry.isLink) continue;
    std::string found = FindFileInTree(Join(dir, entry.name), name);
    if (!found.empty()) return found;
  }
  return {};
}

namespace {

std::string FindDirBelow(const std::string& dir, const std::string& tail) {
  if (EndsWith(tail, ReplaceChar(WithoutTrailingSeparators(dir), '/', '\\'), true)) return dir;
  for (const auto& entry : platform::ListDir(dir)) {
    YieldX(0);
    if (!entry.isDir || entry.isLink) continue;
    std::string found = FindDirBelow(Join(dir, entry.name), tail);
    if (!found.empty()) return found;
  }
  return {};
}

}  // namespace

std::string FindDirInTree(const std::string& dir, const std::string& name) {
  if (name.empty() || !DirExists(dir)) return {};
  return FindDirBelow(dir, "\\" + name);
}

std::string FindFileOnDrives(const std::string& name, int driveType) {
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    if (platform::DriveType(letter) != driveType) continue;
    std::string found = FindFileInTree(std::string(1, letter) + ":\\", name);
    if (!found.empty()) return found;
  }
  return {};
}

std::string FindDirOnDrives(const std::string& nameOrPath, int driveType) {
  if (nameOrPath.size() >= 3 && nameOrPath.compare(1, 2, ":\\") == 0) {
    char letter = UpChar(nameOrPath[0]);
    bool ok = letter >= 'A' && letter <= 'Z' && platform::DriveType(letter) == driveType && DirExists(nameOrPath);
    return ok ? nameOrPath : std::string();
  }
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    if (platform::DriveType(letter) != driveType) continue;
    std::string found = FindDirInTree(std::string(1, letter) + ":\\", nameOrPath);
    if (!found.empty()) return found;
  }
  return {};
}

void TraceText(const std::string& text) { VxDebug::Trace(text); }

void TraceNameValue(const std::string& name, const std::string& value) {
  VxDebug::Trace("[" + name + "]  [" + value + "]");
}

}  // namespace Files
