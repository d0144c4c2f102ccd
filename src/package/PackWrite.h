// Writing side of the package format described in PackX.h. The pieces are
// free functions so that a streaming builder can use them one block at a
// time; TPackageWriter assembles a whole package in memory.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "package/PackX.h"

namespace PackWrite {

// One language of the language block: its name and its key=value items.
struct TLanguage {
  std::string name;
  std::vector<std::string> items;
};

std::string LanguageBlock(const std::vector<TLanguage>& languages);
// The one-language English block of a package without translations.
std::string DefaultLanguageBlock();

// "|" list of five items, six with an update key (a public key text); the
// token is stored as given (already scrambled).
std::string InfoBlock(const std::string& infoFolderURL, const std::string& infoFile,
                      const std::string& agentFile, const std::string& scrambledToken, bool background,
                      const std::string& updateKey = "");
std::string DownloadBlock(const std::string& url, const std::string& setupFile, bool alwaysDownload,
                          const std::string& scrambledToken, const std::string& size,
                          const std::string& updateKey = "");

// Entry text: header "|name|date|", NUL, data. `name` may carry "*args" for the engine.
std::string EntryText(const std::string& name, int32_t dosDateTime, const std::string& data);
// Length-prefixed block: a zlib stream when level > 0, else stored raw
// (negative length, no check), as other writers of the format do.
std::string EntryBlock(const std::string& entryText, int level);
// Length-prefixed block holding one zlib stream with its Adler-32 check at
// any level: level 0, and a text that the level does not shrink, give
// stored deflate blocks (copied, not compressed, but checked). Empty when
// compression fails.
std::string CheckedEntryBlock(const std::string& entryText, int level);
std::string InfoBlockBytes(const std::string& text);
// zlib stream of the given text (level 0..9, zlib's scale; 0 writes stored
// blocks), no larger than zlib's own at the level; empty when it fails.
std::string Compress(const std::string& text, int level);

// Disk space for files of these sizes on each cluster size of the space table.
std::array<uint32_t, PackFormat::kSpaceTableEntries> SpaceTable(const std::vector<uint64_t>& fileSizes);

// The stored form of a token; UnscrambleToken gives `plain` back.
std::string ScrambleToken(const std::string& plain, std::mt19937& rng);

// Packed DOS date-time (local time fields).
int32_t DosDateTime(int year, int month, int day, int hour, int minute, int second);

}  // namespace PackWrite

// Builds a whole package (first volume) in memory: stub image, information
// blocks, entries, trailer, package end pointer and checksum.
class TPackageWriter {
 public:
  std::string stubImage;  // PE image in stub layout, or empty for a bare package
  std::string languageBlock = PackWrite::DefaultLanguageBlock();
  std::string infoBlock = PackWrite::InfoBlock("http://", ".info", ".exe", "", false);
  std::string downloadBlock;  // non-empty: information block count 3
  uint8_t options = 0;
  bool downloadSetup = false;
  bool askBeforeDownload = false;
  bool carriesAgent = false;
  bool agentPackage = false;
  bool writeChecksum = true;   // false: 1234, "not computed"
  bool setEndPointer = true;   // only for a PE stub image
  int level = 6;               // 0 = store entries raw, unchecked, as other writers do

  void AddFile(const std::string& name, int32_t dosDateTime, const std::string& data);
  // Adds a block exactly as given (for damaged or unusual test packages).
  void AddRawBlock(const std::string& blockBytes, bool countsAsEntry = true);

  std::string Build() const;
  const std::vector<uint64_t>& FileSizes() const { return fileSizes_; }

 private:
  std::vector<std::string> blocks_;
  std::vector<uint64_t> fileSizes_;
  uint32_t entryCount_ = 0;
};

namespace PackWrite {
// A later volume of a spanned package: the given blocks and a trailer (data
// start 0, own entry count, checksum, option flags; no information blocks).
std::string VolumeImage(const std::vector<std::string>& blocks, uint32_t entryCount, uint8_t options,
                        bool writeChecksum = true);
}  // namespace PackWrite
