// File and disk operations shared by the stub: partial reads, writes with a
// date, log appends, sizes, free space, tree deletion and searches, CD eject
// and the self-deleting batch file. Nothing here throws: failures give false,
// 0 or an empty text. Paths are 8-bit texts; on POSIX a backslash is a
// directory separator.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace Files {

// Progress of a long write or deletion: (total, done, cancel). Setting cancel stops the work.
using TProgress = std::function<void(int64_t total, int64_t done, bool& cancel)>;

// Text from offset, at most maxLength bytes (0 = to the end); empty when the
// file is missing, the offset is out of range or the read is short.
std::string ReadFilePart(const std::string& path, int64_t maxLength = 0, bool trim = false, int64_t offset = 0);
// Writes (or appends) data; sets the packed DOS date-time when every byte was
// written and the date is not 0. True if all bytes were written: a file that
// cannot be opened, a short write or a cancel through progress give false.
// With progress, or above 1 MiB, the data goes in pieces (WritePieceSize);
// progress sees (length, 0) first and then the bytes written after each piece.
bool WriteFile(const std::string& path, std::string_view data, int32_t dosDateTime = 0,
               const TProgress& progress = nullptr, bool append = false);
bool AppendText(const std::string& path, const std::string& text, bool addLineBreak = true, int32_t dosDateTime = 0);
int64_t FileSizeByName(const std::string& path);
// Free bytes available to the user on the drive of path; 0 if unknown.
double DiskFreeBytes(const std::string& path);
std::string DriveRoot(const std::string& path, bool driveLetter);
// Creates the directory with all missing levels; true if it exists afterwards.
bool CreateDirTree(const std::string& path);
bool DeleteFiles(const std::string& mask, bool clearAttributes = true);
// True if dir existed and is gone. progress sees (subfolders, done) after
// each subfolder and may cancel. Links and junctions are removed, never
// followed, at every level: a dir that is itself a link goes as a link and
// what it points to stays untouched.
bool DeleteTree(const std::string& dir, bool clearAttributes = true, const TProgress& progress = nullptr);
std::string FindFileInTree(const std::string& dir, const std::string& name);
std::string FindDirInTree(const std::string& dir, const std::string& name);
std::string FindFileOnDrives(const std::string& name, int driveType);
std::string FindDirOnDrives(const std::string& nameOrPath, int driveType);
// Win32 only (false / no effect elsewhere).
bool EjectCD(const std::string& path);
// Starts the self-deleting batch file for the running program (and, with
// removeFolder, its folder); the caller exits right after. True if the batch
// was started.
bool DeleteMySelf(bool removeFolder, bool shortNames);

// One line of the trace output.
void TraceText(const std::string& text);
// "[" + name + "]  [" + value + "]"
void TraceNameValue(const std::string& name, const std::string& value);

// Platform drive types (GetDriveType values).
constexpr int kDriveFixed = 3;
constexpr int kDriveCDRom = 5;

// Size of each piece when WriteFile writes in pieces: a tenth of the data,
// at most 1 MiB; a tenth of 1024 or less gives min(1024, length).
int64_t WritePieceSize(int64_t length);
// --- the self-deleting batch file ---

// Attempts to delete the program, one pause of about a second between two:
// the batch gives up after about a minute.
constexpr int kSelfDeleteAttempts = 60;

// What the self-deleting batch file does: tries up to `attempts` times to
// delete exe (read-only or not), pausing about a second in between, removes
// dir when removeFolder is set, then deletes the batch file bat, whether exe
// went or not. Each path is enclosed in quote (a double quote, or empty for
// short 8.3 paths; see BatchPath).
struct TSelfDeleteScript {
  std::string bat, exe, dir;
  bool removeFolder = false;
  std::string quote = "\"";
  // The system's program folder: the batch leaves its starting folder for it
  // at once (a working folder cannot be removed) and runs PING.EXE from it
  // for the pauses. Empty: no change of folder and PING.EXE found by name.
  std::string systemDir;
  int attempts = kSelfDeleteAttempts;
};
// The batch file's text; empty when a path cannot be written into a batch
// line safely.
std::string DeleteMySelfScript(const TSelfDeleteScript& script);
// A path as an argument of a batch line: every "%" doubled (the command
// processor expands it even between quotes), enclosed in quote; with an empty
// quote a path that holds a blank or a character the command processor acts
// on ("&", "^", "|", "<", ">", "(", ")", ",", ";", "=", "!") is enclosed in
// double quotes all the same. Empty for a path with a double quote or a
// control character, which no batch line can carry.
std::string BatchPath(const std::string& path, const std::string& quote);
// Name of a self-deleting batch file: "_DEL_ME_" + the process id and
// seed + attempt, 8 hex digits each, + ".BAT". Each attempt gives another name.
std::string SelfDeleteBatchName(uint32_t processId, uint32_t seed, uint32_t attempt);

// One self-deleting batch file (Win32; elsewhere nothing is started).
struct TSelfDeleteJob {
  std::string exe;             // file to delete
  std::string dir;             // its folder, removed with removeFolder when empty
  bool removeFolder = false;
  bool shortNames = false;     // paths in their 8.3 forms
  int attempts = kSelfDeleteAttempts;
  std::string folder;          // where the batch goes; empty: the temp folder
  uint32_t seed = 0;           // first name tried; 0: taken from the clock
};
// Creates the batch file under a new name of its own (never an existing
// file), readable and writable by the current user only, and starts it
// hidden. Returns its path; empty when none could be made or started (a
// batch that was written but not started is removed).
std::string StartSelfDeleteBatch(const TSelfDeleteJob& job);

// Primitives of the platform backends (Files_win32.cpp, Files_posix.cpp)
// on which the portable tree operations are built.
namespace platform {
struct TDirEntry {
  std::string name;
  bool isDir = false;
  bool isLink = false;  // symbolic link or junction: never descended into
};
// Entries of dir except "." and ".."; empty when dir is missing.
std::vector<TDirEntry> ListDir(const std::string& dir);
bool MakeDir(const std::string& dir);
bool RemoveDir(const std::string& dir);
// True if path itself (not what it points to) is a symbolic link, a junction
// or another reparse point.
bool IsLink(const std::string& path);
// Removes the link path itself; its target stays.
bool RemoveLink(const std::string& path);
// Drive type of "X:\" (POSIX: always 1, "no root").
int DriveType(char letter);
// Free space from the classic query (sectors x bytes x free clusters of the
// drive root): DiskFreeBytes' fallback without GetDiskFreeSpaceExA. POSIX: DiskFreeBytes.
double ClassicDiskFreeBytes(const std::string& path);
}  // namespace platform

}  // namespace Files
