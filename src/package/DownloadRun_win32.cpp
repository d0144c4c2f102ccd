// The download mode of the setup run. Every wait pumps the window's messages;
// a close request during the transfer only aborts it.
//
// Choices of our own:
//  - A refused download question ends the run silently (exit code 3): the
//    connection is not checked after it, so no error box follows.
//  - The setup file name must stay inside the folder it is joined to; the
//    temp folder gets its name part only.
//  - The setup file is held open for reading (no writing, renaming or
//    deleting by anyone) from the token check to the end of the extraction
//    run, so that the file whose token was checked is the file extracted.
//    Another user's file of the same name in the temp folder is never used:
//    only a whole download replaces it, and a failed one ends the run.
//  - Only a setup file this run downloaded is deleted afterwards.
//  - With an update key in the download block, the setup file is used only
//    when its signature verifies: fetched from the download address + ".sig"
//    for a downloaded file, read from beside a file found in the own folder.
#include "package/DownloadRunWin.h"

#include "net/CommUtils.h"
#include "net/InetHTTP.h"
#include "net/SignedFetch.h"
#include "package/DownloadRun.h"
#include "package/PackX.h"
#include "package/Signature.h"
#include "package/StubSetupWin.h"
#include "package/UnPack.h"
#include "stub/ExitCodes.h"
#include "stub/QuietRun.h"
#include "stub/StubState.h"
#include "stub/StubWin.h"
#include "stub/VxDebug.h"
#include "ui/VxMsgBox.h"
#include "ui/VxProgBar.h"
#include "util/FileIO.h"
#include "util/PathText.h"
#include "util/SysInfo.h"
#include "util/Utils.h"
#include "util/Win.h"

namespace DownloadRun {

namespace {

const char* const kDefaultButtons = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";

void Report(const std::string& text) {
  VxDebug::DebugLine(IntToText(Stub::ProcessId()) + " " + text);
  VxDebug::Trace(text);
}

void MakeAgentCopy(const std::string& workDir, const std::string& agentName) {
  const std::string name = FileNamePart(agentName);
  if (name.empty() || workDir.empty()) return;
  if (IsHostileEntryName(name) || name == ".") {
    Report("Agent copy refused, bad file name: " + name);
    return;
  }
  const std::string target = JoinPath(workDir, name);
  if (WriteAgentCopy(Stub::OwnPath(), target)) {
    VxDebug::Trace(IntToText(Stub::ProcessId()) + " New AU-Agent: " + target);
  } else {
    Report("Agent copy could not be written: " + target);
  }
}

// Opens path for reading so that nobody can change, rename or delete it.
THandle HoldFile(const std::string& path) {
  return THandle(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Step 4 and 5: the question and the connection; the error text or "".
std::string AskAndCheckConnection(const TGFileInfo& own, bool quiet) {
  if (own.AskBeforeDownload() && !quiet) {
    const std::string s11 = own.LangText(
        "s11",
        "<b>INTERNET DOWNLOAD</b><p><p>Varnel will download the Setup File from the Internet...<p>Please make sure "
        "your Internet connection is properly set.<p><p>Continue with Setup?<p><P>Size: <SIZE> MB<P>");
    if (!MsgOkCancel(0, DownloadQuestionText(s11, own.DownloadSize()), own.LangText("Confirm", "Confirm"),
                     own.LangText("BtnText", kDefaultButtons), own.Charset())) {
      return kRefused;
    }
  }
  std::string reason;
  if (!InternetConnected(&reason)) {
    return ConnectionErrorText(own.LangText("s12", "No valid Internet Connection.<p>Can not Download File!"), reason);
  }
  return {};
}

// Step 7: the transfer into the temp folder; the error text or "".
std::string Download(const std::string& url, const std::string& target, bool quiet) {
  TProgBar& bar = SharedProgBar(StubWin::WindowProgBarSink());
  bar.SetCancelled(false);
  const uintptr_t window = quiet ? 0 : reinterpret_cast<uintptr_t>(StubWin::MainWindow());
  const std::string error = HTTP_DownloadFile_Incremental(window, url, target, &bar).error;
  WaitPumping(0, 300);
  StubWin::ProgressStart(10, 1, 0);
  WaitPumping(0, 700);
  return error;
}

}  // namespace

uint32_t RunDownload(const TDownloadInput& in) {
  const TGFileInfo& own = Stub::OwnInfo();
  const bool quiet = QuietRun::HiddenRun(in.extraArgs) || own.BackgroundSetup();
  const std::string url = DownloadAddress(in.source, in.setupName);
  std::string error;
  bool deleteAfter = false;
  std::string setupFile = JoinPath(in.source, in.setupName);
  uint32_t extractionExit = ExitCodes::kEngineNotStarted;

  if (!IsUsableSetupFileName(in.setupName)) {
    error = BadFileNameText(in.setupName);
  } else if (!FileExists(setupFile)) {
    StubWin::SetTextLine(own.LangText("s10", "Downloading File..."), own.FontName(), own.FontSize(), own.Charset());
    error = AskAndCheckConnection(own, quiet);
    Stub::SetDownloadAbort(false);
    setupFile = TempDir(true) + FileNamePart(in.setupName);
    if (error.empty()) {
      error = Download(url, setupFile, quiet);
      deleteAfter = error.empty();
    }
  }

  if (error.empty()) {
    THandle held = HoldFile(setupFile);
    if (!held) Report("The setup file cannot be held for reading (open for writing elsewhere, or gone): " + setupFile);
    // The signature of the held file is checked before anything reads it.
    const std::string signedFrom = deleteAfter ? url : setupFile;
    const std::string signatureFault =
        held ? SignedFetch::CheckFile(setupFile, signedFrom, deleteAfter, own.DownloadUpdateKey()) : std::string();
    if (!signatureFault.empty()) {
      error = Signature::RefusalText(signedFrom, signatureFault);
    } else if (!held || !own.DownloadTokenMatches(TGFileInfo(setupFile))) {
      error = ErrorPageMessage(setupFile, "", url, false, kBadTokenText);
    } else {
      StubSetup::TExtractionInput extraction;
      extraction.workDir = in.workDir;
      extraction.packageFile = setupFile;
      extraction.foreground = !quiet;
      extraction.extraArgs = in.extraArgs;
      extractionExit = StubSetup::ExtractionRun(extraction).exitCode;
    }
  }

  if (deleteAfter) RemoveFile(setupFile);
  if (!error.empty() && error != kRefused) {
    Report("Download run: " + error);
    MsgError(0, error, own.LangText("Error", "Error"), own.LangText("BtnText", kDefaultButtons), own.Charset());
  }
  return DownloadExitCode(error, extractionExit);
}

uint32_t DownloadMode(const std::string& workDir, const std::string& extraArgs) {
  const TGFileInfo& own = Stub::OwnInfo();
  if (own.CarriesAgent()) MakeAgentCopy(workDir, own.AgentFileName());

  TDownloadInput in;
  in.workDir = workDir;
  in.source = own.DownloadURL();
  in.setupName = own.DownloadFileName();
  in.extraArgs = extraArgs;
  if (!own.AlwaysDownload() && FileExists(JoinPath(Stub::OwnDir(), in.setupName))) {
    std::string dir = Stub::OwnDir();
    if (!dir.empty() && dir.back() == '\\') dir.pop_back();
    in.source = dir;
  }
  return RunDownload(in);
}

}  // namespace DownloadRun
