// Package format behind the stub image, and the reader of it.
//
// A setup executable is the stub program followed by the package; further
// volumes of a spanned package are the same package layout without the stub.
// All integers are little-endian; offsets are from the start of the file.
//
//   0           2                     248      252      256
//   +-----------+---------------------+--------+--------+------------------+
//   | "MZ" ...  | DOS header / stub   | end hi | end lo | "PE" headers ... |
//   +-----------+---------------------+--------+--------+------------------+
//   | rest of the stub image                                               |
//   +----------------------------------------------------------------------+ <- data start
//   | block: int32 L | |L| bytes     (information blocks first, then      |
//   | block: int32 L | |L| bytes      file entries; no gaps)              |
//   | ...                                                                  |
//   +----------------------------------------------------------------------+
//   | trailer (74 bytes, layout below)                                     |
//   +----------------------------------------------------------------------+ <- package end
//   | anything else (an Authenticode signature in practice): ignored       |
//   +----------------------------------------------------------------------+
//
// Package end pointer: 64-bit offset just past the trailer, high word at 248,
// low word at 252; 0 = not set (the package ends at the end of the file).
// It is only honoured when "MZ" is at 0 and "PE" at the fixed offset 256.
//
// Block: L > 0: content is one zlib stream (RFC 1950) that inflates to the
// entry text; L <= 0: the |L| content bytes are the entry text, stored.
// Information blocks are stored with L > 0 and are never compressed.
//
// Information blocks (first N blocks of the first volume, N = 2 or 3):
//   1. language block: 0x02-delimited list of 0x01-delimited lists
//      (item 0 = language name, further items key=value)
//   2. "|InfoFolderURL|InfoFile|AgentFile|ScrambledToken|Background|"
//   3. "|DownloadURL|SetupFile|AlwaysDownload|ScrambledToken|Size|" (N = 3)
// Either list may carry a sixth item, "UpdateKey|": the publisher's public
// key (88 characters of base64, package/Signature.h). Readers take items by
// position, so a list of five reads as before: no key, no signature checks.
//
// File entry text: "|name|dosdatetime|" + '\0' + file bytes. A '*' in the
// header marks the engine entry ("|Engine.exe*|1248086749|").
//
// Trailer (74 bytes):
//   off width field
//    0   1    format byte (1)
//    1   1    information block count (0 reads as 2; 3 with a download block)
//    2   2    reserved
//    4   4    data start (offset of the first block)
//    8   4    file entry count
//   12   4    magic 0x4A3B2C1D
//   16   4    package checksum (1234 = not computed)
//   20   8    reserved
//   28  36    space table: 9 x uint32 (clusters <512, 512, ..., >=65536)
//   64   1    reserved
//   65   1    option flags (see kOpt*)
//   66   1    download flag
//   67   1    ask-before-download flag
//   68   1    carries-agent flag
//   69   1    agent-package flag
//   70   4    trailer length (74)
//
// Volumes: volume k of "setup.exe" or "setup.exe.001" is "setup.exe.00k"
// (three digits); a later volume is blocks + trailer, no information blocks.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

class TFile;

namespace PackFormat {
constexpr int kTrailerSize = 74;
constexpr uint32_t kMagic = 0x4A3B2C1D;
constexpr uint32_t kNoChecksum = 1234;
constexpr int64_t kChecksumLimit = 51200;  // larger files are never summed
constexpr int64_t kEndPointerHigh = 248;
constexpr int64_t kEndPointerLow = 252;
constexpr int64_t kPeSignatureOffset = 256;
constexpr int kSpaceTableEntries = 9;

// Trailer field offsets.
constexpr int kOffFormat = 0;
constexpr int kOffInfoBlockCount = 1;
constexpr int kOffDataStart = 4;
constexpr int kOffEntryCount = 8;
constexpr int kOffMagic = 12;
constexpr int kOffChecksum = 16;
constexpr int kOffSpaceTable = 28;
constexpr int kOffOptions = 65;
constexpr int kOffDownload = 66;
constexpr int kOffAskBeforeDownload = 67;
constexpr int kOffCarriesAgent = 68;
constexpr int kOffAgentPackage = 69;
constexpr int kOffTrailerLength = 70;

// Bits of the option flags byte.
constexpr uint8_t kOptTempDriveNotice = 0x01;
constexpr uint8_t kOptMoreVolumes = 0x02;
constexpr uint8_t kOptCopyToTemp = 0x04;
constexpr uint8_t kOptActivityBar = 0x08;
constexpr uint8_t kOptAgentTraceLog = 0x10;

constexpr char kLangOuterDelimiter = '\x02';
constexpr char kLangInnerDelimiter = '\x01';

uint32_t GetU32(const uint8_t* p);
void PutU32(uint8_t* p, uint32_t v);
uint32_t GetU32(const std::string& s, size_t offset);  // 0 when out of range
void PutU32(std::string& s, size_t offset, uint32_t v);

// Name of volume `number` (2, 3, ...) of the package whose first volume is `firstVolume`.
std::string VolumeName(const std::string& firstVolume, int number);
}  // namespace PackFormat

// The 74-byte package trailer with typed access to its fields.
struct TPackTrailer {
  std::array<uint8_t, PackFormat::kTrailerSize> bytes{};

