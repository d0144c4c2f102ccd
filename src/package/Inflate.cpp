#include "package/Inflate.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <memory>

namespace {

constexpr int kMaxBits = 15;
constexpr int kFastBits = 9;                  // codes this long or shorter decode by one look-up
constexpr uint16_t kInvalidSymbol = 0x1FF;   // a bit pattern that no code of the set begins
constexpr uint32_t kAdlerBase = 65521;

// How a code set is checked when it is built; zlib's rules differ by kind.
enum class TCodeKind { kCodeLengths, kLiterals, kDistances };

// A canonical Huffman code. `fast` holds, for every pattern of kFastBits
// bits, (symbol << 4) | length of the code it begins with, or 0 when that
// code is longer (then `count` and `symbols` decode it bit by bit).
struct THuffman {
  uint16_t fast[1 << kFastBits];
  uint16_t count[kMaxBits + 1];
  uint16_t symbols[288];
};

// Builds `h` from code lengths. False for a set that zlib refuses: an
// over-subscribed one, or an incomplete one other than a single one-bit code
// (allowed for literals and distances). A set without codes is accepted;
// every pattern then reads one bit and gives symbol 0 for code lengths (zlib
// reads them so) or an invalid symbol otherwise.
bool Build(THuffman& h, const uint8_t* lengths, int n, TCodeKind kind) {
  std::memset(h.count, 0, sizeof h.count);
  for (int s = 0; s < n; ++s) ++h.count[lengths[s]];
  h.count[0] = 0;
  int max = kMaxBits;
  while (max > 0 && h.count[max] == 0) --max;
  int left = 1;
  for (int len = 1; len <= kMaxBits; ++len) {
    left = (left << 1) - h.count[len];
    if (left < 0) return false;
  }
  if (left > 0 && max != 0 && (kind == TCodeKind::kCodeLengths || max != 1)) return false;
  const uint16_t filler = left == 0 ? 0 : ((kind == TCodeKind::kCodeLengths ? 0 : kInvalidSymbol) << 4) | 1;
  for (uint16_t& entry : h.fast) entry = filler;
  // Symbols in code order, and the first code of each length.
  uint16_t offset[kMaxBits + 2] = {};
  for (int len = 1; len <= kMaxBits; ++len) offset[len + 1] = offset[len] + h.count[len];
  unsigned code = 0;
  unsigned next[kMaxBits + 1] = {};
  for (int len = 1; len <= kMaxBits; ++len) {
    code = (code + h.count[len - 1]) << 1;
    next[len] = code;
  }
  for (int s = 0; s < n; ++s) {
    const int len = lengths[s];
    if (len == 0) continue;
    h.symbols[offset[len]++] = static_cast<uint16_t>(s);
    if (len > kFastBits) continue;
    // Deflate sends codes from their top bit: the table is indexed reversed.
    unsigned reversed = 0;
    for (unsigned c = next[len]++, i = 0; i < static_cast<unsigned>(len); ++i, c >>= 1) reversed = (reversed << 1) | (c & 1);
    for (unsigned i = reversed; i < (1u << kFastBits); i += 1u << len)
      h.fast[i] = static_cast<uint16_t>((s << 4) | len);
  }
  return true;
}

const uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// One run over one stream. Input bits are taken a byte at a time, and only
// when a field needs them, so that running out of input is told apart from
// damage exactly where zlib tells them apart.
class TRun {
 public:
  // A failure jumps to `failed` with its code. Nothing between the decoding
  // steps and that target owns memory or needs clean-up: the code tables
  // and the output belong to the caller.
  TRun(std::string_view input, std::string& out, TInflate& owner, bool (*grow)(TInflate&, std::string&, size_t),
       THuffman* tables, std::jmp_buf& failed)
      : in_(input), out_(out), base_(out.data()), limit_(out.size()), owner_(owner), grow_(grow), tables_(tables),
        failed_(failed) {}

  size_t Stream();

