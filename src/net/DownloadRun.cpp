#include "net/DownloadRun.h"

#include <utility>

#include "util/Utils.h"

namespace {

bool Flag(const std::function<bool()>& f) { return f && f(); }

void Trace(const TTransferHooks& hooks, const std::string& line) {
  if (hooks.trace) hooks.trace(line);
}

// The request ended before the body began: the error, the sink left as it is.
TTransferResult Failed(TDownloadSink& sink, std::string error) {
  TTransferResult result;
  sink.Finish(false);
  result.error = std::move(error);
  result.end.toFile = sink.ToFile();
  return result;
}

// What the download has on hand between requests.
struct TState {
  http::TPartial partial;  // the body held so far (held = 0: none)
  bool begun = false;      // a body of this call is in the sink
  bool plainNext = false;  // an answer did not continue the partial body: ask for all
  int failures = 0;        // retries made
};

// The byte to ask from: the partial body when it can be continued at all.
int64_t AskFrom(const TState& state, const TDownloadSink& sink) {
  if (state.plainNext || !sink.ToFile() || state.partial.held <= 0) return 0;
  // A body of this call whose length is unknown cannot be matched.
  if (state.begun && state.partial.total < 0) return 0;
  return state.partial.held;
}

}  // namespace

TTransferResult RunDownload(TRequestOpener& opener, TDownloadSink& sink, const std::string& url,
                            const TTransferHooks& hooks) {
  TState state;
  state.partial.target = sink.TargetPath();
  state.partial.tempPath = sink.LeftOver(state.partial.held);
  TTransferRequest request;
  request.name = http::UrlDisplayName(url);
  bool shown = false;

  for (;;) {
    const int64_t from = AskFrom(state, sink);
    http::TAnswer answer;
    if (!opener.Open(from, answer)) {
      opener.Close();
      if (!state.begun || state.failures >= http::kRetries) return Failed(sink, http::OpenErrorText(url));
      ++state.failures;
      Trace(hooks, "HTTP_DownloadFile_Incremental: no answer, retry " + IntToText(state.failures));
      if (hooks.pump) hooks.pump(http::kRetryWaitMs);
      if (Flag(hooks.aborted)) return Failed(sink, http::AbortedText());
      continue;
    }

    bool ready = false;
    if (from > 0 && http::ContinuesPartial(answer, state.partial)) {
      const http::TContentRange range = http::ParseContentRange(answer.contentRange);
      state.partial.total = range.total;
      state.partial.stamp = answer.stamp;
      ready = sink.Continue(state.partial.tempPath);
      request.offset = from;
      request.size = range.total;
    } else if (from > 0 && (answer.status == http::kPartialStatus || !http::IsSuccessStatus(answer.status))) {
      // Another file, another length, a refused range: ask for the whole body.
      Trace(hooks, "HTTP_DownloadFile_Incremental: no continuation (status " + IntToText(answer.status) +
                       "), starting over");
      opener.Close();
      state.plainNext = true;
      continue;
    } else {
      const std::string error = http::AnswerErrorText(url, sink.ToFile(), answer);
      if (!error.empty()) {
        opener.Close();
        return Failed(sink, error);
      }
      ready = sink.Restart(answer.length, answer.stamp);
      state.partial.total = answer.length;
      state.partial.stamp = answer.stamp;
      request.offset = 0;
      request.size = answer.length;
    }
    state.begun = true;
    state.plainNext = false;
    state.partial.tempPath = sink.TempPath();
    request.status = answer.status;

    http::TTransferEnd end;
    if (!ready) {
      end.name = request.name;
      end.toFile = sink.ToFile();
      end.overCap = sink.LastFault() == TDownloadSink::Fault::MemoryCap;
      end.writeFailed = !end.overCap;
    } else {
      if (!shown && hooks.show) hooks.show();
      shown = true;
      end = ReadBody(opener.Body(), sink, request, hooks);
    }
    opener.Close();
    state.partial.held = sink.ToFile() ? sink.Held() : 0;

    if (!http::ShouldRetry(end, state.failures)) return FinishTransfer(sink, std::move(end));
    ++state.failures;
    Trace(hooks, "HTTP_DownloadFile_Incremental: " + IntToText(end.received) + " bytes received, retry " +
                     IntToText(state.failures));
    if (hooks.pump) hooks.pump(http::kRetryWaitMs);
    if (Flag(hooks.aborted)) {
      end.aborted = true;
      return FinishTransfer(sink, std::move(end));
    }
  }
}
