// The language block of a package from an INI file with one section per
// language ([English], [German], ...) and the language keys as key = value.
#pragma once

#include <string>
#include <vector>

// Builds the block; Charset, FontSize and FontName come first in every
// language (the character set of the package's code page, 8 and Tahoma when
// the section lacks them), the other keys follow in file order. The file is
// UTF-8; a section's texts are stored in the code page of its Charset, or in
// the package's code page when it gives none. Keys that the stub does not
// look up are reported in `warnings`. Returns an error text, empty on success.
std::string LanguageBlockFromIni(const std::string& path, int packageCodePage, std::string& block,
                                 std::vector<std::string>& warnings);
std::string LanguageBlockFromText(const std::string& text, const std::string& origin, int packageCodePage,
                                  std::string& block, std::vector<std::string>& warnings);

// The keys the stub looks up, with their English defaults, for --help.
extern const char* const kLanguageKeys[];