 private:
  [[noreturn]] void Fail(int code) { std::longjmp(failed_, code); }
  void Fill() {
    while (count_ <= 24 && pos_ < in_.size()) {
      bits_ |= static_cast<uint32_t>(static_cast<uint8_t>(in_[pos_++])) << count_;
      count_ += 8;
    }
  }
  void Need(int n) {
    Fill();
    if (count_ < n) Fail(kInflateBufferError);
  }
  unsigned Take(int n) {
    Need(n);
    const unsigned value = bits_ & ((1u << n) - 1);
    bits_ >>= n;
    count_ -= n;
    return value;
  }
  // Drops the bits up to the next byte and hands the whole bytes still held back to the input.
  void ByteAlign() {
    pos_ -= count_ / 8;
    bits_ = 0;
    count_ = 0;
  }
  unsigned Decode(const THuffman& h);
  // Makes room for at least one more byte.
  void Room() {
    if (produced_ == limit_) {
      if (!grow_(owner_, out_, produced_)) Fail(kInflateMemError);
      base_ = out_.data();
      limit_ = out_.size();
    }
  }
  void Put(char c) {
    Room();
    base_[produced_++] = c;
  }
  void Stored();
  void Codes(const THuffman& literals, const THuffman& distances);
  void Dynamic(THuffman& literals, THuffman& distances);

