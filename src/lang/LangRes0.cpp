#include "lang/LangRes0.h"

#include "lang/Locale.h"
#include "lang/SLangId.h"
#include "package/PackX.h"
#include "util/FileIO.h"
#include "util/SysInfo.h"
#include "util/Utils.h"
#include "util/VxSUB.h"

namespace {

constexpr char kNoEntry[] = "*";

// Cache of the chosen entry; empty until the first lookup.
std::string& LanguageCache() {
  static std::string cache;
  return cache;
}

std::string FindEntry(const std::string& block, const std::string& name) {
  const int count = SUB::ItemCount(block);
  for (int i = 0; i < count; ++i) {
    const std::string entry = SUB::GetItem(block, i);
    if (SameTextTrim(SUB::GetItem(entry, 0), name)) return entry;
  }
  if (count == 1) return SUB::GetItem(block, 0);
  return kNoEntry;
}

}  // namespace

std::string ChooseLanguageEntry(const std::string& languageBlock, int primaryLanguageId) {
  const std::string entry = FindEntry(languageBlock, LanguageNameFromId(primaryLanguageId));
  if (entry != kNoEntry) return entry;
  return FindEntry(languageBlock, "English");
}

std::string CachedLanguageEntry(const std::string& languageBlock) {
  std::string& cache = LanguageCache();
  if (cache.empty()) {
    cache = ChooseLanguageEntry(languageBlock, UserPrimaryLanguageId());
    if (cache.empty()) cache = kNoEntry;  // an empty item: nothing to read
  }
  return cache;
}

void ResetLanguageCache() { LanguageCache().clear(); }

std::string LanguageValue(const std::string& entry, const std::string& key, const std::string& def) {
  if (entry.size() <= 1) return def;
  return SUB::GetValue(entry, key, def, "", true, true);
}

// --- TGFileInfo ------------------------------------------------------------

std::string TGFileInfo::LangText(const std::string& key, const std::string& def) const {
  return LanguageValue(CachedLanguageEntry(languageBlock_), key, def);
}

int TGFileInfo::Charset() const { return static_cast<int>(TextToInt64(LangText("Charset", "0"), 0)); }

int TGFileInfo::FontSize() const { return static_cast<int>(TextToInt64(LangText("FontSize", "8"), 8)); }

std::string TGFileInfo::FontName() const { return LangText("FontName", "Tahoma"); }

// --- Help-folder strings -----------------------------------------------------

std::string UnwrapLangValue(const std::string& value) {
  if (value == "|") return "";
  if (value.size() > 1 && value.front() == '|' && value.back() == '|') {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

std::string GetLangStringIn(const std::string& exeFolder, const std::string& key,
                            const std::string& def, const std::string& replacement) {
  std::string text = def;
  const std::string path = exeFolder + kLangIniFolder + kLangIniName;
  if (FileExists(path)) {
    const std::string value = UnwrapLangValue(ReadLangIni(path, kLangIniSection, key));
    if (!value.empty()) text = value;
  }
  return ReplaceText(text, "<?>", replacement);
}

std::string GetLangString(const std::string& key, const std::string& def,
                          const std::string& replacement) {
  return GetLangStringIn(ExeDir(true), key, def, replacement);
}

std::string IniValueOf(const std::string& content, const std::string& section,
                       const std::string& key) {
  bool inSection = false;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    const std::string line = Trim(content.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const size_t close = line.find(']');
      inSection = close != std::string::npos && SameTextTrim(line.substr(1, close - 1), section);
      continue;
    }
    const size_t eq = line.find('=');
    if (!inSection || eq == std::string::npos || !SameTextTrim(line.substr(0, eq), key)) continue;
    std::string value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
      value = value.substr(1, value.size() - 2);
    }
    return value;
  }
  return "";
}
