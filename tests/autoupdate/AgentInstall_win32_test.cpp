// The X_ agent installing an accepted release for real: the agent and its
// product (tools/dummy-product) run from a product folder, the INFO file and
// the update package (a setup whose engine is tools/test-engine) lie on
// nginx (scripts/with-web.sh). The agent downloads the update, shuts the
// product down, runs the update through the setup's extraction run, writes
// the new version, restarts the product and hands over to the plain agent.
#include <gtest/gtest.h>

#include "../stub/StubRun_win32.h"
#include "AgentInstallFixture_win32.h"

using namespace agentinstall;

namespace {

struct TInstallCase {
  const char* tag;
  const char* method;     // ShutDownMethod
  const char* productArgs;  // "" = no product running
  bool engineCompletes;
  bool installed;         // the update ran to its end: version written, product restarted
  const char* traced;     // a line the agent's trace log must hold
};

TEST_F(AgentInstallTest, ShutdownUpdateRunAndRestarts) {
  const TInstallCase cases[] = {
      {"close", "Using WM_CLOSE", "", true, true, "Update run: exit code 0, completed"},
      {"quit", "Using WM_QUIT", "", true, true, "Update run: exit code 0, completed"},
      {"terminate", "Using Terminate Process", "", true, true, "Update run: exit code 0, completed"},
      // A product that will not close keeps its files: the update is not started.
      {"ignored", "Using WM_CLOSE", "/OnClose=ignore", true, false,
       "PerformAutoUpdate: the product still runs, the update is not started"},
      // An update whose engine does not complete changes no version.
      {"incomplete", "Using WM_CLOSE", "", false, false, "not completed"},
  };
  for (const TInstallCase& c : cases) {
    SCOPED_TRACE(c.tag);
    ::DeleteFileA(log.c_str());
    ::DeleteFileA(engineLog.c_str());
    ::DeleteFileA(exitFile.c_str());
    ::SetEnvironmentVariableA("VARNEL_ENGINE_REMOVEATOM", c.engineCompletes ? "1" : nullptr);
    Publish(c.tag, std::string("ShutDownMethod=") + c.method + "\r\nRestartProcess=1\r\n");

    dummy::TProduct running;
    const DWORD firstProduct = StartProduct(running, c.productArgs);
    ASSERT_NE(firstProduct, 0u);

    TProc agent;
    ASSERT_TRUE(StartAgent(agent));
    const std::string trace = TraceOnceItHas("PerformAutoUpdate() - END");
    EXPECT_TRUE(Has(trace, c.traced)) << trace;
    EXPECT_TRUE(Has(trace, std::string("PerformAutoUpdate() - END    Result=") + (c.installed ? "TRUE" : "FALSE")))
        << trace;
    // The installed agent hands over to the plain agent and ends; otherwise
    // it is told to.
    if (!c.installed) {
      if (HWND window = FindTop(".AutoUpdate.X_Prod")) ::PostMessageA(window, Stub::wm_ShutDown, 0, 0);
    } else {
      EXPECT_TRUE(Has(trace, "Prod.exe /_ZZ=99 /WAIT=10 /TRANSIENT=|255|255|255|255|255|255|255|255|")) << trace;
    }
    EXPECT_EQ(agent.Wait(kRunMs), 0u);
    EXPECT_TRUE(WaitUntil([&] { return !Exists(x); }, kRunMs)) << "the X_ copy deletes itself";

    // The downloaded update is gone whatever happened; the version moved only
    // with a completed run.
    EXPECT_FALSE(Exists(folder + "\\Setup.exe"));
    EXPECT_EQ(Original("VersionOriginal"), c.installed ? "101" : "100");
    const bool shutDown = std::string(c.productArgs).empty();
    EXPECT_EQ(Has(ReadBytes(engineLog), "/OriginalInfoFile=\"" + folder + "\\" + kInfoName + "\""), shutDown)
        << ReadBytes(engineLog);
    if (c.installed) {
      // The product that was shut down runs again, as a new process.
      EXPECT_TRUE(WaitUntil([&] { return ProductWindowProcess() != 0 && ProductWindowProcess() != firstProduct; },
                            kStartMs));
    } else if (!shutDown) {
      EXPECT_EQ(ProductWindowProcess(), firstProduct);  // never restarted, never replaced
    }
    KillAllNamed("Product.exe");
  }
}

// The questions: a declined download fetches nothing; the Force flag turns
// the question into a notice without No, and the update goes ahead.
TEST_F(AgentInstallTest, DownloadQuestionDeclinedOrForced) {
  const std::string texts = "[AutoUpdate]\r\ns11=Fetch PROG_NAME 101?\r\ns12=<P>Install when it has arrived.\r\n"
                            "s18=<P>It will be installed now.\r\n";
  struct {
    const char* tag;
    const char* keys;
    const char* button;
    const char* text;
    bool installed;
  } const cases[] = {
      {"declined", "RequestConfirmationBeforeDownload=1\r\n", "No", "Fetch Prod 101?", false},
      {"forced", "RequestConfirmationBeforeDownload=1\r\nRequestConfirmationBeforeDownloadForce=1\r\n", "OK",
       "It will be installed now.", true},
  };
  ::SetEnvironmentVariableA("VARNEL_ENGINE_REMOVEATOM", "1");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tag);
    ::DeleteFileA(log.c_str());
    ::DeleteFileA(engineLog.c_str());
    Publish(c.tag, std::string(c.keys) + "ShutDownMethod=Don't Shut Down\r\n", texts);
    TProc agent;
    ASSERT_TRUE(StartAgent(agent));
    const std::string text = agentboxes::AnswerBox(c.button);
    EXPECT_TRUE(Has(text, c.text)) << text;
    const std::string trace = TraceOnceItHas("PerformAutoUpdate() - END");
    EXPECT_TRUE(Has(trace, std::string("Result=") + (c.installed ? "TRUE" : "FALSE"))) << trace;
    EXPECT_EQ(Has(trace, "Download START"), true);  // the INFO file's
    EXPECT_EQ(Has(trace, "Setup.exe"), c.installed) << trace;
    EXPECT_EQ(Original("VersionOriginal"), c.installed ? "101" : "100");
    EXPECT_EQ(Exists(engineLog), c.installed);
    if (!c.installed) {
      if (HWND window = FindTop(".AutoUpdate.X_Prod")) ::PostMessageA(window, Stub::wm_ShutDown, 0, 0);
    }
    EXPECT_EQ(agent.Wait(kRunMs), 0u);
    EXPECT_TRUE(WaitUntil([&] { return !Exists(x); }, kRunMs));
  }
}

