// Texts in the user's language.
//
// The package's language block holds one key=value list per language; the
// first lookup of the process picks one entry (the user's language, else
// the only entry, else English) and keeps it for every later lookup through
// any TGFileInfo. TGFileInfo::LangText, Charset, FontSize and FontName are
// implemented here.
//
// GetLangString reads texts from "HELP\English\Varnel.language.ini" beside
// the executable, section STRINGS.
#pragma once

#include <string>

// The entry of the block for the primary language id: its "|"-less list
// (delimiter 0x01, item 0 the language name), or "*" when none fits.
std::string ChooseLanguageEntry(const std::string& languageBlock, int primaryLanguageId);
// The process-wide entry, chosen from languageBlock on the first call; its
// key=value list is prepared for lookups once, with it.
const std::string& CachedLanguageEntry(const std::string& languageBlock);
// Forgets the chosen entry (tests).
void ResetLanguageCache();
// Value of key in an entry; def when the entry is "*" or empty or lacks the
// key; a key with an empty value gives the empty text.
std::string LanguageValue(const std::string& entry, const std::string& key, const std::string& def);

inline constexpr char kLangIniFolder[] = "HELP\\English\\";
inline constexpr char kLangIniName[] = "Varnel.language.ini";
inline constexpr char kLangIniSection[] = "STRINGS";

std::string GetLangString(const std::string& key, const std::string& def,
                          const std::string& replacement);
// The same with the folder of the executable given (ending in a separator).
std::string GetLangStringIn(const std::string& exeFolder, const std::string& key,
                            const std::string& def, const std::string& replacement);
// A value as stored: "|" alone is empty; "|text|" loses one "|" at each end.
std::string UnwrapLangValue(const std::string& value);

// Value of key in section of an INI text (names ignore case; blanks around
// the value and one pair of enclosing quotes are removed); empty if absent.
std::string IniValueOf(const std::string& content, const std::string& section,
                       const std::string& key);
// The platform's INI read with an empty default (LangRes0_win32.cpp,
// LangRes0_posix.cpp).
std::string ReadLangIni(const std::string& path, const std::string& section,
                        const std::string& key);