  std::string_view in_;
  size_t pos_ = 0;
  uint32_t bits_ = 0;
  int count_ = 0;
  std::string& out_;
  char* base_;    // out_'s bytes
  size_t limit_;  // out_'s size
  size_t produced_ = 0;
  TInflate& owner_;
  bool (*grow_)(TInflate&, std::string&, size_t);
  THuffman* tables_;  // two: literals and distances
  std::jmp_buf& failed_;
};

unsigned TRun::Decode(const THuffman& h) {
  Fill();
  const unsigned entry = h.fast[bits_ & ((1u << kFastBits) - 1)];
  if (entry != 0) {
    const int len = static_cast<int>(entry & 15);
    if (len > count_) Fail(kInflateBufferError);
    bits_ >>= len;
    count_ -= len;
    return entry >> 4;
  }
  // A code longer than the table: walk the lengths one bit at a time.
  int code = 0, first = 0, index = 0;
  for (int len = 1; len <= kMaxBits; ++len) {
    if (len > count_) Fail(kInflateBufferError);
    code |= (bits_ >> (len - 1)) & 1;
    const int n = h.count[len];
    if (code - n < first) {
      bits_ >>= len;
      count_ -= len;
      return h.symbols[index + (code - first)];
    }
    index += n;
    first = (first + n) << 1;
    code <<= 1;
  }
  Fail(kInflateDataError);  // not reached for the complete sets that use this path
}

void TRun::Stored() {
  ByteAlign();
  const unsigned length = Take(16);
  if (Take(16) != (length ^ 0xFFFF)) Fail(kInflateDataError);  // "invalid stored block lengths"
  ByteAlign();  // the bytes read ahead are the block's first ones
  for (size_t left = length; left > 0;) {
    if (pos_ == in_.size()) Fail(kInflateBufferError);
    Room();
    const size_t piece = std::min({left, in_.size() - pos_, limit_ - produced_});
    std::memcpy(base_ + produced_, in_.data() + pos_, piece);
    pos_ += piece;
    produced_ += piece;
    left -= piece;
  }
}

void TRun::Codes(const THuffman& literals, const THuffman& distances) {
  for (;;) {
    unsigned symbol = Decode(literals);
    if (symbol < 256) {
      Put(static_cast<char>(symbol));
      continue;
    }
    if (symbol == 256) return;
    symbol -= 257;
    if (symbol >= 29) Fail(kInflateDataError);  // "invalid literal/length code"
    const unsigned length = kLengthBase[symbol] + Take(kLengthExtra[symbol]);
    const unsigned d = Decode(distances);
    if (d >= 30) Fail(kInflateDataError);  // "invalid distance code"
    const size_t distance = kDistanceBase[d] + Take(d < 4 ? 0 : static_cast<int>(d >> 1) - 1);
    if (distance > produced_) Fail(kInflateDataError);  // "invalid distance too far back"
    for (unsigned left = length; left > 0;) {
      Room();
      // Byte by byte: the copy may overlap the bytes it makes.
      const size_t piece = std::min<size_t>(left, limit_ - produced_);
      char* to = base_ + produced_;
      for (const char* from = to - distance, *end = to + piece; to != end;) *to++ = *from++;
      produced_ += piece;
      left -= static_cast<unsigned>(piece);
    }
  }
}

void TRun::Dynamic(THuffman& literals, THuffman& distances) {
  Need(14);
  const int nlen = static_cast<int>(Take(5)) + 257;
  const int ndist = static_cast<int>(Take(5)) + 1;
  const int ncode = static_cast<int>(Take(4)) + 4;
  if (nlen > 286 || ndist > 30) Fail(kInflateDataError);  // "too many length or distance symbols"
  uint8_t lengths[286 + 30] = {};
  for (int i = 0; i < ncode; ++i) lengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(Take(3));
  THuffman& codes = distances;  // free until the distance code is built
  if (!Build(codes, lengths, 19, TCodeKind::kCodeLengths)) Fail(kInflateDataError);
  uint8_t all[286 + 30] = {};
  for (int have = 0; have < nlen + ndist;) {
    const unsigned symbol = Decode(codes);
    if (symbol < 16) {
      all[have++] = static_cast<uint8_t>(symbol);
      continue;
    }
    uint8_t len = 0;
    int copy;
    if (symbol == 16) {
      const int extra = static_cast<int>(Take(2));
      if (have == 0) Fail(kInflateDataError);  // "invalid bit length repeat"
      len = all[have - 1];
      copy = 3 + extra;
    } else if (symbol == 17) {
      copy = 3 + static_cast<int>(Take(3));
    } else {
      copy = 11 + static_cast<int>(Take(7));
    }
    if (have + copy > nlen + ndist) Fail(kInflateDataError);  // "invalid bit length repeat"
    while (copy-- > 0) all[have++] = len;
  }
  if (all[256] == 0) Fail(kInflateDataError);  // "invalid code -- missing end-of-block"
  if (!Build(literals, all, nlen, TCodeKind::kLiterals)) Fail(kInflateDataError);
  if (!Build(distances, all + nlen, ndist, TCodeKind::kDistances)) Fail(kInflateDataError);
}

size_t TRun::Stream() {
  Need(16);
  const unsigned header = Take(16);
  const unsigned cmf = header & 0xFF, flg = header >> 8;
  if ((cmf * 256 + flg) % 31 != 0) Fail(kInflateDataError);  // "incorrect header check"
  if ((cmf & 15) != 8) Fail(kInflateDataError);              // "unknown compression method"
  if ((cmf >> 4) + 8 > 15) Fail(kInflateDataError);          // "invalid window size"
  if (flg & 0x20) {                                          // a preset dictionary: none is given
    Need(32);
    Fail(kInflateDataError);
  }
  THuffman& literals = tables_[0];
  THuffman& distances = tables_[1];
  for (bool last = false; !last;) {
    Need(3);
    last = Take(1) != 0;
    switch (Take(2)) {
      case 0:
        Stored();
        break;
      case 1: {
        uint8_t fixed[288];
        std::memset(fixed, 8, 144);
        std::memset(fixed + 144, 9, 112);
        std::memset(fixed + 256, 7, 24);
        std::memset(fixed + 280, 8, 8);
        Build(literals, fixed, 288, TCodeKind::kLiterals);
        std::memset(fixed, 5, 32);
        Build(distances, fixed, 32, TCodeKind::kDistances);
        Codes(literals, distances);
        break;
      }
      case 2:
        Dynamic(literals, distances);
        Codes(literals, distances);
        break;
      default:
        Fail(kInflateDataError);  // "invalid block type"
    }
  }
  ByteAlign();
  Need(32);
  uint32_t check = 0;
  for (int i = 0; i < 4; ++i) check = (check << 8) | Take(8);
  if (check != Adler32(1, reinterpret_cast<const unsigned char*>(base_), produced_))
    Fail(kInflateDataError);  // "incorrect data check"
  return produced_;
}

}  // namespace

uint32_t Adler32(uint32_t adler, const unsigned char* data, size_t size) {
  uint32_t a = adler & 0xFFFF, b = adler >> 16;
  while (size > 0) {
    // 5552 bytes is the most that cannot overflow b before the reduction.
    size_t piece = size < 5552 ? size : 5552;
    size -= piece;
    while (piece-- > 0) {
      a += *data++;
      b += a;
    }
    a %= kAdlerBase;
    b %= kAdlerBase;
  }
  return (b << 16) | a;
}

int TInflate::Run(std::string_view input, std::string& out, size_t& produced) {
  const std::unique_ptr<THuffman[]> tables(new THuffman[2]());
  std::jmp_buf failed;
  TRun run(input, out, *this, [](TInflate& self, std::string& o, size_t n) { return self.Grow(o, n); }, tables.get(),
           failed);
  if (const int code = setjmp(failed)) return code;
  produced = run.Stream();
  return 0;
}
