// TProgBar: the events its sink receives, the message pumping around them,
// and the stub window's two-bar sink.
#include "ui/VxProgBar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

// Everything that happens, in order, as one line per step.
struct TLog {
  std::vector<std::string> lines;
  void Add(const std::string& line) { lines.push_back(line); }
};

class TRecordingSink : public TProgBarSink {
 public:
  explicit TRecordingSink(TLog& log) : log_(log) {}
  void Event(int32_t kind, int32_t zero, int32_t maximum, int32_t position, int32_t step,
             const std::string& text) override {
    log_.Add("event " + std::to_string(kind) + " " + std::to_string(zero) + " " +
             std::to_string(maximum) + " " + std::to_string(position) + " " + std::to_string(step) +
             " [" + text + "]");
  }

 private:
  TLog& log_;
};

class ProgBar : public testing::Test {
 protected:
  std::unique_ptr<TProgBar> Make(bool withSink = true) {
    std::shared_ptr<TProgBarSink> sink;
    if (withSink) sink = std::make_shared<TRecordingSink>(log);
    return std::make_unique<TProgBar>(
        sink, [this] { log.Add("pump"); },
        [this](int64_t ms) { log.Add("wait " + std::to_string(ms)); });
  }
  TLog log;
};

TEST_F(ProgBar, EachEventIsWrappedInPumps) {
  auto bar = Make();
  bar->Position(7, 40);
  bar->Text("12 KB of 40 KB");
  bar->Finish(300, 200);
  bar->Message("setup.exe");
  EXPECT_EQ(log.lines, (std::vector<std::string>{
                           "pump", "event 0 0 40 7 1 []", "pump",
                           "pump", "event 1 0 0 0 0 [12 KB of 40 KB]", "pump",
                           "wait 300", "pump", "event 0 0 0 0 1 []", "pump", "wait 200",
                           "pump"}));
}

TEST_F(ProgBar, DestroyingFinishesWithoutWaiting) {
  Make().reset();
  EXPECT_EQ(log.lines, (std::vector<std::string>{"pump", "event 0 0 0 0 1 []", "pump"}));
}

TEST_F(ProgBar, AnEmptySinkStillPumpsOnEveryEvent) {
  auto bar = Make(false);
  bar->Position(1, 2);
  bar->Text("x");
  bar->Message("y");
  EXPECT_EQ(log.lines, (std::vector<std::string>{"pump", "pump", "pump", "pump", "pump"}));
}

TEST_F(ProgBar, CancelFlagStartsFalseAndIsOnlySetByTheCaller) {
  auto bar = Make();
  EXPECT_FALSE(bar->Cancelled());
  bar->Position(1, 2);
  bar->Finish(0, 0);
  EXPECT_FALSE(bar->Cancelled());
  bar->SetCancelled(true);
  EXPECT_TRUE(bar->Cancelled());
}

TEST(SharedProgBar, CreatedOnceAndReused) {
  FreeSharedProgBar();
  EXPECT_EQ(ExistingProgBar(), nullptr);
  TLog first;
  TLog second;
  TProgBar& a = SharedProgBar(std::make_shared<TRecordingSink>(first));
  TProgBar& b = SharedProgBar(std::make_shared<TRecordingSink>(second));
  EXPECT_EQ(&a, &b);
  EXPECT_EQ(ExistingProgBar(), &a);
  b.Text("t");
  EXPECT_EQ(first.lines.size(), 1u);
  EXPECT_TRUE(second.lines.empty());
  FreeSharedProgBar();
  EXPECT_EQ(ExistingProgBar(), nullptr);
  EXPECT_EQ(first.lines.back(), "event 0 0 0 0 1 []");  // finished when freed
}

// --- The two-bar sink ------------------------------------------------------------

class TRecordingBars : public TProgressBars {
 public:
  void SetMain(int32_t maximum, int32_t position, int32_t step) override {
    mainMax = maximum;
    mainPos = position;
    mainStep = step;
  }
  void StepMain() override { mainPos = mainMax > 0 ? std::min(mainMax, mainPos + mainStep) : 0; }
  void SetActivity(int32_t maximum, int32_t position, int32_t step) override {
    activityMax = maximum;
    activity.push_back(position);
    activityStep = step;
  }
  void ActivityPosition(int32_t position) override { activity.push_back(position); }

  int32_t mainMax = -1, mainPos = -1, mainStep = -1;
  int32_t activityMax = -1, activityStep = -1;
  std::vector<int32_t> activity;
};

TEST(BarsSink, PositionSetsTheMainBarAndResetsTheActivityBar) {
  auto bars = std::make_shared<TRecordingBars>();
  TProgBar bar(std::make_shared<TBarsSink>(bars), [] {}, [](int64_t) {});
  bar.Position(3, 10);
  EXPECT_EQ(bars->mainMax, 10);
  EXPECT_EQ(bars->mainPos, 3);
  EXPECT_EQ(bars->mainStep, 1);
  EXPECT_EQ(bars->activityMax, 5);
  EXPECT_EQ(bars->activityStep, 1);
  EXPECT_EQ(bars->activity, (std::vector<int32_t>{0}));
  bar.Text("t");
  EXPECT_EQ(bars->mainPos, 4);
}

TEST(BarsSink, MaximumZeroLeavesTheMainBarEmpty) {
  auto bars = std::make_shared<TRecordingBars>();
  TProgBar bar(std::make_shared<TBarsSink>(bars), [] {}, [](int64_t) {});
  bar.Position(5, 0);
  bar.Text("t");
  EXPECT_EQ(bars->mainMax, 0);
  EXPECT_EQ(bars->mainPos, 0);
}

TEST(BarsSink, SevenTextsCycleTheActivityBarAndTheCounterSurvivesAReset) {
  auto bars = std::make_shared<TRecordingBars>();
  auto sink = std::make_shared<TBarsSink>(bars);
  TProgBar bar(sink, [] {}, [](int64_t) {});
  for (int i = 0; i < 7; ++i) bar.Text("t");
  EXPECT_EQ(bars->activity, (std::vector<int32_t>{1, 2, 3, 4, 5, 0, 1}));
  bar.Finish(0, 0);
  EXPECT_EQ(bars->mainMax, 0);
  EXPECT_EQ(bars->activity.back(), 0);
  bar.Text("t");
  EXPECT_EQ(bars->activity.back(), 2);  // the counter goes on from 1
  EXPECT_EQ(sink->ActivityCounter(), 2);
}

TEST(BarsSink, OtherKindsDoNothing) {
  auto bars = std::make_shared<TRecordingBars>();
  TBarsSink sink(bars);
  sink.Event(2, 0, 10, 3, 1, "x");
  sink.Event(-1, 0, 10, 3, 1, "x");
  EXPECT_EQ(bars->mainMax, -1);
  EXPECT_TRUE(bars->activity.empty());
  TBarsSink noBars(nullptr);
  noBars.Event(0, 0, 1, 1, 1, "");  // no crash
}

}  // namespace
