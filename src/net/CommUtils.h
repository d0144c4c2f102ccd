// Transfer-rate text under the download bar and the check for an HTML error
// page that a web server sent instead of the requested file.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

// Milliseconds from any steady clock; only differences are used.
using TMsClock = std::function<int64_t()>;

// Speed over the last five chunks and the "received/total" text of a download.
// One object per download; not shared between threads.
class TBytesRate {
 public:
  // mbDisplay wins over kbDisplay. Without a clock the system counter is used.
  TBytesRate(bool kbDisplay, bool mbDisplay, TMsClock clock = nullptr);

  // Called once per chunk: the speed in KB/s with two decimals, computed from
  // the time since the chunk four calls back and the bytes of the four newest
  // chunks. Empty until five chunks have been seen; between updates (at most
  // one every 500 ms) the previous text comes back.
  std::string RateText(int64_t chunkBytes);

  // "3.5/12.0 MB   -   250.75 KB/Sec", or only the amounts while RateText is
  // empty. Plain byte counts read "50/50000 BytesArr".
  std::string ProgressText(int64_t total, int64_t received, int64_t chunkBytes);

 private:
  static constexpr int kWindow = 5;
  static constexpr int64_t kUpdateMs = 500;

  std::string AmountText(int64_t total, int64_t received) const;

  TMsClock clock_;
  bool kbDisplay_;
  bool mbDisplay_;
  std::array<int64_t, kWindow> stamps_{};   // oldest first
  std::array<int64_t, kWindow> amounts_{};  // oldest first
  int seen_ = 0;                            // chunks seen, up to kWindow
  bool rateComputed_ = false;
  int64_t rateTime_ = 0;
  std::string rateText_;
};

// Bytes of a page (or of the file at path) that the error-page test looks at.
constexpr size_t kErrorPageProbe = 1000;

// True when the first 1000 bytes of the file at path (when path names an
// existing file) or else of data look like an HTML error page: "<TITLE" before
// "404" before "</TITLE>", or "<HTML>" before "<HEAD>" before "<TITLE>" before
// "</TITLE>" (any case). The second form accepts any HTML page with a title.
bool IsErrorPage(const std::string& path, const std::string& data);

// The markup message for an error page (with the IIS hint when asked for and
// the page mentions IIS), or def when the content is no error page.
std::string ErrorPageMessage(const std::string& path, const std::string& data,
                             const std::string& url, bool webServerHint,
                             const std::string& def);
