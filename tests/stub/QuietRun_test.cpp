// The /QUIET switch: quiet and hidden runs, and the start and end of the log.
#include "stub/QuietRun.h"

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "stub/VxDebug.h"
#include "ui/QuietBox.h"

namespace {

using testsupport::ReadBytes;
using testsupport::TScratchDir;

class QuietRunTest : public ::testing::Test {
 protected:
  TScratchDir dir;
  void TearDown() override {
    MsgBox::SetQuietMode(false);
    MsgBox::SetQuietLog("");
  }
};

TEST(QuietRun, QuietImpliesHidden) {
  struct TCase {
    std::string args;
    bool quiet, hidden;
  } cases[] = {
      {"/QUIET", true, true},
      {"/x /quiet /LOG=a.log", true, true},
      {"/hide", false, true},
      {"/QUIET /hide", true, true},
      {"/QUIETER", false, false},
      {"/LOG=quiet.log", false, false},
      {"", false, false},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(QuietRun::QuietRequested(c.args), c.quiet) << c.args;
    EXPECT_EQ(QuietRun::HiddenRun(c.args), c.hidden) << c.args;
  }
}

TEST_F(QuietRunTest, TheLogHoldsTheStartAndTheExitCode) {
  const std::string log = dir.File("setup log.txt");
  QuietRun::Start("/QUIET /LOG=\"" + log + "\" /x", "setup.exe /QUIET /LOG=\"" + log + "\" /x");
  EXPECT_TRUE(MsgBox::QuietMode());
  EXPECT_EQ(MsgBox::QuietLog(), log);
  QuietRun::Finish(3);
  const std::string text = ReadBytes(log);
  EXPECT_NE(text.find(" Quiet run: setup.exe /QUIET /LOG=\"" + log + "\" /x\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" Exit code 3\r\n"), std::string::npos) << text;
}

TEST_F(QuietRunTest, ALogThatCannotBeWrittenIsTracedAndTheRunGoesOnWithoutIt) {
  testsupport::WriteBytes(dir.File("blocker"), "a file, not a folder");
  const std::string log = dir.File("blocker") + "/setup.log";
  VxDebug::TTraceCapture trace;
  QuietRun::Start("/QUIET /LOG=" + log, "setup.exe /QUIET /LOG=" + log);
  EXPECT_TRUE(MsgBox::QuietMode());
  EXPECT_EQ(MsgBox::QuietLog(), "");
  ASSERT_EQ(trace.Lines().size(), 1u);
  EXPECT_EQ(trace.Lines()[0], "Quiet run: the log " + log + " cannot be written; the run goes on without it");
  QuietRun::Finish(0);  // nothing to write to
}

TEST_F(QuietRunTest, LogWithoutQuietIsNoQuietRun) {
  const std::string log = dir.File("setup.log");
  QuietRun::Start("/hide /LOG=" + log, "setup.exe /hide /LOG=" + log);
  QuietRun::Finish(0);
  EXPECT_FALSE(MsgBox::QuietMode());
  EXPECT_EQ(ReadBytes(log), "");
}

}  // namespace
