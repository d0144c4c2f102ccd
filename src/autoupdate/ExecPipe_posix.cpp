// POSIX backend of ExecPipe for the host tools: the command line runs
// through /bin/sh; the output is taken as it is (no code-page conversion).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "autoupdate/ExecPipe.h"
#include "util/SysInfo.h"

namespace {

struct TChild {
  pid_t pid = -1;
  int out = -1;
  int err = -1;
};

bool Spawn(const std::string& commandLine, TChild& child) {
  int in[2], out[2], err[2];
  if (::pipe(in) != 0) return false;
  if (::pipe(out) != 0) {
    ::close(in[0]), ::close(in[1]);
    return false;
  }
  if (::pipe(err) != 0) {
    ::close(in[0]), ::close(in[1]), ::close(out[0]), ::close(out[1]);
    return false;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);  // one group, so that stopping also ends the shell's children
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
    ::execl("/bin/sh", "sh", "-c", commandLine.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const int saved = errno;
  for (int fd : {in[0], in[1], out[1], err[1]}) ::close(fd);
  if (pid < 0) {
    ::close(out[0]), ::close(err[0]);
    errno = saved;
    return false;
  }
  child = TChild{pid, out[0], err[0]};
  return true;
}

}  // namespace

TExecPipeResult ExecPipe(const std::string& command, const std::string& parameters, int,
                         TExecPipeCallback callback, void* user, int waitAfterEndMs) {
  TExecPipeResult result;
  const std::string commandLine = ExecPipeCommandLine(command, parameters);
  TChild child;
  if (commandLine.size() > kMaxCommandLineLength || !Spawn(commandLine, child)) {
    result.exitCode = kExecPipeStartFailed;
    result.errors = ExecPipeStartError(commandLine, std::strerror(errno));
    bool stop = false;
    if (callback) callback(result.errors + "\r\n", user, stop);
    return result;
  }
  bool stop = false, killed = false;
  pollfd fds[2] = {{child.out, POLLIN, 0}, {child.err, POLLIN, 0}};
  std::string* texts[2] = {&result.output, &result.errors};
  int open = 2;
  while (open > 0) {
    if (::poll(fds, 2, 100) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[kExecPipeReadChunk];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof(buffer));
      if (n <= 0) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
        continue;
      }
      const std::string chunk(buffer, static_cast<size_t>(n));
      *texts[i] += chunk;
      if (callback) callback(chunk, user, stop);
    }
    if (stop && !killed) {
      ::kill(-child.pid, SIGKILL);
      killed = true;
    }
  }
  for (const pollfd& p : fds)
    if (p.fd >= 0) ::close(p.fd);
  int status = 0;
  ::waitpid(child.pid, &status, 0);
  if (waitAfterEndMs > 0) WaitPumping(0, waitAfterEndMs);
  if (killed) result.exitCode = 255;
  else if (WIFEXITED(status)) result.exitCode = static_cast<uint32_t>(WEXITSTATUS(status));
  else result.exitCode = 128u + static_cast<uint32_t>(WTERMSIG(status));
  result.ok = result.exitCode == 0;
  return result;
}
