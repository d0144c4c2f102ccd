#include "util/Thread.h"

#include "util/Win.h"

namespace Thread {

int ProcessorCount() {
  SYSTEM_INFO info{};
  ::GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
}

struct TMonitor::TState {
  CRITICAL_SECTION lock;
  CONDITION_VARIABLE changed;
};

TMonitor::TMonitor() : state_(new TState) {
  ::InitializeCriticalSection(&state_->lock);
  ::InitializeConditionVariable(&state_->changed);
}

TMonitor::~TMonitor() {
  if (state_ == nullptr) return;
  ::DeleteCriticalSection(&state_->lock);
  delete state_;
}

void TMonitor::Lock() { ::EnterCriticalSection(&state_->lock); }

void TMonitor::Unlock() { ::LeaveCriticalSection(&state_->lock); }

void TMonitor::Wait(int ms) {
  ::SleepConditionVariableCS(&state_->changed, &state_->lock, static_cast<DWORD>(ms));
}

void TMonitor::NotifyAll() { ::WakeAllConditionVariable(&state_->changed); }

namespace {

struct TStart {
  void (*run)(void*);
  void* context;
};

DWORD WINAPI ThreadMain(void* parameter) {
  const TStart start = *static_cast<TStart*>(parameter);
  delete static_cast<TStart*>(parameter);
  start.run(start.context);
  return 0;
}

}  // namespace

bool TThread::Start(void (*run)(void*), void* context) {
  if (handle_ != nullptr) return false;
  auto* start = new TStart{run, context};
  // CreateThread, not _beginthreadex: the thread runs code that needs no
  // C run-time state of its own (no locale, no errno, no stdio).
  handle_ = ::CreateThread(nullptr, 0, ThreadMain, start, 0, nullptr);
  if (handle_ == nullptr) delete start;
  return handle_ != nullptr;
}

void TThread::Join() {
  if (handle_ == nullptr) return;
  ::WaitForSingleObject(handle_, INFINITE);
  ::CloseHandle(handle_);
  handle_ = nullptr;
}

}  // namespace Thread
