// Claiming folders on Windows: a held folder is one that a run keeps open
// (FILE_LIST_DIRECTORY, sharing read and write but not delete). Nobody can
// remove or rename it while the handle is open, and a probe that asks for
// delete access fails with a sharing violation.
#include "stub/WorkDir.h"

#include <map>

#include "util/FileIO.h"
#include "util/Files.h"
#include "util/PathText.h"
#include "util/Utils.h"
#include "util/Win.h"

namespace WorkDir {

namespace {

std::map<std::string, HANDLE>& Holds() {
  static std::map<std::string, HANDLE> holds;
  return holds;
}

std::string Key(const std::string& dir) { return UpperCase(NoTrailingBackslash(dir)); }

DWORD Attributes(const std::string& path) { return ::GetFileAttributesA(path.c_str()); }

bool Exists(const std::string& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

bool HeldByOther(const std::string& dir) {
  if (Holds().count(Key(dir))) return false;
  HANDLE probe = ::CreateFileA(dir.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    ::CloseHandle(probe);
    return false;
  }
  const DWORD error = ::GetLastError();
  // Gone meanwhile: nobody holds it. Any other refusal (a sharing violation,
  // no right to delete it) means that the folder is not ours to take.
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

bool Clear(const std::string& dir) {
  const DWORD attributes = Attributes(dir);
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // A link or junction goes as a link; what it points to is never touched.
    if (!::RemoveDirectoryA(dir.c_str())) ::DeleteFileA(dir.c_str());
  } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    Files::DeleteTree(dir);
  }
  // A file of that name is somebody's file: it stays, and the name is not used.
  return !Exists(dir);
}

bool MakeFresh(const std::string& dir) {
  const std::string clean = NoTrailingBackslash(dir);
  const size_t cut = clean.find_last_of("\\/");
  if (cut != std::string::npos && cut > 2) Files::CreateDirTree(clean.substr(0, cut));
  return ::CreateDirectoryA(clean.c_str(), nullptr) != 0;
}

bool Hold(const std::string& dir) {
  const std::string key = Key(dir);
  if (Holds().count(key)) return true;
  const DWORD attributes = Attributes(dir);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return false;
  HANDLE handle = ::CreateFileA(dir.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  Holds()[key] = handle;
  return true;
}

void Unhold(const std::string& dir) {
  auto it = Holds().find(Key(dir));
  if (it == Holds().end()) return;
  ::CloseHandle(it->second);
  Holds().erase(it);
}

bool IsEmpty(const std::string& dir) { return Files::platform::ListDir(dir).empty(); }

bool RemoveEmpty(const std::string& dir) { return ::RemoveDirectoryA(dir.c_str()) != 0; }

}  // namespace

const TOps& SystemOps() {
  static const TOps ops{Exists, HeldByOther, Clear, MakeFresh, Hold, Unhold, IsEmpty, RemoveEmpty};
  return ops;
}

}  // namespace WorkDir
