// Language names and identifiers: one "|" list of "NAME = id" items, the
// two-digit ids being primary language ids, the four-digit ones full
// language ids (decimal). The first item that contains the id wins.
#pragma once

#include <string>

extern const char* const kLanguageIdTable;

// Name for a primary language id ("09" -> ENGLISH); empty if none.
std::string LanguageNameFromId(int id);
