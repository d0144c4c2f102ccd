// Runs a piece of work so that no exception leaves it: a failure inside one
// timer tick or one trace line must not end the program or leave a flag set.
// The size release of the stub has no exceptions: there the work simply runs
// (a library error or a failed allocation ends the run through the stub's
// out-of-memory path, stub/OutOfMemory_win32.cpp).
#pragma once

#include <string>

// Calls work(context); false when it threw, with the exception's text in
// what ("unknown error" for anything that is no std::exception).
bool RunGuarded(void (*work)(void*), void* context, std::string& what);

// For work without a context.
bool RunGuarded(void (*work)(), std::string& what);
