// POSIX: the standard text output stays as it is (host tools, native tests).
#include "stub/VxDebugDevice.h"

namespace VxDebug {

void InstallDebugChannel() {}
bool DebugChannelInstalled() { return false; }
DebugOut::TDevice* DebugDevice() { return nullptr; }

}  // namespace VxDebug
