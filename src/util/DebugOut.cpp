#include "util/DebugOut.h"
#include "util/Exceptions.h"

#include <cstdio>

namespace DebugOut {

namespace {

TDevice* g_device = nullptr;

}  // namespace

TDevice* SetDevice(TDevice* device) {
  TDevice* previous = g_device;
  g_device = device;
  return previous;
}

TDevice* Device() { return g_device; }

// A failing write (no console, a full disk) is dropped: diagnostics never
// disturb the program.
void Write(std::string_view text) {
  VX_TRY {
    if (g_device) {
      g_device->Write(text);
    } else if (!text.empty()) {
      std::fwrite(text.data(), 1, text.size(), stdout);
    }
  }
  VX_CATCH(...) {
  }
}

void Flush() {
  VX_TRY {
    if (g_device) {
      g_device->Flush();
    } else {
      std::fflush(stdout);
    }
  }
  VX_CATCH(...) {
  }
}

void Line(std::string_view text) {
  Write(text);
  Write("\n");
  Flush();
}

}  // namespace DebugOut
