#include "autoupdate/AUInstall.h"

#include <gtest/gtest.h>

#include "autoupdate/UpdateCycle.h"

namespace AU {
namespace {

TEST(AUInstallQuestions, KindByRequestForceAndCycleMode) {
  struct {
    bool request, force;
    int32_t cycleMode;
    TAsk expected;
  } const cases[] = {
      {false, false, kCycleAutomatic, TAsk::None}, {false, true, kCycleAutomatic, TAsk::None},
      {true, false, kCycleAutomatic, TAsk::YesNo}, {true, true, kCycleAutomatic, TAsk::Notice},
      {true, false, kCycleUserNow, TAsk::None},    {true, true, kCycleUserNow, TAsk::None},
      {true, false, kCycleUserPending, TAsk::YesNo},
  };
  for (const auto& c : cases)
    EXPECT_EQ(QuestionKind(c.request, c.force, c.cycleMode), c.expected)
        << c.request << c.force << " mode " << c.cycleMode;
}

TEST(AUInstallQuestions, DownloadAndInstallTexts) {
  const TDownloadTexts t{"Get PROG_NAME? ", "[12]", "[13 PROG_NAME]", "[18]", "[19]"};
  EXPECT_EQ(DownloadQuestionText(t, false, false, "Editor"), "Get Editor? [12]");
  EXPECT_EQ(DownloadQuestionText(t, true, false, "Editor"), "Get Editor? [13 Editor]");
  EXPECT_EQ(DownloadQuestionText(t, false, true, "Editor"), "Get Editor? [18]");
  EXPECT_EQ(DownloadQuestionText(t, true, true, "Editor"), "Get Editor? [19]");
  EXPECT_EQ(InstallQuestionText("Install PROG_NAME?", "PROG_NAME will be installed.", false, "Ed"), "Install Ed?");
  EXPECT_EQ(InstallQuestionText("Install PROG_NAME?", "PROG_NAME will be installed.", true, "Ed"),
            "Ed will be installed.");
}

TEST(AUInstallShutdown, MethodsWaitsAndWhetherTheUpdateRuns) {
  struct {
    const char* text;
    TShutdown method;
    bool waits;
    bool runsBesideTheProduct;
  } const cases[] = {
      {"Don't Shut Down", TShutdown::None, false, true},
      {"Using WM_CLOSE", TShutdown::Close, true, false},
      {"Using WM_QUIT", TShutdown::Quit, true, false},
      {"Using Terminate Process", TShutdown::Terminate, true, false},
      {"Issue a Message Box", TShutdown::AskUser, true, false},
      // The INFO file's texts are exact: another case or blanks is no method.
      {"using wm_close", TShutdown::WaitOnly, true, false},
      {" Using WM_CLOSE", TShutdown::WaitOnly, true, false},
      {"", TShutdown::WaitOnly, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const TShutdown method = ShutdownMethodOf(c.text);
    EXPECT_EQ(method, c.method);
    EXPECT_EQ(ShutdownWaitMs(method) > 0, c.waits);
    EXPECT_LE(ShutdownWaitMs(method), 30000u);
    EXPECT_TRUE(UpdateMayRun(method, false));
    EXPECT_EQ(UpdateMayRun(method, true), c.runsBesideTheProduct);
  }
  // A program asked to close gets seconds to save its work.
  EXPECT_GE(ShutdownWaitMs(TShutdown::Close), 5000u);
  EXPECT_GE(ShutdownWaitMs(TShutdown::Quit), 5000u);
}

TEST(AUInstallShutdown, OnlyAProductThatRanAndWasShutDownIsRestarted) {
  EXPECT_TRUE(RestartsProduct(true, true, false));
  EXPECT_FALSE(RestartsProduct(false, true, false));
  EXPECT_FALSE(RestartsProduct(true, false, false));  // it was not running
  EXPECT_FALSE(RestartsProduct(true, true, true));    // it was never shut down
}

TEST(AUInstallFinish, MessageAfterTheRun) {
  const auto finish = [](bool ran, bool inform, int32_t mode, bool restart) {
    return FinishMessage(ran, inform, mode, restart, "PROG_NAME is up to date.", " Restart PROG_NAME?", "Ed");
  };
  EXPECT_EQ(finish(false, true, kCycleUserNow, true).ask, TAsk::None);
  EXPECT_EQ(finish(true, false, kCycleAutomatic, true).ask, TAsk::None);
  const TFinish question = finish(true, true, kCycleAutomatic, true);
  EXPECT_EQ(question.ask, TAsk::YesNo);
  EXPECT_EQ(question.text, "Ed is up to date. Restart PROG_NAME?");  // s17 as it is
  const TFinish notice = finish(true, false, kCycleUserNow, false);
  EXPECT_EQ(notice.ask, TAsk::Notice);
  EXPECT_EQ(notice.text, "Ed is up to date.");
}

TEST(AUInstallCommands, UpdateArgumentsAndAgentRestart) {
  EXPECT_EQ(OriginalInfoFileArgs("C:\\My Prod\\Prod.info"), "/OriginalInfoFile=\"C:\\My Prod\\Prod.info\"");
  EXPECT_EQ(AgentRestartCommand("C:\\Prod\\", "Prod.exe", "|255|1|255|255|255|255|255|255|"),
            "C:\\Prod\\Prod.exe /_ZZ=99 /WAIT=10 /TRANSIENT=|255|1|255|255|255|255|255|255|");
  // A folder with a blank is quoted, or the start would look for "C:\Program.exe".
  EXPECT_EQ(AgentRestartCommand("C:\\Program Files\\Prod\\", "Prod.exe", "|1|"),
            "\"C:\\Program Files\\Prod\\Prod.exe\" /_ZZ=99 /WAIT=10 /TRANSIENT=|1|");
  EXPECT_TRUE(RestartsAgent(-1));
  EXPECT_TRUE(RestartsAgent(0));
  EXPECT_FALSE(RestartsAgent(1));
}

}  // namespace
}  // namespace AU
