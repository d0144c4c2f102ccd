// The inflater against zlib's inflate(): on every stream, good, cut short or
// damaged, both must give the same bytes or the same verdict.
#include "package/Inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>

#include "package/ZLibOpen.h"

namespace {

// zlib's verdict: 0 and the inflated bytes, or the code DecompressBuffer gives.
int ZlibInflate(const std::string& input, std::string& out) {
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return Z_MEM_ERROR;
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  zs.avail_in = static_cast<uInt>(input.size());
  std::string buffer(256, '\0');
  size_t produced = 0;
  int code = 0;
  for (;;) {
    zs.next_out = reinterpret_cast<Bytef*>(buffer.data() + produced);
    zs.avail_out = static_cast<uInt>(buffer.size() - produced);
    const uInt inBefore = zs.avail_in, room = zs.avail_out;
    const int rc = inflate(&zs, Z_NO_FLUSH);
    produced += room - zs.avail_out;
    if (rc == Z_STREAM_END) break;
    if (rc < 0 || rc == Z_NEED_DICT) {
      code = rc == Z_NEED_DICT ? Z_DATA_ERROR : rc;
      break;
    }
    if (zs.avail_in == inBefore && zs.avail_out == room) {
      code = Z_BUF_ERROR;
      break;
    }
    if (zs.avail_out == 0) buffer.resize(buffer.size() * 2);
  }
  inflateEnd(&zs);
  out = code == 0 ? buffer.substr(0, produced) : std::string();
  return code;
}

int OurInflate(const std::string& input, std::string& out) {
  try {
    DecompressBuffer(input, out);
  } catch (const EZLibError& e) {
    return e.Code();
  }
  return 0;
}

// Compares both verdicts on one input; returns false (after reporting) on a difference.
bool SameAsZlib(const std::string& input, const std::string& what) {
  std::string expected, actual;
  const int expectedCode = ZlibInflate(input, expected);
  const int actualCode = OurInflate(input, actual);
  EXPECT_EQ(actualCode, expectedCode) << what;
  EXPECT_TRUE(actual == expected) << what << ": " << actual.size() << " bytes, zlib " << expected.size();
  return actualCode == expectedCode && actual == expected;
}

std::string Deflate(const std::string& text, int level, int strategy) {
  z_stream zs{};
  deflateInit2(&zs, level, Z_DEFLATED, 15, 8, strategy);
  std::string out(deflateBound(&zs, static_cast<uLong>(text.size())), '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  zs.avail_in = static_cast<uInt>(text.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

// Text with runs, repeats near and far, and noise: every kind of deflate code.
std::string MixedText(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) {
    switch (rng() % 4) {
      case 0:
        s.append(rng() % 300, static_cast<char>(rng()));
        break;
      case 1:
        if (!s.empty()) {
          const size_t from = rng() % s.size();
          s.append(s.substr(from, rng() % 400));
        }
        break;
      case 2:
        for (int i = rng() % 200; i > 0; --i) s.push_back(static_cast<char>('a' + rng() % 6));
        break;
      default:
        for (int i = rng() % 100; i > 0; --i) s.push_back(static_cast<char>(rng()));
    }
  }
  s.resize(n);
  return s;
}

const int kStrategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};

}  // namespace

TEST(Inflate, AdlerIsZlibs) {
  std::mt19937 rng(7);
  std::string data(70000, '\0');
  for (char& c : data) c = static_cast<char>(rng() % 7 == 0 ? 0xFF : rng());
  const size_t lengths[] = {0, 1, 5551, 5552, 5553, 65536, 70000};
  for (size_t n : lengths) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    EXPECT_EQ(Adler32(1, p, n), adler32(1, p, static_cast<uInt>(n))) << n;
    // Continued over two pieces.
    EXPECT_EQ(Adler32(Adler32(1, p, n / 3), p + n / 3, n - n / 3), adler32(1, p, static_cast<uInt>(n))) << n;
  }
}

TEST(Inflate, EveryLevelAndStrategyGivesTheText) {
  const size_t sizes[] = {0, 1, 257, 40000, 300000};
  for (size_t n : sizes) {
    const std::string text = MixedText(n, static_cast<uint32_t>(n));
    for (int level = 0; level <= 9; ++level) {
      for (int strategy : kStrategies) {
        const std::string packed = Deflate(text, level, strategy);
        std::string out;
        ASSERT_EQ(OurInflate(packed, out), 0) << n << " level " << level << " strategy " << strategy;
        ASSERT_TRUE(out == text) << n << " level " << level << " strategy " << strategy;
      }
    }
  }
}

TEST(Inflate, EveryCutIsJudgedAsZlibJudgesIt) {
  for (int strategy : kStrategies) {
    const std::string packed = Deflate(MixedText(3000, 11), 6, strategy) + "trailing";
    for (size_t cut = 0; cut <= packed.size(); ++cut)
      if (!SameAsZlib(packed.substr(0, cut), "cut at " + std::to_string(cut))) return;
  }
}

