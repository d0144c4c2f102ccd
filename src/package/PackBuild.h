// Streaming builder of setup executables and their volumes.
//
// The builder never holds a whole file or package in memory: each file is
// read in pieces of at most `entrySize` bytes, every piece becomes one entry
// block (all pieces of a file carry the same name, so the unpacker appends
// them), and blocks are written to the output as they are made. The trailer,
// the package end pointer and the checksums are written or patched last.
// Everything is written under temporary names and renamed at the end, so a
// failed or interrupted build leaves no output behind and keeps the previous
// one. Missing folders of the output are created (and removed again when
// the build fails); volumes of an earlier build that this one does not write
// are removed after the new files are in place.
//
// Every entry is a zlib stream with its Adler-32 check, also at level 0
// (stored blocks) and for pieces that do not shrink, so the stub notices a
// damaged entry whatever its size. Names and texts are given as UTF-8 and
// stored in the package's code page (PackBuildText.h).
//
// Spanning: with a volume size, the package is cut into the first volume
// (stub image + information blocks + entries) and volumes ".002", ".003", ...
// (entries only); a block is never split. Every volume has its own trailer
// (data start, entry count, checksum, bit 1 "another volume follows" on all
// but the last).
//
// File entry count of the first volume: the unpacker sets its progress range
// from the first volume's count alone and then steps once per target file
// that did not exist yet and once per change of volume. The first volume
// therefore holds the number of progress steps of the whole run: distinct
// files of all volumes plus one per further volume, so the bar ends full.
// A later volume's trailer counts the entry blocks it holds itself.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "package/PackBuildText.h"
#include "package/PackX.h"
#include "util/Files.h"

namespace PackBuild {

constexpr uint64_t kDefaultEntrySize = uint64_t{4} << 20;
// Largest piece per entry: its block length must fit a signed 32-bit word.
constexpr uint64_t kMaxEntrySize = uint64_t{1} << 30;

// One file to carry: where it is read from and its name in the package.
struct TInput {
  std::string source;
  std::string name;  // relative, "\" separators
};

struct TInfoItems {
  std::string infoFolderURL = "http://";
  std::string infoFile = ".info";
  std::string agentFile = ".exe";
  std::string token;  // plain text; stored scrambled, empty stays empty
  bool background = false;
};

struct TDownloadItems {
  bool present = false;  // information block count 3
  std::string url;
  std::string setupFile;
  bool alwaysDownload = false;
  std::string token;  // plain text; stored scrambled
  std::string size;   // bytes, decimal text
};

struct TBuildOptions {
  std::string stubPath;
  std::string output;  // the setup executable (or the base name of the ".001" file)
  bool firstVolumeFile = false;  // first volume written as output + ".001"
  std::vector<TInput> inputs;
  std::string engineName;  // one of the inputs' names (case-insensitive); empty: none
  std::string engineArgs;  // written after the "*" of the engine entry
  std::string languageBlock;  // stored as given; empty: English defaults, Charset of the code page
  int codePage = PackText::kDefaultCodePage;  // of the names, engine arguments and information items
  TInfoItems info;
  TDownloadItems download;
  // The publisher's public key text (package/Signature.h); written as the
  // sixth item of the information block and of the download block. Empty: none.
  std::string updateKey;
  uint8_t options = 0;  // kOpt* bits; kOptMoreVolumes is the builder's own
  bool downloadSetup = false;
  bool askBeforeDownload = false;
  bool carriesAgent = false;
  bool agentPackage = false;
  int level = 6;  // 0 = store
  uint64_t entrySize = kDefaultEntrySize;
  uint64_t volumeSize = 0;  // 0 = one volume
  uint32_t seed = 0;        // token scrambler
  // Told before a temporary file or an output folder is created (true) and
  // after it is gone, renamed or kept (false), so that a signal handler can
  // remove what is left (files first, then folders, newest first).
  std::function<void(const std::string& path, bool exists)> onTempFile;
  // Polled between blocks; true ends the build as failed ("interrupted").
  std::function<bool()> interrupted;
};

struct TBuildReport {
  std::vector<std::string> volumes;  // written files, first volume first
  uint32_t files = 0;
  uint32_t entries = 0;      // entry blocks of all volumes
  uint32_t progressCount = 0;  // the first volume's file entry count
  uint64_t inputBytes = 0;
  // Inputs left out and files removed, one line each, for the user.
  std::vector<std::string> warnings;
};

// (bytes done, bytes total) of the files read so far.
using TBuildProgress = std::function<void(uint64_t done, uint64_t total)>;
// One line of detail (verbose output).
using TBuildLog = std::function<void(const std::string& line)>;

// Builds the setup executable and its volumes. Returns an error text, empty
// on success; on failure no output file is left.
std::string BuildPackage(const TBuildOptions& options, TBuildReport& report, const TBuildProgress& progress = nullptr,
                         const TBuildLog& log = nullptr);

// Files of the given paths in order: a file gives itself under its name
// part, a folder its files under their names relative to it (sorted; links
// to folders are not followed). Returns an error text with the system's
// reason, empty on success. Folders that hold no file and links to folders
// are named in `warnings`: the package cannot carry them.
std::string CollectInputs(const std::vector<std::string>& paths, std::vector<TInput>& inputs,
                          std::vector<std::string>* warnings = nullptr);

// Why a name cannot be carried (relative, no "..", none of the characters
// Windows refuses, no "|" or "*", no component that is a device name such
// as CON or COM1 or ends in a dot or a blank); empty when it can.
std::string EntryNameProblem(const std::string& name);
// True when `fileName` is the output file name `outputName` (its name part
// without a final ".001"), its ".001", ".002", ... volumes or the temporary
// name of one of them, ignoring case.
bool IsOutputFileName(const std::string& fileName, const std::string& outputName);
// The system's error text as a short phrase ("No such file or directory."
// -> "no such file or directory").
std::string ReasonPhrase(const std::string& systemText);
// Why the last file operation on `path` failed: "is a folder" or the system's reason.
std::string FailureReason(const std::string& path);
// Why a text cannot be an item of an information block ("|" or NUL); empty when it can.
std::string InfoItemProblem(const std::string& what, const std::string& text);

// Entries a file of `size` bytes becomes with pieces of `entrySize` bytes (an empty file is one entry).
uint64_t PieceCount(uint64_t size, uint64_t entrySize);
// High and low word of the package end pointer.
void SplitEndPointer(uint64_t end, uint32_t& high, uint32_t& low);
// "4M", "1440K", "2G", "123" -> bytes; false for anything else.
bool ParseSize(const std::string& text, uint64_t& bytes);

}  // namespace PackBuild

// Platform primitives of the builder (PackBuild_posix.cpp, PackBuild_win32.cpp).
namespace packbuild_platform {
// Entries of dir except "." and ".."; false with the system's text when it cannot be read.
bool ListFolder(const std::string& dir, std::vector<Files::platform::TDirEntry>& entries, std::string& reason);
// True when both paths exist and name the same file or folder.
bool SameFile(const std::string& a, const std::string& b);
}  // namespace packbuild_platform
