// POSIX side of the builder's platform seams: single characters in a
// Windows code page through glibc iconv, folder listings with the system's
// reason, and the identity of files.
#include <dirent.h>
#include <iconv.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "package/PackBuild.h"
#include "package/PackBuildText.h"
#include "util/FileIO.h"

namespace {

// One conversion descriptor per direction and code page, opened on first use.
class TConverters {
 public:
  ~TConverters() {
    for (auto& [key, cd] : open_)
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
  // Converts `in` whole; false when iconv refuses any of it.
  bool Convert(int codePage, bool toPage, const std::string& in, std::string& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    iconv_t cd = Get(codePage, toPage);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char buffer[16];
    char* source = const_cast<char*>(in.data());
    size_t sourceLeft = in.size();
    char* target = buffer;
    size_t targetLeft = sizeof(buffer);
    if (iconv(cd, &source, &sourceLeft, &target, &targetLeft) == static_cast<size_t>(-1) || sourceLeft != 0)
      return false;
    if (iconv(cd, nullptr, nullptr, &target, &targetLeft) == static_cast<size_t>(-1)) return false;
    out.assign(buffer, sizeof(buffer) - targetLeft);
    return true;
  }

 private:
  iconv_t Get(int codePage, bool toPage) {
    const int key = toPage ? codePage : -codePage;
    auto it = open_.find(key);
    if (it != open_.end()) return it->second;
    const std::string page = "CP" + std::to_string(codePage);
    iconv_t cd = toPage ? iconv_open(page.c_str(), "UTF-8") : iconv_open("UTF-8", page.c_str());
    open_.emplace(key, cd);
    return cd;
  }

  std::mutex mutex_;
  std::map<int, iconv_t> open_;
};

TConverters& Converters() {
  static TConverters converters;
  return converters;
}

}  // namespace

namespace packtext_platform {

bool EncodeChar(char32_t c, int codePage, std::string& bytes) {
  return Converters().Convert(codePage, true, PackText::EncodeUtf8(c), bytes);
}

bool DecodeChar(const std::string& bytes, int codePage, char32_t& c) {
  std::string utf8;
  std::u32string chars;
  if (!Converters().Convert(codePage, false, bytes, utf8) || !PackText::DecodeUtf8(utf8, chars) || chars.size() != 1)
    return false;
  c = chars[0];
  return true;
}

}  // namespace packtext_platform

namespace packbuild_platform {

bool ListFolder(const std::string& dir, std::vector<Files::platform::TDirEntry>& entries, std::string& reason) {
  entries.clear();
  const std::string native = NativePath(dir);
  std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(native.c_str()), ::closedir);
  if (!handle) {
    reason = std::strerror(errno);
    return false;
  }
  errno = 0;
  while (const dirent* d = ::readdir(handle.get())) {
    const std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    const std::string full = native + "/" + name;
    struct stat linkInfo {}, targetInfo {};
    if (::lstat(full.c_str(), &linkInfo) != 0) continue;
    Files::platform::TDirEntry entry;
    entry.name = name;
    entry.isLink = S_ISLNK(linkInfo.st_mode);
    entry.isDir = entry.isLink ? (::stat(full.c_str(), &targetInfo) == 0 && S_ISDIR(targetInfo.st_mode))
                               : S_ISDIR(linkInfo.st_mode);
    entries.push_back(std::move(entry));
    errno = 0;
  }
  if (errno != 0) {
    reason = std::strerror(errno);
    return false;
  }
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (::stat(NativePath(a).c_str(), &sa) != 0 || ::stat(NativePath(b).c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace packbuild_platform
