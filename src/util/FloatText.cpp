// Big-integer arithmetic on the exact values: a double is f x 2^e, a decimal
// text is M x 10^E, and both directions compare or divide such integers.
#include "util/FloatText.h"

#include <bit>
#include <cstddef>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace FloatText {

namespace {

// Unsigned integer of any size: little-endian 32-bit words, no zero word on top.
class TBig {
 public:
  TBig() = default;
  explicit TBig(uint64_t value) {
    for (; value != 0; value >>= 32) words_.push_back(static_cast<uint32_t>(value));
  }

  bool IsZero() const { return words_.empty(); }

  // this = this * factor + add
  void MulAdd(uint32_t factor, uint32_t add) {
    uint64_t carry = add;
    for (uint32_t& w : words_) {
      const uint64_t t = static_cast<uint64_t>(w) * factor + carry;
      w = static_cast<uint32_t>(t);
      carry = t >> 32;
    }
    if (carry != 0) words_.push_back(static_cast<uint32_t>(carry));
  }

  void MulPow10(int n) {
    static constexpr uint32_t kPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
    for (; n >= 9; n -= 9) MulAdd(1000000000, 0);
    if (n > 0) MulAdd(kPow10[n], 0);
  }

  void ShiftLeft(int bits) {
    if (IsZero() || bits <= 0) return;
    const int rest = bits % 32;
    if (rest != 0) {
      uint32_t carry = 0;
      for (uint32_t& w : words_) {
        const uint32_t next = w >> (32 - rest);
        w = (w << rest) | carry;
        carry = next;
      }
      if (carry != 0) words_.push_back(carry);
    }
    words_.insert(words_.begin(), static_cast<size_t>(bits / 32), 0u);
  }

  void ShiftRight(int bits) {
    if (bits <= 0) return;
    const size_t words = static_cast<size_t>(bits / 32);
    if (words >= words_.size()) {
      words_.clear();
      return;
    }
    words_.erase(words_.begin(), words_.begin() + static_cast<std::ptrdiff_t>(words));
    const int rest = bits % 32;
    if (rest != 0) {
      for (size_t i = 0; i < words_.size(); ++i) {
        const uint32_t high = i + 1 < words_.size() ? words_[i + 1] << (32 - rest) : 0;
        words_[i] = (words_[i] >> rest) | high;
      }
    }
    while (!words_.empty() && words_.back() == 0) words_.pop_back();
  }

  bool Bit(int bit) const { return ((Word(static_cast<size_t>(bit / 32)) >> (bit % 32)) & 1u) != 0; }

  void Add(const TBig& other) {
    if (words_.size() < other.words_.size()) words_.resize(other.words_.size(), 0);
    uint64_t carry = 0;
    for (size_t i = 0; i < words_.size(); ++i) {
      const uint64_t t = static_cast<uint64_t>(words_[i]) + other.Word(i) + carry;
      words_[i] = static_cast<uint32_t>(t);
      carry = t >> 32;
    }
    if (carry != 0) words_.push_back(1);
  }

  // this -= other, where other <= this.
  void Sub(const TBig& other) {
    uint64_t borrow = 0;
    for (size_t i = 0; i < words_.size(); ++i) {
      const uint64_t t = static_cast<uint64_t>(words_[i]) - other.Word(i) - borrow;
      words_[i] = static_cast<uint32_t>(t);
      borrow = (t >> 32) != 0 ? 1 : 0;
    }
    while (!words_.empty() && words_.back() == 0) words_.pop_back();
  }

  friend int Compare(const TBig& a, const TBig& b) {
    if (a.words_.size() != b.words_.size()) return a.words_.size() < b.words_.size() ? -1 : 1;
    for (size_t i = a.words_.size(); i-- > 0;) {
      if (a.words_[i] != b.words_[i]) return a.words_[i] < b.words_[i] ? -1 : 1;
    }
    return 0;
  }

  int BitLength() const {
    if (IsZero()) return 0;
    return static_cast<int>(words_.size() - 1) * 32 + static_cast<int>(std::bit_width(words_.back()));
  }

  // The 64 bits from bit `from` upwards.
  uint64_t Bits64(int from) const {
    uint64_t out = 0;
    for (int i = 0; i < 64; ++i) {
      const int bit = from + i;
      if ((Word(static_cast<size_t>(bit / 32)) >> (bit % 32)) & 1u) out |= uint64_t{1} << i;
    }
    return out;
  }

  // this /= divisor; returns the remainder.
  uint32_t DivSmall(uint32_t divisor) {
    uint64_t rest = 0;
    for (size_t i = words_.size(); i-- > 0;) {
      const uint64_t t = (rest << 32) | words_[i];
      words_[i] = static_cast<uint32_t>(t / divisor);
      rest = t % divisor;
    }
    while (!words_.empty() && words_.back() == 0) words_.pop_back();
    return static_cast<uint32_t>(rest);
  }

  std::string Decimal() const {
    if (IsZero()) return "0";
    TBig rest = *this;
    std::string reversed;
    while (!rest.IsZero()) reversed += static_cast<char>('0' + rest.DivSmall(10));
    return std::string(reversed.rbegin(), reversed.rend());
  }

