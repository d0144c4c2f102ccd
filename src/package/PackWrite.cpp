#include "package/PackWrite.h"

#include <libdeflate.h>

#include <limits>

using namespace PackFormat;

namespace PackWrite {

std::string LanguageBlock(const std::vector<TLanguage>& languages) {
  std::string block(1, kLangOuterDelimiter);
  for (const TLanguage& lang : languages) {
    block += kLangInnerDelimiter;
    block += lang.name;
    block += kLangInnerDelimiter;
    for (const std::string& item : lang.items) {
      block += item;
      block += kLangInnerDelimiter;
    }
    block += kLangOuterDelimiter;
  }
  return block;
}

std::string DefaultLanguageBlock() {
  return LanguageBlock({{"English", {"Charset=0", "FontSize=8", "FontName=Tahoma"}}});
}

// Five items, and the update key as a sixth when there is one.
static std::string ItemList(const std::string& a, const std::string& b, const std::string& c,
                            const std::string& d, const std::string& e, const std::string& key) {
  std::string list = "|" + a + "|" + b + "|" + c + "|" + d + "|" + e + "|";
  if (!key.empty()) list += key + "|";
  return list;
}

std::string InfoBlock(const std::string& infoFolderURL, const std::string& infoFile, const std::string& agentFile,
                      const std::string& scrambledToken, bool background, const std::string& updateKey) {
  return ItemList(infoFolderURL, infoFile, agentFile, scrambledToken, background ? "1" : "0", updateKey);
}

std::string DownloadBlock(const std::string& url, const std::string& setupFile, bool alwaysDownload,
                          const std::string& scrambledToken, const std::string& size, const std::string& updateKey) {
  return ItemList(url, setupFile, alwaysDownload ? "1" : "0", scrambledToken, size, updateKey);
}

std::string EntryText(const std::string& name, int32_t dosDateTime, const std::string& data) {
  std::string text = "|" + name + "|" + std::to_string(dosDateTime) + "|";
  text += '\0';
  text += data;
  return text;
}

// libdeflate writes standard zlib streams, faster than zlib at the same
// size; the same text and level give the same bytes. Its
// level for each of ours: from 5 on, libdeflate's own level writes a little
// more than zlib's (about 2% on text at 6), the next one less.
constexpr int kLibdeflateLevel[] = {0, 1, 2, 3, 4, 6, 7, 8, 9, 9};

std::string Compress(const std::string& text, int level) {
  if (level < 0 || level > 9) return {};
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(kLibdeflateLevel[level]);
  if (compressor == nullptr) return {};
  std::string out(libdeflate_zlib_compress_bound(compressor, text.size()), '\0');
  const size_t size = libdeflate_zlib_compress(compressor, text.data(), text.size(), out.data(), out.size());
  libdeflate_free_compressor(compressor);
  if (size == 0) return {};
  out.resize(size);
  return out;
}

static std::string LengthPrefixed(int32_t length, const std::string& content) {
  std::string block(4, '\0');
  PutU32(block, 0, static_cast<uint32_t>(length));
  block += content;
  return block;
}

std::string EntryBlock(const std::string& entryText, int level) {
  if (level > 0) {
    std::string packed = Compress(entryText, level);
    return LengthPrefixed(static_cast<int32_t>(packed.size()), packed);
  }
  return LengthPrefixed(-static_cast<int32_t>(entryText.size()), entryText);
}

std::string CheckedEntryBlock(const std::string& entryText, int level) {
  std::string packed = Compress(entryText, level);
  if (level > 0 && packed.size() >= entryText.size()) packed = Compress(entryText, 0);
  if (packed.empty() || packed.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return {};
  return LengthPrefixed(static_cast<int32_t>(packed.size()), packed);
}

std::string InfoBlockBytes(const std::string& text) { return LengthPrefixed(static_cast<int32_t>(text.size()), text); }

std::array<uint32_t, kSpaceTableEntries> SpaceTable(const std::vector<uint64_t>& fileSizes) {
  std::array<uint32_t, kSpaceTableEntries> table{};
  for (int i = 0; i < kSpaceTableEntries; ++i) {
    const uint64_t cluster = i == 0 ? 1 : uint64_t{256} << i;
    uint64_t total = 0;
    for (uint64_t size : fileSizes) total += (size + cluster - 1) / cluster * cluster;
    table[i] = static_cast<uint32_t>(std::min<uint64_t>(total, std::numeric_limits<uint32_t>::max()));
  }
  return table;
}

std::string ScrambleToken(const std::string& plain, std::mt19937& rng) {
  auto byte = [&rng](int lo, int hi) { return static_cast<uint8_t>(std::uniform_int_distribution<int>(lo, hi)(rng)); };
  const uint8_t pad = byte(0, 8), tail = byte(1, 8), key = byte(1, 255), first = byte(0, 255);
  // Positions 2..n-1 hold pad count, tail count, pad, token, tail-1 filler and
  // the check byte; all of them are XORed with key = B[1] ^ B[n].
  std::string inner;
  inner += static_cast<char>(pad);
  inner += static_cast<char>(tail);
  for (int i = 0; i < pad; ++i) inner += static_cast<char>(byte(0, 255));
  inner += plain;
  for (int i = 1; i < tail; ++i) inner += static_cast<char>(byte(0, 255));
  std::string b;
  b += static_cast<char>(first);
  for (char c : inner) b += static_cast<char>(static_cast<uint8_t>(c) ^ key);
  b += '\0';  // check byte, set below
  b += static_cast<char>(first ^ key);
  uint8_t sum = 0;
  for (size_t i = 0; i < b.size(); ++i)
    if (i != b.size() - 2) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(b[i]));
  b[b.size() - 2] = static_cast<char>(sum);
  static const char kHex[] = "0123456789ABCDEF";
  std::string stored;
  for (char c : b) {
    stored += static_cast<char>(kHex[static_cast<uint8_t>(c) >> 4] + 50);
    stored += static_cast<char>(kHex[static_cast<uint8_t>(c) & 15] + 50);
  }
  return stored;
}

int32_t DosDateTime(int year, int month, int day, int hour, int minute, int second) {
  uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
  uint32_t time = static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
  return static_cast<int32_t>(date << 16 | time);
}

}  // namespace PackWrite

