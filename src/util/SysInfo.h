// The program's own and the system's directories, clocks, message-pumping
// waits and system error texts. Portable declarations: the Win32 backend is
// the real one; the POSIX backend serves the host tools and native tests
// (there are no window messages to pump there).
#pragma once

#include <cstdint>
#include <string>

// The program's own full path; with the flag only its base name.
std::string ExePath(bool baseNameOnly = false);
// Folder of ExePath, with or without a trailing backslash.
std::string ExeDir(bool withBackslash = true);
std::string WindowsDir(bool withBackslash = true);
std::string SystemDir(bool withBackslash = true);
std::string TempDir(bool withBackslash = true);

// Milliseconds from a high-resolution counter.
int64_t MsCounter();
// The raw high-resolution counter (ticks of unspecified length), for seeds.
uint64_t ClockTicks();
// Dispatches every pending message of the thread, then sleeps ms.
void YieldX(int ms);
// Repeats YieldX(step) until ms have passed; step 0 = ms/10 within 1..25.
void WaitPumping(int step, int64_t ms);

// The system's message for the last error code.
std::string LastErrorText();
// True when the environment variable "DVX" holds exactly "364" (cached).
bool IsDeveloperMode();
