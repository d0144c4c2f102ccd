#include "lang/Locale.h"

#include "util/Win.h"

int PlatformPrimaryLanguageId() {
  const LCID locale = ::GetThreadLocale();
  if (locale == 0) return 9;
  return static_cast<int>(locale & 0x3FF);
}