namespace {

// Appends the trailer; its checksum covers everything before it (or is 1234).
void AppendTrailer(std::string& image, TPackTrailer trailer, bool writeChecksum) {
  trailer.SetChecksum(kNoChecksum);
  image += trailer.AsText();
  if (writeChecksum) {
    trailer.SetChecksum(PackageChecksumOfImage(image, kTrailerSize));
    image.replace(image.size() - kTrailerSize, kTrailerSize, trailer.AsText());
  }
}

}  // namespace

void TPackageWriter::AddFile(const std::string& name, int32_t dosDateTime, const std::string& data) {
  blocks_.push_back(PackWrite::EntryBlock(PackWrite::EntryText(name, dosDateTime, data), level));
  fileSizes_.push_back(data.size());
  ++entryCount_;
}

void TPackageWriter::AddRawBlock(const std::string& blockBytes, bool countsAsEntry) {
  blocks_.push_back(blockBytes);
  if (countsAsEntry) ++entryCount_;
}

std::string TPackageWriter::Build() const {
  std::string image = stubImage;
  TPackTrailer trailer;
  trailer.bytes[kOffFormat] = 1;
  trailer.bytes[kOffInfoBlockCount] = downloadBlock.empty() ? 2 : 3;
  trailer.SetDataStart(static_cast<uint32_t>(image.size()));
  trailer.SetEntryCount(entryCount_);
  trailer.SetMagic();
  auto space = PackWrite::SpaceTable(fileSizes_);
  for (int i = 0; i < kSpaceTableEntries; ++i) trailer.SetSpaceEntry(i, space[i]);
  trailer.bytes[kOffOptions] = options;
  trailer.bytes[kOffDownload] = downloadSetup;
  trailer.bytes[kOffAskBeforeDownload] = askBeforeDownload;
  trailer.bytes[kOffCarriesAgent] = carriesAgent;
  trailer.bytes[kOffAgentPackage] = agentPackage;
  trailer.SetLength(kTrailerSize);

  image += PackWrite::InfoBlockBytes(languageBlock);
  image += PackWrite::InfoBlockBytes(infoBlock);
  if (!downloadBlock.empty()) image += PackWrite::InfoBlockBytes(downloadBlock);
  for (const std::string& block : blocks_) image += block;

  const bool pe = IsPEImageBytes(image);
  const uint64_t end = image.size() + kTrailerSize;
  if (pe && setEndPointer) {
    PutU32(image, kEndPointerHigh, static_cast<uint32_t>(end >> 32));
    PutU32(image, kEndPointerLow, static_cast<uint32_t>(end));
  }
  AppendTrailer(image, trailer, writeChecksum);
  return image;
}

std::string PackWrite::VolumeImage(const std::vector<std::string>& blocks, uint32_t entryCount, uint8_t options,
                                   bool writeChecksum) {
  std::string image;
  for (const std::string& block : blocks) image += block;
  TPackTrailer trailer;
  trailer.bytes[kOffFormat] = 1;
  trailer.bytes[kOffInfoBlockCount] = 2;
  trailer.SetDataStart(0);
  trailer.SetEntryCount(entryCount);
  trailer.SetMagic();
  trailer.bytes[kOffOptions] = options;
  trailer.SetLength(kTrailerSize);
  AppendTrailer(image, trailer, writeChecksum);
  return image;
}
