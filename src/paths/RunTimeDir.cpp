#include "paths/RunTimeDir.h"

#include "util/PathText.h"

namespace {

std::string& Slot(int n) {
  static std::string slots[kRunTimeDirSlots];
  return slots[n - 1];
}

bool InRange(int n) { return n >= 1 && n <= kRunTimeDirSlots; }

}  // namespace

std::string RunTimeDir(int n) { return InRange(n) ? Slot(n) : std::string(); }

void SetRunTimeDir(int n, const std::string& value) {
  if (InRange(n)) Slot(n) = WithBackslash(value, false);
}
