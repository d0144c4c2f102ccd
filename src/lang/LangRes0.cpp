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

// The chosen entry and its key=value list, prepared once for every lookup.
struct TLanguageCache {
  std::string entry;  // empty until the first lookup
  TValueList values;
};

TLanguageCache& LanguageCache() {
  static TLanguageCache cache;
  return cache;
}

TValueList PrepareEntry(const std::string& entry) { return TValueList(entry, true, true); }

std::string ValueIn(const std::string& entry, const TValueList& values, const std::string& key,
                    const std::string& def) {
  if (entry.size() <= 1) return def;
  return values.Get(key, def, "");
}

// The block's items in one walk: the first whose name (item 0) is `name`,
// the first named "English", and how many there are.
struct TEntryMatches {
  bool hasNamed = false;
  std::string named;
  bool hasEnglish = false;
  std::string english;
  int count = 0;
  std::string firstItem;
};

TEntryMatches MatchEntries(const std::string& block, const std::string& name) {
  TEntryMatches found;
  found.count = SUB::ItemCount(block);
  // Each of the counted items is closed by the next delimiter.
  size_t open = 0;
  for (int i = 0; i < found.count; ++i) {
    const size_t close = block.find(block[0], open + 1);
    if (close == std::string::npos) break;
    const std::string entry = block.substr(open + 1, close - open - 1);
    open = close;
    if (i == 0) found.firstItem = entry;
    const std::string entryName = SUB::GetItem(entry, 0);
    if (!found.hasNamed && SameTextTrim(entryName, name)) {
      found.hasNamed = true;
      found.named = entry;
    }
    if (!found.hasEnglish && SameTextTrim(entryName, "English")) {
      found.hasEnglish = true;
      found.english = entry;
    }
    if (found.hasNamed && found.hasEnglish) break;
  }
  return found;
}

}  // namespace

std::string ChooseLanguageEntry(const std::string& languageBlock, int primaryLanguageId) {
  const TEntryMatches found = MatchEntries(languageBlock, LanguageNameFromId(primaryLanguageId));
  // An entry that reads "*" counts as none, as the result "*" does.
  if (found.hasNamed && found.named != kNoEntry) return found.named;
  // A block of one entry serves every language.
  if (found.count == 1) return found.firstItem;
  return found.hasEnglish ? found.english : kNoEntry;
}

const std::string& CachedLanguageEntry(const std::string& languageBlock) {
  TLanguageCache& cache = LanguageCache();
  if (cache.entry.empty()) {
    cache.entry = ChooseLanguageEntry(languageBlock, UserPrimaryLanguageId());
    if (cache.entry.empty()) cache.entry = kNoEntry;  // an empty item: nothing to read
    cache.values = PrepareEntry(cache.entry);
  }
  return cache.entry;
}

void ResetLanguageCache() { LanguageCache() = TLanguageCache{}; }

std::string LanguageValue(const std::string& entry, const std::string& key, const std::string& def) {
  return ValueIn(entry, PrepareEntry(entry), key, def);
}

// --- TGFileInfo ------------------------------------------------------------

std::string TGFileInfo::LangText(const std::string& key, const std::string& def) const {
  const std::string& entry = CachedLanguageEntry(languageBlock_);
  return ValueIn(entry, LanguageCache().values, key, def);
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
