#include "package/ZLibOpen.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <new>

namespace {

// The largest single enlargement of the output buffer: doubling stops here so
// that a huge entry does not leave a buffer twice its size behind.
constexpr size_t kMaxGrowthStep = size_t{256} << 20;

// Room left for zlib in one call (its counters are 32-bit).
uInt Room(size_t bytes) { return static_cast<uInt>(std::min<size_t>(bytes, UINT_MAX)); }

// Owns the inflate state so that inflateEnd runs on every way out.
class TInflater {
 public:
  TInflater() {
    const int rc = inflateInit(&stream_);
    if (rc != Z_OK) throw EZLibError(rc);
    live_ = true;
  }
  ~TInflater() {
    if (live_) inflateEnd(&stream_);
  }
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;

  z_stream& Stream() { return stream_; }
  void End() {
    live_ = false;
    const int rc = inflateEnd(&stream_);
    if (rc < 0) throw EZLibError(rc);
  }

 private:
  z_stream stream_{};
  bool live_ = false;
};

// Resizes out, turning a failed allocation into the "insufficient memory" error.
void ResizeOutput(std::string& out, size_t size) {
  try {
    out.resize(size);
  } catch (const std::exception&) {  // std::bad_alloc, or a length past what a string holds
    throw EZLibError(Z_MEM_ERROR);
  }
}

// Next output size: grows geometrically (at least by step, at most by
// kMaxGrowthStep) and fails with "insufficient memory" past what a string holds.
size_t GrownSize(const std::string& out, size_t current, size_t step) {
  const size_t limit = out.max_size();
  const size_t increment = std::clamp(current, step, std::max(step, kMaxGrowthStep));
  if (current >= limit) throw EZLibError(Z_MEM_ERROR);
  return increment > limit - current ? limit : current + increment;
}

}  // namespace

EZLibError::EZLibError(int code) : code_(code), message_(MessageFor(code)) {}

const char* EZLibError::MessageFor(int code) {
  switch (code) {
    case 2: return "need dictionary";
    case 1: return "stream end";
    case 0: return "";
    case -1: return "file error";
    case -2: return "stream error";
    case -3: return "data error";
    case -4: return "insufficient memory";
    case -5: return "buffer error";
    case -6: return "incompatible version";
    default: return "unknown error";
  }
}

void DecompressBuffer(std::string_view input, std::string& out, size_t sizeHint, const TInflateProgress& progress) {
  const int64_t total = static_cast<int64_t>(input.size());
  // Growth step: the input length rounded up to 256 bytes.
  const size_t step = std::max<size_t>((input.size() + 255) / 256 * 256, 256);
  size_t size = sizeHint == 0 ? step : sizeHint;
  try {
    out.clear();
    ResizeOutput(out, size);
    if (progress) progress(total, 0);

    TInflater inflater;
    z_stream& zs = inflater.Stream();
    size_t consumed = 0;
    size_t produced = 0;
    for (;;) {
      // Feed the input in pieces zlib's 32-bit counters can hold.
      if (zs.avail_in == 0 && consumed < input.size()) {
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data() + consumed));
        zs.avail_in = Room(input.size() - consumed);
        consumed += zs.avail_in;
      }
      zs.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
      zs.avail_out = Room(size - produced);
      const uInt inBefore = zs.avail_in;
      const uInt room = zs.avail_out;
      const int rc = inflate(&zs, Z_NO_FLUSH);
      produced += room - zs.avail_out;
      if (rc == Z_STREAM_END) break;
      // Z_BUF_ERROR without progress: the input ended before the stream did.
      if (rc < 0) throw EZLibError(rc);
      if (rc == Z_NEED_DICT) throw EZLibError(Z_DATA_ERROR);
      if (zs.avail_in == inBefore && zs.avail_out == room && consumed >= input.size())
        throw EZLibError(Z_BUF_ERROR);
      if (progress) progress(total, static_cast<int64_t>(produced));
      if (zs.avail_out == 0) {
        size = GrownSize(out, size, step);
        ResizeOutput(out, size);
      }
    }
    inflater.End();
    out.resize(produced);
  } catch (...) {
    out.clear();
    throw;
  }
}

std::string DecompressText(std::string_view input) {
  std::string out;
  DecompressBuffer(input, out);
  return out;
}
