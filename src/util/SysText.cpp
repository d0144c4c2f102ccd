#include "util/SysText.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdint>

#include "util/DebugOut.h"
#include "util/Guarded.h"
#include "util/SysInfo.h"
#include "util/Utils.h"
#include "util/VxSUB.h"

namespace {

constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kSecondsPerDay = 86400;
// Days from 30 December 1899 to 1 January 1970.
constexpr int64_t kUnixEpochDays = 25569;
constexpr char kMonths[] = "||JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC|";

// Days since 1 January 1970 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, TDateTimeParts& parts) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  parts.year = static_cast<int>(yoe + era * 400 + (m <= 2));
  parts.month = static_cast<int>(m);
  parts.day = static_cast<int>(d);
}

double Clamp(double value) {
  if (std::isnan(value) || value < 0) return 0;
  return value > kDateTimeMax ? kDateTimeMax : value;
}

std::string Two(int value) { return ZeroPad(static_cast<int64_t>(value), 2); }

std::string TimeText(const TDateTimeParts& p, const std::string& separator) {
  return Two(p.hour) + separator + Two(p.minute) + separator + Two(p.second);
}

}  // namespace

double ResolveDateTime(double value) { return Clamp(value == kDateTimeNow ? NowDateTime() : value); }

TDateTimeParts DecodeDateTime(double value) {
  value = Clamp(value);
  int64_t days = static_cast<int64_t>(std::floor(value));
  int64_t ms = std::llround((value - static_cast<double>(days)) * static_cast<double>(kMsPerDay));
  if (ms >= kMsPerDay) {  // a fraction that rounds up to midnight
    ++days;
    ms = 0;
  }
  TDateTimeParts parts;
  CivilFromDays(days - kUnixEpochDays, parts);
  const int64_t seconds = ms / 1000;
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.second = static_cast<int>(seconds % 60);
  return parts;
}

double EncodeDateTime(const TDateTimeParts& p) {
  const int64_t days = DaysFromCivil(p.year, p.month, p.day) + kUnixEpochDays;
  const int64_t seconds = int64_t{p.hour} * 3600 + int64_t{p.minute} * 60 + p.second;
  return static_cast<double>(days) + static_cast<double>(seconds) / kSecondsPerDay;
}

double NowDateTime() { return EncodeDateTime(systext_platform::LocalNow()); }

std::string DateText(double value) {
  const TDateTimeParts p = DecodeDateTime(ResolveDateTime(value));
  return Two(p.day) + "-" + SUB::GetItem(kMonths, p.month) + "-" + ZeroPad(static_cast<int64_t>(p.year), 4);
}

std::string DateTimeText(const std::string& separator, double value) {
  value = ResolveDateTime(value);
  return DateText(value) + separator + TimeText(DecodeDateTime(value), ":");
}

std::string StampText(bool fourDigitYear, double value, const std::string& dateSeparator,
                      const std::string& timeSeparator) {
  const TDateTimeParts p = DecodeDateTime(ResolveDateTime(value));
  const std::string year = fourDigitYear ? ZeroPad(static_cast<int64_t>(p.year), 4) : Two(p.year % 100);
  return Two(p.day) + dateSeparator + Two(p.month) + dateSeparator + year + " " + TimeText(p, timeSeparator);
}

int64_t ClockSecondsOf(double dateTime) {
  return std::llround(Clamp(dateTime) * static_cast<double>(kSecondsPerDay));
}

int64_t ClockSecondsOf(const TDateTimeParts& p) {
  const int64_t days = DaysFromCivil(p.year, p.month, p.day) + kUnixEpochDays;
  return days * kSecondsPerDay + int64_t{p.hour} * 3600 + int64_t{p.minute} * 60 + p.second;
}

int64_t ClockSecondsNow() { return ClockSecondsOf(systext_platform::LocalNow()); }

double DateTimeOfClockSeconds(int64_t seconds) {
  return static_cast<double>(seconds) / static_cast<double>(kSecondsPerDay);
}

std::string NormalizeVersion(const std::string& text, int width, int parts) {
  std::string digits;
  for (char c : text) {
    if (c == ',') c = '.';
    if ((c >= '0' && c <= '9') || c == '.') digits += c;
  }
  const std::string list = "." + digits + ".";
  std::string result;
  for (int i = 0; i < parts; ++i) result += ZeroPad(SUB::GetItemInt(list, i, 0), width) + ".";
  const size_t first = result.find_first_not_of('.');
  if (first == std::string::npos) return "";
  return result.substr(first, result.find_last_not_of('.') - first + 1);
}

