// Quiet mode of the message boxes, for unattended runs (the stub's /QUIET
// switch): no box is shown. Each message goes, stripped of its markup and
// on one line, to the debug channel and to the quiet log file when one is
// set, and the box answers at once with its refusing button, so that a
// question nobody can answer ends what it would have let go on.
#pragma once

#include <cstdint>
#include <string>

namespace MsgBox {

void SetQuietMode(bool quiet);
bool QuietMode();

// The log file of a quiet run; empty: none.
void SetQuietLog(const std::string& path);
std::string QuietLog();
// Appends "dd/mm/yyyy HH:NN:SS " + line and CR LF to the quiet log (the file
// opened for each line, created if missing). True when written or when
// there is no log.
bool AppendQuietLog(const std::string& line);

// The answer of a box of this style in a quiet run: Cancel, else No, else
// Abort, else OK (a plain message), else 0 for a style without buttons.
int QuietAnswer(uint32_t style);
// "Caption: text" on one line, without the heading that repeats the caption
// (owner mode 0); a box with a choice adds " -> " and the answer's button.
std::string QuietLine(const std::string& caption, const std::string& markup, uint32_t style);
// A box that the quiet run does not show: reports it and returns its answer.
int QuietBox(const std::string& markup, const std::string& caption, uint32_t style);

}  // namespace MsgBox
