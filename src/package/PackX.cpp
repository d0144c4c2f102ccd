#include "package/PackX.h"

#include <algorithm>
#include <new>
#include <random>
#include <stdexcept>

#include "util/FileIO.h"
#include "util/PathText.h"
#include "util/SysInfo.h"
#include "util/VxSUB.h"
#include "util/Exceptions.h"

namespace PackFormat {

uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t GetU32(const std::string& s, size_t offset) {
  if (offset > s.size() || s.size() - offset < 4) return 0;
  return GetU32(reinterpret_cast<const uint8_t*>(s.data() + offset));
}

void PutU32(std::string& s, size_t offset, uint32_t v) {
  if (s.size() < offset + 4) s.resize(offset + 4, '\0');
  PutU32(reinterpret_cast<uint8_t*>(s.data() + offset), v);
}

std::string VolumeName(const std::string& firstVolume, int number) {
  std::string base = firstVolume;
  if (base.size() >= 4 && base.compare(base.size() - 4, 4, ".001") == 0) base.resize(base.size() - 4);
  std::string digits = std::to_string(number);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
  return base + "." + digits;
}

}  // namespace PackFormat

using namespace PackFormat;

namespace {

int64_t ReadWordAt(TFile& file, int64_t offset, bool& ok) {
  uint8_t b[4];
  ok = file.ReadAt(offset, b, 4);
  return ok ? GetU32(b) : 0;
}

bool HasPESignature(const uint8_t mz[2], const uint8_t pe[2]) {
  return mz[0] == 'M' && mz[1] == 'Z' && pe[0] == 'P' && pe[1] == 'E';
}

}  // namespace

bool IsPEImage(TFile& file) {
  if (!file.IsOpen()) return false;
  int64_t saved = file.Seek64(0, TFile::Origin::Current);
  uint8_t mz[2] = {0, 0}, pe[2] = {0, 0};
  bool ok = file.ReadAt(0, mz, 2) && file.ReadAt(kPeSignatureOffset, pe, 2);
  if (saved >= 0) file.Seek64(saved, TFile::Origin::Begin);
  return ok && HasPESignature(mz, pe);
}

bool IsPEImage(const std::string& path) {
  TFile file(path, TFile::Mode::Read);
  return IsPEImage(file);
}

bool IsPEImageBytes(const std::string& image) {
  if (image.size() < static_cast<size_t>(kPeSignatureOffset) + 2) return false;
  const auto* p = reinterpret_cast<const uint8_t*>(image.data());
  return HasPESignature(p, p + kPeSignatureOffset);
}

int64_t ReadPackageEnd(TFile& file) {
  bool okHigh = false, okLow = false;
  int64_t high = ReadWordAt(file, kEndPointerHigh, okHigh);
  int64_t low = ReadWordAt(file, kEndPointerLow, okLow);
  if (!okHigh || !okLow) return 0;
  return static_cast<int64_t>(static_cast<uint64_t>(high) << 32 | static_cast<uint64_t>(low));
}

int64_t ReadPackageEndOfImage(const std::string& image) {
  uint64_t high = GetU32(image, kEndPointerHigh);
  uint64_t low = GetU32(image, kEndPointerLow);
  return static_cast<int64_t>(high << 32 | low);
}

void ReadTrailer(TFile& file, TPackTrailer& trailer) {
  trailer.bytes.fill(0);
  if (file.IsOpen()) {
    const int64_t size = file.Size();
    const int64_t end = IsPEImage(file) ? ReadPackageEnd(file) : 0;
    const int64_t packageEnd = end > 0 ? end : size;
    bool ok = false;
    const int64_t length = ReadWordAt(file, packageEnd - 4, ok);
    const int64_t start = packageEnd - length;
    // A length that does not fit inside the file leaves the record zero.
    if (ok && packageEnd <= size && length >= 4 && start >= 0) {
      const int64_t want = std::min<int64_t>(kTrailerSize, length) - 4;
      if (file.Seek64(start, TFile::Origin::Begin) == start) {
        int64_t got = file.Read(trailer.bytes.data(), want);
        if (got < want) std::fill(trailer.bytes.begin() + std::max<int64_t>(got, 0), trailer.bytes.end(), 0);
      }
    }
    if (ok && length >= 0) trailer.SetLength(static_cast<uint32_t>(std::min<int64_t>(kTrailerSize, length)));
  }
  if (trailer.bytes[kOffInfoBlockCount] == 0) trailer.bytes[kOffInfoBlockCount] = 2;
}