std::string ScrambleTextWithKey(const std::string& text, bool scramble, bool hex, int key) {
  if (text.empty()) return text;
  static const std::string marker = kScrambleMarker;
  std::string bytes = (!scramble && hex) ? HexToText(text) : text;
  const bool scrambled = bytes.compare(0, marker.size(), marker) == 0;
  if (scrambled == scramble) return text;
  int k = key;
  if (!scramble) {
    // Only the marker and at most the key character: nothing to restore.
    if (bytes.size() <= marker.size() + 1) return "";
    k = static_cast<unsigned char>(bytes[marker.size()]);
    bytes.erase(0, marker.size() + 1);
  }
  for (size_t i = 1; i <= bytes.size(); ++i) {
    const int mask = (static_cast<int>(i % 256) + k) & 0xFF;
    bytes[i - 1] = static_cast<char>(static_cast<unsigned char>(bytes[i - 1]) ^ mask);
    k = -k;
  }
  if (!scramble) return bytes;
  std::string result = marker + static_cast<char>(key) + bytes;
  return hex ? TextToHex(result) : result;
}

std::string ScrambleText(const std::string& text, bool scramble, bool hex) {
  return ScrambleTextWithKey(text, scramble, hex, static_cast<int>(RandomRange(33, 122)));
}

std::string TextToHex(const std::string& text, bool blanks, bool prefix) {
  static const char digits[] = "0123456789ABCDEF";
  std::string result;
  result.reserve(text.size() * (2 + (prefix ? 2 : 0) + (blanks ? 2 : 0)));
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (prefix) result += "0x";
    result += digits[byte >> 4];
    result += digits[byte & 15];
    if (blanks) {
      result += ' ';
      if ((i + 1) % 8 == 0) result += ' ';
    }
  }
  return result;
}

std::string HexToText(const std::string& text) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  std::string result;
  result.reserve(text.size() / 2);
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    const int high = nibble(text[i]);
    const int low = nibble(text[i + 1]);
    result += static_cast<char>(high < 0 || low < 0 ? 255 : high * 16 + low);
  }
  return result;
}

namespace {

// SplitMix64: a small generator whose every output depends on all seed bits.
uint64_t NextRandom(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

}  // namespace

int64_t RandomRange(int64_t low, int64_t high) {
  if (high <= low) return low;
  // Seeded from the clock on every call; the counter keeps calls within one
  // clock tick apart.
  static std::atomic<uint64_t> calls{0};
  const uint64_t ticks = ClockTicks();
  uint64_t counter = calls.fetch_add(1);
  uint64_t state = ticks ^ NextRandom(counter);
  const uint64_t span = static_cast<uint64_t>(high) - static_cast<uint64_t>(low);
  uint64_t draw = NextRandom(state);
  if (span != UINT64_MAX) {
    // Uniform over 0..span: draws in the incomplete last round of span + 1 are drawn again.
    const uint64_t count = span + 1;
    const uint64_t usable = UINT64_MAX - (UINT64_MAX % count + 1) % count;
    while (draw > usable) draw = NextRandom(state);
    draw %= count;
  }
  return static_cast<int64_t>(static_cast<uint64_t>(low) + draw);
}

std::string RandomRangeText(int64_t low, int64_t high) { return IntToText(RandomRange(low, high)); }

std::string TraceRecordText(const std::string& method, const std::string& remark, const std::string& errMsg) {
  static const std::string labels = "|Method = |Remark = |SX = |ErrMsg = |";
  const std::string values[] = {method, remark, "", errMsg};
  std::string record = " --- ";
  for (int i = 0; i < 4; ++i)
    if (!values[i].empty()) record += " [ " + SUB::GetItem(labels, i) + values[i] + " ] ";
  return record;
}

void TraceError(const std::string& method, const std::string& remark, const std::string& errMsg) {
  struct TArgs {
    const std::string &method, &remark, &errMsg;
  } args{method, remark, errMsg};
  std::string ignored;
  RunGuarded(
      [](void* context) {
        const TArgs& a = *static_cast<TArgs*>(context);
        DebugOut::Line(TraceRecordText(a.method, a.remark, a.errMsg));
      },
      &args, ignored);
}

void TraceError(const std::exception& error, const std::string& method, const std::string& remark) {
  TraceError(method, remark, error.what());
}
