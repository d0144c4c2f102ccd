#include "Languages.h"

#include "IniFile.h"
#include "package/PackWrite.h"
#include "util/FileIO.h"
#include "util/Utils.h"

const char* const kLanguageKeys[] = {"Charset", "FontSize", "FontName", "s0",        "s1",      "s2",
                                     "s3",      "s4",       "s5",       "s6",        "s7",      "s8",
                                     "s10",     "s11",      "s12",      "BtnText",   "Attention", "Confirm",
                                     "Error",   nullptr};

namespace {

bool IsLanguageKey(const std::string& key) {
  for (const char* const* k = kLanguageKeys; *k; ++k)
    if (SameText(key, *k)) return true;
  return false;
}

bool HasListBytes(const std::string& text) { return text.find_first_of("\x01\x02") != std::string::npos; }

}  // namespace

std::string LanguageBlockFromText(const std::string& text, const std::string& origin, std::string& block,
                                  std::vector<std::string>& warnings) {
  std::vector<TIniSection> sections;
  std::string error = ParseIniText(text, origin, sections);
  if (!error.empty()) return error;
  if (!sections.front().lines.empty())
    return origin + ":" + std::to_string(sections.front().lines.front().number) +
           ": text outside a language section";
  std::vector<PackWrite::TLanguage> languages;
  for (size_t s = 1; s < sections.size(); ++s) {
    const TIniSection& section = sections[s];
    const std::string where = origin + ":" + std::to_string(section.number) + ": ";
    if (section.name.empty() || HasListBytes(section.name) || section.name.find('=') != std::string::npos)
      return where + "bad language name [" + section.name + "]";
    for (const PackWrite::TLanguage& seen : languages)
      if (SameTextTrim(seen.name, section.name)) return where + "language [" + section.name + "] appears twice";
    PackWrite::TLanguage language{section.name, {}};
    std::string fonts[3] = {"Charset=0", "FontSize=8", "FontName=Tahoma"};
    for (const TIniLine& line : section.lines) {
      const std::string at = origin + ":" + std::to_string(line.number) + ": ";
      if (!line.hasEquals || line.key.empty()) return at + "expected key = value";
      if (HasListBytes(line.key) || HasListBytes(line.value)) return at + "bytes 01 and 02 cannot be carried";
      if (!IsLanguageKey(line.key)) warnings.push_back(at + "the stub does not look up the key " + line.key);
      const std::string item = line.key + "=" + line.value;
      bool font = false;
      for (int i = 0; i < 3; ++i) {
        if (SameText(line.key, kLanguageKeys[i])) {
          fonts[i] = item;
          font = true;
        }
      }
      if (!font) language.items.push_back(item);
    }
    language.items.insert(language.items.begin(), std::begin(fonts), std::end(fonts));
    languages.push_back(std::move(language));
  }
  if (languages.empty()) return origin + ": no language section";
  block = PackWrite::LanguageBlock(languages);
  return "";
}

std::string LanguageBlockFromIni(const std::string& path, std::string& block, std::vector<std::string>& warnings) {
  TFile file(path, TFile::Mode::Read);
  if (!FileExists(path) || !file.IsOpen()) return "cannot read \"" + path + "\"";
  return LanguageBlockFromText(ReadWholeFile(path), path, block, warnings);
}
