// A provider of system values answered from fields and a set of existing
// folders, for the directory macro and shell folder tests.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "paths/PathSystem.h"

class TFakePathSystem : public TPathSystem {
 public:
  std::string user = "jdoe", owner = "Jane Doe", organization = "Acme", computer = "BOX1", domain = "WORK";
  std::string windows = "C:\\Windows", system = "C:\\Windows\\System32", temp = "C:\\Temp";
  std::string exe = "C:\\Agent\\Agent.exe", origin = "D:\\Setup\\Setup.exe";
  std::map<std::string, std::string> registry;  // "path|name" -> value
  std::set<std::string> dirs;                   // existing folders
  std::map<int, std::string> shellFolders, specialFolders;
  std::string currentDir = "C:\\Work";
  TDateTimeParts now{2026, 12, 5, 14, 3, 9};
  int fullPathCalls = 0;
  bool fullPathFails = false;

  std::string LoggedUserName() override { return user; }
  std::string RegisteredOwner() override { return owner; }
  std::string RegisteredOrganization() override { return organization; }
  std::string ComputerName() override { return computer; }
  std::string UserDomain() override { return domain; }
  std::string WindowsDir() override { return windows; }
  std::string SystemDir() override { return system; }
  std::string TempDir() override { return temp; }
  std::string ExePath() override { return exe; }
  std::string OriginPath() override { return origin; }
  std::string RegValue(const std::string& path, const std::string& name) override {
    auto it = registry.find(path + "|" + name);
    return it == registry.end() ? "" : it->second;
  }
  bool DirExists(const std::string& path) override { return dirs.count(path) != 0; }
  // Joins a relative path to currentDir and folds "." and ".." parts.
  std::string FullPath(const std::string& path) override;
  std::string ShellFolderPath(int id) override { return Lookup(shellFolders, id); }
  std::string SpecialFolderPath(int id) override { return Lookup(specialFolders, id); }
  TDateTimeParts Now() override { return now; }
  std::string DateSeparator() override { return "."; }
  std::string TimeSeparator() override { return ":"; }
  std::string LongMonthName(int month) override { return month == 12 ? "December" : "Month" + std::to_string(month); }

 private:
  static std::string Lookup(const std::map<int, std::string>& table, int id) {
    auto it = table.find(id);
    return it == table.end() ? "" : it->second;
  }
};

inline std::string TFakePathSystem::FullPath(const std::string& path) {
  ++fullPathCalls;
  if (fullPathFails) return "";
  const std::string joined = path.size() > 1 && path[1] == ':' ? path : currentDir + "\\" + path;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= joined.size()) {
    size_t end = joined.find('\\', start);
    if (end == std::string::npos) end = joined.size();
    const std::string part = joined.substr(start, end - start);
    if (part == "..") {
      if (parts.size() > 1) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += (out.empty() ? "" : "\\") + part;
  return out;
}
