#include "util/OSInfo.h"


#include "util/SysText.h"
#include "util/Utils.h"
#include "util/VxSUB.h"

namespace {

struct TNameRow {
  const char* version;
  const char* name;
  uint32_t flag;
};

constexpr TNameRow k9xRows[] = {{"4.0", "95", 1}, {"4.10", "98", 2}, {"4.90", "ME", 4}};
constexpr TNameRow kNTRows[] = {{"4.0", "NT", 8},           {"5.0", "2000", 16},      {"5.1", "XP", 32},
                                {"5.2", "2003", 64},        {"6.0", "Vista", 128},    {"6.1", "7", 1024},
                                {"6.2", "8", 32768},        {"6.3", "8.1", 262144},   {"10.0", "10", 2097152}};
constexpr TNameRow kNT64Rows[] = {{"5.2", "XP.64", 256},    {"6.0", "Vista.64", 512}, {"6.1", "7.64", 2048},
                                  {"6.2", "8.64", 65536},   {"6.3", "8.1.64", 524288}, {"10.0", "10.64", 4194304}};
constexpr TNameRow kServer64Rows[] = {{"6.0", "2008.64", 8192},
                                      {"6.1", "2008R2.64", 16384},
                                      {"6.2", "2012.64", 131072},
                                      {"6.3", "2012R2.64", 1048576}};
constexpr TNameRow kServer32Rows[] = {{"6.0", "2008", 4096}};

// Sets name and flag from the row of version; true if there is one.
template <size_t N>
bool ApplyRow(const TNameRow (&rows)[N], const std::string& version, TOSName& result) {
  for (const TNameRow& row : rows) {
    if (version != row.version) continue;
    result.name = row.name;
    result.flag = row.flag;
    return true;
  }
  return false;
}

}  // namespace

std::string OSVersionText(const TOSInfo& info) {
  return std::to_string(info.major) + "." + std::to_string(info.minor);
}

TOSName OSNameFor(const TOSInfo& info, bool is64BitWindows, bool isServer) {
  TOSName result;
  result.versionText = OSVersionText(info);
  result.servicePack = Trim(info.servicePack);
  result.build = info.build;
  const std::string& version = result.versionText;
  switch (info.platformId) {
    case kPlatformWin32s:
      result.name = "32S";
      result.flag = 0;
      break;
    case kPlatform9x:
      // Windows ME reports itself as 4.10 with build 3000.
      if (version == "4.10" && info.build == 3000) result.versionText = "4.90";
      if (!ApplyRow(k9xRows, version, result)) {
        result.name = "9x";
        result.flag = 1;
      }
      break;
    case kPlatformNT:
      if (!ApplyRow(kNTRows, version, result)) {
        result.name = "NTx";
        result.flag = 8;
      }
      if (is64BitWindows) ApplyRow(kNT64Rows, version, result);
      if (isServer) is64BitWindows ? ApplyRow(kServer64Rows, version, result) : ApplyRow(kServer32Rows, version, result);
      break;
    default:
      break;
  }
  return result;
}

bool IsWin8OrLaterFor(const TOSInfo& info) {
  return info.platformId == kPlatformNT && TextToFloat(OSVersionText(info), 0) >= 6.2 - 1e-9;
}

bool UsesKernelVersion(const TOSInfo& reported) { return reported.major >= 6 && reported.minor >= 3; }

TOSInfo WithProductVersion(const TOSInfo& info, const std::string& productVersion) {
  const std::string list = "." + ReplaceChar(Trim(productVersion), ',', '.') + ".";
  const int64_t major = SUB::GetItemInt(list, 0, 0);
  if (major <= 0 || major > 0xFFFF) return info;
  TOSInfo result = info;
  result.major = static_cast<uint32_t>(major);
  result.minor = static_cast<uint32_t>(SUB::GetItemInt(list, 1, 0) & 0xFFFF);
  result.build = static_cast<uint32_t>(SUB::GetItemInt(list, 2, 0) & 0xFFFFFFFF);
  return result;
}

std::string FixedVersionText(uint32_t mostSignificant, uint32_t leastSignificant) {
  return IntToText(mostSignificant >> 16) + "." + IntToText(mostSignificant & 0xFFFF) + "." +
         IntToText(leastSignificant >> 16) + "." + IntToText(leastSignificant & 0xFFFF);
}

std::string ShapeVersion(const std::string& version, int width, int parts) {
  if (version.empty() || (width <= 1 && parts >= 4)) return version;
  return NormalizeVersion(version, width, parts);
}
