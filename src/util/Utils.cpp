#include "util/Utils.h"

#include <algorithm>
#include <cmath>

#include "util/FloatText.h"

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

// 0-based position of sub in text at or after from; npos when absent or empty.
size_t Find(const std::string& sub, const std::string& text, size_t from, bool ignoreCase) {
  if (sub.empty() || from > text.size()) return std::string::npos;
  if (!ignoreCase) return text.find(sub, from);
  return UpperCase(text).find(UpperCase(sub), from);
}

size_t ToPos(size_t index) { return index == std::string::npos ? 0 : index + 1; }

bool ParseDigits(const std::string& text, size_t i, unsigned base, uint64_t limit, uint64_t& out) {
  if (i >= text.size()) return false;
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    if (value > (limit - digit) / base) return false;
    value = value * base + digit;
  }
  out = value;
  return true;
}

std::string Replace(const std::string& text, const std::string& find,
                    const std::string& replacement, bool trim, int first, int last,
                    bool ignoreCase) {
  if (text.empty() || find.empty()) return text;
  if (!ignoreCase && text.find(find) == std::string::npos) return text;
  if (last <= 0) last = first;
  std::string upper;
  if (ignoreCase) upper = UpperCase(text);
  const std::string& hay = ignoreCase ? upper : text;
  const std::string needle = ignoreCase ? UpperCase(find) : find;
  std::string out;
  out.reserve(text.size() + 512);
  size_t from = 0;
  int number = 0;
  for (size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, from)) {
    ++number;
    if (number >= first && (last <= 0 || number <= last)) {
      out.append(text, from, p - from);
      out += replacement;
      from = p + find.size();
    } else {
      out.append(text, from, p + 1 - from);
      from = p + 1;
    }
  }
  out.append(text, from, std::string::npos);
  return trim ? Trim(out) : out;
}

}  // namespace

// --- Basics ---------------------------------------------------------------

std::string Trim(const std::string& text) { return TrimLeft(TrimRight(text)); }

std::string TrimLeft(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return text.substr(i);
}

std::string TrimRight(const std::string& text) {
  size_t n = text.size();
  while (n > 0 && IsBlank(text[n - 1])) --n;
  return text.substr(0, n);
}

char UpChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperCase(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = UpChar(c);
  return out;
}

std::string LowerCase(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && UpperCase(a) == UpperCase(b);
}

bool SameTextTrim(const std::string& a, const std::string& b) { return SameText(Trim(a), Trim(b)); }

std::string IntToText(int64_t value) { return std::to_string(value); }

int64_t TextToInt64(const std::string& text, int64_t def) {
  const std::string t = Trim(text);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  unsigned base = 10;
  if (i < t.size() && t[i] == '$') {
    base = 16;
    i += 1;
  } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  uint64_t magnitude = 0;
  if (!ParseDigits(t, i, base, limit, magnitude)) return def;
  if (!negative) return static_cast<int64_t>(magnitude);
  return magnitude == (uint64_t{1} << 63) ? INT64_MIN : -static_cast<int64_t>(magnitude);
}

// --- Parts of a text ------------------------------------------------------

std::string TextBefore(const std::string& text, const std::string& separator,
                       const std::string& def, bool trim) {
  size_t p = Find(separator, text, 0, false);
  if (p == std::string::npos) return def;
  std::string out = text.substr(0, p);
  return trim ? Trim(out) : out;
}

std::string TextAfter(const std::string& text, const std::string& separator,
                      const std::string& def, bool trim, bool ignoreCase) {
  size_t p = Find(separator, text, 0, ignoreCase);
  if (p == std::string::npos) return def;
  std::string out = text.substr(p + separator.size());
  return trim ? Trim(out) : out;
}

// --- Replacing ------------------------------------------------------------

std::string ReplaceText(const std::string& text, const std::string& find,
                        const std::string& replacement, bool trim, int first, int last) {
  return Replace(text, find, replacement, trim, first, last, false);
}

std::string ReplaceTextCI(const std::string& text, const std::string& find,
                          const std::string& replacement, bool trim, int first, int last) {
  return Replace(text, find, replacement, trim, first, last, true);
}

