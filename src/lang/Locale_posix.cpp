#include "lang/Locale.h"

// The package's languages are Windows languages; a host run reads as English.
int PlatformPrimaryLanguageId() { return 9; }
