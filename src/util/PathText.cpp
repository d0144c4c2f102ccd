#include "util/PathText.h"

#include "util/Utils.h"

namespace {

TLeadByteTest g_leadByteTest = nullptr;

struct TRootName {
  const char* name;
  const char* abbreviation;
  uint32_t key;
};

constexpr TRootName kRoots[] = {
    {"HKEY_CLASSES_ROOT", "HKCR", kHKeyClassesRoot},   {"HKEY_CURRENT_USER", "HKCU", kHKeyCurrentUser},
    {"HKEY_LOCAL_MACHINE", "HKLM", kHKeyLocalMachine}, {"HKEY_USERS", "HKU", kHKeyUsers},
    {"HKEY_CURRENT_CONFIG", "HKCC", kHKeyCurrentConfig}, {"HKEY_DYN_DATA", "HKDD", kHKeyDynData},
};

// True when the character before position `at` is a lead byte, so that the
// byte at `at` is its trail byte. Scans from the start: a lead byte's trail
// byte is never itself a lead byte.
bool IsTrailByte(const std::string& text, size_t at) {
  size_t i = 0;
  while (i < at) i += (IsLeadByte(text[i]) && i + 1 < text.size()) ? 2 : 1;
  return i > at;
}

bool EndsWithRemovableBackslash(const std::string& path) {
  return !path.empty() && path.back() == '\\' && !IsTrailByte(path, path.size() - 1);
}

}  // namespace

void SetLeadByteTest(TLeadByteTest test) { g_leadByteTest = test; }

bool IsLeadByte(char c) { return g_leadByteTest != nullptr && g_leadByteTest(static_cast<unsigned char>(c)); }

uint32_t RootKeyFromName(const std::string& name) {
  const std::string wanted = Trim(name);
  for (const TRootName& root : kRoots)
    if (SameText(wanted, root.name) || SameText(wanted, root.abbreviation)) return root.key;
  return kHKeyCurrentUser;
}

TRegPath SplitRegPath(const std::string& path) {
  const std::string text = Trim(path);
  TRegPath result;
  if (!StartsWith("HK", text, true)) {
    result.subkey = text;
    return result;
  }
  const size_t slash = text.find('\\');
  if (slash == std::string::npos) {
    result.root = RootKeyFromName(text);
    return result;
  }
  result.root = RootKeyFromName(text.substr(0, slash));
  result.subkey = text.substr(slash + 1);
  return result;
}

std::string WithBackslash(const std::string& path, bool addBackslash) {
  std::string result = path;
  if (result.size() > 2 && EndsWithRemovableBackslash(result)) result.pop_back();
  if (addBackslash) result += '\\';
  return result;
}

std::string NoTrailingBackslash(const std::string& path) {
  if (path == "\\") return "";
  std::string result = path;
  if (result.size() > 1 && EndsWithRemovableBackslash(result)) result.pop_back();
  return result;
}

std::string CollapseBackslashes(const std::string& path, bool stripTrailing) {
  if (path.size() <= 2) return stripTrailing ? NoTrailingBackslash(path) : path;
  const bool quoted = path.front() == path.back();
  std::string result;
  result.reserve(path.size());
  size_t i = 0;
  while (i < path.size()) {
    const char c = path[i];
    if (c != '\\') {
      result += c;
      // The trail byte of a double-byte character is copied as it is.
      if (IsLeadByte(c) && i + 1 < path.size()) result += path[++i];
      ++i;
      continue;
    }
    size_t run = 0;
    while (i + run < path.size() && path[i + run] == '\\') ++run;
    const bool keepPair = i == 0 || (quoted && path[i - 1] == path.front());
    result.append(keepPair && run >= 2 ? 2 : 1, '\\');
    i += run;
  }
  return stripTrailing ? NoTrailingBackslash(result) : result;
}

std::string FileNamePart(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string BaseName(const std::string& path, bool allExtensions) {
  const size_t cut = path.find_last_of("\\/:");
  std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
  const size_t dot = allExtensions ? name.find('.') : name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

bool IsWindowsDeviceName(const std::string& component) {
  // The name before the first dot, less trailing blanks and dots, decides.
  std::string name = component.substr(0, component.find('.'));
  while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
  name = UpperCase(name);
  if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL" || name == "CONIN$" || name == "CONOUT$")
    return true;
  if (name.size() != 4 || (name.compare(0, 3, "COM") != 0 && name.compare(0, 3, "LPT") != 0)) return false;
  const unsigned char digit = static_cast<unsigned char>(name[3]);
  return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}
