#include "net/HttpDecisions.h"

#include <algorithm>

#include "util/Utils.h"

namespace http {

std::string RequestUrl(const std::string& url) {
  if (StartsWith("http://", url, true) || StartsWith("https://", url, true)) return url;
  return "http://" + url;
}

std::string UrlDisplayName(const std::string& url) {
  const std::string path = ReplaceChar(url, '/', '\\');
  const size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int64_t ParseContentLength(const std::string& headerText) {
  const std::string text = Trim(headerText);
  // 18 digits always fit a signed 64-bit value.
  if (text.empty() || text.size() > 18) return kUnknownLength;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return kUnknownLength;
    value = value * 10 + (c - '0');
  }
  return value;
}

int64_t ChunkSize(int64_t size) {
  if (size < 0 || size > kLargeFileFrom) return kLargeChunk;
  return std::clamp<int64_t>(size / 10, 1, kSmallChunkMax);
}

int PumpWaitMs(int64_t size) { return size >= 0 && size <= kTenStepLimit ? 2 : 0; }

int64_t FirstReadSize(int64_t size) {
  const int64_t most = ChunkSize(size);
  return most < kLargeChunk ? most : kLargeStart;
}

int64_t NextReadSize(int64_t size, int64_t asked, int64_t got, int64_t elapsedMs) {
  const int64_t most = ChunkSize(size);
  if (most < kLargeChunk) return most;
  if (elapsedMs > kSlowReadMs) return std::max(asked / 2, kSmallChunkMax);
  if (got >= asked && elapsedMs < kFastReadMs) return std::min(asked * 2, most);
  return std::clamp(asked, kSmallChunkMax, most);
}

namespace {
int64_t CeilDiv(int64_t a, int64_t b) { return a <= 0 ? 0 : (a - 1) / b + 1; }
}  // namespace

TBarPlan PlanBar(int64_t size, int64_t chunk) {
  TBarPlan plan;
  plan.stepBytes = std::max<int64_t>(chunk, 1);
  if (size < 0) return plan;
  // Very large files take bigger steps so that the maximum stays 16-bit.
  if (CeilDiv(size, plan.stepBytes) + 1 > kBarMaximum) {
    plan.stepBytes = CeilDiv(size, kBarMaximum - 1);
  }
  plan.count = CeilDiv(size, plan.stepBytes) + 1;
  return plan;
}

int64_t BarSteps(const TBarPlan& plan, int64_t received) {
  return CeilDiv(received, std::max<int64_t>(plan.stepBytes, 1));
}

std::string TempFileName(const std::string& target, int64_t size, int32_t dosStamp) {
  const uint32_t sum = static_cast<uint32_t>(static_cast<uint64_t>(size) +
                                             static_cast<uint64_t>(static_cast<uint32_t>(dosStamp)));
  return target + "." + IntToText(sum);
}

bool IsTempLeftOver(const std::string& target, const std::string& path) {
  const std::string prefix = target + ".";
  if (target.empty() || !StartsWith(prefix, path, true)) return false;
  const std::string rest = path.substr(prefix.size());
  if (rest.empty() || rest.size() > 10) return false;  // 4294967295 has 10 digits
  return std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int32_t LastModifiedStamp(int year, int month, int day, int hour, int minute, int second) {
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (year < 1980 || year > 2107 || month < 1 || month > 12 || day < 1) return 0;
  if (day > kDays[month - 1] || (month == 2 && day == 29 && !leap)) return 0;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return 0;
  const uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
  const uint32_t time = static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
  return static_cast<int32_t>(date << 16 | time);
}

bool IsSuccessStatus(int status) { return status >= 200 && status <= 299; }

std::string InitErrorText() { return "Unable to initialize \"WinINet.dll\""; }

std::string OpenErrorText(const std::string& url) {
  return "Unable to open Internet Connection: " + url;
}

std::string NotFoundText(const std::string& url) { return url + " --- File Not Found !"; }

std::string StatusErrorText(const std::string& url, int status, const std::string& statusText) {
  std::string text = url + " --- HTTP error " + IntToText(status);
  const std::string reason = Trim(statusText);
  if (!reason.empty()) text += " (" + reason + ")";
  return text;
}

std::string ReadErrorText(const std::string& name, const std::string& reason) {
  std::string text = name + " --- Error downloading file";
  const std::string why = Trim(reason);
  if (!why.empty()) text += " (" + why + ")";
  return text;
}

std::string AbortedText() { return "Download Aborted"; }

std::string IncompleteText(const std::string& name, int64_t received, int64_t expected) {
  std::string text = name + " --- Incomplete download: " + IntToText(received) + " bytes received";
  if (expected < 0) return text + ", the server gave no length";
  return text + " of " + IntToText(expected) + " bytes expected";
}

std::string MemoryCapText(const std::string& name) {
  return name + " --- File too large: more than " + IntToText(kMemoryCap / 1048576) +
         " MB cannot be received into memory";
}

std::string WriteErrorText(const std::string& name, const std::string& path) {
  return name + " --- Unable to write " + path;
}

std::string ReplaceErrorText(const std::string& name, const std::string& target) {
  return name + " --- Unable to replace " + target;
}

std::string ResponseErrorText(const std::string& url, bool toFile, int status,
                              const std::string& statusText, int64_t size) {
  if (!IsSuccessStatus(status)) return StatusErrorText(url, status, statusText);
  if (size == 0) return NotFoundText(url);
  if (!toFile && size > kMemoryCap) return MemoryCapText(UrlDisplayName(url));
  return {};
}

std::string TransferErrorText(const TTransferEnd& end) {
  if (end.aborted) return AbortedText();
  if (end.readFailed) return ReadErrorText(end.name, end.readReason);
  if (end.writeFailed) return WriteErrorText(end.name, end.tempPath);
  if (end.overCap) return MemoryCapText(end.name);
  if (end.toFile) {
    if (end.expected < 0 || end.received != end.expected) {
      return IncompleteText(end.name, end.received, end.expected);
    }
    // The file holds other than what was read: a write went wrong.
    if (end.fileSize != end.expected) return IncompleteText(end.name, end.fileSize, end.expected);
    return {};
  }
  if (end.expected >= 0 && end.received != end.expected) {
    return IncompleteText(end.name, end.received, end.expected);
  }
  return {};
}

bool MayReplaceTarget(const TTransferEnd& end) {
  return end.toFile && IsSuccessStatus(end.status) && end.expected > 0 &&
         TransferErrorText(end).empty();
}

}  // namespace http