  uint8_t InfoBlockCount() const { return bytes[PackFormat::kOffInfoBlockCount]; }
  uint32_t DataStart() const { return PackFormat::GetU32(&bytes[PackFormat::kOffDataStart]); }
  uint32_t EntryCount() const { return PackFormat::GetU32(&bytes[PackFormat::kOffEntryCount]); }
  uint32_t Magic() const { return PackFormat::GetU32(&bytes[PackFormat::kOffMagic]); }
  uint32_t Checksum() const { return PackFormat::GetU32(&bytes[PackFormat::kOffChecksum]); }
  uint32_t SpaceEntry(int i) const { return PackFormat::GetU32(&bytes[PackFormat::kOffSpaceTable + 4 * i]); }
  uint8_t Options() const { return bytes[PackFormat::kOffOptions]; }
  uint32_t Length() const { return PackFormat::GetU32(&bytes[PackFormat::kOffTrailerLength]); }
  bool HasMagic() const { return Magic() == PackFormat::kMagic; }

  void SetDataStart(uint32_t v) { PackFormat::PutU32(&bytes[PackFormat::kOffDataStart], v); }
  void SetEntryCount(uint32_t v) { PackFormat::PutU32(&bytes[PackFormat::kOffEntryCount], v); }
  void SetMagic() { PackFormat::PutU32(&bytes[PackFormat::kOffMagic], PackFormat::kMagic); }
  void SetChecksum(uint32_t v) { PackFormat::PutU32(&bytes[PackFormat::kOffChecksum], v); }
  void SetSpaceEntry(int i, uint32_t v) { PackFormat::PutU32(&bytes[PackFormat::kOffSpaceTable + 4 * i], v); }
  void SetLength(uint32_t v) { PackFormat::PutU32(&bytes[PackFormat::kOffTrailerLength], v); }

  std::string AsText() const { return std::string(bytes.begin(), bytes.end()); }
};

// Unit-level operations of the package reader. None of them fails: a missing
// or unreadable file gives false, 0 or an unchanged record.
bool IsPEImage(const std::string& path);
bool IsPEImage(TFile& file);
bool IsPEImageBytes(const std::string& image);
int64_t ReadPackageEnd(TFile& file);
int64_t ReadPackageEndOfImage(const std::string& image);
void ReadTrailer(const std::string& path, TPackTrailer& trailer);
void ReadTrailer(TFile& file, TPackTrailer& trailer);
uint32_t PackageChecksum(const std::string& path, int64_t trailerLength);
uint32_t PackageChecksumOfImage(const std::string& image, int64_t trailerLength);
// The plain token; a damaged stored text gives a random decimal number, for
// showing only: compare tokens with TokensMatch.
std::string UnscrambleToken(const std::string& stored);
// The plain token, or nothing when the stored text is damaged.
std::optional<std::string> TryUnscrambleToken(const std::string& stored);
// Two stored tokens belong together: both unscramble, to the same text, and
// that text is not empty. A damaged or empty token matches nothing.
bool TokensMatch(const std::string& storedA, const std::string& storedB);

// Stub file information: the trailer and the information blocks of a package.
class TGFileInfo {
 public:
  explicit TGFileInfo(const std::string& path);

  const TPackTrailer& Trailer() const { return trailer_; }
  const std::string& LanguageBlock() const { return languageBlock_; }
  const std::string& PackageInfoBlock() const { return infoBlock_; }
  const std::string& DownloadBlock() const { return downloadBlock_; }
  const std::string& Path() const { return path_; }

  double SpaceRequired(const std::string& path) const;

  bool TempDriveNotice() const { return OptionBit(PackFormat::kOptTempDriveNotice); }
  bool MoreVolumes() const { return OptionBit(PackFormat::kOptMoreVolumes); }
  bool CopyToTemp() const { return OptionBit(PackFormat::kOptCopyToTemp); }
  bool ShowActivityBar() const { return OptionBit(PackFormat::kOptActivityBar); }
  bool AgentTraceLog() const { return OptionBit(PackFormat::kOptAgentTraceLog); }

  bool DownloadSetup() const { return trailer_.bytes[PackFormat::kOffDownload] != 0; }
  bool AskBeforeDownload() const { return trailer_.bytes[PackFormat::kOffAskBeforeDownload] != 0; }
  bool CarriesAgent() const { return trailer_.bytes[PackFormat::kOffCarriesAgent] != 0; }
  bool IsAgentPackage() const { return trailer_.bytes[PackFormat::kOffAgentPackage] != 0; }

  std::string InfoFolderURL() const;
  std::string InfoFileName() const;
  std::string OriginalFileName() const;
  std::string AgentFileName() const;
  std::string SecretToken(bool unscramble) const;
  bool BackgroundSetup() const;

  std::string DownloadURL() const;
  std::string DownloadFileName() const;
  bool AlwaysDownload() const;
  std::string DownloadToken(bool unscramble) const;
  // The two packages belong together: their download tokens match (TokensMatch).
  bool DownloadTokenMatches(const TGFileInfo& other) const;
  std::string DownloadSize() const;
  // The publisher's public key text (sixth item of the information block,
  // or of the download block); empty when the package carries none.
  std::string UpdateKey() const;
  std::string DownloadUpdateKey() const;

  // Texts of the language block in the process's chosen language (LangRes0.cpp).
  std::string LangText(const std::string& key, const std::string& def) const;
  int Charset() const;
  int FontSize() const;
  std::string FontName() const;

 private:
  bool OptionBit(uint8_t bit) const { return (trailer_.Options() & bit) != 0; }
  void ReadInfoBlocks(TFile& file);

  std::string path_;
  TPackTrailer trailer_;
  std::string languageBlock_;
  std::string infoBlock_;
  std::string downloadBlock_;
};

// Space-table index for a drive with the given cluster size (0 when unknown).
int SpaceTableIndex(int64_t clusterSize);
