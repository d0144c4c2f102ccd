// The program's writer for debug lines: what reaches its device.
#include "util/DebugOut.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

namespace {

struct TFakeDevice : DebugOut::TDevice {
  std::string written;
  int flushes = 0;
  bool failing = false;
  void Write(std::string_view text) override {
    if (failing) throw std::bad_alloc();
    written.append(text);
  }
  void Flush() override {
    if (failing) throw std::bad_alloc();
    ++flushes;
  }
};

// Installs a device for one test and puts the previous one back.
class DebugOutTest : public ::testing::Test {
 protected:
  TFakeDevice device;
  DebugOut::TDevice* previous = nullptr;
  void SetUp() override { previous = DebugOut::SetDevice(&device); }
  void TearDown() override { DebugOut::SetDevice(previous); }
};

TEST_F(DebugOutTest, ALineIsTheTextALineEndAndOneFlush) {
  DebugOut::Line("12 ==== STUB START ====> x.exe /hide<");
  DebugOut::Line("");
  EXPECT_EQ(device.written, "12 ==== STUB START ====> x.exe /hide<\n\n");
  EXPECT_EQ(device.flushes, 2);
}

TEST_F(DebugOutTest, WritesWithoutALineEndWaitForTheFlush) {
  DebugOut::Write("part one, ");
  DebugOut::Write("part two");
  EXPECT_EQ(device.written, "part one, part two");
  EXPECT_EQ(device.flushes, 0);
  DebugOut::Flush();
  EXPECT_EQ(device.flushes, 1);
}

TEST_F(DebugOutTest, TheDeviceIsSwappedAndAFailingDeviceIsHarmless) {
  EXPECT_EQ(DebugOut::Device(), &device);
  TFakeDevice other;
  EXPECT_EQ(DebugOut::SetDevice(&other), &device);
  DebugOut::Line("to the other");
  EXPECT_EQ(other.written, "to the other\n");
  EXPECT_TRUE(device.written.empty());

  other.failing = true;
  EXPECT_NO_THROW(DebugOut::Line("lost"));
  EXPECT_NO_THROW(DebugOut::Flush());
  DebugOut::SetDevice(&device);
}

}  // namespace
