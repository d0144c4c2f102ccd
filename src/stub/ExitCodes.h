// Exit codes of the setup stub. After the engine has run, the stub ends with
// the engine's own exit code; these codes tell the other outcomes apart.
#pragma once

#include <cstdint>

namespace ExitCodes {

// Second instance, an agent run, or nothing to do.
constexpr uint32_t kNothingToDo = 0;
// Bad checksum or a damaged compressed entry: the package is corrupted.
constexpr uint32_t kDamagedPackage = 2;
// The user cancelled (temp-space question, disk prompt or download question).
constexpr uint32_t kCancelled = 3;
// The package holds no engine entry, or the engine could not be started.
constexpr uint32_t kEngineNotStarted = 4;
// Files could not be extracted (temp folder missing, writes failed).
constexpr uint32_t kExtractionFailed = 5;
// Download mode: no Internet connection, a failed or aborted download, or a
// setup file whose secret token does not match.
constexpr uint32_t kDownloadFailed = 6;
// The stub window could not be registered or created, so the run could not
// do its work (a debug line tells why).
constexpr uint32_t kNoWindow = 7;

}  // namespace ExitCodes
