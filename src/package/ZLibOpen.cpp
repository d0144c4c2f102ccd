#include "package/ZLibOpen.h"

#include <algorithm>
#include <new>

#include <libdeflate.h>

#include "package/Inflate.h"
#include "util/Exceptions.h"

namespace {

// The largest single enlargement of the output buffer: doubling stops here so
// that a huge entry does not leave a buffer twice its size behind.
constexpr size_t kMaxGrowthStep = size_t{256} << 20;

// Resizes out; false when the allocation fails.
bool ResizeOutput(std::string& out, size_t size) {
  bool resized = false;
  VX_TRY {
    out.resize(size);
    resized = true;
  }
  VX_CATCH(const std::exception&) {}  // std::bad_alloc, or a length past what a string holds
  return resized;
}

// Next output size: grows geometrically (at least by step, at most by
// kMaxGrowthStep); 0 past what a string holds.
size_t GrownSize(const std::string& out, size_t current, size_t step) {
  const size_t limit = out.max_size();
  const size_t increment = std::clamp(current, step, std::max(step, kMaxGrowthStep));
  if (current >= limit) return 0;
  return increment > limit - current ? limit : current + increment;
}

// The output of one DecompressBuffer call: reports progress each time the
// buffer is full, then enlarges it.
class TGrowingOutput final : public TInflate {
 public:
  TGrowingOutput(const TInflateProgress& progress, int64_t total, size_t step)
      : progress_(progress), total_(total), step_(step) {}

 private:
  bool Grow(std::string& out, size_t produced) override {
    if (progress_) progress_(total_, static_cast<int64_t>(produced));
    const size_t size = GrownSize(out, out.size(), step_);
    return size != 0 && ResizeOutput(out, size);
  }

  const TInflateProgress& progress_;
  int64_t total_;
  size_t step_;
};

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

namespace {

// Our own inflater: the verdict on a stream that libdeflate refuses, in
// zlib's terms (a damaged stream or one that ends early).
int InflateForVerdict(std::string_view input, std::string& room, size_t& produced, const TInflateProgress& progress,
                      size_t step) {
  const int64_t total = static_cast<int64_t>(input.size());
  if (room.empty() && !ResizeOutput(room, step)) return kInflateMemError;
  TGrowingOutput output(progress, total, step);
  return output.Run(input, room, produced);
}

// First room without a size hint: twice the input and a little more (stored
// data grows by a few bytes; text that shrinks further takes one more round,
// once for a reused buffer). A reused buffer that is larger keeps its size.
size_t FirstRoom(std::string_view input, const std::string& room) {
  constexpr size_t kSlack = 65536;
  const size_t limit = room.max_size() - kSlack;
  const size_t twice = input.size() > limit / 2 ? limit : input.size() * 2 + kSlack;
  return std::max(twice, room.size());
}

// libdeflate inflates a whole stream into a buffer of a given size: when the
// buffer is too small it starts over with a larger one (geometric growth, so
// the work stays linear in the output).
int InflateInto(std::string_view input, std::string& room, size_t& produced, size_t sizeHint,
                const TInflateProgress& progress) {
  const int64_t total = static_cast<int64_t>(input.size());
  // Growth step: the input length rounded up to 256 bytes.
  const size_t step = std::max<size_t>((input.size() + 255) / 256 * 256, 256);
  produced = 0;
  if (!ResizeOutput(room, sizeHint == 0 ? FirstRoom(input, room) : sizeHint)) return kInflateMemError;
  if (progress) progress(total, 0);
  libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
  if (inflater == nullptr) return kInflateMemError;
  int code = 0;
  for (;;) {
    const libdeflate_result result = libdeflate_zlib_decompress_ex(inflater, input.data(), input.size(), room.data(),
                                                                   room.size(), nullptr, &produced);
    if (result == LIBDEFLATE_SUCCESS) break;
    produced = 0;
    if (result != LIBDEFLATE_INSUFFICIENT_SPACE) {
      code = InflateForVerdict(input, room, produced, progress, step);
      break;
    }
    if (progress) progress(total, static_cast<int64_t>(room.size()));
    const size_t size = GrownSize(room, room.size(), step);
    if (size == 0 || !ResizeOutput(room, size)) {
      code = kInflateMemError;
      break;
    }
  }
  libdeflate_free_decompressor(inflater);
  return code;
}

}  // namespace

int InflateIntoRoom(std::string_view input, std::string& room, size_t& produced, const TInflateProgress& progress) {
  int code = 0;
#if defined(__cpp_exceptions)
  // What the progress callback throws passes on.
  try {
    code = InflateInto(input, room, produced, 0, progress);
  } catch (...) {
    produced = 0;
    throw;
  }
#else
  code = InflateInto(input, room, produced, 0, progress);
#endif
  if (code != 0) produced = 0;
  return code;
}

int InflateBuffer(std::string_view input, std::string& out, size_t sizeHint, const TInflateProgress& progress) {
  size_t produced = 0;
  int code = 0;
#if defined(__cpp_exceptions)
  // What the progress callback throws passes on, with `out` left empty.
  try {
    code = InflateInto(input, out, produced, sizeHint, progress);
  } catch (...) {
    out.clear();
    throw;
  }
#else
  code = InflateInto(input, out, produced, sizeHint, progress);
#endif
  if (code != 0) produced = 0;
  out.resize(produced);
  return code;
}

#if defined(__cpp_exceptions)
void DecompressBuffer(std::string_view input, std::string& out, size_t sizeHint, const TInflateProgress& progress) {
  if (const int code = InflateBuffer(input, out, sizeHint, progress)) throw EZLibError(code);
}

std::string DecompressText(std::string_view input) {
  std::string out;
  DecompressBuffer(input, out);
  return out;
}
#endif
