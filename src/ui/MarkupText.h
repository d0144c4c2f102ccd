// Message texts without their markup, for the places that show no box: the
// log of a quiet run and the debug channel.
#pragma once

#include <string>

namespace MarkupText {

// The text as the box shows it, without the bold: "\n" and "<P>" become
// CR LF, "\t" and "<T>" a tab, the bold tags "<B>" and "</B>" go (also
// those that only form once others are gone), and so does the first "<" of
// a leading "<<b>". Tags match in any letter case, "\n" and "\t" exactly.
std::string StripMarkup(const std::string& markup);

// The text on one line: each run of blanks, tabs and line breaks becomes
// one blank, none at either end.
std::string OneLine(const std::string& text);

}  // namespace MarkupText
