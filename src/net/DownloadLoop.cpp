#include "net/DownloadLoop.h"

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

#include "util/SysInfo.h"
#include "util/Exceptions.h"

namespace {

constexpr int64_t kKbDisplayFrom = 102400;  // strictly above: KB display

bool Flag(const std::function<bool()>& f) { return f && f(); }

void NoteSinkFault(const TDownloadSink& sink, http::TTransferEnd& end) {
  if (sink.LastFault() == TDownloadSink::Fault::MemoryCap) end.overCap = true;
  if (sink.LastFault() == TDownloadSink::Fault::Write) end.writeFailed = true;
}

http::TTransferEnd EndFor(const TDownloadSink& sink, const TTransferRequest& request) {
  http::TTransferEnd end;
  end.name = request.name;
  end.toFile = sink.ToFile();
  end.status = request.status;
  end.expected = request.size;
  end.received = std::max<int64_t>(request.offset, 0);
  end.tempPath = sink.TempPath();
  return end;
}

}  // namespace

http::TTransferEnd ReadBody(TTransferSource& source, TDownloadSink& sink, const TTransferRequest& request,
                            const TTransferHooks& hooks) {
  http::TTransferEnd end = EndFor(sink, request);
  const int64_t size = request.size;
  const int64_t chunk = http::ChunkSize(size);  // the largest read
  int64_t ask = http::FirstReadSize(size);
  const TMsClock clock = hooks.clock ? hooks.clock : TMsClock(MsCounter);
  const int waitMs = http::PumpWaitMs(size);
  const http::TBarPlan bar = http::PlanBar(size, chunk);
  // An unknown size counts as the largest for the display units.
  const bool unknown = size < 0;
  TBytesRate rate(unknown || size > kKbDisplayFrom, unknown || size > http::kLargeFileFrom, hooks.clock);

  std::vector<char> buffer;
  VX_TRY {
    buffer.resize(static_cast<size_t>(chunk));
  }
  VX_CATCH(const std::exception&) {
    end.writeFailed = true;
    return end;
  }
  // A continued body shows the steps it has already made.
  if (hooks.startBar) hooks.startBar(bar.count, 1 + (unknown ? 0 : http::BarSteps(bar, end.received)));
  int64_t got = 0;
  do {
    if (hooks.pump) hooks.pump(waitMs);
    got = 0;
    std::string reason;
    const int64_t started = clock();
    if (!source.Read(buffer.data(), ask, got, reason)) {
      end.readFailed = true;
      end.readReason = reason;
      break;
    }
    got = std::clamp<int64_t>(got, 0, ask);
    ask = http::NextReadSize(size, ask, got, clock() - started);
    const int64_t before = end.received;
    end.received += got;
    if (!sink.Append(buffer.data(), got)) {
      NoteSinkFault(sink, end);
      break;
    }
    const int64_t total = unknown ? end.received : size;
    const std::string text = rate.ProgressText(total, end.received, got);
    const bool advanced = unknown || http::BarSteps(bar, end.received) > http::BarSteps(bar, before);
    if (got > 0 && advanced && hooks.step) hooks.step(text);
  } while (got > 0 && !Flag(hooks.aborted) && !Flag(hooks.cancelled));
  end.aborted = Flag(hooks.aborted);
  end.cancelled = Flag(hooks.cancelled);
  return end;
}

TTransferResult FinishTransfer(TDownloadSink& sink, http::TTransferEnd end) {
  TTransferResult result;
  if (end.toFile) end.fileSize = sink.Held();
  end.tempPath = sink.TempPath();
  result.error = http::TransferErrorText(end);
  const bool complete = http::MayReplaceTarget(end);
  result.replaced = sink.Finish(complete) && complete;
  if (complete && !result.replaced) result.error = http::ReplaceErrorText(end.name, sink.TargetPath());
  result.end = std::move(end);
  return result;
}

TTransferResult RunTransfer(TTransferSource& source, TDownloadSink& sink, const TTransferRequest& request,
                            const TTransferHooks& hooks) {
  http::TTransferEnd end = EndFor(sink, request);
  if (!sink.Begin(request.size)) {
    NoteSinkFault(sink, end);
  } else {
    if (hooks.show) hooks.show();
    end = ReadBody(source, sink, request, hooks);
  }
  end.aborted = end.aborted || Flag(hooks.aborted);
  return FinishTransfer(sink, std::move(end));
}
