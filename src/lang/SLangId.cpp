#include "lang/SLangId.h"

#include "util/Utils.h"
#include "util/VxSUB.h"

// Blank-padded so that the "=" signs align. CYRILIC is spelt with one L: a
// package language must be named that way to match it.
const char* const kLanguageIdTable =
    "|"
    "AFRIKAANS    = 54|"
    "ALBANIAN     = 28|"
    "ARABIC       = 01|"
    "BASQUE       = 45|"
    "BELARUSIAN   = 35|"
    "BULGARIAN    = 02|"
    "CATALAN      = 03|"
    "CHINESE      = 04|"
    "CROATIAN     = 26|"
    "CZECH        = 05|"
    "DANISH       = 06|"
    "DUTCH        = 19|"
    "ENGLISH      = 09|"
    "ESTONIAN     = 37|"
    "FAEROESE     = 56|"
    "FARSI        = 41|"
    "FINNISH      = 11|"
    "FRENCH       = 12|"
    "GERMAN       = 07|"
    "GREEK        = 08|"
    "HEBREW       = 13|"
    "HUNGARIAN    = 14|"
    "ICELANDIC    = 15|"
    "INDONESIAN   = 33|"
    "ITALIAN      = 16|"
    "JAPANESE     = 17|"
    "KOREAN       = 18|"
    "LATVIAN      = 38|"
    "LITHUANIAN   = 39|"
    "NORWEGIAN    = 20|"
    "POLISH       = 21|"
    "PORTUGUESE   = 22|"
    "ROMANIAN     = 24|"
    "RUSSIAN      = 25|"
    "SERBIAN      = 26|"
    "SLOVAK       = 27|"
    "SLOVENIAN    = 36|"
    "SPANISH      = 10|"
    "SWEDISH      = 29|"
    "THAI         = 30|"
    "TURKISH      = 31|"
    "UKRAINIAN    = 34|"
    "VIETNAMESE   = 42|"
    "CHINESE(SIMPLIFIED)  = 2052|"
    "CHINESE(TRADITIONAL) = 1028|"
    "DUTCH(FLEMISH)       = 2067|"
    "DUTCH(STANDARD)      = 1043|"
    "PORTUGUESE(PORTUGAL) = 2070|"
    "PORTUGUESE(BRAZIL)   = 1046|"
    "SERBIAN(LATIN)       = 2074|"
    "SERBIAN(CYRILIC)     = 3098|";

std::string LanguageNameFromId(int id) {
  const std::string digits = ZeroPad(static_cast<int64_t>(id), 2);
  const int count = SUB::ItemCount(kLanguageIdTable);
  for (int i = 0; i < count; ++i) {
    const std::string item = SUB::GetItem(kLanguageIdTable, i);
    if (item.find(digits) != std::string::npos) return TextBefore(item, "=", item, true);
  }
  return "";
}
