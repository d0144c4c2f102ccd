#include "package/PackWalk.h"

#include <zlib.h>

#include <algorithm>

#include "package/PackX.h"
#include "package/ZLibOpen.h"
#include "util/FileIO.h"

using namespace PackFormat;

namespace {

constexpr int64_t kPiece = 65536;
constexpr size_t kHeaderLimit = 65536;

// Collects the entry text's header and counts its bytes.
struct TEntrySink {
  TBlockInfo& info;
  void Add(const char* bytes, size_t n) {
    if (!info.hasNul) {
      const char* nul = std::find(bytes, bytes + n, '\0');
      const size_t take = std::min<size_t>(static_cast<size_t>(nul - bytes), kHeaderLimit - info.header.size());
      info.header.append(bytes, take);
      if (nul != bytes + n) info.hasNul = true;
    }
    info.inflatedSize += static_cast<int64_t>(n);
  }
};

bool ReadStored(TFile& file, TBlockInfo& info, bool keepContent) {
  TEntrySink sink{info};
  std::string piece;
  for (int64_t done = 0; done < info.storedSize;) {
    const int64_t n = std::min(kPiece, info.storedSize - done);
    piece.resize(static_cast<size_t>(n));
    if (file.Read(piece.data(), n) != n) return false;
    if (keepContent)
      info.content += piece;
    else
      sink.Add(piece.data(), piece.size());
    done += n;
  }
  return true;
}

// Inflates the block's zlib stream piece by piece; false with the error set.
bool Inflate(TFile& file, TBlockInfo& info) {
  TEntrySink sink{info};
  z_stream z{};
  if (inflateInit(&z) != Z_OK) {
    info.error = EZLibError::MessageFor(Z_MEM_ERROR);
    return false;
  }
  std::string in, out(static_cast<size_t>(kPiece), '\0');
  int rc = Z_OK;
  for (int64_t done = 0; rc != Z_STREAM_END;) {
    if (z.avail_in == 0) {
      const int64_t n = std::min(kPiece, info.storedSize - done);
      if (n == 0) break;  // input used up before the stream ended
      in.resize(static_cast<size_t>(n));
      if (file.Read(in.data(), n) != n) {
        info.error = "read error";
        inflateEnd(&z);
        return false;
      }
      done += n;
      z.next_in = reinterpret_cast<Bytef*>(in.data());
      z.avail_in = static_cast<uInt>(n);
    }
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    rc = inflate(&z, Z_NO_FLUSH);
    sink.Add(out.data(), out.size() - z.avail_out);
    if (rc != Z_OK && rc != Z_STREAM_END) {
      // Z_BUF_ERROR here means no progress was possible: a cut stream.
      info.error = EZLibError::MessageFor(rc == Z_BUF_ERROR ? Z_DATA_ERROR : rc);
      inflateEnd(&z);
      return false;
    }
  }
  inflateEnd(&z);
  if (rc != Z_STREAM_END) {
    info.error = "the zlib stream is cut short";
    return false;
  }
  return true;
}

}  // namespace

int64_t PackageEndOf(const std::string& path) {
  TFile file(path, TFile::Mode::Read);
  if (!file.IsOpen()) return 0;
  const int64_t size = file.Size();
  const int64_t end = IsPEImage(file) ? ReadPackageEnd(file) : 0;
  return end > 0 && end <= size ? end : size;
}

bool WalkBlocks(const std::string& path, int infoBlocks, const std::function<void(const TBlockInfo&)>& visit) {
  TFile file(path, TFile::Mode::Read);
  if (!file.IsOpen()) return false;
  TPackTrailer trailer;
  ReadTrailer(file, trailer);
  if (!trailer.HasMagic()) return false;
  const int64_t end = PackageEndOf(path);
  int64_t offset = trailer.DataStart();
  for (int index = 0; end - offset > kTrailerSize; ++index) {
    TBlockInfo info;
    info.index = index;
    info.offset = offset;
    info.isInfoBlock = index < infoBlocks;
    uint8_t word[4];
    const bool lengthRead = file.ReadAt(offset, word, 4);
    const int32_t length = static_cast<int32_t>(GetU32(word));
    info.storedSize = length < 0 ? -static_cast<int64_t>(length) : length;
    info.compressed = length > 0 && !info.isInfoBlock;
    if (!lengthRead || info.storedSize > end - kTrailerSize - offset - 4) {
      info.readable = false;
      info.error = "the block runs past the end of the package";
    } else if (info.compressed) {
      info.readable = Inflate(file, info);
    } else if (!ReadStored(file, info, info.isInfoBlock)) {
      info.readable = false;
      info.error = "read error";
    }
    visit(info);
    if (!info.readable) break;
    offset += 4 + info.storedSize;
  }
  return true;
}
