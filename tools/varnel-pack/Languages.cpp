#include "Languages.h"

#include "IniFile.h"
#include "package/PackBuild.h"
#include "package/PackBuildText.h"
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

namespace {

// The code page of one section's texts: its Charset when it gives one.
std::string SectionCodePage(const TIniSection& section, const std::string& origin, int packageCodePage,
                            int& codePage, bool& explicitCharset) {
  codePage = packageCodePage;
  explicitCharset = false;
  for (const TIniLine& line : section.lines) {
    if (!line.hasEquals || !SameText(line.key, "Charset")) continue;
    const std::string at = origin + ":" + std::to_string(line.number) + ": ";
    const int64_t charset = TextToInt64(line.value, -1);
    if (charset < 0 || charset > 255) return at + "Charset must be a character set number (0 to 255)";
    codePage = PackText::CodePageOfCharset(static_cast<int>(charset), packageCodePage);
    if (codePage == 0)
      return at + "character set " + line.value + " has no code page that varnel-pack can write (use 0, 1, 128, 129, "
                  "134, 136, 161, 162, 163, 177, 178, 186, 204, 222 or 238)";
    explicitCharset = true;
  }
  return "";
}

}  // namespace

std::string LanguageBlockFromText(const std::string& text, const std::string& origin, int packageCodePage,
                                  std::string& block, std::vector<std::string>& warnings) {
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
    int codePage = packageCodePage;
    bool explicitCharset = false;
    error = SectionCodePage(section, origin, packageCodePage, codePage, explicitCharset);
    if (!error.empty()) return error;
    const std::string hint = explicitCharset ? "" : " (give [" + section.name + "] a Charset line, or set code-page)";
    // One text in the section's code page; `forbidden` as in PackText::ToCodePage.
    auto convert = [&](const std::string& at, const std::string& utf8, const std::string& forbidden,
                       std::string& stored) {
      std::string problem;
      if (PackText::ToCodePage(utf8, codePage, forbidden, stored, problem)) return std::string();
      return at + "the text \"" + utf8 + "\" cannot be stored: " + problem + hint;
    };
    PackWrite::TLanguage language{"", {}};
    error = convert(where, section.name, "", language.name);
    if (!error.empty()) return error;
    std::string fonts[3] = {"Charset=" + std::to_string(PackText::CharsetOfCodePage(packageCodePage)), "FontSize=8",
                            "FontName=Tahoma"};
    for (const TIniLine& line : section.lines) {
      const std::string at = origin + ":" + std::to_string(line.number) + ": ";
      if (!line.hasEquals || line.key.empty()) return at + "expected key = value";
      if (HasListBytes(line.key) || HasListBytes(line.value)) return at + "bytes 01 and 02 cannot be carried";
      if (!IsLanguageKey(line.key)) warnings.push_back(at + "the stub does not look up the key " + line.key);
      // A button list must not find its delimiter inside a double-byte character.
      const std::string forbidden = SameText(line.key, "BtnText") ? line.value.substr(0, 1) : "";
      std::string key, value;
      error = convert(at, line.key, "", key);
      if (error.empty()) error = convert(at, line.value, forbidden, value);
      if (!error.empty()) return error;
      const std::string item = key + "=" + value;
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

std::string LanguageBlockFromIni(const std::string& path, int packageCodePage, std::string& block,
                                 std::vector<std::string>& warnings) {
  TFile file(path, TFile::Mode::Read);
  if (!file.IsOpen()) return "cannot read \"" + path + "\": " + PackBuild::FailureReason(path);
  return LanguageBlockFromText(ReadWholeFile(path), path, packageCodePage, block, warnings);
}
