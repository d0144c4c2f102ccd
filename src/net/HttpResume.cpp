#include "net/HttpResume.h"

#include "util/Utils.h"

namespace http {

std::string RangeHeader(int64_t from) {
  if (from <= 0) return {};
  return "Range: bytes=" + IntToText(from) + "-\r\n";
}

namespace {

// A plain decimal number of 1 to 18 digits at text[pos..]; pos moves past it.
bool ReadNumber(const std::string& text, size_t& pos, int64_t& value) {
  const size_t start = pos;
  value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    if (pos - start == 18) return false;
    value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  return pos > start;
}

bool Expect(const std::string& text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

}  // namespace

TContentRange ParseContentRange(const std::string& headerText) {
  TContentRange range;
  const std::string text = Trim(headerText);
  if (!StartsWith("bytes ", text, true)) return range;
  size_t pos = 6;
  int64_t first = 0, last = 0, total = 0;
  if (!ReadNumber(text, pos, first) || !Expect(text, pos, '-') || !ReadNumber(text, pos, last) ||
      !Expect(text, pos, '/') || !ReadNumber(text, pos, total) || pos != text.size()) {
    return range;
  }
  if (first > last || last >= total) return range;
  range.valid = true;
  range.first = first;
  range.last = last;
  range.total = total;
  return range;
}

bool ContinuesPartial(const TAnswer& answer, const TPartial& partial) {
  if (answer.status != kPartialStatus || partial.held <= 0 || answer.stamp == 0) return false;
  const TContentRange range = ParseContentRange(answer.contentRange);
  if (!range.valid || range.first != partial.held || range.last != range.total - 1) return false;
  if (answer.length >= 0 && answer.length != range.total - range.first) return false;
  if (partial.total >= 0 && (range.total != partial.total || answer.stamp != partial.stamp)) return false;
  // File names compare without regard to case, as the file system does.
  return SameText(TempFileName(partial.target, range.total, answer.stamp), partial.tempPath);
}

std::string AnswerErrorText(const std::string& url, bool toFile, const TAnswer& answer) {
  if (answer.status == kPartialStatus) {
    const TContentRange range = ParseContentRange(answer.contentRange);
    const bool whole = range.valid && range.first == 0 && range.last == range.total - 1 &&
                       (answer.length < 0 || answer.length == range.total);
    if (!whole) return StatusErrorText(url, answer.status, answer.statusText);
  }
  return ResponseErrorText(url, toFile, answer.status, answer.statusText, answer.length);
}

bool ShouldRetry(const TTransferEnd& end, int failures) {
  if (failures >= kRetries || end.aborted || end.cancelled || end.writeFailed || end.overCap) return false;
  if (end.readFailed) return true;
  return end.expected >= 0 && end.received < end.expected;
}

}  // namespace http
