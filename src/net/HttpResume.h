// The decisions of a download that is tried again: whether a failed attempt
// is retried, the Range request that continues a partial body, and whether an
// answer really continues that body (same file, same length, same stamp,
// from the right byte) or the download has to start over.
#pragma once

#include <cstdint>
#include <string>

#include "net/HttpDecisions.h"

namespace http {

// A dropped connection or a failed read is tried again this often, this far
// apart (messages are pumped meanwhile).
constexpr int kRetries = 3;
constexpr int kRetryWaitMs = 1000;
constexpr int kPartialStatus = 206;

// The request header that asks for the body from byte `from` on:
// "Range: bytes=<from>-" and a line end; "" for from <= 0.
std::string RangeHeader(int64_t from);

// A Content-Range header "bytes <first>-<last>/<total>".
struct TContentRange {
  bool valid = false;  // well-formed with first <= last < total
  int64_t first = 0;
  int64_t last = 0;
  int64_t total = kUnknownLength;
};
// Strict: anything but the unit "bytes" (any case), one blank and three plain
// decimal numbers of at most 18 digits is invalid, as is an unknown total
// ("*") or a range outside the total.
TContentRange ParseContentRange(const std::string& text);

// The head of an answer, as far as the downloader looks at it.
struct TAnswer {
  int status = 0;
  std::string statusText;
  int64_t length = kUnknownLength;  // Content-Length
  int32_t stamp = 0;                // Last-Modified as a DOS date-time (0: none)
  std::string contentRange;         // Content-Range header text
};

// The partial body on disk that a Range request tries to continue.
struct TPartial {
  std::string target;
  std::string tempPath;  // the temporary file holding the bytes so far
  int64_t held = 0;      // its size
  // Length and stamp of the answer that began it; unknown (-1) for a file
  // left by an earlier call, which is known only by its name.
  int64_t total = kUnknownLength;
  int32_t stamp = 0;
};

// True when `answer` continues `partial`: status 206, a Content-Range from
// exactly `held` to the last byte, a length that matches, a Last-Modified
// stamp, and the temporary name that this total and stamp give is the
// partial's own (for a body begun in this call: the very same total and
// stamp). Anything else means the body must start over.
bool ContinuesPartial(const TAnswer& answer, const TPartial& partial);

// The answer to a request for the whole body: ResponseErrorText, and a 206
// that holds less than the whole body is an error too (its bytes could pass
// for the complete file).
std::string AnswerErrorText(const std::string& url, bool toFile, const TAnswer& answer);

// Whether an attempt that ended so is tried again after `failures` earlier
// retries: a read that failed or a body that ended before its length, and
// neither the abort flag, a bar cancel, a write fault nor the memory cap.
bool ShouldRetry(const TTransferEnd& end, int failures);

}  // namespace http
