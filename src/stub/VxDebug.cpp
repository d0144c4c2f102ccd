// Portable part of the diagnostic outputs: the debug device's buffer, the
// trace-log line format and the trace state.
#include "stub/VxDebug.h"

#include <utility>

#include "package/PackX.h"
#include "stub/Stub.h"
#include "util/Files.h"
#include "util/SysInfo.h"
#include "util/Utils.h"

namespace VxDebug {

TDebugBuffer::TDebugBuffer(TDeliver deliver, size_t capacity)
    : deliver_(std::move(deliver)), capacity_(capacity == 0 ? 1 : capacity) {
  buffer_.reserve(capacity_);
}

void TDebugBuffer::Write(std::string_view text) {
  for (char c : text) {
    if (c == '\n' && last_ != '\r') Put('\r');
    Put(c);
  }
}

void TDebugBuffer::Put(char c) {
  buffer_.push_back(c);
  last_ = c;
  if (buffer_.size() >= capacity_ || c == '\n') Flush();
}

void TDebugBuffer::Flush() {
  if (buffer_.empty()) return;
  std::string text;
  text.swap(buffer_);
  buffer_.reserve(capacity_);
  if (deliver_) deliver_(text);
}

std::string NormalizeLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\r\n";
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

void DebugLine(const std::string& text) { DebugOut::Line(text); }

// --- Trace log ---

std::string TraceStamp(int year, int month, int day, int hour, int minute, int second,
                       const std::string& dateSeparator, const std::string& timeSeparator) {
  return ZeroPad(day, 2) + dateSeparator + ZeroPad(month, 2) + dateSeparator + ZeroPad(year % 100, 2) + " " +
         ZeroPad(hour, 2) + timeSeparator + ZeroPad(minute, 2) + timeSeparator + ZeroPad(second, 2);
}

std::string TraceLine(const std::string& stamp, uint32_t threadId, const std::string& prefix,
                      const std::string& message) {
  return stamp + " " + PadLeft(IntToText(threadId), 5) + prefix + message;
}

std::string TraceLogPath(const std::string& exePath) {
  size_t cut = exePath.find_last_of("\\/:");
  std::string dir = cut == std::string::npos ? std::string() : exePath.substr(0, cut + 1);
  std::string name = cut == std::string::npos ? exePath : exePath.substr(cut + 1);
  if (name.compare(0, 2, "X_") != 0) name = "X_" + name;
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return dir + name + ".log";
}

namespace {

std::string FileNameOf(const std::string& path) {
  size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

struct TTraceState {
  bool enabled = false;
  std::string prefix = "   ";
  std::string logFile;
  bool logFileKnown = false;
  TTraceSink sink;
};

TTraceState& State() {
  static TTraceState state;
  return state;
}

}  // namespace

void StartTrace(const TGFileInfo& info, const std::string& exePath) {
  SetTraceEnabled(info.IsAgentPackage() && info.AgentTraceLog());
  Stub::TRoleFacts facts;
  facts.agentPackage = info.IsAgentPackage();
  facts.ownFileName = FileNameOf(exePath);
  facts.agentFileName = info.AgentFileName();
  SetTracePrefix(Stub::IsXAgent(facts) ? " X " : "   ");
  SetTraceLogFile(TraceLogPath(exePath));
}

void SetTraceEnabled(bool enabled) { State().enabled = enabled; }
bool TraceEnabled() { return State().enabled; }
void SetTracePrefix(const std::string& prefix) { State().prefix = prefix; }
std::string TracePrefix() { return State().prefix; }

void SetTraceLogFile(const std::string& path) {
  State().logFile = path;
  State().logFileKnown = true;
}

std::string TraceLogFile() {
  TTraceState& state = State();
  if (!state.logFileKnown) SetTraceLogFile(TraceLogPath(ExePath()));
  return state.logFile;
}

void Trace(const std::string& message) {
  TTraceState& state = State();
  if (state.sink) state.sink(message);
  if (!state.enabled) return;
  Files::AppendText(TraceLogFile(), TraceLine(NowTraceStamp(), CurrentThreadNumber(), state.prefix, message));
}

TTraceSink SetTraceSink(TTraceSink sink) { return std::exchange(State().sink, std::move(sink)); }

TTraceCapture::TTraceCapture() {
  previous_ = SetTraceSink([this](const std::string& message) { lines_.push_back(message); });
}

TTraceCapture::~TTraceCapture() { SetTraceSink(std::move(previous_)); }

}  // namespace VxDebug
