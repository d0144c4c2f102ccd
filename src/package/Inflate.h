// A small inflater for zlib streams (a two-byte header, deflate blocks, an
// Adler-32 check), with zlib's own verdicts: it accepts what zlib's inflate()
// accepts, refuses what it refuses, and tells a damaged stream (-3, "data
// error") from one that ends early (-5, "buffer error") as zlib does. The
// setup stub carries it instead of zlib's inflate, which is several times
// its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// zlib's result codes for the two ways a stream can fail.
constexpr int kInflateDataError = -3;
constexpr int kInflateBufferError = -5;

// Adler-32 of `size` bytes, continuing `adler` (1 to start), as zlib's adler32().
uint32_t Adler32(uint32_t adler, const unsigned char* data, size_t size);

// Inflates one stream into an output string that grows on demand.
class TInflate {
 public:
  // Inflates `input` into `out`, starting at offset 0; `out` holds out.size()
  // bytes of room, and Grow() is asked for more whenever it is full. Returns
  // the number of bytes produced (the rest of `out` is room). Throws
  // EZLibError with kInflateDataError or kInflateBufferError. Bytes after the
  // end of the stream are ignored, as zlib ignores them.
  size_t Run(std::string_view input, std::string& out);

 protected:
  ~TInflate() = default;
  // `out` is full with `produced` bytes: enlarge it (or throw).
  virtual void Grow(std::string& out, size_t produced) = 0;
};
