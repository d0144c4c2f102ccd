// POSIX: the standard text output stays as it is (host tools, native tests).
#include <iostream>

#include "stub/VxDebugDevice.h"

namespace VxDebug {

void InstallDebugChannel() {}
bool DebugChannelInstalled() { return false; }
std::streambuf* OriginalStdOut() { return std::cout.rdbuf(); }

}  // namespace VxDebug
