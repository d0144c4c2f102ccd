#include "stub/Stub.h"

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

std::string WindowClassName(bool agentPackage, const std::string& ownPath) {
  if (!agentPackage) return ownPath;
  return ".AutoUpdate." + BaseName(ownPath);
}

std::string XWindowClassName(const std::string& agentFileName) {
  return ".AutoUpdate.X_" + BaseName(Trim(agentFileName));
}

std::string WorkingDirectoryName(const std::string& tempDirWithBackslash, int32_t ownDosDateTime) {
  return tempDirWithBackslash + "SETUP_" + std::to_string(static_cast<uint32_t>(ownDosDateTime) & 0xFFFF);
}

std::string TempCopyCommand(const std::string& yPath, const std::string& ownArgs, const std::string& ownPath) {
  std::string args = ownArgs + " /SpanCdLvl=2 /SpanDiskFName1=\"" + ownPath + ".001\"" + " /OriginExe=\"" + ownPath + "\"";
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
