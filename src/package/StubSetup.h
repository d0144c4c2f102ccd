// Decisions of the setup run that do not need the platform: the engine's
// command line, the names shared with the engine, and the texts of the
// temp-space question. The Win32 driver only applies them.
#pragma once

#include <cstdint>
#include <string>

namespace StubSetup {

// Engine token: "_" + the decimal id of the current thread.
std::string EngineToken(uint32_t threadId);
// Global atom the engine removes to report completion.
std::string CompletionAtomName(const std::string& engineToken);
// Top-level window class of the engine's dialog.
std::string EngineDialogClass(const std::string& engineToken);

struct TEngineCommandInput {
  std::string engineText;   // from the unpacker: "Engine.exe*args" (or a whole header)
  std::string workDir;      // working directory, with or without trailing backslash
  std::string extraArgs;    // arguments part of the stub's own command line
  std::string engineToken;  // EngineToken(...)
  std::string ownPath;      // the stub's own full path
  bool agentPackage = false;
};

// Engine path, package and user arguments, " /TH_ID=", " /OriginExe=" (unless
// already given), " /AutoUpdateProg"; "/SpanCdLvl=" and "/SpanDiskFName1="
// never reach the engine.
std::string EngineCommandLine(const TEngineCommandInput& in);
// The engine's file name (part of the engine text before "*", trimmed).
std::string EngineFileName(const std::string& engineText);
// The engine's full path: working directory, "\\", engine file name. It is the
// start of the command line, unquoted there (the engines read it so), and the
// program the process start is given, so that a working directory with a
// blank never runs a program at the cut-off name ("D:\\My.exe" for "D:\\My Temp").
std::string EnginePath(const std::string& workDir, const std::string& engineText);

// The engine completed: it was started, its completion atom had been added,
// and the atom is gone after the engine and its dialog ended. Without an
// added atom (a full atom table) there is nothing to judge by: not completed.
bool EngineCompleted(bool started, bool atomAdded, bool atomFound);

// A path from the agent's settings that shortcut removal may delete: a ".lnk",
// ".url" or ".pif" file name (any case), no alternate data stream, no device
// name and no "\\?\" or "\\.\" prefix. Whether it is a file and not a
// folder is the caller's check.
bool IsRemovableShortcut(const std::string& path);

// A byte count as megabytes: 1 decimal above 10, 2 from 1 to 10, 3 below 1.
std::string MegabyteText(double bytes);

struct TSpaceQuestionInput {
  bool tempDriveNotice = false;
  double required = 0;
  double available = 0;
  std::string drive;  // "C:"
  // Language texts s2..s6.
  std::string s2, s3, s4, s5, s6;
};
// The temp-space question, or empty when nothing needs asking.
std::string SpaceQuestionText(const TSpaceQuestionInput& in);

}  // namespace StubSetup
