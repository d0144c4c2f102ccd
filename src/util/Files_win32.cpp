// Win32 backend of the file utilities: directory searches, free space, file
// deletion, links, drive types and CD eject.
#include "util/Win.h"

#include <winioctl.h>

#include "util/FileIO.h"
#include "util/Files.h"
#include "util/Utils.h"
#include "util/Exceptions.h"

namespace Files {

namespace {

std::string WithSeparator(const std::string& dir) {
  if (dir.empty() || dir.back() == '\\' || dir.back() == '/') return dir;
  return dir + "\\";
}

bool IsDirectory(const WIN32_FIND_DATAA& data) { return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

bool IsDotEntry(const char* name) {
  return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// GetDiskFreeSpaceExA, bound on first use; null when kernel32 lacks it.
using TFreeSpaceEx = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
enum class TAvailability { Unknown, Absent, Present };

TFreeSpaceEx ExtendedFreeSpaceQuery() {
  static TAvailability availability = TAvailability::Unknown;
  static TFreeSpaceEx query = nullptr;
  if (availability == TAvailability::Unknown) {
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    FARPROC proc = kernel ? ::GetProcAddress(kernel, "GetDiskFreeSpaceExA") : nullptr;
    query = reinterpret_cast<TFreeSpaceEx>(reinterpret_cast<void*>(proc));
    availability = query ? TAvailability::Present : TAvailability::Absent;
  }
  return query;
}

bool ExtendedFreeBytes(TFreeSpaceEx query, const std::string& root, double& bytes) {
  ULARGE_INTEGER available, total, totalFree;
  if (root.empty() || !query(root.c_str(), &available, &total, &totalFree)) return false;
  bytes = static_cast<double>(available.QuadPart);
  return true;
}

}  // namespace

namespace platform {

std::vector<TDirEntry> ListDir(const std::string& dir) {
  std::vector<TDirEntry> entries;
  WIN32_FIND_DATAA data;
  TFindHandle search(::FindFirstFileA((WithSeparator(dir) + "*.*").c_str(), &data));
  if (!search.Valid()) return entries;
  do {
    if (IsDotEntry(data.cFileName)) continue;
    TDirEntry entry;
    entry.name = data.cFileName;
    entry.isDir = IsDirectory(data);
    entry.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entries.push_back(std::move(entry));
  } while (::FindNextFileA(search.Get(), &data));
  return entries;
}

bool MakeDir(const std::string& dir) { return ::CreateDirectoryA(dir.c_str(), nullptr) != 0; }

bool RemoveDir(const std::string& dir) { return ::RemoveDirectoryA(dir.c_str()) != 0; }

bool IsLink(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A junction or directory link goes with RemoveDirectory, a file link with
// DeleteFile; neither touches the target.
bool RemoveLink(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ::RemoveDirectoryA(path.c_str()) != 0;
  return ::DeleteFileA(path.c_str()) != 0;
}

int DriveType(char letter) {
  const char root[4] = {letter, ':', '\\', 0};
  return static_cast<int>(::GetDriveTypeA(root));
}

double ClassicDiskFreeBytes(const std::string& path) {
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  const std::string root = DriveRoot(path, true);
  if (root.empty() ||
      !::GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
    return 0;
  return static_cast<double>(sectorsPerCluster) * bytesPerSector * freeClusters;
}

}  // namespace platform

int64_t FileSizeByName(const std::string& path) {
  if (path.empty()) return 0;
  WIN32_FIND_DATAA data;
  TFindHandle search(::FindFirstFileA(path.c_str(), &data));
  if (!search.Valid()) return 0;
  return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

double DiskFreeBytes(const std::string& path) {
  TFreeSpaceEx query = ExtendedFreeSpaceQuery();
  if (!query) return platform::ClassicDiskFreeBytes(path);
  double bytes = 0;
  if (ExtendedFreeBytes(query, DriveRoot(path, false), bytes)) return bytes;
  if (ExtendedFreeBytes(query, DriveRoot(path, true), bytes)) return bytes;
  return 0;
}

bool DeleteFiles(const std::string& mask, bool clearAttributes) {
  size_t cut = mask.find_last_of("\\/:");
  std::string folder = cut == std::string::npos ? std::string() : mask.substr(0, cut + 1);
  if (!folder.empty() && folder.back() != ':') folder = WithSeparator(folder);
  WIN32_FIND_DATAA data;
  TFindHandle search(::FindFirstFileA(mask.c_str(), &data));
  if (!search.Valid()) return false;
  bool found = false;
  do {
    // Attribute set 39: normal, read-only, hidden, system and archive files; no folders.
    if (IsDirectory(data) || IsDotEntry(data.cFileName)) continue;
    found = true;
    const std::string path = folder + data.cFileName;
    if (clearAttributes) ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(path.c_str());
  } while (::FindNextFileA(search.Get(), &data));
  return found;
}

bool EjectCD(const std::string& path) {
  static_assert(IOCTL_STORAGE_EJECT_MEDIA == 2967560);
  VX_TRY {
    if (path.empty()) return false;
    const char letter = UpChar(path[0]);
    if (letter < 'A' || letter > 'Z' || platform::DriveType(letter) != kDriveCDRom) return false;
    const std::string device = std::string("\\\\.\\") + letter + ":";
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    THandle handle(::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0,
                                 nullptr));
    TraceText("EjectCD-2: " + device + " " + IntToText(reinterpret_cast<intptr_t>(handle.Get())));
    if (!handle) {
      handle.Reset(::CreateFileA(device.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
      TraceText("EjectCD-3: " + device + " " + IntToText(reinterpret_cast<intptr_t>(handle.Get())));
    }
    if (!handle) return false;
    DWORD returned = 0;
    return ::DeviceIoControl(handle.Get(), IOCTL_STORAGE_EJECT_MEDIA, nullptr, 0, nullptr, 0, &returned,
                             nullptr) != 0;
  }
  VX_CATCH(...) {
    return false;
  }
}

}  // namespace Files
