// wininet-get URL FILE: downloads URL into FILE with nothing but WinINet
// (InternetOpenUrlA, 1 MiB InternetReadFile calls, WriteFile) and prints one
// line "bytes=<n> ms=<download time> peak_ws=<bytes> peak_private=<bytes>".
// Exit code 0 on success, 1 on a failure (with a line on stderr).
#include "util/Win.h"

#include <psapi.h>
#include <wininet.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: wininet-get URL FILE\n");
    return 1;
  }
  LARGE_INTEGER frequency, start, stop;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  HINTERNET session = ::InternetOpenA("wininet-get", INTERNET_OPEN_TYPE_PRECONFIG, "", nullptr, 0);
  HINTERNET request = session ? ::InternetOpenUrlA(session, argv[1], nullptr, 0, INTERNET_FLAG_RELOAD, 0) : nullptr;
  HANDLE file = ::CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (request == nullptr || file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "wininet-get: cannot open %s or %s (error %lu)\n", argv[1], argv[2], ::GetLastError());
    return 1;
  }
  std::vector<char> buffer(1 << 20);
  long long total = 0;
  DWORD got = 0;
  bool ok = true;
  do {
    if (!::InternetReadFile(request, buffer.data(), static_cast<DWORD>(buffer.size()), &got)) {
      std::fprintf(stderr, "wininet-get: read failed (error %lu)\n", ::GetLastError());
      ok = false;
      break;
    }
    DWORD written = 0;
    if (got > 0 && (!::WriteFile(file, buffer.data(), got, &written, nullptr) || written != got)) {
      std::fprintf(stderr, "wininet-get: write failed\n");
      ok = false;
      break;
    }
    total += got;
  } while (got > 0);
  ::CloseHandle(file);
  ::InternetCloseHandle(request);
  ::InternetCloseHandle(session);
  ::QueryPerformanceCounter(&stop);
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof(memory);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
  const long long ms = (stop.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart;
  std::printf("bytes=%lld ms=%lld peak_ws=%llu peak_private=%llu\n", total, ms,
              static_cast<unsigned long long>(memory.PeakWorkingSetSize),
              static_cast<unsigned long long>(memory.PeakPagefileUsage));
  return ok ? 0 : 1;
}
