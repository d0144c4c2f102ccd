#include "lang/LangRes0.h"
#include "util/Settings.h"

std::string ReadLangIni(const std::string& path, const std::string& section,
                        const std::string& key) {
  return ReadIniString(path, section, key, "");
}
