// The debug device: the program's standard text output (util/DebugOut.h)
// becomes the debug channel described in VxDebug.h. On Win32 it is installed
// by a static initializer that runs before the program's own start-up code
// in every executable that links this unit, that is every executable calling
// InstallDebugChannel; the call itself is harmless when already installed.
// On POSIX nothing is replaced.
#pragma once

#include "util/DebugOut.h"

namespace VxDebug {

void InstallDebugChannel();
bool DebugChannelInstalled();
// The device of the debug channel (nullptr when it is not installed).
DebugOut::TDevice* DebugDevice();

}  // namespace VxDebug
