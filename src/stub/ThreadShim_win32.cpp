// The few POSIX thread calls that the C++ run-time library of the posix
// mingw-w64 toolchain makes (the exception memory pool, the unwinder's frame
// registry, the per-thread exception state, the system clock), done for a
// program whose C++ run time serves one thread, as the stub's does: its
// second thread, the unpacker's worker (a Win32 thread, util/Thread.h),
// runs only the inflater, which makes none of these calls. With these the thread
// library (winpthreads) stays out of the stub's image. Only the release stub
// (the size build, where local statics take no locks) links this unit;
// should the thread library be pulled in after all, its second definition
// of these functions stops the link.
#include <errno.h>
#include <pthread.h>
#include <time.h>

#include "util/Win.h"

namespace {

// Values of the thread-specific keys: one thread, so one value per key.
constexpr unsigned kMaxKeys = 64;
const void* g_keyValues[kMaxKeys] = {};
unsigned g_keysUsed = 0;

// 100 ns intervals from 1601-01-01 (FILETIME) to 1970-01-01.
constexpr unsigned long long kUnixEpochIn100ns = 116444736000000000ULL;

}  // namespace

extern "C" {

int pthread_mutex_init(pthread_mutex_t* mutex, const pthread_mutexattr_t*) {
  *mutex = 0;
  return 0;
}
int pthread_mutex_destroy(pthread_mutex_t*) { return 0; }
int pthread_mutex_lock(pthread_mutex_t*) { return 0; }
int pthread_mutex_unlock(pthread_mutex_t*) { return 0; }

int pthread_once(pthread_once_t* once, void (*run)(void)) {
  if (*once == 0) {
    *once = 1;
    run();
  }
  return 0;
}

// Key destructors would run at a thread's end; the one thread ends with the process.
int pthread_key_create(pthread_key_t* key, void (*)(void*)) {
  if (g_keysUsed >= kMaxKeys) return EAGAIN;
  *key = g_keysUsed++;
  return 0;
}
void* pthread_getspecific(pthread_key_t key) {
  return key < kMaxKeys ? const_cast<void*>(g_keyValues[key]) : nullptr;
}
int pthread_setspecific(pthread_key_t key, const void* value) {
  if (key >= kMaxKeys) return EINVAL;
  g_keyValues[key] = value;
  return 0;
}

int clock_gettime(clockid_t clock, struct timespec* time) {
  if (clock == CLOCK_MONOTONIC) {
    LARGE_INTEGER count, frequency;
    ::QueryPerformanceCounter(&count);
    ::QueryPerformanceFrequency(&frequency);
    time->tv_sec = static_cast<time_t>(count.QuadPart / frequency.QuadPart);
    time->tv_nsec = static_cast<long>((count.QuadPart % frequency.QuadPart) * 1000000000LL / frequency.QuadPart);
    return 0;
  }
  if (clock != CLOCK_REALTIME) {
    errno = EINVAL;
    return -1;
  }
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  const unsigned long long ticks =
      ((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime) - kUnixEpochIn100ns;
  time->tv_sec = static_cast<time_t>(ticks / 10000000ULL);
  time->tv_nsec = static_cast<long>(ticks % 10000000ULL * 100);
  return 0;
}

}  // extern "C"