TEST(Inflate, DamagedStreamsAreJudgedAsZlibJudgesThem) {
  std::mt19937 rng(2026);
  for (int round = 0; round < 6000; ++round) {
    std::string packed = Deflate(MixedText(1 + rng() % 5000, rng()), static_cast<int>(rng() % 10),
                                 kStrategies[rng() % 5]);
    // One to three damaged bytes, or flipped bits, anywhere (the header too).
    for (int hits = 1 + static_cast<int>(rng() % 3); hits > 0; --hits) {
      const size_t at = rng() % packed.size();
      if (rng() % 2 != 0)
        packed[at] = static_cast<char>(rng());
      else
        packed[at] = static_cast<char>(packed[at] ^ (1 << (rng() % 8)));
    }
    if (rng() % 4 == 0) packed.resize(rng() % (packed.size() + 1));
    if (!SameAsZlib(packed, "round " + std::to_string(round))) return;
  }
}

TEST(Inflate, RandomBlocksAreJudgedAsZlibJudgesThem) {
  // A valid header followed by random bits: block types, code sets and codes
  // that no compressor writes.
  std::mt19937 rng(99);
  for (int round = 0; round < 20000; ++round) {
    std::string input = "\x78\x9C";
    // Mostly dynamic and fixed block headers, so that the codes get read.
    const char starts[] = {'\x04', '\x05', '\x02', '\x03', '\x00', '\x01', '\x06', '\x07'};
    input.push_back(static_cast<char>((rng() & 0xF8) | starts[rng() % 8]));
    for (size_t n = rng() % 200; n > 0; --n) input.push_back(static_cast<char>(rng()));
    if (!SameAsZlib(input, "round " + std::to_string(round))) return;
  }
}

TEST(Inflate, OddCodeSets) {
  // Hand-made dynamic blocks zlib treats specially. Bits are written LSB first.
  struct TBits {
    std::string bytes;
    int used = 0;
    void Put(unsigned value, int n) {
      for (int i = 0; i < n; ++i, ++used) {
        if (used % 8 == 0) bytes.push_back('\0');
        if ((value >> i) & 1) bytes.back() = static_cast<char>(bytes.back() | (1 << (used % 8)));
      }
    }
  };
  // Code-length code: only lengths 1 (symbol 1 ... ) given as code lengths of
  // the code-length alphabet, in the order 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1 15.
  auto Block = [](int nlen, int ndist, const std::vector<int>& codeLengthCode, const std::vector<unsigned>& symbols,
                  int codeBits, int tail) {
    TBits b;
    b.Put(0x9C78, 16);
    b.Put(1, 1);  // last
    b.Put(2, 2);  // dynamic
    b.Put(static_cast<unsigned>(nlen - 257), 5);
    b.Put(static_cast<unsigned>(ndist - 1), 5);
    b.Put(static_cast<unsigned>(codeLengthCode.size() - 4), 4);
    for (int l : codeLengthCode) b.Put(static_cast<unsigned>(l), 3);
    for (unsigned s : symbols) b.Put(s, codeBits);
    b.Put(0, tail);
    return b.bytes;
  };
  // Code-length alphabet with two one-bit codes: symbol 0 ("length 0") is
  // code 0 and symbol 1 ("length 1") is code 1 (the order puts 0 fourth, 1 eighteenth).
  std::vector<int> twoCodes(18, 0);
  twoCodes[3] = 1;
  twoCodes[17] = 1;
  std::vector<unsigned> onlyEndOfBlock(257 + 1, 0);
  onlyEndOfBlock[256] = 1;  // literal/length: one code (end-of-block); distances: none
  std::vector<unsigned> endAndOneDistance = onlyEndOfBlock;
  endAndOneDistance.back() = 1;
  const std::vector<int> none(4, 0);
  const std::string cases[] = {
      Block(257, 1, twoCodes, onlyEndOfBlock, 1, 8),         // no distance code at all
      Block(257, 1, twoCodes, endAndOneDistance, 1, 8),      // single one-bit codes
      Block(257, 1, twoCodes, endAndOneDistance, 1, 0),      // ... with the stream cut
      Block(257, 1, none, {}, 1, 300),                       // a code-length code without codes
      Block(257, 1, none, {}, 1, 200),                       // ... cut before its last length
      Block(257, 1, std::vector<int>(4, 1), {}, 1, 16),      // over-subscribed code-length code
      Block(257, 1, std::vector<int>{0, 0, 0, 1}, {}, 1, 16),  // incomplete code-length code
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SameAsZlib(cases[i], "case " + std::to_string(i));
    // The block's end-of-block code then a cut trailer, and garbage bits after it.
    for (int extra = 0; extra < 4; ++extra) SameAsZlib(cases[i] + std::string(extra, '\x01'), "case+ " + std::to_string(i));
  }
}