// "Issue a Message Box": s15 stays up while the product runs; once the user
// has closed the product the update runs and the product comes back.
TEST_F(AgentInstallTest, MessageBoxMethodWaitsForTheUserToCloseTheProduct) {
  ::SetEnvironmentVariableA("VARNEL_ENGINE_REMOVEATOM", "1");
  Publish("askuser", "ShutDownMethod=Issue a Message Box\r\nRestartProcess=1\r\n",
          "[AutoUpdate]\r\ns15=Please close PROG_NAME to update it.\r\n");
  dummy::TProduct running;
  const DWORD firstProduct = StartProduct(running);
  ASSERT_NE(firstProduct, 0u);
  TProc agent;
  ASSERT_TRUE(StartAgent(agent));
  // Answered while the product still runs, the box comes back.
  EXPECT_TRUE(Has(agentboxes::AnswerBox("OK"), "Please close Product.exe to update it."));
  EXPECT_TRUE(Has(agentboxes::AnswerBox("OK"), "Please close Product.exe to update it."));
  ::PostMessageA(::FindWindowA(kProductClass, nullptr), WM_CLOSE, 0, 0);
  ASSERT_TRUE(running.Ended(kStartMs));
  // The box may have come up once more before the product was gone.
  EXPECT_TRUE(WaitUntil([&] {
    if (FindTop("VxMsgBox")) {
      TProc robot(testsupport::BuildPath("tools/ui-robot/ui-robot.exe"),
                  "--class VxMsgBox --timeout 2000 --press OK --wait-gone");
      robot.Wait(10000);
    }
    return Has(ReadBytes(log), "PerformAutoUpdate() - END");
  }, kRunMs)) << ReadBytes(log);
  const std::string trace = ReadBytes(log);
  EXPECT_TRUE(Has(trace, "Result=TRUE")) << trace;
  EXPECT_EQ(Original("VersionOriginal"), "101");
  EXPECT_TRUE(WaitUntil([&] { return ProductWindowProcess() != 0 && ProductWindowProcess() != firstProduct; },
                        kStartMs));
  EXPECT_EQ(agent.Wait(kRunMs), 0u);
}

