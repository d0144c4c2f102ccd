// The processes running now, as the system's process snapshot lists them:
// what the tests look for, wait for and end by name or by parent.
#pragma once

#include <string>
#include <vector>

#include "util/Win.h"

#include <tlhelp32.h>

namespace testsupport {

struct TProcessRow {
  DWORD id = 0;
  DWORD parent = 0;
  std::string exeName;
};

inline std::vector<TProcessRow> RunningProcesses() {
  std::vector<TProcessRow> rows;
  THandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return rows;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL ok = ::Process32First(snapshot.Get(), &entry); ok; ok = ::Process32Next(snapshot.Get(), &entry))
    rows.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
  return rows;
}

}  // namespace testsupport
