// Decisions of the update installation (AUInstall_win32.cpp carries them
// out): the texts and kinds of its questions, how the running product is
// shut down and how long it is waited for, whether the update may run,
// whether the product and the agent are restarted, and the command lines.
#pragma once

#include <cstdint>
#include <string>

namespace AU {

// How a question of the installation is put to the user.
enum class TAsk {
  None,    // not asked: the answer counts as yes
  Notice,  // a notice without No (the Force flags); the answer counts as yes
  YesNo,   // a question; No ends the installation
};
// A question asked when its setting is on, outside a check the user asked
// for (cycle mode 1), as a notice when its Force flag is on.
TAsk QuestionKind(bool request, bool force, int32_t cycleMode);

// s11 + (s13 when the install is confirmed too, else s12; with the download
// Force flag s19 and s18 in their place), "PROG_NAME" replaced.
struct TDownloadTexts {
  std::string s11, s12, s13, s18, s19;
};
std::string DownloadQuestionText(const TDownloadTexts& t, bool confirmInstall, bool downloadForce,
                                 const std::string& programName);
// s14, or s20 with the install Force flag, "PROG_NAME" replaced.
std::string InstallQuestionText(const std::string& s14, const std::string& s20, bool installForce,
                                const std::string& programName);

// Shutdown methods by their text in the INFO file.
enum class TShutdown {
  None,        // "Don't Shut Down": the update runs beside the running product
  Close,       // "Using WM_CLOSE"
  Quit,        // "Using WM_QUIT"
  Terminate,   // "Using Terminate Process"
  AskUser,     // "Issue a Message Box": s15 until the product has ended
  WaitOnly,    // any other text: nothing is sent, the product is waited for
};
TShutdown ShutdownMethodOf(const std::string& text);
// How long the product is waited for after its method: long enough for a
// program to save and close (a save prompt, a slow flush), bounded so the
// agent never hangs on a program that will not end.
uint32_t ShutdownWaitMs(TShutdown method);
// The update runs only when the product is not running any longer, unless
// the publisher chose "Don't Shut Down". Replacing the files of a running
// product fails or leaves a mixed installation.
bool UpdateMayRun(TShutdown method, bool stillRunning);
// The product is restarted only when it ran, was shut down by this run and
// RestartProcess is set.
bool RestartsProduct(bool restartSetting, bool wasRunning, bool stillRunning);

// What the user is told after the update run.
struct TFinish {
  TAsk ask = TAsk::None;  // YesNo: the restart question; Notice: the finish text
  std::string text;
};
// Only after a completed run, when InformFinish is set or the user asked
// for the check: s16 ("PROG_NAME" replaced) + s17 as a question when the
// product is to be restarted, else s16 alone as a notice.
TFinish FinishMessage(bool ran, bool informFinish, int32_t cycleMode, bool restart, const std::string& s16,
                      const std::string& s17, const std::string& programName);

// The extra arguments of the update run: /OriginalInfoFile="<info path>".
std::string OriginalInfoFileArgs(const std::string& infoPath);
// The plain agent that restarts this one: "<dir><agent file> /_ZZ=99 /WAIT=10
// /TRANSIENT=<list>" (dir ends with "\"; a path with a blank is quoted).
std::string AgentRestartCommand(const std::string& ownDir, const std::string& agentFile,
                                const std::string& transientList);
// Nothing is restarted while a stop countdown runs.
bool RestartsAgent(int32_t stopCountdown);

}  // namespace AU
