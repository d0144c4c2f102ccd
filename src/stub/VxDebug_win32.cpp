// Win32 side of the trace log: thread id and local time stamp with the
// system's date and time separators.
#include "util/Win.h"

#include "stub/VxDebug.h"

namespace VxDebug {

namespace {

std::string LocaleText(LCTYPE item, const char* fallback) {
  char buffer[16] = {0};
  int n = ::GetLocaleInfoA(LOCALE_USER_DEFAULT, item, buffer, sizeof(buffer));
  return n > 1 ? std::string(buffer) : std::string(fallback);
}

}  // namespace

uint32_t CurrentThreadNumber() { return static_cast<uint32_t>(::GetCurrentThreadId()); }

std::string NowTraceStamp() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return TraceStamp(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                    LocaleText(LOCALE_SDATE, "/"), LocaleText(LOCALE_STIME, ":"));
}

}  // namespace VxDebug
