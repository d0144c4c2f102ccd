#include "util/FileIO.h"
#include "util/Win.h"

#include <algorithm>

std::string NativePath(const std::string& path) { return path; }

bool TFile::Open(const std::string& path, Mode mode) {
  Close();
  DWORD access = GENERIC_READ;
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case Mode::Read: access = GENERIC_READ; disposition = OPEN_EXISTING; break;
    case Mode::Write: access = GENERIC_WRITE; disposition = OPEN_EXISTING; break;
    case Mode::Create: access = GENERIC_WRITE; disposition = CREATE_ALWAYS; break;
    // Append-only access: writes of several processes to one log never overwrite each other.
    case Mode::Append: access = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE; disposition = OPEN_ALWAYS; break;
  }
  handle_ = ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (IsOpen() && mode == Mode::Append) Seek64(0, Origin::End);
  return IsOpen();
}

void TFile::Close() {
  if (IsOpen()) ::CloseHandle(handle_);
  handle_ = kInvalid;
}

int64_t TFile::Read(void* buffer, int64_t count) {
  if (!IsOpen() || count < 0) return -1;
  auto* out = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    DWORD chunk = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
    DWORD got = 0;
    if (!::ReadFile(handle_, out + done, chunk, &got, nullptr)) return done > 0 ? done : -1;
    if (got == 0) break;
    done += got;
  }
  return done;
}

int64_t TFile::Write(const void* buffer, int64_t count) {
  if (!IsOpen() || count < 0) return -1;
  const auto* in = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    DWORD chunk = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
    DWORD put = 0;
    if (!::WriteFile(handle_, in + done, chunk, &put, nullptr) || put == 0) return done > 0 ? done : -1;
    done += put;
  }
  return done;
}

int64_t TFile::Seek64(int64_t distance, Origin origin) {
  if (!IsOpen()) return -1;
  LARGE_INTEGER d, pos;
  d.QuadPart = distance;
  DWORD method = origin == Origin::Begin ? FILE_BEGIN : origin == Origin::Current ? FILE_CURRENT : FILE_END;
  if (!::SetFilePointerEx(handle_, d, &pos, method)) return -1;
  return pos.QuadPart;
}

int64_t TFile::Size() {
  LARGE_INTEGER size;
  if (!IsOpen() || !::GetFileSizeEx(handle_, &size)) return 0;
  return size.QuadPart;
}

bool TFile::SetDosDate(int32_t dosDateTime) {
  if (!IsOpen()) return false;
  if (dosDateTime == 0) return true;
  uint32_t v = static_cast<uint32_t>(dosDateTime);
  FILETIME local, utc;
  if (!::DosDateTimeToFileTime(static_cast<WORD>(v >> 16), static_cast<WORD>(v & 0xFFFF), &local)) return false;
  if (!::LocalFileTimeToFileTime(&local, &utc)) return false;
  return ::SetFileTime(handle_, &utc, &utc, &utc) != 0;
}

bool FileExists(const std::string& path) {
  DWORD a = ::GetFileAttributesA(path.c_str());
  return !path.empty() && a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::string& path) {
  DWORD a = ::GetFileAttributesA(path.c_str());
  return !path.empty() && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

int64_t DriveClusterSize(const std::string& path) {
  if (path.size() < 3) return 0;
  std::string root = path.substr(0, 3);
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!::GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
    return 0;
  return static_cast<int64_t>(sectorsPerCluster) * bytesPerSector;
}

bool MoveFileReplacing(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

bool RemoveFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

void ClearReadOnly(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    ::SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

bool CopyFileReplacing(const std::string& from, const std::string& to) {
  ClearReadOnly(to);
  if (!::CopyFileA(from.c_str(), to.c_str(), FALSE)) return false;
  ClearReadOnly(to);  // the copy takes the attributes of its source
  return true;
}

int32_t FileDosDate(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (path.empty() || !::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  FILETIME local;
  WORD date = 0, time = 0;
  if (!::FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !::FileTimeToDosDateTime(&local, &date, &time))
    return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(date) << 16 | time);
}
