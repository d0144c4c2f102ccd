// Raw file access behind one interface, with a Win32 and a POSIX backend.
// Files are opened with sharing for reading and writing (deny none) on Windows.
// Paths are 8-bit texts; on POSIX a backslash is taken as the directory separator.
#pragma once

#include <cstdint>
#include <string>

class TFile {
 public:
  enum class Mode { Read, Write, Create, Append };
  enum class Origin { Begin, Current, End };

  TFile() = default;
  TFile(const std::string& path, Mode mode) { Open(path, mode); }
  ~TFile() { Close(); }
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;

  // Read: existing file. Write: existing file, not truncated. Create: new or
  // truncated file. Append: existing or new file, positioned at its end.
  bool Open(const std::string& path, Mode mode);
  void Close();
  bool IsOpen() const { return handle_ != kInvalid; }

  // Bytes actually read or written; -1 on error.
  int64_t Read(void* buffer, int64_t count);
  int64_t Write(const void* buffer, int64_t count);
  // Reads exactly count bytes at offset; false when fewer arrive.
  bool ReadAt(int64_t offset, void* buffer, int64_t count);
  // New position, or -1 on error.
  int64_t Seek64(int64_t distance, Origin origin);
  int64_t Size();
  // Sets the modification date from a packed DOS date-time (0 = leave).
  bool SetDosDate(int32_t dosDateTime);

 private:
#ifdef _WIN32
  using Handle = void*;
  static inline Handle const kInvalid = reinterpret_cast<Handle>(static_cast<intptr_t>(-1));
#else
  using Handle = int;
  static constexpr Handle kInvalid = -1;
#endif
  Handle handle_ = kInvalid;
};

// The path as the platform takes it (POSIX: backslashes become slashes).
std::string NativePath(const std::string& path);
bool FileExists(const std::string& path);
bool DirExists(const std::string& path);
// Whole file as a text; empty when missing or unreadable.
std::string ReadWholeFile(const std::string& path);
// Cluster size of the drive holding path (Win32: sectors per cluster times
// bytes per sector of its root; POSIX: the file system's block size); 0 if unknown.
int64_t DriveClusterSize(const std::string& path);
// Renames `from` to `to`, replacing an existing `to`.
bool MoveFileReplacing(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);
// Copies `from` to `to`, replacing an existing `to` even when that one is
// read-only; the copy is never left read-only, so that a later copy can
// replace it and a self-deleting batch file can delete it. True if copied.
bool CopyFileReplacing(const std::string& from, const std::string& to);
// Drops the read-only attribute of a file (Windows; nothing elsewhere).
void ClearReadOnly(const std::string& path);
// Modification date of a file as a packed DOS date-time (local time); 0 when
// the file is missing or its date does not fit the DOS range (1980..2107).
int32_t FileDosDate(const std::string& path);
