#include "util/Sha256.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define VARNEL_SHA_NI 1
#endif

namespace {

constexpr uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

inline uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

inline uint32_t LoadBig(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

void CompressPortable(uint32_t* state, const uint8_t* blocks, size_t count) {
  uint32_t w[64];
  for (; count > 0; --count, blocks += 64) {
    for (int i = 0; i < 16; ++i) w[i] = LoadBig(blocks + 4 * i);
    for (int i = 16; i < 64; ++i) {
      const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int i = 0; i < 64; ++i) {
      const uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
      const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
  }
}

#if VARNEL_SHA_NI
// The processor's SHA extensions: four rounds per pair of sha256rnds2, the
// message schedule by sha256msg1/msg2. The state is kept as ABEF and CDGH.
__attribute__((target("sha,ssse3,sse4.1"))) void CompressShaNi(uint32_t* state, const uint8_t* blocks, size_t count) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i tmp = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
  __m128i cdgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
  __m128i abef = _mm_alignr_epi8(tmp, cdgh, 8);
  cdgh = _mm_blend_epi16(cdgh, tmp, 0xF0);

  for (; count > 0; --count, blocks += 64) {
    const __m128i abefSaved = abef;
    const __m128i cdghSaved = cdgh;
    __m128i w[4];
#pragma GCC unroll 16
    for (int group = 0; group < 16; ++group) {
      __m128i& now = w[group & 3];
      if (group < 4) now = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * group)), byteSwap);
      __m128i msg = _mm_add_epi32(now, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRound + 4 * group)));
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, msg);
      if (group >= 3 && group <= 14) {
        __m128i& next = w[(group + 1) & 3];
        next = _mm_add_epi32(next, _mm_alignr_epi8(now, w[(group + 3) & 3], 4));
        next = _mm_sha256msg2_epu32(next, now);
      }
      msg = _mm_shuffle_epi32(msg, 0x0E);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, msg);
      if (group >= 1 && group <= 12) w[(group + 3) & 3] = _mm_sha256msg1_epu32(w[(group + 3) & 3], now);
    }
    abef = _mm_add_epi32(abef, abefSaved);
    cdgh = _mm_add_epi32(cdgh, cdghSaved);
  }

  tmp = _mm_shuffle_epi32(abef, 0x1B);
  cdgh = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(tmp, cdgh, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(cdgh, tmp, 8));
}

bool ProcessorHasShaNi() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  const bool ssse3 = (c >> 9) & 1, sse41 = (c >> 19) & 1;
  if (!ssse3 || !sse41 || !__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  return (b >> 29) & 1;
}
#endif

bool g_hardwareAllowed = true;

bool UseHardware() {
#if VARNEL_SHA_NI
  static const bool present = ProcessorHasShaNi();
  return present && g_hardwareAllowed;
#else
  return false;
#endif
}

}  // namespace

TSha256::TSha256()
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {}

void TSha256::Compress(const uint8_t* blocks, size_t count) {
  if (count == 0) return;
#if VARNEL_SHA_NI
  if (UseHardware()) {
    CompressShaNi(state_.data(), blocks, count);
    return;
  }
#endif
  CompressPortable(state_.data(), blocks, count);
}

void TSha256::Update(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  totalBytes_ += size;
  if (pendingSize_ > 0) {
    const size_t take = size < 64 - pendingSize_ ? size : 64 - pendingSize_;
    std::memcpy(pending_.data() + pendingSize_, p, take);
    pendingSize_ += take;
    p += take;
    size -= take;
    if (pendingSize_ < 64) return;
    Compress(pending_.data(), 1);
    pendingSize_ = 0;
  }
  Compress(p, size / 64);
  p += size / 64 * 64;
  size %= 64;
  std::memcpy(pending_.data(), p, size);
  pendingSize_ = size;
}

TSha256::TDigest TSha256::Finish() {
  const uint64_t bits = totalBytes_ * 8;
  uint8_t tail[72] = {0x80};
  const size_t padding = (pendingSize_ < 56 ? 56 : 120) - pendingSize_;
  for (int i = 0; i < 8; ++i) tail[padding + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  Update(tail, padding + 8);
  TDigest digest{};
  for (int i = 0; i < 8; ++i) {
    digest[4 * i] = static_cast<uint8_t>(state_[i] >> 24);
    digest[4 * i + 1] = static_cast<uint8_t>(state_[i] >> 16);
    digest[4 * i + 2] = static_cast<uint8_t>(state_[i] >> 8);
    digest[4 * i + 3] = static_cast<uint8_t>(state_[i]);
  }
  return digest;
}

namespace Sha256 {

bool UsesProcessorExtensions() { return UseHardware(); }
void AllowProcessorExtensions(bool allowed) { g_hardwareAllowed = allowed; }

std::array<uint8_t, 32> Digest(std::string_view data) {
  TSha256 sha;
  sha.Update(data.data(), data.size());
  return sha.Finish();
}

std::string Hex(std::string_view data) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : Digest(data)) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

}  // namespace Sha256