void ReadTrailer(const std::string& path, TPackTrailer& trailer) {
  TFile file(path, TFile::Mode::Read);
  ReadTrailer(file, trailer);
}

uint32_t PackageChecksumOfImage(const std::string& image, int64_t trailerLength) {
  int64_t size = static_cast<int64_t>(image.size());
  if (size > kChecksumLimit) return kNoChecksum;
  const int64_t endWord = IsPEImageBytes(image) ? GetU32(image, kEndPointerLow) : 0;
  if (endWord > 0) size = endWord;
  int64_t remaining = size - trailerLength;
  size_t pos = 0;
  if (endWord > 0) {
    remaining -= 512;
    pos = 512;
  }
  uint32_t sum = 0;
  // Sums 32-bit words in blocks of 4096 bytes; the constant 1234 added after
  // every block that ends short of the trailer is part of the format.
  for (;;) {
    size_t avail = pos < image.size() ? image.size() - pos : 0;
    size_t got = std::min<size_t>(avail, 4096);
    for (size_t w = 0; w + 4 <= got; w += 4) {
      remaining -= 4;
      if (remaining > 4) sum += GetU32(image, pos + w);
    }
    if (remaining > 4) sum += kNoChecksum;
    pos += got;
    if (got < 4096) break;
  }
  return sum;
}

uint32_t PackageChecksum(const std::string& path, int64_t trailerLength) {
  TFile file(path, TFile::Mode::Read);
  if (!file.IsOpen()) return 0;
  int64_t size = file.Size();
  if (size > kChecksumLimit) return kNoChecksum;
  std::string image(static_cast<size_t>(size), '\0');
  int64_t got = file.Read(image.data(), size);
  image.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
  return PackageChecksumOfImage(image, trailerLength);
}

std::optional<std::string> TryUnscrambleToken(const std::string& stored) {
  std::string b;
  for (size_t i = 0; i < stored.size(); i += 2) {
    int value = 0;
    bool valid = true;
    for (size_t j = i; j < std::min(i + 2, stored.size()); ++j) {
      int c = static_cast<unsigned char>(stored[j]) - 50;
      int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                   : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      if (digit < 0) valid = false;
      value = value * 16 + digit;
    }
    b.push_back(static_cast<char>(valid ? value : 255));
  }
  const size_t n = b.size();
  if (n <= 4) return std::nullopt;
  auto at = [&b](size_t pos1) { return static_cast<uint8_t>(b[pos1 - 1]); };  // 1-based
  uint8_t sum = 0;
  for (size_t i = 1; i <= n; ++i)
    if (i != n - 1) sum = static_cast<uint8_t>(sum + at(i));
  if (sum != at(n - 1)) return std::nullopt;
  const uint8_t key = at(1) ^ at(n);
  for (size_t i = 2; i <= n - 1; ++i) b[i - 1] = static_cast<char>(at(i) ^ key);
  const size_t pad = at(2), tail = at(3);
  if (n < pad + tail + 4) return std::nullopt;
  const size_t length = n - pad - tail - 4;
  return b.substr(pad + 3, length);
}

std::string UnscrambleToken(const std::string& stored) {
  if (std::optional<std::string> plain = TryUnscrambleToken(stored)) return *plain;
  // A damaged token reads as a random number, for the places that show it;
  // comparisons go through TokensMatch, which never accepts it.
  std::mt19937 rng(static_cast<uint32_t>(ClockTicks()));
  return std::to_string(std::uniform_int_distribution<int>(0, 99998)(rng));
}

bool TokensMatch(const std::string& storedA, const std::string& storedB) {
  const std::optional<std::string> a = TryUnscrambleToken(storedA);
  const std::optional<std::string> b = TryUnscrambleToken(storedB);
  return a && b && !a->empty() && *a == *b;
}

