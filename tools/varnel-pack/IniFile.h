// A small reader for the INI-style project and language files: "[Section]"
// headers, "key = value" lines, comments starting with ";" or "#", blank
// lines ignored. Texts are 8-bit and kept as they are (a UTF-8 byte order
// mark at the start is dropped).
#pragma once

#include <string>
#include <vector>

struct TIniLine {
  int number = 0;     // 1-based line number
  std::string text;   // the whole line, trimmed
  std::string key;    // trimmed text before the first "=" (empty without "=")
  std::string value;  // trimmed text after it
  bool hasEquals = false;
};

struct TIniSection {
  std::string name;  // empty for lines before the first header
  int number = 0;    // line of the header
  std::vector<TIniLine> lines;
};

// Reads the file; returns an error text, empty on success.
std::string ReadIniFile(const std::string& path, std::vector<TIniSection>& sections);
// Same on a text in memory; `origin` names it in messages.
std::string ParseIniText(const std::string& text, const std::string& origin, std::vector<TIniSection>& sections);
