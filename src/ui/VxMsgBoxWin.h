// Win32 side of the markup message box: window handles as owners, and the
// seams the tests use.
#pragma once

#include <cstdint>
#include <string>

#include "ui/VxMsgBox.h"
#include "util/Win.h"

// A window as the owner argument of MsgBoxEx and the shortcuts.
inline intptr_t MsgOwner(HWND window) { return reinterpret_cast<intptr_t>(window); }

namespace MsgBox {

inline constexpr char kRichEditLibrary[] = "RICHED32.DLL";
inline constexpr char kRichEditClass[] = "RICHEDIT";
// Control id of the text control (button ids are the returned identifiers).
inline constexpr int kTextControlId = 100;

// The library that provides the Rich Edit class (tests name a missing one to
// check the plain fallback). Without it the text shows in a read-only edit
// control, without bold runs.
void SetRichEditLibrary(const std::string& name);

// Size of the plain text in the font, as the box measures it (lines
// longer than the text width count as several lines).
TSize MeasureWithFont(const std::string& plain, HFONT font, const std::string& face);

// The box being shown, or null.
HWND CurrentBox();

}  // namespace MsgBox
