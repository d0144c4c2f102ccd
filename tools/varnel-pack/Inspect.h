// varnel-pack inspect: what the stub reads from a setup file, found by
// walking its blocks and volumes read-only.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "package/PackWalk.h"
#include "package/PackX.h"

struct TEntryReport {
  TBlockInfo block;
  std::string name;  // header item 0 (with "*" and arguments for the engine)
  int32_t date = 0;
  bool engine = false;
  int64_t dataSize = 0;
};

struct TVolumeReport {
  int number = 1;
  std::string path;
  bool present = false;
  bool package = false;  // the trailer's magic is there
  TPackTrailer trailer;  // as read, data start not moved
  int64_t fileSize = 0;
  int64_t packageEnd = 0;
  uint32_t computedChecksum = 0;
  std::string checksumStatus;  // "matches", "not computed", "MISMATCH"
  std::vector<TBlockInfo> infoBlocks;
  std::vector<TEntryReport> entries;
};

struct TInspection {
  std::string path;
  int codePage = 1252;  // of the names and texts, for showing them
  std::vector<TVolumeReport> volumes;
  std::vector<std::string> extraVolumes;  // files named like further volumes that no trailer announces
  std::vector<std::string> problems;      // anything that would make the stub fail or refuse
};

TInspection InspectPackage(const std::string& path);
// "YYYY-MM-DD HH:MM:SS" of a packed DOS date-time; "-" for 0.
std::string DosDateText(int32_t dosDateTime);

// Human-readable report (the summary lines first, then volumes and entries).
void PrintInspectionText(const TInspection& inspection, std::ostream& out);
void PrintInspectionJson(const TInspection& inspection, std::ostream& out);

// varnel-pack inspect ...: argv[1] is "inspect". Returns the exit code.
int RunInspect(int argc, char** argv);
