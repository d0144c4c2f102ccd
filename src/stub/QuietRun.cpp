#include "stub/QuietRun.h"

#include "stub/VxDebug.h"
#include "ui/QuietBox.h"
#include "util/Switches.h"
#include "util/Utils.h"

namespace QuietRun {

bool QuietRequested(const std::string& args) { return HasSwitch(args, kQuietSwitch); }

bool HiddenRun(const std::string& args) { return HasSwitch(args, "/hide") || QuietRequested(args); }

void Start(const std::string& args, const std::string& commandLine) {
  if (!QuietRequested(args)) return;
  MsgBox::SetQuietMode(true);
  MsgBox::SetQuietLog(GetSwitch(args, kLogSwitch, ""));
  if (MsgBox::QuietLog().empty()) return;
  if (MsgBox::AppendQuietLog("Quiet run: " + commandLine)) return;
  const std::string why = "Quiet run: the log " + MsgBox::QuietLog() + " cannot be written; the run goes on without it";
  VxDebug::DebugLine(why);
  VxDebug::Trace(why);
  MsgBox::SetQuietLog("");
}

void Finish(uint32_t exitCode) {
  if (MsgBox::QuietMode()) MsgBox::AppendQuietLog("Exit code " + IntToText(exitCode));
}

}  // namespace QuietRun
