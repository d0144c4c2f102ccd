#include "stub/Stub.h"

#include <vector>

#include "util/Sha256.h"
#include "util/PathText.h"
#include "util/Utils.h"
#include "util/VxSUB.h"

namespace Stub {

bool IsPlainAgent(const TRoleFacts& f) { return f.agentPackage && SameTextTrim(f.ownFileName, f.agentFileName); }

bool IsXAgent(const TRoleFacts& f) { return f.agentPackage && SameTextTrim(f.ownFileName, "X_" + Trim(f.agentFileName)); }

TRole ChooseRole(const TRoleFacts& f) {
  if (f.ownWindowExists) return TRole::SecondInstance;
  if (IsPlainAgent(f)) return TRole::PlainAgent;
  if (IsXAgent(f)) return TRole::XAgent;
  if (f.copyToTemp && f.spanCdLevel == 1) return TRole::TempCopyRelaunch;
  return TRole::Window;
}

bool DeletesItselfAfterWindow(const TRoleFacts& f) {
  const TRole role = ChooseRole(f);
  return role == TRole::XAgent || (role == TRole::Window && f.ownTempCopy);
}

std::string FitWindowClassName(const std::string& name) {
  if (name.size() <= kMaxWindowClassLength) return name;
  return "VarnelStub.SHA256." + Sha256::Hex(UpperCase(name));
}

std::string WindowClassName(bool agentPackage, const std::string& ownPath) {
  if (!agentPackage) return FitWindowClassName(ownPath);
  return FitWindowClassName(".AutoUpdate." + BaseName(ownPath));
}

std::string XWindowClassName(const std::string& agentFileName) {
  return FitWindowClassName(".AutoUpdate.X_" + BaseName(Trim(agentFileName)));
}

std::string WorkingDirectoryName(const std::string& tempDirWithBackslash, int32_t ownDosDateTime) {
  return tempDirWithBackslash + "SETUP_" + std::to_string(static_cast<uint32_t>(ownDosDateTime) & 0xFFFF);
}

std::string WorkingDirectoryCandidate(const std::string& baseName, int index) {
  return index <= 0 ? baseName : baseName + "_" + std::to_string(index);
}

bool IsWorkingDirectoryCandidate(const std::string& dir, const std::string& baseName) {
  const std::string wanted = NoTrailingBackslash(Trim(dir));
  if (wanted.empty() || baseName.empty()) return false;
  for (int i = 0; i < kWorkingDirectoryNames; ++i)
    if (SameText(wanted, WorkingDirectoryCandidate(baseName, i))) return true;
  return false;
}

bool IsOwnTempCopy(const TTempCopyFacts& f) {
  if (!f.copyToTemp || f.spanCdLevel != 2 || f.tempDir.empty()) return false;
  const size_t cut = f.ownPath.find_last_of("\\/");
  if (cut == std::string::npos) return false;
  const std::string name = f.ownPath.substr(cut + 1);
  if (name.size() <= 2 || !StartsWith("Y_", name, true)) return false;
  return IsWorkingDirectoryCandidate(f.ownPath.substr(0, cut), WorkingDirectoryName(f.tempDir, f.ownDosDateTime));
}

namespace {

// Where the switch reader (Switches.cpp) sees a switch begin: a "/" whose
// nearest character before it, quotes not counted, is a blank or nothing.
struct TSwitchStart {
  size_t slash;  // the "/"
  size_t cut;    // where the switch and its separating blank begin
};

std::vector<TSwitchStart> SwitchStarts(const std::string& args) {
  std::vector<TSwitchStart> starts;
  bool afterBlank = true;
  size_t blankAt = 0;
  bool haveBlank = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const char c = args[i];
    if (c == '"') continue;
    if (c == '/' && afterBlank) starts.push_back({i, haveBlank ? blankAt : i});
    afterBlank = c == ' ';
    haveBlank = afterBlank;
    if (afterBlank) blankAt = i;
  }
  return starts;
}

bool IsSpanSwitch(const std::string& text) {
  std::string plain;
  for (char c : text)
    if (c != '"') plain += c;
  const size_t eq = plain.find('=');
  if (eq == std::string::npos) return false;
  const std::string name = TrimRight(plain.substr(0, eq));
  return SameText(name, "SpanCdLvl") || SameText(name, "SpanDiskFName1");
}

}  // namespace

std::string RemoveSpanSwitches(const std::string& args) {
  const std::vector<TSwitchStart> starts = SwitchStarts(args);
  std::string out;
  size_t copied = 0;
  for (size_t k = 0; k < starts.size(); ++k) {
    const size_t end = k + 1 < starts.size() ? starts[k + 1].cut : args.size();
    if (!IsSpanSwitch(args.substr(starts[k].slash + 1, end - starts[k].slash - 1))) continue;
    out += args.substr(copied, starts[k].cut - copied);
    size_t quotes = 0;
    for (size_t i = starts[k].cut; i < end; ++i) quotes += args[i] == '"' ? 1 : 0;
    if (quotes % 2 == 1) out += '"';
    copied = end;
  }
  out += args.substr(copied);
  return out;
}

std::string TempCopyCommand(const std::string& yPath, const std::string& ownArgs, const std::string& ownPath) {
  std::string args = RemoveSpanSwitches(ownArgs) + " /SpanCdLvl=2 /SpanDiskFName1=\"" + ownPath + ".001\"" +
                     " /OriginExe=\"" + ownPath + "\"";
  return "\"" + yPath + "\" " + Trim(args);
}

std::string XCopyArguments(const std::string& transient, const std::string& delay) {
  std::string args;
  if (!transient.empty()) args += " /TRANSIENTx=" + transient;
  if (!delay.empty()) args += " /SleepX=" + delay;
  return args;
}

void ParseWmMsg(const std::string& value, int64_t& window, int64_t& message) {
  const std::string list = ":" + value + ":";
  window = SUB::GetItemInt(list, 0, 0);
  message = SUB::GetItemInt(list, 1, 0);
}

}  // namespace Stub