std::string ReplaceRepeated(const std::string& text, const std::string& find,
                            const std::string& replacement, bool trim) {
  if (find.empty() || replacement.find(find) != std::string::npos) return text;
  // One pass: `out` is the finished front of the text and never holds the
  // find text, so the first occurrence of the whole text is the first one
  // that completes at the end of `out`. Its replacement goes back in front
  // of the unread rest (`pending`, kept reversed), where it may join what
  // follows or what precedes it, as a fresh search from the start would find.
  std::string out;
  out.reserve(text.size());
  std::string pending;
  size_t next = 0;
  while (next < text.size() || !pending.empty()) {
    if (pending.empty()) {
      out.push_back(text[next++]);
    } else {
      out.push_back(pending.back());
      pending.pop_back();
    }
    if (out.size() >= find.size() &&
        out.compare(out.size() - find.size(), find.size(), find) == 0) {
      out.resize(out.size() - find.size());
      pending.append(replacement.rbegin(), replacement.rend());
    }
  }
  return trim ? Trim(out) : out;
}

std::string ReplaceChar(const std::string& text, char oldChar, char newChar) {
  std::string out = text;
  std::replace(out.begin(), out.end(), oldChar, newChar);
  return out;
}

// --- Searching ------------------------------------------------------------

size_t PosCI(const std::string& sub, const std::string& text) {
  return ToPos(Find(sub, text, 0, true));
}

size_t PosFrom(const std::string& sub, const std::string& text, int64_t start, bool ignoreCase) {
  if (start < 1 || static_cast<uint64_t>(start) > text.size()) return 0;
  return ToPos(Find(sub, text, static_cast<size_t>(start - 1), ignoreCase));
}

size_t LastPos(const std::string& sub, const std::string& text) {
  if (sub.empty()) return 0;
  return ToPos(text.rfind(sub));
}

size_t LastPosCI(const std::string& sub, const std::string& text) {
  return LastPos(UpperCase(sub), UpperCase(text));
}

bool StartsWith(const std::string& part, const std::string& text, bool ignoreCase) {
  if (part.size() > text.size()) return false;
  std::string head = text.substr(0, part.size());
  return ignoreCase ? SameText(head, part) : head == part;
}

bool EndsWith(const std::string& part, const std::string& text, bool ignoreCase) {
  if (part.size() > text.size()) return false;
  std::string tail = text.substr(text.size() - part.size());
  return ignoreCase ? SameText(tail, part) : tail == part;
}

// --- Quotes and enclosing characters --------------------------------------

std::string StripChar(const std::string& text, char c, bool always) {
  if (text.size() == 1 && text[0] == c) return "";
  if (text.size() < 2 || !(always || (text.front() == c && text.back() == c))) return text;
  size_t begin = text.find_first_not_of(c);
  if (begin == std::string::npos) return "";
  size_t end = text.find_last_not_of(c);
  return text.substr(begin, end + 1 - begin);
}

std::string Unquote(const std::string& text, bool always) { return StripChar(Trim(text), '"', always); }

std::string QuoteText(const std::string& text) { return "\"" + Unquote(text, true) + "\""; }

std::string EncloseIn(const std::string& text, char c, bool strip) {
  const std::string inner = strip ? StripChar(text, c, true) : text;
  return c + inner + c;
}

// --- Small transformations ------------------------------------------------

std::string KeepChars(const std::string& text, const std::string& keep, const std::string& drop) {
  std::string out;
  for (char c : text) {
    bool kept = keep.empty() || keep.find(c) != std::string::npos;
    if (kept && drop.find(c) == std::string::npos) out += c;
  }
  return out;
}

std::string ReverseText(const std::string& text) { return std::string(text.rbegin(), text.rend()); }

std::string IfThenStr(bool condition, const std::string& a, const std::string& b) {
  return condition ? a : b;
}

std::string BoolToText(bool flag) { return flag ? "TRUE" : "FALSE"; }

char BoolToDigit(bool flag) { return flag ? '1' : '0'; }

std::string PadLeft(const std::string& text, int width, char c) {
  std::string out = text;
  if (width < -2) {
    width = -width;
    if (out.size() > static_cast<size_t>(width)) out = out.substr(0, width - 1) + ".";
  }
  if (width > 0 && out.size() < static_cast<size_t>(width)) out.insert(0, width - out.size(), c);
  return out;
}

