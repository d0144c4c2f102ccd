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

TEntrySlot& TEntryPipeline::Oldest() {
  TEntrySlot& slot = slots_[head_];
  TState& state = states_[head_];
  Lock();
  if (state == TState::Queued) {
    state = TState::Running;
    Unlock();
    Inflate(slot, true);
    Lock();
    state = TState::Done;
  }
  while (state != TState::Done) {
    monitor_.Wait(kPumpIntervalMs);
    if (state == TState::Done) break;
    Unlock();
    if (pump_) pump_();
    Lock();
  }
  Unlock();
  return slot;
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
    int index = -1;
    for (int i = 0; i < count_ && index < 0; ++i)
      if (states_[(head_ + i) % kSlots] == TState::Queued) index = (head_ + i) % kSlots;
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
