// The end of a run that cannot go on: memory that cannot be had, or an
// error report of the C++ library, in the size release of the stub, which
// has no exceptions to carry them to a handler.
#pragma once

namespace Stub {

// Writes the reason to the debug output, deletes the working directory as
// a damaged package's run would, and ends the process with exit code 2
// (ExitCodes.h: kDamagedPackage). A failure on the way ends it at once.
[[noreturn]] void EndRunFatally(const char* why);

}  // namespace Stub
