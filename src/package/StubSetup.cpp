#include "package/StubSetup.h"

#include "util/FloatText.h"
#include "util/PathText.h"
#include "util/Utils.h"

namespace StubSetup {

namespace {

// Deletes a switch from its first occurrence up to (not including) the next "/".
std::string RemoveSwitch(std::string command, const std::string& name) {
  size_t at = command.find(name);
  if (at == std::string::npos) return command;
  size_t next = command.find('/', at + 1);
  command.erase(at, next == std::string::npos ? std::string::npos : next - at);
  return command;
}

}  // namespace

std::string EngineToken(uint32_t threadId) { return "_" + std::to_string(threadId); }

std::string CompletionAtomName(const std::string& engineToken) { return "AutoUpdateAtomTokenByVarnel" + engineToken; }

std::string EngineDialogClass(const std::string& engineToken) { return ".SDialog_Class_Name." + engineToken; }

std::string EngineFileName(const std::string& engineText) {
  size_t star = engineText.find('*');
  return star == std::string::npos ? Trim(engineText) : Trim(engineText.substr(0, star));
}

std::string EnginePath(const std::string& workDir, const std::string& engineText) {
  std::string dir = workDir;
  if (dir.empty() || dir.back() != '\\') dir += '\\';
  return dir + EngineFileName(engineText);
}

bool EngineCompleted(bool started, bool atomAdded, bool atomFound) { return started && atomAdded && !atomFound; }

bool IsRemovableShortcut(const std::string& path) {
  if (path.rfind("\\\\?\\", 0) == 0 || path.rfind("\\\\.\\", 0) == 0) return false;
  // A ":" other than that of a drive letter names a stream of another file.
  const size_t colon = path.find(':');
  if (colon != std::string::npos && (colon != 1 || path.find(':', 2) != std::string::npos)) return false;
  const std::string name = FileNamePart(path);
  if (IsWindowsDeviceName(name)) return false;
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string extension = UpperCase(name.substr(dot));
  return extension == ".LNK" || extension == ".URL" || extension == ".PIF";
}

std::string EngineCommandLine(const TEngineCommandInput& in) {
  std::string args = Trim(in.extraArgs);
  size_t star = in.engineText.find('*');
  if (star != std::string::npos) args = Trim(in.extraArgs + " " + Trim(in.engineText.substr(star + 1)));

  std::string command = EnginePath(in.workDir, in.engineText);
  if (!args.empty()) command += " " + args;
  command += " /TH_ID=" + in.engineToken;
  if (command.find("/OriginExe=") == std::string::npos) command += " /OriginExe=\"" + in.ownPath + "\"";
  if (in.agentPackage) command += " /AutoUpdateProg";
  command = RemoveSwitch(command, "/SpanCdLvl=");
  command = RemoveSwitch(command, "/SpanDiskFName1=");
  return command;
}

std::string MegabyteText(double bytes) {
  const double mb = (bytes < 0 ? 0 : bytes) / 1048576.0;
  const int decimals = mb > 10 ? 1 : mb >= 1 ? 2 : 3;
  return FloatText::FixedText(mb, decimals);
}

std::string SpaceQuestionText(const TSpaceQuestionInput& in) {
  std::string message = in.tempDriveNotice ? in.s2 : "";
  if (in.required >= in.available) message = in.s3;
  if (message.empty()) return "";
  message += in.s4 + in.s5 + in.s6;
  message = ReplaceText(message, "<DRIVE>", in.drive);
  message = ReplaceText(message, "<SPACE_REQ>", MegabyteText(in.required));
  message = ReplaceText(message, "<SPACE_AVAIL>", MegabyteText(in.available));
  return message;
}

}  // namespace StubSetup
