// Guarded blocks that work in every build. The size release of the stub is
// built without exceptions: there a failed allocation never returns (the
// stub's allocator ends the run, stub/OutOfMemory_win32.cpp), so a guarded
// block runs as a plain block and its handler drops out. Everywhere else
// these are try and catch. A handler that needs the exception object uses
// #if defined(__cpp_exceptions) instead.
#pragma once

#if defined(__cpp_exceptions)
#define VX_TRY try
#define VX_CATCH(declaration) catch (declaration)
#else
#define VX_TRY if (true)
#define VX_CATCH(declaration) else if (false)
#endif
