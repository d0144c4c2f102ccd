#include "util/Switches.h"

#include <algorithm>

#include "util/Utils.h"
#include "util/VxSUB.h"

std::string CommandLineArgs(const std::string& rawCommandLine, const std::string& programPath) {
  const size_t slash = programPath.find_last_of("\\/");
  const std::string name = slash == std::string::npos ? programPath : programPath.substr(slash + 1);
  const std::string upper = UpperCase(rawCommandLine);
  std::string rest = rawCommandLine;
  size_t p = std::string::npos;
  if (!name.empty() && (p = upper.find(UpperCase(name) + "\"")) != std::string::npos) {
    rest = rawCommandLine.substr(p + name.size() + 1);
  } else if (!name.empty() && (p = upper.find(UpperCase(name))) != std::string::npos) {
    rest = rawCommandLine.substr(p + name.size());
  } else if (!programPath.empty() &&
             (p = upper.find(UpperCase(programPath))) != std::string::npos) {
    rest.erase(p, programPath.size());
  }
  rest = Trim(rest);
  return rest.size() == 1 ? std::string() : rest;
}

std::string SwitchList(const std::string& args, char switchChar, char delimiter) {
  std::string text = " " + args;
  text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
  text = ReplaceText(text, std::string(1, ' ') + switchChar, std::string(1, delimiter));
  return delimiter + text + delimiter;
}

std::string GetSwitch(const std::string& args, const std::string& name, const std::string& def) {
  std::string key = Trim(name);
  if (key.empty()) return def;
  const char switchChar = key[0] == '-' ? '-' : '/';
  key.erase(std::remove(key.begin(), key.end(), switchChar), key.end());
  if (key.empty()) return def;
  // A switch given without a value ("/WAIT=") reads as the default, like a missing one.
  const std::string value = Trim(SUB::GetValue(SwitchList(args, switchChar), key, def, "", true, true));
  return value.empty() ? def : value;
}

int64_t GetSwitchInt(const std::string& args, const std::string& name, int64_t def) {
  return TextToInt64(GetSwitch(args, name, ""), def);
}

bool HasSwitch(const std::string& args, const std::string& name) {
  const std::string key = Trim(name);
  if (key.empty()) return false;
  return PosCI(key + " ", args + " ") > 0;
}
