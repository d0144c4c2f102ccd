#include "stub/StubControl.h"

#include "stub/Stub.h"
#include "stub/VxDebug.h"
#include "util/Utils.h"

namespace Stub {

std::string ControlMessageName(unsigned message) {
  switch (message) {
    case wm_ShutDown:
      return "wm_ShutDown";
    case wm_LocalMsg:
      return "wm_LocalMsg";
    case wm_AgentMsg:
      return "wm_AgentMsg";
    default:
      return "";
  }
}

std::string ControlMessageText(unsigned message, uint64_t wParam, int64_t lParam) {
  return "Control message " + ControlMessageName(message) + " (wParam=" + IntToText(static_cast<int64_t>(wParam)) +
         ", lParam=" + IntToText(lParam) + ")";
}

int64_t HandleControlMessage(unsigned message, uint64_t wParam, int64_t lParam) {
  const std::string text = ControlMessageText(message, wParam, lParam);
  VxDebug::DebugLine(IntToText(ProcessId()) + " " + text);
  VxDebug::Trace(text);
  if (message == wm_ShutDown) {
    // The countdown is a signed 32-bit value, whatever the width of wParam.
    AgentRun().stopCountdown = static_cast<int32_t>(static_cast<uint32_t>(wParam));
  } else if (message == wm_LocalMsg) {
    SetListener(static_cast<uintptr_t>(wParam), static_cast<uint32_t>(lParam));
  }
  return 0;
}

bool CountAgentTick(TAgentRun& run) {
  const bool end = run.stopCountdown == 0;
  if (run.stopCountdown >= 0) --run.stopCountdown;
  ++run.tickCounter;
  return end;
}

}  // namespace Stub