  bool AnyBitBelow(int n) const {
    for (int bit = 0; bit < n; ++bit) {
      if ((Word(static_cast<size_t>(bit / 32)) >> (bit % 32)) & 1u) return true;
    }
    return false;
  }

 private:
  uint32_t Word(size_t i) const { return i < words_.size() ? words_[i] : 0; }
  std::vector<uint32_t> words_;
};

TBig Sum(TBig a, const TBig& b) {
  a.Add(b);
  return a;
}

// value = 0.digits x 10^exponent
struct TDigits {
  std::string digits;
  int exponent = 0;
};

// The shortest digits of a finite value > 0 inside its rounding interval
// (bounds included for an even significand), by digit generation on the
// scaled value r/s with the interval's half-widths mMinus/s and mPlus/s.
TDigits ShortestDigits(double value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  const uint64_t f = biased == 0 ? fraction : fraction | (uint64_t{1} << 52);
  const int e = biased == 0 ? -1074 : biased - 1075;
  // At a power of two the next lower double is half as far away.
  const bool closer = fraction == 0 && biased > 1;
  const bool inclusive = (f & 1) == 0;

  TBig r(f), s(1), mPlus(1), mMinus(1);
  if (e >= 0) {
    r.ShiftLeft(e + (closer ? 2 : 1));
    s = TBig(closer ? 4 : 2);
    mPlus.ShiftLeft(e + (closer ? 1 : 0));
    mMinus.ShiftLeft(e);
  } else {
    r.ShiftLeft(closer ? 2 : 1);
    s.ShiftLeft(-e + (closer ? 2 : 1));
    mPlus = TBig(closer ? 2 : 1);
  }

  auto highReaches = [&](const TBig& scale) {
    const int c = Compare(Sum(r, mPlus), scale);
    return inclusive ? c >= 0 : c > 0;
  };
  TDigits out;
  while (highReaches(s)) {
    s.MulAdd(10, 0);
    ++out.exponent;
  }
  for (;;) {
    TBig high = Sum(r, mPlus);
    high.MulAdd(10, 0);
    const int c = Compare(high, s);
    if (inclusive ? c >= 0 : c > 0) break;
    r.MulAdd(10, 0);
    mPlus.MulAdd(10, 0);
    mMinus.MulAdd(10, 0);
    --out.exponent;
  }

  for (;;) {
    r.MulAdd(10, 0);
    mPlus.MulAdd(10, 0);
    mMinus.MulAdd(10, 0);
    int digit = 0;
    while (Compare(r, s) >= 0) {
      r.Sub(s);
      ++digit;
    }
    const int low = Compare(r, mMinus);
    const int high = Compare(Sum(r, mPlus), s);
    const bool lowEnds = inclusive ? low <= 0 : low < 0;
    const bool highEnds = inclusive ? high >= 0 : high > 0;
    if (!lowEnds && !highEnds) {
      out.digits += static_cast<char>('0' + digit);
      continue;
    }
    if (lowEnds && highEnds) {
      // Both candidates lie inside: the nearer one, an even digit on a tie.
      const int half = Compare(Sum(r, r), s);
      if (half > 0 || (half == 0 && digit % 2 == 1)) ++digit;
    } else if (highEnds) {
      ++digit;
    }
    out.digits += static_cast<char>('0' + digit);
    break;
  }
  return out;
}

constexpr int kMaxKeptDigits = 800;  // more than the 768 that can decide a double's rounding

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Rounds q x 2^scale2 (sticky: the exact value is a little more) to a double.
bool RoundToDouble(uint64_t q, int scale2, bool sticky, bool negative, double& value) {
  const int e2 = static_cast<int>(std::bit_width(q)) - 1 + scale2;
  int quantum = e2 - 52 < -1074 ? -1074 : e2 - 52;
  const int shift = quantum - scale2;
  uint64_t m = 0;
  bool half = false;
  if (shift <= 0) {
    m = q << -shift;
  } else if (shift > 64) {
    sticky = true;
  } else {
    m = shift == 64 ? 0 : q >> shift;
    half = ((q >> (shift - 1)) & 1) != 0;
    sticky = sticky || (shift > 1 && (q & ((uint64_t{1} << (shift - 1)) - 1)) != 0);
  }
  if (half && (sticky || (m & 1) != 0)) ++m;
  if (m == (uint64_t{1} << 53)) {
    m >>= 1;
    ++quantum;
  }
  if (m == 0) return false;
  uint64_t bits = m;
  if (m >= (uint64_t{1} << 52)) {
    const int biased = quantum + 1075;
    if (biased >= 2047) return false;
    bits = (static_cast<uint64_t>(biased) << 52) | (m & ((uint64_t{1} << 52) - 1));
  }
  if (negative) bits |= uint64_t{1} << 63;
  std::memcpy(&value, &bits, sizeof value);
  return true;
}

}  // namespace

