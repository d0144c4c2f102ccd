// The decisions of the HTTP downloader, apart from the calls that carry them
// out: the URL as requested, read and bar sizes, the temporary file, whether a
// finished transfer may replace its target, and every error text.
#pragma once

#include <cstdint>
#include <string>

namespace http {

constexpr int64_t kUnknownLength = -1;
// Reads of files up to this size follow the ten-step rule (at most 8192
// bytes); larger or unknown sizes read kLargeChunk at a time.
constexpr int64_t kLargeFileFrom = 10485760;
constexpr int64_t kSmallChunkMax = 8192;
constexpr int64_t kLargeChunk = 1048576;
// Files up to this size move the bar in about ten steps with a 2 ms pumping
// wait before each read; beyond it only pending messages are dispatched.
constexpr int64_t kTenStepLimit = 10 * kSmallChunkMax;
// The progress bar takes its maximum as a 16-bit value.
constexpr int64_t kBarMaximum = 65535;
// A body received into memory (INFO and INFORM files) never grows beyond this.
constexpr int64_t kMemoryCap = 8 * 1048576;

// The URL handed to the Internet library: left alone when it starts with
// "http://" or "https://" (any case), else "http://" + url.
std::string RequestUrl(const std::string& url);
// The name part of the URL ("/" read as "\"), shown as the bar's title and in
// error texts.
std::string UrlDisplayName(const std::string& url);
// Content-Length header text as a 64-bit size; kUnknownLength when empty or
// not a plain decimal number.
int64_t ParseContentLength(const std::string& headerText);

// Bytes asked for per read: a tenth of the size within 1..8192 up to
// kLargeFileFrom, kLargeChunk above it or when the size is unknown.
int64_t ChunkSize(int64_t size);
// Pumping wait before each read in ms (0 = dispatch pending messages only).
int PumpWaitMs(int64_t size);

// Large and unknown sizes: a read blocks until its buffer is full or the body
// ends, so the size asked for follows the line's speed. It starts at
// kLargeStart, doubles up to ChunkSize after a full read that took less than
// kFastReadMs and halves down to kSmallChunkMax after one that took more than
// kSlowReadMs; the window is pumped between reads at least that often on a
// slow line. Sizes under kLargeFileFrom always ask for ChunkSize.
constexpr int64_t kLargeStart = 65536;
constexpr int64_t kFastReadMs = 50;
constexpr int64_t kSlowReadMs = 200;
int64_t FirstReadSize(int64_t size);
int64_t NextReadSize(int64_t size, int64_t asked, int64_t got, int64_t elapsedMs);

// The main bar: started at position 1 with `count` steps, one step per
// `stepBytes` received (rounded up). An unknown size gives count 0: the bar
// stays empty and only the activity bar moves.
struct TBarPlan {
  int64_t stepBytes = 1;
  int64_t count = 0;
};
TBarPlan PlanBar(int64_t size, int64_t chunk);
// Bar steps that `received` bytes have completed (rounded up).
int64_t BarSteps(const TBarPlan& plan, int64_t received);

// Temporary file of a file target: target + "." + the decimal text of
// (size + stamp) taken as an unsigned 32-bit sum.
std::string TempFileName(const std::string& target, int64_t size, int32_t dosStamp);
// True for target + "." + 1 to 10 digits (any case): a temporary file of an
// earlier attempt. Other files beside the target (target.config, ...) are not.
bool IsTempLeftOver(const std::string& target, const std::string& path);

// The Last-Modified header's fields as a packed DOS date-time, 0 when they
// are no valid date within the DOS range (1980..2107).
int32_t LastModifiedStamp(int year, int month, int day, int hour, int minute, int second);

bool IsSuccessStatus(int status);

// Error texts.
std::string InitErrorText();
std::string OpenErrorText(const std::string& url);
std::string NotFoundText(const std::string& url);
std::string StatusErrorText(const std::string& url, int status, const std::string& statusText);
std::string ReadErrorText(const std::string& name, const std::string& reason);
std::string AbortedText();
std::string IncompleteText(const std::string& name, int64_t received, int64_t expected);
std::string MemoryCapText(const std::string& name);
std::string WriteErrorText(const std::string& name, const std::string& path);
std::string ReplaceErrorText(const std::string& name, const std::string& target);

// The answer before any byte of the body is read: a status other than 2xx,
// a length of 0, or a length beyond the memory cap for a memory target give
// their error text; "" lets the transfer go on.
std::string ResponseErrorText(const std::string& url, bool toFile, int status,
                              const std::string& statusText, int64_t size);

// What the read loop saw.
struct TTransferEnd {
  std::string name;        // UrlDisplayName
  bool toFile = false;     // a file target (else memory)
  int status = 0;          // HTTP status of the response
  int64_t expected = kUnknownLength;  // content length
  int64_t received = 0;    // bytes read
  int64_t fileSize = 0;    // size of the temporary file (file targets)
  bool readFailed = false;
  std::string readReason;  // system or server text of the failed read
  bool writeFailed = false;  // the temporary file took fewer bytes than read
  std::string tempPath;
  bool aborted = false;    // the download abort flag
  bool cancelled = false;  // the progress bar's cancel flag
  bool overCap = false;    // the memory cap stopped the loop
};

// "" when the body arrived whole: for a file target exactly the content
// length, in the file as well; for memory the length when one was given.
std::string TransferErrorText(const TTransferEnd& end);
// Only a whole body of a 2xx answer, in a file target, replaces the target.
bool MayReplaceTarget(const TTransferEnd& end);

}  // namespace http
