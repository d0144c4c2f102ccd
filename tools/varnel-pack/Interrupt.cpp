#include "Interrupt.h"

#include <atomic>
#include <csignal>
#include <cstring>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "util/FileIO.h"

namespace interrupt {

namespace {

// Tracked paths: a list that only grows, so the handler can walk it at any
// moment. A node is complete before it is linked; `live` goes to 0 when the
// file is gone or renamed.
struct TNode {
  std::string path;  // native form, never changed after linking
  volatile std::sig_atomic_t live = 1;
  TNode* next = nullptr;
};

std::atomic<TNode*> gHead{nullptr};
volatile std::sig_atomic_t gSignal = 0;

extern "C" void OnSignal(int sig) {
  gSignal = sig;
#ifndef _WIN32
  // Newest first: the temporary files, then the folders made for them.
  for (TNode* node = gHead.load(); node != nullptr; node = node->next)
    if (node->live && ::unlink(node->path.c_str()) != 0) ::rmdir(node->path.c_str());
  static const char kMessage[] = "varnel-pack: interrupted\n";
  ssize_t written = ::write(STDERR_FILENO, kMessage, sizeof(kMessage) - 1);
  (void)written;
  std::signal(sig, SIG_DFL);
  std::raise(sig);  // delivered when the handler returns
#else
  std::signal(sig, OnSignal);
#endif
}

}  // namespace

void Install() {
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
}

void Track(const std::string& path, bool exists) {
  const std::string native = NativePath(path);
  if (!exists) {
    for (TNode* node = gHead.load(); node != nullptr; node = node->next)
      if (node->live && node->path == native) node->live = 0;
    return;
  }
  auto* node = new TNode;  // kept until the process ends: the handler may read it at any time
  node->path = native;
  node->next = gHead.load();
  gHead.store(node);
}

bool Requested() { return gSignal != 0; }

void EndIfRequested() {
  const int sig = gSignal;
  if (sig == 0) return;
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

}  // namespace interrupt
