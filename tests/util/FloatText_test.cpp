// The float conversions of our own give exactly what the library's
// std::to_chars (shortest, fixed) and std::from_chars give.
#include "util/FloatText.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdio>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

std::string LibraryFixed(double value) {
  char buffer[1200];
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::fixed);
  return ec == std::errc() ? std::string(buffer, ptr) : "?";
}

bool LibraryParse(const std::string& text, double& value) {
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  return ec == std::errc() && ptr == text.data() + text.size();
}

double FromBits(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

uint64_t BitsOf(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// Edges: zero, subnormals, powers of two (the narrower interval below them),
// powers of ten, the largest values, exact halves.
std::vector<double> EdgeValues() {
  std::vector<double> values = {0.0, 0.1, 0.2, 0.3, 0.5, 1.0, 2.675, 9.995, 1e20, 1e21, 1e22, 1e23, 123456789.0,
                                5e-324, 1e-323, 2.2250738585072009e-308, 2.2250738585072014e-308,
                                std::numeric_limits<double>::max(), 9007199254740993.0, 0.30000000000000004};
  for (int e = -1074; e <= 1023; e += 7) values.push_back(std::ldexp(1.0, e));
  for (int e = -1022; e <= 1023; e += 31) {
    values.push_back(std::nextafter(std::ldexp(1.0, e), 0.0));
    values.push_back(std::nextafter(std::ldexp(1.0, e), 1e308));
  }
  for (int p = -323; p <= 308; ++p) values.push_back(std::pow(10.0, p));
  for (uint64_t i = 1; i < 200; ++i) values.push_back(static_cast<double>(i) / 8);
  return values;
}

TEST(FloatText, ShortestFixedMatchesTheLibrary) {
  std::vector<double> values = EdgeValues();
  std::mt19937_64 rng(20260513);
  for (int i = 0; i < 20000; ++i) {
    const double v = FromBits(rng() & 0x7FFFFFFFFFFFFFFFull);
    if (std::isfinite(v)) values.push_back(v);
  }
  std::uniform_real_distribution<double> everyday(0, 100000);
  for (int i = 0; i < 5000; ++i) values.push_back(std::round(everyday(rng) * 1000) / 1000);
  for (double v : values) {
    ASSERT_EQ(FloatText::ShortestFixed(v), LibraryFixed(v)) << std::hexfloat << v;
    ASSERT_EQ(FloatText::ShortestFixed(-v), LibraryFixed(v));
  }
  EXPECT_EQ(FloatText::ShortestFixed(std::numeric_limits<double>::infinity()), "");
  EXPECT_EQ(FloatText::ShortestFixed(std::nan("")), "");
}

TEST(FloatText, ParseDecimalMatchesTheLibrary) {
  std::vector<std::string> texts = {"0", "-0", "1", "1.5", ".5", "5.", "-2.25", "1e3", "1E-3", "1e+3", "123456789012345678901234567890",
                                    "0.1", "2.2250738585072011e-308", "2.4703282292062327e-324", "2.4703282292062328e-324",
                                    "4.9406564584124654e-324", "1.7976931348623157e308", "1.7976931348623158e308",
                                    "1.7976931348623159e308", "1e309", "1e-400", "9007199254740993",
                                    "9007199254740992.5", "9007199254740993.0000000000000000000000000000001",
                                    "0.000000000000000000000000000000000000000000001e45", "1e-99999999999", "1e99999999999",
                                    "", "-", ".", "e5", "1e", "1e+", "1.5x", "--1", "+1", "1..2", "1e5.5", "1-"};
  std::mt19937_64 rng(77);
  for (int i = 0; i < 5000; ++i) {
    const double v = FromBits(rng() & 0x7FFFFFFFFFFFFFFFull);
    if (!std::isfinite(v)) continue;
    char buffer[64];
    auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::scientific, 17);
    texts.emplace_back(buffer, ptr);
    // Halfway-looking texts: fewer digits than needed, one digit changed.
    std::string shorter(buffer, ptr);
    const size_t e = shorter.find('e');
    if (e > 12) texts.push_back(shorter.substr(0, 12) + "5" + shorter.substr(e));
  }
  std::uniform_int_distribution<int> digit(0, 9), length(1, 40), power(-340, 320);
  for (int i = 0; i < 5000; ++i) {
    std::string t;
    const int n = length(rng);
    for (int k = 0; k < n; ++k) t += static_cast<char>('0' + digit(rng));
    if (n > 2 && digit(rng) < 5) t.insert(static_cast<size_t>(n / 2), ".");
    t += "e" + std::to_string(power(rng));
    texts.push_back(t);
  }
  texts.push_back("1." + std::string(1000, '0') + "1");  // digits beyond the kept ones still count
  texts.push_back("9007199254740993" + std::string(900, '0') + "e-900");
  for (const std::string& t : texts) {
    double ours = -7, library = -7;
    const bool ok = FloatText::ParseDecimal(t, ours);
    const bool libraryOk = LibraryParse(t, library);
    ASSERT_EQ(ok, libraryOk) << t;
    if (ok) ASSERT_EQ(BitsOf(ours), BitsOf(library)) << t;
    else ASSERT_EQ(ours, -7) << t;
  }
}

TEST(FloatText, LongTextsStayCheap) {
  double value = 0;
  EXPECT_TRUE(FloatText::ParseDecimal(std::string(200000, '1') + "e-199990", value));
  EXPECT_DOUBLE_EQ(value, 1111111111.1111112);
  EXPECT_FALSE(FloatText::ParseDecimal("1" + std::string(100000, '0'), value));
  EXPECT_TRUE(FloatText::ParseDecimal("0." + std::string(100000, '0') + "1e100001", value));
  EXPECT_EQ(value, 1.0);
}

}  // namespace

namespace {

std::string Printf(double value, int decimals) {
  char buffer[2000];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

TEST(FloatText, FixedTextIsWhatPrintfPrints) {
  std::vector<double> values = EdgeValues();
  for (double tie : {0.5, 1.5, 2.5, 0.125, 0.375, 0.0625, 2.675, 1.0005, 1e-7, 123.4565}) values.push_back(tie);
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> sizes(0, 5e9);
  for (int i = 0; i < 3000; ++i) values.push_back(sizes(rng) / 1048576.0);
  for (int i = 0; i < 3000; ++i) {
    const double v = FromBits(rng() & 0x7FFFFFFFFFFFFFFFull);
    if (std::isfinite(v)) values.push_back(v);
  }
  for (double v : values) {
    for (int decimals : {0, 1, 2, 3, 7}) {
      ASSERT_EQ(FloatText::FixedText(v, decimals), Printf(v, decimals)) << std::hexfloat << v << " " << decimals;
      ASSERT_EQ(FloatText::FixedText(-v, decimals), Printf(-v, decimals)) << std::hexfloat << v;
    }
  }
  EXPECT_EQ(FloatText::FixedText(std::numeric_limits<double>::infinity(), 2), "inf");
  EXPECT_EQ(FloatText::FixedText(-std::numeric_limits<double>::infinity(), 2), "-inf");
  EXPECT_EQ(FloatText::FixedText(std::nan(""), 2), "nan");
  EXPECT_EQ(FloatText::FixedText(2.5, -4), "2");
}

}  // namespace
