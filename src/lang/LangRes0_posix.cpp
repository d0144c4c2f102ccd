#include "lang/LangRes0.h"
#include "util/FileIO.h"

std::string ReadLangIni(const std::string& path, const std::string& section,
                        const std::string& key) {
  if (section.empty() || key.empty()) return "";
  return IniValueOf(ReadWholeFile(path), section, key);
}
