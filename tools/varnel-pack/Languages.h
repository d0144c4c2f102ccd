// The language block of a package from an INI file with one section per
// language ([English], [German], ...) and the language keys as key = value.
#pragma once

#include <string>
#include <vector>

// Builds the block; Charset, FontSize and FontName come first in every
// language (0, 8 and Tahoma when the section lacks them), the other keys
// follow in file order. Keys that the stub does not look up are reported in
// `warnings`. Returns an error text, empty on success.
std::string LanguageBlockFromIni(const std::string& path, std::string& block, std::vector<std::string>& warnings);
std::string LanguageBlockFromText(const std::string& text, const std::string& origin, std::string& block,
                                  std::vector<std::string>& warnings);

// The keys the stub looks up, with their English defaults, for --help.
extern const char* const kLanguageKeys[];
