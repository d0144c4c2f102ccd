#include "net/CommUtils.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "util/FileIO.h"
#include "util/Files.h"
#include "util/SysInfo.h"
#include "util/Utils.h"

// --- TBytesRate ------------------------------------------------------------

TBytesRate::TBytesRate(bool kbDisplay, bool mbDisplay, TMsClock clock)
    : clock_(clock ? std::move(clock) : TMsClock(MsCounter)),
      kbDisplay_(kbDisplay),
      mbDisplay_(mbDisplay) {}

std::string TBytesRate::RateText(int64_t chunkBytes) {
  const int64_t now = clock_();
  std::rotate(stamps_.begin(), stamps_.begin() + 1, stamps_.end());
  std::rotate(amounts_.begin(), amounts_.begin() + 1, amounts_.end());
  stamps_.back() = now;
  amounts_.back() = chunkBytes;
  if (seen_ < kWindow) ++seen_;

  // The elapsed time spans the four intervals after the oldest chunk, so the
  // oldest chunk's bytes are left out.
  const int64_t elapsed = now - stamps_.front();
  int64_t bytes = 0;
  for (int i = 1; i < kWindow; ++i) bytes += amounts_[i];

  const bool windowFull = seen_ == kWindow;
  const bool due = !rateComputed_ || now - rateTime_ > kUpdateMs;
  if (windowFull && elapsed > 0 && due) {
    rateComputed_ = true;
    rateTime_ = now;
    const double seconds = static_cast<double>(elapsed) / 1000.0;
    rateText_ = FloatToText(static_cast<double>(bytes) / seconds / 1024.0, 2);
  }
  return rateText_;
}

std::string TBytesRate::AmountText(int64_t total, int64_t received) const {
  if (mbDisplay_) return FormatMB(true, 1, received) + "/" + FormatMB(true, 1, total) + " MB";
  if (kbDisplay_) return FormatKB(true, 1, received) + "/" + FormatKB(true, 1, total) + " KB";
  return IntToText(received) + "/" + IntToText(total) + " BytesArr";
}

std::string TBytesRate::ProgressText(int64_t total, int64_t received, int64_t chunkBytes) {
  const std::string amount = AmountText(total, received);
  const std::string rate = RateText(chunkBytes);
  return rate.empty() ? amount : amount + "   -   " + rate + " KB/Sec";
}

// --- Error pages -------------------------------------------------------------

namespace {

std::string ProbeText(const std::string& path, const std::string& data) {
  if (!path.empty() && FileExists(path)) {
    return Files::ReadFilePart(path, static_cast<int64_t>(kErrorPageProbe));
  }
  return data.substr(0, std::min(data.size(), kErrorPageProbe));
}

// a, b, c, ... are 1-based positions (0 = absent): the first is present and
// each comes strictly after the one before.
bool InOrder(std::initializer_list<size_t> positions) {
  size_t previous = 0;
  for (size_t p : positions) {
    if (p <= previous) return false;
    previous = p;
  }
  return true;
}

bool LooksLikeErrorPage(const std::string& probe) {
  const size_t titleOpen = PosCI("<TITLE", probe);
  const size_t code = PosCI("404", probe);
  const size_t titleEnd = PosCI("</TITLE>", probe);
  const size_t titleTag = PosCI("<TITLE>", probe);
  const size_t head = PosCI("<HEAD>", probe);
  const size_t html = PosCI("<HTML>", probe);
  return InOrder({titleOpen, code, titleEnd}) || InOrder({html, head, titleTag, titleEnd});
}

}  // namespace

bool IsErrorPage(const std::string& path, const std::string& data) {
  return LooksLikeErrorPage(ProbeText(path, data));
}

std::string ErrorPageMessage(const std::string& path, const std::string& data,
                             const std::string& url, bool webServerHint,
                             const std::string& def) {
  const std::string probe = ProbeText(path, data);
  if (!LooksLikeErrorPage(probe)) return def;
  std::string text = "<B>404 File Not Found...</B><P><P>URL:  " + url + "." +
                     "<P><P>Please make sure the file is available and access is allowed to this file.";
  if (webServerHint && PosCI("IIS", probe) > 0) {
    text += "<P><P>If you are using an IIS webserver you must define appropriate MIME-Types.";
  }
  return text;
}
