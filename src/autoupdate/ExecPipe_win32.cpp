#include "autoupdate/ExecPipe.h"

#include <vector>

#include "util/SysInfo.h"
#include "util/Win.h"

namespace {

constexpr DWORD kStartupFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES | STARTF_FORCEOFFFEEDBACK;

// One anonymous pipe; the child gets one end, this process keeps the other,
// which must not be inherited (a child holding the write end of its own
// standard input would never see it end).
struct TPipe {
  THandle read;
  THandle write;
  bool Create(bool childReads) {
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE r = nullptr, w = nullptr;
    if (!::CreatePipe(&r, &w, &sa, 0)) return false;
    read.Reset(r);
    write.Reset(w);
    ::SetHandleInformation(childReads ? write.Get() : read.Get(), HANDLE_FLAG_INHERIT, 0);
    return true;
  }
};

struct TReader {
  TExecPipeCallback callback;
  void* user;
  bool stop = false;
  bool outputSeen = false;

  // Takes what the pipe holds; true when more was waiting than was read.
  bool Read(HANDLE pipe, std::string& text) {
    DWORD available = 0;
    if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0)
      return false;
    std::vector<char> buffer(kExecPipeReadChunk);
    DWORD got = 0;
    if (!::ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) || got == 0)
      return false;
    ::OemToCharBuffA(buffer.data(), buffer.data(), got);
    const std::string chunk(buffer.data(), got);
    text += chunk;
    outputSeen = true;
    if (callback) callback(chunk, user, stop);
    return got < available;
  }

  void Drain(HANDLE pipe, std::string& text) {
    for (int round = 0; round < 10000 && Read(pipe, text); ++round) {
    }
  }
};

}  // namespace

TExecPipeResult ExecPipe(const std::string& command, const std::string& parameters, int showMode,
                         TExecPipeCallback callback, void* user, int waitAfterEndMs) {
  TExecPipeResult result;
  std::string commandLine = ExecPipeCommandLine(command, parameters);
  TPipe in, out, err;
  PROCESS_INFORMATION pi{};
  bool started = false;
  if (commandLine.size() <= kMaxCommandLineLength && in.Create(true) && out.Create(false) &&
      err.Create(false)) {
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    si.dwFlags = kStartupFlags;
    si.wShowWindow = static_cast<WORD>(showMode);
    si.hStdInput = in.read.Get();
    si.hStdOutput = out.write.Get();
    si.hStdError = err.write.Get();
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    started = ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, IDLE_PRIORITY_CLASS,
                               nullptr, nullptr, &si, &pi) != FALSE;
  }
  if (!started) {
    result.exitCode = kExecPipeStartFailed;
    result.errors = ExecPipeStartError(commandLine, LastErrorText());
    if (callback) {
      bool stop = false;
      callback(result.errors + "\r\n", user, stop);
    }
    return result;
  }
  THandle process(pi.hProcess), thread(pi.hThread);
  // The child holds its own ends now; its input is empty.
  in.read.Reset();
  in.write.Reset();
  out.write.Reset();
  err.write.Reset();

  TReader reader{callback, user};
  int wait = callback ? 1 : 100;
  bool running = true, moreOut = false, moreErr = false;
  do {
    running = ::WaitForSingleObject(process.Get(), static_cast<DWORD>(wait)) != WAIT_OBJECT_0;
    moreOut = reader.Read(out.read.Get(), result.output);
    moreErr = reader.Read(err.read.Get(), result.errors);
    wait = NextExecPipeWait(wait, reader.outputSeen);
    if (reader.stop && running) {
      ::TerminateProcess(process.Get(), 255);
      ::WaitForSingleObject(process.Get(), 5000);
      running = false;
    }
  } while (running || moreOut || moreErr);

  if (waitAfterEndMs > 0) WaitPumping(0, waitAfterEndMs);
  reader.Drain(out.read.Get(), result.output);
  reader.Drain(err.read.Get(), result.errors);
  DWORD code = 0;
  ::GetExitCodeProcess(process.Get(), &code);
  result.exitCode = code;
  result.ok = code == 0;
  return result;
}
