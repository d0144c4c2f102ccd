// Win32 backend of the system information.
#include <exception>
#include <string>

#include "util/Guarded.h"
#include "util/PathText.h"
#include "util/SysInfo.h"
#include "util/SysText.h"
#include "util/Utils.h"
#include "util/Win.h"

namespace {

constexpr DWORD kDirBuffer = 261;

// A folder read by a function of the form Get...DirectoryA(buffer, size).
template <typename TReader>
std::string ReadFolder(TReader reader, bool withBackslash) {
  char buffer[kDirBuffer] = {};
  const DWORD length = reader(buffer, kDirBuffer);
  if (length == 0 || length >= kDirBuffer) return "";
  return WithBackslash(std::string(buffer, length), withBackslash);
}

}  // namespace

std::string ExePath(bool baseNameOnly) {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(path.size());
    const DWORD length = ::GetModuleFileNameA(nullptr, path.data(), size);
    if (length == 0) return "";
    if (length < size) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) return "";
    path.resize(path.size() * 2);
  }
  return baseNameOnly ? BaseName(path) : path;
}

std::string ExeDir(bool withBackslash) {
  const std::string path = ExePath(false);
  const size_t cut = path.find_last_of("\\/:");
  if (cut == std::string::npos) return "";
  return WithBackslash(path.substr(0, cut + 1), withBackslash);
}

std::string WindowsDir(bool withBackslash) {
  return ReadFolder([](char* b, DWORD n) { return ::GetWindowsDirectoryA(b, n); }, withBackslash);
}

std::string SystemDir(bool withBackslash) {
  return ReadFolder([](char* b, DWORD n) { return ::GetSystemDirectoryA(b, n); }, withBackslash);
}

std::string TempDir(bool withBackslash) {
  return ReadFolder([](char* b, DWORD n) { return ::GetTempPathA(n, b); }, withBackslash);
}

int64_t MsCounter() {
  static const double msPerTick = [] {
    LARGE_INTEGER frequency{};
    return ::QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0
               ? 1000.0 / static_cast<double>(frequency.QuadPart)
               : 0.0;
  }();
  LARGE_INTEGER counter{};
  if (msPerTick == 0.0 || !::QueryPerformanceCounter(&counter)) return static_cast<int64_t>(::GetTickCount64());
  return static_cast<int64_t>(static_cast<double>(counter.QuadPart) * msPerTick);
}

uint64_t ClockTicks() {
  LARGE_INTEGER counter{};
  if (!::QueryPerformanceCounter(&counter)) return ::GetTickCount64();
  return static_cast<uint64_t>(counter.QuadPart);
}

void YieldX(int ms) {
  std::string failure;
  const bool pumped = RunGuarded(
      [] {
        MSG message;
        // A pending WM_QUIT is taken too: the stub shows its closing message
        // boxes after posting it, and they must keep receiving their messages.
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
          ::TranslateMessage(&message);
          ::DispatchMessageA(&message);
        }
      },
      failure);
  if (!pumped) TraceError("YieldX", "", failure);
  ::Sleep(static_cast<DWORD>(ms > 0 ? ms : 0));
}

std::string LastErrorText() {
  const DWORD code = ::GetLastError();
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      0, reinterpret_cast<char*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return "The system message for the last error could not be read.";
  std::string result(text, length);
  ::LocalFree(text);
  return Trim(result);
}

namespace systext_platform {

TDateTimeParts LocalNow() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  TDateTimeParts parts;
  parts.year = now.wYear;
  parts.month = now.wMonth;
  parts.day = now.wDay;
  parts.hour = now.wHour;
  parts.minute = now.wMinute;
  parts.second = now.wSecond;
  return parts;
}

}  // namespace systext_platform
