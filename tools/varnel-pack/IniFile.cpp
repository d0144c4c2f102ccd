#include "IniFile.h"

#include "package/PackBuild.h"
#include "util/FileIO.h"
#include "util/Utils.h"

std::string ReadIniFile(const std::string& path, std::vector<TIniSection>& sections) {
  TFile file(path, TFile::Mode::Read);
  if (!file.IsOpen()) return "cannot read \"" + path + "\": " + PackBuild::FailureReason(path);
  file.Close();
  return ParseIniText(ReadWholeFile(path), path, sections);
}

std::string ParseIniText(const std::string& text, const std::string& origin, std::vector<TIniSection>& sections) {
  sections.clear();
  sections.push_back(TIniSection{});
  size_t pos = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  for (int number = 1; pos <= text.size(); ++number) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    const std::string line = Trim(text.substr(pos, eol - pos));
    pos = eol + 1;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']' || line.size() < 3)
        return origin + ":" + std::to_string(number) + ": bad section header " + line;
      sections.push_back(TIniSection{Trim(line.substr(1, line.size() - 2)), number, {}});
      continue;
    }
    TIniLine entry;
    entry.number = number;
    entry.text = line;
    const size_t eq = line.find('=');
    if (eq != std::string::npos) {
      entry.hasEquals = true;
      entry.key = Trim(line.substr(0, eq));
      entry.value = Trim(line.substr(eq + 1));
    }
    sections.back().lines.push_back(entry);
  }
  return "";
}
