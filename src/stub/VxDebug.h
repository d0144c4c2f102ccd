// The two diagnostic outputs of the stub.
//
// Debug channel: everything written to the standard text output (DebugOut)
// goes, in pieces of at most 128 characters, to a debug viewer window of
// class ".VxDebug." in another process: each piece travels as the name of a
// global atom in lParam of the registered message ".Vx_DebugMsg." (wParam 1),
// sent synchronously; the atom is deleted when the send returns. Without a
// viewer the text is dropped. A line end delivers the line (with CR LF).
//
// Trace log: for agent packages with the trace flag, time-stamped lines
// "dd/mm/yy HH:NN:SS" + " " + thread id (5 wide) + prefix + message, appended
// to "X_" + name + ".log" beside the executable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "stub/VxDebugDevice.h"

class TGFileInfo;

namespace VxDebug {

inline constexpr char kViewerClass[] = ".VxDebug.";
inline constexpr char kMessageName[] = ".Vx_DebugMsg.";
inline constexpr size_t kBufferSize = 128;
// 0 = viewer window only, 1 = file only, 2 = file and viewer.
inline constexpr int kMode = 0;
inline constexpr char kDebugFile[] = "C:\\ProgramData\\_vxdebug.txt";

// The buffer of the debug device: collects characters and hands them to the
// delivery function when it holds kBufferSize characters and after every
// line end. A lone LF is written as CR LF.
class TDebugBuffer {
 public:
  using TDeliver = std::function<void(const std::string& text)>;
  explicit TDebugBuffer(TDeliver deliver, size_t capacity = kBufferSize);
  void Write(std::string_view text);
  // Delivers the buffered characters, if any. The buffer is emptied before
  // the delivery runs, so text written during a delivery starts a new piece.
  void Flush();

 private:
  void Put(char c);
  TDeliver deliver_;
  size_t capacity_;
  std::string buffer_;
  char last_ = 0;
};

// Every CR LF, lone CR and lone LF becomes CR LF (the debug file of modes 1 and 2).
std::string NormalizeLineEnds(std::string_view text);

// Writes text and a line end to the standard text output: one debug line.
void DebugLine(const std::string& text);

// --- Trace log ---

// "dd/mm/yy HH:NN:SS" with the given date and time separators.
std::string TraceStamp(int year, int month, int day, int hour, int minute, int second,
                       const std::string& dateSeparator = "/", const std::string& timeSeparator = ":");
// stamp + " " + thread id right-aligned in 5 (never cut) + prefix + message.
std::string TraceLine(const std::string& stamp, uint32_t threadId, const std::string& prefix,
                      const std::string& message);
// Folder of exePath + the file name with "X_" in front (unless it already
// starts with "X_", case-sensitive) and the extension changed to ".log".
std::string TraceLogPath(const std::string& exePath);
// Decides the trace log at start: enabled for an agent package with the
// trace flag; prefix " X " in the X_ agent (Stub::IsXAgent), else three
// blanks; the log file from exePath.
void StartTrace(const TGFileInfo& info, const std::string& exePath);
void SetTraceEnabled(bool enabled);
bool TraceEnabled();
void SetTracePrefix(const std::string& prefix);
std::string TracePrefix();
// The log file; computed from the own executable on first use unless set.
void SetTraceLogFile(const std::string& path);
std::string TraceLogFile();

// Appends one trace line when tracing is enabled, and hands the message to
// the trace sink (if one is set) in any case.
void Trace(const std::string& message);

using TTraceSink = std::function<void(const std::string& message)>;
// Installs a sink (empty = none); returns the previous one.
TTraceSink SetTraceSink(TTraceSink sink);

// Collects the trace messages while it lives (tests, callers that show them).
class TTraceCapture {
 public:
  TTraceCapture();
  ~TTraceCapture();
  TTraceCapture(const TTraceCapture&) = delete;
  TTraceCapture& operator=(const TTraceCapture&) = delete;
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
  TTraceSink previous_;
};

// Platform parts (VxDebug_win32.cpp / VxDebug_posix.cpp).
uint32_t CurrentThreadNumber();
// Local date and time now, with the system's separators.
std::string NowTraceStamp();

}  // namespace VxDebug
