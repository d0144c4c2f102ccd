#include "util/Thread.h"

#include <condition_variable>
#include <chrono>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "util/Exceptions.h"

namespace Thread {

int ProcessorCount() {
  const unsigned count = std::thread::hardware_concurrency();
  return count > 0 ? static_cast<int>(count) : 1;
}

struct TMonitor::TState {
  std::mutex lock;
  std::condition_variable changed;
};

TMonitor::TMonitor() : state_(new (std::nothrow) TState) {}

TMonitor::~TMonitor() { delete state_; }

void TMonitor::Lock() { state_->lock.lock(); }

void TMonitor::Unlock() { state_->lock.unlock(); }

void TMonitor::Wait(int ms) {
  std::unique_lock<std::mutex> held(state_->lock, std::adopt_lock);
  state_->changed.wait_for(held, std::chrono::milliseconds(ms));
  held.release();  // the caller keeps holding the lock
}

void TMonitor::NotifyAll() { state_->changed.notify_all(); }

bool TThread::Start(void (*run)(void*), void* context) {
  if (handle_ != nullptr) return false;
  VX_TRY { handle_ = new std::thread(run, context); }
  VX_CATCH(const std::exception&) {  // std::system_error (no thread), std::bad_alloc
    handle_ = nullptr;
  }
  return handle_ != nullptr;
}

void TThread::Join() {
  if (handle_ == nullptr) return;
  auto* thread = static_cast<std::thread*>(handle_);
  thread->join();
  delete thread;
  handle_ = nullptr;
}

}  // namespace Thread
