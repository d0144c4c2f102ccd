// The streams of the builder (libdeflate) against zlib, the reference: zlib
// reads them back, they are no larger than zlib's own at the same level, and
// what zlib writes, the unpacker's inflater reads back byte for byte.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>

#include "package/PackWrite.h"
#include "package/ZLibOpen.h"

namespace {

// Lines of words and numbers, like the text files of a setup.
std::string TextLike(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"setup", "file",  "the",   "package", "of",    "value", "system",
                                       "data",  "and",   "entry", "window",  "under", "for",   "update"};
  std::mt19937 rng(seed);
  std::string text;
  while (text.size() < size) {
    for (int i = 0, n = 4 + static_cast<int>(rng() % 12); i < n; ++i) text += std::string(kWords[rng() % 14]) + ' ';
    text += std::to_string(rng() % 100000) + '\n';
  }
  text.resize(size);
  return text;
}

std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(rng());
  return bytes;
}

struct TSample {
  const char* name;
  std::string bytes;
};

const std::vector<TSample>& Corpus() {
  static const std::vector<TSample> corpus = {
      {"empty", ""},
      {"one byte", "x"},
      {"text", TextLike(600000, 1)},
      {"random", RandomBytes(300000, 2)},
      {"text and random in turn", TextLike(70000, 3) + RandomBytes(70000, 4) + TextLike(70000, 5)},
      {"a long run", std::string(1 << 20, 'a')},
      {"a short period", [] {
         std::string s;
         for (int i = 0; i < 40000; ++i) s += "abcdefg"[i % 7];
         return s;
       }()},
  };
  return corpus;
}

std::string ZlibCompress(const std::string& text, int level) {
  uLongf size = compressBound(static_cast<uLong>(text.size()));
  std::string out(size, '\0');
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()),
                      static_cast<uLong>(text.size()), level),
            Z_OK);
  out.resize(size);
  return out;
}

// zlib's uncompress: the bytes, or a marker when zlib refuses the stream.
std::string ZlibUncompress(const std::string& packed, size_t size) {
  std::string out(size + 1, '\0');
  uLongf produced = static_cast<uLongf>(out.size());
  const int rc = uncompress(reinterpret_cast<Bytef*>(out.data()), &produced,
                            reinterpret_cast<const Bytef*>(packed.data()), static_cast<uLong>(packed.size()));
  if (rc != Z_OK) return "zlib refused the stream: " + std::to_string(rc);
  out.resize(produced);
  return out;
}

}  // namespace

TEST(DeflateReference, ZlibReadsTheBuildersStreamsAtEveryLevel) {
  for (const TSample& sample : Corpus())
    for (int level = 0; level <= 9; ++level) {
      const std::string packed = PackWrite::Compress(sample.bytes, level);
      ASSERT_FALSE(packed.empty()) << sample.name << ", level " << level;
      EXPECT_TRUE(ZlibUncompress(packed, sample.bytes.size()) == sample.bytes) << sample.name << ", level " << level;
    }
}

// What counts is the size of a whole package: the corpus as one sum, at each
// level (a single sample may come out a few bytes larger).
TEST(DeflateReference, NoLargerThanZlibAtTheSameLevel) {
  for (int level = 1; level <= 9; ++level) {
    size_t ours = 0, zlibs = 0;
    for (const TSample& sample : Corpus()) {
      ours += PackWrite::Compress(sample.bytes, level).size();
      zlibs += ZlibCompress(sample.bytes, level).size();
    }
    EXPECT_LE(ours, zlibs) << "level " << level;
  }
}

TEST(DeflateReference, TheInflaterReadsZlibsStreamsAsZlibDoes) {
  std::string room;  // reused, as the unpacker reuses its buffers
  for (const TSample& sample : Corpus())
    for (int level : {0, 1, 6, 9}) {
      const std::string packed = ZlibCompress(sample.bytes, level);
      size_t produced = 0;
      ASSERT_EQ(InflateIntoRoom(packed, room, produced), 0) << sample.name << ", level " << level;
      EXPECT_TRUE(std::string_view(room.data(), produced) == ZlibUncompress(packed, sample.bytes.size()))
          << sample.name << ", level " << level;
    }
}
