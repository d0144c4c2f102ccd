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
// zlib's Z_MEM_ERROR: the output could not grow.
constexpr int kInflateMemError = -4;

// Adler-32 of `size` bytes, continuing `adler` (1 to start), as zlib's adler32().
uint32_t Adler32(uint32_t adler, const unsigned char* data, size_t size);

// Inflates one stream into an output string that grows on demand.
class TInflate {
 public:
  // Inflates `input` into `out`, starting at offset 0; `out` holds out.size()
  // bytes of room, and Grow() is asked for more whenever it is full. Returns
  // 0 with the number of bytes produced in `produced` (the rest of `out` is
  // room), or kInflateDataError, kInflateBufferError or kInflateMemError.
  // Throws nothing of its own. Bytes after the end of the stream are
  // ignored, as zlib ignores them.
  int Run(std::string_view input, std::string& out, size_t& produced);

 protected:
  ~TInflate() = default;
  // `out` is full with `produced` bytes: enlarge it; false when it cannot grow.
  virtual bool Grow(std::string& out, size_t produced) = 0;
};
