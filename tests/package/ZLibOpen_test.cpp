#include "package/ZLibOpen.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "package/PackWrite.h"

namespace {

std::string RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

int CodeOf(const std::string& input, size_t hint = 0) {
  std::string out = "previous";
  try {
    DecompressBuffer(input, out, hint);
  } catch (const EZLibError& e) {
    EXPECT_STREQ(e.what(), EZLibError::MessageFor(e.Code()));
    EXPECT_TRUE(out.empty());  // nothing half-inflated is left behind
    return e.Code();
  }
  return 0;
}

}  // namespace

TEST(ZLibOpen, MessagesAreZlibTexts) {
  const struct {
    int code;
    const char* text;
  } table[] = {{-1, "file error"},          {-2, "stream error"}, {-3, "data error"},
               {-4, "insufficient memory"}, {-5, "buffer error"}, {-6, "incompatible version"},
               {2, "need dictionary"},      {1, "stream end"}};
  for (const auto& row : table) {
    EXPECT_STREQ(EZLibError(row.code).what(), row.text);
    EXPECT_EQ(EZLibError(row.code).Code(), row.code);
  }
}

TEST(ZLibOpen, RoundTripsAndReusesTheBuffer) {
  const std::string texts[] = {"", "x", RandomBytes(300, 1), RandomBytes(1 << 20, 2), std::string(5 << 20, 'z')};
  std::string out;
  for (const std::string& text : texts) {
    const std::string packed = PackWrite::Compress(text, 6);
    EXPECT_EQ(DecompressText(packed), text);
    DecompressBuffer(packed, out);
    EXPECT_EQ(out, text);
  }
  // The buffer kept its room from the largest entry.
  EXPECT_GE(out.capacity(), size_t{5} << 20);
}

TEST(ZLibOpen, OutputGrowsGeometrically) {
  // 32 MiB of zeros pack into about 32 KiB: growing by the packed size each
  // time would take a thousand rounds.
  const std::string packed = PackWrite::Compress(std::string(32 << 20, '\0'), 9);
  int rounds = 0;
  int64_t lastProduced = -1;
  std::string out;
  DecompressBuffer(packed, out, 0, [&](int64_t total, int64_t produced) {
    EXPECT_EQ(total, static_cast<int64_t>(packed.size()));
    EXPECT_GE(produced, lastProduced);
    lastProduced = produced;
    ++rounds;
  });
  EXPECT_EQ(out.size(), size_t{32} << 20);
  EXPECT_LT(rounds, 30);
}

TEST(ZLibOpen, DamagedStreamsRaiseWithoutLooping) {
  const std::string good = PackWrite::Compress(RandomBytes(4000, 3) + std::string(4000, 'a'), 6);
  std::string badHeader = good;
  badHeader[0] = 0x00;
  std::string badCheck = good;
  badCheck[badCheck.size() - 1] ^= 0x01;
  std::string badBody = good;
  for (size_t i = 10; i < 40; ++i) badBody[i] = '\xFF';
  // A zlib header that asks for a preset dictionary (FDICT), with a dictionary id.
  const std::string needDict("\x78\xBB\x00\x00\x00\x01\x03\x00", 8);
  const struct {
    std::string input;
    int code;
  } table[] = {
      {badHeader, -3},
      {badCheck, -3},
      {badBody, -3},
      {needDict, -3},
      {good.substr(0, good.size() / 2), -5},  // ends early
      {good.substr(0, 2), -5},
      {"", -5},
      {PackWrite::Compress("abc", 6).substr(2), -3},  // raw deflate, no zlib header
  };
  for (const auto& row : table) EXPECT_EQ(CodeOf(row.input), row.code);
}

TEST(ZLibOpen, UnallocatableSizeIsInsufficientMemory) {
  const std::string packed = PackWrite::Compress("abc", 6);
  std::string probe;
  EXPECT_EQ(CodeOf(packed, SIZE_MAX), -4);
  EXPECT_EQ(CodeOf(packed, probe.max_size()), -4);
}
