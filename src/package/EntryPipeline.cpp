#include "package/EntryPipeline.h"

#include <utility>

#include "package/ZLibOpen.h"

namespace {

// How long the waiting window thread goes without pumping its messages.
constexpr int kPumpIntervalMs = 10;
// The worker's wait for work; Push() wakes it sooner.
constexpr int kIdleWaitMs = 1000;

}  // namespace

TEntryPipeline::TEntryPipeline(std::function<void()> pump) : pump_(std::move(pump)) {}

TEntryPipeline::~TEntryPipeline() {
  Lock();
  stop_ = true;
  if (monitor_.Valid()) monitor_.NotifyAll();
  Unlock();
  worker_.Join();
}

TEntrySlot* TEntryPipeline::Free() { return count_ < kSlots ? &slots_[(head_ + count_) % kSlots] : nullptr; }

void TEntryPipeline::Push() {
  const int index = (head_ + count_) % kSlots;
  const bool compressed = slots_[index].compressed;
  if (compressed) StartWorker();
  Lock();
  states_[index] = compressed ? TState::Queued : TState::Done;
  ++count_;
  if (monitor_.Valid()) monitor_.NotifyAll();
  Unlock();
}

// While the worker inflates the oldest entry, this thread inflates the next
// queued one instead of idling; it pumps the window's messages while it has
// nothing else to do.
TEntrySlot& TEntryPipeline::Oldest() {
  const int head = head_;
  Lock();
  while (states_[head] != TState::Done) {
    const int next = OldestQueued();
    if (next >= 0) {
      states_[next] = TState::Running;
      Unlock();
      Inflate(slots_[next], true);
      Lock();
      states_[next] = TState::Done;
      continue;
    }
    monitor_.Wait(kPumpIntervalMs);
    if (states_[head] == TState::Done) break;
    Unlock();
    if (pump_) pump_();
    Lock();
  }
  Unlock();
  return slots_[head];
}

void TEntryPipeline::Pop() {
  Lock();
  head_ = (head_ + 1) % kSlots;
  --count_;
  Unlock();
}

// The worker starts with the first compressed entry, and only where a second
// processor can run it and the lock it needs exists.
void TEntryPipeline::StartWorker() {
  if (workerTried_) return;
  workerTried_ = true;
  if (monitor_.Valid() && Thread::ProcessorCount() > 1) worker_.Start(&TEntryPipeline::WorkerMain, this);
}

void TEntryPipeline::WorkerMain(void* self) { static_cast<TEntryPipeline*>(self)->Work(); }

// Inflates the oldest queued entries, one at a time, until stopped.
void TEntryPipeline::Work() {
  monitor_.Lock();
  while (!stop_) {
    const int index = OldestQueued();
    if (index < 0) {
      monitor_.Wait(kIdleWaitMs);
      continue;
    }
    states_[index] = TState::Running;
    monitor_.Unlock();
    Inflate(slots_[index], false);
    monitor_.Lock();
    states_[index] = TState::Done;
    monitor_.NotifyAll();
  }
  monitor_.Unlock();
}

// With the lock held: the oldest slot in flight that waits for inflation, or -1.
int TEntryPipeline::OldestQueued() const {
  for (int i = 0; i < count_; ++i)
    if (states_[(head_ + i) % kSlots] == TState::Queued) return (head_ + i) % kSlots;
  return -1;
}

// The worker never pumps: window messages belong to the window thread.
void TEntryPipeline::Inflate(TEntrySlot& slot, bool onWindowThread) {
  TInflateProgress progress;
  if (onWindowThread && pump_) progress = [this](int64_t, int64_t) { pump_(); };
  slot.code = InflateIntoRoom(slot.block, slot.room, slot.produced, progress);
}

void TEntryPipeline::Lock() {
  if (monitor_.Valid()) monitor_.Lock();
}

void TEntryPipeline::Unlock() {
  if (monitor_.Valid()) monitor_.Unlock();
}
