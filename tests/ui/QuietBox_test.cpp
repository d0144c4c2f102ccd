// The quiet mode of the message boxes: answers, log lines, the log file and
// the debug channel.
#include "ui/QuietBox.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "ui/VxMsgBox.h"
#include "util/DebugOut.h"

namespace {

using testsupport::ReadBytes;
using testsupport::TScratchDir;

// Collects the debug lines while it lives.
struct TDebugLines : DebugOut::TDevice {
  std::string text;
  DebugOut::TDevice* previous = DebugOut::SetDevice(this);
  ~TDebugLines() override { DebugOut::SetDevice(previous); }
  void Write(std::string_view part) override { text.append(part); }
  void Flush() override {}
};

class QuietBoxTest : public ::testing::Test {
 protected:
  TScratchDir dir;
  std::string log = dir.File("setup.log");
  void SetUp() override {
    MsgBox::SetQuietMode(true);
    MsgBox::SetQuietLog(log);
  }
  void TearDown() override {
    MsgBox::SetQuietMode(false);
    MsgBox::SetQuietLog("");
  }
};

TEST(QuietBox, EachButtonSetAnswersWithItsRefusingButton) {
  struct TCase {
    uint32_t style;
    int answer;
  } cases[] = {
      {0x00, MsgBox::kIdOk},     {0x10, MsgBox::kIdOk},     {0x30, MsgBox::kIdOk},
      {0x01, MsgBox::kIdCancel}, {0x21, MsgBox::kIdCancel}, {0x121, MsgBox::kIdCancel},
      {0x02, MsgBox::kIdAbort},  {0x03, MsgBox::kIdCancel}, {0x24, MsgBox::kIdNo},
      {0x05, MsgBox::kIdCancel}, {0x06, MsgBox::kIdNone},   {0x0F, MsgBox::kIdNone},
  };
  for (const TCase& c : cases) EXPECT_EQ(MsgBox::QuietAnswer(c.style), c.answer) << c.style;
}

TEST(QuietBox, TheLineNamesTheCaptionOnceAndTheAnswerOfAChoice) {
  const auto prepared = [](intptr_t mode, const std::string& text, const std::string& caption, uint32_t style) {
    return MsgBox::PrepareRequest(mode, text, caption, MsgBox::kDefaultButtons, 0, style, 0).text;
  };
  struct TCase {
    std::string caption, markup;
    uint32_t style;
    std::string line;
  } cases[] = {
      {"Error", prepared(0, "Bad CRC!<P>This indicates that your setup file might be corrupted...", "Error", 0x10),
       0x10, "Error: Bad CRC! This indicates that your setup file might be corrupted..."},
      {"Attention", prepared(0, "Please insert <B>DISK #2</B> and press OK to continue", "Attention", 0x21), 0x21,
       "Attention: Please insert DISK #2 and press OK to continue -> Cancel"},
      {"Setup", prepared(0, "Text", "Setup", 0x24), 0x24, "Setup: Text -> No"},
      {"Confirm", prepared(1, "Continue?<P>", "Confirm", 0x21), 0x21, "Confirm: Continue? -> Cancel"},
      {"", "No caption<T>here", 0x30, "No caption here"},
  };
  for (const TCase& c : cases) EXPECT_EQ(MsgBox::QuietLine(c.caption, c.markup, c.style), c.line) << c.markup;
}

TEST_F(QuietBoxTest, BoxesAreAnsweredWithoutShowingAndGoToTheLogAndTheDebugChannel) {
  TDebugLines debug;
  MsgError(0, "Bad CRC!<P>This indicates that your setup file might be corrupted...", "Error");
  EXPECT_FALSE(MsgOkCancel(0, "Please insert <B>DISK #2</B> and press OK to continue", "Attention"));
  EXPECT_FALSE(MsgYesNo(0, "Install the update?"));
  MsgWarning(0, "Low on room", "", "", 0, 5000);

  const std::string text = ReadBytes(log);
  const std::regex line(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d (.*)\r\n)");
  std::vector<std::string> messages;
  for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) messages.push_back((*it)[1]);
  EXPECT_EQ(messages, (std::vector<std::string>{
                          "Error: Bad CRC! This indicates that your setup file might be corrupted...",
                          "Attention: Please insert DISK #2 and press OK to continue -> Cancel",
                          "Confirm: Install the update? -> No",
                          "Attention: Low on room",
                      }));
  EXPECT_NE(debug.text.find("Quiet run, not shown: Attention: Please insert DISK #2 and press OK to continue -> Cancel\n"),
            std::string::npos)
      << debug.text;
}

TEST_F(QuietBoxTest, ALogThatCannotBeWrittenIsReportedAndTheAnswerStands) {
  testsupport::WriteBytes(dir.File("blocker"), "a file, not a folder");
  MsgBox::SetQuietLog(dir.File("blocker") + "/sub/setup.log");
  TDebugLines debug;
  EXPECT_FALSE(MsgOkCancel(0, "Question"));
  EXPECT_FALSE(MsgBox::AppendQuietLog("more"));
  EXPECT_NE(debug.text.find("Quiet run: the log " + MsgBox::QuietLog() + " cannot be written"), std::string::npos)
      << debug.text;
}

TEST_F(QuietBoxTest, WithoutTheQuietModeNothingIsLogged) {
  MsgBox::SetQuietMode(false);
  MsgWarning(0, "shown, not logged", "", "", 0, 300);  // a shown box closes itself
  EXPECT_EQ(ReadBytes(log), "");
}

}  // namespace
