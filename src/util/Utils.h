// String functions on 8-bit texts. Positions are 1-based, 0 = absent.
// Case-insensitive operations fold ASCII letters only, byte by byte, so the
// result never depends on the process locale. Nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "util/Switches.h"  // command-line switches belong to this unit

// Basics.
std::string Trim(const std::string& text);  // blanks and control characters (<= ' ')
std::string TrimLeft(const std::string& text);
std::string TrimRight(const std::string& text);
char UpChar(char c);
std::string UpperCase(const std::string& text);
std::string LowerCase(const std::string& text);
bool SameText(const std::string& a, const std::string& b);
bool SameTextTrim(const std::string& a, const std::string& b);
std::string IntToText(int64_t value);
// Trimmed text: optional sign, then decimal digits or hex after "$" or "0x".
// Anything else, and values outside the 64-bit range, give def.
int64_t TextToInt64(const std::string& text, int64_t def);

// Parts of a text. An empty separator is never found.
std::string TextBefore(const std::string& text, const std::string& separator,
                       const std::string& def = "", bool trim = false);
std::string TextAfter(const std::string& text, const std::string& separator,
                      const std::string& def = "", bool trim = false, bool ignoreCase = false);

// Replacing. Occurrences are numbered from 1; those from first to last are
// replaced (last <= 0: last = first; then 0 = no upper bound), so the
// defaults replace all. The search continues behind a replacement.
std::string ReplaceText(const std::string& text, const std::string& find,
                        const std::string& replacement, bool trim = false, int first = 0,
                        int last = 0);
std::string ReplaceTextCI(const std::string& text, const std::string& find,
                          const std::string& replacement, bool trim = false, int first = 0,
                          int last = 0);
// Replaces the first occurrence until none is left; unchanged when the
// replacement contains the find text.
std::string ReplaceRepeated(const std::string& text, const std::string& find,
                            const std::string& replacement, bool trim = false);
std::string ReplaceChar(const std::string& text, char oldChar, char newChar);

// Searching.
size_t PosCI(const std::string& sub, const std::string& text);
size_t PosFrom(const std::string& sub, const std::string& text, int64_t start,
               bool ignoreCase = false);
size_t LastPos(const std::string& sub, const std::string& text);
size_t LastPosCI(const std::string& sub, const std::string& text);
bool StartsWith(const std::string& part, const std::string& text, bool ignoreCase = false);
bool EndsWith(const std::string& part, const std::string& text, bool ignoreCase = false);

// Quotes and enclosing characters.
std::string StripChar(const std::string& text, char c, bool always = false);
std::string Unquote(const std::string& text, bool always = false);
std::string QuoteText(const std::string& text);
std::string EncloseIn(const std::string& text, char c, bool strip = false);

// Small transformations.
std::string KeepChars(const std::string& text, const std::string& keep,
                      const std::string& drop = "");
std::string ReverseText(const std::string& text);
std::string IfThenStr(bool condition, const std::string& a, const std::string& b);
std::string BoolToText(bool flag);
char BoolToDigit(bool flag);
// Width below -2: a text longer than |width| is cut to |width|-1 characters
// and "." before padding to |width|.
std::string PadLeft(const std::string& text, int width, char c = ' ');
std::string ZeroPad(const std::string& text, int width);
std::string ZeroPad(int64_t value, int width);  // the sign stays in front

// Numbers (always "." as decimal point and "," between thousands).
std::string FormatThousands(const std::string& numberText);
// decimals < 1: value/unit rounded up to a whole number; 1..4: that many
// decimals; any other count: 1 decimal.
std::string FormatScaled(bool thousands, int decimals, int64_t value, int64_t unit);
std::string FormatKB(bool thousands, int decimals, int64_t value);
std::string FormatMB(bool thousands, int decimals, int64_t value);
// "." or "," as decimal point; "," between thousands is ignored.
double TextToFloat(const std::string& text, double def);
std::string FloatToText(double value, int decimals, bool trim = false);
// Only for texts with a ".": 12.500 -> 12.5, 3.0 -> 3, 0.50 -> .5
std::string TrimNumberText(const std::string& text);