// InformFinish: the finish message asks whether to restart the product; No
// leaves it ended, with the update installed.
TEST_F(AgentInstallTest, FinishQuestionDeclinedLeavesTheProductEnded) {
  ::SetEnvironmentVariableA("VARNEL_ENGINE_REMOVEATOM", "1");
  Publish("finish", "ShutDownMethod=Using WM_CLOSE\r\nRestartProcess=1\r\nInformFinish=1\r\n",
          "[AutoUpdate]\r\ns16=PROG_NAME is up to date.\r\ns17=<P>Start PROG_NAME again?\r\n");
  dummy::TProduct running;
  ASSERT_NE(StartProduct(running), 0u);
  TProc agent;
  ASSERT_TRUE(StartAgent(agent));
  const std::string text = agentboxes::AnswerBox("No");
  // s16 names the program; s17 is added as it is.
  EXPECT_TRUE(Has(text, "Prod is up to date.")) << text;
  EXPECT_TRUE(Has(text, "Start PROG_NAME again?")) << text;
  const std::string trace = TraceOnceItHas("PerformAutoUpdate() - END");
  EXPECT_TRUE(Has(trace, "Result=TRUE")) << trace;
  EXPECT_EQ(Original("VersionOriginal"), "101");
  EXPECT_TRUE(running.Ended(kStartMs));
  // A restart would have been started before the end line was written.
  EXPECT_EQ(KillAllNamed("Product.exe"), 0);
  EXPECT_EQ(agent.Wait(kRunMs), 0u);
}

// After an update the plain agent beside the product takes over: it waits,
// makes a new X_ copy of itself (the update may have replaced it) and starts
// it.
TEST_F(AgentInstallTest, ThePlainAgentStartsTheNextCopyAfterTheUpdate) {
  ::SetEnvironmentVariableA("VARNEL_ENGINE_REMOVEATOM", "1");
  Publish("handover", "ShutDownMethod=Don't Shut Down\r\n");
  ASSERT_TRUE(::CopyFileA(x.c_str(), (folder + "\\Prod.exe").c_str(), FALSE));
  TProc agent;
  ASSERT_TRUE(StartAgent(agent));
  TraceOnceItHas("PerformAutoUpdate() - END    Result=TRUE");
  EXPECT_EQ(agent.Wait(kRunMs), 0u);
  EXPECT_EQ(Original("VersionOriginal"), "101");
  // The next copy runs (it checks on its own schedule, not at once).
  HWND next = nullptr;
  EXPECT_TRUE(WaitUntil([&] { return (next = FindTop(".AutoUpdate.X_Prod")) != nullptr; }, kRunMs));
  EXPECT_TRUE(Exists(x));
  if (next) ::PostMessageA(next, Stub::wm_ShutDown, 0, 0);
  EXPECT_TRUE(WaitUntil([] { return FindTop(".AutoUpdate.X_Prod") == nullptr; }, kRunMs));
  KillAllNamed("Prod.exe");
}

// Inform-only mode: the INFORM file's text in the inform dialog; closing it
// counts as informed and writes the new version. Nothing is installed, the
// product is never touched and the agent keeps running.
TEST_F(AgentInstallTest, InformOnlyShowsTheTextAndWritesTheVersion) {
  const std::string base = "install/inform";
  const std::string url = testweb::HttpUrl("/" + base);
  const std::string inform = "Varnel|" + Scrambled() + "|1|2|<B>Version 101</B> is out.";
  ASSERT_TRUE(testweb::Put(base + "/News.txt", inform));
  ASSERT_TRUE(testweb::Put(base + "/" + kInfoName,
                           "[General]\r\nAutoInform=1\r\n[AutoInform]\r\nNameOfInformFile=News.txt\r\n"
                           "SizeOfInformFile=" + std::to_string(inform.size()) + "\r\n"
                           "DownloadURL_INFORM=https://localhost/news\r\n"
                           "[NewSetup]\r\nDownloadURL_UPDATE=" + url + "\r\nVersionNew=101\r\nStamp=8\r\n"));
  WriteAgent(url);
  WriteOriginal("[AutoUpdate]\r\ns34=News of Prod\r\n");
  TProc agent;
  ASSERT_TRUE(StartAgent(agent));
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (dialog = ::FindWindowA("VxRichEditBox", nullptr)) != nullptr; }, kRunMs))
      << ReadBytes(log);
  EXPECT_EQ(WindowText(dialog), "News of Prod");
  // The text control shows the markup's text.
  const std::string shown = agentboxes::BoxText(dialog);
  EXPECT_TRUE(Has(shown, "Version 101 is out.")) << shown;
  EXPECT_EQ(Original("VersionOriginal"), "100");  // not before the dialog is closed

  ::PostMessageA(dialog, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return Has(ReadBytes(log), "PerformAutoInform() - END TRUE"); }, kRunMs)) << ReadBytes(log);
  EXPECT_EQ(Original("VersionOriginal"), "101");
  EXPECT_TRUE(agent.Running());
  if (HWND window = FindTop(".AutoUpdate.X_Prod")) ::PostMessageA(window, Stub::wm_ShutDown, 0, 0);
  EXPECT_EQ(agent.Wait(kRunMs), 0u);
}

}  // namespace
