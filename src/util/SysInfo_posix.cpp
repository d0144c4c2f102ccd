// POSIX backend of the system information, for the host tools and native
// tests. There is no message queue: the waits only sleep.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include "util/PathText.h"
#include "util/SysInfo.h"
#include "util/SysText.h"

namespace {

std::string WithSlash(std::string folder, bool withSlash) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (withSlash && folder != "/") folder += '/';
  return folder;
}

}  // namespace

std::string ExePath(bool baseNameOnly) {
  std::string path(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  path.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return baseNameOnly ? BaseName(path) : path;
}

std::string ExeDir(bool withBackslash) {
  const std::string path = ExePath(false);
  const size_t cut = path.rfind('/');
  if (cut == std::string::npos) return "";
  return WithSlash(path.substr(0, cut + 1), withBackslash);
}

// No Windows folders here: the root stands in for both.
std::string WindowsDir(bool withBackslash) { return WithSlash("/", withBackslash); }
std::string SystemDir(bool withBackslash) { return WithSlash("/", withBackslash); }

std::string TempDir(bool withBackslash) {
  const char* value = std::getenv("TMPDIR");
  return WithSlash(value != nullptr && *value != '\0' ? value : "/tmp", withBackslash);
}

int64_t MsCounter() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

uint64_t ClockTicks() {
  return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

void YieldX(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string LastErrorText() {
  const int code = errno;
  const char* text = std::strerror(code);
  return text != nullptr ? text : "The system message for the last error could not be read.";
}

namespace systext_platform {

TDateTimeParts LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  TDateTimeParts parts;
  if (::localtime_r(&now, &local) == nullptr) return parts;
  parts.year = local.tm_year + 1900;
  parts.month = local.tm_mon + 1;
  parts.day = local.tm_mday;
  parts.hour = local.tm_hour;
  parts.minute = local.tm_min;
  parts.second = local.tm_sec > 59 ? 59 : local.tm_sec;
  return parts;
}

}  // namespace systext_platform
