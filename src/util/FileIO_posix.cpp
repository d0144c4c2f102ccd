#include "util/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

std::string NativePath(const std::string& path) {
  std::string p = path;
  std::replace(p.begin(), p.end(), '\\', '/');
  return p;
}

bool TFile::Open(const std::string& path, Mode mode) {
  Close();
  int flags = O_RDONLY;
  switch (mode) {
    case Mode::Read: flags = O_RDONLY; break;
    case Mode::Write: flags = O_WRONLY; break;
    case Mode::Create: flags = O_WRONLY | O_CREAT | O_TRUNC; break;
    case Mode::Append: flags = O_WRONLY | O_CREAT; break;
  }
  handle_ = ::open(NativePath(path).c_str(), flags | O_CLOEXEC, 0644);
  if (handle_ >= 0) {
    struct stat st {};
    if (::fstat(handle_, &st) != 0 || S_ISDIR(st.st_mode)) {
      Close();
      return false;
    }
    if (mode == Mode::Append) ::lseek(handle_, 0, SEEK_END);
  }
  return IsOpen();
}

void TFile::Close() {
  if (handle_ != kInvalid) ::close(handle_);
  handle_ = kInvalid;
}

int64_t TFile::Read(void* buffer, int64_t count) {
  if (!IsOpen() || count < 0) return -1;
  auto* out = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::read(handle_, out + done, static_cast<size_t>(count - done));
    if (n < 0) return done > 0 ? done : -1;
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t TFile::Write(const void* buffer, int64_t count) {
  if (!IsOpen() || count < 0) return -1;
  const auto* in = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::write(handle_, in + done, static_cast<size_t>(count - done));
    if (n <= 0) return done > 0 ? done : -1;
    done += n;
  }
  return done;
}

int64_t TFile::Seek64(int64_t distance, Origin origin) {
  if (!IsOpen()) return -1;
  int whence = origin == Origin::Begin ? SEEK_SET : origin == Origin::Current ? SEEK_CUR : SEEK_END;
  off_t pos = ::lseek(handle_, static_cast<off_t>(distance), whence);
  return pos < 0 ? -1 : static_cast<int64_t>(pos);
}

int64_t TFile::Size() {
  struct stat st {};
  if (!IsOpen() || ::fstat(handle_, &st) != 0) return 0;
  return static_cast<int64_t>(st.st_size);
}

bool TFile::SetDosDate(int32_t dosDateTime) {
  if (!IsOpen()) return false;
  if (dosDateTime == 0) return true;
  uint32_t v = static_cast<uint32_t>(dosDateTime);
  uint32_t date = v >> 16, time = v & 0xFFFF;
  std::tm tm{};
  tm.tm_year = static_cast<int>((date >> 9) & 0x7F) + 80;
  tm.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
  tm.tm_mday = static_cast<int>(date & 0x1F);
  tm.tm_hour = static_cast<int>((time >> 11) & 0x1F);
  tm.tm_min = static_cast<int>((time >> 5) & 0x3F);
  tm.tm_sec = static_cast<int>((time & 0x1F) * 2);
  tm.tm_isdst = -1;  // DOS dates are local time
  time_t t = std::mktime(&tm);
  if (t == static_cast<time_t>(-1)) return false;
  struct timespec times[2] = {{t, 0}, {t, 0}};
  return ::futimens(handle_, times) == 0;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(NativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t DriveClusterSize(const std::string& path) {
  struct statvfs vfs {};
  std::string p = NativePath(path);
  // Walk up to an existing folder: the file may not exist yet.
  while (!p.empty() && ::statvfs(p.c_str(), &vfs) != 0) {
    size_t slash = p.find_last_of('/');
    if (slash == std::string::npos) return 0;
    p = slash == 0 ? "/" : p.substr(0, slash);
    if (p == "/" && ::statvfs(p.c_str(), &vfs) != 0) return 0;
  }
  if (p.empty()) return 0;
  return static_cast<int64_t>(vfs.f_bsize);
}

bool MoveFileReplacing(const std::string& from, const std::string& to) {
  return ::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
}

bool RemoveFile(const std::string& path) { return ::unlink(NativePath(path).c_str()) == 0; }

namespace {

bool WriteAll(int fd, const char* data, int64_t count) {
  for (int64_t done = 0; done < count;) {
    const ssize_t put = ::write(fd, data + done, static_cast<size_t>(count - done));
    if (put <= 0) return false;
    done += put;
  }
  return true;
}

}  // namespace

bool CopyFileReplacing(const std::string& from, const std::string& to) {
  TFile source(from, TFile::Mode::Read);
  struct stat st {};
  if (!source.IsOpen() || ::stat(NativePath(from).c_str(), &st) != 0) return false;
  // A new file in place of the old one: the old one's permissions do not matter.
  const std::string target = NativePath(to);
  ::unlink(target.c_str());
  const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, (st.st_mode & 0777) | S_IWUSR);
  if (out < 0) return false;
  char buffer[65536];
  bool ok = true;
  while (ok) {
    const int64_t n = source.Read(buffer, sizeof(buffer));
    if (n == 0) break;
    ok = n > 0 && WriteAll(out, buffer, n);
  }
  ok = ::close(out) == 0 && ok;
  if (!ok) ::unlink(target.c_str());
  return ok;
}

void ClearReadOnly(const std::string&) {}

int32_t FileDosDate(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(NativePath(path).c_str(), &st) != 0) return 0;
  std::tm tm{};
  const time_t t = st.st_mtime;
  if (::localtime_r(&t, &tm) == nullptr) return 0;
  const int year = tm.tm_year + 1900;
  if (year < 1980 || year > 2107) return 0;
  const uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  const uint32_t time = static_cast<uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  return static_cast<int32_t>(date << 16 | time);
}
