// Entries of a package in flight between reading and writing. The window
// thread reads the blocks and writes the files; a worker thread inflates the
// blocks that follow the one being written, so that extraction uses a second
// processor. A fixed number of slots bounds the memory, and the entries come
// out in the order they went in, each with its own verdict.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "util/Thread.h"

struct TEntrySlot {
  std::string block;       // the block's content as read
  bool compressed = false;
  std::string room;        // inflated content: its first `produced` bytes
  size_t produced = 0;
  int code = 0;            // zlib's code of the inflation, 0 for success

  std::string_view Text() const {
    return compressed ? std::string_view(room.data(), produced) : std::string_view(block);
  }
};

class TEntryPipeline {
 public:
  static constexpr int kSlots = 3;

  // `pump` keeps the window alive while the window thread waits for the worker.
  explicit TEntryPipeline(std::function<void()> pump);
  // Stops the worker and waits for its end (after its current entry).
  ~TEntryPipeline();
  TEntryPipeline(const TEntryPipeline&) = delete;
  TEntryPipeline& operator=(const TEntryPipeline&) = delete;

  // The slot to read the next block into; nullptr when all slots are in
  // flight (take the oldest out first).
  TEntrySlot* Free();
  // Puts the slot that Free() gave in flight: a compressed block is inflated.
  void Push();
  bool Empty() const { return count_ == 0; }
  // The oldest entry in flight, inflated: by this thread when the worker has
  // not started on it, else when the worker is done with it (this thread
  // inflates later entries meanwhile).
  TEntrySlot& Oldest();
  // Frees the oldest slot.
  void Pop();

 private:
  enum class TState { Queued, Running, Done };

  static void WorkerMain(void* self);
  void Work();
  int OldestQueued() const;
  void StartWorker();
  void Inflate(TEntrySlot& slot, bool onWindowThread);
  void Lock();
  void Unlock();

  std::function<void()> pump_;
  TEntrySlot slots_[kSlots];
  TState states_[kSlots] = {};
  int head_ = 0;   // oldest slot in flight
  int count_ = 0;  // slots in flight
  bool stop_ = false;
  bool workerTried_ = false;
  Thread::TMonitor monitor_;
  Thread::TThread worker_;
};
