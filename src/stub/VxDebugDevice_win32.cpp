// The debug device: std::cout is replaced by a 128-character buffer whose
// pieces are sent to the debug viewer window as global atoms.
#include "util/Win.h"

#include <iostream>

#include "stub/VxDebug.h"
#include "util/Files.h"

namespace VxDebug {

namespace {

// How long one delivery may wait for a viewer that does not answer.
constexpr UINT kSendTimeoutMs = 5000;

CRITICAL_SECTION g_lock;
bool g_installed = false;
UINT g_message = 0;
std::streambuf* g_original = nullptr;

class TLock {
 public:
  TLock() { ::EnterCriticalSection(&g_lock); }
  ~TLock() { ::LeaveCriticalSection(&g_lock); }
  TLock(const TLock&) = delete;
  TLock& operator=(const TLock&) = delete;
};

void SendToViewer(const std::string& text) {
  HWND viewer = ::FindWindowA(kViewerClass, nullptr);
  if (!viewer) return;
  ATOM atom = ::GlobalAddAtomA(text.c_str());
  if (!atom) return;
  DWORD_PTR answer = 0;
  ::SendMessageTimeoutA(viewer, g_message, 1, static_cast<LPARAM>(atom), SMTO_NORMAL | SMTO_ABORTIFHUNG,
                        kSendTimeoutMs, &answer);
  ::GlobalDeleteAtom(atom);
}

// Errors of a delivery are swallowed: diagnostics never disturb the program.
void Deliver(const std::string& text) {
  try {
    if constexpr (kMode == 1 || kMode == 2) Files::AppendText(kDebugFile, NormalizeLineEnds(text), false);
    if constexpr (kMode == 0 || kMode == 2) SendToViewer(text);
  } catch (...) {
  }
}

class TDebugDevice : public std::streambuf {
 public:
  TDebugDevice() : buffer_(Deliver) {}

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      char ch = traits_type::to_char_type(c);
      TLock lock;
      buffer_.Write(std::string_view(&ch, 1));
    }
    return traits_type::not_eof(c);
  }

  std::streamsize xsputn(const char* text, std::streamsize count) override {
    if (count <= 0) return 0;
    TLock lock;
    buffer_.Write(std::string_view(text, static_cast<size_t>(count)));
    return count;
  }

  int sync() override {
    TLock lock;
    buffer_.Flush();
    return 0;
  }

 private:
  TDebugBuffer buffer_;
};

// Runs before the ordinary static initializers of the program.
struct TEarlyInstall {
  TEarlyInstall() { InstallDebugChannel(); }
};
TEarlyInstall g_earlyInstall __attribute__((init_priority(200)));

}  // namespace

void InstallDebugChannel() {
  // The standard streams must exist before one of them is redirected; this
  // may run before the library's own initializer.
  static std::ios_base::Init streams;
  if (g_installed) return;
  ::InitializeCriticalSection(&g_lock);
  g_message = ::RegisterWindowMessageA(kMessageName);
  static TDebugDevice* device = new TDebugDevice();  // lives for the whole run; its close does nothing
  g_original = std::cout.rdbuf(device);
  g_installed = true;
}

bool DebugChannelInstalled() { return g_installed; }

std::streambuf* OriginalStdOut() { return g_installed ? g_original : std::cout.rdbuf(); }

}  // namespace VxDebug
