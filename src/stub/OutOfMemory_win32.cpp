// The size release's allocator and its end of a run. Without exceptions a
// failed allocation cannot reach a handler: operator new asks the new-handler
// (if one is set) and otherwise ends the run like a damaged package, after
// handing back a reserve so that the clean-up itself can allocate.
#include "stub/OutOfMemory.h"

#include <cstdlib>
#include <new>

#include "stub/ExitCodes.h"
#include "stub/StubState.h"
#include "util/DebugOut.h"
#include "util/Win.h"

namespace {

// Freed before the clean-up: its strings and file names need a little room.
constexpr std::size_t kReserveBytes = 64 * 1024;
void* g_reserve = std::malloc(kReserveBytes);

}  // namespace

namespace Stub {

void EndRunFatally(const char* why) {
  static bool ending = false;
  if (ending) ::ExitProcess(ExitCodes::kDamagedPackage);
  ending = true;
  std::free(g_reserve);
  g_reserve = nullptr;
  DebugOut::Line(std::string("The run ends: ") + (why ? why : "unknown error"));
  DeleteWorkingDirectory();
  ::ExitProcess(ExitCodes::kDamagedPackage);
}

}  // namespace Stub

#if !defined(__cpp_exceptions)
void* operator new(std::size_t size) {
  for (;;) {
    if (void* memory = std::malloc(size != 0 ? size : 1)) return memory;
    std::new_handler handler = std::get_new_handler();
    if (!handler) Stub::EndRunFatally("out of memory");
    handler();
  }
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
#endif
