#include "lang/Locale.h"

namespace {
int g_override = -1;
}  // namespace

int UserPrimaryLanguageId() { return g_override >= 0 ? g_override : PlatformPrimaryLanguageId(); }

void OverrideUserLanguageId(int id) { g_override = id < 0 ? -1 : id; }
