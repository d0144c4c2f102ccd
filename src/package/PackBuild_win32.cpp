// Win32 side of the builder's platform seams: single characters in a
// Windows code page through the system's code page tables, folder listings
// with the system's reason, and the identity of files.
#include "util/Win.h"

#include "package/PackBuild.h"
#include "package/PackBuildText.h"
#include "util/SysInfo.h"

namespace packtext_platform {

bool EncodeChar(char32_t c, int codePage, std::string& bytes) {
  wchar_t wide[2];
  int units = 1;
  if (c >= 0x10000) {
    wide[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
    wide[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    units = 2;
  } else {
    wide[0] = static_cast<wchar_t>(c);
  }
  char buffer[8];
  BOOL usedDefault = FALSE;
  const int n = ::WideCharToMultiByte(static_cast<UINT>(codePage), WC_NO_BEST_FIT_CHARS, wide, units, buffer,
                                      sizeof(buffer), nullptr, &usedDefault);
  if (n <= 0 || usedDefault) return false;
  bytes.assign(buffer, static_cast<size_t>(n));
  return true;
}

bool DecodeChar(const std::string& bytes, int codePage, char32_t& c) {
  wchar_t wide[4];
  const int n = ::MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, bytes.data(),
                                      static_cast<int>(bytes.size()), wide, 4);
  if (n == 1) {
    c = wide[0];
    return true;
  }
  if (n == 2 && wide[0] >= 0xD800 && wide[0] < 0xDC00) {
    c = 0x10000 + ((static_cast<char32_t>(wide[0]) - 0xD800) << 10) + (static_cast<char32_t>(wide[1]) - 0xDC00);
    return true;
  }
  return false;
}

}  // namespace packtext_platform

namespace packbuild_platform {

bool ListFolder(const std::string& dir, std::vector<Files::platform::TDirEntry>& entries, std::string& reason) {
  entries.clear();
  std::string pattern = dir;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += "*";
  WIN32_FIND_DATAA data;
  TFindHandle search(::FindFirstFileA(pattern.c_str(), &data));
  if (!search.Valid()) {
    reason = LastErrorText();
    return false;
  }
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    Files::platform::TDirEntry entry;
    entry.name = name;
    entry.isDir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entries.push_back(std::move(entry));
  } while (::FindNextFileA(search.Get(), &data));
  if (::GetLastError() != ERROR_NO_MORE_FILES) {
    reason = LastErrorText();
    return false;
  }
  return true;
}

namespace {

bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  THandle file(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file.Valid() && ::GetFileInformationByHandle(file.Get(), &info) != 0;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION ia{}, ib{};
  if (!FileIdentity(a, ia) || !FileIdentity(b, ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
         ia.nFileIndexLow == ib.nFileIndexLow;
}

}  // namespace packbuild_platform
