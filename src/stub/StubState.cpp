#include "stub/StubState.h"

#include <limits>
#include <memory>
#include <vector>

#include "package/PackX.h"
#include "stub/Stub.h"
#include "stub/VxDebug.h"
#include "stub/WorkDir.h"
#include "util/FileIO.h"
#include "util/PathText.h"
#include "util/SysInfo.h"
#include "util/Utils.h"
#include "util/VxSUB.h"

namespace Stub {

namespace {

struct TState {
  std::unique_ptr<TGFileInfo> info;
  std::string ownPath;
  uint32_t processId = 0;
  std::string commandLine;
  std::string commandArgs;
  bool agentPackage = false;
  bool traceLog = false;
  std::string windowClass = "VarnelStub";
  std::string workingDirectory;
  bool workingDirectoryInUse = false;
  std::vector<std::string> held;  // folders claimed or adopted, not yet released
  uintptr_t listenerWindow = 0;
  uint32_t listenerMessage = 0;
  bool downloadAbort = false;
  uint32_t exitCode = 0;
  TAgentRun agentRun;
};

TState& State() {
  static TState state;
  return state;
}

}  // namespace

void StartState(const std::string& ownPath, const std::string& commandLine, uint32_t processId) {
  TState& s = State();
  s.ownPath = ownPath;
  s.processId = processId;
  s.commandLine = commandLine;
  s.commandArgs = CommandLineArgs(commandLine, ownPath);
  s.info = std::make_unique<TGFileInfo>(ownPath);
  s.agentPackage = s.info->IsAgentPackage();
  s.traceLog = s.agentPackage && s.info->AgentTraceLog();
}

void EndState() { State().info.reset(); }

const TGFileInfo& OwnInfo() {
  static const TGFileInfo none{std::string()};
  const TState& s = State();
  return s.info ? *s.info : none;
}

const std::string& OwnPath() { return State().ownPath; }

std::string OwnFileName() {
  const std::string& path = State().ownPath;
  size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string OwnDir() {
  const std::string& path = State().ownPath;
  size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

uint32_t ProcessId() { return State().processId; }
const std::string& CommandLine() { return State().commandLine; }
const std::string& CommandArgs() { return State().commandArgs; }
bool AgentPackage() { return State().agentPackage; }
bool TraceLogFlag() { return State().traceLog; }

const std::string& WindowClass() { return State().windowClass; }
void SetWindowClass(const std::string& name) { State().windowClass = name; }

namespace {

void UseDirectory(TState& s, const std::string& dir) {
  s.workingDirectory = dir;
  s.workingDirectoryInUse = true;
  if (!dir.empty()) s.held.push_back(dir);
}

void ReportClaim(const std::string& dir, WorkDir::TClaim claim) {
  VxDebug::DebugLine(IntToText(State().processId) + " Working directory " + dir + " not used: " +
                     WorkDir::ClaimText(claim));
}

}  // namespace

std::string WorkingDirectory() {
  TState& s = State();
  if (s.workingDirectoryInUse) return s.workingDirectory;
  const std::string base = WorkingDirectoryName(TempDir(true), FileDosDate(s.ownPath));
  std::vector<std::string> names;
  for (int i = 0; i < kWorkingDirectoryNames; ++i) names.push_back(WorkingDirectoryCandidate(base, i));
  std::vector<std::pair<std::string, WorkDir::TClaim>> tried;
  // The folder of the running file is never emptied for a working directory.
  const std::string ownDir = NoTrailingBackslash(OwnDir());
  const std::string dir = WorkDir::ClaimFirst(names, ownDir, WorkDir::SystemOps(), &tried);
  for (const auto& t : tried)
    if (t.second != WorkDir::TClaim::Claimed) ReportClaim(t.first, t.second);
  if (dir.empty())
    VxDebug::DebugLine(IntToText(s.processId) + " No working directory could be created anew: " + base + " and " +
                       IntToText(kWorkingDirectoryNames - 1) + " further names are in use or not ours");
  UseDirectory(s, dir);
  return s.workingDirectory;
}

bool AdoptWorkingDirectory(const std::string& dir) {
  TState& s = State();
  if (!WorkDir::Adopt(dir, WorkDir::SystemOps())) return false;
  UseDirectory(s, dir);
  return true;
}

bool ClaimWorkingDirectory(const std::string& dir) {
  const WorkDir::TClaim claim = WorkDir::Claim(dir, WorkDir::SystemOps());
  if (claim != WorkDir::TClaim::Claimed) {
    ReportClaim(dir, claim);
    return false;
  }
  UseDirectory(State(), dir);
  return true;
}

bool WorkingDirectoryInUse() { return State().workingDirectoryInUse; }

void DeleteWorkingDirectory() {
  TState& s = State();
  std::vector<std::string> kept;
  for (auto it = s.held.rbegin(); it != s.held.rend(); ++it)
    if (!WorkDir::Release(*it, WorkDir::SystemOps())) kept.insert(kept.begin(), *it);
  s.held = kept;
}

void SetListener(uintptr_t window, uint32_t message) {
  State().listenerWindow = window;
  State().listenerMessage = message;
}

uintptr_t ListenerWindow() { return State().listenerWindow; }
uint32_t ListenerMessage() { return State().listenerMessage; }
bool HasListener() { return State().listenerWindow != 0 && State().listenerMessage != 0; }

bool DownloadAbort() { return State().downloadAbort; }
void SetDownloadAbort(bool abort) { State().downloadAbort = abort; }

void SetExitCode(uint32_t code) { State().exitCode = code; }
uint32_t ExitCode() { return State().exitCode; }

TAgentRun& AgentRun() { return State().agentRun; }

void ApplyTransientList(std::array<uint8_t, 8>& options, const std::string& list) {
  for (size_t i = 0; i < options.size(); ++i) {
    const std::string item = Trim(SUB::GetItem(list, static_cast<int>(i), ""));
    if (item.empty()) continue;
    bool ok = true;
    const int64_t value = TextToInt64(item, 0);
    if (value == 0 && TextToInt64(item, 1) == 1) ok = false;  // not a number
    if (ok) options[i] = static_cast<uint8_t>(value & 0xFF);
  }
}

std::string TransientList(const std::array<uint8_t, 8>& options) {
  std::string list = "|";
  for (uint8_t v : options) list += IntToText(v) + "|";
  return list;
}

int32_t ClampToInt32(int64_t value) {
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

}  // namespace Stub
