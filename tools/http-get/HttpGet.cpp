// http-get URL [FILE]: downloads URL with HTTP_DownloadFile_Incremental into
// FILE (or into memory without one) and prints one line "bytes=<n> ms=<download
// time> peak_ws=<bytes> peak_private=<bytes>"; on failure the error text goes
// to stderr and the exit code is 1.
#include "util/Win.h"

#include <psapi.h>

#include <cstdio>
#include <string>

#include "net/InetHTTP.h"
#include "util/Files.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: http-get URL [FILE]\n");
    return 1;
  }
  const std::string target = argc == 3 ? argv[2] : "";
  LARGE_INTEGER frequency, start, stop;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  const TInetDownload result = HTTP_DownloadFile_Incremental(0, argv[1], target, nullptr);
  ::QueryPerformanceCounter(&stop);
  FreeInetLibrary();
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof(memory);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
  if (!result.error.empty()) {
    std::fprintf(stderr, "http-get: %s\n", result.error.c_str());
    return 1;
  }
  const long long bytes = target.empty() ? static_cast<long long>(result.data.size())
                                         : static_cast<long long>(Files::FileSizeByName(target));
  const long long ms = (stop.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart;
  std::printf("bytes=%lld ms=%lld peak_ws=%llu peak_private=%llu\n", bytes, ms,
              static_cast<unsigned long long>(memory.PeakWorkingSetSize),
              static_cast<unsigned long long>(memory.PeakPagefileUsage));
  return 0;
}