std::string ShortestFixed(double value) {
  if (!std::isfinite(value)) return "";
  value = std::fabs(value);
  if (value == 0) return "0";
  // From 2^53 on every double is an integer: its exact digits are as short
  // as the shortest digits padded with zeros, and nearer (the library's rule).
  if (value >= 9007199254740992.0) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    TBig exact((bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52));
    exact.ShiftLeft(static_cast<int>((bits >> 52) & 0x7FF) - 1075);
    return exact.Decimal();
  }
  const TDigits d = ShortestDigits(value);
  const int n = static_cast<int>(d.digits.size());
  const int k = d.exponent;
  if (k <= 0) return "0." + std::string(static_cast<size_t>(-k), '0') + d.digits;
  if (k < n) return d.digits.substr(0, static_cast<size_t>(k)) + "." + d.digits.substr(static_cast<size_t>(k));
  return d.digits + std::string(static_cast<size_t>(k - n), '0');
}

std::string FixedText(double value, int decimals) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  decimals = decimals < 0 ? 0 : decimals > 40 ? 40 : decimals;
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  const int e = biased == 0 ? -1074 : biased - 1075;
  // scaled = |value| x 10^decimals, rounded to an integer.
  TBig scaled(biased == 0 ? fraction : fraction | (uint64_t{1} << 52));
  scaled.MulPow10(decimals);
  if (e >= 0) {
    scaled.ShiftLeft(e);
  } else {
    const bool half = scaled.Bit(-e - 1);
    const bool sticky = scaled.AnyBitBelow(-e - 1);
    scaled.ShiftRight(-e);
    if (half && (sticky || scaled.Bit(0))) scaled.Add(TBig(1));
  }
  std::string digits = scaled.Decimal();
  const size_t places = static_cast<size_t>(decimals);
  if (digits.size() <= places) digits.insert(0, places + 1 - digits.size(), '0');
  if (places > 0) digits.insert(digits.size() - places, 1, '.');
  return (bits >> 63) != 0 ? "-" + digits : digits;
}

bool ParseDecimal(std::string_view text, double& value) {
  size_t i = 0;
  const size_t n = text.size();
  const bool negative = i < n && text[i] == '-';
  if (negative) ++i;

  // value = mantissa x 10^exponent; digits beyond kMaxKeptDigits only
  // leave a trace (a final 1) when one of them is not zero.
  TBig mantissa;
  int kept = 0;
  bool anyDigit = false, droppedNonZero = false;
  int64_t exponent = 0;
  auto take = [&](char c, bool fraction) {
    anyDigit = true;
    const uint32_t digit = static_cast<uint32_t>(c - '0');
    if (mantissa.IsZero() && digit == 0) {
      if (fraction) --exponent;
      return;
    }
    if (kept < kMaxKeptDigits) {
      mantissa.MulAdd(10, digit);
      ++kept;
      if (fraction) --exponent;
    } else {
      droppedNonZero = droppedNonZero || digit != 0;
      if (!fraction) ++exponent;
    }
  };
  for (; i < n && IsDigit(text[i]); ++i) take(text[i], false);
  if (i < n && text[i] == '.') {
    for (++i; i < n && IsDigit(text[i]); ++i) take(text[i], true);
  }
  if (!anyDigit) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    const bool minus = j < n && text[j] == '-';
    if (j < n && (text[j] == '-' || text[j] == '+')) ++j;
    if (j < n && IsDigit(text[j])) {
      int64_t power = 0;
      for (; j < n && IsDigit(text[j]); ++j) power = power < 100000000 ? power * 10 + (text[j] - '0') : power;
      exponent += minus ? -power : power;
      i = j;
    }
  }
  if (i != n) return false;
  if (mantissa.IsZero()) {
    value = negative ? -0.0 : 0.0;
    return true;
  }
  if (droppedNonZero) {
    mantissa.MulAdd(10, 1);
    ++kept;
    --exponent;
  }
  // Far outside a double's range either way: 10^310 overflows, 10^-330 rounds to zero.
  const int64_t magnitude = kept + exponent;
  if (magnitude > 310 || magnitude < -330) return false;

  uint64_t q = 0;
  int scale2 = 0;
  bool sticky = false;
  if (exponent >= 0) {
    mantissa.MulPow10(static_cast<int>(exponent));
    const int length = mantissa.BitLength();
    scale2 = length > 64 ? length - 64 : 0;
    q = mantissa.Bits64(scale2);
    sticky = mantissa.AnyBitBelow(scale2);
  } else {
    // q = floor(mantissa x 2^shift / 10^-exponent), 63 or 64 bits long.
    TBig divisor(1);
    divisor.MulPow10(static_cast<int>(-exponent));
    const int shift = 63 + divisor.BitLength() - mantissa.BitLength();
    if (shift >= 0) {
      mantissa.ShiftLeft(shift);
    } else {
      divisor.ShiftLeft(-shift);
    }
    for (int bit = 63; bit >= 0; --bit) {
      TBig part = divisor;
      part.ShiftLeft(bit);
      if (Compare(mantissa, part) >= 0) {
        mantissa.Sub(part);
        q |= uint64_t{1} << bit;
      }
    }
    sticky = !mantissa.IsZero();
    scale2 = -shift;
  }
  return RoundToDouble(q, scale2, sticky, negative, value);
}

}  // namespace FloatText
