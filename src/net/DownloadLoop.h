// The read loop of a download, apart from the library that reads: it reads
// the body in chunks into a sink, pumps messages between reads, drives the
// progress bar with the rate text and stops on the abort flag or a bar cancel.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "net/CommUtils.h"
#include "net/DownloadSink.h"
#include "net/HttpDecisions.h"

// The open response whose body is read.
class TTransferSource {
 public:
  virtual ~TTransferSource() = default;
  // Reads up to `max` bytes into buffer: true with got = 0 at the end of the
  // body; false when the read failed (reason: the system's or server's text).
  virtual bool Read(char* buffer, int64_t max, int64_t& got, std::string& reason) = 0;
};

struct TTransferHooks {
  std::function<void(int ms)> pump;                   // before each read (0 = pending only), between attempts
  std::function<bool()> aborted;                      // the download abort flag
  std::function<bool()> cancelled;                    // the progress bar's cancel flag
  std::function<void()> show;                         // once, before the first body is read
  // Bar (re)started at `position` (1 for an empty body) with count steps.
  std::function<void(int64_t count, int64_t position)> startBar;
  std::function<void(const std::string& text)> step;  // one bar step with the progress text
  std::function<void(const std::string& line)> trace; // a debug line (retries)
  TMsClock clock;                                     // for the rate text (default: system counter)
};

struct TTransferRequest {
  std::string name;  // UrlDisplayName of the URL
  int status = 200;  // HTTP status of the response
  int64_t size = http::kUnknownLength;  // of the whole body
  int64_t offset = 0;  // bytes of the body the sink holds already (a continued body)
};

// Result of RunTransfer: the error text ("" on success) and what the loop saw.
struct TTransferResult {
  std::string error;
  http::TTransferEnd end;
  bool replaced = false;  // a file target was replaced by the complete body
};

// Reads the whole body into sink. Only a complete body of a 2xx answer
// replaces a file target (MayReplaceTarget); otherwise the target is untouched.
TTransferResult RunTransfer(TTransferSource& source, TDownloadSink& sink,
                            const TTransferRequest& request, const TTransferHooks& hooks);

// The read loop alone: appends the rest of one answer's body (from
// request.offset on) to a sink that is ready for it, and tells what it saw.
// received counts the offset too; fileSize is left to the caller.
http::TTransferEnd ReadBody(TTransferSource& source, TDownloadSink& sink, const TTransferRequest& request,
                            const TTransferHooks& hooks);

// Ends a transfer: the error text, and the target replaced when the body is
// complete.
TTransferResult FinishTransfer(TDownloadSink& sink, http::TTransferEnd end);
