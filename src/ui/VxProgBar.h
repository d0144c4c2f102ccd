// Progress reports of long operations (downloads above all). TProgBar draws
// nothing: it turns each event into one call of its sink and dispatches the
// pending window messages before and after every event, so the window stays
// alive during a blocking transfer.
//
//   event      kind  maximum  position  step  text
//   Position    0    maximum  position   1    ""
//   Text        1       0        0       0    text
//   Finish      0       0        0       1    ""
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Receiver of the events. `zero` is always 0.
class TProgBarSink {
 public:
  virtual ~TProgBarSink() = default;
  virtual void Event(int32_t kind, int32_t zero, int32_t maximum, int32_t position, int32_t step,
                     const std::string& text) = 0;
};

class TProgBar {
 public:
  using TPump = std::function<void()>;              // dispatches pending messages once
  using TWait = std::function<void(int64_t ms)>;    // waits while dispatching messages

  // An empty sink reports nothing; empty pump and wait take WaitPumping.
  explicit TProgBar(std::shared_ptr<TProgBarSink> sink, TPump pump = nullptr, TWait wait = nullptr);
  // Finishes (0, 0).
  ~TProgBar();
  TProgBar(const TProgBar&) = delete;
  TProgBar& operator=(const TProgBar&) = delete;

  void Position(int32_t position, int32_t maximum);
  void Text(const std::string& text);
  void Finish(int64_t waitBeforeMs, int64_t waitAfterMs);
  // A title (the downloader's file name): reaches no sink, only pumps once.
  void Message(const std::string& text);

  // Set by nobody in the stub itself; the downloader stops when it is true.
  bool Cancelled() const { return cancel_; }
  void SetCancelled(bool cancel) { cancel_ = cancel; }

 private:
  void Send(int32_t kind, int32_t maximum, int32_t position, int32_t step, const std::string& text);

  std::shared_ptr<TProgBarSink> sink_;
  TPump pump_;
  TWait wait_;
  bool cancel_ = false;
};

// The process-wide instance: created with sink on the first call, reused
// afterwards (the sink of later calls is ignored).
TProgBar& SharedProgBar(std::shared_ptr<TProgBarSink> sink);
// The instance if one exists, else null.
TProgBar* ExistingProgBar();
// Destroys the instance (it finishes first).
void FreeSharedProgBar();

// The two bars that the stub window's sink drives.
class TProgressBars {
 public:
  virtual ~TProgressBars() = default;
  // Range 0..maximum, position and step of the main bar.
  virtual void SetMain(int32_t maximum, int32_t position, int32_t step) = 0;
  virtual void StepMain() = 0;
  virtual void SetActivity(int32_t maximum, int32_t position, int32_t step) = 0;
  virtual void ActivityPosition(int32_t position) = 0;
};

// Kind 0 resets both bars, kind 1 advances the main bar by its step and the
// activity bar through 0..5 (cyclic); other kinds do nothing.
class TBarsSink : public TProgBarSink {
 public:
  explicit TBarsSink(std::shared_ptr<TProgressBars> bars) : bars_(std::move(bars)) {}
  void Event(int32_t kind, int32_t zero, int32_t maximum, int32_t position, int32_t step,
             const std::string& text) override;
  int32_t ActivityCounter() const { return activity_; }

 private:
  std::shared_ptr<TProgressBars> bars_;
  int32_t activity_ = 0;
};
