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

namespace Files {

// Progress of a long write or deletion: (total, done, cancel). Setting cancel stops the work.
using TProgress = std::function<void(int64_t total, int64_t done, bool& cancel)>;

// Text from offset, at most maxLength bytes (0 = to the end); empty when the
// file is missing, the offset is out of range or the read is short.
std::string ReadFilePart(const std::string& path, int64_t maxLength = 0, bool trim = false, int64_t offset = 0);
// Writes (or appends) data; sets the packed DOS date-time when every byte was
// written and the date is not 0. True if all bytes were written.
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
bool DeleteTree(const std::string& dir, bool clearAttributes = true, const TProgress& progress = nullptr);
std::string FindFileInTree(const std::string& dir, const std::string& name);
std::string FindDirInTree(const std::string& dir, const std::string& name);
std::string FindFileOnDrives(const std::string& name, int driveType);
std::string FindDirOnDrives(const std::string& nameOrPath, int driveType);
// Win32 only (false / no effect elsewhere).
bool EjectCD(const std::string& path);
void DeleteMySelf(bool removeFolder, bool shortNames);

// One line of the trace output.
void TraceText(const std::string& text);
// "[" + name + "]  [" + value + "]"
void TraceNameValue(const std::string& name, const std::string& value);

}  // namespace Files
