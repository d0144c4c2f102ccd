#include "autoupdate/AUInstall.h"

#include "autoupdate/UpdateCycle.h"

namespace AU {

TAsk QuestionKind(bool request, bool force, int32_t cycleMode) {
  if (!request || cycleMode == kCycleUserNow) return TAsk::None;
  return force ? TAsk::Notice : TAsk::YesNo;
}

std::string DownloadQuestionText(const TDownloadTexts& t, bool confirmInstall, bool downloadForce,
                                 const std::string& programName) {
  const std::string& second = confirmInstall ? (downloadForce ? t.s19 : t.s13) : (downloadForce ? t.s18 : t.s12);
  return WithProgramName(t.s11 + second, programName);
}

std::string InstallQuestionText(const std::string& s14, const std::string& s20, bool installForce,
                                const std::string& programName) {
  return WithProgramName(installForce ? s20 : s14, programName);
}

TShutdown ShutdownMethodOf(const std::string& text) {
  struct {
    const char* text;
    TShutdown method;
  } const methods[] = {
      {"Don't Shut Down", TShutdown::None},          {"Using WM_CLOSE", TShutdown::Close},
      {"Using WM_QUIT", TShutdown::Quit},            {"Using Terminate Process", TShutdown::Terminate},
      {"Issue a Message Box", TShutdown::AskUser},
  };
  for (const auto& m : methods)
    if (text == m.text) return m.method;  // the INFO file's text, exactly
  return TShutdown::WaitOnly;
}

uint32_t ShutdownWaitMs(TShutdown method) {
  switch (method) {
    case TShutdown::None:
      return 0;
    case TShutdown::WaitOnly:
      return 1000;  // nothing was asked of the product
    case TShutdown::Terminate:
    case TShutdown::AskUser:
      return 5000;  // the process is gone or going; its end is only confirmed
    default:
      return 15000;  // a program asked to close may save its work first
  }
}

bool UpdateMayRun(TShutdown method, bool stillRunning) { return method == TShutdown::None || !stillRunning; }

bool RestartsProduct(bool restartSetting, bool wasRunning, bool stillRunning) {
  return restartSetting && wasRunning && !stillRunning;
}

TFinish FinishMessage(bool ran, bool informFinish, int32_t cycleMode, bool restart, const std::string& s16,
                      const std::string& s17, const std::string& programName) {
  TFinish finish;
  if (!ran || !(informFinish || cycleMode == kCycleUserNow)) return finish;
  finish.text = WithProgramName(s16, programName);
  if (restart) {
    finish.ask = TAsk::YesNo;
    finish.text += s17;
  } else {
    finish.ask = TAsk::Notice;
  }
  return finish;
}

std::string OriginalInfoFileArgs(const std::string& infoPath) { return "/OriginalInfoFile=\"" + infoPath + "\""; }

std::string AgentRestartCommand(const std::string& ownDir, const std::string& agentFile,
                                const std::string& transientList) {
  const std::string path = ownDir + agentFile;
  // Unquoted, "C:\Program Files\Prod\Prod.exe" would start "C:\Program.exe"
  // when such a file exists.
  const std::string program = path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
  return program + " /_ZZ=99 /WAIT=10 /TRANSIENT=" + transientList;
}

bool RestartsAgent(int32_t stopCountdown) { return stopCountdown <= 0; }

}  // namespace AU
