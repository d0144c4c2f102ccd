// The debug device that replaces the standard text output (std::cout) with
// the debug channel described in VxDebug.h. On Win32 it is installed by a
// static initializer that runs before the program's own start-up code in
// every executable that links this unit, that is every executable calling
// InstallDebugChannel; the call itself is harmless when already installed.
// On POSIX nothing is replaced.
#pragma once

#include <streambuf>

namespace VxDebug {

void InstallDebugChannel();
bool DebugChannelInstalled();
// The standard text output as it was before the device replaced it
// (the current one when nothing was installed).
std::streambuf* OriginalStdOut();

}  // namespace VxDebug
