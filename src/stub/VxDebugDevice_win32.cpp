// The debug device: the program's standard text output (DebugOut) becomes a
// 128-character buffer whose pieces are sent to the debug viewer window as
// global atoms.
#include "util/Win.h"

#include "stub/VxDebug.h"
#include "util/Files.h"
#include "util/Exceptions.h"

namespace VxDebug {

namespace {

// How long one delivery may wait for a viewer that does not answer.
constexpr UINT kSendTimeoutMs = 5000;

CRITICAL_SECTION g_lock;
bool g_installed = false;
UINT g_message = 0;

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
  VX_TRY {
    if constexpr (kMode == 1 || kMode == 2) Files::AppendText(kDebugFile, NormalizeLineEnds(text), false);
    if constexpr (kMode == 0 || kMode == 2) SendToViewer(text);
  }
  VX_CATCH(...) {
  }
}

class TDebugDevice : public DebugOut::TDevice {
 public:
  TDebugDevice() : buffer_(Deliver) {}

  void Write(std::string_view text) override {
    TLock lock;
    buffer_.Write(text);
  }

  void Flush() override {
    TLock lock;
    buffer_.Flush();
  }

 private:
  TDebugBuffer buffer_;
};

TDebugDevice* g_device = nullptr;

// Runs before the ordinary static initializers of the program.
struct TEarlyInstall {
  TEarlyInstall() { InstallDebugChannel(); }
};
TEarlyInstall g_earlyInstall __attribute__((init_priority(200)));

}  // namespace

void InstallDebugChannel() {
  if (g_installed) return;
  ::InitializeCriticalSection(&g_lock);
  g_message = ::RegisterWindowMessageA(kMessageName);
  g_device = new TDebugDevice();  // lives for the whole run; its close does nothing
  DebugOut::SetDevice(g_device);
  g_installed = true;
}

bool DebugChannelInstalled() { return g_installed; }

DebugOut::TDevice* DebugDevice() { return g_device; }

}  // namespace VxDebug
