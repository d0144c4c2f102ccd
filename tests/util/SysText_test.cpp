#include "util/SysText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <set>
#include <stdexcept>

namespace {

constexpr double kDec5th2026 = 46361;  // days since 30 December 1899

double At(double days, int h, int n, int s) { return days + (h * 3600 + n * 60 + s) / 86400.0; }

struct TDateCase {
  double value;
  const char* date;
  const char* dateTime;
  const char* stamp;
  const char* stamp4;
};

TEST(DateTexts, FormatsTheTableOfValues) {
  const TDateCase cases[] = {
      {kDec5th2026, "05-DEC-2026", "05-DEC-2026 00:00:00", "05/12/26 00:00:00", "05/12/2026 00:00:00"},
      {At(kDec5th2026, 13, 14, 15), "05-DEC-2026", "05-DEC-2026 13:14:15", "05/12/26 13:14:15",
       "05/12/2026 13:14:15"},
      {0, "30-DEC-1899", "30-DEC-1899 00:00:00", "30/12/99 00:00:00", "30/12/1899 00:00:00"},
      {61, "01-MAR-1900", "01-MAR-1900 00:00:00", "01/03/00 00:00:00", "01/03/1900 00:00:00"},
      {36585.75, "29-FEB-2000", "29-FEB-2000 18:00:00", "29/02/00 18:00:00", "29/02/2000 18:00:00"},
      {At(45292, 23, 59, 59), "01-JAN-2024", "01-JAN-2024 23:59:59", "01/01/24 23:59:59", "01/01/2024 23:59:59"},
  };
  for (const TDateCase& c : cases) {
    SCOPED_TRACE(c.dateTime);
    EXPECT_EQ(DateText(c.value), c.date);
    EXPECT_EQ(DateTimeText(" ", c.value), c.dateTime);
    EXPECT_EQ(StampText(false, c.value), c.stamp);
    EXPECT_EQ(StampText(true, c.value), c.stamp4);
  }
}

TEST(DateTexts, UsesTheGivenSeparators) {
  const double value = At(kDec5th2026, 7, 8, 9);
  EXPECT_EQ(DateTimeText(" @ ", value), "05-DEC-2026 @ 07:08:09");
  EXPECT_EQ(StampText(true, value, ".", "-"), "05.12.2026 07-08-09");
}

TEST(DateTexts, ClampsOutOfRangeValues) {
  EXPECT_EQ(DateText(-5), "30-DEC-1899");
  EXPECT_EQ(DateText(std::numeric_limits<double>::quiet_NaN()), "30-DEC-1899");
  EXPECT_EQ(DateTimeText(" ", 2e9), DateTimeText(" ", kDateTimeMax));
  EXPECT_EQ(DecodeDateTime(kDateTimeMax).year, 29279);
}

TEST(DateTexts, MinusOneMeansNow) {
  const std::string before = DateTimeText(" ", NowDateTime());
  const std::string now = DateTimeText(" ");
  const std::string after = DateTimeText(" ", NowDateTime());
  EXPECT_TRUE(now == before || now == after) << now;
}

TEST(DateTimeParts, RoundsToMillisecondsAndCarriesIntoTheNextDay) {
  const TDateTimeParts midnight = DecodeDateTime(1 - 1e-10);
  EXPECT_EQ(midnight.day, 31);
  EXPECT_EQ(midnight.hour, 0);
  EXPECT_EQ(midnight.second, 0);
  // 10:00:00 less a tenth of a millisecond is still 10:00:00.
  const TDateTimeParts ten = DecodeDateTime(kDec5th2026 + 10 / 24.0 - 0.0001 / 86400);
  EXPECT_EQ(ten.hour, 10);
  EXPECT_EQ(ten.minute, 0);
  // 10:00:00.900 is cut to 10:00:00, not rounded up.
  EXPECT_EQ(DecodeDateTime(kDec5th2026 + (36000.9 / 86400)).second, 0);
}

TEST(DateTimeParts, EncodeAndDecodeAreInverse) {
  const TDateTimeParts cases[] = {
      {1899, 12, 30, 0, 0, 0}, {1900, 2, 28, 1, 2, 3}, {2000, 2, 29, 12, 0, 0},
      {2026, 12, 5, 23, 59, 59}, {2100, 3, 1, 6, 30, 0}, {9999, 12, 31, 23, 59, 59},
  };
  for (const TDateTimeParts& p : cases) {
    const TDateTimeParts back = DecodeDateTime(EncodeDateTime(p));
    EXPECT_EQ(back.year, p.year);
    EXPECT_EQ(back.month, p.month);
    EXPECT_EQ(back.day, p.day);
    EXPECT_EQ(back.hour, p.hour);
    EXPECT_EQ(back.minute, p.minute);
    EXPECT_EQ(back.second, p.second);
  }
}

TEST(ClockSeconds, AreDaysTimes86400RoundedToTheNearestSecond) {
  EXPECT_EQ(ClockSecondsOf(kDec5th2026 + 0.5), 46361LL * 86400 + 43200);
  EXPECT_EQ(ClockSecondsOf(kDec5th2026 + 10.4 / 86400), 46361LL * 86400 + 10);
  EXPECT_EQ(ClockSecondsOf(kDec5th2026 + 10.6 / 86400), 46361LL * 86400 + 11);
  EXPECT_EQ(ClockSecondsOf(-3), 0);
  const TDateTimeParts p{2026, 12, 5, 13, 14, 15};
  EXPECT_EQ(ClockSecondsOf(p), ClockSecondsOf(EncodeDateTime(p)));
  EXPECT_DOUBLE_EQ(DateTimeOfClockSeconds(ClockSecondsOf(p)) * 86400, static_cast<double>(ClockSecondsOf(p)));
}

TEST(ClockSeconds, NowMatchesTheCurrentDateTime) {
  const int64_t now = ClockSecondsNow();
  EXPECT_LE(std::llabs(now - ClockSecondsOf(NowDateTime())), 2);
  EXPECT_GT(now, ClockSecondsOf(45292.0));  // later than 2024
}

TEST(NormalizeVersion, PadsAndCutsToTheRequestedParts) {
  struct {
    const char* text;
    int width, parts;
    const char* expected;
  } cases[] = {
      {"1.2.3.4", 2, 3, "01.02.03"}, {"12,0,0,5", 1, 4, "12.0.0.5"}, {"v1.2 beta", 1, 4, "1.2.0.0"},
      {"1..3", 1, 3, "1.0.3"},       {"", 1, 2, "0.0"},               {"1.2", 3, 0, ""},
      {"7", 3, 1, "007"},            {"1.2.3.4.5", 1, 4, "1.2.3.4"},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeVersion(c.text, c.width, c.parts), c.expected) << c.text;
}

// Every byte value, so that no mask can turn one byte into another.
std::string AllBytes() {
  std::string text;
  for (int i = 0; i < 256; ++i) text += static_cast<char>(i);
  return text + "Plain text, repeated: " + text;
}

TEST(ScrambleText, RoundTripsForEveryKey) {
  const std::string plain = AllBytes();
  for (int key = 33; key <= 122; ++key) {
    SCOPED_TRACE(key);
    const std::string scrambled = ScrambleTextWithKey(plain, true, false, key);
    ASSERT_EQ(scrambled.size(), 13 + plain.size());
    EXPECT_EQ(scrambled.substr(0, 12), kScrambleMarker);
    EXPECT_EQ(scrambled[12], static_cast<char>(key));
    EXPECT_EQ(ScrambleText(scrambled, false), plain);

    const std::string hex = ScrambleTextWithKey(plain, true, true, key);
    EXPECT_EQ(hex, TextToHex(scrambled));
    EXPECT_EQ(ScrambleText(hex, false, true), plain);
  }
}

TEST(ScrambleText, AlternatesPlusAndMinusKeyMasks) {
  const int k = 50;
  const std::string s = ScrambleTextWithKey(std::string(4, '\0'), true, false, k).substr(13);
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(static_cast<unsigned char>(s[0]), (1 + k) & 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(s[1]), (2 - k) & 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(s[2]), (3 + k) & 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(s[3]), (4 - k) & 0xFF);
}

TEST(ScrambleText, LeavesTextsInTheWrongStateUnchanged) {
  const std::string scrambled = ScrambleTextWithKey("secret", true, false, 77);
  EXPECT_EQ(ScrambleText(scrambled, true), scrambled);
  EXPECT_EQ(ScrambleText(scrambled, true, true), scrambled);
  EXPECT_EQ(ScrambleText("plain", false), "plain");
  EXPECT_EQ(ScrambleText(TextToHex("plain"), false, true), TextToHex("plain"));
  EXPECT_EQ(ScrambleText("", true), "");
  EXPECT_EQ(ScrambleText("", false, true), "");
}

TEST(ScrambleText, MarkerWithoutPayloadUnscramblesToEmpty) {
  EXPECT_EQ(ScrambleText(kScrambleMarker, false), "");
  EXPECT_EQ(ScrambleText(std::string(kScrambleMarker) + "A", false), "");
}

TEST(ScrambleText, RandomKeysStayInRange) {
  std::set<char> keys;
  for (int i = 0; i < 300; ++i) {
    const std::string s = ScrambleText("x", true);
    ASSERT_EQ(s.size(), 14u);
    EXPECT_GE(s[12], 33);
    EXPECT_LE(s[12], 122);
    keys.insert(s[12]);
    EXPECT_EQ(ScrambleText(s, false), "x");
  }
  EXPECT_GT(keys.size(), 10u);
}

TEST(HexTexts, WritesDigitsPrefixesAndBlanks) {
  EXPECT_EQ(TextToHex(std::string("AB\0\xff", 4)), "414200FF");
  EXPECT_EQ(TextToHex("AB", false, true), "0x410x42");
  EXPECT_EQ(TextToHex("123456789", true), "31 32 33 34 35 36 37 38  39 ");
  EXPECT_EQ(TextToHex("ab", true, true), "0x61 0x62 ");
  EXPECT_EQ(TextToHex(""), "");
}

TEST(HexTexts, ReadsPairsOfEitherCase) {
  EXPECT_EQ(HexToText("414a6B"), "AJk");
  EXPECT_EQ(HexToText("4G41"), "\xff" "A");
  EXPECT_EQ(HexToText(" 41"), "\xff");  // " 4" is no pair of digits; "1" is left alone
  EXPECT_EQ(HexToText("414"), "A");
  EXPECT_EQ(HexToText(TextToHex(AllBytes())), AllBytes());
}

TEST(RandomRange, StaysWithinBoundsAndReachesBoth) {
  bool low = false, high = false;
  for (int i = 0; i < 400; ++i) {
    const int64_t r = RandomRange(10, 12);
    ASSERT_GE(r, 10);
    ASSERT_LE(r, 12);
    low |= r == 10;
    high |= r == 12;
  }
  EXPECT_TRUE(low && high);
  EXPECT_EQ(RandomRange(5, 5), 5);
  EXPECT_EQ(RandomRange(9, 3), 9);
  const int64_t big = RandomRange(INT64_MIN, INT64_MAX);
  (void)big;  // the full range must not overflow
  const int64_t r = std::stoll(RandomRangeText(10000, 100000));
  EXPECT_GE(r, 10000);
  EXPECT_LE(r, 100000);
}

TEST(TraceRecord, WritesOnlyTheNonEmptyFields) {
  EXPECT_EQ(TraceRecordText("YieldX", "", "boom"), " ---  [ Method = YieldX ]  [ ErrMsg = boom ] ");
  EXPECT_EQ(TraceRecordText("Utils.GetExeVersion()", "file x", ""),
            " ---  [ Method = Utils.GetExeVersion() ]  [ Remark = file x ] ");
  EXPECT_EQ(TraceRecordText("", "", ""), " --- ");
}

TEST(TraceRecord, TraceErrorWritesOneLineToStandardOutput) {
  testing::internal::CaptureStdout();
  TraceError(std::runtime_error("bad thing"), "Utils.GetProductVersion()");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            " ---  [ Method = Utils.GetProductVersion() ]  [ ErrMsg = bad thing ] \n");
}

}  // namespace
