// msgbox-demo shows a box in its own process and ui-robot reads and answers
// it, as the end-to-end tests of the stub do.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "util/Win.h"

namespace {

using testsupport::BuildPath;
using testsupport::ReadBytes;
using testsupport::TScratchDir;

struct TRun {
  THandle process;
  DWORD pid = 0;
};

// Starts a program; its standard output goes to outputFile when given.
TRun Start(const std::string& commandLine, const std::string& outputFile = "") {
  TRun run;
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  THandle output;
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  if (!outputFile.empty()) {
    output.Reset(::CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = output.Get();
    si.hStdError = output.Get();
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  }
  PROCESS_INFORMATION pi{};
  std::string mutableLine = commandLine;
  if (::CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    ::CloseHandle(pi.hThread);
    run.process.Reset(pi.hProcess);
    run.pid = pi.dwProcessId;
  }
  return run;
}

// Exit code, or -1 when the process did not end in time (it is then ended).
int Finish(TRun& run, DWORD timeoutMs) {
  if (!run.process) return -1;
  if (::WaitForSingleObject(run.process.Get(), timeoutMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(run.process.Get(), 99);
    return -1;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(run.process.Get(), &code);
  return static_cast<int>(code);
}

std::string WithoutCR(std::string text) {
  std::string out;
  for (char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

class UiRobot : public testing::Test {
 protected:
  void SetUp() override {
    demo = BuildPath("tools/msgbox-demo/msgbox-demo.exe");
    robot = BuildPath("tools/ui-robot/ui-robot.exe");
    if (::GetFileAttributesA(demo.c_str()) == INVALID_FILE_ATTRIBUTES ||
        ::GetFileAttributesA(robot.c_str()) == INVALID_FILE_ATTRIBUTES) {
      GTEST_SKIP() << "msgbox-demo or ui-robot is not built";
    }
  }
  // Shows a box with the demo arguments, answers it with the robot
  // arguments; returns the demo's answer and fills robotOutput.
  std::string Answer(const std::string& demoArgs, const std::string& robotArgs, int* robotCode = nullptr) {
    const std::string answerFile = dir.File("answer.txt");
    TRun shown = Start("\"" + demo + "\" --timeout 30000 --out \"" + answerFile + "\" " + demoArgs,
                       dir.File("demo.txt"));
    EXPECT_TRUE(shown.process.Valid());
    TRun answering = Start("\"" + robot + "\" --class VxMsgBox --pid " + std::to_string(shown.pid) +
                               " --timeout 15000 --wait-gone " + robotArgs,
                           dir.File("robot.txt"));
    const int code = Finish(answering, 30000);
    if (robotCode) *robotCode = code;
    EXPECT_EQ(Finish(shown, 40000), 0);
    robotOutput = WithoutCR(ReadBytes(dir.File("robot.txt")));
    return WithoutCR(ReadBytes(answerFile));
  }
  std::string demo;
  std::string robot;
  std::string robotOutput;
  TScratchDir dir;
};

TEST_F(UiRobot, ReadsTheBoxAndPressesAKey) {
  int code = -1;
  EXPECT_EQ(Answer("--shortcut yesno --owner 0 --caption Confirm --text \"Go <B>on</B>?\"", "--key N", &code),
            "0\n");
  EXPECT_EQ(code, 0);
  EXPECT_NE(robotOutput.find("caption=Confirm\n"), std::string::npos) << robotOutput;
  EXPECT_NE(robotOutput.find("text=CONFIRM\\n\\nGo on?\\n\n"), std::string::npos) << robotOutput;
  EXPECT_NE(robotOutput.find("button=&Yes\nbutton=&No\ndefault=0\n"), std::string::npos) << robotOutput;
  EXPECT_NE(robotOutput.find("rect="), std::string::npos);
}

TEST_F(UiRobot, PressesButtonsByCaptionAndIndexAndCloses) {
  EXPECT_EQ(Answer("--style 2", "--press ignore"), "5\n");
  EXPECT_EQ(Answer("--style 2", "--press-index 1"), "4\n");
  EXPECT_EQ(Answer("--style 0x21", "--close"), "0\n");
  EXPECT_EQ(Answer("--style 0x24", "--key Enter"), "6\n");
  EXPECT_EQ(Answer("--style 0x21", "--char c"), "2\n");
  EXPECT_EQ(Answer("--style 0x24 --charset 177", "--key Escape"), "0\n");
  EXPECT_NE(robotOutput.find("textexstyle=0x00002000"), std::string::npos) << robotOutput;
}

TEST_F(UiRobot, ExitCodesForNoWindowBadUsageAndNoSuchButton) {
  TRun none = Start("\"" + robot + "\" --class NoSuchWindowClass --timeout 300");
  EXPECT_EQ(Finish(none, 20000), 1);
  TRun bad = Start("\"" + robot + "\" --press OK");
  EXPECT_EQ(Finish(bad, 20000), 2);
  TRun badKey = Start("\"" + robot + "\" --class X --key F13");
  EXPECT_EQ(Finish(badKey, 20000), 2);
  int code = -1;
  EXPECT_EQ(Answer("--style 0 --timeout 3000", "--press Maybe", &code), "1\n");  // the timeout answers
  EXPECT_EQ(code, 3);
}

}  // namespace
