// A whole download over one or more requests: the first answer, a partial
// body left by an earlier call continued with a Range request, and a dropped
// connection or failed read tried again (kRetries times, kRetryWaitMs apart)
// from the bytes already held when the server can continue the same file,
// else from the start. The library that sends the requests stays outside.
#pragma once

#include <cstdint>
#include <string>

#include "net/DownloadLoop.h"
#include "net/DownloadSink.h"
#include "net/HttpResume.h"

// Sends the requests of one download.
class TRequestOpener {
 public:
  virtual ~TRequestOpener() = default;
  // Sends the request, asking for the body from byte `from` on when from > 0
  // (http::RangeHeader). False when no answer came; answer holds its head.
  virtual bool Open(int64_t from, http::TAnswer& answer) = 0;
  // The body of the answer that Open gave.
  virtual TTransferSource& Body() = 0;
  // Ends the request that Open began (nothing when none is open).
  virtual void Close() = 0;
};

// Downloads url (the URL as requested, for the error texts) into sink. The
// target of a file sink is replaced only by a complete body whose size is the
// whole length the server gave.
TTransferResult RunDownload(TRequestOpener& opener, TDownloadSink& sink, const std::string& url,
                            const TTransferHooks& hooks);