int SpaceTableIndex(int64_t clusterSize) {
  int index = 0;
  for (int i = 1; i < kSpaceTableEntries; ++i)
    if (clusterSize >= (int64_t{256} << i)) index = i;
  return index;
}

TGFileInfo::TGFileInfo(const std::string& path) : path_(path) {
  if (!FileExists(path)) return;
  TFile file(path, TFile::Mode::Read);
  if (!file.IsOpen()) return;
  TPackTrailer record;
  ReadTrailer(file, record);
  // Without the magic the bytes read are whatever lies in the image (a bare
  // stub, a cut setup): none of them is a flag of ours.
  if (!record.HasMagic()) return;
  trailer_ = record;
  ReadInfoBlocks(file);
}

void TGFileInfo::ReadInfoBlocks(TFile& file) {
  const int64_t size = file.Size();
  const int64_t end = IsPEImage(file) ? ReadPackageEnd(file) : 0;
  const int64_t packageEnd = end > 0 && end <= size ? end : size;
  std::string* blocks[3] = {&languageBlock_, &infoBlock_, &downloadBlock_};
  const int count = trailer_.InfoBlockCount() > 2 ? 3 : 2;
  int64_t pos = trailer_.DataStart();
  for (int i = 0; i < count; ++i) {
    bool ok = false;
    const int64_t length = static_cast<int32_t>(ReadWordAt(file, pos, ok));
    // Information blocks are stored with a positive length inside the package.
    if (!ok || length <= 0 || length > packageEnd - pos - 4) return;
    std::string text;
    VX_TRY {
      text.resize(static_cast<size_t>(length));
    }
    VX_CATCH(const std::exception&) {  // bad_alloc, length_error: read as far as it went
      return;
    }
    if (file.Read(text.data(), length) != length) return;
    *blocks[i] = std::move(text);
    pos += 4 + length;
    trailer_.SetDataStart(static_cast<uint32_t>(pos));
  }
}

double TGFileInfo::SpaceRequired(const std::string& path) const {
  return static_cast<double>(trailer_.SpaceEntry(SpaceTableIndex(DriveClusterSize(path))));
}

std::string TGFileInfo::InfoFolderURL() const { return SUB::GetItem(infoBlock_, 0, ""); }

std::string TGFileInfo::InfoFileName() const { return FileNamePart(SUB::GetItem(infoBlock_, 1, "")); }

std::string TGFileInfo::OriginalFileName() const {
  return BaseName(InfoFileName(), true) + ".original";
}

std::string TGFileInfo::AgentFileName() const { return SUB::GetItem(infoBlock_, 2, ""); }

std::string TGFileInfo::SecretToken(bool unscramble) const {
  std::string token = SUB::GetItem(infoBlock_, 3, "");
  return unscramble ? UnscrambleToken(token) : token;
}

bool TGFileInfo::BackgroundSetup() const { return SUB::GetItem(infoBlock_, 4, "") == "1"; }

std::string TGFileInfo::DownloadURL() const { return SUB::GetItem(downloadBlock_, 0, ""); }

std::string TGFileInfo::DownloadFileName() const { return SUB::GetItem(downloadBlock_, 1, ""); }

bool TGFileInfo::AlwaysDownload() const { return SUB::GetItem(downloadBlock_, 2, "") == "1"; }

std::string TGFileInfo::DownloadToken(bool unscramble) const {
  std::string token = SUB::GetItem(downloadBlock_, 3, "");
  return unscramble ? UnscrambleToken(token) : token;
}

bool TGFileInfo::DownloadTokenMatches(const TGFileInfo& other) const {
  return TokensMatch(DownloadToken(false), other.DownloadToken(false));
}

std::string TGFileInfo::DownloadSize() const { return SUB::GetItem(downloadBlock_, 4, ""); }

std::string TGFileInfo::UpdateKey() const { return SUB::GetItem(infoBlock_, 5, ""); }

std::string TGFileInfo::DownloadUpdateKey() const { return SUB::GetItem(downloadBlock_, 5, ""); }
