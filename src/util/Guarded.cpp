#include "util/Guarded.h"

#include <exception>

bool RunGuarded(void (*work)(void*), void* context, std::string& what) {
#if defined(__cpp_exceptions)
  try {
    work(context);
    return true;
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
    what = "unknown error";
  }
  return false;
#else
  // Nothing is thrown in a build without exceptions: a library error or a
  // failed allocation ends the run where it happens.
  (void)what;
  work(context);
  return true;
#endif
}

bool RunGuarded(void (*work)(), std::string& what) {
  return RunGuarded([](void* context) { reinterpret_cast<void (*)()>(context)(); },
                    reinterpret_cast<void*>(work), what);
}