std::string ZeroPad(const std::string& text, int width) { return PadLeft(text, width, '0'); }

std::string ZeroPad(int64_t value, int width) {
  if (value >= 0) return ZeroPad(IntToText(value), width);
  std::string digits = IntToText(value).substr(1);
  return "-" + ZeroPad(digits, width - 1);
}

// --- Numbers --------------------------------------------------------------

std::string FormatThousands(const std::string& numberText) {
  size_t end = numberText.find('.');
  if (end == std::string::npos) end = numberText.size();
  size_t firstDigit = 0;
  while (firstDigit < end && !(numberText[firstDigit] >= '0' && numberText[firstDigit] <= '9')) {
    ++firstDigit;
  }
  std::string out = numberText;
  for (size_t p = end; p > firstDigit + 3; p -= 3) out.insert(p - 3, 1, ',');
  return out;
}

std::string FormatScaled(bool thousands, int decimals, int64_t value, int64_t unit) {
  if (unit <= 0) unit = 1;
  std::string out;
  if (decimals < 1) {
    // Rounded up: any part of a unit counts as a whole one.
    out = IntToText(value > 0 ? (value - 1) / unit + 1 : value / unit);
  } else {
    if (decimals > 4) decimals = 1;
    out = FloatToText(static_cast<double>(value) / static_cast<double>(unit), decimals);
  }
  return thousands ? FormatThousands(out) : out;
}

std::string FormatKB(bool thousands, int decimals, int64_t value) {
  return FormatScaled(thousands, decimals, value, 1024);
}

std::string FormatMB(bool thousands, int decimals, int64_t value) {
  return FormatScaled(thousands, decimals, value, 1048576);
}

double TextToFloat(const std::string& text, double def) {
  std::string t = Trim(text);
  if (t.find('.') == std::string::npos) {
    size_t comma = t.find(',');
    if (comma != std::string::npos) t[comma] = '.';
  }
  t.erase(std::remove(t.begin(), t.end(), ','), t.end());
  // Plain decimal notation only: no "inf", "nan" or hex floats.
  if (t.empty() || t.find_first_not_of("0123456789.eE+-") != std::string::npos) return def;
  // The reader takes a "-" but not a "+".
  const size_t start = (t[0] == '+') ? 1 : 0;
  if (start == 1 && t.size() > 1 && t[1] == '-') return def;
  double value = 0;
  if (!FloatText::ParseDecimal(std::string_view(t).substr(start), value)) return def;
  return value;
}

namespace {

// Fixed-point text of value with the given decimals, rounding half away from
// zero on the shortest decimal form that reads back as value (so 2.675 gives
// 2.68, as it reads). Never locale-dependent.
std::string FixedDecimal(double value, int decimals) {
  const std::string plain = FloatText::ShortestFixed(value);
  if (plain.empty()) return "0";
  const size_t dot = plain.find('.');
  std::string digits = plain.substr(0, dot);
  std::string fraction = dot == std::string::npos ? std::string() : plain.substr(dot + 1);
  const size_t places = static_cast<size_t>(decimals);
  const bool roundUp = fraction.size() > places && fraction[places] >= '5';
  fraction.resize(places, '0');
  digits += fraction;
  if (roundUp) {
    size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i == 0) {
      digits.insert(0, 1, '1');
    } else {
      ++digits[i - 1];
    }
  }
  std::string out = digits.substr(0, digits.size() - places);
  if (places > 0) out += "." + digits.substr(digits.size() - places);
  // No "-0.00": a value that rounds to zero has no sign.
  if (value < 0 && out.find_first_not_of("0.") != std::string::npos) out.insert(0, 1, '-');
  return out;
}

}  // namespace

std::string FloatToText(double value, int decimals, bool trim) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  std::string out = FixedDecimal(value, std::clamp(decimals, 0, 20));
  if (trim) out = TrimNumberText(out);
  return out == "." ? "0" : out;
}

std::string TrimNumberText(const std::string& text) {
  if (text.find('.') == std::string::npos) return text;
  std::string out = StripChar(text, '0', true);
  size_t dot = out.find('.');
  if (dot != std::string::npos && dot > 0) out = StripChar(out, '.', true);
  return out;
}
