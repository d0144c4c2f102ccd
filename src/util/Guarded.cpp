#include "util/Guarded.h"

#include <exception>

bool RunGuarded(void (*work)(void*), void* context, std::string& what) {
  try {
    work(context);
    return true;
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
    what = "unknown error";
  }
  return false;
}

bool RunGuarded(void (*work)(), std::string& what) {
  return RunGuarded([](void* context) { reinterpret_cast<void (*)()>(context)(); },
                    reinterpret_cast<void*>(work), what);
}
