// INI files through the private-profile API, registry values and the
// identity of the user and machine.
#include "util/Settings.h"

#include <mutex>
#include <vector>

#include "util/DebugOut.h"
#include "util/OSInfo.h"
#include "util/PathText.h"
#include "util/SysInfo.h"
#include "util/Utils.h"
#include "util/Win.h"
#include "util/Exceptions.h"

namespace {

// Serialises INI reads; lives as long as the process.
std::mutex& IniLock() {
  static std::mutex lock;
  return lock;
}

HKEY RootKey(uint32_t root) {
  switch (root) {
    case kHKeyClassesRoot: return HKEY_CLASSES_ROOT;
    case kHKeyLocalMachine: return HKEY_LOCAL_MACHINE;
    case kHKeyUsers: return HKEY_USERS;
    case kHKeyCurrentConfig: return HKEY_CURRENT_CONFIG;
    case kHKeyDynData: return HKEY_DYN_DATA;
    default: return HKEY_CURRENT_USER;
  }
}

// Registry data as text: DWORD as unsigned decimal, multi-strings joined by
// "<0>", anything else up to the first NUL. data holds exactly size bytes.
std::string RegDataText(DWORD type, const std::string& data) {
  if (type == REG_DWORD && data.size() == 4) {
    const auto* b = reinterpret_cast<const unsigned char*>(data.data());
    const uint32_t value = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
    return std::to_string(value);
  }
  if (type == REG_MULTI_SZ && data.size() > 2) {
    std::string text = data;
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return ReplaceText(text, std::string(1, '\0'), "<0>");
  }
  return data.substr(0, data.find('\0'));
}

std::string CurrentVersionKey() {
  return std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\") + (IsNT() ? "Windows NT" : "Windows") +
         "\\CurrentVersion";
}

}  // namespace

std::string ReadIniString(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& def) {
  std::string result = def;
  VX_TRY {
    std::lock_guard<std::mutex> guard(IniLock());
    if (section.empty() || key.empty()) return result;
    std::vector<char> buffer(kIniReadBuffer);
    const DWORD length = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                                                    kIniReadBuffer, file.c_str());
    if (length > 0) result.assign(buffer.data(), length);
    if (length > kIniSizeWarning) DebugOut::Line("ReadIniString SizeError=" + IntToText(length));
  }
  VX_CATCH(...) {
    VX_TRY {
      DebugOut::Line("EXCEPTION --- Utils.ReadIniString()  " + LastErrorText());
    }
    VX_CATCH(...) {
    }
    result = def;
  }
  return result;
}

int64_t ReadIniInt(const std::string& file, const std::string& section, const std::string& key, int64_t def) {
  return TextToInt64(ReadIniString(file, section, key, IntToText(def)), def);
}

bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
  if (file.empty() || section.empty() || key.empty()) return false;
  return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != 0;
}

bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key, int64_t value) {
  return WriteIniString(file, section, key, IntToText(value));
}

std::string ReadRegString(const std::string& path, const std::string& valueName, const std::string& def,
                          bool view64) {
  VX_TRY {
    const TRegPath split = SplitRegPath(path);
    TRegKey key;
    const REGSAM access = KEY_READ | (view64 ? KEY_WOW64_64KEY : 0);
    if (::RegOpenKeyExA(RootKey(split.root), split.subkey.c_str(), 0, access, key.Out()) != ERROR_SUCCESS)
      return def;
    std::string data(kRegReadBuffer, '\0');
    DWORD type = 0;
    DWORD size = kRegReadBuffer;
    if (::RegQueryValueExA(key.Get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                           &size) != ERROR_SUCCESS)
      return def;
    data.resize(size < kRegReadBuffer ? size : kRegReadBuffer);
    return RegDataText(type, data);
  }
  VX_CATCH(...) {
    return def;
  }
}

std::string UserName() {
  char buffer[256] = {};
  DWORD size = sizeof(buffer);
  if (!::GetUserNameA(buffer, &size)) return "";
  return Trim(std::string(buffer, strnlen(buffer, sizeof(buffer))));
}

std::string ComputerName() {
  char buffer[256] = {};
  DWORD size = sizeof(buffer);
  if (!::GetComputerNameA(buffer, &size)) return "";
  return Trim(std::string(buffer, strnlen(buffer, sizeof(buffer))));
}

std::string UserDomain() {
  VX_TRY {
    const std::string user = UserName();
    if (user.empty()) return "";
    DWORD sidSize = 0, domainSize = 0;
    SID_NAME_USE use;
    ::LookupAccountNameA(nullptr, user.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
    if (sidSize == 0 || domainSize == 0) return "";
    std::vector<BYTE> sid(sidSize);
    std::vector<char> domain(domainSize + 1, '\0');
    if (!::LookupAccountNameA(nullptr, user.c_str(), sid.data(), &sidSize, domain.data(), &domainSize, &use))
      return "";
    return std::string(domain.data(), strnlen(domain.data(), domain.size()));
  }
  VX_CATCH(...) {
    return "";
  }
}

std::string RegisteredOwner() {
  return Trim(ReadRegString(CurrentVersionKey(), "RegisteredOwner", UserName(), Is64BitWindows()));
}

std::string RegisteredOrganization() {
  return Trim(ReadRegString(CurrentVersionKey(), "RegisteredOrganization", "", Is64BitWindows()));
}
