// A second thread and the lock and signal that two threads share: the seam
// of the platform's threads (Thread_win32.cpp: Win32 threads, so that the
// release stub carries no thread library; Thread_posix.cpp: the standard
// library's). Nothing here throws: a thread that cannot start or a monitor
// that cannot be made is reported, and the caller does the work itself.
#pragma once

namespace Thread {

// Processors this process may run on (at least 1).
int ProcessorCount();

// A lock with one condition. Every call but Valid() needs a valid monitor.
class TMonitor {
 public:
  TMonitor();
  ~TMonitor();
  TMonitor(const TMonitor&) = delete;
  TMonitor& operator=(const TMonitor&) = delete;

  bool Valid() const { return state_ != nullptr; }
  void Lock();
  void Unlock();
  // With the lock held: releases it until NotifyAll() or `ms` milliseconds
  // have passed (or a spurious wake), then holds it again.
  void Wait(int ms);
  void NotifyAll();

 private:
  struct TState;
  TState* state_;
};

// Runs one function on a new thread; the destructor waits for its end.
class TThread {
 public:
  TThread() = default;
  ~TThread() { Join(); }
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // False when no thread could be started (then nothing runs).
  bool Start(void (*run)(void* context), void* context);
  // Waits for the function to return; nothing when no thread runs.
  void Join();

 private:
  void* handle_ = nullptr;
};

}  // namespace Thread
