#include "ui/VxProgBar.h"

#include <utility>

#include "util/SysInfo.h"

TProgBar::TProgBar(std::shared_ptr<TProgBarSink> sink, TPump pump, TWait wait)
    : sink_(std::move(sink)), pump_(std::move(pump)), wait_(std::move(wait)) {
  if (!pump_) pump_ = [] { WaitPumping(0, 0); };
  if (!wait_) wait_ = [](int64_t ms) { WaitPumping(0, ms); };
}

TProgBar::~TProgBar() { Finish(0, 0); }

void TProgBar::Send(int32_t kind, int32_t maximum, int32_t position, int32_t step,
                    const std::string& text) {
  pump_();
  if (sink_) sink_->Event(kind, 0, maximum, position, step, text);
  pump_();
}

void TProgBar::Position(int32_t position, int32_t maximum) { Send(0, maximum, position, 1, ""); }

void TProgBar::Text(const std::string& text) { Send(1, 0, 0, 0, text); }

void TProgBar::Finish(int64_t waitBeforeMs, int64_t waitAfterMs) {
  if (waitBeforeMs > 0) wait_(waitBeforeMs);
  Send(0, 0, 0, 1, "");
  if (waitAfterMs > 0) wait_(waitAfterMs);
}

void TProgBar::Message(const std::string& /*text*/) { pump_(); }

namespace {

std::unique_ptr<TProgBar>& Instance() {
  static std::unique_ptr<TProgBar> instance;
  return instance;
}

}  // namespace

TProgBar& SharedProgBar(std::shared_ptr<TProgBarSink> sink) {
  std::unique_ptr<TProgBar>& instance = Instance();
  if (!instance) instance = std::make_unique<TProgBar>(std::move(sink));
  return *instance;
}

TProgBar* ExistingProgBar() { return Instance().get(); }

void FreeSharedProgBar() { Instance().reset(); }

void TBarsSink::Event(int32_t kind, int32_t /*zero*/, int32_t maximum, int32_t position,
                      int32_t step, const std::string& /*text*/) {
  if (!bars_) return;
  if (kind == 0) {
    bars_->SetMain(maximum, position, step);
    bars_->SetActivity(5, 0, 1);
  } else if (kind == 1) {
    bars_->StepMain();
    activity_ = activity_ >= 5 ? 0 : activity_ + 1;
    bars_->ActivityPosition(activity_);
  }
}
