// The user's primary language: the primary language id (low 10 bits) of the
// thread locale; 9 (English) when it cannot be read and on POSIX.
#pragma once

int UserPrimaryLanguageId();

// Makes UserPrimaryLanguageId answer id (tests); a negative id removes the override.
void OverrideUserLanguageId(int id);

// The platform's answer (Locale_win32.cpp, Locale_posix.cpp).
int PlatformPrimaryLanguageId();
