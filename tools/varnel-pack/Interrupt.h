// Ctrl-C and SIGTERM while files are written: the temporary files go first.
//
// On POSIX the handler removes the tracked files and folders itself (unlink
// and rmdir are safe in a signal handler) and ends the process through the
// same signal, so a build stopped in the middle of a long read or write
// leaves nothing behind. On Windows the handler runs on a thread of its own
// while the files are still open: it only raises a flag that the builder
// polls between blocks, and the builder removes its files as after any
// other failure.
#pragma once

#include <string>

namespace interrupt {

// Installs the handlers for SIGINT and SIGTERM.
void Install();
// The builder's temporary-file notice: a path (a file, or a folder made for
// the output) is tracked from before it is created until it is renamed,
// removed or kept.
void Track(const std::string& path, bool exists);
// A signal has arrived (Windows; on POSIX the process has ended by then).
bool Requested();
// Ends the process through the signal that arrived, if one did.
void EndIfRequested();

}  // namespace interrupt
