// Portable parts of the system information: the message-pumping wait and
// the developer-mode switch.
#include "util/SysInfo.h"

#include <algorithm>
#include <cstdlib>

void WaitPumping(int step, int64_t ms) {
  if (step <= 0) step = static_cast<int>(std::clamp<int64_t>(ms / 10, 1, 25));
  const int64_t start = MsCounter();
  // Pumps at least once, so WaitPumping(0, 0) dispatches what is pending.
  do {
    YieldX(step);
  } while (MsCounter() - start < ms);
}

bool IsDeveloperMode() {
  static const bool developer = [] {
    const char* value = std::getenv("DVX");
    return value != nullptr && std::string(value) == "364";
  }();
  return developer;
}
