// SHA-256 (FIPS 180-4): of data given in pieces of any size (the digests of
// signed files, hashed as they are read), and of one byte string (names that
// must stay unique when they are shortened).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class TSha256 {
 public:
  using TDigest = std::array<uint8_t, 32>;

  TSha256();
  void Update(const void* data, size_t size);
  // The digest of everything given; the object is spent afterwards.
  TDigest Finish();

 private:
  void Compress(const uint8_t* blocks, size_t count);

  std::array<uint32_t, 8> state_;
  std::array<uint8_t, 64> pending_{};
  size_t pendingSize_ = 0;
  uint64_t totalBytes_ = 0;
};

namespace Sha256 {

std::array<uint8_t, 32> Digest(std::string_view data);
// The digest as 64 lower-case hex digits.
std::string Hex(std::string_view data);

// Whether the processor's SHA extensions do the work (x86 processors that
// have them); tests turn them off to check the portable code too.
bool UsesProcessorExtensions();
void AllowProcessorExtensions(bool allowed);

}  // namespace Sha256
