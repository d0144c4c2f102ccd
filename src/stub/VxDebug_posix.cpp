// POSIX side of the diagnostic outputs: thread id and local time stamp.
#include <sys/syscall.h>
#include <unistd.h>

#include <ctime>

#include "stub/VxDebug.h"

namespace VxDebug {

uint32_t CurrentThreadNumber() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

std::string NowTraceStamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return TraceStamp(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                    local.tm_sec);
}

}  // namespace VxDebug
